// Qt presenter: windows, input, waiting and the clock on Qt 6 Widgets.
#include "qt_presenter.h"

#include <dlfcn.h>

#include <QApplication>
#include <QLayout>
#include <QMenuBar>
#include <QScreen>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "../../presenter_kit/code_page.h"
#include "../../user/menu.h"
#include "../../user/window.h"

namespace portable {

namespace {

// USER's menu as a nested copy the mirror can compare with what it shows.
// AppendMenuA refuses cycles; the depth bound only keeps this finite regardless.
MenuModel menu_model(HMENU menu, int depth = 0) {
    MenuModel model;
    if (menu == nullptr || depth > 16) return model;
    for (const MenuItem& item : menu_items(menu)) {
        MenuModelItem copy{item.flags, item.id, item.text, {}};
        if (item.popup()) copy.items = menu_model(item.submenu, depth + 1);
        model.push_back(std::move(copy));
    }
    return model;
}

QColor qt_color(COLORREF color) {
    return QColor(GetRValue(color), GetGValue(color), GetBValue(color));
}

QMargins frame_margins(const QWidget& widget) {
    const QRect inner = widget.geometry();
    const QRect outer = widget.frameGeometry();
    return {inner.left() - outer.left(), inner.top() - outer.top(), outer.right() - inner.right(),
            outer.bottom() - inner.bottom()};
}

}  // namespace

struct QtPresenter::Shown {
    HWND handle = nullptr;
    QPointer<QWidget> widget;  // MenuWindow or PlainWindow
    ClientView* view = nullptr;
    std::unique_ptr<MenuBarMirror> menu;
    bool with_menu = false;
    QMargins frame;  // the frame the outer size was last fitted to

    ~Shown() { discard_widget(); }

