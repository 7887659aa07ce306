// The platformer art's palette and the painting helpers every painter uses.
#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <set>
#include <stdexcept>

#include "art.h"

namespace art {

Ramps R;

namespace {

int used = 1;  // palette entries handed out so far

// Spreads n entries evenly over the key colours, dark to light.
Ramp AddRamp(std::vector<uint8_t>& cmap, std::initializer_list<uint32_t> keys, int n) {
    const std::vector<uint32_t> k(keys);
    Ramp r{used, n};
    for (int i = 0; i < n; i++) {
        const double t = n > 1 ? double(i) / (n - 1) * double(k.size() - 1) : 0;
        const size_t a = std::min(static_cast<size_t>(t), k.size() - 1), b = std::min(a + 1, k.size() - 1);
        const double f = t - double(a);
        for (int c = 0; c < 3; c++) {
            const double va = (k[a] >> (16 - 8 * c)) & 255, vb = (k[b] >> (16 - 8 * c)) & 255;
            cmap[3 * (used + i) + c] = static_cast<uint8_t>(std::lround(va + (vb - va) * f));
        }
    }
    used += n;
    if (used > 256) throw std::runtime_error("palette: more than 256 entries");
    return r;
}

}  // namespace

uint8_t Ramp::operator()(int k) const { return static_cast<uint8_t>(base + std::clamp(k, 0, n - 1)); }

std::vector<uint8_t> MakePalette() {
    std::vector<uint8_t> cmap(768, 0);
    used = 1;
    // Index 0 never shows: magenta, so that a viewer that ignores the
    // transparency makes the see-through pixels obvious.
    cmap[0] = 255, cmap[1] = 0, cmap[2] = 255;
    R.ink = AddRamp(cmap, {0x140c1c, 0x2c2038}, 2);
    R.white = AddRamp(cmap, {0xffffff}, 1);
    R.sky = AddRamp(cmap, {0x2a64c8, 0x5ea8f0, 0x78b8f4, 0xb4dcfa}, 8);
    R.cloud = AddRamp(cmap, {0x7a9ccc, 0xaac4e4, 0xdcebf8, 0xfcfeff}, 6);
    R.hill = AddRamp(cmap, {0x235660, 0x2f7a6c, 0x46a078, 0x7cc88a, 0xb8e8b0}, 7);
    R.grass = AddRamp(cmap, {0x163e1a, 0x267024, 0x44a02e, 0x78c83a, 0xb2ea58, 0xe6ffa2}, 11);
    R.dirt = AddRamp(cmap, {0x28140c, 0x4c2818, 0x744222, 0x9c6032, 0xc4864c, 0xe4b276}, 11);
    R.stone = AddRamp(cmap, {0x1c1e2e, 0x3a3f52, 0x5c6476, 0x8692a4, 0xb6c2ce, 0xecf2f6}, 11);
    R.brick = AddRamp(cmap, {0x3c1210, 0x7c2a1a, 0xb2482a, 0xdc7848, 0xf6b282}, 8);
    R.wood = AddRamp(cmap, {0x2e160a, 0x5c3216, 0x8c582a, 0xba8448, 0xe2b274, 0xfadca6}, 10);
    R.water = AddRamp(cmap, {0x0a1a4a, 0x12387e, 0x1a5eb0, 0x3090da, 0x68c4f0, 0xbaf0ff}, 12);
    R.leaf = AddRamp(cmap, {0x0c2a18, 0x1a5226, 0x2c7e30, 0x50aa38, 0x8cd24a, 0xcef27c}, 11);
    R.bark = AddRamp(cmap, {0x26140a, 0x4e2e1a, 0x7a4e30, 0xa6784e}, 6);
    R.gold = AddRamp(cmap, {0x5c2c00, 0xa86200, 0xe8a008, 0xffd834, 0xfff2a2, 0xfffce8}, 9);
    R.red = AddRamp(cmap, {0x4c0818, 0x9c1828, 0xe23a36, 0xff806c, 0xffc4b4}, 7);
    R.blue = AddRamp(cmap, {0x1a2066, 0x3450c0, 0x5e8ef0, 0xa8c8ff}, 7);
    R.skin = AddRamp(cmap, {0x6c3424, 0xba6e4a, 0xf2a878, 0xffd6b4}, 5);
    R.hair = AddRamp(cmap, {0x3e1a0c, 0x803a18, 0xc8642a, 0xf49c4c}, 5);
    std::set<uint32_t> seen;
    for (int i = 0; i < used; i++) {
        const uint32_t rgb = uint32_t(cmap[3 * i]) << 16 | cmap[3 * i + 1] << 8 | cmap[3 * i + 2];
        if (!seen.insert(rgb).second)
            throw std::runtime_error("palette: entry " + std::to_string(i) + " repeats a colour");
    }
    return cmap;
}

int PaletteSize() { return used; }

uint32_t Hash(int x, int y, int seed) {
    uint32_t h = uint32_t(x) * 374761393u + uint32_t(y) * 668265263u + uint32_t(seed) * 2246822519u;
    h = (h ^ (h >> 13)) * 1274126177u;
    return h ^ (h >> 16);
}

double Noise(int x, int y, int seed) { return (Hash(x, y, seed) & 0xFFFF) / 65536.0; }

double Bayer(int x, int y) {
    static const int m[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};
    return (m[y & 3][x & 3] + 0.5) / 16.0;
}

void Stamp(const View& v, int x0, int y0, const std::vector<std::string>& rows, const std::string& keys,
           const std::vector<uint8_t>& colours, bool mirrored) {
    for (size_t y = 0; y < rows.size(); y++) {
        const std::string& row = rows[y];
        for (size_t x = 0; x < row.size(); x++) {
            const char ch = row[x];
            if (ch == '.' || ch == ' ') continue;
            const size_t k = keys.find(ch);
            if (k == std::string::npos || k >= colours.size())
                throw std::runtime_error(std::string("stamp: unknown key ") + ch);
            const int px = mirrored ? x0 + int(row.size()) - 1 - int(x) : x0 + int(x);
            v.Put(px, y0 + int(y), colours[k]);
        }
    }
}

void Outline(const View& v, uint8_t ink) {
    std::vector<std::pair<int, int>> rim;
    for (int y = 0; y < v.h; y++) {
        for (int x = 0; x < v.w; x++) {
            if (!v.At(x, y)) continue;
            const bool edge = (x > 0 && !v.At(x - 1, y)) || (x + 1 < v.w && !v.At(x + 1, y)) ||
                              (y > 0 && !v.At(x, y - 1)) || (y + 1 < v.h && !v.At(x, y + 1));
            if (edge) rim.emplace_back(x, y);
        }
    }
    for (auto [x, y] : rim) v.Put(x, y, ink);
}

}  // namespace art
