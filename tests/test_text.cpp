// Text: font matching and metrics, glyph placement, background modes, extents,
// clipping, and the font cache under the package's create-per-call pattern.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <string>

#include "image_compare.h"
#include "portable/gdi/font_cache.h"
#include "portable/gdi/objects.h"
#include "win32.h"

namespace {

constexpr COLORREF paper_color = RGB(10, 200, 30);
constexpr COLORREF ink_color = RGB(200, 0, 100);

HFONT make_font(int height, const char* face, int weight = FW_NORMAL, DWORD pitch = 0) {
    return CreateFontA(height, 0, 0, 0, weight, 0, 0, 0, 0, 0, 0, 0, pitch, face);
}

// A memory DC drawing into a bitmap filled with paper_color, text in ink_color.
struct TextSurface {
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bitmap;
    HGDIOBJ old_bitmap;
    HGDIOBJ old_font = nullptr;
    HFONT font = nullptr;

    TextSurface(int width, int height) {
        bitmap = CreateCompatibleBitmap(dc, width, height);
        old_bitmap = SelectObject(dc, bitmap);
        std::fill(pixels().begin(), pixels().end(), paper_color);
        SetTextColor(dc, ink_color);
    }
    ~TextSurface() {
        use(nullptr);
        SelectObject(dc, old_bitmap);
        DeleteObject(bitmap);
        DeleteDC(dc);
    }
    // Selects `f` (owned from now on); nullptr puts the original font back.
    void use(HFONT f) {
        if (font != nullptr) {
            SelectObject(dc, old_font);
            DeleteObject(font);
            font = nullptr;
        }
        if (f != nullptr) {
            old_font = SelectObject(dc, f);
            font = f;
        }
    }
    std::vector<uint32_t>& pixels() { return bitmap->pixels; }
    int width() const { return bitmap->width; }
    TEXTMETRICA metrics() {
        TEXTMETRICA tm{};
        EXPECT_TRUE(GetTextMetricsA(dc, &tm));
        return tm;
    }
    SIZE extent(const std::string& text) {
        SIZE size{-1, -1};
        EXPECT_TRUE(GetTextExtentPoint32A(dc, text.data(), int(text.size()), &size));
        return size;
    }
    void draw(int x, int y, const std::string& text) {
        EXPECT_TRUE(TextOutA(dc, x, y, text.data(), int(text.size())));
    }
    // Bounding box [left, right) x [top, bottom) of the ink pixels; empty if none.
    RECT ink_box() {
        RECT box{INT_MAX, INT_MAX, INT_MIN, INT_MIN};
        for (size_t i = 0; i < pixels().size(); ++i) {
            if (pixels()[i] != ink_color) continue;
            LONG x = LONG(i % width()), y = LONG(i / width());
            box = {std::min(box.left, x), std::min(box.top, y), std::max(box.right, x + 1),
                   std::max(box.bottom, y + 1)};
        }
        return box;
    }
    size_t count(COLORREF color) { return std::count(pixels().begin(), pixels().end(), color); }
};

TEST(TextMetrics, VariableFaceLikeWindowsTrueType) {
    TextSurface s(8, 8);
    s.use(make_font(-20, "Liberation Sans"));
    TEXTMETRICA tm = s.metrics();
    EXPECT_EQ(tm.tmAscent, 18);
    EXPECT_EQ(tm.tmDescent, 4);
    EXPECT_EQ(tm.tmHeight, 22);
    EXPECT_EQ(tm.tmInternalLeading, 2);  // the em is 20
    EXPECT_EQ(tm.tmExternalLeading, 1);  // the line gap, 67/2048 em
    EXPECT_NEAR(tm.tmAveCharWidth, 9, 1);
    EXPECT_GE(tm.tmMaxCharWidth, tm.tmAveCharWidth);
    EXPECT_EQ(tm.tmWeight, FW_NORMAL);
    EXPECT_EQ(tm.tmPitchAndFamily & 1, 1);  // the bit means variable pitch
    EXPECT_EQ(tm.tmCharSet, 0);
    EXPECT_EQ(s.extent("").cy, 22);

    // A positive height is the cell height: the largest cell not above it.
    for (int cell = 6; cell <= 60; ++cell) {
        s.use(make_font(cell, "Liberation Sans"));
        tm = s.metrics();
        EXPECT_LE(tm.tmHeight, cell);
        EXPECT_GE(tm.tmHeight, cell - 2) << cell;
    }
}

TEST(TextMetrics, UnknownFaceFallsBackToArialMetrics) {
    TextSurface s(8, 8);
    s.use(make_font(-15, "Liberation Sans"));
    TEXTMETRICA expected = s.metrics();
    SIZE expected_extent = s.extent("scale cubes");
    s.use(make_font(-15, "TAVLO-font"));
    TEXTMETRICA tm = s.metrics();
    EXPECT_EQ(tm.tmHeight, expected.tmHeight);
    EXPECT_EQ(tm.tmAscent, expected.tmAscent);
    EXPECT_EQ(tm.tmAveCharWidth, expected.tmAveCharWidth);
    EXPECT_EQ(s.extent("scale cubes").cx, expected_extent.cx);

    // Height 0 is a usable default; weights are honoured.
    s.use(make_font(0, "TAVLO-font"));
    EXPECT_GT(s.metrics().tmHeight, 10);
    s.use(make_font(-15, "TAVLO-font", FW_BOLD));
    EXPECT_GE(s.metrics().tmWeight, 600);
    EXPECT_GT(s.extent("scale cubes").cx, expected_extent.cx);
}

TEST(TextMetrics, DefaultFontIsBoldAndPitchIsHonoured) {
    TextSurface s(8, 8);  // a new DC has the system font: a 16-pixel bold cell
    TEXTMETRICA tm = s.metrics();
    EXPECT_LE(tm.tmHeight, 16);
    EXPECT_GE(tm.tmHeight, 14);
    EXPECT_EQ(tm.tmWeight, FW_BOLD);
    s.use(make_font(-12, "No such face", FW_NORMAL, FF_MODERN));
    EXPECT_EQ(s.metrics().tmPitchAndFamily & 1, 0);
    s.use(make_font(-12, "No such face", FW_NORMAL, FF_MODERN | VARIABLE_PITCH));
    EXPECT_EQ(s.metrics().tmPitchAndFamily & 1, 1);
}

TEST(TextMetrics, AnsiFixedFontIsA13PixelFixedCell) {
    TextSurface s(8, 8);
    SelectObject(s.dc, GetStockObject(ANSI_FIXED_FONT));
    TEXTMETRICA tm = s.metrics();
    EXPECT_EQ(tm.tmHeight, 13);
    EXPECT_EQ(tm.tmAscent + tm.tmDescent, 13);
    EXPECT_EQ(tm.tmExternalLeading, 0);
    EXPECT_EQ(tm.tmPitchAndFamily & 1, 0);  // fixed pitch
    EXPECT_EQ(tm.tmAveCharWidth, tm.tmMaxCharWidth);
    for (int c = 0x20; c < 0x7F; ++c) {
        EXPECT_EQ(s.extent(std::string(1, char(c))).cx, tm.tmAveCharWidth) << c;
    }
    EXPECT_EQ(s.extent("0123456789").cx, 10 * tm.tmAveCharWidth);
}

TEST(TextOutput, GlyphSitsOnTheBaselineAtThePen) {
    TextSurface s(60, 60);
    s.use(make_font(-20, "Liberation Sans"));
    TEXTMETRICA tm = s.metrics();
    SetBkMode(s.dc, TRANSPARENT);
    s.draw(10, 7, "H");
    RECT box = s.ink_box();
    // Cap height of the face is 1409/2048 em, about 14 pixels at em 20.
    int baseline = 7 + tm.tmAscent;
    EXPECT_EQ(box.bottom, baseline);
    EXPECT_NEAR(baseline - box.top, 14, 1);
    EXPECT_GE(box.left, 10);
    EXPECT_LE(box.left, 12);  // the left side bearing
    EXPECT_LE(box.right, 10 + s.extent("H").cx);
    // Only the exact text colour and untouched paper: no smoothing.
    EXPECT_EQ(s.count(ink_color) + s.count(paper_color), s.pixels().size());
    EXPECT_GT(s.count(ink_color), 40u);
}

TEST(TextOutput, OpaqueFillsTheCellTransparentDoesNot) {
    TextSurface s(100, 40);
    s.use(make_font(-15, "TAVLO-font"));
    TEXTMETRICA tm = s.metrics();
    SIZE size = s.extent("Wave");
    SetBkColor(s.dc, RGB(0, 0, 255));
    SetBkMode(s.dc, TRANSPARENT);
    s.draw(5, 3, "Wave");
    size_t ink = s.count(ink_color);
    EXPECT_EQ(ink + s.count(paper_color), s.pixels().size());

    std::fill(s.pixels().begin(), s.pixels().end(), paper_color);
    SetBkMode(s.dc, OPAQUE);
    s.draw(5, 3, "Wave");
    EXPECT_EQ(s.count(ink_color), ink);  // same glyph pixels
    for (int y = 0; y < 40; ++y) {
        for (int x = 0; x < 100; ++x) {
            COLORREF p = s.pixels()[y * 100 + x];
            bool inside = x >= 5 && x < 5 + size.cx && y >= 3 && y < 3 + tm.tmHeight;
            if (inside) {
                EXPECT_TRUE(p == ink_color || p == RGB(0, 0, 255)) << x << "," << y;
            } else {
                EXPECT_EQ(p, paper_color) << x << "," << y;
            }
        }
    }
}

TEST(TextOutput, ExtentsAddUpAndNewlineIsACharacter) {
    TextSurface s(8, 8);
    s.use(make_font(-15, "TAVLO-font"));
    SIZE empty = s.extent("");
    EXPECT_EQ(empty.cx, 0);
    EXPECT_EQ(empty.cy, s.metrics().tmHeight);
    LONG a = s.extent("a").cx, b = s.extent("b").cx, c = s.extent("c").cx;
    EXPECT_GT(a, 0);
    EXPECT_EQ(s.extent("abc").cx, a + b + c);
    EXPECT_EQ(s.extent("abc").cy, empty.cy);
    EXPECT_GT(s.extent("a\nb").cx, a + b);  // drawn as the missing-glyph box
    SIZE size;
    EXPECT_TRUE(GetTextExtentPointA(s.dc, "abc", 2, &size));
    EXPECT_EQ(size.cx, a + b);
    EXPECT_FALSE(GetTextExtentPointA(s.dc, "abc", -1, &size));
    EXPECT_FALSE(GetTextExtentPointA(s.dc, nullptr, 3, &size));
    // Bytes above 0x7F are code page 1252 characters: e acute, the euro sign.
    EXPECT_GT(s.extent("\xE9").cx, 0);
    EXPECT_GT(s.extent("\x80").cx, 0);
}

TEST(TextOutput, ClipsAtEdgesAndExtremeCoordinates) {
    TextSurface s(40, 30);
    s.use(make_font(-20, "TAVLO-font"));
    SetBkMode(s.dc, OPAQUE);
    SetBkColor(s.dc, RGB(1, 2, 3));
    s.draw(-7, -9, "Wg");
    s.draw(33, 20, "Wg");
    EXPECT_GT(s.count(ink_color), 0u);
    EXPECT_NE(s.pixels()[0], paper_color);             // the cell covers the corner
    EXPECT_NE(s.pixels()[29 * 40 + 39], paper_color);  // and the opposite one
    EXPECT_EQ(s.count(ink_color) + s.count(RGB(1, 2, 3)) + s.count(paper_color), s.pixels().size());

    std::fill(s.pixels().begin(), s.pixels().end(), paper_color);
    const int extremes[] = {INT_MIN, INT_MIN + 1, -100000, 100000, INT_MAX - 1, INT_MAX};
    for (int x : extremes) {
        for (int y : extremes) s.draw(x, y, "Wg");
        s.draw(x, 5, "Wg");
        s.draw(5, x, "Wg");
    }
    EXPECT_EQ(s.count(paper_color), s.pixels().size());

    // A long run far to the left draws only its visible tail; one far to the right
    // stops at once.
    std::string long_text(200000, 'x');
    s.draw(-int(long_text.size()) * 4, 0, long_text);
    s.draw(39, 0, long_text);
    EXPECT_TRUE(TextOutA(s.dc, 0, 0, "x", 0));
    EXPECT_FALSE(TextOutA(s.dc, 0, 0, "x", -5));
    EXPECT_FALSE(TextOutA(s.dc, 0, 0, nullptr, 3));
    EXPECT_FALSE(TextOutA(nullptr, 0, 0, "x", 1));
}

// Glyphs wholly left of the bitmap are passed over without drawing; the glyphs
// that reach into it, however far their bitmaps stick out of their cells (large,
// bold and slanted faces), draw exactly as when the whole run lies inside.
TEST(TextOutput, RunsStartingLeftOfTheBitmapDrawTheirVisiblePartExactly) {
    const std::string text = "Wj/f_|\\Ay W f j";
    constexpr int shift = 1000;
    for (int italic = 0; italic <= 1; ++italic) {
        for (int height : {-9, -40, -127}) {
            TextSurface near(60, 150), whole(60 + shift, 150);
            near.use(
                CreateFontA(height, 0, 0, 0, FW_BOLD, italic, 0, 0, 0, 0, 0, 0, 0, "TAVLO-font"));
            whole.use(
                CreateFontA(height, 0, 0, 0, FW_BOLD, italic, 0, 0, 0, 0, 0, 0, 0, "TAVLO-font"));
            SetBkMode(near.dc, TRANSPARENT);
            SetBkMode(whole.dc, TRANSPARENT);
            for (int x = -near.extent(text).cx - 20; x <= 0; x += 3) {
                std::fill(near.pixels().begin(), near.pixels().end(), paper_color);
                std::fill(whole.pixels().begin(), whole.pixels().end(), paper_color);
                near.draw(x, 5, text);
                whole.draw(x + shift, 5, text);
                for (int row = 0; row < 150; ++row) {
                    auto from = whole.pixels().begin() + row * (60 + shift) + shift;
                    ASSERT_TRUE(std::equal(from, from + 60, near.pixels().begin() + row * 60))
                        << "height " << height << ", italic " << italic << ", x " << x << ", row "
                        << row;
                }
            }
        }
    }
}

TEST(FontCache, CreatingAndDeletingFontsStaysBounded) {
    TextSurface s(50, 50);
    SetBkMode(s.dc, TRANSPARENT);
    for (int i = 0; i < 1000; ++i) {
        s.use(make_font(-(10 + i % 16), "TAVLO-font"));
        s.draw(0, 0, "scale cubes");
    }
    // Far more sizes than the cache keeps, with extreme heights among them.
    s.use(make_font(-15, "TAVLO-font"));
    HFONT kept = s.font;
    LONG width = s.extent("spin").cx;
    const int odd_heights[] = {INT_MIN, INT_MAX, -1, 1, -5000, 5000};
    for (int h : odd_heights) {
        HFONT f = make_font(h, "TAVLO-font");
        HGDIOBJ old = SelectObject(s.dc, f);
        EXPECT_GT(s.metrics().tmHeight, 0) << h;
        SelectObject(s.dc, old);
        DeleteObject(f);
    }
    for (int h = 1; h < 200; ++h) {
        HFONT f =
            make_font(-h, h % 2 ? "Courier" : "TAVLO-font", FW_NORMAL, h % 3 ? 0 : FIXED_PITCH);
        HGDIOBJ old = SelectObject(s.dc, f);
        s.draw(0, 0, "x");
        SelectObject(s.dc, old);
        DeleteObject(f);
    }
    EXPECT_LE(portable::font_cache_stats().faces, 64u);
    // A font still selected survives the cache being emptied under it.
    EXPECT_EQ(s.font, kept);
    EXPECT_EQ(s.extent("spin").cx, width);
}

TEST(FontCache, WithoutFontFilesTextDrawsNothingButMeasures) {
    portable::set_font_files_hidden(true);
    {
        TextSurface s(60, 30);
        s.use(make_font(-15, "TAVLO-font"));
        TEXTMETRICA tm = s.metrics();
        EXPECT_GT(tm.tmHeight, 15);
        EXPECT_GT(tm.tmAveCharWidth, 0);
        EXPECT_EQ(s.extent("abc").cx, 3 * tm.tmAveCharWidth);
        SetBkMode(s.dc, TRANSPARENT);
        s.draw(0, 0, "abc");
        EXPECT_EQ(s.count(paper_color), s.pixels().size());
    }
    portable::set_font_files_hidden(false);
    TextSurface s(60, 30);
    s.use(make_font(-15, "TAVLO-font"));
    s.draw(0, 0, "abc");
    EXPECT_GT(s.count(ink_color), 0u);
}

TEST(TextPicture, CaptionsAndLogLinesMatchGolden) {
    TextSurface s(320, 200);
    std::fill(s.pixels().begin(), s.pixels().end(), RGB(255, 255, 255));
    SetBkMode(s.dc, TRANSPARENT);
    int y = 2;
    for (int size = 10; size <= 25; size += 3) {
        s.use(make_font(-size, "TAVLO-font"));
        SetTextColor(s.dc, size % 2 ? RGB(255, 0, 0) : RGB(0, 0, 255));
        s.draw(4, y, "scale cubes " + std::to_string(size));
        y += s.metrics().tmHeight;
    }
    s.use(nullptr);
    SelectObject(s.dc, GetStockObject(ANSI_FIXED_FONT));
    SetBkMode(s.dc, OPAQUE);
    SetTextColor(s.dc, RGB(0, 0, 0));
    SetBkColor(s.dc, RGB(255, 255, 0));
    s.draw(4, y + 2, "Illegal color 99; using RED.");
    s.draw(4, y + 15, "TAVLO_MOUSE(-262, 140);");
    EXPECT_TRUE(tavlo_test::matches_golden("text_captions", *s.bitmap));

    if (tavlo_test::updating_golden()) return;
    s.pixels()[5 * 320 + 300] = RGB(1, 1, 1);
    ::testing::AssertionResult changed = tavlo_test::matches_golden("text_captions", *s.bitmap);
    EXPECT_FALSE(changed);
    EXPECT_NE(std::string(changed.message()).find("1 pixels differ; first at (300, 5)"),
              std::string::npos)
        << changed.message();
}

}  // namespace
