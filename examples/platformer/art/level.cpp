// The platformer's level: a ground profile and a list of placed things,
// turned into the back, ground and front tile layers and written as a map
// with an external tileset.
#include "level.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace art {

namespace {

using namespace tile;

constexpr int kW = 200, kH = 30;
constexpr int kNone = 99;  // no ground in a column: water or open sky

struct Level {
    int ground[kW];                       // row of the grass top of each column, kNone for none
    std::vector<int> back, solid, front;  // tile ids + 1, 0 for empty
    std::vector<int> game;                // the hidden layer: start marker, lit checkpoint flags
    int coins = 0;
    std::vector<bool> blank;  // per tile id: every pixel see-through
    Level() : back(kW * kH, 0), solid(kW * kH, 0), front(kW * kH, 0), game(kW * kH, 0) {
        std::fill(std::begin(ground), std::end(ground), kNone);
    }
    static int& Cell(std::vector<int>& layer, int x, int y) {
        if (x < 0 || y < 0 || x >= kW || y >= kH) throw std::runtime_error("level: cell outside the map");
        return layer[size_t(y) * kW + x];
    }
    void Put(std::vector<int>& layer, int x, int y, int id) { Cell(layer, x, y) = id + 1; }
    // A block of w x h tiles of the sheet starting at `id`, its top-left at
    // (x, y); blank tiles of the block are left out. Refuses to cover a cell
    // already used.
    void Block(std::vector<int>& layer, int x, int y, int id, int w, int h) {
        for (int j = 0; j < h; j++) {
            for (int i = 0; i < w; i++) {
                const int t = id + j * kColumns + i;
                if (blank[t]) continue;
                if (Cell(layer, x + i, y + j)) throw std::runtime_error("level: two things in one cell");
                Put(layer, x + i, y + j, t);
            }
        }
    }
    bool Free(int x, int y) const { return back[size_t(y) * kW + x] == 0; }
};

// Ground from column x0 to x1 (exclusive) with its grass at `row`.
void Ground(Level& l, int x0, int x1, int row) {
    for (int x = x0; x < x1; x++) l.ground[x] = row;
}

// Below kRockRow the dirt gives way to rock, with a ragged seam in that row.
constexpr int kRockRow = 27;

int RockBelow(int id, int x, int y) {
    if (y < kRockRow) return id;
    const bool seam = y == kRockRow;
    if (id == kWallL) return seam ? kRockTopL : kRockWallL;
    if (id == kWallR) return seam ? kRockTopR : kRockWallR;
    if (id == kFill || id == kFill2 || id == kFill3 || id == kFill4)
        return seam ? kRockTop : Hash(x, y, 11) % 3 ? kRock : kRock2;
    throw std::runtime_error("level: no rock form of tile " + std::to_string(id) + " at row " + std::to_string(y));
}

// Turns the ground profile into tiles: grass tops with rounded ends, walls
// where a neighbour is lower, corners where the lower grass meets a wall.
void BuildTerrain(Level& l) {
    auto at = [&](int x) { return x < 0 || x >= kW ? -1 : l.ground[x]; };  // the map's sides count as high
    for (int x = 0; x < kW; x++) {
        const int top = l.ground[x];
        if (top == kNone) continue;
        const int gl = at(x - 1), gr = at(x + 1);
        const bool openL = gl > top, openR = gr > top;
        const int grass = Hash(x, top, 5) % 3 == 0 ? kGrass2 : kGrass;
        l.Put(l.solid, x, top, openL && openR ? kGrassOne : openL ? kGrassL : openR ? kGrassR : grass);
        for (int y = top + 1; y < kH; y++) {
            const bool wallL = gl > y, wallR = gr > y, cornerL = gl == y, cornerR = gr == y;
            int id;
            if ((wallL || cornerL) && (wallR || cornerR))
                id = cornerL && cornerR ? kColumnFoot : kColumn;
            else if (wallL)
                id = kWallL;
            else if (wallR)
                id = kWallR;
            else if (cornerL)
                id = kCornerL;
            else if (cornerR)
                id = kCornerR;
            else {
                const uint32_t h = Hash(x, y, 9) % 16;
                id = h == 0 ? kFill3 : h == 1 ? kFill4 : h < 8 ? kFill2 : kFill;
            }
            l.Put(l.solid, x, y, RockBelow(id, x, y));
        }
    }
}

// Water from x0 to x1 with its surface at `row`.
void Water(Level& l, int x0, int x1, int row) {
    for (int x = x0; x < x1; x++) {
        l.Put(l.solid, x, row, kSurface);
        for (int y = row + 1; y < kH; y++) l.Put(l.solid, x, y, kDeep);
    }
}

// A floating platform of wood or stone, one row, x0 to x1 exclusive.
void Platform(Level& l, int x0, int x1, int row, bool stone) {
    const int base = stone ? kLedgeL : kWoodL;
    if (x1 - x0 == 1) {
        l.Put(l.solid, x0, row, base + 3);
        return;
    }
    for (int x = x0; x < x1; x++) l.Put(l.solid, x, row, x == x0 ? base : x == x1 - 1 ? base + 2 : base + 1);
}

void Coin(Level& l, int x, int y) {
    if (l.Cell(l.front, x, y)) throw std::runtime_error("level: two things in one front cell");
    l.Put(l.front, x, y, kCoin);
    l.coins++;
}

// An arc of coins over a jump from column x0 to x1 whose take-off row is `row`.
void CoinArc(Level& l, int x0, int x1, int row) {
    const int n = x1 - x0 + 1;
    for (int i = 0; i < n; i++) {
        const double f = n > 1 ? double(i) / (n - 1) : 0.5;
        const int lift = int(std::lround(4 * f * (1 - f) * 2.6));
        Coin(l, x0 + i, row - 1 - lift);
    }
}

// A far hill centred on column c with its crown at row `peak`, down to the
// ground. The back layer holds one tile a cell, so a hill must keep clear of
// the trees and bushes standing there.
void Hill(Level& l, int c, int peak, int halfTop) {
    for (int pass = 0; pass < 2; pass++) {
        for (int y = peak; y < kH; y++) {
            const int k = y - peak;
            for (int x = c - halfTop - k - 1; x <= c + halfTop + k + 1; x++) {
                if (x < 0 || x >= kW || y >= l.ground[x]) continue;
                if (pass == 0 && !l.Free(x, y)) {
                    throw std::runtime_error("level: the hill at column " + std::to_string(c) + " meets column " +
                                             std::to_string(x) + " row " + std::to_string(y));
                }
                if (pass == 0) continue;
                int id;
                if (k == 0)
                    id = x == c - halfTop - 1 ? kHillTopL : x == c + halfTop + 1 ? kHillTopR : kHillTop;
                else if (x == c - halfTop - k - 1)
                    id = kHillUp;
                else if (x == c + halfTop + k + 1)
                    id = kHillDown;
                else
                    id = Hash(x, y, 3) % 4 == 0 ? kHillFill2 : kHillFill;
                l.Put(l.back, x, y, id);
            }
        }
    }
}

// Something standing on the ground of column x (its bottom row just above
// the grass), in the given layer.
void OnGround(Level& l, std::vector<int>& layer, int x, int id, int w = 1, int h = 1) {
    const int top = l.ground[x];
    if (top == kNone) throw std::runtime_error("level: decoration over no ground");
    l.Block(layer, x, top - h, id, w, h);
}

struct Layout {
    int startX, startY;  // the player's feet, map pixels
    int checkpointX, checkpointRow;
    int goalX, goalRow;
    std::vector<std::pair<int, int>> walkers;  // column and ground row of each
    struct Flight {
        int x, y;                                 // where the path starts, map pixels
        std::vector<std::pair<int, int>> points;  // from there
    };
    std::vector<Flight> flyers;
};

Layout Build(Level& l) {
    Layout out{};
    // A: the start, a meadow closed by a cliff on the left.
    Ground(l, 0, 2, 18);
    Ground(l, 2, 18, 24);
    Ground(l, 18, 24, 22);
    // B: easy jumps: a dip, a plateau, a pit with a floor, two crates.
    Ground(l, 24, 27, 25);
    Ground(l, 27, 34, 22);
    Ground(l, 34, 37, 26);
    Ground(l, 37, 48, 23);
    // C: low ground under platforms.
    Ground(l, 48, 76, 25);
    // D: the checkpoint, then the water.
    Ground(l, 76, 90, 23);
    Ground(l, 108, 116, 23);
    // E: the climb: steps, platforms, a brick tower, a high mesa.
    Ground(l, 116, 121, 21);
    Ground(l, 121, 136, 18);
    Ground(l, 136, 140, 10);  // under the brick tower
    Ground(l, 140, 151, 11);
    // F: down again to the goal, closed by a cliff on the right.
    Ground(l, 151, 155, 14);
    Ground(l, 155, 159, 17);
    Ground(l, 159, 171, 20);
    Ground(l, 171, 174, 23);
    Ground(l, 174, 186, 20);
    Ground(l, 186, 197, 19);
    Ground(l, 197, 200, 13);
    BuildTerrain(l);

    // The brick tower between the climb and the mesa, topped with moss.
    for (int x = 136; x < 140; x++) {
        for (int y = 10; y < 19; y++) l.Put(l.solid, x, y, y == 10 || x == 136 || x == 139 ? kStone : kBrick);
    }
    // Stone blocks and crates to hop over.
    l.Put(l.solid, 41, 22, kStone);
    l.Put(l.solid, 42, 22, kStone);
    l.Put(l.solid, 42, 21, kStone);
    l.Put(l.solid, 72, 24, kCrate);
    l.Put(l.solid, 73, 24, kCrate);
    l.Put(l.solid, 73, 23, kCrate);
    // Half-height slabs as a low step.
    l.Put(l.solid, 66, 24, kSlabL);
    l.Put(l.solid, 67, 24, kSlabM);
    l.Put(l.solid, 68, 24, kSlabR);
    l.Put(l.solid, 165, 19, kSlabOne);

    // Platforms over the low ground.
    Platform(l, 51, 54, 22, false);
    Platform(l, 56, 59, 19, false);
    Platform(l, 61, 64, 21, true);
    // Over the water: gaps of 3, 3, 2 and 2 tiles.
    Water(l, 90, 108, 25);
    Platform(l, 93, 96, 22, true);
    Platform(l, 99, 102, 21, false);
    Platform(l, 104, 106, 21, true);
    // The climb: platforms above the row-18 ground.
    Platform(l, 126, 129, 15, false);
    Platform(l, 131, 134, 12, true);

    // Coins: two on the first meadow within walking reach, then along the
    // way, in arcs over the jumps, on the platforms.
    Coin(l, 10, 23);
    Coin(l, 11, 23);
    for (int x = 19; x < 23; x++) Coin(l, x, 21);
    CoinArc(l, 24, 26, 22);
    CoinArc(l, 34, 36, 22);
    for (int x = 52; x < 54; x++) Coin(l, x, 21);
    for (int x = 56; x < 59; x++) Coin(l, x, 18);
    Coin(l, 62, 20);
    CoinArc(l, 90, 92, 23);
    CoinArc(l, 96, 98, 22);
    CoinArc(l, 102, 103, 21);
    Coin(l, 127, 14);
    Coin(l, 128, 14);
    Coin(l, 132, 11);
    Coin(l, 135, 9);
    for (int x = 144; x < 148; x++) Coin(l, x, 10);
    CoinArc(l, 171, 173, 20);
    for (int x = 178; x < 181; x++) Coin(l, x, 19);

    // The checkpoint before the water and the goal at the end.
    out.checkpointX = 86;
    out.checkpointRow = 21;
    OnGround(l, l.front, 86, kFlagOff, 1, 2);
    // The lit flag waits in the hidden layer, where the converter makes its
    // animation; a game copies it over the grey flag when the player arrives.
    l.Put(l.game, 86, 21, kFlagOn);
    out.goalX = 192;
    out.goalRow = 16;
    OnGround(l, l.front, 192, kGoal, 1, 3);
    l.Put(l.front, 193, 16, kGoal + 1);

    // Far hills, then what stands in front of them in the same layer.
    const int hills[][3] = {{9, 21, 0},   {39, 19, 0},  {62, 20, 1}, {82, 19, 0},
                            {129, 14, 1}, {168, 16, 0}, {189, 15, 0}};
    for (const auto& h : hills) Hill(l, h[0], h[1], h[2]);
    OnGround(l, l.back, 2, kTreeTop, 3, 5);
    OnGround(l, l.back, 13, kBushL, 2, 1);
    OnGround(l, l.back, 16, kSign);
    OnGround(l, l.back, 28, kFenceL);
    for (int x = 29; x < 32; x++) OnGround(l, l.back, x, kFenceM);
    OnGround(l, l.back, 32, kFenceR);
    OnGround(l, l.back, 44, kTreeTop, 3, 5);
    OnGround(l, l.back, 49, kBoulderL, 2, 1);
    OnGround(l, l.back, 53, kBush);
    OnGround(l, l.back, 69, kTreeTop, 3, 5);
    OnGround(l, l.back, 76, kBushL, 2, 1);
    OnGround(l, l.back, 88, kBoulder);
    OnGround(l, l.back, 110, kTreeTop, 3, 5);
    OnGround(l, l.back, 114, kSign);
    OnGround(l, l.back, 122, kBushL, 2, 1);
    OnGround(l, l.back, 141, kBoulderL, 2, 1);
    OnGround(l, l.back, 148, kTreeTop, 3, 5);
    OnGround(l, l.back, 157, kBush);
    OnGround(l, l.back, 159, kFenceL);
    for (int x = 160; x < 163; x++) OnGround(l, l.back, x, kFenceM);
    OnGround(l, l.back, 163, kFenceR);
    OnGround(l, l.back, 176, kTreeTop, 3, 5);
    OnGround(l, l.back, 182, kBushL, 2, 1);
    OnGround(l, l.back, 194, kFenceL);
    OnGround(l, l.back, 195, kFenceR);
    // Plants in front of the player.
    const std::pair<int, int> plants[] = {
        {3, kTuft},           {8, kFlowerRed},     {12, kTuft2},         {16, kFlowerYellow}, {20, kTuft},
        {29, kFlowerBlue},    {31, kTuft2},        {38, kTuft},          {39, kFlowerRed},    {46, kMushroom},
        {50, kTuft2},         {55, kFlowerYellow}, {60, kTuft},          {64, kFlowerBlue},   {71, kTuft2},
        {77, kFlowerRed},     {80, kTuft},         {84, kFlowerYellow},  {88, kTuft2},        {109, kTuft},
        {112, kFlowerBlue},   {118, kTuft2},       {125, kFlowerRed},    {130, kTuft},        {134, kMushroom},
        {143, kFlowerYellow}, {146, kTuft2},       {153, kTuft},         {157, kFlowerRed},   {162, kTuft2},
        {169, kFlowerBlue},   {175, kTuft},        {181, kFlowerYellow}, {185, kTuft2},       {187, kFlowerRed},
        {190, kTuft},         {195, kFlowerBlue},
    };
    for (auto [x, id] : plants) {
        if (l.Cell(l.front, x, l.ground[x] - 1) == 0) OnGround(l, l.front, x, id);
    }
    // Clouds where the sky is free: x, y, small.
    const int clouds[][3] = {{6, 14, 0},   {22, 9, 0},  {31, 16, 1}, {38, 13, 0},  {49, 3, 1},
                             {57, 6, 0},   {67, 14, 1}, {75, 10, 0}, {88, 4, 1},   {97, 8, 0},
                             {106, 15, 1}, {118, 4, 0}, {125, 9, 1}, {139, 2, 0},  {152, 6, 1},
                             {160, 9, 0},  {170, 3, 1}, {178, 5, 0}, {186, 11, 1}, {191, 2, 0}};
    for (const auto& c : clouds) {
        const int w = c[2] ? 2 : 3, h = c[2] ? 1 : 2;
        for (int j = 0; j < h; j++) {
            for (int i = 0; i < w; i++) {
                if (!l.Free(c[0] + i, c[1] + j) || c[1] + j >= l.ground[c[0] + i])
                    throw std::runtime_error("level: cloud in the way");
            }
        }
        l.Block(l.back, c[0], c[1], c[2] ? kCloudSmall : kCloud, w, h);
    }
    // The start: the feet at the middle of column 4, on its ground.
    out.startX = 4 * kTile + 8;
    out.startY = l.ground[4] * kTile;
    // Enemies: walkers on ground they can patrol, flyers over the water and
    // the high mesa, each on its own path.
    for (int x : {44, 58, 161, 178}) out.walkers.emplace_back(x, l.ground[x]);
    out.flyers.push_back({97 * kTile, 14 * kTile, {{0, 0}, {0, 3 * kTile}, {5 * kTile, 2 * kTile}}});
    out.flyers.push_back({142 * kTile, 6 * kTile, {{0, 0}, {4 * kTile, -2 * kTile}, {8 * kTile, 0}}});
    return out;
}

std::string Csv(const std::vector<int>& layer) {
    std::ostringstream s;
    for (int y = 0; y < kH; y++) {
        for (int x = 0; x < kW; x++) {
            s << layer[size_t(y) * kW + x];
            if (x + 1 < kW || y + 1 < kH) s << ',';
        }
        s << '\n';
    }
    return s.str();
}

bool WriteFile(const std::string& path, const std::string& text) {
    std::ofstream f(path, std::ios::binary);
    f << text;
    f.close();
    return bool(f);
}

std::string Tileset(const Canvas& sheet, const std::vector<TileInfo>& tiles) {
    std::ostringstream s;
    const int count = (sheet.w / kTile) * (sheet.h / kTile);
    s << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      << "<tileset version=\"1.8\" tiledversion=\"1.8.2\" name=\"platformer\" tilewidth=\"16\" tileheight=\"16\" "
         "tilecount=\""
      << count << "\" columns=\"" << kColumns << "\">\n"
      << " <image source=\"tiles.png\" width=\"" << sheet.w << "\" height=\"" << sheet.h << "\"/>\n";
    for (const TileInfo& t : tiles) {
        if (t.kind.empty() && t.solid.empty() && t.frames.empty()) continue;
        s << " <tile id=\"" << t.id << "\">\n";
        if (!t.kind.empty()) {
            s << "  <properties>\n   <property name=\"kind\" value=\"" << t.kind << "\"/>\n";
            if (t.user1) s << "   <property name=\"user1\" type=\"int\" value=\"" << t.user1 << "\"/>\n";
            s << "  </properties>\n";
        }
        if (!t.solid.empty()) {
            s << "  <objectgroup draworder=\"index\" id=\"2\">\n";
            for (size_t i = 0; i + 3 < t.solid.size(); i += 4) {
                s << "   <object id=\"" << i / 4 + 1 << "\" x=\"" << t.solid[i] << "\" y=\"" << t.solid[i + 1]
                  << "\" width=\"" << t.solid[i + 2] << "\" height=\"" << t.solid[i + 3] << "\"/>\n";
            }
            s << "  </objectgroup>\n";
        }
        if (!t.frames.empty()) {
            s << "  <animation>\n";
            for (int f : t.frames) s << "   <frame tileid=\"" << f << "\" duration=\"" << t.duration << "\"/>\n";
            s << "  </animation>\n";
        }
        s << " </tile>\n";
    }
    s << "</tileset>\n";
    return s.str();
}

// The level's objects: the start (a point), the checkpoint and the goal
// (rectangles over their tiles), walkers and flyers (tile objects of the
// enemies' sheet), and the flyers' paths.
std::string Objects(const Layout& out, int enemiesGid) {
    std::ostringstream s;
    int id = 4;
    s << " <objectgroup id=\"7\" name=\"objects\">\n"
      << "  <object id=\"1\" name=\"start\" type=\"start\" x=\"" << out.startX << "\" y=\"" << out.startY
      << "\">\n   <point/>\n  </object>\n"
      << "  <object id=\"2\" name=\"checkpoint\" type=\"checkpoint\" x=\"" << out.checkpointX * kTile << "\" y=\""
      << out.checkpointRow * kTile << "\" width=\"16\" height=\"32\"/>\n"
      << "  <object id=\"3\" name=\"goal\" type=\"goal\" x=\"" << out.goalX * kTile << "\" y=\"" << out.goalRow * kTile
      << "\" width=\"32\" height=\"48\"/>\n";
    for (auto [x, row] : out.walkers) {
        s << "  <object id=\"" << id++ << "\" type=\"walker\" gid=\"" << enemiesGid << "\" x=\"" << x * kTile
          << "\" y=\"" << row * kTile << "\" width=\"16\" height=\"16\"/>\n";
    }
    for (const Layout::Flight& f : out.flyers) {
        const int path = id + 1;
        s << "  <object id=\"" << id << "\" type=\"flyer\" gid=\"" << enemiesGid + 2 << "\" x=\"" << f.x - 8
          << "\" y=\"" << f.y + 8 << "\" width=\"16\" height=\"16\">\n"
          << "   <properties>\n    <property name=\"path\" type=\"object\" value=\"" << path << "\"/>\n"
          << "   </properties>\n  </object>\n"
          << "  <object id=\"" << path << "\" name=\"flight " << path << "\" x=\"" << f.x << "\" y=\"" << f.y
          << "\">\n   <polyline points=\"";
        for (size_t i = 0; i < f.points.size(); i++) {
            s << (i ? " " : "") << f.points[i].first << "," << f.points[i].second;
        }
        s << "\"/>\n  </object>\n";
        id += 2;
    }
    s << " </objectgroup>\n";
    return s.str();
}

// The enemies' tileset: their sheet, marked as sprites for the importer.
std::string EnemyTileset() {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<tileset version=\"1.8\" tiledversion=\"1.8.2\" name=\"enemies\" tilewidth=\"16\" tileheight=\"16\" "
           "tilecount=\"4\" columns=\"4\">\n"
           " <properties>\n  <property name=\"sprites\" type=\"bool\" value=\"true\"/>\n </properties>\n"
           " <image source=\"enemies.png\" width=\"64\" height=\"16\"/>\n"
           "</tileset>\n";
}

std::string Map(const Level& l, const Layout& out, int tiles) {
    std::ostringstream s;
    s << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      << "<map version=\"1.8\" tiledversion=\"1.8.2\" orientation=\"orthogonal\" renderorder=\"right-down\" width=\""
      << kW << "\" height=\"" << kH
      << "\" tilewidth=\"16\" tileheight=\"16\" infinite=\"0\" nextlayerid=\"8\" nextobjectid=\""
      << 4 + out.walkers.size() + 2 * out.flyers.size() << "\">\n"
      << " <tileset firstgid=\"1\" source=\"tiles.tsx\"/>\n"
      << " <tileset firstgid=\"" << tiles + 1 << "\" source=\"enemies.tsx\"/>\n"
      << " <imagelayer id=\"1\" name=\"sky\" parallaxx=\"0.5\" parallaxy=\"0.5\" repeatx=\"1\">\n"
      << "  <image source=\"sky.png\" width=\"256\" height=\"360\"/>\n"
      << " </imagelayer>\n";
    const std::pair<const char*, const std::vector<int>*> layers[] = {
        {"back", &l.back}, {"ground", &l.solid}, {"front", &l.front}};
    int id = 2;
    for (auto [name, cells] : layers) {
        s << " <layer id=\"" << id++ << "\" name=\"" << name << "\" width=\"" << kW << "\" height=\"" << kH << "\">\n"
          << "  <data encoding=\"csv\">\n"
          << Csv(*cells) << "</data>\n </layer>\n";
    }
    s << Objects(out, tiles + 1);
    // The hidden layer is the map's layer 1 (LYR1): the game reads it, the
    // library does not draw it.
    s << " <layer id=\"" << id << "\" name=\"game\" width=\"" << kW << "\" height=\"" << kH << "\" visible=\"0\">\n"
      << "  <properties>\n   <property name=\"layer\" type=\"int\" value=\"1\"/>\n  </properties>\n"
      << "  <data encoding=\"csv\">\n"
      << Csv(l.game) << "</data>\n </layer>\n</map>\n";
    return s.str();
}

}  // namespace

