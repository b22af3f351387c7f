// AES decryption (FIPS 197), ECB with PKCS#7 padding, for the OEM package:
// one package now and then does not justify loading a crypto library into
// every request, and the CGI is to be linked statically.
#pragma once
#include <cstddef>
#include <cstdint>

struct AesDecryptKey {
    uint8_t round_keys[240];  // 15 round keys of 16 bytes at most (256-bit)
    uint8_t inverse_sbox[256];
    int rounds;               // 10, 12 or 14
};

// 0 for a key of 16, 24 or 32 bytes, else -1.
int aes_set_decrypt_key(AesDecryptKey* key, const uint8_t* bytes, size_t length);
void aes_decrypt_block(const AesDecryptKey* key, const uint8_t in[16], uint8_t out[16]);
// Decrypts `length` bytes (whole blocks) in ECB mode into out (length bytes)
// and drops the PKCS#7 padding. The plain length, or -1 for a bad key
// length, a length that is not whole blocks or padding that is not valid
// (what a wrong key almost always gives).
long aes_ecb_decrypt_pkcs7(const uint8_t* key, size_t key_length, const uint8_t* in, size_t length, uint8_t* out);
