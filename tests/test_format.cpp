// The format layer on its own: parsing with no display object and no global
// state, serializing back, what a rejected map's description holds, and the
// per-chunk entry points that decode into the loaded map.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "mapformat.h"
#include "mapwriter.h"
#include "test_support.h"
#include "vexildx.h"
#if __has_include("demomap.h")
#include "demomap.h"
#define VEXIL_TEST_DEMOMAP 1
#endif

namespace {

constexpr unsigned Bit(MapChunkKind k) { return 1u << k; }

MAPDESC SampleWithLayers() {
    MAPDESC m = MapWriterSample(37, 29, 5);
    m.layers[3].assign(37 * 29, 64);
    m.layers[7] = m.layers[0];
    m.anims[1].cur = 2;
    m.blocks[4].user7 = 9;
    m.blocks[4].trigger = 1;
    return m;
}

TEST(MapFormat, ParsesWithoutDisplayOrGlobalStateAndSerializesBack) {
    const LPDIRECTDRAW saved = lpDD;
    lpDD = nullptr;
    maperror = 7;
    std::strcpy(mapreason, "untouched");

    std::vector<MAPDESC> maps = {SampleWithLayers()};
#ifdef VEXIL_TEST_DEMOMAP
    maps.push_back(MapWriterDemo());
#endif
    for (const MAPDESC& m : maps) {
        const std::vector<uint8_t> img = MapSerialize(m);
        MAPDESC d;
        MAPREASON why;
        ASSERT_EQ(MapParse(img.data(), img.size(), &d, &why), 0) << why.text;
        EXPECT_EQ(why.code, 0);
        EXPECT_EQ(MapSerialize(d), img) << "serialize(parse(x)) differs from x";
        EXPECT_EQ(d.numblockgfx(), m.numblockgfx());
        EXPECT_EQ(d.header.numblockstr, static_cast<int>(m.blocks.size()));
        ASSERT_EQ(d.anims.size(), m.anims.size());
        for (size_t k = 0; k < d.anims.size(); k++) {
            EXPECT_TRUE(d.anims[k].start == m.anims[k].start && d.anims[k].end == m.anims[k].end &&
                        d.anims[k].cur == m.anims[k].cur && d.anims[k].antype == m.anims[k].antype)
                << "animation " << k;
        }
    }
    EXPECT_EQ(maperror, 7);
    EXPECT_STREQ(mapreason, "untouched");
    EXPECT_EQ(mappt, nullptr);
    EXPECT_EQ(mapcmappt, nullptr);
    lpDD = saved;
    maperror = 0;
}

// A rejected map's description holds what was read before the failure, and
// says so; the reason is the decoder's.
TEST(MapFormat, RejectedMapSaysWhatItHolds) {
    const MAPDESC good = SampleWithLayers();
    std::vector<MAPCHUNK> chunks = MapSerializeChunks(good);
    std::vector<uint8_t> img = MapSerialize(chunks);
    // Cut inside BGFX (after MPHD, CMAP, BKDT, ANDT), FORM size made to fit.
    size_t cut = 12;
    for (size_t i = 0; i < 4; i++) cut += 8 + chunks[i].data.size();
    img.resize(cut + 8 + 10);
    const uint32_t form = static_cast<uint32_t>(img.size() - 8);
    for (int i = 0; i < 4; i++) img[4 + i] = static_cast<uint8_t>(form >> (24 - 8 * i));

    MAPDESC d;
    MAPREASON why;
    EXPECT_EQ(MapParse(img.data(), img.size(), &d, &why), -1);
    EXPECT_EQ(why.code, MER_MAPLOADERROR);
    EXPECT_NE(std::strstr(why.text, "chunk BGFX at"), nullptr) << why.text;
    EXPECT_EQ(d.held, Bit(MAPCHUNK_MPHD) | Bit(MAPCHUNK_CMAP) | Bit(MAPCHUNK_BKDT))
        << "ANDT is not read before the check";
    EXPECT_EQ(d.width, 37);
    EXPECT_EQ(d.header.numblockgfx, 5);
    EXPECT_EQ(d.blocks.size(), 5u);
    EXPECT_TRUE(d.gfx.empty() && d.layers[0].empty() && d.anims.empty());

    // A dangling cell fails the check after the animations were read.
    MAPDESC bad = good;
    bad.layers[3][100] = 5 * 32;
    img = MapSerialize(bad);
    EXPECT_EQ(MapParse(img.data(), img.size(), &d, &why), -1);
    EXPECT_STREQ(why.text, "layer LYR3 cell (26, 2) value 160 designates nothing");
    EXPECT_EQ(d.held & Bit(MAPCHUNK_ANDT), Bit(MAPCHUNK_ANDT));
    EXPECT_EQ(d.anims.size(), 3u);
    EXPECT_EQ(d.layers[3][100], 160);
}

class ChunkEntryTest : public MapFixture {};

// The per-chunk entry points decode into the loaded map as the loaders do;
// the file one refuses a length the file cannot hold before allocating.
TEST_F(ChunkEntryTest, SingleChunksFromFileAndMemory) {
    const MAPDESC m = SampleWithLayers();
    const std::vector<uint8_t> body = MapSerializeChunk(m, MAPCHUNK_BODY);
    std::vector<uint8_t> lenfield(4 + body.size());  // big-endian length, then the cells
    lenfield[2] = static_cast<uint8_t>(body.size() >> 8);
    lenfield[3] = static_cast<uint8_t>(body.size());
    std::copy(body.begin(), body.end(), lenfield.begin() + 4);
    ASSERT_EQ(MapMemDecodeBODY(lenfield.data()), 0);
    ASSERT_NE(mappt, nullptr);
    EXPECT_EQ(mappt, mapmappt[0]);
    EXPECT_EQ(std::vector<int16_t>(mappt, mappt + m.layers[0].size()), m.layers[0]);

    const std::string path = ::testing::TempDir() + "vexil_chunk_entry_" + std::to_string(getpid()) + ".bin";
    const std::vector<uint8_t> bkdt = MapSerializeChunk(m, MAPCHUNK_BKDT);
    ASSERT_TRUE(MapWriterSave(path, bkdt));
    mapfilept = std::fopen(path.c_str(), "rb");
    ASSERT_NE(mapfilept, nullptr);
    std::memcpy(&mapgenheader.id1, "BKDT", 4);
    mapgenheader.headsize = Mapbyteswapl(static_cast<uint32_t>(bkdt.size()));
    EXPECT_EQ(MapDecodeBKDT(), 0);
    ASSERT_NE(mapblockstrpt, nullptr);
    EXPECT_EQ(0, std::memcmp(mapblockstrpt, bkdt.data(), bkdt.size()));
    EXPECT_EQ(mappt, mapmappt[0]) << "the layer read before stays";

    std::rewind(mapfilept);
    mapgenheader.headsize = Mapbyteswapl(0x7FFFFFF0u);
    EXPECT_EQ(MapDecodeBGFX(), -1);
    EXPECT_EQ(maperror, MER_MAPLOADERROR);
    EXPECT_EQ(mapblockgfxpt, nullptr);
    std::fclose(mapfilept);
    mapfilept = nullptr;
    std::remove(path.c_str());
}

}  // namespace
