// Pcap trace files: reading, writing and every message.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "BufferedFile.h"
#include "Stream.h"
#include "TestSupport.h"
#include "TraceFile.h"
#include "packets/Frame.h"
#include "packets/Packet.h"
#include "packets/PacketFactory.h"

using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;
using testsupport::ScopedConfiguration;
using testsupport::Settings;
using testsupport::TempDir;

namespace {

std::string u16(uint16_t value) {
    return std::string{static_cast<char>(value & 0xff), static_cast<char>(value >> 8)};
}

std::string u32(uint32_t value) {
    std::string bytes;
    for (int i = 0; i < 4; ++i)
        bytes += static_cast<char>((value >> (8 * i)) & 0xff);
    return bytes;
}

uint32_t readU32(const std::string& bytes, size_t offset) {
    uint32_t value = 0;
    for (int i = 3; i >= 0; --i)
        value = (value << 8) | static_cast<uint8_t>(bytes[offset + i]);
    return value;
}

std::string fileHeader(uint32_t magic = 0xA1B2C3D4u, uint32_t linkType = 1) {
    return u32(magic) + u16(2) + u16(4) + u32(0) + u32(0) + u32(65535) + u32(linkType);
}

std::string recordHeader(uint32_t seconds, uint32_t microseconds, uint32_t captured,
                         uint32_t original) {
    return u32(seconds) + u32(microseconds) + u32(captured) + u32(original);
}

std::string record(const std::string& bytes, uint32_t seconds = 12, uint32_t microseconds = 345,
                   uint32_t original = 0) {
    uint32_t length = static_cast<uint32_t>(bytes.size());
    return recordHeader(seconds, microseconds, length, original ? original : length) + bytes;
}

// A 60-byte Ethernet frame carrying an ARP request plus 18 bytes of padding.
std::string arpFrame(uint8_t last = 1) {
    std::string frame;
    frame += std::string(6, '\xff');  // destination
    frame += std::string("\x00\x11\x22\x33\x44", 5) + static_cast<char>(last);
    frame += std::string("\x08\x06", 2);  // ARP
    frame += std::string("\x00\x01\x08\x00\x06\x04\x00\x01", 8);
    frame += std::string("\x00\x11\x22\x33\x44", 5) + static_cast<char>(last);
    frame += std::string("\x0a\x00\x00", 3) + static_cast<char>(last);
    frame += std::string(6, '\0');
    frame += std::string("\x0a\x00\x00\xfe", 4);
    frame += std::string(18, '\0');
    return frame;
}

// Bytes that start like an Ethernet header with an unknown EtherType.
std::string opaqueFrame(size_t size, unsigned seed = 1) {
    std::string frame(size, '\0');
    for (size_t i = 0; i < size; ++i)
        frame[i] = static_cast<char>((i * 13 + seed) & 0xff);
    if (size >= 14) {
        frame[12] = '\x88';
        frame[13] = '\xb5';  // local experimental EtherType
    }
    return frame;
}

Settings blockSizes(const std::string& readSize, const std::string& writeSize) {
    Settings settings;
    settings.blockSizeRead = readSize;
    settings.blockSizeWrite = writeSize;
    return settings;
}

std::string frameBytes(Frame* frame) {
    Packet* first = frame->packet;
    return std::string(reinterpret_cast<const char*>(first->getBuffer()), first->getSize());
}

void parseChain(Frame* frame) {
    frame->packet->parse();
    frame->packet->createNextPacket();
}

// Reads every frame of a trace; counts the frames and the empty results
// that were not the end of the input.
struct ReadResult {
    bool opened = false;
    std::vector<std::string> frames;
    size_t failures = 0;
    bool endReached = false;
};

ReadResult readAll(const std::string& path, size_t maxCalls = 1000000) {
    ReadResult result;
    TraceFile trace(path, MODE_READ);
    result.opened = trace.openTrace();
    if (!result.opened)
        return result;
    for (size_t call = 0; call < maxCalls; ++call) {
        Frame* frame = trace.readFrame();
        if (frame != nullptr) {
            result.frames.push_back(frameBytes(frame));
            PacketFactory::instance()->freeFrame(frame);
        } else if (trace.getStream()->isEof()) {
            result.endReached = true;
            break;
        } else {
            ++result.failures;
        }
    }
    return result;
}

// A BufferedFile whose n-th read operation on the file fails with an error.
class FailingFile : public BufferedFile {
  public:
    explicit FailingFile(size_t failingRead) : failingRead(failingRead) {}

