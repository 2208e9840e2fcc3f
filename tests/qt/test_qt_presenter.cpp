// Tests of the Qt presenter on Qt's offscreen platform, driven with QtTest input:
// the cubes demo runs in real Qt windows, and clicks, keys and menu choices go
// through the widgets exactly as a user's would.
#include <QAction>
#include <QElapsedTimer>
#include <QMenu>
#include <QMenuBar>
#include <QtTest>
#include <memory>

#include "cubes.h"
#include "package_state.h"
#include "portable/presenter_kit/code_page.h"
#include "portable/presenters/qt/key_map.h"
#include "portable/presenters/qt/qt_presenter.h"
#include "portable/user/menu.h"
#include "portable/user/window.h"

using namespace portable;

namespace {

// What the platform is given to show a window or a popup before the test calls it
// hung: a hang detector, far above any machine's speed.
constexpr int hung_wait_ms = 30000;

struct Turn {
    int kind;
    char key;
};

// The Run menu's actions as the menu bar shows them, in order.
QList<QAction*> run_menu_actions(QMenuBar* bar) {
    if (bar == nullptr || bar->actions().isEmpty()) return {};
    QMenu* run = bar->actions().first()->menu();
    return run != nullptr ? run->actions() : QList<QAction*>{};
}

QAction* action_named(QMenuBar* bar, const QString& prefix) {
    for (QAction* action : run_menu_actions(bar)) {
        if (action->text().startsWith(prefix)) return action;
    }
    return nullptr;
}

int count_color(const QImage& shown, COLORREF color) {
    const QImage image = shown.convertToFormat(QImage::Format_RGB32);
    const QRgb wanted = qRgb(GetRValue(color), GetGValue(color), GetBValue(color));
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) count += (row[x] & 0xFFFFFF) == (wanted & 0xFFFFFF);
    }
    return count;
}

}  // namespace

class QtPresenterTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QtPresenter> presenter_;
    std::unique_ptr<Demo> demo_;

    HWND graphics() const { return package_state.graphics_window; }
    ClientView* view() const { return presenter_->view(graphics()); }
    QMenuBar* bar() const { return presenter_->menu_bar(graphics()); }

    // One demo turn per event until `done` holds; false, with a warning, when it
    // hung: still not done after a minute (a hang detector, not a speed limit).
    template <class Done>
    bool run_until(Done done, std::vector<Turn>* turns = nullptr) {
        constexpr int hung_ms = 60000;
        QElapsedTimer clock;
        clock.start();
        while (!done()) {
            if (clock.elapsed() > hung_ms) {
                qWarning("hung: the awaited event did not come within %d s", hung_ms / 1000);
                return false;
            }
            int x = 0, y = 0;
            char key = 0;
            const int kind = wait_event(&x, &y, &key);
            if (turns != nullptr) turns->push_back({kind, key});
            demo_turn(*demo_, kind, x, y, key);
        }
        return true;
    }

    // Types a marker character and runs turns until it comes back as a key event,
    // so every message queued before it has been handled, animating or not.
    std::vector<Turn> settle_and_collect(QWidget* target = nullptr) {
        std::vector<Turn> turns;
        QTest::keyClick(target != nullptr ? target : view(), Qt::Key_At);
        const bool settled = run_until(
            [&] {
                return !turns.empty() && turns.back().kind == EventKind::Key &&
                       turns.back().key == '@';
            },
            &turns);
        if (!settled) QTest::qFail("hung: the marker key never came back", __FILE__, __LINE__);
        return turns;
    }

    struct Seen {
        int kind, x, y, key;
        bool operator==(const Seen&) const = default;
    };

    // The events wait_event returns until the marker key '@' (typed by the caller
    // last) or Quit, without the demo's turns: periodic events and QtTest's own
    // moves (no button) left out. Empty, after a failure, when it hung.
    std::vector<Seen> events_until_marker() {
        std::vector<Seen> seen;
        QElapsedTimer clock;
        clock.start();
        while (seen.empty() || (seen.back().kind != EventKind::Quit &&
                                !(seen.back().kind == EventKind::Key && seen.back().key == '@'))) {
            if (clock.elapsed() > 60000) {
                QTest::qFail("hung: neither the marker key nor Quit came", __FILE__, __LINE__);
                return {};
            }
            int x = 0, y = 0;
            char key = 0;
            const int kind = wait_event(&x, &y, &key);
            if (kind != EventKind::Periodic && !(kind == EventKind::MouseMove && key == 0))
                seen.push_back({kind, x, y, key});
        }
        return seen;
    }

    static QString text_of(const std::vector<Seen>& seen) {
        QStringList events;
        for (const Seen& e : seen)
            events << QString("{%1 %2 %3 %4}").arg(e.kind).arg(e.x).arg(e.y).arg(e.key);
        return events.join(' ');
    }

    // Makes `window` the active window; false, with a warning, when it hung.
    static bool activate(QWidget* window) {
        window->activateWindow();
        return QTest::qWaitForWindowActive(window, hung_wait_ms);
    }

    // Client point of a canvas point (y up from the centre).
    QPoint client_point(int x, int y) const {
        return {package_state.center_x + x, package_state.center_y - y};
    }

