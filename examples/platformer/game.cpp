// The platformer's rules on the loaded map: level scan, movement with
// quarter-block collision, pick-ups, checkpoints, water, the goal, camera.
#include "game.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "vexildx.h"

namespace {

int MapPixelW() { return int{mapwidth} * mapblockwidth; }
int MapPixelH() { return int{mapheight} * mapblockheight; }

// The first quarter edge after pixel p along an axis of `size`-pixel cells:
// quarters split each cell at size / 2.
int NextEdge(int p, int size) {
    const int c = (p >= 0 ? p : p - size + 1) / size;
    const int half = c * size + size / 2;
    return p < half ? half : (c + 1) * size;
}

// A cell as a key: -1 - anim for an animated cell, else its block.
int CellKey(const MAPCELL& c) { return c.anim >= 0 ? -1 - c.anim : c.block; }

void PlaceAt(PfPlayer& p, int feetX, int feetY) {
    const bool left = p.left;
    p = PfPlayer{};
    p.left = left;
    p.x = (feetX - PF_BOXW / 2) * PF_SUB;
    p.y = (feetY - PF_BOXH) * PF_SUB;
    p.ground = PfBoxSolid(feetX - PF_BOXW / 2, feetY, PF_BOXW, 1);
    p.air = p.ground ? 0 : PF_COYOTE + 1;
}

// Keeps the player inside the middle fifth of the view across and the
// middle third up and down, inside the map; `snap` centres it instead.
void Camera(PfGame& g, bool snap) {
    const int cx = (g.p.x >> 8) + PF_BOXW / 2, cy = (g.p.y >> 8) + PF_BOXH / 2;
    if (snap) {
        g.camX = cx - g.viewW / 2;
        g.camY = cy - g.viewH / 2;
    } else {
        const int l = g.viewW * 2 / 5, r = g.viewW * 3 / 5, t = g.viewH / 3, b = g.viewH * 2 / 3;
        if (cx < g.camX + l) g.camX = cx - l;
        if (cx > g.camX + r) g.camX = cx - r;
        if (cy < g.camY + t) g.camY = cy - t;
        if (cy > g.camY + b) g.camY = cy - b;
    }
    g.camX = std::clamp(g.camX, 0, std::max(0, MapPixelW() - g.viewW));
    g.camY = std::clamp(g.camY, 0, std::max(0, MapPixelH() - g.viewH));
}

// Moves the box along one axis by its speed, a pixel at a time, testing
// only the row or column it moves into. Stops flush against a solid
// quarter and returns true; speeds below a quarter keep the loop short, and
// no speed can carry the box through a wall.
bool Sweep(PfPlayer& p, bool across) {
    int32_t& pos = across ? p.x : p.y;
    const int32_t target = pos + (across ? p.vx : p.vy);
    const int from = pos >> 8, to = target >> 8;  // arithmetic shifts: floor
    const int dir = to > from ? 1 : -1;
    for (int at = from; at != to; at += dir) {
        const int next = at + dir;
        bool hit;
        if (across) {
            hit = PfBoxSolid(dir > 0 ? next + PF_BOXW - 1 : next, p.y >> 8, 1, PF_BOXH);
        } else {
            hit = PfBoxSolid(p.x >> 8, dir > 0 ? next + PF_BOXH - 1 : next, PF_BOXW, 1);
        }
        if (hit) {
            pos = at * PF_SUB;
            return true;
        }
    }
    pos = target;
    return false;
}

// Speeds up toward `target` by `a` without passing it.
int32_t Approach(int32_t v, int32_t target, int32_t a) {
    return v < target ? std::min(v + a, target) : std::max(v - a, target);
}

void Move(PfGame& g, const PfInput& in, bool pressJump) {
    PfPlayer& p = g.p;
    const int dir = int{in.right} - int{in.left};
    if (dir) p.left = dir < 0;
    int32_t a;
    if (p.ground)
        a = dir == 0 || int64_t{p.vx} * dir < 0 ? PF_WALK_BRAKE : PF_WALK_ACCEL;
    else
        a = dir ? PF_AIR_ACCEL : PF_AIR_ACCEL / 4;
    p.vx = Approach(p.vx, dir * PF_WALK_MAX, a);

    if (pressJump)
        p.buffer = 0;
    else if (p.buffer <= PF_BUFFER)
        p.buffer++;
    if (p.buffer <= PF_BUFFER && (p.ground || p.air <= PF_COYOTE)) {
        p.vy = -PF_JUMP_SPEED;
        p.buffer = PF_BUFFER + 1;
        p.air = PF_COYOTE + 1;  // no second jump from the coyote time
        p.ground = false;
    }
    if (p.ground) {
        p.vy = std::min(p.vy, 0);
    } else {
        p.vy += PF_GRAVITY;
        if (!in.jump && p.vy < -PF_JUMP_CUT) p.vy = -PF_JUMP_CUT;  // a short press, a low jump
        p.vy = std::min(p.vy, int32_t{PF_FALL_MAX});
    }

    // Against a wall the speed is 0, not a push that never gets anywhere.
    const bool hit = Sweep(p, true);
    const int ahead = p.vx > 0 ? (p.x >> 8) + PF_BOXW : (p.x >> 8) - 1;
    if (hit || (p.vx != 0 && PfBoxSolid(ahead, p.y >> 8, 1, PF_BOXH))) p.vx = 0;
    if (Sweep(p, false)) p.vy = 0;
    p.ground = p.vy >= 0 && PfBoxSolid(p.x >> 8, (p.y >> 8) + PF_BOXH, PF_BOXW, 1);
    if (p.ground) {
        p.vy = 0;  // also when the fall ended exactly on the surface
        p.air = 0;
    } else if (p.air <= PF_COYOTE) {
        p.air++;
    }
}

// The player back at the last checkpoint (or the start), standing still.
void Respawn(PfGame& g) {
    PlaceAt(g.p, g.respawnX, g.respawnY);
    g.resets++;
    Camera(g, false);
}

void Collect(PfGame& g, int cx, int cy) {
    MAPCELL c;
    if (MapGetCell(0, cx, cy, &c) != 0) return;
    const int key = CellKey(c);
    for (const auto& [k, block] : g.bare) {
        if (k != key) continue;
        if (MapSetCellBlock(0, cx, cy, block) == 0) {
            g.changes.push_back({cx, cy, c.anim, c.block});
            g.score++;
        }
        return;
    }
}

// A checkpoint touched at (cx, cy): its flag is the top of the column of
// checkpoint cells. A new one lights its flag with the cell of layer 1 at
// the same place, and the player will come back standing under it.
void Reach(PfGame& g, int cx, int cy) {
    int fy = cy;
    while (fy > 0 && PfKindAt(cx, fy - 1) == PF_CHECKPOINT) fy--;
    if (cx == g.checkX && fy == g.checkY) return;
    g.checkX = cx;
    g.checkY = fy;
    MAPCELL now, lit;
    if (MapGetCell(0, cx, fy, &now) == 0 && MapGetCell(1, cx, fy, &lit) == 0 && lit.str->user1 == PF_CHECKPOINT) {
        const int r = lit.anim >= 0 ? MapSetCellAnim(0, cx, fy, lit.anim) : MapSetCellBlock(0, cx, fy, lit.block);
        if (r == 0) g.changes.push_back({cx, fy, now.anim, now.block});
    }
    g.respawnX = cx * mapblockwidth + mapblockwidth / 2;
    g.respawnY = (fy + 1) * mapblockheight;
    for (int py = fy * mapblockheight; py < MapPixelH(); py++) {
        if (PfSolid(g.respawnX, py)) {
            g.respawnY = py;
            break;
        }
    }
}

void Interact(PfGame& g) {
    const int bx = g.p.x >> 8, by = g.p.y >> 8;
    const int bw = mapblockwidth, bh = mapblockheight;
    const int bottom = by + PF_BOXH - 1;
    for (int cy = std::max(by, 0) / bh; bottom >= 0 && cy <= bottom / bh; cy++) {
        for (int cx = std::max(bx, 0) / bw; cx <= (bx + PF_BOXW - 1) / bw; cx++) {
            switch (PfKindAt(cx, cy)) {
                case PF_COIN:
                    Collect(g, cx, cy);
                    break;
                case PF_CHECKPOINT:
                    Reach(g, cx, cy);
                    break;
                case PF_GOAL:
                    if (!g.complete) g.completeSteps = 0;
                    g.complete = true;
                    break;
            }
        }
    }
    // Water takes the player when the feet go in; so does the map's bottom.
    const int fx = bx + PF_BOXW / 2, fy = by + PF_BOXH - 1;
    const bool wet = fy >= 0 && fy < MapPixelH() && PfKindAt(fx / bw, fy / bh) == PF_WATER;
    if (!g.complete && (wet || by >= MapPixelH())) Respawn(g);
}

// The sprite frame: jump or fall in the air, a walk cycle by distance on
// the ground, a slow two-frame idle standing still.
void Animate(PfPlayer& p) {
    const int was = p.frame < 2 ? 0 : p.frame < 8 ? 1 : 2;
    const int now = !p.ground ? 2 : p.vx != 0 ? 1 : 0;
    if (now != was) p.phase = 0;
    if (now == 2) {
        p.frame = p.vy < 0 ? 8 : 9;
    } else if (now == 1) {
        p.phase += std::max(std::abs(p.vx), PF_SUB / 4);
        p.frame = 2 + p.phase / (8 * PF_SUB) % 6;
    } else {
        p.phase++;
        p.frame = p.phase / 40 % 2;
    }
}

}  // namespace

