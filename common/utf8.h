// UTF-8 encoding, strict decoding and counting, shared by the readers' text decoders, text
// extents and path handling.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace common {

// Appends the UTF-8 form of a code point: one to three bytes up to U+FFFF (surrogate code
// units included, each on its own), four above.
void appendUtf8(std::string& out, std::uint32_t cp);

// Strict UTF-8 to UTF-16: nothing when the text holds an overlong form, a surrogate, a code
// point above U+10FFFF, or a truncated or stray byte. Each reader reports that in its own way.
std::optional<std::u16string> utf8ToUtf16(std::string_view utf8);

// The code points of UTF-8 text, counted as its bytes that are no continuation bytes: what the
// readers take for a text's width in characters.
std::size_t codePoints(std::string_view utf8);

}  // namespace common
