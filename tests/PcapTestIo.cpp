#include "PcapTestIo.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "packets/ArpPacket.h"
#include "packets/EthernetPacket.h"
#include "packets/Frame.h"
#include "packets/IcmpPacket.h"
#include "packets/IpPacket.h"
#include "packets/Ipv6Packet.h"
#include "packets/Packet.h"
#include "packets/PacketFactory.h"
#include "packets/PayloadPacket.h"
#include "packets/TcpPacket.h"
#include "packets/UdpPacket.h"
#include "packets/VlanPacket.h"

namespace pcaptest {

static uint32_t le32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

static void putLe32(Bytes& out, uint32_t v) {
    for (int i = 0; i < 4; i++)
        out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

static void putLe16(Bytes& out, uint16_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}

bool readPcap(const std::string& path, std::vector<Record>& records, uint32_t* linkType) {
    records.clear();
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr)
        return false;
    Bytes content;
    uint8_t chunk[65536];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, file)) > 0)
        content.insert(content.end(), chunk, chunk + n);
    std::fclose(file);
    if (content.size() < 24 || le32(content.data()) != 0xA1B2C3D4u)
        return false;
    if (linkType != nullptr)
        *linkType = le32(content.data() + 20);
    size_t pos = 24;
    while (pos + 16 <= content.size()) {
        Record record;
        record.seconds = static_cast<int32_t>(le32(content.data() + pos));
        record.microseconds = static_cast<int32_t>(le32(content.data() + pos + 4));
        record.capturedLength = le32(content.data() + pos + 8);
        record.originalLength = le32(content.data() + pos + 12);
        pos += 16;
        if (content.size() - pos < record.capturedLength)
            break;
        record.data.assign(content.begin() + pos, content.begin() + pos + record.capturedLength);
        pos += record.capturedLength;
        records.push_back(std::move(record));
    }
    return true;
}

bool writePcap(const std::string& path, const std::vector<Record>& records, uint32_t snapLength) {
    Bytes out;
    putLe32(out, 0xA1B2C3D4u);
    putLe16(out, 2);
    putLe16(out, 4);
    putLe32(out, 0);
    putLe32(out, 0);
    putLe32(out, snapLength);
    putLe32(out, 1);
    for (const Record& record : records) {
        putLe32(out, static_cast<uint32_t>(record.seconds));
        putLe32(out, static_cast<uint32_t>(record.microseconds));
        putLe32(out, static_cast<uint32_t>(record.data.size()));
        putLe32(out, static_cast<uint32_t>(record.data.size()));
        out.insert(out.end(), record.data.begin(), record.data.end());
    }
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr)
        return false;
    bool ok = std::fwrite(out.data(), 1, out.size(), file) == out.size();
    return std::fclose(file) == 0 && ok;
}

Frame* parseFrame(const Bytes& bytes, int32_t seconds, int32_t microseconds) {
    networkType = 1;
    Frame* frame = PacketFactory::instance()->createFrame();
    if (frame == nullptr || frame->packet == nullptr)
        throw std::runtime_error("no frame");
    frame->timestampSeconds = seconds;
    frame->timestampMicroseconds = microseconds;
    frame->capturedLength = static_cast<uint32_t>(bytes.size());
    frame->originalLength = static_cast<uint32_t>(bytes.size());
    frame->packet->resizeBuffer(static_cast<uint32_t>(bytes.size()));
    if (!bytes.empty())
        std::memcpy(frame->packet->getBuffer(), bytes.data(), bytes.size());
    frame->packet->parse();
    frame->packet->createNextPacket();
    return frame;
}

Frame* parseFrame(const Record& record) {
    Frame* frame = parseFrame(record.data, record.seconds, record.microseconds);
    frame->originalLength = record.originalLength;
    return frame;
}

std::vector<uint32_t> chainTypes(const Packet* first) {
    std::vector<uint32_t> types;
    for (const Packet* p = first; p != nullptr; p = p->getNext())
        types.push_back(p->getProtocolType());
    return types;
}

size_t chainLength(const Packet* first) {
    size_t count = 0;
    for (const Packet* p = first; p != nullptr; p = p->getNext())
        count++;
    return count;
}

