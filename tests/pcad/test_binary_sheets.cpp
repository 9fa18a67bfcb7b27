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

std::vector<pcad::Page> read(const PcadBinaryBuilder& b) { return pcad::readBinary(b.bytes.data(), b.bytes.size()); }

std::vector<std::string> pageNames(const std::vector<pcad::Page>& pages) {
    std::vector<std::string> names;
    for (const pcad::Page& p : pages) names.push_back(p.name);
    return names;
}

std::string failureOf(const PcadBinaryBuilder& b) {
    try {
        read(b);
    } catch (const std::runtime_error& e) {
        return e.what();
    }
    return "no failure";
}

// Number of lines read from a one-sheet file holding a small line at lineAt.
std::size_t linesRead(std::size_t lineAt, long anchorAt, std::size_t fileSize) {
    PcadBinaryBuilder b = pcadBinaryFile();
    const bool anchorFirst = anchorAt >= 0 && static_cast<std::size_t>(anchorAt) < lineAt;
    if (anchorFirst) b.padTo(static_cast<std::size_t>(anchorAt)).anchor();
    b.padTo(lineAt).shape({.x1 = 1, .y1 = 1, .x2 = 5, .y2 = 1, .rect = {0, 0, 5, 1}});
    if (anchorAt >= 0 && !anchorFirst) b.padTo(static_cast<std::size_t>(anchorAt)).anchor();
    b.padTo(fileSize);
    const auto pages = read(b);
    return pages.at(0).lines.size();
}

}  // namespace

TEST(BinarySheets, SignatureMustStartInTheFirst120Bytes) {
    PcadBinaryBuilder at119;
    at119.fill(119, ' ').magic().fill(40);
    EXPECT_NO_THROW(read(at119));
    PcadBinaryBuilder at120;
    at120.fill(120, ' ').magic().fill(40);
    EXPECT_EQ(failureOf(at120), "Expected P-CAD Binary Rev 5");
    PcadBinaryBuilder cut;
    cut.str("Schematic Binary (Rev 5");
    EXPECT_EQ(failureOf(cut), "Expected P-CAD Binary Rev 5");
    EXPECT_THROW(pcad::readBinary(nullptr, 0), std::runtime_error);
}

TEST(BinarySheets, SignatureAloneGivesOneDefaultPage) {
    const auto pages = read(pcadBinaryFile());
    ASSERT_EQ(pages.size(), 1u);
    EXPECT_EQ(pages[0].name, "Sheet 1");
    EXPECT_EQ(pages[0].number, 1);
    EXPECT_EQ(pages[0].width, 421);
    EXPECT_EQ(pages[0].height, 298);
    EXPECT_TRUE(pages[0].lines.empty());
    EXPECT_TRUE(pages[0].circles.empty());
    EXPECT_TRUE(pages[0].texts.empty());
}

TEST(BinarySheets, PageSizeFromTheFirstPlausibleRectangle) {
    auto sizeOf = [](std::size_t at, std::int32_t top, std::int32_t bottom, std::size_t total) {
        PcadBinaryBuilder b = pcadBinaryFile();
        b.padTo(at).rectTagRaw(top, bottom, 0, 42000000).padTo(total);
        const pcad::Page p = read(b).at(0);
        return std::make_pair(p.width, p.height);
    };
    EXPECT_EQ(sizeOf(40, 29700000, 0, 100), std::make_pair(420.0, 297.0));
    EXPECT_EQ(sizeOf(40, 200100000, 0, 100), std::make_pair(421.0, 298.0));  // top 2001
    EXPECT_EQ(sizeOf(40, 5000000, 0, 100), std::make_pair(420.0, 50.0));     // top 50, bound included
    EXPECT_EQ(sizeOf(40, 29700000, 1, 100), std::make_pair(421.0, 298.0));   // bottom not zero
    EXPECT_EQ(sizeOf(492, 29700000, 0, 600), std::make_pair(420.0, 297.0));
    EXPECT_EQ(sizeOf(493, 29700000, 0, 600), std::make_pair(421.0, 298.0));  // ends at byte 512
    EXPECT_EQ(sizeOf(493, 29700000, 0, 512), std::make_pair(421.0, 298.0));

    // The first plausible rectangle wins.
    PcadBinaryBuilder two = pcadBinaryFile();
    two.rectTagRaw(10000000, 0, 0, 20000000).rectTagRaw(30000000, 0, 0, 40000000).fill(10);
    EXPECT_EQ(read(two).at(0).width, 200);
}

