// Window layer core: SDL start-up and shut-down, window classes, the window
// tree with its default handling and painting, cursor and ticks.
#include <SDL.h>
#include <strings.h>
#include <time.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "vxpresent.h"
#include "wininternal.h"

struct HINSTANCE__ {
    int unused;
};
struct HCURSOR__ {
    int unused;
};

std::vector<HWND> winWindows;
bool winVideoOpen = false;
HWND winDisplayWnd = nullptr;
HWND winCaptureWnd = nullptr;

namespace {

// Frame of a captioned, sizeable window: what the outer size loses to the
// client area.
constexpr int kFrameX = 4;
constexpr int kFrameTop = 4 + 20;
constexpr int kFrameBottom = 4;

HINSTANCE__ instance{};                          // what GetModuleHandleA hands out
HCURSOR__ arrowCursor{};                         // the one cursor there is
std::vector<std::unique_ptr<WinClass>> classes;  // registered classes
HCURSOR currentCursor = &arrowCursor;            // null while the pointer is hidden
DWORD (*tickSource)() = nullptr;                 // replaces the clock in tests

WinClass* FindClass(const char* name) {
    for (auto& c : classes) {
        if (!strcasecmp(c->name.c_str(), name)) return c.get();
    }
    return nullptr;
}

bool AnyPaintPending(HWND hwnd) {
    if (hwnd->needsPaint && WinVisible(hwnd)) return true;
    for (HWND c : hwnd->children) {
        if (AnyPaintPending(c)) return true;
    }
    return false;
}

bool MakeSdlWindow(HWND hwnd, int x, int y) {
    Uint32 flags = SDL_WINDOW_HIDDEN;
    const bool framed = hwnd->style & (WS_CAPTION | WS_THICKFRAME);
    if (!framed || (hwnd->style & WS_POPUP)) flags |= SDL_WINDOW_BORDERLESS;
    if (hwnd->style & WS_THICKFRAME) flags |= SDL_WINDOW_RESIZABLE;
    if (hwnd->exStyle & WS_EX_TOPMOST) flags |= SDL_WINDOW_ALWAYS_ON_TOP;
    hwnd->window = SDL_CreateWindow(hwnd->title.c_str(), x, y, hwnd->width, hwnd->height, flags);
    if (!hwnd->window) return false;
    if (!WinAttachPresenter(hwnd)) {
        SDL_DestroyWindow(hwnd->window);
        hwnd->window = nullptr;
        return false;
    }
    HICON icon = hwnd->cls->wc.hIcon;
    if (icon && !icon->argb.empty()) {
        SDL_Surface* s = SDL_CreateRGBSurfaceWithFormatFrom(icon->argb.data(), icon->width, icon->height, 32,
                                                            icon->width * 4, SDL_PIXELFORMAT_ARGB8888);
        if (s) {
            SDL_SetWindowIcon(hwnd->window, s);
            SDL_FreeSurface(s);
        }
    }
    return true;
}

void FreeWindow(HWND hwnd) {
    VxPresentClose(hwnd->presenter);
    if (hwnd->window) SDL_DestroyWindow(hwnd->window);
    delete hwnd;
}

void SendDestroy(HWND hwnd) {
    SendMessageA(hwnd, WM_DESTROY, 0, 0);
    const std::vector<HWND> kids = hwnd->children;
    for (HWND c : kids) {
        if (IsWindow(c)) SendDestroy(c);
    }
}

void Unlink(HWND hwnd) {
    for (HWND c : hwnd->children) Unlink(c);
    winWindows.erase(std::remove(winWindows.begin(), winWindows.end(), hwnd), winWindows.end());
    WinDropMessages(hwnd);
    if (winDisplayWnd == hwnd) winDisplayWnd = nullptr;
    if (winCaptureWnd == hwnd) {
        winCaptureWnd = nullptr;
        if (winVideoOpen) SDL_CaptureMouse(SDL_FALSE);
    }
}

void FreeTree(HWND hwnd) {
    for (HWND c : hwnd->children) FreeTree(c);
    FreeWindow(hwnd);
}

}  // namespace

// --- Shared with the other files ------------------------------------------------------

HWND WinTopLevel(HWND hwnd) {
    while (hwnd->parent) hwnd = hwnd->parent;
    return hwnd;
}

