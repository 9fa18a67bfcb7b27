#include "common/cp1251.h"

#include "common/utf8.h"

namespace common {

void appendCp1251(std::string& out, std::string_view bytes, const Cp1251Table& table) {
    for (const char c : bytes) {
        const auto b = static_cast<std::uint8_t>(c);
        if (b < 0x80)
            out.push_back(c);
        else if (b < 0xC0)
            appendUtf8(out, table.high[b - 0x80]);
        else
            appendUtf8(out, b + 0x350u);  // А..я in code page order
    }
}

}  // namespace common
