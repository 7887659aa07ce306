// The maps the converter is timed on, and a way to time it.
//   vexil_tmxmap DIR        writes DIR/bench.tmx, 300 x 200 cells of 1,000
//                           distinct 16 x 16 tiles from one tileset image in
//                           200 colours, and DIR/game.tmx, a real game's kind
//                           of map (tmxgame.h) of 150 x 120 cells; prints the
//                           bytes game.tmx's decoded images take
//   vexil_tmxmap --run CMD  runs CMD and prints its CPU time (microseconds,
//                           user and system) and its peak resident size (KiB)
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "tmxgame.h"
#include "tmxinternal.h"

namespace {

int Run(char** argv) {
    const pid_t pid = fork();
    if (pid < 0) return 1;
    if (pid == 0) {
        execvp(argv[0], argv);
        _exit(127);
    }
    int status = 0;
    struct rusage ru {};
    if (wait4(pid, &status, 0, &ru) != pid) return 1;
    const long long cpu =
        (ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) * 1000000LL + ru.ru_utime.tv_usec + ru.ru_stime.tv_usec;
    std::printf("%lld %ld\n", cpu, ru.ru_maxrss);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 2 && !std::strcmp(argv[1], "--run")) return Run(argv + 2);
    if (argc != 2) {
        std::fprintf(stderr, "usage: vexil_tmxmap DIR | vexil_tmxmap --run CMD [ARGS...]\n");
        return 1;
    }
    const std::string dir = std::string(argv[1]) + "/";
    std::printf("%lld\n", static_cast<long long>(tmxgame::Write(dir, "game", 150, 120)));
    const int tiles = 1000, cols = 40, rows = 25, w = 300, h = 200;
    auto colour = [](int k) {
        k %= 200;
        return 0xFF000000u | uint32_t(20 + 47 * (k % 5)) | uint32_t(15 + 40 * (k / 5 % 6)) << 8 |
               uint32_t(30 + 30 * (k / 30)) << 16;
    };
    std::vector<uint32_t> px(size_t(cols) * 16 * rows * 16);
    for (int t = 0; t < tiles; t++) {
        for (int y = 0; y < 16; y++) {
            for (int x = 0; x < 16; x++) {
                // A pattern of its own, and the tile's number in its bottom row.
                uint32_t c = colour(t * 7 + (x * 3 + y * (t % 5 + 1)) / 6);
                if (y == 15 && x < 10) c = colour(t >> x & 1 ? 198 : 199);
                px[size_t(t / cols * 16 + y) * cols * 16 + t % cols * 16 + x] = c;
            }
        }
    }
    const std::vector<uint8_t> png = TmxEncodePngRgba(cols * 16, rows * 16, px.data());
    std::ofstream(dir + "bench.png", std::ios::binary)
        .write(reinterpret_cast<const char*>(png.data()), static_cast<std::streamsize>(png.size()));
    std::ofstream tmx(dir + "bench.tmx", std::ios::binary);
    tmx << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<map version=\"1.8\" orientation=\"orthogonal\" "
           "renderorder=\"right-down\" width=\""
        << w << "\" height=\"" << h << "\" tilewidth=\"16\" tileheight=\"16\" infinite=\"0\">\n"
        << " <tileset firstgid=\"1\" name=\"bench\" tilewidth=\"16\" tileheight=\"16\" tilecount=\"" << tiles
        << "\" columns=\"" << cols << "\"><image source=\"bench.png\" width=\"" << cols * 16 << "\" height=\""
        << rows * 16 << "\"/></tileset>\n"
        << " <layer name=\"ground\" width=\"" << w << "\" height=\"" << h << "\"><data encoding=\"csv\">\n";
    for (int i = 0; i < w * h; i++) tmx << 1 + (i * 7 + i / w * 13) % tiles << (i + 1 < w * h ? "," : "\n");
    tmx << "</data></layer>\n</map>\n";
    return tmx.good() ? 0 : 1;
}
