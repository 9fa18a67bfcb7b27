#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <vector>

#include "pcad/cp1251.h"
#include "pcad/utf8path.h"

using namespace pcad;

namespace {

std::string decode(std::vector<std::uint8_t> bytes) { return decodeCp1251(bytes.data(), bytes.size()); }

}  // namespace

TEST(PcadCp1251, AsciiAndNulPassThrough) {
    EXPECT_EQ(decodeCp1251(nullptr, 0), "");
    EXPECT_EQ(decode({}), "");
    EXPECT_EQ(decode({'A', 0, 'z', 0x7F}), std::string("A\0z\x7F", 4));
}

TEST(PcadCp1251, UpperHalfMapsToCyrillicAndPunctuation) {
    EXPECT_EQ(decode({0xC0}), "\xD0\x90");      // А
    EXPECT_EQ(decode({0xFF}), "\xD1\x8F");      // я
    EXPECT_EQ(decode({0xA8}), "\xD0\x81");      // Ё
    EXPECT_EQ(decode({0xB8}), "\xD1\x91");      // ё
    EXPECT_EQ(decode({0x80}), "\xD0\x82");      // Ђ
    EXPECT_EQ(decode({0xBF}), "\xD1\x97");      // ї
    EXPECT_EQ(decode({0xB9}), "\xE2\x84\x96");  // №
    EXPECT_EQ(decode({0x88}), "\xE2\x82\xAC");  // €
    EXPECT_EQ(decode({0xA0}), "\xC2\xA0");      // no-break space
    EXPECT_EQ(decode({0x98}), "\xEF\xBF\xBF");  // undefined in the code page
    EXPECT_EQ(decode({0x96, 0x97}), "\xE2\x80\x93\xE2\x80\x94");

    std::vector<std::uint8_t> letters;
    for (int b = 0xC0; b <= 0xFF; ++b) letters.push_back(static_cast<std::uint8_t>(b));
    const std::string out = decode(letters);
    EXPECT_EQ(out.size(), 2 * letters.size());
    EXPECT_EQ(out.substr(0, 4), "\xD0\x90\xD0\x91");
}

TEST(PcadCp1251, AppendUtf8Lengths) {
    std::string s;
    appendUtf8(s, 0x41);
    appendUtf8(s, 0x7FF);
    appendUtf8(s, 0x800);
    appendUtf8(s, 0xFFFF);
    EXPECT_EQ(s, "A\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF");
}

TEST(PcadUtf8Path, StrictConversion) {
    EXPECT_EQ(utf8ToUtf16("a\xD0\x90\xE2\x82\xAC"), (std::u16string{u'a', 0x0410, 0x20AC}));
    EXPECT_EQ(utf8ToUtf16("\xF0\x9F\x98\x80"), (std::u16string{0xD83D, 0xDE00}));
    for (const char* bad : {"\x80", "\xC0\x80", "\xE0\x80\x80", "\xED\xA0\x80", "\xF4\x90\x80\x80",
                            "\xF8\x88\x80\x80\x80", "\xD0", "\xE2\x82", "\xD0\x41", "\xFF"}) {
        EXPECT_THROW(utf8ToUtf16(bad), std::system_error) << bad;
    }
}

TEST(PcadUtf8Path, OpensNonAsciiNamesAndRefusesBadOnes) {
    const auto dir = std::filesystem::temp_directory_path() / "kg_pcad_utf8path";
    std::filesystem::create_directories(dir);
    const std::string path = dir.string() + "/\xD0\xA1\xD1\x85\xD0\xB5\xD0\xBC\xD0\xB0.txt";
    {
        std::ofstream out = openOutputFile(path);
        ASSERT_TRUE(out.is_open());
        out << "one";
    }
    EXPECT_TRUE(std::filesystem::exists(
        std::filesystem::path(std::u8string(reinterpret_cast<const char8_t*>(path.c_str())))));
    {
        std::ifstream in = openInputFile(path);
        std::string content;
        in >> content;
        EXPECT_EQ(content, "one");
    }

    EXPECT_THROW(openInputFile(dir.string() + "/\xFF.txt"), std::system_error);
    EXPECT_FALSE(openInputFile(path + std::string(1, '\0') + "x").is_open());
    EXPECT_FALSE(openOutputFile(dir.string() + "/missing/x.txt").is_open());
    std::filesystem::remove_all(dir);
}
