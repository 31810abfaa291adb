#include "ExitStatus.h"

#include <cstdlib>

#include "Console.h"

void exitWithConfigurationError(const std::string& message) {
    printLine(message);
    std::exit(EXIT_STATUS_CONFIGURATION_ERROR);
}
