// What the TMX and JSON readers share: layer data decoded from CSV or base64
// (plain, zlib, gzip or zstd, never past what the layer needs), colours,
// collision quarters, the limits, and the map finished once it is read.
#include <zlib.h>
#include <zstd.h>

#include <algorithm>
#include <cstring>

#include "tmxinternal.h"

namespace {

constexpr int64_t kMaxSide = 32767;  // cells a side: the header holds 16-bit sizes

// Base64 text into bytes; whitespace is skipped, anything else that is not
// base64 is an error.
std::vector<uint8_t> Base64(const char* s, const std::string& file, const std::string& layer) {
    std::vector<uint8_t> out;
    out.reserve(std::strlen(s) / 4 * 3);
    uint32_t acc = 0;
    int bits = 0;
    for (; *s; s++) {
        const char c = *s;
        int v;
        if (c >= 'A' && c <= 'Z')
            v = c - 'A';
        else if (c >= 'a' && c <= 'z')
            v = c - 'a' + 26;
        else if (c >= '0' && c <= '9')
            v = c - '0' + 52;
        else if (c == '+')
            v = 62;
        else if (c == '/')
            v = 63;
        else if (c == '=' || c == ' ' || c == '\n' || c == '\r' || c == '\t')
            continue;
        else
            TmxThrow(file, "layer \"%s\": data is not base64", layer.c_str());
        acc = acc << 6 | static_cast<uint32_t>(v);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out.push_back(static_cast<uint8_t>(acc >> bits));
        }
    }
    return out;
}

// Inflates zlib or gzip data into at most `cap` bytes.
std::vector<uint8_t> Inflate(const std::vector<uint8_t>& in, size_t cap, bool gzip, const std::string& file,
                             const std::string& layer) {
    std::vector<uint8_t> out(cap + 1);
    z_stream z{};
    if (inflateInit2(&z, gzip ? 16 + MAX_WBITS : MAX_WBITS) != Z_OK) TmxThrow(file, "cannot start zlib");
    z.next_in = const_cast<Bytef*>(in.data());
    z.avail_in = static_cast<uInt>(in.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    const int rc = inflate(&z, Z_FINISH);
    const size_t got = out.size() - z.avail_out;
    const std::string msg = z.msg ? z.msg : "";
    inflateEnd(&z);
    if (got > cap) {
        TmxThrow(file, "layer \"%s\": compressed data inflates past the %zu bytes the layer needs", layer.c_str(), cap);
    }
    if (rc != Z_STREAM_END) {
        TmxThrow(file, "layer \"%s\": compressed data is corrupt or cut short%s%s", layer.c_str(),
                 msg.empty() ? "" : ": ", msg.c_str());
    }
    out.resize(got);
    return out;
}

std::vector<uint8_t> Unzstd(const std::vector<uint8_t>& in, size_t cap, const std::string& file,
                            const std::string& layer) {
    std::vector<uint8_t> out(cap + 1);
    ZSTD_DCtx* dctx = ZSTD_createDCtx();
    if (!dctx) TmxThrow(file, "cannot start zstd");
    // The decoder's window: what a streaming encoder uses up to level 19
    // (8 MiB), or what the layer needs when that is more.
    int windowlog = 23;
    while (windowlog < 27 && (size_t{1} << windowlog) < cap) windowlog++;
    ZSTD_DCtx_setParameter(dctx, ZSTD_d_windowLogMax, windowlog);
    ZSTD_inBuffer ib{in.data(), in.size(), 0};
    ZSTD_outBuffer ob{out.data(), out.size(), 0};
    size_t rc = 1;
    while (ib.pos < ib.size && ob.pos < ob.size) {
        rc = ZSTD_decompressStream(dctx, &ob, &ib);
        if (ZSTD_isError(rc)) break;
    }
    ZSTD_freeDCtx(dctx);
    if (ob.pos > cap) {
        TmxThrow(file, "layer \"%s\": compressed data inflates past the %zu bytes the layer needs", layer.c_str(), cap);
    }
    if (ZSTD_isError(rc) || rc != 0) {
        TmxThrow(file, "layer \"%s\": compressed data is corrupt or cut short%s%s", layer.c_str(),
                 ZSTD_isError(rc) ? ": " : "", ZSTD_isError(rc) ? ZSTD_getErrorName(rc) : "");
    }
    out.resize(ob.pos);
    return out;
}

[[noreturn]] void WrongCount(const std::string& file, const std::string& layer, const std::string& what, int64_t got,
                             int64_t need) {
    TmxThrow(file, "layer \"%s\": %s has %lld cells, it needs %lld", layer.c_str(), what.c_str(),
             static_cast<long long>(got), static_cast<long long>(need));
}

}  // namespace

