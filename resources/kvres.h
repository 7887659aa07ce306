// The demo's embedded resources, found by name as the shell loads them.
#pragma once

#include <cstddef>

// "KVLOGO": the title bitmap as a bitmap resource holds it (info header,
// colour table, pixel rows; no file header). "KVICON": the icon file. Names
// compare without regard to case, as resource names do. Returns null for an
// unknown name; otherwise the bytes, with their count in *size when size is
// not null.
const unsigned char* KvResource(const char* name, size_t* size);
