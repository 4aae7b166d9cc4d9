// kelvra graph fiedler|eig: spectral graph tools from the shell, and the graph
// section of kelvra demo.
//
// fiedler streams a binary edge file (16-byte records: source u32, target
// u32, weight f64, little-endian) through the library and prints the vector
// that splits the graph along its weakest cut; eig diagonalises a Hermitian
// (or real symmetric) matrix given as text.
#include <algorithm>
#include <charconv>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "cli.hpp"
#include "io.hpp"
#include "progress.hpp"

namespace kelvra::cli {

namespace {

constexpr uint32_t kDefaultIterations = 1000;

// The number of iterations is only counted for edge files up to this size
// (counting repeats the run).
constexpr uint64_t kLargeFile = uint64_t{16} << 20;

struct FiedlerOptions {
    const char *path = nullptr;
    uint32_t n = 0;
    uint32_t iterations = kDefaultIterations;
    const char *out = nullptr;
};

// Options and the edge file, in any order; "--" ends the options. False
// with `problem` set (naming the argument) when the line is wrong.
bool parse_fiedler_options(Args args, FiedlerOptions &o, std::string &problem) {
    bool have_n = false, options = true;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string_view a = args[i];
        if (options && a == "--") {
            options = false;
        } else if (options && (a == "-n" || a == "--iterations" || a == "-o")) {
            if (i + 1 == args.size()) {
                problem = std::string(a) + " needs a value";
                return false;
            }
            const char *value = args[++i];
            if (a == "-o") {
                o.out = value;
                continue;
            }
            const auto number = parse_u64(value);
            if (!number || *number > UINT32_MAX) {
                problem = std::string(a) + ": '" + value + "' is not a number below 2^32";
                return false;
            }
            if (a == "-n") {
                o.n = static_cast<uint32_t>(*number);
                have_n = true;
            } else {
                o.iterations = static_cast<uint32_t>(*number);
            }
        } else if (options && a.size() > 1 && a[0] == '-') {
            problem = "unknown option '" + std::string(a) + "'";
            return false;
        } else if (o.path == nullptr) {
            o.path = args[i];
        } else {
            problem = "unexpected argument '" + std::string(a) + "' (one edge file)";
            return false;
        }
    }
    if (o.path == nullptr || !have_n) {
        problem = o.path == nullptr ? "no edge file given" : "-n N (the number of vertices) is required";
        return false;
    }
    return true;
}

uint64_t size_of(const char *path) {
    uint64_t size = 0;
    return kelvra_plat_file_size(path, &size) == KELVRA_OK ? size : 0;
}

struct FiedlerRun {
    std::vector<double> vector, workspace;
    kelvra_status run(const FiedlerOptions &o, uint32_t iterations) {
        vector.assign(o.n, 0.0);
        workspace.assign(8 * uint64_t{o.n}, 0.0);
        return kelvra_laplacian_fiedler_sparse_file(o.n, o.path, iterations, vector.data(), workspace.data(),
                                                    workspace.size());
    }
};

// The iterations the library ran: the result no longer changes after the
// last one, so the smallest count with the same result is it.
uint32_t iterations_run(const FiedlerOptions &o, const std::vector<double> &result) {
    uint32_t lo = 0, hi = o.iterations;
    FiedlerRun probe;
    while (lo < hi) {
        const uint32_t mid = lo + (hi - lo) / 2;
        if (probe.run(o, mid) == KELVRA_OK &&
            std::memcmp(probe.vector.data(), result.data(), result.size() * sizeof(double)) == 0)
            hi = mid;
        else lo = mid + 1;
    }
    return lo;
}

int write_vector(const std::vector<double> &v, const char *out) {
    errno = 0;
    std::FILE *f = out != nullptr ? std::fopen(out, "wb") : stdout;
    if (f == nullptr) return error("graph fiedler", exit_io, "cannot write %s: %s", out, std::strerror(errno));
    for (const double x : v) std::fprintf(f, "%.17g\n", x);
    return close_output("graph fiedler", out != nullptr ? out : "standard output", f) ? exit_ok : exit_io;
}

int run_fiedler(const Command &command, Args args) {
    FiedlerOptions o;
    std::string problem;
    if (!parse_fiedler_options(args, o, problem)) return usage_error(command, problem.c_str());
    if (const std::string why = path_problem(o.path); !why.empty())
        return error("graph fiedler", exit_io, "cannot read %s: %s", o.path, why.c_str());
    const uint64_t bytes = size_of(o.path);
    if (bytes % 16 != 0)
        return error("graph fiedler", exit_data, "%s: %llu bytes is not a whole number of 16-byte edge records", o.path,
                     static_cast<unsigned long long>(bytes));
    FiedlerRun r;
    kelvra_status status;
    {
        char what[160];
        std::snprintf(what, sizeof what, "graph fiedler: %.1f MiB of edges, up to %u passes", double(bytes) / 1048576.0,
                      o.iterations);
        const Progress progress(what);
        status = r.run(o, o.iterations);
    }
    if (status == KELVRA_ERR_IO) return input_failed("graph fiedler", o.path, status);
    if (status != KELVRA_OK) {
        if (status == KELVRA_ERR_ARG || status == KELVRA_ERR_DATA)
            error("graph fiedler", exit_data,
                  "%s: an edge names a vertex at or above -n %u, or has a weight that "
                  "is not a finite non-negative number",
                  o.path, o.n);
        return fail("kelvra_laplacian_fiedler_sparse_file", status);
    }
    if (int rc = write_vector(r.vector, o.out)) return rc;
    const auto non_negative = std::count_if(r.vector.begin(), r.vector.end(), [](double x) { return x >= 0; });
    std::FILE *summary = o.out != nullptr ? stdout : stderr;
    if (bytes <= kLargeFile)
        std::fprintf(summary, "fiedler: %u vertices, %llu edges, %u iterations", o.n,
                     static_cast<unsigned long long>(bytes / 16), iterations_run(o, r.vector));
    else
        std::fprintf(summary, "fiedler: %u vertices, %llu edges, up to %u iterations", o.n,
                     static_cast<unsigned long long>(bytes / 16), o.iterations);
    std::fprintf(summary, "; split %lld >= 0, %lld < 0\n", static_cast<long long>(non_negative),
                 static_cast<long long>(r.vector.size()) - static_cast<long long>(non_negative));
    return 0;
}

// A matrix as text: its order n, then n*n real entries or n*n complex ones
// (real and imaginary part each), row by row, separated by white space.
bool parse_matrix(const std::vector<uint8_t> &text, uint32_t *n, std::vector<double> &h) {
    std::vector<double> numbers;
    const char *p = reinterpret_cast<const char *>(text.data()), *end = p + text.size();
    while (p < end) {
        while (p < end && std::strchr(" \t\r\n,", *p) != nullptr) ++p;
        if (p == end) break;
        double x = 0;
        const auto [next, error] = std::from_chars(p, end, x);
        if (error != std::errc()) return false;
        numbers.push_back(x);
        p = next;
    }
    if (numbers.empty() || numbers[0] < 0 || numbers[0] > 65535 || numbers[0] != std::floor(numbers[0])) return false;
    *n = static_cast<uint32_t>(numbers[0]);
    const uint64_t cells = uint64_t{*n} * *n;
    h.assign(2 * cells, 0.0);
    if (numbers.size() == 1 + cells) {
        for (uint64_t i = 0; i < cells; ++i) h[2 * i] = numbers[1 + i];
        return true;
    }
    if (numbers.size() != 1 + 2 * cells) return false;
    std::copy(numbers.begin() + 1, numbers.end(), h.begin());
    return true;
}

int run_eig(const Command &command, Args args) {
    const char *path = nullptr;
    bool vectors = false, options = true;
    for (const char *a : args) {
        const std::string_view arg(a);
        if (options && arg == "--") options = false;
        else if (options && arg == "--vectors") vectors = true;
        else if (options && arg.size() > 1 && arg[0] == '-') {
            const std::string problem = "unknown option '" + std::string(arg) + "'";
            return usage_error(command, problem.c_str());
        } else if (path == nullptr) path = a;
        else {
            const std::string problem = "unexpected argument '" + std::string(arg) + "' (one matrix file)";
            return usage_error(command, problem.c_str());
        }
    }
    if (path == nullptr) return usage_error(command, "no matrix file given");
    std::vector<uint8_t> text;
    if (const kelvra_status s = read_input(path, text)) return input_failed("graph eig", path, s);
    uint32_t n = 0;
    std::vector<double> h;
    if (!parse_matrix(text, &n, h))
        return error("graph eig", exit_data,
                     "%s: not a matrix: the file holds n (0 to 65535), then n*n real or "
                     "n*n complex (re im) entries",
                     path);
    std::vector<double> values(n), vecs(2 * uint64_t{n} * n), workspace(2 * uint64_t{n} * n);
    const kelvra_status s =
        kelvra_hermitian_eigendecompose_ws(n, h.data(), values.data(), vecs.data(), workspace.data(), workspace.size());
    if (s != KELVRA_OK) return fail("kelvra_hermitian_eigendecompose_ws", s);
    for (uint32_t i = 0; i < n; ++i) {
        std::printf("%.17g\n", values[i]);
        if (!vectors) continue;
        for (uint32_t k = 0; k < n; ++k) {
            const double re = vecs[2 * (uint64_t{k} * n + i)], im = vecs[2 * (uint64_t{k} * n + i) + 1];
            std::printf(im == 0 ? "  %.17g\n" : "  %.17g %+.17gi\n", re, im);
        }
    }
    return 0;
}

int run_graph(Args args);

const Usage graph_actions[] = {
    {"fiedler", "EDGEFILE -n N [--iterations K] [-o FILE]",
     "split a graph of N vertices by its Fiedler vector; EDGEFILE holds 16-byte records\n"
     "(source u32, target u32, weight f64, little-endian); -o writes the vector to FILE"},
    {"eig", "MATRIX [--vectors]",
     "eigenvalues (and eigenvectors) of a Hermitian matrix: MATRIX holds n, then n*n real\n"
     "or n*n complex (re im) entries, row by row ('-': standard input)"},
};
void help_graph(const Command &self, Args before) { print_usage_table(self, graph_actions, before); }

} // namespace

