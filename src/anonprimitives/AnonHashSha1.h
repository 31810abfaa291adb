#ifndef VEILCAP_ANONPRIMITIVES_ANONHASHSHA1_H
#define VEILCAP_ANONPRIMITIVES_ANONHASHSHA1_H

#include "anonprimitives/AnonPrimitive.h"
#include "anonprimitives/AnonResultCache.h"
#include "anonprimitives/Sha1.h"

// Replaces the field by its SHA-1 digest: byte i becomes digest[i mod 20].
class AnonHashSha1 : public AnonPrimitive {
  public:
    AnonHashSha1();
    AnonResult anonymize(uint8_t* buffer, uint32_t length) override;

  private:
    Sha1Context context;
    uint8_t digest[SHA1_DIGEST_LENGTH];
    // Results of recently seen short fields (MAC addresses): the digest is
    // a pure function of the field.
    AnonResultCache memo;
};

// Writes the digest over the field, repeated for a field longer than 20 bytes.
void spreadDigest(uint8_t* buffer, uint32_t length, const uint8_t digest[SHA1_DIGEST_LENGTH]);

#endif
