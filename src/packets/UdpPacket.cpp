#include "UdpPacket.h"

#include <cstring>

#include "ByteOrder.h"
#include "DumpFormat.h"

AnonPrimitive* UdpPacket::anonSourceport = nullptr;
AnonPrimitive* UdpPacket::anonDestport = nullptr;

static const uint8_t UDP_PROTOCOL_NUMBER = 17;

UdpPacket::UdpPacket() : sourceport(0), destport(0), length(0), checksum(0) {
    protocolType = PROTO_UDP;
}

bool UdpPacket::parse() {
    sourceport = readBe16(buffer);
    destport = readBe16(buffer + 2);
    length = readBe16(buffer + 4);
    checksum = readBe16(buffer + 6);
    // The length field is not compared with the bytes present.
    headerSize = 8;
    nextProtocolType = PROTO_PAYLOAD;
    if (checksReceivedChecksums()) {
        InternetChecksum sum;
        addresses.addTo(sum, UDP_PROTOCOL_NUMBER, static_cast<uint16_t>(size));
        sum.add(buffer, 6);
        sum.add(buffer + 8, size - 8);
        uint16_t computed = sum.finish();
        if (computed == 0) {
            computed = 0xFFFF;
        }
        // A received 0 (no checksum) thus always counts as incorrect.
        checksumCorrect = computed == checksum;
    }
    return true;
}

void UdpPacket::assemble() {
    assembleChain();
}

void UdpPacket::assembleHeader() {
    uint32_t n = next != nullptr ? next->getSize() : 0;
    takeSuccessorBytes(8, n);
    length = static_cast<uint16_t>(8 + n);
    writeBe16(buffer, sourceport);
    writeBe16(buffer + 2, destport);
    writeBe16(buffer + 4, length);
    buffer[6] = 0;
    buffer[7] = 0;

    // The UDP variant of the checksum policy: a held 0 stays 0, and with
    // recalculation off the held value is written unchanged.
    if (checksum != 0) {
        switch (outputChecksumPolicy()) {
            case CHECKSUM_ZERO:
                break;
            case CHECKSUM_RANDOM:
                checksum = randomChecksum();
                break;
            case CHECKSUM_COMPUTED: {
                bool withPayload = nextProtocolType != PROTO_NONE && next != nullptr;
                uint32_t covered = 8 + (withPayload ? n : 0);
                InternetChecksum sum;
                addresses.addTo(sum, UDP_PROTOCOL_NUMBER, static_cast<uint16_t>(covered));
                sum.add(buffer, covered);
                checksum = sum.finish();
                if (checksum == 0) {
                    checksum = 0xFFFF;
                }
                break;
            }
        }
    }
    writeBe16(buffer + 6, checksum);
}

std::string UdpPacket::toString() const {
    using namespace dumpformat;
    std::string out;
    out.reserve(100);
    out += "UDP packet\n\tsource port: \t";
    appendDecimal(out, static_cast<uint64_t>(sourceport));
    out += "\n\tdest port: \t";
    appendDecimal(out, static_cast<uint64_t>(destport));
    out += "\n\tlength: \t";
    appendDecimal(out, static_cast<uint64_t>(length));
    out += "\n\tchecksum: \t0x";
    appendHex(out, checksum, 4);
    out += "\n";
    return out;
}