  protected:
    size_t fileRead(void* dst, size_t n) override {
        if (++reads == failingRead) {
            injected = true;
            return 0;
        }
        return BufferedFile::fileRead(dst, n);
    }
    bool fileError() override { return injected || BufferedFile::fileError(); }

  private:
    size_t failingRead;
    size_t reads = 0;
    bool injected = false;
};

}  // namespace

// ------------------------------------------------------------ file header

TEST(TraceFileHeader, AcceptsHeaderLookingOnlyAtMagicAndLinkType) {
    TempDir dir;
    std::string path = dir.file("x.pcap");
    std::string header("\xD4\xC3\xB2\xA1\x02\x00\x04\x00", 8);
    header += std::string(12, '\0') + std::string("\x01\x00\x00\x00", 4);
    testsupport::writeFile(path, header);
    ScopedConfiguration config;
    networkType = 0;
    CaptureStderr();
    {
        TraceFile trace(path, MODE_READ);
        EXPECT_EQ(trace.getMode(), MODE_READ);
        EXPECT_EQ(trace.getStream()->getIoSource(), Stream::IO_FILE);
        EXPECT_TRUE(trace.openTrace());
        EXPECT_EQ(networkType, 1);
        EXPECT_EQ(trace.readFrame(), nullptr);
        EXPECT_TRUE(trace.getStream()->isEof());
    }
    EXPECT_EQ(GetCapturedStderr(), "");
}

TEST(TraceFileHeader, OtherByteOrderIsRefused) {
    TempDir dir;
    std::string path = dir.file("x.pcap");
    testsupport::writeFile(path, std::string("\xA1\xB2\xC3\xD4\x00\x02\x00\x04", 8) +
                                     std::string(12, '\0') + std::string("\x00\x00\x00\x01", 4) +
                                     record(arpFrame()));
    ScopedConfiguration config;
    CaptureStderr();
    {
        TraceFile trace(path, MODE_READ);
        EXPECT_FALSE(trace.openTrace());
    }
    EXPECT_EQ(GetCapturedStderr(),
              "invalid magic code 3569595041 in file x.pcap, should be 2712847316\n");
}

TEST(TraceFileHeader, LinkTypesOtherThanEthernetAreRefused) {
    TempDir dir;
    ScopedConfiguration config;
    for (uint32_t linkType : {0u, 101u, 113u, 0x01000000u}) {
        std::string path = dir.file("l.pcap");
        testsupport::writeFile(path, fileHeader(0xA1B2C3D4u, linkType) + record(arpFrame()));
        CaptureStderr();
        {
            TraceFile trace(path, MODE_READ);
            EXPECT_FALSE(trace.openTrace()) << linkType;
        }
        EXPECT_EQ(GetCapturedStderr(), "not an ethernet dump file\n") << linkType;
    }
}

TEST(TraceFileHeader, ShortOrUnreadableHeader) {
    TempDir dir;
    ScopedConfiguration config;
    for (const std::string& content :
         {std::string(), fileHeader().substr(0, 10), fileHeader().substr(0, 23)}) {
        std::string path = dir.file("short.pcap");
        testsupport::writeFile(path, content);
        CaptureStderr();
        {
            TraceFile trace(path, MODE_READ);
            EXPECT_FALSE(trace.openTrace()) << content.size();
        }
        EXPECT_EQ(GetCapturedStderr(), "reading pcap header from file short.pcap failed\n")
            << content.size();
    }
    // A directory opens but cannot be read.
    CaptureStderr();
    {
        TraceFile trace(dir.path() + "/", MODE_READ);
        if (trace.getStream()->isOpen()) {
            EXPECT_FALSE(trace.openTrace());
        }
    }
    std::string err = GetCapturedStderr();
    EXPECT_TRUE(err == "reading pcap header from file  failed\n" ||
                err == "opening  failed\nopening  failed\n")
        << err;
}

TEST(TraceFileHeader, MissingFileIsReportedTwiceWithItsBaseName) {
    TempDir dir;
    ScopedConfiguration config;
    CaptureStderr();
    {
        TraceFile trace(dir.file("dir/sub/trace.pcap"), MODE_READ);
        EXPECT_FALSE(trace.getStream()->isOpen());
        EXPECT_TRUE(trace.getStream()->isEof());
        EXPECT_EQ(trace.readFrame(), nullptr);
        EXPECT_FALSE(trace.openTrace());
    }
    EXPECT_EQ(GetCapturedStderr(), "opening trace.pcap failed\nopening trace.pcap failed\n");
}

