// Reading numbers as the C library does in the classic "C" locale, whatever locale the host
// process has set (a decimal-comma locale must not change what a file means).
#pragma once

#include <cstddef>
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

}  // namespace common
