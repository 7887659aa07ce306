// Tiled export: a map file becomes a TMX map, a TSX tileset and its PNG
// image. The tileset holds the graphics, one tile per block structure (its
// graphics drawn together) and one per animation; what Tiled has no field
// for travels in custom properties, so that an import gives the same map.
#include <algorithm>
#include <cstdarg>
#include <cstring>

#include "mapwriter.h"
#include "tmxinternal.h"

namespace {

uint32_t Get32(const uint8_t* p) { return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24; }
int16_t Get16(const uint8_t* p) { return static_cast<int16_t>(p[0] | p[1] << 8); }
uint32_t GetBE32(const uint8_t* p) { return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3]; }

// Reads a map file image into its description, checking everything the
// export relies on: the rules the library loads a map by.
void Parse(const uint8_t* img, size_t size, const std::string& file, MapWriterMap& m) {
    if (size < 12 || std::memcmp(img, "FORM", 4) || std::memcmp(img + 8, "FMAP", 4)) {
        TmxThrow(file, "not a map file: no FORM of type FMAP");
    }
    if (uint64_t{GetBE32(img + 4)} + 8 != size) TmxThrow(file, "the FORM size disagrees with the file size");
    const uint8_t* chunk[13] = {};
    uint32_t len[13] = {};
    static const char* const ids[13] = {"MPHD", "CMAP", "BKDT", "ANDT", "BGFX", "BODY", "LYR1",
                                        "LYR2", "LYR3", "LYR4", "LYR5", "LYR6", "LYR7"};
    for (size_t pos = 12; pos < size;) {
        if (size - pos < 8) TmxThrow(file, "a chunk header is cut short at offset %zu", pos);
        const uint32_t n = GetBE32(img + pos + 4);
        if (n > size - pos - 8) TmxThrow(file, "the chunk at offset %zu runs past the end of the file", pos);
        for (int k = 0; k < 13; k++) {
            if (!std::memcmp(img + pos, ids[k], 4)) {
                chunk[k] = img + pos + 8;
                len[k] = n;
            }
        }
        pos += 8 + size_t{n};
    }
    for (int k : {0, 1, 2, 4, 5}) {
        if (!chunk[k]) TmxThrow(file, "chunk %s is missing", ids[k]);
    }
    if (len[0] < 24) TmxThrow(file, "chunk MPHD is too short");
    if (len[1] < 768) TmxThrow(file, "chunk CMAP is too short");
    const uint8_t* h = chunk[0];
    m.width = Get16(h + 4);
    m.height = Get16(h + 6);
    m.blockwidth = Get16(h + 12);
    m.blockheight = Get16(h + 14);
    m.depth = Get16(h + 16);
    m.blockstrsize = Get16(h + 18);
    const int nblocks = Get16(h + 20), ngfx = Get16(h + 22);
    if (m.width < 1 || m.height < 1) TmxThrow(file, "map size %d x %d is empty", m.width, m.height);
    if (m.blockwidth < 1 || m.blockheight < 1 || m.blockwidth > 256 || m.blockheight > 256) {
        TmxThrow(file, "block size %d x %d: blocks are 1 to 256 pixels a side", m.blockwidth, m.blockheight);
    }
    if (m.depth != 8) TmxThrow(file, "depth %d is not 8 bits", m.depth);
    if (ngfx < 1) TmxThrow(file, "the map has no graphics");
    if (nblocks < 1 || len[2] != uint32_t(nblocks) * 32) {
        TmxThrow(file, "chunk BKDT has %u bytes for %d block structures of 32", len[2], nblocks);
    }
    const int64_t tile = int64_t{m.blockwidth} * m.blockheight;
    if (len[4] < ngfx * tile) TmxThrow(file, "chunk BGFX is too short for %d graphics", ngfx);
    m.cmap.assign(chunk[1], chunk[1] + 768);
    m.gfx.assign(chunk[4], chunk[4] + ngfx * tile);
    m.blocks.resize(static_cast<size_t>(nblocks));
    std::memcpy(m.blocks.data(), chunk[2], len[2]);
    for (int b = 0; b < nblocks; b++) {
        const BLKSTR& s = m.blocks[b];
        for (int32_t off : {s.bgoff, s.fgoff, s.fgoff2, s.fgoff3}) {
            if (off < 0 || off >= ngfx * tile) TmxThrow(file, "block structure %d designates no graphic (offset %d)", b, off);
        }
    }
    int64_t records = 0;
    if (chunk[3]) {
        const int64_t n = len[3];
        const uint8_t* a = chunk[3];
        if (n % 4) TmxThrow(file, "chunk ANDT has %lld bytes, not a multiple of 4", static_cast<long long>(n));
        int64_t endrec = n - 16;
        while (endrec >= 0 && a[endrec] != 0xFF) endrec -= 16;
        if (endrec < 0) TmxThrow(file, "animation data has no end record");
        for (int64_t i = 0; i < endrec; i += 4) {
            const int32_t e = static_cast<int32_t>(Get32(a + i));
            if (e < 0 || e >= nblocks * 32 || e % 32) TmxThrow(file, "frame entry %lld designates no block structure", static_cast<long long>(i / 4));
            m.frames.push_back(e);
        }
        records = (n - endrec - 16) / 16;
        for (int64_t k = 0; k < records; k++) {
            const uint8_t* r = a + n - 16 * (k + 1);
            const int64_t start = n + static_cast<int32_t>(Get32(r + 8)), end = n + static_cast<int32_t>(Get32(r + 12));
            const int64_t cur = n + static_cast<int32_t>(Get32(r + 4));
            if (start < 0 || end > endrec || start > end || start % 4 || end % 4 || (start == end && start == endrec)) {
                TmxThrow(file, "animation %lld has frames outside its frame list", static_cast<long long>(k));
            }
            MapWriterAnim an;
            an.antype = static_cast<signed char>(r[0]);
            an.andelay = static_cast<signed char>(r[1]);
            an.ancount = static_cast<signed char>(r[2]);
            an.anuser = static_cast<signed char>(r[3]);
            an.start = static_cast<int>(start / 4);
            an.end = static_cast<int>(end / 4);
            an.cur = cur >= 0 && cur < endrec && cur % 4 == 0 ? static_cast<int>(cur / 4) : an.start;
            m.anims.push_back(an);
        }
    }
    const size_t cells = size_t(m.width) * m.height;
    for (int n = 0; n < 8; n++) {
        const uint8_t* d = chunk[5 + n];
        if (!d) continue;
        if (len[5 + n] != 2 * cells) TmxThrow(file, "layer %s has %u bytes for %zu cells", ids[5 + n], len[5 + n], cells);
        m.layers[n].resize(cells);
        for (size_t i = 0; i < cells; i++) {
            const int v = Get16(d + 2 * i);
            if (v >= 0 ? v >= nblocks * 32 || v % 32 : v < -16 * records || v % 16) {
                TmxThrow(file, "layer %s cell (%zu, %zu) value %d designates nothing", ids[5 + n], i % m.width, i / m.width, v);
            }
            m.layers[n][i] = static_cast<int16_t>(v);
        }
    }
}

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
    MapWriterMap m;
    try {
        Parse(image, size, tmxpath, m);
    } catch (const TmxFail& f) {
        err = {"", f.reason};
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
        const MapWriterAnim& a = m.anims[k];
        std::vector<int> entries;
        if (a.start == a.end) entries.push_back(m.frames[a.start] / 32);
        for (int e = a.start; e < a.end; e++) entries.push_back(m.frames[e] / 32);
        played[k] = TmxTiledFrames(a.antype, a.andelay, entries);
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
        const MapWriterAnim& a = m.anims[k];
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