TEST(TraceFileHeader, BaseNameRule) {
    TempDir dir;
    std::string path = dir.file("dir/sub");
    ASSERT_EQ(system(("mkdir -p '" + path + "'").c_str()), 0);
    testsupport::writeFile(path + "/trace.pcap", fileHeader(0x12345678u));
    ScopedConfiguration config;
    CaptureStderr();
    {
        TraceFile trace(path + "/trace.pcap", MODE_READ);
        EXPECT_EQ(trace.getBaseName(), "trace.pcap");
        EXPECT_FALSE(trace.openTrace());
    }
    EXPECT_EQ(GetCapturedStderr(),
              "invalid magic code 305419896 in file trace.pcap, should be 2712847316\n");
    // Relative names: without a directory part the whole name is shown.
    char previous[4096];
    ASSERT_NE(getcwd(previous, sizeof previous), nullptr);
    ASSERT_EQ(chdir(path.c_str()), 0);
    CaptureStderr();
    {
        TraceFile trace("trace.pcap", MODE_READ);
        EXPECT_FALSE(trace.openTrace());
    }
    std::string err = GetCapturedStderr();
    ASSERT_EQ(chdir(previous), 0);
    EXPECT_EQ(err, "invalid magic code 305419896 in file trace.pcap, should be 2712847316\n");
    CaptureStderr();
    {
        TraceFile trace("dir/sub/trace.pcap", MODE_READ);
        EXPECT_EQ(trace.getBaseName(), "trace.pcap");
        TraceFile plain("stdout", MODE_WRITE);
        EXPECT_EQ(plain.getBaseName(), "stdout");
    }
    EXPECT_EQ(GetCapturedStderr(), "opening trace.pcap failed\n");
}

// --------------------------------------------------------------- records

TEST(TraceFileRead, FramesCarryTheRecordValuesAndBytes) {
    TempDir dir;
    std::string path = dir.file("x.pcap");
    std::string first = arpFrame(1), second = opaqueFrame(1514, 5);
    testsupport::writeFile(
        path, fileHeader() + record(first, 12, 345, 1514) + record(second, 0xFFFFFFFFu, 999999, 1));
    for (const char* size : {"0", "16", "1024", "4096"}) {
        ScopedConfiguration config(blockSizes(size, size));
        CaptureStderr();
        {
            TraceFile trace(path, MODE_READ);
            ASSERT_TRUE(trace.openTrace());
            Frame* frame = trace.readFrame();
            ASSERT_NE(frame, nullptr);
            EXPECT_EQ(frame->timestampSeconds, 12);
            EXPECT_EQ(frame->timestampMicroseconds, 345);
            EXPECT_EQ(frame->capturedLength, 60u);
            EXPECT_EQ(frame->originalLength, 1514u);
            EXPECT_EQ(frameBytes(frame), first);
            PacketFactory::instance()->freeFrame(frame);
            frame = trace.readFrame();
            ASSERT_NE(frame, nullptr);
            EXPECT_EQ(frame->timestampSeconds, -1);
            EXPECT_EQ(frame->timestampMicroseconds, 999999);
            EXPECT_EQ(frame->capturedLength, 1514u);
            EXPECT_EQ(frame->originalLength, 1u);
            EXPECT_EQ(frameBytes(frame), second);
            EXPECT_FALSE(trace.getStream()->isEof());
            PacketFactory::instance()->freeFrame(frame);
            EXPECT_EQ(trace.readFrame(), nullptr);
            EXPECT_TRUE(trace.getStream()->isEof());
        }
        EXPECT_EQ(GetCapturedStderr(), "") << size;
    }
}

TEST(TraceFileRead, CapturedLengthZeroIsRefusedAndReadingGoesOnAfterItsHeader) {
    TempDir dir;
    std::string path = dir.file("x.pcap");
    std::string frame = arpFrame();
    testsupport::writeFile(path, fileHeader() + recordHeader(1, 2, 0, 60) + record(frame));
    ScopedConfiguration config;
    CaptureStderr();
    TraceFile trace(path, MODE_READ);
    ASSERT_TRUE(trace.openTrace());
    EXPECT_EQ(trace.readFrame(), nullptr);
    EXPECT_FALSE(trace.getStream()->isEof());
    EXPECT_EQ(GetCapturedStderr(), "invalid frame size of 0\n");
    Frame* next = trace.readFrame();
    ASSERT_NE(next, nullptr);
    EXPECT_EQ(frameBytes(next), frame);
    PacketFactory::instance()->freeFrame(next);
}

