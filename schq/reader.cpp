// The SchDoc reader: record streams in, the visible records drawn into a document sorted by layer.
#include "schq/reader.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <iterator>
#include <limits>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>

#include "common/number.h"
#include "schq/compound_file.h"
#include "schq/document_state.h"
#include "schq/error.h"
#include "schq/record_fields.h"
#include "schq/sheet_builder.h"

namespace schq {
namespace {

constexpr std::uint32_t kOwnedGraphicColour = 0xFF2C2724;
constexpr std::uint32_t kFreeGraphicColour = 0xFF453B30;
constexpr std::uint32_t kJunctionColour = 0xFF202080;
constexpr double kJunctionRadius = 1.85;
constexpr double kMinSheetSide = 100;
constexpr double kMaxSheetSide = 50000;
// A record of a few bytes can ask for 5000 vertices or a 145-point arc. Once this many path
// points have been read, further vertex lists and arcs are dropped like unusable geometry, so that
// a hostile file can make the reader neither exhaust memory nor spend hours reading vertices of
// lists that are then dropped (real sheets stay far below it).
constexpr std::size_t kMaxSheetPoints = std::size_t{1} << 22;
// The sheet record and the components are told by their "RECORD" text, exactly.
constexpr std::string_view kSheetRecordText = "31";
constexpr std::string_view kComponentRecordText = "1";
// "OWNERINDEX" when absent: names no record.
constexpr std::int32_t kNoOwnerIndex = -99;
// The primitive list is sized from the records' own bounds, but never beyond this many per
// record: a hostile file full of geometry that the makers refuse reserves no more.
constexpr std::size_t kMaxReservedPerRecord = 2;

struct SheetSize {
    double width;
    double height;
};

// By "SHEETSTYLE": A4 to A0, A to E, Letter, Legal, Tabloid, and the OrCAD sizes A to E.
constexpr SheetSize kSheetStyles[] = {
    {1150, 760},  {1550, 1110}, {2230, 1570}, {3150, 2230}, {4460, 3150}, {950, 750},
    {1500, 950},  {2000, 1500}, {3200, 2000}, {4200, 3200}, {1100, 850},  {1400, 850},
    {1700, 1100}, {990, 790},   {1540, 990},  {2060, 1560}, {3260, 2060}, {4280, 3280},
};
constexpr int kLastSheetStyle = static_cast<int>(std::size(kSheetStyles)) - 1;
// "WORKSPACEORIENTATION" of a portrait sheet.
constexpr int kPortrait = 1;
// Parameters owned by records of these types hold pin or model data, not sheet texts.
constexpr std::int32_t kFirstModelRecord = 44;
constexpr std::int32_t kLastModelRecord = 48;
// A multi-part component names its parts by letter after the designator: A to Z.
constexpr std::int32_t kMostLetteredParts = 26;

enum FactFlags : std::uint8_t {
    kHasType = 1,          // "RECORD" present and not empty
    kIsSheet = 2,          // "RECORD" exactly "31"
    kHidden = 4,           // "ISHIDDEN" or "IGNOREONLOAD" exactly "T"
    kIsComponent = 8,      // "RECORD" exactly "1"
    kHasPartDisplay = 16,  // "OWNERPARTDISPLAYMODE" present
    kInAdditional = 32,    // the body lies in the "Additional" stream
    kMultiPart = 64,       // of a component: "PARTCOUNT" above 2, its parts named by letter
};

// What the reader needs of a record before drawing anything: taken once per record, so that
// counting, owners and visibility never parse a record again.
struct RecordFacts {
    std::uint32_t offset = 0;  // of the body in its stream
    std::uint32_t length = 0;
    std::int32_t type = -1;                   // "RECORD" as an integer
    std::int32_t ownerIndex = kNoOwnerIndex;  // "OWNERINDEX"
    std::int32_t partId = -1;                 // "OWNERPARTID"
    std::int32_t partDisplayMode = 0;         // "OWNERPARTDISPLAYMODE"
    std::int32_t currentPart = 1;             // of a component: "CURRENTPARTID"
    std::int32_t displayMode = 0;             // of a component: "DISPLAYMODE"
    std::uint8_t flags = 0;
    std::uint8_t mostPrimitives = 0;  // drawing the record makes at most this many
    std::uint8_t mostAside = 0;       // of them on asideLayerOf(type)
};

// The keys that factsOf and mostPrimitives read, and so all that the reader's first look at a
// record parses; in byte order, named by their place.
constexpr std::string_view kSurveyKeys[] = {
    "CURRENTPARTID",    "DESIGNATOR", "DISPLAYMODE",     "IGNOREONLOAD",
    "ISHIDDEN",         "NAME",       "OWNERINDEX",      "OWNERPARTDISPLAYMODE",
    "OWNERPARTID",      "PARTCOUNT",  "PINCONGLOMERATE", "PINLENGTH",
    "PINLENGTH_FRAC",   "RECORD",     "SHOWNETNAME",     "STYLE",
    "SYMBOL_OUTEREDGE", "TEXT",
};
enum class Survey : std::uint8_t {
    CurrentPartId,
    Designator,
    DisplayMode,
    IgnoreOnLoad,
    IsHidden,
    Name,
    OwnerIndex,
    OwnerPartDisplayMode,
    OwnerPartId,
    PartCount,
    PinConglomerate,
    PinLength,
    PinLengthFrac,
    Record,
    ShowNetName,
    Style,
    SymbolOuterEdge,
    Text,
};
static_assert(std::is_sorted(std::begin(kSurveyKeys), std::end(kSurveyKeys)));
static_assert(kSurveyKeys[static_cast<std::size_t>(Survey::Text)] == "TEXT");
const KeySet& surveyKeys() {
    static const KeySet keys(kSurveyKeys);
    return keys;
}

// The survey fields of one record, whether parsed alone or as part of a whole map.
class SurveyFields {
public:
    explicit SurveyFields(std::span<const std::string_view> values) : values_(values) {}
    explicit SurveyFields(const RecordView& record) : record_(record), whole_(true) {}

