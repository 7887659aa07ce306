// The exporter's plan of a Tiled map, made from a map file and written by
// the tileset and map writers. Properties are kept in the order Tiled writes
// them: by name.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

struct TmxOutProp {
    std::string name, type, value;  // type: "int", "bool" or "string"
};

// A tile of the exported tileset that says more than its picture.
struct TmxOutTile {
    int id = 0;
    std::vector<TmxOutProp> props;
    std::vector<std::pair<int, int>> anim;  // frames: tile id, milliseconds
};

struct TmxOutLayer {
    std::string name;
    bool visible = true;
    std::vector<TmxOutProp> props;
    std::vector<uint32_t> gids;  // width x height
};

struct TmxOutMap {
    std::string name;  // the base name the files share
    int width = 0, height = 0, tilewidth = 0, tileheight = 0;
    uint8_t background[3] = {0, 0, 0};
    // The tileset, its file beside the map and its image.
    std::string tileset;
    int columns = 0, tilecount = 0;
    std::string image;  // file name beside the map
    int imagewidth = 0, imageheight = 0;
    std::vector<TmxOutProp> tilesetprops;
    std::vector<TmxOutTile> tiles;
    // A hidden repeating image layer at parallax 0.5, then the tile layers.
    std::string parallax;  // file name beside the map
    std::vector<TmxOutLayer> layers;
};

// The tileset and the map of a plan, as files' text: TSX and TMX
// (tmxwritexml.cpp), or Tiled's JSON forms TSJ and TMJ (tmxwritejson.cpp).
std::string TmxWriteTsx(const TmxOutMap& m);
std::string TmxWriteTmx(const TmxOutMap& m);
std::string TmxWriteTsj(const TmxOutMap& m);
std::string TmxWriteTmj(const TmxOutMap& m);
