// The test builders of SBK Circuit streams, symbol cells and whole SBK files.
#include "support/sbk_builder.h"

#include <stdexcept>

namespace kgtest {

void putU16(std::vector<std::uint8_t>& out, std::uint16_t v) {
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}

void putU32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

void putI32(std::vector<std::uint8_t>& out, std::int32_t v) { putU32(out, static_cast<std::uint32_t>(v)); }

void setI32(std::vector<std::uint8_t>& out, std::size_t offset, std::int32_t v) {
    if (out.size() < offset + 4) out.resize(offset + 4);
    const auto u = static_cast<std::uint32_t>(v);
    for (int i = 0; i < 4; ++i) out[offset + i] = static_cast<std::uint8_t>(u >> (8 * i));
}

std::vector<std::uint8_t> sbkTextRecord(std::uint8_t kind, std::int32_t x, std::int32_t y,
                                        std::string_view text, int lengthByte) {
    std::vector<std::uint8_t> r = {0x00, 0x01, kind, 0, 0, 0, 0, 0, 0, 0};
    putI32(r, x);
    putI32(r, y);
    r.push_back(static_cast<std::uint8_t>(lengthByte >= 0 ? lengthByte : static_cast<int>(text.size())));
    r.insert(r.end(), text.begin(), text.end());
    return r;
}

std::vector<std::uint8_t> sbkGeometryRecord(std::uint8_t tag, std::uint8_t kind,
                                            const std::vector<std::int32_t>& values) {
    std::vector<std::uint8_t> r = {tag, 0x01, kind, 0x00};
    putU32(r, static_cast<std::uint32_t>(values.size()));
    for (std::int32_t v : values) putI32(r, v);
    return r;
}

CellBuilder& CellBuilder::geometry(std::uint8_t tag, std::uint8_t kind,
                                   const std::vector<std::int32_t>& values) {
    return raw(sbkGeometryRecord(tag, kind, values));
}

CellBuilder& CellBuilder::text(std::uint8_t kind, std::int32_t x, std::int32_t y, std::string_view text) {
    return raw(sbkTextRecord(kind, x, y, text));
}

CellBuilder& CellBuilder::raw(const std::vector<std::uint8_t>& bytes) {
    // Filler between records keeps them apart, as in real cells.
    bytes_.insert(bytes_.end(), {0x10, 0x20, 0x30, 0x40});
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
    return *this;
}

CircuitBuilder::CircuitBuilder(std::uint32_t headerWord) : bytes_(128, 0) {
    setI32(bytes_, 0, static_cast<std::int32_t>(headerWord));
}

void CircuitBuilder::setFrame(std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2) {
    setI32(bytes_, 54, x1);
    setI32(bytes_, 58, y1);
    setI32(bytes_, 78, x2);
    setI32(bytes_, 82, y2);
}

std::size_t CircuitBuilder::pad(std::size_t n, std::uint8_t fill) {
    const std::size_t at = bytes_.size();
    bytes_.insert(bytes_.end(), n, fill);
    return at;
}

void CircuitBuilder::padTo(std::size_t offset) {
    if (offset < bytes_.size()) throw std::logic_error("CircuitBuilder::padTo: already past that offset");
    bytes_.resize(offset, 0);
}

std::size_t CircuitBuilder::raw(const std::vector<std::uint8_t>& bytes) {
    const std::size_t at = bytes_.size();
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
    return at;
}

std::size_t CircuitBuilder::text(std::uint8_t kind, std::int32_t x, std::int32_t y, std::string_view text) {
    return raw(sbkTextRecord(kind, x, y, text));
}

std::size_t CircuitBuilder::line(std::uint8_t style, std::uint8_t b1, std::uint8_t b2,
                                 const SbkPoints& points) {
    std::vector<std::uint8_t> r = {style, b1, b2, 0x00, 0, 0, 0, 0};
    putU32(r, static_cast<std::uint32_t>(points.size()));
    for (const auto& [x, y] : points) {
        putI32(r, x);
        putI32(r, y);
    }
    return raw(r);
}

std::size_t CircuitBuilder::wire(std::uint8_t style, const SbkPoints& points) {
    return line(style, 0x04, 0x0C, points);
}

std::size_t CircuitBuilder::bus(std::uint8_t style, const SbkPoints& points) {
    return line(style, 0x2C, 0x1E, points);
}

std::size_t CircuitBuilder::instance(std::string_view cellName, std::int32_t x, std::int32_t y,
                                     std::uint8_t orientation) {
    const std::size_t V = bytes_.size() + 45 + cellName.size();
    instanceAt(V, cellName, x, y, orientation);
    return V;
}

void CircuitBuilder::instanceAt(std::size_t V, std::string_view cellName, std::int32_t x, std::int32_t y,
                                std::uint8_t orientation) {
    // Name length byte at V - 45 - L, the name up to V - 44, position at
    // V - 36 / V - 32, orientation at V - 28, four checked values at
    // V - 20 .. V - 8, marker at V.
    const std::size_t L = cellName.size();
    if (V < 45 + L) throw std::logic_error("CircuitBuilder::instanceAt: no room for the name");
    if (bytes_.size() < V + 3) bytes_.resize(V + 3, 0);
    bytes_[V - 45 - L] = static_cast<std::uint8_t>(L);
    for (std::size_t i = 0; i < L; ++i) bytes_[V - 44 - L + i] = static_cast<std::uint8_t>(cellName[i]);
    setI32(bytes_, V - 36, x);
    setI32(bytes_, V - 32, y);
    bytes_[V - 28] = orientation;
    for (std::size_t off : {20, 16, 12, 8}) setI32(bytes_, V - off, 7);
    bytes_[V] = 0x00;
    bytes_[V + 1] = 0x01;
    bytes_[V + 2] = 0x74;
}

std::size_t CircuitBuilder::terminal(std::string_view cellName, std::int32_t x, std::int32_t y,
                                     std::uint8_t orientation) {
    const std::size_t W = bytes_.size() + 18 + cellName.size();
    terminalAt(W, cellName, x, y, orientation);
    return W;
}

void CircuitBuilder::terminalAt(std::size_t W, std::string_view cellName, std::int32_t x, std::int32_t y,
                                std::uint8_t orientation) {
    // Length byte at W - 18 - j, name up to W - 17, x at W - 9, y at W - 5,
    // orientation at W - 1, marker at W.
    const std::size_t j = cellName.size();
    if (W < 18 + j) throw std::logic_error("CircuitBuilder::terminalAt: no room for the name");
    if (bytes_.size() < W + 3) bytes_.resize(W + 3, 0);
    bytes_[W - 18 - j] = static_cast<std::uint8_t>(j);
    for (std::size_t i = 0; i < j; ++i) bytes_[W - 17 - j + i] = static_cast<std::uint8_t>(cellName[i]);
    setI32(bytes_, W - 9, x);
    setI32(bytes_, W - 5, y);
    bytes_[W - 1] = orientation;
    bytes_[W] = 0x00;
    bytes_[W + 1] = 0x01;
    bytes_[W + 2] = 0x0B;
}

void SbkFileBuilder::addPage(std::vector<std::uint8_t> circuit) { pages_.push_back(std::move(circuit)); }

int SbkFileBuilder::addCell(std::string tocEntry, const std::vector<std::uint8_t>& stream) {
    const int index = addCellName(std::move(tocEntry));
    cells_.emplace_back(index, stream);
    return index;
}

int SbkFileBuilder::addCellName(std::string tocEntry) {
    tocNames_.push_back(std::move(tocEntry));
    return static_cast<int>(tocNames_.size()) - 1;
}

void SbkFileBuilder::setTableOfContents(std::vector<std::uint8_t> toc) {
    customToc_ = true;
    toc_ = std::move(toc);
}

void SbkFileBuilder::addStream(std::string path, std::vector<std::uint8_t> data) {
    extra_.emplace_back(std::move(path), std::move(data));
}

CompoundFileImage SbkFileBuilder::build() const {
    CompoundFileWriter w(3);
    for (std::size_t i = 0; i < pages_.size(); ++i)
        w.addStream("Pages/Page" + std::to_string(i + 1) + "/Circuit", pages_[i]);
    std::vector<std::uint8_t> toc = toc_;
    if (!customToc_) {
        putU16(toc, static_cast<std::uint16_t>(tocNames_.size()));
        for (const std::string& name : tocNames_) {
            toc.push_back(static_cast<std::uint8_t>(name.size()));
            toc.insert(toc.end(), name.begin(), name.end());
        }
    }
    if (customToc_ || !tocNames_.empty()) w.addStream("Celltypes/Table of Contents", toc);
    for (const auto& [index, stream] : cells_) w.addStream("Celltypes/" + std::to_string(index), stream);
    for (const auto& [path, data] : extra_) w.addStream(path, data);
    return w.build();
}

}  // namespace kgtest
