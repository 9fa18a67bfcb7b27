// File-name rules of Windows paths, applied by hand to UTF-8 strings so that they hold the same
// on every platform (the standard library's path functions differ between Linux and mingw).
#pragma once

#include <filesystem>
#include <string>

namespace schematic {

// The file name: the part after the last '\' or '/' (after a root name such as "C:" or a
// network host), cut at the first ':' (an alternate-stream suffix is not part of the name).
std::string fileNameOf(const std::string& utf8Path);
// The extension of the file name, '.' included, lower-cased in ASCII: empty for "." and "..",
// for a name whose only '.' is its first character and for a name without '.'.
std::string lowerExtensionOf(const std::string& utf8Path);

// A path as UTF-8 and back, without the ANSI code page that mingw's narrow paths use.
// Throws when a Windows path holds UTF-16 that does not convert (a lone surrogate).
std::string toUtf8(const std::filesystem::path& path);
// Throws std::system_error for a string that is not valid UTF-8.
std::filesystem::path fromUtf8(const std::string& utf8Path);

}  // namespace schematic
