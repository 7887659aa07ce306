// vexil_mkseeds: writes the fuzz seed corpus (valid maps of several shapes,
// and each of them with one defect of every kind the loaders reject) and the
// small corrupt maps kept in tests/corrupt.
//
//   vexil_mkseeds --seeds DIR          seed corpus into DIR
//   vexil_mkseeds --corrupt DIR        corrupt maps into DIR
//   vexil_mkseeds --check-corrupt DIR  exit 1 unless DIR holds them unchanged
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "mapwriter.h"
#if __has_include("demomap.h")
#include "demomap.h"
#define VEXIL_MKSEEDS_DEMOMAP 1
#endif

namespace {

using Image = std::vector<uint8_t>;
using Chunks = std::vector<MAPCHUNK>;

// --- Base maps ------------------------------------------------------------------

struct Base {
    const char* name;
    MAPDESC map;
    void (*layout)(Chunks&);  // rearranges the usual chunk list; may be null
};

void AddLayers(MAPDESC& m, std::initializer_list<int> which) {
    for (int n : which) {
        m.layers[n] = m.layers[0];
        for (size_t i = n; i < m.layers[n].size(); i += 7) m.layers[n][i] = static_cast<int16_t>(32 * (n % 2));
    }
}

// Cells of static blocks only, and no animation data.
MAPDESC WithoutAnimations(MAPDESC m) {
    m.frames.clear();
    m.anims.clear();
    for (std::vector<int16_t>& layer : m.layers) {
        for (size_t i = 0; i < layer.size(); i++) layer[i] = static_cast<int16_t>(32 * (i % m.blocks.size()));
    }
    return m;
}

// Every animation type, negative delays, a record without frames that starts
// on an existing entry and a stored current frame outside its frames.
MAPDESC EveryAnimation() {
    MAPDESC m = MapWriterSample(40, 30, 4);
    m.anims.clear();
    for (int t = 0; t <= 9; t++) {
        signed char delay = static_cast<signed char>(t == 4 ? -1 : (t == 5 ? -128 : t % 3));
        m.anims.push_back({static_cast<signed char>(t), delay, 0, 0, t % 2, 4 - t % 3, t % 2});
    }
    m.anims.push_back({ANTYPE_LOOP_FWD, 0, 0, 0, 2, 2, 2});          // no frames
    m.anims.push_back({ANTYPE_PINGPONG_FWD_OUT, 0, 0, 0, 1, 3, 0});  // current frame outside
    const int kinds = 4 + static_cast<int>(m.anims.size());
    for (size_t i = 0; i < m.layers[0].size(); i++) {
        int k = static_cast<int>(i * 7 % kinds);
        m.layers[0][i] = static_cast<int16_t>(k < 4 ? 32 * k : -16 * (k - 3));
    }
    return m;
}

// Unknown chunks of odd and zero length between the others, a lower-case
// id, the chunks out of their usual order and a colour map given twice.
void OddLayout(Chunks& c) {
    Chunks out;
    out.push_back({"ABCD", {1, 2, 3}});
    for (size_t i = c.size(); i-- > 0;) {
        out.push_back(c[i]);
        if (i % 2) out.push_back({"x\x01y\xff", {9}});
    }
    out.push_back({"body", {0, 0, 0, 0, 0}});
    out.push_back({"NULL", {}});
    out.push_back(*MapWriterFind(c, "CMAP"));
    c = out;
}

// The map with blocks of bw x bh pixels: its graphics redrawn at that size
// and its blocks' graphic offsets scaled to the new tile size.
MAPDESC WithBlockSize(MAPDESC m, int bw, int bh) {
    const int old = m.blockwidth * m.blockheight, tile = bw * bh, n = m.numblockgfx();
    m.blockwidth = bw;
    m.blockheight = bh;
    m.gfx.resize(static_cast<size_t>(n) * tile);
    for (size_t i = 0; i < m.gfx.size(); i++) m.gfx[i] = static_cast<uint8_t>(i * 7 / 3);
    for (BLKSTR& b : m.blocks) {
        b.bgoff = b.bgoff / old * tile;
        b.fgoff = b.fgoff / old * tile;
        b.fgoff2 = b.fgoff2 / old * tile;
        b.fgoff3 = b.fgoff3 / old * tile;
    }
    return m;
}

// The map's properties, a group with an object layer of every shape (a
// tile object among them) and a hidden one in index order, a sheet of four
// frames and a tile object's image.
MAPDESC WithObjects(MAPDESC m) {
    m.props = {{"gravity", "float", "9.5"}, {"lives", "int", "3"}, {"name", "string", "cave"}};
    MAPOBJLAYERDESC group, things, hidden;
    group.group = true;
    group.id = 1;
    group.name = "g";
    group.offsetx = 3;
    things.id = 2;
    things.name = "things";
    things.parent = 0;
    things.props = {{"dark", "bool", "true"}};
    const int shapes[] = {MAPSHAPE_RECTANGLE, MAPSHAPE_ELLIPSE, MAPSHAPE_POINT, MAPSHAPE_POLYGON,
                          MAPSHAPE_POLYLINE,  MAPSHAPE_TEXT,    MAPSHAPE_TILE};
    for (int i = 0; i < 7; i++) {
        MAPOBJDESC o;
        o.id = 10 + i;
        o.name = "o" + std::to_string(i);
        o.type = i % 2 ? "walker" : "";
        o.x = 20.5 * i, o.y = 40, o.width = 16, o.height = 16;
        o.shape = shapes[i];
        if (o.shape == MAPSHAPE_POLYGON || o.shape == MAPSHAPE_POLYLINE) o.points = {0, 0, 8, 4, -2, 9};
        if (o.shape == MAPSHAPE_TEXT) o.text = "hi", o.textstyle = {{"wrap", "bool", "true"}};
        if (o.shape == MAPSHAPE_TILE) o.sprite = 1, o.gid = 0x80000000u;
        o.props = {{"path", "object", "13"}};
        things.objects.push_back(o);
    }
    hidden.id = 3;
    hidden.name = "hidden";
    hidden.visible = false;
    hidden.indexorder = true;
    hidden.objects = {things.objects[6]};
    things.objects[1].templ = "tpl/walker.tx";  // an instance that sets its name and a property
    things.objects[1].own = MAPOWN_NAME;
    things.objects[1].ownprops = {0};
    m.objlayers = {group, things, hidden};
    MAPSPRITEDESC sheet{"sheet", false, 16, 8, 8, 4, 0, 0, std::vector<uint8_t>(128)};
    for (size_t i = 0; i < sheet.pixels.size(); i++) sheet.pixels[i] = static_cast<uint8_t>(i % 3 ? i : 0);
    m.sprites = {sheet, {"t/5", true, 16, 16, 16, 16, 0, 16, std::vector<uint8_t>(256, 7)}};
    return m;
}

std::vector<Base> Bases() {
    std::vector<Base> b;
    b.push_back({"m40x30", MapWriterSample(40, 30, 2), nullptr});
    MAPDESC m = MapWriterSample(41, 31, 4);
    AddLayers(m, {1, 7});
    b.push_back({"m41x31", m, nullptr});
    b.push_back({"m100x100", MapWriterSample(100, 100, 8), nullptr});
    b.push_back({"noandt", WithoutAnimations(MapWriterSample(45, 33, 3)), nullptr});
    m = MapWriterSample(40, 30, 3);
    AddLayers(m, {1, 2, 3, 4, 5, 6, 7});
    b.push_back({"layers", m, nullptr});
    b.push_back({"odd", MapWriterSample(42, 31, 3), OddLayout});
    b.push_back({"anims", EveryAnimation(), nullptr});
    // Other block sizes, square, not, and of one pixel; more than 255 graphics.
    b.push_back({"b8x8", WithBlockSize(MapWriterSample(90, 70, 4), 8, 8), nullptr});
    b.push_back({"b24x16", WithBlockSize(MapWriterSample(30, 31, 3), 24, 16), nullptr});
    b.push_back({"b256x1", WithBlockSize(MapWriterSample(3, 481, 2), 256, 1), nullptr});
    b.push_back({"b1x1", WithBlockSize(MapWriterSample(50, 40, 3), 1, 1), nullptr});
    b.push_back({"gfx300", WithBlockSize(MapWriterSample(40, 30, 300), 4, 4), nullptr});
    // Numbered cells: the sample recoded, and one past the offset limits.
    m = MapWriterSample(40, 30, 3);
    AddLayers(m, {2, 5});
    MapRecodeCells(m, true);
    b.push_back({"numbered", m, nullptr});
    m = MapWriterSample(30, 20, 2);
    while (m.blocks.size() < 1100) m.blocks.push_back(m.blocks[m.blocks.size() % 2]);
    while (m.anims.size() < 2100) m.anims.push_back(m.anims[m.anims.size() % 3]);
    MapRecodeCells(m, true);
    for (size_t i = 0; i < m.layers[0].size(); i += 7) m.layers[0][i] = static_cast<int16_t>(i % 2 ? 1099 : -2100);
    b.push_back({"numbered-big", m, nullptr});
    b.push_back({"objects", WithObjects(MapWriterSample(40, 30, 3)), nullptr});
    return b;
}

// --- Defects --------------------------------------------------------------------

// Each defect edits the map description, its chunk list or its image; an
// edit that returns false does not apply to that map.
struct Defect {
    const char* name;
    bool (*map)(MAPDESC&);
    bool (*chunks)(Chunks&);
    void (*image)(Image&);
};

void PutBE32(Image& img, size_t at, uint32_t v) {
    for (int i = 0; i < 4; i++) img[at + i] = static_cast<uint8_t>(v >> (24 - 8 * i));
}

// Drops the last n bytes. Erasing rather than resizing to size() - n keeps
// the compiler from seeing a path where an unsigned wrap grows the vector.
void DropTail(std::vector<uint8_t>& v, size_t n) {
    v.erase(v.end() - static_cast<ptrdiff_t>(std::min(n, v.size())), v.end());
}

void SetFormSize(Image& img) { PutBE32(img, 4, static_cast<uint32_t>(img.size() - 8)); }

// Offset in the image of the first chunk with that id.
// The BODY layer's chunk in either cell encoding.
MAPCHUNK* Body(Chunks& c) {
    MAPCHUNK* b = MapWriterFind(c, "BODY");
    return b ? b : MapWriterFind(c, "BODN");
}

size_t ChunkAt(const Image& img, const char* id) {
    size_t at = 0;
    MapWalk(
        img.data(), img.size(),
        [&](const MAPCHUNKINFO& c) {
            if (!at && std::memcmp(c.id, id, 4) == 0) at = static_cast<size_t>(c.offset);
        },
        nullptr);
    return at;
}

bool Drop(Chunks& c, const char* id) {
    for (size_t i = 0; i < c.size(); i++) {
        if (c[i].id == id) {
            c.erase(c.begin() + i);
            return true;
        }
    }
    return false;
}

void Set16(MAPCHUNK* ch, size_t at, int v) {
    ch->data[at] = static_cast<uint8_t>(v & 0xFF);
    ch->data[at + 1] = static_cast<uint8_t>((v >> 8) & 0xFF);
}

// Adds `delta` to the 32-bit field at `field` of animation record k.
bool AddToRecord(Chunks& c, int k, int field, int32_t delta) {
    MAPCHUNK* a = MapWriterFind(c, "ANDT");
    if (!a || a->data.size() < size_t(16 * (k + 2))) return false;
    uint8_t* p = a->data.data() + a->data.size() - 16 * (k + 1) + field;
    uint32_t v;
    std::memcpy(&v, p, 4);
    v += static_cast<uint32_t>(delta);
    std::memcpy(p, &v, 4);
    return true;
}

// A middle cell of the BODY layer.
int16_t& MiddleCell(MAPDESC& m) { return m.layers[0][m.layers[0].size() / 2 + 3]; }

bool HasFrames(MAPDESC& m) { return m.frames.size() >= 2 && !m.anims.empty(); }

const Defect kDefects[] = {
    // Container and chunk walk.
    {"bad_form", nullptr, nullptr, [](Image& i) { i[3] = 'N'; }},
    {"bad_fmap", nullptr, nullptr, [](Image& i) { i[11] = 'Q'; }},
    {"form_size_plus_one", nullptr, nullptr, [](Image& i) { PutBE32(i, 4, static_cast<uint32_t>(i.size() - 7)); }},
    {"form_size_minus_one", nullptr, nullptr, [](Image& i) { PutBE32(i, 4, static_cast<uint32_t>(i.size() - 9)); }},
    {"form_size_below_4", nullptr, nullptr, [](Image& i) { PutBE32(i, 4, 2); }},
    {"header_only_10_bytes", nullptr, nullptr, [](Image& i) { i.resize(10); }},
    {"truncated_file", nullptr, nullptr, [](Image& i) { DropTail(i, 100); }},
    {"truncated_chunk", nullptr, nullptr,
     [](Image& i) {
         DropTail(i, 100);
         SetFormSize(i);
     }},
    {"chunk_header_cut", nullptr, nullptr,
     [](Image& i) {
         i.insert(i.end(), {'L', 'Y', 'R'});
         SetFormSize(i);
     }},
    {"trailing_bytes", nullptr, nullptr,
     [](Image& i) {
         i.insert(i.end(), {1, 2, 3});
     }},
    {"length_past_end", nullptr, nullptr, [](Image& i) { PutBE32(i, ChunkAt(i, "BGFX") + 4, 0x7FFFFFF0u); }},
    {"length_one_past_end", nullptr, nullptr,
     [](Image& i) {
         size_t at = ChunkAt(i, "BODY") ? ChunkAt(i, "BODY") : ChunkAt(i, "BODN");
         PutBE32(i, at + 4, static_cast<uint32_t>(i.size() - at - 8 + 1));
     }},
    {"unknown_length_past_end", nullptr,
     [](Chunks& c) {
         c.insert(c.begin() + 1, MAPCHUNK{"JUNK", {0}});
         return true;
     },
     [](Image& i) { PutBE32(i, ChunkAt(i, "JUNK") + 4, 0xFFFFFFFFu); }},
    {"empty_bkdt", nullptr,
     [](Chunks& c) {
         MapWriterFind(c, "BKDT")->data.clear();
         return true;
     },
     nullptr},
    {"empty_body", nullptr,
     [](Chunks& c) {
         Body(c)->data.clear();
         return true;
     },
     nullptr},

    // Missing and short header chunks.
    {"missing_mphd", nullptr, [](Chunks& c) { return Drop(c, "MPHD"); }, nullptr},
    {"missing_cmap", nullptr,
     [](Chunks& c) {
         bool dropped = Drop(c, "CMAP");
         while (Drop(c, "CMAP")) {
         }
         return dropped;
     },
     nullptr},
    {"missing_bkdt", nullptr, [](Chunks& c) { return Drop(c, "BKDT"); }, nullptr},
    {"missing_bgfx", nullptr, [](Chunks& c) { return Drop(c, "BGFX"); }, nullptr},
    {"missing_body", nullptr, [](Chunks& c) { return Drop(c, "BODY") || Drop(c, "BODN"); }, nullptr},
    {"short_mphd", nullptr,
     [](Chunks& c) {
         MapWriterFind(c, "MPHD")->data.resize(23);
         return true;
     },
     nullptr},
    {"short_cmap", nullptr,
     [](Chunks& c) {
         MapWriterFind(c, "CMAP")->data.resize(767);
         return true;
     },
     nullptr},

    // Header values.
    {"width_zero", nullptr,
     [](Chunks& c) {
         Set16(MapWriterFind(c, "MPHD"), 4, 0);
         return true;
     },
     nullptr},
    {"height_negative", nullptr,
     [](Chunks& c) {
         Set16(MapWriterFind(c, "MPHD"), 6, -30);
         return true;
     },
     nullptr},
    {"block_width_257", nullptr,
     [](Chunks& c) {
         Set16(MapWriterFind(c, "MPHD"), 12, 257);
         return true;
     },
     nullptr},
    {"depth_16", nullptr,
     [](Chunks& c) {
         Set16(MapWriterFind(c, "MPHD"), 16, 16);
         return true;
     },
     nullptr},
    {"no_graphics", nullptr,
     [](Chunks& c) {
         Set16(MapWriterFind(c, "MPHD"), 22, 0);
         return true;
     },
     nullptr},
    {"graphics_negative", nullptr,
     [](Chunks& c) {
         Set16(MapWriterFind(c, "MPHD"), 22, -1);
         return true;
     },
     nullptr},
    {"no_block_structures", nullptr,
     [](Chunks& c) {
         Set16(MapWriterFind(c, "MPHD"), 20, 0);
         return true;
     },
     nullptr},

    // Chunk sizes against the header.
    {"bkdt_one_block_short", nullptr,
     [](Chunks& c) {
         MAPCHUNK* b = MapWriterFind(c, "BKDT");
         DropTail(b->data, 32);
         return true;
     },
     nullptr},
    {"bkdt_odd_size", nullptr,
     [](Chunks& c) {
         MapWriterFind(c, "BKDT")->data.push_back(0);
         return true;
     },
     nullptr},
    {"bgfx_one_byte_short", nullptr,
     [](Chunks& c) {
         MapWriterFind(c, "BGFX")->data.pop_back();
         return true;
     },
     nullptr},
    {"body_two_bytes_short", nullptr,
     [](Chunks& c) {
         MAPCHUNK* b = Body(c);
         DropTail(b->data, 2);
         return true;
     },
     nullptr},
    {"lyr3_two_bytes_long",
     [](MAPDESC& m) {
         m.layers[3] = m.layers[0];
         return true;
     },
     [](Chunks& c) {
         MAPCHUNK* l = MapWriterFind(c, "LYR3") ? MapWriterFind(c, "LYR3") : MapWriterFind(c, "LYN3");
         l->data.insert(l->data.end(), {0, 0});
         return true;
     },
     nullptr},

    // Animation data.
    {"andt_no_end_record", HasFrames,
     [](Chunks& c) {
         for (uint8_t& b : MapWriterFind(c, "ANDT")->data) b = b == 0xFF ? 0x7F : b;
         return true;
     },
     nullptr},
    {"andt_not_multiple_of_4", HasFrames,
     [](Chunks& c) {
         MAPCHUNK* a = MapWriterFind(c, "ANDT");
         a->data.insert(a->data.begin(), {0, 0});
         return true;
     },
     nullptr},
    {"andt_end_record_only_12_bytes", nullptr,
     [](Chunks& c) {
         Drop(c, "ANDT");
         c.insert(c.begin() + 1, MAPCHUNK{"ANDT", std::vector<uint8_t>(12, 0xFF)});
         return true;
     },
     nullptr},
    {"frame_past_blocks",
     [](MAPDESC& m) {
         if (!HasFrames(m)) return false;
         m.frames[1] = static_cast<int32_t>(32 * m.blocks.size());
         return true;
     },
     nullptr, nullptr},
    {"frame_unaligned",
     [](MAPDESC& m) {
         if (!HasFrames(m)) return false;
         m.frames[0] = 16;
         return true;
     },
     nullptr, nullptr},
    {"frame_negative",
     [](MAPDESC& m) {
         if (!HasFrames(m)) return false;
         m.frames[1] = -32;
         return true;
     },
     nullptr, nullptr},
    {"anim_start_after_end",
     [](MAPDESC& m) {
         if (!HasFrames(m)) return false;
         m.anims[0].start = 2;
         m.anims[0].end = 1;
         return true;
     },
     nullptr, nullptr},
    {"anim_end_past_frames",
     [](MAPDESC& m) {
         if (!HasFrames(m)) return false;
         m.anims[0].end = static_cast<int>(m.frames.size()) + 1;
         return true;
     },
     nullptr, nullptr},
    {"anim_start_before_data",
     [](MAPDESC& m) {
         if (!HasFrames(m)) return false;
         m.anims[0].start = -1;
         return true;
     },
     nullptr, nullptr},
    {"anim_start_unaligned", HasFrames, [](Chunks& c) { return AddToRecord(c, 0, 8, 2); }, nullptr},
    {"anim_no_frames_on_end_record",
     [](MAPDESC& m) {
         if (!HasFrames(m)) return false;
         m.anims[0].start = m.anims[0].end = static_cast<int>(m.frames.size());
         return true;
     },
     nullptr, nullptr},

    // References of block structures and cells.
    {"bgoff_past_graphics",
     [](MAPDESC& m) {
         m.blocks.back().bgoff = m.numblockgfx() * 256;
         return true;
     },
     nullptr, nullptr},
    {"fgoff_negative",
     [](MAPDESC& m) {
         m.blocks[0].fgoff = -256;
         return true;
     },
     nullptr, nullptr},
    {"fgoff3_inside_last_past_end",
     [](MAPDESC& m) {
         m.blocks[0].fgoff3 = m.numblockgfx() * 256 + 255;
         return true;
     },
     nullptr, nullptr},
    {"cell_unaligned",
     [](MAPDESC& m) {
         MiddleCell(m) = 33;
         return true;
     },
     nullptr, nullptr},
    {"cell_past_blocks",
     [](MAPDESC& m) {
         MiddleCell(m) = static_cast<int16_t>(32 * m.blocks.size());
         return true;
     },
     nullptr, nullptr},
    {"cell_past_animations",
     [](MAPDESC& m) {
         MiddleCell(m) = static_cast<int16_t>(-16 * (m.anims.size() + 1));
         return true;
     },
     nullptr, nullptr},
    {"cell_animation_unaligned",
     [](MAPDESC& m) {
         if (m.anims.empty()) return false;
         MiddleCell(m) = -8;
         return true;
     },
     nullptr, nullptr},
    {"cell_animation_without_andt",
     [](MAPDESC& m) {
         m = WithoutAnimations(m);
         m.layers[0].back() = -16;
         return true;
     },
     nullptr, nullptr},
    {"lyr5_cell_past_blocks",
     [](MAPDESC& m) {
         m.layers[5] = m.layers[0];
         m.layers[5][0] = static_cast<int16_t>(32 * m.blocks.size());
         return true;
     },
     nullptr, nullptr},
};

// Maps that look odd but must load.
const Defect kAccepted[] = {
    {"ok_plain", nullptr, nullptr, nullptr},
    {"ok_duplicate_body_replaces_bad_one", nullptr,
     [](Chunks& c) {
         MAPCHUNK bad = *Body(c);
         bad.data[10] = 1;  // cell 5 becomes 1: designates nothing
         c.insert(c.begin() + 1, bad);
         return true;
     },
     nullptr},
    {"ok_unknown_chunks_empty_and_odd", nullptr,
     [](Chunks& c) {
         c.insert(c.begin(), MAPCHUNK{"NULL", {}});
         c.insert(c.begin() + 2, MAPCHUNK{"body", {1, 2, 3}});
         c.push_back({"XTRA", {7}});
         return true;
     },
     nullptr},
    {"ok_current_frame_outside",
     [](MAPDESC& m) {
         if (!HasFrames(m)) return false;
         m.anims[0].start = 1;
         m.anims[0].cur = 0;
         return true;
     },
     nullptr, nullptr},
    {"ok_no_frames_on_existing_entry",
     [](MAPDESC& m) {
         if (!HasFrames(m)) return false;
         m.anims[0].start = m.anims[0].end = 1;
         return true;
     },
     nullptr, nullptr},
    {"ok_andt_end_record_only",
     [](MAPDESC& m) {
         m = WithoutAnimations(m);
         return true;
     },
     [](Chunks& c) {
         Drop(c, "ANDT");
         std::vector<uint8_t> end(16, 0);
         end[0] = 0xFF;
         c.insert(c.begin() + 1, MAPCHUNK{"ANDT", end});
         return true;
     },
     nullptr},
};

// The image of `base` with `d` applied; empty when d does not apply to it.
Image Build(const Base& base, const Defect& d) {
    MAPDESC m = base.map;
    if (d.map && !d.map(m)) return {};
    Chunks c = MapSerializeChunks(m);
    if (base.layout) base.layout(c);
    if (d.chunks && !d.chunks(c)) return {};
    Image img = MapSerialize(c);
    if (d.image) d.image(img);
    return img;
}

// The smallest map that draws: 40 x 30 cells, two graphics and two blocks,
// three animations over both blocks. Made here rather than by the map
// writer's sample, so that the committed corrupt maps stay what this
// program makes.
MAPDESC TinyMap() {
    MAPDESC m;
    m.width = 40;
    m.height = 30;
    for (int i = 0; i < 256; i++) m.cmap.insert(m.cmap.end(), {uint8_t(i), uint8_t(255 - i), uint8_t(i / 2)});
    for (int g = 0; g < 2; g++) {
        for (int y = 0; y < 16; y++) {
            for (int x = 0; x < 16; x++) m.gfx.push_back(static_cast<uint8_t>(g * 7 + x + 3 * y));
        }
        BLKSTR b{};
        b.bgoff = g * 256;
        b.fgoff = (1 - g) * 256;
        b.user1 = 1000 + g;
        b.trigger = g;
        m.blocks.push_back(b);
    }
    m.frames = {0, 32};
    m.anims.push_back({ANTYPE_LOOP_FWD, 0, 0, 0, 0, 2, 0});
    m.anims.push_back({ANTYPE_PINGPONG_FWD_OUT, 1, 0, 0, 0, 2, 0});
    m.anims.push_back({ANTYPE_LOOP_BACK, 2, 0, 0, 1, 2, 1});
    static const int16_t kCells[5] = {0, 32, -16, -32, -48};
    for (int i = 0; i < 40 * 30; i++) m.layers[0].push_back(kCells[(i * 5 + i / 40) % 5]);
    return m;
}

// The corrupt maps: the tiny map with each defect, and the odd maps that load.
std::vector<std::pair<std::string, Image>> CorruptMaps() {
    const Base tiny{"tiny", TinyMap(), nullptr};
    std::vector<std::pair<std::string, Image>> out;
    for (const Defect& d : kDefects) out.emplace_back(std::string(d.name) + ".fmp", Build(tiny, d));
    for (const Defect& d : kAccepted) out.emplace_back(std::string(d.name) + ".fmp", Build(tiny, d));
    out.emplace_back("header_only_12_bytes.fmp", Image{'F', 'O', 'R', 'M', 0, 0, 0, 4, 'F', 'M', 'A', 'P'});
    return out;
}

bool Save(const std::filesystem::path& dir, const std::string& name, const Image& img) {
    if (MapWriterSave((dir / name).string(), img)) return true;
    std::fprintf(stderr, "cannot write %s\n", (dir / name).c_str());
    return false;
}

int WriteSeeds(const std::filesystem::path& dir) {
    std::filesystem::create_directories(dir);
    int n = 0;
    for (const Base& b : Bases()) {
        std::vector<const Defect*> all;
        for (const Defect& d : kDefects) all.push_back(&d);
        for (const Defect& d : kAccepted) all.push_back(&d);
        for (const Defect* d : all) {
            Image img = Build(b, *d);
            if (img.empty()) continue;
            if (!Save(dir, std::string(b.name) + "-" + d->name + ".fmp", img)) return 1;
            n++;
        }
    }
#ifdef VEXIL_MKSEEDS_DEMOMAP
    if (!Save(dir, "demo.fmp", MapSerialize(MapWriterDemo()))) return 1;
    n++;
#endif
    std::printf("%d seeds in %s\n", n, dir.c_str());
    return 0;
}

int WriteCorrupt(const std::filesystem::path& dir) {
    std::filesystem::create_directories(dir);
    for (const auto& [name, img] : CorruptMaps()) {
        if (!Save(dir, name, img)) return 1;
    }
    return 0;
}

int CheckCorrupt(const std::filesystem::path& dir) {
    int bad = 0;
    for (const auto& [name, img] : CorruptMaps()) {
        std::ifstream in(dir / name, std::ios::binary);
        Image have((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (!in.is_open() || have != img) {
            std::fprintf(stderr, "%s: %s\n", name.c_str(), in.is_open() ? "differs from the generator" : "missing");
            bad++;
        }
    }
    return bad ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--seeds") == 0) return WriteSeeds(argv[2]);
    if (argc == 3 && std::strcmp(argv[1], "--corrupt") == 0) return WriteCorrupt(argv[2]);
    if (argc == 3 && std::strcmp(argv[1], "--check-corrupt") == 0) return CheckCorrupt(argv[2]);
    std::fprintf(stderr, "usage: %s --seeds DIR | --corrupt DIR | --check-corrupt DIR\n", argv[0]);
    return 2;
}
