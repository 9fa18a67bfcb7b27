// The record view's lookups, the record list of a stream, and the typed getters of a field.
#include "schq/records.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <stdexcept>

#include "common/cp1251.h"
#include "common/number.h"
#include "schq/error.h"
#include "schq/record_fields.h"

namespace schq {
namespace {

// Records of up to this many fields are searched from the first field on.
constexpr std::size_t kLinearSearchLimit = 16;
constexpr std::string_view kFracSuffix = "_FRAC";
constexpr double kFracUnit = 100000.0;

// SchDoc text turns the undefined byte 0x98 into the replacement character.
constexpr common::Cp1251Table kCp1251 = common::cp1251Table(0xFFFD);

// Plain integers of up to 15 digits are exact in a double and need no general reading: most
// coordinates are written that way. False when the general reading could go further or differ.
bool parsePlainInteger(std::string_view s, double& value, std::size_t& end) {
    std::size_t i = 0;
    const bool negative = !s.empty() && s[0] == '-';
    if (!s.empty() && (s[0] == '+' || s[0] == '-')) i = 1;
    const std::size_t digitsStart = i;
    std::uint64_t magnitude = 0;
    while (i < s.size() && i - digitsStart < 16 && s[i] >= '0' && s[i] <= '9')
        magnitude = magnitude * 10 + static_cast<std::uint64_t>(s[i++] - '0');
    const std::size_t digits = i - digitsStart;
    if (digits == 0 || digits > 15) return false;
    if (i < s.size()) {
        const char c = s[i];
        if (c == '.' || c == 'e' || c == 'E' || ((c == 'x' || c == 'X') && digits == 1 && magnitude == 0))
            return false;
    }
    const double v = static_cast<double>(magnitude);
    value = negative ? -v : v;
    end = i;
    return true;
}

// A real as strtod reads it in the "C" locale, whatever locale the process has set. False for no
// number or a range error (too large, or so small that it falls below the normal range); `end` is
// the offset after the number.
bool parseReal(std::string_view s, double& value, std::size_t& end) {
    if (parsePlainInteger(s, value, end)) return true;
    return common::scanReal(s, value, end) == common::RealScan::Ok;
}

}  // namespace

std::size_t RecordView::lowerBound(std::string_view key) const {
    if (map_) return map_->lowerBound(key);
    return static_cast<std::size_t>(std::lower_bound(fields_, fields_ + size_, key, keyLess) - fields_);
}

std::size_t RecordView::indexOf(std::string_view key) const {
    if (map_) return map_->indexOf(key);
    // A record has a dozen fields or so: comparing heads, or lengths, first finds the key faster
    // than halving. Large records are searched by halving.
    if (heads_ && size_ <= kLinearSearchLimit) {
        const std::uint64_t head = keyWord(key, 0, key.data() + key.size());
        for (std::size_t i = 0; i < size_; ++i)
            if (heads_[i] == head && fields_[i].key.size() == key.size() &&
                (key.size() <= 8 || compareKeys(fields_[i].key.substr(8), key.substr(8)) == 0))
                return i;
        return size_;
    }
    if (size_ <= kLinearSearchLimit) {
        for (std::size_t i = 0; i < size_; ++i)
            if (fields_[i].key.size() == key.size() && compareKeys(fields_[i].key, key) == 0) return i;
        return size_;
    }
    const Property* it = std::lower_bound(fields_, fields_ + size_, key, keyLess);
    return it != fields_ + size_ && it->key == key ? static_cast<std::size_t>(it - fields_) : size_;
}

std::optional<std::string_view> RecordView::find(std::string_view key) const {
    const std::size_t i = indexOf(key);
    if (i == size()) return std::nullopt;
    return entry(i).value;
}

std::string_view RecordView::at(std::string_view key) const {
    const auto value = find(key);
    if (!value) throw std::out_of_range("schq::RecordView::at");
    return *value;
}

bool operator==(const RecordView& a, const RecordView& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const Property x = a.entry(i);
        const Property y = b.entry(i);
        if (x.key != y.key || x.value != y.value) return false;
    }
    return true;
}

