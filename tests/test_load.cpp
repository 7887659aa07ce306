// Loading, decoding, whole-map checks and relocation of maps.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "mapinternal.h"
#include "mapwriter.h"
#include "test_support.h"
#include "vexildx.h"

namespace {

class LoadTest : public MapFixture {
protected:
    void TearDown() override {
        MapFixture::TearDown();
        std::remove(path.c_str());
    }

    // Writes the image to a temporary file and loads it.
    int LoadFile(const std::vector<uint8_t>& img) {
        EXPECT_TRUE(MapWriterSave(path, img));
        return MapLoad(path.c_str());
    }
    int Decode(const std::vector<uint8_t>& img) { return MapDecode(img.data(), img.size()); }

    // Both loaders reject the image with maperror 2.
    void ExpectRejected(const std::vector<uint8_t>& img, const char* why) {
        EXPECT_EQ(LoadFile(img), -1) << why;
        EXPECT_EQ(maperror, 2) << why << ": " << mapreason;
        EXPECT_NE(mapreason[0], '\0') << why;
        EXPECT_EQ(Decode(img), -1) << why;
        EXPECT_EQ(maperror, 2) << why << ": " << mapreason;
    }
    void ExpectRejected(const MAPDESC& m, const char* why) { ExpectRejected(MapSerialize(m), why); }