    std::optional<std::string_view> operator[](Survey key) const {
        const auto k = static_cast<std::size_t>(key);
        if (whole_) return record_.find(kSurveyKeys[k]);
        if (!values_[k].data()) return std::nullopt;
        return values_[k];
    }
    std::int32_t integer(Survey key, std::int32_t fallback) const {
        const auto value = (*this)[key];
        return value ? common::parseInt32(*value).value_or(fallback) : fallback;
    }
    bool isTrue(Survey key) const { return (*this)[key] == "T"; }
    bool nonEmpty(Survey key) const { return !(*this)[key].value_or("").empty(); }

private:
    std::span<const std::string_view> values_;
    RecordView record_;
    bool whole_ = false;
};

RecordFacts factsOf(const SurveyFields& record) {
    RecordFacts f;
    const std::string_view type = record[Survey::Record].value_or("");
    if (!type.empty()) f.flags |= kHasType;
    if (type == kSheetRecordText) f.flags |= kIsSheet;
    if (type == kComponentRecordText) {
        f.flags |= kIsComponent;
        f.currentPart = record.integer(Survey::CurrentPartId, 1);
        f.displayMode = record.integer(Survey::DisplayMode, 0);
        if (record.integer(Survey::PartCount, 0) > 2) f.flags |= kMultiPart;
    }
    f.type = common::parseInt32(type).value_or(-1);
    if (record.isTrue(Survey::IsHidden) || record.isTrue(Survey::IgnoreOnLoad)) f.flags |= kHidden;
    f.ownerIndex = record.integer(Survey::OwnerIndex, kNoOwnerIndex);
    f.partId = record.integer(Survey::OwnerPartId, -1);
    if (const auto mode = record[Survey::OwnerPartDisplayMode]) {
        f.flags |= kHasPartDisplay;
        f.partDisplayMode = common::parseInt32(*mode).value_or(0);
    }
    return f;
}

// The most primitives that drawing a visible record can make, mirroring the builders' record-
// level tests: the reader sizes the primitive list once from these instead of letting it grow.
struct PrimitiveBound {
    std::size_t total = 0;
    std::size_t aside = 0;  // of them on asideLayerOf(type), the others on layerOf(type)
};

PrimitiveBound mostPrimitives(const SurveyFields& record, int type) {
    // A frame's box, and its text wrapped into any number of lines up to the limit.
    if (type == kTextFrameRecord) return {1 + kMaxTextLines, 1};
    if (isTextRecord(type)) {
        std::size_t lines = 0;
        forEachTextLine(record[Survey::Text].value_or(""), [&](int, std::string_view) { ++lines; });
        return {lines, 0};
    }
    switch (type) {
        case kPinRecord: {
            const double len =
                realWithFraction(record[Survey::PinLength], record[Survey::PinLengthFrac], 0.0);
            const int conglomerate = record.integer(Survey::PinConglomerate, 0);
            if (len < 0 || len > kMaxPinLength || (conglomerate & kPinHidden)) return {};
            const std::size_t texts =
                ((conglomerate & kPinShowsName) && record.nonEmpty(Survey::Name)) +
                ((conglomerate & kPinShowsNumber) && record.nonEmpty(Survey::Designator));
            return {1 + (record[Survey::SymbolOuterEdge] == "1") + texts, texts};
        }
        case kPowerPortRecord: {
            const bool named = record[Survey::ShowNetName] != "F" && record.nonEmpty(Survey::Text);
            return {powerPortShapes(record.integer(Survey::Style, 0)) + named, 0};
        }
        case kPolylineRecord:
        case kPolygonRecord:
        case kEllipseRecord:
        case kEllipticalArcRecord:
        case kArcRecord:
        case kLineRecord:
        case kRectangleRecord:
        case kWireRecord:
        case kJunctionRecord: return {1, 0};
        default: return {};
    }
}

// The layer of a record's primitives, but for those that asideLayerOf gives.
Layer layerOf(std::int32_t type) {
    switch (type) {
        case kWireRecord:
        case kJunctionRecord: return Wires;
        case kPinRecord: return Pins;
        case kPowerPortRecord: return Labels;
        default: return isTextRecord(type) ? Labels : Graphics;
    }
}

// The layer of the few primitives that some records draw off their own layer: a pin's texts, a
// text frame's box.
Layer asideLayerOf(std::int32_t type) { return type == kTextFrameRecord ? Graphics : PinNames; }

// The owner's index ("OWNERINDEX" + 1), in 64 bits so that the largest 32-bit value cannot wrap;
// -1 when it does not name one of `count` records.
std::int64_t ownerOf(const RecordFacts& record, std::size_t count) {
    const std::int64_t owner = std::int64_t{record.ownerIndex} + 1;
    return owner >= 0 && owner < static_cast<std::int64_t>(count) ? owner : -1;
}

// `owner` is the record's owner, or null.
bool visible(const RecordFacts& record, const RecordFacts* owner) {
    if (record.flags & kHidden) return false;
    if (!owner || !(owner->flags & kIsComponent)) return true;
    if (record.partId >= 0 && record.partId != owner->currentPart) return false;
    if ((record.flags & kHasPartDisplay) && record.partDisplayMode != owner->displayMode) return false;
    return true;
}

// The record streams of a file and the facts of their records, in the reader's list order:
// FileHeader's records, then Additional's without its header record.
enum StreamIndex { kFileHeaderStream = 0, kAdditionalStream = 1 };

struct RecordTable {
    std::vector<std::uint8_t> streams[2];
    std::vector<RecordFacts> facts;

