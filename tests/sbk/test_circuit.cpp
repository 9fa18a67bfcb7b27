// The page reader: pages and header, frame, symbol instances, terminals,
// wires and buses, cell placement, bounding box and drawing order.
#include "sbk/document.h"
#include "sbk/scan.h"
#include "support/sbk_builder.h"

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;
using kgtest::CellBuilder;
using kgtest::CircuitBuilder;
using kgtest::SbkFileBuilder;

sbk::Document load(const SbkFileBuilder& b, size_t page = 0) {
    kgtest::TempFile f(b.bytes(), ".SBK");
    return sbk::loadPage(f.path(), page);
}

sbk::Document loadCircuit(const CircuitBuilder& c, const std::function<void(SbkFileBuilder&)>& cells = {}) {
    SbkFileBuilder b;
    if (cells) cells(b);
    b.addPage(c.bytes());
    return load(b);
}

std::string errorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const std::exception& e) {
        return e.what();
    }
    return "";
}

std::vector<const sbk::Polyline*> onLayer(const sbk::Document& d, uint8_t layer) {
    std::vector<const sbk::Polyline*> out;
    for (const auto& p : d.polylines())
        if (p.layer == layer) out.push_back(&p);
    return out;
}

// A two-point cell line from (0, 0) to (dx, dy).
Bytes lineCell(int32_t dx, int32_t dy, uint8_t tag = 0x80) {
    return CellBuilder().geometry(tag, 8, {0, 0, dx, dy}).bytes();
}

void expectPoint(const sbk::Point& p, double x, double y) {
    EXPECT_DOUBLE_EQ(p.x, x);
    EXPECT_DOUBLE_EQ(p.y, y);
}

TEST(SbkCircuit, PagesAndStreamErrors) {
    SbkFileBuilder none;
    none.addStream("Other", Bytes(200, 0));
    EXPECT_EQ(errorOf([&] { load(none); }), "SBK: no schematic pages found");

    SbkFileBuilder two;
    two.addPage(CircuitBuilder(0xCAFEF00D).bytes());
    CircuitBuilder p2(7);
    p2.pad(10);
    two.addPage(p2.bytes());
    try {
        load(two, 2);
        ADD_FAILURE() << "page 2 of 2 read";
    } catch (const std::out_of_range& e) {
        EXPECT_STREQ(e.what(), "SBK: page index out of range");
    }
    sbk::PageStats st = load(two, 1).stats();
    EXPECT_EQ(st.pageCount, 2u);
    EXPECT_EQ(st.pageIndex, 1u);
    EXPECT_EQ(st.headerWord, 7u);
    EXPECT_EQ(load(two, 0).stats().headerWord, 0xCAFEF00Du);

    SbkFileBuilder shortPage;
    shortPage.addPage(Bytes(127, 0));
    EXPECT_EQ(errorOf([&] { load(shortPage); }), "SBK: Circuit stream truncated");
    SbkFileBuilder empty;
    empty.addPage(Bytes{});
    EXPECT_EQ(errorOf([&] { load(empty); }), "SBK: Circuit stream truncated");
    SbkFileBuilder exact;
    exact.addPage(Bytes(128, 0));
    EXPECT_EQ(load(exact).stats().polylineCount, 0u);

    // Container errors pass through unchanged.
    kgtest::TempFile junk(Bytes(600, 0x41), ".SBK");
    EXPECT_EQ(errorOf([&] { sbk::loadPage(junk.path(), 0); }), "Not an OLE/CFB container");
}

// Writers stop the file at the end of the stream that owns the last sector: a page whose Circuit
// stream ends the file reads as its twin padded to whole sectors; cut inside the stream, it fails.
TEST(SbkCircuit, FileEndingAtTheCircuitsBytes) {
    CircuitBuilder c;
    for (int32_t i = 0; i < 150; ++i) c.wire(5, {{0, 10 * i}, {100 + i, 10 * i}});
    SbkFileBuilder b;
    b.addPage(c.bytes());
    auto img = b.build();
    const auto end = static_cast<size_t>(img.streamEnd("Pages/Page1/Circuit"));
    ASSERT_NE(end % 512, 0u);
    const auto read = [&] {
        kgtest::TempFile f(img.bytes, ".SBK");
        return sbk::loadPage(f.path(), 0);
    };
    const sbk::Document padded = read();
    img.truncate(end);
    const sbk::Document cut = read();
    EXPECT_EQ(cut.stats().wires, 150u);
    ASSERT_EQ(cut.polylines().size(), padded.polylines().size());
    expectPoint(cut.polylines().back().points.back(), 249, 1490);
    img.truncate(end - 1);
    EXPECT_EQ(errorOf([&] { read(); }), "SBK: truncated binary data");
}

