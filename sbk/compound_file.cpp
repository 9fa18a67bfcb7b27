// The SBK compound-file reader: header, allocation tables, directory and stream chains, all bounded.
#include "sbk/compound_file.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>
#include <stdexcept>
#include <unordered_set>

#include "common/bytes.h"
#include "common/file.h"
#include "common/utf8.h"
#include "sbk/utf8_path.h"

namespace sbk {

namespace {

constexpr std::uint64_t kMaxBytes = 134217728;     // 128 MiB: file, root stream, any stream
constexpr std::uint64_t kMinFileBytes = 512;       // the header
constexpr std::uint32_t kEndMarker = 0xFFFFFFFEu;  // this and above end a chain
constexpr std::size_t kEntrySize = 128;
constexpr std::size_t kHeaderDifatEntries = 109;
// Storage nesting has no limit in the format; a directory that nests without
// end would make every stored path long, so paths past this length are not kept.
constexpr std::size_t kMaxPathBytes = 512;

// Header fields.
constexpr std::size_t kByteOrderAt = 28;
constexpr std::size_t kSectorShiftAt = 30;
constexpr std::size_t kMiniSectorShiftAt = 32;
constexpr std::size_t kFirstDirectoryAt = 48;
constexpr std::size_t kMiniCutoffAt = 56;
constexpr std::size_t kFirstMiniFatAt = 60;
constexpr std::size_t kMiniFatCountAt = 64;
constexpr std::size_t kFirstDifatAt = 68;
constexpr std::size_t kDifatCountAt = 72;
constexpr std::size_t kHeaderDifatAt = 76;
// Directory entry fields.
constexpr std::size_t kEntryNameLengthAt = 64;
constexpr std::size_t kEntryTypeAt = 66;
constexpr std::size_t kEntryLeftAt = 68;
constexpr std::size_t kEntryRightAt = 72;
constexpr std::size_t kEntryChildAt = 76;
constexpr std::size_t kEntryStartAt = 116;
constexpr std::size_t kEntrySizeAt = 120;

constexpr std::uint8_t kSignature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};

[[noreturn]] void fail(const char* message) { throw std::runtime_error(message); }

[[noreturn]] void truncated() { fail("SBK: truncated binary data"); }

using common::fits;

std::uint16_t u16At(const std::vector<std::uint8_t>& d, std::size_t o) {
    return common::loadLe16(d.data() + o);
}

std::uint32_t u32At(const std::vector<std::uint8_t>& d, std::size_t o) {
    return common::loadLe32(d.data() + o);
}

std::uint64_t u64At(const std::vector<std::uint8_t>& d, std::size_t o) {
    return common::loadLe64(d.data() + o);
}

// The whole file, its size checked before anything is read.
std::vector<std::uint8_t> readWholeFile(const std::string& path) {
    std::vector<std::uint8_t> bytes;
    switch (common::readFile(path, bytes, kMinFileBytes, kMaxBytes)) {
        case common::ReadStatus::BadPath: throwInvalidPath();
        case common::ReadStatus::CannotOpen: throw std::runtime_error("Cannot open SBK file: " + path);
        case common::ReadStatus::BadSize: fail("CFB: invalid/oversized file");
        case common::ReadStatus::Short: fail("Not an OLE/CFB container");
        case common::ReadStatus::Ok: break;
    }
    if (std::memcmp(bytes.data(), kSignature, sizeof kSignature) != 0) fail("Not an OLE/CFB container");
    return bytes;
}

}  // namespace

std::uint16_t readU16(const std::vector<std::uint8_t>& data, std::size_t offset) {
    if (!fits(offset, 2, data.size())) truncated();
    return u16At(data, offset);
}

std::uint32_t readU32(const std::vector<std::uint8_t>& data, std::size_t offset) {
    if (!fits(offset, 4, data.size())) truncated();
    return u32At(data, offset);
}

std::int32_t readI32(const std::vector<std::uint8_t>& data, std::size_t offset) {
    return static_cast<std::int32_t>(readU32(data, offset));
}

CompoundFile CompoundFile::open(const std::string& path) {
    CompoundFile cf;
    cf.bytes_ = readWholeFile(path);
    cf.readHeader();
    cf.readFat(cf.fatSectorList());
    cf.readDirectory();
    cf.readMiniTables();
    return cf;
}

void CompoundFile::readHeader() {
    const std::vector<std::uint8_t>& b = bytes_;
    if (u16At(b, kByteOrderAt) != 0xFFFE) fail("CFB: unsupported endian");
    const std::uint16_t shift = u16At(b, kSectorShiftAt);
    if ((shift != 9 && shift != 12) || u16At(b, kMiniSectorShiftAt) != 6) fail("CFB: invalid sector size");

    sectorSize_ = std::size_t{1} << shift;
    miniSectorSize_ = 64;
    miniCutoff_ = u32At(b, kMiniCutoffAt);
    firstSectorOffset_ = sectorSize_;
    if (b.size() < sectorSize_) fail("CFB: missing sector header padding");
    sectorCount_ = (b.size() - sectorSize_) / sectorSize_;
}

