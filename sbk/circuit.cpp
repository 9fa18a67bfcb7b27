// The page reader: scans a page's Circuit stream for symbol instances,
// terminals, wires, buses and texts, and places the symbol cells.
#include "sbk/page_record.h"
#include "sbk/scan.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <stdexcept>
#include <string_view>

namespace sbk {

namespace {

constexpr std::size_t kAll = std::numeric_limits<std::size_t>::max();
constexpr std::size_t kNone = std::numeric_limits<std::size_t>::max();

constexpr std::uint8_t layerOf(Layer l) { return static_cast<std::uint8_t>(l); }
constexpr std::uint8_t kLayerFrame = layerOf(Layer::Frame), kLayerWires = layerOf(Layer::Wires),
                       kLayerBuses = layerOf(Layer::Buses), kLayerSymbols = layerOf(Layer::Symbols),
                       kLayerTerminals = layerOf(Layer::Terminals),
                       kLayerFrameText = layerOf(Layer::FrameText),
                       kLayerPortLabels = layerOf(Layer::PortLabels), kLayerRefs = layerOf(Layer::Refs),
                       kLayerValues = layerOf(Layer::Values), kLayerPinNames = layerOf(Layer::PinNames),
                       kLayerPinNumbers = layerOf(Layer::PinNumbers), kLayerTitles = layerOf(Layer::Titles),
                       kLayerAnnotations = layerOf(Layer::Annotations);

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

// Annotations lie at most this far after their instance's marker.
constexpr std::size_t kAnnotationReach = 600;
constexpr double kUnboxedMargin = 200;  // around the polylines of a page without a frame

struct SymbolInstance {
    double x = 0;
    double y = 0;
    std::uint32_t orientation = 0;
    std::size_t offset = 0;
    int cellIndex = -1;
    // The instance's kind-4, 5 and 15 records: those of the stream-wide list
    // in [textLo, textHi) that end at or before textEnd.
    std::size_t textLo = 0;
    std::size_t textHi = 0;
    std::size_t textEnd = 0;
    std::size_t reference = kNone;  // first kind-15 record, or none ("?")
};

struct TerminalInstance {
    bool rwterm = false;  // the one terminal cell with texts of its own
    int cellIndex = -1;
    std::uint32_t orientation = 0;
    double x = 0;
    double y = 0;
    std::size_t label = kNone;  // in the page's list of labels
};

// Appends to the document while the output ceilings allow.
class Output {
public:
    Output(Document& doc, const std::vector<Polyline>& polylines, const std::vector<Text>& texts)
        : doc_(doc), polylines_(polylines), texts_(texts) {}

    bool textsFull() const { return texts_.size() >= kMaxPageTexts; }

    void text(std::uint8_t layer, double x, double y, std::string s, double height, std::uint8_t anchor = 0) {
        if (!textsFull()) doc_.addText(layer, x, y, std::move(s), height, anchor);
    }

    void polyline(std::uint8_t layer, std::vector<Point> points, std::int32_t style) {
        if (!fits(1, points.size())) return;
        points_ += points.size();
        doc_.addPolyline(layer, 0, std::move(points), style);
    }

    // points: the cell's total, counted once per page.
    void cell(const Cell& cell, std::size_t points, std::uint8_t layer, Point origin,
              std::uint32_t orientation) {
        if (!fits(cell.primitives.size(), points)) return;
        points_ += points;
        doc_.placeCell(cell.primitives, layer, origin, orientation);
    }

private:
    bool fits(std::size_t polylines, std::size_t points) const {
        const std::size_t have = polylines_.size();
        return polylines <= kMaxPagePolylines - std::min(have, kMaxPagePolylines) &&
               points <= kMaxPagePoints - std::min(points_, kMaxPagePoints);
    }

