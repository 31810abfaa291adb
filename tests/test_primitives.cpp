// The anonymization primitives, chains, the factory, trim and the random
// source.
//
// Expected results that involve random draws are computed here from the
// primitives' rules, using rand() values taken from the same srand() sequence
// that the primitive then runs on; after the primitive, the next rand()
// value shows that it made exactly the expected number of draws.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <functional>
#include <map>
#include <string>
#include <typeinfo>
#include <vector>

#include "RandomNumberGenerator.h"
#include "anonprimitives/AnonBroadcastHandler.h"
#include "anonprimitives/AnonBytewiseHashHmacSha1.h"
#include "anonprimitives/AnonBytewiseHashSha1.h"
#include "anonprimitives/AnonConstOverwrite.h"
#include "anonprimitives/AnonContinuousChar.h"
#include "anonprimitives/AnonCryptoPan.h"
#include "anonprimitives/AnonFactory.h"
#include "anonprimitives/AnonHashHmacSha1.h"
#include "anonprimitives/AnonHashSha1.h"
#include "anonprimitives/AnonIdentity.h"
#include "anonprimitives/AnonPrimitive.h"
#include "anonprimitives/AnonRandomize.h"
#include "anonprimitives/AnonShorten.h"
#include "anonprimitives/AnonShuffle.h"
#include "anonprimitives/AnonWhitenoise.h"
#include "anonprimitives/Sha1.h"
#include "anonprimitives/Trim.h"

namespace {

typedef std::vector<uint8_t> Bytes;
typedef std::map<std::string, std::string> Attributes;

const std::string HMAC_KEY = "Jefe";

// The rand() sequence after srand(seed), drawn in advance.
class Draws {
  public:
    explicit Draws(unsigned seed = 1) : seed(seed), used(0) {
        std::srand(seed);
        for (int i = 0; i < 1024; i++)
            values.push_back(std::rand());
    }
    uint32_t next() { return static_cast<uint32_t>(values.at(used++)); }
    // Restarts the sequence for the code under test.
    void restart() const { std::srand(seed); }
    // The value rand() gives after exactly `used` draws.
    int following() const { return values.at(used); }

