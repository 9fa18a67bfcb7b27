// Locale-free number parsing with the C library's "C"-locale results, out-of-range values included:
// reals, and base-10 integers.
#include "common/number.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <system_error>

namespace common {
namespace {

bool isBlank(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

bool isDecDigit(char c) { return c >= '0' && c <= '9'; }

bool isHexDigit(char c) { return isDecDigit(c) || ((c | 0x20) >= 'a' && (c | 0x20) <= 'f'); }

// from_chars leaves the value alone when it is out of range, where strtod gives infinity or
// zero. Decide which from the order of magnitude of the matched text: positive means too
// large. `hex` counts in binary exponents.
bool tooLarge(const char* first, const char* last, bool hex) {
    const int digitBits = hex ? 4 : 1;
    const char expMark = hex ? 'p' : 'e';
    auto isDigit = [hex](char c) { return hex ? isHexDigit(c) : isDecDigit(c); };

    const char* p = first;
    std::int64_t intDigits = 0;
    bool seenNonZero = false;
    for (; p < last && isDigit(*p); ++p) {
        if (*p != '0') seenNonZero = true;
        if (seenNonZero) ++intDigits;
    }
    std::int64_t leadingFracZeros = 0;
    if (p < last && *p == '.') {
        ++p;
        for (; p < last && isDigit(*p); ++p) {
            if (!seenNonZero && intDigits == 0) {
                if (*p == '0')
                    ++leadingFracZeros;
                else
                    seenNonZero = true;
            }
        }
    }
    std::int64_t magnitude =
        intDigits > 0 ? (intDigits - 1) * digitBits : -(leadingFracZeros + 1) * digitBits;
    if (p < last && (*p | 0x20) == expMark) {
        ++p;
        bool negExp = false;
        if (p < last && (*p == '+' || *p == '-')) {
            negExp = *p == '-';
            ++p;
        }
        std::int64_t e = 0;
        for (; p < last && isDecDigit(*p); ++p)
            if (e < 1000000000) e = e * 10 + (*p - '0');
        magnitude += negExp ? -e : e;
    }
    return magnitude > 0;
}

}  // namespace

RealScan scanReal(std::string_view text, double& value, std::size_t& end) {
    const char* const first = text.data();
    const char* const last = first + text.size();
    const char* p = first;
    while (p < last && isBlank(*p)) ++p;
    bool negative = false;
    if (p < last && (*p == '+' || *p == '-')) {
        negative = *p == '-';
        ++p;
    }
    // from_chars takes a '-' of its own, but strtod allows only one sign.
    if (p >= last || *p == '+' || *p == '-') return RealScan::None;

    // "0x" starts a hexadecimal number only when a hexadecimal digit follows (possibly after
    // the point); otherwise the number is the 0 before the x.
    const bool hex = last - p >= 3 && p[0] == '0' && (p[1] == 'x' || p[1] == 'X') &&
                     (isHexDigit(p[2]) || (p[2] == '.' && last - p >= 4 && isHexDigit(p[3])));
    if (hex) p += 2;
    double v = 0;
    const std::from_chars_result r =
        std::from_chars(p, last, v, hex ? std::chars_format::hex : std::chars_format::general);
    if (r.ptr == p) return RealScan::None;
    RealScan status = RealScan::Ok;
    if (r.ec == std::errc::result_out_of_range) {
        status = tooLarge(p, r.ptr, hex) ? RealScan::Overflow : RealScan::Underflow;
        v = status == RealScan::Overflow ? HUGE_VAL : 0.0;
    } else if (r.ec != std::errc()) {
        return RealScan::None;
    } else if (!hex && v != 0 && std::fabs(v) < std::numeric_limits<double>::min()) {
        // A decimal below the normal range has lost precision, which strtod reports as a range
        // error; a hexadecimal one is exact.
        status = RealScan::Underflow;
    }
    value = negative ? -v : v;
    end = static_cast<std::size_t>(r.ptr - first);
    return status;
}

IntScan scanInt(std::string_view text, std::int64_t& value, std::size_t& end) {
    std::size_t i = 0;
    while (i < text.size() && isBlank(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    const std::size_t digitsStart = i;
    const std::uint64_t limit = negative ? 0x8000000000000000ull : 0x7FFFFFFFFFFFFFFFull;
    std::uint64_t magnitude = 0;
    bool overflow = false;
    for (; i < text.size() && isDecDigit(text[i]); ++i) {
        const auto d = static_cast<std::uint64_t>(text[i] - '0');
        if (magnitude > (limit - d) / 10)
            overflow = true;
        else
            magnitude = magnitude * 10 + d;
    }
    if (i == digitsStart) return IntScan::None;
    end = i;
    if (overflow) return IntScan::OutOfRange;
    value = negative ? static_cast<std::int64_t>(0 - magnitude) : static_cast<std::int64_t>(magnitude);
    return IntScan::Ok;
}

std::optional<std::int32_t> parseInt32(std::string_view text) {
    // Most texts are a few plain digits, perhaps negative, which cannot leave the range.
    const bool negative = !text.empty() && text[0] == '-';
    const std::string_view digitText = text.substr(negative ? 1 : 0);
    if (!digitText.empty() && digitText.size() <= 9) {
        std::uint32_t digits = 0;
        bool plain = true;
        for (const char c : digitText) {
            plain = plain && isDecDigit(c);
            digits = digits * 10 + static_cast<std::uint32_t>(static_cast<unsigned char>(c) - '0');
        }
        if (plain) return negative ? -static_cast<std::int32_t>(digits) : static_cast<std::int32_t>(digits);
    }
    std::int64_t v = 0;
    std::size_t end = 0;
    if (scanInt(text, v, end) != IntScan::Ok || end != text.size()) return std::nullopt;
    if (v < std::numeric_limits<std::int32_t>::min() || v > std::numeric_limits<std::int32_t>::max())
        return std::nullopt;
    return static_cast<std::int32_t>(v);
}

}  // namespace common
