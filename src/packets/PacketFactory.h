#ifndef VEILCAP_PACKETS_PACKETFACTORY_H
#define VEILCAP_PACKETS_PACKETFACTORY_H

#include <cstdint>

#include "ProtocolType.h"

class Frame;
class Packet;

// The only place where frames and packets are created and destroyed (Part
// 4.2): a process-wide singleton with one boost::object_pool per packet
// class and one for frames, reusing storage from frame to frame. Not
// synchronized: one thread at a time.
class PacketFactory {
  public:
    // The singleton; the first call creates it and registers its
    // destruction for normal process exit.
    static PacketFactory* instance();

    // A new packet of the class of the type, or null for PROTO_NONE, a
    // value outside 1-9, or when no storage is left.
    Packet* createPacket(ProtocolType type);
    // Releases the packet and every packet behind it (innermost first, in
    // a loop). Null does nothing. A type outside 1-9 fails an assertion.
    void freePacket(Packet* packet);

    // A new frame (its constructor creates the first packet from the
    // network type), or null when no storage is left.
    Frame* createFrame();
    // Releases the frame (not null) with its chain.
    void freeFrame(Frame* frame);

    // The number of packets of the type, or of frames, created and not yet
    // released (for tests and leak checks).
    uint32_t getLivePackets(ProtocolType type) const;
    uint32_t getLiveFrames() const;

    // Used by the Packet destructor for a successor that is still attached
    // (only when a packet is destroyed other than through freePacket):
    // releases it, unless the factory is being destroyed.
    static void releaseFromDestructor(Packet* packet);

  private:
    struct Pools;

    PacketFactory();
    ~PacketFactory();
    PacketFactory(const PacketFactory&) = delete;
    PacketFactory& operator=(const PacketFactory&) = delete;

    static void destroyInstance();
    // Runs the destructor and returns the storage to the packet's pool;
    // false for a type outside 1-9.
    bool destroyOne(Packet* packet);

    Pools* pools;
    uint32_t livePackets[PROTO_LAST + 1];
    uint32_t liveFrames;
    bool shuttingDown;

    static PacketFactory* theInstance;
};

#endif
