// The demo's frame loop: scrolling and clamping, held keys, Escape, the
// frame-rate measurement and the status line, driven through the game
// window's messages inside the real message loop.
#include <SDL.h>

#include <algorithm>
#include <set>

#include "shell_fixture.h"

using namespace shelltest;

namespace {

void Key(UINT message, WPARAM vk) { SendMessageA(phwnd, message, vk, 1); }

// Distinct palette indices of the front buffer in a rectangle.
std::set<int> FrontIndices(int x0, int y0, int x1, int y1) {
    std::set<int> seen;
    for (int y = y0; y < y1; y++) {
        for (int x = x0; x < x1; x++) seen.insert(lpDDSPrimary->pixels[y * lpDDSPrimary->pitch + x]);
    }
    return seen;
}

class GameTest : public ShellTest {};

TEST_F(GameTest, ScrollsTwoPixelsPerHeldKeyAndClampsAddBeforeSubtract) {
    RunShell({[] {
        PressStart();
        ASSERT_EQ(gameactive, 1);
        EXPECT_EQ(scrlxoff, 488);
        EXPECT_EQ(scrlyoff, 536);

        for (int i = 0; i < 3; i++) GameLoop();
        EXPECT_EQ(scrlxoff, 488) << "no key, no move";
        EXPECT_EQ(scrlyoff, 536);

        Key(WM_KEYDOWN, VK_RIGHT);
        Key(WM_KEYDOWN, VK_DOWN);
        GameLoop();
        EXPECT_EQ(scrlxoff, 490);
        EXPECT_EQ(scrlyoff, 538);

        // Both ways held: standing still inside, 2 back at the far limits.
        Key(WM_KEYDOWN, VK_LEFT);
        Key(WM_KEYDOWN, VK_UP);
        GameLoop();
        EXPECT_EQ(scrlxoff, 490);
        EXPECT_EQ(scrlyoff, 538);
        scrlxoff = 960;
        scrlyoff = 1120;
        GameLoop();
        EXPECT_EQ(scrlxoff, 958);
        EXPECT_EQ(scrlyoff, 1118);

        Key(WM_KEYUP, VK_LEFT);
        Key(WM_KEYUP, VK_UP);
        scrlxoff = 959;
        scrlyoff = 1119;
        GameLoop();
        EXPECT_EQ(scrlxoff, 960);
        EXPECT_EQ(scrlyoff, 1120);
        GameLoop();
        EXPECT_EQ(scrlxoff, 960) << "right held at the limit stays";
        EXPECT_EQ(scrlyoff, 1120);

        Key(WM_KEYUP, VK_RIGHT);
        Key(WM_KEYUP, VK_DOWN);
        Key(WM_KEYDOWN, VK_LEFT);
        Key(WM_KEYDOWN, VK_UP);
        scrlxoff = 1;
        scrlyoff = 0;
        GameLoop();
        EXPECT_EQ(scrlxoff, 0);
        EXPECT_EQ(scrlyoff, 0);
        GameLoop();
        EXPECT_EQ(scrlxoff, 0);
        EXPECT_EQ(scrlyoff, 0);
    }});
    EXPECT_EQ(played, 1u);
}

TEST_F(GameTest, RepeatedKeyDownsAndOtherKeysChangeNothing) {
    RunShell({[] {
        PressStart();
        for (int i = 0; i < 5; i++) Key(WM_KEYDOWN, VK_RIGHT);  // auto-repeat
        Key(WM_KEYDOWN, 'A');
        Key(WM_KEYUP, VK_SPACE);
        EXPECT_EQ(keyright, 1);
        EXPECT_EQ(keyleft + keyup + keydown, 0);
        GameLoop();
        EXPECT_EQ(scrlxoff, 490);
        Key(WM_KEYUP, VK_RIGHT);
        EXPECT_EQ(keyright, 0);
        GameLoop();
        EXPECT_EQ(scrlxoff, 490);
    }});
}

TEST_F(GameTest, EscapeEndsTheGameOnReleaseAndTheLauncherStays) {
    const int baseObjects = DDLiveObjects();
    RunShell({[] {
                  PressStart();
                  ASSERT_TRUE(IsWindow(phwnd));
                  EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_DISABLE);
                  Key(WM_KEYDOWN, VK_ESCAPE);
                  EXPECT_EQ(gameactive, 1);
                  EXPECT_EQ(WinPendingMessages(), 0);
                  unsigned char* front = lpDDSPrimary->pixels;
                  GameLoop();
                  EXPECT_NE(lpDDSPrimary->pixels, front) << "frames go on while Escape is held";
                  Key(WM_KEYUP, VK_ESCAPE);
                  EXPECT_EQ(gameactive, 0);
                  EXPECT_EQ(WinPendingMessages(), 1) << "the close is posted, not sent";
                  EXPECT_TRUE(IsWindow(phwnd));
              },
              [baseObjects] {
                  EXPECT_EQ(phwnd, nullptr);
                  EXPECT_EQ(FindWindowA("KV Game Window", nullptr), nullptr);
                  EXPECT_TRUE(IsWindow(Launcher()));
                  EXPECT_EQ(lpDD, nullptr);
                  EXPECT_EQ(lpDDSPrimary, nullptr);
                  EXPECT_EQ(lpddpal, nullptr);
                  EXPECT_EQ(mappt, nullptr) << "the map is freed with the game window";
                  EXPECT_EQ(DDLiveObjects(), baseObjects) << "display, surfaces and palette released";
                  EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_ENABLE);
              }});
    EXPECT_EQ(played, 2u);
}

