// Tests of the software display layer: blits, colour keys, the flipping
// chain, reference counting, device contexts, locks, hooks and fault seams.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "ddblit.h"
#include "ddinternal.h"
#include "ddrun.h"

namespace {

DDSURFACEDESC PlainDesc(DWORD w, DWORD h) {
    DDSURFACEDESC d{};
    d.dwSize = sizeof d;
    d.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT;
    d.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN;
    d.dwWidth = w;
    d.dwHeight = h;
    return d;
}

DDSURFACEDESC PrimaryDesc() {
    DDSURFACEDESC d{};
    d.dwSize = sizeof d;
    d.dwFlags = DDSD_CAPS | DDSD_BACKBUFFERCOUNT | DDSD_REFRESHRATE;
    d.dwBackBufferCount = 1;
    d.dwRefreshRate = 60;
    d.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE | DDSCAPS_FLIP | DDSCAPS_COMPLEX;
    return d;
}

// The whole pixel storage of a surface, padding included.
std::vector<uint8_t> Storage(const IDirectDrawSurface* s) {
    return {s->pixels, s->pixels + size_t(s->pitch) * size_t(s->height)};
}

void FillRandom(IDirectDrawSurface* s, std::mt19937& rng, int keyShare = 0) {
    for (size_t i = 0; i < size_t(s->pitch) * size_t(s->height); ++i)
        s->pixels[i] = int(rng() % 100) < keyShare ? 0 : uint8_t(rng());
}

class Display : public ::testing::Test {
protected:
    void SetUp() override {
        DDClearFaults();
        DDSetDisplayHooks(nullptr);
        DDSetBltLog(nullptr);
        liveBefore = DDLiveObjects();
        ASSERT_EQ(DirectDrawCreate(nullptr, &dd, nullptr), DD_OK);
    }
    void TearDown() override {
        for (auto* s : owned) s->Release();
        if (dd) dd->Release();
        DDClearFaults();
        DDSetDisplayHooks(nullptr);
        DDSetBltLog(nullptr);
        EXPECT_EQ(DDLiveObjects(), liveBefore);
    }
    IDirectDrawSurface* Make(DWORD w, DWORD h) {
        DDSURFACEDESC d = PlainDesc(w, h);
        IDirectDrawSurface* s = nullptr;
        EXPECT_EQ(dd->CreateSurface(&d, &s, nullptr), DD_OK);
        if (s) owned.push_back(s);
        return s;
    }
    void OpenScreen() {
        ASSERT_EQ(dd->SetCooperativeLevel(reinterpret_cast<HWND>(this), 83), DD_OK);
        ASSERT_EQ(dd->SetDisplayMode(640, 480, 8), DD_OK);
    }
    // Every byte of dest's storage after a blit of src's rect to (x, y): the
    // source pixel inside the destination rectangle (unless keyed out), the
    // old value everywhere else, padding included.
    static void ExpectBlitted(const std::vector<uint8_t>& before, const IDirectDrawSurface* dest,
                              const IDirectDrawSurface* src, RECT r, int x, int y, bool keyed) {
        const int w = r.right - r.left, h = r.bottom - r.top;
        for (int row = 0; row < dest->height; ++row) {
            for (int col = 0; col < dest->pitch; ++col) {
                const size_t i = size_t(row) * dest->pitch + col;
                uint8_t want = before[i];
                if (col >= x && col < x + w && row >= y && row < y + h) {
                    uint8_t s = src->pixels[size_t(r.top + row - y) * src->pitch + r.left + col - x];
                    if (!keyed || s != src->colorKey) want = s;
                }
                ASSERT_EQ(dest->pixels[i], want) << "at column " << col << ", row " << row;
            }
        }
    }

