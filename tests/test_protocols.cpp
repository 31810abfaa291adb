// The protocol classes (Parts 4.3 to 4.8): parse results and exact dumps
// of real frames from the shared corpus (expected values taken from
// tshark's decoding of the same frames), and the edge cases of each class.

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "PcapTestIo.h"
#include "TestSupport.h"
#include "packets/ArpPacket.h"
#include "packets/EthernetPacket.h"
#include "packets/Frame.h"
#include "packets/IcmpPacket.h"
#include "packets/IpPacket.h"
#include "packets/Ipv6Packet.h"
#include "packets/PacketFactory.h"
#include "packets/PayloadPacket.h"
#include "packets/TcpPacket.h"
#include "packets/UdpPacket.h"
#include "packets/VlanPacket.h"

using namespace pcaptest;
using testsupport::ScopedConfiguration;
using testsupport::Settings;

namespace {

typedef std::vector<uint32_t> Types;

Settings checksumSettings(bool recalculate, bool setBad) {
    Settings settings;
    settings.reCalculateChecksums = recalculate ? "1" : "0";
    settings.setBadChecksumsToBad = setBad ? "1" : "0";
    return settings;
}

// Frame number n (1-based, as tshark counts) of a corpus file.
Record corpusFrame(const std::string& file, size_t number) {
    std::vector<Record> records;
    if (!readPcap(testsupport::corpusPath(file), records) || number == 0 ||
        number > records.size()) {
        ADD_FAILURE() << "cannot read frame " << number << " of " << file;
        return Record();
    }
    return records[number - 1];
}

Packet* packetAt(Frame* frame, size_t index) {
    Packet* packet = frame->packet;
    for (size_t i = 0; i < index && packet != nullptr; i++)
        packet = packet->getNext();
    return packet;
}

// The frame's chain rebuilt through the getters and setters, assembled.
Bytes rebuild(Frame* frame) {
    Packet* copy = identityRebuild(frame->packet);
    Bytes out = assembleBytes(copy);
    PacketFactory::instance()->freePacket(copy);
    return out;
}

void release(Frame* frame) {
    PacketFactory::instance()->freeFrame(frame);
}

const Bytes SRC4 = {10, 0, 0, 1};
const Bytes DST4 = {10, 0, 0, 2};

std::string zeros(size_t n) {
    return std::string(n, '\0');
}

std::string hexPairs(const std::string& hex) {
    std::string out;
    for (size_t i = 0; i < hex.size(); i += 2) {
        if (i > 0)
            out += ' ';
        out += hex.substr(i, 2);
    }
    return out;
}

}  // namespace

// ===========================================================================
// Real frames

TEST(RealFrameTest, EthernetArpWithPadding) {
    ScopedConfiguration configuration;
    // dhcp-rfc4388 frame 7: ARP request, 42 bytes of headers, 18 of padding.
    Record record = corpusFrame("tcpdump__dhcp-rfc4388.pcap", 7);
    ASSERT_EQ(record.data.size(), 60u);
    Frame* frame = parseFrame(record);
    EXPECT_EQ(chainTypes(frame->packet), (Types{PROTO_ETHERNET, PROTO_ARP}));
    EXPECT_EQ(frame->packet->getNext()->getNextProtocolType(), PROTO_NONE);
    EXPECT_EQ(frame->toString(),
              "Frame\n"
              "\tnettype: \t1\n"
              "\ttimestamp: \t1553160649sec 545424microsec\n"
              "\tlength: \t60 captured, 60 original\n"
              "Ethernet packet\n"
              "\tsource mac: \ta6-82-4b-c9-a1-a7\n"
              "\tdest mac: \t74-83-ef-07-d0-a9\n"
              "\ttype: \t\t0x0806\n"
              "ARP packet\n"
              "\thardware type: \t0x0001\n"
              "\tprotocol type: \t0x0800\n"
              "\thw addr len: \t6\n"
              "\tprot addr len: \t4\n"
              "\topcode: \t0x0001\n"
              "\tsource mac: \ta6-82-4b-c9-a1-a7\n"
              "\tsource ip: \t10.40.2.3\n"
              "\tdest mac: \t00-00-00-00-00-00\n"
              "\tdest ip: \t10.40.1.1\n"
              "\n"
              "\n");
    ArpPacket* arp = static_cast<ArpPacket*>(frame->packet->getNext());
    EXPECT_EQ(arp->getHardwaretype(), 1);
    EXPECT_EQ(arp->getProtocoltype(), 0x0800);
    EXPECT_EQ(arp->getOpcode(), 1);
    uint8_t sourceIp[4];
    uint32_t held = arp->getSourceip();
    std::memcpy(sourceIp, &held, 4);
    EXPECT_EQ(Bytes(sourceIp, sourceIp + 4), (Bytes{10, 40, 2, 3}));
    EXPECT_EQ(rebuild(frame), record.data);  // the padding was zero already
    release(frame);
}

TEST(RealFrameTest, IcmpEchoRequest) {
    ScopedConfiguration configuration;
    Record record = corpusFrame("tcpdump__dhcp-rfc4388.pcap", 2);
    Frame* frame = parseFrame(record);
    ASSERT_EQ(chainTypes(frame->packet),
              (Types{PROTO_ETHERNET, PROTO_IP, PROTO_ICMP, PROTO_PAYLOAD}));
    EXPECT_EQ(packetAt(frame, 1)->toString(),
              "IP packet\n"
              "\tversion: \t4\n"
              "\tlength: \t20 bytes\n"
              "\ttos: \t\t0x00\n"
              "\ttotal length: \t48 bytes\n"
              "\tident: \t\t0x61b4\n"
              "\tflags: \t\t0x02\n"
              "\tfragoff: \t0x0000\n"
              "\tttl: \t\t64\n"
              "\tprotocol: \t0x01\n"
              "\tchecksum: \t0xbecc\n"
              "\tsource ip: \t10.40.2.3\n"
              "\tdest ip: \t10.30.4.4\n"
              "\toptions len: \t0\n"
              "\toptions: \t");
    EXPECT_EQ(packetAt(frame, 2)->toString(),
              "ICMP packet\n\ttype: \t8\n\tcode: \t0\n\tchecksum: \t0xb7db\n");
    EXPECT_EQ(packetAt(frame, 3)->toString(), "Payload packet\n\tlength: \t20\n\tdata: \t\t" +
                                                  hexPairs(std::string(40, '0')) +
                                                  "\n\tstring: \t\"" + zeros(20) + "\"");
    IcmpPacket* icmp = static_cast<IcmpPacket*>(packetAt(frame, 2));
    uint32_t misc = icmp->getMisc();
    EXPECT_EQ(Bytes(reinterpret_cast<uint8_t*>(&misc), reinterpret_cast<uint8_t*>(&misc) + 4),
              (Bytes{0x40, 0x24, 0x00, 0x00}));
    EXPECT_EQ(rebuild(frame), record.data);
    release(frame);
}

