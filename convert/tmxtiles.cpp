// Tile pictures for the importer: images loaded once, gids resolved to
// tiles, a tile's pixels with its flips baked in, what it shows of each cell
// it covers, and the composites of a cell's slots as Tiled blends them.
#include <algorithm>
#include <cmath>
#include <string_view>

#include "tmximport.h"

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

Importer::Drawn Importer::TileDrawn(const TileRef& r) {
    const uint64_t key = uint64_t(uint32_t(r.ts)) << 32 | uint64_t(uint32_t(r.id)) << 3 | r.flips >> 29;
    auto it = drawnof.find(key);
    if (it != drawnof.end()) return it->second;
    // Where the tile's pixels are: a region of its tileset's image, or its
    // own image in a collection; a tile its image lacks shows nothing.
    const TmxTileset& ts = map.tilesets[r.ts];
    const auto [ow, oh] = TileSize(r);                                               // as drawn
    const int w = r.flips & kTmxFlipD ? oh : ow, h = r.flips & kTmxFlipD ? ow : oh;  // as stored
    const std::string& path = ImagePath(r);
    const TmxImage* img = path.empty() ? nullptr : &Image(path);
    int x0 = 0, y0 = 0;
    if (img && !ts.image.empty()) {
        const int cols = std::max(1, (img->width - 2 * ts.margin + ts.spacing) / (w + ts.spacing));
        x0 = ts.margin + (r.id % cols) * (w + ts.spacing);
        y0 = ts.margin + (r.id / cols) * (h + ts.spacing);
        if (x0 + w > img->width || y0 + h > img->height) {
            map.warnings.Add("tilesets that declare more tiles than their image holds", ts.name);
            img = nullptr;
        }
    }
    Drawn d{nullptr, ow, ow, oh, true};
    if (!img || !ow || !oh) {
        copies.emplace_back(size_t(std::max(ow, 1)) * std::max(oh, 1), 0);
        d.px = copies.back().data();
        return drawnof[key] = d;
    }
    // The image as drawn: see-through pixels 0, in index mode palette
    // indices; a tileset's see-through colour makes a copy of its own.
    const std::string which = path + (ts.hastrans ? "#" + std::to_string(ts.trans) : "");
    const uint32_t*& base = keyed[which];
    if (!base) {
        std::vector<uint32_t>* pixels = const_cast<std::vector<uint32_t>*>(&img->rgba);
        if (ts.hastrans) {
            copies.push_back(img->rgba);
            pixels = &copies.back();
        }
        for (size_t i = 0; i < pixels->size(); i++) {
            uint32_t& v = (*pixels)[i];
            if (indexmode)
                v = img->index[i] ? img->index[i] | 0xFF000000u : 0;
            else if (!(v >> 24) || (ts.hastrans && (v & 0xFFFFFF) == ts.trans))
                v = 0;
        }
        base = pixels->data();
    }
    const uint32_t* src = base + size_t(y0) * img->width + x0;
    if (!r.flips) {
        d.px = src;
        d.stride = img->width;
    } else {
        std::vector<uint32_t> out(size_t(ow) * oh);
        for (int y = 0; y < oh; y++) {
            for (int x = 0; x < ow; x++) {
                // The stored pixel drawn here: undo the vertical, then the
                // horizontal, then the diagonal flip, which swaps the sides.
                int sx = x, sy = y;
                if (r.flips & kTmxFlipV) sy = oh - 1 - sy;
                if (r.flips & kTmxFlipH) sx = ow - 1 - sx;
                if (r.flips & kTmxFlipD) std::swap(sx, sy);
                out[size_t(y) * ow + x] = src[size_t(sy) * img->width + sx];
            }
        }
        copies.push_back(std::move(out));
        d.px = copies.back().data();
    }
    for (int y = 0; y < oh && d.binary; y++) {
        for (int x = 0; x < ow && d.binary; x++) {
            const uint32_t a = d.px[size_t(y) * d.stride + x] >> 24;
            d.binary = a == 0 || a == 255;
        }
    }
    return drawnof[key] = d;
}

std::vector<uint32_t> Importer::Picture(const TileRef& r, int dx, int dy) {
    const Drawn d = TileDrawn(r);
    std::vector<uint32_t> px(tilepx, 0);
    for (int y = std::max(0, dy); y < std::min(th, dy + d.h); y++) {
        for (int x = std::max(0, dx); x < std::min(tw, dx + d.w); x++) {
            px[size_t(y) * tw + x] = d.px[size_t(y - dy) * d.stride + (x - dx)];
        }
    }
    return px;
}

void Importer::Prepare(Piece& p) {
    auto add = [&](const TileRef& r) {
        const Drawn d = TileDrawn(r);
        p.views.push_back({d.px, d.stride, d.w, d.h, d.binary, p.dx, p.dy + p.h - d.h});
    };
    if (p.frames.empty()) add(p.ref);
    for (const auto& f : p.frames) add(f.first);
}

int Importer::Composite(std::vector<uint32_t>& px) {
    if (std::all_of(px.begin(), px.end(), [](uint32_t v) { return v == 0; })) return -1;
    const uint64_t hash =
        std::hash<std::string_view>{}(std::string_view(reinterpret_cast<const char*>(px.data()), px.size() * 4));
    const auto [first, last] = compof.equal_range(hash);
    for (auto it = first; it != last; ++it) {
        if (std::equal(px.begin(), px.end(), Comp(it->second))) return it->second;
    }
    compof.emplace(hash, ncomps);
    if (ncomps % kCompBlock == 0) {
        comps.emplace_back();
        comps.back().reserve(kCompBlock * tilepx);
    }
    comps.back().insert(comps.back().end(), px.begin(), px.end());
    return ncomps++;
}

