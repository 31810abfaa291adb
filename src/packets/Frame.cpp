#include "Frame.h"

#include <cassert>
#include <cstdlib>
#include <cstring>

#include "Console.h"
#include "DumpFormat.h"
#include "Packet.h"
#include "PacketFactory.h"

int32_t networkType = 0;

Frame::Frame()
    : timestampSeconds(0),
      timestampMicroseconds(0),
      capturedLength(0),
      originalLength(0),
      packet(nullptr) {
    if (networkType == 1) {
        packet = PacketFactory::instance()->createPacket(PROTO_ETHERNET);
    } else {
        printLine("invalid network type");
    }
}

Frame::~Frame() {
    if (packet != nullptr) {
        Packet* chain = packet;
        packet = nullptr;
        PacketFactory::releaseFromDestructor(chain);
    }
}

uint8_t* Frame::serialize(uint32_t& length) {
    const uint8_t* assembled = assemble(length);
    uint8_t* bytes = static_cast<uint8_t*>(std::malloc(length > 0 ? length : 1));
    if (length > 0) {
        std::memcpy(bytes, assembled, length);
    }
    return bytes;
}

const uint8_t* Frame::assemble(uint32_t& length) {
    assert(packet != nullptr);
    packet->assemble();
    length = packet->getSize();
    return packet->getBuffer();
}

std::string Frame::toString() const {
    using dumpformat::appendDecimal;
    std::string out = "Frame\n\tnettype: \t";
    appendDecimal(out, static_cast<int64_t>(networkType));
    out += "\n\ttimestamp: \t";
    appendDecimal(out, static_cast<int64_t>(timestampSeconds));
    out += "sec ";
    appendDecimal(out, static_cast<int64_t>(timestampMicroseconds));
    out += "microsec\n\tlength: \t";
    appendDecimal(out, static_cast<uint64_t>(capturedLength));
    out += " captured, ";
    appendDecimal(out, static_cast<uint64_t>(originalLength));
    out += " original\n";
    for (const Packet* p = packet; p != nullptr; p = p->getNext()) {
        out += p->toString();
        out += "\n";
    }
    out += "\n";
    return out;
}
