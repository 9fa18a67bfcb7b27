// Reading the SchDoc compound file: header, sector tables, directory and the streams the reader needs.
#include "schq/compound_file.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <set>
#include <stdexcept>
#include <utility>

#include "common/ascii.h"
#include "common/bytes.h"
#include "common/file.h"
#include "common/utf8.h"
#include "schq/error.h"

namespace schq {

namespace {

constexpr std::uint64_t kMinFileSize = 512;
constexpr std::uint64_t kMaxFileSize = 0x20000000;  // 512 MiB, also the largest stream
constexpr std::uint32_t kEndOfChain = 0xFFFFFFFE;   // this and above end a chain

constexpr std::uint8_t kSignature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};

// Header fields, by file offset.
constexpr std::uint64_t kMajorVersionAt = 26;
constexpr std::uint64_t kByteOrderAt = 28;
constexpr std::uint16_t kLittleEndianMark = 0xFFFE;
constexpr std::uint64_t kSectorShiftAt = 30;
constexpr std::uint64_t kMiniSectorShiftAt = 32;
constexpr std::uint64_t kFatCountAt = 44;
constexpr std::uint64_t kFirstDirectorySectorAt = 48;
constexpr std::uint64_t kMiniStreamCutoffAt = 56;
constexpr std::uint64_t kFirstMiniFatSectorAt = 60;
constexpr std::uint64_t kMiniFatCountAt = 64;
constexpr std::uint64_t kFirstDifatSectorAt = 68;
constexpr std::uint64_t kDifatCountAt = 72;
constexpr std::uint64_t kHeaderDifatAt = 76;
constexpr std::uint64_t kHeaderDifatSlots = 109;

// Directory entries: their size, and their fields by offset within an entry.
constexpr std::uint64_t kDirEntrySize = 128;
constexpr std::uint16_t kEntryNameBytes = 64;  // UTF-16, the terminating NUL included
constexpr std::uint64_t kEntryNameLengthAt = 64;
constexpr std::uint64_t kEntryTypeAt = 66;
constexpr std::uint64_t kEntryStartAt = 116;
constexpr std::uint64_t kEntrySizeAt = 120;
constexpr std::uint8_t kStreamEntry = 2;
constexpr std::uint8_t kRootEntry = 5;

// Bounds-checked little-endian reads from any byte buffer (file, sector copy
// or directory bytes).
std::uint16_t le16(const std::vector<std::uint8_t>& b, std::uint64_t off) {
    if (!common::fits(off, 2, b.size())) throw Error("Truncated CFB data (u16)");
    return common::loadLe16(b.data() + off);
}

std::uint32_t le32(const std::vector<std::uint8_t>& b, std::uint64_t off) {
    if (!common::fits(off, 4, b.size())) throw Error("Truncated CFB data (u32)");
    return common::loadLe32(b.data() + off);
}

std::uint64_t le64(const std::vector<std::uint8_t>& b, std::uint64_t off) {
    const std::uint64_t lo = le32(b, off);
    const std::uint64_t hi = le32(b, off + 4);
    return lo | (hi << 32);
}

}  // namespace

CompoundFile::CompoundFile(const std::string& path) {
    switch (common::readFile(path, bytes_, kMinFileSize, kMaxFileSize)) {
        case common::ReadStatus::BadPath: throw std::range_error("invalid UTF-8 in file path");
        case common::ReadStatus::CannotOpen: throw Error("Cannot open file: " + path);
        case common::ReadStatus::BadSize: throw Error("Unsupported CFB file size");
        case common::ReadStatus::Short: throw Error("File read failed");
        case common::ReadStatus::Ok: break;
    }
    parse();
}

CompoundFile CompoundFile::open(const std::string& path) { return CompoundFile(path); }

CompoundFile CompoundFile::fromMemory(std::vector<std::uint8_t> bytes) {
    CompoundFile cf;
    cf.bytes_ = std::move(bytes);
    if (cf.bytes_.size() < kMinFileSize || cf.bytes_.size() > kMaxFileSize)
        throw Error("Unsupported CFB file size");
    cf.parse();
    return cf;
}

void CompoundFile::parse() {
    for (std::size_t i = 0; i < sizeof kSignature; ++i)
        if (bytes_[i] != kSignature[i]) throw Error("Not OLE2/CFB file");
    const std::uint16_t major = readHeaderFields();
    readFat(readDifat());
    readDirectory(major);
    readMiniStream();
}

std::uint16_t CompoundFile::readHeaderFields() {
    const std::uint16_t major = u16At(kMajorVersionAt);
    if ((major != 3 && major != 4) || u16At(kByteOrderAt) != kLittleEndianMark)
        throw Error("Unsupported CFB version/endian");

    const std::uint16_t sectorShift = u16At(kSectorShiftAt);
    const std::uint16_t miniShift = u16At(kMiniSectorShiftAt);
    if ((sectorShift != 9 && sectorShift != 12) || miniShift != 6) throw Error("Unsupported CFB sector size");
    sectorSize_ = 1u << sectorShift;
    miniSectorSize_ = 1u << miniShift;
    miniStreamCutoff_ = u32At(kMiniStreamCutoffAt);

    headerSize_ = major == 4 ? 4096 : 512;
    if (bytes_.size() < headerSize_) throw Error("Truncated CFB header");
    return major;
}

