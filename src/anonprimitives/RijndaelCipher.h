#ifndef VEILCAP_ANONPRIMITIVES_RIJNDAELCIPHER_H
#define VEILCAP_ANONPRIMITIVES_RIJNDAELCIPHER_H

#include <cstddef>
#include <cstdint>

// AES-128 encryption (FIPS 197) of single 16-byte blocks: the key schedule
// and the ten rounds, no chaining, no padding, no decryption.
//
// Two paths give the same results: AES-NI instructions, used when the
// processor has them (tested once at run time), and a portable table-based
// path. setUseHardware(false) forces the portable path for every cipher
// until it is switched back on (for tests and benchmarks).
class RijndaelCipher {
  public:
    static const uint32_t KEY_LENGTH = 16;
    static const uint32_t BLOCK_LENGTH = 16;
    static const int ROUNDS = 10;

    // A cipher under the all-zero key; setKey gives it its key.
    RijndaelCipher();
    explicit RijndaelCipher(const uint8_t key[KEY_LENGTH]);

    // Computes the key schedule.
    void setKey(const uint8_t key[KEY_LENGTH]);

    // Encrypts one block; in and out may be the same storage.
    void encrypt(const uint8_t in[BLOCK_LENGTH], uint8_t out[BLOCK_LENGTH]) const;

    // Encrypts count independent blocks stored one after another (in and
    // out may be the same storage). The hardware path works on eight blocks
    // at a time, interleaved through the rounds.
    void encryptBlocks(const uint8_t* in, uint8_t* out, size_t count) const;

    // The 11 round keys of the schedule, 176 bytes in FIPS 197 byte order.
    const uint8_t* roundKeyBytes() const { return roundKeys; }

    // Whether the processor offers AES-NI.
    static bool hardwareAvailable();
    // Allows (true, the default) or forbids the AES-NI path.
    static void setUseHardware(bool use);
    // Whether encryption currently takes the AES-NI path.
    static bool usingHardware();

  private:
    void encryptPortable(const uint8_t in[BLOCK_LENGTH], uint8_t out[BLOCK_LENGTH]) const;

    alignas(16) uint8_t roundKeys[(ROUNDS + 1) * BLOCK_LENGTH];
    uint32_t roundKeyWords[(ROUNDS + 1) * 4];  // the same schedule as big-endian words

    static bool hardwareAllowed;
};

#endif
