// mapformat: map file images parsed into descriptions of the map they hold,
// and descriptions serialized back into map file images. Needs no display
// object and touches none of the map library's global state; MapLoad and
// MapDecode read maps through it. Its library (vexil_format) also holds the
// map builder (mapbuild.h) and the writer helpers (mapwriter.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "maprecords.h"

// Chunk kinds, in the order the loaders compare the ids.
enum MapChunkKind {
    MAPCHUNK_MPHD,
    MAPCHUNK_CMAP,
    MAPCHUNK_BKDT,
    MAPCHUNK_ANDT,
    MAPCHUNK_BGFX,
    MAPCHUNK_BODY,
    MAPCHUNK_LYR1,                      // LYR1..LYR7 follow in order
    MAPCHUNK_BODN = MAPCHUNK_LYR1 + 7,  // the layers with numbered cells
    MAPCHUNK_LYN1,                      // LYN1..LYN7 follow in order
    MAPCHUNK_OBJS = MAPCHUNK_LYN1 + 7,  // the map's properties, object layers and objects
    MAPCHUNK_SPRT,                      // named 8-bit images: sprite sheets, tile objects' images
    MAPCHUNK_OTPL,                      // which objects are instances of templates, and what they set
    MAPCHUNK_NULL,                      // any other id
    MAPCHUNK_KINDS
};

// The layer (0 BODY, 1..7 LYR1..LYR7) a layer chunk holds, with numbered
// cells or not; -1 for a chunk that is no layer.
inline int MapChunkLayer(MapChunkKind kind) {
    if (kind >= MAPCHUNK_BODY && kind < MAPCHUNK_BODN) return kind - MAPCHUNK_BODY;
    if (kind >= MAPCHUNK_BODN && kind < MAPCHUNK_OBJS) return kind - MAPCHUNK_BODN;
    return -1;
}
// The chunk of layer n (0..7) in either encoding.
inline MapChunkKind MapLayerChunk(int n, bool numbered) {
    return static_cast<MapChunkKind>((numbered ? MAPCHUNK_BODN : MAPCHUNK_BODY) + n);
}

// The kind of a four-byte chunk id (compared byte by byte, case-sensitively)
// and the id of a kind ("unknown" for MAPCHUNK_NULL).
MapChunkKind MapChunkKindOf(const char* id);
const char* MapChunkName(MapChunkKind kind);

// An animation: its frames are the frame list's entries start to end - 1.
struct MAPANIMDESC {
    signed char antype = ANTYPE_LOOP_FWD;
    signed char andelay = 0;
    signed char ancount = 0;
    signed char anuser = 0;
    int start = 0;  // first frame entry
    int end = 0;    // one past the last frame entry
    int cur = 0;    // the entry it shows after a load
};

// --- Objects, properties and sprite images ---------------------------------------------
// What a Tiled map places beyond its tiles travels in chunks that a reader
// of the older format skips: OBJS holds the map's own properties and its
// object layers (and the groups they sit in) with their objects, SPRT named
// 8-bit images on the map's palette (sprite sheets, and the images of tile
// objects), OTPL which objects are instances of templates. All are checked
// whole on load.

// A custom property as Tiled keeps it: its type is one of "string", "int",
// "float", "bool", "color", "file" and "object", its value the text Tiled
// writes for it in a TMX file ("true", "#aarrggbb", a path relative to the
// map file, an object's id).
struct MAPPROP {
    std::string name, type, value;
};

// An object, with Tiled's fields.
struct MAPOBJDESC {
    int32_t id = 0;
    std::string name, type;  // type: what Tiled calls the object's class
    double x = 0, y = 0, width = 0, height = 0, rotation = 0;
    bool visible = true;
    int shape = MAPSHAPE_RECTANGLE;
    std::vector<double> points;      // polygon and polyline: x, y pairs from (x, y)
    std::string text;                // a text object's string
    std::vector<MAPPROP> textstyle;  // and its settings that differ from Tiled's defaults, by name
    int32_t sprite = -1;             // a tile object's image: a sprite of the map
    uint32_t gid = 0;                // a tile object's flip bits (0xE0000000 at most)
    std::vector<MAPPROP> props;
    // An instance of a template: the template file (a path relative to the
    // map file, as a file property's is), what the object sets itself
    // (MAPOWN_* bits) and which of props are its own (indices, ascending).
    // The other fields and properties hold the template's values, so a game
    // reads the object whole; the tools write back only what it sets.
    std::string templ;
    unsigned own = 0;
    std::vector<uint32_t> ownprops;
};

