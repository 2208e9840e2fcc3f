// Qt presenter: real windows on a desktop through Qt 6 Widgets.
//
// Each top-level USER window becomes a Qt window: the one with a menu a
// MenuWindow (QMainWindow with a menu bar mirrored from USER's menu model), the
// others PlainWindows. Each shows its front image 1:1 at the client origin.
// Input becomes posted messages: left clicks (client coordinates), keys (Windows
// virtual keys, with the typed character attached to the key-down), menu choices
// (WM_COMMAND) and close requests (WM_CLOSE). Ctrl, Shift and Alt as the program
// sees them follow each key event's own modifiers, and a window that loses the
// focus releases the keys held in it (keyboard.h: HeldKeys). Sizes follow Windows: the outer
// rectangle is the window with its frame, so once the window manager's frame is
// known the window is resized to keep the outer size, and the real client size
// reaches USER, which sends WM_SIZE. Plain Xvfb has no frame at all.
//
// wait() blocks in QCoreApplication::processEvents(WaitForMoreEvents), woken by
// input or by a single-shot timer at USER's next timer deadline: GetMessageA
// never spins. No exec() loop runs, so deferred deletes are sent by hand.
//
// Needs a QApplication; make_qt_presenter creates one when a display can be
// opened and answers nullptr otherwise.
#pragma once

#include <QEventLoop>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "../../presenter_kit/presenter.h"
#include "menu_bar.h"
#include "window_widgets.h"

class QMenuBar;

namespace portable {

class QtPresenter : public Presenter {
public:
    QtPresenter();  // a QApplication must exist
    ~QtPresenter() override;

    void window_created(HWND window) override;
    SIZE client_size(HWND window) override;
    void window_shown(HWND window, bool visible) override;
    void window_destroyed(HWND window) override;
    void menu_changed(HWND window) override;
    void present(HWND window) override;
    void poll() override;
    bool wait(int64_t deadline_ms) override;
    int64_t now_ms() override;
    SIZE screen_size() override;

    // ---- for tests and tools: the Qt side of a window (nullptr when unknown)
    QWidget* top_level(HWND window) const;
    ClientView* view(HWND window) const;
    QMenuBar* menu_bar(HWND window) const;

private:
    struct Shown;

    Shown* find(HWND window) const;
    void build_widget(Shown& shown, bool with_menu);
    void place(Shown& shown);
    void post(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
    void check_geometry(HWND window);
    void finish_pending_work();
    void process_events(QEventLoop::ProcessEventsFlags flags);

    std::map<HWND, std::unique_ptr<Shown>> windows_;
    HeldKeys keys_;                      // the keys posted down and not yet up, for every window
    std::vector<HWND> geometry_checks_;  // windows whose size may have changed
    bool woken_ = false;                 // something for USER arrived during wait()
    bool timed_out_ = false;             // wait()'s deadline passed
    std::unique_ptr<QTimer> deadline_;   // single-shot at wait()'s deadline
    int64_t events_processed_ms_ = -1;   // when Qt's events were last taken
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

// Creates the QApplication (if none exists) and the presenter. Answers nullptr,
// with the reason in `why` (naming the display), when no display can be opened:
// no DISPLAY/WAYLAND_DISPLAY/QT_QPA_PLATFORM, or an X display that does not answer.
Presenter* make_qt_presenter(int& argc, char** argv, std::string& why);

}  // namespace portable
