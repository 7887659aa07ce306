// Tiled import: the map as read becomes a map file image. Each cell's stack
// of visible tiles, followed over time, becomes a block structure or a
// looping animation over block structures; graphics, blocks and animations
// are shared wherever they are equal.
#include "tmximport.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>
#include <numeric>
#include <stdexcept>
#include <type_traits>
#include <unordered_map>

namespace {

// The quarters after the flips: the diagonal flip first, then horizontal
// and vertical.
uint8_t FlipQuarters(uint8_t q, uint32_t flips) {
    auto bit = [&](int b) { return (q & b) != 0; };
    if (flips & kTmxFlipD)
        q = static_cast<uint8_t>((q & (kTmxTL | kTmxBR)) | (bit(kTmxTR) ? kTmxBL : 0) | (bit(kTmxBL) ? kTmxTR : 0));
    if (flips & kTmxFlipH)
        q = static_cast<uint8_t>((bit(kTmxTL) ? kTmxTR : 0) | (bit(kTmxTR) ? kTmxTL : 0) | (bit(kTmxBL) ? kTmxBR : 0) |
                                 (bit(kTmxBR) ? kTmxBL : 0));
    if (flips & kTmxFlipV)
        q = static_cast<uint8_t>((bit(kTmxTL) ? kTmxBL : 0) | (bit(kTmxBL) ? kTmxTL : 0) | (bit(kTmxTR) ? kTmxBR : 0) |
                                 (bit(kTmxBR) ? kTmxTR : 0));
    return q;
}

}  // namespace

const TmxProp* Importer::Prop(const TmxProps& props, const char* name) {
    auto it = props.find(name);
    return it == props.end() ? nullptr : &it->second;
}

int64_t Importer::IntProp(const TmxProps& props, const char* name, int64_t lo, int64_t hi, const TileRef& r,
                          bool* found) {
    const TmxProp* p = Prop(props, name);
    if (found) *found = p != nullptr;
    if (!p) return 0;
    const char* s = p->value.c_str();
    char* end = nullptr;
    errno = 0;
    const long long v = std::strtoll(s, &end, 10);
    if (!*s || *end || errno || v < lo || v > hi) {
        TmxThrow(map.tilesets[r.ts].file,
                 "tile %d of tileset \"%s\": property %s=\"%s\" must be a whole number from %lld to %lld", r.id,
                 map.tilesets[r.ts].name.c_str(), name, s, static_cast<long long>(lo), static_cast<long long>(hi));
    }
    return v;
}

bool Importer::BoolProp(const TmxProps& props, const char* name) {
    const TmxProp* p = Prop(props, name);
    return p && (p->value == "true" || p->value == "1");
}

void Importer::Apply(const TmxTile* def, uint32_t flips, const TileRef& r, BLKSTR& rec) {
    if (!def) return;
    const TmxProps& p = def->props;
    const uint8_t q = FlipQuarters(
        static_cast<uint8_t>(def->quarters | (BoolProp(p, "tl") ? kTmxTL : 0) | (BoolProp(p, "tr") ? kTmxTR : 0) |
                             (BoolProp(p, "bl") ? kTmxBL : 0) | (BoolProp(p, "br") ? kTmxBR : 0)),
        flips);
    rec.tl |= (q & kTmxTL) != 0;
    rec.tr |= (q & kTmxTR) != 0;
    rec.bl |= (q & kTmxBL) != 0;
    rec.br |= (q & kTmxBR) != 0;
    rec.trigger |= BoolProp(p, "trigger");
    rec.unused1 |= BoolProp(p, "unused1");
    rec.unused2 |= BoolProp(p, "unused2");
    rec.unused3 |= BoolProp(p, "unused3");
    // A user field takes a value of its width, signed or not.
    auto user = [&](const char* name, auto& field) {
        using T = std::remove_reference_t<decltype(field)>;
        using S = std::make_signed_t<T>;
        bool f;
        const int64_t v = IntProp(p, name, std::numeric_limits<S>::min(), std::numeric_limits<T>::max(), r, &f);
        if (f) field = static_cast<T>(v);
    };
    user("user1", rec.user1);
    user("user2", rec.user2);
    user("user3", rec.user3);
    user("user4", rec.user4);
    user("user5", rec.user5);
    user("user6", rec.user6);
    user("user7", rec.user7);
}