private slots:
    void init() {
        reset_package_state();
        reset_user_state();
        presenter_ = std::make_unique<QtPresenter>();
        set_presenter(presenter_.get());
        demo_ = std::make_unique<Demo>();
        demo_start(*demo_, nullptr, nullptr, const_cast<char*>(""), SW_SHOW);
        QVERIFY(view() != nullptr);
        QVERIFY(bar() != nullptr);
        // The cubes are drawn by the first periodic event.
        std::vector<Turn> turns;
        QVERIFY(run_until(
            [&] { return !turns.empty() && turns.back().kind == EventKind::Periodic; }, &turns));
    }

    void cleanup() {
        set_presenter(nullptr);
        reset_user_state();
        reset_package_state();
        demo_.reset();
        presenter_.reset();
    }

    // The client view shows the window's front image 1:1, below the menu bar.
    void view_shows_the_front_image() {
        HWND__* record = live_window(graphics());
        QVERIFY(record != nullptr);
        settle_and_collect();
        const QImage shown = view()->image();
        QCOMPARE(shown.width(), record->client.cx);
        QCOMPARE(shown.height(), record->client.cy);
        QCOMPARE(view()->size(), QSize(record->client.cx, record->client.cy));
        QVERIFY(view()->y() >= bar()->height());
        // Every pixel, after frames that were brought over piece by piece.
        const HBITMAP__& front = record->front_image;
        int mismatches = 0;
        for (int y = 0; y < front.height; ++y) {
            for (int x = 0; x < front.width; ++x) {
                const COLORREF c = front.pixels[size_t(y) * front.width + x];
                const QRgb want = qRgb(GetRValue(c), GetGValue(c), GetBValue(c));
                mismatches += (shown.pixel(x, y) & 0xFFFFFF) != (want & 0xFFFFFF);
            }
        }
        QCOMPARE(mismatches, 0);
    }

    // The outer rectangles include the frame (Qt's offscreen platform draws a
    // 2-pixel one); the client area is what the frame and the menu bar leave.
    void windows_take_their_outer_rectangles() {
        QWidget* graphics_widget = presenter_->top_level(graphics());
        QWidget* text_widget = presenter_->top_level(package_state.text_window);
        QCOMPARE(graphics_widget->frameGeometry(), QRect(0, 0, 601, 540));
        const int third = QGuiApplication::primaryScreen()->size().height() / 3;
        QCOMPARE(text_widget->frameGeometry(), QRect(0, 550, 601, third));
        RECT client;
        GetClientRect(graphics(), &client);
        QCOMPARE(int(client.right), graphics_widget->width());
        QCOMPARE(int(client.bottom), graphics_widget->height() - bar()->height());
        QCOMPARE(view()->size(), QSize(client.right, client.bottom));
        QCOMPARE(package_state.center_y, int(client.bottom) / 2);
    }

    // A resized text window gets a new client size and front image, and is repainted.
    void resizing_the_text_window_reaches_user() {
        HWND text = package_state.text_window;
        presenter_->top_level(text)->resize(700, 300);
        HWND__* record = live_window(text);
        QVERIFY(record != nullptr);
        // The platform reports the new size asynchronously.
        QVERIFY(run_until([&] { return record->client.cx == 700 && record->client.cy == 300; }));
        settle_and_collect();
        QCOMPARE(presenter_->view(text)->image().size(), QSize(700, 300));
    }

    void click_on_change_color_turns_the_cubes_black() {
        settle_and_collect();
        const COLORREF gray = Palette[demo_->scene.cube_color];
        const int gray_before = count_color(view()->image(), gray);
        const int black_before = count_color(view()->image(), Palette[0]);
        QVERIFY(gray_before > 1000);
        QTest::mouseClick(view(), Qt::LeftButton, {}, client_point(260, 230));
        settle_and_collect();
        QCOMPARE(demo_->scene.cube_color, 0);
        QVERIFY(count_color(view()->image(), gray) < gray_before / 4);
        QVERIFY(count_color(view()->image(), Palette[0]) > black_before + 1000);
    }

    void ctrl_l_switches_the_logging_mark() {
        QAction* logging = action_named(bar(), "&Logging");
        QVERIFY(logging != nullptr);
        QVERIFY(!logging->isChecked());  // the demo turned logging off
        QTest::keyClick(view(), Qt::Key_L, Qt::ControlModifier);
        settle_and_collect();
        QVERIFY(package_state.logging_enabled);
        QVERIFY(logging->isChecked());
        QTest::keyClick(view(), Qt::Key_L, Qt::ControlModifier);
        settle_and_collect();
        QVERIFY(!package_state.logging_enabled);
        QVERIFY(!logging->isChecked());
    }

    // Opening the Run menu with a click and closing it with Escape leaves the menu
    // bar with the keyboard; the Ctrl shortcuts still reach the package.
    void ctrl_shortcuts_act_after_the_menu_is_closed_with_escape() {
        QWidget* window = view()->window();
        window->activateWindow();
        QVERIFY2(QTest::qWaitForWindowActive(window, hung_wait_ms), "hung: never active");
        QAction* run = bar()->actions().first();
        QTest::mouseClick(bar(), Qt::LeftButton, {}, bar()->actionGeometry(run).center());
        QTRY_VERIFY_WITH_TIMEOUT(QApplication::activePopupWidget() != nullptr, hung_wait_ms);
        QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_Escape);
        QTRY_VERIFY_WITH_TIMEOUT(QApplication::activePopupWidget() == nullptr, hung_wait_ms);
        QWidget* focus = QApplication::focusWidget();
        QVERIFY(focus != nullptr);
        QTest::keyClick(focus, Qt::Key_L, Qt::ControlModifier);
        settle_and_collect(focus);
        QVERIFY(package_state.logging_enabled);
    }

    // The graphics window's style has a caption and a system menu only: no
    // minimise or maximise button is asked for.
    void the_graphics_window_has_no_minimise_or_maximise_button() {
        const Qt::WindowFlags flags = view()->window()->windowFlags();
        QVERIFY(!(flags & Qt::WindowMinimizeButtonHint));
        QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
        QVERIFY(flags & Qt::WindowCloseButtonHint);
    }

    // A checkable action flips itself when chosen; the mirror undoes that, and the
    // mark then follows the package's command.
    void menu_logging_mark_follows_the_package_only() {
        QAction* logging = action_named(bar(), "&Logging");
        QVERIFY(logging != nullptr);
        logging->trigger();
        QVERIFY(!logging->isChecked());  // not flipped by Qt: the command has not run yet
        settle_and_collect();
        QVERIFY(package_state.logging_enabled);
        QVERIFY(logging->isChecked());
    }

    void ctrl_a_and_menu_animate_give_the_same_state() {
        QTest::keyClick(view(), Qt::Key_H, Qt::ControlModifier);
        settle_and_collect();
        QVERIFY(!package_state.animate);
        QTest::keyClick(view(), Qt::Key_A, Qt::ControlModifier);
        settle_and_collect();
        const bool animate_by_key = package_state.animate;
        const bool single_by_key = package_state.single_frame;
        QTest::keyClick(view(), Qt::Key_H, Qt::ControlModifier);
        settle_and_collect();
        QVERIFY(!package_state.animate);
        QAction* animate = action_named(bar(), "&Animate");
        QVERIFY(animate != nullptr);
        animate->trigger();
        settle_and_collect();
        QVERIFY(animate_by_key);
        QCOMPARE(package_state.animate, animate_by_key);
        QCOMPARE(package_state.single_frame, single_by_key);
        QCOMPARE(package_state.ctrl_held, 0);
    }

    void typed_letters_are_key_events_and_ctrl_letters_are_not() {
        QTest::keyClick(view(), Qt::Key_B);
        QTest::keyClick(view(), Qt::Key_B, Qt::ShiftModifier);
        QTest::keyClick(view(), Qt::Key_B, Qt::ControlModifier);
        QTest::keyClick(view(), Qt::Key_7);
        // Characters of other layouts and input methods: é (code page 1252, one
        // byte for a program whose text is not UTF-8) and π (beyond 1252: UTF-8).
        QTest::sendKeyEvent(QTest::Click, view(), Qt::Key_Eacute, QString::fromUtf8("\xC3\xA9"),
                            Qt::NoModifier);
        QTest::sendKeyEvent(QTest::Click, view(), Qt::Key_unknown, QString::fromUtf8("\xCF\x80"),
                            Qt::NoModifier);
        std::vector<char> keys;
        for (const Turn& turn : settle_and_collect()) {
            if (turn.kind == EventKind::Key) keys.push_back(turn.key);
        }
        QCOMPARE(keys, (std::vector<char>{'b', 'B', '7', '\xE9', '\xCF', '\x80', '@'}));
        QCOMPARE(package_state.ctrl_held, 0);
    }

    // Keys typed into the text window reach the graphics window too.
    void keys_in_the_text_window_are_forwarded() {
        ClientView* text = presenter_->view(package_state.text_window);
        QVERIFY(text != nullptr);
        QTest::keyClick(text, Qt::Key_L, Qt::ControlModifier);
        settle_and_collect(text);  // forwarded after the keys before it
        QVERIFY(package_state.logging_enabled);
    }

    // With every kind of enable_input on, the widgets' drags, releases, right
    // clicks, keys without a character and key releases arrive as their events.
    void switched_on_input_arrives_through_the_widgets() {
        QCOMPARE(enable_input(InputKind::All), int(InputKind::All));
        set_animation(AnimationMode::Halt);
        const QPoint from = client_point(10, 20), to = client_point(30, -40);
        QTest::mousePress(view(), Qt::LeftButton, {}, from);
        QTest::mouseMove(view(), to);
        QTest::mouseRelease(view(), Qt::LeftButton, {}, to);
        QTest::mouseClick(view(), Qt::RightButton, {}, from);
        QTest::keyClick(view(), Qt::Key_F5, Qt::ShiftModifier);
        QTest::keyClick(view(), Qt::Key_At);
        std::vector<Seen> seen;
        QElapsedTimer clock;
        clock.start();
        while (seen.empty() || seen.back().kind != EventKind::Key || seen.back().key != '@') {
            if (clock.elapsed() > 60000) QFAIL("hung: the marker key never came back");
            int x = 0, y = 0;
            char key = 0;
            const int kind = wait_event(&x, &y, &key);
            // Periodic events and the moves QtTest makes on its own carry nothing here.
            if (kind != EventKind::Periodic && !(kind == EventKind::MouseMove && key == 0))
                seen.push_back({kind, x, y, key});
        }
        const std::vector<Seen> expected = {
            {EventKind::Mouse, 10, 20, 0},
            {EventKind::MouseMove, 30, -40, MouseButton::Left},
            {EventKind::MouseUp, 30, -40, MouseButton::Left},
            {EventKind::RightMouse, 10, 20, 0},
            {EventKind::MouseUp, 10, 20, MouseButton::Right},
            {EventKind::SpecialKey, KeyModifier::Shift, VirtualKey::F1 + 4, VirtualKey::F1 + 4},
            {EventKind::KeyUp, KeyModifier::Shift, VirtualKey::F1 + 4, VirtualKey::F1 + 4},
            {EventKind::KeyUp, 0, VK_SHIFT, VK_SHIFT},
            {EventKind::Key, 0, 0, '@'},
        };
        QCOMPARE(seen.size(), expected.size());
        for (size_t i = 0; i < expected.size(); ++i) {
            QVERIFY2(seen[i] == expected[i], qPrintable(QString("event %1: %2 %3 %4 %5")
                                                            .arg(i)
                                                            .arg(seen[i].kind)
                                                            .arg(seen[i].x)
                                                            .arg(seen[i].y)
                                                            .arg(seen[i].key)));
        }
        enable_input(0);
    }

    // A key whose key-up went to another window stays held no longer: when the
    // window loses the focus, every key it had down is released (a game's held
    // arrow, then Ctrl), so Q typed afterwards is the letter, not Ctrl+Q.
    void keys_held_when_the_focus_leaves_are_released() {
        enable_input(InputKind::KeyRelease | InputKind::SpecialKeys);
        set_animation(AnimationMode::Halt);
        QWidget* window = view()->window();
        QWidget* text_window = presenter_->top_level(package_state.text_window);
        QVERIFY2(activate(window), "hung: the graphics window never became active");
        QTest::keyPress(view(), Qt::Key_Control);
        QTest::keyPress(view(), Qt::Key_Left, Qt::ControlModifier);
        QVERIFY2(activate(text_window), "hung: the text window never became active");
        QVERIFY2(activate(window), "hung: the graphics window never came back");
        QTest::keyClick(view(), Qt::Key_Q);
        QTest::keyClick(view(), Qt::Key_At);
        const std::vector<Seen> expected = {
            {EventKind::SpecialKey, KeyModifier::Ctrl, VirtualKey::Left, VirtualKey::Left},
            {EventKind::KeyUp, KeyModifier::Ctrl, VirtualKey::Left, VirtualKey::Left},
            {EventKind::KeyUp, 0, VK_CONTROL, VK_CONTROL},
            {EventKind::Key, 0, 0, 'q'},
            {EventKind::KeyUp, 0, 'Q', 'Q'},
            {EventKind::Key, 0, 0, '@'},
        };
        const std::vector<Seen> seen = events_until_marker();
        QVERIFY2(seen == expected, qPrintable(text_of(seen)));
        enable_input(0);
    }

    // A key event's own modifiers win: Q with Ctrl held is Ctrl+Q though Ctrl's
    // key-down went elsewhere. (A quit comes after every posted message, so the
    // wait ends at the quit or at the key event Q would otherwise be.)
    void a_key_with_ctrl_held_is_a_shortcut_without_ctrls_key_down() {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Q, Qt::ControlModifier, QStringLiteral("\x11"));
        QApplication::sendEvent(view(), &press);
        QElapsedTimer clock;
        clock.start();
        int kind = EventKind::Periodic;
        char key = 0;
        while (kind != EventKind::Quit && kind != EventKind::Key) {
            if (clock.elapsed() > 60000) QFAIL("hung: neither Quit nor a key came");
            int x = 0, y = 0;
            kind = wait_event(&x, &y, &key);
        }
        QVERIFY2(kind == EventKind::Quit, qPrintable(QString("a key event %1").arg(int(key))));
    }

    // In a session whose every key-down and key-up arrived (Ctrl+R, Shift+B,
    // Ctrl+Shift+Alt+F5), the view posts each key's messages and nothing else,
    // also when the window then loses the focus with no key held.
    void a_whole_key_session_posts_only_its_own_messages() {
        QWidget* window = view()->window();
        QVERIFY2(activate(window), "hung: the graphics window never became active");
        QTest::keyClick(view(), Qt::Key_R, Qt::ControlModifier);
        QTest::keyClick(view(), Qt::Key_B, Qt::ShiftModifier);
        QTest::keyClick(view(), Qt::Key_F5,
                        Qt::ControlModifier | Qt::ShiftModifier | Qt::AltModifier);
        QVERIFY2(activate(presenter_->top_level(package_state.text_window)),
                 "hung: the text window never became active");
        constexpr WPARAM end_mark = 0xFF;  // no key has this code
        PostMessageA(graphics(), WM_KEYUP, end_mark, 0);
        std::vector<std::pair<UINT, WPARAM>> posted;
        MSG message;
        while (GetMessageA(&message, nullptr, WM_KEYDOWN, WM_KEYUP) && message.wParam != end_mark) {
            posted.push_back({message.message, message.wParam});
            if (message.wParam == 'R' && message.message == WM_KEYDOWN)
                QCOMPARE(message.lParam, key_down_lparam(0x12));  // Ctrl+R types 18
        }
        const std::vector<std::pair<UINT, WPARAM>> expected = {
            {WM_KEYDOWN, VK_CONTROL}, {WM_KEYDOWN, 'R'},      {WM_KEYUP, 'R'},
            {WM_KEYUP, VK_CONTROL},   {WM_KEYDOWN, VK_SHIFT}, {WM_KEYDOWN, 'B'},
            {WM_KEYUP, 'B'},          {WM_KEYUP, VK_SHIFT},   {WM_KEYDOWN, VK_SHIFT},
            {WM_KEYDOWN, VK_CONTROL}, {WM_KEYDOWN, VK_MENU},  {WM_KEYDOWN, VK_F1 + 4},
            {WM_KEYUP, VK_F1 + 4},    {WM_KEYUP, VK_MENU},    {WM_KEYUP, VK_CONTROL},
            {WM_KEYUP, VK_SHIFT},
        };
        QCOMPARE(posted, expected);
    }

    // A press captures the mouse until its release, as on Windows: the drag's move
    // and its release outside the view arrive at their client points outside it
    // (left and above as negative numbers).
    void a_drag_released_outside_the_window_arrives_outside() {
        enable_input(InputKind::MouseMovement | InputKind::MouseRelease);
        set_animation(AnimationMode::Halt);
        const QPoint inside = client_point(10, 20);
        const QPoint above_left(-25, -15);
        const QPoint below_right(view()->width() + 40, view()->height() + 30);
        QTest::mousePress(view(), Qt::LeftButton, {}, inside);
        QTest::mouseMove(view(), above_left);
        QTest::mouseRelease(view(), Qt::LeftButton, {}, below_right);
        QTest::keyClick(view(), Qt::Key_At);
        auto canvas = [](QPoint client) {
            return QPoint(client.x() - package_state.center_x, package_state.center_y - client.y());
        };
        const std::vector<Seen> seen = events_until_marker();
        const std::vector<Seen> expected = {
            {EventKind::Mouse, 10, 20, 0},
            {EventKind::MouseMove, canvas(above_left).x(), canvas(above_left).y(),
             MouseButton::Left},
            {EventKind::MouseUp, canvas(below_right).x(), canvas(below_right).y(),
             MouseButton::Left},
            {EventKind::Key, 0, 0, '@'},
        };
        QVERIFY2(seen == expected, qPrintable(text_of(seen)));
        enable_input(0);
    }

    void menu_items_flags_and_order_match_the_package_menu() {
        HMENU menu = GetMenu(graphics());
        const std::vector<MenuItem>& bar_items = menu_items(menu);
        QCOMPARE(bar_items.size(), size_t(1));
        QCOMPARE(bar()->actions().size(), 1);
        QCOMPARE(bar()->actions()[0]->text(), QString::fromLatin1(bar_items[0].text.c_str()));
        const std::vector<MenuItem>& items = menu_items(bar_items[0].submenu);
        const QList<QAction*> actions = run_menu_actions(bar());
        QCOMPARE(size_t(actions.size()), items.size());
        QCOMPARE(actions.size(), 15);
        for (size_t i = 0; i < items.size(); ++i) {
            const MenuItem& item = items[i];
            QAction* action = actions[int(i)];
            QCOMPARE(action->isSeparator(), item.separator());
            if (item.separator()) continue;
            QCOMPARE(action->text(), QString::fromLatin1(item.text.c_str()));
            QCOMPARE(action->isEnabled(), !item.grayed());
            QCOMPARE(action->isChecked(), item.checked());
            QVERIFY(action->shortcut().isEmpty());  // Ctrl is the package's business
        }
        QVERIFY(actions[0]->text().contains('\t'));  // shortcut text after the tab
    }

    // Code page 1252 bytes (0x80..0x9F hold the euro sign, quotes, dashes ...) are
    // the same characters in a title and a menu item as on the canvas, whose
    // glyph lookup goes through unicode_of_cp1252.
    void code_page_bytes_in_titles_and_menus_are_the_canvas_characters() {
        std::string bytes = "x";
        QString expected = "x";
        for (int b = 0x80; b < 0xA0; ++b) {
            bytes += char(b);
            expected += QChar(char16_t(unicode_of_cp1252(static_cast<unsigned char>(b))));
        }
        QCOMPARE(expected[1], QChar(0x20AC));  // byte 0x80 is the euro sign
        QCOMPARE(expected[32], QChar(0x0178));
        WNDCLASSA description{};
        description.lpfnWndProc = DefWindowProcA;
        description.lpszClassName = "CodePageTest";
        QVERIFY(RegisterClassA(&description) != 0);
        HWND window = CreateWindowExA(0, "CodePageTest", bytes.c_str(), WS_OVERLAPPEDWINDOW, 0, 0,
                                      200, 100, nullptr, nullptr, nullptr, nullptr);
        QVERIFY(window != nullptr);
        ShowWindow(window, SW_SHOW);
        QCOMPARE(presenter_->top_level(window)->windowTitle(), expected);
        HMENU run = menu_items(GetMenu(graphics()))[0].submenu;
        AppendMenuA(run, MF_STRING, 99, bytes.c_str());
        DrawMenuBar(graphics());
        QCOMPARE(run_menu_actions(bar()).last()->text(), expected);
        DestroyWindow(window);
    }

    // Closing the window is a request: WM_CLOSE goes to the package, which
    // destroys the window and quits.
    void closing_the_window_quits() {
        presenter_->top_level(graphics())->close();
        std::vector<Turn> turns;
        QVERIFY(run_until([&] { return !turns.empty() && turns.back().kind == EventKind::Quit; },
                          &turns));
        QVERIFY(!IsWindow(package_state.graphics_window));
    }
};

