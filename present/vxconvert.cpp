// Palette conversion of 8-bit pixels into XRGB8888: a plain loop, a portable
// 64-bit one, and an AVX-512 one taken at run time where the processor has it.
// (An AVX2 gather loop was measured slower than the plain loop and left out.)
#include "vxconvert.h"

#include <bit>
#include <cstring>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define VX_X86 1
#include <immintrin.h>
#endif

namespace {

inline const uint8_t* Row(const uint8_t* base, LONG pitch, int y) { return base + ptrdiff_t(pitch) * y; }
inline uint32_t* Row(uint32_t* base, LONG pitch, int y) {
    return reinterpret_cast<uint32_t*>(reinterpret_cast<uint8_t*>(base) + ptrdiff_t(pitch) * y);
}

void ConvertPlain(const uint8_t* src, LONG sp, uint32_t* dst, LONG dp, int w, int h, const uint32_t* t) {
    for (int y = 0; y < h; y++) {
        const uint8_t* s = Row(src, sp, y);
        uint32_t* d = Row(dst, dp, y);
        for (int x = 0; x < w; x++) d[x] = t[s[x]];
    }
}

// Eight indices come in one load and leave as four 64-bit stores, which halves
// the memory operations of the plain loop.
void ConvertWord(const uint8_t* src, LONG sp, uint32_t* dst, LONG dp, int w, int h, const uint32_t* t) {
    if constexpr (std::endian::native != std::endian::little) return ConvertPlain(src, sp, dst, dp, w, h, t);
    for (int y = 0; y < h; y++) {
        const uint8_t* s = Row(src, sp, y);
        uint32_t* d = Row(dst, dp, y);
        int x = 0;
        for (; x + 8 <= w; x += 8) {
            uint64_t v;
            std::memcpy(&v, s + x, 8);
            const uint64_t a = t[v & 255] | uint64_t(t[(v >> 8) & 255]) << 32;
            const uint64_t b = t[(v >> 16) & 255] | uint64_t(t[(v >> 24) & 255]) << 32;
            const uint64_t c = t[(v >> 32) & 255] | uint64_t(t[(v >> 40) & 255]) << 32;
            const uint64_t e = t[(v >> 48) & 255] | uint64_t(t[v >> 56]) << 32;
            std::memcpy(d + x, &a, 8);
            std::memcpy(d + x + 2, &b, 8);
            std::memcpy(d + x + 4, &c, 8);
            std::memcpy(d + x + 6, &e, 8);
        }
        for (; x < w; x++) d[x] = t[s[x]];
    }
}

#ifdef VX_X86

// One byte of every table entry: four registers of 64 bytes.
struct Plane {
    __m512i q[4];
};

// The plane's byte for each of 64 indices: bits 0..6 pick within a 128-byte
// half, bit 7 (the mask) picks the half.
__attribute__((target("avx512f,avx512bw,avx512vbmi"))) inline __m512i Look(const Plane& p, __m512i idx,
                                                                           __mmask64 high) {
    const __m512i lo = _mm512_permutex2var_epi8(p.q[0], idx, p.q[1]);
    const __m512i hi = _mm512_permutex2var_epi8(p.q[2], idx, p.q[3]);
    return _mm512_mask_blend_epi8(high, lo, hi);
}

// 64 indices to 64 pixels in four registers of 16, in order.
template <bool kSameTop>
__attribute__((target("avx512f,avx512bw,avx512vbmi"))) inline void Convert64(const Plane* plane, __m512i reorder,
                                                                             __m512i top, __m512i idx, __m512i out[4]) {
    // The zero-masking form: gcc 12 warns about the plain one's undefined source.
    idx = _mm512_maskz_permutexvar_epi8(~__mmask64(0), reorder, idx);
    const __mmask64 high = _mm512_movepi8_mask(idx);
    const __m512i b = Look(plane[0], idx, high);
    const __m512i g = Look(plane[1], idx, high);
    const __m512i r = Look(plane[2], idx, high);
    const __m512i a = kSameTop ? top : Look(plane[3], idx, high);
    const __m512i bgLo = _mm512_unpacklo_epi8(b, g), bgHi = _mm512_unpackhi_epi8(b, g);
    const __m512i raLo = _mm512_unpacklo_epi8(r, a), raHi = _mm512_unpackhi_epi8(r, a);
    out[0] = _mm512_unpacklo_epi16(bgLo, raLo);
    out[1] = _mm512_unpackhi_epi16(bgLo, raLo);
    out[2] = _mm512_unpacklo_epi16(bgHi, raHi);
    out[3] = _mm512_unpackhi_epi16(bgHi, raHi);
}

// The table is cut into its blue, green, red and top byte planes; 64 indices
// look up each plane with two byte permutes, and byte and word interleaves put
// the four bytes of each pixel back together. The interleaves work inside
// 16-byte lanes, so the indices are first reordered to make the four results
// come out as 64 consecutive pixels. The top byte plane is skipped when all
// entries share one top byte (the usual 0xFF).
template <bool kSameTop>
__attribute__((target("avx512f,avx512bw,avx512vbmi"))) void ConvertAvx512Planes(const uint8_t* src, LONG sp,
                                                                                uint32_t* dst, LONG dp, int w, int h,
                                                                                const uint8_t (*bytes)[256]) {
    Plane plane[4];
    for (int c = 0; c < 4; c++) {
        for (int k = 0; k < 4; k++) plane[c].q[k] = _mm512_loadu_si512(bytes[c] + 64 * k);
    }
    const __m512i top = _mm512_set1_epi8(char(bytes[3][0]));
    // Result register k, lane L, pixel j comes from input byte 16L + 4k + j and
    // must be pixel 16k + 4L + j.
    alignas(64) uint8_t order[64];
    for (int L = 0; L < 4; L++) {
        for (int k = 0; k < 4; k++) {
            for (int j = 0; j < 4; j++) order[16 * L + 4 * k + j] = uint8_t(16 * k + 4 * L + j);
        }
    }
    const __m512i reorder = _mm512_load_si512(order);

    for (int y = 0; y < h; y++) {
        const uint8_t* s = Row(src, sp, y);
        uint32_t* d = Row(dst, dp, y);
        int x = 0;
        __m512i out[4];
        for (; x + 64 <= w; x += 64) {
            Convert64<kSameTop>(plane, reorder, top, _mm512_loadu_si512(s + x), out);
            for (int k = 0; k < 4; k++) _mm512_storeu_si512(d + x + 16 * k, out[k]);
        }
        // The last 1..63 pixels through masked loads and stores, which touch
        // nothing past the row.
        const int n = w - x;
        if (n > 0) {
            Convert64<kSameTop>(plane, reorder, top, _mm512_maskz_loadu_epi8((__mmask64(1) << n) - 1, s + x), out);
            for (int k = 0; k < 4 && 16 * k < n; k++) {
                const int m = n - 16 * k < 16 ? n - 16 * k : 16;
                _mm512_mask_storeu_epi32(d + x + 16 * k, __mmask16((1u << m) - 1), out[k]);
            }
        }
    }
}

void ConvertAvx512(const uint8_t* src, LONG sp, uint32_t* dst, LONG dp, int w, int h, const uint32_t* t) {
    alignas(64) uint8_t bytes[4][256];
    bool sameTop = true;
    for (int i = 0; i < 256; i++) {
        for (int c = 0; c < 4; c++) bytes[c][i] = uint8_t(t[i] >> (8 * c));
        sameTop &= bytes[3][i] == bytes[3][0];
    }
    if (sameTop) {
        ConvertAvx512Planes<true>(src, sp, dst, dp, w, h, bytes);
    } else {
        ConvertAvx512Planes<false>(src, sp, dst, dp, w, h, bytes);
    }
}

#endif

typedef void (*ConvertFn)(const uint8_t*, LONG, uint32_t*, LONG, int, int, const uint32_t*);

struct PathInfo {
    const char* name;
    ConvertFn fn;
};

const PathInfo kPaths[VXCONV_COUNT] = {
    {"plain", ConvertPlain},
    {"word", ConvertWord},
#ifdef VX_X86
    {"avx512", ConvertAvx512},
#else
    {"avx512", nullptr},
#endif
};

bool Runs(VxConvertPath path) {
#ifdef VX_X86
    __builtin_cpu_init();
    if (path == VXCONV_AVX512) {
        return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
               __builtin_cpu_supports("avx512vbmi");
    }
#endif
    return path >= 0 && path < VXCONV_COUNT && kPaths[path].fn;
}

}  // namespace

