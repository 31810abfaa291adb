#ifndef VEILCAP_FUZZ_FUZZPIPELINE_H
#define VEILCAP_FUZZ_FUZZPIPELINE_H

// "One input through the pipeline" for each fuzz target. The libFuzzer
// targets in fuzz/ and the regression test tests/test_fuzz_regressions.cpp
// (normal build) both include this header, so a crash input replays through
// exactly the code the fuzzer ran.
//
// Targets:
//   trace         arbitrary bytes behind a valid pcap file header
//   trace_header  arbitrary bytes as the whole trace (file header fuzzed too)
//   settings      arbitrary bytes as the settings file
//   primitive     attribute maps and fields decoded from the bytes, through
//                 AnonFactory::create and anonymizeChain
//
// Every invariant the pipeline checks beyond "no crash, no sanitizer
// report" ends the process with abort(), which libFuzzer reports as a crash.

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <typeinfo>
#include <vector>

#include "Configuration.h"
#include "ExitStatus.h"
#include "PacketAnonymizer.h"
#include "TraceFile.h"
#include "anonprimitives/AnonCryptoPan.h"
#include "anonprimitives/AnonFactory.h"
#include "anonprimitives/AnonPrimitive.h"
#include "packets/Frame.h"
#include "packets/Packet.h"
#include "packets/PacketFactory.h"

namespace fuzzpipeline {

// Thrown by the configuration-error handler the pipelines install instead of
// ending the process; nothing else in the program throws or catches it.
struct ConfigurationErrorThrown {
    std::string message;
};

[[noreturn]] inline void throwConfigurationError(const std::string& message) {
    throw ConfigurationErrorThrown{message};
}

// Installs the throwing handler for its lifetime.
class ConfigurationErrorsThrow {
  public:
    ConfigurationErrorsThrow() : previous(setConfigurationErrorHandler(throwConfigurationError)) {}
    ~ConfigurationErrorsThrow() { setConfigurationErrorHandler(previous); }
    ConfigurationErrorsThrow(const ConfigurationErrorsThrow&) = delete;
    ConfigurationErrorsThrow& operator=(const ConfigurationErrorsThrow&) = delete;

  private:
    ConfigurationErrorHandler previous;
};

[[noreturn]] inline void invariantBroken(const char* what) {
    std::fprintf(stderr, "fuzz pipeline invariant broken: %s\n", what);
    std::abort();
}

inline bool writeBytes(const std::string& path, const uint8_t* data, size_t size) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr)
        return false;
    bool ok = size == 0 || std::fwrite(data, 1, size, file) == size;
    return std::fclose(file) == 0 && ok;
}

inline std::vector<uint8_t> readBytes(const std::string& path) {
    std::vector<uint8_t> bytes;
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr)
        return bytes;
    uint8_t chunk[65536];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0)
        bytes.insert(bytes.end(), chunk, chunk + got);
    std::fclose(file);
    return bytes;
}

// A private scratch folder for the process (under /dev/shm when it exists:
// the pipelines write a few files per input), created on first use.
inline std::string& scratchDirName() {
    static std::string dir;
    return dir;
}

inline const std::string& scratchDir() {
    std::string& dir = scratchDirName();
    if (dir.empty()) {
        std::string base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
        std::string pattern = base + "/veilcap-fuzz-XXXXXX";
        std::vector<char> name(pattern.begin(), pattern.end());
        name.push_back('\0');
        if (mkdtemp(name.data()) == nullptr)
            invariantBroken("cannot create a scratch folder");
        dir = name.data();
    }
    return dir;
}

// Removes the scratch folder and what is in it (the regression tests call it
// at their end; the fuzz targets leave it); a later use makes a new one.
inline void removeScratchDir() {
    std::string& dir = scratchDirName();
    if (dir.empty())
        return;
    std::string command = "rm -rf '" + dir + "'";
    if (std::system(command.c_str()) != 0)
        std::fprintf(stderr, "could not remove %s\n", dir.c_str());
    dir.clear();
}

