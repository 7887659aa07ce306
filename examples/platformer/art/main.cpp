// platformer-art: paints the platformer's tileset, sky, sprites and font as
// indexed PNGs and writes the tileset and level files for the map editor.
//
//   platformer-art OUTDIR
#include <png.h>

#include <cstdio>
#include <exception>
#include <string>

#include "art.h"
#include "level.h"

namespace {

// Writes an 8-bit indexed PNG with the palette's used entries; index 0 is
// marked see-through in the tRNS chunk, every other entry is opaque.
bool WritePng(const std::string& path, const art::Canvas& c, const std::vector<uint8_t>& cmap) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!png || !info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        std::fclose(f);
        return false;
    }
    png_init_io(png, f);
    png_set_IHDR(png, info, c.w, c.h, 8, PNG_COLOR_TYPE_PALETTE, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    const int n = art::PaletteSize();
    png_color plte[256];
    for (int i = 0; i < n; i++) plte[i] = {cmap[3 * i], cmap[3 * i + 1], cmap[3 * i + 2]};
    png_set_PLTE(png, info, plte, n);
    png_byte alpha[1] = {0};
    png_set_tRNS(png, info, alpha, 1, nullptr);
    png_write_info(png, info);
    for (int y = 0; y < c.h; y++) png_write_row(png, &c.px[size_t(y) * c.w]);
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return std::fclose(f) == 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: platformer-art OUTDIR\n");
        return 1;
    }
    const std::string dir = std::string(argv[1]) + "/";
    try {
        const std::vector<uint8_t> cmap = art::MakePalette();
        std::vector<art::TileInfo> tiles;
        const art::Canvas sheet = art::PaintTiles(tiles);
        const struct {
            const char* name;
            art::Canvas pic;
        } pngs[] = {{"tiles.png", sheet},
                    {"sky.png", art::PaintSky()},
                    {"player.png", art::PaintSprites()},
                    {"enemies.png", art::PaintEnemies()},
                    {"font.png", art::PaintFont()}};
        for (const auto& p : pngs) {
            if (!WritePng(dir + p.name, p.pic, cmap)) {
                std::fprintf(stderr, "platformer-art: cannot write %s%s\n", dir.c_str(), p.name);
                return 2;
            }
        }
        const std::string err = art::WriteLevel(dir, sheet, tiles);
        if (!err.empty()) {
            std::fprintf(stderr, "platformer-art: %s\n", err.c_str());
            return 2;
        }
        std::printf("platformer-art: %d palette entries, %zu described tiles, written to %s\n", art::PaletteSize(),
                    tiles.size(), dir.c_str());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "platformer-art: %s\n", e.what());
        return 2;
    }
    return 0;
}
