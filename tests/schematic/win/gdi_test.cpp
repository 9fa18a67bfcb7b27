// The GDI drawing target on a memory bitmap, its object cache, and the text conversions.
#include "schematic/win/gdi_target.h"
#include "schematic/win/support/win_support.h"
#include "schematic/win/view.h"
#include "schematic/win/view_state.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace schematic;
using namespace schematic::win;

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr std::uint32_t kWhite = 0xFFFFFF;

// A white 200 by 200 bitmap in a memory context.
class Canvas : public ::testing::Test {
protected:
    void SetUp() override {
        HDC screen = GetDC(nullptr);
        dc = CreateCompatibleDC(screen);
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = 200;
        info.bmiHeader.biHeight = -200;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        void* bits = nullptr;
        bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        ReleaseDC(nullptr, screen);
        old = SelectObject(dc, bitmap);
        clear();
    }
    void TearDown() override {
        SelectObject(dc, old);
        DeleteObject(bitmap);
        DeleteDC(dc);
    }
    void clear() {
        RECT all{0, 0, 200, 200};
        FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    }
    wintest::Pixels pixels() { return wintest::readPixels(dc, 0, 0, 200, 200); }

    // The rows (or columns) that hold any non-white pixel.
    static int inkedRows(const wintest::Pixels& p) {
        int rows = 0;
        for (int y = 0; y < p.height; ++y)
            for (int x = 0; x < p.width; ++x)
                if (p.at(x, y) != kWhite) {
                    ++rows;
                    break;
                }
        return rows;
    }
    static RECT inkBounds(const wintest::Pixels& p) {
        RECT r{p.width, p.height, -1, -1};
        for (int y = 0; y < p.height; ++y)
            for (int x = 0; x < p.width; ++x)
                if (p.at(x, y) != kWhite) {
                    r.left = std::min<LONG>(r.left, x);
                    r.top = std::min<LONG>(r.top, y);
                    r.right = std::max<LONG>(r.right, x);
                    r.bottom = std::max<LONG>(r.bottom, y);
                }
        return r;
    }

    HDC dc = nullptr;
    HBITMAP bitmap = nullptr;
    HGDIOBJ old = nullptr;
    GdiCache cache;
};

void horizontalLine(DrawTarget& target, double width) {
    const Point points[] = {{20, 100}, {180, 100}};
    target.polyline(points, 2, width, 0xFF000000, false, 0);
}

}  // namespace

TEST(ClampCoord, NonFiniteIsZeroAndRangeIsGdiSafe) {
    EXPECT_EQ(clampCoord(kNaN), 0);
    EXPECT_EQ(clampCoord(kInf), 0);
    EXPECT_EQ(clampCoord(-kInf), 0);
    EXPECT_EQ(clampCoord(1e9), 30000);
    EXPECT_EQ(clampCoord(-1e300), -30000);
    EXPECT_EQ(clampCoord(2.5), 3);
    EXPECT_EQ(clampCoord(-2.5), -3);
    EXPECT_EQ(clampCoord(2.49), 2);
}

TEST(GdiCacheTest, KeysAreClampedSoEquivalentRequestsShareOneObject) {
    GdiCache cache;
    HPEN thin = cache.pen(RGB(1, 2, 3), 0);
    EXPECT_NE(thin, nullptr);
    EXPECT_EQ(cache.pen(RGB(1, 2, 3), 1), thin);
    EXPECT_EQ(cache.pen(RGB(1, 2, 3), 75), cache.pen(RGB(1, 2, 3), 60));
    // Only the colour's low 24 bits count.
    EXPECT_EQ(cache.pen(0xFF030201, 1), thin);
    EXPECT_EQ(cache.penCount(), 2u);

    EXPECT_EQ(cache.font(600, 0), cache.font(500, 0));
    EXPECT_EQ(cache.font(1, 0), cache.font(4, 0));
    EXPECT_EQ(cache.font(20, 99999), cache.font(20, 3600));
    EXPECT_EQ(cache.font(20, -99999), cache.font(20, -3600));
    EXPECT_NE(cache.font(20, 3600), cache.font(20, -3600));
    EXPECT_EQ(cache.fontCount(), 4u);

    EXPECT_EQ(cache.brush(RGB(9, 9, 9)), cache.brush(RGB(9, 9, 9)));
    EXPECT_EQ(cache.brushCount(), 1u);

    const std::wstring& first = cache.wideText("\xD0\x9F\xD1\x80\xD0\xB8");
    EXPECT_EQ(first, L"\x041F\x0440\x0438");
    EXPECT_EQ(&cache.wideText("\xD0\x9F\xD1\x80\xD0\xB8"), &first);
    EXPECT_EQ(cache.wideText(""), L"");
    EXPECT_EQ(cache.textCount(), 2u);

    cache.clear();
    EXPECT_EQ(cache.penCount() + cache.brushCount() + cache.fontCount() + cache.textCount(), 0u);
}

