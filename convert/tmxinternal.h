// Converter internals: the Tiled map as read (from TMX or JSON, the same
// description either way), decoded images, warnings, and the failure that
// the entry points turn into a TmxError.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "mapformat.h"
#include "vexilconvert.h"

// A conversion failure deep inside a reader or the builder: thrown, caught
// by the entry points.
struct TmxFail {
    std::string file;
    std::string reason;
};

[[noreturn]] void TmxThrow(const std::string& file, const char* fmt, ...) __attribute__((format(printf, 2, 3)));

// Flip bits of a gid; the hexagonal rotation bit means nothing on an
// orthogonal map and is dropped.
constexpr uint32_t kTmxFlipH = 0x80000000u;
constexpr uint32_t kTmxFlipV = 0x40000000u;
constexpr uint32_t kTmxFlipD = 0x20000000u;
constexpr uint32_t kTmxGidMask = 0x0FFFFFFFu;

// Collision quarters of a cell, as the block flags tl, tr, bl, br.
enum { kTmxTL = 1, kTmxTR = 2, kTmxBL = 4, kTmxBR = 8 };

// A custom property: its Tiled type ("string", "int", "float", "bool",
// "color", "file", "object", "class") and its value as text.
struct TmxProp {
    std::string type = "string";
    std::string value;
};
using TmxProps = std::map<std::string, TmxProp>;  // by name, as Tiled orders them

// A collision shape of a tile: its bounding box in the tile's pixels.
struct TmxBox {
    double x0, y0, x1, y1;
};

// A <tile> element: what a tileset says about one of its tiles.
struct TmxTile {
    TmxProps props;
    std::vector<TmxBox> boxes;              // collision shapes
    std::vector<std::pair<int, int>> anim;  // frames: tile id, milliseconds
    std::string image;                      // image-collection tile: its file
};

// A decoded PNG. Pixels are R | G << 8 | B << 16 | A << 24; a palette image
// also keeps its indices and palette.
struct TmxImage {
    int width = 0, height = 0;
    std::vector<uint32_t> rgba;
    bool indexed = false;
    std::vector<uint8_t> index;
    std::vector<uint8_t> plte;  // 768 bytes, unused entries 0
    std::vector<uint8_t> trns;  // alpha of the first entries, as stored
};

struct TmxTileset {
    std::string file;  // the map, TSX or TSJ that defines it
    std::string name;
    int64_t firstgid = 0;
    int tilewidth = 0, tileheight = 0, spacing = 0, margin = 0;
    int columns = 0;               // as declared; 0 when absent
    int tilecount = -1;            // as declared; -1 when absent
    int offsetx = 0, offsety = 0;  // where its tiles are drawn, moved from their cell
    std::string align;             // where a tile object's (x, y) lies on its image ("" unspecified)
    std::string image;             // the one image; empty for a collection
    bool hastrans = false;
    uint32_t trans = 0;  // see-through colour, R | G << 8 | B << 16
    TmxProps props;
    std::map<int, TmxTile> tiles;
};

// A tile layer with the settings of its groups applied, its cells laid out
// over the whole map.
struct TmxLayer {
    std::string name;
    bool visible = true;
    double opacity = 1;
    int offx = 0, offy = 0;  // pixels, its groups' offsets added; whole when visible
    double parallaxx = 1, parallaxy = 1;
    int top = 0;           // the map's top-level layer it is, or is in
    bool picture = false;  // drawn into the map's picture (the import chooses)
    TmxProps props;
    std::vector<uint32_t> gids;  // width x height of the map

    struct Chunk {
        int64_t x, y, w, h;
        std::vector<uint32_t> gids;
    };
    std::vector<Chunk> chunks;  // an infinite map's chunks until they are placed
};

struct TmxImageLayer {
    std::string name;
    bool visible = true;
    bool repeatx = false, repeaty = false;
    double parallaxx = 1, parallaxy = 1;
    std::string image;  // path
    std::string file;   // the map
    bool hastrans = false;
    uint32_t trans = 0;
};

// The order Tiled draws a layer's cells in: rows from the top or the bottom,
// each row from the left or the right.
enum TmxRenderOrder { kTmxRightDown, kTmxRightUp, kTmxLeftDown, kTmxLeftUp };

