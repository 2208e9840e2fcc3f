// The message queue: Windows' order, the quit message, timers on the virtual
// clock, translation of key-downs, the error when nothing can ever arrive, and the
// record of the program's waits that the entry point's mistake messages read.
#include <cstdio>
#include <cstdlib>

#include "portable/user/activity.h"
#include "user_test_support.h"

using namespace user_test;

namespace {

// `wait` ends the program with exit code 1 and says why on stderr (checked where
// death tests can run: not in the WebAssembly build).
template <class Wait>
void expect_wait_ends_the_program(Wait wait) {
#if GTEST_HAS_DEATH_TEST
    EXPECT_EXIT(wait(), testing::ExitedWithCode(1),
                "GetMessageA would wait forever: no input queued and no timer running");
#else
    (void)wait;
#endif
}

}  // namespace

TEST_F(UserTest, PostedBeforePaintBeforeTimer) {
    HWND window = make_window();
    SetTimer(window, 1, 50, nullptr);
    SetTimer(window, 2, 50, nullptr);
    ShowWindow(window, SW_SHOW);  // invalidates: a WM_PAINT is owed
    PostMessageA(window, WM_USER, 7, 0);

    EXPECT_EQ(next().message, UINT(WM_USER));
    MSG paint = next_dispatched();  // DefWindowProcA validates
    EXPECT_EQ(paint.message, UINT(WM_PAINT));
    EXPECT_EQ(paint.hwnd, window);
    EXPECT_EQ(headless->now_ms(), 0);

    MSG first = next();  // nothing else: the clock jumps to the timers
    EXPECT_EQ(first.message, UINT(WM_TIMER));
    EXPECT_EQ(first.wParam, 1u);
    EXPECT_EQ(headless->now_ms(), 50);
    // Timer 2 is due as well, but a new invalid region comes before it.
    InvalidateRect(window, nullptr, FALSE);
    EXPECT_EQ(next_dispatched().message, UINT(WM_PAINT));
    MSG second = next();
    EXPECT_EQ(second.message, UINT(WM_TIMER));
    EXPECT_EQ(second.wParam, 2u);
    EXPECT_EQ(headless->now_ms(), 50);
}

TEST_F(UserTest, QuitComesAfterPostedMessagesAndBeforePaint) {
    HWND window = make_window();
    ShowWindow(window, SW_SHOW);
    PostMessageA(window, WM_USER, 1, 0);
    PostQuitMessage(3);
    PostMessageA(nullptr, WM_USER + 1, 2, 0);  // a thread message, also posted

    MSG m{};
    EXPECT_TRUE(GetMessageA(&m, nullptr, 0, 0));
    EXPECT_EQ(m.message, UINT(WM_USER));
    EXPECT_TRUE(GetMessageA(&m, nullptr, 0, 0));
    EXPECT_EQ(m.message, UINT(WM_USER + 1));
    EXPECT_EQ(m.hwnd, nullptr);
    EXPECT_FALSE(GetMessageA(&m, nullptr, 0, 0));
    EXPECT_EQ(m.message, UINT(WM_QUIT));
    EXPECT_EQ(m.wParam, 3u);
    // The quit is delivered once; the owed paint follows.
    EXPECT_TRUE(GetMessageA(&m, nullptr, 0, 0));
    EXPECT_EQ(m.message, UINT(WM_PAINT));
    EXPECT_EQ(GetMessageA(nullptr, nullptr, 0, 0), -1);
}

TEST_F(UserTest, TimersRunOnTheVirtualClock) {
    HWND window = make_window();
    EXPECT_EQ(SetTimer(window, 2, 50, nullptr), 2u);
    EXPECT_EQ(next().message, UINT(WM_TIMER));
    EXPECT_EQ(next().message, UINT(WM_TIMER));
    EXPECT_EQ(headless->now_ms(), 100);  // two ticks take 100 virtual ms

    // Setting the id again replaces it: one timer, restarted with the new interval.
    SetTimer(window, 2, 200, nullptr);
    MSG m = next();
    EXPECT_EQ(m.wParam, 2u);
    EXPECT_EQ(headless->now_ms(), 300);
    EXPECT_EQ(m.time, 300u);

    EXPECT_TRUE(KillTimer(window, 2));
    EXPECT_FALSE(KillTimer(window, 2));
    expect_wait_ends_the_program([] {
        MSG after;
        GetMessageA(&after, nullptr, 0, 0);
    });
}

