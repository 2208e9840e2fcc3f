// One GetMessageA + DispatchMessageA round trip with a 50 ms timer running on the
// headless presenter's virtual clock: the cost of the message pump itself.
#include <benchmark/benchmark.h>

#include "portable/presenters/headless/headless_presenter.h"
#include "portable/user/window.h"
#include "win32.h"

namespace {

LRESULT CALLBACK counting_proc(HWND window, UINT message, WPARAM w, LPARAM l) {
    if (message == WM_TIMER) return 0;
    return DefWindowProcA(window, message, w, l);
}

void BM_TimerMessageRoundTrip(benchmark::State& state) {
    portable::reset_user_state();
    portable::HeadlessPresenter headless;
    portable::set_presenter(&headless);
    WNDCLASSA description{};
    description.lpfnWndProc = counting_proc;
    description.lpszClassName = "BenchWndClass";
    RegisterClassA(&description);
    HWND window = CreateWindowExA(0, "BenchWndClass", "Bench", WS_CAPTION | WS_SYSMENU, 0, 0, 601,
                                  540, nullptr, nullptr, nullptr, nullptr);
    ShowWindow(window, SW_SHOW);
    SetTimer(window, 2, 50, nullptr);
    MSG message;
    for (auto _ : state) {
        GetMessageA(&message, nullptr, 0, 0);
        TranslateMessage(&message);
        DispatchMessageA(&message);
        benchmark::DoNotOptimize(message);
    }
    state.counters["virtual_ms"] = double(headless.now_ms());
    portable::reset_user_state();
    portable::set_presenter(nullptr);
}
BENCHMARK(BM_TimerMessageRoundTrip);

}  // namespace