TEST(SbkCircuit, FrameAndBoundingBox) {
    CircuitBuilder framed;
    framed.setFrame(-500, 100, 10500, 8600);
    sbk::Document d = loadCircuit(framed);
    EXPECT_TRUE(d.stats().hasFrame);
    sbk::Rect r = d.bounds();
    EXPECT_EQ(r.minX, -565);
    EXPECT_EQ(r.minY, 35);
    EXPECT_EQ(r.maxX, 10565);
    EXPECT_EQ(r.maxY, 8665);

    CircuitBuilder almost;
    almost.setFrame(0, 0, 11000, 8501);
    d = loadCircuit(almost);
    EXPECT_FALSE(d.stats().hasFrame);
    r = d.bounds();
    EXPECT_EQ(r.minX, -1000);
    EXPECT_EQ(r.maxY, 1000);

    almost.wire(5, {{0, 0}, {100, 0}});
    r = loadCircuit(almost).bounds();
    EXPECT_EQ(r.minX, -200);
    EXPECT_EQ(r.minY, -200);
    EXPECT_EQ(r.maxX, 300);
    EXPECT_EQ(r.maxY, 200);

    // A framed page keeps the frame's box whatever it holds.
    framed.wire(5, {{-40000, 0}, {100, 0}});
    r = loadCircuit(framed).bounds();
    EXPECT_EQ(r.minX, -565);
}

TEST(SbkCircuit, FrameCellIsCOrElseD) {
    CircuitBuilder c;
    c.setFrame(1000, 2000, 12000, 10500);
    Bytes frameC = CellBuilder()
                       .geometry(0x80, 8, {0, 0, 11000, 0})
                       .text(7, 50, 60, "TITLE BLOCK")
                       .text(3, 0, 0, "pin")
                       .bytes();
    Bytes frameD = lineCell(0, 8500);

    sbk::Document d = loadCircuit(c, [&](SbkFileBuilder& b) {
        b.addCell("D", frameD);
        b.addCell("c;1", frameC);
    });
    auto frame = onLayer(d, 0);
    ASSERT_EQ(frame.size(), 1u);
    expectPoint(frame[0]->points[0], 1000, 2000);
    expectPoint(frame[0]->points[1], 12000, 2000);
    ASSERT_EQ(d.texts().size(), 1u);
    const sbk::Text& t = d.texts()[0];
    EXPECT_EQ(t.layer, 5);
    EXPECT_EQ(t.text, "TITLE BLOCK");
    EXPECT_EQ(t.x, 1050);
    EXPECT_EQ(t.y, 2060);
    EXPECT_EQ(t.height, 45);
    EXPECT_EQ(t.anchor, 0);

    d = loadCircuit(c, [&](SbkFileBuilder& b) { b.addCell("D", frameD); });
    frame = onLayer(d, 0);
    ASSERT_EQ(frame.size(), 1u);
    expectPoint(frame[0]->points[1], 1000, 10500);

    // A C without a readable stream does not fall back to D.
    d = loadCircuit(c, [&](SbkFileBuilder& b) {
        b.addCell("D", frameD);
        b.addCellName("C");
    });
    EXPECT_TRUE(onLayer(d, 0).empty());

    // Without a frame the frame cell is not drawn.
    CircuitBuilder plain;
    d = loadCircuit(plain, [&](SbkFileBuilder& b) { b.addCell("C", frameC); });
    EXPECT_EQ(d.polylines().size(), 0u);
    EXPECT_EQ(d.texts().size(), 0u);
}

