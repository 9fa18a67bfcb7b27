// The test writer of SchDoc record streams and files.
#include "support/schdoc_builder.h"

#include <utility>

namespace kgtest {

namespace {
void appendHeader(std::vector<std::uint8_t>& stream, std::uint32_t word) {
    for (int i = 0; i < 4; ++i) stream.push_back(static_cast<std::uint8_t>(word >> (8 * i)));
}
}  // namespace

void appendTextRecord(std::vector<std::uint8_t>& stream, const std::string& body) {
    appendHeader(stream, static_cast<std::uint32_t>(body.size() + 1) & 0xFFFFFF);
    stream.insert(stream.end(), body.begin(), body.end());
    stream.push_back(0);
}

void appendBinaryRecord(std::vector<std::uint8_t>& stream, std::uint32_t length) {
    appendHeader(stream, 0x01000000u | (length & 0xFFFFFF));
    stream.insert(stream.end(), length, 0);
}

std::vector<std::uint8_t> recordStream(const std::vector<std::string>& bodies) {
    std::vector<std::uint8_t> stream;
    for (const std::string& body : bodies) appendTextRecord(stream, body);
    return stream;
}

SchDocBuilder::SchDocBuilder(bool standard) {
    if (standard) {
        fileHeaderBodies_.push_back(kHeader);
        fileHeaderBodies_.push_back("|RECORD=31|SHEETSTYLE=0");
        sheetIndex_ = 1;
        textCount_ = 2;
    }
}

int SchDocBuilder::add(const std::string& body) {
    fileHeaderBodies_.push_back(body);
    return textCount_++;
}

void SchDocBuilder::addBinary(std::uint32_t length) {
    // Binary records take no index: kept as a marker body that is never a text record.
    std::string marker(1, '\x01');
    marker += std::to_string(length);
    fileHeaderBodies_.push_back(std::move(marker));
}

void SchDocBuilder::setSheet(const std::string& body) {
    if (sheetIndex_ >= 0) fileHeaderBodies_[static_cast<std::size_t>(sheetIndex_)] = body;
}

void SchDocBuilder::addAdditional(const std::string& body) {
    if (!additional_) additional_.emplace();
    appendTextRecord(*additional_, body);
}

void SchDocBuilder::setAdditionalBytes(std::vector<std::uint8_t> bytes) { additional_ = std::move(bytes); }

std::vector<std::uint8_t> SchDocBuilder::fileHeaderStream() const {
    std::vector<std::uint8_t> stream;
    for (const std::string& body : fileHeaderBodies_) {
        if (!body.empty() && body[0] == '\x01')
            appendBinaryRecord(stream, static_cast<std::uint32_t>(std::stoul(body.substr(1))));
        else
            appendTextRecord(stream, body);
    }
    return stream;
}

CompoundFileImage SchDocBuilder::image() const {
    CompoundFileWriter writer(3);
    writer.addStream("FileHeader", fileHeaderStream());
    if (additional_) writer.addStream("Additional", *additional_);
    return writer.build();
}

std::unique_ptr<TempFile> SchDocBuilder::write() const {
    auto file = std::make_unique<TempFile>(".SchDoc");
    file->write(image().bytes);
    return file;
}

}  // namespace kgtest
