// Reading a ".sch" file whole and handing it to the reader of its encoding.
#include "pcad/load.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "common/file.h"
#include "pcad/ascii.h"
#include "pcad/binary.h"
#include "pcad/utf8path.h"

namespace pcad {

std::vector<Page> loadFile(const std::string& utf8Path) {
    std::vector<std::uint8_t> bytes;
    switch (common::readFile(utf8Path, bytes)) {
        case common::ReadStatus::BadPath: throwInvalidPath();
        // A file whose size cannot be known (or held) is not read at all: reading to its end
        // might never end.
        case common::ReadStatus::CannotOpen:
        case common::ReadStatus::BadSize: throw std::runtime_error("Cannot open file: " + utf8Path);
        // A file that shrank while it was read is parsed as far as it came, as before.
        case common::ReadStatus::Short:
        case common::ReadStatus::Ok: break;
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
