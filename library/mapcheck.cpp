// The whole-map check: after the chunk walk and before relocation, every size
// relation and every reference of the map is verified once, so that
// relocation, animation and drawing never read outside the map's data.
#include <algorithm>

#ifdef __SSE2__
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

MapCellRange MapScanCells(short* dst, const void* src, size_t n) {
    const auto* in = static_cast<const unsigned char*>(src);
    int16_t lo = 0, hi = 0;
    uint16_t lowbits = 0;
    size_t i = 0;
#ifdef __SSE2__
    __m128i vlo = _mm_setzero_si128(), vhi = _mm_setzero_si128(), vbits = _mm_setzero_si128();
    const __m128i m15 = _mm_set1_epi16(15), m16 = _mm_set1_epi16(16);
    for (; i + 8 <= n; i += 8) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 2 * i));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), v);
        vlo = _mm_min_epi16(vlo, v);
        vhi = _mm_max_epi16(vhi, v);
        __m128i b16 = _mm_andnot_si128(_mm_srai_epi16(v, 15), _mm_and_si128(v, m16));
        vbits = _mm_or_si128(vbits, _mm_or_si128(_mm_and_si128(v, m15), b16));
    }
    alignas(16) int16_t lanes[3][8];
    _mm_store_si128(reinterpret_cast<__m128i*>(lanes[0]), vlo);
    _mm_store_si128(reinterpret_cast<__m128i*>(lanes[1]), vhi);
    _mm_store_si128(reinterpret_cast<__m128i*>(lanes[2]), vbits);
    for (int k = 0; k < 8; k++) {
        lo = std::min(lo, lanes[0][k]);
        hi = std::max(hi, lanes[1][k]);
        lowbits |= static_cast<uint16_t>(lanes[2][k]);
    }
#endif
    for (; i < n; i++) {
        int16_t v = MapGet16(in + 2 * i);
        dst[i] = v;
        lo = std::min(lo, v);
        hi = std::max(hi, v);
        lowbits |= static_cast<uint16_t>(v & 15) | static_cast<uint16_t>(v & 16 & ~(v >> 15));
    }
    return {lo, hi, lowbits};
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
