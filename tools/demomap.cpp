// The demo map: the level is painted on two map-sized canvases (background
// and foreground), cut into 16 x 16 tiles and assembled by the map builder,
// which shares equal tiles, blocks and animations.
#include "demomap.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "mapbuild.h"

namespace {

constexpr int kCells = 100;
constexpr int kTile = 16;
constexpr int kSide = kCells * kTile;
constexpr double kPi = 3.14159265358979323846;

// --- Palette ------------------------------------------------------------------
// Colour ramps from dark to light; index 0 is the see-through colour.

struct Ramp {
    int base = 0, n = 1;
    uint8_t operator()(int k) const { return static_cast<uint8_t>(base + std::clamp(k, 0, n - 1)); }
};

struct Ramps {
    Ramp sky, para, cloud, hill, grass, dirt, rock, sand, water, wood, leaf, bark;
    Ramp red, yellow, blue, pink, lamp, iron, spark, magenta, cyan, cave, crystal;
};

Ramps R;

Ramp AddRamp(std::vector<uint8_t>& cmap, int& next, std::initializer_list<uint32_t> keys, int n) {
    const std::vector<uint32_t> k(keys);
    Ramp r{next, n};
    for (int i = 0; i < n; i++) {
        double t = n > 1 ? double(i) / (n - 1) * (k.size() - 1) : 0;
        size_t a = std::min(static_cast<size_t>(t), k.size() - 1), b = std::min(a + 1, k.size() - 1);
        double f = t - a;
        for (int c = 0; c < 3; c++) {
            double va = (k[a] >> (16 - 8 * c)) & 255, vb = (k[b] >> (16 - 8 * c)) & 255;
            cmap[3 * (next + i) + c] = static_cast<uint8_t>(std::lround(va + (vb - va) * f));
        }
    }
    next += n;
    return r;
}

std::vector<uint8_t> MakePalette() {
    std::vector<uint8_t> cmap(768, 0);
    int next = 1;
    R.sky = AddRamp(cmap, next, {0x2c64b0, 0x4f8fd8, 0x86bdf0, 0xc4e4ff}, 10);
    R.para = AddRamp(cmap, next, {0x62a2e4, 0x7cb6ec}, 4);
    R.cloud = AddRamp(cmap, next, {0x7890b8, 0xa8bcd8, 0xdae6f4, 0xffffff}, 9);
    R.hill = AddRamp(cmap, next, {0x2a4e62, 0x3e6e78, 0x5a9088, 0x86b4a0, 0xb4d8c0}, 10);
    R.grass = AddRamp(cmap, next, {0x143818, 0x2a6a26, 0x4c9a30, 0x86c840, 0xcef07a}, 12);
    R.dirt = AddRamp(cmap, next, {0x22140e, 0x44281a, 0x6c4228, 0x92623c, 0xbc8c5c}, 12);
    R.rock = AddRamp(cmap, next, {0x1a1c28, 0x343a4a, 0x565e6e, 0x808a96, 0xb4bcc4}, 12);
    R.sand = AddRamp(cmap, next, {0x6a5034, 0xa88a58, 0xd8bc84, 0xf4e4b4}, 8);
    R.water = AddRamp(cmap, next, {0x08204c, 0x123e7a, 0x1f64a4, 0x3a92c8, 0x78c6e6, 0xd8f8ff}, 14);
    R.wood = AddRamp(cmap, next, {0x2e180c, 0x5a3418, 0x8a5a2c, 0xb8864a, 0xe0b478}, 10);
    R.leaf = AddRamp(cmap, next, {0x0a2414, 0x184e24, 0x2e7c2e, 0x5aa83c, 0x9cd45c, 0xd4f08c}, 12);
    R.bark = AddRamp(cmap, next, {0x24160e, 0x4a3020, 0x745036, 0x9a7452}, 6);
    R.red = AddRamp(cmap, next, {0x4a0810, 0xa01c26, 0xe8443a, 0xff9a80}, 6);
    R.yellow = AddRamp(cmap, next, {0x7a4c00, 0xd8a000, 0xffe040, 0xfff8c0}, 6);
    R.blue = AddRamp(cmap, next, {0x1c2478, 0x4660d8, 0x9cb0ff}, 5);
    R.pink = AddRamp(cmap, next, {0x7a2060, 0xd858a8, 0xffb4e0}, 5);
    R.lamp = AddRamp(cmap, next, {0x3a2206, 0x9a5410, 0xf09c20, 0xffe070, 0xfffce8}, 10);
    R.iron = AddRamp(cmap, next, {0x0c1018, 0x262c38, 0x465060, 0x7a8698}, 8);
    R.spark = AddRamp(cmap, next, {0x7a1c10, 0xff6a20, 0xffd040, 0xffffff}, 8);
    R.magenta = AddRamp(cmap, next, {0x701870, 0xff50e0, 0xffc8ff}, 4);
    R.cyan = AddRamp(cmap, next, {0x0c5a70, 0x40e0ff, 0xc8ffff}, 4);
    R.cave = AddRamp(cmap, next, {0x05050c, 0x10141f, 0x1e2436, 0x323a50}, 8);
    R.crystal = AddRamp(cmap, next, {0x34187a, 0x7048e8, 0xb8a0ff, 0xf4f0ff}, 6);
    // The game's status line: its background and text colours exactly.
    const uint8_t status[6] = {50, 10, 50, 255, 255, 0};
    std::memcpy(&cmap[3 * 254], status, 6);
    return cmap;
}

// --- Helpers ------------------------------------------------------------------

uint32_t Hash(int x, int y, int seed) {
    uint32_t h = uint32_t(x) * 374761393u + uint32_t(y) * 668265263u + uint32_t(seed) * 2246822519u;
    h = (h ^ (h >> 13)) * 1274126177u;
    return h ^ (h >> 16);
}

double Noise(int x, int y, int seed) { return (Hash(x, y, seed) & 0xFFFF) / 65536.0; }

// 4 x 4 ordered dither threshold in [0, 1).
double Bayer(int x, int y) {
    static const int m[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};
    return (m[y & 3][x & 3] + 0.5) / 16.0;
}

// A map-sized picture of palette indices. Drawing is limited to the clip
// rectangle, so that one area can be painted again for another frame.
struct Canvas {
    std::vector<uint8_t> px = std::vector<uint8_t>(size_t(kSide) * kSide, 0);
    int x0 = 0, y0 = 0, x1 = kSide, y1 = kSide;
    bool In(int x, int y) const { return x >= x0 && y >= y0 && x < x1 && y < y1; }
    void Put(int x, int y, uint8_t c) {
        if (In(x, y)) px[size_t(y) * kSide + x] = c;
    }
    // Only where nothing is drawn yet: glows and sparks over the sky.
    void PutOnSky(int x, int y, uint8_t c) {
        if (In(x, y) && px[size_t(y) * kSide + x] == 0) px[size_t(y) * kSide + x] = c;
    }
};

// --- The level ----------------------------------------------------------------

// Animated parts: each is painted at its current frame.
enum Feature { kWater, kLamp, kFirework, kFlag, kTorch, kFeatures };

struct Rect {
    int x0, y0, x1, y1;  // cells, right and bottom exclusive
};

struct FeatureDef {
    signed char antype, andelay;
    int frames;
    std::vector<Rect> areas;
};

int frame[kFeatures];

constexpr int kWaterLine = 860;  // lake surface at rest
constexpr int kLakeX0 = 42 * kTile, kLakeX1 = 57 * kTile;
constexpr int kFallX0 = 896, kFallX1 = 912;  // waterfall beside the cliff, one cell wide
constexpr int kCliffTop = 740;
constexpr int kRockTop = 936;
constexpr int kBedrock = 1536;
constexpr int kFireX = 54 * kTile, kFireY = 37 * kTile;

std::vector<int> ground(kSide);  // surface row of each pixel column
int groundLow[kCells];           // lowest surface row within each column of cells
int ridge[128];                  // far hills, repeating every 128 pixels

struct Point {
    int cell, y;
};

// The ground's surface: flat stretches 4 pixels into a cell row, slopes of
// 8 or 16 pixels per cell, and the cliff at cell 57.
const Point kSurface[] = {
    {0, 724},  {7, 724},  {9, 756},  {12, 756}, {16, 788}, {19, 788}, {21, 820},       {23, 820},
    {27, 852}, {42, 852}, {47, 932}, {53, 932}, {55, 900}, {57, 900}, {57, kCliffTop}, {64, kCliffTop},
    {66, 724}, {72, 724}, {75, 772}, {80, 772}, {84, 804}, {90, 804}, {92, 772},       {100, 772},
};

void MakeGround() {
    for (size_t i = 0; i + 1 < std::size(kSurface); i++) {
        const int xa = kSurface[i].cell * kTile, xb = kSurface[i + 1].cell * kTile;
        const int ya = kSurface[i].y, yb = kSurface[i + 1].y;
        for (int x = xa; x < xb; x++) ground[x] = ya + (yb - ya) * (x - xa) / (xb - xa);
    }
    for (int c = 0; c < kCells; c++) groundLow[c] = *std::max_element(&ground[c * kTile], &ground[c * kTile] + kTile);
    for (int x = 0; x < 128; x++) {
        double a = 2 * kPi * x / 128;
        ridge[x] = int(std::lround(776 - 14 * std::sin(a) - 7 * std::sin(2 * a + 1.2) - 3 * std::sin(3 * a + 0.4)));
    }
}

int Ground(int x) { return ground[std::clamp(x, 0, kSide - 1)]; }

bool InLake(int x) { return x >= kLakeX0 && x < kLakeX1; }

// Caves: rooms with rounded corners, cut out of the rock.
const Rect kCaves[] = {{32, 60, 40, 62}, {12, 76, 24, 78}, {64, 84, 80, 86}, {44, 70, 52, 72},
                       {84, 66, 94, 68}, {30, 90, 42, 92}, {2, 64, 8, 66}};

// 0 outside every cave, 1 in a cave's hollow, 2 in a stalactite or a bump
// of the floor.
int CaveAt(int x, int y) {
    for (const Rect& c : kCaves) {
        const int l = c.x0 * kTile - 4, t = c.y0 * kTile - 6, r = c.x1 * kTile + 4, b = c.y1 * kTile + 2;
        if (x < l || x >= r || y < t || y >= b) continue;
        const int dx = std::max({l + 8 - x, x - (r - 9), 0}), dy = std::max({t + 8 - y, y - (b - 9), 0});
        if (dx * dx + dy * dy > 64) continue;
        static const int drip[16] = {0, 0, 2, 5, 8, 4, 1, 0, 0, 1, 0, 3, 6, 10, 5, 2};
        static const int floor[16] = {1, 1, 0, 0, 0, 1, 2, 2, 3, 3, 2, 1, 1, 0, 0, 1};
        return y - t < drip[x & 15] || b - y <= floor[x & 15] ? 2 : 1;
    }
    return 0;
}

bool InCave(int x, int y) { return CaveAt(x, y) == 1; }

bool Solid(int x, int y) { return y >= Ground(x) && !InCave(x, y); }

// Rock: irregular stones repeating every 32 pixels, lighter near the
// surface than in the deep.
uint8_t rockTexture[2][32 * 32];

uint8_t StoneAt(int x, int y, bool deep) {
    static const int seeds[7][2] = {{4, 5}, {17, 2}, {27, 11}, {9, 17}, {22, 22}, {2, 27}, {14, 29}};
    double d1 = 1e9, d2 = 1e9;
    int id = 0;
    for (int s = 0; s < 7; s++) {
        for (int oy = -32; oy <= 32; oy += 32) {
            for (int ox = -32; ox <= 32; ox += 32) {
                double dx = (x & 31) - (seeds[s][0] + ox), dy = ((y & 31) - (seeds[s][1] + oy)) * 1.3;
                double d = std::sqrt(dx * dx + dy * dy);
                if (d < d1) {
                    d2 = d1;
                    d1 = d;
                    id = s;
                } else if (d < d2) {
                    d2 = d;
                }
            }
        }
    }
    const int base = deep ? 1 : 4;
    if (d2 - d1 < 1.1) return R.rock(base - 2);
    int shade = base + (id % 3) - 1 + (Noise(x & 31, y & 31, 3) < 0.15 ? -1 : 0);
    if (d2 - d1 < 2.2) shade++;  // rounded stone edges catch the light
    return R.rock(shade);
}

void MakeRock() {
    for (int deep = 0; deep < 2; deep++) {
        for (int i = 0; i < 32 * 32; i++) rockTexture[deep][i] = StoneAt(i % 32, i / 32, deep);
    }
}

uint8_t RockTexture(int x, int y, bool deep) { return rockTexture[deep][(y & 31) * 32 + (x & 31)]; }

// Dirt: grain in 2 x 1 flecks. Below the cells the surface passes through,
// a pebble sits at one of four places, repeating every 32 pixels.
uint8_t DirtTexture(int x, int y) {
    const int u = x & 15, v = y & 15;
    const double n = Noise(u / 2, v, 1);
    const int shade = 5 + (n < 0.22 ? -1 : 0) + (n > 0.94 ? 1 : 0);
    if ((y & ~15) > groundLow[x / kTile]) {
        static const int pebble[4][2] = {{9, 5}, {3, 10}, {11, 12}, {5, 3}};
        const int* p = pebble[(x >> 4 & 1) + 2 * (y >> 4 & 1)];
        const int du = u - p[0], dv = v - p[1];
        if (du >= 0 && du < 3 && dv >= 0 && dv < 2) return R.dirt(dv == 0 ? (du == 0 ? 8 : 9) : 7);
        if (du >= 0 && du < 3 && dv == 2) return R.dirt(3);
    }
    return R.dirt(shade);
}

// Far hills behind the meadow and the lake. They sink into the ground at
// their left end; the cliff hides their right end.
constexpr int kHillX0 = 26 * kTile, kHillX1 = 57 * kTile;

void PaintHills(Canvas& bg) {
    for (int y = std::max(bg.y0, 700); y < std::min(bg.y1, 960); y++) {
        for (int x = std::max(bg.x0, kHillX0); x < std::min(bg.x1, kHillX1); x++) {
            const int edge = x - kHillX0;
            const int top = ridge[x & 127] + (edge < 48 ? (48 - edge) * 2 : 0), d = y - top;
            if (d < 0) continue;
            int shade = d < 2 ? 8 : 5 + (d < 6 && Bayer(x, y) < 0.5);
            // Woods on the far slopes: darker clumps, and a line of trees
            // along their foot.
            if (d > 3 && Noise((x & 15) / 2, y & 15, 9) < 0.05) shade = 4;
            static const int crowns[16] = {3, 1, 0, 0, 1, 3, 2, 1, 1, 2, 4, 2, 1, 0, 1, 2};
            const int wood = y - 820 - crowns[x & 15];
            if (wood >= 0) shade = wood == 0 ? 3 : 2 - (wood > 8 && Bayer(x, y) < 0.5);
            bg.Put(x, y, R.hill(shade));
        }
    }
}

void PaintTerrain(Canvas& bg) {
    static const int blade[16] = {0, 2, 1, 0, 3, 1, 0, 0, 2, 0, 1, 3, 0, 1, 0, 2};
    static const int fringe[16] = {1, 2, 1, 1, 3, 2, 1, 0, 1, 2, 3, 1, 1, 0, 2, 1};
    static const int rockEdge[16] = {0, 1, 3, 4, 3, 1, 0, 0, 2, 4, 5, 3, 1, 0, 1, 2};
    for (int y = bg.y0; y < bg.y1; y++) {
        for (int x = bg.x0; x < bg.x1; x++) {
            const int g = Ground(x), d = y - g;
            const bool gentle = std::abs(Ground(x + 1) - g) <= 1 && std::abs(Ground(x - 1) - g) <= 1;
            const bool wet = InLake(x) && g >= kWaterLine - 2;
            if (d < 0) {
                if (!wet && gentle && -d <= blade[x & 15]) bg.Put(x, y, R.grass(-d == blade[x & 15] ? 10 : 8));
                continue;
            }
            if (InCave(x, y)) {
                // The cave's back wall: dim stones.
                const int stone = RockTexture(x, y, false) - R.rock.base;
                bg.Put(x, y, R.cave(stone / 2 + (Noise(x & 15, y & 15, 5) < 0.15)));
                continue;
            }
            // Distance to open air (or cave) sideways, where the opening goes
            // on down: cliff faces, not the steps of a slope.
            int side = 9;
            for (int k = 1; k <= 4 && side == 9; k++) {
                if ((!Solid(x - k, y) && !Solid(x - k, y + 4)) || (!Solid(x + k, y) && !Solid(x + k, y + 4))) side = k;
            }
            const bool caveAbove = InCave(x, y - 1) || InCave(x, y - 2), caveBelow = InCave(x, y + 1);
            uint8_t c;
            if (wet && d < 2) {
                c = R.sand(6);
            } else if (wet && d < 7) {
                c = R.sand(4 + (Noise(x & 15, y & 15, 4) < 0.3 ? -1 : 0) - (d > 4));
            } else if (!wet && d < 3 && side > 1) {
                c = R.grass(d == 0 ? 9 : 7 - d);
            } else if (!wet && d < 3 + fringe[x & 15] && side > 1) {
                c = R.grass(3);
            } else if (!wet && d == 3 + fringe[x & 15] && side > 1) {
                c = R.dirt(1);
            } else if (side == 1) {
                c = R.rock(0);
            } else if (side <= 3) {
                c = R.rock(side == 2 ? 7 : 5);
            } else if (y >= kBedrock + rockEdge[x & 15]) {
                c = RockTexture(x, y, true);
            } else if (y >= kRockTop + rockEdge[x & 15]) {
                c = y == kRockTop + rockEdge[x & 15] ? R.rock(1) : RockTexture(x, y, false);
            } else {
                c = DirtTexture(x, y);
            }
            if (caveAbove) c = R.rock(caveAbove && InCave(x, y - 1) ? 1 : 3);
            if (caveBelow) c = R.rock(8);
            if (CaveAt(x, y) == 2) {
                // Stalactites and floor bumps: pale stone, outlined.
                c = InCave(x - 1, y) || InCave(x + 1, y) || InCave(x, y + 1) || InCave(x, y - 1)
                        ? R.rock(InCave(x - 1, y) ? 2 : 1)
                        : R.rock(InCave(x + 2, y) ? 6 : 8);
            }
            bg.Put(x, y, c);
        }
    }
}

// Lake and waterfall. The waves and the falling water move 4 pixels a frame
// and repeat every 16, so 4 frames loop.
void PaintWater(Canvas& bg) {
    static const int wave[16] = {0, -1, -1, -2, -2, -2, -1, -1, 0, 1, 1, 1, 1, 1, 0, 0};
    const int t = frame[kWater];
    for (int y = std::max(bg.y0, kWaterLine - 4); y < bg.y1; y++) {
        for (int x = std::max(bg.x0, kLakeX0); x < std::min(bg.x1, kLakeX1); x++) {
            const int top = kWaterLine + wave[(x + 4 * t) & 15];
            if (y < top || y >= Ground(x)) continue;
            const int d = y - top;
            int shade;
            if (d == 0)
                shade = 12;
            else if (d == 1)
                shade = 9;
            else
                shade = std::max(2, 8 - (y - kWaterLine) / 14 - (Bayer(x, y) < ((y - kWaterLine) % 14) / 14.0 ? 1 : 0));
            // Glints drift along under the surface.
            if (d == 3 && y < kWaterLine + 4 && ((x + 4 * t) & 15) < 3) shade += 2;
            bg.Put(x, y, R.water(shade));
        }
    }
    // The stream over the cliff's edge and the fall.
    for (int y = std::max(bg.y0, kCliffTop - 3); y < std::min(bg.y1, kWaterLine + 2); y++) {
        for (int x = std::max(bg.x0, kFallX0 - 2); x < std::min(bg.x1, kFallX1 + 18); x++) {
            const bool lip = y < kCliffTop + 3;
            int l = lip ? kFallX0 + 4 : kFallX0, r = lip ? kFallX1 + 16 : kFallX1;
            if (y >= kCliffTop + 3 && y < kCliffTop + 6) l = kFallX0 + 1;
            if (x < l || x >= r) continue;
            if (lip && y < kCliffTop - 1 + (x > kFallX1 + 8)) continue;
            const int v = lip ? (x - 4 * t) & 15 : (y - 4 * t) & 15;
            int shade = 7 + int(Noise(x & 15, v, 6) * 3);
            if (Noise(x & 15, v >> 2, 8) < 0.25) shade = 11;
            if (!lip && x == l) shade = 12;
            if (!lip && x == r - 1) shade = 4;
            bg.Put(x, y, R.water(shade));
        }
    }
    // Spray where the fall meets the lake.
    for (int y = std::max(bg.y0, kWaterLine - 10); y < std::min(bg.y1, kWaterLine + 4); y++) {
        for (int x = std::max(bg.x0, kFallX0 - 14); x < std::min(bg.x1, kFallX1); x++) {
            const double dist = std::hypot((x - (kFallX0 + 5)) / 14.0, (y - kWaterLine) / 8.0);
            if (dist < 1 && Noise(x, y, 20 + t) < 0.45 * (1 - dist)) bg.Put(x, y, R.water(13));
        }
    }
}

// Clouds: lumps of overlapping circles, lit from above, each inside a box of
// kCloudW x kCloudH pixels that holds its widest circle whole.
struct Cloud {
    int x, y, kind;  // top-left corner in cells
};
constexpr int kCloudW = 5 * kTile, kCloudH = 2 * kTile;

const Cloud kClouds[] = {
    {31, 35, 0}, {44, 34, 1}, {61, 39, 2}, {36, 41, 2}, {63, 34, 0}, {40, 38, 1}, {3, 30, 0},  {14, 36, 1}, {20, 25, 2},
    {52, 22, 0}, {70, 30, 1}, {84, 36, 0}, {90, 24, 2}, {8, 12, 1},  {28, 8, 0},  {46, 14, 2}, {64, 6, 1},  {78, 14, 0},
    {92, 8, 2},  {12, 52, 2}, {86, 44, 1}, {2, 40, 2},  {74, 46, 2}, {58, 28, 2}, {38, 20, 1},
};

void PaintCloud(Canvas& bg, const Cloud& c) {
    static const int shapes[3][5][3] = {
        {{14, 22, 10}, {28, 16, 14}, {44, 18, 12}, {58, 23, 8}, {36, 24, 9}},
        {{12, 20, 9}, {24, 14, 11}, {36, 18, 9}, {20, 22, 8}, {30, 22, 8}},
        {{9, 9, 6}, {18, 7, 7}, {25, 10, 5}, {14, 11, 5}, {20, 11, 5}},
    };
    static const int bottoms[3] = {29, 27, 14};
    const int ox = c.x * kTile, oy = c.y * kTile;
    for (int y = 0; y < kCloudH; y++) {
        for (int x = 0; x < kCloudW; x++) {
            if (y > bottoms[c.kind]) continue;
            double best = 1e9;
            for (const auto& s : shapes[c.kind]) best = std::min(best, std::hypot(x - s[0], y - s[1]) - s[2]);
            if (best > 0) continue;
            int shade = 8;
            // Shadowed underside and rims.
            double under = std::min(1.0, (y - (bottoms[c.kind] - 6)) / 6.0);
            if (under > Bayer(x, y)) shade = 5;
            if (y >= bottoms[c.kind] - 1) shade = 3;
            if (best > -1.2 && y > bottoms[c.kind] - 8)
                shade = 4;
            else if (best > -1.2)
                shade = 7;
            bg.Put(ox + x, oy + y, R.cloud(shade));
        }
    }
}

void PaintClouds(Canvas& bg) {
    for (const Cloud& c : kClouds) {
        if (c.x * kTile < bg.x1 && c.x * kTile + kCloudW > bg.x0 && c.y * kTile < bg.y1 &&
            c.y * kTile + kCloudH > bg.y0) {
            PaintCloud(bg, c);
        }
    }
}

// Wooden platforms floating in the air: planks on top, brackets below.
const Rect kPlatforms[] = {{44, 50, 48, 51}, {50, 47, 54, 48}, {26, 44, 30, 45}, {33, 30, 37, 31}, {80, 40, 85, 41},
                           {10, 18, 14, 19}, {60, 20, 65, 21}, {86, 30, 90, 31}, {42, 8, 46, 9},   {20, 34, 23, 35}};

void PaintPlatforms(Canvas& bg) {
    for (const Rect& p : kPlatforms) {
        const int x0 = p.x0 * kTile, x1 = p.x1 * kTile, y0 = p.y0 * kTile;
        for (int x = x0; x < x1; x++) {
            const int u = x - x0, fromEnd = std::min(u, x1 - 1 - x);
            for (int y = 0; y < 7; y++) {
                if (fromEnd == 0 && (y == 0 || y == 6)) continue;
                int shade = y == 0 ? 8 : y == 6 ? 1 : 5 + ((u / 8 + y) % 2) - (y == 5);
                if (u % 16 == 15 || fromEnd == 0) shade = 1;             // plank joints
                if (y == 3 && (u % 16 == 3 || u % 16 == 12)) shade = 9;  // nails
                bg.Put(x, y0 + y, R.wood(shade));
            }
            // Brackets under every plank joint but the ends.
            const int j = u % 32;
            if (fromEnd > 4 && j >= 6 && j < 10) {
                for (int y = 7; y < 7 + (10 - j) * 2; y++) bg.Put(x, y0 + y, R.wood(j == 6 ? 4 : 2));
            }
        }
    }
}

// Lamp posts on flat ground; the lantern brightens and dims, its glow
// dithered over the sky.
const int kLamps[][2] = {{59, kCliffTop}, {69, 724}, {4, 724}, {86, 804}};

void PaintLamps(Canvas& bg) {
    static const int glow[4] = {0, 6, 9, 12};
    const int t = frame[kLamp];
    for (const auto& l : kLamps) {
        const int cx = l[0] * kTile + 8, gy = l[1], ly = gy - 28;
        for (int y = ly + 5; y < gy; y++) {
            bg.Put(cx - 1, y, R.iron(3));
            bg.Put(cx, y, R.iron(1));
        }
        for (int x = cx - 2; x <= cx + 1; x++) bg.Put(x, gy - 1, R.iron(2));
        // Lantern: cap, glass, base.
        for (int x = cx - 4; x <= cx + 3; x++) bg.Put(x, ly - 5, R.iron(2));
        for (int x = cx - 3; x <= cx + 2; x++) bg.Put(x, ly - 6, R.iron(3));
        bg.Put(cx - 1, ly - 7, R.iron(4));
        bg.Put(cx, ly - 7, R.iron(2));
        for (int y = ly - 4; y <= ly + 3; y++) {
            for (int x = cx - 3; x <= cx + 2; x++) {
                uint8_t c;
                if (x == cx - 3 || x == cx + 2)
                    c = R.iron(1);
                else
                    c = R.lamp(2 + 2 * t + ((x == cx - 1 && y < ly) ? 2 : 0) - (y == ly + 3));
                bg.Put(x, y, c);
            }
        }
        for (int x = cx - 4; x <= cx + 3; x++) bg.Put(x, ly + 4, R.iron(2));
        const int r = glow[t];
        for (int y = ly - r; y <= ly + r; y++) {
            for (int x = cx - r; x <= cx + r; x++) {
                double d = std::hypot(x - cx + 0.5, y - ly) / std::max(1, r);
                if (d < 1 && (1 - d) * 0.9 > Bayer(x, y)) bg.PutOnSky(x, y, R.lamp(d < 0.5 ? 8 : 6));
            }
        }
    }
}

// A flag that rises once up its pole and stays at the top.
const int kFlagCell = 67, kFlagGround = 724;

void PaintFlag(Canvas& bg) {
    const int px = kFlagCell * kTile + 2, gy = kFlagGround;
    for (int y = gy - 44; y < gy; y++) {
        bg.Put(px, y, R.iron(6));
        bg.Put(px + 1, y, R.iron(3));
    }
    for (int y = gy - 47; y <= gy - 45; y++) {
        for (int x = px - 1; x <= px + 2; x++) bg.Put(x, y, R.yellow(y == gy - 47 || x == px + 2 ? 1 : 3));
    }
    const int top = gy - 12 - 6 * frame[kFlag];
    for (int y = 0; y < 8; y++) {
        for (int x = 0; x < 11; x++) {
            const int wy = y + (x >= 4 && x < 8 ? 1 : 0);
            if (x == 10 && (y == 0 || y == 7)) continue;
            uint8_t c = R.red(x < 2 || y == 7 ? 1 : 3);
            if (y == 0) c = R.red(4);
            if (y >= 3 && y <= 4 && x >= 2) c = R.yellow(y == 3 ? 4 : 2);  // a gold stripe
            bg.Put(px + 2 + x, top + wy, c);
        }
    }
}

// A firework that bursts once when the game starts.
void PaintFirework(Canvas& bg) {
    const int t = frame[kFirework];
    if (t == 0) return;
    static const int radius[5] = {0, 3, 8, 12, 14};
    const int r = radius[t];
    if (t == 1) {
        for (int y = -1; y <= 1; y++) {
            for (int x = -1; x <= 1; x++) bg.PutOnSky(kFireX + x - (x > 0 ? 0 : 1), kFireY + y, R.spark(7));
        }
    }
    for (int ray = 0; ray < 12; ray++) {
        const double a = ray * kPi / 6 + 0.26;
        const Ramp& ramp = ray % 3 == 0 ? R.magenta : ray % 3 == 1 ? R.spark : R.cyan;
        const int trail = t <= 2 ? 2 : 3;
        for (int k = 0; k <= trail; k++) {
            const double rr = r - 2 * k;
            if (rr < 1) break;
            const int sag = t == 4 ? 2 : 0;
            const int x = kFireX + int(std::floor(std::cos(a) * rr)),
                      y = kFireY + int(std::floor(std::sin(a) * rr)) + sag;
            const int hot = ramp.n - 1 - k - (t == 4 ? 1 : 0);
            if (t == 4 && k > 1) continue;
            bg.PutOnSky(x, y, ramp(hot));
            if (k == 0 && t <= 3) {
                bg.PutOnSky(x + 1, y, ramp(hot - 1));
                bg.PutOnSky(x, y + 1, ramp(hot - 1));
            }
        }
    }
}

// Torches on the cave walls; the flame flickers through three shapes.
const int kTorches[][2] = {{35, 60}, {17, 76}, {21, 76}, {71, 84}, {47, 70}, {89, 66}, {35, 90}, {39, 90}};

void PaintTorches(Canvas& bg) {
    static const char* flames[3][9] = {
        {"...1...", "..121..", "..121..", ".12321.", ".23432.", "1234321", "1234431", ".13431.", "..111.."},
        {"..1....", "..12...", ".1221..", ".12321.", "1234321", "1234421", "1234431", ".13441.", "..111.."},
        {"....1..", "...21..", "..1221.", ".12321.", ".23432.", "1244321", "1344321", ".14431.", "..111.."},
    };
    const int t = frame[kTorch];
    for (const auto& tc : kTorches) {
        const int x0 = tc[0] * kTile + 4, y0 = tc[1] * kTile;
        for (int y = 0; y < 9; y++) {
            for (int x = 0; x < 7; x++) {
                const char c = flames[t][y][x];
                if (c != '.') bg.Put(x0 + x, y0 + y, R.lamp(2 + 2 * (c - '1') + (c == '4')));
            }
        }
        for (int y = 9; y < 16; y++) {
            bg.Put(x0 + 3, y0 + y, R.wood(4));
            bg.Put(x0 + 4, y0 + y, R.wood(2));
        }
        for (int x = 2; x <= 5; x++) bg.Put(x0 + x, y0 + 9, R.iron(x == 2 ? 4 : 2));
    }
}

// --- Foreground: plants, fences and crystals, drawn over the background ----------

void Stamp(Canvas& fg, int x0, int y0, const char* const* rows, int h, const uint8_t* colours) {
    for (int y = 0; y < h; y++) {
        for (int x = 0; rows[y][x]; x++) {
            const char c = rows[y][x];
            if (c >= '1' && c <= '9') fg.Put(x0 + x, y0 + y, colours[c - '1']);
        }
    }
}

// A round tree whose trunk stands at (x, gy).
void PaintOak(Canvas& fg, int x, int gy) {
    for (int y = gy - 22; y < gy + 1; y++) {
        for (int dx = -2; dx <= 2; dx++) {
            int shade = dx == -2 ? 1 : dx == 2 ? 0 : 2 + (Noise(dx, (y - gy) & 7, 2) < 0.3);
            if (y >= gy - 1 && (dx == -2 || dx == 2)) continue;
            fg.Put(x + dx, y, R.bark(shade));
        }
    }
    fg.Put(x - 3, gy, R.bark(1));
    fg.Put(x + 3, gy, R.bark(1));
    static const int blobs[6][3] = {{0, -34, 12}, {-11, -28, 9}, {11, -28, 9}, {-6, -42, 8}, {7, -41, 8}, {0, -24, 8}};
    for (int y = gy - 52; y <= gy - 14; y++) {
        for (int dx = -22; dx <= 22; dx++) {
            double best = 1e9;
            for (const auto& b : blobs) best = std::min(best, std::hypot(dx - b[0], y - gy - b[1]) - b[2]);
            if (best > 0) continue;
            const double lx = dx / 20.0, ly = (y - gy + 34) / 20.0;
            double light = 0.55 - 0.45 * ly - 0.25 * lx + (Noise(dx, y - gy, 13) - 0.5) * 0.35;
            int shade = light > 0.75 ? 9 : light > 0.45 ? 7 : light > 0.2 ? 5 : 3;
            if (best > -1.3) shade = 1;
            fg.Put(x + dx, y, R.leaf(shade));
        }
    }
}

// A pine whose trunk stands at (x, gy).
void PaintPine(Canvas& fg, int x, int gy) {
    for (int y = gy - 8; y <= gy; y++) {
        fg.Put(x - 1, y, R.bark(2));
        fg.Put(x, y, R.bark(1));
    }
    for (int tier = 0; tier < 4; tier++) {
        const int base = gy - 7 - tier * 9, h = 13 - tier, w = 11 - 2 * tier;
        for (int y = 0; y < h; y++) {
            const int half = (w * (y + 1)) / h;
            for (int dx = -half; dx <= half - 1; dx++) {
                int shade = dx < 0 ? 6 : 4;
                if (dx == -half || dx == half - 1 || y == h - 1) shade = 1;
                if (dx < -1 && (dx + y) % 4 == 0) shade = 8;
                fg.Put(x + dx, base - h + 1 + y, R.leaf(shade));
            }
        }
    }
}

void PaintFence(Canvas& fg, int cell0, int cell1, int gy) {
    for (int x = cell0 * kTile; x < cell1 * kTile; x++) {
        const int u = x & 15;
        if (u == 3 || u == 4) {
            for (int y = gy - 13; y < gy + 2; y++) fg.Put(x, y, R.wood(u == 3 ? 6 : 3));
            fg.Put(x, gy - 14, R.wood(u == 3 ? 7 : 4));
        }
        const bool inside = x > cell0 * kTile + 3 && x < cell1 * kTile - 12;
        if (inside && u != 3 && u != 4) {
            fg.Put(x, gy - 11, R.wood(7));
            fg.Put(x, gy - 10, R.wood(4));
            fg.Put(x, gy - 5, R.wood(7));
            fg.Put(x, gy - 4, R.wood(4));
        }
    }
}

enum Plant { kRedFlower, kYellowFlower, kBlueFlower, kTuft, kBush, kReed, kMushroom, kCrystal };

void PaintPlant(Canvas& fg, Plant p, int x, int gy) {
    static const char* flower[] = {
        ".1.1.", "12321", ".131.", "..4..", ".54..", "..45.", "..4..", "..4..",
    };
    static const char* tuft[] = {
        "1.....1", ".1..2.1", ".12.21.", "2.1212.", ".21312.", "2313132",
    };
    static const char* bush[] = {
        "....1111.....", "..11222211...", ".1223322211..", "122333332211.",
        "1233443332221", "1234443333221", "1223333332221", ".11222222211.",
    };
    static const char* reed[] = {
        "..1....", "..1..1.", ".22..1.", ".22..1.", ".22.1..", ".1..1..", ".1..1.1",
        ".1.1..1", ".1.1.1.", "..11.1.", "..1.1..", "..11...", "...1...", "...1...",
    };
    static const char* mushroom[] = {
        ".1111.", "122321", "133331", "..44..", "..45..",
    };
    static const char* crystal[] = {
        "...1...", "..121..", "..131.1", ".1231.21", ".12341231", "1233412341", "1234412341",
    };
    switch (p) {
        case kRedFlower:
        case kYellowFlower:
        case kBlueFlower: {
            const Ramp& r = p == kRedFlower ? R.red : p == kYellowFlower ? R.yellow : R.blue;
            const uint8_t c[5] = {r(r.n - 2), r(r.n - 1), R.yellow(5), R.grass(4), R.grass(6)};
            Stamp(fg, x - 2, gy - 7, flower, 8, c);
            break;
        }
        case kTuft: {
            const uint8_t c[3] = {R.grass(9), R.grass(6), R.grass(4)};
            Stamp(fg, x - 3, gy - 5, tuft, 6, c);
            break;
        }
        case kBush: {
            const uint8_t c[4] = {R.leaf(1), R.leaf(4), R.leaf(6), R.leaf(8)};
            Stamp(fg, x - 6, gy - 7, bush, 8, c);
            fg.Put(x - 2, gy - 4, R.red(4));
            fg.Put(x + 3, gy - 5, R.red(4));
            break;
        }
        case kReed: {
            const uint8_t c[2] = {R.grass(5), R.bark(3)};
            Stamp(fg, x - 3, gy - 13, reed, 14, c);
            break;
        }
        case kMushroom: {
            const uint8_t c[5] = {R.red(1), R.red(3), R.red(5), R.sand(7), R.sand(5)};
            Stamp(fg, x - 3, gy - 4, mushroom, 5, c);
            break;
        }
        case kCrystal: {
            const uint8_t c[4] = {R.crystal(0), R.crystal(2), R.crystal(4), R.crystal(5)};
            Stamp(fg, x - 4, gy - 6, crystal, 7, c);
            break;
        }
    }
}

struct Placed {
    Plant p;
    int cell, gy;
};

// Every kind of plant sits at the same place in its cell, so that repeated
// plants share their graphics.
const int kPlantX[] = {5, 10, 4, 8, 8, 11, 7, 8};

const Placed kPlants[] = {
    {kRedFlower, 30, 852},
    {kTuft, 31, 852},
    {kYellowFlower, 32, 852},
    {kBush, 40, 852},
    {kBlueFlower, 41, 852},
    {kTuft, 29, 852},
    {kRedFlower, 28, 852},
    {kReed, 42, kWaterLine + 1},
    {kReed, 56, kWaterLine + 1},
    {kMushroom, 58, kCliffTop},
    {kTuft, 61, kCliffTop},
    {kYellowFlower, 63, kCliffTop},
    {kBlueFlower, 65, 724},
    {kRedFlower, 68, 724},
    {kTuft, 70, 724},
    {kBush, 3, 724},
    {kRedFlower, 6, 724},
    {kTuft, 10, 756},
    {kYellowFlower, 11, 756},
    {kBush, 20, 820},
    {kBlueFlower, 17, 788},
    {kTuft, 22, 820},
    {kMushroom, 18, 788},
    {kRedFlower, 77, 772},
    {kBush, 79, 772},
    {kTuft, 86, 804},
    {kYellowFlower, 88, 804},
    {kBlueFlower, 94, 772},
    {kBush, 97, 772},
    {kCrystal, 33, 992},
    {kCrystal, 37, 992},
    {kCrystal, 14, 1264},
    {kCrystal, 22, 1264},
    {kCrystal, 67, 1392},
    {kCrystal, 76, 1392},
    {kMushroom, 19, 1264},
    {kMushroom, 73, 1392},
    {kCrystal, 45, 1152},
    {kCrystal, 50, 1152},
    {kMushroom, 86, 1088},
    {kCrystal, 91, 1088},
    {kCrystal, 32, 1472},
    {kMushroom, 37, 1472},
    {kCrystal, 41, 1472},
    {kCrystal, 5, 1056},
};

void PaintForeground(Canvas& fg) {
    PaintFence(fg, 33, 39, 852);
    PaintFence(fg, 60, 64, kCliffTop);
    PaintFence(fg, 84, 89, 804);
    PaintOak(fg, 31 * kTile + 8, 852);
    PaintOak(fg, 17 * kTile + 8, 788);
    PaintOak(fg, 77 * kTile + 8, 772);
    PaintPine(fg, 62 * kTile + 8, kCliffTop);
    PaintPine(fg, 71 * kTile + 8, 724);
    PaintPine(fg, 1 * kTile + 8, 724);
    PaintPine(fg, 13 * kTile + 8, 756);
    PaintPine(fg, 93 * kTile + 8, 772);
    for (const Placed& p : kPlants) PaintPlant(fg, p.p, p.cell * kTile + kPlantX[p.p], p.gy);
}

// Everything at the current frames, inside the canvases' clip rectangles.
void Paint(Canvas& bg, Canvas& fg) {
    for (Canvas* c : {&bg, &fg}) {
        for (int y = c->y0; y < c->y1; y++) std::fill_n(&c->px[size_t(y) * kSide + c->x0], c->x1 - c->x0, 0);
    }
    PaintClouds(bg);
    PaintHills(bg);
    PaintTerrain(bg);
    PaintWater(bg);
    PaintPlatforms(bg);
    PaintLamps(bg);
    PaintFlag(bg);
    PaintFirework(bg);
    PaintTorches(bg);
    PaintForeground(fg);
}

// The parallax graphic: a calm sky with faint streaks of cloud, repeating
// seamlessly every 16 pixels both ways.
void MakeParallax(uint8_t* g) {
    static const char* rows[16] = {
        "1111111111111111", "1111111111111111", "1111111111111111", "1111112221111111",
        "1111222332221111", "1111111222111111", "1111111111111111", "1111111111111111",
        "1111111111111111", "1111111111111111", "1111111111111111", "2111111111111222",
        "3222111111122233", "2111111111111222", "1111111111111111", "1111111111111111",
    };
    for (int y = 0; y < 16; y++) {
        for (int x = 0; x < 16; x++) g[y * 16 + x] = R.para(rows[y][x] - '1');
    }
}

// --- Assembly -------------------------------------------------------------------

std::string TileAt(const Canvas& c, int cx, int cy) {
    std::string t(kTile * kTile, '\0');
    for (int y = 0; y < kTile; y++) {
        std::memcpy(&t[y * kTile], &c.px[size_t(cy * kTile + y) * kSide + cx * kTile], kTile);
    }
    return t;
}

// The block showing background tile `bgt` with foreground tile `fgt`. A
// block whose background has see-through pixels gets the trigger flag, so
// the parallax is drawn behind it.
int Block(MapBuilder& b, const std::string& bgt, const std::string& fgt) {
    const int g = MapBuildGraphic(b, bgt);
    const bool noFg = fgt.find_first_not_of('\0') == std::string::npos;
    const int fg[3] = {noFg ? -1 : MapBuildGraphic(b, fgt), -1, -1};
    BLKSTR s{};
    s.trigger = bgt.find('\0') != std::string::npos;
    return MapBuildStack(b, g, fg, s);
}

int Anim(MapBuilder& b, const FeatureDef& f, const std::vector<int>& seq) {
    return MapBuildAnim(b, f.antype, f.andelay, seq);
}

const FeatureDef& Def(int k) {
    static const FeatureDef defs[kFeatures] = {
        {ANTYPE_LOOP_FWD, 4, 4, {{41, 45, 59, 56}}},
        {ANTYPE_PINGPONG_FWD_OUT, 6, 4, {{58, 42, 61, 46}, {68, 41, 71, 45}, {3, 41, 6, 45}, {85, 46, 88, 50}}},
        {ANTYPE_ONCE, 7, 5, {{kFireX / kTile - 1, kFireY / kTile - 1, kFireX / kTile + 1, kFireY / kTile + 1}}},
        {ANTYPE_ONCE_HOLD, 9, 6, {{kFlagCell, 42, kFlagCell + 1, 46}}},
        {ANTYPE_LOOP_FWD,
         5,
         3,
         {{35, 60, 36, 61},
          {17, 76, 18, 77},
          {21, 76, 22, 77},
          {71, 84, 72, 85},
          {47, 70, 48, 71},
          {89, 66, 90, 67},
          {35, 90, 36, 91},
          {39, 90, 40, 91}}},
    };
    return defs[k];
}

}  // namespace

