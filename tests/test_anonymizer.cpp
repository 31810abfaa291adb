// The profile and the packet anonymizer: loading and releasing the slots,
// and how each field travels through its primitive chain.

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "Configuration.h"
#include "PacketAnonymizer.h"
#include "TestSupport.h"
#include "anonprimitives/AnonPrimitive.h"
#include "packets/EthernetPacket.h"
#include "packets/IpPacket.h"
#include "packets/PacketFactory.h"
#include "packets/PayloadPacket.h"
#include "packets/TcpPacket.h"

using namespace testsupport;

namespace {

// Ethernet, IPv4 192.168.1.10 -> 10.0.0.1 (DF), TCP 40000 -> 80, "GET".
const char* const TCP_FRAME_HEX =
    "00112233445566778899aabb08004500002b1234400040065ce6c0a8010a0a0000019c4000500000000100000002"
    "501810009c3d0000474554";

Packet* parseFrame(const std::string& hex) {
    Packet* first = PacketFactory::instance()->createPacket(PROTO_ETHERNET);
    first->resizeBuffer(static_cast<uint32_t>(hex.size() / 2));
    for (size_t i = 0; i < hex.size() / 2; ++i) {
        first->getBuffer()[i] = static_cast<uint8_t>(std::stoi(hex.substr(2 * i, 2), nullptr, 16));
    }
    first->parse();
    first->createNextPacket();
    return first;
}

class AnonymizerTest : public ::testing::Test {
  protected:
    void load(const std::map<std::string, std::string>& items) {
        Settings settings;
        settings.extraModules = profileXml(items);
        scope.reset(new ScopedConfiguration(settings));
        Configuration::instance()->loadAnonProfile();
        ASSERT_TRUE(Configuration::instance()->checkAnonProfile());
    }
    void TearDown() override {
        if (scope)
            Configuration::instance()->releaseAnonProfile();
    }
    std::unique_ptr<ScopedConfiguration> scope;
};

TEST_F(AnonymizerTest, FieldsTravelAtTheirWidthsAndAreStoredAtTheirWidths) {
    load({{"MacSource", "anon=\"AnonConstOverwrite\" anonval=\"11\""},
          {"IpFlags", "anon=\"AnonConstOverwrite\" anonval=\"ff\""},
          {"IpTtl", "anon=\"AnonContinuousChar\""},
          {"TcpSeqnum", "anon=\"AnonConstOverwrite\" anonval=\"41\""},
          {"TcpFlags", "anon=\"AnonConstOverwrite\" anonval=\"ff\""},
          {"TcpSourceport", "anon=\"AnonIdentity,AnonShorten\" newlen=\"1\""},
          {"PayloadPacketData",
           "anon=\"AnonShorten,AnonConstOverwrite\" newlen=\"1\" anonval=\"7a\""}});
    PacketFactory* factory = PacketFactory::instance();
    Packet* input = parseFrame(TCP_FRAME_HEX);
    Packet* output = PacketAnonymizer().anonymizePacket(input);
    ASSERT_NE(output, nullptr);

    // Same shape, successors announced.
    const ProtocolType shape[] = {PROTO_ETHERNET, PROTO_IP, PROTO_TCP, PROTO_PAYLOAD};
    const ProtocolType announced[] = {PROTO_IP, PROTO_TCP, PROTO_PAYLOAD, PROTO_NONE};
    Packet* packet = output;
    for (int i = 0; i < 4; ++i, packet = packet->getNext()) {
        ASSERT_NE(packet, nullptr);
        EXPECT_EQ(packet->getProtocolType(), shape[i]);
        EXPECT_EQ(packet->getNextProtocolType(), announced[i]);
    }
    EXPECT_EQ(packet, nullptr);

    auto* ethernet = static_cast<EthernetPacket*>(output);
    uint8_t mac[6];
    ethernet->getSourceMac(mac);
    EXPECT_EQ(std::memcmp(mac, "\x11\x11\x11\x11\x11\x11", 6), 0);
    ethernet->getDestMac(mac);
    EXPECT_EQ(std::memcmp(mac, "\x00\x11\x22\x33\x44\x55", 6), 0);

    auto* ip = static_cast<IpPacket*>(output->getNext());
    EXPECT_EQ(ip->getFlags(), 7) << "0xffff shifted into the top three bits";
    EXPECT_EQ(ip->getFragoffset(), 0) << "the flags do not spill into the offset";
    EXPECT_EQ(ip->getTtl(), 0) << "the first value of the counter";
    EXPECT_EQ(ip->getTotalLength(), 43) << "copied for assembly";

    auto* tcp = static_cast<TcpPacket*>(ip->getNext());
    EXPECT_EQ(tcp->getSeqnum(), 0x41414141u) << "four of the eight bytes reach the field";
    EXPECT_EQ(tcp->getAcknum(), 2u);
    EXPECT_EQ(tcp->getFlags(), 0x3F);
    EXPECT_EQ(tcp->getSourceport(), 40000) << "shortening a fixed field changes nothing";

    uint32_t length = 0;
    uint8_t* payload = static_cast<PayloadPacket*>(tcp->getNext())->getPayload(length);
    ASSERT_EQ(length, 1u);
    EXPECT_EQ(payload[0], 0x7a) << "the constant is written on the shortened length";
    std::free(payload);

    factory->freePacket(output);
    factory->freePacket(input);
}

TEST_F(AnonymizerTest, TheInputChainIsUnchangedAndTheChecksumFlagIsCopied) {
    load({{"IpSourceip", "anon=\"AnonRandomize\""}});
    Packet* input = parseFrame(TCP_FRAME_HEX);
    input->getNext()->setChecksumCorrect(false);
    std::string before;
    for (Packet* p = input; p != nullptr; p = p->getNext())
        before += p->toString();

    Packet* output = PacketAnonymizer().anonymizePacket(input);
    std::string after;
    for (Packet* p = input; p != nullptr; p = p->getNext())
        after += p->toString();
    EXPECT_EQ(after, before);
    EXPECT_TRUE(output->isChecksumCorrect());
    EXPECT_FALSE(output->getNext()->isChecksumCorrect());
    EXPECT_TRUE(output->getNext()->getNext()->isChecksumCorrect());
    PacketFactory::instance()->freePacket(output);
    PacketFactory::instance()->freePacket(input);
}

TEST_F(AnonymizerTest, ReleaseDestroysWholeChainsAndEmptiesTheSlots) {
    load({{"TcpOptions", "anon=\"AnonIdentity,AnonRandomize,AnonShorten\" newlen=\"0\""}});
    ASSERT_NE(TcpPacket::anonOptions, nullptr);
    ASSERT_NE(TcpPacket::anonOptions->getNext(), nullptr);
    Configuration::instance()->releaseAnonProfile();
    EXPECT_EQ(TcpPacket::anonOptions, nullptr);
    EXPECT_EQ(EthernetPacket::anonDestMac, nullptr);
    scope.reset();
}

TEST(ProfileCheck, EveryEmptySlotIsReportedInCheckOrder) {
    Settings settings;
    settings.extraModules = profileXml({{"Ipv6Destaddr", ""},
                                        {"ArpDestip", "anon=\"NoSuchPrimitive\""},
                                        {"MacType", "anonval=\"1\""},
                                        {"PayloadPacketData", ""}});
    ScopedConfiguration scope(settings);
    testing::internal::CaptureStderr();
    Configuration::instance()->loadAnonProfile();
    bool complete = Configuration::instance()->checkAnonProfile();
    std::string err = testing::internal::GetCapturedStderr();
    Configuration::instance()->releaseAnonProfile();
    EXPECT_FALSE(complete);
    EXPECT_EQ(err,
              "unknown anonprimitive NoSuchPrimitive\n"
              "anonymization primitive EthernetPacket::anonType not set\n"
              "anonymization primitive ArpPacket::anonDestip not set\n"
              "anonymization primitive Ipv6Packet::anonDestaddr not set\n"
              "anonymization primitive PayloadPacket::anonPayload not set\n");
}

}  // namespace
