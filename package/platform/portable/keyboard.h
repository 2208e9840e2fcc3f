// Portable platform: the keyboard as Windows sees it, for every presenter.
//
// A presenter knows which physical key its toolkit reports (Qt::Key, a DOM key
// code, a line of an input plan); what follows from that is the same everywhere
// and is kept here once: the US layout's virtual-key codes for the characters it
// types (letters and digits share their ASCII values, punctuation sits on the OEM
// keys 0xBA..0xDE, a shifted symbol on its unshifted key), and the character a
// key-down types, which TranslateMessage later turns into WM_CHAR (Ctrl+letter
// the control character 1..26, Alt+key none).
#pragma once

#include "win32_portable.h"

namespace portable {

// The virtual-key code of the key that types `character` on a US keyboard
// (with or without Shift): 'A'..'Z' for letters of either case, '0'..'9' for
// digits and their shifted symbols, the OEM codes for punctuation, VK_SPACE,
// VK_RETURN (also for '\n'), VK_TAB, VK_BACK and VK_ESCAPE; 0 for a character
// no key types.
UINT virtual_key_for_character(unsigned char character);

// The character a key-down types, 0 for none. `printed` is the character the
// key shows with the current Shift state ('a' or 'A', '1' or '!'), 0 when it
// shows none (arrows, function keys). Backspace, Tab, Enter and Escape type
// their control characters with or without Ctrl; Ctrl+letter types 1..26 and
// Ctrl with any other key nothing; Alt+key types nothing (a system key).
// Printed characters are code page 1252 bytes: 0x20..0x7E and 0x80..0xFF.
unsigned char typed_character(UINT virtual_key, unsigned char printed, bool ctrl, bool alt);

// The control character Ctrl+letter types: 1 for A (or a) .. 26 for Z; 0 for
// anything that is not a letter.
unsigned char control_character(unsigned char letter);

}  // namespace portable
