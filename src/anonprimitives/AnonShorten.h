#ifndef VEILCAP_ANONPRIMITIVES_ANONSHORTEN_H
#define VEILCAP_ANONPRIMITIVES_ANONSHORTEN_H

#include "anonprimitives/AnonPrimitive.h"

// Reports the configured length when it is smaller than the field's; the
// bytes stay untouched.
class AnonShorten : public AnonPrimitive {
  public:
    explicit AnonShorten(uint32_t newLength);
    AnonResult anonymize(uint8_t* buffer, uint32_t length) override;

  private:
    uint32_t newLength;
};

#endif
