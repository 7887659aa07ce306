// vexildx: loads chunked 8-bit tile maps, builds their tile surfaces, steps
// block animations, draws the map at any pixel scroll position into a view of
// any size, and lets a game read and change its cells.
//
// One map at a time lives in the global state below. Results: 0 success,
// -1 failure with a reason code in `maperror` (and a short text in
// `mapreason`). The host program defines the display object `lpDD`.
// mapformat.h reads and writes map files with no display object.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "ddraw.h"
#include "mapchunks.h"  // single-chunk decoders, for tests
#include "maprecords.h"

// --- Relocated form ----------------------------------------------------------
// A stored 32-bit offset cannot hold a pointer on a 64-bit machine, so the
// relocated records live beside the stored ones, each twice the size of its
// stored record, in the same order. A stored byte offset `o` therefore maps to
// the relocated address base + 2 * o, and drawing resolves a cell with a sign
// test and an address computation.

// Relocated block structure: 64 bytes.
struct MAPBLOCK {
    LPDIRECTDRAWSURFACE bgoff;  // always set
    LPDIRECTDRAWSURFACE fgoff;  // null when the block has no such graphic
    LPDIRECTDRAWSURFACE fgoff2;
    LPDIRECTDRAWSURFACE fgoff3;
    const BLKSTR* blkstr;  // the stored record: user fields and flags
    uint8_t trigger;       // 1 when the trigger flag is set
    uint8_t pad[23];
};

// Relocated animation record: 32 bytes. The frame entries it designates are
// MAPBLOCK pointers in the relocated frame list.
struct MAPANIM {
    signed char antype;
    signed char andelay;
    signed char ancount;
    signed char anuser;
    MAPBLOCK** ancuroff;    // current frame entry
    MAPBLOCK** anstartoff;  // first frame entry
    MAPBLOCK** anendoff;    // one past the last frame entry
};

static_assert(sizeof(MAPBLOCK) == 64 && sizeof(MAPANIM) == 32);

// --- Global map state ---------------------------------------------------------

extern LPDIRECTDRAW lpDD;  // the display object; defined by the host program

extern int maperror;                          // reason code of the last load (MER_*)
extern char mapreason[128];                   // why: the failed check, or the system's reason
                                              // when the file cannot be opened; "" when none
extern short mapwidth, mapheight;             // size in cells
extern short mapblockwidth, mapblockheight;   // block size in pixels
extern short mapdepth;                        // bits per pixel
extern short mapblockstrsize;                 // block structure size as stated
extern short mapnumblockstr, mapnumblockgfx;  // counts
extern short* mappt;                          // the layer drawing reads (BODY after a load)
extern short* mapmappt[8];                    // BODY and LYR1..LYR7; null where absent
extern unsigned char* mapcmappt;              // colour map: 256 RGB triples
extern char* mapblockgfxpt;                   // block graphics, one after another
extern char* mapblockstrpt;                   // block structures, stored form
extern char* mapanimstrpt;                    // animation data, stored form; null if none
extern char* mapanimstrendpt;                 // one past the end of the animation data
extern PALETTEENTRY mappept[256];             // palette made from the colour map
extern int mapnumanimstr;                     // animation records of the loaded map
// 1 when the loaded map's cells hold numbers (a map past 1,024 block
// structures or 2,048 animations, layer chunks BODN and LYN1..LYN7): b for
// block b, -(k + 1) for animation k. 0 for byte offsets, as every map within
// those limits stores them: 32 * b, and -16 * (k + 1).
extern int mapcellnumbers;

// Tile surfaces. A map holds 1 to 32767 graphics of mapblockwidth x
// mapblockheight pixels. maptilespt is the whole table: the surface of every
// graphic in order, then a null. maplpDDSTiles keeps its 256 slots and its
// meaning for a map of up to 255 graphics (one per graphic, a null after the
// last); a larger map puts its first 255 graphics there and a null in slot
// 255, so code that walks the slots up to the null stays inside them. The
// surfaces share one pixel store, the block graphics at mapblockgfxpt.
extern LPDIRECTDRAWSURFACE* maptilespt;
extern LPDIRECTDRAWSURFACE maplpDDSTiles[256];
// The parallax surface: 2 x 2 copies of the top-left mapblockwidth x
// mapblockheight pixels of the last graphic.
extern LPDIRECTDRAWSURFACE lpDDSPara;

