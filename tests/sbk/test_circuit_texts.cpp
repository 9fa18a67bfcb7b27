// Texts of a page: annotations, titles, symbol texts and the ranges of the
// Circuit stream that belong to each symbol instance.
#include "sbk/document.h"
#include "sbk/scan.h"
#include "support/sbk_builder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;
using kgtest::CellBuilder;
using kgtest::CircuitBuilder;
using kgtest::SbkFileBuilder;

enum : uint8_t {
    kPortLabels = 6,
    kRefs = 7,
    kValues = 8,
    kPinNames = 9,
    kPinNumbers = 10,
    kTitles = 11,
    kAnnotations = 12
};

Bytes symbolCell() {
    return CellBuilder()
        .geometry(0x80, 8, {0, 0, 100, 0})
        .text(3, 80, 10, "IN")
        .text(3, 81, -10, "OUT")
        .text(7, 0, 0, "cell fixed text")
        .bytes();
}

sbk::Document load(const CircuitBuilder& c, Bytes cell = symbolCell(), const std::string& name = "SYM") {
    SbkFileBuilder b;
    b.addCell(name, cell);
    b.addPage(c.bytes());
    kgtest::TempFile f(b.bytes(), ".SBK");
    return sbk::loadPage(f.path(), 0);
}

std::vector<const sbk::Text*> onLayer(const sbk::Document& d, uint8_t layer) {
    std::vector<const sbk::Text*> out;
    for (const auto& t : d.texts())
        if (t.layer == layer) out.push_back(&t);
    return out;
}

std::vector<std::string> textsOn(const sbk::Document& d, uint8_t layer) {
    std::vector<std::string> out;
    for (const auto* t : onLayer(d, layer)) out.push_back(t->text);
    return out;
}

void expectText(const sbk::Text* t, const std::string& text, double x, double y, double height,
                int anchor = 0) {
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->text, text);
    EXPECT_DOUBLE_EQ(t->x, x);
    EXPECT_DOUBLE_EQ(t->y, y);
    EXPECT_DOUBLE_EQ(t->height, height);
    EXPECT_EQ(t->anchor, anchor);
}

TEST(SbkCircuitTexts, AnnotationsFollowTheLastInstanceWithin600Bytes) {
    CircuitBuilder c;
    c.text(19, 1, 1, "before any instance");
    size_t V = c.instance("NOCELL", 1000, 2000, 3);  // rotation does not apply
    c.padTo(V + 600);
    c.text(7, 10, -20, "at 600");
    size_t V2 = c.instance("NOCELL", -500, 0, 0);
    c.padTo(V2 + 601);
    c.text(19, 0, 0, "at 601");
    // A wire after all texts: none of them is a title.
    c.wire(5, {{0, 0}, {1, 0}});
    sbk::Document d = load(c);
    auto notes = onLayer(d, kAnnotations);
    ASSERT_EQ(notes.size(), 1u);
    expectText(notes[0], "at 600", 1010, 1980, 30);
    EXPECT_TRUE(onLayer(d, kTitles).empty());
}

TEST(SbkCircuitTexts, TitlesStartAtTheEndOfTheLastWireOrBus) {
    CircuitBuilder c;
    for (uint8_t kind : {6, 7, 9, 19, 8, 15}) c.text(kind, kind, -kind, "k" + std::to_string(kind));
    sbk::Document d = load(c);
    EXPECT_EQ(textsOn(d, kTitles), (std::vector<std::string>{"k6", "k7", "k9", "k19"}));
    expectText(onLayer(d, kTitles)[1], "k7", 7, -7, 50);

    CircuitBuilder w;
    w.text(9, 0, 0, "before");
    w.bus(5, {{0, 0}, {0, 9}});
    w.text(9, 0, 0, "between");
    w.wire(6, {{0, 0}, {9, 0}});
    w.text(9, 0, 0, "after");  // starts exactly where the wire ends
    EXPECT_EQ(textsOn(load(w), kTitles), (std::vector<std::string>{"after"}));
}

TEST(SbkCircuitTexts, AnnotationThatIsAlsoATitleIsAddedTwice) {
    CircuitBuilder c;
    c.instance("SYM", 100, 100, 0);
    c.text(15, 0, 50, "R1");
    c.text(7, 5, 5, "note");
    sbk::Document d = load(c);
    std::vector<std::string> all;
    for (const auto& t : d.texts()) all.push_back(t.text);
    EXPECT_EQ(all, (std::vector<std::string>{"note", "note", "R1"}));
    EXPECT_EQ(d.texts()[0].layer, kAnnotations);
    EXPECT_EQ(d.texts()[1].layer, kTitles);
}

