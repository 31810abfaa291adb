#ifndef VEILCAP_PACKETS_ICMPPACKET_H
#define VEILCAP_PACKETS_ICMPPACKET_H

#include <cstdint>
#include <string>

#include "Packet.h"

class AnonPrimitive;

// The 8-byte ICMP header. The checksum is held in host order,
// the rest of the header (misc) as its 4 wire bytes in wire order. What
// follows depends on the type: payload (echo, timestamp), a quoted IPv4
// header (errors) or nothing.
class IcmpPacket final : public Packet {
  public:
    // The profile: the primitive chain that rewrites each anonymizable
    // field, set once when the profile is loaded.
    static AnonPrimitive* anonType;
    static AnonPrimitive* anonCode;
    static AnonPrimitive* anonMisc;

    IcmpPacket();

    bool parse() override;
    void assemble() override;
    std::string toString() const override;
    uint32_t minimumSize() const override { return 8; }

    uint8_t getType() const { return type; }
    void setType(uint8_t value) { type = value; }
    uint8_t getCode() const { return code; }
    void setCode(uint8_t value) { code = value; }
    uint16_t getChecksum() const { return checksum; }
    void setChecksum(uint16_t value) { checksum = value; }
    // The 4 bytes after the checksum as a 32-bit value holding them in wire
    // order.
    uint32_t getMisc() const { return misc; }
    void setMisc(uint32_t wireOrderValue) { misc = wireOrderValue; }

    // What follows a header of the given ICMP type.
    static ProtocolType nextProtocolForType(uint8_t icmpType);

  private:
    friend class Packet;
    void assembleHeader();

    uint8_t type;
    uint8_t code;
    uint16_t checksum;
    uint32_t misc;
};

#endif
