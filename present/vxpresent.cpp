// Presenter: window, renderer and streaming texture; letterbox geometry,
// pacing to a deadline, the window's real size and the per-frame times.
#include "vxpresent.h"

#include <SDL.h>
#include <SDL_syswm.h>

#include <cstring>
#include <string>

struct VxPresenter {
    SDL_Window* window = nullptr;
    SDL_Renderer* renderer = nullptr;
    SDL_Texture* texture = nullptr;
    bool ownsWindow = false;
    bool ownsRenderer = false;
    bool ownsVideo = false;    // holds a reference on SDL's video subsystem
    bool keepsPixels = false;  // own software renderer: the window surface keeps the bars between frames
    int texWidth = 0, texHeight = 0;
    bool hasFrame = false;            // the texture holds a frame to show again
    int outWidth = 0, outHeight = 0;  // the part of the drawable shown at the last present
    RECT box{};                       // where the last frame went
    bool needsClear = true;
    Uint32 windowId = 0;                  // SDL's id of `window`, for its events
    bool watching = false;                // the event watch below is installed
    unsigned long x11Window = 0;          // X11 only: the window whose configure events tell its size
    int shownWidth = 0, shownHeight = 0;  // X11 only: the size it really has, in window points
    uint32_t table[256];                  // the palette as XRGB8888
    // Pacing: frame n of the current run is due at start + n * freq / fps.
    int fps = 60;
    uint64_t start = 0;
    uint64_t frames = 0;
    VxPresentTimes times{};
};

