// Portable GDI: ellipses and the round discs of wide pens.
//
// Small ellipses (diameters up to exact_ellipse_limit) are traced with the integer
// midpoint ellipse: one quarter of the outline is walked, the other three are its
// mirror images, and each row is filled between its outermost outline pixels. A
// wide outline is the pen swept along that closed 8-connected path (a disc at every
// outline pixel and a band between neighbours) for pens up to exact_sweep_pen_limit.
//
// Larger shapes would make that walk cost more than the pixels they can touch, so
// they are computed row by row, for visible rows only, from the ellipse equation in
// double precision: a row of the box [l,r) x [t,b) covers the columns within
// half_width * sqrt(1 - v*v) - 1/2 of the centre, v being the row's offset from the
// centre over the half height, and at least the centre pixel(s). A wide outline is
// then the ring between the ellipse grown by the pen's outer half and the one
// shrunk by its inner half. The result is deterministic, gap-free and symmetric,
// but not pixel-identical to the traced shape.
#include <algorithm>
#include <cmath>

#include "observer.h"
#include "raster.h"

namespace portable {

namespace {

constexpr int quarter_capacity = 2 * exact_ellipse_limit + 8;

// The traced outline of an ellipse whose extreme pixels are columns 0..a and rows
// 0..b (a, b are the diameters in pixel-centre units).
struct TracedEllipse {
    int64_t a = -1, b = -1;
    int count = 0;
    Point64 quarter[quarter_capacity];       // lower-right quarter, in path order
    int64_t right[exact_ellipse_limit + 1];  // rightmost outline column of each row

