// Qt presenter: top-level windows and their client views.
#include "window_widgets.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QVBoxLayout>
#include <cstring>

#include "../../presenter.h"
#include "key_map.h"

namespace portable {

QImage image_from_colorrefs(const uint32_t* pixels, int width, int height) {
    if (pixels == nullptr || width <= 0 || height <= 0) return {};
    if (int64_t(width) * height > int64_t(1) << 28) return {};
    // 0x00BBGGRR in a little-endian word is the byte sequence R, G, B, 0: RGBX8888.
    QImage view(reinterpret_cast<const uchar*>(pixels), width, height,
                qsizetype(width) * 4, QImage::Format_RGBX8888);
    return view.convertToFormat(QImage::Format_RGB32);
}

// ------------------------------------------------------------ client view

ClientView::ClientView(WindowEvents* events, QWidget* parent) : QWidget(parent), events_(events) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
}

QRect changed_area(const QImage& before, const QImage& after) {
    if (before.size() != after.size() || before.format() != after.format()) return after.rect();
    const int width = after.width();
    const size_t row_bytes = size_t(width) * 4;
    int top = 0, bottom = after.height() - 1;
    auto row_differs = [&](int y) {
        return std::memcmp(before.constScanLine(y), after.constScanLine(y), row_bytes) != 0;
    };
    while (top <= bottom && !row_differs(top)) ++top;
    if (top > bottom) return {};
    while (!row_differs(bottom)) --bottom;
    int left = width, right = -1;
    for (int y = top; y <= bottom; ++y) {
        auto* a = reinterpret_cast<const uint32_t*>(before.constScanLine(y));
        auto* b = reinterpret_cast<const uint32_t*>(after.constScanLine(y));
        int x = 0;
        while (x < left && a[x] == b[x]) ++x;
        left = std::min(left, x);
        int z = width - 1;
        while (z > right && a[z] == b[z]) --z;
        right = std::max(right, z);
    }
    return QRect(QPoint(left, top), QPoint(right, bottom));
}

// Only the part that changed is repainted, so a frame in which little moved costs
// little to bring to the screen.
void ClientView::show_image(QImage image) {
    if (image.size() != image_.size()) {
        image_ = std::move(image);
        return update();
    }
    const QRect changed = changed_area(image_, image);
    image_ = std::move(image);
    if (!changed.isEmpty()) update(changed);
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

void ClientView::post_mouse(UINT message, QMouseEvent* event) {
    const QPoint at = event->position().toPoint();
    const WPARAM buttons = (event->buttons() & Qt::LeftButton) ? MK_LBUTTON : 0;
    events_->post(message, buttons, MAKELPARAM(at.x(), at.y()));
}

void ClientView::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) post_mouse(WM_LBUTTONDOWN, event);
}

void ClientView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) post_mouse(WM_LBUTTONUP, event);
}

// Windows repeats key-downs while a key is held, without key-ups in between.
void ClientView::keyPressEvent(QKeyEvent* event) {
    const int vk = virtual_key(event->key(), event->modifiers());
    if (vk == 0) return QWidget::keyPressEvent(event);
    const auto character = static_cast<unsigned char>(key_character(event->key(), event->modifiers()));
    // An auto-repeat says the key was already down (bit 30), as Windows does.
    const LPARAM repeat = event->isAutoRepeat() ? LPARAM(1) << 30 : 0;
    events_->post(WM_KEYDOWN, WPARAM(vk), key_down_lparam(character) | repeat);
}

void ClientView::keyReleaseEvent(QKeyEvent* event) {
    if (event->isAutoRepeat()) return;
    const int vk = virtual_key(event->key(), event->modifiers());
    if (vk == 0) return QWidget::keyReleaseEvent(event);
    events_->post(WM_KEYUP, WPARAM(vk), key_up_lparam());
}

// ------------------------------------------------------------ top-level windows

namespace {

bool changes_geometry(QEvent::Type type) {
    return type == QEvent::Show || type == QEvent::Move || type == QEvent::Resize;
}

}  // namespace

MenuWindow::MenuWindow(WindowEvents events) : events_(std::move(events)) {
    view_ = new ClientView(&events_, this);
    setCentralWidget(view_);
    view_->setFocus();
}

bool MenuWindow::event(QEvent* event) {
    const bool result = QMainWindow::event(event);
    if (changes_geometry(event->type()) && events_.geometry_changed) events_.geometry_changed();
    return result;
}

void MenuWindow::closeEvent(QCloseEvent* event) {
    event->ignore();
    events_.post(WM_CLOSE, 0, 0);
}

PlainWindow::PlainWindow(WindowEvents events) : events_(std::move(events)) {
    view_ = new ClientView(&events_, this);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(view_);
    view_->setFocus();
}

bool PlainWindow::event(QEvent* event) {
    const bool result = QWidget::event(event);
    if (changes_geometry(event->type()) && events_.geometry_changed) events_.geometry_changed();
    return result;
}

void PlainWindow::closeEvent(QCloseEvent* event) {
    event->ignore();
    events_.post(WM_CLOSE, 0, 0);
}

}  // namespace portable
