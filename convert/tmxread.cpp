// Tiled map reader: the TMX and its TSX tilesets through pugixml, layer data
// as CSV, XML or base64 (plain, zlib, gzip or zstd) decompressed only up to
// what the layer needs, infinite maps placed over the bounds of their tiles.
#include <zlib.h>
#include <zstd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <pugixml.hpp>

#include "tmxinternal.h"

void TmxThrow(const std::string& file, const char* fmt, ...) {
    char buf[512];
    va_list ap;
    va_start(ap, fmt);
    std::vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    throw TmxFail{file, buf};
}

std::string TmxFolder(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string TmxJoin(const std::string& folder, const std::string& rel) {
    if (!rel.empty() && rel[0] == '/') return rel;
    return folder + rel;
}

std::vector<uint8_t> TmxLoadFile(const TmxImportOptions& options, const std::string& path) {
    std::vector<uint8_t> out;
    const int64_t limit = options.limits.maxfile;
    if (options.read) {
        std::string why;
        if (!options.read(path, out, why)) TmxThrow(path, "%s", why.c_str());
    } else {
        FILE* f = std::fopen(path.c_str(), "rb");
        if (!f) TmxThrow(path, "cannot open: %s", std::strerror(errno));
        unsigned char buf[65536];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, f)) > 0 && static_cast<int64_t>(out.size()) <= limit) {
            out.insert(out.end(), buf, buf + n);
        }
        const bool bad = std::ferror(f);
        const int err = errno;
        std::fclose(f);
        if (bad) TmxThrow(path, "cannot read: %s", std::strerror(err));
    }
    if (static_cast<int64_t>(out.size()) > limit) {
        TmxThrow(path, "file is larger than the limit of %lld bytes", static_cast<long long>(limit));
    }
    return out;
}

