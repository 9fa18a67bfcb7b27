// Entry point of the P-CAD readers: reads a ".sch" file and picks the reader of its
// encoding (ASCII or binary) by the first bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "pcad/page.h"

namespace pcad {

// Reads the whole file named by the UTF-8 path and parses it.
std::vector<Page> loadFile(const std::string& utf8Path);

// Parses a whole file image; data may be null when size is 0.
std::vector<Page> parse(const std::uint8_t* data, std::size_t size);

}  // namespace pcad
