// The exporter's XML writers: the TSX tileset and the TMX map of a plan,
// built as pugixml documents, so every value is escaped and nothing is cut.
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

void Properties(pugi::xml_node parent, const std::vector<TmxOutProp>& props) {
    if (props.empty()) return;
    pugi::xml_node list = parent.append_child("properties");
    for (const TmxOutProp& p : props) {
        pugi::xml_node n = list.append_child("property");
        n.append_attribute("name") = p.name.c_str();
        if (p.type != "string") n.append_attribute("type") = p.type.c_str();
        n.append_attribute("value") = p.value.c_str();
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
    Properties(ts, m.tilesetprops);
    pugi::xml_node img = ts.append_child("image");
    img.append_attribute("source") = m.image.c_str();
    img.append_attribute("width") = m.imagewidth;
    img.append_attribute("height") = m.imageheight;
    for (const TmxOutTile& t : m.tiles) {
        pugi::xml_node tile = ts.append_child("tile");
        tile.append_attribute("id") = t.id;
        Properties(tile, t.props);
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
    int id = 1;
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
    map.append_attribute("nextlayerid") = static_cast<int>(m.layers.size()) + 2;
    map.append_attribute("nextobjectid") = 1;
    pugi::xml_node ts = map.append_child("tileset");
    ts.append_attribute("firstgid") = 1;
    ts.append_attribute("source") = m.tileset.c_str();
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
        Properties(layer, l.props);
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
    return Text(doc);
}
