// Fuzz target: any bytes as Tiled's JSON map format through the importer.
#include "fuzz_tiled.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return FuzzTiled(data, size, "fuzz/map.tmj");
}
