// Arbitrary bytes, first as a whole compound file whose record streams are
// then split, and second as a record stream of their own.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <string>
#include <vector>

#include "schq/compound_file.h"
#include "schq/error.h"
#include "schq/records.h"

namespace {

void splitQuietly(const std::vector<std::uint8_t>& bytes) {
    try {
        for (const auto& record : schq::splitRecords(bytes)) {
            (void)schq::getInt(record, "RECORD", -1);
            (void)schq::getDouble(record, "LOCATION.X", 0);
            (void)schq::getColour(record, "COLOR", 0);
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
            std::vector<std::uint8_t> read;
            std::string readError;
            try {
                read = file.readStream(name);
                splitQuietly(read);
            } catch (const schq::Error& e) {
                readError = e.what();
            }
            // Taking the stream gathers it in the file's buffer: the same bytes or the same error.
            try {
                schq::CompoundFile copy = file;
                if (std::move(copy).takeStream(name) != read || !readError.empty()) std::abort();
            } catch (const schq::Error& e) {
                if (readError != e.what()) std::abort();
            }
        }
    } catch (const schq::Error&) {
    }
    splitQuietly(bytes);
    return 0;
}
