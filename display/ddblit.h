// Row blitters of the display layer, shared by BltFast, the run blits and
// the tests that compare the vector paths against the plain one.
#pragma once

#include <cstdint>

#include "ddrun.h"

// Every blitter copies a w x h block (w, h > 0) from src to dst, rows pitch
// bytes apart, and touches no byte outside the two blocks. The regions must
// not overlap. Keyed variants leave dst alone where the source byte is `key`.
void DDBlitOpaque(uint8_t* dst, int32_t dstPitch, const uint8_t* src, int32_t srcPitch, int w, int h);
// The fastest keyed blitter for this machine (SSE2 where available, else
// DDBlitKeyedSwar).
void DDBlitKeyedFast(uint8_t* dst, int32_t dstPitch, const uint8_t* src, int32_t srcPitch, int w, int h, uint8_t key);
// Eight pixels at a time in a 64-bit integer; runs on any machine.
void DDBlitKeyedSwar(uint8_t* dst, int32_t dstPitch, const uint8_t* src, int32_t srcPitch, int w, int h, uint8_t key);
// One pixel at a time: the reference the others must match.
void DDBlitKeyedPortable(uint8_t* dst, int32_t dstPitch, const uint8_t* src, int32_t srcPitch, int w, int h,
                         uint8_t key);

// DDBltRun's work when no blit log is set: a blit that fails a check goes to
// BltFast, which reports it.
void DDBlitRun(IDirectDrawSurface* dest, DWORD y, const RECT& rect, const DDRunBlit* run, int n);
