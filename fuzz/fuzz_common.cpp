// Shared part of the fuzz targets: display set-up, allocation accounting and
// the run of a loaded map through animation and drawing.
#include "fuzz_common.h"

#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <vector>

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

// Every blit since the last call must have been accepted, onto the target.
// Returns how many there were.
size_t CheckBlits(const char* what, int x, int y) {
    for (const DDBltRecord& b : blits) {
        if (b.result != DD_OK || b.dest != target) {
            FuzzFail("%s at (%d, %d): blit to (%u, %u) of [%d %d %d %d] refused (0x%08x)", what, x, y, b.x, b.y,
                     b.rect.left, b.rect.top, b.rect.right, b.rect.bottom, static_cast<unsigned>(b.result));
        }
    }
    size_t n = blits.size();
    blits.clear();
    return n;
}

int Clamp(int v, int hi) { return v < 0 ? 0 : (v > hi ? hi : v); }

// Draws every layer at (x, y). The opaque background covers every visible
// cell once: 40 or 41 columns by 30 or 31 rows, by the clipping.
void DrawAt(int x, int y) {
    const int maxx = mapwidth * 16 - kViewW, maxy = mapheight * 16 - kViewH;
    const bool drawn = maxx >= 0 && maxy >= 0;

    MapDraw8BG(target, x, y);
    size_t n = CheckBlits("MapDraw8BG", x, y);
    if (drawn) {
        size_t want = size_t(Clamp(x, maxx) % 16 ? 41 : 40) * (Clamp(y, maxy) % 16 ? 31 : 30);
        if (n != want) FuzzFail("MapDraw8BG at (%d, %d) made %zu blits, not %zu", x, y, n, want);
    } else if (n) {
        FuzzFail("MapDraw8BG drew a %d x %d map smaller than the view", mapwidth, mapheight);
    }
    MapDrawPara(target, x, y);
    CheckBlits("MapDrawPara", x, y);
    MapDraw8BGT(target, x, y);
    CheckBlits("MapDraw8BGT", x, y);
    for (int fg = -1; fg <= 3; fg++) {
        MapDraw8FG(target, x, y, fg);
        n = CheckBlits("MapDraw8FG", x, y);
        if ((fg < 0 || fg > 2) && n) FuzzFail("MapDraw8FG with layer %d made %zu blits", fg, n);
    }
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
            FuzzFail("%s: animation %d shows frame %td of frames %td to %td (type %d)", when, k,
                     a->ancuroff - list, a->anstartoff - list, a->anendoff - list, a->antype);
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
    // One draw makes at most 41 x 31 blits; the log never grows after this.
    blits.reserve(41 * 31);
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
    // animation data at twice their size; tile surfaces cost about twice
    // their graphics. A file load adds the stdio buffer.
    const size_t limit = 4 * inputsize + 64 * 1024;
    if (allocated > limit) {
        FuzzFail("an input of %zu bytes made the library allocate %zu bytes (limit %zu)", inputsize, allocated,
                 limit);
    }
}

void FuzzExercise(const uint8_t* data, size_t size) {
    const uint64_t h = Hash(data, size);
    const int maxx = mapwidth * 16 - kViewW, maxy = mapheight * 16 - kViewH;
    const int spanx = (maxx > 0 ? maxx : 0) + 64, spany = (maxy > 0 ? maxy : 0) + 64;

    // Inside the map or just outside it, its mirror image, and far outside.
    const int x0 = static_cast<int>(h % spanx) - 32, y0 = static_cast<int>((h >> 20) % spany) - 32;
    const int x1 = maxx - x0, y1 = maxy - y0;
    const int x2 = (h >> 40) & 1 ? INT_MAX - static_cast<int>((h >> 44) & 0xFF) : INT_MIN + static_cast<int>((h >> 44) & 0xFF);
    const int y2 = (h >> 41) & 1 ? INT_MAX - static_cast<int>((h >> 52) & 0xFF) : -static_cast<int>((h >> 52) & 0xFFF) - 1;

    blits.clear();  // the parallax fill of the load
    CheckAnims("after the load");
    MapInitAnims();
    CheckAnims("after MapInitAnims");
    DrawAt(x0, y0);
    const int steps = 1 + static_cast<int>((h >> 60) & 7);
    for (int i = 0; i < steps; i++) MapUpdateAnims();
    CheckAnims("after MapUpdateAnims");
    DrawAt(x1, y1);
    for (int i = 0; i < 130; i++) {  // past the longest countdown
        MapUpdateAnims();
        CheckAnims("after MapUpdateAnims");
    }
    DrawAt(x2, y2);
}

void FuzzFinish() {
    MapFreeMem();
    if (DDLiveObjects() != baseline) {
        FuzzFail("%d display objects alive after MapFreeMem, %d before the load", DDLiveObjects(), baseline);
    }
}
