// Arbitrary bytes to the SBK page reader, two ways: as a Circuit stream (and
// the stream of every symbol cell) inside a well-formed container, so that the
// scan itself is exercised, and as a whole file. A page may be refused with an
// exception, but reading must not crash, hang or read out of bounds.
//
// Input: byte 0 selects the way (bit 0: 1 = built container, 0 = whole file)
// and the page index (bits 1-2). In a built container bytes 1-2 give the
// length n of the cell stream (little-endian), the next n bytes are the cell
// stream and the rest is the Circuit stream.
#include <unistd.h>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <fstream>
#include <string>
#include <vector>

#include "sbk/document.h"

namespace {

const std::string& scratchPath() {
    static const std::string path = "/tmp/kg_fuzz_sbk_" + std::to_string(::getpid()) + ".sbk";
    return path;
}

constexpr uint32_t kEnd = 0xFFFFFFFE;
constexpr uint32_t kFree = 0xFFFFFFFF;
constexpr uint32_t kNone = 0xFFFFFFFF;
constexpr size_t kSector = 512;

void put16(std::vector<uint8_t>& b, size_t at, uint16_t v) {
    b[at] = uint8_t(v);
    b[at + 1] = uint8_t(v >> 8);
}
void put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = uint8_t(v >> (8 * i));
}

struct Entry {
    std::string name;
    uint8_t type;  // 1 storage, 2 stream, 5 root
    uint32_t left = kNone, right = kNone, child = kNone;
    const std::vector<uint8_t>* data = nullptr;
    uint32_t start = kEnd;
};

// Cell names that the reader gives meaning to: the frame (C, D), terminals,
// and an empty name, which an instance without a recognisable name finds.
const char* const kCellNames[] = {"C;1", "GND", "RWTERM", "RES", ";", "CON_HIER_X", "D", "VCC_p"};
constexpr uint32_t kCells = sizeof(kCellNames) / sizeof(kCellNames[0]);