// What a template instance sets itself, as Tiled keeps it: the name, the
// class, the size, the rotation, the visibility, the tile (with its flips),
// the shape (with its points or text).
enum {
    MAPOWN_NAME = 1,
    MAPOWN_TYPE = 2,
    MAPOWN_SIZE = 4,
    MAPOWN_ROTATION = 8,
    MAPOWN_VISIBLE = 16,
    MAPOWN_TILE = 32,
    MAPOWN_SHAPE = 64,
    MAPOWN_ALL = 127
};

// An object layer, or a group of layers. Tiled's tile and image layers are
// the map's picture and are not kept here; a group is kept whatever it
// holds, so that the object layers nest as they do in Tiled.
struct MAPOBJLAYERDESC {
    bool group = false;
    int32_t id = 0;
    std::string name;
    bool visible = true;
    bool indexorder = false;  // objects drawn in their order; else by y, top down (Tiled's "draworder")
    bool above = false;       // Tiled draws a tile layer of the picture before it
    double opacity = 1;
    double offsetx = 0, offsety = 0;
    int32_t parent = -1;  // the group (an earlier entry) it is in; -1 at the top of the map
    std::vector<MAPPROP> props;
    std::vector<MAPOBJDESC> objects;
};

// A named 8-bit image: palette indices, 0 see-through. A sprite sheet is cut
// into frames of framewidth x frameheight pixels, left to right and top to
// bottom; a tile object's image is one frame, named "tileset/tile id".
struct MAPSPRITEDESC {
    std::string name;
    bool tile = false;  // the image of a tile that tile objects show
    int width = 0, height = 0;
    int framewidth = 0, frameheight = 0;  // 1 to width and height
    int originx = 0, originy = 0;         // a tile's image: where the object's (x, y) lies in it
    std::vector<uint8_t> pixels;          // width x height, rows from the top
};

// What a map may hold of these; more is refused, naming the count and the
// limit.
enum {
    MAPOBJ_MAXLAYERS = 4096,    // object layers and groups
    MAPOBJ_MAXOBJECTS = 65536,  // objects in all layers
    MAPOBJ_MAXPOINTS = 65536,   // points of one polygon or polyline
    MAPOBJ_MAXPROPS = 4096,     // properties of the map, a layer or an object
    MAPOBJ_MAXSTRING = 65536,   // bytes of a name, a value or a text
    MAPSPRITE_MAX = 4096,       // sprite images
    MAPSPRITE_MAXSIDE = 4096,   // pixels a side of one
};

