// The option commands of "/vb.htm" for production and service tools.
#pragma once
#include "core/module.h"

extern const WebModulePart system_vb_part;