// ---------------------------------------------------------------------------
// The profile of the trace targets: every one of the 13 primitives is used,
// most in chains, on fixed-width and on variable-length fields.

inline std::string item(const char* name, const char* attributes) {
    return std::string("<configitem name=\"") + name + "\" " + attributes + "/>";
}

inline std::string allPrimitivesProfile() {
    const char* key = "key=\"0123456789abcdef0123456789abcdef-fuzz\"";
    std::string k = std::string(" ") + key;
    std::string p = "<module name=\"AnonMappings\">";
    p += "<submodule name=\"EthernetPacket\">";
    p += item("MacSource", ("anon=\"AnonBroadcastHandler,AnonCryptoPan\"" + k).c_str());
    p += item("MacDest", ("anon=\"AnonBroadcastHandler, AnonBytewiseHashHmacSha1\"" + k).c_str());
    p += item("MacType", "anon=\"AnonIdentity\"");
    p += "</submodule><submodule name=\"VlanPacket\">";
    p += item("VlanPriority", "anon=\"AnonRandomize\"");
    p += item("VlanCfi", "anon=\"AnonWhitenoise\" strength=\"9\"");
    p += item("VlanId", "anon=\"AnonHashSha1\"");
    p += item("VlanType", "anon=\"AnonIdentity\"");
    p += "</submodule><submodule name=\"IpPacket\">";
    p += item("IpTos", "anon=\"AnonConstOverwrite\" anonval=\"1f\"");
    p += item("IpIdent", "anon=\"AnonContinuousChar\"");
    p += item("IpFlags", "anon=\"AnonShuffle\"");
    p += item("IpFragoffset", "anon=\"AnonIdentity\"");
    p += item("IpTtl", "anon=\"AnonShorten,AnonWhitenoise\" newlen=\"0\" strength=\"5\"");
    p += item("IpSourceip", ("anon=\"AnonCryptoPan\"" + k).c_str());
    p += item("IpDestip", ("anon=\"AnonBroadcastHandler,AnonCryptoPan\"" + k).c_str());
    p += item("IpOptions",
              ("anon=\"AnonShuffle,AnonHashHmacSha1,AnonShorten\" newlen=\"7\"" + k).c_str());
    p += "</submodule><submodule name=\"IcmpPacket\">";
    p += item("IcmpType", "anon=\"AnonIdentity\"");
    p += item("IcmpCode", "anon=\"AnonBytewiseHashSha1\"");
    p += item("IcmpMisc", "anon=\"AnonWhitenoise,AnonContinuousChar\" strength=\"200\"");
    p += "</submodule><submodule name=\"TcpPacket\">";
    p += item("TcpSourceport", ("anon=\"AnonBytewiseHashHmacSha1\"" + k).c_str());
    p += item("TcpDestport", "anon=\"AnonBytewiseHashSha1\"");
    p += item("TcpSeqnum", ("anon=\"AnonCryptoPan\"" + k).c_str());
    p += item("TcpAcknum", "anon=\"AnonRandomize,AnonShuffle\"");
    p += item("TcpFlags", "anon=\"AnonIdentity\"");
    p += item("TcpWindowsize", "anon=\"AnonConstOverwrite\" anonval=\"ab\"");
    p += item("TcpUrgentpnt", "anon=\"AnonHashSha1\"");
    p += item("TcpOptions", "anon=\"AnonWhitenoise,AnonShorten\" strength=\"30\" newlen=\"5\"");
    p += "</submodule><submodule name=\"UdpPacket\">";
    p += item("UdpSourceport", ("anon=\"AnonHashHmacSha1\"" + k).c_str());
    p += item("UdpDestport", "anon=\"AnonIdentity\"");
    p += "</submodule><submodule name=\"PayloadPacket\">";
    p += item(
        "PayloadPacketData",
        ("anon=\"AnonBytewiseHashHmacSha1,AnonShorten,AnonHashSha1\" newlen=\"200\"" + k).c_str());
    p += "</submodule><submodule name=\"ArpPacket\">";
    p += item("ArpHardwaretp", "anon=\"AnonIdentity\"");
    p += item("ArpPrototp", "anon=\"AnonIdentity\"");
    p += item("ArpHardwareaddrlen", "anon=\"AnonRandomize\"");
    p += item("ArpProtoaddrlen", "anon=\"AnonIdentity\"");
    p += item("ArpOpcode", "anon=\"AnonContinuousChar\"");
    p += item("ArpSourcemac", ("anon=\"AnonCryptoPan\"" + k).c_str());
    p += item("ArpSourceip", ("anon=\"AnonBroadcastHandler,AnonCryptoPan\"" + k).c_str());
    p += item("ArpDestmac", "anon=\"AnonBroadcastHandler,AnonRandomize\"");
    p += item("ArpDestip", ("anon=\"AnonCryptoPan\"" + k).c_str());
    p += "</submodule><submodule name=\"Ipv6Packet\">";
    p += item("Ipv6Trafficclass", "anon=\"AnonShuffle\"");
    p += item("Ipv6Flowlabel", ("anon=\"AnonHashHmacSha1\"" + k).c_str());
    p += item("Ipv6Hoplimit", "anon=\"AnonConstOverwrite\" anonval=\"40\"");
    p += item("Ipv6Sourceaddr", ("anon=\"AnonCryptoPan\"" + k).c_str());
    p += item("Ipv6Destaddr", ("anon=\"AnonBroadcastHandler,AnonCryptoPan\"" + k).c_str());
    p += "</submodule></module>";
    return p;
}

