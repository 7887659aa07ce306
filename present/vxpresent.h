// Presenter: shows an 8-bit picture of any size through a 256-colour palette
// in an SDL2 window, scaled by whole numbers and letterboxed, at a steady rate.
#pragma once

#include <cstdint>

#include "ddraw.h"

struct SDL_Window;
struct VxPresenter;  // one window and the renderer and texture that show frames in it

// VxPresentOpen flags.
#define VXP_RESIZABLE 0x1    // the user may resize the window
#define VXP_FULLSCREEN 0x2   // start in desktop fullscreen
#define VXP_ACCELERATED 0x4  // a GPU renderer instead of the software one

// The last frame's costs in microseconds.
struct VxPresentTimes {
    double convert;  // palette indices to XRGB in the texture
    double render;   // texture upload, clearing the bars, the scaled copy
    double wait;     // sleeping and spinning to the frame's deadline
    double present;  // showing the rendered frame
    double total;    // the whole call
};

// Opens a window of (width * scale) x (height * scale) pixels for frames of
// width x height; a scale of 0 takes the largest that fits the desktop. The
// palette starts as a grey ramp and pacing at 60 frames a second. Without
// VXP_ACCELERATED (or a driver named in SDL_RENDER_DRIVER) it draws with SDL's
// software renderer and sets SDL_FRAMEBUFFER_ACCELERATION to 0 unless the
// program or user has set it. Null on failure, with the reason in VxPresentError().
// Frames are fitted into the size the window really has: on X11 that is
// followed through configure events (SDL would also count a fullscreen
// request that no window manager carried out), so SDL_SYSWMEVENT is turned on
// while a presenter is open and such events reach the caller's queue too.
VxPresenter* VxPresentOpen(const char* title, int width, int height, int scale, unsigned flags);
// A presenter on a window the caller made and keeps (VXP_ACCELERATED is the
// one flag used); closing it leaves the window open. It draws through the
// window's renderer when there is one (its logical size and scale are reset,
// and it stays on close), else through one of its own.
VxPresenter* VxPresentAttach(SDL_Window* window, unsigned flags);
// Frees the texture, and the renderer and window when the presenter made them.
void VxPresentClose(VxPresenter* p);
// Why the last open or attach failed.
const char* VxPresentError();
SDL_Window* VxPresentWindow(VxPresenter* p);

// 256 entries; null gives the grey ramp. peFlags is ignored.
void VxPresentSetPalette(VxPresenter* p, const PALETTEENTRY* palette);
// 256 red, green, blue triples.
void VxPresentSetPaletteRGB(VxPresenter* p, const uint8_t* rgb);

// Shows width x height palette indices, rows `pitch` bytes apart (negative for
// rows stored bottom-up; at least a row either way), scaled by the largest whole
// number that fits the window's drawable size and centred on black.
// Waits for the frame's deadline first when pacing is on. 0, or -1 when the
// arguments are invalid or SDL fails.
int VxPresentFrame(VxPresenter* p, const uint8_t* pixels, LONG pitch, int width, int height);
// The same for a display-layer surface, through its own palette when it has one.
int VxPresentSurface(VxPresenter* p, LPDIRECTDRAWSURFACE surface);
// The same for width x height XRGB8888 pixels, shown as they are.
int VxPresentFrame32(VxPresenter* p, const uint32_t* pixels, LONG pitch, int width, int height);
// Shows the last frame again, fitted into the window as it is now, without
// waiting: for a window exposed or resized while no new frame comes. -1 when
// there is no frame yet or SDL fails.
int VxPresentRedraw(VxPresenter* p);
// The output the last frame was fitted into (the part of the drawable the
// window really shows, in drawable pixels) and where the frame went in it.
// Any pointer may be null.
void VxPresentGetOutput(const VxPresenter* p, int* width, int* height, RECT* box);

// Switches between a window and desktop fullscreen: the new state (1 fullscreen,
// 0 windowed), or -1 when SDL refuses.
int VxPresentToggleFullscreen(VxPresenter* p);
// Frames a second to pace to; 0 presents at once.
void VxPresentSetPacing(VxPresenter* p, int fps);
void VxPresentGetTimes(const VxPresenter* p, VxPresentTimes* out);

// Where a width x height frame lands in an outWidth x outHeight output: scaled
// by the largest whole number that fits and centred. An output smaller than the
// frame gets the largest size that fits with the frame's proportions. Returns
// the whole-number scale, or 0 when the frame had to shrink (or a side is < 1).
int VxPresentLetterbox(int width, int height, int outWidth, int outHeight, RECT* out);

// The XRGB8888 value of each palette entry (null: the grey ramp); X is 0xFF.
void VxPresentTable(const PALETTEENTRY* palette, uint32_t table[256]);
// dst row y, pixel x = table[src row y, pixel x], for width x height pixels;
// the pitches are in bytes and may differ from the widths.
void VxPresentConvert(const uint8_t* src, LONG srcPitch, uint32_t* dst, LONG dstPitch, int width, int height,
                      const uint32_t table[256]);
