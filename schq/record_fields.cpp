// The parser of one text record's fields, the key set of the reader's first look, and the bit
// marks of a body's separators.
#include "schq/record_fields.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <map>

#include "common/ascii.h"

namespace schq {
namespace {

// A field whose key is longer is skipped.
constexpr std::size_t kMaxKeyLength = 128;
constexpr std::string_view kUtf8Prefix = "%UTF8%";

// Whether the key starts with "%UTF8%", ignoring the case of its letters; most keys fail at once.
bool hasUtf8Prefix(std::string_view key) {
    return key.starts_with('%') &&
           common::equalsIgnoringAsciiCase(key.substr(0, kUtf8Prefix.size()), kUtf8Prefix);
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
        const SeparatorMasks m = separatorMasks(body, length, w * 64);
        bars_[w] = m.bars;
        marks_[w] = m.bars | keyEnds(m, barBefore, carry);
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

RecordView FieldParser::parse(char* body, std::size_t length) {
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
    if (!percent) return RecordView(fields_.data(), fields_.size(), sortedHeads_.data());
    promoteUtf8Keys();
    return RecordView(fields_.data(), fields_.size());
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
        if (key.size() <= 16 || common::equalsIgnoringAsciiCase(keys_[k], key)) return i;
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
        const RecordView whole = parse(body, length);
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

RecordView FieldParser::parse(char* body, std::size_t length, const KeySet& keys) {
    const std::span<const std::string_view> found = values(body, length, keys);
    fields_.clear();
    for (std::size_t k = 0; k < keys.size(); ++k)
        if (found[k].data()) fields_.push_back({keys[k], found[k]});
    return RecordView(fields_.data(), fields_.size());
}

// Inline: taken for every key that the parser sorts.
inline FieldParser::Head FieldParser::headOf(std::string_view key, const char* readableEnd) {
    return {keyWord(key, 0, readableEnd), keyWord(key, 8, readableEnd)};
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

}  // namespace schq
