// Shared set-up of the shell tests: a test map as KVTEST.FMP in a fresh
// folder, made-up logo and icon resources, a tick source the test sets, and
// a runner that plays stages at the idle moments of the real message loop.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "kvdx.h"
#include "mapwriter.h"
#include "wininternal.h"

namespace shelltest {

inline DWORD fakeTick = 1000;
inline int tickReads = 0;

inline DWORD FakeTickCount() {
    tickReads++;
    return fakeTick;
}

inline void Put16(std::vector<unsigned char>& v, unsigned x) {
    v.push_back(uint8_t(x));
    v.push_back(uint8_t(x >> 8));
}
inline void Put32(std::vector<unsigned char>& v, uint32_t x) {
    Put16(v, x & 0xFFFF);
    Put16(v, x >> 16);
}

// A 40-byte BITMAPINFOHEADER.
inline void PutInfoHeader(std::vector<unsigned char>& v, int w, int h, int bpp, unsigned colours, unsigned imageSize) {
    Put32(v, 40);
    Put32(v, uint32_t(w));
    Put32(v, uint32_t(h));
    Put16(v, 1);
    Put16(v, unsigned(bpp));
    Put32(v, 0);
    Put32(v, imageSize);
    Put32(v, 2834);
    Put32(v, 2834);
    Put32(v, colours);
    Put32(v, colours);
}

// Logo test picture: colour i of its 225 is (i, 2i, 255 - i); the pixel at
// (x, y) counted from the top is (x + 3y) % 225. Stored bottom-up.
inline unsigned char LogoIndex(int x, int y) { return uint8_t((x + 3 * y) % 225); }
inline uint32_t LogoColour(int i) { return uint32_t(i) << 16 | uint32_t((2 * i) & 255) << 8 | uint32_t(255 - i); }

inline const std::vector<unsigned char>& TestLogo() {
    static std::vector<unsigned char> bmp = [] {
        std::vector<unsigned char> v;
        PutInfoHeader(v, 320, 240, 8, 225, 76800);
        for (int i = 0; i < 225; i++) {
            const uint32_t c = LogoColour(i);
            v.push_back(uint8_t(c));
            v.push_back(uint8_t(c >> 8));
            v.push_back(uint8_t(c >> 16));
            v.push_back(0);
        }
        for (int row = 239; row >= 0; row--) {
            for (int x = 0; x < 320; x++) v.push_back(LogoIndex(x, row));
        }
        return v;
    }();
    return bmp;
}

// Icon test picture: 32 x 32, 4 bits; colour k of 16 is (16k, 0, 255 - 16k);
// pixel (x, y) from the top is (x / 2) % 16; the left column is see-through.
inline const std::vector<unsigned char>& TestIcon() {
    static std::vector<unsigned char> ico = [] {
        std::vector<unsigned char> img;
        PutInfoHeader(img, 32, 64, 4, 16, 0);
        for (int k = 0; k < 16; k++) {
            img.push_back(uint8_t(255 - 16 * k));
            img.push_back(0);
            img.push_back(uint8_t(16 * k));
            img.push_back(0);
        }
        for (int row = 31; row >= 0; row--) {
            for (int x = 0; x < 32; x += 2) img.push_back(uint8_t(((x / 2) % 16) << 4 | ((x + 1) / 2) % 16));
        }
        for (int row = 31; row >= 0; row--) {
            Put32(img, 0x80);  // the first byte's top bit: x = 0
        }
        std::vector<unsigned char> v;
        Put16(v, 0);
        Put16(v, 1);
        Put16(v, 1);
        v.push_back(32);
        v.push_back(32);
        v.push_back(16);
        v.push_back(0);
        Put16(v, 1);
        Put16(v, 4);
        Put32(v, uint32_t(img.size()));
        Put32(v, 22);
        v.insert(v.end(), img.begin(), img.end());
        return v;
    }();
    return ico;
}

inline const unsigned char* TestResource(const char* name, size_t* size) {
    const std::vector<unsigned char>* r = nullptr;
    if (!std::strcmp(name, "KVLOGO")) r = &TestLogo();
    if (!std::strcmp(name, "KVICON")) r = &TestIcon();
    if (!r) return nullptr;
    if (size) *size = r->size();
    return r->data();
}

inline HWND Launcher() { return FindWindowA("Krill Voyagers - Early Preview", nullptr); }

// The palette entry closest to an RGB colour, as a reference for the status
// line's colours.
inline int NearestEntry(const PALETTEENTRY* pal, int r, int g, int b) {
    int best = 0, bestDist = 1 << 30;
    for (int i = 0; i < 256; i++) {
        const int d = (pal[i].peRed - r) * (pal[i].peRed - r) + (pal[i].peGreen - g) * (pal[i].peGreen - g) +
                      (pal[i].peBlue - b) * (pal[i].peBlue - b);
        if (d < bestDist) {
            bestDist = d;
            best = i;
        }
    }
    return best;
}

class ShellTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
        WinSetFramePacing(false);
        WinSetTickSource(FakeTickCount);
        WinSetResourceFinder(TestResource);
        fakeTick = 1000;
        tickReads = 0;
        home_ = std::filesystem::current_path();
        char tmpl[] = "/tmp/kvdx_test_XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
        std::filesystem::current_path(dir_);
        WriteMap(100, 100);
    }

    void TearDown() override {
        WinSetIdleHook(nullptr, nullptr);
        WinShutdown();
        MapFreeMem();
        StopDD();
        DDClearFaults();
        WinSetTickSource(nullptr);
        std::filesystem::current_path(home_);
        std::filesystem::remove_all(dir_);
    }

    // The sample map with block 1 where it has block 0: the drawing leaves
    // interior cells of value 0 alone, so they would keep older frames.
    static void WriteMap(int w, int h) {
        MAPDESC m = MapWriterSample(w, h);
        for (int16_t& c : m.layers[0]) c = c == 0 ? 32 : c;
        ASSERT_TRUE(MapWriterSave("KVTEST.FMP", MapSerialize(m)));
    }

    // Runs WinMain; each idle moment of its message loop plays the next stage.
    // After the last stage (or a fatal failure) the launcher is closed. The
    // result is WinMain's; `played` tells how many stages ran.
    int RunShell(std::vector<std::function<void()>> stages) {
        stages_ = std::move(stages);
        played = 0;
        idleAfter_ = 0;
        WinSetIdleHook([](void* self) { static_cast<ShellTest*>(self)->Idle(); }, this);
        const int status = WinMain(GetModuleHandleA(nullptr), nullptr, nullptr, SW_SHOW);
        WinSetIdleHook(nullptr, nullptr);
        return status;
    }

    // Starts a game from the launcher as its button would.
    static void PressStart() { SendMessageA(Launcher(), WM_COMMAND, MAKEWPARAM(1234, BN_CLICKED), 0); }

    size_t played = 0;

private:
    void Idle() {
        if (played < stages_.size() && !HasFatalFailure()) {
            stages_[played++]();
            return;
        }
        if (idleAfter_++ == 0) {
            if (HWND l = Launcher()) PostMessageA(l, WM_CLOSE, 0, 0);
        } else if (idleAfter_ > 1000) {
            ADD_FAILURE() << "the message loop did not end after the launcher was closed";
            PostQuitMessage(99);
        }
    }

    std::vector<std::function<void()>> stages_;
    int idleAfter_ = 0;
    std::filesystem::path home_, dir_;
};

}  // namespace shelltest
