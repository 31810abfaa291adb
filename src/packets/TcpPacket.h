#ifndef VEILCAP_PACKETS_TCPPACKET_H
#define VEILCAP_PACKETS_TCPPACKET_H

#include <cstdint>
#include <string>

#include "Checksum.h"
#include "Packet.h"

class AnonPrimitive;

// The TCP header with its options. Integers are held in host
// order, the options as received in storage of their own. The checksum
// covers a pseudo-header built from the addresses that the enclosing IPv4
// or IPv6 header hands over before every parse and assembly.
//
// Bits 11-6 of the offset/flags word (reserved, CWR, ECE) are held as
// received but never reach the output.
class TcpPacket final : public Packet {
  public:
    // The profile: the primitive chain that rewrites each anonymizable
    // field, set once when the profile is loaded.
    static AnonPrimitive* anonSourceport;
    static AnonPrimitive* anonDestport;
    static AnonPrimitive* anonSeqnum;
    static AnonPrimitive* anonAcknum;
    static AnonPrimitive* anonFlags;
    static AnonPrimitive* anonWindowsize;
    static AnonPrimitive* anonUrgentpnt;
    static AnonPrimitive* anonOptions;

    TcpPacket();
    ~TcpPacket() override;

    bool parse() override;
    void assemble() override;
    std::string toString() const override;
    uint32_t minimumSize() const override { return 20; }

    uint16_t getSourceport() const { return sourceport; }
    void setSourceport(uint16_t value) { sourceport = value; }
    uint16_t getDestport() const { return destport; }
    void setDestport(uint16_t value) { destport = value; }
    uint32_t getSeqnum() const { return seqnum; }
    void setSeqnum(uint32_t value) { seqnum = value; }
    uint32_t getAcknum() const { return acknum; }
    void setAcknum(uint32_t value) { acknum = value; }
    // The data offset in bytes: (word >> 12) * 4.
    uint32_t getHeaderLength() const { return static_cast<uint32_t>(offsetAndFlags >> 12) * 4; }
    // word = ((bytes / 4) << 12) | (word & 0x3F), kept to 16 bits.
    void setHeaderLength(uint32_t bytes) {
        offsetAndFlags = static_cast<uint16_t>(((bytes / 4) << 12) | (offsetAndFlags & 0x3F));
    }
    // URG, ACK, PSH, RST, SYN, FIN: word & 0x3F.
    uint16_t getFlags() const { return static_cast<uint16_t>(offsetAndFlags & 0x3F); }
    // word = (value & 0x3F) | (word & 0xF000).
    void setFlags(uint16_t value) {
        offsetAndFlags = static_cast<uint16_t>((value & 0x3F) | (offsetAndFlags & 0xF000));
    }
    uint16_t getWindowsize() const { return windowsize; }
    void setWindowsize(uint16_t value) { windowsize = value; }
    uint16_t getChecksum() const { return checksum; }
    void setChecksum(uint16_t value) { checksum = value; }
    uint16_t getUrgentpnt() const { return urgentpnt; }
    void setUrgentpnt(uint16_t value) { urgentpnt = value; }
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
    uint32_t seqnum;
    uint32_t acknum;
    uint16_t offsetAndFlags;
    uint16_t windowsize;
    uint16_t checksum;
    uint16_t urgentpnt;
    uint8_t* options;
    uint32_t optionsLength;
    PseudoHeaderAddresses addresses;
};

#endif
