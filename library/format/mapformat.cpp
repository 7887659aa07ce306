// The format layer: the one chunk walk and the one set of chunk decoders,
// over a map image in memory or a file read as the walk goes, and the
// serializer that writes a description back into an image.
#include <cerrno>
#include <cstdarg>
#include <new>

#include "mapparse.h"

namespace {

const char kChunkIds[MAPCHUNK_NULL][5] = {"MPHD", "CMAP", "BKDT", "ANDT", "BGFX", "BODY", "LYR1", "LYR2",
                                          "LYR3", "LYR4", "LYR5", "LYR6", "LYR7", "BODN", "LYN1", "LYN2",
                                          "LYN3", "LYN4", "LYN5", "LYN6", "LYN7", "OBJS", "SPRT", "OTPL"};

unsigned long long ULL(uint64_t v) { return static_cast<unsigned long long>(v); }

// Reads n bytes at the position into dst; false when the input ends first.
bool MapRead(MapInput& in, void* dst, size_t n) {
    if (n > in.end - in.pos) return false;
    if (n == 0) return true;
    if (in.mem) {
        std::memcpy(dst, in.mem + in.pos, n);
    } else if (std::fread(dst, 1, n, in.file) != n) {
        return false;
    }
    in.pos += n;
    return true;
}

// Skips n bytes of the input, which holds them.
void MapSkip(MapInput& in, uint64_t n) {
    if (in.file && n) std::fseek(in.file, static_cast<long>(n), SEEK_CUR);
    in.pos += n;
}

// Fills v with `count` elements read from the input; false when the input
// ends first. From memory the elements are copied once, with no zeroing.
template <class T>
bool MapReadVector(MapInput& in, std::vector<T>& v, size_t count) {
    static_assert(alignof(T) == 1, "read in place from any offset");
    const size_t bytes = count * sizeof(T);
    if (bytes > in.end - in.pos) return false;
    if (in.mem) {
        const T* first = reinterpret_cast<const T*>(in.mem + in.pos);
        v.assign(first, first + count);
        in.pos += bytes;
        return true;
    }
    v.resize(count);
    return MapRead(in, v.data(), bytes);
}

// The chunk walk, from the input's position to its end: each chunk header is
// read and its length tested against what is left before `visit(id, len,
// offset)` gets the chunk, whose data it must consume. 0 at the end; -1 with
// the reason where the walk stops.
template <class Visit>
int MapWalkInput(MapInput& in, MAPREASON* why, Visit&& visit) {
    while (in.pos != in.end) {
        const uint64_t pos = in.pos;
        unsigned char hd[8];
        if (in.end - pos < 8 || !MapRead(in, hd, 8)) {
            return MapReject(why, "chunk header at %llu is cut short%s", ULL(pos),
                             in.file ? " by the end of the file" : "");
        }
        const uint32_t len = MapGetLength(hd + 4);
        if (len > in.end - in.pos) {
            return MapReject(why, "chunk %.4s at %llu runs %llu bytes past the end of the %s",
                             reinterpret_cast<const char*>(hd), ULL(pos), ULL(in.pos + len - in.end), in.endname);
        }
        if (visit(reinterpret_cast<const char*>(hd), len, pos)) return -1;
    }
    return 0;
}

// Tests a chunk met by the walk before any byte of it is used: known chunks
// may not be empty, the header needs 24 bytes and the colour map 768. Records
// its length.
int MapCheckChunk(MapParseState& st, MapChunkKind kind, uint32_t len, MAPREASON* why) {
    if (kind == MAPCHUNK_NULL) return 0;
    if (len == 0) return MapReject(why, "chunk %s is empty", MapChunkName(kind));
    if (kind == MAPCHUNK_MPHD && len < sizeof(MPHD)) return MapReject(why, "chunk MPHD has %u bytes, needs 24", len);
    if (kind == MAPCHUNK_CMAP && len < 768) return MapReject(why, "chunk CMAP has %u bytes, needs 768", len);
    st.len[kind] = len;
    return 0;
}

// The walk of the loaders and of MapParse: every chunk tested and decoded,
// then the whole map checked. Running out of memory is a reason like any
// other.
int MapParseInput(MapInput& in, MapParseState& st, MAPREASON* why) {
    try {
        const int walked = MapWalkInput(in, why, [&](const char* id, uint32_t len, uint64_t) {
            const MapChunkKind kind = MapChunkKindOf(id);
            if (MapCheckChunk(st, kind, len, why)) return -1;
            return MapDecodeChunk(st, kind, in, len, why);
        });
        return walked ? -1 : MapCheck(st, why);
    } catch (const std::bad_alloc&) {
        why->code = MER_OUTOFMEM;
        why->text[0] = '\0';
        return -1;
    }
}

void Put16(std::vector<uint8_t>& out, int v) {
    out.push_back(static_cast<uint8_t>(v & 0xFF));
    out.push_back(static_cast<uint8_t>((v >> 8) & 0xFF));
}

void Put32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; i++) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void PutBE32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 3; i >= 0; i--) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

}  // namespace

