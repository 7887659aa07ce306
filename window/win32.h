// Window layer: the Win32 window, message, cursor, tick and GDI calls the
// demo shell makes, carried out with SDL2 and SDL2_ttf. It also shows the
// display layer's flipped frames in the window that holds the full screen.
// What the handles point to is the layer's own (wininternal.h).
#pragma once

#include <cstddef>
#include <cstdint>

#include "ddraw.h"

#define WINAPI
#define CALLBACK
#define APIENTRY

typedef int BOOL;
typedef unsigned int UINT;
typedef uint16_t WORD;
typedef uint8_t BYTE;
typedef uintptr_t WPARAM;
typedef intptr_t LPARAM;
typedef intptr_t LRESULT;
typedef char* LPSTR;
typedef const char* LPCSTR;
typedef void* HGDIOBJ;
typedef void* LPVOID;

struct HINSTANCE__;
struct HCURSOR__;
struct HMENU__;
struct HICON__;
struct HBITMAP__;
struct HBRUSH__;
typedef HINSTANCE__* HINSTANCE;
typedef HICON__* HICON;
typedef HCURSOR__* HCURSOR;
typedef HBITMAP__* HBITMAP;
typedef HBRUSH__* HBRUSH;
typedef HMENU__* HMENU;

#ifndef TRUE
#define TRUE 1
#define FALSE 0
#endif

typedef LRESULT (*WNDPROC)(HWND, UINT, WPARAM, LPARAM);

struct POINT {
    LONG x, y;
};

struct MSG {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    DWORD time;
    POINT pt;
};
typedef MSG* LPMSG;

struct WNDCLASSA {
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
};

struct PAINTSTRUCT {
    HDC hdc;
    BOOL fErase;
    RECT rcPaint;
    BOOL fRestore, fIncUpdate;
    BYTE rgbReserved[32];
};
typedef PAINTSTRUCT* LPPAINTSTRUCT;

#define LOWORD(l) ((WORD)(((uintptr_t)(l)) & 0xFFFF))
#define HIWORD(l) ((WORD)((((uintptr_t)(l)) >> 16) & 0xFFFF))
#define MAKEWPARAM(lo, hi) ((WPARAM)(((DWORD)(WORD)(lo)) | (((DWORD)(WORD)(hi)) << 16)))
#define MAKELPARAM(lo, hi) ((LPARAM)(((DWORD)(WORD)(lo)) | (((DWORD)(WORD)(hi)) << 16)))
#define MAKEINTRESOURCEA(i) ((LPSTR)((uintptr_t)((WORD)(i))))
#define IS_INTRESOURCE(p) ((((uintptr_t)(p)) >> 16) == 0)

// Messages.
#define WM_NULL 0x0000
#define WM_CREATE 0x0001
#define WM_DESTROY 0x0002
#define WM_SIZE 0x0005
#define WM_PAINT 0x000F
#define WM_CLOSE 0x0010
#define WM_QUIT 0x0012
#define WM_ERASEBKGND 0x0014
#define WM_SETCURSOR 0x0020
#define WM_KEYDOWN 0x0100
#define WM_KEYUP 0x0101
#define WM_CHAR 0x0102
#define WM_SYSKEYDOWN 0x0104
#define WM_SYSKEYUP 0x0105
#define WM_COMMAND 0x0111
#define WM_MOUSEMOVE 0x0200
#define WM_LBUTTONDOWN 0x0201
#define WM_LBUTTONUP 0x0202
#define WM_USER 0x0400

#define BN_CLICKED 0

// Virtual key codes; letters and digits are their upper-case ASCII codes.
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
#define VK_F1 0x70
#define VK_F4 0x73

// Window styles.
#define WS_OVERLAPPED 0x00000000L
#define WS_POPUP 0x80000000L
#define WS_CHILD 0x40000000L
#define WS_VISIBLE 0x10000000L
#define WS_CAPTION 0x00C00000L
#define WS_SYSMENU 0x00080000L
#define WS_THICKFRAME 0x00040000L
#define WS_MINIMIZEBOX 0x00020000L
#define WS_MAXIMIZEBOX 0x00010000L
#define WS_EX_TOPMOST 0x00000008L

// Class styles.
#define CS_VREDRAW 0x0001
#define CS_HREDRAW 0x0002
#define CS_BYTEALIGNCLIENT 0x1000

#define CW_USEDEFAULT ((int)0x80000000)

// ShowWindow.
#define SW_HIDE 0
#define SW_SHOWNORMAL 1
#define SW_SHOW 5
#define SW_SHOWDEFAULT 10

#define PM_NOREMOVE 0x0000
#define PM_REMOVE 0x0001

#define SRCCOPY 0x00CC0020

// Stock objects.
#define WHITE_BRUSH 0
#define LTGRAY_BRUSH 1
#define GRAY_BRUSH 2
#define DKGRAY_BRUSH 3
#define BLACK_BRUSH 4
#define NULL_BRUSH 5

#define IDC_ARROW MAKEINTRESOURCEA(32512)
#define IDI_APPLICATION MAKEINTRESOURCEA(32512)

