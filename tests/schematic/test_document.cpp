// The document interface through each of its three adapters, without the viewer core around it.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>

#include "schematic/document.h"
#include "support/pcad_binary_builder.h"
#include "support/sbk_builder.h"
#include "support/schdoc_builder.h"
#include "tests/schematic/recording_target.h"

namespace {

using kgtest::TempFile;
using schematic::Document;

// One open document of a format, with what the interface must report for it.
struct Case {
    std::unique_ptr<TempFile> file;
    std::size_t pages;
    std::string firstName;
    std::size_t layers;
    std::int32_t ySign;
    std::string statusStart;
};

Case pcadCase() {
    kgtest::PcadBinaryBuilder b = kgtest::pcadBinaryFile();
    b.sheetSized(1, "Top", 1).sheetSized(2, "Bottom");
    b.shape({.x1 = 10, .y1 = 10, .x2 = 60, .y2 = 10, .sheet = 1, .rect = {10, 10, 60, 10}});
    b.fill(64);
    return {std::make_unique<TempFile>(b.bytes, ".sch"), 2, "Top", 6, -1, "P-CAD SCH | sheet 1/2 | 1 lines"};
}

Case schDocCase() {
    kgtest::SchDocBuilder b;
    b.add("|RECORD=27|LOCATIONCOUNT=2|X1=0|Y1=0|X2=10|Y2=0");
    return {std::make_unique<TempFile>(b.image().bytes, ".SchDoc"),
            1,
            "Schematic",
            5,
            1,
            "Altium SchDoc | 0 components, 1 wires"};
}

Case sbkCase() {
    kgtest::SbkFileBuilder f;
    for (int i = 0; i < 2; ++i) {
        kgtest::CircuitBuilder c;
        c.wire(5, {{0, 0}, {1000 * (i + 1), 0}});
        f.addPage(c.bytes());
    }
    return {std::make_unique<TempFile>(f.bytes(), ".sbk"),  2, "Page 1", 13, -1,
            "Mentor SBK | page 1/2 | 0 components, 1 wires"};
}

TEST(Document, EachAdapterReportsItsPagesLayersAndStatus) {
    Case cases[] = {pcadCase(), schDocCase(), sbkCase()};
    for (Case& c : cases) {
        SCOPED_TRACE(c.statusStart);
        const std::unique_ptr<Document> doc = schematic::openDocument(c.file->path());
        EXPECT_EQ(doc->pageCount(), c.pages);
        EXPECT_EQ(doc->currentPage(), 0u);
        EXPECT_EQ(doc->pageName(0), c.firstName);
        EXPECT_EQ(doc->pageName(c.pages), "");
        EXPECT_EQ(doc->layers().size(), c.layers);
        EXPECT_EQ(doc->ySign(), c.ySign);
        EXPECT_EQ(doc->statusText().rfind(c.statusStart, 0), 0u) << doc->statusText();
        EXPECT_THROW(doc->selectPage(c.pages), std::out_of_range);
        EXPECT_EQ(doc->currentPage(), 0u);

        // The fitted extent holds the page's single line or wire.
        const schematic::Extent e = doc->extent();
        EXPECT_LT(e.x0, e.x1);

        schematic::ViewTransform view;  // half a pixel a unit, the extent's centre at the view's
        view.ySign = doc->ySign();
        view.scale = 0.5;
        view.offsetX = view.width * 0.5 - (e.x0 + e.x1) * 0.25;
        view.offsetY = view.height * 0.5 - view.ySign * (e.y0 + e.y1) * 0.25;
        kgtest::RecordingTarget all, none;
        doc->paint(all, view, 0xFFFFFFFFu, true);
        doc->paint(none, view, 0, true);
        EXPECT_FALSE(all.calls.empty());
        EXPECT_TRUE(none.calls.empty());

        const std::string svg = c.file->path() + ".svg";
        doc->exportSvg(svg, 0xFFFFFFFFu, false);
        EXPECT_GT(std::filesystem::file_size(svg), 0u);
        std::filesystem::remove(svg);
    }
}

TEST(Document, SelectingAPageChangesWhatIsReported) {
    Case pcad = pcadCase();
    const std::unique_ptr<Document> p = schematic::openDocument(pcad.file->path());
    p->selectPage(1);
    EXPECT_EQ(p->currentPage(), 1u);
    EXPECT_EQ(p->statusText(), "P-CAD SCH | sheet 2/2 | 0 lines, 0 circles, 0 texts");

    Case sbk = sbkCase();
    const std::unique_ptr<Document> k = schematic::openDocument(sbk.file->path());
    const double firstWidth = k->extent().x1 - k->extent().x0;
    k->selectPage(1);
    EXPECT_EQ(k->statusText().rfind("Mentor SBK | page 2/2 | ", 0), 0u);
    EXPECT_GT(k->extent().x1 - k->extent().x0, firstWidth);
    // A page that can no longer be read leaves the document on the one it holds.
    sbk.file->write({'n', 'o', 't', ' ', 's', 'b', 'k'});
    EXPECT_ANY_THROW(k->selectPage(0));
    EXPECT_EQ(k->currentPage(), 1u);
    EXPECT_EQ(k->statusText().rfind("Mentor SBK | page 2/2 | ", 0), 0u);
}

TEST(Document, ExportFailuresKeepTheirMessages) {
    Case s = schDocCase();
    const std::unique_ptr<Document> doc = schematic::openDocument(s.file->path());
    try {
        const std::filesystem::path missing =
            std::filesystem::path(s.file->path()).parent_path() / "kg_missing";
        doc->exportSvg((missing / "x.svg").string(), 0x1F, true);
        ADD_FAILURE() << "no error";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Could not create SVG file");
    }
    EXPECT_THROW(schematic::openDocument(s.file->path() + ".txt"), std::runtime_error);
}

}  // namespace
