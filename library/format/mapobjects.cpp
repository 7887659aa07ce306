// Objects, properties and sprite images in the map file: the chunks OBJS and
// SPRT written and read. Everything is little-endian, a string is its
// length (32 bits) and its bytes; every count, length, string and number is
// checked as it is read, against what the chunk holds and the limits.
//
//   OBJS  u32 version (1), properties (the map's), u32 layers, then each
//         layer: u8 flags (1 group, 2 visible, 4 index order, 8 above the
//         picture), s32 id, string name, f64 opacity, offsetx, offsety,
//         s32 parent, properties, u32 objects, then each object: s32 id,
//         string name, string type, f64 x, y, width, height, rotation,
//         u8 visible, u8 shape, u32 points, f64 x and y of each, string text,
//         properties (the text's settings), s32 sprite, u8 flips (1 H, 2 V,
//         4 D), properties
//   properties  u32 count, then each: string name, u8 type (0 string,
//         1 int, 2 float, 3 bool, 4 color, 5 file, 6 object), string value
//   SPRT  u32 count, then each: string name, u8 flags (1 a tile's image),
//         u16 width, height, framewidth, frameheight, s32 originx, originy,
//         the pixels row by row
//   OTPL  u32 count, then each instance of a template, in the order of
//         OBJS: u32 layer, u32 object (its index in the layer), string
//         template, u8 own (MAPOWN_*), u32 own properties, u32 index of
//         each, ascending
#include <cerrno>
#include <cmath>
#include <cstdlib>

#include "mapparse.h"

namespace {

constexpr int kMaxOrigin = 1 << 24;  // pixels from a tile object's place to its image

const char* const kPropTypes[] = {"string", "int", "float", "bool", "color", "file", "object"};
constexpr int kPropTypeCount = 7;

// Whether `v` is a value of the property type `t`, as Tiled writes it.
bool ValidValue(int t, const std::string& v) {
    const char* s = v.c_str();
    char* end = nullptr;
    errno = 0;
    switch (t) {
        case 1:    // int
        case 6: {  // object: an id
            const long long n = std::strtoll(s, &end, 10);
            return *s && !*end && !errno && n >= (t == 6 ? 0 : INT32_MIN) && n <= INT32_MAX;
        }
        case 2: {
            const double d = std::strtod(s, &end);
            return *s && !*end && std::isfinite(d);
        }
        case 3:
            return v == "true" || v == "false";
        case 4: {
            if (v.empty()) return true;
            if (v[0] != '#' || (v.size() != 7 && v.size() != 9)) return false;
            for (size_t i = 1; i < v.size(); i++) {
                if (!std::isxdigit(static_cast<unsigned char>(v[i]))) return false;
            }
            return true;
        }
        default:
            return true;
    }
}

// A bounded reader of one chunk's data; the first failure is kept.
struct Reader {
    const uint8_t* p;
    size_t n, at = 0;
    const char* chunk;
    MAPREASON* why;
    bool failed = false;

