// Tiled import: the map as read becomes a map file image. Each cell's stack
// of what the visible layers show in it, followed over time, becomes a block
// structure or a looping animation over block structures; graphics, blocks
// and animations are shared wherever they are equal. Past 1,024 blocks or
// 2,048 animations the map's cells hold numbers (mapformat.h).
#include "tmximport.h"

#include <sys/stat.h>
#ifdef __GLIBC__
#include <malloc.h>
#endif

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>
#include <numeric>
#include <stdexcept>
#include <type_traits>
#include <unordered_map>
#include <unordered_set>

namespace {

constexpr int kMaxBlocks = 32767;  // the header's 16-bit count
constexpr int kMaxAnims = 32767;   // numbered cells -1 to -32767
constexpr int kMaxGraphics = 32767;
constexpr int kOffsetBlocks = 1024, kOffsetAnims = 2048;  // what byte-offset cells reach

// Hands the memory the import freed back to the system, so that the next
// stage's does not add to it.
void GiveBack() {
#ifdef __GLIBC__
    malloc_trim(0);
#endif
}

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

void Importer::Apply(const Piece& piece, const TmxTile* def, uint32_t flips, BLKSTR& rec) {
    if (!def) return;
    const TmxProps& p = def->props;
    const TileRef& r = piece.ref;
    uint8_t q = FlipQuarters(static_cast<uint8_t>((BoolProp(p, "tl") ? kTmxTL : 0) | (BoolProp(p, "tr") ? kTmxTR : 0) |
                                                  (BoolProp(p, "bl") ? kTmxBL : 0) | (BoolProp(p, "br") ? kTmxBR : 0)),
                             flips);
    if (!def->boxes.empty()) {
        // The collision boxes as the tile is drawn: flipped with it, then
        // placed where its top-left lies in this cell.
        const auto [ow, oh] = TileSize({r.ts, r.id, flips});
        std::vector<TmxBox> boxes;
        for (TmxBox b : def->boxes) {
            if (flips & kTmxFlipD) b = {b.y0, b.x0, b.y1, b.x1};
            if (flips & kTmxFlipH) b = {ow - b.x1, b.y0, ow - b.x0, b.y1};
            if (flips & kTmxFlipV) b = {b.x0, oh - b.y1, b.x1, oh - b.y0};
            boxes.push_back({b.x0 + piece.dx, b.y0 + piece.dy, b.x1 + piece.dx, b.y1 + piece.dy});
        }
        q |= TmxQuarters(boxes, tw, th);
    }
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
    std::vector<std::pair<const Piece*, size_t>> drawn;
    drawn.reserve(pieces.size());
    for (size_t i = 0; i < pieces.size(); i++) {
        const Piece& p = pieces[i];
        const TileRef r = p.frames.empty() ? p.ref : p.frames[frame[i]].first;
        drawn.emplace_back(&p, p.frames.empty() ? 0 : frame[i]);
        Apply(p, p.def, p.ref.flips, s.rec);
        if (r.id != p.ref.id) Apply(p, Def(r), r.flips, s.rec);
    }
    Slots(drawn, s.comp);
    // A background with see-through pixels lets the parallax show.
    if (s.comp[0] < 0 || std::find(Comp(s.comp[0]), Comp(s.comp[0]) + tilepx, 0u) != Comp(s.comp[0]) + tilepx) {
        s.rec.trigger = 1;
    }
    return s;
}

namespace {

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
void ChooseLayers(TmxMap& map, std::vector<int>& picture, int extra[8]) {
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
            map.layers[i].picture = true;
            if (l.parallaxx != 1 || l.parallaxy != 1) {
                map.warnings.Add("tile layers' parallax factors are not carried (drawn at 1)", l.name);
            }
        }
    }
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
        if (!g || !b || !a || ts.image.empty() || ts.tilewidth != im.tw || ts.tileheight != im.th) continue;
        const TileRef r{static_cast<int>(t), 0, 0};
        im.ngfx = static_cast<int>(im.IntProp(ts.props, "graphics", 1, kMaxGraphics, r));
        im.nblocks = static_cast<int>(im.IntProp(ts.props, "blocks", 1, kMaxBlocks, r));
        im.nanims = static_cast<int>(im.IntProp(ts.props, "animations", 0, kMaxAnims, r));
        if (int64_t{im.ngfx} + im.nblocks + im.nanims > im.ImageTiles(ts)) {
            TmxThrow(ts.file, "tileset \"%s\" has fewer tiles than its graphics, blocks and animations",
                     ts.name.c_str());
        }
        im.exported = static_cast<int>(t);
        for (int i = 0; i < im.ngfx; i++) used.push_back(ts.image);
    }
}

