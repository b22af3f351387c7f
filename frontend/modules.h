// The handler modules' parts, registered in the device's module order.
#pragma once

#include "core/module.h"

void register_web_modules();
void unregister_web_modules();

// Every part in registration order, ending with a null.
const WebModulePart* const* web_module_parts();