// Counts are weighed against what the file could hold before any table is read, so no claim in
// the header can make a buffer grow beyond a small multiple of the file size.
std::uint64_t CompoundFile::sectorBound() const { return bytes_.size() / sectorSize_ + 1; }

std::vector<std::uint32_t> CompoundFile::readDifat() const {
    std::vector<std::uint32_t> difat;
    for (std::uint64_t k = 0; k < kHeaderDifatSlots; ++k) {
        const std::uint32_t v = u32At(kHeaderDifatAt + 4 * k);
        if (v < kEndOfChain) difat.push_back(v);
    }

    const std::uint32_t difatCount = u32At(kDifatCountAt);
    if (difatCount > sectorBound()) throw Error("Invalid DIFAT count");
    std::uint32_t difatSector = u32At(kFirstDifatSectorAt);
    std::set<std::uint32_t> walked;
    const std::uint32_t perSector = sectorSize_ / 4;
    for (std::uint32_t i = 0; i < difatCount; ++i) {
        if (difatSector >= kEndOfChain || !walked.insert(difatSector).second)
            throw Error("Broken DIFAT chain");
        const std::vector<std::uint8_t> sector = readSector(difatSector);
        for (std::uint32_t k = 0; k + 1 < perSector; ++k) {
            const std::uint32_t v = le32(sector, 4ull * k);
            if (v < kEndOfChain) difat.push_back(v);
        }
        difatSector = le32(sector, 4ull * (perSector - 1));
    }
    return difat;
}

void CompoundFile::readFat(const std::vector<std::uint32_t>& difat) {
    const std::uint32_t fatCount = u32At(kFatCountAt);
    if (fatCount > difat.size() || fatCount > sectorBound()) throw Error("Invalid FAT count");
    const std::uint32_t perSector = sectorSize_ / 4;
    fat_.reserve(static_cast<std::size_t>(fatCount) * perSector);
    for (std::uint32_t j = 0; j < fatCount; ++j) {
        const std::vector<std::uint8_t> sector = readSector(difat[j]);
        for (std::uint32_t k = 0; k < perSector; ++k) fat_.push_back(le32(sector, 4ull * k));
    }
}

void CompoundFile::readDirectory(std::uint16_t major) {
    const std::vector<std::uint8_t> dir =
        readChain(u32At(kFirstDirectorySectorAt), fat_, false, bytes_.size());
    for (std::uint64_t off = 0; off + kDirEntrySize <= dir.size(); off += kDirEntrySize) {
        const std::uint16_t nameLength = le16(dir, off + kEntryNameLengthAt);
        if (nameLength < 2 || nameLength > kEntryNameBytes || nameLength % 2 != 0) continue;
        const std::uint8_t type = dir[static_cast<std::size_t>(off + kEntryTypeAt)];
        if (type != kStreamEntry && type != kRootEntry) continue;
        DirEntry e;
        for (std::uint64_t u = 0; u + 1 < nameLength / 2u; ++u)
            common::appendUtf8(e.name, le16(dir, off + 2 * u));
        e.type = type;
        e.startSector = le32(dir, off + kEntryStartAt);
        e.size = major == 3 ? le32(dir, off + kEntrySizeAt) : le64(dir, off + kEntrySizeAt);
        directory_.push_back(std::move(e));
    }
}

void CompoundFile::readMiniStream() {
    const auto root = std::find_if(directory_.begin(), directory_.end(),
                                   [](const DirEntry& e) { return e.type == kRootEntry; });
    if (root == directory_.end()) throw Error("CFB root directory missing");
    if (root->size > 2 * static_cast<std::uint64_t>(bytes_.size()))
        throw Error("Invalid root mini stream size");
    if (root->size != 0) {
        miniStream_ = readChain(root->startSector, fat_, false, root->size, Extent::TakenBytes);
        if (miniStream_.size() != root->size) throw Error("Truncated CFB mini stream");
    }

    const std::uint32_t miniFatCount = u32At(kMiniFatCountAt);
    if (miniFatCount > sectorBound()) throw Error("Invalid miniFAT count");
    if (miniFatCount != 0) {
        const std::uint64_t limit = static_cast<std::uint64_t>(miniFatCount) * sectorSize_;
        const std::vector<std::uint8_t> table = readChain(u32At(kFirstMiniFatSectorAt), fat_, false, limit);
        if (table.size() != limit) throw Error("Truncated CFB miniFAT");
        miniFat_.reserve(table.size() / 4);
        for (std::uint64_t off = 0; off + 4 <= table.size(); off += 4) miniFat_.push_back(le32(table, off));
    }
}

const DirEntry& CompoundFile::streamEntry(const std::string& name) const {
    const DirEntry* e = findEntry(name);
    if (!e) throw Error("Missing CFB stream: " + name);
    if (e->size > kMaxFileSize) throw Error("CFB stream too large");
    return *e;
}

