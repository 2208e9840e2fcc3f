// Portable USER: menus as data, and the read-only view presenters and tests use.
//
// A menu (CreateMenu or CreatePopupMenu) is a list of items in append order. A
// presenter mirrors a window's menu bar from this model (labels with `&` and the
// text after `\t`, separators, grayed items, check marks) and posts WM_COMMAND
// with the item id when the user picks one.
#pragma once

#include <string>
#include <vector>

#include "../win32_portable.h"

namespace portable {

struct MenuItem {
    UINT flags = 0;           // MF_SEPARATOR, MF_POPUP, MF_GRAYED, MF_DISABLED, MF_CHECKED
    UINT_PTR id = 0;          // command id (WM_COMMAND wParam); 0 for separators and popups
    std::string text;         // as given, e.g. "&Animate\tCtrl+A"; empty for separators
    HMENU submenu = nullptr;  // MF_POPUP items only

    bool separator() const { return (flags & MF_SEPARATOR) != 0; }
    bool popup() const { return (flags & MF_POPUP) != 0; }
    bool grayed() const { return (flags & (MF_GRAYED | MF_DISABLED)) != 0; }
    bool checked() const { return (flags & MF_CHECKED) != 0; }
};

}  // namespace portable

struct HMENU__ {
    uint32_t magic = 0x554e4d31;  // "1MNU"
    bool popup = false;           // made by CreatePopupMenu
    std::vector<portable::MenuItem> items;
};

namespace portable {

// True for a live menu handle (created and not yet destroyed).
bool is_menu(HMENU menu);
// The items of a live menu, top to bottom; an empty list for anything else.
// The reference stays valid until the menu is changed or destroyed.
const std::vector<MenuItem>& menu_items(HMENU menu);
// The item with command `id` in `menu` or its submenus (depth first), or nullptr.
const MenuItem* find_menu_command(HMENU menu, UINT_PTR id);

// USER's own bookkeeping (user/menu.cpp).
void destroy_all_menus();

}  // namespace portable
