// Portable GDI: clipped spans, one-pixel lines, polygon fill, wide pen bodies and
// block copies. Discs and ellipses are in ellipse.cpp.
//
// Coordinates arrive as 64-bit values (callers widen the Win32 ints, and wide pen
// corners may lie a pen width beyond the int range). Each primitive first reduces
// its work to the part inside the surface, using 128-bit arithmetic where a
// product of two coordinates can exceed 64 bits, and only then loops.
#include "raster.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "objects.h"
#include "observer.h"

namespace portable {

// Spans are the bulk of all drawing (a clear alone is 320,000 pixels), so the fill
// is compiled twice: with 32-byte stores for processors that have AVX2, chosen
// once at load time, and with 16-byte stores for the rest.
#if defined(__x86_64__) && defined(__linux__) && !defined(__clang__)
#define TAVLO_WIDE_STORES __attribute__((target_clones("avx2", "default")))
#else
#define TAVLO_WIDE_STORES
#endif

TAVLO_WIDE_STORES
void fill_pixels(uint32_t* p, int64_t n, uint32_t color) {
    if (n < 8) {
        for (; n > 0; --n) *p++ = color;
        return;
    }
    typedef uint32_t Oct __attribute__((vector_size(32)));
    Oct oct = {color, color, color, color, color, color, color, color};
    uint32_t* end = p + n;
    for (; end - p >= 16; p += 16) {
        std::memcpy(p, &oct, sizeof oct);
        std::memcpy(p + 8, &oct, sizeof oct);
    }
    if (end - p >= 8) {
        std::memcpy(p, &oct, sizeof oct);
        p += 8;
    }
    if (p < end) std::memcpy(end - 8, &oct, sizeof oct);  // overlaps the last store
}

namespace {

using i128 = __int128;

// floor(n / d) for d > 0.
int64_t floor_div(i128 n, i128 d) {
    i128 q = n / d;
    if (n % d != 0 && n < 0) --q;
    return static_cast<int64_t>(q);
}

int64_t ceil_div(i128 n, i128 d) {
    return -floor_div(-n, d);
}

// The same in 64 bits, for the per-call setup of ordinary coordinates.
int64_t floor_div64(int64_t n, int64_t d) {
    int64_t q = n / d;
    if (n % d != 0 && n < 0) --q;
    return q;
}

constexpr int64_t small_limit = int64_t(1) << 31;

// Fills [x0,x1) of row y, known to lie inside the surface; the caller tells the
// observer.
inline void fill_inside_span(const Surface& s, int64_t y, int64_t x0, int64_t x1, uint32_t color) {
    uint32_t* p = s.row(y) + x0;
    int64_t n = x1 - x0;
    if (n > 16) {
        fill_pixels(p, n, color);
        return;
    }
    if (n < 4) {
        for (; n > 0; --n) *p++ = color;
        return;
    }
    typedef uint32_t Quad __attribute__((vector_size(16)));
    Quad quad = {color, color, color, color};
    for (int64_t i = 0; i + 4 <= n; i += 4) std::memcpy(p + i, &quad, sizeof quad);
    std::memcpy(p + n - 4, &quad, sizeof quad);
}

// Fills [x0,x1) of row y, clipped.
inline void fill_span(const Surface& s, int64_t y, int64_t x0, int64_t x1, uint32_t color) {
    if (y < 0 || y >= s.height) return;
    x0 = std::max<int64_t>(x0, 0);
    x1 = std::min<int64_t>(x1, s.width);
    if (x0 < x1) TAVLO_OBSERVE(draw_observer->span(s, y, x0, x1, color));
    fill_inside_span(s, y, x0, x1, color);
}

// Steps i of a run a0 + step*i (step = +-1) that land in [0, limit): [lo, hi).
void steps_inside(int64_t a0, int step, int64_t limit, int64_t& lo, int64_t& hi) {
    int64_t first = step > 0 ? -a0 : a0 - limit + 1;
    int64_t last = step > 0 ? limit - a0 : a0 + 1;
    lo = std::max(lo, first);
    hi = std::min(hi, last);
}

// A Bresenham run along the major axis: `major` steps, the minor coordinate
// advancing `minor` times in all. minor_count(i) is how often the minor coordinate
// has advanced before step i.
struct Run {
    int64_t major;
    int64_t minor;
    int bias;
    int64_t minor_count(int64_t i) const {
        return floor_div(i128(2) * minor * i + major + bias - 1, i128(2) * major);
    }
    // The first step at which the minor coordinate has advanced k times.
    int64_t first_step_with(int64_t k) const {
        return ceil_div(i128(2) * major * k - major - bias + 1, i128(2) * minor);
    }
};

// A one-pixel line that is neither horizontal nor vertical.
void draw_slanted_line(const Surface& s, Point64 from, Point64 to, uint32_t color) {
    int64_t dx = to.x - from.x, dy = to.y - from.y;
    int sx = dx < 0 ? -1 : 1, sy = dy < 0 ? -1 : 1;
    int64_t adx = dx < 0 ? -dx : dx, ady = dy < 0 ? -dy : dy;
    // Exact diagonals count as y-major. At a half step x-major lines take the upper
    // pixel and y-major lines the left one, whichever way they are drawn.
    bool x_major = adx > ady;
    Run run{x_major ? adx : ady, x_major ? ady : adx, x_major ? dy < 0 : dx < 0};
    int64_t a0 = x_major ? from.x : from.y, b0 = x_major ? from.y : from.x;
    int sa = x_major ? sx : sy, sb = x_major ? sy : sx;
    int64_t a_limit = x_major ? s.width : s.height, b_limit = x_major ? s.height : s.width;

    int64_t lo = 0, hi = run.major;
    bool inside = std::min(from.x, to.x) >= 0 && std::max(from.x, to.x) < s.width &&
                  std::min(from.y, to.y) >= 0 && std::max(from.y, to.y) < s.height;
    if (!inside) {
        steps_inside(a0, sa, a_limit, lo, hi);
        // The minor coordinate b0 + sb*count must stay in [0, b_limit).
        int64_t k_min = sb > 0 ? -b0 : b0 - b_limit + 1;
        int64_t k_max = sb > 0 ? b_limit - 1 - b0 : b0;
        if (k_min > k_max) return;
        lo = std::max(lo, run.first_step_with(k_min));
        hi = std::min(hi, run.first_step_with(k_max + 1));
        if (lo >= hi) return;
    }
    int64_t count = lo == 0 ? 0 : run.minor_count(lo);
    int64_t err = static_cast<int64_t>(i128(2) * run.minor * (lo + 1) - run.major -
                                       i128(2) * run.major * count);
    int64_t a = a0 + sa * lo, b = b0 + sb * count;
    int64_t x = x_major ? a : b, y = x_major ? b : a;
    int64_t offset = y * s.width + x;
    int64_t stride_a = x_major ? sx : sy * s.width;
    int64_t stride_b = x_major ? sy * s.width : sx;
    int64_t step_minor = 2 * (run.minor - run.major), step_major = 2 * run.minor;
    uint32_t* pixels = s.pixels;
    TAVLO_OBSERVE(
        int64_t at = offset, e = err; for (int64_t i = lo; i < hi; ++i) {
            draw_observer->span(s, at / s.width, at % s.width, at % s.width + 1, color);
            bool minor_step = e + run.bias > 0;
            at += stride_a + (minor_step ? stride_b : 0);
            e += minor_step ? step_minor : step_major;
        });
    for (int64_t i = lo; i < hi; ++i) {
        pixels[offset] = color;
        if (err + run.bias > 0) {
            offset += stride_b;
            err += step_minor;
        } else {
            err += step_major;
        }
        offset += stride_a;
    }
}

// One polygon edge, top to bottom, stepped one row at a time. Its crossing with
// row y is x = top_x + (y - top) * dx / dy; `whole` and `part` hold that offset as
// floor and remainder (0 <= part < dy) for the row about to be used.
struct Edge {
    int64_t top, bottom;  // rows [top, bottom)
    int64_t top_x;
    int64_t dy;
    int64_t whole, part;
    int64_t whole_step, part_step;

