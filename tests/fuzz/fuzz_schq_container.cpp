// Arbitrary bytes, first as a whole compound file whose record streams are
// then split, and second as a record stream of their own.
#include <cstddef>
#include <cstdint>
#include <exception>
#include <vector>

#include "schq/compound_file.h"
#include "schq/error.h"
#include "schq/records.h"

namespace {

void splitQuietly(const std::vector<std::uint8_t>& bytes) {
    try {
        for (const auto& map : schq::splitRecords(bytes)) {
            (void)schq::getInt(map, "RECORD", -1);
            (void)schq::getDouble(map, "LOCATION.X", 0);
            (void)schq::getColour(map, "COLOR", 0);
        }
    } catch (const schq::Error&) {
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::vector<std::uint8_t> bytes(data, data + size);
    try {
        const schq::CompoundFile file = schq::CompoundFile::fromMemory(bytes);
        for (const char* name : {"FileHeader", "additional", "Storage"}) {
            try {
                splitQuietly(file.readStream(name));
            } catch (const schq::Error&) {
            }
        }
    } catch (const schq::Error&) {
    }
    splitQuietly(bytes);
    return 0;
}
