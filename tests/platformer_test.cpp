// Platformer rules: quarter collision at block corners and edges, coyote
// time and the jump buffer, enemies (a walker's patrol, a stomp, a touch)
// on small maps made here, the coin check at load, and replays through the
// real level (coins, a stomp and a touch, the checkpoint and water, a flyer
// on its path, the whole level).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "game.h"
#include "mapwriter.h"
#include "vexildx.h"

LPDIRECTDRAW lpDD;

namespace {

// Blocks of the small maps: 0 empty, then by solid quarters, then kinds.
enum { kEmpty, kFull, kTop, kBottomRight, kStart, kCoinBare, kCoin, kCount };

class PlatformerTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(DirectDrawCreate(nullptr, &lpDD, nullptr), DD_OK); }
    void TearDown() override {
        MapFreeMem();
        lpDD->Release();
        lpDD = nullptr;
    }

    // A 24 x 16 map of 16 x 16 blocks, all empty, the start marker on
    // layer 1 at cell (1, 1); `cells` puts blocks on layer 0, `objects`
    // into an object layer.
    void Load(const std::vector<std::tuple<int, int, int>>& cells, bool bareCoin = true,
              const std::vector<MAPOBJDESC>& objects = {}) {
        MapWriterMap m;
        m.width = 24;
        m.height = 16;
        m.cmap.assign(768, 0);
        for (int g = 0; g < 4; g++) m.gfx.insert(m.gfx.end(), 256, static_cast<uint8_t>(g ? 10 * g : 0));
        const int sides[kCount][4] = {{0, 0, 0, 0}, {1, 1, 1, 1}, {1, 1, 0, 0}, {0, 0, 0, 1},
                                      {0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}};
        for (int b = 0; b < kCount; b++) {
            BLKSTR s{};
            s.tl = sides[b][0], s.tr = sides[b][1], s.bl = sides[b][2], s.br = sides[b][3];
            s.bgoff = (b == kEmpty ? 0 : b == kCoin || b == kCoinBare ? 2 : 1) * 256;
            if (b == kCoin) s.fgoff = 3 * 256, s.user1 = PF_COIN;
            if (b == kCoinBare && !bareCoin) s.fgoff = 1 * 256;  // not the coin's cell without it
            if (b == kStart) s.user1 = PF_START;
            s.trigger = b == kEmpty;
            m.blocks.push_back(s);
        }
        m.layers[0].assign(size_t{24} * 16, 0);
        m.layers[1].assign(size_t{24} * 16, 0);
        m.layers[1][1 * 24 + 1] = 32 * kStart;
        for (auto [x, y, b] : cells) m.layers[0][size_t(y) * 24 + x] = static_cast<int16_t>(32 * b);
        if (!objects.empty()) {
            m.objlayers.emplace_back();
            m.objlayers.back().objects = objects;
        }
        const std::vector<uint8_t> image = MapWriterImage(m);
        ASSERT_EQ(MapDecode(image.data(), image.size()), 0) << mapreason;
        error = PfLoad(g, 64, 64);
    }

    // The player with the box's top-left at pixel (x, y), standing still.
    void Put(int x, int y) {
        g.p = PfPlayer{};
        g.p.x = x * PF_SUB;
        g.p.y = y * PF_SUB;
        g.p.ground = PfBoxSolid(x, y + PF_BOXH, PF_BOXW, 1);
    }
    void Steps(int n, PfInput in = {}) {
        for (int i = 0; i < n; i++) PfStep(g, in);
    }
    int X() const { return g.p.x >> 8; }
    int Y() const { return g.p.y >> 8; }

    PfGame g;
    std::string error;
};

// A row of `b` blocks from cell x0 to x1 (exclusive) at row y.
std::vector<std::tuple<int, int, int>> Row(int x0, int x1, int y, int b) {
    std::vector<std::tuple<int, int, int>> out;
    for (int x = x0; x < x1; x++) out.emplace_back(x, y, b);
    return out;
}

int CellKeyOf(const MAPCELL& c) { return c.anim >= 0 ? -1 - c.anim : c.block; }