std::vector<std::uint32_t> CompoundFile::fatSectorList() const {
    // FAT sectors: header DIFAT first, then the DIFAT chain. More than
    // sectorCount entries is an error below, so only that many are kept.
    const std::vector<std::uint8_t>& b = bytes_;
    std::vector<std::uint32_t> fatSectors;
    std::uint64_t fatSectorTotal = 0;
    auto addFatSector = [&](std::uint32_t s) {
        ++fatSectorTotal;
        if (fatSectors.size() <= sectorCount_) fatSectors.push_back(s);
    };
    for (std::size_t i = 0; i < kHeaderDifatEntries; ++i) {
        const std::uint32_t s = u32At(b, kHeaderDifatAt + 4 * i);
        if (s < kEndMarker) addFatSector(s);
    }

    const std::uint32_t difatCount = u32At(b, kDifatCountAt);
    if (difatCount != 0) {
        std::uint32_t current = u32At(b, kFirstDifatAt);
        std::unordered_set<std::uint32_t> seen;
        const std::size_t perSector = sectorSize_ / 4;
        for (std::uint64_t i = 0; i < sectorCount_; ++i) {
            if (current >= sectorCount_ || !seen.insert(current).second) fail("CFB: corrupt DIFAT");
            const std::vector<std::uint8_t> sector = readSector(current);
            for (std::size_t k = 0; k + 1 < perSector; ++k) {
                const std::uint32_t s = u32At(sector, 4 * k);
                if (s < kEndMarker) addFatSector(s);
            }
            current = u32At(sector, 4 * (perSector - 1));
            if (current == kEndMarker || i + 1 >= difatCount) break;
        }
    }

    if (fatSectors.empty() || fatSectorTotal > sectorCount_) fail("CFB: invalid FAT sector count");
    return fatSectors;
}

void CompoundFile::readFat(const std::vector<std::uint32_t>& fatSectors) {
    fat_.reserve(fatSectors.size() * (sectorSize_ / 4));
    for (std::uint32_t s : fatSectors) {
        const std::vector<std::uint8_t> sector = readSector(s);
        for (std::size_t k = 0; k + 4 <= sector.size(); k += 4) fat_.push_back(u32At(sector, k));
    }
}

void CompoundFile::readDirectory() {
    const std::vector<std::uint8_t> dir =
        readChain(u32At(bytes_, kFirstDirectoryAt), fat_, sectorSize_, Source::File, kUnlimited);

    // Version 3 writers (512-byte sectors) may leave garbage in the high half
    // of the stream size; only the low 32 bits count there.
    const bool sizeIs32Bit = sectorSize_ == 512;
    for (std::size_t off = 0; off + kEntrySize <= dir.size(); off += kEntrySize) {
        const std::uint8_t type = dir[off + kEntryTypeAt];
        const std::uint16_t nameLen = u16At(dir, off + kEntryNameLengthAt);
        if (type != 1 && type != 2 && type != 5) continue;
        if (nameLen % 2 != 0 || nameLen < 2 || nameLen > 64) continue;
        Entry e;
        for (std::size_t u = 0; u + 1 < nameLen / 2u; ++u) appendUtf8(e.name, u16At(dir, off + 2 * u));
        e.type = type;
        e.left = u32At(dir, off + kEntryLeftAt);
        e.right = u32At(dir, off + kEntryRightAt);
        e.child = u32At(dir, off + kEntryChildAt);
        e.startSector = u32At(dir, off + kEntryStartAt);
        e.size = sizeIs32Bit ? u32At(dir, off + kEntrySizeAt) : u64At(dir, off + kEntrySizeAt);
        e.index = off / kEntrySize;
        entries_.push_back(std::move(e));
    }
}

void CompoundFile::readMiniTables() {
    const auto root =
        std::find_if(entries_.begin(), entries_.end(), [](const Entry& e) { return e.type == 5; });
    if (root == entries_.end()) fail("CFB: missing root directory");

    walkDirectory(root->child, std::string());

    if (root->size > kMaxBytes) fail("CFB: oversized root stream");
    miniStream_ =
        readChain(root->startSector, fat_, sectorSize_, Source::File, root->size, Extent::TakenBytes);

    const std::uint32_t miniFatSectors = u32At(bytes_, kMiniFatCountAt);
    if (miniFatSectors == 0) return;
    if (miniFatSectors > sectorCount_) fail("CFB: invalid MiniFAT size");
    const std::vector<std::uint8_t> mf =
        readChain(u32At(bytes_, kFirstMiniFatAt), fat_, sectorSize_, Source::File,
                  static_cast<std::uint64_t>(miniFatSectors) * sectorSize_);
    miniFat_.reserve(mf.size() / 4);
    for (std::size_t k = 0; k + 4 <= mf.size(); k += 4) miniFat_.push_back(u32At(mf, k));
}

