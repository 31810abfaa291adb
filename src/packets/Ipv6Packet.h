#ifndef VEILCAP_PACKETS_IPV6PACKET_H
#define VEILCAP_PACKETS_IPV6PACKET_H

#include <cstdint>
#include <string>

#include "Packet.h"

class AnonPrimitive;

// The fixed 40-byte IPv6 header. No extension header is
// interpreted: every next header but 1, 4, 6, 17 and 41 is payload. The
// first word and the payload length are held in host order, the addresses
// as their 16 wire bytes.
class Ipv6Packet final : public Packet {
  public:
    // The profile: the primitive chain that rewrites each anonymizable
    // field, set once when the profile is loaded.
    static AnonPrimitive* anonTrafficclass;
    static AnonPrimitive* anonFlowlabel;
    static AnonPrimitive* anonHoplimit;
    static AnonPrimitive* anonSourceaddr;
    static AnonPrimitive* anonDestaddr;

    Ipv6Packet();

    bool parse() override;
    void assemble() override;
    std::string toString() const override;
    uint32_t minimumSize() const override { return 40; }

    // Bits 31-28 of the first word.
    uint8_t getVersion() const { return static_cast<uint8_t>(firstWord >> 28); }
    void setVersion(uint8_t value) {
        firstWord = (static_cast<uint32_t>(value & 0xF) << 28) | (firstWord & 0x0FFFFFFF);
    }
    // Bits 27-20 of the first word.
    uint8_t getTrafficclass() const { return static_cast<uint8_t>((firstWord >> 20) & 0xFF); }
    void setTrafficclass(uint8_t value) {
        firstWord = (static_cast<uint32_t>(value) << 20) | (firstWord & 0xF00FFFFF);
    }
    // Bits 19-0 of the first word.
    uint32_t getFlowlabel() const { return firstWord & 0xFFFFF; }
    void setFlowlabel(uint32_t value) { firstWord = (value & 0xFFFFF) | (firstWord & 0xFFF00000); }
    uint16_t getPayloadLength() const { return payloadLength; }
    void setPayloadLength(uint16_t value) { payloadLength = value; }
    uint8_t getNextHeader() const { return nextHeader; }
    void setNextHeader(uint8_t value) { nextHeader = value; }
    uint8_t getHoplimit() const { return hoplimit; }
    void setHoplimit(uint8_t value) { hoplimit = value; }
    void getSourceaddr(uint8_t out[16]) const;
    void setSourceaddr(const uint8_t address[16]);
    void getDestaddr(uint8_t out[16]) const;
    void setDestaddr(const uint8_t address[16]);

  private:
    friend class Packet;
    void assembleHeader();

    uint32_t firstWord;
    uint16_t payloadLength;
    uint8_t nextHeader;
    uint8_t hoplimit;
    uint8_t sourceaddr[16];
    uint8_t destaddr[16];
};

#endif
