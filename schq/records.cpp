#include "schq/records.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <map>
#include <stdexcept>

#include "common/ascii.h"
#include "common/cp1251.h"
#include "common/number.h"
#include "schq/error.h"
#include "schq/record_fields.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace schq {

namespace {

constexpr std::size_t kMaxKeyLength = 128;
constexpr std::size_t kLinearSearchLimit = 16;
constexpr std::string_view kUtf8Prefix = "%UTF8%";
constexpr std::string_view kFracSuffix = "_FRAC";
constexpr double kFracUnit = 100000.0;

// SchDoc text turns the undefined byte 0x98 into the replacement character.
constexpr common::Cp1251Table kCp1251 = common::cp1251Table(0xFFFD);

void appendCp1251(std::string& out, std::string_view bytes) { common::appendCp1251(out, bytes, kCp1251); }

// Byte order of two keys, -1, 0 or 1. Keys are short and mostly differ early, where a plain loop
// beats a call of memcmp.
int compareKeys(std::string_view a, std::string_view b) {
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const auto x = static_cast<unsigned char>(a[i]);
        const auto y = static_cast<unsigned char>(b[i]);
        if (x != y) return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : a.size() < b.size() ? -1 : 1;
}

bool keyLess(const Property& p, std::string_view key) { return compareKeys(p.key, key) < 0; }

// a..z of eight bytes upper-cased; every other byte unchanged.
std::uint64_t upperCasedWord(std::uint64_t w) {
    constexpr std::uint64_t kOnes = 0x0101010101010101ull;
    constexpr std::uint64_t kHighs = 0x8080808080808080ull;
    const std::uint64_t low7 = w & ~kHighs;
    // High bit of each byte: at least 'a', above 'z', and the byte's own high bit.
    const std::uint64_t fromA = low7 + kOnes * (0x80 - 'a');
    const std::uint64_t pastZ = low7 + kOnes * (0x80 - 'z' - 1);
    const std::uint64_t lower = fromA & ~pastZ & ~w & kHighs;
    return w ^ (lower >> 2);  // 0x20 in each lower-case byte
}

// Upper-cases the bytes of `keep` (a mask of whole bytes) among the eight at `p`.
void upperCaseWord(char* p, std::uint64_t keep) {
    std::uint64_t w;
    std::memcpy(&w, p, 8);
    w = (upperCasedWord(w) & keep) | (w & ~keep);
    std::memcpy(p, &w, 8);
}

#if defined(__SSE2__)
// Sixteen 0xFF bytes, then sixteen zero bytes: read from 16 - n on, a mask of the first n bytes.
alignas(16) constexpr unsigned char kLeadingBytes[32] = {
    0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
};
#endif

// Upper-cases a..z of [p, end) in place: most keys are written in mixed case. Bytes up to `limit`
// may be read (and are written back unchanged), so that a key of up to sixteen bytes takes one
// step; upper-casing twice changes nothing, so the words of a longer key may overlap.
void upperCaseAscii(char* p, char* end, const char* limit) {
    const auto n = static_cast<std::size_t>(end - p);
#if defined(__SSE2__)
    if (n <= 16 && limit - p >= 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m128i keep = _mm_loadu_si128(reinterpret_cast<const __m128i*>(kLeadingBytes + 16 - n));
        // Signed compares: bytes of 0x80 and above are below 'a'.
        const __m128i lower = _mm_and_si128(_mm_cmpgt_epi8(v, _mm_set1_epi8('a' - 1)),
                                            _mm_cmpgt_epi8(_mm_set1_epi8('z' + 1), v));
        const __m128i flip = _mm_and_si128(_mm_and_si128(lower, keep), _mm_set1_epi8(0x20));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(p), _mm_xor_si128(v, flip));
        return;
    }
#endif
    if constexpr (std::endian::native == std::endian::little) {
        if (n >= 8) {
            for (; end - p > 8; p += 8) upperCaseWord(p, ~std::uint64_t{0});
            upperCaseWord(end - 8, ~std::uint64_t{0});
            return;
        }
        if (limit - p >= 8) {
            upperCaseWord(p, (std::uint64_t{1} << (8 * n)) - 1);
            return;
        }
    }
    for (; p < end; ++p) *p = common::asciiUpper(*p);
}

