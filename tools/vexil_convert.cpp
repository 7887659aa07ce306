// vexil import / export: Tiled maps to map files and back, through the
// converter library. Output goes to temporary names first and is renamed
// into place only when everything is written, so a failure leaves nothing.
#include "vexil_convert.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "vexil_cli.h"
#include "vexil_mapfile.h"
#include "vexilconvert.h"

namespace {

// Whether a path names a Tiled map: .tmx, .tmj or .json.
bool TiledMapName(const std::string& s) {
    const size_t dot = s.rfind('.');
    if (dot == std::string::npos || dot == 0 || s[dot - 1] == '/') return false;
    std::string ext = s.substr(dot);
    for (char& c : ext) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return ext == ".tmx" || ext == ".tmj" || ext == ".json";
}

// A sprite sheet argument: FILE.png, or FILE.png:WxH for frames of W x H.
TmxSpriteSheet SheetArg(const std::string& a) {
    TmxSpriteSheet s{a, "", 0, 0};
    const size_t colon = a.rfind(':');
    int w = 0, h = 0, used = 0;
    if (colon != std::string::npos && std::sscanf(a.c_str() + colon + 1, "%dx%d%n", &w, &h, &used) == 2 &&
        colon + 1 + static_cast<size_t>(used) == a.size() && w > 0 && h > 0) {
        s = {a.substr(0, colon), "", w, h};
    }
    return s;
}

// IN -o OUT, in either order, and --strict and --sprites where `import` is
// given; false after printing a usage error.
bool InOut(int argc, char** argv, const char* cmd, std::string& in, std::string& out, int& status,
           bool* strict = nullptr, std::vector<TmxSpriteSheet>* sheets = nullptr) {
    for (int i = 2; i < argc; i++) {
        const std::string a = argv[i];
        if (a == "-h" || a == "--help") {
            status = -1;
            return false;
        }
        if (a == "--strict" && strict) {
            *strict = true;
        } else if (a == "--sprites" && sheets) {
            if (i + 1 >= argc) {
                status = UsageError("--sprites needs a PNG file");
                return false;
            }
            sheets->push_back(SheetArg(argv[++i]));
        } else if (a == "-o") {
            if (i + 1 >= argc) {
                status = UsageError("-o needs a value");
                return false;
            }
            out = argv[++i];
        } else if (a.size() > 1 && a[0] == '-') {
            status = UsageError("unknown option '%s'", a.c_str());
            return false;
        } else if (!in.empty()) {
            status = UsageError("unexpected argument '%s': one input file only", a.c_str());
            return false;
        } else {
            in = a;
        }
    }
    if (in.empty() || out.empty()) {
        status = UsageError("%s needs an input file and -o OUT", cmd);
        return false;
    }
    return true;
}

// Writes every file under a temporary name, then renames them all into
// place; on any failure the temporary files and those already in place are
// removed, so nothing of the output is left.
bool WriteAll(const std::vector<TmxFile>& files, std::string& err) {
    const std::string suffix = ".vexil-" + std::to_string(getpid()) + ".tmp";
    size_t made = 0;  // temporary files created
    bool ok = true;
    for (; ok && made < files.size(); made++) {
        const TmxFile& f = files[made];
        FILE* out = std::fopen((f.path + suffix).c_str(), "wb");
        if (!out) {
            err = f.path + ": " + std::strerror(errno);
            ok = false;
            break;
        }
        ok = std::fwrite(f.data.data(), 1, f.data.size(), out) == f.data.size();
        if (std::fclose(out) != 0) ok = false;
        if (!ok) err = f.path + ": write failed";
    }
    size_t placed = 0;
    for (; ok && placed < files.size(); placed++) {
        if (std::rename((files[placed].path + suffix).c_str(), files[placed].path.c_str()) != 0) {
            err = files[placed].path + ": " + std::strerror(errno);
            ok = false;
            break;
        }
    }
    if (!ok) {
        for (size_t i = 0; i < placed; i++) std::remove(files[i].path.c_str());
        for (size_t i = placed; i < made; i++) std::remove((files[i].path + suffix).c_str());
    }
    return ok;
}

}  // namespace

