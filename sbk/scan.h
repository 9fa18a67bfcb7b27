// The byte-pattern scanners of the SBK page reader: text records, symbol
// cells and the markers of the Circuit stream.
#pragma once

#include "common/bytes.h"
#include "sbk/compound_file.h"
#include "sbk/document.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <map>
#include <string>
#include <unordered_map>
#include <vector>

namespace sbk {

// As the `end` of a scan: up to the end of the data.
constexpr std::size_t kAll = std::numeric_limits<std::size_t>::max();
// A position or index that names nothing.
constexpr std::size_t kNone = std::numeric_limits<std::size_t>::max();

// ---- Text records -------------------------------------------------------

// A text record: the bytes 00 01, its kind, seven unread bytes, x and y, the
// text's length, then the text itself (Windows-1252).
constexpr std::size_t kTextKindAt = 2, kTextXAt = 10, kTextYAt = 14, kTextLengthAt = 18;
constexpr std::size_t kTextHead = 19;  // the bytes before the text
constexpr std::size_t kTextMaxLength = 160;
constexpr std::int32_t kTextLimit = 20000;  // of |x| and |y|

// The kinds of text record the reader looks for, by what they become.
enum TextKind : std::uint8_t {
    TextPinName = 3,  // in cells
    TextPinNumber = 4,
    TextValue = 5,
    TextLabel = 6,  // a terminal's label, or a title
    // In cells a frame's or terminal's fixed text; in the Circuit stream an
    // annotation or a title.
    TextFixed = 7,
    TextPortLabel = 8,  // a terminal's label
    TextTitle = 9,
    TextReference = 15,
    TextAnnotation = 19,  // an annotation, or a title
};

// Every text record of one of the kinds whose head lies at or after start
// and whose text ends at or before min(end, size), by increasing offset.
std::vector<TextRecord> scanTexts(const std::vector<std::uint8_t>& data, const std::vector<int>& kinds,
                                  std::size_t start, std::size_t end);

// A text record located but not decoded: the page reader keeps these for the
// whole Circuit stream, with their decoded texts apart.
// Kept small: a dense page holds hundreds of thousands of them.
struct RawText {
    std::size_t offset = 0;  // head of the record
    std::int32_t x = 0;
    std::int32_t y = 0;
    std::uint8_t kind = 0;
    std::uint8_t length = 0;   // text bytes as stored
    std::uint8_t trimmed = 0;  // text length without trailing whitespace, never 0

