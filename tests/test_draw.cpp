// Drawing tests: pictures against an independent model, blits through the blit log.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "ddinternal.h"
#include "draw_model.h"
#include "mapwriter.h"
#include "vexildx.h"

namespace {

constexpr int kW = 640, kH = 480;
constexpr uint8_t kMarker = 255;  // no graphic uses it: shows untouched pixels

enum Layer { kBG, kBGT, kFG0, kFG1, kFG2, kPara };

// Graphic g: pixel values 1 to 250 with a scatter of transparent 0s.
uint8_t GfxPixel(int g, int x, int y) {
    if ((x * 3 + y * 5 + g) % 11 == 0) return 0;
    return static_cast<uint8_t>(1 + (g * 29 + x * 7 + y * 13) % 250);
}

void AddGraphics(MAPDESC& m, int ngfx) {
    const int bw = m.blockwidth, bh = m.blockheight;
    m.gfx.resize(static_cast<size_t>(ngfx) * bw * bh);
    for (int g = 0; g < ngfx; g++) {
        for (int y = 0; y < bh; y++) {
            for (int x = 0; x < bw; x++) m.gfx[(g * bh + y) * bw + x] = GfxPixel(g, x, y);
        }
    }
}

// The map the pictures are checked on: w x h cells of bw x bh pixels, 8
// blocks with varied foregrounds and triggers, three animations, and a
// layer with many cells of value 0 and of every animation.
MAPDESC DrawMap(int bw = 16, int bh = 16, int w = 50, int h = 40) {
    MAPDESC m;
    m.width = w;
    m.height = h;
    m.blockwidth = bw;
    m.blockheight = bh;
    m.cmap.resize(768);
    AddGraphics(m, 8);
    const int tile = bw * bh;
    for (int b = 0; b < 8; b++) {
        BLKSTR s{};
        s.bgoff = b * tile;
        s.fgoff = b % 2 == 0 ? ((b + 1) % 7 + 1) * tile : 0;
        s.fgoff2 = b % 3 != 0 ? ((b + 2) % 7 + 1) * tile : 0;
        s.fgoff3 = b % 4 != 3 ? ((b + 3) % 7 + 1) * tile : 0;
        s.trigger = b % 3 == 0;
        s.tl = b & 1;  // flags other than trigger must not matter
        s.unused3 = 1;
        m.blocks.push_back(s);
    }
    m.frames = {32, 64, 96, 128, 160, 0, 224};
    m.anims.push_back({ANTYPE_LOOP_FWD, 0, 0, 0, 0, 3, 0});          // blocks 1 2 3
    m.anims.push_back({ANTYPE_LOOP_BACK, 1, 0, 0, 3, 5, 3});         // blocks 4 5
    m.anims.push_back({ANTYPE_PINGPONG_FWD_OUT, 0, 0, 0, 4, 7, 4});  // blocks 5 0 7
    uint32_t seed = 12345;
    m.layers[0].resize(static_cast<size_t>(w) * h);
    for (int16_t& c : m.layers[0]) {
        seed = seed * 1103515245u + 12345u;
        const int k = static_cast<int>((seed >> 16) % 14);
        c = static_cast<int16_t>(k < 4 ? 0 : k < 11 ? (k - 3) * 32 : -16 * (k - 10));
    }
    return m;
}

// The frame entry each animation of DrawMap shows after `updates` calls of
// MapUpdateAnims, worked out from the animations' definitions.
int AnimFrame(int k, int updates) {
    switch (k) {
        case 0:
            return updates % 3;  // 0 1 2 0 ...
        case 1:
            return 4 - (updates / 2) % 2;  // every other call: 4 3 4 3 ...
        default: {
            const int p = updates % 4;  // 0 1 2 1 0 ...
            return 4 + (p < 3 ? p : 4 - p);
        }
    }
}

ModelLayer ToModel(Layer layer) {
    const ModelLayer kinds[] = {kModelBG, kModelBGT, kModelFG0, kModelFG1, kModelFG2, kModelPara};
    return kinds[layer];
}

// Paints onto `out` (pitch kW) what `layer` draws into a w x h view at
// (dx, dy) at scroll position (xo, yo) after `updates` animation steps.
void ModelDraw(const MAPDESC& m, Layer layer, int xo, int yo, int updates, std::vector<uint8_t>& out, int dx = 0,
               int dy = 0, int w = kW, int h = kH) {
    ModelView v{
        m, [&](int16_t c) { return c >= 0 ? c / 32 : m.frames[AnimFrame(-c / 16 - 1, updates)] / 32; }, xo, yo, w, h};
    ModelDraw(v, ToModel(layer), &out[dy * kW + dx], kW);
}

bool SameRect(const RECT& a, const RECT& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

class DrawTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!lpDD) {
            ASSERT_EQ(DirectDrawCreate(nullptr, &lpDD, nullptr), DD_OK);
        }
        ASSERT_EQ(DDCreatePlainSurface(lpDD, kW, kH, &target), DD_OK);
        Clear();
    }
    void TearDown() override {
        DDSetBltLog(nullptr);
        MapSetView(0, 0, kW, kH);
        MapFreeMem();
        if (target) target->Release();
    }

    void Load(const MAPDESC& m) {
        std::vector<uint8_t> img = MapSerialize(m);
        ASSERT_EQ(MapDecode(img.data(), img.size()), 0) << mapreason;
    }

    void Clear() {
        for (int y = 0; y < target->height; y++)
            std::memset(target->pixels + y * target->pitch, kMarker, target->width);
    }

    std::vector<uint8_t> Pixels() const {
        std::vector<uint8_t> p(kW * kH);
        for (int y = 0; y < kH; y++) std::memcpy(&p[y * kW], target->pixels + y * target->pitch, kW);
        return p;
    }

    void Draw(Layer layer, int xo, int yo) {
        switch (layer) {
            case kBG:
                MapDraw8BG(target, xo, yo);
                break;
            case kBGT:
                MapDraw8BGT(target, xo, yo);
                break;
            case kFG0:
                MapDraw8FG(target, xo, yo, 0);
                break;
            case kFG1:
                MapDraw8FG(target, xo, yo, 1);
                break;
            case kFG2:
                MapDraw8FG(target, xo, yo, 2);
                break;
            case kPara:
                MapDrawPara(target, xo, yo);
                break;
        }
    }

    // The blits one draw makes.
    std::vector<DDBltRecord> Blits(Layer layer, int xo, int yo) {
        std::vector<DDBltRecord> log;
        DDSetBltLog(&log);
        Draw(layer, xo, yo);
        DDSetBltLog(nullptr);
        return log;
    }

    LPDIRECTDRAWSURFACE target = nullptr;
};