std::string PfParseInput(const std::string& line, PfInput& in) {
    in = PfInput{};
    std::string s = line;
    while (!s.empty() && (s.back() == '\r' || s.back() == ' ' || s.back() == '\t')) s.pop_back();
    if (s == "-" || s.empty()) return "";
    for (char ch : s) {
        switch (ch) {
            case 'L':
                in.left = true;
                break;
            case 'R':
                in.right = true;
                break;
            case 'J':
                in.jump = true;
                break;
            case 'P':
                in.pause = true;
                break;
            case 'S':
                in.start = true;
                break;
            default:
                return std::string("unknown button '") + ch + "' (L R J P S, or - for none)";
        }
    }
    return "";
}

std::string PfFormatInput(const PfInput& in) {
    std::string s;
    if (in.left) s += 'L';
    if (in.right) s += 'R';
    if (in.jump) s += 'J';
    if (in.pause) s += 'P';
    if (in.start) s += 'S';
    return s.empty() ? "-" : s;
}

bool PfSolid(int px, int py) {
    if (px < 0 || px >= MapPixelW()) return true;
    if (py < 0 || py >= MapPixelH()) return false;
    const int cx = px / mapblockwidth, cy = py / mapblockheight;
    MAPCELL c;
    if (MapGetCell(0, cx, cy, &c) != 0) return false;
    const bool right = px - cx * mapblockwidth >= mapblockwidth / 2;
    const bool bottom = py - cy * mapblockheight >= mapblockheight / 2;
    return bottom ? (right ? c.str->br : c.str->bl) : (right ? c.str->tr : c.str->tl);
}

