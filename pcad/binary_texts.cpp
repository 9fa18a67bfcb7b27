// Text-style heights, net labels and text records.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "common/bytes.h"
#include "pcad/binary_passes.h"
#include "pcad/cp1251.h"

namespace pcad {

namespace {

const std::uint8_t kFontKind1[4] = {0x04, 0x00, 0x01, 0x00};
const std::uint8_t kFontKind0[7] = {0x29, 0x14, 0x00, 0x03, 0x00, 0x03, 0x00};

// Record layouts: a tag byte, then the length L of everything after the length field.
constexpr std::size_t kLength = 1;
// Named record 1D L id name 00, at least one name byte long.
constexpr std::size_t kNamedId = 3, kNamedName = 5, kNamedOverhead = 3;  // id and NUL
constexpr std::size_t kMinNamedRecord = 7;
// Text record 0E L text 00 rotation justification style.
constexpr std::size_t kTextStart = 3;
constexpr std::size_t kMinTextRecord = 7, kMaxTextRecord = 4096;
// Net reference 4B 08 00 id and six more bytes, directly before the label's graphic record.
constexpr std::size_t kNetRefId = 3, kNetRefSize = 11;
// Without the anchor a net name is a named record right after the mark 22 00 00.
constexpr std::size_t kNetNameMarkSize = 3;

// Limits of the two readings of named records.
constexpr std::size_t kMaxStyleRecord = 150, kMaxNetRecord = 128;
constexpr std::uint16_t kMaxStyleId = 5000, kMaxNetId = 200;

bool isPlainOrTabLf(std::uint8_t b) { return b >= 0x20 || b == 0x09 || b == 0x0A; }

struct NamedRecord {
    std::size_t offset;
    std::uint16_t id;
    const std::uint8_t* name;
    std::size_t length;  // of the name
};

// Calls visit(record) for each record 1D L id name 00 that lies wholly in [from, end), in
// ascending offset, with L at most maxLength.
template <class Visit>
void forEachNamedRecord(const ByteSpan& s, std::size_t from, std::size_t end, std::size_t maxLength,
                        Visit&& visit) {
    binary::forEachByte(s, from, end > kMinNamedRecord ? end - kMinNamedRecord : 0, 0x1D, [&](std::size_t p) {
        const std::size_t L = s.readU16(p + kLength);
        if (L < 4 || L > maxLength || p + L + 3 > end || s.data[p + L + 2] != 0) return;
        visit(NamedRecord{p, s.readU16(p + kNamedId), s.data + p + kNamedName, L - kNamedOverhead});
    });
}

// A style-name record takes the height of a font at most this many bytes before it.
constexpr std::size_t kStyleFontReach = 180;
// A text record's text holds at most this many bytes.
constexpr std::size_t kMaxTextBytes = 240;

// Font record: seven opening bytes (59 ?? ?? 04 00 01 00, or 29 14 00 03 00 03 00), a name
// of up to 51 bytes ended by NUL, then the height.
constexpr std::size_t kFontKind1At = 3, kFontName = 7, kFontNameReach = 58;
constexpr double kMinFontHeight = 0.4, kMaxFontHeight = 30.0;

// A plausible font record at o within the first r bytes.
bool fontAt(const ByteSpan& s, std::size_t o, std::size_t r, FontRecord& font) {
    std::int32_t kind;
    if (s.data[o] == 0x59 && o + 8 < r && binary::bytesAt(s, o + kFontKind1At, kFontKind1, sizeof kFontKind1))
        kind = 1;
    else if (s.data[o] == 0x29 && binary::bytesAt(s, o, kFontKind0, sizeof kFontKind0))
        kind = 0;
    else
        return false;
    const std::size_t nameEnd = std::min(o + kFontNameReach, r);
    std::size_t e = o + kFontName;
    while (e < nameEnd && s.data[e] != 0) ++e;
    if (e == o + kFontName || e + 5 > r) return false;
    const float height = static_cast<float>(static_cast<std::int32_t>(s.readU32(e + 1)) / 100000.0);
    if (static_cast<double>(height) < kMinFontHeight || static_cast<double>(height) > kMaxFontHeight)
        return false;
    font = FontRecord{o, height, kind};
    return true;
}

// Plausible font records from `from` on, within the first r bytes, in ascending offset.
std::vector<FontRecord> readFonts(const ByteSpan& s, std::size_t from, std::size_t r) {
    const std::size_t end = r > 15 ? r - 15 : 0;
    std::vector<FontRecord> kinds[2];
    FontRecord font;
    for (const std::uint8_t first : {std::uint8_t{0x29}, std::uint8_t{0x59}}) {
        binary::forEachByte(s, from, end, first, [&](std::size_t o) {
            if (fontAt(s, o, r, font)) kinds[font.kind].push_back(font);
        });
    }
    std::vector<FontRecord> fonts(kinds[0].size() + kinds[1].size());
    std::merge(kinds[0].begin(), kinds[0].end(), kinds[1].begin(), kinds[1].end(), fonts.begin(),
               [](const FontRecord& a, const FontRecord& b) { return a.offset < b.offset; });
    return fonts;
}

// Walks ascending fonts alongside ascending offsets of named records.
class FontCursor {
public:
    explicit FontCursor(const std::vector<FontRecord>& fonts) : fonts_(fonts) {}

