// Streams and buffered files.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "BufferedFile.h"
#include "Stream.h"
#include "TestSupport.h"

using testsupport::ScopedConfiguration;
using testsupport::Settings;
using testsupport::TempDir;

namespace {

std::string pattern(size_t size, unsigned seed = 3) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<char>((i * 7 + seed + (i >> 8)) & 0xff);
    }
    return bytes;
}

long fileSize(const std::string& path) {
    struct stat info;
    if (stat(path.c_str(), &info) != 0)
        return -1;
    return static_cast<long>(info.st_size);
}

Settings blockSizes(const std::string& readSize, const std::string& writeSize) {
    Settings settings;
    settings.blockSizeRead = readSize;
    settings.blockSizeWrite = writeSize;
    return settings;
}

// A BufferedFile that records every operation on the underlying file and
// can make one read operation fail with an error.
class ObservedFile : public BufferedFile {
  public:
    struct Operation {
        const void* address;
        size_t requested;
        size_t delivered;
    };
    std::vector<Operation> reads;
    std::vector<Operation> writes;
    // 1-based index of the read operation that fails (0: none), and how many
    // bytes it still delivers.
    size_t failingRead = 0;
    size_t failingReadDelivers = 0;

  protected:
    size_t fileRead(void* dst, size_t n) override {
        if (failingRead != 0 && reads.size() + 1 == failingRead) {
            reads.push_back({dst, n, failingReadDelivers});
            injected = true;
            return failingReadDelivers;
        }
        size_t got = BufferedFile::fileRead(dst, n);
        reads.push_back({dst, n, got});
        return got;
    }
    size_t fileWrite(const void* src, size_t n) override {
        size_t done = BufferedFile::fileWrite(src, n);
        writes.push_back({src, n, done});
        return done;
    }
    bool fileError() override { return injected || BufferedFile::fileError(); }

  private:
    bool injected = false;
};

}  // namespace

// ---------------------------------------------------------------- reading

TEST(BufferedFileRead, File1504In16ByteRequestsWith1024Buffer) {
    TempDir dir;
    std::string path = dir.file("data.bin");
    std::string content = pattern(1504);
    testsupport::writeFile(path, content);

    ScopedConfiguration config(blockSizes("1024", "1024"));
    Stream stream(path, MODE_READ);
    ASSERT_TRUE(stream.isOpen());
    ASSERT_TRUE(stream.good());
    EXPECT_EQ(stream.getFile()->getReadBufferSize(), 1024u);

    std::string got;
    for (int request = 1; request <= 94; ++request) {
        char buffer[16];
        ASSERT_TRUE(stream.read(buffer, 16)) << "request " << request;
        got.append(buffer, 16);
        EXPECT_TRUE(stream.good()) << "request " << request;
        EXPECT_FALSE(stream.isEof()) << "request " << request;
    }
    EXPECT_EQ(got, content);
    // Two refills (1024 bytes, then 480 bytes and the end of the file).
    EXPECT_EQ(stream.getFile()->fileReadCount(), 2u);
    EXPECT_FALSE(stream.isEof());

    char buffer[16];
    EXPECT_FALSE(stream.read(buffer, 16));
    EXPECT_TRUE(stream.isEof());
    EXPECT_FALSE(stream.good());
    // Sticky: later requests fail as well.
    EXPECT_FALSE(stream.read(buffer, 1));
    EXPECT_FALSE(stream.read(buffer, 0));
}

TEST(BufferedFileRead, SameFileWithoutBufferReportsTheSame) {
    TempDir dir;
    std::string path = dir.file("data.bin");
    testsupport::writeFile(path, pattern(1504));
    ScopedConfiguration config(blockSizes("0", "0"));
    Stream stream(path, MODE_READ);
    char buffer[16];
    for (int request = 1; request <= 94; ++request) {
        ASSERT_TRUE(stream.read(buffer, 16));
        EXPECT_FALSE(stream.isEof());
    }
    EXPECT_EQ(stream.getFile()->fileReadCount(), 94u);
    EXPECT_FALSE(stream.read(buffer, 16));
    EXPECT_TRUE(stream.isEof());
    EXPECT_FALSE(stream.good());
}