namespace {

// x * y / 255, rounded, for bytes.
inline uint32_t Mul(uint32_t x, uint32_t y) {
    const uint32_t t = x * y + 128;
    return (t + (t >> 8)) >> 8;
}

}  // namespace

void Importer::Slots(const std::vector<std::pair<const Piece*, size_t>>& drawn, int comp[4]) {
    std::vector<uint32_t>* out = slotpx;
    bool used[4] = {false, false, false, false};
    for (const auto& d : drawn) used[d.first->slot] = true;
    for (int s = 0; s < 4; s++) {
        if (used[s]) out[s].assign(tilepx, 0);
    }
    // The part of the cell a view covers, and the pixel of the view there.
    struct Rect {
        int x0, y0, x1, y1;
    };
    auto rect = [&](const Piece::View& v) {
        return Rect{std::max(0, v.dx), std::max(0, v.dy), std::min(tw, v.dx + v.w), std::min(th, v.dy + v.h)};
    };
    // Tiles whose pixels are either opaque or see-through, at full opacity,
    // cover what is below them: each slot is its own tiles drawn in order.
    bool plain = true;
    for (size_t k = 0; k < drawn.size() && plain && !indexmode; k++) {
        plain = drawn[k].first->opacity == 1 && drawn[k].first->views[drawn[k].second].binary;
    }
    if (plain) {
        for (const auto& [piece, f] : drawn) {
            const Piece::View& v = piece->views[f];
            const Rect r = rect(v);
            uint32_t* o = out[piece->slot].data();
            for (int y = r.y0; y < r.y1; y++) {
                const uint32_t* src = v.px + size_t(y - v.dy) * v.stride - v.dx;
                for (int x = r.x0; x < r.x1; x++) {
                    if (src[x]) o[size_t(y) * tw + x] = src[x] | 0xFF000000u;
                }
            }
        }
    } else {
        // Partly transparent pixels blend with everything beneath them in
        // the cell, whichever slot it went to, in 8-bit premultiplied colour
        // as Tiled's painter blends: each slot shows, where its own tiles
        // change the picture (or are opaque), the picture up to it. A pixel
        // that ends at least half opaque is drawn, fully opaque.
        static const std::vector<uint32_t> kInverse = [] {
            std::vector<uint32_t> v(256, 0);
            for (uint32_t a = 1; a < 256; a++) v[a] = (255u << 16) / a;
            return v;
        }();
        std::vector<uint32_t>& c = blend;  // premultiplied A << 24 | B << 16 | G << 8 | R
        c.assign(tilepx, 0);
        cover.resize(tilepx);
        size_t k = 0;
        for (int slot = 0; slot < 4; slot++) {
            if (k == drawn.size() || drawn[k].first->slot != slot) continue;
            before = c;
            std::fill(cover.begin(), cover.end(), 0);
            Rect all{tw, th, 0, 0};  // what this slot's tiles cover
            for (; k < drawn.size() && drawn[k].first->slot == slot; k++) {
                const Piece* piece = drawn[k].first;
                const Piece::View& v = piece->views[drawn[k].second];
                const Rect r = rect(v);
                all = {std::min(all.x0, r.x0), std::min(all.y0, r.y0), std::max(all.x1, r.x1), std::max(all.y1, r.y1)};
                const uint32_t op = static_cast<uint32_t>(std::lround(piece->opacity * 255));
                for (int y = r.y0; y < r.y1; y++) {
                    const uint32_t* src = v.px + size_t(y - v.dy) * v.stride - v.dx;
                    for (int x = r.x0; x < r.x1; x++) {
                        const size_t i = size_t(y) * tw + x;
                        const uint32_t s = src[x], a = Mul(s >> 24, op);
                        if (!a) continue;
                        if (a == 255) {
                            c[i] = s | 0xFF000000u;
                            cover[i] = 1;
                            continue;
                        }
                        const uint32_t inv = 255 - a, d = c[i];
                        c[i] = (a + Mul(d >> 24, inv)) << 24 | (Mul(s & 255, a) + Mul(d & 255, inv)) |
                               (Mul(s >> 8 & 255, a) + Mul(d >> 8 & 255, inv)) << 8 |
                               (Mul(s >> 16 & 255, a) + Mul(d >> 16 & 255, inv)) << 16;
                    }
                }
            }
            // Outside what the slot's tiles cover nothing changed.
            for (int y = all.y0; y < all.y1; y++) {
                for (int x = all.x0; x < all.x1; x++) {
                    const size_t i = size_t(y) * tw + x;
                    const uint32_t a = c[i] >> 24;
                    if (a < 128 || !(slot == 0 || cover[i] || c[i] != before[i])) continue;
                    if (a == 255) {  // premultiplied and straight colours are the same
                        out[slot][i] = c[i];
                        continue;
                    }
                    const uint32_t inv = kInverse[a];
                    uint32_t v = 0xFF000000u;
                    for (int ch = 0; ch < 24; ch += 8) {
                        v |= std::min<uint32_t>(255, ((c[i] >> ch & 255) * inv + 0x8000) >> 16) << ch;
                    }
                    out[slot][i] = v;
                }
            }
        }
    }
    for (int s = 0; s < 4; s++) comp[s] = used[s] ? Composite(out[s]) : -1;
}
