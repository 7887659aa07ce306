// Tiled's JSON reader: a map (.tmj, .json) and its tilesets (embedded, .tsj,
// or .tsx through the TMX reader) into the description the TMX reader makes,
// so that both forms of a map import to the same bytes. RapidJSON parses
// iteratively, so deep nesting cannot exhaust the stack.
#include <rapidjson/document.h>
#include <rapidjson/error/en.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

#include "tmxinternal.h"

namespace {

using Value = rapidjson::Value;

// Where the reader is: the file, for messages, and its folder.
struct Where {
    std::string file;
    std::string folder;
};

void Load(rapidjson::Document& doc, const char* text, size_t size, const std::string& file) {
    doc.Parse<rapidjson::kParseIterativeFlag | rapidjson::kParseStopWhenDoneFlag>(text, size);
    if (doc.HasParseError()) {
        TmxThrow(file, "malformed JSON at byte %zu: %s", doc.GetErrorOffset(),
                 rapidjson::GetParseError_En(doc.GetParseError()));
    }
    if (!doc.IsObject()) TmxThrow(file, "malformed JSON: the top is not an object");
}

// Member `key` of object `o`, or null when absent.
const Value* Member(const Value& o, const char* key) {
    if (!o.IsObject()) return nullptr;
    const auto it = o.FindMember(key);
    return it == o.MemberEnd() ? nullptr : &it->value;
}

// A whole number member in [lo, hi]; `def` when it is absent.
int64_t Int(const Value& o, const char* key, int64_t def, int64_t lo, int64_t hi, const Where& w) {
    const Value* v = Member(o, key);
    if (!v) return def;
    int64_t n = 0;
    if (v->IsInt64()) {
        n = v->GetInt64();
    } else if (v->IsDouble() && v->GetDouble() == std::floor(v->GetDouble()) && std::fabs(v->GetDouble()) < 9e15) {
        n = static_cast<int64_t>(v->GetDouble());
    } else {
        TmxThrow(w.file, "\"%s\" is not a whole number", key);
    }
    if (n < lo || n > hi) {
        TmxThrow(w.file, "\"%s\": %lld must be from %lld to %lld", key, static_cast<long long>(n),
                 static_cast<long long>(lo), static_cast<long long>(hi));
    }
    return n;
}

double Real(const Value& o, const char* key, double def, const Where& w) {
    const Value* v = Member(o, key);
    if (!v) return def;
    if (!v->IsNumber()) TmxThrow(w.file, "\"%s\" is not a number", key);
    return v->GetDouble();
}

bool Bool(const Value& o, const char* key, bool def, const Where& w) {
    const Value* v = Member(o, key);
    if (!v) return def;
    if (!v->IsBool()) TmxThrow(w.file, "\"%s\" is not true or false", key);
    return v->GetBool();
}

std::string String(const Value& o, const char* key, const Where& w) {
    const Value* v = Member(o, key);
    if (!v) return "";
    if (!v->IsString()) TmxThrow(w.file, "\"%s\" is not a string", key);
    return {v->GetString(), v->GetStringLength()};
}

const Value::ConstArray Array(const Value& o, const char* key, const Where& w) {
    static const Value empty(rapidjson::kArrayType);
    const Value* v = Member(o, key);
    if (!v) return empty.GetArray();
    if (!v->IsArray()) TmxThrow(w.file, "\"%s\" is not an array", key);
    return v->GetArray();
}

// A number as the TMX form writes it: the shortest text that reads back.
std::string NumberText(const Value& v) {
    if (v.IsInt64()) return std::to_string(v.GetInt64());
    if (v.IsUint64()) return std::to_string(v.GetUint64());
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof buf, v.GetDouble());
    return std::string(buf, r.ptr);
}