TEST(SbkCircuit, InstanceAcceptance) {
    auto symbols = [](const CircuitBuilder& c) { return loadCircuit(c).stats().symbols; };
    {
        CircuitBuilder c;  // a marker at 43 lies before the smallest possible instance
        c.bytes()[43] = 0x00;
        c.bytes()[44] = 0x01;
        c.bytes()[45] = 0x74;
        EXPECT_EQ(symbols(c), 0u);
        c.bytes()[43] = 0xEE;
        c.bytes()[44] = 0x00;
        c.bytes()[45] = 0x01;
        c.bytes()[46] = 0x74;
        EXPECT_EQ(symbols(c), 1u);
    }
    CircuitBuilder c;
    c.instance("RES", -100000, 100000, 0);
    c.pad(100);
    EXPECT_EQ(symbols(c), 1u);
    CircuitBuilder far;
    far.instance("RES", 100001, 0, 0);
    EXPECT_EQ(symbols(far), 0u);
    for (size_t off : {20, 16, 12, 8}) {
        CircuitBuilder bad;
        size_t V = bad.instance("RES", 0, 0, 0);
        kgtest::setI32(bad.bytes(), V - off, -100001);
        EXPECT_EQ(symbols(bad), 0u) << off;
        kgtest::setI32(bad.bytes(), V - off, -100000);
        EXPECT_EQ(symbols(bad), 1u) << off;
    }
}

TEST(SbkCircuit, FindInstanceName) {
    Bytes d(200, 0xFF);
    const size_t V = 150;
    // Length byte and name ending 44 bytes before the marker.
    d[V - 48] = 3;
    d[V - 47] = 'R';
    d[V - 46] = '1';
    d[V - 45] = '0';
    // An identifier run that would be found otherwise.
    const char* run = "OTHER_NAME";
    std::copy(run, run + 10, d.begin() + (V - 80));
    EXPECT_EQ(sbk::findInstanceName(d, V), "R10");

    // Of two length-prefixed candidates the longer (earlier) one wins; a
    // length byte of 33 is itself printable ('!').
    Bytes e(200, 0xFF);
    const size_t E = V - 44;
    std::fill(e.begin() + (E - 33), e.begin() + E, 'a');
    e[E - 34] = 33;
    e[E - 35] = 'b';
    e[E - 36] = 35;
    EXPECT_EQ(sbk::findInstanceName(e, V), "b!" + std::string(33, 'a'));
    e[E - 35] = 0x7F;  // unprintable: only the inner name remains
    EXPECT_EQ(sbk::findInstanceName(e, V), std::string(33, 'a'));

    // Without a length byte: the last run of 4 or more identifier bytes that
    // begins with a letter.
    d[V - 48] = 0xFF;
    EXPECT_EQ(sbk::findInstanceName(d, V), "OTHER_NAME");
    Bytes f(200, 0xFF);
    auto put = [&](size_t at, const std::string& s) { std::copy(s.begin(), s.end(), f.begin() + at); };
    put(V - 100, "FIRST-1");
    put(V - 70, "9ABC");  // begins with a digit
    put(V - 60, "AB/");   // too short
    EXPECT_EQ(sbk::findInstanceName(f, V), "FIRST-1");
    put(V - 50, "ab/c");
    EXPECT_EQ(sbk::findInstanceName(f, V), "ab/c");
    // The window ends at V - 41 inclusive: a run through it is cut there.
    put(V - 44, "QRSTUVW");
    EXPECT_EQ(sbk::findInstanceName(f, V), "QRST");
    // And begins at V - 104.
    Bytes g(200, 0xFF);
    std::string early = "ABCDEFGH";
    std::copy(early.begin(), early.end(), g.begin() + (V - 107));
    EXPECT_EQ(sbk::findInstanceName(g, V), "DEFGH");

    EXPECT_EQ(sbk::findInstanceName(g, 43), "");
    Bytes small(50, 'A');
    EXPECT_EQ(sbk::findInstanceName(small, 44), "AAAA");  // window 0..3, cut at its end
    EXPECT_EQ(sbk::findInstanceName(small, 500), "");
}

TEST(SbkCircuit, FindMarkers) {
    Bytes d = {0, 1, 0x74, 0, 1, 0x74, 0x74, 0, 1};
    EXPECT_EQ(sbk::findMarkers(d, 0, 1, 0x74, 0, SIZE_MAX), (std::vector<size_t>{0, 3}));
    EXPECT_EQ(sbk::findMarkers(d, 0, 1, 0x74, 1, 5), (std::vector<size_t>{}));
    EXPECT_EQ(sbk::findMarkers(d, 0, 1, 0x74, 1, 6), (std::vector<size_t>{3}));
    Bytes same(5, 7);  // overlapping matches all count
    EXPECT_EQ(sbk::findMarkers(same, 7, 7, 7, 0, SIZE_MAX), (std::vector<size_t>{0, 1, 2}));
}

