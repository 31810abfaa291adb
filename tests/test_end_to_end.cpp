// Process tests of the whole run: the real veilcap binary on real traces,
// checked by exact standard error, exit status, output bytes and by tshark.

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <set>
#include <sstream>
#include <thread>

#include "TestSupport.h"

using namespace testsupport;

namespace {

std::string record(const std::string& frame, uint32_t seconds = 12, uint32_t micros = 345) {
    return le32(seconds) + le32(micros) + le32(frame.size()) + le32(frame.size()) + frame;
}

std::string fromHex(const std::string& hex) {
    std::string bytes;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) {
        bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    }
    return bytes;
}

// Ethernet, IPv4 192.168.1.10 -> 10.0.0.1, TCP 40000 -> 80 (PSH ACK), "GET";
// every checksum correct, 57 bytes.
const std::string TCP_FRAME = fromHex(
    "00112233445566778899aabb08004500002b1234400040065ce6c0a8010a0a0000019c40005000000001000000"
    "02501810009c3d0000474554");

struct Veilcap {
    TempDir dir;
    Settings settings;
    std::string profile = profileXml();

    Veilcap() {
        settings.input = "in.pcap";
        settings.output = "out.pcap";
    }
    void input(const std::string& bytes) { writeFile(dir.file("in.pcap"), bytes); }
    std::string output() const { return readFile(dir.file("out.pcap")); }
    std::string settingsPath() const { return dir.file("settings.xml"); }
    ProcessResult run(const std::string& stdinData = "") {
        Settings withProfile = settings;
        withProfile.extraModules = profile;
        writeFile(settingsPath(), settingsXml(withProfile));
        return runVeilcap({"settings.xml"}, stdinData, dir.path());
    }
};

std::string echo(const Settings& s) {
    return "\tconfiguration file:\t settings.xml\n\tinput packet trace:\t " + s.input +
           "\n\toutput packet trace:\t " + s.output + "\n";
}

std::string lastLine(const std::string& text) {
    std::string trimmed = text.substr(0, text.find_last_not_of('\n') + 1);
    return trimmed.substr(trimmed.find_last_of('\n') + 1);
}

// ------------------------------------------------------------ outcomes

TEST(EndToEnd, EveryOutcomeHasItsStatusAndLastLine) {
    struct Case {
        std::string name;
        std::function<void(Veilcap&)> prepare;
        int status;
        std::string lastLines;
    };
    const std::string tcp = pcapHeader() + record(TCP_FRAME);
    const std::vector<Case> cases = {
        {"normal end", [&](Veilcap& v) { v.input(tcp); }, 0, "anonymization done\n"},
        {"input missing", [](Veilcap&) {}, 255, "opening in.pcap failed\n"},
        {"absent setting",
         [&](Veilcap& v) {
             v.input(tcp);
             v.settings.omit = {"PrintPackets"};
         },
         2, "configuration error: invalid config element\n"},
        {"missing profile submodule",
         [&](Veilcap& v) {
             v.input(tcp);
             v.profile = profileXml({}, "anon=\"AnonIdentity\"", {"IpPacket"});
         },
         2, "no ip configuration found\n"},
        {"no profile at all",
         [&](Veilcap& v) {
             v.input(tcp);
             v.profile = "";
         },
         2, "no ethernet configuration found\n"},
        {"primitive misses an attribute",
         [&](Veilcap& v) {
             v.input(tcp);
             v.profile = profileXml({{"PayloadPacketData", "anon=\"AnonShorten\""}});
         },
         2, "incomplete configuration for AnonShorten: missing newlen attribute\n"},
        {"incomplete profile",
         [&](Veilcap& v) {
             v.input(tcp);
             v.profile = profileXml({{"TcpOptions", ""}, {"MacDest", ""}, {"IpIdent", "x=\"1\""}});
         },
         2,
         "anonymization primitive EthernetPacket::anonDestMac not set\n"
         "anonymization primitive IpPacket::anonIdentifier not set\n"
         "anonymization primitive TcpPacket::anonOptions not set\n"
         "invalid configuration\n"},
        {"CryptoPAn on a variable-length field",
         [&](Veilcap& v) {
             v.input(tcp);
             v.profile = profileXml({{"PayloadPacketData",
                                      "anon=\"AnonIdentity,AnonCryptoPan\" "
                                      "key=\"0123456789abcdef0123456789abcdef\""}});
         },
         2, "invalid configuration: AnonCryptoPan cannot anonymize PayloadPacket::anonPayload\n"},
    };
    for (const Case& c : cases) {
        Veilcap v;
        c.prepare(v);
        ProcessResult result = v.run();
        EXPECT_EQ(result.status, c.status) << c.name << "\n" << result.err;
        ASSERT_GE(result.err.size(), c.lastLines.size()) << c.name;
        EXPECT_EQ(result.err.substr(result.err.size() - c.lastLines.size()), c.lastLines)
            << c.name << "\n"
            << result.err;
        EXPECT_EQ(result.err.substr(0, banner().size()), banner()) << c.name;
        if (c.status != 2 || c.name != "absent setting") {
            EXPECT_TRUE(fileExists(v.dir.file("out.pcap")))
                << c.name << ": the output is created before anything can fail";
        }
        // The settings file is written back in every outcome after loading.
        EXPECT_EQ(readFile(v.settingsPath()).find("<?xml"), std::string::npos) << c.name;
    }
}

