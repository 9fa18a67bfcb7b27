// UTF-8 path text to a file-system path without going through the ANSI code
// page on Windows.
#pragma once

#include <filesystem>
#include <string>

namespace sbk {

// Throws std::system_error when the text is not valid UTF-8 (Windows only;
// elsewhere the bytes are the path).
std::filesystem::path pathFromUtf8(const std::string& utf8);

}  // namespace sbk
