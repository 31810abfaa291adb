#include "ExitStatus.h"

#include <cstdlib>

#include "Console.h"

namespace {
// Null in production: nothing but the fuzz targets and their regression
// tests ever install a handler.
ConfigurationErrorHandler configurationErrorHandler = nullptr;
}  // namespace

ConfigurationErrorHandler setConfigurationErrorHandler(ConfigurationErrorHandler handler) {
    ConfigurationErrorHandler previous = configurationErrorHandler;
    configurationErrorHandler = handler;
    return previous;
}

void exitWithConfigurationError(const std::string& message) {
    if (configurationErrorHandler != nullptr) {
        // Expected not to return (it throws or jumps); if it does, the
        // production path below still ends the process.
        configurationErrorHandler(message);
    }
    printLine(message);
    std::exit(EXIT_STATUS_CONFIGURATION_ERROR);
}