    // One past the record's last text byte.
    std::size_t textEnd() const { return offset + kTextHead + length; }
};

// Kinds to look for, as a lookup table over the kind byte.
using KindSet = std::array<bool, 256>;
KindSet makeKindSet(const std::vector<int>& kinds);

// Calls visit(const RawText&) for every record scanTexts would return, in the
// same order; a visitor returning false ends the scan.
template <class Visit>
void forEachText(const std::vector<std::uint8_t>& data, const KindSet& kinds, std::size_t start,
                 std::size_t end, Visit&& visit);

// The UTF-8 text of a located record.
std::string decodeText(const std::vector<std::uint8_t>& data, const RawText& raw);

// ---- Symbol cells -------------------------------------------------------

struct Cell {
    std::vector<CellPrimitive> primitives;  // stream order
    std::vector<TextRecord> texts;          // kinds 3 and 7, stream order
};

// Lower-cased cell name -> TOC index (the first of names that fold alike).
using CellNameIndex = std::unordered_map<std::string, int>;

// Only A-Z change; every other byte stays.
std::string toLower(std::string s);
// TOC index of the name, case-insensitively; -1 when absent.
int findCell(const CellNameIndex& index, const std::string& name);
std::vector<CellPrimitive> parseCellGeometry(const std::vector<std::uint8_t>& stream);
bool withinLimit(double v, int limit);

// Cell names of "Celltypes/Table of Contents" in TOC order; empty or cut
// short when the stream is missing or malformed.
std::vector<std::string> readCellNames(const CompoundFile& file);
CellNameIndex buildCellNameIndex(const std::vector<std::string>& names);
// TOC index -> cell, for every cell whose stream could be read.
std::map<int, Cell> loadCells(const CompoundFile& file, std::size_t nameCount);

// Cell-coordinate point mirrored (orientation bit 2) and then turned by
// quarter turns counter-clockwise (bits 0-1).
inline Point orientPoint(Point p, std::uint32_t orientation) {
    if (orientation & 4) p.x = -p.x;
    switch (orientation & 3) {
        case 1: return {-p.y, p.x};
        case 2: return {-p.x, -p.y};
        case 3: return {p.y, -p.x};
        default: return p;
    }
}

// ---- Circuit stream markers ---------------------------------------------

// A page may place one cell many times over and give many symbols texts that
// run to the end of the stream, so the output of hostile input grows faster
// than the stream; these ceilings keep it bounded far above any real page.
// What would pass them is left out.
constexpr std::size_t kMaxPagePolylines = 1000000;
constexpr std::size_t kMaxPagePoints = 8000000;
constexpr std::size_t kMaxPageTexts = 1000000;

std::vector<std::size_t> findMarkers(const std::vector<std::uint8_t>& data, std::uint8_t b0, std::uint8_t b1,
                                     std::uint8_t b2, std::size_t start, std::size_t end);
// Cell name of the symbol instance whose marker is at V.
std::string findInstanceName(const std::vector<std::uint8_t>& data, std::size_t V);

// ---- Implementation of forEachText --------------------------------------

namespace detail {
inline bool within(std::int32_t v, std::int32_t limit) { return v >= -limit && v <= limit; }
inline bool cSpace(std::uint8_t b) { return b == ' ' || (b >= 0x09 && b <= 0x0D); }
// The int32 at d; the caller has proved the four bytes inside its data.
inline std::int32_t i32At(const std::uint8_t* d) { return static_cast<std::int32_t>(common::loadLe32(d)); }
}  // namespace detail

template <class Visit>
void forEachText(const std::vector<std::uint8_t>& data, const KindSet& kinds, std::size_t start,
                 std::size_t end, Visit&& visit) {
    const std::size_t e = end < data.size() ? end : data.size();
    if (e < kTextHead || start > e - kTextHead) return;
    const std::uint8_t* d = data.data();
    const std::size_t last = e - kTextHead;
    // Jump from one 01 byte to the next: every head has one at S + 1.
    for (std::size_t s = start; s <= last; ++s) {
        const void* hit = std::memchr(d + s + 1, 0x01, last - s + 1);
        if (!hit) return;
        s = static_cast<std::size_t>(static_cast<const std::uint8_t*>(hit) - d) - 1;
        if (d[s] != 0x00 || !kinds[d[s + kTextKindAt]]) continue;
        const std::int32_t x = detail::i32At(d + s + kTextXAt);
        const std::int32_t y = detail::i32At(d + s + kTextYAt);
        const std::size_t n = d[s + kTextLengthAt];
        if (n < 1 || n > kTextMaxLength || n > e - s - kTextHead) continue;
        if (!detail::within(x, kTextLimit) || !detail::within(y, kTextLimit)) continue;
        const std::uint8_t* text = d + s + kTextHead;
        std::size_t printable = 0;
        for (std::size_t i = 0; i < n; ++i)
            if (text[i] >= 0x20 && text[i] != 0x7F) ++printable;
        if (static_cast<double>(printable) / static_cast<double>(n) < 0.98) continue;
        // Windows-1252 maps no byte but the ASCII ones to ASCII whitespace, so
        // trailing whitespace can be trimmed before decoding.
        std::size_t kept = n;
        while (kept > 0 && detail::cSpace(text[kept - 1])) --kept;
        if (kept == 0) continue;
        RawText raw;
        raw.offset = s;
        raw.length = static_cast<std::uint8_t>(n);
        raw.kind = d[s + kTextKindAt];
        raw.x = x;
        raw.y = y;
        raw.trimmed = static_cast<std::uint8_t>(kept);
        if (!visit(static_cast<const RawText&>(raw))) return;
    }
}

}  // namespace sbk
