// Map writer helpers: layer chunks, chunk lookup, files and the sample map.
#include "mapwriter.h"

#include <cstdio>
#include <cstring>

std::vector<uint8_t> MapWriterLayer(const std::vector<int16_t>& cells) {
    MAPDESC d;
    d.layers[0] = cells;
    return MapSerializeChunk(d, MAPCHUNK_BODY);
}

MAPCHUNK* MapWriterFind(std::vector<MAPCHUNK>& chunks, const std::string& id) {
    for (MAPCHUNK& c : chunks) {
        if (c.id == id) return &c;
    }
    return nullptr;
}

bool MapWriterSave(const std::string& path, const std::vector<uint8_t>& image) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = std::fwrite(image.data(), 1, image.size(), f) == image.size();
    return std::fclose(f) == 0 && ok;
}

MAPDESC MapWriterSample(int w, int h, int ngfx) {
    MAPDESC m;
    m.width = w;
    m.height = h;
    m.cmap.resize(768);
    for (int i = 0; i < 256; i++) {
        m.cmap[3 * i] = static_cast<uint8_t>(i);
        m.cmap[3 * i + 1] = static_cast<uint8_t>(255 - i);
        m.cmap[3 * i + 2] = static_cast<uint8_t>(i / 2);
    }
    m.gfx.resize(static_cast<size_t>(ngfx) * 256);
    for (int g = 0; g < ngfx; g++) {
        for (int y = 0; y < 16; y++) {
            for (int x = 0; x < 16; x++) m.gfx[g * 256 + y * 16 + x] = static_cast<uint8_t>(g * 7 + x + 3 * y);
        }
    }
    for (int g = 0; g < ngfx; g++) {
        BLKSTR b{};
        b.bgoff = g * 256;
        b.fgoff = (g + 1) % ngfx * 256;
        b.user1 = 1000 + g;
        b.trigger = g & 1;
        m.blocks.push_back(b);
    }
    for (int g = 0; g < ngfx; g++) m.frames.push_back(g * 32);
    m.anims.push_back({ANTYPE_LOOP_FWD, 0, 0, 0, 0, ngfx, 0});
    m.anims.push_back({ANTYPE_PINGPONG_FWD_OUT, 1, 0, 0, 0, ngfx, 0});
    const int second = ngfx > 1 ? 1 : 0;
    m.anims.push_back({ANTYPE_LOOP_BACK, 2, 0, 0, second, ngfx, second});
    m.layers[0].resize(static_cast<size_t>(w) * h);
    const int kinds = ngfx + 3;
    for (int i = 0; i < w * h; i++) {
        int k = (i * 5 + i / w) % kinds;
        m.layers[0][i] = static_cast<int16_t>(k < ngfx ? k * 32 : -16 * (k - ngfx + 1));
    }
    return m;
}