    // The font whose height a style name at p takes: of the fonts at most kStyleFontReach
    // bytes before p, the latest of the higher kind (a nearer font of the lower kind loses).
    // Null when there is none, and then the record is no style name. p must not decrease.
    const FontRecord* fontFor(std::size_t p) {
        while (next_ < fonts_.size() && fonts_[next_].offset <= p) {
            latest_[fonts_[next_].kind] = &fonts_[next_];
            ++next_;
        }
        for (int kind = 1; kind >= 0; --kind)
            if (latest_[kind] != nullptr && p - latest_[kind]->offset <= kStyleFontReach)
                return latest_[kind];
        return nullptr;
    }

private:
    const std::vector<FontRecord>& fonts_;
    std::size_t next_ = 0;
    const FontRecord* latest_[2] = {nullptr, nullptr};
};

}  // namespace

std::unordered_map<std::int32_t, float> readStyleHeights(const ByteSpan& s, std::size_t limit) {
    std::unordered_map<std::int32_t, float> styles;
    const std::size_t r = std::min(s.size, limit);
    const std::vector<FontRecord> fonts = readFonts(s, 0, r);
    FontCursor cursor(fonts);
    forEachNamedRecord(s, 0, r, kMaxStyleRecord, [&](const NamedRecord& rec) {
        if (rec.id > kMaxStyleId || !std::all_of(rec.name, rec.name + rec.length, isPlainOrTabLf)) return;
        if (const FontRecord* font = cursor.fontFor(rec.offset)) styles[rec.id] = font->height;
    });
    return styles;
}

namespace binary {

namespace {

// Net id -> name from the named records of [begin, end), leaving out text-style names.
std::unordered_map<std::int32_t, std::string> readNetNames(const ByteSpan& s, std::size_t begin,
                                                           std::size_t end) {
    // A named record that follows a font closely enough is a text-style name, not a net.
    const std::vector<FontRecord> fonts =
        readFonts(s, begin > kStyleFontReach ? begin - kStyleFontReach : 0, end);
    FontCursor styleFont(fonts);
    std::unordered_map<std::int32_t, std::string> names;
    forEachNamedRecord(s, begin, end, kMaxNetRecord, [&](const NamedRecord& rec) {
        if (rec.id < 1 || rec.id > kMaxNetId) return;
        if (!std::all_of(rec.name, rec.name + rec.length, [](std::uint8_t b) { return b >= 0x20; })) return;
        if (styleFont.fontFor(rec.offset) != nullptr) return;
        names[rec.id] = decodeCp1251(rec.name, rec.length);
    });
    return names;
}

// The text of a text record at o whose L bytes end at the record's end: its length n
// before the first NUL, or 0 when it is empty, too long or holds a control byte.
std::size_t textLength(const ByteSpan& s, std::size_t o, std::size_t L) {
    // Only the first 241 bytes matter: a longer text is rejected anyway.
    std::size_t n = 0;
    while (n < L && n <= kMaxTextBytes) {
        const std::uint8_t b = s.data[o + kTextStart + n];
        if (b == 0) break;
        if (b < 0x20 && b != 0x09 && b != 0x0A && b != 0x0D) return 0;
        ++n;
    }
    return n > kMaxTextBytes ? 0 : n;
}

bool insidePage(const Page& page, double x, double y, double margin) {
    return x >= page.originX - margin && x <= page.originX + page.width + margin &&
           y >= page.originY - margin && y <= page.originY + page.height + margin;
}

// The fields that follow the text inside its record [o, u), each used only when it fits.
void readTextFields(const ByteSpan& s, std::size_t o, std::size_t n, std::size_t u,
                    const std::unordered_map<std::int32_t, float>& styles, Text& text) {
    const std::size_t fields = o + kTextStart + n + 1;  // after the text's NUL
    text.rotation = 0;
    if (fields + 2 <= u) {
        const float rotation = static_cast<float>(s.readU16(fields)) / 10.0f;
        if (!(rotation > 360.1f || std::fabs(rotation - 180.0f) <= 0.01f)) text.rotation = rotation;
    }
    text.justify = 0;
    if (fields + 4 <= u)
        text.justify = static_cast<std::uint8_t>(std::min<std::uint16_t>(s.readU16(fields + 2), 6));
    text.height = 3.0f;
    if (fields + 6 <= u) {
        const auto it = styles.find(s.readU16(fields + 4));
        if (it != styles.end()) text.height = it->second;
    }
}

bool plausibleBox(const GraphicRecord& g) {
    const double bw = g.x1 - g.x0, bh = g.y1 - g.y0;
    return bw > 0.05 && bw < 1000 && bh > 0.05 && bh < 200 && g.x0 >= -1000 && g.y0 >= -1000 &&
           g.x1 <= 6000 && g.y1 <= 6000;
}

// The anchoring record's rectangle is the text's box when it is plausible.
void setTextBox(const GraphicRecord& g, Text& text) {
    text.hasBox = plausibleBox(g) ? 1 : 0;
    if (!text.hasBox) return;
    text.boxX0 = g.x0;
    text.boxY0 = g.y0;
    text.boxX1 = g.x1;
    text.boxY1 = g.y1;
}

// Net id -> name from every named record that the mark 22 00 00 directly precedes (text
// style and component names never have it); the first record of an id wins.
std::unordered_map<std::int32_t, std::string> readMarkedNetNames(const ByteSpan& s) {
    std::unordered_map<std::int32_t, std::string> names;
    forEachNamedRecord(s, kNetNameMarkSize, s.size, kMaxStyleRecord, [&](const NamedRecord& rec) {
        if (!tagAt(s, rec.offset - kNetNameMarkSize, 0x22, 0x00, 0x00) || rec.id < 1 ||
            rec.id > kMaxStyleId || names.contains(rec.id))
            return;
        if (std::all_of(rec.name, rec.name + rec.length, isPlainOrTabLf))
            names.emplace(rec.id, decodeCp1251(rec.name, rec.length));
    });
    return names;
}

// With the anchor the net names are the named records near it. Without it they are the
// marked ones; elsewhere the file keeps text-style and component names in records of the
// same form, which would make wrong labels.
std::unordered_map<std::int32_t, std::string> netNames(const ReadContext& ctx) {
    const ByteSpan& s = ctx.span;
    if (!ctx.hasAnchor) return readMarkedNetNames(s);
    const std::size_t begin =
        ctx.anchorOffset > kNetNamesBeforeAnchor ? ctx.anchorOffset - kNetNamesBeforeAnchor : 0;
    const std::size_t end = std::min(ctx.anchorOffset + kAnchorReach, s.size);
    return readNetNames(s, begin, end);
}

// Line breaks are stored as CR LF or LF; the page keeps LF alone.
void joinLineBreaks(std::string& text) {
    std::size_t out = 0;
    for (std::size_t k = 0; k < text.size(); ++k)
        if (!(text[k] == '\r' && k + 1 < text.size() && text[k + 1] == '\n')) text[out++] = text[k];
    text.resize(out);
}

// Title texts: with a title sheet those on it; otherwise those near the page's edges.
std::uint8_t textClass(const ReadContext& ctx, const Page& page, double x, double y, bool onTitleSheet) {
    if (onTitleSheet) return ClassTitleText;
    if (ctx.titleSheet) return ClassFreeText;
    const bool nearEdge = x < page.originX + 20 || x > page.originX + page.width - 25 ||
                          y < page.originY + 35 || y > page.originY + page.height - 15;
    return nearEdge ? ClassTitleText : ClassFreeText;
}

}  // namespace

std::size_t textRecordEnd(const ByteSpan& s, std::size_t o) {
    if (!common::fits(o, kTextStart, s.size) || s.data[o] != 0x0E) return 0;
    const std::size_t L = s.readU16(o + kLength);
    return L >= kMinTextRecord && L <= kMaxTextRecord && common::fits(o + kTextStart, L, s.size)
               ? o + kTextStart + L
               : 0;
}

void readNetLabels(ReadContext& ctx) {
    const ByteSpan& s = ctx.span;
    const std::unordered_map<std::int32_t, std::string> names = netNames(ctx);
    if (names.empty()) return;
    // Labels found through the marked names sit in their port's outline when it is plausible.
    const bool boxed = !ctx.hasAnchor;

    GraphicRecord g;
    forEachByte(s, ctx.scanStart > kNetRefSize ? ctx.scanStart - kNetRefSize : 0, s.size, 0x4B,
                [&](std::size_t ref) {
                    if (!tagAt(s, ref, 0x4B, 0x08, 0x00) || !ctx.graphicAt(ref + kNetRefSize, g)) return;
                    Page* page = ctx.pageOf(g.sheet);
                    if (page == nullptr) return;
                    const auto it = names.find(s.readU16(ref + kNetRefId));
                    if (it == names.end()) return;
                    Text text;
                    text.hasBox = 0;
                    if (boxed) setTextBox(g, text);
                    // In its outline the label sits at the point; beside it otherwise.
                    text.x = text.hasBox ? g.x : g.x + 1.0;
                    text.y = text.hasBox ? g.y : g.y + 1.5;
                    text.text = it->second;
                    text.height = 2.8f;
                    text.rotation = 0;
                    text.justify = 0;
                    text.itemClass = ClassPortLabel;
                    text.hasExtent = 0;
                    page->texts.push_back(std::move(text));
                });
}

void readTexts(ReadContext& ctx, const std::unordered_map<std::int32_t, float>& styles) {
    const ByteSpan& s = ctx.span;
    // Pins leave them in file order unless their records overlap.
    std::vector<std::size_t>& hidden = ctx.hiddenTexts;
    std::sort(hidden.begin(), hidden.end());
    std::size_t nextHidden = 0;  // into the ascending hidden offsets
    GraphicRecord g;
    forEachByte(s, ctx.anchorOffset, s.size > 12 ? s.size - 12 : 0, 0x0E, [&](std::size_t o) {
        const std::size_t u = textRecordEnd(s, o);  // where its anchoring record starts
        if (u == 0) return;
        const std::size_t n = textLength(s, o, u - o - kTextStart);
        if (n == 0) return;
        if (!ctx.graphicAt(u, g) || g.anchorFlag != 1) return;
        while (nextHidden < hidden.size() && hidden[nextHidden] < o) ++nextHidden;
        if (nextHidden < hidden.size() && hidden[nextHidden] == o) return;

        Text text;
        text.x = g.x;
        text.y = g.y;
        text.text = decodeCp1251(s.data + o + kTextStart, n);
        if (std::memchr(s.data + o + kTextStart, '\r', n) != nullptr) joinLineBreaks(text.text);
        readTextFields(s, o, n, u, styles, text);
        setTextBox(g, text);
        text.hasExtent = 0;
        ctx.forPagesOf(g.sheet, [&](Page& page, bool title) {
            if (!insidePage(page, g.x, g.y, 10)) return;
            text.itemClass = textClass(ctx, page, g.x, g.y, title);
            // Off the title sheet the text has exactly one page.
            if (title)
                page.texts.push_back(text);
            else
                page.texts.push_back(std::move(text));
        });
    });
}

}  // namespace binary

}  // namespace pcad
