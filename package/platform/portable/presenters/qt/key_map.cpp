// Qt presenter: Qt keys to Windows virtual keys and typed characters.
#include "key_map.h"

#include <QList>
#include <QString>

#include "../../presenter_kit/keyboard.h"

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

bool is_letter(int key) {
    return key >= Qt::Key_A && key <= Qt::Key_Z;
}
bool is_digit(int key) {
    return key >= Qt::Key_0 && key <= Qt::Key_9;
}

}  // namespace

int virtual_key(int qt_key, Qt::KeyboardModifiers modifiers) {
    if (is_digit(qt_key) && (modifiers & Qt::KeypadModifier)) return 0x60 + (qt_key - Qt::Key_0);
    if (is_letter(qt_key) || is_digit(qt_key)) return qt_key;
    if (qt_key >= Qt::Key_F1 && qt_key <= Qt::Key_F24) return 0x70 + (qt_key - Qt::Key_F1);
    for (const KeyCode& code : special_keys) {
        if (code.qt_key == qt_key) return code.vk;
    }
    if (qt_key > 0x20 && qt_key < 0x7F) return int(virtual_key_for_character(qt_key));
    return 0;
}

char key_character(int qt_key, Qt::KeyboardModifiers modifiers) {
    const bool ctrl = modifiers & Qt::ControlModifier;
    const bool shift = modifiers & Qt::ShiftModifier;
    // Qt names a letter key by its capital and any other printing key by the
    // character it types with the current Shift state (Key_Exclam for Shift+1).
    unsigned char printed = 0;
    if (is_letter(qt_key)) {
        printed = static_cast<unsigned char>(shift ? qt_key : qt_key - Qt::Key_A + 'a');
    } else if (qt_key >= 0x20 && qt_key < 0x7F) {
        printed = static_cast<unsigned char>(qt_key);
    }
    const int vk = virtual_key(qt_key, modifiers);
    return char(typed_character(UINT(vk), printed, ctrl, modifiers & Qt::AltModifier));
}

char32_t other_layout_character(const QString& text, Qt::KeyboardModifiers modifiers) {
    if (modifiers & (Qt::ControlModifier | Qt::AltModifier)) return 0;
    const QList<uint> points = text.toUcs4();
    if (points.size() != 1 || points[0] < 0xA0) return 0;
    return char32_t(points[0]);
}

}  // namespace portable
