// A program of a presenter user: converts a frame through a palette, then
// shows it once in a window on SDL's offscreen driver.
#include <cstdio>
#include <cstdlib>

#include "vxpresent.h"

int main() {
    PALETTEENTRY palette[256] = {};
    palette[3] = {1, 2, 3, 0};
    uint32_t table[256];
    VxPresentTable(palette, table);
    const uint8_t frame[2 * 3] = {3, 3, 3, 3, 3, 3};
    uint32_t out[2 * 3] = {};
    VxPresentConvert(frame, 3, out, 3 * 4, 3, 2, table);

    setenv("SDL_VIDEODRIVER", "offscreen", 1);
    VxPresenter* p = VxPresentOpen("consumer", 3, 2, 4, 0);
    if (!p) {
        std::printf("no presenter: %s\n", VxPresentError());
        return 1;
    }
    VxPresentSetPalette(p, palette);
    VxPresentSetPacing(p, 0);
    const int shown = VxPresentFrame(p, frame, 3, 3, 2);
    VxPresentClose(p);
    std::printf("pixel %06x, present %d\n", unsigned(out[5] & 0xFFFFFF), shown);
    return out[5] == 0xFF010203u && shown == 0 ? 0 : 2;
}
