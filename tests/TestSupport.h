#ifndef VEILCAP_TESTS_TESTSUPPORT_H
#define VEILCAP_TESTS_TESTSUPPORT_H

// Helpers shared by the tests: temporary folders, settings files, the
// Configuration singleton and running the real veilcap binary.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace testsupport {

// A fresh folder under /tmp, removed with everything in it on destruction.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return dir; }
    std::string file(const std::string& name) const { return dir + "/" + name; }

  private:
    std::string dir;
};

std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& content);
bool fileExists(const std::string& path);

// The values of the module "Settings"; an empty optional text leaves the
// item out of the file.
struct Settings {
    std::string input = "in.pcap";
    std::string output = "out.pcap";
    std::string useMeasure = "0";
    std::string printPackets = "0";
    std::string singleStepping = "0";
    std::string blockSizeRead = "4096";
    std::string blockSizeWrite = "4096";
    std::string reCalculateChecksums = "1";
    std::string setBadChecksumsToBad = "0";
    // Items named here are left out of the document.
    std::vector<std::string> omit;
    // Extra configitem elements placed in the submodule "Misc".
    std::string extraMiscItems;
    // Extra XML placed inside the root element after the "Settings" module,
    // for example an "AnonMappings" module.
    std::string extraModules;
};

std::string settingsXml(const Settings& settings);

// The module "AnonMappings" with all nine submodules and 43 items. Every
// item gets `defaultAttributes` unless `items` names it: then it gets the
// attribute text given there, and an empty text leaves the item out.
// Submodules named in `omitSubmodules` are left out.
std::string profileXml(const std::map<std::string, std::string>& items = {},
                       const std::string& defaultAttributes = "anon=\"AnonIdentity\"",
                       const std::vector<std::string>& omitSubmodules = {});

// Writes a settings file and makes it the process-wide Configuration for
// the lifetime of the object; the singleton is destroyed again afterwards.
class ScopedConfiguration {
  public:
    explicit ScopedConfiguration(const Settings& settings = Settings());
    ~ScopedConfiguration();
    const std::string& settingsPath() const { return path; }

  private:
    TempDir dir;
    std::string path;
};

// Path of a file below the source tree, e.g. "tests/data/x.pcap".
std::string sourcePath(const std::string& relative);
// Path of a file of the shared capture corpus.
std::string corpusPath(const std::string& name);

struct ProcessResult {
    int status = -1;  // exit status, or 128 + signal number
    std::string out;
    std::string err;
};

// Runs the veilcap binary with the arguments, standard input from the
// given bytes, in the given working folder (empty: the current one).
ProcessResult runVeilcap(const std::vector<std::string>& args, const std::string& stdinData = "",
                         const std::string& workingDir = "");

// Runs a shell command and returns its result (for tshark, tcpdump, ...).
ProcessResult runShell(const std::string& command);

// The 24-byte pcap file header veilcap writes (Ethernet, snapshot 65535).
std::string pcapHeader();
// A 32-bit value as 4 bytes, least significant first (pcap's byte order here).
std::string le32(uint32_t value);

// The banner veilcap prints first.
std::string banner();

}  // namespace testsupport

#endif