namespace {

constexpr int64_t kMaxSide = 32767;  // cells a side: the header holds 16-bit sizes
constexpr double kPi = 3.14159265358979323846;

// Where the reader is: the file, for messages.
struct Where {
    std::string file;
    std::string folder;
};

int LineOf(const char* text, size_t size, ptrdiff_t offset) {
    int line = 1;
    for (ptrdiff_t i = 0; i < offset && static_cast<size_t>(i) < size; i++) line += text[i] == '\n';
    return line;
}

void Load(pugi::xml_document& doc, const char* text, size_t size, const std::string& file) {
    const pugi::xml_parse_result r = doc.load_buffer(text, size, pugi::parse_default, pugi::encoding_utf8);
    if (!r) TmxThrow(file, "malformed XML at line %d: %s", LineOf(text, size, r.offset), r.description());
}

// A whole attribute as an integer in [lo, hi]; `def` when it is absent.
int64_t Int(const pugi::xml_node& n, const char* attr, int64_t def, int64_t lo, int64_t hi, const Where& w) {
    const pugi::xml_attribute a = n.attribute(attr);
    if (!a) return def;
    const char* s = a.value();
    errno = 0;
    char* end = nullptr;
    const long long v = std::strtoll(s, &end, 10);
    if (!*s || *end || errno || v < lo || v > hi) {
        TmxThrow(w.file, "<%s> %s=\"%s\": must be a whole number from %lld to %lld", n.name(), attr, s,
                 static_cast<long long>(lo), static_cast<long long>(hi));
    }
    return v;
}

double Real(const pugi::xml_node& n, const char* attr, double def, const Where& w) {
    const pugi::xml_attribute a = n.attribute(attr);
    if (!a) return def;
    const char* s = a.value();
    char* end = nullptr;
    const double v = std::strtod(s, &end);
    if (!*s || *end || !std::isfinite(v)) TmxThrow(w.file, "<%s> %s=\"%s\" is not a number", n.name(), attr, s);
    return v;
}

bool Flag(const pugi::xml_node& n, const char* attr, bool def) {
    const pugi::xml_attribute a = n.attribute(attr);
    return a ? std::strcmp(a.value(), "0") != 0 : def;
}

// "#RRGGBB", "#AARRGGBB" or the same without '#', as R | G << 8 | B << 16;
// the alpha byte, when given, goes to `alpha`.
bool Colour(const char* s, uint32_t& rgb, int* alpha = nullptr) {
    if (*s == '#') s++;
    const size_t len = std::strlen(s);
    if (len != 6 && len != 8) return false;
    uint32_t v = 0;
    for (size_t i = 0; i < len; i++) {
        const char c = s[i];
        const int d = c >= '0' && c <= '9'   ? c - '0'
                      : c >= 'a' && c <= 'f' ? c - 'a' + 10
                      : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                             : -1;
        if (d < 0) return false;
        v = v << 4 | static_cast<uint32_t>(d);
    }
    if (alpha) *alpha = len == 8 ? static_cast<int>(v >> 24) : 255;
    rgb = (v >> 16 & 0xFF) | (v & 0xFF00) | (v & 0xFF) << 16;
    return true;
}

void ReadProps(const pugi::xml_node& parent, TmxProps& props) {
    for (const pugi::xml_node p : parent.child("properties").children("property")) {
        TmxProp& prop = props[p.attribute("name").value()];
        prop.value = p.attribute("value") ? p.attribute("value").value() : p.text().get();
    }
}

// The collision shapes of a tile, as the quarters they overlap.
uint8_t Quarters(const pugi::xml_node& group, int tw, int th, const Where& w) {
    uint8_t q = 0;
    for (const pugi::xml_node o : group.children("object")) {
        const double x = Real(o, "x", 0, w), y = Real(o, "y", 0, w);
        std::vector<std::pair<double, double>> pts;
        if (const pugi::xml_node poly = o.child("polygon") ? o.child("polygon") : o.child("polyline")) {
            const char* s = poly.attribute("points").value();
            double px, py;
            int used;
            while (std::sscanf(s, " %lf,%lf%n", &px, &py, &used) == 2) {
                pts.emplace_back(px, py);
                s += used;
            }
        } else if (!o.child("point")) {
            const double ow = Real(o, "width", 0, w), oh = Real(o, "height", 0, w);
            pts = {{0, 0}, {ow, 0}, {0, oh}, {ow, oh}};
        }
        if (pts.empty()) continue;
        const double a = Real(o, "rotation", 0, w) * kPi / 180, c = std::cos(a), s = std::sin(a);
        double x0 = 1e300, y0 = 1e300, x1 = -1e300, y1 = -1e300;
        for (auto [px, py] : pts) {
            const double rx = x + px * c - py * s, ry = y + px * s + py * c;
            x0 = std::min(x0, rx), x1 = std::max(x1, rx), y0 = std::min(y0, ry), y1 = std::max(y1, ry);
        }
        const double hx = tw / 2.0, hy = th / 2.0;
        auto overlaps = [&](double l, double t, double r, double b) {
            return std::min(x1, r) > std::max(x0, l) && std::min(y1, b) > std::max(y0, t);
        };
        if (overlaps(0, 0, hx, hy)) q |= kTmxTL;
        if (overlaps(hx, 0, tw, hy)) q |= kTmxTR;
        if (overlaps(0, hy, hx, th)) q |= kTmxBL;
        if (overlaps(hx, hy, tw, th)) q |= kTmxBR;
    }
    return q;
}

void ReadImage(const pugi::xml_node& img, const Where& w, std::string& path, bool& hastrans, uint32_t& trans) {
    const char* src = img.attribute("source").value();
    if (!*src) TmxThrow(w.file, "<image> has no source file (embedded images are not supported)");
    path = TmxJoin(w.folder, src);
    hastrans = false;
    if (const pugi::xml_attribute t = img.attribute("trans")) {
        if (!Colour(t.value(), trans)) TmxThrow(w.file, "<image> trans=\"%s\" is not a colour", t.value());
        hastrans = true;
    }
}

// The tileset element `ts` (in a TMX, or the root of a TSX) into `out`.
void ReadTileset(const pugi::xml_node& ts, const Where& w, const TmxMap& map, TmxTileset& out) {
    out.file = w.file;
    out.name = ts.attribute("name").value();
    out.tilewidth = static_cast<int>(Int(ts, "tilewidth", 0, 0, 1 << 20, w));
    out.tileheight = static_cast<int>(Int(ts, "tileheight", 0, 0, 1 << 20, w));
    out.spacing = static_cast<int>(Int(ts, "spacing", 0, 0, 1 << 20, w));
    out.margin = static_cast<int>(Int(ts, "margin", 0, 0, 1 << 20, w));
    if (const pugi::xml_node off = ts.child("tileoffset")) {
        if (Int(off, "x", 0, INT32_MIN, INT32_MAX, w) || Int(off, "y", 0, INT32_MIN, INT32_MAX, w)) {
            TmxThrow(w.file, "tileset \"%s\" draws its tiles at an offset: tiles must lie on the map's grid",
                     out.name.c_str());
        }
    }
    if (const pugi::xml_node img = ts.child("image")) ReadImage(img, w, out.image, out.hastrans, out.trans);
    if (!out.image.empty() && (out.tilewidth != map.tilewidth || out.tileheight != map.tileheight)) {
        TmxThrow(w.file, "tileset \"%s\" has tiles of %d x %d pixels, the map's are %d x %d", out.name.c_str(),
                 out.tilewidth, out.tileheight, map.tilewidth, map.tileheight);
    }
    ReadProps(ts, out.props);
    for (const pugi::xml_node t : ts.children("tile")) {
        const int id = static_cast<int>(Int(t, "id", -1, 0, kTmxGidMask, w));
        if (id < 0) TmxThrow(w.file, "tileset \"%s\": <tile> without an id", out.name.c_str());
        TmxTile& tile = out.tiles[id];
        ReadProps(t, tile.props);
        if (const pugi::xml_node img = t.child("image")) {
            bool hastrans;
            uint32_t trans;
            ReadImage(img, w, tile.image, hastrans, trans);
            if (hastrans) TmxThrow(w.file, "tile %d: a see-through colour on one tile's image is not supported", id);
        }
        if (const pugi::xml_node g = t.child("objectgroup"))
            tile.quarters = Quarters(g, map.tilewidth, map.tileheight, w);
        for (const pugi::xml_node f : t.child("animation").children("frame")) {
            tile.anim.emplace_back(static_cast<int>(Int(f, "tileid", 0, 0, kTmxGidMask, w)),
                                   static_cast<int>(Int(f, "duration", 0, 0, INT32_MAX, w)));
        }
    }
}

// Base64 text into bytes; whitespace is skipped, anything else that is not
// base64 is an error.
std::vector<uint8_t> Base64(const char* s, const std::string& file, const std::string& layer) {
    std::vector<uint8_t> out;
    out.reserve(std::strlen(s) / 4 * 3);
    uint32_t acc = 0;
    int bits = 0;
    for (; *s; s++) {
        const char c = *s;
        int v;
        if (c >= 'A' && c <= 'Z')
            v = c - 'A';
        else if (c >= 'a' && c <= 'z')
            v = c - 'a' + 26;
        else if (c >= '0' && c <= '9')
            v = c - '0' + 52;
        else if (c == '+')
            v = 62;
        else if (c == '/')
            v = 63;
        else if (c == '=' || c == ' ' || c == '\n' || c == '\r' || c == '\t')
            continue;
        else
            TmxThrow(file, "layer \"%s\": data is not base64", layer.c_str());
        acc = acc << 6 | static_cast<uint32_t>(v);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out.push_back(static_cast<uint8_t>(acc >> bits));
        }
    }
    return out;
}

