// Software display layer: display object, 8-bit surfaces with a flipping
// chain, palettes, device contexts, and the hooks and seams around them.
#include <cstdlib>
#include <cstring>
#include <new>

#include "ddblit.h"
#include "ddinternal.h"
#include "ddrun.h"

namespace {

constexpr int kMaxSide = 16384;  // larger surfaces or modes are refused
constexpr DWORD kFlipChainCaps = DDSCAPS_PRIMARYSURFACE | DDSCAPS_FLIP | DDSCAPS_COMPLEX;

DDDisplayHooks hooks{};
int faultCountdown[DDFAULT_COUNT];
std::vector<DDBltRecord>* bltLog = nullptr;
int liveObjects = 0;

// True when this call of the operation is the one armed to fail.
bool Faulted(DDFault which) {
    int& n = faultCountdown[which];
    if (n <= 0) return false;
    return --n == 0;
}

#if defined(__SANITIZE_ADDRESS__)
#define VEXIL_DD_HEAP_SURFACES 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VEXIL_DD_HEAP_SURFACES 1
#endif
#endif

// Surface objects. A map makes one per graphic, thousands of them in a
// load, so they come from a free list refilled a block at a time rather
// than one heap call each; the blocks stay for the process's life. Under
// AddressSanitizer every surface is a heap object of its own, so that a
// use after Release is caught.
#ifndef VEXIL_DD_HEAP_SURFACES
union SurfaceSlot {
    SurfaceSlot* next;
    alignas(IDirectDrawSurface) unsigned char bytes[sizeof(IDirectDrawSurface)];
};
struct SurfaceBlock {
    SurfaceBlock* next;
    SurfaceSlot slots[256];
};
SurfaceBlock* surfaceBlocks = nullptr;
SurfaceSlot* freeSurfaces = nullptr;
#endif

IDirectDrawSurface* AllocSurface() {
#ifdef VEXIL_DD_HEAP_SURFACES
    return new (std::nothrow) IDirectDrawSurface;
#else
    if (!freeSurfaces) {
        auto* block = static_cast<SurfaceBlock*>(std::malloc(sizeof(SurfaceBlock)));
        if (!block) return nullptr;
        block->next = surfaceBlocks;
        surfaceBlocks = block;
        for (SurfaceSlot& slot : block->slots) {
            slot.next = freeSurfaces;
            freeSurfaces = &slot;
        }
    }
    SurfaceSlot* slot = freeSurfaces;
    freeSurfaces = slot->next;
    return new (slot->bytes) IDirectDrawSurface;
#endif
}

void FreeSurface(IDirectDrawSurface* s) {
#ifdef VEXIL_DD_HEAP_SURFACES
    delete s;
#else
    s->~IDirectDrawSurface();
    auto* slot = reinterpret_cast<SurfaceSlot*>(s);
    slot->next = freeSurfaces;
    freeSurfaces = slot;
#endif
}

// A surface whose pixels are the caller's: nothing is allocated for them.
IDirectDrawSurface* NewSurfaceOn(uint8_t* pixels, int width, int height, LONG pitch, DWORD caps) {
    auto* s = AllocSurface();
    if (!s) return nullptr;
    s->pixels = pixels;
    s->ownsPixels = false;
    s->width = width;
    s->height = height;
    s->pitch = pitch;
    s->caps = caps;
    ++liveObjects;
    return s;
}

IDirectDrawSurface* NewSurface(int width, int height, DWORD caps) {
    const LONG pitch = (width + 15) & ~15;
    const size_t bytes = size_t(pitch) * size_t(height);
    auto* pixels = static_cast<uint8_t*>(std::aligned_alloc(16, bytes));
    if (!pixels) return nullptr;
    std::memset(pixels, 0, bytes);
    IDirectDrawSurface* s = NewSurfaceOn(pixels, width, height, pitch, caps);
    if (!s) {
        std::free(pixels);
        return nullptr;
    }
    s->ownsPixels = true;
    return s;
}

void DestroySurface(IDirectDrawSurface* s) {
    if (s->palette) s->palette->Release();
    delete s->dc;
    if (s->ownsPixels) std::free(s->pixels);
    FreeSurface(s);
    --liveObjects;
}

bool RectInside(const RECT& r, int width, int height) {
    return r.left >= 0 && r.top >= 0 && r.left < r.right && r.top < r.bottom && r.right <= width && r.bottom <= height;
}

// Validates a BltFast call and copies the pixels. Every draw of a map makes
// one per visible block, so the tests are few: 0 <= left < right <= width
// is two unsigned comparisons, and so is x + w <= the destination's width.
HRESULT Blt(IDirectDrawSurface* dest, DWORD x, DWORD y, const IDirectDrawSurface* src, const RECT* rect, DWORD flags) {
    if (!src) return DDERR_INVALIDPARAMS;
    const RECT r = rect ? *rect : RECT{0, 0, src->width, src->height};
    if (DWORD(r.left) >= DWORD(r.right) || DWORD(r.right) > DWORD(src->width) || DWORD(r.top) >= DWORD(r.bottom) ||
        DWORD(r.bottom) > DWORD(src->height))
        return DDERR_INVALIDRECT;
    const DWORD w = DWORD(r.right - r.left);
    const DWORD h = DWORD(r.bottom - r.top);
    if (x > DWORD(dest->width) || w > DWORD(dest->width) - x || y > DWORD(dest->height) || h > DWORD(dest->height) - y)
        return DDERR_INVALIDRECT;
    const LONG dx = LONG(x), dy = LONG(y);
    if (src == dest && dx < r.right && r.left < dx + LONG(w) && dy < r.bottom && r.top < dy + LONG(h)) [[unlikely]]
        return DDERR_INVALIDRECT;

    const uint8_t* sp = src->pixels + ptrdiff_t(r.top) * src->pitch + r.left;
    uint8_t* dp = dest->pixels + ptrdiff_t(dy) * dest->pitch + dx;
    if ((flags & DDBLTFAST_SRCCOLORKEY) && src->hasColorKey)
        DDBlitKeyedFast(dp, dest->pitch, sp, src->pitch, int(w), int(h), src->colorKey);
    else
        DDBlitOpaque(dp, dest->pitch, sp, src->pitch, int(w), int(h));
    return DD_OK;
}

// Kept out of line so the unlogged path stays short.
[[gnu::noinline]] HRESULT BltLogged(IDirectDrawSurface* dest, DWORD x, DWORD y, IDirectDrawSurface* src,
                                    const RECT* rect, DWORD flags) {
    const HRESULT result = Blt(dest, x, y, src, rect, flags);
    RECT used{};
    if (rect)
        used = *rect;
    else if (src)
        used = RECT{0, 0, src->width, src->height};
    bltLog->push_back(DDBltRecord{dest, x, y, src, used, flags, result});
    return result;
}

}  // namespace

