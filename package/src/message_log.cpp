// The message log: a ring of the last 25 lines, shown in the text window with the
// newest line at the bottom, and the switch of the drawing calls' call log.
#include <cstdarg>
#include <cstring>

#include "line_format.h"
#include "package_state.h"

namespace {

PackageState& S = package_state;

int next_slot(int slot) {
    return slot == log_ring_size - 1 ? 0 : slot + 1;
}

// Stores one line in the ring, pushing out the oldest when all 25 slots are used.
void store_line(const char* text, int length) {
    if (S.log_oldest == S.log_next) {
        GlobalFree(S.log_slots[S.log_oldest]);
        S.log_slots[S.log_oldest] = nullptr;
        S.log_oldest = next_slot(S.log_oldest);
    }
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, size_t(length) + 1);
    S.log_slots[S.log_next] = block;
    if (char* stored = static_cast<char*>(GlobalLock(block))) {
        std::memcpy(stored, text, size_t(length));
        stored[length] = '\0';
        GlobalUnlock(block);
    }
    if (S.log_oldest < 0) S.log_oldest = S.log_next;
    S.log_next = next_slot(S.log_next);
}

void invalidate_text_window() {
    if (S.text_window == nullptr || !IsWindow(S.text_window)) return;
    RECT client;
    GetClientRect(S.text_window, &client);
    InvalidateRect(S.text_window, &client, TRUE);
}

}  // namespace

namespace {

// Formats, stores and hands on one line of the message log; `repair` marks it
// as the package's repair of a call while the debugger gets it.
int log_line(bool repair, const char* format, va_list args) {
    char line[log_line_buffer];
    int count = format_line(line, format, args);
    // A line cut to what the buffer holds ends with a whole character.
    if (count == log_line_buffer - 1) {
        count = int(without_cut_character(line, size_t(count), format));
        line[count] = '\0';
    }
    store_line(line, count);
    // Hand the stored line to the debugger as well; a platform can mirror it to a file.
    // A repair's line is marked by the graphics window's property "Repair" (the
    // line) while the debugger has it, so a platform that knows where the program
    // made the call (the playground) can show the line there; the text is the same.
    HWND marked = repair && S.graphics_window != nullptr && IsWindow(S.graphics_window)
                      ? S.graphics_window
                      : nullptr;
    if (marked != nullptr) SetPropA(marked, "Repair", reinterpret_cast<HANDLE>(line));
    OutputDebugStringA(line);
    if (marked != nullptr) RemovePropA(marked, "Repair");
    invalidate_text_window();
    return count;
}

}  // namespace

int log_printf(const char* format, ...) {
    va_list args;
    va_start(args, format);
    int count = log_line(false, format, args);
    va_end(args);
    return count;
}

int log_repair(const char* format, ...) {
    va_list args;
    va_start(args, format);
    int count = log_line(true, format, args);
    va_end(args);
    return count;
}

int set_logging(int on) {
    if (S.graphics_window == nullptr) return 0;
    S.logging_enabled = on != 0;
    set_check(CMD_LOGGING, S.logging_enabled);
    if (S.logging_enabled) show_log_window(1);
    return 1;
}

int show_log_window(int show) {
    return ShowWindow(S.text_window, show ? SW_SHOW : SW_HIDE);
}

namespace {

// Draws one stored line into the bottom strip after scrolling the picture up by
// one line. The line's final newline is not drawn. The stored text keeps it, so
// a line looks the same however often the window is painted (a line ending in
// two newlines always shows one).
void paint_log_line(HDC memory_dc, HGLOBAL block, HBRUSH background, const RECT& strip, int left,
                    int line_height) {
    const char* text = static_cast<const char*>(GlobalLock(block));
    if (text == nullptr) return;
    ScrollDC(memory_dc, 0, -line_height, nullptr, nullptr, nullptr, nullptr);
    FillRect(memory_dc, &strip, background);
    size_t length = std::strlen(text);
    if (length > 0 && text[length - 1] == '\n') --length;
    text_out(memory_dc, left + 5, strip.top, text, int(length));
    GlobalUnlock(block);
}

}  // namespace

void paint_log_window(HWND window) {
    PAINTSTRUCT paint;
    BeginPaint(window, &paint);
    RECT client;
    GetClientRect(window, &client);
    int width = client.right;
    int height = client.bottom;
    if (width <= 0 || height <= 0) {
        EndPaint(window, &paint);
        return;
    }

    HDC window_dc = GetDC(window);
    HDC memory_dc = CreateCompatibleDC(window_dc);
    HBITMAP picture = CreateCompatibleBitmap(window_dc, width, height);
    HGDIOBJ old_bitmap = SelectObject(memory_dc, picture);
    HBRUSH background = CreateSolidBrush(GetBkColor(memory_dc));
    HGDIOBJ old_brush = SelectObject(memory_dc, background);
    FillRect(memory_dc, &client, background);

    HGDIOBJ old_font = SelectObject(memory_dc, GetStockObject(ANSI_FIXED_FONT));
    TEXTMETRICA metrics;
    GetTextMetricsA(memory_dc, &metrics);
    int line_height = metrics.tmHeight + metrics.tmExternalLeading;
    RECT strip = {client.left, height - line_height, client.right, height + 1};

    if (S.log_oldest >= 0 && line_height > 0) {
        int slot = S.log_oldest;
        do {
            paint_log_line(memory_dc, S.log_slots[slot], background, strip, client.left,
                           line_height);
            slot = next_slot(slot);
        } while (slot != S.log_next);
    }

    BitBlt(window_dc, 0, 0, width, height, memory_dc, 0, 0, SRCCOPY);
    EndPaint(window, &paint);

    SelectObject(memory_dc, old_font);
    SelectObject(memory_dc, old_brush);
    SelectObject(memory_dc, old_bitmap);
    DeleteObject(background);
    DeleteObject(picture);
    DeleteDC(memory_dc);
    ReleaseDC(window, window_dc);
}
