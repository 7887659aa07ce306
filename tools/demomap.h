// The demo's map, written as KVTEST.FMP: a small level of 100 x 100 blocks
// that shows every drawing feature from the demo's start position (488, 536).
#pragma once

#include "mapwriter.h"

// Sky behind see-through blocks (the parallax graphic is the last one),
// opaque ground, foreground plants and fences, and animated water, lamps, a
// firework, a rising flag and a torch, in a palette of its own.
MAPDESC MapWriterDemo();
