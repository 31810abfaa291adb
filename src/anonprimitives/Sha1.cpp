#include "anonprimitives/Sha1.h"

#include <cstring>

namespace {

inline uint32_t rotl(uint32_t value, int bits) {
    return (value << bits) | (value >> (32 - bits));
}

inline uint32_t loadBigEndian(const uint8_t* p) {
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}

inline void storeBigEndian(uint8_t* p, uint32_t value) {
    p[0] = uint8_t(value >> 24);
    p[1] = uint8_t(value >> 16);
    p[2] = uint8_t(value >> 8);
    p[3] = uint8_t(value);
}

// One 512-bit block through the 80 rounds.
void sha1Transform(uint32_t state[5], const uint8_t block[64]) {
    uint32_t w[80];
    for (int t = 0; t < 16; t++) {
        w[t] = loadBigEndian(block + 4 * t);
    }
    for (int t = 16; t < 80; t++) {
        w[t] = rotl(w[t - 3] ^ w[t - 8] ^ w[t - 14] ^ w[t - 16], 1);
    }
    uint32_t a = state[0], b = state[1], c = state[2], d = state[3], e = state[4];
    // The four stages of 20 rounds, each with its function and constant.
#define VEILCAP_SHA1_ROUND(f, k, t)                        \
    do {                                                   \
        uint32_t temp = rotl(a, 5) + (f) + e + (k) + w[t]; \
        e = d;                                             \
        d = c;                                             \
        c = rotl(b, 30);                                   \
        b = a;                                             \
        a = temp;                                          \
    } while (0)
    for (int t = 0; t < 20; t++) {
        VEILCAP_SHA1_ROUND(d ^ (b & (c ^ d)), 0x5A827999u, t);
    }
    for (int t = 20; t < 40; t++) {
        VEILCAP_SHA1_ROUND(b ^ c ^ d, 0x6ED9EBA1u, t);
    }
    for (int t = 40; t < 60; t++) {
        VEILCAP_SHA1_ROUND((b & c) | (d & (b | c)), 0x8F1BBCDCu, t);
    }
    for (int t = 60; t < 80; t++) {
        VEILCAP_SHA1_ROUND(b ^ c ^ d, 0xCA62C1D6u, t);
    }
#undef VEILCAP_SHA1_ROUND
    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;
    state[4] += e;
}

}  // namespace

void sha1Init(Sha1Context* context) {
    context->state[0] = 0x67452301;
    context->state[1] = 0xEFCDAB89;
    context->state[2] = 0x98BADCFE;
    context->state[3] = 0x10325476;
    context->state[4] = 0xC3D2E1F0;
    context->count[0] = 0;
    context->count[1] = 0;
}

void sha1Update(Sha1Context* context, const uint8_t* data, uint32_t length) {
    uint32_t used = (context->count[0] >> 3) & 63;
    uint32_t low = context->count[0] + (length << 3);
    if (low < context->count[0]) {
        context->count[1]++;
    }
    context->count[0] = low;
    context->count[1] += length >> 29;

    uint32_t offset = 0;
    if (used > 0) {
        uint32_t room = 64 - used;
        if (length < room) {
            std::memcpy(context->buffer + used, data, length);
            return;
        }
        std::memcpy(context->buffer + used, data, room);
        sha1Transform(context->state, context->buffer);
        offset = room;
    }
    for (; length - offset >= 64; offset += 64) {
        sha1Transform(context->state, data + offset);
    }
    if (length > offset) {
        std::memcpy(context->buffer, data + offset, length - offset);
    }
}

void sha1Final(uint8_t digest[SHA1_DIGEST_LENGTH], Sha1Context* context) {
    uint8_t lengthBytes[8];
    storeBigEndian(lengthBytes, context->count[1]);
    storeBigEndian(lengthBytes + 4, context->count[0]);

    uint32_t used = (context->count[0] >> 3) & 63;
    context->buffer[used++] = 0x80;
    if (used > 56) {
        std::memset(context->buffer + used, 0, 64 - used);
        sha1Transform(context->state, context->buffer);
        used = 0;
    }
    std::memset(context->buffer + used, 0, 56 - used);
    std::memcpy(context->buffer + 56, lengthBytes, 8);
    sha1Transform(context->state, context->buffer);

    for (int i = 0; i < 5; i++) {
        storeBigEndian(digest + 4 * i, context->state[i]);
    }
    std::memset(context, 0, sizeof(*context));
}

void hmacSha1Prepare(HmacSha1Key* prepared, const uint8_t* key, uint32_t keyLength) {
    uint8_t block[SHA1_BLOCK_LENGTH];
    std::memset(block, 0, sizeof block);
    if (keyLength > SHA1_BLOCK_LENGTH) {
        Sha1Context context;
        sha1Init(&context);
        sha1Update(&context, key, keyLength);
        sha1Final(block, &context);
    } else if (keyLength > 0) {
        std::memcpy(block, key, keyLength);
    }
    uint8_t pad[SHA1_BLOCK_LENGTH];
    for (uint32_t i = 0; i < SHA1_BLOCK_LENGTH; i++) {
        pad[i] = block[i] ^ 0x36;
    }
    sha1Init(&prepared->inner);
    sha1Update(&prepared->inner, pad, SHA1_BLOCK_LENGTH);
    for (uint32_t i = 0; i < SHA1_BLOCK_LENGTH; i++) {
        pad[i] = block[i] ^ 0x5C;
    }
    sha1Init(&prepared->outer);
    sha1Update(&prepared->outer, pad, SHA1_BLOCK_LENGTH);
}

void hmacSha1Keyed(uint8_t digest[SHA1_DIGEST_LENGTH], const HmacSha1Key& prepared,
                   const uint8_t* data, uint32_t dataLength, Sha1Context* work) {
    uint8_t innerDigest[SHA1_DIGEST_LENGTH];
    *work = prepared.inner;
    sha1Update(work, data, dataLength);
    sha1Final(innerDigest, work);
    *work = prepared.outer;
    sha1Update(work, innerDigest, SHA1_DIGEST_LENGTH);
    sha1Final(digest, work);
}

void hmacSha1(uint8_t digest[SHA1_DIGEST_LENGTH], const uint8_t* key, uint32_t keyLength,
              const uint8_t* data, uint32_t dataLength) {
    HmacSha1Key prepared;
    Sha1Context work;
    hmacSha1Prepare(&prepared, key, keyLength);
    hmacSha1Keyed(digest, prepared, data, dataLength, &work);
}
