// The display layer's internals for the window layer and the tests: device
// context records, the hooks a window layer attaches through, and the seams
// tests force faults and watch blits with. Not installed.
#pragma once

#include <vector>

#include "ddraw.h"

// A device context on an 8-bit surface (or a memory context of the window
// layer): where GDI-style text and bitmap calls write their palette indices.
struct HDC__ {
    uint8_t* bits;  // top-left pixel, or null for an empty memory context
    int width, height;
    LONG pitch;                   // bytes from one row to the next
    const PALETTEENTRY* palette;  // 256 entries used to map RGB colours, or null
    COLORREF bkColor;             // GDI defaults: white background, black text
    COLORREF textColor;
    void* selected;  // object selected into a memory context (window layer)
    void* owner;     // the surface this context belongs to, if any
};

// --- Hooks for the window layer -------------------------------------------

struct DDDisplayHooks {
    // The primary surface flipped: show `pixels` through `palette` (null when
    // the surface has none). `flags` are those given to Flip.
    void (*present)(const uint8_t* pixels, int width, int height, LONG pitch, const PALETTEENTRY* palette, DWORD flags,
                    void* user);
    void (*cooperativeLevel)(HWND hwnd, DWORD flags, void* user);
    void (*displayMode)(int width, int height, int bpp, void* user);
    void* user;
};
// Installs the hooks (copied); null removes them.
void DDSetDisplayHooks(const DDDisplayHooks* hooks);

// --- Test seams -------------------------------------------------------------

enum DDFault {
    DDFAULT_DIRECTDRAWCREATE,
    DDFAULT_SETCOOPERATIVELEVEL,
    DDFAULT_SETDISPLAYMODE,
    DDFAULT_CREATESURFACE,
    DDFAULT_GETATTACHEDSURFACE,
    DDFAULT_GETDC,
    DDFAULT_LOCK,
    DDFAULT_COUNT
};
// Makes the nth call from now (1 = the next one) of that operation fail with
// DDERR_GENERIC; 0 disarms it.
void DDInjectFault(DDFault which, int nth);
void DDClearFaults();

// One BltFast call as it was made, for tests that check what a draw did.
// `rect` is the source rectangle used: the whole source when null was given.
struct DDBltRecord {
    const IDirectDrawSurface* dest;
    DWORD x, y;
    const IDirectDrawSurface* src;
    RECT rect;
    DWORD flags;
    HRESULT result;
};
// Every BltFast call is appended to *log while it is set; null stops logging.
void DDSetBltLog(std::vector<DDBltRecord>* log);

// Display objects, surfaces and palettes alive now, for leak checks.
int DDLiveObjects();
