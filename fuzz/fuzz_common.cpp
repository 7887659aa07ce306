// Shared part of the fuzz targets: display set-up, allocation accounting and
// the run of a loaded map through animation and drawing.
#include "fuzz_common.h"

#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "ddinternal.h"
#include "vexildx.h"

LPDIRECTDRAW lpDD;

#if defined(__SANITIZE_ADDRESS__)
#define VEXIL_FUZZ_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VEXIL_FUZZ_ASAN 1
#endif
#endif

#ifdef VEXIL_FUZZ_ASAN
// From the sanitizer runtime (not every compiler ships its header).
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*malloc_hook)(const volatile void*, size_t),
                                                         void (*free_hook)(const volatile void*));
#endif

namespace {

constexpr int kViewW = 640, kViewH = 480;

LPDIRECTDRAWSURFACE target;
std::vector<DDBltRecord> blits;
int baseline;  // live display objects with no map loaded

// Allocation accounting: the sum of every allocation made while counting.
bool counting;
size_t allocated;
size_t inputsize;

#ifdef VEXIL_FUZZ_ASAN
void OnMalloc(const volatile void*, size_t size) {
    if (counting) allocated += size;
}
void OnFree(const volatile void*) {}
#endif

// The view the draws use now: its place and size on the target.
struct View {
    int x, y, w, h;
};

// Every blit since the last call must have been accepted, onto the target,
// inside the view. Returns how many there were.
size_t CheckBlits(const char* what, int x, int y, const View& v) {
    for (const DDBltRecord& b : blits) {
        const long right = long(b.x) + (b.rect.right - b.rect.left), bottom = long(b.y) + (b.rect.bottom - b.rect.top);
        if (b.result != DD_OK || b.dest != target || long(b.x) < v.x || long(b.y) < v.y || right > v.x + v.w ||
            bottom > v.y + v.h) {
            FuzzFail("%s at (%d, %d) in view %dx%d+%d+%d: blit to (%u, %u) of [%d %d %d %d] (0x%08x)", what, x, y, v.w,
                     v.h, v.x, v.y, b.x, b.y, b.rect.left, b.rect.top, b.rect.right, b.rect.bottom,
                     static_cast<unsigned>(b.result));
        }
    }
    size_t n = blits.size();
    blits.clear();
    return n;
}

int Clamp(int v, int hi) { return v < 0 ? 0 : (v > hi ? hi : v); }

// Draws every layer at (x, y) into view v. The opaque background covers
// every visible cell once: as many columns and rows as the view's clipped
// first block and its size reach.
void DrawAt(int x, int y, const View& v) {
    if (MapSetView(v.x, v.y, v.w, v.h)) FuzzFail("view %dx%d+%d+%d refused", v.w, v.h, v.x, v.y);
    const int bw = mapblockwidth, bh = mapblockheight;
    const int maxx = mapwidth * bw - v.w, maxy = mapheight * bh - v.h;
    const bool drawn = maxx >= 0 && maxy >= 0 && v.x + v.w <= kViewW && v.y + v.h <= kViewH;

    MapDraw8BG(target, x, y);
    size_t n = CheckBlits("MapDraw8BG", x, y, v);
    if (drawn) {
        const size_t cols = size_t(Clamp(x, maxx) % bw + v.w + bw - 1) / bw;
        const size_t rows = size_t(Clamp(y, maxy) % bh + v.h + bh - 1) / bh;
        if (n != cols * rows) FuzzFail("MapDraw8BG at (%d, %d) made %zu blits, not %zu", x, y, n, cols * rows);
    } else if (n) {
        FuzzFail("MapDraw8BG drew a %d x %d map into a view it cannot fill", mapwidth, mapheight);
    }
    MapDrawPara(target, x, y);
    CheckBlits("MapDrawPara", x, y, v);
    MapDraw8BGT(target, x, y);
    CheckBlits("MapDraw8BGT", x, y, v);
    for (int fg = -1; fg <= 3; fg++) {
        MapDraw8FG(target, x, y, fg);
        n = CheckBlits("MapDraw8FG", x, y, v);
        if ((fg < 0 || fg > 2) && n) FuzzFail("MapDraw8FG with layer %d made %zu blits", fg, n);
    }
    // Tile objects and every sprite's frames through the same view.
    MapDrawTileObjects(target, x, y);
    for (int i = 0; i < mapnumsprites; i++) {
        MAPSPRITE f;
        for (int k = 0; k < mapsprites[i].frames && k < 64; k++) {
            if (MapSpriteFrame(&mapsprites[i], k, &f) != 0) FuzzFail("sprite %d has no frame %d", i, k);
            // Near the view's top-left where the scroll position is within
            // reach, else near the map's.
            const int sx = x > -100000 && x < 100000 ? x : 0, sy = y > -100000 && y < 100000 ? y : 0;
            MapDrawSprite(target, x, y, &f, sx + k * 7 - 40, sy + k * 5 - 30, k & 3);
        }
    }
}

// Every object, layer and property the load made is whole: strings end,
// points and lists lie where they say, lookups find what is there.
void WalkObjects() {
    size_t sum = 0;
    auto props = [&](const MAPPROPERTIES& p) {
        for (int i = 0; i < p.count; i++) {
            sum += std::strlen(p.list[i].name) + std::strlen(p.list[i].type) + std::strlen(p.list[i].value);
            if (MapGetProperty(&p, p.list[i].name) == nullptr) FuzzFail("property %s not found", p.list[i].name);
            sum += static_cast<size_t>(MapGetIntProperty(&p, p.list[i].name, 0));
            sum += static_cast<size_t>(MapGetFloatProperty(&p, p.list[i].name, 0) != 0);
        }
    };
    props(mapproperties);
    for (int i = 0; i < mapnumobjlayers; i++) {
        const MAPOBJECTLAYER& l = mapobjlayers[i];
        sum += std::strlen(l.name);
        props(l.props);
        if (MapFindObjectLayer(l.name) == nullptr) FuzzFail("object layer %d not found by name", i);
    }
    for (int i = 0; i < mapnumobjects; i++) {
        const MAPOBJECT& o = mapobjects[i];
        sum += std::strlen(o.name) + std::strlen(o.type) + std::strlen(o.text);
        for (int k = 0; k < 2 * o.numpoints; k++) sum += o.points[k] != 0;
        props(o.props);
        props(o.textstyle);
        if (o.sprite && (o.sprite < mapsprites || o.sprite >= mapsprites + mapnumsprites))
            FuzzFail("object %d shows no sprite of the map", o.id);
        if (MapGetObject(o.id) == nullptr) FuzzFail("object %d not found by id", o.id);
        if (MapFindObject(o.name, i ? &mapobjects[i - 1] : nullptr) != &o)
            FuzzFail("object %d not found by name", o.id);
    }
    for (int i = 0; i < mapnumsprites; i++) sum += std::strlen(mapsprites[i].name) + mapsprites[i].pixels[0];
    volatile size_t keep = sum;
    (void)keep;
}

// Every animation record shows one of its own frames (or the entry it starts
// on when it has none), and every frame entry designates a block structure.
void CheckAnims(const char* when) {
    if (!mapanimrelpt) return;
    MAPBLOCK** const list = reinterpret_cast<MAPBLOCK**>(mapanimrelpt);
    const MAPBLOCK* const blocks = reinterpret_cast<MAPBLOCK*>(mapblkrelpt);
    for (int k = 0; reinterpret_cast<char*>(MapAnim(k)) >= mapanimrelpt && MapAnim(k)->antype != -1; k++) {
        const MAPANIM* a = MapAnim(k);
        const bool inside = a->anstartoff == a->anendoff ? a->ancuroff == a->anstartoff
                                                         : a->ancuroff >= a->anstartoff && a->ancuroff < a->anendoff;
        if (!inside || a->anstartoff < list || a->anendoff > reinterpret_cast<MAPBLOCK**>(MapAnim(k))) {
            FuzzFail("%s: animation %d shows frame %td of frames %td to %td (type %d)", when, k, a->ancuroff - list,
                     a->anstartoff - list, a->anendoff - list, a->antype);
        }
        const MAPBLOCK* b = *a->ancuroff;
        if (b < blocks || b >= blocks + mapnumblockstr) {
            FuzzFail("%s: animation %d shows no block structure", when, k);
        }
    }
}

uint64_t Hash(const uint8_t* data, size_t size) {
    uint64_t h = 1469598103934665603ull;
    for (size_t i = 0; i < size; i++) h = (h ^ data[i]) * 1099511628211ull;
    return h;
}

}  // namespace