std::vector<std::uint8_t> CompoundFile::readSector(std::uint32_t k) const {
    if (k >= sectorCount_) fail("CFB: invalid sector index");
    const std::uint64_t offset = firstSectorOffset_ + static_cast<std::uint64_t>(k) * sectorSize_;
    if (!fits(offset, sectorSize_, bytes_.size())) truncated();
    const auto first = bytes_.begin() + static_cast<std::ptrdiff_t>(offset);
    return std::vector<std::uint8_t>(first, first + static_cast<std::ptrdiff_t>(sectorSize_));
}

std::vector<CompoundFile::ChainPiece> CompoundFile::chainPieces(std::uint32_t start,
                                                                const std::vector<std::uint32_t>& table,
                                                                std::size_t unit, Source source,
                                                                std::uint64_t limit, Extent extent) const {
    std::vector<ChainPiece> pieces;
    if (start >= kEndMarker) return pieces;

    const std::size_t sourceSize = source == Source::File ? bytes_.size() : miniStream_.size();
    const std::uint64_t base = source == Source::File ? firstSectorOffset_ : 0;
    const bool limited = limit != kUnlimited;

    // A set instead of a flag vector over the whole table: a stream read costs
    // time in its own length, not in the size of the file's FAT.
    std::unordered_set<std::uint32_t> visited;
    std::uint64_t taken = 0;
    std::uint32_t current = start;
    for (;;) {
        if (current >= table.size() || !visited.insert(current).second) fail("CFB: cyclic/invalid FAT chain");
        const std::uint64_t offset = base + static_cast<std::uint64_t>(current) * unit;
        std::size_t take = unit;
        if (limited) take = static_cast<std::size_t>(std::min<std::uint64_t>(unit, limit - taken));
        // Mini sectors lie in a stream already read, so they are always whole; a sector a stream
        // takes nothing from (size 0) must still begin inside the file.
        const std::size_t needed = source == Source::MiniStream || extent == Extent::WholeSector
                                       ? unit
                                       : std::max<std::size_t>(take, 1);
        if (!fits(offset, needed, sourceSize)) truncated();
        if (taken > kMaxBytes) fail("CFB: stream exceeds 128MiB safety limit");
        pieces.push_back({static_cast<std::size_t>(offset), take});
        taken += take;
        if (limited && taken >= limit) break;
        const std::uint32_t next = table[current];
        if (next >= kEndMarker) break;
        current = next;
    }
    if (limited && taken < limit) fail("CFB: stream chain too short");
    return pieces;
}

std::vector<std::uint8_t> CompoundFile::readChain(std::uint32_t start,
                                                  const std::vector<std::uint32_t>& table, std::size_t unit,
                                                  Source source, std::uint64_t limit, Extent extent) const {
    const std::vector<ChainPiece> pieces = chainPieces(start, table, unit, source, limit, extent);
    std::size_t size = 0;
    for (const ChainPiece& piece : pieces) size += piece.length;
    std::vector<std::uint8_t> out;
    out.reserve(size);
    const std::vector<std::uint8_t>& src = source == Source::File ? bytes_ : miniStream_;
    for (const ChainPiece& piece : pieces) {
        const auto first = src.begin() + static_cast<std::ptrdiff_t>(piece.offset);
        out.insert(out.end(), first, first + static_cast<std::ptrdiff_t>(piece.length));
    }
    return out;
}

void CompoundFile::walkDirectory(std::uint32_t number, const std::string& parent) {
    // The in-order walk (left, self, child subtree, right) runs on an explicit
    // stack of pending steps, so long sibling or nesting chains cannot exhaust
    // the call stack. Parent paths are shared between the steps that need them.
    std::unordered_map<std::uint32_t, std::size_t> position;
    position.reserve(entries_.size());
    for (std::size_t i = 0; i < entries_.size(); ++i)
        position.emplace(static_cast<std::uint32_t>(entries_[i].index), i);

    using SharedPath = std::shared_ptr<const std::string>;
    struct Step {
        bool self;  // false: walk(number, parent); true: visit entry pos
        std::uint32_t number;
        std::size_t pos;
        SharedPath parent;
    };
    std::unordered_set<std::uint32_t> visited;
    std::vector<Step> stack;
    stack.push_back(Step{false, number, 0, std::make_shared<const std::string>(parent)});

    while (!stack.empty()) {
        Step step = std::move(stack.back());
        stack.pop_back();
        if (!step.self) {
            if (step.number >= kEndMarker) continue;
            const auto it = position.find(step.number);
            if (it == position.end() || !visited.insert(step.number).second) continue;
            const Entry& e = entries_[it->second];
            // Pushed in reverse: left runs first, then self, then right.
            stack.push_back(Step{false, e.right, 0, step.parent});
            stack.push_back(Step{true, 0, it->second, step.parent});
            stack.push_back(Step{false, e.left, 0, std::move(step.parent)});
            continue;
        }
        const Entry& e = entries_[step.pos];
        const std::string& par = *step.parent;
        if (par.size() + 1 + e.name.size() > kMaxPathBytes) continue;
        std::string path = par.empty() ? e.name : par + "/" + e.name;
        if (e.type == 2)
            paths_[path] = step.pos;
        else if (e.type == 1)
            stack.push_back(Step{false, e.child, 0, std::make_shared<const std::string>(std::move(path))});
    }
}

