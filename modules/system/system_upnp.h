// UPnP port mapping ("/1030", "/1031").
#pragma once
#include "core/module.h"

extern const WebModulePart system_upnp_part;
