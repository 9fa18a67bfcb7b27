// Tests of the SBK compound-file reader, its page list, byte reads and Windows-1252 decoder.
#include "sbk/compound_file.h"
#include "sbk/cp1252.h"

#include "support/compound_file_writer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

using kgtest::CompoundFileImage;
using kgtest::CompoundFileWriter;
using kgtest::TempFile;
namespace cfb = kgtest::cfb;

namespace {

std::vector<uint8_t> pattern(size_t n, uint8_t seed) {
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(seed + i * 7 + (i >> 8));
    return v;
}

sbk::CompoundFile openImage(const CompoundFileImage& img) {
    TempFile f(img.bytes, ".sbk");
    return sbk::CompoundFile::open(f.path());
}

std::string errorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const std::exception& e) {
        return e.what();
    }
    return "<no error>";
}

std::string openError(const CompoundFileImage& img) {
    return errorOf([&] { openImage(img); });
}

std::string readError(const CompoundFileImage& img, const std::string& path) {
    return errorOf([&] { openImage(img).readStream(path); });
}

}  // namespace

TEST(SbkCompoundFile, ReadsRegularAndMiniStreamsInBothVersions) {
    for (unsigned version : {3u, 4u}) {
        SCOPED_TRACE(version);
        CompoundFileWriter w(version);
        const auto small = pattern(100, 1);   // two mini sectors, cut to 100 bytes
        const auto large = pattern(9000, 2);  // regular sectors
        const auto exact = pattern(4096, 3);  // at the cutoff: regular sectors
        w.addStream("Pages/Page1/Circuit", small);
        w.addStream("Celltypes/0", large);
        w.addStream("Top", exact);
        w.addStream("Empty", std::vector<uint8_t>{});
        const auto img = w.build();
        ASSERT_TRUE(img.stream("Pages/Page1/Circuit").mini);
        ASSERT_EQ(img.stream("Pages/Page1/Circuit").chain.size(), 2u);

        const auto cf = openImage(img);
        EXPECT_EQ(cf.sectorSize(), version == 3 ? 512u : 4096u);
        EXPECT_EQ(img.sectorOffset(0), version == 3 ? 512u : 4096u);
        EXPECT_EQ(cf.miniCutoff(), 4096u);
        EXPECT_EQ(cf.readStream("Pages/Page1/Circuit"), small);
        EXPECT_EQ(cf.readStream("Celltypes/0"), large);
        EXPECT_EQ(cf.readStream("Top"), exact);
        EXPECT_TRUE(cf.readStream("Empty").empty());
        // A bare name falls back to the largest stream of that name anywhere.
        EXPECT_EQ(cf.readStream("0"), large);
        EXPECT_EQ(cf.paths().count("Pages/Page1/Circuit"), 1u);
        EXPECT_EQ(cf.paths().count("Pages/Page1"), 0u);  // storages are not streams
    }
}

TEST(SbkCompoundFile, FileSizeLimits) {
    {
        TempFile small(std::vector<uint8_t>(511, 0), ".sbk");
        EXPECT_EQ(errorOf([&] { sbk::CompoundFile::open(small.path()); }), "CFB: invalid/oversized file");
    }

    {
        TempFile big(".sbk");
        { std::ofstream(big.path(), std::ios::binary) << 'x'; }
        std::filesystem::resize_file(big.path(), 134217729);  // sparse: nothing is written
        EXPECT_EQ(errorOf([&] { sbk::CompoundFile::open(big.path()); }), "CFB: invalid/oversized file");
    }

    // A valid header alone: no sector, so no FAT sector fits.
    CompoundFileWriter w(3);
    w.addStream("S", pattern(10, 0));
    auto img = w.build();
    img.truncate(512);
    EXPECT_EQ(openError(img), "CFB: invalid FAT sector count");

    EXPECT_EQ(errorOf([] { sbk::CompoundFile::open("/nonexistent/dir/x.sbk"); }),
              "Cannot open SBK file: /nonexistent/dir/x.sbk");
    EXPECT_THROW(sbk::CompoundFile::open("/nonexistent/bad\xC3(.sbk"), std::system_error);
}

