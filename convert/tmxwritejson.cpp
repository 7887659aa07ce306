// The exporter's JSON writers: the TSJ tileset and the TMJ map of a plan in
// Tiled's JSON form, through RapidJSON's writer, so every string is escaped
// and nothing is cut.
#include <rapidjson/prettywriter.h>
#include <rapidjson/stringbuffer.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "tmxexport.h"

namespace {

using Writer = rapidjson::PrettyWriter<rapidjson::StringBuffer>;

void Key(Writer& w, const std::string& s) { w.Key(s.c_str(), static_cast<rapidjson::SizeType>(s.size())); }

void Str(Writer& w, const std::string& s) { w.String(s.c_str(), static_cast<rapidjson::SizeType>(s.size())); }

// A number as Tiled writes one: whole values without a fraction.
void Num(Writer& w, double v) {
    if (v == std::floor(v) && std::fabs(v) < 1e15)
        w.Int64(static_cast<int64_t>(v));
    else
        w.Double(v);
}

// Custom properties with values of their JSON types.
void Props(Writer& w, const std::vector<MAPPROP>& props) {
    if (props.empty()) return;
    Key(w, "properties");
    w.StartArray();
    for (const MAPPROP& p : props) {
        w.StartObject();
        Key(w, "name");
        Str(w, p.name);
        Key(w, "type");
        Str(w, p.type);
        Key(w, "value");
        if (p.type == "int" || p.type == "object")
            w.Int64(std::strtoll(p.value.c_str(), nullptr, 10));
        else if (p.type == "float")
            Num(w, std::strtod(p.value.c_str(), nullptr));
        else if (p.type == "bool")
            w.Bool(p.value == "true");
        else
            Str(w, p.value);
        w.EndObject();
    }
    w.EndArray();
}

// An object with Tiled's keys; of an instance of a template only what it
// sets itself, as Tiled writes it.
void Object(Writer& w, const MAPOBJDESC& o) {
    const bool instance = !o.templ.empty();
    auto has = [&](unsigned bit) { return !instance || (o.own & bit); };
    const bool shape = has(MAPOWN_SHAPE);
    w.StartObject();
    if (shape && o.shape == MAPSHAPE_ELLIPSE) {
        Key(w, "ellipse");
        w.Bool(true);
    }
    if (has(MAPOWN_TILE) && o.shape == MAPSHAPE_TILE) {
        Key(w, "gid");
        w.Uint(o.gid);
    }
    if (has(MAPOWN_SIZE)) {
        Key(w, "height");
        Num(w, o.height);
    }
    Key(w, "id");
    w.Int(o.id);
    if (has(MAPOWN_NAME)) {
        Key(w, "name");
        Str(w, o.name);
    }
    if (shape && o.shape == MAPSHAPE_POINT) {
        Key(w, "point");
        w.Bool(true);
    }
    if (shape && (o.shape == MAPSHAPE_POLYGON || o.shape == MAPSHAPE_POLYLINE)) {
        Key(w, o.shape == MAPSHAPE_POLYGON ? "polygon" : "polyline");
        w.StartArray();
        for (size_t i = 0; i + 1 < o.points.size(); i += 2) {
            w.StartObject();
            Key(w, "x");
            Num(w, o.points[i]);
            Key(w, "y");
            Num(w, o.points[i + 1]);
            w.EndObject();
        }
        w.EndArray();
    }
    Props(w, o.props);  // of an instance, the plan left only its own
    if (has(MAPOWN_ROTATION)) {
        Key(w, "rotation");
        Num(w, o.rotation);
    }
    if (instance) {
        Key(w, "template");
        Str(w, o.templ);
    }
    if (shape && o.shape == MAPSHAPE_TEXT) {
        Key(w, "text");
        w.StartObject();
        bool placed = false;
        auto text = [&] {
            Key(w, "text");
            Str(w, o.text);
            placed = true;
        };
        for (const MAPPROP& p : o.textstyle) {
            if (!placed && p.name > "text") text();
            Key(w, p.name);
            if (p.type == "bool")
                w.Bool(p.value == "true");
            else if (p.type == "int")
                w.Int64(std::strtoll(p.value.c_str(), nullptr, 10));
            else
                Str(w, p.value);
        }
        if (!placed) text();
        w.EndObject();
    }
    if (has(MAPOWN_TYPE)) {
        Key(w, "type");
        Str(w, o.type);
    }
    if (has(MAPOWN_VISIBLE)) {
        Key(w, "visible");
        w.Bool(o.visible);
    }
    if (has(MAPOWN_SIZE)) {
        Key(w, "width");
        Num(w, o.width);
    }
    Key(w, "x");
    Num(w, o.x);
    Key(w, "y");
    Num(w, o.y);
    w.EndObject();
}

// The object layers and groups inside group `parent` (-1: the top), those
// of the top whose `above` is `which` (both when `which` is -1).
void ObjectLayers(Writer& w, const TmxOutMap& m, int parent, int which) {
    for (size_t i = 0; i < m.objlayers.size(); i++) {
        const MAPOBJLAYERDESC& l = m.objlayers[i];
        if (l.parent != parent || (parent < 0 && which >= 0 && l.above != (which == 1))) continue;
        w.StartObject();
        if (!l.group) {
            Key(w, "draworder");
            Str(w, l.indexorder ? "index" : "topdown");
        }
        Key(w, "id");
        w.Int(l.id);
        if (l.group) {
            Key(w, "layers");
            w.StartArray();
            ObjectLayers(w, m, static_cast<int>(i), -1);
            w.EndArray();
        }
        Key(w, "name");
        Str(w, l.name);
        if (!l.group) {
            Key(w, "objects");
            w.StartArray();
            for (const MAPOBJDESC& o : l.objects) Object(w, o);
            w.EndArray();
        }
        if (l.offsetx != 0 || l.offsety != 0) {  // both, as Tiled writes them
            Key(w, "offsetx");
            Num(w, l.offsetx);
            Key(w, "offsety");
            Num(w, l.offsety);
        }
        Key(w, "opacity");
        Num(w, l.opacity);
        Props(w, l.props);
        Key(w, "type");
        Str(w, l.group ? "group" : "objectgroup");
        Key(w, "visible");
        w.Bool(l.visible);
        Key(w, "x");
        w.Int(0);
        Key(w, "y");
        w.Int(0);
        w.EndObject();
    }
}

// The sprite tilesets, embedded.
void SpriteSets(Writer& w, const TmxOutMap& m) {
    for (const TmxOutSpriteSet& set : m.spritesets) {
        w.StartObject();
        Key(w, "columns");
        w.Int(set.sheet ? set.columns : 0);
        Key(w, "firstgid");
        w.Int(set.firstgid);
        if (set.sheet) {
            const TmxOutSpriteSet::Tile& t = set.tiles[0];
            Key(w, "image");
            Str(w, t.image);
            Key(w, "imageheight");
            w.Int(t.height);
            Key(w, "imagewidth");
            w.Int(t.width);
        }
        Key(w, "margin");
        w.Int(0);
        Key(w, "name");
        Str(w, set.name);
        if (!set.sheet) {
            Key(w, "objectalignment");
            Str(w, "bottomleft");
        }
        if (set.sheet) Props(w, {{"sprites", "bool", "true"}});
        Key(w, "spacing");
        w.Int(0);
        Key(w, "tilecount");
        w.Int(set.tilecount);
        Key(w, "tileheight");
        w.Int(set.tileheight);
        if (!set.sheet && (set.offsetx || set.offsety)) {
            Key(w, "tileoffset");
            w.StartObject();
            Key(w, "x");
            w.Int(set.offsetx);
            Key(w, "y");
            w.Int(set.offsety);
            w.EndObject();
        }
        if (!set.sheet) {
            Key(w, "tiles");
            w.StartArray();
            for (const TmxOutSpriteSet::Tile& t : set.tiles) {
                w.StartObject();
                Key(w, "id");
                w.Int(t.id);
                Key(w, "image");
                Str(w, t.image);
                Key(w, "imageheight");
                w.Int(t.height);
                Key(w, "imagewidth");
                w.Int(t.width);
                w.EndObject();
            }
            w.EndArray();
        }
        Key(w, "tilewidth");
        w.Int(set.tilewidth);
        w.EndObject();
    }
}

void Begin(Writer& w) {
    w.SetIndent(' ', 1);
    w.SetFormatOptions(rapidjson::kFormatSingleLineArray);
}

}  // namespace

