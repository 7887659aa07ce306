// kvdx: the demo game. A launcher window with the logo and a start button;
// the button opens the full-screen display, loads KVTEST.FMP and scrolls it
// with the arrow keys until Escape is released.
#include "kvdx.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#ifndef KVDX_NO_MAIN
#include "kvres.h"
#endif

// --- State -----------------------------------------------------------------------

LPDIRECTDRAW lpDD = nullptr;
LPDIRECTDRAWSURFACE lpDDSPrimary = nullptr;
LPDIRECTDRAWSURFACE lpDDSBack = nullptr;
LPDIRECTDRAWPALETTE lpddpal = nullptr;
DDSURFACEDESC ddsd;
DDSCAPS ddscaps;
long ddrval;

int gameactive = 0;
int scrlxoff, scrlyoff;
int scrlxmax = 960, scrlymax = 1120;
int keyleft, keyright, keyup, keydown;
int tickdec, tickfps;
unsigned long oldticks, newticks;
char frmtxt[100];
HWND phwnd = nullptr;
HINSTANCE hInstance = nullptr;

static char szAppname[31] = "Krill Voyagers - Early Preview";
static char szBigWindowname[15] = "KV Game Window";

static const int kStartButton = 1234;
static const int kScreenWidth = 640, kScreenHeight = 480;

// --- Start-up ------------------------------------------------------------------------

static const char* ddfailstep = "";  // the StartDD step that failed last, for the message
static long ddfailresult;            // and its result

// Ends a failed StartDD: remembers the step, releases what was made.
static int FailDD(const char* step, long result) {
    ddfailstep = step;
    ddfailresult = result;
    StopDD();
    return -1;
}

// Opens the 640 x 480 x 8 full-screen display for hwnd with a primary surface
// and one back buffer. 0 on success; -1 with everything released.
int StartDD(HWND hwnd) {
    long result = DirectDrawCreate(nullptr, &lpDD, nullptr);
    if (result != DD_OK) return FailDD("DirectDrawCreate", result);
    result = lpDD->SetCooperativeLevel(hwnd, DDSCL_FULLSCREEN | DDSCL_ALLOWREBOOT | DDSCL_EXCLUSIVE | DDSCL_ALLOWMODEX);
    if (result != DD_OK) return FailDD("SetCooperativeLevel", result);
    ddsd = DDSURFACEDESC{};
    ddsd.dwSize = sizeof ddsd;
    ddsd.dwFlags = DDSD_CAPS | DDSD_BACKBUFFERCOUNT | DDSD_REFRESHRATE;
    ddsd.dwBackBufferCount = 1;
    ddsd.dwRefreshRate = 60;
    ddsd.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE | DDSCAPS_FLIP | DDSCAPS_COMPLEX;
    result = lpDD->SetDisplayMode(kScreenWidth, kScreenHeight, 8);
    if (result != DD_OK) return FailDD("SetDisplayMode", result);
    ddrval = lpDD->CreateSurface(&ddsd, &lpDDSPrimary, nullptr);
    if (ddrval != DD_OK) return FailDD("CreateSurface", ddrval);
    ddscaps.dwCaps = DDSCAPS_BACKBUFFER;
    ddrval = lpDDSPrimary->GetAttachedSurface(&ddscaps, &lpDDSBack);
    if (ddrval != DD_OK) return FailDD("GetAttachedSurface", ddrval);
    return 0;
}

static void PaintLogo(HWND hwnd) {
    PAINTSTRUCT ps;
    HDC hdc = BeginPaint(hwnd, &ps);
    HBITMAP logo = LoadBitmapA(hInstance, "KVLOGO");
    HDC memdc = CreateCompatibleDC(hdc);
    HGDIOBJ old = SelectObject(memdc, logo);
    BitBlt(hdc, 0, 0, 320, 240, memdc, 0, 0, SRCCOPY);
    SelectObject(memdc, old);
    DeleteDC(memdc);
    DeleteObject(logo);
    EndPaint(hwnd, &ps);
}

// Ends the program after a start that failed, with status 1 and one line on
// stderr saying why; the game window's destruction frees what was loaded and
// closes the display.
__attribute__((format(printf, 1, 2))) static void AbandonStart(const char* fmt, ...) {
    std::fputs("kvdx: ", stderr);
    va_list ap;
    va_start(ap, fmt);
    std::vfprintf(stderr, fmt, ap);
    va_end(ap);
    std::fputc('\n', stderr);
    DestroyWindow(phwnd);
    PostQuitMessage(1);
}