    // Point k of the closed outline path: the lower-right quarter forward, then
    // the lower-left backward, the upper-left forward and the upper-right backward.
    Point64 path_point(int k) const {
        int quadrant = k / count, i = k % count;
        if (quadrant == 1 || quadrant == 3) i = count - 1 - i;
        Point64 p = quarter[i];
        if (quadrant == 1 || quadrant == 2) p.x = a - p.x;
        if (quadrant == 2 || quadrant == 3) p.y = b - p.y;
        return p;
    }
};

void add_point(TracedEllipse& e, int64_t x, int64_t y) {
    if (e.count < quarter_capacity) e.quarter[e.count++] = {x, y};
}

// Traces the quarter with the integer midpoint ellipse (error terms in 64 bits,
// exact for diameters up to exact_ellipse_limit) and records each row's extent.
void trace(TracedEllipse& e, int64_t a, int64_t b) {
    e.a = a;
    e.b = b;
    e.count = 0;
    int64_t x0 = 0, x1 = a, odd = b & 1;
    int64_t dx = 4 * (1 - a) * b * b, dy = 4 * (odd + 1) * a * a;
    int64_t err = dx + dy + odd * a * a;
    int64_t y0 = (b + 1) / 2, y1 = y0 - odd;
    int64_t a8 = 8 * a * a, b8 = 8 * b * b;
    do {
        add_point(e, x1, y0);
        int64_t e2 = 2 * err;
        if (e2 <= dy) {
            ++y0;
            --y1;
            dy += a8;
            err += dy;
        }
        if (e2 >= dx || 2 * err > dy) {
            ++x0;
            --x1;
            dx += b8;
            err += dx;
        }
    } while (x0 <= x1);
    // Very flat ellipses stop early: finish the tips.
    while (y0 - y1 <= b) {
        add_point(e, x1 + 1, y0);
        ++y0;
        --y1;
    }
    std::fill_n(e.right, b + 1, int64_t(-1));
    for (int i = 0; i < e.count; ++i) {
        Point64 p = e.quarter[i];
        if (p.y < 0 || p.y > b) continue;
        e.right[p.y] = std::max(e.right[p.y], p.x);
        e.right[b - p.y] = std::max(e.right[b - p.y], p.x);
    }
}

bool traceable(int64_t w, int64_t h) {
    return w >= 1 && h >= 1 && w - 1 <= exact_ellipse_limit && h - 1 <= exact_ellipse_limit;
}

void fill_traced(const Surface& s, const TracedEllipse& e, int64_t left, int64_t top,
                 uint32_t color) {
    int64_t first = std::max<int64_t>(0, -top), last = std::min(e.b, s.height - 1 - top);
    for (int64_t y = first; y <= last; ++y) {
        if (e.right[y] < 0) continue;
        fill_box(s, left + e.a - e.right[y], top + y, left + e.right[y] + 1, top + y + 1, color);
    }
}

// Columns [xl, xr] of row y of the ellipse in [l,r) x [t,b), by the row formula.
bool formula_span(int64_t l, int64_t t, int64_t r, int64_t b, int64_t y, int64_t& xl, int64_t& xr) {
    if (l >= r || t >= b || y < t || y >= b) return false;
    double half_w = double(r - l) / 2, half_h = double(b - t) / 2;
    double cx = double(l) + double(r - l - 1) / 2, cy = double(t) + double(b - t - 1) / 2;
    double v = (double(y) - cy) / half_h;
    double reach = half_w * std::sqrt(std::max(0.0, 1 - v * v)) - 0.5;
    xl = static_cast<int64_t>(std::ceil(cx - reach));
    xr = static_cast<int64_t>(std::floor(cx + reach));
    if (xl > xr) {
        xl = static_cast<int64_t>(std::floor(cx));
        xr = static_cast<int64_t>(std::ceil(cx));
    }
    xl = std::max(xl, l);
    xr = std::min(xr, r - 1);
    return xl <= xr;
}

void fill_formula(const Surface& s, int64_t l, int64_t t, int64_t r, int64_t b, uint32_t color) {
    int64_t first = std::max<int64_t>(t, 0), end = std::min(b, s.height);
    for (int64_t y = first; y < end; ++y) {
        int64_t xl, xr;
        if (formula_span(l, t, r, b, y, xl, xr)) fill_box(s, xl, y, xr + 1, y + 1, color);
    }
}

// The ring of a pen `width` wide along the outline of the ellipse in [l,r) x [t,b).
void ring_formula(const Surface& s, int64_t l, int64_t t, int64_t r, int64_t b, int64_t width,
                  uint32_t color) {
    int64_t out = width / 2, in = (width - 1) / 2;
    int64_t ol = l - out, ot = t - out, o_r = r + in, ob = b + in;
    int64_t il = l + in + 1, it = t + in + 1, ir = r - 1 - out, ib = b - 1 - out;
    int64_t first = std::max<int64_t>(ot, 0), end = std::min(ob, s.height);
    for (int64_t y = first; y < end; ++y) {
        int64_t xl, xr, jl, jr;
        if (!formula_span(ol, ot, o_r, ob, y, xl, xr)) continue;
        if (!formula_span(il, it, ir, ib, y, jl, jr)) {
            fill_box(s, xl, y, xr + 1, y + 1, color);
            continue;
        }
        fill_box(s, xl, y, std::min(jl, xr + 1), y + 1, color);
        fill_box(s, std::max(jr + 1, xl), y, xr + 1, y + 1, color);
    }
}

// Discs are drawn at every vertex of every wide line; the last width's trace is kept.
const TracedEllipse& disc_trace(int64_t width) {
    static TracedEllipse cache;
    if (cache.a != width - 1) trace(cache, width - 1, width - 1);
    return cache;
}

}  // namespace

void fill_disc(const Surface& s, Point64 centre, int64_t width, uint32_t color) {
    if (width < 1) return;
    int64_t left = centre.x - width / 2, top = centre.y - width / 2;
    if (width <= 2) {
        fill_box(s, left, top, left + width, top + width, color);
        return;
    }
    // A disc entirely outside the surface costs nothing.
    if (left >= s.width || top >= s.height || left + width <= 0 || top + width <= 0) return;
    if (traceable(width, width)) {
        fill_traced(s, disc_trace(width), left, top, color);
    } else {
        fill_formula(s, left, top, left + width, top + width, color);
    }
}

void fill_ellipse(const Surface& s, int64_t left, int64_t top, int64_t right, int64_t bottom,
                  uint32_t color) {
    if (left >= right || top >= bottom) return;
    if (left >= s.width || top >= s.height || right <= 0 || bottom <= 0) return;
    if (traceable(right - left, bottom - top)) {
        TracedEllipse e;
        trace(e, right - left - 1, bottom - top - 1);
        fill_traced(s, e, left, top, color);
    } else {
        fill_formula(s, left, top, right, bottom, color);
    }
}

void draw_ellipse_outline(const Surface& s, int64_t left, int64_t top, int64_t right,
                          int64_t bottom, int64_t width, uint32_t color) {
    if (left >= right || top >= bottom) return;
    int64_t reach = width / 2 + 1;
    if (left - reach >= s.width || top - reach >= s.height || right + reach <= 0 ||
        bottom + reach <= 0) {
        return;
    }
    if (!traceable(right - left, bottom - top) || width > exact_sweep_pen_limit) {
        ring_formula(s, left, top, right, bottom, std::max<int64_t>(width, 1), color);
        return;
    }
    TracedEllipse e;
    trace(e, right - left - 1, bottom - top - 1);
    int total = 4 * e.count;
    Point64 previous = e.path_point(total - 1);
    for (int k = 0; k < total; ++k) {
        Point64 p = e.path_point(k);
        p = {p.x + left, p.y + top};
        if (width <= 1) {
            if (p.x < 0 || p.x >= s.width || p.y < 0 || p.y >= s.height) continue;
            TAVLO_OBSERVE(draw_observer->span(s, p.y, p.x, p.x + 1, color));
            s.row(p.y)[p.x] = color;
            continue;
        }
        if (k == 0) previous = {previous.x + left, previous.y + top};
        fill_wide_body(s, previous, p, width, color);
        fill_disc(s, p, width, color);
        previous = p;
    }
}

}  // namespace portable