TEST(BufferedFileRead, ExactFitIsServedFromTheBufferWithoutFileOperation) {
    TempDir dir;
    std::string path = dir.file("data.bin");
    std::string content = pattern(3000);
    testsupport::writeFile(path, content);

    ObservedFile file;
    file.setReadBufferSize(1024);
    file.open(path, MODE_READ);
    ASSERT_TRUE(file.isOpen());

    std::vector<char> buffer(1024);
    file.read(buffer.data(), 1000);
    ASSERT_EQ(file.reads.size(), 1u);  // the refill
    EXPECT_EQ(std::string(buffer.data(), 1000), content.substr(0, 1000));

    file.read(buffer.data(), 24);  // exactly the bytes left in the buffer
    EXPECT_EQ(file.reads.size(), 1u);
    EXPECT_EQ(file.fileReadCount(), 1u);
    EXPECT_EQ(std::string(buffer.data(), 24), content.substr(1000, 24));
    EXPECT_TRUE(file.good());
    EXPECT_FALSE(file.eof());

    file.read(buffer.data(), 1);  // the next request refills
    EXPECT_EQ(file.reads.size(), 2u);
    EXPECT_EQ(buffer[0], content[1024]);
    EXPECT_TRUE(file.good());
}

TEST(BufferedFileRead, LargeRequestMovesWholeBlocksDirectlyThenRefillsOnce) {
    TempDir dir;
    std::string path = dir.file("data.bin");
    std::string content = pattern(6000);
    testsupport::writeFile(path, content);

    ObservedFile file;
    file.setReadBufferSize(1024);
    file.open(path, MODE_READ);
    std::vector<char> buffer(5000);
    file.read(buffer.data(), 5000);
    EXPECT_TRUE(file.good());
    EXPECT_FALSE(file.eof());
    EXPECT_EQ(std::string(buffer.data(), 5000), content.substr(0, 5000));

    ASSERT_EQ(file.reads.size(), 5u);
    EXPECT_EQ(file.fileReadCount(), 5u);
    for (size_t block = 0; block < 4; ++block) {
        // Straight into the caller's memory, one block each.
        EXPECT_EQ(file.reads[block].address, buffer.data() + block * 1024) << block;
        EXPECT_EQ(file.reads[block].requested, 1024u);
    }
    // The refill goes into the read buffer, not the caller's memory.
    const char* refill = static_cast<const char*>(file.reads[4].address);
    EXPECT_TRUE(refill < buffer.data() || refill >= buffer.data() + buffer.size());
    EXPECT_EQ(file.reads[4].requested, 1024u);

    // 120 bytes wait in the buffer; 880 more are in the file.
    file.read(buffer.data(), 1000);
    EXPECT_TRUE(file.good());
    EXPECT_FALSE(file.eof());
    EXPECT_EQ(std::string(buffer.data(), 1000), content.substr(5000, 1000));
    file.read(buffer.data(), 1);
    EXPECT_FALSE(file.good());
    EXPECT_TRUE(file.eof());
}

TEST(BufferedFileRead, RefillHappensEvenWhenTheBlocksServedTheWholeRequest) {
    TempDir dir;
    std::string path = dir.file("data.bin");
    std::string content = pattern(4096);
    testsupport::writeFile(path, content);

    ObservedFile file;
    file.setReadBufferSize(1024);
    file.open(path, MODE_READ);
    std::vector<char> buffer(2048);
    file.read(buffer.data(), 1000);  // one refill, 24 bytes left
    file.read(buffer.data(), 24 + 1024);
    EXPECT_EQ(std::string(buffer.data(), 1048), content.substr(1000, 1048));
    // refill, one direct block, and a refill although nothing remained
    ASSERT_EQ(file.reads.size(), 3u);
    EXPECT_EQ(file.reads[1].address, buffer.data() + 24);
    file.read(buffer.data(), 100);
    EXPECT_EQ(file.reads.size(), 3u);
    EXPECT_EQ(std::string(buffer.data(), 100), content.substr(2048, 100));
    EXPECT_TRUE(file.good());
}

TEST(BufferedFileRead, FileEndDuringDirectBlocksKeepsDeliveredBytes) {
    TempDir dir;
    std::string path = dir.file("data.bin");
    std::string content = pattern(2500);
    testsupport::writeFile(path, content);

    ObservedFile file;
    file.setReadBufferSize(1024);
    file.open(path, MODE_READ);
    std::vector<char> buffer(5000, 0);
    file.read(buffer.data(), 5000);
    EXPECT_FALSE(file.good());
    EXPECT_TRUE(file.eof());
    EXPECT_EQ(std::string(buffer.data(), 2500), content);
}