// Inflates zlib or gzip data into at most `cap` bytes.
std::vector<uint8_t> Inflate(const std::vector<uint8_t>& in, size_t cap, bool gzip, const std::string& file,
                             const std::string& layer) {
    std::vector<uint8_t> out(cap + 1);
    z_stream z{};
    if (inflateInit2(&z, gzip ? 16 + MAX_WBITS : MAX_WBITS) != Z_OK) TmxThrow(file, "cannot start zlib");
    z.next_in = const_cast<Bytef*>(in.data());
    z.avail_in = static_cast<uInt>(in.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    const int rc = inflate(&z, Z_FINISH);
    const size_t got = out.size() - z.avail_out;
    const std::string msg = z.msg ? z.msg : "";
    inflateEnd(&z);
    if (got > cap) {
        TmxThrow(file, "layer \"%s\": compressed data inflates past the %zu bytes the layer needs", layer.c_str(), cap);
    }
    if (rc != Z_STREAM_END) {
        TmxThrow(file, "layer \"%s\": compressed data is corrupt or cut short%s%s", layer.c_str(),
                 msg.empty() ? "" : ": ", msg.c_str());
    }
    out.resize(got);
    return out;
}

std::vector<uint8_t> Unzstd(const std::vector<uint8_t>& in, size_t cap, const std::string& file,
                            const std::string& layer) {
    std::vector<uint8_t> out(cap + 1);
    ZSTD_DCtx* dctx = ZSTD_createDCtx();
    if (!dctx) TmxThrow(file, "cannot start zstd");
    // The decoder's window: what a streaming encoder uses up to level 19
    // (8 MiB), or what the layer needs when that is more.
    int windowlog = 23;
    while (windowlog < 27 && (size_t{1} << windowlog) < cap) windowlog++;
    ZSTD_DCtx_setParameter(dctx, ZSTD_d_windowLogMax, windowlog);
    ZSTD_inBuffer ib{in.data(), in.size(), 0};
    ZSTD_outBuffer ob{out.data(), out.size(), 0};
    size_t rc = 1;
    while (ib.pos < ib.size && ob.pos < ob.size) {
        rc = ZSTD_decompressStream(dctx, &ob, &ib);
        if (ZSTD_isError(rc)) break;
    }
    ZSTD_freeDCtx(dctx);
    if (ob.pos > cap) {
        TmxThrow(file, "layer \"%s\": compressed data inflates past the %zu bytes the layer needs", layer.c_str(), cap);
    }
    if (ZSTD_isError(rc) || rc != 0) {
        TmxThrow(file, "layer \"%s\": compressed data is corrupt or cut short%s%s", layer.c_str(),
                 ZSTD_isError(rc) ? ": " : "", ZSTD_isError(rc) ? ZSTD_getErrorName(rc) : "");
    }
    out.resize(ob.pos);
    return out;
}

[[noreturn]] void WrongCount(const std::string& file, const std::string& layer, const char* what, int64_t got,
                             int64_t need) {
    TmxThrow(file, "layer \"%s\": %s has %lld cells, it needs %lld", layer.c_str(), what, static_cast<long long>(got),
             static_cast<long long>(need));
}

// The n cells of a <data> or <chunk> element.
std::vector<uint32_t> Cells(const pugi::xml_node& node, const std::string& encoding, const std::string& compression,
                            int64_t n, const std::string& layer, const Where& w) {
    const char* what = std::strcmp(node.name(), "chunk") ? "data" : "a chunk";
    std::vector<uint32_t> cells;
    if (encoding.empty()) {
        if (!compression.empty()) TmxThrow(w.file, "layer \"%s\": compression without an encoding", layer.c_str());
        for (const pugi::xml_node t : node.children("tile")) {
            if (static_cast<int64_t>(cells.size()) == n) WrongCount(w.file, layer, what, n + 1, n);
            cells.push_back(static_cast<uint32_t>(Int(t, "gid", 0, 0, UINT32_MAX, w)));
        }
    } else if (encoding == "csv") {
        if (!compression.empty()) TmxThrow(w.file, "layer \"%s\": CSV data cannot be compressed", layer.c_str());
        const char* s = node.text().get();
        cells.reserve(static_cast<size_t>(n));
        while (true) {
            while (*s == ' ' || *s == '\n' || *s == '\r' || *s == '\t') s++;
            if (!*s) break;
            if (*s < '0' || *s > '9') TmxThrow(w.file, "layer \"%s\": CSV data holds \"%.12s\"", layer.c_str(), s);
            uint64_t v = 0;
            while (*s >= '0' && *s <= '9' && v <= UINT32_MAX) v = v * 10 + static_cast<uint64_t>(*s++ - '0');
            if (v > UINT32_MAX) TmxThrow(w.file, "layer \"%s\": CSV value out of range", layer.c_str());
            if (static_cast<int64_t>(cells.size()) == n) WrongCount(w.file, layer, what, n + 1, n);
            cells.push_back(static_cast<uint32_t>(v));
            while (*s == ' ' || *s == '\n' || *s == '\r' || *s == '\t') s++;
            if (*s == ',') s++;
        }
    } else if (encoding == "base64") {
        std::vector<uint8_t> bytes = Base64(node.text().get(), w.file, layer);
        const size_t need = static_cast<size_t>(n) * 4;
        if (compression == "zlib" || compression == "gzip")
            bytes = Inflate(bytes, need, compression == "gzip", w.file, layer);
        else if (compression == "zstd")
            bytes = Unzstd(bytes, need, w.file, layer);
        else if (!compression.empty())
            TmxThrow(w.file, "layer \"%s\": compression \"%s\" is not supported", layer.c_str(), compression.c_str());
        if (bytes.size() % 4 || bytes.size() != need)
            WrongCount(w.file, layer, what, static_cast<int64_t>(bytes.size() / 4), n);
        cells.resize(static_cast<size_t>(n));
        for (size_t i = 0; i < cells.size(); i++) {
            cells[i] = uint32_t{bytes[4 * i]} | uint32_t{bytes[4 * i + 1]} << 8 | uint32_t{bytes[4 * i + 2]} << 16 |
                       uint32_t{bytes[4 * i + 3]} << 24;
        }
    } else {
        TmxThrow(w.file, "layer \"%s\": encoding \"%s\" is not supported", layer.c_str(), encoding.c_str());
    }
    if (static_cast<int64_t>(cells.size()) != n) WrongCount(w.file, layer, what, static_cast<int64_t>(cells.size()), n);
    return cells;
}

// Settings a group passes to the layers inside it.
struct Inherited {
    bool visible = true;
    double opacity = 1;
    double offx = 0, offy = 0;
};

struct Reader {
    const TmxImportOptions& options;
    Where w;
    TmxMap& map;
    int64_t layercells = 0;  // cells decoded so far, against maxlayercells

    void Budget(int64_t n) {
        layercells += n;
        if (layercells > options.limits.maxlayercells) {
            TmxThrow(w.file, "the layers hold more than the converter's limit of %lld cells",
                     static_cast<long long>(options.limits.maxlayercells));
        }
    }

    void TileLayer(const pugi::xml_node& n, const Inherited& in) {
        TmxLayer layer;
        layer.name = n.attribute("name").value();
        layer.visible = in.visible && Flag(n, "visible", true);
        layer.opacity = in.opacity * std::clamp(Real(n, "opacity", 1, w), 0.0, 1.0);
        ReadProps(n, layer.props);
        const double offx = in.offx + Real(n, "offsetx", 0, w), offy = in.offy + Real(n, "offsety", 0, w);
        if (layer.visible && (offx != 0 || offy != 0)) {
            TmxThrow(w.file,
                     "layer \"%s\" is drawn at an offset of (%g, %g) pixels: tile layers must lie on the map's grid",
                     layer.name.c_str(), offx, offy);
        }
        if (const pugi::xml_attribute t = n.attribute("tintcolor")) {
            uint32_t rgb;
            int alpha;
            if (!Colour(t.value(), rgb, &alpha))
                TmxThrow(w.file, "layer \"%s\": tintcolor \"%s\" is not a colour", layer.name.c_str(), t.value());
            if (layer.visible && (rgb != 0xFFFFFF || alpha != 255)) {
                TmxThrow(w.file, "layer \"%s\" is tinted: tint colours are not converted", layer.name.c_str());
            }
        }
        const pugi::xml_node data = n.child("data");
        const std::string enc = data.attribute("encoding").value(), comp = data.attribute("compression").value();
        if (map.infinite) {
            for (const pugi::xml_node c : data.children("chunk")) {
                TmxLayer::Chunk ch;
                ch.x = Int(c, "x", 0, INT32_MIN, INT32_MAX, w);
                ch.y = Int(c, "y", 0, INT32_MIN, INT32_MAX, w);
                ch.w = Int(c, "width", 0, 1, kMaxSide, w);
                ch.h = Int(c, "height", 0, 1, kMaxSide, w);
                Budget(ch.w * ch.h);
                ch.gids = Cells(c, enc, comp, ch.w * ch.h, layer.name, w);
                layer.chunks.push_back(std::move(ch));
            }
        } else {
            const int64_t lw = Int(n, "width", map.width, 0, kMaxSide, w),
                          lh = Int(n, "height", map.height, 0, kMaxSide, w);
            if (lw != map.width || lh != map.height) {
                TmxThrow(w.file, "layer \"%s\" is %lld x %lld cells, the map %d x %d", layer.name.c_str(),
                         static_cast<long long>(lw), static_cast<long long>(lh), map.width, map.height);
            }
            Budget(lw * lh);
            layer.gids = Cells(data, enc, comp, lw * lh, layer.name, w);
        }
        map.layers.push_back(std::move(layer));
    }

    void ImageLayer(const pugi::xml_node& n) {
        TmxImageLayer l;
        l.name = n.attribute("name").value();
        l.repeatx = Flag(n, "repeatx", false);
        l.repeaty = Flag(n, "repeaty", false);
        l.parallaxx = Real(n, "parallaxx", 1, w);
        l.parallaxy = Real(n, "parallaxy", 1, w);
        l.file = w.file;
        if (const pugi::xml_node img = n.child("image")) {
            if (img.attribute("source").value()[0]) ReadImage(img, w, l.image, l.hastrans, l.trans);
        }
        map.imagelayers.push_back(std::move(l));
    }

    void Layers(const pugi::xml_node& parent, const Inherited& in, int depth = 0) {
        if (depth > 64) TmxThrow(w.file, "groups are nested more than 64 deep");
        for (const pugi::xml_node n : parent.children()) {
            const std::string tag = n.name();
            if (tag == "layer") {
                TileLayer(n, in);
            } else if (tag == "imagelayer") {
                ImageLayer(n);
            } else if (tag == "group") {
                Inherited g = in;
                g.visible = in.visible && Flag(n, "visible", true);
                g.opacity = in.opacity * std::clamp(Real(n, "opacity", 1, w), 0.0, 1.0);
                g.offx += Real(n, "offsetx", 0, w);
                g.offy += Real(n, "offsety", 0, w);
                if (const pugi::xml_attribute t = n.attribute("tintcolor"); t && g.visible) {
                    uint32_t rgb;
                    int alpha;
                    if (!Colour(t.value(), rgb, &alpha) || rgb != 0xFFFFFF || alpha != 255) {
                        TmxThrow(w.file, "group \"%s\" is tinted: tint colours are not converted",
                                 n.attribute("name").value());
                    }
                }
                Layers(n, g, depth + 1);
            }
        }
    }

    // Sets the size of an infinite map from its tiles: the 16 x 16-cell
    // squares that hold one, as Tiled bounds such a map, and lays every
    // layer's chunks out over it.
    void PlaceChunks() {
        int64_t x0 = INT64_MAX, y0 = INT64_MAX, x1 = INT64_MIN, y1 = INT64_MIN;
        auto floor16 = [](int64_t v) { return v >= 0 ? v / 16 * 16 : -((-v + 15) / 16) * 16; };
        for (const TmxLayer& l : map.layers) {
            for (const TmxLayer::Chunk& c : l.chunks) {
                for (int64_t i = 0; i < c.w * c.h; i++) {
                    if (!(c.gids[static_cast<size_t>(i)] & kTmxGidMask)) continue;
                    const int64_t x = floor16(c.x + i % c.w), y = floor16(c.y + i / c.w);
                    x0 = std::min(x0, x), y0 = std::min(y0, y), x1 = std::max(x1, x + 16), y1 = std::max(y1, y + 16);
                }
            }
        }
        if (x0 == INT64_MAX) TmxThrow(w.file, "the infinite map has no tiles");
        if (x1 - x0 > kMaxSide || y1 - y0 > kMaxSide) {
            TmxThrow(w.file, "the chunks span %lld x %lld cells: a map holds at most 32767 a side",
                     static_cast<long long>(x1 - x0), static_cast<long long>(y1 - y0));
        }
        map.width = static_cast<int>(x1 - x0);
        map.height = static_cast<int>(y1 - y0);
        CheckSize();
        const int64_t cells = int64_t{map.width} * map.height;
        layercells = 0;
        for (TmxLayer& l : map.layers) {
            Budget(cells);
            l.gids.assign(static_cast<size_t>(cells), 0);
            for (const TmxLayer::Chunk& c : l.chunks) {
                for (int64_t i = 0; i < c.w * c.h; i++) {
                    const uint32_t g = c.gids[static_cast<size_t>(i)];
                    if (!(g & kTmxGidMask)) continue;
                    const int64_t x = c.x + i % c.w - x0, y = c.y + i / c.w - y0;
                    l.gids[static_cast<size_t>(y * map.width + x)] = g;
                }
            }
            l.chunks.clear();
        }
    }

    void CheckSize() {
        const int64_t cells = int64_t{map.width} * map.height;
        if (cells > options.limits.maxcells) {
            TmxThrow(w.file, "the map has %d x %d cells, more than the converter's limit of %lld", map.width,
                     map.height, static_cast<long long>(options.limits.maxcells));
        }
    }
};

}  // namespace

