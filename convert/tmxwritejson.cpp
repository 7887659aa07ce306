// The exporter's JSON writers: the TSJ tileset and the TMJ map of a plan in
// Tiled's JSON form, through RapidJSON's writer, so every string is escaped
// and nothing is cut.
#include <rapidjson/prettywriter.h>
#include <rapidjson/stringbuffer.h>

#include <cstdio>

#include "tmxexport.h"

namespace {

using Writer = rapidjson::PrettyWriter<rapidjson::StringBuffer>;

void Key(Writer& w, const std::string& s) { w.Key(s.c_str(), static_cast<rapidjson::SizeType>(s.size())); }

void Str(Writer& w, const std::string& s) { w.String(s.c_str(), static_cast<rapidjson::SizeType>(s.size())); }

// A property's value as Tiled's JSON types it.
void Properties(Writer& w, const std::vector<TmxOutProp>& props) {
    if (props.empty()) return;
    Key(w, "properties");
    w.StartArray();
    for (const TmxOutProp& p : props) {
        w.StartObject();
        Key(w, "name");
        Str(w, p.name);
        Key(w, "type");
        Str(w, p.type);
        Key(w, "value");
        if (p.type == "int")
            w.Int64(std::stoll(p.value));
        else if (p.type == "bool")
            w.Bool(p.value == "true");
        else
            Str(w, p.value);
        w.EndObject();
    }
    w.EndArray();
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
    Properties(w, m.tilesetprops);
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
        Properties(w, t.props);
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
    int id = 1;
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
        Properties(w, l.props);
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
    w.EndArray();
    Key(w, "nextlayerid");
    w.Int(id);
    Key(w, "nextobjectid");
    w.Int(1);
    Key(w, "orientation");
    Str(w, "orthogonal");
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
