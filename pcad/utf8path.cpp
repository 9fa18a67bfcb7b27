// Checked UTF-8 paths turned into file-system paths.
#include "pcad/utf8path.h"

#include <filesystem>
#include <optional>
#include <system_error>

#include "common/file.h"
#include "common/utf8.h"

namespace pcad {
namespace {

[[noreturn]] void invalid() {
    throw std::system_error(std::make_error_code(std::errc::illegal_byte_sequence));
}

std::filesystem::path nativePath(const std::string& utf8Path) {
    std::optional<std::filesystem::path> path = common::nativePath(utf8Path);
    if (!path) invalid();
    return *path;
}

}  // namespace

std::u16string utf8ToUtf16(const std::string& utf8) {
    std::optional<std::u16string> wide = common::utf8ToUtf16(utf8);
    if (!wide) invalid();
    return *wide;
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

void throwInvalidPath() { invalid(); }

}  // namespace pcad