TEST(SbkCircuit, PlaceCellOrientations) {
    const struct {
        uint32_t orientation;
        double x, y;
    } cases[] = {{0, 110, 220}, {1, 80, 210}, {2, 90, 180},  {3, 120, 190},
                 {4, 90, 220},  {5, 80, 190}, {6, 110, 180}, {7, 120, 210}};
    for (const auto& c : cases) {
        sbk::Document d;
        std::vector<sbk::CellPrimitive> prims(1);
        prims[0].shape = 1;
        prims[0].tag = 0x83;
        prims[0].points = {{10, 20}, {0, 0}, {-5, 0}};
        d.placeCell(prims, 3, {100, 200}, c.orientation);
        ASSERT_EQ(d.polylines().size(), 1u);
        const sbk::Polyline& p = d.polylines()[0];
        SCOPED_TRACE(c.orientation);
        expectPoint(p.points[0], c.x, c.y);
        expectPoint(p.points[1], 100, 200);
        EXPECT_EQ(p.shape, 1);
        EXPECT_EQ(p.style, 0x83);
        EXPECT_EQ(p.layer, 3);
    }
}

TEST(SbkCircuit, SymbolsArePlacedFromTheirCells) {
    CircuitBuilder c;
    c.instance("res", 1000, 2000, 1);  // found case-insensitively
    c.pad(60);
    c.instance("NOCELL", 0, 0, 0);  // counted, but nothing to draw
    c.pad(60);
    c.instance("UNREAD", 0, 0, 0);
    c.pad(60);
    sbk::Document d = loadCircuit(c, [&](SbkFileBuilder& b) {
        b.addCell(
            "RES",
            CellBuilder().geometry(0x81, 8, {0, 0, 100, 0}).geometry(0x82, 48, {-10, -10, 10, 10}).bytes());
        b.addCellName("UNREAD");
    });
    EXPECT_EQ(d.stats().symbols, 3u);
    auto sym = onLayer(d, 3);
    ASSERT_EQ(sym.size(), 2u);
    expectPoint(sym[0]->points[1], 1000, 2100);  // a quarter turn
    EXPECT_EQ(sym[0]->style, 0x81);
    EXPECT_EQ(sym[1]->shape, 2);
    // Only the loaded symbol has a "?" reference.
    ASSERT_EQ(d.texts().size(), 1u);
    EXPECT_EQ(d.texts()[0].text, "?");
}

TEST(SbkCircuit, WiresAndBuses) {
    CircuitBuilder c;
    std::vector<std::pair<int32_t, int32_t>> p64(64, {1, 1}), p65(65, {2, 2}), p256(256, {3, 3}),
        p257(257, {4, 4});
    c.wire(5, {{-50000, 50000}, {0, 0}});
    c.wire(6, p64);  // back to back with the first
    c.pad(5);
    c.wire(9, p65);
    c.pad(5);
    c.wire(7, {{0, 0}, {1, 1}});  // no wire style
    c.pad(5);
    c.wire(10, {{0, 0}, {50001, 0}});
    c.pad(5);
    c.wire(10, {{0, 0}});
    c.pad(5);
    c.bus(5, p256);
    c.pad(5);
    c.bus(6, p257);
    c.pad(5);
    c.bus(9, {{1, 2}, {3, 4}});
    c.pad(5);
    sbk::Document d = loadCircuit(c);
    auto wires = onLayer(d, 1);
    ASSERT_EQ(wires.size(), 2u);
    EXPECT_EQ(d.stats().wires, 2u);
    EXPECT_EQ(wires[0]->style, 5);
    expectPoint(wires[0]->points[0], -50000, 50000);
    EXPECT_EQ(wires[1]->points.size(), 64u);
    EXPECT_EQ(wires[1]->style, 6);
    auto buses = onLayer(d, 2);
    ASSERT_EQ(buses.size(), 2u);
    EXPECT_EQ(buses[0]->points.size(), 256u);
    EXPECT_EQ(buses[1]->style, 9);
    // Wires come before buses.
    EXPECT_EQ(d.polylines()[0].layer, 1);
    EXPECT_EQ(d.polylines().back().layer, 2);
}

