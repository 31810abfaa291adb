// Fault tests at the process level: the real veilcap binary against a full
// disk, unreadable and truncated inputs, frames of the largest size,
// hostile settings files and signals at random moments. Whatever happens,
// veilcap must not crash or hang, must end with a documented status, and
// what it wrote must stay a valid trace (checked with tcpdump).

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "TestSupport.h"

using namespace testsupport;

namespace {

std::string be16(uint16_t value) {
    return std::string{static_cast<char>(value >> 8), static_cast<char>(value & 0xFF)};
}

std::string record(const std::string& frame) {
    return le32(1700000000) + le32(42) + le32(frame.size()) + le32(frame.size()) + frame;
}

uint32_t le32At(const std::string& bytes, size_t offset) {
    uint32_t value = 0;
    for (int i = 3; i >= 0; --i)
        value = value << 8 | static_cast<uint8_t>(bytes[offset + i]);
    return value;
}

// The captured lengths of the records of a pcap file; fails the test when
// the file is not a sequence of complete records.
std::vector<uint32_t> recordLengths(const std::string& trace) {
    std::vector<uint32_t> lengths;
    EXPECT_GE(trace.size(), 24u);
    size_t offset = 24;
    while (offset + 16 <= trace.size()) {
        uint32_t length = le32At(trace, offset + 8);
        offset += 16 + length;
        lengths.push_back(length);
    }
    EXPECT_EQ(offset, trace.size()) << "the trace ends inside a record";
    return lengths;
}

// True when tcpdump reads the whole trace without complaint.
::testing::AssertionResult tcpdumpReads(const std::string& path) {
    ProcessResult r = runShell("tcpdump -n -r '" + path + "' > /dev/null");
    if (r.status != 0 || r.err.find("truncated") != std::string::npos ||
        r.err.find("bogus") != std::string::npos) {
        return ::testing::AssertionFailure()
               << "tcpdump status " << r.status << " on " << path << ": " << r.err;
    }
    return ::testing::AssertionSuccess();
}

struct FaultRun {
    TempDir dir;
    Settings settings;
    std::string profile = profileXml();

