#ifndef VEILCAP_PROCESSINGRUN_H
#define VEILCAP_PROCESSINGRUN_H

#include <string>

// The processing run: sets up the input and output traces and the
// anonymization profile, then reads, anonymizes and writes every frame.
// Returns 0 after a normal end or an interruption, -1 when a trace cannot
// be opened, read or written.
int runProcessing(const std::string& settingsFileName);

#endif
