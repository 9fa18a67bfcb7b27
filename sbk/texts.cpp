// Text records of SBK streams: found by their two-byte head and accepted only
// with a plausible position, length and mostly printable text.
#include "sbk/cp1252.h"
#include "sbk/scan.h"

namespace sbk {

KindSet makeKindSet(const std::vector<int>& kinds) {
    KindSet set{};
    for (int k : kinds)
        if (k >= 0 && k <= 255) set[static_cast<std::size_t>(k)] = true;
    return set;
}

std::string decodeText(const std::vector<std::uint8_t>& data, const RawText& raw) {
    return decodeCp1252(data.data() + raw.offset + kTextHead, raw.trimmed);
}

std::vector<TextRecord> scanTexts(const std::vector<std::uint8_t>& data, const std::vector<int>& kinds,
                                  std::size_t start, std::size_t end) {
    std::vector<TextRecord> out;
    forEachText(data, makeKindSet(kinds), start, end, [&](const RawText& raw) {
        TextRecord rec;
        rec.offset = raw.offset;
        rec.kind = raw.kind;
        rec.x = raw.x;
        rec.y = raw.y;
        rec.text = decodeText(data, raw);
        out.push_back(std::move(rec));
        return true;
    });
    return out;
}

}  // namespace sbk
