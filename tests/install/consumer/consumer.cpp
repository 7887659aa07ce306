// A program of a library user: parses and decodes a small map built in
// memory, draws one frame and frees everything.
#include <cstdint>
#include <cstdio>
#include <vector>

#include "mapformat.h"
#include "vexildx.h"

LPDIRECTDRAW lpDD;

static void Put(std::vector<uint8_t>& v, const char* id, const std::vector<uint8_t>& data) {
    v.insert(v.end(), id, id + 4);
    uint32_t n = static_cast<uint32_t>(data.size());
    for (int s = 24; s >= 0; s -= 8) v.push_back(static_cast<uint8_t>(n >> s));
    v.insert(v.end(), data.begin(), data.end());
}

int main() {
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

    MAPDESC desc;  // the format layer needs no display object
    if (MapParse(img.data(), img.size(), &desc, nullptr) != 0 || desc.width != 40) return 5;
    if (DirectDrawCreate(nullptr, &lpDD, nullptr) != DD_OK) return 1;
    if (MapDecode(img.data(), img.size()) != 0) return 2;
    LPDIRECTDRAWSURFACE target = nullptr;
    if (DDCreatePlainSurface(lpDD, 640, 480, &target) != DD_OK) return 3;
    MapDraw8BG(target, 0, 0);
    int pixel = target->pixels[100 * target->pitch + 100];
    std::printf("loaded %d x %d, pixel %d\n", mapwidth, mapheight, pixel);
    target->Release();
    MapFreeMem();
    lpDD->Release();
    return pixel == 7 ? 0 : 4;
}
