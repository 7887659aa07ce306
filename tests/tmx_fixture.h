// What the Tiled converter's tests share: tiles and layer data written as
// Tiled writes them, maps written as TMX and PNG, the vexil tool run on them,
// and Tiled's own picture (tmxrasterizer) to compare with.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>
#include <zstd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "mapwriter.h"
#include "tmxinternal.h"
#include "vexildx.h"

namespace {

namespace fs = std::filesystem;

#ifdef VEXIL_TOOL_PATH
const char* const kTool = VEXIL_TOOL_PATH;
#else
const char* const kTool = nullptr;
#endif

constexpr int kW = 640, kH = 480;

// Opaque colours of the test tiles: 48 of them, far apart.
uint32_t Colour(int k) {
    k %= 48;
    return 0xFF000000u | uint32_t(40 + 70 * (k % 4)) | uint32_t(30 + 50 * (k / 4 % 4)) << 8 |
           uint32_t(60 + 60 * (k / 16)) << 16;
}

// Tile t of the test tilesets: no two alike (t is written in the bottom
// row), none symmetric, some with see-through pixels (0) so that lower
// layers show.
uint32_t TilePixel(int t, int x, int y, int tw = 16, int th = 16) {
    if (y == th - 1 && x < 12) return Colour(t >> x & 1 ? 5 : 6);
    if (t % 3 == 1 && (x * 3 + y * 5 + t) % 7 < 2) return 0;
    if (y < th / 5 && x < tw * (6 + t % 5) / 16) return Colour(t + 17);  // a bar at the top left
    if (x == tw - 3 - t % 4 && y > th / 3) return Colour(t + 33);        // a post on the right
    return Colour(t + (x + 2 * y) * 16 / tw / 9);
}

std::string Base64(const std::vector<uint8_t>& in) {
    static const char* k = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (size_t i = 0; i < in.size(); i += 3) {
        const size_t n = std::min<size_t>(3, in.size() - i);
        const uint32_t v = uint32_t{in[i]} << 16 | (n > 1 ? uint32_t{in[i + 1]} << 8 : 0) | (n > 2 ? in[i + 2] : 0);
        for (size_t j = 0; j < 4; j++) out += j <= n ? k[v >> (18 - 6 * j) & 63] : '=';
    }
    return out;
}

std::vector<uint8_t> Deflate(const std::vector<uint8_t>& in, bool gzip) {
    z_stream z{};
    deflateInit2(&z, 9, Z_DEFLATED, gzip ? 31 : 15, 8, Z_DEFAULT_STRATEGY);
    std::vector<uint8_t> out(deflateBound(&z, in.size()) + 32);
    z.next_in = const_cast<Bytef*>(in.data());
    z.avail_in = static_cast<uInt>(in.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

// Layer data in one of the encodings Tiled writes.
std::string Data(const std::vector<uint32_t>& gids, const std::string& enc) {
    if (enc == "csv") {
        std::string s = "<data encoding=\"csv\">";
        for (size_t i = 0; i < gids.size(); i++) s += (i ? "," : "") + std::to_string(gids[i]);
        return s + "</data>";
    }
    if (enc == "xml") {
        std::string s = "<data>";
        for (uint32_t g : gids) s += "<tile gid=\"" + std::to_string(g) + "\"/>";
        return s + "</data>";
    }
    std::vector<uint8_t> raw;
    for (uint32_t g : gids) {
        for (int i = 0; i < 4; i++) raw.push_back(static_cast<uint8_t>(g >> (8 * i)));
    }
    std::string comp;
    if (enc == "zlib" || enc == "gzip") {
        raw = Deflate(raw, enc == "gzip");
        comp = " compression=\"" + enc + "\"";
    } else if (enc == "zstd") {
        std::vector<uint8_t> z(ZSTD_compressBound(raw.size()));
        z.resize(ZSTD_compress(z.data(), z.size(), raw.data(), raw.size(), 3));
        raw = z;
        comp = " compression=\"zstd\"";
    }
    return "<data encoding=\"base64\"" + comp + ">" + Base64(raw) + "</data>";
}

std::string Layer(const std::string& name, int w, int h, const std::vector<uint32_t>& gids, const std::string& enc,
                  const std::string& extra = "") {
    return "<layer name=\"" + name + "\" width=\"" + std::to_string(w) + "\" height=\"" + std::to_string(h) + "\"" +
           extra + ">" + Data(gids, enc) + "</layer>\n";
}

std::string MapHead(int w, int h, const std::string& extra = "", int tw = 16, int th = 16) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<map version=\"1.8\" orientation=\"orthogonal\" "
           "renderorder=\"right-down\" width=\"" +
           std::to_string(w) + "\" height=\"" + std::to_string(h) + "\" tilewidth=\"" + std::to_string(tw) +
           "\" tileheight=\"" + std::to_string(th) + "\"" + extra + ">\n";
}

struct Picture {
    int width = 0, height = 0;
    std::vector<uint32_t> rgba;
};

class TmxTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!kTool) GTEST_SKIP() << "the vexil tool is not part of this build";
        if (std::system("command -v tmxrasterizer >/dev/null 2>&1") != 0)
            GTEST_SKIP() << "tmxrasterizer (Debian package tiled) is missing";
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir_ = ::testing::TempDir() + "vexil_tmx_" + info->name() + "_" + std::to_string(getpid()) + "/";
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    // A failed test keeps its files, and so does every test with
    // VEXIL_TEST_KEEP set.
    void TearDown() override {
        if (!dir_.empty() && !HasFailure() && !std::getenv("VEXIL_TEST_KEEP")) fs::remove_all(dir_);
    }

