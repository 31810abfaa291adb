#ifndef VEILCAP_ANONPRIMITIVES_ANONBYTEWISE_H
#define VEILCAP_ANONPRIMITIVES_ANONBYTEWISE_H

#include "anonprimitives/AnonPrimitive.h"

// Replaces each byte b of the field by table[b]; subclasses fill the table.
class AnonBytewise : public AnonPrimitive {
  public:
    AnonResult anonymize(uint8_t* buffer, uint32_t length) override;

  protected:
    AnonBytewise();
    uint8_t table[256];
};

#endif
