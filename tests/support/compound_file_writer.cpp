// The test compound-file writer: sectors, allocation tables, directory and mini stream.
#include "support/compound_file_writer.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <stdexcept>
#include <system_error>

namespace kgtest {

namespace {

std::vector<std::uint16_t> toUtf16(const std::string& s) {
    std::vector<std::uint16_t> out;
    std::size_t i = 0;
    while (i < s.size()) {
        const auto b = static_cast<unsigned char>(s[i]);
        std::uint32_t cp = 0;
        std::size_t n = 0;
        if (b < 0x80) {
            cp = b;
            n = 1;
        } else if ((b & 0xE0) == 0xC0) {
            cp = b & 0x1F;
            n = 2;
        } else if ((b & 0xF0) == 0xE0) {
            cp = b & 0x0F;
            n = 3;
        } else if ((b & 0xF8) == 0xF0) {
            cp = b & 0x07;
            n = 4;
        } else {
            throw std::invalid_argument("compound file writer: name is not UTF-8");
        }
        if (n > s.size() - i) throw std::invalid_argument("compound file writer: name is not UTF-8");
        for (std::size_t k = 1; k < n; ++k) {
            const auto c = static_cast<unsigned char>(s[i + k]);
            if ((c & 0xC0) != 0x80) throw std::invalid_argument("compound file writer: name is not UTF-8");
            cp = (cp << 6) | (c & 0x3F);
        }
        i += n;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<std::uint16_t>(0xD800 | (cp >> 10)));
            out.push_back(static_cast<std::uint16_t>(0xDC00 | (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<std::uint16_t>(cp));
        }
    }
    return out;
}

std::uint16_t upper16(std::uint16_t c) {
    return (c >= 'a' && c <= 'z') ? static_cast<std::uint16_t>(c - 32) : c;
}

// The format's sibling order: shorter names first, then code units compared
// after upper-casing.
bool nameLess(const std::vector<std::uint16_t>& a, const std::vector<std::uint16_t>& b) {
    if (a.size() != b.size()) return a.size() < b.size();
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto x = upper16(a[i]);
        const auto y = upper16(b[i]);
        if (x != y) return x < y;
    }
    return false;
}

std::uint64_t ceilDiv(std::uint64_t a, std::uint64_t b) { return (a + b - 1) / b; }

void put16(std::vector<std::uint8_t>& b, std::uint64_t off, std::uint16_t v) {
    b[off] = static_cast<std::uint8_t>(v);
    b[off + 1] = static_cast<std::uint8_t>(v >> 8);
}

void put32(std::vector<std::uint8_t>& b, std::uint64_t off, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[off + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

void put64(std::vector<std::uint8_t>& b, std::uint64_t off, std::uint64_t v) {
    for (int i = 0; i < 8; ++i) b[off + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

std::vector<std::string> splitPath(const std::string& path) {
    std::vector<std::string> parts;
    std::string cur;
    for (char c : path) {
        if (c == '/') {
            if (cur.empty()) throw std::invalid_argument("compound file writer: empty path element");
            parts.push_back(cur);
            cur.clear();
        } else {
            cur.push_back(c);
        }
    }
    if (cur.empty()) throw std::invalid_argument("compound file writer: empty path element");
    parts.push_back(cur);
    return parts;
}

}  // namespace

// ---------------------------------------------------------------- image

std::uint64_t CompoundFileImage::sectorOffset(std::uint32_t s) const {
    return headerSize + static_cast<std::uint64_t>(s) * sectorSize;
}

std::uint64_t CompoundFileImage::dirEntryOffset(std::uint32_t index) const {
    const std::uint64_t pos = static_cast<std::uint64_t>(index) * 128;
    const std::uint64_t slot = pos / sectorSize;
    if (slot >= directoryChain.size())
        throw std::out_of_range("compound file image: no such directory entry");
    return sectorOffset(directoryChain[static_cast<std::size_t>(slot)]) + pos % sectorSize;
}

std::uint32_t CompoundFileImage::entryIndex(const std::string& path) const {
    for (std::size_t i = 0; i < entryPaths.size(); ++i)
        if (entryPaths[i] == path) return static_cast<std::uint32_t>(i);
    throw std::out_of_range("compound file image: no entry " + path);
}

const CfbStreamInfo& CompoundFileImage::stream(const std::string& path) const {
    for (const auto& s : streams)
        if (s.path == path) return s;
    throw std::out_of_range("compound file image: no stream " + path);
}

std::uint64_t CompoundFileImage::streamEnd(const std::string& path) const {
    const bool root = path.empty();
    const auto& chain = root ? miniStreamChain : stream(path).chain;
    const std::uint64_t size = root ? miniStreamSize : stream(path).size;
    if ((!root && stream(path).mini) || chain.empty())
        throw std::logic_error("compound file image: no regular sector");
    return sectorOffset(chain.back()) + (size - 1) % sectorSize + 1;
}

void CompoundFileImage::truncate(std::size_t size) {
    if (size < bytes.size()) bytes.resize(size);
}

namespace {
void checkRange(const std::vector<std::uint8_t>& b, std::uint64_t off, std::uint64_t n) {
    if (off > b.size() || n > b.size() - off)
        throw std::out_of_range("compound file image: write past the end");
}
}  // namespace

void CompoundFileImage::setU8(std::uint64_t offset, std::uint8_t v) {
    checkRange(bytes, offset, 1);
    bytes[offset] = v;
}

void CompoundFileImage::setU16(std::uint64_t offset, std::uint16_t v) {
    checkRange(bytes, offset, 2);
    put16(bytes, offset, v);
}

void CompoundFileImage::setU32(std::uint64_t offset, std::uint32_t v) {
    checkRange(bytes, offset, 4);
    put32(bytes, offset, v);
}

void CompoundFileImage::setU64(std::uint64_t offset, std::uint64_t v) {
    checkRange(bytes, offset, 8);
    put64(bytes, offset, v);
}

void CompoundFileImage::setFatEntry(std::uint32_t sector, std::uint32_t value) {
    const std::uint32_t perSector = sectorSize / 4;
    const std::uint32_t slot = sector / perSector;
    if (slot >= fatSectors.size()) throw std::out_of_range("compound file image: sector beyond the FAT");
    setU32(sectorOffset(fatSectors[slot]) + (sector % perSector) * 4ull, value);
}

void CompoundFileImage::setMiniFatEntry(std::uint32_t miniSector, std::uint32_t value) {
    const std::uint64_t pos = static_cast<std::uint64_t>(miniSector) * 4;
    const std::uint64_t slot = pos / sectorSize;
    if (slot >= miniFatChain.size())
        throw std::out_of_range("compound file image: mini sector beyond the miniFAT");
    setU32(sectorOffset(miniFatChain[static_cast<std::size_t>(slot)]) + pos % sectorSize, value);
}

void CompoundFileImage::loopChain(const std::string& path) {
    const auto& s = stream(path);
    if (s.chain.size() < 2) throw std::logic_error("compound file image: a loop needs two sectors");
    const std::uint32_t from = s.chain[s.chain.size() - 2];
    if (s.mini)
        setMiniFatEntry(from, s.chain.front());
    else
        setFatEntry(from, s.chain.front());
}

void CompoundFileImage::cutChain(const std::string& path, std::size_t keep) {
    const auto& s = stream(path);
    if (keep >= s.chain.size()) throw std::logic_error("compound file image: chain is not longer than that");
    if (keep == 0) {
        setU32(dirEntryOffset(s.entryIndex) + cfb::kEntryStart, cfb::kEndOfChain);
    } else if (s.mini) {
        setMiniFatEntry(s.chain[keep - 1], cfb::kEndOfChain);
    } else {
        setFatEntry(s.chain[keep - 1], cfb::kEndOfChain);
    }
}

void CompoundFileImage::setStreamSize(const std::string& path, std::uint64_t size) {
    setU64(dirEntryOffset(entryIndex(path)) + cfb::kEntrySize, size);
}

void CompoundFileImage::save(const std::string& path) const {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("compound file image: cannot write " + path);
}

// ---------------------------------------------------------------- writer

CompoundFileWriter::CompoundFileWriter(unsigned majorVersion)
    : major_(majorVersion), sectorShift_(majorVersion == 4 ? 12 : 9) {
    Node root;
    root.name = "Root Entry";
    root.type = 5;
    nodes_.push_back(std::move(root));
}

void CompoundFileWriter::setSectorShift(std::uint16_t shift) {
    if (shift != 9 && shift != 12) throw std::invalid_argument("compound file writer: sector shift 9 or 12");
    sectorShift_ = shift;
}

void CompoundFileWriter::setMiniStreamCutoff(std::uint32_t cutoff) { cutoff_ = cutoff; }

void CompoundFileWriter::setHeaderDifatSlots(unsigned slots) {
    if (slots > 109) throw std::invalid_argument("compound file writer: at most 109 header DIFAT slots");
    headerDifatSlots_ = slots;
}

void CompoundFileWriter::setSiblingLayout(SiblingLayout layout) { layout_ = layout; }

std::uint32_t CompoundFileWriter::storageFor(const std::string& path) {
    if (path.empty()) return 0;
    std::uint32_t cur = 0;
    std::string sofar;
    for (const auto& part : splitPath(path)) {
        sofar = sofar.empty() ? part : sofar + "/" + part;
        std::uint32_t found = 0;
        bool have = false;
        for (auto c : nodes_[cur].children) {
            if (nodes_[c].type == 1 && nodes_[c].name == part) {
                found = c;
                have = true;
                break;
            }
        }
        if (!have) {
            if (toUtf16(part).size() > 31) throw std::invalid_argument("compound file writer: name too long");
            Node n;
            n.name = part;
            n.type = 1;
            n.path = sofar;
            nodes_.push_back(std::move(n));
            found = static_cast<std::uint32_t>(nodes_.size() - 1);
            nodes_[cur].children.push_back(found);
        }
        cur = found;
    }
    return cur;
}

void CompoundFileWriter::addStorage(const std::string& path) { storageFor(path); }

void CompoundFileWriter::addStream(const std::string& path, std::vector<std::uint8_t> data) {
    const auto parts = splitPath(path);
    const auto slash = path.rfind('/');
    const std::uint32_t parent =
        storageFor(slash == std::string::npos ? std::string() : path.substr(0, slash));
    if (toUtf16(parts.back()).size() > 31) throw std::invalid_argument("compound file writer: name too long");
    Node n;
    n.name = parts.back();
    n.type = 2;
    n.data = std::move(data);
    n.path = path;
    nodes_.push_back(std::move(n));
    nodes_[parent].children.push_back(static_cast<std::uint32_t>(nodes_.size() - 1));
}

void CompoundFileWriter::addStream(const std::string& path, std::string_view data) {
    addStream(path, std::vector<std::uint8_t>(data.begin(), data.end()));
}

CompoundFileImage CompoundFileWriter::build() const {
    CompoundFileImage img;
    img.majorVersion = static_cast<std::uint16_t>(major_);
    img.sectorSize = 1u << sectorShift_;
    img.headerSize = major_ == 4 ? 4096 : 512;
    const std::uint32_t S = img.sectorSize;
    const std::uint32_t perSector = S / 4;
    const std::size_t count = nodes_.size();

    // Placement of each stream.
    std::vector<bool> isMini(count, false);
    std::uint64_t miniSectors = 0;
    std::uint64_t streamSectors = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const auto& n = nodes_[i];
        if (n.type != 2 || n.data.empty()) continue;
        if (n.data.size() < cutoff_) {
            isMini[i] = true;
            miniSectors += ceilDiv(n.data.size(), 64);
        } else {
            streamSectors += ceilDiv(n.data.size(), S);
        }
    }
    const std::uint64_t miniStreamBytes = miniSectors * 64;
    const std::uint64_t miniStreamSectors = ceilDiv(miniStreamBytes, S);
    const std::uint64_t miniFatSectors = ceilDiv(miniSectors * 4, S);
    const std::uint64_t dirSectors = ceilDiv(count * 128, S);
    const std::uint64_t dataSectors = dirSectors + miniFatSectors + miniStreamSectors + streamSectors;

    std::uint64_t fatCount = 0;
    std::uint64_t difatCount = 0;
    for (;;) {
        const std::uint64_t total = dataSectors + fatCount + difatCount;
        const std::uint64_t f = ceilDiv(total, perSector);
        const std::uint64_t d = f > headerDifatSlots_ ? ceilDiv(f - headerDifatSlots_, perSector - 1) : 0;
        if (f <= fatCount && d <= difatCount) break;
        fatCount = std::max(f, fatCount);
        difatCount = std::max(d, difatCount);
    }
    const std::uint64_t totalSectors = dataSectors + fatCount + difatCount;
    if (totalSectors >= 0xFFFFFFF0ull) throw std::length_error("compound file writer: file too large");

    std::vector<std::uint32_t> fat(static_cast<std::size_t>(fatCount * perSector), cfb::kFree);
    std::uint32_t next = 0;
    auto allocate = [&](std::uint64_t n, std::uint32_t mark, bool chained) {
        std::vector<std::uint32_t> chain;
        for (std::uint64_t k = 0; k < n; ++k) chain.push_back(next++);
        for (std::size_t k = 0; k < chain.size(); ++k)
            fat[chain[k]] = chained ? (k + 1 < chain.size() ? chain[k + 1] : cfb::kEndOfChain) : mark;
        return chain;
    };
    img.fatSectors = allocate(fatCount, cfb::kFatSect, false);
    img.difatSectors = allocate(difatCount, cfb::kDifatSect, false);
    img.directoryChain = allocate(dirSectors, 0, true);
    img.miniFatChain = allocate(miniFatSectors, 0, true);
    img.miniStreamChain = allocate(miniStreamSectors, 0, true);
    img.miniStreamSize = miniStreamBytes;

    img.bytes.assign(static_cast<std::size_t>(img.headerSize + totalSectors * S), 0);
    auto& b = img.bytes;

    // Mini stream contents and miniFAT.
    std::vector<std::uint8_t> miniStream(static_cast<std::size_t>(miniStreamBytes), 0);
    std::vector<std::uint32_t> miniFat(static_cast<std::size_t>(miniFatSectors * perSector), cfb::kFree);
    std::vector<std::uint32_t> start(count, cfb::kEndOfChain);
    std::uint32_t nextMini = 0;
    img.entryPaths.resize(count);
    for (std::size_t i = 0; i < count; ++i) {
        const auto& n = nodes_[i];
        img.entryPaths[i] = n.path;
        if (n.type != 2) continue;
        CfbStreamInfo info;
        info.path = n.path;
        info.entryIndex = static_cast<std::uint32_t>(i);
        info.size = n.data.size();
        info.mini = isMini[i];
        if (isMini[i]) {
            const std::uint64_t k = ceilDiv(n.data.size(), 64);
            for (std::uint64_t j = 0; j < k; ++j)
                info.chain.push_back(nextMini + static_cast<std::uint32_t>(j));
            for (std::size_t j = 0; j < info.chain.size(); ++j)
                miniFat[info.chain[j]] = j + 1 < info.chain.size() ? info.chain[j + 1] : cfb::kEndOfChain;
            std::copy(n.data.begin(), n.data.end(),
                      miniStream.begin() + static_cast<std::ptrdiff_t>(nextMini) * 64);
            nextMini += static_cast<std::uint32_t>(k);
        } else if (!n.data.empty()) {
            info.chain = allocate(ceilDiv(n.data.size(), S), 0, true);
            for (std::size_t j = 0; j < info.chain.size(); ++j) {
                const std::size_t from = j * S;
                const std::size_t len = std::min<std::size_t>(S, n.data.size() - from);
                std::copy_n(n.data.begin() + static_cast<std::ptrdiff_t>(from), len,
                            b.begin() + static_cast<std::ptrdiff_t>(img.sectorOffset(info.chain[j])));
            }
        }
        if (!info.chain.empty()) start[i] = info.chain.front();
        img.streams.push_back(std::move(info));
    }
    if (!img.miniStreamChain.empty()) start[0] = img.miniStreamChain.front();

    auto writeChainBytes = [&](const std::vector<std::uint32_t>& chain,
                               const std::vector<std::uint8_t>& data) {
        for (std::size_t j = 0; j < chain.size(); ++j) {
            const std::size_t from = j * S;
            if (from >= data.size()) break;
            const std::size_t len = std::min<std::size_t>(S, data.size() - from);
            std::copy_n(data.begin() + static_cast<std::ptrdiff_t>(from), len,
                        b.begin() + static_cast<std::ptrdiff_t>(img.sectorOffset(chain[j])));
        }
    };
    writeChainBytes(img.miniStreamChain, miniStream);
    for (std::size_t j = 0; j < miniFat.size(); ++j) {
        const std::size_t slot = j / perSector;
        put32(b, img.sectorOffset(img.miniFatChain[slot]) + (j % perSector) * 4, miniFat[j]);
    }

    // Sibling trees.
    std::vector<std::uint32_t> left(count, cfb::kFree), right(count, cfb::kFree), child(count, cfb::kFree);
    std::vector<std::vector<std::uint16_t>> names(count);
    for (std::size_t i = 0; i < count; ++i) names[i] = toUtf16(nodes_[i].name);
    for (std::size_t i = 0; i < count; ++i) {
        auto kids = nodes_[i].children;
        if (kids.empty()) continue;
        std::stable_sort(kids.begin(), kids.end(),
                         [&](std::uint32_t x, std::uint32_t y) { return nameLess(names[x], names[y]); });
        if (layout_ == SiblingLayout::RightChain) {
            child[i] = kids.front();
            for (std::size_t k = 0; k + 1 < kids.size(); ++k) right[kids[k]] = kids[k + 1];
        } else if (layout_ == SiblingLayout::LeftChain) {
            child[i] = kids.back();
            for (std::size_t k = kids.size() - 1; k > 0; --k) left[kids[k]] = kids[k - 1];
        } else {
            std::function<std::uint32_t(std::size_t, std::size_t)> build = [&](std::size_t lo,
                                                                               std::size_t hi) {
                if (lo >= hi) return cfb::kFree;
                const std::size_t mid = lo + (hi - lo) / 2;
                left[kids[mid]] = build(lo, mid);
                right[kids[mid]] = build(mid + 1, hi);
                return kids[mid];
            };
            child[i] = build(0, kids.size());
        }
    }

    // Directory.
    for (std::size_t i = 0; i < dirSectors * S / 128; ++i) {
        const std::uint64_t off = img.dirEntryOffset(static_cast<std::uint32_t>(i));
        if (i >= count) {
            put32(b, off + cfb::kEntryLeft, cfb::kFree);
            put32(b, off + cfb::kEntryRight, cfb::kFree);
            put32(b, off + cfb::kEntryChild, cfb::kFree);
            continue;
        }
        const auto& n = nodes_[i];
        const auto& units = names[i];
        for (std::size_t k = 0; k < units.size(); ++k) put16(b, off + 2 * k, units[k]);
        put16(b, off + cfb::kEntryNameLength, static_cast<std::uint16_t>((units.size() + 1) * 2));
        b[off + cfb::kEntryType] = n.type;
        b[off + 67] = 1;  // black
        put32(b, off + cfb::kEntryLeft, left[i]);
        put32(b, off + cfb::kEntryRight, right[i]);
        put32(b, off + cfb::kEntryChild, child[i]);
        if (n.type == 1) {
            put32(b, off + cfb::kEntryStart, 0);
        } else {
            put32(b, off + cfb::kEntryStart, start[i]);
            put64(b, off + cfb::kEntrySize, n.type == 5 ? miniStreamBytes : n.data.size());
        }
    }

    // FAT and DIFAT.
    for (std::size_t j = 0; j < fat.size(); ++j)
        put32(b, img.sectorOffset(img.fatSectors[j / perSector]) + (j % perSector) * 4, fat[j]);
    std::size_t fatIdx = 0;
    for (std::size_t k = 0; k < 109; ++k) {
        const std::uint32_t v =
            (k < headerDifatSlots_ && fatIdx < img.fatSectors.size()) ? img.fatSectors[fatIdx++] : cfb::kFree;
        put32(b, cfb::kHeaderDifat + 4 * k, v);
    }
    for (std::size_t d = 0; d < img.difatSectors.size(); ++d) {
        const std::uint64_t off = img.sectorOffset(img.difatSectors[d]);
        for (std::uint32_t k = 0; k + 1 < perSector; ++k)
            put32(b, off + 4ull * k, fatIdx < img.fatSectors.size() ? img.fatSectors[fatIdx++] : cfb::kFree);
        put32(b, off + 4ull * (perSector - 1),
              d + 1 < img.difatSectors.size() ? img.difatSectors[d + 1] : cfb::kEndOfChain);
    }

    // Header.
    static const std::uint8_t sig[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
    std::copy(std::begin(sig), std::end(sig), b.begin());
    put16(b, cfb::kMinorVersion, 0x003E);
    put16(b, cfb::kMajorVersion, static_cast<std::uint16_t>(major_));
    put16(b, cfb::kByteOrder, 0xFFFE);
    put16(b, cfb::kSectorShift, sectorShift_);
    put16(b, cfb::kMiniSectorShift, 6);
    put32(b, cfb::kDirSectorCount, major_ == 4 ? static_cast<std::uint32_t>(dirSectors) : 0);
    put32(b, cfb::kFatSectorCount, static_cast<std::uint32_t>(fatCount));
    put32(b, cfb::kFirstDirSector, img.directoryChain.front());
    put32(b, cfb::kMiniStreamCutoff, cutoff_);
    put32(b, cfb::kFirstMiniFatSector,
          img.miniFatChain.empty() ? cfb::kEndOfChain : img.miniFatChain.front());
    put32(b, cfb::kMiniFatSectorCount, static_cast<std::uint32_t>(miniFatSectors));
    put32(b, cfb::kFirstDifatSector, img.difatSectors.empty() ? cfb::kEndOfChain : img.difatSectors.front());
    put32(b, cfb::kDifatSectorCount, static_cast<std::uint32_t>(difatCount));
    return img;
}

// ---------------------------------------------------------------- temp file

TempFile::TempFile(const std::string& suffix) {
    static std::atomic<unsigned> counter{0};
    std::random_device rd;
    const auto dir = std::filesystem::temp_directory_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
        const auto tick = std::chrono::steady_clock::now().time_since_epoch().count();
        const std::string name = "kgtest-" + std::to_string(rd()) + "-" + std::to_string(counter++) + "-" +
                                 std::to_string(tick % 1000000) + suffix;
        const auto p = dir / name;
        std::error_code ec;
        if (std::filesystem::exists(p, ec)) continue;
        path_ = p.string();
        std::ofstream touch(path_, std::ios::binary);
        if (touch) return;
    }
    throw std::runtime_error("TempFile: cannot create a temporary file");
}

TempFile::TempFile(const std::vector<std::uint8_t>& bytes, const std::string& suffix) : TempFile(suffix) {
    write(bytes);
}

TempFile::~TempFile() {
    std::error_code ec;
    std::filesystem::remove(path_, ec);
}

void TempFile::write(const std::vector<std::uint8_t>& bytes) const {
    std::ofstream out(path_, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("TempFile: cannot write " + path_);
}

}  // namespace kgtest