TEST_F(UserTest, MissedTimerPeriodsCoalesce) {
    HWND window = make_window();
    SetTimer(window, 5, 50, nullptr);
    headless->schedule(175, portable::HeadlessInput::click(1, 2, window));
    MSG m{};
    // Only mouse messages: the clock passes three periods without a WM_TIMER.
    ASSERT_TRUE(GetMessageA(&m, nullptr, WM_LBUTTONDOWN, WM_LBUTTONDOWN));
    EXPECT_EQ(headless->now_ms(), 175);
    EXPECT_EQ(next().message, UINT(WM_LBUTTONUP));
    EXPECT_EQ(next().message, UINT(WM_TIMER));  // one message for the missed periods
    EXPECT_EQ(headless->now_ms(), 175);
    EXPECT_EQ(next().message, UINT(WM_TIMER));  // the next period falls on the grid
    EXPECT_EQ(headless->now_ms(), 200);
}

TEST_F(UserTest, DestroyedWindowLosesTimersAndPostedMessages) {
    HWND window = make_window();
    HWND other = make_window("Other");
    SetTimer(window, 1, 50, nullptr);
    SetTimer(other, 1, 80, nullptr);
    PostMessageA(window, WM_USER, 0, 0);
    DestroyWindow(window);
    EXPECT_FALSE(PostMessageA(window, WM_USER, 0, 0));
    EXPECT_EQ(SetTimer(window, 1, 50, nullptr), 0u);
    MSG m = next();
    EXPECT_EQ(m.hwnd, other);
    EXPECT_EQ(headless->now_ms(), 80);
}

// Win32's GetMessageA throws nothing. A headless wait that nothing can ever end
// ends the program with a message and a failure exit code, so it never hangs.
TEST_F(UserTest, GetMessageThatWouldWaitForeverEndsTheProgram) {
#if !GTEST_HAS_DEATH_TEST
    GTEST_SKIP() << "no death tests here";
#endif
    make_window();
    expect_wait_ends_the_program([] {
        MSG m;
        GetMessageA(&m, nullptr, 0, 0);
        std::fputs("GetMessageA returned\n", stderr);
        std::exit(0);
    });
}

TEST_F(UserTest, IdlenessClosesTheFirstWindowThenQuits) {
    headless->set_close_when_idle(true);
    HWND first = make_window("First");
    HWND second = make_window("Second");
    MSG close = next_dispatched();  // DefWindowProcA destroys the window
    EXPECT_EQ(close.message, UINT(WM_CLOSE));
    EXPECT_EQ(close.hwnd, first);
    EXPECT_FALSE(IsWindow(first));
    EXPECT_EQ(next_dispatched().hwnd, second);
    MSG m{};
    EXPECT_FALSE(GetMessageA(&m, nullptr, 0, 0));
    EXPECT_EQ(m.message, UINT(WM_QUIT));
    // Waiting on after the quit gets the quit again, up to a limit; past it the
    // wait that can never end is an error.
    testing::internal::CaptureStderr();
    int repeats = 0;
    while (repeats < portable::HeadlessPresenter::repeat_quit_limit &&
           GetMessageA(&m, nullptr, 0, 0) == FALSE)
        ++repeats;
    EXPECT_EQ(repeats, portable::HeadlessPresenter::repeat_quit_limit);
    testing::internal::GetCapturedStderr();
    expect_wait_ends_the_program([] {
        MSG after;
        GetMessageA(&after, nullptr, 0, 0);
    });
}

