#ifndef VEILCAP_ANONPRIMITIVES_TRIM_H
#define VEILCAP_ANONPRIMITIVES_TRIM_H

#include <string>

// The text without leading and trailing blanks, newlines, carriage returns
// and tabs; an all-blank text becomes empty.
std::string trim(const std::string& text);

#endif
