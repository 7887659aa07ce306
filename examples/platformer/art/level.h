// The platformer's level: its layout, and the tileset and map files the map
// editor opens.
#pragma once

#include <string>
#include <vector>

#include "art.h"

namespace art {

// Writes tiles.tsx and level.tmx into `dir` (ending in '/'). Returns "" on
// success, otherwise what went wrong.
std::string WriteLevel(const std::string& dir, const Canvas& sheet, const std::vector<TileInfo>& tiles);

}  // namespace art
