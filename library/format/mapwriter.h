// Map writer helpers for the tests, the demo map and the fuzz seeds: maps are
// described by MAPDESC and serialized by the format layer (mapformat.h); these
// add chunk lists to edit, files and a sample map.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "mapformat.h"

// The names code written before the format layer uses for a description and
// its image.
using MapWriterMap = MAPDESC;
inline std::vector<uint8_t> MapWriterImage(const MAPDESC& m) { return MapSerialize(m); }

// The data of a layer chunk holding these cells.
std::vector<uint8_t> MapWriterLayer(const std::vector<int16_t>& cells);

// Finds the first chunk with that id; null when absent.
MAPCHUNK* MapWriterFind(std::vector<MAPCHUNK>& chunks, const std::string& id);

bool MapWriterSave(const std::string& path, const std::vector<uint8_t>& image);

// A small valid map for tests: w x h cells, `ngfx` graphics whose pixels are
// (graphic * 7 + x + 3 * y) & 0xFF (graphic 0 of index 0 is transparent
// nowhere else), one block per graphic with bgoff = graphic, three looping
// animations over the blocks, a grey-ramp palette; cells cycle through
// blocks and animations.
MAPDESC MapWriterSample(int w, int h, int ngfx = 4);