    bool Fail(const char* what) {
        if (!failed) MapReject(why, "chunk %s: %s", chunk, what);
        failed = true;
        return false;
    }
    bool Need(size_t k) { return !failed && (k <= n - at || Fail("cut short")); }
    uint64_t Le(int bytes) {
        if (!Need(static_cast<size_t>(bytes))) return 0;
        uint64_t v = 0;
        for (int i = 0; i < bytes; i++) v |= uint64_t{p[at + i]} << (8 * i);
        at += static_cast<size_t>(bytes);
        return v;
    }
    uint32_t U32() { return static_cast<uint32_t>(Le(4)); }
    int32_t S32() { return static_cast<int32_t>(U32()); }
    double F64(const char* what) {
        const uint64_t bits = Le(8);
        double d;
        std::memcpy(&d, &bits, 8);
        if (!failed && !std::isfinite(d)) Fail(what);
        return failed ? 0 : d;
    }
    // A count of at most `limit` things, each of at least `each` bytes.
    uint32_t Count(uint32_t limit, size_t each, const char* what) {
        const uint32_t c = U32();
        if (failed) return 0;
        if (c > limit) {
            char text[96];
            std::snprintf(text, sizeof text, "%u %s, at most %u", c, what, limit);
            Fail(text);
            return 0;
        }
        return c <= (n - at) / each || Fail("cut short") ? c : 0;
    }
    std::string Str(const char* what) {
        const uint32_t len = U32();
        if (failed) return {};
        if (len > MAPOBJ_MAXSTRING) {
            char text[96];
            std::snprintf(text, sizeof text, "%s of %u bytes, at most %d", what, len, MAPOBJ_MAXSTRING);
            Fail(text);
            return {};
        }
        if (!Need(len)) return {};
        std::string s(reinterpret_cast<const char*>(p + at), len);
        at += len;
        if (s.find('\0') != std::string::npos) Fail("a string holds a NUL byte");
        return s;
    }
    void Props(std::vector<MAPPROP>& out) {
        const uint32_t count = Count(MAPOBJ_MAXPROPS, 9, "properties");
        for (uint32_t i = 0; i < count && !failed; i++) {
            MAPPROP prop;
            prop.name = Str("a property's name");
            const int t = static_cast<int>(Le(1));
            prop.value = Str("a property's value");
            if (failed) return;
            if (t >= kPropTypeCount) {
                Fail("a property has no type");
                return;
            }
            prop.type = kPropTypes[t];
            if (!ValidValue(t, prop.value)) {
                Fail("a property's value does not fit its type");
                return;
            }
            out.push_back(std::move(prop));
        }
    }
};

void Put(std::vector<uint8_t>& out, uint64_t v, int bytes) {
    for (int i = 0; i < bytes; i++) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
void PutF64(std::vector<uint8_t>& out, double d) {
    uint64_t bits;
    std::memcpy(&bits, &d, 8);
    Put(out, bits, 8);
}
void PutStr(std::vector<uint8_t>& out, const std::string& s) {
    Put(out, s.size(), 4);
    out.insert(out.end(), s.begin(), s.end());
}
void PutProps(std::vector<uint8_t>& out, const std::vector<MAPPROP>& props) {
    Put(out, props.size(), 4);
    for (const MAPPROP& p : props) {
        PutStr(out, p.name);
        int t = 0;
        while (t < kPropTypeCount && p.type != kPropTypes[t]) t++;
        Put(out, static_cast<uint64_t>(t % kPropTypeCount), 1);
        PutStr(out, p.value);
    }
}

}  // namespace

int MapDecodeObjects(const uint8_t* data, size_t len, MAPDESC& d, MAPREASON* why) {
    Reader r{data, len, 0, "OBJS", why};
    d.props.clear();
    d.objlayers.clear();
    if (r.U32() != 1 && !r.failed) return MapReject(why, "chunk OBJS: version is not 1");
    r.Props(d.props);
    const uint32_t nlayers = r.Count(MAPOBJ_MAXLAYERS, 45, "object layers");
    size_t objects = 0;
    for (uint32_t l = 0; l < nlayers && !r.failed; l++) {
        MAPOBJLAYERDESC layer;
        const uint32_t flags = static_cast<uint32_t>(r.Le(1));
        layer.group = flags & 1;
        layer.visible = flags & 2;
        layer.indexorder = flags & 4;
        layer.above = flags & 8;
        layer.id = r.S32();
        layer.name = r.Str("a layer's name");
        layer.opacity = r.F64("a layer's opacity is not a number");
        layer.offsetx = r.F64("a layer's offset is not a number");
        layer.offsety = r.F64("a layer's offset is not a number");
        layer.parent = r.S32();
        r.Props(layer.props);
        if (r.failed) break;
        if (flags > 15) return MapReject(why, "chunk OBJS: layer %u has unknown flags %#x", l, flags);
        if (layer.opacity < 0 || layer.opacity > 1)
            return MapReject(why, "chunk OBJS: layer %u's opacity is not 0 to 1", l);
        if (layer.parent < -1 || layer.parent >= static_cast<int32_t>(l) ||
            (layer.parent >= 0 && !d.objlayers[static_cast<size_t>(layer.parent)].group)) {
            return MapReject(why, "chunk OBJS: layer %u is in no group before it", l);
        }
        const uint32_t nobjects = r.Count(MAPOBJ_MAXOBJECTS, 75, "objects");
        objects += nobjects;
        if (objects > MAPOBJ_MAXOBJECTS) {
            return MapReject(why, "chunk OBJS: %zu objects, at most %d", objects, MAPOBJ_MAXOBJECTS);
        }
        if (layer.group && nobjects) return MapReject(why, "chunk OBJS: group %u holds objects", l);
        for (uint32_t o = 0; o < nobjects && !r.failed; o++) {
            MAPOBJDESC obj;
            obj.id = r.S32();
            obj.name = r.Str("an object's name");
            obj.type = r.Str("an object's type");
            obj.x = r.F64("an object's place is not a number");
            obj.y = r.F64("an object's place is not a number");
            obj.width = r.F64("an object's size is not a number");
            obj.height = r.F64("an object's size is not a number");
            obj.rotation = r.F64("an object's rotation is not a number");
            obj.visible = r.Le(1) != 0;
            obj.shape = static_cast<int>(r.Le(1));
            const uint32_t points = r.Count(MAPOBJ_MAXPOINTS, 16, "points in a shape");
            obj.points.resize(size_t{2} * points);
            for (double& v : obj.points) v = r.F64("a point is not a number");
            obj.text = r.Str("a text");
            r.Props(obj.textstyle);
            obj.sprite = r.S32();
            const uint32_t flips = static_cast<uint32_t>(r.Le(1));
            obj.gid = flips << 29;
            r.Props(obj.props);
            if (r.failed) break;
            if (flips > 7) return MapReject(why, "chunk OBJS: object %d has unknown flips %#x", obj.id, flips);
            if (obj.shape != MAPSHAPE_TEXT && (!obj.text.empty() || !obj.textstyle.empty()))
                return MapReject(why, "chunk OBJS: object %d holds a text but is no text", obj.id);
            if (obj.shape >= MAPSHAPE_COUNT) return MapReject(why, "chunk OBJS: object %d has no shape", obj.id);
            const bool poly = obj.shape == MAPSHAPE_POLYGON || obj.shape == MAPSHAPE_POLYLINE;
            if (!poly && points > 0)
                return MapReject(why, "chunk OBJS: object %d's points do not fit its shape", obj.id);
            if ((obj.shape == MAPSHAPE_TILE) != (obj.sprite >= 0) || obj.sprite < -1 ||
                (obj.gid && obj.shape != MAPSHAPE_TILE)) {
                return MapReject(why, "chunk OBJS: object %d's image does not fit its shape", obj.id);
            }
            layer.objects.push_back(std::move(obj));
        }
        d.objlayers.push_back(std::move(layer));
    }
    if (r.failed) return -1;
    if (r.at != len) return MapReject(why, "chunk OBJS: %zu bytes past its objects", len - r.at);
    return 0;
}

int MapDecodeSprites(const uint8_t* data, size_t len, MAPDESC& d, MAPREASON* why) {
    Reader r{data, len, 0, "SPRT", why};
    d.sprites.clear();
    const uint32_t count = r.Count(MAPSPRITE_MAX, 21, "sprite images");
    for (uint32_t i = 0; i < count && !r.failed; i++) {
        MAPSPRITEDESC s;
        s.name = r.Str("a sprite's name");
        const uint32_t flags = static_cast<uint32_t>(r.Le(1));
        s.tile = flags & 1;
        s.width = static_cast<int>(r.Le(2));
        s.height = static_cast<int>(r.Le(2));
        s.framewidth = static_cast<int>(r.Le(2));
        s.frameheight = static_cast<int>(r.Le(2));
        s.originx = r.S32();
        s.originy = r.S32();
        if (r.failed) break;
        if (std::abs(int64_t{s.originx}) > kMaxOrigin || std::abs(int64_t{s.originy}) > kMaxOrigin) {
            return MapReject(why, "chunk SPRT: sprite %u's origin lies past %d pixels", i, kMaxOrigin);
        }
        if (flags > 1) return MapReject(why, "chunk SPRT: sprite %u has unknown flags %#x", i, flags);
        if (s.width < 1 || s.height < 1 || s.width > MAPSPRITE_MAXSIDE || s.height > MAPSPRITE_MAXSIDE) {
            return MapReject(why, "chunk SPRT: sprite %u is %d x %d pixels, 1 to %d a side", i, s.width, s.height,
                             MAPSPRITE_MAXSIDE);
        }
        if (s.framewidth < 1 || s.frameheight < 1 || s.framewidth > s.width || s.frameheight > s.height) {
            return MapReject(why, "chunk SPRT: sprite %u's frames of %d x %d do not fit its %d x %d pixels", i,
                             s.framewidth, s.frameheight, s.width, s.height);
        }
        const size_t bytes = size_t(s.width) * s.height;
        if (!r.Need(bytes)) break;
        s.pixels.assign(data + r.at, data + r.at + bytes);
        r.at += bytes;
        d.sprites.push_back(std::move(s));
    }
    if (r.failed) return -1;
    if (r.at != len) return MapReject(why, "chunk SPRT: %zu bytes past its images", len - r.at);
    return 0;
}

int MapDecodeTemplates(const uint8_t* data, size_t len, MAPDESC& d, MAPREASON* why) {
    Reader r{data, len, 0, "OTPL", why};
    const uint32_t count = r.Count(MAPOBJ_MAXOBJECTS, 17, "template instances");
    uint64_t last = 0;  // layer << 32 | object + 1 of the one before
    for (uint32_t i = 0; i < count && !r.failed; i++) {
        const uint32_t l = r.U32(), o = r.U32();
        std::string templ = r.Str("a template's path");
        const uint32_t own = static_cast<uint32_t>(r.Le(1));
        const uint32_t nprops = r.Count(MAPOBJ_MAXPROPS, 4, "own properties");
        std::vector<uint32_t> props(nprops);
        for (uint32_t& p : props) p = r.U32();
        if (r.failed) break;
        const uint64_t at = (uint64_t{l} << 32 | o) + 1;
        if (l >= d.objlayers.size() || o >= d.objlayers[l].objects.size() || at <= last) {
            return MapReject(why, "chunk OTPL: instance %u names no object after the one before", i);
        }
        last = at;
        MAPOBJDESC& obj = d.objlayers[l].objects[o];
        if (templ.empty()) return MapReject(why, "chunk OTPL: object %d's template has no path", obj.id);
        if (own > MAPOWN_ALL) return MapReject(why, "chunk OTPL: object %d has unknown own fields %#x", obj.id, own);
        for (size_t k = 0; k < props.size(); k++) {
            if (props[k] >= obj.props.size() || (k && props[k] <= props[k - 1])) {
                return MapReject(why, "chunk OTPL: object %d's own properties are not its own", obj.id);
            }
        }
        obj.templ = std::move(templ);
        obj.own = own;
        obj.ownprops = std::move(props);
    }
    if (r.failed) return -1;
    if (r.at != len) return MapReject(why, "chunk OTPL: %zu bytes past its instances", len - r.at);
    return 0;
}

bool MapHasTemplates(const MAPDESC& d) {
    for (const MAPOBJLAYERDESC& l : d.objlayers) {
        for (const MAPOBJDESC& o : l.objects) {
            if (!o.templ.empty()) return true;
        }
    }
    return false;
}

std::vector<uint8_t> MapSerializeTemplates(const MAPDESC& d) {
    std::vector<uint8_t> out(4);
    uint32_t count = 0;
    for (size_t l = 0; l < d.objlayers.size(); l++) {
        for (size_t o = 0; o < d.objlayers[l].objects.size(); o++) {
            const MAPOBJDESC& obj = d.objlayers[l].objects[o];
            if (obj.templ.empty()) continue;
            count++;
            Put(out, l, 4);
            Put(out, o, 4);
            PutStr(out, obj.templ);
            Put(out, obj.own, 1);
            Put(out, obj.ownprops.size(), 4);
            for (uint32_t p : obj.ownprops) Put(out, p, 4);
        }
    }
    for (int i = 0; i < 4; i++) out[static_cast<size_t>(i)] = static_cast<uint8_t>(count >> (8 * i));
    return out;
}

std::vector<uint8_t> MapSerializeObjects(const MAPDESC& d) {
    std::vector<uint8_t> out;
    Put(out, 1, 4);
    PutProps(out, d.props);
    Put(out, d.objlayers.size(), 4);
    for (const MAPOBJLAYERDESC& l : d.objlayers) {
        Put(out, (l.group ? 1u : 0u) | (l.visible ? 2u : 0u) | (l.indexorder ? 4u : 0u) | (l.above ? 8u : 0u), 1);
        Put(out, static_cast<uint32_t>(l.id), 4);
        PutStr(out, l.name);
        PutF64(out, l.opacity);
        PutF64(out, l.offsetx);
        PutF64(out, l.offsety);
        Put(out, static_cast<uint32_t>(l.parent), 4);
        PutProps(out, l.props);
        Put(out, l.objects.size(), 4);
        for (const MAPOBJDESC& o : l.objects) {
            Put(out, static_cast<uint32_t>(o.id), 4);
            PutStr(out, o.name);
            PutStr(out, o.type);
            for (double v : {o.x, o.y, o.width, o.height, o.rotation}) PutF64(out, v);
            Put(out, o.visible ? 1 : 0, 1);
            Put(out, static_cast<uint64_t>(o.shape), 1);
            Put(out, o.points.size() / 2, 4);
            for (double v : o.points) PutF64(out, v);
            PutStr(out, o.text);
            PutProps(out, o.textstyle);
            Put(out, static_cast<uint32_t>(o.sprite), 4);
            Put(out, o.gid >> 29, 1);
            PutProps(out, o.props);
        }
    }
    return out;
}

std::vector<uint8_t> MapSerializeSprites(const MAPDESC& d) {
    std::vector<uint8_t> out;
    Put(out, d.sprites.size(), 4);
    for (const MAPSPRITEDESC& s : d.sprites) {
        PutStr(out, s.name);
        Put(out, s.tile ? 1 : 0, 1);
        for (int v : {s.width, s.height, s.framewidth, s.frameheight}) Put(out, static_cast<uint64_t>(v), 2);
        Put(out, static_cast<uint32_t>(s.originx), 4);
        Put(out, static_cast<uint32_t>(s.originy), 4);
        out.insert(out.end(), s.pixels.begin(), s.pixels.end());
    }
    return out;
}
