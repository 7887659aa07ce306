// Tiled maps as real games ship them, checked against Tiled's own renderer
// and exporter: tiles larger than the grid over their neighbours in every
// render order, image collections of mixed sizes, tile and layer offsets,
// partly transparent layers over tiles that went to other graphics, maps
// past 1,024 stacks, the JSON form, and the faults Tiled tolerates.
#if __has_include("vexilconvert.h")
#include <sys/stat.h>

#include "tmx_fixture.h"
#include "tmxgame.h"

namespace {

// The maps of these tests, written with their images into the test's folder.
class TiledMaps : public TmxTest {
protected:
    // A 14 x 11 map of 16-pixel cells in render order `order`: ground tiles
    // everywhere, and on a second layer trees of 48 x 32 pixels (with
    // see-through pixels) that overlap each other and the map's edges.
    void Trees(const std::string& name, const std::string& order) const {
        TileImage("g.png", 0, 8, 8);
        TileImage("trees.png", 60, 4, 2, 0, 0, 0, 48, 32);
        std::vector<uint32_t> ground(14 * 11), trees(14 * 11, 0);
        for (size_t i = 0; i < ground.size(); i++) ground[i] = 1 + i % 7;
        for (int i : {0, 3, 16, 17, 31, 45, 46, 60, 75, 89, 100, 118, 132, 150, 153}) trees[i] = 9 + i % 4;
        trees[44] = 9 | kTmxFlipH;
        trees[58] = 10 | kTmxFlipV;
        std::string head = MapHead(14, 11);
        head.replace(head.find("right-down"), 10, order);
        Write(name, head +
                        "<tileset firstgid=\"1\" name=\"g\" tilewidth=\"16\" tileheight=\"16\" tilecount=\"8\" "
                        "columns=\"8\"><image source=\"g.png\" width=\"128\" height=\"16\"/></tileset>\n"
                        "<tileset firstgid=\"9\" name=\"trees\" tilewidth=\"48\" tileheight=\"32\" tilecount=\"4\" "
                        "columns=\"2\"><image source=\"trees.png\" width=\"96\" height=\"64\"/></tileset>\n" +
                        Layer("ground", 14, 11, ground, "csv") + Layer("trees", 14, 11, trees, "zlib") + "</map>\n");
    }

