// SHA-256 (FIPS 180-4), small enough for the CGI: only session ids are
// hashed with it, so a shared crypto library would cost every request its
// load time for one digest per request.
#pragma once
#include <cstddef>
#include <cstdint>

struct Sha256 {
    uint32_t state[8];
    uint64_t length;  // bytes hashed so far
    uint8_t block[64];
    size_t used;
};

void sha256_init(Sha256* s);
void sha256_update(Sha256* s, const void* data, size_t size);
void sha256_final(Sha256* s, uint8_t digest[32]);
// The digest of `size` bytes as 64 lower-case hex digits and a NUL.
void sha256_hex(const void* data, size_t size, char out[65]);
