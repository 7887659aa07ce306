// Window layer core: SDL start-up, window classes and windows, the message
// queue, the self-drawn button, cursor, ticks, and showing flipped frames.
#include <SDL.h>
#include <SDL_syswm.h>
#include <strings.h>
#include <time.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>

#include "win32.h"

struct HINSTANCE__ {
    int unused;
};
struct HCURSOR__ {
    int unused;
};

namespace {

// Frame of a captioned, sizeable window: what the outer size loses to the
// client area.
constexpr int kFrameX = 4;
constexpr int kFrameTop = 4 + 20;
constexpr int kFrameBottom = 4;
constexpr int kDisplayRate = 60;

HINSTANCE__ instance{};
HCURSOR__ arrowCursor{};

std::vector<std::unique_ptr<WinClass>> classes;
std::vector<HWND> windows;  // live windows in creation order
std::deque<MSG> queue;      // posted messages and input
bool quitPosted = false;
int quitCode = 0;

bool videoOpen = false;
bool configureSizes = false;  // window sizes come from X11 configure events
bool pacing = true;
uint64_t nextFrame = 0;  // performance-counter time of the next paced present

HWND displayWnd = nullptr;  // the window the display layer shows its frames in
HWND captureWnd = nullptr;  // the button that holds the mouse
HCURSOR currentCursor = &arrowCursor;
DWORD (*tickSource)() = nullptr;
void (*idleHook)(void*) = nullptr;
void* idleUser = nullptr;

WinClass* FindClass(const char* name) {
    for (auto& c : classes) {
        if (!strcasecmp(c->name.c_str(), name)) return c.get();
    }
    return nullptr;
}

HWND TopLevel(HWND hwnd) {
    while (hwnd->parent) hwnd = hwnd->parent;
    return hwnd;
}

HWND WindowOfId(Uint32 id) {
    for (HWND w : windows) {
        if (w->window && SDL_GetWindowID(w->window) == id) return w;
    }
    return nullptr;
}

bool Visible(HWND hwnd) {
    for (; hwnd; hwnd = hwnd->parent) {
        if (!(hwnd->style & WS_VISIBLE)) return false;
    }
    return true;
}

bool AnyPaintPending(HWND hwnd) {
    if (hwnd->needsPaint && Visible(hwnd)) return true;
    for (HWND c : hwnd->children) {
        if (AnyPaintPending(c)) return true;
    }
    return false;
}

void FillRect(HWND hwnd, int x, int y, int w, int h, uint32_t rgb) {
    HWND top = TopLevel(hwnd);
    if (hwnd != top) {
        x += hwnd->x;
        y += hwnd->y;
    }
    const int x0 = std::max(x, 0), y0 = std::max(y, 0);
    const int x1 = std::min(x + w, top->width), y1 = std::min(y + h, top->height);
    for (int row = y0; row < y1; row++) {
        std::fill(top->store.begin() + row * top->width + x0,
                  top->store.begin() + row * top->width + x1, rgb);
    }
}

uint32_t Xrgb(COLORREF c) {
    return 0xFF000000u | (uint32_t(GetRValue(c)) << 16) | (uint32_t(GetGValue(c)) << 8) |
           GetBValue(c);
}

void ResizeStore(HWND top, int w, int h) {
    top->width = std::max(w, 1);
    top->height = std::max(h, 1);
    top->store.assign(size_t(top->width) * top->height, 0xFF000000u);
    top->dc.width = top->width;
    top->dc.height = top->height;
}

bool EnsureTexture(HWND top, int w, int h) {
    if (!top->renderer) return false;
    if (top->texture && top->texWidth == w && top->texHeight == h) return true;
    if (top->texture) SDL_DestroyTexture(top->texture);
    top->texture = SDL_CreateTexture(top->renderer, SDL_PIXELFORMAT_XRGB8888,
                                     SDL_TEXTUREACCESS_STREAMING, w, h);
    top->needsClear = true;
    top->texWidth = top->texture ? w : 0;
    top->texHeight = top->texture ? h : 0;
    if (top->texture) SDL_SetTextureScaleMode(top->texture, SDL_ScaleModeNearest);
    return top->texture != nullptr;
}

// Where the display's frame goes in the window's renderer: scaled by whole
// numbers (or down, when the window is smaller than the frame) to fit the
// size the window really has, centred, pixels square. SDL's idea of the
// window's size can be larger: it takes a full-screen request as done even
// where no window manager carries it out, and the rest of its framebuffer is
// then never seen.
SDL_Rect FrameRect(HWND top) {
    int outW = 0, outH = 0, sdlW = 0, sdlH = 0;
    SDL_GetRendererOutputSize(top->renderer, &outW, &outH);
    SDL_GetWindowSize(top->window, &sdlW, &sdlH);
    // The real size in renderer pixels, which may be more than points.
    const int w = sdlW > 0 ? std::min(outW, int(int64_t(top->shownWidth) * outW / sdlW)) : outW;
    const int h = sdlH > 0 ? std::min(outH, int(int64_t(top->shownHeight) * outH / sdlH)) : outH;
    const int fw = top->texWidth, fh = top->texHeight;
    int dw, dh;
    if (w >= fw && h >= fh) {
        const int scale = std::min(w / fw, h / fh);
        dw = fw * scale;
        dh = fh * scale;
    } else if (int64_t(w) * fh <= int64_t(h) * fw) {
        dw = w;
        dh = int(int64_t(w) * fh / fw);
    } else {
        dh = h;
        dw = int(int64_t(h) * fw / fh);
    }
    return SDL_Rect{(w - dw) / 2, (h - dh) / 2, dw, dh};
}

// A new real size for a top-level window; the bars are drawn again.
void SetShownSize(HWND top, int w, int h) {
    if (w == top->shownWidth && h == top->shownHeight) return;
    top->shownWidth = w;
    top->shownHeight = h;
    top->needsClear = true;
}

// Clearing the whole window costs as much as the frame itself, so it is done
// only where the renderer does not keep its pixels or the bars are new.
void Show(HWND top) {
    if (top->needsClear || !top->keepsPixels) SDL_RenderClear(top->renderer);
    top->needsClear = false;
    if (top->display) {
        const SDL_Rect dst = FrameRect(top);
        SDL_RenderCopy(top->renderer, top->texture, nullptr, &dst);
    } else {
        SDL_RenderCopy(top->renderer, top->texture, nullptr, nullptr);
    }
    SDL_RenderPresent(top->renderer);
}

// Shows a window's backing store, or re-shows the last frame of the display.
void PresentWindow(HWND top) {
    if (!top->renderer) return;
    if (top->display) {
        if (top->texture) Show(top);
        return;
    }
    if (!EnsureTexture(top, top->width, top->height)) return;
    SDL_UpdateTexture(top->texture, nullptr, top->store.data(), top->width * 4);
    Show(top);
}

void InvalidateTree(HWND hwnd, bool erase) {
    hwnd->needsPaint = true;
    hwnd->needsErase = hwnd->needsErase || erase;
    for (HWND c : hwnd->children) InvalidateTree(c, erase);
}

void Post(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    MSG m{};
    m.hwnd = hwnd;
    m.message = message;
    m.wParam = wParam;
    m.lParam = lParam;
    m.time = GetTickCount();
    queue.push_back(m);
}

// Waits for the next 1/60 s step when the renderer does not wait for vsync,
// so frames come at the display's rate however fast the machine is. The
// software renderer claims vsync but presents at once.
void PaceFrame(HWND top) {
    SDL_RendererInfo info;
    if (!pacing || (SDL_GetRendererInfo(top->renderer, &info) == 0 &&
                    (info.flags & SDL_RENDERER_PRESENTVSYNC) && std::strcmp(info.name, "software"))) {
        return;
    }
    const uint64_t freq = SDL_GetPerformanceFrequency();
    const uint64_t period = freq / kDisplayRate;
    uint64_t now = SDL_GetPerformanceCounter();
    if (nextFrame == 0 || now > nextFrame + period) {
        nextFrame = now + period;  // first frame, or fell behind: start again
        return;
    }
    if (now < nextFrame) {
        const uint64_t ms = (nextFrame - now) * 1000 / freq;
        if (ms > 0) SDL_Delay(Uint32(ms));
    }
    nextFrame += period;
}

void OnPresent(const uint8_t* pixels, int width, int height, LONG pitch,
               const PALETTEENTRY* palette, DWORD flags, void*) {
    HWND top = displayWnd;
    if (!top || !top->renderer || !pixels) return;
    if (!EnsureTexture(top, width, height)) return;
    uint32_t table[256];
    for (int i = 0; i < 256; i++) {
        table[i] = palette ? 0xFF000000u | (uint32_t(palette[i].peRed) << 16) |
                                 (uint32_t(palette[i].peGreen) << 8) | palette[i].peBlue
                           : 0xFF000000u | uint32_t(i) * 0x010101u;
    }
    void* out;
    int outPitch;
    if (SDL_LockTexture(top->texture, nullptr, &out, &outPitch) != 0) return;
    for (int y = 0; y < height; y++) {
        const uint8_t* src = pixels + ptrdiff_t(y) * pitch;
        uint32_t* dst = reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(out) + ptrdiff_t(y) * outPitch);
        for (int x = 0; x < width; x++) dst[x] = table[src[x]];
    }
    SDL_UnlockTexture(top->texture);
    if (flags & DDFLIP_WAIT) PaceFrame(top);
    Show(top);
}

