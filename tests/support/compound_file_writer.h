// Test-side writer of OLE2 compound files (Compound File Binary format).
//
// Building a file:
//     kgtest::CompoundFileWriter w(3);              // version 3: 512-byte sectors
//     w.addStream("FileHeader", bytes);             // stream at the root
//     w.addStream("Pages/Page1/Circuit", bytes);    // storages are created on the way
//     w.addStorage("Celltypes");                    // an empty storage
//     kgtest::CompoundFileImage img = w.build();
//     img.save(path);  or use img.bytes directly
//
// Versions: CompoundFileWriter(3) writes a 512-byte header and 512-byte
// sectors, CompoundFileWriter(4) a 4096-byte header and 4096-byte sectors.
// setSectorShift() changes the sector size alone (9 or 12), so a version-3
// file with 4096-byte sectors (sector 0 right after the 512-byte header) can
// be made too. Streams shorter than the mini-stream cutoff (4096, see
// setMiniStreamCutoff) go into the mini stream, longer ones into regular
// sectors; empty streams get no sector at all (start 0xFFFFFFFE).
// Streams and storages get directory entries in the order they are first
// named (root entry 0); the same path may be added twice (two entries).
// Each storage's children form a sibling tree (all black): balanced by the
// format's name order by default, or a single chain of right or left links
// (setSiblingLayout). FAT sectors beyond the 109 header DIFAT slots go into
// DIFAT sectors; setHeaderDifatSlots(n) uses only n header slots so that
// DIFAT sectors appear in small files too.
//
// Layout of a built file, in sector order: FAT sectors, DIFAT sectors,
// directory, miniFAT, mini stream, then the regular streams in entry order
// (so truncating a file cuts the last stream's data first).
//
// Breaking a file on purpose (methods of CompoundFileImage):
//     truncate(n)                 cut the file to n bytes
//     setU8/U16/U32/U64(off, v)   overwrite any bytes (header fields: use the
//                                 offsets of the format, e.g. 30 sector shift)
//     setFatEntry(s, v)           FAT entry of sector s (e.g. loop a chain)
//     setMiniFatEntry(s, v)       miniFAT entry of mini sector s
//     loopChain(path)             the link out of the stream's last sector but
//                                 one points back to its first sector (FAT or
//                                 miniFAT), so a reader meets the loop before
//                                 it has the stream's size; needs 2 sectors
//     cutChain(path, keep)        chain ends after `keep` sectors
//     setStreamSize(path, size)   the directory claims another size
//     streamEnd(path)             file offset just past a regular stream's last
//                                 byte ("" the root's mini stream):
//                                 truncate(streamEnd(last stream)) cuts the
//                                 file as writers do that stop at the end of
//                                 the stream owning the last sector
//     dirEntryOffset(index), entryIndex(path): locate a directory entry to
//                                 corrupt any of its fields (name length at
//                                 +64, type at +66, links at +68/+72/+76,
//                                 start at +116, size at +120)
// Every layout detail (sector of each FAT/DIFAT/directory sector, each
// stream's chain) is in the image, so other fields can be aimed at.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kgtest {

// Header field offsets of the format.
namespace cfb {
inline constexpr std::uint64_t kMinorVersion = 24;
inline constexpr std::uint64_t kMajorVersion = 26;
inline constexpr std::uint64_t kByteOrder = 28;
inline constexpr std::uint64_t kSectorShift = 30;
inline constexpr std::uint64_t kMiniSectorShift = 32;
inline constexpr std::uint64_t kDirSectorCount = 40;
inline constexpr std::uint64_t kFatSectorCount = 44;
inline constexpr std::uint64_t kFirstDirSector = 48;
inline constexpr std::uint64_t kMiniStreamCutoff = 56;
inline constexpr std::uint64_t kFirstMiniFatSector = 60;
inline constexpr std::uint64_t kMiniFatSectorCount = 64;
inline constexpr std::uint64_t kFirstDifatSector = 68;
inline constexpr std::uint64_t kDifatSectorCount = 72;
inline constexpr std::uint64_t kHeaderDifat = 76;  // 109 x u32

inline constexpr std::uint32_t kEndOfChain = 0xFFFFFFFE;
inline constexpr std::uint32_t kFree = 0xFFFFFFFF;
inline constexpr std::uint32_t kFatSect = 0xFFFFFFFD;
inline constexpr std::uint32_t kDifatSect = 0xFFFFFFFC;

// Directory entry field offsets (entry i is at 128 * i in the directory).
inline constexpr std::uint64_t kEntryNameLength = 64;
inline constexpr std::uint64_t kEntryType = 66;
inline constexpr std::uint64_t kEntryLeft = 68;
inline constexpr std::uint64_t kEntryRight = 72;
inline constexpr std::uint64_t kEntryChild = 76;
inline constexpr std::uint64_t kEntryStart = 116;
inline constexpr std::uint64_t kEntrySize = 120;
}  // namespace cfb