// A 50 x 40 layer of one cell value over DrawMap's blocks.
MAPDESC UniformMap(int16_t v, int w = 50, int h = 40) {
    MAPDESC m = DrawMap();
    m.width = w;
    m.height = h;
    m.layers[0].assign(static_cast<size_t>(w) * h, v);
    return m;
}

TEST_F(DrawTest, EveryLayerMatchesTheModel) {
    const MAPDESC m = DrawMap();
    Load(m);
    MapInitAnims();
    const int positions[][2] = {{0, 0}, {16, 32}, {5, 3}, {27, 141}, {160, 160}, {159, 1}, {1, 159}, {48, 7}};
    const int steps[] = {0, 1, 2, 3, 5};
    int updates = 0;
    for (int s : steps) {
        for (; updates < s; updates++) MapUpdateAnims();
        for (auto& pos : positions) {
            for (Layer layer : {kBG, kBGT, kFG0, kFG1, kFG2, kPara}) {
                Clear();
                Draw(layer, pos[0], pos[1]);
                std::vector<uint8_t> want(kW * kH, kMarker);
                ModelDraw(m, layer, pos[0], pos[1], updates, want);
                ASSERT_TRUE(Pixels() == want)
                    << "layer " << layer << " at " << pos[0] << "," << pos[1] << " after " << updates;
            }
        }
    }
}