void OnCooperativeLevel(HWND hwnd, DWORD flags, void*) {
    if (!hwnd || !IsWindow(hwnd) || hwnd->parent || !hwnd->window) return;
    displayWnd = hwnd;
    hwnd->display = true;
    nextFrame = 0;
    hwnd->needsClear = true;
    if (flags & DDSCL_FULLSCREEN) SDL_SetWindowFullscreen(hwnd->window, SDL_WINDOW_FULLSCREEN_DESKTOP);
}

// The mode's size is the frame's: Show scales it into the window.
void OnDisplayMode(int width, int height, int, void*) {
    HWND top = displayWnd;
    if (!top || !top->renderer) return;
    top->needsClear = true;
    EnsureTexture(top, width, height);
}

// The X11 window behind an SDL window; 0 elsewhere.
unsigned long X11WindowOf(SDL_Window* window) {
#if defined(SDL_VIDEO_DRIVER_X11)
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (SDL_GetWindowWMInfo(window, &info) && info.subsystem == SDL_SYSWM_X11) return info.info.x11.window;
#endif
    (void)window;
    return 0;
}

// An X11 configure event: the size a window really has.
void OnSysWmEvent(const SDL_SysWMmsg* m) {
#if defined(SDL_VIDEO_DRIVER_X11)
    if (!m || m->subsystem != SDL_SYSWM_X11 || m->msg.x11.event.type != ConfigureNotify) return;
    const XConfigureEvent& c = m->msg.x11.event.xconfigure;
    for (HWND w : windows) {
        if (w->window && X11WindowOf(w->window) == c.window) SetShownSize(w, c.width, c.height);
    }
#else
    (void)m;
#endif
}