inline std::string traceSettingsXml(uint32_t blockSizeRead, uint32_t blockSizeWrite) {
    std::string s = "<?xml version=\"1.0\"?><zentrel><module name=\"Settings\">";
    s += "<submodule name=\"Flow\"><configitem name=\"Input\">in.pcap</configitem>";
    s += "<configitem name=\"Output\">out.pcap</configitem></submodule>";
    s += "<submodule name=\"Misc\"><configitem name=\"UseMeasure\">1</configitem>";
    s += "<configitem name=\"PrintPackets\">1</configitem>";
    s += "<configitem name=\"SingleStepping\">0</configitem>";
    s += "<configitem name=\"BlockSizeRead\">" + std::to_string(blockSizeRead) + "</configitem>";
    s += "<configitem name=\"BlockSizeWrite\">" + std::to_string(blockSizeWrite) +
         "</configitem></submodule>";
    s += "<submodule name=\"Checksumming\">";
    s += "<configitem name=\"ReCalculateChecksums\">1</configitem>";
    s += "<configitem name=\"SetBadChecksumsToBad\">1</configitem></submodule></module>";
    s += allPrimitivesProfile();
    s += "</zentrel>";
    return s;
}

// Makes the all-primitives settings the process-wide Configuration and loads
// the profile into the slots; once per process (or per test). The settings
// file is written to the scratch folder (it is written back at exit).
inline void loadTraceProfile(uint32_t blockSizeRead, uint32_t blockSizeWrite) {
    std::string path = scratchDir() + "/trace-settings.xml";
    std::string xml = traceSettingsXml(blockSizeRead, blockSizeWrite);
    if (!writeBytes(path, reinterpret_cast<const uint8_t*>(xml.data()), xml.size()))
        invariantBroken("cannot write the trace settings");
    Configuration::setFileName(path);
    Configuration* config = Configuration::instance();
    config->loadAnonProfile();
    if (!config->checkAnonProfile())
        invariantBroken("the all-primitives profile is incomplete");
}

