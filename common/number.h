// Reading numbers as the C library does in the classic "C" locale, whatever locale the host
// process has set (a decimal-comma locale must not change what a file means).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace common {

enum class RealScan {
    None,       // no number at the start of the text
    Ok,         // value is the number
    Overflow,   // too large: value is +-HUGE_VAL
    Underflow,  // too small for a normal double: value is +-0 or the inexact subnormal
};

// The number at the start of `text` as strtod reads it in the "C" locale: leading white space,
// one sign, decimal digits with '.' and an exponent, "inf", "nan", or "0x" followed by a
// hexadecimal digit (possibly after the point). `value` receives what strtod would return and
// `end` the offset after the number; both stay untouched for None. The status says what strtod
// would report through errno; each reader decides what to make of it.
RealScan scanReal(std::string_view text, double& value, std::size_t& end);

enum class IntScan {
    None,        // no digits at the start of the text
    Ok,          // value is the number
    OutOfRange,  // beyond 64 bits: value untouched
};

// The integer at the start of `text` as strtoll reads it in base 10: leading white space, one
// sign, decimal digits. `end` receives the offset after the digits (Ok and OutOfRange) and stays
// untouched for None.
IntScan scanInt(std::string_view text, std::int64_t& value, std::size_t& end);

// The whole text as a 32-bit integer in scanInt's form, nothing after the digits; nothing when it
// is not one or lies outside the range.
std::optional<std::int32_t> parseInt32(std::string_view text);

}  // namespace common
