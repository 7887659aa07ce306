// Window layer GDI: memory contexts, bitmaps and icons from resources, BitBlt,
// and text drawn with SDL2_ttf onto 8-bit surfaces and window contents.
#include <SDL_ttf.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <map>
#include <memory>
#include <set>
#include <string>

#include "vxpresent.h"
#include "wininternal.h"

namespace {

constexpr const char* kFontPath = "/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf";
constexpr int kFontPoints = 13;  // about the 16-pixel cell of a system font

WinResourceFinder finder = nullptr;
TTF_Font* font = nullptr;
bool fontTried = false;

// Stock brushes in GetStockObject's order.
HBRUSH__ stockBrushes[] = {
    {RGB(255, 255, 255), false}, {RGB(192, 192, 192), false}, {RGB(128, 128, 128), false},
    {RGB(64, 64, 64), false},    {RGB(0, 0, 0), false},       {RGB(0, 0, 0), true},
};
// What a new memory context holds: one black pixel.
HBITMAP__ stockBitmap = {1, 1, {0}, {}};

std::set<HBITMAP> bitmaps;
std::map<const unsigned char*, std::unique_ptr<HICON__>> icons;  // by resource bytes
std::set<HDC> memoryDCs;

uint32_t Get16(const unsigned char* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8; }
uint32_t Get32(const unsigned char* p) { return Get16(p) | Get16(p + 2) << 16; }
int32_t GetS32(const unsigned char* p) { return int32_t(Get32(p)); }

TTF_Font* Font() {
    if (!font && !fontTried) {
        fontTried = true;
        if (TTF_WasInit() || TTF_Init() == 0) font = TTF_OpenFont(kFontPath, kFontPoints);
    }
    return font;
}

// A context that paints into a window rather than into 8-bit pixels.
HWND WindowOf(HDC dc) {
    HWND w = static_cast<HWND>(dc->owner);
    return dc->owner && IsWindow(w) && dc == &w->dc ? w : nullptr;
}

// Where a window context's client pixels lie in its top-level backing store.
struct WindowArea {
    uint32_t* origin;    // the client's (0, 0), possibly outside the store
    int pitch;           // in pixels
    int x0, y0, x1, y1;  // the part of the client that lies inside the store
};

WindowArea AreaOf(HWND w) {
    HWND top = w;
    int ox = 0, oy = 0;
    while (top->parent) {
        ox += top->x;
        oy += top->y;
        top = top->parent;
    }
    WindowArea a;
    a.pitch = top->width;
    a.origin = top->store.data();
    a.x0 = std::max(0, -ox);
    a.y0 = std::max(0, -oy);
    a.x1 = std::min(w->width, top->width - ox);
    a.y1 = std::min(w->height, top->height - oy);
    a.origin += ptrdiff_t(oy) * a.pitch + ox;
    return a;
}

// The palette entry closest to the colour, first of equals; without a palette
// the grey level stands for the index.
uint8_t Nearest(const PALETTEENTRY* pal, uint8_t r, uint8_t g, uint8_t b) {
    if (!pal) return uint8_t((r * 77 + g * 151 + b * 28) >> 8);
    int best = 0;
    long bestDist = 1L << 30;
    for (int i = 0; i < 256; i++) {
        const long dr = pal[i].peRed - r, dg = pal[i].peGreen - g, db = pal[i].peBlue - b;
        const long d = dr * dr + dg * dg + db * db;
        if (d < bestDist) {
            bestDist = d;
            best = i;
        }
    }
    return uint8_t(best);
}

// Clips a copy of w x h pixels from (sx, sy) of a source sw x sh to (dx, dy)
// inside the destination's [dx0, dx1) x [dy0, dy1). False when nothing is left.
bool Clip(int& dx, int& dy, int& w, int& h, int& sx, int& sy, int sw, int sh, int dx0, int dy0, int dx1, int dy1) {
    const int leftCut = std::max({0, -sx, dx0 - dx});
    const int topCut = std::max({0, -sy, dy0 - dy});
    dx += leftCut;
    sx += leftCut;
    w -= leftCut;
    dy += topCut;
    sy += topCut;
    h -= topCut;
    w = std::min({w, sw - sx, dx1 - dx});
    h = std::min({h, sh - sy, dy1 - dy});
    return w > 0 && h > 0;
}

HBITMAP ParseDib(const unsigned char* p, size_t n) {
    if (n >= 14 && p[0] == 'B' && p[1] == 'M') {
        p += 14;
        n -= 14;
    }
    if (n < 40) return nullptr;
    const uint32_t hdr = Get32(p);
    const int32_t w = GetS32(p + 4), hRaw = GetS32(p + 8);
    const uint32_t planes = Get16(p + 12), bpp = Get16(p + 14), compression = Get32(p + 16);
    uint32_t colours = Get32(p + 32);
    if (hdr < 40 || hdr > n || planes != 1 || bpp != 8 || compression != 0) return nullptr;
    if (w <= 0 || w > 16384 || hRaw == 0 || hRaw < -16384 || hRaw > 16384) return nullptr;
    if (colours == 0) colours = 256;
    if (colours > 256) return nullptr;
    const int h = hRaw < 0 ? -hRaw : hRaw;
    const size_t stride = (size_t(w) + 3) & ~size_t(3);
    const size_t tableEnd = hdr + size_t(colours) * 4;
    if (tableEnd > n || stride * h > n - tableEnd) return nullptr;

    auto* bm = new HBITMAP__{};
    bm->width = w;
    bm->height = h;
    for (uint32_t i = 0; i < colours; i++) {
        const unsigned char* q = p + hdr + i * 4;
        bm->palette[i] = PALETTEENTRY{q[2], q[1], q[0], 0};
    }
    bm->bits.resize(size_t(w) * h);
    for (int y = 0; y < h; y++) {
        const int srcRow = hRaw > 0 ? h - 1 - y : y;
        std::memcpy(&bm->bits[size_t(y) * w], p + tableEnd + stride * srcRow, size_t(w));
    }
    return bm;
}

// One 32 x 32 image of an icon file: 4 or 8 bits per pixel with a colour table
// and an AND mask, or 32 bits with alpha.
HICON ParseIcon(const unsigned char* p, size_t n) {
    if (n < 6 + 16 || Get16(p) != 0 || Get16(p + 2) != 1 || Get16(p + 4) < 1) return nullptr;
    const uint32_t size = Get32(p + 6 + 8), offset = Get32(p + 6 + 12);
    if (offset > n || size > n - offset || size < 40) return nullptr;
    const unsigned char* d = p + offset;
    const uint32_t hdr = Get32(d);
    const int32_t w = GetS32(d + 4), h2 = GetS32(d + 8);
    const uint32_t bpp = Get16(d + 14);
    uint32_t colours = Get32(d + 32);
    if (hdr < 40 || w != 32 || h2 != 64 || (bpp != 4 && bpp != 8 && bpp != 32)) return nullptr;
    if (bpp <= 8 && colours == 0) colours = 1u << bpp;
    if (bpp == 32) colours = 0;
    if (colours > 256) return nullptr;
    const int h = 32;
    const size_t xorStride = ((size_t(w) * bpp + 31) / 32) * 4;
    const size_t andStride = ((size_t(w) + 31) / 32) * 4;
    const size_t tableEnd = hdr + size_t(colours) * 4;
    if (tableEnd + (xorStride + andStride) * h > size) return nullptr;
    const unsigned char* table = d + hdr;
    const unsigned char* xorBits = d + tableEnd;
    const unsigned char* andBits = xorBits + xorStride * h;

    auto* icon = new HICON__{w, h, std::vector<uint32_t>(size_t(w) * h)};
    for (int y = 0; y < h; y++) {
        const unsigned char* row = xorBits + xorStride * (h - 1 - y);
        const unsigned char* mask = andBits + andStride * (h - 1 - y);
        for (int x = 0; x < w; x++) {
            uint32_t argb;
            if (bpp == 32) {
                const unsigned char* q = row + x * 4;
                argb = uint32_t(q[3]) << 24 | uint32_t(q[2]) << 16 | uint32_t(q[1]) << 8 | q[0];
            } else {
                const unsigned idx = bpp == 8 ? row[x] : (x & 1 ? row[x / 2] & 15 : row[x / 2] >> 4);
                const unsigned char* q = idx < colours ? table + idx * 4 : table;
                const bool transparent = mask[x / 8] & (0x80 >> (x & 7));
                argb = (transparent ? 0u : 0xFF000000u) | uint32_t(q[2]) << 16 | uint32_t(q[1]) << 8 | q[0];
            }
            icon->argb[size_t(y) * w + x] = argb;
        }
    }
    return icon;
}

const unsigned char* Resource(LPCSTR name, size_t* size) {
    if (!finder || !name || IS_INTRESOURCE(name)) return nullptr;
    return finder(name, size);
}

}  // namespace

