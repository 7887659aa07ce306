// Cell access for games: cells read by number and through their animations,
// set under the whole-map check's rule, and the layer that drawing reads.
#include <gtest/gtest.h>

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
