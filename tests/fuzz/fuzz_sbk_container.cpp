// Arbitrary bytes as an SBK container: open it, list its pages and read every
// page stream, the cell table of contents and a few bare names. A page stream
// taken out of the file must equal the read one, bytes or error.
#include <unistd.h>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "sbk/compound_file.h"
#include "sbk/cp1252.h"

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

// The bytes of a stream, or its error message.
std::string streamOrError(const std::function<std::vector<std::uint8_t>()>& read) {
    try {
        const std::vector<std::uint8_t> bytes = read();
        return std::string(bytes.begin(), bytes.end());
    } catch (const std::exception& e) {
        return std::string("error: ") + e.what();
    }
}

// A stream taken out of a newly opened file must equal the one read.
void compareTaken(const sbk::CompoundFile& file, const std::string& path) {
    const std::string read = streamOrError([&] { return file.readStream(path); });
    const std::string taken =
        streamOrError([&] { return sbk::CompoundFile::open(scratchPath()).takeStream(path); });
    if (read != taken) __builtin_trap();
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
        for (const std::string& page : sbk::listPageStreams(file)) {
            readQuietly(file, page);
            compareTaken(file, page);
        }
        for (const char* name : {"Celltypes/Table of Contents", "Celltypes/0", "Circuit", "Root Entry"})
            readQuietly(file, name);
        for (const auto& entry : file.entries()) (void)entry.name.size();
    } catch (const std::exception&) {
    }
    return 0;
}
