// The record behind schematic::ViewerCore, shared by its source files.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "pcad/page.h"
#include "sbk/document.h"
#include "schematic/viewer_core.h"
#include "schq/document.h"

namespace schematic {

struct ViewerCore::Impl {
    explicit Impl(const std::string& path);
    ~Impl();

    std::int32_t format = 0;  // 0 P-CAD, 1 SchDoc, 2 SBK
    std::unique_ptr<std::vector<pcad::Page>> pcadPages;
    std::unique_ptr<schq::Document> schDoc;
    std::unique_ptr<sbk::Document> sbkDoc;  // the current page only
    std::string path;
    std::size_t currentPage = 0;
    std::vector<LayerInfo> layers;
    std::uint32_t visibleMask = 0xFFFFFFFFu;
    bool dark = true;
    std::int32_t viewportWidth = 1024;
    std::int32_t viewportHeight = 768;
    double scale = 1;
    double offsetX = 0;
    double offsetY = 0;
    std::int32_t ySign = -1;
};

}  // namespace schematic