TEST(SbkCircuit, WireInsideAWireIsNotRead) {
    // The bytes a wire does not read (offsets 4..7) hold another wire head
    // whose count is the outer wire's first x.
    CircuitBuilder c;
    size_t R = c.wire(5, {{2, 0}, {30, 40}, {50, 60}});
    c.bytes()[R + 4] = 6;
    c.bytes()[R + 5] = 0x04;
    c.bytes()[R + 6] = 0x0C;
    c.bytes()[R + 7] = 0x00;
    c.pad(8);
    sbk::Document d = loadCircuit(c);
    ASSERT_EQ(d.stats().wires, 1u);
    EXPECT_EQ(d.polylines()[0].points.size(), 3u);
    // With the outer head broken the inner wire is found.
    c.bytes()[R] = 7;
    d = loadCircuit(c);
    ASSERT_EQ(d.stats().wires, 1u);
    EXPECT_EQ(d.polylines()[0].style, 6);
    expectPoint(d.polylines()[0].points[0], 0, 30);
}

TEST(SbkCircuit, Terminals) {
    Bytes gnd = lineCell(0, -50, 0x84);
    Bytes rw =
        CellBuilder().geometry(0x80, 8, {0, 0, 10, 0}).text(7, 5, 6, "RW").text(7, 7, 8, "TERM").bytes();
    auto withCells = [&](SbkFileBuilder& b) {
        b.addCell("R;1", lineCell(100, 0));
        b.addCell("GND;1", gnd);
        b.addCell("RWTERM", rw);
        b.addCell("CON_HIER_IN", gnd);
        b.addCell("vcc_p", gnd);  // not the exact name: no terminal cell
        b.addCellName("Erde");    // a terminal cell without a stream
    };

    CircuitBuilder c;
    c.pad(100);
    size_t W = c.terminal("GND", 300, 400, 2);
    c.text(8, 1000, 5, "far");  // |x| not below 1000: passed over
    c.text(8, 10, -20, "0V");
    c.pad(100);
    c.terminal("RWTERM", 500, 600, 0);
    c.pad(200);
    c.terminal("RWTERM", 700, 800, 0);
    c.text(8, 1, 2, "LBL");
    c.pad(200);
    c.terminal("CON_HIER_IN", 50000, -50000, 0);
    c.pad(200);
    c.terminal("VCC_p", 0, 0, 0);
    c.pad(200);
    c.terminal("Erde", 0, 0, 0);
    c.pad(200);
    c.terminal("CON_HIER_IN", 50001, 0, 0);
    c.pad(200);
    sbk::Document d = loadCircuit(c, withCells);
    EXPECT_GE(W, 100u);
    EXPECT_EQ(d.stats().terminals, 5u);  // GND, RWTERM twice, CON_HIER_IN, Erde
    auto geo = onLayer(d, 4);
    ASSERT_EQ(geo.size(), 4u);
    expectPoint(geo[0]->points[1], 300, 450);  // two quarter turns
    EXPECT_EQ(geo[0]->style, 0x84);
    expectPoint(geo[3]->points[0], 50000, -50000);

    std::vector<const sbk::Text*> labels;
    for (const auto& t : d.texts())
        if (t.layer == 6) labels.push_back(&t);
    ASSERT_EQ(labels.size(), 4u);
    EXPECT_EQ(labels[0]->text, "0V");
    EXPECT_EQ(labels[0]->x, 310);  // unrotated
    EXPECT_EQ(labels[0]->y, 380);
    EXPECT_EQ(labels[0]->height, 35);
    EXPECT_EQ(labels[1]->text, "RW");
    EXPECT_EQ(labels[1]->x, 505);
    EXPECT_EQ(labels[1]->height, 28);
    EXPECT_EQ(labels[2]->text, "TERM");
    EXPECT_EQ(labels[3]->text, "LBL");  // a labelled RWTERM shows only its label
    EXPECT_EQ(labels[3]->height, 35);
}

