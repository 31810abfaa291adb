#ifndef VEILCAP_ANONPRIMITIVES_ANONCRYPTOPAN_H
#define VEILCAP_ANONPRIMITIVES_ANONCRYPTOPAN_H

#include <string>

#include "anonprimitives/AnonPrimitive.h"
#include "anonprimitives/AnonResultCache.h"
#include "anonprimitives/CryptoPanEngine.h"

// Prefix-preserving anonymization (CryptoPAn) of a field of 1 to 16 bytes:
// IPv4 addresses (4 bytes), IPv6 addresses (16 bytes) and any other fixed
// field up to 16 bytes. The first 32 bytes of the key text are the key.
class AnonCryptoPan : public AnonPrimitive {
  public:
    // A key text shorter than 32 bytes ends the process with a
    // configuration error (status 2).
    explicit AnonCryptoPan(const std::string& key);

    // length must be 1 to 16 (an internal error otherwise).
    AnonResult anonymize(uint8_t* buffer, uint32_t length) override;

  private:
    static const uint8_t* checkedKey(const std::string& key);

    std::string key;
    CryptoPanEngine engine;
    // Results of recently seen addresses (a pure function of the field).
    AnonResultCache memo;
};

#endif
