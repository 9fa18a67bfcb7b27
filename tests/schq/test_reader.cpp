// Whole files through the reader: synthetic SchDoc files written with the test builder, and the
// real sample files when present.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "schq/error.h"
#include "schq/reader.h"
#include "schq/svg.h"
#include "support/schdoc_builder.h"

namespace {

using kgtest::SchDocBuilder;
using schq::Document;

Document read(const SchDocBuilder& b) {
    const auto file = b.write();
    return schq::readSchDoc(file->path());
}

std::string readError(const SchDocBuilder& b) {
    try {
        read(b);
    } catch (const schq::Error& e) {
        return e.what();
    }
    return "(no error)";
}

std::string withOwner(int ownerIndex, const std::string& body) {
    return body + "|OWNERINDEX=" + std::to_string(ownerIndex - 1);
}

const char* kLine = "|RECORD=13|LOCATION.X=10|LOCATION.Y=10|CORNER.X=20|CORNER.Y=10";

TEST(SchqReader, StructuralErrors) {
    SchDocBuilder onlyHeader(false);
    onlyHeader.add(SchDocBuilder::kHeader);
    EXPECT_EQ(readError(onlyHeader), "Missing Altium/Protel FileHeader records");

    SchDocBuilder noHeaderKey(false);
    noHeaderKey.add("|NOTHEADER=x");
    noHeaderKey.add("|RECORD=31");
    EXPECT_EQ(readError(noHeaderKey), "Missing Altium/Protel FileHeader records");

    SchDocBuilder emptyHeaderValue(false);
    emptyHeaderValue.add("|HEADER=");
    emptyHeaderValue.add("|RECORD=31");
    EXPECT_NO_THROW(read(emptyHeaderValue));

    SchDocBuilder noSheet(false);
    noSheet.add(SchDocBuilder::kHeader);
    noSheet.add("|RECORD=310");
    noSheet.add("|RECORD= 31");
    EXPECT_EQ(readError(noSheet), "SchDoc sheet properties not found (record 31)");

    // The sheet record may come from the second stream.
    SchDocBuilder sheetInAdditional(false);
    sheetInAdditional.add(SchDocBuilder::kHeader);
    sheetInAdditional.add("|RECORD=1");
    sheetInAdditional.addAdditional("|HEADER=x");
    sheetInAdditional.addAdditional("|RECORD=31|SHEETSTYLE=1");
    EXPECT_EQ(read(sheetInAdditional).width(), 1550);

    // Faults of the container and of the record stream come through as they are.
    kgtest::CompoundFileWriter w(3);
    w.addStream("Other", std::string_view("x"));
    const kgtest::TempFile noStream(w.build().bytes, ".SchDoc");
    try {
        schq::readSchDoc(noStream.path());
        ADD_FAILURE() << "no error";
    } catch (const schq::Error& e) {
        EXPECT_STREQ(e.what(), "Missing CFB stream: FileHeader");
    }
    kgtest::CompoundFileWriter bad(3);
    bad.addStream("FileHeader", std::vector<std::uint8_t>{1, 2, 3});
    const kgtest::TempFile badStream(bad.build().bytes, ".SchDoc");
    EXPECT_THROW(schq::readSchDoc(badStream.path()), schq::Error);
    EXPECT_THROW(schq::readSchDoc("/nonexistent/folder/x.SchDoc"), schq::Error);
}

TEST(SchqReader, SheetSizes) {
    struct Case {
        const char* sheet;
        double w, h;
    } cases[] = {
        {"|RECORD=31", 1150, 760},
        {"|RECORD=31|SHEETSTYLE=1", 1550, 1110},
        {"|RECORD=31|SHEETSTYLE=2", 2230, 1570},
        {"|RECORD=31|SHEETSTYLE=3", 3150, 2230},
        {"|RECORD=31|SHEETSTYLE=4", 4460, 3150},
        {"|RECORD=31|SHEETSTYLE=9", 4200, 3200},
        {"|RECORD=31|SHEETSTYLE=18", 4280, 3280},
        {"|RECORD=31|SHEETSTYLE=-2", 1150, 760},
        {"|RECORD=31|USECUSTOMSHEET=T|CUSTOMX=0|CUSTOMY=800|SHEETSTYLE=2", 2230, 1570},
        {"|RECORD=31|USECUSTOMSHEET=T|CUSTOMX=500|CUSTOMY=800|WORKSPACEORIENTATION=1", 500, 800},
        {"|RECORD=31|USECUSTOMSHEET=F|CUSTOMX=500|CUSTOMY=800", 1150, 760},
        {"|RECORD=31|USECUSTOMSHEET=T|CUSTOMX=100|CUSTOMY=50000", 100, 50000},
        {"|RECORD=31|USECUSTOMSHEET=T|CUSTOMX=1500|CUSTOMX_FRAC=50000|CUSTOMY=900", 1500.5, 900},
    };
    for (const Case& c : cases) {
        SchDocBuilder b;
        b.setSheet(c.sheet);
        const Document d = read(b);
        EXPECT_EQ(d.width(), c.w) << c.sheet;
        EXPECT_EQ(d.height(), c.h) << c.sheet;
    }
    // Every style, landscape and portrait.
    const double sizes[][2] = {{1150, 760},  {1550, 1110}, {2230, 1570}, {3150, 2230}, {4460, 3150},
                               {950, 750},   {1500, 950},  {2000, 1500}, {3200, 2000}, {4200, 3200},
                               {1100, 850},  {1400, 850},  {1700, 1100}, {990, 790},   {1540, 990},
                               {2060, 1560}, {3260, 2060}, {4280, 3280}};
    for (int style = 0; style < 18; ++style) {
        for (const int portrait : {0, 1}) {
            SchDocBuilder b;
            b.setSheet("|RECORD=31|SHEETSTYLE=" + std::to_string(style) +
                       "|WORKSPACEORIENTATION=" + std::to_string(portrait));
            const Document d = read(b);
            EXPECT_EQ(d.width(), sizes[style][portrait]) << style;
            EXPECT_EQ(d.height(), sizes[style][1 - portrait]) << style;
        }
    }
    for (const char* sheet : {"|RECORD=31|USECUSTOMSHEET=T|CUSTOMX=99|CUSTOMY=800",
                              "|RECORD=31|USECUSTOMSHEET=T|CUSTOMX=800|CUSTOMY=50001"}) {
        SchDocBuilder b;
        b.setSheet(sheet);
        EXPECT_EQ(readError(b), "Invalid SchDoc sheet bounds") << sheet;
    }
}

TEST(SchqReader, CountsAndDispatch) {
    SchDocBuilder b;
    b.add("|OWNERINDEX=0");    // no RECORD: neither counted nor drawn
    b.add("|RECORD=|TEXT=x");  // empty RECORD: the same
    b.add("|RECORD=abc");      // counted in records only
    const int comp = b.add("|RECORD=1");
    b.add("|RECORD=2|ISHIDDEN=T|PINCONGLOMERATE=24");  // counted, not drawn
    b.add("|RECORD=2|PINLENGTH=10|LOCATION.X=50|LOCATION.Y=50");
    b.add("|RECORD=27|LOCATIONCOUNT=2|X1=0|Y1=0|X2=10|Y2=0");
    b.add("|RECORD=29|LOCATION.X=10|LOCATION.Y=0|IGNOREONLOAD=T");
    b.add("|RECORD=29|LOCATION.X=10|LOCATION.Y=0");
    b.add("|RECORD=25|TEXT=NET|LOCATION.X=1|LOCATION.Y=1");
    b.add("|RECORD=17|STYLE=7|TEXT=GND");
    b.add("|RECORD=15|LOCATION.X=0|LOCATION.Y=0");  // unhandled type
    for (const char* type : {"4", "28", "32", "33", "34", "41"})
        b.add(std::string("|RECORD=") + type + "|TEXT=T" + type);
    b.addBinary(12);
    (void)comp;
    const Document d = read(b);
    const schq::DocumentStats& s = d.stats();
    EXPECT_EQ(s.records, 17u);  // with the sheet record
    EXPECT_EQ(s.components, 1u);
    EXPECT_EQ(s.pins, 2u);
    EXPECT_EQ(s.wires, 1u);
    EXPECT_EQ(s.junctions, 2u);
    EXPECT_EQ(s.netLabels, 1u);
    // pin line, wire, junction, net label, port stub + chevron + name, six texts
    EXPECT_EQ(s.primitives, 13u);
    EXPECT_EQ(s.texts, 8u);
    EXPECT_EQ(d.primitives().size(), 13u);

    const auto& p = d.primitives();
    // Sorted by layer: wires first, then pins, then labels in record order.
    EXPECT_EQ(p[0].layer, schq::Wires);
    EXPECT_EQ(p[0].kind, schq::Polyline);
    EXPECT_EQ(p[0].stroke, 0xFF453B30u);
    EXPECT_EQ(p[1].kind, schq::Circle);
    EXPECT_EQ(p[1].stroke, 0xFF202080u);
    EXPECT_EQ(p[1].fill, 0xFF202080u);
    EXPECT_EQ(p[1].rx, 1.85);
    EXPECT_EQ(p[1].strokeWidth, 0);
    EXPECT_EQ(p[1].y, 760);
    EXPECT_EQ(p[2].layer, schq::Pins);
    EXPECT_EQ(p[3].text, "NET");
    EXPECT_EQ(p[3].y, 759);
    EXPECT_EQ(p[6].text, "GND");
    EXPECT_EQ(p[7].text, "T4");
    EXPECT_EQ(p[12].text, "T41");
}

std::vector<std::string> textsOf(const Document& d) {
    std::vector<std::string> texts;
    for (const schq::Primitive& p : d.primitives())
        if (p.kind == schq::Text) texts.push_back(p.text);
    return texts;
}

// Parameters that hold pin or model data stay off the sheet; the designator of a multi-part
// component names the part it shows.
TEST(SchqReader, ParametersAndPartLetters) {
    SchDocBuilder b;
    const int comp = b.add("|RECORD=1");
    const int pin = b.add(withOwner(comp, "|RECORD=2"));
    b.add(withOwner(pin, "|RECORD=41|TEXT=pin data"));
    for (const char* type : {"44", "48", "49"}) {
        const int owner = b.add(withOwner(comp, std::string("|RECORD=") + type));
        b.add(withOwner(owner, std::string("|RECORD=41|TEXT=under ") + type));
    }
    b.add(withOwner(comp, "|RECORD=41|TEXT=comment"));
    b.add("|RECORD=41|TEXT=free");
    for (const char* part : {"1", "2", "3", "4", "27"}) {
        const int gate = b.add(std::string("|RECORD=1|PARTCOUNT=5|CURRENTPARTID=") + part);
        b.add(withOwner(gate, "|RECORD=34|TEXT=U3|OWNERPARTID=-1"));
    }
    const int single = b.add("|RECORD=1|PARTCOUNT=2|CURRENTPARTID=1");
    b.add(withOwner(single, "|RECORD=34|TEXT=Q1"));
    EXPECT_EQ(textsOf(read(b)), (std::vector<std::string>{"under 49", "comment", "free", "U3A", "U3B", "U3C",
                                                          "U3D", "U3", "Q1"}));
}

// A text frame: its box, then its text inside the margin from the top, wrapped, aligned and clipped.
TEST(SchqReader, TextFrames) {
    SchDocBuilder b;
    // Inner width 90 at size 8.1: 18 characters a line; the frame's bottom is 30 below its top.
    b.add(
        "|RECORD=28|LOCATION.X=100|LOCATION.Y=600|CORNER.X=200|CORNER.Y=630|ISSOLID=T|SHOWBORDER=T"
        "|AREACOLOR=255|COLOR=65280|TEXTMARGIN=5|WORDWRAP=T|ALIGNMENT=2|CLIPTORECT=T"
        "|TEXT=alpha beta gamma delta~1abcdefghijklmnopqrstuvwxyz~1~1Z");
    b.add(
        "|RECORD=28|LOCATION.X=300|LOCATION.Y=600|CORNER.X=340|CORNER.Y=630|SHOWBORDER=T|ALIGNMENT=3"
        "|TEXT=not wrapped at all");
    b.add("|RECORD=28|LOCATION.X=400|LOCATION.Y=600|CORNER.X=440|CORNER.Y=630|ISSOLID=T");
    const Document d = read(b);
    const auto& p = d.primitives();
    ASSERT_EQ(p.size(), 7u);
    for (int k = 0; k < 3; ++k) EXPECT_EQ(p[k].kind, schq::Rectangle);
    EXPECT_EQ(p[0].fill, 0xFF0000FFu);
    EXPECT_EQ(p[0].stroke, 0xFF00FF00u);
    EXPECT_EQ(p[1].fill, 0x00FFFFFFu);  // a border alone
    EXPECT_EQ(p[1].stroke, 0xFF000000u);
    EXPECT_EQ(p[2].fill, 0xFFFFFFFFu);  // filled, not stroked
    EXPECT_EQ(p[2].strokeWidth, 0);
    EXPECT_EQ(textsOf(d), (std::vector<std::string>{"alpha beta gamma", "delta", "abcdefghijklmnopqrstuvwxyz",
                                                    "not wrapped at all"}));
    for (int k = 3; k < 6; ++k) {
        EXPECT_EQ(p[k].anchor, schq::Middle);
        EXPECT_EQ(p[k].x, 150);
        EXPECT_DOUBLE_EQ(p[k].y, 135 + (k - 3) * 8.1 * 1.18);
        EXPECT_EQ(p[k].dy, 0.72);
        EXPECT_EQ(p[k].stroke, 0xFF000000u);
    }
    EXPECT_EQ(p[6].anchor, schq::End);
    EXPECT_EQ(p[6].x, 338);
    EXPECT_EQ(p[6].y, 132);
}

// The reader's first look at a record sees "%UTF8%" fields as the whole record does: they
// override the type, the owner and the visibility keys too.
TEST(SchqReader, Utf8FieldsOverrideWhatDecidesDrawing) {
    SchDocBuilder b;
    const int comp = b.add("|RECORD=1|CURRENTPARTID=1");
    b.add("|RECORD=2|%UTF8%RECORD=25|TEXT=net|LOCATION.X=5|LOCATION.Y=5");
    b.add(withOwner(comp, std::string(kLine) + "|OWNERPARTID=2|%utf8%OWNERPARTID=1"));
    b.add(std::string(kLine) + "|%UTF8%ISHIDDEN=T");
    const Document d = read(b);
    EXPECT_EQ(d.stats().pins, 0u);
    EXPECT_EQ(d.stats().netLabels, 1u);
    ASSERT_EQ(d.primitives().size(), 2u);
    EXPECT_EQ(d.primitives()[0].kind, schq::Line);
    EXPECT_EQ(d.primitives()[1].text, "net");
}

TEST(SchqReader, VisibilityOfPartsAndDisplayModes) {
    SchDocBuilder b;
    const int comp = b.add("|RECORD=1|CURRENTPARTID=2|DISPLAYMODE=1");
    const int other = b.add("|RECORD=6|LOCATIONCOUNT=0");
    auto line = [&](int owner, const std::string& extra, double y) {
        b.add(withOwner(owner, "|RECORD=13|LOCATION.X=0|CORNER.X=1|LOCATION.Y=" + std::to_string(y) +
                                   "|CORNER.Y=" + std::to_string(y) + extra));
    };
    line(comp, "|OWNERPARTID=1", 1);                         // other part: hidden
    line(comp, "|OWNERPARTID=2", 2);                         // current part, no display mode
    line(comp, "|OWNERPARTID=-1", 3);                        // all parts
    line(comp, "|OWNERPARTID=2|OWNERPARTDISPLAYMODE=0", 4);  // other display mode: hidden
    line(comp, "|OWNERPARTID=2|OWNERPARTDISPLAYMODE=1", 5);
    line(comp, "|OWNERPARTID=x", 6);                          // unreadable: -1
    line(other, "|OWNERPARTID=1|OWNERPARTDISPLAYMODE=5", 7);  // owner not a component
    line(comp, "|ISHIDDEN=T", 8);
    line(comp, "|ISHIDDEN=t", 9);
    b.add("|RECORD=13|LOCATION.X=0|CORNER.X=1|LOCATION.Y=10|CORNER.Y=10|OWNERPARTID=1");  // no owner
    b.add("|RECORD=13|LOCATION.X=0|CORNER.X=1|LOCATION.Y=11|CORNER.Y=11|OWNERINDEX=2147483647|OWNERPARTID=1");
    const Document d = read(b);
    std::vector<double> ys;
    for (const auto& p : d.primitives()) ys.push_back(760 - p.points[0].y);
    EXPECT_EQ(ys, (std::vector<double>{2, 3, 5, 6, 7, 9, 10, 11}));

    // A record owned by a hidden component is still drawn when its own tests pass.
    SchDocBuilder c;
    const int hiddenComp = c.add("|RECORD=1|ISHIDDEN=T|CURRENTPARTID=1");
    c.add(withOwner(hiddenComp, std::string(kLine) + "|OWNERPARTID=1"));
    EXPECT_EQ(read(c).primitives().size(), 1u);

    std::vector<schq::PropertyMap> records{{{"RECORD", "1"}, {"CURRENTPARTID", "3"}},
                                           {{"OWNERINDEX", "-1"}, {"OWNERPARTID", "1"}}};
    EXPECT_FALSE(schq::isVisible(records, 1));
    EXPECT_TRUE(schq::isVisible(records, 0));
    EXPECT_FALSE(schq::isVisible(records, 2));  // past the end
}

TEST(SchqReader, OwnerIndicesAndDefaultColours) {
    SchDocBuilder b;
    b.add(kLine);                                  // free: 0xFF453B30
    b.add(std::string(kLine) + "|OWNERINDEX=-1");  // owned by the header record
    b.add(std::string(kLine) + "|OWNERINDEX=1");   // owned by the first line
    b.add(std::string(kLine) + "|OWNERINDEX=8");   // one past the last record
    b.add(std::string(kLine) + "|OWNERINDEX=-2");
    b.add(std::string(kLine) + "|OWNERINDEX=2147483647");  // must not wrap around
    b.add(std::string(kLine) + "|OWNERINDEX=0|COLOR=0");
    const Document d = read(b);
    ASSERT_EQ(d.primitives().size(), 7u);
    const std::uint32_t expected[] = {0xFF453B30, 0xFF2C2724, 0xFF2C2724, 0xFF453B30,
                                      0xFF453B30, 0xFF453B30, 0xFF000000};
    for (std::size_t i = 0; i < 7; ++i) EXPECT_EQ(d.primitives()[i].stroke, expected[i]) << i;
    EXPECT_EQ(d.primitives()[0].layer, schq::Graphics);
}

TEST(SchqReader, AdditionalStream) {
    auto base = [] {
        SchDocBuilder b;
        b.add("|RECORD=1|CURRENTPARTID=2");
        b.add("|RECORD=27|LOCATIONCOUNT=2|X1=0|Y1=0|X2=10|Y2=0");
        return b;
    };
    const Document alone = read(base());
    ASSERT_EQ(alone.primitives().size(), 1u);

    // Truncated, missing header key, or empty: ignored.
    SchDocBuilder truncated = base();
    std::vector<std::uint8_t> broken = kgtest::recordStream({"|HEADER=x", kLine});
    broken.resize(broken.size() - 3);
    truncated.setAdditionalBytes(broken);
    SchDocBuilder headerless = base();
    headerless.addAdditional("|NOHEADER=1");
    headerless.addAdditional(kLine);
    SchDocBuilder empty = base();
    empty.setAdditionalBytes({});
    for (const SchDocBuilder* b : {&truncated, &headerless, &empty}) {
        const Document d = read(*b);
        EXPECT_EQ(d.primitives().size(), 1u);
        EXPECT_EQ(d.stats().records, alone.stats().records);
    }

    // Records of the second stream continue the index after the last FileHeader record (3):
    // index 4 is another part of the component at index 2 and stays hidden; index 5 is its
    // current part; index 6 is owned by index 4, which is no component.
    SchDocBuilder joined = base();
    joined.addAdditional("|HEADER=x|RECORD=13");
    joined.addAdditional(std::string(kLine) + "|OWNERINDEX=1|OWNERPARTID=1");
    joined.addAdditional(std::string(kLine) + "|OWNERINDEX=1|OWNERPARTID=2");
    joined.addAdditional(std::string(kLine) + "|OWNERINDEX=3|OWNERPARTID=1");
    const Document d = read(joined);
    EXPECT_EQ(d.stats().records, alone.stats().records + 3);
    ASSERT_EQ(d.primitives().size(), 3u);
    EXPECT_EQ(d.primitives()[0].stroke, 0xFF2C2724u);
    EXPECT_EQ(d.primitives()[1].stroke, 0xFF2C2724u);
    EXPECT_EQ(d.primitives()[2].layer, schq::Wires);
}

// Writers stop the file at the end of the stream that owns the last sector: such a file reads as
// its twin padded to whole sectors, whichever stream is last; cut inside the stream, it fails.
TEST(SchqReader, FileEndingAtTheLastStreamsBytes) {
    const auto svgOf = [](const kgtest::CompoundFileImage& img) {
        const kgtest::TempFile file(img.bytes, ".SchDoc");
        return schq::exportSvg(schq::readSchDoc(file.path()), {0x1F, false, 1});
    };
    for (const char* last : {"FileHeader", "Additional"}) {
        SCOPED_TRACE(last);
        const bool additionalLast = std::string(last) == "Additional";
        SchDocBuilder b;
        b.addAdditional("|HEADER=x");
        for (int i = 0; i < 70; ++i) {
            const std::string line = std::string(kLine) + "|LOCATION.Y=" + std::to_string(i);
            b.add(line);
            if (additionalLast) b.addAdditional(line + "|CORNER.Y=" + std::to_string(i));
        }
        auto img = b.image();
        ASSERT_NE(img.streamEnd(last) % 512, 0u);
        const std::string padded = svgOf(img);
        img.truncate(static_cast<std::size_t>(img.streamEnd(last)));
        EXPECT_EQ(svgOf(img), padded);
        if (additionalLast) continue;
        img.truncate(img.bytes.size() - 1);
        try {
            svgOf(img);
            ADD_FAILURE() << "a file cut inside FileHeader opened";
        } catch (const schq::Error& e) {
            EXPECT_STREQ(e.what(), "CFB sector out of range");
        }
    }
}

TEST(SchqReader, SortIsStableByLayer) {
    SchDocBuilder b;
    b.add("|RECORD=27|LOCATIONCOUNT=2|X1=0|Y1=0|X2=10|Y2=0");
    b.add("|RECORD=4|TEXT=first|LOCATION.X=5|LOCATION.Y=5");
    b.add("|RECORD=13|LOCATION.X=1|CORNER.X=2");
    b.add("|RECORD=27|LOCATIONCOUNT=2|X1=0|Y1=5|X2=10|Y2=5");
    b.add("|RECORD=14|LOCATION.X=1|CORNER.X=2|CORNER.Y=9");
    b.add("|RECORD=4|TEXT=second|LOCATION.X=5|LOCATION.Y=5");
    const Document d = read(b);
    const auto& p = d.primitives();
    ASSERT_EQ(p.size(), 6u);
    EXPECT_EQ(p[0].kind, schq::Line);
    EXPECT_EQ(p[1].kind, schq::Rectangle);
    EXPECT_EQ(p[2].points[0].y, 760);
    EXPECT_EQ(p[3].points[0].y, 755);
    EXPECT_EQ(p[4].text, "first");
    EXPECT_EQ(p[5].text, "second");
    EXPECT_EQ(d.query({0, 0, 1150, 760}, {0x1F, false, 1}), (std::vector<std::uint32_t>{0, 1, 2, 3, 4, 5}));
}

// Texts that promise many lines but draw few make the reader distrust its size estimate; the
// order stays the same.
TEST(SchqReader, SortIsStableWhenTheEstimateIsExceeded) {
    SchDocBuilder b;
    std::string lines = "=0";
    for (int k = 1; k < 29; ++k) lines += "~1=" + std::to_string(k);
    for (int i = 0; i < 4; ++i) {
        b.add("|RECORD=4|LOCATION.X=5|LOCATION.Y=5|TEXT=" + lines + "~1t" + std::to_string(i));
        b.add("|RECORD=4|LOCATION.X=5|LOCATION.Y=5|TEXT=" + lines);
        b.add("|RECORD=27|LOCATIONCOUNT=2|X1=0|Y1=" + std::to_string(i) + "|X2=10|Y2=0");
    }
    const Document d = read(b);
    ASSERT_EQ(d.primitives().size(), 8u);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(d.primitives()[i].points[0].y, 760 - i);
        EXPECT_EQ(d.primitives()[4 + i].text, "t" + std::to_string(i));
    }
}

