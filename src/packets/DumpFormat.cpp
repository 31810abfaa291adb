#include "DumpFormat.h"

#include <cstring>

namespace dumpformat {

static const char hexDigits[] = "0123456789abcdef";

void appendDecimal(std::string& out, uint64_t value) {
    char text[24];
    int pos = sizeof text;
    do {
        text[--pos] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    out.append(text + pos, sizeof text - pos);
}

void appendDecimal(std::string& out, int64_t value) {
    if (value < 0) {
        out.push_back('-');
        appendDecimal(out, static_cast<uint64_t>(0) - static_cast<uint64_t>(value));
    } else {
        appendDecimal(out, static_cast<uint64_t>(value));
    }
}

void appendHex(std::string& out, uint32_t value, int digits) {
    for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4) {
        out.push_back(hexDigits[(value >> shift) & 0xF]);
    }
}

void appendMac(std::string& out, const uint8_t mac[6]) {
    for (int i = 0; i < 6; i++) {
        if (i > 0) {
            out.push_back('-');
        }
        appendHex(out, mac[i], 2);
    }
}

void appendIpv4(std::string& out, uint32_t wireOrderAddress) {
    uint8_t bytes[4];
    std::memcpy(bytes, &wireOrderAddress, 4);
    for (int i = 0; i < 4; i++) {
        if (i > 0) {
            out.push_back('.');
        }
        appendDecimal(out, static_cast<uint64_t>(bytes[i]));
    }
}

void appendIpv6(std::string& out, const uint8_t address[16]) {
    for (int i = 0; i < 8; i++) {
        if (i > 0) {
            out.push_back(':');
        }
        uint32_t group = (static_cast<uint32_t>(address[2 * i]) << 8) | address[2 * i + 1];
        int digits = group >= 0x1000 ? 4 : group >= 0x100 ? 3 : group >= 0x10 ? 2 : 1;
        appendHex(out, group, digits);
    }
}

void appendHexBytes(std::string& out, const uint8_t* data, size_t length) {
    if (length == 0) {
        return;
    }
    out.reserve(out.size() + length * 3);
    for (size_t i = 0; i < length; i++) {
        if (i > 0) {
            out.push_back(' ');
        }
        out.push_back(hexDigits[data[i] >> 4]);
        out.push_back(hexDigits[data[i] & 0xF]);
    }
}

}  // namespace dumpformat
