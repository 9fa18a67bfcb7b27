// Feeds arbitrary bytes to the P-CAD entry point (format detection, then the binary or the
// text reader): a file may be refused with an exception, but must not crash, hang or read
// out of bounds.
#include <cstddef>
#include <cstdint>
#include <exception>

#include "pcad/load.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    try {
        (void)pcad::parse(data, size);
    } catch (const std::exception&) {
    }
    return 0;
}
