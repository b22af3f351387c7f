// Resources registered by the test entry only.
#pragma once
#include "frontend/dispatchreq.h"

const WebResEntry* test_web_resources(int* count);
