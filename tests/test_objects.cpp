// Objects, properties and sprites in the map file and the library: the
// chunks through both loaders, old readers skipping them, broken chunks
// refused with a reason, the lookups and typed properties, and the sprite
// routine against a pixel-by-pixel model.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "mapparse.h"
#include "mapwriter.h"
#include "test_support.h"

namespace {

MAPPROP Prop(const char* name, const char* type, const char* value) { return {name, type, value}; }

MAPOBJDESC Obj(int id, const char* name, const char* type, int shape) {
    MAPOBJDESC o;
    o.id = id;
    o.name = name;
    o.type = type;
    o.shape = shape;
    o.x = 10.5 * id, o.y = 20, o.width = 16, o.height = 8;
    return o;
}

// The sample map with the map's properties, a group holding an object
// layer, a layer of every shape, a 4-frame sheet and a tile image.
MAPDESC WithObjects() {
    MAPDESC m = MapWriterSample(30, 20, 4);
    m.props = {Prop("dark", "bool", "true"), Prop("gravity", "float", "9.5"), Prop("lives", "int", "3"),
               Prop("music", "file", "sub/song.ogg"), Prop("title", "string", "Cave & Co")};
    MAPOBJLAYERDESC group;
    group.group = true;
    group.id = 2;
    group.name = "things";
    group.offsetx = 5;
    group.props = {Prop("g", "int", "-7")};
    MAPOBJLAYERDESC spawns;
    spawns.id = 3;
    spawns.name = "spawns";
    spawns.parent = 0;
    spawns.offsety = -2;
    spawns.objects = {Obj(1, "door", "warp", MAPSHAPE_RECTANGLE), Obj(2, "", "spawn", MAPSHAPE_POINT),
                      Obj(3, "door", "", MAPSHAPE_ELLIPSE)};
    spawns.objects[0].props = {Prop("boss", "object", "2"), Prop("to", "string", "hall")};
    MAPOBJLAYERDESC shapes;
    shapes.id = 4;
    shapes.name = "shapes";
    shapes.visible = false;
    shapes.objects = {Obj(5, "line", "path", MAPSHAPE_POLYLINE), Obj(6, "area", "", MAPSHAPE_POLYGON),
                      Obj(7, "sign", "", MAPSHAPE_TEXT), Obj(8, "coin", "pickup", MAPSHAPE_TILE)};
    shapes.objects[0].points = {0, 0, 10.5, 5, -3, 8};
    shapes.objects[1].points = {0, 0, 4, 0, 4, 4};
    shapes.objects[2].text = "Hello";
    shapes.objects[2].textstyle = {Prop("pixelsize", "int", "12"), Prop("wrap", "bool", "true")};
    shapes.objects[3].sprite = 1;
    shapes.objects[3].gid = 0x80000000u;
    m.objlayers = {group, spawns, shapes};
    MAPSPRITEDESC sheet{"hero", false, 8, 4, 4, 2, 0, 0, {}};
    for (int i = 0; i < 32; i++) sheet.pixels.push_back(static_cast<uint8_t>(i % 5));
    MAPSPRITEDESC tile{"items/3", true, 2, 2, 2, 2, 0, 2, {1, 2, 3, 0}};
    m.sprites = {sheet, tile};
    return m;
}

class ObjectsTest : public MapFixture {
protected:
    void SetUp() override {
        MapFixture::SetUp();
        image = MapSerialize(WithObjects());
    }
    std::vector<uint8_t> image;
};

TEST_F(ObjectsTest, TheSameObjectsFromFileAndMemoryAndOldReadersSkipThem) {
    MAPDESC back;
    MAPREASON why;
    ASSERT_EQ(MapParse(image.data(), image.size(), &back, &why), 0) << why.text;
    EXPECT_EQ(MapSerialize(back), image);
    // A map without objects has neither chunk, as before.
    const std::vector<MAPCHUNK> plain = MapSerializeChunks(MapWriterSample(30, 20, 4));
    for (const MAPCHUNK& c : plain) EXPECT_TRUE(c.id != "OBJS" && c.id != "SPRT");

    const std::string path = ::testing::TempDir() + "vexil_objects.fmp";
    ASSERT_TRUE(MapWriterSave(path, image));
    for (int how = 0; how < 2; how++) {
        SCOPED_TRACE(how ? "memory" : "file");
        ASSERT_EQ(how ? MapDecode(image.data(), image.size()) : MapLoad(path.c_str()), 0) << mapreason;
        ASSERT_EQ(mapnumobjlayers, 3);
        ASSERT_EQ(mapnumobjects, 7);
        EXPECT_EQ(mapobjlayers[1].parent, &mapobjlayers[0]);
        EXPECT_EQ(mapobjlayers[1].objects, mapobjects);
        EXPECT_EQ(mapobjlayers[2].objects, mapobjects + 3);
        EXPECT_STREQ(MapFindObjectLayer("shapes")->name, "shapes");
        // Every object of a name or a class, in order.
        const MAPOBJECT* d1 = MapFindObject("door", nullptr);
        const MAPOBJECT* d2 = MapFindObject("door", d1);
        ASSERT_TRUE(d1 && d2);
        EXPECT_EQ(d1->id, 1);
        EXPECT_EQ(d2->id, 3);
        EXPECT_EQ(MapFindObject("door", d2), nullptr);
        EXPECT_EQ(MapFindObjectOfType("pickup", nullptr)->id, 8);
        EXPECT_EQ(MapGetObject(6)->shape, MAPSHAPE_POLYGON);
        EXPECT_EQ(MapGetObject(99), nullptr);
        const MAPOBJECT* line = MapGetObject(5);
        ASSERT_EQ(line->numpoints, 3);
        EXPECT_EQ(line->points[2], 10.5);
        EXPECT_EQ(line->layer, &mapobjlayers[2]);
        EXPECT_STREQ(MapGetObject(7)->text, "Hello");
        EXPECT_EQ(MapGetIntProperty(&MapGetObject(7)->textstyle, "pixelsize", 16), 12);
        // Typed properties, and the default where the type gives none.
        EXPECT_EQ(MapGetBoolProperty(nullptr, "dark", 0), 1);
        EXPECT_EQ(MapGetFloatProperty(nullptr, "gravity", 0), 9.5);
        EXPECT_EQ(MapGetIntProperty(nullptr, "gravity", 0), 9);
        EXPECT_EQ(MapGetFloatProperty(nullptr, "lives", 0), 3);
        EXPECT_EQ(MapGetIntProperty(nullptr, "title", -1), -1);
        EXPECT_STREQ(MapGetStringProperty(nullptr, "music", ""), "sub/song.ogg");
        EXPECT_STREQ(MapGetProperty(nullptr, "music")->type, "file");
        EXPECT_EQ(MapGetProperty(nullptr, "missing"), nullptr);
        EXPECT_EQ(MapGetIntProperty(&mapobjlayers[0].props, "g", 0), -7);
        EXPECT_EQ(MapGetObject(MapGetIntProperty(&d1->props, "boss", 0))->id, 2);
        // Sprites: the sheet by name and its frames; the tile object's image.
        const MAPSPRITE* hero = MapFindSprite("hero");
        ASSERT_NE(hero, nullptr);
        EXPECT_EQ(hero->frames, 4);
        MAPSPRITE f;
        ASSERT_EQ(MapSpriteFrame(hero, 3, &f), 0);
        EXPECT_EQ(f.pixels, hero->pixels + 2 * 8 + 4);  // row 1 of frames, column 1
        EXPECT_EQ(f.pitch, 8);
        EXPECT_EQ(MapSpriteFrame(hero, 4, &f), -1);
        const MAPOBJECT* coin = MapGetObject(8);
        EXPECT_EQ(coin->sprite, MapFindSprite("items/3"));
        EXPECT_EQ(coin->flips, MAPSPRITE_FLIPX);
        ASSERT_EQ(MapGraphicSprite(2, &f), 0);
        EXPECT_EQ(f.pixels, reinterpret_cast<unsigned char*>(mapblockgfxpt) + 2 * 256);
        EXPECT_EQ(MapGraphicSprite(4, &f), -1);
    }
    MapFreeMem();
    EXPECT_EQ(mapnumobjects, 0);
    EXPECT_EQ(mapnumsprites, 0);
    EXPECT_EQ(MapFindObject("door", nullptr), nullptr);
    EXPECT_EQ(mapproperties.count, 0);

    // Properties a file keeps out of order are found all the same.
    MAPDESC shuffled = WithObjects();
    std::reverse(shuffled.props.begin(), shuffled.props.end());
    const std::vector<uint8_t> img = MapSerialize(shuffled);
    ASSERT_EQ(MapDecode(img.data(), img.size()), 0) << mapreason;
    for (const MAPPROP& p : shuffled.props) EXPECT_NE(MapGetProperty(nullptr, p.name.c_str()), nullptr) << p.name;

    // A reader that does not know the chunks walks past them as it walks
    // past any unknown chunk: renamed, the map loads and draws the same.
    std::vector<uint8_t> renamed = image;
    for (const char* id : {"OBJS", "SPRT"}) {
        const auto at = std::search(renamed.begin(), renamed.end(), id, id + 4);
        ASSERT_NE(at, renamed.end());
        at[3] = 'X';
    }
    ASSERT_EQ(MapDecode(renamed.data(), renamed.size()), 0) << mapreason;
    EXPECT_EQ(mapnumobjects, 0);
    EXPECT_EQ(mapnumblockstr, 4);
    std::remove(path.c_str());
}

// The OBJS or SPRT chunk's data, changed by `edit`, in place of the good one.
std::vector<uint8_t> WithChunk(const MAPDESC& m, const char* id, const std::vector<uint8_t>& data) {
    std::vector<MAPCHUNK> chunks = MapSerializeChunks(m);
    MapWriterFind(chunks, id)->data = data;
    return MapSerialize(chunks);
}

void Le32(std::vector<uint8_t>& v, size_t at, uint32_t x) {
    for (int i = 0; i < 4; i++) v[at + i] = static_cast<uint8_t>(x >> (8 * i));
}

TEST_F(ObjectsTest, BrokenChunksAreRefusedWithTheirReason) {
    const MAPDESC good = WithObjects();
    const std::vector<uint8_t> objs = MapSerializeObjects(good), sprt = MapSerializeSprites(good);
    struct Case {
        const char* what;
        const char* id;
        std::vector<uint8_t> data;
        const char* reason;
    };
    std::vector<Case> cases;
    auto edit = [&](const char* what, const char* id, auto change, const char* reason) {
        std::vector<uint8_t> d = std::string(id) == "OBJS" ? objs : sprt;
        change(d);
        cases.push_back({what, id, d, reason});
    };
    edit(
        "cut short", "OBJS", [](auto& d) { d.erase(d.end() - 3, d.end()); }, "cut short");
    edit(
        "bytes past the end", "OBJS", [](auto& d) { d.push_back(0); }, "1 bytes past its objects");
    edit(
        "another version", "OBJS", [](auto& d) { d[0] = 2; }, "version is not 1");
    edit(
        "too many map properties", "OBJS", [](auto& d) { Le32(d, 4, 5000); }, "5000 properties, at most 4096");
    // The first property's name: "dark", 4 bytes at offset 12.
    edit(
        "a name too long", "OBJS", [](auto& d) { Le32(d, 8, 70000); }, "of 70000 bytes, at most 65536");
    edit(
        "a NUL in a name", "OBJS", [](auto& d) { d[13] = 0; }, "NUL");
    edit(
        "no such property type", "OBJS", [](auto& d) { d[16] = 9; }, "no type");
    edit(
        "a bool that is not one", "OBJS", [](auto& d) { d[21] = 'x'; }, "does not fit its type");
    cases.push_back({"too many sprites", "SPRT", {0x01, 0x20, 0, 0}, "8193 sprite images, at most 4096"});
    edit(
        "a frame larger than its sheet", "SPRT", [](auto& d) { d[4 + 4 + 4 + 1 + 4] = 9; }, "do not fit");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::vector<uint8_t> img = WithChunk(good, c.id, c.data);
        EXPECT_EQ(MapDecode(img.data(), img.size()), -1);
        EXPECT_EQ(maperror, MER_MAPLOADERROR);
        EXPECT_NE(std::string(mapreason).find(c.reason), std::string::npos) << mapreason;
    }
    // Whole-map checks: a tile object showing an image the map lacks, a
    // layer in a group that is no group, points on a rectangle.
    MAPDESC m = good;
    m.objlayers[2].objects[3].sprite = 2;
    std::vector<uint8_t> img = MapSerialize(m);
    EXPECT_EQ(MapDecode(img.data(), img.size()), -1);
    EXPECT_NE(std::string(mapreason).find("object 8 shows sprite image 2 of 2"), std::string::npos) << mapreason;
    m = good;
    m.objlayers[2].parent = 1;
    img = MapSerialize(m);
    EXPECT_EQ(MapDecode(img.data(), img.size()), -1);
    EXPECT_NE(std::string(mapreason).find("in no group"), std::string::npos) << mapreason;
    m = good;
    m.objlayers[1].objects[0].points = {1, 2};
    img = MapSerialize(m);
    EXPECT_EQ(MapDecode(img.data(), img.size()), -1);
    EXPECT_NE(std::string(mapreason).find("points do not fit its shape"), std::string::npos) << mapreason;
    // A template instance comes back as it went; OTPL may name only the
    // objects and properties there are.
    m = good;
    MAPOBJDESC& o = m.objlayers[2].objects[3];
    o.templ = "tpl/coin.tx";
    o.own = MAPOWN_NAME | MAPOWN_TILE;
    o.props = {{"a", "int", "1"}, {"b", "string", "x"}};
    o.ownprops = {1};
    img = MapSerialize(m);
    MAPDESC back;
    MAPREASON why;
    ASSERT_EQ(MapParse(img.data(), img.size(), &back, &why), 0) << why.text;
    const MAPOBJDESC& b = back.objlayers[2].objects[3];
    EXPECT_TRUE(b.templ == o.templ && b.own == o.own && b.ownprops == o.ownprops);
    o.ownprops = {1, 1};
    img = MapSerialize(m);
    EXPECT_EQ(MapDecode(img.data(), img.size()), -1);
    EXPECT_NE(std::string(mapreason).find("own properties are not its own"), std::string::npos) << mapreason;
    o.ownprops = {};
    std::vector<uint8_t> otpl = MapSerializeTemplates(m);
    otpl[4] = 9;  // layer 9
    img = WithChunk(m, "OTPL", otpl);
    EXPECT_EQ(MapDecode(img.data(), img.size()), -1);
    EXPECT_NE(std::string(mapreason).find("chunk OTPL: instance 0 names no object"), std::string::npos) << mapreason;
}

