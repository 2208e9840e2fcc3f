// One frame's worth of drawing through the package's drawing calls, onto an
// off-screen canvas: clear, 316 small triangles (314 filled, 2 outlined 2 px), 21
// rectangles (9 filled, 12 outlined 1 or 2 px), 307 one-pixel lines and 12 short
// texts of sizes 10 to 25 - the shape of one frame of the cubes demo.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "cubes.h"
#include "frame_pose.h"
#include "fresh_state.h"
#include "package_state.h"

namespace {

void draw_frame_workload() {
    clear_canvas();
    // Three clusters of small triangles, like three cube frames.
    for (int i = 0; i < 314; ++i) {
        int cx = -120 + (i % 3) * 110, cy = -60 + (i % 3) * 50;
        int a = (i * 37) % 60 - 30, b = (i * 53) % 60 - 30;
        draw_triangle(23, cx + a, cy + b, cx + b, cy - a, cx - a / 2, cy + b / 2, 0);
    }
    draw_triangle(1, -275, 130, -250, 130, -263, 155, 2);
    draw_triangle(1, -275, 120, -250, 120, -263, 95, 2);
    for (int i = 0; i < 9; ++i) draw_rectangle(1, -290 + 20 * i, 240, -270 + 20 * i, 220, 0);
    for (int i = 0; i < 12; ++i)
        draw_rectangle(0, -290 + 20 * i, 200, -270 + 20 * i, 180, 1 + i % 2);
    for (int i = 0; i < 307; ++i) {
        int cx = -120 + (i % 3) * 110, cy = -60 + (i % 3) * 50;
        int a = (i * 29) % 100 - 50, b = (i * 41) % 100 - 50;
        draw_line(0, cx + a, cy + b, cx - b, cy + a, 1);
    }
    static const char* captions[12] = {"-",
                                       "+",
                                       "+",
                                       "-",
                                       "move cubes",
                                       "scale cubes",
                                       "!",
                                       "change color",
                                       "rotate cubes",
                                       "randomize",
                                       "TAVLO demo",
                                       "tavlo.example"};
    for (int i = 0; i < 12; ++i)
        print_text(0, -290 + 40 * (i % 6), 160 - 60 * (i / 6), 10 + (i * 3) % 16, "%s",
                   captions[i]);
}

void bench_frame(benchmark::State& state) {
    OffscreenCanvas canvas;
    for (auto _ : state) {
        draw_frame_workload();
        benchmark::DoNotOptimize(package_state.canvas_bitmap);
    }
    state.SetItemsProcessed(state.iterations() * 657);
}
// The least of the repetitions shows the cost on an otherwise idle machine.
double least(const std::vector<double>& v) {
    return *std::min_element(v.begin(), v.end());
}

BENCHMARK(bench_frame)->Unit(benchmark::kMicrosecond)->ComputeStatistics("min", least);

// One complete periodic turn of the demo at a fixed pose: clear, recompute the
// scene from its models, draw the cubes, the letter and the panel (657 calls).
void demo_frame(benchmark::State& state) {
    OffscreenCanvas canvas;
    FramePose pose;
    for (auto _ : state) {
        pose.turn();
        benchmark::DoNotOptimize(package_state.canvas_bitmap);
    }
    state.SetItemsProcessed(state.iterations() * 657);
}
BENCHMARK(demo_frame)->Unit(benchmark::kMicrosecond)->ComputeStatistics("min", least);

}  // namespace