static void copyFields(const Packet* input, Packet* output) {
    switch (input->getProtocolType()) {
        case PROTO_ETHERNET: {
            auto in = static_cast<const EthernetPacket*>(input);
            auto out = static_cast<EthernetPacket*>(output);
            uint8_t mac[6];
            in->getSourceMac(mac);
            out->setSourceMac(mac);
            in->getDestMac(mac);
            out->setDestMac(mac);
            out->setType(in->getType());
            break;
        }
        case PROTO_VLAN: {
            auto in = static_cast<const VlanPacket*>(input);
            auto out = static_cast<VlanPacket*>(output);
            out->setPriority(in->getPriority());
            out->setCfi(in->getCfi());
            out->setVlanId(in->getVlanId());
            out->setType(in->getType());
            break;
        }
        case PROTO_ARP: {
            auto in = static_cast<const ArpPacket*>(input);
            auto out = static_cast<ArpPacket*>(output);
            uint8_t mac[6];
            out->setHardwaretype(in->getHardwaretype());
            out->setProtocoltype(in->getProtocoltype());
            out->setHardwareaddrlen(in->getHardwareaddrlen());
            out->setProtoaddrlen(in->getProtoaddrlen());
            out->setOpcode(in->getOpcode());
            in->getSourcemac(mac);
            out->setSourcemac(mac);
            out->setSourceip(in->getSourceip());
            in->getDestmac(mac);
            out->setDestmac(mac);
            out->setDestip(in->getDestip());
            break;
        }
        case PROTO_IP: {
            auto in = static_cast<const IpPacket*>(input);
            auto out = static_cast<IpPacket*>(output);
            out->setVersion(in->getVersion());
            out->setHeaderLength(in->getHeaderLength());
            out->setTotalLength(in->getTotalLength());
            out->setProtocol(in->getProtocol());
            out->setChecksum(in->getChecksum());
            out->setTos(in->getTos());
            out->setIdentifier(in->getIdentifier());
            out->setFlags(in->getFlags());
            out->setFragoffset(in->getFragoffset());
            out->setTtl(in->getTtl());
            out->setSourceip(in->getSourceip());
            out->setDestip(in->getDestip());
            uint32_t length = 0;
            uint8_t* options = in->getOptions(length);
            out->setOptions(options, length);
            std::free(options);
            break;
        }
        case PROTO_ICMP: {
            auto in = static_cast<const IcmpPacket*>(input);
            auto out = static_cast<IcmpPacket*>(output);
            out->setType(in->getType());
            out->setCode(in->getCode());
            out->setMisc(in->getMisc());
            break;
        }
        case PROTO_IPV6: {
            auto in = static_cast<const Ipv6Packet*>(input);
            auto out = static_cast<Ipv6Packet*>(output);
            out->setVersion(in->getVersion());
            out->setPayloadLength(in->getPayloadLength());
            out->setNextHeader(in->getNextHeader());
            out->setTrafficclass(in->getTrafficclass());
            out->setFlowlabel(in->getFlowlabel());
            out->setHoplimit(in->getHoplimit());
            uint8_t address[16];
            in->getSourceaddr(address);
            out->setSourceaddr(address);
            in->getDestaddr(address);
            out->setDestaddr(address);
            break;
        }
        case PROTO_TCP: {
            auto in = static_cast<const TcpPacket*>(input);
            auto out = static_cast<TcpPacket*>(output);
            out->setHeaderLength(in->getHeaderLength());
            out->setChecksum(in->getChecksum());
            out->setSourceport(in->getSourceport());
            out->setDestport(in->getDestport());
            out->setSeqnum(in->getSeqnum());
            out->setAcknum(in->getAcknum());
            out->setFlags(in->getFlags());
            out->setWindowsize(in->getWindowsize());
            out->setUrgentpnt(in->getUrgentpnt());
            uint32_t length = 0;
            uint8_t* options = in->getOptions(length);
            out->setOptions(options, length);
            std::free(options);
            break;
        }
        case PROTO_UDP: {
            auto in = static_cast<const UdpPacket*>(input);
            auto out = static_cast<UdpPacket*>(output);
            out->setLength(in->getLength());
            out->setChecksum(in->getChecksum());
            out->setDestport(in->getDestport());
            out->setSourceport(in->getSourceport());
            break;
        }
        case PROTO_PAYLOAD: {
            auto in = static_cast<const PayloadPacket*>(input);
            auto out = static_cast<PayloadPacket*>(output);
            uint32_t length = 0;
            uint8_t* payload = in->getPayload(length);
            out->setPayload(payload, length);
            std::free(payload);
            break;
        }
        default:
            throw std::runtime_error("unknown protocol type in chain");
    }
}

Packet* identityRebuild(const Packet* input) {
    PacketFactory* factory = PacketFactory::instance();
    Packet* first = nullptr;
    Packet* last = nullptr;
    for (const Packet* current = input; current != nullptr; current = current->getNext()) {
        Packet* rebuilt = factory->createPacket(current->getProtocolType());
        if (rebuilt == nullptr)
            throw std::runtime_error("no packet");
        copyFields(current, rebuilt);
        rebuilt->setChecksumCorrect(current->isChecksumCorrect());
        if (last == nullptr) {
            first = rebuilt;
        } else {
            last->setNext(rebuilt);
            last->setNextProtocolType(rebuilt->getProtocolType());
        }
        last = rebuilt;
    }
    return first;
}

Bytes assembleBytes(Packet* first) {
    first->assemble();
    return Bytes(first->getBuffer(), first->getBuffer() + first->getSize());
}

uint16_t referenceChecksum(const Bytes& bytes) {
    uint32_t sum = 0;
    for (size_t i = 0; i < bytes.size(); i += 2) {
        uint32_t word = static_cast<uint32_t>(bytes[i]) << 8;
        if (i + 1 < bytes.size())
            word |= bytes[i + 1];
        sum += word;
        while (sum >> 16)
            sum = (sum & 0xFFFF) + (sum >> 16);
    }
    return static_cast<uint16_t>(~sum & 0xFFFF);
}

