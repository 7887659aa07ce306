// End-to-end tests of the vexil tool: maps written by the map writer, frames
// compared against pixels computed from the map description alone.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "draw_model.h"
#include "mapwriter.h"

namespace {

#ifdef VEXIL_TOOL_PATH
const char* const kTool = VEXIL_TOOL_PATH;
#else
const char* const kTool = nullptr;
#endif

struct RunResult {
    int status = -1;
    std::string out, err;
};

std::string ReadText(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

bool FileExists(const std::string& path) { return std::ifstream(path).good(); }

class VexilTool : public ::testing::Test {
protected:
    void SetUp() override {
        if (!kTool) GTEST_SKIP() << "the vexil tool is not part of this build";
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir_ = ::testing::TempDir() + "vexil_" + info->name() + "_";
    }

    void TearDown() override {
        for (const std::string& f : files_) std::remove(f.c_str());
    }

    // A file in the temporary directory, removed after the test.
    std::string Path(const std::string& name) const {
        files_.push_back(dir_ + name);
        return dir_ + name;
    }

    std::string Save(const std::string& name, const std::vector<uint8_t>& image) const {
        const std::string p = Path(name);
        EXPECT_TRUE(MapWriterSave(p, image));
        return p;
    }

    // Runs the tool with the arguments (already quoted where needed), after
    // the shell text `before` (set-up, or the start of a pipe into the tool).
    RunResult Run(const std::string& args, const std::string& before = "") const {
        const std::string out = Path("stdout"), err = Path("stderr");
        const std::string cmd = before + "'" + kTool + "' " + args + " >'" + out + "' 2>'" + err + "'";
        RunResult r;
        const int raw = std::system(cmd.c_str());
        r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        r.out = ReadText(out);
        r.err = ReadText(err);
        return r;
    }

    std::string dir_;
    mutable std::vector<std::string> files_;
};

std::string Q(const std::string& s) { return "'" + s + "'"; }

constexpr int kW = 640, kH = 480;

// Graphic g pixel (x, y). Graphic 0 and odd graphics carry index 0 on a
// diagonal band so that colour keying shows; the others have no index 0.
uint8_t GfxPixel(int g, int x, int y) {
    if ((g == 0 || (g & 1)) && ((x + y + g) % 5) == 0) return 0;
    return static_cast<uint8_t>(1 + (g * 37 + x * 5 + y * 11) % 250);
}

// A W x H map with `ngfx` graphics and one block per graphic: block b has
// background graphic b, trigger on even blocks, a foreground graphic on every
// block but multiples of 3, graphic (b + 2) % ngfx or none. Two animations:
// 0 loops forward over blocks 0..2 every call, 1 loops forward over blocks
// 2..5 every third call. The BODY mixes static blocks (value 0 included),
// animations and, with `zeros`, runs of value 0 in the interior.
MAPDESC TestMap(int w, int h, bool zeros, int bw = 16, int bh = 16) {
    const int ngfx = 7, tile = bw * bh;
    MAPDESC m;
    m.width = w;
    m.height = h;
    m.blockwidth = bw;
    m.blockheight = bh;
    m.cmap.resize(768);
    for (int i = 0; i < 768; i++) m.cmap[i] = static_cast<uint8_t>(i * 7 + 3);
    m.gfx.resize(static_cast<size_t>(ngfx) * tile);
    for (int g = 0; g < ngfx; g++) {
        for (int y = 0; y < bh; y++) {
            for (int x = 0; x < bw; x++) m.gfx[g * tile + y * bw + x] = GfxPixel(g, x, y);
        }
    }
    for (int b = 0; b < ngfx; b++) {
        BLKSTR s{};
        s.bgoff = b * tile;
        s.fgoff = b % 3 == 0 ? 0 : ((b + 2) % ngfx) * tile;
        s.fgoff2 = ((b + 3) % ngfx) * tile;
        s.fgoff3 = 0;
        s.trigger = (b % 2) == 0;
        m.blocks.push_back(s);
    }
    m.frames = {0, 32, 64, 96, 128, 160};
    m.anims.push_back({ANTYPE_LOOP_FWD, 0, 0, 0, 0, 3, 0});
    m.anims.push_back({ANTYPE_LOOP_FWD, 2, 0, 0, 2, 6, 2});
    m.layers[0].resize(static_cast<size_t>(w) * h);
    for (int y = 0; y < h; y++) {
        for (int x = 0; x < w; x++) {
            const int k = (x * 3 + y * 5 + x * y) % 10;
            int16_t v = static_cast<int16_t>(k < ngfx ? k * 32 : k == 7 ? -16 : k == 8 ? -32 : 0);
            if (zeros && (x + 2 * y) % 7 == 0) v = 0;
            m.layers[0][static_cast<size_t>(y) * w + x] = v;
        }
    }
    m.layers[2] = m.layers[0];
    return m;
}

// The block a cell shows after `steps` animation updates, for forward loops.
int CellBlock(const MAPDESC& m, int16_t v, int steps) {
    if (v >= 0) return v / 32;
    const MAPANIMDESC& a = m.anims[-v / 16 - 1];
    const int len = a.end - a.start;
    const int taken = steps / (a.andelay + 1);
    return m.frames[a.start + (a.cur - a.start + taken) % len] / 32;
}

// The frame the tool must produce, from the map description, through the
// drawing model.
std::vector<uint8_t> Expected(const MAPDESC& m, int x0, int y0, int steps, const std::vector<std::string>& draws,
                              int fill, int w = kW, int h = kH) {
    std::vector<uint8_t> px(static_cast<size_t>(w) * h, static_cast<uint8_t>(fill));
    const ModelView view{m, [&](int16_t v) { return CellBlock(m, v, steps); }, x0, y0, w, h};
    const std::pair<const char*, ModelLayer> names[] = {{"para", kModelPara}, {"bg", kModelBG},   {"bgt", kModelBGT},
                                                        {"fg0", kModelFG0},   {"fg1", kModelFG1}, {"fg2", kModelFG2}};
    for (const std::string& d : draws) {
        for (auto [name, layer] : names) {
            if (d == name) ModelDraw(view, layer, px.data(), w);
        }
    }
    return px;
}

// The pixels of a binary PGM written by the tool; empty when the header is
// not the expected w x h one.
std::vector<uint8_t> ReadPgm(const std::string& path, int w = kW, int h = kH) {
    const std::string data = ReadText(path);
    const std::string head = "P5\n" + std::to_string(w) + " " + std::to_string(h) + "\n255\n";
    if (data.size() != head.size() + static_cast<size_t>(w) * h || data.compare(0, head.size(), head) != 0) return {};
    return std::vector<uint8_t>(data.begin() + head.size(), data.end());
}

// Count of differing pixels and the first one, for a readable failure.
::testing::AssertionResult SameFrame(const std::vector<uint8_t>& want, const std::vector<uint8_t>& got) {
    if (got.size() != want.size()) {
        return ::testing::AssertionFailure() << "frame has " << got.size() << " pixels";
    }
    int diff = 0, first = -1;
    for (size_t i = 0; i < want.size(); i++) {
        if (want[i] != got[i] && diff++ == 0) first = static_cast<int>(i);
    }
    if (diff == 0) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << diff << " pixels differ; first at index " << first << ": want "
                                         << int(want[first]) << ", got " << int(got[first]);
}

TEST_F(VexilTool, RenderMatchesFramesComputedFromTheMap) {
    const MAPDESC m = TestMap(48, 36, true);  // view range 0..128 x 0..96
    const std::string map = Save("map.fmp", MapSerialize(m));
    struct Case {
        int x, y, steps, fill;
        std::string layers;
    };
    const Case cases[] = {
        {5, 3, 0, 0, "para,bgt,fg0"}, {0, 0, 4, 0, "para,bgt,fg0"},  {128, 96, 7, 9, "bg"},
        {30, 17, 2, 200, "para"},     {77, 50, 5, 3, "bgt,fg1,fg2"}, {16, 32, 1, 0, "fg0,bg"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("at " + std::to_string(c.x) + "," + std::to_string(c.y) + " layers " + c.layers + " steps " +
                     std::to_string(c.steps));
        std::istringstream in(c.layers);
        std::vector<std::string> draws;
        for (std::string d; std::getline(in, d, ',');) draws.push_back(d);
        const std::string out = Path("frame.pgm");
        std::remove(out.c_str());
        std::string args = "render " + Q(map) + " -x " + std::to_string(c.x) + " -y " + std::to_string(c.y) + " -a " +
                           std::to_string(c.steps) + " -f " + std::to_string(c.fill) + " -o " + Q(out);
        if (c.layers != "para,bgt,fg0") args += " -l " + c.layers;
        const RunResult r = Run(args);
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_TRUE(SameFrame(Expected(m, c.x, c.y, c.steps, draws, c.fill), ReadPgm(out)));
    }
}

TEST_F(VexilTool, RenderDrawsAnyViewOfAnyBlockSize) {
    const MAPDESC m = TestMap(30, 40, true, 24, 16);  // 720 x 640 pixels
    const std::string map = Save("map.fmp", MapSerialize(m));
    const std::string out = Path("view.pgm");
    RunResult r = Run("render " + Q(map) + " -x 101 -y 77 --view 333x97 -a 5 -f 4 -o " + Q(out));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(SameFrame(Expected(m, 101, 77, 5, {"para", "bgt", "fg0"}, 4, 333, 97), ReadPgm(out, 333, 97)));

    // A map smaller than 640 x 480 renders whole by default.
    const MAPDESC small = TestMap(20, 10, true, 8, 8);
    const std::string smallMap = Save("small.fmp", MapSerialize(small));
    r = Run("render " + Q(smallMap) + " -x 0 -y 0 -l bg,fg1 -o " + Q(out));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(SameFrame(Expected(small, 0, 0, 0, {"bg", "fg1"}, 0, 160, 80), ReadPgm(out, 160, 80)));
}

TEST_F(VexilTool, InfoPrintsBlockSizeAndEveryGraphic) {
    MAPDESC m = TestMap(30, 40, false, 24, 16);
    m.gfx.resize(300 * 24 * 16, 9);
    const RunResult r = Run("info " + Q(Save("map.fmp", MapSerialize(m))));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("block size   24 x 16\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("graphics     300\n"), std::string::npos) << r.out;
}

TEST_F(VexilTool, MemoryDecodeGivesTheSameFrameAndPngCarriesThePalette) {
    const MAPDESC m = TestMap(45, 33, true);
    const std::string map = Save("map.fmp", MapSerialize(m));
    const std::string fromFile = Path("file.pgm"), fromMem = Path("mem.pgm"), png = Path("f.PNG");
    ASSERT_EQ(Run("render " + Q(map) + " -x 9 -y 14 -a 3 -o " + Q(fromFile)).status, 0);
    ASSERT_EQ(Run("render " + Q(map) + " --memory -x 9 -y 14 -a 3 -o " + Q(fromMem)).status, 0);
    const std::string a = ReadText(fromFile);
    EXPECT_EQ(a.size(), 15u + kW * kH);
    EXPECT_TRUE(a == ReadText(fromMem));

    ASSERT_EQ(Run("render " + Q(map) + " -x 9 -y 14 -o " + Q(png)).status, 0);
    const std::string p = ReadText(png);
    ASSERT_GT(p.size(), 33u + 12 + 768);
    EXPECT_EQ(p.compare(0, 8, "\x89PNG\r\n\x1a\n"), 0);
    // IHDR: 640 x 480, 8 bits, colour type 3 (indexed); then PLTE with the map's colours.
    const std::string ihdr("\0\0\0\x0dIHDR\0\0\x02\x80\0\0\x01\xe0\x08\x03", 18);
    EXPECT_EQ(p.compare(8, ihdr.size(), ihdr), 0);
    const std::string plte("\0\0\x03\0PLTE", 8);
    ASSERT_EQ(p.compare(33, plte.size(), plte), 0);
    EXPECT_TRUE(std::equal(m.cmap.begin(), m.cmap.end(), p.begin() + 41,
                           [](uint8_t x, char y) { return x == static_cast<uint8_t>(y); }));
}

TEST_F(VexilTool, RejectedMapsExitTwoWithTheReason) {
    MAPDESC bad = TestMap(48, 36, false);
    bad.layers[0][100] = static_cast<int16_t>(32 * bad.blocks.size());  // no such block
    std::vector<uint8_t> cut = MapSerialize(TestMap(48, 36, false));
    cut.resize(cut.size() - 10);
    const std::string maps[] = {Save("bad.fmp", MapSerialize(bad)), Save("cut.fmp", cut)};
    const std::string out = Path("never.pgm");
    for (const std::string& map : maps) {
        for (const char* mode : {"", " --memory"}) {
            SCOPED_TRACE(map + mode);
            const RunResult r = Run("render " + Q(map) + mode + " -x 0 -y 0 -o " + Q(out));
            EXPECT_EQ(r.status, 2);
            EXPECT_NE(r.err.find("maperror 2"), std::string::npos) << r.err;
            EXPECT_FALSE(FileExists(out));
        }
        const RunResult info = Run("info " + Q(map));
        EXPECT_EQ(info.status, 2);
        EXPECT_NE(info.out.find("loads        no"), std::string::npos) << info.out;
        EXPECT_NE(info.err.find("maperror 2"), std::string::npos) << info.err;
    }
    // A file that is not there, or a directory: named, with the reason.
    const std::string absent = Path("absent.fmp");
    const RunResult missing = Run("render " + Q(absent) + " -x 0 -y 0 -o " + Q(out));
    EXPECT_EQ(missing.status, 2);
    EXPECT_EQ(missing.err, "vexil: " + absent + ": cannot open (maperror 3): " + std::strerror(ENOENT) + "\n");
    const std::string dir = Q(::testing::TempDir());
    for (const std::string& args : {"render " + dir + " -x 0 -y 0 -o " + Q(out),
                                    "render " + dir + " --memory -x 0 -y 0 -o " + Q(out), "info " + dir}) {
        const RunResult r = Run(args);
        EXPECT_EQ(r.status, 2) << args;
        EXPECT_NE(r.err.find("directory"), std::string::npos) << args << ": " << r.err;
    }
}

#if defined(__SANITIZE_ADDRESS__)
#define VEXIL_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VEXIL_SANITIZED 1
#endif
#endif

// An endless input is read no further than its header, or than the FORM size
// it claims; a reader without that bound runs out of the memory allowed here.
TEST_F(VexilTool, EndlessInputIsReadOnlyAsFarAsItsHeaderSays) {
#ifdef VEXIL_SANITIZED
    // The sanitizer's shadow memory does not fit under ulimit -v.
    const std::string limit = "export ASAN_OPTIONS=\"$ASAN_OPTIONS:hard_rss_limit_mb=256\"; ";
#else
    const std::string limit = "ulimit -v 262144; ";
#endif
    const std::string form16 = "{ printf 'FORM\\000\\000\\000\\020FMAP'; cat /dev/zero; } | ";
    struct Case {
        std::string args, before, reason;
    };
    const Case cases[] = {
        {"info /dev/zero", "", "vexil: /dev/zero: not a map: it does not start with FORM\n"},
        {"render /dev/zero --memory -x 0 -y 0 -o " + Q(Path("never.png")), "",
         "vexil: /dev/zero: not a map: it does not start with FORM\n"},
        {"info /dev/stdin", "cat /dev/zero | ", "vexil: /dev/stdin: not a map: it does not start with FORM\n"},
        {"info /dev/stdin", form16,
         "vexil: /dev/stdin: not a valid map (maperror 2): chunk header at 20 is cut short\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.before + c.args);
        const RunResult r = Run(c.args, limit + c.before + "timeout 60 ");
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.err, c.reason);
    }
}

TEST_F(VexilTool, BadUsageExitsOneWithAMessage) {
    const std::string map = Save("map.fmp", MapSerialize(TestMap(48, 36, false)));
    const std::string small = Save("small.fmp", MapSerialize(TestMap(39, 40, false)));
    const std::string out = Path("never.pgm");
    const std::string base = "render " + Q(map) + " ";
    struct Case {
        std::string args, message;
    };
    const Case cases[] = {
        {"", "no command"},
        {"draw " + Q(map), "unknown command"},
        {base + "-x 0 -y 0 --bogus -o " + Q(out), "unknown option '--bogus'"},
        {base + "-x 5q -y 0 -o " + Q(out), "bad number '5q'"},
        {base + "-x 0 -y 0 -f 256 -o " + Q(out), "bad number '256'"},
        {base + "-x 0 -y 0 -a -1 -o " + Q(out), "bad number '-1'"},
        {base + "-x 0 -y 0 -l para,fg3 -o " + Q(out), "unknown layer 'fg3'"},
        {base + "-x 0 -y 0 -l para, -o " + Q(out), "unknown layer ''"},
        {base + "-x 0 -y 0", "needs an output file"},
        {base + "-x 0 -o " + Q(out), "scroll position"},
        {base + "-x 0 -y 0 -o " + Q(Path("frame.bmp")), ".pgm or .png"},
        {base + "-x 0 -y 0 -o", "-o needs a value"},
        {base + "-x 129 -y 0 -o " + Q(out), "outside 0..128"},
        {base + "-x 0 -y 97 -o " + Q(out), "outside 0..96"},
        {base + "-x -1 -y 0 --memory -o " + Q(out), "outside 0..128"},
        {"render " + Q(small) + " -x 0 -y 0 --view 640x480 -o " + Q(out), "smaller than the 640 x 480 view"},
        {base + "-x 0 -y 0 --view 0x5 -o " + Q(out), "bad view '0x5'"},
        {base + "-x 0 -y 0 --view 4097x1 -o " + Q(out), "bad view '4097x1'"},
        {base + "-x 0 -y 0 --view 640 -o " + Q(out), "bad view '640'"},
        {base + "-x 1 -y 0 --view 768x500 -o " + Q(out), "-x 1 is outside 0..0"},
        {base + "-x 0 -y 77 --view 700x500 -o " + Q(out), "-y 77 is outside 0..76"},
        {"info " + Q(map) + " " + Q(map), "exactly one"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args);
        const RunResult r = Run(c.args);
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        EXPECT_FALSE(FileExists(out));
    }
    const RunResult help = Run("--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("vexil render MAP"), std::string::npos);
}

TEST_F(VexilTool, InfoListsChunksInFileOrderAndCounts) {
    const MAPDESC m = TestMap(48, 36, false);
    std::vector<MAPCHUNK> chunks = MapSerializeChunks(m);
    // An unknown chunk of odd length before the header: listed, skipped, and
    // the next chunk starts right after its data.
    chunks.insert(chunks.begin(), MAPCHUNK{"XTRA", {1, 2, 3}});
    const std::string map = Save("map.fmp", MapSerialize(chunks));
    const RunResult r = Run("info " + Q(map));
    ASSERT_EQ(r.status, 0) << r.err;

    size_t at = 0;
    size_t offset = 12;
    for (const MAPCHUNK& c : chunks) {
        const std::string len = std::to_string(c.data.size());
        const size_t pos = r.out.find("  " + c.id, at);
        ASSERT_NE(pos, std::string::npos) << c.id << " missing or out of order in\n" << r.out;
        const std::string line = r.out.substr(pos, r.out.find('\n', pos) - pos);
        EXPECT_NE(line.find(" " + len + "  at " + std::to_string(offset)), std::string::npos) << line;
        offset += 8 + c.data.size();
        at = pos + 1;
    }
    for (const char* want :
         {"chunks       8\n", "mapwidth     48\n", "mapheight    36\n", "numblockstr  7\n", "blocks       7\n",
          "graphics     7\n", "animations   2\n", "layers       2 (BODY LYR2)\n", "loads        yes\n"}) {
        EXPECT_NE(r.out.find(want), std::string::npos) << want << "not in\n" << r.out;
    }
}

TEST_F(VexilTool, DemoMapLoadsAndRenders) {
    const std::string map = Path("demo.fmp");
    const RunResult mk = Run("mkdemo " + Q(map));
    if (mk.status == 1 && mk.err.find("unknown command") != std::string::npos) {
        GTEST_SKIP() << "mkdemo is not part of this build";
    }
    ASSERT_EQ(mk.status, 0) << mk.err;
    const RunResult info = Run("info " + Q(map));
    EXPECT_EQ(info.status, 0) << info.err;
    const std::string out = Path("demo.pgm");
    const RunResult r = Run("render " + Q(map) + " -x 0 -y 0 -a 5 -o " + Q(out));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ReadPgm(out).size(), static_cast<size_t>(kW * kH));
}

}  // namespace
