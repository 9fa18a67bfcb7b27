// Pin records: the short line each pin of a symbol is drawn with, and which of the pin's
// two texts (its number and its name) the file keeps hidden.
#include <algorithm>

#include "common/bytes.h"
#include "pcad/arc_segments.h"
#include "pcad/binary_passes.h"

namespace pcad::binary {

namespace {

// Pin record: 2C, L (u16), then L bytes: u16, length u32, 8 bytes, u16, rotation u16 in
// tenths of a degree, number-shown flag, name-shown flag, the number text and 00. The
// pin's point tag follows at once, then the number's text record, its graphic record and
// the name's text record.
constexpr std::size_t kPinLength = 5, kPinRotation = 19, kPinNumberShown = 21, kPinNameShown = 22,
                      kPinNumber = 23, kPinBodyStart = 3;
constexpr std::size_t kMaxPinNumber = 64;
constexpr std::size_t kPointTagSize = 11;
constexpr double kMaxPinLength = 100;  // millimetres
constexpr std::uint16_t kFullTurn = 3600;
constexpr float kPinWidth = 0.254f;

struct Pin {
    BinaryPoint at;
    double length = 0;
    std::uint16_t rotation = 0;
    bool numberShown = true, nameShown = true;
    std::size_t start = 0;  // where the record starts
};

// The pin record that ends where the point tag at `end` starts. Its number text is the
// run of bytes of at least 0x20 before the closing 00; the name-shown flag (0 or 1) before
// it ends the run, so the record's start follows from the run's length.
bool pinEndingAt(const ByteSpan& s, std::size_t end, Pin& pin) {
    if (end < kPinNumber + 2 || !common::fits(end, kPointTagSize, s.size) || s.data[end - 1] != 0 ||
        !tagAt(s, end, 0x04, 0x08, 0x00))
        return false;
    // The run starts no earlier than the record's first text byte, nor longer than a number.
    const std::size_t lowest = std::max(kPinNumber, end - 1 > kMaxPinNumber ? end - 1 - kMaxPinNumber : 0);
    std::size_t text = end - 1;
    while (text > lowest && s.data[text - 1] >= 0x20) --text;
    if (text == end - 1) return false;
    const std::size_t i = text - kPinNumber;
    const std::uint8_t* p = s.data + i;
    if (p[0] != 0x2C || s.readU16(i + 1) != end - i - kPinBodyStart) return false;
    if (p[kPinNumberShown] > 1 || p[kPinNameShown] > 1) return false;
    pin.rotation = s.readU16(i + kPinRotation);
    pin.length = s.readU32(i + kPinLength) / 100000.0;
    pin.at = s.point(end + 3);
    if (pin.rotation > kFullTurn || !(pin.length > 0 && pin.length <= kMaxPinLength) ||
        !plausiblePoint(pin.at))
        return false;
    pin.numberShown = p[kPinNumberShown] != 0;
    pin.nameShown = p[kPinNameShown] != 0;
    pin.start = i;
    return true;
}

}  // namespace

void readPinEndingAt(ReadContext& ctx, std::size_t end) {
    const ByteSpan& s = ctx.span;
    Pin pin;
    if (!pinEndingAt(s, end, pin) || pin.start < ctx.scanStart) return;
    // The number's text record follows the point; its graphic record tells the sheet.
    const std::size_t number = end + kPointTagSize;
    const std::size_t numberEnd = textRecordEnd(s, number);
    GraphicRecord g;
    const bool hasNumber = numberEnd != 0 && s.matchGraphic(numberEnd, g);
    if (hasNumber) {
        if (!pin.numberShown) ctx.hiddenTexts.push_back(number);
        if (!pin.nameShown) ctx.hiddenTexts.push_back(numberEnd + graphic::kSize);
    }
    Page* page = ctx.pageOf(hasNumber ? g.sheet : 0);
    if (page == nullptr) return;
    const BinaryPoint d = unitDirection(pin.rotation / 10.0);
    page->lines.push_back(Line{pin.at.x, pin.at.y, pin.at.x + pin.length * d.x, pin.at.y + pin.length * d.y,
                               kPinWidth, ClassSymbolGraphics});
}

}  // namespace pcad::binary
