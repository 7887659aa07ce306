// Tiled export: a map file becomes a TMX map, a TSX tileset and its PNG
// image. The tileset holds the graphics, one tile per block structure (its
// graphics drawn together) and one per animation; what Tiled has no field
// for travels in custom properties, so that an import gives the same map.
#include <algorithm>
#include <cstdarg>
#include <cstring>

#include "mapformat.h"
#include "tmxinternal.h"

namespace {

void Append(std::string& s, const char* fmt, ...) __attribute__((format(printf, 2, 3)));
void Append(std::string& s, const char* fmt, ...) {
    char buf[512];
    va_list ap;
    va_start(ap, fmt);
    std::vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    s += buf;
}

std::string Escape(const std::string& in) {
    std::string out;
    for (char c : in) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            default: out += c;
        }
    }
    return out;
}

void IntProp(std::string& s, const char* name, long long v) {
    Append(s, "   <property name=\"%s\" type=\"int\" value=\"%lld\"/>\n", name, v);
}

void BoolProp(std::string& s, const char* name) { Append(s, "   <property name=\"%s\" type=\"bool\" value=\"true\"/>\n", name); }

// The fields of a block Tiled has no place for; `alias` tiles stand for
// block 0 where the drawing leaves out its foreground graphics.
std::string BlockProps(const BLKSTR& b, int tile, bool alias) {
    std::string s;
    if (alias) IntProp(s, "block", 0);
    IntProp(s, "bg", b.bgoff / tile);
    if (!alias) {
        if (b.fgoff) IntProp(s, "fg", b.fgoff / tile);
        if (b.fgoff2) IntProp(s, "fg2", b.fgoff2 / tile);
        if (b.fgoff3) IntProp(s, "fg3", b.fgoff3 / tile);
    }
    // Tiled's int properties are 32-bit signed: larger fields wrap.
    const long long users[7] = {static_cast<int32_t>(b.user1), static_cast<int32_t>(b.user2), b.user3, b.user4,
                                b.user5, b.user6, b.user7};
    static const char* const unames[7] = {"user1", "user2", "user3", "user4", "user5", "user6", "user7"};
    for (int i = 0; i < 7; i++) {
        if (users[i]) IntProp(s, unames[i], users[i]);
    }
    const bool flags[8] = {b.tl != 0, b.tr != 0, b.bl != 0, b.br != 0, b.trigger != 0, b.unused1 != 0, b.unused2 != 0, b.unused3 != 0};
    static const char* const fnames[8] = {"tl", "tr", "bl", "br", "trigger", "unused1", "unused2", "unused3"};
    for (int i = 0; i < 8; i++) {
        if (flags[i]) BoolProp(s, fnames[i]);
    }
    return s;
}