    LPDIRECTDRAW dd = nullptr;
    std::vector<IDirectDrawSurface*> owned;
    int liveBefore = 0;
};

// --- BltFast -------------------------------------------------------------

TEST_F(Display, BltCopiesExactRectangleAcrossDifferentPitches) {
    std::mt19937 rng(1);
    IDirectDrawSurface* src = Make(20, 13);
    IDirectDrawSurface* dst = Make(37, 29);
    ASSERT_NE(src->pitch, src->width);
    ASSERT_EQ(src->pitch % 16, 0);
    ASSERT_EQ(dst->pitch % 16, 0);
    ASSERT_EQ(reinterpret_cast<uintptr_t>(dst->pixels) % 16, 0u);
    FillRandom(src, rng);

    struct Case {
        RECT r;
        int x, y;
    } cases[] = {
        {{3, 2, 19, 11}, 5, 7},      // interior, odd width
        {{0, 0, 16, 16 - 3}, 0, 0},  // full-width row copy at the origin
        {{4, 1, 20, 13}, 21, 17},    // ends exactly at dest's right and bottom edges
        {{19, 12, 20, 13}, 36, 28},  // one pixel at both corners
    };
    for (const Case& c : cases) {
        FillRandom(dst, rng);
        auto before = Storage(dst);
        RECT r = c.r;
        ASSERT_EQ(dst->BltFast(c.x, c.y, src, &r, DDBLTFAST_WAIT), DD_OK);
        ExpectBlitted(before, dst, src, c.r, c.x, c.y, false);
    }
}

TEST_F(Display, BltWithNullRectCopiesWholeSource) {
    std::mt19937 rng(2);
    IDirectDrawSurface* src = Make(16, 16);
    IDirectDrawSurface* dst = Make(40, 40);
    FillRandom(src, rng);
    FillRandom(dst, rng);
    auto before = Storage(dst);
    ASSERT_EQ(dst->BltFast(24, 9, src, nullptr, DDBLTFAST_WAIT), DD_OK);
    ExpectBlitted(before, dst, src, RECT{0, 0, 16, 16}, 24, 9, false);
}

TEST_F(Display, BltRefusesBadRectanglesAndDrawsNothing) {
    std::mt19937 rng(3);
    IDirectDrawSurface* src = Make(16, 16);
    IDirectDrawSurface* dst = Make(40, 30);
    FillRandom(src, rng);
    FillRandom(dst, rng);
    const auto before = Storage(dst);
    struct Case {
        RECT r;
        DWORD x, y;
    } cases[] = {
        {{4, 4, 4, 10}, 0, 0},            // empty width
        {{4, 10, 8, 10}, 0, 0},           // empty height
        {{8, 4, 4, 10}, 0, 0},            // inverted
        {{-1, 0, 8, 8}, 0, 0},            // left of the source
        {{0, -3, 8, 8}, 0, 0},            // above the source
        {{0, 0, 17, 8}, 0, 0},            // past the source's right edge
        {{0, 0, 8, 17}, 0, 0},            // past its bottom
        {{0, 0, 16, 16}, 25, 0},          // one column past dest's right edge
        {{0, 0, 16, 16}, 0, 15},          // one row past its bottom
        {{0, 0, 16, 16}, 40, 0},          // starts at the edge
        {{0, 0, 16, 16}, DWORD(-1), 0},   // negative x cast to DWORD
        {{0, 0, 16, 16}, 0, DWORD(-16)},  // x + w would wrap to 0
        {{0, 0, 16, 16}, 0x7FFFFFF8u, 0x7FFFFFF8u},
        {{0, 0, 16, 16}, DWORD(-16), DWORD(-16)},
    };
    for (const Case& c : cases) {
        RECT r = c.r;
        EXPECT_EQ(dst->BltFast(c.x, c.y, src, &r, DDBLTFAST_WAIT | DDBLTFAST_SRCCOLORKEY), DDERR_INVALIDRECT)
            << r.left << "," << r.top << "," << r.right << "," << r.bottom << " to " << c.x << "," << c.y;
    }
    EXPECT_EQ(dst->BltFast(0, 0, nullptr, nullptr, DDBLTFAST_WAIT), DDERR_INVALIDPARAMS);
    // A whole source larger than the destination.
    IDirectDrawSurface* big = Make(41, 2);
    EXPECT_EQ(dst->BltFast(0, 0, big, nullptr, DDBLTFAST_WAIT), DDERR_INVALIDRECT);
    EXPECT_EQ(Storage(dst), before);
}

TEST_F(Display, BltColourKeySkipsKeyPixelsOnlyWhenAsked) {
    std::mt19937 rng(4);
    IDirectDrawSurface* src = Make(24, 16);  // 24 wide: vector chunk plus an overlapping tail
    IDirectDrawSurface* dst = Make(64, 32);
    FillRandom(src, rng, 40);
    DDCOLORKEY key{0, 0};
    ASSERT_EQ(src->SetColorKey(DDCKEY_SRCBLT, &key), DD_OK);

    for (RECT r : {RECT{0, 0, 16, 16}, RECT{0, 0, 24, 16}, RECT{3, 1, 14, 9}, RECT{1, 0, 6, 5}}) {
        FillRandom(dst, rng);
        auto before = Storage(dst);
        ASSERT_EQ(dst->BltFast(5, 3, src, &r, DDBLTFAST_WAIT | DDBLTFAST_SRCCOLORKEY), DD_OK);
        ExpectBlitted(before, dst, src, r, 5, 3, true);

        FillRandom(dst, rng);
        before = Storage(dst);
        ASSERT_EQ(dst->BltFast(5, 3, src, &r, DDBLTFAST_WAIT), DD_OK);
        ExpectBlitted(before, dst, src, r, 5, 3, false);
    }

    // Only the low value counts; the key need not be 0.
    key = {7, 200};
    ASSERT_EQ(src->SetColorKey(DDCKEY_SRCBLT, &key), DD_OK);
    for (int i = 0; i < 24; i += 3) src->pixels[i] = 7;
    FillRandom(dst, rng);
    auto before = Storage(dst);
    ASSERT_EQ(dst->BltFast(0, 0, src, nullptr, DDBLTFAST_WAIT | DDBLTFAST_SRCCOLORKEY), DD_OK);
    ExpectBlitted(before, dst, src, RECT{0, 0, 24, 16}, 0, 0, true);
    EXPECT_EQ(dst->pixels[0], before[0]);
    EXPECT_EQ(src->SetColorKey(DDCKEY_SRCBLT, nullptr), DD_OK);
    EXPECT_FALSE(src->hasColorKey);
    EXPECT_EQ(src->SetColorKey(0, &key), DDERR_INVALIDPARAMS);
}

TEST_F(Display, BltColourKeyFlagOnSurfaceWithoutKeyCopiesEverything) {
    std::mt19937 rng(5);
    IDirectDrawSurface* src = Make(16, 16);
    IDirectDrawSurface* dst = Make(32, 32);
    FillRandom(src, rng, 50);
    FillRandom(dst, rng);
    auto before = Storage(dst);
    ASSERT_EQ(dst->BltFast(16, 16, src, nullptr, DDBLTFAST_WAIT | DDBLTFAST_SRCCOLORKEY), DD_OK);
    ExpectBlitted(before, dst, src, RECT{0, 0, 16, 16}, 16, 16, false);
}

TEST_F(Display, BltWithinOneSurfaceRefusesOverlap) {
    std::mt19937 rng(6);
    IDirectDrawSurface* s = Make(48, 32);
    FillRandom(s, rng);
    auto before = Storage(s);
    RECT r{0, 0, 16, 16};
    EXPECT_EQ(s->BltFast(15, 15, s, &r, DDBLTFAST_WAIT), DDERR_INVALIDRECT);
    EXPECT_EQ(s->BltFast(0, 0, s, &r, DDBLTFAST_WAIT), DDERR_INVALIDRECT);
    EXPECT_EQ(Storage(s), before);
    ASSERT_EQ(s->BltFast(16, 0, s, &r, DDBLTFAST_WAIT), DD_OK);  // touching, not overlapping
    ExpectBlitted(before, s, s, r, 16, 0, false);
}

TEST_F(Display, BltLogRecordsEveryCallWithItsResult) {
    IDirectDrawSurface* src = Make(16, 16);
    IDirectDrawSurface* dst = Make(32, 32);
    std::vector<DDBltRecord> log;
    DDSetBltLog(&log);
    RECT r{2, 3, 16, 16};
    dst->BltFast(1, 2, src, &r, 17);
    dst->BltFast(30, 0, src, nullptr, 16);
    dst->BltFast(0, 0, nullptr, &r, 16);
    DDSetBltLog(nullptr);
    dst->BltFast(0, 0, src, nullptr, 16);
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[0].dest, dst);
    EXPECT_EQ(log[0].src, src);
    EXPECT_EQ(log[0].x, 1u);
    EXPECT_EQ(log[0].y, 2u);
    EXPECT_EQ(log[0].rect.left, 2);
    EXPECT_EQ(log[0].rect.top, 3);
    EXPECT_EQ(log[0].flags, 17u);
    EXPECT_EQ(log[0].result, DD_OK);
    EXPECT_EQ(log[1].rect.right, 16);  // a null rect is logged as the whole source
    EXPECT_EQ(log[1].result, DDERR_INVALIDRECT);
    EXPECT_EQ(log[2].src, nullptr);
    EXPECT_EQ(log[2].result, DDERR_INVALIDPARAMS);
}

