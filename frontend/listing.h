// The registered resources for developers: `nvrweb.cgi --list` from a shell.
#pragma once
#include <cstdio>

// One line per resource in registration order: path, module, method and
// help, separated by tabs; as a JSON array with `json`.
void print_resource_list(FILE* out, bool json);
