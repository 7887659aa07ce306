// Block animation tests: start positions, step rules, type changes and the countdown.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "mapwriter.h"
#include "vexildx.h"

namespace {

// A map whose frame list is A, B, C (blocks 1, 2, 3) and whose layer shows
// every animation at least once.
MAPDESC AnimMap(const std::vector<MAPANIMDESC>& anims) {
    MAPDESC m = MapWriterSample(4, 4, 4);
    m.frames = {32, 64, 96};
    m.anims = anims;
    for (size_t i = 0; i < m.layers[0].size(); i++) {
        const int k = static_cast<int>(i % (anims.size() + 1));
        m.layers[0][i] = static_cast<int16_t>(k == 0 ? 0 : -16 * k);
    }
    return m;
}

MAPANIMDESC Anim(int type, int delay, int start, int end, int cur = -1) {
    MAPANIMDESC a;
    a.antype = static_cast<signed char>(type);
    a.andelay = static_cast<signed char>(delay);
    a.ancount = 0;
    a.start = start;
    a.end = end;
    a.cur = cur < 0 ? start : cur;
    return a;
}

// The letter animation k shows now: 'A' for block 1, 'B' for 2, 'C' for 3.
char Shown(int k) {
    const MAPBLOCK* b = MapResolveCell(static_cast<short>(-16 * (k + 1)));
    return static_cast<char>('A' + (b - reinterpret_cast<MAPBLOCK*>(mapblkrelpt)) - 1);
}

// The frame entry animation k is on, as an index into the frame list.
ptrdiff_t Cur(int k) { return MapAnim(k)->ancuroff - reinterpret_cast<MAPBLOCK**>(mapanimrelpt); }

class AnimTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!lpDD) {
            ASSERT_EQ(DirectDrawCreate(nullptr, &lpDD, nullptr), DD_OK);
        }
    }
    void TearDown() override { MapFreeMem(); }

    void Load(const std::vector<MAPANIMDESC>& anims) {
        std::vector<uint8_t> img = MapSerialize(AnimMap(anims));
        ASSERT_EQ(MapDecode(img.data(), img.size()), 0) << mapreason;
        count = static_cast<int>(anims.size());
    }

    // Per animation: the letter after MapInitAnims, then one per update.
    std::vector<std::string> Play(int updates) {
        std::vector<std::string> seen(count);
        MapInitAnims();
        for (int n = 0; n <= updates; n++) {
            if (n > 0) MapUpdateAnims();
            for (int k = 0; k < count; k++) seen[k] += Shown(k);
        }
        return seen;
    }

    int count = 0;
};

TEST_F(AnimTest, EveryTypeOverThreeEntries) {
    std::vector<MAPANIMDESC> anims;
    for (int t = 1; t <= 8; t++) anims.push_back(Anim(t, 0, 0, 3, 1));
    Load(anims);
    const std::vector<std::string> seen = Play(9);
    EXPECT_EQ(seen[0], "ABCABCABCA");  // loop forward
    EXPECT_EQ(seen[1], "CBACBACBAC");  // loop backward
    EXPECT_EQ(seen[2], "ABCAAAAAAA");  // once
    EXPECT_EQ(seen[3], "ABCCCCCCCC");  // once and hold
    EXPECT_EQ(seen[4], "ABCBABCBAB");  // ping-pong from the first entry
    EXPECT_EQ(seen[5], "CBABCBABCB");  // ping-pong from the last entry
    EXPECT_EQ(seen[6], "CBABCBABCB");  // 7 starts as 6
    EXPECT_EQ(seen[7], "ABCBABCBAB");  // 8 starts as 5
}

TEST_F(AnimTest, TypeChangesAtTheTurns) {
    Load({Anim(ANTYPE_ONCE, 0, 0, 3), Anim(ANTYPE_PINGPONG_FWD_OUT, 0, 0, 3), Anim(ANTYPE_PINGPONG_BACK_OUT, 0, 0, 3)});
    MapInitAnims();
    std::string once, fwd, back;
    for (int n = 0; n < 6; n++) {
        MapUpdateAnims();
        once += static_cast<char>('0' + MapAnim(0)->antype);
        fwd += static_cast<char>('0' + MapAnim(1)->antype);
        back += static_cast<char>('0' + MapAnim(2)->antype);
    }
    EXPECT_EQ(once, "339999");
    EXPECT_EQ(fwd, "558855");
    EXPECT_EQ(back, "667766");
}

