// Reading a map file for the vexil tool with bounds: the header first, then
// no more than the FORM size says and the file holds.
#pragma once

#include <string>
#include <vector>

struct MapFileImage {
    std::vector<unsigned char> bytes;  // the header and as much of the FORM as was read
    long long fileSize = -1;           // the file's size; -1 where it has none (a pipe, a device)
    bool regular = false;              // a regular file, which can be read again by name
};

// Reads the map file at `path` into `f`. False, with `why` saying what is
// wrong in words a user can act on, when it cannot be opened or read, is a
// directory, or does not start as a map: then `f.bytes` holds what was read
// of its header. An endless input that is not a map costs 12 bytes.
bool ReadMapFile(const char* path, MapFileImage& f, std::string& why);
