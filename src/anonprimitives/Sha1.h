#ifndef VEILCAP_ANONPRIMITIVES_SHA1_H
#define VEILCAP_ANONPRIMITIVES_SHA1_H

#include <cstdint>

// SHA-1 (FIPS 180-1) and HMAC-SHA1 (RFC 2104), used by the hash primitives.

static const uint32_t SHA1_DIGEST_LENGTH = 20;
static const uint32_t SHA1_BLOCK_LENGTH = 64;

// The running state of one SHA-1 computation; plain data owned by its user.
struct Sha1Context {
    uint32_t state[5];   // chaining state
    uint32_t count[2];   // message length in bits, low word first, modulo 2^64
    uint8_t buffer[64];  // the not yet processed tail of the input
};

// Sets the initial hash value and a bit count of 0.
void sha1Init(Sha1Context* context);

// Absorbs length bytes; any number of calls with any lengths, including 0.
void sha1Update(Sha1Context* context, const uint8_t* data, uint32_t length);

// Pads, writes the 20-byte digest and clears the context (it must be
// initialised again before reuse).
void sha1Final(uint8_t digest[SHA1_DIGEST_LENGTH], Sha1Context* context);

// HMAC-SHA1 of data under key (a key longer than 64 bytes is hashed first).
void hmacSha1(uint8_t digest[SHA1_DIGEST_LENGTH], const uint8_t* key, uint32_t keyLength,
              const uint8_t* data, uint32_t dataLength);

// HMAC-SHA1 with the key absorbed once: the SHA-1 states after the inner and
// the outer key pad. hmacSha1Keyed gives the same digest as hmacSha1 with
// the key given to hmacSha1Prepare, without touching the key again.
struct HmacSha1Key {
    Sha1Context inner;  // state after absorbing key XOR 0x36 (one block)
    Sha1Context outer;  // state after absorbing key XOR 0x5C (one block)
};

void hmacSha1Prepare(HmacSha1Key* prepared, const uint8_t* key, uint32_t keyLength);

// work is scratch storage for the computation (no allocation happens).
void hmacSha1Keyed(uint8_t digest[SHA1_DIGEST_LENGTH], const HmacSha1Key& prepared,
                   const uint8_t* data, uint32_t dataLength, Sha1Context* work);

#endif
