// The page reader: scans a page's Circuit stream for symbol instances,
// terminals, wires, buses and texts, step by step, then has them placed.
#include "sbk/circuit_scan.h"
#include "sbk/page_record.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <string_view>

namespace sbk {

namespace {

bool isLineStyle(std::uint8_t b) { return b == 5 || b == 6 || b == 9 || b == 10; }

// Circuit stream header.
constexpr std::size_t kHeaderSize = 128;
constexpr std::size_t kHeaderWord = 0;
constexpr std::size_t kHeaderX1 = 54, kHeaderY1 = 58, kHeaderX2 = 78, kHeaderY2 = 82;
constexpr double kFrameWidth = 11000, kFrameHeight = 8500;
constexpr double kFrameMargin = 65;

// Symbol instance, before its marker 00 01 74 at V.
constexpr std::uint8_t kInstanceMarker = 0x74;
constexpr std::size_t kInstanceMin = 44;  // no instance marker stands earlier
constexpr std::size_t kInstanceX = 36, kInstanceY = 32, kInstanceOrientation = 28;
constexpr std::size_t kInstanceChecked[] = {20, 16, 12, 8};  // tested, not used
constexpr std::int32_t kInstanceLimit = 100000;
constexpr std::size_t kInstanceRangeGap = 40;  // an instance's texts end this far before the next marker
// A terminal-like marker this far before an instance marker belongs to the instance.
constexpr std::size_t kInstanceShadow = 27;

// Terminal, around its marker 00 01 0B at W.
constexpr std::uint8_t kTerminalMarker = 0x0B;
constexpr std::size_t kTerminalMin = 100;
constexpr std::size_t kTerminalNameEnd = 17;  // the name ends this far before W, its length byte one further
constexpr std::size_t kTerminalMaxName = 39;
constexpr std::size_t kTerminalX = 9, kTerminalY = 5, kTerminalOrientation = 1;
constexpr std::int32_t kTerminalLimit = 50000;
constexpr std::size_t kTerminalLabelStart = 3, kTerminalLabelReach = 160;
constexpr std::int32_t kTerminalLabelLimit = 1000;  // exclusive

// Wire and bus records.
constexpr std::uint8_t kWireByte1 = 0x04, kWireByte2 = 0x0C;
constexpr std::uint8_t kBusByte1 = 0x2C, kBusByte2 = 0x1E;
constexpr std::uint32_t kWireMaxPoints = 64, kBusMaxPoints = 256;
constexpr std::int32_t kLineLimit = 50000;

constexpr double kUnboxedMargin = 200;  // around the polylines of a page without a frame

bool isTerminalName(const std::string& name) {
    static const char* const kNames[] = {"RWTERM", "ESROPE", "VCC_p", "GND", "Erde", "Schirm", "Schirm1_ver"};
    for (const char* n : kNames)
        if (name == n) return true;
    return name.starts_with("CON_HIER_") || name.starts_with("CON_INTER_");
}

// Appends the n points of the wire or bus at R to the coordinates when all
// of them are plausible; the caller has proved them inside the stream.
bool takeLinePoints(const std::uint8_t* d, std::size_t R, std::uint32_t n, std::vector<std::int32_t>& out) {
    const std::size_t first = out.size();
    for (const std::uint8_t *p = d + R + 12, *e = p + 8 * std::size_t{n}; p != e; p += 4) {
        const std::int32_t v = detail::i32At(p);
        if (!detail::within(v, kLineLimit)) {
            out.resize(first);
            return false;
        }
        out.push_back(v);
    }
    return true;
}

// Wire or bus records: a style byte, the three bytes b1 b2 00, four unread
// bytes, a point count in [2, maxPoints] and the points. Candidates are found
// by their b2 byte. A record does not start inside the previous one.
LineScan scanLines(const std::vector<std::uint8_t>& s, std::uint8_t b1, std::uint8_t b2,
                   std::uint32_t maxPoints, std::uint8_t layer) {
    LineScan out;
    const std::size_t size = s.size();
    const std::uint8_t* d = s.data();
    if (size < 12) return out;
    for (std::size_t R = 0; R <= size - 12;) {
        const void* hit = std::memchr(d + R + 2, b2, size - 12 - R + 1);
        if (!hit) break;
        R = static_cast<std::size_t>(static_cast<const std::uint8_t*>(hit) - d) - 2;
        if (d[R + 1] == b1 && d[R + 3] == 0x00 && R >= out.lastEnd && isLineStyle(d[R])) {
            const std::uint32_t n = common::loadLe32(d + R + 8);
            const std::size_t first = out.coordinates.size();
            if (n >= 2 && n <= maxPoints && n <= (size - R - 12) / 8 &&
                takeLinePoints(d, R, n, out.coordinates)) {
                out.lines.push_back({first, n, layer, d[R]});
                out.lastEnd = R + 12 + 8 * std::size_t{n};
                R = out.lastEnd;
                continue;
            }
        }
        ++R;
    }
    return out;
}

// One page read, step by step in the order the document's lists need.
class PageReader {
public:
    explicit PageReader(PageStats& stats) : stats_(stats) {}

