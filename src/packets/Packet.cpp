#include "Packet.h"

#include <cassert>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "ArpPacket.h"
#include "Checksum.h"
#include "Configuration.h"
#include "EthernetPacket.h"
#include "IcmpPacket.h"
#include "IpPacket.h"
#include "Ipv6Packet.h"
#include "PacketFactory.h"
#include "PayloadPacket.h"
#include "RandomNumberGenerator.h"
#include "TcpPacket.h"
#include "UdpPacket.h"
#include "VlanPacket.h"

Packet::Packet()
    : buffer(nullptr),
      size(0),
      headerSize(0),
      protocolType(PROTO_NONE),
      nextProtocolType(PROTO_NONE),
      next(nullptr),
      checksumCorrect(true),
      ownsBuffer(true),
      headroom(0),
      tailroom(0) {}

Packet::~Packet() {
    // The factory detaches the successor before it destroys a packet and
    // releases the chain in a loop, so this never recurses.
    if (next != nullptr) {
        Packet* rest = next;
        next = nullptr;
        PacketFactory::releaseFromDestructor(rest);
    }
    releaseBuffer();
}

void Packet::releaseBuffer() {
    if (ownsBuffer && buffer != nullptr) {
        std::free(buffer - headroom);
    }
    buffer = nullptr;
    size = 0;
    headroom = 0;
    tailroom = 0;
    ownsBuffer = true;
}

void Packet::resizeBuffer(uint32_t n) {
    if (!ownsBuffer || headroom > 0 || tailroom > 0) {
        // A borrowed buffer (copy on first change: the bytes stay the
        // predecessor's) or one inside a larger block: a block of its own.
        uint8_t* own = nullptr;
        if (n > 0) {
            own = static_cast<uint8_t*>(std::malloc(n));
            if (buffer != nullptr) {
                std::memcpy(own, buffer, n < size ? n : size);
            }
        }
        releaseBuffer();
        buffer = own;
        size = n;
        return;
    }
    if (n == 0) {
        std::free(buffer);
        buffer = nullptr;
    } else if (size == 0 || buffer == nullptr) {
        std::free(buffer);
        buffer = static_cast<uint8_t*>(std::malloc(n));
    } else {
        buffer = static_cast<uint8_t*>(std::realloc(buffer, n));
    }
    size = n;
}

void Packet::takeSuccessorBytes(uint32_t headerLength, uint32_t successorBytes, uint32_t padding) {
    if (successorBytes == 0) {
        resizeBuffer(headerLength + padding);
        return;
    }
    Packet* successor = next;
    if (successor->ownsBuffer && successor->headroom >= headerLength &&
        successor->tailroom >= padding) {
        // The successor's bytes already sit in a block with room in front:
        // the header goes there, nothing is copied. The successor's buffer
        // is not read after this packet's assembly (see assembleChain).
        releaseBuffer();
        buffer = successor->buffer - headerLength;
        size = headerLength + successorBytes + padding;
        headroom = successor->headroom - headerLength;
        tailroom = successor->tailroom - padding;
        successor->buffer = nullptr;
        successor->releaseBuffer();
        return;
    }
    // One copy into a block with room for the outer headers (and for the
    // Ethernet padding of a short frame), which they then take over.
    allocateWithRoom(headerLength + successorBytes + padding);
    std::memcpy(buffer + headerLength, successor->buffer, successorBytes);
}

void Packet::allocateWithRoom(uint32_t n) {
    uint32_t room = n < MIN_ASSEMBLED_FRAME ? MIN_ASSEMBLED_FRAME - n : 0;
    uint8_t* block = static_cast<uint8_t*>(std::malloc(ASSEMBLY_HEADROOM + n + room));
    releaseBuffer();
    buffer = block + ASSEMBLY_HEADROOM;
    size = n;
    headroom = ASSEMBLY_HEADROOM;
    tailroom = room;
}

void Packet::assembleBytes(const uint8_t* bytes, uint32_t n) {
    if (n == 0) {
        resizeBuffer(0);
        return;
    }
    allocateWithRoom(n);
    std::memcpy(buffer, bytes, n);
}

uint16_t Packet::computeChecksum(const uint8_t* data, int length) {
    InternetChecksum sum;
    if (length > 0) {
        sum.add(data, static_cast<size_t>(length));
    }
    return sum.finish();
}

bool Packet::checksReceivedChecksums() {
    return Configuration::instance()->getSetBadChecksumsToBad();
}

Packet::OutputChecksum Packet::outputChecksumPolicy() const {
    Configuration* configuration = Configuration::instance();
    if (!configuration->getReCalculateChecksums()) {
        return CHECKSUM_ZERO;
    }
    if (configuration->getSetBadChecksumsToBad() && !checksumCorrect) {
        return CHECKSUM_RANDOM;
    }
    return CHECKSUM_COMPUTED;
}

uint16_t Packet::randomChecksum() {
    return RandomNumberGenerator::generate();
}

