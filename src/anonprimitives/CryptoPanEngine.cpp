#include "anonprimitives/CryptoPanEngine.h"

#include <array>
#include <cassert>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#define VEILCAP_HAVE_AESNI 1
#include <emmintrin.h>
#include <wmmintrin.h>
#endif

namespace {

#ifdef VEILCAP_HAVE_AESNI

// PREFIX_MASKS[i]: a 16-byte block whose first i bits are set.
struct PrefixMasks {
    alignas(16) uint8_t mask[128][16];
};

constexpr PrefixMasks makePrefixMasks() {
    PrefixMasks masks{};
    for (int i = 0; i < 128; i++) {
        for (int byte = 0; byte < 16; byte++) {
            int bits = i - 8 * byte;
            uint8_t value = 0;
            if (bits >= 8) {
                value = 0xFF;
            } else if (bits > 0) {
                value = static_cast<uint8_t>(0xFF << (8 - bits));
            }
            masks.mask[i][byte] = value;
        }
    }
    return masks;
}

alignas(16) constexpr PrefixMasks PREFIX_MASKS = makePrefixMasks();

// The AES-NI path: the eight blocks for the bits of one field byte are
// formed in registers and encrypted interleaved, round by round.
__attribute__((target("aes,sse2"))) void anonymizeNi(const uint8_t* roundKeys,
                                                     const uint8_t pad[16], uint8_t* field,
                                                     uint32_t length) {
    __m128i rk[RijndaelCipher::ROUNDS + 1];
    for (int r = 0; r <= RijndaelCipher::ROUNDS; r++) {
        rk[r] = _mm_load_si128(reinterpret_cast<const __m128i*>(roundKeys + 16 * r));
    }
    alignas(16) uint8_t fieldBlock[16] = {0};
    std::memcpy(fieldBlock, field, length);
    // Round key 0 is folded into both sources: (a & m | p & ~m) ^ k =
    // ((a ^ k) & m) | ((p ^ k) & ~m).
    const __m128i address =
        _mm_xor_si128(_mm_load_si128(reinterpret_cast<const __m128i*>(fieldBlock)), rk[0]);
    const __m128i padded =
        _mm_xor_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(pad)), rk[0]);
    for (uint32_t byte = 0; byte < length; byte++) {
        __m128i b[8];
        for (int k = 0; k < 8; k++) {
            const __m128i mask =
                _mm_load_si128(reinterpret_cast<const __m128i*>(PREFIX_MASKS.mask[8 * byte + k]));
            b[k] = _mm_or_si128(_mm_and_si128(address, mask), _mm_andnot_si128(mask, padded));
        }
        for (int r = 1; r < RijndaelCipher::ROUNDS; r++) {
            for (int k = 0; k < 8; k++) {
                b[k] = _mm_aesenc_si128(b[k], rk[r]);
            }
        }
        uint32_t flips = 0;
        for (int k = 0; k < 8; k++) {
            b[k] = _mm_aesenclast_si128(b[k], rk[RijndaelCipher::ROUNDS]);
            // Bit 0 of the move mask is the top bit of byte 0.
            flips |= (uint32_t(_mm_movemask_epi8(b[k])) & 1u) << (7 - k);
        }
        field[byte] ^= static_cast<uint8_t>(flips);
    }
}

#else

void anonymizeNi(const uint8_t*, const uint8_t*, uint8_t*, uint32_t) {}

#endif

}  // namespace

CryptoPanEngine::CryptoPanEngine(const uint8_t key[KEY_LENGTH]) {
    std::memcpy(cipherKey, key, sizeof cipherKey);
    cipher.setKey(cipherKey);
    cipher.encrypt(key + 16, pad);
}

uint32_t CryptoPanEngine::anonymize(uint32_t address) const {
    uint8_t bytes[4] = {uint8_t(address >> 24), uint8_t(address >> 16), uint8_t(address >> 8),
                        uint8_t(address)};
    anonymize(bytes, 4);
    return (uint32_t(bytes[0]) << 24) | (uint32_t(bytes[1]) << 16) | (uint32_t(bytes[2]) << 8) |
           uint32_t(bytes[3]);
}

void CryptoPanEngine::anonymize(uint8_t* field, uint32_t length) const {
    assert(length >= 1 && length <= CryptoPanEngine::MAX_FIELD_LENGTH);
    if (RijndaelCipher::usingHardware()) {
        anonymizeNi(cipher.roundKeyBytes(), pad, field, length);
    } else {
        anonymizePortable(field, length);
    }
}

void CryptoPanEngine::anonymizePortable(uint8_t* field, uint32_t length) const {
    uint8_t original[MAX_FIELD_LENGTH];
    std::memcpy(original, field, length);
    uint8_t block[RijndaelCipher::BLOCK_LENGTH];
    uint8_t output[RijndaelCipher::BLOCK_LENGTH];
    for (uint32_t i = 0; i < 8 * length; i++) {
        // The first i bits of the field, then bits i to 127 of the pad.
        std::memcpy(block, pad, sizeof block);
        const uint32_t whole = i / 8;
        const uint32_t partial = i % 8;
        std::memcpy(block, original, whole);
        if (partial > 0) {
            const uint8_t high = static_cast<uint8_t>(0xFF << (8 - partial));
            block[whole] = static_cast<uint8_t>((original[whole] & high) | (pad[whole] & ~high));
        }
        cipher.encrypt(block, output);
        field[whole] ^= static_cast<uint8_t>((output[0] >> 7) << (7 - partial));
    }
}
