// Writes the Tiled map the converter is timed on: 300 x 200 cells of 1,000
// distinct 16 x 16 tiles from one tileset image, in 200 colours.
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "tmxinternal.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: vexil_tmxmap DIR\n");
        return 1;
    }
    const std::string dir = std::string(argv[1]) + "/";
    const int tiles = 1000, cols = 40, rows = 25, w = 300, h = 200;
    auto colour = [](int k) {
        k %= 200;
        return 0xFF000000u | uint32_t(20 + 47 * (k % 5)) | uint32_t(15 + 40 * (k / 5 % 6)) << 8 |
               uint32_t(30 + 30 * (k / 30)) << 16;
    };
    std::vector<uint32_t> px(size_t(cols) * 16 * rows * 16);
    for (int t = 0; t < tiles; t++) {
        for (int y = 0; y < 16; y++) {
            for (int x = 0; x < 16; x++) {
                // A pattern of its own, and the tile's number in its bottom row.
                uint32_t c = colour(t * 7 + (x * 3 + y * (t % 5 + 1)) / 6);
                if (y == 15 && x < 10) c = colour(t >> x & 1 ? 198 : 199);
                px[size_t(t / cols * 16 + y) * cols * 16 + t % cols * 16 + x] = c;
            }
        }
    }
    const std::vector<uint8_t> png = TmxEncodePngRgba(cols * 16, rows * 16, px.data());
    std::ofstream(dir + "bench.png", std::ios::binary)
        .write(reinterpret_cast<const char*>(png.data()), static_cast<std::streamsize>(png.size()));
    std::ofstream tmx(dir + "bench.tmx", std::ios::binary);
    tmx << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<map version=\"1.8\" orientation=\"orthogonal\" "
           "renderorder=\"right-down\" width=\""
        << w << "\" height=\"" << h << "\" tilewidth=\"16\" tileheight=\"16\" infinite=\"0\">\n"
        << " <tileset firstgid=\"1\" name=\"bench\" tilewidth=\"16\" tileheight=\"16\" tilecount=\"" << tiles
        << "\" columns=\"" << cols << "\"><image source=\"bench.png\" width=\"" << cols * 16 << "\" height=\""
        << rows * 16 << "\"/></tileset>\n"
        << " <layer name=\"ground\" width=\"" << w << "\" height=\"" << h << "\"><data encoding=\"csv\">\n";
    for (int i = 0; i < w * h; i++) tmx << 1 + (i * 7 + i / w * 13) % tiles << (i + 1 < w * h ? "," : "\n");
    tmx << "</data></layer>\n</map>\n";
    return tmx.good() ? 0 : 1;
}
