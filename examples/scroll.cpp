// scroll: a minimal game of one's own on the map library. Loads the map named
// on the command line, scrolls it with the arrow keys inside the map's bounds
// and shows it through the map's palette with the presenter. F11 switches
// between a window and full screen; Escape quits. The view is 640 x 480, or
// as much of it as a smaller map has.
//
//   scroll MAP.FMP
#include <SDL.h>

#include <cstdio>
#include <cstring>

#include "vexildx.h"
#include "vxpresent.h"

LPDIRECTDRAW lpDD;  // the display object the library makes its surfaces on

static const int kWidth = 640, kHeight = 480;  // the largest view

struct Game {
    VxPresenter* presenter = nullptr;     // the window, paced to 60 frames a second
    LPDIRECTDRAWSURFACE frame = nullptr;  // the 8-bit picture the map is drawn into
    int w = 0, h = 0;                     // the view: the picture's size
    int x = 0, y = 0;                     // scroll position in map pixels
    int maxx = 0, maxy = 0;
};

// --- Start-up -----------------------------------------------------------------------

static bool Startup(Game& g, const char* mapname) {
    if (DirectDrawCreate(nullptr, &lpDD, nullptr) != DD_OK) return false;
    if (MapLoad(mapname) != 0) {
        std::fprintf(stderr, "scroll: %s: %s (maperror %d)%s%s\n", mapname, MapErrorName(maperror), maperror,
                     mapreason[0] ? ": " : "", mapreason);
        return false;
    }
    // A map smaller than the largest view is shown whole.
    const int mapw = mapwidth * mapblockwidth, maph = mapheight * mapblockheight;
    g.w = mapw < kWidth ? mapw : kWidth;
    g.h = maph < kHeight ? maph : kHeight;
    g.maxx = mapw - g.w;
    g.maxy = maph - g.h;
    if (MapSetView(0, 0, g.w, g.h) != 0) return false;
    if (DDCreatePlainSurface(lpDD, g.w, g.h, &g.frame) != DD_OK) return false;

    // With no desktop SDL would fall back to a driver that shows nothing.
    const char* x11 = SDL_getenv("DISPLAY");
    const char* wayland = SDL_getenv("WAYLAND_DISPLAY");
    if (!SDL_getenv("SDL_VIDEODRIVER") && !(x11 && *x11) && !(wayland && *wayland)) {
        std::fprintf(stderr, "scroll: no display (DISPLAY and WAYLAND_DISPLAY are not set)\n");
        return false;
    }
    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
        std::fprintf(stderr, "scroll: no display: %s\n", SDL_GetError());
        return false;
    }
    // A small map gets a larger window, scaled by a whole number.
    const int scale =
        g.w < kWidth / 2 && g.h < kHeight / 2 ? (kWidth / g.w < kHeight / g.h ? kWidth / g.w : kHeight / g.h) : 1;
    g.presenter = VxPresentOpen("scroll", g.w, g.h, scale, VXP_RESIZABLE);
    if (!g.presenter) {
        std::fprintf(stderr, "scroll: cannot open a window: %s\n", VxPresentError());
        return false;
    }
    VxPresentSetPalette(g.presenter, mappept);

    MapInitAnims();
    return true;
}

// --- One frame ---------------------------------------------------------------------

// 1 to go on, 0 when the player quits, -1 when the frame cannot be shown.
static int Frame(Game& g) {
    SDL_Event ev;
    while (SDL_PollEvent(&ev)) {
        if (ev.type == SDL_QUIT) return 0;
        if (ev.type == SDL_KEYDOWN && ev.key.keysym.sym == SDLK_ESCAPE) return 0;
        if (ev.type == SDL_KEYDOWN && ev.key.keysym.sym == SDLK_F11 && !ev.key.repeat) {
            VxPresentToggleFullscreen(g.presenter);
        }
    }
    const Uint8* keys = SDL_GetKeyboardState(nullptr);
    g.x += 2 * (keys[SDL_SCANCODE_RIGHT] - keys[SDL_SCANCODE_LEFT]);
    g.y += 2 * (keys[SDL_SCANCODE_DOWN] - keys[SDL_SCANCODE_UP]);
    g.x = g.x < 0 ? 0 : g.x > g.maxx ? g.maxx : g.x;
    g.y = g.y < 0 ? 0 : g.y > g.maxy ? g.maxy : g.y;

    MapUpdateAnims();
    MapDrawPara(g.frame, g.x, g.y);
    MapDraw8BGT(g.frame, g.x, g.y);
    MapDraw8FG(g.frame, g.x, g.y, 0);

    // Shown scaled into the window, at 60 frames a second so the scrolling
    // speed does not depend on the machine.
    if (VxPresentSurface(g.presenter, g.frame) != 0) {
        std::fprintf(stderr, "scroll: cannot show the frame: %s\n", SDL_GetError());
        return -1;
    }
    return 1;
}

// --- Shut-down ----------------------------------------------------------------------

static void Shutdown(Game& g) {
    VxPresentClose(g.presenter);
    SDL_Quit();
    if (g.frame) g.frame->Release();
    MapFreeMem();  // the map's surfaces go before the display object
    if (lpDD) lpDD->Release();
    lpDD = nullptr;
}

static const char kUsage[] =
    "usage: scroll MAP\n"
    "Shows the map file MAP in a window: the arrow keys scroll, F11 switches to\n"
    "full screen and back, Escape quits.\n";

int main(int argc, char** argv) {
    if (argc == 2 && (!std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h"))) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (argc != 2 || argv[1][0] == '-') {
        std::fputs(kUsage, stderr);
        return 1;
    }
    Game g;
    bool ok = Startup(g, argv[1]);
    int going = ok ? 1 : 0;
    while (going == 1) going = Frame(g);
    ok = ok && going == 0;
    Shutdown(g);
    return ok ? 0 : 1;
}
