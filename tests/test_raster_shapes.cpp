// Rectangles, polygons and ellipses: which pixels the fill and the outline take,
// wide and null pens, hollow brushes, degenerate shapes and extreme coordinates.
#include <array>
#include <climits>
#include <cstring>
#include <random>

#include "raster_board.h"

namespace {

constexpr COLORREF fill_color = 0x00FF00;

// Pixels of a polygon fill computed point by point: (x,y) is in when an odd number
// of non-horizontal edges with top <= y < bottom cross row y at or left of x.
PixelSet reference_fill(const std::vector<POINT>& pts, int w, int h) {
    PixelSet set;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            int crossings = 0;
            for (size_t i = 0; i < pts.size(); ++i) {
                POINT a = pts[i], b = pts[(i + 1) % pts.size()];
                if (a.y == b.y) continue;
                if (a.y > b.y) std::swap(a, b);
                if (y < a.y || y >= b.y) continue;
                // crossing x <= x  <=>  (a.x - x) * dy + (y - a.y) * dx <= 0
                __int128 v = __int128(int64_t(a.x) - x) * (int64_t(b.y) - a.y) +
                             __int128(int64_t(y) - a.y) * (int64_t(b.x) - a.x);
                if (v <= 0) ++crossings;
            }
            if (crossings % 2 == 1) set.insert({x, y});
        }
    }
    return set;
}

PixelSet mirrored(const PixelSet& set, int axis_x2, int axis_y2) {
    PixelSet out;
    for (auto [x, y] : set)
        out.insert({axis_x2 < 0 ? x : axis_x2 - x, axis_y2 < 0 ? y : axis_y2 - y});
    return out;
}

}  // namespace

TEST(RectangleRules, OnePixelPenCoversTheHalfOpenBox) {
    Board b(16, 16);
    b.use(PS_SOLID, 1, Board::ink_color, fill_color);
    Rectangle(b.dc(), 2, 3, 9, 11);
    EXPECT_EQ(b.with_color(Board::ink_color).size(), 2u * 7 + 2u * 6);
    EXPECT_EQ(b.with_color(fill_color), box_pixels(3, 4, 8, 10));
    EXPECT_EQ(b.marked(), box_pixels(2, 3, 9, 11));
    PixelSet forward = b.marked();
    for (auto corners :
         {std::array{9, 11, 2, 3}, std::array{9, 3, 2, 11}, std::array{2, 11, 9, 3}}) {
        b.clear(Board::paper_color);
        Rectangle(b.dc(), corners[0], corners[1], corners[2], corners[3]);
        EXPECT_EQ(b.marked(), forward);
    }
}

TEST(RectangleRules, TinyBoxes) {
    Board b(8, 8);
    b.use(PS_SOLID, 0, Board::ink_color, Board::ink_color);
    Rectangle(b.dc(), 3, 3, 4, 4);  // 1x1: its one pixel
    EXPECT_EQ(b.marked(), box_pixels(3, 3, 4, 4));
    b.clear(Board::paper_color);
    Rectangle(b.dc(), 3, 3, 5, 5);
    EXPECT_EQ(b.marked(), box_pixels(3, 3, 5, 5));
    b.clear(Board::paper_color);
    Rectangle(b.dc(), 2, 1, 3, 7);  // one column wide
    EXPECT_EQ(b.marked(), box_pixels(2, 1, 3, 7));
    b.clear(Board::paper_color);
    Rectangle(b.dc(), 1, 5, 6, 6);  // one row high
    EXPECT_EQ(b.marked(), box_pixels(1, 5, 6, 6));
    b.clear(Board::paper_color);
    Rectangle(b.dc(), 2, 2, 2, 6);  // zero width
    Rectangle(b.dc(), 2, 2, 6, 2);
    EXPECT_TRUE(b.marked().empty());
}

TEST(RectangleRules, HollowBrushKeepsTheInterior) {
    Board b(12, 12);
    b.clear(fill_color);
    b.use(PS_SOLID, 1, Board::ink_color);
    Rectangle(b.dc(), 1, 1, 11, 11);
    EXPECT_EQ(b.with_color(fill_color).size(), 144u - 36u);
    EXPECT_EQ(b.marked(fill_color), mirrored(b.marked(fill_color), 11, -1));
    EXPECT_EQ(b.with_color(fill_color).count({5, 5}), 1u);
}

