#ifndef VEILCAP_PACKETS_VLANPACKET_H
#define VEILCAP_PACKETS_VLANPACKET_H

#include <cstdint>
#include <string>

#include "Packet.h"

class AnonPrimitive;

// An IEEE 802.1Q tag, after Ethernet or another tag. Both
// 16-bit fields are held in host order; the tag control word is reached
// through its priority, CFI and VLAN id views.
class VlanPacket final : public Packet {
  public:
    // The profile: the primitive chain that rewrites each anonymizable
    // field, set once when the profile is loaded.
    static AnonPrimitive* anonPriority;
    static AnonPrimitive* anonCfi;
    static AnonPrimitive* anonVlanId;
    static AnonPrimitive* anonType;

    VlanPacket();

    bool parse() override;
    void assemble() override;
    std::string toString() const override;
    uint32_t minimumSize() const override { return 4; }

    // Bits 15-13 of the tag control word (0-7).
    uint8_t getPriority() const { return static_cast<uint8_t>(tagControl >> 13); }
    // Bits 15-13 become the low 3 bits of the value; the other bits stay.
    void setPriority(uint8_t value) {
        tagControl = static_cast<uint16_t>(((value & 0x7) << 13) | (tagControl & 0x1FFF));
    }
    // Bit 12 (0 or 1).
    uint8_t getCfi() const { return static_cast<uint8_t>((tagControl >> 12) & 1); }
    void setCfi(uint8_t value) {
        tagControl = static_cast<uint16_t>(((value & 1) << 12) | (tagControl & 0xEFFF));
    }
    // Bits 11-0.
    uint16_t getVlanId() const { return static_cast<uint16_t>(tagControl & 0x0FFF); }
    void setVlanId(uint16_t value) {
        tagControl = static_cast<uint16_t>((value & 0x0FFF) | (tagControl & 0xF000));
    }
    uint16_t getType() const { return type; }
    void setType(uint16_t value) { type = value; }

  private:
    friend class Packet;
    void assembleHeader();

    uint16_t tagControl;
    uint16_t type;
};

#endif
