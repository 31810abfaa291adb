#include "PacketAnonymizer.h"

#include <cstdlib>
#include <cstring>

#include "anonprimitives/AnonPrimitive.h"
#include "packets/ArpPacket.h"
#include "packets/EthernetPacket.h"
#include "packets/IcmpPacket.h"
#include "packets/IpPacket.h"
#include "packets/Ipv6Packet.h"
#include "packets/PacketFactory.h"
#include "packets/PayloadPacket.h"
#include "packets/TcpPacket.h"
#include "packets/UdpPacket.h"
#include "packets/VlanPacket.h"

namespace {

// A fixed-width integer field travels through its chain as `width` bytes,
// least significant first (as held in memory on the little-endian hosts
// veilcap runs on); bytes beyond the value are zero. What comes back is
// read as a value of the same kind.
uint64_t anonymizeInteger(AnonPrimitive* slot, uint64_t value, uint32_t width) {
    if (slot->isIdentityChain()) {
        // The bytes come back as they went in: the value cut to its width.
        return width >= sizeof(value) ? value : value & ((uint64_t(1) << (8 * width)) - 1);
    }
    uint8_t scratch[8] = {0};
    for (uint32_t i = 0; i < width && i < sizeof(value); ++i) {
        scratch[i] = static_cast<uint8_t>(value >> (8 * i));
    }
    slot->anonymizeChain(scratch, width);
    uint64_t result = 0;
    for (uint32_t i = 0; i < sizeof(result); ++i) {
        result |= static_cast<uint64_t>(scratch[i]) << (8 * i);
    }
    return result;
}

uint8_t anonymize8(AnonPrimitive* slot, uint8_t value) {
    return static_cast<uint8_t>(anonymizeInteger(slot, value, 1));
}

uint16_t anonymize16(AnonPrimitive* slot, uint16_t value) {
    return static_cast<uint16_t>(anonymizeInteger(slot, value, 2));
}

// Addresses and other byte strings travel in wire order.
uint32_t anonymizeAddress4(AnonPrimitive* slot, uint32_t wireOrderAddress) {
    uint8_t scratch[4];
    std::memcpy(scratch, &wireOrderAddress, sizeof scratch);
    slot->anonymizeChain(scratch, sizeof scratch);
    uint32_t result;
    std::memcpy(&result, scratch, sizeof result);
    return result;
}

// Variable-length fields go through a heap copy; the chain may shorten
// it. The new packet then keeps that copy (no second copy).
// An empty field needs no copy; its chain still runs (a counter steps
// once per field, whatever its length).
template <typename Getter, typename Adopter>
void anonymizeVariable(AnonPrimitive* slot, uint32_t heldLength, Getter get, Adopter adopt) {
    if (heldLength == 0) {
        uint8_t none = 0;
        slot->anonymizeChain(&none, 0);
        adopt(nullptr, 0);
        return;
    }
    uint32_t length = 0;
    uint8_t* copy = get(length);
    uint32_t newLength = slot->anonymizeChain(copy, length);
    adopt(copy, newLength < length ? newLength : length);
}

}  // namespace