std::string WriteLevel(const std::string& dir, const Canvas& sheet, const std::vector<TileInfo>& tiles) {
    Level l;
    l.blank.assign(size_t(sheet.w / kTile) * (sheet.h / kTile), true);
    for (int y = 0; y < sheet.h; y++) {
        for (int x = 0; x < sheet.w; x++) {
            if (sheet.At(x, y)) l.blank[size_t(y / kTile) * kColumns + x / kTile] = false;
        }
    }
    const Layout out = Build(l);
    if (!WriteFile(dir + "tiles.tsx", Tileset(sheet, tiles))) return "cannot write " + dir + "tiles.tsx";
    if (!WriteFile(dir + "enemies.tsx", EnemyTileset())) return "cannot write " + dir + "enemies.tsx";
    const int ntiles = (sheet.w / kTile) * (sheet.h / kTile);
    if (!WriteFile(dir + "level.tmx", Map(l, out, ntiles))) return "cannot write " + dir + "level.tmx";
    std::printf(
        "level: %d x %d, start (%d, %d), %d coins, checkpoint column %d, goal column %d, %zu walkers, %zu "
        "flyers\n",
        kW, kH, out.startX, out.startY, l.coins, out.checkpointX, out.goalX, out.walkers.size(), out.flyers.size());
    return "";
}

}  // namespace art
