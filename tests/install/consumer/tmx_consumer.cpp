// A program of a converter user. With a Tiled map's path it imports the map
// when it starts and loads it, as a game would; without, it exports a small
// map made in memory to Tiled files and imports the map back, all in memory.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "vexilconvert.h"
#include "vexildx.h"

LPDIRECTDRAW lpDD;

// Imports the Tiled map at `path` and loads it into the library.
static int ImportAndLoad(const char* path) {
    std::vector<uint8_t> image;
    TmxError err;
    if (!TmxImport(path, image, err)) {
        std::printf("import failed: %s: %s\n", err.file.c_str(), err.reason.c_str());
        return 2;
    }
    if (DirectDrawCreate(nullptr, &lpDD, nullptr) != DD_OK) return 3;
    const int loaded = MapDecode(image.data(), image.size());
    if (loaded == 0)
        std::printf("imported %d x %d cells of %d x %d pixels\n", mapwidth, mapheight, mapblockwidth, mapblockheight);
    MapFreeMem();
    lpDD->Release();
    return loaded == 0 ? 0 : 4;
}

static void Put(std::vector<uint8_t>& v, const char* id, const std::vector<uint8_t>& data) {
    v.insert(v.end(), id, id + 4);
    uint32_t n = static_cast<uint32_t>(data.size());
    for (int s = 24; s >= 0; s -= 8) v.push_back(static_cast<uint8_t>(n >> s));
    v.insert(v.end(), data.begin(), data.end());
}

int main(int argc, char** argv) {
    if (argc > 1) return ImportAndLoad(argv[1]);
    std::vector<uint8_t> mphd = {1, 0, 1, 0, 40, 0, 30, 0, 0, 0, 0, 0, 16, 0, 16, 0, 8, 0, 32, 0, 1, 0, 1, 0};
    std::vector<uint8_t> chunks = {'F', 'M', 'A', 'P'};
    Put(chunks, "MPHD", mphd);
    Put(chunks, "CMAP", std::vector<uint8_t>(768, 100));
    Put(chunks, "BKDT", std::vector<uint8_t>(32, 0));
    Put(chunks, "BGFX", std::vector<uint8_t>(256, 7));
    Put(chunks, "BODY", std::vector<uint8_t>(2 * 40 * 30, 0));
    std::vector<uint8_t> img = {'F', 'O', 'R', 'M'};
    uint32_t n = static_cast<uint32_t>(chunks.size());
    for (int s = 24; s >= 0; s -= 8) img.push_back(static_cast<uint8_t>(n >> s));
    img.insert(img.end(), chunks.begin(), chunks.end());

    std::vector<TmxFile> files;
    TmxError err;
    if (!TmxExport(img.data(), img.size(), "mem/m.tmx", files, err)) return 1;
    TmxImportOptions options;
    options.read = [&](const std::string& path, std::vector<uint8_t>& out, std::string& why) {
        for (const TmxFile& f : files) {
            if (f.path == path) {
                out = f.data;
                return true;
            }
        }
        why = "no such file";
        return false;
    };
    std::vector<uint8_t> back;
    const std::vector<uint8_t>& tmx = files[0].data;
    if (!TmxImportMemory(reinterpret_cast<const char*>(tmx.data()), tmx.size(), "mem/m.tmx", back, err, options)) {
        std::printf("import failed: %s: %s\n", err.file.c_str(), err.reason.c_str());
        return 2;
    }
    std::printf("converted %zu files, %s\n", files.size(), back == img ? "same map" : "another map");
    return 0;
}
