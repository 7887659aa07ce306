// The format layer's internals, shared by its walk, its decoders and the
// whole-map check, and by the map library's loaders that parse through them.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "mapformat.h"

// What the cells of a layer hold, gathered while the layer is read so that
// the whole-map check need not pass over the cells again.
struct MapCellRange {
    int16_t lo, hi;    // smallest and largest cell (0 included)
    uint16_t lowbits;  // or of the bits no valid cell has: 0..3, and 4 of block cells
};

// Copies n cells from src to dst (which may be the same) and returns their range.
MapCellRange MapScanCells(short* dst, const void* src, size_t n);

// A map being read: the description, and what the check and the loaders need
// of the file beyond it. The library's loaded map is one of these.
struct MapParseState {
    MAPDESC desc;
    std::vector<char> andt;             // the animation data as stored
    std::vector<uint8_t> otpl;          // the template instances as stored
    uint32_t len[MAPCHUNK_KINDS] = {};  // length of each known chunk met (the last
                                        // one of an id met twice); 0 = not met
    MapCellRange range[8] = {};         // of each layer read
};

// Where the walk and the decoders read a map image: memory, or a file read as
// the walk goes. Every read ends by `end`: the end of the FORM (the file's
// size for a file). `endname` names that end in reasons.
struct MapInput {
    const unsigned char* mem = nullptr;  // the image; null for a file
    FILE* file = nullptr;
    uint64_t pos = 0, end = 0;
    const char* endname = "FORM";
};

// Records the reason for rejecting a map in `why` (code 2; file bytes in the
// text escaped). Returns -1.
int MapReject(MAPREASON* why, const char* fmt, ...) __attribute__((format(printf, 2, 3)));

// Parses the map file open in `f` (from its start; the file loader's header
// tests) or the image of `size` bytes at img (the in-memory decoder's) into
// `st`, checks it and fills the description. 0, or -1 with the reason.
int MapParseFile(FILE* f, MapParseState& st, MAPREASON* why);
int MapParseMemory(const unsigned char* img, size_t size, MapParseState& st, MAPREASON* why);

// Decodes one chunk of `len` bytes at the input's position into `st`; the
// input moves past it. The chunk must lie inside the input.
int MapDecodeChunk(MapParseState& st, MapChunkKind kind, MapInput& in, uint32_t len, MAPREASON* why);

// The whole-map check after the walk; 0 when every size relation holds and
// every reference designates something that exists. It reads the animation
// data into the description and keeps of the graphics what the header
// counts.
int MapCheck(MapParseState& st, MAPREASON* why);

// The OBJS and SPRT chunks' data into the description, checked (counts,
// lengths, strings, numbers, limits); 0, or -1 with the reason. And back.
int MapDecodeObjects(const uint8_t* data, size_t len, MAPDESC& d, MAPREASON* why);
int MapDecodeSprites(const uint8_t* data, size_t len, MAPDESC& d, MAPREASON* why);
std::vector<uint8_t> MapSerializeObjects(const MAPDESC& d);
std::vector<uint8_t> MapSerializeSprites(const MAPDESC& d);
// The OTPL chunk's data onto the objects the description holds, checked
// (each object named once, in order; its own fields and properties); 0, or
// -1 with the reason. And back, and whether any object is an instance.
int MapDecodeTemplates(const uint8_t* data, size_t len, MAPDESC& d, MAPREASON* why);
std::vector<uint8_t> MapSerializeTemplates(const MAPDESC& d);
bool MapHasTemplates(const MAPDESC& d);

// Whether a cell value designates something that exists: a multiple of 32
// below the block structure array's size, or minus a multiple of 16 that
// reaches an existing animation record; with numbered cells, a block number
// below the block count, or -(k + 1) for an existing animation k. The
// whole-map check and the cell setters both decide by this rule, so the map
// stays trusted after a game changes it.
inline bool MapCellValidFor(int32_t v, int32_t numblockstr, int32_t numanims, bool numbered) {
    if (numbered) return v >= 0 ? v < numblockstr : v >= -int64_t{numanims};
    if (v >= 0) return v < numblockstr * 32 && (v & 31) == 0;
    return v >= -16 * int64_t{numanims} && (v & 15) == 0;
}

// Bytes of one block graphic.
inline int32_t MapTileBytes(int32_t bw, int32_t bh, int32_t depth) { return bw * bh * ((depth + 1) / 8); }

inline int32_t MapGet32(const void* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return static_cast<int32_t>(v);  // little-endian host
}

inline int16_t MapGet16(const void* p) {
    int16_t v;
    std::memcpy(&v, p, 2);
    return v;
}

// A big-endian chunk length.
inline uint32_t MapGetLength(const void* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return Mapbyteswapl(v);
}
