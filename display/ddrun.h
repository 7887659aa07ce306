// Run blits: the display layer's entry for a row of same-size blits, used by
// the map drawer; not part of the public interface.
#pragma once

#include "ddraw.h"

// One blit of a run: src drawn at column x with BltFast's flags.
struct DDRunBlit {
    IDirectDrawSurface* src;
    DWORD x, flags;
};

// Does what n BltFast(run[k].x, y, run[k].src, rect, run[k].flags) calls
// would, in order, with the same results and blit log records, but checks
// the rectangle and the row once and picks the row loop once for the run.
void DDBltRun(IDirectDrawSurface* dest, DWORD y, const RECT& rect, const DDRunBlit* run, int n);