    // Record `index`, valid until the parser's next parse.
    RecordView parse(std::size_t index, FieldParser& parser) {
        const RecordFacts& f = facts[index];
        std::vector<std::uint8_t>& stream =
            streams[(f.flags & kInAdditional) ? kAdditionalStream : kFileHeaderStream];
        return parser.parse(reinterpret_cast<char*>(stream.data()) + f.offset, f.length);
    }

    const RecordFacts* ownerAt(std::size_t index) const {
        const std::int64_t owner = ownerOf(facts[index], facts.size());
        return owner < 0 ? nullptr : &facts[static_cast<std::size_t>(owner)];
    }

    // Visible, and no parameter that holds pin or model data.
    bool drawnAt(std::size_t index) const {
        const RecordFacts* owner = ownerAt(index);
        if (!visible(facts[index], owner)) return false;
        if (facts[index].type != kParameterRecord || !owner) return true;
        return owner->type != kPinRecord &&
               (owner->type < kFirstModelRecord || owner->type > kLastModelRecord);
    }

    // The letter of the part that a designator's multi-part component shows, or 0.
    char partLetterAt(std::size_t index) const {
        const RecordFacts* owner = ownerAt(index);
        if (facts[index].type != kDesignatorRecord || !owner || !(owner->flags & kMultiPart) ||
            owner->currentPart < 1 || owner->currentPart > kMostLetteredParts)
            return 0;
        return static_cast<char>('A' + owner->currentPart - 1);
    }
};

// The text records of a stream, from its framing alone; throws the stream's errors, so that a broken
// stream is refused before any of its records is parsed.
std::size_t countTextRecords(const std::vector<std::uint8_t>& stream) {
    // Offsets are kept in 32 bits; the compound-file reader refuses larger streams long before.
    if (stream.size() > std::numeric_limits<std::uint32_t>::max()) throw Error("CFB stream too large");
    std::size_t count = 0;
    forEachTextRecord(stream.data(), stream.size(), [&](std::size_t, std::size_t) { ++count; });
    return count;
}

// Takes the facts of every text record of stream `which`, whose framing has been checked.
void surveyStream(RecordTable& table, StreamIndex which, FieldParser& parser) {
    std::vector<std::uint8_t>& stream = table.streams[which];
    char* const text = reinterpret_cast<char*>(stream.data());
    forEachTextRecord(stream.data(), stream.size(), [&](std::size_t offset, std::size_t length) {
        const SurveyFields record(parser.values(text + offset, length, surveyKeys()));
        RecordFacts f = factsOf(record);
        f.offset = static_cast<std::uint32_t>(offset);
        f.length = static_cast<std::uint32_t>(length);
        if (which == kAdditionalStream) f.flags |= kInAdditional;
        if (f.flags & kHasType) {
            const PrimitiveBound most = mostPrimitives(record, f.type);
            f.mostPrimitives = static_cast<std::uint8_t>(most.total);
            f.mostAside = static_cast<std::uint8_t>(most.aside);
        }
        table.facts.push_back(f);
    });
}

// The records of both streams. The compound file is let go before any record is parsed.
RecordTable readRecords(const std::string& path, FieldParser& parser) {
    RecordTable table;
    bool hasAdditional = false;
    {
        CompoundFile file(path);
        // The small optional stream is copied first; the main one is then gathered in the file's
        // own buffer, so that it is not held twice. A fault of either is found as when each is read.
        std::vector<std::uint8_t> additional;
        try {
            additional = file.readStream("Additional");
            hasAdditional = true;
        } catch (const Error&) {
        }
        table.streams[kFileHeaderStream] = std::move(file).takeStream("FileHeader");
        table.streams[kAdditionalStream] = std::move(additional);
    }
    // The fact list takes the records of both streams at once, so that it grows only once.
    std::size_t additionalCount = 0;
    if (hasAdditional) {
        try {
            additionalCount = countTextRecords(table.streams[kAdditionalStream]);
        } catch (const Error&) {
        }
    }
    table.facts.reserve(countTextRecords(table.streams[kFileHeaderStream]) + additionalCount);
    surveyStream(table, kFileHeaderStream, parser);
    if (table.facts.size() < 2 || !table.parse(0, parser).count("HEADER"))
        throw Error("Missing Altium/Protel FileHeader records");

    // The optional second stream adds records after the first stream's, without its header;
    // a missing or broken one is no reason to refuse the sheet.
    const std::size_t fileHeaderCount = table.facts.size();
    bool additionalUsed = false;
    if (hasAdditional) {
        try {
            countTextRecords(table.streams[kAdditionalStream]);
            surveyStream(table, kAdditionalStream, parser);
            additionalUsed =
                table.facts.size() > fileHeaderCount && table.parse(fileHeaderCount, parser).count("HEADER");
        } catch (const Error&) {
        }
    }
    if (additionalUsed) {
        table.facts.erase(table.facts.begin() + static_cast<std::ptrdiff_t>(fileHeaderCount));
    } else {
        table.facts.resize(fileHeaderCount);
        table.streams[kAdditionalStream] = {};
    }
    return table;
}

SheetSize sheetSizeOf(const RecordView& sheet) {
    double width = 0;
    double height = 0;
    if (isTrue(sheet, "USECUSTOMSHEET")) {
        width = getDouble(sheet, "CUSTOMX", 0.0);
        height = getDouble(sheet, "CUSTOMY", 0.0);
    }
    if (width <= 0 || height <= 0) {
        const int style = std::clamp(getInt(sheet, "SHEETSTYLE", 0), 0, kLastSheetStyle);
        width = kSheetStyles[style].width;
        height = kSheetStyles[style].height;
        if (getInt(sheet, "WORKSPACEORIENTATION", 0) == kPortrait) std::swap(width, height);
    }
    if (width < kMinSheetSide || height < kMinSheetSide || width > kMaxSheetSide || height > kMaxSheetSide)
        throw Error("Invalid SchDoc sheet bounds");
    return {width, height};
}

// The sheet record's font sizes (SIZE1, SIZE2, ...) as plain decimals, each parsed once: every
// text record reads one, and a value may be as long as the stream. A value that does not parse
// is left out, which gives the text builder the same default as the value itself.
PropertyMap fontSizesOf(const RecordView& sheet) {
    PropertyMap sizes;
    for (std::size_t i = sheet.lowerBound("SIZE"); i < sheet.size(); ++i) {
        const Property p = sheet.entry(i);
        if (!p.key.starts_with("SIZE")) break;
        if (p.key.find('\0') != std::string_view::npos) continue;  // not a key the text builder can ask for
        if (const auto size = common::parseInt32(p.value)) sizes.emplace(p.key, std::to_string(*size));
    }
    return sizes;
}

void countRecord(DocumentStats& stats, std::int32_t type) {
    ++stats.records;
    switch (type) {
        case kComponentRecord: ++stats.components; break;
        case kPinRecord: ++stats.pins; break;
        case kWireRecord: ++stats.wires; break;
        case kJunctionRecord: ++stats.junctions; break;
        case kNetLabelRecord: ++stats.netLabels; break;
        default: break;
    }
}

// Draws one visible record; `pathPoints` counts the path points read so far. A designator takes
// `partLetter` after its text unless that is 0.
void drawRecord(SheetBuilder& builder, const RecordView& record, std::int32_t type,
                std::uint32_t defaultColour, char partLetter, std::size_t& pathPoints) {
    std::vector<Primitive>& out = builder.out;
    switch (type) {
        case kPolylineRecord:
        case kPolygonRecord:
        case kWireRecord:
            if (pathPoints >= kMaxSheetPoints) return;
            builder.addGraphic(record, type, defaultColour);
            // Every vertex read counts, also those of a list that was dropped.
            pathPoints +=
                static_cast<std::size_t>(std::clamp(getInt(record, "LOCATIONCOUNT", 0), 0, kMaxVertices));
            return;
        case kEllipseRecord:
        case kEllipticalArcRecord:
        case kArcRecord: {
            if (pathPoints >= kMaxSheetPoints) return;
            const std::size_t before = out.size();
            builder.addGraphic(record, type, defaultColour);
            for (std::size_t k = before; k < out.size(); ++k) pathPoints += out[k].points.size();
            return;
        }
        case kLineRecord:
        case kRectangleRecord: builder.addGraphic(record, type, defaultColour); return;
        case kJunctionRecord: {
            const std::uint32_t colour = getColour(record, "COLOR", kJunctionColour);
            builder.addEllipse(builder.location(record), kJunctionRadius, kJunctionRadius, colour, colour,
                               Wires, 0);
            return;
        }
        case kPinRecord: builder.addPin(record); return;
        case kPowerPortRecord: builder.addPowerPort(record); return;
        case kTextFrameRecord: builder.addTextFrame(record); return;
        default:
            if (isTextRecord(type)) {
                std::string text;
                if (partLetter) {
                    text = getString(record, "TEXT", "");
                    if (!text.empty()) text += partLetter;
                }
                builder.addTextRecord(record, Labels, std::move(text));
            }
            return;
    }
}

// Stable order by layer, in place: each primitive is swapped straight to its place, so the list
// is neither merged nor copied.
void sortByLayer(std::vector<Primitive>& primitives) {
    std::size_t starts[256] = {};
    for (const Primitive& p : primitives) ++starts[p.layer];
    std::size_t next = 0;
    for (std::size_t& start : starts) next += std::exchange(start, next);
    std::vector<std::uint32_t> place(primitives.size());
    for (std::size_t i = 0; i < primitives.size(); ++i)
        place[i] = static_cast<std::uint32_t>(starts[primitives[i].layer]++);
    for (std::size_t i = 0; i < primitives.size(); ++i) {
        while (place[i] != i) {
            const std::uint32_t j = place[i];
            std::swap(primitives[i], primitives[j]);
            std::swap(place[i], place[j]);
        }
    }
}

// The primitive list divided into one region per layer, each as large as its visible records can
// fill, so that every primitive goes straight to its place in layer order (stably) without a sort
// or a growing list. Primitives beyond a region's room wait aside and are sorted in at the end;
// so do all of a hostile file whose bounds exceed a sane size.
class LayerRegions {
public:
    LayerRegions(const RecordTable& table, std::vector<Primitive>& out) : out_(out) {
        std::array<std::size_t, kLayers> most{};
        for (std::size_t i = 0; i < table.facts.size(); ++i) {
            const RecordFacts& f = table.facts[i];
            if (!f.mostPrimitives || !table.drawnAt(i)) continue;
            most[layerOf(f.type)] += f.mostPrimitives - f.mostAside;
            most[asideLayerOf(f.type)] += f.mostAside;
        }
        std::size_t total = 0;
        for (std::size_t layer = 0; layer < kLayers; ++layer) {
            start_[layer] = next_[layer] = total;
            total += most[layer];
            end_[layer] = total;
        }
        if (total > table.facts.size() * kMaxReservedPerRecord) end_ = {};
        out_.resize(end_.back());
    }

