// The page reader: scans a page's Circuit stream for symbol instances,
// terminals, wires, buses and texts, and places the symbol cells.
#include "sbk/scan.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <stdexcept>
#include <string_view>

namespace sbk {

namespace {

constexpr size_t kAll = std::numeric_limits<size_t>::max();
constexpr size_t kNone = std::numeric_limits<size_t>::max();

constexpr uint8_t layerOf(Layer l) { return static_cast<uint8_t>(l); }
constexpr uint8_t kLayerFrame = layerOf(Layer::Frame), kLayerWires = layerOf(Layer::Wires),
                  kLayerBuses = layerOf(Layer::Buses), kLayerSymbols = layerOf(Layer::Symbols),
                  kLayerTerminals = layerOf(Layer::Terminals), kLayerFrameText = layerOf(Layer::FrameText),
                  kLayerPortLabels = layerOf(Layer::PortLabels), kLayerRefs = layerOf(Layer::Refs),
                  kLayerValues = layerOf(Layer::Values), kLayerPinNames = layerOf(Layer::PinNames),
                  kLayerPinNumbers = layerOf(Layer::PinNumbers), kLayerTitles = layerOf(Layer::Titles),
                  kLayerAnnotations = layerOf(Layer::Annotations);

bool isLineStyle(uint8_t b) { return b == 5 || b == 6 || b == 9 || b == 10; }

struct SymbolInstance {
    double x = 0;
    double y = 0;
    uint32_t orientation = 0;
    size_t offset = 0;
    int cellIndex = -1;
    // The instance's kind-4, 5 and 15 records: those of the stream-wide list
    // in [textLo, textHi) that end at or before textEnd.
    size_t textLo = 0;
    size_t textHi = 0;
    size_t textEnd = 0;
    size_t reference = kNone;  // first kind-15 record, or none ("?")
};

struct TerminalInstance {
    bool rwterm = false;  // the one terminal cell with texts of its own
    int cellIndex = -1;
    uint32_t orientation = 0;
    double x = 0;
    double y = 0;
    bool hasLabel = false;
    RawText label;
};

// Appends to the document while the output ceilings allow.
class Output {
public:
    explicit Output(Document& doc) : doc_(doc) {}

    bool textsFull() const { return doc_.record().texts.size() >= kMaxPageTexts; }

    void text(uint8_t layer, double x, double y, std::string s, double height, uint8_t anchor = 0) {
        if (!textsFull()) doc_.addText(layer, x, y, std::move(s), height, anchor);
    }

    void polyline(uint8_t layer, std::vector<Point> points, int32_t style) {
        if (!fits(1, points.size())) return;
        points_ += points.size();
        doc_.addPolyline(layer, 0, std::move(points), style);
    }

    // points: the cell's total, counted once per page.
    void cell(const Cell& cell, size_t points, uint8_t layer, Point origin, uint32_t orientation) {
        if (!fits(cell.primitives.size(), points)) return;
        points_ += points;
        doc_.placeCell(cell.primitives, layer, origin, orientation);
    }

private:
    bool fits(size_t polylines, size_t points) const {
        const size_t have = doc_.record().polylines.size();
        return polylines <= kMaxPagePolylines - std::min(have, kMaxPagePolylines) &&
               points <= kMaxPagePoints - std::min(points_, kMaxPagePoints);
    }

