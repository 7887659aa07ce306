// Looks up the generated resource arrays by name.
#include "kvres.h"

#include <cctype>

extern const unsigned char kvres_logo[];
extern const size_t kvres_logo_size;
extern const unsigned char kvres_icon[];
extern const size_t kvres_icon_size;

namespace {

bool SameName(const char* a, const char* b) {
    for (; *a && *b; a++, b++) {
        if (std::toupper(static_cast<unsigned char>(*a)) != std::toupper(static_cast<unsigned char>(*b))) return false;
    }
    return *a == *b;
}

}  // namespace

const unsigned char* KvResource(const char* name, size_t* size) {
    const unsigned char* data = nullptr;
    size_t n = 0;
    if (name && SameName(name, "KVLOGO")) {
        data = kvres_logo;
        n = kvres_logo_size;
    } else if (name && SameName(name, "KVICON")) {
        data = kvres_icon;
        n = kvres_icon_size;
    }
    if (data && size) *size = n;
    return data;
}
