// SHA-1 (FIPS 180) and HMAC-SHA1 (RFC 2202) against standard vectors.

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "anonprimitives/Sha1.h"

namespace {

typedef std::vector<uint8_t> Bytes;

Bytes bytesOf(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

std::string hex(const uint8_t* data, size_t length) {
    std::string text;
    char two[3];
    for (size_t i = 0; i < length; i++) {
        std::snprintf(two, sizeof two, "%02x", data[i]);
        text += two;
    }
    return text;
}

// SHA-1 of data fed in pieces of at most piece bytes (0: one call).
std::string sha1Hex(const Bytes& data, size_t piece = 0) {
    Sha1Context context;
    sha1Init(&context);
    if (piece == 0) {
        piece = data.size() + 1;
    }
    for (size_t offset = 0; offset < data.size(); offset += piece) {
        size_t n = std::min(piece, data.size() - offset);
        sha1Update(&context, data.data() + offset, static_cast<uint32_t>(n));
    }
    uint8_t digest[SHA1_DIGEST_LENGTH];
    sha1Final(digest, &context);
    return hex(digest, sizeof digest);
}

std::string hmacHex(const Bytes& key, const Bytes& data) {
    uint8_t digest[SHA1_DIGEST_LENGTH];
    hmacSha1(digest, key.data(), static_cast<uint32_t>(key.size()), data.data(),
             static_cast<uint32_t>(data.size()));
    return hex(digest, sizeof digest);
}

// Byte i is i * 7 mod 251: a pattern that shows misplaced bytes.
Bytes pattern(size_t length) {
    Bytes data(length);
    for (size_t i = 0; i < length; i++) {
        data[i] = static_cast<uint8_t>(i * 7 % 251);
    }
    return data;
}

TEST(Sha1, Fips180Vectors) {
    EXPECT_EQ(sha1Hex(bytesOf("abc")), "a9993e364706816aba3e25717850c26c9cd0d89d");
    EXPECT_EQ(sha1Hex(Bytes()), "da39a3ee5e6b4b0d3255bfef95601890afd80709");
    EXPECT_EQ(sha1Hex(bytesOf("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq")),
              "84983e441c3bd26ebaae4aa1f95129e5e54670f1");
    Bytes million(1000000, 'a');
    EXPECT_EQ(sha1Hex(million), "34aa973cd4c4daa4f61eeb2bdbad27316534016f");
    EXPECT_EQ(sha1Hex(million, 4093), "34aa973cd4c4daa4f61eeb2bdbad27316534016f");
}

TEST(Sha1, PaddingBoundariesInOneCallAndInPieces) {
    // Digests of pattern(n), computed with sha1sum.
    const struct {
        size_t length;
        const char* digest;
    } cases[] = {
        {0, "da39a3ee5e6b4b0d3255bfef95601890afd80709"},
        {1, "5ba93c9db0cff93f52b521d7420e43f6eda2784f"},
        {55, "a83f94113f5292bb7ed9d7df07178ad7d931341a"},
        {56, "372e1b20329e0b2862472089ac00c55505116275"},
        {63, "6944938dc131b6453b7d9637cfcbad8a3db28104"},
        {64, "aec4b7f13a2b75ec13bc0c3f13fa55caf97e621d"},
        {65, "29a20455c2f21fa85c66014ff3b75bfcce5aaba5"},
        {119, "43610a35bbf6783ba62fc82d421abc8b2f3e1abf"},
        {120, "482b555c1bda1cd10f9bdc34081249810af9fd77"},
        {128, "ddde2e96d57b78eda0da1151110a11eaa1d21d7b"},
        {129, "8101d2f29d6595918892dc4a9792dc43fb08a506"},
        {1000, "33f233c97a803d84a0db9f3dbc05b63ff2045d92"},
    };
    for (const auto& c : cases) {
        Bytes data = pattern(c.length);
        for (size_t piece : {0, 1, 63, 64, 65}) {
            EXPECT_EQ(sha1Hex(data, piece), c.digest) << c.length << " bytes, pieces " << piece;
        }
    }
}

TEST(Sha1, ZeroLengthUpdatesChangeNothingAndFinalClearsContext) {
    Sha1Context context;
    sha1Init(&context);
    sha1Update(&context, nullptr, 0);
    Bytes abc = bytesOf("abc");
    sha1Update(&context, abc.data(), 3);
    sha1Update(&context, abc.data(), 0);
    uint8_t digest[SHA1_DIGEST_LENGTH];
    sha1Final(digest, &context);
    EXPECT_EQ(hex(digest, sizeof digest), "a9993e364706816aba3e25717850c26c9cd0d89d");
    const uint8_t* raw = reinterpret_cast<const uint8_t*>(&context);
    EXPECT_EQ(Bytes(raw, raw + sizeof context), Bytes(sizeof context, 0));
}

TEST(HmacSha1, Rfc2202Vectors) {
    const struct {
        Bytes key;
        Bytes data;
        const char* digest;
    } cases[] = {
        {Bytes(20, 0x0b), bytesOf("Hi There"), "b617318655057264e28bc0b6fb378c8ef146be00"},
        {bytesOf("Jefe"), bytesOf("what do ya want for nothing?"),
         "effcdf6ae5eb2fa2d27416d5f184df9c259a7c79"},
        {Bytes(20, 0xaa), Bytes(50, 0xdd), "125d7342b9ac11cd91a39af48aa17b4f63f175d3"},
        {Bytes{1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13,
               14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25},
         Bytes(50, 0xcd), "4c9007f4026250c6bc8414f9bf50c86c2d7235da"},
        {Bytes(20, 0x0c), bytesOf("Test With Truncation"),
         "4c1a03424b55e07fe7f27be1d58bb9324a9a5a04"},
        {Bytes(80, 0xaa), bytesOf("Test Using Larger Than Block-Size Key - Hash Key First"),
         "aa4ae5e15272d00e95705637ce8a3b55ed402112"},
        {Bytes(80, 0xaa),
         bytesOf("Test Using Larger Than Block-Size Key and Larger Than One Block-Size Data"),
         "e8e99d0f45237d786d6bbaa7965c7808bbff1a91"},
    };
    int number = 1;
    for (const auto& c : cases) {
        EXPECT_EQ(hmacHex(c.key, c.data), c.digest) << "RFC 2202 case " << number;
        number++;
    }
}

TEST(HmacSha1, KeyOf64BytesIsUsedDirectlyAndOf65BytesIsHashed) {
    // Digests of HMAC-SHA1(bytes 0..n-1, "abc") from Python's hmac module.
    Bytes key65(65);
    for (int i = 0; i < 65; i++) {
        key65[i] = static_cast<uint8_t>(i);
    }
    Bytes key64(key65.begin(), key65.begin() + 64);
    EXPECT_EQ(hmacHex(key64, bytesOf("abc")), "89e392852da6b647490d3f287218824a2e2101b0");
    EXPECT_EQ(hmacHex(key65, bytesOf("abc")), "7636c08e7b7c0f0c391ca01d34ef4208399fbcf8");

    // A key over 64 bytes equals its digest as the key.
    uint8_t hashed[SHA1_DIGEST_LENGTH];
    Sha1Context context;
    sha1Init(&context);
    sha1Update(&context, key65.data(), 65);
    sha1Final(hashed, &context);
    EXPECT_EQ(hmacHex(Bytes(hashed, hashed + 20), bytesOf("abc")), hmacHex(key65, bytesOf("abc")));
    EXPECT_EQ(hmacHex(Bytes(), Bytes()), "fbdb1d1b18aa6c08324b7d64b71fb76370690e1d");
}

TEST(HmacSha1, PreparedKeyGivesTheSameDigests) {
    for (size_t keyLength : {0, 3, 64, 65, 200}) {
        Bytes key = pattern(keyLength);
        HmacSha1Key prepared;
        hmacSha1Prepare(&prepared, key.data(), static_cast<uint32_t>(key.size()));
        Sha1Context work;
        for (size_t dataLength : {0, 1, 55, 64, 300}) {
            Bytes data = pattern(dataLength + 5);
            data.resize(dataLength);
            uint8_t digest[SHA1_DIGEST_LENGTH];
            hmacSha1Keyed(digest, prepared, data.data(), static_cast<uint32_t>(data.size()), &work);
            EXPECT_EQ(hex(digest, sizeof digest), hmacHex(key, data))
                << "key " << keyLength << " data " << dataLength;
        }
    }
}

}  // namespace
