// The demo's embedded logo and icon: found by name, with the exact layout the
// shell's bitmap and icon loaders read.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <set>

#include "kvres.h"

namespace {

uint32_t Get16(const unsigned char* p) { return p[0] | p[1] << 8; }
uint32_t Get32(const unsigned char* p) { return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24; }

TEST(Resources, LookUpByName) {
    size_t n = 0, m = 0;
    EXPECT_NE(KvResource("KVLOGO", &n), nullptr);
    EXPECT_NE(KvResource("KVICON", &m), nullptr);
    EXPECT_NE(n, m);
    size_t k = 123;
    EXPECT_EQ(KvResource("kvlogo", &k), KvResource("KVLOGO", nullptr));
    EXPECT_EQ(k, n);
    k = 123;
    EXPECT_EQ(KvResource("KVLOG", &k), nullptr);
    EXPECT_EQ(KvResource("KVLOGO2", &k), nullptr);
    EXPECT_EQ(KvResource("", &k), nullptr);
    EXPECT_EQ(KvResource(nullptr, &k), nullptr);
    EXPECT_EQ(k, 123u);
}

TEST(Resources, LogoIsA320x240BitmapWith225Colours) {
    size_t n = 0;
    const unsigned char* p = KvResource("KVLOGO", &n);
    ASSERT_NE(p, nullptr);
    ASSERT_EQ(n, 77740u);
    EXPECT_EQ(Get32(p), 40u);               // info header size
    EXPECT_EQ(int32_t(Get32(p + 4)), 320);  // width
    EXPECT_EQ(int32_t(Get32(p + 8)), 240);  // positive height: bottom-up rows
    EXPECT_EQ(Get16(p + 12), 1u);           // planes
    EXPECT_EQ(Get16(p + 14), 8u);           // bits per pixel
    EXPECT_EQ(Get32(p + 16), 0u);           // uncompressed
    EXPECT_TRUE(Get32(p + 20) == 0 || Get32(p + 20) == 76800u);
    EXPECT_EQ(Get32(p + 24), 2834u);
    EXPECT_EQ(Get32(p + 28), 2834u);
    EXPECT_EQ(Get32(p + 32), 225u);  // colours used
    EXPECT_EQ(Get32(p + 36), 225u);  // colours important

    // Every pixel names an entry of the table, the table's entries differ,
    // and the picture uses a good share of them (it is not blank).
    std::set<uint32_t> table;
    for (int i = 0; i < 225; i++) {
        const unsigned char* q = p + 40 + 4 * i;
        EXPECT_EQ(q[3], 0) << "entry " << i;
        table.insert(Get32(q));
    }
    EXPECT_EQ(table.size(), 225u);
    std::set<int> used;
    const unsigned char* bits = p + 40 + 900;
    for (int i = 0; i < 76800; i++) {
        ASSERT_LT(bits[i], 225) << "pixel " << i;
        used.insert(bits[i]);
    }
    EXPECT_GT(used.size(), 150u);

    // Rows run bottom-up: the first stored row is the sea floor, brighter
    // than the night sky of the last one.
    auto brightness = [&](int row) {
        long sum = 0;
        for (int x = 0; x < 320; x++) {
            const unsigned char* q = p + 40 + 4 * bits[row * 320 + x];
            sum += q[0] + q[1] + q[2];
        }
        return sum / 320;
    };
    EXPECT_GT(brightness(0), brightness(239) + 60);
}

TEST(Resources, IconIsOne32x32ImageIn16Colours) {
    size_t n = 0;
    const unsigned char* p = KvResource("KVICON", &n);
    ASSERT_NE(p, nullptr);
    // Directory, one entry, info header, 16 colours, 4-bit colours, 1-bit mask.
    const size_t image = 40 + 64 + 32 * 16 + 32 * 4;
    ASSERT_EQ(n, 6 + 16 + image);
    EXPECT_EQ(Get16(p), 0u);
    EXPECT_EQ(Get16(p + 2), 1u);  // icon
    EXPECT_EQ(Get16(p + 4), 1u);  // one image
    const unsigned char* e = p + 6;
    EXPECT_EQ(e[0], 32);
    EXPECT_EQ(e[1], 32);
    EXPECT_EQ(e[2], 16);
    EXPECT_EQ(Get16(e + 4), 1u);
    EXPECT_EQ(Get16(e + 6), 4u);
    EXPECT_EQ(Get32(e + 8), image);
    ASSERT_EQ(Get32(e + 12), 22u);
    const unsigned char* h = p + 22;
    EXPECT_EQ(Get32(h), 40u);
    EXPECT_EQ(int32_t(Get32(h + 4)), 32);
    EXPECT_EQ(int32_t(Get32(h + 8)), 64);  // colour rows and mask rows
    EXPECT_EQ(Get16(h + 12), 1u);
    EXPECT_EQ(Get16(h + 14), 4u);
    EXPECT_EQ(Get32(h + 16), 0u);

    // The round picture: corners transparent, the middle opaque, and the
    // transparent pixels black in the colour mask.
    const unsigned char* xorBits = h + 40 + 64;
    const unsigned char* andBits = xorBits + 512;
    auto transparent = [&](int x, int y) { return (andBits[(31 - y) * 4 + x / 8] >> (7 - x % 8)) & 1; };
    auto colour = [&](int x, int y) {
        uint8_t b = xorBits[(31 - y) * 16 + x / 2];
        return x % 2 ? b & 15 : b >> 4;
    };
    EXPECT_TRUE(transparent(0, 0) && transparent(31, 0) && transparent(0, 31) && transparent(31, 31));
    EXPECT_FALSE(transparent(16, 16));
    std::set<int> colours;
    for (int y = 0; y < 32; y++) {
        for (int x = 0; x < 32; x++) {
            if (transparent(x, y)) {
                EXPECT_EQ(colour(x, y), 0);
            } else {
                colours.insert(colour(x, y));
            }
        }
    }
    EXPECT_EQ(Get32(h + 40), 0u);  // entry 0 black
    EXPECT_GT(colours.size(), 8u);
}

}  // namespace
