#include "anonprimitives/AnonResultCache.h"

#include <cstring>

AnonResultCache::AnonResultCache() {}

AnonResultCache::~AnonResultCache() {}

void AnonResultCache::pad(const uint8_t* field, uint32_t length, uint64_t padded[2]) {
    padded[0] = 0;
    padded[1] = 0;
    std::memcpy(padded, field, length);
}

uint32_t AnonResultCache::slotIndex(const uint64_t padded[2], uint32_t length) {
    // Multiplicative hashing; the high bits of the product mix every input bit.
    uint64_t h = (padded[0] ^ (static_cast<uint64_t>(length) << 56)) * 0x9E3779B97F4A7C15ULL;
    h ^= padded[1] * 0xC2B2AE3D27D4EB4FULL;
    h ^= h >> 29;
    h *= 0x165667B19E3779F9ULL;
    return static_cast<uint32_t>(h >> (64 - SLOT_BITS));
}

bool AnonResultCache::lookUp(uint8_t* field, uint32_t length) const {
    if (!slots || !fits(length)) {
        return false;
    }
    uint64_t padded[2];
    pad(field, length, padded);
    const Slot& slot = slots[slotIndex(padded, length)];
    if (slot.length != length || slot.input[0] != padded[0] || slot.input[1] != padded[1]) {
        return false;
    }
    std::memcpy(field, slot.output, length);
    return true;
}

void AnonResultCache::store(const uint8_t* original, const uint8_t* result, uint32_t length) {
    if (!fits(length)) {
        return;
    }
    if (!slots) {
        slots.reset(new Slot[size_t(1) << SLOT_BITS]());
    }
    uint64_t padded[2];
    pad(original, length, padded);
    Slot& slot = slots[slotIndex(padded, length)];
    slot.input[0] = padded[0];
    slot.input[1] = padded[1];
    std::memcpy(slot.output, result, length);
    slot.length = length;
}
