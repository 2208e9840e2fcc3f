// Portable GDI: the drawing entry points.
//
// Implements Rectangle, Ellipse, Polygon, MoveToEx, LineTo, SetPixel, GetPixel,
// BitBlt (SRCCOPY) and the USER drawing helpers FillRect and ScrollDC on top of
// the clipped pixel core (raster.h). Each call reads the DC's pen and brush, maps
// its logical coordinates to device pixels in 64 bits (adding the DC's viewport
// origin, so a shape may lie beyond the int range in device space and still keep
// its exact geometry) and hands the shape to the core; drawing into a window DC
// marks the window's front image changed (mark_drawn), for USER to show. Drawing
// never changes the DC's selected objects; only MoveToEx and LineTo move the
// current position.
//
// Pens: width 0 or 1 draws one-pixel lines (dashed styles are drawn solid); wider
// pens are geometric, with round caps and joins; PS_NULL draws no outline.
// PS_INSIDEFRAME pulls a wide pen's frame inside the box (a box too small for the
// pen collapses onto its centre). A hollow brush fills nothing. A filled shape's
// outline is drawn after its fill.
//
// One deliberate difference from the classic behaviour: a 1x1 box with a one-pixel
// pen colours its one pixel (the outline is the box's border pixels), so inclusive
// rectangle corners work down to a single pixel.
#include <algorithm>
#include <vector>

#include "objects.h"
#include "observer.h"
#include "raster.h"

namespace portable {

namespace {

// The DC's surface, or false when the DC or its bitmap is not usable.
bool target_of(HDC dc, Surface& s) {
    if (!valid_dc(dc)) return false;
    s = surface_of(dc->bitmap);
    return s.width > 0;
}

// The device pixel of a logical point.
Point64 device_point(HDC dc, int64_t x, int64_t y) {
    return {x + dc->viewport_origin.x, y + dc->viewport_origin.y};
}

struct Pen {
    bool none = true;   // no outline at all
    bool wide = false;  // a geometric pen, wider than one pixel
    int64_t width = 1;  // 1 for the one-pixel pen
    bool inside_frame = false;
    uint32_t color = 0;
};

Pen pen_of(HDC dc) {
    Pen pen;
    const HPEN__* p = dc->pen;
    if (p == nullptr || p->style == PS_NULL) return pen;
    pen.none = false;
    pen.wide = p->width > 1;
    pen.width = pen.wide ? p->width : 1;
    pen.inside_frame = pen.wide && p->style == PS_INSIDEFRAME;
    pen.color = p->color;
    return pen;
}

// The brush colour, or false for no fill.
bool brush_of(HDC dc, uint32_t& color) {
    const HBRUSH__* b = dc->brush;
    if (b == nullptr || b->hollow) return false;
    color = b->color;
    return true;
}

#ifdef TAVLO_DRAW_OBSERVER
// Tells the observer what a call is about to draw.
void observe(DrawCall::Kind kind, const Point64* points, int count, const Pen& pen, bool fill,
             uint32_t fill_color) {
    DrawCall call;
    call.kind = kind;
    call.points = points;
    call.count = count;
    call.pen = !pen.none;
    call.pen_width = pen.width;
    call.pen_color = pen.color;
    call.brush = fill;
    call.brush_color = fill_color;
    draw_observer->call(call);
}
#endif

// A box with its corners in order.
struct Box {
    int64_t left, top, right, bottom;
};

// The device box of logical corners, in order.
Box ordered_box(HDC dc, int l, int t, int r, int b) {
    Point64 a = device_point(dc, std::min(l, r), std::min(t, b));
    Point64 z = device_point(dc, std::max(l, r), std::max(t, b));
    return {a.x, a.y, z.x, z.y};
}

// PS_INSIDEFRAME: moves the frame inward so the wide outline stays in the box.
void apply_inside_frame(const Pen& pen, Box& box) {
    if (!pen.inside_frame) return;
    Box inner{box.left + pen.width / 2, box.top + pen.width / 2, box.right - (pen.width - 1) / 2,
              box.bottom - (pen.width - 1) / 2};
    if (inner.right <= inner.left) {
        inner.left = box.left + (box.right - box.left - 1) / 2;
        inner.right = inner.left + 1;
    }
    if (inner.bottom <= inner.top) {
        inner.top = box.top + (box.bottom - box.top - 1) / 2;
        inner.bottom = inner.top + 1;
    }
    box = inner;
}

// A closed polyline with a wide pen: a band along every side and a round join at
// every vertex.
void stroke_wide_closed(const Surface& s, const Point64* points, int count, const Pen& pen) {
    for (int i = 0; i < count; ++i) {
        Point64 next = points[i + 1 == count ? 0 : i + 1];
        fill_wide_body(s, points[i], next, pen.width, pen.color);
        fill_disc(s, points[i], pen.width, pen.color);
    }
}

// Rectangle on an ordered, non-empty box (after PS_INSIDEFRAME).
void draw_box(const Surface& s, const Box& box, const Pen& pen, bool fill, uint32_t fill_color) {
    int64_t l = box.left, t = box.top, r = box.right, b = box.bottom;
    if (pen.none) {
        if (fill) fill_box(s, l, t, r - 1, b - 1, fill_color);
        return;
    }
    if (!pen.wide) {
        if (fill && fill_color == pen.color) {
            fill_box(s, l, t, r, b, fill_color);
            return;
        }
        if (fill) fill_box(s, l + 1, t + 1, r - 1, b - 1, fill_color);
        // The outline is the border pixels of [l,r) x [t,b).
        fill_box(s, l, t, r, t + 1, pen.color);
        fill_box(s, l, b - 1, r, b, pen.color);
        fill_box(s, l, t + 1, l + 1, b - 1, pen.color);
        fill_box(s, r - 1, t + 1, r, b - 1, pen.color);
        return;
    }
    if (fill) fill_box(s, l, t, r - 1, b - 1, fill_color);
    Point64 frame[4] = {{l, t}, {r - 1, t}, {r - 1, b - 1}, {l, b - 1}};
    stroke_wide_closed(s, frame, 4, pen);
}

}  // namespace

}  // namespace portable

