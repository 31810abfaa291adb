#ifndef VEILCAP_PACKETS_FRAME_H
#define VEILCAP_PACKETS_FRAME_H

#include <cstdint>
#include <string>

class Packet;

// The link type of the input trace, process-wide: 0 until the trace
// reader accepts an Ethernet trace and sets it to 1, the only value the
// program understands.
extern int32_t networkType;

// One captured frame: the values of its pcap record header and
// the first packet of its protocol chain. Frames come only from
// PacketFactory::createFrame and go back only through
// PacketFactory::freeFrame.
class Frame {
  public:
    // Creates the first packet from the network type: an EthernetPacket
    // for 1; otherwise prints "invalid network type" and leaves it null.
    Frame();
    // Returns the chain with PacketFactory::freePacket.
    ~Frame();
    Frame(const Frame&) = delete;
    Frame& operator=(const Frame&) = delete;

    // Assembles the chain (packet must not be null) and returns a copy of
    // its bytes, allocated with malloc (the caller frees it), and their
    // count.
    uint8_t* serialize(uint32_t& length);
    // Assembles the chain (packet must not be null) and returns its bytes
    // in place: the first packet's buffer, valid until the chain changes.
    // The writer uses it to spare serialize()'s copy of every frame.
    const uint8_t* assemble(uint32_t& length);

    // The frame dump: the record-header values, then each packet's dump.
    std::string toString() const;

    int32_t timestampSeconds;
    int32_t timestampMicroseconds;
    uint32_t capturedLength;
    uint32_t originalLength;
    // The first packet of the chain, owned, or null. The driver may
    // replace it; the frame then owns the replacement.
    Packet* packet;
};

#endif
