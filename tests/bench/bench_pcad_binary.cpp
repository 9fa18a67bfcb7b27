// Throughput of the binary P-CAD reader on synthetic files of 1 to 8 MB, dense with the
// records it scans for. The complexity fit over the sizes shows whether the reader stays
// linear in the file size.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

#include "pcad/binary.h"
#include "support/pcad_binary_builder.h"

namespace {

std::vector<std::uint8_t> syntheticFile(std::size_t targetSize) {
    kgtest::PcadBinaryBuilder b = kgtest::pcadBinaryFile();
    b.rectTagRaw(29700000, 0, 0, 42000000);
    b.sheet(1, "Main1").sheet(2, "Main2");
    b.font(1, "Arial", 250000).named(7, "Default");
    for (std::uint16_t id = 1; id <= 50; ++id) b.named(id, std::string("NET").append(std::to_string(id)));
    b.anchor();
    std::size_t k = 0;
    while (b.size() < targetSize) {
        const double x = static_cast<double>(k % 400);
        const double y = static_cast<double>((k / 400) % 280);
        const std::uint16_t sheet = static_cast<std::uint16_t>(1 + k % 2);
        b.lineWidth(20000).shape({.x1 = x,
                                  .y1 = y,
                                  .x2 = x + 5,
                                  .y2 = y,
                                  .sheet = sheet,
                                  .wireFlag = 1,
                                  .rect = {x, y, x + 5, y}});
        b.shape({.x1 = x, .y1 = y, .x2 = x, .y2 = y + 7, .sheet = sheet, .rect = {x, y, x, y + 7}});
        b.circleChain(25000, x, y)
            .shape(
                {.x1 = x, .y1 = y, .x2 = x, .y2 = y, .sheet = sheet, .rect = {x - 1, y - 1, x + 1, y + 1}});
        b.junctionMark().graphic(
            {.x = x + 5, .y = y, .sheet = sheet, .rect = {x + 4.5, y - 0.5, x + 5.5, y + 0.5}});
        b.netRef(static_cast<std::uint16_t>(1 + k % 50))
            .graphic({.x = x, .y = y, .sheet = sheet, .rect = {0, 0, 1, 1}});
        b.anchoredText(std::string("R").append(std::to_string(k)), {900, 1, 7},
                       {.x = x + 2, .y = y + 2, .sheet = sheet, .rect = {x + 1, y + 1, x + 8, y + 4}});
        b.fill(40, 0x55);  // unrecognised filler
        ++k;
    }
    b.bytes.resize(targetSize);
    return b.bytes;
}

// The later tools' form: sheet records with their length, no anchor, net names behind
// their mark, pins with their texts, arcs and polygons.
std::vector<std::uint8_t> laterFormFile(std::size_t targetSize) {
    kgtest::PcadBinaryBuilder b = kgtest::pcadBinaryFile();
    b.rectTagRaw(29700000, 0, 0, 42000000);
    b.sheetSized(1, "VLSI", 1).sheetSized(2, "Discrete");
    for (std::uint16_t id = 1; id <= 50; ++id) b.netName(id, std::string("NET").append(std::to_string(id)));
    std::size_t k = 0;
    while (b.size() < targetSize) {
        const double x = static_cast<double>(k % 400);
        const double y = static_cast<double>((k / 400) % 280);
        const std::uint16_t sheet = static_cast<std::uint16_t>(k % 3);  // 0: the title sheet
        b.pin(7.62, 900, k % 2 == 0, false, "12", x, y);
        b.anchoredText("12", {0, 0, 7}, {.x = x, .y = y + 1, .sheet = sheet, .rect = {x, y, x + 2, y + 2}});
        b.anchoredText("PA0", {0, 0, 7}, {.x = x, .y = y + 2, .sheet = sheet, .rect = {x, y, x + 3, y + 2}});
        if (k % 8 == 0) {
            b.circleChain(25000, x, y)
                .shape({.x1 = x + 2,
                        .y1 = y,
                        .x2 = x,
                        .y2 = y + 2,
                        .sheet = sheet,
                        .rect = {x, y, x + 2, y + 2}});
        }
        b.polygon({{x, y}, {x + 2, y}, {x + 1, y + 2}}, sheet);
        b.netRef(static_cast<std::uint16_t>(1 + k % 50))
            .graphic({.x = x, .y = y, .sheet = sheet, .rect = {x, y, x + 8, y + 3}});
        b.fill(40, 0x55);
        ++k;
    }
    b.bytes.resize(targetSize);
    return b.bytes;
}

// Reads the file as often as the library asks and counts the primitives of its pages.
void readRepeatedly(benchmark::State& state, const std::vector<std::uint8_t>& file) {
    std::size_t primitives = 0;
    for (auto _ : state) {
        const auto pages = pcad::readBinary(file.data(), file.size());
        primitives = 0;
        for (const auto& p : pages) primitives += p.lines.size() + p.circles.size() + p.texts.size();
        benchmark::DoNotOptimize(primitives);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
    state.counters["primitives"] = static_cast<double>(primitives);
    state.SetComplexityN(state.range(0));
}

void BM_ReadBinary(benchmark::State& state) {
    readRepeatedly(state, syntheticFile(static_cast<std::size_t>(state.range(0))));
}

void BM_ReadBinaryLaterForm(benchmark::State& state) {
    readRepeatedly(state, laterFormFile(static_cast<std::size_t>(state.range(0))));
}

}  // namespace

BENCHMARK(BM_ReadBinary)
    ->RangeMultiplier(2)
    ->Range(1 << 20, 8 << 20)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);
BENCHMARK(BM_ReadBinaryLaterForm)
    ->RangeMultiplier(2)
    ->Range(1 << 20, 8 << 20)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);

BENCHMARK_MAIN();
