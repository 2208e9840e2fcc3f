// One-pixel and wide lines: end point rule, direction bias, clipping of lines far
// outside the bitmap, wide pen bodies and round caps.
#include <climits>
#include <random>

#include "raster_board.h"

namespace {

PixelSet draw_line(Board& b, int x0, int y0, int x1, int y1) {
    b.clear(Board::paper_color);
    MoveToEx(b.dc(), x0, y0, nullptr);
    LineTo(b.dc(), x1, y1);
    return b.marked();
}

}  // namespace

TEST(ThinLine, BiasExampleBothWays) {
    Board b(6, 3);
    b.thin_pen();
    EXPECT_EQ(draw_line(b, 0, 0, 4, 1), (PixelSet{{0, 0}, {1, 0}, {2, 0}, {3, 1}}));
    EXPECT_EQ(draw_line(b, 4, 1, 0, 0), (PixelSet{{4, 1}, {3, 1}, {2, 0}, {1, 0}}));
}

TEST(ThinLine, SpansLeaveOutTheEndPixel) {
    Board b(12, 12);
    b.thin_pen();
    EXPECT_EQ(draw_line(b, 0, 5, 10, 5), box_pixels(0, 5, 10, 6));
    EXPECT_EQ(draw_line(b, 10, 5, 0, 5), box_pixels(1, 5, 11, 6));
    EXPECT_EQ(draw_line(b, 3, 1, 3, 9), box_pixels(3, 1, 4, 9));
    EXPECT_EQ(draw_line(b, 3, 9, 3, 1), box_pixels(3, 2, 4, 10));
    EXPECT_TRUE(draw_line(b, 4, 4, 4, 4).empty());
}

TEST(ThinLine, DiagonalsAreExact) {
    Board b(8, 8);
    b.thin_pen();
    EXPECT_EQ(draw_line(b, 1, 1, 5, 5), (PixelSet{{1, 1}, {2, 2}, {3, 3}, {4, 4}}));
    EXPECT_EQ(draw_line(b, 5, 1, 1, 5), (PixelSet{{5, 1}, {4, 2}, {3, 3}, {2, 4}}));
}

TEST(ThinLine, AllOctantsMatchTheReference) {
    Board b(24, 24);
    b.thin_pen();
    for (int x1 = 0; x1 < 24; ++x1) {
        for (int y1 = 0; y1 < 24; ++y1) {
            ASSERT_EQ(draw_line(b, 11, 12, x1, y1), reference_line(11, 12, x1, y1, 24, 24))
                << "to " << x1 << "," << y1;
        }
    }
}

TEST(ThinLine, ClippedLinesKeepTheirPixels) {
    // Lines starting and ending far outside light exactly the pixels the unclipped
    // line would, whatever the distance, up to the whole int range.
    Board b(40, 30);
    b.thin_pen();
    std::mt19937 random(7);
    const int ranges[] = {60, 5000, 3000000, INT_MAX};
    for (int range : ranges) {
        std::uniform_int_distribution<int> coord(range == INT_MAX ? INT_MIN : -range, range);
        for (int n = 0; n < 300; ++n) {
            int x0 = coord(random), y0 = coord(random), x1 = coord(random), y1 = coord(random);
            if (n % 3 == 0) y1 = 2 * 15 - y0 + n % 5;  // steer some through the board
            if (n % 3 == 1) x1 = 2 * 20 - x0 - n % 4;
            ASSERT_EQ(draw_line(b, x0, y0, x1, y1), reference_line(x0, y0, x1, y1, 40, 30))
                << x0 << "," << y0 << " -> " << x1 << "," << y1;
        }
    }
}

TEST(ThinLine, ExtremeEndsFinish) {
    Board b(20, 20);
    b.thin_pen();
    EXPECT_EQ(draw_line(b, INT_MIN, INT_MIN, INT_MAX, INT_MAX),
              reference_line(INT_MIN, INT_MIN, INT_MAX, INT_MAX, 20, 20));
    EXPECT_EQ(draw_line(b, INT_MIN, 7, INT_MAX, 7), box_pixels(0, 7, 20, 8));
    EXPECT_EQ(draw_line(b, 9, INT_MAX, 9, INT_MIN), box_pixels(9, 0, 10, 20));
    EXPECT_TRUE(draw_line(b, INT_MIN, INT_MIN, INT_MIN, INT_MAX).empty());
}

