// The markers of the Circuit stream and the cell name that stands before a symbol instance's
// marker.
#include "sbk/scan.h"

#include <algorithm>
#include <cstring>

namespace sbk {

namespace {

bool isLetter(std::uint8_t b) { return (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z'); }
bool isIdentByte(std::uint8_t b) {
    return isLetter(b) || (b >= '0' && b <= '9') || b == '-' || b == '/' || b == '_';
}

}  // namespace

std::vector<std::size_t> findMarkers(const std::vector<std::uint8_t>& data, std::uint8_t b0, std::uint8_t b1,
                                     std::uint8_t b2, std::size_t start, std::size_t end) {
    std::vector<std::size_t> out;
    const std::size_t e = std::min(end, data.size());
    if (e < 3) return out;
    const std::uint8_t* d = data.data();
    // Jump between occurrences of the last byte: the markers begin with 00,
    // the commonest byte of a stream.
    for (std::size_t p = start; p <= e - 3; ++p) {
        const void* hit = std::memchr(d + p + 2, b2, e - 3 - p + 1);
        if (!hit) break;
        p = static_cast<std::size_t>(static_cast<const std::uint8_t*>(hit) - d) - 2;
        if (d[p] == b0 && d[p + 1] == b1) out.push_back(p);
    }
    return out;
}

std::string findInstanceName(const std::vector<std::uint8_t>& data, std::size_t V) {
    if (V < 44 || V > data.size()) return {};
    const std::uint8_t* d = data.data();
    // A length byte followed by printable ASCII that ends 44 bytes before the
    // marker; the earliest start, i.e. the longest name, wins.
    const std::size_t E = V - 44;
    for (std::size_t i = E > 70 ? E - 70 : 0; i < E; ++i) {
        const std::size_t L = d[i];
        if (L < 2 || L > 40 || i + 1 + L != E) continue;
        bool printable = true;
        for (std::size_t k = i + 1; k < E; ++k)
            if (d[k] < 0x20 || d[k] > 0x7E) {
                printable = false;
                break;
            }
        if (printable) return std::string(reinterpret_cast<const char*>(d + i + 1), L);
    }
    // Otherwise the last identifier-like run near the marker.
    const std::size_t lo = V > 104 ? V - 104 : 0;
    const std::size_t hi = V - 41;  // inclusive
    std::string candidate;
    std::size_t runStart = kNone;
    auto closeRun = [&](std::size_t endPos) {
        if (runStart != kNone && endPos - runStart >= 4 && isLetter(d[runStart]))
            candidate.assign(reinterpret_cast<const char*>(d + runStart), endPos - runStart);
        runStart = kNone;
    };
    for (std::size_t i = lo; i <= hi; ++i) {
        if (isIdentByte(d[i])) {
            if (runStart == kNone) runStart = i;
        } else {
            closeRun(i);
        }
    }
    closeRun(hi + 1);
    return candidate;
}

}  // namespace sbk
