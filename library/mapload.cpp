// The two loaders: MapLoad reads a map file, MapDecode a map image in memory.
// Both walk the chunks into heap buffers (stored form), check the whole map
// and end in MapRelocate.
#include <cerrno>
#include <cstdlib>

#include "mapinternal.h"

static const char kChunkIds[MAPCHUNK_NULL][5] = {"MPHD", "CMAP", "BKDT", "ANDT", "BGFX",
                                                 "BODY", "LYR1", "LYR2", "LYR3", "LYR4",
                                                 "LYR5", "LYR6", "LYR7"};

MapChunkKind MapChunkKindOf(const char* id) {
    for (int k = 0; k < MAPCHUNK_NULL; k++) {
        if (std::memcmp(id, kChunkIds[k], 4) == 0) return static_cast<MapChunkKind>(k);
    }
    return MAPCHUNK_NULL;
}

const char* MapChunkName(MapChunkKind kind) {
    return kind < MAPCHUNK_NULL ? kChunkIds[kind] : "unknown";
}

int MapCheckChunk(MapChunkKind kind, uint32_t len) {
    if (kind == MAPCHUNK_NULL) return 0;
    if (len == 0) return MapReject("chunk %s is empty", MapChunkName(kind));
    if (kind == MAPCHUNK_MPHD && len < sizeof(MPHD)) {
        return MapReject("chunk MPHD has %u bytes, needs 24", len);
    }
    if (kind == MAPCHUNK_CMAP && len < 768) {
        return MapReject("chunk CMAP has %u bytes, needs 768", len);
    }
    mapchunklen[kind] = len;
    return 0;
}

// Copies the eight header values out of an MPHD record.
static void MapTakeHeader(const unsigned char* p) {
    mapwidth = MapGet16(p + 4);
    mapheight = MapGet16(p + 6);
    mapblockwidth = MapGet16(p + 12);
    mapblockheight = MapGet16(p + 14);
    mapdepth = MapGet16(p + 16);
    mapblockstrsize = MapGet16(p + 18);
    mapnumblockstr = MapGet16(p + 20);
    mapnumblockgfx = MapGet16(p + 22);
}

// Replaces the buffer in *slot with a new one of len bytes; null (maperror 1)
// when the heap has none.
static char* MapNewBuffer(char** slot, uint32_t len) {
    std::free(*slot);
    *slot = static_cast<char*>(std::malloc(len));
    if (!*slot) maperror = MER_OUTOFMEM;
    return *slot;
}

// --- File loader ------------------------------------------------------------------

static uint32_t MapChunkLength() { return Mapbyteswapl(mapgenheader.headsize); }

// Reads the current chunk's data into a new buffer that replaces *slot.
static int MapReadChunk(char** slot) {
    uint32_t len = MapChunkLength();
    char* buf = MapNewBuffer(slot, len);
    if (!buf) return -1;
    if (std::fread(buf, len, 1, mapfilept) != 1) {
        return MapReject("chunk %.4s is cut short by the end of the file", &mapgenheader.id1);
    }
    return 0;
}

int MapDecodeMPHD() {
    unsigned char hd[sizeof(MPHD)];
    if (std::fread(hd, sizeof hd, 1, mapfilept) != 1) return MapReject("chunk MPHD is cut short");
    std::fseek(mapfilept, static_cast<long>(MapChunkLength() - sizeof hd), SEEK_CUR);
    MapTakeHeader(hd);
    return 0;
}

int MapDecodeCMAP() {
    if (MapReadChunk(reinterpret_cast<char**>(&mapcmappt))) return -1;
    MapCMAPtoPE(mapcmappt, mappept);
    return 0;
}

int MapDecodeBKDT() { return MapReadChunk(&mapblockstrpt); }

int MapDecodeANDT() {
    int result = MapReadChunk(&mapanimstrpt);
    mapanimstrendpt = mapanimstrpt ? mapanimstrpt + MapChunkLength() : nullptr;
    return result;
}

int MapDecodeBGFX() { return MapReadChunk(&mapblockgfxpt); }

static int MapDecodeLayer(int n) {
    if (MapReadChunk(reinterpret_cast<char**>(&mapmappt[n]))) return -1;
    maplayerrange[n] = MapScanCells(mapmappt[n], mapmappt[n], MapChunkLength() / 2);
    return 0;
}

int MapDecodeBODY() {
    int result = MapDecodeLayer(0);
    mappt = mapmappt[0];
    return result;
}