bool PfBoxSolid(int x, int y, int w, int h) {
    // One sample in each quarter the box overlaps: its first pixel and
    // every quarter edge inside it, on each axis.
    for (int py = y; py < y + h; py = NextEdge(py, mapblockheight)) {
        for (int px = x; px < x + w; px = NextEdge(px, mapblockwidth)) {
            if (PfSolid(px, py)) return true;
        }
    }
    return false;
}

int PfKindAt(int cx, int cy) {
    MAPCELL c;
    return MapGetCell(0, cx, cy, &c) == 0 ? static_cast<int>(c.str->user1) : PF_NONE;
}

std::string PfLoad(PfGame& g, int viewW, int viewH) {
    g = PfGame{};
    g.viewW = viewW;
    g.viewH = viewH;
    if (!mapblkrelpt) return "no map is loaded";
    if (MapPixelW() < viewW || MapPixelH() < viewH) return "the map is smaller than the view";
    bool start = false;
    MAPCELL c;
    for (int y = 0; y < mapheight && !start; y++) {
        for (int x = 0; x < mapwidth && !start; x++) {
            if (MapGetCell(1, x, y, &c) == 0 && c.str->user1 == PF_START) {
                g.startX = x * mapblockwidth + mapblockwidth / 2;
                g.startY = (y + 1) * mapblockheight;
                start = true;
            }
        }
    }
    if (!start) return "no start marker (user1 = 5) on map layer 1";

    // Each kind of coin cell needs a block that shows the same graphics
    // with its topmost foreground graphic, the coin, taken away.
    const MAPBLOCK* blocks = reinterpret_cast<const MAPBLOCK*>(mapblkrelpt);
    for (int y = 0; y < mapheight; y++) {
        for (int x = 0; x < mapwidth; x++) {
            if (MapGetCell(0, x, y, &c) != 0 || c.str->user1 != PF_COIN) continue;
            g.coins++;
            const int key = CellKey(c);
            if (std::any_of(g.bare.begin(), g.bare.end(), [&](const auto& b) { return b.first == key; })) continue;
            const MAPBLOCK& coin = blocks[c.block];
            LPDIRECTDRAWSURFACE want[4] = {coin.bgoff, coin.fgoff, coin.fgoff2, coin.fgoff3};
            int top = 3;
            while (top > 0 && !want[top]) top--;
            if (top == 0) {
                return "coin at cell (" + std::to_string(x) + ", " + std::to_string(y) + ") has no foreground graphic";
            }
            want[top] = nullptr;
            int found = -1;
            for (int b = 0; b < mapnumblockstr && found < 0; b++) {
                const MAPBLOCK& m = blocks[b];
                if (m.bgoff == want[0] && m.fgoff == want[1] && m.fgoff2 == want[2] && m.fgoff3 == want[3] &&
                    m.blkstr->user1 != PF_COIN) {
                    found = b;
                }
            }
            if (found < 0) {
                return "coin at cell (" + std::to_string(x) + ", " + std::to_string(y) +
                       "): no block shows that cell without its coin";
            }
            g.bare.emplace_back(key, found);
        }
    }
    g.respawnX = g.startX;
    g.respawnY = g.startY;
    PlaceAt(g.p, g.startX, g.startY);
    Camera(g, true);
    return "";
}

