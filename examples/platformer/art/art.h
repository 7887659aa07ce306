// The platformer's art generator: palette ramps, a picture of palette indices
// and the painting helpers the tileset, sprite and font painters share.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace art {

// A run of palette entries from dark to light.
struct Ramp {
    int base = 0, n = 1;
    uint8_t operator()(int k) const;  // entry k, clamped into the ramp
};

// Every ramp of the palette. Index 0 is the see-through colour.
struct Ramps {
    Ramp ink, white, sky, cloud, hill, grass, dirt, stone, brick, wood, water, leaf, bark;
    Ramp gold, red, blue, skin, hair;
};

extern Ramps R;  // filled by MakePalette

// The 256-entry palette as r, g, b bytes; entries past the last ramp are
// black. Fails (throws) if two entries have the same colour, so that an
// importer that matches colours never merges two indices.
std::vector<uint8_t> MakePalette();
int PaletteSize();  // entries in use, index 0 included

// A picture of palette indices; 0 is see-through.
struct Canvas {
    int w = 0, h = 0;
    std::vector<uint8_t> px;
    Canvas(int width, int height) : w(width), h(height), px(size_t(width) * height, 0) {}
    bool In(int x, int y) const { return x >= 0 && y >= 0 && x < w && y < h; }
    void Put(int x, int y, uint8_t c) {
        if (In(x, y)) px[size_t(y) * w + x] = c;
    }
    uint8_t At(int x, int y) const { return In(x, y) ? px[size_t(y) * w + x] : 0; }
};

// A window of a canvas: painters draw at (x, y) relative to its origin and
// are clipped to it, so a tile's painter cannot spill into its neighbour.
struct View {
    Canvas* c;
    int ox, oy, w, h;
    void Put(int x, int y, uint8_t v) const {
        if (x >= 0 && y >= 0 && x < w && y < h) c->Put(ox + x, oy + y, v);
    }
    uint8_t At(int x, int y) const { return x >= 0 && y >= 0 && x < w && y < h ? c->At(ox + x, oy + y) : 0; }
};

uint32_t Hash(int x, int y, int seed);
double Noise(int x, int y, int seed);  // in [0, 1)
double Bayer(int x, int y);            // 4 x 4 ordered-dither threshold in [0, 1)

// Paints rows of characters: '.' or ' ' is left alone, any other character
// is looked up in `keys` and painted with the entry at the same place in
// `colours`. Mirrored draws the rows right to left.
void Stamp(const View& v, int x0, int y0, const std::vector<std::string>& rows, const std::string& keys,
           const std::vector<uint8_t>& colours, bool mirrored = false);

// Darkens every painted pixel with a see-through 4-neighbour into the
// outline colour: the dark rim the art gives its objects.
void Outline(const View& v, uint8_t ink);

// The tileset: 16 tiles a row. Returns the sheet and fills the description
// the tileset file is written from.
struct TileInfo {
    int id = 0;
    std::string kind;         // "" or coin, water, checkpoint, goal, start
    int user1 = 0;            // the kind as a number a game reads from the block (kKind*)
    std::vector<int> solid;   // x, y, w, h collision rectangles in tile pixels
    std::vector<int> frames;  // animation frame tile ids, empty if still
    int duration = 0;         // ms per frame
};
constexpr int kTile = 16, kColumns = 16;
// Kind codes in the tiles' int property user1: the converter carries it into
// the block structures, where a game reads it (the string `kind` is for
// people). The start, checkpoints and goal are objects of the level.
constexpr int kKindCoin = 1, kKindWater = 2;
Canvas PaintTiles(std::vector<TileInfo>& info);

Canvas PaintSky();
Canvas PaintSprites();
Canvas PaintEnemies();  // 4 frames of 16 x 16: walker 0-1, flyer 2-3, facing right
Canvas PaintFont();

// Tile ids the level builder places (see TILES.md for the whole table).
namespace tile {
constexpr int At(int col, int row) { return row * kColumns + col; }
constexpr int kGrassL = At(0, 0), kGrass = At(1, 0), kGrass2 = At(2, 0), kGrassR = At(3, 0), kGrassOne = At(4, 0);
constexpr int kWallL = At(0, 1), kFill = At(1, 1), kFill2 = At(2, 1), kWallR = At(3, 1), kColumn = At(4, 1);
constexpr int kCornerL = At(0, 2), kCornerR = At(1, 2), kFill3 = At(2, 2), kFill4 = At(3, 2), kColumnFoot = At(4, 2);
constexpr int kStone = At(5, 0), kBrick = At(6, 0), kBrickTop = At(7, 0), kCrate = At(8, 0);
constexpr int kWoodL = At(5, 1), kWoodM = At(6, 1), kWoodR = At(7, 1), kWoodOne = At(8, 1);
constexpr int kLedgeL = At(5, 2), kLedgeM = At(6, 2), kLedgeR = At(7, 2), kLedgeOne = At(8, 2);
constexpr int kSlabL = At(9, 0), kSlabM = At(10, 0), kSlabR = At(11, 0), kSlabOne = At(12, 0);
constexpr int kSurface = At(9, 1), kDeep = At(9, 2);  // first frames of four
constexpr int kCoin = At(0, 3);                       // first frame of eight
constexpr int kFlagOff = At(8, 3), kFlagOn = At(9, 3), kFlagPole = At(8, 4);
constexpr int kTreeTop = At(13, 0);  // 3 x 5 tiles, trunk in the middle column
constexpr int kTuft = At(0, 4), kTuft2 = At(1, 4), kFlowerRed = At(2, 4), kFlowerYellow = At(3, 4);
constexpr int kFlowerBlue = At(4, 4), kMushroom = At(5, 4), kBushL = At(6, 4), kBushR = At(7, 4);
constexpr int kBoulder = At(9, 4), kBoulderL = At(10, 4), kBoulderR = At(11, 4), kSign = At(12, 4);
constexpr int kGoal = At(0, 5);  // 2 x 3 tiles: flag and pole top, pole, base
constexpr int kFenceL = At(8, 5), kFenceM = At(9, 5), kFenceR = At(10, 5), kBush = At(11, 5);
constexpr int kCloud = At(12, 5), kCloudSmall = At(9, 6);  // 3 x 2 and 2 x 1 tiles
constexpr int kHillUp = At(2, 6), kHillTopL = At(3, 6), kHillTop = At(4, 6), kHillTopR = At(5, 6);
constexpr int kHillDown = At(6, 6), kHillFill = At(7, 6), kHillFill2 = At(8, 6);
constexpr int kRock = At(2, 7), kRock2 = At(3, 7), kRockTop = At(4, 7), kRockWallL = At(5, 7), kRockWallR = At(6, 7);
constexpr int kRockTopL = At(7, 7), kRockTopR = At(8, 7);  // dirt above rock, with a wall
constexpr int kStart = At(9, 7);                           // the start marker, placed only in the hidden layer `game`
constexpr int kRows = 8;
}  // namespace tile

}  // namespace art