// The bytes of the valid pcap file header the "trace" target puts in front
// of its input (Ethernet, snapshot length 65535, host byte order).
inline std::vector<uint8_t> pcapFileHeader() {
    static const uint8_t header[TraceFile::FILE_HEADER_SIZE] = {
        0xD4, 0xC3, 0xB2, 0xA1, 0x02, 0x00, 0x04, 0x00, 0x00, 0x00, 0x00, 0x00,
        0x00, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00,
    };
    return std::vector<uint8_t>(header, header + sizeof header);
}

inline uint32_t le32At(const std::vector<uint8_t>& bytes, size_t offset) {
    return static_cast<uint32_t>(bytes[offset]) | static_cast<uint32_t>(bytes[offset + 1]) << 8 |
           static_cast<uint32_t>(bytes[offset + 2]) << 16 |
           static_cast<uint32_t>(bytes[offset + 3]) << 24;
}

struct TraceOutcome {
    uint64_t framesRead = 0;
    uint64_t framesWritten = 0;
};

// The whole trace through the frame loop of ProcessingRun (read, chain
// builder, dump of the received frame, anonymizer, serialize through
// writeFrame, dump of the anonymized frame, release), then the output is
// checked to be a well-formed pcap file with one record per frame written,
// each of 1 to 65535 bytes. Needs loadTraceProfile() first.
inline TraceOutcome runTrace(const uint8_t* data, size_t size) {
    TraceOutcome outcome;
    std::string inputPath = scratchDir() + "/in.pcap";
    std::string outputPath = scratchDir() + "/out.pcap";
    if (!writeBytes(inputPath, data, size))
        invariantBroken("cannot write the input trace");
    {
        TraceFile input(inputPath, MODE_READ);
        TraceFile output(outputPath, MODE_WRITE);
        if (!output.openTrace())
            invariantBroken("cannot open the output trace");
        if (input.openTrace()) {
            PacketFactory* factory = PacketFactory::instance();
            PacketAnonymizer anonymizer;
            for (;;) {
                Frame* frame = input.readFrame();
                if (frame == nullptr) {
                    Stream* stream = input.getStream();
                    if (stream->isEof() || !stream->good())
                        break;
                    continue;  // a bad record header: the next one is tried
                }
                ++outcome.framesRead;
                Packet* received = frame->packet;
                received->parse();
                received->createNextPacket();
                std::string dump = frame->toString();
                Packet* anonymized = anonymizer.anonymizePacket(received);
                if (anonymized == nullptr) {
                    factory->freeFrame(frame);
                    continue;
                }
                frame->packet = anonymized;
                bool written = output.writeFrame(frame);
                if (written)
                    dump += frame->toString();
                factory->freeFrame(frame);
                factory->freePacket(received);
                if (!written)
                    invariantBroken("writing a frame to the scratch output failed");
                ++outcome.framesWritten;
            }
        }
        if (!output.close())
            invariantBroken("closing the scratch output failed");
    }
    // Every frame and packet went back to the factory.
    PacketFactory* factory = PacketFactory::instance();
    if (factory->getLiveFrames() != 0)
        invariantBroken("frames left unreleased");
    for (uint32_t type = PROTO_PAYLOAD; type <= PROTO_LAST; ++type) {
        if (factory->getLivePackets(static_cast<ProtocolType>(type)) != 0)
            invariantBroken("packets left unreleased");
    }
    std::vector<uint8_t> out = readBytes(outputPath);
    if (out.size() < static_cast<size_t>(TraceFile::FILE_HEADER_SIZE))
        invariantBroken("output shorter than a pcap file header");
    size_t offset = TraceFile::FILE_HEADER_SIZE;
    uint64_t records = 0;
    while (offset < out.size()) {
        if (out.size() - offset < static_cast<size_t>(TraceFile::RECORD_HEADER_SIZE))
            invariantBroken("output ends inside a record header");
        uint32_t captured = le32At(out, offset + 8);
        uint32_t original = le32At(out, offset + 12);
        if (captured == 0 || captured > TraceFile::MAX_CAPTURED_LENGTH)
            invariantBroken("output record of 0 or more than 65535 bytes");
        if (captured != original)
            invariantBroken("output record with captured length != original length");
        offset += TraceFile::RECORD_HEADER_SIZE;
        if (out.size() - offset < captured)
            invariantBroken("output ends inside a record");
        offset += captured;
        ++records;
    }
    if (records != outcome.framesWritten)
        invariantBroken("output record count differs from the frames written");
    return outcome;
}

