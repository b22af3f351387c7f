// Resources registered by the test entry only.
#pragma once
#include "frontend/dispatchreq.h"

const WebResEntry* test_web_resources(int* count);
// Upload-echo entries for the paths in NVRWEB_TEST_ECHO_PATHS (may be none).
const WebResEntry* test_echo_overrides(int* count);
