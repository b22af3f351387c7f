// Device information, general settings, language texts and the camera
// address batch ("/1009", "/6080", "/json", "/ipc", ...).
#pragma once
#include "core/module.h"

extern const WebModulePart system_info_part;
