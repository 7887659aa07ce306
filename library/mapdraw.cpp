// Map drawing: background, transparent background, foreground and parallax over one tile walk.
#include "vexildx.h"

namespace {

constexpr int kViewW = 640;
constexpr int kViewH = 480;
constexpr int kBlock = 16;
constexpr DWORD kOpaque = DDBLTFAST_WAIT;
constexpr DWORD kKeyed = DDBLTFAST_WAIT | DDBLTFAST_SRCCOLORKEY;

// Where a walk starts: the clamped scroll position and its first cell.
struct MapView {
    int mapxo, mapyo;
    const short* first;
};

// Clamps the scroll position into the map. False when there is nothing to
// draw: no target, no loaded map, or a map smaller than the view.
bool MapViewAt(LPDIRECTDRAWSURFACE dest, int mapxo, int mapyo, MapView& v) {
    if (!dest || !mappt || !mapblkrelpt) return false;
    const int maxx = mapwidth * kBlock - kViewW;
    const int maxy = mapheight * kBlock - kViewH;
    if (maxx < 0 || maxy < 0) return false;
    v.mapxo = mapxo < 0 ? 0 : (mapxo > maxx ? maxx : mapxo);
    v.mapyo = mapyo < 0 ? 0 : (mapyo > maxy ? maxy : mapyo);
    v.first = mappt + static_cast<ptrdiff_t>(v.mapyo / kBlock) * mapwidth + v.mapxo / kBlock;
    return true;
}

// Visits the 40 or 41 by 30 or 31 visible cells: the outer ring first (top-left,
// left column down, bottom-left, bottom row right, bottom-right, right column
// up, top-right, top row left), then the interior row by row. For each it
// calls cell(cellpt, x, y, rect, interior) with the destination position and
// the source rectangle, whose origin in the source is (ox, oy). The rectangle
// is one object throughout; each step changes only the fields that differ.
template <class Cell>
inline void MapWalk(const MapView& v, int ox, int oy, Cell&& cell) {
    const int hclip = v.mapxo % kBlock;
    const int vclip = v.mapyo % kBlock;
    const ptrdiff_t row = mapwidth;
    const short* p = v.first;
    RECT r{ox + hclip, oy + vclip, ox + kBlock, oy + kBlock};
    int i, j;

    cell(p, 0, 0, r, false);
    r.top = oy;
    for (i = kBlock - vclip; i < kViewH - kBlock; i += kBlock) {
        p += row;
        cell(p, 0, i, r, false);
    }
    p += row;
    r.bottom = oy + kViewH - i;
    cell(p, 0, i, r, false);
    r.left = ox;
    for (j = kBlock - hclip; j < kViewW - kBlock; j += kBlock) {
        ++p;
        cell(p, j, i, r, false);
    }
    r.right = ox + kViewW - j;
    ++p;
    cell(p, j, i, r, false);
    r.bottom = oy + kBlock;
    while (i > kBlock) {
        p -= row;
        i -= kBlock;
        cell(p, j, i, r, false);
    }
    p -= row;
    r.top = oy + vclip;
    cell(p, j, 0, r, false);
    r.right = ox + kBlock;
    while (j > kBlock) {
        --p;
        j -= kBlock;
        cell(p, j, 0, r, false);
    }

    r.top = oy;
    for (i = kBlock - vclip; i < kViewH - kBlock; i += kBlock) {
        p += row;
        const short* rowstart = p;
        for (j = kBlock - hclip; j < kViewW - kBlock; j += kBlock) {
            cell(p, j, i, r, true);
            ++p;
        }
        p = rowstart;
    }
}

}  // namespace

// Every block's background, opaque.
void MapDraw8BG(LPDIRECTDRAWSURFACE lpDDSDest, int mapxo, int mapyo) {
    MapView v;
    if (!MapViewAt(lpDDSDest, mapxo, mapyo, v)) return;
    MapWalk(v, 0, 0, [lpDDSDest](const short* c, DWORD x, DWORD y, RECT& r, bool) {
        lpDDSDest->BltFast(x, y, MapResolveCell(*c)->bgoff, &r, kOpaque);
    });
}

// Backgrounds, colour-keyed where the block's trigger is set so the parallax
// shows through; interior cells of value 0 are left as they are.
void MapDraw8BGT(LPDIRECTDRAWSURFACE lpDDSDest, int mapxo, int mapyo) {
    MapView v;
    if (!MapViewAt(lpDDSDest, mapxo, mapyo, v)) return;
    MapWalk(v, 0, 0, [lpDDSDest](const short* c, DWORD x, DWORD y, RECT& r, bool interior) {
        if (interior && *c == 0) return;
        const MAPBLOCK* b = MapResolveCell(*c);
        lpDDSDest->BltFast(x, y, b->bgoff, &r, b->trigger ? kKeyed : kOpaque);
    });
}

// Foreground graphic `mapfg` (0 to 2) of every block that has one,
// colour-keyed; interior cells of value 0 are left as they are. Any other
// `mapfg` draws nothing.
void MapDraw8FG(LPDIRECTDRAWSURFACE lpDDSDest, int mapxo, int mapyo, int mapfg) {
    static constexpr LPDIRECTDRAWSURFACE MAPBLOCK::*kLayer[3] = {
        &MAPBLOCK::fgoff, &MAPBLOCK::fgoff2, &MAPBLOCK::fgoff3};
    if (mapfg < 0 || mapfg > 2) return;
    MapView v;
    if (!MapViewAt(lpDDSDest, mapxo, mapyo, v)) return;
    const auto layer = kLayer[mapfg];
    MapWalk(v, 0, 0, [lpDDSDest, layer](const short* c, DWORD x, DWORD y, RECT& r, bool interior) {
        if (interior && *c == 0) return;
        LPDIRECTDRAWSURFACE gfx = MapResolveCell(*c)->*layer;
        if (gfx) lpDDSDest->BltFast(x, y, gfx, &r, kKeyed);
    });
}

// The parallax graphic behind every cell whose block has its trigger set,
// shifted by half the scroll position so it moves at half speed.
void MapDrawPara(LPDIRECTDRAWSURFACE lpDDSDest, int mapxo, int mapyo) {
    MapView v;
    if (!lpDDSPara || !MapViewAt(lpDDSDest, mapxo, mapyo, v)) return;
    // lpDDSPara holds the graphic 2 x 2 times, so any window starting at
    // (indentx, indenty), each from 1 to 16, shows it shifted.
    const int indentx = kBlock - (v.mapxo / 2) % kBlock;
    const int indenty = kBlock - (v.mapyo / 2) % kBlock;
    const LPDIRECTDRAWSURFACE para = lpDDSPara;
    MapWalk(v, indentx, indenty, [lpDDSDest, para](const short* c, DWORD x, DWORD y, RECT& r, bool) {
        if (MapResolveCell(*c)->trigger) lpDDSDest->BltFast(x, y, para, &r, kOpaque);
    });
}