// Properties as TMX text: numbers and booleans as Tiled writes them there.
void ReadProps(const Value& o, TmxProps& props, const Where& w) {
    for (const Value& p : Array(o, "properties", w)) {
        if (!p.IsObject()) TmxThrow(w.file, "a property is not an object");
        TmxProp& prop = props[String(p, "name", w)];
        if (const Value* t = Member(p, "type"); t && t->IsString()) prop.type = t->GetString();
        const Value* v = Member(p, "value");
        if (!v) continue;
        if (v->IsString())
            prop.value.assign(v->GetString(), v->GetStringLength());
        else if (v->IsBool())
            prop.value = v->GetBool() ? "true" : "false";
        else if (v->IsNumber())
            prop.value = NumberText(*v);
    }
}

std::vector<TmxBox> Boxes(const Value& group, const Where& w) {
    constexpr double kPi = 3.14159265358979323846;
    std::vector<TmxBox> boxes;
    for (const Value& o : Array(group, "objects", w)) {
        const double x = Real(o, "x", 0, w), y = Real(o, "y", 0, w);
        std::vector<std::pair<double, double>> pts;
        const Value* poly = Member(o, "polygon") ? Member(o, "polygon") : Member(o, "polyline");
        if (poly && poly->IsArray()) {
            for (const Value& p : poly->GetArray()) pts.emplace_back(Real(p, "x", 0, w), Real(p, "y", 0, w));
        } else if (!Bool(o, "point", false, w)) {
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

void ReadImage(const Value& o, const char* key, const Where& w, std::string& path, bool& hastrans, uint32_t& trans) {
    path = TmxJoin(w.folder, String(o, key, w));
    hastrans = false;
    const std::string t = String(o, "transparentcolor", w);
    if (!t.empty()) {
        if (!TmxColour(t.c_str(), trans)) TmxThrow(w.file, "transparentcolor \"%s\" is not a colour", t.c_str());
        hastrans = true;
    }
}

void ReadTileset(const Value& ts, const Where& w, TmxTileset& out) {
    out.file = w.file;
    out.name = String(ts, "name", w);
    out.tilewidth = static_cast<int>(Int(ts, "tilewidth", 0, 0, 1 << 20, w));
    out.tileheight = static_cast<int>(Int(ts, "tileheight", 0, 0, 1 << 20, w));
    out.spacing = static_cast<int>(Int(ts, "spacing", 0, 0, 1 << 20, w));
    out.margin = static_cast<int>(Int(ts, "margin", 0, 0, 1 << 20, w));
    out.columns = static_cast<int>(Int(ts, "columns", 0, 0, 1 << 20, w));
    out.tilecount = static_cast<int>(Int(ts, "tilecount", -1, 0, kTmxGidMask, w));
    out.align = String(ts, "objectalignment", w);
    if (const Value* off = Member(ts, "tileoffset")) {
        out.offsetx = static_cast<int>(Int(*off, "x", 0, -(1 << 20), 1 << 20, w));
        out.offsety = static_cast<int>(Int(*off, "y", 0, -(1 << 20), 1 << 20, w));
    }
    if (!String(ts, "image", w).empty()) ReadImage(ts, "image", w, out.image, out.hastrans, out.trans);
    ReadProps(ts, out.props, w);
    for (const Value& t : Array(ts, "tiles", w)) {
        const int id = static_cast<int>(Int(t, "id", -1, 0, kTmxGidMask, w));
        if (id < 0) TmxThrow(w.file, "tileset \"%s\": a tile without an id", out.name.c_str());
        TmxTile& tile = out.tiles[id];
        ReadProps(t, tile.props, w);
        if (!String(t, "image", w).empty()) {
            bool hastrans;
            uint32_t trans;
            ReadImage(t, "image", w, tile.image, hastrans, trans);
        }
        if (const Value* g = Member(t, "objectgroup")) tile.boxes = Boxes(*g, w);
        for (const Value& f : Array(t, "animation", w)) {
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

void CheckTint(const Value& l, bool visible, const char* what, const std::string& name, const Where& w) {
    const std::string t = String(l, "tintcolor", w);
    if (t.empty() || !visible) return;
    uint32_t rgb;
    int alpha;
    if (!TmxColour(t.c_str(), rgb, &alpha) || rgb != 0xFFFFFF || alpha != 255) {
        TmxThrow(w.file, "%s \"%s\" is tinted: tint colours are not converted", what, name.c_str());
    }
}

struct Reader {
    const TmxImportOptions& options;
    Where w;
    TmxMap& map;
    int64_t layercells = 0;
    // Ids Tiled gives layers and objects that have none, in the order it
    // adds them to the map: the map's next ids on.
    int32_t nextlayer = 1, nextobject = 1;
    int32_t LayerId(int32_t id) { return id ? id : nextlayer++; }

    // The cells of a layer's or a chunk's "data": an array of gids, or base64
    // text with the layer's compression.
    std::vector<uint32_t> Cells(const Value& holder, const std::string& enc, const std::string& comp, int64_t n,
                                const std::string& layer, const char* what) {
        const Value* data = Member(holder, "data");
        if (!data) TmxThrow(w.file, "layer \"%s\": %s has no \"data\"", layer.c_str(), what);
        if (data->IsString()) {
            if (enc != "base64") TmxThrow(w.file, "layer \"%s\": text data needs base64 encoding", layer.c_str());
            return TmxDecodeCells(data->GetString(), enc, comp, n, layer, what, w.file);
        }
        if (!data->IsArray()) TmxThrow(w.file, "layer \"%s\": \"data\" is neither an array nor text", layer.c_str());
        if (static_cast<int64_t>(data->Size()) != n) {
            TmxThrow(w.file, "layer \"%s\": %s has %lld cells, it needs %lld", layer.c_str(), what,
                     static_cast<long long>(data->Size()), static_cast<long long>(n));
        }
        std::vector<uint32_t> cells;
        cells.reserve(static_cast<size_t>(n));
        for (const Value& g : data->GetArray()) {
            if (!g.IsUint()) TmxThrow(w.file, "layer \"%s\": a cell is not a gid", layer.c_str());
            cells.push_back(g.GetUint());
        }
        return cells;
    }

    void TileLayer(const Value& l, const Inherited& in, const std::string& name, int top) {
        TmxLayer layer;
        layer.top = top;
        layer.name = name;
        layer.visible = in.visible && Bool(l, "visible", true, w);
        layer.opacity = in.opacity * std::clamp(Real(l, "opacity", 1, w), 0.0, 1.0);
        layer.parallaxx = in.parallaxx * Real(l, "parallaxx", 1, w);
        layer.parallaxy = in.parallaxy * Real(l, "parallaxy", 1, w);
        ReadProps(l, layer.props, w);
        const double offx = in.offx + Real(l, "offsetx", 0, w), offy = in.offy + Real(l, "offsety", 0, w);
        if (layer.visible) {
            if (offx != std::floor(offx) || offy != std::floor(offy) || std::fabs(offx) > (1 << 24) ||
                std::fabs(offy) > (1 << 24)) {
                TmxThrow(w.file, "layer \"%s\" is drawn at an offset of (%g, %g) pixels: only whole pixels convert",
                         name.c_str(), offx, offy);
            }
            layer.offx = static_cast<int>(offx);
            layer.offy = static_cast<int>(offy);
        }
        CheckTint(l, layer.visible, "layer", name, w);
        const std::string enc = String(l, "encoding", w), comp = String(l, "compression", w);
        if (map.infinite) {
            for (const Value& c : Array(l, "chunks", w)) {
                TmxLayer::Chunk ch;
                ch.x = Int(c, "x", 0, INT32_MIN, INT32_MAX, w);
                ch.y = Int(c, "y", 0, INT32_MIN, INT32_MAX, w);
                ch.w = Int(c, "width", 0, 1, 32767, w);
                ch.h = Int(c, "height", 0, 1, 32767, w);
                TmxBudget(layercells, ch.w * ch.h, options, w.file);
                ch.gids = Cells(c, enc, comp, ch.w * ch.h, name, "a chunk");
                layer.chunks.push_back(std::move(ch));
            }
        } else {
            const int64_t lw = Int(l, "width", map.width, 0, 32767, w), lh = Int(l, "height", map.height, 0, 32767, w);
            if (lw != map.width || lh != map.height) {
                TmxThrow(w.file, "layer \"%s\" is %lld x %lld cells, the map %d x %d", name.c_str(),
                         static_cast<long long>(lw), static_cast<long long>(lh), map.width, map.height);
            }
            TmxBudget(layercells, lw * lh, options, w.file);
            layer.gids = Cells(l, enc, comp, lw * lh, name, "data");
        }
        map.layers.push_back(std::move(layer));
    }

    void ImageLayer(const Value& l, const Inherited& in, const std::string& name) {
        TmxImageLayer il;
        il.name = name;
        il.visible = in.visible && Bool(l, "visible", true, w);
        il.repeatx = Bool(l, "repeatx", false, w);
        il.repeaty = Bool(l, "repeaty", false, w);
        il.parallaxx = in.parallaxx * Real(l, "parallaxx", 1, w);
        il.parallaxy = in.parallaxy * Real(l, "parallaxy", 1, w);
        il.file = w.file;
        if (!String(l, "image", w).empty()) ReadImage(l, "image", w, il.image, il.hastrans, il.trans);
        map.imagelayers.push_back(std::move(il));
    }

    // An object layer or a group as the map file keeps it: its own settings.
    MAPOBJLAYERDESC ObjectLayer(const Value& l, const std::string& name, bool group, int parent) {
        MAPOBJLAYERDESC out;
        out.group = group;
        out.id = LayerId(static_cast<int32_t>(Int(l, "id", 0, INT32_MIN, INT32_MAX, w)));
        out.name = name;
        out.visible = Bool(l, "visible", true, w);
        out.indexorder = String(l, "draworder", w) == "index";
        out.opacity = Real(l, "opacity", 1, w);
        out.offsetx = Real(l, "offsetx", 0, w);
        out.offsety = Real(l, "offsety", 0, w);
        out.parent = parent;
        TmxProps props;
        ReadProps(l, props, w);
        out.props = TmxCarryProps(props, w.folder, (group ? "group \"" : "object layer \"") + name + "\"", map);
        return out;
    }

    // An object as the JSON has it (no id given when it has none), and in
    // `own` the MAPOWN_* fields it sets, which an instance of a template
    // takes over from the template.
    MAPOBJDESC ReadObject(const Value& v, unsigned& own, const std::string& owner) {
        if (!v.IsObject()) TmxThrow(w.file, "an object is not an object");
        MAPOBJDESC o;
        o.id = static_cast<int32_t>(Int(v, "id", 0, INT32_MIN, INT32_MAX, w));
        o.name = String(v, "name", w);
        o.type = String(v, Member(v, "class") ? "class" : "type", w);
        o.x = Real(v, "x", 0, w);
        o.y = Real(v, "y", 0, w);
        o.width = Real(v, "width", 0, w);
        o.height = Real(v, "height", 0, w);
        o.rotation = Real(v, "rotation", 0, w);
        o.visible = Bool(v, "visible", true, w);
        own = (o.name.empty() ? 0 : MAPOWN_NAME) | (o.type.empty() ? 0 : MAPOWN_TYPE) |
              (Member(v, "width") || Member(v, "height") ? MAPOWN_SIZE : 0) |
              (Member(v, "rotation") ? MAPOWN_ROTATION : 0) | (Member(v, "visible") ? MAPOWN_VISIBLE : 0);
        const Value* poly = Member(v, "polygon") ? Member(v, "polygon") : Member(v, "polyline");
        if (const uint32_t gid = static_cast<uint32_t>(Int(v, "gid", 0, 0, UINT32_MAX, w))) {
            o.shape = MAPSHAPE_TILE;
            o.gid = gid;
            own |= MAPOWN_TILE;
        } else if (Bool(v, "ellipse", false, w)) {
            o.shape = MAPSHAPE_ELLIPSE;
        } else if (Bool(v, "point", false, w)) {
            o.shape = MAPSHAPE_POINT;
        } else if (poly) {
            o.shape = Member(v, "polygon") ? MAPSHAPE_POLYGON : MAPSHAPE_POLYLINE;
            for (const Value& p : Array(v, Member(v, "polygon") ? "polygon" : "polyline", w)) {
                o.points.push_back(Real(p, "x", 0, w));
                o.points.push_back(Real(p, "y", 0, w));
            }
        } else if (const Value* t = Member(v, "text")) {
            if (!t->IsObject()) TmxThrow(w.file, "object %d: \"text\" is not an object", o.id);
            o.shape = MAPSHAPE_TEXT;
            o.text = String(*t, "text", w);
            for (const auto& m : t->GetObject()) {
                const std::string key(m.name.GetString(), m.name.GetStringLength());
                if (m.value.IsString())
                    TmxTextSetting(o, key, std::string(m.value.GetString(), m.value.GetStringLength()));
                else if (m.value.IsBool())
                    TmxTextSetting(o, key, m.value.GetBool() ? "1" : "0");
                else if (m.value.IsNumber())
                    TmxTextSetting(o, key, NumberText(m.value));
            }
        }
        if (o.shape != MAPSHAPE_RECTANGLE && o.shape != MAPSHAPE_TILE) own |= MAPOWN_SHAPE;
        TmxProps props;
        ReadProps(v, props, w);
        o.props = TmxCarryProps(props, w.folder, owner, map);
        return o;
    }

    void Object(const Value& v) {
        unsigned own = 0;
        const int32_t id = v.IsObject() ? static_cast<int32_t>(Int(v, "id", 0, INT32_MIN, INT32_MAX, w)) : 0;
        MAPOBJDESC o = ReadObject(v, own, "object " + std::to_string(id ? id : nextobject));
        if (!o.id) o.id = nextobject++;
        if (const Value* t = Member(v, "template")) {
            if (!t->IsString()) TmxThrow(w.file, "object %d: \"template\" is not a string", o.id);
            o.templ = TmxJoin(w.folder, std::string(t->GetString(), t->GetStringLength()));
            o.own = own;
        }
        TmxAddObject(map, std::move(o), w.file);
    }

    // The layers inside `parent` (the map, or the group `group` is the
    // index of), at top-level layer `top` when inside a group.
    void Layers(const Value& parent, const Inherited& in, int depth = 0, int group = -1, int top = 0) {
        if (depth > 64) TmxThrow(w.file, "groups are nested more than 64 deep");
        for (const Value& l : Array(parent, "layers", w)) {
            if (!l.IsObject()) TmxThrow(w.file, "a layer is not an object");
            const std::string type = String(l, "type", w), name = String(l, "name", w);
            if (type == "tilelayer") {
                LayerId(static_cast<int32_t>(Int(l, "id", 0, INT32_MIN, INT32_MAX, w)));
                TileLayer(l, in, name, top);
            } else if (type == "imagelayer") {
                LayerId(static_cast<int32_t>(Int(l, "id", 0, INT32_MIN, INT32_MAX, w)));
                ImageLayer(l, in, name);
            } else if (type == "objectgroup") {
                TmxAddObjectLayer(map, ObjectLayer(l, name, false, group), top, w.file);
                for (const Value& o : Array(l, "objects", w)) Object(o);
            } else if (type == "group") {
                Inherited g = in;
                g.visible = in.visible && Bool(l, "visible", true, w);
                g.opacity = in.opacity * std::clamp(Real(l, "opacity", 1, w), 0.0, 1.0);
                g.offx += Real(l, "offsetx", 0, w);
                g.offy += Real(l, "offsety", 0, w);
                g.parallaxx *= Real(l, "parallaxx", 1, w);
                g.parallaxy *= Real(l, "parallaxy", 1, w);
                CheckTint(l, g.visible, "group", name, w);
                const int index = TmxAddObjectLayer(map, ObjectLayer(l, name, true, group), top, w.file);
                Layers(l, g, depth + 1, index, top);
            } else {
                TmxThrow(w.file, "layer \"%s\" has the unknown type \"%s\"", name.c_str(), type.c_str());
            }
            if (depth == 0) top++;
        }
    }
};

}  // namespace

void TmxReadTsj(const char* text, size_t size, const std::string& path, TmxTileset& out) {
    rapidjson::Document doc;
    Load(doc, text, size, path);
    ReadTileset(doc, {path, TmxFolder(path)}, out);
}

void TmxReadTj(const char* text, size_t size, const std::string& path, TmxMap& map, TmxTemplate& out) {
    rapidjson::Document doc;
    Load(doc, text, size, path);
    const TmxImportOptions none;
    Reader r{none, {path, TmxFolder(path)}, map};
    const Value* object = doc.IsObject() ? Member(doc, "object") : nullptr;
    if (!object) TmxThrow(path, "not a Tiled template: no \"object\"");
    if (const Value* ts = Member(doc, "tileset")) {
        if (!ts->IsObject()) TmxThrow(path, "\"tileset\" is not an object");
        out.firstgid = Int(*ts, "firstgid", 0, 1, kTmxGidMask, r.w);
        out.tileset = TmxJoin(r.w.folder, String(*ts, "source", r.w));
    }
    unsigned own = 0;
    out.object = r.ReadObject(*object, own, "template \"" + path + "\"");
}

void TmxParseJson(const char* text, size_t size, const std::string& path, const TmxImportOptions& options,
                  TmxMap& map) {
    rapidjson::Document doc;
    Load(doc, text, size, path);
    Reader r{options, {path, TmxFolder(path)}, map};
    const Where& w = r.w;
    map.file = path;
    const std::string orient = String(doc, "orientation", w);
    if (orient != "orthogonal") {
        TmxThrow(path, "orientation \"%s\" is not supported: only orthogonal maps convert", orient.c_str());
    }
    const std::string order = String(doc, "renderorder", w);
    if (order == "right-up")
        map.renderorder = kTmxRightUp;
    else if (order == "left-down")
        map.renderorder = kTmxLeftDown;
    else if (order == "left-up")
        map.renderorder = kTmxLeftUp;
    map.infinite = Bool(doc, "infinite", false, w);
    map.tilewidth = static_cast<int>(Int(doc, "tilewidth", 0, INT32_MIN, INT32_MAX, w));
    map.tileheight = static_cast<int>(Int(doc, "tileheight", 0, INT32_MIN, INT32_MAX, w));
    if (!map.infinite) {
        map.width = static_cast<int>(Int(doc, "width", 0, INT32_MIN, INT32_MAX, w));
        map.height = static_cast<int>(Int(doc, "height", 0, INT32_MIN, INT32_MAX, w));
    }
    TmxCheckSize(map, options);
    const std::string bg = String(doc, "backgroundcolor", w);
    if (!bg.empty()) {
        if (!TmxColour(bg.c_str(), map.background))
            TmxThrow(path, "backgroundcolor \"%s\" is not a colour", bg.c_str());
        map.hasbackground = true;
    }
    for (const Value& ts : Array(doc, "tilesets", w)) {
        if (!ts.IsObject()) TmxThrow(path, "a tileset is not an object");
        TmxTileset t;
        t.firstgid = Int(ts, "firstgid", 0, 1, kTmxGidMask, w);
        if (!t.firstgid) TmxThrow(path, "a tileset has no firstgid");
        const std::string source = String(ts, "source", w);
        if (!source.empty()) {
            TmxReadTilesetFile(TmxJoin(w.folder, source), options, t);
        } else {
            ReadTileset(ts, w, t);
        }
        map.tilesets.push_back(std::move(t));
    }
    TmxProps props;
    ReadProps(doc, props, w);
    map.props = TmxCarryProps(props, w.folder, "the map", map);
    r.nextlayer = std::max<int32_t>(1, static_cast<int32_t>(Int(doc, "nextlayerid", 1, INT32_MIN, INT32_MAX, w)));
    r.nextobject = std::max<int32_t>(1, static_cast<int32_t>(Int(doc, "nextobjectid", 1, INT32_MIN, INT32_MAX, w)));
    r.Layers(doc, Inherited{});
    TmxFinishMap(map, options);
}
