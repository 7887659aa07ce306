// Writers for the 8-bit frames the vexil tool renders: binary PGM and indexed PNG.
#pragma once

#include <string>

#include "ddraw.h"

// Writes width x height palette indices (rows `pitch` bytes apart) as a binary
// PGM whose grey values are the indices. False with a reason in `err` on failure.
bool WritePgm(const std::string& path, const unsigned char* pixels, int width, int height, long pitch,
              std::string& err);

// Writes the same pixels as an 8-bit indexed PNG with the 256 palette entries.
bool WritePng(const std::string& path, const unsigned char* pixels, int width, int height, long pitch,
              const PALETTEENTRY* palette, std::string& err);
