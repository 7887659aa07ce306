// The hand-made corrupt maps of tests/corrupt through both loaders, each
// with the result listed for it in expected.txt.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <set>

#include "corrupt_maps.h"
#include "mapformat.h"
#include "mapwriter.h"
#include "test_support.h"
#include "vexildx.h"

namespace {

class CorruptTest : public MapFixture {
protected:
    void SetUp() override {
        MapFixture::SetUp();
        ASSERT_FALSE(CorruptDir().empty()) << "VEXIL_SOURCE_DIR must name the source tree";
    }

    // MapDecode over a heap copy of exactly the image's size, so that the
    // sanitizer build catches any read past it.
    static int DecodeExact(const std::vector<unsigned char>& img) {
        std::unique_ptr<unsigned char[]> copy(new unsigned char[img.size()]);
        std::copy(img.begin(), img.end(), copy.get());
        return MapDecode(copy.get(), img.size());
    }

    // The result, reason code and reason of the load just made. A rejected
    // map never reaches the surfaces: the check runs before relocation.
    void Expect(const char* loader, const CorruptMap& m, int result, int wantResult, int wantError,
                const std::string& reason) {
        SCOPED_TRACE(m.file + " through " + loader);
        EXPECT_EQ(result, wantResult) << mapreason;
        EXPECT_EQ(maperror, wantError) << mapreason;
        if (wantError == MER_MAPLOADERROR) {
            EXPECT_NE(mapreason[0], '\0');
            EXPECT_NE(std::strstr(mapreason, reason.c_str()), nullptr) << "reason: " << mapreason;
            EXPECT_EQ(DDLiveObjects(), baseline) << "surfaces made for a rejected map";
        } else {
            EXPECT_STREQ(mapreason, "");
        }
        if (result == 0) {
            EXPECT_NE(mappt, nullptr);
        }
    }
};

TEST_F(CorruptTest, EveryListedMapGivesItsResultInBothLoaders) {
    const std::vector<CorruptMap> maps = CorruptMaps();
    ASSERT_GE(maps.size(), 40u);
    for (const CorruptMap& m : maps) {
        ASSERT_FALSE(m.file.empty()) << "malformed line in expected.txt";
        const std::string path = CorruptDir() + m.file;
        const std::vector<unsigned char> img = ReadFile(path);
        ASSERT_FALSE(img.empty()) << path;

        Expect("MapLoad", m, MapLoad(path.c_str()), m.loadResult, m.loadError, m.loadReason);
        MapFreeMem();
        EXPECT_EQ(DDLiveObjects(), baseline) << m.file;
        Expect("MapDecode", m, DecodeExact(img), m.decodeResult, m.decodeError, m.decodeReason);
        // The format layer alone gives the decoder's verdict in its words.
        MAPREASON why;
        EXPECT_EQ(MapParse(img.data(), img.size(), nullptr, &why), m.decodeResult) << m.file;
        EXPECT_EQ(why.code, maperror) << m.file;
        EXPECT_STREQ(why.text, mapreason) << m.file;
        MapFreeMem();
        EXPECT_EQ(DDLiveObjects(), baseline) << m.file;
    }
}

// A map file added to the folder without an expected result would never run.
TEST_F(CorruptTest, EveryFileIsListedAndEveryListedFileExists) {
    std::set<std::string> listed;
    for (const CorruptMap& m : CorruptMaps()) {
        EXPECT_TRUE(listed.insert(m.file).second) << m.file << " listed twice";
        EXPECT_TRUE(std::filesystem::is_regular_file(CorruptDir() + m.file)) << m.file << " is listed but missing";
    }
    for (const auto& e : std::filesystem::directory_iterator(CorruptDir())) {
        const std::string name = e.path().filename().string();
        if (name != "expected.txt") {
            EXPECT_EQ(listed.count(name), 1u) << name << " has no expected result";
        }
    }
}

// Every prefix of a valid map, with its FORM size made to fit, cuts a chunk
// or its header short or drops a chunk the map needs: each is rejected, and
// nothing past the prefix is read.
TEST_F(CorruptTest, EveryPrefixOfAValidMapIsRejected) {
    const std::vector<unsigned char> whole = ReadFile(CorruptDir() + "ok_plain.fmp");
    ASSERT_GT(whole.size(), 1000u);
    const std::string path = ::testing::TempDir() + "vexil_corrupt_prefix_" + std::to_string(getpid()) + ".fmp";
    for (size_t n = 12; n < whole.size(); n++) {
        std::vector<unsigned char> img(whole.begin(), whole.begin() + n);
        const uint32_t form = static_cast<uint32_t>(n - 8);
        for (int i = 0; i < 4; i++) img[4 + i] = static_cast<unsigned char>(form >> (24 - 8 * i));

        ASSERT_EQ(DecodeExact(img), -1) << "prefix of " << n << " bytes";
        ASSERT_EQ(maperror, MER_MAPLOADERROR) << "prefix of " << n << " bytes";
        if (n % 61 == 0) {  // the file loader on a sample of them
            ASSERT_TRUE(MapWriterSave(path, std::vector<uint8_t>(img.begin(), img.end())));
            ASSERT_EQ(MapLoad(path.c_str()), -1) << "prefix of " << n << " bytes";
            ASSERT_EQ(maperror, MER_MAPLOADERROR) << "prefix of " << n << " bytes";
        }
    }
    std::remove(path.c_str());
    ASSERT_EQ(DecodeExact(whole), 0) << mapreason;
}

}  // namespace