TEST(RealFrameTest, IcmpErrorQuotingIpv4) {
    ScopedConfiguration configuration(checksumSettings(true, true));
    // dhcp-rfc4388 frame 6: host unreachable quoting the echo request of
    // frame 2 (its IPv4 header and whole ICMP message).
    Record record = corpusFrame("tcpdump__dhcp-rfc4388.pcap", 6);
    Frame* frame = parseFrame(record);
    ASSERT_EQ(chainTypes(frame->packet),
              (Types{PROTO_ETHERNET, PROTO_IP, PROTO_ICMP, PROTO_IP, PROTO_ICMP, PROTO_PAYLOAD}));
    for (Packet* p = frame->packet; p != nullptr; p = p->getNext()) {
        EXPECT_TRUE(p->isChecksumCorrect()) << p->getProtocolType();
    }
    EXPECT_EQ(packetAt(frame, 2)->toString(),
              "ICMP packet\n\ttype: \t3\n\tcode: \t1\n\tchecksum: \t0xfcfe\n");
    EXPECT_EQ(packetAt(frame, 1)->toString(),
              "IP packet\n\tversion: \t4\n\tlength: \t20 bytes\n\ttos: \t\t0xc0\n"
              "\ttotal length: \t76 bytes\n\tident: \t\t0x9c6a\n\tflags: \t\t0x00\n"
              "\tfragoff: \t0x0000\n\tttl: \t\t64\n\tprotocol: \t0x01\n\tchecksum: \t0xc633\n"
              "\tsource ip: \t10.40.1.1\n\tdest ip: \t10.40.2.3\n\toptions len: \t0\n"
              "\toptions: \t");
    EXPECT_EQ(packetAt(frame, 3)->toString(),
              "IP packet\n\tversion: \t4\n\tlength: \t20 bytes\n\ttos: \t\t0x00\n"
              "\ttotal length: \t48 bytes\n\tident: \t\t0x61b4\n\tflags: \t\t0x02\n"
              "\tfragoff: \t0x0000\n\tttl: \t\t63\n\tprotocol: \t0x01\n\tchecksum: \t0xbfcc\n"
              "\tsource ip: \t10.40.2.3\n\tdest ip: \t10.30.4.4\n\toptions len: \t0\n"
              "\toptions: \t");
    EXPECT_EQ(rebuild(frame), record.data);
    release(frame);
}

TEST(RealFrameTest, UdpWithChecksumZeroAndTrailer) {
    for (bool recalculate : {false, true}) {
        ScopedConfiguration configuration(checksumSettings(recalculate, false));
        // dhcp-rfc4388 frame 9: DHCP lease query, UDP checksum 0, 18 bytes
        // behind the datagram (trailer and frame-check sequence).
        Record record = corpusFrame("tcpdump__dhcp-rfc4388.pcap", 9);
        ASSERT_EQ(record.data.size(), 342u);
        Frame* frame = parseFrame(record);
        ASSERT_EQ(chainTypes(frame->packet),
                  (Types{PROTO_ETHERNET, PROTO_IP, PROTO_UDP, PROTO_PAYLOAD}));
        EXPECT_EQ(packetAt(frame, 1)->getSize(), 310u);
        EXPECT_EQ(packetAt(frame, 3)->getSize(), 282u);
        EXPECT_EQ(packetAt(frame, 2)->toString(),
                  "UDP packet\n\tsource port: \t67\n\tdest port: \t67\n\tlength: \t290\n"
                  "\tchecksum: \t0x0000\n");
        Bytes expected(record.data.begin(), record.data.begin() + 324);
        if (!recalculate)
            putBe16(expected, 24, 0);  // the IPv4 checksum
        EXPECT_EQ(rebuild(frame), expected);
        release(frame);
    }
}

TEST(RealFrameTest, VlanTcpHttp) {
    ScopedConfiguration configuration;
    Record record = corpusFrame("tcpdump__ipv4_tcp_http_xml.pcap", 1);
    Frame* frame = parseFrame(record);
    ASSERT_EQ(chainTypes(frame->packet),
              (Types{PROTO_ETHERNET, PROTO_VLAN, PROTO_IP, PROTO_TCP, PROTO_PAYLOAD}));
    EXPECT_EQ(packetAt(frame, 0)->toString(),
              "Ethernet packet\n\tsource mac: \t00-50-56-9f-36-9f\n"
              "\tdest mac: \t00-03-b2-78-04-17\n\ttype: \t\t0x8100");
    EXPECT_EQ(packetAt(frame, 1)->toString(),
              "VLAN tag\n\tpriority: \t0\n\tcfi: \t\t0\n\tvlanid: \t165\n\ttype: \t\t0x0800");
    EXPECT_EQ(packetAt(frame, 3)->toString(),
              "TCP packet\n"
              "\tsource port: \t80\n"
              "\tdest port: \t5767\n"
              "\tsequencenum: \t908588050\n"
              "\tacknum: \t2693707125\n"
              "\theaderlen: \t20 bytes\n"
              "\tflags: \t\t0x0018\n"
              "\twindowsize: \t63750\n"
              "\tchecksum: \t0xbdc4\n"
              "\turgent pnt: \t0\n"
              "\toptions len: \t0\n"
              "\toptions: \t");
    std::string payload = packetAt(frame, 4)->toString();
    const std::string http = "HTTP/1.1 200 OK\r\n";
    const std::string prefix = "Payload packet\n\tlength: \t605\n\tdata: \t\t48 54 54 50 2f";
    EXPECT_EQ(payload.substr(0, prefix.size()), prefix);
    size_t stringLine = payload.find("\n\tstring: \t\"");
    ASSERT_NE(stringLine, std::string::npos);
    EXPECT_EQ(payload.substr(stringLine + 12),
              std::string(record.data.begin() + 58, record.data.end()) + "\"");
    EXPECT_EQ(payload.substr(stringLine + 12, http.size()), http);
    // data: 605 pairs, 604 blanks.
    EXPECT_EQ(stringLine - payload.find("\tdata: \t\t") - 9, 605u * 3 - 1);
    EXPECT_EQ(rebuild(frame), record.data);
    release(frame);
}

TEST(RealFrameTest, TcpSynWithOptions) {
    ScopedConfiguration configuration(checksumSettings(true, true));
    Record record = corpusFrame("tcpdump__ssh.pcap", 1);
    Frame* frame = parseFrame(record);
    ASSERT_EQ(chainTypes(frame->packet), (Types{PROTO_ETHERNET, PROTO_IP, PROTO_TCP}));
    TcpPacket* tcp = static_cast<TcpPacket*>(packetAt(frame, 2));
    EXPECT_TRUE(tcp->isChecksumCorrect());
    EXPECT_EQ(tcp->getHeaderSize(), 44u);
    EXPECT_EQ(tcp->getHeaderLength(), 44u);
    EXPECT_EQ(tcp->getFlags(), 0x02);
    uint32_t length = 0;
    uint8_t* options = tcp->getOptions(length);
    EXPECT_EQ(toHex(Bytes(options, options + length)),
              "020405b4010303060101080a7422c7ce0000000004020000");
    free(options);
    EXPECT_EQ(tcp->toString(),
              "TCP packet\n\tsource port: \t62146\n\tdest port: \t22\n"
              "\tsequencenum: \t4082233688\n\tacknum: \t0\n\theaderlen: \t44 bytes\n"
              "\tflags: \t\t0x0002\n\twindowsize: \t65535\n\tchecksum: \t0xec12\n"
              "\turgent pnt: \t0\n\toptions len: \t24\n"
              "\toptions: \t02 04 05 b4 01 03 03 06 01 01 08 0a 74 22 c7 ce 00 00 00 00 04 02 "
              "00 00");
    EXPECT_EQ(rebuild(frame), record.data);
    release(frame);
}

