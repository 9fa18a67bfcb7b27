// Scan rate of the SBK page reader on synthetic Circuit streams of 1, 4 and
// 16 MB: symbols with references, values and pin numbers, terminals with
// labels, wires, buses and annotations, repeated to size.
#include "sbk/document.h"
#include "support/sbk_builder.h"

#include <benchmark/benchmark.h>

#include <map>
#include <memory>
#include <string>

namespace {

struct Sample {
    std::unique_ptr<kgtest::TempFile> file;
    size_t circuitBytes = 0;
};

const Sample& sample(size_t megabytes) {
    static std::map<size_t, Sample> samples;
    Sample& s = samples[megabytes];
    if (s.file) return s;
    kgtest::CircuitBuilder c;
    c.setFrame(0, 0, 11000, 8500);
    const size_t target = megabytes << 20;
    int32_t n = 0;
    while (c.size() < target) {
        const int32_t x = (n * 37) % 10000, y = (n * 53) % 8000;
        c.instance(n % 3 ? "RES" : "IC_QUAD", x, y, static_cast<uint8_t>(n & 7));
        c.text(15, 0, 60, n % 3 ? "R" + std::to_string(n) : "IC" + std::to_string(n));
        c.text(5, 0, -60, "10k");
        c.text(4, -20, 0, "1");
        c.text(4, 120, 0, "2");
        c.text(7, 30, 30, "note");
        c.pad(48, 0x5A);
        c.terminal(n % 2 ? "GND" : "VCC_p", x + 200, y, 0);
        c.text(8, 10, 10, "NET" + std::to_string(n));
        c.pad(24, 0x33);
        c.wire(5, {{x, y}, {x + 100, y}, {x + 100, y + 100}});
        if (n % 8 == 0) c.bus(6, {{x, y}, {x, y + 400}, {x + 300, y + 400}});
        c.pad(16, 0x11);
        ++n;
    }
    c.text(9, 100, 100, "SHEET TITLE");
    kgtest::CellBuilder res, ic, gnd, frame;
    res.geometry(0x80, 8, {0, 0, 30, 0, 30, 10, 70, 10, 70, -10, 30, -10, 30, 0, 100, 0})
        .text(3, 0, 5, "A")
        .text(3, 100, 5, "B");
    ic.geometry(0x80, 8, {0, 0, 200, 0, 200, 300, 0, 300, 0, 0}).geometry(0x81, 48, {90, 290, 110, 270});
    for (int p = 0; p < 8; ++p) ic.text(3, p < 4 ? 10 : 150, 40 * (p % 4) + 20, "P" + std::to_string(p));
    gnd.geometry(0x80, 8, {0, 0, 0, -30, -20, -30, 20, -30})
        .geometry(0x82, 24, {0, -20, -40, 0, -60, 20, -40});
    frame.geometry(0x80, 8, {0, 0, 11000, 0, 11000, 8500, 0, 8500, 0, 0}).text(7, 9000, 200, "TITLE BLOCK");
    kgtest::SbkFileBuilder b;
    b.addCell("C;1", frame.bytes());
    b.addCell("RES;1", res.bytes());
    b.addCell("IC_QUAD;1", ic.bytes());
    b.addCell("GND;1", gnd.bytes());
    b.addCell("VCC_p;1", gnd.bytes());
    b.addPage(c.bytes());
    s.circuitBytes = c.size();
    s.file = std::make_unique<kgtest::TempFile>(b.bytes(), ".SBK");
    return s;
}

void BM_SbkScan(benchmark::State& state) {
    const Sample& s = sample(static_cast<size_t>(state.range(0)));
    uint64_t polylines = 0, texts = 0;
    for (auto _ : state) {
        sbk::Document doc = sbk::loadPage(s.file->path(), 0);
        polylines = doc.stats().polylineCount;
        texts = doc.stats().textCount;
        benchmark::DoNotOptimize(doc);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(s.circuitBytes));
    state.SetComplexityN(static_cast<int64_t>(s.circuitBytes));
    state.counters["polylines"] = static_cast<double>(polylines);
    state.counters["texts"] = static_cast<double>(texts);
}

}  // namespace

BENCHMARK(BM_SbkScan)->Arg(1)->Arg(4)->Arg(16)->Unit(benchmark::kMillisecond)->Complexity(benchmark::oN);

BENCHMARK_MAIN();