TEST(TraceFileRead, CapturedLength65535IsAcceptedAnd65536Refused) {
    TempDir dir;
    std::string path = dir.file("x.pcap");
    std::string big = opaqueFrame(65535, 9);
    std::string bigger = opaqueFrame(65536, 4);
    testsupport::writeFile(path, fileHeader() + record(big) + record(bigger));
    for (const char* size : {"0", "1024", "65536", "100000"}) {
        ScopedConfiguration config(blockSizes(size, size));
        CaptureStderr();
        TraceFile trace(path, MODE_READ);
        ASSERT_TRUE(trace.openTrace());
        Frame* frame = trace.readFrame();
        ASSERT_NE(frame, nullptr) << size;
        EXPECT_EQ(frame->capturedLength, 65535u);
        EXPECT_EQ(frameBytes(frame), big);
        PacketFactory::instance()->freeFrame(frame);
        EXPECT_EQ(GetCapturedStderr(), "");
        CaptureStderr();
        EXPECT_EQ(trace.readFrame(), nullptr);
        EXPECT_EQ(GetCapturedStderr(), "invalid frame size of 65536\n");
        // what follows is read from the byte after that record header
        CaptureStderr();
        while (trace.readFrame() != nullptr || !trace.getStream()->isEof()) {
        }
        GetCapturedStderr();
    }
}

TEST(TraceFileRead, RecordShorterThanAnEthernetHeaderIsDroppedSilently) {
    TempDir dir;
    std::string path = dir.file("x.pcap");
    std::string frame = arpFrame();
    testsupport::writeFile(path, fileHeader() + record(opaqueFrame(10)) + record(opaqueFrame(13)) +
                                     record(opaqueFrame(14)) + record(frame));
    ScopedConfiguration config;
    CaptureStderr();
    TraceFile trace(path, MODE_READ);
    ASSERT_TRUE(trace.openTrace());
    EXPECT_EQ(trace.readFrame(), nullptr);
    EXPECT_FALSE(trace.getStream()->isEof());
    EXPECT_EQ(trace.readFrame(), nullptr);
    Frame* minimal = trace.readFrame();
    ASSERT_NE(minimal, nullptr);
    EXPECT_EQ(frameBytes(minimal), opaqueFrame(14));
    PacketFactory::instance()->freeFrame(minimal);
    Frame* next = trace.readFrame();
    ASSERT_NE(next, nullptr);
    EXPECT_EQ(frameBytes(next), frame);
    PacketFactory::instance()->freeFrame(next);
    EXPECT_EQ(GetCapturedStderr(), "");
}

TEST(TraceFileRead, TraceEndingInsideARecordEndsQuietly) {
    TempDir dir;
    std::string path = dir.file("x.pcap");
    std::string full = fileHeader() + record(arpFrame(1)) + record(arpFrame(2)) +
                       record(opaqueFrame(300)) + record(arpFrame(3));
    // record boundaries after the file header
    std::vector<size_t> ends{24 + 76, 24 + 152, 24 + 152 + 316, full.size()};
    for (const char* size : {"0", "7", "1024"}) {
        ScopedConfiguration config(blockSizes(size, size));
        for (size_t cut = 24; cut <= full.size(); ++cut) {
            testsupport::writeFile(path, full.substr(0, cut));
            size_t complete = 0;
            for (size_t end : ends)
                complete += end <= cut ? 1 : 0;
            CaptureStderr();
            ReadResult result = readAll(path);
            std::string err = GetCapturedStderr();
            ASSERT_TRUE(result.opened);
            EXPECT_TRUE(result.endReached) << size << " " << cut;
            EXPECT_EQ(result.failures, 0u) << size << " " << cut;
            EXPECT_EQ(result.frames.size(), complete) << size << " " << cut;
            EXPECT_EQ(err, "") << size << " " << cut;
        }
    }
}

