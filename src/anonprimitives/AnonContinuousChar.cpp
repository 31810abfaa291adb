#include "anonprimitives/AnonContinuousChar.h"

#include <cstring>

AnonContinuousChar::AnonContinuousChar() : counter(0) {}

AnonResult AnonContinuousChar::anonymize(uint8_t* buffer, uint32_t length) {
    if (length > 0) {
        std::memset(buffer, counter, length);
    }
    counter = static_cast<uint8_t>(counter + 1);
    return {true, length};
}
