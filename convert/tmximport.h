// The Tiled importer's rooms share these: the tile a cell shows, the pieces
// a cell's layers put on it, the stacks they make over time, and the importer
// whose tile placement (tmxplace.cpp), tile pictures (tmxtiles.cpp),
// animation timing (tmxtiming.cpp) and assembly (tmximport.cpp) turn a Tiled
// map into a map file image.
#pragma once

#include <cstring>
#include <deque>
#include <functional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "mapbuild.h"
#include "tmxinternal.h"

// A tile as a cell shows it: tileset, local id, flip bits of the gid.
struct TileRef {
    int ts = -1;
    int id = 0;
    uint32_t flips = 0;
};

// One tile as a layer shows it in one cell: its gid (flips included), the
// picture layer (-1 for a map layer LYR1..LYR7), and where the tile's
// top-left pixel lies relative to the cell's top-left. A tile larger than a
// cell, or drawn at an offset, gives one fragment to every cell it covers.
struct Fragment {
    uint32_t gid;
    int32_t p;
    int32_t dx, dy;
};

// What one fragment puts on a cell: a tile, animated or not, in a slot (0
// the background graphic, 1..3 the foreground graphics).
struct Piece {
    int slot = 0;
    double opacity = 1;
    TileRef ref;
    int dx = 0, dy = 0;                           // the tile's top-left in the cell
    int h = 0;                                    // its height as drawn: frames line up at its bottom
    const TmxTile* def = nullptr;                 // the tile's <tile> element, if any
    std::vector<std::pair<TileRef, int>> frames;  // animation: tile, steps; empty when still
    int64_t period = 0;                           // steps of one cycle
    // The tile it shows, still or on each frame, and where that tile's
    // top-left lies in the cell (Importer::Prepare).
    struct View {
        const uint32_t* px;  // the tile's pixels as drawn, rows `stride` apart
        int stride, w, h;
        bool binary;  // every pixel opaque or see-through
        int dx, dy;
    };
    std::vector<View> views;
};

// A block as it will be built: composite pictures per slot (-1 none) and
// the flags and user fields (graphic offsets unset).
struct Stack {
    int comp[4] = {-1, -1, -1, -1};
    BLKSTR rec{};
};

// A cell's stacks over one cycle: one stack with length 0 when still.
struct Timeline {
    std::vector<std::pair<Stack, int64_t>> segments;
    // A tile of an exported tileset standing for its block or animation.
    bool direct = false;
    bool anim = false;
    int number = 0;
};

bool SameStack(const Stack& a, const Stack& b);

// Steps of a frame of `ms` milliseconds: one step is 1/60 s, and a frame
// lasts at least one.
int64_t Steps(int64_t ms);

// The steps of one frame entry for segments that last multiples of `unit`
// steps: the largest divisor of `unit` that andelay can hold.
int64_t FrameSteps(int64_t unit);

// The cells' keys: cells whose fragments are the same share one result. The
// key's first cell names it in messages.
struct CellKeys {
    std::vector<std::vector<Fragment>> keys;
    std::vector<std::string> where;
    std::vector<int> cells[8];  // the key of each cell of BODY and LYR1..LYR7; empty = no such layer
};

struct Importer {
    const TmxImportOptions& options;
    TmxMap& map;
    int tw, th;
    size_t tilepx;

    std::deque<TmxImage> images;
    std::unordered_map<std::string, int> imageof;  // path -> images index
    bool indexmode = false;

    // Tiles as drawn: the pixels of their image where they are not flipped,
    // else a flipped copy; see-through pixels are 0.
    struct Drawn {
        const uint32_t* px = nullptr;
        int stride = 0, w = 0, h = 0;
        bool binary = true;
    };
    std::unordered_map<uint64_t, Drawn> drawnof;             // by tile and flips
    std::deque<std::vector<uint32_t>> copies;                // flipped tiles, images with a see-through colour
    std::unordered_map<std::string, const uint32_t*> keyed;  // image and see-through colour -> its pixels
    std::vector<uint32_t> slotpx[4], blend, before;          // the slots' pixels while a stack is made
    std::vector<uint8_t> cover;

    std::unordered_multimap<uint64_t, int> compof;  // hash of pixels -> composite numbers
    // Composites, see-through pixels 0, kept in blocks of kCompBlock so that
    // their store grows without copying.
    static constexpr int kCompBlock = 64;
    std::vector<std::vector<uint32_t>> comps;
    int ncomps = 0;
    const uint32_t* Comp(int n) const { return comps[n / kCompBlock].data() + size_t(n % kCompBlock) * tilepx; }

    // Frame changes followed so far: each becomes at least one frame entry,
    // so their number is bounded like the frame list's.
    int64_t changes = 0;

