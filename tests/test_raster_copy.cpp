// Pixels, block copies, scrolling and FillRect; refusal of bad handles; drawing
// leaves the DC's selections and current position alone.
#include <climits>
#include <vector>

#include "raster_board.h"

namespace {

// Gives every pixel its own value.
void number_pixels(Board& b) {
    for (int y = 0; y < b.height(); ++y)
        for (int x = 0; x < b.width(); ++x) b.pixels()[y * b.width() + x] = COLORREF(y * 1000 + x);
}

std::vector<uint32_t> snapshot(const Board& b) {
    return {b.pixels(), b.pixels() + b.width() * b.height()};
}

}  // namespace

TEST(Pixels, SetAndGetInsideAndOutside) {
    Board b(5, 4);
    EXPECT_EQ(SetPixel(b.dc(), 2, 3, 0xAB123456), 0x123456u);
    EXPECT_EQ(GetPixel(b.dc(), 2, 3), 0x123456u);
    EXPECT_EQ(b.marked(), (PixelSet{{2, 3}}));
    for (auto [x, y] : {std::pair{-1, 0}, {5, 0}, {0, 4}, {INT_MIN, INT_MAX}}) {
        EXPECT_EQ(SetPixel(b.dc(), x, y, 0), CLR_INVALID);
        EXPECT_EQ(GetPixel(b.dc(), x, y), CLR_INVALID);
    }
    EXPECT_EQ(b.marked().size(), 1u);
}

TEST(BitBltCopy, ClipsToBothBitmapsAndLeavesTheRest) {
    Board src(6, 5), dst(8, 8, 0x111111);
    number_pixels(src);
    // A block reaching outside the source on the left and the destination at the top.
    EXPECT_TRUE(BitBlt(dst.dc(), 3, -1, 6, 4, src.dc(), -2, 1, SRCCOPY));
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) {
            int sx = x - 3 - 2, sy = y + 1 + 1;  // source of (x,y)
            bool copied = x >= 3 && x < 9 && y < 3 && sx >= 0 && sx < 6 && sy < 5;
            EXPECT_EQ(dst.at(x, y), copied ? COLORREF(sy * 1000 + sx) : 0x111111u) << x << "," << y;
        }
    }
    EXPECT_FALSE(BitBlt(dst.dc(), 0, 0, 2, 2, src.dc(), 0, 0, 0x00EE0086));  // not SRCCOPY
    EXPECT_TRUE(
        BitBlt(dst.dc(), INT_MIN, INT_MAX, INT_MAX, INT_MAX, src.dc(), INT_MAX, INT_MIN, SRCCOPY));
}

TEST(BitBltCopy, OverlapInOneBitmapActsThroughATemporary) {
    for (auto [dx, dy] : {std::pair{3, 0}, {-3, 0}, {0, 2}, {0, -2}, {2, 3}, {-2, -1}}) {
        Board b(10, 9);
        number_pixels(b);
        std::vector<uint32_t> before = snapshot(b);
        BitBlt(b.dc(), 2 + dx, 2 + dy, 6, 5, b.dc(), 2, 2, SRCCOPY);
        for (int y = 0; y < 9; ++y) {
            for (int x = 0; x < 10; ++x) {
                int sx = x - dx, sy = y - dy;
                bool in = x >= 2 + dx && x < 8 + dx && y >= 2 + dy && y < 7 + dy;
                uint32_t expected = in ? before[sy * 10 + sx] : before[y * 10 + x];
                ASSERT_EQ(b.at(x, y), expected) << dx << "," << dy << " at " << x << "," << y;
            }
        }
    }
}

// Whole rows, as a canvas is copied to its window: the same results, clipped to
// both bitmaps and through a temporary within one, also for wider blocks.
TEST(BitBltCopy, WholeRowsCopyAsTheirPixels) {
    for (int dy : {-3, -1, 0, 1, 2, 5}) {
        for (int w : {10, 12}) {
            Board b(10, 9), other(10, 9);
            number_pixels(b);
            std::vector<uint32_t> before = snapshot(b);
            BitBlt(b.dc(), 0, 1 + dy, w, 6, b.dc(), 0, 1, SRCCOPY);
            BitBlt(other.dc(), 0, dy, w, 20, b.dc(), 0, 0, SRCCOPY);
            std::vector<uint32_t> middle = snapshot(b);
            for (int y = 0; y < 9; ++y) {
                for (int x = 0; x < 10; ++x) {
                    bool in = y >= 1 + dy && y < 7 + dy && y - dy < 9;
                    uint32_t expected = in ? before[(y - dy) * 10 + x] : before[y * 10 + x];
                    ASSERT_EQ(b.at(x, y), expected) << dy << " w " << w << " at " << x << "," << y;
                    bool copied = y - dy >= 0 && y - dy < 9;
                    ASSERT_EQ(other.at(x, y),
                              copied ? middle[(y - dy) * 10 + x] : Board::paper_color)
                        << dy << " w " << w << " at " << x << "," << y;
                }
            }
        }
    }
}

