// System module, online upgrade, camera upgrade and the OEM package.
#pragma once
#include "core/module.h"

extern const WebModulePart system_upgrade_part;
