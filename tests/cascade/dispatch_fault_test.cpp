// The parallel sector dispatch on its three paths: a thread per sector, no
// threads at all (sectors in turn), and threads that cannot be created
// (sectors run by the caller). The results and statuses must agree, except
// that the serial path stops at the first failing sector.
#include "kelvra.h"
#include "platform/fault.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <limits>
#include <vector>

namespace {

namespace fault = kelvra::os::fault;

enum class Path { threads, serial, refused };

struct Switches {
    explicit Switches(Path path) {
        fault::withhold_threads(path == Path::serial);
        fault::refuse_threads(path == Path::refused);
    }
    ~Switches() {
        fault::withhold_threads(false);
        fault::refuse_threads(false);
    }
};

struct Ctx {
    std::atomic<int> calls{0};
    double fail_on_first = std::numeric_limits<double>::quiet_NaN(); // fails when in[0] equals it
};

kelvra_status add_one(const double *in, uint64_t n, double *out, void *ctx) {
    auto *c = static_cast<Ctx *>(ctx);
    c->calls.fetch_add(1);
    if (n > 0 && in[0] == c->fail_on_first) return 9;
    for (uint64_t i = 0; i < n; ++i) out[i] = in[i] + 1 + 0.5 * static_cast<double>(i); // not symmetric
    return KELVRA_OK;
}

kelvra_status dispatch(Ctx &ctx, const double *in, uint64_t n, uint32_t sectors, std::vector<double> &out) {
    std::vector<double> scratch(out.size() + 1);
    return kelvra_cascade_parallel_sector_dispatch(add_one, &ctx, in, n, sectors, out.data(), scratch.data(),
                                                   sectors * n);
}

} // namespace

TEST(SectorDispatch, SymmetriesAndFailuresAgreeOnEveryPath) {
    const std::vector<double> in{1, 2, 3, 4, 5};
    const uint64_t n = in.size();
    // D_s(op(D_s(in))) worked out by hand for op(x)_i = x_i + 1 + i/2.
    const double expected[] = {2, 3.5, 5, 6.5, 8, 0, 0.5, 1, 1.5, 2, 4, 4.5, 5, 5.5, 6, -2, -0.5, 1, 2.5, 4};
    for (const Path path : {Path::threads, Path::serial, Path::refused}) {
        SCOPED_TRACE(static_cast<int>(path));
        Switches use(path);
        for (uint32_t sectors = 1; sectors <= 4; ++sectors) {
            Ctx ctx;
            std::vector<double> out(4 * n, -7);
            ASSERT_EQ(dispatch(ctx, in.data(), n, sectors, out), KELVRA_OK);
            EXPECT_EQ(ctx.calls.load(), static_cast<int>(sectors));
            for (uint64_t i = 0; i < 4 * n; ++i) EXPECT_EQ(out[i], i < sectors * n ? expected[i] : -7) << i;
        }
        // n = 0 with no input: the operator still runs once per sector.
        Ctx empty;
        std::vector<double> none(1);
        EXPECT_EQ(dispatch(empty, nullptr, 0, 4, none), KELVRA_OK);
        EXPECT_EQ(empty.calls.load(), 4);
        // The lowest failing sector's status; sector 2 reverses the input, so
        // only it sees the 9 first.
        Ctx failing;
        failing.fail_on_first = 9;
        const double nine[4] = {1, 2, 3, 9};
        std::vector<double> out(16, -7);
        EXPECT_EQ(dispatch(failing, nine, 4, 4, out), 9u);
        EXPECT_TRUE(out[0] != -7 && out[4] != -7);
        EXPECT_EQ(out[12] != -7, path != Path::serial) << "sector 3 runs unless sectors go one by one";
    }
}

TEST(SectorDispatch, ArgumentsAreCheckedBeforeAnySectorRuns) {
    Ctx ctx;
    double in[2] = {1, 2}, out[8], scratch[8];
    const uint64_t huge = std::numeric_limits<uint64_t>::max() / 2 + 1;
    const struct {
        kelvra_cascade_op_f64 op;
        const double *in;
        uint64_t n;
        uint32_t sectors;
        double *out, *scratch;
        uint64_t cap;
        kelvra_status status;
    } cases[] = {{nullptr, in, 2, 1, out, scratch, 8, KELVRA_ERR_ARG},
                 {add_one, nullptr, 2, 1, out, scratch, 8, KELVRA_ERR_ARG},
                 {add_one, in, 2, 0, out, scratch, 8, KELVRA_ERR_DATA},
                 {add_one, in, 2, 5, out, scratch, 8, KELVRA_ERR_DATA},
                 {add_one, in, 2, 4, out, scratch, 7, KELVRA_ERR_CAPACITY},
                 {add_one, in, huge, 2, out, scratch, 8, KELVRA_ERR_CAPACITY}};
    for (const auto &c : cases)
        EXPECT_EQ(kelvra_cascade_parallel_sector_dispatch(c.op, &ctx, c.in, c.n, c.sectors, c.out, c.scratch, c.cap),
                  c.status) << &c - cases;
    EXPECT_EQ(ctx.calls.load(), 0);
}
