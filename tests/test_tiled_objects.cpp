// Tiled objects through the converter, against Tiled itself: vexil objects
// equals Tiled's JSON export on a map with every object kind and property
// type; export writes them back so that import gives the same bytes and
// Tiled exports the same objects; tile objects draw as tmxrasterizer draws
// them; sprite sheets keep their colours on the map's palette.
#if __has_include("vexilconvert.h")
#include <rapidjson/document.h>

#include "tmx_fixture.h"

namespace {

using TiledObjects = TmxTest;

// The object groups and groups of Tiled's JSON "layers", nested as Tiled
// nests them, tile objects' gids cut to their flip bits.
void Strip(rapidjson::Value& layers, rapidjson::Document::AllocatorType& a) {
    rapidjson::Value out(rapidjson::kArrayType);
    for (rapidjson::Value& l : layers.GetArray()) {
        const std::string type = l["type"].GetString();
        if (type != "objectgroup" && type != "group") continue;
        if (l.HasMember("layers")) Strip(l["layers"], a);
        if (l.HasMember("objects")) {
            for (rapidjson::Value& o : l["objects"].GetArray()) {
                if (o.HasMember("gid")) o["gid"].SetUint(o["gid"].GetUint() & 0xE0000000u);
            }
        }
        out.PushBack(l, a);
    }
    layers = out;
}

// What a file holds as JSON, "layers" stripped, "properties" kept.
rapidjson::Document Objects(const std::vector<uint8_t>& text) {
    rapidjson::Document d;
    d.Parse(reinterpret_cast<const char*>(text.data()), text.size());
    EXPECT_FALSE(d.HasParseError());
    rapidjson::Document out(rapidjson::kObjectType);
    rapidjson::Value layers(d["layers"], out.GetAllocator());
    Strip(layers, out.GetAllocator());
    out.AddMember("layers", layers, out.GetAllocator());
    if (d.HasMember("properties"))
        out.AddMember("properties", rapidjson::Value(d["properties"], out.GetAllocator()), out.GetAllocator());
    return out;
}

std::string Text(const rapidjson::Value& v) {
    if (v.IsObject()) {
        std::string s = "{";
        for (const auto& m : v.GetObject()) s += std::string(m.name.GetString()) + ":" + Text(m.value) + ",";
        return s + "}";
    }
    if (v.IsArray()) {
        std::string s = "[";
        for (const auto& e : v.GetArray()) s += Text(e) + ",";
        return s + "]";
    }
    if (v.IsString()) return std::string("\"") + v.GetString() + "\"";
    if (v.IsBool()) return v.GetBool() ? "true" : "false";
    if (v.IsNumber()) return std::to_string(v.GetDouble());
    return "null";
}

const std::string kTiled = "QT_QPA_PLATFORM=offscreen timeout 120 tiled ";

// A map of every object kind and property type: map properties (a file in
// a folder below, a string of two lines), a hidden group with an offset
// holding an object layer in index order and a group within, shapes with
// points and a styled text, tile objects flipped each way, one without a
// size, one rotated, an object without an id.
std::string EveryKind() {
    return MapHead(12, 8, " nextlayerid=\"9\" nextobjectid=\"30\"") +
           "<properties><property name=\"boss\" type=\"object\" value=\"5\"/>"
           "<property name=\"dark\" type=\"bool\" value=\"true\"/>"
           "<property name=\"gravity\" type=\"float\" value=\"9.25\"/>"
           "<property name=\"lives\" type=\"int\" value=\"-3\"/>"
           "<property name=\"music\" type=\"file\" value=\"sub/song.ogg\"/>"
           "<property name=\"notes\">one\ntwo</property>"
           "<property name=\"tint\" type=\"color\" value=\"#80204060\"/>"
           "<property name=\"title\" value=\"A &amp; B\"/></properties>\n"
           "<tileset firstgid=\"1\" name=\"t\" tilewidth=\"16\" tileheight=\"16\" tilecount=\"8\" columns=\"4\">"
           "<image source=\"t.png\" width=\"64\" height=\"32\"/></tileset>\n"
           "<objectgroup id=\"7\" name=\"below\" offsetx=\"4\" offsety=\"-2\" opacity=\"0.5\">"
           "<object id=\"1\" name=\"r\" type=\"box\" x=\"1.5\" y=\"2.25\" width=\"10\" "
           "height=\"20\"/></objectgroup>\n" +
           Layer("ground", 12, 8, std::vector<uint32_t>(96, 2), "csv") +
           "<group id=\"2\" name=\"things\" visible=\"0\" offsetx=\"3\"><properties><property name=\"g\" "
           "type=\"int\" value=\"-7\"/></properties>"
           "<objectgroup id=\"3\" name=\"shapes\" draworder=\"index\">"
           "<object id=\"2\" name=\"e\" x=\"10\" y=\"10\" width=\"5\" height=\"6\" rotation=\"45\"><ellipse/></object>"
           "<object id=\"3\" name=\"p\" type=\"spawn\" x=\"3\" y=\"4\"><properties><property name=\"kind\" "
           "value=\"walker\"/><property name=\"path\" type=\"object\" value=\"4\"/><property name=\"w\" "
           "type=\"file\" value=\"\"/></properties><point/></object>"
           "<object id=\"4\" name=\"line\" x=\"20\" y=\"30\"><polyline points=\"0,0 10.5,5 -3,8\"/></object>"
           "<object id=\"5\" name=\"poly\" x=\"40\" y=\"30\" visible=\"0\"><polygon points=\"0,0 10,0 "
           "10,10\"/></object>"
           "<object id=\"6\" name=\"t\" x=\"5\" y=\"5\" width=\"80\" height=\"20\"><text wrap=\"1\" pixelsize=\"12\" "
           "color=\"#ff0000\" halign=\"center\" kerning=\"1\">Hello \"world\"</text></object>"
           "<object name=\"no id\" x=\"1\" y=\"1\"/>"
           "</objectgroup><group id=\"8\" name=\"inner\"/></group>\n"
           "<objectgroup id=\"4\" name=\"tiles\">"
           "<object id=\"7\" gid=\"3\" x=\"16\" y=\"48\" width=\"16\" height=\"16\"/>"
           "<object id=\"8\" gid=\"2147483651\" x=\"48\" y=\"48\" width=\"16\" height=\"16\"/>"
           "<object id=\"9\" gid=\"1073741828\" x=\"64\" y=\"32\" width=\"16\" height=\"16\"/>"
           "<object id=\"10\" type=\"goal\" gid=\"3221225477\" x=\"80\" y=\"20\"/>"
           "<object id=\"11\" gid=\"6\" x=\"100\" y=\"100\" width=\"16\" height=\"16\" rotation=\"30\"/>"
           "</objectgroup></map>\n";
}

TEST_F(TiledObjects, VexilObjectsEqualsTiledsExportAndTheExportRoundTrips) {
    TileImage("t.png", 0, 8, 4);
    Write("m.tmx", EveryKind());
    std::string err;
    ASSERT_EQ(Run("import '" + P("m.tmx") + "' -o '" + P("m.fmp") + "'", &err), 0) << err;
    EXPECT_NE(err.find("tile objects rotated, resized or flipped diagonally are kept, not drawn: \"#11\""),
              std::string::npos)
        << err;
    ASSERT_EQ(Run("objects '" + P("m.fmp") + "'"), 0);
    ASSERT_EQ(
        std::system((kTiled + "--export-map json '" + P("m.tmx") + "' '" + P("tiled.json") + "' 2>/dev/null").c_str()),
        0);
    const rapidjson::Document tiled = Objects(Read("tiled.json"));
    EXPECT_EQ(Objects(Read("stdout")), tiled) << Text(Objects(Read("stdout"))) << "\n" << Text(tiled);
    // Tiled's JSON form of the map imports to the same bytes.
    ASSERT_EQ(Run("import '" + P("tiled.json") + "' -o '" + P("j.fmp") + "'", &err), 0) << err;
    EXPECT_EQ(Read("j.fmp"), Read("m.fmp"));

    for (const char* form : {"e.tmx", "e.tmj"}) {
        SCOPED_TRACE(form);
        const std::string e = form;
        ASSERT_EQ(Run("export '" + P("m.fmp") + "' -o '" + P(e) + "'", &err), 0) << err;
        ASSERT_EQ(Run("import '" + P(e) + "' -o '" + P("back.fmp") + "'", &err), 0) << err;
        EXPECT_EQ(Read("back.fmp"), Read("m.fmp"));
        ASSERT_EQ(
            std::system((kTiled + "--export-map json '" + P(e) + "' '" + P("again.json") + "' 2>/dev/null").c_str()),
            0);
        EXPECT_EQ(Objects(Read("again.json")), tiled) << Text(Objects(Read("again.json")));
    }
    // A map file elsewhere keeps its file properties pointing at the same file.
    fs::create_directory(P("deeper"));
    ASSERT_EQ(Run("import '" + P("m.tmx") + "' -o '" + P("deeper/m.fmp") + "'", &err), 0) << err;
    ASSERT_EQ(Run("objects '" + P("deeper/m.fmp") + "'"), 0);
    const std::vector<uint8_t> moved = Read("stdout");
    EXPECT_NE(std::string(moved.begin(), moved.end()).find("\"../sub/song.ogg\""), std::string::npos);
}

TEST_F(TiledObjects, TemplateInstancesReadWholeAndWriteBackWhatTheySet) {
    // A tile template (TX) whose tileset the map has, a shape template in
    // Tiled's JSON form, a tile template whose tileset the map lacks; the
    // instances set nothing, or their own name, property, flipped tile,
    // size, rotation, visibility, class and shape.
    TileImage("t.png", 0, 8, 4);
    TileImage("far.png", 40, 2, 2);
    fs::create_directory(P("tpl"));
    Write("t.tsx",
          "<tileset name=\"t\" tilewidth=\"16\" tileheight=\"16\" tilecount=\"8\" columns=\"4\">"
          "<image source=\"t.png\" width=\"64\" height=\"32\"/></tileset>\n");
    Write("far.tsx",
          "<tileset name=\"far\" tilewidth=\"16\" tileheight=\"16\" tilecount=\"2\" columns=\"2\">"
          "<image source=\"far.png\" width=\"32\" height=\"16\"/></tileset>\n");
    Write("tpl/coin.tx",
          "<template><tileset firstgid=\"1\" source=\"../t.tsx\"/><object name=\"coin\" "
          "type=\"pickup\" gid=\"3\" width=\"16\" height=\"16\"><properties><property "
          "name=\"value\" type=\"int\" value=\"5\"/><property name=\"sound\" value=\"ding\"/>"
          "</properties></object></template>\n");
    Write("tpl/far.tx",
          "<template><tileset firstgid=\"7\" source=\"../far.tsx\"/><object name=\"far\" "
          "gid=\"8\"/></template>\n");
    Write("tpl/zone.tj",
          "{\"type\": \"template\", \"object\": {\"name\": \"zone\", \"type\": \"trigger\", "
          "\"width\": 40, \"height\": 20, \"rotation\": 10, \"visible\": false, \"ellipse\": true, "
          "\"properties\": [{\"name\": \"on\", \"type\": \"bool\", \"value\": true}]}}\n");
    Write("m.tmx", MapHead(8, 6, " nextobjectid=\"9\"") + "<tileset firstgid=\"1\" source=\"t.tsx\"/>\n" +
                       Layer("ground", 8, 6, std::vector<uint32_t>(48, 1), "csv") +
                       "<objectgroup id=\"2\" name=\"o\">"
                       "<object id=\"1\" template=\"tpl/coin.tx\" x=\"16\" y=\"32\"/>"
                       "<object id=\"2\" template=\"tpl/coin.tx\" name=\"big\" x=\"48\" y=\"48\"><properties>"
                       "<property name=\"value\" type=\"int\" value=\"9\"/></properties></object>"
                       "<object id=\"3\" template=\"tpl/coin.tx\" gid=\"2147483652\" x=\"80\" y=\"64\"/>"
                       "<object id=\"4\" template=\"tpl/zone.tj\" x=\"10\" y=\"10\"/>"
                       "<object id=\"5\" template=\"tpl/zone.tj\" type=\"other\" x=\"20\" y=\"20\" width=\"8\" "
                       "height=\"9\" rotation=\"0\" visible=\"1\"/>"
                       "<object id=\"6\" template=\"tpl/zone.tj\" x=\"30\" y=\"30\"><polygon points=\"0,0 5,0 "
                       "5,5\"/></object>"
                       "<object id=\"7\" template=\"tpl/far.tx\" x=\"100\" y=\"90\"/>"
                       "<object id=\"8\" gid=\"3\" x=\"0\" y=\"96\" width=\"16\" height=\"16\"/>"
                       "</objectgroup></map>\n");
    std::string err;
    ASSERT_EQ(Run("import '" + P("m.tmx") + "' -o '" + P("m.fmp") + "'", &err), 0) << err;
    EXPECT_EQ(err, "");
    ASSERT_EQ(Run("objects '" + P("m.fmp") + "'"), 0);
    ASSERT_EQ(
        std::system((kTiled + "--export-map json '" + P("m.tmx") + "' '" + P("tiled.json") + "' 2>/dev/null").c_str()),
        0);
    const rapidjson::Document tiled = Objects(Read("tiled.json"));
    EXPECT_EQ(Objects(Read("stdout")), tiled) << Text(Objects(Read("stdout"))) << "\n" << Text(tiled);
    for (const char* form : {"e.tmx", "e.tmj"}) {
        SCOPED_TRACE(form);
        ASSERT_EQ(Run("export '" + P("m.fmp") + "' -o '" + P(form) + "'", &err), 0) << err;
        ASSERT_EQ(Run("import '" + P(form) + "' -o '" + P("back.fmp") + "'", &err), 0) << err;
        EXPECT_EQ(Read("back.fmp"), Read("m.fmp"));
    }

    // The game reads each instance whole.
    ASSERT_EQ(lpDD ? DD_OK : DirectDrawCreate(nullptr, &lpDD, nullptr), DD_OK);
    ASSERT_EQ(MapLoad(P("m.fmp").c_str()), 0) << mapreason;
    const MAPOBJECT* coin = MapGetObject(1);
    const MAPOBJECT* big = MapGetObject(2);
    ASSERT_TRUE(coin && big);
    EXPECT_STREQ(coin->name, "coin");
    EXPECT_STREQ(big->type, "pickup");
    EXPECT_EQ(MapGetIntProperty(&coin->props, "value", 0), 5);
    EXPECT_EQ(MapGetIntProperty(&big->props, "value", 0), 9);
    EXPECT_STREQ(MapGetStringProperty(&big->props, "sound", ""), "ding");
    EXPECT_EQ(coin->sprite, MapGetObject(8)->sprite);  // the same tile as a plain tile object's
    EXPECT_EQ(MapGetObject(3)->flips, MAPSPRITE_FLIPX);
    const MAPOBJECT* zone = MapGetObject(4);
    EXPECT_TRUE(zone->shape == MAPSHAPE_ELLIPSE && !zone->visible && zone->rotation == 10 && zone->width == 40);
    EXPECT_EQ(MapGetBoolProperty(&zone->props, "on", 0), 1);
    EXPECT_EQ(MapGetObject(6)->shape, MAPSHAPE_POLYGON);
    const MAPOBJECT* far = MapGetObject(7);
    ASSERT_NE(far->sprite, nullptr);
    EXPECT_EQ(far->width, 16);
    MapFreeMem();
}

TEST_F(TiledObjects, TileObjectsDrawAsTiledDrawsThem) {
    // Tile objects only, above the tile layers: flipped each way,
    // overlapping in top-down order, from a tileset aligned at the centre
    // with a tile offset, from a collection of any size, in a layer with an
    // offset inside a group with one.
    TileImage("t.png", 0, 8, 4);
    TileImage("big.png", 20, 1, 1, 0, 0, 0, 24, 8);
    Write("m.tmx", MapHead(12, 8) +
                       "<tileset firstgid=\"1\" name=\"t\" tilewidth=\"16\" tileheight=\"16\" tilecount=\"8\" "
                       "columns=\"4\"><image source=\"t.png\" width=\"64\" height=\"32\"/></tileset>\n"
                       "<tileset firstgid=\"9\" name=\"c\" tilewidth=\"16\" tileheight=\"16\" tilecount=\"8\" "
                       "columns=\"4\" objectalignment=\"center\"><tileoffset x=\"3\" y=\"-5\"/><image source=\"t.png\" "
                       "width=\"64\" height=\"32\"/></tileset>\n"
                       "<tileset firstgid=\"20\" name=\"big\" tilewidth=\"24\" tileheight=\"8\" tilecount=\"1\" "
                       "columns=\"0\"><tile id=\"0\"><image source=\"big.png\" width=\"24\" height=\"8\"/></tile>"
                       "</tileset>\n" +
                       Layer("ground", 12, 8, std::vector<uint32_t>(96, 1), "csv") +
                       "<group name=\"g\" offsetx=\"2\" offsety=\"1\"><objectgroup name=\"o\" offsety=\"4\">"
                       "<object id=\"1\" gid=\"3\" x=\"16\" y=\"48\" width=\"16\" height=\"16\"/>"
                       "<object id=\"2\" gid=\"2147483652\" x=\"24\" y=\"44\" width=\"16\" height=\"16\"/>"
                       "<object id=\"3\" gid=\"1073741829\" x=\"64\" y=\"32\" width=\"16\" height=\"16\"/>"
                       "<object id=\"4\" gid=\"3221225478\" x=\"60\" y=\"36\"/>"
                       "<object id=\"5\" gid=\"11\" x=\"100\" y=\"60\" width=\"16\" height=\"16\"/>"
                       "<object id=\"6\" gid=\"20\" x=\"120\" y=\"90\" width=\"24\" height=\"8\"/>"
                       "<object id=\"7\" gid=\"2147483668\" x=\"150\" y=\"110\" width=\"24\" height=\"8\"/>"
                       "</objectgroup></group></map>\n");
    std::string err;
    ASSERT_EQ(Run("import '" + P("m.tmx") + "' -o '" + P("m.fmp") + "'", &err), 0) << err;
    const Picture tiled = Tiled("m.tmx");
    const Picture ours = Render("m.fmp", 0, 0, 0, "bgt,fg0,fg1,fg2,objects", "192x128");
    int opaque = 0;
    EXPECT_EQ(Mismatches(tiled, ours, 0, 0, &opaque), 0);
    EXPECT_GT(opaque, 192 * 128 * 9 / 10);
    // Without the objects the picture differs exactly where they are.
    const Picture bare = Render("m.fmp", 0, 0, 0, "bgt,fg0,fg1,fg2", "192x128");
    EXPECT_GT(Mismatches(tiled, bare, 0, 0), 16 * 16 * 4);
}

TEST_F(TiledObjects, TileObjectsOfMissingTilesAreKeptAndDrawNothing) {
    // As Tiled opens such a map: a gid no tileset has, a tileset whose image
    // is gone; the objects stay with their fields.
    TileImage("t.png", 0, 2, 2);
    Write("m.tmx", MapHead(4, 4) +
                       "<tileset firstgid=\"1\" name=\"t\" tilewidth=\"16\" tileheight=\"16\" tilecount=\"2\" "
                       "columns=\"2\"><image source=\"t.png\" width=\"32\" height=\"16\"/></tileset>\n"
                       "<tileset firstgid=\"3\" name=\"gone\" tilewidth=\"16\" tileheight=\"16\" tilecount=\"2\" "
                       "columns=\"2\"><image source=\"gone.png\" width=\"32\" height=\"16\"/></tileset>\n" +
                       Layer("a", 4, 4, std::vector<uint32_t>(16, 1), "csv") +
                       "<objectgroup name=\"o\"><object id=\"1\" gid=\"99\" x=\"0\" y=\"16\" width=\"16\" "
                       "height=\"16\"/><object id=\"2\" name=\"lost\" gid=\"4\" x=\"16\" y=\"32\" width=\"16\" "
                       "height=\"16\"/></objectgroup></map>\n");
    std::string err;
    ASSERT_EQ(Run("import '" + P("m.tmx") + "' -o '" + P("m.fmp") + "'", &err), 0) << err;
    EXPECT_NE(err.find("tile objects showing a tile no tileset has (kept, drawn as nothing): \"#1\""),
              std::string::npos)
        << err;
    EXPECT_NE(err.find("tile objects whose tile's image is missing (kept, drawn as nothing): \"lost\""),
              std::string::npos)
        << err;
    const Picture with = Render("m.fmp", 0, 0, 0, "bgt,objects", "64x64"),
                  without = Render("m.fmp", 0, 0, 0, "bgt", "64x64");
    EXPECT_EQ(with.rgba, without.rgba);
    ASSERT_EQ(Run("objects '" + P("m.fmp") + "'"), 0);
    const std::vector<uint8_t> json = Read("stdout");
    EXPECT_NE(std::string(json.begin(), json.end()).find("\"name\": \"lost\""), std::string::npos);
}

TEST_F(TiledObjects, SpriteSheetsKeepTheirColoursOnTheMapsPalette) {
    // A map of two colours; a sheet of 40 colours given with --sprites, and
    // a tileset marked as sprites with a margin and spacing, cut into frames.
    std::vector<uint32_t> two(size_t(32) * 16);
    for (size_t i = 0; i < two.size(); i++) two[i] = (i % 32 < 16 ? 0x203040u : 0x405060u) | 0xFF000000u;
    Write("two.png", TmxEncodePngRgba(32, 16, two.data()));
    std::vector<uint32_t> sheet(size_t(40) * 8);
    for (size_t i = 0; i < sheet.size(); i++) {
        const uint32_t k = static_cast<uint32_t>(i % 40);
        sheet[i] = i % 7 == 0 ? 0 : (0xC08060u + k * 0x010305u) | 0xFF000000u;  // skin tones, see-through dots
    }
    Write("hero.png", TmxEncodePngRgba(40, 8, sheet.data()));
    TileImage("foes.png", 30, 3, 3, 1, 2);
    Write("m.tmx", MapHead(10, 8) +
                       "<tileset firstgid=\"1\" name=\"t\" tilewidth=\"16\" tileheight=\"16\" tilecount=\"2\" "
                       "columns=\"2\"><image source=\"two.png\" width=\"32\" height=\"16\"/></tileset>\n"
                       "<tileset firstgid=\"3\" name=\"foes\" tilewidth=\"16\" tileheight=\"16\" tilecount=\"3\" "
                       "columns=\"3\" margin=\"1\" spacing=\"2\"><properties><property name=\"sprites\" type=\"bool\" "
                       "value=\"true\"/></properties><image source=\"foes.png\"/></tileset>\n" +
                       Layer("a", 10, 8, std::vector<uint32_t>(80, 1), "csv") + "</map>\n");
    std::string err;
    ASSERT_EQ(Run("import '" + P("m.tmx") + "' --sprites '" + P("hero.png") + ":8x8' -o '" + P("m.fmp") + "'", &err), 0)
        << err;
    ASSERT_EQ(lpDD ? DD_OK : DirectDrawCreate(nullptr, &lpDD, nullptr), DD_OK);
    ASSERT_EQ(MapLoad(P("m.fmp").c_str()), 0) << mapreason;
    auto rgb = [](uint8_t index) {
        const PALETTEENTRY& e = mappept[index];
        return uint32_t{e.peRed} | uint32_t{e.peGreen} << 8 | uint32_t{e.peBlue} << 16;
    };
    const MAPSPRITE* hero = MapFindSprite("hero");
    ASSERT_NE(hero, nullptr);
    EXPECT_EQ(hero->frames, 5);
    int wrong = 0;
    for (size_t i = 0; i < sheet.size(); i++) {
        const uint8_t v = hero->pixels[i];
        wrong += sheet[i] ? !v || rgb(v) != (sheet[i] & 0xFFFFFF) : v != 0;
    }
    EXPECT_EQ(wrong, 0);
    const MAPSPRITE* foes = MapFindSprite("foes");
    ASSERT_NE(foes, nullptr);
    ASSERT_EQ(foes->frames, 3);
    MAPSPRITE f;
    ASSERT_EQ(MapSpriteFrame(foes, 2, &f), 0);
    for (int y = 0; y < 16; y++) {
        for (int x = 0; x < 16; x++) wrong += rgb(f.pixels[y * f.pitch + x]) != (TilePixel(32, x, y) & 0xFFFFFF);
    }
    EXPECT_EQ(wrong, 0);
    MapFreeMem();
}

}  // namespace
#endif
