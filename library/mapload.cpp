// The two loaders: MapLoad reads a map file, MapDecode a map image in memory.
// Both parse through the format layer, make the global state show what it
// read (its buffers adopted, not copied) and end in MapRelocate.
#include <cerrno>
#include <new>

#include "mapinternal.h"

static_assert(sizeof mapreason == sizeof(MAPREASON::text));

namespace {

bool MapHolds(MapChunkKind kind) { return (mapstore.desc.held >> kind) & 1; }

// Points the global state at the stored map: the header values (when a
// header was read), the buffers of the chunks read, the palette.
void MapPublish() {
    MAPDESC& d = mapstore.desc;
    if (MapHolds(MAPCHUNK_MPHD)) {
        mapwidth = static_cast<short>(d.width);
        mapheight = static_cast<short>(d.height);
        mapblockwidth = static_cast<short>(d.blockwidth);
        mapblockheight = static_cast<short>(d.blockheight);
        mapdepth = static_cast<short>(d.depth);
        mapblockstrsize = static_cast<short>(d.blockstrsize);
        mapnumblockstr = d.header.numblockstr;
        mapnumblockgfx = d.header.numblockgfx;
    }
    mapcmappt = MapHolds(MAPCHUNK_CMAP) ? d.cmap.data() : nullptr;
    mapblockstrpt = MapHolds(MAPCHUNK_BKDT) ? reinterpret_cast<char*>(d.blocks.data()) : nullptr;
    mapblockgfxpt = MapHolds(MAPCHUNK_BGFX) ? reinterpret_cast<char*>(d.gfx.data()) : nullptr;
    std::vector<char>& andt = mapstore.andt;
    mapanimstrpt = andt.empty() ? nullptr : andt.data();
    mapanimstrendpt = andt.empty() ? nullptr : andt.data() + andt.size();
    for (int n = 0; n < 8; n++) {
        mapmappt[n] = MapHolds(MapLayerChunk(n, d.numbered)) ? d.layers[n].data() : nullptr;
    }
    mappt = mapmappt[0];
    if (mapcmappt) MapCMAPtoPE(mapcmappt, mappept);
    mapnumanimstr = static_cast<int>(d.anims.size());
    mapcellnumbers = d.numbered;
}

void MapSetReason(const MAPREASON& why) {
    maperror = why.code;
    std::memcpy(mapreason, why.text, sizeof mapreason);
}

// The global state takes over what the parse read, whether or not the map
// passed: the buffers of a rejected map stay until the next MapFreeMem.
int MapAdopt(MapParseState& st, int result, const MAPREASON& why) {
    mapstore = std::move(st);
    MapPublish();
    MapSetReason(why);
    return result ? -1 : MapRelocate();
}

// Decodes one chunk into the stored map for the per-chunk entry points.
int MapDecodeStored(MapChunkKind kind, MapInput& in, uint32_t len) {
    MAPREASON why;
    int result;
    try {
        result = MapDecodeChunk(mapstore, kind, in, len, &why);
    } catch (const std::bad_alloc&) {
        why.code = MER_OUTOFMEM;
        result = -1;
    }
    MapPublish();
    if (result) MapSetReason(why);
    return result;
}

// The chunk whose header is in mapgenheader, from mapfilept's position.
int MapDecodeFileChunk(MapChunkKind kind) {
    if (!mapfilept) return -1;
    MapInput in;
    in.file = mapfilept;
    in.endname = "file";
    const long here = std::ftell(mapfilept);
    std::fseek(mapfilept, 0, SEEK_END);
    const long size = std::ftell(mapfilept);
    std::fseek(mapfilept, here, SEEK_SET);
    const uint32_t len = Mapbyteswapl(mapgenheader.headsize);
    if (here < 0 || size < here || len > static_cast<uint64_t>(size - here)) {
        MAPREASON why;
        MapReject(&why, "chunk %.4s runs past the end of the file", &mapgenheader.id1);
        MapSetReason(why);
        return -1;
    }
    in.pos = static_cast<uint64_t>(here);
    in.end = in.pos + len;
    return MapDecodeStored(kind, in, len);
}

// A chunk in memory: `len` bytes at p.
int MapDecodeMemChunk(MapChunkKind kind, const unsigned char* p, uint32_t len) {
    MapInput in;
    in.mem = p;
    in.end = len;
    return MapDecodeStored(kind, in, len);
}

}  // namespace

