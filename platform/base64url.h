// URL-safe base64 (RFC 4648 section 5) as the platform's base64EncodeUrl and
// base64DecodeUrl: audio file names travel in it, so that any name the user
// types becomes a plain file name with no '/' or '.' in it.
#pragma once
#include <cstddef>

// Encodes `length` bytes without padding into out (NUL-terminated). Returns
// the characters written, or -1 (out empty) when they do not fit in size - 1.
int base64EncodeUrl(const unsigned char* in, size_t length, char* out, size_t size);

// Decodes `length` characters with or without '=' padding into out and
// NUL-terminates it. Returns the bytes written, or -1 (out empty) for a
// character outside the alphabet, padding anywhere but at the end, a length
// no encoding has, or a result that does not fit in size - 1.
int base64DecodeUrl(const char* in, size_t length, unsigned char* out, size_t size);
