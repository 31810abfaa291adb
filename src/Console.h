#ifndef VEILCAP_CONSOLE_H
#define VEILCAP_CONSOLE_H

#include <string>

// Every message, dump and prompt of veilcap goes to standard error, one
// line at a time, flushed after each line.

// Writes text followed by a newline to standard error and flushes it.
void printLine(const std::string& text);

// Writes text as it is (no newline added) to standard error and flushes it.
void printText(const std::string& text);

#endif