WPARAM VirtualKey(SDL_Keycode k) {
    if (k >= SDLK_a && k <= SDLK_z) return WPARAM('A' + (k - SDLK_a));
    if (k >= SDLK_0 && k <= SDLK_9) return WPARAM(k);
    if (k >= SDLK_F1 && k <= SDLK_F12) return WPARAM(VK_F1 + (k - SDLK_F1));
    switch (k) {
        case SDLK_LEFT: return VK_LEFT;
        case SDLK_RIGHT: return VK_RIGHT;
        case SDLK_UP: return VK_UP;
        case SDLK_DOWN: return VK_DOWN;
        case SDLK_ESCAPE: return VK_ESCAPE;
        case SDLK_RETURN: return VK_RETURN;
        case SDLK_SPACE: return VK_SPACE;
        case SDLK_TAB: return VK_TAB;
        case SDLK_BACKSPACE: return VK_BACK;
        case SDLK_PAGEUP: return VK_PRIOR;
        case SDLK_PAGEDOWN: return VK_NEXT;
        case SDLK_HOME: return VK_HOME;
        case SDLK_END: return VK_END;
        case SDLK_LSHIFT: case SDLK_RSHIFT: return VK_SHIFT;
        case SDLK_LCTRL: case SDLK_RCTRL: return VK_CONTROL;
        case SDLK_LALT: case SDLK_RALT: return VK_MENU;
        default: return 0;
    }
}

