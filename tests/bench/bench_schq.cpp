// Reading and indexing, and SVG export, of the largest sample sheet and of a synthetic sheet of
// 200,000 records, and the peak heap of one read.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <new>
#include <string>

#include "schq/reader.h"
#include "schq/svg.h"
#include "support/schdoc_builder.h"

// Heap accounting for the peak-memory benchmark: every allocation of this program goes through
// these, counted in the block sizes that malloc really hands out.
namespace {
std::size_t gLiveBytes = 0;
std::size_t gPeakBytes = 0;
}  // namespace

void* operator new(std::size_t size) {
    void* p = std::malloc(size ? size : 1);
    if (!p) throw std::bad_alloc();
    gLiveBytes += malloc_usable_size(p);
    gPeakBytes = std::max(gPeakBytes, gLiveBytes);
    return p;
}
void operator delete(void* p) noexcept {
    if (p) gLiveBytes -= malloc_usable_size(p);
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept { operator delete(p); }

namespace {

std::string samplePath() {
    return (std::filesystem::path(KG_TESTDATA) / "schdoc" / "ThunderScope_Main.SchDoc").string();
}

// Wires, junctions, pins of a component, graphics and net labels spread over a large sheet.
const kgtest::TempFile& syntheticFile() {
    static const std::unique_ptr<kgtest::TempFile> file = [] {
        kgtest::SchDocBuilder b;
        b.setSheet("|RECORD=31|SHEETSTYLE=4|SIZE1=10");
        const int component = b.add("|RECORD=1|CURRENTPARTID=1");
        const std::string owner = "|OWNERINDEX=" + std::to_string(component - 1);
        for (int i = 1; b.fileHeaderCount() < 200000 + 2; ++i) {
            const int x = (i * 37) % 4600 + 20;
            const int y = (i * 53) % 3200 + 50;
            const std::string at = "|LOCATION.X=" + std::to_string(x) + "|LOCATION.Y=" + std::to_string(y);
            switch (i % 6) {
                case 0:
                    b.add("|RECORD=27|LOCATIONCOUNT=3|X1=" + std::to_string(x) + "|Y1=" + std::to_string(y) +
                          "|X2=" + std::to_string(x + 40) + "|Y2=" + std::to_string(y) +
                          "|X3=" + std::to_string(x + 40) + "|Y3=" + std::to_string(y + 30));
                    break;
                case 1: b.add("|RECORD=29" + at); break;
                case 2:
                    b.add("|RECORD=2|PINCONGLOMERATE=" + std::to_string(24 + i % 4) + "|PINLENGTH=20|NAME=P" +
                          std::to_string(i) + "|DESIGNATOR=" + std::to_string(i % 100) + "|OWNERPARTID=1" +
                          owner + at);
                    break;
                case 3:
                    b.add("|RECORD=14|CORNER.X=" + std::to_string(x + 30) +
                          "|CORNER.Y=" + std::to_string(y + 20) + "|ISSOLID=T" + owner + at);
                    break;
                case 4: b.add("|RECORD=25|TEXT=NET" + std::to_string(i) + at); break;
                default: b.add("|RECORD=12|RADIUS=8|STARTANGLE=0|ENDANGLE=180" + owner + at); break;
            }
        }
        return b.write();
    }();
    return *file;
}

void readAndIndex(benchmark::State& state, const std::string& path) {
    if (!std::filesystem::exists(path)) {
        state.SkipWithError("sample file missing");
        return;
    }
    std::size_t primitives = 0;
    for (auto _ : state) {
        const schq::Document document = schq::readSchDoc(path);
        primitives = document.primitives().size();
        benchmark::DoNotOptimize(primitives);
    }
    state.counters["primitives"] = static_cast<double>(primitives);
}

void exportSheet(benchmark::State& state, const std::string& path) {
    if (!std::filesystem::exists(path)) {
        state.SkipWithError("sample file missing");
        return;
    }
    const schq::Document document = schq::readSchDoc(path);
    std::size_t bytes = 0;
    for (auto _ : state) {
        const std::string svg = schq::exportSvg(document, {0x1F, false, 1.0});
        bytes = svg.size();
        benchmark::DoNotOptimize(bytes);
    }
    state.counters["svg_bytes"] = static_cast<double>(bytes);
}

void BM_ReadLargestSample(benchmark::State& state) { readAndIndex(state, samplePath()); }
void BM_ExportLargestSample(benchmark::State& state) { exportSheet(state, samplePath()); }
void BM_ReadSynthetic200k(benchmark::State& state) { readAndIndex(state, syntheticFile().path()); }
void BM_ExportSynthetic200k(benchmark::State& state) { exportSheet(state, syntheticFile().path()); }

// One screenful of a zoomed-in view, as the viewer's paint asks for it.
void BM_QueryZoomedSynthetic200k(benchmark::State& state) {
    const schq::Document document = schq::readSchDoc(syntheticFile().path());
    std::size_t found = 0;
    for (auto _ : state) {
        found = document.query({1000, 1000, 1400, 1300}, {0x1F, true, 3.0}).size();
        benchmark::DoNotOptimize(found);
    }
    state.counters["found"] = static_cast<double>(found);
}

// The most heap that one read holds at once, over what was live before it.
void peakOfRead(benchmark::State& state, const std::string& path) {
    if (!std::filesystem::exists(path)) {
        state.SkipWithError("sample file missing");
        return;
    }
    std::size_t peak = 0;
    for (auto _ : state) {
        const std::size_t before = gLiveBytes;
        gPeakBytes = before;
        {
            const schq::Document document = schq::readSchDoc(path);
            benchmark::DoNotOptimize(document.primitives().data());
        }
        peak = gPeakBytes - before;
    }
    state.counters["peak_MB"] = static_cast<double>(peak) / 1e6;
}

void BM_PeakHeapLargestSample(benchmark::State& state) { peakOfRead(state, samplePath()); }
void BM_PeakHeapSynthetic200k(benchmark::State& state) { peakOfRead(state, syntheticFile().path()); }

BENCHMARK(BM_ReadLargestSample)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ExportLargestSample)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadSynthetic200k)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ExportSynthetic200k)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_QueryZoomedSynthetic200k)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PeakHeapLargestSample)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_PeakHeapSynthetic200k)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