TEST(BufferedFileRead, RequestTakingExactlyTheLastBytesLeavesEofFalse) {
    TempDir dir;
    std::string path = dir.file("data.bin");
    testsupport::writeFile(path, pattern(100));
    for (uint32_t blockSize : {0u, 64u, 100u, 1024u}) {
        BufferedFile file;
        file.setReadBufferSize(blockSize);
        file.open(path, MODE_READ);
        char buffer[100];
        file.read(buffer, 60);
        file.read(buffer, 40);
        EXPECT_TRUE(file.good()) << blockSize;
        EXPECT_FALSE(file.eof()) << blockSize;
        file.read(buffer, 1);
        EXPECT_FALSE(file.good()) << blockSize;
        EXPECT_TRUE(file.eof()) << blockSize;
    }
}

TEST(BufferedFileRead, ErrorDuringDirectBlockTransferIsAFailureNotEof) {
    TempDir dir;
    std::string path = dir.file("data.bin");
    testsupport::writeFile(path, pattern(8000));

    ObservedFile file;
    file.setReadBufferSize(1024);
    file.failingRead = 2;  // the second direct block
    file.failingReadDelivers = 100;
    file.open(path, MODE_READ);
    std::vector<char> buffer(5000);
    file.read(buffer.data(), 5000);
    EXPECT_FALSE(file.good());
    EXPECT_FALSE(file.eof());
    size_t operations = file.reads.size();
    file.read(buffer.data(), 10);  // sticky: nothing is tried any more
    EXPECT_FALSE(file.good());
    EXPECT_FALSE(file.eof());
    EXPECT_EQ(file.reads.size(), operations);
}

TEST(BufferedFileRead, ErrorDuringRefillIsAFailureNotEof) {
    TempDir dir;
    std::string path = dir.file("data.bin");
    testsupport::writeFile(path, pattern(8000));
    for (uint32_t blockSize : {0u, 1024u}) {
        ObservedFile file;
        file.setReadBufferSize(blockSize);
        file.failingRead = 1;
        file.open(path, MODE_READ);
        char buffer[16];
        file.read(buffer, 16);
        EXPECT_FALSE(file.good()) << blockSize;
        EXPECT_FALSE(file.eof()) << blockSize;
    }
}

TEST(StreamRead, DirectoryCannotDeliver) {
    // fopen accepts a directory for reading; reading it fails with an error.
    TempDir dir;
    ScopedConfiguration config(blockSizes("1024", "1024"));
    Stream stream(dir.path(), MODE_READ);
    if (!stream.isOpen()) {
        GTEST_SKIP() << "directory not openable here";
    }
    char buffer[24];
    EXPECT_FALSE(stream.read(buffer, 24));
    EXPECT_FALSE(stream.good());
    EXPECT_FALSE(stream.isEof());
}

// ---------------------------------------------------------------- writing

TEST(BufferedFileWrite, WritesFillingTheBufferStayUnwrittenUntilNextWrite) {
    TempDir dir;
    std::string path = dir.file("out.bin");
    std::string content = pattern(200);
    {
        ScopedConfiguration config(blockSizes("1024", "64"));
        Stream stream(path, MODE_WRITE);
        ASSERT_TRUE(stream.isOpen());
        EXPECT_EQ(fileSize(path), 0);
        ASSERT_TRUE(stream.write(content.data(), 40));
        ASSERT_TRUE(stream.write(content.data() + 40, 24));
        EXPECT_EQ(stream.getFile()->getWriteBufferItems(), 64u);
        EXPECT_EQ(stream.getFile()->fileWriteCount(), 0u);
        EXPECT_EQ(fileSize(path), 0);
        ASSERT_TRUE(stream.write(content.data() + 64, 1));
        EXPECT_EQ(stream.getFile()->fileWriteCount(), 1u);
        EXPECT_EQ(fileSize(path), 64);
        EXPECT_EQ(stream.getFile()->getWriteBufferItems(), 1u);
    }
    // Destroying the stream wrote the waiting byte.
    EXPECT_EQ(testsupport::readFile(path), content.substr(0, 65));
}

