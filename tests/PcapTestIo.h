#ifndef VEILCAP_TESTS_PCAPTESTIO_H
#define VEILCAP_TESTS_PCAPTESTIO_H

// Test-only helpers for the packet model: a minimal classic pcap reader and
// writer (little-endian, microsecond timestamps), parsing bytes into a
// frame, the identity rebuild of a chain (what the anonymizer does with
// AnonIdentity on every field) and hex helpers. Not the trace reader of
// the program.

#include <cstdint>
#include <string>
#include <vector>

class Frame;
class Packet;

namespace pcaptest {

using Bytes = std::vector<uint8_t>;

struct Record {
    int32_t seconds = 0;
    int32_t microseconds = 0;
    uint32_t capturedLength = 0;
    uint32_t originalLength = 0;
    Bytes data;
};

// Reads every complete record of a classic pcap file in host byte order
// (magic 0xA1B2C3D4). A trailing incomplete record is dropped. False when
// the file cannot be read or its header is wrong.
bool readPcap(const std::string& path, std::vector<Record>& records, uint32_t* linkType = nullptr);

// Writes an Ethernet pcap file with the records (captured and original
// length from data.size()).
bool writePcap(const std::string& path, const std::vector<Record>& records,
               uint32_t snapLength = 262144);

// A frame from the factory (networkType is set to 1) holding the bytes,
// parsed and with its chain built, as the program does. The caller
// releases it with PacketFactory::freeFrame.
Frame* parseFrame(const Bytes& bytes, int32_t seconds = 0, int32_t microseconds = 0);
Frame* parseFrame(const Record& record);

// The protocol types of the chain, outermost first.
std::vector<uint32_t> chainTypes(const Packet* first);
// The number of packets in the chain.
size_t chainLength(const Packet* first);

// A new chain of the same shape, every field copied through the getters
// and setters as the anonymizer copies them with the identity primitive,
// the checksum-correct flag copied, linked with setNext and
// setNextProtocolType. Written without recursion.
Packet* identityRebuild(const Packet* input);

// Assembles the chain and returns its bytes.
Bytes assembleBytes(Packet* first);

// Hand-made frames for tests. Reference arithmetic, independent of the
// packet model: a byte-by-byte RFC 1071 checksum of big-endian words.
uint16_t referenceChecksum(const Bytes& bytes);
void putBe16(Bytes& out, size_t offset, uint16_t value);
uint16_t getBe16(const Bytes& bytes, size_t offset);
Bytes concat(const Bytes& a, const Bytes& b);

// Ethernet header (destination 00-1a-2b-3c-4d-5e, source
// 00-11-22-33-44-55 unless given) followed by the payload.
Bytes ethernet(uint16_t type, const Bytes& payload);
// A 4-byte 802.1Q tag followed by the payload.
Bytes vlanTag(uint16_t tagControl, uint16_t type, const Bytes& payload);
// An IPv4 header (10.0.0.1 -> 10.0.0.2 unless given, TTL 64) with a correct
// checksum, its header length and total length covering options and
// payload.
Bytes ipv4(uint8_t protocol, const Bytes& payload, const Bytes& options = {},
           const Bytes& source = {10, 0, 0, 1}, const Bytes& destination = {10, 0, 0, 2});
// An IPv6 header (2001:db8::1 -> 2001:db8::2, hop limit 64) whose payload
// length covers the payload.
Bytes ipv6(uint8_t nextHeader, const Bytes& payload);
// A UDP header (and payload) whose checksum is correct for the IPv4 or
// IPv6 addresses given (4 or 16 bytes each); checksum 0 when withChecksum
// is false.
Bytes udp(uint16_t sourcePort, uint16_t destPort, const Bytes& payload, const Bytes& source,
          const Bytes& destination, bool withChecksum = true);
// A TCP header with the options (padded by the caller), flags and payload,
// checksum correct for the addresses.
Bytes tcp(uint16_t sourcePort, uint16_t destPort, uint8_t flags, const Bytes& options,
          const Bytes& payload, const Bytes& source, const Bytes& destination);
// The transport checksum (TCP 6, UDP 17) of the segment for the addresses,
// computed by the reference arithmetic with the segment's checksum field
// taken as zero.
uint16_t referenceTransportChecksum(uint8_t protocol, const Bytes& segment, const Bytes& source,
                                    const Bytes& destination);

// Hex text ("0a1b..", whitespace ignored on input).
Bytes fromHex(const std::string& hex);
std::string toHex(const Bytes& bytes);

}  // namespace pcaptest

#endif
