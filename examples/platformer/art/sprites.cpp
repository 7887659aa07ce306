// The platformer's sky tile, player sprite sheet and bitmap font.
#include <algorithm>
#include <cmath>

#include "art.h"

namespace art {

// The sky behind everything, 256 x 360: deep blue at the top fading to a
// pale haze at the horizon (ordered dithering between the shades), with a
// few far clouds that span several tiles. It repeats every 256 pixels
// across, so a cloud leaving the right edge comes back on the left.
Canvas PaintSky() {
    constexpr int w = 256, h = 360;
    Canvas c(w, h);
    for (int y = 0; y < h; y++) {
        const double t = static_cast<double>(y) / (h - 1) * (R.sky.n - 1);
        for (int x = 0; x < w; x++) {
            const int k = static_cast<int>(t) + (t - static_cast<int>(t) > Bayer(x, y) ? 1 : 0);
            c.Put(x, y, R.sky(k));
        }
    }
    // Each cloud is a row of overlapping puffs with a flat base, lit from
    // above: x, y of its base centre, width, and how tall its puffs rise.
    const int clouds[][4] = {{40, 70, 90, 22}, {150, 38, 60, 14}, {210, 120, 110, 26}, {96, 170, 70, 16}};
    for (const auto& cl : clouds) {
        const int cx = cl[0], base = cl[1], cw = cl[2], rise = cl[3];
        for (int y = base - rise - 4; y <= base; y++) {
            for (int x = cx - cw / 2 - 4; x <= cx + cw / 2 + 4; x++) {
                // The puffs: the height of the cloud above its base here.
                const double u = static_cast<double>(x - cx) / (cw / 2.0);
                if (u <= -1 || u >= 1) continue;
                const double bump = 0.55 + 0.45 * std::cos(u * 7.0 + cx) * 0.5 + 0.5 * (1 - u * u);
                const double top = base - rise * std::min(1.0, bump) * std::sqrt(1 - u * u);
                if (y < top) continue;
                const double shade = 1.0 - (y - top) / (base - top + 1.0);  // 1 at the lit top
                const int k = static_cast<int>(shade * 3.0 + 1.6 + Bayer(x, y) - 0.5);
                c.Put((x % w + w) % w, y, R.cloud(std::clamp(k, 1, 3)));
            }
        }
    }
    return c;
}

// --- The player --------------------------------------------------------------------

// A kid in a blue jacket and a yellow scarf, facing right, 16 x 24 a frame:
// idle (2), walk (6), jump, fall. The frames are put together from a head,
// a torso, an arm and a pair of legs, so the parts stay the same from frame
// to frame. Keys: o outline; h H i hair; s S k skin; e eye; R cheek and
// shoe; y Y g scarf; b B c jacket; l belt; p P trousers (far, near leg); r
// shoe shadow.
namespace {

const std::string kKeys = "ohHisSkeRyYgbBclpPr";

std::vector<uint8_t> PlayerColours() {
    return {R.ink(0),  R.hair(1), R.hair(2),  R.hair(4),  R.skin(2), R.skin(3), R.skin(4),
            R.ink(0),  R.red(3),  R.gold(4),  R.gold(6),  R.gold(2), R.blue(1), R.blue(3),
            R.blue(5), R.bark(1), R.stone(2), R.stone(4), R.red(1)};
}

// clang-format off
const std::vector<std::string> kHead = {
    "......o.oo......",
    "....ooHoHHoo....",
    "...oHHHHHiiHo...",
    "..ohHHHHHHiiHo..",
    "..ohHHHHHHHHHHo.",
    "..ohHHHHHHHHHHHo",
    "..ohHHHhSHHSHHo.",
    "..ohhHhSSSSSeSo.",
    "..ohhhsSSSSSeSSo",
    "..ohhhsSSSSRSSo.",
    "...ohhssSSSSSo..",
    "....oossssso....",
};

const std::vector<std::string> kTorso = {
    "....ogyyYYYyo...",
    "....obBBBBcBo...",
    "....obBBBBcBo...",
    "....obBBBBcBo...",
    "....ollllllo....",
};
// clang-format on

// The scarf's loose end behind the neck: hanging, or flying back.
const std::vector<std::string> kScarfHang = {"...ogo", "...oyo", "...oyo", "....o."};
const std::vector<std::string> kScarfFly = {".ooogo", "oyYyyo", ".ooyo.", "...o.."};

// The near arm, from the shoulder (row 13): hanging, forward, back, raised.
const std::vector<std::string> kArmDown = {"......obBo", "......obBo", "......obBo", "......oSko", ".......oo."};
const std::vector<std::string> kArmFore = {".......obBo.", "........obBo", "........oBBo", ".........oSko",
                                           "..........oo"};
const std::vector<std::string> kArmBack = {".....obBo", "....obBo.", "...obBo..", "..oSko...", "...oo...."};
const std::vector<std::string> kArmUp = {"........oSko", ".......obBko", "......obBo..", "......obo..."};

// Legs from the hips (row 17) to the soles (row 23), the far leg darker.
// The second half of the walk swaps the near and far leg.
// clang-format off
const std::vector<std::string> kLegs[] = {
    {".....oPPPPPo....",  // standing
     ".....oPPoPPo....",
     ".....oPPoPPo....",
     ".....oPPoPPo....",
     ".....opPoPPo....",
     "....orRRoRRRo...",
     "....ooooooooo..."},
    {".....oPPPPPo....",  // walk: stride
     "....oppooPPPo...",
     "...oppo..oPPPo..",
     "..oppo....oPPo..",
     ".orro......oPPo.",
     ".orRo.....orRRRo",
     "..oo......ooooo."},
    {".....oPPPPPo....",  // walk: down
     "....oppooPPo....",
     "....oppo.oPPo...",
     "...oppo..oPPo...",
     "..orro...oPPo...",
     ".orrRo...orRRRo.",
     ".oooo....ooooo.."},
    {".....oPPPPPo....",  // walk: passing, the far foot lifted
     ".....oPPpPo.....",
     ".....oPPopPo....",
     ".....oPPorrRo...",
     ".....oPPoooo....",
     ".....orRRRo.....",
     ".....ooooo......"},
    {".....oPPPPPo....",  // jump: knees up
     "....oppooPPPo...",
     "...oppo..oPRRo..",
     "..orro...oRRo...",
     "..orRo....oo....",
     "...oo...........",
     "................"},
    {".....oPPPPPo....",  // fall: legs loose
     ".....oppoPPo....",
     "....oppo.oPPo...",
     "....oppo.oPPo...",
     "...orro...orRRo.",
     "...orRo...oooo..",
     "....oo.........."},
};
// clang-format on

struct Pose {
    int legs, dy;  // legs drawing; torso and head lowered by dy
    bool swap;     // near and far leg swapped
    const std::vector<std::string>* arm;
    bool flying;  // scarf flies back
};

void PaintPlayer(const View& v, const Pose& p) {
    const std::vector<uint8_t> col = PlayerColours();
    std::vector<std::string> legs = kLegs[p.legs];
    if (p.swap) {
        for (std::string& row : legs) {
            for (char& ch : row) ch = ch == 'P' ? 'p' : ch == 'p' ? 'P' : ch;
        }
    }
    Stamp(v, 0, 17, legs, kKeys, col);
    Stamp(v, 0, 12 + p.dy, p.flying ? kScarfFly : kScarfHang, kKeys, col);
    Stamp(v, 0, 12 + p.dy, kTorso, kKeys, col);
    Stamp(v, 0, p.dy, kHead, kKeys, col);
    Stamp(v, 0, 13 + p.dy, *p.arm, kKeys, col);
}

}  // namespace

Canvas PaintSprites() {
    const Pose poses[] = {
        {0, 0, false, &kArmDown, false},  // idle
        {0, 1, false, &kArmDown, false},  // idle, breathing out
        {1, 0, false, &kArmBack, true},   // walk
        {2, 1, false, &kArmDown, true},  {3, 0, false, &kArmFore, true}, {1, 0, true, &kArmFore, true},
        {2, 1, true, &kArmDown, true},   {3, 0, true, &kArmBack, true},  {4, 0, false, &kArmUp, true},  // jump
        {5, 0, false, &kArmUp, false},                                                                  // fall
    };
    Canvas c(16 * int(std::size(poses)), 24);
    for (size_t i = 0; i < std::size(poses); i++) PaintPlayer(View{&c, int(i) * 16, 0, 16, 24}, poses[i]);
    return c;
}
// --- The enemies -------------------------------------------------------------------

// Two enemies, 16 x 16 a frame, facing right: a beetle that walks (frames 0
// and 1, its legs in step) and a bee that flies (frames 2 and 3, wings up
// and down). Keys: o outline; R r shell and its shine; k dark; W white; e
// eye; Y stripes; w wing rim.
namespace {

const std::string kFoeKeys = "oRrkWeYw";

std::vector<uint8_t> FoeColours() {
    return {R.ink(0), R.red(2), R.red(4), R.ink(1), R.white(0), R.ink(0), R.gold(3), R.stone(4)};
}

// clang-format off
const std::vector<std::string> kBeetle = {
    ".....oooooo.....",
    "...ooRRRRrRoo...",
    "..oRRRRRRRRrRo..",
    ".oRRrRRRRRRRRoo.",
    ".oRRRRRRRRRRokWo",
    ".oRrRRRRRRRRokeo",
    ".oRRRRRRRRRRokko",
    "..ooooooooooooo.",
};
const std::vector<std::string> kBeetleLegs[] = {
    {"..oko.oko.oko...", ".oko.oko.oko....", ".oo..oo..oo....."},
    {"...oko.oko.oko..", "...oko.oko.oko..", "...oo..oo..oo..."},
};
const std::vector<std::string> kBee = {
    "...ooooooooooo..",
    "..oYYkYYkYYoWWo.",
    ".okYYkYYkYYoWeo.",
    "..oYYkYYkYYoWWo.",
    "...ooooooooooo..",
};
const std::vector<std::string> kWings[] = {
    {".....ww.ww.....", "....wWWwWWw.....", "....wWWwWWw.....", ".....wwoww......"},
    {".....wwoww......", "....wWWwWWw.....", "....wWWwWWw.....", ".....ww.ww......"},
};
// clang-format on

}  // namespace

Canvas PaintEnemies() {
    Canvas c(64, 16);
    const std::vector<uint8_t> col = FoeColours();
    for (int f = 0; f < 2; f++) {
        const View v{&c, f * 16, 0, 16, 16};
        Stamp(v, 0, 5, kBeetle, kFoeKeys, col);
        Stamp(v, 0, 13, kBeetleLegs[f], kFoeKeys, col);
    }
    for (int f = 0; f < 2; f++) {
        const View v{&c, 32 + f * 16, 0, 16, 16};
        if (f == 0) Stamp(v, 0, 1, kWings[0], kFoeKeys, col);
        Stamp(v, 0, 5, kBee, kFoeKeys, col);
        if (f == 1) Stamp(v, 0, 9, kWings[1], kFoeKeys, col);
    }
    return c;
}

// --- The font ----------------------------------------------------------------------

namespace {

// ASCII 32 to 127, 5 x 8 each ('#' set): rows 0 to 6 above the baseline,
// row 7 for descenders. 127 is a heart, for lives.
const char* const kGlyphs[96][8] = {
    {".....", ".....", ".....", ".....", ".....", ".....", ".....", "....."},  // space
    {"..#..", "..#..", "..#..", "..#..", "..#..", ".....", "..#..", "....."},  // !
    {".#.#.", ".#.#.", ".....", ".....", ".....", ".....", ".....", "....."},  // "
    {".....", ".#.#.", "#####", ".#.#.", "#####", ".#.#.", ".....", "....."},  // #
    {"..#..", ".####", "#.#..", ".###.", "..#.#", "####.", "..#..", "....."},  // $
    {"##...", "##..#", "...#.", "..#..", ".#...", "#..##", "...##", "....."},  // %
    {".##..", "#..#.", "#.#..", ".#...", "#.#.#", "#..#.", ".##.#", "....."},  // &
    {"..#..", "..#..", ".#...", ".....", ".....", ".....", ".....", "....."},  // '
    {"...#.", "..#..", ".#...", ".#...", ".#...", "..#..", "...#.", "....."},  // (
    {".#...", "..#..", "...#.", "...#.", "...#.", "..#..", ".#...", "....."},  // )
    {".....", "..#..", "#.#.#", ".###.", "#.#.#", "..#..", ".....", "....."},  // *
    {".....", "..#..", "..#..", "#####", "..#..", "..#..", ".....", "....."},  // +
    {".....", ".....", ".....", ".....", ".....", ".##..", "..#..", ".#..."},  // ,
    {".....", ".....", ".....", "#####", ".....", ".....", ".....", "....."},  // -
    {".....", ".....", ".....", ".....", ".....", ".##..", ".##..", "....."},  // .
    {"....#", "...#.", "...#.", "..#..", ".#...", ".#...", "#....", "....."},  // /
    {".###.", "#...#", "#..##", "#.#.#", "##..#", "#...#", ".###.", "....."},  // 0
    {"..#..", ".##..", "..#..", "..#..", "..#..", "..#..", ".###.", "....."},  // 1
    {".###.", "#...#", "....#", "...#.", "..#..", ".#...", "#####", "....."},  // 2
    {"#####", "...#.", "..#..", "...#.", "....#", "#...#", ".###.", "....."},  // 3
    {"...#.", "..##.", ".#.#.", "#..#.", "#####", "...#.", "...#.", "....."},  // 4
    {"#####", "#....", "####.", "....#", "....#", "#...#", ".###.", "....."},  // 5
    {"..##.", ".#...", "#....", "####.", "#...#", "#...#", ".###.", "....."},  // 6
    {"#####", "....#", "...#.", "..#..", ".#...", ".#...", ".#...", "....."},  // 7
    {".###.", "#...#", "#...#", ".###.", "#...#", "#...#", ".###.", "....."},  // 8
    {".###.", "#...#", "#...#", ".####", "....#", "...#.", ".##..", "....."},  // 9
    {".....", ".##..", ".##..", ".....", ".##..", ".##..", ".....", "....."},  // :
    {".....", ".##..", ".##..", ".....", ".##..", "..#..", ".#...", "....."},  // ;
    {"...#.", "..#..", ".#...", "#....", ".#...", "..#..", "...#.", "....."},  // <
    {".....", ".....", "#####", ".....", "#####", ".....", ".....", "....."},  // =
    {".#...", "..#..", "...#.", "....#", "...#.", "..#..", ".#...", "....."},  // >
    {".###.", "#...#", "....#", "...#.", "..#..", ".....", "..#..", "....."},  // ?
    {".###.", "#...#", "#.###", "#.#.#", "#.###", "#....", ".###.", "....."},  // @
    {".###.", "#...#", "#...#", "#####", "#...#", "#...#", "#...#", "....."},  // A
    {"####.", "#...#", "#...#", "####.", "#...#", "#...#", "####.", "....."},  // B
    {".###.", "#...#", "#....", "#....", "#....", "#...#", ".###.", "....."},  // C
    {"###..", "#..#.", "#...#", "#...#", "#...#", "#..#.", "###..", "....."},  // D
    {"#####", "#....", "#....", "####.", "#....", "#....", "#####", "....."},  // E
    {"#####", "#....", "#....", "####.", "#....", "#....", "#....", "....."},  // F
    {".###.", "#...#", "#....", "#.###", "#...#", "#...#", ".####", "....."},  // G
    {"#...#", "#...#", "#...#", "#####", "#...#", "#...#", "#...#", "....."},  // H
    {".###.", "..#..", "..#..", "..#..", "..#..", "..#..", ".###.", "....."},  // I
    {"..###", "...#.", "...#.", "...#.", "...#.", "#..#.", ".##..", "....."},  // J
    {"#...#", "#..#.", "#.#..", "##...", "#.#..", "#..#.", "#...#", "....."},  // K
    {"#....", "#....", "#....", "#....", "#....", "#....", "#####", "....."},  // L
    {"#...#", "##.##", "#.#.#", "#.#.#", "#...#", "#...#", "#...#", "....."},  // M
    {"#...#", "#...#", "##..#", "#.#.#", "#..##", "#...#", "#...#", "....."},  // N
    {".###.", "#...#", "#...#", "#...#", "#...#", "#...#", ".###.", "....."},  // O
    {"####.", "#...#", "#...#", "####.", "#....", "#....", "#....", "....."},  // P
    {".###.", "#...#", "#...#", "#...#", "#.#.#", "#..#.", ".##.#", "....."},  // Q
    {"####.", "#...#", "#...#", "####.", "#.#..", "#..#.", "#...#", "....."},  // R
    {".####", "#....", "#....", ".###.", "....#", "....#", "####.", "....."},  // S
    {"#####", "..#..", "..#..", "..#..", "..#..", "..#..", "..#..", "....."},  // T
    {"#...#", "#...#", "#...#", "#...#", "#...#", "#...#", ".###.", "....."},  // U
    {"#...#", "#...#", "#...#", "#...#", "#...#", ".#.#.", "..#..", "....."},  // V
    {"#...#", "#...#", "#...#", "#.#.#", "#.#.#", "#.#.#", ".#.#.", "....."},  // W
    {"#...#", "#...#", ".#.#.", "..#..", ".#.#.", "#...#", "#...#", "....."},  // X
    {"#...#", "#...#", ".#.#.", "..#..", "..#..", "..#..", "..#..", "....."},  // Y
    {"#####", "....#", "...#.", "..#..", ".#...", "#....", "#####", "....."},  // Z
    {".###.", ".#...", ".#...", ".#...", ".#...", ".#...", ".###.", "....."},  // [
    {"#....", ".#...", ".#...", "..#..", "...#.", "...#.", "....#", "....."},  // backslash
    {".###.", "...#.", "...#.", "...#.", "...#.", "...#.", ".###.", "....."},  // ]
    {"..#..", ".#.#.", "#...#", ".....", ".....", ".....", ".....", "....."},  // ^
    {".....", ".....", ".....", ".....", ".....", ".....", "#####", "....."},  // _
    {".#...", "..#..", ".....", ".....", ".....", ".....", ".....", "....."},  // `
    {".....", ".....", ".###.", "....#", ".####", "#...#", ".####", "....."},  // a
    {"#....", "#....", "#.##.", "##..#", "#...#", "#...#", "####.", "....."},  // b
    {".....", ".....", ".###.", "#....", "#....", "#...#", ".###.", "....."},  // c
    {"....#", "....#", ".##.#", "#..##", "#...#", "#...#", ".####", "....."},  // d
    {".....", ".....", ".###.", "#...#", "#####", "#....", ".###.", "....."},  // e
    {"..##.", ".#..#", ".#...", "###..", ".#...", ".#...", ".#...", "....."},  // f
    {".....", ".....", ".####", "#...#", "#...#", ".####", "....#", ".###."},  // g
    {"#....", "#....", "#.##.", "##..#", "#...#", "#...#", "#...#", "....."},  // h
    {"..#..", ".....", ".##..", "..#..", "..#..", "..#..", ".###.", "....."},  // i
    {"...#.", ".....", "..##.", "...#.", "...#.", "...#.", "#..#.", ".##.."},  // j
    {"#....", "#....", "#..#.", "#.#..", "##...", "#.#..", "#..#.", "....."},  // k
    {".##..", "..#..", "..#..", "..#..", "..#..", "..#..", ".###.", "....."},  // l
    {".....", ".....", "##.#.", "#.#.#", "#.#.#", "#.#.#", "#.#.#", "....."},  // m
    {".....", ".....", "#.##.", "##..#", "#...#", "#...#", "#...#", "....."},  // n
    {".....", ".....", ".###.", "#...#", "#...#", "#...#", ".###.", "....."},  // o
    {".....", ".....", "####.", "#...#", "#...#", "####.", "#....", "#...."},  // p
    {".....", ".....", ".####", "#...#", "#...#", ".####", "....#", "....#"},  // q
    {".....", ".....", "#.##.", "##..#", "#....", "#....", "#....", "....."},  // r
    {".....", ".....", ".####", "#....", ".###.", "....#", "####.", "....."},  // s
    {".#...", ".#...", "###..", ".#...", ".#...", ".#..#", "..##.", "....."},  // t
    {".....", ".....", "#...#", "#...#", "#...#", "#..##", ".##.#", "....."},  // u
    {".....", ".....", "#...#", "#...#", "#...#", ".#.#.", "..#..", "....."},  // v
    {".....", ".....", "#...#", "#...#", "#.#.#", "#.#.#", ".#.#.", "....."},  // w
    {".....", ".....", "#...#", ".#.#.", "..#..", ".#.#.", "#...#", "....."},  // x
    {".....", ".....", "#...#", "#...#", "#...#", ".####", "....#", ".###."},  // y
    {".....", ".....", "#####", "...#.", "..#..", ".#...", "#####", "....."},  // z
    {"...##", "..#..", "..#..", "##...", "..#..", "..#..", "...##", "....."},  // {
    {"..#..", "..#..", "..#..", "..#..", "..#..", "..#..", "..#..", "....."},  // |
    {"##...", "..#..", "..#..", "...##", "..#..", "..#..", "##...", "....."},  // }
    {".....", ".#...", "#.#.#", "...#.", ".....", ".....", ".....", "....."},  // ~
    {".....", ".#.#.", "#####", "#####", ".###.", "..#..", ".....", "....."},  // heart
};

}  // namespace

// 16 glyphs a row, 6 rows, each 8 x 8 with the glyph at x 1..5, in white
// on index 0; a game recolours it through its palette or a remap.
Canvas PaintFont() {
    Canvas c(128, 48);
    for (int g = 0; g < 96; g++) {
        for (int y = 0; y < 8; y++) {
            for (int x = 0; x < 5; x++) {
                if (kGlyphs[g][y][x] == '#') c.Put((g % 16) * 8 + 1 + x, (g / 16) * 8 + y, R.white(0));
            }
        }
    }
    return c;
}

}  // namespace art