// The "trace" target: the bytes behind a valid pcap file header.
inline TraceOutcome runTraceBody(const uint8_t* data, size_t size) {
    std::vector<uint8_t> trace = pcapFileHeader();
    trace.insert(trace.end(), data, data + size);
    return runTrace(trace.data(), trace.size());
}

// ---------------------------------------------------------------------------
// The "settings" target: the bytes as the settings file, through loading,
// every getter, the profile load, check and release, and the write-back at
// the destruction of the singleton. Configuration errors throw (see above)
// instead of ending the process and are caught here.

template <typename Call>
inline bool survives(Call call) {
    try {
        call();
        return true;
    } catch (const ConfigurationErrorThrown&) {
        return false;
    }
}

inline void runSettings(const uint8_t* data, size_t size) {
    std::string path = scratchDir() + "/settings.xml";
    if (!writeBytes(path, data, size))
        invariantBroken("cannot write the settings file");
    ConfigurationErrorsThrow errorsThrow;
    Configuration::setFileName(path);
    Configuration* config = nullptr;
    if (!survives([&] { config = Configuration::instance(); })) {
        Configuration::destroyInstance();
        return;
    }
    survives([&] { config->getInput(); });
    survives([&] { config->getOutput(); });
    survives([&] { config->getUseMeasure(); });
    survives([&] { config->getPrintPackets(); });
    survives([&] { config->getSingleStepping(); });
    survives([&] { config->getBlockSizeRead(); });
    survives([&] { config->getBlockSizeWrite(); });
    survives([&] { config->getReCalculateChecksums(); });
    survives([&] { config->getSetBadChecksumsToBad(); });
    survives([&] { config->getMeasureFile(); });
    survives([&] { config->getCreatePlot(); });
    // A few document reads as well: names and attribute maps of the profile.
    for (const std::string& module : config->getModuleNames()) {
        for (const std::string& submodule : config->getSubmoduleNames(module)) {
            for (const std::string& name : config->getConfigItemNames(module, submodule)) {
                config->getConfigAttributeMap(module, submodule, name);
                config->getConfigValue(module, submodule, name);
            }
        }
    }
    if (survives([&] { config->loadAnonProfile(); })) {
        config->checkAnonProfile();
    }
    config->releaseAnonProfile();
    Configuration::destroyInstance();  // writes the document back
}

// ---------------------------------------------------------------------------
// The "primitive" target: attribute maps and fields decoded from the bytes.

class ByteReader {
  public:
    ByteReader(const uint8_t* data, size_t size) : data(data), size(size), position(0) {}
    bool empty() const { return position >= size; }
    uint8_t byte() { return position < size ? data[position++] : 0; }
    uint16_t word() { return static_cast<uint16_t>(byte() | byte() << 8); }
    std::string text(size_t length) {
        size_t n = length < size - position ? length : size - position;
        if (position >= size)
            n = 0;
        std::string s(reinterpret_cast<const char*>(data + position), n);
        position += n;
        return s;
    }

  private:
    const uint8_t* data;
    size_t size;
    size_t position;
};

inline const char* const* primitiveNames() {
    static const char* const names[] = {
        "AnonIdentity",
        "AnonConstOverwrite",
        "AnonContinuousChar",
        "AnonRandomize",
        "AnonShuffle",
        "AnonWhitenoise",
        "AnonShorten",
        "AnonHashSha1",
        "AnonHashHmacSha1",
        "AnonBytewiseHashSha1",
        "AnonBytewiseHashHmacSha1",
        "AnonBroadcastHandler",
        "AnonCryptoPan",
    };
    return names;
}
const int PRIMITIVE_COUNT = 13;