extern char* mapblkrelpt;      // relocated block structures (MAPBLOCK), 2x stored
extern char* mapanimrelpt;     // relocated animation data, 2x stored; null if none
extern char* mapanimrelendpt;  // one past its end: relocated records lie below

// --- Operations ---------------------------------------------------------------------

// Loads a map file. 0 on success; -1 with maperror 1 (memory), 2 (not a valid
// map) or 3 (cannot open), or 0 when building the surfaces failed.
int MapLoad(const char* mapname);
// Loads a map from its file image in memory. With `mapmemsize`, nothing
// outside those bytes is read. The image may be released afterwards.
int MapDecode(const unsigned char* mapmempt, size_t mapmemsize = SIZE_MAX);
// A few words for a load's reason code, for messages: "cannot open", "not a
// valid map", "out of memory"; for 0 (after a failed load: no display object,
// or a surface could not be made) "cannot make the map's surfaces".
const char* MapErrorName(int code);
// Frees every buffer and releases every surface of the map.
void MapFreeMem();

// Builds the tile and parallax surfaces and the relocated form; run once at
// the end of every load. On failure the whole map is freed.
int MapRelocate();

// Palette conversion: 768 colour map bytes into 256 entries, flags 0.
void MapCMAPtoPE(const unsigned char* mycmappt, PALETTEENTRY* mypept);
void MapCorrectColours();  // no effect

// Block animation.
void MapInitAnims();
void MapUpdateAnims();

// --- The view -------------------------------------------------------------------
// The drawing routines fill a mapvieww x mapviewh window of the map, each
// side 1 to MAPVIEW_MAX pixels, whose top-left pixel is map pixel (mapxo,
// mapyo) clamped into the map, drawn at (mapviewx, mapviewy) of the
// destination. It is 640 x 480 at (0, 0) until MapSetView changes it. The
// view is global state like the rest of the map: the four routines keep
// their signatures, a game sets it once (or before each part of a split
// screen), and the parallax, background and foreground of one frame cannot
// disagree about it. A view that does not lie inside the destination, or a
// map smaller than the view, draws nothing. Loading or freeing a map leaves
// the view as it is.
enum { MAPVIEW_MAX = 4096 };
extern int mapviewx, mapviewy;  // destination of the view's top-left pixel
extern int mapvieww, mapviewh;  // its size in pixels
// 0; -1 with nothing changed when a side is outside 1..MAPVIEW_MAX or x or
// y is negative.
int MapSetView(int x, int y, int w, int h);

// Drawing into the view at map pixel (mapxo, mapyo).
void MapDraw8BG(LPDIRECTDRAWSURFACE lpDDSDest, int mapxo, int mapyo);
void MapDraw8BGT(LPDIRECTDRAWSURFACE lpDDSDest, int mapxo, int mapyo);
void MapDraw8FG(LPDIRECTDRAWSURFACE lpDDSDest, int mapxo, int mapyo, int mapfg);
void MapDrawPara(LPDIRECTDRAWSURFACE lpDDSDest, int mapxo, int mapyo);

// --- Cells --------------------------------------------------------------------------
// A game reads and changes cells by block and animation numbers, through the
// functions below; the stored encoding of cells stays the library's. Layer n
// is mapmappt[n]: 0 the BODY layer, 1 to 7 the layers LYR1 to LYR7. Every
// function returns -1 and changes nothing when no map is loaded, the layer
// is absent or the cell lies outside the map.

// What a cell holds and shows now.
struct MAPCELL {
    int anim;           // the cell's animation number; -1 for a static block
    int block;          // the block structure it shows now: its own, or the
                        // animation's current frame
    const BLKSTR* str;  // that block's stored record: user1..user7, tl, tr,
                        // bl, br, trigger (graphic fields as stored)
};