// The real sample files: they load, their counts are known and their SVG goes to KG_SVG_OUT.
TEST(SchqReader, RealSampleFiles) {
    const std::filesystem::path dir = std::filesystem::path(KG_TESTDATA) / "schdoc";
    if (!std::filesystem::exists(dir)) GTEST_SKIP() << "no sample files";
    struct Sample {
        const char* name;
        std::uint64_t components, wires, primitives;
    } samples[] = {
        {"via2", 1, 0, 11},
        {"01_SYSTEM", 0, 0, 14},
        {"ThunderScope_Main", 33, 90, 506},
        {"15_BoardPowerSupply", 145, 208, 2555},
    };
    const char* out = std::getenv("KG_SVG_OUT");
    for (const Sample& s : samples) {
        SCOPED_TRACE(s.name);
        const std::filesystem::path path = dir / (std::string(s.name) + ".SchDoc");
        if (!std::filesystem::exists(path)) continue;
        const Document d = schq::readSchDoc(path.string());
        EXPECT_EQ(d.stats().components, s.components);
        EXPECT_EQ(d.stats().wires, s.wires);
        EXPECT_EQ(d.stats().primitives, s.primitives);
        const std::string svg = schq::exportSvg(d, {0x1F, true, 1.0});
        EXPECT_EQ(svg.rfind("</svg>\n"), svg.size() - 7);
        if (out && *out) {
            std::filesystem::create_directories(out);
            std::ofstream(std::filesystem::path(out) / ("schdoc_" + std::string(s.name) + ".svg"),
                          std::ios::binary)
                << svg;
        }
    }
    const Document via = schq::readSchDoc((dir / "via2.SchDoc").string());
    EXPECT_EQ(via.width(), 950);
    EXPECT_EQ(via.stats().pins, 3u);
}

