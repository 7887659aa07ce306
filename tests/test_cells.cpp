// Cell access for games: cells read by number and through their animations,
// set under the whole-map check's rule, and the layer that drawing reads.
#include <gtest/gtest.h>

#include <tuple>
#include <vector>

#include "mapwriter.h"
#include "test_support.h"
#include "vexildx.h"

namespace {

// A 6 x 5 map of 4 blocks (user1 = 1000 + block) and 3 animations;
// animation 0 steps through blocks 0 to 3 on every update. Cell (2, 1)
// plays it and cell (0, 0) shows block 3; layer 2 is all block 1.
class CellTest : public MapFixture {
protected:
    void Load() {
        MAPDESC m = MapWriterSample(6, 5, 4);
        m.layers[0][0] = 96;
        m.layers[0][1 * 6 + 2] = -16;
        m.blocks[3].tl = m.blocks[3].br = 1;
        m.layers[2].assign(6 * 5, 32);
        const std::vector<uint8_t> img = MapSerialize(m);
        ASSERT_EQ(MapDecode(img.data(), img.size()), 0) << mapreason;
        MapInitAnims();
    }
};

TEST_F(CellTest, ReadsStaticAndAnimatedCellsByCellAndByPixel) {
    MAPCELL c{};
    EXPECT_EQ(MapGetCell(0, 0, 0, &c), -1) << "no map loaded";
    Load();
    ASSERT_EQ(MapGetCell(0, 0, 0, &c), 0);
    EXPECT_TRUE(c.anim == -1 && c.block == 3 && c.str->user1 == 1003);
    EXPECT_TRUE(c.str->tl && c.str->br && !c.str->tr && c.str->trigger);
    for (int step = 0; step < 5; step++, MapUpdateAnims()) {
        MAPCELL p{};
        ASSERT_EQ(MapGetCell(0, 2, 1, &c), 0);
        ASSERT_EQ(MapGetCellAtPixel(0, 2 * 16 + 15, 16, &p), 0);
        EXPECT_TRUE(c.anim == 0 && c.block == step % 4 && c.str->user1 == 1000u + step % 4) << step;
        EXPECT_TRUE(p.anim == c.anim && p.block == c.block && p.str == c.str) << step;
    }
    // Outside the map, absent layers and no result.
    const int bad[][3] = {{0, 6, 0}, {0, 0, 5}, {0, -1, 0}, {0, 0, -1}, {3, 0, 0}, {8, 0, 0}, {-1, 0, 0}};
    for (auto [layer, x, y] : bad) EXPECT_EQ(MapGetCell(layer, x, y, &c), -1) << layer << " " << x << "," << y;
    EXPECT_EQ(MapGetCell(0, 0, 0, nullptr), -1);
    EXPECT_EQ(MapGetCellAtPixel(0, -1, 0, &c), -1);  // would truncate to column 0
    EXPECT_EQ(MapGetCellAtPixel(0, 0, 5 * 16, &c), -1);
    MapFreeMem();
    EXPECT_EQ(MapGetCell(0, 0, 0, &c), -1) << "after MapFreeMem";
}

TEST_F(CellTest, SetsOnlyWhatDesignatesSomething) {
    Load();
    MAPCELL c{};
    ASSERT_EQ(MapSetCellBlock(0, 4, 4, 2), 0);
    ASSERT_EQ(MapGetCell(0, 4, 4, &c), 0);
    EXPECT_TRUE(c.anim == -1 && c.block == 2);
    ASSERT_EQ(MapSetCellAnim(2, 5, 0, 2), 0);
    ASSERT_EQ(MapGetCell(2, 5, 0, &c), 0);
    EXPECT_EQ(c.anim, 2);

    // No such block (4 of them) or animation (3), outside the map, absent layer.
    const std::vector<short> body(mapmappt[0], mapmappt[0] + 30), lyr2(mapmappt[2], mapmappt[2] + 30);
    for (int block : {4, -1, 1024}) EXPECT_EQ(MapSetCellBlock(0, 4, 4, block), -1) << block;
    for (int anim : {3, -1}) EXPECT_EQ(MapSetCellAnim(0, 4, 4, anim), -1) << anim;
    EXPECT_EQ(MapSetCellBlock(0, 6, 0, 1), -1);
    EXPECT_EQ(MapSetCellAnim(0, 0, 5, 0), -1);
    EXPECT_EQ(MapSetCellBlock(1, 0, 0, 1), -1);
    EXPECT_EQ(std::vector<short>(mapmappt[0], mapmappt[0] + 30), body);
    EXPECT_EQ(std::vector<short>(mapmappt[2], mapmappt[2] + 30), lyr2);
}

TEST_F(CellTest, DrawingReadsTheLayerSwitchedTo) {
    Load();
    LPDIRECTDRAWSURFACE target = nullptr;
    ASSERT_EQ(DDCreatePlainSurface(lpDD, 16, 16, &target), DD_OK);
    MapSetView(0, 0, 16, 16);
    auto drawn = [&] {  // the graphic of cell (0, 0)
        std::vector<DDBltRecord> log;
        DDSetBltLog(&log);
        MapDraw8BG(target, 0, 0);
        DDSetBltLog(nullptr);
        return log.size() == 1 ? log[0].src : nullptr;
    };
    EXPECT_EQ(drawn(), maptilespt[3]);
    ASSERT_EQ(MapSetLayer(2), 0);
    EXPECT_EQ(drawn(), maptilespt[1]);
    EXPECT_EQ(MapSetLayer(3), -1);
    EXPECT_EQ(MapSetLayer(8), -1);
    EXPECT_EQ(mappt, mapmappt[2]) << "a refused switch keeps the layer";
    MapSetView(0, 0, 640, 480);
    target->Release();
}

}  // namespace

