// Presenter tests: every conversion loop against a plain model, the letterbox
// geometry, and frames read back from a window on SDL's offscreen driver.
#include <SDL.h>
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "ddinternal.h"
#include "vxconvert.h"

namespace {

uint32_t Next(uint32_t& s) {
    s = s * 1664525u + 1013904223u;
    return s >> 8;
}

// Odd widths around the 8- and 64-pixel steps, rows with slack in both
// pitches, a bottom-up source, and tables with one and with many top bytes.
TEST(PresentConvert, EveryPathMatchesThePlainModel) {
    int ran = 0;
    for (int pi = 0; pi < VXCONV_COUNT; pi++) {
        const auto path = VxConvertPath(pi);
        if (!VxConvertAvailable(path)) continue;
        ran++;
        for (bool sameTop : {true, false}) {
            uint32_t seed = 5, table[256];
            for (uint32_t& t : table) t = sameTop ? 0xFF000000u | Next(seed) : Next(seed) * 2654435761u;
            for (int w : {1, 7, 8, 9, 63, 64, 65, 127, 200, 643}) {
                for (bool upward : {false, true}) {
                    SCOPED_TRACE(testing::Message() << VxConvertName(path) << " width " << w << " same top " << sameTop
                                                    << " bottom-up " << upward);
                    const int h = 3, sp = w + 5, dw = w + 3;  // dst row: w pixels and 3 guards
                    std::vector<uint8_t> src(size_t(sp) * h);
                    for (uint8_t& b : src) b = uint8_t(Next(seed));
                    std::vector<uint32_t> dst(size_t(dw) * h, 0xDEADBEEFu);
                    const uint8_t* first = upward ? &src[size_t(sp) * (h - 1)] : src.data();
                    VxConvertWith(path, first, upward ? -sp : sp, dst.data(), dw * 4, w, h, table);
                    for (int y = 0; y < h; y++) {
                        const uint8_t* s = &src[size_t(sp) * (upward ? h - 1 - y : y)];
                        for (int x = 0; x < dw; x++) {
                            const uint32_t want = x < w ? table[s[x]] : 0xDEADBEEFu;
                            ASSERT_EQ(dst[size_t(dw) * y + x], want) << "at " << x << ", " << y;
                        }
                    }
                }
            }
        }
    }
    EXPECT_GE(ran, 2);  // the plain and the 64-bit loop run everywhere
}

TEST(PresentLetterbox, WholeScalesCentredOrShrunkToFit) {
    struct Case {
        int w, h, ow, oh, scale;
        RECT box;
    };
    const Case cases[] = {
        {640, 480, 640, 480, 1, {0, 0, 640, 480}},
        {640, 480, 1920, 1080, 2, {320, 60, 1600, 1020}},  // height decides
        {320, 240, 1366, 768, 3, {203, 24, 1163, 744}},    // odd bar split
        {320, 240, 2000, 720, 3, {520, 0, 1480, 720}},     // wide output
        {640, 480, 320, 400, 0, {0, 80, 320, 320}},        // smaller: shrunk, width decides
        {640, 480, 1000, 300, 0, {300, 0, 700, 300}},      // smaller: height decides
        {640, 480, 0, 480, 0, {0, 0, 0, 0}},               // nothing to draw on
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.w << "x" << c.h << " in " << c.ow << "x" << c.oh);
        RECT r{-1, -1, -1, -1};
        EXPECT_EQ(VxPresentLetterbox(c.w, c.h, c.ow, c.oh, &r), c.scale);
        EXPECT_TRUE(r.left == c.box.left && r.top == c.box.top && r.right == c.box.right && r.bottom == c.box.bottom)
            << r.left << " " << r.top << " " << r.right << " " << r.bottom;
    }
}

// A window on the offscreen driver, read back after each present.
class PresentWindow : public testing::Test {
protected:
    static constexpr int kW = 61, kH = 37, kPitch = 64;

