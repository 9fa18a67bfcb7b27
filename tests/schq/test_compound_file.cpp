// The compound-file reader on synthetic images of both versions, their faults, and the real files.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "schq/compound_file.h"
#include "schq/error.h"
#include "schq/records.h"
#include "support/compound_file_writer.h"

namespace schq {
// The sector reads behind the streams, which the file keeps private.
struct CompoundFileTestAccess {
    static std::vector<std::uint8_t> readSector(const CompoundFile& f, std::uint32_t sector) {
        return f.readSector(sector);
    }
    static std::vector<std::uint8_t> readChain(const CompoundFile& f, std::uint32_t start,
                                               const std::vector<std::uint32_t>& table, bool mini,
                                               std::uint64_t limit) {
        return f.readChain(start, table, mini, limit);
    }
    static std::uint16_t u16At(const CompoundFile& f, std::uint64_t offset) { return f.u16At(offset); }
    static std::uint32_t u32At(const CompoundFile& f, std::uint64_t offset) { return f.u32At(offset); }
};
}  // namespace schq

namespace {

namespace cfb = kgtest::cfb;
using Access = schq::CompoundFileTestAccess;
using Bytes = std::vector<std::uint8_t>;
using kgtest::CompoundFileImage;
using kgtest::CompoundFileWriter;

Bytes pattern(std::size_t n, unsigned seed) {
    Bytes v(n);
    for (std::size_t i = 0; i < n; ++i) v[i] = static_cast<std::uint8_t>(i * 131 + seed * 7 + (i >> 8));
    return v;
}

schq::CompoundFile load(const CompoundFileImage& img) { return schq::CompoundFile::fromMemory(img.bytes); }

template <class F>
std::string errorOf(F&& f) {
    try {
        f();
    } catch (const schq::Error& e) {
        return e.what();
    }
    return "(no error)";
}

std::string openError(const CompoundFileImage& img) {
    return errorOf([&] { load(img); });
}

// A file with one regular stream, one mini stream and one stream in a storage.
CompoundFileImage basicImage(unsigned version = 3) {
    CompoundFileWriter w(version);
    w.addStream("FileHeader", pattern(5000, 1));
    w.addStream("Additional", pattern(300, 2));
    w.addStream("Store/Inner", pattern(700, 3));
    return w.build();
}

TEST(SchqCompoundFile, ReadsRegularMiniAndNestedStreamsInBothVersions) {
    for (unsigned version : {3u, 4u}) {
        SCOPED_TRACE(version);
        CompoundFileWriter w(version);
        w.addStream("Big", pattern(20000, 1));
        w.addStream("AtCutoff", pattern(4096, 2));
        w.addStream("BelowCutoff", pattern(4095, 3));
        w.addStream("Tiny", pattern(1, 4));
        w.addStream("Empty", Bytes{});
        w.addStream("A/B/Deep", pattern(130, 5));
        for (int i = 0; i < 40; ++i) w.addStream("Many/S" + std::to_string(i), pattern(90 + 37 * i, 10 + i));
        const auto img = w.build();
        EXPECT_FALSE(img.stream("AtCutoff").mini);
        EXPECT_TRUE(img.stream("BelowCutoff").mini);

        const auto cf = load(img);
        EXPECT_EQ(cf.readStream("Big"), pattern(20000, 1));
        EXPECT_EQ(cf.readStream("AtCutoff"), pattern(4096, 2));
        EXPECT_EQ(cf.readStream("BelowCutoff"), pattern(4095, 3));
        EXPECT_EQ(cf.readStream("Tiny"), pattern(1, 4));
        EXPECT_TRUE(cf.readStream("Empty").empty());
        EXPECT_EQ(cf.readStream("Deep"), pattern(130, 5));
        for (int i = 0; i < 40; ++i)
            EXPECT_EQ(cf.readStream("S" + std::to_string(i)), pattern(90 + 37 * i, 10 + i)) << i;
        EXPECT_EQ(cf.readStream("Big"), pattern(20000, 1)) << "streams can be read again";
    }
}

TEST(SchqCompoundFile, OpensFromAFilePath) {
    const auto img = basicImage(4);
    kgtest::TempFile file(img.bytes, ".SchDoc");
    const schq::CompoundFile cf(file.path());
    EXPECT_EQ(cf.readStream("FileHeader"), pattern(5000, 1));
    EXPECT_EQ(schq::CompoundFile::open(file.path()).readStream("Inner"), pattern(700, 3));
}

TEST(SchqCompoundFile, FileLevelFailures) {
    const std::string missing = (std::filesystem::temp_directory_path() / "kg-no-such-dir/x.SchDoc").string();
    EXPECT_EQ(errorOf([&] { schq::CompoundFile cf(missing); }), "Cannot open file: " + missing);
    EXPECT_THROW(schq::CompoundFile("bad\xC3(.SchDoc"), std::range_error);
    EXPECT_THROW(schq::CompoundFile("bad\xED\xA0\x80.SchDoc"), std::range_error);  // a surrogate
    EXPECT_THROW(schq::CompoundFile("bad\xC0\xAF.SchDoc"), std::range_error);      // overlong

    kgtest::TempFile small(basicImage().bytes);
    std::filesystem::resize_file(small.path(), 511);
    EXPECT_EQ(errorOf([&] { schq::CompoundFile cf(small.path()); }), "Unsupported CFB file size");

    // The largest accepted size passes the size check and fails only on content.
    kgtest::TempFile large;
    std::filesystem::resize_file(large.path(), 0x20000001);
    EXPECT_EQ(errorOf([&] { schq::CompoundFile cf(large.path()); }), "Unsupported CFB file size");
    std::filesystem::resize_file(large.path(), 0x20000000);
    EXPECT_EQ(errorOf([&] { schq::CompoundFile cf(large.path()); }), "Not OLE2/CFB file");
}

TEST(SchqCompoundFile, HeaderChecks) {
    struct Case {
        const char* what;
        std::uint64_t offset;
        std::uint16_t value;
        const char* message;
    };
    const Case cases[] = {
        {"signature", 6, 0xE11B, "Not OLE2/CFB file"},
        {"version 2", cfb::kMajorVersion, 2, "Unsupported CFB version/endian"},
        {"version 5", cfb::kMajorVersion, 5, "Unsupported CFB version/endian"},
        {"byte order", cfb::kByteOrder, 0xFEFF, "Unsupported CFB version/endian"},
        {"shift 8", cfb::kSectorShift, 8, "Unsupported CFB sector size"},
        {"shift 10", cfb::kSectorShift, 10, "Unsupported CFB sector size"},
        {"shift 41", cfb::kSectorShift, 41, "Unsupported CFB sector size"},
        {"shift 0xFFFF", cfb::kSectorShift, 0xFFFF, "Unsupported CFB sector size"},
        {"mini shift 7", cfb::kMiniSectorShift, 7, "Unsupported CFB sector size"},
    };
    for (const auto& c : cases) {
        auto img = basicImage();
        img.setU16(c.offset, c.value);
        EXPECT_EQ(openError(img), c.message) << c.what;
    }

    // A version-4 header is 4096 bytes long.
    auto v4 = basicImage(3);
    v4.setU16(cfb::kMajorVersion, 4);
    v4.truncate(4000);
    EXPECT_EQ(openError(v4), "Truncated CFB header");
}

TEST(SchqCompoundFile, SectorSizeIsIndependentOfVersion) {
    CompoundFileWriter w(3);
    w.setSectorShift(12);
    w.addStream("FileHeader", pattern(9000, 1));
    w.addStream("Small", pattern(100, 2));
    const auto img = w.build();
    const auto cf = load(img);
    EXPECT_EQ(cf.readStream("FileHeader"), pattern(9000, 1));
    EXPECT_EQ(cf.readStream("Small"), pattern(100, 2));
    const Bytes sector0 = Access::readSector(cf, 0);
    ASSERT_EQ(sector0.size(), 4096u);
    EXPECT_TRUE(std::equal(sector0.begin(), sector0.end(), img.bytes.begin() + 512));

    CompoundFileWriter w4(4);
    w4.setSectorShift(9);
    w4.addStream("FileHeader", pattern(3000, 1));
    EXPECT_EQ(load(w4.build()).readStream("FileHeader"), pattern(3000, 1));
}

TEST(SchqCompoundFile, DifatSectorsCarryTheFatBeyondTheHeader) {
    CompoundFileWriter w(3);
    w.setHeaderDifatSlots(1);
    w.addStream("FileHeader", pattern(200000, 1));  // about 400 sectors: 4 FAT sectors
    w.addStream("Small", pattern(10, 2));
    auto img = w.build();
    ASSERT_GE(img.difatSectors.size(), 1u);
    EXPECT_EQ(load(img).readStream("FileHeader"), pattern(200000, 1));

    auto tooMany = img;
    tooMany.setU32(cfb::kDifatSectorCount, static_cast<std::uint32_t>(img.bytes.size() / 512 + 2));
    EXPECT_EQ(openError(tooMany), "Invalid DIFAT count");

    auto ended = img;
    ended.setU32(cfb::kFirstDifatSector, 0xFFFFFFFE);
    EXPECT_EQ(openError(ended), "Broken DIFAT chain");

    auto looped = img;  // two DIFAT sectors claimed, the first points to itself
    looped.setU32(cfb::kDifatSectorCount, 2);
    looped.setU32(looped.sectorOffset(img.difatSectors[0]) + 508, img.difatSectors[0]);
    EXPECT_EQ(openError(looped), "Broken DIFAT chain");

    auto outside = img;
    outside.setU32(cfb::kFirstDifatSector, 0x00FFFFFF);
    EXPECT_EQ(openError(outside), "CFB sector out of range");

    // The next pointer after the last counted DIFAT sector is not followed.
    auto trailing = img;
    trailing.setU32(trailing.sectorOffset(img.difatSectors.back()) + 508, 0x12345678);
    EXPECT_EQ(load(trailing).readStream("Small"), pattern(10, 2));
}

TEST(SchqCompoundFile, FatCountAndHeaderDifatValues) {
    auto img = basicImage();
    ASSERT_EQ(img.fatSectors.size(), 1u);

    auto tooMany = img;
    tooMany.setU32(cfb::kFatSectorCount, 2);  // more than the one DIFAT value
    EXPECT_EQ(openError(tooMany), "Invalid FAT count");

    auto special = img;  // 0xFFFFFFFD is an ordinary (far away) sector number here
    special.setU32(cfb::kHeaderDifat, 0xFFFFFFFD);
    EXPECT_EQ(openError(special), "CFB sector out of range");

    auto skipped = img;  // end-of-chain and free values are not FAT sectors
    skipped.setU32(cfb::kHeaderDifat, 0xFFFFFFFE);
    skipped.setU32(cfb::kHeaderDifat + 4, 0xFFFFFFFF);
    skipped.setU32(cfb::kHeaderDifat + 8, img.fatSectors[0]);
    EXPECT_EQ(load(skipped).readStream("FileHeader"), pattern(5000, 1));
}

TEST(SchqCompoundFile, DirectoryEntries) {
    CompoundFileWriter w(3);
    w.addStream("FileHeader", pattern(100, 1));
    w.addStream("First/Dup", pattern(50, 2));
    w.addStream("Second/Dup", pattern(60, 3));
    w.addStream("\xC3\x84rger", pattern(20, 4));  // "Ärger"
    w.addStream("Skipped", pattern(30, 5));
    auto img = w.build();
    {
        const auto cf = load(img);
        EXPECT_EQ(cf.readStream("fileheader"), pattern(100, 1));
        EXPECT_EQ(cf.readStream("Dup"), pattern(50, 2)) << "first in directory order";
        EXPECT_EQ(cf.readStream("\xC3\x84RGER"), pattern(20, 4));
        EXPECT_EQ(errorOf([&] { cf.readStream("\xC3\xA4rger"); }), "Missing CFB stream: \xC3\xA4rger");
        EXPECT_EQ(errorOf([&] { cf.readStream("FileHeade"); }), "Missing CFB stream: FileHeade");
        EXPECT_EQ(cf.findEntry("Root Entry"), nullptr) << "the root is no stream";
        EXPECT_EQ(cf.findEntry("First"), nullptr) << "storages are dropped";
        const schq::DirEntry* e = cf.findEntry("skipped");
        ASSERT_NE(e, nullptr);
        EXPECT_EQ(e->name, "Skipped");
        EXPECT_EQ(e->type, 2);
        EXPECT_EQ(e->size, 30u);
    }
    for (std::uint16_t badLength : {0, 17, 66}) {
        auto bad = img;
        bad.setU16(bad.dirEntryOffset(bad.entryIndex("Skipped")) + cfb::kEntryNameLength, badLength);
        EXPECT_EQ(errorOf([&] { load(bad).readStream("Skipped"); }), "Missing CFB stream: Skipped")
            << badLength;
    }

    // A NUL unit inside the counted length is part of the name; lone
    // surrogates become three-byte sequences.
    auto odd = img;
    const auto off = odd.dirEntryOffset(odd.entryIndex("Skipped"));
    odd.setU16(off + 2, 0);
    odd.setU16(off + 4, 0xD800);
    const auto cf = load(odd);
    EXPECT_NE(cf.findEntry(std::string("S\0\xED\xA0\x80pped", 9)), nullptr);
}

TEST(SchqCompoundFile, RootEntryAndMiniStream) {
    const auto img = basicImage();
    const auto rootOff = img.dirEntryOffset(0);

    auto noRoot = img;
    noRoot.setU8(rootOff + cfb::kEntryType, 1);
    noRoot.setU32(cfb::kMiniFatSectorCount, 0xFFFFFFF0);  // would fail if it were looked at first
    EXPECT_EQ(openError(noRoot), "CFB root directory missing");

    auto huge = img;
    huge.setU64(rootOff + cfb::kEntrySize, 2 * img.bytes.size() + 1);
    EXPECT_EQ(openError(huge), "Invalid root mini stream size");

    auto v3High = img;  // version 3 uses only the low 32 bits of a size
    v3High.setU32(rootOff + cfb::kEntrySize + 4, 0xFFFFFFFF);
    EXPECT_EQ(load(v3High).readStream("Additional"), pattern(300, 2));

    auto shortChain = img;
    shortChain.setFatEntry(img.miniStreamChain.front(), cfb::kEndOfChain);
    EXPECT_EQ(openError(shortChain), "Truncated CFB mini stream");

    auto empty = img;
    empty.setU64(rootOff + cfb::kEntrySize, 0);
    const auto cf = load(empty);
    EXPECT_EQ(cf.readStream("FileHeader"), pattern(5000, 1));
    EXPECT_EQ(errorOf([&] { cf.readStream("Additional"); }), "CFB mini sector out of range");
}

TEST(SchqCompoundFile, MiniFatTable) {
    const auto img = basicImage();

    auto tooMany = img;
    tooMany.setU32(cfb::kMiniFatSectorCount, static_cast<std::uint32_t>(img.bytes.size() / 512 + 2));
    EXPECT_EQ(openError(tooMany), "Invalid miniFAT count");

    auto longer = img;  // claims one sector more than its chain holds
    longer.setU32(cfb::kMiniFatSectorCount, static_cast<std::uint32_t>(img.miniFatChain.size() + 1));
    EXPECT_EQ(openError(longer), "Truncated CFB miniFAT");

    auto none = img;  // without a miniFAT, small streams have no table to follow
    none.setU32(cfb::kMiniFatSectorCount, 0);
    EXPECT_EQ(errorOf([&] { load(none).readStream("Additional"); }), "Invalid/looped CFB allocation chain");
}

TEST(SchqCompoundFile, BrokenChains) {
    CompoundFileWriter w(3);
    w.addStream("Regular", pattern(6000, 1));
    w.addStream("Mini", pattern(500, 2));
    w.addStream("Last", pattern(5000, 3));
    const auto img = w.build();

    for (const char* name : {"Regular", "Mini"}) {
        SCOPED_TRACE(name);
        auto looped = img;
        looped.loopChain(name);
        const auto cf = load(looped);
        EXPECT_EQ(errorOf([&] { cf.readStream(name); }), "Invalid/looped CFB allocation chain");
        EXPECT_EQ(cf.readStream("Last"), pattern(5000, 3)) << "a failed read leaves the file usable";

        auto cut = img;
        cut.cutChain(name, 2);
        EXPECT_EQ(errorOf([&] { load(cut).readStream(name); }), std::string("Truncated CFB stream: ") + name);

        auto longer = img;  // the chain holds more than the size: read exactly the size
        const bool regular = name[0] == 'R';
        longer.setStreamSize(name, regular ? 4100 : 100);  // stays on its side of the cutoff
        Bytes expect = pattern(regular ? 6000 : 500, regular ? 1 : 2);
        expect.resize(regular ? 4100 : 100);
        EXPECT_EQ(load(longer).readStream(name), expect);

        auto outside = img;  // a link beyond the table
        if (regular)
            outside.setFatEntry(img.stream(name).chain[0], 0x7FFFFFFF);
        else
            outside.setMiniFatEntry(img.stream(name).chain[0], 0x7FFFFFFF);
        EXPECT_EQ(errorOf([&] { load(outside).readStream(name); }), "Invalid/looped CFB allocation chain");
    }

    auto emptyStream = img;  // size 0 is read without touching any sector
    emptyStream.setStreamSize("Regular", 0);
    emptyStream.setU32(emptyStream.dirEntryOffset(img.entryIndex("Regular")) + cfb::kEntryStart, 0x7FFFFFFF);
    EXPECT_TRUE(load(emptyStream).readStream("Regular").empty());

    // Version 4 so that all 64 size bits count.
    CompoundFileWriter w4(4);
    w4.addStream("Big", pattern(5000, 1));
    auto big = w4.build();
    big.setStreamSize("Big", 0x20000001);
    EXPECT_EQ(errorOf([&] { load(big).readStream("Big"); }), "CFB stream too large");
    big.setStreamSize("Big", 0x20000000);
    EXPECT_EQ(errorOf([&] { load(big).readStream("Big"); }), "Truncated CFB stream: Big");

    auto truncated = img;  // the last stream's sectors lie past the end
    truncated.truncate(static_cast<std::size_t>(img.sectorOffset(img.stream("Last").chain[2])));
    const auto cf = load(truncated);
    EXPECT_EQ(cf.readStream("Regular"), pattern(6000, 1));
    EXPECT_EQ(errorOf([&] { cf.readStream("Last"); }), "CFB sector out of range");
}

// Some writers stop the file where the stream owning the last sector ends. The mini stream is
// such a stream; the directory is read whole, so its last sector must lie wholly inside the file.
TEST(SchqCompoundFile, FileEndingAtTheLastStreamsBytes) {
    CompoundFileWriter w(3);
    w.addStream("Small", pattern(300, 2));
    auto img = w.build();
    img.truncate(static_cast<std::size_t>(img.streamEnd("")));
    EXPECT_EQ(load(img).readStream("Small"), pattern(300, 2));
    img.truncate(img.bytes.size() - 1);
    EXPECT_EQ(openError(img), "CFB sector out of range");

    auto directoryLast = CompoundFileWriter(3).build();
    directoryLast.truncate(directoryLast.bytes.size() - 1);
    EXPECT_EQ(openError(directoryLast), "CFB sector out of range");
}

// Taking a stream gathers it inside the file's buffer where its sectors allow and copies it
// otherwise; either way the bytes and errors are those of reading it.
TEST(SchqCompoundFile, TakenStreamsEqualReadOnes) {
    CompoundFileWriter w(3);
    w.addStream("Filler", pattern(1500, 3));
    w.addStream("Regular", pattern(6000, 1));
    w.addStream("Small", pattern(300, 2));
    const auto img = w.build();
    const auto taken = [](const CompoundFileImage& i, const char* name) {
        Bytes a, b;
        const std::string error = errorOf([&] { a = load(i).takeStream(name); });
        EXPECT_EQ(error, errorOf([&] { b = load(i).readStream(name); })) << name;
        EXPECT_EQ(a, b) << name;
        return error;
    };
    for (const char* name : {"Regular", "Small", "Filler"}) EXPECT_EQ(taken(img, name), "(no error)");
    EXPECT_EQ(load(img).takeStream("Regular"), pattern(6000, 1));

    // A chain that ends in the first sector, which lies before the place its bytes go to.
    auto backwards = img;
    const auto& chain = img.stream("Regular").chain;
    backwards.setFatEntry(chain[chain.size() - 2], 0);
    backwards.setFatEntry(0, cfb::kEndOfChain);
    EXPECT_EQ(taken(backwards, "Regular"), "(no error)");

    auto looped = img;
    looped.loopChain("Regular");
    EXPECT_EQ(taken(looped, "Regular"), "Invalid/looped CFB allocation chain");
    auto cut = img;
    cut.cutChain("Regular", 2);
    EXPECT_EQ(taken(cut, "Regular"), "Truncated CFB stream: Regular");
    EXPECT_EQ(taken(img, "Missing"), "Missing CFB stream: Missing");
}

TEST(SchqCompoundFile, LowLevelReads) {
    const auto img = basicImage();
    const auto cf = load(img);
    const std::uint64_t size = img.bytes.size();
    EXPECT_EQ(Access::u16At(cf, 28), 0xFFFE);
    EXPECT_EQ(errorOf([&] { Access::u16At(cf, size - 1); }), "Truncated CFB data (u16)");
    EXPECT_EQ(errorOf([&] { Access::u32At(cf, size - 3); }), "Truncated CFB data (u32)");
    EXPECT_EQ(errorOf([&] { Access::u32At(cf, ~0ull - 1); }), "Truncated CFB data (u32)");
    const auto lastSector = static_cast<std::uint32_t>((size - 512) / 512);
    EXPECT_EQ(errorOf([&] { Access::readSector(cf, lastSector); }), "CFB sector out of range");
    EXPECT_EQ(errorOf([&] { Access::readSector(cf, 0xFFFFFFFF); }), "CFB sector out of range");

    // readChain against a caller's table: limit 0 never looks at the start.
    const std::vector<std::uint32_t> table = {1, 0, cfb::kEndOfChain};
    EXPECT_TRUE(Access::readChain(cf, 0xDEAD, table, false, 0).empty());
    EXPECT_EQ(errorOf([&] { Access::readChain(cf, 0, table, false, 5000); }),
              "Invalid/looped CFB allocation chain");
    EXPECT_EQ(Access::readChain(cf, 0, table, false, 700).size(), 700u)
        << "stops at the limit before the loop";
    EXPECT_EQ(Access::readChain(cf, 2, table, false, 5000).size(), 512u)
        << "a short chain returns what it has";
}

TEST(SchqCompoundFile, RealFilesOpenAndSplit) {
    struct Sample {
        const char* name;
        std::size_t records;
    };
    const Sample samples[] = {
        {"via2.SchDoc", 80}, {"01_SYSTEM.SchDoc", 47}, {"ThunderScope_Main.SchDoc", 979}};
    const std::filesystem::path dir = std::filesystem::path(KG_TESTDATA) / "schdoc";
    if (!std::filesystem::exists(dir / samples[0].name)) GTEST_SKIP() << "sample files not present";
    for (const auto& s : samples) {
        SCOPED_TRACE(s.name);
        const schq::CompoundFile cf((dir / s.name).string());
        const auto records = schq::splitRecords(cf.readStream("FileHeader"));
        EXPECT_EQ(records.size(), s.records);
        ASSERT_FALSE(records.empty());
        EXPECT_EQ(records[0].count("HEADER"), 1u);
        const auto additional = schq::splitRecords(cf.readStream("Additional"));
        ASSERT_FALSE(additional.empty());
        EXPECT_EQ(additional[0].count("HEADER"), 1u);
    }
}

}  // namespace
