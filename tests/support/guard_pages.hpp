// One readable and writable page followed by a page no access reaches: a
// kernel that reads past the end of its data faults at once instead of
// reading whatever happens to lie there.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>

#ifdef _WIN32
#include "platform/win32/win.hpp"
#else
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace kelvra_test {

class GuardedPage {
public:
    GuardedPage() {
#ifdef _WIN32
        SYSTEM_INFO info;
        GetSystemInfo(&info);
        page_ = info.dwPageSize;
        void *map = VirtualAlloc(nullptr, 2 * page_, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
        EXPECT_NE(map, nullptr);
        DWORD before;
        EXPECT_TRUE(map != nullptr && VirtualProtect(static_cast<char *>(map) + page_, page_, PAGE_NOACCESS, &before));
#else
        page_ = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
        void *map = mmap(nullptr, 2 * page_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        EXPECT_NE(map, MAP_FAILED);
        if (map == MAP_FAILED) map = nullptr;
        EXPECT_TRUE(map != nullptr && mprotect(static_cast<char *>(map) + page_, page_, PROT_NONE) == 0);
#endif
        base_ = static_cast<std::uint8_t *>(map);
    }
    ~GuardedPage() {
        if (base_ == nullptr) return;
#ifdef _WIN32
        VirtualFree(base_, 0, MEM_RELEASE);
#else
        munmap(base_, 2 * page_);
#endif
    }
    GuardedPage(const GuardedPage &) = delete;
    GuardedPage &operator=(const GuardedPage &) = delete;

    bool ok() const { return base_ != nullptr; }
    // One past the last accessible byte: the first byte of the guard page.
    std::uint8_t *end() const { return base_ + page_; }

private:
    std::uint8_t *base_ = nullptr;
    std::size_t page_ = 0;
};

} // namespace kelvra_test
