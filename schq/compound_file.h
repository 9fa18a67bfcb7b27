// Reads the OLE2 compound file that holds a SchDoc sheet's record streams, whole and in memory.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace schq {

// One kept directory entry: a stream (type 2) or the root storage (type 5).
struct DirEntry {
    std::string name;       // UTF-8
    std::uint8_t type = 0;  // 2 stream, 5 root storage
    std::uint32_t startSector = 0;
    std::uint64_t size = 0;  // bytes
};

// Read-only view of an OLE2 compound file held whole in memory. The
// directory is kept as a flat list of streams: storages are not walked, so
// equal stream names from different storages are told apart only by their
// directory order. Every failure is a schq::Error with a fixed message.
class CompoundFile {
public:
    // Opens the file at a UTF-8 path, reads it whole and validates it.
    // A path that is not valid UTF-8 throws std::range_error.
    explicit CompoundFile(const std::string& path);

    // Same as the constructor.
    static CompoundFile open(const std::string& path);

    // Validates a file image already in memory (used where no file exists,
    // e.g. by the fuzz target); the checks are those of opening a file.
    static CompoundFile fromMemory(std::vector<std::uint8_t> bytes);

    // The bytes of the named stream (ASCII case-insensitive lookup).
    std::vector<std::uint8_t> readStream(const std::string& name) const;

    // The bytes of the named stream, as readStream gives them, but gathered inside the file's own
    // buffer where the stream's sectors allow it, so that a large stream is neither copied nor held
    // twice. Leaves the file empty; the same errors as readStream.
    std::vector<std::uint8_t> takeStream(const std::string& name) &&;

    // First stream entry whose name matches ignoring the case of a..z;
    // nullptr when there is none. The root entry never matches.
    const DirEntry* findEntry(const std::string& name) const;

private:
    friend struct CompoundFileTestAccess;  // the sector reads, for the tests

    CompoundFile() = default;
    // Validates the image and reads its tables, in the steps below.
    void parse();
    // Version, byte order, sector sizes; returns the major version.
    std::uint16_t readHeaderFields();
    std::uint64_t sectorBound() const;
    // The FAT's sector numbers: the header's slots, then the DIFAT sectors'.
    std::vector<std::uint32_t> readDifat() const;
    void readFat(const std::vector<std::uint32_t>& difat);
    void readDirectory(std::uint16_t major);
    // The root entry's mini stream and the miniFAT.
    void readMiniStream();

    // A sector of a chain: where it lies in its source and how many of its bytes count.
    struct ChainPiece {
        std::uint64_t offset;
        std::uint64_t length;
    };

    // What of a regular sector must lie inside the file: all of it for the tables and the
    // directory, which are read whole; for a stream only the bytes it takes, since writers stop
    // the file at the end of the stream that owns the last sector.
    enum class Extent { WholeSector, TakenBytes };

    // Follows a chain through `table` from sector `start`, collecting at most
    // `limit` bytes from the file (regular sectors) or, when `mini` is set,
    // from the mini stream. A chain that ends early returns fewer bytes.
    std::vector<std::uint8_t> readChain(std::uint32_t start, const std::vector<std::uint32_t>& table,
                                        bool mini, std::uint64_t limit,
                                        Extent extent = Extent::WholeSector) const;
    // The pieces that readChain copies, in chain order; the same checks and errors.
    std::vector<ChainPiece> chainPieces(std::uint32_t start, const std::vector<std::uint32_t>& table,
                                        bool mini, std::uint64_t limit, Extent extent) const;
    // The stream's entry, checked for its size.
    const DirEntry& streamEntry(const std::string& name) const;

    // A copy of regular sector `sector`.
    std::vector<std::uint8_t> readSector(std::uint32_t sector) const;

    // Little-endian values at a file offset.
    std::uint16_t u16At(std::uint64_t offset) const;
    std::uint32_t u32At(std::uint64_t offset) const;

    std::vector<std::uint8_t> bytes_;
    std::vector<std::uint8_t> miniStream_;
    std::vector<std::uint32_t> fat_;
    std::vector<std::uint32_t> miniFat_;
    std::vector<DirEntry> directory_;
    std::uint32_t sectorSize_ = 512;
    std::uint32_t miniSectorSize_ = 64;
    std::uint32_t miniStreamCutoff_ = 4096;
    std::uint64_t headerSize_ = 512;
};

}  // namespace schq
