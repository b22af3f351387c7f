// Device paths: every file the device knows by an absolute path goes through
// device_path(), so that tests and the local run can live under a scratch root.
#pragma once
#include <string>

// NVRWEB_ROOT + path when the variable is set and not empty, else path itself.
std::string device_path(const char* path);

// The root that device_path() puts in front ("" on the device).
const char* device_root();

// True when `path` names an entry directly inside the device directory `dir`
// (for example "/tmp"), after mapping: no "..", no further '/'.
bool path_is_inside(const std::string& path, const char* dir);
