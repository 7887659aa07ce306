// MapRelocate: builds the tile and parallax surfaces from the block graphics
// and the relocated form of the block structures and animation data.
#include <cstdlib>

#include "mapinternal.h"

// Copies graphic `gfx` (rows of mapblockwidth bytes) into the surface's pixels.
static HRESULT MapFillSurface(LPDIRECTDRAWSURFACE surf, const char* gfx) {
    DDSURFACEDESC ddsd{};
    ddsd.dwSize = sizeof ddsd;
    HRESULT hr = surf->Lock(nullptr, &ddsd, DDLOCK_WAIT, nullptr);
    if (hr != DD_OK) return hr;
    auto* dst = static_cast<unsigned char*>(ddsd.lpSurface);
    for (int y = 0; y < mapblockheight; y++) {
        std::memcpy(dst + ptrdiff_t{y} * ddsd.lPitch, gfx + y * mapblockwidth, mapblockwidth);
    }
    surf->Unlock(ddsd.lpSurface);
    return DD_OK;
}

static int MapBuildSurfaces() {
    if (!lpDD || DDCreatePlainSurface(lpDD, 32, 32, &lpDDSPara) != DD_OK) return -1;
    const char* gfx = mapblockgfxpt;
    DDCOLORKEY key{0, 0};
    for (int i = 0; i < mapnumblockgfx; i++) {
        if (DDCreatePlainSurface(lpDD, mapblockwidth, mapblockheight, &maplpDDSTiles[i]) != DD_OK) {
            maplpDDSTiles[i] = nullptr;
            return -1;
        }
        if (MapFillSurface(maplpDDSTiles[i], gfx) != DD_OK) return -1;
        gfx += MapTileSize();
        maplpDDSTiles[i]->SetColorKey(DDCKEY_SRCBLT, &key);
    }
    maplpDDSTiles[mapnumblockgfx] = nullptr;

    // The parallax surface holds the last graphic's top-left 16 x 16 pixels
    // four times, so any 16 x 16 window of it shows the pattern wrapped.
    RECT r{0, 0, 16, 16};
    LPDIRECTDRAWSURFACE last = maplpDDSTiles[mapnumblockgfx - 1];
    lpDDSPara->BltFast(0, 0, last, &r, DDBLTFAST_WAIT);
    lpDDSPara->BltFast(16, 0, last, &r, DDBLTFAST_WAIT);
    lpDDSPara->BltFast(0, 16, last, &r, DDBLTFAST_WAIT);
    lpDDSPara->BltFast(16, 16, last, &r, DDBLTFAST_WAIT);
    return 0;
}

// Relocated block records, one per stored record: graphic offsets become
// surfaces (a foreground offset of 0 stays null).
static int MapRelocateBlocks() {
    mapblkrelpt = static_cast<char*>(std::calloc(mapnumblockstr, sizeof(MAPBLOCK)));
    if (!mapblkrelpt) return -1;
    const int32_t tile = MapTileSize();
    const BLKSTR* blk = reinterpret_cast<const BLKSTR*>(mapblockstrpt);
    MAPBLOCK* rel = reinterpret_cast<MAPBLOCK*>(mapblkrelpt);
    for (int b = 0; b < mapnumblockstr; b++, blk++, rel++) {
        rel->bgoff = maplpDDSTiles[blk->bgoff / tile];
        rel->fgoff = blk->fgoff ? maplpDDSTiles[blk->fgoff / tile] : nullptr;
        rel->fgoff2 = blk->fgoff2 ? maplpDDSTiles[blk->fgoff2 / tile] : nullptr;
        rel->fgoff3 = blk->fgoff3 ? maplpDDSTiles[blk->fgoff3 / tile] : nullptr;
        rel->blkstr = blk;
        rel->trigger = blk->trigger;
    }
    return 0;
}

// The relocated animation data mirrors the stored data at twice its size:
// frame entries become block pointers, the end record and the animation
// records become MAPANIMs whose offsets are frame entry addresses.
static int MapRelocateAnims() {
    if (!mapanimstrpt) return 0;
    const int64_t len = mapanimstrendpt - mapanimstrpt;
    mapanimrelpt = static_cast<char*>(std::calloc(2 * len, 1));
    if (!mapanimrelpt) return -1;
    mapanimrelendpt = mapanimrelpt + 2 * len;

    int k = 0;
    for (; static_cast<unsigned char>(mapanimstrendpt[-16 * (k + 1)]) != 0xFF; k++) {
        const char* rec = mapanimstrendpt - 16 * (k + 1);
        MAPANIM* an = MapAnim(k);
        an->antype = rec[0];
        an->andelay = rec[1];
        an->ancount = rec[2];
        an->anuser = rec[3];
        int32_t start = MapGet32(rec + 8), end = MapGet32(rec + 12), cur = MapGet32(rec + 4);
        an->anstartoff = reinterpret_cast<MAPBLOCK**>(mapanimrelendpt + 2 * int64_t{start});
        an->anendoff = reinterpret_cast<MAPBLOCK**>(mapanimrelendpt + 2 * int64_t{end});
        // A stored current frame outside the animation's own frames starts
        // it on its first frame.
        bool curok = cur >= start && cur < end && (int64_t{cur} - start) % 4 == 0;
        an->ancuroff = curok ? reinterpret_cast<MAPBLOCK**>(mapanimrelendpt + 2 * int64_t{cur}) : an->anstartoff;
    }
    MapAnim(k)->antype = -1;  // the end record

    const int64_t frames = (len - 16 * (k + 1)) / 4;
    MAPBLOCK** entry = reinterpret_cast<MAPBLOCK**>(mapanimrelpt);
    for (int64_t i = 0; i < frames; i++) {
        entry[i] = reinterpret_cast<MAPBLOCK*>(mapblkrelpt + 2 * int64_t{MapGet32(mapanimstrpt + 4 * i)});
    }
    return 0;
}

int MapRelocate() {
    if (MapBuildSurfaces()) {
        MapFreeMem();
        return -1;
    }
    if (MapRelocateBlocks() || MapRelocateAnims()) {
        MapFreeMem();
        maperror = MER_OUTOFMEM;
        return -1;
    }
    return 0;
}
