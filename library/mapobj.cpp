// The loaded map's objects, properties and sprite images as the C view of
// vexildx.h: arrays made once per load over the stored description, and
// the lookups that walk them.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>

#include "mapinternal.h"

MAPPROPERTIES mapproperties;         // the map's own properties
int mapnumobjlayers;                 // object layers and groups
const MAPOBJECTLAYER* mapobjlayers;  // in Tiled's order
int mapnumobjects;                   // objects of every layer
const MAPOBJECT* mapobjects;         // layer after layer
int mapnumsprites;                   // sprite images
const MAPSPRITE* mapsprites;         // sheets, then tile objects' images

namespace {

// The arrays the view points into; they live as long as the stored map.
struct MapObjectStore {
    std::vector<MAPPROPERTY> props;
    std::vector<MAPOBJECTLAYER> layers;
    std::vector<MAPOBJECT> objects;
    std::vector<MAPSPRITE> sprites;
    std::vector<const MAPOBJECT*> byid;  // sorted by id
    std::vector<MapTileObject> drawn;
};
MapObjectStore store;

// Appends `from` to the store's properties, which were given room for all
// of them beforehand, so that the lists stay where they are; each list in
// order of the names for the lookups (a file need not keep them so).
MAPPROPERTIES Props(const std::vector<MAPPROP>& from) {
    if (from.empty()) return {0, nullptr};
    const size_t first = store.props.size();
    for (const MAPPROP& q : from) store.props.push_back({q.name.c_str(), q.type.c_str(), q.value.c_str()});
    std::stable_sort(store.props.begin() + static_cast<ptrdiff_t>(first), store.props.end(),
                     [](const MAPPROPERTY& a, const MAPPROPERTY& b) { return std::strcmp(a.name, b.name) < 0; });
    return {static_cast<int>(from.size()), store.props.data() + first};
}

// Whether a layer and every group it is in are shown.
bool Shown(const MAPOBJECTLAYER* l) {
    for (; l; l = l->parent) {
        if (!l->visible) return false;
    }
    return true;
}

// Where a tile object's image lands: its top-left in map pixels, its layers'
// offsets added; false when it is not drawn.
bool Place(const MAPOBJECT& o, MapTileObject& t) {
    const MAPSPRITE* s = o.sprite;
    if (!o.visible || !s || o.rotation != 0 || (o.flips & MAPSPRITE_FLIPD)) return false;
    if (o.width != s->width || o.height != s->height) return false;
    double x = o.x - s->originx, y = o.y - s->originy;
    for (const MAPOBJECTLAYER* l = o.layer; l; l = l->parent) x += l->offsetx, y += l->offsety;
    x = std::floor(x + 0.5), y = std::floor(y + 0.5);
    if (std::fabs(x) > 1e9 || std::fabs(y) > 1e9) return false;
    t = {s, static_cast<int>(x), static_cast<int>(y), o.flips};
    return true;
}

void Publish() {
    const MAPDESC& d = mapstore.desc;
    for (const MAPSPRITEDESC& s : d.sprites) {
        const int frames = (s.width / s.framewidth) * (s.height / s.frameheight);
        store.sprites.push_back({s.name.c_str(), s.width, s.height, s.framewidth, s.frameheight, frames, s.originx,
                                 s.originy, s.width, s.pixels.data()});
    }
    size_t nobjects = 0, nprops = d.props.size();
    for (const MAPOBJLAYERDESC& l : d.objlayers) {
        nobjects += l.objects.size();
        nprops += l.props.size();
        for (const MAPOBJDESC& o : l.objects) nprops += o.props.size() + o.textstyle.size();
    }
    store.props.reserve(nprops);
    mapproperties = Props(d.props);
    store.layers.reserve(d.objlayers.size());
    store.objects.reserve(nobjects);
    for (const MAPOBJLAYERDESC& l : d.objlayers) {
        MAPOBJECTLAYER out{};
        out.id = l.id;
        out.name = l.name.c_str();
        out.group = l.group;
        out.visible = l.visible;
        out.above = l.above;
        out.indexorder = l.indexorder;
        out.opacity = l.opacity;
        out.offsetx = l.offsetx;
        out.offsety = l.offsety;
        out.parent = l.parent >= 0 ? &store.layers[static_cast<size_t>(l.parent)] : nullptr;
        out.props = Props(l.props);
        out.numobjects = static_cast<int>(l.objects.size());
        out.objects = store.objects.data() + store.objects.size();
        store.layers.push_back(out);
        for (const MAPOBJDESC& o : l.objects) {
            MAPOBJECT m{};
            m.id = o.id;
            m.name = o.name.c_str();
            m.type = o.type.c_str();
            m.x = o.x, m.y = o.y, m.width = o.width, m.height = o.height, m.rotation = o.rotation;
            m.visible = o.visible;
            m.shape = o.shape;
            m.numpoints = static_cast<int>(o.points.size() / 2);
            m.points = o.points.empty() ? nullptr : o.points.data();
            m.text = o.text.c_str();
            m.textstyle = Props(o.textstyle);
            m.sprite = o.sprite >= 0 ? &store.sprites[static_cast<size_t>(o.sprite)] : nullptr;
            m.flips = (o.gid & 0x80000000u ? MAPSPRITE_FLIPX : 0) | (o.gid & 0x40000000u ? MAPSPRITE_FLIPY : 0) |
                      (o.gid & 0x20000000u ? MAPSPRITE_FLIPD : 0);
            m.props = Props(o.props);
            m.layer = &store.layers.back();
            store.objects.push_back(m);
        }
    }
    for (const MAPOBJECT& o : store.objects) store.byid.push_back(&o);
    std::stable_sort(store.byid.begin(), store.byid.end(),
                     [](const MAPOBJECT* a, const MAPOBJECT* b) { return a->id < b->id; });

    // The tile objects as Tiled draws them: a layer's by y, top down (ties
    // keep their order), unless it draws them in their order.
    for (const MAPOBJECTLAYER& l : store.layers) {
        if (!l.numobjects || !Shown(&l)) continue;
        const size_t first = store.drawn.size();
        std::vector<double> ys;
        for (int i = 0; i < l.numobjects; i++) {
            MapTileObject t;
            if (!Place(l.objects[i], t)) continue;
            store.drawn.push_back(t);
            ys.push_back(l.objects[i].y);
        }
        if (l.indexorder) continue;
        std::vector<size_t> order(ys.size());
        for (size_t i = 0; i < order.size(); i++) order[i] = i;
        std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return ys[a] < ys[b]; });
        std::vector<MapTileObject> sorted;
        for (size_t i : order) sorted.push_back(store.drawn[first + i]);
        std::copy(sorted.begin(), sorted.end(), store.drawn.begin() + static_cast<ptrdiff_t>(first));
    }

    mapnumobjlayers = static_cast<int>(store.layers.size());
    mapobjlayers = store.layers.empty() ? nullptr : store.layers.data();
    mapnumobjects = static_cast<int>(store.objects.size());
    mapobjects = store.objects.empty() ? nullptr : store.objects.data();
    mapnumsprites = static_cast<int>(store.sprites.size());
    mapsprites = store.sprites.empty() ? nullptr : store.sprites.data();
    maptileobjects = store.drawn.empty() ? nullptr : store.drawn.data();
    mapnumtileobjects = static_cast<int>(store.drawn.size());
}

