#include "anonprimitives/AnonBytewiseHashSha1.h"

#include "anonprimitives/AnonHashSha1.h"

AnonBytewiseHashSha1::AnonBytewiseHashSha1() {
    AnonHashSha1 hash;
    for (int b = 0; b < 256; b++) {
        uint8_t value = static_cast<uint8_t>(b);
        hash.anonymize(&value, 1);
        table[b] = value;
    }
}