// --- Display object ---------------------------------------------------------

HRESULT DDCreatePlainSurface(LPDIRECTDRAW dd, int width, int height, LPDIRECTDRAWSURFACE* out) {
    if (!dd) {
        if (out) *out = nullptr;
        return DDERR_INVALIDPARAMS;
    }
    DDSURFACEDESC ddsd{};
    ddsd.dwSize = sizeof ddsd;
    ddsd.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT;
    ddsd.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN;
    ddsd.dwWidth = DWORD(width);
    ddsd.dwHeight = DWORD(height);
    return dd->CreateSurface(&ddsd, out, nullptr);
}

HRESULT DirectDrawCreate(void*, LPDIRECTDRAW* out, void* outer) {
    if (!out) return DDERR_INVALIDPARAMS;
    *out = nullptr;
    if (Faulted(DDFAULT_DIRECTDRAWCREATE)) return DDERR_GENERIC;
    if (outer) return DDERR_INVALIDPARAMS;
    auto* dd = new (std::nothrow) IDirectDraw;
    if (!dd) return DDERR_OUTOFMEMORY;
    ++liveObjects;
    *out = dd;
    return DD_OK;
}

ULONG IDirectDraw::AddRef() { return ++refs; }

ULONG IDirectDraw::Release() {
    const ULONG left = --refs;
    if (left == 0) {
        delete this;
        --liveObjects;
    }
    return left;
}

HRESULT IDirectDraw::SetCooperativeLevel(HWND window, DWORD flags) {
    if (Faulted(DDFAULT_SETCOOPERATIVELEVEL)) return DDERR_GENERIC;
    const bool normal = flags & DDSCL_NORMAL;
    const bool exclusive = flags & DDSCL_EXCLUSIVE;
    const bool fullscreen = flags & DDSCL_FULLSCREEN;
    if (normal == exclusive || fullscreen != exclusive) return DDERR_INVALIDPARAMS;
    hwnd = window;
    coopFlags = flags;
    if (hooks.cooperativeLevel) hooks.cooperativeLevel(window, flags, hooks.user);
    return DD_OK;
}