TEST(TraceFileRead, UnknownLinkTypeAtFrameCreation) {
    TempDir dir;
    std::string path = dir.file("x.pcap");
    testsupport::writeFile(path, fileHeader() + record(arpFrame()) + record(arpFrame()));
    ScopedConfiguration config;
    CaptureStderr();
    TraceFile trace(path, MODE_READ);
    ASSERT_TRUE(trace.openTrace());
    networkType = 0;
    EXPECT_EQ(trace.readFrame(), nullptr);
    networkType = 1;
    std::string err = GetCapturedStderr();
    EXPECT_NE(err.find("not a known link type\n"), std::string::npos) << err;
    // The record's bytes were not consumed: the next record header is
    // read from the frame's bytes.
    CaptureStderr();
    Frame* frame = trace.readFrame();
    if (frame != nullptr)
        PacketFactory::instance()->freeFrame(frame);
    GetCapturedStderr();
}

TEST(TraceFileRead, FailingRecordHeaderReadIsReportedAndSticky) {
    TempDir dir;
    std::string path = dir.file("x.pcap");
    testsupport::writeFile(path, fileHeader() + record(arpFrame()) + record(arpFrame()));
    ScopedConfiguration config(blockSizes("0", "0"));
    CaptureStderr();
    // read 1: file header, read 2: record header
    TraceFile trace("dir/x.pcap", MODE_READ, new Stream(path, MODE_READ, new FailingFile(2)));
    ASSERT_TRUE(trace.openTrace());
    EXPECT_EQ(trace.readFrame(), nullptr);
    EXPECT_FALSE(trace.getStream()->good());
    EXPECT_FALSE(trace.getStream()->isEof());
    EXPECT_EQ(trace.readFrame(), nullptr);
    EXPECT_FALSE(trace.getStream()->isEof());
    EXPECT_EQ(GetCapturedStderr(), "reading record header failed\nreading record header failed\n");
}

TEST(TraceFileRead, FailingFrameReadIsReported) {
    TempDir dir;
    std::string path = dir.file("x.pcap");
    testsupport::writeFile(path, fileHeader() + record(opaqueFrame(3000)) + record(arpFrame()));
    for (const char* size : {"0", "1024"}) {
        ScopedConfiguration config(blockSizes(size, size));
        // unbuffered: header, record header, frame bytes; buffered: the
        // first refill serves both headers, then two direct blocks
        size_t failing = 3;
        CaptureStderr();
        TraceFile trace(path, MODE_READ, new Stream(path, MODE_READ, new FailingFile(failing)));
        ASSERT_TRUE(trace.openTrace());
        EXPECT_EQ(trace.readFrame(), nullptr);
        EXPECT_FALSE(trace.getStream()->isEof());
        EXPECT_EQ(trace.readFrame(), nullptr);
        EXPECT_EQ(GetCapturedStderr(), "reading packet failed\nreading record header failed\n")
            << size;
    }
}

// ----------------------------------------------------------------- writing

namespace {

// Reads the frames of a trace and builds their chains.
std::vector<Frame*> readParsedFrames(const std::string& path) {
    std::vector<Frame*> frames;
    TraceFile trace(path, MODE_READ);
    if (!trace.openTrace())
        return frames;
    while (true) {
        Frame* frame = trace.readFrame();
        if (frame != nullptr) {
            parseChain(frame);
            frames.push_back(frame);
        } else if (trace.getStream()->isEof()) {
            break;
        }
    }
    return frames;
}

void freeFrames(std::vector<Frame*>& frames) {
    for (Frame* frame : frames)
        PacketFactory::instance()->freeFrame(frame);
    frames.clear();
}

const std::string OUTPUT_HEADER(
    "\xD4\xC3\xB2\xA1\x02\x00\x04\x00\x00\x00\x00\x00\x00\x00\x00\x00\xFF\xFF\x00\x00\x01\x00\x00"
    "\x00",
    24);

}  // namespace

TEST(TraceFileWrite, EmptyOutputTraceIsTheHeaderAlone) {
    TempDir dir;
    std::string path = dir.file("out.pcap");
    for (const char* size : {"0", "16", "4096"}) {
        ScopedConfiguration config(blockSizes(size, size));
        CaptureStderr();
        {
            TraceFile trace(path, MODE_WRITE);
            EXPECT_EQ(trace.getMode(), MODE_WRITE);
            EXPECT_TRUE(trace.openTrace());
        }
        EXPECT_EQ(GetCapturedStderr(), "");
        EXPECT_EQ(testsupport::readFile(path), OUTPUT_HEADER) << size;
    }
}

