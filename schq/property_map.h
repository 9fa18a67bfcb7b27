// A record's fields as a value of its own: the owning counterpart of the borrowed RecordView.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace schq {

class RecordView;

// One field of a record: both views into text that someone else holds.
struct Property {
    std::string_view key;
    std::string_view value;
};

// The fields of one text record, owned: upper-case keys (ASCII letters) mapped to UTF-8 values,
// ordered by plain byte comparison of the keys, each key once. Made by hand or copied from a
// RecordView, it lives as long as it is kept, whatever it was copied from, and may be edited.
class PropertyMap {
public:
    PropertyMap() = default;
    // Like a std::map: the first of two equal keys is kept.
    PropertyMap(std::initializer_list<std::pair<std::string, std::string>> entries);
    // A copy of the viewed fields, so that a record can be kept past what its view borrows.
    explicit PropertyMap(const RecordView& record);

    std::size_t size() const { return entries_.size(); }
    bool empty() const { return entries_.empty(); }
    // The value of `key`, or nothing when the key is absent.
    std::optional<std::string_view> find(std::string_view key) const;
    std::size_t count(std::string_view key) const { return find(key) ? 1 : 0; }
    // Throws std::out_of_range when the key is absent.
    std::string_view at(std::string_view key) const;
    // The index of `key` in key order, or size() when the key is absent.
    std::size_t indexOf(std::string_view key) const;
    // Entry `index` in key order, and the index of the first key not below `key`.
    Property entry(std::size_t index) const { return {entries_[index].first, entries_[index].second}; }
    std::size_t lowerBound(std::string_view key) const;

    // The reference is valid until the next edit.
    std::string& operator[](std::string_view key);
    // Adds the entry unless the key is present; true when added.
    bool emplace(std::string_view key, std::string_view value);

private:
    std::vector<std::pair<std::string, std::string>> entries_;  // sorted by key
};

}  // namespace schq
