// Portable Win32 subset: declarations.
//
// The types, constants and functions of USER32, GDI32 and KERNEL32 that the
// graphics package uses, with the Windows names, values and signatures, so that
// package code written for Windows compiles here unchanged. Only what the package
// (and its tests) use is declared. Handles are opaque pointers to our own objects
// (defined in gdi/objects.h and user/window.h); colours are COLORREF 0x00BBGGRR.
//
// Implemented in gdi/ (drawing), user/ (windows, messages, menus, timers) and
// kernel/ (global memory). Sizes follow 64-bit Windows (LLP64): LONG, DWORD and
// UINT are 32 bits, WPARAM/LPARAM/LRESULT are pointer-sized.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

// ---------------------------------------------------------------- basic types
typedef int BOOL;
typedef unsigned char BYTE;
typedef unsigned short WORD;
typedef uint32_t DWORD;
typedef unsigned int UINT;
typedef int32_t LONG;
typedef int INT;
typedef char CHAR;
typedef intptr_t INT_PTR;
typedef uintptr_t UINT_PTR;
typedef intptr_t LONG_PTR;
typedef uintptr_t ULONG_PTR;
typedef UINT_PTR WPARAM;
typedef LONG_PTR LPARAM;
typedef LONG_PTR LRESULT;
typedef WORD ATOM;
typedef DWORD COLORREF;
typedef char* LPSTR;
typedef const char* LPCSTR;
// Wide characters are UTF-16 code units, as on Windows.
typedef char16_t WCHAR;
typedef WCHAR* LPWSTR;
typedef const WCHAR* LPCWSTR;
typedef void* LPVOID;
typedef void* HANDLE;
typedef void* HGDIOBJ;
typedef void* HGLOBAL;

#define DECLARE_PORTABLE_HANDLE(name) \
    struct name##__;                  \
    typedef struct name##__* name
DECLARE_PORTABLE_HANDLE(HWND);
DECLARE_PORTABLE_HANDLE(HDC);
DECLARE_PORTABLE_HANDLE(HPEN);
DECLARE_PORTABLE_HANDLE(HBRUSH);
DECLARE_PORTABLE_HANDLE(HFONT);
DECLARE_PORTABLE_HANDLE(HBITMAP);
DECLARE_PORTABLE_HANDLE(HMENU);
DECLARE_PORTABLE_HANDLE(HINSTANCE);
DECLARE_PORTABLE_HANDLE(HICON);
#undef DECLARE_PORTABLE_HANDLE
typedef HICON HCURSOR;
typedef HINSTANCE HMODULE;

#define WINAPI
#define CALLBACK
#define APIENTRY
#define FALSE 0
#define TRUE 1

// ---------------------------------------------------------------- records
typedef struct tagPOINT {
    LONG x;
    LONG y;
} POINT, *LPPOINT;

typedef struct tagSIZE {
    LONG cx;
    LONG cy;
} SIZE, *LPSIZE;

typedef struct tagRECT {
    LONG left;
    LONG top;
    LONG right;
    LONG bottom;
} RECT, *LPRECT;

typedef struct tagMSG {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    DWORD time;
    POINT pt;
} MSG, *LPMSG;

typedef struct tagPAINTSTRUCT {
    HDC hdc;
    BOOL fErase;
    RECT rcPaint;
    BOOL fRestore;
    BOOL fIncUpdate;
    BYTE rgbReserved[32];
} PAINTSTRUCT, *LPPAINTSTRUCT;

typedef LRESULT(CALLBACK* WNDPROC)(HWND, UINT, WPARAM, LPARAM);
typedef void(CALLBACK* TIMERPROC)(HWND, UINT, UINT_PTR, DWORD);

typedef struct tagWNDCLASSA {
    UINT style;
    WNDPROC lpfnWndProc;
    int cbClsExtra;
    int cbWndExtra;
    HINSTANCE hInstance;
    HICON hIcon;
    HCURSOR hCursor;
    HBRUSH hbrBackground;
    LPCSTR lpszMenuName;
    LPCSTR lpszClassName;
} WNDCLASSA;