TEST(SbkCompoundFile, HeaderFaults) {
    CompoundFileWriter w(3);
    w.addStream("S", pattern(10, 0));
    const auto good = w.build();

    auto img = good;
    img.setU8(3, 0x00);
    EXPECT_EQ(openError(img), "Not an OLE/CFB container");

    img = good;
    img.setU16(cfb::kByteOrder, 0xFEFF);
    EXPECT_EQ(openError(img), "CFB: unsupported endian");

    for (uint16_t shift : {uint16_t{8}, uint16_t{10}, uint16_t{13}}) {
        img = good;
        img.setU16(cfb::kSectorShift, shift);
        EXPECT_EQ(openError(img), "CFB: invalid sector size") << shift;
    }
    img = good;
    img.setU16(cfb::kMiniSectorShift, 7);
    EXPECT_EQ(openError(img), "CFB: invalid sector size");

    // 4096-byte sectors in a file shorter than one sector.
    img = good;
    img.setU16(cfb::kSectorShift, 12);
    EXPECT_EQ(openError(img), "CFB: missing sector header padding");

    // A FAT sector number past the end of the file.
    img = good;
    img.setU32(cfb::kHeaderDifat + 4, 500);
    EXPECT_EQ(openError(img), "CFB: invalid sector index");

    img = good;
    img.setU32(cfb::kMiniFatSectorCount, 1000);
    EXPECT_EQ(openError(img), "CFB: invalid MiniFAT size");

    // Without a root entry nothing can be read.
    img = good;
    img.setU8(img.dirEntryOffset(0) + cfb::kEntryType, 1);
    EXPECT_EQ(openError(img), "CFB: missing root directory");

    img = good;
    img.setU32(img.dirEntryOffset(0) + cfb::kEntrySize, 134217729u);
    EXPECT_EQ(openError(img), "CFB: oversized root stream");
}

TEST(SbkCompoundFile, FatSectorsFromTheDifatChain) {
    CompoundFileWriter w(3);
    w.setHeaderDifatSlots(1);
    const auto data = pattern(200000, 4);  // several FAT sectors, most listed in DIFAT sectors
    w.addStream("Big", data);
    auto img = w.build();
    ASSERT_GE(img.difatSectors.size(), 1u);
    EXPECT_EQ(openImage(img).readStream("Big"), data);

    // A DIFAT chain that points back to itself.
    if (img.difatSectors.size() == 1) {
        img.setU32(cfb::kDifatSectorCount, 3);
        img.setU32(img.sectorOffset(img.difatSectors[0]) + 508, img.difatSectors[0]);
    } else {
        img.setU32(img.sectorOffset(img.difatSectors[0]) + 508, img.difatSectors[0]);
    }
    EXPECT_EQ(openError(img), "CFB: corrupt DIFAT");

    auto img2 = w.build();
    img2.setU32(cfb::kFirstDifatSector, 0x7FFFFFFF);
    EXPECT_EQ(openError(img2), "CFB: corrupt DIFAT");
}