TEST(BufferedFileWrite, ExactlyFullBufferIsWrittenAtClose) {
    TempDir dir;
    std::string path = dir.file("out.bin");
    std::string content = pattern(64);
    {
        ScopedConfiguration config(blockSizes("1024", "64"));
        Stream stream(path, MODE_WRITE);
        ASSERT_TRUE(stream.write(content.data(), 64));
        EXPECT_EQ(fileSize(path), 0);
    }
    EXPECT_EQ(testsupport::readFile(path), content);
}

TEST(BufferedFileWrite, LargeWriteMovesWholeBlocksDirectly) {
    TempDir dir;
    std::string path = dir.file("out.bin");
    std::string content = pattern(5000);
    ObservedFile file;
    file.setWriteBufferSize(1024);
    file.open(path, MODE_WRITE);
    file.write(content.data(), 100);
    file.write(content.data() + 100, 4900);
    // buffer (1024 bytes), then three whole blocks from the caller's memory
    ASSERT_EQ(file.writes.size(), 4u);
    EXPECT_EQ(file.writes[0].requested, 1024u);
    for (size_t block = 1; block < 4; ++block) {
        EXPECT_EQ(file.writes[block].address, content.data() + 1024 * block) << block;
        EXPECT_EQ(file.writes[block].requested, 1024u);
    }
    EXPECT_EQ(file.getWriteBufferItems(), 5000u - 4096u);
    file.close();
    EXPECT_TRUE(file.good());
    EXPECT_EQ(testsupport::readFile(path), content);
    file.close();  // again: nothing
    EXPECT_FALSE(file.isOpen());
}

// ------------------------------------------------- sizes and equivalence

namespace {

// Writes the pieces, then reads the file back with the requests; returns
// the file's bytes and, per read request, success, eof and the bytes read.
struct RunResult {
    std::string fileBytes;
    std::string readLog;
};

RunResult runWithBlockSizes(const std::string& readSize, const std::string& writeSize,
                            const std::vector<int>& writes, const std::vector<int>& reads) {
    TempDir dir;
    std::string path = dir.file("data.bin");
    std::string content = pattern(40000, 11);
    ScopedConfiguration config(blockSizes(readSize, writeSize));
    {
        Stream out(path, MODE_WRITE);
        size_t position = 0;
        for (int size : writes) {
            EXPECT_TRUE(out.write(content.data() + position, size));
            position += size;
        }
    }
    RunResult result;
    result.fileBytes = testsupport::readFile(path);
    Stream in(path, MODE_READ);
    for (int size : reads) {
        std::vector<char> buffer(size + 1, '\x55');
        bool ok = in.read(buffer.data(), size);
        result.readLog += ok ? "ok " : "fail ";
        result.readLog += in.isEof() ? "eof " : "- ";
        result.readLog += in.good() ? "good " : "bad ";
        result.readLog += std::string(buffer.data(), size) + "|";
    }
    return result;
}

}  // namespace

TEST(BufferedFileSizes, ZeroBlockSizesGiveByteIdenticalResults) {
    std::vector<int> writes{16, 24, 1500, 3, 0, 4096, 7, 1024, 1023, 1025, 60, 9000, 1};
    std::vector<int> reads{16, 24,   1500, 3, 0,   4096, 7,  1024, 1023, 1025,
                           60, 9000, 1,    2, 100, 5000, 16, 16,   0,    1};
    RunResult unbuffered = runWithBlockSizes("0", "0", writes, reads);
    size_t total = 0;
    for (int size : writes)
        total += size;
    EXPECT_EQ(unbuffered.fileBytes, pattern(40000, 11).substr(0, total));
    for (const char* size : {"1", "7", "16", "1024", "4096", "65536"}) {
        RunResult buffered = runWithBlockSizes(size, size, writes, reads);
        EXPECT_EQ(buffered.fileBytes, unbuffered.fileBytes) << size;
        EXPECT_EQ(buffered.readLog, unbuffered.readLog) << size;
    }
    RunResult mixed = runWithBlockSizes("0", "1024", writes, reads);
    EXPECT_EQ(mixed.fileBytes, unbuffered.fileBytes);
    EXPECT_EQ(mixed.readLog, unbuffered.readLog);
}