TEST_F(AnimTest, InitRewritesReturningAndFinishedTypes) {
    Load({Anim(ANTYPE_PINGPONG_FWD_RET, 2, 0, 3, 1), Anim(ANTYPE_PINGPONG_BACK_RET, 2, 0, 3, 1),
          Anim(ANTYPE_ONCE_DONE, 2, 0, 3, 2), Anim(ANTYPE_LOOP_BACK, 2, 0, 3, 0)});
    MapInitAnims();
    EXPECT_EQ(MapAnim(0)->antype, ANTYPE_PINGPONG_FWD_OUT);
    EXPECT_EQ(Cur(0), 0);
    EXPECT_EQ(MapAnim(1)->antype, ANTYPE_PINGPONG_BACK_OUT);
    EXPECT_EQ(Cur(1), 2);
    EXPECT_EQ(MapAnim(2)->antype, ANTYPE_ONCE);
    EXPECT_EQ(Cur(2), 0);
    EXPECT_EQ(MapAnim(3)->antype, ANTYPE_LOOP_BACK);
    EXPECT_EQ(Cur(3), 2);
    for (int k = 0; k < 4; k++) EXPECT_EQ(MapAnim(k)->ancount, 2) << k;
}

TEST_F(AnimTest, FinishedOnceRestartsAtInit) {
    Load({Anim(ANTYPE_ONCE, 0, 0, 3)});
    EXPECT_EQ(Play(5)[0], "ABCAAA");
    EXPECT_EQ(MapAnim(0)->antype, ANTYPE_ONCE_DONE);
    EXPECT_EQ(Play(5)[0], "ABCAAA");
}

TEST_F(AnimTest, TwoEntriesPingPong) {
    Load({Anim(ANTYPE_PINGPONG_FWD_OUT, 0, 0, 2), Anim(ANTYPE_PINGPONG_BACK_OUT, 0, 1, 3),
          Anim(ANTYPE_LOOP_BACK, 0, 1, 3)});
    const std::vector<std::string> seen = Play(6);
    EXPECT_EQ(seen[0], "ABABABA");
    EXPECT_EQ(seen[1], "CBCBCBC");
    EXPECT_EQ(seen[2], "CBCBCBC");
}

TEST_F(AnimTest, SingleEntryStaysForEveryType) {
    std::vector<MAPANIMDESC> anims;
    for (int t = 0; t <= 9; t++) anims.push_back(Anim(t, 0, 1, 2));
    Load(anims);
    const std::vector<std::string> seen = Play(7);
    for (int t = 0; t <= 9; t++) EXPECT_EQ(seen[t], "BBBBBBBB") << "type " << t;

    // The ping-pongs still turn, and so change type, on every step.
    MapInitAnims();
    std::string fwd, back;
    for (int n = 0; n < 4; n++) {
        MapUpdateAnims();
        fwd += static_cast<char>('0' + MapAnim(5)->antype);
        back += static_cast<char>('0' + MapAnim(6)->antype);
    }
    EXPECT_EQ(fwd, "8585");
    EXPECT_EQ(back, "7676");
}

TEST_F(AnimTest, NoEntriesNeverMoveButCountDown) {
    Load({Anim(ANTYPE_LOOP_FWD, 2, 1, 1), Anim(ANTYPE_PINGPONG_BACK_OUT, 0, 2, 2), Anim(ANTYPE_NONE, 2, 1, 1),
          Anim(ANTYPE_ONCE_HOLD, 0, 0, 3)});
    MapInitAnims();
    std::string counts0, counts2;
    for (int n = 0; n < 6; n++) {
        MapUpdateAnims();
        EXPECT_EQ(Cur(0), 1);
        EXPECT_EQ(Cur(1), 2);
        EXPECT_EQ(Cur(2), 1);
        EXPECT_EQ(MapAnim(1)->antype, ANTYPE_PINGPONG_BACK_OUT);
        counts0 += static_cast<char>('0' + MapAnim(0)->ancount);
        counts2 += static_cast<char>('0' + MapAnim(2)->ancount);
    }
    EXPECT_EQ(counts0, "102102");
    EXPECT_EQ(counts2, "222222");
}

