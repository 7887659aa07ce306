// What both Tiled readers share for objects: custom properties and text
// settings made into the values Tiled itself would write, and the map
// file's limits on object layers, objects, points and strings.
#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "tmxinternal.h"

namespace {

std::string Shortest(double d) {
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof buf, d);
    return std::string(buf, r.ptr);
}

// Whole text as a number, spaces around it allowed, as Qt reads one.
bool WholeNumber(const std::string& v, long long& out) {
    const char* s = v.c_str();
    char* end = nullptr;
    errno = 0;
    out = std::strtoll(s, &end, 10);
    if (end == s || errno) return false;
    while (*end == ' ') end++;
    return !*end;
}

std::string IntText(const std::string& v, long long lo) {
    long long n;
    return WholeNumber(v, n) && n >= lo && n <= INT32_MAX ? std::to_string(n) : "0";
}

std::string FloatText(const std::string& v) {
    const char* s = v.c_str();
    char* end = nullptr;
    const double d = std::strtod(s, &end);
    return end != s && std::isfinite(d) ? Shortest(d) : "0";
}

bool Truth(const std::string& v) {
    std::string low;
    for (char c : v) low += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return !(low.empty() || low == "0" || low == "false");
}

// "#aarrggbb", or "" for no colour, as Tiled writes a colour property.
std::string ColourText(const std::string& v) {
    uint32_t rgb;
    int alpha = 255;
    if (v.empty() || !TmxColour(v.c_str(), rgb, &alpha)) return "";
    char buf[10];
    std::snprintf(buf, sizeof buf, "#%02x%02x%02x%02x", alpha, rgb & 0xFF, rgb >> 8 & 0xFF, rgb >> 16 & 0xFF);
    return buf;
}

void CheckString(const std::string& s, const char* what, const std::string& owner, const std::string& file) {
    if (s.size() > MAPOBJ_MAXSTRING) {
        TmxThrow(file, "%s of %s: %zu bytes, at most %d", what, owner.c_str(), s.size(), MAPOBJ_MAXSTRING);
    }
    if (s.find('\0') != std::string::npos) TmxThrow(file, "%s of %s holds a NUL character", what, owner.c_str());
}

}  // namespace

std::vector<MAPPROP> TmxCarryProps(const TmxProps& props, const std::string& folder, const std::string& owner,
                                   TmxMap& map) {
    std::vector<MAPPROP> out;
    for (const auto& [name, p] : props) {
        MAPPROP q{name, p.type, p.value};
        if (p.type == "int") {
            q.value = IntText(p.value, INT32_MIN);
        } else if (p.type == "object") {
            q.value = IntText(p.value, 0);
        } else if (p.type == "float") {
            q.value = FloatText(p.value);
        } else if (p.type == "bool") {
            q.value = Truth(p.value) ? "true" : "false";
        } else if (p.type == "color") {
            q.value = ColourText(p.value);
        } else if (p.type == "file") {
            const bool absolute = p.value.empty() || p.value[0] == '/' || p.value.find("://") != std::string::npos;
            q.value = absolute ? p.value : TmxJoin(folder, p.value);
        } else if (p.type != "string") {
            map.warnings.Add("properties of class types are not carried", owner + ": " + name);
            continue;
        }
        CheckString(q.name, "a property's name", owner, map.file);
        CheckString(q.value, ("property \"" + name + "\"").c_str(), owner, map.file);
        out.push_back(std::move(q));
    }
    if (out.size() > MAPOBJ_MAXPROPS) {
        TmxThrow(map.file, "%s has %zu properties, at most %d", owner.c_str(), out.size(), MAPOBJ_MAXPROPS);
    }
    return out;
}