TEST(RectangleRules, NullPenFillsOnePixelLessEachWay) {
    Board b(12, 12);
    b.use(PS_NULL, 1, Board::ink_color, fill_color);
    Rectangle(b.dc(), 2, 2, 8, 9);
    EXPECT_EQ(b.marked(), box_pixels(2, 2, 7, 8));
}

TEST(RectangleRules, WidePensStraddleTheFrame) {
    Board b(20, 20);
    b.use(PS_SOLID, 2, Board::ink_color);
    Rectangle(b.dc(), 5, 5, 15, 13);
    // Frame lines at 5, 14 (columns) and 5, 12 (rows); width 2 adds one pixel out
    // on the left and top only.
    PixelSet ring;
    for (auto p : box_pixels(4, 4, 15, 13))
        if (!box_pixels(6, 6, 13, 11).count(p)) ring.insert(p);
    EXPECT_EQ(b.marked(), ring);
    b.clear(Board::paper_color);
    b.use(PS_SOLID, 3, Board::ink_color, fill_color);
    Rectangle(b.dc(), 5, 5, 15, 13);
    PixelSet lit = b.marked();
    EXPECT_EQ(lit.count({4, 4}), 0u);  // round corners
    EXPECT_EQ(lit.count({5, 4}), 1u);
    EXPECT_EQ(lit.count({4, 5}), 1u);
    EXPECT_EQ(lit.count({15, 12}), 1u);  // (w-1)/2 = 1 beyond the right frame line
    EXPECT_EQ(lit.count({16, 12}), 0u);
    EXPECT_EQ(b.with_color(fill_color), box_pixels(7, 7, 13, 11));
    EXPECT_EQ(lit, mirrored(lit, 19, -1));
}

TEST(RectangleRules, InsideFrameKeepsAWidePenInTheBox) {
    Board b(20, 20);
    b.use(PS_INSIDEFRAME, 4, Board::ink_color);
    Rectangle(b.dc(), 3, 4, 15, 16);
    for (auto [x, y] : b.marked()) {
        EXPECT_TRUE(x >= 3 && x < 15 && y >= 4 && y < 16) << x << "," << y;
    }
    EXPECT_EQ(b.at(3, 10), Board::ink_color);
    EXPECT_EQ(b.at(14, 10), Board::ink_color);
}

TEST(RectangleRules, ExtremeCorners) {
    Board b(10, 8);
    b.use(PS_SOLID, 1, Board::ink_color, fill_color);
    Rectangle(b.dc(), INT_MIN, INT_MIN, INT_MAX, INT_MAX);
    EXPECT_EQ(b.with_color(fill_color).size(), 80u);
    b.use(PS_SOLID, INT_MAX, Board::ink_color);
    Rectangle(b.dc(), INT_MAX, INT_MAX, INT_MIN, INT_MIN);  // sides 2^31 away, reach 2^30
    EXPECT_EQ(b.with_color(Board::ink_color).size(), 0u);
    Rectangle(b.dc(), INT_MAX, INT_MAX, INT_MIN, 4);  // the top side crosses the board
    EXPECT_EQ(b.with_color(Board::ink_color).size(), 80u);
    b.clear(Board::paper_color);
    b.use(PS_SOLID, 3, Board::ink_color, fill_color);
    Rectangle(b.dc(), INT_MAX - 5, INT_MIN, INT_MAX, INT_MAX);
    EXPECT_TRUE(b.marked().empty());
}

TEST(PolygonRules, TopLeftFillOfARightTriangle) {
    Board b(14, 14);
    b.use(PS_NULL, 1, 0, fill_color);
    POINT tri[3] = {{0, 0}, {10, 0}, {0, 10}};
    Polygon(b.dc(), tri, 3);
    PixelSet lit = b.marked();
    EXPECT_EQ(lit.size(), 55u);
    EXPECT_EQ(lit, reference_fill({tri, tri + 3}, 14, 14));
    EXPECT_TRUE(lit.count({9, 0}) && lit.count({0, 9}) && !lit.count({10, 0}));
}

TEST(PolygonRules, SquareWithOutlineCoversElevenByEleven) {
    Board b(14, 14);
    b.use(PS_SOLID, 1, Board::ink_color, Board::ink_color);
    POINT square[4] = {{0, 0}, {10, 0}, {10, 10}, {0, 10}};
    Polygon(b.dc(), square, 4);
    EXPECT_EQ(b.marked(), box_pixels(0, 0, 11, 11));
}

