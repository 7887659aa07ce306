// The platformer's rules on the loaded map: level scan (cells and objects),
// movement with quarter-block collision, enemies, pick-ups, checkpoints,
// water, the goal, camera.
#include "game.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "vexildx.h"

namespace {

constexpr double kSub = PF_SUB;  // for arithmetic in doubles

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

// Moves a w x h box at (x, y) (1/256 pixel) along one axis by v, a pixel at
// a time, testing only the row or column it moves into. Stops flush against
// a solid quarter and returns true; speeds below a quarter keep the loop
// short, and no speed can carry the box through a wall.
bool SweepBox(int32_t& x, int32_t& y, int32_t v, int w, int h, bool across) {
    int32_t& pos = across ? x : y;
    const int32_t target = pos + v;
    const int from = pos >> 8, to = target >> 8;  // arithmetic shifts: floor
    const int dir = to > from ? 1 : -1;
    for (int at = from; at != to; at += dir) {
        const int next = at + dir;
        bool hit;
        if (across) {
            hit = PfBoxSolid(dir > 0 ? next + w - 1 : next, y >> 8, 1, h);
        } else {
            hit = PfBoxSolid(x >> 8, dir > 0 ? next + h - 1 : next, w, 1);
        }
        if (hit) {
            pos = at * PF_SUB;
            return true;
        }
    }
    pos = target;
    return false;
}

bool Sweep(PfPlayer& p, bool across) { return SweepBox(p.x, p.y, across ? p.vx : p.vy, PF_BOXW, PF_BOXH, across); }

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
            g.taken++;
        }
        return;
    }
}