// Hands the addresses of an IPv4 or IPv6 packet to a TCP or UDP successor
// for its pseudo-header; nothing for any other pair.
static void handOverAddresses(const Packet* parent, Packet* child) {
    ProtocolType childType = child->getProtocolType();
    if (childType != PROTO_TCP && childType != PROTO_UDP) {
        return;
    }
    if (parent->getProtocolType() == PROTO_IP) {
        const IpPacket* ip = static_cast<const IpPacket*>(parent);
        if (childType == PROTO_TCP) {
            static_cast<TcpPacket*>(child)->setIpv4Addresses(ip->getSourceip(), ip->getDestip());
        } else {
            static_cast<UdpPacket*>(child)->setIpv4Addresses(ip->getSourceip(), ip->getDestip());
        }
    } else if (parent->getProtocolType() == PROTO_IPV6) {
        const Ipv6Packet* ipv6 = static_cast<const Ipv6Packet*>(parent);
        uint8_t source[16];
        uint8_t destination[16];
        ipv6->getSourceaddr(source);
        ipv6->getDestaddr(destination);
        if (childType == PROTO_TCP) {
            static_cast<TcpPacket*>(child)->setIpv6Addresses(source, destination);
        } else {
            static_cast<UdpPacket*>(child)->setIpv6Addresses(source, destination);
        }
    }
}

void Packet::createNextPacket() {
    // The builder recurses only as a tail call, written as a loop.
    PacketFactory* factory = PacketFactory::instance();
    Packet* packet = this;
    for (;;) {
        Packet* created = factory->createPacket(packet->nextProtocolType);
        packet->next = created;
        if (created == nullptr) {
            return;  // PROTO_NONE, an unknown type or no storage
        }
        // Before any size test.
        if (packet->nextProtocolType == PROTO_TCP || packet->nextProtocolType == PROTO_UDP) {
            handOverAddresses(packet, created);
        }
        if (packet->size <= packet->headerSize ||
            packet->size - packet->headerSize < created->minimumSize()) {
            // No bytes after the header, or too few for the announced
            // protocol: they belong to no packet.
            packet->nextProtocolType = PROTO_NONE;
            factory->freePacket(created);
            packet->next = nullptr;
            return;
        }
        // The successor borrows the bytes behind the header (see ownsBuffer).
        created->buffer = packet->buffer + packet->headerSize;
        created->size = packet->size - packet->headerSize;
        created->ownsBuffer = false;
        created->protocolType = packet->nextProtocolType;
        created->parse();
        packet = created;
    }
}

void Packet::assembleOne() {
    switch (protocolType) {
        case PROTO_PAYLOAD:
            static_cast<PayloadPacket*>(this)->assembleHeader();
            break;
        case PROTO_ETHERNET:
            static_cast<EthernetPacket*>(this)->assembleHeader();
            break;
        case PROTO_ARP:
            static_cast<ArpPacket*>(this)->assembleHeader();
            break;
        case PROTO_IP:
            static_cast<IpPacket*>(this)->assembleHeader();
            break;
        case PROTO_IPV6:
            static_cast<Ipv6Packet*>(this)->assembleHeader();
            break;
        case PROTO_TCP:
            static_cast<TcpPacket*>(this)->assembleHeader();
            break;
        case PROTO_UDP:
            static_cast<UdpPacket*>(this)->assembleHeader();
            break;
        case PROTO_ICMP:
            static_cast<IcmpPacket*>(this)->assembleHeader();
            break;
        case PROTO_VLAN:
            static_cast<VlanPacket*>(this)->assembleHeader();
            break;
        default:
            assert(false);
    }
}

void Packet::assembleChain() {
    // Pre-order part: walk to the innermost packet that is assembled,
    // handing IPv4/IPv6 addresses to a TCP or UDP successor on the way.
    // Post-order part: write the headers innermost first. Both orders are
    // those of a recursive assembly; an explicit list replaces the stack.
    const size_t inlineCapacity = 32;
    Packet* inlineList[inlineCapacity];
    std::vector<Packet*> deepList;
    size_t count = 0;
    for (Packet* packet = this; packet != nullptr; packet = packet->next) {
        if (count < inlineCapacity) {
            inlineList[count] = packet;
        } else {
            if (count == inlineCapacity) {
                deepList.assign(inlineList, inlineList + inlineCapacity);
            }
            deepList.push_back(packet);
        }
        count++;
        if (packet->protocolType == PROTO_ARP || packet->protocolType == PROTO_PAYLOAD) {
            break;  // these do not assemble a successor
        }
        if (packet->next != nullptr &&
            (packet->protocolType == PROTO_IP || packet->protocolType == PROTO_IPV6)) {
            handOverAddresses(packet, packet->next);
        }
    }
    Packet** list = count <= inlineCapacity ? inlineList : deepList.data();
    for (size_t i = count; i-- > 0;) {
        list[i]->assembleOne();
        // The successor's bytes now sit behind this header; only the first
        // packet's buffer is read after assembly, so the copy is released
        // at once and a deep chain holds at most two of them.
        if (i + 1 < count) {
            list[i + 1]->resizeBuffer(0);
        }
    }
}
