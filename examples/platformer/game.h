// The platformer's rules: a player who walks, jumps and collides with the
// loaded map, coins and water (tiles), the start, checkpoints, the goal and
// enemies (the level's objects), stepped at a fixed 60 Hz. No SDL and no
// drawing here, so the tests, the benchmark and the headless mode run
// exactly what the window runs.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// What a cell is, from the user1 field of the block it shows (the level's
// tiles carry these codes; see level/TILES.md). The start, checkpoints and
// goal are objects of the level; a map without a start object may mark it
// with PF_START on layer 1.
enum PfKind { PF_NONE = 0, PF_COIN = 1, PF_WATER = 2, PF_START = 5 };

// The buttons held during one step. The game finds presses itself, by
// comparing with the step before.
struct PfInput {
    bool left = false, right = false;
    bool jump = false;
    bool pause = false;  // toggles the pause when pressed
    bool start = false;  // plays again after the goal
};

// One replay line: the letters L, R, J, P, S of the held buttons in any
// order, or "-" for none. "" on success, else what is wrong with the line.
std::string PfParseInput(const std::string& line, PfInput& in);
std::string PfFormatInput(const PfInput& in);

// Tuning, in 1/256 pixel and steps of 1/60 s. Every speed stays below a
// pixel row or column of 8 so that the per-pixel sweep is short.
enum {
    PF_SUB = 256,  // subpixels per pixel
    PF_BOXW = 12,
    PF_BOXH = 22,              // the player's collision box in pixels
    PF_WALK_MAX = 2 * PF_SUB,  // top walking speed: 120 px/s
    PF_WALK_ACCEL = 40,        // on the ground, toward the held direction
    PF_WALK_BRAKE = 64,        // on the ground, nothing held or turning round
    PF_AIR_ACCEL = 28,
    PF_GRAVITY = 64,           // 0.25 px per step per step
    PF_JUMP_SPEED = 1472,      // 5.75 px per step up: about 4 tiles high
    PF_JUMP_CUT = 2 * PF_SUB,  // a released jump rises no faster than this
    PF_FALL_MAX = 6 * PF_SUB,
    PF_COYOTE = 6,           // a jump pressed this many steps after leaving a ledge still works
    PF_BUFFER = 6,           // a jump pressed this many steps before landing happens on landing
    PF_RESTART_DELAY = 30,   // steps after the goal before a press plays again
    PF_STOMP_SCORE = 5,      // points for an enemy, a coin's one
    PF_STOMP_BOUNCE = 1024,  // the player's speed up after landing on an enemy
};

// Enemies, from the level's tile objects of class walker and flyer: a
// walker patrols its platform and turns at walls and ledges; a flyer goes
// along the polyline its object property "path" names, there and back (or
// round a polygon). Their images come from the level's sprite sheet
// "enemies": frames 0-1 walk, 2-3 fly, facing right.
enum PfEnemyKind { PF_WALKER, PF_FLYER };
enum {
    PF_WALKER_W = 14,
    PF_WALKER_H = 12,  // boxes in pixels, bottom-centred in a 16 x 16 frame
    PF_FLYER_W = 12,
    PF_FLYER_H = 10,        // centred on the path
    PF_WALKER_SPEED = 128,  // 0.5 px per step
    PF_FLYER_SPEED = 192,   // 0.75 px per step along the path
};

struct PfEnemy {
    int kind = PF_WALKER;
    int id = 0;            // its object's id
    int32_t x = 0, y = 0;  // the top-left of its box in 1/256 pixel
    int32_t vy = 0;        // a walker's fall speed
    bool alive = true;
    bool left = false;  // facing left
    // A flyer's way: the path's points in map pixels, how far along it is
    // (1/256 pixel) and which way it goes; a closed path goes round.
    std::vector<std::pair<double, double>> path;
    bool closed = false;
    int64_t along = 0;
    int dir = 1;
};

// A rectangle of the map in pixels: a checkpoint's or the goal's object.
struct PfArea {
    int x = 0, y = 0, w = 0, h = 0;
};

// The player. x, y is the top-left of the PF_BOXW x PF_BOXH box in 1/256
// pixel; the feet are at (x / 256 + PF_BOXW / 2, y / 256 + PF_BOXH).
struct PfPlayer {
    int32_t x = 0, y = 0;
    int32_t vx = 0, vy = 0;  // 1/256 pixel per step
    bool ground = false;
    bool left = false;           // facing left
    int air = 0;                 // steps since the feet left the ground, 0 on it
    int buffer = PF_BUFFER + 1;  // steps since jump was pressed; past PF_BUFFER, none
    int frame = 0;               // sprite frame: 0-1 idle, 2-7 walk, 8 jump, 9 fall
    int phase = 0;               // walk distance or idle time behind `frame`
};

// A cell the game changed, with what it showed before, for a restart.
struct PfChange {
    int x, y;
    int anim, block;  // the cell as MapGetCell gave it
};

struct PfGame {
    // The level as found at load.
    int viewW = 320, viewH = 240;           // the camera's size
    int startX = 0, startY = 0;             // the feet at the start, map pixels
    int coins = 0;                          // coin cells in the level
    std::vector<std::pair<int, int>> bare;  // coin cell value -> block without the coin
    std::vector<PfArea> checkpoints, goals;
    std::vector<PfEnemy> placed;  // the enemies as the level places them

    // The state.
    PfPlayer p;
    std::vector<PfEnemy> enemies;
    int step = 0;                    // steps run, paused ones included
    int score = 0;                   // a point a coin, PF_STOMP_SCORE an enemy
    int taken = 0;                   // coins taken
    int checkX = -1, checkY = -1;    // the flag cell of the last checkpoint, -1 none
    int respawnX = 0, respawnY = 0;  // the feet after a reset
    bool paused = false;
    bool complete = false;
    int completeSteps = 0;   // steps since the goal
    int resets = 0;          // falls into water or out of the map, enemies' touches
    int camX = 0, camY = 0;  // the view's top-left in map pixels
    PfInput last;            // the previous step's buttons
    std::vector<PfChange> changes;
};

// Reads the loaded map: the objects of classes start (a point: the feet),
// checkpoint and goal (rectangles), walker and flyer; the coins on layer 0
// and, for each coin cell, the block with the same graphics without the
// coin. "" when the level is playable, else why it is not. Puts the player
// at the start.
std::string PfLoad(PfGame& g, int viewW = 320, int viewH = 240);
// Plays again: the changed cells back as loaded, the player at the start,
// the enemies as placed, score and checkpoint cleared, the animations
// restarted.
void PfRestart(PfGame& g);
// One 60 Hz step: pause, movement and collision, the enemies, pick-ups,
// checkpoints, water, enemies stomped or touching, the goal, the camera,
// then MapUpdateAnims (not while paused).
void PfStep(PfGame& g, const PfInput& in);

// Whether map pixel (px, py) lies in a solid quarter of its cell on layer 0.
// Left and right of the map are solid; above and below are open.
bool PfSolid(int px, int py);
// Whether a w x h box at pixel (x, y) overlaps a solid quarter.
bool PfBoxSolid(int x, int y, int w, int h);
// The kind of the cell of layer 0 at (cx, cy); PF_NONE outside the map.
int PfKindAt(int cx, int cy);

// One line of state: step x y vx vy ground score checkpoint resets state
// camx camy, with x, y the feet in pixels, speeds in 1/256 pixel per step,
// the checkpoint as its flag's cell column (-1 none) and state play, paused
// or complete; then the live enemies' count and each as kind:id@x,y (the
// middle of its box in pixels).
std::string PfDump(const PfGame& g);
const char* PfDumpHeader();