typedef struct tagCREATESTRUCTA {
    LPVOID lpCreateParams;
    HINSTANCE hInstance;
    HMENU hMenu;
    HWND hwndParent;
    int cy;
    int cx;
    int y;
    int x;
    LONG style;
    LPCSTR lpszName;
    LPCSTR lpszClass;
    DWORD dwExStyle;
} CREATESTRUCTA, *LPCREATESTRUCTA;

typedef struct _FILETIME {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
} FILETIME, *LPFILETIME;

typedef struct _SECURITY_ATTRIBUTES {
    DWORD nLength;
    LPVOID lpSecurityDescriptor;
    BOOL bInheritHandle;
} SECURITY_ATTRIBUTES, *LPSECURITY_ATTRIBUTES;

typedef struct tagTEXTMETRICA {
    LONG tmHeight;
    LONG tmAscent;
    LONG tmDescent;
    LONG tmInternalLeading;
    LONG tmExternalLeading;
    LONG tmAveCharWidth;
    LONG tmMaxCharWidth;
    LONG tmWeight;
    LONG tmOverhang;
    LONG tmDigitizedAspectX;
    LONG tmDigitizedAspectY;
    BYTE tmFirstChar;
    BYTE tmLastChar;
    BYTE tmDefaultChar;
    BYTE tmBreakChar;
    BYTE tmItalic;
    BYTE tmUnderlined;
    BYTE tmStruckOut;
    BYTE tmPitchAndFamily;
    BYTE tmCharSet;
} TEXTMETRICA, *LPTEXTMETRICA;

// ---------------------------------------------------------------- macros
#define LOWORD(l) ((WORD)(((ULONG_PTR)(l)) & 0xffff))
#define HIWORD(l) ((WORD)((((ULONG_PTR)(l)) >> 16) & 0xffff))
#define MAKELONG(a, b)                                                                         \
    ((LONG)(((WORD)(((ULONG_PTR)(a)) & 0xffff)) | ((DWORD)((WORD)(((ULONG_PTR)(b)) & 0xffff))) \
                                                      << 16))
#define MAKELPARAM(l, h) ((LPARAM)(DWORD)MAKELONG(l, h))
#define RGB(r, g, b) \
    ((COLORREF)(((BYTE)(r) | ((WORD)((BYTE)(g)) << 8)) | (((DWORD)(BYTE)(b)) << 16)))
#define GetRValue(rgb) ((BYTE)(rgb))
#define GetGValue(rgb) ((BYTE)(((WORD)(rgb)) >> 8))
#define GetBValue(rgb) ((BYTE)((rgb) >> 16))
#define MAKEINTRESOURCEA(i) ((LPSTR)((ULONG_PTR)((WORD)(i))))
#define IDI_APPLICATION MAKEINTRESOURCEA(32512)
#define IDC_ARROW MAKEINTRESOURCEA(32512)

// ---------------------------------------------------------------- messages
#define WM_NULL 0x0000
#define WM_CREATE 0x0001
#define WM_DESTROY 0x0002
#define WM_MOVE 0x0003
#define WM_SIZE 0x0005
#define WM_SETFOCUS 0x0007
#define WM_KILLFOCUS 0x0008
#define WM_PAINT 0x000F
#define WM_CLOSE 0x0010
#define WM_QUIT 0x0012
#define WM_ERASEBKGND 0x0014
#define WM_ENDSESSION 0x0016
#define WM_SHOWWINDOW 0x0018
#define WM_KEYDOWN 0x0100
#define WM_KEYUP 0x0101
#define WM_CHAR 0x0102
#define WM_SYSKEYDOWN 0x0104
#define WM_SYSKEYUP 0x0105
#define WM_COMMAND 0x0111
#define WM_TIMER 0x0113
#define WM_MOUSEMOVE 0x0200
#define WM_LBUTTONDOWN 0x0201
#define WM_LBUTTONUP 0x0202
#define WM_RBUTTONDOWN 0x0204
#define WM_RBUTTONUP 0x0205
#define WM_UNICHAR 0x0109
#define UNICODE_NOCHAR 0xFFFF
#define WM_USER 0x0400

