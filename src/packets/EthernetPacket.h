#ifndef VEILCAP_PACKETS_ETHERNETPACKET_H
#define VEILCAP_PACKETS_ETHERNETPACKET_H

#include <cstdint>
#include <string>

#include "Packet.h"

class AnonPrimitive;

// The Ethernet II header: the first packet of every frame.
// MAC addresses are held in wire order, the type in host order.
class EthernetPacket final : public Packet {
  public:
    // The profile: the primitive chain that rewrites each anonymizable
    // field, set once when the profile is loaded.
    static AnonPrimitive* anonSourceMac;
    static AnonPrimitive* anonDestMac;
    static AnonPrimitive* anonType;

    EthernetPacket();

    bool parse() override;
    void assemble() override;
    std::string toString() const override;
    uint32_t minimumSize() const override { return 14; }

    void getDestMac(uint8_t out[6]) const;
    void setDestMac(const uint8_t mac[6]);
    void getSourceMac(uint8_t out[6]) const;
    void setSourceMac(const uint8_t mac[6]);
    uint16_t getType() const { return type; }
    void setType(uint16_t value) { type = value; }

  private:
    friend class Packet;
    void assembleHeader();

    uint8_t destMac[6];
    uint8_t sourceMac[6];
    uint16_t type;
};

#endif
