// Portable entry point: main() for any application written on the Win32 subset.
//
// Reads the platform's options (entry/options.h), picks the presenter (the Qt
// presenter when it is built and a display exists, the headless presenter with
// --headless), sets up the headless run's input plan, frame limit, pictures and
// debug-output log, and calls the application's WinMain with the rest of the
// command line as its tail. The exit code is WinMain's, or 2 for bad options.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "../kernel/system.h"
#include "../presenter.h"
#include "../presenters/headless/input_plan.h"
#include "image_output.h"
#include "options.h"

#ifdef TAVLO_HAVE_QT
// ---- Qt hook: presenters/qt/ supplies this. It returns nullptr when Qt cannot
// open the display; argc/argv are Qt's to read.
namespace portable {
Presenter* make_qt_presenter(int& argc, char** argv);
}
#endif

#ifdef TAVLO_HAVE_WEB
// ---- Web hook: presenters/web/ supplies this. It returns nullptr when the
// program does not run in a page (under node).
#include "../presenters/web/web_presenter.h"
#endif

namespace {

using namespace portable;

std::string program_name(const char* argv0) {
    std::string name = argv0 != nullptr ? argv0 : "program";
    size_t slash = name.rfind('/');
    return slash == std::string::npos ? name : name.substr(slash + 1);
}

bool display_available() {
    auto set = [](const char* name) {
        const char* value = std::getenv(name);
        return value != nullptr && value[0] != '\0';
    };
    return set("DISPLAY") || set("WAYLAND_DISPLAY") || set("QT_QPA_PLATFORM");
}

int run_application(const EntryOptions& options) {
    static char instance_tag;
    auto instance = reinterpret_cast<HINSTANCE>(&instance_tag);
    std::string tail = options.tail;
    return WinMain(instance, nullptr, tail.data(), SW_SHOWDEFAULT);
}

// The debug-output log (--log): every OutputDebugStringA text appended to a file.
class DebugLog {
public:
    bool open(const std::string& path) {
        file_ = std::fopen(path.c_str(), "a");
        if (file_ == nullptr) return false;
        std::FILE* file = file_;
        set_debug_output_sink([file](const char* text) {
            std::fputs(text, file);
            std::fflush(file);
        });
        return true;
    }
    ~DebugLog() {
        if (file_ == nullptr) return;
        set_debug_output_sink(nullptr);
        std::fclose(file_);
    }

private:
    std::FILE* file_ = nullptr;
};

// What the headless run does with each frame of the graphics window: the GIF,
// the progress line and the frame limit.
class FrameWatch {
public:
    FrameWatch(HeadlessPresenter& presenter, const EntryOptions& options, const std::string& name)
        : presenter_(presenter),
          options_(options),
          name_(name),
          progress_(isatty(STDERR_FILENO) != 0) {}

    bool start_gif(std::string& error) {
        gif_on_ = !options_.gif.empty();
        return !gif_on_ || gif_.start(options_.gif, error);
    }

    void frame(HWND window, int number) {
        if (window != presenter_.first_window()) return;
        if (gif_on_ && gif_error_.empty()) {
            gif_.add_frame(presenter_.front_image(window), 5, gif_error_);
        }
        show_progress(number);
        // The last frame asked for: close the window as the user would.
        if (options_.frames != 0 && number == options_.frames) PostMessageA(window, WM_CLOSE, 0, 0);
    }

    // Ends the progress line and the GIF; false when the GIF could not be written.
    bool finish() {
        if (shown_) std::fputc('\n', stderr);
        if (!gif_on_) return true;
        if (gif_error_.empty()) gif_.finish(gif_error_);
        if (gif_error_.empty()) return true;
        std::fprintf(stderr, "%s: --gif: %s\n", name_.c_str(), gif_error_.c_str());
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
    GifRecording gif_;
    std::string gif_error_;
};

int run_headless(const EntryOptions& options, const std::string& name) {
    HeadlessPresenter& headless = default_headless_presenter();
    set_presenter(&headless);
    headless.set_close_when_idle(true);
    headless.set_quiet_limit(10000);
    if (options.client) headless.set_client_size_override(*options.client);
    if (!options.input_plan.empty()) {
        std::vector<PlannedInput> plan;
        std::string error;
        if (!load_input_plan(options.input_plan, plan, error)) {
            std::fprintf(stderr, "%s: --input: %s\n", name.c_str(), error.c_str());
            return 2;
        }
        schedule_input_plan(headless, plan);
    }
    if ((!options.save_png.empty() || !options.gif.empty()) && !image_output_built()) {
        std::fprintf(stderr, "%s: --save/--gif: PNG/GIF output not built yet\n", name.c_str());
        return 2;
    }
    FrameWatch watch(headless, options, name);
    std::string error;
    if (!watch.start_gif(error)) {
        std::fprintf(stderr, "%s: --gif: %s\n", name.c_str(), error.c_str());
        return 2;
    }
    headless.set_frame_observer([&watch](HWND window, int frame) { watch.frame(window, frame); });
    int result = run_application(options);
    headless.set_frame_observer(nullptr);
    bool pictures_ok = watch.finish();
    if (!options.save_png.empty() &&
        !save_png_file(options.save_png, headless.front_image(headless.first_window()), error)) {
        std::fprintf(stderr, "%s: --save: %s\n", name.c_str(), error.c_str());
        pictures_ok = false;
    }
    return result == 0 && !pictures_ok ? 1 : result;
}

int run_with_display(int argc, char** argv, const EntryOptions& options, const std::string& name) {
#ifdef TAVLO_HAVE_QT
    // ---- Qt hook: real windows when a display is there.
    if (display_available()) {
        if (Presenter* qt = make_qt_presenter(argc, argv)) {
            set_presenter(qt);
            return run_application(options);
        }
    }
#endif
#ifdef TAVLO_HAVE_WEB
    // ---- Web hook: the page's windows; the page passes its URL options.
    if (WebPresenter* web = make_web_presenter()) {
        if (options.client) web->set_client_size_override(*options.client);
        web->set_frame_limit(options.frames);
        set_presenter(web);
        end_web_program(run_application(options));
    }
#endif
    (void)argc, (void)argv, (void)display_available;
    std::fprintf(stderr, "%s: no display to open windows on; use --headless to run without one\n",
                 name.c_str());
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
    DebugLog log;
    if (!options.log.empty() && !log.open(options.log)) {
        std::fprintf(stderr, "%s: --log: cannot open %s for appending\n", name.c_str(),
                     options.log.c_str());
        return 2;
    }
    if (options.seed) set_fixed_time(*options.seed);
    try {
        return options.headless ? run_headless(options, name)
                                : run_with_display(argc, argv, options, name);
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "%s: %s\n", name.c_str(), failure.what());
        return 1;
    }
}