TEST_F(DrawTest, FrameOfThreeLayersMatchesTheModel) {
    const MAPDESC m = DrawMap();
    Load(m);
    MapInitAnims();
    for (int n = 0; n < 7; n++) MapUpdateAnims();
    for (auto& pos : {std::pair{37, 93}, std::pair{112, 0}}) {
        Clear();
        std::vector<uint8_t> want(kW * kH, kMarker);
        for (Layer layer : {kPara, kBGT, kFG0}) {
            Draw(layer, pos.first, pos.second);
            ModelDraw(m, layer, pos.first, pos.second, 7, want);
        }
        EXPECT_TRUE(Pixels() == want) << pos.first << "," << pos.second;
    }
}

TEST_F(DrawTest, BlitCountsAndCoverage) {
    Load(UniformMap(32));
    const struct {
        int xo, yo;
        size_t n;
    } cases[] = {{0, 0, 1200}, {5, 0, 1230}, {0, 3, 1240}, {5, 3, 1271}, {16, 16, 1200}, {160, 160, 1200}};
    for (auto c : cases) {
        const std::vector<DDBltRecord> log = Blits(kBG, c.xo, c.yo);
        ASSERT_EQ(log.size(), c.n) << c.xo << "," << c.yo;
        // The destinations tile the target exactly once.
        std::vector<int> cover(kW * kH, 0);
        for (const DDBltRecord& b : log) {
            EXPECT_EQ(b.result, DD_OK);
            EXPECT_EQ(b.dest, target);
            EXPECT_EQ(b.flags, static_cast<DWORD>(DDBLTFAST_WAIT));
            for (LONG y = 0; y < b.rect.bottom - b.rect.top; y++) {
                for (LONG x = 0; x < b.rect.right - b.rect.left; x++) cover[(b.y + y) * kW + b.x + x]++;
            }
        }
        EXPECT_EQ(std::count(cover.begin(), cover.end(), 1), kW * kH) << c.xo << "," << c.yo;
    }
}

TEST_F(DrawTest, WalkOrderAndRectanglesOffTheGrid) {
    Load(UniformMap(32));
    const std::vector<DDBltRecord> log = Blits(kBG, 5, 3);
    ASSERT_EQ(log.size(), 1271u);
    struct Want {
        size_t n;
        DWORD x, y;
        RECT r;
    };
    const Want wants[] = {
        {0, 0, 0, {5, 3, 16, 16}},   // top-left
        {1, 0, 13, {5, 0, 16, 16}},  // left column, downward
        {2, 0, 29, {5, 0, 16, 16}},    {29, 0, 461, {5, 0, 16, 16}},  {30, 0, 477, {5, 0, 16, 3}},  // bottom-left
        {31, 11, 477, {0, 0, 16, 3}},                                  // bottom row, rightward
        {69, 619, 477, {0, 0, 16, 3}}, {70, 635, 477, {0, 0, 5, 3}},   // bottom-right
        {71, 635, 461, {0, 0, 5, 16}},                                 // right column, upward
        {99, 635, 13, {0, 0, 5, 16}},  {100, 635, 0, {0, 3, 5, 16}},   // top-right
        {101, 619, 0, {0, 3, 16, 16}},                                 // top row, leftward
        {139, 11, 0, {0, 3, 16, 16}},  {140, 11, 13, {0, 0, 16, 16}},  // interior, row by row
        {141, 27, 13, {0, 0, 16, 16}}, {179, 11, 29, {0, 0, 16, 16}}, {1270, 619, 461, {0, 0, 16, 16}},
    };
    for (const Want& w : wants) {
        const DDBltRecord& b = log[w.n];
        EXPECT_TRUE(b.x == w.x && b.y == w.y && SameRect(b.rect, w.r))
            << "blit " << w.n << " at " << b.x << "," << b.y << " rect " << b.rect.left << "," << b.rect.top << ","
            << b.rect.right << "," << b.rect.bottom;
    }
}