TEST(RealFrameTest, Ipv4WithRouterAlertOption) {
    ScopedConfiguration configuration;
    // IGMP_V2 frame 3: IPv4 with header length 24 (router alert), IGMP as
    // payload, Ethernet padding behind the datagram.
    Record record = corpusFrame("tcpdump__IGMP_V2.pcap", 3);
    Frame* frame = parseFrame(record);
    ASSERT_EQ(chainTypes(frame->packet), (Types{PROTO_ETHERNET, PROTO_IP, PROTO_PAYLOAD}));
    Packet* ip = packetAt(frame, 1);
    EXPECT_EQ(ip->getHeaderSize(), 24u);
    EXPECT_EQ(ip->getSize(), 32u);
    EXPECT_EQ(ip->toString(),
              "IP packet\n\tversion: \t4\n\tlength: \t24 bytes\n\ttos: \t\t0x00\n"
              "\ttotal length: \t32 bytes\n\tident: \t\t0x0000\n\tflags: \t\t0x02\n"
              "\tfragoff: \t0x0000\n\tttl: \t\t1\n\tprotocol: \t0x02\n\tchecksum: \t0x2d52\n"
              "\tsource ip: \t192.168.11.201\n\tdest ip: \t225.10.10.10\n"
              "\toptions len: \t4\n\toptions: \t94 04 00 00");
    EXPECT_EQ(packetAt(frame, 2)->toString(),
              "Payload packet\n\tlength: \t8\n\tdata: \t\t16 00 fe ea e1 0a 0a 0a\n"
              "\tstring: \t\"\x16" +
                  zeros(1) + "\xfe\xea\xe1\n\n\n\"");
    EXPECT_EQ(rebuild(frame), record.data);
    release(frame);
}

TEST(RealFrameTest, Ipv6HopByHopAndIcmpv6AsPayload) {
    ScopedConfiguration configuration;
    Record record = corpusFrame("tcpdump__icmpv6.pcap", 2);
    Frame* frame = parseFrame(record);
    ASSERT_EQ(chainTypes(frame->packet), (Types{PROTO_ETHERNET, PROTO_IPV6, PROTO_PAYLOAD}));
    EXPECT_EQ(packetAt(frame, 1)->toString(),
              "IPv6 packet\n"
              "\tVersion: \t6\n"
              "\tTrafficclass: \t0x00\n"
              "\tFlowlabel: \t0x00000\n"
              "\tPayloadlen: \t36\n"
              "\tNextheader: \t0x00\n"
              "\tHoplimit: \t1\n"
              "\tSourceaddr: \tfe80:0:0:0:215:17ff:fecc:e546\n"
              "\tDestaddr: \tff02:0:0:0:0:0:0:16");
    // The hop-by-hop header (next header 58) and the ICMPv6 message.
    uint32_t length = 0;
    uint8_t* payload = static_cast<PayloadPacket*>(packetAt(frame, 2))->getPayload(length);
    EXPECT_EQ(length, 36u);
    EXPECT_EQ(toHex(Bytes(payload, payload + 8)), "3a00050200000100");
    free(payload);
    EXPECT_EQ(rebuild(frame), record.data);
    release(frame);
}

TEST(RealFrameTest, ServiceTagIsNotAVlanTag) {
    ScopedConfiguration configuration;
    // 802.1ad_QinQ frame 1: 0x88a8 service tag, then 0x8100, then ARP.
    Record record = corpusFrame("tcpdump__802.1ad_QinQ.pcap", 1);
    Frame* frame = parseFrame(record);
    ASSERT_EQ(chainTypes(frame->packet), (Types{PROTO_ETHERNET, PROTO_PAYLOAD}));
    EXPECT_EQ(packetAt(frame, 0)->toString(),
              "Ethernet packet\n\tsource mac: \t00-20-d2-5a-fb-3f\n"
              "\tdest mac: \tff-ff-ff-ff-ff-ff\n\ttype: \t\t0x88a8");
    EXPECT_EQ(packetAt(frame, 1)->getSize(), record.data.size() - 14);
    EXPECT_EQ(rebuild(frame), record.data);
    release(frame);
}

TEST(RealFrameTest, StackedVlanTags) {
    ScopedConfiguration configuration;
    // The QinQ frame with its service tag turned into an 802.1Q tag: two
    // stacked 0x8100 tags (VLAN 200, then VLAN 2001) and ARP.
    Record record = corpusFrame("tcpdump__802.1ad_QinQ.pcap", 1);
    putBe16(record.data, 12, 0x8100);
    Frame* frame = parseFrame(record);
    ASSERT_EQ(chainTypes(frame->packet),
              (Types{PROTO_ETHERNET, PROTO_VLAN, PROTO_VLAN, PROTO_ARP}));
    EXPECT_EQ(packetAt(frame, 1)->toString(),
              "VLAN tag\n\tpriority: \t0\n\tcfi: \t\t0\n\tvlanid: \t200\n\ttype: \t\t0x8100");
    EXPECT_EQ(packetAt(frame, 2)->toString(),
              "VLAN tag\n\tpriority: \t0\n\tcfi: \t\t0\n\tvlanid: \t2001\n\ttype: \t\t0x0806");
    EXPECT_EQ(packetAt(frame, 3)->toString(),
              "ARP packet\n\thardware type: \t0x0001\n\tprotocol type: \t0x0800\n"
              "\thw addr len: \t6\n\tprot addr len: \t4\n\topcode: \t0x0001\n"
              "\tsource mac: \t00-20-d2-5a-fb-3f\n\tsource ip: \t172.21.79.97\n"
              "\tdest mac: \t00-00-00-00-00-00\n\tdest ip: \t172.21.79.100\n");
    // Each tag adds 4 bytes; 14 + 8 + 28 = 50, padded to 60.
    Bytes expected(record.data.begin(), record.data.begin() + 50);
    expected.resize(60, 0);
    EXPECT_EQ(rebuild(frame), expected);
    release(frame);
}

TEST(RealFrameTest, UdpDnsChecksumRecomputed) {
    ScopedConfiguration configuration(checksumSettings(true, true));
    Record record = corpusFrame("tcpdump__dns_udp.pcap", 1);
    Frame* frame = parseFrame(record);
    ASSERT_EQ(chainTypes(frame->packet),
              (Types{PROTO_ETHERNET, PROTO_IP, PROTO_UDP, PROTO_PAYLOAD}));
    EXPECT_TRUE(packetAt(frame, 2)->isChecksumCorrect());
    UdpPacket* udp = static_cast<UdpPacket*>(packetAt(frame, 2));
    EXPECT_EQ(udp->getSourceport(), getBe16(record.data, 34));
    EXPECT_EQ(udp->getDestport(), 53);
    EXPECT_EQ(rebuild(frame), record.data);
    release(frame);
}

// ===========================================================================
// Ethernet and VLAN

