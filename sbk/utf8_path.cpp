// The error an SBK read or write throws for a path that is not valid UTF-8.
#include "sbk/utf8_path.h"

#include <system_error>

namespace sbk {

void throwInvalidPath() {
    throw std::system_error(std::make_error_code(std::errc::illegal_byte_sequence),
                            "Path is not valid UTF-8");
}

}  // namespace sbk
