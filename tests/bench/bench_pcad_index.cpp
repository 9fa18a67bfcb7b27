// The P-CAD page index on its own: building it for a page of 100,000 items, querying that page
// whole and zoomed in, and opening an ASCII file of a thousand mostly empty large sheets.
#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "pcad/ascii.h"
#include "pcad/page.h"

namespace {

// 100,000 items on a 128 by 128 grid: short wires, symbol-sized boxes of lines, circles and
// texts, and a few page-wide lines.
pcad::Page largePage() {
    pcad::Page p;
    p.width = 10000;
    p.height = 8000;
    for (int k = 0; k < 100000; ++k) {
        const double x = (k * 37) % 9900, y = (k * 53) % 7900;
        switch (k % 4) {
            case 0: p.lines.push_back({x, y, x + 60, y, 0.2f, 4}); break;
            case 1: p.lines.push_back({x, y, x, y + (k % 97 == 0 ? 6000 : 40), 0.1f, 2}); break;
            case 2: p.circles.push_back({x, y, 2, 0, 10, 1}); break;
            default: {
                pcad::Text t;
                t.x = x;
                t.y = y;
                t.text = std::string("R").append(std::to_string(k));
                p.texts.push_back(t);
            }
        }
    }
    p.buildIndex();
    return p;
}

void BM_BuildIndex(benchmark::State& state) {
    pcad::Page p = largePage();
    for (auto _ : state) {
        p.buildIndex();
        benchmark::DoNotOptimize(p.items.data());
    }
}

// Argument 0 queries the whole page, 1 a rectangle of 1 % of its sides' product.
void BM_Query(benchmark::State& state) {
    const pcad::Page p = largePage();
    const bool zoomed = state.range(0) == 1;
    const double x0 = zoomed ? 4500 : 0, y0 = zoomed ? 3600 : 0;
    const double x1 = zoomed ? 5500 : 10000, y1 = zoomed ? 4400 : 8000;
    std::size_t found = 0;
    for (auto _ : state) {
        found = 0;
        p.query(x0, y0, x1, y1, [&found](const pcad::Item&) { ++found; });
        benchmark::DoNotOptimize(found);
    }
    state.counters["items"] = static_cast<double>(found);
}

void BM_OpenManyEmptySheets(benchmark::State& state) {
    std::string s =
        "ACCEL_ASCII \"m.sch\"\n(schematicDesign \"D\" (schDesignHeader (workspaceSize 5000 5000))";
    s += " (sheet \"S\" (line (pt 1 1) (pt 30 40)))";
    for (int k = 1; k < 1000; ++k) s += " (sheet)";
    s += ")";
    for (auto _ : state) {
        const auto pages = pcad::readAscii(reinterpret_cast<const std::uint8_t*>(s.data()), s.size());
        benchmark::DoNotOptimize(pages.data());
    }
}

}  // namespace

BENCHMARK(BM_BuildIndex)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Query)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_OpenManyEmptySheets)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
