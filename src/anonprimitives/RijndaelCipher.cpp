#include "anonprimitives/RijndaelCipher.h"

#include <array>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#define VEILCAP_HAVE_AESNI 1
#include <emmintrin.h>
#include <wmmintrin.h>
#endif

namespace {

// Tables computed at compile time: the S-box from the multiplicative
// inverse in GF(2^8) and the affine map, then the four round tables
// Te0..Te3 (SubBytes, ShiftRows and MixColumns of one byte as a column).
constexpr uint8_t rotl8(uint8_t x, int shift) {
    return static_cast<uint8_t>((x << shift) | (x >> (8 - shift)));
}

constexpr std::array<uint8_t, 256> makeSbox() {
    std::array<uint8_t, 256> sbox{};
    uint8_t p = 1, q = 1;
    // p runs over the powers of 3 (a generator), q over the powers of 1/3,
    // so q = p^-1 at every step.
    do {
        p = static_cast<uint8_t>(p ^ (p << 1) ^ ((p & 0x80) ? 0x1B : 0));
        q = static_cast<uint8_t>(q ^ (q << 1));
        q = static_cast<uint8_t>(q ^ (q << 2));
        q = static_cast<uint8_t>(q ^ (q << 4));
        if (q & 0x80) {
            q = static_cast<uint8_t>(q ^ 0x09);
        }
        uint8_t x = static_cast<uint8_t>(q ^ rotl8(q, 1) ^ rotl8(q, 2) ^ rotl8(q, 3) ^ rotl8(q, 4));
        sbox[p] = static_cast<uint8_t>(x ^ 0x63);
    } while (p != 1);
    sbox[0] = 0x63;
    return sbox;
}

constexpr std::array<uint8_t, 256> SBOX = makeSbox();

constexpr uint8_t xtime(uint8_t x) {
    return static_cast<uint8_t>((x << 1) ^ ((x & 0x80) ? 0x1B : 0));
}

constexpr uint32_t rotr32(uint32_t x, int shift) {
    return (x >> shift) | (x << (32 - shift));
}

struct RoundTables {
    std::array<uint32_t, 256> te[4];
};

constexpr RoundTables makeTables() {
    RoundTables tables{};
    for (int i = 0; i < 256; i++) {
        uint8_t s = SBOX[i];
        uint8_t s2 = xtime(s);
        uint8_t s3 = static_cast<uint8_t>(s2 ^ s);
        uint32_t word = (uint32_t(s2) << 24) | (uint32_t(s) << 16) | (uint32_t(s) << 8) | s3;
        tables.te[0][i] = word;
        tables.te[1][i] = rotr32(word, 8);
        tables.te[2][i] = rotr32(word, 16);
        tables.te[3][i] = rotr32(word, 24);
    }
    return tables;
}

constexpr RoundTables TABLES = makeTables();

inline uint32_t loadBigEndian(const uint8_t* p) {
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}

inline void storeBigEndian(uint8_t* p, uint32_t value) {
    p[0] = uint8_t(value >> 24);
    p[1] = uint8_t(value >> 16);
    p[2] = uint8_t(value >> 8);
    p[3] = uint8_t(value);
}

inline uint32_t subWord(uint32_t w) {
    return (uint32_t(SBOX[w >> 24]) << 24) | (uint32_t(SBOX[(w >> 16) & 0xFF]) << 16) |
           (uint32_t(SBOX[(w >> 8) & 0xFF]) << 8) | uint32_t(SBOX[w & 0xFF]);
}

#ifdef VEILCAP_HAVE_AESNI

bool detectHardware() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("aes") && __builtin_cpu_supports("sse2");
}

__attribute__((target("aes,sse2"))) void encryptBlocksNi(const uint8_t* roundKeys,
                                                         const uint8_t* in, uint8_t* out,
                                                         size_t count) {
    __m128i rk[RijndaelCipher::ROUNDS + 1];
    for (int r = 0; r <= RijndaelCipher::ROUNDS; r++) {
        rk[r] = _mm_load_si128(reinterpret_cast<const __m128i*>(roundKeys + 16 * r));
    }
    size_t n = 0;
    for (; n + 8 <= count; n += 8) {
        __m128i b[8];
        for (int k = 0; k < 8; k++) {
            b[k] = _mm_xor_si128(
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 16 * (n + k))), rk[0]);
        }
        for (int r = 1; r < RijndaelCipher::ROUNDS; r++) {
            for (int k = 0; k < 8; k++) {
                b[k] = _mm_aesenc_si128(b[k], rk[r]);
            }
        }
        for (int k = 0; k < 8; k++) {
            b[k] = _mm_aesenclast_si128(b[k], rk[RijndaelCipher::ROUNDS]);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16 * (n + k)), b[k]);
        }
    }
    for (; n < count; n++) {
        __m128i b =
            _mm_xor_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 16 * n)), rk[0]);
        for (int r = 1; r < RijndaelCipher::ROUNDS; r++) {
            b = _mm_aesenc_si128(b, rk[r]);
        }
        b = _mm_aesenclast_si128(b, rk[RijndaelCipher::ROUNDS]);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16 * n), b);
    }
}

#else

bool detectHardware() {
    return false;
}

