#ifndef VEILCAP_ANONPRIMITIVES_ANONCONTINUOUSCHAR_H
#define VEILCAP_ANONPRIMITIVES_ANONCONTINUOUSCHAR_H

#include "anonprimitives/AnonPrimitive.h"

// Sets every byte of the field to a counter that grows by one per field
// (255 wrapping to 0), starting at 0.
class AnonContinuousChar : public AnonPrimitive {
  public:
    AnonContinuousChar();
    AnonResult anonymize(uint8_t* buffer, uint32_t length) override;

  private:
    uint8_t counter;
};

#endif
