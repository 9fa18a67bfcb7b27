// Test-side writer of SchDoc files: record streams made of "|KEY=VALUE" text records, packed
// into a compound file with the test compound-file writer.
//
//     kgtest::SchDocBuilder b;                       // header record 0, sheet record 1 (style 0)
//     int comp = b.add("|RECORD=1|CURRENTPARTID=1"); // returns the record's index (2)
//     b.add("|RECORD=6|OWNERINDEX=" + std::to_string(comp - 1) + "|LOCATIONCOUNT=2|...");
//     auto file = b.write();                         // a temporary .SchDoc file
//     schq::Document doc = schq::readSchDoc(file->path());
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "support/compound_file_writer.h"

namespace kgtest {

// One length-prefixed text record: the body followed by one NUL byte.
void appendTextRecord(std::vector<std::uint8_t>& stream, const std::string& body);
// One binary record (high header byte 1) of `length` zero bytes.
void appendBinaryRecord(std::vector<std::uint8_t>& stream, std::uint32_t length);
// A whole stream of text records.
std::vector<std::uint8_t> recordStream(const std::vector<std::string>& bodies);

class SchDocBuilder {
public:
    static constexpr const char* kHeader =
        "|HEADER=Protel for Windows - Schematic Capture Binary File Version 5.0";

    // With `standard` the stream starts with a header record and the sheet record
    // "|RECORD=31|SHEETSTYLE=0" (1150 by 760); otherwise it starts empty.
    explicit SchDocBuilder(bool standard = true);

    // Appends a FileHeader text record; returns its index in the reader's record list
    // (valid while no "Additional" record has been added before it).
    int add(const std::string& body);
    void addBinary(std::uint32_t length);
    // Replaces the sheet record of a standard builder.
    void setSheet(const std::string& body);

    // The "Additional" stream: its first record should be a header record.
    void addAdditional(const std::string& body);
    // Raw bytes for the "Additional" stream (e.g. truncated on purpose).
    void setAdditionalBytes(std::vector<std::uint8_t> bytes);

    // Text records of "FileHeader" so far.
    int fileHeaderCount() const { return textCount_; }
    std::vector<std::uint8_t> fileHeaderStream() const;

    CompoundFileImage image() const;
    std::unique_ptr<TempFile> write() const;

private:
    std::vector<std::string> fileHeaderBodies_;  // a leading byte 1 marks a binary record
    std::optional<std::vector<std::uint8_t>> additional_;
    int sheetIndex_ = -1;
    int textCount_ = 0;
};

}  // namespace kgtest
