// Feeds arbitrary bytes to the P-CAD text-schematic reader: it may refuse them with an
// exception, but must not crash, hang or read out of bounds.
#include <cstddef>
#include <cstdint>
#include <exception>

#include "pcad/ascii.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    try {
        (void)pcad::readAscii(data, size);
    } catch (const std::exception&) {
    }
    return 0;
}
