// Shared by the libFuzzer targets: a scratch device root for the process,
// standard output thrown away, and the answer rows of the registered parts.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/ipc.h"

// Makes the scratch root once (NVRWEB_ROOT, the device's directories, short
// IPC caps) and sends standard output to /dev/null. Removed at exit.
void fuzz_setup();
const std::string& fuzz_root();
// Names in a device directory of the root ("/tmp"), without "." and "..".
std::vector<std::string> fuzz_list(const char* device_dir);
// Empties a device directory of the root, so that each input starts alike.
void fuzz_clear(const char* device_dir);
// Aborts (a crash libFuzzer keeps) with the message when `ok` is false.
void fuzz_require(bool ok, const char* what);

// Every answer row of every registered part, in registration order.
std::vector<const IpcResponse*> fuzz_response_rows();
// The row answering `code`, or null when no registered part has it.
const IpcResponse* fuzz_response_row(int code);
// Hands `payload` to the row as the dispatcher would, with the request in
// flight and a zeroed per-request state big enough for any handler's.
bool fuzz_dispatch(const IpcResponse& row, const char* payload, int length);