// --- Run blits -------------------------------------------------------------

// A run draws and logs what its blits would as separate BltFast calls: keyed
// and opaque mixed, tiles packed in one store, sources too small for the
// rectangle, null ones, the destination itself (apart and overlapping),
// places past the right edge and out of order, at the tile sizes with their
// own loops and at another.
TEST_F(Display, RunDrawsAndLogsAsSeparateBlits) {
    std::mt19937 rng(5);
    for (auto [w, h] : {std::pair{8, 8}, std::pair{16, 16}, std::pair{5, 3}}) {
        std::vector<uint8_t> store(size_t(w * h * 6));
        for (auto& b : store) b = rng() % 4 == 0 ? 0 : rng() % 8 == 0 ? 200 : uint8_t(rng());
        std::vector<IDirectDrawSurface*> srcs;
        for (int i = 0; i < 6; ++i) {
            DDSURFACEDESC d = PlainDesc(DWORD(w), DWORD(h));
            d.dwFlags |= DDSD_LPSURFACE | DDSD_PITCH;
            d.lPitch = w;
            d.lpSurface = store.data() + i * w * h;
            IDirectDrawSurface* t = nullptr;
            ASSERT_EQ(dd->CreateSurface(&d, &t, nullptr), DD_OK);
            owned.push_back(t);
            DDCOLORKEY key{i == 4 ? 200u : 0u, 0};
            if (i != 5) t->SetColorKey(DDCKEY_SRCBLT, &key);  // one has another key, the last none
            srcs.push_back(t);
        }
        srcs.push_back(Make(DWORD(w + 3), DWORD(h + 2)));  // wider pitch, room for an offset rectangle
        FillRandom(srcs.back(), rng, 25);
        srcs.push_back(Make(DWORD(w - 1), DWORD(h + 2)));  // too narrow
        srcs.push_back(Make(DWORD(w + 2), DWORD(h - 1)));  // too short
        srcs.push_back(nullptr);
        srcs.push_back(nullptr);  // stands for the destination
        IDirectDrawSurface* one = Make(200, 3 * h + 4);
        IDirectDrawSurface* other = Make(200, 3 * h + 4);
        for (int trial = 0; trial < 40; ++trial) {
            FillRandom(one, rng);
            std::memcpy(other->pixels, one->pixels, size_t(one->pitch) * one->height);
            RECT r{0, 0, w, h};
            if (trial % 4 == 3) r = {2, 1, w + 2, h + 1};  // fits only the wider source
            const DWORD y = DWORD(rng() % 3) * DWORD(h);
            std::vector<DDRunBlit> run, runOther;
            DWORD x = 0;
            for (int k = int(rng() % 30); k > 0; --k) {
                x = rng() % 8 ? x + DWORD(w) * (1 + rng() % 2) : DWORD(rng() % 210);
                IDirectDrawSurface* src = srcs[rng() % srcs.size()];
                const bool self = src == nullptr && rng() % 2;
                if (self && rng() % 2) x = DWORD(w / 2);  // overlaps its source on the top row
                const DWORD flags = DDBLTFAST_WAIT | (rng() % 2 ? DDBLTFAST_SRCCOLORKEY : 0);
                run.push_back({self ? one : src, x, flags});
                runOther.push_back({self ? other : src, x, flags});
            }
            std::vector<DDBltRecord> logRun, logSeparate;
            DDSetBltLog(trial % 2 ? &logRun : nullptr);
            DDBltRun(one, y, r, run.data(), int(run.size()));
            DDSetBltLog(trial % 2 ? &logSeparate : nullptr);
            for (const DDRunBlit& b : runOther) other->BltFast(b.x, y, b.src, &r, b.flags);
            DDSetBltLog(nullptr);
            ASSERT_EQ(Storage(one), Storage(other)) << w << " x " << h << ", trial " << trial;
            ASSERT_EQ(logRun.size(), logSeparate.size());
            for (size_t k = 0; k < logRun.size(); ++k) {
                const DDBltRecord &a = logRun[k], &b = logSeparate[k];
                const bool sameSrc = a.src == b.src || (a.src == one && b.src == other);
                EXPECT_TRUE(a.x == b.x && a.y == b.y && a.flags == b.flags && a.result == b.result && sameSrc &&
                            std::memcmp(&a.rect, &b.rect, sizeof a.rect) == 0)
                    << "record " << k;
            }
        }
    }
}