using namespace portable;

namespace portable {
namespace {

// What Rectangle and Ellipse share: the target, the box with its corners in
// order, the pen (moved inside the box for PS_INSIDEFRAME) and the fill.
struct BoxCall {
    Surface s;
    Box box;
    Pen pen;
    bool fill = false;
    uint32_t fill_color = 0;
};

enum class BoxStart { NoTarget, EmptyBox, Draw };

BoxStart start_box_call(HDC dc, int left, int top, int right, int bottom, BoxCall& call) {
    if (!target_of(dc, call.s)) return BoxStart::NoTarget;
    call.box = ordered_box(dc, left, top, right, bottom);
    if (call.box.left == call.box.right || call.box.top == call.box.bottom)
        return BoxStart::EmptyBox;
    call.pen = pen_of(dc);
    apply_inside_frame(call.pen, call.box);
    call.fill = brush_of(dc, call.fill_color);
    return BoxStart::Draw;
}

#ifdef TAVLO_DRAW_OBSERVER
void observe_box(DrawCall::Kind kind, const BoxCall& c) {
    Point64 corners[2] = {{c.box.left, c.box.top}, {c.box.right, c.box.bottom}};
    observe(kind, corners, 2, c.pen, c.fill, c.fill_color);
}
#endif

}  // namespace
}  // namespace portable

BOOL WINAPI Rectangle(HDC dc, int left, int top, int right, int bottom) {
    BoxCall c;
    BoxStart start = start_box_call(dc, left, top, right, bottom, c);
    if (start != BoxStart::Draw) return start == BoxStart::EmptyBox;
    TAVLO_OBSERVE(observe_box(DrawCall::Rectangle, c));
    draw_box(c.s, c.box, c.pen, c.fill, c.fill_color);
    mark_drawn(dc);
    return TRUE;
}

BOOL WINAPI Ellipse(HDC dc, int left, int top, int right, int bottom) {
    BoxCall c;
    BoxStart start = start_box_call(dc, left, top, right, bottom, c);
    if (start != BoxStart::Draw) return start == BoxStart::EmptyBox;
    TAVLO_OBSERVE(observe_box(DrawCall::Ellipse, c));
    const Box& box = c.box;
    if (box.right - box.left <= 2 || box.bottom - box.top <= 2) {
        // Too small to round: the ellipse is its box.
        draw_box(c.s, box, c.pen, c.fill, c.fill_color);
    } else {
        if (c.fill) {
            int64_t shrink = c.pen.none ? 1 : 0;  // without a pen, one pixel less each way
            fill_ellipse(c.s, box.left, box.top, box.right - shrink, box.bottom - shrink,
                         c.fill_color);
        }
        if (!c.pen.none) {
            draw_ellipse_outline(c.s, box.left, box.top, box.right, box.bottom, c.pen.width,
                                 c.pen.color);
        }
    }
    mark_drawn(dc);
    return TRUE;
}

