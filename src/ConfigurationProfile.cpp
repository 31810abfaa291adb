// The profile half of the settings: which primitive chain rewrites each of
// the 43 anonymizable header fields. The chains live in static slots of the
// packet classes, so the anonymizer reaches them without any lookup.

#include <cassert>
#include <typeinfo>

#include "Configuration.h"
#include "Console.h"
#include "ExitStatus.h"
#include "anonprimitives/AnonCryptoPan.h"
#include "anonprimitives/AnonFactory.h"
#include "packets/ArpPacket.h"
#include "packets/EthernetPacket.h"
#include "packets/IcmpPacket.h"
#include "packets/IpPacket.h"
#include "packets/Ipv6Packet.h"
#include "packets/PayloadPacket.h"
#include "packets/TcpPacket.h"
#include "packets/UdpPacket.h"
#include "packets/VlanPacket.h"

namespace {

const char* const PROFILE_MODULE = "AnonMappings";

struct ProfileSlot {
    const char* submodule;
    const char* item;
    const char* slotName;
    AnonPrimitive** slot;
    bool variableLength;
};

// In loading order: submodule by submodule, items in table order.
const ProfileSlot PROFILE_SLOTS[] = {
    {"EthernetPacket", "MacSource", "EthernetPacket::anonSourceMac", &EthernetPacket::anonSourceMac,
     false},
    {"EthernetPacket", "MacDest", "EthernetPacket::anonDestMac", &EthernetPacket::anonDestMac,
     false},
    {"EthernetPacket", "MacType", "EthernetPacket::anonType", &EthernetPacket::anonType, false},
    {"VlanPacket", "VlanPriority", "VlanPacket::anonPriority", &VlanPacket::anonPriority, false},
    {"VlanPacket", "VlanCfi", "VlanPacket::anonCfi", &VlanPacket::anonCfi, false},
    {"VlanPacket", "VlanId", "VlanPacket::anonVlanId", &VlanPacket::anonVlanId, false},
    {"VlanPacket", "VlanType", "VlanPacket::anonType", &VlanPacket::anonType, false},
    {"IpPacket", "IpTos", "IpPacket::anonTos", &IpPacket::anonTos, false},
    {"IpPacket", "IpIdent", "IpPacket::anonIdentifier", &IpPacket::anonIdentifier, false},
    {"IpPacket", "IpFlags", "IpPacket::anonFlags", &IpPacket::anonFlags, false},
    {"IpPacket", "IpFragoffset", "IpPacket::anonFragoffset", &IpPacket::anonFragoffset, false},
    {"IpPacket", "IpTtl", "IpPacket::anonTtl", &IpPacket::anonTtl, false},
    {"IpPacket", "IpSourceip", "IpPacket::anonSourceip", &IpPacket::anonSourceip, false},
    {"IpPacket", "IpDestip", "IpPacket::anonDestip", &IpPacket::anonDestip, false},
    {"IpPacket", "IpOptions", "IpPacket::anonOptions", &IpPacket::anonOptions, true},
    {"IcmpPacket", "IcmpType", "IcmpPacket::anonType", &IcmpPacket::anonType, false},
    {"IcmpPacket", "IcmpCode", "IcmpPacket::anonCode", &IcmpPacket::anonCode, false},
    {"IcmpPacket", "IcmpMisc", "IcmpPacket::anonMisc", &IcmpPacket::anonMisc, false},
    {"TcpPacket", "TcpSourceport", "TcpPacket::anonSourceport", &TcpPacket::anonSourceport, false},
    {"TcpPacket", "TcpDestport", "TcpPacket::anonDestport", &TcpPacket::anonDestport, false},
    {"TcpPacket", "TcpSeqnum", "TcpPacket::anonSeqnum", &TcpPacket::anonSeqnum, false},
    {"TcpPacket", "TcpAcknum", "TcpPacket::anonAcknum", &TcpPacket::anonAcknum, false},
    {"TcpPacket", "TcpFlags", "TcpPacket::anonFlags", &TcpPacket::anonFlags, false},
    {"TcpPacket", "TcpWindowsize", "TcpPacket::anonWindowsize", &TcpPacket::anonWindowsize, false},
    {"TcpPacket", "TcpUrgentpnt", "TcpPacket::anonUrgentpnt", &TcpPacket::anonUrgentpnt, false},
    {"TcpPacket", "TcpOptions", "TcpPacket::anonOptions", &TcpPacket::anonOptions, true},
    {"UdpPacket", "UdpSourceport", "UdpPacket::anonSourceport", &UdpPacket::anonSourceport, false},
    {"UdpPacket", "UdpDestport", "UdpPacket::anonDestport", &UdpPacket::anonDestport, false},
    {"PayloadPacket", "PayloadPacketData", "PayloadPacket::anonPayload",
     &PayloadPacket::anonPayload, true},
    {"ArpPacket", "ArpHardwaretp", "ArpPacket::anonHardwaretype", &ArpPacket::anonHardwaretype,
     false},
    {"ArpPacket", "ArpPrototp", "ArpPacket::anonProtocoltype", &ArpPacket::anonProtocoltype, false},
    {"ArpPacket", "ArpHardwareaddrlen", "ArpPacket::anonHardwareaddrlen",
     &ArpPacket::anonHardwareaddrlen, false},
    {"ArpPacket", "ArpProtoaddrlen", "ArpPacket::anonProtoaddrlen", &ArpPacket::anonProtoaddrlen,
     false},
    {"ArpPacket", "ArpOpcode", "ArpPacket::anonOpcode", &ArpPacket::anonOpcode, false},
    {"ArpPacket", "ArpSourcemac", "ArpPacket::anonSourcemac", &ArpPacket::anonSourcemac, false},
    {"ArpPacket", "ArpSourceip", "ArpPacket::anonSourceip", &ArpPacket::anonSourceip, false},
    {"ArpPacket", "ArpDestmac", "ArpPacket::anonDestmac", &ArpPacket::anonDestmac, false},
    {"ArpPacket", "ArpDestip", "ArpPacket::anonDestip", &ArpPacket::anonDestip, false},
    {"Ipv6Packet", "Ipv6Trafficclass", "Ipv6Packet::anonTrafficclass",
     &Ipv6Packet::anonTrafficclass, false},
    {"Ipv6Packet", "Ipv6Flowlabel", "Ipv6Packet::anonFlowlabel", &Ipv6Packet::anonFlowlabel, false},
    {"Ipv6Packet", "Ipv6Hoplimit", "Ipv6Packet::anonHoplimit", &Ipv6Packet::anonHoplimit, false},
    {"Ipv6Packet", "Ipv6Sourceaddr", "Ipv6Packet::anonSourceaddr", &Ipv6Packet::anonSourceaddr,
     false},
    {"Ipv6Packet", "Ipv6Destaddr", "Ipv6Packet::anonDestaddr", &Ipv6Packet::anonDestaddr, false},
};

struct ProfileSubmodule {
    const char* name;
    const char* missingMessage;
};

const ProfileSubmodule PROFILE_SUBMODULES[] = {
    {"EthernetPacket", "no ethernet configuration found"},
    {"VlanPacket", "no vlan configuration found"},
    {"IpPacket", "no ip configuration found"},
    {"IcmpPacket", "no icmp configuration found"},
    {"TcpPacket", "no tcp configuration found"},
    {"UdpPacket", "no udp configuration found"},
    {"PayloadPacket", "no payload configuration found"},
    {"ArpPacket", "no arp configuration found"},
    {"Ipv6Packet", "no ipv6 configuration found"},
};

// The order in which the completeness check reports and the release visits
// the slots, by printed name.
const char* const CHECK_ORDER[] = {
    "EthernetPacket::anonDestMac",
    "EthernetPacket::anonSourceMac",
    "EthernetPacket::anonType",
    "VlanPacket::anonPriority",
    "VlanPacket::anonCfi",
    "VlanPacket::anonVlanId",
    "VlanPacket::anonType",
    "ArpPacket::anonDestip",
    "ArpPacket::anonDestmac",
    "ArpPacket::anonHardwareaddrlen",
    "ArpPacket::anonHardwaretype",
    "ArpPacket::anonOpcode",
    "ArpPacket::anonProtoaddrlen",
    "ArpPacket::anonProtocoltype",
    "ArpPacket::anonSourceip",
    "ArpPacket::anonSourcemac",
    "IpPacket::anonDestip",
    "IpPacket::anonFlags",
    "IpPacket::anonFragoffset",
    "IpPacket::anonIdentifier",
    "IpPacket::anonOptions",
    "IpPacket::anonSourceip",
    "IpPacket::anonTos",
    "IpPacket::anonTtl",
    "Ipv6Packet::anonDestaddr",
    "Ipv6Packet::anonFlowlabel",
    "Ipv6Packet::anonHoplimit",
    "Ipv6Packet::anonSourceaddr",
    "Ipv6Packet::anonTrafficclass",
    "UdpPacket::anonDestport",
    "UdpPacket::anonSourceport",
    "TcpPacket::anonAcknum",
    "TcpPacket::anonDestport",
    "TcpPacket::anonFlags",
    "TcpPacket::anonOptions",
    "TcpPacket::anonSeqnum",
    "TcpPacket::anonSourceport",
    "TcpPacket::anonUrgentpnt",
    "TcpPacket::anonWindowsize",
    "IcmpPacket::anonCode",
    "IcmpPacket::anonMisc",
    "IcmpPacket::anonType",
    "PayloadPacket::anonPayload",
};

AnonPrimitive** slotNamed(const std::string& slotName) {
    for (const ProfileSlot& slot : PROFILE_SLOTS) {
        if (slotName == slot.slotName)
            return slot.slot;
    }
    assert(false && "every name of the check order is a profile slot");
    return nullptr;
}

bool chainContainsCryptoPan(const AnonPrimitive* primitive) {
    for (; primitive != nullptr; primitive = primitive->getNext()) {
        if (typeid(*primitive) == typeid(AnonCryptoPan))
            return true;
    }
    return false;
}

}  // namespace

