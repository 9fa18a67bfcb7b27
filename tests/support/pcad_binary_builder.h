// Writes binary P-CAD schematic images byte by byte for the tests: the tagged fields,
// the composite records and the named, text, font and sheet records the reader scans for.
// Lengths and coordinates are given in millimetres unless a parameter says "raw".
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

namespace kgtest {

struct PcadRect {
    double x0 = 0, y0 = 0, x1 = 1, y1 = 1;  // left, bottom, right, top
};

struct PcadGraphic {
    double x = 0, y = 0;
    std::uint16_t sheet = 1;
    std::uint8_t anchorFlag = 0;
    PcadRect rect;
};

struct PcadShape {
    double x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    std::uint16_t sheet = 1;
    std::uint8_t wireFlag = 0;
    std::uint8_t anchorFlag = 0;
    PcadRect rect;
};

class PcadBinaryBuilder {
public:
    // Millimetres to the file's 1/100000 millimetre unit.
    static std::int32_t units(double mm);

    std::vector<std::uint8_t> bytes;

    std::size_t size() const { return bytes.size(); }

    PcadBinaryBuilder& u8(std::uint8_t v);
    PcadBinaryBuilder& u16(std::uint16_t v);
    PcadBinaryBuilder& u32(std::uint32_t v);
    PcadBinaryBuilder& i32(std::int32_t v);
    PcadBinaryBuilder& raw(std::initializer_list<std::uint8_t> b);
    PcadBinaryBuilder& str(const std::string& s);  // the bytes of s, no terminator
    PcadBinaryBuilder& fill(std::size_t n, std::uint8_t b = 0);
    // Appends filler until the image is exactly offset bytes long (it must not be longer).
    PcadBinaryBuilder& padTo(std::size_t offset, std::uint8_t b = 0);

    PcadBinaryBuilder& magic();   // "Schematic Binary (Rev 5)"
    PcadBinaryBuilder& anchor();  // the title-block caption most scans start near

    PcadBinaryBuilder& pointTag(double x, double y);
    PcadBinaryBuilder& rectTag(const PcadRect& r);  // stored top, bottom, left, right
    PcadBinaryBuilder& rectTagRaw(std::int32_t top, std::int32_t bottom, std::int32_t left,
                                  std::int32_t right);
    PcadBinaryBuilder& attrTag(std::uint8_t wireFlag, std::uint8_t anchorFlag, std::uint16_t sheet);

    PcadBinaryBuilder& graphic(const PcadGraphic& g);  // 47 bytes
    PcadBinaryBuilder& shape(const PcadShape& s);      // 58 bytes

    PcadBinaryBuilder& lineWidth(std::uint32_t rawWidth);  // 9 bytes, directly before a shape
    // 30 bytes, directly before a circle's shape record.
    PcadBinaryBuilder& circleChain(std::uint32_t rawWidth, double cx, double cy);
    PcadBinaryBuilder& junctionMark();               // 2F 00 00
    PcadBinaryBuilder& netRef(std::uint16_t netId);  // 11 bytes before a graphic record

    // 1D L id name 00, L counting every byte after the length field.
    PcadBinaryBuilder& named(std::uint16_t id, const std::string& name);
    // 0E L text 00 and the trailing u16 fields given (rotation, justification, style id).
    PcadBinaryBuilder& textRecord(const std::string& text, std::initializer_list<std::uint16_t> fields);
    // kind 1: 59 ?? ?? 04 00 01 00; kind 0: 29 14 00 03 00 03 00; then name, 00, height.
    PcadBinaryBuilder& font(int kind, const std::string& name, std::int32_t rawHeight);
    // 2E, digit, 00, number, 00, flag, name, 00 01 00 00 0A 00 00 00.
    PcadBinaryBuilder& sheet(std::uint8_t number, const std::string& name, std::uint8_t digit = '0',
                             std::uint8_t flag = 0);

    // The later form, with the record's length in place of the type: 2E, 45 + name length,
    // 00, number, 00, flag, name, 00 01 01, `last`, then filler up to the record's length.
    PcadBinaryBuilder& sheetSized(std::uint8_t number, const std::string& name, std::uint8_t flag = 0,
                                  std::uint8_t last = 0);
    // 22 00 00 and the named record of a net name.
    PcadBinaryBuilder& netName(std::uint16_t id, const std::string& name);
    // 2C L, then u16, length u32, 8 bytes, u16, rotation u16 (tenths of a degree), the two
    // shown flags, the number text and 00; then the pin's point tag.
    PcadBinaryBuilder& pin(double length, std::uint16_t rotation, bool numberShown, bool nameShown,
                           const std::string& number, double x, double y);
    // 0B 00 00 05 04 00, u16, point count, the point tags, then attribute and rectangle tags.
    PcadBinaryBuilder& polygon(std::initializer_list<std::pair<double, double>> points,
                               std::uint16_t sheet = 1);

    // A text record anchored by the graphic record that follows it at once.
    PcadBinaryBuilder& anchoredText(const std::string& text, std::initializer_list<std::uint16_t> fields,
                                    const PcadGraphic& g);
};

// A fresh image that starts with the signature.
PcadBinaryBuilder pcadBinaryFile();

}  // namespace kgtest
