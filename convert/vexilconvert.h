// vexilconvert: Tiled maps (TMX or Tiled's JSON, with TSX or TSJ tilesets and
// PNG images) to map file images for the map library, and map files back to
// Tiled maps in either form.
//
// A game may import at run time and hand the image to MapDecode:
//     std::vector<uint8_t> image;
//     TmxError err;
//     if (TmxImport("level.tmx", image, err)) MapDecode(image.data(), image.size());
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Why a conversion failed: the file at fault (the map, a tileset or an
// image) and a one-line reason.
struct TmxError {
    std::string file;
    std::string reason;
};

// Reads a whole file; false with a reason in `why` (no file name in it).
using TmxReadFile = std::function<bool(const std::string& path, std::vector<uint8_t>& out, std::string& why)>;

// Bounds on what an import may allocate; the defaults take any map a game
// would draw, and the fuzz target sets small ones.
struct TmxLimits {
    int64_t maxcells = int64_t{1} << 22;       // width x height of the map
    int64_t maxlayercells = int64_t{1} << 26;  // cells of all tile layers together
    int64_t maxpixels = int64_t{1} << 26;      // pixels of one image
    int64_t maxfile = int64_t{256} << 20;      // bytes of one file
    int64_t maxsteps = 1 << 16;                // steps before a cell's animations repeat
    int64_t maxframes = 1 << 20;               // frame entries of all animations
};

// A sprite sheet to carry in the map: a PNG image cut into frames of
// framewidth x frameheight pixels (0: the whole image), found by `name`
// (empty: the file's name without its folder and extension).
struct TmxSpriteSheet {
    std::string path;
    std::string name;
    int framewidth = 0, frameheight = 0;
};

struct TmxImportOptions {
    TmxLimits limits;
    TmxReadFile read;  // null: read regular files from disk
    // Sprite sheets that share the map's palette, before the tilesets whose
    // property "sprites" is true.
    std::vector<TmxSpriteSheet> sprites;
    // Where the map file will be written: file properties are made relative
    // to its folder. Empty: the Tiled map's folder.
    std::string output;
    // Where the import says what of the map does not come across (layers and
    // tilesets it leaves out or tolerates): one line per kind, each naming
    // the file and the layers or tilesets. Null: not said.
    std::vector<std::string>* warnings = nullptr;
};

// Converts the Tiled map at `path` (TMX, or JSON: .tmj, .json, or text that
// starts with '{') into a map file image. False with the file at fault and
// the reason; `image` is then empty.
bool TmxImport(const std::string& path, std::vector<uint8_t>& image, TmxError& err,
               const TmxImportOptions& options = {});

// The same from the map's text in memory; `path` names it in messages, and
// the tilesets and images it refers to are read relative to its folder.
bool TmxImportMemory(const char* text, size_t size, const std::string& path, std::vector<uint8_t>& image, TmxError& err,
                     const TmxImportOptions& options = {});

// One output file of an export.
struct TmxFile {
    std::string path;
    std::vector<uint8_t> data;
};

// Turns a map file image into the files of a Tiled map: `tmxpath` (the
// map), the same name with .tsx (its tileset), .png (the tileset image) and
// -parallax.png (the parallax graphic); for a path ending in .tmj or .json
// the map and its tileset (.tsj) in Tiled's JSON form. Nothing is written;
// false with the reason when the image is not a map this library can draw.
// The map's objects go with it, its sprite images as embedded tilesets whose
// images are OUT-sprite-N.png; file properties, relative to the map file at
// `mappath` (empty: relative to OUT's folder already), are made relative to
// OUT.
bool TmxExport(const uint8_t* image, size_t size, const std::string& tmxpath, std::vector<TmxFile>& files,
               TmxError& err, const std::string& mappath = "");

// A map file's properties and object layers (with the groups they nest in)
// as Tiled's JSON map form writes them: an object with "layers" and, when
// the map has any, "properties". Tile objects' gids are numbered as an
// export numbers them. False with the reason for an image that is no map.
bool TmxObjectsJson(const uint8_t* image, size_t size, std::string& json, TmxError& err);
