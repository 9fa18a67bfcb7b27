// Text-style heights, net labels and text records.
#include <algorithm>
#include <cmath>

#include "pcad/binary_passes.h"
#include "pcad/cp1251.h"

namespace pcad {

namespace {

const std::uint8_t kFontKind1[4] = {0x04, 0x00, 0x01, 0x00};
const std::uint8_t kFontKind0[7] = {0x29, 0x14, 0x00, 0x03, 0x00, 0x03, 0x00};

bool isPlainOrTabLf(std::uint8_t b) { return b >= 0x20 || b == 0x09 || b == 0x0A; }

// A record 1D L id name 00 at p inside [.., end); its id and name bounds on success.
bool namedRecordAt(const ByteSpan& s, std::size_t p, std::size_t end, std::size_t maxLength,
                   std::uint16_t& id, std::size_t& length) {
    if (s.data[p] != 0x1D) return false;
    const std::size_t L = s.readU16(p + 1);
    if (L < 4 || L > maxLength || p + L + 3 > end || s.data[p + L + 2] != 0) return false;
    id = s.readU16(p + 3);
    length = L;
    return true;
}

// A style-name record takes the height of a font at most this many bytes before it.
constexpr std::size_t kStyleFontReach = 180;

// Plausible font records from `from` on, within the first r bytes, in ascending offset.
std::vector<FontRecord> readFonts(const ByteSpan& s, std::size_t from, std::size_t r) {
    std::vector<FontRecord> fonts;
    for (std::size_t o = from; o + 15 < r; ++o) {
        std::int32_t kind;
        if (s.data[o] == 0x59 && o + 8 < r && binary::bytesAt(s, o + 3, kFontKind1, 4))
            kind = 1;
        else if (s.data[o] == 0x29 && binary::bytesAt(s, o, kFontKind0, 7))
            kind = 0;
        else
            continue;
        const std::size_t nameEnd = std::min(o + 58, r);
        std::size_t e = o + 7;
        while (e < nameEnd && s.data[e] != 0) ++e;
        if (e == o + 7 || e + 5 > r) continue;
        const float height = static_cast<float>(static_cast<std::int32_t>(s.readU32(e + 1)) / 100000.0);
        if (static_cast<double>(height) < 0.4 || static_cast<double>(height) > 30.0) continue;
        fonts.push_back(FontRecord{o, height, kind});
    }
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
    for (std::size_t p = 0; p + 7 < r; ++p) {
        std::uint16_t id;
        std::size_t L;
        if (!namedRecordAt(s, p, r, 150, id, L) || id > 5000) continue;
        bool clean = true;
        for (std::size_t q = p + 5; q < p + L + 2 && clean; ++q) clean = isPlainOrTabLf(s.data[q]);
        if (!clean) continue;
        if (const FontRecord* font = cursor.fontFor(p)) styles[id] = font->height;
    }
    return styles;
}

namespace binary {

void readNetLabels(ReadContext& ctx) {
    // Only the anchor tells where the net names lie. Elsewhere the file keeps text-style
    // and component names in records of the same form, which would make wrong labels.
    if (!ctx.hasAnchor) return;
    const ByteSpan& s = ctx.span;
    const std::size_t begin = ctx.anchorOffset > 3000 ? ctx.anchorOffset - 3000 : 0;
    const std::size_t end = std::min(ctx.anchorOffset + 8500, s.size);

    // A named record that follows a font closely enough is a text-style name, not a net.
    const std::vector<FontRecord> fonts =
        readFonts(s, begin > kStyleFontReach ? begin - kStyleFontReach : 0, end);
    FontCursor styleFont(fonts);
    std::unordered_map<std::int32_t, std::string> names;
    for (std::size_t p = begin; p + 7 < end; ++p) {
        std::uint16_t id;
        std::size_t L;
        if (!namedRecordAt(s, p, end, 128, id, L) || id < 1 || id > 200) continue;
        const std::uint8_t* name = s.data + p + 5;
        if (!std::all_of(name, name + (L - 3), [](std::uint8_t b) { return b >= 0x20; })) continue;
        if (styleFont.fontFor(p) != nullptr) continue;
        names[id] = decodeCp1251(name, L - 3);
    }
    if (names.empty()) return;

    for (const GraphicRecord& g : ctx.graphics) {
        Page* page = ctx.pageOf(g.sheet);
        if (page == nullptr) continue;
        const std::size_t t = g.offset;
        if (t < 11 || !tagAt(s, t - 11, 0x4B, 0x08, 0x00)) continue;
        const auto it = names.find(s.readU16(t - 8));
        if (it == names.end()) continue;
        Text text;
        text.x = g.x + 1.0;
        text.y = g.y + 1.5;
        text.text = it->second;
        text.height = 2.8f;
        text.rotation = 0;
        text.justify = 0;
        text.itemClass = ClassPortLabel;
        text.hasBox = 0;
        text.hasExtent = 0;
        page->texts.push_back(std::move(text));
    }
}

void readTexts(ReadContext& ctx, const std::unordered_map<std::int32_t, float>& styles) {
    const ByteSpan& s = ctx.span;
    for (std::size_t o = ctx.anchorOffset; o + 12 < s.size; ++o) {
        if (s.data[o] != 0x0E) continue;
        const std::size_t L = s.readU16(o + 1);
        if (L < 7 || L > 4096 || o + 3 + L > s.size) continue;
        const std::size_t u = o + 3 + L;

        // Only the first 241 bytes matter: a longer text is rejected anyway.
        std::size_t n = 0;
        bool clean = true;
        while (n < L && n <= 240) {
            const std::uint8_t b = s.data[o + 3 + n];
            if (b == 0) break;
            if (b < 0x20 && b != 0x09 && b != 0x0A && b != 0x0D) {
                clean = false;
                break;
            }
            ++n;
        }
        if (!clean || n < 1 || n > 240) continue;

        const GraphicRecord* g = ctx.graphicAtOffset(u);
        if (g == nullptr || g->anchorFlag != 1) continue;
        Page* page = ctx.pageOf(g->sheet);
        if (page == nullptr) continue;
        const double x = g->x, y = g->y;
        if (x < page->originX - 10 || x > page->originX + page->width + 10 || y < page->originY - 10 ||
            y > page->originY + page->height + 10)
            continue;

        Text text;
        text.x = x;
        text.y = y;
        text.text = decodeCp1251(s.data + o + 3, n);
        float rotation = 0;
        if (o + n + 6 <= u) {
            rotation = static_cast<float>(s.readU16(o + n + 4)) / 10.0f;
            if (rotation > 360.1f || std::fabs(rotation - 180.0f) <= 0.01f) rotation = 0;
        }
        text.rotation = rotation;
        text.justify = 0;
        if (o + n + 8 <= u)
            text.justify = static_cast<std::uint8_t>(std::min<std::uint16_t>(s.readU16(o + n + 6), 6));
        text.height = 3.0f;
        if (o + n + 10 <= u) {
            const auto it = styles.find(s.readU16(o + n + 8));
            if (it != styles.end()) text.height = it->second;
        }
        const bool nearEdge = x < page->originX + 20 || x > page->originX + page->width - 25 ||
                              y < page->originY + 35 || y > page->originY + page->height - 15;
        text.itemClass = nearEdge ? ClassTitleText : ClassFreeText;
        const double bw = g->x1 - g->x0, bh = g->y1 - g->y0;
        if (bw > 0.05 && bw < 1000 && bh > 0.05 && bh < 200 && g->x0 >= -1000 && g->y0 >= -1000 &&
            g->x1 <= 6000 && g->y1 <= 6000) {
            text.hasBox = 1;
            text.boxX0 = g->x0;
            text.boxY0 = g->y0;
            text.boxX1 = g->x1;
            text.boxY1 = g->y1;
        } else {
            text.hasBox = 0;
        }
        text.hasExtent = 0;
        page->texts.push_back(std::move(text));
    }
}

}  // namespace binary

}  // namespace pcad
