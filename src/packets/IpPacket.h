#ifndef VEILCAP_PACKETS_IPPACKET_H
#define VEILCAP_PACKETS_IPPACKET_H

#include <cstdint>
#include <string>

#include "Packet.h"

class AnonPrimitive;

// The IPv4 header with its options. Version and header length
// are held as received (one byte), the 16-bit fields in host order, the
// addresses as 32-bit values holding the 4 wire bytes in wire order, the
// options as received in storage of their own.
//
// A fragment whose offset is not 0 carries no transport header: its
// payload is always a PayloadPacket, whatever the protocol field says.
class IpPacket final : public Packet {
  public:
    // The profile: the primitive chain that rewrites each anonymizable
    // field, set once when the profile is loaded.
    static AnonPrimitive* anonTos;
    static AnonPrimitive* anonIdentifier;
    static AnonPrimitive* anonFlags;
    static AnonPrimitive* anonFragoffset;
    static AnonPrimitive* anonTtl;
    static AnonPrimitive* anonSourceip;
    static AnonPrimitive* anonDestip;
    static AnonPrimitive* anonOptions;

    IpPacket();
    ~IpPacket() override;

    bool parse() override;
    void assemble() override;
    std::string toString() const override;
    uint32_t minimumSize() const override { return 20; }

    uint8_t getVersion() const { return static_cast<uint8_t>(versionAndLength >> 4); }
    // The low 4 bits of the value become bits 7-4 of the first byte.
    void setVersion(uint8_t value) {
        versionAndLength = static_cast<uint8_t>(((value & 0xF) << 4) | (versionAndLength & 0xF));
    }
    // The header-length field times 4, in bytes.
    uint32_t getHeaderLength() const { return (versionAndLength & 0xFu) * 4; }
    // The field becomes (bytes / 4) & 0xF.
    void setHeaderLength(uint32_t bytes) {
        versionAndLength = static_cast<uint8_t>((versionAndLength & 0xF0) | ((bytes / 4) & 0xF));
    }
    uint8_t getTos() const { return tos; }
    void setTos(uint8_t value) { tos = value; }
    uint16_t getTotalLength() const { return totalLength; }
    void setTotalLength(uint16_t value) { totalLength = value; }
    uint16_t getIdentifier() const { return identifier; }
    void setIdentifier(uint16_t value) { identifier = value; }
    // The top 3 bits of the flags/fragment-offset word.
    uint16_t getFlags() const { return static_cast<uint16_t>(flagsAndOffset >> 13); }
    void setFlags(uint16_t value) {
        flagsAndOffset = static_cast<uint16_t>((value << 13) | (flagsAndOffset & 0x1FFF));
    }
    // The low 13 bits of the flags/fragment-offset word.
    uint16_t getFragoffset() const { return static_cast<uint16_t>(flagsAndOffset & 0x1FFF); }
    void setFragoffset(uint16_t value) {
        flagsAndOffset = static_cast<uint16_t>((value & 0x1FFF) | (flagsAndOffset & 0xE000));
    }
    uint8_t getTtl() const { return ttl; }
    void setTtl(uint8_t value) { ttl = value; }
    uint8_t getProtocol() const { return protocol; }
    void setProtocol(uint8_t value) { protocol = value; }
    uint16_t getChecksum() const { return checksum; }
    void setChecksum(uint16_t value) { checksum = value; }
    uint32_t getSourceip() const { return sourceip; }
    void setSourceip(uint32_t wireOrderAddress) { sourceip = wireOrderAddress; }
    uint32_t getDestip() const { return destip; }
    void setDestip(uint32_t wireOrderAddress) { destip = wireOrderAddress; }
    // A new malloc'ed copy of the options (never null; the caller frees it)
    // and their length.
    uint8_t* getOptions(uint32_t& length) const;
    // The length of the held options (getOptions without the copy).
    uint32_t getOptionsLength() const { return optionsLength; }
    // Replaces the options with a copy of the bytes.
    void setOptions(const uint8_t* data, uint32_t length);
    // Replaces the options with the malloc'ed block, which the packet now owns
    // (freed at once for a length of 0); spares setOptions's copy.
    void adoptOptions(uint8_t* data, uint32_t length);

  private:
    friend class Packet;
    void assembleHeader();

    uint8_t versionAndLength;
    uint8_t tos;
    uint16_t totalLength;
    uint16_t identifier;
    uint16_t flagsAndOffset;
    uint8_t ttl;
    uint8_t protocol;
    uint16_t checksum;
    uint32_t sourceip;
    uint32_t destip;
    uint8_t* options;
    uint32_t optionsLength;
};

#endif
