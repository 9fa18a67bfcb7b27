#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace schq {

// One text record of a SchDoc record stream: upper-case keys (ASCII letters)
// mapped to UTF-8 values, ordered by plain byte comparison of the keys.
using PropertyMap = std::map<std::string, std::string, std::less<>>;

// Splits a record stream ("FileHeader", "Additional") into its text records,
// in stream order; binary records are skipped and take no position.
// Throws schq::Error on a malformed stream.
std::vector<PropertyMap> splitRecords(const std::vector<std::uint8_t>& stream);

// Typed getters: the default whenever the key is absent or its value does
// not parse. Keys are passed in upper case.
std::string getString(const PropertyMap& map, const char* key, const char* fallback);
std::int32_t getInt(const PropertyMap& map, const char* key, std::int32_t fallback);
// Adds the key's "_FRAC" companion (in units of 1/100000) when present.
double getDouble(const PropertyMap& map, const char* key, double fallback);
// Decimal 0..0xFFFFFF (red in the low byte) as an opaque 0xAABBGGRR colour.
std::uint32_t getColour(const PropertyMap& map, const char* key, std::uint32_t fallback);

// Windows-1251 bytes to UTF-8; the undefined byte 0x98 becomes U+FFFD.
std::string decodeCp1251(std::string_view bytes);

// Appends the UTF-8 form of a code point below U+10000.
void appendUtf8(std::string& out, std::uint32_t codePoint);

// ASCII a..z to A..Z; every other byte unchanged.
std::string upperCase(std::string text);

}  // namespace schq
