// The presenter's conversion loops one by one, for the tests and the benchmark
// that check each against the plain loop; users call VxPresentConvert.
#pragma once

#include "vxpresent.h"

enum VxConvertPath {
    VXCONV_PLAIN,   // one pixel at a time
    VXCONV_WORD,    // 8 indices per 64-bit load, two pixels per 64-bit store
    VXCONV_AVX512,  // 64 pixels by byte permutes over the table split into byte planes
    VXCONV_COUNT
};

// The path's name, and whether this processor runs it.
const char* VxConvertName(VxConvertPath path);
bool VxConvertAvailable(VxConvertPath path);
// The path VxPresentConvert takes here.
VxConvertPath VxConvertBest();
// VxPresentConvert through one path; an unavailable path falls back to the plain loop.
void VxConvertWith(VxConvertPath path, const uint8_t* src, LONG srcPitch, uint32_t* dst, LONG dstPitch, int width,
                   int height, const uint32_t table[256]);