    void discard_widget() {
        menu.reset();
        view = nullptr;
        if (!widget) return;
        widget->hide();
        widget->deleteLater();
        widget = nullptr;
    }
};

QtPresenter::QtPresenter()
    : keys_([this](HWND window, UINT message, WPARAM w, LPARAM l) { post(window, message, w, l); }),
      deadline_(std::make_unique<QTimer>()) {
    deadline_->setSingleShot(true);
    deadline_->setTimerType(Qt::PreciseTimer);
    QObject::connect(deadline_.get(), &QTimer::timeout, deadline_.get(),
                     [this] { timed_out_ = true; });
}

QtPresenter::~QtPresenter() {
    windows_.clear();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

QtPresenter::Shown* QtPresenter::find(HWND window) const {
    auto found = windows_.find(window);
    return found == windows_.end() ? nullptr : found->second.get();
}

QWidget* QtPresenter::top_level(HWND window) const {
    Shown* shown = find(window);
    return shown != nullptr ? shown->widget.data() : nullptr;
}

ClientView* QtPresenter::view(HWND window) const {
    Shown* shown = find(window);
    return shown != nullptr ? shown->view : nullptr;
}

QMenuBar* QtPresenter::menu_bar(HWND window) const {
    Shown* shown = find(window);
    if (shown == nullptr || !shown->with_menu || !shown->widget) return nullptr;
    return static_cast<MenuWindow*>(shown->widget.data())->menuBar();
}

// ------------------------------------------------------------ windows

void QtPresenter::window_created(HWND window) {
    HWND__* record = live_window(window);
    if (record == nullptr || record->parent != nullptr || (record->style & WS_CHILD)) return;
    auto shown = std::make_unique<Shown>();
    shown->handle = window;
    build_widget(*shown, record->menu != nullptr);
    windows_[window] = std::move(shown);
}

void QtPresenter::build_widget(Shown& shown, bool with_menu) {
    HWND window = shown.handle;
    HWND__* record = live_window(window);
    shown.discard_widget();
    WindowEvents events;
    events.post = [this, window](UINT message, WPARAM w, LPARAM l) { post(window, message, w, l); };
    events.geometry_changed = [this, window] { geometry_checks_.push_back(window); };
    events.key = [this, window](UINT message, UINT vk, LPARAM l, HeldModifiers held) {
        keys_.post_key(window, message, vk, l, held);
    };
    events.focus_lost = [this] { keys_.release_all(); };
    QWidget* widget = nullptr;
    if (with_menu) {
        auto* main = new MenuWindow(std::move(events));
        shown.view = main->view();
        shown.menu = std::make_unique<MenuBarMirror>(
            main->menuBar(), [this, window](UINT_PTR id) { post(window, WM_COMMAND, id, 0); });
        widget = main;
    } else {
        auto* plain = new PlainWindow(std::move(events));
        shown.view = plain->view();
        widget = plain;
    }
    shown.widget = widget;
    shown.with_menu = with_menu;
    widget->setWindowTitle(QString::fromStdString(utf8_of_cp1252(record->title)));
    shown.view->set_background(qt_color(background_color(*record)));
    // Only the buttons the style asks for: the graphics window (caption and
    // system menu) gets a close button alone.
    if ((record->style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX)) != (WS_MINIMIZEBOX | WS_MAXIMIZEBOX)) {
        Qt::WindowFlags flags = Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                                Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
        if (record->style & WS_MINIMIZEBOX) flags |= Qt::WindowMinimizeButtonHint;
        if (record->style & WS_MAXIMIZEBOX) flags |= Qt::WindowMaximizeButtonHint;
        widget->setWindowFlags(flags);
    }
    if (shown.menu) shown.menu->update(menu_model(record->menu));
    place(shown);
}

// The outer rectangle is the window with its frame: the widget gets the outer
// size less the frame known so far. A window without a sizing frame keeps it fixed.
void QtPresenter::place(Shown& shown) {
    HWND__* record = live_window(shown.handle);
    if (record == nullptr || !shown.widget) return;
    const RECT& outer = record->outer;
    const QMargins& frame = shown.frame;
    const int width = std::max(1, int(outer.right - outer.left) - frame.left() - frame.right());
    const int height = std::max(1, int(outer.bottom - outer.top) - frame.top() - frame.bottom());
    if (record->style & WS_THICKFRAME) {
        shown.widget->resize(width, height);
    } else {
        shown.widget->setFixedSize(width, height);
    }
    shown.widget->move(outer.left, outer.top);
    // A hidden widget lays out its children only when asked.
    if (QLayout* layout = shown.widget->layout()) layout->activate();
}

SIZE QtPresenter::client_size(HWND window) {
    Shown* shown = find(window);
    if (shown == nullptr || shown->view == nullptr) return {0, 0};
    return {LONG(shown->view->width()), LONG(shown->view->height())};
}

void QtPresenter::window_shown(HWND window, bool visible) {
    Shown* shown = find(window);
    if (shown == nullptr || !shown->widget) return;
    if (!visible) return shown->widget->hide();
    shown->widget->show();
    // The window shown last gets the focus, as on Windows. (Qt's offscreen
    // platform for tests has no stacking and says so for every raise.)
    if (QGuiApplication::platformName() != QLatin1String("offscreen")) shown->widget->raise();
    shown->widget->activateWindow();
    present(window);
    geometry_checks_.push_back(window);
}

void QtPresenter::window_destroyed(HWND window) {
    keys_.forget(window);
    windows_.erase(window);
    std::erase(geometry_checks_, window);
}

void QtPresenter::menu_changed(HWND window) {
    Shown* shown = find(window);
    HWND__* record = live_window(window);
    if (shown == nullptr || record == nullptr) return;
    const bool with_menu = record->menu != nullptr;
    if (with_menu && !shown->with_menu) {
        // A plain window got a menu bar: it becomes a main window.
        const bool was_visible = shown->widget && shown->widget->isVisible();
        build_widget(*shown, true);
        if (was_visible) window_shown(window, true);
        return;
    }
    if (shown->menu) shown->menu->update(menu_model(record->menu));
    if (shown->widget && shown->widget->layout()) shown->widget->layout()->activate();
}

void QtPresenter::present(HWND window) {
    Shown* shown = find(window);
    HWND__* record = live_window(window);
    if (shown == nullptr || shown->view == nullptr || record == nullptr) return;
    const HBITMAP__& front = record->front_image;
    if (front.pixels.size() < size_t(front.width) * size_t(front.height)) return;
    shown->view->show_colorrefs(front.pixels.data(), front.width, front.height);
}

// ------------------------------------------------------------ input and waiting

void QtPresenter::post(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (PostMessageA(window, message, wparam, lparam)) woken_ = true;
}

// Once shown, the window manager's frame is known: refit the outer size to it
// and let USER take the real client size (it sends WM_SIZE when it changed).
void QtPresenter::check_geometry(HWND window) {
    Shown* shown = find(window);
    HWND__* record = live_window(window);
    if (shown == nullptr || record == nullptr || !shown->widget) return;
    if (shown->widget->isVisible()) {
        const QMargins frame = frame_margins(*shown->widget);
        if (frame != shown->frame) {
            shown->frame = frame;
            place(*shown);
        }
    }
    const SIZE before = record->client;
    update_client_size(window);
    if (live_window(window) && (record->client.cx != before.cx || record->client.cy != before.cy)) {
        woken_ = true;  // a repaint is due
    }
}

void QtPresenter::finish_pending_work() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    std::vector<HWND> checks;
    checks.swap(geometry_checks_);
    std::sort(checks.begin(), checks.end());
    checks.erase(std::unique(checks.begin(), checks.end()), checks.end());
    for (HWND window : checks) check_geometry(window);
}

