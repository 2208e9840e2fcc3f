// Portable USER: menus as data.
//
// Implements CreateMenu, CreatePopupMenu, DestroyMenu, AppendMenuA, SetMenu,
// GetMenu, DrawMenuBar, CheckMenuItem and GetMenuState. A menu is a list of
// items (user/menu.h); nothing is drawn here. Any change to a menu that is, or
// lies under, a window's menu bar is reported to the presenter, which mirrors it.
#include "menu.h"

#include <memory>
#include <unordered_map>

#include "../presenter_kit/presenter.h"
#include "user_internal.h"

namespace portable {

namespace {

// Item flags a menu keeps; the rest (MF_BYPOSITION ...) only steer a call.
constexpr UINT kept_flags = MF_GRAYED | MF_DISABLED | MF_CHECKED | MF_POPUP | MF_SEPARATOR;

std::unordered_map<HMENU, std::unique_ptr<HMENU__>>& menus() {
    static std::unordered_map<HMENU, std::unique_ptr<HMENU__>> all;
    return all;
}

HMENU make_menu(bool popup) {
    auto menu = std::make_unique<HMENU__>();
    menu->popup = popup;
    HMENU handle = menu.get();
    menus().emplace(handle, std::move(menu));
    return handle;
}

MenuItem* find_command(HMENU menu, UINT_PTR id, int depth) {
    // Menus can be made to contain themselves; a depth bound keeps that finite.
    if (!is_menu(menu) || depth > 32) return nullptr;
    for (MenuItem& item : menu->items) {
        if (item.popup()) {
            if (MenuItem* found = find_command(item.submenu, id, depth + 1)) return found;
        } else if (!item.separator() && item.id == id) {
            return &item;
        }
    }
    return nullptr;
}

// The item a CheckMenuItem or GetMenuState call names, or nullptr.
MenuItem* find_item(HMENU menu, UINT which, UINT flags) {
    if (!is_menu(menu)) return nullptr;
    if ((flags & MF_BYPOSITION) == 0) return find_command(menu, which, 0);
    if (which >= menu->items.size()) return nullptr;
    return &menu->items[which];
}

bool contains(HMENU root, HMENU menu, int depth) {
    if (root == menu) return true;
    if (!is_menu(root) || depth > 32) return false;
    for (const MenuItem& item : root->items) {
        if (item.popup() && contains(item.submenu, menu, depth + 1)) return true;
    }
    return false;
}

}  // namespace

bool is_menu(HMENU menu) {
    return menu != nullptr && menus().count(menu) != 0;
}

const std::vector<MenuItem>& menu_items(HMENU menu) {
    static const std::vector<MenuItem> none;
    return is_menu(menu) ? menu->items : none;
}

const MenuItem* find_menu_command(HMENU menu, UINT_PTR id) {
    return find_command(menu, id, 0);
}

bool menu_contains(HMENU root, HMENU menu) {
    return contains(root, menu, 0);
}

void menu_changed_for_windows(HMENU menu) {
    for (HWND window : top_level_windows()) {
        if (window->menu != nullptr && menu_contains(window->menu, menu)) {
            presenter().menu_changed(window);
        }
    }
}

void detach_menu_from_windows(HMENU menu) {
    for (HWND window : top_level_windows()) {
        if (window->menu != menu) continue;
        window->menu = nullptr;
        presenter().menu_changed(window);
        update_client_size(window);
    }
}

void destroy_all_menus() {
    menus().clear();
}

}  // namespace portable

using namespace portable;

HMENU WINAPI CreateMenu(void) {
    return make_menu(false);
}

HMENU WINAPI CreatePopupMenu(void) {
    return make_menu(true);
}

BOOL WINAPI DestroyMenu(HMENU menu) {
    if (!is_menu(menu)) return FALSE;
    // Submenus go with their menu, as on Windows. The record is taken out of the
    // table first, so a menu that contains itself is destroyed once.
    std::unique_ptr<HMENU__> owned = std::move(menus()[menu]);
    menus().erase(menu);
    for (const MenuItem& item : owned->items) {
        if (item.popup()) DestroyMenu(item.submenu);
    }
    detach_menu_from_windows(menu);
    return TRUE;
}

BOOL WINAPI AppendMenuA(HMENU menu, UINT flags, UINT_PTR id, LPCSTR text) {
    if (!is_menu(menu)) return FALSE;
    MenuItem item;
    item.flags = flags & kept_flags;
    if (item.popup()) {
        auto submenu = reinterpret_cast<HMENU>(id);
        if (!is_menu(submenu) || menu_contains(submenu, menu)) return FALSE;
        item.submenu = submenu;
    } else if (!item.separator()) {
        item.id = id;
    }
    if (!item.separator() && text != nullptr) item.text = text;
    if (item.separator()) item.flags &= ~UINT(MF_CHECKED);
    menu->items.push_back(std::move(item));
    menu_changed_for_windows(menu);
    return TRUE;
}

BOOL WINAPI SetMenu(HWND window, HMENU menu) {
    HWND__* record = live_window(window);
    if (record == nullptr || (menu != nullptr && !is_menu(menu))) return FALSE;
    if ((record->style & WS_CHILD) != 0) return FALSE;  // child windows have no menu bar
    record->menu = menu;
    presenter().menu_changed(window);
    update_client_size(window);
    return TRUE;
}

HMENU WINAPI GetMenu(HWND window) {
    HWND__* record = live_window(window);
    return record != nullptr ? record->menu : nullptr;
}

BOOL WINAPI DrawMenuBar(HWND window) {
    HWND__* record = live_window(window);
    if (record == nullptr) return FALSE;
    presenter().menu_changed(window);
    return TRUE;
}

DWORD WINAPI CheckMenuItem(HMENU menu, UINT which, UINT check) {
    MenuItem* item = find_item(menu, which, check);
    if (item == nullptr) return DWORD(-1);
    DWORD previous = item->flags & MF_CHECKED;
    UINT wanted = check & MF_CHECKED;
    if (previous != wanted) {
        item->flags = (item->flags & ~UINT(MF_CHECKED)) | wanted;
        menu_changed_for_windows(menu);
    }
    return previous;
}

UINT WINAPI GetMenuState(HMENU menu, UINT which, UINT flags) {
    const MenuItem* item = find_item(menu, which, flags);
    if (item == nullptr) return UINT(-1);
    // For a popup item the high byte holds the number of items in the submenu.
    if (item->popup()) {
        auto count = UINT(menu_items(item->submenu).size());
        return ((count & 0xFF) << 8) | (item->flags & 0xFF);
    }
    return item->flags;
}
