// Portable entry point: main() for any application written on the Win32 subset.
//
// Reads the platform's options (entry/options.h), picks the presenter (the
// headless presenter with --headless, else the first of entry/presenter_list.h
// that opens), sets up the headless run's input plan, frame limit, pictures and
// debug-output log, and calls the application's WinMain with the rest of the
// command line as its tail. The exit code is WinMain's, 2 for bad options, or 4
// when --timeout ended the run (entry/watchdog.h). A program that returns from
// WinMain without ever having waited for an event while its windows were open
// is told that its windows close as it returns.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "../image/gif_writer.h"
#include "../image/output_file.h"
#include "../kernel/system.h"
#include "../presenter_kit/presenter.h"
#include "../presenters/headless/input_plan.h"
#include "../user/activity.h"
#include "../user/window.h"
#include "image_output.h"
#include "options.h"
#include "presenter_list.h"
#include "watchdog.h"

namespace {

using namespace portable;

std::string program_name(const char* argv0) {
    std::string name = argv0 != nullptr ? argv0 : "program";
    size_t slash = name.rfind('/');
    return slash == std::string::npos ? name : name.substr(slash + 1);
}

// A common first mistake: drawing, then returning from WinMain at once, so the
// windows flash and close. One line, after WinMain has returned.
void tell_about_missing_wait(const std::string& name) {
    if (!windows_were_created() || waited_with_windows_open()) return;
    std::fprintf(stderr,
                 "%s: WinMain returned without ever waiting for an event, and its windows close "
                 "when WinMain returns: a program waits for events in a loop, "
                 "while (wait_event(&x, &y, &key) != EventKind::Quit) (see \"2. The program\" "
                 "in docs/getting-started.md)\n",
                 name.c_str());
}

int run_application(const EntryOptions& options, const std::string& name) {
    static char instance_tag;
    auto instance = reinterpret_cast<HINSTANCE>(&instance_tag);
    std::string tail = options.tail;
    int result = WinMain(instance, nullptr, tail.data(), SW_SHOWDEFAULT);
    // What the program drew after its last wait is shown too (its last frame).
    present_changed_windows();
    stop_watching_waits();
    tell_about_missing_wait(name);
    return result;
}

// The debug-output log (--log): every OutputDebugStringA text appended to a file,
// or written to standard output for `--log -`. The first text that cannot be
// written is said on standard error; the run then ends with a non-zero exit code
// (finish).
class DebugLog {
public:
    bool open(const std::string& path, const std::string& program) {
        path_ = path == "-" ? "standard output" : path;
        program_ = program;
        to_stdout_ = path == "-";
        file_ = to_stdout_ ? stdout : std::fopen(path.c_str(), "a");
        if (file_ == nullptr) return false;
        set_debug_output_sink([this](const char* text) { append(text); });
        return true;
    }
    // Closes the file; false when any text was not written.
    bool finish() {
        if (file_ == nullptr) return true;
        set_debug_output_sink(nullptr);
        errno = 0;
        if ((to_stdout_ ? std::fflush(file_) : std::fclose(file_)) != 0) report(errno);
        file_ = nullptr;
        return !failed_;
    }
    ~DebugLog() { finish(); }

private:
    void append(const char* text) {
        errno = 0;
        if (std::fputs(text, file_) < 0 || std::fflush(file_) != 0) report(errno);
    }
    void report(int error_number) {
        if (failed_) return;
        failed_ = true;
        std::fprintf(stderr, "%s: --log: cannot write %s: %s\n", program_.c_str(), path_.c_str(),
                     std::strerror(error_number != 0 ? error_number : EIO));
    }

    std::string path_;
    std::string program_;
    std::FILE* file_ = nullptr;
    bool to_stdout_ = false;
    bool failed_ = false;
};

// --frames, for any presenter: after N frames of the main window, it is closed
// as the user would close it. A program that holds the system busy then (playing
// a script back) is cut short, which report() says.
class FrameLimit {
public:
    FrameLimit(Presenter& presenter, int64_t frames) : presenter_(presenter), frames_(frames) {}

    void frame(HWND window, int number) {
        if (frames_ == 0 || number != frames_ || window != presenter_.main_window()) return;
        PostMessageA(window, WM_CLOSE, 0, 0);
        reached_ = true;
        cut_short_ = system_required();
    }

    bool reached() const { return reached_; }

    void report(const std::string& name) const {
        if (!cut_short_) return;
        std::fprintf(stderr,
                     "%s: --frames %lld ended the run while the program was busy playing back a "
                     "script: the replay was cut short\n",
                     name.c_str(), static_cast<long long>(frames_));
    }

private:
    Presenter& presenter_;
    int64_t frames_;
    bool cut_short_ = false;
    bool reached_ = false;
};

// What the headless run does with each frame of the graphics window: the GIF,
// the progress line and the frame limit.
class FrameWatch {
public:
    FrameWatch(HeadlessPresenter& presenter, const EntryOptions& options, const std::string& name)
        : presenter_(presenter),
          options_(options),
          name_(name),
          progress_(isatty(STDERR_FILENO) != 0),
          limit_(presenter, options.frames) {}