void WinSetResourceFinder(WinResourceFinder find) { finder = find; }

bool WinTextExtent(const char* text, int* width, int* height) {
    TTF_Font* f = Font();
    int w = 0, h = 0;
    if (!f || TTF_SizeText(f, text, &w, &h) != 0) return false;
    if (width) *width = w;
    if (height) *height = h;
    return true;
}

void WinCloseText() {
    if (font) TTF_CloseFont(font);
    font = nullptr;
    fontTried = false;
    if (TTF_WasInit()) TTF_Quit();
}

HGDIOBJ GetStockObject(int object) {
    if (object < 0 || object >= int(std::size(stockBrushes))) return nullptr;
    return &stockBrushes[object];
}

HBITMAP LoadBitmapA(HINSTANCE, LPCSTR name) {
    size_t size = 0;
    const unsigned char* data = Resource(name, &size);
    HBITMAP bm = data ? ParseDib(data, size) : nullptr;
    if (bm) bitmaps.insert(bm);
    return bm;
}

// Icons are shared: each resource is read once and lives as long as the program.
HICON LoadIconA(HINSTANCE, LPCSTR name) {
    size_t size = 0;
    const unsigned char* data = Resource(name, &size);
    if (!data) return nullptr;
    auto& icon = icons[data];
    if (!icon) icon.reset(ParseIcon(data, size));
    return icon.get();
}

