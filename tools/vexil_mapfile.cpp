// Bounded reading of a map file for the vexil tool.
#include "vexil_mapfile.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>

#include "mapformat.h"

namespace {

constexpr size_t kHeader = 12;      // "FORM", its size, the form type
constexpr size_t kStep = 1u << 20;  // the buffer grows as the data arrives

// Reads up to n more bytes onto the end of `out`; the number read.
size_t ReadMore(FILE* in, std::vector<unsigned char>& out, size_t n) {
    const size_t old = out.size();
    out.resize(old + n);
    const size_t got = std::fread(out.data() + old, 1, n, in);
    out.resize(old + got);
    return got;
}

bool Read(FILE* in, MapFileImage& f, std::string& why) {
    struct stat st;
    if (fstat(fileno(in), &st) == 0) {
        if (S_ISDIR(st.st_mode)) {
            why = "is a directory, not a map file";
            return false;
        }
        f.regular = S_ISREG(st.st_mode);
        if (f.regular) f.fileSize = st.st_size;
    }
    ReadMore(in, f.bytes, kHeader);
    if (std::ferror(in)) {
        why = std::string("cannot read: ") + std::strerror(errno);
        return false;
    }
    if (f.bytes.size() < kHeader) {
        why = "not a map: " + std::to_string(f.bytes.size()) + " bytes, shorter than the 12-byte header";
        return false;
    }
    uint32_t form = 0;
    if (MapFormSize(f.bytes.data(), f.bytes.size(), &form) != 0) {
        why = "not a map: it does not start with FORM";
        return false;
    }
    uint64_t want = uint64_t{form} + 8;
    if (f.fileSize >= 0) want = std::min(want, static_cast<uint64_t>(f.fileSize));
    try {
        while (f.bytes.size() < want) {
            const size_t n = static_cast<size_t>(std::min<uint64_t>(want - f.bytes.size(), kStep));
            if (ReadMore(in, f.bytes, n) < n) break;  // the input ended (or failed) first
        }
    } catch (const std::bad_alloc&) {
        why = "out of memory after reading " + std::to_string(f.bytes.size()) + " bytes";
        return false;
    }
    if (std::ferror(in)) {
        why = std::string("cannot read: ") + std::strerror(errno);
        return false;
    }
    return true;
}

}  // namespace

bool ReadMapFile(const char* path, MapFileImage& f, std::string& why) {
    f = MapFileImage{};
    FILE* in = std::fopen(path, "rb");
    if (!in) {
        why = std::string("cannot open: ") + std::strerror(errno);
        return false;
    }
    const bool ok = Read(in, f, why);
    std::fclose(in);
    return ok;
}
