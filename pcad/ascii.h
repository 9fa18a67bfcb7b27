// Reader of P-CAD schematics in their text form ("ACCEL_ASCII").
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "pcad/page.h"

namespace pcad {

// One page per "sheet" of the design, in file order, each with its index built.
// Numbers are in the file's own unit (the header's "fileUnits"); a number written with
// another unit is converted, and without a file unit numbers are taken as written. Throws std::runtime_error
// when the text is malformed, is not "ACCEL_ASCII", or holds no design or sheet.
std::vector<Page> readAscii(const std::uint8_t* data, std::size_t size);

}  // namespace pcad
