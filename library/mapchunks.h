// Single-chunk decoders and the file cursor they read: each reads one chunk
// into the loaded map, the way MapLoad and MapDecode do it chunk by chunk.
// They exist so that tests can drive one decoder at a time; a game loads
// whole maps with MapLoad or MapDecode, and mapformat.h parses whole images.
// Included by vexildx.h.
#pragma once

#include <cstdio>

#include "maprecords.h"

extern FILE* mapfilept;       // the file the MapDecodeMPHD... entry points read
extern GENHEAD mapgenheader;  // the header of the chunk they read

// These read the chunk whose header is in mapgenheader from mapfilept's
// position.
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

// These read a chunk in memory: MPHD and CMAP get the chunk data, the others
// the chunk's length field. MapMemDecodeLYR refuses a layer outside 0..7.
int MapMemDecodeMPHD(const unsigned char* mapmempt);
int MapMemDecodeCMAP(const unsigned char* cmppt);
int MapMemDecodeBKDT(const unsigned char* mapmempt);
int MapMemDecodeANDT(const unsigned char* mapmempt);
int MapMemDecodeBGFX(const unsigned char* mapmempt);
int MapMemDecodeBODY(const unsigned char* mapmempt);
int MapMemDecodeLYR(const unsigned char* mapmempt, int maplayernum);