    std::string path(const std::string& name) const { return dir.file(name); }
    void input(const std::string& bytes) { writeFile(path("in.pcap"), bytes); }
    std::string output() const { return readFile(path("out.pcap")); }
    std::string settingsText() const {
        Settings withProfile = settings;
        withProfile.extraModules = profile;
        return settingsXml(withProfile);
    }
    ProcessResult run() {
        writeFile(path("settings.xml"), settingsText());
        return runVeilcap({"settings.xml"}, "", dir.path());
    }
};

std::string sampleRecords() {
    std::string sample = readFile(sourcePath("examples/sample.pcap"));
    return sample.substr(24);
}

const std::string MAC_PAIR = std::string("\x00\x11\x22\x33\x44\x55\x66\x77\x88\x99\xaa\xbb", 12);

std::string ipv4Header(uint16_t totalLength, uint8_t protocol) {
    std::string h;
    h += '\x45';
    h += '\x00';
    h += be16(totalLength);
    h += be16(0x1234);
    h += be16(0x4000);  // don't fragment
    h += '\x40';
    h += static_cast<char>(protocol);
    h += be16(0);  // checksum (recomputed)
    h += std::string("\xc0\xa8\x01\x0a\x0a\x00\x00\x01", 8);
    return h;
}

std::string tcpHeader() {
    std::string h = be16(40000) + be16(80) + le32(1) + le32(2);
    h += '\x50';  // data offset 5
    h += '\x18';  // PSH ACK
    h += be16(4096) + be16(0) + be16(0);
    return h;
}

const uint32_t MAX_FRAME = 65535;

std::string filler(size_t length) {
    std::string bytes(length, '\0');
    for (size_t i = 0; i < length; ++i)
        bytes[i] = static_cast<char>('a' + i % 26);
    return bytes;
}

// Frames of exactly 65535 bytes, one per protocol.
std::string maxIpv4Tcp() {
    std::string frame = MAC_PAIR + be16(0x0800) + ipv4Header(MAX_FRAME - 14, 6) + tcpHeader();
    return frame + filler(MAX_FRAME - frame.size());
}

std::string maxIpv4Udp() {
    std::string frame = MAC_PAIR + be16(0x0800) + ipv4Header(MAX_FRAME - 14, 17);
    frame += be16(5353) + be16(53) + be16(MAX_FRAME - 14 - 20) + be16(0);
    return frame + filler(MAX_FRAME - frame.size());
}

std::string maxIcmp() {
    std::string frame = MAC_PAIR + be16(0x0800) + ipv4Header(MAX_FRAME - 14, 1);
    frame += std::string("\x08\x00\x00\x00\x12\x34\x00\x01", 8);  // echo request
    return frame + filler(MAX_FRAME - frame.size());
}

std::string maxIpv6Tcp() {
    std::string frame = MAC_PAIR + be16(0x86DD);
    frame += std::string("\x60\x00\x00\x00", 4) + be16(MAX_FRAME - 14 - 40);
    frame += '\x06';  // next header TCP
    frame += '\x40';  // hop limit
    frame += std::string("\x20\x01\x0d\xb8\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x01", 16);
    frame += std::string("\x20\x01\x0d\xb8\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02", 16);
    frame += tcpHeader();
    return frame + filler(MAX_FRAME - frame.size());
}

std::string maxArp() {
    std::string frame = MAC_PAIR + be16(0x0806);
    frame += be16(1) + be16(0x0800) + std::string("\x06\x04", 2) + be16(1);
    frame += std::string("\x00\x11\x22\x33\x44\x55\xc0\xa8\x01\x0a", 10);
    frame += std::string("\x00\x00\x00\x00\x00\x00\xc0\xa8\x01\x01", 10);
    return frame + filler(MAX_FRAME - frame.size());
}

std::string maxPayload() {
    std::string frame = MAC_PAIR + be16(0x88B5);
    return frame + filler(MAX_FRAME - frame.size());
}

// 16,380 nested 802.1Q tags and one byte of payload: 65535 bytes.
std::string maxNestedVlan() {
    std::string frame = MAC_PAIR + be16(0x8100);
    while (frame.size() + 4 <= MAX_FRAME - 1) {
        bool last = frame.size() + 8 > MAX_FRAME - 1;
        frame += be16(0x0123) + be16(last ? 0x88B5 : 0x8100);
    }
    return frame + filler(MAX_FRAME - frame.size());
}

}  // namespace

// ---------------------------------------------------------------------------
// Output and input failures.

// A full disk behind a file output: the failed write ends the run with
// status 255 and "writing packet failed", never "anonymization done".
TEST(Faults, OutputOnDevFull) {
    FaultRun r;
    r.settings.output = "/dev/full";
    r.input(readFile(sourcePath("examples/sample.pcap")));
    ProcessResult result = r.run();
    EXPECT_EQ(result.status, 255) << result.err;
    EXPECT_NE(result.err.find("writing packet failed"), std::string::npos) << result.err;
    EXPECT_EQ(result.err.find("anonymization done"), std::string::npos) << result.err;
}

// The same with unbuffered writes: the first write (the file header) fails.
TEST(Faults, OutputOnDevFullUnbuffered) {
    FaultRun r;
    r.settings.output = "/dev/full";
    r.settings.blockSizeWrite = "0";
    r.input(readFile(sourcePath("examples/sample.pcap")));
    ProcessResult result = r.run();
    EXPECT_EQ(result.status, 255) << result.err;
    EXPECT_NE(result.err.find("writing pcap header to file full failed"), std::string::npos)
        << result.err;
    EXPECT_EQ(result.err.find("anonymization done"), std::string::npos) << result.err;
}

// Standard output redirected to a full disk.
TEST(Faults, StdoutOnDevFull) {
    FaultRun r;
    r.settings.output = "stdout";
    r.input(readFile(sourcePath("examples/sample.pcap")));
    writeFile(r.path("settings.xml"), r.settingsText());
    ProcessResult result =
        runShell("cd '" + r.dir.path() + "' && '" + VEILCAP_BINARY + "' settings.xml > /dev/full");
    EXPECT_EQ(result.status, 255) << result.err;
    EXPECT_NE(result.err.find("writing packet failed"), std::string::npos) << result.err;
    EXPECT_EQ(result.err.find("anonymization done"), std::string::npos) << result.err;
}

