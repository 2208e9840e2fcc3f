// Portable GDI: object creation, selection and deletion, device contexts, and the
// simple per-DC attributes (text colour, background mode and colour).
//
// Implements CreatePen, CreateSolidBrush, GetStockObject, SelectObject,
// DeleteObject, CreateCompatibleDC, DeleteDC, CreateCompatibleBitmap,
// SetTextColor/GetTextColor, SetBkMode/GetBkMode, SetBkColor/GetBkColor and
// SetViewportOrgEx/GetViewportOrgEx (the mapping mode is always MM_TEXT, so the
// viewport origin is the only mapping a DC has).
// A live object is recognised by its header; an object still selected into a DC
// is not freed by DeleteObject (Windows refuses too), and stock objects never are.
#include "objects.h"

#include <memory>
#include <utility>
#include <vector>

namespace portable {

namespace {

// Pens, brushes, fonts and bitmaps live in pools of fixed slabs that are never
// given back to the allocator: a deleted object stays readable memory marked Dead
// until it is reused. So a stale or foreign handle can be recognised (is it inside
// a slab, on an object boundary, and alive?) without following freed memory, and
// the create-select-delete of every drawing command costs no malloc and no hashing.
template <typename T>
class ObjectPool {
public:
    T* allocate() {
        if (free_.empty()) grow();
        T* object = free_.back();
        free_.pop_back();
        *object = T();
        return object;
    }
    void release(T* object) {
        *object = T();  // drops what the object owned (a bitmap's pixels, a font's name)
        object->kind = ObjectKind::Dead;
        free_.push_back(object);
    }
    bool contains(const void* pointer) const {
        auto p = reinterpret_cast<uintptr_t>(pointer);
        for (const auto& slab : slabs_) {
            auto base = reinterpret_cast<uintptr_t>(slab.get());
            if (p >= base && p < base + slab_objects * sizeof(T) && (p - base) % sizeof(T) == 0)
                return true;
        }
        return false;
    }

private:
    static constexpr size_t slab_objects = 256;
    void grow() {
        slabs_.push_back(std::make_unique<T[]>(slab_objects));
        T* slab = slabs_.back().get();
        for (size_t i = slab_objects; i-- > 0;) {
            slab[i].kind = ObjectKind::Dead;
            free_.push_back(&slab[i]);
        }
    }
    std::vector<std::unique_ptr<T[]>> slabs_;
    std::vector<T*> free_;
};

// Pointers already found to be objects of a pool. Slabs are never given back, so
// a pointer once found on an object boundary inside a slab stays one for the rest
// of the run: the table only saves searching the slabs again (the create, select
// and delete of one command check the same handle three times), and the object's
// header still says whether it is alive. Direct-mapped; a collision only costs a
// search.
struct KnownObjects {
    static constexpr size_t slots = 512;
    const void* entries[slots] = {};
    static size_t slot(const void* pointer) {
        auto v = reinterpret_cast<uintptr_t>(pointer);
        return ((v >> 3) ^ (v >> 12)) % slots;
    }
    bool contains(const void* pointer) const { return entries[slot(pointer)] == pointer; }
    void add(const void* pointer) { entries[slot(pointer)] = pointer; }
};
KnownObjects known_objects;

// Inlined: every handle check and every create or delete goes through these.
template <typename T>
[[gnu::always_inline]] inline ObjectPool<T>& pool() {
    static ObjectPool<T> objects;
    return objects;
}

template <typename T>
T* make_object() {
    T* object = pool<T>().allocate();
    known_objects.add(static_cast<GdiObject*>(object));
    return object;
}

void free_object(GdiObject* object) {
    switch (object->kind) {
        case ObjectKind::Pen: pool<HPEN__>().release(static_cast<HPEN__*>(object)); break;
        case ObjectKind::Brush: pool<HBRUSH__>().release(static_cast<HBRUSH__*>(object)); break;
        case ObjectKind::Font: pool<HFONT__>().release(static_cast<HFONT__*>(object)); break;
        case ObjectKind::Bitmap: pool<HBITMAP__>().release(static_cast<HBITMAP__*>(object)); break;
        default: break;
    }
}

bool in_a_pool(const void* pointer) {
    return pool<HPEN__>().contains(pointer) || pool<HBRUSH__>().contains(pointer) ||
           pool<HFONT__>().contains(pointer) || pool<HBITMAP__>().contains(pointer);
}

struct StockObjects {
    HBRUSH__ white_brush, ltgray_brush, gray_brush, dkgray_brush, black_brush, null_brush;
    HPEN__ white_pen, black_pen, null_pen;
    HFONT__ oem_fixed_font, ansi_fixed_font, ansi_var_font, system_font, default_gui_font;

