// ASCII-only case folding (bytes other than A..Z and a..z never change, whatever the locale),
// and plain-ASCII runs for the single-byte text decoders.
#pragma once

#include <string>
#include <string_view>

namespace common {

constexpr char asciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

constexpr char asciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

std::string asciiLowerCase(std::string text);
std::string asciiUpperCase(std::string text);

// The length of the leading run of bytes below 0x80, the part every single-byte code page
// shares with ASCII.
std::size_t asciiPrefix(std::string_view bytes);

// Equal after folding A..Z and a..z alike.
bool equalsIgnoringAsciiCase(std::string_view a, std::string_view b);

}  // namespace common
