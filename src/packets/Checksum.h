#ifndef VEILCAP_PACKETS_CHECKSUM_H
#define VEILCAP_PACKETS_CHECKSUM_H

// The checksum arithmetic of the packet model, in one place: the Internet
// checksum of RFC 1071 over any number of byte runs, and the pseudo-header
// that TCP and UDP put in front of their bytes.

#include <cstddef>
#include <cstdint>

#include "ProtocolType.h"

// The Internet checksum (RFC 1071) of the concatenation of byte runs of any
// lengths, computed without copying the runs together. The result is the
// checksum as the header classes hold it: the value whose big-endian bytes
// are the wire bytes of the checksum field.
class InternetChecksum {
  public:
    // Appends a run of bytes.
    void add(const uint8_t* data, size_t length);
    // Appends the two bytes of a 16-bit value, most significant first.
    void addWord(uint16_t value);
    // Appends a single byte.
    void addByte(uint8_t value) { add(&value, 1); }
    // The one's complement of the folded sum of everything appended so far.
    // An odd final byte counts as a word padded with a zero byte; nothing
    // appended yields 0xFFFF.
    uint16_t finish() const;

  private:
    uint64_t sum = 0;  // sum of big-endian 16-bit words, folded on demand
    bool odd = false;  // an odd number of bytes has been appended
};

// The addresses that the enclosing IPv4 or IPv6 header hands to TCP or UDP
// for its checksum's pseudo-header, all in wire order, and the family that
// was handed over last.
struct PseudoHeaderAddresses {
    PseudoHeaderAddresses();

    void setIpv4(uint32_t source, uint32_t destination);
    void setIpv6(const uint8_t source[16], const uint8_t destination[16]);

    // Appends the pseudo-header: for PROTO_IP 12 bytes (zero, protocol,
    // transport length, source, destination), for any other family 36
    // bytes with the IPv6 addresses in their place.
    void addTo(InternetChecksum& sum, uint8_t protocol, uint16_t transportLength) const;

    uint32_t ipv4Source;
    uint32_t ipv4Destination;
    uint8_t ipv6Source[16];
    uint8_t ipv6Destination[16];
    ProtocolType family;  // PROTO_IP, PROTO_IPV6, or PROTO_NONE before any hand-over
};

#endif