// The start button: game window, display, map, palette, then the game runs.
// A map narrower or shorter than 100 cells narrows the scroll ranges; one
// smaller than the screen is refused like a map that does not load.
static void StartGame() {
    static const char kMapName[] = "KVTEST.FMP";
    phwnd = CreateWindowExA(WS_EX_TOPMOST, szBigWindowname, szBigWindowname, WS_POPUP, 0, 0, kScreenWidth,
                            kScreenHeight, nullptr, nullptr, hInstance, nullptr);
    ShowWindow(phwnd, SW_SHOW);
    UpdateWindow(phwnd);
    if (StartDD(phwnd) != 0) {
        AbandonStart("cannot set up the %d x %d x 8 display: %s failed (0x%08lX)", kScreenWidth, kScreenHeight,
                     ddfailstep, static_cast<unsigned long>(ddfailresult) & 0xFFFFFFFFul);
        return;
    }
    if (MapLoad(kMapName) != 0) {
        const int code = maperror;
        StopDD();
        AbandonStart("%s: %s (maperror %d)%s%s", kMapName, MapErrorName(code), code, mapreason[0] ? ": " : "",
                     mapreason);
        return;
    }
    scrlxmax = std::min(960, mapwidth * mapblockwidth - kScreenWidth);
    scrlymax = std::min(1120, mapheight * mapblockheight - kScreenHeight);
    if (scrlxmax < 0 || scrlymax < 0) {
        const int w = mapwidth, h = mapheight;
        MapFreeMem();
        StopDD();
        AbandonStart("%s: the map is %d x %d cells, smaller than the %d x %d screen", kMapName, w, h, kScreenWidth,
                     kScreenHeight);
        return;
    }
    MapSetView(0, 0, kScreenWidth, kScreenHeight);  // the whole screen
    lpDD->CreatePalette(DDPCAPS_8BIT, mappept, &lpddpal, nullptr);
    lpDDSPrimary->SetPalette(lpddpal);
    lpDDSBack->SetPalette(lpddpal);
    GameInit();
    gameactive = 1;
}

// The launcher's window procedure.
LRESULT CALLBACK WndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE:
            return 0;
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        case WM_PAINT:
            PaintLogo(hwnd);
            return 0;
        case WM_COMMAND:
            // One game at a time: the button does nothing while a game window exists.
            if (LOWORD(wParam) == kStartButton && !phwnd) StartGame();
            return 0;
        default:
            return DefWindowProcA(hwnd, message, wParam, lParam);
    }
}

int WINAPI WinMain(HINSTANCE hInst, HINSTANCE hPrevInstance, LPSTR, int nCmdShow) {
    hInstance = hInst;
    if (hPrevInstance) exit(-1);

    WNDCLASSA wc{};
    wc.style = CS_VREDRAW | CS_HREDRAW | CS_BYTEALIGNCLIENT;
    wc.lpfnWndProc = WndProc;
    wc.hInstance = hInstance;
    wc.hIcon = LoadIconA(hInstance, "KVICON");
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH));
    wc.lpszMenuName = szAppname;
    wc.lpszClassName = szAppname;
    RegisterClassA(&wc);
    wc.lpfnWndProc = GameWndProc;
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    wc.lpszMenuName = szBigWindowname;
    wc.lpszClassName = szBigWindowname;
    RegisterClassA(&wc);

    gameactive = 0;
    HWND hwnd = CreateWindowExA(0, szAppname, szAppname, WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX,
                                CW_USEDEFAULT, CW_USEDEFAULT, 328, 268, nullptr, nullptr, hInstance, nullptr);
    CreateWindowExA(0, "button", "Start-o-matic", WS_CHILD | WS_VISIBLE, 106, 140, 120, 30, hwnd,
                    reinterpret_cast<HMENU>(static_cast<uintptr_t>(kStartButton)), hInstance, nullptr);
    ShowWindow(hwnd, nCmdShow);
    UpdateWindow(hwnd);

    // Frames run whenever no message is waiting.
    MSG msg;
    msg.message = 0;
    while (msg.message != WM_QUIT) {
        if (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        } else {
            GameLoop();
        }
    }
    return static_cast<int>(msg.wParam);
}

static void EndGame();

// --- One frame --------------------------------------------------------------------------

// Resets the position, keys, frame-rate measurement and animations.
void GameInit() {
    scrlxoff = std::min(488, scrlxmax);
    scrlyoff = std::min(536, scrlymax);
    keyleft = keyright = keyup = keydown = 0;
    oldticks = GetTickCount();
    tickdec = 99;
    tickfps = 60;
    MapInitAnims();
}

