#ifndef VEILCAP_ANONPRIMITIVES_ANONBROADCASTHANDLER_H
#define VEILCAP_ANONPRIMITIVES_ANONBROADCASTHANDLER_H

#include "anonprimitives/AnonPrimitive.h"

// Stops the chain for an empty field and for a field of all 0xFF bytes (a
// broadcast value, kept as it is); hands any other field on unchanged.
class AnonBroadcastHandler : public AnonPrimitive {
  public:
    AnonResult anonymize(uint8_t* buffer, uint32_t length) override;
};

#endif
