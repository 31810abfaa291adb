#ifndef VEILCAP_PACKETS_UDPPACKET_H
#define VEILCAP_PACKETS_UDPPACKET_H

#include <cstdint>
#include <string>

#include "Checksum.h"
#include "Packet.h"

class AnonPrimitive;

// The UDP header. The four fields are held in host order. The
// checksum covers a pseudo-header built from the addresses that the
// enclosing IPv4 or IPv6 header hands over; a checksum of 0 (none
// computed by the sender) stays 0 on output.
class UdpPacket final : public Packet {
  public:
    // The profile: the primitive chain that rewrites each anonymizable
    // field, set once when the profile is loaded.
    static AnonPrimitive* anonSourceport;
    static AnonPrimitive* anonDestport;

    UdpPacket();

    bool parse() override;
    void assemble() override;
    std::string toString() const override;
    uint32_t minimumSize() const override { return 8; }

    uint16_t getSourceport() const { return sourceport; }
    void setSourceport(uint16_t value) { sourceport = value; }
    uint16_t getDestport() const { return destport; }
    void setDestport(uint16_t value) { destport = value; }
    uint16_t getLength() const { return length; }
    void setLength(uint16_t value) { length = value; }
    uint16_t getChecksum() const { return checksum; }
    void setChecksum(uint16_t value) { checksum = value; }

    // The pseudo-header addresses, in wire order, and their family.
    void setIpv4Addresses(uint32_t source, uint32_t destination) {
        addresses.setIpv4(source, destination);
    }
    void setIpv6Addresses(const uint8_t source[16], const uint8_t destination[16]) {
        addresses.setIpv6(source, destination);
    }

  private:
    friend class Packet;
    void assembleHeader();

    uint16_t sourceport;
    uint16_t destport;
    uint16_t length;
    uint16_t checksum;
    PseudoHeaderAddresses addresses;
};

#endif
