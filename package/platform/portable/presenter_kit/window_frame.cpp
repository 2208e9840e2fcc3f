// Portable platform: window decorations (see window_frame.h).
#include "window_frame.h"

#include <algorithm>
#include <cstdint>

#include "../user/window.h"

namespace portable {

WindowFrame window_frame(HWND window) {
    WindowFrame result;
    DWORD style = window->style;
    bool top_level = window->parent == nullptr && (style & WS_CHILD) == 0;
    // A top-level overlapped window always has a caption, as on Windows.
    if (top_level && (style & WS_POPUP) == 0) style |= WS_CAPTION;
    if ((style & WS_THICKFRAME) != 0)
        result.frame = frame_sizing;
    else if ((style & WS_DLGFRAME) != 0)
        result.frame = frame_fixed;
    else if ((style & WS_BORDER) != 0)
        result.frame = frame_border;
    if ((style & WS_CAPTION) == WS_CAPTION) result.caption = frame_caption;
    if (top_level && window->menu != nullptr) result.menu_bar = frame_menu_bar;
    int64_t width = int64_t(window->outer.right) - window->outer.left - 2 * result.frame;
    int64_t height = int64_t(window->outer.bottom) - window->outer.top - 2 * result.frame -
                     result.caption - result.menu_bar;
    auto fit = [](int64_t v) { return LONG(std::clamp<int64_t>(v, 0, INT32_MAX)); };
    result.client = {fit(width), fit(height)};
    return result;
}

}  // namespace portable