std::vector<uint32_t> TmxDecodeCells(const char* text, const std::string& encoding, const std::string& compression,
                                     int64_t n, const std::string& layer, const std::string& what,
                                     const std::string& file) {
    std::vector<uint32_t> cells;
    if (encoding == "csv") {
        if (!compression.empty()) TmxThrow(file, "layer \"%s\": CSV data cannot be compressed", layer.c_str());
        const char* s = text;
        cells.reserve(static_cast<size_t>(n));
        while (true) {
            while (*s == ' ' || *s == '\n' || *s == '\r' || *s == '\t') s++;
            if (!*s) break;
            if (*s < '0' || *s > '9') TmxThrow(file, "layer \"%s\": CSV data holds \"%.12s\"", layer.c_str(), s);
            uint64_t v = 0;
            while (*s >= '0' && *s <= '9' && v <= UINT32_MAX) v = v * 10 + static_cast<uint64_t>(*s++ - '0');
            if (v > UINT32_MAX) TmxThrow(file, "layer \"%s\": CSV value out of range", layer.c_str());
            if (static_cast<int64_t>(cells.size()) == n) WrongCount(file, layer, what, n + 1, n);
            cells.push_back(static_cast<uint32_t>(v));
            while (*s == ' ' || *s == '\n' || *s == '\r' || *s == '\t') s++;
            if (*s == ',') s++;
        }
    } else if (encoding == "base64") {
        std::vector<uint8_t> bytes = Base64(text, file, layer);
        const size_t need = static_cast<size_t>(n) * 4;
        if (compression == "zlib" || compression == "gzip")
            bytes = Inflate(bytes, need, compression == "gzip", file, layer);
        else if (compression == "zstd")
            bytes = Unzstd(bytes, need, file, layer);
        else if (!compression.empty())
            TmxThrow(file, "layer \"%s\": compression \"%s\" is not supported", layer.c_str(), compression.c_str());
        if (bytes.size() % 4 || bytes.size() != need)
            WrongCount(file, layer, what, static_cast<int64_t>(bytes.size() / 4), n);
        cells.resize(static_cast<size_t>(n));
        for (size_t i = 0; i < cells.size(); i++) {
            cells[i] = uint32_t{bytes[4 * i]} | uint32_t{bytes[4 * i + 1]} << 8 | uint32_t{bytes[4 * i + 2]} << 16 |
                       uint32_t{bytes[4 * i + 3]} << 24;
        }
    } else {
        TmxThrow(file, "layer \"%s\": encoding \"%s\" is not supported", layer.c_str(), encoding.c_str());
    }
    if (static_cast<int64_t>(cells.size()) != n) WrongCount(file, layer, what, static_cast<int64_t>(cells.size()), n);
    return cells;
}

void TmxBudget(int64_t& used, int64_t n, const TmxImportOptions& options, const std::string& file) {
    used += n;
    if (used > options.limits.maxlayercells) {
        TmxThrow(file, "the layers hold more than the converter's limit of %lld cells",
                 static_cast<long long>(options.limits.maxlayercells));
    }
}

bool TmxColour(const char* s, uint32_t& rgb, int* alpha) {
    if (*s == '#') s++;
    const size_t len = std::strlen(s);
    if (len != 6 && len != 8) return false;
    uint32_t v = 0;
    for (size_t i = 0; i < len; i++) {
        const char c = s[i];
        const int d = c >= '0' && c <= '9'   ? c - '0'
                      : c >= 'a' && c <= 'f' ? c - 'a' + 10
                      : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                             : -1;
        if (d < 0) return false;
        v = v << 4 | static_cast<uint32_t>(d);
    }
    if (alpha) *alpha = len == 8 ? static_cast<int>(v >> 24) : 255;
    rgb = (v >> 16 & 0xFF) | (v & 0xFF00) | (v & 0xFF) << 16;
    return true;
}

uint8_t TmxQuarters(const std::vector<TmxBox>& boxes, double tw, double th) {
    uint8_t q = 0;
    const double hx = tw / 2.0, hy = th / 2.0;
    for (const TmxBox& b : boxes) {
        auto overlaps = [&](double l, double t, double r, double bo) {
            return std::min(b.x1, r) > std::max(b.x0, l) && std::min(b.y1, bo) > std::max(b.y0, t);
        };
        if (overlaps(0, 0, hx, hy)) q |= kTmxTL;
        if (overlaps(hx, 0, tw, hy)) q |= kTmxTR;
        if (overlaps(0, hy, hx, th)) q |= kTmxBL;
        if (overlaps(hx, hy, tw, th)) q |= kTmxBR;
    }
    return q;
}

