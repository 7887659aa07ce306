// Software display layer: 8-bit palettized surfaces with the DirectDraw-style
// interface the map library and the demo call. No SDL here; a window layer
// attaches itself (ddinternal.h) to show flipped frames.
#pragma once

#include <cstddef>
#include <cstdint>

typedef uint32_t DWORD;
typedef int32_t LONG;
typedef uint32_t ULONG;
typedef int32_t HRESULT;
typedef uint32_t COLORREF;

struct HWND__;  // defined by the window layer
typedef HWND__* HWND;

#define RGB(r, g, b) ((COLORREF)(((uint8_t)(r)) | ((DWORD)((uint8_t)(g)) << 8) | ((DWORD)((uint8_t)(b)) << 16)))
#define GetRValue(c) ((uint8_t)((c)&0xFF))
#define GetGValue(c) ((uint8_t)(((c) >> 8) & 0xFF))
#define GetBValue(c) ((uint8_t)(((c) >> 16) & 0xFF))

// Result codes.
#define DD_OK ((HRESULT)0)
#define DDERR_GENERIC ((HRESULT)0x80004005)
#define DDERR_INVALIDPARAMS ((HRESULT)0x80070057)
#define DDERR_OUTOFMEMORY ((HRESULT)0x8007000E)
#define DDERR_INVALIDRECT ((HRESULT)0x88760096)
#define DDERR_INVALIDMODE ((HRESULT)0x887600B4)
#define DDERR_NOTFOUND ((HRESULT)0x887600FF)
#define DDERR_NOEXCLUSIVEMODE ((HRESULT)0x887600E1)
#define DDERR_NOTFLIPPABLE ((HRESULT)0x887600E6)
#define DDERR_NOTLOCKED ((HRESULT)0x887602A0)
#define DDERR_SURFACEBUSY ((HRESULT)0x887601B2)
#define DDERR_NODC ((HRESULT)0x8876011E)

// SetCooperativeLevel flags.
#define DDSCL_FULLSCREEN 0x00000001
#define DDSCL_ALLOWREBOOT 0x00000002
#define DDSCL_NOWINDOWCHANGES 0x00000004
#define DDSCL_NORMAL 0x00000008
#define DDSCL_EXCLUSIVE 0x00000010
#define DDSCL_ALLOWMODEX 0x00000040

// DDSURFACEDESC.dwFlags.
#define DDSD_CAPS 0x00000001
#define DDSD_HEIGHT 0x00000002
#define DDSD_WIDTH 0x00000004
#define DDSD_PITCH 0x00000008
#define DDSD_BACKBUFFERCOUNT 0x00000020
#define DDSD_LPSURFACE 0x00000800
#define DDSD_REFRESHRATE 0x00040000

// DDSCAPS.dwCaps.
#define DDSCAPS_BACKBUFFER 0x00000004
#define DDSCAPS_COMPLEX 0x00000008
#define DDSCAPS_FLIP 0x00000010
#define DDSCAPS_FRONTBUFFER 0x00000020
#define DDSCAPS_OFFSCREENPLAIN 0x00000040
#define DDSCAPS_PRIMARYSURFACE 0x00000200
#define DDSCAPS_SYSTEMMEMORY 0x00000800

#define DDPCAPS_8BIT 0x00000004
#define DDCKEY_SRCBLT 0x00000008
#define DDBLTFAST_NOCOLORKEY 0x00000000
#define DDBLTFAST_SRCCOLORKEY 0x00000001
#define DDBLTFAST_WAIT 0x00000010
#define DDFLIP_WAIT 0x00000001
#define DDLOCK_WAIT 0x00000001

struct RECT {
    LONG left, top, right, bottom;  // right and bottom exclusive
};

struct PALETTEENTRY {
    uint8_t peRed, peGreen, peBlue, peFlags;
};

struct DDCOLORKEY {
    DWORD dwColorSpaceLowValue, dwColorSpaceHighValue;
};

struct DDSCAPS {
    DWORD dwCaps;
};

struct DDPIXELFORMAT {
    DWORD dwSize, dwFlags, dwFourCC, dwRGBBitCount;
    DWORD dwRBitMask, dwGBitMask, dwBBitMask, dwRGBAlphaBitMask;
};

struct DDSURFACEDESC {
    DWORD dwSize;  // sizeof(DDSURFACEDESC)
    DWORD dwFlags;
    DWORD dwHeight;
    DWORD dwWidth;
    LONG lPitch;
    DWORD dwBackBufferCount;
    DWORD dwRefreshRate;
    DWORD dwAlphaBitDepth;
    DWORD dwReserved;
    void* lpSurface;
    DDCOLORKEY ddckCKDestOverlay, ddckCKDestBlt, ddckCKSrcOverlay, ddckCKSrcBlt;
    DDPIXELFORMAT ddpfPixelFormat;
    DDSCAPS ddsCaps;
};

// A device context on an 8-bit surface: where GDI-style text and bitmap
// calls of the window layer write their palette indices.
struct HDC__;
typedef HDC__* HDC;

struct IDirectDrawPalette;
struct IDirectDrawSurface;
struct IDirectDraw;
typedef IDirectDraw* LPDIRECTDRAW;
typedef IDirectDrawSurface* LPDIRECTDRAWSURFACE;
typedef IDirectDrawPalette* LPDIRECTDRAWPALETTE;
typedef DDSURFACEDESC* LPDDSURFACEDESC;
typedef RECT* LPRECT;
typedef PALETTEENTRY* LPPALETTEENTRY;
typedef DDCOLORKEY* LPDDCOLORKEY;
typedef DDSCAPS* LPDDSCAPS;

