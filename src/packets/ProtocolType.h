#ifndef VEILCAP_PACKETS_PROTOCOLTYPE_H
#define VEILCAP_PACKETS_PROTOCOLTYPE_H

#include <cstdint>

// The protocols of the packet model. The values are fixed: the packet
// factory and the anonymizer's dispatch index by them.
enum ProtocolType : uint32_t {
    PROTO_NONE = 0,      // nothing follows
    PROTO_PAYLOAD = 1,   // PayloadPacket
    PROTO_ETHERNET = 2,  // EthernetPacket
    PROTO_ARP = 3,       // ArpPacket
    PROTO_IP = 4,        // IpPacket (IPv4)
    PROTO_IPV6 = 5,      // Ipv6Packet
    PROTO_TCP = 6,       // TcpPacket
    PROTO_UDP = 7,       // UdpPacket
    PROTO_ICMP = 8,      // IcmpPacket
    PROTO_VLAN = 9,      // VlanPacket
};

// The highest ProtocolType that names a packet class.
const uint32_t PROTO_LAST = PROTO_VLAN;

// The IP protocol number mapping shared by IPv4 (protocol field) and IPv6
// (next-header field): 1 ICMP, 4 IPv4, 6 TCP, 17 UDP, 41 IPv6, everything
// else payload. A table of 41 entries indexed by protocol number minus 1; a
// number outside 1-41 is payload without consulting the table.
inline ProtocolType protocolTypeFromIpProtocol(uint8_t protocol) {
    static const uint8_t table[41] = {
        PROTO_ICMP,    PROTO_PAYLOAD, PROTO_PAYLOAD, PROTO_IP,      PROTO_PAYLOAD,  // 1-5
        PROTO_TCP,     PROTO_PAYLOAD, PROTO_PAYLOAD, PROTO_PAYLOAD, PROTO_PAYLOAD,  // 6-10
        PROTO_PAYLOAD, PROTO_PAYLOAD, PROTO_PAYLOAD, PROTO_PAYLOAD, PROTO_PAYLOAD,  // 11-15
        PROTO_PAYLOAD, PROTO_UDP,     PROTO_PAYLOAD, PROTO_PAYLOAD, PROTO_PAYLOAD,  // 16-20
        PROTO_PAYLOAD, PROTO_PAYLOAD, PROTO_PAYLOAD, PROTO_PAYLOAD, PROTO_PAYLOAD,  // 21-25
        PROTO_PAYLOAD, PROTO_PAYLOAD, PROTO_PAYLOAD, PROTO_PAYLOAD, PROTO_PAYLOAD,  // 26-30
        PROTO_PAYLOAD, PROTO_PAYLOAD, PROTO_PAYLOAD, PROTO_PAYLOAD, PROTO_PAYLOAD,  // 31-35
        PROTO_PAYLOAD, PROTO_PAYLOAD, PROTO_PAYLOAD, PROTO_PAYLOAD, PROTO_PAYLOAD,  // 36-40
        PROTO_IPV6,                                                                 // 41
    };
    if (protocol < 1 || protocol > 41) {
        return PROTO_PAYLOAD;
    }
    return static_cast<ProtocolType>(table[protocol - 1]);
}

// The EtherType mapping shared by Ethernet and VLAN: 0x0800 IPv4, 0x0806
// ARP, 0x8100 VLAN, 0x86DD IPv6, every other value (802.3 lengths included)
// payload.
inline ProtocolType protocolTypeFromEtherType(uint16_t etherType) {
    switch (etherType) {
        case 0x0800:
            return PROTO_IP;
        case 0x0806:
            return PROTO_ARP;
        case 0x8100:
            return PROTO_VLAN;
        case 0x86DD:
            return PROTO_IPV6;
        default:
            return PROTO_PAYLOAD;
    }
}

#endif
