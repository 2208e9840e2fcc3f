// Qt presenter: top-level windows and their client views.
#include "window_widgets.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QVBoxLayout>
#include <algorithm>
#include <cstring>

#include "../../presenter_kit/presenter.h"
#include "key_map.h"

namespace portable {

namespace {

// COLORREF 0x00BBGGRR to Qt's RGB32 0xFFRRGGBB, two pixels at a time.
constexpr uint64_t red_blue = 0x000000FF000000FFull;
constexpr uint64_t green = 0x0000FF000000FF00ull;
constexpr uint64_t opaque = 0xFF000000FF000000ull;

uint64_t rgb32_pair(uint64_t c) {
    return ((c & red_blue) << 16) | ((c >> 16) & red_blue) | (c & green) | opaque;
}

uint32_t rgb32(uint32_t c) {
    return uint32_t(rgb32_pair(c));
}

}  // namespace

bool convert_row(const uint32_t* from, uint32_t* to, int width) {
    uint64_t changed = 0;
    int x = 0;
    for (; x + 2 <= width; x += 2) {
        uint64_t pair, old;
        std::memcpy(&pair, from + x, 8);
        std::memcpy(&old, to + x, 8);
        const uint64_t converted = rgb32_pair(pair);
        changed |= converted ^ old;
        std::memcpy(to + x, &converted, 8);
    }
    for (; x < width; ++x) {
        const uint32_t converted = rgb32(from[x]);
        changed |= converted ^ to[x];
        to[x] = converted;
    }
    return changed != 0;
}

QImage image_from_colorrefs(const uint32_t* pixels, int width, int height) {
    if (pixels == nullptr || width <= 0 || height <= 0) return {};
    if (int64_t(width) * height > int64_t(1) << 28) return {};
    QImage image(width, height, QImage::Format_RGB32);
    if (image.isNull()) return {};
    for (int y = 0; y < height; ++y) {
        convert_row(pixels + size_t(y) * width, reinterpret_cast<uint32_t*>(image.scanLine(y)),
                    width);
    }
    return image;
}

// ------------------------------------------------------------ client view

ClientView::ClientView(WindowEvents* events, QWidget* parent) : QWidget(parent), events_(events) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
    // Windows reports moves over a window whether a button is held or not.
    setMouseTracking(true);
}

// Converts the image in place, row by row, into the screen's own format (so
// painting is a plain copy) and repaints only the band of rows that changed:
// a frame in which little moved costs little to bring to the screen.
void ClientView::show_colorrefs(const uint32_t* pixels, int width, int height) {
    if (width != image_.width() || height != image_.height()) {
        image_ = image_from_colorrefs(pixels, width, height);
        return update();
    }
    int top = -1, bottom = -1;
    for (int y = 0; y < height; ++y) {
        auto* row = reinterpret_cast<uint32_t*>(image_.scanLine(y));
        if (!convert_row(pixels + size_t(y) * width, row, width)) continue;
        if (top < 0) top = y;
        bottom = y;
    }
    if (top >= 0) update(QRect(0, top, width, bottom - top + 1));
}

void ClientView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.drawImage(0, 0, image_);
    // Whatever the front image does not cover (a window grown before USER resized it).
    if (image_.width() < width()) {
        painter.fillRect(image_.width(), 0, width() - image_.width(), height(), background_);
    }
    if (image_.height() < height()) {
        painter.fillRect(0, image_.height(), image_.width(), height() - image_.height(),
                         background_);
    }
}

// The buttons held after the event, as Windows' wParam has them. The point goes
// into lParam's two signed 16-bit fields; one outside the client area (a drag)
// may be negative, and one too far for the fields stops at their ends.
void ClientView::post_mouse(UINT message, QMouseEvent* event) {
    const QPoint at = event->position().toPoint();
    const WPARAM buttons = ((event->buttons() & Qt::LeftButton) ? MK_LBUTTON : 0) |
                           ((event->buttons() & Qt::RightButton) ? MK_RBUTTON : 0);
    const int x = std::clamp(at.x(), -32768, 32767), y = std::clamp(at.y(), -32768, 32767);
    events_->post(message, buttons, MAKELPARAM(x, y));
}

