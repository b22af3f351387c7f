// Device paths: every file the device knows by an absolute path goes through
// device_path(), so that tests and the local run can live under a scratch root.
#pragma once
#include <string>

// NVRWEB_ROOT + path when the variable is set and not empty, else path itself.
std::string device_path(const char* path);

// The root that device_path() puts in front ("" on the device).
const char* device_root();

// The reverse of device_path(): `mapped` as the device names it, without the
// root (a path outside the root comes back as it is).
const char* device_form(const char* mapped);

// The mapped path of `name` directly inside the device directory `dir` (for
// example "/tmp"). Refused (false, `out` untouched): an empty name, "." and
// "..", a name holding '/', and a symlink whose target lies outside `dir`.
// The entry need not exist.
bool path_in_directory(const char* dir, const char* name, std::string* out);

// The same for a device path below `dir` ("/tmp/log/a.dat" below "/tmp"):
// every component after `dir` must pass path_in_directory.
bool path_below_directory(const char* dir, const char* path, std::string* out);