bool Same(const char* a, const char* b) { return a && b && std::strcmp(a, b) == 0; }

}  // namespace

const MapTileObject* maptileobjects;
int mapnumtileobjects;

void MapFreeObjects() {
    store = MapObjectStore{};
    mapproperties = {0, nullptr};
    mapnumobjlayers = mapnumobjects = mapnumsprites = mapnumtileobjects = 0;
    mapobjlayers = nullptr;
    mapobjects = nullptr;
    mapsprites = nullptr;
    maptileobjects = nullptr;
}

int MapPublishObjects() {
    MapFreeObjects();
    try {
        Publish();
    } catch (const std::bad_alloc&) {
        MapFreeObjects();
        return -1;
    }
    return 0;
}

const MAPOBJECTLAYER* MapFindObjectLayer(const char* name) {
    for (int i = 0; i < mapnumobjlayers; i++) {
        if (Same(mapobjlayers[i].name, name)) return &mapobjlayers[i];
    }
    return nullptr;
}

// The first object from the one after `after` for which `match` holds.
template <class Match>
static const MAPOBJECT* MapNextObject(const MAPOBJECT* after, Match match) {
    ptrdiff_t i = 0;
    if (after) {
        if (!mapobjects || after < mapobjects || after >= mapobjects + mapnumobjects) return nullptr;
        i = after - mapobjects + 1;
    }
    for (; i < mapnumobjects; i++) {
        if (match(mapobjects[i])) return &mapobjects[i];
    }
    return nullptr;
}

