// Block animation: resets and steps the relocated animation records.
#include "mapplay.h"
#include "vexildx.h"

namespace {

// Calls f on every relocated animation record, animation 0 first, up to the
// end record. The walk also stops at the start of the relocated data, so a
// damaged record list can never take it outside.
template <class F>
void MapEachAnim(F&& f) {
    if (!mapanimrelpt) return;
    const ptrdiff_t slots = (mapanimrelendpt - mapanimrelpt) / static_cast<ptrdiff_t>(sizeof(MAPANIM));
    MAPANIM* a = reinterpret_cast<MAPANIM*>(mapanimrelendpt);
    for (ptrdiff_t k = 0; k < slots; k++) {
        --a;
        if (a->antype == -1) return;
        f(*a);
    }
}

}  // namespace

// Puts every animation back to its start (mapplay.h): returning ping-pongs
// and finished play-once records take their first type again, the countdown
// is reloaded.
void MapInitAnims() {
    MapEachAnim([](MAPANIM& a) {
        a.ancuroff = MapAnimReset(a.antype, a.anstartoff, a.anendoff);
        a.ancount = a.andelay;
    });
}

// Runs every countdown once and steps the records whose countdown went below
// zero. The countdown is a signed byte that wraps, so a delay byte of -128
// waits 128 calls and other negative delays step on every call.
void MapUpdateAnims() {
    MapEachAnim([](MAPANIM& a) {
        if (a.antype == ANTYPE_NONE) return;
        a.ancount = static_cast<signed char>(static_cast<unsigned char>(a.ancount) - 1u);
        if (a.ancount >= 0) return;
        a.ancount = a.andelay;
        if (a.anstartoff != a.anendoff) MapAnimStep(a.antype, a.ancuroff, a.anstartoff, a.anendoff);
    });
}