// The window a mouse event at client (x, y) of `top` goes to, and the point
// in that window's coordinates.
HWND MouseTarget(HWND top, int& x, int& y) {
    HWND target = top;
    if (captureWnd && TopLevel(captureWnd) == top) {
        target = captureWnd;
    } else {
        for (HWND c : top->children) {
            if ((c->style & WS_VISIBLE) && x >= c->x && x < c->x + c->width && y >= c->y &&
                y < c->y + c->height) {
                target = c;
            }
        }
    }
    if (target != top) {
        x -= target->x;
        y -= target->y;
    }
    return target;
}

void Translate(const SDL_Event& e) {
    switch (e.type) {
        case SDL_KEYDOWN:
        case SDL_KEYUP: {
            HWND w = WindowOfId(e.key.windowID);
            if (!w) w = displayWnd;
            const WPARAM vk = VirtualKey(e.key.keysym.sym);
            if (!w || !vk) return;
            LPARAM lp = 1 | (LPARAM(e.key.keysym.scancode & 0xFF) << 16);
            // With Alt held keys are system keys, as Alt+F4 needs.
            const bool alt = e.key.keysym.mod & KMOD_ALT;
            if (alt) lp |= LPARAM(1) << 29;
            if (e.type == SDL_KEYUP) {
                Post(w, alt ? WM_SYSKEYUP : WM_KEYUP, vk, lp | LPARAM(0xC0000000u));
            } else {
                Post(w, alt ? WM_SYSKEYDOWN : WM_KEYDOWN, vk, lp | (e.key.repeat ? LPARAM(1) << 30 : 0));
            }
            return;
        }
        case SDL_MOUSEMOTION: {
            HWND top = WindowOfId(e.motion.windowID);
            if (!top) return;
            int x = e.motion.x, y = e.motion.y;
            HWND target = MouseTarget(top, x, y);
            Post(target, WM_SETCURSOR, WPARAM(target), MAKELPARAM(1, WM_MOUSEMOVE));
            Post(target, WM_MOUSEMOVE, 0, MAKELPARAM(x, y));
            return;
        }
        case SDL_MOUSEBUTTONDOWN:
        case SDL_MOUSEBUTTONUP: {
            HWND top = WindowOfId(e.button.windowID);
            if (!top || e.button.button != SDL_BUTTON_LEFT) return;
            int x = e.button.x, y = e.button.y;
            HWND target = MouseTarget(top, x, y);
            Post(target, e.type == SDL_MOUSEBUTTONDOWN ? WM_LBUTTONDOWN : WM_LBUTTONUP, 0,
                 MAKELPARAM(x, y));
            return;
        }
        case SDL_WINDOWEVENT: {
            HWND top = WindowOfId(e.window.windowID);
            if (!top) return;
            switch (e.window.event) {
                case SDL_WINDOWEVENT_CLOSE:
                    Post(top, WM_CLOSE, 0, 0);
                    break;
                case SDL_WINDOWEVENT_EXPOSED:
                    top->needsClear = true;
                    InvalidateTree(top, true);
                    break;
                case SDL_WINDOWEVENT_SIZE_CHANGED:
                    top->needsClear = true;
                    if (!configureSizes) SetShownSize(top, e.window.data1, e.window.data2);
                    if (!top->display && (e.window.data1 != top->width || e.window.data2 != top->height)) {
                        ResizeStore(top, e.window.data1, e.window.data2);
                        InvalidateTree(top, true);
                        Post(top, WM_SIZE, 0, MAKELPARAM(top->width, top->height));
                    }
                    break;
                default:
                    break;
            }
            return;
        }
        case SDL_SYSWMEVENT:
            OnSysWmEvent(e.syswm.msg);
            return;
        default:
            return;
    }
}

void PumpEvents() {
    if (!videoOpen) return;
    SDL_Event e;
    while (SDL_PollEvent(&e)) Translate(e);
}

