// Reader of the OLE2 compound-file container that holds an SBK schematic,
// plus the small byte and text helpers that the SBK page reader uses.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "common/utf8.h"

namespace sbk {

// Whole file, its mini stream and allocation tables, held in memory once;
// read-only after open().
class CompoundFile {
public:
    struct Entry {
        std::string name;       // UTF-8
        std::uint8_t type = 0;  // 1 storage, 2 stream, 5 root
        std::uint32_t startSector = 0;
        std::uint64_t size = 0;
        std::uint64_t index = 0;  // entry number in the directory
        std::uint32_t left = 0xFFFFFFFFu;
        std::uint32_t right = 0xFFFFFFFFu;
        std::uint32_t child = 0xFFFFFFFFu;
    };

    // Reads the file at the UTF-8 path whole and validates it; throws
    // std::runtime_error on every fault.
    static CompoundFile open(const std::string& path);

    // A new copy of the stream at a slash-separated path ("Pages/Page1/Circuit"),
    // or, for a bare name that no root-level path matches, the largest stream
    // of that name anywhere in the directory.
    std::vector<std::uint8_t> readStream(const std::string& path) const;

    // The bytes readStream gives, but gathered inside the file's own buffer
    // where the stream's sectors allow it, so that a large stream is neither
    // copied nor held twice; the same errors. Leaves the file empty.
    std::vector<std::uint8_t> takeStream(const std::string& path) &&;

    // The kept directory entries in directory order.
    const std::vector<Entry>& entries() const { return entries_; }
    // Stream path -> position in entries().
    const std::unordered_map<std::string, std::size_t>& paths() const { return paths_; }

    // Size of the whole file in bytes.
    std::size_t fileSize() const { return bytes_.size(); }
    std::uint32_t miniCutoff() const { return miniCutoff_; }
    std::size_t sectorSize() const { return sectorSize_; }
    std::size_t sectorCount() const { return sectorCount_; }

private:
    enum class Source { File, MiniStream };
    // What of a file sector must lie inside the file: all of it for the tables and the directory,
    // which are read whole; for a stream only the bytes it takes, since writers stop the file at
    // the end of the stream that owns the last sector.
    enum class Extent { WholeSector, TakenBytes };
    static constexpr std::uint64_t kUnlimited = ~std::uint64_t{0};

    CompoundFile() = default;

    // Where a chain's bytes lie in its source, in chain order.
    struct ChainPiece {
        std::size_t offset = 0;
        std::size_t length = 0;
    };

    // The steps of open(), in order.
    void readHeader();
    std::vector<std::uint32_t> fatSectorList() const;
    void readFat(const std::vector<std::uint32_t>& fatSectors);
    void readDirectory();
    void readMiniTables();

    std::vector<std::uint8_t> readSector(std::uint32_t k) const;
    const Entry& streamEntry(const std::string& path) const;
    std::vector<ChainPiece> chainPieces(std::uint32_t start, const std::vector<std::uint32_t>& table,
                                        std::size_t unit, Source source, std::uint64_t limit,
                                        Extent extent) const;
    // Moves the pieces to the front of the file's buffer and cuts it after
    // them; false, with nothing moved, when that order of moves would
    // overwrite a piece before its turn.
    bool gatherInPlace(const std::vector<ChainPiece>& pieces);
    std::vector<std::uint8_t> readChain(std::uint32_t start, const std::vector<std::uint32_t>& table,
                                        std::size_t unit, Source source, std::uint64_t limit,
                                        Extent extent = Extent::WholeSector) const;
    void walkDirectory(std::uint32_t number, const std::string& parent);

    std::vector<std::uint8_t> bytes_;
    std::vector<std::uint8_t> miniStream_;
    std::vector<std::uint32_t> fat_;
    std::vector<std::uint32_t> miniFat_;
    std::vector<Entry> entries_;
    std::unordered_map<std::string, std::size_t> paths_;
    std::uint32_t miniCutoff_ = 4096;
    std::size_t sectorSize_ = 512;
    std::size_t miniSectorSize_ = 64;
    std::size_t sectorCount_ = 0;
    std::size_t firstSectorOffset_ = 512;
};

// The Circuit streams of the numbered page storages, in page order; the
// single name "Circuit" for a file that has no page storages but such a stream.
std::vector<std::string> listPageStreams(const CompoundFile& file);

// Little-endian reads; a field that would end past the data throws
// std::runtime_error "SBK: truncated binary data".
std::uint16_t readU16(const std::vector<std::uint8_t>& data, std::size_t offset);
std::uint32_t readU32(const std::vector<std::uint8_t>& data, std::size_t offset);
std::int32_t readI32(const std::vector<std::uint8_t>& data, std::size_t offset);

// Appends the UTF-8 form of one code point.
using common::appendUtf8;

}  // namespace sbk
