// Fuzz target: any bytes as TMX text through the Tiled importer.
#include "fuzz_tiled.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return FuzzTiled(data, size, "fuzz/map.tmx");
}
