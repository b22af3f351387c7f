// Percent-encoding of texts kept in records (network-disk user names and
// passwords travel encoded).
#pragma once

// Encodes every byte except A-Z a-z 0-9 - _ . ~ as %XX; the result is cut
// before an escape that would not fit in size - 1 characters.
int get_url_encode(const char* in, char* out, int size);
// Decodes %XX escapes ('+' stays '+'; a broken escape is kept as it is).
int get_url_decode(const char* in, char* out, int size);
