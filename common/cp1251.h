// Windows-1251 (Cyrillic) bytes to UTF-8. The code page leaves the byte 0x98 undefined and the
// readers disagree on what it becomes, so each builds its own table with its own code point for
// that byte and decodes through this one routine.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace common {

// Code points of the bytes 0x80..0xBF; 0x00..0x7F are ASCII and 0xC0..0xFF are U+0410..U+044F.
struct Cp1251Table {
    std::uint16_t high[64];
};

inline constexpr std::uint8_t kCp1251Undefined = 0x98;

// The code page's table with `undefined` as the code point of the byte 0x98.
constexpr Cp1251Table cp1251Table(std::uint16_t undefined) {
    Cp1251Table t = {{
        0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, 0x20AC, 0x2030, 0x0409,
        0x2039, 0x040A, 0x040C, 0x040B, 0x040F, 0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x0000, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, 0x00A0,
        0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7, 0x0401, 0x00A9, 0x0404, 0x00AB,
        0x00AC, 0x00AD, 0x00AE, 0x0407, 0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6,
        0x00B7, 0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457,
    }};
    t.high[kCp1251Undefined - 0x80] = undefined;
    return t;
}

// Appends the UTF-8 form of every byte, NUL included.
void appendCp1251(std::string& out, std::string_view bytes, const Cp1251Table& table);

}  // namespace common
