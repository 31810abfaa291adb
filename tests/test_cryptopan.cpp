// AES-128 (FIPS 197, both paths) and CryptoPAn over 1- to 16-byte fields.

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "anonprimitives/AnonCryptoPan.h"
#include "anonprimitives/AnonFactory.h"
#include "anonprimitives/CryptoPanEngine.h"
#include "anonprimitives/RijndaelCipher.h"

namespace {

typedef std::vector<uint8_t> Bytes;

Bytes fromHex(const std::string& text) {
    Bytes bytes;
    for (size_t i = 0; i + 1 < text.size(); i += 2) {
        bytes.push_back(static_cast<uint8_t>(std::stoul(text.substr(i, 2), nullptr, 16)));
    }
    return bytes;
}

std::string keyText(const Bytes& key) {
    return std::string(key.begin(), key.end());
}

// Selects the AES path for its lifetime and restores the default after.
class AesPath {
  public:
    explicit AesPath(bool hardware) { RijndaelCipher::setUseHardware(hardware); }
    ~AesPath() { RijndaelCipher::setUseHardware(true); }
};

// Both paths where the processor has AES-NI, else the portable one only.
std::vector<bool> aesPaths() {
    if (RijndaelCipher::hardwareAvailable()) {
        return {true, false};
    }
    return {false};
}

Bytes anonymized(AnonPrimitive& primitive, Bytes field) {
    AnonResult result = primitive.anonymize(field.data(), static_cast<uint32_t>(field.size()));
    EXPECT_TRUE(result.passOn);
    EXPECT_EQ(result.newLength, field.size());
    return field;
}

TEST(RijndaelCipher, Fips197Vectors) {
    const struct {
        const char* key;
        const char* plain;
        const char* cipher;
    } cases[] = {
        // Appendix C.1 (AES-128) and Appendix B.
        {"000102030405060708090a0b0c0d0e0f", "00112233445566778899aabbccddeeff",
         "69c4e0d86a7b0430d8cdb78070b4c55a"},
        {"2b7e151628aed2a6abf7158809cf4f3c", "3243f6a8885a308d313198a2e0370734",
         "3925841d02dc09fbdc118597196a0b32"},
    };
    for (bool hardware : aesPaths()) {
        AesPath path(hardware);
        EXPECT_EQ(RijndaelCipher::usingHardware(), hardware);
        for (const auto& c : cases) {
            RijndaelCipher cipher(fromHex(c.key).data());
            Bytes block = fromHex(c.plain);
            Bytes out(16);
            cipher.encrypt(block.data(), out.data());
            EXPECT_EQ(out, fromHex(c.cipher)) << "hardware " << hardware;
            cipher.encrypt(block.data(), block.data());  // in place
            EXPECT_EQ(block, fromHex(c.cipher)) << "hardware " << hardware;
        }
    }
    // Last round key of the Appendix A.1 expansion.
    RijndaelCipher cipher(fromHex("2b7e151628aed2a6abf7158809cf4f3c").data());
    EXPECT_EQ(Bytes(cipher.roundKeyBytes() + 160, cipher.roundKeyBytes() + 176),
              fromHex("d014f9a8c9ee2589e13f0cc8b6630ca6"));
}

TEST(RijndaelCipher, HardwarePathEqualsPortablePathOnRandomKeysAndBlocks) {
    if (!RijndaelCipher::hardwareAvailable()) {
        GTEST_SKIP() << "no AES-NI on this processor";
    }
    std::mt19937 random(197);
    for (int round = 0; round < 200; round++) {
        Bytes key(16);
        for (uint8_t& b : key)
            b = static_cast<uint8_t>(random());
        RijndaelCipher cipher(key.data());
        size_t count = 1 + round % 20;  // covers the 8-block groups and their remainder
        Bytes in(16 * count);
        for (uint8_t& b : in)
            b = static_cast<uint8_t>(random());
        Bytes hardwareOut(in.size()), portableOut(in.size()), single(16);
        {
            AesPath path(true);
            cipher.encryptBlocks(in.data(), hardwareOut.data(), count);
            cipher.encrypt(in.data(), single.data());
        }
        {
            AesPath path(false);
            cipher.encryptBlocks(in.data(), portableOut.data(), count);
        }
        EXPECT_EQ(hardwareOut, portableOut);
        EXPECT_EQ(single, Bytes(portableOut.begin(), portableOut.begin() + 16));
    }
}

struct VectorPair {
    Bytes key;
    Bytes raw;
    Bytes anonymized;
};

Bytes parseAddress(const std::string& text) {
    Bytes bytes(16);
    if (inet_pton(AF_INET, text.c_str(), bytes.data()) == 1) {
        bytes.resize(4);
    } else if (inet_pton(AF_INET6, text.c_str(), bytes.data()) != 1) {
        ADD_FAILURE() << "not an address: " << text;
    }
    return bytes;
}

// "raw anonymized" lines; a comment line with "key" and 64 hex digits sets
// the key for the lines after it.
std::vector<VectorPair> readVectors(const std::string& path) {
    std::ifstream in(path);
    EXPECT_TRUE(in.good()) << path;
    std::vector<VectorPair> pairs;
    Bytes key;
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        std::string first, second;
        words >> first >> second;
        if (first.empty())
            continue;
        if (first[0] == '#') {
            if (line.find("key") == std::string::npos)
                continue;
            std::istringstream all(line);
            std::string word;
            while (all >> word) {
                if (word.size() == 64 &&
                    word.find_first_not_of("0123456789abcdef") == std::string::npos) {
                    key = fromHex(word);
                }
            }
            continue;
        }
        EXPECT_EQ(key.size(), 32u) << "vector before any key in " << path;
        pairs.push_back({key, parseAddress(first), parseAddress(second)});
    }
    return pairs;
}