    // The scan's steps; then the placing steps add what they found to the page's lists.
    void read(const std::string& path, std::size_t pageIndex, Document& doc, std::vector<Polyline>& polylines,
              std::vector<Text>& texts) {
        readFile(path, pageIndex);
        locateTexts();
        findInstances();
        findTerminals();
        findLines();
        placePage(scan_, doc, polylines, texts);
    }

    // The page's box when it has a frame.
    Rect frameBox() const {
        return {scan_.frameOrigin.x - kFrameMargin, scan_.frameOrigin.y - kFrameMargin,
                scan_.frameCorner.x + kFrameMargin, scan_.frameCorner.y + kFrameMargin};
    }

private:
    // The cells and the page's Circuit stream; the file's own data is gone
    // before the scans start, and the stream is taken from inside it.
    void readFile(const std::string& path, std::size_t pageIndex) {
        CompoundFile file = CompoundFile::open(path);
        const std::string page = pageStream(file, pageIndex);
        readCells(file);
        readCircuit(std::move(file).takeStream(page));
    }

    std::string pageStream(const CompoundFile& file, std::size_t pageIndex) {
        const std::vector<std::string> pages = listPageStreams(file);
        if (pages.empty()) throw std::runtime_error("SBK: no schematic pages found");
        if (pageIndex >= pages.size()) throw std::out_of_range("SBK: page index out of range");
        stats_.pageCount = pages.size();
        stats_.pageIndex = pageIndex;
        return pages[pageIndex];
    }

    // Table of contents, name index and cells.
    void readCells(const CompoundFile& file) {
        scan_.names = readCellNames(file);
        stats_.cellNames = scan_.names.size();
        scan_.cellIndex = buildCellNameIndex(scan_.names);
        scan_.cells = loadCells(file, scan_.names.size());
        stats_.cellsLoaded = scan_.cells.size();
        for (const auto& [index, cell] : scan_.cells) {
            PlacedCell& pc = scan_.placed[index];
            pc.cell = &cell;
            for (const CellPrimitive& p : cell.primitives) pc.points += p.points.size();
            for (const TextRecord& t : cell.texts)
                (t.kind == TextPinName ? pc.pinNames : pc.fixedTexts).push_back(&t);
        }
    }

    // The stream, its header word and the frame test.
    void readCircuit(std::vector<std::uint8_t> stream) {
        const std::vector<std::uint8_t>& s = scan_.stream = std::move(stream);
        if (s.size() < kHeaderSize) throw std::runtime_error("SBK: Circuit stream truncated");
        stats_.headerWord = readU32(s, kHeaderWord);
        scan_.frameOrigin = {double(readI32(s, kHeaderX1)), double(readI32(s, kHeaderY1))};
        scan_.frameCorner = {double(readI32(s, kHeaderX2)), double(readI32(s, kHeaderY2))};
        stats_.hasFrame = scan_.frameCorner.x - scan_.frameOrigin.x == kFrameWidth &&
                          scan_.frameCorner.y - scan_.frameOrigin.y == kFrameHeight;
    }

    // One pass finds the text records of the whole stream: pin numbers,
    // values and references for the symbol instances, the others for
    // annotations and titles. An instance's texts are taken from the first
    // list: a scan of [V, end) finds exactly its records that start at or
    // after V and end at or before end. This keeps the reader linear even
    // when many ranges run to the end of the stream.
    void locateTexts() {
        const KindSet kinds = makeKindSet(
            {TextPinNumber, TextValue, TextReference, TextLabel, TextFixed, TextTitle, TextAnnotation});
        forEachText(scan_.stream, kinds, 0, kAll, [&](const RawText& r) {
            const bool ofInstance = r.kind == TextPinNumber || r.kind == TextValue || r.kind == TextReference;
            (ofInstance ? scan_.instTexts : scan_.pageTexts).add(r);
            return true;
        });
        const std::size_t nt = scan_.instTexts.size();
        scan_.nextReference.assign(nt + 1, nt);
        scan_.nextNotPinNumber.assign(nt + 1, nt);
        for (std::size_t i = nt; i-- > 0;) {
            scan_.nextReference[i] =
                scan_.instTexts[i].kind == TextReference ? i : scan_.nextReference[i + 1];
            scan_.nextNotPinNumber[i] =
                scan_.instTexts[i].kind != TextPinNumber ? i : scan_.nextNotPinNumber[i + 1];
        }
    }