PfInput Buttons(const char* s) {
    PfInput in;
    EXPECT_EQ(PfParseInput(s, in), "");
    return in;
}

// A rectangle object of a class, as the level's objects are read.
MAPOBJDESC Thing(const char* type, int id, double x, double y, double w, double h) {
    MAPOBJDESC o;
    o.id = id;
    o.type = type;
    o.x = x, o.y = y, o.width = w, o.height = h;
    return o;
}

TEST_F(PlatformerTest, QuartersAreSolidExactlyToTheirEdges) {
    Load({{5, 5, kBottomRight}});
    ASSERT_EQ(error, "");
    // The bottom-right quarter of cell (5, 5) is pixels 88..95 x 88..95.
    EXPECT_TRUE(PfSolid(88, 88));
    EXPECT_TRUE(PfSolid(95, 95));
    EXPECT_FALSE(PfSolid(87, 88));
    EXPECT_FALSE(PfSolid(88, 87));
    EXPECT_FALSE(PfSolid(96, 95));
    EXPECT_FALSE(PfSolid(88, 96));
    // The map's sides are walls, above and below are open.
    EXPECT_TRUE(PfSolid(-1, 100));
    EXPECT_TRUE(PfSolid(24 * 16, 100));
    EXPECT_FALSE(PfSolid(100, -1));
    EXPECT_FALSE(PfSolid(100, 16 * 16));
    // A box touching the quarter from any side does not overlap it; one
    // pixel further does, also by a single corner pixel.
    EXPECT_FALSE(PfBoxSolid(88 - PF_BOXW, 80, PF_BOXW, PF_BOXH));
    EXPECT_TRUE(PfBoxSolid(89 - PF_BOXW, 80, PF_BOXW, PF_BOXH));
    EXPECT_FALSE(PfBoxSolid(96, 80, PF_BOXW, PF_BOXH));
    EXPECT_FALSE(PfBoxSolid(90, 88 - PF_BOXH, PF_BOXW, PF_BOXH));
    EXPECT_TRUE(PfBoxSolid(95, 95, PF_BOXW, PF_BOXH));
    EXPECT_TRUE(PfBoxSolid(89 - PF_BOXW, 89 - PF_BOXH, PF_BOXW, PF_BOXH));
    EXPECT_FALSE(PfBoxSolid(88 - PF_BOXW, 89 - PF_BOXH, PF_BOXW, PF_BOXH));
}

TEST_F(PlatformerTest, StandsOnTheLastPixelOfALedgeAndFallsPastIt) {
    Load(Row(0, 6, 10, kFull));  // a ledge ending at pixel 95, its top at y = 160
    ASSERT_EQ(error, "");
    Put(95, 160 - PF_BOXH);  // one column of the box over the ledge
    Steps(30);
    EXPECT_EQ(Y(), 160 - PF_BOXH);
    EXPECT_TRUE(g.p.ground);
    Put(96, 160 - PF_BOXH);  // none over it
    Steps(30);
    EXPECT_GT(Y(), 160);
    EXPECT_FALSE(g.p.ground);
}

TEST_F(PlatformerTest, WallsAndHalfBlockCeilingsStopTheBoxFlush) {
    auto cells = Row(0, 24, 10, kFull);                          // the floor, top at y = 160
    cells.emplace_back(12, 9, kFull);                            // a wall from x = 192
    for (int x = 2; x < 6; x++) cells.emplace_back(x, 7, kTop);  // a ceiling whose underside is y = 120
    Load(cells);
    ASSERT_EQ(error, "");
    Put(150, 160 - PF_BOXH);
    Steps(60, Buttons("R"));
    EXPECT_EQ(X() + PF_BOXW, 192);
    EXPECT_EQ(g.p.vx, 0);
    Put(50, 160 - PF_BOXH);
    PfStep(g, Buttons("J"));
    int top = Y();
    for (int i = 0; i < 40; i++) {
        PfStep(g, Buttons("J"));
        top = std::min(top, Y());
    }
    EXPECT_EQ(top, 120);  // the head met the top quarters' underside, not the cell's
    EXPECT_EQ(Y(), 160 - PF_BOXH);
}

