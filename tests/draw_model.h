// The per-pixel model of what the drawing routines paint, worked out from a
// map description alone, for any view and block size: the drawing tests and
// the tool tests compare frames against it.
#pragma once

#include <cstdint>
#include <functional>

#include "mapwriter.h"

enum ModelLayer { kModelPara, kModelBG, kModelBGT, kModelFG0, kModelFG1, kModelFG2 };

struct ModelView {
    const MAPDESC& map;
    std::function<int(int16_t)> blockOf;  // the block a cell value shows now
    int xo, yo;                           // map pixel at the view's top-left, inside the map
    int w, h;                             // view size in pixels
    int cells = 0;                        // the layer drawing reads: 0 BODY, 1..7 LYR1..LYR7
};

// Paints what `layer` draws in the view onto out (w x h pixels, rows `pitch`
// bytes apart), leaving the pixels it does not draw as they are.
void ModelDraw(const ModelView& v, ModelLayer layer, uint8_t* out, int pitch);
