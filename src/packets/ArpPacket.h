#ifndef VEILCAP_PACKETS_ARPPACKET_H
#define VEILCAP_PACKETS_ARPPACKET_H

#include <cstdint>
#include <string>

#include "Packet.h"

class AnonPrimitive;

// An ARP message in the fixed 28-byte Ethernet/IPv4 layout,
// always the last packet of its chain. The 16-bit fields are held in host
// order, the addresses in wire order (protocol addresses as a 32-bit value
// holding the 4 wire bytes).
class ArpPacket final : public Packet {
  public:
    // The profile: the primitive chain that rewrites each anonymizable
    // field, set once when the profile is loaded.
    static AnonPrimitive* anonHardwaretype;
    static AnonPrimitive* anonProtocoltype;
    static AnonPrimitive* anonHardwareaddrlen;
    static AnonPrimitive* anonProtoaddrlen;
    static AnonPrimitive* anonOpcode;
    static AnonPrimitive* anonSourcemac;
    static AnonPrimitive* anonSourceip;
    static AnonPrimitive* anonDestmac;
    static AnonPrimitive* anonDestip;

    ArpPacket();

    bool parse() override;
    void assemble() override;
    std::string toString() const override;
    uint32_t minimumSize() const override { return 28; }

    uint16_t getHardwaretype() const { return hardwaretype; }
    void setHardwaretype(uint16_t value) { hardwaretype = value; }
    uint16_t getProtocoltype() const { return protocoltype; }
    void setProtocoltype(uint16_t value) { protocoltype = value; }
    uint8_t getHardwareaddrlen() const { return hardwareaddrlen; }
    void setHardwareaddrlen(uint8_t value) { hardwareaddrlen = value; }
    uint8_t getProtoaddrlen() const { return protoaddrlen; }
    void setProtoaddrlen(uint8_t value) { protoaddrlen = value; }
    uint16_t getOpcode() const { return opcode; }
    void setOpcode(uint16_t value) { opcode = value; }
    void getSourcemac(uint8_t out[6]) const;
    void setSourcemac(const uint8_t mac[6]);
    uint32_t getSourceip() const { return sourceip; }
    void setSourceip(uint32_t wireOrderAddress) { sourceip = wireOrderAddress; }
    void getDestmac(uint8_t out[6]) const;
    void setDestmac(const uint8_t mac[6]);
    uint32_t getDestip() const { return destip; }
    void setDestip(uint32_t wireOrderAddress) { destip = wireOrderAddress; }

  private:
    friend class Packet;
    void assembleHeader();

    uint16_t hardwaretype;
    uint16_t protocoltype;
    uint8_t hardwareaddrlen;
    uint8_t protoaddrlen;
    uint16_t opcode;
    uint8_t sourcemac[6];
    uint32_t sourceip;
    uint8_t destmac[6];
    uint32_t destip;
};

#endif
