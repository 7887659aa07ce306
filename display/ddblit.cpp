// Row blitters: opaque and colour-keyed copies of 8-bit pixel blocks, and the
// run blits that draw a row of same-size blocks with them.
#include "ddblit.h"

#include <cstddef>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// Where a keyed blend is repeated over pixels it already wrote (the
// overlapping last chunk of a row), it writes the same values again: a
// source byte equal to the key keeps the destination, any other byte is
// stored once more. So rows of any width >= the chunk size need no scalar tail.

inline void KeyedRowScalar(uint8_t* d, const uint8_t* s, int w, uint8_t key) {
    for (int i = 0; i < w; ++i) {
        if (s[i] != key) d[i] = s[i];
    }
}

// Copies w bytes, sizeof(T) <= w <= 2 * sizeof(T), as two moves of T that
// overlap where w is below 2 * sizeof(T).
template <class T>
inline void Move2(uint8_t* d, const uint8_t* s, int w) {
    T a, b;
    std::memcpy(&a, s, sizeof a);
    std::memcpy(&b, s + w - sizeof b, sizeof b);
    std::memcpy(d, &a, sizeof a);
    std::memcpy(d + w - sizeof b, &b, sizeof b);
}

inline void BlendSwar8(uint8_t* d, const uint8_t* s, uint64_t keys) {
    constexpr uint64_t kLow7 = 0x7F7F7F7F7F7F7F7FULL;
    constexpr uint64_t kHigh = 0x8080808080808080ULL;
    uint64_t sv, dv;
    std::memcpy(&sv, s, 8);
    std::memcpy(&dv, d, 8);
    const uint64_t x = sv ^ keys;
    // High bit of each byte set exactly where that byte of x is nonzero; the
    // addition cannot carry between bytes.
    const uint64_t differs = (((x & kLow7) + kLow7) | x) & kHigh;
    const uint64_t take = (differs >> 7) * 0xFF;
    dv = (sv & take) | (dv & ~take);
    std::memcpy(d, &dv, 8);
}

#if defined(__SSE2__)
// dv where keep is set, sv elsewhere: three operations and no copy.
inline __m128i Select(__m128i keep, __m128i dv, __m128i sv) {
    return _mm_xor_si128(_mm_and_si128(_mm_xor_si128(dv, sv), keep), sv);
}

inline void Blend16(uint8_t* d, const uint8_t* s, __m128i keys) {
    const __m128i sv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
    const __m128i dv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d), Select(_mm_cmpeq_epi8(sv, keys), dv, sv));
}

inline void Blend4(uint8_t* d, const uint8_t* s, __m128i keys) {
    int32_t s4, d4;
    std::memcpy(&s4, s, 4);
    std::memcpy(&d4, d, 4);
    const __m128i sv = _mm_cvtsi32_si128(s4);
    const __m128i dv = _mm_cvtsi32_si128(d4);
    d4 = _mm_cvtsi128_si32(Select(_mm_cmpeq_epi8(sv, keys), dv, sv));
    std::memcpy(d, &d4, 4);
}

// Two rows of 8 at once from a source whose rows are contiguous (pitch 8):
// one 16-byte compare-and-blend, the destination rows loaded and stored as
// the low and high halves.
inline void Blend8x2(uint8_t* d0, uint8_t* d1, const uint8_t* s, __m128i keys) {
    const __m128i sv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
    const __m128 lo = _mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(d0)));
    const __m128i dv = _mm_castps_si128(_mm_loadh_pi(lo, reinterpret_cast<const __m64*>(d1)));
    const __m128i out = Select(_mm_cmpeq_epi8(sv, keys), dv, sv);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(d0), out);
    _mm_storeh_pi(reinterpret_cast<__m64*>(d1), _mm_castsi128_ps(out));
}

inline void Blend8(uint8_t* d, const uint8_t* s, __m128i keys) {
    const __m128i sv = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(s));
    const __m128i dv = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(d));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(d), Select(_mm_cmpeq_epi8(sv, keys), dv, sv));
}
#endif