RecordList::RecordList() = default;
RecordList::RecordList(RecordList&&) noexcept = default;
RecordList& RecordList::operator=(RecordList&&) noexcept = default;
RecordList::~RecordList() = default;

RecordList splitRecords(const std::vector<std::uint8_t>& stream) {
    RecordList list;
    list.text_.assign(stream.begin(), stream.end());
    // Field ranges first: the field array still grows while records are added.
    std::vector<std::pair<std::size_t, std::size_t>> ranges;
    FieldParser parser;
    forEachTextRecord(stream.data(), stream.size(), [&](std::size_t offset, std::size_t length) {
        parser.parse(list.text_.data() + offset, length);
        const std::string& decoded = parser.decodedText();
        const char* block = nullptr;
        if (!decoded.empty()) {
            list.decoded_.push_back(std::make_unique<char[]>(decoded.size()));
            block = list.decoded_.back().get();
            std::memcpy(list.decoded_.back().get(), decoded.data(), decoded.size());
        }
        ranges.emplace_back(list.fields_.size(), parser.fields().size());
        const std::less<const char*> before;
        for (Property p : parser.fields()) {
            const char* v = p.value.data();
            if (block && !p.value.empty() && !before(v, decoded.data()) &&
                before(v, decoded.data() + decoded.size()))
                p.value = std::string_view(block + (v - decoded.data()), p.value.size());
            list.fields_.push_back(p);
        }
    });
    list.records_.reserve(ranges.size());
    for (const auto& [first, count] : ranges) list.records_.emplace_back(list.fields_.data() + first, count);
    return list;
}

std::string getString(const RecordView& record, std::string_view key, const char* fallback) {
    if (const auto value = record.find(key)) return std::string(*value);
    return fallback ? std::string(fallback) : std::string();
}

std::int32_t getInt(const RecordView& record, std::string_view key, std::int32_t fallback) {
    const auto value = record.find(key);
    if (!value) return fallback;
    return common::parseInt32(*value).value_or(fallback);
}

double realWithFraction(std::optional<std::string_view> value, std::optional<std::string_view> fraction,
                        double fallback) {
    if (!value) return fallback;
    double v = 0;
    std::size_t end = 0;
    if (!parseReal(*value, v, end) || end != value->size() || !std::isfinite(v)) return fallback;
    if (fraction) {
        double f = 0;
        std::size_t fend = 0;
        if (!parseReal(*fraction, f, fend)) return fallback;
        v += f / kFracUnit;
    }
    return std::isfinite(v) ? v : fallback;
}

double getDouble(const RecordView& record, std::string_view key, double fallback) {
    const std::size_t i = record.indexOf(key);
    if (i == record.size()) return fallback;
    // The keys that start with `key` follow it in key order, its "_FRAC" companion among them.
    std::optional<std::string_view> fraction;
    for (std::size_t j = i + 1; j < record.size(); ++j) {
        const Property p = record.entry(j);
        if (p.key.size() < key.size() || compareKeys(p.key.substr(0, key.size()), key) != 0) break;
        if (p.key.size() == key.size() + kFracSuffix.size() && p.key.ends_with(kFracSuffix)) {
            fraction = p.value;
            break;
        }
    }
    return realWithFraction(record.entry(i).value, fraction, fallback);
}

std::uint32_t getColour(const RecordView& record, std::string_view key, std::uint32_t fallback) {
    const auto value = record.find(key);
    if (!value || value->empty()) return fallback;
    std::int64_t v = 0;
    std::size_t end = 0;
    if (common::scanInt(*value, v, end) != common::IntScan::Ok) return fallback;
    if (static_cast<std::uint64_t>(v) > 0xFFFFFFu) return fallback;
    return 0xFF000000u | static_cast<std::uint32_t>(v);
}

void appendCp1251(std::string& out, std::string_view bytes) { common::appendCp1251(out, bytes, kCp1251); }

std::string decodeCp1251(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() + 8);
    appendCp1251(out, bytes);
    return out;
}

}  // namespace schq
