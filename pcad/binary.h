// Reader of binary P-CAD schematics ("Schematic Binary (Rev 5)").
// The reader never walks the file's record structure: it scans the whole image for the
// byte patterns of the records it understands and keeps only plausible values.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "pcad/page.h"

namespace pcad {

// A point in millimetres.
using BinaryPoint = common::Point;

// The 47-byte graphic record: point tag, attribute tag, rectangle tag back to back.
struct GraphicRecord {
    std::size_t offset = 0;
    double x = 0, y = 0;
    std::uint16_t sheet = 0;
    std::uint8_t anchorFlag = 0;
    double x0 = 0, y0 = 0, x1 = 0, y1 = 0;  // left, bottom, right, top as stored
};

// The 58-byte shape record: two point tags, attribute tag, rectangle tag.
struct ShapeRecord {
    BinaryPoint p1;
    BinaryPoint p2;
    std::uint16_t sheet = 0;
    std::uint8_t wireFlag = 0;
    double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
};

// Read-only view of the file image with bounds-checked little-endian reads.
// The caller keeps the bytes alive while the span is used.
struct ByteSpan {
    const std::uint8_t* data = nullptr;
    std::size_t size = 0;

    // First occurrence of pattern wholly inside the span at or after from; size when none.
    std::size_t find(const std::vector<std::uint8_t>& pattern, std::size_t from) const;
    bool matchesAt(std::size_t offset, const std::vector<std::uint8_t>& pattern) const;

    // These throw std::runtime_error "Truncated P-CAD record" past the end.
    std::uint16_t readU16(std::size_t offset) const;
    std::uint32_t readU32(std::size_t offset) const;
    double coord(std::size_t offset) const;  // signed 1/100000 mm as millimetres
    BinaryPoint point(std::size_t offset) const;

    bool matchGraphic(std::size_t offset, GraphicRecord& record) const;
    bool matchShape(std::size_t offset, ShapeRecord& record) const;
};

struct SheetRecord {
    std::int32_t number = 1;
    std::string name;
    std::size_t offset = 0;
};

// A plausible font found before the text-style names.
struct FontRecord {
    std::size_t offset = 0;
    float height = 0;
    std::int32_t kind = 0;  // 1: opens with 0x59, 0: opens with 29 14 00
};

std::vector<SheetRecord> findSheets(const ByteSpan& span);
bool isMainSheetName(const std::string& name);
bool sheetRecordLess(const SheetRecord& a, const SheetRecord& b);

// Text-style id -> font height in millimetres, from the bytes below min(size, limit).
std::unordered_map<std::int32_t, float> readStyleHeights(const ByteSpan& span, std::size_t limit);

std::vector<Page> readBinary(const std::uint8_t* data, std::size_t size);

}  // namespace pcad