int MapDecodeLYR1() { return MapDecodeLayer(1); }
int MapDecodeLYR2() { return MapDecodeLayer(2); }
int MapDecodeLYR3() { return MapDecodeLayer(3); }
int MapDecodeLYR4() { return MapDecodeLayer(4); }
int MapDecodeLYR5() { return MapDecodeLayer(5); }
int MapDecodeLYR6() { return MapDecodeLayer(6); }
int MapDecodeLYR7() { return MapDecodeLayer(7); }

// Skips an unrecognised chunk.
int MapDecodeNULL() {
    std::fseek(mapfilept, static_cast<long>(MapChunkLength()), SEEK_CUR);
    return 0;
}

static int (*const kFileDecoders[MAPCHUNK_KINDS])() = {
    MapDecodeMPHD, MapDecodeCMAP, MapDecodeBKDT, MapDecodeANDT, MapDecodeBGFX,
    MapDecodeBODY, MapDecodeLYR1, MapDecodeLYR2, MapDecodeLYR3, MapDecodeLYR4,
    MapDecodeLYR5, MapDecodeLYR6, MapDecodeLYR7, MapDecodeNULL};

// Header tests and chunk walk of MapLoad; the file is open and is closed by
// the caller.
static int MapLoadChunks() {
    std::fseek(mapfilept, 0, SEEK_END);
    long filesize = std::ftell(mapfilept);
    std::fseek(mapfilept, 0, SEEK_SET);

    if (std::fread(&mapgenheader, 1, 8, mapfilept) != 8) {
        // A directory opens but cannot be read: the system says so.
        if (std::ferror(mapfilept)) return MapReject("cannot read the file: %s", std::strerror(errno));
        return MapReject("file is shorter than its header");
    }
    if (std::memcmp(&mapgenheader.id1, "FORM", 4) != 0) return MapReject("file does not start with FORM");
    if (filesize == -1) return MapReject("file size is unknown");
    if (uint64_t{MapChunkLength()} + 8 != static_cast<uint64_t>(filesize)) {
        return MapReject("FORM size %u + 8 differs from the file size %ld", MapChunkLength(), filesize);
    }
    if (std::fread(&mapgenheader.id1, 1, 4, mapfilept) != 4 ||
        std::memcmp(&mapgenheader.id1, "FMAP", 4) != 0) {
        return MapReject("form type is not FMAP");
    }

    long pos;
    while ((pos = std::ftell(mapfilept)) != filesize) {
        if (std::fread(&mapgenheader, 1, 8, mapfilept) != 8) {
            return MapReject("chunk header at %ld is cut short by the end of the file", pos);
        }
        uint32_t len = MapChunkLength();
        if (static_cast<uint64_t>(pos) + 8 + len > static_cast<uint64_t>(filesize)) {
            return MapReject("chunk %.4s at %ld runs %llu bytes past the end of the file",
                             &mapgenheader.id1, pos,
                             static_cast<unsigned long long>(pos + 8 + len - filesize));
        }
        MapChunkKind kind = MapChunkKindOf(&mapgenheader.id1);
        if (MapCheckChunk(kind, len)) return -1;
        kFileDecoders[kind]();
        if (maperror) return -1;
    }
    return 0;
}

int MapLoad(const char* mapname) {
    MapBeginLoad();
    if (!lpDD) return -1;  // the surfaces need a display object
    mapfilept = std::fopen(mapname, "rb");
    if (!mapfilept) {
        maperror = MER_NOOPEN;
        std::snprintf(mapreason, sizeof mapreason, "%s", std::strerror(errno));
        return -1;
    }
    int result = MapLoadChunks();
    std::fclose(mapfilept);
    mapfilept = nullptr;
    if (result || MapCheck()) return -1;
    return MapRelocate();
}

// --- In-memory decoder --------------------------------------------------------------

static uint32_t MapLengthAt(const unsigned char* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return Mapbyteswapl(v);
}

// Copies the chunk whose length field is at p into a new buffer replacing *slot.
static int MapCopyChunk(char** slot, const unsigned char* p) {
    uint32_t len = MapLengthAt(p);
    char* buf = MapNewBuffer(slot, len);
    if (!buf) return -1;
    std::memcpy(buf, p + 4, len);
    return 0;
}

int MapMemDecodeMPHD(const unsigned char* mapmempt) {
    MapTakeHeader(mapmempt);
    return 0;
}