TEST(SbkCompoundFile, BrokenChains) {
    CompoundFileWriter w(3);
    w.addStream("Big", pattern(2000, 5));
    w.addStream("Small", pattern(300, 6));
    const auto good = w.build();

    // A chain that returns to a sector already read; a loop behind the
    // stream's last needed sector is never followed.
    auto img = good;
    img.loopChain("Big");
    EXPECT_EQ(readError(img, "Big"), "CFB: cyclic/invalid FAT chain");
    img = good;
    img.loopChain("Small");
    EXPECT_EQ(readError(img, "Small"), "CFB: cyclic/invalid FAT chain");
    img = good;
    img.setFatEntry(img.stream("Big").chain.back(), img.stream("Big").chain.front());
    EXPECT_EQ(openImage(img).readStream("Big"), pattern(2000, 5));

    img = good;
    img.cutChain("Big", 2);  // 1024 bytes for a 2000-byte stream
    EXPECT_EQ(readError(img, "Big"), "CFB: stream chain too short");

    img = good;
    img.setU32(img.dirEntryOffset(img.entryIndex("Big")) + cfb::kEntryStart, 0xFFFFFF00u);
    EXPECT_EQ(readError(img, "Big"), "CFB: cyclic/invalid FAT chain");

    // A stream that starts at the end-of-chain marker reads as empty, whatever its size.
    img = good;
    img.setU32(img.dirEntryOffset(img.entryIndex("Small")) + cfb::kEntryStart, cfb::kEndOfChain);
    EXPECT_TRUE(openImage(img).readStream("Small").empty());

    // The last sector, which holds the end of the mini stream, cut off the file: where the mini
    // stream's bytes end it still reads, a byte shorter it fails.
    img = good;
    img.truncate(img.bytes.size() - 200);
    EXPECT_EQ(readError(img, "Big"), "SBK: truncated binary data");
    img = good;
    img.truncate(static_cast<size_t>(img.streamEnd("")));
    EXPECT_EQ(openImage(img).readStream("Small"), pattern(300, 6));
    img.truncate(img.bytes.size() - 1);
    EXPECT_EQ(openError(img), "SBK: truncated binary data");

    // The directory is read whole: its last sector must lie wholly inside the file.
    img = CompoundFileWriter(3).build();
    img.truncate(img.bytes.size() - 1);
    EXPECT_EQ(openError(img), "SBK: truncated binary data");

    img = good;
    img.setStreamSize("Big", 134217729);
    EXPECT_EQ(readError(img, "Big"), "CFB: oversized stream");
}

// A taken stream is the read one, whether gathered inside the file's buffer
// or, when its chain runs back to a sector the gathered part would cover,
// copied; with the same errors.
TEST(SbkCompoundFile, TakenStreamsEqualReadOnes) {
    CompoundFileWriter w(3);
    w.addStream("Pages/Page1/Circuit", pattern(5000, 1));
    w.addStream("Small", pattern(100, 2));
    const auto inOrder = w.build();
    auto backwards = inOrder;
    const auto& chain = backwards.stream("Pages/Page1/Circuit").chain;
    backwards.setFatEntry(chain[chain.size() - 2], backwards.fatSectors.front());
    auto looped = inOrder;
    looped.loopChain("Pages/Page1/Circuit");
    const CompoundFileImage* images[] = {&inOrder, &backwards, &looped};
    for (const CompoundFileImage* img : images) {
        for (const char* path : {"Pages/Page1/Circuit", "Small", "Circuit", "Nothing"}) {
            SCOPED_TRACE(path);
            std::vector<uint8_t> read, taken;
            const std::string readFault = errorOf([&] { read = openImage(*img).readStream(path); });
            EXPECT_EQ(errorOf([&] { taken = openImage(*img).takeStream(path); }), readFault);
            EXPECT_EQ(taken, read);
        }
    }
    EXPECT_NE(openImage(backwards).readStream("Pages/Page1/Circuit"), pattern(5000, 1));
}

TEST(SbkCompoundFile, StreamSizeHighBitsOnlyCountInVersion4) {
    CompoundFileWriter w3(3);
    const auto data = pattern(5000, 7);
    w3.addStream("S", data);
    auto img = w3.build();
    img.setU32(img.dirEntryOffset(img.entryIndex("S")) + cfb::kEntrySize + 4, 0xDEADBEEF);
    EXPECT_EQ(openImage(img).readStream("S"), data);

    CompoundFileWriter w4(4);
    w4.addStream("S", data);
    img = w4.build();
    img.setU32(img.dirEntryOffset(img.entryIndex("S")) + cfb::kEntrySize + 4, 1);
    EXPECT_EQ(readError(img, "S"), "CFB: oversized stream");
}

