// The exporter's XML writers: the TSX tileset and the TMX map of a plan,
// built as pugixml documents, so every value is escaped and nothing is cut.
#include <charconv>
#include <pugixml.hpp>

#include "tmxexport.h"

namespace {

// A document's text, with the XML declaration Tiled writes.
std::string Text(const pugi::xml_document& doc) {
    struct Out : pugi::xml_writer {
        std::string s;
        void write(const void* data, size_t size) override { s.append(static_cast<const char*>(data), size); }
    } out;
    doc.save(out, " ", pugi::format_indent, pugi::encoding_utf8);
    return out.s;
}

pugi::xml_document Begin() {
    pugi::xml_document doc;
    pugi::xml_node decl = doc.append_child(pugi::node_declaration);
    decl.append_attribute("version") = "1.0";
    decl.append_attribute("encoding") = "UTF-8";
    return doc;
}

std::string Num(double v) {
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, r.ptr);
}

// Custom properties as Tiled writes them: a type unless it is a string, a
// value with a line break as the element's text.
void Props(pugi::xml_node parent, const std::vector<MAPPROP>& props) {
    if (props.empty()) return;
    pugi::xml_node list = parent.append_child("properties");
    for (const MAPPROP& p : props) {
        pugi::xml_node n = list.append_child("property");
        n.append_attribute("name") = p.name.c_str();
        if (p.type != "string") n.append_attribute("type") = p.type.c_str();
        if (p.value.find('\n') != std::string::npos)
            n.text().set(p.value.c_str());
        else
            n.append_attribute("value") = p.value.c_str();
    }
}

// An object as Tiled writes it; of an instance of a template only what it
// sets itself.
void Object(pugi::xml_node parent, const MAPOBJDESC& o) {
    const bool instance = !o.templ.empty();
    auto has = [&](unsigned bit, bool otherwise) { return instance ? (o.own & bit) != 0 : otherwise; };
    const bool shape = !instance || (o.own & MAPOWN_SHAPE);
    pugi::xml_node n = parent.append_child("object");
    n.append_attribute("id") = o.id;
    if (instance) n.append_attribute("template") = o.templ.c_str();
    if (has(MAPOWN_NAME, !o.name.empty())) n.append_attribute("name") = o.name.c_str();
    if (has(MAPOWN_TYPE, !o.type.empty())) n.append_attribute("type") = o.type.c_str();
    if (has(MAPOWN_TILE, o.shape == MAPSHAPE_TILE) && o.shape == MAPSHAPE_TILE) n.append_attribute("gid") = o.gid;
    n.append_attribute("x") = Num(o.x).c_str();
    n.append_attribute("y") = Num(o.y).c_str();
    if (has(MAPOWN_SIZE, o.width != 0)) n.append_attribute("width") = Num(o.width).c_str();
    if (has(MAPOWN_SIZE, o.height != 0)) n.append_attribute("height") = Num(o.height).c_str();
    if (has(MAPOWN_ROTATION, o.rotation != 0)) n.append_attribute("rotation") = Num(o.rotation).c_str();
    if (has(MAPOWN_VISIBLE, !o.visible)) n.append_attribute("visible") = o.visible ? 1 : 0;
    Props(n, o.props);  // of an instance, the plan left only its own
    if (shape && o.shape == MAPSHAPE_ELLIPSE) n.append_child("ellipse");
    if (shape && o.shape == MAPSHAPE_POINT) n.append_child("point");
    if (shape && (o.shape == MAPSHAPE_POLYGON || o.shape == MAPSHAPE_POLYLINE)) {
        std::string pts;
        for (size_t i = 0; i + 1 < o.points.size(); i += 2) {
            pts += (i ? " " : "") + Num(o.points[i]) + "," + Num(o.points[i + 1]);
        }
        n.append_child(o.shape == MAPSHAPE_POLYGON ? "polygon" : "polyline").append_attribute("points") = pts.c_str();
    }
    if (shape && o.shape == MAPSHAPE_TEXT) {
        pugi::xml_node t = n.append_child("text");
        for (const MAPPROP& p : o.textstyle) {
            const std::string v = p.type == "bool" ? (p.value == "true" ? "1" : "0") : p.value;
            t.append_attribute(p.name.c_str()) = v.c_str();
        }
        t.text().set(o.text.c_str());
    }
}

// The object layers and groups inside group `parent` (-1: the top), those
// of the top whose `above` is `above`.
void ObjectLayers(pugi::xml_node into, const TmxOutMap& m, int parent, bool above) {
    for (size_t i = 0; i < m.objlayers.size(); i++) {
        const MAPOBJLAYERDESC& l = m.objlayers[i];
        if (l.parent != parent || (parent < 0 && l.above != above)) continue;
        pugi::xml_node n = into.append_child(l.group ? "group" : "objectgroup");
        n.append_attribute("id") = l.id;
        n.append_attribute("name") = l.name.c_str();
        if (!l.visible) n.append_attribute("visible") = 0;
        if (l.opacity != 1) n.append_attribute("opacity") = Num(l.opacity).c_str();
        if (l.offsetx != 0 || l.offsety != 0) {
            n.append_attribute("offsetx") = Num(l.offsetx).c_str();
            n.append_attribute("offsety") = Num(l.offsety).c_str();
        }
        if (!l.group && l.indexorder) n.append_attribute("draworder") = "index";
        Props(n, l.props);
        if (l.group) ObjectLayers(n, m, static_cast<int>(i), false);
        for (const MAPOBJDESC& o : l.objects) Object(n, o);
    }
}