TEST_F(DrawTest, OnTheGridEveryRectangleIsWhole) {
    Load(UniformMap(32));
    const std::vector<DDBltRecord> log = Blits(kBG, 16, 0);
    ASSERT_EQ(log.size(), 1200u);
    for (const DDBltRecord& b : log) EXPECT_TRUE(SameRect(b.rect, RECT{0, 0, 16, 16}));
    EXPECT_EQ(log[29].y, 464u);  // bottom-left
    EXPECT_EQ(log[68].x, 624u);  // bottom-right
}

TEST_F(DrawTest, ZeroLayerDrawsOnlyTheRing) {
    Load(UniformMap(0));  // block 0: trigger set, a layer-0 and a layer-2 graphic, none in layer 1
    for (Layer layer : {kBGT, kFG0}) {
        EXPECT_EQ(Blits(layer, 0, 0).size(), 136u) << layer;
        EXPECT_EQ(Blits(layer, 5, 3).size(), 140u) << layer;
    }
    EXPECT_EQ(Blits(kFG1, 5, 3).size(), 0u);
    EXPECT_EQ(Blits(kBG, 5, 3).size(), 1271u);
    EXPECT_EQ(Blits(kPara, 5, 3).size(), 1271u);  // parallax treats 0 like any cell

    Clear();
    MapDraw8BGT(target, 5, 3);
    MapDraw8FG(target, 5, 3, 0);
    const std::vector<uint8_t> p = Pixels();
    for (int y = 13; y < 477; y++) {
        for (int x = 11; x < 635; x++) ASSERT_EQ(p[y * kW + x], kMarker) << x << "," << y;
    }
}

TEST_F(DrawTest, TransparentBackgroundFollowsTrigger) {
    Load(UniformMap(3 * 32));  // block 3: trigger set
    std::vector<DDBltRecord> bg = Blits(kBG, 5, 3);
    std::vector<DDBltRecord> bgt = Blits(kBGT, 5, 3);
    ASSERT_EQ(bgt.size(), bg.size());
    for (size_t n = 0; n < bg.size(); n++) {
        EXPECT_TRUE(bgt[n].x == bg[n].x && bgt[n].y == bg[n].y && bgt[n].src == bg[n].src &&
                    SameRect(bgt[n].rect, bg[n].rect));
        EXPECT_EQ(bgt[n].flags, static_cast<DWORD>(DDBLTFAST_WAIT | DDBLTFAST_SRCCOLORKEY));
    }

    MapFreeMem();
    Load(UniformMap(32));  // block 1: trigger clear, other flag bits set
    for (const DDBltRecord& b : Blits(kBGT, 5, 3)) EXPECT_EQ(b.flags, static_cast<DWORD>(DDBLTFAST_WAIT));
}

TEST_F(DrawTest, ForegroundLayerSelectsItsGraphic) {
    Load(UniformMap(2 * 32));  // block 2: graphics in all three layers
    const MAPBLOCK* b = MapResolveCell(64);
    const LPDIRECTDRAWSURFACE want[3] = {b->fgoff, b->fgoff2, b->fgoff3};
    ASSERT_TRUE(want[0] && want[1] && want[2] && want[0] != want[1] && want[1] != want[2]);
    const Layer layers[3] = {kFG0, kFG1, kFG2};
    for (int f = 0; f < 3; f++) {
        const std::vector<DDBltRecord> log = Blits(layers[f], 5, 3);
        ASSERT_EQ(log.size(), 1271u);
        for (const DDBltRecord& r : log) {
            EXPECT_EQ(r.src, want[f]);
            EXPECT_EQ(r.flags, static_cast<DWORD>(DDBLTFAST_WAIT | DDBLTFAST_SRCCOLORKEY));
        }
    }
}

