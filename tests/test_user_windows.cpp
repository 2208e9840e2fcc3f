// Windows: creation messages and client sizes, classes, closing, showing,
// invalidation and painting into the front image.
#include "user_test_support.h"

using namespace user_test;

TEST_F(UserTest, CreateSendsCreateThenSizeWithTheMenuBarAccountedFor) {
    on_create() = [](HWND window) { SetMenu(window, make_run_menu()); };
    HWND window = make_window();
    ASSERT_NE(window, nullptr);
    ASSERT_EQ(seen().size(), 2u);  // nothing else reached the procedure
    EXPECT_EQ(seen()[0].message, UINT(WM_CREATE));
    auto* create = reinterpret_cast<const CREATESTRUCTA*>(seen()[0].l);
    EXPECT_NE(create, nullptr);
    EXPECT_EQ(seen()[1].message, UINT(WM_SIZE));
    EXPECT_EQ(seen()[1].w, WPARAM(SIZE_RESTORED));
    EXPECT_EQ(LOWORD(seen()[1].l), 595);  // 601 - 2 * 3
    EXPECT_EQ(HIWORD(seen()[1].l), 491);  // 540 - 3 - 23 - 20 - 3
    RECT client, outer;
    ASSERT_TRUE(GetClientRect(window, &client));
    EXPECT_EQ(client.right, 595);
    EXPECT_EQ(client.bottom, 491);
    ASSERT_TRUE(GetWindowRect(window, &outer));
    EXPECT_EQ(outer.right - outer.left, 601);
    EXPECT_FALSE(IsWindowVisible(window));

    on_create() = nullptr;
    HWND sizable = make_window("Text", WS_OVERLAPPEDWINDOW, 601, 256);
    GetClientRect(sizable, &client);
    EXPECT_EQ(client.right, 593);
    EXPECT_EQ(client.bottom, 225);
    EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN), 768);
}

TEST_F(UserTest, ClientSizeOverrideAndMenuRemovalResize) {
    headless->set_client_size_override({640, 480});
    HWND first = make_window();
    HWND second = make_window("Second");
    RECT client;
    GetClientRect(first, &client);
    EXPECT_EQ(client.right, 640);
    EXPECT_EQ(client.bottom, 480);
    // Setting a menu bar after creation shrinks the client area and sends WM_SIZE.
    seen().clear();
    SetMenu(second, make_run_menu());
    ASSERT_FALSE(seen().empty());
    EXPECT_EQ(seen().back().message, UINT(WM_SIZE));
    EXPECT_EQ(HIWORD(seen().back().l), 491);
    EXPECT_EQ(portable::live_window(second)->front_image.height, 491);
}

TEST_F(UserTest, VisibleStyleShowsAtCreation) {
    HWND window = make_window("Shown", WS_CAPTION | WS_SYSMENU | WS_VISIBLE);
    EXPECT_TRUE(IsWindowVisible(window));
    EXPECT_EQ(seen().size(), 2u);  // WM_CREATE, WM_SIZE; the paint is owed, not sent
    EXPECT_EQ(next().message, UINT(WM_PAINT));
}

TEST_F(UserTest, ClassesAreRegisteredOnce) {
    WNDCLASSA description{};
    description.lpfnWndProc = recording_proc;
    description.lpszClassName = "testwndclass";  // names compare without case
    EXPECT_EQ(RegisterClassA(&description), 0);
    EXPECT_EQ(
        CreateWindowExA(0, "NoSuchClass", "x", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr),
        nullptr);
    EXPECT_EQ(LoadIconA(nullptr, IDI_APPLICATION) != nullptr, true);
    EXPECT_EQ(LoadCursorA(nullptr, IDC_ARROW) != nullptr, true);
}