void ClientView::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) post_mouse(WM_LBUTTONDOWN, event);
    if (event->button() == Qt::RightButton) post_mouse(WM_RBUTTONDOWN, event);
}

void ClientView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) post_mouse(WM_LBUTTONUP, event);
    if (event->button() == Qt::RightButton) post_mouse(WM_RBUTTONUP, event);
}

// On Windows a button pressed in the window captures the mouse until its release:
// the drag's moves arrive wherever they happen, in client coordinates (Qt gives
// them, and the release, to the view that had the press). Without a button held
// only moves over the client area are the window's.
void ClientView::mouseMoveEvent(QMouseEvent* event) {
    const bool dragging = (event->buttons() & (Qt::LeftButton | Qt::RightButton)) != 0;
    if (dragging || rect().contains(event->position().toPoint())) post_mouse(WM_MOUSEMOVE, event);
}

// With the event's own Ctrl, Shift and Alt, so that a modifier whose key-up went
// elsewhere (the person switched window holding it) is not held for ever.
void ClientView::post_key(UINT message, int virtual_key, LPARAM lparam, QKeyEvent* event) {
    const Qt::KeyboardModifiers modifiers = event->modifiers();
    HeldModifiers held;
    held.ctrl = modifiers.testFlag(Qt::ControlModifier);
    held.shift = modifiers.testFlag(Qt::ShiftModifier);
    held.alt = modifiers.testFlag(Qt::AltModifier);
    events_->key(message, UINT(virtual_key), lparam, held);
}

// Windows repeats key-downs while a key is held, without key-ups in between.
void ClientView::keyPressEvent(QKeyEvent* event) {
    const int vk = virtual_key(event->key(), event->modifiers());
    if (vk == 0) {
        // A character no US key types (é on a French keyboard, π from an input
        // method): a VK_PACKET key, pressed and released at once.
        const char32_t character = other_layout_character(event->text(), event->modifiers());
        if (character == 0) return QWidget::keyPressEvent(event);
        const PacketKey packet = packet_key(character);
        post_key(WM_KEYDOWN, VK_PACKET, packet.key_down, event);
        if (packet.unichar != 0) events_->post(WM_UNICHAR, packet.unichar, 0);
        post_key(WM_KEYUP, VK_PACKET, key_up_lparam(), event);
        return;
    }
    const auto character =
        static_cast<unsigned char>(key_character(event->key(), event->modifiers()));
    // An auto-repeat says the key was already down (bit 30), as Windows does.
    const LPARAM repeat = event->isAutoRepeat() ? LPARAM(1) << 30 : 0;
    post_key(WM_KEYDOWN, vk, key_down_lparam(character) | repeat, event);
}

void ClientView::keyReleaseEvent(QKeyEvent* event) {
    if (event->isAutoRepeat()) return;
    const int vk = virtual_key(event->key(), event->modifiers());
    if (vk == 0) return QWidget::keyReleaseEvent(event);
    post_key(WM_KEYUP, vk, key_up_lparam(), event);
}

// The focus went to another window, a popup or another application, and so will
// the key-ups of the keys held now: they are released here instead.
void ClientView::focusOutEvent(QFocusEvent* event) {
    QWidget::focusOutEvent(event);
    if (events_->focus_lost) events_->focus_lost();
}

// ------------------------------------------------------------ top-level windows

MenuWindow::MenuWindow(WindowEvents events) : TopLevelWindow(std::move(events)) {
    view_ = new ClientView(&events_, this);
    setCentralWidget(view_);
    view_->setFocus();
}

PlainWindow::PlainWindow(WindowEvents events) : TopLevelWindow(std::move(events)) {
    view_ = new ClientView(&events_, this);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(view_);
    view_->setFocus();
}

}  // namespace portable
