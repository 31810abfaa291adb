#include "anonprimitives/AnonConstOverwrite.h"

#include <cstring>

AnonConstOverwrite::AnonConstOverwrite(uint8_t fillByte) : fillByte(fillByte) {}

AnonResult AnonConstOverwrite::anonymize(uint8_t* buffer, uint32_t length) {
    if (length > 0) {
        std::memset(buffer, fillByte, length);
    }
    return {true, length};
}