uint32_t Mapbyteswapl(uint32_t i) { return (i >> 24) | ((i >> 8) & 0xFF00u) | ((i << 8) & 0xFF0000u) | (i << 24); }

// Bytes of the file that a reason quotes (chunk ids) may be anything: those
// that are not printable ASCII appear as \xNN, so a message printed to a
// terminal shows them instead of acting on them.
int MapReject(MAPREASON* why, const char* fmt, ...) {
    why->code = MER_MAPLOADERROR;
    char* const text = why->text;
    char raw[sizeof why->text];
    va_list args;
    va_start(args, fmt);
    std::vsnprintf(raw, sizeof raw, fmt, args);
    va_end(args);
    size_t n = 0;
    for (const char* p = raw; *p; p++) {
        const auto c = static_cast<unsigned char>(*p);
        const bool plain = c >= 0x20 && c < 0x7F && c != '\\';
        if (n + (plain ? 1 : 4) >= sizeof why->text) break;
        if (plain) {
            text[n++] = static_cast<char>(c);
        } else {
            n += static_cast<size_t>(std::snprintf(text + n, 5, "\\x%02X", c));
        }
    }
    text[n] = '\0';
    return -1;
}

MapChunkKind MapChunkKindOf(const char* id) {
    for (int k = 0; k < MAPCHUNK_NULL; k++) {
        if (std::memcmp(id, kChunkIds[k], 4) == 0) return static_cast<MapChunkKind>(k);
    }
    return MAPCHUNK_NULL;
}

const char* MapChunkName(MapChunkKind kind) { return kind >= 0 && kind < MAPCHUNK_NULL ? kChunkIds[kind] : "unknown"; }

int MAPDESC::numblockgfx() const {
    const int64_t tile = int64_t{blockwidth} * blockheight * ((depth + 1) / 8);
    return tile > 0 ? static_cast<int>(gfx.size() / static_cast<uint64_t>(tile)) : 0;
}

int MapDecodeChunk(MapParseState& st, MapChunkKind kind, MapInput& in, uint32_t len, MAPREASON* why) {
    MAPDESC& d = st.desc;
    const uint64_t end = in.pos + len;
    bool ok = true;
    switch (kind) {
        case MAPCHUNK_MPHD: {
            MPHD& h = d.header;
            ok = MapRead(in, &h, sizeof h);
            if (!ok) break;
            d.verhigh = h.mapverhigh;
            d.verlow = h.mapverlow;
            d.width = h.mapwidth;
            d.height = h.mapheight;
            d.blockwidth = h.blockwidth;
            d.blockheight = h.blockheight;
            d.depth = h.blockdepth;
            d.blockstrsize = h.blockstrsize;
            break;
        }
        case MAPCHUNK_CMAP:
            ok = MapReadVector(in, d.cmap, 768);
            break;
        case MAPCHUNK_BKDT:
            ok = MapReadVector(in, d.blocks, len / sizeof(BLKSTR));
            break;
        case MAPCHUNK_ANDT:
            ok = MapReadVector(in, st.andt, len);
            break;
        case MAPCHUNK_BGFX:
            ok = MapReadVector(in, d.gfx, len);
            break;
        case MAPCHUNK_OTPL:
            ok = MapReadVector(in, st.otpl, len);  // read once the objects are there
            break;
        case MAPCHUNK_OBJS:
        case MAPCHUNK_SPRT: {
            // Read whole, then parsed and checked.
            std::vector<uint8_t> bytes;
            const uint8_t* data = in.mem ? in.mem + in.pos : nullptr;
            if (!data) {
                ok = MapReadVector(in, bytes, len);
                if (!ok) break;
                data = bytes.data();
            } else {
                in.pos += len;
            }
            if ((kind == MAPCHUNK_OBJS ? MapDecodeObjects : MapDecodeSprites)(data, len, d, why)) return -1;
            break;
        }
        case MAPCHUNK_NULL:
            break;
        default: {
            // A layer: its cells are copied and scanned in one pass from
            // memory, scanned where they were read from a file.
            const int n = MapChunkLayer(kind);
            d.numbered = kind >= MAPCHUNK_BODN;  // mixed encodings are refused by the check
            const size_t cells = len / 2;
            std::vector<int16_t>& layer = d.layers[n];
            layer.resize(cells);
            if (in.mem) {
                st.range[n] = MapScanCells(layer.data(), in.mem + in.pos, cells);
                in.pos += 2 * cells;
            } else {
                ok = MapRead(in, layer.data(), 2 * cells);
                if (ok) st.range[n] = MapScanCells(layer.data(), layer.data(), cells);
            }
            break;
        }
    }
    if (!ok) return MapReject(why, "chunk %s is cut short by the end of the file", MapChunkName(kind));
    // The animations are described once the check has read them.
    if (kind != MAPCHUNK_NULL && kind != MAPCHUNK_ANDT) d.held |= 1u << kind;
    MapSkip(in, end - in.pos);  // what the decoder does not keep
    return 0;
}