    std::string P(const std::string& name) const { return dir_ + name; }

    void Write(const std::string& name, const std::string& text) const {
        std::ofstream(P(name), std::ios::binary) << text;
    }
    void Write(const std::string& name, const std::vector<uint8_t>& data) const {
        std::ofstream(P(name), std::ios::binary)
            .write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
    }
    std::vector<uint8_t> Read(const std::string& name) const {
        std::ifstream f(P(name), std::ios::binary);
        return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
    }

    // A tileset image of `n` test tiles from `first`, `cols` a row, with
    // margin and spacing painted in `fill`, which also dots the tiles.
    void TileImage(const std::string& name, int first, int n, int cols, int margin = 0, int spacing = 0,
                   uint32_t fill = 0, int tw = 16, int th = 16) const {
        const int rows = (n + cols - 1) / cols;
        const int w = 2 * margin + cols * tw + (cols - 1) * spacing, h = 2 * margin + rows * th + (rows - 1) * spacing;
        std::vector<uint32_t> px(size_t(w) * h, fill);
        for (int t = 0; t < n; t++) {
            const int x0 = margin + t % cols * (tw + spacing), y0 = margin + t / cols * (th + spacing);
            for (int y = 0; y < th; y++) {
                for (int x = 0; x < tw; x++) {
                    px[size_t(y0 + y) * w + x0 + x] =
                        fill && (x * y + t) % 11 == 3 ? fill : TilePixel(first + t, x, y, tw, th);
                }
            }
        }
        Write(name, TmxEncodePngRgba(w, h, px.data()));
    }

    // Runs the tool; its standard error goes to `err`.
    int Run(const std::string& args, std::string* err = nullptr) const {
        const std::string cmd =
            std::string("'") + kTool + "' " + args + " >'" + P("stdout") + "' 2>'" + P("stderr") + "'";
        const int raw = std::system(cmd.c_str());
        if (err) {
            const std::vector<uint8_t> e = Read("stderr");
            err->assign(e.begin(), e.end());
        }
        return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    }

