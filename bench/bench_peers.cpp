// One periodic turn of the cubes demo measured three ways in the same run, so the
// ratios between them do not depend on the machine's load of the moment:
//   - demo_frame: the turn itself through the package (clear, recompute, 656 calls);
//   - qpainter_frame: the same frame's drawing calls, captured once through the
//     package, replayed with QPainter onto a 601 x 540 QImage (antialiasing off, a
//     pen and brush per call, a QFont per text);
//   - floor_frame: the pixel runs our rasterizer writes for that frame, captured
//     once, replayed as plain fills of the same colours (clear included).
// After the runs it prints demo_frame against the floor and QPainter against
// demo_frame, from the medians when there are repetitions.
#include <benchmark/benchmark.h>

#include <QtGui/QFont>
#include <QtGui/QGuiApplication>
#include <QtGui/QImage>
#include <QtGui/QPainter>
#include <QtGui/QPolygon>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "cubes.h"
#include "frame_pose.h"
#include "fresh_state.h"
#include "package_state.h"
#include "portable/gdi/observer.h"

namespace {

struct Span {
    uint32_t offset;  // of its first pixel in the canvas
    uint32_t count;
    uint32_t color;
};

struct Call {
    portable::DrawCall::Kind kind;
    std::vector<QPoint> points;
    bool pen;
    int pen_width;
    QColor pen_color;
    bool brush;
    QColor brush_color;
    QString text;
    int pixel_size;
};

QColor qcolor(uint32_t colorref) {
    return QColor(colorref & 0xFF, (colorref >> 8) & 0xFF, (colorref >> 16) & 0xFF);
}

// Records the frame's calls and canvas spans; single pixels that continue the
// last span of the same colour on the same row join it.
class FrameRecorder : public portable::DrawObserver {
public:
    std::vector<Call> calls;
    std::vector<Span> spans;
    uint64_t pixels = 0;

    void call(const portable::DrawCall& c) override {
        Call r{c.kind,
               {},
               c.pen,
               int(c.pen_width),
               qcolor(c.pen_color),
               c.brush,
               qcolor(c.brush_color),
               {},
               0};
        if (c.kind == portable::DrawCall::Text) {
            r.points.push_back(QPoint(int(c.points[0].x), int(c.points[0].y)));
            r.text = QString::fromUtf8(c.text, c.count);
            r.pixel_size = c.font_height < 0 ? -c.font_height : c.font_height;
            r.pen_color = qcolor(c.text_color);
        } else {
            for (int i = 0; i < c.count; ++i)
                r.points.push_back(QPoint(int(c.points[i].x), int(c.points[i].y)));
        }
        calls.push_back(std::move(r));
    }
    void span(const portable::Surface& s, int64_t y, int64_t x0, int64_t x1,
              uint32_t color) override {
        if (s.pixels != canvas_pixels) return;
        auto offset = uint32_t(y * s.width + x0), count = uint32_t(x1 - x0);
        pixels += count;
        if (!spans.empty()) {
            Span& last = spans.back();
            bool same_row =
                uint32_t(y * s.width) <= last.offset && last.offset < uint32_t((y + 1) * s.width);
            if (last.color == color && same_row && last.offset + last.count == offset) {
                last.count += count;
                return;
            }
            if (last.color == color && same_row && offset + count == last.offset) {
                last.offset = offset;
                last.count += count;
                return;
            }
        }
        spans.push_back({offset, count, color});
    }
    const uint32_t* canvas_pixels = nullptr;
};

// The frame's calls and spans, captured once.
FrameRecorder& recorded_frame() {
    static FrameRecorder recorder = [] {
        FrameRecorder r;
        OffscreenCanvas canvas;
        FramePose pose;
        r.canvas_pixels = package_state.canvas_bitmap->pixels.data();
        portable::set_draw_observer(&r);
        pose.turn();
        portable::set_draw_observer(nullptr);
        return r;
    }();
    return recorder;
}

void demo_frame(benchmark::State& state) {
    OffscreenCanvas canvas;
    FramePose pose;
    for (auto _ : state) {
        pose.turn();
        benchmark::DoNotOptimize(package_state.canvas_bitmap->pixels.data());
    }
}
BENCHMARK(demo_frame)->Unit(benchmark::kMicrosecond);

void qpainter_frame(benchmark::State& state) {
    const FrameRecorder& frame = recorded_frame();
    QImage image(canvas_width, canvas_height, QImage::Format_RGB32);
    for (auto _ : state) {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing, false);
        for (const Call& c : frame.calls) {
            if (c.kind == portable::DrawCall::Text) {
                QFont font(QStringLiteral("Liberation Sans"));
                font.setPixelSize(std::max(c.pixel_size, 1));
                painter.setFont(font);
                painter.setPen(QPen(c.pen_color));
                painter.drawText(c.points[0].x(), c.points[0].y() + c.pixel_size, c.text);
                continue;
            }
            if (c.pen) {
                QPen pen(c.pen_color, c.pen_width > 1 ? c.pen_width : 0);
                pen.setCapStyle(Qt::RoundCap);
                pen.setJoinStyle(Qt::RoundJoin);
                painter.setPen(pen);
            } else {
                painter.setPen(Qt::NoPen);
            }
            painter.setBrush(c.brush ? QBrush(c.brush_color) : QBrush(Qt::NoBrush));
            const QPoint* p = c.points.data();
            switch (c.kind) {
                case portable::DrawCall::Polygon:
                    painter.drawPolygon(p, int(c.points.size()));
                    break;
                case portable::DrawCall::Line: painter.drawLine(p[0], p[1]); break;
                case portable::DrawCall::Rectangle:
                    painter.drawRect(QRect(p[0], p[1] - QPoint(1, 1)));
                    break;
                case portable::DrawCall::Ellipse:
                    painter.drawEllipse(QRect(p[0], p[1] - QPoint(1, 1)));
                    break;
                default: break;
            }
        }
        painter.end();
        benchmark::DoNotOptimize(image.constBits());
    }
}
BENCHMARK(qpainter_frame)->Unit(benchmark::kMicrosecond);