    // ctest runs tests in parallel processes: one file per process.
    std::string path = ::testing::TempDir() + "vexil_load_test_" + std::to_string(getpid()) + ".fmp";
};

bool StateEmpty() {
    for (short* layer : mapmappt) {
        if (layer) return false;
    }
    return !mappt && !mapcmappt && !mapblockgfxpt && !mapblockstrpt && !mapanimstrpt && !maplpDDSTiles[0] &&
           !maptilespt && !lpDDSPara && !mapblkrelpt && !mapanimrelpt;
}

// Pixel (x, y) of a surface.
uint8_t Pixel(LPDIRECTDRAWSURFACE s, int x, int y) { return s->pixels[y * s->pitch + x]; }

int SlotOf(LPDIRECTDRAWSURFACE s) {
    for (int i = 0; i < 256 && maplpDDSTiles[i]; i++) {
        if (maplpDDSTiles[i] == s) return i;
    }
    return -1;
}

int BlockIndex(const MAPBLOCK* b) { return static_cast<int>(b - reinterpret_cast<MAPBLOCK*>(mapblkrelpt)); }
int FrameIndex(MAPBLOCK** e) { return static_cast<int>(e - reinterpret_cast<MAPBLOCK**>(mapanimrelpt)); }

std::vector<uint8_t> Concat(std::vector<uint8_t> a, const std::vector<uint8_t>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// Sets the FORM size of an image to its length - 8.
void FixFormSize(std::vector<uint8_t>& img) {
    uint32_t n = static_cast<uint32_t>(img.size() - 8);
    img[4] = n >> 24;
    img[5] = n >> 16;
    img[6] = n >> 8;
    img[7] = n;
}

}  // namespace

TEST(MapByteSwap, ReversesBytes) {
    EXPECT_EQ(Mapbyteswapl(0x00030000u), 768u);  // bytes 00 00 03 00 in memory
    EXPECT_EQ(Mapbyteswapl(0x12345678u), 0x78563412u);
    EXPECT_EQ(Mapbyteswapl(Mapbyteswapl(0xDEADBEEFu)), 0xDEADBEEFu);
}

TEST(MapPalette, CopiesIntensitiesWithZeroFlags) {
    std::vector<uint8_t> cmap(768);
    for (int i = 0; i < 768; i++) cmap[i] = static_cast<uint8_t>(i * 7 + 1);
    cmap[15] = 255;
    cmap[16] = 0;
    cmap[17] = 128;
    PALETTEENTRY pe[256];
    std::memset(pe, 0xAB, sizeof pe);
    MapCMAPtoPE(cmap.data(), pe);
    EXPECT_EQ(pe[5].peRed, 255);
    EXPECT_EQ(pe[5].peGreen, 0);
    EXPECT_EQ(pe[5].peBlue, 128);
    for (int i = 0; i < 256; i++) {
        EXPECT_EQ(pe[i].peRed, cmap[3 * i]);
        EXPECT_EQ(pe[i].peGreen, cmap[3 * i + 1]);
        EXPECT_EQ(pe[i].peBlue, cmap[3 * i + 2]);
        EXPECT_EQ(pe[i].peFlags, 0);
    }
}

TEST_F(LoadTest, FreeMemOnEmptyStateAndTwiceIsHarmless) {
    MapFreeMem();
    MapFreeMem();
    EXPECT_TRUE(StateEmpty());
    ASSERT_EQ(Decode(MapSerialize(MapWriterSample(50, 40))), 0);
    MapFreeMem();
    MapFreeMem();
    EXPECT_TRUE(StateEmpty());
    EXPECT_EQ(mapwidth, 50);  // header values survive
    EXPECT_EQ(mapheight, 40);
    EXPECT_EQ(mapnumblockgfx, 4);
}

TEST_F(LoadTest, SampleMapLoadsFromFileAndMemory) {
    MAPDESC m = MapWriterSample(45, 33);
    std::vector<uint8_t> img = MapSerialize(m);
    for (int loader = 0; loader < 2; loader++) {
        ASSERT_EQ(loader ? Decode(img) : LoadFile(img), 0) << mapreason;
        EXPECT_EQ(maperror, 0);
        EXPECT_EQ(mapreason[0], '\0');
        EXPECT_EQ(mapwidth, 45);
        EXPECT_EQ(mapheight, 33);
        EXPECT_EQ(mapblockwidth, 16);
        EXPECT_EQ(mapdepth, 8);
        EXPECT_EQ(mapnumblockstr, 4);
        EXPECT_EQ(mapnumblockgfx, 4);
        EXPECT_EQ(mappt, mapmappt[0]);
        EXPECT_EQ(0, std::memcmp(mappt, m.layers[0].data(), m.layers[0].size() * 2));
        EXPECT_EQ(mappept[3].peRed, 3);
        EXPECT_EQ(mappept[3].peGreen, 252);
        EXPECT_EQ(mapanimstrendpt - mapanimstrpt, 4 * 4 + 16 + 3 * 16);
    }
}

// --- The chunk walk and the header tests -------------------------------------------------

TEST_F(LoadTest, MissingFileGivesReason3AndFreesPreviousMap) {
    ASSERT_EQ(Decode(MapSerialize(MapWriterSample(40, 30))), 0);
    EXPECT_EQ(MapLoad("/nonexistent/dir/NOPE.FMP"), -1);
    EXPECT_EQ(maperror, 3);
    EXPECT_STREQ(mapreason, std::strerror(ENOENT)) << "the system's reason";
    EXPECT_TRUE(StateEmpty());
    // A directory opens but cannot be read: rejected, saying why.
    EXPECT_EQ(MapLoad(::testing::TempDir().c_str()), -1);
    EXPECT_EQ(maperror, 2);
    EXPECT_NE(std::strstr(mapreason, std::strerror(EISDIR)), nullptr) << mapreason;
}

TEST_F(LoadTest, HeaderFailuresGiveReason2WithEmptyState) {
    std::vector<uint8_t> good = MapSerialize(MapWriterSample(40, 30));

    std::vector<uint8_t> shortfile(good.begin(), good.begin() + 7);
    EXPECT_EQ(LoadFile(shortfile), -1);
    EXPECT_EQ(maperror, 2);
    EXPECT_TRUE(StateEmpty());

    std::vector<uint8_t> img = good;
    img[3] = 'm';  // "FORm"
    ExpectRejected(img, "wrong FORM id");
    EXPECT_TRUE(StateEmpty());

    img = good;
    img[11] = 'X';  // "FMAX"
    ExpectRejected(img, "wrong form type");
    EXPECT_TRUE(StateEmpty());

    for (int delta : {-1, 1}) {
        img = good;
        img[7] = static_cast<uint8_t>(img[7] + delta);
        EXPECT_EQ(LoadFile(img), -1);
        EXPECT_EQ(maperror, 2);
        EXPECT_TRUE(StateEmpty());
    }

    std::vector<uint8_t> formonly(good.begin(), good.begin() + 10);
    FixFormSize(formonly);
    EXPECT_EQ(LoadFile(formonly), -1);  // form type cut short
    EXPECT_EQ(maperror, 2);
}

TEST_F(LoadTest, TwelveByteImageHasNoChunksAndIsRejectedAsIncomplete) {
    std::vector<uint8_t> img = MapSerialize(std::vector<MAPCHUNK>{});
    ASSERT_EQ(img.size(), 12u);
    ExpectRejected(img, "no chunks");
    EXPECT_STREQ(mapreason, "chunk MPHD is missing");
    EXPECT_TRUE(StateEmpty());
}

TEST_F(LoadTest, TrailingBytesAfterLastChunkKeepEarlierBuffers) {
    std::vector<uint8_t> img = Concat(MapSerialize(MapWriterSample(40, 30)), {1, 2, 3});
    FixFormSize(img);
    EXPECT_EQ(LoadFile(img), -1);
    EXPECT_EQ(maperror, 2);
    EXPECT_NE(mapcmappt, nullptr);  // buffers of earlier chunks stay until the next load
    EXPECT_NE(mappt, nullptr);
    EXPECT_EQ(lpDDSPara, nullptr);  // nothing was relocated
    EXPECT_EQ(Decode(img), -1);
    EXPECT_EQ(maperror, 2);
    EXPECT_NE(mapblockstrpt, nullptr);
}

TEST_F(LoadTest, ChunkRunningPastTheEndIsRejectedBeforeAllocating) {
    std::vector<MAPCHUNK> chunks = MapSerializeChunks(MapWriterSample(40, 30));
    std::vector<uint8_t> img = MapSerialize(chunks);
    // The last chunk (BODY) claims a huge length.
    size_t bodyhdr = img.size() - chunks.back().data.size() - 8;
    img[bodyhdr + 4] = 0x7F;
    ExpectRejected(img, "BODY past the end");
    EXPECT_EQ(mappt, nullptr);
    // Its id quoted in the reason shows bytes that would steer a terminal as \xNN.
    std::memcpy(&img[bodyhdr], "\x1B[2J", 4);
    ExpectRejected(img, "escaped id");
    EXPECT_NE(std::strstr(mapreason, "chunk \\x1B[2J at"), nullptr) << mapreason;

    // A buffer size below the FORM size bounds the decoder.
    img = MapSerialize(chunks);
    EXPECT_EQ(MapDecode(img.data(), img.size() - 1), -1);
    EXPECT_EQ(maperror, 2);
    EXPECT_EQ(MapDecode(img.data(), 11), -1);
    EXPECT_EQ(maperror, 2);
    EXPECT_EQ(MapDecode(nullptr, 0), -1);
    EXPECT_EQ(maperror, 2);
    // A larger buffer is fine: the FORM size ends the walk.
    std::vector<uint8_t> padded = Concat(img, std::vector<uint8_t>(100, 0xEE));
    EXPECT_EQ(MapDecode(padded.data(), padded.size()), 0) << mapreason;
}

TEST_F(LoadTest, UnknownOddAndLowerCaseChunksAreSkipped) {
    MAPDESC m = MapWriterSample(40, 30);
    std::vector<MAPCHUNK> chunks = MapSerializeChunks(m);
    chunks.insert(chunks.begin() + 1, MAPCHUNK{"XTRA", {1, 2, 3}});  // odd length, no padding
    chunks.insert(chunks.begin() + 3, MAPCHUNK{"NONE", {}});         // unknown and empty
    chunks.push_back(MAPCHUNK{"body", MapWriterLayer(std::vector<int16_t>(40 * 30, 32))});
    std::vector<uint8_t> img = MapSerialize(chunks);
    ASSERT_EQ(LoadFile(img), 0) << mapreason;
    EXPECT_EQ(0, std::memcmp(mappt, m.layers[0].data(), m.layers[0].size() * 2));
    ASSERT_EQ(Decode(img), 0) << mapreason;
    EXPECT_EQ(0, std::memcmp(mappt, m.layers[0].data(), m.layers[0].size() * 2));

    // With only a lower-case "body", the map has no BODY layer.
    chunks = MapSerializeChunks(m);
    MapWriterFind(chunks, "BODY")->id = "body";
    ExpectRejected(MapSerialize(chunks), "lower-case body");
    EXPECT_STREQ(mapreason, "chunk BODY is missing");
}

TEST_F(LoadTest, RepeatedChunksReplaceEarlierOnes) {
    MAPDESC m = MapWriterSample(40, 30);
    std::vector<MAPCHUNK> chunks = MapSerializeChunks(m);
    MAPCHUNK cmap2{"CMAP", std::vector<uint8_t>(768, 9)};
    std::vector<int16_t> cells2(40 * 30, 64);
    MAPCHUNK body2{"BODY", MapWriterLayer(cells2)};
    chunks.push_back(cmap2);
    chunks.push_back(body2);
    std::vector<uint8_t> img = MapSerialize(chunks);
    for (int loader = 0; loader < 2; loader++) {
        ASSERT_EQ(loader ? Decode(img) : LoadFile(img), 0) << mapreason;
        EXPECT_EQ(mappept[200].peRed, 9);
        EXPECT_EQ(mappept[200].peBlue, 9);
        EXPECT_EQ(mappt, mapmappt[0]);
        EXPECT_EQ(mappt[0], 64);
        EXPECT_EQ(mappt[40 * 30 - 1], 64);
    }
}

TEST_F(LoadTest, KnownEmptyChunkIsRejected) {
    for (const char* id : {"MPHD", "CMAP", "BKDT", "ANDT", "BGFX", "BODY", "LYR4"}) {
        std::vector<MAPCHUNK> chunks = MapSerializeChunks(MapWriterSample(40, 30));
        chunks.push_back(MAPCHUNK{id, {}});
        ExpectRejected(MapSerialize(chunks), id);
    }
}

TEST_F(LoadTest, LayersKeepTheirDigitInAnyOrder) {
    MAPDESC m = MapWriterSample(40, 30);
    for (int n = 1; n < 8; n++) m.layers[n].assign(40 * 30, static_cast<int16_t>(32 * (n % 4)));
    std::vector<MAPCHUNK> chunks = MapSerializeChunks(m);
    std::reverse(chunks.begin(), chunks.end());
    std::vector<uint8_t> img = MapSerialize(chunks);
    for (int loader = 0; loader < 2; loader++) {
        ASSERT_EQ(loader ? Decode(img) : LoadFile(img), 0) << mapreason;
        EXPECT_EQ(mappt, mapmappt[0]);
        EXPECT_EQ(0, std::memcmp(mappt, m.layers[0].data(), m.layers[0].size() * 2));
        for (int n = 1; n < 8; n++) {
            ASSERT_NE(mapmappt[n], nullptr);
            EXPECT_EQ(mapmappt[n][17], 32 * (n % 4));
        }
    }
}

TEST_F(LoadTest, NoDisplayObjectFailsWithoutCrashing) {
    std::vector<uint8_t> img = MapSerialize(MapWriterSample(40, 30));
    LPDIRECTDRAW saved = lpDD;
    lpDD = nullptr;
    EXPECT_EQ(Decode(img), -1);
    EXPECT_EQ(LoadFile(img), -1);
    EXPECT_TRUE(StateEmpty());
    lpDD = saved;
}

// --- The whole-map check ------------------------------------------------------------------

TEST_F(LoadTest, WholeMapCheckRejectsEachBrokenRelation) {
    const MAPDESC good = MapWriterSample(40, 30);
    ASSERT_EQ(Decode(MapSerialize(good)), 0);

    for (const char* id : {"MPHD", "CMAP", "BKDT", "BGFX", "BODY"}) {
        std::vector<MAPCHUNK> chunks = MapSerializeChunks(good);
        chunks.erase(std::find_if(chunks.begin(), chunks.end(), [&](const MAPCHUNK& c) { return c.id == id; }));
        ExpectRejected(MapSerialize(chunks), id);
    }
    std::vector<MAPCHUNK> chunks = MapSerializeChunks(good);
    MapWriterFind(chunks, "MPHD")->data.resize(23);
    ExpectRejected(MapSerialize(chunks), "MPHD of 23 bytes");
    chunks = MapSerializeChunks(good);
    MapWriterFind(chunks, "CMAP")->data.resize(767);
    ExpectRejected(MapSerialize(chunks), "CMAP of 767 bytes");

    MAPDESC m = good;
    for (int side : {0, -16, 257}) {
        m = good;
        m.blockwidth = side;
        ExpectRejected(m, "block width");
        m = good;
        m.blockheight = side;
        ExpectRejected(m, "block height");
    }
    m = good;
    m.depth = 16;
    ExpectRejected(m, "depth 16");
    m = good;
    m.width = 0;
    m.layers[0].clear();
    m.layers[0].push_back(0);
    ExpectRejected(m, "width 0");

    chunks = MapSerializeChunks(good);
    MapWriterFind(chunks, "BKDT")->data.resize(3 * 32);
    ExpectRejected(MapSerialize(chunks), "BKDT shorter than numblockstr records");
    chunks = MapSerializeChunks(good);
    MapWriterFind(chunks, "BKDT")->data.resize(5 * 32);
    ExpectRejected(MapSerialize(chunks), "BKDT longer than numblockstr records");
    chunks = MapSerializeChunks(good);
    MapWriterFind(chunks, "BGFX")->data.resize(4 * 256 - 1);
    ExpectRejected(MapSerialize(chunks), "BGFX short");
    chunks = MapSerializeChunks(good);
    MapWriterFind(chunks, "BODY")->data.resize(2 * 40 * 30 - 2);
    ExpectRejected(MapSerialize(chunks), "BODY short");
    EXPECT_STREQ(mapreason, "layer BODY has 2 bytes too few");
    chunks = MapSerializeChunks(good);
    chunks.push_back({"LYR3", MapWriterLayer(std::vector<int16_t>(40 * 30 + 1, 0))});
    ExpectRejected(MapSerialize(chunks), "LYR3 long");
    EXPECT_STREQ(mapreason, "layer LYR3 has 2 bytes too many");

    // 0 and a negative number of graphics.
    chunks = MapSerializeChunks(good);
    MapWriterFind(chunks, "MPHD")->data[22] = 0xFF;
    MapWriterFind(chunks, "MPHD")->data[23] = 0xFF;
    ExpectRejected(MapSerialize(chunks), "-1 graphics");
    chunks = MapSerializeChunks(good);
    MapWriterFind(chunks, "MPHD")->data[22] = 0;
    ExpectRejected(MapSerialize(chunks), "0 graphics");
}

TEST_F(LoadTest, WholeMapCheckRejectsDanglingReferences) {
    const MAPDESC good = MapWriterSample(40, 30);
    MAPDESC m = good;
    m.blocks[2].bgoff = 4 * 256;  // graphic 4 of 4
    ExpectRejected(m, "bgoff past the graphics");
    m = good;
    m.blocks[1].fgoff3 = -256;
    ExpectRejected(m, "negative fgoff3");
    m = good;
    m.frames[1] = 4 * 32;
    ExpectRejected(m, "frame past the blocks");
    m = good;
    m.frames[1] = 40;
    ExpectRejected(m, "frame not on a record");

    for (int16_t bad : {int16_t(4 * 32), int16_t(33), int16_t(-64), int16_t(-24)}) {
        m = good;
        m.layers[0][40 * 29 + 39] = bad;
        ExpectRejected(m, "bad BODY cell");
        m = good;
        m.layers[6].assign(40 * 30, 0);
        m.layers[6][7] = bad;
        ExpectRejected(m, "bad LYR6 cell");
    }
    m = good;
    m.frames.clear();
    m.anims.clear();
    ExpectRejected(m, "negative cells without animation data");
    m = good;
    for (int16_t& c : m.layers[0]) c = c < 0 ? 0 : c;
    m.frames.clear();
    m.anims.clear();
    EXPECT_EQ(Decode(MapSerialize(m)), 0) << "no cells need animation data";
    EXPECT_EQ(mapanimstrpt, nullptr);
}

TEST_F(LoadTest, WholeMapCheckRejectsBrokenAnimationData) {
    const MAPDESC good = MapWriterSample(40, 30);
    MAPDESC m = good;
    m.anims[1].start = 5;  // past the frame list of 4 entries
    m.anims[1].end = 5;
    ExpectRejected(m, "start past frame list");
    m = good;
    m.anims[1].end = 5;
    ExpectRejected(m, "end past frame list");
    m = good;
    m.anims[2].start = 3;
    m.anims[2].end = 2;
    ExpectRejected(m, "start after end");
    m = good;
    m.anims[0].start = m.anims[0].end = 4;
    ExpectRejected(m, "no frames, no entry");

    std::vector<MAPCHUNK> chunks = MapSerializeChunks(good);
    std::vector<uint8_t>& andt = MapWriterFind(chunks, "ANDT")->data;
    andt[4 * 4] = 0;  // the end record is lost: every record walks down to the frames
    for (size_t i = 4 * 4 + 16; i < andt.size(); i += 16) andt[i] = 1;
    ExpectRejected(MapSerialize(chunks), "no end record");

    chunks = MapSerializeChunks(good);
    MapWriterFind(chunks, "ANDT")->data.push_back(0);
    ExpectRejected(MapSerialize(chunks), "ANDT not a multiple of 4");

    chunks = MapSerializeChunks(good);
    std::vector<uint8_t>& andt2 = MapWriterFind(chunks, "ANDT")->data;
    andt2[andt2.size() - 4] += 2;  // animation 0's end offset off an entry boundary
    ExpectRejected(MapSerialize(chunks), "end off an entry boundary");

    // Accepted: no frames but starting on an existing entry, and a stored
    // current frame outside the animation's frames.
    m = good;
    m.anims[0].start = m.anims[0].end = m.anims[0].cur = 2;
    m.anims[2].cur = 0;  // frames 1..3
    ASSERT_EQ(Decode(MapSerialize(m)), 0) << mapreason;
    EXPECT_EQ(FrameIndex(MapAnim(0)->ancuroff), 2);
    EXPECT_EQ(FrameIndex(MapAnim(2)->ancuroff), 1);
}

// --- Relocation ---------------------------------------------------------------------------

TEST_F(LoadTest, RelocationTurnsOffsetsIntoSurfacesAndAddresses) {
    MAPDESC m = MapWriterSample(40, 30, 4);
    m.blocks[0].fgoff = 0;
    m.blocks[1].bgoff = 0;
    m.blocks[2].bgoff = 700;  // truncates to graphic 2
    m.blocks[2].fgoff2 = 512;
    m.blocks[3].fgoff3 = 3 * 256 + 255;
    m.blocks[3].user1 = 0xCAFEBABE;
    m.blocks[3].user7 = 77;
    m.blocks[3].trigger = 1;
    m.blocks[3].tl = 1;
    m.anims[1].cur = 2;
    ASSERT_EQ(Decode(MapSerialize(m)), 0) << mapreason;

    const MAPBLOCK* b = reinterpret_cast<const MAPBLOCK*>(mapblkrelpt);
    EXPECT_EQ(SlotOf(b[0].bgoff), 0);
    EXPECT_EQ(b[0].fgoff, nullptr);
    EXPECT_EQ(SlotOf(b[1].bgoff), 0);
    EXPECT_EQ(SlotOf(b[1].fgoff), 2);
    EXPECT_EQ(SlotOf(b[2].bgoff), 2);
    EXPECT_EQ(SlotOf(b[2].fgoff2), 2);
    EXPECT_EQ(b[2].fgoff3, nullptr);
    EXPECT_EQ(SlotOf(b[3].fgoff3), 3);
    EXPECT_EQ(b[3].blkstr->user1, 0xCAFEBABEu);
    EXPECT_EQ(b[3].blkstr->user7, 77);
    EXPECT_EQ(b[3].trigger, 1);
    EXPECT_EQ(b[2].trigger, 0);
    EXPECT_EQ(b[3].blkstr->tl, 1);
    EXPECT_EQ(maplpDDSTiles[4], nullptr);

    // Cells: 0 is block 0, 32 block 1, -16 animation 0 (the last stored record).
    EXPECT_EQ(BlockIndex(MapResolveCell(0)), 0);
    EXPECT_EQ(BlockIndex(MapResolveCell(32)), 1);
    EXPECT_EQ(BlockIndex(MapResolveCell(96)), 3);
    EXPECT_EQ(MapAnim(0)->antype, ANTYPE_LOOP_FWD);
    EXPECT_EQ(MapAnim(1)->antype, ANTYPE_PINGPONG_FWD_OUT);
    EXPECT_EQ(MapAnim(1)->andelay, 1);
    EXPECT_EQ(MapAnim(3)->antype, -1);
    EXPECT_EQ(FrameIndex(MapAnim(1)->anstartoff), 0);
    EXPECT_EQ(FrameIndex(MapAnim(1)->anendoff), 4);
    EXPECT_EQ(FrameIndex(MapAnim(1)->ancuroff), 2);
    EXPECT_EQ(FrameIndex(MapAnim(2)->anstartoff), 1);
    EXPECT_EQ(BlockIndex(MapResolveCell(-32)), 2);  // animation 1 on frame 2 = block 2
    EXPECT_EQ(BlockIndex(MapResolveCell(-16)), 0);
    MAPBLOCK** frames = reinterpret_cast<MAPBLOCK**>(mapanimrelpt);
    for (int i = 0; i < 4; i++) EXPECT_EQ(BlockIndex(frames[i]), i);
}

TEST_F(LoadTest, TilesHoldTheGraphicsWithKeyAndParallaxIsFourCopies) {
    MAPDESC m = MapWriterSample(40, 30, 3);
    for (int i = 0; i < 256; i++) m.gfx[2 * 256 + i] = static_cast<uint8_t>(i % 5 == 0 ? 0 : i);
    ASSERT_EQ(Decode(MapSerialize(m)), 0) << mapreason;
    for (int g = 0; g < 3; g++) {
        LPDIRECTDRAWSURFACE s = maplpDDSTiles[g];
        ASSERT_NE(s, nullptr);
        EXPECT_EQ(s->width, 16);
        EXPECT_EQ(s->height, 16);
        EXPECT_TRUE(s->hasColorKey);
        EXPECT_EQ(s->colorKey, 0);
        for (int y = 0; y < 16; y++) {
            for (int x = 0; x < 16; x++) ASSERT_EQ(Pixel(s, x, y), m.gfx[g * 256 + y * 16 + x]);
        }
    }
    ASSERT_NE(lpDDSPara, nullptr);
    EXPECT_EQ(lpDDSPara->width, 32);
    EXPECT_FALSE(lpDDSPara->hasColorKey);
    for (int y = 0; y < 32; y++) {
        for (int x = 0; x < 32; x++) {
            ASSERT_EQ(Pixel(lpDDSPara, x, y), m.gfx[2 * 256 + (y % 16) * 16 + x % 16]) << x << "," << y;
        }
    }
}

TEST_F(LoadTest, OneAnd255Graphics) {
    MAPDESC m = MapWriterSample(40, 30, 1);
    ASSERT_EQ(Decode(MapSerialize(m)), 0) << mapreason;
    EXPECT_NE(maplpDDSTiles[0], nullptr);
    EXPECT_EQ(maplpDDSTiles[1], nullptr);
    EXPECT_EQ(Pixel(lpDDSPara, 17, 18), m.gfx[2 * 16 + 1]);

    m = MapWriterSample(40, 30, 255);
    ASSERT_EQ(Decode(MapSerialize(m)), 0) << mapreason;
    EXPECT_NE(maplpDDSTiles[254], nullptr);
    EXPECT_EQ(maplpDDSTiles[255], nullptr);
    EXPECT_EQ(Pixel(lpDDSPara, 16, 16), m.gfx[254 * 256]);
    EXPECT_EQ(DDLiveObjects(), baseline + 256);
}

// Past 255 graphics the slots keep the first 255 and their null; the whole
// table, and the blocks, reach every graphic.
TEST_F(LoadTest, ThousandGraphicsOfNonSquareBlocks) {
    MAPDESC m = MapWriterSample(40, 30, 1000);
    m.blockwidth = 8;
    m.blockheight = 32;  // the sample's 256 bytes a graphic are 8 x 32 pixels
    for (BLKSTR& b : m.blocks) b.fgoff = 0;
    m.blocks[999].fgoff3 = 998 * 256 + 7;
    ASSERT_EQ(Decode(MapSerialize(m)), 0) << mapreason;
    EXPECT_EQ(DDLiveObjects(), baseline + 1001);
    for (int g = 0; g < 255; g++) ASSERT_EQ(maplpDDSTiles[g], maptilespt[g]) << g;
    EXPECT_EQ(maplpDDSTiles[255], nullptr);
    EXPECT_NE(maptilespt[999], nullptr);
    EXPECT_EQ(maptilespt[1000], nullptr);
    const MAPBLOCK* b = MapResolveCell(999 * 32);
    EXPECT_EQ(b->bgoff, maptilespt[999]);
    EXPECT_EQ(b->fgoff3, maptilespt[998]);
    ASSERT_TRUE(maptilespt[999]->width == 8 && maptilespt[999]->height == 32 && maptilespt[999]->hasColorKey);
    ASSERT_TRUE(lpDDSPara->width == 16 && lpDDSPara->height == 64);
    for (int y = 0; y < 64; y++) {
        for (int x = 0; x < 16; x++) {
            ASSERT_EQ(Pixel(lpDDSPara, x, y), m.gfx[999 * 256 + y % 32 * 8 + x % 8]);
            if (x < 8 && y < 32) {
                ASSERT_EQ(Pixel(maptilespt[999], x, y), m.gfx[999 * 256 + y * 8 + x]);
            }
        }
    }
    MapFreeMem();
    EXPECT_TRUE(StateEmpty());
    EXPECT_EQ(DDLiveObjects(), baseline);
}

// The vector paths of the cell scan against a plain loop: every length up
// to past two AVX2 steps, with a cell of each kind of fault at each place.
TEST(MapCellScan, VectorPathsMatchThePlainRule) {
    for (size_t n = 0; n <= 40; n++) {
        for (int16_t odd : {int16_t(32), int16_t(1), int16_t(48), int16_t(-8), int16_t(-32752), int16_t(32736)}) {
            for (size_t at = 0; at < std::max<size_t>(n, 1); at++) {
                std::vector<int16_t> src(n);
                for (size_t i = 0; i < n; i++) src[i] = static_cast<int16_t>(i % 3 == 0 ? -16 * (i % 5 + 1) : 32 * i);
                if (n) src[at] = odd;
                int16_t lo = 0, hi = 0;
                uint16_t bits = 0;
                for (int16_t v : src) {
                    lo = std::min(lo, v);
                    hi = std::max(hi, v);
                    bits |= static_cast<uint16_t>((v & 15) | (v >= 0 ? v & 16 : 0));
                }
                std::vector<short> dst(n + 1, 7);
                const MapCellRange r = MapScanCells(dst.data(), src.data(), n);
                ASSERT_TRUE(r.lo == lo && r.hi == hi && r.lowbits == bits) << n << " cells, " << odd << " at " << at;
                ASSERT_TRUE(std::equal(src.begin(), src.end(), dst.begin()) && dst[n] == 7) << n;
            }
        }
    }
}

TEST_F(LoadTest, MemDecodeLayerRefusesNumbersOutsideTheEight) {
    const unsigned char chunk[] = {0, 0, 0, 2, 0, 0};  // length 2, one cell
    for (int n : {8, -1, 1000}) {
        EXPECT_EQ(MapMemDecodeLYR(chunk, n), -1) << n;
        EXPECT_EQ(maperror, MER_MAPLOADERROR);
    }
    for (short* layer : mapmappt) EXPECT_EQ(layer, nullptr);
}

TEST_F(LoadTest, AnimationDataWithoutRecordsRelocatesTheFrames) {
    MAPDESC m = MapWriterSample(40, 30);
    for (int16_t& c : m.layers[0]) c = c < 0 ? 32 : c;
    m.anims.clear();
    ASSERT_EQ(Decode(MapSerialize(m)), 0) << mapreason;
    EXPECT_EQ(MapAnim(0)->antype, -1);
    MAPBLOCK** frames = reinterpret_cast<MAPBLOCK**>(mapanimrelpt);
    EXPECT_EQ(BlockIndex(frames[3]), 3);
}

TEST_F(LoadTest, FailedSurfaceLeavesEmptyStateAndReason0) {
    std::vector<uint8_t> img = MapSerialize(MapWriterSample(40, 30, 5));
    // Surface 1 is the parallax surface, 2..6 the tiles.
    for (int nth = 1; nth <= 6; nth++) {
        DDInjectFault(DDFAULT_CREATESURFACE, nth);
        EXPECT_EQ(nth % 2 ? Decode(img) : LoadFile(img), -1) << nth;
        EXPECT_EQ(maperror, 0);
        EXPECT_TRUE(StateEmpty());
        for (LPDIRECTDRAWSURFACE s : maplpDDSTiles) EXPECT_EQ(s, nullptr);
        EXPECT_EQ(DDLiveObjects(), baseline);
    }
    DDClearFaults();
    EXPECT_EQ(Decode(img), 0);
}

TEST_F(LoadTest, DecodeMatchesLoadAndKeepsNothingOfTheImage) {
    MAPDESC m = MapWriterSample(60, 40, 6);
    m.layers[2].assign(60 * 40, 64);
    std::vector<uint8_t> img = MapSerialize(m);

    ASSERT_EQ(LoadFile(img), 0) << mapreason;
    std::vector<short> body(mappt, mappt + 60 * 40), lyr2(mapmappt[2], mapmappt[2] + 60 * 40);
    std::vector<uint8_t> cmap(mapcmappt, mapcmappt + 768);
    std::vector<char> blocks(mapblockstrpt, mapblockstrpt + 6 * 32);
    std::vector<char> anims(mapanimstrpt, mapanimstrendpt);
    std::vector<uint8_t> tiles;
    for (int g = 0; g < 6; g++) {
        for (int y = 0; y < 16; y++) tiles.push_back(Pixel(maplpDDSTiles[g], 5, y));
    }

    std::vector<uint8_t> copy = img;
    ASSERT_EQ(MapDecode(copy.data(), copy.size()), 0) << mapreason;
    std::fill(copy.begin(), copy.end(), 0xEE);  // the caller releases its image
    EXPECT_EQ(std::vector<short>(mappt, mappt + 60 * 40), body);
    EXPECT_EQ(std::vector<short>(mapmappt[2], mapmappt[2] + 60 * 40), lyr2);
    EXPECT_EQ(std::vector<uint8_t>(mapcmappt, mapcmappt + 768), cmap);
    EXPECT_EQ(std::vector<char>(mapblockstrpt, mapblockstrpt + 6 * 32), blocks);
    EXPECT_EQ(std::vector<char>(mapanimstrpt, mapanimstrendpt), anims);
    for (int g = 0, i = 0; g < 6; g++) {
        for (int y = 0; y < 16; y++) EXPECT_EQ(Pixel(maplpDDSTiles[g], 5, y), tiles[i++]);
    }
    auto inside = [&](const void* p) {
        auto* b = static_cast<const uint8_t*>(p);
        return b >= copy.data() && b < copy.data() + copy.size();
    };
    EXPECT_FALSE(inside(mappt) || inside(mapcmappt) || inside(mapblockstrpt) || inside(mapanimstrpt) ||
                 inside(mapblockgfxpt) || inside(mapmappt[2]));
}

TEST_F(LoadTest, SameFileTwiceGivesSameState) {
    std::vector<uint8_t> img = MapSerialize(MapWriterSample(40, 30));
    ASSERT_EQ(LoadFile(img), 0);
    int live = DDLiveObjects();
    std::vector<short> body(mappt, mappt + 40 * 30);
    ASSERT_EQ(MapLoad(path.c_str()), 0);
    EXPECT_EQ(DDLiveObjects(), live);  // the first map's surfaces are gone
    EXPECT_EQ(std::vector<short>(mappt, mappt + 40 * 30), body);
    EXPECT_EQ(FrameIndex(MapAnim(2)->ancuroff), 1);
}