TEST(PolygonRules, FilledTriangleIsFillPlusOutline) {
    Board b(40, 40), lines(40, 40);
    POINT tri[3] = {{5, 3}, {33, 17}, {12, 36}};
    b.use(PS_SOLID, 0, Board::ink_color, Board::ink_color);
    Polygon(b.dc(), tri, 3);
    lines.thin_pen();
    for (int i = 0; i < 3; ++i) {
        MoveToEx(lines.dc(), tri[i].x, tri[i].y, nullptr);
        LineTo(lines.dc(), tri[(i + 1) % 3].x, tri[(i + 1) % 3].y);
    }
    PixelSet expected = reference_fill({tri, tri + 3}, 40, 40);
    for (auto p : lines.marked()) expected.insert(p);
    EXPECT_EQ(b.marked(), expected);
}

TEST(PolygonRules, FillMatchesTheReferenceWhenClipped) {
    Board b(32, 24);
    b.use(PS_NULL, 1, 0, fill_color);
    std::mt19937 random(11);
    for (int range : {40, 100000, INT_MAX}) {
        std::uniform_int_distribution<int> coord(range == INT_MAX ? INT_MIN : -range, range);
        for (int n = 0; n < 120; ++n) {
            std::vector<POINT> pts(3 + n % 3);
            for (auto& p : pts) p = {coord(random), coord(random)};
            b.clear(Board::paper_color);
            Polygon(b.dc(), pts.data(), int(pts.size()));
            ASSERT_EQ(b.marked(), reference_fill(pts, 32, 24)) << range << " #" << n;
        }
    }
}

TEST(PolygonRules, WideOutlineOnly) {
    Board b(40, 40);
    b.clear(fill_color);
    b.use(PS_SOLID, 3, Board::ink_color);
    POINT tri[3] = {{5, 5}, {34, 8}, {15, 33}};
    Polygon(b.dc(), tri, 3);
    EXPECT_EQ(b.at(18, 15), fill_color);  // inside keeps its pixels
    for (auto p : tri) {
        EXPECT_EQ(b.at(p.x, p.y), Board::ink_color);
        EXPECT_EQ(b.at(p.x + 1, p.y), Board::ink_color);  // round joins reach around
        EXPECT_EQ(b.at(p.x, p.y - 1), Board::ink_color);
    }
    EXPECT_EQ(b.at(5, 2), fill_color);
}

TEST(PolygonRules, DegenerateTriangles) {
    Board b(16, 16);
    b.use(PS_SOLID, 1, Board::ink_color, fill_color);
    POINT point[3] = {{5, 5}, {5, 5}, {5, 5}};
    Polygon(b.dc(), point, 3);
    EXPECT_TRUE(b.marked().empty());
    b.use(PS_SOLID, 3, Board::ink_color, fill_color);
    Polygon(b.dc(), point, 3);  // a wide pen leaves one disc
    EXPECT_EQ(b.marked(), (PixelSet{{5, 4}, {4, 5}, {5, 5}, {6, 5}, {5, 6}}));
    b.clear(Board::paper_color);
    b.use(PS_SOLID, 1, Board::ink_color, fill_color);
    POINT collinear[3] = {{2, 3}, {12, 8}, {6, 5}};
    Polygon(b.dc(), collinear, 3);
    EXPECT_TRUE(b.with_color(fill_color).empty());
    PixelSet lit = b.marked();
    EXPECT_TRUE(lit.count({2, 3}) && lit.count({12, 8}));
    EXPECT_EQ(lit.size(), 11u);
}

TEST(PolygonRules, RefusesTooFewPoints) {
    Board b(8, 8);
    POINT p[1] = {{1, 1}};
    EXPECT_FALSE(Polygon(b.dc(), p, 1));
    EXPECT_FALSE(Polygon(b.dc(), nullptr, 3));
}

TEST(EllipseRules, SmallCircles) {
    Board b(10, 10);
    b.use(PS_SOLID, 1, Board::ink_color, fill_color);
    Ellipse(b.dc(), 1, 1, 4, 4);
    EXPECT_EQ(b.marked(), (PixelSet{{2, 1}, {1, 2}, {2, 2}, {3, 2}, {2, 3}}));
    b.clear(Board::paper_color);
    Ellipse(b.dc(), 1, 1, 8, 8);
    EXPECT_EQ(b.with_color(fill_color).size(), 21u);
    b.use(PS_SOLID, 1, Board::ink_color);
    b.clear(Board::paper_color);
    Ellipse(b.dc(), 1, 1, 8, 8);
    EXPECT_EQ(b.art(),
              picture({"..........", "...###....", "..#...#...", ".#.....#..", ".#.....#..",
                       ".#.....#..", "..#...#...", "...###....", "..........", ".........."}));
}

