#include "anonprimitives/AnonHashHmacSha1.h"

#include <cstring>

#include "ExitStatus.h"
#include "anonprimitives/AnonHashSha1.h"

void AnonHashHmacSha1::checkKeyLength(const std::string& key, const char* className) {
    if (key.size() > MAX_KEY_LENGTH) {
        exitWithConfigurationError(std::string("invalid configuration for ") + className +
                                   ": key attribute longer than 65535 bytes");
    }
}

AnonHashHmacSha1::AnonHashHmacSha1(const std::string& keyText) : key(keyText), keyLength(0) {
    checkKeyLength(key, "AnonHashHmacSha1");
    keyLength = static_cast<uint16_t>(key.size());
    hmacSha1Prepare(&prepared, reinterpret_cast<const uint8_t*>(key.data()), keyLength);
    std::memset(&work, 0, sizeof work);
    std::memset(digest, 0, sizeof digest);
}

AnonResult AnonHashHmacSha1::anonymize(uint8_t* buffer, uint32_t length) {
    memo.transform(buffer, length, [&] {
        hmacSha1Keyed(digest, prepared, buffer, length, &work);
        spreadDigest(buffer, length, digest);
    });
    return {true, length};
}