namespace {

std::string lastError;  // reason of the last failed open or attach

VxPresenter* Fail(VxPresenter* p, const char* what) {
    lastError = std::string(what) + ": " + SDL_GetError();
    VxPresentClose(p);
    return nullptr;
}

int syswmUsers = 0;       // presenters that turned SDL_SYSWMEVENT on
bool syswmWasOn = false;  // its state before the first of them

// Follows what the window's events say: an exposed window gets its bars drawn
// again, and on X11 a configure event gives the size the window really has.
// SDL's own idea of the size can be larger: it takes a fullscreen request as
// done even where no window manager carries it out, and the rest of its
// framebuffer is then never seen.
int SDLCALL Watch(void* user, SDL_Event* e) {
    VxPresenter* p = static_cast<VxPresenter*>(user);
    if (e->type == SDL_WINDOWEVENT && e->window.windowID == p->windowId && e->window.event == SDL_WINDOWEVENT_EXPOSED) {
        p->needsClear = true;
    }
#if defined(SDL_VIDEO_DRIVER_X11)
    if (e->type == SDL_SYSWMEVENT && p->x11Window && e->syswm.msg && e->syswm.msg->subsystem == SDL_SYSWM_X11 &&
        e->syswm.msg->msg.x11.event.type == ConfigureNotify) {
        const XConfigureEvent& c = e->syswm.msg->msg.x11.event.xconfigure;
        if (c.window == p->x11Window) {
            p->shownWidth = c.width;
            p->shownHeight = c.height;
        }
    }
#endif
    return 1;
}

// Starts following the window's events; on X11 its size is taken as the one
// it was made with until a configure event says otherwise.
void StartWatching(VxPresenter* p) {
    p->windowId = SDL_GetWindowID(p->window);
#if defined(SDL_VIDEO_DRIVER_X11)
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (SDL_GetWindowWMInfo(p->window, &info) && info.subsystem == SDL_SYSWM_X11) {
        p->x11Window = info.info.x11.window;
        SDL_GetWindowSize(p->window, &p->shownWidth, &p->shownHeight);
        if (syswmUsers++ == 0) syswmWasOn = SDL_EventState(SDL_SYSWMEVENT, SDL_ENABLE) == SDL_ENABLE;
    }
#endif
    SDL_AddEventWatch(Watch, p);
    p->watching = true;
}

void StopWatching(VxPresenter* p) {
    if (!p->watching) return;
    SDL_DelEventWatch(Watch, p);
    if (p->x11Window && --syswmUsers == 0 && !syswmWasOn) SDL_EventState(SDL_SYSWMEVENT, SDL_DISABLE);
    p->watching = false;
}

// The part of the drawable the window really shows, in drawable pixels
// (which may be more than window points).
bool OutputSize(VxPresenter* p, int* w, int* h) {
    if (SDL_GetRendererOutputSize(p->renderer, w, h) != 0) return false;
    int sw = 0, sh = 0;
    SDL_GetWindowSize(p->window, &sw, &sh);
    if (p->x11Window && sw > 0 && sh > 0) {
        const int64_t rw = int64_t(p->shownWidth) * *w / sw, rh = int64_t(p->shownHeight) * *h / sh;
        if (rw < *w) *w = int(rw);
        if (rh < *h) *h = int(rh);
    }
    return true;
}

// The software renderer unless the caller asks for a GPU one or has named a
// driver in SDL_RENDER_DRIVER: without a GPU the accelerated drivers go through
// software OpenGL and cost milliseconds a frame, where the software renderer
// copies XRGB rows directly. Its window surface must then be the video
// driver's own framebuffer, not a texture of yet another renderer; that
// default gives way to any setting the user made.
SDL_Renderer* MakeRenderer(SDL_Window* window, unsigned flags) {
    int index = -1;
    const char* hint = SDL_GetHint(SDL_HINT_RENDER_DRIVER);
    if (!(flags & VXP_ACCELERATED) && !(hint && *hint)) {
        for (int i = 0; i < SDL_GetNumRenderDrivers(); i++) {
            SDL_RendererInfo info;
            if (SDL_GetRenderDriverInfo(i, &info) == 0 && !std::strcmp(info.name, "software")) index = i;
        }
        SDL_SetHintWithPriority(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0", SDL_HINT_DEFAULT);
    }
    return SDL_CreateRenderer(window, index, 0);
}

// Takes the window's renderer when it has one, or makes one.
bool SetUpRenderer(VxPresenter* p, unsigned flags) {
    p->renderer = SDL_GetRenderer(p->window);
    if (p->renderer) {
        // Frames are placed in output pixels.
        SDL_RenderSetLogicalSize(p->renderer, 0, 0);
        SDL_RenderSetScale(p->renderer, 1, 1);
    } else {
        p->renderer = MakeRenderer(p->window, flags);
        if (!p->renderer) return false;
        p->ownsRenderer = true;
    }
    // A shared renderer's other user may draw over the bars, so they are
    // cleared every frame.
    SDL_RendererInfo info;
    p->keepsPixels =
        p->ownsRenderer && SDL_GetRendererInfo(p->renderer, &info) == 0 && !std::strcmp(info.name, "software");
    VxPresentTable(nullptr, p->table);
    StartWatching(p);
    return true;
}

bool EnsureTexture(VxPresenter* p, int w, int h) {
    if (p->texture && p->texWidth == w && p->texHeight == h) return true;
    if (p->texture) SDL_DestroyTexture(p->texture);
    p->texture = SDL_CreateTexture(p->renderer, SDL_PIXELFORMAT_XRGB8888, SDL_TEXTUREACCESS_STREAMING, w, h);
    p->texWidth = p->texture ? w : 0;
    p->texHeight = p->texture ? h : 0;
    p->needsClear = true;
    p->hasFrame = false;
    if (!p->texture) return false;
    SDL_SetTextureScaleMode(p->texture, SDL_ScaleModeNearest);
    SDL_SetTextureBlendMode(p->texture, SDL_BLENDMODE_NONE);
    return true;
}

double Micros(uint64_t ticks) { return double(ticks) * 1e6 / double(SDL_GetPerformanceFrequency()); }

// Sleeps to the frame's deadline less a little, then spins the rest: SDL_Delay
// may oversleep by a millisecond or more. Deadlines lie on a grid counted from
// the start of the run, so rounding never accumulates; a frame that comes more
// than one period late starts a new run instead of rushing to catch up.
void WaitForDeadline(VxPresenter* p) {
    if (p->fps <= 0) return;
    const uint64_t freq = SDL_GetPerformanceFrequency();
    const uint64_t period = freq / uint64_t(p->fps);
    const uint64_t now = SDL_GetPerformanceCounter();
    const uint64_t due = p->start + p->frames * freq / uint64_t(p->fps);
    if (p->frames == 0 || now > due + period) {
        p->start = now;
        p->frames = 1;
        return;
    }
    p->frames++;
    const uint64_t spin = freq / 500;  // the last 2 ms
    for (uint64_t t = now; t < due; t = SDL_GetPerformanceCounter()) {
        if (due - t > spin) SDL_Delay(Uint32((due - t - spin) * 1000 / freq) + 1);
    }
}

}  // namespace

VxPresenter* VxPresentOpen(const char* title, int width, int height, int scale, unsigned flags) {
    if (width < 1 || height < 1 || width > 16384 || height > 16384 || scale < 0) {
        lastError = "invalid size or scale";
        return nullptr;
    }
    VxPresenter* p = new VxPresenter;
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return Fail(p, "SDL_InitSubSystem");
    p->ownsVideo = true;
    if (scale == 0) {
        SDL_Rect usable;
        scale = 1;
        if (SDL_GetDisplayUsableBounds(0, &usable) == 0) {
            // Room is kept for the window's frame.
            while ((scale + 1) * width <= usable.w - 32 && (scale + 1) * height <= usable.h - 64) scale++;
        }
    }
    const int ww = int64_t(width) * scale > 16384 ? 16384 : width * scale;
    const int wh = int64_t(height) * scale > 16384 ? 16384 : height * scale;
    Uint32 wflags = SDL_WINDOW_ALLOW_HIGHDPI;
    if (flags & VXP_RESIZABLE) wflags |= SDL_WINDOW_RESIZABLE;
    if (flags & VXP_FULLSCREEN) wflags |= SDL_WINDOW_FULLSCREEN_DESKTOP;
    p->window = SDL_CreateWindow(title ? title : "", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, ww, wh, wflags);
    if (!p->window) return Fail(p, "SDL_CreateWindow");
    p->ownsWindow = true;
    if (!SetUpRenderer(p, flags)) return Fail(p, "SDL_CreateRenderer");
    return p;
}

VxPresenter* VxPresentAttach(SDL_Window* window, unsigned flags) {
    if (!window) {
        lastError = "no window";
        return nullptr;
    }
    VxPresenter* p = new VxPresenter;
    p->window = window;
    if (!SetUpRenderer(p, flags)) return Fail(p, "SDL_CreateRenderer");
    return p;
}

void VxPresentClose(VxPresenter* p) {
    if (!p) return;
    StopWatching(p);
    if (p->texture) SDL_DestroyTexture(p->texture);
    if (p->ownsRenderer) SDL_DestroyRenderer(p->renderer);
    if (p->ownsWindow) SDL_DestroyWindow(p->window);
    if (p->ownsVideo) SDL_QuitSubSystem(SDL_INIT_VIDEO);
    delete p;
}

const char* VxPresentError() { return lastError.c_str(); }

SDL_Window* VxPresentWindow(VxPresenter* p) { return p ? p->window : nullptr; }

void VxPresentSetPalette(VxPresenter* p, const PALETTEENTRY* palette) {
    if (p) VxPresentTable(palette, p->table);
}

void VxPresentSetPaletteRGB(VxPresenter* p, const uint8_t* rgb) {
    if (!p) return;
    if (!rgb) return VxPresentTable(nullptr, p->table);
    for (int i = 0; i < 256; i++) {
        p->table[i] = 0xFF000000u | uint32_t(rgb[3 * i]) << 16 | uint32_t(rgb[3 * i + 1]) << 8 | rgb[3 * i + 2];
    }
}

namespace {

// A size the texture can take, and rows of at least `rowBytes` bytes, stored
// top-down or bottom-up.
bool ValidFrame(const void* pixels, LONG pitch, int width, int height, int64_t rowBytes) {
    return pixels && width >= 1 && height >= 1 && width <= 16384 && height <= 16384 &&
           (pitch >= 0 ? int64_t(pitch) : -int64_t(pitch)) >= rowBytes;
}

// Copies the texture into the part of the drawable the window really shows,
// scaled and centred, and presents it, first waiting for the frame's deadline
// when `paced`. t0 and t1 are when the call and its filling of the texture began
// and ended.
int Show(VxPresenter* p, uint64_t t0, uint64_t t1, bool paced) {
    // The size is read every frame, so the picture follows resizes,
    // fullscreen changes and high-DPI outputs.
    int ow = 0, oh = 0;
    if (!OutputSize(p, &ow, &oh)) return -1;
    RECT box;
    VxPresentLetterbox(p->texWidth, p->texHeight, ow, oh, &box);
    if (ow != p->outWidth || oh != p->outHeight || std::memcmp(&box, &p->box, sizeof box)) p->needsClear = true;
    p->outWidth = ow;
    p->outHeight = oh;
    p->box = box;
    // Clearing costs as much as the frame on the software renderer, whose
    // window surface keeps the bars; other renderers draw into fresh buffers.
    if (p->needsClear || !p->keepsPixels) {
        SDL_SetRenderDrawColor(p->renderer, 0, 0, 0, 255);
        SDL_RenderClear(p->renderer);
    }
    p->needsClear = false;
    const SDL_Rect dst{box.left, box.top, box.right - box.left, box.bottom - box.top};
    const int copied = SDL_RenderCopy(p->renderer, p->texture, nullptr, &dst);
    const uint64_t t2 = SDL_GetPerformanceCounter();

    if (paced) WaitForDeadline(p);
    const uint64_t t3 = SDL_GetPerformanceCounter();
    SDL_RenderPresent(p->renderer);
    const uint64_t t4 = SDL_GetPerformanceCounter();
    p->times = {Micros(t1 - t0), Micros(t2 - t1), Micros(t3 - t2), Micros(t4 - t3), Micros(t4 - t0)};
    return copied == 0 ? 0 : -1;
}

// Fills a width x height texture through fill(pixels, pitch) and shows it.
template <class Fill>
int Present(VxPresenter* p, int width, int height, Fill fill) {
    const uint64_t t0 = SDL_GetPerformanceCounter();
    if (!EnsureTexture(p, width, height)) return -1;
    void* out;
    int outPitch;
    if (SDL_LockTexture(p->texture, nullptr, &out, &outPitch) != 0) return -1;
    fill(static_cast<uint32_t*>(out), LONG(outPitch));
    const uint64_t t1 = SDL_GetPerformanceCounter();
    SDL_UnlockTexture(p->texture);
    p->hasFrame = true;
    return Show(p, t0, t1, true);
}

int PresentIndexed(VxPresenter* p, const uint8_t* pixels, LONG pitch, int width, int height, const uint32_t* table) {
    if (!ValidFrame(pixels, pitch, width, height, width)) return -1;
    return Present(p, width, height, [&](uint32_t* out, LONG outPitch) {
        VxPresentConvert(pixels, pitch, out, outPitch, width, height, table);
    });
}

}  // namespace

int VxPresentFrame(VxPresenter* p, const uint8_t* pixels, LONG pitch, int width, int height) {
    return p ? PresentIndexed(p, pixels, pitch, width, height, p->table) : -1;
}

int VxPresentFrame32(VxPresenter* p, const uint32_t* pixels, LONG pitch, int width, int height) {
    if (!p || !ValidFrame(pixels, pitch, width, height, int64_t(width) * 4)) return -1;
    const uint8_t* src = reinterpret_cast<const uint8_t*>(pixels);
    return Present(p, width, height, [&](uint32_t* out, LONG outPitch) {
        uint8_t* dst = reinterpret_cast<uint8_t*>(out);
        for (int y = 0; y < height; y++) {
            std::memcpy(dst + ptrdiff_t(outPitch) * y, src + ptrdiff_t(pitch) * y, size_t(width) * 4);
        }
    });
}

int VxPresentRedraw(VxPresenter* p) {
    if (!p || !p->hasFrame) return -1;
    const uint64_t t0 = SDL_GetPerformanceCounter();
    return Show(p, t0, t0, false);
}

void VxPresentGetOutput(const VxPresenter* p, int* width, int* height, RECT* box) {
    if (width) *width = p ? p->outWidth : 0;
    if (height) *height = p ? p->outHeight : 0;
    if (box) *box = p ? p->box : RECT{0, 0, 0, 0};
}

int VxPresentSurface(VxPresenter* p, LPDIRECTDRAWSURFACE surface) {
    if (!p || !surface) return -1;
    DDSURFACEDESC desc{};
    desc.dwSize = sizeof desc;
    if (surface->Lock(nullptr, &desc, DDLOCK_WAIT, nullptr) != DD_OK) return -1;
    uint32_t own[256];
    if (surface->palette) VxPresentTable(surface->palette->entries, own);
    const int r = PresentIndexed(p, static_cast<const uint8_t*>(desc.lpSurface), desc.lPitch, int(desc.dwWidth),
                                 int(desc.dwHeight), surface->palette ? own : p->table);
    surface->Unlock(desc.lpSurface);
    return r;
}

int VxPresentToggleFullscreen(VxPresenter* p) {
    if (!p) return -1;
    const bool full = SDL_GetWindowFlags(p->window) & SDL_WINDOW_FULLSCREEN;
    if (SDL_SetWindowFullscreen(p->window, full ? 0 : SDL_WINDOW_FULLSCREEN_DESKTOP) != 0) return -1;
    p->needsClear = true;
    return full ? 0 : 1;
}

void VxPresentSetPacing(VxPresenter* p, int fps) {
    if (!p) return;
    p->fps = fps > 0 ? fps : 0;
    p->frames = 0;
}

void VxPresentGetTimes(const VxPresenter* p, VxPresentTimes* out) {
    if (p && out) *out = p->times;
}

int VxPresentLetterbox(int width, int height, int outWidth, int outHeight, RECT* out) {
    if (!out) return 0;
    *out = RECT{0, 0, 0, 0};
    if (width < 1 || height < 1 || outWidth < 1 || outHeight < 1) return 0;
    int scale = outWidth / width < outHeight / height ? outWidth / width : outHeight / height;
    int64_t w = int64_t(width) * scale, h = int64_t(height) * scale;
    if (scale == 0) {
        // Shrunk to fit the narrower way, proportions kept, at least a pixel.
        if (int64_t(outWidth) * height <= int64_t(outHeight) * width) {
            w = outWidth;
            h = int64_t(height) * outWidth / width;
        } else {
            h = outHeight;
            w = int64_t(width) * outHeight / height;
        }
        w = w < 1 ? 1 : w;
        h = h < 1 ? 1 : h;
    }
    out->left = LONG((outWidth - w) / 2);
    out->top = LONG((outHeight - h) / 2);
    out->right = LONG(out->left + w);
    out->bottom = LONG(out->top + h);
    return scale;
}
