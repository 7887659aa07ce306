// Object templates: each instance completed from its template file as Tiled
// completes it when it loads the map. What the instance sets itself stays;
// the rest comes from the template, properties merged by name.
#include <algorithm>
#include <filesystem>
#include <memory>

#include "tmxinternal.h"

namespace {

// The template at `path`, read once a conversion; null when the file is
// missing, which Tiled tolerates: its instances keep what they set.
const TmxTemplate* Template(std::map<std::string, std::unique_ptr<TmxTemplate>>& read, const std::string& path,
                            TmxMap& map, const TmxImportOptions& options) {
    if (const auto it = read.find(path); it != read.end()) return it->second.get();
    std::vector<uint8_t> text;
    try {
        text = TmxLoadFile(options, path);
    } catch (const TmxFail& f) {
        if (f.reason.compare(0, 11, "cannot open") != 0) throw;
        map.warnings.Add("templates that are missing (their instances keep what they set)",
                         TmxRelativePath(path, TmxFolder(map.file)));
        read.emplace(path, nullptr);
        return nullptr;
    }
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\n' || text[i] == '\r' || text[i] == '\t')) i++;
    const char* s = reinterpret_cast<const char*>(text.data());
    auto t = std::make_unique<TmxTemplate>();
    if (i < text.size() && text[i] == '{')
        TmxReadTj(s, text.size(), path, map, *t);
    else
        TmxReadTx(s, text.size(), path, map, *t);
    return read.emplace(path, std::move(t)).first->second.get();
}

// The map's tileset read from `file`, else a tileset of the same name that
// the map file holds itself (as an export writes the tiles its tile objects
// show); else that tileset is added after the map's own for templates
// alone, and no gid counts from it.
int TilesetOf(TmxMap& map, const std::string& file, const TmxImportOptions& options) {
    const auto same = [](const std::string& a, const std::string& b) {
        return std::filesystem::path(a).lexically_normal() == std::filesystem::path(b).lexically_normal();
    };
    for (size_t i = 0; i < map.tilesets.size(); i++) {
        if (same(map.tilesets[i].file, file)) return static_cast<int>(i);
    }
    TmxTileset ts;
    TmxReadTilesetFile(file, options, ts);
    for (size_t i = 0; i < map.tilesets.size(); i++) {
        if (map.tilesets[i].file == map.file && map.tilesets[i].name == ts.name) return static_cast<int>(i);
    }
    ts.firstgid = INT64_MAX;
    map.tilesets.push_back(std::move(ts));
    return static_cast<int>(map.tilesets.size() - 1);
}

}  // namespace

void TmxResolveTemplates(TmxMap& map, const TmxImportOptions& options) {
    std::map<std::string, std::unique_ptr<TmxTemplate>> read;
    for (size_t l = 0; l < map.objlayers.size(); l++) {
        for (size_t k = 0; k < map.objlayers[l].objects.size(); k++) {
            MAPOBJDESC& o = map.objlayers[l].objects[k];
            if (o.templ.empty()) continue;
            const TmxTemplate* tp = Template(read, o.templ, map, options);
            if (!tp) {
                o.ownprops.resize(o.props.size());
                for (size_t i = 0; i < o.props.size(); i++) o.ownprops[i] = static_cast<uint32_t>(i);
                continue;
            }
            const TmxTemplate& t = *tp;
            const MAPOBJDESC& from = t.object;
            if (!(o.own & MAPOWN_NAME)) o.name = from.name;
            if (!(o.own & MAPOWN_TYPE)) o.type = from.type;
            if (!(o.own & MAPOWN_SIZE)) o.width = from.width, o.height = from.height;
            if (!(o.own & MAPOWN_ROTATION)) o.rotation = from.rotation;
            if (!(o.own & MAPOWN_VISIBLE)) o.visible = from.visible;
            if (!(o.own & (MAPOWN_TILE | MAPOWN_SHAPE))) {
                o.shape = from.shape;
                o.points = from.points;
                o.text = from.text;
                o.textstyle = from.textstyle;
                if (from.shape == MAPSHAPE_TILE) {
                    const int64_t id = static_cast<int64_t>(from.gid & kTmxGidMask) - t.firstgid;
                    if (t.tileset.empty() || id < 0) {
                        TmxThrow(o.templ, "the tile object's gid %u counts from no tileset", from.gid & kTmxGidMask);
                    }
                    map.templatetiles[{l, k}] = {TilesetOf(map, t.tileset, options), static_cast<int>(id)};
                    o.gid = from.gid & (kTmxFlipH | kTmxFlipV | kTmxFlipD);
                }
            }
            // The template's properties with the instance's own over them;
            // both lists are sorted by name.
            std::vector<MAPPROP> own = std::move(o.props);
            std::vector<std::string> names;
            for (const MAPPROP& p : own) names.push_back(p.name);
            o.props = from.props;
            for (MAPPROP& p : own) {
                auto at = std::lower_bound(o.props.begin(), o.props.end(), p.name,
                                           [](const MAPPROP& a, const std::string& name) { return a.name < name; });
                if (at != o.props.end() && at->name == p.name)
                    *at = std::move(p);
                else
                    o.props.insert(at, std::move(p));
            }
            if (o.props.size() > MAPOBJ_MAXPROPS) {
                TmxThrow(map.file, "object %d has %zu properties with its template's, at most %d", o.id, o.props.size(),
                         MAPOBJ_MAXPROPS);
            }
            o.ownprops.clear();
            size_t at = 0;
            for (const std::string& name : names) {
                while (o.props[at].name != name) at++;
                o.ownprops.push_back(static_cast<uint32_t>(at));
            }
        }
    }
}
