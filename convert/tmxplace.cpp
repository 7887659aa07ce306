// Tile placement for the importer: every tile goes where Tiled draws it on an
// orthogonal map (its bottom-left corner at its cell's bottom-left corner,
// moved by its tileset's tile offset and its layer's offset), in the map's
// render order, and is cut into the cells it covers; the map edge cuts what
// hangs over it. Cells whose fragments are the same share one key.
#include <algorithm>

#include "tmximport.h"

namespace {

std::string CellText(const std::string& layer, int64_t i, int width) {
    return "at cell (" + std::to_string(i % width) + ", " + std::to_string(i / width) + ") of layer \"" + layer + "\"";
}

int64_t FloorDiv(int64_t a, int64_t b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }

// Where a gid's tile lands relative to its cell's bottom-left corner, and
// its size as drawn.
struct Placement {
    int offx, offy, w, h;
};

}  // namespace

CellKeys Importer::Place(const std::vector<int>& picture, const int extra[8]) {
    const int64_t W = map.width, H = map.height, ncells = W * H;
    std::unordered_map<uint32_t, Placement> placed;  // by gid; w = 0 until the tile is resolved
    // Calls emit(cell, fragment) for every cell a tile of layer `l` (picture
    // layer p, or -1 for a map layer: the tile's own cell only) covers, in
    // the layer's drawing order.
    auto each = [&](const TmxLayer& l, int p, auto&& emit) {
        const bool up = map.renderorder == kTmxRightUp || map.renderorder == kTmxLeftUp;
        const bool left = map.renderorder == kTmxLeftDown || map.renderorder == kTmxLeftUp;
        for (int64_t r = 0; r < H; r++) {
            const int64_t y = up ? H - 1 - r : r;
            for (int64_t c = 0; c < W; c++) {
                const int64_t x = left ? W - 1 - c : c;
                const uint32_t g = l.gids[static_cast<size_t>(y * W + x)] & ~0x10000000u;
                if (!(g & kTmxGidMask)) continue;
                Placement& pl = placed[g];
                if (!pl.w) {
                    const TileRef ref = Resolve(g, CellText(l.name, y * W + x, map.width));
                    const auto [w, h] = TileSize(ref);
                    const TmxTileset& ts = map.tilesets[ref.ts];
                    pl = {ts.offsetx, ts.offsety, std::max(w, 1), std::max(h, 1)};
                }
                if (p < 0) {
                    emit(y * W + x, Fragment{g, p, 0, th - pl.h});
                    continue;
                }
                const int64_t x0 = x * tw + l.offx + pl.offx, y0 = (y + 1) * th + l.offy + pl.offy - pl.h;
                const int64_t gx0 = std::max<int64_t>(0, FloorDiv(x0, tw));
                const int64_t gx1 = std::min<int64_t>(W - 1, FloorDiv(x0 + pl.w - 1, tw));
                const int64_t gy0 = std::max<int64_t>(0, FloorDiv(y0, th));
                const int64_t gy1 = std::min<int64_t>(H - 1, FloorDiv(y0 + pl.h - 1, th));
                for (int64_t gy = gy0; gy <= gy1; gy++) {
                    for (int64_t gx = gx0; gx <= gx1; gx++) {
                        emit(gy * W + gx,
                             Fragment{g, p, static_cast<int32_t>(x0 - gx * tw), static_cast<int32_t>(y0 - gy * th)});
                    }
                }
            }
        }
    };

    // The picture layers' fragments of every cell, counted, then laid out in
    // one array in each cell's drawing order.
    std::vector<uint32_t> start(static_cast<size_t>(ncells) + 1, 0);
    for (size_t p = 0; p < picture.size(); p++) {
        each(map.layers[picture[p]], static_cast<int>(p), [&](int64_t cell, const Fragment&) { start[cell + 1]++; });
    }
    for (size_t i = 0; i < static_cast<size_t>(ncells); i++) start[i + 1] += start[i];
    if (start.back() > static_cast<uint64_t>(options.limits.maxlayercells)) {
        TmxThrow(map.file, "the layers' tiles cover more than the converter's limit of %lld cells",
                 static_cast<long long>(options.limits.maxlayercells));
    }
    std::vector<Fragment> frags(start.back());
    std::vector<uint32_t> fill(start.begin(), start.end() - 1);
    for (size_t p = 0; p < picture.size(); p++) {
        each(map.layers[picture[p]], static_cast<int>(p),
             [&](int64_t cell, const Fragment& f) { frags[fill[cell]++] = f; });
    }

    CellKeys ck;
    std::unordered_map<std::string, int> index;
    std::string key;
    auto intern = [&](const Fragment* f, size_t n, const std::string& layer, int64_t cell) {
        key.assign(reinterpret_cast<const char*>(f), n * sizeof(Fragment));
        auto it = index.find(key);
        if (it != index.end()) return it->second;
        const int k = static_cast<int>(ck.keys.size());
        index.emplace(key, k);
        ck.keys.emplace_back(f, f + n);
        ck.where.push_back(CellText(layer, cell, map.width));
        return k;
    };
    ck.cells[0].resize(static_cast<size_t>(ncells));
    for (int64_t i = 0; i < ncells; i++) {
        const size_t n = start[i + 1] - start[i];
        const std::string& layer = n ? map.layers[picture[frags[start[i + 1] - 1].p]].name : "";
        ck.cells[0][static_cast<size_t>(i)] = intern(frags.data() + start[i], n, layer, i);
    }
    for (int n = 1; n < 8; n++) {
        if (extra[n] < 0) continue;
        const TmxLayer& l = map.layers[extra[n]];
        std::vector<int>& cells = ck.cells[n];
        cells.assign(static_cast<size_t>(ncells), intern(nullptr, 0, l.name, 0));
        each(l, -1, [&](int64_t cell, const Fragment& f) { cells[cell] = intern(&f, 1, l.name, cell); });
    }
    return ck;
}