// A version-3 compound file with 512-byte sectors and no mini stream (the
// cutoff is 0): Pages/Page1/Circuit, Celltypes/Table of Contents and one
// stream per cell, all cells sharing one chain (with unused sectors after
// it, so that the file is large enough for every cell to be read).
std::vector<uint8_t> buildContainer(const std::vector<uint8_t>& circuit, const std::vector<uint8_t>& cell) {
    std::vector<uint8_t> toc(2);
    put16(toc, 0, kCells);
    for (const char* n : kCellNames) {
        const std::string s = n;
        toc.push_back(uint8_t(s.size()));
        toc.insert(toc.end(), s.begin(), s.end());
    }
    std::vector<Entry> e;
    e.push_back({"Root Entry", 5});
    e.push_back({"Pages", 1});
    e.push_back({"Celltypes", 1});
    e.push_back({"Page1", 1});
    e.push_back({"Circuit", 2});
    e.push_back({"Table of Contents", 2});
    e[0].child = 1;
    e[1].right = 2;
    e[1].child = 3;
    e[3].child = 4;
    e[2].child = 5;
    e[4].data = &circuit;
    e[5].data = &toc;
    for (uint32_t i = 0; i < kCells; ++i) {
        e.back().right = uint32_t(e.size());
        e.push_back({std::to_string(i), 2});
        e.back().data = &cell;
    }

    const size_t dirSectors = (e.size() + 3) / 4;
    auto sectorsOf = [](size_t n) { return (n + kSector - 1) / kSector; };
    const size_t dataSectors = sectorsOf(toc.size()) + sectorsOf(circuit.size()) + sectorsOf(cell.size());
    size_t fatSectors = 1;
    while (fatSectors * (kSector / 4) < fatSectors + dirSectors + dataSectors) ++fatSectors;
    if (fatSectors > 109) return {};

    const size_t total = fatSectors + dirSectors + dataSectors;
    std::vector<uint32_t> fat(fatSectors * (kSector / 4), kFree);
    for (size_t i = 0; i < fatSectors; ++i) fat[i] = 0xFFFFFFFD;
    size_t next = fatSectors;
    auto chain = [&](size_t count) {
        const uint32_t start = count ? uint32_t(next) : kEnd;
        for (size_t i = 0; i < count; ++i, ++next) fat[next] = i + 1 < count ? uint32_t(next + 1) : kEnd;
        return start;
    };
    const uint32_t dirStart = chain(dirSectors);
    e[5].start = chain(sectorsOf(toc.size()));
    e[4].start = chain(sectorsOf(circuit.size()));
    const uint32_t cellStart = chain(sectorsOf(cell.size()));
    for (size_t i = 6; i < e.size(); ++i) e[i].start = cellStart;

    std::vector<uint8_t> file(kSector * (1 + total), 0);
    const uint8_t sig[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
    for (int i = 0; i < 8; ++i) file[i] = sig[i];
    put16(file, 24, 0x3E);
    put16(file, 26, 3);
    put16(file, 28, 0xFFFE);
    put16(file, 30, 9);
    put16(file, 32, 6);
    put32(file, 44, uint32_t(fatSectors));
    put32(file, 48, dirStart);
    put32(file, 56, 0);
    put32(file, 60, kEnd);
    put32(file, 68, kEnd);
    for (size_t i = 0; i < 109; ++i) put32(file, 76 + 4 * i, i < fatSectors ? uint32_t(i) : kFree);
    auto sectorAt = [&](size_t s) { return kSector * (1 + s); };
    for (size_t i = 0; i < fat.size(); ++i) put32(file, sectorAt(0) + 4 * i, fat[i]);
    for (size_t i = 0; i < e.size(); ++i) {
        const size_t at = sectorAt(dirStart) + 128 * i;
        for (size_t k = 0; k < e[i].name.size(); ++k) file[at + 2 * k] = uint8_t(e[i].name[k]);
        put16(file, at + 64, uint16_t(2 * (e[i].name.size() + 1)));
        file[at + 66] = e[i].type;
        file[at + 67] = 1;
        put32(file, at + 68, e[i].left);
        put32(file, at + 72, e[i].right);
        put32(file, at + 76, e[i].child);
        const size_t size = e[i].data ? e[i].data->size() : 0;
        put32(file, at + 116, size ? e[i].start : kEnd);
        put32(file, at + 120, uint32_t(size));
    }
    for (size_t i = 0; i < e.size(); ++i) {
        if (!e[i].data || e[i].data->empty() || (i > 6)) continue;
        std::copy(e[i].data->begin(), e[i].data->end(), file.begin() + sectorAt(e[i].start));
    }
    // The reader reads no more cell data than the file holds; unused sectors
    // at the end make room for every cell to read the shared chain.
    file.resize(file.size() + kCells * kSector * sectorsOf(cell.size()), 0);
    return file;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const uint8_t mode = data[0];
    const size_t pageIndex = (mode >> 1) & 3;
    std::vector<uint8_t> file;
    if (mode & 1) {
        if (size < 3) return 0;
        size_t cellLen = size_t(data[1]) | size_t(data[2]) << 8;
        if (cellLen > size - 3) cellLen = size - 3;
        const std::vector<uint8_t> cell(data + 3, data + 3 + cellLen);
        const std::vector<uint8_t> circuit(data + 3 + cellLen, data + size);
        file = buildContainer(circuit, cell);
    } else {
        file.assign(data + 1, data + size);
    }
    {
        std::ofstream out(scratchPath(), std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
    }
    try {
        const sbk::Document doc = sbk::loadPage(scratchPath(), pageIndex);
        const sbk::Rect r = doc.bounds();
        (void)doc.query(r, 0xFFFFFFFFu);
        (void)doc.stats();
    } catch (const std::exception&) {
    }
    return 0;
}