#define BS_PUSHBUTTON 0x00000000L

// --- Windows and messages ----------------------------------------------------

// Class names compare without regard to case; "button" is built in: a raised
// push button drawn with its caption that sends WM_COMMAND (low word its id,
// high word BN_CLICKED, lParam the button) to its parent when a click is
// released over it.
WORD RegisterClassA(const WNDCLASSA* wc);
// A top-level window is an SDL window whose client area is the given outer
// size less a classic frame when it has a caption or thick frame. WS_POPUP
// windows are borderless; WS_EX_TOPMOST ones stay above the others. A child
// is an area of its parent's client. WM_CREATE is sent before this returns;
// null when the class is unknown or SDL cannot make the window.
HWND CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y, int width,
                     int height, HWND parent, HMENU menu, HINSTANCE instance, LPVOID param);
BOOL ShowWindow(HWND hwnd, int cmdShow);
// Paints the window at once if it needs painting.
BOOL UpdateWindow(HWND hwnd);
// Sends WM_DESTROY to the window and then to its children, and frees them.
BOOL DestroyWindow(HWND hwnd);
BOOL IsWindow(HWND hwnd);
// The first top-level window of that class (null: any) and title (null: any).
HWND FindWindowA(LPCSTR className, LPCSTR windowName);
BOOL InvalidateRect(HWND hwnd, const RECT* rect, BOOL erase);
BOOL GetClientRect(HWND hwnd, RECT* rect);

// Takes posted messages and input (in the order they came), then WM_QUIT once
// the quit is posted, then WM_PAINT for windows that need painting. Only a
// null `hwnd` and the full message range are supported. Never blocks; with
// nothing to take and no window showing the display it sleeps 1 ms.
BOOL PeekMessageA(LPMSG msg, HWND hwnd, UINT filterMin, UINT filterMax, UINT removeMsg);
BOOL TranslateMessage(const MSG* msg);
LRESULT DispatchMessageA(const MSG* msg);
BOOL PostMessageA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT SendMessageA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
void PostQuitMessage(int exitCode);
// WM_CLOSE destroys the window; Alt+F4 (WM_SYSKEYDOWN) closes the top-level
// window; WM_SETCURSOR shows the class cursor;
// WM_ERASEBKGND fills with the class brush; anything else gives 0.
LRESULT DefWindowProcA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

// A null cursor hides the pointer. Returns the cursor that was current.
HCURSOR SetCursor(HCURSOR cursor);
HCURSOR LoadCursorA(HINSTANCE instance, LPCSTR name);
// Loads a 32 x 32 icon (4 or 8 bits per pixel with an AND mask, or 32 bits)
// found by name; the windows of a class with it show it as their icon. The
// same resource gives the same icon, which is never freed.
HICON LoadIconA(HINSTANCE instance, LPCSTR name);
HGDIOBJ GetStockObject(int object);
HINSTANCE GetModuleHandleA(LPCSTR name);

// Milliseconds in an unsigned 32-bit count that wraps to 0.
DWORD GetTickCount();

// --- GDI ------------------------------------------------------------------------

HDC BeginPaint(HWND hwnd, LPPAINTSTRUCT ps);
BOOL EndPaint(HWND hwnd, const PAINTSTRUCT* ps);
// An uncompressed 8-bit DIB found by name (with or without its 14-byte file
// header), bottom-up or top-down, with its colour table.
HBITMAP LoadBitmapA(HINSTANCE instance, LPCSTR name);
HDC CreateCompatibleDC(HDC hdc);
HGDIOBJ SelectObject(HDC hdc, HGDIOBJ object);
// Copies between 8-bit contexts (mapping colours when the palettes differ)
// and from an 8-bit context into a window's context. Only SRCCOPY.
BOOL BitBlt(HDC dest, int x, int y, int width, int height, HDC src, int srcX, int srcY, DWORD rop);
BOOL DeleteDC(HDC hdc);
BOOL DeleteObject(HGDIOBJ object);
COLORREF SetBkColor(HDC hdc, COLORREF color);
COLORREF SetTextColor(HDC hdc, COLORREF color);
// Draws the text in the context's text colour on an opaque box of its
// background colour; on an 8-bit context both become the nearest entries of
// its palette.
BOOL TextOutA(HDC hdc, int x, int y, LPCSTR text, int length);

// --- Window layer's own calls -----------------------------------------------------

// How LoadBitmapA and LoadIconA find resources: the bytes of the named
// resource and their count, or null. The program installs it.
typedef const unsigned char* (*WinResourceFinder)(const char* name, size_t* size);
void WinSetResourceFinder(WinResourceFinder find);

// Starts SDL's video. 0 on success; -1 when there is no display, with SDL's
// reason in `why` (may be null). Window creation calls it too.
int WinOpenDisplay(const char** why);
// The SDL video driver in use, or null before WinOpenDisplay succeeded.
const char* WinVideoDriver();

// Destroys every window, drops queued messages and the quit, and closes SDL.
void WinShutdown();
