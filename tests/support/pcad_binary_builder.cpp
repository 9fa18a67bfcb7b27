// The byte-by-byte writer of binary P-CAD images for the tests.
#include "support/pcad_binary_builder.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace kgtest {

std::int32_t PcadBinaryBuilder::units(double mm) {
    return static_cast<std::int32_t>(std::llround(mm * 100000.0));
}

PcadBinaryBuilder& PcadBinaryBuilder::u8(std::uint8_t v) {
    bytes.push_back(v);
    return *this;
}

PcadBinaryBuilder& PcadBinaryBuilder::u16(std::uint16_t v) {
    bytes.push_back(static_cast<std::uint8_t>(v & 0xFF));
    bytes.push_back(static_cast<std::uint8_t>(v >> 8));
    return *this;
}

PcadBinaryBuilder& PcadBinaryBuilder::u32(std::uint32_t v) {
    for (int k = 0; k < 4; ++k) bytes.push_back(static_cast<std::uint8_t>(v >> (8 * k)));
    return *this;
}

PcadBinaryBuilder& PcadBinaryBuilder::i32(std::int32_t v) { return u32(static_cast<std::uint32_t>(v)); }

PcadBinaryBuilder& PcadBinaryBuilder::raw(std::initializer_list<std::uint8_t> b) {
    bytes.insert(bytes.end(), b.begin(), b.end());
    return *this;
}

PcadBinaryBuilder& PcadBinaryBuilder::str(const std::string& s) {
    bytes.insert(bytes.end(), s.begin(), s.end());
    return *this;
}

PcadBinaryBuilder& PcadBinaryBuilder::fill(std::size_t n, std::uint8_t b) {
    bytes.insert(bytes.end(), n, b);
    return *this;
}

PcadBinaryBuilder& PcadBinaryBuilder::padTo(std::size_t offset, std::uint8_t b) {
    if (bytes.size() > offset) throw std::logic_error("builder is already past the requested offset");
    return fill(offset - bytes.size(), b);
}

PcadBinaryBuilder& PcadBinaryBuilder::magic() { return str("Schematic Binary (Rev 5)"); }

PcadBinaryBuilder& PcadBinaryBuilder::anchor() {
    return raw({0xC8, 0xED, 0xE2, 0x2E, 0xB9, 0x20, 0xEF, 0xEE, 0xE4, 0xEB, 0x2E});
}

PcadBinaryBuilder& PcadBinaryBuilder::pointTag(double x, double y) {
    return raw({0x04, 0x08, 0x00}).i32(units(x)).i32(units(y));
}

PcadBinaryBuilder& PcadBinaryBuilder::rectTag(const PcadRect& r) {
    return rectTagRaw(units(r.y1), units(r.y0), units(r.x0), units(r.x1));
}

PcadBinaryBuilder& PcadBinaryBuilder::rectTagRaw(std::int32_t top, std::int32_t bottom, std::int32_t left,
                                                 std::int32_t right) {
    return raw({0x03, 0x10, 0x00}).i32(top).i32(bottom).i32(left).i32(right);
}

PcadBinaryBuilder& PcadBinaryBuilder::attrTag(std::uint8_t wireFlag, std::uint8_t anchorFlag,
                                              std::uint16_t sheet) {
    // Unread attribute bytes are filled with 0xEE so that they never pass for a tag.
    raw({0x02, 0x0E, 0x00});
    u8(wireFlag).u8(0xEE).u8(0xEE).u8(anchorFlag);
    fill(8, 0xEE);
    return u16(sheet);
}

PcadBinaryBuilder& PcadBinaryBuilder::graphic(const PcadGraphic& g) {
    return pointTag(g.x, g.y).attrTag(0, g.anchorFlag, g.sheet).rectTag(g.rect);
}

PcadBinaryBuilder& PcadBinaryBuilder::shape(const PcadShape& s) {
    return pointTag(s.x1, s.y1)
        .pointTag(s.x2, s.y2)
        .attrTag(s.wireFlag, s.anchorFlag, s.sheet)
        .rectTag(s.rect);
}

PcadBinaryBuilder& PcadBinaryBuilder::lineWidth(std::uint32_t rawWidth) {
    return raw({0x08, 0x06, 0x00}).u32(rawWidth).u16(0);
}