TEST_F(UserTest, TranslateMessageMakesTheCharacterNext) {
    HWND graphics = make_window("Graphics");
    HWND text = make_window("Text");
    PostMessageA(text, WM_KEYDOWN, 'X', portable::key_down_lparam('x'));
    PostMessageA(text, WM_KEYUP, 'X', portable::key_up_lparam());
    MSG down = next();
    EXPECT_TRUE(TranslateMessage(&down));
    // The text window forwards the key-down unchanged; the character goes with it.
    PostMessageA(graphics, down.message, down.wParam, down.lParam);
    MSG typed = next();
    EXPECT_EQ(typed.message, UINT(WM_CHAR));  // before the key-up posted earlier
    EXPECT_EQ(typed.hwnd, text);
    EXPECT_EQ(typed.wParam, WPARAM('x'));
    EXPECT_EQ(next().message, UINT(WM_KEYUP));
    MSG forwarded = next();
    EXPECT_EQ(forwarded.hwnd, graphics);
    TranslateMessage(&forwarded);
    MSG again = next();
    EXPECT_EQ(again.message, UINT(WM_CHAR));
    EXPECT_EQ(again.hwnd, graphics);
    EXPECT_EQ(again.wParam, WPARAM('x'));

    // A key-down without a character (Ctrl itself) and a key-up make nothing.
    MSG control{graphics, WM_KEYDOWN, VK_CONTROL, portable::key_down_lparam(0), 0, {0, 0}};
    EXPECT_FALSE(TranslateMessage(&control));
    MSG up{graphics, WM_KEYUP, 'X', portable::key_down_lparam('x'), 0, {0, 0}};
    EXPECT_FALSE(TranslateMessage(&up));
}

TEST_F(UserTest, TimerCallbackRunsOnDispatch) {
    static int calls = 0;
    calls = 0;
    UINT_PTR id = SetTimer(nullptr, 0, 30, [](HWND, UINT, UINT_PTR, DWORD) { ++calls; });
    EXPECT_NE(id, 0u);
    MSG m = next_dispatched();
    EXPECT_EQ(m.message, UINT(WM_TIMER));
    EXPECT_EQ(calls, 1);
}

namespace {
int gap_checks = 0;
int64_t gap_seen = -1;
void count_gap_check() {
    ++gap_checks;
    gap_seen = portable::ms_without_waiting(portable::steady_now_ms());
}
}  // namespace

// Times are real (steady clock) but the verdicts hold on a machine of any speed:
// every "now" given is taken before or after the event it is compared with.
TEST_F(UserTest, WaitsAreRecordedForTheMistakeMessages) {
    using namespace portable;
    EXPECT_FALSE(windows_were_created());
    EXPECT_EQ(ms_without_waiting(steady_now_ms() + 100000), 0);  // no window: no stall
    set_wait_gap_check(count_gap_check);

    int64_t before = steady_now_ms();
    HWND window = make_window();
    int64_t after = steady_now_ms();
    EXPECT_TRUE(windows_were_created());
    EXPECT_FALSE(waited_with_windows_open());
    constexpr int64_t limit = 5000;
    EXPECT_FALSE(first_long_stall(before + limit - 1, limit));  // the window opened at >= before
    EXPECT_TRUE(first_long_stall(after + limit, limit));        // ... and at <= after
    EXPECT_FALSE(first_long_stall(after + 10 * limit, limit));  // said once

    PostMessageA(window, WM_USER, 0, 0);
    int64_t pulled = steady_now_ms();
    MSG m{};
    EXPECT_TRUE(GetMessageA(&m, nullptr, 0, 0));
    int64_t returned = steady_now_ms();
    EXPECT_TRUE(waited_with_windows_open());
    EXPECT_EQ(gap_checks, 1);  // asked on entry, with the time since the window opened
    EXPECT_GE(gap_seen, pulled - after);
    // Counted from the return, which lies between pulled and returned.
    EXPECT_GE(ms_without_waiting(returned + 700), 700);
    EXPECT_LE(ms_without_waiting(returned + 700), 700 + (returned - pulled));

    DestroyWindow(window);
    EXPECT_EQ(ms_without_waiting(steady_now_ms() + 100000), 0);  // closed: no stall
    PostMessageA(nullptr, WM_USER, 0, 0);
    EXPECT_TRUE(GetMessageA(&m, nullptr, 0, 0));
    EXPECT_EQ(gap_checks, 1);  // no window, no check
    set_wait_gap_check(nullptr);

    reset_user_state();
    EXPECT_FALSE(windows_were_created());
    EXPECT_FALSE(waited_with_windows_open());
}