Stack Importer::MakeStack(const std::vector<Piece>& pieces, const std::vector<size_t>& frame) {
    Stack s;
    std::vector<std::pair<const Piece*, TileRef>> drawn[4];
    int below = -1;  // the slot of the piece under this one
    for (size_t i = 0; i < pieces.size(); i++) {
        const Piece& p = pieces[i];
        const TileRef r = p.frames.empty() ? p.ref : p.frames[frame[i]].first;
        // Partly transparent pixels blend with what is under them, so
        // such a tile joins the graphic of the tile below.
        const int slot = below >= 0 && !indexmode && Partial(r, p.opacity) ? below : p.slot;
        drawn[slot].emplace_back(&p, r);
        below = slot;
        Apply(p.def, p.ref.flips, p.ref, s.rec);
        if (r.id != p.ref.id) Apply(Def(r), r.flips, r, s.rec);
    }
    for (int k = 0; k < 4; k++) s.comp[k] = drawn[k].empty() ? -1 : Slot(drawn[k]);
    // A background with see-through pixels lets the parallax show.
    if (s.comp[0] < 0 || std::find(comps[s.comp[0]].begin(), comps[s.comp[0]].end(), 0u) != comps[s.comp[0]].end()) {
        s.rec.trigger = 1;
    }
    return s;
}

namespace {

std::string CellText(const std::string& layer, int64_t i, int width) {
    return "at cell (" + std::to_string(i % width) + ", " + std::to_string(i / width) + ") of layer \"" + layer + "\"";
}

// Reads the numbers of a comma-separated list.
bool NumberList(const std::string& s, std::vector<int>& out) {
    out.clear();
    const char* p = s.c_str();
    while (*p) {
        char* end = nullptr;
        errno = 0;
        const long v = std::strtol(p, &end, 10);
        if (end == p || errno || v < 0 || v > INT32_MAX) return false;
        out.push_back(static_cast<int>(v));
        p = end;
        while (*p == ' ') p++;
        if (*p == ',') p++;
    }
    return true;
}

// The layers that make the picture (visible tile layers with tiles, in
// drawing order) and the layers kept as LYR1..LYR7 (-1 where there is none).
void ChooseLayers(const TmxMap& map, std::vector<int>& picture, int extra[8]) {
    for (size_t i = 0; i < map.layers.size(); i++) {
        const TmxLayer& l = map.layers[i];
        auto it = l.props.find("layer");
        if (it != l.props.end()) {
            const std::string& v = it->second.value;
            const int n = v.size() == 1 && v[0] >= '1' && v[0] <= '7' ? v[0] - '0' : 0;
            if (!n) TmxThrow(map.file, "layer \"%s\": property layer=\"%s\" must be 1 to 7", l.name.c_str(), v.c_str());
            if (extra[n] >= 0) TmxThrow(map.file, "two layers are map layer %d", n);
            extra[n] = static_cast<int>(i);
        } else if (l.visible && l.opacity > 0 &&
                   std::any_of(l.gids.begin(), l.gids.end(), [](uint32_t g) { return (g & kTmxGidMask) != 0; })) {
            picture.push_back(static_cast<int>(i));
        }
    }
}

// Cells with the same gids in every layer share their result: each cell's
// gids, with the picture layer of each (-1 on LYR1..LYR7), are interned as
// a key. The key's first cell names it in messages.
struct CellKeys {
    std::vector<std::vector<std::pair<uint32_t, int>>> keys;
    std::vector<std::string> where;
    std::vector<int> cells[8];  // the key of each cell of BODY and LYR1..LYR7; empty = no such layer
    std::unordered_map<std::string, int> index;

