// The fast paths added for performance must not change any result: the
// memo of the deterministic primitives, identity chains that are skipped,
// packets that borrow their predecessor's bytes, assembly into one block,
// and the recycling packet pools.

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "PcapTestIo.h"
#include "TestSupport.h"
#include "anonprimitives/AnonCryptoPan.h"
#include "anonprimitives/AnonFactory.h"
#include "anonprimitives/AnonHashHmacSha1.h"
#include "anonprimitives/AnonHashSha1.h"
#include "anonprimitives/AnonIdentity.h"
#include "anonprimitives/AnonPrimitive.h"
#include "anonprimitives/AnonResultCache.h"
#include "packets/Frame.h"
#include "packets/Packet.h"
#include "packets/PacketFactory.h"

using namespace pcaptest;
using namespace testsupport;

namespace {

const std::string KEY = "a-key-of-at-least-32-bytes-for-the-tests!";

// Runs `make()`'s primitive on every field of `fields`, in order, and
// returns the results; each field through a fresh object when `fresh`
// (no memo can hit), else through one object (repeats hit the memo).
std::vector<std::vector<uint8_t>> anonymizeAll(const std::function<AnonPrimitive*()>& make,
                                               const std::vector<std::vector<uint8_t>>& fields,
                                               bool fresh) {
    std::vector<std::vector<uint8_t>> results;
    std::unique_ptr<AnonPrimitive> shared(make());
    for (const auto& field : fields) {
        std::vector<uint8_t> bytes = field;
        std::unique_ptr<AnonPrimitive> own(fresh ? make() : nullptr);
        AnonPrimitive* primitive = fresh ? own.get() : shared.get();
        primitive->anonymize(bytes.data(), static_cast<uint32_t>(bytes.size()));
        results.push_back(bytes);
    }
    return results;
}

// Fields of 1 to 20 bytes drawn from a small set, so that they repeat.
std::vector<std::vector<uint8_t>> repeatingFields(size_t count) {
    std::mt19937 random(7);
    std::vector<std::vector<uint8_t>> pool;
    for (int i = 0; i < 60; i++) {
        std::vector<uint8_t> field(1 + random() % 20);
        for (auto& byte : field)
            byte = static_cast<uint8_t>(random());
        pool.push_back(field);
    }
    // Same bytes, different lengths: must not share a memo entry.
    pool.push_back({1, 2, 3, 4});
    pool.push_back({1, 2, 3, 4, 0});
    pool.push_back({1, 2, 3, 4, 0, 0});
    std::vector<std::vector<uint8_t>> fields;
    for (size_t i = 0; i < count; i++)
        fields.push_back(pool[random() % pool.size()]);
    return fields;
}

}  // namespace

TEST(ResultCache, RemembersByBytesAndLength) {
    AnonResultCache cache;
    uint8_t field[16] = {10, 0, 0, 1};
    EXPECT_FALSE(cache.lookUp(field, 4));
    const uint8_t original[16] = {10, 0, 0, 1};
    const uint8_t result[16] = {99, 98, 97, 96};
    cache.store(original, result, 4);
    EXPECT_TRUE(cache.lookUp(field, 4));
    EXPECT_EQ(std::memcmp(field, result, 4), 0);
    uint8_t longer[16] = {10, 0, 0, 1, 0};
    EXPECT_FALSE(cache.lookUp(longer, 5));
    uint8_t other[16] = {10, 0, 0, 2};
    EXPECT_FALSE(cache.lookUp(other, 4));
    EXPECT_EQ(other[3], 2);
    // Nothing longer than 16 bytes, and nothing empty, is remembered.
    uint8_t big[17] = {};
    cache.store(big, big, 17);
    EXPECT_FALSE(cache.lookUp(big, 17));
    EXPECT_FALSE(cache.lookUp(big, 0));
}

TEST(ResultCache, MemoizedPrimitivesGiveTheFreshResults) {
    const auto fields = repeatingFields(3000);
    std::vector<std::pair<std::string, std::function<AnonPrimitive*()>>> makers = {
        {"AnonHashHmacSha1", [] { return new AnonHashHmacSha1(KEY); }},
        {"AnonHashSha1", [] { return new AnonHashSha1(); }},
    };
    for (const auto& maker : makers) {
        SCOPED_TRACE(maker.first);
        EXPECT_EQ(anonymizeAll(maker.second, fields, false),
                  anonymizeAll(maker.second, fields, true));
    }
    std::vector<std::vector<uint8_t>> addresses;
    for (const auto& field : fields) {
        if (field.size() <= 16)
            addresses.push_back(field);
    }
    auto cryptoPan = [] { return new AnonCryptoPan(KEY); };
    EXPECT_EQ(anonymizeAll(cryptoPan, addresses, false), anonymizeAll(cryptoPan, addresses, true));
}