    // The exported tileset whose graphics, blocks and animations are taken
    // over with their numbers: -1 when the map has none.
    int exported = -1;
    int ngfx = 0, nblocks = 0, nanims = 0;

    Importer(const TmxImportOptions& o, TmxMap& m)
        : options(o), map(m), tw(m.tilewidth), th(m.tileheight), tilepx(size_t(tw) * th) {}

    // --- Tile pictures (tmxtiles.cpp) ----------------------------------------

    const TmxImage& Image(const std::string& path);

    // Whether a tileset declares tile `id`; the tiles an image tileset's
    // image holds, by its own size.
    bool Declared(int t, int id);
    int ImageTiles(const TmxTileset& ts);

    // The tile a gid designates; `where` says where it was met.
    TileRef Resolve(uint32_t gid, const std::string& where);

    const TmxTile* Def(const TileRef& r);

    // The image a tile's pixels come from.
    const std::string& ImagePath(const TileRef& r);

    // A tile's size in pixels as a cell shows it, its diagonal flip applied.
    std::pair<int, int> TileSize(const TileRef& r);

    // A tile as drawn, its flips baked in: RGBA pixels, or in index mode
    // palette indices with alpha 255 (index 0 see-through), see-through
    // pixels 0; all of it see-through for a tile its image lacks.
    Drawn TileDrawn(const TileRef& r);

    // What a tile shows of a cell when its top-left lies at (dx, dy) of the
    // cell: a cell of pixels, see-through where the tile does not reach.
    std::vector<uint32_t> Picture(const TileRef& r, int dx, int dy);

    // Gives a piece its pictures, once the index mode is known.
    void Prepare(Piece& p);

    // Interns composite pixels (see-through pixels 0); -1 for all see-through.
    int Composite(std::vector<uint32_t>& px);

    // The slots' composites of a cell whose pieces are drawn in order, each
    // on its frame, blended as Tiled blends them; a pixel that ends at least
    // half opaque is drawn, fully opaque.
    // `drawn` holds each piece with its frame (0 for a still piece).
    void Slots(const std::vector<std::pair<const Piece*, size_t>>& drawn, int comp[4]);

    // --- Tile placement (tmxplace.cpp) ---------------------------------------

    // Every cell's fragments over the map, interned as keys: the picture
    // layers' tiles cut into cells in each layer's drawing order, then the
    // map layers' tiles in their own cells.
    CellKeys Place(const std::vector<int>& picture, const int extra[8]);

    // --- Animation timing (tmxtiming.cpp) ------------------------------------

    // A piece with its animation frames resolved.
    Piece MakePiece(const Fragment& f, const TileRef& ref, int slot, double opacity);

    // Follows the pieces over the cycle of all their animations.
    Timeline Follow(const std::vector<Piece>& pieces, const std::string& where);

    // --- Objects and sprites (tmxsprites.cpp) --------------------------------

    // A sprite image as it will be built: a sheet, or the tile that tile
    // objects show. Pixels: see-through 0, else opaque colour (in index
    // mode the palette index), as composites hold them.
    struct Sprite {
        MAPSPRITEDESC desc;                         // everything but the pixels
        TileRef ref;                                // a tile's
        std::string path;                           // a sheet's image file
        int x0 = 0, y0 = 0, cols = 0, spacing = 0;  // a tileset sheet's first tile, columns and spacing
        bool blank = false;                         // a tile that cannot be shown: all see-through
        std::vector<uint32_t> px;
    };
    std::vector<Sprite> sprites;

    // The sprite sheets and the tiles that tile objects show (each object
    // gets its sprite); every image they come from goes to `use`.
    void GatherSprites(const std::function<void(const std::string&)>& use);
    // Their pixels, once the index mode is known.
    void SpritePixels();
    // The map's properties, objects and sprites into `m`; the sprites'
    // palette entries follow one another in `indices`.
    void FinishObjects(MAPDESC& m, const uint8_t* indices);

    // --- Properties and stacks (tmximport.cpp) -------------------------------

    static const TmxProp* Prop(const TmxProps& props, const char* name);

    int64_t IntProp(const TmxProps& props, const char* name, int64_t lo, int64_t hi, const TileRef& r,
                    bool* found = nullptr);

    bool BoolProp(const TmxProps& props, const char* name);

    // Flags and user fields a piece gives its block: the flags are added up,
    // a user field set here replaces one set by a lower tile.
    void Apply(const Piece& p, const TmxTile* def, uint32_t flips, BLKSTR& rec);

    // The stack the pieces show when each is on the given frame.
    Stack MakeStack(const std::vector<Piece>& pieces, const std::vector<size_t>& frame);
};
