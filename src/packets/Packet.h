#ifndef VEILCAP_PACKETS_PACKET_H
#define VEILCAP_PACKETS_PACKET_H

#include <cstdint>
#include <string>

#include "ProtocolType.h"

// Abstract base of every protocol header. A packet owns its
// byte buffer and its successor in the protocol chain of a frame, which
// runs outermost first (Ethernet, IPv4, TCP, payload, ...).
//
// Packets are created only by PacketFactory::createPacket and released
// only by PacketFactory::freePacket; releasing the first packet of a chain
// releases the whole chain.
//
// The chain builder, assembly and release are written without recursion,
// so chains of any depth (a 65535-byte frame of VLAN tags has more than
// 16,000 packets) cost no stack; the order of their effects is the one of
// a recursive implementation.
class Packet {
  public:
    Packet();
    virtual ~Packet();
    Packet(const Packet&) = delete;
    Packet& operator=(const Packet&) = delete;

    // Reads the header from the start of the buffer, which holds at least
    // minimumSize() bytes; sets the fields, headerSize and
    // nextProtocolType. True when the header was taken.
    virtual bool parse() = 0;
    // Rebuilds buffer and size from the fields of this packet and of the
    // chain behind it, innermost first, recomputing lengths, padding and
    // checksums as each class describes.
    virtual void assemble() = 0;
    // The packet's text dump: a title line and one line per field.
    virtual std::string toString() const = 0;
    // The fewest bytes the header needs.
    virtual uint32_t minimumSize() const = 0;

    uint8_t* getBuffer() const { return buffer; }
    uint32_t getSize() const { return size; }
    // Bytes at the start of the buffer that belong to this header (set by
    // parse()); the next protocol's bytes begin here.
    uint32_t getHeaderSize() const { return headerSize; }

    // Sets size to n: 0 releases the buffer, otherwise the buffer is
    // allocated or reallocated to n bytes, keeping min(old, new) bytes.
    // A borrowed buffer (see ownsBuffer) is first copied into one of the
    // packet's own.
    void resizeBuffer(uint32_t n);

    ProtocolType getProtocolType() const { return protocolType; }
    ProtocolType getNextProtocolType() const { return nextProtocolType; }
    void setNextProtocolType(ProtocolType type) { nextProtocolType = type; }

    Packet* getNext() const { return next; }
    // Stores the successor and takes ownership; a previous successor is not
    // released (used on newly created packets only).
    void setNext(Packet* packet) { next = packet; }

    bool isChecksumCorrect() const { return checksumCorrect; }
    void setChecksumCorrect(bool correct) { checksumCorrect = correct; }

    // The chain builder: creates, fills and parses the successors of this
    // packet as long as the bytes and the announced protocols allow.
    void createNextPacket();

    // The Internet checksum (RFC 1071) of the bytes, as the header classes
    // hold a checksum field: the value whose big-endian bytes are the wire
    // bytes. A length of 0 (or less) yields 0xFFFF.
    static uint16_t computeChecksum(const uint8_t* data, int length);

  protected:
    // The three outcomes of the checksum policy for an assembled header.
    enum OutputChecksum {
        CHECKSUM_ZERO,      // ReCalculateChecksums off
        CHECKSUM_RANDOM,    // on, SetBadChecksumsToBad on and the received one was wrong
        CHECKSUM_COMPUTED,  // on otherwise
    };

    // Whether received checksums are tested while parsing
    // ("Settings/Checksumming/SetBadChecksumsToBad").
    static bool checksReceivedChecksums();
    // The policy for the checksum of this packet's assembled header. Reads
    // "ReCalculateChecksums" and, when that is on, "SetBadChecksumsToBad".
    OutputChecksum outputChecksumPolicy() const;
    // The low 16 bits of the next number of the random source.
    static uint16_t randomChecksum();

    // assemble() of every class: assembles the chain from this packet on,
    // innermost first. IPv4 and IPv6 hand their addresses to a TCP or UDP
    // successor before it is assembled; ARP and payload packets end the
    // assembly (they do not assemble a successor).
    void assembleChain();

    // For assembleHeader(): makes the buffer headerLength + successorBytes
    // + padding bytes, with the successor's assembled bytes (successorBytes
    // = next->getSize(), next not null when it is above 0) behind the
    // header; header and padding bytes are left for the caller to write.
    // The same result as resizeBuffer() and a copy of the successor's
    // bytes, but a chain's bytes are copied once instead of once per layer:
    // the first copy goes into a block with room in front, and the outer
    // packets take that block over. The successor is left without buffer.
    void takeSuccessorBytes(uint32_t headerLength, uint32_t successorBytes, uint32_t padding = 0);
    // For the innermost packet's assembleHeader(): the buffer becomes a copy
    // of the n bytes (none for 0), placed in a block with room for the
    // outer headers, which they take over without copying.
    void assembleBytes(const uint8_t* bytes, uint32_t n);

    uint8_t* buffer;
    uint32_t size;
    uint32_t headerSize;
    ProtocolType protocolType;
    ProtocolType nextProtocolType;
    Packet* next;
    bool checksumCorrect;
    // False while buffer borrows the bytes behind the predecessor's header:
    // the chain builder hands them on without copying them (a copy per
    // layer made deep chains quadratic in time and memory). Nothing writes
    // through a borrowed buffer, the predecessor outlives its successor
    // (chains are released innermost first) and keeps its bytes until it
    // resizes its buffer, which assembly does only after the successor's
    // own resizeBuffer has given it bytes of its own.
    bool ownsBuffer;

  private:
    // Room for outer headers in front of an assembled block: Ethernet, an
    // IPv4 header with 40 option bytes and a few VLAN tags.
    static const uint32_t ASSEMBLY_HEADROOM = 128;
    // An assembled block holds at least this many bytes after its headroom,
    // so that Ethernet pads a short frame without a new block.
    static const uint32_t MIN_ASSEMBLED_FRAME = 64;

    // Makes the buffer n bytes (not set) inside a new block with headroom.
    void allocateWithRoom(uint32_t n);
    // Frees the buffer (when owned) and leaves the packet without one.
    void releaseBuffer();

    // The buffer may lie inside a larger block (taken over during
    // assembly): headroom bytes of the block precede it and tailroom bytes
    // follow its size bytes. Both are 0 for an ordinary buffer.
    uint32_t headroom;
    uint32_t tailroom;

  private:
    friend class PacketFactory;

    // Writes this packet's header in front of the already assembled bytes
    // of its successor (the class's own part of assemble()).
    void assembleOne();
};

#endif
