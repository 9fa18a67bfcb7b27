// Windows-1251 (Cyrillic) bytes of P-CAD files to UTF-8.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "common/utf8.h"

namespace pcad {

// Every byte yields output, NUL included. The byte 0x98, undefined in the code page,
// becomes U+FFFF.
std::string decodeCp1251(const std::uint8_t* data, std::size_t size);

// Appends the UTF-8 form of a code point.
using common::appendUtf8;

}  // namespace pcad