// Cell (x, y) of `layer`.
int MapGetCell(int layer, int x, int y, MAPCELL* cell);
// The cell of `layer` under map pixel (px, py).
int MapGetCellAtPixel(int layer, int px, int py, MAPCELL* cell);
// Makes cell (x, y) of `layer` show block structure `block` (0 to 1023, or
// to 32766 with numbered cells, and below mapnumblockstr), or play animation
// `anim` (0 to 2047, or to 32767 with numbered cells, and below
// mapnumanimstr); -1 for a number that designates nothing.
int MapSetCellBlock(int layer, int x, int y, int block);
int MapSetCellAnim(int layer, int x, int y, int anim);
// Makes drawing read `layer` (mappt); -1 when it is absent.
int MapSetLayer(int layer);

// The relocated animation record of animation k (cell value -16 * (k + 1),
// or -(k + 1) in a map of numbered cells).
inline MAPANIM* MapAnim(int k) { return reinterpret_cast<MAPANIM*>(mapanimrelendpt) - (k + 1); }
// The block a cell value shows now (relocated form; the map must be loaded
// and the value valid for it).
inline MAPBLOCK* MapResolveCell(short v) {
    if (mapcellnumbers) return v >= 0 ? reinterpret_cast<MAPBLOCK*>(mapblkrelpt) + v : *MapAnim(-v - 1)->ancuroff;
    if (v >= 0) return reinterpret_cast<MAPBLOCK*>(mapblkrelpt + 2 * static_cast<ptrdiff_t>(v));
    return *reinterpret_cast<MAPANIM*>(mapanimrelendpt + 2 * static_cast<ptrdiff_t>(v))->ancuroff;
}

// --- Objects and properties -----------------------------------------------------------
// What a map made in Tiled places beyond its tiles: the map's own custom
// properties, its object layers with the groups they nest in, and their
// objects, with Tiled's fields and values. Everything here is read-only and
// stays valid, strings included, until the next load or MapFreeMem; a map
// without objects has counts of 0 and empty lists. No call here allocates.

// A custom property. `type` is "string", "int", "float", "bool" ("true" or
// "false"), "color" ("#aarrggbb", or "" for none), "file" (a path relative
// to the map file) or "object" (an object's id, 0 for none); `value` is its
// text as a TMX file holds it.
struct MAPPROPERTY {
    const char* name;
    const char* type;
    const char* value;
};
// The properties of the map, a layer or an object, sorted by name.
struct MAPPROPERTIES {
    int count;
    const MAPPROPERTY* list;
};

struct MAPSPRITE;
struct MAPOBJECTLAYER;

// An object. Coordinates are map pixels, as Tiled gives them: a tile
// object's (x, y) is where its image is aligned (its bottom-left unless its
// tileset says otherwise), any other's its top-left; rotation is in degrees,
// clockwise about (x, y). The layer's offsets are not added. An instance of
// a Tiled template reads whole: what it does not set itself, properties
// included, is its template's.
struct MAPOBJECT {
    int id;            // Tiled's object id
    const char* name;  // "" when none
    const char* type;  // its class; "" when none
    double x, y, width, height, rotation;
    int visible;
    int shape;                // MAPSHAPE_*
    int numpoints;            // polygon and polyline: points at (x + points[2i], y + points[2i + 1])
    const double* points;     // null when none
    const char* text;         // a text object's string; "" otherwise
    MAPPROPERTIES textstyle;  // its settings unlike Tiled's defaults: "pixelsize", "wrap", "color", ...
    const MAPSPRITE* sprite;  // a tile object's image; null otherwise
    int flips;                // a tile object's MAPSPRITE_FLIPX | MAPSPRITE_FLIPY | MAPSPRITE_FLIPD
    MAPPROPERTIES props;
    const MAPOBJECTLAYER* layer;
};

// An object layer, or a group of layers (which holds no objects). The
// layers come in Tiled's order, a group before what it holds.
struct MAPOBJECTLAYER {
    int id;
    const char* name;
    int group;                         // 1 for a group
    int visible;                       // its own flag: it shows when its groups show too
    int above;                         // 1 when Tiled draws a tile layer of the map before it
    int indexorder;                    // 1: objects drawn in their order; 0: by y, top down
    double opacity, offsetx, offsety;  // its own; its groups' apply too
    const MAPOBJECTLAYER* parent;      // its group; null at the top
    MAPPROPERTIES props;
    int numobjects;
    const MAPOBJECT* objects;
};

