// Shared state of one binary read and the passes that fill the pages from it.
// Private to the binary reader's own sources.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <map>
#include <utility>
#include <vector>

#include "pcad/binary.h"

namespace pcad::binary {

extern const char* const kTruncated;

// Layout of the 47-byte graphic record: point tag, attribute tag, rectangle tag.
namespace graphic {
inline constexpr std::size_t kSize = 47;
inline constexpr std::size_t kPoint = 3;  // x, y
inline constexpr std::size_t kAttrTag = 11;
inline constexpr std::size_t kAnchorFlag = 17;  // attribute byte 3
inline constexpr std::size_t kSheet = 26;       // attribute bytes 12-13
inline constexpr std::size_t kRectTag = 28;
inline constexpr std::size_t kRect = 31;  // top, bottom, left, right
}  // namespace graphic

// Layout of the 58-byte shape record: two point tags, attribute tag, rectangle tag. Its
// last 47 bytes are a graphic record.
namespace shape {
inline constexpr std::size_t kSize = 58;
inline constexpr std::size_t kPoint1 = 3;
inline constexpr std::size_t kPoint2Tag = 11;
inline constexpr std::size_t kPoint2 = 14;
inline constexpr std::size_t kAttrTag = 22;
inline constexpr std::size_t kWireFlag = 25;  // attribute byte 0
inline constexpr std::size_t kSheet = 37;     // attribute bytes 12-13
inline constexpr std::size_t kRectTag = 39;
inline constexpr std::size_t kRect = 42;  // top, bottom, left, right
}  // namespace shape

// Within a rectangle field: the four coordinates in the file's order.
inline constexpr std::size_t kTop = 0, kBottom = 4, kLeft = 8, kRight = 12;

// Net names, and with one sheet the frame's lines, lie within this many bytes after the
// anchor offset; net names also up to kNetNamesBeforeAnchor bytes before it.
inline constexpr std::size_t kAnchorReach = 8500;
inline constexpr std::size_t kNetNamesBeforeAnchor = 3000;

// True when the three bytes at i are a, b, c (and lie inside the span).
inline bool tagAt(const ByteSpan& s, std::size_t i, std::uint8_t a, std::uint8_t b, std::uint8_t c) {
    return i <= s.size && 3 <= s.size - i && s.data[i] == a && s.data[i + 1] == b && s.data[i + 2] == c;
}

// True when the n bytes at i equal pattern (and lie inside the span).
bool bytesAt(const ByteSpan& s, std::size_t i, const std::uint8_t* pattern, std::size_t n);

// Calls visit(i) for every offset i in [from, end) whose byte is `first`, in ascending
// order. The bytes between candidates are skipped with memchr, which runs at memory speed
// where testing every offset in turn would not; the candidates, and so the results, are
// the same. visit checks the rest of its pattern itself.
template <class Visit>
void forEachByte(const ByteSpan& s, std::size_t from, std::size_t end, std::uint8_t first, Visit&& visit) {
    if (end > s.size) end = s.size;
    for (std::size_t i = from; i < end; ++i) {
        const void* hit = std::memchr(s.data + i, first, end - i);
        if (hit == nullptr) return;
        i = static_cast<std::size_t>(static_cast<const std::uint8_t*>(hit) - s.data);
        visit(i);
    }
}

struct ReadContext {
    ByteSpan span;
    std::vector<SheetRecord> sheets;
    std::vector<Page> pages;
    std::map<std::int32_t, std::size_t> pageIndex;  // sheet number -> page
    // Whether the file holds the anchor caption. Without it nothing marks where the
    // title block and the net names lie: scans start at 0 and no net label is placed.
    bool hasAnchor = false;
    std::size_t anchorOffset = 0;
    std::size_t scanStart = 0;
    std::map<std::int32_t, std::pair<std::size_t, std::size_t>> sheetRanges;
    // With several sheets, whether lines or circles of sheet 0 (the frame and title block
    // that every sheet shares) were found; then only that sheet's texts are title texts.
    bool titleSheet = false;
    // Offsets of text records that a pin record says are not shown.
    std::vector<std::size_t> hiddenTexts;

    // The page a record with this sheet field belongs to, or null.
    Page* pageOf(std::uint16_t sheetField);
    // With several sheets a record of sheet 0 belongs to the title sheet, which every page
    // shows. Calls visit(page, onTitleSheet) for each page the record is drawn on.
    template <class Visit>
    void forPagesOf(std::uint16_t sheetField, Visit&& visit) {
        if (sheets.size() > 1 && sheetField == 0) {
            for (Page& page : pages) visit(page, true);
        } else if (Page* page = pageOf(sheetField)) {
            visit(*page, false);
        }
    }
    // The graphic records that the passes use are those from scanStart on. They are matched
    // where a pass meets them rather than collected into a table first: a table of every
    // record grows with the file and costs more than matching again.
    bool graphicAt(std::size_t offset, GraphicRecord& record) const {
        return offset >= scanStart && span.matchGraphic(offset, record);
    }
};

// True when no coordinate lies beyond what a sheet can hold.
bool plausiblePoint(BinaryPoint p);

// Where the text record (0E L text 00 fields) that starts at o ends: o + 3 + L when L is
// plausible and the record lies inside the span; 0 when none starts there.
std::size_t textRecordEnd(const ByteSpan& s, std::size_t o);

// Shape, polygon and pin records into lines, arcs and circles.
void readShapes(ReadContext& ctx);
// The pin whose record ends with the point tag at i, when one does: its line, and the
// offsets of the texts it hides.
void readPinEndingAt(ReadContext& ctx, std::size_t i);
void fitPagesToLines(ReadContext& ctx);
void readJunctions(ReadContext& ctx);
void readNetLabels(ReadContext& ctx);
void readTexts(ReadContext& ctx, const std::unordered_map<std::int32_t, float>& styles);

}  // namespace pcad::binary
