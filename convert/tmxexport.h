// The exporter's plan of a Tiled map, made from a map file and written by
// the tileset and map writers. Properties are kept in the order Tiled writes
// them: by name.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "mapformat.h"

// A custom property of the plan, as the map file keeps one.
using TmxOutProp = MAPPROP;

// A tileset of the map's sprite images, embedded in the map: a sheet is an
// image tileset of its frames marked as sprites; tile objects' images are
// collections of one image per tile, grouped by the tileset they came from
// and by where they are drawn from their object.
struct TmxOutSpriteSet {
    std::string name;
    int firstgid = 0;
    bool sheet = false;
    int tilewidth = 0, tileheight = 0, columns = 0, tilecount = 0;
    int offsetx = 0, offsety = 0;  // tile offset, bottom-left alignment
    struct Tile {
        int id;
        std::string image;  // file name beside the map
        int width, height;
    };
    std::vector<Tile> tiles;  // a sheet: its one image as tile 0
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
    // What the map places beyond its tiles: its properties, its object
    // layers and groups (those below the picture before the tile layers, the
    // others after them; a tile object's gid numbered into `spritesets`,
    // flips kept) and the sprite tilesets.
    std::vector<MAPPROP> props;
    std::vector<MAPOBJLAYERDESC> objlayers;
    std::vector<TmxOutSpriteSet> spritesets;
    int firstlayerid = 1;  // of the tile and image layers, past the object layers' ids
    int nextobjectid = 1;
};

// The plan's objects and sprite tilesets from a map description, file
// properties and template paths made relative to `to` from `from`
// (folders; equal when neither moves), an instance of a template left
// with only the properties it sets. Sprite images get file names `base`-sprite-N.png, whose
// PNG images go to `pngs` when it is given.
void TmxPlanObjects(const MAPDESC& m, const std::string& base, const std::string& from, const std::string& to,
                    TmxOutMap& out, std::vector<std::pair<std::string, std::vector<uint8_t>>>* pngs);
// Tiled's JSON of the plan's properties and object layers: the top level's
// "layers" (object groups and groups only) and "properties".
std::string TmxWriteObjectsJson(const TmxOutMap& m);

// The tileset and the map of a plan, as files' text: TSX and TMX
// (tmxwritexml.cpp), or Tiled's JSON forms TSJ and TMJ (tmxwritejson.cpp).
std::string TmxWriteTsx(const TmxOutMap& m);
std::string TmxWriteTmx(const TmxOutMap& m);
std::string TmxWriteTsj(const TmxOutMap& m);
std::string TmxWriteTmj(const TmxOutMap& m);
