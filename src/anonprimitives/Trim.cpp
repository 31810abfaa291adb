#include "anonprimitives/Trim.h"

std::string trim(const std::string& text) {
    static const char* const BLANKS = " \n\r\t";
    std::string::size_type first = text.find_first_not_of(BLANKS);
    if (first == std::string::npos) {
        return std::string();
    }
    std::string::size_type last = text.find_last_not_of(BLANKS);
    return text.substr(first, last - first + 1);
}