// The sprite routine against a model: every pixel of a surface larger than
// the view, with the view away from its corner, for sprites of odd sizes
// and pitches at places in, across and outside the view's edges, each way
// flipped, with and without a map to clamp the scroll position.
TEST_F(ObjectsTest, SpritesDrawKeyedFlippedAndClippedAsTheModelDrawsThem) {
    LPDIRECTDRAWSURFACE s = nullptr;
    ASSERT_EQ(DDCreatePlainSurface(lpDD, 120, 90, &s), DD_OK);
    ASSERT_EQ(MapSetView(7, 5, 100, 70), 0);
    std::mt19937 rng(7);
    for (int round = 0; round < 400; round++) {
        const bool map = round % 2;
        if (map) {
            ASSERT_EQ(MapDecode(image.data(), image.size()), 0) << mapreason;  // 480 x 320 pixels
        } else {
            MapFreeMem();
        }
        const int w = 1 + rng() % 40, h = 1 + rng() % 30, pitch = w + rng() % 5;
        std::vector<uint8_t> px(size_t(pitch) * h);
        for (uint8_t& p : px) p = rng() % 3 ? static_cast<uint8_t>(rng()) : 0;
        const MAPSPRITE sp{"", w, h, w, h, 1, 0, 0, pitch, px.data()};
        const int mapxo = static_cast<int>(rng() % 500) - 10, mapyo = static_cast<int>(rng() % 300) - 10;
        const int cx = map ? std::clamp(mapxo, 0, 480 - 100) : mapxo, cy = map ? std::clamp(mapyo, 0, 320 - 70) : mapyo;
        const int x = cx + static_cast<int>(rng() % 160) - 50, y = cy + static_cast<int>(rng() % 130) - 40;
        const int flags = rng() % 4;
        std::vector<uint8_t> want(s->pixels, s->pixels + s->pitch * 90);
        for (int r = 0; r < h; r++) {
            for (int c = 0; c < w; c++) {
                const int sx = flags & MAPSPRITE_FLIPX ? w - 1 - c : c, sy = flags & MAPSPRITE_FLIPY ? h - 1 - r : r;
                const uint8_t v = px[size_t(sy) * pitch + sx];
                const int dx = 7 + x - cx + c, dy = 5 + y - cy + r;
                if (v && dx >= 7 && dx < 107 && dy >= 5 && dy < 75) want[size_t(dy) * s->pitch + dx] = v;
            }
        }
        ASSERT_EQ(MapDrawSprite(s, mapxo, mapyo, &sp, x, y, flags), 0);
        ASSERT_TRUE(std::equal(want.begin(), want.end(), s->pixels))
            << "round " << round << ": " << w << " x " << h << " at " << x << ", " << y << " flags " << flags;
    }
    // Refused: no surface, a locked one, a view past its edge, a bad sprite
    // or flag; nothing drawn.
    uint8_t one = 5;
    const MAPSPRITE dot{"", 1, 1, 1, 1, 1, 0, 0, 1, &one};
    EXPECT_EQ(MapDrawSprite(nullptr, 0, 0, &dot, 0, 0, 0), -1);
    EXPECT_EQ(MapDrawSprite(s, 0, 0, &dot, 0, 0, MAPSPRITE_FLIPD), -1);
    const MAPSPRITE narrow{"", 4, 1, 4, 1, 1, 0, 0, 3, &one};
    EXPECT_EQ(MapDrawSprite(s, 0, 0, &narrow, 0, 0, 0), -1);
    DDSURFACEDESC d{};
    d.dwSize = sizeof d;
    ASSERT_EQ(s->Lock(nullptr, &d, 0, nullptr), DD_OK);
    EXPECT_EQ(MapDrawSprite(s, 0, 0, &dot, 0, 0, 0), -1);
    s->Unlock(nullptr);
    ASSERT_EQ(MapSetView(30, 30, 100, 70), 0);
    EXPECT_EQ(MapDrawSprite(s, 0, 0, &dot, 0, 0, 0), -1);
    MapSetView(0, 0, 640, 480);
    s->Release();
}