HDC CreateCompatibleDC(HDC) {
    HDC dc = new HDC__{};
    dc->bits = stockBitmap.bits.data();
    dc->width = dc->height = 1;
    dc->pitch = 1;
    dc->palette = stockBitmap.palette;
    dc->bkColor = RGB(255, 255, 255);
    dc->textColor = RGB(0, 0, 0);
    dc->selected = &stockBitmap;
    memoryDCs.insert(dc);
    return dc;
}

HGDIOBJ SelectObject(HDC dc, HGDIOBJ object) {
    if (!dc || !memoryDCs.count(dc) || !object) return nullptr;
    auto* bm = static_cast<HBITMAP>(object);
    if (bm != &stockBitmap && !bitmaps.count(bm)) return nullptr;
    HGDIOBJ previous = dc->selected;
    dc->selected = bm;
    dc->bits = bm->bits.data();
    dc->width = bm->width;
    dc->height = bm->height;
    dc->pitch = bm->width;
    dc->palette = bm->palette;
    return previous;
}

BOOL DeleteDC(HDC dc) {
    if (!dc || !memoryDCs.erase(dc)) return FALSE;
    delete dc;
    return TRUE;
}

BOOL DeleteObject(HGDIOBJ object) {
    auto* bm = static_cast<HBITMAP>(object);
    if (!object || !bitmaps.count(bm)) return FALSE;
    for (HDC dc : memoryDCs) {
        if (dc->selected == bm) return FALSE;  // still selected: GDI refuses too
    }
    bitmaps.erase(bm);
    delete bm;
    return TRUE;
}