TEST(SbkCompoundFile, MissingPathsAndBareNames) {
    CompoundFileWriter w(3);
    w.addStream("Celltypes/3", pattern(10, 0));
    w.addStream("A/Circuit", pattern(50, 1));
    w.addStream("B/Circuit", pattern(70, 2));
    w.addStream("C/Circuit", pattern(70, 3));
    const auto img = w.build();
    const auto cf = openImage(img);
    EXPECT_EQ(errorOf([&] { cf.readStream("Celltypes/7"); }), "CFB: missing storage path: Celltypes/7");
    EXPECT_EQ(errorOf([&] { cf.readStream("Nothing"); }), "CFB: missing stream: Nothing");
    // Paths are case-sensitive.
    EXPECT_EQ(errorOf([&] { cf.readStream("celltypes/3"); }), "CFB: missing storage path: celltypes/3");
    // Largest of the same name; of equal sizes the first in directory order.
    EXPECT_EQ(cf.readStream("Circuit"), pattern(70, 2));
}

TEST(SbkCompoundFile, SkippedEntriesAndDuplicatePaths) {
    for (uint16_t badLength : {uint16_t{66}, uint16_t{11}, uint16_t{0}}) {
        SCOPED_TRACE(badLength);
        CompoundFileWriter w(3);
        w.addStream("Hidden/Inner", pattern(10, 1));
        w.addStream("Other", pattern(10, 2));
        auto img = w.build();
        img.setU16(img.dirEntryOffset(img.entryIndex("Hidden")) + cfb::kEntryNameLength, badLength);
        const auto cf = openImage(img);
        // The storage is dropped, and with it the path to what lies below it.
        EXPECT_EQ(cf.paths().count("Hidden/Inner"), 0u);
        EXPECT_EQ(cf.readStream("Other"), pattern(10, 2));
        // The inner stream is still a kept entry: a bare-name look-up finds it.
        EXPECT_EQ(cf.readStream("Inner"), pattern(10, 1));
    }

    CompoundFileWriter w(3);
    w.addStream("Dup/S", pattern(10, 1));
    w.addStream("Dup/S", pattern(20, 2));
    const auto cf = openImage(w.build());
    EXPECT_EQ(cf.readStream("Dup/S"), pattern(20, 2));
}

TEST(SbkCompoundFile, LongSiblingChainsDoNotExhaustTheStack) {
    for (auto layout : {kgtest::SiblingLayout::RightChain, kgtest::SiblingLayout::LeftChain}) {
        CompoundFileWriter w(4);
        w.setSiblingLayout(layout);
        for (int i = 0; i < 20000; ++i)
            w.addStream("S/" + std::to_string(i), std::vector<uint8_t>{static_cast<uint8_t>(i)});
        const auto cf = openImage(w.build());
        EXPECT_EQ(cf.paths().size(), 20000u);
        EXPECT_EQ(cf.readStream("S/12345"), std::vector<uint8_t>{static_cast<uint8_t>(12345)});
    }
}

TEST(SbkCompoundFile, DeepNestingLoadsAndOverlongPathsAreDropped) {
    // 3000 nested storages: no recursion runs out of stack, and paths past
    // 512 bytes are not kept (their streams stay reachable by bare name).
    CompoundFileWriter w(4);
    std::string path;
    for (int i = 0; i < 3000; ++i) path += "d/";
    w.addStream(path + "Deep", pattern(10, 1));
    w.addStream("d/d/Shallow", pattern(10, 2));
    const auto cf = openImage(w.build());
    EXPECT_EQ(cf.readStream("d/d/Shallow"), pattern(10, 2));
    EXPECT_EQ(cf.paths().size(), 1u);
    EXPECT_EQ(cf.readStream("Deep"), pattern(10, 1));
}

TEST(SbkCompoundFile, DirectoryCyclesAreWalkedOnce) {
    CompoundFileWriter w(3);
    w.addStream("A/X", pattern(10, 1));
    w.addStream("B", pattern(10, 2));
    auto img = w.build();
    // The stream inside A links back to A, and A's child to the root.
    img.setU32(img.dirEntryOffset(img.entryIndex("A/X")) + cfb::kEntryRight, img.entryIndex("A"));
    img.setU32(img.dirEntryOffset(img.entryIndex("A/X")) + cfb::kEntryLeft, 0);
    const auto cf = openImage(img);
    EXPECT_EQ(cf.readStream("A/X"), pattern(10, 1));
    EXPECT_EQ(cf.readStream("B"), pattern(10, 2));
}