HRESULT IDirectDraw::SetDisplayMode(DWORD width, DWORD height, DWORD bpp) {
    if (Faulted(DDFAULT_SETDISPLAYMODE)) return DDERR_GENERIC;
    if (bpp != 8 || width == 0 || height == 0 || width > DWORD(kMaxSide) || height > DWORD(kMaxSide))
        return DDERR_INVALIDMODE;
    modeWidth = int(width);
    modeHeight = int(height);
    modeBpp = int(bpp);
    if (hooks.displayMode) hooks.displayMode(modeWidth, modeHeight, modeBpp, hooks.user);
    return DD_OK;
}

HRESULT IDirectDraw::RestoreDisplayMode() {
    modeWidth = modeHeight = modeBpp = 0;
    return DD_OK;
}

HRESULT IDirectDraw::CreateSurface(LPDDSURFACEDESC desc, IDirectDrawSurface** out, void* outer) {
    if (!out) return DDERR_INVALIDPARAMS;
    *out = nullptr;
    if (Faulted(DDFAULT_CREATESURFACE)) return DDERR_GENERIC;
    if (!desc || outer) return DDERR_INVALIDPARAMS;
    const DWORD caps = (desc->dwFlags & DDSD_CAPS) ? desc->ddsCaps.dwCaps : 0;
    const DWORD memory = desc->dwFlags & (DDSD_LPSURFACE | DDSD_PITCH);
    if (memory && (memory != (DDSD_LPSURFACE | DDSD_PITCH) || (caps & DDSCAPS_PRIMARYSURFACE) || !desc->lpSurface ||
                   desc->lPitch < LONG(desc->dwWidth)))
        return DDERR_INVALIDPARAMS;

    if (!(caps & DDSCAPS_PRIMARYSURFACE)) {
        if (caps & (DDSCAPS_FLIP | DDSCAPS_COMPLEX | DDSCAPS_BACKBUFFER | DDSCAPS_FRONTBUFFER))
            return DDERR_INVALIDPARAMS;
        if ((desc->dwFlags & (DDSD_WIDTH | DDSD_HEIGHT)) != (DDSD_WIDTH | DDSD_HEIGHT)) return DDERR_INVALIDPARAMS;
        if (desc->dwWidth == 0 || desc->dwHeight == 0 || desc->dwWidth > DWORD(kMaxSide) ||
            desc->dwHeight > DWORD(kMaxSide))
            return DDERR_INVALIDPARAMS;
        const DWORD plainCaps = DDSCAPS_OFFSCREENPLAIN | DDSCAPS_SYSTEMMEMORY;
        IDirectDrawSurface* s = memory ? NewSurfaceOn(static_cast<uint8_t*>(desc->lpSurface), int(desc->dwWidth),
                                                      int(desc->dwHeight), desc->lPitch, plainCaps)
                                       : NewSurface(int(desc->dwWidth), int(desc->dwHeight), plainCaps);
        if (!s) return DDERR_OUTOFMEMORY;
        *out = s;
        return DD_OK;
    }

    // The primary takes its size from the display mode.
    if (modeWidth <= 0 || modeHeight <= 0) return DDERR_INVALIDMODE;
    const bool chain = (caps & kFlipChainCaps) == kFlipChainCaps;
    if (chain) {
        if (!(desc->dwFlags & DDSD_BACKBUFFERCOUNT) || desc->dwBackBufferCount != 1) return DDERR_INVALIDPARAMS;
    } else if (caps & (DDSCAPS_FLIP | DDSCAPS_COMPLEX)) {
        return DDERR_INVALIDPARAMS;
    }
    IDirectDrawSurface* front =
        NewSurface(modeWidth, modeHeight,
                   DDSCAPS_PRIMARYSURFACE | DDSCAPS_FRONTBUFFER | (chain ? DDSCAPS_FLIP | DDSCAPS_COMPLEX : 0));
    if (!front) return DDERR_OUTOFMEMORY;
    if (chain) {
        IDirectDrawSurface* back =
            NewSurface(modeWidth, modeHeight, DDSCAPS_BACKBUFFER | DDSCAPS_FLIP | DDSCAPS_COMPLEX);
        if (!back) {
            DestroySurface(front);
            return DDERR_OUTOFMEMORY;
        }
        front->backBuffer = back;
        back->primary = front;
    }
    *out = front;
    return DD_OK;
}

