// The demo shell's operations and state, shared with its tests.
#pragma once

#include "vexildx.h"
#include "win32.h"

// Display (open between StartDD and StopDD).
extern LPDIRECTDRAWSURFACE lpDDSPrimary;  // visible surface, head of the flipping chain
extern LPDIRECTDRAWSURFACE lpDDSBack;     // back buffer every frame is drawn into
extern LPDIRECTDRAWPALETTE lpddpal;       // display palette of the running game
extern long ddrval;                       // result of the last surface step of StartDD

// Game.
extern int gameactive;                         // nonzero while frames run
extern int scrlxoff, scrlyoff;                 // map pixel at the screen's top-left
extern int scrlxmax, scrlymax;                 // scroll ranges of the loaded map
extern int keyleft, keyright, keyup, keydown;  // 1 while the arrow key is held
extern int tickdec;                            // frames left before the next measurement
extern int tickfps;                            // frame rate shown in the status line
extern unsigned long oldticks, newticks;       // start of the measurement, this frame's tick
extern char frmtxt[100];                       // the last frame's status text
extern HWND phwnd;                             // the game window
extern HINSTANCE hInstance;

int StartDD(HWND hwnd);
void StopDD();
void GameInit();
void GameLoop();
LRESULT CALLBACK GameWndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK WndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
int WINAPI WinMain(HINSTANCE hInst, HINSTANCE hPrevInstance, LPSTR lpszCmdParam, int nCmdShow);