#define SIZE_RESTORED 0
#define MK_LBUTTON 0x0001
#define MK_RBUTTON 0x0002
#define MK_SHIFT 0x0004
#define MK_CONTROL 0x0008
#define VK_BACK 0x08
#define VK_TAB 0x09
#define VK_RETURN 0x0D
#define VK_SHIFT 0x10
#define VK_CONTROL 0x11
#define VK_MENU 0x12
#define VK_ESCAPE 0x1B
#define VK_SPACE 0x20
#define VK_PRIOR 0x21
#define VK_NEXT 0x22
#define VK_END 0x23
#define VK_HOME 0x24
#define VK_LEFT 0x25
#define VK_UP 0x26
#define VK_RIGHT 0x27
#define VK_DOWN 0x28
#define VK_INSERT 0x2D
#define VK_DELETE 0x2E
#define VK_F1 0x70
#define VK_F10 0x79
#define VK_F12 0x7B
#define VK_PACKET 0xE7

// ---------------------------------------------------------------- window styles
#define CS_VREDRAW 0x0001
#define CS_HREDRAW 0x0002
#define WS_OVERLAPPED 0x00000000L
#define WS_POPUP 0x80000000L
#define WS_CHILD 0x40000000L
#define WS_VISIBLE 0x10000000L
#define WS_CAPTION 0x00C00000L
#define WS_BORDER 0x00800000L
#define WS_DLGFRAME 0x00400000L
#define WS_SYSMENU 0x00080000L
#define WS_THICKFRAME 0x00040000L
#define WS_MINIMIZEBOX 0x00020000L
#define WS_MAXIMIZEBOX 0x00010000L
#define WS_OVERLAPPEDWINDOW \
    (WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX)
#define CW_USEDEFAULT ((int)0x80000000)

#define SW_HIDE 0
#define SW_SHOWNORMAL 1
#define SW_NORMAL 1
#define SW_SHOW 5
#define SW_SHOWDEFAULT 10

#define SM_CXSCREEN 0
#define SM_CYSCREEN 1

// ---------------------------------------------------------------- menus
#define MF_STRING 0x00000000L
#define MF_BYCOMMAND 0x00000000L
#define MF_UNCHECKED 0x00000000L
#define MF_ENABLED 0x00000000L
#define MF_GRAYED 0x00000001L
#define MF_DISABLED 0x00000002L
#define MF_CHECKED 0x00000008L
#define MF_POPUP 0x00000010L
#define MF_BYPOSITION 0x00000400L
#define MF_SEPARATOR 0x00000800L

// ---------------------------------------------------------------- GDI
#define PS_SOLID 0
#define PS_DASH 1
#define PS_DOT 2
#define PS_NULL 5
#define PS_INSIDEFRAME 6

#define WHITE_BRUSH 0
#define LTGRAY_BRUSH 1
#define GRAY_BRUSH 2
#define DKGRAY_BRUSH 3
#define BLACK_BRUSH 4
#define NULL_BRUSH 5
#define HOLLOW_BRUSH NULL_BRUSH
#define WHITE_PEN 6
#define BLACK_PEN 7
#define NULL_PEN 8
#define OEM_FIXED_FONT 10
#define ANSI_FIXED_FONT 11
#define ANSI_VAR_FONT 12
#define SYSTEM_FONT 13
#define DEFAULT_GUI_FONT 17

#define TRANSPARENT 1
#define OPAQUE 2

#define SRCCOPY 0x00CC0020UL
#define CLR_INVALID 0xFFFFFFFFUL

#define FW_DONTCARE 0
#define FW_NORMAL 400
#define FW_BOLD 700
#define ANSI_CHARSET 0
#define DEFAULT_CHARSET 1
#define OUT_DEFAULT_PRECIS 0
#define CLIP_DEFAULT_PRECIS 0
#define DEFAULT_QUALITY 0
#define NONANTIALIASED_QUALITY 3
#define DEFAULT_PITCH 0
#define FIXED_PITCH 1
#define VARIABLE_PITCH 2
#define FF_DONTCARE 0x00
#define FF_MODERN 0x30

