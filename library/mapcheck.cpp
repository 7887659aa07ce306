// The whole-map check: after the chunk walk and before relocation, every size
// relation and every reference of the map is verified once, so that
// relocation, animation and drawing never read outside the map's data.
#include <algorithm>

#if defined(__x86_64__)
#include <immintrin.h>
#elif defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "mapinternal.h"

// Tests the animation data; on success *records is the number of animation
// records below the end record.
static int MapCheckAnimations(int* records) {
    *records = 0;
    if (!mapanimstrpt) return 0;
    const int64_t len = mapchunklen[MAPCHUNK_ANDT];
    if (len % 4) return MapReject("chunk ANDT has %lld bytes, not a multiple of 4", static_cast<long long>(len));

    int64_t endrec = len - 16;  // start of the end record
    while (endrec >= 0 && static_cast<unsigned char>(mapanimstrpt[endrec]) != 0xFF) endrec -= 16;
    if (endrec < 0) return MapReject("animation data has no end record");

    const int64_t limit = int64_t{mapnumblockstr} * 32;
    for (int64_t i = 0; i < endrec; i += 4) {
        int32_t e = MapGet32(mapanimstrpt + i);
        if (e < 0 || e >= limit || e % 32) {
            return MapReject("frame entry %lld designates no block structure (%d)", static_cast<long long>(i / 4), e);
        }
    }

    int32_t count = static_cast<int32_t>((len - endrec - 16) / 16);
    for (int32_t k = 0; k < count; k++) {
        const char* rec = mapanimstrendpt - 16 * (k + 1);
        int64_t start = len + MapGet32(rec + 8);
        int64_t end = len + MapGet32(rec + 12);
        if (start < 0 || end > endrec || start > end || start % 4 || end % 4) {
            return MapReject("animation %d has frames outside its frame list", k);
        }
        if (start == end && start == endrec) {
            return MapReject("animation %d has no frames and starts on no frame entry", k);
        }
    }
    *records = count;
    return 0;
}

static int MapCheckBlocks() {
    const int64_t limit = int64_t{mapnumblockgfx} * MapTileSize();
    for (int32_t b = 0; b < mapnumblockstr; b++) {
        const BLKSTR* blk = reinterpret_cast<const BLKSTR*>(mapblockstrpt) + b;
        const int32_t offs[4] = {blk->bgoff, blk->fgoff, blk->fgoff2, blk->fgoff3};
        for (int32_t off : offs) {
            if (off < 0 || off >= limit) {
                return MapReject("block structure %d designates no graphic (offset %d)", b, off);
            }
        }
    }
    return 0;
}

MapCellRange maplayerrange[8];

namespace {

// What a scan gathers: the smallest and largest cell (0 included), the or
// of every cell and the or of the cells of 0 and above. A valid cell has
// bits 0 to 3 clear, and a block cell bit 4 too.
struct MapScan {
    int16_t lo = 0, hi = 0;
    uint16_t any = 0, pos = 0;
};

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define VEXIL_SCAN_AVX2 1
// Sixteen cells per step, on processors that have AVX2; returns the cells done.
__attribute__((target("avx2"))) size_t MapScanAvx2(short* dst, const unsigned char* in, size_t n, MapScan& s) {
    __m256i lo = _mm256_setzero_si256(), hi = lo, any = lo, pos = lo;
    const __m256i zero = lo;
    size_t i = 0;
    for (; i + 16 <= n; i += 16) {
        const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + 2 * i));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + i), v);
        lo = _mm256_min_epi16(lo, v);
        hi = _mm256_max_epi16(hi, v);
        any = _mm256_or_si256(any, v);
        pos = _mm256_or_si256(pos, _mm256_max_epi16(v, zero));
    }
    alignas(32) int16_t lanes[4][16];
    _mm256_store_si256(reinterpret_cast<__m256i*>(lanes[0]), lo);
    _mm256_store_si256(reinterpret_cast<__m256i*>(lanes[1]), hi);
    _mm256_store_si256(reinterpret_cast<__m256i*>(lanes[2]), any);
    _mm256_store_si256(reinterpret_cast<__m256i*>(lanes[3]), pos);
    for (int k = 0; k < 16; k++) {
        s.lo = std::min(s.lo, lanes[0][k]);
        s.hi = std::max(s.hi, lanes[1][k]);
        s.any |= static_cast<uint16_t>(lanes[2][k]);
        s.pos |= static_cast<uint16_t>(lanes[3][k]);
    }
    return i;
}
#endif

}  // namespace