TEST(EndToEnd, NormalRunEchoesTheSettingsAndWritesEveryFrame) {
    Veilcap v;
    v.input(pcapHeader() + record(TCP_FRAME) + record(TCP_FRAME, 13, 0));
    ProcessResult result = v.run();
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.err, banner() + echo(v.settings) + "anonymization done\n");
    std::string padded = TCP_FRAME + std::string(3, '\0');
    EXPECT_EQ(v.output(), pcapHeader() + record(padded) + record(padded, 13, 0));
}

TEST(EndToEnd, InputThatCannotBeOpenedStillCreatesTheOutput) {
    Veilcap v;
    ProcessResult result = v.run();
    EXPECT_EQ(result.status, 255);
    EXPECT_EQ(result.err, banner() + "opening in.pcap failed\n" + echo(v.settings) +
                              "opening in.pcap failed\n");
    EXPECT_TRUE(fileExists(v.dir.file("out.pcap")));
    EXPECT_EQ(v.output(), "");
}

TEST(EndToEnd, EmptyTraceGivesAHeaderOnlyOutput) {
    Veilcap v;
    v.input(pcapHeader());
    ProcessResult result = v.run();
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(lastLine(result.err), "anonymization done");
    EXPECT_EQ(v.output(), pcapHeader());
}

// --------------------------------------------------------------- dumps

std::string tcpFrameDump() {
    return "Frame\n\tnettype: \t1\n\ttimestamp: \t12sec 345microsec\n"
           "\tlength: \t57 captured, 57 original\n"
           "Ethernet packet\n\tsource mac: \t66-77-88-99-aa-bb\n\tdest mac: \t00-11-22-33-44-55\n"
           "\ttype: \t\t0x0800\n"
           "IP packet\n\tversion: \t4\n\tlength: \t20 bytes\n\ttos: \t\t0x00\n"
           "\ttotal length: \t43 bytes\n\tident: \t\t0x1234\n\tflags: \t\t0x02\n"
           "\tfragoff: \t0x0000\n\tttl: \t\t64\n\tprotocol: \t0x06\n\tchecksum: \t0x5ce6\n"
           "\tsource ip: \t192.168.1.10\n\tdest ip: \t10.0.0.1\n\toptions len: \t0\n"
           "\toptions: \t\n"
           "TCP packet\n\tsource port: \t40000\n\tdest port: \t80\n\tsequencenum: \t1\n"
           "\tacknum: \t2\n\theaderlen: \t20 bytes\n\tflags: \t\t0x0018\n"
           "\twindowsize: \t4096\n\tchecksum: \t0x9c3d\n\turgent pnt: \t0\n"
           "\toptions len: \t0\n\toptions: \t\n"
           "Payload packet\n\tlength: \t3\n\tdata: \t\t47 45 54\n\tstring: \t\"GET\"\n\n";
}

TEST(EndToEnd, DumpsShowBothChainsUnderTheSameFrameNumber) {
    Veilcap v;
    v.settings.printPackets = "1";
    // A record with captured length 0 consumes frame number 2.
    v.input(pcapHeader() + record(TCP_FRAME) + le32(1) + le32(2) + le32(0) + le32(0) +
            record(TCP_FRAME));
    ProcessResult result = v.run();
    EXPECT_EQ(result.status, 0);
    auto dumps = [](int n) {
        std::string number = std::to_string(n);
        return "------------------start original packet " + number + "------------------\n" +
               tcpFrameDump() + "------------------end   original packet " + number +
               "------------------\n" + "-----------------start anonymized packet " + number +
               "-----------------\n" + tcpFrameDump() +
               "-----------------end   anonymized packet " + number + "-----------------\n";
    };
    EXPECT_EQ(result.err, banner() + echo(v.settings) + dumps(1) + "invalid frame size of 0\n" +
                              dumps(3) + "anonymization done\n");
}

TEST(EndToEnd, SingleSteppingPromptsAfterEachWrittenFrame) {
    Veilcap v;
    v.settings.singleStepping = "1";
    v.input(pcapHeader() + record(TCP_FRAME) + record(TCP_FRAME));
    ProcessResult result = v.run("ab");
    EXPECT_EQ(result.status, 0);
    const std::string prompt = "veilcap singlestepping mode :: waiting for keyboard input >> ";
    EXPECT_EQ(result.err, banner() + echo(v.settings) + prompt + prompt + "anonymization done\n");
}

TEST(EndToEnd, AbsentSingleSteppingEndsAfterTheFirstWrittenFrame) {
    Veilcap v;
    v.settings.omit = {"SingleStepping"};
    v.input(pcapHeader() + record(TCP_FRAME) + record(TCP_FRAME));
    ProcessResult result = v.run();
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.err,
              banner() + echo(v.settings) + "configuration error: invalid config element\n");
}