    // The int32 at offset; the caller has proved its four bytes inside the stream.
    std::int32_t i32(std::size_t offset) const { return detail::i32At(scan_.stream.data() + offset); }

    // Position and the tested fields of the instance whose marker is at V,
    // which lies inside the stream.
    bool plausibleInstance(std::size_t V) const {
        if (V < kInstanceMin) return false;
        if (!detail::within(i32(V - kInstanceX), kInstanceLimit) ||
            !detail::within(i32(V - kInstanceY), kInstanceLimit))
            return false;
        for (std::size_t off : kInstanceChecked)
            if (!detail::within(i32(V - off), kInstanceLimit)) return false;
        return true;
    }

    // Where the texts of the instance at marker k end. Rejected markers still
    // bound the range of the instance before them.
    std::size_t instanceRangeEnd(const std::vector<std::size_t>& M, std::size_t k) const {
        const std::size_t size = scan_.stream.size();
        const std::size_t end =
            (k + 1 < M.size() && M[k + 1] >= kInstanceRangeGap) ? M[k + 1] - kInstanceRangeGap : size;
        return end <= M[k] ? size : end;
    }

    void findInstances() {
        const std::vector<std::size_t> M = findMarkers(scan_.stream, 0x00, 0x01, kInstanceMarker, 0, kAll);
        scan_.instances.reserve(M.size());
        // Markers and range ends both increase along the stream.
        OffsetCursor<RawText> starts(scan_.instTexts.records()), ends(scan_.instTexts.records());
        for (std::size_t k = 0; k < M.size(); ++k) {
            const std::size_t V = M[k];
            if (!plausibleInstance(V)) continue;
            SymbolInstance inst;
            inst.x = i32(V - kInstanceX);
            inst.y = i32(V - kInstanceY);
            inst.offset = V;
            inst.orientation = scan_.stream[V - kInstanceOrientation] & 7u;
            inst.textEnd = instanceRangeEnd(M, k);
            inst.textLo = starts.lowerBound(V);
            inst.textHi =
                inst.textEnd == scan_.stream.size() ? scan_.instTexts.size() : ends.lowerBound(inst.textEnd);
            inst.reference = firstReference(inst);
            inst.cellIndex = findCell(scan_.cellIndex, findInstanceName(scan_.stream, V));
            scan_.instances.push_back(inst);
        }
        stats_.symbols = scan_.instances.size();
    }

    // The first reference record of the instance's range that ends within it.
    std::size_t firstReference(const SymbolInstance& inst) const {
        for (std::size_t j = scan_.nextReference[inst.textLo]; j < inst.textHi;
             j = scan_.nextReference[j + 1])
            if (scan_.instTexts[j].textEnd() <= inst.textEnd) return j;
        return kNone;
    }

    // The marker of an accepted instance stands 27 bytes after a byte
    // sequence that looks like a terminal marker.
    bool isInstanceShadow(OffsetCursor<SymbolInstance>& instances, std::size_t W) const {
        const std::size_t V = W + kInstanceShadow;
        const std::size_t at = instances.lowerBound(V);
        return at < scan_.instances.size() && scan_.instances[at].offset == V;
    }

    using TerminalTable = std::map<std::string, int, std::less<>>;

    // Terminal cells by exact name.
    TerminalTable terminalCells() const {
        TerminalTable table;
        for (const std::string& name : scan_.names) {
            if (!isTerminalName(name)) continue;
            const int idx = findCell(scan_.cellIndex, name);
            if (idx >= 0) table[name] = idx;
        }
        return table;
    }

    // The terminal cell named by the text that ends 17 bytes before W, after
    // its length byte; the table's end when there is none.
    TerminalTable::const_iterator terminalCellAt(const TerminalTable& table, std::size_t W) const {
        for (std::size_t j = 1; j <= kTerminalMaxName; ++j) {
            if (scan_.stream[W - kTerminalNameEnd - 1 - j] != j) continue;
            const auto hit = table.find(
                std::string_view(reinterpret_cast<const char*>(&scan_.stream[W - kTerminalNameEnd - j]), j));
            if (hit != table.end()) return hit;
        }
        return table.end();
    }

