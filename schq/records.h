#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/ascii.h"
#include "common/utf8.h"

namespace schq {

class FieldParser;
class RecordList;
RecordList splitRecords(const std::vector<std::uint8_t>& stream);

// One field of a record: both views into text that the record's owner holds.
struct Property {
    std::string_view key;
    std::string_view value;
};

// One text record of a SchDoc record stream: upper-case keys (ASCII letters) mapped to UTF-8
// values, ordered by plain byte comparison of the keys, each key once.
//
// A record read from a stream is a view of a flat, sorted field array that its RecordList (or
// the reader) owns, so that a record costs no allocation per field. A map made by hand, or a
// copy of any map, owns its entries instead; only such maps are edited.
class PropertyMap {
public:
    PropertyMap();
    // Like a std::map: the first of two equal keys is kept.
    PropertyMap(std::initializer_list<std::pair<std::string, std::string>> entries);
    PropertyMap(const PropertyMap& other);
    PropertyMap& operator=(const PropertyMap& other);
    PropertyMap(PropertyMap&& other) noexcept;
    PropertyMap& operator=(PropertyMap&& other) noexcept;
    ~PropertyMap();

    std::size_t size() const;
    bool empty() const { return size() == 0; }
    // The value of `key`, or nothing when the key is absent.
    std::optional<std::string_view> find(std::string_view key) const;
    std::size_t count(std::string_view key) const { return find(key) ? 1 : 0; }
    // Throws std::out_of_range when the key is absent.
    std::string_view at(std::string_view key) const;
    // The index of `key` in key order, or size() when the key is absent.
    std::size_t indexOf(std::string_view key) const;
    // Entry `index` in key order, and the index of the first key not below `key`.
    Property entry(std::size_t index) const;
    std::size_t lowerBound(std::string_view key) const;

    // Editing makes the map own its entries. The reference is valid until the next edit.
    std::string& operator[](std::string_view key);
    // Adds the entry unless the key is present; true when added.
    bool emplace(std::string_view key, std::string_view value);

    friend bool operator==(const PropertyMap& a, const PropertyMap& b);

private:
    friend class FieldParser;
    friend RecordList splitRecords(const std::vector<std::uint8_t>& stream);
    // A view of `count` fields sorted by key, keys unique, that the caller keeps alive; with
    // `heads`, the first eight bytes of each key as a big-endian number, zero-padded.
    static PropertyMap view(const Property* fields, std::size_t count, const std::uint64_t* heads = nullptr);

    struct Owned;
    Owned& own();

    const Property* fields_ = nullptr;
    const std::uint64_t* heads_ = nullptr;  // or none
    std::size_t size_ = 0;
    std::unique_ptr<Owned> owned_;
};

// The text records of one stream, in stream order; owns the text that its records view.
class RecordList {
public:
    RecordList();
    RecordList(RecordList&&) noexcept;
    RecordList& operator=(RecordList&&) noexcept;
    ~RecordList();

    std::size_t size() const { return records_.size(); }
    bool empty() const { return records_.empty(); }
    const PropertyMap& operator[](std::size_t index) const { return records_[index]; }
    const PropertyMap* begin() const { return records_.data(); }
    const PropertyMap* end() const { return records_.data() + records_.size(); }

private:
    friend RecordList splitRecords(const std::vector<std::uint8_t>& stream);

    std::vector<char> text_;                        // the stream, keys upper-cased in place
    std::vector<std::unique_ptr<char[]>> decoded_;  // values decoded from Windows-1251
    std::vector<Property> fields_;
    std::vector<PropertyMap> records_;
};

// Splits a record stream ("FileHeader", "Additional") into its text records, in stream order;
// binary records are skipped and take no position. Throws schq::Error on a malformed stream.
RecordList splitRecords(const std::vector<std::uint8_t>& stream);

// Typed getters: the default whenever the key is absent or its value does not parse. Keys are
// passed in upper case.
std::string getString(const PropertyMap& map, std::string_view key, const char* fallback);
std::int32_t getInt(const PropertyMap& map, std::string_view key, std::int32_t fallback);
// Adds the key's "_FRAC" companion (in units of 1/100000) when present.
double getDouble(const PropertyMap& map, std::string_view key, double fallback);
// Decimal 0..0xFFFFFF (red in the low byte) as an opaque 0xAABBGGRR colour.
std::uint32_t getColour(const PropertyMap& map, std::string_view key, std::uint32_t fallback);

// Windows-1251 bytes to UTF-8; the undefined byte 0x98 becomes U+FFFD.
std::string decodeCp1251(std::string_view bytes);

// Appends the UTF-8 form of a code point.
using common::appendUtf8;

// ASCII a..z to A..Z; every other byte unchanged.
inline std::string upperCase(std::string text) { return common::asciiUpperCase(std::move(text)); }

}  // namespace schq
