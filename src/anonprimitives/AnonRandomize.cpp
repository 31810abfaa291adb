#include "anonprimitives/AnonRandomize.h"

#include "RandomNumberGenerator.h"

AnonResult AnonRandomize::anonymize(uint8_t* buffer, uint32_t length) {
    for (uint32_t i = 0; i < length; i++) {
        buffer[i] = static_cast<uint8_t>(RandomNumberGenerator::generate() & 0xFF);
    }
    return {true, length};
}
