// Window layer button: the built-in "button" class, drawn by the layer, that
// tells its parent of a click with WM_COMMAND.
#include <SDL.h>

#include "wininternal.h"

namespace {

// The built-in "button": raised with a light top-left and dark bottom-right
// edge, sunken while pressed with the caption moved by a pixel.
void PaintButton(HWND hwnd) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    const int w = hwnd->width, h = hwnd->height;
    const uint32_t face = 0xFFC0C0C0u, light = 0xFFFFFFFFu, shadow = 0xFF808080u, dark = 0xFF000000u;
    WinFillRect(hwnd, 0, 0, w, h, face);
    const uint32_t outerTL = hwnd->pressed ? dark : light, outerBR = dark;
    const uint32_t innerTL = hwnd->pressed ? shadow : face, innerBR = hwnd->pressed ? face : shadow;
    WinFillRect(hwnd, 0, 0, w, 1, outerTL);
    WinFillRect(hwnd, 0, 0, 1, h, outerTL);
    WinFillRect(hwnd, 0, h - 1, w, 1, outerBR);
    WinFillRect(hwnd, w - 1, 0, 1, h, outerBR);
    WinFillRect(hwnd, 1, 1, w - 2, 1, innerTL);
    WinFillRect(hwnd, 1, 1, 1, h - 2, innerTL);
    WinFillRect(hwnd, 1, h - 2, w - 2, 1, innerBR);
    WinFillRect(hwnd, w - 2, 1, 1, h - 2, innerBR);
    int tw = 0, th = 0;
    WinTextExtent(hwnd->title.c_str(), &tw, &th);
    const int shift = hwnd->pressed ? 1 : 0;
    SetBkColor(dc, RGB(192, 192, 192));
    SetTextColor(dc, RGB(0, 0, 0));
    TextOutA(dc, (w - tw) / 2 + shift, (h - th) / 2 + shift, hwnd->title.c_str(), int(hwnd->title.size()));
    EndPaint(hwnd, &ps);
}

LRESULT ButtonProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    const int x = int16_t(LOWORD(lParam)), y = int16_t(HIWORD(lParam));
    const bool inside = x >= 0 && y >= 0 && x < hwnd->width && y < hwnd->height;
    switch (message) {
        case WM_PAINT:
            PaintButton(hwnd);
            return 0;
        case WM_LBUTTONDOWN:
            winCaptureWnd = hwnd;
            if (winVideoOpen) SDL_CaptureMouse(SDL_TRUE);
            hwnd->pressed = true;
            InvalidateRect(hwnd, nullptr, FALSE);
            return 0;
        case WM_MOUSEMOVE:
            if (winCaptureWnd == hwnd && hwnd->pressed != inside) {
                hwnd->pressed = inside;
                InvalidateRect(hwnd, nullptr, FALSE);
            }
            return 0;
        case WM_LBUTTONUP:
            if (winCaptureWnd != hwnd) return 0;
            winCaptureWnd = nullptr;
            if (winVideoOpen) SDL_CaptureMouse(SDL_FALSE);
            hwnd->pressed = false;
            InvalidateRect(hwnd, nullptr, FALSE);
            if (inside && hwnd->parent) {
                SendMessageA(hwnd->parent, WM_COMMAND, MAKEWPARAM(hwnd->id, BN_CLICKED), LPARAM(hwnd));
            }
            return 0;
        default:
            return DefWindowProcA(hwnd, message, wParam, lParam);
    }
}

}  // namespace

void WinRegisterButtonClass() {
    static bool registered = false;
    if (registered) return;
    registered = true;
    WNDCLASSA wc{};
    wc.lpfnWndProc = ButtonProc;
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(LTGRAY_BRUSH));
    wc.lpszClassName = "button";
    RegisterClassA(&wc);
}
