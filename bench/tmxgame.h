// A Tiled map shaped like a real game's, for the converter's benchmark and
// tests: a grid of 32-pixel cells, nine layers (ground, detail, paths,
// three of trees and buildings larger than the grid, shadows and a haze of
// partly transparent pixels, a layer at partial opacity), and thirty
// tilesets of tiles from 16 to 96 pixels a side, some animated. Written as
// TMX with PNG images; the same arguments always give the same files.
#pragma once

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "tmxinternal.h"

namespace tmxgame {

// The tile sizes of the tilesets, in turn.
constexpr int kSizes[][2] = {{32, 32}, {16, 16}, {64, 64}, {32, 64}, {96, 96}, {64, 32}, {48, 48}, {32, 96}};

// Tile t of a tileset of w x h tiles: shaded from light at the top to dark
// at the bottom in one of a game's colour families (grass, earth, stone,
// wood, water, roofs), with a little texture; `kind` 0 opaque, 1 with
// see-through holes around a shape (trees, buildings), 2 partly transparent
// throughout (shadows, haze).
inline uint32_t Pixel(int ts, int t, int x, int y, int w, int h, int kind) {
    static const int kFamilies[6][3] = {{70, 150, 60},  {150, 110, 70}, {130, 130, 140},
                                        {160, 100, 50}, {60, 110, 190}, {180, 70, 60}};
    const int* base = kFamilies[(ts + t / 8) % 6];
    const int shade = 160 + 95 * (h - y) / h - 8 * ((x * 5 + y * 3 + t) % 4);  // out of 256
    uint32_t rgb = 0;
    for (int c = 0; c < 3; c++)
        rgb |= static_cast<uint32_t>(std::min(255, base[c] * shade / 256 + t % 4 * 6)) << (8 * c);
    uint32_t a = 255;
    if (kind == 1) {
        const int dx = 2 * x - w, dy = 2 * y - h;
        if (dx * dx * h * h / (w * w) + dy * dy > h * h * (6 + t % 4) / 10) a = 0;
    } else if (kind == 2) {
        a = static_cast<uint32_t>(60 + (x + y) * 90 / (w + h));
        rgb = ts % 2 ? 0x201810u : 0xE8E8F0u;  // a dark shadow or a pale haze
    }
    return rgb | a << 24;
}

// Writes `name`.tmx and its tileset images (`name`-tsN.png) into `dir`
// (ending in '/'): a map of w x h cells. Returns the bytes its decoded
// images take (4 a pixel).
inline int64_t Write(const std::string& dir, const std::string& name, int w, int h, uint32_t seed = 1) {
    constexpr int kTilesets = 30, kCols = 4, kRows = 4;  // 16 tiles a tileset
    int64_t decoded = 0;
    std::string tsx;
    int64_t firstgid = 1;
    std::vector<int64_t> first(kTilesets);
    for (int ts = 0; ts < kTilesets; ts++) {
        const int tw = kSizes[ts % 8][0], th = kSizes[ts % 8][1];
        const int kind = ts < 4 ? 0 : ts % 5 == 4 ? 2 : 1;  // the first few cover the ground
        std::vector<uint32_t> px(size_t(kCols) * tw * kRows * th);
        for (int t = 0; t < kCols * kRows; t++) {
            for (int y = 0; y < th; y++) {
                for (int x = 0; x < tw; x++) {
                    px[size_t(t / kCols * th + y) * kCols * tw + t % kCols * tw + x] = Pixel(ts, t, x, y, tw, th, kind);
                }
            }
        }
        const std::vector<uint8_t> png = TmxEncodePngRgba(kCols * tw, kRows * th, px.data());
        const std::string file = name + "-ts" + std::to_string(ts) + ".png";
        std::ofstream(dir + file, std::ios::binary)
            .write(reinterpret_cast<const char*>(png.data()), static_cast<std::streamsize>(png.size()));
        decoded += int64_t{4} * kCols * tw * kRows * th;
        first[ts] = firstgid;
        tsx += " <tileset firstgid=\"" + std::to_string(firstgid) + "\" name=\"ts" + std::to_string(ts) +
               "\" tilewidth=\"" + std::to_string(tw) + "\" tileheight=\"" + std::to_string(th) + "\" tilecount=\"" +
               std::to_string(kCols * kRows) + "\" columns=\"" + std::to_string(kCols) + "\"><image source=\"" + file +
               "\" width=\"" + std::to_string(kCols * tw) + "\" height=\"" + std::to_string(kRows * th) + "\"/>";
        if (ts % 3 == 0) {
            tsx += "<tile id=\"5\"><animation><frame tileid=\"5\" duration=\"" + std::to_string(200 + 100 * ts) +
                   "\"/><frame tileid=\"6\" duration=\"300\"/></animation></tile>";
        }
        tsx += "</tileset>\n";
        firstgid += kCols * kRows;
    }
    // The layers, laid out as a level designer lays them: ground in
    // patches, sparse details, paths along rows and columns, woods of trees
    // with their shadows and canopies, a few buildings, props here and
    // there, and patches of haze.
    auto hash = [seed](int x, int y, int k) {
        uint32_t v = static_cast<uint32_t>(x) * 374761393u + static_cast<uint32_t>(y) * 668265263u +
                     seed * 2246822519u + static_cast<uint32_t>(k) * 3266489917u;
        v = (v ^ (v >> 13)) * 1274126177u;
        return v ^ (v >> 16);
    };
    auto tile = [&](int ts, int t) { return static_cast<uint32_t>(first[ts] + t); };
    std::vector<std::vector<uint32_t>> cells(9, std::vector<uint32_t>(size_t(w) * h, 0));
    for (int y = 0; y < h; y++) {
        for (int x = 0; x < w; x++) {
            const size_t i = size_t(y) * w + x;
            const uint32_t patch = hash(x / 7, y / 5, 0), wood = hash(x / 9, y / 8, 1), r = hash(x, y, 2);
            cells[0][i] = tile(0, patch % 4 * 4 + r % 2);                        // ground
            if (r % 100 < 6) cells[1][i] = tile(1 + r % 2, (r >> 8) % 16);       // detail
            if (x % 23 == 5 || y % 17 == 9) cells[2][i] = tile(3, (x + y) % 2);  // paths
            if (wood % 3 == 0 && r % 7 < 2) {                                    // woods
                const int ts = 5 + static_cast<int>(wood % 4) * 2;
                cells[3][i] = tile(ts, (r >> 4) % 3);
                if ((r >> 12) % 2) cells[6][i] = tile(9, 0);                                     // shadow
                if ((r >> 14) % 3 == 0) cells[7][i] = tile(21 + static_cast<int>(wood % 3), 1);  // canopy
            }
            if (hash(x / 13, y / 11, 3) % 5 == 0 && x % 13 == 6 && y % 11 == 7) {
                cells[4][i] = tile(11 + static_cast<int>(hash(x, y, 4) % 8), static_cast<int>(hash(x, y, 5) % 4));
            }
            if (r % 100 >= 97) cells[5][i] = tile(19 + static_cast<int>(r % 5), (r >> 10) % 16);  // props
            if (hash(x / 12, y / 10, 6) % 6 == 0 && (x + y) % 3 == 0)
                cells[8][i] = tile(24 + static_cast<int>(hash(x / 12, y / 10, 7) % 6), 0);
            if ((r >> 20) % 16 == 0 && cells[3][i]) cells[3][i] |= kTmxFlipH;
        }
    }
    const char* const names[9] = {"ground", "detail",  "paths",  "trees", "buildings",
                                  "props",  "shadows", "canopy", "haze"};
    const char* const extras[9] = {"", "", "", "", "", "", "", " offsetx=\"8\" offsety=\"-4\"", " opacity=\"0.7\""};
    std::string tmx =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<map version=\"1.8\" orientation=\"orthogonal\" "
        "renderorder=\"right-down\" width=\"" +
        std::to_string(w) + "\" height=\"" + std::to_string(h) +
        "\" tilewidth=\"32\" tileheight=\"32\" infinite=\"0\">\n" + tsx;
    for (int l = 0; l < 9; l++) {
        tmx += " <layer name=\"" + std::string(names[l]) + "\" width=\"" + std::to_string(w) + "\" height=\"" +
               std::to_string(h) + "\"" + extras[l] + "><data encoding=\"csv\">\n";
        for (size_t i = 0; i < cells[l].size(); i++)
            tmx += std::to_string(cells[l][i]) + (i + 1 < cells[l].size() ? "," : "\n");
        tmx += "</data></layer>\n";
    }
    tmx += "</map>\n";
    std::ofstream(dir + name + ".tmx", std::ios::binary) << tmx;
    return decoded;
}

}  // namespace tmxgame