TEST(GdiCacheTest, LimitsAreCrossedOnlyPastTheirCounts) {
    GdiCache cache;
    for (int i = 0; i < 250; ++i) cache.pen(RGB(i % 256, i / 256, 7), 1);
    EXPECT_FALSE(cache.overLimit());
    cache.pen(RGB(0, 0, 99), 1);
    EXPECT_TRUE(cache.overLimit());
    cache.clear();

    for (int i = 0; i < 60; ++i) cache.brush(RGB(i, 0, 0));
    EXPECT_FALSE(cache.overLimit());
    cache.brush(RGB(0, 1, 0));
    EXPECT_TRUE(cache.overLimit());
    cache.clear();

    for (int i = 0; i < 4000; ++i) cache.wideText(std::to_string(i));
    EXPECT_FALSE(cache.overLimit());
    cache.wideText("one more");
    EXPECT_TRUE(cache.overLimit());
    cache.clear();

    for (int h = 4; h < 254; ++h) {
        cache.font(h, 0);
        cache.font(h, 10);
    }
    EXPECT_EQ(cache.fontCount(), 500u);
    EXPECT_FALSE(cache.overLimit());
    cache.font(300, 0);
    EXPECT_TRUE(cache.overLimit());
}

TEST(TextConversion, FollowTheBoundaryRules) {
    EXPECT_EQ(utf8ToWide(""), L"");
    EXPECT_EQ(utf8ToWide("a\xC3\xA9"), L"a\x00E9");
    EXPECT_EQ(wideToUtf8(L""), "");
    EXPECT_EQ(wideToUtf8(L"a\x00E9\x20AC"), "a\xC3\xA9\xE2\x82\xAC");
    EXPECT_EQ(ansiToWide(nullptr), L"");
    EXPECT_EQ(ansiToWide(""), L"");
    // Wine's ANSI code page is 1252.
    EXPECT_EQ(ansiToWide("caf\xE9"), L"caf\x00E9");
}

TEST_F(Canvas, WidthsRoundToWholePixelsBetweenOneAndSixty) {
    {
        GdiTarget target(dc, cache);
        horizontalLine(target, 0.3);
    }
    EXPECT_EQ(inkedRows(pixels()), 1);
    clear();
    {
        GdiTarget target(dc, cache);
        horizontalLine(target, kNaN);
    }
    EXPECT_EQ(inkedRows(pixels()), 1);
    clear();
    {
        GdiTarget target(dc, cache);
        horizontalLine(target, 75);
    }
    EXPECT_NEAR(inkedRows(pixels()), 60, 1);
    clear();
    {
        GdiTarget target(dc, cache);
        horizontalLine(target, 1e300);
    }
    EXPECT_NEAR(inkedRows(pixels()), 60, 1);
}

TEST_F(Canvas, FillsNeedAnAlphaByte) {
    const Point square[] = {{50, 50}, {150, 50}, {150, 150}, {50, 150}};
    {
        GdiTarget target(dc, cache);
        target.polyline(square, 4, 1, 0xFF000000, true, 0x000000FF);
    }
    EXPECT_EQ(pixels().at(100, 100), kWhite) << "no alpha: outline only";
    EXPECT_EQ(pixels().at(50, 100), 0u);
    {
        GdiTarget target(dc, cache);
        target.polyline(square, 4, 1, 0xFF000000, true, 0xFF00FF00);
    }
    EXPECT_EQ(pixels().at(100, 100), 0x00FF00u);
    clear();
    {
        // An open polyline ignores its fill.
        GdiTarget target(dc, cache);
        target.polyline(square, 4, 1, 0xFF000000, false, 0xFF00FF00);
    }
    EXPECT_EQ(pixels().at(100, 100), kWhite);
    clear();
    {
        GdiTarget target(dc, cache);
        target.ellipse(Box{40, 40, 160, 160}, 1, 0xFF000000, 0xFF0000FF);
    }
    EXPECT_EQ(pixels().at(100, 100), 0xFF0000u) << "0xAABBGGRR red";
}

