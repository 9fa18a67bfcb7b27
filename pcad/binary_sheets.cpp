// Frame of the binary reader: magic, page size, sheet list, anchor, sheet ranges, and the
// order of all passes.
#include <algorithm>
#include <stdexcept>

#include "common/ascii.h"
#include "pcad/binary.h"
#include "pcad/binary_passes.h"
#include "pcad/cp1251.h"

namespace pcad {

namespace {

const std::vector<std::uint8_t> kMagic = {'S', 'c', 'h', 'e', 'm', 'a', 't', 'i', 'c', ' ', 'B', 'i',
                                          'n', 'a', 'r', 'y', ' ', '(', 'R', 'e', 'v', ' ', '5', ')'};

// The signature must start within the first bytes of the file.
constexpr std::size_t kMagicReach = 120;

// Caption of a title-block field in Windows-1251; most scans start shortly before it.
const std::vector<std::uint8_t> kAnchor = {0xC8, 0xED, 0xE2, 0x2E, 0xB9, 0x20, 0xEF, 0xEE, 0xE4, 0xEB, 0x2E};
// How far before the caption its title block starts.
constexpr std::size_t kAnchorBackoff = 150;

// The page size is a rectangle tag 03 10 00 (top, bottom, left, right) near the start.
constexpr std::size_t kPageSizeReach = 512;
constexpr std::size_t kRectTop = 3, kRectBottom = 7, kRectLeft = 11, kRectRight = 15, kRectSize = 19;
constexpr double kMinPageSide = 50, kMaxPageSide = 2000;

// Sheet records come in two forms. The early one has the type byte 0x30 or 0x32 and an
// eight-byte trailer after the name. In the later one (later tool versions) that byte is
// the record's length, 45 more than the name's, and the name is followed by 00 01 01.
const std::uint8_t kSheetTrailer[8] = {0x00, 0x01, 0x00, 0x00, 0x0A, 0x00, 0x00, 0x00};
const std::uint8_t kSheetTrailerSized[3] = {0x00, 0x01, 0x01};
constexpr std::size_t kSheetLengthOverName = 45;

// Sheet record: 2E, type or length, 00, number, 00, flag, name, trailer.
constexpr std::size_t kSheetType = 1, kSheetNumber = 3, kSheetFlag = 5, kSheetName = 6;
// Bytes that must follow a candidate's start for it to be tested at all.
constexpr std::size_t kSheetTail = 25;
constexpr int kMaxSheetNumber = 10;
constexpr std::size_t kMaxSheetName = 64;
// The last sheet's range, which no later sheet record ends.
constexpr std::size_t kLastSheetRange = 10000;

// Text styles of files with several sheets, or without the anchor, are read this far.
constexpr std::size_t kWideStyleReach = 330000;

bool isDigit(char c) { return c >= '0' && c <= '9'; }

bool isSheetNameByte(std::uint8_t b) {
    return (b >= '0' && b <= '9') || (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || b == ' ' ||
           b == '-' || b == '_';
}

bool allDigits(const std::string& s, std::size_t from) {
    for (std::size_t i = from; i < s.size(); ++i)
        if (!isDigit(s[i])) return false;
    return true;
}

// "Main" followed by one or more digits, the letters in any case.
bool isMainLikeName(const std::string& name) {
    static const char lower[] = "main";
    if (name.size() < 5) return false;
    for (std::size_t i = 0; i < 4; ++i) {
        if (common::asciiLower(name[i]) != lower[i]) return false;
    }
    return allDigits(name, 4);
}

// Compares the decimal digit runs after "Main" by value, whatever their length.
int compareDigitRuns(const std::string& a, const std::string& b) {
    std::size_t ia = 4, ib = 4;
    while (ia + 1 < a.size() && a[ia] == '0') ++ia;
    while (ib + 1 < b.size() && b[ib] == '0') ++ib;
    const std::size_t na = a.size() - ia, nb = b.size() - ib;
    if (na != nb) return na < nb ? -1 : 1;
    const int c = a.compare(ia, na, b, ib, nb);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

// The first plausible page rectangle near the start: sides in [50, 2000] mm, bottom and
// left exactly 0; the default page when there is none.
PageSize readPageSize(const ByteSpan& s) {
    const std::size_t n = std::min<std::size_t>(s.size, kPageSizeReach);
    for (std::size_t o = 0; o + kRectSize < n; ++o) {
        if (!binary::tagAt(s, o, 0x03, 0x10, 0x00)) continue;
        const double top = s.coord(o + kRectTop);
        const double right = s.coord(o + kRectRight);
        if (top < kMinPageSide || top > kMaxPageSide || right < kMinPageSide || right > kMaxPageSide)
            continue;
        if (s.readU32(o + kRectBottom) != 0 || s.readU32(o + kRectLeft) != 0) continue;
        return PageSize{right, top};
    }
    return kDefaultPageSize;
}

// A sheet record at i (the caller has seen 0x2E there and that 25 more bytes follow):
// type or length byte, 00, number, 00, flag, name and the trailer of the record's form.
bool sheetRecordAt(const ByteSpan& s, std::size_t i, SheetRecord& record) {
    const std::uint8_t* p = s.data + i;
    const std::uint8_t type = p[kSheetType], number = p[kSheetNumber];
    if (p[kSheetType + 1] != 0 || number < 1 || number > kMaxSheetNumber || p[kSheetNumber + 1] != 0 ||
        p[kSheetFlag] > 2)
        return false;
    const std::size_t name = i + kSheetName;
    std::size_t k = 0;
    while (k <= kMaxSheetName && name + k < s.size && isSheetNameByte(s.data[name + k])) ++k;
    if (k < 1 || k > kMaxSheetName) return false;
    const bool early =
        (type == 0x30 || type == 0x32) && binary::bytesAt(s, name + k, kSheetTrailer, sizeof kSheetTrailer);
    const bool sized = type == kSheetLengthOverName + k &&
                       binary::bytesAt(s, name + k, kSheetTrailerSized, sizeof kSheetTrailerSized);
    if (!early && !sized) return false;
    record = SheetRecord{number, decodeCp1251(s.data + name, k), i};
    return true;
}

}  // namespace

bool isMainSheetName(const std::string& name) {
    return name.size() >= 5 && name.compare(0, 4, "Main") == 0 && allDigits(name, 4);
}

bool sheetRecordLess(const SheetRecord& a, const SheetRecord& b) {
    const bool ma = isMainSheetName(a.name);
    const bool mb = isMainSheetName(b.name);
    if (ma != mb) return ma;
    if (ma) return compareDigitRuns(a.name, b.name) < 0;
    return a.number < b.number;
}

std::vector<SheetRecord> findSheets(const ByteSpan& s) {
    std::vector<SheetRecord> list;
    bool seen[kMaxSheetNumber + 1] = {};
    binary::forEachByte(s, 0, s.size > kSheetTail ? s.size - kSheetTail : 0, 0x2E, [&](std::size_t i) {
        SheetRecord r;
        if (!sheetRecordAt(s, i, r) || seen[r.number]) return;
        seen[r.number] = true;
        list.push_back(std::move(r));
    });
    if (list.empty()) {
        list.push_back(SheetRecord{1, "Sheet 1", 0});
        return list;
    }
    if (std::any_of(list.begin(), list.end(), [](const SheetRecord& r) { return isMainLikeName(r.name); }))
        std::stable_sort(list.begin(), list.end(), sheetRecordLess);
    return list;
}

namespace binary {

Page* ReadContext::pageOf(std::uint16_t sheetField) {
    const std::int32_t key = sheets.size() > 1 ? static_cast<std::int32_t>(sheetField) : sheets[0].number;
    const auto it = pageIndex.find(key);
    return it == pageIndex.end() ? nullptr : &pages[it->second];
}

}  // namespace binary

namespace {

// One page per sheet record, in list order, all of the file's page size.
void makePages(binary::ReadContext& ctx, PageSize size) {
    ctx.pages.reserve(ctx.sheets.size());
    for (const SheetRecord& r : ctx.sheets) {
        Page page;
        page.name = r.name;
        page.number = r.number;
        page.width = size.width;
        page.height = size.height;
        ctx.pageIndex[r.number] = ctx.pages.size();
        ctx.pages.push_back(std::move(page));
    }
}

// Where the scans start. Without the anchor every scan starts at 0, whatever the size.
void findAnchor(binary::ReadContext& ctx) {
    const std::size_t a = ctx.span.find(kAnchor, 0);
    ctx.hasAnchor = a < ctx.span.size;
    ctx.anchorOffset = ctx.hasAnchor && a > kAnchorBackoff ? a - kAnchorBackoff : 0;
    ctx.scanStart = ctx.sheets.size() == 1 ? ctx.anchorOffset : 0;
}

// Each sheet's range runs from its record to the next record in the file.
void setSheetRanges(binary::ReadContext& ctx) {
    std::vector<SheetRecord> byOffset = ctx.sheets;
    std::sort(byOffset.begin(), byOffset.end(),
              [](const SheetRecord& x, const SheetRecord& y) { return x.offset < y.offset; });
    for (std::size_t k = 0; k < byOffset.size(); ++k) {
        const std::size_t start = byOffset[k].offset;
        const std::size_t end = k + 1 < byOffset.size() ? byOffset[k + 1].offset : start + kLastSheetRange;
        ctx.sheetRanges[byOffset[k].number] = {start, end};
    }
}

// A one-sheet file with the anchor keeps its styles below it; otherwise they may lie
// anywhere near the start.
std::size_t styleLimit(const binary::ReadContext& ctx) {
    if (ctx.sheets.size() == 1 && ctx.hasAnchor) return ctx.anchorOffset;
    return std::max(ctx.anchorOffset, std::min<std::size_t>(ctx.span.size, kWideStyleReach));
}

}  // namespace

std::vector<Page> readBinary(const std::uint8_t* data, std::size_t size) {
    binary::ReadContext ctx;
    ctx.span = ByteSpan{data, data == nullptr ? 0 : size};
    const ByteSpan& s = ctx.span;
    if (s.find(kMagic, 0) >= std::min<std::size_t>(s.size, kMagicReach))
        throw std::runtime_error("Expected P-CAD Binary Rev 5");

    const PageSize pageSize = readPageSize(s);
    ctx.sheets = findSheets(s);
    makePages(ctx, pageSize);
    findAnchor(ctx);
    setSheetRanges(ctx);

    binary::readShapes(ctx);
    if (ctx.sheets.size() > 1) binary::fitPagesToLines(ctx);
    binary::readJunctions(ctx);
    for (Page& page : ctx.pages) page.addBusEntries();

    const auto styles = readStyleHeights(s, styleLimit(ctx));
    binary::readNetLabels(ctx);
    binary::readTexts(ctx, styles);

    for (Page& page : ctx.pages) page.buildIndex();
    return std::move(ctx.pages);
}

}  // namespace pcad