TEST(SbkPageList, NumberedPagesInOrder) {
    CompoundFileWriter w(3);
    w.addStream("Pages/Page10/Circuit", pattern(10, 1));
    w.addStream("Pages/Page2/Circuit", pattern(10, 2));
    w.addStream("Pages/Page02/Circuit", pattern(10, 3));
    w.addStream("Pages/Page123456789/Circuit", pattern(10, 4));
    w.addStream("Pages/Page12345678/Circuit", pattern(10, 5));
    w.addStream("Pages/Page3x/Circuit", pattern(10, 6));
    w.addStream("Pages/Page/Circuit", pattern(10, 7));
    w.addStream("Pages/Page4/Other", pattern(10, 8));
    w.addStream("Circuit", pattern(10, 9));  // ignored while numbered pages exist
    const auto pages = sbk::listPageStreams(openImage(w.build()));
    EXPECT_EQ(pages, (std::vector<std::string>{"Pages/Page2/Circuit", "Pages/Page10/Circuit",
                                               "Pages/Page12345678/Circuit"}));
}

TEST(SbkPageList, BareCircuitStream) {
    {
        CompoundFileWriter w(3);
        w.addStream("Circuit", pattern(10, 1));
        w.addStream("Old/Circuit", pattern(50, 2));
        const auto cf = openImage(w.build());
        EXPECT_EQ(sbk::listPageStreams(cf), std::vector<std::string>{"Circuit"});
        EXPECT_EQ(cf.readStream("Circuit"), pattern(10, 1));  // the root-level one
    }
    {
        CompoundFileWriter w(3);
        w.addStream("Old/Circuit", pattern(50, 2));
        w.addStream("Other/Circuit", pattern(40, 3));
        const auto cf = openImage(w.build());
        EXPECT_EQ(sbk::listPageStreams(cf), std::vector<std::string>{"Circuit"});
        EXPECT_EQ(cf.readStream("Circuit"), pattern(50, 2));  // the largest one
    }
    {
        CompoundFileWriter w(3);
        w.addStream("Something", pattern(10, 1));
        EXPECT_TRUE(sbk::listPageStreams(openImage(w.build())).empty());
    }
}

TEST(SbkBytes, BoundsCheckedLittleEndianReads) {
    const std::vector<uint8_t> d = {0x01, 0x02, 0x03, 0x04, 0xFF, 0xFF, 0xFF, 0xFF};
    EXPECT_EQ(sbk::readU16(d, 0), 0x0201);
    EXPECT_EQ(sbk::readU16(d, 6), 0xFFFF);
    EXPECT_EQ(sbk::readU32(d, 0), 0x04030201u);
    EXPECT_EQ(sbk::readI32(d, 4), -1);
    EXPECT_EQ(errorOf([&] { sbk::readU16(d, 7); }), "SBK: truncated binary data");
    EXPECT_EQ(errorOf([&] { sbk::readU32(d, 5); }), "SBK: truncated binary data");
    EXPECT_EQ(errorOf([&] { sbk::readU32(d, static_cast<size_t>(-2)); }), "SBK: truncated binary data");
    EXPECT_EQ(errorOf([&] { sbk::readI32({}, 0); }), "SBK: truncated binary data");
}

TEST(SbkText, Windows1252Table) {
    const uint32_t expected[32] = {
        0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
    };
    for (int b = 0; b < 256; ++b) {
        const uint8_t byte = static_cast<uint8_t>(b);
        const uint32_t cp = (b >= 0x80 && b <= 0x9F) ? expected[b - 0x80] : static_cast<uint32_t>(b);
        std::string want;
        sbk::appendUtf8(want, cp);
        EXPECT_EQ(sbk::decodeCp1252(&byte, 1), want) << b;
    }
    const uint8_t mixed[] = {'A', 0x80, 0x81, 0xE9, 0x00, 'z'};
    EXPECT_EQ(sbk::decodeCp1252(mixed, sizeof mixed), std::string("A\xE2\x82\xAC\xC2\x81\xC3\xA9\0z", 10));
    EXPECT_EQ(sbk::decodeCp1252(mixed, 0), "");
}