TEST(IdentityChain, OnlyChainsOfIdentitiesAreSkipped) {
    AnonFactory factory;
    struct Row {
        std::string anon;
        bool identity;
    };
    const Row rows[] = {{"AnonIdentity", true},
                        {"AnonIdentity,AnonIdentity", true},
                        {"AnonIdentity,AnonRandomize", false},
                        {"AnonRandomize,AnonIdentity", false},
                        {"AnonShorten", false}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.anon);
        AnonPrimitive* chain = factory.create({{"anon", row.anon}, {"newlen", "2"}});
        ASSERT_NE(chain, nullptr);
        EXPECT_EQ(chain->isIdentityChain(), row.identity);
        uint8_t field[4] = {1, 2, 3, 4};
        uint32_t length = chain->anonymizeChain(field, 4);
        if (row.identity) {
            EXPECT_EQ(length, 4u);
            EXPECT_EQ(field[0] + field[1] + field[2] + field[3], 10);
        }
        AnonPrimitive::destroyChain(chain);
    }
    // setNext forgets the earlier answer.
    AnonIdentity first;
    AnonIdentity second;
    EXPECT_TRUE(first.isIdentityChain());
    std::unique_ptr<AnonPrimitive> shorten(
        factory.create({{"anon", "AnonShorten"}, {"newlen", "1"}}));
    first.setNext(shorten.get());
    EXPECT_FALSE(first.isIdentityChain());
    first.setNext(&second);
    EXPECT_TRUE(first.isIdentityChain());
}

TEST(BorrowedBuffers, ResizingASuccessorLeavesThePredecessorsBytes) {
    ScopedConfiguration configuration;
    Bytes frameBytes = ethernet(0x8100, vlanTag(5, 0x8100, vlanTag(6, 0x0806, Bytes(28, 0x33))));
    Frame* frame = parseFrame(frameBytes);
    Packet* first = frame->packet;
    ASSERT_EQ(chainLength(first), 4u);
    Bytes before(first->getBuffer(), first->getBuffer() + first->getSize());
    Packet* tag = first->getNext();
    tag->resizeBuffer(2);
    tag->getBuffer()[0] = 0xEE;
    tag->resizeBuffer(0);
    EXPECT_EQ(Bytes(first->getBuffer(), first->getBuffer() + first->getSize()), before);
    PacketFactory::instance()->freeFrame(frame);
}

TEST(AssemblyBlocks, AssemblingTwiceGivesTheSameBytes) {
    ScopedConfiguration configuration;
    std::vector<Record> records;
    ASSERT_TRUE(readPcap(sourcePath("examples/sample.pcap"), records));
    for (size_t i = 0; i < records.size(); i += 7) {
        Frame* frame = parseFrame(records[i]);
        Packet* copy = identityRebuild(frame->packet);
        Bytes once = assembleBytes(copy);
        Bytes twice = assembleBytes(copy);
        EXPECT_EQ(once, twice) << "record " << i;
        PacketFactory::instance()->freePacket(copy);
        PacketFactory::instance()->freeFrame(frame);
    }
}

// A 65535-byte frame of nested VLAN tags (16,380 tags) goes through the
// whole program: the chain builds, anonymizes, assembles and releases. Its
// cost is measured by the benchmarks, not here.
TEST(DeepChainCost, NestedVlanFrameThroughTheProgram) {
    TempDir dir;
    Bytes frameBytes(65535, 0);
    putBe16(frameBytes, 12, 0x8100);
    for (size_t offset = 14; offset + 4 <= frameBytes.size(); offset += 4) {
        putBe16(frameBytes, offset, 5);
        putBe16(frameBytes, offset + 2, 0x8100);
    }
    Record record;
    record.seconds = 1;
    record.data = frameBytes;
    ASSERT_TRUE(writePcap(dir.file("in.pcap"), {record}));
    Settings settings;
    settings.extraModules = profileXml();
    writeFile(dir.file("settings.xml"), settingsXml(settings));
    ProcessResult result = runVeilcap({"settings.xml"}, "", dir.path());
    EXPECT_EQ(result.status, 0) << result.err;
    std::vector<Record> out;
    ASSERT_TRUE(readPcap(dir.file("out.pcap"), out));
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].data.size(), 65535u - 1);
}