    StockObjects() {
        set_brush(white_brush, 0xFFFFFF);
        set_brush(ltgray_brush, 0xC0C0C0);
        set_brush(gray_brush, 0x808080);
        set_brush(dkgray_brush, 0x404040);
        set_brush(black_brush, 0x000000);
        set_brush(null_brush, 0);
        null_brush.hollow = true;
        set_pen(white_pen, PS_SOLID, 0xFFFFFF);
        set_pen(black_pen, PS_SOLID, 0x000000);
        set_pen(null_pen, PS_NULL, 0);
        // Stock fonts are requests like any other; gdi/text.cpp resolves them. The
        // fixed fonts ask for a fixed-pitch face with a 13-pixel cell.
        set_font(oem_fixed_font, 13, FW_NORMAL, FIXED_PITCH | FF_MODERN, "Terminal");
        set_font(ansi_fixed_font, 13, FW_NORMAL, FIXED_PITCH | FF_MODERN, "Courier");
        set_font(ansi_var_font, 13, FW_NORMAL, VARIABLE_PITCH, "MS Sans Serif");
        set_font(system_font, 16, FW_BOLD, VARIABLE_PITCH, "System");
        set_font(default_gui_font, -11, FW_NORMAL, VARIABLE_PITCH, "MS Shell Dlg");
    }

    static void set_brush(HBRUSH__& brush, COLORREF color) {
        brush.stock = true;
        brush.color = color;
    }
    static void set_pen(HPEN__& pen, int style, COLORREF color) {
        pen.stock = true;
        pen.style = style;
        pen.width = 1;
        pen.color = color;
    }
    static void set_font(HFONT__& font, int height, int weight, DWORD pitch, const char* face) {
        font.stock = true;
        font.height = height;
        font.weight = weight;
        font.pitch_and_family = pitch;
        font.face_name = face;
    }
};

[[gnu::always_inline]] inline StockObjects& stock() {
    static StockObjects objects;
    return objects;
}

bool is_stock(const void* object) {
    const StockObjects& s = stock();
    auto begin = reinterpret_cast<const char*>(&s);
    auto end = begin + sizeof(StockObjects);
    auto p = static_cast<const char*>(object);
    return p >= begin && p < end;
}

void select_into(GdiObject* object) {
    ++object->select_count;
}
void release_from(GdiObject* object) {
    if (object != nullptr && object->select_count > 0) --object->select_count;
}

}  // namespace

GdiObject* gdi_object(HGDIOBJ handle) {
    if (handle == nullptr) return nullptr;
    if (is_stock(handle)) return static_cast<GdiObject*>(handle);
    if (!known_objects.contains(handle)) {
        if (!in_a_pool(handle)) return nullptr;
        known_objects.add(handle);
    }
    auto* object = static_cast<GdiObject*>(handle);
    return object->kind == ObjectKind::Dead ? nullptr : object;
}

HFONT__* make_font() {
    return make_object<HFONT__>();
}

HDC create_target_dc(HBITMAP__* target, HWND window) {
    HDC dc = new HDC__();
    dc->bitmap = target;
    dc->window = window;
    dc->pen = &stock().black_pen;
    dc->brush = &stock().white_brush;
    dc->font = &stock().system_font;
    return dc;
}

void destroy_dc(HDC dc) {
    if (!valid_dc(dc)) return;
    release_from(dc->pen);
    release_from(dc->brush);
    release_from(dc->font);
    if (dc->bitmap != dc->default_bitmap) release_from(dc->bitmap);
    if (dc->default_bitmap != nullptr) free_object(dc->default_bitmap);
    dc->kind = ObjectKind::Dead;
    delete dc;
}

}  // namespace portable

using namespace portable;

HPEN WINAPI CreatePen(int style, int width, COLORREF color) {
    HPEN__* pen = make_object<HPEN__>();
    pen->style = style;
    pen->width = width < 0 ? 0 : width;
    pen->color = color & 0x00FFFFFF;
    return pen;
}

HBRUSH WINAPI CreateSolidBrush(COLORREF color) {
    HBRUSH__* brush = make_object<HBRUSH__>();
    brush->color = color & 0x00FFFFFF;
    return brush;
}

HGDIOBJ WINAPI GetStockObject(int index) {
    StockObjects& s = stock();
    switch (index) {
        case WHITE_BRUSH: return static_cast<GdiObject*>(&s.white_brush);
        case LTGRAY_BRUSH: return static_cast<GdiObject*>(&s.ltgray_brush);
        case GRAY_BRUSH: return static_cast<GdiObject*>(&s.gray_brush);
        case DKGRAY_BRUSH: return static_cast<GdiObject*>(&s.dkgray_brush);
        case BLACK_BRUSH: return static_cast<GdiObject*>(&s.black_brush);
        case NULL_BRUSH: return static_cast<GdiObject*>(&s.null_brush);
        case WHITE_PEN: return static_cast<GdiObject*>(&s.white_pen);
        case BLACK_PEN: return static_cast<GdiObject*>(&s.black_pen);
        case NULL_PEN: return static_cast<GdiObject*>(&s.null_pen);
        case OEM_FIXED_FONT: return static_cast<GdiObject*>(&s.oem_fixed_font);
        case ANSI_FIXED_FONT: return static_cast<GdiObject*>(&s.ansi_fixed_font);
        case ANSI_VAR_FONT: return static_cast<GdiObject*>(&s.ansi_var_font);
        case SYSTEM_FONT: return static_cast<GdiObject*>(&s.system_font);
        case DEFAULT_GUI_FONT: return static_cast<GdiObject*>(&s.default_gui_font);
        default: return nullptr;
    }
}