#define ERROR 0
#define NULLREGION 1
#define SIMPLEREGION 2

// ---------------------------------------------------------------- KERNEL
#define GMEM_FIXED 0x0000
#define GMEM_MOVEABLE 0x0002
#define GMEM_ZEROINIT 0x0040
#define GHND (GMEM_MOVEABLE | GMEM_ZEROINIT)

// ---------------------------------------------------------------- GDI32: objects and DCs
// Supported: solid pens of any width (0 and 1 are one-pixel pens, wider ones are
//   geometric with round caps and joins), PS_NULL, PS_INSIDEFRAME; solid and
//   stock brushes (NULL_BRUSH fills nothing); memory DCs with a selected bitmap
//   and window DCs (GetDC) that draw into the window's front image. SelectObject
//   returns what it replaced; DeleteObject refuses an object still selected and
//   never frees a stock object; a handle that is not a live object is refused.
// Not supported: dashed and dotted pens (drawn solid), hatched and pattern
//   brushes, regions, palettes, mapping modes and world transforms.
HPEN WINAPI CreatePen(int iStyle, int cWidth, COLORREF color);
HBRUSH WINAPI CreateSolidBrush(COLORREF color);
HGDIOBJ WINAPI GetStockObject(int i);
HGDIOBJ WINAPI SelectObject(HDC hdc, HGDIOBJ h);
BOOL WINAPI DeleteObject(HGDIOBJ ho);
HDC WINAPI CreateCompatibleDC(HDC hdc);
BOOL WINAPI DeleteDC(HDC hdc);
HBITMAP WINAPI CreateCompatibleBitmap(HDC hdc, int cx, int cy);

// ---------------------------------------------------------------- GDI32: drawing
// Supported: Polygon (alternate fill), Rectangle and Ellipse leaving out the box's
//   right column and bottom row, LineTo leaving out its end pixel, SetPixel and
//   GetPixel, each at any int coordinate (clipped first, in 64 bits, so no call
//   costs more than the pixels it can touch). A 1 x 1 box with a one-pixel pen
//   colours its one pixel (classic GDI draws nothing there). BitBlt copies between
//   DCs, overlapping blocks included.
// Not supported: BitBlt raster operations other than SRCCOPY (refused with FALSE);
//   arcs, curves, polylines, flood fills.
BOOL WINAPI Polygon(HDC hdc, const POINT* apt, int cpt);
BOOL WINAPI Rectangle(HDC hdc, int left, int top, int right, int bottom);
BOOL WINAPI Ellipse(HDC hdc, int left, int top, int right, int bottom);
BOOL WINAPI MoveToEx(HDC hdc, int x, int y, LPPOINT lppt);
BOOL WINAPI LineTo(HDC hdc, int x, int y);
COLORREF WINAPI SetPixel(HDC hdc, int x, int y, COLORREF color);
COLORREF WINAPI GetPixel(HDC hdc, int x, int y);
BOOL WINAPI BitBlt(HDC hdc, int x, int y, int cx, int cy, HDC hdcSrc, int x1, int y1, DWORD rop);
// The viewport origin is added to every coordinate a drawing call takes (in 64
// bits, so a shape can reach beyond the int range exactly); no mapping modes.
BOOL WINAPI SetViewportOrgEx(HDC hdc, int x, int y, LPPOINT lppt);
BOOL WINAPI GetViewportOrgEx(HDC hdc, LPPOINT lppoint);