// Real sheets drawn as their tool draws them: the page size, no pin or model data at the page's
// corner, ground and bar power ports, and the names of vertical pins read upwards.
TEST(SchqReader, RealSheetsLookAsTheirToolDrawsThem) {
    const std::filesystem::path dir = std::filesystem::path(KG_TESTDATA) / "schdoc";
    auto count = [](const Document& d, auto&& test) {
        return std::count_if(d.primitives().begin(), d.primitives().end(), test);
    };
    if (std::filesystem::exists(dir / "via2.SchDoc")) {
        const Document via = schq::readSchDoc((dir / "via2.SchDoc").string());
        EXPECT_EQ(via.width(), 950);
        EXPECT_EQ(via.height(), 750);
        EXPECT_EQ(count(via,
                        [&](const schq::Primitive& p) {
                            return p.kind == schq::Text && p.x < 5 && p.y > via.height() - 5;
                        }),
                  0);
    }
    if (std::filesystem::exists(dir / "ThunderScope_Main.SchDoc")) {
        // 15 grounds, each with a widest bar of 20 units across, and 2 bars.
        const Document d = schq::readSchDoc((dir / "ThunderScope_Main.SchDoc").string());
        auto across = [](double length) {
            return [length](const schq::Primitive& p) {
                return p.layer == schq::Labels && p.kind == schq::Line && p.points[0].y == p.points[1].y &&
                       std::abs(p.points[0].x - p.points[1].x) == length;
            };
        };
        EXPECT_EQ(count(d, across(20)), 15);
        EXPECT_EQ(count(d, across(10)), 2);
    }
    if (std::filesystem::exists(dir / "15_BoardPowerSupply.SchDoc")) {
        // 18 downward pins show their names and numbers.
        const Document d = schq::readSchDoc((dir / "15_BoardPowerSupply.SchDoc").string());
        EXPECT_EQ(
            count(d, [](const schq::Primitive& p) { return p.layer == schq::PinNames && p.rotation == -90; }),
            36);
    }
}

}  // namespace

