// Per-frame benchmark of the processing path without file I/O: parse (the
// chain builder), anonymize (the default profile of examples/settings.xml)
// and assemble, on the frames of examples/sample.pcap held in memory.
// Items per second are frames per second on one core.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "Configuration.h"
#include "PacketAnonymizer.h"
#include "packets/Frame.h"
#include "packets/Packet.h"
#include "packets/PacketFactory.h"

namespace {

using Bytes = std::vector<uint8_t>;

std::string readText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The captured bytes of every record of a little-endian pcap file.
std::vector<Bytes> loadFrames(const std::string& path) {
    std::string file = readText(path);
    std::vector<Bytes> frames;
    size_t offset = 24;
    while (offset + 16 <= file.size()) {
        uint32_t captured;
        std::memcpy(&captured, file.data() + offset + 8, 4);
        offset += 16;
        if (offset + captured > file.size()) {
            break;
        }
        frames.emplace_back(file.begin() + offset, file.begin() + offset + captured);
        offset += captured;
    }
    return frames;
}

// Makes a copy of the example settings the process-wide Configuration and
// loads its profile (once: the singleton lives until the process ends).
void loadExampleProfile() {
    static bool loaded = false;
    if (loaded) {
        return;
    }
    loaded = true;
    std::string settings = readText(VEILCAP_SOURCE_DIR "/examples/settings.xml");
    std::string path = "/tmp/veilcap-bench-frames-settings.xml";
    std::ofstream(path, std::ios::binary) << settings;
    Configuration::setFileName(path);
    Configuration::instance()->loadAnonProfile();
    networkType = 1;  // Ethernet, as an opened input trace would set it
}

// One frame the way the frame loop handles it, without the streams.
void processFrame(PacketFactory* factory, PacketAnonymizer& anonymizer, const Bytes& bytes) {
    Frame* frame = factory->createFrame();
    Packet* first = frame->packet;
    first->resizeBuffer(static_cast<uint32_t>(bytes.size()));
    std::memcpy(first->getBuffer(), bytes.data(), bytes.size());
    first->parse();
    first->createNextPacket();
    Packet* anonymized = anonymizer.anonymizePacket(first);
    frame->packet = anonymized;
    uint32_t length = 0;
    const uint8_t* out = frame->assemble(length);
    benchmark::DoNotOptimize(out);
    factory->freeFrame(frame);
    factory->freePacket(first);
}

void BM_ParseAnonymizeAssemble(benchmark::State& state) {
    loadExampleProfile();
    std::vector<Bytes> frames = loadFrames(VEILCAP_SOURCE_DIR "/examples/sample.pcap");
    PacketFactory* factory = PacketFactory::instance();
    PacketAnonymizer anonymizer;
    size_t next = 0;
    int64_t bytes = 0;
    for (auto _ : state) {
        const Bytes& frame = frames[next];
        processFrame(factory, anonymizer, frame);
        bytes += static_cast<int64_t>(frame.size());
        next = next + 1 == frames.size() ? 0 : next + 1;
    }
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(bytes);
}
BENCHMARK(BM_ParseAnonymizeAssemble);

// The chain builder alone: parse and release.
void BM_ParseOnly(benchmark::State& state) {
    loadExampleProfile();
    std::vector<Bytes> frames = loadFrames(VEILCAP_SOURCE_DIR "/examples/sample.pcap");
    PacketFactory* factory = PacketFactory::instance();
    size_t next = 0;
    for (auto _ : state) {
        const Bytes& bytes = frames[next];
        Frame* frame = factory->createFrame();
        Packet* first = frame->packet;
        first->resizeBuffer(static_cast<uint32_t>(bytes.size()));
        std::memcpy(first->getBuffer(), bytes.data(), bytes.size());
        first->parse();
        first->createNextPacket();
        benchmark::DoNotOptimize(first->getNext());
        factory->freeFrame(frame);
        next = next + 1 == frames.size() ? 0 : next + 1;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ParseOnly);

}  // namespace

BENCHMARK_MAIN();
