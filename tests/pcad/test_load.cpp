// Loading a ".sch" file and choosing the reader by its first bytes.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

#include "pcad/load.h"
#include "support/pcad_binary_builder.h"

using kgtest::PcadBinaryBuilder;

namespace {

std::vector<std::uint8_t> bytesOf(const std::string& s) {
    return std::vector<std::uint8_t>(s.begin(), s.end());
}

std::string parseFailure(const std::vector<std::uint8_t>& b) {
    try {
        pcad::parse(b.data(), b.size());
    } catch (const std::exception& e) {
        return e.what();
    }
    return "no failure";
}

std::vector<std::uint8_t> signatureAt(std::size_t offset, std::size_t total) {
    PcadBinaryBuilder b;
    b.fill(offset, ' ').magic().padTo(total, ' ');
    return b.bytes;
}

// A fresh folder for one test, removed afterwards; file() gives UTF-8 paths inside it.
struct TempFolder {
    std::filesystem::path path =
        std::filesystem::temp_directory_path() /
        (std::string("kg_pcad_load_") + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    TempFolder() { std::filesystem::create_directories(path); }
    ~TempFolder() {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
    std::string file(const std::u8string& name) const {
        const std::u8string p = (path / name).u8string();
        return std::string(p.begin(), p.end());
    }
};

}  // namespace

TEST(PcadParse, TooShortInputFails) {
    EXPECT_EQ(parseFailure({}), "Empty or truncated file");
    EXPECT_THROW(pcad::parse(nullptr, 100), std::runtime_error);
    EXPECT_EQ(parseFailure(bytesOf("ACCEL_ASCII 12")), "Empty or truncated file");  // 14 bytes
    EXPECT_EQ(parseFailure(bytesOf("no schematic 15")), "Unsupported P-CAD format");
    EXPECT_EQ(parseFailure(bytesOf("Schematic Binary (Rev 5")), "Unsupported P-CAD format");  // 23 bytes
}

TEST(PcadParse, SignatureMustEndInsideTheFirst120Bytes) {
    EXPECT_EQ(pcad::parse(signatureAt(0, 24).data(), 24).size(), 1u);
    const auto at96 = signatureAt(96, 300);
    EXPECT_EQ(pcad::parse(at96.data(), at96.size()).at(0).name, "Sheet 1");
    EXPECT_EQ(parseFailure(signatureAt(97, 300)), "Unsupported P-CAD format");
    // In a short file the window is the file itself.
    EXPECT_EQ(pcad::parse(signatureAt(5, 29).data(), 29).size(), 1u);
}

TEST(PcadParse, AsciiHeaderIsTestedFirstAndCaseSensitively) {
    // The binary reader accepts anything with its signature, so a failure here shows that
    // the text reader was chosen.
    const auto ascii = bytesOf("ACCEL_ASCII Schematic Binary (Rev 5) and no design at all");
    EXPECT_NE(parseFailure(ascii), "no failure");
    const auto lower = bytesOf("accel_ascii Schematic Binary (Rev 5) and no design at all");
    EXPECT_EQ(parseFailure(lower), "no failure");
    const auto later = bytesOf(" ACCEL_ASCII Schematic Binary (Rev 5)");
    EXPECT_EQ(parseFailure(later), "no failure");
}

TEST(PcadLoad, ReadsTheFileNamedByItsUtf8Path) {
    TempFolder dir;
    const std::string path = dir.file(u8"схема Ω.sch");
    PcadBinaryBuilder b = kgtest::pcadBinaryFile();
    b.sheet(1, "Main1").sheet(2, "Second").fill(100);
    std::ofstream(std::filesystem::path(std::u8string(path.begin(), path.end())), std::ios::binary)
        .write(reinterpret_cast<const char*>(b.bytes.data()), static_cast<std::streamsize>(b.bytes.size()));
    const auto pages = pcad::loadFile(path);
    ASSERT_EQ(pages.size(), 2u);
    EXPECT_EQ(pages[1].name, "Second");

    const std::string empty = dir.file(u8"empty.sch");
    std::ofstream(std::filesystem::path(std::u8string(empty.begin(), empty.end())), std::ios::binary).flush();
    try {
        pcad::loadFile(empty);
        FAIL();
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Empty or truncated file");
    }
}

TEST(PcadLoad, MissingFileAndBadPathFail) {
    TempFolder dir;
    const std::string missing = dir.file(u8"нет файла.sch");
    try {
        pcad::loadFile(missing);
        FAIL();
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot open file: " + missing);
    }
    EXPECT_THROW(pcad::loadFile(dir.file(u8"x") + "\xC3\x28.sch"), std::system_error);
    EXPECT_THROW(pcad::loadFile(std::string("\xFF", 1)), std::system_error);
}

TEST(PcadLoad, RealAsciiFile) {
    const std::string path = std::string(KG_TESTDATA) + "/pcad-ascii/pcad_feature_test.sch";
    if (!std::filesystem::exists(path)) GTEST_SKIP() << "sample file not present";
    const auto pages = pcad::loadFile(path);
    EXPECT_EQ(pages.size(), 2u);
}
