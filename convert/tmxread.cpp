// Tiled's TMX reader: the map and its TSX tilesets through pugixml into the
// description both readers make (tmxinternal.h).
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <pugixml.hpp>

#include "tmxinternal.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

// Where the reader is: the file, for messages, and its folder.
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

void ReadProps(const pugi::xml_node& parent, TmxProps& props) {
    for (const pugi::xml_node p : parent.child("properties").children("property")) {
        TmxProp& prop = props[p.attribute("name").value()];
        if (const pugi::xml_attribute t = p.attribute("type")) prop.type = t.value();
        prop.value = p.attribute("value") ? p.attribute("value").value() : p.text().get();
    }
}

// The bounding boxes of a tile's collision shapes, rotation applied.
std::vector<TmxBox> Boxes(const pugi::xml_node& group, const Where& w) {
    std::vector<TmxBox> boxes;
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
        TmxBox b{1e300, 1e300, -1e300, -1e300};
        for (auto [px, py] : pts) {
            const double rx = x + px * c - py * s, ry = y + px * s + py * c;
            b.x0 = std::min(b.x0, rx), b.x1 = std::max(b.x1, rx), b.y0 = std::min(b.y0, ry), b.y1 = std::max(b.y1, ry);
        }
        boxes.push_back(b);
    }
    return boxes;
}

void ReadImage(const pugi::xml_node& img, const Where& w, std::string& path, bool& hastrans, uint32_t& trans) {
    const char* src = img.attribute("source").value();
    if (!*src) TmxThrow(w.file, "<image> has no source file (embedded images are not supported)");
    path = TmxJoin(w.folder, src);
    hastrans = false;
    if (const pugi::xml_attribute t = img.attribute("trans")) {
        if (!TmxColour(t.value(), trans)) TmxThrow(w.file, "<image> trans=\"%s\" is not a colour", t.value());
        hastrans = true;
    }
}

// The tileset element `ts` (in a TMX, or the root of a TSX) into `out`.
void ReadTileset(const pugi::xml_node& ts, const Where& w, TmxTileset& out) {
    out.file = w.file;
    out.name = ts.attribute("name").value();
    out.tilewidth = static_cast<int>(Int(ts, "tilewidth", 0, 0, 1 << 20, w));
    out.tileheight = static_cast<int>(Int(ts, "tileheight", 0, 0, 1 << 20, w));
    out.spacing = static_cast<int>(Int(ts, "spacing", 0, 0, 1 << 20, w));
    out.margin = static_cast<int>(Int(ts, "margin", 0, 0, 1 << 20, w));
    out.columns = static_cast<int>(Int(ts, "columns", 0, 0, 1 << 20, w));
    out.tilecount = static_cast<int>(Int(ts, "tilecount", -1, 0, kTmxGidMask, w));
    out.align = ts.attribute("objectalignment").value();
    if (const pugi::xml_node off = ts.child("tileoffset")) {
        out.offsetx = static_cast<int>(Int(off, "x", 0, -(1 << 20), 1 << 20, w));
        out.offsety = static_cast<int>(Int(off, "y", 0, -(1 << 20), 1 << 20, w));
    }
    if (const pugi::xml_node img = ts.child("image")) ReadImage(img, w, out.image, out.hastrans, out.trans);
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
        if (const pugi::xml_node g = t.child("objectgroup")) tile.boxes = Boxes(g, w);
        for (const pugi::xml_node f : t.child("animation").children("frame")) {
            tile.anim.emplace_back(static_cast<int>(Int(f, "tileid", 0, 0, kTmxGidMask, w)),
                                   static_cast<int>(Int(f, "duration", 0, 0, INT32_MAX, w)));
        }
    }
}

// Settings a group passes to the layers inside it.
struct Inherited {
    bool visible = true;
    double opacity = 1;
    double offx = 0, offy = 0;
    double parallaxx = 1, parallaxy = 1;
};

// A tint other than opaque white is refused on what is drawn.
void CheckTint(const pugi::xml_node& n, bool visible, const char* what, const Where& w) {
    const pugi::xml_attribute t = n.attribute("tintcolor");
    if (!t || !visible) return;
    uint32_t rgb;
    int alpha;
    if (!TmxColour(t.value(), rgb, &alpha) || rgb != 0xFFFFFF || alpha != 255) {
        TmxThrow(w.file, "%s \"%s\" is tinted: tint colours are not converted", what, n.attribute("name").value());
    }
}

// A visible layer's offset in whole pixels; a fractional one is refused.
int WholeOffset(double v, const std::string& layer, double ox, double oy, const Where& w) {
    if (v != std::floor(v) || std::fabs(v) > (1 << 24)) {
        TmxThrow(w.file, "layer \"%s\" is drawn at an offset of (%g, %g) pixels: only whole pixels convert",
                 layer.c_str(), ox, oy);
    }
    return static_cast<int>(v);
}

