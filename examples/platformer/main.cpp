// platformer: a short platform game on the map library. Its level is a
// Tiled map that the build imports with `vexil import`; the game walks,
// jumps, collects coins, lights checkpoints and ends at the goal.
//
//   platformer [--level MAP] [--data DIR] [--scale N] [--fullscreen] [--record FILE]
//   platformer --headless [--replay FILE] [--frames N] [--screenshot OUT.png] [--dump]
//
// In a window: arrows or A/D walk, Space, Z or Up jump, P pauses, Enter plays
// again after the goal, F11 or Alt+Enter toggles fullscreen, Escape quits; a
// game controller's d-pad or left stick, A and Start do the same.
// Without a window (any of --replay, --frames, --screenshot, --dump, or
// --headless) it runs the steps of a replay file, or N steps, as fast as it
// can, and writes the last frame and the state of each step.
#include <SDL.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "game.h"
#include "vexildx.h"
#include "view.h"
#include "vxpresent.h"

LPDIRECTDRAW lpDD;  // the display object the map's and the game's surfaces live on

namespace {

constexpr int kViewW = 320, kViewH = 240;

struct Options {
    std::string level, data, record, replay, screenshot;
    int scale = 0;
    int frames = -1;
    bool fullscreen = false, headless = false, dump = false;
};

// The folder of the running program: the build puts the level, the sprite
// sheet and the font there.
std::string ProgramDir(const char* argv0) {
    char buf[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    std::string path = n > 0 ? std::string(buf, static_cast<size_t>(n)) : std::string(argv0);
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : path.substr(0, slash);
}

bool ParseOptions(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; i++) {
        const std::string a = argv[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= argc) return false;
            out = argv[++i];
            return true;
        };
        auto number = [&](int& out, int lo) {
            std::string s;
            if (!value(s)) return false;
            char* end = nullptr;
            const long v = std::strtol(s.c_str(), &end, 10);
            if (s.empty() || *end || v < lo || v > 1000000) return false;
            out = static_cast<int>(v);
            return true;
        };
        // Any option of the run without a window asks for it.
        if (a == "--replay" || a == "--screenshot" || a == "--frames" || a == "--dump") o.headless = true;
        bool ok = true;
        if (a == "--level")
            ok = value(o.level);
        else if (a == "--data")
            ok = value(o.data);
        else if (a == "--record")
            ok = value(o.record);
        else if (a == "--replay")
            ok = value(o.replay);
        else if (a == "--screenshot")
            ok = value(o.screenshot);
        else if (a == "--frames")
            ok = number(o.frames, 0);
        else if (a == "--scale")
            ok = number(o.scale, 0);
        else if (a == "--dump")
            o.dump = true;
        else if (a == "--headless")
            o.headless = true;
        else if (a == "--fullscreen")
            o.fullscreen = true;
        else
            ok = false;
        if (!ok) return false;
    }
    return !(o.headless && !o.record.empty());
}

// Reads a replay: one line of buttons per step; lines starting with # are
// comments.
bool ReadReplay(const std::string& path, std::vector<PfInput>& out) {
    std::ifstream f(path);
    if (!f) {
        std::fprintf(stderr, "platformer: cannot read %s\n", path.c_str());
        return false;
    }
    std::string line;
    for (int n = 1; std::getline(f, line); n++) {
        if (!line.empty() && line[0] == '#') continue;
        PfInput in;
        const std::string err = PfParseInput(line, in);
        if (!err.empty()) {
            std::fprintf(stderr, "platformer: %s:%d: %s\n", path.c_str(), n, err.c_str());
            return false;
        }
        out.push_back(in);
    }
    return true;
}

int Headless(const Options& o, PfGame& g, PfView& v) {
    std::vector<PfInput> inputs;
    if (!o.replay.empty() && !ReadReplay(o.replay, inputs)) return 2;
    const int frames = o.frames >= 0 ? o.frames : static_cast<int>(inputs.size());
    if (o.dump) std::printf("%s\n", PfDumpHeader());
    for (int i = 0; i < frames; i++) {
        PfStep(g, i < static_cast<int>(inputs.size()) ? inputs[i] : PfInput{});
        if (o.dump) std::printf("%s\n", PfDump(g).c_str());
    }
    PfViewDraw(v, g);
    if (!o.screenshot.empty()) {
        const std::string err = PfViewSave(v, o.screenshot);
        if (!err.empty()) {
            std::fprintf(stderr, "platformer: %s\n", err.c_str());
            return 2;
        }
    }
    return 0;
}

