// Test-side builder of SBK schematic files: Circuit streams with instances,
// terminals, wires, buses and texts at known offsets, symbol cells, the cell
// table of contents, and the compound file around them.
//
//     kgtest::CircuitBuilder c;                 // 128-byte header
//     c.setFrame(0, 0, 11000, 8500);
//     size_t V = c.instance("RES", 100, 200, 0); // marker offset
//     c.text(15, 10, 20, "R1");                 // the instance's reference
//     kgtest::CellBuilder res;
//     res.geometry(0x80, 8, {0, 0, 100, 0});
//     kgtest::SbkFileBuilder f;
//     f.addCell("RES;1", res.bytes());
//     f.addPage(c.bytes());
//     kgtest::TempFile file(f.bytes(), ".SBK");
#pragma once

#include "support/compound_file_writer.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kgtest {

void putU16(std::vector<std::uint8_t>& out, std::uint16_t v);
void putU32(std::vector<std::uint8_t>& out, std::uint32_t v);
void putI32(std::vector<std::uint8_t>& out, std::int32_t v);
void setI32(std::vector<std::uint8_t>& out, std::size_t offset, std::int32_t v);

// A text record: 00 01 kind, 7 filler bytes, x, y, length byte, text bytes.
// lengthByte overrides the written length (to build broken records).
std::vector<std::uint8_t> sbkTextRecord(std::uint8_t kind, std::int32_t x, std::int32_t y,
                                        std::string_view text, int lengthByte = -1);
// A cell geometry record: tag 01 kind 00, count, int32 values.
std::vector<std::uint8_t> sbkGeometryRecord(std::uint8_t tag, std::uint8_t kind,
                                            const std::vector<std::int32_t>& values);

class CellBuilder {
public:
    CellBuilder& geometry(std::uint8_t tag, std::uint8_t kind, const std::vector<std::int32_t>& values);
    CellBuilder& text(std::uint8_t kind, std::int32_t x, std::int32_t y, std::string_view text);
    CellBuilder& raw(const std::vector<std::uint8_t>& bytes);
    const std::vector<std::uint8_t>& bytes() const { return bytes_; }

private:
    std::vector<std::uint8_t> bytes_;
};

using SbkPoints = std::vector<std::pair<std::int32_t, std::int32_t>>;

// A Circuit stream, appended in order; each adder returns the offset of what
// it wrote (the record head, or the marker of an instance or terminal).
class CircuitBuilder {
public:
    explicit CircuitBuilder(std::uint32_t headerWord = 0x53424B31);

    // Header corners at 54/58 and 78/82.
    void setFrame(std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2);
    std::size_t pad(std::size_t n, std::uint8_t fill = 0);
    // Pads so that the next byte written lands at offset.
    void padTo(std::size_t offset);
    std::size_t raw(const std::vector<std::uint8_t>& bytes);
    std::size_t text(std::uint8_t kind, std::int32_t x, std::int32_t y, std::string_view text);
    std::size_t wire(std::uint8_t style, const SbkPoints& points);
    std::size_t bus(std::uint8_t style, const SbkPoints& points);
    // Length byte and name, fields and the 00 01 74 marker; returns the marker's offset V.
    std::size_t instance(std::string_view cellName, std::int32_t x, std::int32_t y, std::uint8_t orientation);
    // Length byte and name, x, y, orientation and the 00 01 0B marker; returns W.
    std::size_t terminal(std::string_view cellName, std::int32_t x, std::int32_t y, std::uint8_t orientation);
    // The same, written over whatever lies there, with the marker at V or W
    // (the stream grows when needed).
    void instanceAt(std::size_t V, std::string_view cellName, std::int32_t x, std::int32_t y,
                    std::uint8_t orientation);
    void terminalAt(std::size_t W, std::string_view cellName, std::int32_t x, std::int32_t y,
                    std::uint8_t orientation);

    std::size_t size() const { return bytes_.size(); }
    std::vector<std::uint8_t>& bytes() { return bytes_; }
    const std::vector<std::uint8_t>& bytes() const { return bytes_; }

private:
    std::size_t line(std::uint8_t style, std::uint8_t b1, std::uint8_t b2, const SbkPoints& points);
    std::vector<std::uint8_t> bytes_;
};

class SbkFileBuilder {
public:
    // Page k (from 1) goes to "Pages/Page<k>/Circuit".
    void addPage(std::vector<std::uint8_t> circuit);
    // Appends a TOC entry (the text as written, e.g. "RES;1") and its cell
    // stream "Celltypes/<index>"; returns the index.
    int addCell(std::string tocEntry, const std::vector<std::uint8_t>& stream);
    // A TOC entry without a cell stream.
    int addCellName(std::string tocEntry);
    // Replaces the generated table of contents by these bytes.
    void setTableOfContents(std::vector<std::uint8_t> toc);
    void addStream(std::string path, std::vector<std::uint8_t> data);

    CompoundFileImage build() const;
    std::vector<std::uint8_t> bytes() const { return build().bytes; }

private:
    std::vector<std::vector<std::uint8_t>> pages_;
    std::vector<std::string> tocNames_;
    std::vector<std::pair<int, std::vector<std::uint8_t>>> cells_;
    bool customToc_ = false;
    std::vector<std::uint8_t> toc_;
    std::vector<std::pair<std::string, std::vector<std::uint8_t>>> extra_;
};

}  // namespace kgtest