struct Reader {
    const TmxImportOptions& options;
    Where w;
    TmxMap& map;
    int64_t layercells = 0;
    // Ids Tiled gives layers and objects that have none, in the order it
    // adds them to the map: the map's next ids on.
    int32_t nextlayer = 1, nextobject = 1;
    int32_t LayerId(int32_t id) { return id ? id : nextlayer++; }  // cells decoded so far, against maxlayercells

    // The cells of a <data> or <chunk> element.
    std::vector<uint32_t> Cells(const pugi::xml_node& node, const std::string& enc, const std::string& comp, int64_t n,
                                const std::string& layer) {
        const std::string what = std::strcmp(node.name(), "chunk") ? "data" : "a chunk";
        if (!enc.empty()) return TmxDecodeCells(node.text().get(), enc, comp, n, layer, what, w.file);
        if (!comp.empty()) TmxThrow(w.file, "layer \"%s\": compression without an encoding", layer.c_str());
        std::vector<uint32_t> cells;
        for (const pugi::xml_node t : node.children("tile")) {
            if (static_cast<int64_t>(cells.size()) == n) {
                TmxThrow(w.file, "layer \"%s\": %s has %lld cells, it needs %lld", layer.c_str(), what.c_str(),
                         static_cast<long long>(n + 1), static_cast<long long>(n));
            }
            cells.push_back(static_cast<uint32_t>(Int(t, "gid", 0, 0, UINT32_MAX, w)));
        }
        if (static_cast<int64_t>(cells.size()) != n) {
            TmxThrow(w.file, "layer \"%s\": %s has %lld cells, it needs %lld", layer.c_str(), what.c_str(),
                     static_cast<long long>(cells.size()), static_cast<long long>(n));
        }
        return cells;
    }

    void TileLayer(const pugi::xml_node& n, const Inherited& in, int top) {
        TmxLayer layer;
        layer.top = top;
        layer.name = n.attribute("name").value();
        layer.visible = in.visible && Flag(n, "visible", true);
        layer.opacity = in.opacity * std::clamp(Real(n, "opacity", 1, w), 0.0, 1.0);
        layer.parallaxx = in.parallaxx * Real(n, "parallaxx", 1, w);
        layer.parallaxy = in.parallaxy * Real(n, "parallaxy", 1, w);
        ReadProps(n, layer.props);
        const double offx = in.offx + Real(n, "offsetx", 0, w), offy = in.offy + Real(n, "offsety", 0, w);
        if (layer.visible) {
            layer.offx = WholeOffset(offx, layer.name, offx, offy, w);
            layer.offy = WholeOffset(offy, layer.name, offx, offy, w);
        }
        CheckTint(n, layer.visible, "layer", w);
        const pugi::xml_node data = n.child("data");
        const std::string enc = data.attribute("encoding").value(), comp = data.attribute("compression").value();
        if (map.infinite) {
            for (const pugi::xml_node c : data.children("chunk")) {
                TmxLayer::Chunk ch;
                ch.x = Int(c, "x", 0, INT32_MIN, INT32_MAX, w);
                ch.y = Int(c, "y", 0, INT32_MIN, INT32_MAX, w);
                ch.w = Int(c, "width", 0, 1, 32767, w);
                ch.h = Int(c, "height", 0, 1, 32767, w);
                TmxBudget(layercells, ch.w * ch.h, options, w.file);
                ch.gids = Cells(c, enc, comp, ch.w * ch.h, layer.name);
                layer.chunks.push_back(std::move(ch));
            }
        } else {
            const int64_t lw = Int(n, "width", map.width, 0, 32767, w), lh = Int(n, "height", map.height, 0, 32767, w);
            if (lw != map.width || lh != map.height) {
                TmxThrow(w.file, "layer \"%s\" is %lld x %lld cells, the map %d x %d", layer.name.c_str(),
                         static_cast<long long>(lw), static_cast<long long>(lh), map.width, map.height);
            }
            TmxBudget(layercells, lw * lh, options, w.file);
            layer.gids = Cells(data, enc, comp, lw * lh, layer.name);
        }
        map.layers.push_back(std::move(layer));
    }

    void ImageLayer(const pugi::xml_node& n, const Inherited& in) {
        TmxImageLayer l;
        l.name = n.attribute("name").value();
        l.visible = in.visible && Flag(n, "visible", true);
        l.repeatx = Flag(n, "repeatx", false);
        l.repeaty = Flag(n, "repeaty", false);
        l.parallaxx = in.parallaxx * Real(n, "parallaxx", 1, w);
        l.parallaxy = in.parallaxy * Real(n, "parallaxy", 1, w);
        l.file = w.file;
        if (const pugi::xml_node img = n.child("image")) {
            if (img.attribute("source").value()[0]) ReadImage(img, w, l.image, l.hastrans, l.trans);
        }
        map.imagelayers.push_back(std::move(l));
    }

