#include "anonprimitives/AnonShorten.h"

AnonShorten::AnonShorten(uint32_t newLength) : newLength(newLength) {}

AnonResult AnonShorten::anonymize(uint8_t*, uint32_t length) {
    return {true, newLength < length ? newLength : length};
}
