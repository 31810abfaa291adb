#ifndef VEILCAP_ANONPRIMITIVES_ANONIDENTITY_H
#define VEILCAP_ANONPRIMITIVES_ANONIDENTITY_H

#include "anonprimitives/AnonPrimitive.h"

// Leaves the field unchanged.
class AnonIdentity : public AnonPrimitive {
  public:
    AnonResult anonymize(uint8_t* buffer, uint32_t length) override;
    bool isIdentity() const override { return true; }
};

#endif
