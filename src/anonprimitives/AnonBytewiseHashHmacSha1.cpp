#include "anonprimitives/AnonBytewiseHashHmacSha1.h"

#include "anonprimitives/AnonHashHmacSha1.h"

AnonBytewiseHashHmacSha1::AnonBytewiseHashHmacSha1(const std::string& key) {
    AnonHashHmacSha1::checkKeyLength(key, "AnonBytewiseHashHmacSha1");
    AnonHashHmacSha1 hash(key);
    for (int b = 0; b < 256; b++) {
        uint8_t value = static_cast<uint8_t>(b);
        hash.anonymize(&value, 1);
        table[b] = value;
    }
}