TEST(EllipseRules, TwoPixelBoxesAreRectangles) {
    Board a(10, 10), r(10, 10);
    a.use(PS_SOLID, 1, Board::ink_color, fill_color);
    r.use(PS_SOLID, 1, Board::ink_color, fill_color);
    Ellipse(a.dc(), 2, 2, 4, 8);
    Rectangle(r.dc(), 2, 2, 4, 8);
    EXPECT_EQ(a.marked(), r.marked());
    a.clear(Board::paper_color);
    Ellipse(a.dc(), 2, 2, 3, 3);
    EXPECT_EQ(a.marked(), box_pixels(2, 2, 3, 3));
}

TEST(EllipseRules, SymmetricAndInsideTheBox) {
    for (int w : {3, 4, 9, 20, 31, 300}) {
        for (int h : {3, 6, 13, 40, 290}) {
            for (int pen : {1, 3, 6}) {
                Board b(w + 12, h + 12);
                b.use(PS_SOLID, pen, Board::ink_color, fill_color);
                Ellipse(b.dc(), 6, 6, 6 + w, 6 + h);
                PixelSet lit = b.marked();
                for (auto [x, y] : lit) {
                    ASSERT_TRUE(x >= 6 - pen / 2 && x < 6 + w + pen / 2 && y >= 6 - pen / 2 &&
                                y < 6 + h + pen / 2);
                }
                if (w > 2 * pen + 2 && h > 2 * pen + 2) {
                    ASSERT_EQ(b.at(6 + w / 2, 6 + h / 2), fill_color);
                }
                // Wide sweeps along slanted steps, and even pens, are lopsided by a
                // pixel by design; the one-pixel outline and odd rings are symmetric.
                if (pen % 2 == 0 || (pen > 1 && w < 256 && h < 256)) continue;
                ASSERT_EQ(lit, mirrored(lit, 2 * 6 + w - 1, -1)) << w << "x" << h << " " << pen;
                ASSERT_EQ(lit, mirrored(lit, -1, 2 * 6 + h - 1)) << w << "x" << h << " " << pen;
            }
        }
    }
}

TEST(EllipseRules, HollowOutlineIsClosed) {
    Board b(60, 50);
    b.clear(fill_color);
    b.use(PS_SOLID, 1, Board::ink_color);
    Ellipse(b.dc(), 5, 5, 55, 45);
    // Flood the outside from a corner with 4-neighbour steps: the inside stays unreached.
    PixelSet seen{{0, 0}}, todo{{0, 0}};
    while (!todo.empty()) {
        auto [x, y] = *todo.begin();
        todo.erase(todo.begin());
        for (auto [nx, ny] : {std::pair{x + 1, y}, {x - 1, y}, {x, y + 1}, {x, y - 1}}) {
            if (nx < 0 || ny < 0 || nx >= 60 || ny >= 50 || b.at(nx, ny) != fill_color) continue;
            if (seen.insert({nx, ny}).second) todo.insert({nx, ny});
        }
    }
    EXPECT_EQ(seen.count({30, 25}), 0u);
}

TEST(EllipseRules, ExtremeBoxesFinish) {
    Board b(20, 20);
    b.use(PS_SOLID, 1, Board::ink_color, fill_color);
    Ellipse(b.dc(), INT_MIN, INT_MIN, INT_MAX, INT_MAX);
    EXPECT_EQ(b.with_color(fill_color).size(), 400u);
    b.use(PS_SOLID, INT_MAX, Board::ink_color);
    Ellipse(b.dc(), INT_MIN, INT_MIN, INT_MAX, INT_MAX);  // ring 2^31 away, reach 2^30
    EXPECT_EQ(b.with_color(Board::ink_color).size(), 0u);
    Ellipse(b.dc(), INT_MIN, 10, INT_MAX, INT_MAX);  // its top crosses the board
    EXPECT_EQ(b.with_color(Board::ink_color).size(), 400u);
    b.clear(Board::paper_color);
    b.use(PS_SOLID, 9, Board::ink_color);
    Ellipse(b.dc(), -2000000000, -2000000000, 2000000000, 2000000000);  // ring far outside
    EXPECT_TRUE(b.marked().empty());
}