TEST_F(PlatformerTest, NoSpeedOrCornerTakesTheBoxIntoASolidQuarter) {
    // Solid quarters in a checker of blocks; players start all around them
    // at every speed up to the caps and push diagonally into the corners.
    std::vector<std::tuple<int, int, int>> cells;
    for (int y = 4; y < 14; y++) {
        for (int x = 4; x < 20; x++) {
            if ((x + y) % 3 == 0) cells.emplace_back(x, y, (x * y) % 2 ? kBottomRight : kTop);
        }
    }
    Load(cells);
    ASSERT_EQ(error, "");
    const char* pushes[] = {"RJ", "LJ", "R", "L"};
    int runs = 0;
    for (int y = 40; y < 200; y += 7) {
        for (int x = 50; x < 300; x += 9) {
            if (PfBoxSolid(x, y, PF_BOXW, PF_BOXH)) continue;
            for (int k = 0; k < 4; k++) {
                Put(x, y);
                g.p.vx = (k % 2 ? -1 : 1) * PF_WALK_MAX;
                g.p.vy = k < 2 ? PF_FALL_MAX : -PF_JUMP_SPEED;
                for (int s = 0; s < 24; s++) {
                    PfStep(g, Buttons(pushes[(k + s / 6) % 4]));
                    ASSERT_FALSE(PfBoxSolid(X(), Y(), PF_BOXW, PF_BOXH))
                        << "from " << x << "," << y << " push " << k << " step " << s;
                }
                runs++;
            }
        }
    }
    EXPECT_GT(runs, 500);
}

TEST_F(PlatformerTest, CoyoteTimeAndJumpBufferLastAFewSteps) {
    auto cells = Row(0, 8, 10, kFull);  // a ledge to x = 127, top at y = 160
    for (auto c : Row(0, 24, 15, kFull)) cells.push_back(c);
    Load(cells);
    ASSERT_EQ(error, "");
    // Walk off the ledge; jump pressed `late` steps after the feet left it.
    for (int late : {1, int{PF_COYOTE}, PF_COYOTE + 1}) {
        Put(128 - PF_BOXW - 2, 160 - PF_BOXH);
        g.p.vx = PF_WALK_MAX;
        int off = 0;
        while (off < late) {
            PfStep(g, Buttons("R"));
            if (!g.p.ground) off++;
        }
        PfStep(g, Buttons("RJ"));
        EXPECT_EQ(g.p.vy < 0, late <= PF_COYOTE) << "jump pressed " << late << " steps after the edge";
    }
    // Falling to the floor: jump pressed `early` steps before the first
    // step that starts on the ground.
    Put(200, 100);
    int land = 0;
    while (!g.p.ground) PfStep(g, {}), land++;
    for (int early : {1, int{PF_BUFFER}, PF_BUFFER + 1}) {
        Put(200, 100);
        Steps(land - early);
        bool jumped = false;
        for (int i = 0; i <= early && !jumped; i++) {
            PfStep(g, Buttons("J"));
            jumped = g.p.vy < 0;
        }
        EXPECT_EQ(jumped, early <= PF_BUFFER) << "jump pressed " << early << " steps before landing";
    }
}

TEST_F(PlatformerTest, EveryCoinNeedsABlockWithoutIt) {
    Load({{3, 3, kCoin}, {4, 3, kCoin}, {8, 8, kCoinBare}});
    EXPECT_EQ(error, "");
    EXPECT_EQ(g.coins, 2);
    Load({{3, 3, kCoin}}, false);
    EXPECT_NE(error.find("coin at cell (3, 3)"), std::string::npos) << error;
}

