// The Windows-1251 decoder: ASCII runs copied whole, the other bytes through the caller's table.
#include "common/cp1251.h"

#include "common/ascii.h"
#include "common/utf8.h"

namespace common {

void appendCp1251(std::string& out, std::string_view bytes, const Cp1251Table& table) {
    while (!bytes.empty()) {
        const std::size_t run = asciiPrefix(bytes);
        out.append(bytes.data(), run);
        if (run == bytes.size()) break;
        const auto b = static_cast<std::uint8_t>(bytes[run]);
        if (b < 0xC0)
            appendUtf8(out, table.high[b - 0x80]);
        else
            appendUtf8(out, b + 0x350u);  // А..я in code page order
        bytes.remove_prefix(run + 1);
    }
}

}  // namespace common
