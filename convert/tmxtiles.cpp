// Tile pictures for the importer: images loaded once, gids resolved to
// tiles, a tile's pixels with its flips baked in, what it shows of each cell
// it covers, and the composites of a cell's slots as Tiled blends them.
#include <algorithm>
#include <cmath>

#include "tmximport.h"

namespace {

std::string Key(std::initializer_list<int32_t> v) {
    std::string k(v.size() * 4, '\0');
    size_t i = 0;
    for (int32_t x : v) std::memcpy(&k[4 * i++], &x, 4);
    return k;
}

}  // namespace

const TmxImage& Importer::Image(const std::string& path) {
    auto it = imageof.find(path);
    if (it != imageof.end()) return images[it->second];
    TmxImage img = TmxDecodePng(TmxLoadFile(options, path), path, options.limits.maxpixels);
    imageof.emplace(path, static_cast<int>(images.size()));
    images.push_back(std::move(img));
    return images.back();
}

int Importer::ImageTiles(const TmxTileset& ts) {
    const TmxImage& img = Image(ts.image);
    if (ts.tilewidth < 1 || ts.tileheight < 1) return 0;
    const int cols = (img.width - 2 * ts.margin + ts.spacing) / (ts.tilewidth + ts.spacing);
    const int rows = (img.height - 2 * ts.margin + ts.spacing) / (ts.tileheight + ts.spacing);
    return std::max(cols, 0) * std::max(rows, 0);
}

bool Importer::Declared(int t, int id) {
    TmxTileset& ts = map.tilesets[t];
    if (ts.image.empty()) {
        auto it = ts.tiles.find(id);
        return it != ts.tiles.end() && !it->second.image.empty();
    }
    if (ts.tilecount < 0) {
        // Tiled counts the tiles of the image when the tileset does not say.
        map.warnings.Add("tilesets without a tilecount, counted from their image", ts.name);
        ts.tilecount = ImageTiles(ts);
    }
    return id < ts.tilecount;
}

TileRef Importer::Resolve(uint32_t gid, const std::string& where) {
    const int64_t id = gid & kTmxGidMask;
    int t = -1;
    for (size_t i = 0; i < map.tilesets.size() && map.tilesets[i].firstgid <= id; i++) t = static_cast<int>(i);
    if (t < 0 || !Declared(t, static_cast<int>(id - map.tilesets[t].firstgid))) {
        TmxThrow(map.file, "gid %lld %s is beyond every tileset", static_cast<long long>(id), where.c_str());
    }
    return {t, static_cast<int>(id - map.tilesets[t].firstgid), gid & (kTmxFlipH | kTmxFlipV | kTmxFlipD)};
}

const TmxTile* Importer::Def(const TileRef& r) {
    const auto& defs = map.tilesets[r.ts].tiles;
    auto it = defs.find(r.id);
    return it == defs.end() ? nullptr : &it->second;
}

const std::string& Importer::ImagePath(const TileRef& r) {
    static const std::string none;
    const TmxTileset& ts = map.tilesets[r.ts];
    if (!ts.image.empty()) return ts.image;
    const TmxTile* d = Def(r);
    return d ? d->image : none;
}

std::pair<int, int> Importer::TileSize(const TileRef& r) {
    const TmxTileset& ts = map.tilesets[r.ts];
    int w = ts.tilewidth, h = ts.tileheight;
    if (ts.image.empty()) {
        const std::string& path = ImagePath(r);
        if (path.empty()) {
            w = h = 0;
        } else {
            const TmxImage& img = Image(path);
            w = img.width, h = img.height;
        }
    }
    if (r.flips & kTmxFlipD) std::swap(w, h);
    return {w, h};
}

const std::vector<uint32_t>& Importer::Tile(const TileRef& r) {
    std::string key = Key({r.ts, r.id, static_cast<int32_t>(r.flips)});
    auto it = tileof.find(key);
    if (it != tileof.end()) return tiles[it->second];
    const TmxTileset& ts = map.tilesets[r.ts];
    const auto [ow, oh] = TileSize(r);                                               // as drawn
    const int w = r.flips & kTmxFlipD ? oh : ow, h = r.flips & kTmxFlipD ? ow : oh;  // as stored
    std::vector<uint32_t> px(size_t(w) * h, 0);
    const std::string& path = ImagePath(r);
    if (!path.empty()) {
        const TmxImage& img = Image(path);
        int x0 = 0, y0 = 0;
        bool inside = true;
        if (!ts.image.empty()) {
            const int cols = std::max(1, (img.width - 2 * ts.margin + ts.spacing) / (w + ts.spacing));
            x0 = ts.margin + (r.id % cols) * (w + ts.spacing);
            y0 = ts.margin + (r.id / cols) * (h + ts.spacing);
            inside = x0 + w <= img.width && y0 + h <= img.height;
            if (!inside) map.warnings.Add("tilesets that declare more tiles than their image holds", ts.name);
        }
        for (int y = 0; inside && y < h; y++) {
            for (int x = 0; x < w; x++) {
                const size_t at = size_t(y0 + y) * img.width + x0 + x;
                uint32_t v;
                if (indexmode) {
                    const uint32_t k = img.index[at];
                    v = k ? k | 0xFF000000u : 0;
                } else {
                    v = img.rgba[at];
                    if (ts.hastrans && (v & 0xFFFFFF) == ts.trans) v = 0;
                }
                px[size_t(y) * w + x] = v;
            }
        }
    }
    if (r.flips) {
        // The pixel drawn at (x, y): undo the vertical, then the horizontal,
        // then the diagonal flip, which swaps the tile's sides.
        std::vector<uint32_t> out(px.size());
        for (int y = 0; y < oh; y++) {
            for (int x = 0; x < ow; x++) {
                int sx = x, sy = y;
                if (r.flips & kTmxFlipV) sy = oh - 1 - sy;
                if (r.flips & kTmxFlipH) sx = ow - 1 - sx;
                if (r.flips & kTmxFlipD) std::swap(sx, sy);
                out[size_t(y) * ow + x] = px[size_t(sy) * w + sx];
            }
        }
        px.swap(out);
    }
    tileof.emplace(std::move(key), static_cast<int>(tiles.size()));
    tiles.push_back(std::move(px));
    return tiles.back();
}

