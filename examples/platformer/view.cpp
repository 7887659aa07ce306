// The platformer's picture: map layers around the enemies and the player,
// drawn with the library's sprite routine, the score and messages, into an
// 8-bit frame.
#include "view.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "pngio.h"
#include "vexildx.h"

namespace {

// The map palette entry of an exact RGB colour, else the nearest one;
// entry 0, the colour key, is never chosen.
uint8_t MapColour(int r, int g, int b) {
    int best = 1, bestd = 1 << 30;
    for (int i = 1; i < 256; i++) {
        const int dr = mappept[i].peRed - r, dg = mappept[i].peGreen - g, db = mappept[i].peBlue - b;
        const int d = dr * dr + dg * dg + db * db;
        if (d < bestd) best = i, bestd = d;
        if (d == 0) break;
    }
    return static_cast<uint8_t>(best);
}

// A surface holding `px` (w x h indices) with colour key 0.
std::string MakeSurface(const std::vector<uint8_t>& px, int w, int h, LPDIRECTDRAWSURFACE* out) {
    if (DDCreatePlainSurface(lpDD, w, h, out) != DD_OK) return "cannot make a surface";
    DDSURFACEDESC d{};
    d.dwSize = sizeof d;
    if ((*out)->Lock(nullptr, &d, DDLOCK_WAIT, nullptr) != DD_OK) return "cannot lock a surface";
    for (int y = 0; y < h; y++) std::memcpy(static_cast<uint8_t*>(d.lpSurface) + y * d.lPitch, &px[size_t(y) * w], w);
    (*out)->Unlock(d.lpSurface);
    DDCOLORKEY key{0, 0};
    (*out)->SetColorKey(DDCKEY_SRCBLT, &key);
    return "";
}

// An indexed PNG with its colours taken to the map's palette; see-through
// entries become the colour key 0.
std::string LoadPicture(const std::string& path, PfPicture& pic) {
    std::string err = PfReadIndexedPng(path, pic);
    if (!err.empty()) return err;
    uint8_t to[256] = {};
    const size_t n = std::min<size_t>(pic.rgba.size() / 4, 256);
    for (size_t k = 0; k < n; k++) {
        const uint8_t* c = &pic.rgba[4 * k];
        to[k] = c[3] == 0 ? 0 : MapColour(c[0], c[1], c[2]);
    }
    for (uint8_t& p : pic.px) p = to[p];
    return "";
}

// Copies src's rectangle to (x, y) of dst with the colour key, cut to dst.
void Blit(LPDIRECTDRAWSURFACE dst, int x, int y, LPDIRECTDRAWSURFACE src, RECT r) {
    if (x < 0) r.left -= x, x = 0;
    if (y < 0) r.top -= y, y = 0;
    r.right = std::min<LONG>(r.right, r.left + dst->width - x);
    r.bottom = std::min<LONG>(r.bottom, r.top + dst->height - y);
    if (r.left >= r.right || r.top >= r.bottom) return;
    dst->BltFast(static_cast<DWORD>(x), static_cast<DWORD>(y), src, &r, DDBLTFAST_SRCCOLORKEY);
}

// A panel of `lines` centred across the frame: ink with a white rim.
void Panel(PfView& v, const std::vector<std::string>& lines) {
    size_t longest = 0;
    for (const std::string& s : lines) longest = std::max(longest, s.size());
    const int pw = static_cast<int>(longest) * 6 + 16, ph = static_cast<int>(lines.size()) * 12 + 12;
    // In the top third, above the player, whom the camera keeps lower.
    const int px = (v.w - pw) / 2, py = std::max((v.h / 3 - ph) / 2, 2);
    DDSURFACEDESC d{};
    d.dwSize = sizeof d;
    if (v.frame->Lock(nullptr, &d, DDLOCK_WAIT, nullptr) != DD_OK) return;
    for (int y = std::max(py, 0); y < std::min(py + ph, v.h); y++) {
        uint8_t* row = static_cast<uint8_t*>(d.lpSurface) + y * d.lPitch;
        const bool rim = y == py || y == py + ph - 1;
        for (int x = std::max(px, 0); x < std::min(px + pw, v.w); x++) {
            row[x] = rim || x == px || x == px + pw - 1 ? v.white : v.ink;
        }
    }
    v.frame->Unlock(d.lpSurface);
    for (size_t i = 0; i < lines.size(); i++) {
        const int tx = (v.w - static_cast<int>(lines[i].size()) * 6) / 2;
        PfViewText(v, tx, py + 8 + static_cast<int>(i) * 12, lines[i]);
    }
}

}  // namespace

