// The platformer's picture: the map through the camera's view, the enemies
// and the player from the level's sprite sheets, the score and messages in
// the bitmap font, all drawn into an 8-bit surface of the display layer. No
// SDL here.
#pragma once

#include <string>

#include "ddraw.h"
#include "game.h"
#include "vexildx.h"

struct PfView {
    int w = 0, h = 0;
    LPDIRECTDRAWSURFACE frame = nullptr;   // the picture, w x h
    LPDIRECTDRAWSURFACE sky = nullptr;     // the far sky, repeating across
    const MAPSPRITE* player = nullptr;     // the level's sheets: "player"
    const MAPSPRITE* enemies = nullptr;    // and "enemies" (null when the level has none)
    LPDIRECTDRAWSURFACE font = nullptr;    // white glyphs on the colour key
    LPDIRECTDRAWSURFACE shadow = nullptr;  // the same glyphs in the darkest ink
    uint8_t ink = 0, white = 0;            // map palette entries for panels
    int fgLayers = 0;                      // foreground graphics the map uses (0 to 3)
};

// The player's frames: 16 x 24 pixels; the 12 x 22 box lies at columns 3 to
// 14, rows 2 to 23 of a frame facing right.
enum { PF_FRAME_W = 16, PF_FRAME_H = 24, PF_FRAMES = 10 };

// Makes the frame surface, finds the level's sprite sheets and loads
// sky.png and font.png from `dir`, their colours taken to the loaded map's
// palette by exact RGB (the nearest where one is missing). Sets the
// library's view to w x h. "" or the reason.
std::string PfViewOpen(PfView& v, const std::string& dir, int w, int h);
void PfViewClose(PfView& v);
// Draws the game's picture: the sky at half the camera's speed, the
// background (see-through where the block's trigger is set), the first
// foreground graphic, the enemies and the player, the other foreground
// graphics in front of them, then the score and the pause or level-complete
// message.
void PfViewDraw(PfView& v, const PfGame& g);
// Prints text with its shadow; each character is 6 pixels wide.
void PfViewText(PfView& v, int x, int y, const std::string& text);
// The frame through the map's palette as an RGB PNG.
std::string PfViewSave(const PfView& v, const std::string& path);