MAPDESC MapWriterDemo() {
    MapBuilder b;
    b.m.width = kCells;
    b.m.height = kCells;
    b.m.cmap = MakePalette();
    MakeGround();
    MakeRock();
    std::fill(std::begin(frame), std::end(frame), 0);

    Canvas bg, fg;
    Paint(bg, fg);

    // Graphic 0 is all see-through and block 0 shows it: the open sky, which
    // the transparent drawing leaves to the parallax.
    const std::string empty(kTile * kTile, '\0');
    Block(b, empty, empty);

    std::vector<int16_t>& cells = b.m.layers[0];
    cells.assign(size_t(kCells) * kCells, 0);
    std::vector<bool> animated(cells.size(), false);

    // Animated cells: repaint each feature's areas at every frame; a cell
    // whose tiles change becomes an animation over the blocks it shows.
    Canvas fbg, ffg;
    for (int k = 0; k < kFeatures; k++) {
        const FeatureDef& f = Def(k);
        for (const Rect& a : f.areas) {
            const int w = a.x1 - a.x0, h = a.y1 - a.y0;
            std::vector<std::vector<int>> seq(size_t(w) * h);
            for (int t = 0; t < f.frames; t++) {
                frame[k] = t;
                for (Canvas* c : {&fbg, &ffg}) {
                    c->x0 = a.x0 * kTile;
                    c->y0 = a.y0 * kTile;
                    c->x1 = a.x1 * kTile;
                    c->y1 = a.y1 * kTile;
                }
                Paint(fbg, ffg);
                for (int cy = a.y0; cy < a.y1; cy++) {
                    for (int cx = a.x0; cx < a.x1; cx++) {
                        seq[size_t(cy - a.y0) * w + (cx - a.x0)].push_back(
                            Block(b, TileAt(fbg, cx, cy), TileAt(ffg, cx, cy)));
                    }
                }
            }
            frame[k] = 0;
            for (int cy = a.y0; cy < a.y1; cy++) {
                for (int cx = a.x0; cx < a.x1; cx++) {
                    const std::vector<int>& s = seq[size_t(cy - a.y0) * w + (cx - a.x0)];
                    const size_t i = size_t(cy) * kCells + cx;
                    if (animated[i] || std::all_of(s.begin(), s.end(), [&](int v) { return v == s[0]; })) continue;
                    animated[i] = true;
                    cells[i] = static_cast<int16_t>(-16 * (Anim(b, f, s) + 1));
                }
            }
        }
    }
    for (int cy = 0; cy < kCells; cy++) {
        for (int cx = 0; cx < kCells; cx++) {
            const size_t i = size_t(cy) * kCells + cx;
            if (!animated[i]) cells[i] = static_cast<int16_t>(32 * Block(b, TileAt(bg, cx, cy), TileAt(fg, cx, cy)));
        }
    }

    // The parallax graphic goes last.
    std::string para(kTile * kTile, '\0');
    MakeParallax(reinterpret_cast<uint8_t*>(para.data()));
    b.m.gfx.insert(b.m.gfx.end(), para.begin(), para.end());
    return b.m;
}
