// The Tiled importer's fuzz targets share this: any bytes as a map's text
// (TMX or JSON, by the name it is given) through the importer, with small
// limits and its tilesets and images served from memory (t.tsx, t.tsj,
// t.png, big.png, p.png; nothing else exists). A rejected map needs a
// reason; an accepted one must load, when the library can draw its block
// size and graphics.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "fuzz_common.h"
#include "mapformat.h"
#include "tmxinternal.h"
#include "vexildx.h"

namespace {

std::map<std::string, std::vector<uint8_t>> MakeFiles() {
    std::map<std::string, std::vector<uint8_t>> files;
    // Eight 16 x 16 tiles, some partly see-through.
    std::vector<uint32_t> rgba(64 * 32);
    for (int i = 0; i < 64 * 32; i++) {
        const int x = i % 64, y = i / 64, t = x / 16 + 4 * (y / 16);
        const uint32_t a = t % 4 == 3 ? static_cast<uint32_t>((x * 16) & 255) : 255;
        rgba[i] = static_cast<uint32_t>(t * 30 + x) | static_cast<uint32_t>(y * 7) << 8 |
                  static_cast<uint32_t>(t * 50) << 16 | a << 24;
    }
    files["fuzz/t.png"] = TmxEncodePngRgba(64, 32, rgba.data());
    std::vector<uint8_t> cmap(768), index(256);
    for (int i = 0; i < 768; i++) cmap[i] = static_cast<uint8_t>(i * 5);
    for (int i = 0; i < 256; i++) index[i] = static_cast<uint8_t>(i % 7);
    files["fuzz/p.png"] = TmxEncodePng(16, 16, index.data(), cmap.data(), true);
    const std::string tsx =
        "<tileset name=\"t\" tilewidth=\"16\" tileheight=\"16\" tilecount=\"8\" columns=\"4\">"
        "<properties><property name=\"x\" value=\"1\"/></properties><image source=\"t.png\" width=\"64\" "
        "height=\"32\"/>"
        "<tile id=\"1\"><properties><property name=\"user1\" type=\"int\" value=\"5\"/><property name=\"trigger\" "
        "type=\"bool\" value=\"true\"/></properties>"
        "<objectgroup><object x=\"0\" y=\"0\" width=\"8\" height=\"8\"/><object x=\"9\" y=\"2\"><polygon points=\"0,0 "
        "4,4 0,6\"/></object></objectgroup></tile>"
        "<tile id=\"2\"><animation><frame tileid=\"2\" duration=\"100\"/><frame tileid=\"5\" "
        "duration=\"50\"/></animation></tile></tileset>";
    files["fuzz/t.tsx"] = std::vector<uint8_t>(tsx.begin(), tsx.end());
    const std::string tsj =
        "{\"name\":\"t\",\"tilewidth\":16,\"tileheight\":16,\"tilecount\":8,\"columns\":4,\"image\":\"t.png\","
        "\"properties\":[{\"name\":\"x\",\"type\":\"int\",\"value\":1}],\"tileoffset\":{\"x\":2,\"y\":-3},"
        "\"tiles\":[{\"id\":1,\"properties\":[{\"name\":\"user1\",\"type\":\"int\",\"value\":5}],"
        "\"objectgroup\":{\"objects\":[{\"x\":0,\"y\":0,\"width\":8,\"height\":8}]}},{\"id\":2,\"animation\":"
        "[{\"tileid\":2,\"duration\":100},{\"tileid\":5,\"duration\":50}]}]}";
    files["fuzz/t.tsj"] = std::vector<uint8_t>(tsj.begin(), tsj.end());
    // Object templates: a tile object in TX, a shape in Tiled's JSON form.
    const std::string tx =
        "<template><tileset firstgid=\"1\" source=\"t.tsx\"/><object name=\"coin\" type=\"pickup\" gid=\"3\" "
        "width=\"16\" height=\"16\"><properties><property name=\"value\" type=\"int\" value=\"5\"/></properties>"
        "</object></template>";
    files["fuzz/coin.tx"] = std::vector<uint8_t>(tx.begin(), tx.end());
    const std::string tj =
        "{\"type\":\"template\",\"object\":{\"name\":\"zone\",\"width\":40,\"height\":20,\"visible\":false,"
        "\"ellipse\":true,\"properties\":[{\"name\":\"on\",\"type\":\"bool\",\"value\":true}]}}";
    files["fuzz/zone.tj"] = std::vector<uint8_t>(tj.begin(), tj.end());
    // Two tiles of 32 x 48, bigger than the grid.
    std::vector<uint32_t> big(64 * 48);
    for (int i = 0; i < 64 * 48; i++) big[i] = static_cast<uint32_t>(i * 2654435761u) | (i % 5 ? 0xFF000000u : 0);
    files["fuzz/big.png"] = TmxEncodePngRgba(64, 48, big.data());
    return files;
}

}  // namespace

// Imports the map text `data` named `path` (fuzz/map.tmx or fuzz/map.tmj).
inline int FuzzTiled(const uint8_t* data, size_t size, const char* path) {
    static const std::map<std::string, std::vector<uint8_t>> files = MakeFiles();
    FuzzSetUp();
    TmxImportOptions options;
    options.limits.maxcells = 1 << 12;
    options.limits.maxlayercells = 1 << 14;
    options.limits.maxpixels = 1 << 16;
    options.limits.maxfile = 1 << 20;
    options.limits.maxsteps = 1 << 12;
    options.limits.maxframes = 1 << 14;
    options.read = [](const std::string& path, std::vector<uint8_t>& out, std::string& why) {
        auto it = files.find(path);
        if (it == files.end()) {
            why = "cannot open: no such file";
            return false;
        }
        out = it->second;
        return true;
    };
    std::vector<uint8_t> image;
    TmxError err;
    std::vector<std::string> warnings;
    options.warnings = &warnings;
    if (!TmxImportMemory(reinterpret_cast<const char*>(data), size, path, image, err, options)) {
        if (err.reason.empty() || err.file.empty())
            FuzzFail("import rejected a map without naming the file and the reason");
        if (!image.empty()) FuzzFail("import failed but left an image");
        return 0;
    }
    MAPDESC desc;
    MAPREASON why;
    if (MapParse(image.data(), image.size(), &desc, &why) != 0)
        FuzzFail("an imported map does not parse: %s", why.text);
    if (desc.blockwidth == 16 && desc.blockheight == 16 && desc.numblockgfx() <= 255) {
        if (MapDecode(image.data(), image.size()) != 0) FuzzFail("an imported map does not load: %s", mapreason);
        FuzzExercise(data, size);
    }
    FuzzFinish();
    return 0;
}