void checkVectorFile(const std::string& path, size_t expectedPairs, size_t addressLength) {
    std::vector<VectorPair> pairs = readVectors(path);
    ASSERT_EQ(pairs.size(), expectedPairs) << path;
    for (bool hardware : aesPaths()) {
        AesPath aes(hardware);
        for (const VectorPair& pair : pairs) {
            ASSERT_EQ(pair.raw.size(), addressLength);
            AnonCryptoPan primitive(keyText(pair.key));
            EXPECT_EQ(anonymized(primitive, pair.raw), pair.anonymized)
                << path << " hardware " << hardware;
            if (addressLength == 4) {
                CryptoPanEngine engine(pair.key.data());
                uint32_t raw, expected;
                std::memcpy(&raw, pair.raw.data(), 4);
                std::memcpy(&expected, pair.anonymized.data(), 4);
                EXPECT_EQ(engine.anonymize(ntohl(raw)), ntohl(expected));
            }
        }
    }
}

const char* const IPV4_VECTORS = "cryptopan-ipv4-vectors.txt";
const char* const IPV6_VECTORS = "cryptopan-ipv6-vectors.txt";

TEST(CryptoPan, PublishedIpv4Vectors) {
    checkVectorFile(std::string(VEILCAP_SOURCE_DIR "/tests/data/") + IPV4_VECTORS, 78, 4);
}

TEST(CryptoPan, PublishedIpv6Vectors) {
    checkVectorFile(std::string(VEILCAP_SOURCE_DIR "/tests/data/") + IPV6_VECTORS, 35, 16);
}

TEST(CryptoPan, SharedVectorFilesWhenPresent) {
    const std::string shared = VEILCAP_SOURCE_DIR "/../shared/testdata/";
    if (!std::ifstream(shared + IPV4_VECTORS).good()) {
        GTEST_SKIP() << "no shared folder beside the source tree";
    }
    checkVectorFile(shared + IPV4_VECTORS, 78, 4);
    checkVectorFile(shared + IPV6_VECTORS, 35, 16);
}

size_t commonPrefixBits(const Bytes& a, const Bytes& b) {
    for (size_t i = 0; i < 8 * a.size(); i++) {
        int bitA = (a[i / 8] >> (7 - i % 8)) & 1;
        int bitB = (b[i / 8] >> (7 - i % 8)) & 1;
        if (bitA != bitB)
            return i;
    }
    return 8 * a.size();
}

const std::string SAMPLE_KEY =
    keyText(fromHex("1522178d33a4cf80130a5b1649907d10d8988f837979652762574c2d2a842202"));

TEST(CryptoPan, PreservesEveryPrefixLength) {
    AnonCryptoPan primitive(SAMPLE_KEY);
    std::mt19937 random(5);
    for (size_t length : {1, 4, 6, 16}) {
        for (size_t k = 0; k < 8 * length; k++) {
            for (int sample = 0; sample < 20; sample++) {
                Bytes a(length), b(length);
                for (size_t i = 0; i < length; i++) {
                    a[i] = static_cast<uint8_t>(random());
                    b[i] = static_cast<uint8_t>(random());
                }
                // b: the first k bits of a, then bit k flipped, then random bits.
                for (size_t i = 0; i <= k; i++) {
                    uint8_t bit = static_cast<uint8_t>(0x80 >> (i % 8));
                    b[i / 8] = static_cast<uint8_t>((b[i / 8] & ~bit) | (a[i / 8] & bit));
                }
                b[k / 8] ^= static_cast<uint8_t>(0x80 >> (k % 8));
                ASSERT_EQ(commonPrefixBits(a, b), k);
                EXPECT_EQ(commonPrefixBits(anonymized(primitive, a), anonymized(primitive, b)), k)
                    << length << " bytes, prefix " << k;
            }
        }
    }
}

