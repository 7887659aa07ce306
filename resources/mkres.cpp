// Draws the demo's title picture and icon and writes them as resources:
// kvres_data.cpp (byte arrays for kvdx_resources), kvlogo.bmp and kvicon.ico.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {

constexpr int kLogoW = 320, kLogoH = 240, kLogoColours = 225;
constexpr int kIconSide = 32, kIconColours = 16;
constexpr double kPi = 3.14159265358979323846;

struct Rgb {
    double r = 0, g = 0, b = 0;
};

Rgb Mix(Rgb a, Rgb b, double t) {
    t = std::clamp(t, 0.0, 1.0);
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

Rgb Hex(uint32_t v) { return {double(v >> 16 & 255), double(v >> 8 & 255), double(v & 255)}; }

struct Image {
    int w = 0, h = 0;
    std::vector<Rgb> px;
    Image(int width, int height) : w(width), h(height), px(size_t(width) * height) {}
    bool In(int x, int y) const { return x >= 0 && y >= 0 && x < w && y < h; }
    Rgb& At(int x, int y) { return px[size_t(y) * w + x]; }
    void Put(int x, int y, Rgb c) {
        if (In(x, y)) At(x, y) = c;
    }
    void Blend(int x, int y, Rgb c, double a) {
        if (In(x, y)) At(x, y) = Mix(At(x, y), c, a);
    }
};

// Deterministic pixel noise in [0, 1).
double Hash(int x, int y, int seed) {
    uint32_t h = uint32_t(x) * 374761393u + uint32_t(y) * 668265263u + uint32_t(seed) * 2246822519u;
    h = (h ^ (h >> 13)) * 1274126177u;
    return double((h ^ (h >> 16)) & 0xFFFFFF) / double(0x1000000);
}

// 4 x 4 ordered dither threshold in [0, 1).
double Bayer(int x, int y) {
    static const int m[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};
    return (m[y & 3][x & 3] + 0.5) / 16.0;
}

// --- Pixel font: 5 x 7 capitals ---------------------------------------------

struct Glyph {
    char c;
    const char* rows;  // 7 rows of 5 cells, '#' set
};

const Glyph kFont[] = {
    {'A', ".###.#...##...#######...##...##...#"}, {'E', "######....#....####.#....#....#####"},
    {'G', ".#####....#....#..###...##...#.####"}, {'I', "#####..#....#....#....#....#..#####"},
    {'K', "#...##..#.#.#..##...#.#..#..#.#...#"}, {'L', "#....#....#....#....#....#....#####"},
    {'O', ".###.#...##...##...##...##...#.###."}, {'P', "####.#...##...#####.#....#....#...."},
    {'R', "####.#...##...#####.#.#..#..#.#...#"}, {'S', ".#####....#.....###.....#....#####."},
    {'V', "#...##...##...##...#.#.#..#.#...#.."}, {'W', "#...##...##...##.#.##.#.##.#.#.#.#."},
    {'Y', "#...##...#.#.#...#....#....#....#.."},
};

const char* GlyphRows(char c) {
    for (const Glyph& g : kFont) {
        if (g.c == c) return g.rows;
    }
    return nullptr;
}

int TextWidth(const char* s, int scale) {
    int n = int(std::strlen(s));
    return n > 0 ? (6 * n - 1) * scale : 0;
}

// Marks the font cells of `s` at (x, y), `scale` pixels per cell, in `mask`.
// At larger scales an empty cell between two diagonal neighbours gets a
// corner triangle, so diagonal strokes stay joined.
void TextMask(std::vector<uint8_t>& mask, int w, int h, const char* s, int x, int y, int scale) {
    auto put = [&](int px, int py) {
        if (px >= 0 && py >= 0 && px < w && py < h) mask[size_t(py) * w + px] = 1;
    };
    for (int i = 0; s[i]; i++, x += 6 * scale) {
        const char* rows = GlyphRows(s[i]);
        if (!rows) continue;
        auto cell = [&](int gx, int gy) { return gx >= 0 && gy >= 0 && gx < 5 && gy < 7 && rows[gy * 5 + gx] == '#'; };
        for (int gy = 0; gy < 7; gy++) {
            for (int gx = 0; gx < 5; gx++) {
                for (int dy = 0; dy < scale; dy++) {
                    for (int dx = 0; dx < scale; dx++) {
                        bool on = cell(gx, gy);
                        if (!on && scale > 2) {
                            const int cut = scale / 2;
                            for (int c = 0; c < 4 && !on; c++) {
                                int sx = c & 1 ? 1 : -1, sy = c & 2 ? 1 : -1;
                                int ex = sx > 0 ? scale - 1 - dx : dx, ey = sy > 0 ? scale - 1 - dy : dy;
                                on = cell(gx + sx, gy) && cell(gx, gy + sy) && !cell(gx + sx, gy + sy) && ex + ey < cut;
                            }
                        }
                        if (on) put(x + gx * scale + dx, y + gy * scale + dy);
                    }
                }
            }
        }
    }
}

// Title lettering: a gradient fill from `top` to `bottom` with a light top
// edge, a dark outline `outline` pixels wide and a drop shadow.
void DrawTitle(Image& img, const char* s, int cx, int y, int scale, Rgb top, Rgb bottom, Rgb edge, int outline) {
    const int x = cx - TextWidth(s, scale) / 2;
    std::vector<uint8_t> m(img.px.size(), 0);
    TextMask(m, img.w, img.h, s, x, y, scale);
    auto set = [&](int px, int py) { return img.In(px, py) && m[size_t(py) * img.w + px]; };
    auto near = [&](int px, int py, int r) {
        for (int dy = -r; dy <= r; dy++) {
            for (int dx = -r; dx <= r; dx++) {
                if (dx * dx + dy * dy <= r * r + r && set(px + dx, py + dy)) return true;
            }
        }
        return false;
    };
    const Rgb shadow = Hex(0x0b0f2a), ink = Hex(0x1a1035);
    const int sh = std::max(2, scale / 2 + 1);
    for (int py = 0; py < img.h; py++) {
        for (int px = 0; px < img.w; px++) {
            if (near(px - sh, py - sh, outline)) img.Blend(px, py, shadow, 0.7);
        }
    }
    for (int py = 0; py < img.h; py++) {
        for (int px = 0; px < img.w; px++) {
            if (set(px, py)) {
                double t = double(py - y) / (7.0 * scale);
                Rgb c = Mix(top, bottom, t + (Bayer(px, py) - 0.5) * 0.12);
                if (!set(px, py - 1) || !set(px - 1, py))
                    c = edge;
                else if (!set(px, py + 1) || !set(px + 1, py))
                    c = Mix(c, bottom, 0.6);
                img.At(px, py) = c;
            } else if (near(px, py, outline)) {
                img.At(px, py) = ink;
            }
        }
    }
}

// --- The krill --------------------------------------------------------------

struct KrillLook {
    Rgb shade, mid, light, shine, spot, line;
    double fade;  // 0 = as drawn; towards 1 the krill melts into `haze`
    Rgb haze;
};

// A krill seen from the side facing left: head centre (hx, hy), length
// `len` from head to tail base; `curl` bends the tail down.
void DrawKrill(Image& img, double hx, double hy, double len, double curl, const KrillLook& k) {
    const double R = 0.11 * len;
    auto sx = [&](double t) { return hx + len * t; };
    auto sy = [&](double t) {
        double tail = std::max(0.0, t - 0.55);
        return hy - 0.07 * len * std::sin(kPi * t) + curl * len * tail * tail;
    };
    auto rad = [&](double t) {
        if (t < 0.42) return R * (0.85 + 0.3 * std::sin(kPi * t / 0.42));
        return R * (1.0 - 0.58 * (t - 0.42) / 0.58);
    };
    const int x0 = int(hx - len * 0.9) - 2, x1 = int(hx + len * 1.35) + 2;
    const int y0 = int(hy - len * 0.6) - 2, y1 = int(hy + len * 0.7) + 2;
    const int bw = x1 - x0 + 1, bh = y1 - y0 + 1;
    // 0 outside, 1 body, 2 limbs; colours kept separately.
    std::vector<uint8_t> m(size_t(bw) * bh, 0);
    std::vector<Rgb> col(m.size());
    auto plot = [&](int x, int y, Rgb c, uint8_t kind) {
        if (x < x0 || y < y0 || x > x1 || y > y1) return;
        size_t i = size_t(y - y0) * bw + (x - x0);
        if (m[i] == 1 && kind == 2) return;
        m[i] = kind;
        col[i] = c;
    };
    auto line = [&](double ax, double ay, double bx, double by, Rgb c) {
        int n = int(std::max(std::fabs(bx - ax), std::fabs(by - ay))) + 1;
        for (int i = 0; i <= n; i++) {
            double t = double(i) / n;
            plot(int(std::lround(ax + (bx - ax) * t)), int(std::lround(ay + (by - ay) * t)), c, 2);
        }
    };
    // Limbs first so that the body covers their roots.
    const Rgb limb = Mix(k.mid, k.light, 0.3);
    for (int i = 0; i < 6; i++) {  // feathery legs under the head
        double t = 0.06 + i * 0.065;
        double bx = sx(t), by = sy(t) + rad(t) * 0.8;
        double ex = bx - 0.07 * len, ey = by + 0.2 * len;
        line(bx, by, ex, ey, limb);
        if (len > 60) line((bx + ex) / 2, (by + ey) / 2, (bx + ex) / 2 - 0.04 * len, (by + ey) / 2 + 0.02 * len, k.mid);
    }
    for (int i = 0; i < 5; i++) {  // swimmerets under the tail
        double t = 0.47 + i * 0.09;
        double bx = sx(t), by = sy(t) + rad(t) * 0.8;
        line(bx, by, bx + 0.03 * len, by + 0.1 * len, limb);
    }
    for (int a = 0; a < 2; a++) {  // antennae: long arcs forward and up
        double ax = sx(0) - R * 0.6, ay = sy(0) - R * 0.1 + a * R * 0.5;
        double ex = ax - len * (0.8 - 0.2 * a), ey = ay - len * (0.35 - 0.25 * a);
        double mx = ax - len * 0.3, my = ay - len * (0.45 - 0.2 * a);
        int n = int(len * 1.2);
        double px = ax, py = ay;
        for (int i = 1; i <= n; i++) {
            double t = double(i) / n, u = 1 - t;
            double qx = u * u * ax + 2 * u * t * mx + t * t * ex;
            double qy = u * u * ay + 2 * u * t * my + t * t * ey;
            line(px, py, qx, qy, Mix(limb, k.shine, 0.2 * a));
            px = qx;
            py = qy;
        }
    }
    // Body: distance to the spine, shaded from a light above.
    for (int y = y0; y <= y1; y++) {
        for (int x = x0; x <= x1; x++) {
            double best = 1e9, bt = 0;
            for (int i = 0; i <= 200; i++) {
                double t = i / 200.0;
                double dx = x - sx(t), dy = y - sy(t);
                double d = std::sqrt(dx * dx + dy * dy) / rad(t);
                if (d < best) {
                    best = d;
                    bt = t;
                }
            }
            if (best > 1.0) continue;
            double v = (y - sy(bt)) / rad(bt);  // -1 top .. 1 belly
            double light = 0.62 - 0.5 * v - 0.25 * best * best;
            Rgb c = light < 0.35 ? Mix(k.shade, k.mid, light / 0.35) : Mix(k.mid, k.light, (light - 0.35) / 0.5);
            if (light > 0.95 && best < 0.75) c = k.shine;
            if (bt > 0.42) {  // segment grooves of the tail
                double seg = (bt - 0.42) / (0.58 / 6);
                if (seg - std::floor(seg) < 0.09 && v > -0.9) c = Mix(c, k.shade, 0.55);
            } else if (std::fabs(bt - 0.42) < 0.012) {
                c = Mix(c, k.shade, 0.5);
            }
            if (v < -0.15 && Hash(x, y, 7) < 0.09 && len > 40) c = k.spot;
            // The gut shows through the clear shell as a dark green patch.
            double gx = (x - sx(0.22)) / (R * 0.75), gy = (y - sy(0.22) - R * 0.1) / (R * 0.45);
            if (gx * gx + gy * gy < 1 && len > 40) c = Mix(c, Mix(Hex(0x6a7a2a), Hex(0x3a4a18), gy * 0.5 + 0.5), 0.55);
            plot(x, y, c, 1);
        }
    }
    // Tail fan: a central blade and two pairs splayed from the tail end.
    const double ex = sx(1.0), ey = sy(1.0);
    const double ang = std::atan2(sy(1.0) - sy(0.97), sx(1.0) - sx(0.97));
    const double spread[5] = {-0.75, -0.38, 0.0, 0.38, 0.75};
    for (int b = 0; b < 5; b++) {
        double a = ang + spread[b];
        double bl = 0.2 * len * (b == 2 ? 1.0 : 0.9);
        double hw = std::max(1.0, R * 0.3);
        for (int y = y0; y <= y1; y++) {
            for (int x = x0; x <= x1; x++) {
                double dx = x - ex, dy = y - ey;
                double u = dx * std::cos(a) + dy * std::sin(a), w = -dx * std::sin(a) + dy * std::cos(a);
                if (u < 0 || u > bl) continue;
                double half = hw * std::sin(kPi * std::min(1.0, u / bl * 0.8 + 0.2));
                if (std::fabs(w) > half) continue;
                Rgb c = Mix(k.light, k.mid, u / bl);
                if (std::fabs(w) > half - 1 && len > 40) c = k.shade;
                plot(x, y, c, 1);
            }
        }
    }
    // Eye on a short stalk at the front of the head.
    const double eyx = sx(0.02) - R * 0.3, eyy = sy(0.02) - R * 0.25, er = std::max(1.9, R * 0.62);
    for (int y = int(eyy - er) - 1; y <= int(eyy + er) + 1; y++) {
        for (int x = int(eyx - er) - 1; x <= int(eyx + er) + 1; x++) {
            double d = std::hypot(x - eyx, y - eyy);
            if (d > er) continue;
            Rgb c = Hex(0x120a14);
            if (std::hypot(x - (eyx - er * 0.35), y - (eyy - er * 0.35)) < std::max(1.0, er * 0.28)) c = Hex(0xf4f4ff);
            plot(x, y, c, 1);
        }
    }
    // Outline round the body, then everything onto the picture.
    for (int y = y0; y <= y1; y++) {
        for (int x = x0; x <= x1; x++) {
            size_t i = size_t(y - y0) * bw + (x - x0);
            if (m[i]) {
                img.Blend(x, y, Mix(col[i], k.haze, k.fade), 1.0);
                continue;
            }
            bool edge = false;
            for (int d = 0; d < 4 && !edge; d++) {
                int nx = x + (d == 0) - (d == 1), ny = y + (d == 2) - (d == 3);
                if (nx >= x0 && ny >= y0 && nx <= x1 && ny <= y1 && m[size_t(ny - y0) * bw + (nx - x0)] == 1)
                    edge = true;
            }
            if (edge) img.Blend(x, y, Mix(k.line, k.haze, k.fade), 1.0);
        }
    }
}

// --- The title picture --------------------------------------------------------

constexpr int kHorizon = 104;  // the water line

double WaveY(double x) { return kHorizon + 1.6 * std::sin(x * 0.11) + 0.9 * std::sin(x * 0.27 + 1.3); }

void DrawSkyAndSea(Image& img) {
    const Rgb skyTop = Hex(0x1b1d5c), skyMid = Hex(0x7a3f8f), skyLow = Hex(0xf08a5d), skyGlow = Hex(0xffd58a);
    const Rgb seaTop = Hex(0x2c8fb0), seaMid = Hex(0x14557e), seaDeep = Hex(0x081b3d);
    const double sunX = 160, sunY = kHorizon - 6, sunR = 30;
    for (int y = 0; y < img.h; y++) {
        for (int x = 0; x < img.w; x++) {
            double wy = WaveY(x);
            Rgb c;
            if (y < wy) {
                double t = double(y) / kHorizon + (Bayer(x, y) - 0.5) * 0.05;
                c = t < 0.55 ? Mix(skyTop, skyMid, t / 0.55) : Mix(skyMid, skyLow, (t - 0.55) / 0.45);
                double d = std::hypot(x - sunX, (y - sunY) * 1.3);
                c = Mix(c, skyGlow, std::max(0.0, 1.0 - d / 120.0) * 0.55);
                if (d < sunR) c = Mix(Hex(0xfff2b0), Hex(0xffb35a), (y - (sunY - sunR)) / (2 * sunR));
                // Thin cloud bands across the sun.
                if (d < 110 && (y == 70 || y == 71 || y == 84 || y == 85) && std::sin(x * 0.05 + y) > -0.3)
                    c = Mix(c, Hex(0x8a3f6a), 0.55);
                if (y < 60 && Hash(x, y, 3) < 0.004) c = Mix(c, Hex(0xffffff), 0.8);  // first stars
            } else {
                double t = double(y - kHorizon) / (img.h - kHorizon) + (Bayer(x, y) - 0.5) * 0.06;
                c = t < 0.35 ? Mix(seaTop, seaMid, t / 0.35) : Mix(seaMid, seaDeep, (t - 0.35) / 0.65);
                // The sun's light just under the surface.
                double glow = std::max(0.0, 1.0 - std::hypot((x - sunX) / 90.0, (y - wy) / 30.0));
                c = Mix(c, Hex(0x8fd8d0), glow * 0.5);
                if (y - wy < 1.5)
                    c = Hex(0xd8f4ff);
                else if (y - wy < 3)
                    c = Mix(c, Hex(0xa8e4f0), 0.6);
            }
            img.At(x, y) = c;
        }
    }
    // Light rays fanning down from the surface.
    for (int y = kHorizon; y < img.h; y++) {
        for (int x = 0; x < img.w; x++) {
            double depth = double(y - kHorizon) / (img.h - kHorizon);
            double u = (x - sunX) - (y - kHorizon) * 0.35 * ((x - sunX) / 160.0);
            double ray = std::pow(std::max(0.0, std::sin(u * 0.045 + 0.6)), 12.0);
            if (ray * (1 - depth) * 0.35 > Bayer(x, y) * 0.6) img.Blend(x, y, Hex(0x9ae6e6), ray * (1 - depth) * 0.35);
        }
    }
}

void DrawSeaFloor(Image& img) {
    const Rgb sandLight = Hex(0xc9a46a), sandDark = Hex(0x6b5038), rock = Hex(0x3a3f55), rockLight = Hex(0x6f7890);
    for (int x = 0; x < img.w; x++) {
        double top = 214 + 5 * std::sin(x * 0.035) + 3 * std::sin(x * 0.11 + 2);
        for (int y = int(top); y < img.h; y++) {
            double t = (y - top) / 24.0;
            Rgb c = Mix(sandLight, sandDark, t + (Hash(x, y, 11) - 0.5) * 0.25);
            if (y - top < 1) c = Hex(0xe6cc94);
            img.At(x, y) = c;
        }
    }
    struct Rock {
        double x, y, rx, ry;
    };
    const Rock rocks[] = {{30, 222, 26, 16}, {58, 230, 16, 10}, {282, 220, 30, 18}, {250, 232, 14, 8}};
    for (const Rock& r : rocks) {
        for (int y = int(r.y - r.ry); y < img.h; y++) {
            for (int x = int(r.x - r.rx); x <= int(r.x + r.rx); x++) {
                double u = (x - r.x) / r.rx, v = (y - r.y) / r.ry;
                double bump = 0.08 * std::sin(x * 0.7) + 0.06 * std::sin(y * 0.9);
                if (u * u + v * v > 1 + bump) continue;
                double l = 0.6 - 0.45 * v - 0.3 * u;
                Rgb c = Mix(rock, rockLight, l + (Hash(x, y, 5) - 0.5) * 0.2);
                if (u * u + v * v > 0.82 + bump) c = Hex(0x1d2030);
                img.Put(x, y, c);
            }
        }
    }
    // Kelp swaying up from the floor.
    struct Kelp {
        double x, h, phase;
    };
    const Kelp kelp[] = {{14, 95, 0.0}, {44, 70, 1.7}, {70, 52, 0.6}, {244, 60, 2.2}, {270, 100, 1.1}, {300, 78, 2.9}};
    for (const Kelp& k : kelp) {
        double base = 218 + 4 * std::sin(k.x * 0.035);
        for (int i = 0; i < int(k.h); i++) {
            double y = base - i, t = i / k.h;
            double cx = k.x + 6 * t * std::sin(i * 0.09 + k.phase);
            double w = 2.2 + 1.3 * std::sin(t * kPi);
            for (int x = int(cx - w - 1); x <= int(cx + w + 1); x++) {
                double d = x - cx;
                if (std::fabs(d) > w) continue;
                Rgb c = Mix(Hex(0x2f6b2a), Hex(0x8cbf3f), 0.5 - d / (2 * w) + 0.2 * std::sin(i * 0.4));
                if (std::fabs(d) > w - 1) c = Hex(0x173a1c);
                img.Put(x, int(y), c);
            }
            if (i % 11 == 5) {  // leaves
                int dir = (i / 11) % 2 ? 1 : -1;
                for (int l = 0; l < 7; l++) {
                    img.Put(int(cx + dir * (w + l)), int(y - l * 0.5), Hex(0x5f9f35));
                    img.Put(int(cx + dir * (w + l)), int(y - l * 0.5 + 1), Hex(0x2f6b2a));
                }
            }
        }
    }
}

void DrawBubbles(Image& img) {
    struct Bubble {
        double x, y, r;
    };
    const Bubble bubbles[] = {{92, 150, 3.5}, {98, 136, 2.5},  {94, 124, 2},   {101, 114, 1.5}, {236, 182, 3},
                              {231, 170, 2},  {238, 160, 1.5}, {16, 130, 2.5}, {20, 118, 1.5},  {306, 140, 2}};
    for (const Bubble& b : bubbles) {
        for (int y = int(b.y - b.r) - 1; y <= int(b.y + b.r) + 1; y++) {
            for (int x = int(b.x - b.r) - 1; x <= int(b.x + b.r) + 1; x++) {
                double d = std::hypot(x - b.x, y - b.y);
                if (d > b.r) continue;
                if (d > b.r - 1)
                    img.Blend(x, y, Hex(0xd8fbff), 0.8);
                else
                    img.Blend(x, y, Hex(0x6fc6e0), 0.25);
            }
        }
        img.Blend(int(b.x - b.r * 0.4), int(b.y - b.r * 0.4), Hex(0xffffff), 1.0);
    }
}

void DrawLogo(Image& img) {
    DrawSkyAndSea(img);
    DrawSeaFloor(img);
    // A swarm far off, fading into the water, then the hero up close.
    KrillLook far{Hex(0x8a2c3c), Hex(0xd8664e), Hex(0xf6a07c), Hex(0xffd9bf), Hex(0xb01e30), Hex(0x3a1426), 0,
                  Hex(0x14557e)};
    struct Small {
        double x, y, len, fade;
    };
    const Small swarm[] = {{24, 150, 24, 0.35}, {60, 138, 20, 0.4}, {40, 176, 28, 0.25}, {84, 186, 22, 0.3},
                           {12, 198, 18, 0.45}, {70, 160, 16, 0.5}, {250, 196, 24, 0.3}, {286, 176, 20, 0.35},
                           {214, 206, 18, 0.4}, {262, 150, 16, 0.5}};
    for (const Small& s : swarm) {
        KrillLook k = far;
        k.fade = s.fade;
        k.haze = Mix(Hex(0x14557e), Hex(0x0c2f55), (s.y - 130) / 90.0);
        DrawKrill(img, s.x, s.y, s.len, 0.5, k);
    }
    DrawBubbles(img);
    KrillLook hero{Hex(0x8e2238), Hex(0xe5684f), Hex(0xffa784), Hex(0xffe4cf), Hex(0xc0182c), Hex(0x2a0a1c), 0, {}};
    DrawKrill(img, 196, 124, 96, 0.9, hero);

    DrawTitle(img, "KRILL", 160, 10, 6, Hex(0xfff6c4), Hex(0xff9a2e), Hex(0xffffff), 2);
    DrawTitle(img, "VOYAGERS", 160, 58, 4, Hex(0xfff0b0), Hex(0xf07a2a), Hex(0xffffff), 2);
    DrawTitle(img, "EARLY PREVIEW", 160, 226, 1, Hex(0xd8f4ff), Hex(0x9fd0e8), Hex(0xffffff), 1);
}

// --- Colour reduction --------------------------------------------------------

struct Box {
    std::vector<uint32_t> colours;  // 0xRRGGBB
};

// Median cut over the distinct colours, weighted by pixel count; the result
// has exactly `n` distinct entries (padded with greys when the picture has
// fewer colours than that).
std::vector<uint32_t> MedianCut(const std::vector<uint32_t>& pixels, int n) {
    std::map<uint32_t, int> count;
    for (uint32_t p : pixels) count[p]++;
    std::vector<Box> boxes(1);
    for (auto& [c, k] : count) boxes[0].colours.push_back(c);
    auto channel = [](uint32_t c, int ch) { return int(c >> (16 - 8 * ch) & 255); };
    while (int(boxes.size()) < n) {
        int pick = -1, pickCh = 0;
        double pickScore = 0;
        for (int b = 0; b < int(boxes.size()); b++) {
            if (boxes[b].colours.size() < 2) continue;
            long weight = 0;
            for (uint32_t c : boxes[b].colours) weight += count[c];
            for (int ch = 0; ch < 3; ch++) {
                int lo = 255, hi = 0;
                for (uint32_t c : boxes[b].colours) {
                    lo = std::min(lo, channel(c, ch));
                    hi = std::max(hi, channel(c, ch));
                }
                double score = double(hi - lo) * std::sqrt(double(weight));
                if (score > pickScore) {
                    pickScore = score;
                    pick = b;
                    pickCh = ch;
                }
            }
        }
        if (pick < 0) break;
        std::vector<uint32_t>& cs = boxes[pick].colours;
        std::sort(cs.begin(), cs.end(),
                  [&](uint32_t a, uint32_t b) { return channel(a, pickCh) < channel(b, pickCh); });
        long total = 0, half = 0;
        for (uint32_t c : cs) total += count[c];
        size_t cut = 0;
        while (cut < cs.size() - 1 && (half += count[cs[cut]]) < total / 2) cut++;
        cut = std::clamp<size_t>(cut + 1, 1, cs.size() - 1);
        Box other;
        other.colours.assign(cs.begin() + long(cut), cs.end());
        cs.resize(cut);
        boxes.push_back(std::move(other));
    }
    std::vector<uint32_t> pal;
    for (const Box& b : boxes) {
        double s[3] = {0, 0, 0}, w = 0;
        for (uint32_t c : b.colours) {
            for (int ch = 0; ch < 3; ch++) s[ch] += double(channel(c, ch)) * count[c];
            w += count[c];
        }
        uint32_t c = 0;
        for (int ch = 0; ch < 3; ch++) c = c << 8 | uint32_t(std::lround(s[ch] / w));
        pal.push_back(c);
    }
    for (int g = 0; int(pal.size()) < n; g++) pal.push_back(uint32_t(g * 0x010101 % 0x1000000));
    for (size_t i = 0; i < pal.size(); i++) {  // keep entries distinct
        while (std::find(pal.begin(), pal.begin() + long(i), pal[i]) != pal.begin() + long(i)) pal[i] ^= 1;
    }
    return pal;
}

int Nearest(const std::vector<uint32_t>& pal, uint32_t c) {
    int best = 0;
    long bestD = -1;
    for (int i = 0; i < int(pal.size()); i++) {
        long d = 0;
        for (int s = 0; s < 24; s += 8) {
            long e = long(pal[i] >> s & 255) - long(c >> s & 255);
            d += e * e;
        }
        if (bestD < 0 || d < bestD) {
            bestD = d;
            best = i;
        }
    }
    return best;
}

uint32_t Pack(Rgb c) {
    auto ch = [](double v) { return uint32_t(std::clamp(std::lround(v), 0L, 255L)); };
    return ch(c.r) << 16 | ch(c.g) << 8 | ch(c.b);
}

// Reduces the picture to `n` colours: the palette and one index per pixel,
// top row first.
void Reduce(const Image& img, int n, std::vector<uint32_t>& pal, std::vector<uint8_t>& idx) {
    std::vector<uint32_t> packed;
    for (const Rgb& c : img.px) packed.push_back(Pack(c));
    pal = MedianCut(packed, n);
    std::map<uint32_t, int> memo;
    idx.clear();
    for (uint32_t c : packed) {
        auto it = memo.find(c);
        if (it == memo.end()) it = memo.emplace(c, Nearest(pal, c)).first;
        idx.push_back(uint8_t(it->second));
    }
}

// --- The icon -----------------------------------------------------------------

// The icon: a small krill in a round bubble. Pixels outside the bubble are
// transparent (`inside` false).
void DrawIcon(Image& img, std::vector<bool>& inside) {
    const double c = 15.5, r = 15.6;
    inside.assign(img.px.size(), false);
    for (int y = 0; y < img.h; y++) {
        for (int x = 0; x < img.w; x++) {
            double d = std::hypot(x - c, y - c);
            if (d > r) continue;
            inside[size_t(y) * img.w + x] = true;
            double t = (y + 0.3 * x) / 42.0;
            Rgb col = Mix(Hex(0x3fb6d6), Hex(0x0c3a78), t);
            if (d > r - 1.3)
                col = Hex(0x0a1838);
            else if (d > r - 2.4 && x + y < 26)
                col = Hex(0x9fe6f2);
            img.At(x, y) = col;
        }
    }
    KrillLook k{Hex(0x8e2238), Hex(0xe5684f), Hex(0xffa784), Hex(0xffe4cf), Hex(0xc0182c), Hex(0x2a0a1c), 0, {}};
    DrawKrill(img, 9, 15, 17, 1.4, k);
    for (int y = 0; y < img.h; y++) {  // the krill stays inside the bubble
        for (int x = 0; x < img.w; x++) {
            double d = std::hypot(x - c, y - c);
            if (d > r - 1.3 && d <= r) img.At(x, y) = Hex(0x0a1838);
        }
    }
    img.At(24, 8) = Hex(0xffffff);
    img.At(23, 9) = Hex(0xd8fbff);
    img.At(26, 12) = Hex(0xd8fbff);
}

// --- File forms ---------------------------------------------------------------

void Put16(std::vector<uint8_t>& o, uint32_t v) {
    o.push_back(uint8_t(v));
    o.push_back(uint8_t(v >> 8));
}

void Put32(std::vector<uint8_t>& o, uint32_t v) {
    for (int i = 0; i < 4; i++) o.push_back(uint8_t(v >> (8 * i)));
}

void PutInfoHeader(std::vector<uint8_t>& o, int w, int h, int bpp, uint32_t image, uint32_t ppm, uint32_t colours) {
    Put32(o, 40);
    Put32(o, uint32_t(w));
    Put32(o, uint32_t(h));
    Put16(o, 1);
    Put16(o, uint32_t(bpp));
    Put32(o, 0);  // uncompressed
    Put32(o, image);
    Put32(o, ppm);
    Put32(o, ppm);
    Put32(o, colours);
    Put32(o, colours);
}

void PutColourTable(std::vector<uint8_t>& o, const std::vector<uint32_t>& pal) {
    for (uint32_t c : pal) {
        o.push_back(uint8_t(c));
        o.push_back(uint8_t(c >> 8));
        o.push_back(uint8_t(c >> 16));
        o.push_back(0);
    }
}

// The logo as a bitmap resource holds it: info header, colour table, rows
// from the bottom up.
std::vector<uint8_t> LogoResource(const std::vector<uint32_t>& pal, const std::vector<uint8_t>& idx) {
    std::vector<uint8_t> o;
    PutInfoHeader(o, kLogoW, kLogoH, 8, kLogoW * kLogoH, 2834, kLogoColours);
    PutColourTable(o, pal);
    for (int y = kLogoH - 1; y >= 0; y--)
        o.insert(o.end(), idx.begin() + long(y) * kLogoW, idx.begin() + long(y + 1) * kLogoW);
    return o;
}

std::vector<uint8_t> BmpFile(const std::vector<uint8_t>& res) {
    std::vector<uint8_t> o = {'B', 'M'};
    Put32(o, uint32_t(14 + res.size()));
    Put32(o, 0);
    Put32(o, 14 + 40 + 4 * kLogoColours);
    o.insert(o.end(), res.begin(), res.end());
    return o;
}

// An icon file with one 32 x 32 image at 4 bits per pixel: the colour
// picture (XOR mask) and the transparency (AND mask), both bottom-up.
std::vector<uint8_t> IconFile(const std::vector<uint32_t>& pal, const std::vector<uint8_t>& idx,
                              const std::vector<bool>& inside) {
    const int n = kIconSide;
    const uint32_t xorBytes = n * n / 2, andBytes = n * 4;
    const uint32_t image = 40 + 4 * kIconColours + xorBytes + andBytes;
    std::vector<uint8_t> o;
    Put16(o, 0);
    Put16(o, 1);  // icon
    Put16(o, 1);  // one image
    o.push_back(uint8_t(n));
    o.push_back(uint8_t(n));
    o.push_back(kIconColours);
    o.push_back(0);
    Put16(o, 1);
    Put16(o, 4);
    Put32(o, image);
    Put32(o, 6 + 16);
    PutInfoHeader(o, n, 2 * n, 4, xorBytes + andBytes, 0, kIconColours);
    PutColourTable(o, pal);
    for (int y = n - 1; y >= 0; y--) {
        for (int x = 0; x < n; x += 2) {
            auto at = [&](int px) { return inside[size_t(y) * n + px] ? idx[size_t(y) * n + px] : 0; };
            o.push_back(uint8_t(at(x) << 4 | at(x + 1)));
        }
    }
    for (int y = n - 1; y >= 0; y--) {
        for (int b = 0; b < 4; b++) {
            uint8_t bits = 0;
            for (int i = 0; i < 8; i++) {
                if (!inside[size_t(y) * n + b * 8 + i]) bits |= uint8_t(0x80 >> i);
            }
            o.push_back(bits);
        }
    }
    return o;
}

void PutArray(std::string& out, const char* name, const std::vector<uint8_t>& data) {
    out += "extern const unsigned char " + std::string(name) + "[] = {";
    for (size_t i = 0; i < data.size(); i++) {
        if (i % 24 == 0) out += "\n";
        out += std::to_string(data[i]) + ",";
    }
    out += "\n};\nextern const size_t " + std::string(name) + "_size = " + std::to_string(data.size()) + ";\n";
}

bool Save(const std::string& path, const void* data, size_t n) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = std::fwrite(data, 1, n, f) == n;
    return std::fclose(f) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: mkres OUTDIR\n");
        return 2;
    }
    const std::string dir = argv[1];

    Image logo(kLogoW, kLogoH);
    DrawLogo(logo);
    std::vector<uint32_t> logoPal;
    std::vector<uint8_t> logoIdx;
    Reduce(logo, kLogoColours, logoPal, logoIdx);
    const std::vector<uint8_t> logoRes = LogoResource(logoPal, logoIdx);

    Image icon(kIconSide, kIconSide);
    std::vector<bool> inside;
    DrawIcon(icon, inside);
    for (size_t i = 0; i < inside.size(); i++) {
        if (!inside[i]) icon.px[i] = Hex(0x0a1838);  // keeps the outside out of the colour count
    }
    // Entry 0 is black: the value transparent pixels carry in the XOR mask.
    std::vector<uint32_t> iconPal;
    std::vector<uint8_t> iconIdx;
    Reduce(icon, kIconColours - 1, iconPal, iconIdx);
    iconPal.insert(iconPal.begin(), 0x000000);
    for (uint8_t& i : iconIdx) i++;
    const std::vector<uint8_t> ico = IconFile(iconPal, iconIdx, inside);

    std::string src = "// Generated by mkres: the demo's logo bitmap and icon.\n#include <cstddef>\n\n";
    PutArray(src, "kvres_logo", logoRes);
    PutArray(src, "kvres_icon", ico);
    const std::vector<uint8_t> bmp = BmpFile(logoRes);
    if (!Save(dir + "/kvres_data.cpp", src.data(), src.size()) || !Save(dir + "/kvlogo.bmp", bmp.data(), bmp.size()) ||
        !Save(dir + "/kvicon.ico", ico.data(), ico.size())) {
        std::fprintf(stderr, "mkres: cannot write to %s\n", dir.c_str());
        return 1;
    }
    return 0;
}