MapCellRange MapScanCells(short* dst, const void* src, size_t n) {
    const auto* in = static_cast<const unsigned char*>(src);
    MapScan s;
    size_t i = 0;
#ifdef VEXIL_SCAN_AVX2
    static const bool avx2 = __builtin_cpu_supports("avx2");
    if (avx2) i = MapScanAvx2(dst, in, n, s);
#endif
#ifdef __SSE2__
    __m128i lo = _mm_setzero_si128(), hi = lo, any = lo, pos = lo;
    const __m128i zero = lo;
    for (; i + 8 <= n; i += 8) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 2 * i));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), v);
        lo = _mm_min_epi16(lo, v);
        hi = _mm_max_epi16(hi, v);
        any = _mm_or_si128(any, v);
        pos = _mm_or_si128(pos, _mm_max_epi16(v, zero));
    }
    alignas(16) int16_t lanes[4][8];
    _mm_store_si128(reinterpret_cast<__m128i*>(lanes[0]), lo);
    _mm_store_si128(reinterpret_cast<__m128i*>(lanes[1]), hi);
    _mm_store_si128(reinterpret_cast<__m128i*>(lanes[2]), any);
    _mm_store_si128(reinterpret_cast<__m128i*>(lanes[3]), pos);
    for (int k = 0; k < 8; k++) {
        s.lo = std::min(s.lo, lanes[0][k]);
        s.hi = std::max(s.hi, lanes[1][k]);
        s.any |= static_cast<uint16_t>(lanes[2][k]);
        s.pos |= static_cast<uint16_t>(lanes[3][k]);
    }
#endif
    for (; i < n; i++) {
        const int16_t v = MapGet16(in + 2 * i);
        dst[i] = v;
        s.lo = std::min(s.lo, v);
        s.hi = std::max(s.hi, v);
        s.any |= static_cast<uint16_t>(v);
        s.pos |= static_cast<uint16_t>(std::max<int16_t>(v, 0));
    }
    return {s.lo, s.hi, static_cast<uint16_t>((s.any & 15) | (s.pos & 16))};
}

// Every cell of layer n must pass MapCellValid. The range gathered while
// reading decides: with no cell off the 16-grid and no block cell off the
// 32-grid, the rule holds for every cell once it holds for the largest and
// the smallest. Only a rejected layer is searched for the cell to name.
static int MapCheckLayer(int n) {
    const MapCellRange& range = maplayerrange[n];
    if (range.lowbits == 0 && MapCellValid(range.hi) && MapCellValid(range.lo)) return 0;
    const short* cells = mapmappt[n];
    for (size_t i = 0;; i++) {
        if (!MapCellValid(cells[i])) {
            return MapReject("layer %s cell (%zu, %zu) value %d designates nothing",
                             MapChunkName(static_cast<MapChunkKind>(MAPCHUNK_BODY + n)), i % mapwidth,
                             i / mapwidth, cells[i]);
        }
    }
}

int MapCheck() {
    static const MapChunkKind required[] = {MAPCHUNK_MPHD, MAPCHUNK_CMAP, MAPCHUNK_BKDT, MAPCHUNK_BGFX,
                                            MAPCHUNK_BODY};
    for (MapChunkKind kind : required) {
        if (!mapchunklen[kind]) return MapReject("chunk %s is missing", MapChunkName(kind));
    }
    if (mapwidth < 1 || mapheight < 1) return MapReject("map size %d x %d is empty", mapwidth, mapheight);
    if (mapblockwidth < 1 || mapblockwidth > 256 || mapblockheight < 1 || mapblockheight > 256) {
        return MapReject("block size %d x %d is not 1 to 256 pixels a side", mapblockwidth, mapblockheight);
    }
    if (mapdepth != 8) return MapReject("depth %d is not 8 bits", mapdepth);
    if (mapnumblockgfx < 1) return MapReject("%d block graphics, must be 1 to 32767", mapnumblockgfx);
    if (mapnumblockstr < 1 || mapchunklen[MAPCHUNK_BKDT] != uint32_t(mapnumblockstr) * 32) {
        return MapReject("chunk BKDT has %u bytes for %d block structures of 32", mapchunklen[MAPCHUNK_BKDT],
                         mapnumblockstr);
    }
    const uint32_t gfxsize = uint32_t(mapnumblockgfx) * MapTileSize();
    if (mapchunklen[MAPCHUNK_BGFX] < gfxsize) {
        return MapReject("chunk BGFX has %u bytes too few", gfxsize - mapchunklen[MAPCHUNK_BGFX]);
    }
    const uint64_t layersize = 2 * uint64_t(mapwidth) * uint64_t(mapheight);
    for (int n = 0; n < 8; n++) {
        if (!mapmappt[n]) continue;
        uint64_t len = mapchunklen[MAPCHUNK_BODY + n];
        if (len != layersize) {
            return MapReject("layer %s has %llu bytes too %s", MapChunkName(static_cast<MapChunkKind>(MAPCHUNK_BODY + n)),
                             static_cast<unsigned long long>(len < layersize ? layersize - len : len - layersize),
                             len < layersize ? "few" : "many");
        }
    }
    if (MapCheckAnimations(&mapnumanimstr) || MapCheckBlocks()) return -1;
    for (int n = 0; n < 8; n++) {
        if (mapmappt[n] && MapCheckLayer(n)) return -1;
    }
    return 0;
}