void putBe16(Bytes& out, size_t offset, uint16_t value) {
    out.at(offset) = static_cast<uint8_t>(value >> 8);
    out.at(offset + 1) = static_cast<uint8_t>(value);
}

uint16_t getBe16(const Bytes& bytes, size_t offset) {
    return static_cast<uint16_t>((bytes.at(offset) << 8) | bytes.at(offset + 1));
}

Bytes concat(const Bytes& a, const Bytes& b) {
    Bytes out = a;
    out.insert(out.end(), b.begin(), b.end());
    return out;
}

Bytes ethernet(uint16_t type, const Bytes& payload) {
    Bytes out = {0x00, 0x1a, 0x2b, 0x3c, 0x4d, 0x5e, 0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0, 0};
    putBe16(out, 12, type);
    return concat(out, payload);
}

Bytes vlanTag(uint16_t tagControl, uint16_t type, const Bytes& payload) {
    Bytes out(4);
    putBe16(out, 0, tagControl);
    putBe16(out, 2, type);
    return concat(out, payload);
}

Bytes ipv4(uint8_t protocol, const Bytes& payload, const Bytes& options, const Bytes& source,
           const Bytes& destination) {
    Bytes header(20, 0);
    size_t headerLength = 20 + options.size();
    header[0] = static_cast<uint8_t>(0x40 | ((headerLength / 4) & 0xF));
    putBe16(header, 2, static_cast<uint16_t>(headerLength + payload.size()));
    putBe16(header, 4, 0x1234);
    header[8] = 64;
    header[9] = protocol;
    std::copy(source.begin(), source.end(), header.begin() + 12);
    std::copy(destination.begin(), destination.end(), header.begin() + 16);
    header = concat(header, options);
    putBe16(header, 10, referenceChecksum(header));
    return concat(header, payload);
}

Bytes ipv6(uint8_t nextHeader, const Bytes& payload) {
    Bytes header(40, 0);
    header[0] = 0x60;
    putBe16(header, 4, static_cast<uint16_t>(payload.size()));
    header[6] = nextHeader;
    header[7] = 64;
    const uint8_t prefix[] = {0x20, 0x01, 0x0d, 0xb8};
    std::copy(prefix, prefix + 4, header.begin() + 8);
    std::copy(prefix, prefix + 4, header.begin() + 24);
    header[23] = 1;
    header[39] = 2;
    return concat(header, payload);
}

uint16_t referenceTransportChecksum(uint8_t protocol, const Bytes& segment, const Bytes& source,
                                    const Bytes& destination) {
    Bytes pseudo = concat(source, destination);
    pseudo.push_back(0);
    pseudo.push_back(protocol);
    pseudo.push_back(static_cast<uint8_t>(segment.size() >> 8));
    pseudo.push_back(static_cast<uint8_t>(segment.size()));
    Bytes zeroed = segment;
    size_t checksumOffset = protocol == 6 ? 16 : 6;
    putBe16(zeroed, checksumOffset, 0);
    return referenceChecksum(concat(pseudo, zeroed));
}

Bytes udp(uint16_t sourcePort, uint16_t destPort, const Bytes& payload, const Bytes& source,
          const Bytes& destination, bool withChecksum) {
    Bytes header(8, 0);
    putBe16(header, 0, sourcePort);
    putBe16(header, 2, destPort);
    putBe16(header, 4, static_cast<uint16_t>(8 + payload.size()));
    Bytes segment = concat(header, payload);
    if (withChecksum) {
        uint16_t checksum = referenceTransportChecksum(17, segment, source, destination);
        putBe16(segment, 6, checksum == 0 ? 0xFFFF : checksum);
    }
    return segment;
}

Bytes tcp(uint16_t sourcePort, uint16_t destPort, uint8_t flags, const Bytes& options,
          const Bytes& payload, const Bytes& source, const Bytes& destination) {
    Bytes header(20, 0);
    putBe16(header, 0, sourcePort);
    putBe16(header, 2, destPort);
    header[7] = 1;   // sequence number 1
    header[11] = 2;  // acknowledgment number 2
    header[12] = static_cast<uint8_t>(((20 + options.size()) / 4) << 4);
    header[13] = flags;
    putBe16(header, 14, 8192);
    Bytes segment = concat(concat(header, options), payload);
    putBe16(segment, 16, referenceTransportChecksum(6, segment, source, destination));
    return segment;
}

Bytes fromHex(const std::string& hex) {
    Bytes out;
    int high = -1;
    for (char c : hex) {
        int v;
        if (c >= '0' && c <= '9')
            v = c - '0';
        else if (c >= 'a' && c <= 'f')
            v = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            v = c - 'A' + 10;
        else
            continue;
        if (high < 0) {
            high = v;
        } else {
            out.push_back(static_cast<uint8_t>(high * 16 + v));
            high = -1;
        }
    }
    if (high >= 0)
        throw std::runtime_error("odd hex digit count");
    return out;
}

std::string toHex(const Bytes& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (uint8_t b : bytes) {
        out.push_back(digits[b >> 4]);
        out.push_back(digits[b & 15]);
    }
    return out;
}

}  // namespace pcaptest