BOOL BitBlt(HDC dest, int x, int y, int width, int height, HDC src, int srcX, int srcY, DWORD rop) {
    if (!dest || !src || rop != SRCCOPY || !src->bits || WindowOf(src)) return FALSE;
    if (HWND w = WindowOf(dest)) {
        const WindowArea a = AreaOf(w);
        if (!Clip(x, y, width, height, srcX, srcY, src->width, src->height, a.x0, a.y0, a.x1, a.y1)) {
            return TRUE;
        }
        // The presenter's conversion, through the source's palette or the grey ramp.
        uint32_t table[256];
        VxPresentTable(src->palette, table);
        VxPresentConvert(src->bits + ptrdiff_t(srcY) * src->pitch + srcX, src->pitch,
                         a.origin + ptrdiff_t(y) * a.pitch + x, LONG(a.pitch) * 4, width, height, table);
        return TRUE;
    }
    if (!dest->bits) return FALSE;
    if (!Clip(x, y, width, height, srcX, srcY, src->width, src->height, 0, 0, dest->width, dest->height)) {
        return TRUE;
    }
    // Indices carry over when both sides share a palette (or either has none);
    // otherwise each colour becomes the destination's nearest.
    uint8_t map[256];
    const bool same =
        !src->palette || !dest->palette || !std::memcmp(src->palette, dest->palette, 256 * sizeof(PALETTEENTRY));
    for (int i = 0; i < 256; i++) {
        map[i] = same ? uint8_t(i)
                      : Nearest(dest->palette, src->palette[i].peRed, src->palette[i].peGreen, src->palette[i].peBlue);
    }
    for (int row = 0; row < height; row++) {
        const uint8_t* s = src->bits + ptrdiff_t(srcY + row) * src->pitch + srcX;
        uint8_t* d = dest->bits + ptrdiff_t(y + row) * dest->pitch + x;
        if (same) {
            std::memmove(d, s, size_t(width));
        } else {
            for (int col = 0; col < width; col++) d[col] = map[s[col]];
        }
    }
    return TRUE;
}

COLORREF SetBkColor(HDC dc, COLORREF color) {
    if (!dc) return 0xFFFFFFFFu;
    const COLORREF previous = dc->bkColor;
    dc->bkColor = color;
    return previous;
}

COLORREF SetTextColor(HDC dc, COLORREF color) {
    if (!dc) return 0xFFFFFFFFu;
    const COLORREF previous = dc->textColor;
    dc->textColor = color;
    return previous;
}

BOOL TextOutA(HDC dc, int x, int y, LPCSTR text, int length) {
    if (!dc || !text || length < 0) return FALSE;
    if (length == 0) return TRUE;
    TTF_Font* f = Font();
    if (!f) return FALSE;
    const std::string s(text, size_t(length));
    // Solid rendering gives 8-bit pixels: 0 the background, anything else ink.
    SDL_Surface* glyphs = TTF_RenderText_Solid(f, s.c_str(), SDL_Color{255, 255, 255, 255});
    if (!glyphs) return FALSE;
    if (SDL_MUSTLOCK(glyphs)) SDL_LockSurface(glyphs);
    int w = glyphs->w, h = glyphs->h, sx = 0, sy = 0;
    const auto* ink = static_cast<const uint8_t*>(glyphs->pixels);
    const int inkPitch = glyphs->pitch;
    const COLORREF fg = dc->textColor, bg = dc->bkColor;
    BOOL ok = TRUE;
    if (HWND win = WindowOf(dc)) {
        const WindowArea a = AreaOf(win);
        if (Clip(x, y, w, h, sx, sy, glyphs->w, glyphs->h, a.x0, a.y0, a.x1, a.y1)) {
            const uint32_t fgc = WinXrgb(fg), bgc = WinXrgb(bg);
            for (int row = 0; row < h; row++) {
                const uint8_t* s8 = ink + ptrdiff_t(sy + row) * inkPitch + sx;
                uint32_t* d = a.origin + ptrdiff_t(y + row) * a.pitch + x;
                for (int col = 0; col < w; col++) d[col] = s8[col] ? fgc : bgc;
            }
        }
    } else if (dc->bits) {
        if (Clip(x, y, w, h, sx, sy, glyphs->w, glyphs->h, 0, 0, dc->width, dc->height)) {
            const uint8_t fgi = Nearest(dc->palette, GetRValue(fg), GetGValue(fg), GetBValue(fg));
            const uint8_t bgi = Nearest(dc->palette, GetRValue(bg), GetGValue(bg), GetBValue(bg));
            for (int row = 0; row < h; row++) {
                const uint8_t* s8 = ink + ptrdiff_t(sy + row) * inkPitch + sx;
                uint8_t* d = dc->bits + ptrdiff_t(y + row) * dc->pitch + x;
                for (int col = 0; col < w; col++) d[col] = s8[col] ? fgi : bgi;
            }
        }
    } else {
        ok = FALSE;
    }
    if (SDL_MUSTLOCK(glyphs)) SDL_UnlockSurface(glyphs);
    SDL_FreeSurface(glyphs);
    return ok;
}
