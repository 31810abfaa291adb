#include "Checksum.h"

#include <cstring>

namespace {

inline uint64_t fold16(uint64_t value) {
    while (value >> 16) {
        value = (value & 0xFFFF) + (value >> 16);
    }
    return value;
}

inline uint16_t swap16(uint64_t value) {
    return static_cast<uint16_t>(((value & 0xFF) << 8) | ((value >> 8) & 0xFF));
}

// The one's complement sum of the run taken as 16-bit words in the host's
// byte order, as if the run started at an even offset, folded to 16 bits.
// The one's complement sum does not depend on the byte order of its words
// except for a byte swap of the result, so summing in host order is exact.
uint64_t hostOrderSum(const uint8_t* data, size_t length) {
    uint64_t acc = 0;
    while (length >= 8) {
        uint64_t w;
        std::memcpy(&w, data, 8);
        acc += (w & 0xFFFFFFFFu) + (w >> 32);
        data += 8;
        length -= 8;
    }
    while (length >= 2) {
        uint16_t w;
        std::memcpy(&w, data, 2);
        acc += w;
        data += 2;
        length -= 2;
    }
    if (length == 1) {
        uint16_t w = 0;
        std::memcpy(&w, data, 1);  // the byte in the word's first position
        acc += w;
    }
    return fold16(acc);
}

}  // namespace

void InternetChecksum::add(const uint8_t* data, size_t length) {
    if (length == 0) {
        return;
    }
    uint64_t part = hostOrderSum(data, length);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    part = swap16(part);  // host-order words to big-endian words
#endif
    if (odd) {
        part = swap16(part);  // the run starts in the second byte of a word
    }
    sum += part;
    if (length & 1) {
        odd = !odd;
    }
}

void InternetChecksum::addWord(uint16_t value) {
    sum += odd ? swap16(value) : value;
}

uint16_t InternetChecksum::finish() const {
    return static_cast<uint16_t>(~fold16(sum) & 0xFFFF);
}

PseudoHeaderAddresses::PseudoHeaderAddresses()
    : ipv4Source(0), ipv4Destination(0), family(PROTO_NONE) {
    std::memset(ipv6Source, 0, sizeof ipv6Source);
    std::memset(ipv6Destination, 0, sizeof ipv6Destination);
}

void PseudoHeaderAddresses::setIpv4(uint32_t source, uint32_t destination) {
    ipv4Source = source;
    ipv4Destination = destination;
    family = PROTO_IP;
}

void PseudoHeaderAddresses::setIpv6(const uint8_t source[16], const uint8_t destination[16]) {
    std::memcpy(ipv6Source, source, 16);
    std::memcpy(ipv6Destination, destination, 16);
    family = PROTO_IPV6;
}

void PseudoHeaderAddresses::addTo(InternetChecksum& sum, uint8_t protocol,
                                  uint16_t transportLength) const {
    sum.addWord(protocol);  // a zero byte, then the protocol number
    sum.addWord(transportLength);
    if (family == PROTO_IP) {
        sum.add(reinterpret_cast<const uint8_t*>(&ipv4Source), 4);
        sum.add(reinterpret_cast<const uint8_t*>(&ipv4Destination), 4);
    } else {
        sum.add(ipv6Source, 16);
        sum.add(ipv6Destination, 16);
    }
}
