// PNG files for the platformer through libpng: indexed pictures in (the
// sprite sheet and the font), RGB pictures out (screenshots).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// An 8-bit indexed picture and its colour map as red, green, blue, alpha.
struct PfPicture {
    int w = 0, h = 0;
    std::vector<uint8_t> px;    // w * h indices, rows top to bottom
    std::vector<uint8_t> rgba;  // 4 bytes per colour map entry
};

// Reads an indexed PNG. "" on success, else why not.
std::string PfReadIndexedPng(const std::string& path, PfPicture& out);
// Writes w x h RGB pixels (3 bytes each, rows `stride` bytes apart).
std::string PfWriteRgbPng(const std::string& path, const uint8_t* rgb, int w, int h, int stride);
