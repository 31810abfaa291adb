#ifndef VEILCAP_ANONPRIMITIVES_ANONCONSTOVERWRITE_H
#define VEILCAP_ANONPRIMITIVES_ANONCONSTOVERWRITE_H

#include "anonprimitives/AnonPrimitive.h"

// Sets every byte of the field to the fill byte.
class AnonConstOverwrite : public AnonPrimitive {
  public:
    explicit AnonConstOverwrite(uint8_t fillByte);
    AnonResult anonymize(uint8_t* buffer, uint32_t length) override;

  private:
    uint8_t fillByte;
};

#endif