// A map as its file holds it. Block structures keep their stored form (graphic
// offsets are byte offsets into gfx); frame entries are byte offsets into the
// block structures (32 per block); cells are stored cell values. The block
// and graphic counts are those of blocks and gfx.
//
// Cells come in two encodings. A map within 1,024 block structures and 2,048
// animations stores byte offsets, as every reader of the format knows them:
// 32 x b for block b, -16 x (k + 1) for animation k, in the layer chunks BODY
// and LYR1..LYR7. A map past either limit stores numbers: b for block b (0 to
// 32,766) and -(k + 1) for animation k (0 to 32,767), in the chunks BODN and
// LYN1..LYN7 instead, laid out the same way; `numbered` says which. A reader
// that knows only the first finds no BODY and refuses such a map rather than
// misreading its cells. A map holds one encoding.
struct MAPDESC {
    int width = 0, height = 0;  // in cells
    int blockwidth = 16, blockheight = 16, depth = 8;
    int blockstrsize = 32;        // as the header states it
    int verhigh = 1, verlow = 0;  // format version in the header
    std::vector<uint8_t> cmap;    // 768 bytes: RGB triples
    std::vector<BLKSTR> blocks;
    std::vector<uint8_t> gfx;                // block graphics back to back
    std::vector<int32_t> frames;             // the frame list
    std::vector<MAPANIMDESC> anims;          // animation 0 first
    std::vector<int16_t> layers[8];          // 0 BODY, 1..7 LYR1..LYR7; empty = absent
    bool numbered = false;                   // cells hold numbers (BODN, LYN1..LYN7)
    std::vector<MAPPROP> props;              // the map's own properties (OBJS)
    std::vector<MAPOBJLAYERDESC> objlayers;  // object layers and groups, in Tiled's order (OBJS)
    std::vector<MAPSPRITEDESC> sprites;      // (SPRT)
    // What a parse read, which serializing ignores: bit 1 << MapChunkKind
    // for each known chunk (a map that failed holds only these, unchecked;
    // the animations once the check has read them), and the header chunk as
    // it stands in the file, whose counts a map that passes has in blocks
    // and gfx.
    unsigned held = 0;
    MPHD header{};

    int numblockgfx() const;  // whole graphics in gfx
};

// Why a parse failed: the code and the text the loaders leave in maperror and
// mapreason (MER_MAPLOADERROR with what is wrong, or MER_OUTOFMEM).
struct MAPREASON {
    int code = MER_NONE;
    char text[128] = "";
};

// Parses a map file image: the FORM must lie within `size` bytes, nothing
// past them is read, and everything the loaders check is checked. 0 with the
// map in `desc`; -1 with the reason in `why` and in `desc` what was read
// before the failure (see MAPDESC::held). `why` may be null.
int MapParse(const unsigned char* img, size_t size, MAPDESC* desc, MAPREASON* why);

// A chunk met by MapWalk.
struct MAPCHUNKINFO {
    char id[4];
    uint32_t length;
    uint64_t offset;            // of its header in the image
    const unsigned char* data;  // its length bytes
};

// Walks the chunks of an image in file order, as the loaders do, calling
// `visit` for each whole one: up to the end of the FORM, or of the image when
// it ends first. 0 when the walk reaches that end; -1 with the reason where
// it stops (no FORM of type FMAP, a chunk cut short).
int MapWalk(const unsigned char* img, size_t size, const std::function<void(const MAPCHUNKINFO&)>& visit,
            MAPREASON* why);

// The FORM size field of an image's first 8 bytes: 0 with *formsize set when
// they are "FORM" and a size; -1 otherwise. The FORM is that size + 8 bytes.
int MapFormSize(const unsigned char* img, size_t size, uint32_t* formsize);

// One chunk of an image: a four-character id (any bytes; shorter ids are
// padded with spaces) and its data.
struct MAPCHUNK {
    std::string id;
    std::vector<uint8_t> data;
};

// The data of one chunk of a description (for MAPCHUNK_BODY and the layers,
// the cells of that layer).
std::vector<uint8_t> MapSerializeChunk(const MAPDESC& desc, MapChunkKind kind);
// The chunks of a description in the usual order: MPHD, CMAP, BKDT, ANDT
// (when it has frames or animations), BGFX, BODY, LYR1..LYR7 (those present;
// BODN, LYN1..LYN7 for numbered cells), then OBJS, SPRT and OTPL when there
// is anything to put in them.
std::vector<MAPCHUNK> MapSerializeChunks(const MAPDESC& desc);
// A file image: "FORM", its size, "FMAP", then the chunks in order.
std::vector<uint8_t> MapSerialize(const std::vector<MAPCHUNK>& chunks);
std::vector<uint8_t> MapSerialize(const MAPDESC& desc);

// Rewrites every cell of a description into the other encoding (numbered or
// byte offsets) and sets `numbered`. False, with nothing changed, when a cell
// names a block past 1023 or an animation past 2047 and byte offsets are asked
// for, or a value that is no cell of the encoding it is in.
bool MapRecodeCells(MAPDESC& desc, bool numbered);
