// Block animation: resets and steps the relocated animation records.
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

// Forward ping-pong step. Past the last entry it turns to the entry before
// the last (or stays on a single entry) and takes the type `turned`.
void MapStepOut(MAPANIM& a, signed char turned) {
    if (++a.ancuroff != a.anendoff) return;
    a.ancuroff = (a.anendoff - a.anstartoff >= 2) ? a.anendoff - 2 : a.anstartoff;
    a.antype = turned;
}

// Backward ping-pong step. Before the first entry it turns to the entry after
// the first (or stays on a single entry) and takes the type `turned`.
void MapStepBack(MAPANIM& a, signed char turned) {
    if (a.ancuroff != a.anstartoff) {
        --a.ancuroff;
        return;
    }
    a.ancuroff = (a.anendoff - a.anstartoff >= 2) ? a.anstartoff + 1 : a.anstartoff;
    a.antype = turned;
}

// One step of the record's type; the record has at least one entry.
void MapStep(MAPANIM& a) {
    MAPBLOCK** const s = a.anstartoff;
    MAPBLOCK** const e = a.anendoff;
    if (a.antype < ANTYPE_LOOP_FWD || a.antype > ANTYPE_PINGPONG_FWD_RET) return;
    // Records are relocated onto one of their entries and every rule keeps
    // them there; an application that moved ancuroff away gets it reset
    // rather than a walk that never meets its bound.
    if (a.ancuroff < s || a.ancuroff >= e) a.ancuroff = s;
    switch (a.antype) {
    case ANTYPE_LOOP_FWD:
        if (++a.ancuroff == e) a.ancuroff = s;
        break;
    case ANTYPE_LOOP_BACK:
        a.ancuroff = (a.ancuroff == s) ? e - 1 : a.ancuroff - 1;
        break;
    case ANTYPE_ONCE:
        if (++a.ancuroff == e) {
            a.antype = ANTYPE_ONCE_DONE;
            a.ancuroff = s;
        }
        break;
    case ANTYPE_ONCE_HOLD:
        if (a.ancuroff != e - 1) ++a.ancuroff;
        break;
    case ANTYPE_PINGPONG_FWD_OUT:
        MapStepOut(a, ANTYPE_PINGPONG_FWD_RET);
        break;
    case ANTYPE_PINGPONG_BACK_RET:
        MapStepOut(a, ANTYPE_PINGPONG_BACK_OUT);
        break;
    case ANTYPE_PINGPONG_BACK_OUT:
        MapStepBack(a, ANTYPE_PINGPONG_BACK_RET);
        break;
    case ANTYPE_PINGPONG_FWD_RET:
        MapStepBack(a, ANTYPE_PINGPONG_FWD_OUT);
        break;
    }
}

}  // namespace

// Puts every animation back to its start: returning ping-pongs and finished
// play-once records take their first type again, the countdown is reloaded.
void MapInitAnims() {
    MapEachAnim([](MAPANIM& a) {
        if (a.antype == ANTYPE_PINGPONG_FWD_RET) a.antype = ANTYPE_PINGPONG_FWD_OUT;
        else if (a.antype == ANTYPE_PINGPONG_BACK_RET) a.antype = ANTYPE_PINGPONG_BACK_OUT;
        else if (a.antype == ANTYPE_ONCE_DONE) a.antype = ANTYPE_ONCE;

        const bool backward = a.antype == ANTYPE_LOOP_BACK || a.antype == ANTYPE_PINGPONG_BACK_OUT;
        a.ancuroff = (backward && a.anstartoff != a.anendoff) ? a.anendoff - 1 : a.anstartoff;
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
        if (a.anstartoff != a.anendoff) MapStep(a);
    });
}