// --- Row blitters ----------------------------------------------------------

// Runs every keyed blitter on copies of one random buffer and compares whole
// buffers, so a vector path that differs anywhere, or writes outside its
// block, shows up.
void CompareKeyedBlitters(std::mt19937& rng, int w, int h, int keyShare, bool packed = false) {
    const int srcPitch = packed ? w : w + int(rng() % 20), dstPitch = w + int(rng() % 20);
    const int srcOff = int(rng() % 16), dstOff = int(rng() % 16);
    const uint8_t key = uint8_t(rng());
    std::vector<uint8_t> src(size_t(srcOff + srcPitch * h + 32));
    for (auto& b : src) b = int(rng() % 100) < keyShare ? key : uint8_t(rng());
    std::vector<uint8_t> plain(size_t(dstOff + dstPitch * h + 32));
    for (auto& b : plain) b = uint8_t(rng());
    std::vector<uint8_t> fast = plain, swar = plain;
    DDBlitKeyedPortable(plain.data() + dstOff, dstPitch, src.data() + srcOff, srcPitch, w, h, key);
    DDBlitKeyedFast(fast.data() + dstOff, dstPitch, src.data() + srcOff, srcPitch, w, h, key);
    DDBlitKeyedSwar(swar.data() + dstOff, dstPitch, src.data() + srcOff, srcPitch, w, h, key);
    ASSERT_EQ(fast, plain) << "fast path, width " << w << ", height " << h;
    ASSERT_EQ(swar, plain) << "8-byte path, width " << w << ", height " << h;
}

TEST(DisplayBlitters, KeyedPathsMatchPlainLoopOnRandomTiles) {
    std::mt19937 rng(7);
    for (int i = 0; i < 2000; ++i) CompareKeyedBlitters(rng, 16, 16, int(rng() % 101));
    // Tiles whose rows follow one another, as a map's graphics lie.
    for (int size : {8, 16, 32})
        for (int i = 0; i < 200; ++i) CompareKeyedBlitters(rng, size, size, int(rng() % 101), true);
}

TEST(DisplayBlitters, OpaqueCopiesExactlyTheBlockAtEveryWidth) {
    std::mt19937 rng(9);
    for (int w = 1; w <= 70; ++w) {
        const int srcPitch = w + 3, dstPitch = w + 5, h = 3;
        std::vector<uint8_t> src(size_t(srcPitch * h)), dst(size_t(dstPitch * h + 16));
        for (auto& b : src) b = uint8_t(rng());
        for (auto& b : dst) b = uint8_t(rng());
        std::vector<uint8_t> want = dst;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) want[size_t(y * dstPitch + x)] = src[size_t(y * srcPitch + x)];
        DDBlitOpaque(dst.data(), dstPitch, src.data(), srcPitch, w, h);
        ASSERT_EQ(dst, want) << "width " << w;
    }
}

TEST(DisplayBlitters, KeyedPathsMatchPlainLoopOnOddSizes) {
    std::mt19937 rng(8);
    for (int w = 1; w <= 70; ++w)
        for (int h : {1, 2, 5, 16, 17})
            for (int share : {0, 30, 100}) CompareKeyedBlitters(rng, w, h, share);
}

// --- Flipping chain and lifetime --------------------------------------------