bool WinVisible(HWND hwnd) {
    for (; hwnd; hwnd = hwnd->parent) {
        if (!(hwnd->style & WS_VISIBLE)) return false;
    }
    return true;
}

void WinInvalidateTree(HWND hwnd, bool erase) {
    hwnd->needsPaint = true;
    hwnd->needsErase = hwnd->needsErase || erase;
    for (HWND c : hwnd->children) WinInvalidateTree(c, erase);
}

void WinFillRect(HWND hwnd, int x, int y, int w, int h, uint32_t rgb) {
    HWND top = WinTopLevel(hwnd);
    if (hwnd != top) {
        x += hwnd->x;
        y += hwnd->y;
    }
    const int x0 = std::max(x, 0), y0 = std::max(y, 0);
    const int x1 = std::min(x + w, top->width), y1 = std::min(y + h, top->height);
    for (int row = y0; row < y1; row++) {
        std::fill(top->store.begin() + row * top->width + x0, top->store.begin() + row * top->width + x1, rgb);
    }
}

void WinResizeStore(HWND top, int w, int h) {
    top->width = std::max(w, 1);
    top->height = std::max(h, 1);
    top->store.assign(size_t(top->width) * top->height, 0xFF000000u);
    top->dc.width = top->width;
    top->dc.height = top->height;
}

// --- Start-up -------------------------------------------------------------------

int WinOpenDisplay(const char** why) {
    if (winVideoOpen) return 0;
    // Without a GPU, SDL's accelerated paths run through software OpenGL and
    // cost milliseconds a frame; the software renderer copies XRGB directly.
    // Settings the user made in the environment win over these.
    SDL_SetHint(SDL_HINT_RENDER_DRIVER, "software");
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    SDL_SetHint(SDL_HINT_VIDEO_MINIMIZE_ON_FOCUS_LOSS, "0");
    SDL_SetHint(SDL_HINT_MOUSE_FOCUS_CLICKTHROUGH, "1");
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    // Unless the user names a driver, only a real desktop will do: SDL would
    // otherwise fall back to its offscreen driver and run with no window seen.
    if (!SDL_GetHint(SDL_HINT_VIDEODRIVER)) {
        std::string drivers;
        if (const char* d = std::getenv("DISPLAY"); d && *d) drivers = "x11";
        if (const char* d = std::getenv("WAYLAND_DISPLAY"); d && *d) {
            drivers += drivers.empty() ? "wayland" : ",wayland";
        }
        if (drivers.empty()) {
            if (why) *why = "no X11 or Wayland display (DISPLAY and WAYLAND_DISPLAY are not set)";
            return -1;
        }
        SDL_SetHint(SDL_HINT_VIDEODRIVER, drivers.c_str());
    }
    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
        if (why) *why = SDL_GetError();
        return -1;
    }
    winVideoOpen = true;
    WinStartPresenting();
    return 0;
}

const char* WinVideoDriver() { return winVideoOpen ? SDL_GetCurrentVideoDriver() : nullptr; }

void WinSetTickSource(DWORD (*ticks)()) { tickSource = ticks; }

int WinLiveWindows() { return int(winWindows.size()); }

uint32_t WinClientPixel(HWND hwnd, int x, int y) {
    if (!IsWindow(hwnd)) return 0;
    HWND top = WinTopLevel(hwnd);
    if (hwnd != top) {
        if (x < 0 || y < 0 || x >= hwnd->width || y >= hwnd->height) return 0;
        x += hwnd->x;
        y += hwnd->y;
    }
    if (x < 0 || y < 0 || x >= top->width || y >= top->height) return 0;
    return top->store[size_t(y) * top->width + x] & 0xFFFFFFu;
}

void WinShutdown() {
    while (!winWindows.empty()) DestroyWindow(WinTopLevel(winWindows.front()));
    WinClearMessages();
    winCaptureWnd = nullptr;
    winDisplayWnd = nullptr;
    WinCloseText();
    if (winVideoOpen) {
        WinStopPresenting();
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        SDL_Quit();
        winVideoOpen = false;
    }
}

// --- Classes and windows ------------------------------------------------------------

WORD RegisterClassA(const WNDCLASSA* wc) {
    if (!wc || !wc->lpszClassName || FindClass(wc->lpszClassName)) return 0;
    auto c = std::make_unique<WinClass>();
    c->name = wc->lpszClassName;
    c->wc = *wc;
    c->wc.lpszClassName = nullptr;
    c->wc.lpszMenuName = nullptr;
    classes.push_back(std::move(c));
    return WORD(classes.size());
}

