// Round trip over the whole corpus: every frame of every file is parsed,
// rebuilt through the getters and setters (the identity anonymization) and
// assembled. The output is compared byte for byte with what a reference
// model, written here independently of src/packets from the protocol rules,
// expects: the input's header bytes, with the known recomputations
// (Ethernet padding, IPv4 and IPv6 trimming, lengths, TCP bits 11-6, the
// checksum policy) and without the bytes that belong to no packet. Any
// other difference is a fault. The output of the recomputing policy is
// also checked by tshark.

#include <dirent.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "PcapTestIo.h"
#include "TestSupport.h"
#include "packets/Frame.h"
#include "packets/Packet.h"
#include "packets/PacketFactory.h"

using namespace pcaptest;
using testsupport::ScopedConfiguration;
using testsupport::Settings;

namespace {

// ---------------------------------------------------------------------------
// The reference model

enum RefType : uint32_t {
    R_NONE = 0,
    R_PAYLOAD = 1,
    R_ETHERNET = 2,
    R_ARP = 3,
    R_IP = 4,
    R_IPV6 = 5,
    R_TCP = 6,
    R_UDP = 7,
    R_ICMP = 8,
    R_VLAN = 9
};

uint32_t refMinimum(RefType type) {
    static const uint32_t minimum[] = {0, 1, 14, 28, 20, 40, 20, 8, 8, 4};
    return minimum[type];
}

RefType refEtherType(uint16_t type) {
    if (type == 0x0800)
        return R_IP;
    if (type == 0x0806)
        return R_ARP;
    if (type == 0x8100)
        return R_VLAN;
    if (type == 0x86DD)
        return R_IPV6;
    return R_PAYLOAD;
}

RefType refIpProtocol(uint8_t protocol) {
    switch (protocol) {
        case 1:
            return R_ICMP;
        case 4:
            return R_IP;
        case 6:
            return R_TCP;
        case 17:
            return R_UDP;
        case 41:
            return R_IPV6;
        default:
            return R_PAYLOAD;
    }
}

RefType refIcmpType(uint8_t type) {
    if (type == 0 || type == 8 || type == 13 || type == 14)
        return R_PAYLOAD;
    if (type == 3 || type == 4 || type == 5 || type == 11 || type == 12)
        return R_IP;
    return R_NONE;
}

struct Layer {
    RefType type = R_NONE;
    size_t offset = 0;           // in the input frame
    size_t size = 0;             // bytes this packet holds after its own parse
    size_t headerSize = 0;       // where the next packet's bytes begin
    size_t outLength = 0;        // header bytes written on output
    bool correct = true;         // received checksum correct (with the test on)
    bool firstFragment = false;  // TCP/UDP in a fragment with offset 0 and MF set
};

Bytes slice(const Bytes& bytes, size_t from, size_t count) {
    return Bytes(bytes.begin() + from, bytes.begin() + from + count);
}

// The pseudo-header addresses of a TCP/UDP layer: its parent's.
void parentAddresses(const Bytes& frame, const Layer& parent, Bytes& source, Bytes& destination) {
    if (parent.type == R_IP) {
        source = slice(frame, parent.offset + 12, 4);
        destination = slice(frame, parent.offset + 16, 4);
    } else {
        source = slice(frame, parent.offset + 8, 16);
        destination = slice(frame, parent.offset + 24, 16);
    }
}

// The checksum of a pseudo-header (addresses of either family, 16-bit
// length) and the bytes, the segment's checksum field taken as zero.
uint16_t pseudoChecksum(uint8_t protocol, const Bytes& segment, size_t checksumOffset,
                        const Bytes& source, const Bytes& destination, size_t length) {
    Bytes all = concat(source, destination);
    all.push_back(0);
    all.push_back(protocol);
    all.push_back(static_cast<uint8_t>(length >> 8));
    all.push_back(static_cast<uint8_t>(length));
    Bytes zeroed = segment;
    putBe16(zeroed, checksumOffset, 0);
    return referenceChecksum(concat(all, zeroed));
}

std::vector<Layer> referenceParse(const Bytes& frame) {
    std::vector<Layer> layers;
    RefType type = R_ETHERNET;
    size_t offset = 0;
    size_t available = frame.size();
    for (;;) {
        Layer layer;
        layer.type = type;
        layer.offset = offset;
        layer.size = available;
        const uint8_t* p = frame.data() + offset;
        RefType next = R_NONE;
        switch (type) {
            case R_ETHERNET:
                layer.headerSize = layer.outLength = 14;
                next = refEtherType(static_cast<uint16_t>(p[12] << 8 | p[13]));
                break;
            case R_VLAN:
                layer.headerSize = layer.outLength = 4;
                next = refEtherType(static_cast<uint16_t>(p[2] << 8 | p[3]));
                break;
            case R_ARP:
                layer.headerSize = layer.outLength = 28;
                break;
            case R_IP: {
                size_t hl = (p[0] & 0xF) * 4u;
                size_t total = static_cast<size_t>(p[2] << 8 | p[3]);
                size_t fragOffset = static_cast<size_t>((p[6] & 0x1F) << 8 | p[7]);
                next = fragOffset != 0 ? R_PAYLOAD : refIpProtocol(p[9]);
                size_t options = 0;
                if (hl < 20 || hl > total) {
                    next = R_NONE;
                    layer.headerSize = available;
                } else if (hl > 20 && hl <= available) {
                    options = hl - 20;
                    layer.headerSize = hl;
                } else {
                    layer.headerSize = 20;
                }
                layer.outLength = 20 + options;
                Bytes header = slice(frame, offset, 20 + options);
                uint16_t received = getBe16(header, 10);
                putBe16(header, 10, 0);
                layer.correct = referenceChecksum(header) == received;
                if (!(hl < 20 || hl > total) && total < available)
                    layer.size = total;
                break;
            }
            case R_ICMP: {
                layer.headerSize = layer.outLength = 8;
                Bytes message = slice(frame, offset, available);
                uint16_t received = getBe16(message, 2);
                putBe16(message, 2, 0);
                layer.correct = referenceChecksum(message) == received;
                next = refIcmpType(p[0]);
                break;
            }
            case R_IPV6: {
                layer.headerSize = layer.outLength = 40;
                next = refIpProtocol(p[6]);
                size_t datagram = 40 + static_cast<size_t>(p[4] << 8 | p[5]);
                if (available > datagram)
                    layer.size = datagram;
                break;
            }
            case R_TCP:
            case R_UDP: {
                const Layer& parent = layers.back();
                Bytes source, destination;
                parentAddresses(frame, parent, source, destination);
                if (parent.type == R_IP) {
                    layer.firstFragment = (frame[parent.offset + 6] & 0x20) != 0;
                }
                Bytes segment = slice(frame, offset, available);
                if (type == R_TCP) {
                    size_t length = (p[12] >> 4) * 4u;
                    layer.outLength = 20;
                    if (length < 20 || length > available) {
                        layer.headerSize = available;
                        break;  // checksum not examined
                    }
                    layer.headerSize = layer.outLength = length;
                    next = R_PAYLOAD;
                    layer.correct = pseudoChecksum(6, segment, 16, source, destination,
                                                   available & 0xFFFF) == getBe16(segment, 16);
                } else {
                    layer.headerSize = layer.outLength = 8;
                    next = R_PAYLOAD;
                    uint16_t computed =
                        pseudoChecksum(17, segment, 6, source, destination, available & 0xFFFF);
                    if (computed == 0)
                        computed = 0xFFFF;
                    layer.correct = computed == getBe16(segment, 6);
                }
                break;
            }
            case R_PAYLOAD:
                layer.headerSize = layer.outLength = available;
                break;
            default:
                ADD_FAILURE() << "bad reference type";
                return layers;
        }
        layers.push_back(layer);
        if (next == R_NONE)
            break;
        size_t size = layer.size;
        if (size <= layer.headerSize || size - layer.headerSize < refMinimum(next))
            break;
        offset += layer.headerSize;
        available = size - layer.headerSize;
        type = next;
    }
    return layers;
}

struct Policy {
    bool recalculate;
    bool setBad;
};

// The bytes the rebuilt chain must assemble to. A checksum field that the
// policy makes random cannot be predicted: its value is taken from the
// actual output (offset listed in randomized), so that the checksums
// around it (an ICMP error quoting an IPv4 header) can still be checked.
Bytes referenceOutput(const Bytes& frame, const std::vector<Layer>& layers, Policy policy,
                      const Bytes& actual, std::vector<size_t>& randomized) {
    auto randomValue = [&](size_t offset) -> uint16_t {
        randomized.push_back(offset);
        return offset + 2 <= actual.size() ? getBe16(actual, offset) : 0;
    };
    std::vector<size_t> outOffset(layers.size(), 0);
    for (size_t i = 1; i < layers.size(); i++) {
        outOffset[i] = outOffset[i - 1] + layers[i - 1].outLength;
    }
    Bytes inner;
    for (size_t i = layers.size(); i-- > 0;) {
        const Layer& layer = layers[i];
        Bytes header = slice(frame, layer.offset, layer.outLength);
        bool hasNext = i + 1 < layers.size();
        bool random = policy.recalculate && policy.setBad && !layer.correct;
        Bytes out;
        switch (layer.type) {
            case R_ETHERNET:
                out = concat(header, inner);
                if (out.size() < 60)
                    out.resize(60, 0);
                break;
            case R_VLAN:
                out = concat(header, inner);
                break;
            case R_ARP:
            case R_PAYLOAD:
                out = header;
                break;
            case R_IP: {
                header[0] =
                    static_cast<uint8_t>((header[0] & 0xF0) | ((layer.outLength / 4) & 0xF));
                putBe16(header, 2, static_cast<uint16_t>(layer.outLength + inner.size()));
                putBe16(header, 10, 0);
                if (random) {
                    putBe16(header, 10, randomValue(outOffset[i] + 10));
                } else if (policy.recalculate) {
                    putBe16(header, 10, referenceChecksum(header));
                }
                out = concat(header, inner);
                break;
            }
            case R_ICMP: {
                putBe16(header, 2, 0);
                if (random) {
                    putBe16(header, 2, randomValue(outOffset[i] + 2));
                } else if (policy.recalculate) {
                    putBe16(header, 2, referenceChecksum(hasNext ? concat(header, inner) : header));
                }
                out = concat(header, inner);
                break;
            }
            case R_IPV6:
                putBe16(header, 4, static_cast<uint16_t>(inner.size()));
                out = concat(header, inner);
                break;
            case R_TCP:
            case R_UDP: {
                Bytes source, destination;
                parentAddresses(frame, layers[i - 1], source, destination);
                out = concat(header, inner);
                if (layer.type == R_TCP) {
                    out[12] = static_cast<uint8_t>((layer.outLength / 4) << 4);
                    out[13] &= 0x3F;
                    putBe16(out, 16, 0);
                    if (random) {
                        putBe16(out, 16, randomValue(outOffset[i] + 16));
                    } else if (policy.recalculate) {
                        putBe16(out, 16,
                                pseudoChecksum(6, out, 16, source, destination, out.size()));
                    }
                } else {
                    putBe16(out, 4, static_cast<uint16_t>(out.size()));
                    uint16_t held = getBe16(frame, layer.offset + 6);
                    if (held != 0 && policy.recalculate) {
                        if (random) {
                            putBe16(out, 6, randomValue(outOffset[i] + 6));
                        } else {
                            uint16_t computed =
                                pseudoChecksum(17, out, 6, source, destination, out.size());
                            putBe16(out, 6, computed == 0 ? 0xFFFF : computed);
                        }
                    }
                }
                break;
            }
            default:
                break;
        }
        inner = out;
    }
    return inner;
}

// ---------------------------------------------------------------------------

std::vector<std::string> corpusFiles() {
    std::vector<std::string> names;
    std::string dir = testsupport::corpusPath("");
    DIR* handle = opendir(dir.c_str());
    if (handle == nullptr)
        return names;
    while (dirent* entry = readdir(handle)) {
        std::string name = entry->d_name;
        if (name.size() > 5 && name.substr(name.size() - 5) == ".pcap")
            names.push_back(name);
    }
    closedir(handle);
    std::sort(names.begin(), names.end());
    return names;
}

Settings checksumSettings(Policy policy) {
    Settings settings;
    settings.reCalculateChecksums = policy.recalculate ? "1" : "0";
    settings.setBadChecksumsToBad = policy.setBad ? "1" : "0";
    return settings;
}

struct FrameOutput {
    std::string file;
    size_t number;  // 1-based
    Bytes input;
    Bytes output;
    std::vector<Layer> layers;
};

// Parses, rebuilds and checks every corpus frame under the policy; returns
// the outputs. Counts the frames and the chain types seen.
std::vector<FrameOutput> roundTripCorpus(Policy policy, std::map<uint32_t, size_t>& typeCounts,
                                         size_t& randomChecksums) {
    randomChecksums = 0;
    ScopedConfiguration configuration(checksumSettings(policy));
    std::vector<FrameOutput> outputs;
    PacketFactory* factory = PacketFactory::instance();
    std::vector<std::string> files = corpusFiles();
    EXPECT_GE(files.size(), 40u) << "corpus missing at " << testsupport::corpusPath("");
    size_t faults = 0;
    for (const std::string& file : files) {
        std::vector<Record> records;
        EXPECT_TRUE(readPcap(testsupport::corpusPath(file), records)) << file;
        for (size_t n = 0; n < records.size(); n++) {
            const Record& record = records[n];
            if (record.data.size() < 14)
                continue;  // the trace reader drops these
            std::string where = file + " frame " + std::to_string(n + 1);
            std::vector<Layer> layers = referenceParse(record.data);

            Frame* frame = parseFrame(record);
            // The chain has the reference's shape.
            std::vector<uint32_t> types = chainTypes(frame->packet);
            std::vector<uint32_t> expectedTypes;
            for (const Layer& layer : layers)
                expectedTypes.push_back(layer.type);
            bool shapeOk = types == expectedTypes;
            EXPECT_TRUE(shapeOk) << where;
            if (shapeOk) {
                size_t i = 0;
                for (const Packet* p = frame->packet; p != nullptr; p = p->getNext(), i++) {
                    const Layer& layer = layers[i];
                    typeCounts[layer.type]++;
                    EXPECT_EQ(p->getSize(), layer.size) << where << " packet " << i;
                    EXPECT_EQ(p->getHeaderSize(), layer.headerSize) << where << " packet " << i;
                    // Only IPv4, ICMP, TCP (well-formed) and UDP test their checksums.
                    bool expectedFlag = policy.setBad ? layer.correct : true;
                    EXPECT_EQ(p->isChecksumCorrect(), expectedFlag) << where << " packet " << i;
                    // The packet's buffer holds the frame's bytes from its offset.
                    if (p->getSize() > 0) {
                        EXPECT_TRUE(std::equal(p->getBuffer(), p->getBuffer() + p->getSize(),
                                               record.data.begin() + layer.offset))
                            << where << " packet " << i;
                    }
                }
            }
            std::string dump = frame->toString();
            EXPECT_EQ(dump.compare(0, 6, "Frame\n"), 0);

            Packet* copy = identityRebuild(frame->packet);
            Packet* original = frame->packet;
            frame->packet = copy;
            uint32_t length = 0;
            uint8_t* bytes = frame->serialize(length);
            Bytes output(bytes, bytes + length);
            free(bytes);
            factory->freeFrame(frame);
            factory->freePacket(original);

            if (shapeOk) {
                std::vector<size_t> randomized;
                Bytes expected = referenceOutput(record.data, layers, policy, output, randomized);
                randomChecksums += randomized.size();
                const Bytes& actual = output;
                if (actual != expected) {
                    faults++;
                    size_t at = 0;
                    while (at < std::min(actual.size(), expected.size()) &&
                           actual[at] == expected[at]) {
                        at++;
                    }
                    ADD_FAILURE() << where << ": output differs from the reference at byte " << at
                                  << " (sizes " << actual.size() << " and " << expected.size()
                                  << ")";
                }
            }
            outputs.push_back(FrameOutput{file, n + 1, record.data, output, layers});
        }
    }
    EXPECT_EQ(faults, 0u);
    for (uint32_t type = 0; type <= PROTO_LAST; type++) {
        EXPECT_EQ(factory->getLivePackets(static_cast<ProtocolType>(type)), 0u);
    }
    EXPECT_EQ(factory->getLiveFrames(), 0u);
    return outputs;
}

std::vector<std::string> split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::string part;
    std::istringstream in(text);
    while (std::getline(in, part, separator))
        parts.push_back(part);
    if (!text.empty() && text.back() == separator)
        parts.push_back("");
    return parts;
}

}  // namespace

