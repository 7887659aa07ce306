// Shared part of the fuzz targets: the display, the run of a loaded map
// through animation and every drawing routine, and the checks that hold for
// any input. A broken check prints what it saw and aborts, so libFuzzer and
// the replay driver both report it as a crash.
#pragma once

#include <cstddef>
#include <cstdint>

// Creates the display object and the 640 x 480 target on the first call.
void FuzzSetUp();

// Starts counting the bytes the library allocates for an input of `size`
// bytes; FuzzEndAllocations aborts when they exceed a few times that size.
void FuzzBeginAllocations(size_t size);
void FuzzEndAllocations();

// After a successful load: resets and steps the animations and runs every
// drawing routine at three scroll positions derived from the input, checking
// each blit the routines make.
void FuzzExercise(const uint8_t* data, size_t size);

// Frees the map and checks that every surface of it was released.
void FuzzFinish();

// Prints the message and aborts.
[[noreturn]] void FuzzFail(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