TEST_F(Canvas, DegenerateAndHostileGeometryDrawsNothingAndKeepsWorking) {
    {
        GdiTarget target(dc, cache);
        const Point one[] = {{10, 10}};
        target.polyline(one, 1, 5, 0xFF000000, false, 0);
        target.polyline(nullptr, 5, 5, 0xFF000000, false, 0);
        std::vector<Point> many(100001, Point{10, 10});
        many.back() = Point{190, 190};
        target.polyline(many.data(), many.size(), 5, 0xFF000000, false, 0);
        target.ellipse(Box{50, 50, 50, 90}, 1, 0xFF000000, 0xFF000000);
        target.ellipse(Box{50, 50, 90, 40}, 1, 0xFF000000, 0xFF000000);
        target.ellipse(Box{kNaN, 50, 90, 90}, 1, 0xFF000000, 0xFF000000);
        TextStyle style;
        style.height = kInf;
        target.text({50, 50}, "Hi", style, 0xFF000000);
        style.height = kNaN;
        target.text({50, 50}, "Hi", style, 0xFF000000);
        style.height = 2.9;
        target.text({50, 50}, "Hi", style, 0xFF000000);
        style.height = 40;
        target.text({50, 50}, "", style, 0xFF000000);
    }
    EXPECT_EQ(inkedRows(pixels()), 0);
    {
        // Huge and non-finite values are clamped, not passed to GDI, and drawing goes on.
        GdiTarget target(dc, cache);
        const Point wild[] = {{kNaN, 1e9}, {-1e300, kInf}, {100, 100}};
        target.polyline(wild, 3, 1, 0xFF000000, true, 0xFF000000);
        TextStyle style;
        style.height = 1e300;
        style.angle = kNaN;
        style.baseline = kInf;
        target.text({kNaN, 1e12}, "Hi", style, 0xFF000000);
        style.height = 20;
        style.angle = 1e300;
        target.text({20, 180}, "Hi", style, 0xFF000000);
        horizontalLine(target, 1);
    }
    EXPECT_NE(pixels().at(100, 100), kWhite);
}

TEST_F(Canvas, TextAlignmentPutsTheAnchorOnTheBaseline) {
    TextStyle style;
    style.height = 30;
    style.align = AlignRight;
    {
        GdiTarget target(dc, cache);
        target.text({100, 100}, "WWW", style, 0xFF000000);
    }
    RECT ink = inkBounds(pixels());
    EXPECT_LE(ink.right, 101);
    EXPECT_LT(ink.left, 80);
    EXPECT_LE(ink.bottom, 101) << "capitals sit on the baseline";
    clear();
    style.align = AlignCentre;
    {
        GdiTarget target(dc, cache);
        target.text({100, 100}, "WWW", style, 0xFF000000);
    }
    ink = inkBounds(pixels());
    EXPECT_LT(ink.left, 95);
    EXPECT_GT(ink.right, 105);
    EXPECT_NEAR((ink.left + ink.right) / 2.0, 100, 4);
    clear();
    style.align = AlignLeft;
    style.baseline = -0.5;  // the baseline 15 pixels higher
    {
        GdiTarget target(dc, cache);
        target.text({100, 100}, "WWW", style, 0xFF000000);
    }
    ink = inkBounds(pixels());
    EXPECT_GE(ink.left, 99);
    EXPECT_LE(ink.bottom, 86);
}

