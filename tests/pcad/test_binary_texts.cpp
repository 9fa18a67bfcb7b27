// Style heights, text records, title-block classes, boxes and net labels of binary files.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <tuple>
#include <vector>

#include "pcad/binary.h"
#include "pcad/svg.h"
#include "support/pcad_binary_builder.h"
#include "tests/pcad/page_grid_access.h"

using kgtest::PcadBinaryBuilder;
using kgtest::pcadBinaryFile;
using kgtest::PcadGraphic;

namespace {

std::vector<pcad::Page> read(const PcadBinaryBuilder& b) {
    return pcad::readBinary(b.bytes.data(), b.bytes.size());
}

std::unordered_map<std::int32_t, float> styles(const PcadBinaryBuilder& b, std::size_t limit) {
    return pcad::readStyleHeights(pcad::ByteSpan{b.bytes.data(), b.bytes.size()}, limit);
}

PcadGraphic at(double x, double y, kgtest::PcadRect rect = {0, 0, 0.01, 0.01}) {
    return PcadGraphic{.x = x, .y = y, .rect = rect};
}

const pcad::Text* findText(const pcad::Page& page, const std::string& s) {
    for (const pcad::Text& t : page.texts)
        if (t.text == s) return &t;
    return nullptr;
}

}  // namespace

TEST(BinaryStyles, FontNearestBeforeTheStyleNameGivesItsHeight) {
    PcadBinaryBuilder b;
    b.padTo(1000).font(1, "Arial", 250000).padTo(1180).named(7, "Seven").padTo(1400);
    EXPECT_EQ(styles(b, 5000), (std::unordered_map<std::int32_t, float>{{7, 2.5f}}));

    PcadBinaryBuilder far;
    far.padTo(1000).font(1, "Arial", 250000).padTo(1181).named(7, "Seven").padTo(1400);
    EXPECT_TRUE(styles(far, 5000).empty());

    // The higher kind wins over a nearer font of the lower kind; among equals the nearer.
    PcadBinaryBuilder kinds;
    kinds.padTo(900).font(1, "Big", 350000).padTo(1000).font(0, "Small", 200000);
    kinds.padTo(1050).named(3, "Three").padTo(1300).font(0, "A", 100000).padTo(1330).font(0, "B", 110000);
    kinds.padTo(1360).named(4, "Four").padTo(1500);
    EXPECT_EQ(styles(kinds, 5000), (std::unordered_map<std::int32_t, float>{{3, 3.5f}, {4, 1.1f}}));

    // Nothing at or past the limit is read.
    EXPECT_EQ(styles(kinds, 1050 + 11), (std::unordered_map<std::int32_t, float>{{3, 3.5f}}));
    EXPECT_TRUE(styles(kinds, 1050 + 10).empty());
    EXPECT_TRUE(styles(kinds, 0).empty());
}

TEST(BinaryStyles, ImplausibleFontsAndNamesAreSkipped) {
    PcadBinaryBuilder b;
    b.padTo(100).font(1, "Low", 39999).padTo(150).named(1, "One");
    b.padTo(400).font(1, "High", 3000001).padTo(450).named(2, "Two");
    b.padTo(700).font(1, "Min", 40000).padTo(750).named(3, "Three");
    b.padTo(1000).font(0, "Max", 3000000).padTo(1050).named(4, "Four");
    b.padTo(1300).font(1, "", 200000).padTo(1350).named(5, "Five");      // empty font name
    b.padTo(1600).font(1, "F", 200000).padTo(1650).named(6, "Bad\x01");  // control byte
    b.named(5001, "Id").named(0, "Tab\tLf\n").named(8, "abc");
    b.padTo(1900).font(1, "G", 300000).named(8, "Again");  // a later record replaces
    b.padTo(2100);
    const auto s = styles(b, 5000);
    EXPECT_EQ(s, (std::unordered_map<std::int32_t, float>{{3, 0.4f}, {4, 30.0f}, {0, 2.0f}, {8, 3.0f}}));
}

