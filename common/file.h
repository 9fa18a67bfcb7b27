// Whole-file reads and checked writes through UTF-8 paths. Nothing here throws for a bad path
// or a failed open: the status says what happened, and each reader turns it into its own
// exception and message.
#pragma once

#include <cstdint>
#include <filesystem>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace common {

// The native path for a UTF-8 path: on Windows widened to UTF-16 (the narrow constructor would
// go through the ANSI code page), elsewhere the bytes themselves once they are known to be
// valid UTF-8, so that a bad path fails alike everywhere. Nothing for invalid UTF-8.
std::optional<std::filesystem::path> nativePath(const std::string& utf8Path);

enum class ReadStatus {
    Ok,
    BadPath,     // not valid UTF-8
    CannotOpen,  // missing, unreadable, or a path holding a NUL byte
    BadSize,     // size unknown or outside the limits; nothing was read
    Short,       // fewer bytes came than the size promised; `bytes` holds those that came
};

// Reads the whole file in one go into a buffer of its final size. The size is checked against
// [minSize, maxSize] before anything is read, so an oversized file costs no memory.
ReadStatus readFile(const std::string& utf8Path, std::vector<std::uint8_t>& bytes, std::uint64_t minSize = 0,
                    std::uint64_t maxSize = std::numeric_limits<std::uint64_t>::max());

enum class WriteStatus {
    Ok,
    BadPath,       // not valid UTF-8
    CannotCreate,  // the file could not be opened for writing
    WriteFailed,   // opened, but not every byte reached the file (a full disk shows only here)
};

// Replaces the file's contents with `bytes`, in binary mode (a line feed stays a line feed).
WriteStatus writeFile(const std::string& utf8Path, std::string_view bytes);

}  // namespace common
