// Command runners (stand-in for the platform's vx_system).
#pragma once

// Runs a fixed command line through the shell, output to /dev/null.
// 0 when it ran and exited with 0, else -1.
int vx_system(const char* command);

// Runs a program found on PATH with an argument list, no shell. Standard
// output goes to `stdout_path` (created or emptied) or to /dev/null when null.
// 0 when it exited with 0, else -1.
int vx_exec(const char* const argv[], const char* stdout_path);
