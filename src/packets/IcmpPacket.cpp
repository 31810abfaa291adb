#include "IcmpPacket.h"

#include <cstring>

#include "ByteOrder.h"
#include "Checksum.h"
#include "DumpFormat.h"

AnonPrimitive* IcmpPacket::anonType = nullptr;
AnonPrimitive* IcmpPacket::anonCode = nullptr;
AnonPrimitive* IcmpPacket::anonMisc = nullptr;

IcmpPacket::IcmpPacket() : type(0), code(0), checksum(0), misc(0) {
    protocolType = PROTO_ICMP;
}

ProtocolType IcmpPacket::nextProtocolForType(uint8_t icmpType) {
    switch (icmpType) {
        case 0:   // echo reply
        case 8:   // echo request
        case 13:  // timestamp request
        case 14:  // timestamp reply
            return PROTO_PAYLOAD;
        case 3:   // destination unreachable
        case 4:   // source quench
        case 5:   // redirect
        case 11:  // time exceeded
        case 12:  // parameter problem
            return PROTO_IP;
        default:
            return PROTO_NONE;
    }
}

bool IcmpPacket::parse() {
    headerSize = 8;
    type = buffer[0];
    code = buffer[1];
    checksum = readBe16(buffer + 2);
    std::memcpy(&misc, buffer + 4, 4);
    if (checksReceivedChecksums()) {
        // The header with the checksum field as zero, then everything after it.
        InternetChecksum sum;
        sum.add(buffer, 2);
        sum.add(buffer + 4, size - 4);
        checksumCorrect = sum.finish() == checksum;
    }
    nextProtocolType = nextProtocolForType(type);
    return true;
}

void IcmpPacket::assemble() {
    assembleChain();
}

void IcmpPacket::assembleHeader() {
    uint32_t n = next != nullptr ? next->getSize() : 0;
    takeSuccessorBytes(8, n);
    buffer[0] = type;
    buffer[1] = code;
    buffer[2] = 0;
    buffer[3] = 0;
    std::memcpy(buffer + 4, &misc, 4);
    switch (outputChecksumPolicy()) {
        case CHECKSUM_ZERO:
            checksum = 0;
            break;
        case CHECKSUM_RANDOM:
            checksum = randomChecksum();
            break;
        case CHECKSUM_COMPUTED: {
            bool withData = nextProtocolType != PROTO_NONE && next != nullptr;
            checksum = computeChecksum(buffer, static_cast<int>(withData ? 8 + n : 8));
            break;
        }
    }
    writeBe16(buffer + 2, checksum);
}

std::string IcmpPacket::toString() const {
    std::string out;
    out.reserve(64);
    out += "ICMP packet\n\ttype: \t";
    dumpformat::appendDecimal(out, static_cast<uint64_t>(type));
    out += "\n\tcode: \t";
    dumpformat::appendDecimal(out, static_cast<uint64_t>(code));
    out += "\n\tchecksum: \t0x";
    dumpformat::appendHex(out, checksum, 4);
    out += "\n";
    return out;
}