HWND CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y, int width,
                     int height, HWND parent, HMENU menu, HINSTANCE, LPVOID) {
    WinRegisterButtonClass();
    WinClass* cls = className ? FindClass(className) : nullptr;
    if (!cls) return nullptr;
    const bool child = style & WS_CHILD;
    if (child && !IsWindow(parent)) return nullptr;
    if (!child && WinOpenDisplay(nullptr) != 0) return nullptr;

    HWND hwnd = new HWND__{};
    hwnd->cls = cls;
    hwnd->title = windowName ? windowName : "";
    hwnd->style = style;
    hwnd->exStyle = exStyle;
    if (child) {
        hwnd->parent = parent;
        hwnd->id = int(reinterpret_cast<uintptr_t>(menu));
        hwnd->x = x == CW_USEDEFAULT ? 0 : x;
        hwnd->y = y == CW_USEDEFAULT ? 0 : y;
        hwnd->width = std::max(width, 0);
        hwnd->height = std::max(height, 0);
    } else {
        int w = width == CW_USEDEFAULT ? 320 : width;
        int h = height == CW_USEDEFAULT ? 240 : height;
        if ((style & (WS_CAPTION | WS_THICKFRAME)) && !(style & WS_POPUP)) {
            w -= 2 * kFrameX;
            h -= kFrameTop + kFrameBottom;
        }
        WinResizeStore(hwnd, w, h);
        if (!MakeSdlWindow(hwnd, x == CW_USEDEFAULT ? int(SDL_WINDOWPOS_UNDEFINED) : x,
                           y == CW_USEDEFAULT ? int(SDL_WINDOWPOS_UNDEFINED) : y)) {
            delete hwnd;
            return nullptr;
        }
    }
    hwnd->dc = HDC__{};
    hwnd->dc.width = hwnd->width;
    hwnd->dc.height = hwnd->height;
    hwnd->dc.bkColor = RGB(255, 255, 255);
    hwnd->dc.textColor = RGB(0, 0, 0);
    hwnd->dc.owner = hwnd;
    hwnd->needsPaint = hwnd->needsErase = true;
    winWindows.push_back(hwnd);
    if (child) parent->children.push_back(hwnd);

    if (cls->wc.lpfnWndProc(hwnd, WM_CREATE, 0, 0) == -1) {
        DestroyWindow(hwnd);
        return nullptr;
    }
    if (!child && (style & WS_VISIBLE) && IsWindow(hwnd)) ShowWindow(hwnd, SW_SHOW);
    return IsWindow(hwnd) ? hwnd : nullptr;
}

BOOL IsWindow(HWND hwnd) { return hwnd && std::find(winWindows.begin(), winWindows.end(), hwnd) != winWindows.end(); }

HWND FindWindowA(LPCSTR className, LPCSTR windowName) {
    for (HWND w : winWindows) {
        if (w->parent) continue;
        if (className && strcasecmp(w->cls->name.c_str(), className)) continue;
        if (windowName && w->title != windowName) continue;
        return w;
    }
    return nullptr;
}

BOOL ShowWindow(HWND hwnd, int cmdShow) {
    if (!IsWindow(hwnd)) return FALSE;
    const BOOL wasVisible = (hwnd->style & WS_VISIBLE) != 0;
    if (cmdShow == SW_HIDE) {
        hwnd->style &= ~DWORD(WS_VISIBLE);
        if (hwnd->window) SDL_HideWindow(hwnd->window);
    } else {
        hwnd->style |= WS_VISIBLE;
        if (hwnd->window) SDL_ShowWindow(hwnd->window);
    }
    WinInvalidateTree(hwnd->parent ? hwnd->parent : hwnd, true);
    return wasVisible;
}

BOOL UpdateWindow(HWND hwnd) {
    if (!IsWindow(hwnd)) return FALSE;
    if (hwnd->needsPaint) SendMessageA(hwnd, WM_PAINT, 0, 0);
    return TRUE;
}