    Picture Decode(const std::string& path) const {
        std::ifstream f(path, std::ios::binary);
        const std::vector<uint8_t> data((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
        TmxImage img = TmxDecodePng(data, path, int64_t{1} << 26);
        return {img.width, img.height, img.rgba};
    }

    // A file of the test, or a path of its own.
    std::string Where(const std::string& file) const { return file[0] == '/' ? file : P(file); }

    // Tiled's picture of a map after `ms` milliseconds of animation.
    Picture Tiled(const std::string& tmx, int ms = 0, const std::string& options = "") const {
        const std::string cmd = "QT_QPA_PLATFORM=offscreen tmxrasterizer " + options + " --advance-animations " +
                                std::to_string(ms) + " '" + Where(tmx) + "' '" + P("tiled.png") + "' >/dev/null 2>&1";
        EXPECT_EQ(std::system(cmd.c_str()), 0) << cmd;
        return Decode(P("tiled.png"));
    }

    // The library's frame at (x, y) after `steps` animation steps: 640 x 480,
    // or the view "WxH".
    Picture Render(const std::string& fmp, int x, int y, int steps = 0, const std::string& layers = "bgt,fg0,fg1,fg2",
                   const std::string& view = "") const {
        EXPECT_EQ(Run("render '" + P(fmp) + "' -x " + std::to_string(x) + " -y " + std::to_string(y) + " -a " +
                      std::to_string(steps) + " -l " + layers + (view.empty() ? "" : " --view " + view) + " -o '" +
                      P("ours.png") + "'"),
                  0)
            << ReadErr();
        return Decode(P("ours.png"));
    }

    // Pixels that differ where Tiled's picture is opaque, over the frame at
    // (x, y); `opaque` counts the pixels compared.
    static int Mismatches(const Picture& tiled, const Picture& ours, int x, int y, int* opaque = nullptr) {
        int bad = 0, seen = 0;
        for (int r = 0; r < ours.height && r + y < tiled.height; r++) {
            for (int c = 0; c < ours.width && c + x < tiled.width; c++) {
                const uint32_t t = tiled.rgba[size_t(r + y) * tiled.width + c + x];
                if (t >> 24 != 255) continue;
                seen++;
                bad += (t & 0xFFFFFF) != (ours.rgba[size_t(r) * ours.width + c] & 0xFFFFFF);
            }
        }
        if (opaque) *opaque = seen;
        return bad;
    }

    // The PSNR in dB of our frame against Tiled's picture at (x, y), over the
    // pixels where Tiled's is opaque; `n` counts them.
    static double Psnr(const Picture& tiled, const Picture& ours, int x, int y, int* n = nullptr) {
        double sum = 0;
        int seen = 0;
        for (int r = 0; r < ours.height && r + y < tiled.height; r++) {
            for (int c = 0; c < ours.width && c + x < tiled.width; c++) {
                const uint32_t t = tiled.rgba[size_t(r + y) * tiled.width + c + x],
                               o = ours.rgba[size_t(r) * ours.width + c];
                if (t >> 24 != 255) continue;
                seen++;
                for (int k = 0; k < 3; k++) {
                    const double d = double(t >> (8 * k) & 255) - double(o >> (8 * k) & 255);
                    sum += d * d;
                }
            }
        }
        if (n) *n = seen;
        return sum == 0 ? 99 : 10 * std::log10(255.0 * 255.0 / (sum / (3.0 * seen)));
    }

    // Imports `tmx` and compares the frames at `positions` after each number
    // of steps with Tiled's picture at the same time. One step is 1/60 s and
    // Tiled changes a frame only once its time has passed, so Tiled is asked
    // for a moment inside the step.
    void ExpectSameAsTiled(const std::string& tmx, const std::vector<std::pair<int, int>>& positions,
                           const std::vector<int>& steps = {0}, const std::string& layers = "bgt,fg0,fg1,fg2",
                           const std::string& options = "", const std::string& view = "") {
        ASSERT_EQ(Run("import '" + Where(tmx) + "' -o '" + P("out.fmp") + "'"), 0) << ReadErr();
        for (int s : steps) {
            const Picture tiled = Tiled(tmx, s * 1000 / 60 + 1, options);
            for (auto [x, y] : positions) {
                int opaque = 0;
                const Picture ours = Render("out.fmp", x, y, s, layers, view);
                EXPECT_EQ(Mismatches(tiled, ours, x, y, &opaque), 0)
                    << "at (" << x << ", " << y << ") after " << s << " steps";
                EXPECT_GT(opaque, ours.width * ours.height / 3) << "too little of Tiled's picture is opaque to compare";
            }
        }
    }

    std::string ReadErr() const {
        const std::vector<uint8_t> e = Read("stderr");
        return std::string(e.begin(), e.end());
    }

    // A map of w x h tiles of tw x th pixels from `n` distinct tiles in two
    // layers: the lower full and animated in places, the upper sparse and
    // flipped (diagonally only when the tiles are square).
    void SizedMap(const std::string& name, int w, int h, int tw, int th, int n) const {
        TileImage(name + ".png", 0, n, 50, 0, 0, 0, tw, th);
        const int cols = std::min(n, 50), rows = (n + 49) / 50;
        std::string ts = "<tileset firstgid=\"1\" name=\"t\" tilewidth=\"" + std::to_string(tw) + "\" tileheight=\"" +
                         std::to_string(th) + "\" columns=\"" + std::to_string(cols) + "\"><image source=\"" + name +
                         ".png\" width=\"" + std::to_string(cols * tw) + "\" height=\"" + std::to_string(rows * th) +
                         "\"/>"
                         "<tile id=\"0\"><animation><frame tileid=\"1\" duration=\"100\"/><frame tileid=\"2\" "
                         "duration=\"50\"/></animation></tile></tileset>\n";
        std::vector<uint32_t> low(size_t(w) * h), high(size_t(w) * h, 0);
        const uint32_t flips = tw == th ? kTmxFlipD | kTmxFlipH : kTmxFlipV | kTmxFlipH;
        for (size_t i = 0; i < low.size(); i++) {
            low[i] = static_cast<uint32_t>(i % 9 == 0 ? 1 : 1 + i % n);
            if (i % 4 == 1) high[i] = static_cast<uint32_t>(2 + i % 5) | (i % 3 ? flips : 0);
        }
        Write(name + ".tmx", MapHead(w, h, "", tw, th) + ts + Layer("low", w, h, low, "csv") +
                                 Layer("high", w, h, high, "zlib") + "</map>\n");
    }

    std::string dir_;
};

// Maps of blocks other than 16 x 16, square or not, and of more than 255
// graphics, drawn whole through views of their size.
struct SizedCase {
    const char* name;
    int w, h, tw, th, tiles;
} const kSized[] = {{"small", 48, 40, 8, 8, 60}, {"wide", 20, 15, 32, 24, 40}, {"many", 40, 30, 16, 16, 1000}};

// A pseudo-random sequence for the maps' cells.
struct Lcg {
    uint32_t s;
    uint32_t Next(uint32_t n) {
        s = s * 1664525u + 1013904223u;
        return (s >> 8) % n;
    }
};

}  // namespace
