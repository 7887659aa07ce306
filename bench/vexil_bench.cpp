// Benchmarks of a demo frame, a map load, the animation step and the presenter,
// measured against SDL2's software blitter and plain memcpy; prints the ratios last.
#include <SDL.h>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <unistd.h>
#include <vector>

#include "mapwriter.h"
#include "vexildx.h"
#include "vxconvert.h"

LPDIRECTDRAW lpDD = nullptr;

namespace {

constexpr int kW = 640, kH = 480;

// Small deterministic generator so that every run builds the same maps.
struct Lcg {
    uint32_t s;
    uint32_t Next(uint32_t n) {
        s = s * 1664525u + 1013904223u;
        return (s >> 8) % n;
    }
};

void GreyRamp(MapWriterMap& m) {
    m.cmap.resize(768);
    for (int i = 0; i < 768; i++) m.cmap[i] = static_cast<uint8_t>(i / 3);
}

// `ngfx` graphics; odd ones have palette index 0 on a quarter of their
// pixels so that colour-keyed blits have holes to skip.
void Graphics(MapWriterMap& m, int ngfx) {
    m.gfx.resize(static_cast<size_t>(ngfx) * 256);
    for (int g = 0; g < ngfx; g++) {
        for (int y = 0; y < 16; y++) {
            for (int x = 0; x < 16; x++) {
                const bool hole = (g & 1) && ((x ^ y) & 3) == 0;
                m.gfx[g * 256 + y * 16 + x] = hole ? 0 : static_cast<uint8_t>(1 + (g * 29 + x * 3 + y * 7) % 254);
            }
        }
    }
}

// A demo-like 100 x 100 map: 64 blocks over 48 graphics, a quarter of them
// trigger blocks with see-through backgrounds, a third with a foreground;
// 32 animations of every type; about 12 % animated cells and 5 % of value 0.
MapWriterMap FrameMap() {
    MapWriterMap m;
    m.width = m.height = 100;
    GreyRamp(m);
    Graphics(m, 48);
    for (int b = 0; b < 64; b++) {
        BLKSTR s{};
        s.trigger = b % 4 == 0;
        s.bgoff = (s.trigger ? (b % 23) * 2 + 1 : (b % 24) * 2) * 256;
        s.fgoff = b % 3 == 0 ? ((b * 5) % 23 * 2 + 1) * 256 : 0;
        m.blocks.push_back(s);
    }
    for (int a = 0; a < 32; a++) {
        for (int f = 0; f < 4; f++) m.frames.push_back((a * 4 + f * 7) % 64 * 32);
        m.anims.push_back({static_cast<signed char>(1 + a % 8), static_cast<signed char>(a % 4), 0, 0,
                           4 * a, 4 * a + 4, 4 * a});
    }
    Lcg r{1};
    for (int i = 0; i < 100 * 100; i++) {
        const uint32_t k = r.Next(100);
        int16_t v = k < 12 ? static_cast<int16_t>(-16 * (1 + r.Next(32)))
                    : k < 17 ? 0
                             : static_cast<int16_t>(32 * r.Next(64));
        m.layers[0].push_back(v);
    }
    return m;
}

// A large map: 1000 x 1000 cells, 1000 blocks over 255 graphics, 2000
// animations of four frames each.
MapWriterMap LoadMap() {
    MapWriterMap m;
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
        m.anims.push_back({static_cast<signed char>(1 + a % 8), static_cast<signed char>(a % 5), 0, 0,
                           4 * a, 4 * a + 4, 4 * a + a % 4});
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

// 2047 animations of types 1 to 8, all stepping on every call.
MapWriterMap AnimMap() {
    MapWriterMap m;
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

const std::vector<uint8_t>& Image(MapWriterMap (*make)()) {
    static std::map<MapWriterMap (*)(), std::vector<uint8_t>> images;
    auto it = images.find(make);
    if (it == images.end()) it = images.emplace(make, MapWriterImage(make())).first;
    return it->second;
}

LPDIRECTDRAWSURFACE MakeTarget() {
    LPDIRECTDRAWSURFACE s = nullptr;
    return DDCreatePlainSurface(lpDD, kW, kH, &s) == DD_OK ? s : nullptr;
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

bool LoadFrameMap(benchmark::State& state) {
    const std::vector<uint8_t>& img = Image(FrameMap);
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

// The blits of one frame, recorded from the display layer and replayed with
// SDL_BlitSurface on 8-bit surfaces that share one palette, colour key 0.
void BM_FrameSDL(benchmark::State& state, bool rle) {
    const int x = static_cast<int>(state.range(0)), y = static_cast<int>(state.range(1));
    if (!LoadFrameMap(state)) return;
    LPDIRECTDRAWSURFACE target = MakeTarget();
    if (!target) return state.SkipWithError("no target surface");
    MapUpdateAnims();
    std::vector<DDBltRecord> log;
    DDSetBltLog(&log);
    MapDrawPara(target, x, y);
    MapDraw8BGT(target, x, y);
    MapDraw8FG(target, x, y, 0);
    DDSetBltLog(nullptr);
    const std::vector<uint8_t> want = Pixels(target, kW, kH);

    SDL_Palette* palette = SDL_AllocPalette(256);
    SDL_Color colours[256];
    for (int i = 0; i < 256; i++) colours[i] = {mappept[i].peRed, mappept[i].peGreen, mappept[i].peBlue, 255};
    SDL_SetPaletteColors(palette, colours, 0, 256);
    auto make = [&](int w, int h) {
        SDL_Surface* s = SDL_CreateRGBSurfaceWithFormat(0, w, h, 8, SDL_PIXELFORMAT_INDEX8);
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
            std::pair<SDL_Surface*, SDL_Surface*> pair{make(src->width, src->height),
                                                       make(src->width, src->height)};
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
    SDL_Surface* dest = make(kW, kH);
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
    for (int row = 0; same && row < kH; row++) {
        same = !std::memcmp(static_cast<uint8_t*>(dest->pixels) + row * dest->pitch, &want[row * kW], kW);
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
    MapFreeMem();
}
BENCHMARK_CAPTURE(BM_FrameSDL, plain, false)->ArgNames({"x", "y"})->Args({5, 3})->Args({0, 0});
BENCHMARK_CAPTURE(BM_FrameSDL, rle, true)->ArgNames({"x", "y"})->Args({5, 3})->Args({0, 0});

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

void BM_Load(benchmark::State& state) {
    const std::vector<uint8_t>& img = Image(LoadMap);
    for (auto _ : state) {
        if (MapDecode(img.data(), img.size()) != 0) {
            state.SkipWithError(("load map rejected: " + std::string(mapreason)).c_str());
            break;
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(img.size()));
    MapFreeMem();
}
BENCHMARK(BM_Load)->Unit(benchmark::kMicrosecond);

void BM_MemcpyImage(benchmark::State& state) {
    const std::vector<uint8_t>& img = Image(LoadMap);
    std::vector<uint8_t> copy(img.size());
    for (auto _ : state) {
        std::memcpy(copy.data(), img.data(), img.size());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(img.size()));
}
BENCHMARK(BM_MemcpyImage)->Unit(benchmark::kMicrosecond);

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

// Console output as usual, plus the CPU time per iteration of every run,
// the fastest repetition kept, for the ratios printed at the end.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    // Colour only on a terminal, so that captured output stays plain text.
    RatioReporter() : ConsoleReporter(isatty(fileno(stdout)) ? OO_ColorTabular : OO_Tabular) {}

    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& r : runs) {
            if (r.run_type != Run::RT_Iteration || r.error_occurred || r.iterations == 0) continue;
            const double t = r.cpu_accumulated_time / static_cast<double>(r.iterations);
            auto it = seconds_.find(r.benchmark_name());
            if (it == seconds_.end() || t < it->second) seconds_[r.benchmark_name()] = t;
        }
        ConsoleReporter::ReportRuns(runs);
    }

    void PrintRatios() const {
        std::printf("\nFastest repetition, CPU time per iteration:\n");
        for (const auto& [name, t] : seconds_) std::printf("  %-44s %12.1f us\n", name.c_str(), t * 1e6);
        std::printf("\nRatios (CPU time, one run):\n");
        for (const char* pos : {"x:5/y:3", "x:0/y:0"}) {
            const std::string p = pos;
            const double frame = Get("BM_Frame/" + p);
            const double plain = Get("BM_FrameSDL/plain/" + p), rle = Get("BM_FrameSDL/rle/" + p);
            const double sdl = plain > 0 && rle > 0 ? std::min(plain, rle) : std::max(plain, rle);
            if (frame > 0 && sdl > 0) {
                Line("faster SDL frame / BM_Frame/" + p, sdl / frame, ">= 4", sdl / frame >= 4);
            }
            const double floor = Get("BM_Memcpy3");
            if (frame > 0 && floor > 0) {
                Line("BM_Frame/" + p + " / BM_Memcpy3", frame / floor, "<= 3", frame / floor <= 3);
            }
        }
        const double load = Get("BM_Load"), copy = Get("BM_MemcpyImage");
        if (load > 0 && copy > 0) Line("BM_Load / BM_MemcpyImage", load / copy, "<= 4", load / copy <= 4);
        const double anims = Get("BM_UpdateAnims");
        if (anims > 0) {
            const double us = anims * 1e6 * 100 / 2047;
            std::printf("  %-44s %8.3f us   target < 1 us   %s\n", "BM_UpdateAnims per 100 animations", us,
                        us < 1 ? "met" : "MISSED");
        }
        const double convert = Get("BM_PaletteConvert"), copy32 = Get("BM_Memcpy32");
        if (convert > 0 && copy32 > 0) {
            Line("BM_PaletteConvert / BM_Memcpy32", convert / copy32, "<= 2", convert / copy32 <= 2);
        }
    }

private:
    double Get(const std::string& name) const {
        auto it = seconds_.find(name);
        return it == seconds_.end() ? 0 : it->second;
    }
    static void Line(const std::string& what, double ratio, const char* target, bool met) {
        std::printf("  %-44s %8.2f x    target %s   %s\n", what.c_str(), ratio, target, met ? "met" : "MISSED");
    }

    std::map<std::string, double> seconds_;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    if (DirectDrawCreate(nullptr, &lpDD, nullptr) != DD_OK) {
        std::fputs("vexil_bench: cannot create the display object\n", stderr);
        return 1;
    }
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintRatios();
    MapFreeMem();
    lpDD->Release();
    lpDD = nullptr;
    benchmark::Shutdown();
    return 0;
}
