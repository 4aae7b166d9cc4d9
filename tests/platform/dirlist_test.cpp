#include <gtest/gtest.h>

#include "kelvra.h"
#include "platform/temp_dir.hpp"

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using kelvra_test::TempDir;

void touch(const std::string &path) { ASSERT_EQ(kelvra_plat_file_write(path.c_str(), 0, "", 0), KELVRA_OK); }

// Lists a directory, first offering each entry a buffer of `small_cap` bytes
// and retrying a refused entry with a full-size one. Returns the names sorted;
// an exhausted listing must stay exhausted.
std::vector<std::string> list(const std::string &path, uint64_t small_cap = 256, int *refusals = nullptr) {
    std::vector<std::string> names;
    kelvra_plat_dir dir;
    EXPECT_EQ(kelvra_plat_dir_open(path.c_str(), &dir), KELVRA_OK);
    for (;;) {
        char name[256];
        uint32_t has = 7;
        kelvra_status status = kelvra_plat_dir_next(&dir, name, small_cap, &has);
        if (status == KELVRA_ERR_CAPACITY) {
            if (refusals != nullptr) ++*refusals;
            status = kelvra_plat_dir_next(&dir, name, sizeof name, &has);
        }
        EXPECT_EQ(status, KELVRA_OK);
        if (status != KELVRA_OK || has == 0) break;
        EXPECT_EQ(has, 1u);
        names.emplace_back(name);
    }
    char name[256];
    uint32_t has = 1;
    EXPECT_EQ(kelvra_plat_dir_next(&dir, name, sizeof name, &has), KELVRA_OK);
    EXPECT_EQ(has, 0u);
    kelvra_plat_dir_close(&dir);
    std::sort(names.begin(), names.end());
    return names;
}

using Names = std::vector<std::string>;

TEST(PlatformDir, ListsFilesAndSubdirectoriesByBareName) {
    TempDir dir;
    EXPECT_EQ(list(dir.path()), (Names{".", ".."}));
    touch(dir.path("b.chr"));
    touch(dir.path("a.txt"));
    ASSERT_TRUE(std::filesystem::create_directory(dir.path("sub")));
    touch(dir.path("sub/hidden"));
    EXPECT_EQ(list(dir.path()), (Names{".", "..", "a.txt", "b.chr", "sub"}));
    EXPECT_EQ(list(dir.path() + "/"), (Names{".", "..", "a.txt", "b.chr", "sub"}));
}

TEST(PlatformDir, UnsearchablePathsAndCloseAfterFailure) {
    TempDir dir;
    touch(dir.path("file"));
    for (const std::string &path : {dir.path("missing"), dir.path("file")}) {
        kelvra_plat_dir listing;
        listing.handle = 12345; // stale garbage from an earlier use of the record
        listing.pending = 1;
        EXPECT_EQ(kelvra_plat_dir_open(path.c_str(), &listing), KELVRA_ERR_IO) << path;
        EXPECT_EQ(listing.pending, 0u);
        EXPECT_EQ(listing.handle, 0u) << "a failed open leaves nothing to close";
        kelvra_plat_dir_close(&listing);
    }
}

TEST(PlatformDir, PatternLimitAt1022BytePaths) {
    TempDir dir;
    // Repeated slashes name the same directory, so the length can be chosen freely.
    const auto padded = [&](std::size_t length) {
        return dir.path() + std::string(length - dir.path().size(), '/');
    };
    const auto missing = [&](std::size_t length) {
        std::string path = dir.path() + "/";
        return path + std::string(length - path.size(), 'm');
    };
    kelvra_plat_dir listing;
    ASSERT_EQ(padded(1021).size(), 1021u);
    ASSERT_EQ(kelvra_plat_dir_open(padded(1021).c_str(), &listing), KELVRA_OK);
    kelvra_plat_dir_close(&listing);
    EXPECT_EQ(kelvra_plat_dir_open(padded(1022).c_str(), &listing), KELVRA_ERR_CAPACITY);
    EXPECT_EQ(kelvra_plat_dir_open(missing(1021).c_str(), &listing), KELVRA_ERR_IO);
    EXPECT_EQ(kelvra_plat_dir_open(missing(1022).c_str(), &listing), KELVRA_ERR_CAPACITY);
    EXPECT_EQ(kelvra_plat_dir_open(missing(5000).c_str(), &listing), KELVRA_ERR_CAPACITY);
    kelvra_plat_dir_close(&listing);
}

TEST(PlatformDir, NameTooSmallKeepsEntryForRetry) {
    TempDir dir;
    const std::string longest(255, 'n');
    Names expected{".", ".."};
    for (const std::string &name : {std::string("alpha.chr"), std::string("beta.chr"), longest}) {
        touch(dir.path(name));
        expected.push_back(name);
    }
    std::sort(expected.begin(), expected.end());

    // Cap 1 refuses every entry, the first one included; cap 3 fits "." and
    // ".." only; the 255-byte name needs exactly 256 bytes. Each refused entry
    // must come back once, neither lost nor handed out twice.
    for (const auto &[cap, refused] : {std::pair{1, 5}, {3, 3}, {255, 1}}) {
        int refusals = 0;
        EXPECT_EQ(list(dir.path(), cap, &refusals), expected) << cap;
        EXPECT_EQ(refusals, refused) << cap;
    }
}

TEST(PlatformDir, ClosingTwiceClosesNothingTwice) {
    TempDir first, second;
    touch(second.path("x"));
    kelvra_plat_dir a, b;
    ASSERT_EQ(kelvra_plat_dir_open(first.path().c_str(), &a), KELVRA_OK);
    kelvra_plat_dir_close(&a);
    EXPECT_EQ(a.handle, 0u);
    EXPECT_EQ(a.pending, 0u);
    // The second listing may reuse the first one's memory; closing the first
    // record again must not end it.
    ASSERT_EQ(kelvra_plat_dir_open(second.path().c_str(), &b), KELVRA_OK);
    kelvra_plat_dir_close(&a);
    char name[256];
    uint32_t has = 1;
    EXPECT_EQ(kelvra_plat_dir_next(&a, name, sizeof name, &has), KELVRA_OK);
    EXPECT_EQ(has, 0u) << "a closed record lists nothing";
    int entries = 0;
    while (kelvra_plat_dir_next(&b, name, sizeof name, &has) == KELVRA_OK && has == 1) ++entries;
    EXPECT_EQ(entries, 3);
    kelvra_plat_dir_close(&b);
    kelvra_plat_dir_close(&b);
}

} // namespace
