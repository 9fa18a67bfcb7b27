#include "common/ascii.h"

namespace common {

std::string asciiLowerCase(std::string text) {
    for (char& c : text) c = asciiLower(c);
    return text;
}

std::string asciiUpperCase(std::string text) {
    for (char& c : text) c = asciiUpper(c);
    return text;
}

bool equalsIgnoringAsciiCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (asciiLower(a[i]) != asciiLower(b[i])) return false;
    return true;
}

}  // namespace common