// The viewport origin moves every drawing call's logical coordinates by the same
// amount, in 64 bits: the picture is the one drawn at the device points, even where
// those lie beyond the int range.
TEST(ViewportOrigin, EveryCallDrawsAtLogicalPlusOrigin) {
    auto draw_all = [](Board& b, int ox, int oy) {
        b.use(PS_SOLID, 1, Board::ink_color, fill_color);
        Rectangle(b.dc(), 2 - ox, 2 - oy, 12 - ox, 9 - oy);
        Ellipse(b.dc(), 14 - ox, 2 - oy, 30 - ox, 14 - oy);
        POINT triangle[3] = {{3 - ox, 20 - oy}, {20 - ox, 24 - oy}, {8 - ox, 34 - oy}};
        Polygon(b.dc(), triangle, 3);
        MoveToEx(b.dc(), 22 - ox, 18 - oy, nullptr);
        LineTo(b.dc(), 37 - ox, 31 - oy);
        b.use(PS_SOLID, 4, Board::ink_color);
        LineTo(b.dc(), 30 - ox, 36 - oy);  // from the current position, itself logical
        SetPixel(b.dc(), 38 - ox, 2 - oy, 0x123456);
        EXPECT_EQ(GetPixel(b.dc(), 38 - ox, 2 - oy), 0x123456u);
        RECT box = {31 - ox, 4 - oy, 36 - ox, 8 - oy};
        HBRUSH brush = CreateSolidBrush(0x654321);
        FillRect(b.dc(), &box, brush);
        DeleteObject(brush);
        TextOutA(b.dc(), 2 - ox, 36 - oy, "Ag", 2);
        BitBlt(b.dc(), 32 - ox, 10 - oy, 6, 6, b.dc(), 2 - ox, 2 - oy, SRCCOPY);
    };
    Board plain(40, 50), moved(40, 50);
    draw_all(plain, 0, 0);
    SetViewportOrgEx(moved.dc(), 7, -5, nullptr);
    draw_all(moved, 7, -5);
    EXPECT_EQ(moved.art(), plain.art());
    EXPECT_EQ(moved.with_color(fill_color), plain.with_color(fill_color));

    // A line whose device start lies 200 beyond the int range keeps its slope: the
    // same pixels as the same line through exact points near the board. Both run
    // through the device points (2k, k + 10).
    Board near(40, 30), far(40, 30);
    near.thin_pen();
    far.thin_pen();
    MoveToEx(near.dc(), -2000, -990, nullptr);
    LineTo(near.dc(), 2000, 1010);
    POINT previous;
    SetViewportOrgEx(far.dc(), -300, -300, nullptr);
    EXPECT_TRUE(SetViewportOrgEx(far.dc(), -300, -300, &previous));
    EXPECT_EQ(previous.x, -300);
    MoveToEx(far.dc(), INT_MIN + 100, -(1 << 30) + 210, nullptr);
    LineTo(far.dc(), INT_MAX - 1699, (1 << 30) - 690);
    EXPECT_EQ(far.marked(), near.marked());
    EXPECT_EQ(far.marked().size(), 40u);
}

// Triangles take their own stepping; a four-corner polygon with a corner repeated
// has the same edges and goes the general way, so both must give the same pixels.
// Tall triangles (up to the 32767 rows the fast stepping is used for) with steep
// and shallow sides, inside the board and sticking out of it far.
TEST(PolygonRules, TrianglesMatchTheGeneralScanWhenTall) {
    const int w = 40, h = 32800;
    Board triangle(w, h), general(w, h);
    triangle.use(PS_NULL, 1, 0, fill_color);
    general.use(PS_NULL, 1, 0, fill_color);
    std::mt19937 random(5);
    size_t bytes = size_t(w) * h * sizeof(uint32_t);
    for (int n = 0; n < 60; ++n) {
        int reach = n % 3 == 0 ? w : (n % 3 == 1 ? w + 7 : 1 << 28);
        std::uniform_int_distribution<int> x(n % 3 == 0 ? 0 : -reach, reach);
        std::uniform_int_distribution<int> y(0, 32766);
        POINT p[3] = {{x(random), 0}, {x(random), y(random)}, {x(random), 32767 - n % 2}};
        POINT q[4] = {p[0], p[1], p[2], p[2]};
        triangle.clear(Board::paper_color);
        general.clear(Board::paper_color);
        Polygon(triangle.dc(), p, 3);
        Polygon(general.dc(), q, 4);
        ASSERT_EQ(std::memcmp(triangle.pixels(), general.pixels(), bytes), 0)
            << "#" << n << " (" << p[0].x << "," << p[1].x << "," << p[2].x << " / " << p[1].y
            << ")";
    }
}