TEST(BinaryTexts, FieldsOfTheTextRecord) {
    PcadBinaryBuilder b = pcadBinaryFile();
    b.padTo(40).rectTagRaw(29700000, 0, 0, 42000000).fill(10);  // page 420 by 297
    b.anchoredText("Rot1800", {1800, 9, 7}, at(200, 150));
    b.anchoredText("Rot900", {900}, at(200, 150));
    b.anchoredText("Rot3601", {3601}, at(200, 150));
    b.anchoredText("Rot3602", {3602}, at(200, 150));
    b.anchoredText("Rot1801", {1801, 3}, at(200, 150));
    b.anchoredText(std::string(240, 'x'), {}, at(200, 150));
    b.anchoredText(std::string(241, 'y'), {}, at(200, 150));
    b.anchoredText("Tab\there", {}, at(200, 150));
    b.anchoredText("Bell\x07", {}, at(200, 150));
    b.anchoredText("ab", {}, at(200, 150));  // record too short
    b.textRecord("Flag0", {0}).graphic(at(200, 150));
    b.textRecord("GapGap", {0}).fill(1).graphic({.x = 200, .y = 150, .anchorFlag = 1, .rect = {0, 0, 1, 1}});
    b.anchoredText("\xC0\xFF\xB9", {0, 0}, at(200, 150));
    b.u8(0x0E)
        .u16(8)
        .str("NoNulHer")
        .graphic({.x = 1, .y = 1, .anchorFlag = 1, .rect = {0, 0, 1, 1}});  // whole record is text
    const auto pages = read(b);
    const pcad::Page& p = pages.at(0);
    ASSERT_EQ(p.width, 420);

    std::vector<std::string> names;
    for (const pcad::Text& t : p.texts) names.push_back(t.text);
    EXPECT_EQ(names,
              (std::vector<std::string>{"Rot1800", "Rot900", "Rot3601", "Rot3602", "Rot1801",
                                        std::string(240, 'x'), "Tab\there", "А\xD1\x8F№", "NoNulHer"}));

    // rotation, justification, height, class, box
    auto fields = [&](std::size_t i) {
        const pcad::Text& t = p.texts.at(i);
        return std::make_tuple(t.rotation, int(t.justify), t.height, int(t.itemClass), int(t.hasBox));
    };
    EXPECT_EQ(fields(0),
              std::make_tuple(0.0f, 6, 3.0f, int(pcad::ClassFreeText), 0));  // no styles below the anchor
    EXPECT_EQ(fields(1), std::make_tuple(90.0f, 0, 3.0f, int(pcad::ClassFreeText), 0));
    EXPECT_EQ(p.texts[2].rotation, 360.1f);
    EXPECT_EQ(p.texts[3].rotation, 0.0f);
    EXPECT_EQ(fields(4), std::make_tuple(180.1f, 3, 3.0f, int(pcad::ClassFreeText), 0));
    EXPECT_EQ(p.texts[0].x, 200);
    EXPECT_EQ(p.texts[0].y, 150);
    EXPECT_EQ(p.texts.back().itemClass, pcad::ClassTitleText);
}

TEST(BinaryTexts, TitleBlockClassBoxAndPlacement) {
    PcadBinaryBuilder b = pcadBinaryFile();
    b.padTo(40).rectTagRaw(29700000, 0, 0, 42000000).fill(10);
    b.anchoredText("x19.9", {0, 0}, at(19.9, 150));
    b.anchoredText("x20", {0, 0}, at(20, 150));
    b.anchoredText("x395.1", {0, 0}, at(395.1, 150));
    b.anchoredText("x395", {0, 0}, at(395, 150));
    b.anchoredText("y34.9", {0, 0}, at(200, 34.9));
    b.anchoredText("y35", {0, 0}, at(200, 35));
    b.anchoredText("y282.1", {0, 0}, at(200, 282.1));
    b.anchoredText("y282", {0, 0}, at(200, 282));
    b.anchoredText("left-10", {0, 0}, at(-10, 150));
    b.anchoredText("left-10.01", {0, 0}, at(-10.01, 150));
    b.anchoredText("top307", {0, 0}, at(200, 307));
    b.anchoredText("box", {0, 0}, at(200, 150, {199.97, 149, 200.03, 152}));
    b.anchoredText("thin", {0, 0}, at(200, 150, {0, 149, 0.05, 152}));
    b.anchoredText("narrow", {0, 0}, at(200, 150, {0, 149, 0.06, 152}));
    b.anchoredText("far", {0, 0}, at(200, 150, {-1000.5, 149, 200, 152}));
    const auto pages = read(b);
    const pcad::Page& p = pages.at(0);
    std::vector<std::string> title, free;
    for (const pcad::Text& t : p.texts)
        (t.itemClass == pcad::ClassTitleText ? title : free).push_back(t.text);
    EXPECT_EQ(title, (std::vector<std::string>{"x19.9", "x395.1", "y34.9", "y282.1", "left-10", "top307"}));
    EXPECT_EQ(free, (std::vector<std::string>{"x20", "x395", "y35", "y282", "box", "thin", "narrow", "far"}));

    const pcad::Text* box = findText(p, "box");
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->hasBox, 1);
    EXPECT_EQ(std::make_tuple(box->boxX0, box->boxY0, box->boxX1, box->boxY1),
              std::make_tuple(199.97, 149.0, 200.03, 152.0));
    EXPECT_EQ(findText(p, "thin")->hasBox, 0);
    EXPECT_EQ(findText(p, "narrow")->hasBox, 1);
    EXPECT_EQ(findText(p, "far")->hasBox, 0);
}

