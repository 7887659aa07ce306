// Window layer internals: the records behind the handles, the state and calls
// its files share, and the seams the tests and the benchmark use.
#pragma once

#include <string>
#include <vector>

#include "ddinternal.h"
#include "win32.h"

struct SDL_Window;
struct VxPresenter;

// --- The records behind the handles ---------------------------------------------

struct WinClass {
    std::string name;
    WNDCLASSA wc;  // lpszClassName and lpszMenuName are not kept
};

struct HICON__ {
    int width, height;
    std::vector<uint32_t> argb;  // top-down rows, alpha 0 where the AND mask is set
};

struct HBRUSH__ {
    COLORREF color;
    bool hollow;
};

struct HBITMAP__ {
    int width, height;
    std::vector<uint8_t> bits;  // top-down rows of `width` palette indices
    PALETTEENTRY palette[256];  // the colour table, zero past its end
};

struct HWND__ {
    WinClass* cls;
    std::string title;
    DWORD style, exStyle;
    HWND parent;
    int id;             // control id of a child
    int x, y;           // child: position in the parent's client area
    int width, height;  // client size
    std::vector<HWND> children;
    SDL_Window* window;           // top-level windows only
    VxPresenter* presenter;       // top-level: shows `store`, or the display's frames, in `window`
    int fps;                      // top-level: the rate the presenter paces to (0: none)
    std::vector<uint32_t> store;  // top-level: client pixels as XRGB8888
    bool display;                 // shows the display layer's frames instead of `store`
    bool needsPaint, needsErase;
    bool pressed;  // button: drawn pushed in
    HDC__ dc;      // the context BeginPaint hands out
};

// --- Test seams ---------------------------------------------------------------------

// A tick source replacing the clock (null restores it), and the 60 Hz pacing
// of Flip with DDFLIP_WAIT where there is no vsync (on by default, off when
// the environment sets VEXIL_NO_PACING).
void WinSetTickSource(DWORD (*ticks)());
void WinSetFramePacing(bool on);
// Called by PeekMessageA each time it finds nothing to take (null removes it):
// lets a test act at the idle moments of a real message loop.
void WinSetIdleHook(void (*hook)(void* user), void* user);
// Number of live windows (children included) and pending posted messages.
int WinLiveWindows();
int WinPendingMessages();
// The RGB colour at (x, y) of the window's client in its backing store (what
// painting left there; a window showing the display's frames keeps none); 0
// outside.
uint32_t WinClientPixel(HWND hwnd, int x, int y);

// --- Shared by the window layer's files ----------------------------------------------

extern std::vector<HWND> winWindows;  // live windows in creation order
extern bool winVideoOpen;             // SDL's video runs (WinOpenDisplay succeeded)
extern HWND winDisplayWnd;            // the window showing the display layer's frames
extern HWND winCaptureWnd;            // the button that holds the mouse

// A GDI colour as the stores' XRGB8888.
inline uint32_t WinXrgb(COLORREF c) {
    return 0xFF000000u | uint32_t(GetRValue(c)) << 16 | uint32_t(GetGValue(c)) << 8 | GetBValue(c);
}

// Window tree (wincore.cpp).
HWND WinTopLevel(HWND hwnd);
// The window and all its ancestors are visible.
bool WinVisible(HWND hwnd);
void WinInvalidateTree(HWND hwnd, bool erase);
// Fills a rectangle of the window's client, clipped to its top-level store.
void WinFillRect(HWND hwnd, int x, int y, int w, int h, uint32_t rgb);
// A top-level store of w x h pixels (at least 1 x 1), black.
void WinResizeStore(HWND top, int w, int h);

// Message queue (winmsg.cpp): queues a message stamped with the tick count;
// drops a window's messages; drops every message and the quit.
void WinPost(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
void WinDropMessages(HWND hwnd);
void WinClearMessages();

// Event translation (winevent.cpp): SDL's pending events become queued messages.
void WinPumpEvents();

// The built-in "button" class (winbutton.cpp), registered once.
void WinRegisterButtonClass();

// Present path (winpresent.cpp). Starting installs the display layer's hooks
// and reads VEXIL_NO_PACING; stopping removes them.
void WinStartPresenting();
void WinStopPresenting();
// A presenter on a top-level window's SDL window; false when SDL fails.
bool WinAttachPresenter(HWND top);
// Shows a top-level window's store, or the display's last frame again.
void WinShowWindow(HWND top);

// Text (wingdi.cpp): the size a text takes when drawn, and closing the font.
bool WinTextExtent(const char* text, int* width, int* height);
void WinCloseText();
