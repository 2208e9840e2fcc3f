// The headless presenter's injected input and the input plan of a headless run;
// the keyboard pieces every presenter shares (keyboard.h).
#include <tuple>

#include "portable/presenter_kit/keyboard.h"
#include "portable/presenter_kit/presenter.h"
#include "portable/presenters/headless/input_plan.h"
#include "user_test_support.h"

using namespace user_test;
using portable::HeadlessInput;

TEST_F(UserTest, ScheduledInputsArriveAtTheirTicksBeforeTimers) {
    HWND graphics = make_window("Graphics");
    HWND text = make_window("Text");
    ShowWindow(text, SW_SHOW);
    ShowWindow(graphics, SW_SHOW);  // shown last: it has the keyboard
    next_dispatched();
    next_dispatched();
    SetTimer(graphics, 2, 50, nullptr);
    headless->schedule_at_tick(3, HeadlessInput::click(100, 200));
    headless->schedule_at_tick(5, HeadlessInput::ctrl_letter('q'));
    headless->schedule_at_tick(5, HeadlessInput::menu(4));

    EXPECT_EQ(next().message, UINT(WM_TIMER));  // 50
    EXPECT_EQ(next().message, UINT(WM_TIMER));  // 100
    MSG down = next();
    EXPECT_EQ(headless->now_ms(), 150);
    EXPECT_EQ(down.message, UINT(WM_LBUTTONDOWN));
    EXPECT_EQ(down.hwnd, graphics);
    EXPECT_EQ(down.wParam, WPARAM(MK_LBUTTON));
    EXPECT_EQ(LOWORD(down.lParam), 100);
    EXPECT_EQ(HIWORD(down.lParam), 200);
    EXPECT_EQ(next().message, UINT(WM_LBUTTONUP));
    EXPECT_EQ(next().message, UINT(WM_TIMER));  // 150, after the click
    EXPECT_EQ(next().message, UINT(WM_TIMER));  // 200

    std::vector<std::pair<UINT, WPARAM>> got;
    for (int i = 0; i < 7; ++i) {
        MSG m = next();
        TranslateMessage(&m);
        got.push_back({m.message, m.wParam});
    }
    std::vector<std::pair<UINT, WPARAM>> expected = {
        {WM_KEYDOWN, VK_CONTROL}, {WM_KEYDOWN, 'Q'}, {WM_CHAR, 17}, {WM_KEYUP, 'Q'},
        {WM_KEYUP, VK_CONTROL},   {WM_COMMAND, 4},   {WM_TIMER, 2},
    };
    EXPECT_EQ(got, expected);
    EXPECT_EQ(headless->now_ms(), 250);
}

TEST_F(UserTest, TypedKeysCarryTheirCharacter) {
    HWND window = make_window();
    headless->inject(HeadlessInput::typed('a'));
    MSG down = next();
    EXPECT_EQ(down.message, UINT(WM_KEYDOWN));
    EXPECT_EQ(down.wParam, WPARAM('A'));  // letters report the capital's virtual key
    TranslateMessage(&down);
    EXPECT_EQ(next().wParam, WPARAM('a'));
    EXPECT_EQ(portable::virtual_key_for_character('?'), 0xBFu);
    EXPECT_EQ(portable::virtual_key_for_character('7'), UINT('7'));
    (void)window;
}

