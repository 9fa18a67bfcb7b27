// The Windows-1252 decoder of SBK names and texts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace sbk {

// Windows-1252 bytes to UTF-8; never fails.
std::string decodeCp1252(const std::uint8_t* bytes, std::size_t n);

}  // namespace sbk