// One attribute value: absent (false), or a text of one of a few shapes.
inline bool attributeValue(ByteReader& in, std::string& value) {
    uint8_t shape = in.byte();
    switch (shape % 6) {
        case 0:
            return false;
        case 1:
            value = std::to_string(in.byte());
            return true;
        case 2:
            value = std::to_string(static_cast<int32_t>(in.word() | in.word() << 16));
            return true;
        case 3:
            value = in.text(in.byte() % 48);
            return true;
        case 4: {
            // A key around the CryptoPan minimum or the HMAC maximum.
            size_t length = (shape & 0x80) ? 65530 + in.byte() % 12 : 28 + in.byte() % 40;
            value = in.text(8);
            value.resize(length, value.empty() ? 'k' : value[0]);
            return true;
        }
        default:
            value = "";
            return true;
    }
}

// A list of primitive names, with blanks and commas of several shapes; now
// and then a name that is not a primitive.
inline std::string chainSpec(ByteReader& in) {
    int count = 1 + in.byte() % 5;
    static const char* const separators[] = {",", " , ", ",\t", " ,", ",,"};
    std::string spec;
    for (int i = 0; i < count; ++i) {
        if (i > 0)
            spec += separators[in.byte() % 5];
        uint8_t pick = in.byte();
        if (pick % 16 < PRIMITIVE_COUNT)
            spec += primitiveNames()[pick % 16];
        else if (pick % 16 == 13)
            spec += in.text(in.byte() % 12);
        else
            spec += std::string(" ") + primitiveNames()[pick % PRIMITIVE_COUNT] + " ";
    }
    return spec;
}

inline bool chainHasCryptoPan(const AnonPrimitive* primitive) {
    for (; primitive != nullptr; primitive = primitive->getNext()) {
        if (typeid(*primitive) == typeid(AnonCryptoPan))
            return true;
    }
    return false;
}

// Builds one chain from a decoded attribute map and runs it over decoded
// fields; checks that no chain lengthens a field. Fields of a chain holding
// AnonCryptoPan are 1 to 16 bytes wide, as the profile guarantees (it refuses
// CryptoPan on the variable-length items).
inline void runPrimitives(const uint8_t* data, size_t size) {
    ByteReader in(data, size);
    ConfigurationErrorsThrow errorsThrow;
    while (!in.empty()) {
        std::map<std::string, std::string> attributes;
        if (in.byte() % 8 != 0)
            attributes["anon"] = chainSpec(in);
        for (const char* name : {"anonval", "strength", "newlen", "key"}) {
            std::string value;
            if (attributeValue(in, value))
                attributes[name] = value;
        }
        if (in.byte() % 4 == 0)
            attributes[in.text(in.byte() % 8)] = in.text(in.byte() % 8);

        AnonPrimitive* chain = nullptr;
        AnonFactory factory;
        if (!survives([&] { chain = factory.create(attributes); }) || chain == nullptr)
            continue;
        bool fixedWidth = chainHasCryptoPan(chain);
        int fields = 1 + in.byte() % 4;
        for (int f = 0; f < fields; ++f) {
            uint32_t length = in.byte();
            if (length == 255)
                length = in.word();
            if (fixedWidth)
                length = 1 + length % 16;
            // An exactly sized heap block, so any access beyond it is seen.
            uint8_t* field = static_cast<uint8_t*>(std::malloc(length > 0 ? length : 1));
            std::string content = in.text(length);
            std::memset(field, 0xFF, length);
            std::memcpy(field, content.data(), content.size());
            uint32_t result = chain->anonymizeChain(field, length);
            if (result > length)
                invariantBroken("a primitive chain lengthened a field");
            std::free(field);
        }
        AnonPrimitive::destroyChain(chain);
    }
}

}  // namespace fuzzpipeline

#endif
