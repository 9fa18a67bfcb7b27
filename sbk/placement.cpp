// Symbol placement: turns what the scan of a page found into the page's polylines and texts, in
// the order in which they are drawn, within the page's output ceilings.
#include "sbk/circuit_scan.h"

#include <algorithm>

namespace sbk {

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

constexpr std::uint8_t kLayerFrame = layerOf(Layer::Frame), kLayerSymbols = layerOf(Layer::Symbols),
                       kLayerTerminals = layerOf(Layer::Terminals),
                       kLayerFrameText = layerOf(Layer::FrameText),
                       kLayerPortLabels = layerOf(Layer::PortLabels), kLayerRefs = layerOf(Layer::Refs),
                       kLayerValues = layerOf(Layer::Values), kLayerPinNames = layerOf(Layer::PinNames),
                       kLayerPinNumbers = layerOf(Layer::PinNumbers), kLayerTitles = layerOf(Layer::Titles),
                       kLayerAnnotations = layerOf(Layer::Annotations);

// Text heights in page units, by what the text is.
constexpr double kAnnotationHeight = 30, kTitleHeight = 50, kFrameTextHeight = 45, kPortLabelHeight = 35,
                 kTerminalTextHeight = 28, kPinNameHeight = 32, kReferenceHeight = 45, kValueHeight = 35,
                 kPinNumberHeight = 24;

// Annotations lie at most this far after their instance's marker.
constexpr std::size_t kAnnotationReach = 600;
// A pin name whose x in the cell lies past this ends at its point; the others start there.
constexpr std::int32_t kPinNameEndsPast = 80;
// How far above a symbol's origin the "?" of a missing reference stands.
constexpr double kMissingReferenceRise = 70;

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
        doc_.addPolyline(layer, ShapePolyline, std::move(points), style);
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

// The placing steps of one page, in the order the document's lists need.
class Placement {
public:
    Placement(const CircuitScan& scan, Document& doc, std::vector<Polyline>& polylines,
              std::vector<Text>& texts)
        : scan_(scan), polylines_(polylines), texts_(texts), out_(doc, polylines, texts) {}

    void run() {
        reserveOutput();
        addAnnotations();
        addLines();
        addTitles();
        placeFrame();
        placeTerminals();
        placeSymbols();
    }

private:
    // Room for all that the steps below may add, so that the two lists grow
    // once: on a dense page, growing them step by step cost more than the scans.
    void reserveOutput() {
        auto add = [](std::size_t& total, std::size_t n, std::size_t ceiling) {
            total = std::min(ceiling, total + std::min(n, ceiling));
        };
        std::size_t polylines = 0, texts = 0;
        add(polylines, scan_.wires.lines.size() + scan_.buses.lines.size(), kMaxPagePolylines);
        add(texts, 2 * scan_.pageTexts.size(), kMaxPageTexts);  // annotations and titles
        if (const PlacedCell* frame = scan_.frame) {
            add(polylines, frame->cell->primitives.size(), kMaxPagePolylines);
            add(texts, frame->fixedTexts.size(), kMaxPageTexts);
        }
        for (const TerminalInstance& term : scan_.terminals) {
            const PlacedCell* cell = scan_.loadedCell(term.cellIndex);
            if (!cell) continue;
            add(polylines, cell->cell->primitives.size(), kMaxPagePolylines);
            add(texts, term.label != kNone ? 1 : term.rwterm ? cell->fixedTexts.size() : 0, kMaxPageTexts);
        }
        for (const SymbolInstance& inst : scan_.instances) {
            const PlacedCell* cell = scan_.loadedCell(inst.cellIndex);
            if (!cell) continue;
            add(polylines, cell->cell->primitives.size(), kMaxPagePolylines);
            add(texts, cell->pinNames.size() + (inst.textHi - inst.textLo) + 1, kMaxPageTexts);
        }
        polylines_.reserve(polylines);
        texts_.reserve(texts);
    }

    // Fixed texts and annotations up to 600 bytes after the last instance marker before them.
    void addAnnotations() {
        const std::vector<SymbolInstance>& instances = scan_.instances;
        const LocatedTexts& texts = scan_.pageTexts;
        OffsetCursor<SymbolInstance> cursor(instances);
        for (std::size_t i = 0; i < texts.size(); ++i) {
            const RawText& r = texts[i];
            if (r.kind != TextFixed && r.kind != TextAnnotation) continue;
            // The first instance past the record; a record's offset is below the stream's size.
            const std::size_t after = cursor.lowerBound(r.offset + 1);
            if (after == 0) continue;
            const SymbolInstance& inst = instances[after - 1];
            if (r.offset - inst.offset <= kAnnotationReach)
                out_.text(kLayerAnnotations, inst.x + r.x, inst.y + r.y, texts.text(i), kAnnotationHeight);
            if (out_.textsFull()) break;
        }
    }

