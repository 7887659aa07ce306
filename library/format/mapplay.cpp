// The play-back of an animation over one cycle, stepped by the library's rule.
#include "mapplay.h"

std::vector<int> MapAnimCycle(const MAPANIMDESC& a) {
    if (a.start == a.end) return {a.start};
    signed char type = a.antype;
    int cur = MapAnimReset(type, a.start, a.end);
    // Long enough to hold two of the longest cycle (a ping-pong's 2n - 2).
    const size_t n = static_cast<size_t>(a.end - a.start), len = 4 * n + 4;
    std::vector<int> seq = {cur};
    while (seq.size() < len && MapAnimSteps(type)) {
        MapAnimStep(type, cur, a.start, a.end);
        if (type == ANTYPE_ONCE_DONE) return seq;  // played once: stops
        seq.push_back(cur);
    }
    if (seq.size() < len) return seq;  // a type that does not step
    // The shortest period of the sequence, from its longest border.
    std::vector<size_t> border(len + 1, 0);
    for (size_t i = 1, k = 0; i < len; i++) {
        while (k && seq[i] != seq[k]) k = border[k];
        if (seq[i] == seq[k]) k++;
        border[i + 1] = k;
    }
    const size_t period = len - border[len];
    if (2 * period <= len) return {seq.begin(), seq.begin() + static_cast<ptrdiff_t>(period)};
    // No period: it comes to rest on its last entry.
    size_t last = len - 1;
    while (last > 0 && seq[last - 1] == seq[last]) last--;
    return {seq.begin(), seq.begin() + static_cast<ptrdiff_t>(last + 1)};
}