TEST(EthernetTest, PaddingAndLengths) {
    ScopedConfiguration configuration;
    struct Row {
        const char* name;
        uint16_t type;
        size_t payloadBytes;
        size_t outputBytes;
    } rows[] = {
        {"802.3 length 0x0005 is payload", 0x0005, 10, 60},
        {"10-byte payload padded", 0x1234, 10, 60},
        {"45 bytes padded", 0x1234, 45, 60},
        {"46 bytes not padded", 0x1234, 46, 60},
        {"47 bytes", 0x1234, 47, 61},
        {"1500 bytes", 0x1234, 1500, 1514},
    };
    for (const Row& row : rows) {
        Bytes payload(row.payloadBytes);
        for (size_t i = 0; i < payload.size(); i++)
            payload[i] = static_cast<uint8_t>(i + 1);
        Bytes input = ethernet(row.type, payload);
        Frame* frame = parseFrame(input);
        EXPECT_EQ(chainTypes(frame->packet), (Types{PROTO_ETHERNET, PROTO_PAYLOAD})) << row.name;
        Bytes expected = input;
        expected.resize(std::max<size_t>(60, input.size()), 0);
        Bytes out = rebuild(frame);
        EXPECT_EQ(out.size(), row.outputBytes) << row.name;
        EXPECT_EQ(out, expected) << row.name;
        release(frame);
    }
}

TEST(EthernetTest, WithoutSuccessorIsSixtyBytes) {
    ScopedConfiguration configuration;
    EthernetPacket* ethernetPacket =
        static_cast<EthernetPacket*>(PacketFactory::instance()->createPacket(PROTO_ETHERNET));
    const uint8_t mac[6] = {0x00, 0x1a, 0x2b, 0x3c, 0x4d, 0x5e};
    ethernetPacket->setSourceMac(mac);
    ethernetPacket->setType(0x0800);  // a protocol named, no successor
    Bytes out = assembleBytes(ethernetPacket);
    ASSERT_EQ(out.size(), 60u);
    EXPECT_EQ(toHex(Bytes(out.begin(), out.begin() + 14)), "000000000000001a2b3c4d5e0800");
    EXPECT_EQ(Bytes(out.begin() + 14, out.end()), Bytes(46, 0));
    EXPECT_NE(ethernetPacket->toString().find("\tsource mac: \t00-1a-2b-3c-4d-5e\n"),
              std::string::npos);
    uint8_t copy[6];
    ethernetPacket->getSourceMac(copy);
    EXPECT_EQ(std::memcmp(copy, mac, 6), 0);
    PacketFactory::instance()->freePacket(ethernetPacket);
}

TEST(EthernetTest, ParseRefusesShortOrMissingBuffers) {
    ScopedConfiguration configuration;
    PacketFactory* factory = PacketFactory::instance();
    EthernetPacket* packet = static_cast<EthernetPacket*>(factory->createPacket(PROTO_ETHERNET));
    EXPECT_FALSE(packet->parse());  // no buffer
    packet->resizeBuffer(13);
    std::memset(packet->getBuffer(), 0x11, 13);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(packet->parse());
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "packet too small to contain ethernet header (13bytes)\n");
    EXPECT_EQ(packet->getHeaderSize(), 0u);
    EXPECT_EQ(packet->getNextProtocolType(), PROTO_NONE);
    EXPECT_EQ(packet->getType(), 0);
    factory->freePacket(packet);
}

TEST(VlanTest, TagControlViews) {
    ScopedConfiguration configuration;
    VlanPacket* tag = static_cast<VlanPacket*>(PacketFactory::instance()->createPacket(PROTO_VLAN));
    tag->setVlanId(0x123);
    tag->setPriority(7);
    EXPECT_EQ(tag->getPriority(), 7);
    EXPECT_EQ(tag->getCfi(), 0);
    EXPECT_EQ(tag->getVlanId(), 0x123);
    tag->setCfi(1);
    EXPECT_EQ(tag->getPriority(), 7);
    EXPECT_EQ(tag->getCfi(), 1);
    EXPECT_EQ(tag->getVlanId(), 0x123);
    tag->setType(0x86DD);
    EXPECT_EQ(assembleBytes(tag), fromHex("f12386dd"));
    EXPECT_EQ(tag->toString(),
              "VLAN tag\n\tpriority: \t7\n\tcfi: \t\t1\n\tvlanid: \t291\n\ttype: \t\t0x86dd");
    // Only the low bits of each value are taken.
    tag->setPriority(0xF8);
    tag->setCfi(0xFE);
    tag->setVlanId(0xFFFF);
    EXPECT_EQ(tag->getPriority(), 0);
    EXPECT_EQ(tag->getCfi(), 0);
    EXPECT_EQ(tag->getVlanId(), 0xFFF);
    PacketFactory::instance()->freePacket(tag);
}

TEST(VlanTest, ShortTaggedFrameIsPaddedByEthernetOnly) {
    ScopedConfiguration configuration;
    Bytes input = ethernet(0x8100, vlanTag(0x0064, 0x1234, {1, 2, 3}));
    Frame* frame = parseFrame(input);
    EXPECT_EQ(chainTypes(frame->packet), (Types{PROTO_ETHERNET, PROTO_VLAN, PROTO_PAYLOAD}));
    Bytes expected = input;
    expected.resize(60, 0);
    EXPECT_EQ(rebuild(frame), expected);
    release(frame);
}

// ===========================================================================
// ARP

TEST(ArpTest, RequestDumpAndFixedLayout) {
    ScopedConfiguration configuration;
    // A request for 192.168.0.1 from 00-11-22-33-44-55 at 192.168.0.2, with
    // hardware address length 8: still read as the 28-byte layout.
    Bytes arp = fromHex("0001080008040001001122334455c0a80002000000000000c0a80001");
    Frame* frame = parseFrame(ethernet(0x0806, concat(arp, Bytes(18, 0x5A))));
    ASSERT_EQ(chainTypes(frame->packet), (Types{PROTO_ETHERNET, PROTO_ARP}));
    EXPECT_EQ(packetAt(frame, 1)->toString(),
              "ARP packet\n\thardware type: \t0x0001\n\tprotocol type: \t0x0800\n"
              "\thw addr len: \t8\n\tprot addr len: \t4\n\topcode: \t0x0001\n"
              "\tsource mac: \t00-11-22-33-44-55\n\tsource ip: \t192.168.0.2\n"
              "\tdest mac: \t00-00-00-00-00-00\n\tdest ip: \t192.168.0.1\n");
    EXPECT_EQ(rebuild(frame), concat(ethernet(0x0806, arp), Bytes(18, 0)));
    release(frame);
}

// ===========================================================================
// IPv4

