// Portable platform: the US layout and the characters keys type.
#include "keyboard.h"

#include <algorithm>
#include <cstring>

#include "code_page.h"
#include "presenter.h"

namespace portable {
namespace {

// The OEM keys of the US layout: the character each types unshifted and shifted.
struct OemKey {
    char plain;
    char shifted;
    UINT vk;
};

constexpr OemKey oem_keys[] = {
    {';', ':', 0xBA},  {'=', '+', 0xBB}, {',', '<', 0xBC},  {'-', '_', 0xBD},
    {'.', '>', 0xBE},  {'/', '?', 0xBF}, {'`', '~', 0xC0},  {'[', '{', 0xDB},
    {'\\', '|', 0xDC}, {']', '}', 0xDD}, {'\'', '"', 0xDE},
};

// The digit keys' shifted characters, '0' first.
constexpr char shifted_digits[] = ")!@#$%^&*(";

bool is_letter(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

}  // namespace

UINT virtual_key_for_character(unsigned char c) {
    if (is_letter(c)) return UINT(c & ~0x20u);
    if ((c >= '0' && c <= '9') || c == ' ' || c == '\r' || c == '\t' || c == '\b' || c == 27) {
        return c;
    }
    if (c == '\n') return '\r';
    if (c == 0) return 0;
    for (const OemKey& key : oem_keys) {
        if (c == static_cast<unsigned char>(key.plain) ||
            c == static_cast<unsigned char>(key.shifted)) {
            return key.vk;
        }
    }
    const char* digit = std::strchr(shifted_digits, char(c));
    return digit != nullptr ? UINT('0' + (digit - shifted_digits)) : 0;
}

PacketKey packet_key(char32_t character) {
    PacketKey key;
    const unsigned char byte = cp1252_of_unicode(character);
    if (byte != 0) {
        key.key_down = key_down_lparam(byte);
    } else {
        key.unichar = WPARAM(character);
    }
    return key;
}

unsigned char control_character(unsigned char letter) {
    return is_letter(letter) ? static_cast<unsigned char>((letter & ~0x20u) - 'A' + 1) : 0;
}

unsigned char typed_character(UINT virtual_key, unsigned char printed, bool ctrl, bool alt) {
    if (alt) return 0;
    switch (virtual_key) {
        case VK_BACK:
        case VK_TAB:
        case VK_RETURN:
        case VK_ESCAPE: return static_cast<unsigned char>(virtual_key);
        default: break;
    }
    if (ctrl) {
        return virtual_key >= 'A' && virtual_key <= 'Z'
                   ? control_character(static_cast<unsigned char>(virtual_key))
                   : 0;
    }
    if ((printed >= 0x20 && printed < 0x7F) || printed >= 0x80) return printed;
    return 0;
}

// ------------------------------------------------------------ keys held down

HeldKeys::HeldKeys(Post post) : post_(std::move(post)) {}

void HeldKeys::send(HWND window, UINT message, UINT virtual_key, LPARAM lparam) {
    if (post_) {
        post_(window, message, WPARAM(virtual_key), lparam);
    } else {
        PostMessageA(window, message, WPARAM(virtual_key), lparam);
    }
}

bool HeldKeys::down(UINT virtual_key) const {
    return std::any_of(down_.begin(), down_.end(),
                       [&](const Down& key) { return key.virtual_key == virtual_key; });
}

// A key-up to every window the key went down in.
void HeldKeys::release(UINT virtual_key) {
    std::vector<Down> held;
    for (const Down& key : down_) {
        if (key.virtual_key == virtual_key) held.push_back(key);
    }
    std::erase_if(down_, [&](const Down& key) { return key.virtual_key == virtual_key; });
    for (const Down& key : held) send(key.window, WM_KEYUP, key.virtual_key, key_up_lparam());
}

void HeldKeys::post_key(HWND window, UINT message, UINT virtual_key, LPARAM lparam,
                        HeldModifiers held) {
    const struct {
        UINT virtual_key;
        bool held;
    } modifiers[] = {{VK_CONTROL, held.ctrl}, {VK_SHIFT, held.shift}, {VK_MENU, held.alt}};
    for (const auto& modifier : modifiers) {
        if (modifier.virtual_key == virtual_key) continue;  // its own message sets it
        if (!modifier.held && down(modifier.virtual_key)) release(modifier.virtual_key);
    }
    for (const auto& modifier : modifiers) {
        if (modifier.virtual_key == virtual_key) continue;
        if (modifier.held && !down(modifier.virtual_key)) {
            send(window, WM_KEYDOWN, modifier.virtual_key, key_down_lparam(0));
            down_.push_back({window, modifier.virtual_key});
        }
    }
    send(window, message, virtual_key, lparam);
    if (message == WM_KEYUP) {
        std::erase_if(down_, [&](const Down& key) { return key.virtual_key == virtual_key; });
    } else if (message == WM_KEYDOWN) {
        // A repeat (Windows repeats key-downs while a key is held) is down already.
        const bool already = std::any_of(down_.begin(), down_.end(), [&](const Down& key) {
            return key.window == window && key.virtual_key == virtual_key;
        });
        if (!already) down_.push_back({window, virtual_key});
    }
}

void HeldKeys::release_all() {
    std::vector<Down> held;
    held.swap(down_);
    for (auto key = held.rbegin(); key != held.rend(); ++key)
        send(key->window, WM_KEYUP, key->virtual_key, key_up_lparam());
}

void HeldKeys::forget(HWND window) {
    std::erase_if(down_, [&](const Down& key) { return key.window == window; });
}

}  // namespace portable
