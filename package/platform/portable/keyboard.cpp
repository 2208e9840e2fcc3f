// Portable platform: the US layout and the characters keys type.
#include "keyboard.h"

#include <cstring>

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

}  // namespace portable