TEST(Ipv4Test, ParseEdgeCases) {
    ScopedConfiguration configuration;
    Bytes base = ipv4(17, udp(1, 2, {1, 2, 3, 4}, SRC4, DST4));  // 32 bytes
    struct Row {
        const char* name;
        Bytes datagram;  // after the Ethernet header
        Types types;     // from the IPv4 packet on
        uint32_t size;   // the IPv4 packet's size after parsing
        uint32_t headerSize;
        uint32_t options;
    } rows[] = {
        {"total length 28 in a 60-byte frame",
         concat(ipv4(0x3B, Bytes(8, 7)), Bytes(18, 0)),
         {PROTO_IP, PROTO_PAYLOAD},
         28,
         20,
         0},
        {"header-length field 4",
         [&] {
             Bytes b = base;
             b[0] = 0x44;
             return b;
         }(),
         {PROTO_IP},
         32,
         32,
         0},
        {"header length above total length",
         [&] {
             Bytes b = base;
             putBe16(b, 2, 20);
             b[0] = 0x46;
             return b;
         }(),
         {PROTO_IP},
         32,
         32,
         0},
        {"header-length field 6 with 4 option bytes",
         ipv4(17, udp(1, 2, {9}, SRC4, DST4), {1, 2, 3, 4}),
         {PROTO_IP, PROTO_UDP, PROTO_PAYLOAD},
         33,
         24,
         4},
        {"header-length field 15, total length 60, 30 bytes captured",
         [&] {
             Bytes b = ipv4(17, Bytes(40, 0));
             b[0] = 0x4F;
             b.resize(30);
             return b;
         }(),
         {PROTO_IP, PROTO_UDP, PROTO_PAYLOAD},
         30,
         20,
         0},
        {"protocol 4", ipv4(4, ipv4(0x3B, {1})), {PROTO_IP, PROTO_IP, PROTO_PAYLOAD}, 41, 20, 0},
        {"protocol 41", ipv4(41, ipv6(59, {})), {PROTO_IP, PROTO_IPV6}, 60, 20, 0},
        {"protocol 47", ipv4(47, {0, 0, 8, 0}), {PROTO_IP, PROTO_PAYLOAD}, 24, 20, 0},
        {"first fragment keeps its transport header",
         [&] {
             Bytes b = base;
             b[6] = 0x20;
             return b;
         }(),
         {PROTO_IP, PROTO_UDP, PROTO_PAYLOAD},
         32,
         20,
         0},
        {"later fragment is payload",
         [&] {
             Bytes b = base;
             b[7] = 0x01;
             return b;
         }(),
         {PROTO_IP, PROTO_PAYLOAD},
         32,
         20,
         0},
        {"later fragment is payload, last one",
         [&] {
             Bytes b = base;
             putBe16(b, 6, 0x1FFF);
             return b;
         }(),
         {PROTO_IP, PROTO_PAYLOAD},
         32,
         20,
         0},
    };
    for (const Row& row : rows) {
        Frame* frame = parseFrame(ethernet(0x0800, row.datagram));
        Types types = chainTypes(frame->packet);
        types.erase(types.begin());
        EXPECT_EQ(types, row.types) << row.name;
        IpPacket* ip = static_cast<IpPacket*>(packetAt(frame, 1));
        EXPECT_EQ(ip->getSize(), row.size) << row.name;
        EXPECT_EQ(ip->getHeaderSize(), row.headerSize) << row.name;
        uint32_t length = 0;
        free(ip->getOptions(length));
        EXPECT_EQ(length, row.options) << row.name;
        if (row.types.size() == 1) {
            EXPECT_EQ(ip->getNextProtocolType(), PROTO_NONE) << row.name;
        }
        release(frame);
    }
}

TEST(Ipv4Test, MalformedHeaderIsRebuiltAsABareHeader) {
    ScopedConfiguration configuration;
    Bytes datagram = ipv4(17, udp(1, 2, {1, 2, 3, 4}, SRC4, DST4));
    datagram[0] = 0x44;
    Frame* frame = parseFrame(ethernet(0x0800, datagram));
    Bytes out = rebuild(frame);
    ASSERT_EQ(out.size(), 60u);
    Bytes header(out.begin() + 14, out.begin() + 34);
    EXPECT_EQ(header[0], 0x45);
    EXPECT_EQ(getBe16(header, 2), 20);
    EXPECT_EQ(referenceChecksum(header), 0);
    EXPECT_EQ(Bytes(out.begin() + 34, out.end()), Bytes(26, 0));
    release(frame);
}

TEST(Ipv4Test, OptionsAndDump) {
    ScopedConfiguration configuration;
    Frame* frame = parseFrame(ethernet(0x0800, ipv4(0x3B, {0xAA}, {1, 2, 3, 4})));
    IpPacket* ip = static_cast<IpPacket*>(packetAt(frame, 1));
    std::string dump = ip->toString();
    EXPECT_NE(dump.find("\tlength: \t24 bytes\n"), std::string::npos);
    EXPECT_EQ(dump.substr(dump.find("\toptions len")),
              "\toptions len: \t4\n\toptions: \t01 02 03 04");
    EXPECT_EQ(packetAt(frame, 2)->getSize(), 1u);  // the next protocol starts at offset 24
    release(frame);
}

TEST(Ipv4Test, AccessorsAndOddOptions) {
    ScopedConfiguration configuration;
    IpPacket* ip = static_cast<IpPacket*>(PacketFactory::instance()->createPacket(PROTO_IP));
    ip->setFlags(2);
    ip->setFragoffset(0x1FFF);
    EXPECT_EQ(ip->getFlags(), 2);
    EXPECT_EQ(ip->getFragoffset(), 0x1FFF);
    ip->setFlags(1);
    EXPECT_EQ(ip->getFlags(), 1);
    EXPECT_EQ(ip->getFragoffset(), 0x1FFF);
    ip->setVersion(4);
    ip->setHeaderLength(60);
    EXPECT_EQ(ip->getVersion(), 4);
    EXPECT_EQ(ip->getHeaderLength(), 60u);
    ip->setHeaderLength(64);  // (64 / 4) & 0xF = 0
    EXPECT_EQ(ip->getHeaderLength(), 0u);
    EXPECT_EQ(ip->getVersion(), 4);
    uint8_t options[3] = {0x07, 0x03, 0x04};
    ip->setOptions(options, 3);
    ip->setSourceip(0x0100000a);
    Bytes out = assembleBytes(ip);
    ASSERT_EQ(out.size(), 23u);
    EXPECT_EQ(toHex(Bytes(out.begin(), out.begin() + 10)), "4500001700003fff0000");
    EXPECT_EQ(toHex(Bytes(out.begin() + 6, out.begin() + 8)), "3fff");
    EXPECT_EQ(toHex(Bytes(out.begin() + 20, out.end())), "070304");
    EXPECT_EQ(ip->getTotalLength(), 23);
    EXPECT_EQ(ip->getHeaderLength(), 20u);
    EXPECT_EQ(ip->getChecksum(), referenceChecksum([&] {
                  Bytes b = out;
                  putBe16(b, 10, 0);
                  return b;
              }()));
    PacketFactory::instance()->freePacket(ip);
}

TEST(Ipv4Test, ChecksumsZeroWithRecalculationOff) {
    ScopedConfiguration configuration(checksumSettings(false, false));
    Bytes echo = fromHex("0800f7fe00010000");  // correct ICMP checksum
    Frame* frame = parseFrame(ethernet(0x0800, ipv4(1, echo)));
    Bytes out = rebuild(frame);
    EXPECT_EQ(getBe16(out, 24), 0);
    EXPECT_EQ(getBe16(out, 36), 0);
    release(frame);
}

// ===========================================================================
// ICMP

TEST(IcmpTest, TypeTable) {
    for (int type = 0; type <= 255; type++) {
        ProtocolType expected = PROTO_NONE;
        if (type == 0 || type == 8 || type == 13 || type == 14)
            expected = PROTO_PAYLOAD;
        if (type == 3 || type == 4 || type == 5 || type == 11 || type == 12)
            expected = PROTO_IP;
        EXPECT_EQ(IcmpPacket::nextProtocolForType(static_cast<uint8_t>(type)), expected) << type;
    }
}