TEST(ScrollDCRule, MovesRowsUpAndLeavesTheBottomStale) {
    Board b(8, 12);
    number_pixels(b);
    std::vector<uint32_t> before = snapshot(b);
    RECT area{1, 2, 7, 10}, update{};
    EXPECT_TRUE(ScrollDC(b.dc(), 0, -3, &area, &area, nullptr, &update));
    for (int y = 0; y < 12; ++y) {
        for (int x = 0; x < 8; ++x) {
            bool inside = x >= 1 && x < 7 && y >= 2 && y < 7;  // rows that received content
            uint32_t expected = inside ? before[(y + 3) * 8 + x] : before[y * 8 + x];
            EXPECT_EQ(b.at(x, y), expected) << x << "," << y;
        }
    }
    EXPECT_EQ(update.left, 1);
    EXPECT_EQ(update.top, 7);
    EXPECT_EQ(update.right, 7);
    EXPECT_EQ(update.bottom, 10);
}

TEST(ScrollDCRule, ScrollingFurtherThanTheAreaMovesNothing) {
    Board b(6, 6);
    number_pixels(b);
    std::vector<uint32_t> before = snapshot(b);
    RECT area{0, 1, 6, 4}, update{};
    ScrollDC(b.dc(), 0, -3, &area, &area, nullptr, &update);
    EXPECT_EQ(snapshot(b), before);
    EXPECT_EQ(update.top, 1);
    EXPECT_EQ(update.bottom, 4);
    ScrollDC(b.dc(), 0, INT_MIN, nullptr, nullptr, nullptr, &update);
    EXPECT_EQ(snapshot(b), before);
    EXPECT_EQ(update.bottom - update.top, 6);
}

TEST(FillRectRule, HalfOpenAndHollow) {
    Board b(10, 10);
    HBRUSH red = CreateSolidBrush(Board::ink_color);
    RECT r{2, 3, 6, 5};
    EXPECT_TRUE(FillRect(b.dc(), &r, red));
    EXPECT_EQ(b.marked(), box_pixels(2, 3, 6, 5));
    RECT reversed{6, 5, 2, 3}, huge{INT_MIN, INT_MIN, INT_MAX, INT_MAX};
    FillRect(b.dc(), &reversed, red);
    EXPECT_EQ(b.marked().size(), 8u);
    EXPECT_TRUE(FillRect(b.dc(), &huge, static_cast<HBRUSH>(GetStockObject(NULL_BRUSH))));
    EXPECT_EQ(b.marked().size(), 8u);
    FillRect(b.dc(), &huge, red);
    EXPECT_EQ(b.marked().size(), 100u);
    EXPECT_FALSE(FillRect(b.dc(), &r, reinterpret_cast<HBRUSH>(intptr_t(6))));  // not a brush
    DeleteObject(red);
}

TEST(DrawingState, NullAndForeignHandlesAreRefused) {
    POINT pts[3] = {{0, 0}, {5, 0}, {0, 5}};
    RECT r{0, 0, 4, 4};
    EXPECT_FALSE(Rectangle(nullptr, 0, 0, 4, 4));
    EXPECT_FALSE(Ellipse(nullptr, 0, 0, 4, 4));
    EXPECT_FALSE(Polygon(nullptr, pts, 3));
    EXPECT_FALSE(MoveToEx(nullptr, 1, 1, nullptr));
    EXPECT_FALSE(LineTo(nullptr, 1, 1));
    EXPECT_EQ(SetPixel(nullptr, 1, 1, 0), CLR_INVALID);
    EXPECT_EQ(GetPixel(nullptr, 1, 1), CLR_INVALID);
    EXPECT_EQ(FillRect(nullptr, &r, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH))), 0);
    EXPECT_FALSE(ScrollDC(nullptr, 0, -1, &r, &r, nullptr, nullptr));
    Board b(4, 4);
    EXPECT_FALSE(BitBlt(b.dc(), 0, 0, 2, 2, nullptr, 0, 0, SRCCOPY));
    EXPECT_FALSE(BitBlt(nullptr, 0, 0, 2, 2, b.dc(), 0, 0, SRCCOPY));
    HBITMAP__ fake;  // a DC handle must be a DC
    EXPECT_FALSE(Rectangle(reinterpret_cast<HDC>(&fake), 0, 0, 4, 4));
}

TEST(DrawingState, DrawingKeepsSelectionsAndPosition) {
    Board b(30, 30);
    b.use(PS_SOLID, 3, Board::ink_color, 0x00FF00);
    MoveToEx(b.dc(), 4, 5, nullptr);
    HDC dc = b.dc();
    auto pen = dc->pen;
    auto brush = dc->brush;
    auto font = dc->font;
    auto bitmap = dc->bitmap;
    POINT pts[3] = {{1, 1}, {20, 4}, {9, 25}};
    RECT r{1, 1, 9, 9};
    Rectangle(dc, 1, 2, 20, 21);
    Ellipse(dc, 1, 2, 20, 21);
    Polygon(dc, pts, 3);
    SetPixel(dc, 3, 3, 0);
    GetPixel(dc, 3, 3);
    BitBlt(dc, 5, 5, 10, 10, dc, 0, 0, SRCCOPY);
    FillRect(dc, &r, static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH)));
    ScrollDC(dc, 0, -2, &r, &r, nullptr, nullptr);
    EXPECT_EQ(dc->pen, pen);
    EXPECT_EQ(dc->brush, brush);
    EXPECT_EQ(dc->font, font);
    EXPECT_EQ(dc->bitmap, bitmap);
    EXPECT_EQ(dc->position.x, 4);
    EXPECT_EQ(dc->position.y, 5);
}