const Command graph_command = {"graph", "fiedler EDGEFILE -n N | eig MATRIX",
                               "Fiedler split of a graph; eigenpairs of a Hermitian matrix", run_graph, help_graph};

namespace {

int run_graph(Args args) {
    static const Command fiedler = {"graph fiedler", graph_actions[0].usage, "", nullptr};
    static const Command eig = {"graph eig", graph_actions[1].usage, "", nullptr};
    if (args.empty()) return usage_error(graph_command, "no action given (fiedler or eig)");
    const std::string_view sub = args[0];
    if (sub == "fiedler") return run_fiedler(fiedler, args.subspan(1));
    if (sub == "eig") return run_eig(eig, args.subspan(1));
    const std::string problem = "unknown action '" + std::string(sub) + "' (fiedler or eig)";
    return usage_error(graph_command, problem.c_str());
}

} // namespace

// Two triangles joined by one weak edge: the Fiedler vector's signs find the
// two triangles, and the Laplacian's eigenvalues show the gap that makes the
// split clear.
int demo_graph(int section_number) {
    std::printf("\n%d. Spectral graph partitioning\n", section_number);
    constexpr uint32_t n = 6;
    const uint32_t src[] = {0, 1, 2, 3, 4, 5, 2};
    const uint32_t dst[] = {1, 2, 0, 4, 5, 3, 3};
    const double weights[] = {1, 1, 1, 1, 1, 1, 0.1};
    double fiedler[n], workspace[8 * n], laplacian[n * n], eigenvalues[n];
    if (const kelvra_status s =
            kelvra_laplacian_fiedler_sparse(n, 7, src, dst, weights, 1000, fiedler, workspace, 8 * n))
        return fail("kelvra_laplacian_fiedler_sparse", s);
    std::printf("   two triangles {0,1,2} and {3,4,5}, joined by the edge 2-3 of weight 0.1\n");
    std::printf("   Fiedler vector:");
    for (const double x : fiedler) std::printf(" %+.3f", x);
    std::string side[2];
    for (uint32_t i = 0; i < n; ++i) {
        std::string &s = side[fiedler[i] >= 0 ? 0 : 1];
        s += (s.empty() ? "" : ",") + std::to_string(i);
    }
    std::printf("\n   split by sign:  {%s} and {%s}\n", side[0].c_str(), side[1].c_str());
    if (const kelvra_status s = kelvra_graph_normalized_laplacian(n, 7, src, dst, weights, laplacian))
        return fail("kelvra_graph_normalized_laplacian", s);
    if (const kelvra_status s = kelvra_jacobi_eigvals(n, laplacian, 100, 1e-14, eigenvalues))
        return fail("kelvra_jacobi_eigvals", s);
    std::sort(eigenvalues, eigenvalues + n);
    std::printf("   normalised Laplacian eigenvalues:");
    for (const double x : eigenvalues) std::printf(" %.4f", std::fabs(x) < 5e-17 ? 0.0 : x);
    std::printf("\n   (the small second eigenvalue is the weak cut the vector follows)\n");
    return 0;
}

} // namespace kelvra::cli