    void SetUp() override {
        p = VxPresentOpen("present test", kW, kH, 2, VXP_RESIZABLE);
        ASSERT_NE(p, nullptr) << VxPresentError();
        VxPresentSetPacing(p, 0);
        uint32_t seed = 9;
        pixels.resize(size_t(kPitch) * kH);
        for (uint8_t& b : pixels) b = uint8_t(Next(seed));
        for (int i = 0; i < 768; i++) grey[i] = uint8_t(i / 3), rgb[i] = uint8_t(Next(seed));
    }
    void TearDown() override { VxPresentClose(p); }

    // Every pixel of the drawable: the source pixel's colour inside the
    // letterbox, black outside.
    void ExpectShown(const uint8_t* src, LONG pitch, const uint8_t* palette, int w = kW, int h = kH) {
        SDL_Renderer* r = SDL_GetRenderer(VxPresentWindow(p));
        int ow = 0, oh = 0;
        ASSERT_EQ(SDL_GetRendererOutputSize(r, &ow, &oh), 0);
        std::vector<uint32_t> out(size_t(ow) * oh);
        ASSERT_EQ(SDL_RenderReadPixels(r, nullptr, SDL_PIXELFORMAT_ARGB8888, out.data(), ow * 4), 0);
        RECT box;
        const int scale = VxPresentLetterbox(w, h, ow, oh, &box);
        ASSERT_GT(scale, 0);
        for (int y = 0; y < oh; y++) {
            for (int x = 0; x < ow; x++) {
                uint32_t want = 0xFF000000u;
                if (x >= box.left && x < box.right && y >= box.top && y < box.bottom) {
                    const int i = src[ptrdiff_t(pitch) * ((y - box.top) / scale) + (x - box.left) / scale];
                    want |= uint32_t(palette[3 * i]) << 16 | uint32_t(palette[3 * i + 1]) << 8 | palette[3 * i + 2];
                }
                ASSERT_EQ(out[size_t(ow) * y + x], want) << "at " << x << ", " << y << " in " << ow << "x" << oh;
            }
        }
    }

    VxPresenter* p = nullptr;
    std::vector<uint8_t> pixels;
    uint8_t rgb[768], grey[768];
};

TEST_F(PresentWindow, FrameFollowsPaletteAndWindowSize) {
    VxPresentSetPaletteRGB(p, rgb);
    ASSERT_EQ(VxPresentFrame(p, pixels.data(), kPitch, kW, kH), 0);
    ExpectShown(pixels.data(), kPitch, rgb);
    VxPresentTimes t{};
    VxPresentGetTimes(p, &t);
    EXPECT_GT(t.total, 0);
    EXPECT_GE(t.total, t.convert + t.render + t.present);

    // Wider and less tall: scale 2 still, the picture moves.
    SDL_SetWindowSize(VxPresentWindow(p), 200, 90);
    SDL_PumpEvents();
    ASSERT_EQ(VxPresentFrame(p, pixels.data(), kPitch, kW, kH), 0);
    ExpectShown(pixels.data(), kPitch, rgb);
    // Larger: scale 3.
    SDL_SetWindowSize(VxPresentWindow(p), 190, 120);
    SDL_PumpEvents();
    ASSERT_EQ(VxPresentFrame(p, pixels.data(), kPitch, kW, kH), 0);
    ExpectShown(pixels.data(), kPitch, rgb);
    // A smaller frame in the same window: the last one's edges must go.
    ASSERT_EQ(VxPresentFrame(p, pixels.data(), kPitch, kW - 20, kH - 10), 0);
    ExpectShown(pixels.data(), kPitch, rgb, kW - 20, kH - 10);

    EXPECT_EQ(VxPresentFrame(p, pixels.data(), kW - 1, kW, kH), -1);  // pitch shorter than a row
    EXPECT_EQ(VxPresentFrame(p, nullptr, kPitch, kW, kH), -1);
    EXPECT_EQ(VxPresentFrame(p, pixels.data(), kPitch, 0, kH), -1);
}