int MapLoad(const char* mapname) {
    MapBeginLoad();
    if (!lpDD) return -1;  // the surfaces need a display object
    FILE* f = std::fopen(mapname, "rb");
    if (!f) {
        maperror = MER_NOOPEN;
        std::snprintf(mapreason, sizeof mapreason, "%s", std::strerror(errno));
        return -1;
    }
    MapParseState st;
    MAPREASON why;
    const int result = MapParseFile(f, st, &why);
    std::fclose(f);
    return MapAdopt(st, result, why);
}

int MapDecode(const unsigned char* mapmempt, size_t mapmemsize) {
    MapBeginLoad();
    if (!lpDD) return -1;  // the surfaces need a display object
    MapParseState st;
    MAPREASON why;
    const int result = MapParseMemory(mapmempt, mapmemsize, st, &why);
    return MapAdopt(st, result, why);
}

// --- The per-chunk entry points ------------------------------------------------------

int MapDecodeMPHD() { return MapDecodeFileChunk(MAPCHUNK_MPHD); }
int MapDecodeCMAP() { return MapDecodeFileChunk(MAPCHUNK_CMAP); }
int MapDecodeBKDT() { return MapDecodeFileChunk(MAPCHUNK_BKDT); }
int MapDecodeANDT() { return MapDecodeFileChunk(MAPCHUNK_ANDT); }
int MapDecodeBGFX() { return MapDecodeFileChunk(MAPCHUNK_BGFX); }
int MapDecodeBODY() { return MapDecodeFileChunk(MAPCHUNK_BODY); }
int MapDecodeLYR1() { return MapDecodeFileChunk(MAPCHUNK_LYR1); }
int MapDecodeLYR2() { return MapDecodeFileChunk(static_cast<MapChunkKind>(MAPCHUNK_LYR1 + 1)); }
int MapDecodeLYR3() { return MapDecodeFileChunk(static_cast<MapChunkKind>(MAPCHUNK_LYR1 + 2)); }
int MapDecodeLYR4() { return MapDecodeFileChunk(static_cast<MapChunkKind>(MAPCHUNK_LYR1 + 3)); }
int MapDecodeLYR5() { return MapDecodeFileChunk(static_cast<MapChunkKind>(MAPCHUNK_LYR1 + 4)); }
int MapDecodeLYR6() { return MapDecodeFileChunk(static_cast<MapChunkKind>(MAPCHUNK_LYR1 + 5)); }
int MapDecodeLYR7() { return MapDecodeFileChunk(static_cast<MapChunkKind>(MAPCHUNK_LYR1 + 6)); }
int MapDecodeNULL() { return MapDecodeFileChunk(MAPCHUNK_NULL); }

int MapMemDecodeMPHD(const unsigned char* mapmempt) { return MapDecodeMemChunk(MAPCHUNK_MPHD, mapmempt, sizeof(MPHD)); }

int MapMemDecodeCMAP(const unsigned char* cmppt) { return MapDecodeMemChunk(MAPCHUNK_CMAP, cmppt, 768); }

int MapMemDecodeBKDT(const unsigned char* mapmempt) {
    return MapDecodeMemChunk(MAPCHUNK_BKDT, mapmempt + 4, MapGetLength(mapmempt));
}

int MapMemDecodeANDT(const unsigned char* mapmempt) {
    return MapDecodeMemChunk(MAPCHUNK_ANDT, mapmempt + 4, MapGetLength(mapmempt));
}

int MapMemDecodeBGFX(const unsigned char* mapmempt) {
    return MapDecodeMemChunk(MAPCHUNK_BGFX, mapmempt + 4, MapGetLength(mapmempt));
}

int MapMemDecodeLYR(const unsigned char* mapmempt, int maplayernum) {
    if (maplayernum < 0 || maplayernum > 7) {
        MAPREASON why;
        MapReject(&why, "layer %d is not 0 to 7", maplayernum);
        MapSetReason(why);
        return -1;
    }
    const MapChunkKind kind = static_cast<MapChunkKind>(MAPCHUNK_BODY + maplayernum);
    return MapDecodeMemChunk(kind, mapmempt + 4, MapGetLength(mapmempt));
}

int MapMemDecodeBODY(const unsigned char* mapmempt) { return MapMemDecodeLYR(mapmempt, 0); }