    bool start_gif(std::string& error) {
        gif_on_ = !options_.gif.empty();
        if (!gif_on_ || gif_.open_at_first_frame(options_.gif)) return true;
        error = gif_.error();
        return false;
    }

    void frame(HWND window, int number) {
        if (window != presenter_.main_window()) return;
        if (gif_on_ && gif_ok_) {
            HeadlessImage image = presenter_.front_image(window);
            if (image.width > 0 && image.height > 0)
                gif_ok_ = gif_.add_sized_frame(image.pixels.data(), image.width, image.height, 5);
        }
        show_progress(number);
        limit_.frame(window, number);
    }

    bool limit_reached() const { return limit_.reached(); }

    // Ends the progress line and the GIF; false when the GIF could not be written.
    bool finish() {
        if (shown_) std::fputc('\n', stderr);
        limit_.report(name_);
        if (!gif_on_) return true;
        if (gif_ok_) gif_ok_ = gif_.close();
        if (gif_ok_) return true;
        std::fprintf(stderr, "%s: --gif: %s\n", name_.c_str(), gif_.error().c_str());
        return false;
    }

private:
    void show_progress(int number) {
        // Only long runs get a progress line, updated every tenth frame and at the end.
        bool long_run = options_.frames == 0 || options_.frames >= 100;
        if (!progress_ || !long_run) return;
        if (number % 10 != 0 && number != options_.frames) return;
        if (options_.frames != 0) {
            std::fprintf(stderr, "\rframe %d/%lld", number,
                         static_cast<long long>(options_.frames));
        } else {
            std::fprintf(stderr, "\rframe %d", number);
        }
        shown_ = true;
    }

    HeadlessPresenter& presenter_;
    const EntryOptions& options_;
    std::string name_;
    bool progress_;
    bool shown_ = false;
    bool gif_on_ = false;
    FrameLimit limit_;
    GifWriter gif_;
    bool gif_ok_ = true;
};

// --save-at: the graphics window's picture when the virtual clock reaches each
// given tick, taken just before the clock moves there, so before that tick's
// input and timers. A tick the run never reaches gets the last picture.
class PicturesAt {
public:
    PicturesAt(HeadlessPresenter& presenter, const EntryOptions& options, const std::string& name)
        : presenter_(presenter), name_(name) {
        for (const EntryOptions::PictureAt& picture : options.save_at)
            pending_.push_back({picture.tick * headless_tick_ms, picture.path});
    }

    bool check_paths(std::string& error) const {
        for (const Pending& picture : pending_) {
            if (!can_write_picture(picture.path, error)) return false;
        }
        return true;
    }

    void clock_moves(int64_t to_ms) {
        for (Pending& picture : pending_) {
            if (!picture.done && picture.at_ms <= to_ms) write(picture);
        }
    }

    // Writes the pictures of ticks the run never reached; false when any write failed.
    bool finish() {
        for (Pending& picture : pending_) {
            if (!picture.done) write(picture);
        }
        return ok_;
    }

private:
    struct Pending {
        int64_t at_ms;
        std::string path;
        bool done = false;
    };

    void write(Pending& picture) {
        picture.done = true;
        std::string error;
        if (save_png_file(picture.path, presenter_.front_image(presenter_.first_window()), error))
            return;
        std::fprintf(stderr, "%s: --save-at: %s: %s\n", name_.c_str(), picture.path.c_str(),
                     error.c_str());
        ok_ = false;
    }

