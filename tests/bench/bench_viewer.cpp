// The viewer core on large sheets of every kind: opening (read and index), a paint of the whole
// fitted page into a recording target, a paint of a small zoomed-in region (which the grid index
// and the SBK culling keep cheap) and SVG export. Sources: the largest real SchDoc sample and
// synthetic files of each format.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "schematic/viewer_core.h"
#include "support/compound_file_writer.h"
#include "support/pcad_binary_builder.h"
#include "support/sbk_builder.h"
#include "support/schdoc_builder.h"
#include "tests/schematic/recording_target.h"

namespace {

using kgtest::TempFile;
using schematic::ViewerCore;

std::string str(long long v) { return std::to_string(v); }

// One ASCII sheet of 400 by 300 mm: a grid of wires, sheet lines, junctions and texts.
std::unique_ptr<TempFile> asciiFile() {
    std::string s =
        "ACCEL_ASCII \"big.sch\"\n(asciiHeader (fileUnits mm))\n(schematicDesign \"D\"\n"
        "(schDesignHeader (workspaceSize 400 300))\n(sheet \"Big\"\n";
    for (int k = 0; k < 60000; ++k) {
        const double x = (k % 390) + 2.0;
        const double y = ((k / 390) % 290) + 2.0;
        const std::string at = "(pt " + std::to_string(x) + " " + std::to_string(y) + ")";
        const std::string right = "(pt " + std::to_string(x + 0.8) + " " + std::to_string(y) + ")";
        switch (k % 4) {
            case 0: s += "(wire (line " + at + " " + right + " (width 0.2)))\n"; break;
            case 1: s += "(line " + at + " " + right + " (width 0.1))\n"; break;
            case 2: s += "(junction " + at + ")\n"; break;
            default: s += "(text " + at + " \"T" + str(k) + "\")\n"; break;
        }
    }
    s += "))\n";
    return std::make_unique<TempFile>(std::vector<std::uint8_t>(s.begin(), s.end()), ".sch");
}

// A binary file of about 4 MB on two 420 by 297 mm sheets, dense with the records the reader
// scans for.
std::unique_ptr<TempFile> binaryFile() {
    kgtest::PcadBinaryBuilder b = kgtest::pcadBinaryFile();
    b.rectTagRaw(29700000, 0, 0, 42000000);
    b.sheet(1, "Main1").sheet(2, "Main2");
    b.font(1, "Arial", 250000).named(7, "Default");
    b.anchor();
    for (std::size_t k = 0; b.size() < (4u << 20); ++k) {
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
        b.anchoredText(std::string("R").append(str(static_cast<long long>(k))), {900, 1, 7},
                       {.x = x + 2, .y = y + 2, .sheet = sheet, .rect = {x + 1, y + 1, x + 8, y + 4}});
    }
    return std::make_unique<TempFile>(b.bytes, ".sch");
}

// A large sheet (style 4) of 100,000 records: wires, junctions, component pins and graphics,
// net labels and arcs.
std::unique_ptr<TempFile> schDocFile() {
    kgtest::SchDocBuilder b;
    b.setSheet("|RECORD=31|SHEETSTYLE=4|SIZE1=10");
    const int component = b.add("|RECORD=1|CURRENTPARTID=1");
    const std::string owner = "|OWNERINDEX=" + str(component - 1);
    for (int i = 1; b.fileHeaderCount() < 100000 + 2; ++i) {
        const int x = (i * 37) % 4600 + 20;
        const int y = (i * 53) % 3200 + 50;
        const std::string at = "|LOCATION.X=" + str(x) + "|LOCATION.Y=" + str(y);
        switch (i % 6) {
            case 0:
                b.add("|RECORD=27|LOCATIONCOUNT=3|X1=" + str(x) + "|Y1=" + str(y) + "|X2=" + str(x + 40) +
                      "|Y2=" + str(y) + "|X3=" + str(x + 40) + "|Y3=" + str(y + 30));
                break;
            case 1: b.add("|RECORD=29" + at); break;
            case 2:
                b.add("|RECORD=2|PINCONGLOMERATE=" + str(24 + i % 4) + "|PINLENGTH=20|NAME=P" + str(i) +
                      "|DESIGNATOR=" + str(i % 100) + "|OWNERPARTID=1" + owner + at);
                break;
            case 3:
                b.add("|RECORD=14|CORNER.X=" + str(x + 30) + "|CORNER.Y=" + str(y + 20) + "|ISSOLID=T" +
                      owner + at);
                break;
            case 4: b.add("|RECORD=25|TEXT=NET" + str(i) + at); break;
            default: b.add("|RECORD=12|RADIUS=8|STARTANGLE=0|ENDANGLE=180" + owner + at); break;
        }
    }
    return b.write();
}

// An SBK page of 100 by 80 thousand units: 40,000 wires and 4,000 placed symbols, each with a
// reference, a value and a cell of a box, a curve, an ellipse and two pin names.
std::unique_ptr<TempFile> sbkFile() {
    kgtest::CircuitBuilder c;
    c.setFrame(-50000, -40000, 50000, 40000);
    for (int k = 0; k < 4000; ++k) {
        const int x = (k % 80) * 1200 - 48000, y = (k / 80) * 1500 - 38000;
        c.instance("PART", x, y, static_cast<std::uint8_t>(k % 4));
        c.text(15, 0, 60, "IC" + str(k));
        c.text(5, 0, -60, "10k");
        c.pad(60);
    }
    for (int k = 0; k < 40000; ++k) {
        const int x = (k % 200) * 480 - 48000, y = (k / 200) * 390 - 39000;
        c.wire(5, {{x, y}, {x + 300, y}, {x + 300, y + 200}});
    }
    kgtest::SbkFileBuilder f;
    f.addCell("PART", kgtest::CellBuilder()
                          .geometry(0x80, 8, {0, 0, 400, 0})
                          .geometry(0x80, 8, {400, 0, 400, 300})
                          .geometry(0x82, 24, {9, 0, 300, 200, 500, 400, 300})
                          .geometry(0x8F, 48, {100, 100, 300, 200})
                          .text(3, 20, 150, "IN")
                          .text(3, 380, 150, "OUT")
                          .bytes());
    f.addPage(c.bytes());
    return std::make_unique<TempFile>(f.bytes(), ".sbk");
}

std::string samplePath() {
    return (std::filesystem::path(KG_TESTDATA) / "schdoc" / "ThunderScope_Main.SchDoc").string();
}

// Each source is written once, on first use.
const std::string& pathOf(int source) {
    static std::unique_ptr<TempFile> files[4];
    static const std::string sample = samplePath();
    if (source == 4) return sample;
    if (!files[source]) {
        switch (source) {
            case 0: files[0] = asciiFile(); break;
            case 1: files[1] = binaryFile(); break;
            case 2: files[2] = schDocFile(); break;
            default: files[3] = sbkFile(); break;
        }
    }
    return files[source]->path();
}

bool available(benchmark::State& state, const std::string& path) {
    if (std::filesystem::exists(path)) return true;
    state.SkipWithError("sample file missing");
    return false;
}

void Open(benchmark::State& state, int source) {
    const std::string& path = pathOf(source);
    if (!available(state, path)) return;
    for (auto _ : state) {
        ViewerCore core(path);
        benchmark::DoNotOptimize(core.scale());
    }
}

// Zoom 0 paints the fitted page; any other factor zooms in about the viewport's centre first.
void Paint(benchmark::State& state, int source, double zoom) {
    const std::string& path = pathOf(source);
    if (!available(state, path)) return;
    ViewerCore core(path);
    core.setViewportSize(1600, 1000);
    core.fitToView();
    if (zoom > 0) core.zoomAt(800, 500, zoom);
    kgtest::RecordingTarget target;
    std::size_t calls = 0;
    for (auto _ : state) {
        target.calls.clear();
        core.paint(target);
        calls = target.calls.size();
        benchmark::DoNotOptimize(calls);
    }
    state.counters["calls"] = static_cast<double>(calls);
}

void ExportSvg(benchmark::State& state, int source) {
    const std::string& path = pathOf(source);
    if (!available(state, path)) return;
    const ViewerCore core(path);
    TempFile out(".svg");
    for (auto _ : state) core.exportSvg(out.path());
    state.counters["bytes"] = static_cast<double>(std::filesystem::file_size(out.path()));
}

void registerAll() {
    const char* names[5] = {"PcadAscii", "PcadBinary", "SchDocSynthetic", "Sbk", "SchDocSample"};
    for (int source = 0; source < 5; ++source) {
        const std::string name = names[source];
        benchmark::RegisterBenchmark(("Open/" + name).c_str(), Open, source)->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("PaintFull/" + name).c_str(), Paint, source, 0.0)
            ->Unit(benchmark::kMicrosecond);
        benchmark::RegisterBenchmark(("PaintZoomed/" + name).c_str(), Paint, source, 40.0)
            ->Unit(benchmark::kMicrosecond);
        benchmark::RegisterBenchmark(("ExportSvg/" + name).c_str(), ExportSvg, source)
            ->Unit(benchmark::kMillisecond);
    }
}

}  // namespace

int main(int argc, char** argv) {
    registerAll();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
