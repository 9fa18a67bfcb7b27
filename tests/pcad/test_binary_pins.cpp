// Pin lines of binary files and the pin texts that their records hide.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <tuple>
#include <vector>

#include "pcad/binary.h"
#include "support/pcad_binary_builder.h"

using kgtest::PcadBinaryBuilder;

namespace {

kgtest::PcadGraphic at(double x, double y) { return {.x = x, .y = y, .rect = {0, 0, 1, 1}}; }

}  // namespace

TEST(BinaryPins, PinLinesAndTheTextsTheirFlagsHide) {
    PcadBinaryBuilder b = kgtest::pcadBinaryFile();
    b.padTo(40).pin(7.62, 0, false, true, "1", 100, 50);
    b.anchoredText("1", {0, 0, 0}, at(101, 51)).anchoredText("A0", {0, 0, 0}, at(102, 51));
    b.pin(5.715, 900, true, true, "2", 100, 60);
    b.anchoredText("2", {0, 0, 0}, at(101, 61)).anchoredText("A1", {0, 0, 0}, at(102, 61));
    b.pin(2.54, 2250, true, false, "3", 100, 70);
    b.anchoredText("3", {0, 0, 0}, at(101, 71)).anchoredText("A2", {0, 0, 0}, at(102, 71));
    b.pin(0, 0, true, true, "4", 100, 80);  // no length: no pin
    const auto pages = pcad::readBinary(b.bytes.data(), b.bytes.size());
    const pcad::Page& p = pages.at(0);

    std::vector<std::string> texts;
    for (const pcad::Text& t : p.texts) texts.push_back(t.text);
    EXPECT_EQ(texts, (std::vector<std::string>{"A0", "2", "A1", "3"}));

    ASSERT_EQ(p.lines.size(), 3u);
    auto ends = [&](std::size_t k) {
        return std::make_tuple(p.lines[k].x1, p.lines[k].y1, p.lines[k].x2, p.lines[k].y2);
    };
    EXPECT_EQ(ends(0), std::make_tuple(100.0, 50.0, 107.62, 50.0));
    EXPECT_EQ(ends(1), std::make_tuple(100.0, 60.0, 100.0, 65.715));
    EXPECT_NEAR(p.lines[2].x2, 100 - 2.54 / std::sqrt(2.0), 1e-9);
    EXPECT_NEAR(p.lines[2].y2, 70 - 2.54 / std::sqrt(2.0), 1e-9);
    for (const pcad::Line& l : p.lines)
        EXPECT_EQ(std::make_tuple(l.width, l.itemClass), std::make_tuple(0.254f, pcad::ClassSymbolGraphics));
}

// A pin whose record ends closer to the file's start than a pin number may be long.
TEST(BinaryPins, PinRecordNearTheFileStart) {
    PcadBinaryBuilder b = kgtest::pcadBinaryFile();
    b.pin(2.54, 0, true, true, "1", 10, 20);
    const auto pages = pcad::readBinary(b.bytes.data(), b.bytes.size());
    ASSERT_EQ(pages.at(0).lines.size(), 1u);
    EXPECT_EQ(pages[0].lines[0].x2, 12.54);
}