struct Presented {
    int calls = 0;
    const uint8_t* pixels = nullptr;
    int width = 0, height = 0;
    LONG pitch = 0;
    const PALETTEENTRY* palette = nullptr;
    DWORD flags = 0;
    uint8_t firstPixel = 0;
};

void RecordPresent(const uint8_t* pixels, int width, int height, LONG pitch, const PALETTEENTRY* palette, DWORD flags,
                   void* user) {
    auto* p = static_cast<Presented*>(user);
    ++p->calls;
    *p = {p->calls, pixels, width, height, pitch, palette, flags, pixels[0]};
}

TEST_F(Display, FlipExchangesBuffersAndPresentsNewFront) {
    OpenScreen();
    DDSURFACEDESC d = PrimaryDesc();
    IDirectDrawSurface* front = nullptr;
    ASSERT_EQ(dd->CreateSurface(&d, &front, nullptr), DD_OK);
    owned.push_back(front);
    DDSCAPS caps{DDSCAPS_BACKBUFFER};
    IDirectDrawSurface* back = nullptr;
    ASSERT_EQ(front->GetAttachedSurface(&caps, &back), DD_OK);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(front->width, 640);
    EXPECT_EQ(back->height, 480);

    PALETTEENTRY entries[256]{};
    entries[1] = {10, 20, 30, 0};
    IDirectDrawPalette *palFront = nullptr, *palBack = nullptr;
    ASSERT_EQ(dd->CreatePalette(DDPCAPS_8BIT, entries, &palFront, nullptr), DD_OK);
    ASSERT_EQ(dd->CreatePalette(DDPCAPS_8BIT, entries, &palBack, nullptr), DD_OK);
    front->SetPalette(palFront);
    back->SetPalette(palBack);
    palFront->Release();
    palBack->Release();

    // Without a hook the buffers are only exchanged.
    uint8_t* const frontPixels = front->pixels;
    uint8_t* const backPixels = back->pixels;
    ASSERT_EQ(front->Flip(nullptr, DDFLIP_WAIT), DD_OK);
    EXPECT_EQ(front->pixels, backPixels);
    EXPECT_EQ(back->pixels, frontPixels);

    Presented seen;
    DDDisplayHooks hooks{};
    hooks.present = RecordPresent;
    hooks.user = &seen;
    DDSetDisplayHooks(&hooks);
    IDirectDrawSurface* tile = Make(16, 16);
    tile->pixels[0] = 42;
    ASSERT_EQ(back->BltFast(0, 0, tile, nullptr, DDBLTFAST_WAIT), DD_OK);
    ASSERT_EQ(front->Flip(back, DDFLIP_WAIT), DD_OK);
    EXPECT_EQ(seen.calls, 1);
    EXPECT_EQ(seen.pixels, front->pixels);
    EXPECT_EQ(front->pixels, frontPixels);
    EXPECT_EQ(seen.firstPixel, 42);
    EXPECT_EQ(seen.width, 640);
    EXPECT_EQ(seen.height, 480);
    EXPECT_EQ(seen.pitch, front->pitch);
    EXPECT_EQ(seen.palette, palFront->entries);
    EXPECT_EQ(seen.flags, DWORD(DDFLIP_WAIT));
    EXPECT_EQ(back->palette, palBack);  // palettes stay with their buffers
    EXPECT_EQ(back->pixels[0], 0);      // the old front, never drawn

    DDSetDisplayHooks(nullptr);
    ASSERT_EQ(front->Flip(nullptr, DDFLIP_WAIT), DD_OK);
    EXPECT_EQ(seen.calls, 1);

    EXPECT_EQ(back->Flip(nullptr, 0), DDERR_NOTFLIPPABLE);
    EXPECT_EQ(tile->Flip(nullptr, 0), DDERR_NOTFLIPPABLE);
    EXPECT_EQ(front->Flip(tile, 0), DDERR_INVALIDPARAMS);
    HDC dc = nullptr;
    ASSERT_EQ(back->GetDC(&dc), DD_OK);
    EXPECT_EQ(front->Flip(nullptr, 0), DDERR_SURFACEBUSY);
    back->ReleaseDC(dc);
}

TEST_F(Display, ReleasingPrimaryReleasesBackBufferAndPalettes) {
    OpenScreen();
    EXPECT_EQ(DDLiveObjects(), liveBefore + 1);
    DDSURFACEDESC d = PrimaryDesc();
    IDirectDrawSurface* front = nullptr;
    ASSERT_EQ(dd->CreateSurface(&d, &front, nullptr), DD_OK);
    EXPECT_EQ(DDLiveObjects(), liveBefore + 3);
    IDirectDrawSurface* back = front->backBuffer;
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->primary, front);

    PALETTEENTRY entries[256]{};
    IDirectDrawPalette* pal = nullptr;
    ASSERT_EQ(dd->CreatePalette(DDPCAPS_8BIT, entries, &pal, nullptr), DD_OK);
    front->SetPalette(pal);
    back->SetPalette(pal);
    EXPECT_EQ(pal->refs, 3u);
    EXPECT_EQ(pal->Release(), 2u);
    EXPECT_EQ(DDLiveObjects(), liveBefore + 4);

    EXPECT_EQ(back->Release(), 1u);  // a back buffer goes only with its primary
    EXPECT_EQ(DDLiveObjects(), liveBefore + 4);
    front->AddRef();
    EXPECT_EQ(front->Release(), 1u);
    EXPECT_EQ(DDLiveObjects(), liveBefore + 4);
    EXPECT_EQ(front->Release(), 0u);
    EXPECT_EQ(DDLiveObjects(), liveBefore + 1);
    EXPECT_EQ(dd->Release(), 0u);
    dd = nullptr;
    EXPECT_EQ(DDLiveObjects(), liveBefore);
}