int MapMemDecodeCMAP(const unsigned char* cmppt) {
    if (!MapNewBuffer(reinterpret_cast<char**>(&mapcmappt), 768)) return -1;
    std::memcpy(mapcmappt, cmppt, 768);
    MapCMAPtoPE(mapcmappt, mappept);
    return 0;
}

int MapMemDecodeBKDT(const unsigned char* mapmempt) { return MapCopyChunk(&mapblockstrpt, mapmempt); }

int MapMemDecodeANDT(const unsigned char* mapmempt) {
    int result = MapCopyChunk(&mapanimstrpt, mapmempt);
    mapanimstrendpt = mapanimstrpt ? mapanimstrpt + MapLengthAt(mapmempt) : nullptr;
    return result;
}

int MapMemDecodeBGFX(const unsigned char* mapmempt) { return MapCopyChunk(&mapblockgfxpt, mapmempt); }

int MapMemDecodeLYR(const unsigned char* mapmempt, int maplayernum) {
    if (maplayernum < 0 || maplayernum > 7) return MapReject("layer %d is not 0 to 7", maplayernum);
    uint32_t len = MapLengthAt(mapmempt);
    short* cells = reinterpret_cast<short*>(MapNewBuffer(reinterpret_cast<char**>(&mapmappt[maplayernum]), len));
    if (!cells) return -1;
    maplayerrange[maplayernum] = MapScanCells(cells, mapmempt + 4, len / 2);
    if (len % 2) reinterpret_cast<char*>(cells)[len - 1] = static_cast<char>(mapmempt[4 + len - 1]);
    return 0;
}

int MapMemDecodeBODY(const unsigned char* mapmempt) {
    int result = MapMemDecodeLYR(mapmempt, 0);
    mappt = mapmappt[0];
    return result;
}

static int MapDecodeChunks(const unsigned char* img, size_t size) {
    if (!img || size < 12) return MapReject("image is shorter than its 12-byte header");
    if (std::memcmp(img, "FORM", 4) != 0) return MapReject("image does not start with FORM");
    uint64_t total = uint64_t{MapLengthAt(img + 4)} + 8;
    if (std::memcmp(img + 8, "FMAP", 4) != 0) return MapReject("form type is not FMAP");
    if (total < 12) return MapReject("FORM size %llu is below 4", static_cast<unsigned long long>(total - 8));
    if (total > size) {
        return MapReject("FORM size runs %llu bytes past the end of the buffer",
                         static_cast<unsigned long long>(total - size));
    }

    uint64_t pos = 12;
    while (pos != total) {
        if (pos + 8 > total) return MapReject("chunk header at %llu is cut short", static_cast<unsigned long long>(pos));
        const unsigned char* p = img + pos;
        uint32_t len = MapLengthAt(p + 4);
        if (pos + 8 + len > total) {
            return MapReject("chunk %.4s at %llu runs %llu bytes past the end of the FORM",
                             reinterpret_cast<const char*>(p), static_cast<unsigned long long>(pos),
                             static_cast<unsigned long long>(pos + 8 + len - total));
        }
        MapChunkKind kind = MapChunkKindOf(reinterpret_cast<const char*>(p));
        if (MapCheckChunk(kind, len)) return -1;
        switch (kind) {
            case MAPCHUNK_MPHD: MapMemDecodeMPHD(p + 8); break;
            case MAPCHUNK_CMAP: MapMemDecodeCMAP(p + 8); break;
            case MAPCHUNK_BKDT: MapMemDecodeBKDT(p + 4); break;
            case MAPCHUNK_ANDT: MapMemDecodeANDT(p + 4); break;
            case MAPCHUNK_BGFX: MapMemDecodeBGFX(p + 4); break;
            case MAPCHUNK_BODY: MapMemDecodeBODY(p + 4); break;
            case MAPCHUNK_NULL: break;
            default: MapMemDecodeLYR(p + 4, kind - MAPCHUNK_LYR1 + 1); break;
        }
        if (maperror) return -1;
        pos += 8 + uint64_t{len};
    }
    return 0;
}

int MapDecode(const unsigned char* mapmempt, size_t mapmemsize) {
    MapBeginLoad();
    if (!lpDD) return -1;  // the surfaces need a display object
    if (MapDecodeChunks(mapmempt, mapmemsize) || MapCheck()) return -1;
    return MapRelocate();
}
