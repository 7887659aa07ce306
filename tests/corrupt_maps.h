// The corrupt maps of tests/corrupt and their expected results, read from
// its expected.txt, for the corrupt-map and leak tests.
#pragma once

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

struct CorruptMap {
    std::string file;
    int loadResult, loadError;             // MapLoad
    int decodeResult, decodeError;         // MapDecode
    std::string loadReason, decodeReason;  // pieces of mapreason; may be empty
};

// The folder, from VEXIL_SOURCE_DIR; empty when that is not set.
inline std::string CorruptDir() {
    const char* src = std::getenv("VEXIL_SOURCE_DIR");
    return src ? std::string(src) + "/tests/corrupt/" : std::string();
}

inline std::string Trim(const std::string& s) {
    size_t b = s.find_first_not_of(" \t"), e = s.find_last_not_of(" \t");
    return b == std::string::npos ? std::string() : s.substr(b, e - b + 1);
}

// The listed maps; a malformed line is returned with an empty file name.
inline std::vector<CorruptMap> CorruptMaps() {
    std::vector<CorruptMap> maps;
    std::ifstream in(CorruptDir() + "expected.txt");
    std::string line;
    while (std::getline(in, line)) {
        if (Trim(line).empty() || Trim(line)[0] == '#') continue;
        std::istringstream fields(line);
        CorruptMap m;
        if (!(fields >> m.file >> m.loadResult >> m.loadError >> m.decodeResult >> m.decodeError)) m.file.clear();
        std::string reason;
        std::getline(fields, reason);
        size_t bar = reason.find(" | ");
        m.loadReason = Trim(reason.substr(0, bar));
        m.decodeReason = bar == std::string::npos ? m.loadReason : Trim(reason.substr(bar + 3));
        maps.push_back(m);
    }
    return maps;
}

inline std::vector<unsigned char> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<unsigned char>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}