void Configuration::loadAnonProfile() {
    AnonFactory factory;
    for (const ProfileSubmodule& submodule : PROFILE_SUBMODULES) {
        if (!existsSubmodule(PROFILE_MODULE, submodule.name)) {
            exitWithConfigurationError(submodule.missingMessage);
        }
        for (const ProfileSlot& slot : PROFILE_SLOTS) {
            if (std::string(slot.submodule) != submodule.name)
                continue;
            AttributeMap attributes =
                getConfigAttributeMap(PROFILE_MODULE, slot.submodule, slot.item);
            *slot.slot = factory.create(attributes);
            // Prefix-preserving encryption needs a field of fixed width.
            if (slot.variableLength && chainContainsCryptoPan(*slot.slot)) {
                exitWithConfigurationError(
                    std::string("invalid configuration: AnonCryptoPan cannot anonymize ") +
                    slot.slotName);
            }
        }
    }
}

bool Configuration::checkAnonProfile() {
    bool complete = true;
    for (const char* name : CHECK_ORDER) {
        if (*slotNamed(name) == nullptr) {
            printLine(std::string("anonymization primitive ") + name + " not set");
            complete = false;
        }
    }
    return complete;
}

void Configuration::releaseAnonProfile() {
    for (const char* name : CHECK_ORDER) {
        AnonPrimitive** slot = slotNamed(name);
        AnonPrimitive::destroyChain(*slot);
        *slot = nullptr;
    }
}
