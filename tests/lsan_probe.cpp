// Forgets a renderer and its texture on purpose. The sanitizer build's
// lsan_probe test runs it with tests/lsan.supp and expects the leak reported,
// so the suppressions cannot hide an SDL object the project does not free.
#include <SDL.h>

namespace {

// Made in a frame of its own, so that no pointer to them stays on the stack.
__attribute__((noinline)) bool Forget(SDL_Window* window) {
    SDL_Renderer* r = SDL_CreateRenderer(window, -1, SDL_RENDERER_SOFTWARE);
    return r && SDL_CreateTexture(r, SDL_PIXELFORMAT_XRGB8888, SDL_TEXTUREACCESS_STREAMING, 64, 64);
}

}  // namespace

int main() {
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    if (SDL_Init(SDL_INIT_VIDEO) != 0) return 2;
    SDL_Window* window = SDL_CreateWindow("probe", 0, 0, 64, 64, SDL_WINDOW_HIDDEN);
    const bool made = window && Forget(window);
    SDL_DestroyWindow(window);
    SDL_Quit();
    return made ? 0 : 2;
}
