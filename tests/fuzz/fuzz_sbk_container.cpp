// Arbitrary bytes as an SBK container: open it, list its pages and read every
// page stream, the cell table of contents and a few bare names.
#include <unistd.h>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <fstream>
#include <string>
#include <vector>

#include "sbk/compound_file.h"

namespace {

// The reader takes a path, so each input goes through one file per process,
// removed when the process ends.
struct Scratch {
    std::string path = "/tmp/kg_fuzz_sbk_container_" + std::to_string(::getpid()) + ".sbk";
    ~Scratch() { std::remove(path.c_str()); }
};

const std::string& scratchPath() {
    static const Scratch scratch;
    return scratch.path;
}

void readQuietly(const sbk::CompoundFile& file, const std::string& path) {
    try {
        const std::vector<std::uint8_t> bytes = file.readStream(path);
        if (bytes.size() >= 4) (void)sbk::readU32(bytes, bytes.size() - 4);
        (void)sbk::decodeCp1252(bytes.data(), bytes.size() < 256 ? bytes.size() : 256);
    } catch (const std::exception&) {
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    {
        std::ofstream out(scratchPath(), std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    try {
        const sbk::CompoundFile file = sbk::CompoundFile::open(scratchPath());
        for (const std::string& page : sbk::listPageStreams(file)) readQuietly(file, page);
        for (const char* name : {"Celltypes/Table of Contents", "Celltypes/0", "Circuit", "Root Entry"})
            readQuietly(file, name);
        for (const auto& entry : file.entries()) (void)entry.name.size();
    } catch (const std::exception&) {
    }
    return 0;
}
