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

#include <QImage>
#include <QMainWindow>
#include <QWidget>
#include <functional>

#include "../../win32_portable.h"

namespace portable {

// What a window's widgets report to the presenter.
struct WindowEvents {
    // Post a message to this window (USER's queue).
    std::function<void(UINT message, WPARAM wparam, LPARAM lparam)> post;
    // The window was shown, moved, resized or got its frame: sizes may need a check.
    std::function<void()> geometry_changed;
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

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    bool focusNextPrevChild(bool) override { return false; }  // Tab is a key like others

private:
    void post_mouse(UINT message, QMouseEvent* event);

    WindowEvents* events_;
    QImage image_;  // Format_RGB32
    QColor background_ = Qt::white;
};

// The graphics window: menu bar above the client view.
class MenuWindow : public QMainWindow {
public:
    explicit MenuWindow(WindowEvents events);
    ClientView* view() const { return view_; }

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    WindowEvents events_;
    ClientView* view_;
};

// A window without a menu: the client view fills it.
class PlainWindow : public QWidget {
public:
    explicit PlainWindow(WindowEvents events);
    ClientView* view() const { return view_; }

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    WindowEvents events_;
    ClientView* view_;
};

}  // namespace portable