const CompoundFile::Entry& CompoundFile::streamEntry(const std::string& path) const {
    const Entry* entry = nullptr;
    const auto it = paths_.find(path);
    if (it != paths_.end()) {
        entry = &entries_[it->second];
    } else if (path.find('/') != std::string::npos) {
        throw std::runtime_error("CFB: missing storage path: " + path);
    } else {
        for (const Entry& e : entries_) {
            if (e.type == 2 && e.name == path && (entry == nullptr || e.size > entry->size)) entry = &e;
        }
        if (entry == nullptr) throw std::runtime_error("CFB: missing stream: " + path);
    }
    if (entry->size > kMaxBytes) fail("CFB: oversized stream");
    return *entry;
}

std::vector<std::uint8_t> CompoundFile::readStream(const std::string& path) const {
    const Entry& entry = streamEntry(path);
    if (entry.size < miniCutoff_)
        return readChain(entry.startSector, miniFat_, miniSectorSize_, Source::MiniStream, entry.size);
    return readChain(entry.startSector, fat_, sectorSize_, Source::File, entry.size, Extent::TakenBytes);
}

std::vector<std::uint8_t> CompoundFile::takeStream(const std::string& path) && {
    const Entry& entry = streamEntry(path);
    std::vector<std::uint8_t> stream;
    if (entry.size >= miniCutoff_ && gatherInPlace(chainPieces(entry.startSector, fat_, sectorSize_,
                                                               Source::File, entry.size, Extent::TakenBytes)))
        stream = std::move(bytes_);
    else
        stream = readStream(path);
    *this = CompoundFile();
    return stream;
}

bool CompoundFile::gatherInPlace(const std::vector<ChainPiece>& pieces) {
    // Each piece moves down to where the stream has come so far, in chain
    // order: it must lie at or after that place, or an earlier move would
    // overwrite it before its turn.
    std::size_t size = 0;
    for (const ChainPiece& piece : pieces) {
        if (piece.offset < size) return false;
        size += piece.length;
    }
    std::size_t at = 0;
    for (const ChainPiece& piece : pieces) {
        std::memmove(bytes_.data() + at, bytes_.data() + piece.offset, piece.length);
        at += piece.length;
    }
    bytes_.resize(size);
    return true;
}

std::vector<std::string> listPageStreams(const CompoundFile& file) {
    static const std::string prefix = "Pages/Page";
    static const std::string suffix = "/Circuit";
    std::vector<std::pair<std::uint32_t, std::string>> pages;
    for (const auto& [path, pos] : file.paths()) {
        (void)pos;
        if (path.size() < 19 || path.compare(0, prefix.size(), prefix) != 0 ||
            path.compare(path.size() - suffix.size(), suffix.size(), suffix) != 0)
            continue;
        const std::size_t digitsEnd = path.size() - suffix.size();
        const std::size_t digits = digitsEnd - prefix.size();
        if (digits < 1 || digits > 8 || path[prefix.size()] == '0') continue;
        std::uint32_t number = 0;
        bool ok = true;
        for (std::size_t i = prefix.size(); i < digitsEnd; ++i) {
            const char c = path[i];
            if (c < '0' || c > '9') {
                ok = false;
                break;
            }
            number = number * 10 + static_cast<std::uint32_t>(c - '0');
        }
        if (ok) pages.emplace_back(number, path);
    }
    std::sort(pages.begin(), pages.end());

    std::vector<std::string> out;
    if (pages.empty()) {
        for (const CompoundFile::Entry& e : file.entries()) {
            if (e.type == 2 && e.name == "Circuit") {
                out.push_back("Circuit");
                break;
            }
        }
        return out;
    }
    out.reserve(pages.size());
    for (auto& p : pages) out.push_back(std::move(p.second));
    return out;
}

}  // namespace sbk
