#ifndef VEILCAP_ANONPRIMITIVES_ANONRANDOMIZE_H
#define VEILCAP_ANONPRIMITIVES_ANONRANDOMIZE_H

#include "anonprimitives/AnonPrimitive.h"

// Replaces each byte, first to last, by the low 8 bits of one draw.
class AnonRandomize : public AnonPrimitive {
  public:
    AnonResult anonymize(uint8_t* buffer, uint32_t length) override;
};

#endif