// A checkpoint's area touched: its flag is the cell at the top middle of
// the area. A new one lights its flag with the cell of layer 1 at the same
// place, when there is one, and the player will come back standing under it.
void Reach(PfGame& g, const PfArea& a) {
    const int cx = (a.x + a.w / 2) / mapblockwidth, fy = std::max(a.y, 0) / mapblockheight;
    if (cx == g.checkX && fy == g.checkY) return;
    g.checkX = cx;
    g.checkY = fy;
    MAPCELL now, lit;
    if (MapGetCell(0, cx, fy, &now) == 0 && MapGetCell(1, cx, fy, &lit) == 0 && (lit.anim >= 0 || lit.block != 0)) {
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

bool Overlap(int x, int y, int w, int h, int x2, int y2, int w2, int h2) {
    return x < x2 + w2 && x2 < x + w && y < y2 + h2 && y2 < y + h;
}

// The box an enemy hurts with, in pixels.
void EnemyBox(const PfEnemy& e, int& x, int& y, int& w, int& h) {
    x = e.x >> 8, y = e.y >> 8;
    w = e.kind == PF_WALKER ? PF_WALKER_W : PF_FLYER_W;
    h = e.kind == PF_WALKER ? PF_WALKER_H : PF_FLYER_H;
}

// A walker goes on along its platform, and turns round where a wall or the
// end of the ground comes next; off the ground it falls.
void StepWalker(PfEnemy& e) {
    const int bx = e.x >> 8, by = e.y >> 8;
    if (!PfBoxSolid(bx, by + PF_WALKER_H, PF_WALKER_W, 1)) {
        e.vy = std::min(e.vy + PF_GRAVITY, int32_t{PF_FALL_MAX});
        if (SweepBox(e.x, e.y, e.vy, PF_WALKER_W, PF_WALKER_H, false)) e.vy = 0;
        if ((e.y >> 8) >= MapPixelH()) e.alive = false;
        return;
    }
    e.vy = 0;
    const int32_t target = e.x + (e.left ? -PF_WALKER_SPEED : PF_WALKER_SPEED);
    const int nx = target >> 8;
    if (nx != bx) {
        const int ahead = e.left ? nx : nx + PF_WALKER_W - 1;  // the column it moves into
        if (PfBoxSolid(ahead, by, 1, PF_WALKER_H) || !PfBoxSolid(ahead, by + PF_WALKER_H, 1, 1)) {
            e.left = !e.left;
            return;
        }
    }
    e.x = target;
}

// Where a flyer is `d` pixels along its path, and which way that part goes.
void PathPoint(const PfEnemy& e, double d, double& x, double& y, double& dx) {
    const size_t n = e.path.size(), segs = e.closed ? n : n - 1;
    for (size_t i = 0; i < segs; i++) {
        const auto [x0, y0] = e.path[i];
        const auto [x1, y1] = e.path[(i + 1) % n];
        const double len = std::hypot(x1 - x0, y1 - y0);
        if (d <= len || i + 1 == segs) {
            const double t = len > 0 ? std::min(d / len, 1.0) : 0;
            x = x0 + (x1 - x0) * t, y = y0 + (y1 - y0) * t, dx = x1 - x0;
            return;
        }
        d -= len;
    }
    x = e.path[0].first, y = e.path[0].second, dx = 0;
}

int64_t PathLength(const PfEnemy& e) {
    double len = 0;
    const size_t n = e.path.size();
    for (size_t i = 0; i + 1 < n + (e.closed ? 1 : 0); i++) {
        const auto [x0, y0] = e.path[i];
        const auto [x1, y1] = e.path[(i + 1) % n];
        len += std::hypot(x1 - x0, y1 - y0);
    }
    return static_cast<int64_t>(len * kSub);
}

void PlaceFlyer(PfEnemy& e);

// A flyer goes on along its path: to the end and back, or round and round.
void StepFlyer(PfEnemy& e) {
    const int64_t total = PathLength(e);
    e.along += e.dir * PF_FLYER_SPEED;
    if (total <= 0) {
        e.along = 0;
    } else if (e.closed) {
        e.along = (e.along % total + total) % total;
    } else if (e.along >= total) {
        e.along = 2 * total - e.along;
        e.dir = -1;
    } else if (e.along <= 0) {
        e.along = -e.along;
        e.dir = 1;
    }
    PlaceFlyer(e);
}

// A flyer's box where it is along its path.
void PlaceFlyer(PfEnemy& e) {
    double x, y, dx;
    PathPoint(e, static_cast<double>(e.along) / kSub, x, y, dx);
    if (dx != 0) e.left = dx * e.dir < 0;
    e.x = static_cast<int32_t>(std::lround((x - int{PF_FLYER_W} / 2.0) * kSub));
    e.y = static_cast<int32_t>(std::lround((y - int{PF_FLYER_H} / 2.0) * kSub));
}

// The player against the enemies: landing on one from above defeats it and
// bounces; any other touch sends the player back to the last checkpoint.
void Fight(PfGame& g, int prevFeet) {
    const int px = g.p.x >> 8, py = g.p.y >> 8, feet = py + PF_BOXH;
    for (PfEnemy& e : g.enemies) {
        int ex, ey, ew, eh;
        EnemyBox(e, ex, ey, ew, eh);
        if (!e.alive || !Overlap(px, py, PF_BOXW, PF_BOXH, ex, ey, ew, eh)) continue;
        if (feet >= prevFeet && prevFeet <= ey + 3) {
            e.alive = false;
            g.score += PF_STOMP_SCORE;
            g.p.vy = -PF_STOMP_BOUNCE;
            g.p.ground = false;
            g.p.air = PF_COYOTE + 1;
            continue;
        }
        Respawn(g);
        return;
    }
}

void Interact(PfGame& g) {
    const int bx = g.p.x >> 8, by = g.p.y >> 8;
    const int bw = mapblockwidth, bh = mapblockheight;
    const int bottom = by + PF_BOXH - 1;
    for (int cy = std::max(by, 0) / bh; bottom >= 0 && cy <= bottom / bh; cy++) {
        for (int cx = std::max(bx, 0) / bw; cx <= (bx + PF_BOXW - 1) / bw; cx++) {
            if (PfKindAt(cx, cy) == PF_COIN) Collect(g, cx, cy);
        }
    }
    for (const PfArea& a : g.checkpoints) {
        if (Overlap(bx, by, PF_BOXW, PF_BOXH, a.x, a.y, a.w, a.h)) Reach(g, a);
    }
    for (const PfArea& a : g.goals) {
        if (!Overlap(bx, by, PF_BOXW, PF_BOXH, a.x, a.y, a.w, a.h)) continue;
        if (!g.complete) g.completeSteps = 0;
        g.complete = true;
    }
    // Water takes the player when the feet go in; so does the map's bottom.
    const int fx = bx + PF_BOXW / 2, fy = by + PF_BOXH - 1;
    const bool wet = fy >= 0 && fy < MapPixelH() && PfKindAt(fx / bw, fy / bh) == PF_WATER;
    if (!g.complete && (wet || by >= MapPixelH())) Respawn(g);
}

// An object's place with its layer's and groups' offsets.
void Placed(const MAPOBJECT& o, double& x, double& y) {
    x = o.x, y = o.y;
    for (const MAPOBJECTLAYER* l = o.layer; l; l = l->parent) x += l->offsetx, y += l->offsety;
}

PfArea AreaOf(const MAPOBJECT& o) {
    double x, y;
    Placed(o, x, y);
    return {static_cast<int>(std::lround(x)), static_cast<int>(std::lround(y)), static_cast<int>(std::lround(o.width)),
            static_cast<int>(std::lround(o.height))};
}

// The level's objects: the start, checkpoints, goals and enemies. "" or
// what is wrong.
std::string ReadObjects(PfGame& g, bool& start) {
    if (const MAPOBJECT* o = MapFindObjectOfType("start", nullptr)) {
        double x, y;
        Placed(*o, x, y);
        g.startX = static_cast<int>(std::lround(x));
        g.startY = static_cast<int>(std::lround(y));
        start = true;
    }
    for (const MAPOBJECT* o = nullptr; (o = MapFindObjectOfType("checkpoint", o));) g.checkpoints.push_back(AreaOf(*o));
    for (const MAPOBJECT* o = nullptr; (o = MapFindObjectOfType("goal", o));) g.goals.push_back(AreaOf(*o));
    for (const MAPOBJECT* o = nullptr; (o = MapFindObjectOfType("walker", o));) {
        // Standing where its image stands: the box bottom-centred in it.
        double x, y;
        Placed(*o, x, y);
        const MAPSPRITE* s = o->sprite;
        const double left = x - (s ? s->originx : 0), top = y - (s ? s->originy : 0);
        const double w = s ? s->width : o->width, h = s ? s->height : o->height;
        PfEnemy e;
        e.kind = PF_WALKER;
        e.id = o->id;
        e.left = o->flips & MAPSPRITE_FLIPX;
        e.x = static_cast<int32_t>(std::lround((left + (w - int{PF_WALKER_W}) / 2) * kSub));
        e.y = static_cast<int32_t>(std::lround((top + h - int{PF_WALKER_H}) * kSub));
        g.placed.push_back(e);
    }
    for (const MAPOBJECT* o = nullptr; (o = MapFindObjectOfType("flyer", o));) {
        const MAPOBJECT* path = MapGetObject(MapGetIntProperty(&o->props, "path", 0));
        if (!path || (path->shape != MAPSHAPE_POLYLINE && path->shape != MAPSHAPE_POLYGON) || path->numpoints < 2) {
            return "flyer " + std::to_string(o->id) + ": its property \"path\" names no polyline or polygon";
        }
        PfEnemy e;
        e.kind = PF_FLYER;
        e.id = o->id;
        e.closed = path->shape == MAPSHAPE_POLYGON;
        double x, y;
        Placed(*path, x, y);
        for (int i = 0; i < path->numpoints; i++)
            e.path.emplace_back(x + path->points[2 * i], y + path->points[2 * i + 1]);
        PlaceFlyer(e);
        g.placed.push_back(e);
    }
    return "";
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
    const std::string err = ReadObjects(g, start);
    if (!err.empty()) return err;
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
    if (!start) return "no object of class start (nor a start marker, user1 = 5, on map layer 1)";

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
    g.enemies = g.placed;
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
    g.enemies = g.placed;
    g.score = g.taken = 0;
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
    const int prevFeet = (g.p.y >> 8) + PF_BOXH;
    Move(g, in, pressJump);
    for (PfEnemy& e : g.enemies) {
        if (e.alive) (e.kind == PF_WALKER ? StepWalker : StepFlyer)(e);
    }
    Interact(g);
    if (!g.complete) Fight(g, prevFeet);
    Animate(g.p);
    Camera(g, false);
    MapUpdateAnims();
}

const char* PfDumpHeader() {
    return "# step x y vx vy ground score checkpoint resets state camx camy enemies kind:id@x,y...";
}

std::string PfDump(const PfGame& g) {
    char line[160];
    std::snprintf(line, sizeof line, "%d %d %d %d %d %d %d %d %d %s %d %d", g.step, (g.p.x >> 8) + PF_BOXW / 2,
                  (g.p.y >> 8) + PF_BOXH, g.p.vx, g.p.vy, g.p.ground ? 1 : 0, g.score, g.checkX, g.resets,
                  g.complete ? "complete"
                  : g.paused ? "paused"
                             : "play",
                  g.camX, g.camY);
    std::string out = line;
    const int live =
        static_cast<int>(std::count_if(g.enemies.begin(), g.enemies.end(), [](const PfEnemy& e) { return e.alive; }));
    out += " " + std::to_string(live);
    for (const PfEnemy& e : g.enemies) {
        if (!e.alive) continue;
        int x, y, w, h;
        EnemyBox(e, x, y, w, h);
        std::snprintf(line, sizeof line, " %s:%d@%d,%d", e.kind == PF_WALKER ? "walker" : "flyer", e.id, x + w / 2,
                      y + h / 2);
        out += line;
    }
    return out;
}
