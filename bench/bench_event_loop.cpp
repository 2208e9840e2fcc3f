// The cost of the event loop on the headless presenter: one wait_event that
// returns a periodic event takes two passes (two timer messages), with nothing
// drawn in between, so this is the loop's own cost per pass (x2).
#include <benchmark/benchmark.h>

#include "fresh_state.h"
#include "package_state.h"
#include "portable/presenters/headless/headless_presenter.h"
#include "portable/user/window.h"

namespace {

void wait_event_periodic(benchmark::State& state) {
    fresh_state::reset_platform();
    open_display(nullptr, nullptr, const_cast<char*>(""), SW_SHOWDEFAULT);
    set_logging(0);
    set_animation(AnimationMode::Animate);
    int x, y;
    char key;
    for (auto _ : state) benchmark::DoNotOptimize(wait_event(&x, &y, &key));
    state.counters["passes"] =
        benchmark::Counter(2.0 * double(state.iterations()),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    reset_package_state();
    portable::reset_user_state();
}
BENCHMARK(wait_event_periodic);

}  // namespace