// Tests run as root, where chmod 000 does not stop reading; an input that
// cannot be read is made here as a directory (it opens, but reading fails
// with EISDIR) and as a path under a folder that does not exist (it does
// not open).
TEST(Faults, InputIsADirectory) {
    FaultRun r;
    ASSERT_EQ(mkdir(r.path("in.pcap").c_str(), 0755), 0);
    ProcessResult result = r.run();
    EXPECT_EQ(result.status, 255) << result.err;
    EXPECT_NE(result.err.find("reading pcap header from file in.pcap failed"), std::string::npos)
        << result.err;
    EXPECT_EQ(result.err.find("anonymization done"), std::string::npos) << result.err;
}

TEST(Faults, InputUnderMissingFolder) {
    FaultRun r;
    r.settings.input = "no-such-folder/in.pcap";
    ProcessResult result = r.run();
    EXPECT_EQ(result.status, 255) << result.err;
    EXPECT_NE(result.err.find("opening in.pcap failed"), std::string::npos) << result.err;
    EXPECT_EQ(result.err.find("anonymization done"), std::string::npos) << result.err;
}

// The input cut at every byte offset. Inside the file header the trace
// cannot be opened (status 255, one message); from the header on, each run
// ends quietly with status 0 and a valid output holding the complete
// frames.
TEST(Faults, InputTruncatedAtEveryOffset) {
    const std::string trace = readFile(sourcePath("tests/data/tcpdump__dns_udp.pcap"));
    ASSERT_EQ(trace.size(), 420u);
    FaultRun r;
    writeFile(r.path("settings.xml"), r.settingsText());
    const std::string settings = readFile(r.path("settings.xml"));
    for (size_t cut = 0; cut <= trace.size(); ++cut) {
        SCOPED_TRACE("cut at " + std::to_string(cut));
        r.input(trace.substr(0, cut));
        writeFile(r.path("settings.xml"), settings);
        ProcessResult result = runVeilcap({"settings.xml"}, "", r.dir.path());
        if (cut < 24) {
            EXPECT_EQ(result.status, 255) << result.err;
            EXPECT_NE(result.err.find("reading pcap header from file in.pcap failed"),
                      std::string::npos)
                << result.err;
            continue;
        }
        ASSERT_EQ(result.status, 0) << result.err;
        EXPECT_NE(result.err.find("anonymization done"), std::string::npos) << result.err;
        EXPECT_EQ(result.err.find("failed"), std::string::npos) << result.err;
        EXPECT_TRUE(tcpdumpReads(r.path("out.pcap")));
        // Records: 24 + 16 + 98 (the first ends at 138), 138 + 16 + 266.
        size_t expected = cut < 138 ? 0 : cut < 420 ? 1 : 2;
        EXPECT_EQ(recordLengths(r.output()).size(), expected);
    }
}

// ---------------------------------------------------------------------------
// Frames of the largest size.

TEST(Faults, LargestFrameOfNestedVlanTags) {
    FaultRun r;
    std::string frame = maxNestedVlan();
    ASSERT_EQ(frame.size(), MAX_FRAME);
    r.input(pcapHeader() + record(frame) + record(frame));
    ProcessResult result = r.run();
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_NE(result.err.find("anonymization done"), std::string::npos);
    EXPECT_TRUE(tcpdumpReads(r.path("out.pcap")));
    EXPECT_EQ(recordLengths(r.output()), (std::vector<uint32_t>{MAX_FRAME, MAX_FRAME}));
}