BOOL WINAPI Polygon(HDC dc, const POINT* apt, int cpt) {
    Surface s;
    if (!target_of(dc, s) || apt == nullptr || cpt < 2) return FALSE;
    constexpr int local_capacity = 16;
    Point64 local[local_capacity];
    std::vector<Point64> heap;
    Point64* points = local;
    if (cpt > local_capacity) {
        heap.resize(size_t(cpt));
        points = heap.data();
    }
    for (int i = 0; i < cpt; ++i) points[i] = device_point(dc, apt[i].x, apt[i].y);
    uint32_t fill_color = 0;
    bool fill = brush_of(dc, fill_color);
    Pen pen = pen_of(dc);
    TAVLO_OBSERVE(observe(DrawCall::Polygon, points, cpt, pen, fill, fill_color));
    if (fill) fill_polygon(s, points, cpt, fill_color);
    if (!pen.none && pen.wide) {
        stroke_wide_closed(s, points, cpt, pen);
    } else if (!pen.none) {
        for (int i = 0; i < cpt; ++i) {
            draw_thin_line(s, points[i], points[i + 1 == cpt ? 0 : i + 1], pen.color);
        }
    }
    mark_drawn(dc);
    return TRUE;
}

BOOL WINAPI MoveToEx(HDC dc, int x, int y, LPPOINT lppt) {
    if (!valid_dc(dc)) return FALSE;
    if (lppt != nullptr) *lppt = dc->position;
    dc->position = {x, y};
    return TRUE;
}

BOOL WINAPI LineTo(HDC dc, int x, int y) {
    Surface s;
    if (!target_of(dc, s)) return FALSE;
    Point64 from = device_point(dc, dc->position.x, dc->position.y), to = device_point(dc, x, y);
    dc->position = {x, y};
    Pen pen = pen_of(dc);
    if (pen.none) return TRUE;
    TAVLO_OBSERVE(Point64 ends[2] = {from, to}; observe(DrawCall::Line, ends, 2, pen, false, 0));
    if (pen.wide) {
        draw_wide_line(s, from, to, pen.width, pen.color);
    } else {
        draw_thin_line(s, from, to, pen.color);
    }
    mark_drawn(dc);
    return TRUE;
}

COLORREF WINAPI SetPixel(HDC dc, int x, int y, COLORREF color) {
    Surface s;
    if (!target_of(dc, s)) return CLR_INVALID;
    Point64 p = device_point(dc, x, y);
    if (p.x < 0 || p.y < 0 || p.x >= s.width || p.y >= s.height) return CLR_INVALID;
    color &= 0x00FFFFFF;
    TAVLO_OBSERVE(draw_observer->span(s, p.y, p.x, p.x + 1, color));
    s.row(p.y)[p.x] = color;
    mark_drawn(dc);
    return color;
}

COLORREF WINAPI GetPixel(HDC dc, int x, int y) {
    Surface s;
    if (!target_of(dc, s)) return CLR_INVALID;
    Point64 p = device_point(dc, x, y);
    if (p.x < 0 || p.y < 0 || p.x >= s.width || p.y >= s.height) return CLR_INVALID;
    return s.row(p.y)[p.x];
}

BOOL WINAPI BitBlt(HDC dc, int x, int y, int cx, int cy, HDC src_dc, int x1, int y1, DWORD rop) {
    Surface dst, src;
    if (!target_of(dc, dst) || !target_of(src_dc, src) || rop != SRCCOPY) return FALSE;
    Point64 to = device_point(dc, x, y), from = device_point(src_dc, x1, y1);
    int64_t dx = to.x, dy = to.y, sx = from.x, sy = from.y, w = cx, h = cy;
    // Negative extents on both sides describe the same block from its far corner.
    if (w < 0) {
        dx += w;
        sx += w;
        w = -w;
    }
    if (h < 0) {
        dy += h;
        sy += h;
        h = -h;
    }
    copy_block(dst, dx, dy, src, sx, sy, w, h);
    mark_drawn(dc);
    return TRUE;
}