// ---------------------------------------------------------------- GDI32: text
// Supported: CreateFontA's height (negative: em size in pixels; positive: cell
//   height), weight, italic and face name (a face that is not installed falls back
//   to one with Arial's metrics), ANSI_FIXED_FONT and SYSTEM_FONT; TextOutA with
//   TA_TOP | TA_LEFT, monochrome glyphs in the exact text colour, OPAQUE filling
//   the cell with the background colour; extents and metrics as Windows reports
//   them for TrueType faces. The "A" calls read bytes as code page 1252
//   characters, the "W" calls UTF-16 (a pair of surrogates is one character, a
//   lone surrogate the replacement character). A character the face has no glyph
//   for draws as an outlined box.
// Not supported: width, escapement, orientation, underline and strike-out;
//   SetTextAlign; character extra spacing; anti-aliased text.
COLORREF WINAPI SetTextColor(HDC hdc, COLORREF color);
COLORREF WINAPI GetTextColor(HDC hdc);
int WINAPI SetBkMode(HDC hdc, int mode);
int WINAPI GetBkMode(HDC hdc);
COLORREF WINAPI SetBkColor(HDC hdc, COLORREF color);
COLORREF WINAPI GetBkColor(HDC hdc);
HFONT WINAPI CreateFontA(int cHeight, int cWidth, int cEscapement, int cOrientation, int cWeight,
                         DWORD bItalic, DWORD bUnderline, DWORD bStrikeOut, DWORD iCharSet,
                         DWORD iOutPrecision, DWORD iClipPrecision, DWORD iQuality,
                         DWORD iPitchAndFamily, LPCSTR pszFaceName);
BOOL WINAPI TextOutA(HDC hdc, int x, int y, LPCSTR lpString, int c);
BOOL WINAPI GetTextExtentPointA(HDC hdc, LPCSTR lpString, int c, LPSIZE lpsz);
BOOL WINAPI GetTextExtentPoint32A(HDC hdc, LPCSTR lpString, int c, LPSIZE psizl);
BOOL WINAPI GetTextMetricsA(HDC hdc, LPTEXTMETRICA lptm);
BOOL WINAPI TextOutW(HDC hdc, int x, int y, LPCWSTR lpString, int c);
BOOL WINAPI GetTextExtentPoint32W(HDC hdc, LPCWSTR lpString, int c, LPSIZE psizl);

// ---------------------------------------------------------------- USER32: drawing helpers
// Supported: FillRect with a brush handle; ScrollDC moving the pixels of a
//   rectangle within a clip rectangle and returning the uncovered part's bounding
//   box in lprcUpdate (the uncovered pixels keep their old colours).
// Not supported: ScrollDC's update region (hrgnUpdate is ignored); FillRect with a
//   system colour index in place of a brush.
int WINAPI FillRect(HDC hDC, const RECT* lprc, HBRUSH hbr);
BOOL WINAPI ScrollDC(HDC hDC, int dx, int dy, const RECT* lprcScroll, const RECT* lprcClip,
                     HANDLE hrgnUpdate, LPRECT lprcUpdate);

// ---------------------------------------------------------------- USER32: windows and messages
// Supported: window classes with a procedure, background brush, icon and cursor;
//   top-level windows whose client size comes from the presenter's decorations;
//   CreateWindowExA sends WM_CREATE then WM_SIZE before it returns; DefWindowProcA
//   destroys a window on WM_CLOSE (sending WM_DESTROY) and erases on
//   WM_ERASEBKGND; one invalid rectangle per window; timers posting WM_TIMER.
//   GetMessageA keeps Windows' order (posted messages, then the quit message, then
//   WM_PAINT, then a due WM_TIMER, missed periods coalescing) and otherwise blocks
//   in the presenter. When a headless program would wait forever (no input queued,
//   no timer), GetMessageA ends the program with a message on stderr and exit
//   code 1 (it throws nothing), unless the headless run closes idle programs:
//   then its windows are closed, then the quit message is posted, and a program
//   that waits on after that gets the quit again (up to a limit, then the end
//   with the message). TranslateMessage posts the WM_CHAR that the presenter
//   attached to a WM_KEYDOWN. SendMessageA calls the procedure directly.
// Not supported: child windows, window positions after creation, the non-client
//   area's messages, message filters other than the window, PeekMessage,
//   keyboard accelerators (the package tracks Ctrl itself).
ATOM WINAPI RegisterClassA(const WNDCLASSA* lpWndClass);
HWND WINAPI CreateWindowExA(DWORD dwExStyle, LPCSTR lpClassName, LPCSTR lpWindowName, DWORD dwStyle,
                            int X, int Y, int nWidth, int nHeight, HWND hWndParent, HMENU hMenu,
                            HINSTANCE hInstance, LPVOID lpParam);