TEST(Faults, LargestFrameOfEveryProtocol) {
    struct Case {
        const char* name;
        std::string frame;
    };
    const Case cases[] = {
        {"IPv4/TCP", maxIpv4Tcp()}, {"IPv4/UDP", maxIpv4Udp()}, {"ICMP", maxIcmp()},
        {"IPv6/TCP", maxIpv6Tcp()}, {"ARP", maxArp()},          {"payload", maxPayload()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(c.frame.size(), MAX_FRAME);
        FaultRun r;
        r.input(pcapHeader() + record(c.frame));
        ProcessResult result = r.run();
        ASSERT_EQ(result.status, 0) << result.err;
        EXPECT_NE(result.err.find("anonymization done"), std::string::npos);
        EXPECT_TRUE(tcpdumpReads(r.path("out.pcap")));
        std::vector<uint32_t> lengths = recordLengths(r.output());
        ASSERT_EQ(lengths.size(), 1u);
        // ARP ends the chain: the bytes behind its header are not kept and
        // the frame is padded to the Ethernet minimum of 60 bytes.
        EXPECT_EQ(lengths[0], std::string(c.name) == "ARP" ? 60u : MAX_FRAME);
    }
}

// One byte more than the largest frame is refused with a message, and the
// frames around it are kept.
TEST(Faults, FrameLargerThanTheLargestIsRefused) {
    FaultRun r;
    std::string big = maxPayload() + "x";
    std::string small = maxPayload().substr(0, 100);
    r.input(pcapHeader() + record(small) + le32(1) + le32(2) + le32(big.size()) + le32(big.size()));
    ProcessResult result = r.run();
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_NE(result.err.find("invalid frame size of 65536"), std::string::npos) << result.err;
    EXPECT_TRUE(tcpdumpReads(r.path("out.pcap")));
}

// ---------------------------------------------------------------------------
// Hostile settings files.

// A 10 MB key: AnonCryptoPan takes its first 32 bytes; the HMAC primitives
// refuse keys longer than 65535 bytes with status 2.
TEST(Faults, SettingsWithTenMegabyteKey) {
    const std::string hugeKey(10 * 1024 * 1024, 'k');
    {
        FaultRun r;
        r.profile = profileXml({{"IpSourceip", "anon=\"AnonCryptoPan\" key=\"" + hugeKey + "\""}});
        r.input(readFile(sourcePath("examples/sample.pcap")));
        ProcessResult result = r.run();
        EXPECT_EQ(result.status, 0) << result.err.substr(0, 2000);
        EXPECT_NE(result.err.find("anonymization done"), std::string::npos);
        EXPECT_TRUE(tcpdumpReads(r.path("out.pcap")));
        // Written back whole.
        EXPECT_NE(readFile(r.path("settings.xml")).find(hugeKey), std::string::npos);
    }
    {
        FaultRun r;
        r.profile =
            profileXml({{"MacSource", "anon=\"AnonHashHmacSha1\" key=\"" + hugeKey + "\""}});
        r.input(readFile(sourcePath("examples/sample.pcap")));
        ProcessResult result = r.run();
        EXPECT_EQ(result.status, 2) << result.err.substr(0, 2000);
        EXPECT_NE(result.err.find("invalid configuration for AnonHashHmacSha1: key attribute "
                                  "longer than 65535 bytes"),
                  std::string::npos)
            << result.err.substr(0, 2000);
    }
}

// A 10 MB attribute name and a 10 MB setting value.
TEST(Faults, SettingsWithTenMegabyteNameAndValue) {
    FaultRun r;
    const std::string huge(10 * 1024 * 1024, 'n');
    r.profile = profileXml({{"IpTtl", "anon=\"AnonIdentity\" " + huge + "=\"1\""}});
    r.settings.extraMiscItems = "<configitem name=\"Huge\">" + huge + "</configitem>";
    r.input(readFile(sourcePath("examples/sample.pcap")));
    ProcessResult result = r.run();
    EXPECT_EQ(result.status, 0) << result.err.substr(0, 2000);
    EXPECT_TRUE(tcpdumpReads(r.path("out.pcap")));
    std::string written = readFile(r.path("settings.xml"));
    EXPECT_NE(written.find(huge), std::string::npos);
}

std::string nestedElements(int depth, const std::string& inside = "") {
    std::string nested;
    for (int i = 0; i < depth; ++i)
        nested += "<d>";
    nested += inside;
    for (int i = 0; i < depth; ++i)
        nested += "</d>";
    return nested;
}

// 100,000 nested elements inside a configuration item. The write-back used
// to indent every level further (a rewritten file growing with the square of
// the depth: 100 s and then a crash at exit); now elements nested deeper
// than 64 levels are a configuration error and the file stays as it was.
TEST(Faults, SettingsWithDeepNesting) {
    FaultRun r;
    r.settings.extraMiscItems =
        "<configitem name=\"Deep\">" + nestedElements(100000) + "</configitem>";
    r.input(readFile(sourcePath("examples/sample.pcap")));
    std::string before = r.settingsText();
    auto start = std::chrono::steady_clock::now();
    ProcessResult result = r.run();
    auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(result.status, 2) << result.err;
    EXPECT_NE(result.err.find("configuration error: elements nested deeper than 64 levels in "
                              "file settings.xml"),
              std::string::npos)
        << result.err;
    EXPECT_EQ(readFile(r.path("settings.xml")), before);
    EXPECT_LT(seconds, 30.0);
}

// The same depth in a value veilcap reads (PrintPackets).
TEST(Faults, SettingsWithDeepNestingInAReadValue) {
    FaultRun r;
    r.settings.printPackets = nestedElements(100000, "0");
    std::string before = r.settingsText();
    ProcessResult result = r.run();
    EXPECT_EQ(result.status, 2) << result.err;
    EXPECT_NE(result.err.find("configuration error: elements nested deeper"), std::string::npos)
        << result.err;
    EXPECT_EQ(readFile(r.path("settings.xml")), before);
}

// 64 levels (root, module, submodule, item and 60 inside) are still taken.
TEST(Faults, SettingsNestedToTheLimit) {
    FaultRun r;
    r.settings.extraMiscItems = "<configitem name=\"Deep\">" + nestedElements(60) + "</configitem>";
    r.input(readFile(sourcePath("examples/sample.pcap")));
    ProcessResult result = r.run();
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_NE(readFile(r.path("settings.xml")).find("<d>"), std::string::npos);
    r.settings.extraMiscItems = "<configitem name=\"Deep\">" + nestedElements(61) + "</configitem>";
    result = r.run();
    EXPECT_EQ(result.status, 2) << result.err;
}

// Exponential entity expansion ("billion laughs") is refused quickly with
// status 2; the file is left alone.
TEST(Faults, SettingsWithEntityExpansion) {
    FaultRun r;
    std::string doctype = "<!DOCTYPE zentrel [\n<!ENTITY e0 \"lol\">\n";
    for (int i = 1; i <= 20; ++i) {
        doctype += "<!ENTITY e" + std::to_string(i) + " \"";
        for (int j = 0; j < 10; ++j)
            doctype += "&e" + std::to_string(i - 1) + ";";
        doctype += "\">\n";
    }
    doctype += "]>\n";
    r.settings.extraMiscItems = "<configitem name=\"Boom\">&e20;</configitem>";
    std::string text = r.settingsText();
    text.insert(text.find("<zentrel>"), doctype);
    writeFile(r.path("settings.xml"), text);
    r.input(readFile(sourcePath("examples/sample.pcap")));
    auto start = std::chrono::steady_clock::now();
    ProcessResult result = runVeilcap({"settings.xml"}, "", r.dir.path());
    auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(result.status, 2) << result.err;
    EXPECT_NE(result.err.find("configuration error: "), std::string::npos) << result.err;
    EXPECT_LT(seconds, 30.0);
    EXPECT_EQ(readFile(r.path("settings.xml")), text);
}

// An external entity is not fetched.
TEST(Faults, SettingsWithExternalEntity) {
    FaultRun r;
    writeFile(r.path("secret.txt"), "1");
    std::string text = r.settingsText();
    text.insert(text.find("<zentrel>"),
                "<!DOCTYPE zentrel [<!ENTITY ext SYSTEM \"" + r.path("secret.txt") + "\">]>\n");
    size_t at = text.find("<configitem name=\"PrintPackets\">0<");
    ASSERT_NE(at, std::string::npos);
    text.replace(at, std::string("<configitem name=\"PrintPackets\">0<").size(),
                 "<configitem name=\"PrintPackets\">&ext;<");
    writeFile(r.path("settings.xml"), text);
    r.input(readFile(sourcePath("examples/sample.pcap")));
    ProcessResult result = runVeilcap({"settings.xml"}, "", r.dir.path());
    // PrintPackets did not become "1": no frame dump.
    EXPECT_EQ(result.err.find("start original packet"), std::string::npos);
}

// ---------------------------------------------------------------------------
// Profiles that shorten a field before a fixed-width primitive.

// AnonShorten to 0 bytes before AnonCryptoPan on an address: found by the
// primitive fuzz target (an assertion failed and the process aborted).
TEST(Faults, ShortenToNothingBeforeCryptoPan) {
    FaultRun r;
    const std::string key = "0123456789abcdef0123456789abcdef";
    r.profile = profileXml(
        {{"IpSourceip", "anon=\"AnonShorten,AnonCryptoPan\" newlen=\"0\" key=\"" + key + "\""},
         {"Ipv6Sourceaddr", "anon=\"AnonShorten,AnonCryptoPan\" newlen=\"0\" key=\"" + key + "\""},
         {"MacSource", "anon=\"AnonShorten,AnonCryptoPan\" newlen=\"0\" key=\"" + key + "\""}});
    r.input(readFile(sourcePath("examples/sample.pcap")));
    ProcessResult result = r.run();
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_NE(result.err.find("anonymization done"), std::string::npos) << result.err;
    EXPECT_TRUE(tcpdumpReads(r.path("out.pcap")));
}

// ---------------------------------------------------------------------------
// Signals at random moments of a long run.

namespace {

// Starts veilcap in the folder with its standard streams on files there.
pid_t startVeilcap(const std::string& dir) {
    pid_t pid = fork();
    if (pid == 0) {
        if (chdir(dir.c_str()) != 0)
            _exit(126);
        int in = open("/dev/null", O_RDONLY);
        int out = open("stdout.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int err = open("stderr.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(in, 0);
        dup2(out, 1);
        dup2(err, 2);
        execl(VEILCAP_BINARY, VEILCAP_BINARY, "settings.xml", static_cast<char*>(nullptr));
        _exit(127);
    }
    return pid;
}

off_t fileSize(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 ? info.st_size : -1;
}

void interruptAtRandomMoments(int signalNumber, const char* signalName) {
    FaultRun r;
    // About 300,000 frames: the records of the sample trace, repeated.
    std::string records = sampleRecords();
    std::string trace = pcapHeader();
    trace.reserve(24 + records.size() * 860);
    for (int i = 0; i < 860; ++i)
        trace += records;
    r.input(trace);
    std::string settings = r.settingsText();

    std::mt19937 random(12345 + signalNumber);
    int interrupted = 0;
    for (int round = 0; round < 6; ++round) {
        SCOPED_TRACE(std::string(signalName) + " round " + std::to_string(round));
        writeFile(r.path("settings.xml"), settings);
        std::remove(r.path("out.pcap").c_str());
        pid_t pid = startVeilcap(r.dir.path());
        ASSERT_GT(pid, 0);
        // The handlers are installed before the output's file header is
        // written: wait until the output has grown past it.
        int status = 0;
        bool finished = false;
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (fileSize(r.path("out.pcap")) <= 24) {
            if (waitpid(pid, &status, WNOHANG) == pid) {
                finished = true;
                break;
            }
            ASSERT_LT(std::chrono::steady_clock::now(), deadline);
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        if (!finished) {
            std::this_thread::sleep_for(std::chrono::microseconds(random() % 400000));
            kill(pid, signalNumber);
            ASSERT_EQ(waitpid(pid, &status, 0), pid);
        }
        ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
        std::string err = readFile(r.path("stderr.txt"));
        EXPECT_EQ(WEXITSTATUS(status), 0) << err;
        EXPECT_NE(err.find("anonymization done"), std::string::npos) << err;
        EXPECT_TRUE(tcpdumpReads(r.path("out.pcap")));
        std::vector<uint32_t> lengths = recordLengths(r.output());
        if (lengths.size() < 351u * 860u)
            ++interrupted;
        // The settings file was written back whole.
        EXPECT_NE(readFile(r.path("settings.xml")).find("</zentrel>"), std::string::npos);
    }
    // Most rounds end by the signal, not by the end of the input.
    EXPECT_GT(interrupted, 0);
}

}  // namespace

TEST(Faults, SigintAtRandomMoments) {
    interruptAtRandomMoments(SIGINT, "SIGINT");
}

TEST(Faults, SigtermAtRandomMoments) {
    interruptAtRandomMoments(SIGTERM, "SIGTERM");
}