    unsigned seed;
    size_t used;
    std::vector<int> values;
};

Bytes sha1Of(const Bytes& data) {
    Sha1Context context;
    sha1Init(&context);
    sha1Update(&context, data.data(), static_cast<uint32_t>(data.size()));
    Bytes digest(SHA1_DIGEST_LENGTH);
    sha1Final(digest.data(), &context);
    return digest;
}

Bytes hmacOf(const std::string& key, const Bytes& data) {
    Bytes digest(SHA1_DIGEST_LENGTH);
    hmacSha1(digest.data(), reinterpret_cast<const uint8_t*>(key.data()),
             static_cast<uint32_t>(key.size()), data.data(), static_cast<uint32_t>(data.size()));
    return digest;
}

// Byte i of the field becomes digest[i mod 20].
Bytes spread(const Bytes& digest, size_t length) {
    Bytes field(length);
    for (size_t i = 0; i < length; i++)
        field[i] = digest[i % 20];
    return field;
}

Bytes sequence(size_t length, uint8_t start = 1) {
    Bytes field(length);
    for (size_t i = 0; i < length; i++)
        field[i] = static_cast<uint8_t>(start + i);
    return field;
}

// The white noise with strength s, on the draws d.
Bytes whitenoise(Bytes field, unsigned s, Draws& d) {
    uint32_t bits = static_cast<uint32_t>(8 * field.size());
    uint32_t r = bits == 0 ? 0 : d.next() % bits;
    uint32_t k = static_cast<uint32_t>(std::ceil((r / 100.0) * (10 * s)));
    if (bits > 0 && k == 0)
        k = 1;
    for (uint32_t n = 0; n < k; n++) {
        uint32_t p = d.next() % (bits - 1);
        field[p / 8] ^= static_cast<uint8_t>(1 << (p % 8));
    }
    return field;
}

Bytes shuffle(Bytes field, Draws& d) {
    for (size_t i = 1; i < field.size(); i++) {
        size_t j = d.next() % (i + 1);
        if (j != i)
            std::swap(field[i], field[j]);
    }
    return field;
}

Bytes randomize(Bytes field, Draws& d, size_t count) {
    for (size_t i = 0; i < count; i++)
        field[i] = static_cast<uint8_t>(d.next() & 0xFF);
    return field;
}

// The first seed from 1 on whose first rand() value gives r = value % modulus.
unsigned seedWithFirstDraw(uint32_t modulus, uint32_t value) {
    for (unsigned seed = 1;; seed++) {
        std::srand(seed);
        if (static_cast<uint32_t>(std::rand()) % modulus == value)
            return seed;
    }
}

// A draw count that only the reference computation knows.
const size_t ANY_DRAWS = static_cast<size_t>(-1);

struct Case {
    const char* title;
    Attributes attributes;
    Bytes input;
    std::function<Bytes(const Bytes&, Draws&)> expected;
    uint32_t length;  // the chain's result
    bool passOn;      // the first primitive's
    size_t draws;     // expected number of rand() draws, or ANY_DRAWS
    unsigned seed;
};

std::vector<Case> cases() {
    auto same = [](const Bytes& in, Draws&) { return in; };
    auto fill = [](uint8_t value) {
        return [value](const Bytes& in, Draws&) { return Bytes(in.size(), value); };
    };
    auto noise = [](unsigned s) {
        return [s](const Bytes& in, Draws& d) { return whitenoise(in, s, d); };
    };
    const Bytes broadcast(6, 0xFF);
    const Bytes mac = {0x00, 0x1b, 0x21, 0x3c, 0x4d, 0xff};
    const unsigned seedR7 = seedWithFirstDraw(32, 7);
    return {
        {"identity", {{"anon", "AnonIdentity"}}, sequence(5), same, 5, true, 0, 1},
        {"const 41",
         {{"anon", "AnonConstOverwrite"}, {"anonval", "41"}},
         sequence(4),
         fill(0x41),
         4,
         true,
         0,
         1},
        {"const 0x7f",
         {{"anon", "AnonConstOverwrite"}, {"anonval", "0x7f"}},
         sequence(4),
         fill(0x7F),
         4,
         true,
         0,
         1},
        {"const 1FF",
         {{"anon", "AnonConstOverwrite"}, {"anonval", "1FF"}},
         sequence(4),
         fill(0xFF),
         4,
         true,
         0,
         1},
        {"const empty anonval",
         {{"anon", "AnonConstOverwrite"}, {"anonval", ""}},
         sequence(3),
         fill(0x00),
         3,
         true,
         0,
         1},
        {"randomize",
         {{"anon", "AnonRandomize"}},
         sequence(6),
         [](const Bytes& in, Draws& d) { return randomize(in, d, in.size()); },
         6,
         true,
         6,
         1},
        {"randomize empty", {{"anon", "AnonRandomize"}}, Bytes(), same, 0, true, 0, 1},
        {"shuffle 9",
         {{"anon", "AnonShuffle"}},
         sequence(9),
         [](const Bytes& in, Draws& d) { return shuffle(in, d); },
         9,
         true,
         8,
         1},
        {"shuffle 2",
         {{"anon", "AnonShuffle"}},
         sequence(2),
         [](const Bytes& in, Draws& d) { return shuffle(in, d); },
         2,
         true,
         1,
         1},
        {"shuffle 1", {{"anon", "AnonShuffle"}}, sequence(1), same, 1, true, 0, 1},
        {"shuffle 0", {{"anon", "AnonShuffle"}}, Bytes(), same, 0, true, 0, 1},
        {"whitenoise 0 on 4 bytes",
         {{"anon", "AnonWhitenoise"}, {"strength", "0"}},
         sequence(4),
         noise(0),
         4,
         true,
         2,
         1},
        {"whitenoise 10, r = 7",
         {{"anon", "AnonWhitenoise"}, {"strength", "10"}},
         sequence(4),
         noise(10),
         4,
         true,
         1 + 8,
         seedR7},
        {"whitenoise 300 = 44",
         {{"anon", "AnonWhitenoise"}, {"strength", "300"}},
         sequence(4),
         noise(44),
         4,
         true,
         1 + 31,
         seedR7},
        {"whitenoise 5 on 40 bytes",
         {{"anon", "AnonWhitenoise"}, {"strength", "5"}},
         sequence(40),
         noise(5),
         40,
         true,
         ANY_DRAWS,
         1},
        {"whitenoise empty",
         {{"anon", "AnonWhitenoise"}, {"strength", "10"}},
         Bytes(),
         same,
         0,
         true,
         0,
         1},
        {"shorten 4 of 10",
         {{"anon", "AnonShorten"}, {"newlen", "4"}},
         sequence(10),
         same,
         4,
         true,
         0,
         1},
        {"shorten 4 of 3",
         {{"anon", "AnonShorten"}, {"newlen", "4"}},
         sequence(3),
         same,
         3,
         true,
         0,
         1},
        {"shorten non-numeric",
         {{"anon", "AnonShorten"}, {"newlen", "x"}},
         sequence(3),
         same,
         0,
         true,
         0,
         1},
        {"sha1 2",
         {{"anon", "AnonHashSha1"}},
         sequence(2),
         [](const Bytes& in, Draws&) { return spread(sha1Of(in), 2); },
         2,
         true,
         0,
         1},
        {"sha1 25",
         {{"anon", "AnonHashSha1"}},
         sequence(25),
         [](const Bytes& in, Draws&) { return spread(sha1Of(in), 25); },
         25,
         true,
         0,
         1},
        {"hmac 2",
         {{"anon", "AnonHashHmacSha1"}, {"key", HMAC_KEY}},
         sequence(2),
         [](const Bytes& in, Draws&) { return spread(hmacOf(HMAC_KEY, in), 2); },
         2,
         true,
         0,
         1},
        {"hmac 45",
         {{"anon", "AnonHashHmacSha1"}, {"key", HMAC_KEY}},
         sequence(45),
         [](const Bytes& in, Draws&) { return spread(hmacOf(HMAC_KEY, in), 45); },
         45,
         true,
         0,
         1},
        {"hmac empty key",
         {{"anon", "AnonHashHmacSha1"}, {"key", ""}},
         sequence(7),
         [](const Bytes& in, Draws&) { return spread(hmacOf("", in), 7); },
         7,
         true,
         0,
         1},
        {"bytewise sha1",
         {{"anon", "AnonBytewiseHashSha1"}},
         sequence(256, 0),
         [](const Bytes& in, Draws&) {
             Bytes out;
             for (uint8_t b : in)
                 out.push_back(sha1Of({b})[0]);
             return out;
         },
         256,
         true,
         0,
         1},
        {"bytewise hmac",
         {{"anon", "AnonBytewiseHashHmacSha1"}, {"key", HMAC_KEY}},
         sequence(256, 0),
         [](const Bytes& in, Draws&) {
             Bytes out;
             for (uint8_t b : in)
                 out.push_back(hmacOf(HMAC_KEY, {b})[0]);
             return out;
         },
         256,
         true,
         0,
         1},
        {"broadcast empty", {{"anon", "AnonBroadcastHandler"}}, Bytes(), same, 0, false, 0, 1},
        {"broadcast all 0xFF", {{"anon", "AnonBroadcastHandler"}}, broadcast, same, 6, false, 0, 1},
        {"broadcast other", {{"anon", "AnonBroadcastHandler"}}, mac, same, 6, true, 0, 1},
        {"shorten then randomize",
         {{"anon", "AnonShorten,AnonRandomize"}, {"newlen", "4"}},
         sequence(10),
         [](const Bytes& in, Draws& d) { return randomize(in, d, 4); },
         4,
         true,
         4,
         1},
        {"broadcast guard, broadcast",
         {{"anon", "AnonBroadcastHandler,AnonRandomize"}},
         broadcast,
         same,
         6,
         false,
         0,
         1},
        {"broadcast guard, unicast",
         {{"anon", "AnonBroadcastHandler,AnonRandomize"}},
         mac,
         [](const Bytes& in, Draws& d) { return randomize(in, d, in.size()); },
         6,
         true,
         6,
         1},
        {"shuffle then shorten then hash",
         {{"anon", "AnonShuffle,AnonShorten, AnonHashSha1"}, {"newlen", "3"}},
         sequence(5),
         [](const Bytes& in, Draws& d) {
             Bytes out = shuffle(in, d);
             Bytes digest = sha1Of(Bytes(out.begin(), out.begin() + 3));
             for (size_t i = 0; i < 3; i++)
                 out[i] = digest[i];
             return out;
         },
         3,
         true,
         4,
         1},
    };
}

TEST(Primitives, TableOfResultsAndDraws) {
    AnonFactory factory;
    for (const Case& c : cases()) {
        SCOPED_TRACE(c.title);
        Draws d(c.seed);
        Bytes expected = c.expected(c.input, d);
        if (c.draws != ANY_DRAWS) {
            EXPECT_EQ(d.used, c.draws);  // the expected draw count
        }

        // Through the chain.
        AnonPrimitive* chain = factory.create(c.attributes);
        ASSERT_NE(chain, nullptr);
        Bytes field = c.input;
        d.restart();
        EXPECT_EQ(chain->anonymizeChain(field.data(), static_cast<uint32_t>(field.size())),
                  c.length);
        EXPECT_EQ(std::rand(), d.following()) << "draws made differ from " << d.used;
        EXPECT_EQ(field, expected);
        AnonPrimitive::destroyChain(chain);

        // The first primitive alone, on a fresh chain: passOn and its bytes.
        chain = factory.create(c.attributes);
        field = c.input;
        d.restart();
        AnonResult first = chain->anonymize(field.data(), static_cast<uint32_t>(field.size()));
        EXPECT_EQ(first.passOn, c.passOn);
        if (chain->getNext() == nullptr) {
            EXPECT_EQ(first.newLength, c.length);
            EXPECT_EQ(field, expected);
        }
        AnonPrimitive::destroyChain(chain);
    }
}

TEST(Primitives, WhitenoiseRoundingAndFlipCounts) {
    // 7 / 100.0 * 100 lies slightly above 7.
    EXPECT_EQ(std::ceil((7 / 100.0) * (10 * 10)), 8.0);
    // Strength 0 on 4 bytes flips exactly one bit.
    Draws d;
    Bytes in = sequence(4);
    Bytes out = whitenoise(in, 0, d);
    int flipped = 0;
    for (size_t i = 0; i < in.size(); i++)
        flipped += __builtin_popcount(in[i] ^ out[i]);
    EXPECT_EQ(flipped, 1);
    // The top bit of the last byte is never flipped: p < B - 1.
    AnonWhitenoise primitive(255);
    std::srand(1);
    for (int n = 0; n < 200; n++) {
        uint8_t field[2] = {0, 0};
        primitive.anonymize(field, 2);
        EXPECT_EQ(field[1] & 0x80, 0);
    }
    AnonFactory factory;
    AnonPrimitive* chain = factory.create({{"anon", "AnonWhitenoise"}, {"strength", "300"}});
    EXPECT_EQ(dynamic_cast<AnonWhitenoise&>(*chain).getStrength(), 44);
    AnonPrimitive::destroyChain(chain);
}

TEST(Primitives, ContinuousCharCountsFieldsAndWraps) {
    AnonContinuousChar primitive;
    for (int n = 0; n < 600; n++) {
        Bytes field = sequence(3);
        AnonResult result = primitive.anonymize(field.data(), 3);
        EXPECT_TRUE(result.passOn);
        EXPECT_EQ(result.newLength, 3u);
        ASSERT_EQ(field, Bytes(3, static_cast<uint8_t>(n % 256))) << "field " << n;
    }
}

// Reports a fixed result and records the length it was given.
class Scripted : public AnonPrimitive {
  public:
    Scripted(bool passOn, uint32_t newLength, std::vector<uint32_t>& seen, int& alive)
        : result{passOn, newLength}, seen(seen), alive(alive) {
        alive++;
    }
    ~Scripted() override { alive--; }
    AnonResult anonymize(uint8_t*, uint32_t length) override {
        seen.push_back(length);
        return result;
    }

