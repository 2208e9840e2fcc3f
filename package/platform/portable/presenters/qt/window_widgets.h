// Qt presenter: the widgets that stand for USER's top-level windows.
//
// Every window's client area is a ClientView that shows the window's front
// image 1:1 at its origin and turns left clicks and keys into messages. The
// graphics window (the one with a menu) is a MenuWindow, a QMainWindow whose menu
// bar sits above the client area; other windows are PlainWindows. Closing either
// is only a request: the close event is refused and WM_CLOSE posted, so the
// window procedure decides. Widgets never touch USER: they hand messages and
// geometry changes to the presenter through WindowEvents.
#pragma once

#include <QCloseEvent>
#include <QEvent>
#include <QImage>
#include <QKeyEvent>
#include <QMainWindow>
#include <QWidget>
#include <functional>

#include "../../presenter_kit/keyboard.h"
#include "../../win32_portable.h"

namespace portable {

// What a window's widgets report to the presenter.
struct WindowEvents {
    // Post a message to this window (USER's queue).
    std::function<void(UINT message, WPARAM wparam, LPARAM lparam)> post;
    // The window was shown, moved, resized or got its frame: sizes may need a check.
    std::function<void()> geometry_changed;
    // Post a key message (WM_KEYDOWN, WM_KEYUP) to this window, with the modifiers
    // the key event says are held (keyboard.h: HeldKeys).
    std::function<void(UINT message, UINT virtual_key, LPARAM lparam, HeldModifiers held)> key;
    // The keyboard focus left the window (to another window, a popup, another
    // application): the keys it had down are released.
    std::function<void()> focus_lost;
};

// Converts a row-major COLORREF (0x00BBGGRR) image to a Qt image; bad sizes give
// an empty image.
QImage image_from_colorrefs(const uint32_t* pixels, int width, int height);

// Converts one row of COLORREFs into Qt's RGB32 over `to`; answers whether any
// pixel of `to` changed.
bool convert_row(const uint32_t* from, uint32_t* to, int width);

// The client area: paints the front image at (0, 0), the rest in the window's
// background colour, and posts mouse and key messages.
class ClientView : public QWidget {
public:
    ClientView(WindowEvents* events, QWidget* parent);

    // Shows a row-major COLORREF image (0x00BBGGRR) of the given size.
    void show_colorrefs(const uint32_t* pixels, int width, int height);
    const QImage& image() const { return image_; }
    void set_background(QColor color) { background_ = color; }

    // Keys that reached the window but not the view (the menu bar keeps the
    // keyboard after its menu was closed with Escape, and passes on what it does
    // not use): posted as if the view had them.
    void take_key(QKeyEvent* event, bool pressed) {
        pressed ? keyPressEvent(event) : keyReleaseEvent(event);
    }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    bool focusNextPrevChild(bool) override { return false; }  // Tab is a key like others

private:
    void post_mouse(UINT message, QMouseEvent* event);
    void post_key(UINT message, int virtual_key, LPARAM lparam, QKeyEvent* event);

    WindowEvents* events_;
    QImage image_;  // Format_RGB32
    QColor background_ = Qt::white;
};

// What every top-level window does: it reports changes of its geometry, and a
// request to close it (its close box, the window manager) becomes WM_CLOSE for
// the application to act on, instead of closing it.
template <typename Base>
class TopLevelWindow : public Base {
public:
    ClientView* view() const { return view_; }

protected:
    explicit TopLevelWindow(WindowEvents events) : events_(std::move(events)) {}

    bool event(QEvent* event) override {
        const bool result = Base::event(event);
        const QEvent::Type type = event->type();
        bool geometry = type == QEvent::Show || type == QEvent::Move || type == QEvent::Resize;
        if (geometry && events_.geometry_changed) events_.geometry_changed();
        // The view may not have had the focus (the menu bar kept it and passed keys
        // on), so the window's own deactivation releases its keys too.
        if (type == QEvent::WindowDeactivate && events_.focus_lost) events_.focus_lost();
        return result;
    }
    void closeEvent(QCloseEvent* event) override {
        event->ignore();
        events_.post(WM_CLOSE, 0, 0);
    }
    void keyPressEvent(QKeyEvent* event) override { view_->take_key(event, true); }
    void keyReleaseEvent(QKeyEvent* event) override { view_->take_key(event, false); }

    WindowEvents events_;
    ClientView* view_ = nullptr;
};

// The graphics window: menu bar above the client view.
class MenuWindow : public TopLevelWindow<QMainWindow> {
public:
    explicit MenuWindow(WindowEvents events);
};

// A window without a menu: the client view fills it.
class PlainWindow : public TopLevelWindow<QWidget> {
public:
    explicit PlainWindow(WindowEvents events);
};

}  // namespace portable
