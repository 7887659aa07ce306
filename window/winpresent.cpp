// Window layer present path: every top-level window shows its backing store,
// or the display layer's flipped frames, through a presenter of its own.
#include <SDL.h>

#include <cstdlib>
#include <cstring>

#include "vxpresent.h"
#include "wininternal.h"

namespace {

constexpr int kDisplayRate = 60;  // frames a second of a paced Flip
bool pacing = true;               // Flip with DDFLIP_WAIT paces where there is no vsync

// The rate a window's frames are paced to: none where the renderer waits for
// vsync itself. The software renderer claims vsync but presents at once.
int PaceFor(HWND top, DWORD flags) {
    if (!pacing || !(flags & DDFLIP_WAIT)) return 0;
    SDL_RendererInfo info;
    SDL_Renderer* r = SDL_GetRenderer(top->window);
    if (r && SDL_GetRendererInfo(r, &info) == 0 && (info.flags & SDL_RENDERER_PRESENTVSYNC) &&
        std::strcmp(info.name, "software")) {
        return 0;
    }
    return kDisplayRate;
}

// A new rate starts a new run of deadlines; the same rate keeps the run.
void SetPace(HWND top, int fps) {
    if (top->fps == fps) return;
    top->fps = fps;
    VxPresentSetPacing(top->presenter, fps);
}

void OnPresent(const uint8_t* pixels, int width, int height, LONG pitch, const PALETTEENTRY* palette, DWORD flags,
               void*) {
    HWND top = winDisplayWnd;
    if (!top || !top->presenter || !pixels) return;
    SetPace(top, PaceFor(top, flags));
    VxPresentSetPalette(top->presenter, palette);
    VxPresentFrame(top->presenter, pixels, pitch, width, height);
}

// The window that takes the display shows its frames from now on, fitted
// into the size it really has; a full-screen request makes it cover the
// desktop where a window manager carries that out.
void OnCooperativeLevel(HWND hwnd, DWORD flags, void*) {
    if (!hwnd || !IsWindow(hwnd) || hwnd->parent || !hwnd->presenter) return;
    winDisplayWnd = hwnd;
    hwnd->display = true;
    hwnd->fps = -1;  // the first flip starts a new run of deadlines
    if (flags & DDSCL_FULLSCREEN) SDL_SetWindowFullscreen(hwnd->window, SDL_WINDOW_FULLSCREEN_DESKTOP);
}

}  // namespace

void WinStartPresenting() {
    if (const char* v = std::getenv("VEXIL_NO_PACING"); v && *v && std::strcmp(v, "0") != 0) pacing = false;
    // The mode's size is the frames': each is fitted into the window as it comes.
    DDDisplayHooks hooks{OnPresent, OnCooperativeLevel, nullptr, nullptr};
    DDSetDisplayHooks(&hooks);
}

void WinStopPresenting() { DDSetDisplayHooks(nullptr); }

void WinSetFramePacing(bool on) {
    pacing = on;
    if (winDisplayWnd) winDisplayWnd->fps = -1;
}

bool WinAttachPresenter(HWND top) {
    top->presenter = VxPresentAttach(top->window, 0);
    if (!top->presenter) return false;
    top->fps = 0;
    VxPresentSetPacing(top->presenter, 0);
    return true;
}

// A window showing the display re-shows its last frame (none before the
// first flip); any other shows what painting left in its store.
void WinShowWindow(HWND top) {
    if (!top->presenter) return;
    if (top->display) {
        VxPresentRedraw(top->presenter);
        return;
    }
    VxPresentFrame32(top->presenter, top->store.data(), LONG(top->width) * 4, top->width, top->height);
}