TEST_F(DrawTest, ParallaxRectangles) {
    Load(UniformMap(0));  // block 0 has trigger: every cell gets the parallax
    for (const DDBltRecord& b : Blits(kPara, 0, 0)) EXPECT_TRUE(SameRect(b.rect, RECT{16, 16, 32, 32}));

    const std::vector<DDBltRecord> log = Blits(kPara, 5, 3);
    ASSERT_EQ(log.size(), 1271u);
    const struct {
        size_t n;
        RECT r;
    } wants[] = {
        {0, {19, 18, 30, 31}},   {1, {19, 15, 30, 31}},   {30, {19, 15, 30, 18}},
        {31, {14, 15, 30, 18}},  {70, {14, 15, 19, 18}},  {71, {14, 15, 19, 31}},
        {100, {14, 18, 19, 31}}, {101, {14, 18, 30, 31}}, {140, {14, 15, 30, 31}},
    };
    for (auto w : wants) {
        EXPECT_TRUE(SameRect(log[w.n].rect, w.r)) << "blit " << w.n;
        EXPECT_EQ(log[w.n].src, lpDDSPara);
        EXPECT_EQ(log[w.n].flags, static_cast<DWORD>(DDBLTFAST_WAIT));
    }

    const std::vector<DDBltRecord> at30 = Blits(kPara, 30, 0);
    EXPECT_TRUE(SameRect(at30[0].rect, RECT{15, 16, 17, 32}));
    const std::vector<DDBltRecord> at32 = Blits(kPara, 32, 0);
    EXPECT_TRUE(SameRect(at32[0].rect, RECT{16, 16, 32, 32}));
    EXPECT_EQ(at32.size(), 1200u);

    MapFreeMem();
    Load(UniformMap(32));  // no trigger anywhere
    EXPECT_EQ(Blits(kPara, 5, 3).size(), 0u);
}

TEST_F(DrawTest, PositionsOutsideTheMapAreClamped) {
    Load(DrawMap());
    MapInitAnims();
    const struct {
        int xo, yo, cx, cy;
    } cases[] = {{-40, -3, 0, 0}, {10000, 10000, 160, 160}, {-1, 170, 0, 160}, {161, 17, 160, 17}};
    for (auto c : cases) {
        for (Layer layer : {kBG, kBGT, kFG0, kPara}) {
            Clear();
            Draw(layer, c.cx, c.cy);
            const std::vector<uint8_t> want = Pixels();
            Clear();
            Draw(layer, c.xo, c.yo);
            EXPECT_TRUE(Pixels() == want) << layer << " at " << c.xo << "," << c.yo;
        }
    }
}

TEST_F(DrawTest, NothingDrawnWithoutAUsableMapOrTarget) {
    auto none = [&](const char* what) {
        for (Layer layer : {kBG, kBGT, kFG0, kPara}) EXPECT_EQ(Blits(layer, 0, 0).size(), 0u) << what;
    };
    none("no map");

    Load(UniformMap(32, 39, 30));
    none("39 x 30");
    MapFreeMem();
    Load(UniformMap(32, 40, 29));
    none("40 x 29");
    MapFreeMem();

    Load(UniformMap(0, 40, 30));  // exactly the view
    EXPECT_EQ(Blits(kBG, 7, 9).size(), 1200u);
    Clear();
    for (int mapfg : {3, -1, 100}) {
        std::vector<DDBltRecord> log;
        DDSetBltLog(&log);
        MapDraw8FG(target, 0, 0, mapfg);
        MapDraw8BG(nullptr, 0, 0);
        MapDraw8BGT(nullptr, 0, 0);
        MapDraw8FG(nullptr, 0, 0, 0);
        MapDrawPara(nullptr, 0, 0);
        DDSetBltLog(nullptr);
        EXPECT_EQ(log.size(), 0u) << mapfg;
    }

    const LPDIRECTDRAWSURFACE para = lpDDSPara;
    lpDDSPara = nullptr;
    const size_t n = Blits(kPara, 0, 0).size();
    lpDDSPara = para;
    EXPECT_EQ(n, 0u);
    EXPECT_EQ(Pixels(), std::vector<uint8_t>(kW * kH, kMarker));
}

