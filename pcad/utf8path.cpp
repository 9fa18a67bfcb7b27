#include "pcad/utf8path.h"

#include <cstdint>
#include <filesystem>
#include <system_error>

namespace pcad {
namespace {

[[noreturn]] void invalid() {
    throw std::system_error(std::make_error_code(std::errc::illegal_byte_sequence));
}

std::filesystem::path nativePath(const std::string& utf8Path) {
    const std::u16string wide = utf8ToUtf16(utf8Path);
#ifdef _WIN32
    return std::filesystem::path(std::wstring(wide.begin(), wide.end()));
#else
    (void)wide;  // validated only: the bytes themselves are the native path
    return std::filesystem::path(utf8Path);
#endif
}

}  // namespace

std::u16string utf8ToUtf16(const std::string& utf8) {
    std::u16string out;
    out.reserve(utf8.size());
    const std::size_t n = utf8.size();
    std::size_t i = 0;
    while (i < n) {
        const auto b0 = static_cast<std::uint8_t>(utf8[i]);
        std::uint32_t cp;
        std::size_t len;
        std::uint32_t min;
        if (b0 < 0x80) {
            out.push_back(static_cast<char16_t>(b0));
            ++i;
            continue;
        } else if ((b0 & 0xE0) == 0xC0) {
            cp = b0 & 0x1F;
            len = 2;
            min = 0x80;
        } else if ((b0 & 0xF0) == 0xE0) {
            cp = b0 & 0x0F;
            len = 3;
            min = 0x800;
        } else if ((b0 & 0xF8) == 0xF0) {
            cp = b0 & 0x07;
            len = 4;
            min = 0x10000;
        } else {
            invalid();
        }
        if (len > n - i) invalid();
        for (std::size_t k = 1; k < len; ++k) {
            const auto b = static_cast<std::uint8_t>(utf8[i + k]);
            if ((b & 0xC0) != 0x80) invalid();
            cp = (cp << 6) | (b & 0x3F);
        }
        if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) invalid();
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
        i += len;
    }
    return out;
}

// A NUL byte would cut the path short at the system call and name another file, so a
// path holding one opens nothing.
std::ifstream openInputFile(const std::string& utf8Path) {
    std::filesystem::path p = nativePath(utf8Path);
    if (utf8Path.find('\0') != std::string::npos) return std::ifstream();
    return std::ifstream(p, std::ios::in | std::ios::binary);
}

std::ofstream openOutputFile(const std::string& utf8Path) {
    std::filesystem::path p = nativePath(utf8Path);
    if (utf8Path.find('\0') != std::string::npos) return std::ofstream();
    return std::ofstream(p, std::ios::out | std::ios::binary | std::ios::trunc);
}

}  // namespace pcad