TEST(TraceFileWrite, OutputFileIsCreatedByTheConstructor) {
    TempDir dir;
    std::string path = dir.file("out.pcap");
    testsupport::writeFile(path, "previous content");
    ScopedConfiguration config;
    {
        TraceFile trace(path, MODE_WRITE);
        EXPECT_TRUE(testsupport::fileExists(path));
        EXPECT_EQ(testsupport::readFile(path), "");
    }
    EXPECT_EQ(testsupport::readFile(path), "");
}

TEST(TraceFileWrite, RecordLengthsAreTheSerializedLength) {
    TempDir dir;
    std::string in = dir.file("in.pcap"), out = dir.file("out.pcap");
    // ARP: captured 60 of 1514, padding dropped by the chain and restored
    // by Ethernet; then an unknown EtherType (the bytes stay one packet).
    std::string opaque = opaqueFrame(100, 3);
    testsupport::writeFile(
        in, fileHeader() + record(arpFrame(), 12, 345, 1514) + record(opaque, 77, 88, 4000));
    ScopedConfiguration config(blockSizes("1024", "1024"));
    std::vector<Frame*> frames = readParsedFrames(in);
    ASSERT_EQ(frames.size(), 2u);
    CaptureStderr();
    {
        TraceFile trace(out, MODE_WRITE);
        ASSERT_TRUE(trace.openTrace());
        for (Frame* frame : frames)
            EXPECT_TRUE(trace.writeFrame(frame));
        // frames stay the caller's and keep their record values
        EXPECT_EQ(frames[0]->originalLength, 1514u);
    }
    EXPECT_EQ(GetCapturedStderr(), "");
    freeFrames(frames);
    std::string written = testsupport::readFile(out);
    ASSERT_GE(written.size(), 24u + 16u);
    EXPECT_EQ(written.substr(0, 24), OUTPUT_HEADER);
    EXPECT_EQ(readU32(written, 24), 12u);
    EXPECT_EQ(readU32(written, 28), 345u);
    EXPECT_EQ(readU32(written, 32), 60u);
    EXPECT_EQ(readU32(written, 36), 60u);
    EXPECT_EQ(written.substr(40, 60), arpFrame());
    size_t second = 40 + 60;
    ASSERT_GE(written.size(), second + 16);
    EXPECT_EQ(readU32(written, second), 77u);
    EXPECT_EQ(readU32(written, second + 4), 88u);
    uint32_t length = readU32(written, second + 8);
    EXPECT_EQ(readU32(written, second + 12), length);
    EXPECT_EQ(written.size(), second + 16 + length);
}

TEST(TraceFileWrite, FailingWritesAreReported) {
    if (!testsupport::fileExists("/dev/full"))
        GTEST_SKIP();
    TempDir dir;
    std::string in = dir.file("in.pcap");
    testsupport::writeFile(in, fileHeader() + record(arpFrame()));
    {
        ScopedConfiguration config(blockSizes("0", "0"));
        std::vector<Frame*> frames = readParsedFrames(in);
        ASSERT_EQ(frames.size(), 1u);
        CaptureStderr();
        {
            TraceFile trace("/dev/full", MODE_WRITE);
            EXPECT_FALSE(trace.writeFrame(frames[0]));
        }
        EXPECT_EQ(GetCapturedStderr(), "writing packet failed\n");
        CaptureStderr();
        {
            TraceFile trace("/dev/full", MODE_WRITE);
            EXPECT_FALSE(trace.openTrace());
        }
        EXPECT_EQ(GetCapturedStderr(), "writing pcap header to file full failed\n");
        freeFrames(frames);
    }
    {
        // The header waits in a write buffer of exactly its size; the record
        // header makes it go to the file, which refuses it.
        ScopedConfiguration config(blockSizes("0", "24"));
        std::vector<Frame*> frames = readParsedFrames(in);
        CaptureStderr();
        {
            TraceFile trace("/dev/full", MODE_WRITE);
            EXPECT_TRUE(trace.openTrace());
            EXPECT_FALSE(trace.writeFrame(frames[0]));
            EXPECT_FALSE(trace.writeFrame(frames[0]));
        }
        EXPECT_EQ(GetCapturedStderr(), "writing packet failed\nwriting packet failed\n");
        freeFrames(frames);
    }
}

