// Map builder: graphics, block structures and animations, each shared by content.
#include "mapbuild.h"

#include <cstring>

namespace {

std::string BlockKey(const BLKSTR& rec) {
    std::string key(sizeof rec, '\0');
    std::memcpy(key.data(), &rec, sizeof rec);
    return key;
}

}  // namespace

int MapBuildAddGraphic(MapBuilder& b, std::string_view pixels) {
    const int n = static_cast<int>(b.m.gfx.size() / pixels.size());
    b.gfx.emplace(std::hash<std::string_view>{}(pixels), n);
    b.m.gfx.insert(b.m.gfx.end(), pixels.begin(), pixels.end());
    return n;
}

int MapBuildFindGraphic(const MapBuilder& b, std::string_view pixels) {
    // Graphics are found by the hash of their pixels, then compared whole;
    // the lowest number of equal ones wins.
    int found = -1;
    const auto [first, last] = b.gfx.equal_range(std::hash<std::string_view>{}(pixels));
    for (auto it = first; it != last; ++it) {
        const size_t at = static_cast<size_t>(it->second) * pixels.size();
        if ((found < 0 || it->second < found) && std::memcmp(b.m.gfx.data() + at, pixels.data(), pixels.size()) == 0) {
            found = it->second;
        }
    }
    return found;
}

int MapBuildGraphic(MapBuilder& b, std::string_view pixels) {
    const int n = MapBuildFindGraphic(b, pixels);
    return n >= 0 ? n : MapBuildAddGraphic(b, pixels);
}

int MapBuildAddBlock(MapBuilder& b, const BLKSTR& rec) {
    const int n = static_cast<int>(b.m.blocks.size());
    b.m.blocks.push_back(rec);
    b.blocks.emplace(BlockKey(rec), n);
    return n;
}

int MapBuildBlock(MapBuilder& b, const BLKSTR& rec) {
    auto it = b.blocks.find(BlockKey(rec));
    return it != b.blocks.end() ? it->second : MapBuildAddBlock(b, rec);
}

int MapBuildStack(MapBuilder& b, int bg, const int fg[3], BLKSTR rec) {
    const int tile = b.m.blockwidth * b.m.blockheight;  // bytes of one graphic
    rec.bgoff = bg * tile;
    rec.fgoff = fg[0] < 0 ? 0 : fg[0] * tile;
    rec.fgoff2 = fg[1] < 0 ? 0 : fg[1] * tile;
    rec.fgoff3 = fg[2] < 0 ? 0 : fg[2] * tile;
    return MapBuildBlock(b, rec);
}

int MapBuildAnim(MapBuilder& b, signed char antype, signed char andelay, const std::vector<int>& frames) {
    std::string key = {static_cast<char>(antype), static_cast<char>(andelay)};
    key.append(reinterpret_cast<const char*>(frames.data()), frames.size() * sizeof(int));
    auto it = b.anims.find(key);
    if (it != b.anims.end()) return it->second;
    MAPANIMDESC a;
    a.antype = antype;
    a.andelay = andelay;
    a.ancount = andelay;
    a.start = a.cur = static_cast<int>(b.m.frames.size());
    for (int blk : frames) b.m.frames.push_back(blk * 32);
    a.end = static_cast<int>(b.m.frames.size());
    const int n = static_cast<int>(b.m.anims.size());
    b.m.anims.push_back(a);
    b.anims.emplace(std::move(key), n);
    return n;
}
