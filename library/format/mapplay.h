// mapplay: how a block animation plays. One rule for the map library, which
// resets and steps the loaded map's animations, and for the converter, which
// plays an animation back to give Tiled the same frames. A position is a
// frame entry: a pointer into the relocated frame list for the library, an
// index into the frame list for the converter.
#pragma once

#include <vector>

#include "mapformat.h"

// Resets an animation over the entries [s, e): a returning ping-pong or a
// finished play-once takes its first type again. The entry it starts on:
// the last for the backward types, else the first.
template <class P>
inline P MapAnimReset(signed char& antype, P s, P e) {
    if (antype == ANTYPE_PINGPONG_FWD_RET)
        antype = ANTYPE_PINGPONG_FWD_OUT;
    else if (antype == ANTYPE_PINGPONG_BACK_RET)
        antype = ANTYPE_PINGPONG_BACK_OUT;
    else if (antype == ANTYPE_ONCE_DONE)
        antype = ANTYPE_ONCE;
    const bool backward = antype == ANTYPE_LOOP_BACK || antype == ANTYPE_PINGPONG_BACK_OUT;
    return (backward && s != e) ? e - 1 : s;
}

// Whether an animation of this type moves when it steps.
inline bool MapAnimSteps(signed char antype) { return antype >= ANTYPE_LOOP_FWD && antype <= ANTYPE_PINGPONG_FWD_RET; }

// A ping-pong's step out towards the end: past the last entry it turns to
// the one before it (or stays on a single entry) and takes the type `turned`.
template <class P>
inline void MapAnimStepOut(signed char& antype, P& cur, P s, P e, signed char turned) {
    if (++cur != e) return;
    cur = (e - s >= 2) ? e - 2 : s;
    antype = turned;
}

// A ping-pong's step back towards the start: before the first entry it turns
// to the one after it (or stays on a single entry) and takes the type `turned`.
template <class P>
inline void MapAnimStepBack(signed char& antype, P& cur, P s, P e, signed char turned) {
    if (cur != s) {
        --cur;
        return;
    }
    cur = (e - s >= 2) ? s + 1 : s;
    antype = turned;
}

// One step of an animation over the entries [s, e), at least one. A position
// outside them (moved there by a program) starts again at the first, so no
// rule walks past its bound. A play-once past its last entry shows its first
// and is done.
template <class P>
inline void MapAnimStep(signed char& antype, P& cur, P s, P e) {
    if (!MapAnimSteps(antype)) return;
    if (cur < s || cur >= e) cur = s;
    switch (antype) {
        case ANTYPE_LOOP_FWD:
            if (++cur == e) cur = s;
            break;
        case ANTYPE_LOOP_BACK:
            cur = (cur == s) ? e - 1 : cur - 1;
            break;
        case ANTYPE_ONCE:
            if (++cur == e) {
                antype = ANTYPE_ONCE_DONE;
                cur = s;
            }
            break;
        case ANTYPE_ONCE_HOLD:
            if (cur != e - 1) ++cur;
            break;
        case ANTYPE_PINGPONG_FWD_OUT:
            MapAnimStepOut(antype, cur, s, e, ANTYPE_PINGPONG_FWD_RET);
            break;
        case ANTYPE_PINGPONG_BACK_RET:
            MapAnimStepOut(antype, cur, s, e, ANTYPE_PINGPONG_BACK_OUT);
            break;
        case ANTYPE_PINGPONG_BACK_OUT:
            MapAnimStepBack(antype, cur, s, e, ANTYPE_PINGPONG_BACK_RET);
            break;
        case ANTYPE_PINGPONG_FWD_RET:
            MapAnimStepBack(antype, cur, s, e, ANTYPE_PINGPONG_FWD_OUT);
            break;
    }
}

// Calls of MapUpdateAnims between two steps for a delay byte: andelay + 1,
// 129 for -128 (the countdown is a signed byte that wraps), and 1 for the
// other negative delays.
inline int MapAnimStepCalls(signed char andelay) { return andelay >= 0 ? andelay + 1 : andelay == -128 ? 129 : 1; }

// The frame entries an animation shows from a reset, one a step, over one
// cycle: what a loop must play to show the same. For an animation that
// stops (play-once, or a type that does not step) the entries up to where
// it stops; for one that comes to rest (play-once-and-hold) up to its last
// entry. An animation without frame entries shows the entry it starts on.
std::vector<int> MapAnimCycle(const MAPANIMDESC& a);
