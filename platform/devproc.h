// The device's background tools found by program name, as the device's
// killall finds them. Under a scratch root (NVRWEB_ROOT set) only the
// processes that run with the same root count, so that tests and a local
// device never touch another run's tools or the machine's own.
#pragma once

// Sends `signal` to every live process of this device named `name` (the
// kernel's command name); the number signalled.
int device_processes_signal(const char* name, int signal);
// The number of live (not yet ended) processes of this device named `name`.
int device_processes_count(const char* name);