    // The first pixel column at or right of the crossing: ceil(x).
    int64_t column() const { return top_x + whole + (part != 0); }
    // Branch-free: whether the remainder carries is unpredictable from row to row.
    void step() {
        part += part_step;
        int64_t carry = -static_cast<int64_t>(part >= dy);
        part -= dy & carry;
        whole += whole_step - carry;
    }
};

Edge make_edge(Point64 a, Point64 b, int64_t first_row) {
    if (a.y > b.y) std::swap(a, b);
    Edge e;
    e.top = a.y;
    e.bottom = b.y;
    e.top_x = a.x;
    e.dy = b.y - a.y;
    int64_t dx = b.x - a.x;
    e.whole_step = floor_div64(dx, e.dy);
    e.part_step = dx - e.whole_step * e.dy;
    e.whole = 0;
    e.part = 0;
    int64_t rows = first_row - e.top;
    if (rows > 0 && rows < small_limit && dx > -small_limit && dx < small_limit) {
        e.whole = floor_div64(rows * dx, e.dy);
        e.part = rows * dx - e.whole * e.dy;
    } else if (rows > 0) {
        i128 offset = i128(first_row - e.top) * dx;
        e.whole = floor_div(offset, e.dy);
        e.part = static_cast<int64_t>(offset - i128(e.whole) * e.dy);
    }
    return e;
}

// Sorts a handful of crossings in place.
void sort_small(int64_t* xs, int n) {
    for (int i = 1; i < n; ++i) {
        int64_t v = xs[i];
        int j = i - 1;
        while (j >= 0 && xs[j] > v) {
            xs[j + 1] = xs[j];
            --j;
        }
        xs[j + 1] = v;
    }
}

void scan_edges(const Surface& s, Edge* edges, int count, int64_t first_row, int64_t end_row,
                int64_t* xs, uint32_t color) {
    for (int64_t y = first_row; y < end_row; ++y) {
        int n = 0;
        for (int i = 0; i < count; ++i) {
            Edge& e = edges[i];
            if (y < e.top || y >= e.bottom) continue;
            xs[n++] = e.column();
            e.step();
        }
        if (n == 2) {
            int64_t a = xs[0], b = xs[1];
            fill_span(s, y, std::min(a, b), std::max(a, b), color);
            continue;
        }
        sort_small(xs, n);
        for (int i = 0; i + 1 < n; i += 2) fill_span(s, y, xs[i], xs[i + 1], color);
    }
}

// The edge of a small triangle, stepped in 32.32 fixed point: `value` is
// x + (dy - 1) / dy at the row about to be used, rounded up, so that its integer
// part is ceil(x), the edge's column. Rounding the start and the step up keeps the
// value at or above the exact one, by less than (k + 1) / 2^32 after k rows; the
// exact value's fraction is a multiple of 1 / dy no greater than (dy - 1) / dy, so
// for dy < 2^16 the error never reaches the next integer and every column is
// exactly Edge's. Used for coordinates below small_triangle_limit only, where
// nothing overflows.
struct FixedEdge {
    int64_t value;
    int64_t step_by;
    int64_t column() const { return value >> 32; }
    void step() { value += step_by; }
};

constexpr int64_t small_triangle_limit = int64_t(1) << 29;  // |x|, |y| below this
constexpr int64_t small_triangle_rows = int64_t(1) << 15;   // height below this

// ceil(n * 2^32 / d) for 0 <= n < d < 2^16.
int64_t fraction_up(int64_t n, int64_t d) {
    return ((n << 32) + d - 1) / d;
}

FixedEdge make_fixed_edge(Point64 a, Point64 b, int64_t first_row) {
    if (a.y > b.y) std::swap(a, b);
    int64_t dy = b.y - a.y, dx = b.x - a.x;
    int64_t n = a.x * dy + (first_row - a.y) * dx + dy - 1;
    int64_t q = floor_div64(n, dy), qs = floor_div64(dx, dy);
    FixedEdge e;
    e.value = q * (int64_t(1) << 32) + fraction_up(n - q * dy, dy);
    e.step_by = qs * (int64_t(1) << 32) + fraction_up(dx - qs * dy, dy);
    return e;
}

// A triangle: sorted by row, its long edge pairs with one short edge at a time.
// make(a, b, row) sets up an edge at `row`; span(y, x0, x1) fills one row.
template <typename EdgeType, typename MakeEdge, typename FillSpan>
void scan_triangle(Point64 a, Point64 b, Point64 c, int64_t first_row, int64_t end_row,
                   MakeEdge make, FillSpan span) {
    EdgeType long_edge = make(a, c, first_row);
    auto run = [&](EdgeType& short_edge, int64_t from, int64_t to) {
        for (int64_t y = from; y < to; ++y) {
            int64_t x0 = long_edge.column(), x1 = short_edge.column();
            span(y, std::min(x0, x1), std::max(x0, x1));
            long_edge.step();
            short_edge.step();
        }
    };
    if (a.y < b.y && first_row < b.y) {
        EdgeType upper = make(a, b, first_row);
        run(upper, first_row, std::min(b.y, end_row));
    }
    if (b.y < c.y) {
        int64_t from = std::max(b.y, first_row);
        EdgeType lower = make(b, c, from);
        run(lower, from, end_row);
    }
}

void fill_triangle(const Surface& s, const Point64* points, uint32_t color) {
    Point64 a = points[0], b = points[1], c = points[2];
    if (a.y > b.y) std::swap(a, b);
    if (b.y > c.y) std::swap(b, c);
    if (a.y > b.y) std::swap(a, b);
    int64_t first_row = std::max<int64_t>(a.y, 0), end_row = std::min(c.y, s.height);
    if (first_row >= end_row) return;
    int64_t x_min = std::min({a.x, b.x, c.x}), x_max = std::max({a.x, b.x, c.x});
    bool small = x_min > -small_triangle_limit && x_max < small_triangle_limit &&
                 a.y > -small_triangle_limit && c.y < small_triangle_limit &&
                 c.y - a.y < small_triangle_rows;
    if (!small) {
        scan_triangle<Edge>(
            a, b, c, first_row, end_row, make_edge,
            [&](int64_t y, int64_t x0, int64_t x1) { fill_span(s, y, x0, x1, color); });
        return;
    }
    // Every column lies between the corners' columns, so a triangle whose corners
    // are inside the surface needs no clipping (nor, unwatched, a test per row).
    if (x_min >= 0 && x_max <= s.width && !TAVLO_OBSERVING) {
        scan_triangle<FixedEdge>(
            a, b, c, first_row, end_row, make_fixed_edge,
            [&](int64_t y, int64_t x0, int64_t x1) { fill_inside_span(s, y, x0, x1, color); });
    } else {
        scan_triangle<FixedEdge>(
            a, b, c, first_row, end_row, make_fixed_edge,
            [&](int64_t y, int64_t x0, int64_t x1) { fill_span(s, y, x0, x1, color); });
    }
}

int64_t round_half_up(double v) {
    return static_cast<int64_t>(std::floor(v + 0.5));
}

}  // namespace

Surface surface_of(HBITMAP__* bitmap) {
    Surface s;
    if (bitmap == nullptr || bitmap->width <= 0 || bitmap->height <= 0) return s;
    if (bitmap->pixels.size() != size_t(bitmap->width) * size_t(bitmap->height)) return s;
    s.pixels = bitmap->pixels.data();
    s.width = bitmap->width;
    s.height = bitmap->height;
    return s;
}

void fill_box(const Surface& s, int64_t left, int64_t top, int64_t right, int64_t bottom,
              uint32_t color) {
    left = std::max<int64_t>(left, 0);
    top = std::max<int64_t>(top, 0);
    right = std::min(right, s.width);
    bottom = std::min(bottom, s.height);
    if (left >= right || top >= bottom) return;
    TAVLO_OBSERVE(for (int64_t y = top; y < bottom; ++y)
                      draw_observer->span(s, y, left, right, color));
    for (int64_t y = top; y < bottom; ++y) fill_pixels(s.row(y) + left, right - left, color);
}

void draw_thin_line(const Surface& s, Point64 from, Point64 to, uint32_t color) {
    if (from.y == to.y) {
        if (from.x < to.x) fill_span(s, from.y, from.x, to.x, color);
        if (from.x > to.x) fill_span(s, from.y, to.x + 1, from.x + 1, color);
        return;
    }
    if (from.x == to.x) {
        if (from.x < 0 || from.x >= s.width) return;
        int64_t y0 = from.y < to.y ? from.y : to.y + 1;
        int64_t y1 = from.y < to.y ? to.y : from.y + 1;
        y0 = std::max<int64_t>(y0, 0);
        y1 = std::min(y1, s.height);
        TAVLO_OBSERVE(for (int64_t y = y0; y < y1; ++y)
                          draw_observer->span(s, y, from.x, from.x + 1, color));
        if (y0 >= y1) return;
        uint32_t* p = s.row(y0) + from.x;
        for (int64_t y = y0; y < y1; ++y, p += s.width) *p = color;
        return;
    }
    draw_slanted_line(s, from, to, color);
}

void fill_polygon(const Surface& s, const Point64* points, int count, uint32_t color) {
    if (count < 3 || s.width <= 0) return;
    if (count == 3) {
        fill_triangle(s, points, color);
        return;
    }
    int64_t y_min = points[0].y, y_max = points[0].y;
    for (int i = 1; i < count; ++i) {
        y_min = std::min(y_min, points[i].y);
        y_max = std::max(y_max, points[i].y);
    }
    int64_t first_row = std::max<int64_t>(y_min, 0);
    int64_t end_row = std::min(y_max, s.height);
    if (first_row >= end_row) return;

    // Small polygons (the usual triangles) keep their edges on the stack.
    constexpr int local_capacity = 32;
    Edge local_edges[local_capacity];
    int64_t local_xs[local_capacity];
    std::vector<Edge> heap_edges;
    std::vector<int64_t> heap_xs;
    Edge* edges = local_edges;
    int64_t* xs = local_xs;
    if (count > local_capacity) {
        heap_edges.resize(count);
        heap_xs.resize(count);
        edges = heap_edges.data();
        xs = heap_xs.data();
    }
    int n = 0;
    for (int i = 0; i < count; ++i) {
        Point64 a = points[i], b = points[i + 1 == count ? 0 : i + 1];
        if (a.y == b.y) continue;  // horizontal edges cross no sample row
        if (std::max(a.y, b.y) <= first_row) continue;
        edges[n++] = make_edge(a, b, first_row);
    }
    scan_edges(s, edges, n, first_row, end_row, xs, color);
}

void fill_wide_body(const Surface& s, Point64 from, Point64 to, int64_t width, uint32_t color) {
    int64_t dx = to.x - from.x, dy = to.y - from.y;
    if (dx == 0 && dy == 0) return;
    int64_t half = width / 2;
    if (dy == 0) {
        fill_box(s, std::min(from.x, to.x), from.y - half, std::max(from.x, to.x),
                 from.y - half + width, color);
        return;
    }
    if (dx == 0) {
        fill_box(s, from.x - half, std::min(from.y, to.y), from.x - half + width,
                 std::max(from.y, to.y), color);
        return;
    }
    // A slanted band: the two half widths across the line are rounded separately,
    // the "narrow" one from w/2 and the "wide" one from (w+1)/2.
    double len = std::hypot(double(dx), double(dy));
    double tx = double(width) * double(dy < 0 ? -dy : dy) / len;
    double ty = double(width) * double(dx < 0 ? -dx : dx) / len;
    Point64 narrow{round_half_up(tx / 2), round_half_up(ty / 2)};
    Point64 wide{round_half_up((tx + 1) / 2), round_half_up((ty + 1) / 2)};
    if (dx < 0) {
        narrow.y = -narrow.y;
        wide.y = -wide.y;
    }
    if (dy < 0) {
        std::swap(narrow, wide);
        narrow.x = -narrow.x;
        wide.x = -wide.x;
    }
    Point64 corners[4] = {{from.x - narrow.x, from.y + narrow.y},
                          {from.x + wide.x, from.y - wide.y},
                          {to.x + wide.x, to.y - wide.y},
                          {to.x - narrow.x, to.y + narrow.y}};
    fill_polygon(s, corners, 4, color);
}

void draw_wide_line(const Surface& s, Point64 from, Point64 to, int64_t width, uint32_t color) {
    fill_wide_body(s, from, to, width, color);
    fill_disc(s, from, width, color);
    if (to.x != from.x || to.y != from.y) fill_disc(s, to, width, color);
}

void copy_block(const Surface& dst, int64_t dx, int64_t dy, const Surface& src, int64_t sx,
                int64_t sy, int64_t w, int64_t h) {
    // Columns i and rows j of the block that are inside both surfaces.
    int64_t i0 = 0, i1 = w, j0 = 0, j1 = h;
    steps_inside(dx, 1, dst.width, i0, i1);
    steps_inside(sx, 1, src.width, i0, i1);
    steps_inside(dy, 1, dst.height, j0, j1);
    steps_inside(sy, 1, src.height, j0, j1);
    if (i0 >= i1 || j0 >= j1) return;
    // Whole rows of equally wide surfaces are one contiguous run on both sides (a
    // canvas copied to its window): one move, which also handles any overlap.
    if (i1 - i0 == dst.width && dst.width == src.width && dx + i0 == 0 && sx + i0 == 0) {
        std::memmove(dst.row(dy + j0), src.row(sy + j0),
                     size_t(j1 - j0) * size_t(dst.width) * sizeof(uint32_t));
        return;
    }
    size_t bytes = size_t(i1 - i0) * sizeof(uint32_t);
    auto copy_row = [&](int64_t j) {
        std::memmove(dst.row(dy + j) + dx + i0, src.row(sy + j) + sx + i0, bytes);
    };
    // Within one surface, a block moving down is copied from its bottom row up.
    if (dst.pixels == src.pixels && dy > sy) {
        for (int64_t j = j1 - 1; j >= j0; --j) copy_row(j);
    } else {
        for (int64_t j = j0; j < j1; ++j) copy_row(j);
    }
}

}  // namespace portable
