#ifndef VEILCAP_PACKETS_DUMPFORMAT_H
#define VEILCAP_PACKETS_DUMPFORMAT_H

// Text pieces of the packet dumps (toString): decimal and zero-filled
// lowercase hex numbers, MAC, IPv4 and IPv6 addresses and byte lists.
// Each appends to the string it is given.

#include <cstddef>
#include <cstdint>
#include <string>

namespace dumpformat {

// The value in decimal.
void appendDecimal(std::string& out, uint64_t value);
void appendDecimal(std::string& out, int64_t value);
// The low 4 * digits bits of the value as lowercase hex, zero-filled to
// exactly that many digits (no "0x").
void appendHex(std::string& out, uint32_t value, int digits);
// Six bytes in wire order, two lowercase hex digits each, joined by "-".
void appendMac(std::string& out, const uint8_t mac[6]);
// Four bytes in wire order as decimals joined by ".". The address is the
// 32-bit value holding the wire bytes in memory order.
void appendIpv4(std::string& out, uint32_t wireOrderAddress);
// Eight big-endian 16-bit groups in lowercase hex without leading zeros,
// joined by ":", without "::" shortening.
void appendIpv6(std::string& out, const uint8_t address[16]);
// Each byte as two lowercase hex digits, separated by single blanks;
// nothing for no bytes.
void appendHexBytes(std::string& out, const uint8_t* data, size_t length);

}  // namespace dumpformat

#endif
