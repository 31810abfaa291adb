#include "IpPacket.h"

#include <cstdlib>
#include <cstring>

#include "ByteOrder.h"
#include "Checksum.h"
#include "DumpFormat.h"
#include "OwnedBytes.h"

AnonPrimitive* IpPacket::anonTos = nullptr;
AnonPrimitive* IpPacket::anonIdentifier = nullptr;
AnonPrimitive* IpPacket::anonFlags = nullptr;
AnonPrimitive* IpPacket::anonFragoffset = nullptr;
AnonPrimitive* IpPacket::anonTtl = nullptr;
AnonPrimitive* IpPacket::anonSourceip = nullptr;
AnonPrimitive* IpPacket::anonDestip = nullptr;
AnonPrimitive* IpPacket::anonOptions = nullptr;

IpPacket::IpPacket()
    : versionAndLength(0),
      tos(0),
      totalLength(0),
      identifier(0),
      flagsAndOffset(0),
      ttl(0),
      protocol(0),
      checksum(0),
      sourceip(0),
      destip(0),
      options(nullptr),
      optionsLength(0) {
    protocolType = PROTO_IP;
}

IpPacket::~IpPacket() {
    std::free(options);
}

bool IpPacket::parse() {
    versionAndLength = buffer[0];
    tos = buffer[1];
    totalLength = readBe16(buffer + 2);
    identifier = readBe16(buffer + 4);
    flagsAndOffset = readBe16(buffer + 6);
    ttl = buffer[8];
    protocol = buffer[9];
    checksum = readBe16(buffer + 10);
    std::memcpy(&sourceip, buffer + 12, 4);
    std::memcpy(&destip, buffer + 16, 4);
    setOptions(nullptr, 0);

    nextProtocolType = protocolTypeFromIpProtocol(protocol);
    if (getFragoffset() != 0) {
        // Not the first fragment: no transport header follows.
        nextProtocolType = PROTO_PAYLOAD;
    }

    uint32_t hl = getHeaderLength();
    bool malformed = hl < 20 || hl > totalLength;
    if (malformed) {
        // The whole rest of the frame counts as this header.
        nextProtocolType = PROTO_NONE;
        headerSize = size;
    } else if (hl > 20 && hl <= size) {
        setOptions(buffer + 20, hl - 20);
        headerSize = hl;
    } else {
        // No options, or options reaching past the captured bytes.
        headerSize = 20;
    }

    if (checksReceivedChecksums()) {
        // Over the header bytes kept, with the checksum field as zero.
        InternetChecksum sum;
        sum.add(buffer, 10);
        sum.add(buffer + 12, 8);
        sum.add(options, optionsLength);
        checksumCorrect = sum.finish() == checksum;
    }

    if (!malformed && totalLength < size) {
        size = totalLength;  // bytes behind the datagram drop out of the chain
    }
    return true;
}

void IpPacket::assemble() {
    assembleChain();
}

void IpPacket::assembleHeader() {
    uint32_t n = next != nullptr ? next->getSize() : 0;
    uint32_t hl = 20 + optionsLength;
    takeSuccessorBytes(hl, n);
    totalLength = static_cast<uint16_t>(hl + n);
    // Options of a length that is not a multiple of 4 are written unpadded.
    setHeaderLength(hl);

    buffer[0] = versionAndLength;
    buffer[1] = tos;
    writeBe16(buffer + 2, totalLength);
    writeBe16(buffer + 4, identifier);
    writeBe16(buffer + 6, flagsAndOffset);
    buffer[8] = ttl;
    buffer[9] = protocol;
    buffer[10] = 0;
    buffer[11] = 0;
    std::memcpy(buffer + 12, &sourceip, 4);
    std::memcpy(buffer + 16, &destip, 4);
    if (optionsLength > 0) {
        std::memcpy(buffer + 20, options, optionsLength);
    }

    switch (outputChecksumPolicy()) {
        case CHECKSUM_ZERO:
            checksum = 0;
            break;
        case CHECKSUM_RANDOM:
            checksum = randomChecksum();
            break;
        case CHECKSUM_COMPUTED:
            checksum = computeChecksum(buffer, static_cast<int>(hl));
            break;
    }
    writeBe16(buffer + 10, checksum);
}

std::string IpPacket::toString() const {
    using namespace dumpformat;
    std::string out;
    out.reserve(260 + optionsLength * 3);
    out += "IP packet\n\tversion: \t";
    appendDecimal(out, static_cast<uint64_t>(getVersion()));
    out += "\n\tlength: \t";
    appendDecimal(out, static_cast<uint64_t>(getHeaderLength()));
    out += " bytes\n\ttos: \t\t0x";
    appendHex(out, tos, 2);
    out += "\n\ttotal length: \t";
    appendDecimal(out, static_cast<uint64_t>(totalLength));
    out += " bytes\n\tident: \t\t0x";
    appendHex(out, identifier, 4);
    out += "\n\tflags: \t\t0x";
    appendHex(out, getFlags(), 2);
    out += "\n\tfragoff: \t0x";
    appendHex(out, getFragoffset(), 4);
    out += "\n\tttl: \t\t";
    appendDecimal(out, static_cast<uint64_t>(ttl));
    out += "\n\tprotocol: \t0x";
    appendHex(out, protocol, 2);
    out += "\n\tchecksum: \t0x";
    appendHex(out, checksum, 4);
    out += "\n\tsource ip: \t";
    appendIpv4(out, sourceip);
    out += "\n\tdest ip: \t";
    appendIpv4(out, destip);
    out += "\n\toptions len: \t";
    appendDecimal(out, static_cast<uint64_t>(optionsLength));
    out += "\n\toptions: \t";
    appendHexBytes(out, options, optionsLength);
    return out;
}

uint8_t* IpPacket::getOptions(uint32_t& length) const {
    length = optionsLength;
    return copyOwnedBytes(options, optionsLength);
}

void IpPacket::setOptions(const uint8_t* data, uint32_t length) {
    assignOwnedBytes(options, optionsLength, data, length);
}

void IpPacket::adoptOptions(uint8_t* data, uint32_t length) {
    adoptOwnedBytes(options, optionsLength, data, length);
}