int MapParseFile(FILE* f, MapParseState& st, MAPREASON* why) {
    std::fseek(f, 0, SEEK_END);
    const long filesize = std::ftell(f);
    std::fseek(f, 0, SEEK_SET);

    unsigned char h[8];
    if (std::fread(h, 1, 8, f) != 8) {
        // A directory opens but cannot be read: the system says so.
        if (std::ferror(f)) return MapReject(why, "cannot read the file: %s", std::strerror(errno));
        return MapReject(why, "file is shorter than its header");
    }
    uint32_t form = 0;
    if (MapFormSize(h, sizeof h, &form) != 0) return MapReject(why, "file does not start with FORM");
    if (filesize == -1) return MapReject(why, "file size is unknown");
    if (uint64_t{form} + 8 != static_cast<uint64_t>(filesize)) {
        return MapReject(why, "FORM size %u + 8 differs from the file size %ld", form, filesize);
    }
    if (std::fread(h, 1, 4, f) != 4 || std::memcmp(h, "FMAP", 4) != 0) return MapReject(why, "form type is not FMAP");

    MapInput in;
    in.file = f;
    in.pos = 12;
    in.end = static_cast<uint64_t>(filesize);
    in.endname = "file";
    return MapParseInput(in, st, why);
}

// The header tests of an image in memory; 0 with `in` set to walk its chunks.
// The FORM must lie within the image, or with `clamp` the walk ends where the
// image does.
static int MapOpenImage(const unsigned char* img, size_t size, bool clamp, MapInput& in, MAPREASON* why) {
    if (!img || size < 12) return MapReject(why, "image is shorter than its 12-byte header");
    uint32_t form = 0;
    if (MapFormSize(img, size, &form) != 0) return MapReject(why, "image does not start with FORM");
    if (std::memcmp(img + 8, "FMAP", 4) != 0) return MapReject(why, "form type is not FMAP");
    const uint64_t total = uint64_t{form} + 8;
    if (total < 12) return MapReject(why, "FORM size %u is below 4", form);
    in.mem = img;
    in.pos = 12;
    in.end = total;
    if (total > size) {
        if (!clamp) return MapReject(why, "FORM size runs %llu bytes past the end of the buffer", ULL(total - size));
        in.end = size;
        in.endname = "image";
    }
    return 0;
}

int MapParseMemory(const unsigned char* img, size_t size, MapParseState& st, MAPREASON* why) {
    MapInput in;
    if (MapOpenImage(img, size, false, in, why)) return -1;
    return MapParseInput(in, st, why);
}

int MapParse(const unsigned char* img, size_t size, MAPDESC* desc, MAPREASON* why) {
    MAPREASON local;
    if (!why) why = &local;
    *why = MAPREASON{};
    MapParseState st;
    const int result = MapParseMemory(img, size, st, why);
    if (desc) *desc = std::move(st.desc);
    return result;
}

int MapFormSize(const unsigned char* img, size_t size, uint32_t* formsize) {
    if (!img || size < 8 || std::memcmp(img, "FORM", 4) != 0) return -1;
    if (formsize) *formsize = MapGetLength(img + 4);
    return 0;
}

int MapWalk(const unsigned char* img, size_t size, const std::function<void(const MAPCHUNKINFO&)>& visit,
            MAPREASON* why) {
    MAPREASON local;
    if (!why) why = &local;
    *why = MAPREASON{};
    MapInput in;
    if (MapOpenImage(img, size, true, in, why)) return -1;
    return MapWalkInput(in, why, [&](const char* id, uint32_t len, uint64_t pos) {
        MAPCHUNKINFO c;
        std::memcpy(c.id, id, 4);
        c.length = len;
        c.offset = pos;
        c.data = img + in.pos;
        in.pos += len;
        if (visit) visit(c);
        return 0;
    });
}

// --- Serializing ---------------------------------------------------------------------

