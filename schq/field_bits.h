// The bit-parallel steps of the record field scanner, each SSE2 code beside its portable twin: the
// masks of '|' and '=' of a block of a body, the key ends found in them by one addition, ASCII
// upper-casing of a key in place, and a key's bytes as a number. A helper that takes `readableEnd`
// reads past the key up to it, as FieldParser allows (see there).
#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "common/ascii.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace schq {

// `bits` with all but its lowest set bit cleared (zero for zero).
constexpr std::uint64_t lowestSetBit(std::uint64_t bits) { return bits & (~bits + 1); }

// `bits` without its lowest set bit.
constexpr std::uint64_t withoutLowestSetBit(std::uint64_t bits) { return bits & (bits - 1); }

// Bit i of each mask is set when byte i of a block of up to 64 bytes is what the mask names.
struct SeparatorMasks {
    std::uint64_t bars = 0;    // '|', which ends a field
    std::uint64_t equals = 0;  // '=', whose first in a field ends the key
    std::uint64_t highs = 0;   // 0x80 and above, which a value decodes
};

#if defined(__SSE2__)
// The masks of sixteen bytes, in their low 16 bits.
inline SeparatorMasks chunkMasks(const char* p) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const auto bits = [](__m128i hits) {
        return std::uint64_t{static_cast<std::uint16_t>(_mm_movemask_epi8(hits))};
    };
    SeparatorMasks m;
    m.bars = bits(_mm_cmpeq_epi8(v, _mm_set1_epi8('|')));
    m.equals = bits(_mm_cmpeq_epi8(v, _mm_set1_epi8('=')));
    m.highs = bits(v);
    return m;
}
#endif

// The masks of bytes [at, at + 64) of a body, those past its end clear. Sixteen bytes at a time;
// the last few of a body of 16 bytes or more are taken from the sixteen that end it, so that no
// byte is tested alone and none past the body is read.
inline SeparatorMasks separatorMasks(const char* body, std::size_t length, std::size_t at) {
    SeparatorMasks m;
    const std::size_t count = std::min<std::size_t>(length - at, 64);
    std::size_t i = 0;
#if defined(__SSE2__)
    const auto add = [&m](const SeparatorMasks& c, unsigned shift) {
        m.bars |= c.bars << shift;
        m.equals |= c.equals << shift;
        m.highs |= c.highs << shift;
    };
    for (; count - i >= 16; i += 16) add(chunkMasks(body + at + i), static_cast<unsigned>(i));
    if (i < count && length >= 16) {
        // The chunk ends at the body's end; its bytes before `at + i` are dropped.
        const auto before = static_cast<unsigned>(16 - (count - i));
        SeparatorMasks c = chunkMasks(body + length - 16);
        c.bars >>= before;
        c.equals >>= before;
        c.highs >>= before;
        add(c, static_cast<unsigned>(i));
        return m;
    }
#endif
    for (; i < count; ++i) {
        const auto b = static_cast<unsigned char>(body[at + i]);
        m.bars |= std::uint64_t{b == '|'} << i;
        m.equals |= std::uint64_t{b == '='} << i;
        m.highs |= std::uint64_t{b >= 0x80} << i;
    }
    return m;
}

// The '=' that end keys in a block: adding a bit at each field's start to the bits of the bytes
// that are no separator carries it through the key to the field's first separator, whose bit it
// sets, while an '=' inside a value is reached by no carry. In byte order (bit 0 first):
//   bytes   | A B = 1 = 2 | C = 3
//   starts  1 1 . . . . . . 1 . .   the body's start and each byte after a '|'
//   plain   . 1 1 . 1 . 1 . 1 . 1   neither '|' nor '='
//   sum     1 . . 1 1 . 1 . . 1 1   starts + plain
//   ends    . . . 1 . . . . . 1 .   sum & equals: after "AB" and "C", not inside "1=2"
// `barBefore` is 1 when the block before ended in a '|' (and for a body's first block); `carry`
// brings the addition's carry from the block before and takes it on to the next.
inline std::uint64_t keyEnds(const SeparatorMasks& m, std::uint64_t& barBefore, std::uint64_t& carry) {
    const std::uint64_t starts = (m.bars << 1) | barBefore;
    const std::uint64_t plain = ~(m.bars | m.equals);
    const std::uint64_t partial = plain + starts;
    const std::uint64_t sum = partial + carry;
    carry = (partial < plain || sum < partial) ? 1 : 0;
    barBefore = m.bars >> 63;
    return sum & m.equals;
}