// The built-in "button": raised with a light top-left and dark bottom-right
// edge, sunken while pressed with the caption moved by a pixel.
void PaintButton(HWND hwnd) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    const int w = hwnd->width, h = hwnd->height;
    const uint32_t face = 0xFFC0C0C0u, light = 0xFFFFFFFFu, shadow = 0xFF808080u,
                   dark = 0xFF000000u;
    FillRect(hwnd, 0, 0, w, h, face);
    const uint32_t outerTL = hwnd->pressed ? dark : light, outerBR = dark;
    const uint32_t innerTL = hwnd->pressed ? shadow : face, innerBR = hwnd->pressed ? face : shadow;
    FillRect(hwnd, 0, 0, w, 1, outerTL);
    FillRect(hwnd, 0, 0, 1, h, outerTL);
    FillRect(hwnd, 0, h - 1, w, 1, outerBR);
    FillRect(hwnd, w - 1, 0, 1, h, outerBR);
    FillRect(hwnd, 1, 1, w - 2, 1, innerTL);
    FillRect(hwnd, 1, 1, 1, h - 2, innerTL);
    FillRect(hwnd, 1, h - 2, w - 2, 1, innerBR);
    FillRect(hwnd, w - 2, 1, 1, h - 2, innerBR);
    int tw = 0, th = 0;
    WinTextExtent(hwnd->title.c_str(), &tw, &th);
    const int shift = hwnd->pressed ? 1 : 0;
    SetBkColor(dc, RGB(192, 192, 192));
    SetTextColor(dc, RGB(0, 0, 0));
    TextOutA(dc, (w - tw) / 2 + shift, (h - th) / 2 + shift, hwnd->title.c_str(),
             int(hwnd->title.size()));
    EndPaint(hwnd, &ps);
}

LRESULT ButtonProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    const int x = int16_t(LOWORD(lParam)), y = int16_t(HIWORD(lParam));
    const bool inside = x >= 0 && y >= 0 && x < hwnd->width && y < hwnd->height;
    switch (message) {
        case WM_PAINT:
            PaintButton(hwnd);
            return 0;
        case WM_LBUTTONDOWN:
            captureWnd = hwnd;
            if (videoOpen) SDL_CaptureMouse(SDL_TRUE);
            hwnd->pressed = true;
            InvalidateRect(hwnd, nullptr, FALSE);
            return 0;
        case WM_MOUSEMOVE:
            if (captureWnd == hwnd && hwnd->pressed != inside) {
                hwnd->pressed = inside;
                InvalidateRect(hwnd, nullptr, FALSE);
            }
            return 0;
        case WM_LBUTTONUP:
            if (captureWnd != hwnd) return 0;
            captureWnd = nullptr;
            if (videoOpen) SDL_CaptureMouse(SDL_FALSE);
            hwnd->pressed = false;
            InvalidateRect(hwnd, nullptr, FALSE);
            if (inside && hwnd->parent) {
                SendMessageA(hwnd->parent, WM_COMMAND, MAKEWPARAM(hwnd->id, BN_CLICKED), LPARAM(hwnd));
            }
            return 0;
        default:
            return DefWindowProcA(hwnd, message, wParam, lParam);
    }
}

void RegisterButtonClass() {
    if (FindClass("button")) return;
    WNDCLASSA wc{};
    wc.lpfnWndProc = ButtonProc;
    wc.hCursor = &arrowCursor;
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(LTGRAY_BRUSH));
    wc.lpszClassName = "button";
    RegisterClassA(&wc);
}

bool MakeSdlWindow(HWND hwnd, int x, int y) {
    Uint32 flags = SDL_WINDOW_HIDDEN;
    const bool framed = hwnd->style & (WS_CAPTION | WS_THICKFRAME);
    if (!framed || (hwnd->style & WS_POPUP)) flags |= SDL_WINDOW_BORDERLESS;
    if (hwnd->style & WS_THICKFRAME) flags |= SDL_WINDOW_RESIZABLE;
    if (hwnd->exStyle & WS_EX_TOPMOST) flags |= SDL_WINDOW_ALWAYS_ON_TOP;
    hwnd->window = SDL_CreateWindow(hwnd->title.c_str(), x, y, hwnd->width, hwnd->height, flags);
    if (!hwnd->window) return false;
    hwnd->shownWidth = hwnd->width;
    hwnd->shownHeight = hwnd->height;
    hwnd->renderer = SDL_CreateRenderer(hwnd->window, -1, 0);
    if (!hwnd->renderer) {
        SDL_DestroyWindow(hwnd->window);
        hwnd->window = nullptr;
        return false;
    }
    SDL_SetRenderDrawColor(hwnd->renderer, 0, 0, 0, 255);
    SDL_RendererInfo info;
    hwnd->keepsPixels = SDL_GetRendererInfo(hwnd->renderer, &info) == 0 &&
                        !std::strcmp(info.name, "software");
    HICON icon = hwnd->cls->wc.hIcon;
    if (icon && !icon->argb.empty()) {
        SDL_Surface* s = SDL_CreateRGBSurfaceWithFormatFrom(icon->argb.data(), icon->width,
                                                            icon->height, 32, icon->width * 4,
                                                            SDL_PIXELFORMAT_ARGB8888);
        if (s) {
            SDL_SetWindowIcon(hwnd->window, s);
            SDL_FreeSurface(s);
        }
    }
    return true;
}

