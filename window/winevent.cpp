// Window layer event translation: SDL's keyboard, mouse and window events
// become the WM_ messages, with VK_ codes, that the window procedures take.
#include <SDL.h>

#include "wininternal.h"

namespace {

HWND WindowOfId(Uint32 id) {
    for (HWND w : winWindows) {
        if (w->window && SDL_GetWindowID(w->window) == id) return w;
    }
    return nullptr;
}

WPARAM VirtualKey(SDL_Keycode k) {
    if (k >= SDLK_a && k <= SDLK_z) return WPARAM('A' + (k - SDLK_a));
    if (k >= SDLK_0 && k <= SDLK_9) return WPARAM(k);
    if (k >= SDLK_F1 && k <= SDLK_F12) return WPARAM(VK_F1 + (k - SDLK_F1));
    switch (k) {
        case SDLK_LEFT:
            return VK_LEFT;
        case SDLK_RIGHT:
            return VK_RIGHT;
        case SDLK_UP:
            return VK_UP;
        case SDLK_DOWN:
            return VK_DOWN;
        case SDLK_ESCAPE:
            return VK_ESCAPE;
        case SDLK_RETURN:
            return VK_RETURN;
        case SDLK_SPACE:
            return VK_SPACE;
        case SDLK_TAB:
            return VK_TAB;
        case SDLK_BACKSPACE:
            return VK_BACK;
        case SDLK_PAGEUP:
            return VK_PRIOR;
        case SDLK_PAGEDOWN:
            return VK_NEXT;
        case SDLK_HOME:
            return VK_HOME;
        case SDLK_END:
            return VK_END;
        case SDLK_LSHIFT:
        case SDLK_RSHIFT:
            return VK_SHIFT;
        case SDLK_LCTRL:
        case SDLK_RCTRL:
            return VK_CONTROL;
        case SDLK_LALT:
        case SDLK_RALT:
            return VK_MENU;
        default:
            return 0;
    }
}

// The window a mouse event at client (x, y) of `top` goes to, and the point
// in that window's coordinates.
HWND MouseTarget(HWND top, int& x, int& y) {
    HWND target = top;
    if (winCaptureWnd && WinTopLevel(winCaptureWnd) == top) {
        target = winCaptureWnd;
    } else {
        for (HWND c : top->children) {
            if ((c->style & WS_VISIBLE) && x >= c->x && x < c->x + c->width && y >= c->y && y < c->y + c->height) {
                target = c;
            }
        }
    }
    if (target != top) {
        x -= target->x;
        y -= target->y;
    }
    return target;
}

void Translate(const SDL_Event& e) {
    switch (e.type) {
        case SDL_KEYDOWN:
        case SDL_KEYUP: {
            HWND w = WindowOfId(e.key.windowID);
            if (!w) w = winDisplayWnd;
            const WPARAM vk = VirtualKey(e.key.keysym.sym);
            if (!w || !vk) return;
            LPARAM lp = 1 | (LPARAM(e.key.keysym.scancode & 0xFF) << 16);
            // With Alt held keys are system keys, as Alt+F4 needs.
            const bool alt = e.key.keysym.mod & KMOD_ALT;
            if (alt) lp |= LPARAM(1) << 29;
            if (e.type == SDL_KEYUP) {
                WinPost(w, alt ? WM_SYSKEYUP : WM_KEYUP, vk, lp | LPARAM(0xC0000000u));
            } else {
                WinPost(w, alt ? WM_SYSKEYDOWN : WM_KEYDOWN, vk, lp | (e.key.repeat ? LPARAM(1) << 30 : 0));
            }
            return;
        }
        case SDL_MOUSEMOTION: {
            HWND top = WindowOfId(e.motion.windowID);
            if (!top) return;
            int x = e.motion.x, y = e.motion.y;
            HWND target = MouseTarget(top, x, y);
            WinPost(target, WM_SETCURSOR, WPARAM(target), MAKELPARAM(1, WM_MOUSEMOVE));
            WinPost(target, WM_MOUSEMOVE, 0, MAKELPARAM(x, y));
            return;
        }
        case SDL_MOUSEBUTTONDOWN:
        case SDL_MOUSEBUTTONUP: {
            HWND top = WindowOfId(e.button.windowID);
            if (!top || e.button.button != SDL_BUTTON_LEFT) return;
            int x = e.button.x, y = e.button.y;
            HWND target = MouseTarget(top, x, y);
            WinPost(target, e.type == SDL_MOUSEBUTTONDOWN ? WM_LBUTTONDOWN : WM_LBUTTONUP, 0, MAKELPARAM(x, y));
            return;
        }
        case SDL_WINDOWEVENT: {
            HWND top = WindowOfId(e.window.windowID);
            if (!top) return;
            switch (e.window.event) {
                case SDL_WINDOWEVENT_CLOSE:
                    WinPost(top, WM_CLOSE, 0, 0);
                    break;
                case SDL_WINDOWEVENT_EXPOSED:
                    WinInvalidateTree(top, true);
                    break;
                case SDL_WINDOWEVENT_SIZE_CHANGED:
                    if (!top->display && (e.window.data1 != top->width || e.window.data2 != top->height)) {
                        WinResizeStore(top, e.window.data1, e.window.data2);
                        WinInvalidateTree(top, true);
                        WinPost(top, WM_SIZE, 0, MAKELPARAM(top->width, top->height));
                    }
                    break;
                default:
                    break;
            }
            return;
        }
        default:
            return;
    }
}

}  // namespace

void WinPumpEvents() {
    if (!winVideoOpen) return;
    SDL_Event e;
    while (SDL_PollEvent(&e)) Translate(e);
}