// a..z of eight bytes upper-cased; every other byte unchanged.
constexpr std::uint64_t upperCasedWord(std::uint64_t w) {
    constexpr std::uint64_t kOnes = 0x0101010101010101ull;
    constexpr std::uint64_t kHighs = 0x8080808080808080ull;
    const std::uint64_t low7 = w & ~kHighs;
    // High bit of each byte: at least 'a', above 'z', and the byte's own high bit.
    const std::uint64_t fromA = low7 + kOnes * (0x80 - 'a');
    const std::uint64_t pastZ = low7 + kOnes * (0x80 - 'z' - 1);
    const std::uint64_t lower = fromA & ~pastZ & ~w & kHighs;
    return w ^ (lower >> 2);  // 0x20 in each lower-case byte
}

// Upper-cases the bytes of `keep` (a mask of whole bytes) among the eight at `p`.
inline void upperCaseWord(char* p, std::uint64_t keep) {
    std::uint64_t w;
    std::memcpy(&w, p, 8);
    w = (upperCasedWord(w) & keep) | (w & ~keep);
    std::memcpy(p, &w, 8);
}

#if defined(__SSE2__)
// Sixteen 0xFF bytes, then sixteen zero bytes: read from 16 - n on, a mask of the first n bytes.
alignas(16) inline constexpr unsigned char kLeadingBytes[32] = {
    0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
};
#endif

// Upper-cases a..z of [p, end) in place: most keys are written in mixed case. A key of up to
// sixteen bytes takes one step, the bytes after it written back unchanged; upper-casing twice
// changes nothing, so the words of a longer key may overlap. Kept a call: inlined, it makes the
// parser's field loop too large for the compiler to inline that loop and the key heads.
[[gnu::noinline]] inline void upperCaseAscii(char* p, char* end, const char* readableEnd) {
    const auto n = static_cast<std::size_t>(end - p);
#if defined(__SSE2__)
    if (n <= 16 && readableEnd - p >= 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m128i keep = _mm_loadu_si128(reinterpret_cast<const __m128i*>(kLeadingBytes + 16 - n));
        // Signed compares: bytes of 0x80 and above are below 'a'.
        const __m128i lower = _mm_and_si128(_mm_cmpgt_epi8(v, _mm_set1_epi8('a' - 1)),
                                            _mm_cmpgt_epi8(_mm_set1_epi8('z' + 1), v));
        const __m128i flip = _mm_and_si128(_mm_and_si128(lower, keep), _mm_set1_epi8(0x20));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(p), _mm_xor_si128(v, flip));
        return;
    }
#endif
    if constexpr (std::endian::native == std::endian::little) {
        if (n >= 8) {
            for (; end - p > 8; p += 8) upperCaseWord(p, ~std::uint64_t{0});
            upperCaseWord(end - 8, ~std::uint64_t{0});
            return;
        }
        if (readableEnd - p >= 8) {
            upperCaseWord(p, (std::uint64_t{1} << (8 * n)) - 1);
            return;
        }
    }
    for (; p < end; ++p) *p = common::asciiUpper(*p);
}

// Bytes [at, at + 8) of a key, zero-padded, as a number whose order is theirs.
inline std::uint64_t keyWord(std::string_view key, std::size_t at, const char* readableEnd) {
    if (at >= key.size()) return 0;
    const std::size_t n = std::min<std::size_t>(key.size() - at, 8);
    std::uint64_t word = 0;
    if (std::endian::native == std::endian::little && readableEnd - (key.data() + at) >= 8) {
        std::memcpy(&word, key.data() + at, 8);
        if (n < 8) word &= (std::uint64_t{1} << (8 * n)) - 1;
        return __builtin_bswap64(word);
    }
    for (std::size_t i = 0; i < 8; ++i)
        word = (word << 8) | (i < n ? static_cast<unsigned char>(key[at + i]) : 0u);
    return word;
}

}  // namespace schq