TEST(IcmpTest, EchoRequestWith56DataBytes) {
    ScopedConfiguration configuration;
    Bytes data(56);
    for (size_t i = 0; i < data.size(); i++)
        data[i] = static_cast<uint8_t>(i);
    Bytes message = concat(fromHex("0800000012340001"), data);
    putBe16(message, 2, 0xDEAD);  // wrong: recomputed on output
    Frame* frame = parseFrame(ethernet(0x0800, ipv4(1, message)));
    ASSERT_EQ(chainTypes(frame->packet),
              (Types{PROTO_ETHERNET, PROTO_IP, PROTO_ICMP, PROTO_PAYLOAD}));
    EXPECT_EQ(packetAt(frame, 3)->getSize(), 56u);
    Bytes out = rebuild(frame);
    Bytes icmp(out.begin() + 34, out.end());
    ASSERT_EQ(icmp.size(), 64u);
    EXPECT_EQ(referenceChecksum(icmp), 0);  // covers all 64 bytes
    release(frame);
}

TEST(IcmpTest, RouterAdvertisementKeepsNothingAfterTheHeader) {
    ScopedConfiguration configuration;
    Bytes message = concat(fromHex("0900000001001800"), fromHex("0a0000010000000a"));
    Frame* frame = parseFrame(ethernet(0x0800, ipv4(1, message)));
    ASSERT_EQ(chainTypes(frame->packet), (Types{PROTO_ETHERNET, PROTO_IP, PROTO_ICMP}));
    Bytes out = rebuild(frame);
    EXPECT_EQ(getBe16(out, 16), 28);  // 20 + an 8-byte message
    Bytes icmp(out.begin() + 34, out.begin() + 42);
    EXPECT_EQ(referenceChecksum(icmp), 0);
    EXPECT_EQ(Bytes(out.begin() + 42, out.end()), Bytes(18, 0));
    release(frame);
}

TEST(IcmpTest, UnreachableQuotingIpv4AndEightTcpBytes) {
    ScopedConfiguration configuration;
    Bytes quoted = ipv4(6, tcp(1234, 80, 0x02, {}, {}, DST4, SRC4), {}, DST4, SRC4);
    quoted.resize(28);  // the IPv4 header and 8 bytes of TCP
    Bytes message = concat(fromHex("0303000000000000"), quoted);
    Frame* frame = parseFrame(ethernet(0x0800, ipv4(1, message)));
    ASSERT_EQ(chainTypes(frame->packet), (Types{PROTO_ETHERNET, PROTO_IP, PROTO_ICMP, PROTO_IP}));
    EXPECT_EQ(packetAt(frame, 3)->getNextProtocolType(), PROTO_NONE);
    Bytes out = rebuild(frame);
    ASSERT_EQ(out.size(), 62u);  // 14 + 20 + 8 + 20: the TCP bytes are gone
    Bytes inner(out.begin() + 42, out.end());
    EXPECT_EQ(getBe16(inner, 2), 20);  // the quoted header's total length
    EXPECT_EQ(referenceChecksum(inner), 0);
    EXPECT_EQ(referenceChecksum(Bytes(out.begin() + 34, out.end())), 0);
    release(frame);
}

// ===========================================================================
// IPv6

TEST(Ipv6Test, NextHeaderTable) {
    ScopedConfiguration configuration;
    struct Row {
        uint8_t nextHeader;
        Bytes payload;
        Types types;
    } rows[] = {
        {6, Bytes(20, 0x50), {PROTO_IPV6, PROTO_TCP}},
        {17, Bytes(9, 0), {PROTO_IPV6, PROTO_UDP, PROTO_PAYLOAD}},
        {0, Bytes(16, 0x3a), {PROTO_IPV6, PROTO_PAYLOAD}},
        {44, Bytes(16, 0x06), {PROTO_IPV6, PROTO_PAYLOAD}},
        {43, Bytes(16, 0x06), {PROTO_IPV6, PROTO_PAYLOAD}},
        {58, fromHex("8000000000010001"), {PROTO_IPV6, PROTO_PAYLOAD}},
        {1, fromHex("0800000000010001"), {PROTO_IPV6, PROTO_ICMP}},
        {41, ipv6(59, {}), {PROTO_IPV6, PROTO_IPV6}},
        {4, ipv4(0x3B, {}), {PROTO_IPV6, PROTO_IP}},
        {59, Bytes(4, 0), {PROTO_IPV6, PROTO_PAYLOAD}},
    };
    for (const Row& row : rows) {
        Frame* frame = parseFrame(ethernet(0x86DD, ipv6(row.nextHeader, row.payload)));
        Types types = chainTypes(frame->packet);
        types.erase(types.begin());
        EXPECT_EQ(types, row.types) << int(row.nextHeader);
        release(frame);
    }
}

TEST(Ipv6Test, TrimAndTruncation) {
    ScopedConfiguration configuration;
    // Payload length 0 in a 60-byte frame: trimmed to 40, output 60 bytes.
    Bytes padded = ethernet(0x86DD, ipv6(59, {}));
    padded.resize(60, 0xEE);
    Frame* frame = parseFrame(padded);
    EXPECT_EQ(chainLength(frame->packet), 2u);
    EXPECT_EQ(packetAt(frame, 1)->getSize(), 40u);
    Bytes out = rebuild(frame);
    EXPECT_EQ(out, concat(ethernet(0x86DD, ipv6(59, {})), Bytes(6, 0)));
    release(frame);

    // Payload length 100 with 30 bytes present: the payload gets 30, and the
    // output payload length is 30.
    Bytes truncated = ethernet(0x86DD, ipv6(59, Bytes(100, 0x42)));
    truncated.resize(14 + 40 + 30);
    frame = parseFrame(truncated);
    ASSERT_EQ(chainTypes(frame->packet), (Types{PROTO_ETHERNET, PROTO_IPV6, PROTO_PAYLOAD}));
    EXPECT_EQ(packetAt(frame, 2)->getSize(), 30u);
    out = rebuild(frame);
    EXPECT_EQ(out.size(), truncated.size());
    EXPECT_EQ(getBe16(out, 18), 30);
    release(frame);
}

TEST(Ipv6Test, AccessorsAndDump) {
    ScopedConfiguration configuration;
    Ipv6Packet* ip = static_cast<Ipv6Packet*>(PacketFactory::instance()->createPacket(PROTO_IPV6));
    ip->setVersion(6);
    ip->setTrafficclass(0xB8);
    ip->setFlowlabel(0xABC);
    EXPECT_EQ(ip->getVersion(), 6);
    EXPECT_EQ(ip->getTrafficclass(), 0xB8);
    EXPECT_EQ(ip->getFlowlabel(), 0xABCu);
    ip->setFlowlabel(0xFFFFFFFF);
    EXPECT_EQ(ip->getFlowlabel(), 0xFFFFFu);
    EXPECT_EQ(ip->getTrafficclass(), 0xB8);
    ip->setFlowlabel(0xABC);
    ip->setHoplimit(255);
    ip->setNextHeader(17);  // written unchanged, even without a successor
    ip->setPayloadLength(999);
    uint8_t source[16] = {0xfe, 0x80};
    source[15] = 1;
    uint8_t destination[16] = {0x20, 0x01, 0x0d, 0xb8, 0, 0, 0, 0, 0, 0, 0, 0, 0xab, 0xcd, 0, 0x0f};
    ip->setSourceaddr(source);
    ip->setDestaddr(destination);
    Bytes out = assembleBytes(ip);
    EXPECT_EQ(toHex(Bytes(out.begin(), out.begin() + 8)), "6b800abc000011ff");
    EXPECT_EQ(ip->getPayloadLength(), 0);
    EXPECT_EQ(ip->toString(),
              "IPv6 packet\n\tVersion: \t6\n\tTrafficclass: \t0xb8\n\tFlowlabel: \t0x00abc\n"
              "\tPayloadlen: \t0\n\tNextheader: \t0x11\n\tHoplimit: \t255\n"
              "\tSourceaddr: \tfe80:0:0:0:0:0:0:1\n\tDestaddr: \t2001:db8:0:0:0:0:abcd:f");
    PacketFactory::instance()->freePacket(ip);
}

