// Aging test module: the factory burn-in tool's five resources (aging.cpp).
#pragma once
#include <cstdint>

#include "core/module.h"
#include "modules/aging/aging_records.h"

extern const WebModulePart aging_part;

// The module's response callback: its requests are all sent without
// waiting, so no answer is ever printed.
void on_aging_callback(void* context, const int32_t* header, const char* payload);
