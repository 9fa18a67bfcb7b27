// ASCII-only case folding: bytes other than A..Z and a..z never change, whatever the locale.
#pragma once

#include <string>
#include <string_view>

namespace common {

constexpr char asciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

constexpr char asciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

std::string asciiLowerCase(std::string text);
std::string asciiUpperCase(std::string text);

// Equal after folding A..Z and a..z alike.
bool equalsIgnoringAsciiCase(std::string_view a, std::string_view b);

}  // namespace common
