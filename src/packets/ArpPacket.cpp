#include "ArpPacket.h"

#include <cstring>

#include "ByteOrder.h"
#include "DumpFormat.h"

AnonPrimitive* ArpPacket::anonHardwaretype = nullptr;
AnonPrimitive* ArpPacket::anonProtocoltype = nullptr;
AnonPrimitive* ArpPacket::anonHardwareaddrlen = nullptr;
AnonPrimitive* ArpPacket::anonProtoaddrlen = nullptr;
AnonPrimitive* ArpPacket::anonOpcode = nullptr;
AnonPrimitive* ArpPacket::anonSourcemac = nullptr;
AnonPrimitive* ArpPacket::anonSourceip = nullptr;
AnonPrimitive* ArpPacket::anonDestmac = nullptr;
AnonPrimitive* ArpPacket::anonDestip = nullptr;

ArpPacket::ArpPacket()
    : hardwaretype(0),
      protocoltype(0),
      hardwareaddrlen(0),
      protoaddrlen(0),
      opcode(0),
      sourceip(0),
      destip(0) {
    protocolType = PROTO_ARP;
    headerSize = 28;
    std::memset(sourcemac, 0, sizeof sourcemac);
    std::memset(destmac, 0, sizeof destmac);
}

bool ArpPacket::parse() {
    // The chain builder guarantees the 28 bytes; the two length fields are
    // only data.
    hardwaretype = readBe16(buffer);
    protocoltype = readBe16(buffer + 2);
    hardwareaddrlen = buffer[4];
    protoaddrlen = buffer[5];
    opcode = readBe16(buffer + 6);
    std::memcpy(sourcemac, buffer + 8, 6);
    std::memcpy(&sourceip, buffer + 14, 4);
    std::memcpy(destmac, buffer + 18, 6);
    std::memcpy(&destip, buffer + 24, 4);
    nextProtocolType = PROTO_NONE;
    headerSize = 28;
    return true;
}

void ArpPacket::assemble() {
    assembleChain();
}

void ArpPacket::assembleHeader() {
    resizeBuffer(28);
    writeBe16(buffer, hardwaretype);
    writeBe16(buffer + 2, protocoltype);
    buffer[4] = hardwareaddrlen;
    buffer[5] = protoaddrlen;
    writeBe16(buffer + 6, opcode);
    std::memcpy(buffer + 8, sourcemac, 6);
    std::memcpy(buffer + 14, &sourceip, 4);
    std::memcpy(buffer + 18, destmac, 6);
    std::memcpy(buffer + 24, &destip, 4);
}

std::string ArpPacket::toString() const {
    std::string out;
    out.reserve(240);
    out += "ARP packet\n\thardware type: \t0x";
    dumpformat::appendHex(out, hardwaretype, 4);
    out += "\n\tprotocol type: \t0x";
    dumpformat::appendHex(out, protocoltype, 4);
    out += "\n\thw addr len: \t";
    dumpformat::appendDecimal(out, static_cast<uint64_t>(hardwareaddrlen));
    out += "\n\tprot addr len: \t";
    dumpformat::appendDecimal(out, static_cast<uint64_t>(protoaddrlen));
    out += "\n\topcode: \t0x";
    dumpformat::appendHex(out, opcode, 4);
    out += "\n\tsource mac: \t";
    dumpformat::appendMac(out, sourcemac);
    out += "\n\tsource ip: \t";
    dumpformat::appendIpv4(out, sourceip);
    out += "\n\tdest mac: \t";
    dumpformat::appendMac(out, destmac);
    out += "\n\tdest ip: \t";
    dumpformat::appendIpv4(out, destip);
    out += "\n";
    return out;
}

void ArpPacket::getSourcemac(uint8_t out[6]) const {
    std::memcpy(out, sourcemac, 6);
}
void ArpPacket::setSourcemac(const uint8_t mac[6]) {
    std::memcpy(sourcemac, mac, 6);
}
void ArpPacket::getDestmac(uint8_t out[6]) const {
    std::memcpy(out, destmac, 6);
}
void ArpPacket::setDestmac(const uint8_t mac[6]) {
    std::memcpy(destmac, mac, 6);
}