void SpriteSets(pugi::xml_node map, const TmxOutMap& m) {
    for (const TmxOutSpriteSet& set : m.spritesets) {
        pugi::xml_node ts = map.append_child("tileset");
        ts.append_attribute("firstgid") = set.firstgid;
        ts.append_attribute("name") = set.name.c_str();
        ts.append_attribute("tilewidth") = set.tilewidth;
        ts.append_attribute("tileheight") = set.tileheight;
        ts.append_attribute("tilecount") = set.tilecount;
        ts.append_attribute("columns") = set.sheet ? set.columns : 0;
        if (!set.sheet) ts.append_attribute("objectalignment") = "bottomleft";
        if (!set.sheet && (set.offsetx || set.offsety)) {
            pugi::xml_node off = ts.append_child("tileoffset");
            off.append_attribute("x") = set.offsetx;
            off.append_attribute("y") = set.offsety;
        }
        if (set.sheet) {
            Props(ts, {{"sprites", "bool", "true"}});
            pugi::xml_node img = ts.append_child("image");
            img.append_attribute("source") = set.tiles[0].image.c_str();
            img.append_attribute("width") = set.tiles[0].width;
            img.append_attribute("height") = set.tiles[0].height;
            continue;
        }
        for (const TmxOutSpriteSet::Tile& t : set.tiles) {
            pugi::xml_node tile = ts.append_child("tile");
            tile.append_attribute("id") = t.id;
            pugi::xml_node img = tile.append_child("image");
            img.append_attribute("width") = t.width;
            img.append_attribute("height") = t.height;
            img.append_attribute("source") = t.image.c_str();
        }
    }
}

}  // namespace

std::string TmxWriteTsx(const TmxOutMap& m) {
    pugi::xml_document doc = Begin();
    pugi::xml_node ts = doc.append_child("tileset");
    ts.append_attribute("version") = "1.8";
    ts.append_attribute("tiledversion") = "1.8.2";
    ts.append_attribute("name") = m.name.c_str();
    ts.append_attribute("tilewidth") = m.tilewidth;
    ts.append_attribute("tileheight") = m.tileheight;
    ts.append_attribute("tilecount") = m.tilecount;
    ts.append_attribute("columns") = m.columns;
    Props(ts, m.tilesetprops);
    pugi::xml_node img = ts.append_child("image");
    img.append_attribute("source") = m.image.c_str();
    img.append_attribute("width") = m.imagewidth;
    img.append_attribute("height") = m.imageheight;
    for (const TmxOutTile& t : m.tiles) {
        pugi::xml_node tile = ts.append_child("tile");
        tile.append_attribute("id") = t.id;
        Props(tile, t.props);
        if (t.anim.empty()) continue;
        pugi::xml_node anim = tile.append_child("animation");
        for (auto [id, ms] : t.anim) {
            pugi::xml_node f = anim.append_child("frame");
            f.append_attribute("tileid") = id;
            f.append_attribute("duration") = ms;
        }
    }
    return Text(doc);
}

std::string TmxWriteTmx(const TmxOutMap& m) {
    pugi::xml_document doc = Begin();
    pugi::xml_node map = doc.append_child("map");
    char colour[8];
    std::snprintf(colour, sizeof colour, "#%02x%02x%02x", m.background[0], m.background[1], m.background[2]);
    int id = m.firstlayerid;
    map.append_attribute("version") = "1.8";
    map.append_attribute("tiledversion") = "1.8.2";
    map.append_attribute("orientation") = "orthogonal";
    map.append_attribute("renderorder") = "right-down";
    map.append_attribute("width") = m.width;
    map.append_attribute("height") = m.height;
    map.append_attribute("tilewidth") = m.tilewidth;
    map.append_attribute("tileheight") = m.tileheight;
    map.append_attribute("infinite") = 0;
    map.append_attribute("backgroundcolor") = colour;
    map.append_attribute("nextlayerid") = m.firstlayerid + static_cast<int>(m.layers.size()) + 1;
    map.append_attribute("nextobjectid") = m.nextobjectid;
    Props(map, m.props);
    pugi::xml_node ts = map.append_child("tileset");
    ts.append_attribute("firstgid") = 1;
    ts.append_attribute("source") = m.tileset.c_str();
    SpriteSets(map, m);
    ObjectLayers(map, m, -1, false);
    pugi::xml_node para = map.append_child("imagelayer");
    para.append_attribute("id") = id++;
    para.append_attribute("name") = "parallax";
    para.append_attribute("visible") = 0;
    para.append_attribute("repeatx") = 1;
    para.append_attribute("repeaty") = 1;
    para.append_attribute("parallaxx") = 0.5;
    para.append_attribute("parallaxy") = 0.5;
    pugi::xml_node img = para.append_child("image");
    img.append_attribute("source") = m.parallax.c_str();
    img.append_attribute("width") = m.tilewidth;
    img.append_attribute("height") = m.tileheight;
    for (const TmxOutLayer& l : m.layers) {
        pugi::xml_node layer = map.append_child("layer");
        layer.append_attribute("id") = id++;
        layer.append_attribute("name") = l.name.c_str();
        layer.append_attribute("width") = m.width;
        layer.append_attribute("height") = m.height;
        if (!l.visible) layer.append_attribute("visible") = 0;
        Props(layer, l.props);
        std::string csv = "\n";
        for (size_t i = 0; i < l.gids.size(); i++) {
            csv += std::to_string(l.gids[i]);
            if (i + 1 < l.gids.size()) csv += (i + 1) % static_cast<size_t>(m.width) ? "," : ",\n";
        }
        csv += "\n";
        pugi::xml_node data = layer.append_child("data");
        data.append_attribute("encoding") = "csv";
        data.text().set(csv.c_str());
    }
    ObjectLayers(map, m, -1, true);
    return Text(doc);
}