std::string BaseName(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

bool TmxExport(const uint8_t* image, size_t size, const std::string& tmxpath, std::vector<TmxFile>& files, TmxError& err) {
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
    const bool alias = zero.fgoff || zero.fgoff2 || zero.fgoff3;
    const int ntiles = G + B + A + (alias ? 1 : 0);

    std::string base = tmxpath;
    if (base.size() > 4 && base.compare(base.size() - 4, 4, ".tmx") == 0) base.resize(base.size() - 4);
    const std::string name = BaseName(base);

    // The tileset image: graphics, then each block's graphics drawn in
    // order (the background opaque), then each animation's first block.
    // Sixteen tiles a row, or a square sheet when there are many.
    int cols = std::min(ntiles, 16);
    while (cols * cols < ntiles) cols++;
    const int rows = (ntiles + cols - 1) / cols;
    std::vector<uint8_t> sheet(size_t(cols) * tw * rows * th, 0);
    auto put = [&](int t, const std::vector<uint8_t>& px) {
        const int x0 = t % cols * tw, y0 = t / cols * th;
        for (int y = 0; y < th; y++) std::memcpy(&sheet[size_t(y0 + y) * cols * tw + x0], &px[size_t(y) * tw], tw);
    };
    auto composite = [&](const BLKSTR& b, bool fg) {
        std::vector<uint8_t> px(m.gfx.begin() + b.bgoff, m.gfx.begin() + b.bgoff + tile);
        if (fg) {
            for (int32_t off : {b.fgoff, b.fgoff2, b.fgoff3}) {
                if (!off) continue;
                for (int i = 0; i < tile; i++) {
                    if (m.gfx[off + i]) px[i] = m.gfx[off + i];
                }
            }
        }
        return px;
    };
    for (int g = 0; g < G; g++) put(g, std::vector<uint8_t>(m.gfx.begin() + g * tile, m.gfx.begin() + (g + 1) * tile));
    for (int b = 0; b < B; b++) put(G + b, composite(m.blocks[b], true));
    std::vector<std::vector<std::pair<int, int>>> played(A);
    for (int k = 0; k < A; k++) {
        played[k] = TmxTiledFrames(m.anims[k], m.frames);
        put(G + B + k, composite(m.blocks[played[k][0].first], true));
    }
    if (alias) put(G + B + A, composite(zero, false));

    std::string tsx = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    Append(tsx, "<tileset version=\"1.8\" tiledversion=\"1.8.2\" name=\"%s\" tilewidth=\"%d\" tileheight=\"%d\" tilecount=\"%d\" columns=\"%d\">\n",
           Escape(name).c_str(), tw, th, cols * rows, cols);
    tsx += " <properties>\n";
    IntProp(tsx, "animations", A);
    IntProp(tsx, "blocks", B);
    std::string frames;
    for (size_t i = 0; i < m.frames.size(); i++) Append(frames, "%s%d", i ? "," : "", m.frames[i] / 32);
    Append(tsx, "   <property name=\"frames\" value=\"%s\"/>\n", frames.c_str());
    IntProp(tsx, "graphics", G);
    tsx += " </properties>\n";
    Append(tsx, " <image source=\"%s.png\" width=\"%d\" height=\"%d\"/>\n", Escape(name).c_str(), cols * tw, rows * th);
    for (int b = 0; b < B; b++) {
        Append(tsx, " <tile id=\"%d\">\n  <properties>\n", G + b);
        tsx += BlockProps(m.blocks[b], tile, false);
        tsx += "  </properties>\n </tile>\n";
    }
    for (int k = 0; k < A; k++) {
        const MAPANIMDESC& a = m.anims[k];
        Append(tsx, " <tile id=\"%d\">\n  <properties>\n", G + B + k);
        IntProp(tsx, "ancount", a.ancount);
        IntProp(tsx, "andelay", a.andelay);
        IntProp(tsx, "antype", a.antype);
        IntProp(tsx, "anuser", a.anuser);
        IntProp(tsx, "cur", a.cur);
        IntProp(tsx, "end", a.end);
        IntProp(tsx, "start", a.start);
        tsx += "  </properties>\n  <animation>\n";
        for (auto [blk, ms] : played[k]) Append(tsx, "   <frame tileid=\"%d\" duration=\"%d\"/>\n", G + blk, ms);
        tsx += "  </animation>\n </tile>\n";
    }
    if (alias) {
        Append(tsx, " <tile id=\"%d\">\n  <properties>\n", G + B + A);
        tsx += BlockProps(zero, tile, true);
        tsx += "  </properties>\n </tile>\n";
    }
    tsx += "</tileset>\n";

    // The map: the parallax as a hidden repeating image layer at half speed,
    // BODY as the visible layer, LYR1..LYR7 hidden.
    std::string tmx = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    int layerid = 1;
    Append(tmx, "<map version=\"1.8\" tiledversion=\"1.8.2\" orientation=\"orthogonal\" renderorder=\"right-down\" width=\"%d\" height=\"%d\" tilewidth=\"%d\" tileheight=\"%d\" infinite=\"0\" backgroundcolor=\"#%02x%02x%02x\" nextlayerid=\"%d\" nextobjectid=\"1\">\n",
           m.width, m.height, tw, th, m.cmap[0], m.cmap[1], m.cmap[2], 11);
    Append(tmx, " <tileset firstgid=\"1\" source=\"%s.tsx\"/>\n", Escape(name).c_str());
    Append(tmx, " <imagelayer id=\"%d\" name=\"parallax\" visible=\"0\" repeatx=\"1\" repeaty=\"1\" parallaxx=\"0.5\" parallaxy=\"0.5\">\n", layerid++);
    Append(tmx, "  <image source=\"%s-parallax.png\" width=\"%d\" height=\"%d\"/>\n </imagelayer>\n", Escape(name).c_str(), tw, th);
    for (int n = 0; n < 8; n++) {
        if (m.layers[n].empty()) continue;
        Append(tmx, " <layer id=\"%d\" name=\"%s\" width=\"%d\" height=\"%d\"%s>\n", layerid++, n ? ("LYR" + std::to_string(n)).c_str() : "BODY",
               m.width, m.height, n ? " visible=\"0\"" : "");
        if (n) {
            tmx += "  <properties>\n";
            IntProp(tmx, "layer", n);
            tmx += "  </properties>\n";
        }
        tmx += "  <data encoding=\"csv\">\n";
        for (int y = 0; y < m.height; y++) {
            for (int x = 0; x < m.width; x++) {
                const int v = m.layers[n][size_t(y) * m.width + x];
                const bool inside = x > 0 && y > 0 && x < m.width - 1 && y < m.height - 1;
                const int gid = 1 + (v < 0 ? G + B + (-v / 16 - 1) : alias && v == 0 && inside ? G + B + A : G + v / 32);
                Append(tmx, "%d%s", gid, y == m.height - 1 && x == m.width - 1 ? "\n" : ",");
            }
            if (y < m.height - 1) tmx += "\n";
        }
        tmx += "</data>\n </layer>\n";
    }
    tmx += "</map>\n";

    std::vector<uint8_t> png = TmxEncodePng(cols * tw, rows * th, sheet.data(), m.cmap.data(), true);
    std::vector<uint8_t> para = TmxEncodePng(tw, th, &m.gfx[size_t(G - 1) * tile], m.cmap.data(), true);
    if (png.empty() || para.empty()) {
        err = {"", "cannot encode the PNG images"};
        return false;
    }
    files.push_back({base + ".tmx", std::vector<uint8_t>(tmx.begin(), tmx.end())});
    files.push_back({base + ".tsx", std::vector<uint8_t>(tsx.begin(), tsx.end())});
    files.push_back({base + ".png", std::move(png)});
    files.push_back({base + "-parallax.png", std::move(para)});
    return true;
}
