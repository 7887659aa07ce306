// The demo map: it loads, its blocks and animations are consistent, the
// start view shows every feature, and every view the demo can scroll to is
// fully drawn.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <vector>

#include "demomap.h"
#include "vexildx.h"

namespace {

constexpr int kW = 640, kH = 480;
constexpr int kStartX = 488, kStartY = 536;
constexpr uint8_t kMarker = 253;  // shows pixels no draw reached

const uint8_t* Graphic(const MAPDESC& m, int offset) { return &m.gfx[offset]; }

bool HasZero(const uint8_t* g) { return std::find(g, g + 256, 0) != g + 256; }
bool AllZero(const uint8_t* g) {
    return std::all_of(g, g + 256, [](uint8_t p) { return p == 0; });
}

// Every block a cell can show: itself, or each frame of its animation.
std::vector<int> BlocksOf(const MAPDESC& m, int16_t v) {
    if (v >= 0) return {v / 32};
    const MAPANIMDESC& a = m.anims[-v / 16 - 1];
    std::vector<int> out;
    for (int i = a.start; i < a.end; i++) out.push_back(m.frames[i] / 32);
    return out;
}

class DemoMapTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { demo = new MAPDESC(MapWriterDemo()); }
    static void TearDownTestSuite() {
        delete demo;
        demo = nullptr;
    }

    void SetUp() override {
        if (!lpDD) {
            ASSERT_EQ(DirectDrawCreate(nullptr, &lpDD, nullptr), DD_OK);
        }
        ASSERT_EQ(DDCreatePlainSurface(lpDD, kW, kH, &target), DD_OK);
    }
    void TearDown() override {
        MapFreeMem();
        if (target) target->Release();
    }

    void Load() {
        const std::vector<uint8_t> img = MapSerialize(*demo);
        ASSERT_EQ(MapDecode(img.data(), img.size()), 0) << mapreason;
    }

    // The demo's frame: parallax, transparent background, foreground 0,
    // over a target filled with the marker.
    std::vector<uint8_t> Frame(int x, int y) {
        for (int r = 0; r < kH; r++) std::memset(target->pixels + r * target->pitch, kMarker, kW);
        MapDrawPara(target, x, y);
        MapDraw8BGT(target, x, y);
        MapDraw8FG(target, x, y, 0);
        std::vector<uint8_t> p(kW * kH);
        for (int r = 0; r < kH; r++) std::memcpy(&p[r * kW], target->pixels + r * target->pitch, kW);
        return p;
    }

    static MAPDESC* demo;
    LPDIRECTDRAWSURFACE target = nullptr;
};

MAPDESC* DemoMapTest::demo = nullptr;

TEST_F(DemoMapTest, LoadsAs100x100CellsOf16x16At8Bits) {
    const MAPDESC& m = *demo;
    EXPECT_EQ(MapSerialize(MapWriterDemo()), MapSerialize(m));  // the build's file is reproducible
    Load();
    EXPECT_EQ(mapwidth, 100);
    EXPECT_EQ(mapheight, 100);
    EXPECT_EQ(mapblockwidth, 16);
    EXPECT_EQ(mapblockheight, 16);
    EXPECT_EQ(mapdepth, 8);
    EXPECT_LE(mapnumblockgfx, 255);
    EXPECT_NE(lpDDSPara, nullptr);

    // A palette of its own, which also holds the status line's colours.
    ASSERT_EQ(m.cmap.size(), 768u);
    std::set<uint32_t> colours;
    bool statusBack = false, statusText = false;
    for (int i = 0; i < 256; i++) {
        const PALETTEENTRY& e = mappept[i];
        colours.insert(e.peRed << 16 | e.peGreen << 8 | e.peBlue);
        statusBack |= e.peRed == 50 && e.peGreen == 10 && e.peBlue == 50;
        statusText |= e.peRed == 255 && e.peGreen == 255 && e.peBlue == 0;
    }
    EXPECT_GT(colours.size(), 150u);
    EXPECT_TRUE(statusBack && statusText);
}

