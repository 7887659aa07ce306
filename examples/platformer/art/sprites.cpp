// The platformer's sky tile, player sprite sheet and bitmap font.
#include "art.h"

namespace art {

// The sky behind everything: calm blue with a thin wisp of cloud, repeating
// seamlessly every 16 pixels both ways.
Canvas PaintSky() {
    static const std::vector<std::string> rows = {
        "0000000000000000", "0000000000000000", "0000000000000000", "0000000000000000",
        "0000000000000000", "0000000000000000", "0000001011000000", "0000000000000000",
        "0000000000000000", "0000000000000000", "0000000000000000", "0000000000000000",
        "0000000000000000", "0000000000000000", "0000000000000000", "0000000000000000",
    };
    Canvas c(16, 16);
    Stamp(View{&c, 0, 0, 16, 16}, 0, 0, rows, "01", {R.sky(0), R.sky(1)});
    return c;
}

Canvas PaintSprites() { return Canvas(160, 24); }
Canvas PaintFont() { return Canvas(128, 48); }

}  // namespace art