std::string PfViewOpen(PfView& v, const std::string& dir, int w, int h) {
    PfViewClose(v);
    v.w = w;
    v.h = h;
    if (!mapblkrelpt) return "no map is loaded";
    if (MapSetView(0, 0, w, h) != 0) return "the view size is not allowed";
    if (DDCreatePlainSurface(lpDD, w, h, &v.frame) != DD_OK) return "cannot make the frame surface";

    PfPicture sky;
    std::string err = LoadPicture(dir + "/sky.png", sky);
    if (!err.empty()) return err;
    if (sky.w < 1 || sky.h < h) return dir + "/sky.png: lower than the view";
    if (!(err = MakeSurface(sky.px, sky.w, sky.h, &v.sky)).empty()) return err;

    v.player = MapFindSprite("player");
    if (!v.player || v.player->framewidth != PF_FRAME_W || v.player->frameheight != PF_FRAME_H ||
        v.player->frames < PF_FRAMES) {
        return "the level carries no sprite sheet \"player\" of 10 frames of 16 x 24 (vexil import --sprites "
               "player.png:16x24)";
    }
    v.enemies = MapFindSprite("enemies");
    if (v.enemies && v.enemies->frames < 4) return "the level's sprite sheet \"enemies\" has fewer than 4 frames";

    PfPicture font;
    if (!(err = LoadPicture(dir + "/font.png", font)).empty()) return err;
    if (font.w < 128 || font.h < 48) return dir + "/font.png: smaller than 16 x 6 glyphs of 8 x 8";
    v.ink = MapColour(0x14, 0x0c, 0x1c);
    v.white = MapColour(255, 255, 255);
    std::vector<uint8_t> dark(font.px);
    for (uint8_t& p : dark) p = p ? v.ink : 0;
    if (!(err = MakeSurface(font.px, font.w, font.h, &v.font)).empty()) return err;
    if (!(err = MakeSurface(dark, font.w, font.h, &v.shadow)).empty()) return err;

    // Foreground graphics no block has need no walk over the view.
    const MAPBLOCK* blocks = reinterpret_cast<const MAPBLOCK*>(mapblkrelpt);
    v.fgLayers = 0;
    for (int b = 0; b < mapnumblockstr; b++) {
        if (blocks[b].fgoff3)
            v.fgLayers = 3;
        else if (blocks[b].fgoff2)
            v.fgLayers = std::max(v.fgLayers, 2);
        else if (blocks[b].fgoff)
            v.fgLayers = std::max(v.fgLayers, 1);
    }
    return "";
}

void PfViewClose(PfView& v) {
    v.player = v.enemies = nullptr;
    for (LPDIRECTDRAWSURFACE* s : {&v.frame, &v.sky, &v.font, &v.shadow}) {
        if (*s) (*s)->Release();
        *s = nullptr;
    }
}

void PfViewText(PfView& v, int x, int y, const std::string& text) {
    for (size_t i = 0; i < text.size(); i++) {
        const int c = static_cast<unsigned char>(text[i]);
        if (c <= 32 || c > 127) continue;
        const RECT r{(c - 32) % 16 * 8, (c - 32) / 16 * 8, (c - 32) % 16 * 8 + 8, (c - 32) / 16 * 8 + 8};
        const int cx = x + static_cast<int>(i) * 6;
        Blit(v.frame, cx + 1, y + 1, v.shadow, r);
        Blit(v.frame, cx, y, v.font, r);
    }
}

