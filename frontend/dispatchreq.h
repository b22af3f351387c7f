// Web resource registry: the request path chooses the handler.
#pragma once

#include "core/module.h"

enum { MAX_WEBREQ_COUNT = 512 };

int WebResRegister(const WebResEntry* table, int n);
int WebResUnregister(const WebResEntry* table, int n);
const WebResEntry* FindWebRes(const char* path);
void DispatchWebReq(const char* path, const char* request);

// Number of used slots.
int WebResCount();