PcadBinaryBuilder& PcadBinaryBuilder::circleChain(std::uint32_t rawWidth, double cx, double cy) {
    raw({0x0A, 0x05, 0x00}).u32(rawWidth).u8(0);
    raw({0x05, 0x08, 0x00, 0xFF, 0x7F, 0x00, 0x00, 0xFF, 0x7F, 0xFF, 0x7F});
    return pointTag(cx, cy);
}

PcadBinaryBuilder& PcadBinaryBuilder::junctionMark() { return raw({0x2F, 0x00, 0x00}); }

PcadBinaryBuilder& PcadBinaryBuilder::netRef(std::uint16_t netId) {
    return raw({0x4B, 0x08, 0x00}).u16(netId).fill(6, 0xEE);
}

PcadBinaryBuilder& PcadBinaryBuilder::named(std::uint16_t id, const std::string& name) {
    u8(0x1D).u16(static_cast<std::uint16_t>(name.size() + 3)).u16(id);
    return str(name).u8(0);
}

PcadBinaryBuilder& PcadBinaryBuilder::textRecord(const std::string& text,
                                                 std::initializer_list<std::uint16_t> fields) {
    u8(0x0E).u16(static_cast<std::uint16_t>(text.size() + 1 + 2 * fields.size()));
    str(text).u8(0);
    for (std::uint16_t f : fields) u16(f);
    return *this;
}

PcadBinaryBuilder& PcadBinaryBuilder::font(int kind, const std::string& name, std::int32_t rawHeight) {
    if (kind == 1)
        raw({0x59, 0xEE, 0xEE, 0x04, 0x00, 0x01, 0x00});
    else
        raw({0x29, 0x14, 0x00, 0x03, 0x00, 0x03, 0x00});
    return str(name).u8(0).i32(rawHeight);
}

PcadBinaryBuilder& PcadBinaryBuilder::sheet(std::uint8_t number, const std::string& name, std::uint8_t digit,
                                            std::uint8_t flag) {
    raw({0x2E, digit, 0x00, number, 0x00, flag});
    str(name);
    return raw({0x00, 0x01, 0x00, 0x00, 0x0A, 0x00, 0x00, 0x00});
}

PcadBinaryBuilder& PcadBinaryBuilder::sheetSized(std::uint8_t number, const std::string& name,
                                                 std::uint8_t flag, std::uint8_t last) {
    const std::size_t start = bytes.size();
    const auto length = static_cast<std::uint8_t>(45 + name.size());
    raw({0x2E, length, 0x00, number, 0x00, flag});
    str(name).raw({0x00, 0x01, 0x01, last});
    return padTo(std::max(bytes.size(), start + 3 + length));
}

PcadBinaryBuilder& PcadBinaryBuilder::netName(std::uint16_t id, const std::string& name) {
    return raw({0x22, 0x00, 0x00}).named(id, name);
}

PcadBinaryBuilder& PcadBinaryBuilder::pin(double length, std::uint16_t rotation, bool numberShown,
                                          bool nameShown, const std::string& number, double x, double y) {
    u8(0x2C).u16(static_cast<std::uint16_t>(21 + number.size()));
    u16(0xEEEE).i32(units(length)).fill(8, 0xEE).u16(0xEEEE).u16(rotation);
    u8(numberShown ? 1 : 0).u8(nameShown ? 1 : 0).str(number).u8(0);
    return pointTag(x, y);
}

PcadBinaryBuilder& PcadBinaryBuilder::polygon(std::initializer_list<std::pair<double, double>> points,
                                              std::uint16_t sheet) {
    raw({0x0B, 0x00, 0x00, 0x05, 0x04, 0x00}).u16(0xEEEE).u16(static_cast<std::uint16_t>(points.size()));
    for (const auto& [x, y] : points) pointTag(x, y);
    return attrTag(0, 0, sheet).rectTag({0, 0, 1, 1});
}

PcadBinaryBuilder& PcadBinaryBuilder::anchoredText(const std::string& text,
                                                   std::initializer_list<std::uint16_t> fields,
                                                   const PcadGraphic& g) {
    PcadGraphic anchored = g;
    anchored.anchorFlag = 1;
    return textRecord(text, fields).graphic(anchored);
}

PcadBinaryBuilder pcadBinaryFile() {
    PcadBinaryBuilder b;
    b.magic();
    return b;
}

}  // namespace kgtest