TEST(BinaryTexts, StyleHeightsApplyBelowTheAnchor) {
    // One sheet: styles come from below the anchor offset, texts from above it.
    PcadBinaryBuilder b = pcadBinaryFile();
    b.padTo(1000).font(1, "Arial", 250000).padTo(1100).named(7, "Seven");
    b.padTo(2000).anchoredText("early", {0, 0, 7}, at(200, 150));
    b.padTo(3150).anchor();
    b.anchoredText("styled", {0, 0, 7}, at(200, 150));
    b.anchoredText("unknown", {0, 0, 8}, at(200, 150));
    const auto pages = read(b);
    ASSERT_EQ(pages.at(0).texts.size(), 2u);
    EXPECT_EQ(pages[0].texts[0].text, "styled");
    EXPECT_EQ(pages[0].texts[0].height, 2.5f);
    EXPECT_EQ(pages[0].texts[1].height, 3.0f);

    // Without the anchor styles are read as widely as for several sheets.
    PcadBinaryBuilder none = pcadBinaryFile();
    none.padTo(1000).font(1, "Arial", 250000).padTo(1100).named(7, "Seven");
    none.padTo(2000).anchoredText("plain", {0, 0, 7}, at(200, 150)).padTo(100000);
    EXPECT_EQ(read(none).at(0).texts.at(0).height, 2.5f);
}

TEST(BinaryTexts, SeveralSheetsReadStylesWidelyButTextsOnlyAfterTheAnchor) {
    PcadBinaryBuilder b = pcadBinaryFile();
    b.padTo(100).sheet(1, "One").sheet(2, "Two");
    b.padTo(1000).font(0, "Arial", 180000).padTo(1100).named(7, "Seven");
    b.padTo(2000).anchoredText("before", {0, 0, 7}, {.x = 100, .y = 100, .sheet = 2, .rect = {0, 0, 1, 1}});
    b.padTo(5150).anchor();
    b.anchoredText("after", {0, 0, 7}, {.x = 100, .y = 100, .sheet = 2, .rect = {0, 0, 1, 1}});
    b.anchoredText("nosheet", {}, {.x = 100, .y = 100, .sheet = 9, .rect = {0, 0, 1, 1}});
    b.padTo(9000).font(1, "Late", 400000).padTo(9100).named(9, "Nine");  // past the anchor: still read
    b.anchoredText("late", {0, 0, 9}, {.x = 100, .y = 100, .sheet = 1, .rect = {0, 0, 1, 1}});
    const auto pages = read(b);
    ASSERT_EQ(pages.size(), 2u);
    ASSERT_EQ(pages[1].texts.size(), 1u);
    EXPECT_EQ(pages[1].texts[0].text, "after");
    EXPECT_EQ(pages[1].texts[0].height, 1.8f);
    ASSERT_EQ(pages[0].texts.size(), 1u);
    EXPECT_EQ(pages[0].texts[0].height, 4.0f);
}

TEST(BinaryTexts, NetLabelsFromNamedRecordsNearTheAnchor) {
    // Anchor at 5150: anchor offset 5000, net names read from 2000 to 13500.
    PcadBinaryBuilder b = pcadBinaryFile();
    b.padTo(1990).named(5, "Outside");
    b.padTo(2500).named(200, "NET200").named(201, "NET201").named(0, "Zero").named(6, "Ctl\x01");
    b.named(7, "First").named(7, "Second");
    b.padTo(5150).anchor();
    b.netRef(200).graphic(at(10, 20));
    b.netRef(201).graphic(at(30, 20));
    b.netRef(5).graphic(at(40, 20));
    b.netRef(77).graphic(at(50, 20));
    b.netRef(6).graphic(at(60, 20));
    b.netRef(7).graphic(at(70, 20));
    b.padTo(13480).named(9, "Edge").padTo(14000);
    const auto pages = read(b);
    const auto& t = pages.at(0).texts;
    ASSERT_EQ(t.size(), 2u);
    EXPECT_EQ(t[0].text, "NET200");
    EXPECT_EQ(
        std::make_tuple(t[0].x, t[0].y, t[0].height, t[0].rotation, int(t[0].justify), int(t[0].hasBox)),
        std::make_tuple(11.0, 21.5, 2.8f, 0.0f, 0, 0));
    EXPECT_EQ(t[0].itemClass, pcad::ClassPortLabel);
    EXPECT_EQ(t[1].text, "Second");
}

