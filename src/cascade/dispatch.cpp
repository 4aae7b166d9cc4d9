// The parallel sector dispatch: one operator run under up to four symmetries
// (negation, reversal, both), each sector on its own thread, on a private copy
// of the input. Sector s writes D_s(op(D_s(in))). Without threads the sectors
// run one after another on the calling thread and the first failure ends the
// call; with threads every sector runs and the lowest failing one is
// reported, so both paths give the same status.
#include "kelvra.h"

#include "cascade/orientation.hpp"
#include "frame/status.hpp"

#include <cstring>

using namespace kelvra;

namespace {

constexpr std::uint32_t max_sectors = 4;

struct Symmetry {
    std::int8_t chirality;
    std::int8_t orientation;
};

constexpr Symmetry sector_table[max_sectors] = {{+1, +1}, {+1, -1}, {-1, +1}, {-1, -1}};

struct SectorTask {
    kelvra_cascade_op_f64 op;
    void *ctx;
    const double *in;
    std::uint64_t n;
    std::uint32_t sector;
    double *out;
    double *scratch;
    kelvra_status status;
};

// Applies a sector's symmetry in place; it is its own inverse.
void apply_symmetry(Symmetry symmetry, double *v, std::uint64_t n) noexcept {
    if (symmetry.orientation < 0)
        for (std::uint64_t i = 0; i < n; ++i) v[i] = cascade::reorient(-1, v[i]);
    if (symmetry.chirality < 0) cascade::chiral_flip<double>(v, n, v);
}

kelvra_status run_sector(const SectorTask &task) noexcept {
    const Symmetry symmetry = sector_table[task.sector];
    if (task.n > 0) std::memcpy(task.scratch, task.in, task.n * sizeof(double));
    apply_symmetry(symmetry, task.scratch, task.n);
    if (const kelvra_status status = task.op(task.scratch, task.n, task.out, task.ctx)) return status;
    apply_symmetry(symmetry, task.out, task.n);
    return KELVRA_OK;
}

void sector_worker(void *arg) noexcept {
    auto *task = static_cast<SectorTask *>(arg);
    task->status = run_sector(*task);
}

// sectors × n > cap, exact even when the product does not fit 64 bits.
bool beyond_capacity(std::uint32_t sectors, std::uint64_t n, std::uint64_t cap) noexcept { return n > cap / sectors; }

} // namespace

extern "C" KELVRA_API kelvra_status kelvra_cascade_parallel_sector_dispatch(kelvra_cascade_op_f64 op, void *ctx,
                                                                            const double *in, uint64_t n,
                                                                            uint32_t sectors, double *out,
                                                                            double *scratch, uint64_t cap) noexcept {
    if (op == nullptr || out == nullptr || scratch == nullptr || missing_data(in, n)) return KELVRA_ERR_ARG;
    if (sectors == 0 || sectors > max_sectors) return KELVRA_ERR_DATA;
    if (beyond_capacity(sectors, n, cap)) return KELVRA_ERR_CAPACITY;

    SectorTask tasks[max_sectors];
    for (std::uint32_t s = 0; s < sectors; ++s)
        tasks[s] = SectorTask{op, ctx, in, n, s, out + s * n, scratch + s * n, KELVRA_ERR_RESOURCE};

    if (kelvra_plat_has_threads() == 0) {
        for (std::uint32_t s = 0; s < sectors; ++s)
            if (const kelvra_status status = run_sector(tasks[s])) return status;
        return KELVRA_OK;
    }

    kelvra_plat_thread threads[max_sectors];
    bool started[max_sectors] = {};
    for (std::uint32_t s = 0; s < sectors; ++s) {
        started[s] = kelvra_plat_thread_spawn(sector_worker, &tasks[s], &threads[s]) == KELVRA_OK;
        if (!started[s]) tasks[s].status = run_sector(tasks[s]);
    }
    for (std::uint32_t s = 0; s < sectors; ++s)
        if (started[s]) kelvra_plat_thread_join(&threads[s]);
    for (std::uint32_t s = 0; s < sectors; ++s)
        if (tasks[s].status != KELVRA_OK) return tasks[s].status;
    return KELVRA_OK;
}
