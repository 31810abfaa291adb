#include "Ipv6Packet.h"

#include <cstring>

#include "ByteOrder.h"
#include "DumpFormat.h"

AnonPrimitive* Ipv6Packet::anonTrafficclass = nullptr;
AnonPrimitive* Ipv6Packet::anonFlowlabel = nullptr;
AnonPrimitive* Ipv6Packet::anonHoplimit = nullptr;
AnonPrimitive* Ipv6Packet::anonSourceaddr = nullptr;
AnonPrimitive* Ipv6Packet::anonDestaddr = nullptr;

Ipv6Packet::Ipv6Packet() : firstWord(0), payloadLength(0), nextHeader(0), hoplimit(0) {
    protocolType = PROTO_IPV6;
    std::memset(sourceaddr, 0, sizeof sourceaddr);
    std::memset(destaddr, 0, sizeof destaddr);
}

bool Ipv6Packet::parse() {
    firstWord = readBe32(buffer);
    payloadLength = readBe16(buffer + 4);
    nextHeader = buffer[6];
    hoplimit = buffer[7];
    std::memcpy(sourceaddr, buffer + 8, 16);
    std::memcpy(destaddr, buffer + 24, 16);
    headerSize = 40;
    nextProtocolType = protocolTypeFromIpProtocol(nextHeader);
    uint32_t datagram = static_cast<uint32_t>(payloadLength) + 40;
    if (size > datagram) {
        size = datagram;  // bytes behind the datagram drop out of the chain
    }
    return true;
}

void Ipv6Packet::assemble() {
    assembleChain();
}

void Ipv6Packet::assembleHeader() {
    uint32_t n = 0;
    payloadLength = 0;
    if (next != nullptr) {
        n = next->getSize();
        payloadLength = static_cast<uint16_t>(n);
    }
    takeSuccessorBytes(40, n);
    writeBe32(buffer, firstWord);
    writeBe16(buffer + 4, payloadLength);
    buffer[6] = nextHeader;
    buffer[7] = hoplimit;
    std::memcpy(buffer + 8, sourceaddr, 16);
    std::memcpy(buffer + 24, destaddr, 16);
}

std::string Ipv6Packet::toString() const {
    using namespace dumpformat;
    std::string out;
    out.reserve(240);
    out += "IPv6 packet\n\tVersion: \t";
    appendDecimal(out, static_cast<uint64_t>(getVersion()));
    out += "\n\tTrafficclass: \t0x";
    appendHex(out, getTrafficclass(), 2);
    out += "\n\tFlowlabel: \t0x";
    appendHex(out, getFlowlabel(), 5);
    out += "\n\tPayloadlen: \t";
    appendDecimal(out, static_cast<uint64_t>(payloadLength));
    out += "\n\tNextheader: \t0x";
    appendHex(out, nextHeader, 2);
    out += "\n\tHoplimit: \t";
    appendDecimal(out, static_cast<uint64_t>(hoplimit));
    out += "\n\tSourceaddr: \t";
    appendIpv6(out, sourceaddr);
    out += "\n\tDestaddr: \t";
    appendIpv6(out, destaddr);
    return out;
}

void Ipv6Packet::getSourceaddr(uint8_t out[16]) const {
    std::memcpy(out, sourceaddr, 16);
}
void Ipv6Packet::setSourceaddr(const uint8_t address[16]) {
    std::memcpy(sourceaddr, address, 16);
}
void Ipv6Packet::getDestaddr(uint8_t out[16]) const {
    std::memcpy(out, destaddr, 16);
}
void Ipv6Packet::setDestaddr(const uint8_t address[16]) {
    std::memcpy(destaddr, address, 16);
}