int CmdImport(int argc, char** argv, const char* help) {
    std::string in, out;
    int status = kExitOk;
    bool strict = false;
    TmxImportOptions options;
    if (!InOut(argc, argv, "import", in, out, status, &strict, &options.sprites)) {
        if (status < 0) std::fputs(help, stdout);
        return status < 0 ? kExitOk : status;
    }
    std::vector<uint8_t> image;
    TmxError err;
    std::vector<std::string> warnings;
    options.warnings = &warnings;
    options.output = out;
    if (!TmxImport(in, image, err, options)) {
        std::fprintf(stderr, "vexil: %s: %s\n", err.file.c_str(), err.reason.c_str());
        return kExitRejected;
    }
    // What does not come across: said, or with --strict the import refused.
    for (const std::string& w : warnings) std::fprintf(stderr, "vexil: %s%s\n", strict ? "" : "warning: ", w.c_str());
    if (strict && !warnings.empty()) return kExitRejected;
    std::string why;
    if (!WriteAll({{out, std::move(image)}}, why)) {
        std::fprintf(stderr, "vexil: cannot write %s\n", why.c_str());
        return kExitFailed;
    }
    return kExitOk;
}

int CmdExport(int argc, char** argv, const char* help) {
    std::string in, out;
    int status = kExitOk;
    if (!InOut(argc, argv, "export", in, out, status)) {
        if (status < 0) std::fputs(help, stdout);
        return status < 0 ? kExitOk : status;
    }
    if (!TiledMapName(out)) return UsageError("output '%s' must end in .tmx, .tmj or .json", out.c_str());
    // Read as the loaders bound it: no more than the FORM and the file hold,
    // and a FORM that does not fill the file is no map file.
    MapFileImage f;
    std::string why;
    if (!ReadMapFile(in.c_str(), f, why)) {
        std::fprintf(stderr, "vexil: %s: %s\n", in.c_str(), why.c_str());
        return kExitRejected;
    }
    if (f.fileSize >= 0 && static_cast<uint64_t>(f.fileSize) != f.bytes.size()) {
        std::fprintf(stderr, "vexil: %s: not a map file: the FORM size disagrees with the file size\n", in.c_str());
        return kExitRejected;
    }
    std::vector<TmxFile> files;
    TmxError err;
    if (!TmxExport(f.bytes.data(), f.bytes.size(), out, files, err, in)) {
        std::fprintf(stderr, "vexil: %s: %s\n", in.c_str(), err.reason.c_str());
        return kExitRejected;
    }
    if (!WriteAll(files, why)) {
        std::fprintf(stderr, "vexil: cannot write %s\n", why.c_str());
        return kExitFailed;
    }
    return kExitOk;
}

int CmdObjects(int argc, char** argv, const char* help) {
    if (argc == 3 && (!std::strcmp(argv[2], "-h") || !std::strcmp(argv[2], "--help"))) {
        std::fputs(help, stdout);
        return kExitOk;
    }
    if (argc != 3) return UsageError("objects takes exactly one map file");
    MapFileImage f;
    std::string why, json;
    TmxError err;
    if (!ReadMapFile(argv[2], f, why)) {
        std::fprintf(stderr, "vexil: %s: %s\n", argv[2], why.c_str());
        return kExitRejected;
    }
    if (!TmxObjectsJson(f.bytes.data(), f.bytes.size(), json, err)) {
        std::fprintf(stderr, "vexil: %s: %s\n", argv[2], err.reason.c_str());
        return kExitRejected;
    }
    std::fwrite(json.data(), 1, json.size(), stdout);
    return std::fflush(stdout) == 0 ? kExitOk : kExitFailed;
}
