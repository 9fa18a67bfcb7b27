// The text records of a SchDoc record stream as the rest of the reader sees them: a borrowed view
// of one record's fields, the list of a stream's records, and the typed getters of a field.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/ascii.h"
#include "common/utf8.h"
#include "schq/property_map.h"

namespace schq {

// One text record's fields, borrowed: sorted by key, keys unique, as a PropertyMap holds them. It
// owns nothing, and lives only as long as what it borrows from whoever made it:
// - a FieldParser (also through the reader's record table): the parser's field array and the
//   record's body, until that parser's next parse;
// - a RecordList: the list's copy of its stream, while the list lives (moving the list is fine);
// - a PropertyMap: the map, until it is edited or destroyed.
// Copy it into a PropertyMap to keep the record longer.
class RecordView {
public:
    RecordView() = default;
    // Implicit, so that whatever reads records reads a map made by hand alike.
    RecordView(const PropertyMap& map) : map_(&map) {}
    // `count` fields sorted by key, keys unique; with `heads`, the first eight bytes of each key as a
    // big-endian number, zero-padded.
    RecordView(const Property* fields, std::size_t count, const std::uint64_t* heads = nullptr)
        : fields_(fields), heads_(heads), size_(count) {}

    std::size_t size() const { return map_ ? map_->size() : size_; }
    bool empty() const { return size() == 0; }
    // The value of `key`, or nothing when the key is absent.
    std::optional<std::string_view> find(std::string_view key) const;
    std::size_t count(std::string_view key) const { return find(key) ? 1 : 0; }
    // Throws std::out_of_range when the key is absent.
    std::string_view at(std::string_view key) const;
    // The index of `key` in key order, or size() when the key is absent.
    std::size_t indexOf(std::string_view key) const;
    // Entry `index` in key order, and the index of the first key not below `key`.
    Property entry(std::size_t index) const { return map_ ? map_->entry(index) : fields_[index]; }
    std::size_t lowerBound(std::string_view key) const;

private:
    const Property* fields_ = nullptr;
    const std::uint64_t* heads_ = nullptr;  // or none
    std::size_t size_ = 0;
    const PropertyMap* map_ = nullptr;  // instead of the fields
};

// The same keys with the same values, in whatever each is held.
bool operator==(const RecordView& a, const RecordView& b);

// The text records of one stream, in stream order; owns the text that its records view.
class RecordList {
public:
    RecordList();
    RecordList(RecordList&&) noexcept;
    RecordList& operator=(RecordList&&) noexcept;
    ~RecordList();

    std::size_t size() const { return records_.size(); }
    bool empty() const { return records_.empty(); }
    const RecordView& operator[](std::size_t index) const { return records_[index]; }
    const RecordView* begin() const { return records_.data(); }
    const RecordView* end() const { return records_.data() + records_.size(); }

private:
    friend RecordList splitRecords(const std::vector<std::uint8_t>& stream);

    std::vector<char> text_;                        // the stream, keys upper-cased in place
    std::vector<std::unique_ptr<char[]>> decoded_;  // values decoded from Windows-1251
    std::vector<Property> fields_;
    std::vector<RecordView> records_;
};

// Splits a record stream ("FileHeader", "Additional") into its text records, in stream order;
// binary records are skipped and take no position. Throws schq::Error on a malformed stream.
RecordList splitRecords(const std::vector<std::uint8_t>& stream);

// Typed getters: the default whenever the key is absent or its value does not parse. Keys are
// passed in upper case.
std::string getString(const RecordView& record, std::string_view key, const char* fallback);
std::int32_t getInt(const RecordView& record, std::string_view key, std::int32_t fallback);
// Adds the key's "_FRAC" companion (in units of 1/100000) when present.
double getDouble(const RecordView& record, std::string_view key, double fallback);
// Decimal 0..0xFFFFFF (red in the low byte) as an opaque 0xAABBGGRR colour.
std::uint32_t getColour(const RecordView& record, std::string_view key, std::uint32_t fallback);
// A value and its "_FRAC" companion as getDouble reads them: the fallback when the value is
// absent or either does not parse.
double realWithFraction(std::optional<std::string_view> value, std::optional<std::string_view> fraction,
                        double fallback);

// Windows-1251 bytes to UTF-8, appended to `out`; the undefined byte 0x98 becomes U+FFFD.
void appendCp1251(std::string& out, std::string_view bytes);
// The same as a string of its own.
std::string decodeCp1251(std::string_view bytes);

// Appends the UTF-8 form of a code point.
using common::appendUtf8;

// ASCII a..z to A..Z; every other byte unchanged.
inline std::string upperCase(std::string text) { return common::asciiUpperCase(std::move(text)); }

}  // namespace schq
