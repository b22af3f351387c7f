// Small device utilities the handlers share.
#pragma once
#include <cstddef>

// Runs a fixed command line through the shell. Never give it request text:
// use vx_exec() for commands with arguments from a request.
int web_system(const char* command);

// User name from the "userName" cookie, cut to size - 1. -1 when absent.
int get_current_username(char* out, size_t size = 64);

// An exclusive lock on a lock file (created if missing), or -1.
int file_lock(const char* path);
void file_unlock(int fd);

// "XX:XX:XX:XX:XX:XX" of eth0 and eth1 (18 bytes each).
int get_mac_addr(char* eth0, char* eth1);
// The identification chip's text after "Read old:", cut to size - 1.
int get_chip_info(char* out, int size);