    void addLines() {
        for (const LineScan* scan : {&scan_.wires, &scan_.buses})
            for (const LineRecord& line : scan->lines)
                out_.polyline(line.layer, linePoints(*scan, line), line.style);
    }

    // Records after the last wire or bus.
    void addTitles() {
        const std::size_t threshold = std::max(scan_.wires.lastEnd, scan_.buses.lastEnd);
        const LocatedTexts& texts = scan_.pageTexts;
        for (std::size_t i = 0; i < texts.size(); ++i) {
            if (out_.textsFull()) break;
            const RawText& r = texts[i];
            if (r.offset >= threshold) out_.text(kLayerTitles, r.x, r.y, texts.text(i), kTitleHeight);
        }
    }

    void placeFrame() {
        const PlacedCell* frame = scan_.frame;
        if (!frame) return;
        const Point o = scan_.frameOrigin;
        out_.cell(*frame->cell, frame->points, kLayerFrame, o, 0);
        for (const TextRecord* t : frame->fixedTexts)
            out_.text(kLayerFrameText, o.x + t->x, o.y + t->y, t->text, kFrameTextHeight);
    }

    void placeTerminals() {
        for (const TerminalInstance& term : scan_.terminals) {
            const PlacedCell* cell = scan_.loadedCell(term.cellIndex);
            if (!cell) continue;
            out_.cell(*cell->cell, cell->points, kLayerTerminals, {term.x, term.y}, term.orientation);
            if (term.label != kNone) {
                const RawText& label = scan_.labels[term.label];
                out_.text(kLayerPortLabels, term.x + label.x, term.y + label.y, scan_.labels.text(term.label),
                          kPortLabelHeight);
            } else if (term.rwterm) {
                for (const TextRecord* t : cell->fixedTexts) {
                    if (out_.textsFull()) break;
                    out_.text(kLayerPortLabels, term.x + t->x, term.y + t->y, t->text, kTerminalTextHeight);
                }
            }
        }
    }

    bool pinRule(const SymbolInstance& inst) const {
        if (inst.reference == kNone) return false;
        const std::string ref = scan_.instTexts.text(inst.reference);
        return ref.starts_with("IC") || ref.starts_with("ST") || ref.starts_with("J") ||
               ref.starts_with("CON");
    }

    void placeSymbols() {
        for (const SymbolInstance& inst : scan_.instances) {
            const PlacedCell* cell = scan_.loadedCell(inst.cellIndex);
            if (!cell) continue;
            out_.cell(*cell->cell, cell->points, kLayerSymbols, {inst.x, inst.y}, inst.orientation);
            if (out_.textsFull()) continue;
            const bool pins = pinRule(inst);
            if (pins) addPinNames(inst, *cell);
            addInstanceTexts(inst, pins);
            if (inst.reference == kNone)
                out_.text(kLayerRefs, inst.x, inst.y + kMissingReferenceRise, "?", kReferenceHeight);
        }
    }

    void addPinNames(const SymbolInstance& inst, const PlacedCell& cell) {
        for (const TextRecord* t : cell.pinNames) {
            if (out_.textsFull()) break;
            const Point q = orientPoint({double(t->x), double(t->y)}, inst.orientation);
            out_.text(kLayerPinNames, inst.x + q.x, inst.y + q.y, t->text, kPinNameHeight,
                      t->x > kPinNameEndsPast ? 1 : 0);
        }
    }

    // Without the pin rule pin numbers are skipped by index, so a symbol
    // costs only the texts it adds.
    void addInstanceTexts(const SymbolInstance& inst, bool pins) {
        const LocatedTexts& texts = scan_.instTexts;
        for (std::size_t j = inst.textLo;; ++j) {
            if (!pins) j = scan_.nextNotPinNumber[j];
            if (j >= inst.textHi || out_.textsFull()) break;
            const RawText& r = texts[j];
            if (r.textEnd() > inst.textEnd) continue;
            const double tx = inst.x + r.x, ty = inst.y + r.y;
            if (r.kind == TextReference)
                out_.text(kLayerRefs, tx, ty, texts.text(j), kReferenceHeight);
            else if (r.kind == TextValue)
                out_.text(kLayerValues, tx, ty, texts.text(j), kValueHeight);
            else
                out_.text(kLayerPinNumbers, tx, ty, texts.text(j), kPinNumberHeight);
        }
    }

    const CircuitScan& scan_;
    std::vector<Polyline>& polylines_;
    std::vector<Text>& texts_;
    Output out_;
};

}  // namespace

void placePage(const CircuitScan& scan, Document& doc, std::vector<Polyline>& polylines,
               std::vector<Text>& texts) {
    Placement(scan, doc, polylines, texts).run();
}

}  // namespace sbk