  private:
    AnonResult result;
    std::vector<uint32_t>& seen;
    int& alive;
};

TEST(Primitives, ChainRunsUntilAPrimitiveStopsAndReturnsTheSmallestLength) {
    std::vector<uint32_t> seen;
    int alive = 0;
    const struct {
        std::vector<AnonResult> script;
        uint32_t result;
        std::vector<uint32_t> seen;
    } chains[] = {
        {{{true, 6}, {true, 9}, {false, 3}, {true, 1}}, 3, {10, 6, 9}},
        {{{true, 10}, {true, 7}, {true, 8}}, 7, {10, 10, 7}},
        {{{false, 10}, {true, 1}}, 10, {10}},
        {{{true, 4}}, 4, {10}},
    };
    for (const auto& c : chains) {
        AnonPrimitive* first = nullptr;
        for (auto it = c.script.rbegin(); it != c.script.rend(); ++it) {
            AnonPrimitive* p = new Scripted(it->passOn, it->newLength, seen, alive);
            p->setNext(first);
            first = p;
        }
        seen.clear();
        uint8_t buffer[10] = {0};
        EXPECT_EQ(first->anonymizeChain(buffer, 10), c.result);
        EXPECT_EQ(seen, c.seen);
        // Deleting one primitive leaves the rest; destroyChain deletes all.
        AnonPrimitive* rest = first->getNext();
        first->setNext(nullptr);
        delete first;
        EXPECT_EQ(alive, static_cast<int>(c.script.size()) - 1);
        AnonPrimitive::destroyChain(rest);
        EXPECT_EQ(alive, 0);
    }
    AnonPrimitive::destroyChain(nullptr);
}

// The classes of a chain, first to last.
std::vector<std::string> classesOf(const AnonPrimitive* chain) {
    std::vector<std::string> names;
    for (; chain != nullptr; chain = chain->getNext())
        names.push_back(typeid(*chain).name());
    return names;
}

struct FactoryCase {
    std::string anon;  // empty: no "anon" attribute
    std::vector<std::string> classes;
    std::string printed;
};

TEST(Factory, BuildsChainsAndReportsUnknownNames) {
    const std::string identity = typeid(AnonIdentity).name();
    const std::string randomize = typeid(AnonRandomize).name();
    const FactoryCase factoryCases[] = {
        {"AnonIdentity", {identity}, ""},
        {"AnonIdentity ", {}, "unknown anonprimitive AnonIdentity \n"},
        {" AnonIdentity", {}, "unknown anonprimitive  AnonIdentity\n"},
        {" AnonIdentity , AnonRandomize ", {identity, randomize}, ""},
        {"AnonIdentity,", {identity}, "unknown anonprimitive \n"},
        {"AnonIdentity,Foo,AnonRandomize", {identity}, "unknown anonprimitive Foo\n"},
        {"Foo,AnonRandomize,AnonIdentity", {}, "unknown anonprimitive Foo\n"},
        {"AnonRandomize,\tAnonIdentity\n,AnonRandomize", {randomize, identity, randomize}, ""},
        {"anonidentity", {}, "unknown anonprimitive anonidentity\n"},
        {"AnonBytewise", {}, "unknown anonprimitive AnonBytewise\n"},
        {"", {}, "unknown anonprimitive \n"},
    };
    AnonFactory factory;
    for (const FactoryCase& c : factoryCases) {
        SCOPED_TRACE("anon = '" + c.anon + "'");
        testing::internal::CaptureStderr();
        AnonPrimitive* chain = factory.create({{"anon", c.anon}, {"other", "x"}});
        EXPECT_EQ(testing::internal::GetCapturedStderr(), c.printed);
        EXPECT_EQ(classesOf(chain), c.classes);
        AnonPrimitive::destroyChain(chain);
    }
    testing::internal::CaptureStderr();
    EXPECT_EQ(factory.create({{"key", "x"}, {"newlen", "4"}}), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST(Factory, BuildsEveryClassByName) {
    const Attributes parameters = {
        {"anonval", "1"}, {"strength", "1"}, {"newlen", "1"}, {"key", std::string(32, 'k')}};
    const struct {
        const char* name;
        const std::type_info& type;
    } classes[] = {
        {"AnonIdentity", typeid(AnonIdentity)},
        {"AnonConstOverwrite", typeid(AnonConstOverwrite)},
        {"AnonContinuousChar", typeid(AnonContinuousChar)},
        {"AnonRandomize", typeid(AnonRandomize)},
        {"AnonShuffle", typeid(AnonShuffle)},
        {"AnonWhitenoise", typeid(AnonWhitenoise)},
        {"AnonShorten", typeid(AnonShorten)},
        {"AnonHashSha1", typeid(AnonHashSha1)},
        {"AnonHashHmacSha1", typeid(AnonHashHmacSha1)},
        {"AnonBytewiseHashSha1", typeid(AnonBytewiseHashSha1)},
        {"AnonBytewiseHashHmacSha1", typeid(AnonBytewiseHashHmacSha1)},
        {"AnonBroadcastHandler", typeid(AnonBroadcastHandler)},
        {"AnonCryptoPan", typeid(AnonCryptoPan)},
    };
    AnonFactory factory;
    for (const auto& c : classes) {
        Attributes attributes = parameters;
        attributes["anon"] = c.name;
        AnonPrimitive* chain = factory.create(attributes);
        ASSERT_NE(chain, nullptr) << c.name;
        EXPECT_TRUE(typeid(*chain) == c.type) << c.name;
        EXPECT_EQ(chain->getNext(), nullptr);
        AnonPrimitive::destroyChain(chain);
    }
}

TEST(FactoryDeathTest, MissingRequiredAttributesEndWithStatus2) {
    const struct {
        const char* anon;
        const char* message;
    } missing[] = {
        {"AnonConstOverwrite", "AnonConstOverwrite: missing anonval attribute"},
        {"AnonShorten", "AnonShorten: missing newlen attribute"},
        {"AnonHashHmacSha1", "AnonHashHmacSha1: missing key attribute"},
        {"AnonBytewiseHashHmacSha1", "AnonBytewiseHashHmacSha1: missing key attribute"},
        {"AnonWhitenoise", "AnonWhitenoise: missing strength attribute"},
        {"AnonCryptoPan", "AnonCryptoPan: missing key attribute"},
        {"AnonIdentity, AnonShorten", "AnonShorten: missing newlen attribute"},
    };
    AnonFactory factory;
    for (const auto& c : missing) {
        std::string regex = std::string("^incomplete configuration for ") + c.message + "\n$";
        EXPECT_EXIT(factory.create({{"anon", c.anon}}), ::testing::ExitedWithCode(2), regex)
            << c.anon;
    }
}

TEST(FactoryDeathTest, HmacKeysOver65535BytesEndWithStatus2) {
    AnonFactory factory;
    const std::string tooLong(65536, 'k');
    for (const char* name : {"AnonHashHmacSha1", "AnonBytewiseHashHmacSha1"}) {
        std::string regex = std::string("^invalid configuration for ") + name +
                            ": key attribute longer than 65535 bytes\n$";
        EXPECT_EXIT(factory.create({{"anon", name}, {"key", tooLong}}),
                    ::testing::ExitedWithCode(2), regex);
    }
    // 65535 bytes are accepted.
    AnonPrimitive* chain =
        factory.create({{"anon", "AnonHashHmacSha1"}, {"key", tooLong.substr(1)}});
    Bytes field = sequence(30);
    chain->anonymizeChain(field.data(), 30);
    EXPECT_EQ(field, spread(hmacOf(tooLong.substr(1), sequence(30)), 30));
    AnonPrimitive::destroyChain(chain);
}

TEST(Trim, RemovesBlanksNewlinesReturnsAndTabsAtBothEnds) {
    const std::pair<std::string, std::string> texts[] = {
        {"", ""},           {" \t\r\n ", ""},         {"a", "a"},
        {"  a b  ", "a b"}, {"\tAnonX\r\n", "AnonX"}, {"\va\f", "\va\f"},
        {"x \t", "x"},      {"\n\ny", "y"},
    };
    for (const auto& t : texts)
        EXPECT_EQ(trim(t.first), t.second) << "'" << t.first << "'";
}

TEST(RandomNumberGenerator, DrawsFromRand) {
    Draws d;
    d.restart();
    EXPECT_EQ(RandomNumberGenerator::generate(5, 5), 5u);  // no draw
    EXPECT_EQ(RandomNumberGenerator::generate(0, 0), 0u);  // no draw
    EXPECT_EQ(RandomNumberGenerator::generate(), d.next() & 0xFFFF);
    for (int n = 0; n < 200; n++) {
        uint32_t value = RandomNumberGenerator::generate(0, 8);
        EXPECT_EQ(value, d.next() % 8);
        EXPECT_LT(value, 8u);
    }
    EXPECT_EQ(RandomNumberGenerator::generate(10, 13), 10 + d.next() % 3);
    EXPECT_EQ(std::rand(), d.following());
}

}  // namespace