const std::vector<uint32_t>& Importer::Picture(const TileRef& r, int dx, int dy) {
    const auto [w, h] = TileSize(r);
    if (dx == 0 && dy == 0 && w == tw && h == th) return Tile(r);
    std::string key = Key({r.ts, r.id, static_cast<int32_t>(r.flips), dx, dy});
    auto it = pictureof.find(key);
    if (it != pictureof.end()) return pictures[it->second];
    const std::vector<uint32_t>& tile = Tile(r);
    std::vector<uint32_t> px(tilepx, 0);
    const int x0 = std::max(0, dx), x1 = std::min(tw, dx + w), y0 = std::max(0, dy), y1 = std::min(th, dy + h);
    for (int y = y0; y < y1; y++) {
        for (int x = x0; x < x1; x++) px[size_t(y) * tw + x] = tile[size_t(y - dy) * w + (x - dx)];
    }
    pictureof.emplace(std::move(key), static_cast<int>(pictures.size()));
    pictures.push_back(std::move(px));
    return pictures.back();
}

int Importer::Composite(std::vector<uint32_t>& px) {
    if (std::all_of(px.begin(), px.end(), [](uint32_t v) { return v == 0; })) return -1;
    std::string key(reinterpret_cast<const char*>(px.data()), px.size() * 4);
    auto it = compof.find(key);
    if (it != compof.end()) return it->second;
    const int n = static_cast<int>(comps.size());
    compof.emplace(std::move(key), n);
    comps.push_back(std::move(px));
    return n;
}

void Importer::Slots(const std::vector<std::pair<const Piece*, TileRef>>& drawn, int comp[4]) {
    std::vector<uint32_t> out[4];
    for (auto& o : out) o.assign(tilepx, 0);
    // What each piece shows of the cell on its frame: frames line up at the
    // bottom of the tile.
    std::vector<const std::vector<uint32_t>*> srcs;
    for (const auto& [piece, ref] : drawn)
        srcs.push_back(&Picture(ref, piece->dx, piece->dy + piece->h - TileSize(ref).second));
    // Tiles whose pixels are either opaque or see-through, at full opacity,
    // cover what is below them: each slot is its own tiles drawn in order.
    bool plain = true;
    for (size_t k = 0; k < drawn.size() && plain && !indexmode; k++) {
        plain = drawn[k].first->opacity == 1 && std::all_of(srcs[k]->begin(), srcs[k]->end(),
                                                            [](uint32_t v) { return v >> 24 == 0 || v >> 24 == 255; });
    }
    if (plain) {
        for (size_t k = 0; k < drawn.size(); k++) {
            const std::vector<uint32_t>& src = *srcs[k];
            std::vector<uint32_t>& o = out[drawn[k].first->slot];
            for (size_t i = 0; i < tilepx; i++) {
                if (src[i] >> 24) o[i] = src[i] | 0xFF000000u;
            }
        }
    } else {
        // Partly transparent pixels blend with everything beneath them in
        // the cell, whichever slot it went to: each slot shows, where its
        // own tiles change the picture (or are opaque), the picture up to
        // it. A pixel that ends at least half opaque is drawn, fully opaque.
        std::vector<float> c(4 * tilepx, 0.0f);  // red, green, blue, alpha
        std::vector<uint8_t> cover(tilepx);
        size_t k = 0;
        for (int slot = 0; slot < 4; slot++) {
            std::fill(cover.begin(), cover.end(), 0);
            std::vector<float> before;
            for (; k < drawn.size() && drawn[k].first->slot == slot; k++) {
                const Piece* piece = drawn[k].first;
                if (before.empty()) before = c;
                const std::vector<uint32_t>& src = *srcs[k];
                for (size_t i = 0; i < tilepx; i++) {
                    const float a = static_cast<float>((src[i] >> 24) / 255.0 * piece->opacity);
                    if (a <= 0) continue;
                    if (a >= 1) cover[i] = 1;
                    float* d = &c[4 * i];
                    const float o = a + d[3] * (1 - a);
                    for (int ch = 0; ch < 3; ch++) {
                        d[ch] = (static_cast<float>(src[i] >> (8 * ch) & 255) * a + d[ch] * d[3] * (1 - a)) / o;
                    }
                    d[3] = o;
                }
            }
            if (before.empty()) continue;  // no tile in this slot
            for (size_t i = 0; i < tilepx; i++) {
                const float* d = &c[4 * i];
                if (d[3] < 0.5f) continue;
                const uint32_t v = 0xFF000000u | static_cast<uint32_t>(std::lround(d[0])) |
                                   static_cast<uint32_t>(std::lround(d[1])) << 8 |
                                   static_cast<uint32_t>(std::lround(d[2])) << 16;
                const float* b = &before[4 * i];
                const bool changed = slot == 0 || cover[i] || std::lround(b[3] * 255) != std::lround(d[3] * 255) ||
                                     std::lround(b[0]) != std::lround(d[0]) || std::lround(b[1]) != std::lround(d[1]) ||
                                     std::lround(b[2]) != std::lround(d[2]);
                if (changed) out[slot][i] = v;
            }
        }
    }
    for (int s = 0; s < 4; s++) comp[s] = Composite(out[s]);
}