TEST(SbkCircuit, TerminalMarkerPlacementRules) {
    auto cells = [](SbkFileBuilder& b) { b.addCell("GND", lineCell(0, -50)); };
    {
        // W = 99: never a terminal.
        CircuitBuilder c;
        c.pad(60);
        c.terminalAt(99, "GND", 0, 0, 0);
        EXPECT_EQ(loadCircuit(c, cells).stats().terminals, 0u);
        CircuitBuilder c100;
        c100.pad(60);
        c100.terminalAt(100, "GND", 0, 0, 0);
        EXPECT_EQ(loadCircuit(c100, cells).stats().terminals, 1u);
    }
    {
        // A terminal marker 27 bytes before an accepted instance marker.
        CircuitBuilder c;
        c.pad(100);
        size_t V = c.instance("XX", 0, 0, 0);
        CircuitBuilder probe = c;
        probe.terminalAt(V - 27, "GND", 0, 0, 0);
        probe.pad(50);
        sbk::PageStats st = loadCircuit(probe, cells).stats();
        EXPECT_EQ(st.symbols, 1u);
        EXPECT_EQ(st.terminals, 0u);
        // Once the instance is rejected the terminal is found.
        kgtest::setI32(probe.bytes(), V - 8, 200000);
        st = loadCircuit(probe, cells).stats();
        EXPECT_EQ(st.symbols, 0u);
        EXPECT_EQ(st.terminals, 1u);
    }
    {
        // Exact names only: GND in the stream, gnd in the table.
        CircuitBuilder c;
        c.pad(100);
        c.terminal("GND", 0, 0, 0);
        c.pad(50);
        sbk::Document d = loadCircuit(c, [](SbkFileBuilder& b) { b.addCell("gnd", lineCell(0, -50)); });
        EXPECT_EQ(d.stats().terminals, 0u);
    }
    {
        // A label beyond 160 bytes, past the next marker, or too far out is none.
        CircuitBuilder c;
        c.pad(100);
        c.terminal("GND", 0, 0, 0);
        c.pad(150);
        c.text(8, 1, 1, "late");
        c.pad(50);
        c.terminal("GND", 0, 0, 0);
        c.text(6, 999, -999, "near");
        c.pad(100);
        c.terminal("GND", 0, 0, 0);
        c.text(6, 0, 1000, "off");
        c.pad(30);
        sbk::Document d = loadCircuit(c, cells);
        EXPECT_EQ(d.stats().terminals, 3u);
        std::vector<std::string> labels;
        for (const auto& t : d.texts())
            if (t.layer == 6) labels.push_back(t.text);
        EXPECT_EQ(labels, (std::vector<std::string>{"near"}));
    }
}

TEST(SbkCircuit, DrawingOrder) {
    CircuitBuilder c;
    c.setFrame(0, 0, 11000, 8500);
    c.pad(20);
    size_t V = c.instance("SYM", 100, 100, 0);
    c.text(15, 0, 0, "J1");
    c.text(7, 5, 5, "note");  // annotation, before the wires: no title
    c.pad(60);
    c.terminal("GND", 0, 0, 0);
    c.text(8, 0, 0, "gnd");
    c.pad(30);
    c.bus(5, {{0, 0}, {10, 10}});
    c.wire(5, {{0, 0}, {10, 0}});
    c.text(9, 1, 1, "Title");
    EXPECT_LT(V, c.size());
    sbk::Document d = loadCircuit(c, [](SbkFileBuilder& b) {
        b.addCell("SYM", CellBuilder().geometry(0x80, 8, {0, 0, 1, 1}).text(3, 0, 0, "A").bytes());
        b.addCell("GND", lineCell(0, -1));
        b.addCell("C", CellBuilder().geometry(0x80, 8, {0, 0, 11000, 0}).text(7, 0, 0, "Frame").bytes());
    });
    std::vector<int> layers;
    for (const auto& p : d.polylines()) layers.push_back(p.layer);
    EXPECT_EQ(layers, (std::vector<int>{1, 2, 0, 4, 3}));
    std::vector<std::string> texts;
    for (const auto& t : d.texts()) texts.push_back(t.text);
    EXPECT_EQ(texts, (std::vector<std::string>{"note", "Title", "Frame", "gnd", "A", "J1"}));
    sbk::PageStats st = d.stats();
    EXPECT_EQ(st.polylineCount, 5u);
    EXPECT_EQ(st.textCount, 6u);
    EXPECT_EQ(st.cellNames, 3u);
    EXPECT_EQ(st.cellsLoaded, 3u);
    // The index is built: a query finds the wire.
    EXPECT_EQ(d.query({0, -1, 10, 1}, 1u << 1), (std::vector<uint32_t>{0}));
}

}  // namespace