std::vector<std::uint8_t> CompoundFile::readStream(const std::string& name) const {
    const DirEntry& e = streamEntry(name);
    std::vector<std::uint8_t> data = e.size < miniStreamCutoff_
                                         ? readChain(e.startSector, miniFat_, true, e.size)
                                         : readChain(e.startSector, fat_, false, e.size, Extent::TakenBytes);
    if (data.size() != e.size) throw Error("Truncated CFB stream: " + name);
    return data;
}

std::vector<std::uint8_t> CompoundFile::takeStream(const std::string& name) && {
    const DirEntry& e = streamEntry(name);
    if (e.size < miniStreamCutoff_) return readStream(name);
    const std::vector<ChainPiece> pieces =
        chainPieces(e.startSector, fat_, false, e.size, Extent::TakenBytes);
    std::uint64_t size = 0;
    bool inPlace = true;
    for (const ChainPiece& piece : pieces) {
        // Each piece moves down to where the stream has come so far, in chain order: it must lie
        // at or after that place, or an earlier move would overwrite it before its turn.
        inPlace = inPlace && piece.offset >= size;
        size += piece.length;
    }
    if (size != e.size) throw Error("Truncated CFB stream: " + name);
    if (!inPlace) return readStream(name);
    std::uint8_t* const data = bytes_.data();
    std::uint64_t at = 0;
    for (const ChainPiece& piece : pieces) {
        std::memmove(data + at, data + piece.offset, static_cast<std::size_t>(piece.length));
        at += piece.length;
    }
    bytes_.resize(static_cast<std::size_t>(size));
    std::vector<std::uint8_t> stream = std::move(bytes_);
    *this = CompoundFile();
    return stream;
}

const DirEntry* CompoundFile::findEntry(const std::string& name) const {
    for (const auto& e : directory_)
        if (e.type == kStreamEntry && common::equalsIgnoringAsciiCase(e.name, name)) return &e;
    return nullptr;
}

std::vector<CompoundFile::ChainPiece> CompoundFile::chainPieces(std::uint32_t start,
                                                                const std::vector<std::uint32_t>& table,
                                                                bool mini, std::uint64_t limit,
                                                                Extent extent) const {
    std::vector<ChainPiece> pieces;
    if (limit == 0) return pieces;
    const std::uint64_t unit = mini ? miniSectorSize_ : sectorSize_;
    const std::uint64_t sourceSize = mini ? miniStream_.size() : bytes_.size();
    std::vector<bool> visited(table.size());
    std::uint64_t taken = 0;
    std::uint32_t s = start;
    for (;;) {
        if (s >= kEndOfChain || taken >= limit) return pieces;
        if (s >= table.size() || visited[s]) throw Error("Invalid/looped CFB allocation chain");
        visited[s] = true;
        const std::uint64_t off = mini ? static_cast<std::uint64_t>(s) * miniSectorSize_
                                       : headerSize_ + static_cast<std::uint64_t>(s) * sectorSize_;
        const std::uint64_t take = std::min<std::uint64_t>(unit, limit - taken);
        // Mini sectors lie in a stream already read, so they are always whole.
        const std::uint64_t needed = mini || extent == Extent::WholeSector ? unit : take;
        if (off > sourceSize || needed > sourceSize - off)
            throw Error(mini ? "CFB mini sector out of range" : "CFB sector out of range");
        pieces.push_back({off, take});
        taken += take;
        s = table[s];
    }
}

std::vector<std::uint8_t> CompoundFile::readChain(std::uint32_t start,
                                                  const std::vector<std::uint32_t>& table, bool mini,
                                                  std::uint64_t limit, Extent extent) const {
    const std::vector<ChainPiece> pieces = chainPieces(start, table, mini, limit, extent);
    std::uint64_t size = 0;
    for (const ChainPiece& piece : pieces) size += piece.length;
    // One allocation of the final size instead of doubling copies of a large stream.
    std::vector<std::uint8_t> out;
    out.reserve(static_cast<std::size_t>(size));
    const std::vector<std::uint8_t>& source = mini ? miniStream_ : bytes_;
    for (const ChainPiece& piece : pieces) {
        const auto from = source.begin() + static_cast<std::ptrdiff_t>(piece.offset);
        out.insert(out.end(), from, from + static_cast<std::ptrdiff_t>(piece.length));
    }
    return out;
}

std::vector<std::uint8_t> CompoundFile::readSector(std::uint32_t sector) const {
    const std::uint64_t off = headerSize_ + static_cast<std::uint64_t>(sector) * sectorSize_;
    if (off > bytes_.size() || sectorSize_ > bytes_.size() - off) throw Error("CFB sector out of range");
    const auto from = bytes_.begin() + static_cast<std::ptrdiff_t>(off);
    return std::vector<std::uint8_t>(from, from + sectorSize_);
}

std::uint16_t CompoundFile::u16At(std::uint64_t offset) const { return le16(bytes_, offset); }

std::uint32_t CompoundFile::u32At(std::uint64_t offset) const { return le32(bytes_, offset); }

}  // namespace schq
