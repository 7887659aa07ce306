// The demo's start-up and shut-down: the display opened and closed step by
// step, failed starts ending the program, the launcher's logo and button,
// and what the start button does with maps of other sizes.
#include <cerrno>

#include "shell_fixture.h"

using namespace shelltest;

namespace {

class StartTest : public ShellTest {};

TEST_F(StartTest, StartDDFailingAtEachStepReleasesWhatItMade) {
    const DDFault steps[] = {DDFAULT_DIRECTDRAWCREATE, DDFAULT_SETCOOPERATIVELEVEL, DDFAULT_SETDISPLAYMODE,
                             DDFAULT_CREATESURFACE, DDFAULT_GETATTACHEDSURFACE};
    RunShell({[&] {
        HWND game = CreateWindowExA(WS_EX_TOPMOST, "KV Game Window", "KV Game Window", WS_POPUP, 0, 0, 640, 480,
                                    nullptr, nullptr, hInstance, nullptr);
        ASSERT_NE(game, nullptr);
        const int base = DDLiveObjects();
        for (DDFault step : steps) {
            SCOPED_TRACE(int(step));
            DDInjectFault(step, 1);
            EXPECT_EQ(StartDD(game), -1);
            EXPECT_EQ(lpDD, nullptr);
            EXPECT_EQ(lpDDSPrimary, nullptr);
            EXPECT_EQ(DDLiveObjects(), base);
            DDClearFaults();
        }
        ASSERT_EQ(StartDD(game), 0);
        EXPECT_NE(lpDDSBack, nullptr);
        EXPECT_EQ(lpDDSPrimary->width, 640);
        EXPECT_EQ(lpDDSPrimary->height, 480);
        EXPECT_EQ(lpDD->coopFlags, 83u);
        EXPECT_EQ(lpDD->hwnd, game);
        EXPECT_GT(DDLiveObjects(), base);
        LPDIRECTDRAWSURFACE back = lpDDSBack;
        StopDD();
        StopDD();
        EXPECT_EQ(lpDD, nullptr);
        EXPECT_EQ(lpDDSPrimary, nullptr);
        EXPECT_EQ(lpDDSBack, back) << "the back buffer pointer is left as it was";
        EXPECT_EQ(DDLiveObjects(), base);
        ASSERT_EQ(StartDD(game), 0) << "the display opens again after StopDD";
        StopDD();
        DestroyWindow(game);
    }});
    EXPECT_EQ(played, 1u);
}

// Each way a start can fail ends the program with 1 and one line on stderr
// saying why, leaving nothing open.
TEST_F(StartTest, FailedStartsEndTheProgramWithOneLineAndNothingLeft) {
    struct Case {
        const char* what;
        DDFault fault;
        int mapWidth, mapHeight;  // 0: no map file
        std::string message;
    };
    const Case cases[] = {
        {"display cannot be opened", DDFAULT_SETDISPLAYMODE, 100, 100,
         "kvdx: cannot set up the 640 x 480 x 8 display: SetDisplayMode failed (0x80004005)\n"},
        {"back buffer cannot be fetched", DDFAULT_GETATTACHEDSURFACE, 100, 100,
         "kvdx: cannot set up the 640 x 480 x 8 display: GetAttachedSurface failed (0x80004005)\n"},
        {"no KVTEST.FMP", DDFAULT_COUNT, 0, 0,
         std::string("kvdx: KVTEST.FMP: cannot open (maperror 3): ") + std::strerror(ENOENT) + "\n"},
        {"KVTEST.FMP is a directory", DDFAULT_COUNT, -1, 0,
         std::string("kvdx: KVTEST.FMP: not a valid map (maperror 2): cannot read the file: ") + std::strerror(EISDIR) +
             "\n"},
        {"map narrower than the screen", DDFAULT_COUNT, 39, 100,
         "kvdx: KVTEST.FMP: the map is 39 x 100 cells, smaller than the 640 x 480 screen\n"},
        {"map shorter than the screen", DDFAULT_COUNT, 100, 29,
         "kvdx: KVTEST.FMP: the map is 100 x 29 cells, smaller than the 640 x 480 screen\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove_all("KVTEST.FMP");
        if (c.mapWidth > 0) WriteMap(c.mapWidth, c.mapHeight);
        if (c.mapWidth < 0) std::filesystem::create_directory("KVTEST.FMP");
        const int base = DDLiveObjects();
        ::testing::internal::CaptureStderr();
        const int status = RunShell({[&c] {
                                         if (c.fault != DDFAULT_COUNT) DDInjectFault(c.fault, 1);
                                         PressStart();
                                         EXPECT_EQ(gameactive, 0);
                                     },
                                     [] { ADD_FAILURE() << "the program went on"; }});
        EXPECT_EQ(::testing::internal::GetCapturedStderr(), c.message);
        EXPECT_EQ(status, 1);
        EXPECT_EQ(played, 1u);
        EXPECT_EQ(phwnd, nullptr);
        EXPECT_EQ(FindWindowA("KV Game Window", nullptr), nullptr);
        EXPECT_EQ(lpDD, nullptr);
        EXPECT_EQ(lpddpal, nullptr);
        EXPECT_EQ(mappt, nullptr);
        EXPECT_EQ(DDLiveObjects(), base);
        DDClearFaults();
        WinShutdown();
    }
}

TEST_F(StartTest, SmallerMapNarrowsTheScrollRanges) {
    WriteMap(60, 45);  // 960 x 720 pixels: ranges 0..320 and 0..240
    RunShell({[] {
        PressStart();
        ASSERT_EQ(gameactive, 1);
        EXPECT_EQ(scrlxoff, 320);
        EXPECT_EQ(scrlyoff, 240);
        SendMessageA(phwnd, WM_KEYDOWN, VK_RIGHT, 1);
        SendMessageA(phwnd, WM_KEYDOWN, VK_DOWN, 1);
        GameLoop();
        EXPECT_EQ(scrlxoff, 320);
        EXPECT_EQ(scrlyoff, 240);
        SendMessageA(phwnd, WM_KEYDOWN, VK_LEFT, 1);
        SendMessageA(phwnd, WM_KEYDOWN, VK_UP, 1);
        GameLoop();
        EXPECT_EQ(scrlxoff, 318);
        EXPECT_EQ(scrlyoff, 238);
    }});
    // A full-size map afterwards gets the full ranges back.
    WriteMap(120, 120);
    WinShutdown();
    RunShell({[] {
        PressStart();
        EXPECT_EQ(scrlxmax, 960);
        EXPECT_EQ(scrlymax, 1120);
        scrlxoff = 960;
        SendMessageA(phwnd, WM_KEYDOWN, VK_RIGHT, 1);
        GameLoop();
        EXPECT_EQ(scrlxoff, 960);
    }});
}

TEST_F(StartTest, StartButtonOnlyStartsOneGameAndOtherCommandsDoNothing) {
    RunShell({[] {
        SendMessageA(Launcher(), WM_COMMAND, 1235, 0);
        EXPECT_EQ(phwnd, nullptr);
        EXPECT_EQ(gameactive, 0);
        PressStart();
        HWND game = phwnd;
        ASSERT_NE(game, nullptr);
        const int windows = WinLiveWindows(), objects = DDLiveObjects();
        LPDIRECTDRAW dd = lpDD;
        PressStart();
        EXPECT_EQ(phwnd, game);
        EXPECT_EQ(lpDD, dd);
        EXPECT_EQ(WinLiveWindows(), windows);
        EXPECT_EQ(DDLiveObjects(), objects);
        // Between Escape and the window's end the button is still ignored.
        SendMessageA(phwnd, WM_KEYUP, VK_ESCAPE, 1);
        PressStart();
        EXPECT_EQ(phwnd, game);
        EXPECT_EQ(gameactive, 0);
    }});
}

TEST_F(StartTest, LauncherShowsTheLogoAndAButtonThatStartsOnRelease) {
    RunShell({[] {
                  HWND l = Launcher();
                  ASSERT_NE(l, nullptr);
                  RECT rc;
                  GetClientRect(l, &rc);
                  EXPECT_EQ(rc.right, 320) << "328 x 268 outer size, 320 x 240 inside";
                  EXPECT_EQ(rc.bottom, 240);
                  for (auto [x, y] : {std::pair{0, 0}, {319, 0}, {0, 239}, {319, 239}, {100, 50}}) {
                      EXPECT_EQ(WinClientPixel(l, x, y), LogoColour(LogoIndex(x, y))) << x << "," << y;
                  }
                  // The button: raised edge, grey face, black caption.
                  EXPECT_EQ(WinClientPixel(l, 106, 140), 0xFFFFFFu);
                  EXPECT_EQ(WinClientPixel(l, 225, 169), 0x000000u);
                  EXPECT_EQ(WinClientPixel(l, 108, 142), 0xC0C0C0u);
                  int ink = 0;
                  for (int y = 145; y < 165; y++) {
                      for (int x = 110; x < 220; x++) ink += WinClientPixel(l, x, y) == 0;
                  }
                  EXPECT_GT(ink, 50) << "caption drawn";

                  // Pressed and dragged out: sunken while inside, no start on release outside.
                  HWND button = Launcher()->children.at(0);
                  PostMessageA(button, WM_LBUTTONDOWN, 0, MAKELPARAM(10, 10));
              },
              [] {
                  HWND l = Launcher();
                  EXPECT_EQ(WinClientPixel(l, 106, 140), 0x000000u) << "pressed look";
                  HWND button = l->children.at(0);
                  PostMessageA(button, WM_MOUSEMOVE, 0, MAKELPARAM(200, 10));
              },
              [] {
                  HWND l = Launcher();
                  EXPECT_EQ(WinClientPixel(l, 106, 140), 0xFFFFFFu) << "raised again outside";
                  HWND button = l->children.at(0);
                  PostMessageA(button, WM_LBUTTONUP, 0, MAKELPARAM(200, 10));
              },
              [] {
                  EXPECT_EQ(phwnd, nullptr) << "released outside: no command";
                  HWND button = Launcher()->children.at(0);
                  PostMessageA(button, WM_LBUTTONDOWN, 0, MAKELPARAM(10, 10));
                  PostMessageA(button, WM_LBUTTONUP, 0, MAKELPARAM(11, 12));
              },
              [] {
                  EXPECT_NE(phwnd, nullptr) << "released inside: the game starts";
                  EXPECT_EQ(gameactive, 1);
              }});
    EXPECT_EQ(played, 5u);
}

TEST_F(StartTest, ClosingTheLauncherEndsTheProgramWithZero) {
    const int status =
        RunShell({[] { PostMessageA(Launcher(), WM_CLOSE, 0, 0); }, [] { ADD_FAILURE() << "still running"; }});
    EXPECT_EQ(status, 0);
    EXPECT_EQ(played, 1u);
    EXPECT_EQ(Launcher(), nullptr);
}

TEST(StartDeathTest, PreviousInstanceEndsAtOnceWithMinusOne) {
    EXPECT_EXIT(WinMain(GetModuleHandleA(nullptr), GetModuleHandleA(nullptr), nullptr, SW_SHOW),
                ::testing::ExitedWithCode(255), "");
}

}  // namespace