TEST(ThinLine, LineToMovesTheCurrentPosition) {
    Board b(10, 10);
    POINT previous{-1, -1};
    MoveToEx(b.dc(), 2, 3, nullptr);
    EXPECT_TRUE(MoveToEx(b.dc(), 4, 5, &previous));
    EXPECT_EQ(previous.x, 2);
    EXPECT_EQ(previous.y, 3);
    LineTo(b.dc(), 7, 8);
    MoveToEx(b.dc(), 0, 0, &previous);
    EXPECT_EQ(previous.x, 7);
    EXPECT_EQ(previous.y, 8);
}

TEST(WideLine, HorizontalBodyWithRoundCaps) {
    Board b(12, 9);
    b.use(PS_SOLID, 3, Board::ink_color);
    MoveToEx(b.dc(), 2, 4, nullptr);
    LineTo(b.dc(), 8, 4);
    EXPECT_EQ(b.art(), picture({"............", "............", "............", "..#######...",
                                ".#########..", "..#######...", "............", "............",
                                "............"}));
}

TEST(WideLine, EvenWidthStraddlesUpAndLeft) {
    Board b(10, 10);
    b.use(PS_SOLID, 2, Board::ink_color);
    MoveToEx(b.dc(), 5, 2, nullptr);
    LineTo(b.dc(), 5, 7);
    // Columns [x - 1, x], rows covered through the end point by the 2x2 caps.
    EXPECT_EQ(b.marked(), box_pixels(4, 1, 6, 8));
}

TEST(WideLine, CapsCoverBothEndsAndStayNearTheLine) {
    for (int width : {2, 3, 4, 7}) {
        Board b(40, 40);
        b.use(PS_SOLID, width, Board::ink_color);
        MoveToEx(b.dc(), 6, 9, nullptr);
        LineTo(b.dc(), 31, 27);
        PixelSet lit = b.marked();
        EXPECT_TRUE(lit.count({6, 9}) && lit.count({31, 27})) << width;
        // Every lit pixel lies within the pen's reach of the segment.
        for (auto [x, y] : lit) {
            double px = x - 6, py = y - 9, dx = 25, dy = 18;
            double t = std::clamp((px * dx + py * dy) / (dx * dx + dy * dy), 0.0, 1.0);
            double distance = std::hypot(px - t * dx, py - t * dy);
            EXPECT_LE(distance, width / 2.0 + 1.0) << width << " at " << x << "," << y;
        }
        // The band is solid along its middle.
        for (int i = 0; i <= 25; ++i) EXPECT_TRUE(lit.count({6 + i, 9 + (18 * i + 12) / 25}));
    }
}

TEST(WideLine, ZeroLengthDrawsOneDisc) {
    Board b(9, 9);
    b.use(PS_SOLID, 5, Board::ink_color);
    MoveToEx(b.dc(), 4, 4, nullptr);
    LineTo(b.dc(), 4, 4);
    EXPECT_EQ(b.art(), picture({".........", ".........", "...###...", "..#####..", "..#####..",
                                "..#####..", "...###...", ".........", "........."}));
}

TEST(WideLine, HugePenAndHugeCoordinatesFinish) {
    Board b(30, 20);
    b.use(PS_SOLID, INT_MAX, Board::ink_color);
    MoveToEx(b.dc(), INT_MIN, INT_MIN, nullptr);
    LineTo(b.dc(), INT_MAX, INT_MAX);
    EXPECT_EQ(b.marked().size(), 600u);  // the band covers the whole board

    b.clear(Board::paper_color);
    b.use(PS_SOLID, 2000000000, Board::ink_color);
    MoveToEx(b.dc(), 2100000000, -2100000000, nullptr);
    LineTo(b.dc(), 2100000000, 2100000000);  // a band far to the right
    EXPECT_TRUE(b.marked().empty());

    b.use(PS_SOLID, 1000, Board::ink_color);
    MoveToEx(b.dc(), INT_MIN, 10, nullptr);
    LineTo(b.dc(), INT_MAX, 11);
    EXPECT_EQ(b.marked().size(), 600u);

    b.clear(Board::paper_color);
    b.use(PS_SOLID, 7, Board::ink_color);
    MoveToEx(b.dc(), INT_MIN + 1000000000, INT_MAX, nullptr);
    LineTo(b.dc(), INT_MAX, INT_MIN + 1000000000);  // passes the board's corner far away
    EXPECT_TRUE(b.marked().empty());
}

TEST(WideLine, NullPenDrawsNothing) {
    Board b(10, 10);
    b.use(PS_NULL, 5, Board::ink_color);
    MoveToEx(b.dc(), 1, 1, nullptr);
    LineTo(b.dc(), 8, 8);
    EXPECT_TRUE(b.marked().empty());
}
