#ifndef VEILCAP_ANONPRIMITIVES_CRYPTOPANENGINE_H
#define VEILCAP_ANONPRIMITIVES_CRYPTOPANENGINE_H

#include <cstdint>

#include "anonprimitives/RijndaelCipher.h"

// Prefix-preserving anonymization (CryptoPAn) of fields of 1 to 16 bytes
// under a 32-byte key: bytes 0-15 are the AES-128 key K, bytes 16-31 the pad
// seed S, and the pad is P = AES_K(S).
//
// For bit i of the field (0 = most significant bit of the first byte) the
// block "first i bits of the field, then bits i to 127 of P" is encrypted;
// the top bit of the result's byte 0 is output bit i, and the result is the
// field XOR the output bits. For 4 bytes this is the published IPv4
// construction, for 16 bytes its usual IPv6 generalisation.
class CryptoPanEngine {
  public:
    static const uint32_t KEY_LENGTH = 32;
    static const uint32_t MAX_FIELD_LENGTH = 16;

    explicit CryptoPanEngine(const uint8_t key[KEY_LENGTH]);

    // An IPv4 address as a number, first wire byte most significant.
    uint32_t anonymize(uint32_t address) const;

    // Anonymizes length bytes (1 to 16) in place.
    void anonymize(uint8_t* field, uint32_t length) const;

  private:
    void anonymizePortable(uint8_t* field, uint32_t length) const;

    uint8_t cipherKey[16];
    uint8_t pad[16];
    RijndaelCipher cipher;
};

#endif