TEST_F(Canvas, FittedTextStaysInsideItsBoxAtAnyAngle) {
    for (double angle : {0.0, 45.0, 90.0, 180.0, 270.0, -90.0}) {
        clear();
        TextStyle style;
        style.height = 20;
        style.boxWidth = 80;
        style.angle = angle;
        {
            GdiTarget target(dc, cache);
            EXPECT_TRUE(target.fittedText({60, 120}, "ABCD", style, 0xFF000000)) << angle;
        }
        const RECT ink = inkBounds(pixels());
        ASSERT_GE(ink.right, 0) << "nothing drawn at " << angle;
        EXPECT_GE(ink.left, 60) << angle;
        EXPECT_LE(ink.right, 140) << angle;
        EXPECT_GE(ink.top, 100) << angle;
        EXPECT_LE(ink.bottom, 120) << angle;
    }
    // A fitted text that cannot be fitted is the caller's to draw.
    GdiTarget target(dc, cache);
    TextStyle style;
    style.height = 20;
    style.boxWidth = kInf;
    EXPECT_FALSE(target.fittedText({60, 120}, "ABCD", style, 0xFF000000));
    style.boxWidth = 80;
    EXPECT_FALSE(target.fittedText({kNaN, 120}, "ABCD", style, 0xFF000000));
    EXPECT_TRUE(target.fittedText({60, 120}, "", style, 0xFF000000));

    // Finite boxes and anchors beyond what the float transform can hold are the caller's as well,
    // and leave the context untransformed.
    clear();
    style.boxWidth = 1e300;
    EXPECT_FALSE(target.fittedText({60, 120}, "ABCD", style, 0xFF000000));
    style.boxWidth = 80;
    EXPECT_FALSE(target.fittedText({-1e300, 120}, "ABCD", style, 0xFF000000));
    style.height = 1e300;
    EXPECT_FALSE(target.fittedText({60, 120}, "ABCD", style, 0xFF000000));
    EXPECT_EQ(pixels().countNot(kWhite), 0u);
    XFORM identity{};
    ASSERT_TRUE(GetWorldTransform(dc, &identity));
    EXPECT_EQ(identity.eM11, 1.0f);
    EXPECT_EQ(identity.eDx, 0.0f);
}

TEST_F(Canvas, TextColourIsNotLostAfterAFittedTextOrAcrossPaints) {
    TextStyle fitted;
    fitted.height = 20;
    fitted.boxWidth = 60;
    TextStyle plain;
    plain.height = 30;
    {
        GdiTarget target(dc, cache);
        target.text({10, 40}, "red", fitted, 0xFF0000FF);
        target.text({10, 150}, "black", plain, 0xFF000000);
    }
    const auto afterFitted = wintest::readPixels(dc, 0, 110, 200, 50);
    EXPECT_GT(afterFitted.countNot(kWhite), 0u);
    for (std::uint32_t p : afterFitted.data)
        EXPECT_TRUE(p == kWhite || (((p >> 16) & 0xFF) == (p & 0xFF))) << std::hex << p << " is coloured";
    clear();
    {
        GdiTarget target(dc, cache);
        target.text({10, 150}, "blue", plain, 0xFFFF0000);
    }
    {
        GdiTarget target(dc, cache);
        target.text({10, 150}, "black", plain, 0xFF000000);
    }
    const auto secondPaint = wintest::readPixels(dc, 0, 110, 200, 50);
    std::size_t black = 0;
    for (std::uint32_t p : secondPaint.data)
        if (p == 0) ++black;
    EXPECT_GT(black, 0u);
}

TEST_F(Canvas, TheContextGetsItsOwnObjectsBack) {
    HGDIOBJ pen = GetCurrentObject(dc, OBJ_PEN);
    HGDIOBJ brush = GetCurrentObject(dc, OBJ_BRUSH);
    HGDIOBJ font = GetCurrentObject(dc, OBJ_FONT);
    SetTextAlign(dc, TA_TOP | TA_RIGHT);
    {
        GdiTarget target(dc, cache);
        horizontalLine(target, 3);
        target.ellipse(Box{10, 10, 50, 50}, 2, 0xFF000000, 0xFF00FF00);
        TextStyle style;
        style.height = 12;
        style.align = AlignCentre;
        target.text({100, 100}, "x", style, 0xFF000000);
        style.boxWidth = 30;
        target.text({100, 150}, "fit", style, 0xFF000000);
    }
    EXPECT_EQ(GetCurrentObject(dc, OBJ_PEN), pen);
    EXPECT_EQ(GetCurrentObject(dc, OBJ_BRUSH), brush);
    EXPECT_EQ(GetCurrentObject(dc, OBJ_FONT), font);
    EXPECT_EQ(GetTextAlign(dc), static_cast<UINT>(TA_TOP | TA_RIGHT));
    EXPECT_EQ(GetBkMode(dc), TRANSPARENT);
}

