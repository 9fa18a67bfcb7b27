// Arbitrary bytes as a SchDoc file: read, then export the whole sheet as SVG.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

#include <unistd.h>

#include "schq/error.h"
#include "schq/reader.h"
#include "schq/svg.h"

namespace {

const std::string& inputPath() {
    static const std::string path = [] {
        std::error_code ec;
        std::filesystem::path dir = std::filesystem::temp_directory_path(ec);
        if (ec) dir = ".";
        // One file per process, so that parallel jobs do not share it.
        return (dir / ("fuzz_schq_" + std::to_string(::getpid()) + ".SchDoc")).string();
    }();
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string& path = inputPath();
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
        if (!out) return 0;
    }
    try {
        const schq::Document document = schq::readSchDoc(path);
        schq::RenderOptions options;
        options.layerMask = 0x1F;
        const std::string svg = schq::exportSvg(document, options);
        if (svg.size() < 7 || svg.compare(svg.size() - 7, 7, "</svg>\n") != 0) __builtin_trap();
        // The on-screen query path with culling, over a zoomed-in window and the whole sheet.
        (void)document.query({0, 0, document.width() / 3, document.height() / 3}, {0x1F, true, 0.5});
        (void)document.query({-1e9, -1e9, 1e9, 1e9}, {0x1F, true, 2});
    } catch (const schq::Error&) {
    } catch (const std::exception&) {
    }
    return 0;
}