namespace {

// Short records that each ask for 5000 vertices: past a bound on the sheet's path points the
// rest are dropped instead of exhausting memory.
TEST(SchqReader, PathPointsAreBounded) {
    SchDocBuilder b;
    for (int i = 0; i < 900; ++i) b.add("|RECORD=6|LOCATIONCOUNT=5000");
    b.add("|RECORD=13|CORNER.X=5");
    const Document d = read(b);
    EXPECT_EQ(d.stats().records, 902u);
    std::size_t points = 0;
    for (const auto& p : d.primitives()) points += p.points.size();
    // The record that crosses 2^22 points is kept whole, the rest of the lists are dropped.
    EXPECT_EQ(points, 839u * 5000u + 2u);
    EXPECT_EQ(d.primitives().back().kind, schq::Line);

    // Lists that are read and then dropped (one vertex out of range) use up the same bound, so
    // that reading them cannot go on without end; the line record after them is still drawn.
    SchDocBuilder dropped;
    for (int i = 0; i < 900; ++i) dropped.add("|RECORD=27|LOCATIONCOUNT=5000|X5000=1e9");
    dropped.add("|RECORD=6|LOCATIONCOUNT=2|X2=5");
    dropped.add("|RECORD=13|CORNER.X=5");
    const Document e = read(dropped);
    ASSERT_EQ(e.primitives().size(), 1u);
    EXPECT_EQ(e.primitives()[0].kind, schq::Line);
}

}  // namespace

