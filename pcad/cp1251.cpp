// The Windows-1251 table of the P-CAD readers and its UTF-8 decoding.
#include "pcad/cp1251.h"

#include <string_view>

#include "common/cp1251.h"

namespace pcad {
namespace {

// P-CAD text keeps the undefined byte 0x98 as U+FFFF.
constexpr common::Cp1251Table kTable = common::cp1251Table(0xFFFF);

}  // namespace

std::string decodeCp1251(const std::uint8_t* data, std::size_t size) {
    std::string out;
    if (data == nullptr) return out;
    if (size > 7 && size <= out.max_size() / 2) out.reserve(size * 2);
    common::appendCp1251(out, std::string_view(reinterpret_cast<const char*>(data), size), kTable);
    return out;
}

}  // namespace pcad