void encryptBlocksNi(const uint8_t*, const uint8_t*, uint8_t*, size_t) {}

#endif

const bool HARDWARE_PRESENT = detectHardware();

}  // namespace

bool RijndaelCipher::hardwareAllowed = true;

bool RijndaelCipher::hardwareAvailable() {
    return HARDWARE_PRESENT;
}

void RijndaelCipher::setUseHardware(bool use) {
    hardwareAllowed = use;
}

bool RijndaelCipher::usingHardware() {
    return HARDWARE_PRESENT && hardwareAllowed;
}

RijndaelCipher::RijndaelCipher() {
    const uint8_t zero[KEY_LENGTH] = {0};
    setKey(zero);
}

RijndaelCipher::RijndaelCipher(const uint8_t key[KEY_LENGTH]) {
    setKey(key);
}

void RijndaelCipher::setKey(const uint8_t key[KEY_LENGTH]) {
    static const uint8_t RCON[ROUNDS] = {0x01, 0x02, 0x04, 0x08, 0x10,
                                         0x20, 0x40, 0x80, 0x1B, 0x36};
    uint32_t* w = roundKeyWords;
    for (int i = 0; i < 4; i++) {
        w[i] = loadBigEndian(key + 4 * i);
    }
    for (int i = 4; i < 4 * (ROUNDS + 1); i++) {
        uint32_t temp = w[i - 1];
        if (i % 4 == 0) {
            temp = subWord((temp << 8) | (temp >> 24)) ^ (uint32_t(RCON[i / 4 - 1]) << 24);
        }
        w[i] = w[i - 4] ^ temp;
    }
    for (int i = 0; i < 4 * (ROUNDS + 1); i++) {
        storeBigEndian(roundKeys + 4 * i, w[i]);
    }
}

void RijndaelCipher::encryptPortable(const uint8_t in[BLOCK_LENGTH],
                                     uint8_t out[BLOCK_LENGTH]) const {
    const uint32_t* rk = roundKeyWords;
    const auto& te0 = TABLES.te[0];
    const auto& te1 = TABLES.te[1];
    const auto& te2 = TABLES.te[2];
    const auto& te3 = TABLES.te[3];
    uint32_t s0 = loadBigEndian(in) ^ rk[0];
    uint32_t s1 = loadBigEndian(in + 4) ^ rk[1];
    uint32_t s2 = loadBigEndian(in + 8) ^ rk[2];
    uint32_t s3 = loadBigEndian(in + 12) ^ rk[3];
    for (int r = 1; r < ROUNDS; r++) {
        rk += 4;
        uint32_t t0 =
            te0[s0 >> 24] ^ te1[(s1 >> 16) & 0xFF] ^ te2[(s2 >> 8) & 0xFF] ^ te3[s3 & 0xFF] ^ rk[0];
        uint32_t t1 =
            te0[s1 >> 24] ^ te1[(s2 >> 16) & 0xFF] ^ te2[(s3 >> 8) & 0xFF] ^ te3[s0 & 0xFF] ^ rk[1];
        uint32_t t2 =
            te0[s2 >> 24] ^ te1[(s3 >> 16) & 0xFF] ^ te2[(s0 >> 8) & 0xFF] ^ te3[s1 & 0xFF] ^ rk[2];
        uint32_t t3 =
            te0[s3 >> 24] ^ te1[(s0 >> 16) & 0xFF] ^ te2[(s1 >> 8) & 0xFF] ^ te3[s2 & 0xFF] ^ rk[3];
        s0 = t0;
        s1 = t1;
        s2 = t2;
        s3 = t3;
    }
    rk += 4;
    // Last round: SubBytes and ShiftRows, no MixColumns.
    auto lastColumn = [](uint32_t a, uint32_t b, uint32_t c, uint32_t d, uint32_t key) {
        return ((uint32_t(SBOX[a >> 24]) << 24) | (uint32_t(SBOX[(b >> 16) & 0xFF]) << 16) |
                (uint32_t(SBOX[(c >> 8) & 0xFF]) << 8) | uint32_t(SBOX[d & 0xFF])) ^
               key;
    };
    storeBigEndian(out, lastColumn(s0, s1, s2, s3, rk[0]));
    storeBigEndian(out + 4, lastColumn(s1, s2, s3, s0, rk[1]));
    storeBigEndian(out + 8, lastColumn(s2, s3, s0, s1, rk[2]));
    storeBigEndian(out + 12, lastColumn(s3, s0, s1, s2, rk[3]));
}

void RijndaelCipher::encrypt(const uint8_t in[BLOCK_LENGTH], uint8_t out[BLOCK_LENGTH]) const {
    if (usingHardware()) {
        encryptBlocksNi(roundKeys, in, out, 1);
    } else {
        encryptPortable(in, out);
    }
}

void RijndaelCipher::encryptBlocks(const uint8_t* in, uint8_t* out, size_t count) const {
    if (usingHardware()) {
        encryptBlocksNi(roundKeys, in, out, count);
        return;
    }
    for (size_t n = 0; n < count; n++) {
        encryptPortable(in + BLOCK_LENGTH * n, out + BLOCK_LENGTH * n);
    }
}
