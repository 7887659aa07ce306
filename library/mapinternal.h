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

inline bool MapCellValid(int32_t v) { return MapCellValidFor(v, mapnumblockstr, mapnumanimstr, mapcellnumbers); }

// The block each cell value v shows, at mapcellblk[MAPCELLZERO + (v >>
// mapcellshift)]: animation k at MAPCELLZERO - 1 - k, block b at MAPCELLZERO
// + 2 * b for byte-offset cells (shift 4: 32 * b and -16 * (k + 1)) and at
// MAPCELLZERO + b for numbered ones (shift 0). Every other slot a 16-bit
// value reaches holds block 0, so none reads outside what the load filled:
// the 4,096 slots around MAPCELLZERO for byte offsets, all of them for
// numbers. A load sets the block slots; each draw copies in the animations'
// current frames.
constexpr int MAPCELLSLOTS = 65536, MAPCELLZERO = 32768;
extern const MAPBLOCK* mapcellblk[MAPCELLSLOTS];
extern int mapcellshift;

inline int32_t MapTileSize() { return MapTileBytes(mapblockwidth, mapblockheight, mapdepth); }

// A tile object as MapDrawTileObjects draws it: its image, its top-left in
// map pixels and its flips. The loaded map's, in drawing order.
struct MapTileObject {
    const MAPSPRITE* sprite;
    int x, y;
    int flips;
};
extern const MapTileObject* maptileobjects;
extern int mapnumtileobjects;

// Makes the C view of the loaded map's objects, properties and sprites (at
// the end of a load); 0, or -1 when memory runs out. And frees it.
int MapPublishObjects();
void MapFreeObjects();