struct IDirectDrawPalette {
    ULONG AddRef();
    ULONG Release();
    HRESULT GetEntries(DWORD flags, DWORD base, DWORD count, LPPALETTEENTRY entries);
    HRESULT SetEntries(DWORD flags, DWORD base, DWORD count, const PALETTEENTRY* entries);

    PALETTEENTRY entries[256];
    ULONG refs = 1;
};

struct IDirectDrawSurface {
    ULONG AddRef();
    // Releasing a primary surface also releases its attached back buffer. A
    // back buffer lives as long as its primary: its own Release never frees it.
    ULONG Release();

    // Copies src's rectangle (the whole surface when rect is null) to (x, y).
    // Refuses an empty rectangle, one not inside src, or a destination not
    // inside this surface with DDERR_INVALIDRECT, drawing nothing; so is a copy
    // within one surface whose source and destination rectangles overlap. A
    // null src gives DDERR_INVALIDPARAMS. With DDBLTFAST_SRCCOLORKEY, pixels
    // equal to src's colour key are skipped; without a key set, all are copied.
    HRESULT BltFast(DWORD x, DWORD y, IDirectDrawSurface* src, LPRECT rect, DWORD flags);
    // DDCKEY_SRCBLT with the key's low value (0..255); a null key removes it.
    HRESULT SetColorKey(DWORD flags, LPDDCOLORKEY key);
    // DDSCAPS_BACKBUFFER on a primary gives its back buffer, without adding a
    // reference.
    HRESULT GetAttachedSurface(LPDDSCAPS caps, IDirectDrawSurface** out);
    // On a primary: exchanges the pixel storage of the primary and its back
    // buffer (both objects keep their identity and palette), then hands the
    // new front pixels and the primary's palette to the present hook. Refused
    // with DDERR_SURFACEBUSY while either buffer is locked or has a DC out.
    HRESULT Flip(IDirectDrawSurface* target, DWORD flags);
    // Holds a reference to the palette; null detaches. Each buffer of a
    // flipping chain has its own.
    HRESULT SetPalette(IDirectDrawPalette* palette);
    // One context per surface at a time; it stays valid until ReleaseDC.
    HRESULT GetDC(HDC* out);
    HRESULT ReleaseDC(HDC dc);
    // Fills lpSurface (the rectangle's top-left, or the surface's), lPitch,
    // dwWidth and dwHeight (the whole surface's) and dwFlags.
    HRESULT Lock(LPRECT rect, LPDDSURFACEDESC desc, DWORD flags, void* event);
    HRESULT Unlock(void* bits);
    // Fills dwWidth, dwHeight, lPitch, ddsCaps and the pixel format (8 bits);
    // the surface need not be locked, so lpSurface is left null.
    HRESULT GetSurfaceDesc(LPDDSURFACEDESC desc);

    int width = 0, height = 0;
    LONG pitch = 0;             // at least width; a multiple of 16 unless on caller memory
    uint8_t* pixels = nullptr;  // 16-byte aligned unless on caller memory
    bool ownsPixels = true;     // false: the caller's memory, never freed here
    DWORD caps = 0;
    bool hasColorKey = false;
    uint8_t colorKey = 0;
    IDirectDrawPalette* palette = nullptr;     // held with a reference
    IDirectDrawSurface* backBuffer = nullptr;  // the attached buffer of a primary
    IDirectDrawSurface* primary = nullptr;     // for a back buffer, its primary
    HDC__* dc = nullptr;                       // made by the first GetDC, kept until the surface goes
    bool dcOut = false;
    bool locked = false;
    ULONG refs = 1;
};

struct IDirectDraw {
    ULONG AddRef();
    ULONG Release();
    // DDSCL_NORMAL, or DDSCL_FULLSCREEN with DDSCL_EXCLUSIVE (other flags
    // pass); records window and flags and tells the hook.
    HRESULT SetCooperativeLevel(HWND hwnd, DWORD flags);
    // 8 bits per pixel, sides 1..16384; records the mode and tells the hook.
    HRESULT SetDisplayMode(DWORD width, DWORD height, DWORD bpp);
    // Forgets the recorded mode; calls no hook.
    HRESULT RestoreDisplayMode();
    // Off-screen plain surfaces of any size; with DDSCAPS_PRIMARYSURFACE the
    // primary in the display mode's size, plus one back buffer when
    // DDSCAPS_FLIP | DDSCAPS_COMPLEX and a back-buffer count of 1 are given.
    // Sides are 1..16384; a primary needs a display mode. New pixels are 0.
    // An off-screen surface given DDSD_LPSURFACE | DDSD_PITCH (lPitch >=
    // width) is made on the caller's pixels, which are left as they are and
    // must outlive the surface: many surfaces can share one pixel store.
    HRESULT CreateSurface(LPDDSURFACEDESC desc, IDirectDrawSurface** out, void* outer);
    HRESULT CreatePalette(DWORD flags, LPPALETTEENTRY entries, IDirectDrawPalette** out, void* outer);

    HWND hwnd = nullptr;
    DWORD coopFlags = 0;
    int modeWidth = 0, modeHeight = 0, modeBpp = 0;
    ULONG refs = 1;
};

HRESULT DirectDrawCreate(void* guid, LPDIRECTDRAW* out, void* outer);

// An off-screen plain surface of width x height pixels made on dd: the
// CreateSurface call every user of the layer would otherwise spell out.
HRESULT DDCreatePlainSurface(LPDIRECTDRAW dd, int width, int height, LPDIRECTDRAWSURFACE* out);