    // A 16 x 12 map of an image collection of three sizes, a tileset drawn
    // at a tile offset with margin and spacing, layers and a group drawn at
    // offsets, diagonal flips of tiles that are not square, and a big tile
    // that animates.
    void Offsets(const std::string& name) const {
        TileImage("g.png", 0, 8, 8);
        TileImage("c0.png", 20, 1, 1, 0, 0, 0, 16, 16);
        TileImage("c1.png", 21, 1, 1, 0, 0, 0, 32, 48);
        TileImage("c2.png", 22, 1, 1, 0, 0, 0, 24, 16);
        TileImage("o.png", 30, 6, 3, 2, 1, 0xFF00FF00u, 32, 24);
        std::vector<uint32_t> ground(16 * 12), mid(16 * 12, 0), top(16 * 12, 0);
        for (size_t i = 0; i < ground.size(); i++) ground[i] = 1 + i * 5 % 8;
        const uint32_t c0 = 9, c1 = 10, c2 = 11, o = 12;
        for (int i : {18, 22, 40, 55, 70, 93, 111, 140, 170}) mid[i] = c0 + i % 3;
        mid[120] = c1 | kTmxFlipD;
        mid[125] = c2 | kTmxFlipD | kTmxFlipH;
        mid[157] = c1 | kTmxFlipD | kTmxFlipV;
        for (int i : {5, 37, 66, 99, 130, 164, 187}) top[i] = o + i % 6;
        top[150] = o | kTmxFlipD;
        const std::string tmx =
            MapHead(16, 12) +
            "<tileset firstgid=\"1\" name=\"g\" tilewidth=\"16\" tileheight=\"16\" tilecount=\"8\" "
            "columns=\"8\"><image "
            "source=\"g.png\" width=\"128\" height=\"16\"/></tileset>\n"
            "<tileset firstgid=\"9\" name=\"c\" tilewidth=\"32\" tileheight=\"48\" tilecount=\"3\" columns=\"0\">"
            "<tile id=\"0\"><image source=\"c0.png\" width=\"16\" height=\"16\"/></tile>"
            "<tile id=\"1\"><image source=\"c1.png\" width=\"32\" height=\"48\"/></tile>"
            "<tile id=\"2\"><image source=\"c2.png\" width=\"24\" height=\"16\"/></tile></tileset>\n"
            "<tileset firstgid=\"12\" name=\"o\" tilewidth=\"32\" tileheight=\"24\" spacing=\"1\" margin=\"2\" "
            "tilecount=\"6\" columns=\"3\"><tileoffset x=\"5\" y=\"-7\"/><image source=\"o.png\" width=\"100\" "
            "height=\"53\"/><tile id=\"2\"><animation><frame tileid=\"2\" duration=\"100\"/><frame tileid=\"4\" "
            "duration=\"150\"/></animation></tile></tileset>\n" +
            Layer("ground", 16, 12, ground, "csv") +
            Layer("mid", 16, 12, mid, "gzip", " offsetx=\"-6\" offsety=\"9\"") +
            "<group name=\"g\" offsetx=\"3\" offsety=\"4\">" + Layer("top", 16, 12, top, "zstd", " offsetx=\"8\"") +
            "</group></map>\n";
        Write(name, tmx);
    }
};

TEST_F(TiledMaps, BigTilesCoverTheirNeighboursInEveryRenderOrder) {
    for (const char* order : {"right-down", "right-up", "left-down", "left-up"}) {
        SCOPED_TRACE(order);
        Trees("m.tmx", order);
        ExpectSameAsTiled("m.tmx", {{0, 0}}, {0}, "bgt,fg0,fg1,fg2", "", "224x176");
    }
}

TEST_F(TiledMaps, CollectionsOffsetsFlipsAndAnimatedBigTilesDrawAsInTiled) {
    Offsets("m.tmx");
    ASSERT_EQ(Run("import '" + P("m.tmx") + "' -o '" + P("out.fmp") + "'"), 0) << ReadErr();
    // Tiled's picture grows by the layers' offsets: the map starts 6 pixels
    // in, where the layer moved furthest left begins.
    for (int s : {0, 6, 9}) {
        const Picture tiled = Tiled("m.tmx", s * 1000 / 60 + 1);
        ASSERT_EQ(tiled.width, 256 + 6 + 11);
        int opaque = 0;
        EXPECT_EQ(Mismatches(tiled, Render("out.fmp", 0, 0, s, "bgt,fg0,fg1,fg2", "256x192"), 6, 0, &opaque), 0)
            << "after " << s << " steps";
        EXPECT_GT(opaque, 256 * 192 * 9 / 10);
    }
}

TEST_F(TiledMaps, PartlyTransparentLayersBlendWithEverythingBeneath) {
    // Ground, sparse shapes on a second layer, a red veil of half-transparent
    // pixels on a third and a layer at half opacity on top: each goes to a
    // graphic of its own, yet every pixel is what Tiled blends there.
    TileImage("g.png", 0, 8, 8);
    std::vector<uint32_t> veil(16 * 16, 0x80FF2020u);
    for (int i = 0; i < 16; i++) veil[i * 17] = 0xFFFFFFFFu;  // an opaque diagonal
    Write("veil.png", TmxEncodePngRgba(16, 16, veil.data()));
    const int w = 40, h = 30;
    std::vector<uint32_t> ground(w * h), shapes(w * h, 0), veiled(w * h, 0), faded(w * h, 0);
    for (int i = 0; i < w * h; i++) {
        ground[i] = 1 + i * 3 % 7;
        if (i % 5 == 0) shapes[i] = 2 + i % 3 * 3;  // tiles 1, 4, 7: with holes
        if (i / w % 3 != 2) veiled[i] = 9;
        if (i % 7 == 3) faded[i] = 1 + i % 8;
    }
    Write("m.tmx", MapHead(w, h) +
                       "<tileset firstgid=\"1\" name=\"g\" tilewidth=\"16\" tileheight=\"16\" tilecount=\"8\" "
                       "columns=\"8\"><image source=\"g.png\" width=\"128\" height=\"16\"/></tileset>\n"
                       "<tileset firstgid=\"9\" name=\"v\" tilewidth=\"16\" tileheight=\"16\" tilecount=\"1\" "
                       "columns=\"1\"><image source=\"veil.png\" width=\"16\" height=\"16\"/></tileset>\n" +
                       Layer("ground", w, h, ground, "csv") + Layer("shapes", w, h, shapes, "csv") +
                       Layer("veil", w, h, veiled, "csv") + Layer("faded", w, h, faded, "csv", " opacity=\"0.5\"") +
                       "</map>\n");
    ASSERT_EQ(Run("import '" + P("m.tmx") + "' -o '" + P("out.fmp") + "'"), 0) << ReadErr();
    int n = 0;
    const double psnr = Psnr(Tiled("m.tmx"), Render("out.fmp", 0, 0), 0, 0, &n);
    EXPECT_GT(n, kW * kH * 8 / 10);
    EXPECT_GT(psnr, 30) << "dB against Tiled";
    std::printf("PSNR against Tiled: %.2f dB\n", psnr);
}

TEST_F(TiledMaps, PastTheOffsetLimitsCellsHoldNumbers) {
    // 1,100 distinct tiles and 2,200 animations: past what byte-offset
    // cells reach, the map stores numbers, says so, and draws as Tiled does.
    TileImage("many.png", 0, 1100, 50);
    const std::string many =
        "<tileset firstgid=\"1\" name=\"m\" tilewidth=\"16\" tileheight=\"16\"><image source=\"many.png\"/>";
    std::vector<uint32_t> tiles(60 * 40);
    for (size_t i = 0; i < tiles.size(); i++) tiles[i] = 1 + i % 1100;
    Write("blocks.tmx", MapHead(60, 40) + many + "</tileset>\n" + Layer("a", 60, 40, tiles, "csv") + "</map>\n");
    ExpectSameAsTiled("blocks.tmx", {{0, 0}, {320, 160}});
    ASSERT_EQ(Run("info '" + P("out.fmp") + "'"), 0);
    std::vector<uint8_t> out = Read("stdout");
    EXPECT_NE(std::string(out.begin(), out.end()).find("cells        numbered"), std::string::npos);

    std::string frames = many;
    for (int t = 0; t < 1100; t++) {
        frames += "<tile id=\"" + std::to_string(t) + "\"><animation><frame tileid=\"1\" duration=\"" +
                  std::to_string(50 * (1 + t % 40)) + "\"/><frame tileid=\"2\" duration=\"" +
                  std::to_string(50 * (1 + t / 40)) + "\"/></animation></tile>";
    }
    std::vector<uint32_t> animated(50 * 50);
    for (size_t i = 0; i < animated.size(); i++) animated[i] = (1 + i % 1100) | (i / 1100 % 2 ? kTmxFlipH : 0);
    Write("anims.tmx", MapHead(50, 50) + frames + "</tileset>\n" + Layer("a", 50, 50, animated, "csv") + "</map>\n");
    ExpectSameAsTiled("anims.tmx", {{0, 0}, {160, 320}}, {0, 5, 31});
    ASSERT_EQ(Run("info '" + P("out.fmp") + "'"), 0);
    out = Read("stdout");
    const std::string info(out.begin(), out.end());
    EXPECT_NE(info.find("animations   2200"), std::string::npos) << info;
    EXPECT_NE(info.find("layers       1 (BODN)"), std::string::npos) << info;
}

TEST_F(TiledMaps, AGameLikeMapStaysCloseToTiledInEveryWindow) {
    // The benchmark's kind of map, smaller: nine layers, thirty tilesets of
    // 16 to 96 pixels, trees and buildings over their neighbours, shadows and
    // haze of partly transparent pixels, a layer at an offset.
    tmxgame::Write(P(""), "game", 44, 36);
    ASSERT_EQ(Run("import '" + P("game.tmx") + "' -o '" + P("game.fmp") + "'"), 0) << ReadErr();
    // Tiled's picture starts 4 pixels higher: the canopy layer's offset.
    const Picture tiled = Tiled("game.tmx");
    for (auto [x, y] : {std::pair{0, 0}, {768, 0}, {0, 672}, {768, 672}, {400, 300}}) {
        int n = 0;
        const double psnr = Psnr(tiled, Render("game.fmp", x, y), x, y + 4, &n);
        EXPECT_GT(n, kW * kH * 9 / 10);
        EXPECT_GT(psnr, 30) << "dB at (" << x << ", " << y << ")";
    }
}

TEST_F(TiledMaps, TmxAndJsonFormsImportToTheSameBytes) {
    // Tiled's own exporter writes the JSON forms: tilesets embedded or
    // referenced (.tsx, or .tsj that Tiled exports too), layer data as
    // arrays or base64 in every compression, an infinite map's chunks.
    Trees("trees.tmx", "left-up");
    Offsets("offsets.tmx");
    TileImage("t.png", 0, 16, 4);
    Write("t.tsx",
          "<?xml version=\"1.0\"?><tileset name=\"t\" tilewidth=\"16\" tileheight=\"16\" tilecount=\"16\" "
          "columns=\"4\"><image source=\"t.png\" width=\"64\" height=\"64\"/><tile id=\"3\"><properties><property "
          "name=\"user1\" type=\"int\" value=\"7\"/></properties><animation><frame tileid=\"4\" duration=\"200\"/>"
          "<frame tileid=\"5\" duration=\"100\"/></animation></tile></tileset>");
    std::string chunks = MapHead(40, 30, " infinite=\"1\"") + "<tileset firstgid=\"1\" source=\"t.tsx\"/>\n";
    for (const char* enc : {"base64\" compression=\"zstd", "base64\" compression=\"gzip", "csv"}) {
        chunks += std::string("<layer name=\"") + enc[0] + "\"><data encoding=\"" + enc + "\">";
        for (int c = 0; c < 2; c++) {
            std::vector<uint32_t> gids(16 * 16);
            for (size_t i = 0; i < gids.size(); i++) gids[i] = i % 3 ? 0 : 1 + (i + c) % 16;
            const std::string data = Data(gids, std::string(enc).find("zstd") != std::string::npos   ? "zstd"
                                                : std::string(enc).find("gzip") != std::string::npos ? "gzip"
                                                                                                     : "csv");
            const size_t open = data.find('>') + 1, close = data.rfind('<');
            chunks += "<chunk x=\"" + std::to_string(16 * c - 32) + "\" y=\"" + std::to_string(-16 * c) +
                      "\" width=\"16\" height=\"16\">" + data.substr(open, close - open) + "</chunk>";
        }
        chunks += "</data></layer>\n";
    }
    Write("chunks.tmx", chunks + "</map>\n");
    const std::string tiled = "QT_QPA_PLATFORM=offscreen timeout 120 tiled ";
    ASSERT_EQ(
        std::system((tiled + "--export-tileset json '" + P("t.tsx") + "' '" + P("t.tsj") + "' 2>/dev/null").c_str()),
        0);
    std::vector<uint8_t> text = Read("chunks.tmx");
    std::string tsj(text.begin(), text.end());
    tsj.replace(tsj.find("t.tsx"), 5, "t.tsj");
    Write("chunks-tsj.tmx", tsj);
    for (const char* name : {"trees", "offsets", "chunks", "chunks-tsj"}) {
        SCOPED_TRACE(name);
        const std::string n = name;
        for (const char* how : {"", "--embed-tilesets "}) {
            ASSERT_EQ(std::system((tiled + how + "--export-map json '" + P(n + ".tmx") + "' '" + P(n + ".tmj") +
                                   "' 2>/dev/null")
                                      .c_str()),
                      0);
            ASSERT_EQ(Run("import '" + P(n + ".tmx") + "' -o '" + P(n + "-x.fmp") + "'"), 0) << ReadErr();
            ASSERT_EQ(Run("import '" + P(n + ".tmj") + "' -o '" + P(n + "-j.fmp") + "'"), 0) << ReadErr();
            EXPECT_EQ(Read(n + "-x.fmp"), Read(n + "-j.fmp")) << how;
        }
        // Our own JSON export of the map imports back to the same bytes.
        ASSERT_EQ(Run("export '" + P(n + "-x.fmp") + "' -o '" + P(n + "-e.tmj") + "'"), 0) << ReadErr();
        ASSERT_EQ(Run("import '" + P(n + "-e.tmj") + "' -o '" + P(n + "-e.fmp") + "'"), 0) << ReadErr();
        EXPECT_EQ(Read(n + "-e.fmp"), Read(n + "-x.fmp"));
    }
}

TEST_F(TiledMaps, WhatTiledToleratesImportsWithOneWarningAKind) {
    // A tileset without a tilecount, one that declares more tiles than its
    // image holds, an animation frame past the image, a tileset whose image
    // is missing that no visible layer uses; and what does not come across:
    // image layers, tile layers' parallax factors, class properties; an
    // object whose template file is missing.
    TileImage("t.png", 0, 4, 4);
    const std::string ts =
        "<tileset firstgid=\"1\" name=\"nocount\" tilewidth=\"16\" tileheight=\"16\"><image "
        "source=\"t.png\"/></tileset>\n"
        "<tileset firstgid=\"5\" name=\"overcount\" tilewidth=\"16\" tileheight=\"16\" "
        "tilecount=\"6\" columns=\"4\"><image source=\"t.png\"/><tile id=\"1\"><animation>"
        "<frame tileid=\"1\" duration=\"100\"/><frame tileid=\"9\" duration=\"100\"/>"
        "</animation></tile></tileset>\n"
        "<tileset firstgid=\"11\" name=\"gone\" tilewidth=\"16\" tileheight=\"16\" "
        "tilecount=\"4\" columns=\"4\"><image source=\"gone.png\"/></tileset>\n";
    std::vector<uint32_t> a(20 * 15), hidden(20 * 15, 11);
    for (size_t i = 0; i < a.size(); i++) a[i] = 1 + i % 10;  // 9 and 10 lie past the image
    Write("m.tmx", MapHead(20, 15) + ts + Layer("a", 20, 15, a, "csv", " parallaxx=\"0.8\"") +
                       Layer("unused", 20, 15, hidden, "csv", " visible=\"0\"") +
                       "<imagelayer name=\"clouds\"><image source=\"t.png\"/></imagelayer>"
                       "<objectgroup name=\"spawns\"><object id=\"1\" x=\"3\" y=\"4\"><properties><property "
                       "name=\"c\" type=\"class\" propertytype=\"P\"/></properties></object>"
                       "<object id=\"2\" template=\"gone.tx\" x=\"5\" y=\"6\"/></objectgroup></map>\n");
    std::string err;
    ASSERT_EQ(Run("import '" + P("m.tmx") + "' -o '" + P("out.fmp") + "'", &err), 0) << err;
    const std::string m = P("m.tmx") + ": ";
    for (const std::string& line :
         {m + "tile layers' parallax factors are not carried (drawn at 1): \"a\"",
          m + "tilesets without a tilecount, counted from their image: \"nocount\"",
          m + "tilesets that declare more tiles than their image holds: \"overcount\"",
          m + "animation frames that name a tile their tileset lacks (drawn empty): \"overcount\"",
          m + "properties of class types are not carried: \"object 1: c\"",
          m + "image layers are not carried (only a repeating one-tile image at parallax 0.5 becomes the parallax): "
              "\"clouds\"",
          m + "tilesets whose image is missing, used by no visible tile layer: \"gone\"",
          m + "templates that are missing (their instances keep what they set): \"gone.tx\""}) {
        EXPECT_NE(err.find("vexil: warning: " + line + "\n"), std::string::npos) << line << "\n" << err;
    }
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 8) << err;
    // The tiles the image lacks show nothing, where Tiled draws its marker;
    // every other cell is as Tiled draws it.
    const Picture ours = Render("out.fmp", 0, 0, 0, "bgt", "320x240"),
                  tiled = Tiled("m.tmx", 0, "--hide-layer clouds --hide-layer spawns");
    int bad = 0, seen = 0;
    for (int y = 0; y < 240; y++) {
        for (int x = 0; x < 320; x++) {
            const uint32_t t = tiled.rgba[size_t(y) * tiled.width + x], o = ours.rgba[size_t(y) * 320 + x];
            if (a[size_t(y / 16) * 20 + x / 16] >= 9) {
                bad += (o >> 24) && (o & 0xFFFFFF) != 0;  // nothing but the background colour
            } else if (t >> 24 == 255) {
                seen++;
                bad += (t & 0xFFFFFF) != (o & 0xFFFFFF);
            }
        }
    }
    EXPECT_EQ(bad, 0);
    EXPECT_GT(seen, 320 * 240 / 2);
    // --strict refuses the same map and writes nothing.
    fs::remove(P("out.fmp"));
    EXPECT_EQ(Run("import --strict '" + P("m.tmx") + "' -o '" + P("out.fmp") + "'", &err), 2);
    EXPECT_FALSE(fs::exists(P("out.fmp")));
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 8) << err;
}