// Moves the view by the held keys, steps the animations, draws the frame
// with its status line and flips it to the screen.
void GameLoop() {
    if (!gameactive) return;

    if (keyright) scrlxoff = std::min(scrlxoff + 2, scrlxmax);
    if (keyleft) scrlxoff = std::max(scrlxoff - 2, 0);
    if (keydown) scrlyoff = std::min(scrlyoff + 2, scrlymax);
    if (keyup) scrlyoff = std::max(scrlyoff - 2, 0);

    newticks = GetTickCount();
    if (oldticks > newticks) oldticks = 0;  // the tick count wrapped

    MapUpdateAnims();
    MapDrawPara(lpDDSBack, scrlxoff, scrlyoff);
    MapDraw8BGT(lpDDSBack, scrlxoff, scrlyoff);
    MapDraw8FG(lpDDSBack, scrlxoff, scrlyoff, 0);

    std::snprintf(frmtxt, sizeof frmtxt, "Escape to exit. X = %d, Y = %d. Approx. FPS = %d", scrlxoff, scrlyoff,
                  tickfps);

    // Every 100 frames: frames per second over the last 100 frames.
    if (tickdec < 0) {
        if (newticks != oldticks) tickfps = static_cast<int>(100000u / uint32_t(newticks - oldticks));
        oldticks = newticks;
        tickdec = 99;
    }
    tickdec--;

    HDC hdc;
    if (lpDDSBack->GetDC(&hdc) == DD_OK) {
        SetBkColor(hdc, RGB(50, 10, 50));
        SetTextColor(hdc, RGB(255, 255, 0));
        TextOutA(hdc, 0, 0, frmtxt, static_cast<int>(std::strlen(frmtxt)));
        lpDDSBack->ReleaseDC(hdc);
    }
    lpDDSPrimary->Flip(nullptr, DDFLIP_WAIT);
}

// The game window's procedure: held-key flags, Escape on release, no mouse
// pointer, and the game's shut-down when the window goes.
LRESULT CALLBACK GameWndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    static HCURSOR oldcursor;
    PAINTSTRUCT ps;
    switch (message) {
        case WM_CREATE:
            oldcursor = SetCursor(nullptr);
            return 0;
        case WM_DESTROY:
            EndGame();
            SetCursor(oldcursor);
            return 0;
        case WM_PAINT:
            BeginPaint(hwnd, &ps);
            EndPaint(hwnd, &ps);
            return 0;
        case WM_SETCURSOR:
            SetCursor(nullptr);
            return 1;
        case WM_KEYDOWN:
            switch (wParam) {
                case VK_LEFT:
                    keyleft = 1;
                    break;
                case VK_UP:
                    keyup = 1;
                    break;
                case VK_RIGHT:
                    keyright = 1;
                    break;
                case VK_DOWN:
                    keydown = 1;
                    break;
            }
            return 0;
        case WM_KEYUP:
            switch (wParam) {
                case VK_ESCAPE:
                    gameactive = 0;
                    PostMessageA(phwnd, WM_CLOSE, 0, 0);
                    break;
                case VK_LEFT:
                    keyleft = 0;
                    break;
                case VK_UP:
                    keyup = 0;
                    break;
                case VK_RIGHT:
                    keyright = 0;
                    break;
                case VK_DOWN:
                    keydown = 0;
                    break;
            }
            return 0;
        case WM_COMMAND:
            return 0;
        default:
            return DefWindowProcA(hwnd, message, wParam, lParam);
    }
}

// --- Shut-down ------------------------------------------------------------------------------

// Releases the primary surface (its back buffer goes with it) and the display
// object, as far as they exist. Safe at any time, any number of times.
void StopDD() {
    if (!lpDD) return;
    if (lpDDSPrimary) {
        lpDDSPrimary->Release();
        lpDDSPrimary = nullptr;
    }
    lpDD->Release();
    lpDD = nullptr;
}

// The game window is going: the map, the display and its palette go with it.
// The launcher stays and can start a new game.
static void EndGame() {
    gameactive = 0;
    MapFreeMem();
    StopDD();
    if (lpddpal) {
        lpddpal->Release();
        lpddpal = nullptr;
    }
    phwnd = nullptr;
}

// --- Program ------------------------------------------------------------------------------

#ifndef KVDX_NO_MAIN
int main(int argc, char** argv) {
    const char* why = nullptr;
    if (WinOpenDisplay(&why) != 0) {
        std::fprintf(stderr, "kvdx: cannot open a window: %s\n", why ? why : "no display");
        return 1;
    }
    if (std::getenv("VEXIL_REPORT_DRIVER")) {
        std::fprintf(stderr, "kvdx: video driver %s\n", WinVideoDriver());
    }
    WinSetResourceFinder(KvResource);
    std::string cmdline;
    for (int i = 1; i < argc; i++) cmdline += std::string(i > 1 ? " " : "") + argv[i];
    const int status = WinMain(GetModuleHandleA(nullptr), nullptr, cmdline.data(), SW_SHOWDEFAULT);
    WinShutdown();
    return status;
}
#endif