TEST(BackBufferTest, KeepsItsSizeAndHoldsNothingForAnEmptyCanvas) {
    HDC screen = GetDC(nullptr);
    BackBuffer buffer;
    ASSERT_TRUE(buffer.ensure(screen, 40, 30));
    const HDC first = buffer.dc;
    EXPECT_TRUE(buffer.ensure(screen, 40, 30));
    EXPECT_EQ(buffer.dc, first) << "reused while the size stays";
    EXPECT_TRUE(buffer.ensure(screen, 41, 30));
    EXPECT_EQ(buffer.width, 41);
    EXPECT_FALSE(buffer.ensure(screen, 0, 30));
    EXPECT_EQ(buffer.dc, nullptr);
    EXPECT_EQ(buffer.bitmap, nullptr);
    EXPECT_EQ(buffer.width + buffer.height, 0);
    EXPECT_FALSE(buffer.ensure(screen, 10, -1));
    ReleaseDC(nullptr, screen);
}

TEST_F(Canvas, OnePaintWithManyDistinctObjectsKeepsTheCacheWithinItsLimits) {
    // A page may hold far more colours, widths and text sizes than the cache keeps: the GDI
    // objects of one paint stay bounded and everything is still drawn.
    HGDIOBJ pen = GetCurrentObject(dc, OBJ_PEN);
    HGDIOBJ brush = GetCurrentObject(dc, OBJ_BRUSH);
    HGDIOBJ font = GetCurrentObject(dc, OBJ_FONT);
    {
        GdiTarget target(dc, cache);
        for (int i = 0; i < 1000; ++i) {
            const Point points[] = {{0, static_cast<double>(i % 200)}, {200, static_cast<double>(i % 200)}};
            target.polyline(points, 2, 1, 0xFF000000u | RGB(i % 256, i / 256, 1), false, 0);
            ASSERT_LE(cache.penCount(), GdiCache::kMaxPens + 1) << i;
        }
        const auto lines = pixels();
        EXPECT_EQ(lines.at(100, 199), 0xE70301u);  // the last line, RGB(231, 3, 1)
        EXPECT_EQ(lines.at(100, 0), 0x200301u);    // line 800, RGB(32, 3, 1)

        for (int i = 0; i < 200; ++i) {
            const Point square[] = {{10, 10}, {20, 10}, {20, 20}, {10, 20}};
            target.polyline(square, 4, 1, 0xFF000000, true, 0xFF000000u | RGB(i, 5, 5));
            target.ellipse(Box{30, 10, 40, 20}, 1, 0xFF000000, 0xFF000000u | RGB(5, i, 5));
            ASSERT_LE(cache.brushCount(), GdiCache::kMaxBrushes + 1) << i;
        }
        EXPECT_EQ(pixels().at(15, 15), 0xC70505u);  // the last fill, RGB(199, 5, 5)

        TextStyle style;
        for (int i = 0; i < 1200; ++i) {
            style.height = 4 + i % 490;
            style.angle = i / 490;
            target.text({10, 100}, "x", style, 0xFF000000);
            ASSERT_LE(cache.fontCount(), GdiCache::kMaxFonts + 1) << i;
        }
        style = TextStyle{};
        style.height = 12;
        for (int i = 0; i < 5000; ++i) {
            target.text({10, 100}, std::to_string(i), style, 0xFF000000);
            ASSERT_LE(cache.textCount(), GdiCache::kMaxTexts + 1) << i;
        }
        style.boxWidth = 40;
        for (int i = 0; i < 600; ++i) {
            target.text({10, 100}, "fit" + std::to_string(i), style, 0xFF000000);
            ASSERT_LE(cache.textCount(), GdiCache::kMaxTexts + 1) << i;
        }
    }
    EXPECT_EQ(GetCurrentObject(dc, OBJ_PEN), pen);
    EXPECT_EQ(GetCurrentObject(dc, OBJ_BRUSH), brush);
    EXPECT_EQ(GetCurrentObject(dc, OBJ_FONT), font);
}
