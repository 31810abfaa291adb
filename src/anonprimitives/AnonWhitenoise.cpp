#include "anonprimitives/AnonWhitenoise.h"

#include <cmath>

#include "RandomNumberGenerator.h"

AnonWhitenoise::AnonWhitenoise(uint8_t strength) : strength(strength) {}

AnonResult AnonWhitenoise::anonymize(uint8_t* buffer, uint32_t length) {
    const uint32_t bits = 8 * length;
    const uint32_t r = RandomNumberGenerator::generate(0, bits);
    // Exactly this order of operations: r = 7, s = 10 gives ceil(7.000...01) = 8.
    uint32_t flips = static_cast<uint32_t>(std::ceil((r / 100.0) * (10 * strength)));
    if (bits > 0 && flips == 0) {
        flips = 1;
    }
    for (uint32_t n = 0; n < flips; n++) {
        // generate never returns its upper bound: p is at most bits - 2.
        uint32_t p = RandomNumberGenerator::generate(0, bits - 1);
        buffer[p / 8] ^= static_cast<uint8_t>(1u << (p % 8));
    }
    return {true, length};
}
