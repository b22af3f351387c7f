#include "platform/aes.h"

#include <cstring>

namespace {

inline uint8_t xtime(uint8_t x)
{
    return (uint8_t)((x << 1) ^ ((x & 0x80) ? 0x1b : 0));
}

inline uint8_t rotl8(uint8_t x, int n)
{
    return (uint8_t)((x << n) | (x >> (8 - n)));
}

uint8_t gmul(uint8_t a, uint8_t b)
{
    uint8_t p = 0;
    for (; b; b >>= 1) {
        if (b & 1)
            p ^= a;
        a = xtime(a);
    }
    return p;
}

// The S-box from its definition (multiplicative inverse, then the affine
// map), walking the field by powers of 3: no table to mistype.
void make_sbox(uint8_t sbox[256])
{
    uint8_t p = 1, q = 1;
    do {
        p = (uint8_t)(p ^ xtime(p));  // p * 3
        q ^= (uint8_t)(q << 1);       // q / 3
        q ^= (uint8_t)(q << 2);
        q ^= (uint8_t)(q << 4);
        if (q & 0x80)
            q ^= 0x09;
        sbox[p] = (uint8_t)(q ^ rotl8(q, 1) ^ rotl8(q, 2) ^ rotl8(q, 3) ^ rotl8(q, 4) ^ 0x63);
    } while (p != 1);
    sbox[0] = 0x63;
}

void add_round_key(uint8_t s[16], const uint8_t* k)
{
    for (int i = 0; i < 16; i++)
        s[i] ^= k[i];
}

// State bytes are column by column: s[row + 4 * column].
void inverse_shift_sub(uint8_t s[16], const uint8_t inverse_sbox[256])
{
    uint8_t t[16];
    for (int r = 0; r < 4; r++)
        for (int c = 0; c < 4; c++)
            t[r + 4 * ((c + r) % 4)] = inverse_sbox[s[r + 4 * c]];
    memcpy(s, t, 16);
}

void inverse_mix_columns(uint8_t s[16])
{
    for (int c = 0; c < 4; c++) {
        uint8_t* a = s + 4 * c;
        const uint8_t a0 = a[0], a1 = a[1], a2 = a[2], a3 = a[3];
        a[0] = gmul(a0, 14) ^ gmul(a1, 11) ^ gmul(a2, 13) ^ gmul(a3, 9);
        a[1] = gmul(a0, 9) ^ gmul(a1, 14) ^ gmul(a2, 11) ^ gmul(a3, 13);
        a[2] = gmul(a0, 13) ^ gmul(a1, 9) ^ gmul(a2, 14) ^ gmul(a3, 11);
        a[3] = gmul(a0, 11) ^ gmul(a1, 13) ^ gmul(a2, 9) ^ gmul(a3, 14);
    }
}

}  // namespace

int aes_set_decrypt_key(AesDecryptKey* key, const uint8_t* bytes, size_t length)
{
    if (length != 16 && length != 24 && length != 32)
        return -1;
    uint8_t sbox[256];
    make_sbox(sbox);
    for (int i = 0; i < 256; i++)
        key->inverse_sbox[sbox[i]] = (uint8_t)i;
    const int nk = (int)length / 4;
    key->rounds = nk + 6;
    const int words = 4 * (key->rounds + 1);
    uint8_t* w = key->round_keys;
    memcpy(w, bytes, length);
    uint8_t rcon = 1;
    for (int i = nk; i < words; i++) {
        uint8_t t[4];
        memcpy(t, w + 4 * (i - 1), 4);
        if (i % nk == 0) {
            const uint8_t first = t[0];
            t[0] = (uint8_t)(sbox[t[1]] ^ rcon);
            t[1] = sbox[t[2]];
            t[2] = sbox[t[3]];
            t[3] = sbox[first];
            rcon = xtime(rcon);
        } else if (nk > 6 && i % nk == 4) {
            for (int j = 0; j < 4; j++)
                t[j] = sbox[t[j]];
        }
        for (int j = 0; j < 4; j++)
            w[4 * i + j] = w[4 * (i - nk) + j] ^ t[j];
    }
    return 0;
}

void aes_decrypt_block(const AesDecryptKey* key, const uint8_t in[16], uint8_t out[16])
{
    uint8_t s[16];
    memcpy(s, in, 16);
    add_round_key(s, key->round_keys + 16 * key->rounds);
    for (int round = key->rounds - 1; round > 0; round--) {
        inverse_shift_sub(s, key->inverse_sbox);
        add_round_key(s, key->round_keys + 16 * round);
        inverse_mix_columns(s);
    }
    inverse_shift_sub(s, key->inverse_sbox);
    add_round_key(s, key->round_keys);
    memcpy(out, s, 16);
}

long aes_ecb_decrypt_pkcs7(const uint8_t* key, size_t key_length, const uint8_t* in, size_t length, uint8_t* out)
{
    AesDecryptKey k;
    if (length == 0 || length % 16 != 0 || aes_set_decrypt_key(&k, key, key_length) != 0)
        return -1;
    for (size_t i = 0; i < length; i += 16)
        aes_decrypt_block(&k, in + i, out + i);
    memset(&k, 0, sizeof k);
    const uint8_t pad = out[length - 1];
    if (pad < 1 || pad > 16)
        return -1;
    for (size_t i = length - pad; i < length; i++)
        if (out[i] != pad)
            return -1;
    return (long)(length - pad);
}
