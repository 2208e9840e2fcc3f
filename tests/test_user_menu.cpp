// Menus as data: building, check marks by command and by position, states, and
// what the presenter sees of a window's menu.
#include "user_test_support.h"

using namespace user_test;

TEST_F(UserTest, MenuItemsKeepTheirOrderFlagsAndTexts) {
    HMENU popup = nullptr;
    HMENU bar = make_run_menu(&popup);
    const auto& items = portable::menu_items(popup);
    ASSERT_EQ(items.size(), 4u);
    EXPECT_EQ(items[0].text, "&Animate\tCtrl+A");
    EXPECT_EQ(items[0].id, 1u);
    EXPECT_TRUE(items[1].separator());
    EXPECT_TRUE(items[2].checked());
    EXPECT_TRUE(items[3].grayed());
    const auto& top = portable::menu_items(bar);
    ASSERT_EQ(top.size(), 1u);
    EXPECT_TRUE(top[0].popup());
    EXPECT_EQ(top[0].submenu, popup);
    // A menu cannot be made its own submenu.
    EXPECT_FALSE(AppendMenuA(popup, MF_POPUP, reinterpret_cast<UINT_PTR>(bar), "loop"));
    EXPECT_FALSE(AppendMenuA(nullptr, MF_STRING, 1, "x"));
}

TEST_F(UserTest, CheckMenuItemByCommandSearchesSubmenus) {
    HMENU popup = nullptr;
    HWND window = make_window();
    SetMenu(window, make_run_menu(&popup));
    HMENU bar = GetMenu(window);

    EXPECT_EQ(CheckMenuItem(bar, 4, MF_BYCOMMAND | MF_UNCHECKED), DWORD(MF_CHECKED));
    EXPECT_EQ(headless->menu_checked(window, 4), std::optional<bool>(false));
    EXPECT_EQ(CheckMenuItem(popup, 1, MF_CHECKED), DWORD(MF_UNCHECKED));
    EXPECT_EQ(headless->menu_checked(window, 1), std::optional<bool>(true));
    EXPECT_EQ(CheckMenuItem(bar, 77, MF_CHECKED), DWORD(-1));
    EXPECT_EQ(headless->menu_checked(window, 77), std::nullopt);

    // By position: the third item of the popup is item 4.
    EXPECT_EQ(CheckMenuItem(popup, 2, MF_BYPOSITION | MF_CHECKED), DWORD(MF_UNCHECKED));
    EXPECT_EQ(GetMenuState(popup, 4, MF_BYCOMMAND), UINT(MF_CHECKED));
    EXPECT_EQ(CheckMenuItem(popup, 9, MF_BYPOSITION | MF_CHECKED), DWORD(-1));
    EXPECT_EQ(GetMenuState(popup, 9, MF_BYCOMMAND), UINT(MF_GRAYED));
    EXPECT_EQ(GetMenuState(popup, 1, MF_BYPOSITION), UINT(MF_SEPARATOR));
    EXPECT_EQ(GetMenuState(bar, 0, MF_BYPOSITION), UINT((4 << 8) | MF_POPUP));
    EXPECT_EQ(GetMenuState(bar, 42, MF_BYCOMMAND), UINT(-1));
}

TEST_F(UserTest, WindowMenuGoesWithTheWindow) {
    HMENU popup = nullptr;
    HWND window = make_window();
    SetMenu(window, make_run_menu(&popup));
    DestroyWindow(window);
    EXPECT_FALSE(portable::is_menu(popup));
    EXPECT_EQ(CheckMenuItem(popup, 4, MF_CHECKED), DWORD(-1));  // stale handle: refused

    HWND other = make_window("Other");
    HMENU bar = make_run_menu();
    SetMenu(other, bar);
    EXPECT_TRUE(DestroyMenu(bar));
    EXPECT_EQ(GetMenu(other), nullptr);
    RECT client;
    GetClientRect(other, &client);
    EXPECT_EQ(client.bottom, 511);  // the menu bar's 20 px are back
}

TEST_F(UserTest, ChangesToAWindowsMenuReachThePresenter) {
    HMENU popup = nullptr;
    HMENU bar = make_run_menu(&popup);
    HMENU loose = CreatePopupMenu();
    HWND window = make_window();
    EXPECT_TRUE(headless->menu_changes.empty());
    SetMenu(window, bar);
    DrawMenuBar(window);
    EXPECT_EQ(headless->menu_changes.size(), 2u);
    CheckMenuItem(bar, 4, MF_UNCHECKED);         // found in the submenu
    AppendMenuA(popup, MF_STRING, 10, "More");   // the submenu itself changed
    CheckMenuItem(popup, 10, MF_UNCHECKED);      // no change: nothing to mirror
    AppendMenuA(loose, MF_STRING, 11, "Loose");  // on no window's menu bar
    EXPECT_EQ(headless->menu_changes, std::vector<HWND>(4, window));
    EXPECT_EQ(headless->menu_bar(window).size(), 1u);
    DestroyMenu(loose);
}