HRESULT IDirectDraw::CreatePalette(DWORD flags, LPPALETTEENTRY entries, IDirectDrawPalette** out, void* outer) {
    if (!out) return DDERR_INVALIDPARAMS;
    *out = nullptr;
    if (!(flags & DDPCAPS_8BIT) || !entries || outer) return DDERR_INVALIDPARAMS;
    auto* p = new (std::nothrow) IDirectDrawPalette;
    if (!p) return DDERR_OUTOFMEMORY;
    std::memcpy(p->entries, entries, sizeof p->entries);
    ++liveObjects;
    *out = p;
    return DD_OK;
}

// --- Palette ------------------------------------------------------------------

ULONG IDirectDrawPalette::AddRef() { return ++refs; }

ULONG IDirectDrawPalette::Release() {
    const ULONG left = --refs;
    if (left == 0) {
        delete this;
        --liveObjects;
    }
    return left;
}

HRESULT IDirectDrawPalette::GetEntries(DWORD, DWORD base, DWORD count, LPPALETTEENTRY out) {
    if (!out || base > 256 || count > 256 - base) return DDERR_INVALIDPARAMS;
    std::memcpy(out, entries + base, count * sizeof(PALETTEENTRY));
    return DD_OK;
}

HRESULT IDirectDrawPalette::SetEntries(DWORD, DWORD base, DWORD count, const PALETTEENTRY* in) {
    if (!in || base > 256 || count > 256 - base) return DDERR_INVALIDPARAMS;
    std::memmove(entries + base, in, count * sizeof(PALETTEENTRY));
    return DD_OK;
}

// --- Surface --------------------------------------------------------------------

ULONG IDirectDrawSurface::AddRef() { return ++refs; }

ULONG IDirectDrawSurface::Release() {
    // A back buffer lives exactly as long as its primary.
    if (primary) return refs > 1 ? --refs : refs;
    const ULONG left = --refs;
    if (left == 0) {
        if (backBuffer) DestroySurface(backBuffer);
        DestroySurface(this);
    }
    return left;
}

HRESULT IDirectDrawSurface::BltFast(DWORD x, DWORD y, IDirectDrawSurface* src, LPRECT rect, DWORD flags) {
    if (bltLog) [[unlikely]]
        return BltLogged(this, x, y, src, rect, flags);
    return Blt(this, x, y, src, rect, flags);
}

void DDBltRun(IDirectDrawSurface* dest, DWORD y, const RECT& rect, const DDRunBlit* run, int n) {
    if (!dest || n <= 0) return;
    if (bltLog) [[unlikely]] {
        RECT copy = rect;
        for (int k = 0; k < n; ++k) BltLogged(dest, run[k].x, y, run[k].src, &copy, run[k].flags);
        return;
    }
    DDBlitRun(dest, y, rect, run, n);
}

HRESULT IDirectDrawSurface::SetColorKey(DWORD flags, LPDDCOLORKEY key) {
    if (!(flags & DDCKEY_SRCBLT)) return DDERR_INVALIDPARAMS;
    if (!key) {
        hasColorKey = false;
        return DD_OK;
    }
    if (key->dwColorSpaceLowValue > 255) return DDERR_INVALIDPARAMS;
    colorKey = uint8_t(key->dwColorSpaceLowValue);
    hasColorKey = true;
    return DD_OK;
}

HRESULT IDirectDrawSurface::GetAttachedSurface(LPDDSCAPS want, IDirectDrawSurface** out) {
    if (!out) return DDERR_INVALIDPARAMS;
    *out = nullptr;
    if (Faulted(DDFAULT_GETATTACHEDSURFACE)) return DDERR_GENERIC;
    if (!want) return DDERR_INVALIDPARAMS;
    if (!(want->dwCaps & DDSCAPS_BACKBUFFER) || !backBuffer) return DDERR_NOTFOUND;
    *out = backBuffer;
    return DD_OK;
}

