// MapRelocate: builds the tile and parallax surfaces from the block graphics
// and the relocated form of the block structures and animation data.
#include <algorithm>
#include <cstdlib>

#include "mapinternal.h"

// Tile surfaces on the block graphics themselves: graphic i is
// mapblockheight rows of mapblockwidth bytes at mapblockgfxpt + i * tile
// size, which is a surface of that size and pitch as it stands, so no pixel
// is copied and the graphics live exactly as long as their surfaces. Then
// the parallax surface, filled from the last graphic.
static int MapBuildSurfaces() {
    const int n = mapnumblockgfx, bw = mapblockwidth, bh = mapblockheight;
    if (!lpDD || DDCreatePlainSurface(lpDD, 2 * bw, 2 * bh, &lpDDSPara) != DD_OK) return -1;
    DDSURFACEDESC ddsd{};
    ddsd.dwSize = sizeof ddsd;
    ddsd.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_LPSURFACE | DDSD_PITCH;
    ddsd.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN;
    ddsd.dwWidth = DWORD(bw);
    ddsd.dwHeight = DWORD(bh);
    ddsd.lPitch = bw;
    DDCOLORKEY key{0, 0};
    const int32_t tile = MapTileSize();
    for (int i = 0; i < n; i++) {
        ddsd.lpSurface = mapblockgfxpt + int64_t{i} * tile;
        if (lpDD->CreateSurface(&ddsd, &maptilespt[i], nullptr) != DD_OK) {
            maptilespt[i] = nullptr;
            return -1;
        }
        maptilespt[i]->SetColorKey(DDCKEY_SRCBLT, &key);
    }
    for (int i = 0; i < n && i < 255; i++) maplpDDSTiles[i] = maptilespt[i];
    maplpDDSTiles[n < 255 ? n : 255] = nullptr;

    // The parallax surface holds the last graphic's top-left block four
    // times, so any block-sized window of it shows the pattern wrapped.
    RECT r{0, 0, bw, bh};
    LPDIRECTDRAWSURFACE last = maptilespt[n - 1];
    lpDDSPara->BltFast(0, 0, last, &r, DDBLTFAST_WAIT);
    lpDDSPara->BltFast(DWORD(bw), 0, last, &r, DDBLTFAST_WAIT);
    lpDDSPara->BltFast(0, DWORD(bh), last, &r, DDBLTFAST_WAIT);
    lpDDSPara->BltFast(DWORD(bw), DWORD(bh), last, &r, DDBLTFAST_WAIT);
    return 0;
}

// Relocated block records, one per stored record: graphic offsets become
// surfaces (a foreground offset of 0 stays null); and the block slots of the
// cell table.
static int MapRelocateBlocks() {
    mapblkrelpt = static_cast<char*>(std::calloc(mapnumblockstr, sizeof(MAPBLOCK)));
    if (!mapblkrelpt) return -1;
    const int32_t tile = MapTileSize();
    const BLKSTR* blk = reinterpret_cast<const BLKSTR*>(mapblockstrpt);
    MAPBLOCK* rel = reinterpret_cast<MAPBLOCK*>(mapblkrelpt);
    for (int b = 0; b < mapnumblockstr; b++, blk++, rel++) {
        rel->bgoff = maptilespt[blk->bgoff / tile];
        rel->fgoff = blk->fgoff ? maptilespt[blk->fgoff / tile] : nullptr;
        rel->fgoff2 = blk->fgoff2 ? maptilespt[blk->fgoff2 / tile] : nullptr;
        rel->fgoff3 = blk->fgoff3 ? maptilespt[blk->fgoff3 / tile] : nullptr;
        rel->blkstr = blk;
        rel->trigger = blk->trigger;
    }
    // Byte-offset cells reach the 4,096 slots around zero, numbered ones all.
    const MAPBLOCK* blocks = reinterpret_cast<const MAPBLOCK*>(mapblkrelpt);
    mapcellshift = mapcellnumbers ? 0 : 4;
    const int reach = mapcellnumbers ? MAPCELLZERO : 2048, step = mapcellnumbers ? 1 : 2;
    std::fill(mapcellblk + MAPCELLZERO - reach, mapcellblk + MAPCELLZERO + reach, blocks);
    for (int b = 0; b < mapnumblockstr && step * b < reach; b++) mapcellblk[MAPCELLZERO + step * b] = blocks + b;
    return 0;
}

// The relocated animation data mirrors the stored data at twice its size:
// the checked frame list becomes block pointers, then the animation records
// (the last one first) and the end record become MAPANIMs whose offsets are
// frame entry addresses.
static int MapRelocateAnims() {
    const MAPDESC& d = mapstore.desc;
    if (!((d.held >> MAPCHUNK_ANDT) & 1)) return 0;
    const size_t frames = d.frames.size(), anims = d.anims.size();
    const size_t bytes = frames * sizeof(MAPBLOCK*) + (anims + 1) * sizeof(MAPANIM);
    mapanimrelpt = static_cast<char*>(std::calloc(bytes, 1));
    if (!mapanimrelpt) return -1;
    mapanimrelendpt = mapanimrelpt + bytes;

    MAPBLOCK** entry = reinterpret_cast<MAPBLOCK**>(mapanimrelpt);
    for (size_t i = 0; i < frames; i++) entry[i] = reinterpret_cast<MAPBLOCK*>(mapblkrelpt + 2 * int64_t{d.frames[i]});
    for (size_t k = 0; k < anims; k++) {
        const MAPANIMDESC& a = d.anims[k];
        MAPANIM* an = MapAnim(static_cast<int>(k));
        an->antype = a.antype;
        an->andelay = a.andelay;
        an->ancount = a.ancount;
        an->anuser = a.anuser;
        an->anstartoff = entry + a.start;
        an->anendoff = entry + a.end;
        an->ancuroff = entry + a.cur;
    }
    MapAnim(static_cast<int>(anims))->antype = -1;  // the end record
    return 0;
}

int MapRelocate() {
    if (mapnumblockgfx < 1 || !mapblockgfxpt) {  // only a checked map comes here
        MapFreeMem();
        return -1;
    }
    maptilespt = static_cast<LPDIRECTDRAWSURFACE*>(std::calloc(size_t(mapnumblockgfx) + 1, sizeof *maptilespt));
    if (!maptilespt) {
        MapFreeMem();
        maperror = MER_OUTOFMEM;
        return -1;
    }
    if (MapBuildSurfaces()) {
        MapFreeMem();
        return -1;
    }
    if (MapRelocateBlocks() || MapRelocateAnims() || MapPublishObjects()) {
        MapFreeMem();
        maperror = MER_OUTOFMEM;
        return -1;
    }
    return 0;
}
