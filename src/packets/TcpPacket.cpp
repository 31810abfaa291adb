#include "TcpPacket.h"

#include <cstdlib>
#include <cstring>

#include "ByteOrder.h"
#include "DumpFormat.h"
#include "OwnedBytes.h"

AnonPrimitive* TcpPacket::anonSourceport = nullptr;
AnonPrimitive* TcpPacket::anonDestport = nullptr;
AnonPrimitive* TcpPacket::anonSeqnum = nullptr;
AnonPrimitive* TcpPacket::anonAcknum = nullptr;
AnonPrimitive* TcpPacket::anonFlags = nullptr;
AnonPrimitive* TcpPacket::anonWindowsize = nullptr;
AnonPrimitive* TcpPacket::anonUrgentpnt = nullptr;
AnonPrimitive* TcpPacket::anonOptions = nullptr;

static const uint8_t TCP_PROTOCOL_NUMBER = 6;

TcpPacket::TcpPacket()
    : sourceport(0),
      destport(0),
      seqnum(0),
      acknum(0),
      offsetAndFlags(0),
      windowsize(0),
      checksum(0),
      urgentpnt(0),
      options(nullptr),
      optionsLength(0) {
    protocolType = PROTO_TCP;
}

TcpPacket::~TcpPacket() {
    std::free(options);
}

bool TcpPacket::parse() {
    sourceport = readBe16(buffer);
    destport = readBe16(buffer + 2);
    seqnum = readBe32(buffer + 4);
    acknum = readBe32(buffer + 8);
    offsetAndFlags = readBe16(buffer + 12);
    windowsize = readBe16(buffer + 14);
    checksum = readBe16(buffer + 16);
    urgentpnt = readBe16(buffer + 18);
    setOptions(nullptr, 0);

    uint32_t headerLength = getHeaderLength();
    if (headerLength < 20 || headerLength > size) {
        // An impossible data offset: an opaque header that nothing follows.
        // The checksum is not examined.
        headerSize = size;
        nextProtocolType = PROTO_NONE;
        return true;
    }
    if (headerLength > 20) {
        setOptions(buffer + 20, headerLength - 20);
    }
    headerSize = headerLength;
    nextProtocolType = PROTO_PAYLOAD;

    if (checksReceivedChecksums()) {
        // Pseudo-header (transport length: all bytes present), the header
        // with the checksum field as zero, the options and the payload.
        InternetChecksum sum;
        addresses.addTo(sum, TCP_PROTOCOL_NUMBER, static_cast<uint16_t>(size));
        sum.add(buffer, 16);
        sum.add(buffer + 18, size - 18);
        checksumCorrect = sum.finish() == checksum;
    }
    return true;
}

void TcpPacket::assemble() {
    assembleChain();
}

void TcpPacket::assembleHeader() {
    uint32_t n = next != nullptr ? next->getSize() : 0;
    uint32_t headerLength = 20 + optionsLength;
    takeSuccessorBytes(headerLength, n);
    // Bits 11-6 are written as zero; an option length that is not a
    // multiple of 4 yields a data offset rounded down.
    offsetAndFlags = static_cast<uint16_t>(((headerLength / 4) << 12) | (offsetAndFlags & 0x3F));

    writeBe16(buffer, sourceport);
    writeBe16(buffer + 2, destport);
    writeBe32(buffer + 4, seqnum);
    writeBe32(buffer + 8, acknum);
    writeBe16(buffer + 12, offsetAndFlags);
    writeBe16(buffer + 14, windowsize);
    buffer[16] = 0;
    buffer[17] = 0;
    writeBe16(buffer + 18, urgentpnt);
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
        case CHECKSUM_COMPUTED: {
            bool withPayload = nextProtocolType != PROTO_NONE && next != nullptr;
            uint32_t covered = headerLength + (withPayload ? n : 0);
            InternetChecksum sum;
            addresses.addTo(sum, TCP_PROTOCOL_NUMBER, static_cast<uint16_t>(covered));
            sum.add(buffer, covered);
            checksum = sum.finish();
            break;
        }
    }
    writeBe16(buffer + 16, checksum);
}

std::string TcpPacket::toString() const {
    using namespace dumpformat;
    std::string out;
    out.reserve(220 + optionsLength * 3);
    out += "TCP packet\n\tsource port: \t";
    appendDecimal(out, static_cast<uint64_t>(sourceport));
    out += "\n\tdest port: \t";
    appendDecimal(out, static_cast<uint64_t>(destport));
    out += "\n\tsequencenum: \t";
    appendDecimal(out, static_cast<uint64_t>(seqnum));
    out += "\n\tacknum: \t";
    appendDecimal(out, static_cast<uint64_t>(acknum));
    out += "\n\theaderlen: \t";
    appendDecimal(out, static_cast<uint64_t>(getHeaderLength()));
    out += " bytes\n\tflags: \t\t0x";
    appendHex(out, getFlags(), 4);
    out += "\n\twindowsize: \t";
    appendDecimal(out, static_cast<uint64_t>(windowsize));
    out += "\n\tchecksum: \t0x";
    appendHex(out, checksum, 4);
    out += "\n\turgent pnt: \t";
    appendDecimal(out, static_cast<uint64_t>(urgentpnt));
    out += "\n\toptions len: \t";
    appendDecimal(out, static_cast<uint64_t>(optionsLength));
    out += "\n\toptions: \t";
    appendHexBytes(out, options, optionsLength);
    return out;
}

uint8_t* TcpPacket::getOptions(uint32_t& length) const {
    length = optionsLength;
    return copyOwnedBytes(options, optionsLength);
}

void TcpPacket::setOptions(const uint8_t* data, uint32_t length) {
    assignOwnedBytes(options, optionsLength, data, length);
}

void TcpPacket::adoptOptions(uint8_t* data, uint32_t length) {
    adoptOwnedBytes(options, optionsLength, data, length);
}