const MAPOBJECT* MapFindObject(const char* name, const MAPOBJECT* after) {
    return MapNextObject(after, [name](const MAPOBJECT& o) { return Same(o.name, name); });
}

const MAPOBJECT* MapFindObjectOfType(const char* type, const MAPOBJECT* after) {
    return MapNextObject(after, [type](const MAPOBJECT& o) { return Same(o.type, type); });
}

const MAPOBJECT* MapGetObject(int id) {
    const auto at =
        std::lower_bound(store.byid.begin(), store.byid.end(), id, [](const MAPOBJECT* o, int v) { return o->id < v; });
    return at != store.byid.end() && (*at)->id == id ? *at : nullptr;
}

const MAPPROPERTY* MapGetProperty(const MAPPROPERTIES* props, const char* name) {
    if (!props) props = &mapproperties;
    if (!name) return nullptr;
    const MAPPROPERTY* end = props->list + props->count;
    const MAPPROPERTY* at = std::lower_bound(
        props->list, end, name, [](const MAPPROPERTY& p, const char* n) { return std::strcmp(p.name, n) < 0; });
    return at != end && std::strcmp(at->name, name) == 0 ? at : nullptr;
}

int MapGetIntProperty(const MAPPROPERTIES* props, const char* name, int def) {
    const MAPPROPERTY* p = MapGetProperty(props, name);
    if (!p) return def;
    if (Same(p->type, "int") || Same(p->type, "object")) return static_cast<int>(std::strtol(p->value, nullptr, 10));
    if (Same(p->type, "float")) {
        const double v = std::strtod(p->value, nullptr);
        return v > -2147483649.0 && v < 2147483648.0 ? static_cast<int>(v) : def;
    }
    return def;
}

double MapGetFloatProperty(const MAPPROPERTIES* props, const char* name, double def) {
    const MAPPROPERTY* p = MapGetProperty(props, name);
    return p && (Same(p->type, "float") || Same(p->type, "int")) ? std::strtod(p->value, nullptr) : def;
}

int MapGetBoolProperty(const MAPPROPERTIES* props, const char* name, int def) {
    const MAPPROPERTY* p = MapGetProperty(props, name);
    return p && Same(p->type, "bool") ? Same(p->value, "true") : def;
}

const char* MapGetStringProperty(const MAPPROPERTIES* props, const char* name, const char* def) {
    const MAPPROPERTY* p = MapGetProperty(props, name);
    return p ? p->value : def;
}

const MAPSPRITE* MapFindSprite(const char* name) {
    for (int i = 0; i < mapnumsprites; i++) {
        if (Same(mapsprites[i].name, name)) return &mapsprites[i];
    }
    return nullptr;
}

int MapSpriteFrame(const MAPSPRITE* sheet, int frame, MAPSPRITE* out) {
    if (!sheet || !out || !sheet->pixels || frame < 0 || frame >= sheet->frames || sheet->framewidth < 1 ||
        sheet->frameheight < 1) {
        return -1;
    }
    const int cols = sheet->width / sheet->framewidth;
    *out = *sheet;
    out->width = out->framewidth = sheet->framewidth;
    out->height = out->frameheight = sheet->frameheight;
    out->frames = 1;
    out->pixels = sheet->pixels + static_cast<ptrdiff_t>(frame / cols) * sheet->frameheight * sheet->pitch +
                  static_cast<ptrdiff_t>(frame % cols) * sheet->framewidth;
    return 0;
}

int MapGraphicSprite(int g, MAPSPRITE* out) {
    if (!out || !mapblockgfxpt || g < 0 || g >= mapnumblockgfx) return -1;
    const int w = mapblockwidth, h = mapblockheight;
    *out = {
        "", w, h, w, h,
        1,  0, 0, w, reinterpret_cast<const unsigned char*>(mapblockgfxpt) + static_cast<size_t>(g) * MapTileSize()};
    return 0;
}