TEST(SbkCircuitTexts, SymbolTextsAndThePinRule) {
    for (const char* ref : {"J5", "ICX", "STOP", "CON2", "j5", "X1", "I"}) {
        CircuitBuilder c;
        c.instance("SYM", 1000, 2000, 0);
        c.text(4, 1, 2, "7");
        c.text(15, 3, 4, ref);
        c.text(5, 5, 6, "10k");
        c.wire(5, {{0, 0}, {1, 0}});
        sbk::Document d = load(c);
        const std::string r = ref;
        const bool pins = r == "J5" || r == "ICX" || r == "STOP" || r == "CON2";
        SCOPED_TRACE(r);
        EXPECT_EQ(onLayer(d, kPinNames).size(), pins ? 2u : 0u);
        auto numbers = onLayer(d, kPinNumbers);
        ASSERT_EQ(numbers.size(), pins ? 1u : 0u);
        if (pins) expectText(numbers[0], "7", 1001, 2002, 24);
        auto refs = onLayer(d, kRefs);
        ASSERT_EQ(refs.size(), 1u);
        expectText(refs[0], r, 1003, 2004, 45);
        auto values = onLayer(d, kValues);
        ASSERT_EQ(values.size(), 1u);
        expectText(values[0], "10k", 1005, 2006, 35);
    }
}

TEST(SbkCircuitTexts, PinNamesTurnWithTheSymbolAndAnchorByRawX) {
    // Mirrored and a quarter turn: (px, py) -> (-py, -px).
    CircuitBuilder c;
    c.instance("SYM", 1000, 2000, 5);
    c.text(15, 0, 0, "IC1");
    c.wire(5, {{0, 0}, {1, 0}});
    sbk::Document d = load(c);
    auto pins = onLayer(d, kPinNames);
    ASSERT_EQ(pins.size(), 2u);
    expectText(pins[0], "IN", 990, 1920, 32, 0);    // raw x 80: anchored at its start
    expectText(pins[1], "OUT", 1010, 1919, 32, 1);  // raw x 81: at its end
    // The cell's fixed texts are not symbol texts.
    for (const auto& t : d.texts()) EXPECT_NE(t.text, "cell fixed text");
    // Pin names come before the instance's own texts.
    EXPECT_EQ(d.texts()[0].text, "IN");
    EXPECT_EQ(d.texts()[2].text, "IC1");
}

TEST(SbkCircuitTexts, ReferencesAndTheMissingReference) {
    CircuitBuilder c;
    c.instance("SYM", 100, 200, 2);
    c.text(15, 1, 1, "U1");
    c.text(15, 2, 2, "U1B");
    c.pad(100);
    c.instance("SYM", 300, 400, 0);
    c.text(5, 0, 0, "1u");
    c.wire(5, {{0, 0}, {1, 0}});
    sbk::Document d = load(c);
    auto refs = onLayer(d, kRefs);
    ASSERT_EQ(refs.size(), 3u);
    expectText(refs[0], "U1", 101, 201, 45);
    expectText(refs[1], "U1B", 102, 202, 45);
    expectText(refs[2], "?", 300, 470, 45);
    // The "?" follows the instance's own texts.
    EXPECT_EQ(d.texts().back().text, "?");
    EXPECT_EQ(d.texts()[d.texts().size() - 2].text, "1u");
}

