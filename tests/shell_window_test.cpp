// The window layer on SDL's offscreen driver: message order and window
// destruction, bitmaps, icons, BitBlt and text on 8-bit contexts. (What a
// present costs is measured by BM_PresentWindow in vexil_bench.)
#include <SDL.h>

#include "shell_fixture.h"

using namespace shelltest;

namespace {

std::vector<std::pair<HWND, UINT>> seen;

LRESULT RecordingProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != WM_SETCURSOR && message != WM_ERASEBKGND) seen.push_back({hwnd, message});
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

class WindowTest : public ShellTest {
protected:
    void SetUp() override {
        ShellTest::SetUp();
        seen.clear();
        WNDCLASSA wc{};
        wc.lpfnWndProc = RecordingProc;
        wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH));
        wc.lpszClassName = "recording";
        RegisterClassA(&wc);
    }

    static HWND Make(HWND parent = nullptr) {
        return CreateWindowExA(0, "recording", "test", parent ? WS_CHILD | WS_VISIBLE : WS_POPUP, 10, 10, 64, 48,
                               parent, nullptr, nullptr, nullptr);
    }
};

TEST_F(WindowTest, MessagesComeInOrderPostedThenQuitThenPaint) {
    HWND w = Make();
    ASSERT_NE(w, nullptr);
    ShowWindow(w, SW_SHOW);
    PostMessageA(w, WM_USER, 1, 0);
    PostQuitMessage(7);
    PostMessageA(w, WM_USER, 2, 0);
    MSG m;
    ASSERT_TRUE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(m.message, UINT(WM_USER));
    EXPECT_EQ(m.wParam, 1u);
    ASSERT_TRUE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(m.wParam, 2u);
    ASSERT_TRUE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(m.message, UINT(WM_QUIT));
    EXPECT_EQ(m.wParam, 7u);
    // A paint stays until the window is painted.
    ASSERT_TRUE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(m.message, UINT(WM_PAINT));
    EXPECT_EQ(m.hwnd, w);
    DispatchMessageA(&m);
    EXPECT_EQ(WinClientPixel(w, 5, 5), 0x808080u) << "background erased with the class brush";
    EXPECT_FALSE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
}

TEST_F(WindowTest, CloseDestroysWindowAndChildrenAndDropsTheirMessages) {
    HWND w = Make();
    HWND child = Make(w);
    ASSERT_NE(child, nullptr);
    EXPECT_EQ(seen, (std::vector<std::pair<HWND, UINT>>{{w, WM_CREATE}, {child, WM_CREATE}}));
    seen.clear();
    PostMessageA(child, WM_USER, 0, 0);
    SendMessageA(w, WM_CLOSE, 0, 0);
    EXPECT_EQ(seen, (std::vector<std::pair<HWND, UINT>>{{w, WM_CLOSE}, {w, WM_DESTROY}, {child, WM_DESTROY}}));
    EXPECT_FALSE(IsWindow(w));
    EXPECT_FALSE(IsWindow(child));
    EXPECT_EQ(WinPendingMessages(), 0);
    EXPECT_FALSE(PostMessageA(w, WM_USER, 0, 0));
    EXPECT_EQ(DestroyWindow(w), FALSE);

    HWND v = Make();
    SendMessageA(v, WM_SYSKEYDOWN, VK_F4, 1 << 29);
    EXPECT_FALSE(IsWindow(v)) << "Alt+F4 closes";
}

TEST_F(WindowTest, CursorHiddenByNullAndPreviousReturned) {
    ASSERT_NE(Make(), nullptr);
    HCURSOR arrow = LoadCursorA(nullptr, IDC_ARROW);
    SetCursor(arrow);
    EXPECT_EQ(SetCursor(nullptr), arrow);
    EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_DISABLE);
    EXPECT_EQ(SetCursor(arrow), nullptr);
    EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_ENABLE);
}

TEST_F(WindowTest, BitmapsLoadBottomUpOrTopDownWithOrWithoutFileHeader) {
    HBITMAP logo = LoadBitmapA(nullptr, "KVLOGO");
    ASSERT_NE(logo, nullptr);
    EXPECT_EQ(logo->width, 320);
    EXPECT_EQ(logo->height, 240);
    for (auto [x, y] : {std::pair{0, 0}, {319, 0}, {0, 239}, {17, 101}}) {
        EXPECT_EQ(logo->bits[y * 320 + x], LogoIndex(x, y));
    }
    EXPECT_EQ(logo->palette[224].peRed, 224);
    EXPECT_EQ(logo->palette[224].peGreen, (2 * 224) & 255);
    EXPECT_EQ(logo->palette[224].peBlue, 31);
    EXPECT_EQ(logo->palette[225].peRed, 0) << "past the colour table";
    DeleteObject(logo);

    // 3 x 2, top-down (negative height), behind a 14-byte file header.
    static std::vector<unsigned char> small;
    small = {'B', 'M'};
    small.resize(14, 0);
    PutInfoHeader(small, 3, -2, 8, 2, 8);
    for (int i = 0; i < 2; i++) Put32(small, 0x00FF00u * uint32_t(i));
    small.insert(small.end(), {1, 0, 1, 9, 0, 1, 0, 9});
    static std::vector<unsigned char> broken;
    broken = std::vector<unsigned char>(TestLogo().begin(), TestLogo().end() - 1);
    WinSetResourceFinder([](const char* name, size_t* size) -> const unsigned char* {
        const auto& r = std::string(name) == "SMALL" ? small : broken;
        *size = r.size();
        return r.data();
    });
    HBITMAP bm = LoadBitmapA(nullptr, "SMALL");
    ASSERT_NE(bm, nullptr);
    EXPECT_EQ(bm->bits, (std::vector<uint8_t>{1, 0, 1, 0, 1, 0}));
    EXPECT_EQ(bm->palette[1].peGreen, 255);
    DeleteObject(bm);
    EXPECT_EQ(LoadBitmapA(nullptr, "TRUNCATED"), nullptr);
    EXPECT_EQ(LoadBitmapA(nullptr, nullptr), nullptr);
}