TEST_F(TiledMaps, ExportOfAMapOf32767AnimationsImportsToTheSameBytes) {
    // The writers cut nothing: a frame list of 65,000 entries in one
    // property, 32,767 animation tiles, numbered cells; TMX and JSON alike.
    MAPDESC m = MapWriterSample(60, 40, 4);
    m.anims.clear();
    for (int k = 0; k < 32767; k++) {
        const int start = static_cast<int>(m.frames.size());
        m.frames.push_back(32 * (k % 4));
        if (k % 2) m.frames.push_back(32 * ((k + 1) % 4));
        m.anims.push_back({static_cast<signed char>(k % 9 ? ANTYPE_LOOP_FWD : ANTYPE_PINGPONG_FWD_OUT),
                           static_cast<signed char>(k % 5), 0, 0, start, static_cast<int>(m.frames.size()), start});
    }
    for (size_t i = 0; i < m.layers[0].size(); i++)
        m.layers[0][i] = static_cast<int16_t>(i % 3 ? -16 * (1 + i % 2000) : 0);
    ASSERT_TRUE(MapRecodeCells(m, true));
    m.layers[0][7] = -32767;
    Write("a.fmp", MapSerialize(m));
    for (const char* ext : {".tmx", ".tmj"}) {
        SCOPED_TRACE(ext);
        ASSERT_EQ(Run("export '" + P("a.fmp") + "' -o '" + P(std::string("e") + ext) + "'"), 0) << ReadErr();
        ASSERT_EQ(Run("import '" + P(std::string("e") + ext) + "' -o '" + P("b.fmp") + "'"), 0) << ReadErr();
        EXPECT_TRUE(Read("b.fmp") == Read("a.fmp"));
    }
}

}  // namespace
#endif
