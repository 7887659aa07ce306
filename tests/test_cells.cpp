// Cell access for games: reading cells by number and through their
// animations, setting them under the whole-map check's rule, and switching
// the layer that drawing reads.
#include <gtest/gtest.h>

#include <vector>

#include "mapwriter.h"
#include "test_support.h"
#include "vexildx.h"

namespace {

class CellTest : public MapFixture {
protected:
    // A 6 x 5 map of 4 blocks (user1 = 1000 + block) and 3 animations;
    // animation 0 steps through blocks 0 to 3 on every update. Cell (2, 1)
    // plays it and cell (0, 0) shows block 3; layer 2 is all block 1.
    void SetUp() override {
        MapFixture::SetUp();
        m = MapWriterSample(6, 5, 4);
        m.layers[0][0] = 96;
        m.layers[0][1 * 6 + 2] = -16;
        m.blocks[3].tl = 1;
        m.blocks[3].br = 1;
        m.layers[2].assign(6 * 5, 32);
        img = MapWriterImage(m);
    }
    void Load() {
        ASSERT_EQ(MapDecode(img.data(), img.size()), 0) << mapreason;
        MapInitAnims();
    }

    MapWriterMap m;
    std::vector<uint8_t> img;
};

TEST_F(CellTest, ReadsStaticAndAnimatedCellsByCellAndByPixel) {
    MAPCELL c{};
    EXPECT_EQ(MapGetCell(0, 0, 0, &c), -1) << "no map loaded";
    Load();
    ASSERT_EQ(MapGetCell(0, 0, 0, &c), 0);
    EXPECT_EQ(c.anim, -1);
    EXPECT_EQ(c.block, 3);
    EXPECT_TRUE(c.str->user1 == 1003 && c.str->tl && c.str->br && !c.str->tr && c.str->trigger);

    for (int step = 0; step < 5; step++) {
        ASSERT_EQ(MapGetCell(0, 2, 1, &c), 0);
        EXPECT_EQ(c.anim, 0);
        EXPECT_EQ(c.block, step % 4) << "after " << step << " updates";
        EXPECT_EQ(c.str->user1, 1000u + step % 4);
        MAPCELL p{};
        ASSERT_EQ(MapGetCellAtPixel(0, 2 * 16 + 15, 1 * 16, &p), 0);
        EXPECT_TRUE(p.anim == c.anim && p.block == c.block && p.str == c.str);
        MapUpdateAnims();
    }

    // Outside the map, absent layers and no result pointer.
    const int bad[][3] = {{0, 6, 0}, {0, 0, 5}, {0, -1, 0}, {0, 0, -1}, {3, 0, 0}, {8, 0, 0}, {-1, 0, 0}};
    for (auto [layer, x, y] : bad) EXPECT_EQ(MapGetCell(layer, x, y, &c), -1) << layer << " " << x << "," << y;
    EXPECT_EQ(MapGetCell(0, 0, 0, nullptr), -1);
    EXPECT_EQ(MapGetCellAtPixel(0, -1, 0, &c), -1);  // would truncate to column 0
    EXPECT_EQ(MapGetCellAtPixel(0, 6 * 16, 0, &c), -1);
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

    // Numbers that designate nothing, cells outside the map, absent layers:
    // refused, and nothing changes.
    const std::vector<short> body(mapmappt[0], mapmappt[0] + 30), lyr2(mapmappt[2], mapmappt[2] + 30);
    EXPECT_EQ(MapSetCellBlock(0, 4, 4, 4), -1);  // 4 block structures
    EXPECT_EQ(MapSetCellBlock(0, 4, 4, -1), -1);
    EXPECT_EQ(MapSetCellBlock(0, 4, 4, 1024), -1);
    EXPECT_EQ(MapSetCellAnim(0, 4, 4, 3), -1);  // 3 animations
    EXPECT_EQ(MapSetCellAnim(0, 4, 4, -1), -1);
    EXPECT_EQ(MapSetCellBlock(0, 6, 0, 1), -1);
    EXPECT_EQ(MapSetCellAnim(0, 0, 5, 0), -1);
    EXPECT_EQ(MapSetCellBlock(1, 0, 0, 1), -1);
    EXPECT_EQ(MapSetCellAnim(9, 0, 0, 0), -1);
    EXPECT_EQ(std::vector<short>(mapmappt[0], mapmappt[0] + 30), body);
    EXPECT_EQ(std::vector<short>(mapmappt[2], mapmappt[2] + 30), lyr2);
}

TEST_F(CellTest, DrawingReadsTheLayerSwitchedTo) {
    Load();
    LPDIRECTDRAWSURFACE target = nullptr;
    ASSERT_EQ(DDCreatePlainSurface(lpDD, 16, 16, &target), DD_OK);
    ASSERT_EQ(MapSetView(0, 0, 16, 16), 0);
    auto firstBlit = [&] {
        std::vector<DDBltRecord> log;
        DDSetBltLog(&log);
        MapDraw8BG(target, 0, 0);
        DDSetBltLog(nullptr);
        return log.size() == 1 ? log[0].src : nullptr;
    };
    EXPECT_EQ(firstBlit(), maptilespt[3]);  // BODY cell (0, 0): block 3
    ASSERT_EQ(MapSetLayer(2), 0);
    EXPECT_EQ(mappt, mapmappt[2]);
    EXPECT_EQ(firstBlit(), maptilespt[1]);
    EXPECT_EQ(MapSetLayer(3), -1);
    EXPECT_EQ(MapSetLayer(8), -1);
    EXPECT_EQ(mappt, mapmappt[2]) << "a refused switch keeps the layer";
    EXPECT_EQ(MapSetLayer(0), 0);
    EXPECT_EQ(firstBlit(), maptilespt[3]);
    MapSetView(0, 0, 640, 480);
    target->Release();
}

}  // namespace