    void place(std::vector<Primitive>& made) {
        for (Primitive& p : made) {
            const std::size_t layer = p.layer;
            if (layer < kLayers && next_[layer] < end_[layer])
                out_[next_[layer]++] = std::move(p);
            else
                overflow_.push_back(std::move(p));
        }
    }

    void finish() {
        std::size_t filled = 0;
        for (std::size_t layer = 0; layer < kLayers; ++layer)
            for (std::size_t k = start_[layer]; k < next_[layer]; ++k)
                if (filled++ != k) out_[filled - 1] = std::move(out_[k]);
        out_.resize(filled);
        if (overflow_.empty()) return;
        out_.insert(out_.end(), std::make_move_iterator(overflow_.begin()),
                    std::make_move_iterator(overflow_.end()));
        sortByLayer(out_);
    }

private:
    static constexpr std::size_t kLayers = Labels + 1;
    std::vector<Primitive>& out_;
    std::array<std::size_t, kLayers> start_{};
    std::array<std::size_t, kLayers> next_{};
    std::array<std::size_t, kLayers> end_{};
    std::vector<Primitive> overflow_;
};

// Counts every record and draws the visible ones, in list order, into `out`, sorted by layer.
void drawRecords(RecordTable& table, FieldParser& parser, SheetBuilder& builder, std::vector<Primitive>& out,
                 DocumentStats& stats) {
    LayerRegions regions(table, out);
    std::vector<Primitive>& made = builder.out;  // one record's primitives
    std::size_t pathPoints = 0;
    for (std::size_t i = 0; i < table.facts.size(); ++i) {
        const RecordFacts& f = table.facts[i];
        if (!(f.flags & kHasType)) continue;
        countRecord(stats, f.type);
        if (!f.mostPrimitives || !table.drawnAt(i)) continue;
        // Graphics of a symbol and free graphics of the sheet differ in their default colour.
        const bool owned = ownerOf(f, table.facts.size()) >= 0;
        made.clear();
        drawRecord(builder, table.parse(i, parser), f.type, owned ? kOwnedGraphicColour : kFreeGraphicColour,
                   table.partLetterAt(i), pathPoints);
        regions.place(made);
    }
    regions.finish();
}

}  // namespace

bool isVisible(const std::vector<PropertyMap>& records, std::size_t index) {
    if (index >= records.size()) return false;
    const RecordFacts record = factsOf(SurveyFields(records[index]));
    const std::int64_t owner = ownerOf(record, records.size());
    if (owner < 0) return visible(record, nullptr);
    const RecordFacts ownerFacts = factsOf(SurveyFields(records[static_cast<std::size_t>(owner)]));
    return visible(record, &ownerFacts);
}

Document readSchDoc(const std::string& path) {
    Document document;
    Document::State& state = DocumentAccess::state(document);
    {
        FieldParser parser;
        RecordTable table = readRecords(path, parser);

        const auto sheetIt = std::find_if(table.facts.begin(), table.facts.end(),
                                          [](const RecordFacts& f) { return (f.flags & kIsSheet) != 0; });
        if (sheetIt == table.facts.end()) throw Error("SchDoc sheet properties not found (record 31)");
        // The sheet's view lasts until the next parse: everything needed of it is taken here.
        const RecordView sheet = table.parse(static_cast<std::size_t>(sheetIt - table.facts.begin()), parser);
        const SheetSize size = sheetSizeOf(sheet);
        state.width = size.width;
        state.height = size.height;
        const PropertyMap fontSizes = fontSizesOf(sheet);

        std::vector<Primitive> made;
        SheetBuilder builder{state.height, fontSizes, made};
        drawRecords(table, parser, builder, state.primitives, state.stats);
    }
    document.buildIndex();
    return document;
}

}  // namespace schq