// The parallax graphic: a repeating image layer at half speed whose image is
// one tile; its image joins `used`. Null when the map has none; any other
// image layer is said not to come across.
const TmxImageLayer* FindParallax(Importer& im, std::vector<std::string>& used) {
    const TmxImageLayer* para = nullptr;
    for (const TmxImageLayer& l : im.map.imagelayers) {
        if (l.image.empty()) continue;
        if (!para && l.repeatx && l.repeaty && l.parallaxx == 0.5 && l.parallaxy == 0.5) {
            const TmxImage& img = im.Image(l.image);
            if (img.width == im.tw && img.height == im.th) {
                used.push_back(l.image);
                para = &l;
                continue;
            }
        }
        im.map.warnings.Add(
            "image layers are not carried (only a repeating one-tile image at parallax 0.5 becomes the parallax)",
            l.name);
    }
    return para;
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

// A key's stacks over time. A lone tile of the exported tileset in its own
// cell stands for its own block or animation.
Timeline Line(Importer& im, const std::vector<Piece>& ps, const std::string& where) {
    if (im.exported >= 0 && ps.size() == 1 && ps[0].ref.ts == im.exported && !ps[0].ref.flips && ps[0].opacity == 1 &&
        !ps[0].dx && !ps[0].dy) {
        const int id = ps[0].ref.id;
        const TmxTile* def = ps[0].def;
        bool found = false;
        const int64_t alias = def ? im.IntProp(def->props, "block", 0, im.nblocks - 1, ps[0].ref, &found) : 0;
        Timeline tl;
        tl.direct = true;
        if (found) {
            tl.number = static_cast<int>(alias);
            return tl;
        }
        if (id >= im.ngfx && id < im.ngfx + im.nblocks) {
            tl.number = id - im.ngfx;
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

// The palette into `cmap` and every composite's pixels as palette entries,
// one composite after another in `indices`, the parallax's last: the palette
// is kept in index mode (that of the first image in `used`), else made from
// the colours of the composites and the parallax, with the map's background
// colour as entry 0.
void MakePalette(Importer& im, const std::vector<std::string>& used, const std::vector<uint32_t>& parapx,
                 std::vector<uint8_t>& cmap, std::vector<uint8_t>& indices) {
    std::vector<std::pair<const uint32_t*, size_t>> spans;  // the composites, the parallax, the sprites
    for (const auto& block : im.comps) spans.emplace_back(block.data(), block.size());
    if (!parapx.empty()) spans.emplace_back(parapx.data(), parapx.size());
    for (const Importer::Sprite& sp : im.sprites) spans.emplace_back(sp.px.data(), sp.px.size());
    if (im.indexmode) {
        cmap = im.Image(used[0]).plte;
        for (const auto& [px, n] : spans) {
            for (size_t i = 0; i < n; i++) indices.push_back(static_cast<uint8_t>(px[i]));
        }
        return;
    }
    if (!TmxQuantize(spans, cmap, indices)) TmxThrow(im.map.file, "colour reduction failed");
    if (im.map.hasbackground) {
        cmap[0] = im.map.background & 0xFF;
        cmap[1] = im.map.background >> 8 & 0xFF;
        cmap[2] = im.map.background >> 16 & 0xFF;
    }
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
        Piece p;
        p.ref = {im.exported, im.ngfx + i, 0};
        const TmxTile& d = def(p.ref);
        BLKSTR rec{};
        im.Apply(p, &d, 0, rec);
        bool has[4];
        const char* names[4] = {"bg", "fg", "fg2", "fg3"};
        int32_t* offs[4] = {&rec.bgoff, &rec.fgoff, &rec.fgoff2, &rec.fgoff3};
        for (int s = 0; s < 4; s++) {
            const int64_t g = im.IntProp(d.props, names[s], s ? 1 : 0, im.ngfx - 1, p.ref, &has[s]);
            *offs[s] = static_cast<int32_t>(g * tile);
        }
        if (!has[0]) {
            TmxThrow(ts.file, "tile %d of tileset \"%s\" is a block without a bg property", p.ref.id, ts.name.c_str());
        }
        MapBuildAddBlock(b, rec);
    }
    std::vector<int> frames;
    const TmxProp* fp = Importer::Prop(ts.props, "frames");
    if (!NumberList(fp ? fp->value : "", frames)) {
        TmxThrow(ts.file, "tileset \"%s\": property frames is not a list of block numbers", ts.name.c_str());
    }
    for (int f : frames) {
        if (f >= im.nblocks) {
            TmxThrow(ts.file, "tileset \"%s\": frame list names block %d of %d", ts.name.c_str(), f, im.nblocks);
        }
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
        if (a.start == a.end && a.start == nf) {
            TmxThrow(ts.file, "tile %d: an animation without frames must start on a frame entry", r.id);
        }
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
        if (lines[key].direct || ps.size() != 1 || ps[0].ref.ts != im.exported || ps[0].ref.flips ||
            ps[0].opacity != 1 || ps[0].dx || ps[0].dy) {
            continue;
        }
        const int k2 = ps[0].ref.id - im.ngfx - im.nblocks;
        if (k2 < 0 || k2 >= im.nanims || !ps[0].def) continue;
        std::vector<std::pair<int, int>> want = TmxTiledFrames(m.anims[k2], m.frames);
        for (auto& f : want) f.first += im.ngfx;
        if (ps[0].def->anim == want) lines[key] = {{}, true, true, k2};
    }
}

// Tilesets whose image the import never needed and that are missing: Tiled
// opens the map and draws their tiles as missing, and so does the import.
void WarnMissingImages(Importer& im) {
    for (const TmxTileset& ts : im.map.tilesets) {
        std::vector<std::string> paths;
        if (!ts.image.empty()) paths.push_back(ts.image);
        for (const auto& [id, t] : ts.tiles) {
            if (!t.image.empty()) paths.push_back(t.image);
        }
        for (const std::string& p : paths) {
            struct stat st {};
            if (im.imageof.count(p) || im.options.read || stat(p.c_str(), &st) == 0) continue;
            im.map.warnings.Add("tilesets whose image is missing, used by no visible tile layer", ts.name);
            break;
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
    const CellKeys ck = im.Place(picture, extra);
    const size_t nkeys = ck.keys.size();

    // Every key's pieces; this also loads the images they use.
    std::vector<std::vector<Piece>> pieces(nkeys);
    std::vector<std::string> used;  // images the picture comes from, each once
    std::unordered_set<std::string> seen;
    auto use = [&](const std::string& path) {
        if (!path.empty() && seen.insert(path).second) used.push_back(path);
    };
    std::unordered_map<uint32_t, TileRef> refs;
    for (size_t key = 0; key < nkeys; key++) {
        for (const Fragment& f : ck.keys[key]) {
            auto it = refs.find(f.gid);
            if (it == refs.end()) it = refs.emplace(f.gid, im.Resolve(f.gid, ck.where[key])).first;
            const TileRef& r = it->second;
            const double opacity = f.p < 0 ? 1 : map.layers[picture[f.p]].opacity;
            Piece piece = im.MakePiece(f, r, f.p < 0 ? 0 : slotOf(f.p), opacity);
            use(im.ImagePath(r));
            for (const auto& fr : piece.frames) use(im.ImagePath(fr.first));
            pieces[key].push_back(std::move(piece));
        }
    }
    im.GatherSprites(use);
    FindExported(im, used);
    const TmxImageLayer* para = FindParallax(im, used);
    ChooseIndexMode(im, used, picture, para);

    for (auto& ps : pieces) {
        for (Piece& p : ps) im.Prepare(p);
    }
    im.SpritePixels();
    std::vector<Timeline> lines(nkeys);
    for (size_t key = 0; key < nkeys; key++) lines[key] = Line(im, pieces[key], ck.where[key]);

    // Exported graphics keep their numbers.
    std::vector<int> seeded;
    if (im.exported >= 0) {
        for (int g = 0; g < im.ngfx; g++) {
            std::vector<uint32_t> px = im.Picture({im.exported, g, 0}, 0, 0);
            for (uint32_t& v : px) v = (v >> 24) >= 128 ? v | 0xFF000000u : 0;
            seeded.push_back(im.Composite(px));
        }
    }
    const std::vector<uint32_t> parapx = ParallaxPixels(im, para);
    // What is left needs no tile, and no image but the palette's.
    im.drawnof.clear();
    im.copies.clear();
    im.keyed.clear();
    for (TmxImage& img : im.images) {
        if (!im.indexmode || used.empty() || &img != &im.Image(used[0])) img = TmxImage{};
    }
    GiveBack();

    MapBuilder b;
    MAPDESC& m = b.m;
    m.width = map.width;
    m.height = map.height;
    m.blockwidth = im.tw;
    m.blockheight = im.th;
    m.cmap.assign(768, 0);
    std::vector<uint8_t> indices;
    MakePalette(im, used, parapx, m.cmap, indices);
    im.comps = {};  // the graphics are made from their palette entries
    GiveBack();
    const int tile = static_cast<int>(im.tilepx);
    // Composite c's pixels as palette entries (the parallax's after the last).
    auto pixels = [&](size_t c) {
        return std::string_view(reinterpret_cast<const char*>(indices.data()) + c * im.tilepx, im.tilepx);
    };
    const std::string empty(static_cast<size_t>(tile), '\0');

    // Graphics, blocks and animations: an exported map's first, with their
    // numbers; else block 0 is the empty one, which the drawing skips inside
    // the view.
    if (im.exported >= 0) {
        std::vector<std::string> gfx;
        for (int g : seeded) gfx.push_back(g < 0 ? empty : std::string(pixels(static_cast<size_t>(g))));
        SeedExported(im, b, gfx);
        KeepAnimations(im, m, pieces, lines);
    }
    pieces = {};

    // Each key's block or animation; a graphic that would have to be a
    // foreground graphic while it is graphic 0 gets a copy (offset 0 means
    // none). A new map's empty background graphic is given its number at the
    // end, so that it can also be the last graphic, the parallax.
    constexpr int kEmptyMark = kMaxGraphics;
    auto graphic = [&](int comp) {
        if (comp < 0 && im.exported < 0) return kEmptyMark;
        return MapBuildGraphic(b, comp < 0 ? std::string_view(empty) : pixels(static_cast<size_t>(comp)));
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
    struct Value {
        bool anim = false;
        int number = 0;
    };
    std::vector<Value> value(nkeys);
    int64_t frames = static_cast<int64_t>(m.frames.size());
    for (size_t key = 0; key < nkeys; key++) {
        const Timeline& tl = lines[key];
        if (tl.direct) {
            value[key] = {tl.anim, tl.number};
        } else if (ck.keys[key].empty()) {
            value[key] = {false, 0};
        } else if (tl.segments.size() == 1) {
            value[key] = {false, block(tl.segments[0].first)};
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
            value[key] = {true, MapBuildAnim(b, ANTYPE_LOOP_FWD, static_cast<signed char>(delay - 1), seq)};
        }
    }
    const int nblocks = static_cast<int>(m.blocks.size()), nanims = static_cast<int>(m.anims.size());
    if (nblocks > kMaxBlocks) {
        TmxThrow(map.file, "the map needs %d block structures (distinct stacks of graphics), a map holds %d", nblocks,
                 kMaxBlocks);
    }
    if (nanims > kMaxAnims) TmxThrow(map.file, "the map needs %d animations, a map holds %d", nanims, kMaxAnims);
    // Past what byte offsets reach, cells hold numbers.
    m.numbered = nblocks > kOffsetBlocks || nanims > kOffsetAnims;

    // The parallax graphic goes last; without one, the last graphic is empty
    // so that the parallax shows palette entry 0, the background colour.
    const std::string parabytes = para ? std::string(pixels(static_cast<size_t>(im.ncomps))) : empty;
    if (im.exported < 0) {
        const int found = MapBuildFindGraphic(b, empty);
        const int none = para && found >= 0 ? found : MapBuildGraphic(b, empty);
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
        for (size_t i = 0; i < ck.cells[n].size(); i++) {
            const Value& v = value[ck.cells[n][i]];
            const int cell =
                m.numbered ? (v.anim ? -(v.number + 1) : v.number) : (v.anim ? -16 * (v.number + 1) : 32 * v.number);
            m.layers[n][i] = static_cast<int16_t>(cell);
        }
    }
    im.FinishObjects(m, indices.data() + (size_t(im.ncomps) + (para ? 1 : 0)) * im.tilepx);
    WarnMissingImages(im);
    indices = {};
    GiveBack();
    image = MapSerialize(m);
}

// Whether a map's text is Tiled's JSON form: by its name, else by its first
// character.
bool IsJson(const char* text, size_t size, const std::string& path) {
    for (const char* ext : {".tmj", ".json"}) {
        const size_t n = std::strlen(ext);
        if (path.size() >= n && path.compare(path.size() - n, n, ext) == 0) return true;
    }
    size_t i = 0;
    while (i < size && (text[i] == ' ' || text[i] == '\n' || text[i] == '\r' || text[i] == '\t')) i++;
    return i < size && text[i] == '{';
}

bool Run(const char* text, size_t size, const std::string& path, std::vector<uint8_t>& image, TmxError& err,
         const TmxImportOptions& options) {
    image.clear();
    try {
        TmxMap map;
        if (IsJson(text, size, path)) {
            TmxParseJson(text, size, path, options, map);
        } else {
            TmxParse(text, size, path, options, map);
        }
        Importer im(options, map);
        Build(im, image);
        if (options.warnings) {
            for (const std::string& line : map.warnings.Lines(path)) options.warnings->push_back(line);
        }
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

bool TmxImportMemory(const char* text, size_t size, const std::string& path, std::vector<uint8_t>& image, TmxError& err,
                     const TmxImportOptions& options) {
    return Run(text, size, path, image, err, options);
}
