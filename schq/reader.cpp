#include "schq/reader.h"

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <string>
#include <string_view>
#include <utility>

#include "schq/compound_file.h"
#include "schq/document_state.h"
#include "schq/error.h"
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
constexpr int kMaxVertices = 5000;

struct SheetSize {
    double width;
    double height;
};

constexpr SheetSize kSheetStyles[5] = {
    {1150, 760}, {1654, 1169}, {2339, 1654}, {3310, 2339}, {4680, 3310},
};

bool hasKey(const PropertyMap& record, const char* key) { return record.find(key) != record.end(); }

// The owner's index ("OWNERINDEX" + 1), in 64 bits so that the largest 32-bit value cannot wrap;
// -1 when it does not name a record of the list.
std::int64_t ownerOf(const std::vector<PropertyMap>& records, const PropertyMap& record) {
    const std::int64_t owner = std::int64_t{getInt(record, "OWNERINDEX", -99)} + 1;
    return owner >= 0 && owner < static_cast<std::int64_t>(records.size()) ? owner : -1;
}

// Stable order by layer: one pass per layer moves each primitive once, cheaper than a merge sort
// of these large values.
void sortByLayer(std::vector<Primitive>& primitives) {
    std::size_t counts[256] = {};
    for (const Primitive& p : primitives) ++counts[p.layer];
    std::size_t starts[256];
    std::size_t next = 0;
    for (std::size_t layer = 0; layer < 256; ++layer) {
        starts[layer] = next;
        next += counts[layer];
    }
    std::vector<Primitive> sorted(primitives.size());
    for (Primitive& p : primitives) sorted[starts[p.layer]++] = std::move(p);
    primitives = std::move(sorted);
}

}  // namespace

namespace {

// What visibility reads of an owner record. One component owns many records and its values may
// be as long as the stream, so the reader takes this once per record instead of once per owned
// record.
struct OwnerInfo {
    bool component = false;
    std::int32_t currentPart = 1;
    std::int32_t displayMode = 0;
};

OwnerInfo ownerInfoOf(const PropertyMap& record) {
    OwnerInfo info;
    const auto it = record.find("RECORD");
    info.component = it != record.end() && it->second == "1";
    if (info.component) {
        info.currentPart = getInt(record, "CURRENTPARTID", 1);
        info.displayMode = getInt(record, "DISPLAYMODE", 0);
    }
    return info;
}

bool isTrue(const PropertyMap& record, const char* key) {
    const auto it = record.find(key);
    return it != record.end() && it->second == "T";
}

template <typename OwnerInfoAt>
bool visible(const std::vector<PropertyMap>& records, std::size_t index, OwnerInfoAt ownerInfoAt) {
    if (index >= records.size()) return false;
    const PropertyMap& record = records[index];
    if (isTrue(record, "ISHIDDEN") || isTrue(record, "IGNOREONLOAD")) return false;
    if (!hasKey(record, "OWNERINDEX")) return true;
    const std::int64_t owner = ownerOf(records, record);
    if (owner < 0) return true;
    const OwnerInfo component = ownerInfoAt(static_cast<std::size_t>(owner));
    if (!component.component) return true;
    const int partId = getInt(record, "OWNERPARTID", -1);
    if (partId >= 0 && partId != component.currentPart) return false;
    if (hasKey(record, "OWNERPARTDISPLAYMODE") &&
        getInt(record, "OWNERPARTDISPLAYMODE", 0) != component.displayMode)
        return false;
    return true;
}

// The sheet record's font sizes (SIZE1, SIZE2, ...) as plain decimals, each parsed once: every
// text record reads one, and a value may be as long as the stream. A value that does not parse
// is left out, which gives the text builder the same default as the value itself.
PropertyMap fontSizesOf(const PropertyMap& sheet) {
    PropertyMap sizes;
    for (auto it = sheet.lower_bound(std::string_view("SIZE"));
         it != sheet.end() && it->first.starts_with("SIZE"); ++it) {
        if (it->first.find('\0') != std::string::npos) continue;  // not a key the text builder can ask for
        const std::int32_t a = getInt(sheet, it->first.c_str(), 0);
        if (a == getInt(sheet, it->first.c_str(), 1)) sizes.emplace(it->first, std::to_string(a));
    }
    return sizes;
}

}  // namespace

bool isVisible(const std::vector<PropertyMap>& records, std::size_t index) {
    return visible(records, index, [&](std::size_t owner) { return ownerInfoOf(records[owner]); });
}

