// Cell access for games: cells read and changed by block and animation
// numbers, and the choice of the layer that drawing reads.
#include "mapinternal.h"

namespace {

// Cell (x, y) of a present layer of a loaded map; null for anything else.
short* MapCellPt(int layer, int x, int y) {
    if (!mapblkrelpt || layer < 0 || layer > 7 || !mapmappt[layer]) return nullptr;
    if (x < 0 || y < 0 || x >= mapwidth || y >= mapheight) return nullptr;
    return mapmappt[layer] + ptrdiff_t{y} * mapwidth + x;
}

// Stores cell value v when the whole-map check's rule accepts it.
int MapSetCellValue(int layer, int x, int y, int32_t v) {
    short* c = MapCellPt(layer, x, y);
    if (!c || !MapCellValid(v)) return -1;
    *c = static_cast<short>(v);
    return 0;
}

}  // namespace

int MapGetCell(int layer, int x, int y, MAPCELL* cell) {
    const short* c = MapCellPt(layer, x, y);
    if (!c || !cell) return -1;
    const MAPBLOCK* b = MapResolveCell(*c);
    cell->anim = *c >= 0 ? -1 : mapcellnumbers ? -*c - 1 : -*c / 16 - 1;
    cell->block = static_cast<int>(b - reinterpret_cast<const MAPBLOCK*>(mapblkrelpt));
    cell->str = b->blkstr;
    return 0;
}

int MapGetCellAtPixel(int layer, int px, int py, MAPCELL* cell) {
    // Division truncates toward zero, so negative pixels are refused first.
    if (!mapblkrelpt || px < 0 || py < 0) return -1;
    return MapGetCell(layer, px / mapblockwidth, py / mapblockheight, cell);
}

// Byte-offset cells reach block structures 0 to 1023 and animations 0 to
// 2047, numbered ones 0 to 32767 of each.
int MapSetCellBlock(int layer, int x, int y, int block) {
    if (block < 0 || block > (mapcellnumbers ? 32767 : 1023)) return -1;
    return MapSetCellValue(layer, x, y, mapcellnumbers ? block : 32 * block);
}

int MapSetCellAnim(int layer, int x, int y, int anim) {
    if (anim < 0 || anim > (mapcellnumbers ? 32767 : 2047)) return -1;
    return MapSetCellValue(layer, x, y, mapcellnumbers ? -(anim + 1) : -16 * (anim + 1));
}

int MapSetLayer(int layer) {
    if (!mapblkrelpt || layer < 0 || layer > 7 || !mapmappt[layer]) return -1;
    mappt = mapmappt[layer];
    return 0;
}
