// Throughput of the ASCII P-CAD reader (parse, read and index) on synthetic files of 1 and 4 MB
// in two forms: plain millimetre files (symbols of lines and attributes, wires, texts, ports,
// junctions; no unit inside a value), and mil files as P-CAD saves them (symbols with pins,
// arcs and polygons, sizes written in millimetres).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

#include "pcad/ascii.h"
#include "support/pcad_ascii_builder.h"

namespace {

std::string num(long long v) { return std::to_string(v); }

const char* kPlainLibrary =
    "(textStyleDef \"(Default)\" (font (fontType Stroke) (fontHeight 2.5) (strokeWidth 0.25)))\n"
    "(symbolDef \"GATE_1\"\n"
    " (line (pt 0 5) (pt 0 -5) (width 0.25)) (line (pt 0 5) (pt 10 0)) (line (pt 10 0) (pt 0 -5))\n"
    " (attr \"RefDes\" \"\" (pt 5 4) (isVisible True) (textStyleRef \"(Default)\")))\n";

const char* kSavedLibrary =
    "(textStyleDef \"(PinStyle)\" (font (fontType Stroke) (fontHeight 1.74 mm) (strokeWidth 0.2 mm)))\n"
    "(symbolDef \"GATE_1\"\n"
    " (pin (pinNum 1) (pt 0 100) (rotation 180) (pinLength 200) (pinDisplay (dispPinName True))\n"
    "  (pinDes (text (pt -100 110) \"1\" (textStyleRef \"(PinStyle)\") (extent 1.96214 mm 3.04561 mm)))\n"
    "  (pinName (text (pt 20 100) \"A\" (textStyleRef \"(PinStyle)\") (extent 1.9 mm 3 mm))))\n"
    " (pin (pinNum 2) (pt 0 -100) (rotation 180) (pinDisplay (dispPinDes False)))\n"
    " (pin (pinNum 3) (pt 400 0) (pinLength 7.62mm)\n"
    "  (pinDes (text (pt 500 10) \"3\" (textStyleRef \"(PinStyle)\") (extent 1.96214 mm 3.04561 mm))))\n"
    " (line (pt 0 200) (pt 0 -200) (width 10)) (poly (pt 0 200) (pt 400 0) (pt 0 -200))\n"
    " (triplePointArc (pt 200 0) (pt 250 0) (pt 150 0))\n"
    " (attr \"RefDes\" \"\" (pt 200 150) (isVisible True) (textStyleRef \"(PinStyle)\")))\n"
    "(compDef \"GATE_1\" (compHeader (numParts 4)))\n";

// Items on a grid of `step` units, in the saved form or the plain one.
std::vector<std::uint8_t> syntheticFile(std::size_t targetSize, bool saved) {
    kgtest::PcadAsciiBuilder b(saved ? "Mil" : "mm");
    const long long step = saved ? 550 : 14;
    b.header = saved ? "(workspaceSize 40000 30000)" : "(workspaceSize 1000 750)";
    b.library = saved ? kSavedLibrary : kPlainLibrary;
    const std::string extent = saved ? "(extent 12.5 mm 2.54 mm)" : "(extent 12.5 2.54)";
    const std::size_t frame = b.text().size();
    std::string body, netlist;
    for (long long k = 0; frame + body.size() + netlist.size() < targetSize; ++k) {
        const long long x = step + (k % 70) * step, y = step + (k / 70 % 50) * step;
        const std::string at = "(pt " + num(x) + " " + num(y) + ")";
        switch (k % 4) {
            case 0:
                body += "(symbol (symbolRef \"GATE_1\") (refDesRef \"U" + num(k / 16) + "\") (partNum " +
                        num(1 + k / 4 % 4) + ") " + at + ")\n";
                if (k % 16 == 0) netlist += "(compInst \"U" + num(k / 16) + "\" (compRef \"GATE_1\"))\n";
                break;
            case 1:
                body +=
                    "(wire (line " + at + " (pt " + num(x + step / 2) + " " + num(y) + ") (width 0.25)))\n";
                break;
            case 2:
                body += "(text " + at + " \"Note " + num(k) + "\" " + extent + ")\n(junction " + at + ")\n";
                break;
            default: body += "(port " + at + " (netNameRef \"N" + num(k) + "\"))\n"; break;
        }
    }
    b.netlist = netlist;
    b.sheet(body);
    return b.bytes();
}

void BM_ReadAscii(benchmark::State& state, bool saved) {
    const std::vector<std::uint8_t> file = syntheticFile(static_cast<std::size_t>(state.range(0)), saved);
    std::size_t primitives = 0;
    for (auto _ : state) {
        const auto pages = pcad::readAscii(file.data(), file.size());
        primitives = 0;
        for (const auto& p : pages) primitives += p.lines.size() + p.circles.size() + p.texts.size();
        benchmark::DoNotOptimize(primitives);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(file.size()));
    state.counters["primitives"] = static_cast<double>(primitives);
}

}  // namespace

BENCHMARK_CAPTURE(BM_ReadAscii, Plain, false)->Arg(1 << 20)->Arg(4 << 20)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ReadAscii, Saved, true)->Arg(1 << 20)->Arg(4 << 20)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