void TmxParse(const char* xml, size_t size, const std::string& path, const TmxImportOptions& options, TmxMap& map) {
    pugi::xml_document doc;
    Load(doc, xml, size, path);
    Reader r{options, {path, TmxFolder(path)}, map};
    const Where& w = r.w;
    const pugi::xml_node m = doc.child("map");
    if (!m) TmxThrow(path, "not a Tiled map: no <map> element");
    map.file = path;
    const char* orient = m.attribute("orientation").value();
    if (std::strcmp(orient, "orthogonal") != 0) {
        TmxThrow(path, "orientation \"%s\" is not supported: only orthogonal maps convert", orient);
    }
    map.infinite = Flag(m, "infinite", false);
    map.tilewidth = static_cast<int>(Int(m, "tilewidth", 0, INT32_MIN, INT32_MAX, w));
    map.tileheight = static_cast<int>(Int(m, "tileheight", 0, INT32_MIN, INT32_MAX, w));
    if (map.tilewidth < 1 || map.tileheight < 1 || map.tilewidth > 256 || map.tileheight > 256) {
        TmxThrow(path, "tile size %d x %d: blocks are 1 to 256 pixels a side", map.tilewidth, map.tileheight);
    }
    if (!map.infinite) {
        const int64_t mw = Int(m, "width", 0, INT32_MIN, INT32_MAX, w),
                      mh = Int(m, "height", 0, INT32_MIN, INT32_MAX, w);
        if (mw < 1 || mh < 1 || mw > kMaxSide || mh > kMaxSide) {
            TmxThrow(path, "map size %lld x %lld cells: a map has 1 to 32767 a side", static_cast<long long>(mw),
                     static_cast<long long>(mh));
        }
        map.width = static_cast<int>(mw);
        map.height = static_cast<int>(mh);
        r.CheckSize();
    }
    if (const pugi::xml_attribute bg = m.attribute("backgroundcolor")) {
        if (!Colour(bg.value(), map.background)) TmxThrow(path, "backgroundcolor \"%s\" is not a colour", bg.value());
        map.hasbackground = true;
    }

    for (const pugi::xml_node ts : m.children("tileset")) {
        TmxTileset t;
        t.firstgid = Int(ts, "firstgid", 0, 1, kTmxGidMask, w);
        if (!t.firstgid) TmxThrow(path, "a tileset has no firstgid");
        if (const pugi::xml_attribute src = ts.attribute("source")) {
            const std::string tsx = TmxJoin(w.folder, src.value());
            const std::vector<uint8_t> text = TmxLoadFile(options, tsx);
            pugi::xml_document tdoc;
            Load(tdoc, reinterpret_cast<const char*>(text.data()), text.size(), tsx);
            const pugi::xml_node root = tdoc.child("tileset");
            if (!root) TmxThrow(tsx, "not a Tiled tileset: no <tileset> element");
            ReadTileset(root, {tsx, TmxFolder(tsx)}, map, t);
        } else {
            ReadTileset(ts, w, map, t);
        }
        map.tilesets.push_back(std::move(t));
    }
    std::stable_sort(map.tilesets.begin(), map.tilesets.end(),
                     [](const TmxTileset& a, const TmxTileset& b) { return a.firstgid < b.firstgid; });
    for (size_t i = 1; i < map.tilesets.size(); i++) {
        if (map.tilesets[i].firstgid == map.tilesets[i - 1].firstgid) {
            TmxThrow(path, "two tilesets have the first gid %lld", static_cast<long long>(map.tilesets[i].firstgid));
        }
    }
    r.Layers(m, Inherited{});
    if (map.infinite) r.PlaceChunks();
}
