// Command runners (stand-in for the platform's vx_system). Text from a
// request goes only into an argument of vx_exec, vx_exec_background or
// vx_exec_capture, never into a shell command line.
#pragma once
#include <cstddef>
#include <sys/types.h>

// Runs a fixed command line through the shell, output to /dev/null.
// 0 when it ran and exited with 0, else -1.
int vx_system(const char* command);

// Runs a program found on PATH with an argument list, no shell. Standard
// output goes to `stdout_path` (created or emptied) or to /dev/null when null.
// 0 when it exited with 0, else -1.
int vx_exec(const char* const argv[], const char* stdout_path);

// Starts a program in the background, no shell: a session of its own and
// standard input, output and error on /dev/null, so the web server, which
// reads the CGI's output until every holder has closed it, does not wait for
// it. The child's id, or -1 when it could not be started. Nobody has to wait
// for it; once the CGI ends, init reaps it.
pid_t vx_exec_background(const char* const argv[]);

// Runs a program with an argument list, no shell, and keeps its standard
// output in out (NUL-terminated, *length bytes without the NUL). 0 when it
// exited with 0 and all of its output fitted in size - 1 bytes. -1 when it
// did not start or did not exit with 0 (what it printed stays in out), and
// when its output does not fit: that is refused, never cut, with out empty
// and the program stopped.
int vx_exec_capture(const char* const argv[], char* out, size_t size, size_t* length);

// Runs a program with an argument list, no shell, and hands each line of
// its standard output to `line` (no newline; a line longer than 511 bytes
// comes in pieces), so that no output is kept in memory or in a shared file.
// Stops the program once `line` returns true, and then returns 1; else 0
// when it exited with 0, -1 otherwise.
int vx_exec_lines(const char* const argv[], bool (*line)(const char* text, void* context), void* context);

// snprintf for command lines, arguments and paths: 0 when the whole text
// fits in out; otherwise -1 and out empty, since a cut text could name
// another file or drop an option.
int vx_format(char* out, size_t size, const char* format, ...) __attribute__((format(printf, 3, 4)));
