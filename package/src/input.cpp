// Input for games and drawing programs: button releases, mouse movement, the
// right button, keys without a character and key releases, each an event only
// for a program that switched its kind on with enable_input.
//
// The handlers run inside pump_message like the left-button and WM_CHAR
// handlers: each sets the pending event, which ends the wait in the same pass
// and replaces an armed periodic event. A program that has switched nothing on
// gets exactly the events it got before: its handlers make none, and the
// script lines of the new kinds are unrecognised lines for it.
#include "package_state.h"

namespace {

PackageState& S = package_state;

bool kind_on(int kind) {
    return (S.input_kinds & kind) != 0;
}

// The client coordinates are signed 16-bit fields: a drag that leaves the window
// (the mouse is captured until the release) reports points left of or above the
// client area as negative numbers.
int canvas_x(LPARAM lparam) {
    return int(short(LOWORD(lparam))) - S.center_x;
}

int canvas_y(LPARAM lparam) {
    return S.center_y - int(short(HIWORD(lparam)));
}

void make_event(int kind, int x, int y, int key) {
    S.pending_kind = kind;
    S.pending_x = x;
    S.pending_y = y;
    S.pending_key = static_cast<signed char>(key);
}

int modifiers() {
    return (S.shift_held ? KeyModifier::Shift : 0) | (S.ctrl_held ? KeyModifier::Ctrl : 0) |
           (S.alt_held ? KeyModifier::Alt : 0);
}

// The keys that type no character: a SpecialKey event when they go down.
bool is_special_key(WPARAM key) {
    return (key >= VirtualKey::PageUp && key <= VirtualKey::Down) || key == VirtualKey::Insert ||
           key == VirtualKey::Delete || (key >= VirtualKey::F1 && key <= VirtualKey::F12);
}

// Shift and Alt as the key messages say. On Windows an Alt key-down comes as a
// system key and a system key's lParam says whether Alt is held (bit 29).
void track_modifier(WPARAM key, bool down, bool system, LPARAM lparam) {
    if (key == VK_SHIFT) S.shift_held = down;
    if (key == VK_MENU) S.alt_held = down;
    if (system && key != VK_MENU) S.alt_held = (lparam & (LPARAM(1) << 29)) != 0;
}

// key_held's record of a key going down or up, from a live key message. While a
// script plays, the script's lines say which keys are held instead.
void note_key(WPARAM virtual_key, bool down) {
    if (virtual_key == 0 || virtual_key > 0xFE || S.playback || S.play_one) return;
    if (S.keys_held[virtual_key] == down) return;  // a repeat, or a key-up of a key not down
    S.keys_held[virtual_key] = down;
    if (S.held_keys_asked) record_key_change(int(virtual_key), down);
}

}  // namespace

int key_held(int virtual_key) {
    if (S.graphics_window == nullptr) return 0;
    S.held_keys_asked = true;
    if (virtual_key < 1 || virtual_key > 0xFE) return 0;
    return S.keys_held[virtual_key] ? 1 : 0;
}

int enable_input(int kinds) {
    if ((kinds & ~InputKind::All) != 0)
        log_repair("enable_input: unknown kinds %d dropped\n", kinds & ~InputKind::All);
    S.input_kinds = kinds & InputKind::All;
    S.move_reported = false;  // the first move after switching is reported, wherever it is
    return S.input_kinds;
}

void on_mouse_move(WPARAM wparam, LPARAM lparam) {
    if (!kind_on(InputKind::MouseMovement)) return;
    const int x = canvas_x(lparam), y = canvas_y(lparam);
    const int buttons = ((wparam & MK_LBUTTON) != 0 ? MouseButton::Left : 0) |
                        ((wparam & MK_RBUTTON) != 0 ? MouseButton::Right : 0);
    // Windows sends a move also when only a window appeared under the mouse.
    if (S.move_reported && x == S.move_x && y == S.move_y && buttons == S.move_buttons) return;
    S.move_reported = true;
    S.move_x = x;
    S.move_y = y;
    S.move_buttons = buttons;
    make_event(EventKind::MouseMove, x, y, buttons);
}

void on_button_up(int button, LPARAM lparam) {
    if (!kind_on(InputKind::MouseRelease)) return;
    if (button == MouseButton::Right && !kind_on(InputKind::RightButton)) return;
    make_event(EventKind::MouseUp, canvas_x(lparam), canvas_y(lparam), button);
}