TEST_F(Display, CreateSurfaceRefusesBadDescriptions) {
    IDirectDrawSurface* s = reinterpret_cast<IDirectDrawSurface*>(this);
    DDSURFACEDESC d = PrimaryDesc();
    EXPECT_NE(dd->CreateSurface(&d, &s, nullptr), DD_OK);  // no display mode yet
    EXPECT_EQ(s, nullptr);
    for (auto [w, h] : {std::pair<DWORD, DWORD>{0, 16}, {16, 0}, {16385, 1}, {1, 16385}, {DWORD(-1), DWORD(-1)}}) {
        d = PlainDesc(w, h);
        s = reinterpret_cast<IDirectDrawSurface*>(this);
        EXPECT_EQ(dd->CreateSurface(&d, &s, nullptr), DDERR_INVALIDPARAMS) << w << "x" << h;
        EXPECT_EQ(s, nullptr);
    }
    d = PlainDesc(16, 16);
    d.dwFlags = DDSD_CAPS | DDSD_WIDTH;
    EXPECT_EQ(dd->CreateSurface(&d, &s, nullptr), DDERR_INVALIDPARAMS);
    EXPECT_EQ(dd->CreateSurface(nullptr, &s, nullptr), DDERR_INVALIDPARAMS);

    OpenScreen();
    d = PrimaryDesc();
    d.dwBackBufferCount = 2;
    EXPECT_EQ(dd->CreateSurface(&d, &s, nullptr), DDERR_INVALIDPARAMS);
    EXPECT_EQ(DDLiveObjects(), liveBefore + 1);
    EXPECT_EQ(dd->SetDisplayMode(640, 480, 16), DDERR_INVALIDMODE);

    // A primary without a chain has nothing attached.
    d = PrimaryDesc();
    d.dwFlags = DDSD_CAPS;
    d.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE;
    ASSERT_EQ(dd->CreateSurface(&d, &s, nullptr), DD_OK);
    owned.push_back(s);
    DDSCAPS caps{DDSCAPS_BACKBUFFER};
    IDirectDrawSurface* back = s;
    EXPECT_EQ(s->GetAttachedSurface(&caps, &back), DDERR_NOTFOUND);
    EXPECT_EQ(back, nullptr);

    // New surfaces are zero-filled, padding included.
    IDirectDrawSurface* t = Make(19, 7);
    EXPECT_EQ(Storage(t), std::vector<uint8_t>(size_t(t->pitch) * 7, 0));
}

// --- Fault seam ---------------------------------------------------------------

TEST_F(Display, InjectedFaultsFailTheNthCall) {
    LPDIRECTDRAW other = dd;
    DDInjectFault(DDFAULT_DIRECTDRAWCREATE, 1);
    EXPECT_EQ(DirectDrawCreate(nullptr, &other, nullptr), DDERR_GENERIC);
    EXPECT_EQ(other, nullptr);
    ASSERT_EQ(DirectDrawCreate(nullptr, &other, nullptr), DD_OK);  // one-shot
    other->Release();

    DDInjectFault(DDFAULT_SETCOOPERATIVELEVEL, 1);
    EXPECT_EQ(dd->SetCooperativeLevel(nullptr, 83), DDERR_GENERIC);
    DDInjectFault(DDFAULT_SETDISPLAYMODE, 1);
    EXPECT_EQ(dd->SetDisplayMode(640, 480, 8), DDERR_GENERIC);
    EXPECT_EQ(dd->modeWidth, 0);
    OpenScreen();

    // The third creation from now fails; the first two succeed.
    DDInjectFault(DDFAULT_CREATESURFACE, 3);
    Make(8, 8);
    Make(8, 8);
    DDSURFACEDESC d = PrimaryDesc();
    IDirectDrawSurface* front = reinterpret_cast<IDirectDrawSurface*>(this);
    EXPECT_EQ(dd->CreateSurface(&d, &front, nullptr), DDERR_GENERIC);
    EXPECT_EQ(front, nullptr);
    ASSERT_EQ(dd->CreateSurface(&d, &front, nullptr), DD_OK);
    owned.push_back(front);

    DDSCAPS caps{DDSCAPS_BACKBUFFER};
    IDirectDrawSurface* back = front;
    DDInjectFault(DDFAULT_GETATTACHEDSURFACE, 1);
    EXPECT_EQ(front->GetAttachedSurface(&caps, &back), DDERR_GENERIC);
    EXPECT_EQ(back, nullptr);

    HDC dc = reinterpret_cast<HDC>(this);
    DDInjectFault(DDFAULT_GETDC, 1);
    EXPECT_EQ(front->GetDC(&dc), DDERR_GENERIC);
    EXPECT_EQ(dc, nullptr);
    EXPECT_FALSE(front->dcOut);

    DDSURFACEDESC ld{};
    ld.dwSize = sizeof ld;
    ld.lpSurface = this;
    DDInjectFault(DDFAULT_LOCK, 1);
    EXPECT_EQ(front->Lock(nullptr, &ld, DDLOCK_WAIT, nullptr), DDERR_GENERIC);
    EXPECT_EQ(ld.lpSurface, nullptr);
    EXPECT_FALSE(front->locked);

    // Disarming by 0 and by DDClearFaults.
    DDInjectFault(DDFAULT_LOCK, 1);
    DDInjectFault(DDFAULT_LOCK, 0);
    DDInjectFault(DDFAULT_GETDC, 1);
    DDClearFaults();
    ASSERT_EQ(front->Lock(nullptr, &ld, DDLOCK_WAIT, nullptr), DD_OK);
    front->Unlock(nullptr);
    ASSERT_EQ(front->GetDC(&dc), DD_OK);
    front->ReleaseDC(dc);
}