TEST_F(ObjectsTest, TileObjectsDrawInTiledsOrderAtTheirPlace) {
    // Two 2 x 2 images overlapping, each its own colour: drawn by y (the
    // lower one last) in a top-down layer, in their order in an index-order
    // one; hidden, rotated and resized ones not at all.
    MAPDESC m = MapWriterSample(30, 20, 4);
    m.sprites = {{"a/0", true, 2, 2, 2, 2, 0, 2, {1, 1, 1, 1}}, {"a/1", true, 2, 2, 2, 2, 0, 2, {2, 2, 2, 2}}};
    MAPOBJLAYERDESC l;
    l.offsetx = 3;
    auto tile = [](int id, double x, double y, int sprite) {
        MAPOBJDESC o = Obj(id, "", "", MAPSHAPE_TILE);
        o.x = x, o.y = y, o.width = 2, o.height = 2, o.sprite = sprite;
        return o;
    };
    l.objects = {tile(1, 10, 21, 1), tile(2, 11, 20, 0), tile(3, 40, 40, 0), tile(4, 50, 50, 0), tile(5, 60, 60, 0)};
    l.objects[2].visible = false;
    l.objects[3].rotation = 90;
    l.objects[4].width = 4;
    m.objlayers = {l};
    LPDIRECTDRAWSURFACE s = nullptr;
    ASSERT_EQ(DDCreatePlainSurface(lpDD, 100, 80, &s), DD_OK);
    ASSERT_EQ(MapSetView(0, 0, 100, 80), 0);
    for (bool index : {false, true}) {
        m.objlayers[0].indexorder = index;
        const std::vector<uint8_t> img = MapSerialize(m);
        ASSERT_EQ(MapDecode(img.data(), img.size()), 0) << mapreason;
        std::memset(s->pixels, 0, size_t(s->pitch) * 80);
        ASSERT_EQ(MapDrawTileObjects(s, 0, 0), 0);
        // Object 1's image covers (13..14, 19..20), object 2's (14..15, 18..19).
        EXPECT_EQ(s->pixels[19 * s->pitch + 14], index ? 1 : 2);
        EXPECT_EQ(s->pixels[20 * s->pitch + 13], 2);
        EXPECT_EQ(s->pixels[18 * s->pitch + 15], 1);
        int drawn = 0;
        for (int i = 0; i < s->pitch * 80; i++) drawn += s->pixels[i] != 0;
        EXPECT_EQ(drawn, 7);
    }
    MapSetView(0, 0, 640, 480);
    s->Release();
}

}  // namespace