    HeadlessPresenter& presenter_;
    std::string name_;
    std::vector<Pending> pending_;
    bool ok_ = true;
};

// --summary: how the run ended, written whole at the end.
bool write_summary(const std::string& path, HeadlessPresenter& presenter, bool frame_limit,
                   std::string& error) {
    OutputFile file;
    if (!file.open(path, error)) return false;
    const char* ended = frame_limit ? "frames" : presenter.closed_when_idle() ? "idle" : "program";
    std::fprintf(file.stream(), "ended %s\ntick %lld\nframes %d\n", ended,
                 static_cast<long long>(presenter.now_ms() / headless_tick_ms),
                 presenter.frames(presenter.first_window()));
    return file.commit(error);
}

int run_headless(const EntryOptions& options, const std::string& name) {
    HeadlessPresenter& headless = default_headless_presenter();
    set_presenter(&headless);
    headless.set_close_when_idle(true);
    headless.set_quiet_limit(10000);
    if (options.client) headless.set_client_size_override(*options.client);
    std::string error;
    if (!options.input_plan.empty()) {
        std::vector<PlannedInput> plan;
        if (!load_input_plan(options.input_plan, plan, error)) {
            std::fprintf(stderr, "%s: --input: %s\n", name.c_str(), error.c_str());
            return 2;
        }
        schedule_input_plan(headless, plan);
    }
    if (!options.save_png.empty() && !can_write_picture(options.save_png, error)) {
        std::fprintf(stderr, "%s: --save: %s\n", name.c_str(), error.c_str());
        return 2;
    }
    PicturesAt pictures_at(headless, options, name);
    if (!pictures_at.check_paths(error)) {
        std::fprintf(stderr, "%s: --save-at: %s\n", name.c_str(), error.c_str());
        return 2;
    }
    if (!options.summary.empty() && !OutputFile::can_write(options.summary, error)) {
        std::fprintf(stderr, "%s: --summary: %s\n", name.c_str(), error.c_str());
        return 2;
    }
    FrameWatch watch(headless, options, name);
    if (!watch.start_gif(error)) {
        std::fprintf(stderr, "%s: --gif: %s\n", name.c_str(), error.c_str());
        return 2;
    }
    headless.set_frame_observer([&watch](HWND window, int frame) { watch.frame(window, frame); });
    if (!options.save_at.empty())
        headless.set_clock_observer(
            [&pictures_at](int64_t to_ms) { pictures_at.clock_moves(to_ms); });
    int result = run_application(options, name);
    headless.set_frame_observer(nullptr);
    headless.set_clock_observer(nullptr);
    bool pictures_ok = watch.finish();
    if (!pictures_at.finish()) pictures_ok = false;
    if (!options.summary.empty() &&
        !write_summary(options.summary, headless, watch.limit_reached(), error)) {
        std::fprintf(stderr, "%s: --summary: %s\n", name.c_str(), error.c_str());
        pictures_ok = false;
    }
    if (!options.save_png.empty() &&
        !save_png_file(options.save_png, headless.front_image(headless.first_window()), error)) {
        std::fprintf(stderr, "%s: --save: %s\n", name.c_str(), error.c_str());
        pictures_ok = false;
    }
    return result == 0 && !pictures_ok ? 1 : result;
}

// Real windows: the first presenter of the list that opens.
int run_with_display(int argc, char** argv, const EntryOptions& options, const std::string& name) {
    std::string why;  // the first presenter's reason for not opening
    for (const WindowPresenter& candidate : window_presenters()) {
        std::string reason;
        Presenter* opened = candidate.open(argc, argv, options, reason);
        if (opened == nullptr) {
            if (why.empty()) why = reason;
            continue;
        }
        set_presenter(opened);
        FrameLimit limit(*opened, options.frames);
        opened->set_frame_observer(
            [&limit](HWND window, int frame) { limit.frame(window, frame); });
        // Real time and real windows: a program that stops waiting is told.
        watch_waiting();
        int result = run_application(options, name);
        opened->set_frame_observer(nullptr);
        limit.report(name);
        if (candidate.end != nullptr) candidate.end(result);
        return result;
    }
    if (why.empty()) why = "this build opens no real windows";
    std::fprintf(stderr, "%s: %s; use --headless to run without one\n", name.c_str(), why.c_str());
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    std::string name = program_name(argc > 0 ? argv[0] : nullptr);
    EntryOptions options;
    std::string error;
    if (!parse_entry_options(argc, argv, options, error)) {
        std::fprintf(stderr, "%s: %s (see --help)\n", name.c_str(), error.c_str());
        return 2;
    }
    if (options.help) {
        std::fputs(entry_usage(name).c_str(), stdout);
        return 0;
    }
    if (!check_separate_files(options, error)) {
        std::fprintf(stderr, "%s: %s\n", name.c_str(), error.c_str());
        return 2;
    }
    // The timeout runs from here: opening the log and reading the input plan can
    // block for ever (a FIFO that no other program opens), and --timeout ends that
    // too. Without --timeout such an open waits, as for a reader that comes later.
    start_watchdog(name, options.timeout);
    DebugLog log;
    if (!options.log.empty() && !log.open(options.log, name)) {
        std::fprintf(stderr, "%s: --log: cannot open %s for appending: %s\n", name.c_str(),
                     options.log.c_str(), std::strerror(errno));
        return 2;
    }
    if (options.seed) set_fixed_time(*options.seed);
    // Nothing below throws: the platform reports failures through return values
    // and ends a wait that can never end itself, so this builds without exceptions.
    int result = options.headless ? run_headless(options, name)
                                  : run_with_display(argc, argv, options, name);
    bool log_ok = log.finish();
    stop_watchdog();
    return !log_ok && result == 0 ? 1 : result;
}
