// Map builder: assembles a map description from tile pictures, sharing equal
// graphics, block structures and animations. Used by the demo map and the
// Tiled converter.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "mapwriter.h"

// The map under construction and the indexes that find what it already has.
// Numbers are given in order of first use, so the same calls always give the
// same map. Records may also be appended to `m` directly; the indexes then
// simply do not find them.
struct MapBuilder {
    MAPDESC m;                                    // set width, height, block size and cmap before use
    std::unordered_multimap<uint64_t, int> gfx;   // hash of a graphic's pixels -> graphic numbers
    std::unordered_map<std::string, int> blocks;  // 32 record bytes -> block number
    std::unordered_map<std::string, int> anims;   // type, delay, frames -> animation number
};

// The number of the graphic with these pixels (blockwidth x blockheight
// bytes), added at the end when it is new.
int MapBuildGraphic(MapBuilder& b, std::string_view pixels);
// The number of the first graphic with these pixels; -1 when there is none.
int MapBuildFindGraphic(const MapBuilder& b, std::string_view pixels);

// The number of the block structure equal to `rec` in all 32 bytes; its
// graphic offsets are byte offsets into the graphics, as stored.
int MapBuildBlock(MapBuilder& b, const BLKSTR& rec);

// Append a graphic or block structure under the next number even when an
// equal one is there (the index keeps finding the first), for maps whose
// numbers must stay as they are; the number it got.
int MapBuildAddGraphic(MapBuilder& b, std::string_view pixels);
int MapBuildAddBlock(MapBuilder& b, const BLKSTR& rec);

// The block showing graphic `bg` with foreground graphics `fg[0..2]`
// (-1 = none) and the given flag byte and user fields of `rec`.
int MapBuildStack(MapBuilder& b, int bg, const int fg[3], BLKSTR rec);

// The number of the animation of this type and delay over these block
// numbers (at least one), starting on its first entry. A new animation
// appends its frame entries to the frame list.
int MapBuildAnim(MapBuilder& b, signed char antype, signed char andelay, const std::vector<int>& frames);