TEST_F(DemoMapTest, BlocksAndAnimationsAreConsistent) {
    const MAPDESC& m = *demo;
    ASSERT_FALSE(m.blocks.empty());
    // Block 0 is the open sky: nothing but see-through pixels, parallax behind.
    EXPECT_TRUE(AllZero(Graphic(m, m.blocks[0].bgoff)));
    EXPECT_TRUE(m.blocks[0].trigger);
    EXPECT_EQ(m.blocks[0].fgoff, 0);
    for (size_t b = 0; b < m.blocks.size(); b++) {
        const BLKSTR& s = m.blocks[b];
        // A see-through pixel in a block without the trigger would show
        // colour 0 instead of the sky; a trigger on an opaque block wastes
        // a parallax blit.
        EXPECT_EQ(bool(s.trigger), HasZero(Graphic(m, s.bgoff))) << "block " << b;
        if (s.fgoff) {
            EXPECT_FALSE(AllZero(Graphic(m, s.fgoff))) << "block " << b;
        }
    }
    // The parallax graphic, the last one, has no see-through pixel: it is
    // copied without a colour key.
    const int last = m.numblockgfx() - 1;
    EXPECT_FALSE(HasZero(Graphic(m, last * 256)));
    for (const BLKSTR& s : m.blocks) {
        EXPECT_NE(s.bgoff, last * 256);
        EXPECT_NE(s.fgoff, last * 256);
    }
    for (size_t k = 0; k < m.anims.size(); k++) {
        const MAPANIMDESC& a = m.anims[k];
        ASSERT_GE(a.end - a.start, 2) << "animation " << k;
        const std::vector<int32_t> f(m.frames.begin() + a.start, m.frames.begin() + a.end);
        EXPECT_NE(std::count(f.begin(), f.end(), f[0]), static_cast<long>(f.size())) << "animation " << k;
    }
}

TEST_F(DemoMapTest, StartViewShowsEveryFeature) {
    const MAPDESC& m = *demo;
    bool sky = false, holes = false, opaque = false, foreground = false;
    std::set<int> types;
    for (int cy = kStartY / 16; cy <= (kStartY + kH - 1) / 16; cy++) {
        for (int cx = kStartX / 16; cx <= (kStartX + kW - 1) / 16; cx++) {
            const int16_t v = m.layers[0][cy * 100 + cx];
            sky |= v == 0;
            if (v < 0) types.insert(m.anims[-v / 16 - 1].antype);
            for (int b : BlocksOf(m, v)) {
                const BLKSTR& s = m.blocks[b];
                holes |= s.trigger && !AllZero(Graphic(m, s.bgoff));
                opaque |= !s.trigger;
                foreground |= s.fgoff != 0;
            }
        }
    }
    EXPECT_TRUE(sky);
    EXPECT_TRUE(holes) << "no see-through block with a picture";
    EXPECT_TRUE(opaque);
    EXPECT_TRUE(foreground);
    EXPECT_GE(types.size(), 3u);
    for (int t : {ANTYPE_LOOP_FWD, ANTYPE_PINGPONG_FWD_OUT, ANTYPE_ONCE}) EXPECT_TRUE(types.count(t)) << "type " << t;
}

TEST_F(DemoMapTest, StartFrameShowsSkyAndMoves) {
    for (uint8_t p : demo->gfx) ASSERT_NE(p, kMarker);
    Load();
    MapInitAnims();
    const std::vector<uint8_t> first = Frame(kStartX, kStartY);
    EXPECT_EQ(std::count(first.begin(), first.end(), kMarker), 0);
    // The sky: pixels of the parallax graphic at its half-speed phase.
    const uint8_t* para = &demo->gfx[(demo->numblockgfx() - 1) * 256];
    int skyPixels = 0;
    for (int y = 0; y < kH; y++) {
        for (int x = 0; x < kW; x++) {
            const int px = (x + kStartX - kStartX / 2) & 15, py = (y + kStartY - kStartY / 2) & 15;
            skyPixels += first[y * kW + x] == para[py * 16 + px];
        }
    }
    EXPECT_GT(skyPixels, kW * kH / 5);
    EXPECT_GT(std::set<uint8_t>(first.begin(), first.end()).size(), 60u);
    // Animations change the picture from one step to the next.
    for (int i = 0; i < 5; i++) MapUpdateAnims();
    const std::vector<uint8_t> later = Frame(kStartX, kStartY);
    int changed = 0;
    for (size_t i = 0; i < first.size(); i++) changed += first[i] != later[i];
    EXPECT_GT(changed, 100);
}

TEST_F(DemoMapTest, EveryScrollPositionIsFullyDrawn) {
    Load();
    MapInitAnims();
    for (int y = 0; y <= 1120; y += 160) {
        for (int x = 0; x <= 960; x += 120) {
            const std::vector<uint8_t> f = Frame(x, y);
            ASSERT_EQ(std::count(f.begin(), f.end(), kMarker), 0) << "at " << x << ", " << y;
        }
    }
    const std::vector<uint8_t> f = Frame(960, 1120);
    EXPECT_EQ(std::count(f.begin(), f.end(), kMarker), 0);
}

}  // namespace