namespace {

// The frame (parallax, background, the three foregrounds) of the loaded map
// after `steps` animation steps, as palette indices.
std::vector<uint8_t> Frame(int steps, int x, int y) {
    LPDIRECTDRAWSURFACE s = nullptr;
    EXPECT_EQ(DDCreatePlainSurface(lpDD, 640, 480, &s), DD_OK);
    MapInitAnims();
    for (int i = 0; i < steps; i++) MapUpdateAnims();
    MapDrawPara(s, x, y);
    MapDraw8BGT(s, x, y);
    for (int fg = 0; fg < 3; fg++) MapDraw8FG(s, x, y, fg);
    DDSURFACEDESC d{};
    d.dwSize = sizeof d;
    EXPECT_EQ(s->Lock(nullptr, &d, DDLOCK_WAIT, nullptr), DD_OK);
    std::vector<uint8_t> px;
    for (int r = 0; r < 480; r++) {
        const auto* row = static_cast<const uint8_t*>(d.lpSurface) + r * d.lPitch;
        px.insert(px.end(), row, row + 640);
    }
    s->Unlock(d.lpSurface);
    s->Release();
    return px;
}

}  // namespace

TEST_F(CellTest, NumberedCellsDrawAndReadAsByteOffsetsDo) {
    // The same map in both encodings: every frame and every cell the same.
    MAPDESC m = MapWriterSample(50, 40, 6);
    for (int fg = 0; fg < 6; fg++) m.blocks[fg].fgoff2 = 256 * ((fg + 2) % 6);
    MAPDESC n = m;
    ASSERT_TRUE(MapRecodeCells(n, true));
    const std::vector<uint8_t> offsets = MapSerialize(m), numbers = MapSerialize(n);
    for (auto [x, y, steps] : {std::tuple{0, 0, 0}, {5, 3, 7}, {160, 160, 40}}) {
        ASSERT_EQ(MapDecode(offsets.data(), offsets.size()), 0) << mapreason;
        EXPECT_EQ(mapcellnumbers, 0);
        const std::vector<uint8_t> want = Frame(steps, x, y);
        MAPCELL a{};
        ASSERT_EQ(MapGetCell(0, 7, 9, &a), 0);
        const uint32_t user1 = a.str->user1;  // the record goes with its map
        ASSERT_EQ(MapDecode(numbers.data(), numbers.size()), 0) << mapreason;
        EXPECT_EQ(mapcellnumbers, 1);
        EXPECT_EQ(Frame(steps, x, y), want) << "at (" << x << ", " << y << ") after " << steps << " steps";
        MAPCELL b{};
        ASSERT_EQ(MapGetCell(0, 7, 9, &b), 0);
        EXPECT_TRUE(a.anim == b.anim && a.block == b.block && user1 == b.str->user1);
    }
}

TEST_F(CellTest, NumberedCellsReachPastTheOffsetLimits) {
    // 1,500 blocks and 3,000 animations: only numbers reach them all.
    MAPDESC m = MapWriterSample(40, 30, 4);
    while (m.blocks.size() < 1500) m.blocks.push_back(m.blocks[m.blocks.size() % 4]);
    m.blocks[1499].user1 = 77;
    m.frames.push_back(1499 * 32);
    while (m.anims.size() < 3000) m.anims.push_back({ANTYPE_LOOP_FWD, 0, 0, 0, 4, 5, 4});
    m.layers[0][0] = 32 * 1023;
    ASSERT_TRUE(MapRecodeCells(m, true));
    m.layers[0][1] = 1499;
    m.layers[0][2] = -3000;
    EXPECT_FALSE(MapRecodeCells(m, false)) << "offsets reach no block past 1023";
    const std::vector<uint8_t> img = MapSerialize(m);
    ASSERT_EQ(MapDecode(img.data(), img.size()), 0) << mapreason;
    MAPCELL c{};
    ASSERT_EQ(MapGetCell(0, 1, 0, &c), 0);
    EXPECT_TRUE(c.anim == -1 && c.block == 1499 && c.str->user1 == 77u);
    ASSERT_EQ(MapGetCell(0, 2, 0, &c), 0);
    EXPECT_TRUE(c.anim == 2999 && c.block == 1499);
    EXPECT_EQ(MapSetCellBlock(0, 3, 0, 1400), 0);
    EXPECT_EQ(MapSetCellAnim(0, 4, 0, 2500), 0);
    EXPECT_EQ(MapSetCellBlock(0, 3, 0, 1500), -1);
    EXPECT_EQ(MapSetCellAnim(0, 4, 0, 3000), -1);
    ASSERT_EQ(MapGetCell(0, 4, 0, &c), 0);
    EXPECT_EQ(c.anim, 2500);

    // A cell past the counts, and two encodings in one map, are refused.
    m.layers[0][5] = 1500;
    std::vector<uint8_t> bad = MapSerialize(m);
    EXPECT_EQ(MapDecode(bad.data(), bad.size()), -1);
    EXPECT_STREQ(mapreason, "layer BODN cell (5, 0) value 1500 designates nothing");
    m.layers[0][5] = 0;
    std::vector<MAPCHUNK> chunks = MapSerializeChunks(m);
    chunks.push_back({"LYR2", MapWriterLayer(std::vector<int16_t>(40 * 30, 0))});
    bad = MapSerialize(chunks);
    EXPECT_EQ(MapDecode(bad.data(), bad.size()), -1);
    EXPECT_STREQ(mapreason, "chunks LYR2 and BODN hold cells in two encodings");
}