BOOL WINAPI DestroyWindow(HWND hWnd);
// Window properties: a name and a handle-sized value per window.
BOOL WINAPI SetPropA(HWND hWnd, LPCSTR lpString, HANDLE hData);
HANDLE WINAPI GetPropA(HWND hWnd, LPCSTR lpString);
HANDLE WINAPI RemovePropA(HWND hWnd, LPCSTR lpString);
BOOL WINAPI IsWindow(HWND hWnd);
BOOL WINAPI IsWindowVisible(HWND hWnd);
BOOL WINAPI ShowWindow(HWND hWnd, int nCmdShow);
BOOL WINAPI GetClientRect(HWND hWnd, LPRECT lpRect);
BOOL WINAPI GetWindowRect(HWND hWnd, LPRECT lpRect);
LRESULT WINAPI DefWindowProcA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam);
HDC WINAPI GetDC(HWND hWnd);
int WINAPI ReleaseDC(HWND hWnd, HDC hDC);
HDC WINAPI BeginPaint(HWND hWnd, LPPAINTSTRUCT lpPaint);
BOOL WINAPI EndPaint(HWND hWnd, const PAINTSTRUCT* lpPaint);
BOOL WINAPI InvalidateRect(HWND hWnd, const RECT* lpRect, BOOL bErase);
UINT_PTR WINAPI SetTimer(HWND hWnd, UINT_PTR nIDEvent, UINT uElapse, TIMERPROC lpTimerFunc);
BOOL WINAPI KillTimer(HWND hWnd, UINT_PTR uIDEvent);
BOOL WINAPI PostMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam);
LRESULT WINAPI SendMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam);
void WINAPI PostQuitMessage(int nExitCode);
BOOL WINAPI GetMessageA(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax);
BOOL WINAPI TranslateMessage(const MSG* lpMsg);
LRESULT WINAPI DispatchMessageA(const MSG* lpMsg);
int WINAPI GetSystemMetrics(int nIndex);
HICON WINAPI LoadIconA(HINSTANCE hInstance, LPCSTR lpIconName);
HCURSOR WINAPI LoadCursorA(HINSTANCE hInstance, LPCSTR lpCursorName);

// Menus are data that the presenter mirrors: items with text ('&' access letters,
// the shortcut text after a tab), separators, popups, MF_GRAYED and check marks by
// command or by position; choosing an item posts WM_COMMAND with its id.
// Not supported: owner-drawn items, bitmaps, radio checks, menus changed by
// anything but AppendMenuA and CheckMenuItem.
HMENU WINAPI CreateMenu(void);
HMENU WINAPI CreatePopupMenu(void);
BOOL WINAPI DestroyMenu(HMENU hMenu);
BOOL WINAPI AppendMenuA(HMENU hMenu, UINT uFlags, UINT_PTR uIDNewItem, LPCSTR lpNewItem);
BOOL WINAPI SetMenu(HWND hWnd, HMENU hMenu);
HMENU WINAPI GetMenu(HWND hWnd);
BOOL WINAPI DrawMenuBar(HWND hWnd);
DWORD WINAPI CheckMenuItem(HMENU hMenu, UINT uIDCheckItem, UINT uCheck);
UINT WINAPI GetMenuState(HMENU hMenu, UINT uId, UINT uFlags);

