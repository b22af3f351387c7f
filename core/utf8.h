// Texts from records and answers made fit for JSON: strict readers refuse a
// reply that is not valid UTF-8, and the device's fields hold whatever bytes
// their writer put there.
#pragma once
#include <cstddef>

// True when the bytes are valid UTF-8 (no overlong forms, no surrogates, no
// code points above U+10FFFF, no cut sequences).
bool utf8_valid(const char* text, size_t length);
// Copies text to out with each byte that does not belong to a valid sequence
// replaced by U+FFFD; valid sequences are kept byte for byte. out needs room
// for 3 * length bytes. Returns the bytes written (no NUL is added).
size_t utf8_repair(const char* text, size_t length, char* out);