namespace {

// The sky at half the camera's speed: repeating across, and as far down as
// it reaches.
void DrawSky(PfView& v, int camx, int camy) {
    const int sw = v.sky->width, sh = v.sky->height;
    const int top = std::min(camy / 2, sh - v.h);
    for (int x = -(camx / 2 % sw); x < v.w; x += sw) {
        RECT r{0, top, sw, top + v.h};
        int dx = x;
        if (dx < 0) r.left = -dx, dx = 0;
        r.right = std::min<LONG>(sw, r.left + v.w - dx);
        v.frame->BltFast(static_cast<DWORD>(dx), 0, v.sky, &r, DDBLTFAST_WAIT);
    }
}

}  // namespace

void PfViewDraw(PfView& v, const PfGame& g) {
    MapSetView(0, 0, v.w, v.h);
    DrawSky(v, g.camX, g.camY);
    MapDraw8BGT(v.frame, g.camX, g.camY);
    if (v.fgLayers >= 1) MapDraw8FG(v.frame, g.camX, g.camY, 0);

    // Enemies: a walker stands at the bottom of its frame, a flyer in the
    // middle; two frames each, facing right unless mirrored.
    MAPSPRITE f;
    for (const PfEnemy& e : g.enemies) {
        const bool walker = e.kind == PF_WALKER;
        const int frame = walker ? g.step / 12 % 2 : 2 + g.step / 6 % 2;
        if (!e.alive || !v.enemies || MapSpriteFrame(v.enemies, frame, &f) != 0) continue;
        const int w = walker ? PF_WALKER_W : PF_FLYER_W, h = walker ? PF_WALKER_H : PF_FLYER_H;
        const int x = (e.x >> 8) + w / 2 - f.width / 2,
                  y = walker ? (e.y >> 8) + h - f.height : (e.y >> 8) + h / 2 - f.height / 2;
        MapDrawSprite(v.frame, g.camX, g.camY, &f, x, y, e.left ? MAPSPRITE_FLIPX : 0);
    }
    if (MapSpriteFrame(v.player, std::clamp(g.p.frame, 0, PF_FRAMES - 1), &f) == 0) {
        MapDrawSprite(v.frame, g.camX, g.camY, &f, (g.p.x >> 8) - (g.p.left ? 1 : 3), (g.p.y >> 8) - 2,
                      g.p.left ? MAPSPRITE_FLIPX : 0);
    }

    for (int fg = 1; fg < v.fgLayers; fg++) MapDraw8FG(v.frame, g.camX, g.camY, fg);

    PfViewText(
        v, 6, 5,
        "Score " + std::to_string(g.score) + "  Coins " + std::to_string(g.taken) + "/" + std::to_string(g.coins));
    if (g.complete) {
        Panel(v, {"Level complete!", "Score " + std::to_string(g.score),
                  "Coins " + std::to_string(g.taken) + "/" + std::to_string(g.coins), "", "Enter: play again",
                  "Esc: quit"});
    } else if (g.paused) {
        Panel(v, {"Paused", "P: play on"});
    }
}

std::string PfViewSave(const PfView& v, const std::string& path) {
    DDSURFACEDESC d{};
    d.dwSize = sizeof d;
    if (!v.frame || v.frame->Lock(nullptr, &d, DDLOCK_WAIT, nullptr) != DD_OK) return "cannot read the frame";
    std::vector<uint8_t> rgb(size_t(v.w) * v.h * 3);
    for (int y = 0; y < v.h; y++) {
        const uint8_t* row = static_cast<const uint8_t*>(d.lpSurface) + y * d.lPitch;
        for (int x = 0; x < v.w; x++) {
            const PALETTEENTRY& c = mappept[row[x]];
            uint8_t* o = &rgb[(size_t(y) * v.w + x) * 3];
            o[0] = c.peRed, o[1] = c.peGreen, o[2] = c.peBlue;
        }
    }
    v.frame->Unlock(d.lpSurface);
    return PfWriteRgbPng(path, rgb.data(), v.w, v.h, v.w * 3);
}