void FreeWindow(HWND hwnd) {
    if (hwnd->texture) SDL_DestroyTexture(hwnd->texture);
    if (hwnd->renderer) SDL_DestroyRenderer(hwnd->renderer);
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
    windows.erase(std::remove(windows.begin(), windows.end(), hwnd), windows.end());
    std::erase_if(queue, [hwnd](const MSG& m) { return m.hwnd == hwnd; });
    if (displayWnd == hwnd) displayWnd = nullptr;
    if (captureWnd == hwnd) {
        captureWnd = nullptr;
        if (videoOpen) SDL_CaptureMouse(SDL_FALSE);
    }
}

void FreeTree(HWND hwnd) {
    for (HWND c : hwnd->children) FreeTree(c);
    FreeWindow(hwnd);
}

}  // namespace

// --- Start-up -------------------------------------------------------------------

int WinOpenDisplay(const char** why) {
    if (videoOpen) return 0;
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
    if (const char* v = std::getenv("VEXIL_NO_PACING"); v && *v && std::strcmp(v, "0") != 0) {
        pacing = false;
    }
    // On X11 a window's real size is followed through its configure events:
    // SDL's own size events also announce full-screen requests nobody granted.
    configureSizes = !std::strcmp(SDL_GetCurrentVideoDriver(), "x11");
    if (configureSizes) SDL_EventState(SDL_SYSWMEVENT, SDL_ENABLE);
    videoOpen = true;
    DDDisplayHooks hooks{OnPresent, OnCooperativeLevel, OnDisplayMode, nullptr};
    DDSetDisplayHooks(&hooks);
    return 0;
}

const char* WinVideoDriver() { return videoOpen ? SDL_GetCurrentVideoDriver() : nullptr; }

void WinSetTickSource(DWORD (*ticks)()) { tickSource = ticks; }

void WinSetFramePacing(bool on) {
    pacing = on;
    nextFrame = 0;
}

void WinSetIdleHook(void (*hook)(void*), void* user) {
    idleHook = hook;
    idleUser = user;
}

int WinLiveWindows() { return int(windows.size()); }

int WinPendingMessages() { return int(queue.size()); }

uint32_t WinClientPixel(HWND hwnd, int x, int y) {
    if (!IsWindow(hwnd)) return 0;
    HWND top = TopLevel(hwnd);
    if (hwnd != top) {
        if (x < 0 || y < 0 || x >= hwnd->width || y >= hwnd->height) return 0;
        x += hwnd->x;
        y += hwnd->y;
    }
    if (x < 0 || y < 0 || x >= top->width || y >= top->height) return 0;
    return top->store[size_t(y) * top->width + x] & 0xFFFFFFu;
}

