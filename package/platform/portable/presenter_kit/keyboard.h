// Portable platform: the keyboard as Windows sees it, for every presenter.
//
// A presenter knows which physical key its toolkit reports (Qt::Key, a DOM key
// code, a line of an input plan); what follows from that is the same everywhere
// and is kept here once: the US layout's virtual-key codes for the characters it
// types (letters and digits share their ASCII values, punctuation sits on the OEM
// keys 0xBA..0xDE, a shifted symbol on its unshifted key), and the character a
// key-down types, which TranslateMessage later turns into WM_CHAR (Ctrl+letter
// the control character 1..26, Alt+key none). And the keys a presenter has
// posted down and not yet up (HeldKeys), which keep Ctrl, Shift and Alt as the
// program sees them in line with the real keyboard.
#pragma once

#include <functional>
#include <vector>

#include "../win32_portable.h"

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

// A character that no key of the US layout types (é on a French keyboard, π from
// an input method) comes as Windows delivers a character it injects: a VK_PACKET
// key-down (then its key-up) whose lParam carries the character when code page
// 1252 has it (TranslateMessage's WM_CHAR), else WM_UNICHAR with the code point,
// posted right after the key-down. `unichar` is 0 when no WM_UNICHAR is needed.
struct PacketKey {
    LPARAM key_down = 1;
    WPARAM unichar = 0;
};
PacketKey packet_key(char32_t character);

// The control character Ctrl+letter types: 1 for A (or a) .. 26 for Z; 0 for
// anything that is not a letter.
unsigned char control_character(unsigned char letter);

// Ctrl, Shift and Alt as a real key event says they are held (the toolkit's
// modifier state that comes with the event).
struct HeldModifiers {
    bool ctrl = false;
    bool shift = false;
    bool alt = false;
};

// The keys a presenter has posted down (WM_KEYDOWN) and not yet up (WM_KEYUP), each
// with the window it went down in, and the key messages that keep them true.
// A program learns that Ctrl, Shift or Alt is held only from their key-downs and
// key-ups; when a key-up never reaches it (the person switched window while
// holding Ctrl), it would take the key as held for ever. So a presenter posts
// every key message through one HeldKeys:
//   - post_key first posts the VK_CONTROL, VK_SHIFT and VK_MENU key-ups and
//     key-downs that bring what has been posted in line with the key event's own
//     modifier state, which always wins; a modifier key's own message sets its
//     own state, so its event's bit for itself is not looked at. In a session in
//     which every key-down and key-up arrived, nothing extra is posted;
//   - release_all posts a key-up for every key still down (modifiers, and a
//     game's held arrow too), to the window it went down in, latest first: for
//     when the window or the application loses the focus.
class HeldKeys {
public:
    using Post = std::function<void(HWND window, UINT message, WPARAM wparam, LPARAM lparam)>;

    // Posts through `post` (PostMessageA when empty).
    explicit HeldKeys(Post post = {});

    // Posts `message` (WM_KEYDOWN or WM_KEYUP) of `virtual_key` with `lparam` to
    // `window`, after the modifier messages that `held` calls for.
    void post_key(HWND window, UINT message, UINT virtual_key, LPARAM lparam, HeldModifiers held);

    // A key-up for every key still down; afterwards none is.
    void release_all();

    // The window is gone: its keys are no longer down anywhere.
    void forget(HWND window);

    // Whether `virtual_key` has been posted down, to any window, and not up.
    bool down(UINT virtual_key) const;

private:
    struct Down {
        HWND window;
        UINT virtual_key;
    };

    void send(HWND window, UINT message, UINT virtual_key, LPARAM lparam);
    void release(UINT virtual_key);

    Post post_;
    std::vector<Down> down_;  // in the order they went down
};

}  // namespace portable
