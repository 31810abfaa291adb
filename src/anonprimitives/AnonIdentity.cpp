#include "anonprimitives/AnonIdentity.h"

AnonResult AnonIdentity::anonymize(uint8_t*, uint32_t length) {
    return {true, length};
}
