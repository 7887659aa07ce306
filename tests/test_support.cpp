// The host program's display object, shared by every test of the library.
#include "ddraw.h"

LPDIRECTDRAW lpDD = nullptr;
