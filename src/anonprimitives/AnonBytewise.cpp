#include "anonprimitives/AnonBytewise.h"

AnonBytewise::AnonBytewise() {
    for (int b = 0; b < 256; b++) {
        table[b] = static_cast<uint8_t>(b);
    }
}

AnonResult AnonBytewise::anonymize(uint8_t* buffer, uint32_t length) {
    for (uint32_t i = 0; i < length; i++) {
        buffer[i] = table[buffer[i]];
    }
    return {true, length};
}