// Key mapping, image conversion and change detection, without windows.
class QtPresenterPartsTest : public QObject {
    Q_OBJECT

private slots:
    void virtual_keys() {
        QCOMPARE(virtual_key(Qt::Key_Control, {}), 17);
        QCOMPARE(virtual_key(Qt::Key_A, {}), 'A');
        QCOMPARE(virtual_key(Qt::Key_A, Qt::ShiftModifier), 'A');
        QCOMPARE(virtual_key(Qt::Key_5, {}), '5');
        QCOMPARE(virtual_key(Qt::Key_5, Qt::KeypadModifier), 0x65);
        QCOMPARE(virtual_key(Qt::Key_Exclam, Qt::ShiftModifier), '1');
        QCOMPARE(virtual_key(Qt::Key_F1, {}), 0x70);
        QCOMPARE(virtual_key(Qt::Key_Return, {}), 0x0D);
        QCOMPARE(virtual_key(Qt::Key_Semicolon, {}), 0xBA);
        QCOMPARE(virtual_key(Qt::Key_unknown, {}), 0);
    }

    void typed_characters() {
        QCOMPARE(key_character(Qt::Key_A, {}), 'a');
        QCOMPARE(key_character(Qt::Key_A, Qt::ShiftModifier), 'A');
        QCOMPARE(key_character(Qt::Key_A, Qt::ControlModifier), '\x01');
        QCOMPARE(key_character(Qt::Key_Z, Qt::ControlModifier), '\x1a');
        QCOMPARE(key_character(Qt::Key_A, Qt::AltModifier), '\0');
        QCOMPARE(key_character(Qt::Key_Exclam, Qt::ShiftModifier), '!');
        QCOMPARE(key_character(Qt::Key_1, Qt::ControlModifier), '\0');
        QCOMPARE(key_character(Qt::Key_Return, {}), '\r');
        QCOMPARE(key_character(Qt::Key_Backspace, Qt::ControlModifier), '\b');
        QCOMPARE(key_character(Qt::Key_Control, Qt::ControlModifier), '\0');
        QCOMPARE(key_character(Qt::Key_Left, {}), '\0');
    }