TEST(TraceFileWrite, NotOpenOutputWritesNothingAndSaysNothingMore) {
    TempDir dir;
    std::string in = dir.file("in.pcap");
    testsupport::writeFile(in, fileHeader() + record(arpFrame()));
    ScopedConfiguration config;
    std::vector<Frame*> frames = readParsedFrames(in);
    ASSERT_EQ(frames.size(), 1u);
    CaptureStderr();
    {
        TraceFile trace(dir.file("no/such/dir/out.pcap"), MODE_WRITE);
        EXPECT_FALSE(trace.writeFrame(frames[0]));
    }
    EXPECT_EQ(GetCapturedStderr(), "opening out.pcap failed\n");
    freeFrames(frames);
}

// ------------------------------------------------------- standard streams

TEST(TraceFileStandardStreamsDeathTest, StdoutForReadingBecomesAWritingTrace) {
    TempDir dir;
    std::string captured = dir.file("stdout.bin");
    ScopedConfiguration config;
    EXPECT_EXIT(
        {
            if (std::freopen(captured.c_str(), "wb", stdout) == nullptr)
                std::_Exit(3);
            TraceFile trace("stdout", MODE_READ);
            if (trace.getMode() != MODE_WRITE)
                std::_Exit(4);
            if (trace.getStream()->getIoSource() != Stream::IO_STDOUT)
                std::_Exit(5);
            if (!trace.openTrace())
                std::_Exit(6);
            if (trace.readFrame() != nullptr || trace.getStream()->isEof())
                std::_Exit(7);
            std::fflush(stdout);
            std::_Exit(testsupport::readFile(captured) == OUTPUT_HEADER ? 0 : 8);
        },
        testing::ExitedWithCode(0),
        "^Invalid IO: stdout and read. Converting read to write\nreading record header failed\n$");
}

TEST(TraceFileStandardStreamsDeathTest, StdinForWritingBecomesAReadingTrace) {
    TempDir dir;
    std::string input = dir.file("in.pcap");
    std::string frame = arpFrame();
    testsupport::writeFile(input, fileHeader() + record(frame) + record(frame).substr(0, 30));
    ScopedConfiguration config;
    EXPECT_EXIT(
        {
            if (std::freopen(input.c_str(), "rb", stdin) == nullptr)
                std::_Exit(3);
            TraceFile trace("stdin", MODE_WRITE);
            if (trace.getMode() != MODE_READ)
                std::_Exit(4);
            if (trace.getStream()->getIoSource() != Stream::IO_STDIN)
                std::_Exit(5);
            if (!trace.openTrace())
                std::_Exit(6);
            Frame* first = trace.readFrame();
            if (first == nullptr || frameBytes(first) != frame)
                std::_Exit(7);
            parseChain(first);
            if (trace.writeFrame(first))
                std::_Exit(8);
            PacketFactory::instance()->freeFrame(first);
            if (trace.readFrame() != nullptr)
                std::_Exit(9);  // ends inside the frame
            if (!trace.getStream()->isEof())
                std::_Exit(10);
            std::_Exit(0);
        },
        testing::ExitedWithCode(0),
        "^Invalid IO: stdin and write. Converting write to read\nwriting packet failed\n$");
}

TEST(TraceFileStandardStreamsDeathTest, StdinTraceWithBadHeader) {
    TempDir dir;
    std::string input = dir.file("in.pcap");
    testsupport::writeFile(input, fileHeader(0xA1B2C3D4u, 101));
    ScopedConfiguration config;
    EXPECT_EXIT(
        {
            if (std::freopen(input.c_str(), "rb", stdin) == nullptr)
                std::_Exit(3);
            TraceFile trace("stdin", MODE_READ);
            std::_Exit(trace.openTrace() ? 1 : 0);
        },
        testing::ExitedWithCode(0), "^not an ethernet dump file\n$");
}

// ------------------------------------------------------------- bad input