// What a presenter's HeldKeys posts around a key: nothing extra in a session
// whose every message arrived; the key event's own Ctrl, Shift and Alt where a
// modifier's key-down or key-up went elsewhere; and, when the focus is lost, a
// key-up for every key still down, to the window it went down in, latest first.
TEST(HeldKeys, KeyEventsModifiersWinAndLosingTheFocusReleasesEveryKey) {
    using Posted = std::tuple<HWND, UINT, WPARAM>;
    std::vector<Posted> posted;
    portable::HeldKeys keys([&](HWND window, UINT message, WPARAM key, LPARAM) {
        posted.push_back({window, message, key});
    });
    HWND graphics = reinterpret_cast<HWND>(uintptr_t(0x100));
    HWND text = reinterpret_cast<HWND>(uintptr_t(0x200));
    const portable::HeldModifiers none, shift{false, true, false}, alt{false, false, true},
        ctrl{true, false, false};
    const LPARAM down = portable::key_down_lparam(0), up = portable::key_up_lparam();

    // Shift, X (repeated), both released: a modifier's own bit, as toolkits report
    // it for its own event or not, is its own message's business.
    keys.post_key(graphics, WM_KEYDOWN, VK_SHIFT, down, none);
    keys.post_key(graphics, WM_KEYDOWN, 'X', portable::key_down_lparam('X'), shift);
    keys.post_key(graphics, WM_KEYDOWN, 'X', portable::key_down_lparam('X') | 1 << 30, shift);
    keys.post_key(graphics, WM_KEYUP, 'X', up, shift);
    keys.post_key(graphics, WM_KEYUP, VK_SHIFT, up, shift);
    EXPECT_EQ(posted, (std::vector<Posted>{{graphics, WM_KEYDOWN, VK_SHIFT},
                                           {graphics, WM_KEYDOWN, 'X'},
                                           {graphics, WM_KEYDOWN, 'X'},
                                           {graphics, WM_KEYUP, 'X'},
                                           {graphics, WM_KEYUP, VK_SHIFT}}));

    // Alt's key-up went elsewhere and Ctrl's key-down too: the next key's bits win.
    keys.post_key(graphics, WM_KEYDOWN, VK_MENU, down, alt);
    posted.clear();
    keys.post_key(text, WM_KEYDOWN, VK_LEFT, down, ctrl);
    EXPECT_EQ(posted, (std::vector<Posted>{{graphics, WM_KEYUP, VK_MENU},
                                           {text, WM_KEYDOWN, VK_CONTROL},
                                           {text, WM_KEYDOWN, VK_LEFT}}));
    EXPECT_TRUE(keys.down(VK_CONTROL));
    EXPECT_FALSE(keys.down(VK_MENU));

    posted.clear();
    keys.post_key(graphics, WM_KEYDOWN, VK_SHIFT, down, ctrl);
    keys.release_all();
    keys.release_all();  // nothing is down any more
    EXPECT_EQ(posted, (std::vector<Posted>{{graphics, WM_KEYDOWN, VK_SHIFT},
                                           {graphics, WM_KEYUP, VK_SHIFT},
                                           {text, WM_KEYUP, VK_LEFT},
                                           {text, WM_KEYUP, VK_CONTROL}}));

    // A window that is gone takes its keys with it.
    keys.post_key(text, WM_KEYDOWN, 'Z', down, none);
    keys.forget(text);
    posted.clear();
    keys.release_all();
    EXPECT_TRUE(posted.empty());
}