// --- Device contexts and locks -----------------------------------------------

TEST_F(Display, GetDCDescribesTheSurface) {
    IDirectDrawSurface* s = Make(50, 20);
    PALETTEENTRY entries[256]{};
    IDirectDrawPalette* pal = nullptr;
    ASSERT_EQ(dd->CreatePalette(DDPCAPS_8BIT, entries, &pal, nullptr), DD_OK);
    s->SetPalette(pal);
    pal->Release();

    HDC dc = nullptr;
    ASSERT_EQ(s->GetDC(&dc), DD_OK);
    ASSERT_NE(dc, nullptr);
    EXPECT_EQ(dc->bits, s->pixels);
    EXPECT_EQ(dc->width, 50);
    EXPECT_EQ(dc->height, 20);
    EXPECT_EQ(dc->pitch, 64);
    EXPECT_EQ(dc->palette, pal->entries);
    EXPECT_EQ(dc->bkColor, RGB(255, 255, 255));
    EXPECT_EQ(dc->textColor, RGB(0, 0, 0));
    EXPECT_EQ(dc->owner, s);

    HDC second = nullptr;
    EXPECT_EQ(s->GetDC(&second), DDERR_SURFACEBUSY);
    DDSURFACEDESC ld{};
    EXPECT_EQ(s->Lock(nullptr, &ld, 0, nullptr), DDERR_SURFACEBUSY);
    HDC__ stranger{};
    EXPECT_NE(s->ReleaseDC(&stranger), DD_OK);
    EXPECT_EQ(s->ReleaseDC(dc), DD_OK);
    EXPECT_NE(s->ReleaseDC(dc), DD_OK);
    ASSERT_EQ(s->GetDC(&second), DD_OK);
    EXPECT_EQ(s->ReleaseDC(second), DD_OK);

    IDirectDrawSurface* bare = Make(3, 3);
    ASSERT_EQ(bare->GetDC(&dc), DD_OK);
    EXPECT_EQ(dc->palette, nullptr);
    bare->ReleaseDC(dc);
}

TEST_F(Display, LockGivesPixelsAndPitch) {
    IDirectDrawSurface* s = Make(33, 10);
    DDSURFACEDESC ld{};
    ld.dwSize = sizeof ld;
    ASSERT_EQ(s->Lock(nullptr, &ld, DDLOCK_WAIT, nullptr), DD_OK);
    EXPECT_EQ(ld.dwSize, sizeof ld);
    EXPECT_EQ(ld.lpSurface, s->pixels);
    EXPECT_EQ(ld.lPitch, 48);
    EXPECT_EQ(ld.dwWidth, 33u);
    EXPECT_EQ(ld.dwHeight, 10u);
    EXPECT_EQ(ld.dwFlags & (DDSD_WIDTH | DDSD_HEIGHT | DDSD_PITCH | DDSD_LPSURFACE),
              DWORD(DDSD_WIDTH | DDSD_HEIGHT | DDSD_PITCH | DDSD_LPSURFACE));
    static_cast<uint8_t*>(ld.lpSurface)[2 * ld.lPitch + 32] = 9;
    EXPECT_EQ(s->Lock(nullptr, &ld, 0, nullptr), DDERR_SURFACEBUSY);
    EXPECT_EQ(s->Unlock(nullptr), DD_OK);
    EXPECT_EQ(s->Unlock(nullptr), DDERR_NOTLOCKED);

    RECT r{32, 2, 33, 3};
    ASSERT_EQ(s->Lock(&r, &ld, 0, nullptr), DD_OK);
    EXPECT_EQ(*static_cast<uint8_t*>(ld.lpSurface), 9);
    s->Unlock(nullptr);
    RECT outside{30, 0, 34, 1};
    EXPECT_EQ(s->Lock(&outside, &ld, 0, nullptr), DDERR_INVALIDRECT);
    EXPECT_FALSE(s->locked);
}

