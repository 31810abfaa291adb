#ifndef VEILCAP_PACKETANONYMIZER_H
#define VEILCAP_PACKETANONYMIZER_H

class Packet;
class EthernetPacket;
class VlanPacket;
class ArpPacket;
class IpPacket;
class IcmpPacket;
class Ipv6Packet;
class TcpPacket;
class UdpPacket;
class PayloadPacket;

// Rebuilds the parsed protocol chain of one frame as a new chain of the
// same shape, each anonymizable field passed through the primitive chain
// of its profile slot. Lengths, padding and checksums are left to the
// assembly of the new chain; the anonymizer copies only what that needs.
class PacketAnonymizer {
  public:
    // The first packet of the new chain (owned by the caller), or null when
    // a packet of the chain cannot be rebuilt. The input chain is unchanged.
    Packet* anonymizePacket(const Packet* input);

  private:
    // One new packet of the input's type with its fields anonymized, no
    // successor; null for a type the anonymizer does not know.
    Packet* anonymizeOne(const Packet* input);

    void anonymizeEthernet(const EthernetPacket* input, EthernetPacket* output);
    void anonymizeVlan(const VlanPacket* input, VlanPacket* output);
    void anonymizeArp(const ArpPacket* input, ArpPacket* output);
    void anonymizeIp(const IpPacket* input, IpPacket* output);
    void anonymizeIcmp(const IcmpPacket* input, IcmpPacket* output);
    void anonymizeIpv6(const Ipv6Packet* input, Ipv6Packet* output);
    void anonymizeTcp(const TcpPacket* input, TcpPacket* output);
    void anonymizeUdp(const UdpPacket* input, UdpPacket* output);
    void anonymizePayload(const PayloadPacket* input, PayloadPacket* output);
};

#endif