extern MAPPROPERTIES mapproperties;         // the map's own
extern int mapnumobjlayers;                 // object layers and groups
extern const MAPOBJECTLAYER* mapobjlayers;  // in Tiled's order
extern int mapnumobjects;                   // objects of every layer
extern const MAPOBJECT* mapobjects;         // layer after layer, each in its order

// The first object layer or group of that name; null when none.
const MAPOBJECTLAYER* MapFindObjectLayer(const char* name);
// The first object after `after` (null: from the first) with that name, or
// of that class; null when none is left. A loop passes back what it got.
const MAPOBJECT* MapFindObject(const char* name, const MAPOBJECT* after);
const MAPOBJECT* MapFindObjectOfType(const char* type, const MAPOBJECT* after);
// The object with Tiled's id `id`; null when none.
const MAPOBJECT* MapGetObject(int id);
// The property `name` of `props` (null: the map's own); null when none.
const MAPPROPERTY* MapGetProperty(const MAPPROPERTIES* props, const char* name);
// A property's value as a number, a truth or a text; `def` when the
// property is absent or its type does not give one: an int reads int,
// object and float (truncated) properties, a float int and float ones, a
// bool bool ones, and a string any property.
int MapGetIntProperty(const MAPPROPERTIES* props, const char* name, int def);
double MapGetFloatProperty(const MAPPROPERTIES* props, const char* name, double def);
int MapGetBoolProperty(const MAPPROPERTIES* props, const char* name, int def);
const char* MapGetStringProperty(const MAPPROPERTIES* props, const char* name, const char* def);

// --- Sprites ---------------------------------------------------------------------------
// An 8-bit image on the map's palette, 0 see-through: a sprite sheet or a
// tile object's image that the map carries, a graphic of the map, or a
// caller's own pixels. A sheet is cut into frames of framewidth x
// frameheight pixels, left to right, then top to bottom.
struct MAPSPRITE {
    const char* name;
    int width, height;
    int framewidth, frameheight;  // a single image: its own size
    int frames;                   // whole frames in the image
    int originx, originy;         // a tile object's image: where the object's (x, y) lies in it
    int pitch;                    // bytes from a row to the next
    const unsigned char* pixels;  // the top-left pixel
};

extern int mapnumsprites;            // images the map carries
extern const MAPSPRITE* mapsprites;  // sheets, then tile objects' images

// The map's image of that name (a sheet: its file or tileset name; a tile
// object's image: "tileset/tile id"); null when none.
const MAPSPRITE* MapFindSprite(const char* name);
// One frame of a sheet as an image of its own, into `out`: 0, or -1 when
// there is no such frame.
int MapSpriteFrame(const MAPSPRITE* sheet, int frame, MAPSPRITE* out);
// Graphic g of the loaded map (0 to mapnumblockgfx - 1) as an image: 0, or -1.
int MapGraphicSprite(int g, MAPSPRITE* out);

enum { MAPSPRITE_FLIPX = 1, MAPSPRITE_FLIPY = 2, MAPSPRITE_FLIPD = 4 };

// Draws `sprite` with its top-left at map pixel (x, y), seen through the
// view at map pixel (mapxo, mapyo) as the drawing routines see the map
// (clamped the same way when a map larger than the view is loaded):
// see-through pixels skipped, mirrored left to right with MAPSPRITE_FLIPX
// and top to bottom with MAPSPRITE_FLIPY, clipped to the view and the
// surface. 0 when drawn (wholly clipped too); -1 with nothing drawn for a
// null surface, one locked or lent to a device context, a view outside it,
// a sprite without pixels, a side below 1 or a pitch below the width, or
// MAPSPRITE_FLIPD. The surface's pixels are written as a lock would give
// them, without one.
int MapDrawSprite(LPDIRECTDRAWSURFACE lpDDSDest, int mapxo, int mapyo, const MAPSPRITE* sprite, int x, int y,
                  int flags);
// Draws the map's tile objects as Tiled draws them, through the view like
// MapDrawSprite: the visible ones of shown object layers, layer after layer,
// each layer's in its drawing order, at their place with their layers' and
// groups' offsets; one rotated, drawn at another size than its image's or
// flipped diagonally is left out. 0; -1 as MapDrawSprite.
int MapDrawTileObjects(LPDIRECTDRAWSURFACE lpDDSDest, int mapxo, int mapyo);
