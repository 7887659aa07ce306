// Map drawing: background, transparent background, foreground and parallax over one tile walk.
#include "ddrun.h"
#include "mapinternal.h"

int mapviewx = 0, mapviewy = 0;      // where the view's top-left pixel lands
int mapvieww = 640, mapviewh = 480;  // the view's size in pixels

int MapSetView(int x, int y, int w, int h) {
    if (x < 0 || y < 0 || w < 1 || h < 1 || w > MAPVIEW_MAX || h > MAPVIEW_MAX) return -1;
    mapviewx = x;
    mapviewy = y;
    mapvieww = w;
    mapviewh = h;
    return 0;
}

namespace {

constexpr DWORD kOpaque = DDBLTFAST_WAIT;
constexpr DWORD kKeyed = DDBLTFAST_WAIT | DDBLTFAST_SRCCOLORKEY;
static_assert(DDBLTFAST_SRCCOLORKEY == 1, "a trigger bit of 1 makes an opaque blit keyed");

// One draw call's view of the map, worked out once: where it lands, its
// size, the block size, the clamped scroll position and its first cell.
struct MapView {
    int dx, dy;          // destination of the view's top-left pixel
    int w, h;            // view size in pixels
    int bw, bh;          // block size in pixels
    int mapxo, mapyo;    // the map pixel at the view's top-left, inside the map
    int hclip, vclip;    // offsets of that pixel inside its block
    const short* first;  // the cell that holds it
    int shift;           // how far a cell value moves right to index the cell table
};

// Copies each animation's current frame into its cell table slot, so that a
// draw sees every change made to the animations since the last one. Cells
// name animations 0 to 2047 only, or to 32767 when numbered.
void MapCurrentFrames() {
    const int reach = mapcellnumbers ? MAPCELLZERO : 2048;
    const int anims = mapnumanimstr < reach ? mapnumanimstr : reach;
    for (int k = 0; k < anims; k++) mapcellblk[MAPCELLZERO - 1 - k] = *MapAnim(k)->ancuroff;
}

// Works out the view for a draw at (mapxo, mapyo), clamping the position
// into the map. False when there is nothing to draw: no target, no loaded
// map, a view that is not 1..MAPVIEW_MAX pixels a side, one that does not lie
// inside the destination, or a map smaller than the view. On success the
// cell table shows the animations' current frames.
bool MapViewAt(LPDIRECTDRAWSURFACE dest, int mapxo, int mapyo, MapView& v) {
    if (!dest || !mappt || !mapblkrelpt) return false;
    v.dx = mapviewx;
    v.dy = mapviewy;
    v.w = mapvieww;
    v.h = mapviewh;
    if (v.dx < 0 || v.dy < 0 || v.w < 1 || v.h < 1 || v.w > MAPVIEW_MAX || v.h > MAPVIEW_MAX) return false;
    DDSURFACEDESC desc{};
    desc.dwSize = sizeof desc;
    if (dest->GetSurfaceDesc(&desc) != DD_OK) return false;
    if (int64_t{v.dx} + v.w > desc.dwWidth || int64_t{v.dy} + v.h > desc.dwHeight) return false;

    v.bw = mapblockwidth;
    v.bh = mapblockheight;
    const int maxx = mapwidth * v.bw - v.w;
    const int maxy = mapheight * v.bh - v.h;
    if (maxx < 0 || maxy < 0) return false;
    v.mapxo = mapxo < 0 ? 0 : (mapxo > maxx ? maxx : mapxo);
    v.mapyo = mapyo < 0 ? 0 : (mapyo > maxy ? maxy : mapyo);
    v.hclip = v.mapxo % v.bw;
    v.vclip = v.mapyo % v.bh;
    v.first = mappt + static_cast<ptrdiff_t>(v.mapyo / v.bh) * mapwidth + v.mapxo / v.bw;
    v.shift = mapcellshift;
    MapCurrentFrames();
    return true;
}

// What a routine draws for one cell: whether it draws, the source surface
// and the BltFast flags. The choice is data, not a branch: cells that draw
// and cells that do not mix at random.
struct MapPick {
    LPDIRECTDRAWSURFACE src;
    DWORD flags;
    bool draw;
};

// The block a cell shows, as MapResolveCell, without a branch on the cell's
// sign (animated cells are scattered at random) or its encoding: `shift` is
// mapcellshift.
inline const MAPBLOCK* MapCellBlock(short v, int shift) {
    ptrdiff_t i = v;  // shifted at full width, so that the slot offset folds into the address
    i >>= shift;
    return (mapcellblk + MAPCELLZERO)[i];
}

// Interior cells wait here, up to kRun of a row at a time, so that whether a
// cell is drawn is decided without a branch and the blits follow in their
// order; then one DDBltRun draws them. A 1920-pixel row of 8-pixel blocks is
// one run.
constexpr int kRun = 256;

// Draws every visible cell once: the outer ring first (top-left, left column
// down, bottom-left, bottom row right, bottom-right, right column up,
// top-right, top row left), then the interior row by row. For each cell
// pick(cellpt, interior) says what to blit; the blit goes to the cell's
// destination with the source rectangle of its place, whose origin in the
// source is (ox, oy). The rectangle is one object throughout; each step
// changes only the fields that differ. A view one column wide (or one row
// high) has a ring of that column (row) alone, and no interior.
template <class Pick>
inline void MapWalk(LPDIRECTDRAWSURFACE dest, const MapView& v, int ox, int oy, Pick&& pick) {
    const int bw = v.bw, bh = v.bh, w = v.w, h = v.h;
    const DWORD dx = DWORD(v.dx), dy = DWORD(v.dy);
    const bool onecol = v.hclip + w <= bw;
    const bool onerow = v.vclip + h <= bh;
    const ptrdiff_t row = mapwidth;
    const short* p = v.first;
    RECT r{ox + v.hclip, oy + v.vclip, ox + (onecol ? v.hclip + w : bw), oy + (onerow ? v.vclip + h : bh)};
    int i = 0, j;
    auto ring = [&](DWORD x, DWORD y) {
        const MapPick b = pick(p, false);
        if (b.draw) dest->BltFast(x, y, b.src, &r, b.flags);
    };

    ring(dx, dy);
    if (!onerow) {
        r.top = oy;
        for (i = bh - v.vclip; i < h - bh; i += bh) {
            p += row;
            ring(dx, dy + i);
        }
        p += row;
        r.bottom = oy + h - i;
        ring(dx, dy + i);
    }
    if (onecol) return;
    r.left = ox;
    for (j = bw - v.hclip; j < w - bw; j += bw) {
        ++p;
        ring(dx + j, dy + i);
    }
    r.right = ox + w - j;
    ++p;
    ring(dx + j, dy + i);
    if (onerow) return;
    r.bottom = oy + bh;
    while (i > bh) {
        p -= row;
        i -= bh;
        ring(dx + j, dy + i);
    }
    p -= row;
    r.top = oy + v.vclip;
    ring(dx + j, dy);
    r.right = ox + bw;
    while (j > bw) {
        --p;
        j -= bw;
        ring(dx + j, dy);
    }

    r.top = oy;
    DDRunBlit run[kRun];
    const int first = bw - v.hclip;
    const int cols = (w - bw - first + bw - 1) / bw;  // interior columns: j = first, first + bw, ... < w - bw
    for (i = bh - v.vclip; i < h - bh; i += bh) {
        p += row;
        const short* c = p;
        const DWORD y = dy + DWORD(i);
        DWORD x = dx + DWORD(first);
        for (int left = cols; left > 0; left -= kRun) {
            const int m = left < kRun ? left : kRun;
            DDRunBlit* e = run;
#pragma GCC unroll 4
            for (const short* end = c + m; c != end; c++, x += DWORD(bw)) {
                const MapPick b = pick(c, true);
                *e = {b.src, x, b.flags};
                e += b.draw;
            }
            DDBltRun(dest, y, r, run, int(e - run));
        }
    }
}

}  // namespace

