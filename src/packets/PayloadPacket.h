#ifndef VEILCAP_PACKETS_PAYLOADPACKET_H
#define VEILCAP_PACKETS_PAYLOADPACKET_H

#include <cstdint>
#include <string>

#include "Packet.h"

class AnonPrimitive;

// The bytes that no header class interprets, as one opaque block (Part
// 4.8). Always the last packet of its chain.
class PayloadPacket final : public Packet {
  public:
    // The profile: the primitive chain that rewrites each anonymizable
    // field, set once when the profile is loaded.
    static AnonPrimitive* anonPayload;

    PayloadPacket();
    ~PayloadPacket() override;

    bool parse() override;
    void assemble() override;
    std::string toString() const override;
    uint32_t minimumSize() const override { return 1; }

    // A new malloc'ed copy of the payload (never null; the caller frees it)
    // and its length.
    uint8_t* getPayload(uint32_t& length) const;
    // The length of the held payload (getPayload without the copy).
    uint32_t getPayloadLength() const { return payloadLength; }
    // Replaces the payload with a copy of the bytes.
    void setPayload(const uint8_t* data, uint32_t length);
    // Replaces the payload with the malloc'ed block, which the packet now owns
    // (freed at once for a length of 0); spares setPayload's copy.
    void adoptPayload(uint8_t* data, uint32_t length);

  private:
    friend class Packet;
    void assembleHeader();

    uint8_t* payload;
    uint32_t payloadLength;
};

#endif
