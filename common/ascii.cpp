// ASCII case folding and ASCII runs, byte by byte and whatever the locale.
#include "common/ascii.h"

#include <cstdint>
#include <cstring>

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

std::size_t asciiPrefix(std::string_view bytes) {
    // Eight bytes at a time: whole files of plain text are decoded at copying speed.
    constexpr std::uint64_t kHighBits = 0x8080808080808080ull;
    std::size_t i = 0;
    for (std::uint64_t w; i + 8 <= bytes.size(); i += 8) {
        std::memcpy(&w, bytes.data() + i, 8);
        if ((w & kHighBits) != 0) break;
    }
    while (i < bytes.size() && static_cast<std::uint8_t>(bytes[i]) < 0x80) ++i;
    return i;
}

}  // namespace common
