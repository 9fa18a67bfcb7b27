// The framing of a record stream and the parser of one text record's fields: shared by
// schq::splitRecords and the reader, which parses each record where it needs it instead of
// keeping every record's fields at once.
#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/bytes.h"
#include "schq/error.h"
#include "schq/field_bits.h"
#include "schq/records.h"

namespace schq {

// Every record starts with a little-endian 32-bit word: the body length in the low 24 bits,
// and a high byte that is 0 for a text record and anything else for a binary one.
constexpr std::size_t kRecordHeaderBytes = 4;
constexpr std::uint32_t kRecordLengthMask = 0x00FFFFFF;
constexpr std::uint32_t kFirstBinaryHeader = 0x01000000;
// A stream holding more text records than this is refused.
constexpr std::size_t kMaxRecords = 2000000;

// Calls onText(offset, length) for the body of every text record of a stream, in stream order,
// without the NUL bytes that end it; binary records are skipped. Throws schq::Error on a
// malformed stream, also when records were handed out before the fault.
template <typename OnText>
void forEachTextRecord(const std::uint8_t* data, std::size_t size, OnText&& onText) {
    std::size_t pos = 0;
    std::size_t texts = 0;
    while (pos < size) {
        if (size - pos < kRecordHeaderBytes) throw Error("Truncated SchDoc record header");
        const std::uint32_t header = common::loadLe32(data + pos);
        const std::size_t length = header & kRecordLengthMask;
        const std::size_t body = pos + kRecordHeaderBytes;
        if (length > size - body) throw Error("SchDoc record extends outside stream");
        // Counted before the record is taken, binary ones included: a stream can yield one record
        // more than the limit.
        if (texts > kMaxRecords) throw Error("Too many SchDoc records");
        pos = body + length;
        if (header >= kFirstBinaryHeader) continue;
        std::size_t end = pos;
        while (end > body && data[end - 1] == 0) --end;
        ++texts;
        onText(body, end - body);
    }
}

// Byte order of two keys, -1, 0 or 1. Keys are short and mostly differ early, where a plain loop
// beats a call of memcmp.
inline int compareKeys(std::string_view a, std::string_view b) {
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const auto x = static_cast<unsigned char>(a[i]);
        const auto y = static_cast<unsigned char>(b[i]);
        if (x != y) return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : a.size() < b.size() ? -1 : 1;
}

inline bool keyLess(const Property& p, std::string_view key) { return compareKeys(p.key, key) < 0; }

// A few upper-case keys, sorted by byte order, told apart from other keys mostly without comparing
// a byte: a table on the key's length and last byte leads to the candidates.
class KeySet {
public:
    explicit KeySet(std::span<const std::string_view> keys);
    std::size_t size() const { return keys_.size(); }
    std::string_view operator[](std::size_t index) const { return keys_[index]; }
    // The position in the set of the key upper-cased, or -1.
    int find(std::string_view key, const char* readableEnd) const;
    int find(std::string_view key) const { return find(key, key.data() + key.size()); }

private:
    static std::size_t bucketOf(std::string_view key) {
        auto last = static_cast<unsigned char>(key.back());
        if (last >= 'a' && last <= 'z') last -= 'a' - 'A';
        return (key.size() * 31 + last) & (kBuckets - 1);
    }
    static constexpr std::size_t kBuckets = 256;

    // A key's first eight bytes (zero-padded) and its last eight: all of a key of up to 16 bytes.
    struct Words {
        std::uint64_t first = 0;
        std::uint64_t last = 0;
    };
    static Words wordsOf(std::string_view key, const char* readableEnd);

