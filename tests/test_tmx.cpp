// Tiled import and export, checked against Tiled's own renderer
// (tmxrasterizer): maps written here as TMX and PNG go through `vexil import`
// and `vexil render`; map files go through `vexil export` and back; bad input
// is refused with a reason and leaves no output.
#if __has_include("vexilconvert.h")
#include "tmx_fixture.h"
#ifdef VEXIL_HAVE_DEMOMAP
#include "demomap.h"
#endif

namespace {

TEST_F(TmxTest, EncodingsFlipsTilesetsAndMergedLayersDrawAsInTiled) {
    const int w = 42, h = 32;
    // a.tsx: 32 tiles in an external tileset with margin, spacing and a
    // see-through colour; b: 8 tiles after a gap of gids; c: an image
    // collection with gaps between its ids.
    const uint32_t magenta = 0xFFFF00FFu;
    TileImage("a.png", 0, 32, 8, 1, 2, magenta);
    Write("a.tsx",
          "<?xml version=\"1.0\"?><tileset name=\"a\" tilewidth=\"16\" tileheight=\"16\" spacing=\"2\" margin=\"1\" "
          "tilecount=\"32\" columns=\"8\">"
          "<image source=\"a.png\" trans=\"ff00ff\" width=\"145\" height=\"72\"/></tileset>");
    TileImage("b.png", 32, 8, 4);
    for (int id : {0, 3, 7}) TileImage("c" + std::to_string(id) + ".png", 40 + id, 1, 1);
    const int afirst = 1, bfirst = 43, cfirst = 60;
    std::string tmx =
        MapHead(w, h) + "<tileset firstgid=\"1\" source=\"a.tsx\"/>\n" +
        "<tileset firstgid=\"43\" name=\"b\" tilewidth=\"16\" tileheight=\"16\" tilecount=\"8\" columns=\"4\"><image "
        "source=\"b.png\" width=\"64\" height=\"32\"/></tileset>\n" +
        "<tileset firstgid=\"60\" name=\"c\" tilewidth=\"16\" tileheight=\"16\" tilecount=\"3\" columns=\"0\">"
        "<tile id=\"0\"><image source=\"c0.png\" width=\"16\" height=\"16\"/></tile>"
        "<tile id=\"3\"><image source=\"c3.png\" width=\"16\" height=\"16\"/></tile>"
        "<tile id=\"7\"><image source=\"c7.png\" width=\"16\" height=\"16\"/></tile></tileset>\n";
    // Six visible layers, one per encoding: the lowest full, the others
    // sparse, the top one with every flip combination. A hidden layer over
    // them must not show.
    Lcg rnd{7};
    struct Spec {
        const char* encoding;
        int percent;
        std::vector<uint32_t> gids;
        uint32_t flips;  // flip bits to choose from
    } specs[7] = {
        {"csv", 100, {afirst + 0, afirst + 1, afirst + 4, afirst + 9}, 0},
        {"base64", 30, {bfirst + 1, cfirst + 3, afirst + 13}, kTmxFlipH},
        {"zlib", 8, {cfirst + 7, bfirst + 6}, kTmxFlipD},
        {"gzip", 10, {afirst + 20, afirst + 22, bfirst + 4}, 0},
        {"zstd", 10, {cfirst + 0, afirst + 31, afirst + 7}, kTmxFlipV},
        {"xml", 15, {afirst + 2, afirst + 10, bfirst + 3, cfirst + 3, afirst + 27}, kTmxFlipH | kTmxFlipV | kTmxFlipD},
        {"csv", 100, {afirst + 3}, 0},
    };
    for (int l = 0; l < 7; l++) {
        const Spec& sp = specs[l];
        std::vector<uint32_t> cells(size_t(w) * h, 0);
        for (uint32_t& c : cells) {
            if (static_cast<int>(rnd.Next(100)) >= sp.percent) continue;
            c = sp.gids[rnd.Next(static_cast<uint32_t>(sp.gids.size()))] | (rnd.Next(8) << 29 & sp.flips);
        }
        tmx += l < 6 ? Layer("L" + std::to_string(l), w, h, cells, sp.encoding)
                     : Layer("hidden", w, h, cells, "csv", " visible=\"0\"");
    }
    Write("m.tmx", tmx + "</map>\n");
    ExpectSameAsTiled("m.tmx", {{0, 0}, {5, 3}, {32, 32}});
}

TEST_F(TmxTest, AnimationsMatchTiledStepByStep) {
    const int w = 40, h = 30;
    TileImage("t.png", 0, 12, 4);
    // Tile 0 plays 1, 2, 3 for 50, 100 and 150 ms; tile 4 (see-through in
    // places) plays 4, 7 for 100 ms each; tile 8 plays 8, 9 for 250 and 50 ms.
    const std::string ts =
        "<tileset firstgid=\"1\" name=\"t\" tilewidth=\"16\" tileheight=\"16\" tilecount=\"12\" columns=\"4\"><image "
        "source=\"t.png\" width=\"64\" height=\"48\"/>"
        "<tile id=\"0\"><animation><frame tileid=\"1\" duration=\"50\"/><frame tileid=\"2\" duration=\"100\"/><frame "
        "tileid=\"3\" duration=\"150\"/></animation></tile>"
        "<tile id=\"4\"><animation><frame tileid=\"4\" duration=\"100\"/><frame tileid=\"7\" "
        "duration=\"100\"/></animation></tile>"
        "<tile id=\"8\"><animation><frame tileid=\"8\" duration=\"250\"/><frame tileid=\"9\" "
        "duration=\"50\"/></animation></tile></tileset>\n";
    std::vector<uint32_t> low(size_t(w) * h), high(size_t(w) * h, 0);
    Lcg rnd{3};
    for (size_t i = 0; i < low.size(); i++) {
        const uint32_t pick[4] = {1, 9, 6, 11};
        low[i] = pick[rnd.Next(4)] | (rnd.Next(4) == 0 ? kTmxFlipH | kTmxFlipD : 0);
        if (rnd.Next(3) == 0) high[i] = 5 | (rnd.Next(2) ? kTmxFlipV : 0);
    }
    Write("m.tmx",
          MapHead(w, h) + ts + Layer("low", w, h, low, "csv") + Layer("high", w, h, high, "zlib") + "</map>\n");
    // The cells with both layers repeat every 36 steps.
    ExpectSameAsTiled("m.tmx", {{0, 0}}, {0, 1, 2, 3, 4, 8, 9, 12, 17, 18, 20, 35, 36, 41});
}

TEST_F(TmxTest, InfiniteMapCoversTheSquaresOfItsChunks) {
    TileImage("t.png", 0, 16, 4);
    const std::string ts =
        "<tileset firstgid=\"1\" name=\"t\" tilewidth=\"16\" tileheight=\"16\" tilecount=\"16\" columns=\"4\"><image "
        "source=\"t.png\" width=\"64\" height=\"64\"/></tileset>\n";
    // Chunks at negative coordinates, one of them off the 16-cell grid and
    // one empty, which Tiled leaves out of the bounds.
    auto chunk = [](int x, int y, int cw, int ch, int seed) {
        std::vector<uint32_t> c(size_t(cw) * ch);
        for (size_t i = 0; i < c.size(); i++) c[i] = seed ? 1 + (i * 7 + seed) % 16 : 0;
        std::string s = "<chunk x=\"" + std::to_string(x) + "\" y=\"" + std::to_string(y) + "\" width=\"" +
                        std::to_string(cw) + "\" height=\"" + std::to_string(ch) + "\">";
        for (size_t i = 0; i < c.size(); i++) s += (i ? "," : "") + std::to_string(c[i]);
        return s + "</chunk>";
    };
    std::string chunks = chunk(-13, 5, 8, 8, 3) + chunk(-80, -80, 16, 16, 0);
    for (int k = 0; k < 9; k++) {
        if (k != 4) chunks += chunk(-32 + k % 3 * 16, -16 + k / 3 * 16, 16, 16, k + 1);
    }
    Write("m.tmx", MapHead(30, 20, " infinite=\"1\"") + ts +
                       "<layer name=\"a\" width=\"30\" height=\"20\"><data encoding=\"csv\">" + chunks +
                       "</data></layer>\n</map>\n");
    ExpectSameAsTiled("m.tmx", {{0, 0}, {128, 32}});
    EXPECT_EQ(Tiled("m.tmx").width, 48 * 16);
    ASSERT_EQ(Run("info '" + P("out.fmp") + "'"), 0);
    const std::vector<uint8_t> out = Read("stdout");
    const std::string info(out.begin(), out.end());
    EXPECT_NE(info.find("mapwidth     48"), std::string::npos) << info;
    EXPECT_NE(info.find("mapheight    48"), std::string::npos) << info;
}

TEST_F(TmxTest, ThePlatformerLevelDrawsAsInTiled) {
    // A level made for Tiled. Its sky is a picture of the game's own, drawn
    // behind the map, so Tiled draws the map without it.
    const char* src = std::getenv("VEXIL_SOURCE_DIR");
    const std::string level = std::string(src ? src : "") + "/examples/platformer/level/level.tmx";
    if (!src || !fs::exists(level)) GTEST_SKIP() << "no platformer level";
    ExpectSameAsTiled(level, {{0, 240}, {1280, 240}, {2560, 240}}, {0, 9, 40}, "bgt,fg0,fg1,fg2",
                      "--hide-layer objects --hide-layer sky", "640x240");
}

TEST_F(TmxTest, ManyColoursAndPartlyTransparentPixelsStayClose) {
    // 64 tiles of smooth gradients (over 10,000 colours), and a top layer
    // whose pixels are partly transparent.
    const int w = 40, h = 30;
    std::vector<uint32_t> px(size_t(128) * 128);
    for (int t = 0; t < 64; t++) {
        for (int y = 0; y < 16; y++) {
            for (int x = 0; x < 16; x++) {
                const uint32_t r = 30 + t * 3 + x * 4, g = 20 + t % 8 * 20 + y * 5, b = 90 + x * y / 3;
                const uint32_t a = t >= 48 ? (x + y) * 8 + 15 : 255;
                px[size_t(t / 8 * 16 + y) * 128 + t % 8 * 16 + x] = r | g << 8 | b << 16 | a << 24;
            }
        }
    }
    Write("g.png", TmxEncodePngRgba(128, 128, px.data()));
    std::vector<uint32_t> low(size_t(w) * h), high(size_t(w) * h, 0);
    for (size_t i = 0; i < low.size(); i++) {
        low[i] = 1 + i * 13 % 48;
        if (i % 3 == 0) high[i] = 49 + i % 16;
    }
    Write("m.tmx", MapHead(w, h) +
                       "<tileset firstgid=\"1\" name=\"g\" tilewidth=\"16\" tileheight=\"16\" tilecount=\"64\" "
                       "columns=\"8\"><image source=\"g.png\" width=\"128\" height=\"128\"/></tileset>\n" +
                       Layer("low", w, h, low, "csv") + Layer("high", w, h, high, "csv") + "</map>\n");
    ASSERT_EQ(Run("import '" + P("m.tmx") + "' -o '" + P("out.fmp") + "'"), 0) << ReadErr();
    const Picture tiled = Tiled("m.tmx"), ours = Render("out.fmp", 0, 0);
    double sum = 0;
    int n = 0;
    for (int i = 0; i < kW * kH; i++) {
        if (tiled.rgba[i] >> 24 != 255) continue;
        for (int c = 0; c < 3; c++) {
            const double d = double(tiled.rgba[i] >> (8 * c) & 255) - double(ours.rgba[i] >> (8 * c) & 255);
            sum += d * d;
        }
        n += 3;
    }
    ASSERT_EQ(n, 3 * kW * kH);
    const double psnr = 10 * std::log10(255.0 * 255.0 / (sum / n));
    RecordProperty("psnr_db", std::to_string(psnr));
    std::printf("PSNR of the reduced map against Tiled: %.2f dB\n", psnr);
    EXPECT_GT(psnr, 30);
}

TEST_F(TmxTest, PropertiesCollisionsParallaxAndExtraLayersBecomeMapData) {
    const int w = 40, h = 30;
    TileImage("t.png", 0, 4, 4);
    std::vector<uint32_t> para(256);
    for (int i = 0; i < 256; i++) para[i] = Colour(i % 5 + 40);
    Write("p.png", TmxEncodePngRgba(16, 16, para.data()));
    // Tile 0: opaque, a collision box in its top-left quarter and user
    // fields. Tile 1: see-through in places. Tile 2 on the extra layer.
    const std::string ts =
        "<tileset firstgid=\"1\" name=\"t\" tilewidth=\"16\" tileheight=\"16\" tilecount=\"4\" columns=\"4\"><image "
        "source=\"t.png\" width=\"64\" height=\"16\"/>"
        "<tile id=\"0\"><properties><property name=\"user1\" type=\"int\" value=\"-1\"/><property name=\"user3\" "
        "type=\"int\" value=\"65535\"/>"
        "<property name=\"user5\" type=\"int\" value=\"200\"/><property name=\"trigger\" type=\"bool\" "
        "value=\"true\"/></properties>"
        "<objectgroup><object id=\"1\" x=\"1\" y=\"1\" width=\"5\" height=\"4\"/></objectgroup></tile></tileset>\n";
    std::vector<uint32_t> body(size_t(w) * h, 3), extra(size_t(w) * h, 0), hidden(size_t(w) * h, 2);
    body[0] = 1;              // tile 0
    body[1] = 1 | kTmxFlipH;  // tile 0 mirrored: the box is top-right
    body[2] = 2;              // see-through
    extra[5] = 3;
    Write("m.tmx",
          MapHead(w, h) + ts +
              "<imagelayer name=\"sky\" repeatx=\"1\" repeaty=\"1\" parallaxx=\"0.5\" parallaxy=\"0.5\" "
              "visible=\"0\"><image source=\"p.png\" width=\"16\" height=\"16\"/></imagelayer>\n" +
              Layer("body", w, h, body, "csv") + Layer("hidden", w, h, hidden, "csv", " visible=\"0\"") +
              Layer("extra", w, h, extra, "csv",
                    " visible=\"0\"><properties><property name=\"layer\" type=\"int\" value=\"3\"/></properties") +
              "</map>\n");
    ASSERT_EQ(Run("import '" + P("m.tmx") + "' -o '" + P("out.fmp") + "'"), 0) << ReadErr();

    if (!lpDD) {
        ASSERT_EQ(DirectDrawCreate(nullptr, &lpDD, nullptr), DD_OK);
    }
    const std::vector<uint8_t> img = Read("out.fmp");
    ASSERT_EQ(MapDecode(img.data(), img.size()), 0) << mapreason;
    auto block = [](int i) { return *MapResolveCell(mapmappt[0][i])->blkstr; };
    const BLKSTR a = block(0), b = block(1), c = block(2), d = block(3);
    EXPECT_EQ(a.user1, 0xFFFFFFFFu);
    EXPECT_EQ(a.user3, 65535);
    EXPECT_EQ(a.user5, 200);
    EXPECT_TRUE(a.tl && !a.tr && !a.bl && !a.br && a.trigger);
    EXPECT_TRUE(b.tr && !b.tl && b.user5 == 200);
    EXPECT_TRUE(c.trigger) << "a see-through block lets the parallax show";
    EXPECT_FALSE(d.trigger || d.tl || d.user1) << "an opaque tile without properties";
    // The parallax graphic, the last one, has the image's colours.
    ASSERT_NE(lpDDSPara, nullptr);
    for (int i = 0; i < 256; i++) {
        const PALETTEENTRY& e = mappept[lpDDSPara->pixels[(i / 16) * lpDDSPara->pitch + i % 16]];
        ASSERT_EQ(uint32_t(e.peRed | e.peGreen << 8 | e.peBlue << 16), para[i] & 0xFFFFFF) << "pixel " << i;
    }
    // The marked layer became LYR3; the hidden one is gone.
    for (int n = 1; n < 8; n++) EXPECT_EQ(mapmappt[n] != nullptr, n == 3) << "layer " << n;
    EXPECT_NE(mapmappt[3][5], mapmappt[3][6]);
    MapFreeMem();
}

// Every animation type, delays of every kind, user fields and flags, block 0
// with a foreground graphic and extra layers: a map that uses what the
// format has.
MAPDESC Everything() {
    MAPDESC m = MapWriterSample(40, 30, 8);
    for (int t = 0; t <= 9; t++)
        m.anims.push_back({static_cast<signed char>(t), static_cast<signed char>(t % 3), 0, 7, 1, 5, 2});
    m.anims.push_back({ANTYPE_LOOP_FWD, -128, 0, 0, 2, 6, 2});
    m.anims.push_back({ANTYPE_PINGPONG_BACK_OUT, -5, 0, 0, 0, 3, 0});
    m.anims.push_back({ANTYPE_LOOP_FWD, 0, 0, 0, 4, 4, 4});  // no frames of its own
    m.blocks[2].user2 = 0xDEADBEEF;
    m.blocks[2].user7 = 9;
    m.blocks[3].tl = m.blocks[3].br = m.blocks[3].unused3 = 1;
    m.blocks[3].fgoff2 = 5 * 256;
    m.blocks[3].fgoff3 = 6 * 256;
    m.blocks.push_back(m.blocks[1]);  // two equal blocks stay two
    for (size_t i = 0; i < m.layers[0].size(); i++) {
        if (i % 7 == 3) m.layers[0][i] = static_cast<int16_t>(-16 * (4 + i % (m.anims.size() - 3)));  // the new ones
        if (i % 11 == 5) m.layers[0][i] = static_cast<int16_t>(32 * (m.blocks.size() - 1));
    }
    m.layers[2] = m.layers[0];
    m.layers[7].assign(m.layers[0].size(), 32);
    return m;
}

TEST_F(TmxTest, ExportDrawsInTiledAsTheMapAndImportsBackUnchanged) {
    std::vector<std::pair<std::string, std::vector<uint8_t>>> maps = {{"everything", MapSerialize(Everything())}};
#ifdef VEXIL_HAVE_DEMOMAP
    maps.push_back({"demo", MapSerialize(MapWriterDemo())});
#endif
    for (const auto& [name, image] : maps) {
        SCOPED_TRACE(name);
        Write(name + ".fmp", image);
        ASSERT_EQ(Run("export '" + P(name + ".fmp") + "' -o '" + P(name + ".tmx") + "'"), 0) << ReadErr();
        ASSERT_EQ(Run("import '" + P(name + ".tmx") + "' -o '" + P(name + "-back.fmp") + "'"), 0) << ReadErr();
        EXPECT_EQ(Read(name + "-back.fmp"), image) << "import of the export differs from the map";
        // Tiled's picture of the export is the whole map drawn with its
        // background graphics opaque.
        const Picture tiled = Tiled(name + ".tmx");
        const std::string view = std::to_string(tiled.width) + "x" + std::to_string(tiled.height);
        int opaque = 0;
        EXPECT_EQ(Mismatches(tiled, Render(name + ".fmp", 0, 0, 0, "bg,fg0,fg1,fg2", view), 0, 0, &opaque), 0);
        EXPECT_GT(opaque, tiled.width * tiled.height / 5);
    }
    // An export edited in Tiled: a new layer painted over part of it. The
    // cells it leaves alone keep their blocks; the picture is Tiled's, with
    // the backgrounds opaque as in the export (inside the view the library
    // leaves out block 0, which this map draws).
    std::vector<uint8_t> text = Read("everything.tmx");
    std::string tmx(text.begin(), text.end());
    std::vector<uint32_t> deco(40 * 30, 0);
    for (size_t i = 0; i < deco.size(); i += 5) deco[i] = 1 + 3 + i % 4;  // graphics 3 to 6
    tmx.insert(tmx.rfind("</map>"), Layer("deco", 40, 30, deco, "csv"));
    Write("edited.tmx", tmx);
    ExpectSameAsTiled("edited.tmx", {{0, 0}}, {0}, "bg,fg0,fg1,fg2");
    const MAPDESC m = Everything();
    std::vector<uint8_t> out = Read("out.fmp");
    const size_t body = std::search(out.begin(), out.end(), std::begin("BODY"), std::end("BODY") - 1) - out.begin() + 8;
    ASSERT_LT(body, out.size());
    for (size_t i = 0; i < deco.size(); i++) {
        if (deco[i]) continue;
        ASSERT_EQ(int16_t(out[body + 2 * i] | out[body + 2 * i + 1] << 8), m.layers[0][i]) << "cell " << i;
    }
}

TEST_F(TmxTest, OtherBlockSizesAndManyGraphicsDrawAsInTiledAndSurviveExport) {
    for (const SizedCase& c : kSized) {
        SCOPED_TRACE(c.name);
        const std::string n = c.name, view = std::to_string(c.w * c.tw) + "x" + std::to_string(c.h * c.th);
        SizedMap(n, c.w, c.h, c.tw, c.th, c.tiles);
        ExpectSameAsTiled(n + ".tmx", {{0, 0}}, {0, 3, 7}, "bgt,fg0,fg1,fg2", "", view);
        const std::vector<uint8_t> image = Read("out.fmp");
        ASSERT_GT(image.size(), 44u);
        EXPECT_EQ(image[32] | image[33] << 8, c.tw);
        EXPECT_EQ(image[34] | image[35] << 8, c.th);
        if (c.tiles > 255) {
            EXPECT_GT(image[42] | image[43] << 8, 255);
        }
        ASSERT_EQ(Run("export '" + P("out.fmp") + "' -o '" + P(n + "-out.tmx") + "'"), 0) << ReadErr();
        EXPECT_EQ(Mismatches(Tiled(n + "-out.tmx"), Render("out.fmp", 0, 0, 0, "bg,fg0,fg1,fg2", view), 0, 0), 0);
        ASSERT_EQ(Run("import '" + P(n + "-out.tmx") + "' -o '" + P(n + "-back.fmp") + "'"), 0) << ReadErr();
        EXPECT_EQ(Read(n + "-back.fmp"), image);
    }
}

TEST_F(TmxTest, BadInputIsRefusedWithOneLineNamingTheFile) {
    TileImage("t.png", 0, 4, 4);
    Write("notpng.png", std::string("GIF89a not a png"));
    const std::string ts =
        "<tileset firstgid=\"1\" name=\"t\" tilewidth=\"16\" tileheight=\"16\" tilecount=\"4\" columns=\"4\"><image "
        "source=\"t.png\" width=\"64\" height=\"16\"/></tileset>\n";
    auto map = [&](const std::string& layer, const std::string& head = "", const std::string& tileset = "") {
        return (head.empty() ? MapHead(40, 30) : head) + (tileset.empty() ? ts : tileset) + layer + "</map>\n";
    };
    const std::vector<uint32_t> ones(40 * 30, 1);
    std::vector<uint32_t> beyond = ones;
    beyond[77] = 9;
    // Data that inflates to far more than the 4,800 bytes the layer needs.
    const std::vector<uint8_t> bomb = Deflate(std::vector<uint8_t>(1 << 20, 0), false);
    std::string iso = MapHead(40, 30);
    iso.replace(iso.find("orthogonal"), 10, "isometric");

    // Objects past the map file's limits.
    std::string many = "<objectgroup name=\"o\">", points = "0,0", longvalue(65537, 'a');
    for (int i = 1; i <= 65537; i++) many += "<object id=\"" + std::to_string(i) + "\"/>";
    for (int i = 1; i < 65537; i++) points += " " + std::to_string(i % 50) + ",1";

    struct Case {
        const char* name;
        std::string tmx;
        const char* file;    // named in the message
        const char* reason;  // part of the message
    } cases[] = {
        {"malformed XML", map("<layer name=\"a\" width=\"40\" height=\"30\"><data encoding=\"csv\">1,1</layer>"),
         "m.tmx", "malformed XML"},
        {"missing tileset",
         map(Layer("a", 40, 30, ones, "csv"), "", "<tileset firstgid=\"1\" source=\"nowhere.tsx\"/>"), "nowhere.tsx",
         "cannot open"},
        {"missing image",
         map(Layer("a", 40, 30, ones, "csv"), "",
             "<tileset firstgid=\"1\" name=\"t\" tilewidth=\"16\" tileheight=\"16\"><image "
             "source=\"gone.png\"/></tileset>"),
         "gone.png", "cannot open"},
        {"not a PNG",
         map(Layer("a", 40, 30, ones, "csv"), "",
             "<tileset firstgid=\"1\" name=\"t\" tilewidth=\"16\" tileheight=\"16\"><image "
             "source=\"notpng.png\"/></tileset>"),
         "notpng.png", "not a PNG"},
        {"gid beyond", map(Layer("a", 40, 30, beyond, "csv")), "m.tmx",
         "gid 9 at cell (37, 1) of layer \"a\" is beyond every tileset"},
        {"short data", map(Layer("a", 40, 30, std::vector<uint32_t>(1199, 1), "csv")), "m.tmx",
         "data has 1199 cells, it needs 1200"},
        {"isometric", map("", iso), "m.tmx", "orientation \"isometric\""},
        {"width 0", map("", MapHead(0, 30)), "m.tmx", "map size 0 x 30"},
        {"height below 0", map("", MapHead(40, -2)), "m.tmx", "map size 40 x -2"},
        {"too wide", map("", MapHead(40000, 1)), "m.tmx", "1 to 32767 a side"},
        {"tile size 0",
         map("",
             "<?xml version=\"1.0\"?><map orientation=\"orthogonal\" width=\"40\" height=\"30\" tilewidth=\"0\" "
             "tileheight=\"16\">\n"),
         "m.tmx", "tile size 0 x 16"},
        {"chunks far apart",
         MapHead(40, 30, " infinite=\"1\"") + ts +
             "<layer name=\"a\"><data encoding=\"csv\"><chunk x=\"-20000\" y=\"0\" width=\"1\" "
             "height=\"1\">1</chunk><chunk x=\"20000\" y=\"0\" width=\"1\" height=\"1\">1</chunk></data></layer></map>",
         "m.tmx", "a map holds at most 32767 a side"},
        {"inflates past",
         map("<layer name=\"a\" width=\"40\" height=\"30\"><data encoding=\"base64\" compression=\"zlib\">" +
             Base64(bomb) + "</data></layer>"),
         "m.tmx", "inflates past the 4800 bytes"},
        {"fractional offset", map(Layer("a", 40, 30, ones, "csv", " offsetx=\"2.5\"")), "m.tmx",
         "layer \"a\" is drawn at an offset of (2.5, 0) pixels: only whole pixels convert"},
        {"group's fractional offset",
         map("<group name=\"g\" offsety=\"0.25\">" + Layer("b", 40, 30, ones, "csv") + "</group>"), "m.tmx",
         "layer \"b\" is drawn at an offset of (0, 0.25)"},
        {"image is a FIFO",
         map(Layer("a", 40, 30, ones, "csv"), "",
             "<tileset firstgid=\"1\" name=\"t\" tilewidth=\"16\" tileheight=\"16\"><image "
             "source=\"fifo.png\"/></tileset>"),
         "fifo.png", "a FIFO, not a regular file: refused"},
        {"image is a device",
         map(Layer("a", 40, 30, ones, "csv"), "",
             "<tileset firstgid=\"1\" name=\"t\" tilewidth=\"16\" tileheight=\"16\"><image "
             "source=\"/dev/zero\"/></tileset>"),
         "/dev/zero", "a character device, not a regular file: refused"},
        {"too many objects", map(many + "</objectgroup>"), "m.tmx", "65537 objects, at most 65536"},
        {"too many points",
         map("<objectgroup name=\"o\"><object id=\"1\"><polyline points=\"" + points + "\"/></object></objectgroup>"),
         "m.tmx", "object 1 has 65537 points, at most 65536"},
        {"a property too long",
         map("<objectgroup name=\"o\"><object id=\"4\"><properties><property name=\"p\" value=\"" + longvalue +
             "\"/></properties></object></objectgroup>"),
         "m.tmx", "property \"p\" of object 4: 65537 bytes, at most 65536"},
        {"an object's place not a number", map("<objectgroup name=\"o\"><object id=\"1\" x=\"abc\"/></objectgroup>"),
         "m.tmx", "<object> x=\"abc\" is not a number"},
        {"tileset is a directory",
         map(Layer("a", 40, 30, ones, "csv"), "", "<tileset firstgid=\"1\" source=\"adir\"/>"), "adir",
         "a directory, not a regular file: refused"},
        {"template malformed", map("<objectgroup name=\"o\"><object id=\"1\" template=\"bad.tx\"/></objectgroup>"),
         "bad.tx", "malformed XML"},
        {"template of no object", map("<objectgroup name=\"o\"><object id=\"1\" template=\"empty.tj\"/></objectgroup>"),
         "empty.tj", "not a Tiled template"},
    };
    Write("bad.tx", "<template><object name=\"a\"");
    Write("empty.tj", "{\"type\": \"template\"}");
    ASSERT_EQ(mkfifo(P("fifo.png").c_str(), 0600), 0);
    fs::create_directory(P("adir"));
    auto refused = [&](const std::string& mapfile, const std::string& file, const std::string& reason) {
        std::string err;
        EXPECT_EQ(Run("import '" + P(mapfile) + "' -o '" + P("out.fmp") + "'", &err), 2);
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
        EXPECT_NE(err.find((file[0] == '/' ? file : P(file)) + ": "), std::string::npos) << err;
        EXPECT_NE(err.find(reason), std::string::npos) << err;
        EXPECT_FALSE(fs::exists(P("out.fmp")));
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Write("m.tmx", c.tmx);
        refused("m.tmx", c.file, c.reason);
    }
    // The map itself a FIFO, and JSON that is malformed or of the wrong shape.
    ASSERT_EQ(mkfifo(P("fifo.tmx").c_str(), 0600), 0);
    refused("fifo.tmx", "fifo.tmx", "a FIFO, not a regular file: refused");
    const std::string head =
        "{\"orientation\":\"orthogonal\",\"width\":2,\"height\":1,\"tilewidth\":16,\"tileheight\":16,"
        "\"tilesets\":[{\"firstgid\":1,\"name\":\"t\",\"tilewidth\":16,\"tileheight\":16,\"image\":\"t.png\"}],";
    const std::pair<std::string, std::string> json[] = {
        {head + "\"layers\":[", "malformed JSON at byte"},
        {"[1, 2]", "malformed JSON: the top is not an object"},
        {head + "\"layers\":[{\"type\":\"tilelayer\",\"name\":\"a\",\"data\":[1]}]}", "data has 1 cells, it needs 2"},
        {head + "\"layers\":[{\"type\":\"tilelayer\",\"name\":\"a\",\"data\":[1,\"x\"]}]}", "a cell is not a gid"},
        {head + "\"layers\":{\"type\":\"tilelayer\"}}", "\"layers\" is not an array"},
        {head + "\"layers\":[{\"type\":\"tilelayer\",\"name\":\"a\",\"offsetx\":0.5,\"data\":[1,1]}]}",
         "only whole pixels convert"},
        {head + "\"layers\":[{\"type\":\"objectgroup\",\"name\":\"o\",\"objects\":5}]}", "\"objects\" is not an array"},
        {head + "\"layers\":[{\"type\":\"objectgroup\",\"name\":\"o\",\"objects\":[5]}]}",
         "an object is not an object"},
        {head +
             "\"layers\":[{\"type\":\"objectgroup\",\"name\":\"o\",\"objects\":[{\"id\":1,\"name\":\"a\\u0000b\"}]}]}",
         "the name of object 1 holds a NUL character"},
    };
    for (const auto& [text, reason] : json) {
        SCOPED_TRACE(text);
        Write("m.tmj", text);
        refused("m.tmj", "m.tmj", reason);
    }
    // Export refuses what is not a map, and both commands want -o.
    Write("bad.fmp", std::string("FORM\0\0\0\4FMAQ", 12));
    std::string err;
    EXPECT_EQ(Run("export '" + P("bad.fmp") + "' -o '" + P("x.tmx") + "'", &err), 2);
    EXPECT_NE(err.find(P("bad.fmp") + ": not a map file"), std::string::npos) << err;
    EXPECT_FALSE(fs::exists(P("x.tmx")) || fs::exists(P("x.tsx")) || fs::exists(P("x.png")));
    EXPECT_EQ(Run("import '" + P("m.tmx") + "'"), 1);
    EXPECT_EQ(Run("export '" + P("bad.fmp") + "' -o '" + P("x.fmp") + "'"), 1);
}

}  // namespace
#endif
