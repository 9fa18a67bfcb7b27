// Symbol cells: the table of contents of "Celltypes", the case-insensitive
// name index, and the geometry and texts of every cell stream.
#include "sbk/cp1252.h"
#include "sbk/scan.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <utility>

#include "common/ascii.h"

namespace sbk {

namespace {

constexpr std::uint8_t kGeometryKinds[] = {8, 10, 12, 14, 16, 24, 26, 27, 28, 32, 40, 48, 60, 62, 80};

bool isGeometryKind(std::uint8_t k) {
    for (std::uint8_t g : kGeometryKinds)
        if (g == k) return true;
    return false;
}

}  // namespace

std::string toLower(std::string s) { return common::asciiLowerCase(std::move(s)); }

int findCell(const CellNameIndex& index, const std::string& name) {
    auto it = index.find(toLower(name));
    return it == index.end() ? -1 : it->second;
}

bool withinLimit(double v, int limit) { return std::fabs(v) <= static_cast<double>(limit); }

std::vector<CellPrimitive> parseCellGeometry(const std::vector<std::uint8_t>& stream) {
    std::vector<CellPrimitive> out;
    const std::size_t size = stream.size();
    std::vector<std::int32_t> values;
    // Records are not skipped over once taken: a record found inside another
    // one's values counts as well, so every offset is tried.
    for (std::size_t p = 0; size >= 8 && p <= size - 8; ++p) {
        const std::uint8_t tag = stream[p];
        if (tag < 0x80 || tag > 0x8F || stream[p + 1] != 0x01 || stream[p + 3] != 0x00) continue;
        const std::uint8_t kind = stream[p + 2];
        if (!isGeometryKind(kind)) continue;
        const std::uint32_t n = readU32(stream, p + 4);
        if (n < 4 || n > 512 || n > (size - p - 8) / 4) continue;
        values.clear();
        bool ok = true;
        for (std::uint32_t i = 0; i < n; ++i) {
            const std::int32_t v = readI32(stream, p + 8 + 4 * std::size_t{i});
            if (v < -30000 || v > 30000) {
                ok = false;
                break;
            }
            values.push_back(v);
        }
        if (!ok) continue;
        CellPrimitive prim;
        prim.tag = tag;
        if (tag == 0x82 && kind == 24 && n == 7) {
            prim.shape = ShapeCurve;
            for (std::size_t i = 1; i + 1 < 7; i += 2)
                prim.points.push_back({double(values[i]), double(values[i + 1])});
        } else if (n % 2 == 0) {
            prim.shape = (kind == 48 && n == 4) ? ShapeEllipse : ShapePolyline;
            for (std::size_t i = 0; i + 1 < n; i += 2)
                prim.points.push_back({double(values[i]), double(values[i + 1])});
        }
        if (prim.points.size() >= 2) out.push_back(std::move(prim));
    }
    return out;
}

std::vector<std::string> readCellNames(const CompoundFile& file) {
    std::vector<std::string> names;
    try {
        const std::vector<std::uint8_t> toc = file.readStream("Celltypes/Table of Contents");
        if (toc.size() < 3) return names;
        std::size_t count = readU16(toc, 0);
        if (count > 4096) count = 4096;
        std::size_t pos = 2;
        for (std::size_t i = 0; i < count && pos < toc.size(); ++i) {
            const std::size_t len = toc[pos];
            ++pos;
            if (len == 0 || len > 128 || len > toc.size() - pos) break;
            std::string name = decodeCp1252(toc.data() + pos, len);
            pos += len;
            // The part after the last ';' is a version suffix.
            const std::size_t semi = name.rfind(';');
            if (semi != std::string::npos) name.resize(semi);
            names.push_back(std::move(name));
        }
    } catch (const std::exception&) {
        // A missing or unreadable table only ends the list.
    }
    return names;
}

CellNameIndex buildCellNameIndex(const std::vector<std::string>& names) {
    CellNameIndex index;
    for (std::size_t i = 0; i < names.size(); ++i) index.emplace(toLower(names[i]), static_cast<int>(i));
    return index;
}

std::map<int, Cell> loadCells(const CompoundFile& file, std::size_t nameCount) {
    std::map<int, Cell> cells;
    // Each sector of a sound file belongs to one stream, so its cell streams
    // together never exceed the file. Directory entries that share a chain
    // could make thousands of cells read the same large data again; what
    // would pass the file's size is left unread, like a broken stream.
    std::uint64_t budget = file.fileSize();
    for (std::size_t i = 0; i < nameCount; ++i) {
        const std::string path = "Celltypes/" + std::to_string(i);
        const auto found = file.paths().find(path);
        if (found != file.paths().end() && file.entries()[found->second].size > budget) continue;
        std::vector<std::uint8_t> stream;
        try {
            stream = file.readStream(path);
        } catch (const std::exception&) {
            continue;  // a cell without a readable stream is simply not drawn
        }
        budget -= std::min<std::uint64_t>(budget, stream.size());
        Cell cell;
        cell.primitives = parseCellGeometry(stream);
        cell.texts = scanTexts(stream, {TextPinName, TextFixed}, 0, kAll);
        cells.emplace(static_cast<int>(i), std::move(cell));
    }
    return cells;
}

}  // namespace sbk