// ------------------------------------------------------------ deviations

TEST(EndToEnd, InputAndOutputMayNotBeTheSameFile) {
    Veilcap v;
    std::string trace = pcapHeader() + record(TCP_FRAME);
    v.input(trace);
    v.settings.output = "./in.pcap";
    ProcessResult result = v.run();
    EXPECT_EQ(result.status, 255);
    EXPECT_EQ(lastLine(result.err), "input and output trace are the same file");
    EXPECT_EQ(readFile(v.dir.file("in.pcap")), trace);
}

TEST(EndToEnd, FullDiskEndsTheRunWithAFailure) {
    struct Case {
        std::string blockSize;
        std::string lastLine;
    };
    // A small write buffer fails at the first frame, a large one when the
    // output is closed.
    for (const Case& c :
         {Case{"100", "writing packet failed"}, Case{"65536", "writing packet failed"}}) {
        Veilcap v;
        v.settings.output = "/dev/full";
        v.settings.blockSizeWrite = c.blockSize;
        std::string trace = pcapHeader();
        for (int i = 0; i < 5; ++i)
            trace += record(TCP_FRAME);
        v.input(trace);
        ProcessResult result = v.run();
        EXPECT_EQ(result.status, 255) << c.blockSize;
        EXPECT_EQ(lastLine(result.err), c.lastLine) << c.blockSize;
        EXPECT_EQ(result.err.find("anonymization done"), std::string::npos);
        size_t first = result.err.find("writing packet failed");
        EXPECT_EQ(result.err.find("writing packet failed", first + 1), std::string::npos)
            << "reported once";
    }
}

TEST(EndToEnd, InputThatCannotDeliverEndsTheRun) {
    Veilcap v;
    v.settings.input = "stdout";
    ProcessResult result = v.run();
    EXPECT_EQ(result.status, 255);
    EXPECT_NE(result.err.find("Invalid IO: stdout and read. Converting read to write\n"),
              std::string::npos);
    EXPECT_EQ(lastLine(result.err), "reading record header failed");
}

// ------------------------------------------------------- standard streams

TEST(EndToEnd, PipelineProcessesEveryFrame) {
    std::string sample = readFile(sourcePath("examples/sample.pcap"));
    Veilcap fileRun;
    fileRun.input(sample);
    ASSERT_EQ(fileRun.run().status, 0);

    Veilcap pipeRun;
    pipeRun.settings.input = "stdin";
    pipeRun.settings.output = "stdout";
    ProcessResult result = pipeRun.run(sample);
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(lastLine(result.err), "anonymization done");
    EXPECT_EQ(result.out, fileRun.output());
}

// Runs veilcap with standard input on a pipe the test writes to piece by
// piece, so a signal can arrive at a known point of the run.
TEST(EndToEnd, SignalsStopAfterTheFrameInProgress) {
    for (int signalNumber : {SIGINT, SIGTERM}) {
        Veilcap v;
        v.settings.input = "stdin";
        v.settings.blockSizeWrite = "0";
        Settings withProfile = v.settings;
        withProfile.extraModules = v.profile;
        writeFile(v.settingsPath(), settingsXml(withProfile));

        int toChild[2];
        ASSERT_EQ(pipe(toChild), 0);
        pid_t pid = fork();
        if (pid == 0) {
            dup2(toChild[0], 0);
            close(toChild[0]);
            close(toChild[1]);
            int devnull = open("/dev/null", O_WRONLY);
            dup2(devnull, 2);
            if (chdir(v.dir.path().c_str()) != 0)
                _exit(126);
            execl(VEILCAP_BINARY, VEILCAP_BINARY, "settings.xml", (char*)nullptr);
            _exit(127);
        }
        close(toChild[0]);
        std::string first = pcapHeader() + record(TCP_FRAME) + record(TCP_FRAME);
        ASSERT_EQ(write(toChild[1], first.data(), first.size()), (ssize_t)first.size());
        // Wait until both frames are in the output: veilcap then waits for
        // the next record header.
        const size_t twoFrames = 24 + 2 * (16 + 60);
        for (int i = 0; i < 500 && v.output().size() < twoFrames; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        ASSERT_EQ(v.output().size(), twoFrames);
        kill(pid, signalNumber);
        std::string more = record(TCP_FRAME, 20) + record(TCP_FRAME, 21);
        ASSERT_EQ(write(toChild[1], more.data(), more.size()), (ssize_t)more.size());
        // The pipe stays open: only the stop flag can end the run.
        int status = 0;
        pid_t done = 0;
        for (int i = 0; i < 1000 && done == 0; ++i) {
            done = waitpid(pid, &status, WNOHANG);
            if (done == 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        close(toChild[1]);
        if (done == 0) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            FAIL() << "veilcap did not stop on signal " << signalNumber;
        }
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 0);
        std::string padded = TCP_FRAME + std::string(3, '\0');
        EXPECT_EQ(v.output(), pcapHeader() + record(padded) + record(padded) + record(padded, 20))
            << "the frame in progress is finished, nothing after it";
    }
}

}  // namespace
