// Fuzz target: any bytes written to a file and loaded with MapLoad, checked
// against MapDecode of the same bytes, then a loaded map through animation
// and drawing.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "fuzz_common.h"
#include "vexildx.h"

namespace {

std::string path;  // one file per process, so parallel fuzzers do not meet

void RemoveFile() { std::remove(path.c_str()); }

void WriteFile(const uint8_t* data, size_t size) {
    if (path.empty()) {
        path = (std::filesystem::temp_directory_path() / ("vexil-fuzz-" + std::to_string(getpid()) + ".fmp")).string();
        std::atexit(RemoveFile);
    }
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f || std::fwrite(data, 1, size, f) != size || std::fclose(f) != 0) FuzzFail("cannot write %s", path.c_str());
}

uint32_t FormSize(const uint8_t* data) {
    return uint32_t{data[4]} << 24 | uint32_t{data[5]} << 16 | uint32_t{data[6]} << 8 | data[7];
}

// The state a successful load leaves, as far as it comes from the image.
struct Loaded {
    short w, h, bw, bh, depth, nstr, ngfx;
    unsigned char cmap[768];
};

Loaded Snapshot() {
    Loaded s{mapwidth, mapheight, mapblockwidth, mapblockheight, mapdepth, mapnumblockstr, mapnumblockgfx, {}};
    std::memcpy(s.cmap, mapcmappt, 768);
    return s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzSetUp();
    WriteFile(data, size);
    FuzzBeginAllocations(size);
    const int result = MapLoad(path.c_str());
    FuzzEndAllocations();
    const int error = maperror;
    if (result == 0 && error) FuzzFail("MapLoad succeeded with maperror %d", error);
    if (result != 0 && error != MER_MAPLOADERROR && error != MER_OUTOFMEM) {
        FuzzFail("MapLoad failed with maperror %d", error);
    }
    if (error == MER_MAPLOADERROR && !mapreason[0]) FuzzFail("MapLoad rejected a map without a reason");

    // Where the FORM fills the file, both loaders see the same bytes and
    // must agree on the result and on the map.
    Loaded loaded{};
    if (result == 0) loaded = Snapshot();
    if (size >= 8 && uint64_t{FormSize(data)} + 8 == size) {
        const int again = MapDecode(data, size);
        if (again != result || maperror != error) {
            FuzzFail("MapLoad gave %d (maperror %d), MapDecode %d (maperror %d: %s)", result, error, again, maperror,
                     mapreason);
        }
        if (again == 0) {
            Loaded decoded = Snapshot();
            if (std::memcmp(&loaded, &decoded, sizeof loaded) != 0) FuzzFail("MapLoad and MapDecode differ");
        }
    } else if (result == 0) {
        FuzzFail("MapLoad accepted a FORM size that differs from the file size");
    }

    if (result == 0) FuzzExercise(data, size);
    FuzzFinish();
    return 0;
}
