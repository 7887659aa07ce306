// scroll: a minimal game of one's own on the map library. Loads the map named
// on the command line, scrolls it with the arrow keys inside the map's bounds
// and shows it through the map's palette in an SDL window. Escape quits.
//
//   scroll MAP.FMP
#include <SDL.h>

#include <cstdio>

#include "vexildx.h"

LPDIRECTDRAW lpDD;  // the display object the library makes its surfaces on

static const int kWidth = 640, kHeight = 480;

struct Game {
    SDL_Window* window = nullptr;
    SDL_Renderer* renderer = nullptr;
    SDL_Texture* texture = nullptr;
    LPDIRECTDRAWSURFACE frame = nullptr;  // the 8-bit picture the map is drawn into
    uint32_t rgb[256];                    // the map's palette as XRGB8888
    int x = 0, y = 0;                     // scroll position in map pixels
    int maxx = 0, maxy = 0;
    Uint64 lastframe = 0;  // ticks at the end of the previous frame
};

// --- Start-up -----------------------------------------------------------------------

static bool Startup(Game& g, const char* mapname) {
    if (DirectDrawCreate(nullptr, &lpDD, nullptr) != DD_OK) return false;
    if (MapLoad(mapname) != 0) {
        std::fprintf(stderr, "scroll: %s: %s (maperror %d)%s%s\n", mapname, MapErrorName(maperror), maperror,
                     mapreason[0] ? ": " : "", mapreason);
        return false;
    }
    g.maxx = mapwidth * mapblockwidth - kWidth;
    g.maxy = mapheight * mapblockheight - kHeight;
    if (g.maxx < 0 || g.maxy < 0) {
        std::fprintf(stderr, "scroll: %s is smaller than the %d x %d view\n", mapname, kWidth, kHeight);
        return false;
    }
    for (int i = 0; i < 256; i++) {
        g.rgb[i] = 0xFF000000u | mappept[i].peRed << 16 | mappept[i].peGreen << 8 | mappept[i].peBlue;
    }

    if (DDCreatePlainSurface(lpDD, kWidth, kHeight, &g.frame) != DD_OK) return false;

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
    g.window = SDL_CreateWindow("scroll", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, kWidth, kHeight,
                                SDL_WINDOW_RESIZABLE);
    if (g.window) g.renderer = SDL_CreateRenderer(g.window, -1, SDL_RENDERER_PRESENTVSYNC);
    if (g.window && !g.renderer) g.renderer = SDL_CreateRenderer(g.window, -1, 0);
    if (g.renderer) SDL_RenderSetLogicalSize(g.renderer, kWidth, kHeight);
    if (g.renderer) {
        g.texture = SDL_CreateTexture(g.renderer, SDL_PIXELFORMAT_RGB888, SDL_TEXTUREACCESS_STREAMING, kWidth, kHeight);
    }
    if (!g.texture) {
        std::fprintf(stderr, "scroll: cannot open a window: %s\n", SDL_GetError());
        return false;
    }

    MapInitAnims();
    return true;
}

// --- One frame ---------------------------------------------------------------------

static bool Frame(Game& g) {
    SDL_Event ev;
    while (SDL_PollEvent(&ev)) {
        if (ev.type == SDL_QUIT) return false;
        if (ev.type == SDL_KEYDOWN && ev.key.keysym.sym == SDLK_ESCAPE) return false;
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

    // Present: palette indices become XRGB through the map's palette.
    DDSURFACEDESC ddsd{};
    ddsd.dwSize = sizeof ddsd;
    void* out;
    int outpitch;
    if (g.frame->Lock(nullptr, &ddsd, DDLOCK_WAIT, nullptr) != DD_OK) return false;
    if (SDL_LockTexture(g.texture, nullptr, &out, &outpitch) == 0) {
        for (int row = 0; row < kHeight; row++) {
            const uint8_t* src = static_cast<const uint8_t*>(ddsd.lpSurface) + row * ddsd.lPitch;
            uint32_t* dst = reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(out) + row * outpitch);
            for (int col = 0; col < kWidth; col++) dst[col] = g.rgb[src[col]];
        }
        SDL_UnlockTexture(g.texture);
    }
    g.frame->Unlock(ddsd.lpSurface);
    SDL_RenderClear(g.renderer);
    SDL_RenderCopy(g.renderer, g.texture, nullptr, nullptr);
    SDL_RenderPresent(g.renderer);

    // 60 frames a second at most, so the scrolling speed does not depend on the machine.
    Uint64 now = SDL_GetTicks64();
    if (now - g.lastframe < 16) SDL_Delay(static_cast<Uint32>(16 - (now - g.lastframe)));
    g.lastframe = SDL_GetTicks64();
    return true;
}

// --- Shut-down ----------------------------------------------------------------------

static void Shutdown(Game& g) {
    if (g.texture) SDL_DestroyTexture(g.texture);
    if (g.renderer) SDL_DestroyRenderer(g.renderer);
    if (g.window) SDL_DestroyWindow(g.window);
    SDL_Quit();
    if (g.frame) g.frame->Release();
    MapFreeMem();  // the map's surfaces go before the display object
    if (lpDD) lpDD->Release();
    lpDD = nullptr;
}

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: scroll MAP\n");
        return 1;
    }
    Game g;
    bool ok = Startup(g, argv[1]);
    while (ok && Frame(g)) {
    }
    Shutdown(g);
    return ok ? 0 : 1;
}
