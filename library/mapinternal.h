// Internal interface shared by the library's loader, checker and relocator.
#pragma once

#include <cstdint>
#include <cstring>

#include "vexildx.h"

// Chunk kinds, in the order the loaders compare the ids.
enum MapChunkKind {
    MAPCHUNK_MPHD,
    MAPCHUNK_CMAP,
    MAPCHUNK_BKDT,
    MAPCHUNK_ANDT,
    MAPCHUNK_BGFX,
    MAPCHUNK_BODY,
    MAPCHUNK_LYR1,  // LYR1..LYR7 follow in order
    MAPCHUNK_NULL = MAPCHUNK_LYR1 + 7,  // any other id
    MAPCHUNK_KINDS
};

// Length of each known chunk met by the current load (the last one of an id
// met twice); 0 when the chunk has not been met.
extern uint32_t mapchunklen[MAPCHUNK_KINDS];

// What the cells of a layer hold, gathered while the layer is read so that
// the whole-map check need not pass over the cells again.
struct MapCellRange {
    int16_t lo, hi;    // smallest and largest cell (0 included)
    uint16_t lowbits;  // or of the bits no valid cell has: 0..3, and 4 of block cells
};
extern MapCellRange maplayerrange[8];

// Copies n cells from src to dst (which may be the same) and returns their range.
MapCellRange MapScanCells(short* dst, const void* src, size_t n);

// The kind of a chunk id; ids compare byte by byte, case-sensitively.
MapChunkKind MapChunkKindOf(const char* id);
const char* MapChunkName(MapChunkKind kind);

// Records the reason for rejecting a map: maperror 2, mapreason set. Returns -1.
int MapReject(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

// Starts a load: frees the map, clears the reasons and the chunk lengths.
void MapBeginLoad();

// Tests a chunk met by the walk before any byte of it is used: known chunks
// may not be empty, the header needs 24 bytes and the colour map 768.
int MapCheckChunk(MapChunkKind kind, uint32_t len);

// The whole-map check after the walk; 0 when every size relation holds and
// every reference designates something that exists.
int MapCheck();

// Whether a cell value designates something that exists: a multiple of 32
// below the block structure array's size, or minus a multiple of 16 that
// reaches an existing animation record. The whole-map check and the cell
// setters both decide by this rule, so the map stays trusted after a game
// changes it.
inline bool MapCellValid(int32_t v) {
    if (v >= 0) return v < int32_t{mapnumblockstr} * 32 && (v & 31) == 0;
    return v >= -16 * int64_t{mapnumanimstr} && (v & 15) == 0;
}

// The block each cell value v shows, at mapcellblk[MAPCELLZERO + (v >> 4)]:
// a block cell 32 * b at MAPCELLZERO + 2 * b, an animated cell -16 * (k + 1)
// at MAPCELLZERO - 1 - k. Every other slot holds block 0, so no 16-bit value
// reads outside the table. A load sets the block slots; each draw copies in
// the animations' current frames.
constexpr int MAPCELLSLOTS = 4096, MAPCELLZERO = 2048;
extern const MAPBLOCK* mapcellblk[MAPCELLSLOTS];

// Bytes of one block graphic as the header states it.
inline int32_t MapTileSize() {
    return int32_t{mapblockwidth} * mapblockheight * ((mapdepth + 1) / 8);
}

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