    Document& doc_;
    const std::vector<Polyline>& polylines_;
    const std::vector<Text>& texts_;
    std::size_t points_ = 0;
};

bool startsWith(const std::string& s, const char* prefix) { return s.rfind(prefix, 0) == 0; }

bool isTerminalName(const std::string& name) {
    static const char* const kNames[] = {"RWTERM", "ESROPE", "VCC_p", "GND", "Erde", "Schirm", "Schirm1_ver"};
    for (const char* n : kNames)
        if (name == n) return true;
    return startsWith(name, "CON_HIER_") || startsWith(name, "CON_INTER_");
}

// A wire or bus record accepted by the scan.
struct LineRecord {
    std::size_t first = 0;    // its first coordinate in the scan's list
    std::uint32_t count = 0;  // points
    std::uint8_t layer = 0;
    std::uint8_t style = 0;  // the record's first byte
};

// The wire or bus records of a stream with their points as read, so that
// placing them reads one list in order, not records spread over the stream.
// Records do not overlap, so their points never outgrow the stream.
struct LineScan {
    std::vector<LineRecord> lines;
    std::vector<std::int32_t> coordinates;  // x, y of each point, line after line
    std::size_t lastEnd = 0;                // end of the last record, 0 when there is none
};

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

std::vector<Point> linePoints(const LineScan& scan, const LineRecord& line) {
    std::vector<Point> pts(line.count);
    const std::int32_t* c = scan.coordinates.data() + line.first;
    for (Point& pt : pts) {
        pt = {double(c[0]), double(c[1])};
        c += 2;
    }
    return pts;
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

// Lower bounds in a list sorted by stream offset, for offsets that mostly
// come in increasing order: each search gallops on from the last answer, so
// a pass over the stream costs about the length of the list. A binary search
// of the whole list per query would probe a large page's list all over and
// miss the cache at each probe. A smaller offset than the last starts again
// from the front.
template <class T>
class OffsetCursor {
public:
    explicit OffsetCursor(const std::vector<T>& list) : list_(list) {}

    // Index of the first element whose offset is at or after offset.
    std::size_t lowerBound(std::size_t offset) {
        if (offset < last_) at_ = 0;
        last_ = offset;
        // Steps of 1, 2, 4... until an element at or after offset, then a
        // binary search of the last step.
        std::size_t lo = at_, hi = at_;
        for (std::size_t step = 1; hi < list_.size() && list_[hi].offset < offset; step *= 2) {
            lo = hi + 1;
            hi = std::min(list_.size(), hi + step);
        }
        const auto first = list_.begin() + static_cast<std::ptrdiff_t>(lo);
        const auto last = list_.begin() + static_cast<std::ptrdiff_t>(hi);
        at_ = static_cast<std::size_t>(
            std::lower_bound(first, last, offset,
                             [](const T& e, std::size_t off) { return e.offset < off; }) -
            list_.begin());
        return at_;
    }

private:
    const std::vector<T>& list_;
    std::size_t at_ = 0;
    std::size_t last_ = 0;
};

// Located text records with their texts, decoded while the scan has the
// record's bytes at hand: the steps that place them then read one compact
// list in order, not records all over the stream, which on a large page have
// long left the cache by then. Records may overlap, so their texts together
// could outgrow the stream many times over: past as many bytes as the stream
// holds, a text is decoded from the stream when it is asked for.
class LocatedTexts {
public:
    explicit LocatedTexts(const std::vector<std::uint8_t>& stream) : stream_(stream) {}

    void add(const RawText& r) {
        records_.push_back(r);
        if (ends_.size() + 1 < records_.size()) return;  // out of room already
        const std::string text = decodeText(stream_, r);
        const std::size_t room = std::min<std::size_t>(stream_.size(), UINT32_MAX);
        if (text.size() > room - decoded_.size()) return;
        decoded_ += text;
        ends_.push_back(static_cast<std::uint32_t>(decoded_.size()));
    }

    std::size_t size() const { return records_.size(); }
    const RawText& operator[](std::size_t i) const { return records_[i]; }
    const std::vector<RawText>& records() const { return records_; }

    // The UTF-8 text of record i.
    std::string text(std::size_t i) const {
        if (i >= ends_.size()) return decodeText(stream_, records_[i]);
        const std::size_t begin = i == 0 ? 0 : ends_[i - 1];
        return decoded_.substr(begin, ends_[i] - begin);
    }

private:
    const std::vector<std::uint8_t>& stream_;
    std::vector<RawText> records_;
    std::string decoded_;
    std::vector<std::uint32_t> ends_;  // of the first records' texts in decoded_
};

bool isLetter(std::uint8_t b) { return (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z'); }
bool isIdentByte(std::uint8_t b) {
    return isLetter(b) || (b >= '0' && b <= '9') || b == '-' || b == '/' || b == '_';
}

}  // namespace

std::vector<std::size_t> findMarkers(const std::vector<std::uint8_t>& data, std::uint8_t b0, std::uint8_t b1,
                                     std::uint8_t b2, std::size_t start, std::size_t end) {
    std::vector<std::size_t> out;
    const std::size_t e = std::min(end, data.size());
    if (e < 3) return out;
    const std::uint8_t* d = data.data();
    // Jump between occurrences of the last byte: the markers begin with 00,
    // the commonest byte of a stream.
    for (std::size_t p = start; p <= e - 3; ++p) {
        const void* hit = std::memchr(d + p + 2, b2, e - 3 - p + 1);
        if (!hit) break;
        p = static_cast<std::size_t>(static_cast<const std::uint8_t*>(hit) - d) - 2;
        if (d[p] == b0 && d[p + 1] == b1) out.push_back(p);
    }
    return out;
}

std::string findInstanceName(const std::vector<std::uint8_t>& data, std::size_t V) {
    if (V < 44 || V > data.size()) return {};
    const std::uint8_t* d = data.data();
    // A length byte followed by printable ASCII that ends 44 bytes before the
    // marker; the earliest start, i.e. the longest name, wins.
    const std::size_t E = V - 44;
    for (std::size_t i = E > 70 ? E - 70 : 0; i < E; ++i) {
        const std::size_t L = d[i];
        if (L < 2 || L > 40 || i + 1 + L != E) continue;
        bool printable = true;
        for (std::size_t k = i + 1; k < E; ++k)
            if (d[k] < 0x20 || d[k] > 0x7E) {
                printable = false;
                break;
            }
        if (printable) return std::string(reinterpret_cast<const char*>(d + i + 1), L);
    }
    // Otherwise the last identifier-like run near the marker.
    const std::size_t lo = V > 104 ? V - 104 : 0;
    const std::size_t hi = V - 41;  // inclusive
    std::string candidate;
    std::size_t runStart = kNone;
    auto closeRun = [&](std::size_t endPos) {
        if (runStart != kNone && endPos - runStart >= 4 && isLetter(d[runStart]))
            candidate.assign(reinterpret_cast<const char*>(d + runStart), endPos - runStart);
        runStart = kNone;
    };
    for (std::size_t i = lo; i <= hi; ++i) {
        if (isIdentByte(d[i])) {
            if (runStart == kNone) runStart = i;
        } else {
            closeRun(i);
        }
    }
    closeRun(hi + 1);
    return candidate;
}

void Document::placeCell(const std::vector<CellPrimitive>& primitives, std::uint8_t layer, Point origin,
                         std::uint32_t orientation) {
    for (const CellPrimitive& prim : primitives) {
        std::vector<Point> pts;
        pts.reserve(prim.points.size());
        for (const Point& p : prim.points) {
            const Point q = orientPoint(p, orientation);
            pts.push_back({origin.x + q.x, origin.y + q.y});
        }
        addPolyline(layer, prim.shape, std::move(pts), prim.tag);
    }
}

namespace {

// What each placement of a cell adds, worked out once: a cell may be placed
// many times over.
struct PlacedCell {
    const Cell* cell = nullptr;
    std::size_t points = 0;
    std::vector<const TextRecord*> pinNames;    // kind 3
    std::vector<const TextRecord*> fixedTexts;  // kind 7
};

// One page read, step by step in the order the document's lists need.
class PageReader {
public:
    PageReader(Document& doc, PageStats& stats, std::vector<Polyline>& polylines, std::vector<Text>& texts)
        : stats_(stats), polylines_(polylines), texts_(texts), out_(doc, polylines, texts) {}

    void read(const std::string& path, std::size_t pageIndex) {
        readFile(path, pageIndex);
        locateTexts();
        findInstances();
        findTerminals();
        findLines();
        reserveOutput();
        addAnnotations();
        addLines();
        addTitles();
        placeFrame();
        placeTerminals();
        placeSymbols();
    }

    // The page's box when it has a frame.
    Rect frameBox() const {
        return {frameOrigin_.x - kFrameMargin, frameOrigin_.y - kFrameMargin, frameCorner_.x + kFrameMargin,
                frameCorner_.y + kFrameMargin};
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
        names_ = readCellNames(file);
        stats_.cellNames = names_.size();
        cellIndex_ = buildCellNameIndex(names_);
        cells_ = loadCells(file, names_.size());
        stats_.cellsLoaded = cells_.size();
        for (const auto& [index, cell] : cells_) {
            PlacedCell& pc = placed_[index];
            pc.cell = &cell;
            for (const CellPrimitive& p : cell.primitives) pc.points += p.points.size();
            for (const TextRecord& t : cell.texts) (t.kind == 3 ? pc.pinNames : pc.fixedTexts).push_back(&t);
        }
    }

    const PlacedCell* loadedCell(int index) const {
        const auto it = placed_.find(index);
        return it == placed_.end() ? nullptr : &it->second;
    }

    // The stream, its header word and the frame test.
    void readCircuit(std::vector<std::uint8_t> stream) {
        s_ = std::move(stream);
        if (s_.size() < kHeaderSize) throw std::runtime_error("SBK: Circuit stream truncated");
        stats_.headerWord = readU32(s_, kHeaderWord);
        frameOrigin_ = {double(readI32(s_, kHeaderX1)), double(readI32(s_, kHeaderY1))};
        frameCorner_ = {double(readI32(s_, kHeaderX2)), double(readI32(s_, kHeaderY2))};
        stats_.hasFrame =
            frameCorner_.x - frameOrigin_.x == kFrameWidth && frameCorner_.y - frameOrigin_.y == kFrameHeight;
    }

    // One pass finds the text records of the whole stream: those of kinds 4,
    // 5 and 15 for the symbol instances, those of kinds 6, 7, 9 and 19 for
    // annotations and titles. An instance's texts are taken from the first
    // list: a scan of [V, end) finds exactly its records that start at or
    // after V and end at or before end. This keeps the reader linear even
    // when many ranges run to the end of the stream.
    void locateTexts() {
        forEachText(s_, makeKindSet({4, 5, 6, 7, 9, 15, 19}), 0, kAll, [&](const RawText& r) {
            (r.kind == 4 || r.kind == 5 || r.kind == 15 ? instTexts_ : pageTexts_).add(r);
            return true;
        });
        const std::size_t nt = instTexts_.size();
        next15_.assign(nt + 1, nt);
        nextNot4_.assign(nt + 1, nt);
        for (std::size_t i = nt; i-- > 0;) {
            next15_[i] = instTexts_[i].kind == 15 ? i : next15_[i + 1];
            nextNot4_[i] = instTexts_[i].kind != 4 ? i : nextNot4_[i + 1];
        }
    }

    // The int32 at offset; the caller has proved its four bytes inside the stream.
    std::int32_t i32(std::size_t offset) const { return detail::i32At(s_.data() + offset); }

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
        const std::size_t size = s_.size();
        const std::size_t end =
            (k + 1 < M.size() && M[k + 1] >= kInstanceRangeGap) ? M[k + 1] - kInstanceRangeGap : size;
        return end <= M[k] ? size : end;
    }

    void findInstances() {
        const std::vector<std::size_t> M = findMarkers(s_, 0x00, 0x01, kInstanceMarker, 0, kAll);
        instances_.reserve(M.size());
        // Markers and range ends both increase along the stream.
        OffsetCursor<RawText> starts(instTexts_.records()), ends(instTexts_.records());
        for (std::size_t k = 0; k < M.size(); ++k) {
            const std::size_t V = M[k];
            if (!plausibleInstance(V)) continue;
            SymbolInstance inst;
            inst.x = i32(V - kInstanceX);
            inst.y = i32(V - kInstanceY);
            inst.offset = V;
            inst.orientation = s_[V - kInstanceOrientation] & 7u;
            inst.textEnd = instanceRangeEnd(M, k);
            inst.textLo = starts.lowerBound(V);
            inst.textHi = inst.textEnd == s_.size() ? instTexts_.size() : ends.lowerBound(inst.textEnd);
            inst.reference = firstReference(inst);
            inst.cellIndex = findCell(cellIndex_, findInstanceName(s_, V));
            instances_.push_back(inst);
        }
        stats_.symbols = instances_.size();
    }

    // The first kind-15 record of the instance's range that ends within it.
    std::size_t firstReference(const SymbolInstance& inst) const {
        for (std::size_t j = next15_[inst.textLo]; j < inst.textHi; j = next15_[j + 1])
            if (instTexts_[j].textEnd() <= inst.textEnd) return j;
        return kNone;
    }

    // The marker of an accepted instance stands 27 bytes after a byte
    // sequence that looks like a terminal marker.
    bool isInstanceShadow(OffsetCursor<SymbolInstance>& instances, std::size_t W) const {
        const std::size_t V = W + kInstanceShadow;
        const std::size_t at = instances.lowerBound(V);
        return at < instances_.size() && instances_[at].offset == V;
    }

    using TerminalTable = std::map<std::string, int, std::less<>>;

    // Terminal cells by exact name.
    TerminalTable terminalCells() const {
        TerminalTable table;
        for (const std::string& name : names_) {
            if (!isTerminalName(name)) continue;
            const int idx = findCell(cellIndex_, name);
            if (idx >= 0) table[name] = idx;
        }
        return table;
    }

    // The terminal cell named by the text that ends 17 bytes before W, after
    // its length byte; the table's end when there is none.
    TerminalTable::const_iterator terminalCellAt(const TerminalTable& table, std::size_t W) const {
        for (std::size_t j = 1; j <= kTerminalMaxName; ++j) {
            if (s_[W - kTerminalNameEnd - 1 - j] != j) continue;
            const auto hit =
                table.find(std::string_view(reinterpret_cast<const char*>(&s_[W - kTerminalNameEnd - j]), j));
            if (hit != table.end()) return hit;
        }
        return table.end();
    }

    // The first label of the terminal at W among the records before end, as
    // a position in the list of labels; none when there is none.
    std::size_t findLabel(const KindSet& kinds, std::size_t W, std::size_t end) {
        std::size_t label = kNone;
        forEachText(s_, kinds, W + kTerminalLabelStart, end, [&](const RawText& r) {
            if (!detail::within(r.x, kTerminalLabelLimit - 1) ||
                !detail::within(r.y, kTerminalLabelLimit - 1))
                return true;
            labels_.add(r);
            label = labels_.size() - 1;
            return false;
        });
        return label;
    }

    void findTerminals() {
        const TerminalTable table = terminalCells();
        const KindSet labelKinds = makeKindSet({6, 8});
        const std::vector<std::size_t> T = findMarkers(s_, 0x00, 0x01, kTerminalMarker, 0, kAll);
        terminals_.reserve(T.size());
        OffsetCursor<SymbolInstance> instances(instances_);
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
            term.orientation = s_[W - kTerminalOrientation] & 7u;
            term.x = x;
            term.y = y;
            const std::size_t next = k + 1 < T.size() ? T[k + 1] : s_.size();
            term.label = findLabel(labelKinds, W, std::min(next, W + kTerminalLabelReach));
            terminals_.push_back(term);
        }
        stats_.terminals = terminals_.size();
    }

    // Wires and buses; a record does not start inside the previous one of its kind.
    void findLines() {
        wires_ = scanLines(s_, kWireByte1, kWireByte2, kWireMaxPoints, kLayerWires);
        buses_ = scanLines(s_, kBusByte1, kBusByte2, kBusMaxPoints, kLayerBuses);
        stats_.wires = wires_.lines.size();
        // The frame comes from the cell named C, or D when there is no C.
        int frameIndex = findCell(cellIndex_, "C");
        if (frameIndex < 0) frameIndex = findCell(cellIndex_, "D");
        frame_ = stats_.hasFrame ? loadedCell(frameIndex) : nullptr;
    }

    // Room for all that the steps below may add, so that the two lists grow
    // once: on a dense page, growing them step by step cost more than the scans.
    void reserveOutput() {
        auto add = [](std::size_t& total, std::size_t n, std::size_t ceiling) {
            total = std::min(ceiling, total + std::min(n, ceiling));
        };
        std::size_t polylines = 0, texts = 0;
        add(polylines, wires_.lines.size() + buses_.lines.size(), kMaxPagePolylines);
        add(texts, 2 * pageTexts_.size(), kMaxPageTexts);  // annotations and titles
        if (frame_) {
            add(polylines, frame_->cell->primitives.size(), kMaxPagePolylines);
            add(texts, frame_->fixedTexts.size(), kMaxPageTexts);
        }
        for (const TerminalInstance& term : terminals_) {
            const PlacedCell* cell = loadedCell(term.cellIndex);
            if (!cell) continue;
            add(polylines, cell->cell->primitives.size(), kMaxPagePolylines);
            add(texts, term.label != kNone ? 1 : term.rwterm ? cell->fixedTexts.size() : 0, kMaxPageTexts);
        }
        for (const SymbolInstance& inst : instances_) {
            const PlacedCell* cell = loadedCell(inst.cellIndex);
            if (!cell) continue;
            add(polylines, cell->cell->primitives.size(), kMaxPagePolylines);
            add(texts, cell->pinNames.size() + (inst.textHi - inst.textLo) + 1, kMaxPageTexts);
        }
        polylines_.reserve(polylines);
        texts_.reserve(texts);
    }

    // Kind 7 and 19 records up to 600 bytes after the last instance marker before them.
    void addAnnotations() {
        OffsetCursor<SymbolInstance> instances(instances_);
        for (std::size_t i = 0; i < pageTexts_.size(); ++i) {
            const RawText& r = pageTexts_[i];
            if (r.kind != 7 && r.kind != 19) continue;
            // The first instance past the record; a record's offset is below the stream's size.
            const std::size_t after = instances.lowerBound(r.offset + 1);
            if (after == 0) continue;
            const SymbolInstance& inst = instances_[after - 1];
            if (r.offset - inst.offset <= kAnnotationReach)
                out_.text(kLayerAnnotations, inst.x + r.x, inst.y + r.y, pageTexts_.text(i), 30);
            if (out_.textsFull()) break;
        }
    }

    void addLines() {
        for (const LineScan* scan : {&wires_, &buses_})
            for (const LineRecord& line : scan->lines)
                out_.polyline(line.layer, linePoints(*scan, line), line.style);
    }

    // Records after the last wire or bus.
    void addTitles() {
        const std::size_t threshold = std::max(wires_.lastEnd, buses_.lastEnd);
        for (std::size_t i = 0; i < pageTexts_.size(); ++i) {
            if (out_.textsFull()) break;
            const RawText& r = pageTexts_[i];
            if (r.offset >= threshold) out_.text(kLayerTitles, r.x, r.y, pageTexts_.text(i), 50);
        }
    }

    void placeFrame() {
        if (!frame_) return;
        const Point o = frameOrigin_;
        out_.cell(*frame_->cell, frame_->points, kLayerFrame, o, 0);
        for (const TextRecord* t : frame_->fixedTexts)
            out_.text(kLayerFrameText, o.x + t->x, o.y + t->y, t->text, 45);
    }

    void placeTerminals() {
        for (const TerminalInstance& term : terminals_) {
            const PlacedCell* cell = loadedCell(term.cellIndex);
            if (!cell) continue;
            out_.cell(*cell->cell, cell->points, kLayerTerminals, {term.x, term.y}, term.orientation);
            if (term.label != kNone) {
                const RawText& label = labels_[term.label];
                out_.text(kLayerPortLabels, term.x + label.x, term.y + label.y, labels_.text(term.label), 35);
            } else if (term.rwterm) {
                for (const TextRecord* t : cell->fixedTexts) {
                    if (out_.textsFull()) break;
                    out_.text(kLayerPortLabels, term.x + t->x, term.y + t->y, t->text, 28);
                }
            }
        }
    }

    bool pinRule(const SymbolInstance& inst) const {
        if (inst.reference == kNone) return false;
        const std::string ref = instTexts_.text(inst.reference);
        return startsWith(ref, "IC") || startsWith(ref, "ST") || startsWith(ref, "J") ||
               startsWith(ref, "CON");
    }

    void placeSymbols() {
        for (const SymbolInstance& inst : instances_) {
            const PlacedCell* cell = loadedCell(inst.cellIndex);
            if (!cell) continue;
            out_.cell(*cell->cell, cell->points, kLayerSymbols, {inst.x, inst.y}, inst.orientation);
            if (out_.textsFull()) continue;
            const bool pins = pinRule(inst);
            if (pins) addPinNames(inst, *cell);
            addInstanceTexts(inst, pins);
            if (inst.reference == kNone) out_.text(kLayerRefs, inst.x, inst.y + 70, "?", 45);
        }
    }

    void addPinNames(const SymbolInstance& inst, const PlacedCell& cell) {
        for (const TextRecord* t : cell.pinNames) {
            if (out_.textsFull()) break;
            const Point q = orientPoint({double(t->x), double(t->y)}, inst.orientation);
            out_.text(kLayerPinNames, inst.x + q.x, inst.y + q.y, t->text, 32, t->x > 80 ? 1 : 0);
        }
    }

    // Without the pin rule pin numbers are skipped by index, so a symbol
    // costs only the texts it adds.
    void addInstanceTexts(const SymbolInstance& inst, bool pins) {
        for (std::size_t j = inst.textLo;; ++j) {
            if (!pins) j = nextNot4_[j];
            if (j >= inst.textHi || out_.textsFull()) break;
            const RawText& r = instTexts_[j];
            if (r.textEnd() > inst.textEnd) continue;
            const double tx = inst.x + r.x, ty = inst.y + r.y;
            if (r.kind == 15)
                out_.text(kLayerRefs, tx, ty, instTexts_.text(j), 45);
            else if (r.kind == 5)
                out_.text(kLayerValues, tx, ty, instTexts_.text(j), 35);
            else
                out_.text(kLayerPinNumbers, tx, ty, instTexts_.text(j), 24);
        }
    }

    PageStats& stats_;
    std::vector<Polyline>& polylines_;
    std::vector<Text>& texts_;
    Output out_;

    std::vector<std::string> names_;
    CellNameIndex cellIndex_;
    std::map<int, Cell> cells_;
    std::map<int, PlacedCell> placed_;

    std::vector<std::uint8_t> s_;  // the Circuit stream
    Point frameOrigin_, frameCorner_;
    const PlacedCell* frame_ = nullptr;

    // Kinds 4, 5 and 15; kinds 6, 7, 9 and 19; the terminals' labels.
    LocatedTexts instTexts_{s_}, pageTexts_{s_}, labels_{s_};
    // next15_[i]: first kind-15 record at or after i; nextNot4_[i]: first
    // record at or after i that is not a pin number.
    std::vector<std::size_t> next15_, nextNot4_;

    std::vector<SymbolInstance> instances_;
    std::vector<TerminalInstance> terminals_;
    LineScan wires_, buses_;
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
    PageReader reader(doc, rec.stats, rec.polylines, rec.texts);
    reader.read(path, pageIndex);
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
