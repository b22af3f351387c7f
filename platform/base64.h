// Standard base64 (RFC 4648 section 4) as the platform's vx_base64_decode:
// uploaded packages are base64 text, often wrapped in lines.
#pragma once
#include <cstddef>

// Decodes `length` characters into out, skipping CR and LF. Returns the
// bytes written, or -1 for any other character outside the alphabet, '='
// anywhere but at the end, a length no encoding has, or a result that does
// not fit in `size` bytes.
long vx_base64_decode(const char* in, size_t length, unsigned char* out, size_t size);

// The value of a base64 character, 0..63, or -1 outside the alphabet. The
// standard and URL-safe alphabets differ only in the characters for 62 and
// 63 ('+' '/' and '-' '_').
int base64_value(char c, char c62, char c63);
