// The ACCEL_ASCII reader: the design's tables, then each sheet with its title sheet, symbols and texts.
#include "pcad/ascii.h"

#include <cmath>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <unordered_map>
#include <utility>

#include "pcad/ascii_primitives.h"
#include "pcad/ascii_units.h"
#include "pcad/sexpr.h"

namespace pcad {

namespace {

// Limits on what one file may produce. Title sheets are drawn on every page and symbol
// definitions once per instance, so a small file could otherwise ask for a huge
// number of primitives or copies of its strings; every sheet is a page of its own.
constexpr std::size_t kMaxPrimitives = 5'000'000;
constexpr std::size_t kMaxTextBytes = 256u << 20;
constexpr std::size_t kMaxSheets = 1000;

using NodeTable = std::unordered_map<std::string, const SExpr*>;

// What every sheet of the file reads from: the library and netlist tables, the design header's
// fields and page size, the title sheet. Borrows the parsed tree, which outlives it.
struct DesignTables {
    StyleTable styles;
    NodeTable symbols;
    NodeTable components;
    NodeTable componentDefs;
    double sizeScale = 1;  // the reader's fixed sizes, millimetres, in the file's unit
    std::unordered_map<std::string, std::string> fields;
    const SExpr* titleSheet = nullptr;
    double width = kDefaultPageSize.width;
    double height = kDefaultPageSize.height;
};

class Budget {
public:
    void startPage() { scannedTexts_ = 0; }
    // Called after every sheet item; only the texts added since the last call are summed.
    void check(const Page& current) {
        for (; scannedTexts_ < current.texts.size(); ++scannedTexts_)
            textBytes_ += current.texts[scannedTexts_].text.size();
        if (finishedPrimitives_ + count(current) > kMaxPrimitives)
            throw std::runtime_error("ASCII file has too many primitives");
        if (textBytes_ > kMaxTextBytes) throw std::runtime_error("ASCII file has too much text");
    }
    void finish(const Page& p) { finishedPrimitives_ += count(p); }

private:
    static std::size_t count(const Page& p) { return p.lines.size() + p.circles.size() + p.texts.size(); }
    std::size_t finishedPrimitives_ = 0;
    std::size_t textBytes_ = 0;
    std::size_t scannedTexts_ = 0;
};

void readStyles(const SExpr& library, double sizeScale, StyleTable& styles) {
    for (const SExpr* def : library.findAll("textStyleDef")) {
        const std::vector<const SExpr*> fonts = def->findAll("font");
        if (fonts.empty()) continue;
        // The TrueType font wins when there is one (the last such), else the first font.
        const SExpr* chosen = fonts.front();
        for (const SExpr* font : fonts)
            if (font->value("fontType", "") == "TrueType") chosen = font;
        double height = toDouble(chosen->value("fontHeight", ""), 2.8 * sizeScale);
        const double least = 0.7 * sizeScale;
        if (!(height > least) || !std::isfinite(detail::toFloat(height))) height = least;
        styles[def->atom(1, "")] = detail::toFloat(height);
    }
}

DesignTables readDesignTables(const SExpr& root, const SExpr& design, double sizeScale) {
    DesignTables tables;
    tables.sizeScale = sizeScale;
    const SExpr& library = root.find("library");
    const SExpr& netlist = root.find("netlist");
    readStyles(library, sizeScale, tables.styles);
    for (const SExpr* def : library.findAll("symbolDef")) tables.symbols[def->atom(1, "")] = def;
    for (const SExpr* def : library.findAll("compDef")) tables.componentDefs[def->atom(1, "")] = def;
    for (const SExpr* comp : netlist.findAll("compInst")) tables.components[comp->atom(1, "")] = comp;

    const SExpr& header = design.find("schDesignHeader");
    for (const SExpr* field : header.find("designInfo").find("fieldSet").findAll("fieldDef"))
        tables.fields[field->atom(1, "")] = field->atom(2, "");

    const SExpr& size = header.find("workspaceSize");
    if (size.children.size() >= 3) {
        tables.width = toDouble(size.atom(1, ""), kDefaultPageSize.width);
        tables.height = toDouble(size.atom(2, ""), kDefaultPageSize.height);
    }
    const SExpr& title = design.find("titleSheet");
    if (title.isList) tables.titleSheet = &title;
    return tables;
}

void drawTitleSheet(Page& page, const DesignTables& tables) {
    if (tables.titleSheet == nullptr) return;
    const Placement identity;
    for (const SExpr& item : tables.titleSheet->children) {
        if (item.is("line")) {
            addLine(page, item, ClassFrame, identity, tables.sizeScale);
        } else if (item.is("text")) {
            addText(page, item, ClassTitleText, tables.styles, identity, 0, std::nullopt, tables.sizeScale);
        } else if (item.is("field")) {
            const auto it = tables.fields.find(item.atom(1, ""));
            if (it != tables.fields.end())
                addText(page, item, ClassTitleText, tables.styles, identity, 0, it->second, tables.sizeScale);
        }
    }
}

Placement placementOf(const SExpr& instance) {
    Placement placement;
    const AsciiPoint origin = readPt(instance);
    placement.x = origin.x;
    placement.y = origin.y;
    placement.rotation = toDouble(instance.value("rotation", ""), 0);
    placement.mirrored = instance.valueIs("isFlipped", "True") ? 1 : 0;
    return placement;
}

// The pin's stroke, its number unless hidden and its name when shown.
void drawPin(Page& page, const SExpr& pin, const Placement& placement, const DesignTables& tables) {
    addPinLine(page, pin, placement, tables.sizeScale);
    // P-CAD writes the number's flag only to hide it; the name is shown only when asked for.
    const SExpr& display = pin.find("pinDisplay");
    const bool shown[] = {!display.valueIs("dispPinDes", "False"), display.valueIs("dispPinName", "True")};
    const char* lists[] = {"pinDes", "pinName"};
    for (int i = 0; i < 2; ++i) {
        if (!shown[i]) continue;
        const SExpr& text = pin.find(lists[i]).find("text");
        if (text.isList)
            addText(page, text, ClassPinText, tables.styles, placement, placement.rotation, std::nullopt,
                    tables.sizeScale);
    }
}

// The graphics that a sheet and a symbol definition share: lines, both forms of arc and
// polygons. False for any other word.
bool addGraphic(Page& page, const std::string& word, const SExpr& item, std::uint8_t itemClass,
                const Placement& placement, double sizeScale) {
    if (word == "line") {
        addLine(page, item, itemClass, placement, sizeScale);
    } else if (word == "triplePointArc") {
        addArc(page, item, itemClass, placement, sizeScale);
    } else if (word == "arc") {
        addAngleArc(page, item, itemClass, placement, sizeScale);
    } else if (word == "poly") {
        addPoly(page, item, itemClass, placement, sizeScale);
    } else {
        return false;
    }
    return true;
}

// The definition's graphics, its own texts, and its pins.
void drawSymbolGraphics(Page& page, const SExpr& symbol, const Placement& placement,
                        const DesignTables& tables) {
    const double k = tables.sizeScale;
    for (const SExpr& item : symbol.children) {
        if (!item.isList || item.children.empty() || item.children.front().isList) continue;
        const std::string& word = item.children.front().text;
        if (addGraphic(page, word, item, ClassSymbolGraphics, placement, k)) continue;
        if (word == "pin") {
            drawPin(page, item, placement, tables);
        } else if (word == "text") {
            addText(page, item, ClassAttributeText, tables.styles, placement, placement.rotation,
                    std::nullopt, k);
        }
    }
}

// The reference as P-CAD shows it: for a component of several parts, followed by ":" and the
// part's letter (A for part 1) or, when the component numbers its parts, its number.
std::string shownReference(const std::string& refDes, const SExpr& instance, const SExpr* comp,
                           const DesignTables& tables) {
    if (comp == nullptr) return refDes;
    if (tables.componentDefs.empty()) return refDes;
    auto def = tables.componentDefs.find(comp->value("compRef", ""));
    if (def == tables.componentDefs.end()) def = tables.componentDefs.find(comp->value("originalName", ""));
    if (def == tables.componentDefs.end()) return refDes;
    const SExpr& header = def->second->find("compHeader");
    const double parts = toDouble(header.value("numParts", ""), 1);
    const double part = toDouble(instance.value("partNum", ""), 0);
    if (!(parts > 1) || !(part >= 1 && part <= 1e6)) return refDes;
    const auto n = static_cast<int>(part);
    if (header.value("numType", "") == "Numeric" || n > 26) return refDes + ":" + std::to_string(n);
    return refDes + ":" + static_cast<char>('A' + n - 1);
}

// The visible attributes of the instance. Instance attributes replace definition
// attributes of the same name; the texts come out in byte order of the names.
void drawAttributes(Page& page, const SExpr& instance, const SExpr& symbol, const Placement& placement,
                    const DesignTables& tables) {
    const std::string refDesRef = instance.value("refDesRef", "");
    std::string compValue;
    std::string compType;
    const auto found = tables.components.find(refDesRef);
    const SExpr* comp = found == tables.components.end() ? nullptr : found->second;
    if (comp != nullptr) {
        compValue = comp->value("compValue", "");
        // The name P-CAD shows, not the library's copy of it ("MINI-USB", not "MINI-USB_1").
        compType = comp->value("originalName", "");
        if (compType.empty()) compType = comp->value("compRef", "");
    }
    const std::string refDes = shownReference(refDesRef, instance, comp, tables);

    std::map<std::string, const SExpr*> attrs;
    for (const SExpr* a : symbol.findAll("attr")) attrs[a->atom(1, "")] = a;
    for (const SExpr* a : instance.findAll("attr")) attrs[a->atom(1, "")] = a;
    for (const auto& [name, attr] : attrs) {
        if (attr->value("isVisible", "") != "True") continue;
        std::string text;
        if (name == "RefDes")
            text = refDes;
        else if (name == "Value")
            text = compValue;
        else if (name == "Type")
            text = compType;
        else
            text = attr->atom(2, "");
        if (text.empty() || !attr->find("pt").isList) continue;
        addText(page, *attr, ClassAttributeText, tables.styles, placement, placement.rotation,
                std::move(text), tables.sizeScale);
    }
}

void drawSymbol(Page& page, const SExpr& instance, const DesignTables& tables) {
    const auto def = tables.symbols.find(instance.value("symbolRef", ""));
    if (def == tables.symbols.end()) return;
    const Placement placement = placementOf(instance);
    drawSymbolGraphics(page, *def->second, placement, tables);
    drawAttributes(page, instance, *def->second, placement, tables);
}

// The label sits at the port's point, on the side the port points to: a port turned to the
// left (flipped, or at 180 degrees, not both) ends its label at the point.
void drawPort(Page& page, const SExpr& port, double sizeScale) {
    const SExpr& portName = port.find("portName");
    const std::string label =
        portName.children.size() >= 2 ? port.value("portName", "") : port.value("netNameRef", "");
    if (label.empty()) return;
    const AsciiPoint at = readPt(port);
    if (!std::isfinite(at.x) || !std::isfinite(at.y)) return;
    Text t;
    t.x = at.x;
    t.y = at.y;
    t.text = label;
    t.height = detail::toFloat(2.6 * sizeScale);
    t.itemClass = ClassPortLabel;
    const double rotation = toDouble(port.value("rotation", ""), 0);
    const bool backwards = std::fabs(std::fabs(std::fmod(rotation, 360.0)) - 180) <= 0.01;
    if (backwards != port.valueIs("isFlipped", "True")) t.justify = JustifyLowerRight;
    page.texts.push_back(std::move(t));
}

void drawJunction(Page& page, const SExpr& junction, double sizeScale) {
    const AsciiPoint at = readPt(junction);
    if (!std::isfinite(at.x) || !std::isfinite(at.y)) return;
    Circle dot;
    dot.x = at.x;
    dot.y = at.y;
    dot.diameter = detail::toFloat(0.9 * sizeScale);
    dot.width = 0;
    dot.itemClass = ClassJunction;
    dot.filled = 1;
    page.circles.push_back(dot);
}

Page readSheet(const SExpr& sheet, std::size_t position, const DesignTables& tables, Budget& budget) {
    Page page;
    // A sheet without a usable name is named by its position, like "Sheet 2".
    const bool named =
        sheet.children.size() >= 2 && !sheet.children[1].isList && !sheet.children[1].text.empty();
    page.name = named ? sheet.children[1].text : "Sheet " + std::to_string(position + 1);
    page.number = static_cast<std::int32_t>(position + 1);
    page.width = tables.width;
    page.height = tables.height;

    budget.startPage();
    drawTitleSheet(page, tables);
    budget.check(page);

    const Placement identity;
    const double k = tables.sizeScale;
    for (const SExpr& item : sheet.children) {
        if (!item.isList || item.children.empty()) continue;
        const std::string& word = item.children.front().text;
        if (word == "wire") {
            for (const SExpr* line : item.findAll("line")) addLine(page, *line, ClassWire, identity, k);
        } else if (addGraphic(page, word, item, ClassSheetGraphics, identity, k)) {
        } else if (word == "text") {
            addText(page, item, ClassFreeText, tables.styles, identity, 0, std::nullopt, k);
        } else if (word == "junction") {
            drawJunction(page, item, k);
        } else if (word == "port") {
            drawPort(page, item, k);
        } else if (word == "symbol") {
            drawSymbol(page, item, tables);
        } else {
            continue;
        }
        budget.check(page);
    }
    page.buildIndex();
    return page;
}

}  // namespace

std::vector<Page> readAscii(const std::uint8_t* data, std::size_t size) {
    SExprParser parser(data, size);
    SExpr root = parser.parseAll();
    if (root.atom(0, "") != "ACCEL_ASCII") throw std::runtime_error("Not ACCEL_ASCII format");
    const NumberUnit unit = fileUnitOf(root);
    convertUnits(root, parser, unit);

    const SExpr& design = root.find("schematicDesign");
    if (!design.isList) throw std::runtime_error("Missing schematicDesign");
    const DesignTables tables = readDesignTables(root, design, fixedSizeScale(unit));

    const std::vector<const SExpr*> sheets = design.findAll("sheet");
    if (sheets.empty()) throw std::runtime_error("ASCII file has no sheets");
    if (sheets.size() > kMaxSheets) throw std::runtime_error("ASCII file has too many sheets");

    std::vector<Page> pages;
    pages.reserve(sheets.size());
    Budget budget;
    for (std::size_t k = 0; k < sheets.size(); ++k) {
        pages.push_back(readSheet(*sheets[k], k, tables, budget));
        budget.finish(pages.back());
    }
    return pages;
}

}  // namespace pcad
