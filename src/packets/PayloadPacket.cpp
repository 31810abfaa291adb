#include "PayloadPacket.h"

#include <cstdlib>
#include <cstring>

#include "DumpFormat.h"
#include "OwnedBytes.h"

AnonPrimitive* PayloadPacket::anonPayload = nullptr;

PayloadPacket::PayloadPacket() : payload(nullptr), payloadLength(0) {
    protocolType = PROTO_PAYLOAD;
}

PayloadPacket::~PayloadPacket() {
    std::free(payload);
}

bool PayloadPacket::parse() {
    setPayload(buffer, size);
    headerSize = size;
    nextProtocolType = PROTO_NONE;
    return true;
}

void PayloadPacket::assemble() {
    assembleChain();
}

void PayloadPacket::assembleHeader() {
    // A successor is neither consulted nor assembled.
    assembleBytes(payload, payloadLength);
}

std::string PayloadPacket::toString() const {
    std::string out;
    out.reserve(48 + static_cast<size_t>(payloadLength) * 4);
    out += "Payload packet\n\tlength: \t";
    dumpformat::appendDecimal(out, static_cast<uint64_t>(payloadLength));
    out += "\n\tdata: \t\t";
    dumpformat::appendHexBytes(out, payload, payloadLength);
    out += "\n\tstring: \t\"";
    // Every byte unchanged, control characters and zero bytes included.
    if (payloadLength > 0) {
        out.append(reinterpret_cast<const char*>(payload), payloadLength);
    }
    out += "\"";
    return out;
}

uint8_t* PayloadPacket::getPayload(uint32_t& length) const {
    length = payloadLength;
    return copyOwnedBytes(payload, payloadLength);
}

void PayloadPacket::setPayload(const uint8_t* data, uint32_t length) {
    assignOwnedBytes(payload, payloadLength, data, length);
}

void PayloadPacket::adoptPayload(uint8_t* data, uint32_t length) {
    adoptOwnedBytes(payload, payloadLength, data, length);
}