namespace {

// Values of the sheet record and of owner records are shared by every text record and every
// owned record. Read once each, very long ones (white space before the number) cost one pass;
// read per record, this file would take hours.
TEST(SchqReader, LongSharedValuesAreReadOnce) {
    const std::string spaces(2 << 20, ' ');
    SchDocBuilder b;
    b.setSheet("|RECORD=31|SHEETSTYLE=0|SIZE1=" + spaces + "12");
    const int component = b.add("|RECORD=1|CURRENTPARTID=" + spaces + "2|DISPLAYMODE=" + spaces + "1");
    const int other = b.add("|RECORD=" + spaces + "1");  // not exactly "1": no component
    constexpr int kEach = 10000;
    for (int i = 0; i < kEach; ++i) {
        b.add("|RECORD=4|TEXT=a|LOCATION.X=10|LOCATION.Y=10");
        b.add(withOwner(component, "|RECORD=13|OWNERPARTID=2|OWNERPARTDISPLAYMODE=1|CORNER.X=5"));
        b.add(withOwner(other, "|RECORD=13|OWNERPARTID=7|CORNER.X=5"));
    }
    b.add(withOwner(component, "|RECORD=13|OWNERPARTID=1|CORNER.X=5"));
    b.add(withOwner(component, "|RECORD=13|OWNERPARTID=2|OWNERPARTDISPLAYMODE=0|CORNER.X=5"));
    const Document d = read(b);
    EXPECT_EQ(d.stats().records, 3u * kEach + 5u);
    EXPECT_EQ(d.stats().texts, std::uint64_t{kEach});
    EXPECT_EQ(d.primitives().size(), 3u * kEach);
    EXPECT_DOUBLE_EQ(d.primitives().back().fontSize, 12 * 0.81);
}

}  // namespace
