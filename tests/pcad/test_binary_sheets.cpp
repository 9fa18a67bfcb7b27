// Frame of the binary reader: signature, page size, sheet list and order, scan start.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "pcad/binary.h"
#include "support/pcad_binary_builder.h"

using kgtest::PcadBinaryBuilder;
using kgtest::pcadBinaryFile;

namespace {

std::vector<pcad::Page> read(const PcadBinaryBuilder& b) {
    return pcad::readBinary(b.bytes.data(), b.bytes.size());
}

std::vector<std::string> pageNames(const PcadBinaryBuilder& b) {
    std::vector<std::string> names;
    for (const pcad::Page& p : read(b)) names.push_back(p.name);
    return names;
}

// Lines read from a one-sheet file holding a small line at lineAt and maybe the anchor.
std::size_t linesRead(std::size_t lineAt, long anchorAt, std::size_t fileSize) {
    PcadBinaryBuilder b = pcadBinaryFile();
    const bool anchorFirst = anchorAt >= 0 && static_cast<std::size_t>(anchorAt) < lineAt;
    if (anchorFirst) b.padTo(static_cast<std::size_t>(anchorAt)).anchor();
    b.padTo(lineAt).shape({.x1 = 1, .y1 = 1, .x2 = 5, .y2 = 1, .rect = {0, 0, 5, 1}});
    if (anchorAt >= 0 && !anchorFirst) b.padTo(static_cast<std::size_t>(anchorAt)).anchor();
    return read(b.padTo(fileSize)).at(0).lines.size();
}

}  // namespace

TEST(BinarySheets, SignatureAndDefaultPage) {
    PcadBinaryBuilder at119, at120;
    at119.fill(119, ' ').magic();
    at120.fill(120, ' ').magic().fill(40);
    const auto pages = read(at119);
    ASSERT_EQ(pages.size(), 1u);
    EXPECT_EQ(pages[0].name, "Sheet 1");
    EXPECT_EQ(pages[0].number, 1);
    EXPECT_EQ(pages[0].width, 421);
    EXPECT_EQ(pages[0].height, 298);
    EXPECT_TRUE(pages[0].lines.empty() && pages[0].circles.empty() && pages[0].texts.empty());
    try {
        read(at120);
        FAIL();
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Expected P-CAD Binary Rev 5");
    }
    EXPECT_THROW(pcad::readBinary(nullptr, 0), std::runtime_error);
}

TEST(BinarySheets, PageSizeFromTheFirstPlausibleRectangle) {
    auto sizeOf = [](std::size_t at, std::int32_t top, std::int32_t bottom, std::size_t total) {
        PcadBinaryBuilder b = pcadBinaryFile();
        b.padTo(at).rectTagRaw(top, bottom, 0, 42000000).padTo(total);
        const pcad::Page p = read(b).at(0);
        return std::make_pair(p.width, p.height);
    };
    const auto fallback = std::make_pair(421.0, 298.0);
    EXPECT_EQ(sizeOf(40, 29700000, 0, 100), std::make_pair(420.0, 297.0));
    EXPECT_EQ(sizeOf(40, 200100000, 0, 100), fallback);  // top 2001
    EXPECT_EQ(sizeOf(40, 5000000, 0, 100), std::make_pair(420.0, 50.0));
    EXPECT_EQ(sizeOf(40, 29700000, 1, 100), fallback);  // bottom not zero
    EXPECT_EQ(sizeOf(492, 29700000, 0, 600), std::make_pair(420.0, 297.0));
    EXPECT_EQ(sizeOf(493, 29700000, 0, 600), fallback);  // would end at byte 512
}

TEST(BinarySheets, SheetRecordsAreValidatedAndTheFirstNumberWins) {
    PcadBinaryBuilder b = pcadBinaryFile();
    b.sheet(2, "Power Supply").sheet(1, "Inputs_A-1", '2', 2).sheet(2, "Duplicate");
    b.sheet(11, "TooHigh").sheet(3, "BadFlag", '0', 3).sheet(4, "Bad.Char");
    b.sheet(5, std::string(65, 'N')).sheet(6, std::string(64, 'S'));
    b.raw({0x2E, 0x30, 0x00, 0x07, 0x00, 0x00}).str("Trailer").raw({0x00, 0x01, 0x00, 0x00, 0x0B}).fill(30);
    const auto pages = read(b);
    ASSERT_EQ(pages.size(), 3u);
    EXPECT_EQ(pages[0].name, "Power Supply");
    EXPECT_EQ(pages[0].number, 2);
    EXPECT_EQ(pages[1].name, "Inputs_A-1");
    EXPECT_EQ(pages[1].number, 1);
    EXPECT_EQ(pages[2].name, std::string(64, 'S'));

    // A record needs 20 bytes after the start of its name.
    PcadBinaryBuilder tail = pcadBinaryFile();
    tail.sheet(1, "A").sheet(2, "B");
    EXPECT_EQ(pageNames(tail), (std::vector<std::string>{"A"}));
}