std::string TmxWriteTsj(const TmxOutMap& m) {
    rapidjson::StringBuffer out;
    Writer w(out);
    Begin(w);
    w.StartObject();
    Key(w, "columns");
    w.Int(m.columns);
    Key(w, "image");
    Str(w, m.image);
    Key(w, "imageheight");
    w.Int(m.imageheight);
    Key(w, "imagewidth");
    w.Int(m.imagewidth);
    Key(w, "margin");
    w.Int(0);
    Key(w, "name");
    Str(w, m.name);
    Props(w, m.tilesetprops);
    Key(w, "spacing");
    w.Int(0);
    Key(w, "tilecount");
    w.Int(m.tilecount);
    Key(w, "tiledversion");
    Str(w, "1.8.2");
    Key(w, "tileheight");
    w.Int(m.tileheight);
    Key(w, "tiles");
    w.StartArray();
    for (const TmxOutTile& t : m.tiles) {
        w.StartObject();
        if (!t.anim.empty()) {
            Key(w, "animation");
            w.StartArray();
            for (auto [id, ms] : t.anim) {
                w.StartObject();
                Key(w, "duration");
                w.Int(ms);
                Key(w, "tileid");
                w.Int(id);
                w.EndObject();
            }
            w.EndArray();
        }
        Key(w, "id");
        w.Int(t.id);
        Props(w, t.props);
        w.EndObject();
    }
    w.EndArray();
    Key(w, "tilewidth");
    w.Int(m.tilewidth);
    Key(w, "type");
    Str(w, "tileset");
    Key(w, "version");
    Str(w, "1.8");
    w.EndObject();
    return std::string(out.GetString(), out.GetSize()) + "\n";
}