std::vector<uint8_t> MapSerializeChunk(const MAPDESC& d, MapChunkKind kind) {
    std::vector<uint8_t> out;
    switch (kind) {
        case MAPCHUNK_MPHD:
            out = {static_cast<uint8_t>(d.verhigh), static_cast<uint8_t>(d.verlow), 1, 0};  // 1: little-endian
            for (int v : {d.width, d.height, 0, 0, d.blockwidth, d.blockheight, d.depth, d.blockstrsize,
                          static_cast<int>(d.blocks.size()), d.numblockgfx()}) {
                Put16(out, v);
            }
            break;
        case MAPCHUNK_CMAP:
            out = d.cmap;
            break;
        case MAPCHUNK_BKDT: {
            const auto* p = reinterpret_cast<const uint8_t*>(d.blocks.data());
            out.assign(p, p + d.blocks.size() * sizeof(BLKSTR));
            break;
        }
        case MAPCHUNK_ANDT: {
            // The frame list, the end record, then the records with
            // animation 0 last; offsets count back from the end of the data.
            const int32_t end = static_cast<int32_t>(4 * d.frames.size() + 16 + 16 * d.anims.size());
            out.reserve(static_cast<size_t>(end));
            for (int32_t f : d.frames) Put32(out, static_cast<uint32_t>(f));
            out.push_back(0xFF);
            out.resize(out.size() + 15, 0);
            for (size_t k = d.anims.size(); k-- > 0;) {
                const MAPANIMDESC& a = d.anims[k];
                for (signed char c : {a.antype, a.andelay, a.ancount, a.anuser}) out.push_back(static_cast<uint8_t>(c));
                for (int e : {a.cur, a.start, a.end}) Put32(out, static_cast<uint32_t>(4 * e - end));
            }
            break;
        }
        case MAPCHUNK_BGFX:
            out = d.gfx;
            break;
        case MAPCHUNK_OBJS:
            out = MapSerializeObjects(d);
            break;
        case MAPCHUNK_SPRT:
            out = MapSerializeSprites(d);
            break;
        case MAPCHUNK_OTPL:
            out = MapSerializeTemplates(d);
            break;
        case MAPCHUNK_NULL:
        case MAPCHUNK_KINDS:
            break;
        default: {
            const std::vector<int16_t>& cells = d.layers[MapChunkLayer(kind)];
            out.reserve(2 * cells.size());
            for (int16_t c : cells) Put16(out, c);
            break;
        }
    }
    return out;
}

std::vector<MAPCHUNK> MapSerializeChunks(const MAPDESC& d) {
    std::vector<MAPCHUNK> c;
    for (int k = 0; k < MAPCHUNK_NULL; k++) {
        const MapChunkKind kind = static_cast<MapChunkKind>(k);
        if (kind == MAPCHUNK_ANDT && d.frames.empty() && d.anims.empty()) continue;
        if (kind == MAPCHUNK_OBJS && d.props.empty() && d.objlayers.empty()) continue;
        if (kind == MAPCHUNK_SPRT && d.sprites.empty()) continue;
        if (kind == MAPCHUNK_OTPL && !MapHasTemplates(d)) continue;
        const int n = MapChunkLayer(kind);
        if (n >= 0 && (d.layers[n].empty() || kind != MapLayerChunk(n, d.numbered))) continue;
        c.push_back({kChunkIds[k], MapSerializeChunk(d, kind)});
    }
    return c;
}

std::vector<uint8_t> MapSerialize(const std::vector<MAPCHUNK>& chunks) {
    size_t size = 12;
    for (const MAPCHUNK& ch : chunks) size += 8 + ch.data.size();
    std::vector<uint8_t> img = {'F', 'O', 'R', 'M'};
    img.reserve(size);
    PutBE32(img, static_cast<uint32_t>(size - 8));
    img.insert(img.end(), {'F', 'M', 'A', 'P'});
    for (const MAPCHUNK& ch : chunks) {
        for (size_t i = 0; i < 4; i++) img.push_back(i < ch.id.size() ? static_cast<uint8_t>(ch.id[i]) : ' ');
        PutBE32(img, static_cast<uint32_t>(ch.data.size()));
        img.insert(img.end(), ch.data.begin(), ch.data.end());
    }
    return img;
}

std::vector<uint8_t> MapSerialize(const MAPDESC& d) { return MapSerialize(MapSerializeChunks(d)); }

bool MapRecodeCells(MAPDESC& d, bool numbered) {
    if (d.numbered == numbered) return true;
    // Every cell as (block, animation) numbers first, so that a refusal
    // changes nothing.
    for (const std::vector<int16_t>& layer : d.layers) {
        for (int16_t v : layer) {
            if (numbered ? (v >= 0 ? v & 31 : v & 15) : (v >= 0 ? v > 1023 : v < -2048)) return false;
        }
    }
    for (std::vector<int16_t>& layer : d.layers) {
        for (int16_t& v : layer) {
            if (numbered)
                v = static_cast<int16_t>(v >= 0 ? v / 32 : v / 16);
            else
                v = static_cast<int16_t>(v >= 0 ? v * 32 : v * 16);
        }
    }
    d.numbered = numbered;
    return true;
}
