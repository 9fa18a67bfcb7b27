#include "pcad/load.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "pcad/ascii.h"
#include "pcad/binary.h"
#include "pcad/utf8path.h"

namespace pcad {

std::vector<Page> loadFile(const std::string& utf8Path) {
    std::vector<std::uint8_t> bytes;
    {
        std::ifstream in = openInputFile(utf8Path);
        if (!in.is_open()) throw std::runtime_error("Cannot open file: " + utf8Path);
        char chunk[65536];
        while (in.read(chunk, sizeof chunk) || in.gcount() > 0)
            bytes.insert(bytes.end(), chunk, chunk + in.gcount());
    }
    return parse(bytes.data(), bytes.size());
}

std::vector<Page> parse(const std::uint8_t* data, std::size_t size) {
    if (data == nullptr || size <= 14) throw std::runtime_error("Empty or truncated file");
    static const char ascii[] = "ACCEL_ASCII";
    if (std::memcmp(data, ascii, 11) == 0) return readAscii(data, size);
    static const char magic[] = "Schematic Binary (Rev 5)";
    const std::size_t n = std::min<std::size_t>(size, 120);
    if (std::search(data, data + n, magic, magic + 24) != data + n) return readBinary(data, size);
    throw std::runtime_error("Unsupported P-CAD format");
}

}  // namespace pcad