TEST(Ipv6Test, TcpReceivesAddressesBeforeParse) {
    ScopedConfiguration configuration(checksumSettings(true, true));
    Bytes v6 = ipv6(6, {});
    Bytes source(v6.begin() + 8, v6.begin() + 24), destination(v6.begin() + 24, v6.begin() + 40);
    Frame* frame =
        parseFrame(ethernet(0x86DD, ipv6(6, tcp(1, 2, 0x10, {}, {'a'}, source, destination))));
    ASSERT_EQ(chainTypes(frame->packet),
              (Types{PROTO_ETHERNET, PROTO_IPV6, PROTO_TCP, PROTO_PAYLOAD}));
    EXPECT_TRUE(packetAt(frame, 2)->isChecksumCorrect());
    release(frame);
}

// ===========================================================================
// TCP

TEST(TcpTest, DataOffsetCases) {
    ScopedConfiguration configuration;
    Bytes options12 = {1, 1, 8, 10, 0, 0, 0, 5, 0, 0, 0, 6};
    struct Row {
        const char* name;
        Bytes segment;
        uint32_t headerSize;
        uint32_t options;
        Types after;               // packets after TCP
        std::string outputOffset;  // the data offset byte written
        size_t outputSegment;
    } rows[] = {
        {"data offset 8 and 3 payload bytes",
         tcp(1, 2, 0x18, options12, {1, 2, 3}, SRC4, DST4),
         32,
         12,
         {PROTO_PAYLOAD},
         "80",
         35},
        {"data offset 4",
         [&] {
             Bytes s = tcp(1, 2, 0x10, {}, {1, 2, 3, 4}, SRC4, DST4);
             s[12] = 0x40;
             return s;
         }(),
         24,
         0,
         {},
         "50",
         20},
        {"data offset 15 in a 40-byte segment",
         [&] {
             Bytes s = tcp(1, 2, 0x10, {}, Bytes(20, 9), SRC4, DST4);
             s[12] = 0xF0;
             return s;
         }(),
         40,
         0,
         {},
         "50",
         20},
        {"no payload", tcp(1, 2, 0x02, {}, {}, SRC4, DST4), 20, 0, {}, "50", 20},
        {"1-byte payload",
         tcp(1, 2, 0x18, {}, {'x'}, SRC4, DST4),
         20,
         0,
         {PROTO_PAYLOAD},
         "50",
         21},
    };
    for (const Row& row : rows) {
        Frame* frame = parseFrame(ethernet(0x0800, ipv4(6, row.segment)));
        Types types = chainTypes(frame->packet);
        EXPECT_EQ(Types(types.begin() + 3, types.end()), row.after) << row.name;
        TcpPacket* tcpPacket = static_cast<TcpPacket*>(packetAt(frame, 2));
        EXPECT_EQ(tcpPacket->getHeaderSize(), row.headerSize) << row.name;
        uint32_t length = 0;
        free(tcpPacket->getOptions(length));
        EXPECT_EQ(length, row.options) << row.name;
        Bytes out = rebuild(frame);
        Bytes segment(out.begin() + 34, out.begin() + 14 + getBe16(out, 16));
        EXPECT_EQ(segment.size(), row.outputSegment) << row.name;
        EXPECT_EQ(toHex(Bytes(segment.begin() + 12, segment.begin() + 13)), row.outputOffset)
            << row.name;
        EXPECT_EQ(referenceTransportChecksum(6, segment, SRC4, DST4), getBe16(segment, 16))
            << row.name;
        release(frame);
    }
}

TEST(TcpTest, ShortenedOptionsAndClearedBits) {
    ScopedConfiguration configuration;
    Bytes options12 = {1, 1, 8, 10, 0, 0, 0, 5, 0, 0, 0, 6};
    Bytes segment = tcp(1, 2, 0x12, options12, {0xAB, 0xCD}, SRC4, DST4);
    segment[12] |= 0x0F;  // reserved bits
    segment[13] |= 0xC0;  // CWR and ECE
    Frame* frame = parseFrame(ethernet(0x0800, ipv4(6, segment)));
    TcpPacket* parsed = static_cast<TcpPacket*>(packetAt(frame, 2));
    EXPECT_EQ(parsed->getFlags(), 0x12);
    EXPECT_NE(parsed->toString().find("\tflags: \t\t0x0012\n"), std::string::npos);
    Packet* copy = identityRebuild(frame->packet);
    TcpPacket* rebuilt = static_cast<TcpPacket*>(copy->getNext()->getNext());
    uint8_t shortened[10] = {1, 1, 8, 10, 0, 0, 0, 5, 0, 0};
    rebuilt->setOptions(shortened, 10);
    Bytes out = assembleBytes(copy);
    Bytes tcpBytes(out.begin() + 34, out.end());
    ASSERT_EQ(tcpBytes.size(), 32u);  // 30 bytes of header and options, 2 of payload
    EXPECT_EQ(tcpBytes[12], 0x70);    // data offset 7, reserved bits clear
    EXPECT_EQ(tcpBytes[13], 0x12);    // CWR and ECE clear
    EXPECT_EQ(toHex(Bytes(tcpBytes.begin() + 30, tcpBytes.end())), "abcd");
    EXPECT_EQ(referenceTransportChecksum(6, tcpBytes, SRC4, DST4), getBe16(tcpBytes, 16));
    PacketFactory::instance()->freePacket(copy);
    // The parsed packet holds the bits as received, and assembly itself
    // writes them as zero.
    Bytes direct = assembleBytes(frame->packet);
    EXPECT_EQ(direct[14 + 20 + 12], 0x80);
    EXPECT_EQ(direct[14 + 20 + 13], 0x12);
    release(frame);
}

TEST(TcpTest, HeaderLengthAndFlagViews) {
    ScopedConfiguration configuration;
    TcpPacket* tcpPacket =
        static_cast<TcpPacket*>(PacketFactory::instance()->createPacket(PROTO_TCP));
    tcpPacket->setFlags(0xFF);
    EXPECT_EQ(tcpPacket->getFlags(), 0x3F);
    tcpPacket->setHeaderLength(32);
    EXPECT_EQ(tcpPacket->getHeaderLength(), 32u);
    EXPECT_EQ(tcpPacket->getFlags(), 0x3F);
    tcpPacket->setHeaderLength(64);  // (16 << 12) kept to 16 bits
    EXPECT_EQ(tcpPacket->getHeaderLength(), 0u);
    PacketFactory::instance()->freePacket(tcpPacket);
}

