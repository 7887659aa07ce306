// Tile pictures for the importer: images loaded once, gids resolved to
// tiles, a tile's pixels with its flips baked in, and the composites of a
// cell's slot as Tiled blends them.
#include <algorithm>
#include <cmath>

#include "tmximport.h"

const TmxImage& Importer::Image(const std::string& path) {
    auto it = imageof.find(path);
    if (it != imageof.end()) return images[it->second];
    TmxImage img = TmxDecodePng(TmxLoadFile(options, path), path, options.limits.maxpixels);
    imageof.emplace(path, static_cast<int>(images.size()));
    images.push_back(std::move(img));
    return images.back();
}

int Importer::TileCount(TmxTileset& ts) {
    if (ts.image.empty()) return 0;
    if (!ts.columns && !ts.tilecount) {
        const TmxImage& img = Image(ts.image);
        const int cols = (img.width - 2 * ts.margin + ts.spacing) / (tw + ts.spacing);
        const int rows = (img.height - 2 * ts.margin + ts.spacing) / (th + ts.spacing);
        ts.columns = std::max(cols, 0);
        ts.tilecount = std::max(cols, 0) * std::max(rows, 0);
        if (!ts.tilecount) {
            TmxThrow(ts.image, "image of %d x %d pixels holds no %d x %d tile", img.width, img.height, tw, th);
        }
    }
    return ts.tilecount;
}

bool Importer::ValidTile(int t, int id) {
    TmxTileset& ts = map.tilesets[t];
    if (ts.image.empty()) {
        auto it = ts.tiles.find(id);
        return it != ts.tiles.end() && !it->second.image.empty();
    }
    return id < TileCount(ts);
}

TileRef Importer::Resolve(uint32_t gid, const std::string& where) {
    const int64_t id = gid & kTmxGidMask;
    int t = -1;
    for (size_t i = 0; i < map.tilesets.size() && map.tilesets[i].firstgid <= id; i++) t = static_cast<int>(i);
    if (t < 0 || !ValidTile(t, static_cast<int>(id - map.tilesets[t].firstgid))) {
        TmxThrow(map.file, "gid %lld %s is beyond every tileset", static_cast<long long>(id), where.c_str());
    }
    return {t, static_cast<int>(id - map.tilesets[t].firstgid), gid & (kTmxFlipH | kTmxFlipV | kTmxFlipD)};
}

const TmxTile* Importer::Def(const TileRef& r) {
    const auto& tiles = map.tilesets[r.ts].tiles;
    auto it = tiles.find(r.id);
    return it == tiles.end() ? nullptr : &it->second;
}

const std::string& Importer::ImagePath(const TileRef& r) {
    const TmxTileset& ts = map.tilesets[r.ts];
    return ts.image.empty() ? ts.tiles.at(r.id).image : ts.image;
}

const std::vector<uint32_t>& Importer::Picture(const TileRef& r) {
    std::string key(12, '\0');
    std::memcpy(&key[0], &r.ts, 4);
    std::memcpy(&key[4], &r.id, 4);
    std::memcpy(&key[8], &r.flips, 4);
    auto it = pictureof.find(key);
    if (it != pictureof.end()) return pictures[it->second];
    const TmxTileset& ts = map.tilesets[r.ts];
    const std::string& path = ImagePath(r);
    const TmxImage& img = Image(path);
    int x0 = 0, y0 = 0;
    if (ts.image.empty()) {
        if (img.width != tw || img.height != th) {
            TmxThrow(path, "image is %d x %d pixels, the map's tiles are %d x %d", img.width, img.height, tw, th);
        }
    } else {
        x0 = ts.margin + (r.id % ts.columns) * (tw + ts.spacing);
        y0 = ts.margin + (r.id / ts.columns) * (th + ts.spacing);
    }
    std::vector<uint32_t> px(tilepx);
    for (int y = 0; y < th; y++) {
        for (int x = 0; x < tw; x++) {
            const size_t at = size_t(y0 + y) * img.width + x0 + x;
            uint32_t v;
            if (indexmode) {
                const uint32_t k = img.index[at];
                v = k ? k | 0xFF000000u : 0;
            } else {
                v = img.rgba[at];
                if (ts.hastrans && (v & 0xFFFFFF) == ts.trans) v = 0;
            }
            px[size_t(y) * tw + x] = v;
        }
    }
    if (r.flips) {
        if ((r.flips & kTmxFlipD) && tw != th) {
            TmxThrow(map.file, "tile %d of tileset \"%s\" is flipped diagonally, which needs square tiles", r.id,
                     ts.name.c_str());
        }
        std::vector<uint32_t> out(tilepx);
        for (int y = 0; y < th; y++) {
            for (int x = 0; x < tw; x++) {
                // Where the pixel shown at (x, y) comes from: undo the
                // vertical, then the horizontal, then the diagonal flip.
                int sx = x, sy = y;
                if (r.flips & kTmxFlipV) sy = th - 1 - sy;
                if (r.flips & kTmxFlipH) sx = tw - 1 - sx;
                if (r.flips & kTmxFlipD) std::swap(sx, sy);
                out[size_t(y) * tw + x] = px[size_t(sy) * tw + sx];
            }
        }
        px.swap(out);
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

bool Importer::Partial(const TileRef& r, double opacity) {
    const std::vector<uint32_t>& px = Picture(r);
    return std::any_of(px.begin(), px.end(), [&](uint32_t v) {
        const uint32_t a = v >> 24;
        return (a > 0 && a < 255) || (a && opacity < 1);
    });
}

int Importer::Slot(const std::vector<std::pair<const Piece*, TileRef>>& drawn) {
    std::vector<uint32_t> px(tilepx, 0);
    if (indexmode) {
        for (const auto& [piece, ref] : drawn) {
            const std::vector<uint32_t>& src = Picture(ref);
            for (size_t i = 0; i < tilepx; i++) {
                if (src[i]) px[i] = src[i];
            }
        }
        return Composite(px);
    }
    std::vector<float> c(4 * tilepx, 0.0f);  // red, green, blue, alpha
    for (const auto& [piece, ref] : drawn) {
        const std::vector<uint32_t>& src = Picture(ref);
        for (size_t i = 0; i < tilepx; i++) {
            const float a = static_cast<float>((src[i] >> 24) / 255.0 * piece->opacity);
            if (a <= 0) continue;
            float* d = &c[4 * i];
            const float out = a + d[3] * (1 - a);
            for (int k = 0; k < 3; k++)
                d[k] = (static_cast<float>(src[i] >> (8 * k) & 255) * a + d[k] * d[3] * (1 - a)) / out;
            d[3] = out;
        }
    }
    for (size_t i = 0; i < tilepx; i++) {
        const float* d = &c[4 * i];
        if (d[3] < 0.5f) continue;
        px[i] = 0xFF000000u | static_cast<uint32_t>(std::lround(d[0])) | static_cast<uint32_t>(std::lround(d[1])) << 8 |
                static_cast<uint32_t>(std::lround(d[2])) << 16;
    }
    return Composite(px);
}
