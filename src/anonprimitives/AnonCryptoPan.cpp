#include "anonprimitives/AnonCryptoPan.h"

#include <cassert>

#include "ExitStatus.h"

const uint8_t* AnonCryptoPan::checkedKey(const std::string& key) {
    if (key.size() < CryptoPanEngine::KEY_LENGTH) {
        exitWithConfigurationError(
            "invalid configuration for AnonCryptoPan: key attribute must hold at least 32 bytes");
    }
    return reinterpret_cast<const uint8_t*>(key.data());
}

AnonCryptoPan::AnonCryptoPan(const std::string& keyText) : key(keyText), engine(checkedKey(key)) {}

AnonResult AnonCryptoPan::anonymize(uint8_t* buffer, uint32_t length) {
    // An earlier AnonShorten of the chain may have left nothing to encrypt.
    if (length == 0) {
        return {true, 0};
    }
    assert(length <= CryptoPanEngine::MAX_FIELD_LENGTH);
    memo.transform(buffer, length, [&] { engine.anonymize(buffer, length); });
    return {true, length};
}