// A display-layer surface shows through its own palette when it has one,
// and leaves the presenter's palette as it was.
TEST_F(PresentWindow, SurfaceThroughItsPalette) {
    LPDIRECTDRAW dd = nullptr;
    ASSERT_EQ(DirectDrawCreate(nullptr, &dd, nullptr), DD_OK);
    LPDIRECTDRAWSURFACE s = nullptr;
    ASSERT_EQ(DDCreatePlainSurface(dd, kW, kH, &s), DD_OK);
    for (int y = 0; y < kH; y++) std::memcpy(s->pixels + ptrdiff_t(s->pitch) * y, &pixels[size_t(kPitch) * y], kW);
    PALETTEENTRY entries[256];
    for (int i = 0; i < 256; i++) entries[i] = {rgb[3 * i], rgb[3 * i + 1], rgb[3 * i + 2], 0};
    LPDIRECTDRAWPALETTE pal = nullptr;
    ASSERT_EQ(dd->CreatePalette(DDPCAPS_8BIT, entries, &pal, nullptr), DD_OK);
    ASSERT_EQ(VxPresentSurface(p, s), 0);
    ExpectShown(s->pixels, s->pitch, grey);
    ASSERT_EQ(s->SetPalette(pal), DD_OK);
    ASSERT_EQ(VxPresentSurface(p, s), 0);
    ExpectShown(s->pixels, s->pitch, rgb);
    ASSERT_EQ(VxPresentFrame(p, pixels.data(), kPitch, kW, kH), 0);
    ExpectShown(pixels.data(), kPitch, grey);

    DDSURFACEDESC d{};  // a surface someone holds locked is refused
    d.dwSize = sizeof d;
    ASSERT_EQ(s->Lock(nullptr, &d, DDLOCK_WAIT, nullptr), DD_OK);
    EXPECT_EQ(VxPresentSurface(p, s), -1);
    s->Unlock(d.lpSurface);
    pal->Release();
    s->Release();
    dd->Release();
    EXPECT_EQ(DDLiveObjects(), 0);
}

TEST_F(PresentWindow, FullscreenToggleAndBack) {
    VxPresentSetPaletteRGB(p, rgb);
    ASSERT_EQ(VxPresentToggleFullscreen(p), 1);
    SDL_PumpEvents();
    ASSERT_EQ(VxPresentFrame(p, pixels.data(), kPitch, kW, kH), 0);
    ExpectShown(pixels.data(), kPitch, rgb);
    ASSERT_EQ(VxPresentToggleFullscreen(p), 0);
    SDL_PumpEvents();
    ASSERT_EQ(VxPresentFrame(p, pixels.data(), kPitch, kW, kH), 0);
    ExpectShown(pixels.data(), kPitch, rgb);
}

// XRGB frames show as they are; a redraw fits the last frame into the window
// as it is now, and there is none to redraw before the first.
TEST_F(PresentWindow, XrgbFramesAndRedrawAfterResize) {
    EXPECT_EQ(VxPresentRedraw(p), -1);
    const int pitch = kW + 3;  // in pixels
    std::vector<uint32_t> xrgb(size_t(pitch) * kH, 0xFF123456u);
    for (int y = 0; y < kH; y++) {
        for (int x = 0; x < kW; x++) {
            const uint8_t* c = &rgb[3 * pixels[size_t(kPitch) * y + x]];
            xrgb[size_t(pitch) * y + x] = 0xFF000000u | uint32_t(c[0]) << 16 | uint32_t(c[1]) << 8 | c[2];
        }
    }
    ASSERT_EQ(VxPresentFrame32(p, xrgb.data(), pitch * 4, kW, kH), 0);
    ExpectShown(pixels.data(), kPitch, rgb);
    SDL_SetWindowSize(VxPresentWindow(p), 250, 160);
    SDL_PumpEvents();
    ASSERT_EQ(VxPresentRedraw(p), 0);
    ExpectShown(pixels.data(), kPitch, rgb);
    EXPECT_EQ(VxPresentFrame32(p, xrgb.data(), kW * 4 - 1, kW, kH), -1);  // pitch shorter than a row
}

