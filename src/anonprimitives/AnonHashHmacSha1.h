#ifndef VEILCAP_ANONPRIMITIVES_ANONHASHHMACSHA1_H
#define VEILCAP_ANONPRIMITIVES_ANONHASHHMACSHA1_H

#include <string>

#include "anonprimitives/AnonPrimitive.h"
#include "anonprimitives/AnonResultCache.h"
#include "anonprimitives/Sha1.h"

// Replaces the field by its HMAC-SHA1 digest under the key: byte i becomes
// digest[i mod 20]. The key's inner and outer SHA-1 states are computed
// once, at construction.
class AnonHashHmacSha1 : public AnonPrimitive {
  public:
    // A key longer than MAX_KEY_LENGTH bytes ends the process with a
    // configuration error (status 2).
    explicit AnonHashHmacSha1(const std::string& key);
    AnonResult anonymize(uint8_t* buffer, uint32_t length) override;

    static const uint32_t MAX_KEY_LENGTH = 65535;

    // Ends the process with the configuration error for an over-long key,
    // naming className; does nothing for a key of at most MAX_KEY_LENGTH bytes.
    static void checkKeyLength(const std::string& key, const char* className);

  private:
    std::string key;
    uint16_t keyLength;
    HmacSha1Key prepared;
    Sha1Context work;
    uint8_t digest[SHA1_DIGEST_LENGTH];
    // Results of recently seen short fields (MAC addresses): the digest is
    // a pure function of the field.
    AnonResultCache memo;
};

#endif