// Every block's background, opaque.
void MapDraw8BG(LPDIRECTDRAWSURFACE lpDDSDest, int mapxo, int mapyo) {
    MapView v;
    if (!MapViewAt(lpDDSDest, mapxo, mapyo, v)) return;
    MapWalk(lpDDSDest, v, 0, 0, [shift = v.shift](const short* c, bool) {
        return MapPick{MapCellBlock(*c, shift)->bgoff, kOpaque, true};
    });
}

// Backgrounds, colour-keyed where the block's trigger is set so the parallax
// shows through; interior cells of value 0 are left as they are.
void MapDraw8BGT(LPDIRECTDRAWSURFACE lpDDSDest, int mapxo, int mapyo) {
    MapView v;
    if (!MapViewAt(lpDDSDest, mapxo, mapyo, v)) return;
    MapWalk(lpDDSDest, v, 0, 0, [shift = v.shift](const short* c, bool interior) {
        const MAPBLOCK* b = MapCellBlock(*c, shift);
        return MapPick{b->bgoff, kOpaque | b->trigger, !interior || *c != 0};
    });
}

// Foreground graphic `mapfg` (0 to 2) of every block that has one,
// colour-keyed; interior cells of value 0 are left as they are. Any other
// `mapfg` draws nothing.
void MapDraw8FG(LPDIRECTDRAWSURFACE lpDDSDest, int mapxo, int mapyo, int mapfg) {
    static constexpr LPDIRECTDRAWSURFACE MAPBLOCK::*kLayer[3] = {&MAPBLOCK::fgoff, &MAPBLOCK::fgoff2,
                                                                 &MAPBLOCK::fgoff3};
    if (mapfg < 0 || mapfg > 2) return;
    MapView v;
    if (!MapViewAt(lpDDSDest, mapxo, mapyo, v)) return;
    const auto layer = kLayer[mapfg];
    MapWalk(lpDDSDest, v, 0, 0, [layer, shift = v.shift](const short* c, bool interior) {
        LPDIRECTDRAWSURFACE gfx = MapCellBlock(*c, shift)->*layer;
        return MapPick{gfx, kKeyed, (!interior || *c != 0) && gfx};
    });
}

// The parallax graphic behind every cell whose block has its trigger set,
// shifted by half the scroll position so it moves at half speed.
void MapDrawPara(LPDIRECTDRAWSURFACE lpDDSDest, int mapxo, int mapyo) {
    MapView v;
    if (!lpDDSPara || !MapViewAt(lpDDSDest, mapxo, mapyo, v)) return;
    // lpDDSPara holds the graphic 2 x 2 times, so any window starting at
    // (indentx, indenty), from 1 to the block size, shows it shifted.
    const int indentx = v.bw - (v.mapxo / 2) % v.bw;
    const int indenty = v.bh - (v.mapyo / 2) % v.bh;
    const LPDIRECTDRAWSURFACE para = lpDDSPara;
    MapWalk(lpDDSDest, v, indentx, indenty, [para, shift = v.shift](const short* c, bool) {
        return MapPick{para, kOpaque, MapCellBlock(*c, shift)->trigger != 0};
    });
}
