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

// Works out the view on the surface for a scroll position: the position
// clamped as the map's drawing clamps it when a map at least the view's
// size is loaded. False when nothing can be drawn there: no surface, one
// locked or lent to a device context, or a view that does not lie inside
// it. The pixels are written directly, as a lock would give them.
inline __attribute__((always_inline)) bool SpriteBegin(LPDIRECTDRAWSURFACE dest, int mapxo, int mapyo,
                                                       SpriteTarget& t) {
    if (!dest || !dest->pixels || dest->locked || dest->dcOut) return false;
    const int vx = mapviewx, vy = mapviewy, vw = mapvieww, vh = mapviewh;
    if (vx < 0 || vy < 0 || vw < 1 || vh < 1 || vw > MAPVIEW_MAX || vh > MAPVIEW_MAX) return false;
    if (int64_t{vx} + vw > dest->width || int64_t{vy} + vh > dest->height) return false;
    if (mappt && mapblkrelpt) {
        const int maxx = mapwidth * mapblockwidth - vw, maxy = mapheight * mapblockheight - vh;
        if (maxx >= 0 && maxy >= 0) {
            mapxo = mapxo < 0 ? 0 : (mapxo > maxx ? maxx : mapxo);
            mapyo = mapyo < 0 ? 0 : (mapyo > maxy ? maxy : mapyo);
        }
    }
    t = {dest->pixels, dest->pitch, vx, vy, vx + vw, vy + vh, int64_t{vx} - mapxo, int64_t{vy} - mapyo};
    return true;
}

bool SpriteValid(const MAPSPRITE* s) { return s && s->pixels && s->width > 0 && s->height > 0 && s->pitch >= s->width; }

#if defined(__SSE2__)
// Eight source bytes (the low half of s) over eight destination bytes where
// they are not 0.
inline void Keyed8(uint8_t* dst, __m128i s) {
    const __m128i d = _mm_loadl_epi64(reinterpret_cast<__m128i*>(dst));
    const __m128i keep = _mm_cmpeq_epi8(s, _mm_setzero_si128());
    _mm_storel_epi64(reinterpret_cast<__m128i*>(dst), _mm_or_si128(_mm_and_si128(keep, d), _mm_andnot_si128(keep, s)));
}

// The eight bytes that end at `last`, in reverse order, in the low half.
inline __m128i Reversed8(const uint8_t* last) {
    __m128i s = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(last - 7));
    s = _mm_shufflelo_epi16(s, _MM_SHUFFLE(0, 1, 2, 3));
    return _mm_or_si128(_mm_slli_epi16(s, 8), _mm_srli_epi16(s, 8));
}

// Sixteen source bytes over sixteen destination bytes where they are not 0.
inline void Keyed16(uint8_t* dst, __m128i s) {
    const __m128i d = _mm_loadu_si128(reinterpret_cast<__m128i*>(dst));
    const __m128i keep = _mm_cmpeq_epi8(s, _mm_setzero_si128());
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst), _mm_or_si128(_mm_and_si128(keep, d), _mm_andnot_si128(keep, s)));
}

// The sixteen bytes that end at `last`, in reverse order: the dwords, the
// words in each, the bytes in each.
inline __m128i Reversed16(const uint8_t* last) {
    __m128i s = _mm_loadu_si128(reinterpret_cast<const __m128i*>(last - 15));
    s = _mm_shuffle_epi32(s, _MM_SHUFFLE(0, 1, 2, 3));
    s = _mm_shufflehi_epi16(_mm_shufflelo_epi16(s, _MM_SHUFFLE(2, 3, 0, 1)), _MM_SHUFFLE(2, 3, 0, 1));
    return _mm_or_si128(_mm_slli_epi16(s, 8), _mm_srli_epi16(s, 8));
}
#endif

// `rows` rows of n pixels: dst[i] = src[i] (or src[-i] mirrored) where that
// is not 0; rows `dpitch` and `step` bytes apart. Rows of 16 pixels or more
// go 16 at a time, the last 16 overlapping those before: a keyed copy
// written twice gives the same bytes; rows of 8 to 15 pixels go as two
// moves of 8 the same way, narrower ones a pixel at a time.
template <bool kMirror>
void KeyedRows(uint8_t* dst, ptrdiff_t dpitch, const uint8_t* src, ptrdiff_t step, int n, int64_t rows) {
#if defined(__SSE2__)
    if (n == 16) {  // the usual sprite, whole: one move a row
#pragma GCC unroll 4
        for (; rows > 0; rows--, dst += dpitch, src += step) {
            Keyed16(dst, kMirror ? Reversed16(src) : _mm_loadu_si128(reinterpret_cast<const __m128i*>(src)));
        }
        return;
    }
    if (n > 16) {
        for (; rows > 0; rows--, dst += dpitch, src += step) {
            for (int i = 0;; i += 16) {
                if (i > n - 16) i = n - 16;
                Keyed16(dst + i,
                        kMirror ? Reversed16(src - i) : _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i)));
                if (i == n - 16) break;
            }
        }
        return;
    }
    if (n >= 8) {  // a sprite cut by the view's edge: two moves of 8 a row
        for (; rows > 0; rows--, dst += dpitch, src += step) {
            Keyed8(dst, kMirror ? Reversed8(src) : _mm_loadl_epi64(reinterpret_cast<const __m128i*>(src)));
            Keyed8(dst + n - 8,
                   kMirror ? Reversed8(src - (n - 8)) : _mm_loadl_epi64(reinterpret_cast<const __m128i*>(src + n - 8)));
        }
        return;
    }
#endif
    for (; rows > 0; rows--, dst += dpitch, src += step) {
        for (int i = 0; i < n; i++) {
            const uint8_t v = kMirror ? src[-i] : src[i];
            if (v) dst[i] = v;
        }
    }
}

// Draws a checked sprite with its top-left at surface position (sx, sy),
// clipped to the target's rectangle.
inline __attribute__((always_inline)) void SpriteDraw(const SpriteTarget& t, const MAPSPRITE& s, int64_t sx, int64_t sy,
                                                      int flags) {
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
    if (mirror)
        KeyedRows<true>(dst, t.pitch, src, step, n, y1 - y0);
    else
        KeyedRows<false>(dst, t.pitch, src, step, n, y1 - y0);
}

}  // namespace

int MapDrawSprite(LPDIRECTDRAWSURFACE lpDDSDest, int mapxo, int mapyo, const MAPSPRITE* sprite, int x, int y,
                  int flags) {
    if (!SpriteValid(sprite) || (flags & ~(MAPSPRITE_FLIPX | MAPSPRITE_FLIPY))) return -1;
    SpriteTarget t;
    if (!SpriteBegin(lpDDSDest, mapxo, mapyo, t)) return -1;
    SpriteDraw(t, *sprite, t.ox + x, t.oy + y, flags);
    return 0;
}

int MapDrawTileObjects(LPDIRECTDRAWSURFACE lpDDSDest, int mapxo, int mapyo) {
    SpriteTarget t;
    if (!SpriteBegin(lpDDSDest, mapxo, mapyo, t)) return -1;
    for (int i = 0; i < mapnumtileobjects; i++) {
        const MapTileObject& o = maptileobjects[i];
        SpriteDraw(t, *o.sprite, t.ox + o.x, t.oy + o.y, o.flips);
    }
    return 0;
}
