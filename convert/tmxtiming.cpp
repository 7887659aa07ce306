// Animation timing for the importer: Tiled's frame durations in steps of
// 1/60 s, a cell's stacks followed over the common cycle of its animations,
// the frame entries that play them, and what Tiled plays for an animation of
// the map format (mapplay.h steps it as the library does).
#include <algorithm>
#include <map>
#include <numeric>

#include "mapplay.h"
#include "tmximport.h"

bool SameStack(const Stack& a, const Stack& b) {
    return !std::memcmp(a.comp, b.comp, sizeof a.comp) && !std::memcmp(&a.rec, &b.rec, sizeof a.rec);
}

int64_t Steps(int64_t ms) { return std::max<int64_t>(1, (ms * 6 + 50) / 100); }

int64_t FrameSteps(int64_t unit) {
    for (int64_t d = std::min<int64_t>(unit, 128); d > 1; d--) {
        if (unit % d == 0) return d;
    }
    return 1;
}

Piece Importer::MakePiece(const Fragment& f, const TileRef& ref, int slot, double opacity) {
    Piece p;
    p.slot = slot;
    p.opacity = opacity;
    p.ref = ref;
    p.dx = f.dx;
    p.dy = f.dy;
    p.h = TileSize(ref).second;
    p.def = Def(ref);
    if (p.def && !p.def->anim.empty()) {
        const TmxTileset& ts = map.tilesets[ref.ts];
        for (auto [id, ms] : p.def->anim) {
            // A frame the tileset lacks draws nothing, as Tiled draws its
            // missing-tile marker there.
            const bool known =
                ts.image.empty() ? Def({ref.ts, id, 0}) && !Def({ref.ts, id, 0})->image.empty() : id < ImageTiles(ts);
            if (!known)
                map.warnings.Add("animation frames that name a tile their tileset lacks (drawn empty)", ts.name);
            const int64_t steps = Steps(ms);
            p.frames.push_back({TileRef{ref.ts, id, ref.flips}, static_cast<int>(steps)});
            p.period += steps;
            if (p.period > options.limits.maxsteps) {
                TmxThrow(ts.file, "tile %d: its animation lasts more than %lld steps of 1/60 s", ref.id,
                         static_cast<long long>(options.limits.maxsteps));
            }
        }
    }
    return p;
}

Timeline Importer::Follow(const std::vector<Piece>& pieces, const std::string& where) {
    Timeline tl;
    int64_t cycle = 1;
    for (const Piece& p : pieces) {
        if (p.frames.empty()) continue;
        cycle = std::lcm(cycle, p.period);
        if (cycle > options.limits.maxsteps) {
            TmxThrow(map.file, "the animations %s repeat only after more than %lld steps of 1/60 s", where.c_str(),
                     static_cast<long long>(options.limits.maxsteps));
        }
    }
    std::vector<size_t> frame(pieces.size(), 0);
    if (std::all_of(pieces.begin(), pieces.end(), [](const Piece& p) { return p.frames.empty(); })) {
        tl.segments.push_back({MakeStack(pieces, frame), 0});
        return tl;
    }
    // Step from one frame change to the next; `left` counts down the
    // current frame of each animated piece.
    // A stack depends only on the frames its pieces are on, and those
    // combinations come back many times over a cycle: each is made once.
    std::vector<int64_t> left(pieces.size(), INT64_MAX);
    for (size_t i = 0; i < pieces.size(); i++) {
        if (!pieces[i].frames.empty()) left[i] = pieces[i].frames[0].second;
    }
    std::map<std::vector<size_t>, Stack> made;
    for (int64_t t = 0; t < cycle;) {
        if (++changes > options.limits.maxframes) {
            TmxThrow(map.file, "the animations need more than %lld frame entries",
                     static_cast<long long>(options.limits.maxframes));
        }
        const int64_t len = std::min(*std::min_element(left.begin(), left.end()), cycle - t);
        auto it = made.find(frame);
        if (it == made.end()) it = made.emplace(frame, MakeStack(pieces, frame)).first;
        const Stack& s = it->second;
        if (!tl.segments.empty() && SameStack(tl.segments.back().first, s))
            tl.segments.back().second += len;
        else
            tl.segments.push_back({s, len});
        t += len;
        for (size_t i = 0; i < pieces.size(); i++) {
            if (pieces[i].frames.empty()) continue;
            left[i] -= len;
            if (left[i] == 0) {
                frame[i] = (frame[i] + 1) % pieces[i].frames.size();
                left[i] = pieces[i].frames[frame[i]].second;
            }
        }
    }
    if (tl.segments.size() == 1) tl.segments[0].second = 0;
    return tl;
}

// What Tiled plays for an animation of the map format: the entries of one
// cycle from a reset (MapAnimCycle), each as long as the library shows it.
std::vector<std::pair<int, int>> TmxTiledFrames(const MAPANIMDESC& a, const std::vector<int32_t>& frames) {
    const int ms = (MapAnimStepCalls(a.andelay) * 1000 + 30) / 60;
    std::vector<std::pair<int, int>> out;
    for (int e : MapAnimCycle(a)) out.emplace_back(frames[static_cast<size_t>(e)] / 32, ms);
    return out;
}
