// Text frames: a box, filled or bordered as the record asks, with its text laid out inside it.
#include <algorithm>
#include <string>
#include <string_view>

#include "common/utf8.h"
#include "schq/sheet_builder.h"

namespace schq {
namespace {

constexpr std::uint32_t kWhite = 0xFFFFFFFF;
constexpr double kDefaultMargin = 2;
// A character's width in font sizes: wrapping estimates a line's width without font metrics.
constexpr double kCharWidth = 0.6;

// Breaks a paragraph at spaces into lines of at most `maxChars` code points and hands each to
// emit, until emit returns false; a word longer than that stays whole on its own line. A
// paragraph without words still takes one (empty) line. Returns what the last emit returned.
template <typename Emit>
bool wrapParagraph(std::string_view text, double maxChars, Emit&& emit) {
    bool open = false;
    std::size_t begin = 0;  // the current line is text[begin, end), `chars` code points
    std::size_t end = 0;
    std::size_t chars = 0;
    for (std::size_t i = 0; i < text.size();) {
        if (text[i] == ' ') {
            ++i;
            continue;
        }
        const std::size_t wordEnd = std::min(text.find(' ', i), text.size());
        const std::size_t joined = chars + common::codePoints(text.substr(end, wordEnd - end));
        if (open && static_cast<double>(joined) <= maxChars) {
            chars = joined;
        } else {
            if (open && !emit(text.substr(begin, end - begin))) return false;
            open = true;
            begin = i;
            chars = common::codePoints(text.substr(i, wordEnd - i));
        }
        end = wordEnd;
        i = wordEnd;
    }
    return emit(text.substr(begin, end - begin));
}

}  // namespace

void SheetBuilder::addTextFrame(const RecordView& record) {
    // The location is the lower-left corner, the corner point the upper-right one.
    const Point a = location(record);
    const Point b = corner(record);
    const double left = std::min(a.x, b.x);
    const double right = std::max(a.x, b.x);
    const double top = std::min(a.y, b.y);
    const double bottom = std::max(a.y, b.y);

    const bool solid = isTrue(record, "ISSOLID");
    const bool border = isTrue(record, "SHOWBORDER");
    if (solid || border) {
        const std::uint32_t area = getColour(record, "AREACOLOR", kWhite);
        // Without a border the box is outlined in its own fill colour, at no width.
        const std::uint32_t stroke = border ? getColour(record, "COLOR", kBlack) : area;
        addPath(Rectangle, {a, b}, Graphics, stroke, border ? strokeWidthOf(record) : 0,
                solid ? area : kNoFill);
    }

    const std::string_view text = record.find("TEXT").value_or("");
    if (text.empty()) return;
    const std::uint32_t colour = getColour(record, "TEXTCOLOR", kBlack);
    const double size = fontSizeOf(record);
    const double margin = getDouble(record, "TEXTMARGIN", kDefaultMargin);
    TextAnchor anchor = Start;
    double x = left + margin;
    switch (getInt(record, "ALIGNMENT", 1)) {
        case 2:
            anchor = Middle;
            x = (left + right) / 2;
            break;
        case 3:
            anchor = End;
            x = right - margin;
            break;
        default: break;
    }
    const bool wrap = isTrue(record, "WORDWRAP");
    const bool clip = isTrue(record, "CLIPTORECT");
    const double maxChars = (right - left - 2 * margin) / (kCharWidth * size);

    // Lines hang from the top margin, one below the other.
    int row = 0;
    auto emit = [&](std::string_view line) {
        const double y = top + margin + row * kLineSpacing * size;
        if (row >= kMaxTextLines || (clip && y > bottom)) return false;
        addText({x, y}, std::string(line), Labels, colour, size, anchor, 0, kTopDy);
        ++row;
        return true;
    };
    int paragraph = 0;
    bool going = true;
    forEachTextLine(text, [&](int k, std::string_view line) {
        // Empty paragraphs before this one keep their lines.
        for (; going && paragraph < k; ++paragraph) going = emit({});
        if (!going) return;
        going = wrap ? wrapParagraph(line, maxChars, emit) : emit(line);
        paragraph = k + 1;
    });
}

}  // namespace schq