// What does not come across, one entry per kind: the map, the text and the
// layers or tilesets it names. Printed one line a kind.
struct TmxWarnings {
    std::vector<std::pair<std::string, std::vector<std::string>>> kinds;
    void Add(const std::string& kind, const std::string& name);
    std::vector<std::string> Lines(const std::string& file) const;
};

struct TmxMap {
    std::string file;
    int width = 0, height = 0;  // cells
    int tilewidth = 0, tileheight = 0;
    TmxRenderOrder renderorder = kTmxRightDown;
    bool infinite = false;
    bool hasbackground = false;
    uint32_t background = 0;           // R | G << 8 | B << 16
    std::vector<TmxTileset> tilesets;  // by first gid
    std::vector<TmxLayer> layers;      // drawing order
    std::vector<TmxImageLayer> imagelayers;
    // What the map places beyond its tiles, as the map file keeps it: its
    // own properties, and its object layers and groups in Tiled's order
    // with the top-level layer each is or is in; a tile object's gid is
    // whole until the import resolves it.
    std::vector<MAPPROP> props;
    std::vector<MAPOBJLAYERDESC> objlayers;
    std::vector<int> objtop;
    size_t objects = 0;
    // The tile of a template instance that shows its template's tile: by
    // (object layer, object), the tileset (one of the map's, or one added
    // after them for templates alone) and the tile id; its gid holds only
    // the flips.
    std::map<std::pair<size_t, size_t>, std::pair<int, int>> templatetiles;
    TmxWarnings warnings;
};

// --- Reading ---------------------------------------------------------------------------

// Reads the map text (TMX, or Tiled's JSON when `json`) and every tileset it
// refers to, decodes the layers and checks what the import relies on.
void TmxParse(const char* text, size_t size, const std::string& path, const TmxImportOptions& options, TmxMap& map);
void TmxParseJson(const char* text, size_t size, const std::string& path, const TmxImportOptions& options, TmxMap& map);
// A tileset file, TSX or TSJ by its first character, into `out`.
void TmxReadTilesetFile(const std::string& path, const TmxImportOptions& options, TmxTileset& out);
void TmxReadTsx(const char* text, size_t size, const std::string& path, TmxTileset& out);
void TmxReadTsj(const char* text, size_t size, const std::string& path, TmxTileset& out);

// --- Templates (tmxtemplates.cpp) --------------------------------------------------------

// An object template: its object (without an id; file properties joined to
// the template's folder) and, for a tile object, the tileset file its gid
// counts from and that tileset's first gid there.
struct TmxTemplate {
    MAPOBJDESC object;
    std::string tileset;
    int64_t firstgid = 0;
};
// A template file read: TX (XML), or Tiled's JSON form.
void TmxReadTx(const char* text, size_t size, const std::string& path, TmxMap& map, TmxTemplate& out);
void TmxReadTj(const char* text, size_t size, const std::string& path, TmxMap& map, TmxTemplate& out);
// Completes every template instance the readers left (templ set to the
// template's path, own to what the object sets): the rest of its fields
// from its template, as Tiled does, and its properties merged by name.
void TmxResolveTemplates(TmxMap& map, const TmxImportOptions& options);

// --- Objects and properties (tmxobjects.cpp) ---------------------------------------------

// Custom properties as the map file keeps them: sorted by name, each value
// as Tiled writes it in a TMX file for its type, a file's path joined to
// `folder` (the import makes it relative to the map file). Class properties
// are left out and said so. `owner` names them in messages.
std::vector<MAPPROP> TmxCarryProps(const TmxProps& props, const std::string& folder, const std::string& owner,
                                   TmxMap& map);
