// Window layer message queue: posted messages and input in the order they
// came, the quit, paints last; sending and dispatching to window procedures.
#include <SDL.h>

#include <algorithm>
#include <deque>

#include "wininternal.h"

namespace {

std::deque<MSG> queue;              // posted messages and input
bool quitPosted = false;            // WM_QUIT comes once the queue is empty
int quitCode = 0;                   // its wParam
void (*idleHook)(void*) = nullptr;  // called when PeekMessageA finds nothing
void* idleUser = nullptr;

}  // namespace

void WinPost(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    MSG m{};
    m.hwnd = hwnd;
    m.message = message;
    m.wParam = wParam;
    m.lParam = lParam;
    m.time = GetTickCount();
    queue.push_back(m);
}

void WinDropMessages(HWND hwnd) {
    std::erase_if(queue, [hwnd](const MSG& m) { return m.hwnd == hwnd; });
}

void WinClearMessages() {
    queue.clear();
    quitPosted = false;
}

void WinSetIdleHook(void (*hook)(void*), void* user) {
    idleHook = hook;
    idleUser = user;
}

int WinPendingMessages() { return int(queue.size()); }

BOOL PeekMessageA(LPMSG msg, HWND, UINT, UINT, UINT removeMsg) {
    if (!msg) return FALSE;
    WinPumpEvents();
    if (!queue.empty()) {
        *msg = queue.front();
        if (removeMsg & PM_REMOVE) queue.pop_front();
        return TRUE;
    }
    if (quitPosted) {
        *msg = MSG{};
        msg->message = WM_QUIT;
        msg->wParam = WPARAM(quitCode);
        msg->time = GetTickCount();
        if (removeMsg & PM_REMOVE) quitPosted = false;
        return TRUE;
    }
    for (HWND w : winWindows) {
        if (w->needsPaint && WinVisible(w)) {
            *msg = MSG{};
            msg->hwnd = w;
            msg->message = WM_PAINT;
            msg->time = GetTickCount();
            return TRUE;
        }
    }
    if (idleHook) idleHook(idleUser);
    // Nothing to do and no frames to show: give the processor up for a
    // moment, so that a message loop which never blocks does not spin.
    if (winVideoOpen && !winDisplayWnd) SDL_Delay(1);
    return FALSE;
}

BOOL TranslateMessage(const MSG*) { return FALSE; }

LRESULT DispatchMessageA(const MSG* msg) {
    if (!msg || !IsWindow(msg->hwnd)) return 0;
    return msg->hwnd->cls->wc.lpfnWndProc(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

BOOL PostMessageA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (hwnd && !IsWindow(hwnd)) return FALSE;
    WinPost(hwnd, message, wParam, lParam);
    return TRUE;
}

LRESULT SendMessageA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (!IsWindow(hwnd)) return 0;
    return hwnd->cls->wc.lpfnWndProc(hwnd, message, wParam, lParam);
}

void PostQuitMessage(int exitCode) {
    quitPosted = true;
    quitCode = exitCode;
}
