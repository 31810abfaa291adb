#include "PacketFactory.h"

#include <boost/pool/object_pool.hpp>
#include <cassert>
#include <cstdlib>
#include <cstring>

#include "ArpPacket.h"
#include "EthernetPacket.h"
#include "Frame.h"
#include "IcmpPacket.h"
#include "IpPacket.h"
#include "Ipv6Packet.h"
#include "Packet.h"
#include "PayloadPacket.h"
#include "RecyclingPool.h"
#include "TcpPacket.h"
#include "UdpPacket.h"
#include "VlanPacket.h"

// The ten pools, in a fixed order. Each starts with blocks of 32
// objects and grows without limit. Packets go through RecyclingPool, whose
// release costs O(1) however many packets a frame holds; frames (one or
// two alive at a time, and a constructor that creates a packet) stay in a
// plain object_pool.
struct PacketFactory::Pools {
    boost::object_pool<Frame> frames;
    RecyclingPool<EthernetPacket> ethernet;
    RecyclingPool<ArpPacket> arp;
    RecyclingPool<IpPacket> ip;
    RecyclingPool<Ipv6Packet> ipv6;
    RecyclingPool<IcmpPacket> icmp;
    RecyclingPool<UdpPacket> udp;
    RecyclingPool<TcpPacket> tcp;
    RecyclingPool<VlanPacket> vlan;
    RecyclingPool<PayloadPacket> payload;
};

PacketFactory* PacketFactory::theInstance = nullptr;

PacketFactory* PacketFactory::instance() {
    if (theInstance == nullptr) {
        theInstance = new PacketFactory();
        std::atexit(destroyInstance);
    }
    return theInstance;
}

void PacketFactory::destroyInstance() {
    delete theInstance;
    theInstance = nullptr;
}

PacketFactory::PacketFactory() : pools(new Pools()), liveFrames(0), shuttingDown(false) {
    std::memset(livePackets, 0, sizeof livePackets);
}

PacketFactory::~PacketFactory() {
    // Objects still allocated are destroyed by their pools; their
    // destructors then leave the chains to the pools as well.
    shuttingDown = true;
    delete pools;
}

Packet* PacketFactory::createPacket(ProtocolType type) {
    Packet* packet = nullptr;
    switch (type) {
        case PROTO_PAYLOAD:
            packet = pools->payload.construct();
            break;
        case PROTO_ETHERNET:
            packet = pools->ethernet.construct();
            break;
        case PROTO_ARP:
            packet = pools->arp.construct();
            break;
        case PROTO_IP:
            packet = pools->ip.construct();
            break;
        case PROTO_IPV6:
            packet = pools->ipv6.construct();
            break;
        case PROTO_TCP:
            packet = pools->tcp.construct();
            break;
        case PROTO_UDP:
            packet = pools->udp.construct();
            break;
        case PROTO_ICMP:
            packet = pools->icmp.construct();
            break;
        case PROTO_VLAN:
            packet = pools->vlan.construct();
            break;
        default:
            return nullptr;  // PROTO_NONE or outside 1-9
    }
    if (packet != nullptr) {
        livePackets[type]++;
    }
    return packet;
}

bool PacketFactory::destroyOne(Packet* packet) {
    ProtocolType type = packet->getProtocolType();
    switch (type) {
        case PROTO_PAYLOAD:
            pools->payload.destroy(static_cast<PayloadPacket*>(packet));
            break;
        case PROTO_ETHERNET:
            pools->ethernet.destroy(static_cast<EthernetPacket*>(packet));
            break;
        case PROTO_ARP:
            pools->arp.destroy(static_cast<ArpPacket*>(packet));
            break;
        case PROTO_IP:
            pools->ip.destroy(static_cast<IpPacket*>(packet));
            break;
        case PROTO_IPV6:
            pools->ipv6.destroy(static_cast<Ipv6Packet*>(packet));
            break;
        case PROTO_TCP:
            pools->tcp.destroy(static_cast<TcpPacket*>(packet));
            break;
        case PROTO_UDP:
            pools->udp.destroy(static_cast<UdpPacket*>(packet));
            break;
        case PROTO_ICMP:
            pools->icmp.destroy(static_cast<IcmpPacket*>(packet));
            break;
        case PROTO_VLAN:
            pools->vlan.destroy(static_cast<VlanPacket*>(packet));
            break;
        default:
            return false;
    }
    livePackets[type]--;
    return true;
}

void PacketFactory::freePacket(Packet* packet) {
    if (packet == nullptr) {
        return;
    }
    // A chain is released as if recursively: each destructor releases
    // its successor before its own buffer and storage, so the innermost
    // packet goes first. The same order without recursion: reverse the
    // links, then destroy from the innermost packet outwards, each one
    // detached from the rest.
    Packet* reversed = nullptr;
    while (packet != nullptr) {
        Packet* following = packet->next;
        packet->next = reversed;
        reversed = packet;
        packet = following;
    }
    while (reversed != nullptr) {
        Packet* outer = reversed->next;
        reversed->next = nullptr;
        if (!destroyOne(reversed)) {
            // Only the factory creates packets, each with its class's type,
            // so no input leads here.
            assert(false);
        }
        reversed = outer;
    }
}

void PacketFactory::releaseFromDestructor(Packet* packet) {
    if (theInstance != nullptr && !theInstance->shuttingDown) {
        theInstance->freePacket(packet);
    }
}

Frame* PacketFactory::createFrame() {
    // If the constructor throws, the pool takes the storage back and the
    // exception propagates.
    Frame* frame = pools->frames.construct();
    if (frame != nullptr) {
        liveFrames++;
    }
    return frame;
}

void PacketFactory::freeFrame(Frame* frame) {
    assert(frame != nullptr);
    pools->frames.destroy(frame);
    liveFrames--;
}

uint32_t PacketFactory::getLivePackets(ProtocolType type) const {
    return type <= PROTO_LAST ? livePackets[type] : 0;
}

uint32_t PacketFactory::getLiveFrames() const {
    return liveFrames;
}