    // The first label of the terminal at W among the records before end, as
    // a position in the list of labels; none when there is none.
    std::size_t findLabel(const KindSet& kinds, std::size_t W, std::size_t end) {
        std::size_t label = kNone;
        forEachText(scan_.stream, kinds, W + kTerminalLabelStart, end, [&](const RawText& r) {
            if (!detail::within(r.x, kTerminalLabelLimit - 1) ||
                !detail::within(r.y, kTerminalLabelLimit - 1))
                return true;
            scan_.labels.add(r);
            label = scan_.labels.size() - 1;
            return false;
        });
        return label;
    }

    void findTerminals() {
        const TerminalTable table = terminalCells();
        const KindSet labelKinds = makeKindSet({TextLabel, TextPortLabel});
        const std::vector<std::size_t> T = findMarkers(scan_.stream, 0x00, 0x01, kTerminalMarker, 0, kAll);
        scan_.terminals.reserve(T.size());
        OffsetCursor<SymbolInstance> instances(scan_.instances);
        for (std::size_t k = 0; k < T.size(); ++k) {
            const std::size_t W = T[k];
            if (W < kTerminalMin || isInstanceShadow(instances, W)) continue;
            const auto hit = terminalCellAt(table, W);
            if (hit == table.end()) continue;
            const std::int32_t x = i32(W - kTerminalX), y = i32(W - kTerminalY);
            if (!detail::within(x, kTerminalLimit) || !detail::within(y, kTerminalLimit)) continue;
            TerminalInstance term;
            term.rwterm = hit->first == "RWTERM";
            term.cellIndex = hit->second;
            term.orientation = scan_.stream[W - kTerminalOrientation] & 7u;
            term.x = x;
            term.y = y;
            const std::size_t next = k + 1 < T.size() ? T[k + 1] : scan_.stream.size();
            term.label = findLabel(labelKinds, W, std::min(next, W + kTerminalLabelReach));
            scan_.terminals.push_back(term);
        }
        stats_.terminals = scan_.terminals.size();
    }

    // Wires and buses; a record does not start inside the previous one of its kind.
    void findLines() {
        scan_.wires = scanLines(scan_.stream, kWireByte1, kWireByte2, kWireMaxPoints, layerOf(Layer::Wires));
        scan_.buses = scanLines(scan_.stream, kBusByte1, kBusByte2, kBusMaxPoints, layerOf(Layer::Buses));
        stats_.wires = scan_.wires.lines.size();
        // The frame comes from the cell named C, or D when there is no C.
        int frameIndex = findCell(scan_.cellIndex, "C");
        if (frameIndex < 0) frameIndex = findCell(scan_.cellIndex, "D");
        scan_.frame = stats_.hasFrame ? scan_.loadedCell(frameIndex) : nullptr;
    }

    PageStats& stats_;
    CircuitScan scan_;
};

// The union of the polylines' boxes, widened; the default box without any.
Rect polylineBox(const std::vector<Polyline>& polylines) {
    if (polylines.empty()) return {-1000, -1000, 1000, 1000};
    Rect box{polylines.front().minX, polylines.front().minY, polylines.front().maxX, polylines.front().maxY};
    for (const Polyline& pl : polylines) {
        box.minX = std::min(box.minX, pl.minX);
        box.minY = std::min(box.minY, pl.minY);
        box.maxX = std::max(box.maxX, pl.maxX);
        box.maxY = std::max(box.maxY, pl.maxY);
    }
    return {box.minX - kUnboxedMargin, box.minY - kUnboxedMargin, box.maxX + kUnboxedMargin,
            box.maxY + kUnboxedMargin};
}

}  // namespace

void Document::readPage(Document& doc, const std::string& path, std::size_t pageIndex) {
    Record& rec = *doc.rec_;
    PageReader reader(rec.stats);
    reader.read(path, pageIndex, doc, rec.polylines, rec.texts);
    rec.stats.polylineCount = rec.polylines.size();
    rec.stats.textCount = rec.texts.size();
    const Rect box = rec.stats.hasFrame ? reader.frameBox() : polylineBox(rec.polylines);
    rec.minX = box.minX;
    rec.minY = box.minY;
    rec.maxX = box.maxX;
    rec.maxY = box.maxY;
    doc.buildIndex();
}

}  // namespace sbk