    // An object layer or a group as the map file keeps it: its own settings.
    MAPOBJLAYERDESC ObjectLayer(const pugi::xml_node& n, bool group, int parent) {
        MAPOBJLAYERDESC l;
        l.group = group;
        l.id = LayerId(static_cast<int32_t>(Int(n, "id", 0, INT32_MIN, INT32_MAX, w)));
        l.name = n.attribute("name").value();
        l.visible = Flag(n, "visible", true);
        l.indexorder = std::strcmp(n.attribute("draworder").value(), "index") == 0;
        l.opacity = Real(n, "opacity", 1, w);
        l.offsetx = Real(n, "offsetx", 0, w);
        l.offsety = Real(n, "offsety", 0, w);
        l.parent = parent;
        TmxProps props;
        ReadProps(n, props);
        l.props = TmxCarryProps(props, w.folder, (group ? "group \"" : "object layer \"") + l.name + "\"", map);
        return l;
    }

    // An object as the element has it (no id given when it has none), and
    // in `own` the MAPOWN_* fields it sets, which an instance of a template
    // takes over from the template.
    MAPOBJDESC ReadObject(const pugi::xml_node& n, unsigned& own, const std::string& owner) {
        MAPOBJDESC o;
        o.id = static_cast<int32_t>(Int(n, "id", 0, INT32_MIN, INT32_MAX, w));
        o.name = n.attribute("name").value();
        o.type = n.attribute(n.attribute("class") ? "class" : "type").value();
        o.x = Real(n, "x", 0, w);
        o.y = Real(n, "y", 0, w);
        o.width = Real(n, "width", 0, w);
        o.height = Real(n, "height", 0, w);
        o.rotation = Real(n, "rotation", 0, w);
        o.visible = Flag(n, "visible", true);
        own = (o.name.empty() ? 0 : MAPOWN_NAME) | (o.type.empty() ? 0 : MAPOWN_TYPE) |
              (n.attribute("width") || n.attribute("height") ? MAPOWN_SIZE : 0) |
              (n.attribute("rotation") ? MAPOWN_ROTATION : 0) | (n.attribute("visible") ? MAPOWN_VISIBLE : 0);
        if (const uint32_t gid = static_cast<uint32_t>(Int(n, "gid", 0, 0, UINT32_MAX, w))) {
            o.shape = MAPSHAPE_TILE;
            o.gid = gid;
            own |= MAPOWN_TILE;
        } else if (n.child("ellipse")) {
            o.shape = MAPSHAPE_ELLIPSE;
        } else if (n.child("point")) {
            o.shape = MAPSHAPE_POINT;
        } else if (const pugi::xml_node p = n.child("polygon") ? n.child("polygon") : n.child("polyline")) {
            o.shape = std::strcmp(p.name(), "polygon") ? MAPSHAPE_POLYLINE : MAPSHAPE_POLYGON;
            o.points = TmxPoints(p.attribute("points").value(), w.file);
        } else if (const pugi::xml_node t = n.child("text")) {
            o.shape = MAPSHAPE_TEXT;
            o.text = t.text().get();
            for (const pugi::xml_attribute a : t.attributes()) TmxTextSetting(o, a.name(), a.value());
        }
        if (o.shape != MAPSHAPE_RECTANGLE && o.shape != MAPSHAPE_TILE) own |= MAPOWN_SHAPE;
        TmxProps props;
        ReadProps(n, props);
        o.props = TmxCarryProps(props, w.folder, owner, map);
        return o;
    }

    void Object(const pugi::xml_node& n) {
        unsigned own = 0;
        const int32_t id = static_cast<int32_t>(Int(n, "id", 0, INT32_MIN, INT32_MAX, w));
        MAPOBJDESC o = ReadObject(n, own, "object " + std::to_string(id ? id : nextobject));
        if (!o.id) o.id = nextobject++;
        if (const pugi::xml_attribute t = n.attribute("template")) {
            o.templ = TmxJoin(w.folder, t.value());
            o.own = own;
        }
        TmxAddObject(map, std::move(o), w.file);
    }

