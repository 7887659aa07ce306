// Platformer rules: quarter collision at block corners and edges, coyote
// time and the jump buffer on small maps made here, the coin check at load,
// and a replay through the real level (coin, platform, checkpoint, water).
#include <gtest/gtest.h>

#include <algorithm>
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
    // layer 1 at cell (1, 1); `cells` puts blocks on layer 0.
    void Load(const std::vector<std::tuple<int, int, int>>& cells, bool bareCoin = true) {
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

PfInput Buttons(const char* s) {
    PfInput in;
    EXPECT_EQ(PfParseInput(s, in), "");
    return in;
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

TEST(PlatformerInput, ReplayLinesRoundTrip) {
    PfInput in;
    EXPECT_EQ(PfParseInput("JR\r", in), "");
    EXPECT_TRUE(in.right && in.jump && !in.left && !in.pause && !in.start);
    EXPECT_EQ(PfFormatInput(in), "RJ");
    EXPECT_EQ(PfParseInput("-", in), "");
    EXPECT_EQ(PfFormatInput(in), "-");
    EXPECT_NE(PfParseInput("R x", in), "");
}

// The level as built: from the start, hold right and jump at the walls and
// gaps on the way (the route below), take the first coins, land on the
// wooden platform at columns 51-53, light the checkpoint, walk into the water.
TEST_F(PlatformerTest, TheLevelReplaysCoinPlatformCheckpointAndWater) {
    const char* data = std::getenv("PLATFORMER_DATA");
    if (!data) GTEST_SKIP() << "PLATFORMER_DATA is not set";
    ASSERT_EQ(MapLoad((std::string(data) + "/level.fmp").c_str()), 0) << mapreason;
    ASSERT_EQ(PfLoad(g), "");
    EXPECT_EQ(g.coins, 40);
    EXPECT_EQ(g.startX, 72);
    EXPECT_EQ(g.startY, 384);
    MAPCELL coin, flag, lit;
    ASSERT_EQ(MapGetCell(0, 10, 23, &coin), 0);
    ASSERT_EQ(MapGetCell(0, 86, 21, &flag), 0);
    ASSERT_EQ(MapGetCell(1, 86, 21, &lit), 0);
    ASSERT_EQ(coin.str->user1, unsigned{PF_COIN});
    ASSERT_GE(lit.anim, 0);

    const std::pair<int, const char*> route[] = {{107, "R"}, {20, "RJ"}, {42, "R"}, {20, "RJ"}, {60, "R"}, {20, "RJ"},
                                                 {33, "R"},  {20, "RJ"}, {39, "R"}, {20, "RJ"}, {28, "R"}, {20, "RJ"},
                                                 {20, "R"},  {20, "RJ"}, {81, "R"}, {20, "RJ"}, {151, "R"}};
    int firstCoin = -1, onPlatform = -1, checkpoint = -1;
    for (auto [n, buttons] : route) {
        for (int i = 0; i < n && g.resets == 0; i++) {
            PfStep(g, Buttons(buttons));
            const int fx = X() + PF_BOXW / 2, fy = Y() + PF_BOXH;
            if (g.score == 1 && firstCoin < 0) {
                firstCoin = g.step;
                MAPCELL now;
                ASSERT_EQ(MapGetCell(0, 10, 23, &now), 0);
                // The same hill behind, no coin in front.
                const MAPBLOCK* blocks = reinterpret_cast<const MAPBLOCK*>(mapblkrelpt);
                EXPECT_EQ(now.anim, -1);
                EXPECT_EQ(blocks[now.block].bgoff, blocks[coin.block].bgoff);
                EXPECT_EQ(blocks[now.block].fgoff, blocks[coin.block].fgoff);
                EXPECT_EQ(blocks[now.block].fgoff2, nullptr);
                EXPECT_NE(blocks[coin.block].fgoff2, nullptr);
                EXPECT_EQ(PfKindAt(10, 23), PF_NONE);
            }
            if (g.p.ground && fy == 352 && fx >= 51 * 16 && fx < 54 * 16 && onPlatform < 0) onPlatform = g.step;
            if (g.checkX == 86 && checkpoint < 0) {
                checkpoint = g.step;
                MAPCELL now;
                ASSERT_EQ(MapGetCell(0, 86, 21, &now), 0);
                EXPECT_EQ(now.anim, lit.anim);
            }
        }
    }
    EXPECT_GT(firstCoin, 0);
    EXPECT_GT(onPlatform, firstCoin);
    EXPECT_GT(checkpoint, onPlatform);
    ASSERT_EQ(g.resets, 1) << PfDump(g);
    EXPECT_EQ(X() + PF_BOXW / 2, 1384);
    EXPECT_EQ(Y() + PF_BOXH, 368);
    EXPECT_EQ(g.p.vx, 0);
    EXPECT_EQ(g.p.vy, 0);
    EXPECT_GE(g.score, 10);

    // Playing again puts back every cell the game changed.
    PfRestart(g);
    MAPCELL now;
    ASSERT_EQ(MapGetCell(0, 10, 23, &now), 0);
    EXPECT_EQ(now.anim, coin.anim);
    ASSERT_EQ(MapGetCell(0, 86, 21, &now), 0);
    EXPECT_EQ(now.anim, flag.anim);
    EXPECT_EQ(now.block, flag.block);
    EXPECT_EQ(g.score, 0);
    EXPECT_EQ(X() + PF_BOXW / 2, 72);
}

// The level can be finished with the rules as they are: a run found by a
// search over held buttons reaches the goal; after it a press plays again.
TEST_F(PlatformerTest, TheLevelCanBeFinishedAndPlayedAgain) {
    const char* data = std::getenv("PLATFORMER_DATA");
    if (!data) GTEST_SKIP() << "PLATFORMER_DATA is not set";
    ASSERT_EQ(MapLoad((std::string(data) + "/level.fmp").c_str()), 0) << mapreason;
    ASSERT_EQ(PfLoad(g), "");
    std::istringstream run(
        "40R 14RJ 49R 14RJ 53R 14RJ 63R 14RJ 34R 14RJ 65R 14RJ 56R 14RJ 41R 14RJ 42R 8RJ 30R 14RJ 63R "
        "14RJ 37R 14RJ 34R 14RJ 34R 14RJ 76R 14RJ 25R 14RJ 26R 14RJ 26R 14RJ 30R 14RJ 65R 14RJ 71R 14RJ "
        "60R 14RJ 47R 14RJ 71R 14RJ 46R 14RJ 31R");
    int n;
    std::string buttons;
    while (run >> n >> buttons) Steps(n, Buttons(buttons.c_str()));
    ASSERT_TRUE(g.complete) << PfDump(g);
    EXPECT_EQ(g.resets, 0);
    EXPECT_GT(g.score, 20);
    Steps(PF_RESTART_DELAY);
    PfStep(g, Buttons("S"));
    EXPECT_FALSE(g.complete);
    EXPECT_EQ(g.score, 0);
    EXPECT_EQ(X() + PF_BOXW / 2, g.startX);
}

}  // namespace