Document readSchDoc(const std::string& path) {
    const CompoundFile file(path);
    std::vector<PropertyMap> records = splitRecords(file.readStream("FileHeader"));
    if (records.size() < 2 || !hasKey(records[0], "HEADER"))
        throw Error("Missing Altium/Protel FileHeader records");

    // The optional second stream adds records after the first stream's, without its header;
    // a missing or broken one is no reason to refuse the sheet.
    try {
        std::vector<PropertyMap> additional = splitRecords(file.readStream("Additional"));
        if (!additional.empty() && hasKey(additional[0], "HEADER")) {
            records.reserve(records.size() + additional.size() - 1);
            std::move(additional.begin() + 1, additional.end(), std::back_inserter(records));
        }
    } catch (const Error&) {
    }

    const auto sheetIt = std::find_if(records.begin(), records.end(), [](const PropertyMap& r) {
        const auto it = r.find("RECORD");
        return it != r.end() && it->second == "31";
    });
    if (sheetIt == records.end()) throw Error("SchDoc sheet properties not found (record 31)");
    const PropertyMap& sheet = *sheetIt;

    Document document;
    Document::State& state = DocumentAccess::state(document);

    double width = 0;
    double height = 0;
    if (getString(sheet, "USECUSTOMSHEET", "") == "T") {
        width = getDouble(sheet, "CUSTOMX", 0.0);
        height = getDouble(sheet, "CUSTOMY", 0.0);
    }
    if (width <= 0 || height <= 0) {
        const int style = std::clamp(getInt(sheet, "SHEETSTYLE", 0), 0, 4);
        width = kSheetStyles[style].width;
        height = kSheetStyles[style].height;
    }
    if (width < kMinSheetSide || height < kMinSheetSide || width > kMaxSheetSide || height > kMaxSheetSide)
        throw Error("Invalid SchDoc sheet bounds");
    state.width = width;
    state.height = height;

    std::vector<OwnerInfo> owners;
    owners.reserve(records.size());
    for (const PropertyMap& record : records) owners.push_back(ownerInfoOf(record));
    const PropertyMap fontSizes = fontSizesOf(sheet);

    state.primitives.reserve(records.size());
    SheetBuilder builder{height, fontSizes, state.primitives};
    DocumentStats& stats = state.stats;
    std::size_t pathPoints = 0;
    for (std::size_t i = 0; i < records.size(); ++i) {
        const PropertyMap& record = records[i];
        if (getString(record, "RECORD", "").empty()) continue;
        ++stats.records;
        const int type = getInt(record, "RECORD", -1);
        switch (type) {
            case 1: ++stats.components; break;
            case 2: ++stats.pins; break;
            case 27: ++stats.wires; break;
            case 29: ++stats.junctions; break;
            case 25: ++stats.netLabels; break;
            default: break;
        }
        if (!visible(records, i, [&](std::size_t owner) { return owners[owner]; })) continue;
        // Graphics of a symbol and free graphics of the sheet differ in their default colour.
        const std::uint32_t defaultColour =
            ownerOf(records, record) >= 0 ? kOwnedGraphicColour : kFreeGraphicColour;
        switch (type) {
            case 6:
            case 7:
            case 8:
            case 11:
            case 12:
            case 27: {
                if (pathPoints >= kMaxSheetPoints) break;
                const std::size_t before = state.primitives.size();
                builder.addGraphic(record, type, defaultColour);
                if (type == 6 || type == 7 || type == 27) {
                    // Every vertex read counts, also those of a list that was dropped.
                    const int count = std::clamp(getInt(record, "LOCATIONCOUNT", 0), 0, kMaxVertices);
                    pathPoints += static_cast<std::size_t>(count);
                } else {
                    for (std::size_t k = before; k < state.primitives.size(); ++k)
                        pathPoints += state.primitives[k].points.size();
                }
                break;
            }
            case 13:
            case 14: builder.addGraphic(record, type, defaultColour); break;
            case 29: {
                const std::uint32_t colour = getColour(record, "COLOR", kJunctionColour);
                builder.addEllipse(builder.location(record), kJunctionRadius, kJunctionRadius, colour, colour,
                                   Wires, 0);
                break;
            }
            case 2: builder.addPin(record); break;
            case 17: builder.addPowerPort(record); break;
            case 4:
            case 25:
            case 28:
            case 32:
            case 33:
            case 34:
            case 41: builder.addTextRecord(record, Labels, std::string()); break;
            default: break;
        }
    }

    sortByLayer(state.primitives);
    document.buildIndex();
    return document;
}

}  // namespace schq
