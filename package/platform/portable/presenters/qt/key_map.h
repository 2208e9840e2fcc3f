// Qt presenter: keys as Windows sees them.
//
// Qt reports keys as Qt::Key values and a text that depends on the platform
// (X11 gives "\x01" for Ctrl+A, synthetic input gives "a"), so neither is used
// as is. A key becomes a Windows virtual-key code (Ctrl 17, letters and digits
// their capital ASCII codes, function and keypad keys the usual codes), and the
// character that TranslateMessage will turn into WM_CHAR is built from the key,
// Shift and Ctrl alone, as Windows does for a US keyboard.
#pragma once

#include <QString>
#include <Qt>

namespace portable {

// The virtual-key code of a Qt key (keypad digits with Qt::KeypadModifier give
// VK_NUMPAD0..9); 0 for keys Windows has no code for here.
int virtual_key(int qt_key, Qt::KeyboardModifiers modifiers);

// The character a key-down types, 0 for none: letters in lower case, upper with
// Shift, control codes 1..26 with Ctrl; digits, space and punctuation as they
// are; Enter 13, Backspace 8, Tab 9, Escape 27.
char key_character(int qt_key, Qt::KeyboardModifiers modifiers);

// The character a key with no virtual-key code types, taken from the event's
// text: one character from U+00A0 on (é, €, π ...), without Ctrl or Alt; 0 for
// anything else.
char32_t other_layout_character(const QString& text, Qt::KeyboardModifiers modifiers);

}  // namespace portable