// A text object's setting as a TMX attribute or a JSON key gives it (as
// text: "1" or "true", "12", "#ff0000"), kept where it differs from Tiled's
// default. Unknown keys are ignored.
void TmxTextSetting(MAPOBJDESC& o, const std::string& key, const std::string& value);
// Adds an object layer or group (its parent set, -1 at the top) and returns
// its index; adds an object to the last one. Both refuse strings past the
// map file's limits; TmxFinishMap counts the layers and objects.
int TmxAddObjectLayer(TmxMap& map, MAPOBJLAYERDESC&& layer, int top, const std::string& file);
void TmxAddObject(TmxMap& map, MAPOBJDESC&& o, const std::string& file);
// How messages name an object: its name, or "#id" when it has none.
std::string TmxObjectName(const MAPOBJDESC& o);
// A path (relative to the working folder, or absolute) made relative to
// `folder` ("" or ending in '/'), as Tiled writes a file property when the
// map moves; an empty path or a URL stays as it is.
std::string TmxRelativePath(const std::string& path, const std::string& folder);
// The points of a polygon or polyline from a TMX "points" attribute.
std::vector<double> TmxPoints(const char* text, const std::string& file);

// The map's tile size and, for a finite map, its size in cells, as the
// readers have set them: checked before any layer is read.
void TmxCheckSize(const TmxMap& map, const TmxImportOptions& options);
// What both readers share once they have read a map: the tilesets in order
// of their first gids (two with the same one refused), an infinite map's
// chunks laid out over the squares of 16 x 16 cells that hold a tile, the
// instances of templates completed.
void TmxFinishMap(TmxMap& map, const TmxImportOptions& options);
// The n cells of a layer's data as text: CSV, or base64 with the
// compression Tiled writes ("", zlib, gzip, zstd); `what` names it.
std::vector<uint32_t> TmxDecodeCells(const char* text, const std::string& encoding, const std::string& compression,
                                     int64_t n, const std::string& layer, const std::string& what,
                                     const std::string& file);
// Counts cells against the converter's limit of cells in all layers.
void TmxBudget(int64_t& used, int64_t n, const TmxImportOptions& options, const std::string& file);
// "#RRGGBB", "#AARRGGBB" or the same without '#', as R | G << 8 | B << 16;
// the alpha byte, when given, goes to `alpha`.
bool TmxColour(const char* s, uint32_t& rgb, int* alpha = nullptr);
// The quarters of a tile of tw x th pixels that its collision boxes
// overlap.
uint8_t TmxQuarters(const std::vector<TmxBox>& boxes, double tw, double th);

// A whole regular file, within the size limit: a FIFO, device, directory or
// socket is refused at once, and the size is checked before anything is read.
std::vector<uint8_t> TmxLoadFile(const TmxImportOptions& options, const std::string& path);

// The folder part of a path ("" or ending in '/') and a path relative to it.
std::string TmxFolder(const std::string& path);
std::string TmxJoin(const std::string& folder, const std::string& rel);

// --- Images -----------------------------------------------------------------------------

// PNG files. Decoding checks the size against `maxpixels` before allocating.
TmxImage TmxDecodePng(const std::vector<uint8_t>& data, const std::string& file, int64_t maxpixels);
// The width and height a PNG's header gives; false when it is no PNG.
bool TmxPngSize(const std::vector<uint8_t>& data, int& width, int& height);
// An 8-bit palette PNG of 256 entries; entry 0 is see-through when `key0`.
std::vector<uint8_t> TmxEncodePng(int width, int height, const uint8_t* indices, const uint8_t* cmap, bool key0);
// A 32-bit RGBA PNG.
std::vector<uint8_t> TmxEncodePngRgba(int width, int height, const uint32_t* rgba);

// Colour reduction: the pixels of `spans` (0 see-through, else an opaque
// colour) get palette entries 1..255 of `cmap` (768 bytes; entry 0, the
// see-through one, is left as it is) and are written as entries into
// `indices`, one span after another. Exact when there are at most 255
// colours.
bool TmxQuantize(const std::vector<std::pair<const uint32_t*, size_t>>& spans, std::vector<uint8_t>& cmap,
                 std::vector<uint8_t>& indices);

// What Tiled plays for an animation of the map format, from where the
// animation starts after a reset: one cycle of (block number, milliseconds).
// `frames` is the map's frame list as stored (32 bytes a block); an
// animation without frame entries shows the entry it starts on.
std::vector<std::pair<int, int>> TmxTiledFrames(const MAPANIMDESC& a, const std::vector<int32_t>& frames);