TEST(SbkCircuitTexts, InstanceRangesEndFortyBytesBeforeTheNextMarker) {
    {
        // The next instance's marker 140 bytes on: the range ends 40 before
        // it, and a record that would end past that is nobody's.
        CircuitBuilder c;
        size_t V = c.instance("SYM", 0, 0, 0);
        c.text(15, 0, 0, "A1");
        size_t V2 = V + 200;
        c.padTo(V2 - 40 - 19 - 5);
        c.text(5, 0, 0, "straddles");  // ends 4 bytes past V2 - 40
        c.instanceAt(V2, "SYM", 0, 0, 0);
        c.text(5, 0, 0, "B's value");
        c.wire(5, {{0, 0}, {1, 0}});
        sbk::Document d = load(c);
        EXPECT_EQ(textsOn(d, kRefs), (std::vector<std::string>{"A1", "?"}));
        EXPECT_EQ(textsOn(d, kValues), (std::vector<std::string>{"B's value"}));
    }
    {
        // Markers at 500 and 530: 530 - 40 is not past 500, so the first
        // range runs to the end of the stream, past the (rejected) second marker.
        CircuitBuilder c;
        c.instanceAt(500, "SYM", 0, 0, 0);
        c.padTo(530);
        c.raw({0x00, 0x01, 0x74});
        c.text(5, 0, 0, "late value");
        c.wire(5, {{0, 0}, {1, 0}});
        sbk::Document d = load(c);
        EXPECT_EQ(d.stats().symbols, 1u);
        EXPECT_EQ(textsOn(d, kValues), (std::vector<std::string>{"late value"}));
        // With the second marker at 541 the range ends at 501.
        CircuitBuilder e;
        e.instanceAt(500, "SYM", 0, 0, 0);
        e.padTo(541);
        e.raw({0x00, 0x01, 0x74});
        e.text(5, 0, 0, "late value");
        e.wire(5, {{0, 0}, {1, 0}});
        EXPECT_TRUE(textsOn(load(e), kValues).empty());
    }
    {
        // Two accepted instances 27 bytes apart (the second one's fields lie
        // around the first one's marker; its name comes from the identifier
        // run before them): both ranges run to the end, so the later texts
        // show at both.
        CircuitBuilder c;
        c.instanceAt(500, "SYMB", 0, 0, 0);
        const size_t V2 = 527;
        c.padTo(V2);
        c.raw({0x00, 0x01, 0x74});
        kgtest::setI32(c.bytes(), V2 - 36,
                       1024);  // low byte 0: it is also the top byte of a field of the first
        kgtest::setI32(c.bytes(), V2 - 32, 0);
        for (size_t off : {20, 16, 12, 8}) kgtest::setI32(c.bytes(), V2 - off, 0);
        c.text(15, 0, 0, "shared");
        c.wire(5, {{0, 0}, {1, 0}});
        sbk::Document d = load(c, symbolCell(), "SYMB");
        ASSERT_EQ(d.stats().symbols, 2u);
        auto refs = onLayer(d, kRefs);
        ASSERT_EQ(refs.size(), 2u);
        expectText(refs[0], "shared", 0, 0, 45);
        expectText(refs[1], "shared", 1024, 0, 45);
    }
}

// Texts that take more bytes in UTF-8 than the whole stream holds (each byte
// here takes three) come out whole, the last ones as well as the first.
TEST(SbkCircuitTexts, TextsLongerInUtf8ThanTheStreamComeOutWhole) {
    const auto stored = [](int i) { return std::string(150, '\x80') + std::to_string(i); };
    std::string euros;
    for (int k = 0; k < 150; ++k) euros += "\xE2\x82\xAC";
    constexpr int kCount = 200;
    CircuitBuilder c;
    for (int i = 0; i < kCount; ++i) {
        c.instance("SYM", i, 0, 0);
        c.text(5, 0, 0, stored(i));
    }
    c.wire(5, {{0, 0}, {1, 0}});
    for (int i = 0; i < kCount; ++i) c.text(9, 0, 0, stored(i));
    ASSERT_LT(c.size(), kCount * euros.size());
    sbk::Document d = load(c);
    const std::vector<std::string> values = textsOn(d, kValues), titles = textsOn(d, kTitles);
    ASSERT_EQ(values.size(), size_t{kCount});
    ASSERT_EQ(titles.size(), size_t{kCount});
    for (int i = 0; i < kCount; ++i) {
        EXPECT_EQ(values[i], euros + std::to_string(i));
        EXPECT_EQ(titles[i], euros + std::to_string(i));
    }
}

TEST(SbkCircuitTexts, HostilePagesAreBounded) {
    // Instance markers 27 bytes apart with zeros around them are all
    // accepted, find the cell with the empty name, and each one's range runs
    // to the end of the stream: every value after them belongs to all of them.
    CircuitBuilder c;
    for (int i = 0; i < 2500; ++i) {
        c.raw({0x00, 0x01, 0x74});
        c.pad(24);
    }
    for (int i = 0; i < 500; ++i) c.text(5, 0, 0, "v");
    c.wire(5, {{0, 0}, {1, 0}});
    sbk::Document d = load(c, CellBuilder().geometry(0x80, 8, {0, 0, 1, 1}).bytes(), ";");
    const sbk::PageStats st = d.stats();
    EXPECT_EQ(st.symbols, 2500u);
    EXPECT_EQ(st.polylineCount, 2501u);
    EXPECT_EQ(st.textCount, sbk::kMaxPageTexts);
    EXPECT_EQ(d.texts().back().text, "v");
}

}  // namespace
