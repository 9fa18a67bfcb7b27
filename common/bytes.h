// Little-endian values assembled byte by byte, so that the host's byte order does not matter.
// The loads are unchecked: each reader proves the bytes inside its data first (with `fits`)
// and reports a short read with its own message.
#pragma once

#include <cstdint>

namespace common {

// Whether n bytes from offset lie wholly inside data of the given size, without overflow.
constexpr bool fits(std::uint64_t offset, std::uint64_t n, std::uint64_t size) {
    return offset <= size && n <= size - offset;
}

inline std::uint16_t loadLe16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

inline std::uint32_t loadLe32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

inline std::uint64_t loadLe64(const std::uint8_t* p) {
    return static_cast<std::uint64_t>(loadLe32(p)) | (static_cast<std::uint64_t>(loadLe32(p + 4)) << 32);
}

}  // namespace common
