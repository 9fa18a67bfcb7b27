#include "sbk/utf8_path.h"

#include <cstdint>
#include <system_error>

namespace sbk {

#ifdef _WIN32
namespace {

[[noreturn]] void badUtf8() {
    throw std::system_error(std::make_error_code(std::errc::illegal_byte_sequence),
                            "Path is not valid UTF-8");
}

}  // namespace

std::filesystem::path pathFromUtf8(const std::string& utf8) {
    std::wstring wide;
    wide.reserve(utf8.size());
    const std::size_t n = utf8.size();
    std::size_t i = 0;
    while (i < n) {
        const unsigned char b0 = static_cast<unsigned char>(utf8[i]);
        std::uint32_t cp = 0;
        std::size_t len = 0;
        std::uint32_t minCp = 0;
        if (b0 < 0x80) {
            cp = b0;
            len = 1;
        } else if ((b0 & 0xE0) == 0xC0) {
            cp = b0 & 0x1F;
            len = 2;
            minCp = 0x80;
        } else if ((b0 & 0xF0) == 0xE0) {
            cp = b0 & 0x0F;
            len = 3;
            minCp = 0x800;
        } else if ((b0 & 0xF8) == 0xF0) {
            cp = b0 & 0x07;
            len = 4;
            minCp = 0x10000;
        } else {
            badUtf8();
        }
        if (len > n - i) badUtf8();
        for (std::size_t k = 1; k < len; ++k) {
            const unsigned char b = static_cast<unsigned char>(utf8[i + k]);
            if ((b & 0xC0) != 0x80) badUtf8();
            cp = (cp << 6) | (b & 0x3F);
        }
        // Overlong forms, surrogates and values past the Unicode range are refused.
        if (cp < minCp || (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) badUtf8();
        if (cp >= 0x10000) {
            cp -= 0x10000;
            wide.push_back(static_cast<wchar_t>(0xD800 + (cp >> 10)));
            wide.push_back(static_cast<wchar_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            wide.push_back(static_cast<wchar_t>(cp));
        }
        i += len;
    }
    return std::filesystem::path(wide);
}
#else
std::filesystem::path pathFromUtf8(const std::string& utf8) { return std::filesystem::path(utf8); }
#endif

}  // namespace sbk
