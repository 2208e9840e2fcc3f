// Qt presenter: Qt keys to Windows virtual keys and typed characters.
#include "key_map.h"

namespace portable {
namespace {

struct KeyCode {
    int qt_key;
    int vk;
};

// Keys whose code does not follow from their ASCII value.
constexpr KeyCode special_keys[] = {
    {Qt::Key_Backspace, 0x08},  {Qt::Key_Tab, 0x09},      {Qt::Key_Backtab, 0x09},
    {Qt::Key_Return, 0x0D},     {Qt::Key_Enter, 0x0D},    {Qt::Key_Shift, 0x10},
    {Qt::Key_Control, 0x11},    {Qt::Key_Alt, 0x12},      {Qt::Key_Pause, 0x13},
    {Qt::Key_CapsLock, 0x14},   {Qt::Key_Escape, 0x1B},   {Qt::Key_Space, 0x20},
    {Qt::Key_PageUp, 0x21},     {Qt::Key_PageDown, 0x22}, {Qt::Key_End, 0x23},
    {Qt::Key_Home, 0x24},       {Qt::Key_Left, 0x25},     {Qt::Key_Up, 0x26},
    {Qt::Key_Right, 0x27},      {Qt::Key_Down, 0x28},     {Qt::Key_Insert, 0x2D},
    {Qt::Key_Delete, 0x2E},     {Qt::Key_Meta, 0x5B},     {Qt::Key_NumLock, 0x90},
    {Qt::Key_ScrollLock, 0x91},
};

// US layout: the unshifted key behind each punctuation character, and that
// key's OEM virtual-key code.
struct Punctuation {
    char plain;
    char shifted;
    int vk;
};

constexpr Punctuation punctuation[] = {
    {';', ':', 0xBA},  {'=', '+', 0xBB}, {',', '<', 0xBC},  {'-', '_', 0xBD},
    {'.', '>', 0xBE},  {'/', '?', 0xBF}, {'`', '~', 0xC0},  {'[', '{', 0xDB},
    {'\\', '|', 0xDC}, {']', '}', 0xDD}, {'\'', '"', 0xDE},
};

// The digit keys' shifted characters, '0' first.
constexpr char shifted_digits[] = ")!@#$%^&*(";

bool is_letter(int key) {
    return key >= Qt::Key_A && key <= Qt::Key_Z;
}
bool is_digit(int key) {
    return key >= Qt::Key_0 && key <= Qt::Key_9;
}

int punctuation_key(int key) {
    for (const Punctuation& p : punctuation) {
        if (key == p.plain || key == p.shifted) return p.vk;
    }
    for (int digit = 0; digit < 10; ++digit) {
        if (key == shifted_digits[digit]) return '0' + digit;
    }
    return 0;
}

// Keys that type a character with or without Ctrl, as Windows' TranslateMessage does.
char control_character(int key) {
    switch (key) {
        case Qt::Key_Backspace: return 0x08;
        case Qt::Key_Tab: return 0x09;
        case Qt::Key_Return:
        case Qt::Key_Enter: return 0x0D;
        case Qt::Key_Escape: return 0x1B;
        default: return 0;
    }
}

}  // namespace

int virtual_key(int qt_key, Qt::KeyboardModifiers modifiers) {
    if (is_digit(qt_key) && (modifiers & Qt::KeypadModifier)) return 0x60 + (qt_key - Qt::Key_0);
    if (is_letter(qt_key) || is_digit(qt_key)) return qt_key;
    if (qt_key >= Qt::Key_F1 && qt_key <= Qt::Key_F24) return 0x70 + (qt_key - Qt::Key_F1);
    for (const KeyCode& code : special_keys) {
        if (code.qt_key == qt_key) return code.vk;
    }
    if (qt_key > 0x20 && qt_key < 0x7F) return punctuation_key(qt_key);
    return 0;
}

char key_character(int qt_key, Qt::KeyboardModifiers modifiers) {
    const bool ctrl = modifiers & Qt::ControlModifier;
    const bool shift = modifiers & Qt::ShiftModifier;
    // Alt+key is a system key on Windows: it types no ordinary character.
    if (modifiers & Qt::AltModifier) return 0;
    if (char c = control_character(qt_key)) return c;
    if (is_letter(qt_key)) {
        if (ctrl) return char(qt_key - Qt::Key_A + 1);
        return char(shift ? qt_key : qt_key - Qt::Key_A + 'a');
    }
    if (ctrl) return 0;
    // Qt already reports the shifted key (Key_Exclam for Shift+1), which is the character.
    if (qt_key >= 0x20 && qt_key < 0x7F) return char(qt_key);
    return 0;
}

}  // namespace portable