// Copies a row of 16 <= w bytes as 16-byte moves, the last one overlapping
// the one before where w is not a multiple of 16.
inline void MoveRow16(uint8_t* d, const uint8_t* s, int w) {
    int i = 0;
    for (; i + 16 <= w; i += 16) std::memcpy(d + i, s + i, 16);
    if (i < w) std::memcpy(d + w - 16, s + w - 16, 16);
}

// Rows wider than 64 pixels, by the library's memcpy; out of line, so that
// the whole-tile paths need no saved registers.
[[gnu::noinline]] void MoveRowsLong(uint8_t* dst, int32_t dstPitch, const uint8_t* src, int32_t srcPitch, int w,
                                    int h) {
    for (; h > 0; --h, dst += dstPitch, src += srcPitch) std::memcpy(dst, src, size_t(w));
}

// Whole tiles of the sizes maps use most, each row one fixed-size move.
template <int W, int H>
inline void OpaqueTile(uint8_t* dst, ptrdiff_t dstPitch, const uint8_t* src, ptrdiff_t srcPitch) {
#pragma GCC unroll 16
    for (int y = 0; y < H; ++y) std::memcpy(dst + y * dstPitch, src + y * srcPitch, W);
}

#if defined(__SSE2__)
inline void KeyedTile16(uint8_t* dst, ptrdiff_t dstPitch, const uint8_t* src, ptrdiff_t srcPitch, __m128i keys) {
#pragma GCC unroll 16
    for (int y = 0; y < 16; ++y) Blend16(dst + y * dstPitch, src + y * srcPitch, keys);
}

// A map's graphics lie row after row (pitch 8), so two rows are one 16-byte load.
inline void KeyedTile8(uint8_t* dst, ptrdiff_t dstPitch, const uint8_t* src, ptrdiff_t srcPitch, __m128i keys) {
    if (srcPitch == 8) {
#pragma GCC unroll 4
        for (int y = 0; y < 8; y += 2) Blend8x2(dst + y * dstPitch, dst + (y + 1) * dstPitch, src + y * 8, keys);
    } else {
#pragma GCC unroll 8
        for (int y = 0; y < 8; ++y) Blend8(dst + y * dstPitch, src + y * srcPitch, keys);
    }
}

inline void OpaqueTile8Packed(uint8_t* dst, ptrdiff_t dstPitch, const uint8_t* src) {
#pragma GCC unroll 4
    for (int y = 0; y < 8; y += 2, dst += 2 * dstPitch) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 8 * y));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(dst), v);
        _mm_storeh_pi(reinterpret_cast<__m64*>(dst + dstPitch), _mm_castsi128_ps(v));
    }
}
#endif

}  // namespace

// Rows are copied with at most two overlapping moves of the widest size that
// fits, or with 16-byte moves, chosen once per block: whole tiles of any
// width up to 64 and edge blocks of 1 to 15 pixels cost no library call per row.
void DDBlitOpaque(uint8_t* dst, int32_t dstPitch, const uint8_t* src, int32_t srcPitch, int w, int h) {
    if (w == 16 && h == 16) {  // a whole 16 x 16 tile: the interior of the default frame
        OpaqueTile<16, 16>(dst, dstPitch, src, srcPitch);
    } else if (w == 16) {
        for (; h > 0; --h, dst += dstPitch, src += srcPitch) std::memcpy(dst, src, 16);
    } else if (w == 32) {
        for (; h > 0; --h, dst += dstPitch, src += srcPitch) std::memcpy(dst, src, 32);
    } else if (w == 8 && h == 8) {
        OpaqueTile<8, 8>(dst, dstPitch, src, srcPitch);
    } else if (w == 8) {
        for (; h > 0; --h, dst += dstPitch, src += srcPitch) std::memcpy(dst, src, 8);
    } else if (w > 64) {
        MoveRowsLong(dst, dstPitch, src, srcPitch, w, h);
    } else if (w > 16) {
        for (; h > 0; --h, dst += dstPitch, src += srcPitch) MoveRow16(dst, src, w);
    } else if (w >= 8) {
        for (; h > 0; --h, dst += dstPitch, src += srcPitch) Move2<uint64_t>(dst, src, w);
    } else if (w >= 4) {
        for (; h > 0; --h, dst += dstPitch, src += srcPitch) Move2<uint32_t>(dst, src, w);
    } else if (w >= 2) {
        for (; h > 0; --h, dst += dstPitch, src += srcPitch) Move2<uint16_t>(dst, src, w);
    } else {
        for (; h > 0; --h, dst += dstPitch, src += srcPitch) *dst = *src;
    }
}

