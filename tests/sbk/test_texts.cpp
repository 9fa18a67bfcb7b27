// Text records: what the scanner accepts, how it trims, and its range bounds.
#include "sbk/scan.h"
#include "support/sbk_builder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;
constexpr size_t kEnd = std::numeric_limits<size_t>::max();

Bytes withPadding(const Bytes& record, size_t before = 3, size_t after = 3) {
    Bytes b(before, 0xEE);
    b.insert(b.end(), record.begin(), record.end());
    b.insert(b.end(), after, 0xEE);
    return b;
}

std::vector<sbk::TextRecord> scanOne(const Bytes& record, std::vector<int> kinds = {7}) {
    return sbk::scanTexts(withPadding(record), kinds, 0, kEnd);
}

TEST(SbkTexts, ReadsOffsetKindPositionAndText) {
    Bytes data = withPadding(kgtest::sbkTextRecord(7, -20000, 20000, "Hello"), 5);
    auto recs = sbk::scanTexts(data, {3, 7}, 0, kEnd);
    ASSERT_EQ(recs.size(), 1u);
    EXPECT_EQ(recs[0].offset, 5u);
    EXPECT_EQ(recs[0].kind, 7u);
    EXPECT_EQ(recs[0].x, -20000);
    EXPECT_EQ(recs[0].y, 20000);
    EXPECT_EQ(recs[0].text, "Hello");
    // Another kind list does not see it.
    EXPECT_TRUE(sbk::scanTexts(data, {3, 6}, 0, kEnd).empty());
}

TEST(SbkTexts, RejectsImplausibleLengthAndPosition) {
    EXPECT_TRUE(scanOne(kgtest::sbkTextRecord(7, 0, 0, "abc", 0)).empty());
    std::string long161(161, 'a');
    EXPECT_TRUE(scanOne(kgtest::sbkTextRecord(7, 0, 0, long161)).empty());
    std::string long160(160, 'a');
    EXPECT_EQ(scanOne(kgtest::sbkTextRecord(7, 0, 0, long160)).size(), 1u);
    EXPECT_TRUE(scanOne(kgtest::sbkTextRecord(7, 20001, 0, "abc")).empty());
    EXPECT_TRUE(scanOne(kgtest::sbkTextRecord(7, 0, -20001, "abc")).empty());
    EXPECT_TRUE(scanOne(kgtest::sbkTextRecord(7, std::numeric_limits<int32_t>::min(), 0, "abc")).empty());
}

TEST(SbkTexts, TextMustEndInsideTheScan) {
    Bytes rec = kgtest::sbkTextRecord(7, 0, 0, "abcd");
    // Ends exactly at the data's end: taken; one byte short: not.
    EXPECT_EQ(sbk::scanTexts(rec, {7}, 0, kEnd).size(), 1u);
    Bytes cut(rec.begin(), rec.end() - 1);
    EXPECT_TRUE(sbk::scanTexts(cut, {7}, 0, kEnd).empty());
    // The scan's own end bounds the text too.
    Bytes data = withPadding(rec, 10, 10);
    EXPECT_EQ(sbk::scanTexts(data, {7}, 0, 10 + rec.size()).size(), 1u);
    EXPECT_TRUE(sbk::scanTexts(data, {7}, 0, 10 + rec.size() - 1).empty());
    // A head before start is not looked at.
    EXPECT_TRUE(sbk::scanTexts(data, {7}, 11, kEnd).empty());
    EXPECT_EQ(sbk::scanTexts(data, {7}, 10, kEnd).size(), 1u);
    // Degenerate ranges.
    EXPECT_TRUE(sbk::scanTexts(data, {7}, kEnd, kEnd).empty());
    EXPECT_TRUE(sbk::scanTexts(Bytes(18, 0), {0}, 0, kEnd).empty());
    EXPECT_TRUE(sbk::scanTexts(data, {7}, 20, 5).empty());
}

TEST(SbkTexts, PrintabilityAllowsTwoPercentOfOtherBytes) {
    std::string t49(49, 'x');
    t49[10] = '\x01';
    EXPECT_TRUE(scanOne(kgtest::sbkTextRecord(7, 0, 0, t49)).empty());
    std::string t50(50, 'x');
    t50[10] = '\x01';
    auto r = scanOne(kgtest::sbkTextRecord(7, 0, 0, t50));
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].text, t50);  // the control byte stays in the text
    std::string t100(100, 'x');
    t100[1] = t100[2] = '\x7F';
    EXPECT_EQ(scanOne(kgtest::sbkTextRecord(7, 0, 0, t100)).size(), 1u);
    t100[3] = '\x1F';
    EXPECT_TRUE(scanOne(kgtest::sbkTextRecord(7, 0, 0, t100)).empty());
}

TEST(SbkTexts, TrimsTrailingWhitespaceOnly) {
    EXPECT_TRUE(scanOne(kgtest::sbkTextRecord(7, 0, 0, "    ")).empty());
    auto r = scanOne(kgtest::sbkTextRecord(7, 0, 0, "  Title   "));
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].text, "  Title");
    // CR and LF count as other bytes: 150 bytes tolerate them.
    std::string withCrLf(148, 'y');
    withCrLf += "\r\n";
    r = scanOne(kgtest::sbkTextRecord(7, 0, 0, withCrLf));
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].text, std::string(148, 'y'));
    // 0xA0 is no whitespace in the "C" locale: kept, decoded to U+00A0.
    r = scanOne(kgtest::sbkTextRecord(7, 0, 0, "Ohm\xA0"));
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].text, "Ohm\xC2\xA0");
    // Windows-1252 text becomes UTF-8.
    r = scanOne(kgtest::sbkTextRecord(7, 0, 0, "\x80 5"));
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].text, "\xE2\x82\xAC 5");
}

TEST(SbkTexts, HeadsInsideAcceptedRecordsAreExaminedToo) {
    // An inner record made of printable bytes but for its 00 01 kind head,
    // inside the 160-byte text of an outer one (which tolerates 3 others).
    Bytes inner = kgtest::sbkTextRecord(9, -20000, -20000, std::string(40, 'i'));
    std::fill(inner.begin() + 3, inner.begin() + 10, 'f');
    Bytes data = kgtest::sbkTextRecord(7, 0, 0, std::string(160, 'a'));
    std::copy(inner.begin(), inner.end(), data.begin() + 19 + 20);
    auto recs = sbk::scanTexts(data, {7, 9}, 0, kEnd);
    ASSERT_EQ(recs.size(), 2u);
    EXPECT_EQ(recs[0].offset, 0u);
    EXPECT_EQ(recs[1].offset, 39u);
    EXPECT_EQ(recs[1].kind, 9u);
    EXPECT_EQ(recs[1].text, std::string(40, 'i'));
    // Back-to-back records are both found, in offset order.
    Bytes two = kgtest::sbkTextRecord(7, 1, 1, "one");
    Bytes second = kgtest::sbkTextRecord(19, 2, 2, "two");
    two.insert(two.end(), second.begin(), second.end());
    recs = sbk::scanTexts(two, {7, 19}, 0, kEnd);
    ASSERT_EQ(recs.size(), 2u);
    EXPECT_EQ(recs[0].text, "one");
    EXPECT_EQ(recs[1].offset, 22u);
    EXPECT_EQ(recs[1].kind, 19u);
}

}  // namespace
