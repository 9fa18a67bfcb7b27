// Windows-1252 to UTF-8: ASCII runs copied whole, the other bytes through the code page's table.
#include "sbk/cp1252.h"

#include <string_view>

#include "common/ascii.h"
#include "common/utf8.h"

namespace sbk {

namespace {

// Code points of the bytes 0x80..0x9F; the five bytes the code page leaves
// undefined keep their C1 control value.
constexpr std::uint16_t kHighTable[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

}  // namespace

std::string decodeCp1252(const std::uint8_t* bytes, std::size_t n) {
    std::string out;
    if (bytes == nullptr) return out;
    out.reserve(n);
    std::string_view rest(reinterpret_cast<const char*>(bytes), n);
    while (!rest.empty()) {
        const std::size_t run = common::asciiPrefix(rest);
        out.append(rest.data(), run);
        if (run == rest.size()) break;
        const auto b = static_cast<std::uint8_t>(rest[run]);
        common::appendUtf8(out, b <= 0x9F ? kHighTable[b - 0x80] : b);
        rest.remove_prefix(run + 1);
    }
    return out;
}

}  // namespace sbk