void WinShutdown() {
    while (!windows.empty()) {
        HWND top = windows.front();
        while (top->parent) top = top->parent;
        DestroyWindow(top);
    }
    queue.clear();
    quitPosted = false;
    captureWnd = nullptr;
    displayWnd = nullptr;
    WinCloseText();
    if (videoOpen) {
        DDSetDisplayHooks(nullptr);
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        SDL_Quit();
        videoOpen = false;
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

HWND CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x,
                     int y, int width, int height, HWND parent, HMENU menu, HINSTANCE,
                     LPVOID) {
    RegisterButtonClass();
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
        ResizeStore(hwnd, w, h);
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
    windows.push_back(hwnd);
    if (child) parent->children.push_back(hwnd);

    if (cls->wc.lpfnWndProc(hwnd, WM_CREATE, 0, 0) == -1) {
        DestroyWindow(hwnd);
        return nullptr;
    }
    if (!child && (style & WS_VISIBLE) && IsWindow(hwnd)) ShowWindow(hwnd, SW_SHOW);
    return IsWindow(hwnd) ? hwnd : nullptr;
}

BOOL IsWindow(HWND hwnd) {
    return hwnd && std::find(windows.begin(), windows.end(), hwnd) != windows.end();
}

HWND FindWindowA(LPCSTR className, LPCSTR windowName) {
    for (HWND w : windows) {
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
    InvalidateTree(hwnd->parent ? hwnd->parent : hwnd, true);
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
        InvalidateTree(hwnd->parent, true);
    }
    const bool hadFocus = videoOpen && hwnd->window && SDL_GetKeyboardFocus() == hwnd->window;
    Unlink(hwnd);
    FreeTree(hwnd);
    // As on the desktop the next window takes over when the active one goes
    // (the launcher after a game), also where no window manager does it.
    if (hadFocus) {
        for (auto it = windows.rbegin(); it != windows.rend(); ++it) {
            if ((*it)->window && Visible(*it)) {
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
    InvalidateTree(hwnd, erase != 0);
    return TRUE;
}

BOOL GetClientRect(HWND hwnd, RECT* rect) {
    if (!IsWindow(hwnd) || !rect) return FALSE;
    *rect = RECT{0, 0, hwnd->width, hwnd->height};
    return TRUE;
}

// --- Messages --------------------------------------------------------------------------

BOOL PeekMessageA(LPMSG msg, HWND, UINT, UINT, UINT removeMsg) {
    if (!msg) return FALSE;
    PumpEvents();
    if (!queue.empty()) {
        *msg = queue.front();
        if (removeMsg & PM_REMOVE) queue.pop_front();
        return TRUE;
    }
    if (quitPosted) {
        *msg = MSG{};
        msg->message = WM_QUIT;
        msg->wParam = WPARAM(quitCode);
        msg->time = GetTickCount();
        if (removeMsg & PM_REMOVE) quitPosted = false;
        return TRUE;
    }
    for (HWND w : windows) {
        if (w->needsPaint && Visible(w)) {
            *msg = MSG{};
            msg->hwnd = w;
            msg->message = WM_PAINT;
            msg->time = GetTickCount();
            return TRUE;
        }
    }
    if (idleHook) idleHook(idleUser);
    // Nothing to do and no frames to show: give the processor up for a
    // moment, so that a message loop which never blocks does not spin.
    if (videoOpen && !displayWnd) SDL_Delay(1);
    return FALSE;
}

BOOL TranslateMessage(const MSG*) { return FALSE; }

LRESULT DispatchMessageA(const MSG* msg) {
    if (!msg || !IsWindow(msg->hwnd)) return 0;
    return msg->hwnd->cls->wc.lpfnWndProc(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

BOOL PostMessageA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (hwnd && !IsWindow(hwnd)) return FALSE;
    Post(hwnd, message, wParam, lParam);
    return TRUE;
}

LRESULT SendMessageA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (!IsWindow(hwnd)) return 0;
    return hwnd->cls->wc.lpfnWndProc(hwnd, message, wParam, lParam);
}

void PostQuitMessage(int exitCode) {
    quitPosted = true;
    quitCode = exitCode;
}

LRESULT DefWindowProcA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (!IsWindow(hwnd)) return 0;
    switch (message) {
        case WM_CLOSE:
            DestroyWindow(hwnd);
            return 0;
        case WM_SYSKEYDOWN:
            if (wParam == VK_F4) SendMessageA(TopLevel(hwnd), WM_CLOSE, 0, 0);
            return 0;
        case WM_SETCURSOR:
            if (hwnd->parent && SendMessageA(hwnd->parent, WM_SETCURSOR, wParam, lParam)) return TRUE;
            if (hwnd->cls->wc.hCursor) SetCursor(hwnd->cls->wc.hCursor);
            return TRUE;
        case WM_ERASEBKGND: {
            HBRUSH b = hwnd->cls->wc.hbrBackground;
            if (!b || b->hollow || hwnd->display) return 0;
            FillRect(hwnd, 0, 0, hwnd->width, hwnd->height, Xrgb(b->color));
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
    HWND top = TopLevel(hwnd);
    if (!AnyPaintPending(top)) PresentWindow(top);
    return TRUE;
}

// --- Cursor, icons, ticks -------------------------------------------------------------------

HCURSOR SetCursor(HCURSOR cursor) {
    HCURSOR previous = currentCursor;
    currentCursor = cursor;
    if (videoOpen) {
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
