#include "EthernetPacket.h"

#include <cstring>

#include "ByteOrder.h"
#include "Console.h"
#include "DumpFormat.h"

AnonPrimitive* EthernetPacket::anonSourceMac = nullptr;
AnonPrimitive* EthernetPacket::anonDestMac = nullptr;
AnonPrimitive* EthernetPacket::anonType = nullptr;

EthernetPacket::EthernetPacket() : type(0) {
    protocolType = PROTO_ETHERNET;
    std::memset(destMac, 0, sizeof destMac);
    std::memset(sourceMac, 0, sizeof sourceMac);
}

bool EthernetPacket::parse() {
    if (buffer == nullptr) {
        return false;
    }
    if (size <= 13) {
        std::string message = "packet too small to contain ethernet header (";
        dumpformat::appendDecimal(message, static_cast<uint64_t>(size));
        message += "bytes)";
        printLine(message);
        return false;
    }
    std::memcpy(destMac, buffer, 6);
    std::memcpy(sourceMac, buffer + 6, 6);
    type = readBe16(buffer + 12);
    nextProtocolType = protocolTypeFromEtherType(type);
    headerSize = 14;
    return true;
}

void EthernetPacket::assemble() {
    assembleChain();
}

void EthernetPacket::assembleHeader() {
    uint32_t len = next != nullptr ? next->getSize() : 0;
    // The minimum frame is 60 bytes without the frame-check sequence.
    uint32_t frameLength = len <= 45 ? 60 : len + 14;
    takeSuccessorBytes(14, len, frameLength - 14 - len);
    if (14 + len < frameLength) {
        std::memset(buffer + 14 + len, 0, frameLength - 14 - len);
    }
    std::memcpy(buffer, destMac, 6);
    std::memcpy(buffer + 6, sourceMac, 6);
    writeBe16(buffer + 12, type);
}

std::string EthernetPacket::toString() const {
    std::string out;
    out.reserve(96);
    out += "Ethernet packet\n\tsource mac: \t";
    dumpformat::appendMac(out, sourceMac);
    out += "\n\tdest mac: \t";
    dumpformat::appendMac(out, destMac);
    out += "\n\ttype: \t\t0x";
    dumpformat::appendHex(out, type, 4);
    return out;
}

void EthernetPacket::getDestMac(uint8_t out[6]) const {
    std::memcpy(out, destMac, 6);
}
void EthernetPacket::setDestMac(const uint8_t mac[6]) {
    std::memcpy(destMac, mac, 6);
}
void EthernetPacket::getSourceMac(uint8_t out[6]) const {
    std::memcpy(out, sourceMac, 6);
}
void EthernetPacket::setSourceMac(const uint8_t mac[6]) {
    std::memcpy(sourceMac, mac, 6);
}