const char* VxConvertName(VxConvertPath path) { return path >= 0 && path < VXCONV_COUNT ? kPaths[path].name : "?"; }

bool VxConvertAvailable(VxConvertPath path) {
    static const bool runs[VXCONV_COUNT] = {Runs(VXCONV_PLAIN), Runs(VXCONV_WORD), Runs(VXCONV_AVX512)};
    return path >= 0 && path < VXCONV_COUNT && runs[path];
}

VxConvertPath VxConvertBest() {
    static const VxConvertPath best = VxConvertAvailable(VXCONV_AVX512) ? VXCONV_AVX512 : VXCONV_WORD;
    return best;
}

void VxConvertWith(VxConvertPath path, const uint8_t* src, LONG srcPitch, uint32_t* dst, LONG dstPitch, int width,
                   int height, const uint32_t table[256]) {
    if (!src || !dst || !table || width <= 0 || height <= 0) return;
    const ConvertFn fn = VxConvertAvailable(path) ? kPaths[path].fn : ConvertPlain;
    fn(src, srcPitch, dst, dstPitch, width, height, table);
}

void VxPresentConvert(const uint8_t* src, LONG srcPitch, uint32_t* dst, LONG dstPitch, int width, int height,
                      const uint32_t table[256]) {
    VxConvertWith(VxConvertBest(), src, srcPitch, dst, dstPitch, width, height, table);
}

void VxPresentTable(const PALETTEENTRY* palette, uint32_t table[256]) {
    for (int i = 0; i < 256; i++) {
        table[i] = palette ? 0xFF000000u | uint32_t(palette[i].peRed) << 16 | uint32_t(palette[i].peGreen) << 8 |
                                 palette[i].peBlue
                           : 0xFF000000u | uint32_t(i) * 0x010101u;
    }
}
