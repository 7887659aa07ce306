// Leak loops: many loads and frees of a full-size map, failed loads of every
// corrupt map and loads whose surfaces fail, each ending with the heap and
// the display objects where they started. The sanitizer build adds
// LeakSanitizer's verdict at exit.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "corrupt_maps.h"
#include "mapwriter.h"
#include "test_support.h"
#include "vexildx.h"
#if __has_include("demomap.h")
#include "demomap.h"
#define VEXIL_TEST_DEMOMAP 1
#endif

#if defined(__SANITIZE_ADDRESS__)
#define VEXIL_TEST_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VEXIL_TEST_ASAN 1
#endif
#endif

#ifdef VEXIL_TEST_ASAN
// From the sanitizer runtime (not every compiler ships its header).
extern "C" size_t __sanitizer_get_current_allocated_bytes();
#else
#include <malloc.h>
#endif

namespace {

// Bytes of heap in use now.
long long HeapInUse() {
#ifdef VEXIL_TEST_ASAN
    return static_cast<long long>(__sanitizer_get_current_allocated_bytes());
#else
    return static_cast<long long>(mallinfo2().uordblks);
#endif
}

// Runs f until the heap in use stops changing from one run to the next (the
// allocator keeps a few freed blocks of each size for reuse, and state made
// lazily on first use stays), at most `limit` runs. Returns the heap in use.
template <class F>
long long Settle(F&& f, int limit) {
    long long last = HeapInUse();
    for (int i = 0; i < limit; i++) {
        f();
        long long now = HeapInUse();
        if (now == last) break;
        last = now;
    }
    return last;
}

class LeakTest : public MapFixture {
protected:
    void SetUp() override {
        MapFixture::SetUp();
#ifdef VEXIL_TEST_DEMOMAP
        image = MapSerialize(MapWriterDemo());
#else
        MAPDESC m = MapWriterSample(100, 100, 8);
        m.layers[1] = m.layers[0];  // a second layer, as a game map has
        image = MapSerialize(m);
#endif
        ASSERT_TRUE(MapWriterSave(path, image));
    }
    void TearDown() override {
        MapFixture::TearDown();
        std::remove(path.c_str());
    }

    // Loads the map (by file on odd rounds), steps and draws it, frees it;
    // `live` display objects are left.
    void Round(int i, LPDIRECTDRAWSURFACE target, int live) {
        int result = i % 2 ? MapLoad(path.c_str()) : MapDecode(image.data(), image.size());
        ASSERT_EQ(result, 0) << "round " << i << ": " << mapreason;
        MapInitAnims();
        MapUpdateAnims();
        MapDraw8BGT(target, i, 2 * i);
        MapFreeMem();
        ASSERT_EQ(DDLiveObjects(), live) << "round " << i;
    }

    std::vector<uint8_t> image;
    // ctest runs the tests in parallel processes: one file each.
    std::string path = ::testing::TempDir() + "vexil_leak_test_" + std::to_string(getpid()) + ".fmp";
};

TEST_F(LeakTest, ThousandLoadsAndFreesOfTheDemoMap) {
    LPDIRECTDRAWSURFACE target = nullptr;
    ASSERT_EQ(DDCreatePlainSurface(lpDD, 640, 480, &target), DD_OK);
    const int live = DDLiveObjects();

    // Once the heap has settled, any buffer kept per load adds up to kilobytes.
    int i = 0;
    const long long before = Settle([&] { Round(i++, target, live); }, 100);
    const int settled = i;
    for (; i < 1000 && !HasFatalFailure(); i++) Round(i, target, live);
    EXPECT_LT(HeapInUse() - before, 1000) << "bytes of heap gained over " << 1000 - settled << " loads";
    target->Release();
}

TEST_F(LeakTest, FailedLoadsOfEveryCorruptMap) {
    ASSERT_FALSE(CorruptDir().empty()) << "VEXIL_SOURCE_DIR must name the source tree";
    std::vector<std::pair<std::string, std::vector<unsigned char>>> rejected;
    for (const CorruptMap& m : CorruptMaps()) {
        if (m.loadResult == -1) rejected.emplace_back(CorruptDir() + m.file, ReadFile(CorruptDir() + m.file));
    }
    ASSERT_GE(rejected.size(), 40u);

    // Each load frees what the failed one before it left behind.
    auto pass = [&] {
        for (const auto& [file, img] : rejected) {
            EXPECT_EQ(MapLoad(file.c_str()), -1) << file;
            MapDecode(img.data(), img.size());
        }
    };
    const long long before = Settle(
        [&] {
            pass();
            MapFreeMem();
        },
        20);
    for (int i = 0; i < 20; i++) pass();
    MapFreeMem();
    EXPECT_LT(HeapInUse() - before, 1000) << "bytes of heap gained over " << 20 * rejected.size() << " failed loads";
    EXPECT_EQ(DDLiveObjects(), baseline);
}

// A surface that cannot be made frees the whole map, at the parallax, the
// first, a middle or the last graphic.
TEST_F(LeakTest, LoadsWhoseSurfacesFailFreeEverything) {
    const long long before = Settle(
        [&] {
            ASSERT_EQ(MapDecode(image.data(), image.size()), 0);
            MapFreeMem();
        },
        20);
    // Surfaces are made for the parallax, then for each graphic.
    const int calls = mapnumblockgfx + 1;  // header values outlive MapFreeMem
    ASSERT_GE(calls, 3);
    for (int round = 0; round < 2; round++) {
        for (int n : {1, 2, calls / 2, calls - 1, calls}) {
            DDInjectFault(DDFAULT_CREATESURFACE, n);
            int result = round % 2 ? MapLoad(path.c_str()) : MapDecode(image.data(), image.size());
            ASSERT_EQ(result, -1) << "fault at call " << n;
            ASSERT_EQ(maperror, 0);
            ASSERT_EQ(mappt, nullptr) << "a failed relocation keeps nothing";
            ASSERT_EQ(DDLiveObjects(), baseline) << "fault at call " << n;
        }
    }
    DDClearFaults();
    EXPECT_LT(HeapInUse() - before, 1000);
}

}  // namespace