// --- The window ---------------------------------------------------------------------

// Presses since the last step, so that a tap shorter than a step still counts.
struct Latch {
    bool jump = false, pause = false, start = false;
};

struct Window {
    VxPresenter* presenter = nullptr;
    std::vector<SDL_GameController*> pads;
    Latch latch;
    FILE* record = nullptr;
};

void OpenPad(Window& w, int index) {
    if (!SDL_IsGameController(index)) return;
    if (SDL_GameController* c = SDL_GameControllerOpen(index)) w.pads.push_back(c);
}

void ClosePad(Window& w, SDL_JoystickID id) {
    for (size_t i = 0; i < w.pads.size(); i++) {
        if (SDL_JoystickInstanceID(SDL_GameControllerGetJoystick(w.pads[i])) == id) {
            SDL_GameControllerClose(w.pads[i]);
            w.pads.erase(w.pads.begin() + static_cast<ptrdiff_t>(i));
            return;
        }
    }
}

// The buttons of this step: keys and pads held now, and presses latched.
PfInput Sample(Window& w) {
    const Uint8* k = SDL_GetKeyboardState(nullptr);
    const bool alt = SDL_GetModState() & KMOD_ALT;
    PfInput in;
    in.left = k[SDL_SCANCODE_LEFT] || k[SDL_SCANCODE_A];
    in.right = k[SDL_SCANCODE_RIGHT] || k[SDL_SCANCODE_D];
    in.jump = k[SDL_SCANCODE_SPACE] || k[SDL_SCANCODE_Z] || k[SDL_SCANCODE_UP] || w.latch.jump;
    in.pause = k[SDL_SCANCODE_P] || w.latch.pause;
    in.start = ((k[SDL_SCANCODE_RETURN] || k[SDL_SCANCODE_KP_ENTER]) && !alt) || w.latch.start;
    constexpr int kDeadZone = 12000;
    for (SDL_GameController* c : w.pads) {
        const int sx = SDL_GameControllerGetAxis(c, SDL_CONTROLLER_AXIS_LEFTX);
        in.left |= SDL_GameControllerGetButton(c, SDL_CONTROLLER_BUTTON_DPAD_LEFT) || sx < -kDeadZone;
        in.right |= SDL_GameControllerGetButton(c, SDL_CONTROLLER_BUTTON_DPAD_RIGHT) || sx > kDeadZone;
        in.jump |= SDL_GameControllerGetButton(c, SDL_CONTROLLER_BUTTON_A) != 0;
        const bool startButton = SDL_GameControllerGetButton(c, SDL_CONTROLLER_BUTTON_START) != 0;
        in.pause |= startButton;
        in.start |= startButton;
    }
    w.latch = Latch{};
    return in;
}

// Handles the window's events; false when the game should end.
bool Events(Window& w) {
    SDL_Event e;
    while (SDL_PollEvent(&e)) {
        switch (e.type) {
            case SDL_QUIT:
                return false;
            case SDL_KEYDOWN: {
                if (e.key.repeat) break;
                const SDL_Keycode key = e.key.keysym.sym;
                const bool alt = e.key.keysym.mod & KMOD_ALT;
                if (key == SDLK_ESCAPE) return false;
                if (key == SDLK_F11 || (alt && (key == SDLK_RETURN || key == SDLK_KP_ENTER))) {
                    VxPresentToggleFullscreen(w.presenter);
                } else if (key == SDLK_RETURN || key == SDLK_KP_ENTER) {
                    w.latch.start = true;
                } else if (key == SDLK_p) {
                    w.latch.pause = true;
                } else if (key == SDLK_SPACE || key == SDLK_z || key == SDLK_UP) {
                    w.latch.jump = true;
                }
                break;
            }
            case SDL_CONTROLLERDEVICEADDED:
                OpenPad(w, e.cdevice.which);
                break;
            case SDL_CONTROLLERDEVICEREMOVED:
                ClosePad(w, e.cdevice.which);
                break;
            case SDL_CONTROLLERBUTTONDOWN:
                if (e.cbutton.button == SDL_CONTROLLER_BUTTON_A) w.latch.jump = true;
                if (e.cbutton.button == SDL_CONTROLLER_BUTTON_START) w.latch.pause = w.latch.start = true;
                break;
        }
    }
    return true;
}

