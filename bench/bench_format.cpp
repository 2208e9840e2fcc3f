// The line formatter behind log_printf and print_text against the C library's
// vsnprintf, on the package's own log lines and on fields where vsnprintf's cost
// grows with the width or precision while the formatter's stays bounded by the
// 1023 characters it keeps. vsnprintf is measured only where it finishes in
// moments; the two-billion-wide fields are the formatter's alone.
#include <benchmark/benchmark.h>

#include <cstdarg>
#include <cstdio>
#include <cwchar>

#include "line_format.h"

namespace {

int ours(const char* format, ...) {
    char buffer[log_line_buffer];
    va_list args;
    va_start(args, format);
    int count = format_line(buffer, format, args);
    va_end(args);
    benchmark::DoNotOptimize(buffer);
    return count;
}

int theirs(const char* format, ...) {
    char buffer[log_line_buffer];
    va_list args;
    va_start(args, format);
    int count = vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    benchmark::DoNotOptimize(buffer);
    return count;
}

using Formatter = int (*)(const char*, ...);

// The call log's line of a drawing call.
template <Formatter f>
void BM_CallLogLine(benchmark::State& state) {
    for (auto _ : state) f("%s text at (%d,%d), \"%s\"\n", "Printed", -120, 45, "scale cube");
}
BENCHMARK(BM_CallLogLine<ours>);
BENCHMARK(BM_CallLogLine<theirs>);

template <Formatter f>
void BM_Width100000(benchmark::State& state) {
    for (auto _ : state) f("%100000d|%-100000s", 42, "left");
}
BENCHMARK(BM_Width100000<ours>);
BENCHMARK(BM_Width100000<theirs>);

template <Formatter f>
void BM_WideWidth100000(benchmark::State& state) {
    for (auto _ : state) f("%*lc|%-100000ls", 100000, wint_t('w'), L"wide");
}
BENCHMARK(BM_WideWidth100000<ours>);
BENCHMARK(BM_WideWidth100000<theirs>);

template <Formatter f>
void BM_NumberedWidth100000(benchmark::State& state) {
    for (auto _ : state) f("%2$s %1$100000d", 7, "numbered");
}
BENCHMARK(BM_NumberedWidth100000<ours>);
BENCHMARK(BM_NumberedWidth100000<theirs>);

template <Formatter f>
void BM_DoublePrecision20000(benchmark::State& state) {
    for (auto _ : state) f("%.20000f", 0.1);
}
BENCHMARK(BM_DoublePrecision20000<ours>);
BENCHMARK(BM_DoublePrecision20000<theirs>);

// Long doubles of 16,000 digits, twenty in one line.
template <Formatter f>
void BM_TwentyLongDoubles16000(benchmark::State& state) {
#define TWENTY(d) d d d d d d d d d d d d d d d d d d d d
#define TEN_ARGS(v) v, v, v, v, v, v, v, v, v, v
    for (auto _ : state) f(TWENTY("%.16000Le"), TEN_ARGS(1e-4940L), TEN_ARGS(1.0L / 3));
#undef TWENTY
#undef TEN_ARGS
}
BENCHMARK(BM_TwentyLongDoubles16000<ours>)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TwentyLongDoubles16000<theirs>)->Unit(benchmark::kMillisecond);

// Two billion wide: vsnprintf takes seconds for each of these.
void BM_OursTwoBillionWide(benchmark::State& state) {
    for (auto _ : state) {
        ours("%2000000000d", 5);
        ours("%*lc", 2000000000, wint_t('x'));
        ours("%1$2000000000d", 7);
        ours("%.2000000000Lf", 0.1L);
    }
}
BENCHMARK(BM_OursTwoBillionWide);

}  // namespace