BOOL DestroyWindow(HWND hwnd) {
    if (!IsWindow(hwnd)) return FALSE;
    SendDestroy(hwnd);
    if (!IsWindow(hwnd)) return TRUE;  // destroyed again from inside WM_DESTROY
    if (hwnd->parent) {
        auto& sib = hwnd->parent->children;
        sib.erase(std::remove(sib.begin(), sib.end(), hwnd), sib.end());
        WinInvalidateTree(hwnd->parent, true);
    }
    const bool hadFocus = winVideoOpen && hwnd->window && SDL_GetKeyboardFocus() == hwnd->window;
    Unlink(hwnd);
    FreeTree(hwnd);
    // As on the desktop the next window takes over when the active one goes
    // (the launcher after a game), also where no window manager does it.
    if (hadFocus) {
        for (auto it = winWindows.rbegin(); it != winWindows.rend(); ++it) {
            if ((*it)->window && WinVisible(*it)) {
                SDL_RaiseWindow((*it)->window);
                SDL_SetWindowInputFocus((*it)->window);
                break;
            }
        }
    }
    return TRUE;
}

BOOL InvalidateRect(HWND hwnd, const RECT*, BOOL erase) {
    if (!IsWindow(hwnd)) return FALSE;
    WinInvalidateTree(hwnd, erase != 0);
    return TRUE;
}

BOOL GetClientRect(HWND hwnd, RECT* rect) {
    if (!IsWindow(hwnd) || !rect) return FALSE;
    *rect = RECT{0, 0, hwnd->width, hwnd->height};
    return TRUE;
}

LRESULT DefWindowProcA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (!IsWindow(hwnd)) return 0;
    switch (message) {
        case WM_CLOSE:
            DestroyWindow(hwnd);
            return 0;
        case WM_SYSKEYDOWN:
            if (wParam == VK_F4) SendMessageA(WinTopLevel(hwnd), WM_CLOSE, 0, 0);
            return 0;
        case WM_SETCURSOR:
            if (hwnd->parent && SendMessageA(hwnd->parent, WM_SETCURSOR, wParam, lParam)) return TRUE;
            if (hwnd->cls->wc.hCursor) SetCursor(hwnd->cls->wc.hCursor);
            return TRUE;
        case WM_ERASEBKGND: {
            HBRUSH b = hwnd->cls->wc.hbrBackground;
            if (!b || b->hollow || hwnd->display) return 0;
            WinFillRect(hwnd, 0, 0, hwnd->width, hwnd->height, WinXrgb(b->color));
            return 1;
        }
        case WM_PAINT: {
            PAINTSTRUCT ps;
            BeginPaint(hwnd, &ps);
            EndPaint(hwnd, &ps);
            return 0;
        }
        default:
            return 0;
    }
}

// --- Painting ----------------------------------------------------------------------------

HDC BeginPaint(HWND hwnd, LPPAINTSTRUCT ps) {
    if (!IsWindow(hwnd)) return nullptr;
    const bool erase = hwnd->needsErase;
    hwnd->needsPaint = hwnd->needsErase = false;
    if (erase) SendMessageA(hwnd, WM_ERASEBKGND, WPARAM(&hwnd->dc), 0);
    if (ps) {
        *ps = PAINTSTRUCT{};
        ps->hdc = &hwnd->dc;
        ps->fErase = erase ? FALSE : TRUE;
        ps->rcPaint = RECT{0, 0, hwnd->width, hwnd->height};
    }
    return &hwnd->dc;
}

// Shows the window once it and its children are all painted, so a parent's
// background never shows without the buttons on it.
BOOL EndPaint(HWND hwnd, const PAINTSTRUCT*) {
    if (!IsWindow(hwnd)) return FALSE;
    HWND top = WinTopLevel(hwnd);
    if (!AnyPaintPending(top)) WinShowWindow(top);
    return TRUE;
}

// --- Cursor, icons, ticks -------------------------------------------------------------------

HCURSOR SetCursor(HCURSOR cursor) {
    HCURSOR previous = currentCursor;
    currentCursor = cursor;
    if (winVideoOpen) {
        if (cursor) SDL_SetCursor(SDL_GetDefaultCursor());
        SDL_ShowCursor(cursor ? SDL_ENABLE : SDL_DISABLE);
    }
    return previous;
}

HCURSOR LoadCursorA(HINSTANCE, LPCSTR) { return &arrowCursor; }

HINSTANCE GetModuleHandleA(LPCSTR) { return &instance; }

DWORD GetTickCount() {
    if (tickSource) return tickSource();
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return DWORD(uint64_t(ts.tv_sec) * 1000u + uint64_t(ts.tv_nsec) / 1000000u);
}
