// Byte layer of the binary reader: bounds-checked reads and the two composite records.
#include <cstring>
#include <stdexcept>

#include "common/bytes.h"
#include "pcad/binary.h"
#include "pcad/binary_passes.h"

namespace pcad {

namespace binary {

const char* const kTruncated = "Truncated P-CAD record";

bool bytesAt(const ByteSpan& s, std::size_t i, const std::uint8_t* pattern, std::size_t n) {
    if (!common::fits(i, n, s.size)) return false;
    return n == 0 || std::memcmp(s.data + i, pattern, n) == 0;
}

}  // namespace binary

namespace {

void require(const ByteSpan& s, std::size_t offset, std::size_t n) {
    if (!common::fits(offset, n, s.size)) throw std::runtime_error(binary::kTruncated);
}

// Unchecked reads for offsets already proven inside the span.
using common::loadLe16;
using common::loadLe32;

inline double coordAt(const std::uint8_t* p) { return static_cast<std::int32_t>(loadLe32(p)) / 100000.0; }

// A rectangle field as stored (top, bottom, left, right) into a record's x0, y0, x1, y1.
template <class Record>
void readRect(const std::uint8_t* rect, Record& record) {
    record.x0 = coordAt(rect + binary::kLeft);
    record.y0 = coordAt(rect + binary::kBottom);
    record.x1 = coordAt(rect + binary::kRight);
    record.y1 = coordAt(rect + binary::kTop);
}

}  // namespace

std::size_t ByteSpan::find(const std::vector<std::uint8_t>& pattern, std::size_t from) const {
    const std::size_t m = pattern.size();
    if (m == 0 || from >= size || m > size - from) return size;
    const std::size_t last = size - m;
    std::size_t i = from;
    while (i <= last) {
        const void* hit = std::memchr(data + i, pattern[0], last - i + 1);
        if (hit == nullptr) return size;
        i = static_cast<std::size_t>(static_cast<const std::uint8_t*>(hit) - data);
        if (std::memcmp(data + i, pattern.data(), m) == 0) return i;
        ++i;
    }
    return size;
}

bool ByteSpan::matchesAt(std::size_t offset, const std::vector<std::uint8_t>& pattern) const {
    return binary::bytesAt(*this, offset, pattern.data(), pattern.size());
}

std::uint16_t ByteSpan::readU16(std::size_t offset) const {
    require(*this, offset, 2);
    return loadLe16(data + offset);
}

std::uint32_t ByteSpan::readU32(std::size_t offset) const {
    require(*this, offset, 4);
    return loadLe32(data + offset);
}

double ByteSpan::coord(std::size_t offset) const {
    require(*this, offset, 4);
    return coordAt(data + offset);
}

BinaryPoint ByteSpan::point(std::size_t offset) const {
    require(*this, offset, 8);
    return BinaryPoint{coordAt(data + offset), coordAt(data + offset + 4)};
}

bool ByteSpan::matchGraphic(std::size_t i, GraphicRecord& record) const {
    using namespace binary::graphic;
    if (i > size || kSize > size - i) return false;
    if (!binary::tagAt(*this, i, 0x04, 0x08, 0x00) || !binary::tagAt(*this, i + kAttrTag, 0x02, 0x0E, 0x00) ||
        !binary::tagAt(*this, i + kRectTag, 0x03, 0x10, 0x00))
        return false;
    const std::uint8_t* p = data + i;
    record.offset = i;
    record.x = coordAt(p + kPoint);
    record.y = coordAt(p + kPoint + 4);
    record.sheet = loadLe16(p + kSheet);
    record.anchorFlag = p[kAnchorFlag];
    readRect(p + kRect, record);
    return true;
}

bool ByteSpan::matchShape(std::size_t i, ShapeRecord& record) const {
    using namespace binary::shape;
    if (i > size || kSize > size - i) return false;
    if (!binary::tagAt(*this, i, 0x04, 0x08, 0x00) ||
        !binary::tagAt(*this, i + kPoint2Tag, 0x04, 0x08, 0x00) ||
        !binary::tagAt(*this, i + kAttrTag, 0x02, 0x0E, 0x00) ||
        !binary::tagAt(*this, i + kRectTag, 0x03, 0x10, 0x00))
        return false;
    const std::uint8_t* p = data + i;
    record.p1 = BinaryPoint{coordAt(p + kPoint1), coordAt(p + kPoint1 + 4)};
    record.p2 = BinaryPoint{coordAt(p + kPoint2), coordAt(p + kPoint2 + 4)};
    record.sheet = loadLe16(p + kSheet);
    record.wireFlag = p[kWireFlag];
    readRect(p + kRect, record);
    return true;
}

}  // namespace pcad