TEST(CorpusRoundTripTest, RecalculatedChecksumsMatchTheReferenceAndTshark) {
    std::map<uint32_t, size_t> typeCounts;
    size_t randomChecksums = 0;
    std::vector<FrameOutput> outputs =
        roundTripCorpus(Policy{true, false}, typeCounts, randomChecksums);
    EXPECT_EQ(randomChecksums, 0u);
    ASSERT_GT(outputs.size(), 1700u);
    // The corpus reaches every class.
    for (uint32_t type = 1; type <= PROTO_LAST; type++) {
        EXPECT_GT(typeCounts[type], 0u) << "no packet of type " << type;
    }

    // tshark checks every IPv4, ICMP, TCP and UDP checksum of the output.
    testsupport::TempDir dir;
    std::vector<Record> records;
    for (const FrameOutput& frame : outputs) {
        Record record;
        record.seconds = static_cast<int32_t>(records.size());
        record.data = frame.output;
        records.push_back(record);
    }
    std::string path = dir.file("out.pcap");
    ASSERT_TRUE(writePcap(path, records));
    testsupport::ProcessResult result = testsupport::runShell(
        "tshark -r '" + path +
        "' -o ip.check_checksum:TRUE -o tcp.check_checksum:TRUE -o udp.check_checksum:TRUE"
        " -o ip.defragment:FALSE -o ipv6.defragment:FALSE -T fields -E occurrence=a"
        " -E aggregator=, -E separator=/t -e frame.number -e ip.checksum.status"
        " -e icmp.checksum.status -e tcp.checksum.status -e udp.checksum.status 2>/dev/null");
    ASSERT_EQ(result.status, 0) << "tshark failed (is it installed?)";
    std::vector<std::string> lines = split(result.out, '\n');
    if (!lines.empty() && lines.back().empty())
        lines.pop_back();
    ASSERT_EQ(lines.size(), outputs.size());

    const char* names[] = {"ip", "icmp", "tcp", "udp"};
    const RefType kinds[] = {R_IP, R_ICMP, R_TCP, R_UDP};
    std::map<std::string, size_t> good;
    for (size_t f = 0; f < outputs.size(); f++) {
        std::vector<std::string> fields = split(lines[f], '\t');
        ASSERT_EQ(fields.size(), 5u) << lines[f];
        const FrameOutput& frame = outputs[f];
        bool firstFragment = false;
        for (const Layer& layer : frame.layers)
            firstFragment |= layer.firstFragment;
        for (int k = 0; k < 4; k++) {
            // Our packets of this kind are the first occurrences tshark reports;
            // later ones lie inside payload we carry opaquely.
            size_t ours = 0;
            for (const Layer& layer : frame.layers)
                ours += layer.type == kinds[k];
            if ((kinds[k] == R_TCP || kinds[k] == R_UDP) && firstFragment)
                continue;
            std::vector<std::string> statuses =
                fields[k + 1].empty() ? std::vector<std::string>() : split(fields[k + 1], ',');
            for (size_t i = 0; i < ours && i < statuses.size(); i++) {
                EXPECT_NE(statuses[i], "0")
                    << names[k] << " checksum bad in " << frame.file << " frame " << frame.number
                    << " (output frame " << f + 1 << ")";
                if (statuses[i] == "1")
                    good[names[k]]++;
            }
        }
    }
    // The check is not vacuous: tshark verified many of each.
    EXPECT_GT(good["ip"], 1000u);
    EXPECT_GT(good["icmp"], 20u);
    EXPECT_GT(good["tcp"], 300u);
    EXPECT_GT(good["udp"], 300u);
}

TEST(CorpusRoundTripTest, RecalculationOff) {
    std::map<uint32_t, size_t> typeCounts;
    size_t randomChecksums = 0;
    std::vector<FrameOutput> outputs =
        roundTripCorpus(Policy{false, false}, typeCounts, randomChecksums);
    EXPECT_GT(outputs.size(), 1700u);
}

TEST(CorpusRoundTripTest, BadChecksumsStayBad) {
    std::map<uint32_t, size_t> typeCounts;
    size_t randomChecksums = 0;
    std::vector<FrameOutput> outputs =
        roundTripCorpus(Policy{true, true}, typeCounts, randomChecksums);
    EXPECT_GT(outputs.size(), 1700u);
    // The corpus has wrong checksums (offload artefacts, broken headers).
    EXPECT_GT(randomChecksums, 30u);
}
