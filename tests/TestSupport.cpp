#include "TestSupport.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "Configuration.h"

namespace testsupport {

TempDir::TempDir() {
    char templ[] = "/tmp/veilcap-test-XXXXXX";
    if (mkdtemp(templ) == nullptr) {
        throw std::runtime_error("mkdtemp failed");
    }
    dir = templ;
}

TempDir::~TempDir() {
    std::string command = "rm -rf '" + dir + "'";
    if (std::system(command.c_str()) != 0) {
        std::fprintf(stderr, "could not remove %s\n", dir.c_str());
    }
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

void writeFile(const std::string& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
}

bool fileExists(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0;
}

static void addItem(std::string& xml, const Settings& settings, const std::string& name,
                    const std::string& value) {
    for (const std::string& omitted : settings.omit) {
        if (omitted == name) {
            return;
        }
    }
    xml += "      <configitem name=\"" + name + "\">" + value + "</configitem>\n";
}

std::string settingsXml(const Settings& s) {
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<zentrel>\n";
    xml += "  <module name=\"Settings\">\n    <submodule name=\"Flow\">\n";
    addItem(xml, s, "Input", s.input);
    addItem(xml, s, "Output", s.output);
    xml += "    </submodule>\n    <submodule name=\"Misc\">\n";
    addItem(xml, s, "UseMeasure", s.useMeasure);
    addItem(xml, s, "PrintPackets", s.printPackets);
    addItem(xml, s, "SingleStepping", s.singleStepping);
    addItem(xml, s, "BlockSizeRead", s.blockSizeRead);
    addItem(xml, s, "BlockSizeWrite", s.blockSizeWrite);
    xml += s.extraMiscItems;
    xml += "    </submodule>\n    <submodule name=\"Checksumming\">\n";
    addItem(xml, s, "ReCalculateChecksums", s.reCalculateChecksums);
    addItem(xml, s, "SetBadChecksumsToBad", s.setBadChecksumsToBad);
    xml += "    </submodule>\n  </module>\n";
    xml += s.extraModules;
    xml += "</zentrel>\n";
    return xml;
}

std::string profileXml(const std::map<std::string, std::string>& items,
                       const std::string& defaultAttributes,
                       const std::vector<std::string>& omitSubmodules) {
    static const std::vector<std::pair<std::string, std::vector<std::string>>> layout = {
        {"EthernetPacket", {"MacSource", "MacDest", "MacType"}},
        {"VlanPacket", {"VlanPriority", "VlanCfi", "VlanId", "VlanType"}},
        {"IpPacket",
         {"IpTos", "IpIdent", "IpFlags", "IpFragoffset", "IpTtl", "IpSourceip", "IpDestip",
          "IpOptions"}},
        {"IcmpPacket", {"IcmpType", "IcmpCode", "IcmpMisc"}},
        {"TcpPacket",
         {"TcpSourceport", "TcpDestport", "TcpSeqnum", "TcpAcknum", "TcpFlags", "TcpWindowsize",
          "TcpUrgentpnt", "TcpOptions"}},
        {"UdpPacket", {"UdpSourceport", "UdpDestport"}},
        {"PayloadPacket", {"PayloadPacketData"}},
        {"ArpPacket",
         {"ArpHardwaretp", "ArpPrototp", "ArpHardwareaddrlen", "ArpProtoaddrlen", "ArpOpcode",
          "ArpSourcemac", "ArpSourceip", "ArpDestmac", "ArpDestip"}},
        {"Ipv6Packet",
         {"Ipv6Trafficclass", "Ipv6Flowlabel", "Ipv6Hoplimit", "Ipv6Sourceaddr", "Ipv6Destaddr"}},
    };
    std::string xml = "  <module name=\"AnonMappings\">\n";
    for (const auto& submodule : layout) {
        bool omitted = false;
        for (const std::string& name : omitSubmodules)
            omitted = omitted || name == submodule.first;
        if (omitted)
            continue;
        xml += "    <submodule name=\"" + submodule.first + "\">\n";
        for (const std::string& item : submodule.second) {
            auto found = items.find(item);
            std::string attributes = found == items.end() ? defaultAttributes : found->second;
            if (attributes.empty())
                continue;
            xml += "      <configitem name=\"" + item + "\" " + attributes + "/>\n";
        }
        xml += "    </submodule>\n";
    }
    return xml + "  </module>\n";
}

ScopedConfiguration::ScopedConfiguration(const Settings& settings) {
    path = dir.file("settings.xml");
    writeFile(path, settingsXml(settings));
    Configuration::destroyInstance();
    Configuration::setFileName(path);
    Configuration::instance();
}

ScopedConfiguration::~ScopedConfiguration() {
    Configuration::destroyInstance();
}

std::string sourcePath(const std::string& relative) {
    return std::string(VEILCAP_SOURCE_DIR) + "/" + relative;
}

std::string corpusPath(const std::string& name) {
    return std::string(VEILCAP_SOURCE_DIR) + "/../shared/corpus/" + name;
}

// Reads both pipes until they close, feeding stdin as the child accepts it.
static void pumpPipes(int inFd, const std::string& input, int outFd, int errFd,
                      ProcessResult& result) {
    size_t written = 0;
    if (input.empty()) {
        close(inFd);
        inFd = -1;
    }
    while (outFd >= 0 || errFd >= 0) {
        struct pollfd fds[3];
        int count = 0;
        int outIndex = -1, errIndex = -1, inIndex = -1;
        if (outFd >= 0) {
            fds[count] = {outFd, POLLIN, 0};
            outIndex = count++;
        }
        if (errFd >= 0) {
            fds[count] = {errFd, POLLIN, 0};
            errIndex = count++;
        }
        if (inFd >= 0) {
            fds[count] = {inFd, POLLOUT, 0};
            inIndex = count++;
        }
        if (poll(fds, count, -1) < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        char buffer[65536];
        if (outIndex >= 0 && fds[outIndex].revents) {
            ssize_t n = read(outFd, buffer, sizeof buffer);
            if (n <= 0) {
                close(outFd);
                outFd = -1;
            } else {
                result.out.append(buffer, n);
            }
        }
        if (errIndex >= 0 && fds[errIndex].revents) {
            ssize_t n = read(errFd, buffer, sizeof buffer);
            if (n <= 0) {
                close(errFd);
                errFd = -1;
            } else {
                result.err.append(buffer, n);
            }
        }
        if (inIndex >= 0 && fds[inIndex].revents) {
            ssize_t n = (fds[inIndex].revents & POLLOUT)
                            ? write(inFd, input.data() + written, input.size() - written)
                            : -1;
            if (n > 0)
                written += n;
            if (n <= 0 || written == input.size()) {
                close(inFd);
                inFd = -1;
            }
        }
    }
    if (inFd >= 0)
        close(inFd);
}

static ProcessResult runProcess(const std::vector<std::string>& argv, const std::string& input,
                                const std::string& workingDir) {
    int inPipe[2], outPipe[2], errPipe[2];
    if (pipe(inPipe) != 0 || pipe(outPipe) != 0 || pipe(errPipe) != 0) {
        throw std::runtime_error("pipe failed");
    }
    pid_t pid = fork();
    if (pid == 0) {
        dup2(inPipe[0], 0);
        dup2(outPipe[1], 1);
        dup2(errPipe[1], 2);
        for (int fd : {inPipe[0], inPipe[1], outPipe[0], outPipe[1], errPipe[0], errPipe[1]}) {
            close(fd);
        }
        if (!workingDir.empty() && chdir(workingDir.c_str()) != 0) {
            _exit(126);
        }
        std::vector<char*> args;
        for (const std::string& arg : argv)
            args.push_back(const_cast<char*>(arg.c_str()));
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(127);
    }
    close(inPipe[0]);
    close(outPipe[1]);
    close(errPipe[1]);
    signal(SIGPIPE, SIG_IGN);
    ProcessResult result;
    pumpPipes(inPipe[1], input, outPipe[0], errPipe[0], result);
    int status = 0;
    waitpid(pid, &status, 0);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return result;
}

ProcessResult runVeilcap(const std::vector<std::string>& args, const std::string& stdinData,
                         const std::string& workingDir) {
    std::vector<std::string> argv{VEILCAP_BINARY};
    argv.insert(argv.end(), args.begin(), args.end());
    return runProcess(argv, stdinData, workingDir);
}

ProcessResult runShell(const std::string& command) {
    return runProcess({"/bin/sh", "-c", command}, "", "");
}

std::string pcapHeader() {
    static const char header[] =
        "\xd4\xc3\xb2\xa1\x02\x00\x04\x00\x00\x00\x00\x00\x00\x00\x00\x00\xff\xff\x00\x00\x01"
        "\x00\x00\x00";
    return std::string(header, 24);
}

std::string le32(uint32_t value) {
    std::string bytes(4, '\0');
    for (int i = 0; i < 4; ++i)
        bytes[i] = static_cast<char>(value >> (8 * i));
    return bytes;
}

std::string banner() {
    return "------------------\n"
           "veilcap v1.4.0-dev  --- profile-based traffic anonymization\n"
           "------------------\n";
}

}  // namespace testsupport
