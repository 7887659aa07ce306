// Converter internals: the Tiled map as read, decoded images, and the
// failure that the entry points turn into a TmxError.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "mapformat.h"
#include "vexilconvert.h"

// A conversion failure deep inside the reader or the builder: thrown, caught
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

// Collision quarters of a tile, as the block flags tl, tr, bl, br.
enum { kTmxTL = 1, kTmxTR = 2, kTmxBL = 4, kTmxBR = 8 };

struct TmxProp {
    std::string value;
};
using TmxProps = std::map<std::string, TmxProp>;

// A <tile> element: what a tileset says about one of its tiles.
struct TmxTile {
    TmxProps props;
    uint8_t quarters = 0;                   // collision by quarter
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
    std::string file;  // the TMX or TSX that defines it
    std::string name;
    int64_t firstgid = 0;
    int tilewidth = 0, tileheight = 0, spacing = 0, margin = 0;
    int columns = 0, tilecount = 0;  // of the image as it is
    std::string image;               // the one image; empty for a collection
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
    bool repeatx = false, repeaty = false;
    double parallaxx = 1, parallaxy = 1;
    std::string image;  // path
    std::string file;   // the TMX
    bool hastrans = false;
    uint32_t trans = 0;
};

struct TmxMap {
    std::string file;
    int width = 0, height = 0;  // cells
    int tilewidth = 0, tileheight = 0;
    bool infinite = false;
    bool hasbackground = false;
    uint32_t background = 0;           // R | G << 8 | B << 16
    std::vector<TmxTileset> tilesets;  // by first gid
    std::vector<TmxLayer> layers;      // drawing order
    std::vector<TmxImageLayer> imagelayers;
};

// Reads the TMX text and every tileset it refers to, decodes the layers and
// checks what the import relies on.
void TmxParse(const char* xml, size_t size, const std::string& path, const TmxImportOptions& options, TmxMap& map);

// The whole file, within the size limit.
std::vector<uint8_t> TmxLoadFile(const TmxImportOptions& options, const std::string& path);

// The folder part of a path ("" or ending in '/') and a path relative to it.
std::string TmxFolder(const std::string& path);
std::string TmxJoin(const std::string& folder, const std::string& rel);

// PNG files. Decoding checks the size against `maxpixels` before allocating.
TmxImage TmxDecodePng(const std::vector<uint8_t>& data, const std::string& file, int64_t maxpixels);
// An 8-bit palette PNG of 256 entries; entry 0 is see-through when `key0`.
std::vector<uint8_t> TmxEncodePng(int width, int height, const uint8_t* indices, const uint8_t* cmap, bool key0);
// A 32-bit RGBA PNG.
std::vector<uint8_t> TmxEncodePngRgba(int width, int height, const uint32_t* rgba);

// Colour reduction: `colours` are distinct opaque colours (alpha ignored)
// with how often each is used. Fills palette entries 1..255 of `cmap`
// (768 bytes) and gives each colour its index, exactly when there are at
// most 255 of them.
bool TmxReduceColours(const std::vector<uint32_t>& colours, const std::vector<uint32_t>& counts,
                      std::vector<uint8_t>& cmap, std::vector<uint8_t>& index);

// What Tiled plays for an animation of the map format, from where the
// animation starts after a reset: one cycle of (block number, milliseconds).
// `frames` is the map's frame list as stored (32 bytes a block); an
// animation without frame entries shows the entry it starts on.
std::vector<std::pair<int, int>> TmxTiledFrames(const MAPANIMDESC& a, const std::vector<int32_t>& frames);
