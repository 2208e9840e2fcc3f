// Shared set-up of the USER tests: a fresh headless presenter and USER state per
// test, a window class whose procedure records every message it receives, and
// helpers to create windows and pump messages.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

#include "portable/presenters/headless/headless_presenter.h"
#include "portable/user/menu.h"
#include "portable/user/window.h"
#include "win32.h"

namespace user_test {

struct Seen {
    HWND window;
    UINT message;
    WPARAM w;
    LPARAM l;
};

// Every message the recording procedure received, in order.
inline std::vector<Seen>& seen() {
    static std::vector<Seen> messages;
    return messages;
}

// Runs inside WM_CREATE when set (e.g. to attach a menu bar).
inline std::function<void(HWND)>& on_create() {
    static std::function<void(HWND)> hook;
    return hook;
}

inline LRESULT CALLBACK recording_proc(HWND window, UINT message, WPARAM w, LPARAM l) {
    seen().push_back({window, message, w, l});
    if (message == WM_CREATE && on_create()) on_create()(window);
    return DefWindowProcA(window, message, w, l);
}

// A menu bar with one popup holding a checked item 4, a plain item 1 and a
// separator, like the package's Run menu.
inline HMENU make_run_menu(HMENU* popup_out = nullptr) {
    HMENU bar = CreateMenu();
    HMENU popup = CreatePopupMenu();
    AppendMenuA(popup, MF_STRING, 1, "&Animate\tCtrl+A");
    AppendMenuA(popup, MF_SEPARATOR, 0, nullptr);
    AppendMenuA(popup, MF_CHECKED, 4, "&Logging\tCtrl+L");
    AppendMenuA(popup, MF_GRAYED, 9, "info");
    AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(popup), "&Run");
    if (popup_out != nullptr) *popup_out = popup;
    return bar;
}

// The headless presenter, also noting which windows it was told had a menu change.
struct RecordingPresenter : portable::HeadlessPresenter {
    std::vector<HWND> menu_changes;
    void menu_changed(HWND window) override { menu_changes.push_back(window); }
};

class UserTest : public ::testing::Test {
protected:
    void SetUp() override {
        portable::reset_user_state();
        seen().clear();
        on_create() = nullptr;
        headless = std::make_unique<RecordingPresenter>();
        portable::set_presenter(headless.get());
        background = CreateSolidBrush(RGB(10, 20, 30));
        WNDCLASSA description{};
        description.style = CS_HREDRAW | CS_VREDRAW;
        description.lpfnWndProc = recording_proc;
        description.hbrBackground = background;
        description.lpszClassName = "TestWndClass";
        ASSERT_NE(RegisterClassA(&description), 0);
    }
    void TearDown() override {
        portable::reset_user_state();
        portable::set_presenter(nullptr);
        DeleteObject(background);
        on_create() = nullptr;
    }

    HWND make_window(const char* title = "Test", DWORD style = WS_CAPTION | WS_SYSMENU,
                     int width = 601, int height = 540) {
        return CreateWindowExA(0, "TestWndClass", title, style, 0, 0, width, height, nullptr,
                               nullptr, nullptr, nullptr);
    }

    // Takes the next message.
    MSG next() {
        MSG m{};
        GetMessageA(&m, nullptr, 0, 0);
        return m;
    }

    MSG next_dispatched() {
        MSG m = next();
        TranslateMessage(&m);
        DispatchMessageA(&m);
        return m;
    }

    std::unique_ptr<RecordingPresenter> headless;
    HBRUSH background = nullptr;
};

}  // namespace user_test