TEST_F(GameTest, SecondGameAfterEscapeStartsAfresh) {
    RunShell({[] {
                  PressStart();
                  Key(WM_KEYDOWN, VK_LEFT);
                  Key(WM_KEYDOWN, VK_UP);
                  for (int i = 0; i < 150; i++) GameLoop();
                  EXPECT_EQ(scrlxoff, 188);
                  Key(WM_KEYUP, VK_ESCAPE);
              },
              [] {
                  ASSERT_EQ(phwnd, nullptr);
                  fakeTick = 5000;
                  PressStart();
                  ASSERT_EQ(gameactive, 1);
                  EXPECT_EQ(scrlxoff, 488);
                  EXPECT_EQ(scrlyoff, 536);
                  EXPECT_EQ(keyleft + keyright + keyup + keydown, 0);
                  EXPECT_EQ(tickfps, 60);
                  EXPECT_EQ(tickdec, 99);
                  EXPECT_EQ(oldticks, 5000u);
                  GameLoop();
                  EXPECT_EQ(scrlxoff, 488);
              }});
    EXPECT_EQ(played, 2u);
}

TEST_F(GameTest, FirstFrameRateIsMeasuredInFrame101AndShownFrom102) {
    RunShell({[] {
        fakeTick = 20000;
        PressStart();
        EXPECT_EQ(oldticks, 20000u);
        for (int frame = 1; frame <= 100; frame++) {
            fakeTick = 20000 + 16 * frame;
            GameLoop();
        }
        EXPECT_EQ(tickfps, 60);
        EXPECT_STREQ(frmtxt, "Escape to exit. X = 488, Y = 536. Approx. FPS = 60");
        fakeTick = 20000 + 1600;  // frame 101: 1600 ms since GameInit
        GameLoop();
        EXPECT_EQ(tickfps, 62);
        EXPECT_STREQ(frmtxt, "Escape to exit. X = 488, Y = 536. Approx. FPS = 60");
        GameLoop();
        EXPECT_STREQ(frmtxt, "Escape to exit. X = 488, Y = 536. Approx. FPS = 62");
        // The next measurement spans frames 102 to 201.
        for (int frame = 103; frame <= 200; frame++) GameLoop();
        EXPECT_EQ(tickfps, 62);
        fakeTick = 21600 + 1000;
        GameLoop();
        EXPECT_EQ(tickfps, 100);
    }});
}

TEST_F(GameTest, WrappedTickCountRestartsTheSpanAtZero) {
    RunShell({[] {
        fakeTick = 0xFFFFFF00u;
        PressStart();
        for (int frame = 1; frame <= 100; frame++) {
            fakeTick = frame < 50 ? 0xFFFFFF00u + frame : 10u * frame;
            GameLoop();
        }
        EXPECT_EQ(oldticks, 0u) << "the baseline becomes 0 when the count wraps";
        fakeTick = 1250;
        GameLoop();
        EXPECT_EQ(tickfps, 80) << "100000 / 1250 ms since the wrap";
    }});
}

TEST_F(GameTest, ZeroMillisecondSpanKeepsTheRate) {
    RunShell({[] {
        fakeTick = 777;
        PressStart();
        for (int frame = 1; frame <= 101; frame++) GameLoop();
        EXPECT_EQ(tickfps, 60);
        EXPECT_EQ(tickdec, 98) << "measurement restarted all the same";
    }});
}