TEST_F(UserTest, CloseDestroysThroughDefaultProcessing) {
    HWND window = make_window();
    HDC dc = GetDC(window);
    PostMessageA(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(next_dispatched().message, UINT(WM_CLOSE));
    EXPECT_EQ(seen().back().message, UINT(WM_DESTROY));
    EXPECT_FALSE(IsWindow(window));
    EXPECT_FALSE(DestroyWindow(window));
    EXPECT_FALSE(ShowWindow(window, SW_SHOW));
    RECT r;
    EXPECT_FALSE(GetClientRect(window, &r));
    // The headless presenter still answers for the window it saw.
    EXPECT_EQ(headless->title(window), "Test");
    EXPECT_EQ(headless->front_image(window).width, 595);
    EXPECT_EQ(ReleaseDC(window, dc), 1);
    EXPECT_EQ(ReleaseDC(window, dc), 0);
}

TEST_F(UserTest, OnlyVisibleWindowsArePainted) {
    HWND window = make_window();
    SetTimer(window, 1, 50, nullptr);
    InvalidateRect(window, nullptr, TRUE);  // hidden: ignored
    EXPECT_EQ(next().message, UINT(WM_TIMER));

    EXPECT_FALSE(ShowWindow(window, SW_SHOWDEFAULT));
    EXPECT_TRUE(IsWindowVisible(window));
    EXPECT_TRUE(ShowWindow(window, SW_SHOW));  // already visible
    EXPECT_EQ(next_dispatched().message, UINT(WM_PAINT));
    EXPECT_EQ(next().message, UINT(WM_TIMER));  // painted once: validated

    ShowWindow(window, SW_HIDE);
    InvalidateRect(window, nullptr, TRUE);
    EXPECT_EQ(next().message, UINT(WM_TIMER));
}

TEST_F(UserTest, PaintErasesWithTheClassBrushWhenAsked) {
    HWND window = make_window();
    ShowWindow(window, SW_SHOW);
    auto& image = portable::live_window(window)->front_image;
    EXPECT_EQ(image.pixels[0], RGB(10, 20, 30));  // a new front image has the class colour
    next_dispatched();

    std::fill(image.pixels.begin(), image.pixels.end(), RGB(255, 0, 0));
    RECT a = {10, 10, 20, 20}, b = {30, 5, 40, 15};
    InvalidateRect(window, &a, FALSE);
    InvalidateRect(window, &b, FALSE);
    ASSERT_EQ(next().message, UINT(WM_PAINT));
    int frames = headless->frames(window);
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    ASSERT_NE(dc, nullptr);
    EXPECT_EQ(paint.rcPaint.left, 10);  // the bounding box of both rectangles
    EXPECT_EQ(paint.rcPaint.top, 5);
    EXPECT_EQ(paint.rcPaint.right, 40);
    EXPECT_EQ(paint.rcPaint.bottom, 20);
    EXPECT_FALSE(paint.fErase);
    EndPaint(window, &paint);
    EXPECT_EQ(image.pixels[15 * 595 + 15], RGB(255, 0, 0));  // not erased

    InvalidateRect(window, &a, TRUE);
    next_dispatched();
    EXPECT_EQ(headless->frames(window), frames + 1);  // the paint, shown before the next one
    EXPECT_EQ(image.pixels[15 * 595 + 15], RGB(10, 20, 30));  // erased inside the rectangle
    EXPECT_EQ(image.pixels[25 * 595 + 25], RGB(255, 0, 0));   // and nowhere else
}

// Drawing into a window only marks its front image changed: the presenter shows
// it once, when the program next calls GetMessageA, however many calls drew and
// whether a paint or a window DC drew it. Drawing into memory shows nothing. A
// window being destroyed shows its last picture first.
TEST_F(UserTest, DrawingIsShownWhenTheProgramNextWaits) {
    HWND window = make_window();
    std::vector<COLORREF> shown;  // the centre pixel of each frame, as it was shown
    headless->set_frame_observer([&](HWND w, int frame) {
        portable::HeadlessImage image = headless->front_image(w);
        if (w == window && frame == int(shown.size()) + 1)
            shown.push_back(image.pixels[size_t(image.height / 2) * image.width + image.width / 2]);
    });
    SetTimer(window, 1, 100, nullptr);  // GetMessageA always has a message to hand out
    ShowWindow(window, SW_SHOW);
    EXPECT_EQ(next_dispatched().message, UINT(WM_PAINT));  // erases, draws nothing
    EXPECT_EQ(headless->frames(window), 0);
    next();
    EXPECT_EQ(shown, (std::vector<COLORREF>{RGB(10, 20, 30)}));

    HDC dc = GetDC(window);
    HDC memory = CreateCompatibleDC(dc);
    HBITMAP bitmap = CreateCompatibleBitmap(dc, 601, 540);
    HGDIOBJ old_bitmap = SelectObject(memory, bitmap);
    Rectangle(memory, 0, 0, 601, 540);
    next();
    EXPECT_EQ(headless->frames(window), 1);  // memory is not the screen

    HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
    RECT client;
    GetClientRect(window, &client);
    FillRect(dc, &client, red);
    SetPixel(dc, 1, 1, RGB(0, 0, 255));
    TextOutA(dc, 2, 2, "text", 4);
    MoveToEx(dc, 0, 0, nullptr);
    LineTo(dc, 5, 5);
    EXPECT_EQ(headless->frames(window), 1);  // not while drawing
    next();
    EXPECT_EQ(shown, (std::vector<COLORREF>{RGB(10, 20, 30), RGB(255, 0, 0)}));
    next();
    EXPECT_EQ(headless->frames(window), 2);  // nothing new

    BitBlt(dc, 0, 0, 601, 540, memory, 0, 0, SRCCOPY);  // white
    ReleaseDC(window, dc);
    EXPECT_EQ(headless->find_window("Test"), window);
    EXPECT_EQ(headless->first_window(), window);
    DestroyWindow(window);
    EXPECT_EQ(shown, (std::vector<COLORREF>{RGB(10, 20, 30), RGB(255, 0, 0), RGB(255, 255, 255)}));
    SelectObject(memory, old_bitmap);
    DeleteObject(bitmap);
    DeleteDC(memory);
    DeleteObject(red);
}