void DDBlitKeyedPortable(uint8_t* dst, int32_t dstPitch, const uint8_t* src, int32_t srcPitch, int w, int h,
                         uint8_t key) {
    for (; h > 0; --h, dst += dstPitch, src += srcPitch) KeyedRowScalar(dst, src, w, key);
}

void DDBlitKeyedSwar(uint8_t* dst, int32_t dstPitch, const uint8_t* src, int32_t srcPitch, int w, int h, uint8_t key) {
    if (w < 8) {
        DDBlitKeyedPortable(dst, dstPitch, src, srcPitch, w, h, key);
        return;
    }
    const uint64_t keys = key * 0x0101010101010101ULL;
    for (; h > 0; --h, dst += dstPitch, src += srcPitch) {
        int i = 0;
        for (; i + 8 <= w; i += 8) BlendSwar8(dst + i, src + i, keys);
        if (i < w) BlendSwar8(dst + w - 8, src + w - 8, keys);
    }
}

void DDBlitKeyedFast(uint8_t* dst, int32_t dstPitch, const uint8_t* src, int32_t srcPitch, int w, int h, uint8_t key) {
#if defined(__SSE2__)
    const __m128i keys = _mm_set1_epi8(static_cast<char>(key));
    if (w == 16 && h == 16) {
        KeyedTile16(dst, dstPitch, src, srcPitch, keys);
        return;
    }
    if (w == 16) {
        for (; h > 0; --h, dst += dstPitch, src += srcPitch) Blend16(dst, src, keys);
        return;
    }
    if (w == 32) {
        for (; h > 0; --h, dst += dstPitch, src += srcPitch) {
            Blend16(dst, src, keys);
            Blend16(dst + 16, src + 16, keys);
        }
        return;
    }
    if (w > 16) {
        for (; h > 0; --h, dst += dstPitch, src += srcPitch) {
            int i = 0;
            for (; i + 16 <= w; i += 16) Blend16(dst + i, src + i, keys);
            if (i < w) Blend16(dst + w - 16, src + w - 16, keys);
        }
        return;
    }
    if (w == 8 && h == 8) {
        KeyedTile8(dst, dstPitch, src, srcPitch, keys);
        return;
    }
    if (w == 8) {
        for (; h > 0; --h, dst += dstPitch, src += srcPitch) Blend8(dst, src, keys);
        return;
    }
    if (w >= 8) {
        for (; h > 0; --h, dst += dstPitch, src += srcPitch) {
            Blend8(dst, src, keys);
            Blend8(dst + w - 8, src + w - 8, keys);
        }
        return;
    }
    if (w >= 4) {
        for (; h > 0; --h, dst += dstPitch, src += srcPitch) {
            Blend4(dst, src, keys);
            Blend4(dst + w - 4, src + w - 4, keys);
        }
        return;
    }
    DDBlitKeyedPortable(dst, dstPitch, src, srcPitch, w, h, key);
#else
    DDBlitKeyedSwar(dst, dstPitch, src, srcPitch, w, h, key);
#endif
}

