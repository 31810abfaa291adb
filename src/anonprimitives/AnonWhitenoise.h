#ifndef VEILCAP_ANONPRIMITIVES_ANONWHITENOISE_H
#define VEILCAP_ANONPRIMITIVES_ANONWHITENOISE_H

#include "anonprimitives/AnonPrimitive.h"

// Flips random bits of the field; the number of flips grows with the
// strength.
class AnonWhitenoise : public AnonPrimitive {
  public:
    explicit AnonWhitenoise(uint8_t strength);
    AnonResult anonymize(uint8_t* buffer, uint32_t length) override;
    uint8_t getStrength() const { return strength; }

  private:
    uint8_t strength;
};

#endif