void TmxTextSetting(MAPOBJDESC& o, const std::string& key, const std::string& value) {
    // Tiled's defaults: what it leaves out when it writes a text object.
    struct Setting {
        const char* key;
        const char* type;
        const char* def;
    };
    static const Setting kSettings[] = {
        {"bold", "bool", "false"},    {"color", "color", "#000000"},  {"fontfamily", "string", "sans-serif"},
        {"halign", "string", "left"}, {"italic", "bool", "false"},    {"kerning", "bool", "true"},
        {"pixelsize", "int", "16"},   {"strikeout", "bool", "false"}, {"underline", "bool", "false"},
        {"valign", "string", "top"},  {"wrap", "bool", "false"},
    };
    for (const Setting& s : kSettings) {
        if (key != s.key) continue;
        std::string v = value;
        if (!std::strcmp(s.type, "bool")) {
            v = Truth(value) ? "true" : "false";
        } else if (!std::strcmp(s.type, "int")) {
            v = IntText(value, 0);
        } else if (!std::strcmp(s.type, "color")) {
            // A text's colour: "#rrggbb" when opaque, as Tiled names it.
            v = ColourText(value);
            if (v.empty()) v = "#ff000000";
            if (v.compare(0, 3, "#ff") == 0) v = "#" + v.substr(3);
        }
        for (auto it = o.textstyle.begin(); it != o.textstyle.end(); ++it) {
            if (it->name == key) {
                o.textstyle.erase(it);
                break;
            }
        }
        if (v == s.def) return;
        auto at = o.textstyle.begin();
        while (at != o.textstyle.end() && at->name < key) ++at;
        o.textstyle.insert(at, {key, s.type, v});
        return;
    }
}

int TmxAddObjectLayer(TmxMap& map, MAPOBJLAYERDESC&& layer, int top, const std::string& file) {
    const std::string owner = std::string(layer.group ? "group" : "object layer") + " \"" + layer.name + "\"";
    CheckString(layer.name, "the name", owner, file);
    layer.opacity = std::clamp(layer.opacity, 0.0, 1.0);
    map.objlayers.push_back(std::move(layer));
    map.objtop.push_back(top);
    return static_cast<int>(map.objlayers.size()) - 1;
}

void TmxAddObject(TmxMap& map, MAPOBJDESC&& o, const std::string& file) {
    map.objects++;
    const std::string owner = "object " + std::to_string(o.id);
    if (o.points.size() / 2 > MAPOBJ_MAXPOINTS) {
        TmxThrow(file, "%s has %zu points, at most %d", owner.c_str(), o.points.size() / 2, MAPOBJ_MAXPOINTS);
    }
    for (double v : {o.x, o.y, o.width, o.height, o.rotation}) {
        if (!std::isfinite(v)) TmxThrow(file, "%s: a coordinate is not a number", owner.c_str());
    }
    CheckString(o.name, "the name", owner, file);
    CheckString(o.type, "the class", owner, file);
    CheckString(o.text, "the text", owner, file);
    CheckString(o.templ, "the template's path", owner, file);
    for (const MAPPROP& p : o.textstyle) CheckString(p.value, ("the text's " + p.name).c_str(), owner, file);
    map.objlayers.back().objects.push_back(std::move(o));
}

std::vector<double> TmxPoints(const char* s, const std::string& file) {
    std::vector<double> pts;
    while (*s) {
        while (*s == ' ' || *s == '\n' || *s == '\t' || *s == '\r') s++;
        if (!*s) break;
        char* end = nullptr;
        const double x = std::strtod(s, &end);
        if (end == s || *end != ',') TmxThrow(file, "points \"%.40s\" are not x,y pairs", s);
        s = end + 1;
        const double y = std::strtod(s, &end);
        if (end == s || !std::isfinite(x) || !std::isfinite(y)) TmxThrow(file, "points \"%.40s\" are not x,y pairs", s);
        s = end;
        pts.push_back(x);
        pts.push_back(y);
    }
    return pts;
}

std::string TmxObjectName(const MAPOBJDESC& o) { return o.name.empty() ? "#" + std::to_string(o.id) : o.name; }

std::string TmxRelativePath(const std::string& path, const std::string& folder) {
    namespace fs = std::filesystem;
    if (path.empty() || path.find("://") != std::string::npos) return path;
    std::error_code ec;
    const fs::path abs = fs::absolute(path, ec).lexically_normal();
    const fs::path base = fs::absolute(folder.empty() ? "." : folder, ec).lexically_normal();
    if (ec) return path;
    const fs::path rel = abs.lexically_relative(base);
    return rel.empty() ? abs.generic_string() : rel.generic_string();
}