TEST(CryptoPan, HardwarePathEqualsPortablePathForEveryLength) {
    if (!RijndaelCipher::hardwareAvailable()) {
        GTEST_SKIP() << "no AES-NI on this processor";
    }
    std::mt19937 random(16);
    for (int round = 0; round < 64; round++) {
        std::string key(32, '\0');
        for (char& c : key)
            c = static_cast<char>(random());
        AnonCryptoPan primitive(key);
        for (size_t length = 1; length <= 16; length++) {
            Bytes field(length);
            for (uint8_t& b : field)
                b = static_cast<uint8_t>(random());
            Bytes hardware, portable;
            {
                AesPath path(true);
                hardware = anonymized(primitive, field);
            }
            {
                AesPath path(false);
                portable = anonymized(primitive, field);
            }
            EXPECT_EQ(hardware, portable) << "length " << length;
        }
    }
}

TEST(CryptoPan, IsABijectionOnASlash16) {
    AnonCryptoPan primitive(SAMPLE_KEY);
    std::set<uint32_t> results;
    Bytes first;
    for (uint32_t low = 0; low < 65536; low++) {
        Bytes out = anonymized(primitive, {10, 1, uint8_t(low >> 8), uint8_t(low)});
        if (low == 0)
            first = out;
        EXPECT_EQ(commonPrefixBits(first, out) >= 16, true);
        results.insert(uint32_t(out[2]) << 8 | out[3]);
    }
    EXPECT_EQ(results.size(), 65536u);
}

TEST(CryptoPan, KeyTextBeyond32BytesIsIgnoredAndResultsAreRepeatable) {
    AnonCryptoPan exact(SAMPLE_KEY);
    AnonCryptoPan longer(SAMPLE_KEY + "anything after the 32nd byte");
    AnonCryptoPan other(SAMPLE_KEY);  // e.g. the ARP slot beside the IPv4 slot
    std::mt19937 random(32);
    for (int sample = 0; sample < 200; sample++) {
        Bytes field(sample % 2 ? 4 : 16);
        for (uint8_t& b : field)
            b = static_cast<uint8_t>(random());
        Bytes expected = anonymized(exact, field);
        EXPECT_EQ(anonymized(longer, field), expected);
        EXPECT_EQ(anonymized(other, field), expected);
        EXPECT_EQ(anonymized(exact, field), expected);
    }
}

TEST(CryptoPan, FactoryBuildsItFromTheKeyAttribute) {
    AnonFactory factory;
    AnonPrimitive* chain = factory.create({{"anon", "AnonCryptoPan"}, {"key", SAMPLE_KEY}});
    ASSERT_NE(chain, nullptr);
    Bytes field = {128, 11, 68, 132};
    EXPECT_EQ(chain->anonymizeChain(field.data(), 4), 4u);
    EXPECT_EQ(field, (Bytes{135, 242, 180, 132}));
    AnonPrimitive::destroyChain(chain);
}

TEST(CryptoPanDeathTest, ShortKeyIsAConfigurationError) {
    const char* message =
        "^invalid configuration for AnonCryptoPan: key attribute must hold at least 32 bytes\n$";
    EXPECT_EXIT(AnonCryptoPan(SAMPLE_KEY.substr(0, 31)), ::testing::ExitedWithCode(2), message);
    EXPECT_EXIT(AnonCryptoPan(""), ::testing::ExitedWithCode(2), message);
    AnonFactory factory;
    EXPECT_EXIT(factory.create({{"anon", "AnonCryptoPan"}, {"key", "short"}}),
                ::testing::ExitedWithCode(2), message);
}

TEST(CryptoPanDeathTest, FieldLengthAbove16IsAnInternalError) {
    AnonCryptoPan primitive(SAMPLE_KEY);
    uint8_t buffer[17] = {0};
    EXPECT_DEATH(primitive.anonymize(buffer, 17), "length <= ");
}

// An AnonShorten earlier in the chain can leave 0 bytes (found by the
// primitive fuzz target, which used to end in a failed assertion here):
// nothing to encrypt, the chain goes on.
TEST(CryptoPan, EmptyFieldIsLeftAlone) {
    AnonCryptoPan primitive(SAMPLE_KEY);
    uint8_t buffer[1] = {0x5A};
    AnonResult result = primitive.anonymize(buffer, 0);
    EXPECT_TRUE(result.passOn);
    EXPECT_EQ(result.newLength, 0u);
    EXPECT_EQ(buffer[0], 0x5A);
}

}  // namespace