// A plain fill of n pixels: single stores for a few, else 16-byte stores, the
// last one overlapping the one before.
inline void fill_run(uint32_t* p, uint32_t n, uint32_t color) {
    if (n < 4) {
        for (uint32_t i = 0; i < n; ++i) p[i] = color;
        return;
    }
    typedef uint32_t Quad __attribute__((vector_size(16)));
    Quad quad = {color, color, color, color};
    for (uint32_t i = 0; i + 4 <= n; i += 4) std::memcpy(p + i, &quad, sizeof quad);
    std::memcpy(p + n - 4, &quad, sizeof quad);
}

void floor_frame(benchmark::State& state) {
    const FrameRecorder& frame = recorded_frame();
    std::vector<uint32_t> canvas(size_t(canvas_width) * canvas_height);
    for (auto _ : state) {
        uint32_t* pixels = canvas.data();
        for (const Span& s : frame.spans) fill_run(pixels + s.offset, s.count, s.color);
        benchmark::DoNotOptimize(canvas.data());
        benchmark::ClobberMemory();
    }
    state.counters["spans"] = double(frame.spans.size());
    state.counters["pixels"] = double(frame.pixels);
}
BENCHMARK(floor_frame)->Unit(benchmark::kMicrosecond);

// Console output as usual; keeps each benchmark's median (or its single run).
class RatioReporter : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> median, single;
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            std::string name = run.run_name.function_name;
            double time = run.GetAdjustedRealTime();
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median")
                median[name] = time;
            else if (run.run_type == Run::RT_Iteration)
                single[name] = time;
        }
        ConsoleReporter::ReportRuns(runs);
    }
    double time_of(const std::string& name) const {
        auto m = median.find(name);
        if (m != median.end()) return m->second;
        auto s = single.find(name);
        return s != single.end() ? s->second : 0;
    }
};

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    int qt_argc = 1;
    QGuiApplication application(qt_argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    double ours = reporter.time_of("demo_frame"), qt = reporter.time_of("qpainter_frame"),
           floor = reporter.time_of("floor_frame");
    const char* basis = reporter.median.empty() ? "single runs" : "medians";
    if (ours > 0 && floor > 0)
        std::printf("demo_frame / floor_frame    = %.2f (%s)\n", ours / floor, basis);
    if (ours > 0 && qt > 0)
        std::printf("qpainter_frame / demo_frame = %.2f (%s)\n", qt / ours, basis);
    const FrameRecorder& frame = recorded_frame();
    std::printf("frame: %zu calls, %zu spans, %llu pixels written\n", frame.calls.size(),
                frame.spans.size(), static_cast<unsigned long long>(frame.pixels));
    return 0;
}