TEST(BufferedFileSizes, ReadAndWriteSizesAreIndependent) {
    TempDir dir;
    {
        ScopedConfiguration config(blockSizes("100", "0"));
        Stream stream(dir.file("a"), MODE_WRITE);
        EXPECT_EQ(stream.getFile()->getReadBufferSize(), 100u);
        EXPECT_EQ(stream.getFile()->getWriteBufferSize(), 0u);
    }
    {
        ScopedConfiguration config(blockSizes("0", "300"));
        Stream stream(dir.file("b"), MODE_WRITE);
        EXPECT_EQ(stream.getFile()->getReadBufferSize(), 0u);
        EXPECT_EQ(stream.getFile()->getWriteBufferSize(), 300u);
    }
    {
        Settings settings;
        settings.omit = {"BlockSizeRead", "BlockSizeWrite"};
        ScopedConfiguration config(settings);
        Stream stream(dir.file("c"), MODE_WRITE);
        EXPECT_EQ(stream.getFile()->getReadBufferSize(), 0u);
        EXPECT_EQ(stream.getFile()->getWriteBufferSize(), 0u);
    }
}

TEST(BufferedFileSizes, NewBufferedFileHas1024ByteBuffers) {
    BufferedFile file;
    EXPECT_EQ(file.getReadBufferSize(), 1024u);
    EXPECT_EQ(file.getWriteBufferSize(), 1024u);
    EXPECT_EQ(file.getWriteBufferItems(), 0u);
    EXPECT_FALSE(file.isOpen());
}

// ------------------------------------------------------- opening and modes

TEST(StreamOpen, MissingFile) {
    TempDir dir;
    ScopedConfiguration config;
    Stream stream(dir.file("missing.pcap"), MODE_READ);
    EXPECT_EQ(stream.getIoSource(), Stream::IO_FILE);
    EXPECT_FALSE(stream.isOpen());
    EXPECT_FALSE(stream.good());
    EXPECT_TRUE(stream.isEof());
    char buffer[4] = {1, 2, 3, 4};
    EXPECT_FALSE(stream.read(buffer, 4));
    EXPECT_EQ(buffer[0], 1);
    EXPECT_FALSE(stream.write(buffer, 4));
}

TEST(StreamOpen, BadModeOpensNothing) {
    TempDir dir;
    ScopedConfiguration config;
    std::string path = dir.file("x.bin");
    Stream stream(path, static_cast<IoMode>(3));
    EXPECT_EQ(stream.getMode(), static_cast<IoMode>(3));
    EXPECT_FALSE(stream.isOpen());
    EXPECT_FALSE(stream.good());
    EXPECT_TRUE(stream.isEof());
    EXPECT_FALSE(testsupport::fileExists(path));
    char buffer[4] = {};
    EXPECT_FALSE(stream.write(buffer, 4));
    EXPECT_FALSE(stream.read(buffer, 4));
}

TEST(StreamOpen, WriteModeCreatesOrTruncates) {
    TempDir dir;
    ScopedConfiguration config;
    std::string path = dir.file("x.bin");
    testsupport::writeFile(path, "old content");
    {
        Stream stream(path, MODE_WRITE);
        EXPECT_TRUE(stream.isOpen());
        EXPECT_TRUE(stream.good());
        EXPECT_FALSE(stream.isEof());
        EXPECT_EQ(fileSize(path), 0);
        char buffer[4] = {};
        EXPECT_FALSE(stream.read(buffer, 4));  // output only
    }
    EXPECT_EQ(fileSize(path), 0);
}

TEST(StreamWrite, FailingWriteIsSticky) {
    if (!testsupport::fileExists("/dev/full"))
        GTEST_SKIP();
    ScopedConfiguration config(blockSizes("0", "0"));
    Stream stream("/dev/full", MODE_WRITE);
    ASSERT_TRUE(stream.isOpen());
    ASSERT_TRUE(stream.good());
    char buffer[16] = {};
    EXPECT_FALSE(stream.write(buffer, 16));
    EXPECT_FALSE(stream.good());
    EXPECT_FALSE(stream.write(buffer, 1));
}

TEST(StreamWrite, FailingCloseIsRecorded) {
    if (!testsupport::fileExists("/dev/full"))
        GTEST_SKIP();
    BufferedFile file;
    file.open("/dev/full", MODE_WRITE);
    ASSERT_TRUE(file.isOpen());
    char buffer[16] = {};
    file.write(buffer, 16);  // waits in the buffer
    EXPECT_TRUE(file.good());
    file.close();
    EXPECT_FALSE(file.good());
    EXPECT_FALSE(file.isOpen());
}

// ------------------------------------------------------- standard streams