std::string TmxWriteTmj(const TmxOutMap& m) {
    rapidjson::StringBuffer out;
    Writer w(out);
    Begin(w);
    char colour[8];
    std::snprintf(colour, sizeof colour, "#%02x%02x%02x", m.background[0], m.background[1], m.background[2]);
    int id = m.firstlayerid;
    w.StartObject();
    Key(w, "backgroundcolor");
    Str(w, colour);
    Key(w, "compressionlevel");
    w.Int(-1);
    Key(w, "height");
    w.Int(m.height);
    Key(w, "infinite");
    w.Bool(false);
    Key(w, "layers");
    w.StartArray();
    ObjectLayers(w, m, -1, 0);
    w.StartObject();
    Key(w, "id");
    w.Int(id++);
    Key(w, "image");
    Str(w, m.parallax);
    Key(w, "name");
    Str(w, "parallax");
    Key(w, "opacity");
    w.Int(1);
    Key(w, "parallaxx");
    w.Double(0.5);
    Key(w, "parallaxy");
    w.Double(0.5);
    Key(w, "repeatx");
    w.Bool(true);
    Key(w, "repeaty");
    w.Bool(true);
    Key(w, "type");
    Str(w, "imagelayer");
    Key(w, "visible");
    w.Bool(false);
    Key(w, "x");
    w.Int(0);
    Key(w, "y");
    w.Int(0);
    w.EndObject();
    for (const TmxOutLayer& l : m.layers) {
        w.StartObject();
        Key(w, "data");
        w.StartArray();
        for (uint32_t g : l.gids) w.Uint(g);
        w.EndArray();
        Key(w, "height");
        w.Int(m.height);
        Key(w, "id");
        w.Int(id++);
        Key(w, "name");
        Str(w, l.name);
        Key(w, "opacity");
        w.Int(1);
        Props(w, l.props);
        Key(w, "type");
        Str(w, "tilelayer");
        Key(w, "visible");
        w.Bool(l.visible);
        Key(w, "width");
        w.Int(m.width);
        Key(w, "x");
        w.Int(0);
        Key(w, "y");
        w.Int(0);
        w.EndObject();
    }
    ObjectLayers(w, m, -1, 1);
    w.EndArray();
    Key(w, "nextlayerid");
    w.Int(id);
    Key(w, "nextobjectid");
    w.Int(m.nextobjectid);
    Key(w, "orientation");
    Str(w, "orthogonal");
    Props(w, m.props);
    Key(w, "renderorder");
    Str(w, "right-down");
    Key(w, "tiledversion");
    Str(w, "1.8.2");
    Key(w, "tileheight");
    w.Int(m.tileheight);
    Key(w, "tilesets");
    w.StartArray();
    w.StartObject();
    Key(w, "firstgid");
    w.Int(1);
    Key(w, "source");
    Str(w, m.tileset);
    w.EndObject();
    SpriteSets(w, m);
    w.EndArray();
    Key(w, "tilewidth");
    w.Int(m.tilewidth);
    Key(w, "type");
    Str(w, "map");
    Key(w, "version");
    Str(w, "1.8");
    Key(w, "width");
    w.Int(m.width);
    w.EndObject();
    return std::string(out.GetString(), out.GetSize()) + "\n";
}

std::string TmxWriteObjectsJson(const TmxOutMap& m) {
    rapidjson::StringBuffer out;
    Writer w(out);
    Begin(w);
    w.StartObject();
    Key(w, "layers");
    w.StartArray();
    ObjectLayers(w, m, -1, -1);
    w.EndArray();
    Props(w, m.props);
    w.EndObject();
    return std::string(out.GetString(), out.GetSize()) + "\n";
}