HRESULT IDirectDrawSurface::Flip(IDirectDrawSurface* target, DWORD flags) {
    if (!backBuffer) return DDERR_NOTFLIPPABLE;
    if (target && target != backBuffer) return DDERR_INVALIDPARAMS;
    if (dcOut || locked || backBuffer->dcOut || backBuffer->locked) return DDERR_SURFACEBUSY;
    // The objects stay put, so lpDDSBack keeps naming the buffer drawn into.
    uint8_t* shown = backBuffer->pixels;
    backBuffer->pixels = pixels;
    pixels = shown;
    if (hooks.present)
        hooks.present(pixels, width, height, pitch, palette ? palette->entries : nullptr, flags, hooks.user);
    return DD_OK;
}

HRESULT IDirectDrawSurface::SetPalette(IDirectDrawPalette* pal) {
    if (pal) pal->AddRef();
    if (palette) palette->Release();
    palette = pal;
    if (dcOut) dc->palette = pal ? pal->entries : nullptr;
    return DD_OK;
}

HRESULT IDirectDrawSurface::GetDC(HDC* out) {
    if (!out) return DDERR_INVALIDPARAMS;
    *out = nullptr;
    if (Faulted(DDFAULT_GETDC)) return DDERR_GENERIC;
    if (dcOut || locked) return DDERR_SURFACEBUSY;
    if (!dc && !(dc = new (std::nothrow) HDC__{})) return DDERR_OUTOFMEMORY;
    *dc = HDC__{};
    dc->bits = pixels;
    dc->width = width;
    dc->height = height;
    dc->pitch = pitch;
    dc->palette = palette ? palette->entries : nullptr;
    dc->bkColor = RGB(255, 255, 255);
    dc->textColor = RGB(0, 0, 0);
    dc->owner = this;
    dcOut = true;
    *out = dc;
    return DD_OK;
}

HRESULT IDirectDrawSurface::ReleaseDC(HDC hdc) {
    if (!dcOut) return DDERR_NODC;
    if (hdc != dc) return DDERR_INVALIDPARAMS;
    dcOut = false;
    return DD_OK;
}

HRESULT IDirectDrawSurface::Lock(LPRECT rect, LPDDSURFACEDESC desc, DWORD, void*) {
    if (!desc) return DDERR_INVALIDPARAMS;
    desc->lpSurface = nullptr;
    if (Faulted(DDFAULT_LOCK)) return DDERR_GENERIC;
    if (locked || dcOut) return DDERR_SURFACEBUSY;
    if (rect && !RectInside(*rect, width, height)) return DDERR_INVALIDRECT;
    const DWORD size = desc->dwSize;
    *desc = DDSURFACEDESC{};
    desc->dwSize = size;
    desc->dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PITCH | DDSD_LPSURFACE;
    desc->dwWidth = DWORD(width);
    desc->dwHeight = DWORD(height);
    desc->lPitch = pitch;
    desc->lpSurface = rect ? pixels + ptrdiff_t(rect->top) * pitch + rect->left : pixels;
    desc->ddsCaps.dwCaps = caps;
    desc->ddpfPixelFormat.dwSize = sizeof(DDPIXELFORMAT);
    desc->ddpfPixelFormat.dwRGBBitCount = 8;
    locked = true;
    return DD_OK;
}

HRESULT IDirectDrawSurface::GetSurfaceDesc(LPDDSURFACEDESC desc) {
    if (!desc) return DDERR_INVALIDPARAMS;
    const DWORD size = desc->dwSize;
    *desc = DDSURFACEDESC{};
    desc->dwSize = size;
    desc->dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PITCH;
    desc->dwWidth = DWORD(width);
    desc->dwHeight = DWORD(height);
    desc->lPitch = pitch;
    desc->ddsCaps.dwCaps = caps;
    desc->ddpfPixelFormat.dwSize = sizeof(DDPIXELFORMAT);
    desc->ddpfPixelFormat.dwRGBBitCount = 8;
    return DD_OK;
}

HRESULT IDirectDrawSurface::Unlock(void*) {
    if (!locked) return DDERR_NOTLOCKED;
    locked = false;
    return DD_OK;
}

// --- Hooks and seams ----------------------------------------------------------

void DDSetDisplayHooks(const DDDisplayHooks* h) { hooks = h ? *h : DDDisplayHooks{}; }

void DDInjectFault(DDFault which, int nth) {
    if (which < 0 || which >= DDFAULT_COUNT) return;
    faultCountdown[which] = nth > 0 ? nth : 0;
}

void DDClearFaults() {
    for (int& n : faultCountdown) n = 0;
}

void DDSetBltLog(std::vector<DDBltRecord>* log) { bltLog = log; }

int DDLiveObjects() { return liveObjects; }
