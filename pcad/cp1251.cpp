#include "pcad/cp1251.h"

namespace pcad {
namespace {

// Code points of the bytes 0x80..0xBF; 0x98 is undefined in the code page and maps to U+FFFF.
constexpr std::uint16_t kHigh[64] = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, 0x20AC, 0x2030, 0x0409, 0x2039, 0x040A,
    0x040C, 0x040B, 0x040F, 0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0xFFFF, 0x2122,
    0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, 0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6,
    0x00A7, 0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407, 0x00B0, 0x00B1, 0x0406, 0x0456,
    0x0491, 0x00B5, 0x00B6, 0x00B7, 0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457,
};

}  // namespace

void appendUtf8(std::string& out, std::uint32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xE0 | ((cp >> 12) & 0x0F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

std::string decodeCp1251(const std::uint8_t* data, std::size_t size) {
    std::string out;
    if (data == nullptr) return out;
    if (size > 7 && size <= out.max_size() / 2) out.reserve(size * 2);
    for (std::size_t i = 0; i < size; ++i) {
        const std::uint8_t b = data[i];
        std::uint32_t cp;
        if (b < 0x80) {
            cp = b;
        } else if (b < 0xC0) {
            cp = kHigh[b - 0x80];
        } else {
            cp = b + 0x350u;
        }
        appendUtf8(out, cp);
    }
    return out;
}

}  // namespace pcad
