// Whole-file reads and checked writes through UTF-8 paths, reported by status, never thrown.
#include "common/file.h"

#include <fstream>

#include "common/utf8.h"

namespace common {

std::optional<std::filesystem::path> nativePath(const std::string& utf8Path) {
    const std::optional<std::u16string> wide = utf8ToUtf16(utf8Path);
    if (!wide) return std::nullopt;
#ifdef _WIN32
    return std::filesystem::path(std::wstring(wide->begin(), wide->end()));
#else
    return std::filesystem::path(utf8Path);
#endif
}

ReadStatus readFile(const std::string& utf8Path, std::vector<std::uint8_t>& bytes, std::uint64_t minSize,
                    std::uint64_t maxSize) {
    bytes.clear();
    const std::optional<std::filesystem::path> path = nativePath(utf8Path);
    if (!path) return ReadStatus::BadPath;
    // A NUL byte would cut the path short at the system call and name another file.
    if (utf8Path.find('\0') != std::string::npos) return ReadStatus::CannotOpen;
    std::ifstream in(*path, std::ios::in | std::ios::binary | std::ios::ate);
    if (!in.is_open()) return ReadStatus::CannotOpen;

    const std::streamoff end = in.tellg();
    if (end < 0) return ReadStatus::BadSize;
    const auto size = static_cast<std::uint64_t>(end);
    if (size < minSize || size > maxSize || size > bytes.max_size()) return ReadStatus::BadSize;

    bytes.resize(static_cast<std::size_t>(size));
    in.seekg(0, std::ios::beg);
    if (!in) return ReadStatus::Short;
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    const auto got = static_cast<std::size_t>(in.gcount());
    if (got != bytes.size()) {
        bytes.resize(got);
        return ReadStatus::Short;
    }
    return ReadStatus::Ok;
}

WriteStatus writeFile(const std::string& utf8Path, std::string_view bytes) {
    const std::optional<std::filesystem::path> path = nativePath(utf8Path);
    if (!path) return WriteStatus::BadPath;
    if (utf8Path.find('\0') != std::string::npos) return WriteStatus::CannotCreate;
    std::ofstream out(*path, std::ios::out | std::ios::binary | std::ios::trunc);
    if (!out.is_open()) return WriteStatus::CannotCreate;
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    // Flushed and closed before the check: the last bytes may fail only then.
    out.close();
    return out ? WriteStatus::Ok : WriteStatus::WriteFailed;
}

}  // namespace common