enum class SiblingLayout { Balanced, RightChain, LeftChain };

struct CfbStreamInfo {
    std::string path;              // as added, "/"-separated
    std::uint32_t entryIndex = 0;  // directory entry number
    bool mini = false;             // stored in the mini stream
    std::uint64_t size = 0;
    std::vector<std::uint32_t> chain;  // sector or mini sector numbers
};

class CompoundFileImage {
public:
    std::vector<std::uint8_t> bytes;

    std::uint16_t majorVersion = 3;
    std::uint32_t sectorSize = 512;
    std::uint64_t headerSize = 512;
    std::vector<std::uint32_t> fatSectors;    // in FAT order
    std::vector<std::uint32_t> difatSectors;  // in chain order
    std::vector<std::uint32_t> directoryChain;
    std::vector<std::uint32_t> miniFatChain;
    std::vector<std::uint32_t> miniStreamChain;  // the root entry's chain
    std::uint64_t miniStreamSize = 0;
    std::vector<CfbStreamInfo> streams;   // in entry order
    std::vector<std::string> entryPaths;  // by entry number; "" is the root

    // File offset of regular sector s.
    std::uint64_t sectorOffset(std::uint32_t s) const;
    // File offset of directory entry `index` (follows the directory chain).
    std::uint64_t dirEntryOffset(std::uint32_t index) const;
    // Entry number of a stream or storage path; throws when unknown.
    std::uint32_t entryIndex(const std::string& path) const;
    const CfbStreamInfo& stream(const std::string& path) const;
    // File offset just past the last byte of a stream in regular sectors ("": the mini stream).
    std::uint64_t streamEnd(const std::string& path) const;

    void truncate(std::size_t size);
    void setU8(std::uint64_t offset, std::uint8_t v);
    void setU16(std::uint64_t offset, std::uint16_t v);
    void setU32(std::uint64_t offset, std::uint32_t v);
    void setU64(std::uint64_t offset, std::uint64_t v);
    void setFatEntry(std::uint32_t sector, std::uint32_t value);
    void setMiniFatEntry(std::uint32_t miniSector, std::uint32_t value);
    void loopChain(const std::string& path);
    void cutChain(const std::string& path, std::size_t keep);
    void setStreamSize(const std::string& path, std::uint64_t size);

    // Writes the bytes to a file (replacing it).
    void save(const std::string& path) const;
};

class CompoundFileWriter {
public:
    explicit CompoundFileWriter(unsigned majorVersion = 3);

    void setSectorShift(std::uint16_t shift);        // 9 or 12
    void setMiniStreamCutoff(std::uint32_t cutoff);  // written and obeyed
    void setHeaderDifatSlots(unsigned slots);        // 0..109
    void setSiblingLayout(SiblingLayout layout);

    void addStorage(const std::string& path);
    void addStream(const std::string& path, std::vector<std::uint8_t> data);
    void addStream(const std::string& path, std::string_view data);

    CompoundFileImage build() const;

private:
    struct Node {
        std::string name;
        std::uint8_t type = 0;  // 1 storage, 2 stream, 5 root
        std::vector<std::uint8_t> data;
        std::vector<std::uint32_t> children;
        std::string path;
    };
    std::uint32_t storageFor(const std::string& path);

    unsigned major_;
    std::uint16_t sectorShift_;
    std::uint32_t cutoff_ = 4096;
    unsigned headerDifatSlots_ = 109;
    SiblingLayout layout_ = SiblingLayout::Balanced;
    std::vector<Node> nodes_;
};

// A file under the system's temporary folder, removed on destruction.
class TempFile {
public:
    explicit TempFile(const std::string& suffix = ".bin");
    TempFile(const std::vector<std::uint8_t>& bytes, const std::string& suffix = ".bin");
    ~TempFile();
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    const std::string& path() const { return path_; }
    void write(const std::vector<std::uint8_t>& bytes) const;

private:
    std::string path_;
};

}  // namespace kgtest