TEST_F(PlatformerTest, AWalkerPatrolsItsPlatformTurningAtWallsAndLedges) {
    // A platform from column 4 to 11 at row 10 with a wall at column 12: the
    // walker goes back and forth between the ledge and the wall, on top.
    auto cells = Row(4, 13, 10, kFull);
    cells.emplace_back(12, 9, kFull);
    Load(cells, true, {Thing("walker", 7, 96, 144, 16, 16)});
    ASSERT_EQ(error, "");
    ASSERT_EQ(g.enemies.size(), 1u);
    int lo = INT32_MAX, hi = INT32_MIN, turns = 0;
    bool left = g.enemies[0].left;
    for (int i = 0; i < 1200; i++) {
        PfStep(g, {});
        const PfEnemy& e = g.enemies[0];
        lo = std::min(lo, e.x >> 8);
        hi = std::max(hi, (e.x >> 8) + PF_WALKER_W);
        turns += e.left != left;
        left = e.left;
        ASSERT_EQ((e.y >> 8) + PF_WALKER_H, 160) << "off its platform at step " << i;
    }
    EXPECT_EQ(lo, 64);   // the box's left edge over the platform's first pixel
    EXPECT_EQ(hi, 192);  // its right edge against the wall
    EXPECT_GE(turns, 4);
}

TEST_F(PlatformerTest, LandingOnAnEnemyDefeatsItAndTouchingOneSendsThePlayerBack) {
    // Floor at row 12; the start at cell (1, 1) falls onto it. A walker
    // at column 10 walks left toward the player.
    auto floor = Row(0, 24, 12, kFull);
    Load(floor, true, {Thing("walker", 3, 160, 176, 16, 16)});
    ASSERT_EQ(error, "");
    g.enemies[0].left = true;
    // Standing still, the player is touched and sent back to the start.
    int steps = 0;
    while (g.resets == 0 && steps < 600) PfStep(g, {}), steps++;
    EXPECT_EQ(g.resets, 1);
    EXPECT_TRUE(g.enemies[0].alive);
    EXPECT_EQ(X() + PF_BOXW / 2, g.startX);
    EXPECT_EQ(g.score, 0);
    // Dropped onto it from above, the player defeats it and bounces.
    PfRestart(g);
    Put((g.enemies[0].x >> 8) - 1, 192 - PF_BOXH - 40);
    g.p.ground = false;
    for (int i = 0; i < 60 && g.enemies[0].alive; i++) PfStep(g, {});
    EXPECT_FALSE(g.enemies[0].alive);
    EXPECT_EQ(g.resets, 0);
    EXPECT_EQ(g.score, PF_STOMP_SCORE);
    EXPECT_LT(g.p.vy, 0);
    EXPECT_NE(PfDump(g).find(" 0"), std::string::npos);
}

TEST(PlatformerInput, ReplayLinesRoundTrip) {
    PfInput in;
    EXPECT_EQ(PfParseInput("JR\r", in), "");
    EXPECT_TRUE(in.right && in.jump && !in.left && !in.pause && !in.start);
    EXPECT_EQ(PfFormatInput(in), "RJ");
    EXPECT_EQ(PfParseInput("-", in), "");
    EXPECT_EQ(PfFormatInput(in), "-");
    EXPECT_NE(PfParseInput("R x", in), "");
}

// The level's run: jumps at the walls and gaps (found by a search over
// held buttons), which takes coins, lands on two walkers, lights the
// checkpoint and reaches the goal.
const char kRun[] =
    "115R 10RJ 22R 43R 14RJ 31R 34R 14RJ 34R 97R 14RJ 51R 52R 14RJ 25R 40R 14RJ 30R 16R 14RJ 25R 112R 10RJ 26R 10R "
    "6RJ 22R 28R 14RJ 37R 31R 6RJ 16R 13R 14RJ 20R 19R 14RJ 20R 4R 20RJ 14R 16R 14RJ 24R 88R 10RJ 38R 64R 14RJ 31R "
    "25R 20RJ 25R 31R 20RJ 22R 1R 10RJ 28R";

// Plays the first `segments` segments of a run ("N BUTTONS" each), or all.
void Play(PfGame& g, const std::string& run, int segments = 1 << 30) {
    std::istringstream in(run);
    int n;
    std::string buttons;
    while (segments-- > 0 && in >> n >> buttons) {
        for (int i = 0; i < n; i++) PfStep(g, Buttons(buttons.c_str()));
    }
}

const PfEnemy* Enemy(const PfGame& g, int id) {
    for (const PfEnemy& e : g.enemies) {
        if (e.id == id) return &e;
    }
    return nullptr;
}