void QtPresenter::process_events(QEventLoop::ProcessEventsFlags flags) {
    QCoreApplication::processEvents(flags);
    events_processed_ms_ = now_ms();
    finish_pending_work();
}

// GetMessageA polls on every call; within the millisecond in which events were
// last taken nothing new is expected, which keeps an idle program's wake-ups to
// one poll of the display each.
void QtPresenter::poll() {
    if (now_ms() != events_processed_ms_) process_events(QEventLoop::AllEvents);
}

bool QtPresenter::wait(int64_t deadline_ms) {
    woken_ = false;
    timed_out_ = false;
    finish_pending_work();
    if (deadline_ms >= 0) {
        const int64_t left = deadline_ms - now_ms();
        if (left <= 0) return true;
        deadline_->start(int(std::min<int64_t>(left, 24 * 3600 * 1000)));
    }
    // One call may deliver several native events or none of ours: loop until
    // something for USER arrived or the deadline passed.
    while (!woken_ && !timed_out_) {
        process_events(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    deadline_->stop();
    return true;
}

int64_t QtPresenter::now_ms() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now() - start_).count();
}

SIZE QtPresenter::screen_size() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr) return {1024, 768};
    return {LONG(screen->size().width()), LONG(screen->size().height())};
}

// ------------------------------------------------------------ making one

namespace {

bool variable_set(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && value[0] != '\0';
}

// Qt aborts the process when its platform cannot start. Where Qt would use X11,
// ask the X server first, through the same libxcb that Qt loads.
bool x_display_answers() {
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    const bool x11 = platform == nullptr || platform[0] == '\0' ? !variable_set("WAYLAND_DISPLAY")
                                                                : std::string(platform) == "xcb";
    if (!x11) return true;
    if (!variable_set("DISPLAY")) return false;
    void* xcb = dlopen("libxcb.so.1", RTLD_LAZY | RTLD_LOCAL);
    if (xcb == nullptr) return true;  // let Qt try and tell
    using Connect = void* (*)(const char*, int*);
    using HasError = int (*)(void*);
    using Disconnect = void (*)(void*);
    auto connect = reinterpret_cast<Connect>(dlsym(xcb, "xcb_connect"));
    auto has_error = reinterpret_cast<HasError>(dlsym(xcb, "xcb_connection_has_error"));
    auto disconnect = reinterpret_cast<Disconnect>(dlsym(xcb, "xcb_disconnect"));
    bool answers = true;
    if (connect != nullptr && has_error != nullptr && disconnect != nullptr) {
        void* connection = connect(nullptr, nullptr);
        answers = has_error(connection) == 0;
        disconnect(connection);
    }
    dlclose(xcb);
    return answers;
}

// Should Qt still fail to start its platform, end with one line instead of an abort.
void refuse_fatal(QtMsgType type, const QMessageLogContext&, const QString& text) {
    const std::string line = text.section(QLatin1Char('\n'), 0, 0).toStdString();
    if (type != QtFatalMsg) {
        std::fprintf(stderr, "%s\n", line.c_str());
        return;
    }
    std::fprintf(stderr, "cannot open windows (%s); use --headless to run without a display\n",
                 line.c_str());
    std::_Exit(1);
}

}  // namespace

Presenter* make_qt_presenter(int& argc, char** argv, std::string& why) {
    const bool configured = variable_set("DISPLAY") || variable_set("WAYLAND_DISPLAY") ||
                            variable_set("QT_QPA_PLATFORM");
    if (!configured) {
        why = "no display to open windows on (DISPLAY is not set)";
        return nullptr;
    }
    if (!x_display_answers()) {
        const char* display = std::getenv("DISPLAY");
        why = display != nullptr && display[0] != '\0'
                  ? std::string("cannot open the display ") + display
                  : std::string("no X display to open windows on (DISPLAY is not set)");
        return nullptr;
    }
    // Qt keeps argc and argv for the whole run. The application and the presenter
    // live until the process ends and are never destroyed: tearing Qt down among
    // other static destructors gains nothing, and the system closes the display.
    static int qt_argc = 0;
    static std::vector<char*> qt_argv;
    if (QCoreApplication::instance() == nullptr) {
        qt_argv.assign(argv, argv + std::max(argc, 0));
        qt_argv.push_back(nullptr);
        qt_argc = std::max(argc, 0);
        QtMessageHandler previous = qInstallMessageHandler(refuse_fatal);
        new QApplication(qt_argc, qt_argv.data());
        qInstallMessageHandler(previous);
    }
    QApplication::setQuitOnLastWindowClosed(false);
    static QtPresenter* presenter = new QtPresenter;
    return presenter;
}

}  // namespace portable
