// Tiled export: a map file becomes a TMX map, a TSX tileset and its PNG
// images. The tileset holds the graphics, one tile per block structure (its
// graphics drawn together) and one per animation; what Tiled has no field
// for travels in custom properties, so that an import gives the same map.
// This file makes the plan and the images; tmxwritexml.cpp writes the text.
#include "tmxexport.h"

#include <algorithm>
#include <cstring>

#include "mapformat.h"
#include "tmxinternal.h"

namespace {

TmxOutProp Int(const char* name, long long v) { return {name, "int", std::to_string(v)}; }

void SortByName(std::vector<TmxOutProp>& props) {
    std::sort(props.begin(), props.end(), [](const TmxOutProp& a, const TmxOutProp& b) { return a.name < b.name; });
}

// The fields of a block Tiled has no place for; `alias` tiles stand for
// block 0 where the drawing leaves out its foreground graphics.
std::vector<TmxOutProp> BlockProps(const BLKSTR& b, int tile, bool alias) {
    std::vector<TmxOutProp> p;
    if (alias) p.push_back(Int("block", 0));
    p.push_back(Int("bg", b.bgoff / tile));
    if (!alias) {
        if (b.fgoff) p.push_back(Int("fg", b.fgoff / tile));
        if (b.fgoff2) p.push_back(Int("fg2", b.fgoff2 / tile));
        if (b.fgoff3) p.push_back(Int("fg3", b.fgoff3 / tile));
    }
    // Tiled's int properties are 32-bit signed: larger fields wrap.
    const long long users[7] = {
        static_cast<int32_t>(b.user1), static_cast<int32_t>(b.user2), b.user3, b.user4, b.user5, b.user6, b.user7};
    static const char* const unames[7] = {"user1", "user2", "user3", "user4", "user5", "user6", "user7"};
    for (int i = 0; i < 7; i++) {
        if (users[i]) p.push_back(Int(unames[i], users[i]));
    }
    const bool flags[8] = {b.tl != 0,      b.tr != 0,      b.bl != 0,      b.br != 0,
                           b.trigger != 0, b.unused1 != 0, b.unused2 != 0, b.unused3 != 0};
    static const char* const fnames[8] = {"tl", "tr", "bl", "br", "trigger", "unused1", "unused2", "unused3"};
    for (int i = 0; i < 8; i++) {
        if (flags[i]) p.push_back({fnames[i], "bool", "true"});
    }
    SortByName(p);
    return p;
}

std::string BaseName(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The tileset's tiles: graphics, blocks, animations and the alias of block
// 0, sixteen a row or a square sheet when there are many; in whole rows.
int SheetColumns(const MAPDESC& m, bool alias) {
    const int ntiles = m.numblockgfx() + static_cast<int>(m.blocks.size() + m.anims.size()) + (alias ? 1 : 0);
    int cols = std::min(ntiles, 16);
    while (cols * cols < ntiles) cols++;
    return cols;
}
int SheetTiles(const MAPDESC& m, bool alias) {
    const int ntiles = m.numblockgfx() + static_cast<int>(m.blocks.size() + m.anims.size()) + (alias ? 1 : 0);
    const int cols = SheetColumns(m, alias);
    return (ntiles + cols - 1) / cols * cols;
}

// Block 0 is drawn with its foreground graphics left out inside the view:
// an alias tile stands for it there.
bool HasAlias(const MAPDESC& m) {
    const BLKSTR& zero = m.blocks[0];
    return zero.fgoff || zero.fgoff2 || zero.fgoff3;
}

// The tileset image: graphics, then each block's graphics drawn in order
// (the background opaque), then each animation's first block, then block 0
// as drawn inside the view. Sixteen tiles a row, or a square sheet when
// there are many.
std::vector<uint8_t> Sheet(const MAPDESC& m, const std::vector<std::vector<std::pair<int, int>>>& played, bool alias,
                           TmxOutMap& out) {
    const int tw = m.blockwidth, th = m.blockheight, tile = tw * th;
    const int G = m.numblockgfx(), B = static_cast<int>(m.blocks.size()), A = static_cast<int>(m.anims.size());
    const int cols = SheetColumns(m, alias), rows = SheetTiles(m, alias) / cols;
    out.columns = cols;
    out.tilecount = cols * rows;
    out.imagewidth = cols * tw;
    out.imageheight = rows * th;
    std::vector<uint8_t> sheet(size_t(cols) * tw * rows * th, 0);
    auto put = [&](int t, const uint8_t* px) {
        const int x0 = t % cols * tw, y0 = t / cols * th;
        for (int y = 0; y < th; y++) std::memcpy(&sheet[size_t(y0 + y) * cols * tw + x0], px + size_t(y) * tw, tw);
    };
    auto composite = [&](const BLKSTR& b, bool fg) {
        std::vector<uint8_t> px(m.gfx.begin() + b.bgoff, m.gfx.begin() + b.bgoff + tile);
        for (int32_t off : {b.fgoff, b.fgoff2, b.fgoff3}) {
            if (!fg || !off) continue;
            for (int i = 0; i < tile; i++) {
                if (m.gfx[off + i]) px[i] = m.gfx[off + i];
            }
        }
        return px;
    };
    for (int g = 0; g < G; g++) put(g, &m.gfx[size_t(g) * tile]);
    for (int b = 0; b < B; b++) put(G + b, composite(m.blocks[b], true).data());
    for (int k = 0; k < A; k++) put(G + B + k, composite(m.blocks[played[k][0].first], true).data());
    if (alias) put(G + B + A, composite(m.blocks[0], false).data());
    return TmxEncodePng(cols * tw, rows * th, sheet.data(), m.cmap.data(), true);
}

// A tile object image's tile id: the number after the last '/' of its
// name, as the import names it; -1 when there is none.
int TileId(const std::string& name) {
    const size_t slash = name.rfind('/');
    if (slash == std::string::npos || slash + 1 == name.size() || name.size() - slash > 10) return -1;
    int id = 0;
    for (size_t i = slash + 1; i < name.size(); i++) {
        if (name[i] < '0' || name[i] > '9') return -1;
        id = id * 10 + (name[i] - '0');
    }
    return id;
}

void RewriteFiles(std::vector<MAPPROP>& props, const std::string& from, const std::string& to) {
    if (from == to) return;
    for (MAPPROP& p : props) {
        if (p.type == "file" && !p.value.empty() && p.value.find("://") == std::string::npos) {
            p.value = TmxRelativePath(TmxJoin(from, p.value), to);
        }
    }
}

}  // namespace

void TmxPlanObjects(const MAPDESC& m, const std::string& name, const std::string& from, const std::string& to,
                    TmxOutMap& out, std::vector<std::pair<std::string, std::vector<uint8_t>>>* pngs) {
    out.props = m.props;
    out.objlayers = m.objlayers;
    RewriteFiles(out.props, from, to);
    int maxlayer = 0, maxobject = 0;
    for (MAPOBJLAYERDESC& l : out.objlayers) {
        RewriteFiles(l.props, from, to);
        maxlayer = std::max(maxlayer, l.id);
        for (MAPOBJDESC& o : l.objects) {
            RewriteFiles(o.props, from, to);
            maxobject = std::max(maxobject, o.id);
            if (o.templ.empty()) continue;
            // An instance of a template writes only the properties it sets.
            if (from != to) o.templ = TmxRelativePath(TmxJoin(from, o.templ), to);
            std::vector<MAPPROP> own;
            for (uint32_t k : o.ownprops) own.push_back(std::move(o.props[k]));
            o.props = std::move(own);
            o.ownprops.clear();
        }
    }
    out.firstlayerid = maxlayer + 1;
    out.nextobjectid = maxobject + 1;

    // Sheets one tileset each; tile images gathered by their tileset's name
    // and their offset, a new set where an id is taken.
    std::vector<int> setof(m.sprites.size()), idof(m.sprites.size());
    for (size_t k = 0; k < m.sprites.size(); k++) {
        const MAPSPRITEDESC& sp = m.sprites[k];
        const std::string file = name + "-sprite-" + std::to_string(k) + ".png";
        if (pngs) pngs->emplace_back(file, TmxEncodePng(sp.width, sp.height, sp.pixels.data(), m.cmap.data(), true));
        TmxOutSpriteSet* set = nullptr;
        int id = 0;
        if (!sp.tile) {
            out.spritesets.emplace_back();
            set = &out.spritesets.back();
            set->name = sp.name;
            set->sheet = true;
            set->tilewidth = sp.framewidth;
            set->tileheight = sp.frameheight;
            set->columns = sp.width / sp.framewidth;
            set->tilecount = set->columns * (sp.height / sp.frameheight);
        } else {
            const std::string prefix = sp.name.substr(0, std::min(sp.name.size(), sp.name.rfind('/')));
            const int offx = -sp.originx, offy = sp.height - sp.originy;
            id = TileId(sp.name);
            for (auto it = out.spritesets.rbegin(); it != out.spritesets.rend() && !set; ++it) {
                if (it->sheet || it->name != prefix || it->offsetx != offx || it->offsety != offy) continue;
                if (id < 0) id = static_cast<int>(it->tiles.size());
                const bool taken = std::any_of(it->tiles.begin(), it->tiles.end(),
                                               [id](const TmxOutSpriteSet::Tile& t) { return t.id == id; });
                if (!taken) set = &*it;
                break;
            }
            if (!set) {
                out.spritesets.emplace_back();
                set = &out.spritesets.back();
                set->name = prefix;
                set->offsetx = offx;
                set->offsety = offy;
                if (id < 0) id = 0;
            }
            set->tilewidth = std::max(set->tilewidth, sp.width);
            set->tileheight = std::max(set->tileheight, sp.height);
            set->tilecount++;
        }
        set->tiles.push_back({id, file, sp.width, sp.height});
        setof[k] = static_cast<int>(set - out.spritesets.data());
        idof[k] = id;
    }
    int gid = out.tilecount + 1;
    for (TmxOutSpriteSet& set : out.spritesets) {
        set.firstgid = gid;
        int span = set.tilecount;
        for (const TmxOutSpriteSet::Tile& t : set.tiles) span = std::max(span, t.id + 1);
        gid += span;
    }
    for (MAPOBJLAYERDESC& l : out.objlayers) {
        for (MAPOBJDESC& o : l.objects) {
            if (o.shape != MAPSHAPE_TILE) continue;
            const size_t k = static_cast<size_t>(o.sprite);
            o.gid |= static_cast<uint32_t>(out.spritesets[setof[k]].firstgid + idof[k]);
        }
    }
}

bool TmxObjectsJson(const uint8_t* image, size_t size, std::string& json, TmxError& err) {
    MAPDESC m;
    MAPREASON why;
    if (MapParse(image, size, &m, &why) != 0) {
        err = {"", why.code == MER_OUTOFMEM ? "out of memory" : std::string("not a map file: ") + why.text};
        return false;
    }
    TmxOutMap out;
    out.tilecount = SheetTiles(m, HasAlias(m));
    TmxPlanObjects(m, "", "", "", out, nullptr);
    json = TmxWriteObjectsJson(out);
    return true;
}

bool TmxExport(const uint8_t* image, size_t size, const std::string& tmxpath, std::vector<TmxFile>& files,
               TmxError& err, const std::string& mappath) {
    files.clear();
    MAPDESC m;
    MAPREASON why;
    if (MapParse(image, size, &m, &why) != 0) {
        err = {"", why.code == MER_OUTOFMEM ? "out of memory" : std::string("not a map file: ") + why.text};
        return false;
    }
    const int tw = m.blockwidth, th = m.blockheight, tile = tw * th;
    const int G = m.numblockgfx(), B = static_cast<int>(m.blocks.size()), A = static_cast<int>(m.anims.size());
    const BLKSTR& zero = m.blocks[0];
    const bool alias = HasAlias(m);

    // The JSON form for .tmj and .json, else TMX.
    std::string base = tmxpath, ext = ".tmx";
    for (const char* e : {".tmx", ".tmj", ".json"}) {
        const size_t n = std::strlen(e);
        if (base.size() > n && base.compare(base.size() - n, n, e) == 0) {
            ext = e;
            base.resize(base.size() - n);
            break;
        }
    }
    const bool json = ext != ".tmx";
    TmxOutMap out;
    out.name = BaseName(base);
    out.width = m.width;
    out.height = m.height;
    out.tilewidth = tw;
    out.tileheight = th;
    std::memcpy(out.background, m.cmap.data(), 3);
    out.image = out.name + ".png";
    out.parallax = out.name + "-parallax.png";

    std::string frames;
    for (size_t i = 0; i < m.frames.size(); i++) frames += (i ? "," : "") + std::to_string(m.frames[i] / 32);
    out.tilesetprops = {Int("animations", A), Int("blocks", B), {"frames", "string", frames}, Int("graphics", G)};
    for (int b = 0; b < B; b++) out.tiles.push_back({G + b, BlockProps(m.blocks[b], tile, false), {}});
    std::vector<std::vector<std::pair<int, int>>> played(A);
    for (int k = 0; k < A; k++) {
        const MAPANIMDESC& a = m.anims[k];
        played[k] = TmxTiledFrames(a, m.frames);
        TmxOutTile t{G + B + k,
                     {Int("ancount", a.ancount), Int("andelay", a.andelay), Int("antype", a.antype),
                      Int("anuser", a.anuser), Int("cur", a.cur), Int("end", a.end), Int("start", a.start)},
                     {}};
        for (auto [blk, ms] : played[k]) t.anim.emplace_back(G + blk, ms);
        out.tiles.push_back(std::move(t));
    }
    if (alias) out.tiles.push_back({G + B + A, BlockProps(zero, tile, true), {}});

    // BODY is the visible layer, LYR1..LYR7 hidden with their number.
    for (int n = 0; n < 8; n++) {
        if (m.layers[n].empty()) continue;
        TmxOutLayer l;
        l.name = n ? "LYR" + std::to_string(n) : "BODY";
        l.visible = n == 0;
        if (n) l.props.push_back(Int("layer", n));
        l.gids.resize(m.layers[n].size());
        for (int y = 0; y < m.height; y++) {
            for (int x = 0; x < m.width; x++) {
                const int v = m.layers[n][size_t(y) * m.width + x];
                const bool inside = x > 0 && y > 0 && x < m.width - 1 && y < m.height - 1;
                const int anim = m.numbered ? -v - 1 : -v / 16 - 1, blk = m.numbered ? v : v / 32;
                const int gid = 1 + (v < 0 ? G + B + anim : alias && v == 0 && inside ? G + B + A : G + blk);
                l.gids[size_t(y) * m.width + x] = static_cast<uint32_t>(gid);
            }
        }
        out.layers.push_back(std::move(l));
    }

    std::vector<uint8_t> png = Sheet(m, played, alias, out);
    std::vector<uint8_t> para = TmxEncodePng(tw, th, &m.gfx[size_t(G - 1) * tile], m.cmap.data(), true);
    if (png.empty() || para.empty()) {
        err = {"", "cannot encode the PNG images"};
        return false;
    }
    std::vector<std::pair<std::string, std::vector<uint8_t>>> sprites;
    TmxPlanObjects(m, out.name, TmxFolder(mappath), TmxFolder(base), out, &sprites);
    out.tileset = out.name + (json ? ".tsj" : ".tsx");
    const std::string tmx = json ? TmxWriteTmj(out) : TmxWriteTmx(out),
                      tsx = json ? TmxWriteTsj(out) : TmxWriteTsx(out);
    files.push_back({base + ext, std::vector<uint8_t>(tmx.begin(), tmx.end())});
    files.push_back({base + (json ? ".tsj" : ".tsx"), std::vector<uint8_t>(tsx.begin(), tsx.end())});
    files.push_back({base + ".png", std::move(png)});
    files.push_back({base + "-parallax.png", std::move(para)});
    for (auto& [file, data] : sprites) {
        if (data.empty()) {
            err = {"", "cannot encode the PNG images"};
            files.clear();
            return false;
        }
        files.push_back({TmxFolder(base) + file, std::move(data)});
    }
    return true;
}