TEST(BinaryTexts, NoLabelFromAStyleNameNorWithoutTheAnchor) {
    // Anchor near the start: the label window is the first 8500 bytes, where style names
    // (named records close behind a font) stand beside the net names.
    auto labels = [](bool withAnchor) {
        PcadBinaryBuilder b = pcadBinaryFile();
        if (withAnchor) b.anchor();
        b.padTo(1000).font(0, "Russian", 250000).named(3, "Russian [12]");
        b.padTo(1200).font(1, "Arial", 250000).padTo(1380).named(4, "H6.00W0.25");
        b.padTo(2000).named(5, "GND");
        for (std::uint16_t id : {3, 4, 5}) b.netRef(id).graphic(at(10.0 * id, 20));
        b.padTo(150000);
        std::vector<std::string> out;
        const auto pages = read(b);
        for (const pcad::Text& t : pages.at(0).texts) out.push_back(t.text);
        return out;
    };
    EXPECT_EQ(labels(true), (std::vector<std::string>{"GND"}));
    EXPECT_TRUE(labels(false).empty());
}

TEST(BinaryPage, WholePageIsIndexedAndDrawn) {
    PcadBinaryBuilder b = pcadBinaryFile();
    b.padTo(40).rectTagRaw(29700000, 0, 0, 42000000).fill(10).anchor();  // net labels need it
    b.shape({.x1 = 100, .y1 = 100, .x2 = 200, .y2 = 100, .rect = {0, 0, 1, 1}});
    b.shape({.x1 = 50, .y1 = 50, .x2 = 50, .y2 = 50, .rect = {49, 49, 51, 51}});
    b.junctionMark().graphic(at(100, 100, {0, 0, 1, 1}));
    b.padTo(600).named(3, "GND").netRef(3).graphic(at(150, 100));
    b.anchoredText("R1 <10k>", {0, 0}, at(120, 120, {119, 119, 130, 122}));
    const auto pages = read(b);
    const pcad::Page& p = pages.at(0);
    EXPECT_EQ(p.lines.size(), 1u);
    EXPECT_EQ(p.circles.size(), 2u);
    EXPECT_EQ(p.texts.size(), 2u);
    EXPECT_EQ(p.items.size(), 5u);
    EXPECT_GT(pcad::PageGridAccess::cols(p), 0);

    const std::string svg = pcad::renderSvg(p, 2, false);
    auto count = [&](const std::string& what) {
        std::size_t n = 0;
        for (std::size_t at = svg.find(what); at != std::string::npos; at = svg.find(what, at + 1)) ++n;
        return n;
    };
    EXPECT_EQ(count("<path"), 1u);
    EXPECT_EQ(count("<circle"), 2u);
    EXPECT_EQ(count("<text"), 2u);
    EXPECT_NE(svg.find("R1 &lt;10k&gt;"), std::string::npos);
    EXPECT_NE(svg.find(">GND<"), std::string::npos);
    if (const char* out = std::getenv("KG_SVG_OUT")) {
        std::ofstream(std::string(out) + "/pcad_binary_page.svg", std::ios::binary) << svg;
    }
}

TEST(BinaryTexts, PortLabelsFromMarkedNetNamesWithoutTheAnchor) {
    PcadBinaryBuilder b = pcadBinaryFile();
    b.padTo(100).netName(3, "GND").named(4, "R12").netName(3, "Later").netName(0, "Zero");
    b.netName(5, "VCC").raw({0x22, 0x00, 0x01}).named(6, "Unmarked");
    b.padTo(400).netRef(3).graphic(at(10, 20, {9, 19, 16, 22}));
    b.netRef(5).graphic(at(30, 20));  // too small an outline: beside the point
    for (std::uint16_t id : {0, 4, 6}) b.netRef(id).graphic(at(40, 20, {39, 19, 46, 22}));
    const auto pages = read(b);
    const auto& t = pages.at(0).texts;
    ASSERT_EQ(t.size(), 2u);
    auto label = [&](std::size_t k) {
        return std::make_tuple(t[k].text, t[k].x, t[k].y, int(t[k].hasBox), t[k].height, int(t[k].itemClass));
    };
    EXPECT_EQ(label(0), std::make_tuple("GND", 10.0, 20.0, 1, 2.8f, int(pcad::ClassPortLabel)));
    EXPECT_EQ(std::make_tuple(t[0].boxX0, t[0].boxY0, t[0].boxX1, t[0].boxY1),
              std::make_tuple(9.0, 19.0, 16.0, 22.0));
    EXPECT_EQ(label(1), std::make_tuple("VCC", 31.0, 21.5, 0, 2.8f, int(pcad::ClassPortLabel)));
}

TEST(BinaryTexts, LineBreaksBecomeLineFeeds) {
    PcadBinaryBuilder b = pcadBinaryFile();
    b.padTo(40).anchoredText("First\r\nSecond\nThird", {0, 0}, at(200, 150));
    EXPECT_EQ(read(b).at(0).texts.at(0).text, "First\nSecond\nThird");
}
