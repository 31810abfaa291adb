#include <string>

#include "Configuration.h"
#include "Console.h"
#include "ExitStatus.h"
#include "ProcessingRun.h"

namespace {
void printBanner() {
    printLine("------------------");
    printLine(std::string("veilcap v") + "1.4.0-dev" + "  --- profile-based traffic anonymization");
    printLine("------------------");
}
}  // namespace

int main(int argc, char** argv) {
    printBanner();
    if (argc != 2) {
        printLine("Invalid parameters");
        printLine("Usage: veilcap settings.xml");
        return EXIT_STATUS_USAGE;
    }
    std::string settingsFile = argv[1];
    Configuration::setFileName(settingsFile);
    Configuration::instance();
    return runProcessing(settingsFile) == 0 ? EXIT_STATUS_OK : EXIT_STATUS_TRACE_ERROR;
}
