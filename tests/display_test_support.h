// Helpers for tests of the display and the event loop: a fresh platform with the
// headless presenter, the package's display opened on it, and shortcuts for the
// injected input the presenter takes.
#pragma once

#include <gtest/gtest.h>

#include "fresh_state.h"
#include "package_state.h"
#include "portable/presenters/headless/headless_presenter.h"
#include "portable/user/window.h"

namespace test_support {

using portable::HeadlessInput;

class DisplayTest : public ::testing::Test {
protected:
    void SetUp() override { reset_everything(); }
    void TearDown() override { reset_everything(); }

    static void reset_everything() { fresh_state::reset_platform(); }

    static portable::HeadlessPresenter& presenter() {
        return portable::default_headless_presenter();
    }
    static void open() { open_display(nullptr, nullptr, const_cast<char*>(""), SW_SHOWDEFAULT); }
    static HWND graphics() { return package_state.graphics_window; }
    static HWND text() { return package_state.text_window; }
    static int64_t now() { return presenter().now_ms(); }

    struct Event {
        int kind = 0;
        int x = 0, y = 0;
        char key = 0;
    };
    static Event next_event() {
        Event e;
        e.kind = wait_event(&e.x, &e.y, &e.key);
        return e;
    }
    // Posts at once.
    static void click(int client_x, int client_y) {
        presenter().inject(HeadlessInput::click(client_x, client_y, graphics()));
    }
    static void type(char c) {
        presenter().inject(HeadlessInput::typed(static_cast<unsigned char>(c), graphics()));
    }
    static void ctrl(char letter) {
        presenter().inject(HeadlessInput::ctrl_letter(letter, graphics()));
    }
    static void menu(UINT id) { presenter().inject(HeadlessInput::menu(id, graphics())); }
    // At a virtual time, in ms from now.
    static void later(int64_t ms, const HeadlessInput& input) {
        presenter().schedule(now() + ms, input);
    }
};

}  // namespace test_support
