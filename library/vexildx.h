// vexildx: loads chunked 8-bit tile maps, builds their tile surfaces, steps
// block animations and draws the map at any pixel scroll position.
//
// One map at a time lives in the global state below. Results: 0 success,
// -1 failure with a reason code in `maperror` (and a short text in
// `mapreason`). The host program defines the display object `lpDD`.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "ddraw.h"

// --- Records as stored in a map ---------------------------------------------

#pragma pack(push, 1)

// Block structure: 32 bytes, little-endian.
struct BLKSTR {
    int32_t bgoff;   // background graphic: byte offset into the block graphics
    int32_t fgoff;   // foreground graphics 1 to 3: byte offsets, 0 = none
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

// --- Relocated form ----------------------------------------------------------
// A stored 32-bit offset cannot hold a pointer on a 64-bit machine, so the
// relocated records live beside the stored ones, each twice the size of its
// stored record, in the same order. A stored byte offset `o` therefore maps to
// the relocated address base + 2 * o, and drawing resolves a cell with a sign
// test and an address computation.

// Relocated block structure: 64 bytes.
struct MAPBLOCK {
    LPDIRECTDRAWSURFACE bgoff;   // always set
    LPDIRECTDRAWSURFACE fgoff;   // null when the block has no such graphic
    LPDIRECTDRAWSURFACE fgoff2;
    LPDIRECTDRAWSURFACE fgoff3;
    const BLKSTR* blkstr;        // the stored record: user fields and flags
    uint8_t trigger;             // 1 when the trigger flag is set
    uint8_t pad[23];
};

// Relocated animation record: 32 bytes. The frame entries it designates are
// MAPBLOCK pointers in the relocated frame list.
struct MAPANIM {
    signed char antype;
    signed char andelay;
    signed char ancount;
    signed char anuser;
    MAPBLOCK** ancuroff;    // current frame entry
    MAPBLOCK** anstartoff;  // first frame entry
    MAPBLOCK** anendoff;    // one past the last frame entry
};

static_assert(sizeof(MAPBLOCK) == 64 && sizeof(MAPANIM) == 32);

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

// Reason codes in maperror.
enum {
    MER_NONE = 0,
    MER_OUTOFMEM = 1,
    MER_MAPLOADERROR = 2,
    MER_NOOPEN = 3,
};

// --- Global map state ---------------------------------------------------------

extern LPDIRECTDRAW lpDD;  // the display object; defined by the host program

extern int maperror;         // reason code of the last load (MER_*)
extern char mapreason[128];  // which check rejected the last map; "" when none
extern short mapwidth, mapheight;             // size in cells
extern short mapblockwidth, mapblockheight;   // block size in pixels
extern short mapdepth;                        // bits per pixel
extern short mapblockstrsize;                 // block structure size as stated
extern short mapnumblockstr, mapnumblockgfx;  // counts
extern FILE* mapfilept;       // the map file while MapLoad runs
extern GENHEAD mapgenheader;  // the chunk header MapLoad is reading
extern short* mappt;          // the layer drawing reads (BODY after a load)
extern short* mapmappt[8];    // BODY and LYR1..LYR7; null where absent
extern unsigned char* mapcmappt;  // colour map: 256 RGB triples
extern char* mapblockgfxpt;   // block graphics, one after another
extern char* mapblockstrpt;   // block structures, stored form
extern char* mapanimstrpt;    // animation data, stored form; null if none
extern char* mapanimstrendpt; // one past the end of the animation data
extern PALETTEENTRY mappept[256];  // palette made from the colour map
extern LPDIRECTDRAWSURFACE maplpDDSTiles[256];  // one per graphic, null after the last
extern LPDIRECTDRAWSURFACE lpDDSPara;  // 32 x 32 parallax surface

extern char* mapblkrelpt;      // relocated block structures (MAPBLOCK), 2x stored
extern char* mapanimrelpt;     // relocated animation data, 2x stored; null if none
extern char* mapanimrelendpt;  // one past its end: relocated records lie below

// --- Operations ---------------------------------------------------------------------

// Loads a map file. 0 on success; -1 with maperror 1 (memory), 2 (not a valid
// map) or 3 (cannot open), or 0 when building the surfaces failed.
int MapLoad(const char* mapname);
// Loads a map from its file image in memory. With `mapmemsize`, nothing
// outside those bytes is read. The image may be released afterwards.
int MapDecode(const unsigned char* mapmempt, size_t mapmemsize = SIZE_MAX);
// Frees every buffer and releases every surface of the map.
void MapFreeMem();
uint32_t Mapbyteswapl(uint32_t i);

// Chunk decoders of MapLoad: read the chunk in mapgenheader from mapfilept.
int MapDecodeMPHD();
int MapDecodeCMAP();
int MapDecodeBKDT();
int MapDecodeANDT();
int MapDecodeBGFX();
int MapDecodeBODY();
int MapDecodeLYR1();
int MapDecodeLYR2();
int MapDecodeLYR3();
int MapDecodeLYR4();
int MapDecodeLYR5();
int MapDecodeLYR6();
int MapDecodeLYR7();
int MapDecodeNULL();

// Chunk decoders of MapDecode: MPHD and CMAP get the chunk data, the others
// the chunk's length field.
int MapMemDecodeMPHD(const unsigned char* mapmempt);
int MapMemDecodeCMAP(const unsigned char* cmppt);
int MapMemDecodeBKDT(const unsigned char* mapmempt);
int MapMemDecodeANDT(const unsigned char* mapmempt);
int MapMemDecodeBGFX(const unsigned char* mapmempt);
int MapMemDecodeBODY(const unsigned char* mapmempt);
int MapMemDecodeLYR(const unsigned char* mapmempt, int maplayernum);

// Builds the tile and parallax surfaces and the relocated form; run once at
// the end of every load. On failure the whole map is freed.
int MapRelocate();

// Palette conversion: 768 colour map bytes into 256 entries, flags 0.
void MapCMAPtoPE(const unsigned char* mycmappt, PALETTEENTRY* mypept);
void MapCorrectColours();  // no effect

// Block animation.
void MapInitAnims();
void MapUpdateAnims();

// Drawing onto a 640 x 480 target at map pixel (mapxo, mapyo).
void MapDraw8BG(LPDIRECTDRAWSURFACE lpDDSDest, int mapxo, int mapyo);
void MapDraw8BGT(LPDIRECTDRAWSURFACE lpDDSDest, int mapxo, int mapyo);
void MapDraw8FG(LPDIRECTDRAWSURFACE lpDDSDest, int mapxo, int mapyo, int mapfg);
void MapDrawPara(LPDIRECTDRAWSURFACE lpDDSDest, int mapxo, int mapyo);

// The block a cell value shows now (relocated form; the map must be loaded
// and the value valid for it).
inline MAPBLOCK* MapResolveCell(short v) {
    if (v >= 0) return reinterpret_cast<MAPBLOCK*>(mapblkrelpt + 2 * static_cast<ptrdiff_t>(v));
    return *reinterpret_cast<MAPANIM*>(mapanimrelendpt + 2 * static_cast<ptrdiff_t>(v))->ancuroff;
}
// The relocated animation record of animation k (cell value -16 * (k + 1)).
inline MAPANIM* MapAnim(int k) {
    return reinterpret_cast<MAPANIM*>(mapanimrelendpt) - (k + 1);
}
