#ifndef VEILCAP_ANONPRIMITIVES_ANONSHUFFLE_H
#define VEILCAP_ANONPRIMITIVES_ANONSHUFFLE_H

#include "anonprimitives/AnonPrimitive.h"

// Permutes the bytes of the field at random: for i from 1 to length - 1,
// j = rand() mod (i + 1), and the bytes at i and j are exchanged if j != i.
class AnonShuffle : public AnonPrimitive {
  public:
    AnonResult anonymize(uint8_t* buffer, uint32_t length) override;
};

#endif