int WINAPI FillRect(HDC dc, const RECT* lprc, HBRUSH hbr) {
    Surface s;
    if (!target_of(dc, s) || lprc == nullptr) return 0;
    GdiObject* object = gdi_object(hbr);
    if (object == nullptr || object->kind != ObjectKind::Brush) return 0;
    auto* brush = static_cast<HBRUSH__*>(object);
    if (!brush->hollow) {
        Point64 a = device_point(dc, lprc->left, lprc->top);
        Point64 z = device_point(dc, lprc->right, lprc->bottom);
        fill_box(s, a.x, a.y, z.x, z.y, brush->color);
    }
    mark_drawn(dc);
    return 1;
}

namespace portable {
namespace {

// The device box of a logical rectangle.
Box box_of(HDC dc, const RECT& r) {
    Point64 a = device_point(dc, r.left, r.top), z = device_point(dc, r.right, r.bottom);
    return {a.x, a.y, z.x, z.y};
}
bool is_empty(const Box& b) {
    return b.left >= b.right || b.top >= b.bottom;
}
Box intersect(const Box& a, const Box& b) {
    return {std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
            std::min(a.bottom, b.bottom)};
}
Box shifted(const Box& b, int64_t dx, int64_t dy) {
    return {b.left + dx, b.top + dy, b.right + dx, b.bottom + dy};
}

// The bounding box of `area` minus `taken`.
Box bounds_of_difference(const Box& area, const Box& taken) {
    Box overlap = intersect(area, taken);
    if (is_empty(area) || is_empty(overlap)) return area;
    bool full_width = overlap.left == area.left && overlap.right == area.right;
    bool full_height = overlap.top == area.top && overlap.bottom == area.bottom;
    if (full_width && full_height) return {0, 0, 0, 0};
    Box result = area;
    if (full_width) {
        // Only strips above and below the overlap remain.
        if (overlap.top > area.top && overlap.bottom < area.bottom) return area;
        if (overlap.top > area.top)
            result.bottom = overlap.top;
        else
            result.top = overlap.bottom;
    } else if (full_height) {
        if (overlap.left > area.left && overlap.right < area.right) return area;
        if (overlap.left > area.left)
            result.right = overlap.left;
        else
            result.left = overlap.right;
    }
    return result;
}

}  // namespace
}  // namespace portable

// Moves the pixels of lprcScroll (the whole DC when null) by (dx, dy), keeping every
// change inside lprcClip (the whole DC when null). What the move uncovers keeps its
// old pixels; its bounding box is returned in lprcUpdate for the caller to repaint.
// The rectangles are logical; dx, dy and the update box are device pixels. Update regions are not
// supported: hrgnUpdate is ignored.
BOOL WINAPI ScrollDC(HDC dc, int dx, int dy, const RECT* lprcScroll, const RECT* lprcClip,
                     HANDLE hrgnUpdate, LPRECT lprcUpdate) {
    Surface s;
    if (!target_of(dc, s)) return FALSE;
    Box whole{0, 0, s.width, s.height};
    Box scroll = lprcScroll != nullptr ? box_of(dc, *lprcScroll) : whole;
    Box clip = lprcClip != nullptr ? intersect(box_of(dc, *lprcClip), whole) : whole;
    Box area = intersect(scroll, clip);
    Box source = intersect(area, shifted(clip, -int64_t(dx), -int64_t(dy)));
    Box dest = shifted(source, dx, dy);
    if (is_empty(source)) dest = {0, 0, 0, 0};
    if (!is_empty(source)) {
        copy_block(s, dest.left, dest.top, s, source.left, source.top, source.right - source.left,
                   source.bottom - source.top);
    }
    if (lprcUpdate != nullptr) {
        Box update = is_empty(area) ? Box{0, 0, 0, 0} : bounds_of_difference(area, dest);
        if (is_empty(update)) update = {0, 0, 0, 0};
        *lprcUpdate = {LONG(update.left), LONG(update.top), LONG(update.right),
                       LONG(update.bottom)};
    }
    mark_drawn(dc);
    return TRUE;
}
