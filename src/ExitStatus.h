#ifndef VEILCAP_EXITSTATUS_H
#define VEILCAP_EXITSTATUS_H

#include <string>

// The exit statuses of the veilcap process.
enum ExitStatus : int {
    EXIT_STATUS_OK = 0,                   // normal end, interruption
    EXIT_STATUS_USAGE = 1,                // wrong argument count
    EXIT_STATUS_CONFIGURATION_ERROR = 2,  // a fatal problem with the settings or the profile
    EXIT_STATUS_TRACE_ERROR = 255,        // a trace cannot be opened, read or written
};

// Prints the message line on standard error and ends the process with the
// configuration-error status. Process-exit handlers run, so a loaded
// settings document is written back.
[[noreturn]] void exitWithConfigurationError(const std::string& message);

// A test seam for the fuzz targets and their regression tests, which must
// survive the configuration-error paths: an installed handler is called
// with the message before anything else happens and is expected to leave
// by throwing (or jumping) instead of returning. The production program
// never installs one, so it prints the message and exits as described
// above. Returns the previous handler; null restores the default.
typedef void (*ConfigurationErrorHandler)(const std::string& message);
ConfigurationErrorHandler setConfigurationErrorHandler(ConfigurationErrorHandler handler);

#endif
