#include "anonprimitives/AnonHashSha1.h"

#include <cstring>

void spreadDigest(uint8_t* buffer, uint32_t length, const uint8_t digest[SHA1_DIGEST_LENGTH]) {
    for (uint32_t offset = 0; offset < length; offset += SHA1_DIGEST_LENGTH) {
        uint32_t piece =
            length - offset < SHA1_DIGEST_LENGTH ? length - offset : SHA1_DIGEST_LENGTH;
        std::memcpy(buffer + offset, digest, piece);
    }
}

AnonHashSha1::AnonHashSha1() {
    std::memset(&context, 0, sizeof context);
    std::memset(digest, 0, sizeof digest);
}

AnonResult AnonHashSha1::anonymize(uint8_t* buffer, uint32_t length) {
    memo.transform(buffer, length, [&] {
        sha1Init(&context);
        sha1Update(&context, buffer, length);
        sha1Final(digest, &context);
        spreadDigest(buffer, length, digest);
    });
    return {true, length};
}
