// The owning map of a record's fields: a sorted vector of key and value strings.
#include "schq/property_map.h"

#include <algorithm>
#include <stdexcept>

#include "schq/records.h"

namespace schq {

PropertyMap::PropertyMap(std::initializer_list<std::pair<std::string, std::string>> entries) {
    for (const auto& [key, value] : entries) emplace(key, value);
}

PropertyMap::PropertyMap(const RecordView& record) {
    entries_.reserve(record.size());
    for (std::size_t i = 0; i < record.size(); ++i) {
        const Property p = record.entry(i);
        entries_.emplace_back(std::string(p.key), std::string(p.value));
    }
}

std::size_t PropertyMap::lowerBound(std::string_view key) const {
    return static_cast<std::size_t>(
        std::lower_bound(entries_.begin(), entries_.end(), key,
                         [](const auto& p, std::string_view k) { return p.first < k; }) -
        entries_.begin());
}

std::size_t PropertyMap::indexOf(std::string_view key) const {
    const std::size_t i = lowerBound(key);
    return i < entries_.size() && entries_[i].first == key ? i : entries_.size();
}

std::optional<std::string_view> PropertyMap::find(std::string_view key) const {
    const std::size_t i = indexOf(key);
    if (i == size()) return std::nullopt;
    return entries_[i].second;
}

std::string_view PropertyMap::at(std::string_view key) const {
    const auto value = find(key);
    if (!value) throw std::out_of_range("schq::PropertyMap::at");
    return *value;
}

std::string& PropertyMap::operator[](std::string_view key) {
    const auto it = entries_.begin() + static_cast<std::ptrdiff_t>(lowerBound(key));
    if (it != entries_.end() && it->first == key) return it->second;
    return entries_.emplace(it, std::string(key), std::string())->second;
}

bool PropertyMap::emplace(std::string_view key, std::string_view value) {
    const auto it = entries_.begin() + static_cast<std::ptrdiff_t>(lowerBound(key));
    if (it != entries_.end() && it->first == key) return false;
    entries_.emplace(it, std::string(key), std::string(value));
    return true;
}

}  // namespace schq