    std::span<const std::string_view> keys_;
    std::vector<Words> words_;
    std::vector<int> first_;  // per bucket, -1 when empty
    std::vector<int> next_;   // per key, the next key of its bucket
};

// Where the fields of one record body lie, one bit per byte: the '|' that end fields, the '=' that
// end keys (keyEnds), and the bytes of 0x80 and above. Fields are then visited by counting bits,
// with a branch per field rather than per byte.
class FieldMarks {
public:
    void mark(const char* body, std::size_t length);
    // Calls onField(keyStart, keyEnd, valueEnd) for every field that holds a '=', in order, until it
    // returns false. The key runs up to the field's first '=', the value from there to the next
    // '|' or the body's end.
    template <typename OnField>
    void forEachField(OnField&& onField) const {
        constexpr std::size_t kNone = ~std::size_t{0};
        std::size_t start = 0;
        std::size_t keyEnd = kNone;
        for (std::size_t w = 0; w < words_; ++w) {
            for (std::uint64_t bits = marks_[w]; bits; bits = withoutLowestSetBit(bits)) {
                const std::size_t at = w * 64 + static_cast<std::size_t>(std::countr_zero(bits));
                if (!(bars_[w] & lowestSetBit(bits))) {
                    keyEnd = at;
                    continue;
                }
                if (keyEnd != kNone && !onField(start, keyEnd, at)) return;
                start = at + 1;
                keyEnd = kNone;
            }
        }
        if (keyEnd != kNone) onField(start, keyEnd, length_);
    }
    std::size_t highBytes() const { return highCount_; }
    // Whether bytes [from, to) hold one of 0x80 and above.
    bool anyHigh(std::size_t from, std::size_t to) const;

private:
    std::vector<std::uint64_t> bars_;
    std::vector<std::uint64_t> marks_;  // bars and key ends
    std::vector<std::uint64_t> highs_;
    std::size_t words_ = 0;
    std::size_t length_ = 0;
    std::size_t highCount_ = 0;
};

// Parses one text record body at a time into fields sorted by key: keys view the body (upper-
// cased in place), values view the body or, when decoded from Windows-1251, the parser's own
// buffer. What a parse returns is valid until the next parse.
//
// A body is the padding of its keys: the key helpers (field_bits.h, KeySet) are given the body's
// end as `readableEnd` and may read any byte after a key up to it, so that a key is loaded a word
// or sixteen bytes at a time; they write back nothing there but the bytes they read.
class FieldParser {
public:
    RecordView parse(char* body, std::size_t length);
    // Only the fields of `keys` (upper case, sorted by byte order), for a quick first look: the view
    // holds the values that the whole record holds for them. A record with "%UTF8%" fields, which may
    // give their values to other keys, is parsed whole.
    RecordView parse(char* body, std::size_t length, const KeySet& keys);
    // The same look as a list: the value of each of `keys` in its order, one without data for a
    // key that the record lacks.
    std::span<const std::string_view> values(char* body, std::size_t length, const KeySet& keys);
    const std::vector<Property>& fields() const { return fields_; }
    // Where decoded values live.
    const std::string& decodedText() const { return decoded_; }

private:
    // Calls onField(key, raw value) for every field with a usable key, upper-cased in place when
    // kUpperCase is set, until it returns false.
    template <bool kUpperCase, typename OnField>
    void forEachField(char* body, std::size_t length, OnField&& onField);
    // The value as UTF-8, decoded into the parser's buffer when needed.
    std::string_view decoded(std::string_view key, std::string_view value);
    // A key's first sixteen bytes, zero-padded, as two numbers whose order is theirs.
    struct Head {
        std::uint64_t high;
        std::uint64_t low;
    };
    static Head headOf(std::string_view key, const char* readableEnd);
    void sortFields();
    void promoteUtf8Keys();

    struct SortKey {
        Head head;
        std::uint32_t index;  // in fields_
    };
    static constexpr std::size_t kInsertionSortLimit = 32;

    std::vector<Property> fields_;
    std::vector<Head> heads_;                 // per field
    std::vector<std::uint64_t> sortedHeads_;  // the first words of the sorted fields' heads
    std::vector<SortKey> order_;
    std::vector<Property> merged_;
    std::vector<std::string_view> values_;
    std::string decoded_;
    FieldMarks marks_;
    const char* body_ = nullptr;  // of the record parsed last
};

}  // namespace schq
