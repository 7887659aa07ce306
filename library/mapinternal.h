// Internal interface of the map library: the loaded map's store, the cell
// table drawing resolves cells through, and what the loaders, the relocator,
// drawing and the cell functions share.
#pragma once

#include "mapparse.h"
#include "vexildx.h"

// The loaded map: the buffers the global state points into. Emptied by
// MapFreeMem.
extern MapParseState mapstore;

// Starts a load: frees the map and clears the reasons.
void MapBeginLoad();

inline bool MapCellValid(int32_t v) { return MapCellValidFor(v, mapnumblockstr, mapnumanimstr); }

// The block each cell value v shows, at mapcellblk[MAPCELLZERO + (v >> 4)]:
// a block cell 32 * b at MAPCELLZERO + 2 * b, an animated cell -16 * (k + 1)
// at MAPCELLZERO - 1 - k. Every other slot holds block 0, so no 16-bit value
// reads outside the table. A load sets the block slots; each draw copies in
// the animations' current frames.
constexpr int MAPCELLSLOTS = 4096, MAPCELLZERO = 2048;
extern const MAPBLOCK* mapcellblk[MAPCELLSLOTS];

inline int32_t MapTileSize() { return MapTileBytes(mapblockwidth, mapblockheight, mapdepth); }
