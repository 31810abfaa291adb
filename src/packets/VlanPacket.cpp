#include "VlanPacket.h"

#include <cstring>

#include "ByteOrder.h"
#include "DumpFormat.h"

AnonPrimitive* VlanPacket::anonPriority = nullptr;
AnonPrimitive* VlanPacket::anonCfi = nullptr;
AnonPrimitive* VlanPacket::anonVlanId = nullptr;
AnonPrimitive* VlanPacket::anonType = nullptr;

VlanPacket::VlanPacket() : tagControl(0), type(0) {
    protocolType = PROTO_VLAN;
}

bool VlanPacket::parse() {
    // The chain builder guarantees the 4 bytes.
    tagControl = readBe16(buffer);
    type = readBe16(buffer + 2);
    nextProtocolType = protocolTypeFromEtherType(type);
    headerSize = 4;
    return true;
}

void VlanPacket::assemble() {
    assembleChain();
}

void VlanPacket::assembleHeader() {
    uint32_t len = next != nullptr ? next->getSize() : 0;
    takeSuccessorBytes(4, len);
    writeBe16(buffer, tagControl);
    writeBe16(buffer + 2, type);
}

std::string VlanPacket::toString() const {
    std::string out;
    out.reserve(80);
    out += "VLAN tag\n\tpriority: \t";
    dumpformat::appendDecimal(out, static_cast<uint64_t>(getPriority()));
    out += "\n\tcfi: \t\t";
    dumpformat::appendDecimal(out, static_cast<uint64_t>(getCfi()));
    out += "\n\tvlanid: \t";
    dumpformat::appendDecimal(out, static_cast<uint64_t>(getVlanId()));
    out += "\n\ttype: \t\t0x";
    dumpformat::appendHex(out, type, 4);
    return out;
}