void FuzzFail(const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    std::fputs("fuzz check failed: ", stderr);
    std::vfprintf(stderr, fmt, args);
    std::fputc('\n', stderr);
    va_end(args);
    std::abort();
}

void FuzzSetUp() {
    if (lpDD) return;
    if (DirectDrawCreate(nullptr, &lpDD, nullptr) != DD_OK) FuzzFail("DirectDrawCreate failed");
    if (DDCreatePlainSurface(lpDD, kViewW, kViewH, &target) != DD_OK) FuzzFail("cannot create the target");
    // One draw makes at most one blit per pixel of the target.
    blits.reserve(kViewW * kViewH);
    DDSetBltLog(&blits);
    baseline = DDLiveObjects();
#ifdef VEXIL_FUZZ_ASAN
    __sanitizer_install_malloc_and_free_hooks(OnMalloc, OnFree);
#endif
}

void FuzzBeginAllocations(size_t size) {
    inputsize = size;
    allocated = 0;
    counting = true;
}

void FuzzEndAllocations() {
    counting = false;
    // The loaders copy each chunk once and relocate the block structures and
    // animation data at twice their size. The tile surfaces share the
    // graphics' pixels but each has a surface object and a table entry, and
    // the parallax surface is four blocks. A file load adds the stdio buffer.
    size_t surfaces = 0;
    if (maptilespt) {  // the map loaded: its header values are checked
        const size_t perGraphic = sizeof(IDirectDrawSurface) + sizeof(LPDIRECTDRAWSURFACE);
        surfaces = (size_t(mapnumblockgfx) + 1) * perGraphic + size_t(2 * mapblockwidth + 15) * 2 * mapblockheight;
    }
    const size_t limit = 4 * inputsize + 64 * 1024 + surfaces;
    if (allocated > limit) {
        FuzzFail("an input of %zu bytes made the library allocate %zu bytes (limit %zu)", inputsize, allocated, limit);
    }
}

