// What an SBK read or write reports for a path that is not valid UTF-8.
#pragma once

namespace sbk {

// Throws std::system_error (std::errc::illegal_byte_sequence) "Path is not valid UTF-8".
[[noreturn]] void throwInvalidPath();

}  // namespace sbk