Packet* PacketAnonymizer::anonymizePacket(const Packet* input) {
    Packet* first = nullptr;
    Packet* last = nullptr;
    // Walks the chain outermost first, so the fields are handled in the
    // same order as a recursive rebuild would, whatever the chain's depth.
    for (const Packet* current = input; current != nullptr; current = current->getNext()) {
        Packet* rebuilt = anonymizeOne(current);
        if (rebuilt == nullptr) {
            PacketFactory::instance()->freePacket(first);
            return nullptr;
        }
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

Packet* PacketAnonymizer::anonymizeOne(const Packet* input) {
    ProtocolType type = input->getProtocolType();
    Packet* output = PacketFactory::instance()->createPacket(type);
    if (output == nullptr) {
        return nullptr;
    }
    switch (type) {
        case PROTO_PAYLOAD:
            anonymizePayload(static_cast<const PayloadPacket*>(input),
                             static_cast<PayloadPacket*>(output));
            break;
        case PROTO_ETHERNET:
            anonymizeEthernet(static_cast<const EthernetPacket*>(input),
                              static_cast<EthernetPacket*>(output));
            break;
        case PROTO_ARP:
            anonymizeArp(static_cast<const ArpPacket*>(input), static_cast<ArpPacket*>(output));
            break;
        case PROTO_IP:
            anonymizeIp(static_cast<const IpPacket*>(input), static_cast<IpPacket*>(output));
            break;
        case PROTO_IPV6:
            anonymizeIpv6(static_cast<const Ipv6Packet*>(input), static_cast<Ipv6Packet*>(output));
            break;
        case PROTO_TCP:
            anonymizeTcp(static_cast<const TcpPacket*>(input), static_cast<TcpPacket*>(output));
            break;
        case PROTO_UDP:
            anonymizeUdp(static_cast<const UdpPacket*>(input), static_cast<UdpPacket*>(output));
            break;
        case PROTO_ICMP:
            anonymizeIcmp(static_cast<const IcmpPacket*>(input), static_cast<IcmpPacket*>(output));
            break;
        case PROTO_VLAN:
            anonymizeVlan(static_cast<const VlanPacket*>(input), static_cast<VlanPacket*>(output));
            break;
        default:
            PacketFactory::instance()->freePacket(output);
            return nullptr;
    }
    return output;
}

void PacketAnonymizer::anonymizeEthernet(const EthernetPacket* input, EthernetPacket* output) {
    uint8_t mac[6];
    input->getSourceMac(mac);
    EthernetPacket::anonSourceMac->anonymizeChain(mac, sizeof mac);
    output->setSourceMac(mac);
    input->getDestMac(mac);
    EthernetPacket::anonDestMac->anonymizeChain(mac, sizeof mac);
    output->setDestMac(mac);
    output->setType(anonymize16(EthernetPacket::anonType, input->getType()));
}

void PacketAnonymizer::anonymizeVlan(const VlanPacket* input, VlanPacket* output) {
    output->setPriority(anonymize8(VlanPacket::anonPriority, input->getPriority()));
    output->setCfi(anonymize8(VlanPacket::anonCfi, input->getCfi()));
    output->setVlanId(anonymize16(VlanPacket::anonVlanId, input->getVlanId()));
    output->setType(anonymize16(VlanPacket::anonType, input->getType()));
}

void PacketAnonymizer::anonymizeArp(const ArpPacket* input, ArpPacket* output) {
    output->setHardwaretype(anonymize16(ArpPacket::anonHardwaretype, input->getHardwaretype()));
    output->setProtocoltype(anonymize16(ArpPacket::anonProtocoltype, input->getProtocoltype()));
    output->setHardwareaddrlen(
        anonymize8(ArpPacket::anonHardwareaddrlen, input->getHardwareaddrlen()));
    output->setProtoaddrlen(anonymize8(ArpPacket::anonProtoaddrlen, input->getProtoaddrlen()));
    output->setOpcode(anonymize16(ArpPacket::anonOpcode, input->getOpcode()));
    uint8_t mac[6];
    input->getSourcemac(mac);
    ArpPacket::anonSourcemac->anonymizeChain(mac, sizeof mac);
    output->setSourcemac(mac);
    output->setSourceip(anonymizeAddress4(ArpPacket::anonSourceip, input->getSourceip()));
    input->getDestmac(mac);
    ArpPacket::anonDestmac->anonymizeChain(mac, sizeof mac);
    output->setDestmac(mac);
    output->setDestip(anonymizeAddress4(ArpPacket::anonDestip, input->getDestip()));
}

void PacketAnonymizer::anonymizeIp(const IpPacket* input, IpPacket* output) {
    output->setVersion(input->getVersion());
    output->setHeaderLength(input->getHeaderLength());
    output->setTotalLength(input->getTotalLength());
    output->setProtocol(input->getProtocol());
    output->setChecksum(input->getChecksum());

    output->setTos(anonymize8(IpPacket::anonTos, input->getTos()));
    output->setIdentifier(anonymize16(IpPacket::anonIdentifier, input->getIdentifier()));
    output->setFlags(anonymize16(IpPacket::anonFlags, input->getFlags()));
    output->setFragoffset(anonymize16(IpPacket::anonFragoffset, input->getFragoffset()));
    output->setTtl(anonymize8(IpPacket::anonTtl, input->getTtl()));
    output->setSourceip(anonymizeAddress4(IpPacket::anonSourceip, input->getSourceip()));
    output->setDestip(anonymizeAddress4(IpPacket::anonDestip, input->getDestip()));
    anonymizeVariable(
        IpPacket::anonOptions, input->getOptionsLength(),
        [input](uint32_t& length) { return input->getOptions(length); },
        [output](uint8_t* bytes, uint32_t length) { output->adoptOptions(bytes, length); });
}

void PacketAnonymizer::anonymizeIcmp(const IcmpPacket* input, IcmpPacket* output) {
    output->setType(anonymize8(IcmpPacket::anonType, input->getType()));
    output->setCode(anonymize8(IcmpPacket::anonCode, input->getCode()));
    // The rest-of-header word goes as its 4 wire bytes and 4 zero bytes.
    uint8_t scratch[8] = {0};
    uint32_t misc = input->getMisc();
    std::memcpy(scratch, &misc, sizeof misc);
    IcmpPacket::anonMisc->anonymizeChain(scratch, sizeof scratch);
    std::memcpy(&misc, scratch, sizeof misc);
    output->setMisc(misc);
}

void PacketAnonymizer::anonymizeIpv6(const Ipv6Packet* input, Ipv6Packet* output) {
    output->setVersion(input->getVersion());
    output->setPayloadLength(input->getPayloadLength());
    output->setNextHeader(input->getNextHeader());

    output->setTrafficclass(anonymize8(Ipv6Packet::anonTrafficclass, input->getTrafficclass()));
    output->setFlowlabel(static_cast<uint32_t>(
        anonymizeInteger(Ipv6Packet::anonFlowlabel, input->getFlowlabel(), 4)));
    output->setHoplimit(anonymize8(Ipv6Packet::anonHoplimit, input->getHoplimit()));
    uint8_t address[16];
    input->getSourceaddr(address);
    Ipv6Packet::anonSourceaddr->anonymizeChain(address, sizeof address);
    output->setSourceaddr(address);
    input->getDestaddr(address);
    Ipv6Packet::anonDestaddr->anonymizeChain(address, sizeof address);
    output->setDestaddr(address);
}

void PacketAnonymizer::anonymizeTcp(const TcpPacket* input, TcpPacket* output) {
    output->setHeaderLength(input->getHeaderLength());
    output->setChecksum(input->getChecksum());

    output->setSourceport(anonymize16(TcpPacket::anonSourceport, input->getSourceport()));
    output->setDestport(anonymize16(TcpPacket::anonDestport, input->getDestport()));
    // Sequence and acknowledgment numbers travel as 8 bytes; the low four
    // of the result are kept.
    output->setSeqnum(
        static_cast<uint32_t>(anonymizeInteger(TcpPacket::anonSeqnum, input->getSeqnum(), 8)));
    output->setAcknum(
        static_cast<uint32_t>(anonymizeInteger(TcpPacket::anonAcknum, input->getAcknum(), 8)));
    output->setFlags(anonymize16(TcpPacket::anonFlags, input->getFlags()));
    output->setWindowsize(anonymize16(TcpPacket::anonWindowsize, input->getWindowsize()));
    output->setUrgentpnt(anonymize16(TcpPacket::anonUrgentpnt, input->getUrgentpnt()));
    anonymizeVariable(
        TcpPacket::anonOptions, input->getOptionsLength(),
        [input](uint32_t& length) { return input->getOptions(length); },
        [output](uint8_t* bytes, uint32_t length) { output->adoptOptions(bytes, length); });
}

void PacketAnonymizer::anonymizeUdp(const UdpPacket* input, UdpPacket* output) {
    output->setLength(input->getLength());
    output->setChecksum(input->getChecksum());
    output->setDestport(anonymize16(UdpPacket::anonDestport, input->getDestport()));
    output->setSourceport(anonymize16(UdpPacket::anonSourceport, input->getSourceport()));
}

void PacketAnonymizer::anonymizePayload(const PayloadPacket* input, PayloadPacket* output) {
    anonymizeVariable(
        PayloadPacket::anonPayload, input->getPayloadLength(),
        [input](uint32_t& length) { return input->getPayload(length); },
        [output](uint8_t* bytes, uint32_t length) { output->adoptPayload(bytes, length); });
}
