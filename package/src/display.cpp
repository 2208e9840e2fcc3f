// The display: the graphics window that shows the canvas, the text window that
// shows the message log, the off-screen canvas, and the 50 ms timer.
//
// Both window procedures are flat: one small handler per message.
#include "package_state.h"

namespace {

PackageState& S = package_state;

constexpr const char* graphics_class = "DrawWndClass";
constexpr const char* text_class = "TextWndClass";

// Set while an earlier display's windows are destroyed, so that their
// WM_DESTROY posts no quit message to the display that replaces them.
bool discarding_display = false;

// The classes are registered once per process: a later open_display finds them
// there, and the brush made for a registration that failed is deleted again.
void register_classes(HINSTANCE instance) {
    WNDCLASSA description = {};
    description.style = CS_HREDRAW | CS_VREDRAW;
    description.cbClsExtra = 0;
    description.cbWndExtra = 0;
    description.hInstance = instance;
    description.hIcon = LoadIconA(nullptr, IDI_APPLICATION);
    description.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    description.hbrBackground = CreateSolidBrush(Palette[1]);
    description.lpszMenuName = "generic";
    description.lpfnWndProc = graphics_window_proc;
    description.lpszClassName = graphics_class;
    ATOM graphics = RegisterClassA(&description);
    description.lpfnWndProc = text_window_proc;
    description.lpszClassName = text_class;
    ATOM text = RegisterClassA(&description);
    if (graphics == 0 && text == 0) DeleteObject(description.hbrBackground);
}

// What a display closed with close_display leaves (its windows, their timer and
// menu, the canvas) goes before a new display opens, and the event, menu and
// script state starts afresh; the message log stays.
void discard_closed_display() {
    discarding_display = true;
    if (S.text_window != nullptr) DestroyWindow(S.text_window);
    if (S.graphics_window != nullptr) DestroyWindow(S.graphics_window);
    discarding_display = false;
    if (S.canvas_dc != nullptr) DeleteDC(S.canvas_dc);
    if (S.canvas_bitmap != nullptr) DeleteObject(S.canvas_bitmap);
    S.graphics_window = nullptr;
    S.text_window = nullptr;
    S.canvas_dc = nullptr;
    S.canvas_bitmap = nullptr;
    S.run_menu = nullptr;
    S.ctrl_held = 0;
    S.canvas_dirty = 1;
    S.pending_kind = EventKind::None;
    S.timer_tick = false;
    S.quit_requested = false;
    S.recording = false;
    S.playback = false;
    S.play_one = false;
    S.periodic_count = 0;
}

void copy_canvas_to_window() {
    BitBlt(S.window_dc, 0, 0, canvas_width, canvas_height, S.canvas_dc, 0, 0, SRCCOPY);
    S.canvas_dirty = 0;
}

// ------------------------------------------------------------ graphics window handlers

LRESULT on_create(HWND window) {
    build_run_menu(window);
    return 0;
}

LRESULT on_destroy() {
    if (!discarding_display) PostQuitMessage(0);
    return 0;
}

// The origin of canvas coordinates is the centre of the client area.
LRESULT on_size(HWND window) {
    RECT client;
    GetClientRect(window, &client);
    S.center_x = client.left + (client.right - client.left) / 2;
    S.center_y = client.top + (client.bottom - client.top) / 2;
    return 0;
}

// Copies the whole canvas through the window's own DC, so the copy is not limited
// to the invalid region, and even when the canvas is clean.
LRESULT on_paint(HWND window) {
    PAINTSTRUCT paint;
    BeginPaint(window, &paint);
    copy_canvas_to_window();
    EndPaint(window, &paint);
    return 0;
}

LRESULT on_left_button_down(LPARAM lparam) {
    S.pending_kind = EventKind::Mouse;
    S.pending_x = int(short(LOWORD(lparam))) - S.center_x;  // signed, as in input.cpp
    S.pending_y = S.center_y - int(short(HIWORD(lparam)));
    return 0;
}

// A typed character: a code page 1252 byte (WM_CHAR), or any Unicode character
// (WM_UNICHAR, which a presenter sends for characters beyond code page 1252).
LRESULT on_char(WPARAM wparam) {
    if (S.ctrl_held) return 0;  // a Ctrl+letter is a shortcut, not a typed character
    auto byte = static_cast<unsigned char>(wparam & 0xFF);
    if (byte < 0x80) {
        S.pending_kind = EventKind::Key;
        S.pending_key = static_cast<signed char>(byte);
    } else {
        type_character(character_of_cp1252(byte));
    }
    return 0;
}

LRESULT on_unichar(WPARAM wparam) {
    if (wparam == UNICODE_NOCHAR) return TRUE;  // yes, this window takes WM_UNICHAR
    if (!S.ctrl_held) type_character(char32_t(wparam));
    return FALSE;
}

LRESULT on_timer() {
    S.timer_tick = true;
    return 0;
}

// The session ends (the system may end the process once this returns): a
// recording gets its counted periodic line now, so no event returned is lost.
LRESULT on_end_session(WPARAM ending) {
    if (ending != 0) flush_recording();
    return 0;
}

LRESULT on_command(WPARAM wparam) {
    if (wparam >= CMD_ANIMATE && wparam <= CMD_QUIT) run_command(int(wparam));
    return 0;
}

// ------------------------------------------------------------ text window handlers

// Key-downs and key-ups typed into the text window go on to the graphics window,
// so shortcuts and typed characters act whichever window has the focus.
LRESULT forward_key(UINT message, WPARAM wparam, LPARAM lparam) {
    PostMessageA(S.graphics_window, message, wparam, lparam);
    return 0;
}

}  // namespace

