// Tests of the shared helpers: case folding, code pages, UTF-8, numbers, files and SVG pieces.
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <limits>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "common/ascii.h"
#include "common/bytes.h"
#include "common/cp1251.h"
#include "common/file.h"
#include "common/number.h"
#include "common/svg.h"
#include "common/utf8.h"

namespace {

TEST(CommonUtf8, EncodesEveryLengthAndRefusesBadPaths) {
    std::string out;
    for (std::uint32_t cp : {0x7Fu, 0x80u, 0x7FFu, 0x800u, 0xD800u, 0xFFFFu, 0x10000u, 0x10FFFFu})
        common::appendUtf8(out, cp);
    EXPECT_EQ(out,
              "\x7F\xC2\x80\xDF\xBF\xE0\xA0\x80\xED\xA0\x80\xEF\xBF\xBF\xF0\x90\x80\x80\xF4\x8F\xBF\xBF");
    EXPECT_EQ(common::utf8ToUtf16("a\xF0\x9F\x98\x80"), (std::u16string{u'a', 0xD83D, 0xDE00}));
    for (const char* bad : {"\x80", "\xC0\x80", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xE2\x82"})
        EXPECT_FALSE(common::utf8ToUtf16(bad)) << bad;
    EXPECT_EQ(common::codePoints(out), 8u);
    EXPECT_EQ(common::codePoints("a\xC3\xA9\x80"), 2u);  // a stray continuation byte adds none
}

TEST(CommonFile, ReadsWholeFilesWithinLimitsAndReportsEveryFailure) {
    const auto dir = std::filesystem::temp_directory_path() / "kg_common_file";
    std::filesystem::create_directories(dir);
    const std::string path = dir.string() + "/\xD0\xA1\xD1\x85\xD0\xB5\xD0\xBC\xD0\xB0.bin";
    ASSERT_EQ(common::writeFile(path, std::string("a\0b\nlonger", 10)), common::WriteStatus::Ok);
    ASSERT_EQ(common::writeFile(path, std::string("a\0b\n", 4)), common::WriteStatus::Ok);  // replaced

    std::vector<std::uint8_t> bytes;
    EXPECT_EQ(common::readFile(path, bytes), common::ReadStatus::Ok);
    EXPECT_EQ(bytes, (std::vector<std::uint8_t>{'a', 0, 'b', '\n'}));
    EXPECT_EQ(common::readFile(path, bytes, 4, 4), common::ReadStatus::Ok);
    EXPECT_EQ(common::readFile(path, bytes, 5), common::ReadStatus::BadSize);
    EXPECT_TRUE(bytes.empty());
    EXPECT_EQ(common::readFile(path, bytes, 0, 3), common::ReadStatus::BadSize);

    EXPECT_EQ(common::readFile(dir.string() + "/missing", bytes), common::ReadStatus::CannotOpen);
    EXPECT_EQ(common::readFile(path + std::string(1, '\0') + "x", bytes), common::ReadStatus::CannotOpen);
    EXPECT_EQ(common::readFile(dir.string() + "/\xFF", bytes), common::ReadStatus::BadPath);
    EXPECT_EQ(common::writeFile(dir.string() + "/\xC0\x80", "x"), common::WriteStatus::BadPath);
    EXPECT_EQ(common::writeFile(dir.string() + "/missing/x", "x"), common::WriteStatus::CannotCreate);
#ifndef _WIN32
    // A full disk must not pass for success.
    if (std::filesystem::exists("/dev/full")) {
        EXPECT_EQ(common::writeFile("/dev/full", std::string(1 << 16, 'x')),
                  common::WriteStatus::WriteFailed);
    }
#endif
    std::filesystem::remove_all(dir);
}

TEST(CommonBytes, LittleEndianLoadsAndBoundsWithoutOverflow) {
    const std::uint8_t b[8] = {0x01, 0x02, 0x03, 0x84, 0x05, 0x06, 0x07, 0x88};
    EXPECT_EQ(common::loadLe16(b), 0x0201u);
    EXPECT_EQ(common::loadLe32(b), 0x84030201u);
    EXPECT_EQ(common::loadLe64(b), 0x8807060584030201ull);
    EXPECT_TRUE(common::fits(6, 2, 8));
    EXPECT_FALSE(common::fits(7, 2, 8));
    EXPECT_FALSE(common::fits(9, 0, 8));
    EXPECT_FALSE(common::fits(2, std::numeric_limits<std::uint64_t>::max(), 8));
}

TEST(CommonAscii, FoldsOnlyLetters) {
    EXPECT_EQ(common::asciiLowerCase("AbZ@[\xC4"), "abz@[\xC4");
    EXPECT_EQ(common::asciiUpperCase("az{`\xE4"), "AZ{`\xE4");
    EXPECT_TRUE(common::equalsIgnoringAsciiCase("FileHeader", "FILEHEADER"));
    EXPECT_FALSE(common::equalsIgnoringAsciiCase("@", "`"));  // 0x40 and 0x60 differ by the case bit only
    EXPECT_FALSE(common::equalsIgnoringAsciiCase("\xC4", "\xE4"));
    EXPECT_FALSE(common::equalsIgnoringAsciiCase("ab", "abc"));
}

TEST(CommonAscii, PlainPrefixAcrossWordBoundaries) {
    // The first high byte at every place around the eight-byte steps; a decoder that copies
    // plain runs must still give each high byte its own code point.
    for (std::size_t n = 0; n < 20; ++n) {
        std::string s(n, 'x');
        EXPECT_EQ(common::asciiPrefix(s), n);
        s += "\xC0yz";
        EXPECT_EQ(common::asciiPrefix(s), n);
        std::string decoded;
        common::appendCp1251(decoded, s + s, common::cp1251Table(0xFFFF));
        const std::string one = std::string(n, 'x') + "\xD0\x90yz";
        EXPECT_EQ(decoded, one + one);
    }
}

TEST(CommonNumber, ReadsAsTheCLocaleAndReportsRangeErrors) {
    const auto scan = [](const char* text, double& v, std::size_t& end) {
        return common::scanReal(text, v, end);
    };
    double v = 7;
    std::size_t end = 99;
    EXPECT_EQ(scan("", v, end), common::RealScan::None);
    EXPECT_EQ(scan("--1", v, end), common::RealScan::None);
    EXPECT_EQ(scan(" .e1", v, end), common::RealScan::None);
    EXPECT_EQ(v, 7);
    EXPECT_EQ(end, 99u);
    EXPECT_EQ(scan(" \t-1.5e3xyz", v, end), common::RealScan::Ok);
    EXPECT_EQ(v, -1500);
    EXPECT_EQ(end, 8u);
    EXPECT_EQ(scan("0x1p4", v, end), common::RealScan::Ok);
    EXPECT_EQ(v, 16);
    EXPECT_EQ(scan("0xg", v, end), common::RealScan::Ok);
    EXPECT_EQ(end, 1u);
    EXPECT_EQ(scan("-1e999", v, end), common::RealScan::Overflow);
    EXPECT_EQ(v, -HUGE_VAL);
    EXPECT_EQ(scan("-1e-999", v, end), common::RealScan::Underflow);
    EXPECT_TRUE(v == 0 && std::signbit(v));
    EXPECT_EQ(scan("1e-310", v, end), common::RealScan::Underflow);
    EXPECT_GT(v, 0);
    EXPECT_EQ(scan("0x1p-1070", v, end), common::RealScan::Ok);  // exact, so no range error

    // Neither the reading nor the writing of numbers follows the process locale.
    const char* old = std::setlocale(LC_ALL, nullptr);
    const std::string saved = old ? old : "C";
    if (std::setlocale(LC_ALL, "de_DE.UTF-8") || std::setlocale(LC_ALL, "fr_FR.UTF-8")) {
        EXPECT_EQ(scan("1,5", v, end), common::RealScan::Ok);
        EXPECT_EQ(v, 1);
        EXPECT_EQ(scan("1.5", v, end), common::RealScan::Ok);
        EXPECT_EQ(v, 1.5);
        std::string text;
        common::appendFixed3(text, 1.5);
        EXPECT_EQ(text, "1.500");
    }
    std::setlocale(LC_ALL, saved.c_str());
}

TEST(CommonNumber, PlainAndOtherIntegers) {
    for (const auto& [text, value] : std::vector<std::pair<std::string, std::optional<std::int32_t>>>{
             {"0", 0},
             {"-0", 0},
             {"-1", -1},
             {"999999999", 999999999},
             {"-999999999", -999999999},
             {"2147483647", 2147483647},
             {"-2147483648", std::numeric_limits<std::int32_t>::min()},
             {"2147483648", std::nullopt},
             {"-", std::nullopt},
             {"--1", std::nullopt},
             {"+12", 12},
             {" 12", 12},
             {"12a", std::nullopt},
             {"1.5", std::nullopt},
             {"", std::nullopt}})
        EXPECT_EQ(common::parseInt32(text), value) << text;
}

TEST(CommonSvg, EntitiesNumbersAndColours) {
    EXPECT_STREQ(common::xmlEntity('&'), "&amp;");
    EXPECT_STREQ(common::xmlEntity('\''), "&apos;");
    EXPECT_EQ(common::xmlEntity('\t'), nullptr);
    std::string text;
    for (double v : {858.0, -4.5, 0.3854, -0.0, -HUGE_VAL}) {
        common::appendFixed3(text, v);
        text += ' ';
    }
    EXPECT_EQ(text, "858.000 -4.500 0.385 -0.000 -inf ");
    text.clear();
    common::appendFixed3(text, 1e300);
    EXPECT_EQ(text.size(), 305u);
    EXPECT_EQ(common::svgColour(0xFF102030u), "#302010");
}

TEST(CommonCp1251, ReadersTablesDifferOnlyInTheUndefinedByte) {
    constexpr common::Cp1251Table a = common::cp1251Table(0xFFFF);
    constexpr common::Cp1251Table b = common::cp1251Table(0xFFFD);
    std::string all;
    for (int c = 0; c < 256; ++c) all.push_back(static_cast<char>(c));
    std::string outA, outB;
    common::appendCp1251(outA, all, a);
    common::appendCp1251(outB, all, b);
    // Only the three bytes of 0x98's code point differ, at the same place.
    ASSERT_EQ(outA.size(), outB.size());
    std::string lead;
    common::appendCp1251(lead, all.substr(0, 0x98), a);
    const std::size_t at = lead.size();
    EXPECT_EQ(outA.substr(0, at), outB.substr(0, at));
    EXPECT_EQ(outA.substr(at + 3), outB.substr(at + 3));
    EXPECT_EQ(outA.substr(lead.size(), 3), "\xEF\xBF\xBF");
    EXPECT_EQ(outB.substr(lead.size(), 3), "\xEF\xBF\xBD");

    std::string text;
    common::appendCp1251(text, std::string("a\0\xC0\xFF\xB9\x88\xA0", 7), a);
    EXPECT_EQ(text, std::string("a\0\xD0\x90\xD1\x8F\xE2\x84\x96\xE2\x82\xAC\xC2\xA0", 14));
}

}  // namespace
