#include "schq/records.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "schq/error.h"

namespace schq {

namespace {

constexpr std::size_t kMaxRecords = 2000000;
constexpr std::size_t kMaxKeyLength = 128;
constexpr std::string_view kUtf8Prefix = "%UTF8%";

// Windows-1251 0x80..0xBF. 0x98 is unassigned in the code page and maps to
// the replacement character.
constexpr std::uint16_t kCp1251High[64] = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, 0x20AC, 0x2030, 0x0409, 0x2039, 0x040A,
    0x040C, 0x040B, 0x040F, 0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0xFFFD, 0x2122,
    0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, 0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6,
    0x00A7, 0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407, 0x00B0, 0x00B1, 0x0406, 0x0456,
    0x0491, 0x00B5, 0x00B6, 0x00B7, 0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457,
};

bool startsWithUtf8Prefix(const std::string& key) {
    return key.size() >= kUtf8Prefix.size() && key.compare(0, kUtf8Prefix.size(), kUtf8Prefix) == 0;
}

enum class IntParse { Ok, NoDigits, Range };

// Base-10 integer as the C library reads a long long, independent of the
// locale: leading white space, optional sign, digits. `end` is the offset
// after the last digit.
IntParse parseInt64(const std::string& s, std::int64_t& value, std::size_t& end) {
    std::size_t i = 0;
    while (i < s.size() && (s[i] == ' ' || (s[i] >= '\t' && s[i] <= '\r'))) ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
        negative = s[i] == '-';
        ++i;
    }
    const std::size_t digitsStart = i;
    const std::uint64_t limit = negative ? 0x8000000000000000ull : 0x7FFFFFFFFFFFFFFFull;
    std::uint64_t magnitude = 0;
    bool overflow = false;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
        const auto d = static_cast<std::uint64_t>(s[i] - '0');
        if (magnitude > (limit - d) / 10)
            overflow = true;
        else
            magnitude = magnitude * 10 + d;
        ++i;
    }
    if (i == digitsStart) {
        end = 0;
        return IntParse::NoDigits;
    }
    end = i;
    if (overflow) return IntParse::Range;
    value = negative ? static_cast<std::int64_t>(0 - magnitude) : static_cast<std::int64_t>(magnitude);
    return IntParse::Ok;
}

// strtod on the value; false for no number or a range error. `end` is the
// offset after the number.
bool parseReal(const std::string& s, double& value, std::size_t& end) {
    const char* begin = s.c_str();
    char* stop = nullptr;
    errno = 0;
    const double v = std::strtod(begin, &stop);
    if (stop == begin || errno == ERANGE) return false;
    value = v;
    end = static_cast<std::size_t>(stop - begin);
    return true;
}

}  // namespace

std::vector<PropertyMap> splitRecords(const std::vector<std::uint8_t>& stream) {
    std::vector<PropertyMap> records;
    records.reserve(4096);
    const std::size_t size = stream.size();
    std::size_t pos = 0;
    while (pos < size) {
        if (size - pos < 4) throw Error("Truncated SchDoc record header");
        const std::uint32_t header = static_cast<std::uint32_t>(stream[pos]) |
                                     (static_cast<std::uint32_t>(stream[pos + 1]) << 8) |
                                     (static_cast<std::uint32_t>(stream[pos + 2]) << 16) |
                                     (static_cast<std::uint32_t>(stream[pos + 3]) << 24);
        const std::size_t length = header & 0x00FFFFFFu;
        const std::size_t body = pos + 4;
        if (length > size - body) throw Error("SchDoc record extends outside stream");
        if (records.size() > kMaxRecords) throw Error("Too many SchDoc records");
        const std::size_t next = body + length;
        if (header >= 0x01000000u) {
            pos = next;
            continue;
        }

        std::size_t end = next;
        while (end > body && stream[end - 1] == 0) --end;
        const char* text = reinterpret_cast<const char*>(stream.data());

        PropertyMap map;
        std::size_t field = body;
        while (field < end) {
            const void* bar = std::memchr(text + field, '|', end - field);
            const std::size_t fieldEnd =
                bar ? static_cast<std::size_t>(static_cast<const char*>(bar) - text) : end;
            const void* eq = std::memchr(text + field, '=', fieldEnd - field);
            if (eq) {
                const std::size_t eqPos = static_cast<std::size_t>(static_cast<const char*>(eq) - text);
                const std::size_t keyLength = eqPos - field;
                if (keyLength > 0 && keyLength <= kMaxKeyLength) {
                    std::string key = upperCase(std::string(text + field, keyLength));
                    std::string_view raw(text + eqPos + 1, fieldEnd - eqPos - 1);
                    std::string value = startsWithUtf8Prefix(key) ? std::string(raw) : decodeCp1251(raw);
                    map.insert_or_assign(std::move(key), std::move(value));
                }
            }
            if (!bar) break;
            field = fieldEnd + 1;
        }

        // A UTF-8 field wins over the plain field of the same name. Keys made
        // here sort after their source, so a doubled prefix is peeled too.
        for (auto it = map.begin(); it != map.end(); ++it) {
            if (startsWithUtf8Prefix(it->first))
                map.insert_or_assign(it->first.substr(kUtf8Prefix.size()), it->second);
        }

        records.push_back(std::move(map));
        pos = next;
    }
    return records;
}

std::string getString(const PropertyMap& map, const char* key, const char* fallback) {
    const auto it = map.find(std::string_view(key));
    if (it != map.end()) return it->second;
    return fallback ? std::string(fallback) : std::string();
}

std::int32_t getInt(const PropertyMap& map, const char* key, std::int32_t fallback) {
    const auto it = map.find(std::string_view(key));
    if (it == map.end()) return fallback;
    std::int64_t v = 0;
    std::size_t end = 0;
    if (parseInt64(it->second, v, end) != IntParse::Ok) return fallback;
    if (end != it->second.size()) return fallback;
    if (v < std::numeric_limits<std::int32_t>::min() || v > std::numeric_limits<std::int32_t>::max())
        return fallback;
    return static_cast<std::int32_t>(v);
}

double getDouble(const PropertyMap& map, const char* key, double fallback) {
    const auto it = map.find(std::string_view(key));
    if (it == map.end()) return fallback;
    double v = 0;
    std::size_t end = 0;
    if (!parseReal(it->second, v, end) || end != it->second.size() || !std::isfinite(v)) return fallback;

    const auto frac = map.find(std::string(key) + "_FRAC");
    if (frac != map.end()) {
        double f = 0;
        std::size_t fend = 0;
        if (!parseReal(frac->second, f, fend)) return fallback;
        v += f / 100000.0;
    }
    return std::isfinite(v) ? v : fallback;
}

std::uint32_t getColour(const PropertyMap& map, const char* key, std::uint32_t fallback) {
    const std::string value = getString(map, key, "");
    if (value.empty()) return fallback;
    std::int64_t v = 0;
    std::size_t end = 0;
    if (parseInt64(value, v, end) != IntParse::Ok) return fallback;
    if (static_cast<std::uint64_t>(v) > 0xFFFFFFu) return fallback;
    return 0xFF000000u | static_cast<std::uint32_t>(v);
}

std::string decodeCp1251(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() + 8);
    for (char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x80)
            out.push_back(c);
        else if (b >= 0xC0)
            appendUtf8(out, b + 0x350u);
        else
            appendUtf8(out, kCp1251High[b - 0x80]);
    }
    return out;
}

void appendUtf8(std::string& out, std::uint32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xE0 | ((cp >> 12) & 0x0F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

std::string upperCase(std::string text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return text;
}

}  // namespace schq
