// The records of a map file as stored, the animation types and the reason
// codes: what the map library and the format layer share. No display here.
#pragma once

#include <cstdint>

// --- Records as stored in a map ---------------------------------------------

#pragma pack(push, 1)

// Block structure: 32 bytes, little-endian.
struct BLKSTR {
    int32_t bgoff;  // background graphic: byte offset into the block graphics
    int32_t fgoff;  // foreground graphics 1 to 3: byte offsets, 0 = none
    int32_t fgoff2;
    int32_t fgoff3;
    uint32_t user1, user2;  // application data
    uint16_t user3, user4;
    uint8_t user5, user6, user7;
    uint8_t tl : 1, tr : 1, bl : 1, br : 1, trigger : 1, unused1 : 1, unused2 : 1, unused3 : 1;
};

// Animation record: 16 bytes. Offsets are relative to the end of the
// animation data (negative): they designate frame entries.
struct ANISTR {
    signed char antype;  // ANTYPE_*; -1 marks the end record
    signed char andelay;
    signed char ancount;
    signed char anuser;
    int32_t ancuroff;
    int32_t anstartoff;
    int32_t anendoff;
};

// Map header chunk: 24 bytes.
struct MPHD {
    uint8_t mapverhigh, mapverlow, lsb, reserved;
    int16_t mapwidth, mapheight, reserved1, reserved2;
    int16_t blockwidth, blockheight, blockdepth, blockstrsize;
    int16_t numblockstr, numblockgfx;
};

// Chunk header: four id characters and a big-endian length.
struct GENHEAD {
    char id1, id2, id3, id4;
    uint32_t headsize;
};

#pragma pack(pop)

static_assert(sizeof(BLKSTR) == 32 && sizeof(ANISTR) == 16);
static_assert(sizeof(MPHD) == 24 && sizeof(GENHEAD) == 8);

// Animation types.
enum {
    ANTYPE_NONE = 0,
    ANTYPE_LOOP_FWD = 1,
    ANTYPE_LOOP_BACK = 2,
    ANTYPE_ONCE = 3,
    ANTYPE_ONCE_HOLD = 4,
    ANTYPE_PINGPONG_FWD_OUT = 5,
    ANTYPE_PINGPONG_BACK_OUT = 6,
    ANTYPE_PINGPONG_BACK_RET = 7,
    ANTYPE_PINGPONG_FWD_RET = 8,
    ANTYPE_ONCE_DONE = 9,
};

// The shapes of a map's objects (Tiled's): a tile object shows an image.
enum {
    MAPSHAPE_RECTANGLE = 0,
    MAPSHAPE_ELLIPSE = 1,
    MAPSHAPE_POINT = 2,
    MAPSHAPE_POLYGON = 3,
    MAPSHAPE_POLYLINE = 4,
    MAPSHAPE_TEXT = 5,
    MAPSHAPE_TILE = 6,
    MAPSHAPE_COUNT = 7,
};

// Reason codes in maperror.
enum {
    MER_NONE = 0,
    MER_OUTOFMEM = 1,
    MER_MAPLOADERROR = 2,
    MER_NOOPEN = 3,
};

// Swaps the four bytes of i: the map file's big-endian lengths.
uint32_t Mapbyteswapl(uint32_t i);
