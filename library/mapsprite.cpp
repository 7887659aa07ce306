// Sprites: 8-bit images drawn at map pixels through the view, colour key 0,
// mirrored either way, clipped. A checked entry works out the visible
// rectangle once; the row loops after it test no bounds.
#include <cstring>

#include "mapinternal.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// Where sprites may land on the locked surface: the view, inside it.
struct SpriteTarget {
    uint8_t* pixels;
    ptrdiff_t pitch;
    int x0, y0, x1, y1;  // the view's rectangle on the surface
    int64_t ox, oy;      // surface position of map pixel (0, 0)
};

// Locks the surface and works out the view for a scroll position: the
// position clamped as the map's drawing clamps it when a map at least the
// view's size is loaded. False, with the surface unlocked, when nothing can
// be drawn there.
bool SpriteBegin(LPDIRECTDRAWSURFACE dest, int mapxo, int mapyo, SpriteTarget& t) {
    if (!dest) return false;
    const int vx = mapviewx, vy = mapviewy, vw = mapvieww, vh = mapviewh;
    if (vx < 0 || vy < 0 || vw < 1 || vh < 1 || vw > MAPVIEW_MAX || vh > MAPVIEW_MAX) return false;
    DDSURFACEDESC desc{};
    desc.dwSize = sizeof desc;
    if (dest->Lock(nullptr, &desc, DDLOCK_WAIT, nullptr) != DD_OK) return false;
    if (int64_t{vx} + vw > desc.dwWidth || int64_t{vy} + vh > desc.dwHeight) {
        dest->Unlock(nullptr);
        return false;
    }
    if (mappt && mapblkrelpt) {
        const int maxx = mapwidth * mapblockwidth - vw, maxy = mapheight * mapblockheight - vh;
        if (maxx >= 0 && maxy >= 0) {
            mapxo = mapxo < 0 ? 0 : (mapxo > maxx ? maxx : mapxo);
            mapyo = mapyo < 0 ? 0 : (mapyo > maxy ? maxy : mapyo);
        }
    }
    t = {static_cast<uint8_t*>(desc.lpSurface),
         desc.lPitch,
         vx,
         vy,
         vx + vw,
         vy + vh,
         int64_t{vx} - mapxo,
         int64_t{vy} - mapyo};
    return true;
}

bool SpriteValid(const MAPSPRITE* s) { return s && s->pixels && s->width > 0 && s->height > 0 && s->pitch >= s->width; }

// dst[i] = src[i] where src[i] is not 0, for i < n.
inline void KeyedRow(uint8_t* dst, const uint8_t* src, int n) {
    int i = 0;
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    for (; i + 16 <= n; i += 16) {
        const __m128i s = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
        const __m128i d = _mm_loadu_si128(reinterpret_cast<__m128i*>(dst + i));
        const __m128i keep = _mm_cmpeq_epi8(s, zero);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i),
                         _mm_or_si128(_mm_and_si128(keep, d), _mm_andnot_si128(keep, s)));
    }
#endif
    for (; i < n; i++) {
        if (src[i]) dst[i] = src[i];
    }
}

// The same with the source read backwards: dst[i] = last[-i].
inline void KeyedRowMirrored(uint8_t* dst, const uint8_t* last, int n) {
    int i = 0;
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    for (; i + 16 <= n; i += 16) {
        __m128i s = _mm_loadu_si128(reinterpret_cast<const __m128i*>(last - i - 15));
        // Sixteen bytes reversed: the dwords, the words in each, the bytes in each.
        s = _mm_shuffle_epi32(s, _MM_SHUFFLE(0, 1, 2, 3));
        s = _mm_shufflehi_epi16(_mm_shufflelo_epi16(s, _MM_SHUFFLE(2, 3, 0, 1)), _MM_SHUFFLE(2, 3, 0, 1));
        s = _mm_or_si128(_mm_slli_epi16(s, 8), _mm_srli_epi16(s, 8));
        const __m128i d = _mm_loadu_si128(reinterpret_cast<__m128i*>(dst + i));
        const __m128i keep = _mm_cmpeq_epi8(s, zero);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i),
                         _mm_or_si128(_mm_and_si128(keep, d), _mm_andnot_si128(keep, s)));
    }
#endif
    for (; i < n; i++) {
        if (last[-i]) dst[i] = last[-i];
    }
}

// Draws a checked sprite with its top-left at surface position (sx, sy),
// clipped to the target's rectangle.
void SpriteDraw(const SpriteTarget& t, const MAPSPRITE& s, int64_t sx, int64_t sy, int flags) {
    const int64_t x0 = sx > t.x0 ? sx : t.x0, x1 = sx + s.width < t.x1 ? sx + s.width : t.x1;
    const int64_t y0 = sy > t.y0 ? sy : t.y0, y1 = sy + s.height < t.y1 ? sy + s.height : t.y1;
    if (x0 >= x1 || y0 >= y1) return;
    const int n = static_cast<int>(x1 - x0);
    const bool mirror = flags & MAPSPRITE_FLIPX;
    // The source pixel of the first drawn one, and the step between rows.
    const int64_t col = mirror ? sx + s.width - 1 - x0 : x0 - sx;
    int64_t row = y0 - sy;
    ptrdiff_t step = s.pitch;
    if (flags & MAPSPRITE_FLIPY) row = s.height - 1 - row, step = -step;
    const uint8_t* src = s.pixels + row * s.pitch + col;
    uint8_t* dst = t.pixels + y0 * t.pitch + x0;
    for (int64_t y = y0; y < y1; y++, src += step, dst += t.pitch) {
        if (mirror)
            KeyedRowMirrored(dst, src, n);
        else
            KeyedRow(dst, src, n);
    }
}

}  // namespace

int MapDrawSprite(LPDIRECTDRAWSURFACE lpDDSDest, int mapxo, int mapyo, const MAPSPRITE* sprite, int x, int y,
                  int flags) {
    if (!SpriteValid(sprite) || (flags & ~(MAPSPRITE_FLIPX | MAPSPRITE_FLIPY))) return -1;
    SpriteTarget t;
    if (!SpriteBegin(lpDDSDest, mapxo, mapyo, t)) return -1;
    SpriteDraw(t, *sprite, t.ox + x, t.oy + y, flags);
    lpDDSDest->Unlock(nullptr);
    return 0;
}

int MapDrawTileObjects(LPDIRECTDRAWSURFACE lpDDSDest, int mapxo, int mapyo) {
    SpriteTarget t;
    if (!SpriteBegin(lpDDSDest, mapxo, mapyo, t)) return -1;
    for (int i = 0; i < mapnumtileobjects; i++) {
        const MapTileObject& o = maptileobjects[i];
        SpriteDraw(t, *o.sprite, t.ox + o.x, t.oy + o.y, o.flips);
    }
    lpDDSDest->Unlock(nullptr);
    return 0;
}