    // The layers inside `parent` (the map, or the group `group` is the
    // index of), at top-level layer `top` when inside a group.
    void Layers(const pugi::xml_node& parent, const Inherited& in, int depth = 0, int group = -1, int top = 0) {
        if (depth > 64) TmxThrow(w.file, "groups are nested more than 64 deep");
        for (const pugi::xml_node n : parent.children()) {
            const std::string tag = n.name();
            if (tag == "layer") {
                LayerId(static_cast<int32_t>(Int(n, "id", 0, INT32_MIN, INT32_MAX, w)));
                TileLayer(n, in, top);
            } else if (tag == "imagelayer") {
                LayerId(static_cast<int32_t>(Int(n, "id", 0, INT32_MIN, INT32_MAX, w)));
                ImageLayer(n, in);
            } else if (tag == "objectgroup") {
                TmxAddObjectLayer(map, ObjectLayer(n, false, group), top, w.file);
                for (const pugi::xml_node o : n.children("object")) Object(o);
            } else if (tag == "group") {
                Inherited g = in;
                g.visible = in.visible && Flag(n, "visible", true);
                g.opacity = in.opacity * std::clamp(Real(n, "opacity", 1, w), 0.0, 1.0);
                g.offx += Real(n, "offsetx", 0, w);
                g.offy += Real(n, "offsety", 0, w);
                g.parallaxx *= Real(n, "parallaxx", 1, w);
                g.parallaxy *= Real(n, "parallaxy", 1, w);
                CheckTint(n, g.visible, "group", w);
                const int index = TmxAddObjectLayer(map, ObjectLayer(n, true, group), top, w.file);
                Layers(n, g, depth + 1, index, top);
            } else {
                continue;
            }
            if (depth == 0) top++;
        }
    }
};

}  // namespace

void TmxReadTsx(const char* text, size_t size, const std::string& path, TmxTileset& out) {
    pugi::xml_document doc;
    Load(doc, text, size, path);
    const pugi::xml_node root = doc.child("tileset");
    if (!root) TmxThrow(path, "not a Tiled tileset: no <tileset> element");
    ReadTileset(root, {path, TmxFolder(path)}, out);
}

void TmxReadTx(const char* text, size_t size, const std::string& path, TmxMap& map, TmxTemplate& out) {
    pugi::xml_document doc;
    Load(doc, text, size, path);
    const pugi::xml_node root = doc.child("template");
    if (!root || !root.child("object")) TmxThrow(path, "not a Tiled template: no <template> with an <object>");
    const TmxImportOptions none;
    Reader r{none, {path, TmxFolder(path)}, map};
    if (const pugi::xml_node ts = root.child("tileset")) {
        out.firstgid = Int(ts, "firstgid", 0, 1, kTmxGidMask, r.w);
        out.tileset = TmxJoin(r.w.folder, ts.attribute("source").value());
    }
    unsigned own = 0;
    out.object = r.ReadObject(root.child("object"), own, "template \"" + path + "\"");
}

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
    const std::string order = m.attribute("renderorder").value();
    if (order == "right-up")
        map.renderorder = kTmxRightUp;
    else if (order == "left-down")
        map.renderorder = kTmxLeftDown;
    else if (order == "left-up")
        map.renderorder = kTmxLeftUp;
    map.infinite = Flag(m, "infinite", false);
    map.tilewidth = static_cast<int>(Int(m, "tilewidth", 0, INT32_MIN, INT32_MAX, w));
    map.tileheight = static_cast<int>(Int(m, "tileheight", 0, INT32_MIN, INT32_MAX, w));
    if (!map.infinite) {
        map.width = static_cast<int>(Int(m, "width", 0, INT32_MIN, INT32_MAX, w));
        map.height = static_cast<int>(Int(m, "height", 0, INT32_MIN, INT32_MAX, w));
    }
    TmxCheckSize(map, options);
    if (const pugi::xml_attribute bg = m.attribute("backgroundcolor")) {
        if (!TmxColour(bg.value(), map.background)) {
            TmxThrow(path, "backgroundcolor \"%s\" is not a colour", bg.value());
        }
        map.hasbackground = true;
    }
    for (const pugi::xml_node ts : m.children("tileset")) {
        TmxTileset t;
        t.firstgid = Int(ts, "firstgid", 0, 1, kTmxGidMask, w);
        if (!t.firstgid) TmxThrow(path, "a tileset has no firstgid");
        if (const pugi::xml_attribute src = ts.attribute("source")) {
            TmxReadTilesetFile(TmxJoin(w.folder, src.value()), options, t);
        } else {
            ReadTileset(ts, w, t);
        }
        map.tilesets.push_back(std::move(t));
    }
    TmxProps props;
    ReadProps(m, props);
    map.props = TmxCarryProps(props, w.folder, "the map", map);
    r.nextlayer = std::max<int32_t>(1, static_cast<int32_t>(Int(m, "nextlayerid", 1, INT32_MIN, INT32_MAX, w)));
    r.nextobject = std::max<int32_t>(1, static_cast<int32_t>(Int(m, "nextobjectid", 1, INT32_MIN, INT32_MAX, w)));
    r.Layers(m, Inherited{});
    TmxFinishMap(map, options);
}