TEST(InputPlan, ParsesEveryAction) {
    std::vector<portable::PlannedInput> plan;
    std::string error;
    const char* text =
        "# a session\n"
        "\n"
        "  # indented comment\n"
        "0 click 38 103\n"
        "2 key x\n"
        "3 key 65\r\n"
        "4 key #\n"
        "5 ctrl l\n"
        "6 menu 5\n"
        "7 close\n"
        "8 press 1 2\n"
        "8 move 3 4\n"
        "8 release 5 6\n"
        "9 rpress 7 8\n"
        "9 rrelease 9 10\n"
        "9 rclick 11 12\n"
        "10 vkey f12 alt shift\n"
        "10 vkey pgdn\n"
        "10 vkey 45 ctrl\n"
        "11 key \xC3\xA9\n"
        "11 key U+1F600\n";
    ASSERT_TRUE(portable::parse_input_plan(text, plan, error)) << error;
    ASSERT_EQ(plan.size(), 18u);
    // A UTF-8 character: carried by a VK_PACKET key-down when code page 1252 has
    // it, else sent as WM_UNICHAR.
    EXPECT_EQ(plan[16].input.code, UINT(VK_PACKET));
    EXPECT_EQ(plan[16].input.character, 0xE9);
    EXPECT_EQ(plan[16].input.unichar, 0u);
    EXPECT_EQ(plan[17].input.character, 0);
    EXPECT_EQ(plan[17].input.unichar, char32_t(0x1F600));
    const UINT pointer_messages[] = {WM_LBUTTONDOWN, WM_MOUSEMOVE, WM_LBUTTONUP, WM_RBUTTONDOWN,
                                     WM_RBUTTONUP};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(plan[7 + i].input.kind, HeadlessInput::Kind::Pointer);
        EXPECT_EQ(plan[7 + i].input.code, pointer_messages[i]);
        EXPECT_EQ(plan[7 + i].input.x, 1 + 2 * i);
        EXPECT_EQ(plan[7 + i].input.y, 2 + 2 * i);
    }
    EXPECT_EQ(plan[12].input.kind, HeadlessInput::Kind::RightClick);
    EXPECT_EQ(plan[12].input.y, 12);
    EXPECT_EQ(plan[13].input.kind, HeadlessInput::Kind::Special);
    EXPECT_EQ(plan[13].input.code, UINT(VK_F12));
    EXPECT_EQ(plan[13].input.modifiers, 5);
    EXPECT_EQ(plan[14].input.code, UINT(VK_NEXT));
    EXPECT_EQ(plan[14].input.modifiers, 0);
    EXPECT_EQ(plan[15].input.code, UINT(VK_INSERT));
    EXPECT_EQ(plan[15].input.modifiers, 2);
    EXPECT_EQ(plan[0].input.kind, HeadlessInput::Kind::Click);
    EXPECT_EQ(plan[0].input.x, 38);
    EXPECT_EQ(plan[0].input.y, 103);
    EXPECT_EQ(plan[1].input.character, 'x');
    EXPECT_EQ(plan[1].input.code, UINT('X'));
    EXPECT_EQ(plan[2].input.character, 65);
    EXPECT_EQ(plan[3].input.character, '#');
    EXPECT_EQ(plan[4].input.kind, HeadlessInput::Kind::CtrlLetter);
    EXPECT_EQ(plan[4].input.code, UINT('L'));
    EXPECT_EQ(plan[5].input.code, 5u);
    EXPECT_EQ(plan[6].tick, 7);
    EXPECT_EQ(plan[6].input.kind, HeadlessInput::Kind::Close);
}

TEST(InputPlan, BadLinesNameTheirLine) {
    const std::pair<const char*, const char*> cases[] = {
        {"1 click 5\n", "line 1: click needs"},
        {"# ok\nx key a\n", "line 2: expected a tick"},
        {"-1 close\n", "line 1: expected a tick"},
        {"99999999999 close\n", "line 1: expected a tick"},
        {"1 key 300\n", "line 1: expected one character"},
        {"1 key \xC3\xA9\xC3\xA9\n", "line 1: expected one character"},
        {"1 key U+D800\n", "line 1: expected a character U+0020..U+10FFFF"},
        {"1 key U+110000\n", "line 1: expected a character U+0020..U+10FFFF"},
        {"1 key U+zz\n", "line 1: expected a character U+0020..U+10FFFF"},
        {"1 ctrl 7\n", "line 1: ctrl needs one letter"},
        {"1 menu\n", "line 1: menu needs"},
        {"1 jump\n", "line 1: unknown action \"jump\""},
        {"1 close now\n", "line 1: unexpected \"now\""},
        {"1\n", "line 1: missing action"},
        {"1 move 5\n", "line 1: move needs two client coordinates"},
        {"1 rclick 5 40000\n", "line 1: rclick needs"},
        {"1 vkey\n", "line 1: vkey needs a key"},
        {"1 vkey f13\n", "line 1: vkey needs a key"},
        {"1 vkey 255\n", "line 1: vkey needs a key"},
        {"1 vkey left meta\n", "line 1: unexpected \"meta\" after the vkey action"},
    };
    for (const auto& [text, message] : cases) {
        std::vector<portable::PlannedInput> plan;
        std::string error;
        EXPECT_FALSE(portable::parse_input_plan(text, plan, error)) << text;
        EXPECT_EQ(error.rfind(message, 0), 0u) << text << " gave: " << error;
    }
    std::vector<portable::PlannedInput> plan;
    std::string error;
    EXPECT_FALSE(portable::load_input_plan("/nonexistent/plan.txt", plan, error));
    EXPECT_NE(error.find("cannot read"), std::string::npos);
}