TEST_F(Display, SurfacesOnCallerMemoryShareItAndDescribeThemselves) {
    std::vector<uint8_t> store(8 * 3);  // a 5 x 3 surface at offset 3, rows 8 apart
    for (size_t i = 0; i < store.size(); i++) store[i] = uint8_t(i);
    DDSURFACEDESC d = PlainDesc(5, 3);
    d.dwFlags |= DDSD_LPSURFACE | DDSD_PITCH;
    d.lPitch = 8;
    d.lpSurface = store.data() + 3;
    IDirectDrawSurface *s = nullptr, *t = Make(16, 16);
    ASSERT_EQ(dd->CreateSurface(&d, &s, nullptr), DD_OK);
    ASSERT_EQ(t->BltFast(0, 0, s, nullptr, DDBLTFAST_WAIT), DD_OK);
    for (int y = 0; y < 3; y++)
        for (int x = 0; x < 5; x++) ASSERT_EQ(t->pixels[y * t->pitch + x], store[size_t(y * 8 + 3 + x)]);
    DDSURFACEDESC got{};
    ASSERT_EQ(s->GetSurfaceDesc(&got), DD_OK);
    EXPECT_TRUE(got.dwWidth == 5 && got.dwHeight == 3 && got.lPitch == 8 && got.ddpfPixelFormat.dwRGBBitCount == 8);
    EXPECT_EQ(s->Release(), 0u);  // leaves the store to its owner, the vector

    d.lPitch = 4;  // below the width
    EXPECT_EQ(dd->CreateSurface(&d, &s, nullptr), DDERR_INVALIDPARAMS);
    d.lPitch = 8;
    d.dwFlags &= ~DWORD(DDSD_PITCH);
    EXPECT_EQ(dd->CreateSurface(&d, &s, nullptr), DDERR_INVALIDPARAMS);
}

// --- Display object, hooks and palettes ---------------------------------------

struct HookCalls {
    HWND hwnd = nullptr;
    DWORD flags = 0;
    int width = 0, height = 0, bpp = 0;
    int calls = 0;
};

TEST_F(Display, CooperativeLevelAndModeReachTheHooks) {
    HookCalls seen;
    DDDisplayHooks hooks{};
    hooks.cooperativeLevel = [](HWND h, DWORD f, void* u) {
        auto* c = static_cast<HookCalls*>(u);
        c->hwnd = h;
        c->flags = f;
        ++c->calls;
    };
    hooks.displayMode = [](int w, int h, int b, void* u) {
        auto* c = static_cast<HookCalls*>(u);
        c->width = w;
        c->height = h;
        c->bpp = b;
        ++c->calls;
    };
    hooks.user = &seen;
    DDSetDisplayHooks(&hooks);
    hooks.user = nullptr;  // the layer keeps its own copy

    HWND window = reinterpret_cast<HWND>(&seen);
    ASSERT_EQ(dd->SetCooperativeLevel(window, 83), DD_OK);
    EXPECT_EQ(seen.hwnd, window);
    EXPECT_EQ(seen.flags, 83u);
    EXPECT_EQ(dd->coopFlags, 83u);
    ASSERT_EQ(dd->SetDisplayMode(640, 480, 8), DD_OK);
    EXPECT_EQ(seen.width, 640);
    EXPECT_EQ(seen.height, 480);
    EXPECT_EQ(seen.bpp, 8);
    EXPECT_EQ(dd->modeWidth, 640);
    EXPECT_EQ(seen.calls, 2);

    EXPECT_EQ(dd->SetCooperativeLevel(window, DDSCL_EXCLUSIVE), DDERR_INVALIDPARAMS);
    EXPECT_EQ(dd->SetDisplayMode(0, 480, 8), DDERR_INVALIDMODE);
    EXPECT_EQ(seen.calls, 2);
    DDSetDisplayHooks(nullptr);
    ASSERT_EQ(dd->SetDisplayMode(320, 240, 8), DD_OK);
    EXPECT_EQ(seen.width, 640);
}

TEST_F(Display, PaletteEntriesRoundTrip) {
    PALETTEENTRY entries[256];
    for (int i = 0; i < 256; ++i) entries[i] = {uint8_t(i), uint8_t(255 - i), uint8_t(i / 2), 0};
    IDirectDrawPalette* pal = nullptr;
    ASSERT_EQ(dd->CreatePalette(DDPCAPS_8BIT, entries, &pal, nullptr), DD_OK);
    PALETTEENTRY got[4]{};
    ASSERT_EQ(pal->GetEntries(0, 252, 4, got), DD_OK);
    EXPECT_EQ(got[3].peRed, 255);
    EXPECT_EQ(got[3].peGreen, 0);
    const PALETTEENTRY red{255, 0, 0, 0};
    ASSERT_EQ(pal->SetEntries(0, 255, 1, &red), DD_OK);
    EXPECT_EQ(pal->entries[255].peBlue, 0);
    EXPECT_EQ(pal->entries[254].peRed, 254);
    EXPECT_EQ(pal->GetEntries(0, 253, 4, got), DDERR_INVALIDPARAMS);
    EXPECT_EQ(pal->SetEntries(0, DWORD(-1), 2, &red), DDERR_INVALIDPARAMS);
    IDirectDrawPalette* none = pal;
    EXPECT_EQ(dd->CreatePalette(DDPCAPS_8BIT, nullptr, &none, nullptr), DDERR_INVALIDPARAMS);
    EXPECT_EQ(none, nullptr);
    pal->Release();
}

}  // namespace