void FuzzExercise(const uint8_t* data, size_t size) {
    const uint64_t h = Hash(data, size);
    const int bw = mapblockwidth, bh = mapblockheight;
    // The whole target, a view of one pixel, one a block wide or high (less
    // where the block is larger than the target), one that spills over the
    // target's edge and is refused.
    const int side = static_cast<int>(h >> 32 & 0xFF) + 1;
    const View views[] = {
        {0, 0, kViewW, kViewH},
        {static_cast<int>(h % 600), static_cast<int>((h >> 12) % 400), 1, 1},
        {3, 17, bw < kViewW - 3 ? bw : kViewW - 3, side},
        {11, 5, side, bh < kViewH - 5 ? bh : kViewH - 5},
        {kViewW - side, 0, side + 1, 10},
    };
    const View& v = views[h % 5];
    const int maxx = mapwidth * bw - v.w, maxy = mapheight * bh - v.h;
    const int spanx = (maxx > 0 ? maxx : 0) + 64, spany = (maxy > 0 ? maxy : 0) + 64;

    // Inside the map or just outside it, its mirror image, and far outside.
    const int x0 = static_cast<int>(h % spanx) - 32, y0 = static_cast<int>((h >> 20) % spany) - 32;
    const int x1 = maxx - x0, y1 = maxy - y0;
    const int x2 =
        (h >> 40) & 1 ? INT_MAX - static_cast<int>((h >> 44) & 0xFF) : INT_MIN + static_cast<int>((h >> 44) & 0xFF);
    const int y2 =
        (h >> 41) & 1 ? INT_MAX - static_cast<int>((h >> 52) & 0xFF) : -static_cast<int>((h >> 52) & 0xFFF) - 1;

    WalkObjects();
    blits.clear();  // the parallax fill of the load
    CheckAnims("after the load");
    MapInitAnims();
    CheckAnims("after MapInitAnims");
    DrawAt(x0, y0, views[0]);
    const int steps = 1 + static_cast<int>((h >> 60) & 7);
    for (int i = 0; i < steps; i++) MapUpdateAnims();
    CheckAnims("after MapUpdateAnims");
    DrawAt(x1, y1, v);
    for (int i = 0; i < 130; i++) {  // past the longest countdown
        MapUpdateAnims();
        CheckAnims("after MapUpdateAnims");
    }
    DrawAt(x2, y2, v);
    MapSetView(0, 0, kViewW, kViewH);
}

void FuzzFinish() {
    MapFreeMem();
    if (DDLiveObjects() != baseline) {
        FuzzFail("%d display objects alive after MapFreeMem, %d before the load", DDLiveObjects(), baseline);
    }
}