void on_right_button_down(LPARAM lparam) {
    if (!kind_on(InputKind::RightButton)) return;
    make_event(EventKind::RightMouse, canvas_x(lparam), canvas_y(lparam), 0);
}

void on_input_key_down(WPARAM virtual_key, bool system, LPARAM lparam) {
    track_modifier(virtual_key, true, system, lparam);
    note_key(virtual_key, true);
    if (!kind_on(InputKind::SpecialKeys) || !is_special_key(virtual_key)) return;
    make_event(EventKind::SpecialKey, modifiers(), int(virtual_key), int(virtual_key));
}

void on_input_key_up(WPARAM virtual_key, bool system, LPARAM lparam) {
    track_modifier(virtual_key, false, system, lparam);
    note_key(virtual_key, false);
    if (!kind_on(InputKind::KeyRelease) || virtual_key == 0 || virtual_key > 0xFE) return;
    make_event(EventKind::KeyUp, modifiers(), int(virtual_key), int(virtual_key));
}

// ------------------------------------------------------------ script lines

bool format_input_line(FILE* stream, int kind, int x, int y, signed char key, int* written) {
    switch (kind) {
        case EventKind::MouseUp:
            *written = std::fprintf(stream, "TAVLO_UP(%d, %d, %d);\n", x, y, int(key));
            return true;
        case EventKind::MouseMove:
            *written = std::fprintf(stream, "TAVLO_DRAG(%d, %d, %d);\n", x, y, int(key));
            return true;
        case EventKind::RightMouse:
            *written = std::fprintf(stream, "TAVLO_RIGHT(%d, %d);\n", x, y);
            return true;
        case EventKind::SpecialKey:
            *written = std::fprintf(stream, "TAVLO_VKEY(%d, %d);\n", y, x);
            return true;
        case EventKind::KeyUp:
            *written = std::fprintf(stream, "TAVLO_LIFT(%d, %d);\n", y, x);
            return true;
        default: return false;
    }
}

namespace {

using Take = bool (*)(const char**, bool, int*);

// A position then a small value in `low..high`, as the up and drag lines hold.
bool parse_position_and(const char* line, Take take, int low, int high, int kind) {
    int x, y, value;
    const char* cursor = line + 6;
    if (!take(&cursor, true, &x) || !take(&cursor, true, &y)) return false;
    if (!take(&cursor, false, &value) || value < low || value > high) return false;
    make_event(kind, x, y, value);
    return true;
}

bool parse_right(const char* line, Take take) {
    int x, y;
    const char* cursor = line + 6;
    if (!take(&cursor, true, &x) || !take(&cursor, true, &y)) return false;
    make_event(EventKind::RightMouse, x, y, 0);
    return true;
}

// A key code 1..254 and the modifier bits 0..7; a key-down line only for the
// keys that make SpecialKey events.
bool parse_key_line(const char* line, Take take, int kind) {
    int code, mods;
    const char* cursor = line + 6;
    if (!take(&cursor, false, &code) || !take(&cursor, false, &mods)) return false;
    if (code < 1 || code > 0xFE || mods < 0 || mods > 7) return false;
    if (kind == EventKind::SpecialKey && !is_special_key(WPARAM(code))) return false;
    make_event(kind, mods, code, code);
    return true;
}

}  // namespace

bool parse_input_line(const char* line, Take take) {
    switch (line[6]) {
        case 'U':
            // The right button's release only while the right button is on too.
            return kind_on(InputKind::MouseRelease) &&
                   parse_position_and(line, take, 1, kind_on(InputKind::RightButton) ? 2 : 1,
                                      EventKind::MouseUp);
        case 'D':
            return kind_on(InputKind::MouseMovement) &&
                   parse_position_and(line, take, 0, 3, EventKind::MouseMove);
        case 'R': return kind_on(InputKind::RightButton) && parse_right(line, take);
        case 'V':
            return kind_on(InputKind::SpecialKeys) &&
                   parse_key_line(line, take, EventKind::SpecialKey);
        case 'L':
            return kind_on(InputKind::KeyRelease) && parse_key_line(line, take, EventKind::KeyUp);
        default: return false;
    }
}

bool parse_hold_line(const char* line, Take take) {
    int code, down;
    const char* cursor = line + 6;
    if (line[6] != 'H' || !S.held_keys_asked) return false;
    if (!take(&cursor, false, &code) || code < 1 || code > 0xFE) return false;
    if (!take(&cursor, false, &down) || down > 1) return false;
    S.keys_held[code] = down == 1;
    return true;
}