class PlatformerLevel : public PlatformerTest {
protected:
    void SetUp() override {
        PlatformerTest::SetUp();
        const char* data = std::getenv("PLATFORMER_DATA");
        if (!data) GTEST_SKIP() << "PLATFORMER_DATA is not set";
        ASSERT_EQ(MapLoad((std::string(data) + "/level.fmp").c_str()), 0) << mapreason;
        ASSERT_EQ(PfLoad(g), "");
    }
};

TEST_F(PlatformerLevel, StartCheckpointGoalAndEnemiesComeFromItsObjects) {
    EXPECT_EQ(g.coins, 40);
    EXPECT_EQ(g.startX, 72);
    EXPECT_EQ(g.startY, 384);
    ASSERT_EQ(g.checkpoints.size(), 1u);
    EXPECT_EQ(g.checkpoints[0].x, 86 * 16);
    ASSERT_EQ(g.goals.size(), 1u);
    int walkers = 0, flyers = 0;
    for (const PfEnemy& e : g.enemies) (e.kind == PF_WALKER ? walkers : flyers)++;
    EXPECT_GE(walkers, 3);
    EXPECT_GE(flyers, 2);
    // Every enemy's image is in the level's sheet, on the map's palette.
    const MAPSPRITE* sheet = MapFindSprite("enemies");
    ASSERT_NE(sheet, nullptr);
    EXPECT_EQ(sheet->frames, 4);
    ASSERT_NE(MapFindSprite("player"), nullptr);
    EXPECT_EQ(MapFindSprite("player")->frames, 10);
    // --dump lists them all at the start.
    EXPECT_NE(PfDump(g).find(" " + std::to_string(walkers + flyers) + " walker:"), std::string::npos) << PfDump(g);
}

// From the start: a coin, a landing on the first walker, then walking on
// into the second, which sends the player back to the start.
TEST_F(PlatformerLevel, ReplaysAStompAndATouch) {
    MAPCELL coin;
    ASSERT_EQ(MapGetCell(0, 10, 23, &coin), 0);
    ASSERT_EQ(coin.str->user1, unsigned{PF_COIN});
    const PfEnemy* first = Enemy(g, 4);
    const PfEnemy* second = Enemy(g, 5);
    ASSERT_TRUE(first && second && first->kind == PF_WALKER && second->kind == PF_WALKER);
    int stomped = -1, hit = -1;
    Play(g, kRun, 12);
    for (int i = 0; i < 200 && hit < 0; i++) {
        if (!first->alive && stomped < 0) stomped = g.step;
        if (g.resets && hit < 0) hit = g.step;
        if (hit < 0) PfStep(g, Buttons("R"));
    }
    ASSERT_FALSE(first->alive);
    EXPECT_TRUE(second->alive);
    EXPECT_EQ(g.resets, 1) << PfDump(g);
    EXPECT_EQ(X() + PF_BOXW / 2, 72);
    EXPECT_EQ(Y() + PF_BOXH, 384);
    EXPECT_GE(g.score, 10 + PF_STOMP_SCORE);
    EXPECT_EQ(PfDump(g).find("walker:4@"), std::string::npos);
    EXPECT_NE(PfDump(g).find("walker:5@"), std::string::npos);
    EXPECT_GT(stomped, 0);
    EXPECT_GT(hit, stomped);
}

