// What the scan of a page's Circuit stream finds, kept for the steps that place it, and the
// lists those steps read it through. Internal to the SBK page reader.
#pragma once

#include "sbk/scan.h"

#include <algorithm>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace sbk {

constexpr std::uint8_t layerOf(Layer l) { return static_cast<std::uint8_t>(l); }

struct SymbolInstance {
    double x = 0;
    double y = 0;
    std::uint32_t orientation = 0;
    std::size_t offset = 0;
    int cellIndex = -1;
    // The instance's pin number, value and reference records: those of the
    // stream-wide list in [textLo, textHi) that end at or before textEnd.
    std::size_t textLo = 0;
    std::size_t textHi = 0;
    std::size_t textEnd = 0;
    std::size_t reference = kNone;  // first reference record, or none ("?")
};

struct TerminalInstance {
    bool rwterm = false;  // the one terminal cell with texts of its own
    int cellIndex = -1;
    std::uint32_t orientation = 0;
    double x = 0;
    double y = 0;
    std::size_t label = kNone;  // in the page's list of labels
};

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

inline std::vector<Point> linePoints(const LineScan& scan, const LineRecord& line) {
    std::vector<Point> pts(line.count);
    const std::int32_t* c = scan.coordinates.data() + line.first;
    for (Point& pt : pts) {
        pt = {double(c[0]), double(c[1])};
        c += 2;
    }
    return pts;
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

// What each placement of a cell adds, worked out once: a cell may be placed
// many times over.
struct PlacedCell {
    const Cell* cell = nullptr;
    std::size_t points = 0;
    std::vector<const TextRecord*> pinNames;    // TextPinName records
    std::vector<const TextRecord*> fixedTexts;  // TextFixed records
};

// All that the scan of one page found. It refers into itself: it stays where it was made.
struct CircuitScan {
    CircuitScan() = default;
    CircuitScan(const CircuitScan&) = delete;
    CircuitScan& operator=(const CircuitScan&) = delete;

    const PlacedCell* loadedCell(int index) const {
        const auto it = placed.find(index);
        return it == placed.end() ? nullptr : &it->second;
    }

    std::vector<std::string> names;  // of the cells, in TOC order
    CellNameIndex cellIndex;
    std::map<int, Cell> cells;
    std::map<int, PlacedCell> placed;

    std::vector<std::uint8_t> stream;  // the Circuit stream
    Point frameOrigin, frameCorner;
    const PlacedCell* frame = nullptr;

    // Pin numbers, values and references; labels, fixed texts, titles and
    // annotations; the terminals' labels.
    LocatedTexts instTexts{stream}, pageTexts{stream}, labels{stream};
    // nextReference[i]: first reference record at or after i; nextNotPinNumber[i]: first
    // record at or after i that is not a pin number.
    std::vector<std::size_t> nextReference, nextNotPinNumber;

    std::vector<SymbolInstance> instances;
    std::vector<TerminalInstance> terminals;
    LineScan wires, buses;
};

// Adds what the scan found to the page, in the order in which it is drawn:
// annotations, wires and buses, titles, the frame, terminals, symbols. The
// lists are the page's own, which the document appends to.
void placePage(const CircuitScan& scan, Document& doc, std::vector<Polyline>& polylines,
               std::vector<Text>& texts);

}  // namespace sbk
