// The platformer's tileset: terrain, blocks, platforms, water, pick-ups,
// flags and decorations, painted tile by tile, light from the top left.
#include <algorithm>
#include <cmath>

#include "art.h"

namespace art {

namespace {

constexpr double kPi = 3.14159265358979323846;

View TileView(Canvas& c, int id, int wTiles = 1, int hTiles = 1) {
    return View{&c, (id % kColumns) * kTile, (id / kColumns) * kTile, wTiles * kTile, hTiles * kTile};
}

// --- Ground ---------------------------------------------------------------------

// Dirt: a grainy fill with a few clods, lit from above. Clods stay inside
// the tile so that every variant tiles with every other.
uint8_t DirtAt(int u, int v) {
    const double n = Noise(u / 2, v, 1);
    int shade = 4;
    if (n < 0.20) shade = 3;
    if (n < 0.05) shade = 2;
    if (n > 0.90) shade = 5;
    return R.dirt(shade);
}

void Clod(const View& v, int x0, int y0, bool stone) {
    static const std::vector<std::string> clod = {".12.", "1233", "2334", ".44."};
    static const std::vector<std::string> pebble = {".122.", "12333", "23334", ".444."};
    if (stone) {
        Stamp(v, x0, y0, pebble, "1234", {R.stone(8), R.stone(6), R.stone(4), R.stone(2)});
        v.Put(x0 + 1, y0 + 4, R.dirt(2));
        v.Put(x0 + 3, y0 + 4, R.dirt(2));
    } else {
        Stamp(v, x0, y0, clod, "1234", {R.dirt(7), R.dirt(6), R.dirt(5), R.dirt(2)});
    }
}

void PaintDirt(const View& v, int variant) {
    for (int y = 0; y < kTile; y++) {
        for (int x = 0; x < kTile; x++) v.Put(x, y, DirtAt(x, y));
    }
    static const int clods[4][3][3] = {
        {{2, 3, 0}, {9, 8, 0}, {4, 12, 0}},
        {{10, 2, 0}, {3, 8, 0}, {11, 12, 0}},
        {{5, 5, 1}, {11, 11, 0}, {1, 12, 0}},
        {{2, 2, 0}, {8, 9, 1}, {12, 4, 0}},
    };
    for (const auto& c : clods[variant & 3]) Clod(v, c[0], c[1], c[2]);
}

// How deep the grass reaches at each pixel column; both ends are equal so
// that grass tiles join in any order.
const int kGrassDepth[2][16] = {
    {6, 7, 6, 5, 6, 8, 7, 6, 5, 6, 7, 8, 7, 6, 5, 6},
    {6, 5, 6, 7, 8, 7, 6, 5, 6, 7, 6, 5, 6, 8, 7, 6},
};

// The grass cover at the top of a ground tile: bright tips, blades
// darkening downwards, hanging points, and the shadow it casts on the dirt.
void PaintGrassTop(const View& v, int variant, int x0, int x1) {
    for (int x = x0; x < x1; x++) {
        const int d = kGrassDepth[variant & 1][x];
        for (int y = 0; y < d + 2; y++) {
            uint8_t c;
            if (y == 0)
                c = R.grass(Noise(x, 0, 7 + variant) < 0.25 ? 10 : 9);
            else if (y == 1)
                c = R.grass(8);
            else if (y < d - 1)
                c = R.grass((x + variant + y / 2) % 4 == 0 ? 5 : (y < 4 ? 7 : 6));
            else if (y == d - 1)
                c = R.grass(4);
            else if (y == d)
                c = R.grass(2);
            else
                c = R.dirt(1);
            v.Put(x, y, c);
        }
        // A blade's light edge now and then.
        if ((x * 7 + variant * 3) % 5 == 1) v.Put(x, 2, R.grass(9));
    }
}

// Left or right rim of a ground tile: outline, then a lit (left) or shaded
// (right) band. Rows above `from` are left as they are.
void PaintRim(const View& v, bool left, int from, bool grassy) {
    for (int y = from; y < kTile; y++) {
        const int x = left ? 0 : kTile - 1, in = left ? 1 : -1;
        const bool g = grassy && y < 9;
        v.Put(x, y, g ? R.grass(1) : R.dirt(0));
        if (left) {
            v.Put(x + in, y, g ? R.grass(8) : R.dirt(7));
            v.Put(x + 2 * in, y, g ? R.grass(6) : R.dirt(5));
        } else {
            v.Put(x + in, y, g ? R.grass(3) : R.dirt(2));
            v.Put(x + 2 * in, y, g ? R.grass(4) : R.dirt(3));
        }
    }
}

// A ground tile: dirt, grass on top if `top`, rims on the open sides.
void PaintGround(const View& v, int variant, bool top, bool left, bool right) {
    PaintDirt(v, variant);
    if (top) PaintGrassTop(v, variant, 0, kTile);
    // The grass hangs over the sides down to row 8, its lower end rounded.
    if (left) {
        PaintRim(v, true, 0, top);
        if (top) {
            v.Put(0, 9, R.grass(1));
            v.Put(1, 9, R.grass(3));
            v.Put(1, 10, R.dirt(0));
        }
    }
    if (right) {
        PaintRim(v, false, 0, top);
        if (top) {
            v.Put(15, 9, R.grass(1));
            v.Put(14, 9, R.grass(2));
            v.Put(14, 10, R.dirt(0));
        }
    }
    if (top) {
        // Rounded outer corners, and a dark outline on the top edge there.
        if (left) {
            v.Put(0, 0, 0), v.Put(1, 0, 0), v.Put(0, 1, 0);
            v.Put(2, 0, R.grass(1)), v.Put(1, 1, R.grass(1)), v.Put(0, 2, R.grass(1));
            v.Put(2, 1, R.grass(9));
        }
        if (right) {
            v.Put(15, 0, 0), v.Put(14, 0, 0), v.Put(15, 1, 0);
            v.Put(13, 0, R.grass(1)), v.Put(14, 1, R.grass(1)), v.Put(15, 2, R.grass(1));
        }
    }
}

// Rock under the dirt: rounded stones, repeating every 16 pixels, with
// dark cracks between them, lit on their upper left.
uint8_t RockAt(int x, int y, int variant) {
    static const int seeds[2][5][2] = {{{3, 3}, {11, 2}, {7, 9}, {14, 11}, {2, 13}},
                                       {{4, 2}, {12, 5}, {6, 10}, {1, 7}, {12, 13}}};
    double d1 = 1e9, d2 = 1e9;
    int id = 0, sx = 0, sy = 0;
    for (int s = 0; s < 5; s++) {
        for (int oy = -16; oy <= 16; oy += 16) {
            for (int ox = -16; ox <= 16; ox += 16) {
                const int px = seeds[variant][s][0] + ox, py = seeds[variant][s][1] + oy;
                const double d = std::hypot(x + 0.5 - px, (y + 0.5 - py) * 1.25);
                if (d < d1) {
                    d2 = d1, d1 = d, id = s, sx = px, sy = py;
                } else if (d < d2) {
                    d2 = d;
                }
            }
        }
    }
    if (d2 - d1 < 1.0) return R.stone(1);
    int shade = 4 + (id % 3 == 0) - (id % 3 == 2);
    if (d2 - d1 < 2.2) shade += (x - sx) + (y - sy) < 0 ? 2 : -1;
    if (Noise(x, y, 90 + variant) < 0.08) shade--;
    return R.stone(shade);
}

// Rock, with dirt above it if `top`, and rims on the open sides.
void PaintRock(const View& v, int variant, bool top, bool left, bool right) {
    static const int edge[16] = {6, 5, 5, 6, 7, 8, 8, 7, 6, 6, 7, 7, 6, 5, 5, 6};
    for (int y = 0; y < kTile; y++) {
        for (int x = 0; x < kTile; x++) v.Put(x, y, RockAt(x, y, variant));
    }
    if (top) {
        PaintDirt(v, 1);
        for (int x = 0; x < kTile; x++) {
            for (int y = edge[x] + 1; y < kTile; y++) v.Put(x, y, RockAt(x, y, variant));
            v.Put(x, edge[x], R.dirt(1));
            v.Put(x, edge[x] + 1, R.stone(7));
            if (edge[x] + 1 < kTile && (x == 0 || edge[x - 1] > edge[x])) v.Put(x, edge[x] + 1, R.stone(8));
        }
    }
    for (int side = 0; side < 2; side++) {
        if (side == 0 ? !left : !right) continue;
        const int e = side == 0 ? 0 : 15, in = side == 0 ? 1 : -1;
        for (int y = 0; y < kTile; y++) {
            const bool dirt = top && y <= edge[e];
            v.Put(e, y, dirt ? R.dirt(0) : R.stone(0));
            v.Put(e + in, y, dirt ? (side == 0 ? R.dirt(7) : R.dirt(2)) : (side == 0 ? R.stone(7) : R.stone(2)));
            v.Put(e + 2 * in, y, dirt ? (side == 0 ? R.dirt(5) : R.dirt(3)) : (side == 0 ? R.stone(6) : R.stone(3)));
        }
    }
}

// Fill at the foot of a wall: the wall's rim comes down to the lower
// ground's grass, which runs a little way into the corner.
void PaintCorner(const View& v, bool grassLeft, bool grassRight) {
    PaintDirt(v, 1);
    for (int side = 0; side < 2; side++) {
        if (side == 0 ? !grassLeft : !grassRight) continue;
        const int e = side == 0 ? 0 : 15, in = side == 0 ? 1 : -1;
        static const int depth[4] = {6, 5, 4, 2};
        for (int k = 0; k < 4; k++) {
            for (int y = 0; y < depth[k] + 2; y++) {
                const int d = depth[k];
                const uint8_t c = y == 0      ? R.grass(k < 2 ? 7 : 9)
                                  : y == 1    ? R.grass(8)
                                  : y < d - 1 ? R.grass(6)
                                  : y < d     ? R.grass(4)
                                  : y == d    ? R.grass(2)
                                              : R.dirt(1);
                v.Put(e + k * in, y, c);
            }
        }
        // The grass pushed against the wall is in its shade.
        v.Put(e, 0, R.grass(3)), v.Put(e, 1, R.grass(5));
    }
}

// --- Blocks ---------------------------------------------------------------------

// A bevelled box: outline, then two rings lit on the top and left.
void Bevel(const View& v, int x0, int y0, int x1, int y1, const Ramp& r, int body, uint8_t outline) {
    for (int y = y0; y < y1; y++) {
        for (int x = x0; x < x1; x++) {
            const int ring = std::min({x - x0, y - y0, x1 - 1 - x, y1 - 1 - y});
            const bool lit = (x - x0) + (y - y0) < (x1 - 1 - x) + (y1 - 1 - y)
                                 ? (x - x0 == ring || y - y0 == ring)
                                 : !(x1 - 1 - x == ring || y1 - 1 - y == ring);
            uint8_t c;
            if (ring == 0)
                c = outline;
            else if (ring == 1)
                c = r(lit ? body + 3 : body - 3);
            else if (ring == 2)
                c = r(lit ? body + 1 : body - 1);
            else
                c = r(body);
            v.Put(x, y, c);
        }
    }
}

void PaintStone(const View& v) {
    Bevel(v, 0, 0, 16, 16, R.stone, 6, R.stone(0));
    for (int y = 3; y < 13; y++) {
        for (int x = 3; x < 13; x++) {
            const double n = Noise(x, y, 21);
            if (n < 0.12)
                v.Put(x, y, R.stone(5));
            else if (n > 0.93)
                v.Put(x, y, R.stone(7));
        }
    }
    // A hairline crack.
    static const int crack[][2] = {{9, 3}, {9, 4}, {10, 5}, {10, 6}, {11, 7}};
    for (auto [x, y] : crack) {
        v.Put(x, y, R.stone(3));
        v.Put(x + 1, y, R.stone(7));
    }
}

uint8_t BrickAt(int x, int y) {
    const int course = y / 4, row = y % 4, u = (x + (course % 2) * 4) % 8;
    if (row == 3 || u == 7) return R.brick(0);
    if (row == 0 || u == 0) return R.brick(row == 0 && u == 0 ? 6 : 5);
    if (row == 2) return R.brick(2);
    return R.brick(Noise(x, y, 31) < 0.2 ? 3 : 4);
}

void PaintBrick(const View& v, bool mossy) {
    for (int y = 0; y < kTile; y++) {
        for (int x = 0; x < kTile; x++) v.Put(x, y, BrickAt(x, y));
    }
    if (!mossy) return;
    static const int drip[16] = {3, 4, 3, 2, 3, 5, 6, 4, 3, 3, 4, 3, 2, 3, 4, 3};
    for (int x = 0; x < kTile; x++) {
        for (int y = 0; y <= drip[x]; y++) {
            v.Put(x, y, y == 0 ? R.grass(9) : y == 1 ? R.grass(7) : y == drip[x] ? R.grass(2) : R.grass(5));
        }
    }
}

void PaintCrate(const View& v) {
    Bevel(v, 0, 0, 16, 16, R.wood, 5, R.wood(0));
    // Boards between the frame, and a brace from corner to corner.
    for (int y = 3; y < 13; y++) {
        for (int x = 3; x < 13; x++) v.Put(x, y, R.wood((y - 3) % 5 == 4 ? 2 : (y - 3) % 5 == 0 ? 4 : 3));
    }
    for (int k = 3; k < 13; k++) {
        const int y = 15 - k;
        v.Put(k, y, R.wood(7));
        v.Put(k, y + 1, R.wood(6));
        v.Put(k + 1, y + 1, R.wood(1));
    }
    for (auto [x, y] : {std::pair{2, 2}, {13, 2}, {2, 13}, {13, 13}}) v.Put(x, y, R.stone(9));
}

// A plank platform in the top half of the tile; ends rounded, joints and
// nails where tiles meet.
void PaintWood(const View& v, bool left, bool right) {
    for (int x = 0; x < kTile; x++) {
        for (int y = 0; y < 8; y++) {
            uint8_t c;
            if (y == 0 || y == 7)
                c = R.wood(0);
            else if (y == 1)
                c = R.wood(8);
            else if (y == 6)
                c = R.wood(2);
            else if (y == 5)
                c = R.wood(3);
            else
                c = R.wood(Noise(x / 3, y, 41) < 0.25 ? 4 : 6);
            v.Put(x, y, c);
        }
        if (x == 15 && !right) {
            for (int y = 1; y < 7; y++) v.Put(x, y, R.wood(1));
        }
    }
    for (int y = 3; y < 5; y++) {
        v.Put(3, y, y == 3 ? R.stone(9) : R.stone(4));
        v.Put(12, y, y == 3 ? R.stone(9) : R.stone(4));
    }
    for (int side = 0; side < 2; side++) {
        if (side == 0 ? !left : !right) continue;
        const int e = side == 0 ? 0 : 15, in = side == 0 ? 1 : -1;
        v.Put(e, 0, 0), v.Put(e, 7, 0);
        for (int y = 1; y < 7; y++) v.Put(e, y, R.wood(0));
        // The end grain: rings around a core.
        for (int y = 1; y < 7; y++) v.Put(e + in, y, R.wood(y == 1 ? 9 : y == 6 ? 3 : 7));
        v.Put(e + 2 * in, 3, R.wood(4)), v.Put(e + 2 * in, 4, R.wood(4));
        v.Put(e + in, 0, R.wood(0)), v.Put(e + in, 7, R.wood(0));
    }
}

// A stone ledge with moss on top, solid in its top half; its rough
// underside hangs below.
void PaintLedge(const View& v, bool left, bool right) {
    static const int hang[16] = {1, 2, 3, 2, 1, 1, 2, 4, 3, 2, 1, 2, 3, 2, 1, 1};
    for (int x = 0; x < kTile; x++) {
        const int bottom = 8 + hang[x];
        for (int y = 0; y < bottom; y++) {
            uint8_t c;
            if (y == bottom - 1)
                c = R.stone(1);
            else if (y >= 8)
                c = R.stone(3);
            else
                c = R.stone(Noise(x, y, 51) < 0.2 ? 5 : 6);
            v.Put(x, y, c);
        }
        v.Put(x, 0, R.grass(9));
        v.Put(x, 1, R.grass(7));
        v.Put(x, 2, (x * 5) % 7 < 3 ? R.grass(4) : R.stone(8));
        if ((x * 5) % 7 == 1) v.Put(x, 3, R.grass(3));
        if ((x & 7) == 7 && !(x == 15 && right)) {
            for (int y = 3; y < 8; y++) v.Put(x, y, R.stone(2));
        }
    }
    for (int side = 0; side < 2; side++) {
        if (side == 0 ? !left : !right) continue;
        const int e = side == 0 ? 0 : 15, in = side == 0 ? 1 : -1;
        for (int y = 0; y < 12; y++) v.Put(e, y, 0);
        for (int y = 1; y < 9; y++) v.Put(e + in, y, y < 3 ? R.grass(1) : R.stone(0));
        v.Put(e + in, 0, 0);
        v.Put(e + 2 * in, 0, R.grass(1));
        for (int y = 3; y < 8; y++) v.Put(e + 2 * in, y, side == 0 ? R.stone(8) : R.stone(3));
        for (int y = 9; y < 12; y++) v.Put(e + in, y, 0);
    }
    // Outline under the hanging rock.
    for (int x = 0; x < kTile; x++) {
        const int bottom = 8 + hang[x];
        if (v.At(x, bottom - 1)) v.Put(x, bottom - 1, R.stone(0));
    }
}

// A half-height stone slab in the bottom half.
void PaintSlab(const View& v, bool left, bool right) {
    for (int y = 8; y < 16; y++) {
        for (int x = 0; x < kTile; x++) {
            uint8_t c;
            if (y == 8 || y == 15)
                c = R.stone(0);
            else if (y == 9)
                c = R.stone(9);
            else if (y == 14)
                c = R.stone(3);
            else if (y == 13)
                c = R.stone(5);
            else
                c = R.stone(Noise(x, y, 61) < 0.15 ? 6 : 7);
            v.Put(x, y, c);
        }
    }
    // A seam between slabs, and the ends.
    if (!right) {
        for (int y = 9; y < 15; y++) v.Put(15, y, R.stone(2));
    }
    if (!left) {
        for (int y = 9; y < 15; y++) v.Put(0, y, R.stone(9));
    }
    for (int side = 0; side < 2; side++) {
        if (side == 0 ? !left : !right) continue;
        const int e = side == 0 ? 0 : 15, in = side == 0 ? 1 : -1;
        v.Put(e, 8, 0), v.Put(e, 15, 0);
        for (int y = 9; y < 15; y++) {
            v.Put(e, y, R.stone(0));
            v.Put(e + in, y, side == 0 ? R.stone(9) : R.stone(3));
        }
        v.Put(e + in, 8, R.stone(0)), v.Put(e + in, 15, R.stone(0));
    }
}

// --- Water ----------------------------------------------------------------------

// The surface rolls 4 pixels a frame along a 16-pixel wave, so 4 frames loop.
void PaintSurface(const View& v, int t) {
    static const int wave[16] = {0, 0, -1, -1, -2, -2, -2, -1, -1, 0, 0, 1, 1, 1, 1, 0};
    for (int x = 0; x < kTile; x++) {
        const int u = (x + 4 * t) & 15, top = 5 + wave[u];
        for (int y = top; y < kTile; y++) {
            const int d = y - top;
            int shade;
            if (d == 0)
                shade = 11;
            else if (d == 1)
                shade = 9;
            else if (d == 2)
                shade = 7;
            else
                shade = 6 - (Bayer(x, y) < (y - 8) / 8.0 ? 1 : 0);
            // Glints under the crest drift with the wave.
            if (d == 3 && (u == 5 || u == 6)) shade = 9;
            if (d == 5 && ((x - 2 * t) & 15) == 12) shade = 8;
            v.Put(x, y, R.water(shade));
        }
        // Foam flecks ride the crests.
        if (wave[u] == -2 && u == 5) v.Put(x, top - 1, R.water(11));
    }
}

// Deep water: dark, with short glints that drift and fade, 4 frames a loop.
void PaintDeep(const View& v, int t) {
    for (int y = 0; y < kTile; y++) {
        for (int x = 0; x < kTile; x++) v.Put(x, y, R.water(5 - (Bayer(x, y + 1) < 0.19 ? 1 : 0)));
    }
    // x, y, length of each glint at frame 0; each drifts 4 pixels a frame,
    // left or right, swaying a pixel up and down.
    static const int glints[4][4] = {{2, 3, 4, 1}, {9, 7, 3, -1}, {5, 11, 5, 1}, {13, 14, 3, -1}};
    for (const auto& g : glints) {
        const int x0 = g[0] + 4 * t * g[3], y = g[1] + ((t + g[0]) % 4 == 1 ? 1 : 0);
        for (int i = 0; i < g[2]; i++) {
            const int x = ((x0 + i) % 16 + 16) % 16;
            v.Put(x, y, R.water(i == 0 || i == g[2] - 1 ? 7 : 8));
        }
    }
}

// --- Pick-ups and flags ---------------------------------------------------------

// A coin turning half a turn in 8 frames; both faces look alike, so the
// loop is seamless.
void PaintCoin(const View& v, int k) {
    const double th = k * kPi / 8, a = std::max(0.9, 5.2 * std::fabs(std::cos(th))), b = 6.2;
    const double edge = 1.6 * std::sin(th);  // the rim seen edge-on, to the right
    for (int y = 0; y < kTile; y++) {
        for (int x = 0; x < kTile; x++) {
            const double dx = x + 0.5 - 8, dy = y + 0.5 - 8;
            const double face = (dx / a) * (dx / a) + (dy / b) * (dy / b);
            const double rim = ((dx - edge) / a) * ((dx - edge) / a) + (dy / b) * (dy / b);
            if (face <= 1) {
                int shade = 5;
                if (face > 0.55 && face <= 0.75 && a > 2.5) shade = dx > 0 || dy > 0 ? 3 : 6;  // raised ring
                if (dx < -a * 0.35 && dy < 0 && face > 0.75) shade = 7;                        // shine
                if (dx > a * 0.4 && face > 0.6) shade = 3;
                if (a > 3 && std::fabs(dx) < 1 && std::fabs(dy) < 3) shade = 3;  // the slot in the middle
                if (a > 3 && dx > -1 && dx < 0 && std::fabs(dy) < 3) shade = 2;
                v.Put(x, y, R.gold(shade));
            } else if (rim <= 1 && k != 0) {
                v.Put(x, y, R.gold(2));
            }
        }
    }
    Outline(v, R.gold(0));
    // A glint on the upper left of the face.
    if (k == 0 || k == 1 || k == 7) v.Put(6, 4, R.gold(8));
}

// A pole with a knob; the checkpoint's top half and the goal share it.
void PaintPole(const View& v, int x, int y0, int y1) {
    for (int y = y0; y < y1; y++) {
        v.Put(x - 1, y, R.stone(0));
        v.Put(x, y, R.stone(9));
        v.Put(x + 1, y, R.stone(5));
        v.Put(x + 2, y, R.stone(0));
    }
}

void PaintKnob(const View& v, int x, int y) {
    static const std::vector<std::string> knob = {".11.", "1231", "1331", ".11."};
    Stamp(v, x - 1, y, knob, "123", {R.gold(1), R.gold(7), R.gold(4)});
}

void PaintPedestal(const View& v, int x0, int x1, int y0) { Bevel(v, x0, y0, x1, v.h, R.stone, 5, R.stone(0)); }

// A pennant at (x0, y0), `len` long and `h` high at the pole, waving at
// phase t of 4.
void PaintPennant(const View& v, int x0, int y0, int len, int h, int t, const Ramp& r, bool limp) {
    for (int i = 0; i < len; i++) {
        const double f = double(i) / len;
        const int off = limp ? 0 : int(std::lround(std::sin(i * 0.9 - t * kPi / 2) * 1.4 * f));
        const int half = std::max(0, int(std::lround(h * (1 - f) / 2.0)));
        for (int k = -half; k <= half; k++) {
            const int y = y0 + h / 2 + k + off;
            const double slope = std::cos(i * 0.9 - t * kPi / 2);
            int shade = limp ? 3 : (slope > 0.3 ? 4 : slope < -0.3 ? 2 : 3);
            if (k == -half) shade += 1;
            if (k == 0 && half >= 2) shade += 2;
            v.Put(x0 + i, y, r(shade));
        }
    }
}

void PaintCheckpointTop(const View& v, int state) {
    PaintPole(v, 3, 3, 16);
    PaintKnob(v, 4, 0);
    if (state < 0) {
        // Not reached yet: a grey banner hangs limp from the pole's top.
        static const std::vector<std::string> cloth = {"1111111.", "12333331", "1233331.", "123331..",
                                                       "12331...", "1231....", "121.....", "11......"};
        Stamp(v, 6, 3, cloth, "123", {R.stone(1), R.stone(4), R.stone(6)});
    } else {
        const View sub{v.c, v.ox + 6, v.oy + 1, 10, 14};
        PaintPennant(sub, 0, 1, 10, 10, state, R.red, false);
        Outline(sub, R.red(0));
    }
}

void PaintCheckpointPole(const View& v) {
    PaintPole(v, 3, 0, 12);
    PaintPedestal(v, 0, 9, 12);
}

// The goal flag, 2 x 3 tiles; frame t of 4 paints the waving flag at the top.
void PaintGoal(const View& v, int t, bool flagOnly) {
    if (!flagOnly) {
        PaintPole(v, 6, 4, 42);
        PaintPedestal(v, 1, 14, 42);
        // Grass tufts at the foot.
        v.Put(0, 47, R.grass(5)), v.Put(15, 47, R.grass(5)), v.Put(15, 46, R.grass(7));
    } else {
        PaintPole(v, 6, 4, 16);
    }
    PaintKnob(v, 7, 0);
    // A checkered flag, 24 x 12, waving.
    const View fl{v.c, v.ox + 8, v.oy + 2, 24, 14};
    for (int i = 0; i < 24; i++) {
        const double ph = i * 0.42 - t * kPi / 2, f = 0.3 + 0.7 * i / 23.0;
        const int off = int(std::lround(std::sin(ph) * 1.3 * f));
        const double slope = std::cos(ph);
        for (int j = 0; j < 12; j++) {
            const bool dark = ((i / 4) + (j / 4)) % 2;
            int c;
            if (dark)
                c = slope > 0.4 ? R.stone(2) : slope < -0.4 ? R.ink(0) : R.stone(1);
            else
                c = slope > 0.4 ? R.white(0) : slope < -0.4 ? R.stone(7) : R.stone(9);
            fl.Put(i, 1 + j + off, uint8_t(c));
        }
    }
    Outline(fl, R.ink(0));
}

// --- Decorations ----------------------------------------------------------------

void PaintTuft(const View& v, int variant) {
    // clang-format off
    static const std::vector<std::string> tufts[2] = {
        {"...1.......1....",
         "..1.1..1..1.....",
         "..2.1.1..12..1..",
         ".21.21.2.21.12..",
         ".2313213.2312131",
         "2333333322333333"},
        {"......1.........",
         ".1....2.1....1..",
         ".21..21.21..12..",
         "..21.2132..2121.",
         ".2313333312313..",
         "2333333333333332"},
    };
    // clang-format on
    Stamp(v, 0, 10, tufts[variant], "123", {R.grass(9), R.grass(6), R.grass(4)});
}

void PaintFlower(const View& v, int which) {
    const Ramp& r = which == 0 ? R.red : which == 1 ? R.gold : R.blue;
    const uint8_t heart = which == 1 ? R.bark(3) : R.gold(5);
    static const std::vector<std::string> flower = {".1.1.", "12321", ".131.", "..4..",
                                                    ".54..", "..45.", "..4..", "..4.."};
    static const std::vector<std::string> bud = {".1.", "121", ".3.", ".4.", "54.", ".4."};
    const uint8_t light = r(r.n - 2), mid = r(r.n - 4);
    Stamp(v, 3, 8, flower, "12345", {mid, light, heart, R.grass(3), R.grass(6)});
    Stamp(v, 9, 10, bud, "12345", {mid, light, heart, R.grass(3), R.grass(6)});
    static const std::vector<std::string> leaves = {"..1..1..1.", ".121.2112.", "1222122221"};
    Stamp(v, 2, 13, leaves, "12", {R.grass(7), R.grass(4)});
}

void PaintMushroom(const View& v) {
    static const std::vector<std::string> m = {"..1111..", ".122321.", "12252221", "12222221",
                                               "13333331", "..4445..", "..4445..", "..4455.."};
    Stamp(v, 1, 8, m, "12345", {R.red(1), R.red(3), R.red(1), R.skin(4), R.white(0)});
    v.Put(4, 9, R.white(0)), v.Put(6, 11, R.white(0)), v.Put(3, 11, R.red(5));
    static const std::vector<std::string> s = {".111.", "12521", "13331", ".445.", ".445."};
    Stamp(v, 10, 11, s, "12345", {R.red(1), R.red(3), R.red(1), R.skin(4), R.white(0)});
    Outline(v, R.red(0));
}

// Leaf lumps lit from the top left, each one rimmed where it meets the
// lump behind it, so that a bush or crown reads as clusters.
struct Blob {
    double x, y, r;
};

void PaintLeaves(const View& v, const std::vector<Blob>& blobs, int seed) {
    for (size_t i = 0; i < blobs.size(); i++) {
        const Blob& b = blobs[i];
        for (int y = int(b.y - b.r) - 1; y <= int(b.y + b.r) + 1; y++) {
            for (int x = int(b.x - b.r) - 1; x <= int(b.x + b.r) + 1; x++) {
                const double dx = x + 0.5 - b.x, dy = y + 0.5 - b.y, d = std::hypot(dx, dy) / b.r;
                if (d > 1) continue;
                const double light = -(dx + 1.4 * dy) / b.r * 0.5 + 0.5 - d * 0.25 + (Noise(x, y, seed) - 0.5) * 0.3;
                int shade = light > 0.72 ? 8 : light > 0.5 ? 6 : light > 0.25 ? 4 : 3;
                if (d > 0.86) shade = dx + dy > 0 ? 1 : 2;
                if (shade >= 6 && Bayer(x, y) < 0.12) shade = 9;
                v.Put(x, y, R.leaf(shade));
            }
        }
    }
}

void PaintBush(const View& v, bool wide) {
    std::vector<Blob> blobs;
    if (wide)
        blobs = {{5, 12, 5}, {12, 9, 6.5}, {21, 9, 6.5}, {27, 12, 5}, {16, 13, 4}};
    else
        blobs = {{4.5, 12, 4.5}, {9, 9, 5.2}, {12, 12.5, 3.6}};
    PaintLeaves(v, blobs, wide ? 71 : 72);
    Outline(v, R.leaf(0));
    // Berries.
    for (auto [x, y] : wide ? std::vector<std::pair<int, int>>{{8, 9}, {19, 7}, {25, 12}, {14, 13}}
                            : std::vector<std::pair<int, int>>{{6, 10}, {11, 12}}) {
        v.Put(x, y, R.red(3));
        v.Put(x, y + 1, R.red(1));
    }
}

void PaintTree(const View& v) {
    // Trunk and roots down to the ground at the bottom of the 3 x 5 block.
    for (int y = 30; y < 80; y++) {
        const int flare = y > 72 ? (y - 72) / 2 + 1 : 0;
        for (int x = 20 - flare; x < 28 + flare; x++) {
            const int u = x - (20 - flare), w = 8 + 2 * flare;
            int shade = u < 2 ? 3 : u > w - 3 ? 1 : 2;
            if ((x * 3 + y / 3) % 7 == 0 && u > 1 && u < w - 2) shade = 1;
            if (u == 2 && y % 9 < 3) shade = 4;
            v.Put(x, y, R.bark(shade));
        }
    }
    // A knot hole.
    v.Put(23, 58, R.bark(0)), v.Put(24, 58, R.bark(0)), v.Put(23, 57, R.bark(1)), v.Put(24, 59, R.bark(3));
    const std::vector<Blob> crown = {{24, 14, 11}, {12, 22, 9.5}, {36, 22, 9.5}, {17, 11, 8}, {31, 11, 8},
                                     {24, 28, 9},  {8, 32, 6},    {40, 32, 6},   {15, 33, 7}, {33, 33, 7}};
    PaintLeaves(v, crown, 73);
    Outline(v, R.ink(0));
}

void PaintBoulder(const View& v, bool big) {
    std::vector<Blob> b = big ? std::vector<Blob>{{10, 10, 7}, {20, 8.5, 8}, {26, 12, 5}, {5, 13, 4}}
                              : std::vector<Blob>{{7, 12, 4.5}, {10, 12.5, 4}};
    for (const Blob& s : b) {
        for (int y = 0; y < 16; y++) {
            for (int x = 0; x < v.w; x++) {
                const double dx = x + 0.5 - s.x, dy = y + 0.5 - s.y, d = std::hypot(dx, dy * 1.1) / s.r;
                if (d > 1) continue;
                const double light = -(dx + dy) / s.r * 0.5 + 0.5 - d * 0.2;
                int shade = light > 0.7 ? 8 : light > 0.5 ? 6 : light > 0.3 ? 5 : 3;
                if (shade >= 6 && Bayer(x, y) < 0.1) shade = 4;
                v.Put(x, y, R.stone(shade));
            }
        }
    }
    Outline(v, R.stone(0));
    // Moss on the top.
    if (big) {
        for (int x = 14; x < 24; x++) v.Put(x, 2 + (x == 14 || x == 23), R.grass(6));
        for (int x = 16; x < 22; x++) v.Put(x, 3, R.grass(4));
    }
}

void PaintSign(const View& v) {
    // Post.
    for (int y = 9; y < 16; y++) {
        v.Put(7, y, R.wood(5));
        v.Put(8, y, R.wood(2));
    }
    // Board with an arrow pointing right.
    Bevel(v, 1, 1, 15, 10, R.wood, 5, R.wood(0));
    static const std::vector<std::string> arrow = {".....1..", "111111..", "1111111.", "111111..", ".....1.."};
    Stamp(v, 3, 3, arrow, "1", {R.wood(1)});
}

// The start marker for the hidden layer `game`: a green arrow pointing down
// at the ground the player starts on.
void PaintStartMarker(const View& v) {
    static const std::vector<std::string> arrow = {"....1111....", "....1221....", "....1221....", "....1221....",
                                                   "....1221....", "111112211111", ".1222222221.", "..12222221..",
                                                   "...122221...", "....1221....", ".....11....."};
    Stamp(v, 2, 3, arrow, "12", {R.ink(0), R.grass(8)});
}

void PaintFence(const View& v, bool left, bool right) {
    for (int x = 0; x < kTile; x++) {
        if ((x == 0 && left) || (x == 15 && right)) continue;
        for (int y : {6, 11}) {
            v.Put(x, y, R.wood(7));
            v.Put(x, y + 1, R.wood(4));
            v.Put(x, y + 2, R.wood(1));
        }
    }
    const int posts = left ? 2 : right ? 11 : 7;
    for (int y = 3; y < 16; y++) {
        v.Put(posts - 1, y, R.wood(0));
        v.Put(posts, y, R.wood(y == 3 ? 8 : 6));
        v.Put(posts + 1, y, R.wood(y == 3 ? 6 : 4));
        v.Put(posts + 2, y, R.wood(0));
    }
    v.Put(posts, 2, R.wood(0)), v.Put(posts + 1, 2, R.wood(0));
    if (left) {
        for (int x = 0; x < posts - 1; x++)
            for (int y = 6; y < 14; y++) v.Put(x, y, 0);
    }
    if (right) {
        for (int x = posts + 3; x < kTile; x++)
            for (int y = 6; y < 14; y++) v.Put(x, y, 0);
    }
}

// A fair-weather cloud, lit from above with a shaded belly: 3 x 2 tiles,
// or 2 x 1 for the small one.
void PaintCloud(const View& v, bool small) {
    const std::vector<Blob> lumps =
        small ? std::vector<Blob>{{8, 10, 4.5}, {15, 7, 6}, {23, 9, 5}, {27, 11, 3.5}}
              : std::vector<Blob>{{10, 20, 7}, {20, 14, 9}, {31, 15, 8}, {39, 21, 6}, {26, 22, 6}, {15, 23, 5}};
    const int bottom = small ? 14 : 27;
    for (int y = 0; y <= bottom; y++) {
        for (int x = 0; x < v.w; x++) {
            double best = 1e9;
            for (const Blob& b : lumps) best = std::min(best, std::hypot(x + 0.5 - b.x, y + 0.5 - b.y) - b.r);
            if (best > 0) continue;
            int shade = 4;
            const double under = (y - (bottom - (small ? 4 : 7))) / (small ? 4.0 : 7.0);
            if (under > Bayer(x, y)) shade = 2;
            if (y >= bottom - 1) shade = 1;
            if (best > -1.5 && y < bottom - (small ? 3 : 6)) shade = 5;
            v.Put(x, y, R.cloud(shade));
        }
    }
    Outline(v, R.cloud(0));
}

// Far hills in muted greens: rounded crowns and 45-degree flanks, a lit
// rim on the left, a shaded one on the right, and rows of far bushes.
void PaintHill(const View& v, int part) {
    for (int y = 0; y < kTile; y++) {
        for (int x = 0; x < kTile; x++) {
            const double cx = x + 0.5, cy = y + 0.5;
            double edge = 99;  // distance below the hill's outline, < 0 outside
            switch (part) {
                case 0:
                    edge = cy - (16 - cx);
                    break;  // rising flank
                case 4:
                    edge = cy - cx;
                    break;  // falling flank
                case 1:
                    edge = std::hypot(cx - 16, cy - 16) > 15 ? -1 : 15 - std::hypot(cx - 16, cy - 16);
                    break;
                case 3:
                    edge = std::hypot(cx, cy - 16) > 15 ? -1 : 15 - std::hypot(cx, cy - 16);
                    break;
                case 2:
                    edge = cy - 1;
                    break;
                default:
                    break;
            }
            if (edge < 0) continue;
            const bool leftSide = part == 0 || part == 1, rightSide = part == 4 || part == 3;
            int shade = 3;
            // Far bushes: rows of rounded dark dots, staggered.
            const int bx = (x + ((y / 4) % 2) * 4) % 8, by = y % 4;
            if (by >= 1 && by <= 2 && bx >= 2 && bx <= 4 && !(by == 1 && (bx == 2 || bx == 4))) shade = 2;
            if (by == 1 && bx == 3) shade = 4;
            if (part == 6 && Noise(x / 2, y / 2, 80) < 0.2) shade = 2;
            if (edge < 1.1)
                shade = 1;
            else if (edge < 3.1)
                shade = rightSide ? 2 : leftSide ? 5 : (edge < 2.1 ? 5 : 4);
            v.Put(x, y, R.hill(shade));
        }
    }
}

}  // namespace

Canvas PaintTiles(std::vector<TileInfo>& info) {
    using namespace tile;
    Canvas c(kColumns * kTile, kRows * kTile);
    info.clear();
    auto set = [&](int id) -> TileInfo& {
        for (TileInfo& t : info) {
            if (t.id == id) return t;
        }
        info.push_back(TileInfo{id, "", 0, {}, {}, 0});
        return info.back();
    };
    auto solid = [&](int id, int x, int y, int w, int h) { set(id).solid = {x, y, w, h}; };

    // Ground.
    PaintGround(TileView(c, kGrassL), 0, true, true, false);
    PaintGround(TileView(c, kGrass), 0, true, false, false);
    PaintGround(TileView(c, kGrass2), 1, true, false, false);
    PaintGround(TileView(c, kGrassR), 1, true, false, true);
    PaintGround(TileView(c, kGrassOne), 0, true, true, true);
    PaintGround(TileView(c, kWallL), 0, false, true, false);
    PaintGround(TileView(c, kFill), 0, false, false, false);
    PaintGround(TileView(c, kFill2), 1, false, false, false);
    PaintGround(TileView(c, kWallR), 1, false, false, true);
    PaintGround(TileView(c, kColumn), 1, false, true, true);
    PaintCorner(TileView(c, kCornerL), true, false);
    PaintCorner(TileView(c, kCornerR), false, true);
    PaintGround(TileView(c, kFill3), 2, false, false, false);
    PaintGround(TileView(c, kFill4), 3, false, false, false);
    PaintCorner(TileView(c, kColumnFoot), true, true);
    PaintRock(TileView(c, kRock), 0, false, false, false);
    PaintRock(TileView(c, kRock2), 1, false, false, false);
    PaintRock(TileView(c, kRockTop), 0, true, false, false);
    PaintRock(TileView(c, kRockWallL), 1, false, true, false);
    PaintRock(TileView(c, kRockWallR), 0, false, false, true);
    PaintRock(TileView(c, kRockTopL), 0, true, true, false);
    PaintRock(TileView(c, kRockTopR), 1, true, false, true);
    for (int id : {kGrassL, kGrass,   kGrass2,    kGrassR,    kGrassOne, kWallL,   kFill,       kFill2,
                   kWallR,  kColumn,  kCornerL,   kCornerR,   kFill3,    kFill4,   kColumnFoot, kRock,
                   kRock2,  kRockTop, kRockWallL, kRockWallR, kRockTopL, kRockTopR}) {
        solid(id, 0, 0, 16, 16);
    }

    // Blocks, platforms, slabs.
    PaintStone(TileView(c, kStone));
    PaintBrick(TileView(c, kBrick), false);
    PaintBrick(TileView(c, kBrickTop), true);
    PaintCrate(TileView(c, kCrate));
    for (int id : {kStone, kBrick, kBrickTop, kCrate}) solid(id, 0, 0, 16, 16);
    const bool ends[4][2] = {{true, false}, {false, false}, {false, true}, {true, true}};
    for (int i = 0; i < 4; i++) {
        PaintWood(TileView(c, kWoodL + i), ends[i][0], ends[i][1]);
        PaintLedge(TileView(c, kLedgeL + i), ends[i][0], ends[i][1]);
        PaintSlab(TileView(c, kSlabL + i), ends[i][0], ends[i][1]);
        solid(kWoodL + i, 0, 0, 16, 8);
        solid(kLedgeL + i, 0, 0, 16, 8);
        solid(kSlabL + i, 0, 8, 16, 8);
    }

    // Water: both animations run 4 frames of 150 ms.
    for (int t = 0; t < 4; t++) {
        PaintSurface(TileView(c, kSurface + t), t);
        PaintDeep(TileView(c, kDeep + t), t);
    }
    for (int first : {kSurface, kDeep}) {
        TileInfo& w = set(first);
        w.kind = "water";
        w.user1 = kKindWater;
        w.frames = {first, first + 1, first + 2, first + 3};
        w.duration = 150;
    }

    // Coin: 8 frames of 100 ms.
    for (int k = 0; k < 8; k++) PaintCoin(TileView(c, kCoin + k), k);
    {
        TileInfo& t = set(kCoin);
        t.kind = "coin";
        t.user1 = kKindCoin;
        for (int k = 0; k < 8; k++) t.frames.push_back(kCoin + k);
        t.duration = 100;
    }

    // Checkpoint: furled, or flying (4 frames of 150 ms); one pole under both.
    PaintCheckpointTop(TileView(c, kFlagOff), -1);
    for (int t = 0; t < 4; t++) PaintCheckpointTop(TileView(c, kFlagOn + t), t);
    PaintCheckpointPole(TileView(c, kFlagPole));
    for (int id : {kFlagOff, kFlagPole, kFlagOn}) {
        set(id).kind = "checkpoint";
    }
    {
        TileInfo& t = set(kFlagOn);
        t.frames = {kFlagOn, kFlagOn + 1, kFlagOn + 2, kFlagOn + 3};
        t.duration = 150;
    }

    // Goal: the whole 2 x 3 block at frame 0, then the flag's other frames
    // beside it; the two top tiles animate together, 4 frames of 150 ms.
    PaintGoal(TileView(c, kGoal, 2, 3), 0, false);
    for (int t = 1; t < 4; t++) PaintGoal(TileView(c, kGoal + 2 * t, 2, 1), t, true);
    for (int half = 0; half < 2; half++) {
        TileInfo& t = set(kGoal + half);
        t.kind = "goal";
        t.frames = {kGoal + half, kGoal + 2 + half, kGoal + 4 + half, kGoal + 6 + half};
        t.duration = 150;
    }
    for (int id : {kGoal + kColumns, kGoal + 2 * kColumns}) {
        set(id).kind = "goal";
    }

    // The start marker: where the player's feet stand at the start.
    PaintStartMarker(TileView(c, kStart));
    set(kStart).kind = "start";

    // Decorations, no collision.
    PaintTuft(TileView(c, kTuft), 0);
    PaintTuft(TileView(c, kTuft2), 1);
    PaintFlower(TileView(c, kFlowerRed), 0);
    PaintFlower(TileView(c, kFlowerYellow), 1);
    PaintFlower(TileView(c, kFlowerBlue), 2);
    PaintMushroom(TileView(c, kMushroom));
    PaintBush(TileView(c, kBushL, 2, 1), true);
    PaintBush(TileView(c, kBush), false);
    PaintBoulder(TileView(c, kBoulder), false);
    PaintBoulder(TileView(c, kBoulderL, 2, 1), true);
    PaintSign(TileView(c, kSign));
    PaintFence(TileView(c, kFenceL), true, false);
    PaintFence(TileView(c, kFenceM), false, false);
    PaintFence(TileView(c, kFenceR), false, true);
    PaintTree(TileView(c, kTreeTop, 3, 5));
    PaintCloud(TileView(c, kCloud, 3, 2), false);
    PaintCloud(TileView(c, kCloudSmall, 2, 1), true);
    for (int p = 0; p < 7; p++) PaintHill(TileView(c, kHillUp + p), p);

    std::sort(info.begin(), info.end(), [](const TileInfo& a, const TileInfo& b) { return a.id < b.id; });
    return c;
}

}  // namespace art