    void colorref_pixels_become_the_same_colours() {
        const uint32_t pixels[] = {0x000000FF, 0x0000FF00, 0x00FF0000, 0x00123456};
        const QImage image = image_from_colorrefs(pixels, 2, 2);
        QCOMPARE(image.pixel(0, 0) & 0xFFFFFF, 0xFF0000u);
        QCOMPARE(image.pixel(1, 0) & 0xFFFFFF, 0x00FF00u);
        QCOMPARE(image.pixel(0, 1) & 0xFFFFFF, 0x0000FFu);
        QCOMPARE(image.pixel(1, 1) & 0xFFFFFF, 0x563412u);
        QCOMPARE(qAlpha(image.pixel(1, 1)), 255);
        QVERIFY(image_from_colorrefs(pixels, 0, 2).isNull());
        QVERIFY(image_from_colorrefs(pixels, -2, 2).isNull());
        QVERIFY(image_from_colorrefs(nullptr, 2, 2).isNull());
        QVERIFY(image_from_colorrefs(pixels, 1 << 20, 1 << 20).isNull());
    }

    void converting_a_row_says_whether_it_changed() {
        const uint32_t row[] = {0x000000FF, 0x00FF0000, 0x00010203};
        uint32_t shown[3] = {};
        QVERIFY(convert_row(row, shown, 3));
        QCOMPARE(shown[0], 0xFFFF0000u);
        QCOMPARE(shown[1], 0xFF0000FFu);
        QCOMPARE(shown[2], 0xFF030201u);
        QVERIFY(!convert_row(row, shown, 3));
        const uint32_t odd_end[] = {0x000000FF, 0x00FF0000, 0x00010204};
        QVERIFY(convert_row(odd_end, shown, 3));  // the last, unpaired pixel counts
        QCOMPARE(shown[2], 0xFF040201u);
    }
};

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    int failures = 0;
    {
        QtPresenterPartsTest parts;
        failures += QTest::qExec(&parts, argc, argv);
    }
    {
        QtPresenterTest windows;
        failures += QTest::qExec(&windows, argc, argv);
    }
    return failures == 0 ? 0 : 1;
}

#include "test_qt_presenter.moc"
