// Map writer: serializes a map description into chunks and a FORM image.
#include "mapwriter.h"

#include <cstdio>
#include <cstring>

void MapWriterPut16(std::vector<uint8_t>& out, int v) {
    out.push_back(static_cast<uint8_t>(v & 0xFF));
    out.push_back(static_cast<uint8_t>((v >> 8) & 0xFF));
}

void MapWriterPut32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; i++) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

static void PutBE32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 3; i >= 0; i--) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

int MapWriterMap::numblockgfx() const {
    int tile = blockwidth * blockheight * ((depth + 1) / 8);
    return tile > 0 ? static_cast<int>(gfx.size()) / tile : 0;
}

std::vector<uint8_t> MapWriterMPHD(const MapWriterMap& m) {
    std::vector<uint8_t> d = {1, 0, 1, 0};
    MapWriterPut16(d, m.width);
    MapWriterPut16(d, m.height);
    MapWriterPut16(d, 0);
    MapWriterPut16(d, 0);
    MapWriterPut16(d, m.blockwidth);
    MapWriterPut16(d, m.blockheight);
    MapWriterPut16(d, m.depth);
    MapWriterPut16(d, m.blockstrsize);
    MapWriterPut16(d, static_cast<int>(m.blocks.size()));
    MapWriterPut16(d, m.numblockgfx());
    return d;
}

std::vector<uint8_t> MapWriterBKDT(const MapWriterMap& m) {
    std::vector<uint8_t> d(m.blocks.size() * sizeof(BLKSTR));
    if (!d.empty()) std::memcpy(d.data(), m.blocks.data(), d.size());
    return d;
}

std::vector<uint8_t> MapWriterANDT(const MapWriterMap& m) {
    std::vector<uint8_t> d;
    for (int32_t f : m.frames) MapWriterPut32(d, static_cast<uint32_t>(f));
    d.push_back(0xFF);  // end record
    d.resize(d.size() + 15, 0);
    const int32_t end = static_cast<int32_t>(4 * m.frames.size() + 16 + 16 * m.anims.size());
    for (size_t k = m.anims.size(); k-- > 0;) {  // animation 0 is written last
        const MapWriterAnim& a = m.anims[k];
        d.push_back(static_cast<uint8_t>(a.antype));
        d.push_back(static_cast<uint8_t>(a.andelay));
        d.push_back(static_cast<uint8_t>(a.ancount));
        d.push_back(static_cast<uint8_t>(a.anuser));
        MapWriterPut32(d, static_cast<uint32_t>(4 * a.cur - end));
        MapWriterPut32(d, static_cast<uint32_t>(4 * a.start - end));
        MapWriterPut32(d, static_cast<uint32_t>(4 * a.end - end));
    }
    return d;
}

std::vector<uint8_t> MapWriterLayer(const std::vector<int16_t>& cells) {
    std::vector<uint8_t> d;
    d.reserve(cells.size() * 2);
    for (int16_t c : cells) MapWriterPut16(d, c);
    return d;
}

std::vector<MapChunk> MapWriterChunks(const MapWriterMap& m) {
    std::vector<MapChunk> c;
    c.push_back({"MPHD", MapWriterMPHD(m)});
    c.push_back({"CMAP", m.cmap});
    c.push_back({"BKDT", MapWriterBKDT(m)});
    if (!m.frames.empty() || !m.anims.empty()) c.push_back({"ANDT", MapWriterANDT(m)});
    c.push_back({"BGFX", m.gfx});
    if (!m.layers[0].empty()) c.push_back({"BODY", MapWriterLayer(m.layers[0])});
    for (int n = 1; n < 8; n++) {
        if (!m.layers[n].empty()) c.push_back({"LYR" + std::to_string(n), MapWriterLayer(m.layers[n])});
    }
    return c;
}

std::vector<uint8_t> MapWriterImage(const std::vector<MapChunk>& chunks) {
    std::vector<uint8_t> body = {'F', 'M', 'A', 'P'};
    for (const MapChunk& ch : chunks) {
        for (int i = 0; i < 4; i++) body.push_back(i < static_cast<int>(ch.id.size()) ? ch.id[i] : ' ');
        PutBE32(body, static_cast<uint32_t>(ch.data.size()));
        body.insert(body.end(), ch.data.begin(), ch.data.end());
    }
    std::vector<uint8_t> img = {'F', 'O', 'R', 'M'};
    PutBE32(img, static_cast<uint32_t>(body.size()));
    img.insert(img.end(), body.begin(), body.end());
    return img;
}

std::vector<uint8_t> MapWriterImage(const MapWriterMap& m) {
    return MapWriterImage(MapWriterChunks(m));
}

MapChunk* MapWriterFind(std::vector<MapChunk>& chunks, const std::string& id) {
    for (MapChunk& c : chunks) {
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

MapWriterMap MapWriterSample(int w, int h, int ngfx) {
    MapWriterMap m;
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