HGDIOBJ WINAPI SelectObject(HDC dc, HGDIOBJ handle) {
    GdiObject* object = gdi_object(handle);
    if (!valid_dc(dc) || object == nullptr) return nullptr;
    GdiObject* previous = nullptr;
    switch (object->kind) {
        case ObjectKind::Pen:
            previous = dc->pen;
            dc->pen = static_cast<HPEN__*>(object);
            break;
        case ObjectKind::Brush:
            previous = dc->brush;
            dc->brush = static_cast<HBRUSH__*>(object);
            break;
        case ObjectKind::Font:
            previous = dc->font;
            dc->font = static_cast<HFONT__*>(object);
            break;
        case ObjectKind::Bitmap: {
            // Only memory DCs take bitmaps, and a bitmap lives in one DC at a time.
            auto* bitmap = static_cast<HBITMAP__*>(object);
            if (dc->window != nullptr || dc->default_bitmap == nullptr) return nullptr;
            if (bitmap != dc->bitmap && bitmap->select_count > 0) return nullptr;
            previous = dc->bitmap;
            dc->bitmap = bitmap;
            break;
        }
        default: return nullptr;
    }
    if (previous == object) return previous;
    select_into(object);
    release_from(previous);
    return previous;
}

BOOL WINAPI DeleteObject(HGDIOBJ handle) {
    GdiObject* object = gdi_object(handle);
    if (object == nullptr) return FALSE;
    if (object->stock) return TRUE;
    if (object->select_count > 0) return FALSE;
    free_object(object);
    return TRUE;
}

HDC WINAPI CreateCompatibleDC(HDC) {
    HBITMAP__* one_pixel = make_object<HBITMAP__>();
    one_pixel->width = 1;
    one_pixel->height = 1;
    one_pixel->pixels.assign(1, 0);
    HDC dc = create_target_dc(one_pixel, nullptr);
    dc->default_bitmap = one_pixel;
    select_into(one_pixel);
    return dc;
}

BOOL WINAPI DeleteDC(HDC dc) {
    if (!valid_dc(dc)) return FALSE;
    destroy_dc(dc);
    return TRUE;
}

HBITMAP WINAPI CreateCompatibleBitmap(HDC, int width, int height) {
    // Refuse sizes whose pixel count would not fit the address space sensibly.
    if (width <= 0 || height <= 0 || int64_t(width) * height > (int64_t(1) << 28)) return nullptr;
    HBITMAP__* bitmap = make_object<HBITMAP__>();
    bitmap->width = width;
    bitmap->height = height;
    bitmap->pixels.assign(size_t(width) * size_t(height), 0);  // a new bitmap is black
    return bitmap;
}

namespace {

// Sets one attribute of a live DC and answers the value it replaced, or `refused`
// for a handle that is not a DC.
template <typename T>
T exchange_attribute(HDC dc, T HDC__::*attribute, T value, T refused) {
    return valid_dc(dc) ? std::exchange(dc->*attribute, value) : refused;
}

}  // namespace

COLORREF WINAPI SetTextColor(HDC dc, COLORREF color) {
    return exchange_attribute(dc, &HDC__::text_color, color & 0x00FFFFFF, COLORREF(CLR_INVALID));
}

COLORREF WINAPI GetTextColor(HDC dc) {
    return valid_dc(dc) ? dc->text_color : CLR_INVALID;
}

int WINAPI SetBkMode(HDC dc, int mode) {
    if (mode != TRANSPARENT && mode != OPAQUE) return 0;
    return exchange_attribute(dc, &HDC__::bk_mode, mode, 0);
}

int WINAPI GetBkMode(HDC dc) {
    return valid_dc(dc) ? dc->bk_mode : 0;
}

COLORREF WINAPI SetBkColor(HDC dc, COLORREF color) {
    return exchange_attribute(dc, &HDC__::bk_color, color & 0x00FFFFFF, COLORREF(CLR_INVALID));
}

COLORREF WINAPI GetBkColor(HDC dc) {
    return valid_dc(dc) ? dc->bk_color : CLR_INVALID;
}

BOOL WINAPI SetViewportOrgEx(HDC dc, int x, int y, LPPOINT previous) {
    if (!valid_dc(dc)) return FALSE;
    if (previous != nullptr) *previous = dc->viewport_origin;
    dc->viewport_origin = {x, y};
    return TRUE;
}

BOOL WINAPI GetViewportOrgEx(HDC dc, LPPOINT origin) {
    if (!valid_dc(dc) || origin == nullptr) return FALSE;
    *origin = dc->viewport_origin;
    return TRUE;
}
