// The handler modules' tables, registered in the device's module order.
#pragma once

void register_web_modules();
void unregister_web_modules();
