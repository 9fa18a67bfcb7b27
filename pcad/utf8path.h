// Opening files from UTF-8 paths the same way on every platform: the path is checked
// strictly first, so an invalid one fails alike everywhere, and on Windows it is widened
// to UTF-16 by hand (the narrow path constructor would use the ANSI code page).
#pragma once

#include <fstream>
#include <string>

namespace pcad {

// Strict UTF-8 to UTF-16. Overlong forms, surrogates, code points above U+10FFFF and
// truncated or stray bytes throw std::system_error (std::errc::illegal_byte_sequence).
std::u16string utf8ToUtf16(const std::string& utf8);

// Throws what utf8ToUtf16 throws for a path that is not valid UTF-8.
[[noreturn]] void throwInvalidPath();

// Opens for reading in binary mode. A path that is not valid UTF-8 throws as above;
// a file that cannot be opened (or a path holding a NUL byte) leaves the stream closed.
std::ifstream openInputFile(const std::string& utf8Path);

// Opens for writing in binary mode, replacing any previous contents; failures as above.
std::ofstream openOutputFile(const std::string& utf8Path);

}  // namespace pcad
