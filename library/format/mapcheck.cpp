// The whole-map check: after the chunk walk and before relocation, every size
// relation and every reference of the map is verified once, so that
// relocation, animation and drawing never read outside the map's data.
#include <algorithm>

#if defined(__x86_64__)
#include <immintrin.h>
#elif defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "mapparse.h"

namespace {

unsigned long long ULL(uint64_t v) { return static_cast<unsigned long long>(v); }

// Tests the animation data as stored and reads it into the description: the
// frame list, and the records from the end record up, with a current frame
// outside an animation's own frames taken as its first.
int MapCheckAnimations(MapParseState& st, MAPREASON* why) {
    if (!st.len[MAPCHUNK_ANDT]) return 0;
    const char* const data = st.andt.data();
    const int64_t len = st.len[MAPCHUNK_ANDT];
    if (len % 4) return MapReject(why, "chunk ANDT has %lld bytes, not a multiple of 4", static_cast<long long>(len));

    int64_t endrec = len - 16;  // start of the end record
    while (endrec >= 0 && static_cast<unsigned char>(data[endrec]) != 0xFF) endrec -= 16;
    if (endrec < 0) return MapReject(why, "animation data has no end record");

    const int64_t limit = int64_t{st.desc.header.numblockstr} * 32;
    for (int64_t i = 0; i < endrec; i += 4) {
        int32_t e = MapGet32(data + i);
        if (e < 0 || e >= limit || e % 32) {
            return MapReject(why, "frame entry %lld designates no block structure (%d)", static_cast<long long>(i / 4),
                             e);
        }
    }

    const int32_t count = static_cast<int32_t>((len - endrec - 16) / 16);
    std::vector<MAPANIMDESC> anims(static_cast<size_t>(count));
    for (int32_t k = 0; k < count; k++) {
        const char* rec = data + len - 16 * (k + 1);
        const int64_t start = len + MapGet32(rec + 8), end = len + MapGet32(rec + 12), cur = len + MapGet32(rec + 4);
        if (start < 0 || end > endrec || start > end || start % 4 || end % 4) {
            return MapReject(why, "animation %d has frames outside its frame list", k);
        }
        if (start == end && start == endrec) {
            return MapReject(why, "animation %d has no frames and starts on no frame entry", k);
        }
        MAPANIMDESC& a = anims[static_cast<size_t>(k)];
        a.antype = static_cast<signed char>(rec[0]);
        a.andelay = static_cast<signed char>(rec[1]);
        a.ancount = static_cast<signed char>(rec[2]);
        a.anuser = static_cast<signed char>(rec[3]);
        a.start = static_cast<int>(start / 4);
        a.end = static_cast<int>(end / 4);
        a.cur = cur >= start && cur < end && (cur - start) % 4 == 0 ? static_cast<int>(cur / 4) : a.start;
    }
    MAPDESC& d = st.desc;
    d.frames.resize(static_cast<size_t>(endrec / 4));
    if (endrec) std::memcpy(d.frames.data(), data, static_cast<size_t>(endrec));
    d.anims = std::move(anims);
    d.held |= 1u << MAPCHUNK_ANDT;
    return 0;
}

int MapCheckBlocks(const MapParseState& st, MAPREASON* why) {
    const MAPDESC& d = st.desc;
    const int64_t limit = int64_t{st.desc.header.numblockgfx} * MapTileBytes(d.blockwidth, d.blockheight, d.depth);
    for (size_t b = 0; b < d.blocks.size(); b++) {
        const BLKSTR& blk = d.blocks[b];
        for (int32_t off : {blk.bgoff, blk.fgoff, blk.fgoff2, blk.fgoff3}) {
            if (off < 0 || off >= limit) {
                return MapReject(why, "block structure %zu designates no graphic (offset %d)", b, off);
            }
        }
    }
    return 0;
}

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

namespace {

// Every cell of layer n must pass MapCellValidFor. The range gathered while
// reading decides: with no cell off the 16-grid and no block cell off the
// 32-grid (numbered cells have no grid), the rule holds for every cell once
// it holds for the largest and the smallest. Only a rejected layer is
// searched for the cell to name.
int MapCheckLayer(const MapParseState& st, int n, MAPREASON* why) {
    const MapCellRange& range = st.range[n];
    const bool numbered = st.desc.numbered;
    const int32_t blocks = st.desc.header.numblockstr, anims = static_cast<int32_t>(st.desc.anims.size());
    const auto valid = [&](int32_t v) { return MapCellValidFor(v, blocks, anims, numbered); };
    if ((numbered || range.lowbits == 0) && valid(range.hi) && valid(range.lo)) return 0;
    const std::vector<int16_t>& cells = st.desc.layers[n];
    const size_t width = static_cast<size_t>(st.desc.width);
    for (size_t i = 0;; i++) {
        if (!valid(cells[i])) {
            return MapReject(why, "layer %s cell (%zu, %zu) value %d designates nothing",
                             MapChunkName(MapLayerChunk(n, numbered)), i % width, i / width, cells[i]);
        }
    }
}

}  // namespace

int MapCheck(MapParseState& st, MAPREASON* why) {
    static const MapChunkKind required[] = {MAPCHUNK_MPHD, MAPCHUNK_CMAP, MAPCHUNK_BKDT, MAPCHUNK_BGFX};
    for (MapChunkKind kind : required) {
        if (!st.len[kind]) return MapReject(why, "chunk %s is missing", MapChunkName(kind));
    }
    // The layers: one encoding, and the BODY layer in it.
    MAPDESC& d = st.desc;
    int offsets = -1, numbers = -1;  // a layer met in each encoding
    for (int n = 0; n < 8; n++) {
        if (st.len[MapLayerChunk(n, false)]) offsets = n;
        if (st.len[MapLayerChunk(n, true)]) numbers = n;
    }
    if (offsets >= 0 && numbers >= 0) {
        return MapReject(why, "chunks %s and %s hold cells in two encodings",
                         MapChunkName(MapLayerChunk(offsets, false)), MapChunkName(MapLayerChunk(numbers, true)));
    }
    const MapChunkKind body = MapLayerChunk(0, d.numbered);
    if (!st.len[body]) return MapReject(why, "chunk %s is missing", MapChunkName(body));
    if (d.width < 1 || d.height < 1) return MapReject(why, "map size %d x %d is empty", d.width, d.height);
    if (d.blockwidth < 1 || d.blockwidth > 256 || d.blockheight < 1 || d.blockheight > 256) {
        return MapReject(why, "block size %d x %d is not 1 to 256 pixels a side", d.blockwidth, d.blockheight);
    }
    if (d.depth != 8) return MapReject(why, "depth %d is not 8 bits", d.depth);
    const int32_t nstr = d.header.numblockstr, ngfx = d.header.numblockgfx;
    if (ngfx < 1) return MapReject(why, "%d block graphics, must be 1 to 32767", ngfx);
    const uint32_t bkdt = st.len[MAPCHUNK_BKDT];
    if (nstr < 1 || bkdt != uint32_t(nstr) * 32) {
        return MapReject(why, "chunk BKDT has %u bytes for %d block structures of 32", bkdt, nstr);
    }
    const uint32_t gfxsize = uint32_t(ngfx) * MapTileBytes(d.blockwidth, d.blockheight, d.depth);
    if (st.len[MAPCHUNK_BGFX] < gfxsize) {
        return MapReject(why, "chunk BGFX has %u bytes too few", gfxsize - st.len[MAPCHUNK_BGFX]);
    }
    const uint64_t layersize = 2 * uint64_t(d.width) * uint64_t(d.height);
    for (int n = 0; n < 8; n++) {
        const MapChunkKind kind = MapLayerChunk(n, d.numbered);
        const uint64_t len = st.len[kind];
        if (len && len != layersize) {
            return MapReject(why, "layer %s has %llu bytes too %s", MapChunkName(kind),
                             ULL(len < layersize ? layersize - len : len - layersize),
                             len < layersize ? "few" : "many");
        }
    }
    if (MapCheckAnimations(st, why) || MapCheckBlocks(st, why)) return -1;
    for (int n = 0; n < 8; n++) {
        if (st.len[MapLayerChunk(n, d.numbered)] && MapCheckLayer(st, n, why)) return -1;
    }
    // Tile objects show sprite images the map has.
    for (const MAPOBJLAYERDESC& l : d.objlayers) {
        for (const MAPOBJDESC& o : l.objects) {
            if (o.sprite >= static_cast<int32_t>(d.sprites.size())) {
                return MapReject(why, "object %d shows sprite image %d of %zu", o.id, o.sprite, d.sprites.size());
            }
        }
    }
    if (st.len[MAPCHUNK_OTPL] && MapDecodeTemplates(st.otpl.data(), st.otpl.size(), d, why)) return -1;
    d.gfx.resize(gfxsize);  // the graphics the header counts; the rest is never drawn
    return 0;
}