namespace {

// BltFast for one blit of a run that failed a check here: it reports the
// failure, or copies within one surface where the rectangles do not overlap.
[[gnu::noinline, gnu::cold]] void RunBlitAlone(IDirectDrawSurface* dest, DWORD y, const RECT& rect,
                                               const DDRunBlit& b) {
    RECT copy = rect;
    dest->BltFast(b.x, y, b.src, &copy, b.flags);
}

// The run's blits, each drawn by blit(d, dstPitch, sp, src, keyed). The
// run's rectangle and row are checked by the caller; each blit checks what
// differs between sources and leaves one that fails, or that copies within
// one surface, to BltFast.
template <class Blit>
[[gnu::noinline]] void RunBlits(IDirectDrawSurface* dest, DWORD y, const RECT& rect, const DDRunBlit* run, int n,
                                DWORD w, Blit blit) {
    const ptrdiff_t top = rect.top, left = rect.left;
    const DWORD right = DWORD(rect.right), bottom = DWORD(rect.bottom);
    uint8_t* const row = dest->pixels + ptrdiff_t(y) * dest->pitch;
    const ptrdiff_t dstPitch = dest->pitch;
    const DWORD xmax = DWORD(dest->width) - w;
    const DDRunBlit* const end = run + n;
    for (const DDRunBlit* b = run; b != end; ++b) {
        const IDirectDrawSurface* s = b->src;
        const DWORD x = b->x;
        if (!s || x > xmax || right > DWORD(s->width) || bottom > DWORD(s->height) || s == dest) [[unlikely]] {
            RunBlitAlone(dest, y, rect, *b);
            continue;
        }
        const bool keyed = b->flags & DWORD(s->hasColorKey) & DDBLTFAST_SRCCOLORKEY;
        blit(row + x, dstPitch, s->pixels + top * s->pitch + left, s, keyed);
    }
}

}  // namespace

void DDBlitRun(IDirectDrawSurface* dest, DWORD y, const RECT& r, const DDRunBlit* run, int n) {
    const DWORD w = DWORD(r.right) - DWORD(r.left), h = DWORD(r.bottom) - DWORD(r.top);
    if (DWORD(r.left) >= DWORD(r.right) || DWORD(r.top) >= DWORD(r.bottom) || w > DWORD(dest->width) ||
        y > DWORD(dest->height) || h > DWORD(dest->height) - y) {
        RECT copy = r;
        for (int k = 0; k < n; ++k) dest->BltFast(run[k].x, y, run[k].src, &copy, run[k].flags);
        return;
    }
    using Src = const IDirectDrawSurface*;
#if defined(__SSE2__)
    if (w == 8 && h == 8) {
        RunBlits(dest, y, r, run, n, w, [](uint8_t* d, ptrdiff_t dp, const uint8_t* sp, Src s, bool keyed) {
            if (keyed)
                KeyedTile8(d, dp, sp, s->pitch, _mm_set1_epi8(static_cast<char>(s->colorKey)));
            else if (s->pitch == 8)
                OpaqueTile8Packed(d, dp, sp);
            else
                OpaqueTile<8, 8>(d, dp, sp, s->pitch);
        });
        return;
    }
    if (w == 16 && h == 16) {
        RunBlits(dest, y, r, run, n, w, [](uint8_t* d, ptrdiff_t dp, const uint8_t* sp, Src s, bool keyed) {
            if (keyed)
                KeyedTile16(d, dp, sp, s->pitch, _mm_set1_epi8(static_cast<char>(s->colorKey)));
            else
                OpaqueTile<16, 16>(d, dp, sp, s->pitch);
        });
        return;
    }
#endif
    const int wi = int(w), hi = int(h);
    RunBlits(dest, y, r, run, n, w, [wi, hi](uint8_t* d, ptrdiff_t dp, const uint8_t* sp, Src s, bool keyed) {
        if (keyed)
            DDBlitKeyedFast(d, int32_t(dp), sp, s->pitch, wi, hi, s->colorKey);
        else
            DDBlitOpaque(d, int32_t(dp), sp, s->pitch, wi, hi);
    });
}