TEST_F(GameTest, InactiveLoopReadsNoTickDrawsNothingFlipsNothing) {
    RunShell({[] {
        GameLoop();  // no game yet: lpDDSBack is null and must not be touched
        PressStart();
        gameactive = 0;
        const int reads = tickReads;
        std::vector<DDBltRecord> log;
        DDSetBltLog(&log);
        unsigned char* front = lpDDSPrimary->pixels;
        GameLoop();
        DDSetBltLog(nullptr);
        EXPECT_EQ(tickReads, reads);
        EXPECT_TRUE(log.empty());
        EXPECT_EQ(lpDDSPrimary->pixels, front);
        gameactive = 1;
    }});
}

TEST_F(GameTest, StatusLineInNearestColoursAndLeftOutWhenGetDCFails) {
    RunShell({[] {
        PressStart();
        GameLoop();
        const int bg = NearestEntry(mappept, 50, 10, 50);
        const int fg = NearestEntry(mappept, 255, 255, 0);
        ASSERT_NE(bg, fg);
        // The text box: opaque background, text colour, nothing else.
        EXPECT_EQ(FrontIndices(0, 0, 300, 12), (std::set<int>{bg, fg}));
        EXPECT_EQ(lpDDSPrimary->pixels[0], bg);
        // Below the box the map shows.
        EXPECT_GT(FrontIndices(0, 40, 300, 52).size(), 2u);

        DDInjectFault(DDFAULT_GETDC, 1);
        unsigned char* front = lpDDSPrimary->pixels;
        GameLoop();
        EXPECT_NE(lpDDSPrimary->pixels, front) << "the frame is flipped without its status line";
        EXPECT_GT(FrontIndices(0, 0, 300, 12).size(), 2u);
        GameLoop();
        EXPECT_EQ(FrontIndices(0, 0, 300, 12), (std::set<int>{bg, fg}));
    }});
}

TEST_F(GameTest, DrawsParallaxBackgroundAndForegroundInOrderEachFrame) {
    RunShell({[] {
        PressStart();
        std::vector<DDBltRecord> log;
        DDSetBltLog(&log);
        GameLoop();
        DDSetBltLog(nullptr);
        ASSERT_FALSE(log.empty());
        for (const DDBltRecord& r : log) EXPECT_EQ(r.dest, lpDDSBack);
        // Parallax blits come from the parallax surface and all come first.
        size_t firstTile = 0;
        while (firstTile < log.size() && log[firstTile].src == lpDDSPara) firstTile++;
        EXPECT_GT(firstTile, 0u);
        for (size_t i = firstTile; i < log.size(); i++) EXPECT_NE(log[i].src, lpDDSPara);
    }});
}

TEST_F(GameTest, ClosingTheGameWindowOtherwiseAlsoEndsTheGameCleanly) {
    const int baseObjects = DDLiveObjects();
    RunShell({[] {
                  PressStart();
                  PostMessageA(phwnd, WM_CLOSE, 0, 0);
              },
              [baseObjects] {
                  EXPECT_EQ(gameactive, 0);
                  EXPECT_EQ(phwnd, nullptr);
                  EXPECT_EQ(DDLiveObjects(), baseObjects);
                  EXPECT_TRUE(IsWindow(Launcher()));
              }});
    EXPECT_EQ(played, 2u);
}

// The frame on screen after scrolling equals the map drawn independently at
// the final position with the animations stepped once per frame.
TEST_F(GameTest, ScreenShowsTheMapAtThePositionWithAnimationsSteppedPerFrame) {
    RunShell({[] {
        PressStart();
        SendMessageA(phwnd, WM_KEYDOWN, VK_RIGHT, 1);
        for (int i = 0; i < 31; i++) GameLoop();
        SendMessageA(phwnd, WM_KEYUP, VK_RIGHT, 1);
        for (int i = 0; i < 20; i++) GameLoop();
        ASSERT_EQ(scrlxoff, 550);
        std::vector<uint8_t> shown(640 * 480);
        for (int y = 0; y < 480; y++) std::copy_n(lpDDSPrimary->pixels + y * lpDDSPrimary->pitch, 640, &shown[y * 640]);

        LPDIRECTDRAWSURFACE ref = nullptr;
        ASSERT_EQ(DDCreatePlainSurface(lpDD, 640, 480, &ref), DD_OK);
        ASSERT_EQ(MapLoad("KVTEST.FMP"), 0);  // animations as loaded
        MapInitAnims();
        for (int i = 0; i < 51; i++) MapUpdateAnims();
        MapDrawPara(ref, 550, 536);
        MapDraw8BGT(ref, 550, 536);
        MapDraw8FG(ref, 550, 536, 0);
        int differing = 0;
        for (int y = 24; y < 480; y++) {
            for (int x = 0; x < 640; x++) differing += shown[y * 640 + x] != ref->pixels[y * ref->pitch + x];
        }
        EXPECT_EQ(differing, 0);
        ref->Release();
    }});
}

}  // namespace
