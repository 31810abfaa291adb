#include "anonprimitives/AnonBroadcastHandler.h"

AnonResult AnonBroadcastHandler::anonymize(uint8_t* buffer, uint32_t length) {
    if (length == 0) {
        return {false, 0};
    }
    for (uint32_t i = 0; i < length; i++) {
        if (buffer[i] != 0xFF) {
            return {true, length};
        }
    }
    return {false, length};
}