TEST(TcpTest, RecalculationOffZeroesTcpButKeepsUdp) {
    ScopedConfiguration configuration(checksumSettings(false, false));
    Frame* tcpFrame = parseFrame(ethernet(0x0800, ipv4(6, tcp(1, 2, 0x10, {}, {1}, SRC4, DST4))));
    Bytes out = rebuild(tcpFrame);
    EXPECT_EQ(getBe16(out, 34 + 16), 0);
    release(tcpFrame);
    Bytes datagram = udp(1, 2, {1}, SRC4, DST4);
    Frame* udpFrame = parseFrame(ethernet(0x0800, ipv4(17, datagram)));
    out = rebuild(udpFrame);
    EXPECT_EQ(getBe16(out, 34 + 6), getBe16(datagram, 6));
    release(udpFrame);
}

// ===========================================================================
// UDP

TEST(UdpTest, ChecksumVariants) {
    // A datagram whose checksum computes to 0: the zero payload word is
    // replaced by the checksum it gives, which makes the sum all ones.
    Bytes payload = {0, 0};
    Bytes plain = udp(7, 9, payload, SRC4, DST4, false);
    uint16_t c0 = referenceTransportChecksum(17, plain, SRC4, DST4);
    payload = {static_cast<uint8_t>(c0 >> 8), static_cast<uint8_t>(c0)};
    Bytes computedZero = udp(7, 9, payload, SRC4, DST4, false);
    ASSERT_EQ(referenceTransportChecksum(17, computedZero, SRC4, DST4), 0);
    Bytes computedZeroSent = computedZero;
    putBe16(computedZeroSent, 6, 0xFFFF);
    for (bool setBad : {false, true}) {
        ScopedConfiguration configuration(checksumSettings(true, setBad));
        struct Row {
            const char* name;
            Bytes datagram;
            bool correct;
            uint16_t written;
        } rows[] = {
            {"checksum 0 stays 0", computedZero, false, 0},
            {"computed 0 is written as 0xffff", computedZeroSent, true, 0xFFFF},
        };
        for (const Row& row : rows) {
            Frame* frame = parseFrame(ethernet(0x0800, ipv4(17, row.datagram)));
            EXPECT_EQ(packetAt(frame, 2)->isChecksumCorrect(), setBad ? row.correct : true)
                << row.name;
            Bytes out = rebuild(frame);
            EXPECT_EQ(getBe16(out, 34 + 6), row.written) << row.name << " setBad " << setBad;
            release(frame);
        }
    }
}

TEST(UdpTest, LengthFieldIsReplaced) {
    ScopedConfiguration configuration;
    Bytes datagram = udp(1, 2, Bytes(20, 0x33), SRC4, DST4);
    putBe16(datagram, 4, 100);
    Frame* frame = parseFrame(ethernet(0x0800, ipv4(17, datagram)));
    EXPECT_EQ(static_cast<UdpPacket*>(packetAt(frame, 2))->getLength(), 100);
    EXPECT_EQ(packetAt(frame, 3)->getSize(), 20u);
    EXPECT_EQ(packetAt(frame, 2)->toString(),
              "UDP packet\n\tsource port: \t1\n\tdest port: \t2\n\tlength: \t100\n"
              "\tchecksum: \t0x" +
                  toHex(Bytes(datagram.begin() + 6, datagram.begin() + 8)) + "\n");
    Bytes out = rebuild(frame);
    Bytes segment(out.begin() + 34, out.end());
    EXPECT_EQ(getBe16(segment, 4), 28);
    EXPECT_EQ(referenceTransportChecksum(17, segment, SRC4, DST4), getBe16(segment, 6));
    release(frame);
}

// ===========================================================================
// Payload

TEST(PayloadTest, DumpWritesBytesUnchanged) {
    ScopedConfiguration configuration;
    PayloadPacket* payload =
        static_cast<PayloadPacket*>(PacketFactory::instance()->createPacket(PROTO_PAYLOAD));
    EXPECT_EQ(payload->toString(), "Payload packet\n\tlength: \t0\n\tdata: \t\t\n\tstring: \t\"\"");
    const uint8_t get[3] = {0x47, 0x45, 0x54};
    payload->setPayload(get, 3);
    EXPECT_EQ(payload->toString(),
              "Payload packet\n\tlength: \t3\n\tdata: \t\t47 45 54\n\tstring: \t\"GET\"");
    const uint8_t raw[4] = {'a', 0x00, '\n', 0xFF};
    payload->setPayload(raw, 4);
    const char expected[] =
        "Payload packet\n\tlength: \t4\n\tdata: \t\t61 00 0a ff\n\tstring: \t\"a\0\n\xff\"";
    EXPECT_EQ(payload->toString(), std::string(expected, sizeof expected - 1));
    Bytes big(1500, 0x41);
    payload->setPayload(big.data(), 1500);
    std::string dump = payload->toString();
    size_t data = dump.find("\tdata: \t\t") + 9;
    std::string dataLine = dump.substr(data, dump.find('\n', data) - data);
    EXPECT_EQ(dataLine.size(), 1500u * 3 - 1);
    EXPECT_EQ(std::count(dataLine.begin(), dataLine.end(), ' '), 1499);
    PacketFactory::instance()->freePacket(payload);
}

TEST(PayloadTest, ShortenedToNothing) {
    ScopedConfiguration configuration;
    struct Row {
        const char* name;
        Bytes frame;
        size_t lengthOffset;  // the enclosing length field in the output
        uint16_t length;
    } rows[] = {
        {"IPv4 total length", ethernet(0x0800, ipv4(0x3B, Bytes(30, 1))), 16, 20},
        {"UDP length", ethernet(0x0800, ipv4(17, udp(1, 2, Bytes(30, 1), SRC4, DST4))), 38, 8},
        {"IPv6 payload length", ethernet(0x86DD, ipv6(59, Bytes(30, 1))), 18, 0},
    };
    for (const Row& row : rows) {
        Frame* frame = parseFrame(row.frame);
        Packet* copy = identityRebuild(frame->packet);
        Packet* last = copy;
        while (last->getNext() != nullptr)
            last = last->getNext();
        ASSERT_EQ(last->getProtocolType(), PROTO_PAYLOAD) << row.name;
        static_cast<PayloadPacket*>(last)->setPayload(nullptr, 0);
        Bytes out = assembleBytes(copy);
        EXPECT_EQ(last->getSize(), 0u);
        EXPECT_EQ(last->getBuffer(), nullptr);
        EXPECT_EQ(getBe16(out, row.lengthOffset), row.length) << row.name;
        PacketFactory::instance()->freePacket(copy);
        release(frame);
    }
}

TEST(PayloadTest, GetterReturnsACopy) {
    ScopedConfiguration configuration;
    PayloadPacket* payload =
        static_cast<PayloadPacket*>(PacketFactory::instance()->createPacket(PROTO_PAYLOAD));
    uint32_t length = 7;
    uint8_t* empty = payload->getPayload(length);
    EXPECT_NE(empty, nullptr);
    EXPECT_EQ(length, 0u);
    free(empty);
    const uint8_t bytes[2] = {1, 2};
    payload->setPayload(bytes, 2);
    uint8_t* copy = payload->getPayload(length);
    copy[0] = 9;
    free(copy);
    copy = payload->getPayload(length);
    EXPECT_EQ(copy[0], 1);
    free(copy);
    PacketFactory::instance()->freePacket(payload);
}