// Whether `key` upper-cased is `upper`.
bool sameUpperCased(std::string_view upper, std::string_view key) {
    if (upper.size() != key.size()) return false;
    for (std::size_t i = 0; i < key.size(); ++i)
        if (common::asciiUpper(key[i]) != upper[i]) return false;
    return true;
}

// Whether the key starts with "%UTF8%", ignoring the case of its letters.
bool hasUtf8Prefix(std::string_view key) {
    if (key.size() < kUtf8Prefix.size() || key[0] != '%') return false;
    for (std::size_t i = 1; i < kUtf8Prefix.size(); ++i)
        if (common::asciiUpper(key[i]) != kUtf8Prefix[i]) return false;
    return true;
}

enum class IntParse { Ok, NoDigits, Range };

// Base-10 integer as the C library reads a long long, independent of the
// locale: leading white space, optional sign, digits. `end` is the offset
// after the last digit.
IntParse parseInt64(std::string_view s, std::int64_t& value, std::size_t& end) {
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

// ---- PropertyMap ----

struct PropertyMap::Owned {
    std::vector<std::pair<std::string, std::string>> entries;  // sorted by key
};

PropertyMap::PropertyMap(std::initializer_list<std::pair<std::string, std::string>> entries) {
    for (const auto& [key, value] : entries) emplace(key, value);
}

PropertyMap::PropertyMap(const PropertyMap& other) {
    if (other.empty()) return;
    owned_ = std::make_unique<Owned>();
    owned_->entries.reserve(other.size());
    for (std::size_t i = 0; i < other.size(); ++i) {
        const Property p = other.entry(i);
        owned_->entries.emplace_back(std::string(p.key), std::string(p.value));
    }
}

PropertyMap& PropertyMap::operator=(const PropertyMap& other) {
    if (this != &other) *this = PropertyMap(other);
    return *this;
}

PropertyMap::PropertyMap(PropertyMap&& other) noexcept
    : fields_(std::exchange(other.fields_, nullptr)),
      heads_(std::exchange(other.heads_, nullptr)),
      size_(std::exchange(other.size_, 0)),
      owned_(std::move(other.owned_)) {}

PropertyMap& PropertyMap::operator=(PropertyMap&& other) noexcept {
    fields_ = std::exchange(other.fields_, nullptr);
    heads_ = std::exchange(other.heads_, nullptr);
    size_ = std::exchange(other.size_, 0);
    owned_ = std::move(other.owned_);
    return *this;
}

PropertyMap::PropertyMap() = default;
PropertyMap::~PropertyMap() = default;

PropertyMap PropertyMap::view(const Property* fields, std::size_t count, const std::uint64_t* heads) {
    PropertyMap map;
    map.fields_ = fields;
    map.heads_ = heads;
    map.size_ = count;
    return map;
}

std::size_t PropertyMap::size() const { return owned_ ? owned_->entries.size() : size_; }

Property PropertyMap::entry(std::size_t index) const {
    if (owned_) return {owned_->entries[index].first, owned_->entries[index].second};
    return fields_[index];
}

std::size_t PropertyMap::lowerBound(std::string_view key) const {
    if (owned_) {
        const auto& e = owned_->entries;
        return static_cast<std::size_t>(
            std::lower_bound(e.begin(), e.end(), key,
                             [](const auto& p, std::string_view k) { return p.first < k; }) -
            e.begin());
    }
    return static_cast<std::size_t>(std::lower_bound(fields_, fields_ + size_, key, keyLess) - fields_);
}

std::size_t PropertyMap::indexOf(std::string_view key) const {
    if (owned_) {
        const std::size_t i = lowerBound(key);
        return i < owned_->entries.size() && owned_->entries[i].first == key ? i : owned_->entries.size();
    }
    // A record has a dozen fields or so: comparing heads, or lengths, first finds the key faster
    // than halving. Large records are searched by halving.
    if (heads_ && size_ <= kLinearSearchLimit) {
        const std::uint64_t head = FieldParser::wordOf(key, 0, key.data() + key.size());
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

std::optional<std::string_view> PropertyMap::find(std::string_view key) const {
    const std::size_t i = indexOf(key);
    if (i == size()) return std::nullopt;
    return entry(i).value;
}

std::string_view PropertyMap::at(std::string_view key) const {
    const auto value = find(key);
    if (!value) throw std::out_of_range("schq::PropertyMap::at");
    return *value;
}

PropertyMap::Owned& PropertyMap::own() {
    if (!owned_) {
        auto owned = std::make_unique<Owned>();
        owned->entries.reserve(size_);
        for (std::size_t i = 0; i < size_; ++i)
            owned->entries.emplace_back(std::string(fields_[i].key), std::string(fields_[i].value));
        owned_ = std::move(owned);
        fields_ = nullptr;
        heads_ = nullptr;
        size_ = 0;
    }
    return *owned_;
}

std::string& PropertyMap::operator[](std::string_view key) {
    auto& e = own().entries;
    const auto it = e.begin() + static_cast<std::ptrdiff_t>(lowerBound(key));
    if (it != e.end() && it->first == key) return it->second;
    return e.emplace(it, std::string(key), std::string())->second;
}

bool PropertyMap::emplace(std::string_view key, std::string_view value) {
    auto& e = own().entries;
    const auto it = e.begin() + static_cast<std::ptrdiff_t>(lowerBound(key));
    if (it != e.end() && it->first == key) return false;
    e.emplace(it, std::string(key), std::string(value));
    return true;
}

bool operator==(const PropertyMap& a, const PropertyMap& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const Property x = a.entry(i);
        const Property y = b.entry(i);
        if (x.key != y.key || x.value != y.value) return false;
    }
    return true;
}

// ---- Parsing ----

namespace {

// Bit i of each marks byte i of a block of 64 bytes.
struct BlockMasks {
    std::uint64_t bars = 0;
    std::uint64_t equals = 0;
    std::uint64_t highs = 0;  // 0x80 and above
};

#if defined(__SSE2__)
// The masks of sixteen bytes, in their low 16 bits.
BlockMasks markChunk(const char* p) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const auto bits = [](__m128i hits) {
        return std::uint64_t{static_cast<std::uint16_t>(_mm_movemask_epi8(hits))};
    };
    BlockMasks m;
    m.bars = bits(_mm_cmpeq_epi8(v, _mm_set1_epi8('|')));
    m.equals = bits(_mm_cmpeq_epi8(v, _mm_set1_epi8('=')));
    m.highs = bits(v);
    return m;
}
#endif

// The masks of bytes [at, at + 64) of a body, those past its end clear. Sixteen bytes at a time;
// the last few of a body of 16 bytes or more are taken from the sixteen that end it, so that no
// byte is tested alone and none past the body is read.
BlockMasks markBlock(const char* body, std::size_t length, std::size_t at) {
    BlockMasks m;
    const std::size_t count = std::min<std::size_t>(length - at, 64);
    std::size_t i = 0;
#if defined(__SSE2__)
    const auto add = [&m](const BlockMasks& c, unsigned shift) {
        m.bars |= c.bars << shift;
        m.equals |= c.equals << shift;
        m.highs |= c.highs << shift;
    };
    for (; count - i >= 16; i += 16) add(markChunk(body + at + i), static_cast<unsigned>(i));
    if (i < count && length >= 16) {
        // The chunk ends at the body's end; its bytes before `at + i` are dropped.
        const auto before = static_cast<unsigned>(16 - (count - i));
        BlockMasks c = markChunk(body + length - 16);
        c.bars >>= before;
        c.equals >>= before;
        c.highs >>= before;
        add(c, static_cast<unsigned>(i));
        return m;
    }
#endif
    for (; i < count; ++i) {
        const auto b = static_cast<unsigned char>(body[at + i]);
        m.bars |= std::uint64_t{b == '|'} << i;
        m.equals |= std::uint64_t{b == '='} << i;
        m.highs |= std::uint64_t{b >= 0x80} << i;
    }
    return m;
}

// Whether one of bits [from, to) of the masks is set.
bool anyBit(const std::vector<std::uint64_t>& masks, std::size_t from, std::size_t to) {
    if (from >= to) return false;
    const std::size_t first = from / 64;
    const std::size_t last = (to - 1) / 64;
    const std::uint64_t head = ~std::uint64_t{0} << (from % 64);
    const std::uint64_t tail = ~std::uint64_t{0} >> (63 - (to - 1) % 64);
    if (first == last) return (masks[first] & head & tail) != 0;
    if (masks[first] & head) return true;
    for (std::size_t w = first + 1; w < last; ++w)
        if (masks[w]) return true;
    return (masks[last] & tail) != 0;
}

}  // namespace

void FieldMarks::mark(const char* body, std::size_t length) {
    length_ = length;
    words_ = (length + 63) / 64;
    if (bars_.size() < words_) {
        bars_.resize(words_);
        marks_.resize(words_);
        highs_.resize(words_);
    }
    highCount_ = 0;
    std::uint64_t barBefore = 1;  // the body's start begins a field as a '|' before it would
    std::uint64_t carry = 0;
    for (std::size_t w = 0; w < words_; ++w) {
        const BlockMasks m = markBlock(body, length, w * 64);
        // Adding a bit at each field's start carries it through the bytes that are no separator,
        // up to the field's first separator, whose bit it sets: the key's end when that is a '='.
        const std::uint64_t starts = (m.bars << 1) | barBefore;
        const std::uint64_t plain = ~(m.bars | m.equals);
        const std::uint64_t partial = plain + starts;
        const std::uint64_t sum = partial + carry;
        carry = (partial < plain || sum < partial) ? 1 : 0;
        barBefore = m.bars >> 63;
        bars_[w] = m.bars;
        marks_[w] = m.bars | (sum & m.equals);
        highs_[w] = m.highs;
        if (m.highs) highCount_ += static_cast<std::size_t>(std::popcount(m.highs));
    }
}

bool FieldMarks::anyHigh(std::size_t from, std::size_t to) const {
    return highCount_ && anyBit(highs_, from, to);
}

template <bool kUpperCase, typename OnField>
void FieldParser::forEachField(char* body, std::size_t length, OnField&& onField) {
    decoded_.clear();
    body_ = body;
    marks_.mark(body, length);
    // Decoding turns a byte into at most three, so the buffer never moves under its views.
    if (const std::size_t high = marks_.highBytes()) decoded_.reserve(length + 2 * high);

    marks_.forEachField([&](std::size_t keyStart, std::size_t keyEnd, std::size_t valueEnd) {
        const std::size_t keyLength = keyEnd - keyStart;
        if (keyLength == 0 || keyLength > kMaxKeyLength) return true;
        if constexpr (kUpperCase) upperCaseAscii(body + keyStart, body + keyEnd, body + length);
        return onField(std::string_view(body + keyStart, keyLength),
                       std::string_view(body + keyEnd + 1, valueEnd - keyEnd - 1));
    });
}

std::string_view FieldParser::decoded(std::string_view key, std::string_view value) {
    // "%UTF8%" values are UTF-8 already; the others are Windows-1251.
    if (!marks_.highBytes() || key.starts_with(kUtf8Prefix)) return value;
    const auto from = static_cast<std::size_t>(value.data() - body_);
    if (!marks_.anyHigh(from, from + value.size())) return value;
    const std::size_t start = decoded_.size();
    appendCp1251(decoded_, value);
    return std::string_view(decoded_.data() + start, decoded_.size() - start);
}

PropertyMap FieldParser::parse(char* body, std::size_t length) {
    fields_.clear();
    heads_.clear();
    bool percent = false;  // some key starts with '%', as "%UTF8%" does
    forEachField<true>(body, length, [&](std::string_view key, std::string_view value) {
        percent = percent || key[0] == '%';
        heads_.push_back(headOf(key, body + length));
        Property& field = fields_.emplace_back();
        field.key = key;
        field.value = value;
        return true;
    });
    if (marks_.highBytes())
        for (Property& field : fields_) field.value = decoded(field.key, field.value);
    sortFields();
    if (!percent) return PropertyMap::view(fields_.data(), fields_.size(), sortedHeads_.data());
    promoteUtf8Keys();
    return PropertyMap::view(fields_.data(), fields_.size());
}

KeySet::KeySet(std::span<const std::string_view> keys)
    : keys_(keys), first_(kBuckets, -1), next_(keys.size(), -1) {
    for (std::size_t i = keys.size(); i-- > 0;) {
        const std::size_t bucket = bucketOf(keys[i]);
        next_[i] = first_[bucket];
        first_[bucket] = static_cast<int>(i);
    }
    for (const std::string_view key : keys) words_.push_back(wordsOf(key, key.data() + key.size()));
}

KeySet::Words KeySet::wordsOf(std::string_view key, const char* readableEnd) {
    Words w;
    const std::size_t n = key.size();
    if (std::endian::native == std::endian::little && readableEnd - key.data() >= 8) {
        // Without a branch on the length, which varies from key to key.
        std::memcpy(&w.first, key.data(), 8);
        w.first &= ~std::uint64_t{0} >> (8 * (8 - std::min<std::size_t>(n, 8)));
        std::memcpy(&w.last, key.data() + (n >= 8 ? n - 8 : 0), 8);
        w.first = upperCasedWord(w.first);
        w.last = n >= 8 ? upperCasedWord(w.last) : w.first;
        return w;
    }
    if (n >= 8) {
        std::memcpy(&w.first, key.data(), 8);
        std::memcpy(&w.last, key.data() + n - 8, 8);
        w.first = upperCasedWord(w.first);
        w.last = upperCasedWord(w.last);
        return w;
    }
    std::memcpy(&w.first, key.data(), n);
    w.first = upperCasedWord(w.first);
    w.last = w.first;
    return w;
}

int KeySet::find(std::string_view key, const char* readableEnd) const {
    int i = first_[bucketOf(key)];
    if (i < 0) return -1;
    const Words w = wordsOf(key, readableEnd);
    for (; i >= 0; i = next_[static_cast<std::size_t>(i)]) {
        const auto k = static_cast<std::size_t>(i);
        if (keys_[k].size() != key.size() || words_[k].first != w.first || words_[k].last != w.last) continue;
        if (key.size() <= 16 || sameUpperCased(keys_[k], key)) return i;
    }
    return -1;
}

std::span<const std::string_view> FieldParser::values(char* body, std::size_t length, const KeySet& keys) {
    values_.assign(keys.size(), std::string_view());
    bool utf8 = false;
    // Keys are matched ignoring case, and left as they are: only the records drawn need theirs
    // upper-cased.
    forEachField<false>(body, length, [&](std::string_view key, std::string_view value) {
        if (hasUtf8Prefix(key)) {
            utf8 = true;
            return false;
        }
        if (const int k = keys.find(key, body + length); k >= 0) values_[static_cast<std::size_t>(k)] = value;
        return true;
    });
    if (utf8) {
        const PropertyMap whole = parse(body, length);
        for (std::size_t k = 0; k < keys.size(); ++k)
            values_[k] = whole.find(keys[k]).value_or(std::string_view());
        return values_;
    }
    // A later field of a key has replaced an earlier one. Values are decoded only now, once each.
    if (marks_.highBytes())
        for (std::size_t k = 0; k < keys.size(); ++k)
            if (values_[k].data()) values_[k] = decoded(keys[k], values_[k]);
    return values_;
}

PropertyMap FieldParser::parse(char* body, std::size_t length, const KeySet& keys) {
    const std::span<const std::string_view> found = values(body, length, keys);
    fields_.clear();
    for (std::size_t k = 0; k < keys.size(); ++k)
        if (found[k].data()) fields_.push_back({keys[k], found[k]});
    return PropertyMap::view(fields_.data(), fields_.size());
}

std::uint64_t FieldParser::wordOf(std::string_view key, std::size_t at, const char* readableEnd) {
    if (at >= key.size()) return 0;
    const std::size_t n = std::min<std::size_t>(key.size() - at, 8);
    std::uint64_t word = 0;
    if (std::endian::native == std::endian::little && readableEnd - (key.data() + at) >= 8) {
        std::memcpy(&word, key.data() + at, 8);
        if (n < 8) word &= (std::uint64_t{1} << (8 * n)) - 1;
        return __builtin_bswap64(word);
    }
    for (std::size_t i = 0; i < 8; ++i)
        word = (word << 8) | (i < n ? static_cast<unsigned char>(key[at + i]) : 0u);
    return word;
}

FieldParser::Head FieldParser::headOf(std::string_view key, const char* readableEnd) {
    return {wordOf(key, 0, readableEnd), wordOf(key, 8, readableEnd)};
}

void FieldParser::sortFields() {
    // Keys view the body in field order, so their addresses break ties: equal keys stay in field
    // order, and the last of them wins, as a later field replaces an earlier one. A record has a
    // dozen fields or so: they are sorted by insertion, mostly on their first sixteen bytes, in
    // which keys whose heads differ are ordered as their heads are.
    const std::size_t n = fields_.size();
    order_.resize(n);
    for (std::size_t i = 0; i < n; ++i) order_[i] = {heads_[i], static_cast<std::uint32_t>(i)};
    const auto less = [this](const SortKey& a, const SortKey& b) {
        if (a.head.high != b.head.high) return a.head.high < b.head.high;
        if (a.head.low != b.head.low) return a.head.low < b.head.low;
        const int c = compareKeys(fields_[a.index].key, fields_[b.index].key);
        return c < 0 || (c == 0 && a.index < b.index);
    };
    if (n <= kInsertionSortLimit) {
        for (std::size_t i = 1; i < n; ++i) {
            const SortKey k = order_[i];
            std::size_t j = i;
            for (; j > 0 && less(k, order_[j - 1]); --j) order_[j] = order_[j - 1];
            order_[j] = k;
        }
    } else {
        std::sort(order_.begin(), order_.end(), less);
    }
    merged_.clear();
    sortedHeads_.clear();
    for (std::size_t i = 0; i < n; ++i) {
        const Property& field = fields_[order_[i].index];
        if (i + 1 < n && order_[i + 1].head.high == order_[i].head.high &&
            order_[i + 1].head.low == order_[i].head.low && fields_[order_[i + 1].index].key == field.key)
            continue;
        merged_.push_back(field);
        sortedHeads_.push_back(order_[i].head.high);
    }
    fields_.swap(merged_);
}

// A "%UTF8%" field also gives its value to the key without the prefix, winning over a plain field
// of that name whatever their order.
void FieldParser::promoteUtf8Keys() {
    const auto first = std::lower_bound(fields_.begin(), fields_.end(), kUtf8Prefix, keyLess);
    auto last = first;
    bool chained = false;
    for (; last != fields_.end() && last->key.starts_with(kUtf8Prefix); ++last)
        chained = chained || last->key.substr(kUtf8Prefix.size()).starts_with(kUtf8Prefix);
    if (first == last) return;

    if (chained) {
        // A doubled prefix makes keys that are prefixed again and are themselves visited when
        // they sort after their source: walked in key order, as an ordered map does it.
        std::map<std::string_view, std::string_view> map;
        for (const Property& p : fields_) map.emplace(p.key, p.value);
        for (auto it = map.begin(); it != map.end(); ++it)
            if (it->first.starts_with(kUtf8Prefix))
                map.insert_or_assign(it->first.substr(kUtf8Prefix.size()), it->second);
        fields_.clear();
        for (const auto& [key, value] : map) fields_.push_back({key, value});
        return;
    }

    // Without a doubled prefix the new keys carry no prefix and are ascending like their
    // sources: one merge.
    merged_.clear();
    merged_.reserve(fields_.size() + static_cast<std::size_t>(last - first));
    auto next = fields_.begin();
    for (auto source = first; source != last; ++source) {
        const Property target{source->key.substr(kUtf8Prefix.size()), source->value};
        while (next != fields_.end() && next->key < target.key) merged_.push_back(*next++);
        if (next != fields_.end() && next->key == target.key) ++next;
        merged_.push_back(target);
    }
    merged_.insert(merged_.end(), next, fields_.end());
    fields_.swap(merged_);
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
    for (const auto& [first, count] : ranges)
        list.records_.push_back(PropertyMap::view(list.fields_.data() + first, count));
    return list;
}

// ---- Getters ----

std::string getString(const PropertyMap& map, std::string_view key, const char* fallback) {
    if (const auto value = map.find(key)) return std::string(*value);
    return fallback ? std::string(fallback) : std::string();
}

std::optional<std::int32_t> parseInt32(std::string_view value) {
    // Most values are a few plain digits, perhaps negative, which cannot leave the range.
    const bool negative = !value.empty() && value[0] == '-';
    const std::string_view digitText = value.substr(negative ? 1 : 0);
    if (!digitText.empty() && digitText.size() <= 9) {
        std::uint32_t digits = 0;
        bool plain = true;
        for (const char c : digitText) {
            plain = plain && c >= '0' && c <= '9';
            digits = digits * 10 + static_cast<std::uint32_t>(static_cast<unsigned char>(c) - '0');
        }
        if (plain) return negative ? -static_cast<std::int32_t>(digits) : static_cast<std::int32_t>(digits);
    }
    std::int64_t v = 0;
    std::size_t end = 0;
    if (parseInt64(value, v, end) != IntParse::Ok || end != value.size()) return std::nullopt;
    if (v < std::numeric_limits<std::int32_t>::min() || v > std::numeric_limits<std::int32_t>::max())
        return std::nullopt;
    return static_cast<std::int32_t>(v);
}

std::int32_t getInt(const PropertyMap& map, std::string_view key, std::int32_t fallback) {
    const auto value = map.find(key);
    if (!value) return fallback;
    return parseInt32(*value).value_or(fallback);
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

double getDouble(const PropertyMap& map, std::string_view key, double fallback) {
    const std::size_t i = map.indexOf(key);
    if (i == map.size()) return fallback;
    // The keys that start with `key` follow it in key order, its "_FRAC" companion among them.
    std::optional<std::string_view> fraction;
    for (std::size_t j = i + 1; j < map.size(); ++j) {
        const Property p = map.entry(j);
        if (p.key.size() < key.size() || compareKeys(p.key.substr(0, key.size()), key) != 0) break;
        if (p.key.size() == key.size() + kFracSuffix.size() && p.key.ends_with(kFracSuffix)) {
            fraction = p.value;
            break;
        }
    }
    return realWithFraction(map.entry(i).value, fraction, fallback);
}

std::uint32_t getColour(const PropertyMap& map, std::string_view key, std::uint32_t fallback) {
    const auto value = map.find(key);
    if (!value || value->empty()) return fallback;
    std::int64_t v = 0;
    std::size_t end = 0;
    if (parseInt64(*value, v, end) != IntParse::Ok) return fallback;
    if (static_cast<std::uint64_t>(v) > 0xFFFFFFu) return fallback;
    return 0xFF000000u | static_cast<std::uint32_t>(v);
}

std::string decodeCp1251(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() + 8);
    appendCp1251(out, bytes);
    return out;
}

}  // namespace schq