LRESULT CALLBACK graphics_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
        case WM_CREATE: return on_create(window);
        case WM_DESTROY: return on_destroy();
        case WM_SIZE: return on_size(window);
        case WM_PAINT: return on_paint(window);
        case WM_KEYDOWN:
            on_key_down(wparam);
            on_input_key_down(wparam, false, lparam);
            return 0;
        case WM_KEYUP:
            on_key_up(wparam);
            on_input_key_up(wparam, false, lparam);
            return 0;
        // System keys (with Alt, and F10) keep what the system does with them.
        case WM_SYSKEYDOWN:
            on_input_key_down(wparam, true, lparam);
            return DefWindowProcA(window, message, wparam, lparam);
        case WM_SYSKEYUP:
            on_input_key_up(wparam, true, lparam);
            return DefWindowProcA(window, message, wparam, lparam);
        case WM_CHAR: return on_char(wparam);
        case WM_UNICHAR: return on_unichar(wparam);
        case WM_COMMAND: return on_command(wparam);
        case WM_TIMER: return on_timer();
        case WM_ENDSESSION: return on_end_session(wparam);
        case WM_LBUTTONDOWN: return on_left_button_down(lparam);
        // These go on to the default procedure as before enable_input existed.
        case WM_LBUTTONUP: on_button_up(MouseButton::Left, lparam); break;
        case WM_RBUTTONDOWN: on_right_button_down(lparam); break;
        case WM_RBUTTONUP: on_button_up(MouseButton::Right, lparam); break;
        case WM_MOUSEMOVE: on_mouse_move(wparam, lparam); break;
        default: break;
    }
    return DefWindowProcA(window, message, wparam, lparam);
}

LRESULT CALLBACK text_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
        case WM_PAINT: paint_log_window(window); return 0;
        case WM_KEYDOWN: return forward_key(WM_KEYDOWN, wparam, lparam);
        case WM_KEYUP: return forward_key(WM_KEYUP, wparam, lparam);
        case WM_UNICHAR:
            if (wparam == UNICODE_NOCHAR) return TRUE;
            return forward_key(WM_UNICHAR, wparam, lparam);
        default: return DefWindowProcA(window, message, wparam, lparam);
    }
}

int open_display(HINSTANCE instance, HINSTANCE previous_instance, LPSTR command_line,
                 int show_command) {
    if (S.display_open) {
        log_repair("open_display: the display is already open; nothing changed\n");
        return 1;
    }
    if (S.graphics_window != nullptr || S.text_window != nullptr || S.canvas_dc != nullptr)
        discard_closed_display();
    S.display_open = true;
    if (previous_instance == nullptr) register_classes(instance);
    int screen_height = GetSystemMetrics(SM_CYSCREEN);
    S.animate = false;
    S.single_frame = false;
    S.graphics_window =
        CreateWindowExA(0, graphics_class, "TAVLO Graphics", WS_CAPTION | WS_SYSMENU, 0, 0,
                        canvas_width, canvas_height, nullptr, nullptr, instance, nullptr);
    S.text_window =
        CreateWindowExA(0, text_class, "TAVLO Text", WS_OVERLAPPEDWINDOW, 0, 550, canvas_width,
                        screen_height / 3, nullptr, nullptr, instance, nullptr);
    S.app_instance = instance;
    S.window_dc = GetDC(S.graphics_window);
    S.canvas_bitmap = CreateCompatibleBitmap(S.window_dc, canvas_width, canvas_height);
    S.canvas_dc = CreateCompatibleDC(S.window_dc);
    SelectObject(S.canvas_dc, S.canvas_bitmap);
    ShowWindow(S.text_window, show_command);
    ShowWindow(S.graphics_window, show_command);
    SetTimer(S.graphics_window, timer_id, timer_period_ms(), nullptr);
    return 1;
}

int close_display() {
    S.display_open = false;
    ReleaseDC(S.graphics_window, S.window_dc);
    S.window_dc = nullptr;
    close_script();
    return 1;
}

void refresh_canvas() {
    if (S.canvas_dirty) copy_canvas_to_window();
}