    int Intern(const std::vector<std::pair<uint32_t, int>>& k, const std::string& layer, int64_t i, int width) {
        std::string s(reinterpret_cast<const char*>(k.data()), k.size() * sizeof k[0]);
        auto it = index.find(s);
        if (it != index.end()) return it->second;
        const int n = static_cast<int>(keys.size());
        index.emplace(std::move(s), n);
        keys.push_back(k);
        where.push_back(CellText(layer, i, width));
        return n;
    }
};

CellKeys MakeKeys(const TmxMap& map, const std::vector<int>& picture, const int extra[8]) {
    CellKeys ck;
    const int64_t ncells = int64_t{map.width} * map.height;
    std::vector<std::pair<uint32_t, int>> k;
    ck.cells[0].resize(static_cast<size_t>(ncells));
    for (int64_t i = 0; i < ncells; i++) {
        k.clear();
        std::string layer;
        for (size_t p = 0; p < picture.size(); p++) {
            const uint32_t g = map.layers[picture[p]].gids[static_cast<size_t>(i)] & ~0x10000000u;
            if (g & kTmxGidMask) {
                k.emplace_back(g, static_cast<int>(p));
                layer = map.layers[picture[p]].name;
            }
        }
        ck.cells[0][static_cast<size_t>(i)] = ck.Intern(k, layer, i, map.width);
    }
    for (int n = 1; n < 8; n++) {
        if (extra[n] < 0) continue;
        const TmxLayer& l = map.layers[extra[n]];
        ck.cells[n].resize(static_cast<size_t>(ncells));
        for (int64_t i = 0; i < ncells; i++) {
            const uint32_t g = l.gids[static_cast<size_t>(i)] & ~0x10000000u;
            k.clear();
            if (g & kTmxGidMask) k.emplace_back(g, -1);
            ck.cells[n][static_cast<size_t>(i)] = ck.Intern(k, l.name, i, map.width);
        }
    }
    return ck;
}

// The exported tileset, if the map comes from an export: its numbers of
// graphics, blocks and animations. Its image joins `used`.
void FindExported(Importer& im, std::vector<std::string>& used) {
    TmxMap& map = im.map;
    for (size_t t = 0; t < map.tilesets.size() && im.exported < 0; t++) {
        TmxTileset& ts = map.tilesets[t];
        const TmxProp* g = Importer::Prop(ts.props, "graphics");
        const TmxProp* b = Importer::Prop(ts.props, "blocks");
        const TmxProp* a = Importer::Prop(ts.props, "animations");
        if (!g || !b || !a || ts.image.empty()) continue;
        const TileRef r{static_cast<int>(t), 0, 0};
        im.ngfx = static_cast<int>(im.IntProp(ts.props, "graphics", 1, kMaxGraphics, r));
        im.nblocks = static_cast<int>(im.IntProp(ts.props, "blocks", 1, kMaxBlocks, r));
        im.nanims = static_cast<int>(im.IntProp(ts.props, "animations", 0, kMaxAnims, r));
        if (int64_t{im.ngfx} + im.nblocks + im.nanims > im.TileCount(ts)) {
            TmxThrow(ts.file, "tileset \"%s\" has fewer tiles than its graphics, blocks and animations",
                     ts.name.c_str());
        }
        im.exported = static_cast<int>(t);
        for (int i = 0; i < im.ngfx; i++) used.push_back(ts.image);
    }
}

// The parallax graphic: a repeating image layer at half speed, whose image
// joins `used`; null when the map has none.
const TmxImageLayer* FindParallax(Importer& im, std::vector<std::string>& used) {
    for (const TmxImageLayer& l : im.map.imagelayers) {
        if (l.image.empty() || !l.repeatx || !l.repeaty || l.parallaxx != 0.5 || l.parallaxy != 0.5) continue;
        const TmxImage& img = im.Image(l.image);
        if (img.width != im.tw || img.height != im.th) {
            TmxThrow(l.file, "image layer \"%s\": a parallax image must be one tile of %d x %d pixels, it is %d x %d",
                     l.name.c_str(), im.tw, im.th, img.width, img.height);
        }
        used.push_back(l.image);
        return &l;
    }
    return nullptr;
}

// Index mode: every image is a palette image with the same palette, in
// which only entry 0 is see-through. Indices are then kept as they are.
// `used` is left sorted, each image once.
void ChooseIndexMode(Importer& im, std::vector<std::string>& used, const std::vector<int>& picture,
                     const TmxImageLayer* para) {
    std::sort(used.begin(), used.end());
    used.erase(std::unique(used.begin(), used.end()), used.end());
    im.indexmode = !used.empty();
    for (const std::string& path : used) {
        const TmxImage& img = im.Image(path);
        const TmxImage& first = im.Image(used[0]);
        bool ok =
            img.indexed && img.plte == first.plte && img.trns == first.trns && !img.trns.empty() && img.trns[0] == 0;
        for (size_t i = 1; ok && i < img.trns.size(); i++) ok = img.trns[i] == 255;
        im.indexmode = im.indexmode && ok;
    }
    for (const TmxTileset& ts : im.map.tilesets) im.indexmode = im.indexmode && !ts.hastrans;
    for (int p : picture) im.indexmode = im.indexmode && im.map.layers[p].opacity == 1;
    if (para && para->hastrans) im.indexmode = false;
}

// A key's stacks over time. A lone tile of the exported tileset stands for
// its own block.
Timeline Line(Importer& im, const std::vector<Piece>& ps, const std::string& where) {
    if (im.exported >= 0 && ps.size() == 1 && ps[0].ref.ts == im.exported && !ps[0].ref.flips && ps[0].opacity == 1) {
        const int id = ps[0].ref.id;
        const TmxTile* def = ps[0].def;
        bool found = false;
        const int64_t alias = def ? im.IntProp(def->props, "block", 0, im.nblocks - 1, ps[0].ref, &found) : 0;
        Timeline tl;
        tl.isdirect = true;
        if (found) {
            tl.direct = static_cast<int>(32 * alias);
            return tl;
        }
        if (id >= im.ngfx && id < im.ngfx + im.nblocks) {
            tl.direct = 32 * (id - im.ngfx);
            return tl;
        }
    }
    return im.Follow(ps, where);
}

// The parallax image as composite pixels (see-through pixels 0); empty
// without a parallax.
std::vector<uint32_t> ParallaxPixels(Importer& im, const TmxImageLayer* para) {
    std::vector<uint32_t> px;
    if (!para) return px;
    const TmxImage& img = im.Image(para->image);
    px.resize(im.tilepx);
    for (size_t i = 0; i < im.tilepx; i++) {
        const uint32_t v = im.indexmode ? img.index[i] : img.rgba[i];
        const bool opaque =
            im.indexmode ? v != 0 : (v >> 24) >= 128 && !(para->hastrans && (v & 0xFFFFFF) == para->trans);
        px[i] = opaque ? v | 0xFF000000u : 0;
    }
    return px;
}

// The palette into `cmap`: kept in index mode (that of the first image in
// `used`), else made from the colours of the composites and the parallax,
// with the map's background colour as entry 0. The palette entry of each
// colour; empty in index mode.
std::unordered_map<uint32_t, uint8_t> MakePalette(Importer& im, const std::vector<std::string>& used,
                                                  const std::vector<uint32_t>& parapx, std::vector<uint8_t>& cmap) {
    std::unordered_map<uint32_t, uint8_t> colourindex;
    if (im.indexmode) {
        cmap = im.Image(used[0]).plte;
        return colourindex;
    }
    std::unordered_map<uint32_t, uint32_t> counts;
    for (const auto& c : im.comps) {
        for (uint32_t v : c) {
            if (v) counts[v & 0xFFFFFF]++;
        }
    }
    for (uint32_t v : parapx) {
        if (v) counts[v & 0xFFFFFF]++;
    }
    std::vector<uint32_t> colours, uses;
    for (const auto& [c, n] : counts) colours.push_back(c);
    std::sort(colours.begin(), colours.end());
    for (uint32_t c : colours) uses.push_back(counts[c]);
    std::vector<uint8_t> index;
    if (!TmxReduceColours(colours, uses, cmap, index)) TmxThrow(im.map.file, "colour reduction failed");
    for (size_t i = 0; i < colours.size(); i++) colourindex[colours[i]] = index[i];
    if (im.map.hasbackground) {
        cmap[0] = im.map.background & 0xFF;
        cmap[1] = im.map.background >> 8 & 0xFF;
        cmap[2] = im.map.background >> 16 & 0xFF;
    }
    return colourindex;
}

// An exported map's graphics (their pixels in `gfx`), block structures,
// frame list and animations, each under its number.
void SeedExported(Importer& im, MapBuilder& b, const std::vector<std::string>& gfx) {
    MAPDESC& m = b.m;
    for (const std::string& px : gfx) MapBuildAddGraphic(b, px);
    const TmxTileset& ts = im.map.tilesets[im.exported];
    auto def = [&](const TileRef& r) -> const TmxTile& {
        static const TmxTile none;
        const TmxTile* d = im.Def(r);
        return d ? *d : none;
    };
    const int tile = static_cast<int>(im.tilepx);
    for (int i = 0; i < im.nblocks; i++) {
        const TileRef r{im.exported, im.ngfx + i, 0};
        const TmxTile& d = def(r);
        BLKSTR rec{};
        im.Apply(&d, 0, r, rec);
        bool has[4];
        const char* names[4] = {"bg", "fg", "fg2", "fg3"};
        int32_t* offs[4] = {&rec.bgoff, &rec.fgoff, &rec.fgoff2, &rec.fgoff3};
        for (int s = 0; s < 4; s++) {
            const int64_t g = im.IntProp(d.props, names[s], s ? 1 : 0, im.ngfx - 1, r, &has[s]);
            *offs[s] = static_cast<int32_t>(g * tile);
        }
        if (!has[0])
            TmxThrow(ts.file, "tile %d of tileset \"%s\" is a block without a bg property", r.id, ts.name.c_str());
        MapBuildAddBlock(b, rec);
    }
    std::vector<int> frames;
    const TmxProp* fp = Importer::Prop(ts.props, "frames");
    if (!NumberList(fp ? fp->value : "", frames))
        TmxThrow(ts.file, "tileset \"%s\": property frames is not a list of block numbers", ts.name.c_str());
    for (int f : frames) {
        if (f >= im.nblocks)
            TmxThrow(ts.file, "tileset \"%s\": frame list names block %d of %d", ts.name.c_str(), f, im.nblocks);
        m.frames.push_back(32 * f);
    }
    const int nf = static_cast<int>(frames.size());
    for (int i = 0; i < im.nanims; i++) {
        const TileRef r{im.exported, im.ngfx + im.nblocks + i, 0};
        const TmxProps& p = def(r).props;
        MAPANIMDESC a;
        a.antype = static_cast<signed char>(im.IntProp(p, "antype", -128, 127, r));
        a.andelay = static_cast<signed char>(im.IntProp(p, "andelay", -128, 127, r));
        a.ancount = static_cast<signed char>(im.IntProp(p, "ancount", -128, 127, r));
        a.anuser = static_cast<signed char>(im.IntProp(p, "anuser", -128, 127, r));
        a.start = static_cast<int>(im.IntProp(p, "start", 0, nf, r));
        a.end = static_cast<int>(im.IntProp(p, "end", a.start, nf, r));
        a.cur = static_cast<int>(im.IntProp(p, "cur", 0, nf, r));
        if (a.start == a.end && a.start == nf)
            TmxThrow(ts.file, "tile %d: an animation without frames must start on a frame entry", r.id);
        if (a.antype == -1) TmxThrow(ts.file, "tile %d: antype -1 marks the end of the animations", r.id);
        m.anims.push_back(a);
    }
}

// Animation tiles of the exported tileset stand for their animation while
// Tiled plays them as exported; an edited animation is converted as Tiled
// plays it.
void KeepAnimations(Importer& im, const MAPDESC& m, const std::vector<std::vector<Piece>>& pieces,
                    std::vector<Timeline>& lines) {
    for (size_t key = 0; key < pieces.size(); key++) {
        const std::vector<Piece>& ps = pieces[key];
        if (lines[key].isdirect || ps.size() != 1 || ps[0].ref.ts != im.exported || ps[0].ref.flips ||
            ps[0].opacity != 1)
            continue;
        const int k2 = ps[0].ref.id - im.ngfx - im.nblocks;
        if (k2 < 0 || k2 >= im.nanims || !ps[0].def) continue;
        std::vector<std::pair<int, int>> want = TmxTiledFrames(m.anims[k2], m.frames);
        for (auto& f : want) f.first += im.ngfx;
        if (ps[0].def->anim == want) {
            lines[key].isdirect = true;
            lines[key].direct = -16 * (k2 + 1);
        }
    }
}

void Build(Importer& im, std::vector<uint8_t>& image) {
    TmxMap& map = im.map;
    const TmxLimits& lim = im.options.limits;
    const int64_t ncells = int64_t{map.width} * map.height;

    std::vector<int> picture;
    int extra[8] = {-1, -1, -1, -1, -1, -1, -1, -1};
    ChooseLayers(map, picture, extra);
    // More than four picture layers: the lowest merge into the background.
    const int np = static_cast<int>(picture.size());
    auto slotOf = [&](int k) { return np > 4 ? std::max(0, k - (np - 4)) : k; };
    const CellKeys ck = MakeKeys(map, picture, extra);
    const size_t nkeys = ck.keys.size();

    // Resolve every key's tiles; this also loads the images they use.
    std::vector<std::vector<Piece>> pieces(nkeys);
    std::vector<std::string> used;  // images the picture comes from
    for (size_t key = 0; key < nkeys; key++) {
        for (const auto& [gid, p] : ck.keys[key]) {
            const TileRef r = im.Resolve(gid, ck.where[key]);
            Piece piece = im.MakePiece(r, p < 0 ? 0 : slotOf(p), p < 0 ? 1 : map.layers[picture[p]].opacity);
            used.push_back(im.ImagePath(r));
            for (const auto& f : piece.frames) used.push_back(im.ImagePath(f.first));
            pieces[key].push_back(std::move(piece));
        }
    }
    FindExported(im, used);
    const TmxImageLayer* para = FindParallax(im, used);
    ChooseIndexMode(im, used, picture, para);

    std::vector<Timeline> lines(nkeys);
    for (size_t key = 0; key < nkeys; key++) lines[key] = Line(im, pieces[key], ck.where[key]);

    // Exported graphics keep their numbers.
    std::vector<int> seeded;
    if (im.exported >= 0) {
        for (int g = 0; g < im.ngfx; g++) {
            std::vector<uint32_t> px = im.Picture({im.exported, g, 0});
            for (uint32_t& v : px) v = (v >> 24) >= 128 ? v | 0xFF000000u : 0;
            seeded.push_back(im.Composite(px));
        }
    }
    const std::vector<uint32_t> parapx = ParallaxPixels(im, para);

    MapBuilder b;
    MAPDESC& m = b.m;
    m.width = map.width;
    m.height = map.height;
    m.blockwidth = im.tw;
    m.blockheight = im.th;
    m.cmap.assign(768, 0);
    std::unordered_map<uint32_t, uint8_t> colourindex = MakePalette(im, used, parapx, m.cmap);
    const int tile = static_cast<int>(im.tilepx);
    auto pixels = [&](const std::vector<uint32_t>& c) {
        std::string out(c.size(), '\0');
        for (size_t i = 0; i < c.size(); i++) {
            if (c[i]) out[i] = static_cast<char>(im.indexmode ? c[i] & 0xFF : colourindex[c[i] & 0xFFFFFF]);
        }
        return out;
    };
    const std::string empty(static_cast<size_t>(tile), '\0');

    // Graphics, blocks and animations: an exported map's first, with their
    // numbers; else block 0 is the empty one, which the drawing skips inside
    // the view.
    if (im.exported >= 0) {
        std::vector<std::string> gfx;
        for (int g : seeded) gfx.push_back(g < 0 ? empty : pixels(im.comps[g]));
        SeedExported(im, b, gfx);
        KeepAnimations(im, m, pieces, lines);
    }

    // Each key's cell value; a graphic that would have to be a foreground
    // graphic while it is graphic 0 gets a copy (offset 0 means none). A new
    // map's empty background graphic is given its number at the end, so that
    // it can also be the last graphic, the parallax.
    constexpr int kEmptyMark = kMaxGraphics;
    auto graphic = [&](int comp) {
        if (comp < 0 && im.exported < 0) return kEmptyMark;
        return MapBuildGraphic(b, comp < 0 ? empty : pixels(im.comps[comp]));
    };
    int zerocopy = -1;
    auto fggraphic = [&](int comp) {
        if (comp < 0) return -1;
        int g = graphic(comp);
        if (g == 0) {
            if (zerocopy < 0) {
                zerocopy = m.numblockgfx();
                const std::string first(m.gfx.begin(), m.gfx.begin() + tile);
                m.gfx.insert(m.gfx.end(), first.begin(), first.end());
            }
            g = zerocopy;
        }
        return g;
    };
    auto block = [&](const Stack& s) {
        const int fg[3] = {fggraphic(s.comp[1]), fggraphic(s.comp[2]), fggraphic(s.comp[3])};
        return MapBuildStack(b, graphic(s.comp[0]), fg, s.rec);
    };
    if (im.exported < 0) {
        Stack none;  // block 0: nothing to draw, the parallax behind
        none.rec.trigger = 1;
        block(none);
    }
    std::vector<int> value(nkeys);
    int64_t frames = static_cast<int64_t>(m.frames.size());
    for (size_t key = 0; key < nkeys; key++) {
        const Timeline& tl = lines[key];
        if (tl.isdirect) {
            value[key] = tl.direct;
        } else if (ck.keys[key].empty()) {
            value[key] = 0;
        } else if (tl.segments.size() == 1) {
            value[key] = 32 * block(tl.segments[0].first);
        } else {
            int64_t unit = 0;
            for (const auto& seg : tl.segments) unit = std::gcd(unit, seg.second);
            const int64_t delay = FrameSteps(unit);
            std::vector<int> seq;
            for (const auto& seg : tl.segments) {
                const int blk = block(seg.first);
                frames += seg.second / delay;
                if (frames > lim.maxframes) {
                    TmxThrow(map.file, "the animations need more than %lld frame entries",
                             static_cast<long long>(lim.maxframes));
                }
                seq.insert(seq.end(), static_cast<size_t>(seg.second / delay), blk);
            }
            value[key] = -16 * (MapBuildAnim(b, ANTYPE_LOOP_FWD, static_cast<signed char>(delay - 1), seq) + 1);
        }
    }
    const int nblocks = static_cast<int>(m.blocks.size()), nanims = static_cast<int>(m.anims.size());
    if (nblocks > kMaxBlocks) {
        TmxThrow(map.file, "the map needs %d block structures (distinct stacks of graphics), a map holds %d", nblocks,
                 kMaxBlocks);
    }
    if (nanims > kMaxAnims) TmxThrow(map.file, "the map needs %d animations, a map holds %d", nanims, kMaxAnims);

    // The parallax graphic goes last; without one, the last graphic is empty
    // so that the parallax shows palette entry 0, the background colour.
    const std::string parabytes = para ? pixels(parapx) : empty;
    if (im.exported < 0) {
        auto it = b.gfx.find(empty);
        const int none = para && it != b.gfx.end() ? it->second : MapBuildGraphic(b, empty);
        for (BLKSTR& blk : m.blocks) {
            if (blk.bgoff == kEmptyMark * tile) blk.bgoff = none * tile;
        }
    }
    if (m.gfx.size() < parabytes.size() ||
        std::memcmp(&m.gfx[m.gfx.size() - tile], parabytes.data(), static_cast<size_t>(tile))) {
        m.gfx.insert(m.gfx.end(), parabytes.begin(), parabytes.end());
    }
    if (m.numblockgfx() > kMaxGraphics) {
        TmxThrow(map.file, "the map needs %d graphics, a map holds %d", m.numblockgfx(), kMaxGraphics);
    }
    const uint64_t bytes =
        m.gfx.size() + m.frames.size() * 4 + m.anims.size() * 16 + m.blocks.size() * 32 + 16 * uint64_t(ncells) + 2048;
    if (bytes > UINT32_MAX) TmxThrow(map.file, "the map file would be larger than 4 GiB");

    for (int n = 0; n < 8; n++) {
        if (ck.cells[n].empty()) continue;
        m.layers[n].resize(ck.cells[n].size());
        for (size_t i = 0; i < ck.cells[n].size(); i++) m.layers[n][i] = static_cast<int16_t>(value[ck.cells[n][i]]);
    }
    image = MapSerialize(m);
}

bool Run(const char* xml, size_t size, const std::string& path, std::vector<uint8_t>& image, TmxError& err,
         const TmxImportOptions& options) {
    image.clear();
    try {
        TmxMap map;
        TmxParse(xml, size, path, options, map);
        Importer im(options, map);
        Build(im, image);
        return true;
    } catch (const TmxFail& f) {
        err = {f.file, f.reason};
    } catch (const std::bad_alloc&) {
        err = {path, "out of memory"};
    } catch (const std::length_error&) {
        err = {path, "out of memory"};
    }
    image.clear();
    return false;
}

}  // namespace

bool TmxImport(const std::string& path, std::vector<uint8_t>& image, TmxError& err, const TmxImportOptions& options) {
    std::vector<uint8_t> text;
    try {
        text = TmxLoadFile(options, path);
    } catch (const TmxFail& f) {
        err = {f.file, f.reason};
        image.clear();
        return false;
    }
    return Run(reinterpret_cast<const char*>(text.data()), text.size(), path, image, err, options);
}

bool TmxImportMemory(const char* xml, size_t size, const std::string& path, std::vector<uint8_t>& image, TmxError& err,
                     const TmxImportOptions& options) {
    return Run(xml, size, path, image, err, options);
}
