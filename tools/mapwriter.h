// Map writer: builds map file images in memory, chunk by chunk, for the
// tests, the demo map and the fuzz seeds.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "vexildx.h"

// One chunk: a four-character id (any bytes) and its data, written as is.
struct MapChunk {
    std::string id;
    std::vector<uint8_t> data;
};

// An animation with its frames given as indices into the frame list.
struct MapWriterAnim {
    signed char antype = ANTYPE_LOOP_FWD;
    signed char andelay = 0;
    signed char ancount = 0;
    signed char anuser = 0;
    int start = 0;  // first frame entry
    int end = 0;    // one past the last frame entry
    int cur = 0;    // current frame entry as stored
};

// A whole map described by its parts. Layers: index 0 is BODY, 1..7 are
// LYR1..LYR7; an empty layer is not written.
struct MapWriterMap {
    int width = 0, height = 0;
    int blockwidth = 16, blockheight = 16, depth = 8;
    int blockstrsize = 32;
    std::vector<uint8_t> cmap;           // 768 bytes: RGB triples
    std::vector<BLKSTR> blocks;
    std::vector<uint8_t> gfx;            // block graphics back to back
    std::vector<int32_t> frames;         // frame list: BKDT byte offsets
    std::vector<MapWriterAnim> anims;    // animation 0 first
    std::vector<int16_t> layers[8];
    int numblockgfx() const;             // gfx size / tile size
};

// Little-endian helpers for building chunk data.
void MapWriterPut16(std::vector<uint8_t>& out, int v);
void MapWriterPut32(std::vector<uint8_t>& out, uint32_t v);

std::vector<uint8_t> MapWriterMPHD(const MapWriterMap& m);
std::vector<uint8_t> MapWriterBKDT(const MapWriterMap& m);
std::vector<uint8_t> MapWriterANDT(const MapWriterMap& m);
std::vector<uint8_t> MapWriterLayer(const std::vector<int16_t>& cells);

// The chunks of a map in the usual order: MPHD, CMAP, BKDT, ANDT (when the
// map has frames or animations), BGFX, BODY, LYR1..LYR7 (those present).
std::vector<MapChunk> MapWriterChunks(const MapWriterMap& m);

// A complete file image: "FORM", size, "FMAP", then the chunks in order.
std::vector<uint8_t> MapWriterImage(const std::vector<MapChunk>& chunks);
std::vector<uint8_t> MapWriterImage(const MapWriterMap& m);

// Finds the first chunk with that id; null when absent.
MapChunk* MapWriterFind(std::vector<MapChunk>& chunks, const std::string& id);

bool MapWriterSave(const std::string& path, const std::vector<uint8_t>& image);

// A small valid map for tests: w x h cells, `ngfx` graphics whose pixels are
// (graphic * 7 + x + 3 * y) & 0xFF (graphic 0 of index 0 is transparent
// nowhere else), one block per graphic with bgoff = graphic, three looping
// animations over the blocks, a grey-ramp palette; cells cycle through
// blocks and animations.
MapWriterMap MapWriterSample(int w, int h, int ngfx = 4);