// ---------------------------------------------------------------- KERNEL32
// Supported: global memory blocks (fixed and movable, which never move) with
// Windows' lock counts; a handle that is not a live block is refused unread.
HGLOBAL WINAPI GlobalAlloc(UINT uFlags, size_t dwBytes);
LPVOID WINAPI GlobalLock(HGLOBAL hMem);
BOOL WINAPI GlobalUnlock(HGLOBAL hMem);
HGLOBAL WINAPI GlobalFree(HGLOBAL hMem);
size_t WINAPI GlobalSize(HGLOBAL hMem);
// Hands a text to the debugger; the portable platform can mirror these to a file.
void WINAPI OutputDebugStringA(LPCSTR lpOutputString);
// Supported: code page 1252 (also as CP_ACP, the ANSI code page of a Western
//   Windows), no flags; other code pages fail (0, nothing written).
#define CP_ACP 0
int WINAPI MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCSTR lpMultiByteStr, int cbMultiByte,
                               LPWSTR lpWideCharStr, int cchWideChar);
// The current time as 100-ns intervals since 1601-01-01 (UTC); the portable
// platform can fix it (the entry point's --seed).
void WINAPI GetSystemTimeAsFileTime(LPFILETIME lpSystemTimeAsFileTime);

// Tells the system the thread is busy. ES_CONTINUOUS | ES_SYSTEM_REQUIRED holds it
// in the working state until a call with ES_CONTINUOUS alone releases it (the
// package holds it while a script is being played back); ES_SYSTEM_REQUIRED
// alone resets the idle timer once. A headless run does not end for idleness
// while it is held. Returns the previous state.
typedef DWORD EXECUTION_STATE;
#define ES_SYSTEM_REQUIRED 0x00000001u
#define ES_CONTINUOUS 0x80000000u
EXECUTION_STATE WINAPI SetThreadExecutionState(EXECUTION_STATE esFlags);

// Files. CreateFileA never blocks: a FIFO is opened without waiting for its other
// end (one for writing that has no reader fails, as Windows fails a pipe that is
// not there). A folder cannot be opened, as on Windows without
// FILE_FLAG_BACKUP_SEMANTICS. Only dwDesiredAccess (GENERIC_READ, GENERIC_WRITE)
// and dwCreationDisposition (CREATE_ALWAYS, OPEN_EXISTING) are used; sharing,
// security, attributes and templates are accepted and ignored. Fails with
// INVALID_HANDLE_VALUE.
#define INVALID_HANDLE_VALUE ((HANDLE)(LONG_PTR)-1)
#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u
#define FILE_SHARE_READ 0x00000001u
#define FILE_SHARE_WRITE 0x00000002u
#define CREATE_ALWAYS 2
#define OPEN_EXISTING 3
#define FILE_ATTRIBUTE_NORMAL 0x00000080u
HANDLE WINAPI CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                          LPSECURITY_ATTRIBUTES lpSecurityAttributes, DWORD dwCreationDisposition,
                          DWORD dwFlagsAndAttributes, HANDLE hTemplateFile);
// FILE_TYPE_DISK for a regular file, FILE_TYPE_CHAR for a device, FILE_TYPE_PIPE
// for a FIFO or a socket, FILE_TYPE_UNKNOWN for anything else or a bad handle.
#define FILE_TYPE_UNKNOWN 0x0000u
#define FILE_TYPE_DISK 0x0001u
#define FILE_TYPE_CHAR 0x0002u
#define FILE_TYPE_PIPE 0x0003u
DWORD WINAPI GetFileType(HANDLE hFile);
BOOL WINAPI CloseHandle(HANDLE hObject);

// The C runtime's bridge from a file handle to a stream, as on Windows:
// _open_osfhandle takes over the handle (the descriptor owns it from then on, and
// closing the descriptor or its stream closes the file); _fdopen makes a stream of
// a descriptor, with the modes of fopen ("t" is the text mode, which here is the
// same as binary); _close closes a descriptor that has no stream. Flags: _O_RDONLY
// or _O_WRONLY, with _O_TEXT; they are accepted and the handle's own access kept.
#define _O_RDONLY 0x0000
#define _O_WRONLY 0x0001
#define _O_TEXT 0x4000
int _open_osfhandle(intptr_t osfhandle, int flags);
FILE* _fdopen(int fd, const char* mode);
int _close(int fd);

// The application's entry point; the portable platform's main() calls it.
int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPSTR lpCmdLine, int nShowCmd);