    Document& doc_;
    size_t points_ = 0;
};

bool startsWith(const std::string& s, const char* prefix) { return s.rfind(prefix, 0) == 0; }

bool isTerminalName(const std::string& name) {
    static const char* const kNames[] = {"RWTERM", "ESROPE", "VCC_p", "GND", "Erde", "Schirm", "Schirm1_ver"};
    for (const char* n : kNames)
        if (name == n) return true;
    return startsWith(name, "CON_HIER_") || startsWith(name, "CON_INTER_");
}

// A wire or bus record accepted by the scan: its offset, point count and layer.
struct LineRecord {
    size_t offset = 0;
    uint32_t count = 0;
    uint8_t layer = 0;
};

// Whether the n points of the wire or bus at R are plausible; the caller has
// proved them inside the stream.
bool linePointsPlausible(const uint8_t* d, size_t R, uint32_t n) {
    for (const uint8_t *p = d + R + 12, *e = p + 8 * size_t{n}; p != e; p += 4)
        if (!detail::within(detail::i32At(p), 50000)) return false;
    return true;
}

std::vector<Point> linePoints(const uint8_t* d, const LineRecord& line) {
    std::vector<Point> pts(line.count);
    const uint8_t* p = d + line.offset + 12;
    for (Point& pt : pts) {
        pt = {double(detail::i32At(p)), double(detail::i32At(p + 4))};
        p += 8;
    }
    return pts;
}

// Wire or bus records: a style byte, the three bytes b1 b2 00, four unread
// bytes, a point count in [2, maxPoints] and the points. Candidates are found
// by their b2 byte. A record does not start inside the previous one;
// lastEnd is set to the end of the last record, 0 when there is none.
std::vector<LineRecord> scanLines(const std::vector<uint8_t>& s, uint8_t b1, uint8_t b2, uint32_t maxPoints,
                                  uint8_t layer, size_t& lastEnd) {
    std::vector<LineRecord> out;
    const size_t size = s.size();
    const uint8_t* d = s.data();
    lastEnd = 0;
    if (size < 12) return out;
    for (size_t R = 0; R <= size - 12;) {
        const void* hit = std::memchr(d + R + 2, b2, size - 12 - R + 1);
        if (!hit) break;
        R = static_cast<size_t>(static_cast<const uint8_t*>(hit) - d) - 2;
        if (d[R + 1] == b1 && d[R + 3] == 0x00 && R >= lastEnd && isLineStyle(d[R])) {
            const uint32_t n = common::loadLe32(d + R + 8);
            if (n >= 2 && n <= maxPoints && n <= (size - R - 12) / 8 && linePointsPlausible(d, R, n)) {
                out.push_back({R, n, layer});
                lastEnd = R + 12 + 8 * size_t{n};
                R = lastEnd;
                continue;
            }
        }
        ++R;
    }
    return out;
}

bool isLetter(uint8_t b) { return (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z'); }
bool isIdentByte(uint8_t b) {
    return isLetter(b) || (b >= '0' && b <= '9') || b == '-' || b == '/' || b == '_';
}

}  // namespace

std::vector<size_t> findMarkers(const std::vector<uint8_t>& data, uint8_t b0, uint8_t b1, uint8_t b2,
                                size_t start, size_t end) {
    std::vector<size_t> out;
    const size_t e = std::min(end, data.size());
    if (e < 3) return out;
    const uint8_t* d = data.data();
    // Jump between occurrences of the last byte: the markers begin with 00,
    // the commonest byte of a stream.
    for (size_t p = start; p <= e - 3; ++p) {
        const void* hit = std::memchr(d + p + 2, b2, e - 3 - p + 1);
        if (!hit) break;
        p = static_cast<size_t>(static_cast<const uint8_t*>(hit) - d) - 2;
        if (d[p] == b0 && d[p + 1] == b1) out.push_back(p);
    }
    return out;
}

std::string findInstanceName(const std::vector<uint8_t>& data, size_t V) {
    if (V < 44 || V > data.size()) return {};
    const uint8_t* d = data.data();
    // A length byte followed by printable ASCII that ends 44 bytes before the
    // marker; the earliest start, i.e. the longest name, wins.
    const size_t E = V - 44;
    for (size_t i = E > 70 ? E - 70 : 0; i < E; ++i) {
        const size_t L = d[i];
        if (L < 2 || L > 40 || i + 1 + L != E) continue;
        bool printable = true;
        for (size_t k = i + 1; k < E; ++k)
            if (d[k] < 0x20 || d[k] > 0x7E) {
                printable = false;
                break;
            }
        if (printable) return std::string(reinterpret_cast<const char*>(d + i + 1), L);
    }
    // Otherwise the last identifier-like run near the marker.
    const size_t lo = V > 104 ? V - 104 : 0;
    const size_t hi = V - 41;  // inclusive
    std::string candidate;
    size_t runStart = kNone;
    auto closeRun = [&](size_t endPos) {
        if (runStart != kNone && endPos - runStart >= 4 && isLetter(d[runStart]))
            candidate.assign(reinterpret_cast<const char*>(d + runStart), endPos - runStart);
        runStart = kNone;
    };
    for (size_t i = lo; i <= hi; ++i) {
        if (isIdentByte(d[i])) {
            if (runStart == kNone) runStart = i;
        } else {
            closeRun(i);
        }
    }
    closeRun(hi + 1);
    return candidate;
}

void Document::placeCell(const std::vector<CellPrimitive>& primitives, uint8_t layer, Point origin,
                         uint32_t orientation) {
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

void Document::readPage(Document& doc, const std::string& path, size_t pageIndex) {
    Record& rec = doc.record();
    Output out(doc);

    // Pages.
    const CompoundFile file = CompoundFile::open(path);
    const std::vector<std::string> pages = listPageStreams(file);
    if (pages.empty()) throw std::runtime_error("SBK: no schematic pages found");
    if (pageIndex >= pages.size()) throw std::out_of_range("SBK: page index out of range");
    rec.pageCount = pages.size();
    rec.pageIndex = pageIndex;

    // Table of contents, name index and cells.
    const std::vector<std::string> names = readCellNames(file);
    rec.cellNames = names.size();
    const CellNameIndex cellIndex = buildCellNameIndex(names);
    const std::map<int, Cell> cells = loadCells(file, names.size());
    rec.cellsLoaded = cells.size();
    // What each placement of a cell adds, worked out once: a cell may be
    // placed many times over.
    struct Placed {
        const Cell* cell = nullptr;
        size_t points = 0;
        std::vector<const TextRecord*> pinNames;    // kind 3
        std::vector<const TextRecord*> fixedTexts;  // kind 7
    };
    std::map<int, Placed> placed;
    for (const auto& [index, cell] : cells) {
        Placed& pc = placed[index];
        pc.cell = &cell;
        for (const CellPrimitive& p : cell.primitives) pc.points += p.points.size();
        for (const TextRecord& t : cell.texts) (t.kind == 3 ? pc.pinNames : pc.fixedTexts).push_back(&t);
    }
    auto loadedCell = [&](int index) -> const Placed* {
        auto it = placed.find(index);
        return it == placed.end() ? nullptr : &it->second;
    };

    // Circuit stream and header.
    const std::vector<uint8_t> s = file.readStream(pages[pageIndex]);
    if (s.size() < 128) throw std::runtime_error("SBK: Circuit stream truncated");
    const size_t size = s.size();
    rec.headerWord = readU32(s, 0);

    // Frame.
    const double x1 = readI32(s, 54), y1 = readI32(s, 58);
    const double x2 = readI32(s, 78), y2 = readI32(s, 82);
    if (x2 - x1 == 11000 && y2 - y1 == 8500) {
        rec.hasFrame = true;
        rec.minX = x1 - 65;
        rec.minY = y1 - 65;
        rec.maxX = x2 + 65;
        rec.maxY = y2 + 65;
    }

    // One pass finds the text records of the whole stream: those of kinds 4,
    // 5 and 15 for the symbol instances, those of kinds 6, 7, 9 and 19 for
    // annotations and titles. An instance's texts are taken from the first
    // list: a scan of [V, end) finds exactly its records that start at or
    // after V and end at or before end. This keeps the reader linear even
    // when many ranges run to the end of the stream.
    std::vector<RawText> instTexts, pageTexts;
    forEachText(s, makeKindSet({4, 5, 6, 7, 9, 15, 19}), 0, kAll, [&](const RawText& r) {
        if (r.kind == 4 || r.kind == 5 || r.kind == 15)
            instTexts.push_back(r);
        else
            pageTexts.push_back(r);
        return true;
    });
    const size_t nt = instTexts.size();
    // next15[i]: first kind-15 record at or after i; nextNot4[i]: first
    // record at or after i that is not a pin number.
    std::vector<size_t> next15(nt + 1, nt), nextNot4(nt + 1, nt);
    for (size_t i = nt; i-- > 0;) {
        next15[i] = instTexts[i].kind == 15 ? i : next15[i + 1];
        nextNot4[i] = instTexts[i].kind != 4 ? i : nextNot4[i + 1];
    }
    auto firstAtOrAfter = [&](size_t offset) {
        return static_cast<size_t>(
            std::lower_bound(instTexts.begin(), instTexts.end(), offset,
                             [](const RawText& r, size_t off) { return r.offset < off; }) -
            instTexts.begin());
    };

    const std::vector<size_t> M = findMarkers(s, 0x00, 0x01, 0x74, 0, kAll);
    std::vector<SymbolInstance> instances;
    instances.reserve(M.size());
    for (size_t k = 0; k < M.size(); ++k) {
        const size_t V = M[k];
        if (V < 44) continue;
        const int32_t x = readI32(s, V - 36), y = readI32(s, V - 32);
        if (!withinLimit(x, 100000) || !withinLimit(y, 100000)) continue;
        bool ok = true;
        for (size_t off : {20, 16, 12, 8})
            if (!detail::within(readI32(s, V - off), 100000)) ok = false;
        if (!ok) continue;
        // Rejected markers still bound the range of the instance before them.
        size_t end = (k + 1 < M.size() && M[k + 1] >= 40) ? M[k + 1] - 40 : size;
        if (end <= V) end = size;

        SymbolInstance inst;
        inst.x = x;
        inst.y = y;
        inst.offset = V;
        inst.orientation = s[V - 28] & 7u;
        inst.textLo = firstAtOrAfter(V);
        inst.textHi = end == size ? nt : firstAtOrAfter(end);
        inst.textEnd = end;
        for (size_t j = next15[inst.textLo]; j < inst.textHi; j = next15[j + 1])
            if (instTexts[j].textEnd() <= end) {
                inst.reference = j;
                break;
            }
        inst.cellIndex = findCell(cellIndex, findInstanceName(s, V));
        instances.push_back(inst);
    }
    rec.symbols = instances.size();

    // Terminal cell table: exact names only.
    std::map<std::string, int, std::less<>> terminalCells;
    for (const std::string& name : names) {
        if (!isTerminalName(name)) continue;
        const int idx = findCell(cellIndex, name);
        if (idx >= 0) terminalCells[name] = idx;
    }

    // Terminals. The marker of an accepted instance stands 27 bytes after a
    // byte sequence that looks like a terminal marker; those are skipped.
    auto isInstanceShadow = [&](size_t W) {
        const size_t V = W + 27;
        auto it = std::lower_bound(instances.begin(), instances.end(), V,
                                   [](const SymbolInstance& in, size_t v) { return in.offset < v; });
        return it != instances.end() && it->offset == V;
    };
    const KindSet labelKinds = makeKindSet({6, 8});
    const std::vector<size_t> T = findMarkers(s, 0x00, 0x01, 0x0B, 0, kAll);
    std::vector<TerminalInstance> terminals;
    terminals.reserve(T.size());
    for (size_t k = 0; k < T.size(); ++k) {
        const size_t W = T[k];
        if (W < 100 || isInstanceShadow(W)) continue;
        auto hit = terminalCells.end();
        for (size_t j = 1; j <= 39 && hit == terminalCells.end(); ++j)
            if (s[W - 18 - j] == j)
                hit = terminalCells.find(std::string_view(reinterpret_cast<const char*>(&s[W - 17 - j]), j));
        if (hit == terminalCells.end()) continue;
        const int32_t x = readI32(s, W - 9), y = readI32(s, W - 5);
        if (!detail::within(x, 50000) || !detail::within(y, 50000)) continue;
        TerminalInstance term;
        term.rwterm = hit->first == "RWTERM";
        term.cellIndex = hit->second;
        term.orientation = s[W - 1] & 7u;
        term.x = x;
        term.y = y;
        size_t end = k + 1 < T.size() ? T[k + 1] : size;
        end = std::min(end, W + 160);
        forEachText(s, labelKinds, W + 3, end, [&](const RawText& r) {
            if (r.x > -1000 && r.x < 1000 && r.y > -1000 && r.y < 1000) {
                term.hasLabel = true;
                term.label = r;
                return false;
            }
            return true;
        });
        terminals.push_back(std::move(term));
    }
    rec.terminals = terminals.size();

    // Wires and buses; a record does not start inside the previous one of its kind.
    size_t wireEnd = 0, busEnd = 0;
    const std::vector<LineRecord> wires = scanLines(s, 0x04, 0x0C, 64, kLayerWires, wireEnd);
    const std::vector<LineRecord> buses = scanLines(s, 0x2C, 0x1E, 256, kLayerBuses, busEnd);
    rec.wires = wires.size();

    // Frame, from the cell named C (or D when there is no C).
    int frameIndex = findCell(cellIndex, "C");
    if (frameIndex < 0) frameIndex = findCell(cellIndex, "D");
    const Placed* frame = rec.hasFrame ? loadedCell(frameIndex) : nullptr;

    // Room for all that the steps below may add, so that the two lists grow
    // once: on a dense page, growing them step by step cost more than the scans.
    {
        auto add = [](size_t& total, size_t n, size_t ceiling) {
            total = std::min(ceiling, total + std::min(n, ceiling));
        };
        size_t polylines = 0, texts = 0;
        add(polylines, wires.size() + buses.size(), kMaxPagePolylines);
        add(texts, 2 * pageTexts.size(), kMaxPageTexts);  // annotations and titles
        if (frame) {
            add(polylines, frame->cell->primitives.size(), kMaxPagePolylines);
            add(texts, frame->fixedTexts.size(), kMaxPageTexts);
        }
        for (const TerminalInstance& term : terminals) {
            const Placed* cell = loadedCell(term.cellIndex);
            if (!cell) continue;
            add(polylines, cell->cell->primitives.size(), kMaxPagePolylines);
            add(texts, term.hasLabel ? 1 : term.rwterm ? cell->fixedTexts.size() : 0, kMaxPageTexts);
        }
        for (const SymbolInstance& inst : instances) {
            const Placed* cell = loadedCell(inst.cellIndex);
            if (!cell) continue;
            add(polylines, cell->cell->primitives.size(), kMaxPagePolylines);
            add(texts, cell->pinNames.size() + (inst.textHi - inst.textLo) + 1, kMaxPageTexts);
        }
        rec.polylines.reserve(polylines);
        rec.texts.reserve(texts);
    }

    // Annotations: kind 7 and 19 records up to 600 bytes after the last
    // instance marker before them.
    for (const RawText& r : pageTexts) {
        if (r.kind != 7 && r.kind != 19) continue;
        auto it = std::upper_bound(instances.begin(), instances.end(), r.offset,
                                   [](size_t off, const SymbolInstance& in) { return off < in.offset; });
        if (it == instances.begin()) continue;
        const SymbolInstance& inst = *(it - 1);
        if (r.offset - inst.offset <= 600)
            out.text(kLayerAnnotations, inst.x + r.x, inst.y + r.y, decodeText(s, r), 30);
        if (out.textsFull()) break;
    }

    // Wires, then buses.
    for (const std::vector<LineRecord>* lines : {&wires, &buses})
        for (const LineRecord& line : *lines)
            out.polyline(line.layer, linePoints(s.data(), line), s[line.offset]);

    // Titles: records after the last wire or bus.
    const size_t threshold = std::max(wireEnd, busEnd);
    for (const RawText& r : pageTexts) {
        if (out.textsFull()) break;
        if (r.offset >= threshold) out.text(kLayerTitles, r.x, r.y, decodeText(s, r), 50);
    }

    // Frame.
    if (frame) {
        out.cell(*frame->cell, frame->points, kLayerFrame, {x1, y1}, 0);
        for (const TextRecord* t : frame->fixedTexts)
            out.text(kLayerFrameText, x1 + t->x, y1 + t->y, t->text, 45);
    }

    // Terminals.
    for (const TerminalInstance& term : terminals) {
        const Placed* cell = loadedCell(term.cellIndex);
        if (!cell) continue;
        out.cell(*cell->cell, cell->points, kLayerTerminals, {term.x, term.y}, term.orientation);
        if (term.hasLabel) {
            out.text(kLayerPortLabels, term.x + term.label.x, term.y + term.label.y,
                     decodeText(s, term.label), 35);
        } else if (term.rwterm) {
            for (const TextRecord* t : cell->fixedTexts) {
                if (out.textsFull()) break;
                out.text(kLayerPortLabels, term.x + t->x, term.y + t->y, t->text, 28);
            }
        }
    }

    // Symbols.
    for (const SymbolInstance& inst : instances) {
        const Placed* cell = loadedCell(inst.cellIndex);
        if (!cell) continue;
        out.cell(*cell->cell, cell->points, kLayerSymbols, {inst.x, inst.y}, inst.orientation);
        if (out.textsFull()) continue;
        bool pinRule = false;
        if (inst.reference != kNone) {
            const std::string ref = decodeText(s, instTexts[inst.reference]);
            pinRule = startsWith(ref, "IC") || startsWith(ref, "ST") || startsWith(ref, "J") ||
                      startsWith(ref, "CON");
        }
        if (pinRule) {
            for (const TextRecord* t : cell->pinNames) {
                if (out.textsFull()) break;
                const Point q = orientPoint({double(t->x), double(t->y)}, inst.orientation);
                out.text(kLayerPinNames, inst.x + q.x, inst.y + q.y, t->text, 32, t->x > 80 ? 1 : 0);
            }
        }
        // Without the pin rule pin numbers are skipped by index, so a symbol
        // costs only the texts it adds.
        for (size_t j = inst.textLo;; ++j) {
            if (!pinRule) j = nextNot4[j];
            if (j >= inst.textHi || out.textsFull()) break;
            const RawText& r = instTexts[j];
            if (r.textEnd() > inst.textEnd) continue;
            const double tx = inst.x + r.x, ty = inst.y + r.y;
            if (r.kind == 15)
                out.text(kLayerRefs, tx, ty, decodeText(s, r), 45);
            else if (r.kind == 5)
                out.text(kLayerValues, tx, ty, decodeText(s, r), 35);
            else
                out.text(kLayerPinNumbers, tx, ty, decodeText(s, r), 24);
        }
        if (inst.reference == kNone) out.text(kLayerRefs, inst.x, inst.y + 70, "?", 45);
    }

    // Totals and bounding box.
    rec.polylineCount = rec.polylines.size();
    rec.textCount = rec.texts.size();
    if (!rec.hasFrame) {
        if (rec.polylines.empty()) {
            rec.minX = rec.minY = -1000;
            rec.maxX = rec.maxY = 1000;
        } else {
            double minX = rec.polylines.front().minX, minY = rec.polylines.front().minY;
            double maxX = rec.polylines.front().maxX, maxY = rec.polylines.front().maxY;
            for (const Polyline& pl : rec.polylines) {
                minX = std::min(minX, pl.minX);
                minY = std::min(minY, pl.minY);
                maxX = std::max(maxX, pl.maxX);
                maxY = std::max(maxY, pl.maxY);
            }
            rec.minX = minX - 200;
            rec.minY = minY - 200;
            rec.maxX = maxX + 200;
            rec.maxY = maxY + 200;
        }
    }
    doc.buildIndex();
}

}  // namespace sbk