void PfRestart(PfGame& g) {
    for (auto it = g.changes.rbegin(); it != g.changes.rend(); ++it) {
        if (it->anim >= 0)
            MapSetCellAnim(0, it->x, it->y, it->anim);
        else
            MapSetCellBlock(0, it->x, it->y, it->block);
    }
    g.changes.clear();
    g.score = 0;
    g.checkX = g.checkY = -1;
    g.respawnX = g.startX;
    g.respawnY = g.startY;
    g.paused = g.complete = false;
    g.completeSteps = 0;
    g.resets = 0;
    g.p.left = false;
    PlaceAt(g.p, g.startX, g.startY);
    Camera(g, true);
    MapInitAnims();
}

void PfStep(PfGame& g, const PfInput& in) {
    const bool pressJump = in.jump && !g.last.jump;
    const bool pressPause = in.pause && !g.last.pause;
    const bool pressStart = in.start && !g.last.start;
    g.last = in;
    g.step++;
    if (g.complete) {
        // The player comes to rest; after a moment a press plays again.
        if (++g.completeSteps > PF_RESTART_DELAY && (pressStart || pressJump)) {
            PfRestart(g);
            return;
        }
        Move(g, PfInput{}, false);
        Animate(g.p);
        Camera(g, false);
        MapUpdateAnims();
        return;
    }
    if (pressPause) g.paused = !g.paused;
    if (g.paused) return;
    Move(g, in, pressJump);
    Interact(g);
    Animate(g.p);
    Camera(g, false);
    MapUpdateAnims();
}

const char* PfDumpHeader() { return "# step x y vx vy ground score checkpoint resets state camx camy"; }

std::string PfDump(const PfGame& g) {
    char line[160];
    std::snprintf(line, sizeof line, "%d %d %d %d %d %d %d %d %d %s %d %d", g.step, (g.p.x >> 8) + PF_BOXW / 2,
                  (g.p.y >> 8) + PF_BOXH, g.p.vx, g.p.vy, g.p.ground ? 1 : 0, g.score, g.checkX, g.resets,
                  g.complete ? "complete"
                  : g.paused ? "paused"
                             : "play",
                  g.camX, g.camY);
    return line;
}
