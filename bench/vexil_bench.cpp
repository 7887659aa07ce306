// Benchmarks of a demo frame (640 x 480, and 1920 x 1080 with several block
// sizes), map loads, the animation step, the presenter and the window layer's
// present, measured against SDL2's software blitter and plain memcpy; prints
// the ratios last.
#include <SDL.h>
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ddinternal.h"
#include "mapwriter.h"
#include "vexildx.h"
#ifdef VEXIL_PLATFORMER_DATA
#include "game.h"
#include "view.h"
#endif
#include "vxconvert.h"
#ifdef VEXIL_BENCH_WINDOW
#include "wininternal.h"
#endif

LPDIRECTDRAW lpDD = nullptr;

namespace {

constexpr int kW = 640, kH = 480;
constexpr int kW1080 = 1920, kH1080 = 1080;

// Small deterministic generator so that every run builds the same maps.
struct Lcg {
    uint32_t s;
    uint32_t Next(uint32_t n) {
        s = s * 1664525u + 1013904223u;
        return (s >> 8) % n;
    }
};

void GreyRamp(MAPDESC& m) {
    m.cmap.resize(768);
    for (int i = 0; i < 768; i++) m.cmap[i] = static_cast<uint8_t>(i / 3);
}

// `ngfx` graphics of the map's block size; odd ones have palette index 0 on
// a quarter of their pixels so that colour-keyed blits have holes to skip.
void Graphics(MAPDESC& m, int ngfx) {
    const int bw = m.blockwidth, bh = m.blockheight;
    m.gfx.resize(static_cast<size_t>(ngfx) * bw * bh);
    for (int g = 0; g < ngfx; g++) {
        for (int y = 0; y < bh; y++) {
            for (int x = 0; x < bw; x++) {
                const bool hole = (g & 1) && ((x ^ y) & 3) == 0;
                m.gfx[(static_cast<size_t>(g) * bh + y) * bw + x] =
                    hole ? 0 : static_cast<uint8_t>(1 + (g * 29 + x * 3 + y * 7) % 254);
            }
        }
    }
}

// A demo-like map of w x h cells of `block` pixels: 64 blocks over 48
// graphics, a quarter of them trigger blocks with see-through backgrounds, a
// third with a foreground; 32 animations of every type; about 12 % animated
// cells and 5 % of value 0.
MAPDESC FrameMapOf(int block, int w, int h) {
    MAPDESC m;
    m.width = w;
    m.height = h;
    m.blockwidth = m.blockheight = block;
    GreyRamp(m);
    Graphics(m, 48);
    const int tile = block * block;
    for (int b = 0; b < 64; b++) {
        BLKSTR s{};
        s.trigger = b % 4 == 0;
        s.bgoff = (s.trigger ? (b % 23) * 2 + 1 : (b % 24) * 2) * tile;
        s.fgoff = b % 3 == 0 ? ((b * 5) % 23 * 2 + 1) * tile : 0;
        m.blocks.push_back(s);
    }
    for (int a = 0; a < 32; a++) {
        for (int f = 0; f < 4; f++) m.frames.push_back((a * 4 + f * 7) % 64 * 32);
        m.anims.push_back(
            {static_cast<signed char>(1 + a % 8), static_cast<signed char>(a % 4), 0, 0, 4 * a, 4 * a + 4, 4 * a});
    }
    Lcg r{1};
    for (int i = 0; i < w * h; i++) {
        const uint32_t k = r.Next(100);
        int16_t v = k < 12   ? static_cast<int16_t>(-16 * (1 + r.Next(32)))
                    : k < 17 ? 0
                             : static_cast<int16_t>(32 * r.Next(64));
        m.layers[0].push_back(v);
    }
    return m;
}

// The 640 x 480 frame's map: 100 x 100 cells of 16 x 16.
MAPDESC FrameMap() { return FrameMapOf(16, 100, 100); }
// The 1920 x 1080 frames' maps: room to scroll past the view.
MAPDESC FrameMap8() { return FrameMapOf(8, 300, 200); }
MAPDESC FrameMap16() { return FrameMapOf(16, 150, 100); }
MAPDESC FrameMap32() { return FrameMapOf(32, 75, 50); }

MAPDESC (*FrameMapFor(int block))() { return block == 8 ? FrameMap8 : block == 16 ? FrameMap16 : FrameMap32; }

// A large map: 1000 x 1000 cells, 1000 blocks over 255 graphics, 2000
// animations of four frames each.
MAPDESC LoadMap() {
    MAPDESC m;
    m.width = m.height = 1000;
    GreyRamp(m);
    Graphics(m, 255);
    for (int b = 0; b < 1000; b++) {
        BLKSTR s{};
        s.bgoff = (b % 255) * 256;
        s.fgoff = b % 3 == 0 ? ((b + 1) % 254 + 1) * 256 : 0;
        s.trigger = b % 4 == 0;
        m.blocks.push_back(s);
    }
    for (int a = 0; a < 2000; a++) {
        for (int f = 0; f < 4; f++) m.frames.push_back((a * 3 + f * 11) % 1000 * 32);
        m.anims.push_back({static_cast<signed char>(1 + a % 8), static_cast<signed char>(a % 5), 0, 0, 4 * a, 4 * a + 4,
                           4 * a + a % 4});
    }
    Lcg r{7};
    m.layers[0].reserve(1000 * 1000);
    for (int i = 0; i < 1000 * 1000; i++) {
        const uint32_t k = r.Next(100);
        m.layers[0].push_back(k < 12 ? static_cast<int16_t>(-16 * (1 + r.Next(2000)))
                                     : static_cast<int16_t>(32 * r.Next(1000)));
    }
    return m;
}

// 4000 graphics of 16 x 16 and a block for each, on a 200 x 200 map whose
// cells use the first 1024 blocks (as many as cells can reach).
MAPDESC Load4000Map() {
    MAPDESC m;
    m.width = m.height = 200;
    GreyRamp(m);
    Graphics(m, 4000);
    for (int b = 0; b < 4000; b++) {
        BLKSTR s{};
        s.bgoff = b * 256;
        s.fgoff = b % 3 == 0 ? (3999 - b) * 256 : 0;
        s.trigger = b % 4 == 0;
        m.blocks.push_back(s);
    }
    Lcg r{11};
    for (int i = 0; i < 200 * 200; i++) m.layers[0].push_back(static_cast<int16_t>(32 * r.Next(1024)));
    return m;
}

// 2047 animations of types 1 to 8, all stepping on every call.
MAPDESC AnimMap() {
    MAPDESC m;
    m.width = m.height = 64;
    GreyRamp(m);
    Graphics(m, 16);
    for (int b = 0; b < 16; b++) {
        BLKSTR s{};
        s.bgoff = b * 256;
        m.blocks.push_back(s);
    }
    for (int a = 0; a < 2047; a++) {
        const int len = 1 + a % 6;
        const int start = static_cast<int>(m.frames.size());
        for (int f = 0; f < len; f++) m.frames.push_back((a + f) % 16 * 32);
        m.anims.push_back({static_cast<signed char>(1 + a % 8), 0, 0, 0, start, start + len, start});
    }
    m.layers[0].assign(64 * 64, 0);
    return m;
}

const std::vector<uint8_t>& Image(MAPDESC (*make)()) {
    static std::map<MAPDESC (*)(), std::vector<uint8_t>> images;
    auto it = images.find(make);
    if (it == images.end()) it = images.emplace(make, MapSerialize(make())).first;
    return it->second;
}

LPDIRECTDRAWSURFACE MakeTarget(int w = kW, int h = kH) {
    LPDIRECTDRAWSURFACE s = nullptr;
    return DDCreatePlainSurface(lpDD, w, h, &s) == DD_OK ? s : nullptr;
}

// The surface's pixels as 640 x 480 contiguous bytes.
std::vector<uint8_t> Pixels(LPDIRECTDRAWSURFACE s, int w, int h) {
    std::vector<uint8_t> out;
    DDSURFACEDESC d{};
    d.dwSize = sizeof d;
    if (s->Lock(nullptr, &d, DDLOCK_WAIT, nullptr) != DD_OK) return out;
    out.resize(static_cast<size_t>(w) * h);
    for (int y = 0; y < h; y++) {
        std::memcpy(&out[static_cast<size_t>(y) * w], static_cast<uint8_t*>(d.lpSurface) + y * d.lPitch, w);
    }
    s->Unlock(d.lpSurface);
    return out;
}

void Frame(LPDIRECTDRAWSURFACE target, int x, int y) {
    MapUpdateAnims();
    MapDrawPara(target, x, y);
    MapDraw8BGT(target, x, y);
    MapDraw8FG(target, x, y, 0);
}

bool LoadFrameMap(benchmark::State& state, MAPDESC (*make)() = FrameMap) {
    const std::vector<uint8_t>& img = Image(make);
    if (MapDecode(img.data(), img.size()) != 0) {
        state.SkipWithError(("frame map rejected: " + std::string(mapreason)).c_str());
        return false;
    }
    MapInitAnims();
    return true;
}

void BM_Frame(benchmark::State& state) {
    const int x = static_cast<int>(state.range(0)), y = static_cast<int>(state.range(1));
    if (!LoadFrameMap(state)) return;
    LPDIRECTDRAWSURFACE target = MakeTarget();
    if (!target) return state.SkipWithError("no target surface");
    for (auto _ : state) {
        Frame(target, x, y);
        benchmark::ClobberMemory();
    }
    target->Release();
    MapFreeMem();
}
BENCHMARK(BM_Frame)->ArgNames({"x", "y"})->Args({5, 3})->Args({0, 0});

// The frame map with its cells as numbers, as a map past 1,024 blocks or
// 2,048 animations stores them: the same frame, at the same cost.
MAPDESC FrameMapNumbered() {
    MAPDESC m = FrameMap();
    MapRecodeCells(m, true);
    return m;
}

void BM_FrameNumbered(benchmark::State& state) {
    const int x = static_cast<int>(state.range(0)), y = static_cast<int>(state.range(1));
    if (!LoadFrameMap(state, FrameMapNumbered)) return;
    LPDIRECTDRAWSURFACE target = MakeTarget();
    if (!target) return state.SkipWithError("no target surface");
    for (auto _ : state) {
        Frame(target, x, y);
        benchmark::ClobberMemory();
    }
    target->Release();
    MapFreeMem();
}
BENCHMARK(BM_FrameNumbered)->ArgNames({"x", "y"})->Args({5, 3})->Args({0, 0});

// A 1920 x 1080 view at (5, 3), every edge clipped, on a map of 8, 16 or 32
// pixel blocks.
void BM_Frame1080(benchmark::State& state) {
    if (!LoadFrameMap(state, FrameMapFor(static_cast<int>(state.range(0))))) return;
    LPDIRECTDRAWSURFACE target = MakeTarget(kW1080, kH1080);
    if (!target) return state.SkipWithError("no target surface");
    MapSetView(0, 0, kW1080, kH1080);
    for (auto _ : state) {
        Frame(target, 5, 3);
        benchmark::ClobberMemory();
    }
    MapSetView(0, 0, kW, kH);
    target->Release();
    MapFreeMem();
}
BENCHMARK(BM_Frame1080)->ArgName("block")->Arg(8)->Arg(16)->Arg(32);

// The blits of one frame at (x, y) into a w x h target, recorded from the
// display layer and replayed with SDL_BlitSurface on 8-bit surfaces that
// share one palette, colour key 0. The map is loaded and the view set.
void ReplayWithSDL(benchmark::State& state, bool rle, int w, int h, int x, int y) {
    LPDIRECTDRAWSURFACE target = MakeTarget(w, h);
    if (!target) return state.SkipWithError("no target surface");
    MapUpdateAnims();
    std::vector<DDBltRecord> log;
    DDSetBltLog(&log);
    MapDrawPara(target, x, y);
    MapDraw8BGT(target, x, y);
    MapDraw8FG(target, x, y, 0);
    DDSetBltLog(nullptr);
    const std::vector<uint8_t> want = Pixels(target, w, h);

    SDL_Palette* palette = SDL_AllocPalette(256);
    SDL_Color colours[256];
    for (int i = 0; i < 256; i++) colours[i] = {mappept[i].peRed, mappept[i].peGreen, mappept[i].peBlue, 255};
    SDL_SetPaletteColors(palette, colours, 0, 256);
    auto make = [&](int sw, int sh) {
        SDL_Surface* s = SDL_CreateRGBSurfaceWithFormat(0, sw, sh, 8, SDL_PIXELFORMAT_INDEX8);
        SDL_SetSurfacePalette(s, palette);
        return s;
    };
    // Each source surface once opaque and once colour-keyed.
    std::map<const IDirectDrawSurface*, std::pair<SDL_Surface*, SDL_Surface*>> sources;
    struct Blit {
        SDL_Surface* src;
        SDL_Rect from, to;
    };
    std::vector<Blit> blits;
    bool failed = false;
    for (const DDBltRecord& r : log) {
        failed |= r.result != DD_OK;
        auto it = sources.find(r.src);
        if (it == sources.end()) {
            auto* src = const_cast<IDirectDrawSurface*>(r.src);
            const std::vector<uint8_t> px = Pixels(src, src->width, src->height);
            std::pair<SDL_Surface*, SDL_Surface*> pair{make(src->width, src->height), make(src->width, src->height)};
            for (SDL_Surface* s : {pair.first, pair.second}) {
                for (int row = 0; row < src->height; row++) {
                    std::memcpy(static_cast<uint8_t*>(s->pixels) + row * s->pitch,
                                &px[static_cast<size_t>(row) * src->width], src->width);
                }
            }
            SDL_SetColorKey(pair.second, SDL_TRUE, 0);
            if (rle) SDL_SetSurfaceRLE(pair.second, 1);
            it = sources.emplace(r.src, pair).first;
        }
        SDL_Surface* s = (r.flags & DDBLTFAST_SRCCOLORKEY) ? it->second.second : it->second.first;
        blits.push_back({s,
                         {r.rect.left, r.rect.top, r.rect.right - r.rect.left, r.rect.bottom - r.rect.top},
                         {static_cast<int>(r.x), static_cast<int>(r.y), 0, 0}});
    }
    SDL_Surface* dest = make(w, h);
    auto replay = [&] {
        for (const Blit& b : blits) {
            SDL_Rect to = b.to;
            SDL_BlitSurface(b.src, &b.from, dest, &to);
        }
    };
    // The replay must draw the frame the library drew, or the comparison is void.
    SDL_FillRect(dest, nullptr, 0);
    replay();
    bool same = !want.empty();
    for (int row = 0; same && row < h; row++) {
        same = !std::memcmp(static_cast<uint8_t*>(dest->pixels) + row * dest->pitch,
                            &want[static_cast<size_t>(row) * w], w);
    }
    if (failed) {
        state.SkipWithError("a recorded blit failed");
    } else if (!same) {
        state.SkipWithError("the SDL replay differs from the library's frame");
    } else {
        for (auto _ : state) {
            replay();
            benchmark::ClobberMemory();
        }
        state.counters["blits"] = static_cast<double>(blits.size());
    }
    SDL_FreeSurface(dest);
    for (auto& [k, pair] : sources) {
        SDL_FreeSurface(pair.first);
        SDL_FreeSurface(pair.second);
    }
    SDL_FreePalette(palette);
    target->Release();
}

void BM_FrameSDL(benchmark::State& state, bool rle) {
    if (!LoadFrameMap(state)) return;
    ReplayWithSDL(state, rle, kW, kH, static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    MapFreeMem();
}
BENCHMARK_CAPTURE(BM_FrameSDL, plain, false)->ArgNames({"x", "y"})->Args({5, 3})->Args({0, 0});
BENCHMARK_CAPTURE(BM_FrameSDL, rle, true)->ArgNames({"x", "y"})->Args({5, 3})->Args({0, 0});

// 256 sprites of 16 x 16 over a 640 x 480 view of the frame map scrolled to
// (5, 3): a quarter of them flipped (each way in turn), a tenth of them
// across the view's edges, a quarter of their pixels see-through.
struct SpriteScene {
    std::vector<std::vector<uint8_t>> pixels;
    std::vector<MAPSPRITE> sprites;
    struct Place {
        int x, y, flags;
    };
    std::vector<Place> places;
    SpriteScene() {
        uint32_t seed = 12345;
        auto next = [&] { return seed = seed * 1103515245u + 12345u, seed >> 8; };
        for (int i = 0; i < 256; i++) {
            std::vector<uint8_t> px(256);
            for (uint8_t& p : px) p = next() % 4 ? static_cast<uint8_t>(1 + next() % 255) : 0;
            pixels.push_back(std::move(px));
        }
        for (int i = 0; i < 256; i++) {
            sprites.push_back({"", 16, 16, 16, 16, 1, 0, 0, 16, pixels[i].data()});
            int x = static_cast<int>(next() % 624), y = static_cast<int>(next() % 464);
            if (i % 10 == 0) x = i % 20 ? -8 : 632, y = i % 30 ? y : -9;
            places.push_back({5 + x, 3 + y, i % 4 ? 0 : 1 + i / 4 % 3});
        }
    }
    void Draw(LPDIRECTDRAWSURFACE target) const {
        for (size_t i = 0; i < sprites.size(); i++) {
            MapDrawSprite(target, 5, 3, &sprites[i], places[i].x, places[i].y, places[i].flags);
        }
    }
};

void BM_Sprites(benchmark::State& state) {
    if (!LoadFrameMap(state)) return;
    LPDIRECTDRAWSURFACE target = MakeTarget();
    if (!target) return state.SkipWithError("no target surface");
    const SpriteScene scene;
    for (auto _ : state) {
        scene.Draw(target);
        benchmark::ClobberMemory();
    }
    target->Release();
    MapFreeMem();
}
BENCHMARK(BM_Sprites);

// SDL2 blitting the same sprites colour-keyed into an 8-bit surface; the
// flipped ones as flipped copies made beforehand (SDL's blitter has no
// flips). Timed only when SDL's picture equals the library's.
void BM_SpritesSDL(benchmark::State& state) {
    if (!LoadFrameMap(state)) return;
    LPDIRECTDRAWSURFACE target = MakeTarget();
    if (!target) return state.SkipWithError("no target surface");
    const SpriteScene scene;
    DDSURFACEDESC d{};
    d.dwSize = sizeof d;
    target->Lock(nullptr, &d, DDLOCK_WAIT, nullptr);
    for (int y = 0; y < kH; y++) std::memset(static_cast<uint8_t*>(d.lpSurface) + y * d.lPitch, 0, kW);
    target->Unlock(d.lpSurface);
    scene.Draw(target);
    const std::vector<uint8_t> want = Pixels(target, kW, kH);
    target->Release();

    std::vector<SDL_Surface*> srcs;
    for (size_t i = 0; i < scene.sprites.size(); i++) {
        SDL_Surface* s = SDL_CreateRGBSurfaceWithFormat(0, 16, 16, 8, SDL_PIXELFORMAT_INDEX8);
        const int f = scene.places[i].flags;
        for (int y = 0; y < 16; y++) {
            for (int x = 0; x < 16; x++) {
                const int sx = f & MAPSPRITE_FLIPX ? 15 - x : x, sy = f & MAPSPRITE_FLIPY ? 15 - y : y;
                static_cast<uint8_t*>(s->pixels)[y * s->pitch + x] = scene.pixels[i][sy * 16 + sx];
            }
        }
        SDL_SetColorKey(s, SDL_TRUE, 0);
        srcs.push_back(s);
    }
    SDL_Surface* dest = SDL_CreateRGBSurfaceWithFormat(0, kW, kH, 8, SDL_PIXELFORMAT_INDEX8);
    auto draw = [&] {
        for (size_t i = 0; i < srcs.size(); i++) {
            SDL_Rect to{scene.places[i].x - 5, scene.places[i].y - 3, 0, 0};
            SDL_BlitSurface(srcs[i], nullptr, dest, &to);
        }
    };
    SDL_FillRect(dest, nullptr, 0);
    draw();
    bool same = true;
    for (int y = 0; same && y < kH; y++) {
        same = !std::memcmp(static_cast<uint8_t*>(dest->pixels) + y * dest->pitch, &want[size_t(y) * kW], kW);
    }
    if (!same) {
        state.SkipWithError("SDL's sprites differ from the library's");
    } else {
        for (auto _ : state) {
            draw();
            benchmark::ClobberMemory();
        }
    }
    SDL_FreeSurface(dest);
    for (SDL_Surface* s : srcs) SDL_FreeSurface(s);
    MapFreeMem();
}
BENCHMARK(BM_SpritesSDL);

// SDL's plain blitter, and the RLE one, replaying BM_Frame1080's blits.
void BM_FrameSDL1080(benchmark::State& state, bool rle) {
    if (!LoadFrameMap(state, FrameMapFor(static_cast<int>(state.range(0))))) return;
    MapSetView(0, 0, kW1080, kH1080);
    ReplayWithSDL(state, rle, kW1080, kH1080, 5, 3);
    MapSetView(0, 0, kW, kH);
    MapFreeMem();
}
void BM_FrameSDL1080(benchmark::State& state) { BM_FrameSDL1080(state, false); }
void BM_FrameSDL1080RLE(benchmark::State& state) { BM_FrameSDL1080(state, true); }
BENCHMARK(BM_FrameSDL1080)->ArgName("block")->Arg(8)->Arg(16)->Arg(32);
BENCHMARK(BM_FrameSDL1080RLE)->ArgName("block")->Arg(8)->Arg(16)->Arg(32);

void BM_Memcpy3(benchmark::State& state) {
    std::vector<uint8_t> a(kW * kH, 1), b(kW * kH, 2), c(kW * kH, 3), dest(kW * kH);
    // Each copy is made visible, or clang drops the copies nothing reads.
    benchmark::DoNotOptimize(dest.data());
    for (auto _ : state) {
        std::memcpy(dest.data(), a.data(), dest.size());
        benchmark::ClobberMemory();
        std::memcpy(dest.data(), b.data(), dest.size());
        benchmark::ClobberMemory();
        std::memcpy(dest.data(), c.data(), dest.size());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_Memcpy3);

void BM_Memcpy3_1080(benchmark::State& state) {
    const size_t n = size_t{kW1080} * kH1080;
    std::vector<uint8_t> a(n, 1), b(n, 2), c(n, 3), dest(n);
    benchmark::DoNotOptimize(dest.data());
    for (auto _ : state) {
        std::memcpy(dest.data(), a.data(), n);
        benchmark::ClobberMemory();
        std::memcpy(dest.data(), b.data(), n);
        benchmark::ClobberMemory();
        std::memcpy(dest.data(), c.data(), n);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_Memcpy3_1080);

void Load(benchmark::State& state, MAPDESC (*make)()) {
    const std::vector<uint8_t>& img = Image(make);
    for (auto _ : state) {
        if (MapDecode(img.data(), img.size()) != 0) {
            state.SkipWithError(("load map rejected: " + std::string(mapreason)).c_str());
            break;
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(img.size()));
    MapFreeMem();
}

void MemcpyImage(benchmark::State& state, MAPDESC (*make)()) {
    const std::vector<uint8_t>& img = Image(make);
    std::vector<uint8_t> copy(img.size());
    benchmark::DoNotOptimize(copy.data());
    for (auto _ : state) {
        std::memcpy(copy.data(), img.data(), img.size());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(img.size()));
}

void BM_Load(benchmark::State& state) { Load(state, LoadMap); }
void BM_MemcpyImage(benchmark::State& state) { MemcpyImage(state, LoadMap); }
void BM_Load4000(benchmark::State& state) { Load(state, Load4000Map); }
void BM_MemcpyImage4000(benchmark::State& state) { MemcpyImage(state, Load4000Map); }
BENCHMARK(BM_Load)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MemcpyImage)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Load4000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MemcpyImage4000)->Unit(benchmark::kMicrosecond);

void BM_UpdateAnims(benchmark::State& state) {
    const std::vector<uint8_t>& img = Image(AnimMap);
    if (MapDecode(img.data(), img.size()) != 0) {
        return state.SkipWithError(("animation map rejected: " + std::string(mapreason)).c_str());
    }
    MapInitAnims();
    for (auto _ : state) {
        MapUpdateAnims();
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * 2047);
    MapFreeMem();
}
BENCHMARK(BM_UpdateAnims);

// --- Presenter: palette conversion and the whole present ----------------------

// A 640 x 480 frame of varied indices and a table of varied colours.
struct ConvertInput {
    std::vector<uint8_t> pixels;
    uint32_t table[256];
    ConvertInput() : pixels(size_t(kW) * kH) {
        Lcg r{11};
        for (uint8_t& p : pixels) p = static_cast<uint8_t>(r.Next(256));
        for (uint32_t& t : table) t = 0xFF000000u | r.Next(1u << 24);
    }
};

void BM_Memcpy32(benchmark::State& state) {
    std::vector<uint32_t> a(size_t(kW) * kH, 1), dest(size_t(kW) * kH);
    benchmark::DoNotOptimize(dest.data());
    for (auto _ : state) {
        std::memcpy(dest.data(), a.data(), dest.size() * 4);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_Memcpy32);

void BM_PaletteConvert(benchmark::State& state) {
    const ConvertInput in;
    std::vector<uint32_t> dest(size_t(kW) * kH);
    for (auto _ : state) {
        VxPresentConvert(in.pixels.data(), kW, dest.data(), kW * 4, kW, kH, in.table);
        benchmark::ClobberMemory();
    }
    state.SetLabel(VxConvertName(VxConvertBest()));
}
BENCHMARK(BM_PaletteConvert);

// Each conversion loop this processor runs.
void BM_PaletteConvertPath(benchmark::State& state) {
    const auto path = static_cast<VxConvertPath>(state.range(0));
    if (!VxConvertAvailable(path)) return state.SkipWithError("not on this processor");
    const ConvertInput in;
    std::vector<uint32_t> dest(size_t(kW) * kH);
    for (auto _ : state) {
        VxConvertWith(path, in.pixels.data(), kW, dest.data(), kW * 4, kW, kH, in.table);
        benchmark::ClobberMemory();
    }
    state.SetLabel(VxConvertName(path));
}
BENCHMARK(BM_PaletteConvertPath)->ArgName("path")->DenseRange(0, VXCONV_COUNT - 1);

// The whole present of a 640 x 480 frame (conversion into the streaming
// texture, upload, clear, the copy at scale 1 or 2, present) on SDL's
// offscreen driver with the software renderer, no pacing.
void BM_Present(benchmark::State& state) {
    const int scale = static_cast<int>(state.range(0));
    SDL_SetHint(SDL_HINT_VIDEODRIVER, "offscreen");
    VxPresenter* p = VxPresentOpen("bench", kW, kH, scale, 0);
    if (!p) return state.SkipWithError(VxPresentError());
    VxPresentSetPacing(p, 0);
    const ConvertInput in;
    bool ok = true;
    VxPresentTimes sum{}, t;
    for (auto _ : state) {
        ok &= VxPresentFrame(p, in.pixels.data(), kW, kW, kH) == 0;
        VxPresentGetTimes(p, &t);
        sum.convert += t.convert;
        sum.render += t.render;
        sum.present += t.present;
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["convert_us"] = sum.convert / n;
    state.counters["render_us"] = sum.render / n;
    state.counters["present_us"] = sum.present / n;
    VxPresentClose(p);
    if (!ok) state.SkipWithError("VxPresentFrame failed");
}
BENCHMARK(BM_Present)->ArgName("scale")->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);

#ifdef VEXIL_BENCH_WINDOW
// What a flip costs the game: the window layer turns the 640 x 480 frame into
// XRGB through its palette, updates the texture, copies it into the window
// and presents it. On SDL's offscreen driver (unless SDL_VIDEODRIVER names
// another), with no pacing, so only the work is measured.
void BM_PresentWindow(benchmark::State& state) {
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    WinSetFramePacing(false);
    const char* why = nullptr;
    if (WinOpenDisplay(&why) != 0) {
        state.SkipWithError(why ? why : "no display");
        return;
    }
    WNDCLASSA wc{};
    wc.lpfnWndProc = DefWindowProcA;
    wc.lpszClassName = "bench";
    RegisterClassA(&wc);
    HWND w =
        CreateWindowExA(WS_EX_TOPMOST, "bench", "present", WS_POPUP, 0, 0, kW, kH, nullptr, nullptr, nullptr, nullptr);
    ShowWindow(w, SW_SHOW);
    LPDIRECTDRAW dd = nullptr;
    LPDIRECTDRAWSURFACE primary = nullptr, back = nullptr;
    LPDIRECTDRAWPALETTE pal = nullptr;
    DDSURFACEDESC desc{};
    desc.dwSize = sizeof desc;
    desc.dwFlags = DDSD_CAPS | DDSD_BACKBUFFERCOUNT;
    desc.dwBackBufferCount = 1;
    desc.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE | DDSCAPS_FLIP | DDSCAPS_COMPLEX;
    DDSCAPS caps{DDSCAPS_BACKBUFFER};
    PALETTEENTRY entries[256];
    for (int i = 0; i < 256; i++) entries[i] = PALETTEENTRY{uint8_t(i), uint8_t(255 - i), uint8_t(i / 2), 0};
    if (!w || DirectDrawCreate(nullptr, &dd, nullptr) != DD_OK ||
        dd->SetCooperativeLevel(w, DDSCL_FULLSCREEN | DDSCL_EXCLUSIVE) != DD_OK ||
        dd->SetDisplayMode(kW, kH, 8) != DD_OK || dd->CreateSurface(&desc, &primary, nullptr) != DD_OK ||
        primary->GetAttachedSurface(&caps, &back) != DD_OK ||
        dd->CreatePalette(DDPCAPS_8BIT, entries, &pal, nullptr) != DD_OK) {
        state.SkipWithError("cannot open the display on the window");
    } else {
        primary->SetPalette(pal);
        for (int y = 0; y < kH; y++) {
            for (int x = 0; x < kW; x++) back->pixels[y * back->pitch + x] = uint8_t(x ^ y);
        }
        for (auto _ : state) primary->Flip(nullptr, DDFLIP_WAIT);
    }
    if (primary) primary->Release();
    if (pal) pal->Release();
    if (dd) dd->Release();
    WinShutdown();
}
BENCHMARK(BM_PresentWindow)->Unit(benchmark::kMicrosecond);
#endif

#ifdef VEXIL_PLATFORMER_DATA
// --- The platformer ------------------------------------------------------------------
// The level as the build imported it, through the game's 320 x 240 view. A
// step is what the game does 60 times a second: its rules (movement,
// collision, pick-ups, camera), MapUpdateAnims and the draw; the draw alone,
// over the same run's states, is the yardstick.

struct Platformer {
    PfGame g;
    PfView v;
    std::string error;
    Platformer() {
        if (MapLoad(VEXIL_PLATFORMER_DATA "/level.fmp") != 0) {
            error = "cannot load the level";
            return;
        }
        error = PfLoad(g);
        if (error.empty()) error = PfViewOpen(v, VEXIL_PLATFORMER_DATA, 320, 240);
    }
    ~Platformer() {
        PfViewClose(v);
        MapFreeMem();
        MapSetView(0, 0, kW, kH);  // the other benchmarks draw 640 x 480
    }
    // Runs right and jumps for 20 steps of every 40; plays again after a
    // fall into water, at the goal, or after 3000 steps.
    void Step(int i) {
        PfInput in;
        in.right = true;
        in.jump = i % 40 < 20;
        PfStep(g, in);
        if (g.resets || g.complete || g.step >= 3000) PfRestart(g), g.step = 0;
    }
};

void BM_PlatformerStep(benchmark::State& state) {
    Platformer p;
    if (!p.error.empty()) return state.SkipWithError(p.error.c_str());
    int i = 0;
    for (auto _ : state) {
        p.Step(i++);
        PfViewDraw(p.v, p.g);
    }
}
BENCHMARK(BM_PlatformerStep);

void BM_PlatformerDraw(benchmark::State& state) {
    Platformer p;
    if (!p.error.empty()) return state.SkipWithError(p.error.c_str());
    // What the draw reads of each state: the player, the camera, the score.
    struct Seen {
        PfPlayer player;
        int camX, camY, score;
    };
    std::vector<Seen> run;
    for (int i = 0; i < 3000; i++) {
        p.Step(i);
        run.push_back({p.g.p, p.g.camX, p.g.camY, p.g.score});
    }
    size_t i = 0;
    for (auto _ : state) {
        p.g.p = run[i].player;
        p.g.camX = run[i].camX, p.g.camY = run[i].camY, p.g.score = run[i].score;
        PfViewDraw(p.v, p.g);
        i = i + 1 < run.size() ? i + 1 : 0;
    }
}
BENCHMARK(BM_PlatformerDraw);
#endif

// Passes every report on to the reporter of the format asked for (console,
// json or csv) and keeps the CPU time per iteration of every run, the
// fastest repetition, for the ratios printed at the end.
class RatioReporter : public benchmark::BenchmarkReporter {
public:
    explicit RatioReporter(const std::string& format) {
        if (format == "json") {
            inner_ = std::make_unique<benchmark::JSONReporter>();
        } else if (format == "csv") {
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"  // still offered by --benchmark_format
            inner_ = std::make_unique<benchmark::CSVReporter>();
#pragma GCC diagnostic pop
        } else {
            // Colour only on a terminal, so that captured output stays plain text.
            using Console = benchmark::ConsoleReporter;
            inner_ = std::make_unique<Console>(isatty(fileno(stdout)) ? Console::OO_ColorTabular : Console::OO_Tabular);
            console_ = true;
        }
    }

    bool ReportContext(const Context& context) override { return inner_->ReportContext(context); }
    void Finalize() override { inner_->Finalize(); }

    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& r : runs) {
            if (r.run_type != Run::RT_Iteration || r.error_occurred || r.iterations == 0) continue;
            const double t = r.cpu_accumulated_time / static_cast<double>(r.iterations);
            auto it = seconds_.find(r.benchmark_name());
            if (it == seconds_.end() || t < it->second) seconds_[r.benchmark_name()] = t;
        }
        inner_->ReportRuns(runs);
    }

    // On the console the table follows the results; with json or csv on
    // standard output it goes to standard error, leaving that stream whole.
    void PrintRatios() const {
        FILE* out = console_ ? stdout : stderr;
        std::fflush(stdout);
        std::fprintf(out, "\nFastest repetition, CPU time per iteration:\n");
        for (const auto& [name, t] : seconds_) std::fprintf(out, "  %-44s %12.1f us\n", name.c_str(), t * 1e6);
        std::fprintf(out, "\nRatios (CPU time, one run):\n");
        const double floor = Get("BM_Memcpy3");
        for (const char* pos : {"x:5/y:3", "x:0/y:0"}) {
            const std::string p = pos;
            const double frame = Get("BM_Frame/" + p);
            Frames(out, "BM_Frame/" + p, frame, Faster(Get("BM_FrameSDL/plain/" + p), Get("BM_FrameSDL/rle/" + p)),
                   "BM_Memcpy3", floor);
            const double numbered = Get("BM_FrameNumbered/" + p);
            if (frame > 0 && numbered > 0) {
                Line(out, "BM_FrameNumbered/" + p + " / BM_Frame", numbered / frame, "<= 1.1", numbered / frame <= 1.1);
            }
        }
        const double sprites = Get("BM_Sprites"), sdlsprites = Get("BM_SpritesSDL"), frame = Get("BM_Frame/x:5/y:3");
        if (sprites > 0 && frame > 0) {
            Line(out, "BM_Sprites / BM_Frame/x:5/y:3", sprites / frame, "<= 0.5", sprites / frame <= 0.5);
        }
        if (sprites > 0 && sdlsprites > 0) {
            Line(out, "BM_SpritesSDL / BM_Sprites", sdlsprites / sprites, ">= 4", sdlsprites / sprites >= 4);
        }
        const double floor1080 = Get("BM_Memcpy3_1080");
        for (const char* block : {"block:8", "block:16", "block:32"}) {
            const std::string b = block;
            const double sdl = Faster(Get("BM_FrameSDL1080/" + b), Get("BM_FrameSDL1080RLE/" + b));
            Frames(out, "BM_Frame1080/" + b, Get("BM_Frame1080/" + b), sdl, "BM_Memcpy3_1080", floor1080);
        }
        const double load = Get("BM_Load"), copy = Get("BM_MemcpyImage");
        if (load > 0 && copy > 0) Line(out, "BM_Load / BM_MemcpyImage", load / copy, "<= 3", load / copy <= 3);
        const double load4000 = Get("BM_Load4000"), copy4000 = Get("BM_MemcpyImage4000");
        if (load4000 > 0 && copy4000 > 0) {
            Line(out, "BM_Load4000 / BM_MemcpyImage4000", load4000 / copy4000, "<= 4", load4000 / copy4000 <= 4);
        }
        const double anims = Get("BM_UpdateAnims");
        if (anims > 0) {
            const double us = anims * 1e6 * 100 / 2047;
            std::fprintf(out, "  %-44s %8.3f us   target < 1 us   %s\n", "BM_UpdateAnims per 100 animations", us,
                         us < 1 ? "met" : "MISSED");
        }
        const double convert = Get("BM_PaletteConvert"), copy32 = Get("BM_Memcpy32");
        if (convert > 0 && copy32 > 0) {
            Line(out, "BM_PaletteConvert / BM_Memcpy32", convert / copy32, "<= 2", convert / copy32 <= 2);
        }
        const double present = Get("BM_PresentWindow");
        if (present > 0) {
            std::fprintf(out, "  %-44s %8.1f us   target < 500 us %s\n", "BM_PresentWindow", present * 1e6,
                         present * 1e6 < 500 ? "met" : "MISSED");
        }
        const double step = Get("BM_PlatformerStep"), draw = Get("BM_PlatformerDraw");
        if (step > 0 && draw > 0) {
            Line(out, "BM_PlatformerStep / BM_PlatformerDraw", step / draw, "<= 1.5", step / draw <= 1.5);
        }
    }

private:
    double Get(const std::string& name) const {
        auto it = seconds_.find(name);
        return it == seconds_.end() ? 0 : it->second;
    }
    // The faster of two times that were measured; 0 when neither was.
    static double Faster(double a, double b) { return a > 0 && b > 0 ? std::min(a, b) : std::max(a, b); }
    static void Line(FILE* out, const std::string& what, double ratio, const char* target, bool met) {
        std::fprintf(out, "  %-44s %8.2f x    target %s   %s\n", what.c_str(), ratio, target, met ? "met" : "MISSED");
    }
    // A frame against SDL replaying its blits (>= 4 x faster) and against
    // three memcpys of its size (<= 3 x).
    static void Frames(FILE* out, const std::string& name, double frame, double sdl, const char* floorName,
                       double floor) {
        if (frame <= 0) return;
        if (sdl > 0) Line(out, "faster SDL frame / " + name, sdl / frame, ">= 4", sdl / frame >= 4);
        if (floor > 0) Line(out, name + " / " + floorName, frame / floor, "<= 3", frame / floor <= 3);
    }

    std::unique_ptr<benchmark::BenchmarkReporter> inner_;
    bool console_ = false;
    std::map<std::string, double> seconds_;
};

// The value of the last --benchmark_format=FORMAT argument; "console" when
// there is none. Read before benchmark::Initialize takes the flags out.
std::string FormatArgument(int argc, char** argv) {
    const std::string flag = "--benchmark_format=";
    std::string format = "console";
    for (int i = 1; i < argc; i++) {
        if (std::strncmp(argv[i], flag.c_str(), flag.size()) == 0) format = argv[i] + flag.size();
    }
    return format;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string format = FormatArgument(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    if (DirectDrawCreate(nullptr, &lpDD, nullptr) != DD_OK) {
        std::fputs("vexil_bench: cannot create the display object\n", stderr);
        return 1;
    }
    RatioReporter reporter(format);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintRatios();
    MapFreeMem();
    lpDD->Release();
    lpDD = nullptr;
    benchmark::Shutdown();
    return 0;
}
