// The importer's objects and sprites: sprite sheets (given, or tilesets
// marked as sprites) and the tiles that tile objects show become named
// images on the map's palette; the map's properties and object layers go
// into the map file with file paths made relative to it.
#include <algorithm>
#include <cmath>
#include <map>
#include <tuple>

#include "tmximport.h"

namespace {

std::string BaseName(const std::string& path) {
    std::string name = path.substr(path.rfind('/') == std::string::npos ? 0 : path.rfind('/') + 1);
    const size_t dot = name.rfind('.');
    return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

// Where a tile object's (x, y) lies on its image of w x h pixels: Tiled
// aligns the image there by its tileset's object alignment (bottom-left
// when unspecified on an orthogonal map), then moves it by the tile offset.
void Origin(const TmxTileset& ts, int w, int h, int& ox, int& oy) {
    const std::string& a = ts.align;
    int dx = 0, dy = -h;  // bottom-left
    if (a == "topleft" || a == "top" || a == "topright") dy = 0;
    if (a == "left" || a == "center" || a == "right") dy = -h / 2;
    if (a == "top" || a == "center" || a == "bottom") dx = -w / 2;
    if (a == "topright" || a == "right" || a == "bottomright") dx = -w;
    ox = -(dx + ts.offsetx);
    oy = -(dy + ts.offsety);
}

void CheckSide(const std::string& file, const std::string& name, int w, int h) {
    if (w > MAPSPRITE_MAXSIDE || h > MAPSPRITE_MAXSIDE) {
        TmxThrow(file, "sprite image \"%s\" is %d x %d pixels, at most %d a side", name.c_str(), w, h,
                 MAPSPRITE_MAXSIDE);
    }
}

// A path made relative to the map file, which must still fit the map
// file's strings.
std::string Relative(const std::string& path, const std::string& folder, const std::string& file) {
    std::string r = TmxRelativePath(path, folder);
    if (r.size() > MAPOBJ_MAXSTRING) {
        TmxThrow(file, "a path relative to the map file has %zu bytes, at most %d", r.size(), MAPOBJ_MAXSTRING);
    }
    return r;
}

void Rewrite(std::vector<MAPPROP>& props, const std::string& folder, const std::string& file) {
    for (MAPPROP& p : props) {
        if (p.type == "file") p.value = Relative(p.value, folder, file);
    }
}

}  // namespace

void Importer::GatherSprites(const std::function<void(const std::string&)>& use) {
    for (const TmxSpriteSheet& s : options.sprites) {
        const TmxImage& img = Image(s.path);
        Sprite sp;
        sp.path = s.path;
        sp.desc.name = s.name.empty() ? BaseName(s.path) : s.name;
        sp.desc.width = img.width;
        sp.desc.height = img.height;
        sp.desc.framewidth = s.framewidth ? s.framewidth : img.width;
        sp.desc.frameheight = s.frameheight ? s.frameheight : img.height;
        if (sp.desc.framewidth < 1 || sp.desc.frameheight < 1 || sp.desc.framewidth > img.width ||
            sp.desc.frameheight > img.height) {
            TmxThrow(s.path, "frames of %d x %d pixels do not fit the %d x %d image", sp.desc.framewidth,
                     sp.desc.frameheight, img.width, img.height);
        }
        CheckSide(s.path, sp.desc.name, img.width, img.height);
        use(s.path);
        sprites.push_back(std::move(sp));
    }
    // Tilesets marked as sprites: an image tileset is one sheet of its tiles,
    // a collection one image per tile.
    for (size_t t = 0; t < map.tilesets.size(); t++) {
        const TmxTileset& ts = map.tilesets[t];
        if (!BoolProp(ts.props, "sprites")) continue;
        if (!ts.image.empty()) {
            const TmxImage& img = Image(ts.image);
            Sprite sp;
            sp.path = ts.image;
            sp.desc.name = ts.name;
            sp.x0 = sp.y0 = ts.margin;
            sp.spacing = ts.spacing;
            sp.cols = std::max(0, (img.width - 2 * ts.margin + ts.spacing) / (ts.tilewidth + ts.spacing));
            const int rows = std::max(0, (img.height - 2 * ts.margin + ts.spacing) / (ts.tileheight + ts.spacing));
            if (!sp.cols || !rows) TmxThrow(ts.file, "tileset \"%s\": its image holds no tile", ts.name.c_str());
            sp.desc.framewidth = ts.tilewidth;
            sp.desc.frameheight = ts.tileheight;
            sp.desc.width = sp.cols * ts.tilewidth;
            sp.desc.height = rows * ts.tileheight;
            CheckSide(ts.file, ts.name, sp.desc.width, sp.desc.height);
            use(ts.image);
            sprites.push_back(std::move(sp));
            continue;
        }
        for (const auto& [id, tile] : ts.tiles) {
            if (tile.image.empty()) continue;
            Sprite sp;
            sp.ref = {static_cast<int>(t), id, 0};
            const auto [w, h] = TileSize(sp.ref);
            if (w < 1 || h < 1) continue;
            sp.desc.name = ts.name + "/" + std::to_string(id);
            sp.desc.width = sp.desc.framewidth = w;
            sp.desc.height = sp.desc.frameheight = h;
            CheckSide(ts.file, sp.desc.name, w, h);
            use(tile.image);
            sprites.push_back(std::move(sp));
        }
    }
    // The tiles tile objects show, each once, in the order objects first
    // show them; an animated tile shows its first frame, as Tiled draws it
    // before anything plays.
    std::map<std::pair<int, int>, int> spriteof;
    for (size_t li = 0; li < map.objlayers.size(); li++) {
        MAPOBJLAYERDESC& l = map.objlayers[li];
        for (size_t oi = 0; oi < l.objects.size(); oi++) {
            MAPOBJDESC& o = l.objects[oi];
            if (o.shape != MAPSHAPE_TILE) continue;
            const std::string who = TmxObjectName(o);
            // A tile no tileset has, or whose image is missing, is drawn as
            // nothing, as Tiled shows nothing of it but a marker.
            auto blank = [&](const std::string& name, const char* kind) {
                map.warnings.Add(kind, who);
                o.sprite = static_cast<int>(sprites.size());
                Sprite sp;
                sp.blank = true;
                sp.desc.name = name;
                sp.desc.tile = true;
                sp.desc.width = sp.desc.framewidth = std::clamp(static_cast<int>(o.width), 1, int{MAPSPRITE_MAXSIDE});
                sp.desc.height = sp.desc.frameheight =
                    std::clamp(static_cast<int>(o.height), 1, int{MAPSPRITE_MAXSIDE});
                sp.desc.originy = sp.desc.height;
                sprites.push_back(std::move(sp));
            };
            // A template's tile counts from the template's tileset.
            const auto from = map.templatetiles.find({li, oi});
            const int64_t gid = o.gid & kTmxGidMask;
            int t = -1, id = 0;
            if (from != map.templatetiles.end()) {
                std::tie(t, id) = from->second;
            } else {
                for (size_t i = 0; i < map.tilesets.size() && map.tilesets[i].firstgid <= gid; i++)
                    t = static_cast<int>(i);
                if (t >= 0) id = static_cast<int>(gid - map.tilesets[t].firstgid);
            }
            if (t < 0 || !Declared(t, id)) {
                blank(from != map.templatetiles.end() ? map.tilesets[t].name + "/" + std::to_string(id)
                                                      : "missing/" + std::to_string(gid),
                      "tile objects showing a tile no tileset has (kept, drawn as nothing)");
                continue;
            }
            TileRef r{t, id, 0};
            if (const std::string& path = ImagePath(r); !path.empty() && !imageof.count(path)) {
                try {
                    Image(path);
                } catch (const TmxFail& f) {
                    if (f.reason.compare(0, 11, "cannot open") != 0) throw;
                    blank(map.tilesets[r.ts].name + "/" + std::to_string(r.id),
                          "tile objects whose tile's image is missing (kept, drawn as nothing)");
                    continue;
                }
            }
            if (const TmxTile* d = Def(r); d && !d->anim.empty() && Declared(r.ts, d->anim[0].first)) {
                r.id = d->anim[0].first;
            }
            const auto [w, h] = TileSize(r);
            if (o.width == 0 && o.height == 0) o.width = w, o.height = h;  // Tiled sizes it so
            if (o.rotation != 0 || o.width != w || o.height != h || (o.gid & kTmxFlipD)) {
                map.warnings.Add("tile objects rotated, resized or flipped diagonally are kept, not drawn", who);
            }
            if (l.opacity < 1) map.warnings.Add("translucent object layers' tile objects are drawn opaque", l.name);
            auto [it, fresh] = spriteof.emplace(std::make_pair(r.ts, r.id), static_cast<int>(sprites.size()));
            o.sprite = it->second;
            if (!fresh) continue;
            const TmxTileset& ts = map.tilesets[r.ts];
            Sprite sp;
            sp.ref = r;
            sp.desc.name = ts.name + "/" + std::to_string(r.id);
            sp.desc.tile = true;
            sp.desc.width = sp.desc.framewidth = std::max(w, 1);
            sp.desc.height = sp.desc.frameheight = std::max(h, 1);
            CheckSide(ts.file, sp.desc.name, w, h);
            Origin(ts, w, h, sp.desc.originx, sp.desc.originy);
            use(ImagePath(r));
            sprites.push_back(std::move(sp));
        }
    }
    if (sprites.size() > MAPSPRITE_MAX) {
        TmxThrow(map.file, "%zu sprite images, at most %d", sprites.size(), MAPSPRITE_MAX);
    }
}

void Importer::SpritePixels() {
    for (Sprite& sp : sprites) {
        const int w = sp.desc.width, h = sp.desc.height;
        sp.px.assign(size_t(w) * h, 0);
        if (sp.blank) continue;
        if (sp.path.empty()) {
            // A tile, as drawn unflipped.
            const Drawn d = TileDrawn(sp.ref);
            for (int y = 0; y < std::min(h, d.h); y++) {
                for (int x = 0; x < std::min(w, d.w); x++) {
                    const uint32_t v = d.px[size_t(y) * d.stride + x];
                    sp.px[size_t(y) * w + x] = (v >> 24) >= 128 ? v | 0xFF000000u : 0;
                }
            }
            continue;
        }
        // A sheet: its frames packed edge to edge.
        const TmxImage& img = Image(sp.path);
        const int fw = sp.desc.framewidth, fh = sp.desc.frameheight;
        const int step = sp.spacing;
        for (int y = 0; y < h; y++) {
            for (int x = 0; x < w; x++) {
                const int ix = sp.cols ? sp.x0 + (x / fw) * (fw + step) + x % fw : x;
                const int iy = sp.cols ? sp.y0 + (y / fh) * (fh + step) + y % fh : y;
                if (ix >= img.width || iy >= img.height) continue;
                const size_t i = size_t(iy) * img.width + ix;
                uint32_t v;
                if (indexmode)
                    v = img.index[i] ? img.index[i] | 0xFF000000u : 0;
                else
                    v = (img.rgba[i] >> 24) >= 128 ? img.rgba[i] | 0xFF000000u : 0;
                sp.px[size_t(y) * w + x] = v;
            }
        }
    }
}

void Importer::FinishObjects(MAPDESC& m, const uint8_t* indices) {
    const std::string folder = TmxFolder(options.output.empty() ? map.file : options.output);
    m.props = std::move(map.props);
    Rewrite(m.props, folder, map.file);
    // A layer is above the picture when a tile layer of the picture comes
    // before the map's top-level layer it is or is in.
    int first = INT32_MAX;
    for (const TmxLayer& l : map.layers) {
        if (l.picture) first = std::min(first, l.top);
    }
    m.objlayers = std::move(map.objlayers);
    for (size_t i = 0; i < m.objlayers.size(); i++) {
        MAPOBJLAYERDESC& l = m.objlayers[i];
        l.above = first < map.objtop[i];
        Rewrite(l.props, folder, map.file);
        for (MAPOBJDESC& o : l.objects) {
            o.gid &= kTmxFlipH | kTmxFlipV | kTmxFlipD;
            Rewrite(o.props, folder, map.file);
            if (!o.templ.empty()) o.templ = Relative(o.templ, folder, map.file);
        }
    }
    size_t at = 0;
    for (Sprite& sp : sprites) {
        sp.desc.pixels.assign(indices + at, indices + at + sp.px.size());
        at += sp.px.size();
        m.sprites.push_back(std::move(sp.desc));
    }
    sprites.clear();
}