int Windowed(const Options& o, PfGame& g, PfView& v) {
    // With no desktop SDL would fall back to a driver that shows nothing.
    const char* x11 = SDL_getenv("DISPLAY");
    const char* wayland = SDL_getenv("WAYLAND_DISPLAY");
    if (!SDL_getenv("SDL_VIDEODRIVER") && !(x11 && *x11) && !(wayland && *wayland)) {
        std::fprintf(stderr,
                     "platformer: no display (DISPLAY and WAYLAND_DISPLAY are not set; --headless runs without one)\n");
        return 1;
    }
    Window w;
    if (!o.record.empty() && !(w.record = std::fopen(o.record.c_str(), "w"))) {
        std::fprintf(stderr, "platformer: cannot write %s\n", o.record.c_str());
        return 1;
    }
    if (w.record) std::fprintf(w.record, "# platformer inputs, one line per step: L R J P S held, - none\n");
    if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_GAMECONTROLLER) != 0) {
        std::fprintf(stderr, "platformer: no display: %s\n", SDL_GetError());
        if (w.record) std::fclose(w.record);
        return 1;
    }
    w.presenter =
        VxPresentOpen("Platformer", kViewW, kViewH, o.scale, VXP_RESIZABLE | (o.fullscreen ? VXP_FULLSCREEN : 0));
    if (!w.presenter) {
        std::fprintf(stderr, "platformer: %s\n", VxPresentError());
        if (w.record) std::fclose(w.record);
        SDL_Quit();
        return 1;
    }
    VxPresentSetPalette(w.presenter, mappept);
    // Pads present at the start arrive as device-added events too.

    // Steps run on real time: 60 a second, whatever the frame rate.
    const uint64_t freq = SDL_GetPerformanceFrequency();
    uint64_t last = SDL_GetPerformanceCounter(), owed = 0;  // owed: ticks x 60
    while (Events(w)) {
        const uint64_t now = SDL_GetPerformanceCounter();
        owed = std::min<uint64_t>(owed + (now - last) * 60, 15 * freq);  // at most 15 steps behind
        last = now;
        for (; owed >= freq; owed -= freq) {
            const PfInput in = Sample(w);
            if (w.record) std::fprintf(w.record, "%s\n", PfFormatInput(in).c_str());
            PfStep(g, in);
        }
        PfViewDraw(v, g);
        VxPresentSurface(w.presenter, v.frame);
    }

    int status = 0;
    if (w.record && std::fclose(w.record) != 0) {
        std::fprintf(stderr, "platformer: cannot write %s\n", o.record.c_str());
        status = 1;
    }
    for (SDL_GameController* c : w.pads) SDL_GameControllerClose(c);
    VxPresentClose(w.presenter);
    SDL_Quit();
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    if (!ParseOptions(argc, argv, o)) {
        std::fprintf(stderr,
                     "usage: platformer [--level MAP] [--data DIR] [--scale N] [--fullscreen] [--record FILE]\n"
                     "       platformer --headless [--replay FILE] [--frames N] [--screenshot OUT.png] [--dump]\n");
        return 2;
    }
    if (o.data.empty()) o.data = ProgramDir(argv[0]);
    if (o.level.empty()) o.level = o.data + "/level.fmp";

    int status = 1;
    PfGame g;
    PfView v;
    if (DirectDrawCreate(nullptr, &lpDD, nullptr) != DD_OK) {
        std::fprintf(stderr, "platformer: cannot make the display object\n");
        return 1;
    }
    std::string err;
    if (MapLoad(o.level.c_str()) != 0) {
        err = o.level + ": " + (mapreason[0] ? mapreason : "cannot load the map");
    } else if (!(err = PfLoad(g, kViewW, kViewH)).empty()) {
        err = o.level + ": " + err;
    } else {
        err = PfViewOpen(v, o.data, kViewW, kViewH);
    }
    if (!err.empty()) {
        std::fprintf(stderr, "platformer: %s\n", err.c_str());
    } else {
        status = o.headless ? Headless(o, g, v) : Windowed(o, g, v);
    }
    PfViewClose(v);
    MapFreeMem();
    lpDD->Release();
    lpDD = nullptr;
    return status;
}