// The run to the checkpoint, which lights its flag, then on into the water,
// which brings the player back under the flag; playing again puts back
// every cell the game changed and every enemy.
TEST_F(PlatformerLevel, ReplaysTheCheckpointAndTheWater) {
    MAPCELL coin, flag, lit;
    ASSERT_EQ(MapGetCell(0, 10, 23, &coin), 0);
    ASSERT_EQ(MapGetCell(0, 86, 21, &flag), 0);
    ASSERT_EQ(MapGetCell(1, 86, 21, &lit), 0);
    ASSERT_GE(lit.anim, 0);
    Play(g, kRun, 22);
    EXPECT_EQ(g.checkX, 86);
    MAPCELL now;
    ASSERT_EQ(MapGetCell(0, 86, 21, &now), 0);
    EXPECT_EQ(now.anim, lit.anim);
    ASSERT_EQ(MapGetCell(0, 10, 23, &now), 0);
    EXPECT_NE(CellKeyOf(now), CellKeyOf(coin));  // taken
    EXPECT_EQ(PfKindAt(10, 23), PF_NONE);
    for (int i = 0; i < 100 && g.resets == 0; i++) PfStep(g, Buttons("R"));
    ASSERT_EQ(g.resets, 1) << PfDump(g);
    EXPECT_EQ(X() + PF_BOXW / 2, 1384);
    EXPECT_EQ(Y() + PF_BOXH, 368);
    EXPECT_EQ(g.p.vx, 0);

    PfRestart(g);
    ASSERT_EQ(MapGetCell(0, 10, 23, &now), 0);
    EXPECT_EQ(now.anim, coin.anim);
    ASSERT_EQ(MapGetCell(0, 86, 21, &now), 0);
    EXPECT_EQ(now.anim, flag.anim);
    EXPECT_EQ(now.block, flag.block);
    EXPECT_EQ(g.score, 0);
    EXPECT_EQ(X() + PF_BOXW / 2, 72);
    for (const PfEnemy& e : g.enemies) EXPECT_TRUE(e.alive);
}

// A flyer keeps to the polyline its "path" property names: on it at every
// step, out to its far end and back to its start.
TEST_F(PlatformerLevel, AFlyerFollowsItsPath) {
    const PfEnemy* f = Enemy(g, 8);
    ASSERT_TRUE(f && f->kind == PF_FLYER);
    const MAPOBJECT* o = MapGetObject(8);
    ASSERT_NE(o, nullptr);
    const MAPOBJECT* path = MapGetObject(MapGetIntProperty(&o->props, "path", 0));
    ASSERT_TRUE(path && path->shape == MAPSHAPE_POLYLINE);
    std::vector<std::pair<double, double>> pts;
    for (int i = 0; i < path->numpoints; i++) {
        pts.emplace_back(path->x + path->points[2 * i], path->y + path->points[2 * i + 1]);
    }
    auto off = [&](double x, double y) {  // distance to the polyline
        double best = 1e9;
        for (size_t i = 0; i + 1 < pts.size(); i++) {
            const auto [ax, ay] = pts[i];
            const auto [bx, by] = pts[i + 1];
            const double l2 = (bx - ax) * (bx - ax) + (by - ay) * (by - ay);
            const double t = std::clamp(((x - ax) * (bx - ax) + (y - ay) * (by - ay)) / l2, 0.0, 1.0);
            best = std::min(best, std::hypot(x - ax - t * (bx - ax), y - ay - t * (by - ay)));
        }
        return best;
    };
    bool end = false, back = false;
    for (int i = 0; i < 400; i++) {
        PfStep(g, {});
        const double cx = f->x / 256.0 + int{PF_FLYER_W} / 2.0, cy = f->y / 256.0 + int{PF_FLYER_H} / 2.0;
        ASSERT_LT(off(cx, cy), 1.0) << "step " << i << " at " << cx << ", " << cy;
        end = end || std::hypot(cx - pts.back().first, cy - pts.back().second) < 1;
        back = back || (end && std::hypot(cx - pts[0].first, cy - pts[0].second) < 1);
    }
    EXPECT_TRUE(end);
    EXPECT_TRUE(back);
}

// The whole level with the rules as they are; after the goal a press plays
// again.
TEST_F(PlatformerLevel, CanBeFinishedAndPlayedAgain) {
    Play(g, kRun);
    ASSERT_TRUE(g.complete) << PfDump(g);
    EXPECT_EQ(g.resets, 0);
    EXPECT_GT(g.taken, 20);
    EXPECT_EQ(g.score, g.taken + 2 * PF_STOMP_SCORE);
    Steps(PF_RESTART_DELAY);
    PfStep(g, Buttons("S"));
    EXPECT_FALSE(g.complete);
    EXPECT_EQ(g.score, 0);
    EXPECT_EQ(X() + PF_BOXW / 2, g.startX);
}

}  // namespace