// On the caller's window the presenter makes a renderer and frees it on close,
// or shares the window's own, whose logical size must not shift the frame.
TEST(PresentAttach, CallersWindowAndRenderer) {
    ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_VIDEO), 0) << SDL_GetError();
    SDL_Window* w = SDL_CreateWindow("own", 0, 0, 50, 40, 0);
    ASSERT_NE(w, nullptr);
    VxPresenter* p = VxPresentAttach(w, 0);
    ASSERT_NE(p, nullptr) << VxPresentError();
    EXPECT_NE(SDL_GetRenderer(w), nullptr);
    VxPresentClose(p);
    EXPECT_EQ(SDL_GetRenderer(w), nullptr);

    SDL_Renderer* r = SDL_CreateRenderer(w, -1, SDL_RENDERER_SOFTWARE);
    ASSERT_NE(r, nullptr);
    SDL_RenderSetLogicalSize(r, 10, 10);
    p = VxPresentAttach(w, 0);
    ASSERT_NE(p, nullptr) << VxPresentError();
    const uint8_t frame[2] = {1, 2};  // 2 x 1 at scale 25 fills the window's width
    PALETTEENTRY pal[256] = {};
    pal[1] = {255, 0, 0, 0};
    pal[2] = {0, 0, 255, 0};
    VxPresentSetPalette(p, pal);
    ASSERT_EQ(VxPresentFrame(p, frame, 2, 2, 1), 0);
    uint32_t row[50];
    const SDL_Rect line{0, 20, 50, 1};
    ASSERT_EQ(SDL_RenderReadPixels(r, &line, SDL_PIXELFORMAT_ARGB8888, row, sizeof row), 0) << SDL_GetError();
    EXPECT_TRUE(row[0] == 0xFFFF0000u && row[24] == 0xFFFF0000u && row[25] == 0xFF0000FFu && row[49] == 0xFF0000FFu);
    VxPresentClose(p);
    EXPECT_EQ(SDL_GetRenderer(w), r);
    SDL_DestroyRenderer(r);
    SDL_DestroyWindow(w);
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    EXPECT_EQ(VxPresentAttach(nullptr, 0), nullptr);
    EXPECT_EQ(VxPresentOpen("bad", 0, 10, 1, 0), nullptr);
}

// On X11 with no window manager a fullscreen request leaves the window as it
// was while SDL reports the desktop's size, and a resize comes as a configure
// event: frames go where the window really is. ctest runs this on a 1280 x 800
// Xvfb screen of its own.
TEST(PresentX11, FramesFollowTheRealWindowSize) {
    const char* driver = SDL_getenv("SDL_VIDEODRIVER");
    if (!driver || std::strcmp(driver, "x11")) GTEST_SKIP() << "needs SDL's X11 driver";
    VxPresenter* p = VxPresentOpen("x11 test", 160, 120, 2, 0);
    ASSERT_NE(p, nullptr) << VxPresentError();
    VxPresentSetPacing(p, 0);
    std::vector<uint8_t> frame(160 * 120, 1);
    int w = 0, h = 0;
    RECT box;
    auto shown = [&] {
        SDL_PumpEvents();
        EXPECT_EQ(VxPresentFrame(p, frame.data(), 160, 160, 120), 0);
        VxPresentGetOutput(p, &w, &h, &box);
    };
    ASSERT_EQ(VxPresentToggleFullscreen(p), 1);
    shown();
    EXPECT_EQ(w, 320);
    EXPECT_EQ(h, 240);
    EXPECT_TRUE(box.left == 0 && box.top == 0 && box.right == 320 && box.bottom == 240);
    ASSERT_EQ(VxPresentToggleFullscreen(p), 0);

    SDL_SetWindowSize(VxPresentWindow(p), 400, 300);
    for (int i = 0; i < 200 && w != 400; i++) {
        SDL_Delay(10);
        shown();
    }
    EXPECT_EQ(h, 300);
    EXPECT_TRUE(box.left == 40 && box.top == 30 && box.right == 360 && box.bottom == 270);
    VxPresentClose(p);
}

}  // namespace