TEST_F(AnimTest, DelaysAndTheWrappingCountdown) {
    Load({Anim(ANTYPE_LOOP_FWD, 3, 0, 3), Anim(ANTYPE_LOOP_FWD, -1, 0, 3), Anim(ANTYPE_LOOP_FWD, -100, 0, 3),
          Anim(ANTYPE_LOOP_FWD, -127, 0, 3), Anim(ANTYPE_LOOP_FWD, -128, 0, 3), Anim(ANTYPE_LOOP_FWD, 127, 0, 3)});
    const std::vector<std::string> seen = Play(300);
    EXPECT_EQ(seen[0].substr(0, 14), "AAAABBBBCCCCAA");  // steps on calls 4, 8, 12
    for (int k = 1; k <= 3; k++) EXPECT_EQ(seen[k].substr(0, 7), "ABCABCA") << k;

    // Delay byte 128 waits 128 calls and steps on the 129th; delay 127 steps
    // on call 128.
    auto steps = [](const std::string& s) {
        std::vector<int> at;
        for (size_t n = 1; n < s.size(); n++) {
            if (s[n] != s[n - 1]) at.push_back(static_cast<int>(n));
        }
        return at;
    };
    EXPECT_EQ(steps(seen[4]), (std::vector<int>{129, 258}));
    EXPECT_EQ(steps(seen[5]), (std::vector<int>{128, 256}));
}

TEST_F(AnimTest, InitReloadsTheCountdown) {
    MAPANIMDESC a = Anim(ANTYPE_LOOP_FWD, 2, 0, 3);
    a.ancount = 0;
    Load({a});
    MapInitAnims();
    EXPECT_EQ(MapAnim(0)->ancount, 2);
    MapUpdateAnims();
    MapUpdateAnims();
    EXPECT_EQ(Shown(0), 'A');
    MapUpdateAnims();
    EXPECT_EQ(Shown(0), 'B');
}

TEST_F(AnimTest, TypeNoneIsFrozen) {
    MAPANIMDESC a = Anim(ANTYPE_NONE, 5, 0, 3, 2);
    a.ancount = 1;
    Load({a});
    MapInitAnims();
    EXPECT_EQ(Cur(0), 0);
    EXPECT_EQ(MapAnim(0)->ancount, 5);
    for (int n = 0; n < 40; n++) MapUpdateAnims();
    EXPECT_EQ(Cur(0), 0);
    EXPECT_EQ(MapAnim(0)->ancount, 5);
}

TEST_F(AnimTest, UnknownTypeStartsFirstAndOnlyCounts) {
    Load({Anim(12, 1, 0, 3, 2), Anim(-5, 0, 0, 3, 1)});
    MapInitAnims();
    EXPECT_EQ(Cur(0), 0);
    EXPECT_EQ(Cur(1), 0);
    std::string counts;
    for (int n = 0; n < 4; n++) {
        MapUpdateAnims();
        counts += static_cast<char>('0' + MapAnim(0)->ancount);
        EXPECT_EQ(Cur(0), 0);
        EXPECT_EQ(Cur(1), 0);
    }
    EXPECT_EQ(counts, "0101");
    EXPECT_EQ(MapAnim(0)->antype, 12);
}

TEST_F(AnimTest, CurrentEntryMovedOutsideIsBroughtBack) {
    Load({Anim(ANTYPE_LOOP_FWD, 0, 0, 3)});
    MapInitAnims();
    MapAnim(0)->ancuroff = MapAnim(0)->anendoff;
    MapUpdateAnims();
    EXPECT_EQ(Shown(0), 'B');
}

TEST_F(AnimTest, NothingToWalk) {
    MapFreeMem();
    MapInitAnims();
    MapUpdateAnims();

    MAPDESC m = MapWriterSample(4, 4, 4);
    m.frames.clear();
    m.anims.clear();
    for (int16_t& c : m.layers[0]) c = static_cast<int16_t>(c < 0 ? 0 : c);
    std::vector<uint8_t> img = MapSerialize(m);
    ASSERT_EQ(MapDecode(img.data(), img.size()), 0) << mapreason;
    EXPECT_EQ(mapanimrelpt, nullptr);
    MapInitAnims();
    MapUpdateAnims();
}

}  // namespace