// Views of every kind over maps of several block sizes, 1 x 1 and
// non-square ones included: the pixels of each layer against the model,
// nothing outside the view touched, and the opaque background's blits
// covering the view exactly once.
TEST_F(DrawTest, ViewsAndBlockSizesMatchTheModel) {
    const int sizes[][2] = {{1, 1}, {5, 11}, {24, 16}, {32, 32}, {16, 16}};
    for (auto [bw, bh] : sizes) {
        // 1 x 1 blocks: rows of 300 cells, longer than one run of the walk
        const MAPDESC m = DrawMap(bw, bh, bw == 1 ? 300 : std::min(50, 600 / bw), std::min(40, 450 / bh));
        Load(m);
        MapInitAnims();
        const int mapw = m.width * bw, maph = m.height * bh;
        const struct {
            int dx, dy, w, h;
        } views[] = {
            {3, 2, 1, 1},
            {0, 5, std::max(1, bw - 2), std::min(maph, 3 * bh + 5)},  // narrower than a block
            {7, 0, std::min(mapw, 2 * bw + 9), std::max(1, bh / 2)},  // shorter than a block
            {11, 9, std::min(mapw, 203), std::min(maph, 151)},
            {0, 0, mapw, maph},  // the whole map
        };
        int updates = 0;
        for (auto view : views) {
            ASSERT_EQ(MapSetView(view.dx, view.dy, view.w, view.h), 0);
            const int maxx = mapw - view.w, maxy = maph - view.h;
            const int positions[][2] = {{0, 0},
                                        {std::min(bw, maxx), std::min(2 * bh, maxy)},
                                        {std::min(bw + 3, maxx), std::min(bh / 2 + 1, maxy)},
                                        {maxx, maxy}};
            for (auto [xo, yo] : positions) {
                MapUpdateAnims();
                updates++;
                for (Layer layer : {kBG, kBGT, kFG0, kFG1, kFG2, kPara}) {
                    SCOPED_TRACE(::testing::Message() << bw << "x" << bh << " view " << view.w << "x" << view.h
                                                      << " at " << xo << "," << yo << " layer " << layer);
                    Clear();
                    std::vector<DDBltRecord> log;
                    DDSetBltLog(&log);
                    Draw(layer, xo, yo);
                    DDSetBltLog(nullptr);
                    std::vector<uint8_t> want(kW * kH, kMarker);
                    ModelDraw(m, layer, xo, yo, updates, want, view.dx, view.dy, view.w, view.h);
                    ASSERT_TRUE(Pixels() == want);
                    if (layer != kBG) continue;
                    std::vector<int> cover(kW * kH, 0);
                    for (const DDBltRecord& b : log) {
                        for (LONG y = 0; y < b.rect.bottom - b.rect.top; y++) {
                            for (LONG x = 0; x < b.rect.right - b.rect.left; x++) cover[(b.y + y) * kW + b.x + x]++;
                        }
                    }
                    ASSERT_EQ(std::count(cover.begin(), cover.end(), 1), view.w * view.h);
                    ASSERT_EQ(std::count(cover.begin(), cover.end(), 0), kW * kH - view.w * view.h);
                }
            }
        }
        MapFreeMem();
        MapSetView(0, 0, kW, kH);
    }
}

TEST_F(DrawTest, ViewsOutsideTheirDestinationDrawNothing) {
    Load(UniformMap(0));
    for (auto [x, y, w, h] : {std::array{0, 0, 0, 10}, {0, 0, 10, 4097}, {-1, 0, 10, 10}}) {
        EXPECT_EQ(MapSetView(x, y, w, h), -1);
    }
    EXPECT_TRUE(mapviewx == 0 && mapviewy == 0 && mapvieww == kW && mapviewh == kH) << "a refused view changed";
    // One column past the right edge, one row past the bottom, wider than the map.
    for (auto [x, y, w, h] : {std::array{600, 0, 41, 480}, {0, 479, 640, 2}, {0, 0, 50 * 16 + 1, 2}}) {
        ASSERT_EQ(MapSetView(x, y, w, h), 0);
        for (Layer layer : {kBG, kBGT, kFG0, kPara}) EXPECT_EQ(Blits(layer, 0, 0).size(), 0u) << layer;
    }
    EXPECT_EQ(Pixels(), std::vector<uint8_t>(kW * kH, kMarker));
}

}  // namespace