TEST(StandardStreams, StdoutDirectionAndStates) {
    Stream out(Stream::IO_STDOUT);
    EXPECT_EQ(out.getIoSource(), Stream::IO_STDOUT);
    EXPECT_EQ(out.getMode(), MODE_WRITE);
    EXPECT_TRUE(out.good());
    EXPECT_TRUE(out.isOpen());
    EXPECT_FALSE(out.isEof());
    char buffer[4] = {};
    EXPECT_FALSE(out.read(buffer, 4));
}

// Standard input is used only in child processes: the test runner's own
// standard input may be closed (as under CI) and is left alone.
TEST(StandardStreamsDeathTest, StdinDirectionAndStates) {
    EXPECT_EXIT(
        {
            if (std::freopen("/dev/null", "rb", stdin) == nullptr)
                std::_Exit(3);
            Stream in(Stream::IO_STDIN);
            char buffer[4] = {};
            bool ok = in.getIoSource() == Stream::IO_STDIN && in.getMode() == MODE_READ &&
                      in.good() && in.isOpen() && !in.isEof() && !in.write(buffer, 4);
            std::_Exit(ok ? 0 : 1);
        },
        testing::ExitedWithCode(0), "");
}

TEST(StandardStreamsDeathTest, FileSourceIsRefused) {
    EXPECT_DEATH({ Stream stream(Stream::IO_FILE); }, "iosource != Stream::IO_FILE");
}

TEST(StandardStreamsDeathTest, StdinAtEndReadsTrueAndReportsEof) {
    EXPECT_EXIT(
        {
            if (std::freopen("/dev/null", "rb", stdin) == nullptr)
                std::_Exit(3);
            Stream in(Stream::IO_STDIN);
            char buffer[16];
            bool ok = in.read(buffer, 16);
            std::_Exit(ok && in.isEof() && in.good() ? 0 : 1);
        },
        testing::ExitedWithCode(0), "");
}

TEST(StandardStreamsDeathTest, StdinIsReadAndSwitchedToBlockingMode) {
    EXPECT_EXIT(
        {
            int fds[2];
            if (pipe(fds) != 0)
                std::_Exit(3);
            if (write(fds[1], "abcdef", 6) != 6)
                std::_Exit(3);
            close(fds[1]);
            dup2(fds[0], 0);
            fcntl(0, F_SETFL, fcntl(0, F_GETFL) | O_NONBLOCK);
            Stream in(Stream::IO_STDIN);
            if (fcntl(0, F_GETFL) & O_NONBLOCK)
                std::_Exit(4);
            char buffer[4];
            if (!in.read(buffer, 4) || std::string(buffer, 4) != "abcd" || in.isEof())
                std::_Exit(5);
            if (!in.read(buffer, 4) || !in.isEof())
                std::_Exit(6);
            std::_Exit(0);
        },
        testing::ExitedWithCode(0), "");
}

TEST(StandardStreamsDeathTest, BlockingModeSwitchFailureEndsWithStatus2) {
    EXPECT_EXIT(
        {
            close(0);
            Stream in(Stream::IO_STDIN);
            std::_Exit(0);
        },
        testing::ExitedWithCode(2), "^setting terminal nonblocking mode failed\n$");
}

TEST(StandardStreamsDeathTest, StdoutWriteFailsWhenBytesAreRefused) {
    if (!testsupport::fileExists("/dev/full"))
        GTEST_SKIP();
    EXPECT_EXIT(
        {
            if (std::freopen("/dev/full", "wb", stdout) == nullptr)
                std::_Exit(3);
            Stream out(Stream::IO_STDOUT);
            std::vector<char> bytes(1 << 20, 'x');
            bool ok = out.write(bytes.data(), static_cast<int32_t>(bytes.size()));
            std::_Exit(ok ? 1 : 0);
        },
        testing::ExitedWithCode(0), "");
}

TEST(StandardStreamsDeathTest, StdoutWriteSucceeds) {
    EXPECT_EXIT(
        {
            if (std::freopen("/dev/null", "wb", stdout) == nullptr)
                std::_Exit(3);
            Stream out(Stream::IO_STDOUT);
            std::vector<char> bytes(1 << 20, 'x');
            bool ok = out.write(bytes.data(), static_cast<int32_t>(bytes.size())) &&
                      out.write(bytes.data(), 0);
            std::fflush(stdout);
            std::_Exit(ok ? 0 : 1);
        },
        testing::ExitedWithCode(0), "");
}