TEST(TraceFileRead, ArbitraryBytesAfterAValidHeaderNeverCrash) {
    TempDir dir;
    std::string path = dir.file("fuzz.pcap");
    std::mt19937 random(20240601);
    for (const char* size : {"0", "13", "1024"}) {
        ScopedConfiguration config(blockSizes(size, size));
        for (int round = 0; round < 60; ++round) {
            std::string content = fileHeader();
            int records = random() % 12;
            for (int i = 0; i < records; ++i) {
                uint32_t length;
                switch (random() % 6) {
                    case 0:
                        length = 0;
                        break;
                    case 1:
                        length = random() % 14;
                        break;
                    case 2:
                        length = 65535 + random() % 3;
                        break;
                    case 3:
                        length = random();
                        break;
                    default:
                        length = random() % 2000;
                        break;
                }
                std::string bytes(std::min<uint32_t>(length, 70000), '\0');
                for (char& byte : bytes)
                    byte = static_cast<char>(random());
                content += recordHeader(random(), random(), length, random()) + bytes;
            }
            size_t garbage = random() % 300;
            for (size_t i = 0; i < garbage; ++i)
                content += static_cast<char>(random());
            content = content.substr(0, 24 + random() % (content.size() - 23));
            testsupport::writeFile(path, content);

            CaptureStderr();
            ReadResult result = readAll(path, 100000);
            std::string err = GetCapturedStderr();
            ASSERT_TRUE(result.opened);
            EXPECT_TRUE(result.endReached) << round;
            // only the documented message for refused sizes
            std::istringstream lines(err);
            std::string line;
            size_t messages = 0;
            while (std::getline(lines, line)) {
                EXPECT_EQ(line.rfind("invalid frame size of ", 0), 0u) << line;
                ++messages;
            }
            // the rest of the empty results are records too short to hold
            // an Ethernet header, dropped silently
            EXPECT_LE(messages, result.failures) << round;
        }
    }
}

// ---------------------------------------------------------------- corpus

namespace {

struct ManifestEntry {
    std::string file;
    size_t packets;
    uint64_t maxCaptured;
};

std::vector<ManifestEntry> readManifest() {
    std::vector<ManifestEntry> entries;
    std::ifstream in(testsupport::corpusPath("MANIFEST.tsv"));
    std::string line;
    std::getline(in, line);  // column names
    while (std::getline(in, line)) {
        std::vector<std::string> columns;
        std::stringstream fields(line);
        std::string field;
        while (std::getline(fields, field, '\t'))
            columns.push_back(field);
        if (columns.size() < 7)
            continue;
        entries.push_back({columns[0], std::stoul(columns[2]), std::stoull(columns[6])});
    }
    return entries;
}

}  // namespace

TEST(TraceFileCorpus, EveryFileReadsItsFramesAndWritesBackAReadableTrace) {
    std::vector<ManifestEntry> entries = readManifest();
    if (entries.empty())
        GTEST_SKIP() << "no corpus at " << testsupport::corpusPath("");
    bool haveTcpdump = testsupport::runShell("command -v tcpdump >/dev/null").status == 0;
    TempDir dir;
    ScopedConfiguration config;
    for (const ManifestEntry& entry : entries) {
        SCOPED_TRACE(entry.file);
        std::string out = dir.file("out.pcap");
        size_t frames = 0, written = 0, failures = 0;
        CaptureStderr();
        {
            TraceFile input(testsupport::corpusPath(entry.file), MODE_READ);
            TraceFile output(out, MODE_WRITE);
            ASSERT_TRUE(input.openTrace());
            ASSERT_TRUE(output.openTrace());
            for (size_t call = 0; call < 1000000; ++call) {
                Frame* frame = input.readFrame();
                if (frame == nullptr) {
                    if (input.getStream()->isEof())
                        break;
                    ++failures;
                    continue;
                }
                ++frames;
                parseChain(frame);
                if (output.writeFrame(frame))
                    ++written;
                PacketFactory::instance()->freeFrame(frame);
            }
            EXPECT_TRUE(input.getStream()->isEof());
        }
        std::string err = GetCapturedStderr();
        if (entry.maxCaptured <= 65535) {
            EXPECT_EQ(frames, entry.packets);
            EXPECT_EQ(failures, 0u);
            EXPECT_EQ(err, "");
        } else {
            EXPECT_NE(err.find("invalid frame size of "), std::string::npos) << err;
        }
        EXPECT_EQ(written, frames);

        // What was written reads back frame for frame, with our reader and
        // with tcpdump.
        CaptureStderr();
        ReadResult again = readAll(out);
        EXPECT_EQ(GetCapturedStderr(), "");
        EXPECT_EQ(again.frames.size(), written);
        if (haveTcpdump) {
            testsupport::ProcessResult check =
                testsupport::runShell("tcpdump -n -r '" + out + "' > /dev/null");
            EXPECT_EQ(check.status, 0) << check.err;
            EXPECT_EQ(check.err.find("tcpdump: "), std::string::npos) << check.err;
        }
    }
}