namespace {

void CheckCells(const TmxMap& map, const TmxImportOptions& options) {
    const int64_t cells = int64_t{map.width} * map.height;
    if (cells > options.limits.maxcells) {
        TmxThrow(map.file, "the map has %d x %d cells, more than the converter's limit of %lld", map.width, map.height,
                 static_cast<long long>(options.limits.maxcells));
    }
}

// Sets the size of an infinite map from its tiles: the 16 x 16-cell squares
// that hold one, as Tiled bounds such a map, and lays every layer's chunks
// out over it.
void PlaceChunks(TmxMap& map, const TmxImportOptions& options) {
    int64_t x0 = INT64_MAX, y0 = INT64_MAX, x1 = INT64_MIN, y1 = INT64_MIN;
    auto floor16 = [](int64_t v) { return v >= 0 ? v / 16 * 16 : -((-v + 15) / 16) * 16; };
    for (const TmxLayer& l : map.layers) {
        for (const TmxLayer::Chunk& c : l.chunks) {
            for (int64_t i = 0; i < c.w * c.h; i++) {
                if (!(c.gids[static_cast<size_t>(i)] & kTmxGidMask)) continue;
                const int64_t x = floor16(c.x + i % c.w), y = floor16(c.y + i / c.w);
                x0 = std::min(x0, x), y0 = std::min(y0, y), x1 = std::max(x1, x + 16), y1 = std::max(y1, y + 16);
            }
        }
    }
    if (x0 == INT64_MAX) TmxThrow(map.file, "the infinite map has no tiles");
    if (x1 - x0 > kMaxSide || y1 - y0 > kMaxSide) {
        TmxThrow(map.file, "the chunks span %lld x %lld cells: a map holds at most 32767 a side",
                 static_cast<long long>(x1 - x0), static_cast<long long>(y1 - y0));
    }
    map.width = static_cast<int>(x1 - x0);
    map.height = static_cast<int>(y1 - y0);
    CheckCells(map, options);
    const int64_t cells = int64_t{map.width} * map.height;
    int64_t used = 0;
    for (TmxLayer& l : map.layers) {
        TmxBudget(used, cells, options, map.file);
        l.gids.assign(static_cast<size_t>(cells), 0);
        for (const TmxLayer::Chunk& c : l.chunks) {
            for (int64_t i = 0; i < c.w * c.h; i++) {
                const uint32_t g = c.gids[static_cast<size_t>(i)];
                if (!(g & kTmxGidMask)) continue;
                const int64_t x = c.x + i % c.w - x0, y = c.y + i / c.w - y0;
                l.gids[static_cast<size_t>(y * map.width + x)] = g;
            }
        }
        l.chunks.clear();
    }
}

}  // namespace

void TmxCheckSize(const TmxMap& map, const TmxImportOptions& options) {
    if (map.tilewidth < 1 || map.tileheight < 1 || map.tilewidth > 256 || map.tileheight > 256) {
        TmxThrow(map.file, "tile size %d x %d: blocks are 1 to 256 pixels a side", map.tilewidth, map.tileheight);
    }
    if (!map.infinite) {
        if (map.width < 1 || map.height < 1 || map.width > kMaxSide || map.height > kMaxSide) {
            TmxThrow(map.file, "map size %d x %d cells: a map has 1 to 32767 a side", map.width, map.height);
        }
        CheckCells(map, options);
    }
}

void TmxFinishMap(TmxMap& map, const TmxImportOptions& options) {
    if (map.objlayers.size() > MAPOBJ_MAXLAYERS) {
        TmxThrow(map.file, "%zu object layers and groups, at most %d", map.objlayers.size(), MAPOBJ_MAXLAYERS);
    }
    if (map.objects > MAPOBJ_MAXOBJECTS) TmxThrow(map.file, "%zu objects, at most %d", map.objects, MAPOBJ_MAXOBJECTS);
    for (const TmxTileset& ts : map.tilesets) {
        if (!ts.image.empty() &&
            (ts.tilewidth < 1 || ts.tileheight < 1 || ts.tilewidth > 65536 || ts.tileheight > 65536)) {
            TmxThrow(ts.file, "tileset \"%s\": tile size %d x %d is not 1 to 65536 pixels a side", ts.name.c_str(),
                     ts.tilewidth, ts.tileheight);
        }
    }
    std::stable_sort(map.tilesets.begin(), map.tilesets.end(),
                     [](const TmxTileset& a, const TmxTileset& b) { return a.firstgid < b.firstgid; });
    for (size_t i = 1; i < map.tilesets.size(); i++) {
        if (map.tilesets[i].firstgid == map.tilesets[i - 1].firstgid) {
            TmxThrow(map.file, "two tilesets have the first gid %lld",
                     static_cast<long long>(map.tilesets[i].firstgid));
        }
    }
    if (map.infinite) PlaceChunks(map, options);
    TmxResolveTemplates(map, options);
}

void TmxReadTilesetFile(const std::string& path, const TmxImportOptions& options, TmxTileset& out) {
    const std::vector<uint8_t> text = TmxLoadFile(options, path);
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\n' || text[i] == '\r' || text[i] == '\t')) i++;
    const char* s = reinterpret_cast<const char*>(text.data());
    if (i < text.size() && text[i] == '{') {
        TmxReadTsj(s, text.size(), path, out);
    } else {
        TmxReadTsx(s, text.size(), path, out);
    }
}
