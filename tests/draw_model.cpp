// The per-pixel drawing model: for each view pixel, the map pixel under it,
// its cell, whether that cell is on the view's outer ring, the block it
// shows and the rule of the layer.
#include "draw_model.h"

void ModelDraw(const ModelView& v, ModelLayer layer, uint8_t* out, int pitch) {
    const MAPDESC& m = v.map;
    const int bw = m.blockwidth, bh = m.blockheight, tile = bw * bh;
    const int cols = (v.xo % bw + v.w + bw - 1) / bw;
    const int rows = (v.yo % bh + v.h + bh - 1) / bh;
    const int para = m.numblockgfx() - 1;
    for (int y = 0; y < v.h; y++) {
        for (int x = 0; x < v.w; x++) {
            const int mx = x + v.xo, my = y + v.yo;
            const int col = mx / bw, row = my / bh;
            const int c = col - v.xo / bw, r = row - v.yo / bh;
            const bool ring = c == 0 || r == 0 || c == cols - 1 || r == rows - 1;
            const int16_t cell = m.layers[v.cells][static_cast<size_t>(row) * m.width + col];
            const BLKSTR& b = m.blocks[v.blockOf(cell)];
            const bool skipped = !ring && cell == 0;  // interior cells of value 0
            uint8_t& px = out[y * pitch + x];
            auto gfx = [&](int32_t off) { return m.gfx[off / tile * tile + (my % bh) * bw + mx % bw]; };
            switch (layer) {
                case kModelPara:
                    if (b.trigger) {
                        const int gx = (x + v.xo - v.xo / 2) % bw, gy = (y + v.yo - v.yo / 2) % bh;
                        px = m.gfx[para * tile + gy * bw + gx];
                    }
                    break;
                case kModelBG:
                    px = gfx(b.bgoff);
                    break;
                case kModelBGT:
                    if (!skipped && (!b.trigger || gfx(b.bgoff) != 0)) px = gfx(b.bgoff);
                    break;
                case kModelFG0:
                case kModelFG1:
                case kModelFG2: {
                    const int32_t off = layer == kModelFG0 ? b.fgoff : layer == kModelFG1 ? b.fgoff2 : b.fgoff3;
                    if (!skipped && off != 0 && gfx(off) != 0) px = gfx(off);
                    break;
                }
            }
        }
    }
}