TEST(BinarySheets, SheetRecordsAreValidatedAndTheFirstNumberWins) {
    PcadBinaryBuilder b = pcadBinaryFile();
    b.sheet(2, "Power Supply").sheet(1, "Inputs_A-1", '2', 2).sheet(2, "Duplicate");
    b.sheet(11, "TooHigh").sheet(3, "BadFlag", '0', 3).sheet(4, "Bad.Char");
    b.sheet(5, std::string(65, 'N')).sheet(6, std::string(64, 'S'));
    b.raw({0x2E, 0x30, 0x00, 0x07, 0x00, 0x00}).str("NoTrailer").raw({0x00, 0x01, 0x00, 0x00, 0x0B});
    b.fill(30);
    const auto pages = read(b);
    EXPECT_EQ(pageNames(pages),
              (std::vector<std::string>{"Power Supply", "Inputs_A-1", std::string(64, 'S')}));
    EXPECT_EQ(pages[0].number, 2);
    EXPECT_EQ(pages[1].number, 1);
    EXPECT_EQ(pages[2].number, 6);
    EXPECT_EQ(pages[0].width, 421);

    // A record needs 20 bytes after its name's start; the last one in the file is lost.
    PcadBinaryBuilder tail = pcadBinaryFile();
    tail.sheet(1, "A").sheet(2, "B");
    EXPECT_EQ(pageNames(read(tail)), (std::vector<std::string>{"A"}));
}

TEST(BinarySheets, MainSheetsComeFirstInNumericOrder) {
    PcadBinaryBuilder b = pcadBinaryFile();
    b.sheet(1, "Main10").sheet(3, "Sheet").sheet(2, "Main2").fill(30);
    EXPECT_EQ(pageNames(read(b)), (std::vector<std::string>{"Main2", "Main10", "Sheet"}));

    PcadBinaryBuilder plain = pcadBinaryFile();
    plain.sheet(3, "Three").sheet(1, "One").fill(30);
    EXPECT_EQ(pageNames(read(plain)), (std::vector<std::string>{"Three", "One"}));

    // Any case triggers the sort, but only "Main" itself ranks first.
    PcadBinaryBuilder upper = pcadBinaryFile();
    upper.sheet(3, "Three").sheet(2, "MAIN2").sheet(1, "One").fill(30);
    EXPECT_EQ(pageNames(read(upper)), (std::vector<std::string>{"One", "MAIN2", "Three"}));

    // Digit runs of any length compare by value, leading zeros aside.
    PcadBinaryBuilder huge = pcadBinaryFile();
    huge.sheet(1, "Main99999999999999999999").sheet(2, "Main0003").sheet(3, "Main4294967296")
        .sheet(4, "Main7").fill(30);
    EXPECT_EQ(pageNames(read(huge)), (std::vector<std::string>{"Main0003", "Main7", "Main4294967296",
                                                               "Main99999999999999999999"}));
}

TEST(BinarySheets, MainNameAndOrderRules) {
    EXPECT_TRUE(pcad::isMainSheetName("Main0"));
    EXPECT_FALSE(pcad::isMainSheetName("Main"));
    EXPECT_FALSE(pcad::isMainSheetName("main1"));
    EXPECT_FALSE(pcad::isMainSheetName("Main1a"));
    EXPECT_FALSE(pcad::isMainSheetName("Main 1"));
    const pcad::SheetRecord main9{5, "Main9", 0}, main10{1, "Main10", 0}, other{0, "X", 0};
    EXPECT_TRUE(pcad::sheetRecordLess(main9, main10));
    EXPECT_FALSE(pcad::sheetRecordLess(main10, main9));
    EXPECT_TRUE(pcad::sheetRecordLess(main10, other));
    EXPECT_FALSE(pcad::sheetRecordLess(other, main10));
    EXPECT_FALSE(pcad::sheetRecordLess(pcad::SheetRecord{1, "Main010", 0}, main10));
    EXPECT_TRUE(pcad::sheetRecordLess(pcad::SheetRecord{1, "B", 0}, pcad::SheetRecord{2, "A", 0}));
}

TEST(BinarySheets, AnchorSetsWhereOneSheetFilesAreScanned) {
    // Anchor at 100: scanned from 0.
    EXPECT_EQ(linesRead(24, 100, 400), 1u);
    // Anchor at 1000: scanned from 850.
    EXPECT_EQ(linesRead(849, 1000, 1200), 0u);
    EXPECT_EQ(linesRead(850, 1000, 1200), 1u);
    // No anchor: from 140000 in larger files, from 0 otherwise.
    EXPECT_EQ(linesRead(139999, -1, 200000), 0u);
    EXPECT_EQ(linesRead(140000, -1, 200000), 1u);
    EXPECT_EQ(linesRead(100, -1, 140000), 1u);
}

TEST(BinarySheets, SeveralSheetsAreScannedFromTheStart) {
    PcadBinaryBuilder b = pcadBinaryFile();
    b.padTo(100).sheet(1, "A").sheet(2, "B");
    b.padTo(300).shape({.x1 = 1, .y1 = 1, .x2 = 5, .y2 = 1, .sheet = 2, .rect = {0, 0, 5, 1}});
    b.padTo(5000).anchor().fill(100);
    const auto pages = read(b);
    ASSERT_EQ(pages.size(), 2u);
    EXPECT_TRUE(pages[0].lines.empty());
    EXPECT_EQ(pages[1].lines.size(), 1u);
}