TEST(BinarySheets, MainSheetsComeFirstInNumericOrder) {
    PcadBinaryBuilder b = pcadBinaryFile();
    b.sheet(1, "Main10").sheet(3, "Sheet").sheet(2, "Main2").fill(30);
    EXPECT_EQ(pageNames(b), (std::vector<std::string>{"Main2", "Main10", "Sheet"}));

    PcadBinaryBuilder plain = pcadBinaryFile();
    plain.sheet(3, "Three").sheet(1, "One").fill(30);
    EXPECT_EQ(pageNames(plain), (std::vector<std::string>{"Three", "One"}));

    // Any case triggers the sort, but only "Main" itself ranks first.
    PcadBinaryBuilder upper = pcadBinaryFile();
    upper.sheet(3, "Three").sheet(2, "MAIN2").sheet(1, "One").fill(30);
    EXPECT_EQ(pageNames(upper), (std::vector<std::string>{"One", "MAIN2", "Three"}));

    // Digit runs of any length compare by value; equal values keep file order.
    PcadBinaryBuilder huge = pcadBinaryFile();
    huge.sheet(1, "Main99999999999999999999").sheet(2, "Main0003").sheet(3, "Main4294967296");
    huge.sheet(4, "Main7").sheet(5, "Main3").fill(30);
    EXPECT_EQ(pageNames(huge), (std::vector<std::string>{"Main0003", "Main3", "Main7", "Main4294967296",
                                                         "Main99999999999999999999"}));
    EXPECT_FALSE(pcad::isMainSheetName("Main"));
    EXPECT_FALSE(pcad::isMainSheetName("Main1a"));
}

TEST(BinarySheets, AnchorSetsWhereScansStart) {
    EXPECT_EQ(linesRead(24, 100, 400), 1u);     // anchor at 100: from 0
    EXPECT_EQ(linesRead(849, 1000, 1200), 0u);  // anchor at 1000: from 850
    EXPECT_EQ(linesRead(850, 1000, 1200), 1u);
    EXPECT_EQ(linesRead(24, -1, 200000), 1u);  // no anchor, whatever the size: from 0
    EXPECT_EQ(linesRead(139999, -1, 200000), 1u);
    EXPECT_EQ(linesRead(140000, -1, 200000), 1u);
    EXPECT_EQ(linesRead(100, -1, 140000), 1u);

    // With several sheets the shape scan starts at 0 whatever the anchor says.
    PcadBinaryBuilder b = pcadBinaryFile();
    b.padTo(100).sheet(1, "A").sheet(2, "B");
    b.padTo(300).shape({.x1 = 1, .y1 = 1, .x2 = 5, .y2 = 1, .sheet = 2, .rect = {0, 0, 5, 1}});
    b.padTo(5000).anchor().fill(100);
    EXPECT_EQ(read(b).at(1).lines.size(), 1u);
}

TEST(BinarySheets, LaterFormSheetRecordsSplitThePages) {
    // Two sheets of the later form, no anchor, past 140000 bytes: each page holds its own
    // items from the start of the file on, and texts take their styles' heights.
    PcadBinaryBuilder b = pcadBinaryFile();
    b.padTo(200).sheetSized(1, "Sheet1", 1).font(1, "Arial", 180000).named(5, "Default");
    b.padTo(1000).sheetSized(2, "Sheet2");
    b.shape({.x1 = 10, .y1 = 10, .x2 = 60, .y2 = 10, .sheet = 1, .rect = {0, 0, 1, 1}});
    b.shape({.x1 = 10, .y1 = 10, .x2 = 10, .y2 = 90, .sheet = 2, .rect = {0, 0, 1, 1}});
    b.shape({.x1 = 5, .y1 = 5, .x2 = 6, .y2 = 6, .sheet = 0, .rect = {0, 0, 1, 1}});  // on every sheet
    b.anchoredText("R1", {0, 0, 5}, {.x = 20, .y = 12, .sheet = 1, .rect = {0, 0, 1, 1}});
    b.anchoredText("R2", {0, 0, 5}, {.x = 12, .y = 50, .sheet = 2, .rect = {0, 0, 1, 1}});
    b.padTo(200000);
    const auto pages = read(b);
    ASSERT_EQ(pages.size(), 2u);
    for (int k = 0; k < 2; ++k) {
        EXPECT_EQ(pages[k].name, k == 0 ? "Sheet1" : "Sheet2");
        EXPECT_EQ(pages[k].number, k + 1);
        ASSERT_EQ(pages[k].lines.size(), 2u);
        EXPECT_EQ(pages[k].lines[1].itemClass, pcad::ClassFrame);
        ASSERT_EQ(pages[k].texts.size(), 1u);
        EXPECT_EQ(pages[k].texts[0].text, k == 0 ? "R1" : "R2");
        EXPECT_EQ(pages[k].texts[0].height, 1.8f);
    }
    EXPECT_EQ(pages[1].lines[0].y2, 90);

    // Each form needs its own trailer.
    PcadBinaryBuilder mixed = pcadBinaryFile();
    mixed.sheet(1, "Long", '3').raw({0x2E, 0x30, 0x00, 0x02, 0x00, 0x00}).str("Short");
    mixed.raw({0x00, 0x01, 0x01, 0x00}).fill(30);
    EXPECT_EQ(pageNames(mixed), (std::vector<std::string>{"Sheet 1"}));
}

TEST(BinarySheets, SizedSheetRecordsOfAnyNameLength) {
    PcadBinaryBuilder b = pcadBinaryFile();
    b.padTo(100).sheetSized(1, "VLSI", 1).sheetSized(2, "Discrete").sheetSized(3, "ZX-BUS");
    b.sheetSized(4, "Power", 0, 1);
    // The length byte must be the name's length plus 45.
    b.raw({0x2E, 0x34, 0x00, 0x05, 0x00, 0x00}).str("Bad").raw({0x00, 0x01, 0x01, 0x00}).fill(60);
    EXPECT_EQ(pageNames(b), (std::vector<std::string>{"VLSI", "Discrete", "ZX-BUS", "Power"}));

    PcadBinaryBuilder one = pcadBinaryFile();
    one.sheetSized(1, "Main board", 1, 1).fill(30);
    EXPECT_EQ(pageNames(one), (std::vector<std::string>{"Main board"}));
}