TEST_F(WindowTest, IconKeepsColoursAndMask) {
    HICON icon = LoadIconA(nullptr, "KVICON");
    ASSERT_NE(icon, nullptr);
    EXPECT_EQ(icon->width, 32);
    EXPECT_EQ(icon->argb[0] >> 24, 0u) << "masked pixel";
    // Pixel (5, 9): colour 2 of the table, (32, 0, 223), opaque.
    EXPECT_EQ(icon->argb[9 * 32 + 5], 0xFF2000DFu);
    EXPECT_EQ(icon->argb[31 * 32 + 31], 0xFFF0000Fu);
    EXPECT_EQ(LoadIconA(nullptr, "KVLOGO"), nullptr) << "a bitmap is no icon";
}

// An 8-bit context over a buffer with a guard band all round.
struct Canvas {
    static constexpr int kW = 40, kH = 20, kGuard = 8, kPitch = kW + 2 * kGuard;
    std::vector<uint8_t> buf = std::vector<uint8_t>(size_t(kPitch) * (kH + 2 * kGuard), 0xEE);
    PALETTEENTRY pal[256];
    HDC__ dc{};
    Canvas() {
        for (int i = 0; i < 256; i++) pal[i] = PALETTEENTRY{uint8_t(i), uint8_t(i), uint8_t(i), 0};
        pal[200] = PALETTEENTRY{250, 250, 0, 0};  // yellow
        pal[201] = PALETTEENTRY{60, 0, 60, 0};    // purple
        dc.bits = &buf[size_t(kGuard) * kPitch + kGuard];
        dc.width = kW;
        dc.height = kH;
        dc.pitch = kPitch;
        dc.palette = pal;
        for (int y = 0; y < kH; y++) std::fill_n(dc.bits + y * kPitch, kW, 7);
    }
    uint8_t At(int x, int y) const { return dc.bits[y * kPitch + x]; }
    bool GuardIntact() const {
        int inside = 0;
        for (uint8_t b : buf) inside += b != 0xEE;
        return inside == kW * kH;
    }
};

TEST_F(WindowTest, TextStandsOnAnOpaqueBoxInTheNearestColoursAndIsClipped) {
    Canvas c;
    SetBkColor(&c.dc, RGB(50, 10, 50));
    SetTextColor(&c.dc, RGB(255, 255, 0));
    ASSERT_TRUE(TextOutA(&c.dc, 30, 10, "Wide text past the edges", 24));
    EXPECT_TRUE(c.GuardIntact());
    std::set<int> box;
    for (int y = 10; y < Canvas::kH; y++) {
        for (int x = 30; x < Canvas::kW; x++) box.insert(c.At(x, y));
    }
    EXPECT_EQ(box, (std::set<int>{200, 201}));
    EXPECT_EQ(c.At(29, 10), 7);
    EXPECT_EQ(c.At(30, 9), 7);
    EXPECT_TRUE(TextOutA(&c.dc, -100, -100, "x", 1));
    EXPECT_TRUE(TextOutA(&c.dc, 0, 0, "", 0));
    EXPECT_TRUE(c.GuardIntact());
    EXPECT_EQ(c.At(0, 0), 7);
}

TEST_F(WindowTest, BitBltCopiesIndicesOrMapsColoursAndClips) {
    HBITMAP logo = LoadBitmapA(nullptr, "KVLOGO");
    HDC mem = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(mem, logo);
    ASSERT_NE(old, nullptr);

    Canvas same;
    std::copy_n(logo->palette, 256, same.pal);
    ASSERT_TRUE(BitBlt(&same.dc, 30, 15, 20, 20, mem, 100, 200, SRCCOPY));
    EXPECT_TRUE(same.GuardIntact());
    EXPECT_EQ(same.At(30, 15), LogoIndex(100, 200));
    EXPECT_EQ(same.At(39, 19), LogoIndex(109, 204));
    EXPECT_EQ(same.At(29, 15), 7);
    ASSERT_TRUE(BitBlt(&same.dc, -5, -5, 10, 10, mem, 0, 0, SRCCOPY));
    EXPECT_EQ(same.At(0, 0), LogoIndex(5, 5));
    EXPECT_TRUE(same.GuardIntact());

    Canvas grey;  // other palette: each colour becomes the nearest grey
    ASSERT_TRUE(BitBlt(&grey.dc, 0, 0, 1, 1, mem, 0, 0, SRCCOPY));
    EXPECT_EQ(grey.At(0, 0), NearestEntry(grey.pal, 0, 0, 255));

    EXPECT_EQ(DeleteObject(logo), FALSE) << "still selected";
    SelectObject(mem, old);
    EXPECT_TRUE(DeleteDC(mem));
    EXPECT_TRUE(DeleteObject(logo));
}

}  // namespace
