// vexil: command-line client of the map library: map information, headless
// rendering of one frame (640 x 480 or a view of any size) to PGM or PNG, and
// the demo map.
#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "mapformat.h"
#include "mapwriter.h"
#include "vexil_cli.h"
#include "vexil_image.h"
#include "vexil_mapfile.h"
#include "vexildx.h"
#ifdef VEXIL_HAVE_DEMOMAP
#include "demomap.h"
#endif
#ifdef VEXIL_HAVE_CONVERT
#include "vexil_convert.h"
#endif

LPDIRECTDRAW lpDD = nullptr;

int UsageError(const char* fmt, ...) {
    std::fputs("vexil: ", stderr);
    va_list ap;
    va_start(ap, fmt);
    std::vfprintf(stderr, fmt, ap);
    va_end(ap);
    std::fputs("\n(vexil --help shows the usage)\n", stderr);
    return kExitUsage;
}

namespace {

constexpr int kViewWidth = 640;  // the default view, or as much of it as the map has
constexpr int kViewHeight = 480;

const char kHelp[] =
    "usage: vexil COMMAND ARGS...\n"
    "\n"
    "  vexil info MAP\n"
    "      Prints the map's header, its chunks in file order (id, length, offset),\n"
    "      the numbers of block structures, graphics, animations and layers, and\n"
    "      whether the map loads.\n"
    "\n"
    "  vexil render MAP -x X -y Y [--view WxH] [-a STEPS] [-l LAYERS] [-f FILL]\n"
    "               [--memory] -o OUT\n"
    "      Draws one frame of the view with map pixel (X, Y) at its top-left corner.\n"
    "      X runs from 0 to the map's pixel width - W, Y from 0 to its height - H.\n"
    "      --view WxH the view's size, 1 to 4096 a side (640x480, or as much of\n"
    "                 it as a smaller map has)\n"
    "      -a STEPS   step the animations STEPS times after resetting them (0)\n"
    "      -l LAYERS  comma-separated draws, in order, from: para, bg (opaque),\n"
    "                 bgt (colour-keyed where the block's trigger is set),\n"
    "                 fg0, fg1, fg2 (foreground 1 to 3), objects (the tile\n"
    "                 objects of shown object layers) (default para,bgt,fg0)\n"
    "      -f FILL    palette index the frame starts with (0)\n"
    "      --memory   decode the map from a memory copy of the file\n"
    "      -o OUT     OUT.pgm: binary PGM of the palette indices;\n"
    "                 OUT.png: 8-bit indexed PNG with the map's palette\n"
#ifdef VEXIL_HAVE_CONVERT
    "\n"
    "  vexil import MAP.tmx|MAP.tmj [--strict] [--sprites SHEET.png[:WxH]]...\n"
    "               -o OUT.fmp\n"
    "      Converts a Tiled map (TMX or JSON, with its tilesets and images, its\n"
    "      properties and object layers) into a map file. --sprites carries a\n"
    "      sprite sheet (frames of W x H, or the whole image) on the map's\n"
    "      palette, found by its file name without folder and extension, as are\n"
    "      tilesets whose bool property \"sprites\" is true. What does not come\n"
    "      across is said on stderr, one line a kind; --strict refuses the map\n"
    "      instead (exit 2, nothing written).\n"
    "\n"
    "  vexil export MAP -o OUT.tmx|OUT.tmj\n"
    "      Writes a map file as a Tiled map: OUT.tmx and OUT.tsx (or OUT.tmj and\n"
    "      OUT.tsj, Tiled's JSON form), OUT.png and OUT-parallax.png, and its\n"
    "      sprite images as OUT-sprite-N.png.\n"
    "\n"
    "  vexil objects MAP\n"
    "      Prints the map's properties and object layers as Tiled's JSON map\n"
    "      format has them: {\"layers\": [...], \"properties\": [...]}.\n"
#endif
#ifdef VEXIL_HAVE_DEMOMAP
    "\n"
    "  vexil mkdemo FILE\n"
    "      Writes the demo map to FILE.\n"
#endif
    "\n"
    "Exit status: 0 success, 1 bad usage, 2 the map cannot be read or is rejected\n"
    "(the reason on stderr), 3 any other failure (display, output file).\n";

bool IsHelp(const char* a) { return !std::strcmp(a, "-h") || !std::strcmp(a, "--help"); }

// Parses a whole argument as a decimal int in [lo, hi].
bool ParseInt(const char* s, long lo, long hi, int& out) {
    if (!*s) return false;
    errno = 0;
    char* end = nullptr;
    long v = std::strtol(s, &end, 10);
    if (errno || *end || v < lo || v > hi) return false;
    out = static_cast<int>(v);
    return true;
}

// A chunk id as text; bytes that are not printable ASCII appear as \xNN.
std::string ChunkIdText(const unsigned char* p) {
    std::string s;
    for (int i = 0; i < 4; i++) {
        if (p[i] >= 0x20 && p[i] < 0x7F && p[i] != '\\') {
            s += static_cast<char>(p[i]);
        } else {
            char esc[8];
            std::snprintf(esc, sizeof esc, "\\x%02X", p[i]);
            s += esc;
        }
    }
    return s;
}

// Says why the last load of `path` failed.
void ReportLoadFailure(const char* path) {
    std::fprintf(stderr, "vexil: %s: %s (maperror %d)%s%s\n", path, MapErrorName(maperror), maperror,
                 mapreason[0] ? ": " : "", mapreason);
}

bool OpenDisplay() {
    if (DirectDrawCreate(nullptr, &lpDD, nullptr) != DD_OK) {
        lpDD = nullptr;
        std::fputs("vexil: cannot create the display object\n", stderr);
        return false;
    }
    return true;
}

// Frees the map (also what a failed load left) while the display still exists,
// then the display.
void CloseMapAndDisplay() {
    MapFreeMem();
    if (lpDD) lpDD->Release();
    lpDD = nullptr;
}

// A map has a dozen chunks; a large input of anything else may hold millions.
constexpr size_t kListedChunks = 1000;

void PrintFile(const MapFileImage& f) {
    const std::vector<unsigned char>& img = f.bytes;
    if (f.fileSize >= 0) {
        std::printf("size         %lld\n", f.fileSize);
    } else {
        std::printf("size         unknown (not a regular file; %zu bytes read)\n", img.size());
    }
    uint32_t form = 0;
    if (img.size() < 12) {
        std::printf("form         (too short for a FORM header)\n");
        return;
    }
    if (MapFormSize(img.data(), img.size(), &form) != 0) {
        std::printf("form         %s (not a FORM)\n", ChunkIdText(&img[0]).c_str());
        return;
    }
    const uint64_t formend = uint64_t{form} + 8;
    const char* note = "";
    if (f.fileSize >= 0 && formend != static_cast<uint64_t>(f.fileSize)) {
        note = " (size disagrees with the file)";
    } else if (f.fileSize < 0 && formend > img.size()) {
        note = " (the input ended first)";
    }
    std::printf("form         FORM size %u type %s%s\n", form, ChunkIdText(&img[8]).c_str(), note);

    // The header as the file states it, even when the map is rejected.
    MAPDESC desc;
    MapParse(img.data(), img.size(), &desc, nullptr);
    if (desc.held & (1u << MAPCHUNK_MPHD)) {
        const MPHD& h = desc.header;
        std::printf("version      %d.%d\n", h.mapverhigh, h.mapverlow);
        std::printf("mapwidth     %d\n", h.mapwidth);
        std::printf("mapheight    %d\n", h.mapheight);
        std::printf("blockwidth   %d\n", h.blockwidth);
        std::printf("blockheight  %d\n", h.blockheight);
        std::printf("blockdepth   %d\n", h.blockdepth);
        std::printf("blockstrsize %d\n", h.blockstrsize);
        std::printf("numblockstr  %d\n", h.numblockstr);
        std::printf("numblockgfx  %d\n", h.numblockgfx);
    }

    // The chunks as the loaders walk them, up to where the walk stops.
    std::vector<std::string> lines;
    size_t more = 0;
    MAPREASON why;
    const int walked = MapWalk(
        img.data(), img.size(),
        [&](const MAPCHUNKINFO& c) {
            if (lines.size() == kListedChunks) {
                more++;
                return;
            }
            char line[96];
            std::snprintf(line, sizeof line, "  %-16s %10u  at %llu",
                          ChunkIdText(reinterpret_cast<const unsigned char*>(c.id)).c_str(), c.length,
                          static_cast<unsigned long long>(c.offset));
            lines.push_back(line);
        },
        &why);
    std::printf("chunks       %zu\n", lines.size() + more);
    for (const std::string& l : lines) std::printf("%s\n", l.c_str());
    if (more) std::printf("  (%zu more)\n", more);
    if (walked) std::printf("  (%s)\n", why.text);
}

// Animation records of the loaded map: counted downward from the end of the
// relocated animation data up to the end record.
int CountAnims() {
    if (!mapanimrelpt) return 0;
    const ptrdiff_t room = (mapanimrelendpt - mapanimrelpt) / static_cast<ptrdiff_t>(sizeof(MAPANIM));
    int k = 0;
    while (k < room && MapAnim(k)->antype != -1) k++;
    return k;
}

int CmdInfo(int argc, char** argv) {
    if (argc == 3 && IsHelp(argv[2])) {
        std::fputs(kHelp, stdout);
        return kExitOk;
    }
    if (argc != 3) return UsageError("info takes exactly one map file");
    const char* path = argv[2];

    std::printf("file         %s\n", path);
    MapFileImage f;
    std::string why;
    const bool readable = ReadMapFile(path, f, why);
    if (!f.bytes.empty()) PrintFile(f);
    if (!readable) {
        std::printf("loads        no\n");
        std::fprintf(stderr, "vexil: %s: %s\n", path, why.c_str());
        return kExitRejected;
    }

    // A regular file goes through the file loader; anything else cannot be
    // read twice and is decoded from what was read.
    if (!OpenDisplay()) return kExitFailed;
    if ((f.regular ? MapLoad(path) : MapDecode(f.bytes.data(), f.bytes.size())) != 0) {
        std::printf("loads        no\n");
        ReportLoadFailure(path);
        CloseMapAndDisplay();
        return kExitRejected;
    }
    int graphics = 0;
    while (maptilespt[graphics]) graphics++;
    std::string layers;
    int nlayers = 0;
    for (int n = 0; n < 8; n++) {
        if (!mapmappt[n]) continue;
        nlayers++;
        layers +=
            n == 0 ? (mapcellnumbers ? " BODN" : " BODY") : (mapcellnumbers ? " LYN" : " LYR") + std::to_string(n);
    }
    std::printf("blocks       %d\n", mapnumblockstr);
    std::printf("block size   %d x %d\n", mapblockwidth, mapblockheight);
    std::printf("graphics     %d\n", graphics);
    std::printf("animations   %d\n", CountAnims());
    std::printf("layers       %d (%s)\n", nlayers, layers.empty() ? "" : layers.c_str() + 1);
    std::printf("cells        %s\n", mapcellnumbers
                                         ? "numbered: block and animation numbers, past the 1,024 blocks and "
                                           "2,048 animations byte offsets reach (BODN, LYN1..LYN7)"
                                         : "byte offsets");
    std::printf("objects      %d in %d object layers and groups\n", mapnumobjects, mapnumobjlayers);
    std::printf("sprites      %d\n", mapnumsprites);
    std::printf("loads        yes\n");
    CloseMapAndDisplay();
    return kExitOk;
}

enum Draw { kPara, kBG, kBGT, kFG0, kFG1, kFG2, kObjects };

struct DrawName {
    const char* name;
    Draw draw;
};
constexpr DrawName kDrawNames[] = {{"para", kPara}, {"bg", kBG},   {"bgt", kBGT},        {"fg0", kFG0},
                                   {"fg1", kFG1},   {"fg2", kFG2}, {"objects", kObjects}};

bool ParseLayers(const std::string& list, std::vector<Draw>& out, std::string& bad) {
    out.clear();
    size_t start = 0;
    while (true) {
        size_t comma = list.find(',', start);
        std::string item = list.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        bool found = false;
        for (const DrawName& d : kDrawNames) {
            if (item == d.name) {
                out.push_back(d.draw);
                found = true;
            }
        }
        if (!found) {
            bad = item;
            return false;
        }
        if (comma == std::string::npos) return true;
        start = comma + 1;
    }
}

void DrawLayer(Draw d, LPDIRECTDRAWSURFACE dest, int x, int y) {
    switch (d) {
        case kPara:
            MapDrawPara(dest, x, y);
            break;
        case kBG:
            MapDraw8BG(dest, x, y);
            break;
        case kBGT:
            MapDraw8BGT(dest, x, y);
            break;
        case kFG0:
            MapDraw8FG(dest, x, y, 0);
            break;
        case kFG1:
            MapDraw8FG(dest, x, y, 1);
            break;
        case kFG2:
            MapDraw8FG(dest, x, y, 2);
            break;
        case kObjects:
            MapDrawTileObjects(dest, x, y);
            break;
    }
}

// Parses "WxH" with both sides 1..MAPVIEW_MAX.
bool ParseView(const char* s, int& w, int& h) {
    const char* x = std::strchr(s, 'x');
    if (!x) return false;
    const std::string width(s, x);
    return ParseInt(width.c_str(), 1, MAPVIEW_MAX, w) && ParseInt(x + 1, 1, MAPVIEW_MAX, h);
}

bool EndsWith(const std::string& s, const char* suffix) {
    const size_t n = std::strlen(suffix);
    if (s.size() < n) return false;
    for (size_t i = 0; i < n; i++) {
        char c = s[s.size() - n + i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != suffix[i]) return false;
    }
    return true;
}

struct RenderArgs {
    const char* map = nullptr;
    std::string out;
    int x = 0, y = 0, steps = 0, fill = 0;
    int viewW = 0, viewH = 0;  // 0: the default view for the map
    bool hasX = false, hasY = false, memory = false;
    std::vector<Draw> draws{kPara, kBGT, kFG0};
};

// Parses the render arguments; returns kExitOk or the exit status to leave with
// (-1 after printing the help).
int ParseRenderArgs(int argc, char** argv, RenderArgs& a) {
    for (int i = 2; i < argc; i++) {
        const std::string opt = argv[i];
        if (IsHelp(argv[i])) {
            std::fputs(kHelp, stdout);
            return -1;
        }
        if (opt == "--memory") {
            a.memory = true;
            continue;
        }
        if (opt == "--view") {
            if (i + 1 >= argc) return UsageError("--view needs a value");
            if (!ParseView(argv[++i], a.viewW, a.viewH)) {
                return UsageError("bad view '%s' for --view (WxH, each 1 to %d)", argv[i], MAPVIEW_MAX);
            }
            continue;
        }
        if (opt == "-x" || opt == "-y" || opt == "-a" || opt == "-f" || opt == "-l" || opt == "-o") {
            if (i + 1 >= argc) return UsageError("%s needs a value", opt.c_str());
            const char* v = argv[++i];
            bool ok = true;
            if (opt == "-x") {
                ok = a.hasX = ParseInt(v, INT_MIN, INT_MAX, a.x);
            } else if (opt == "-y") {
                ok = a.hasY = ParseInt(v, INT_MIN, INT_MAX, a.y);
            } else if (opt == "-a") {
                ok = ParseInt(v, 0, INT_MAX, a.steps);
            } else if (opt == "-f") {
                ok = ParseInt(v, 0, 255, a.fill);
            } else if (opt == "-l") {
                std::string bad;
                if (!ParseLayers(v, a.draws, bad)) {
                    return UsageError("unknown layer '%s' (use para, bg, bgt, fg0, fg1, fg2, objects)", bad.c_str());
                }
            } else {
                a.out = v;
            }
            if (!ok) {
                return UsageError("bad number '%s' for %s%s", v, opt.c_str(),
                                  opt == "-f"   ? " (a palette index 0 to 255)"
                                  : opt == "-a" ? " (a step count of 0 or more)"
                                                : "");
            }
            continue;
        }
        if (opt.size() > 1 && opt[0] == '-') return UsageError("unknown option '%s'", opt.c_str());
        if (a.map) return UsageError("unexpected argument '%s': one map file only", opt.c_str());
        a.map = argv[i];
    }
    if (!a.map) return UsageError("render needs a map file");
    if (!a.hasX || !a.hasY) return UsageError("render needs the scroll position: -x X -y Y");
    if (a.out.empty()) return UsageError("render needs an output file: -o OUT.pgm or -o OUT.png");
    if (!EndsWith(a.out, ".pgm") && !EndsWith(a.out, ".png")) {
        return UsageError("output '%s' must end in .pgm or .png", a.out.c_str());
    }
    return kExitOk;
}

int LoadForRender(const RenderArgs& a) {
    if (a.memory) {
        MapFileImage f;
        std::string why;
        if (!ReadMapFile(a.map, f, why)) {
            std::fprintf(stderr, "vexil: %s: %s\n", a.map, why.c_str());
            return kExitRejected;
        }
        if (MapDecode(f.bytes.data(), f.bytes.size()) != 0) {
            ReportLoadFailure(a.map);
            return kExitRejected;
        }
    } else if (MapLoad(a.map) != 0) {
        ReportLoadFailure(a.map);
        return kExitRejected;
    }
    return kExitOk;
}

// Settles the view for the loaded map (the default one shrinks to a smaller
// map) and checks the scroll position against it: the drawing routines need
// the whole view inside the map.
int CheckPosition(RenderArgs& a) {
    const long mapw = static_cast<long>(mapwidth) * mapblockwidth;
    const long maph = static_cast<long>(mapheight) * mapblockheight;
    if (!a.viewW) {
        a.viewW = static_cast<int>(mapw < kViewWidth ? mapw : kViewWidth);
        a.viewH = static_cast<int>(maph < kViewHeight ? maph : kViewHeight);
    }
    if (a.viewW > mapw || a.viewH > maph) {
        return UsageError("the map is %d x %d cells (%ld x %ld pixels), smaller than the %d x %d view", mapwidth,
                          mapheight, mapw, maph, a.viewW, a.viewH);
    }
    const long maxx = mapw - a.viewW, maxy = maph - a.viewH;
    if (a.x < 0 || a.x > maxx) return UsageError("-x %d is outside 0..%ld for this map", a.x, maxx);
    if (a.y < 0 || a.y > maxy) return UsageError("-y %d is outside 0..%ld for this map", a.y, maxy);
    return kExitOk;
}

bool FillSurface(LPDIRECTDRAWSURFACE surface, int index) {
    DDSURFACEDESC lock{};
    lock.dwSize = sizeof lock;
    if (surface->Lock(nullptr, &lock, DDLOCK_WAIT, nullptr) != DD_OK) return false;
    auto* rows = static_cast<unsigned char*>(lock.lpSurface);
    for (DWORD y = 0; y < lock.dwHeight; y++) std::memset(rows + y * lock.lPitch, index, lock.dwWidth);
    surface->Unlock(lock.lpSurface);
    return true;
}

bool WriteSurface(LPDIRECTDRAWSURFACE surface, const std::string& out, std::string& err) {
    DDSURFACEDESC lock{};
    lock.dwSize = sizeof lock;
    if (surface->Lock(nullptr, &lock, DDLOCK_WAIT, nullptr) != DD_OK) {
        err = "cannot lock the frame surface";
        return false;
    }
    const auto* pixels = static_cast<const unsigned char*>(lock.lpSurface);
    const bool ok = EndsWith(out, ".png")
                        ? WritePng(out, pixels, int(lock.dwWidth), int(lock.dwHeight), lock.lPitch, mappept, err)
                        : WritePgm(out, pixels, int(lock.dwWidth), int(lock.dwHeight), lock.lPitch, err);
    surface->Unlock(lock.lpSurface);
    return ok;
}

// Renders the view into a fresh off-screen surface of its size and writes it out.
int RenderFrame(const RenderArgs& a) {
    LPDIRECTDRAWSURFACE target = nullptr;
    if (DDCreatePlainSurface(lpDD, a.viewW, a.viewH, &target) != DD_OK || MapSetView(0, 0, a.viewW, a.viewH)) {
        std::fprintf(stderr, "vexil: cannot create the %d x %d surface\n", a.viewW, a.viewH);
        if (target) target->Release();
        return kExitFailed;
    }
    std::string err;
    bool ok = FillSurface(target, a.fill);
    if (!ok) {
        err = "cannot lock the frame surface";
    } else {
        MapInitAnims();
        for (int s = 0; s < a.steps; s++) MapUpdateAnims();
        for (Draw d : a.draws) DrawLayer(d, target, a.x, a.y);
        ok = WriteSurface(target, a.out, err);
    }
    target->Release();
    if (!ok) {
        std::fprintf(stderr, "vexil: %s\n", err.c_str());
        return kExitFailed;
    }
    return kExitOk;
}

int CmdRender(int argc, char** argv) {
    RenderArgs a;
    int status = ParseRenderArgs(argc, argv, a);
    if (status < 0) return kExitOk;
    if (status != kExitOk) return status;

    if (!OpenDisplay()) return kExitFailed;
    status = LoadForRender(a);
    if (status == kExitOk) status = CheckPosition(a);
    if (status == kExitOk) status = RenderFrame(a);
    CloseMapAndDisplay();
    return status;
}

#ifdef VEXIL_HAVE_DEMOMAP
int CmdMkdemo(int argc, char** argv) {
    if (argc == 3 && IsHelp(argv[2])) {
        std::fputs(kHelp, stdout);
        return kExitOk;
    }
    if (argc != 3) return UsageError("mkdemo takes exactly one output file");
    if (!MapWriterSave(argv[2], MapSerialize(MapWriterDemo()))) {
        std::fprintf(stderr, "vexil: cannot write %s: %s\n", argv[2], std::strerror(errno));
        return kExitFailed;
    }
    return kExitOk;
}
#endif

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return UsageError("no command given");
    const std::string cmd = argv[1];
    if (IsHelp(argv[1]) || cmd == "help") {
        std::fputs(kHelp, stdout);
        return kExitOk;
    }
    if (cmd == "info") return CmdInfo(argc, argv);
    if (cmd == "render") return CmdRender(argc, argv);
#ifdef VEXIL_HAVE_DEMOMAP
    if (cmd == "mkdemo") return CmdMkdemo(argc, argv);
#endif
#ifdef VEXIL_HAVE_CONVERT
    if (cmd == "import") return CmdImport(argc, argv, kHelp);
    if (cmd == "export") return CmdExport(argc, argv, kHelp);
    if (cmd == "objects") return CmdObjects(argc, argv, kHelp);
#endif
    return UsageError("unknown command '%s'", cmd.c_str());
}
