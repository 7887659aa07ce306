// Global map state, freeing a map, byte swapping and palette conversion.
#include <bit>
#include <cstdlib>

#include "mapinternal.h"

static_assert(std::endian::native == std::endian::little, "map data is little-endian and read in place");

int maperror;                            // reason code of the last load
char mapreason[128];                     // which check rejected the last map
short mapwidth, mapheight;               // map size in cells
short mapblockwidth, mapblockheight;     // block size in pixels
short mapdepth;                          // bits per pixel of the block graphics
short mapblockstrsize;                   // block structure size as the header states it
short mapnumblockstr, mapnumblockgfx;    // block structures and graphics
FILE* mapfilept;                         // the map file while MapLoad runs
GENHEAD mapgenheader;                    // header of the chunk MapLoad is reading
short* mappt;                            // the layer that drawing reads; owns nothing
short* mapmappt[8];                      // layer buffers: BODY, LYR1..LYR7
unsigned char* mapcmappt;                // colour map as stored
char* mapblockgfxpt;                     // block graphics as stored
char* mapblockstrpt;                     // block structures as stored
char* mapanimstrpt;                      // animation data as stored
char* mapanimstrendpt;                   // one past the stored animation data
PALETTEENTRY mappept[256];               // palette converted from the colour map
int mapnumanimstr;                       // animation records of the loaded map
int mapcellnumbers;                      // 1: cells hold block and animation numbers
LPDIRECTDRAWSURFACE* maptilespt;         // every tile surface, null after the last
LPDIRECTDRAWSURFACE maplpDDSTiles[256];  // the first 255 tile surfaces, null after the last
LPDIRECTDRAWSURFACE lpDDSPara;           // parallax surface
char* mapblkrelpt;                       // relocated block structures
char* mapanimrelpt;                      // relocated animation data
char* mapanimrelendpt;                   // one past the relocated animation data

MapParseState mapstore;                    // the buffers of the loaded map
const MAPBLOCK* mapcellblk[MAPCELLSLOTS];  // the block each cell value shows
int mapcellshift = 4;                      // how far a cell value moves right to index mapcellblk

template <class T>
static void MapFreeBuffer(T*& buffer) {
    std::free(buffer);
    buffer = nullptr;
}

void MapFreeMem() {
    MapFreeObjects();
    mapstore = MapParseState{};
    for (short*& layer : mapmappt) layer = nullptr;
    mappt = nullptr;
    mapcmappt = nullptr;
    mapblockgfxpt = nullptr;
    mapblockstrpt = nullptr;
    mapanimstrpt = nullptr;
    mapanimstrendpt = nullptr;
    MapFreeBuffer(mapblkrelpt);
    MapFreeBuffer(mapanimrelpt);
    mapanimrelendpt = nullptr;
    // maplpDDSTiles holds no references of its own: the whole table releases.
    for (int i = 0; maptilespt && maptilespt[i]; i++) maptilespt[i]->Release();
    MapFreeBuffer(maptilespt);
    for (int i = 0; i < 256 && maplpDDSTiles[i]; i++) maplpDDSTiles[i] = nullptr;
    if (lpDDSPara) lpDDSPara->Release();
    lpDDSPara = nullptr;
}

void MapBeginLoad() {
    MapFreeMem();
    maperror = 0;
    mapreason[0] = '\0';
    mapnumanimstr = 0;
    mapcellnumbers = 0;
}

const char* MapErrorName(int code) {
    switch (code) {
        case MER_OUTOFMEM:
            return "out of memory";
        case MER_MAPLOADERROR:
            return "not a valid map";
        case MER_NOOPEN:
            return "cannot open";
        default:
            return "cannot make the map's surfaces";
    }
}

void MapCMAPtoPE(const unsigned char* mycmappt, PALETTEENTRY* mypept) {
    for (int i = 0; i < 256; i++) {
        mypept[i].peRed = mycmappt[3 * i];
        mypept[i].peGreen = mycmappt[3 * i + 1];
        mypept[i].peBlue = mycmappt[3 * i + 2];
        mypept[i].peFlags = 0;
    }
}

void MapCorrectColours() {}
