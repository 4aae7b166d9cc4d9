// kelvra octonion mul A B: the octonion product from the shell.
// kelvra kuramoto --n N --steps S --coupling K [--dt DT]: a small population
// of coupled phase oscillators, printing how far they have synchronised.
// Also the demo's section on octonions, batch binding and oscillators.
#include <charconv>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli.hpp"
#include "progress.hpp"
#include "system.hpp"
#include "tiers.hpp"

namespace kelvra::cli {

extern const Command octonion_commands[2];
int demo_loop(int section_number);

namespace {

int run_octonion(Args args);
int run_kuramoto(Args args);

} // namespace

extern const Command octonion_commands[2] = {
    {"octonion", "mul A B", "multiply two octonions, each 8 comma-separated numbers (real part first)", run_octonion},
    {"kuramoto", "--n N --steps S --coupling K [--dt DT]",
     "step N coupled oscillators and print their order parameter r (1 = in sync)", run_kuramoto},
};

namespace {

using Octonion = double[8];

std::optional<double> parse_double(std::string_view text) {
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc{} || end != text.data() + text.size()) return std::nullopt;
    return value;
}

// "a,b,c,d,e,f,g,h" into x; false unless exactly eight numbers.
bool parse_octonion(std::string_view text, Octonion &x) {
    for (int k = 0; k < 8; ++k) {
        const size_t comma = text.find(',');
        if ((k < 7) != (comma != std::string_view::npos)) return false;
        const auto value = parse_double(text.substr(0, comma));
        if (!value) return false;
        x[k] = *value;
        text = comma == std::string_view::npos ? std::string_view{} : text.substr(comma + 1);
    }
    return true;
}

// Shortest text that reads back as the same double.
std::string number_text(double v) {
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, v);
    return std::string(buffer, result.ptr);
}

std::string octonion_text(const Octonion &x) {
    std::string text;
    for (int k = 0; k < 8; ++k) {
        if (k) text += ',';
        text += number_text(x[k]);
    }
    return text;
}

kelvra_status norm(const double *x, double &out) {
    double sum = 0.0;
    for (int k = 0; k < 8; ++k) sum = sum + x[k] * x[k];
    return kelvra_rational_sqrt(sum, &out);
}

int run_octonion(Args all) {
    const Command &command = octonion_commands[0];
    const std::vector<char *> args = operands(all);
    if (args.empty() || std::strcmp(args[0], "mul") != 0)
        return usage_error(command, args.empty() ? "no action given (mul)" : "unknown action (mul)");
    if (args.size() != 3) return usage_error(command, "mul takes two octonions, A and B");
    Octonion x, y, product;
    for (int k = 1; k <= 2; ++k) {
        if (parse_octonion(args[k], k == 1 ? x : y)) continue;
        const std::string problem =
            std::string(k == 1 ? "A" : "B") + ": '" + args[k] + "' is not 8 comma-separated numbers";
        return usage_error(command, problem.c_str());
    }
    if (const kelvra_status s = kelvra_loop_bind_f64(x, y, 8, product)) return fail("kelvra_loop_bind_f64", s);
    double nx = 0, ny = 0, nxy = 0;
    if (const kelvra_status s = norm(x, nx)) return fail("kelvra_rational_sqrt", s);
    if (const kelvra_status s = norm(y, ny)) return fail("kelvra_rational_sqrt", s);
    if (const kelvra_status s = norm(product, nxy)) return fail("kelvra_rational_sqrt", s);
    std::printf("%s\n", octonion_text(product).c_str());
    std::printf("|A B| = %s, |A| |B| = %s\n", number_text(nxy).c_str(), number_text(nx * ny).c_str());
    return 0;
}

// ---- coupled oscillators --------------------------------------------------------

// Deterministic inputs on every platform: splitmix64 mapped to [0, 1).
struct Random {
    uint64_t state;
    double next() {
        uint64_t z = (state += 0x9E3779B97F4A7C15u);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
        z ^= z >> 31;
        return static_cast<double>(z >> 11) * 0x1p-53;
    }
};

constexpr double kPi = 3.141592653589793;
constexpr double kFrequencySpread = 0.5; // natural frequencies uniform in [-0.5, 0.5]

struct Oscillators {
    std::vector<double> theta, omega, next;
    double coupling, dt;

    Oscillators(uint64_t n, double k, double step) : theta(n), omega(n), next(n), coupling(k), dt(step) {
        Random random{2024};
        for (uint64_t i = 0; i < n; ++i) {
            theta[i] = (2 * random.next() - 1) * kPi;
            omega[i] = (2 * random.next() - 1) * kFrequencySpread;
        }
    }

    kelvra_status step() {
        const kelvra_status s =
            kelvra_cascade_kuramoto_step_f64(theta.data(), omega.data(), theta.size(), coupling, dt, next.data());
        theta.swap(next);
        return s;
    }

    // r = |mean of e^{iθ}|, with the library's own sine, cosine and square root.
    kelvra_status order(double &r) const {
        double c = 0.0, s = 0.0;
        for (double t : theta) {
            double sine = 0, cosine = 0;
            if (const kelvra_status status = kelvra_sin(t, &sine)) return status;
            if (const kelvra_status status = kelvra_cos(t, &cosine)) return status;
            s = s + sine;
            c = c + cosine;
        }
        const double n = static_cast<double>(theta.size());
        return kelvra_rational_sqrt((c / n) * (c / n) + (s / n) * (s / n), &r);
    }
};

void print_order(uint64_t step, double r) {
    const int width = static_cast<int>(r * 40 + 0.5);
    std::printf("%6" PRIu64 "  %.6f  %.*s\n", step, r, width, "########################################");
}

struct KuramotoOptions {
    uint64_t n = 0, steps = 0;
    double coupling = 0, dt = 0.05;
    bool have_n = false, have_steps = false, have_coupling = false;
};

// Reads --n, --steps, --coupling and --dt; a message on failure.
const char *parse_kuramoto(Args args, KuramotoOptions &o) {
    static std::string problem;
    for (size_t i = 0; i < args.size(); i += 2) {
        const std::string_view name = args[i];
        if (name != "--n" && name != "--steps" && name != "--coupling" && name != "--dt") {
            problem = "unknown option '" + std::string(name) + "'";
            return problem.c_str();
        }
        if (i + 1 >= args.size()) {
            problem = std::string(name) + " needs a value";
            return problem.c_str();
        }
        const char *value = args[i + 1];
        if (name == "--n" || name == "--steps") {
            const auto v = parse_u64(value);
            if (!v) {
                problem = std::string(name) + ": '" + value + "' is not an unsigned integer";
                return problem.c_str();
            }
            (name == "--n" ? o.n : o.steps) = *v;
            (name == "--n" ? o.have_n : o.have_steps) = true;
        } else if (name == "--coupling" || name == "--dt") {
            const auto v = parse_double(value);
            if (!v || !(*v - *v == 0)) {
                problem = std::string(name) + ": '" + value + "' is not a finite number";
                return problem.c_str();
            }
            (name == "--coupling" ? o.coupling : o.dt) = *v;
            if (name == "--coupling") o.have_coupling = true;
        }
    }
    if (!o.have_n || !o.have_steps || !o.have_coupling) return "--n, --steps and --coupling are required";
    if (o.n == 0 || o.n > 100000) return "--n must be 1 to 100000";
    return nullptr;
}

int run_kuramoto(Args args) {
    KuramotoOptions o;
    if (const char *problem = parse_kuramoto(args, o)) return usage_error(octonion_commands[1], problem);
    Oscillators oscillators(o.n, o.coupling, o.dt);
    std::printf("# %" PRIu64 " oscillators, coupling %s, dt %s, natural frequencies in [-%s, %s]\n", o.n,
                number_text(o.coupling).c_str(), number_text(o.dt).c_str(), number_text(kFrequencySpread).c_str(),
                number_text(kFrequencySpread).c_str());
    std::printf("#  step  r\n");
    // Each step's line shows the progress on a terminal; when the lines go
    // elsewhere, a line on standard error does.
    Progress progress("kuramoto", !stdout_is_terminal());
    for (uint64_t step = 0;; ++step) {
        progress.update(step, o.steps, "steps");
        double r = 0;
        if (const kelvra_status s = oscillators.order(r)) return fail("order parameter", s);
        print_order(step, r);
        if (step == o.steps) break;
        if (const kelvra_status s = oscillators.step()) return fail("kelvra_cascade_kuramoto_step_f64", s);
    }
    return 0;
}

// ---- the demo section -----------------------------------------------------------

void basis(int index, Octonion &e) {
    for (int k = 0; k < 8; ++k) e[k] = k == index ? 1.0 : 0.0;
}

int show_nonassociativity() {
    Octonion e1, e2, e4, e1e2, e2e1, left, right, e2e4, associator;
    basis(1, e1);
    basis(2, e2);
    basis(4, e4);
    DEMO_CALL(kelvra_loop_bind_f64(e1, e2, 8, e1e2));
    DEMO_CALL(kelvra_loop_bind_f64(e2, e1, 8, e2e1));
    std::printf("   e1 e2 = %s   e2 e1 = %s   (not commutative)\n", octonion_text(e1e2).c_str(),
                octonion_text(e2e1).c_str());
    DEMO_CALL(kelvra_loop_bind_f64(e1e2, e4, 8, left));
    DEMO_CALL(kelvra_loop_bind_f64(e2, e4, 8, e2e4));
    DEMO_CALL(kelvra_loop_bind_f64(e1, e2e4, 8, right));
    DEMO_CALL(kelvra_loop_associator_f64(e1, e2, e4, 8, associator));
    std::printf("   (e1 e2) e4 = %s\n   e1 (e2 e4) = %s\n", octonion_text(left).c_str(), octonion_text(right).c_str());
    std::printf("   associator [e1, e2, e4] = %s   (2 e7: not associative)\n", octonion_text(associator).c_str());
    const Octonion x = {1, 2, -3, 0.5, 4, -1, 2, 7};
    Octonion inverse, one;
    DEMO_CALL(kelvra_loop_inv_f64(x, 8, inverse));
    DEMO_CALL(kelvra_loop_bind_f64(x, inverse, 8, one));
    double off = 0; // largest distance of a component from e0's
    for (int k = 0; k < 8; ++k) {
        const double d = one[k] - (k == 0 ? 1.0 : 0.0);
        if ((d < 0 ? -d : d) > off) off = d < 0 ? -d : d;
    }
    std::printf("   x x^-1 = e0 within %.1e   for x = %s\n", off, octonion_text(x).c_str());
    return 0;
}

// Restores an environment variable when the demo is done with it.
class SavedVariable {
public:
    explicit SavedVariable(const char *name) : name_(name) {
        if (const char *v = std::getenv(name)) {
            value_ = v;
            had_ = true;
        }
    }
    ~SavedVariable() {
        if (had_) set_environment(name_, value_.c_str());
        else unset_environment(name_);
    }

private:
    const char *name_;
    std::string value_;
    bool had_ = false;
};

int show_batch_binding() {
    constexpr uint64_t kBlocks = 1000;
    std::vector<double> keys(8 * kBlocks), values(8 * kBlocks), bound(8 * kBlocks), scalar(8 * kBlocks),
        recovered(8 * kBlocks);
    Random random{7};
    for (uint64_t k = 0; k < kBlocks; ++k) {
        double *key = &keys[8 * k];
        for (int c = 0; c < 8; ++c) {
            key[c] = 2 * random.next() - 1;
            values[8 * k + c] = 2 * random.next() - 1;
        }
        double length = 0;
        DEMO_CALL(norm(key, length));
        for (int c = 0; c < 8; ++c) key[c] /= length; // unit keys unbind exactly up to rounding
    }
    const tiers::Decision decision = tiers::decide(tiers::octonion_batch);
    DEMO_CALL(kelvra_loop_bind_hd_f64(keys.data(), values.data(), kBlocks, bound.data()));
    {
        const tiers::Kernel &rule = tiers::octonion_batch;
        SavedVariable saved(rule.variable);
        set_environment(rule.variable, "0");
        DEMO_CALL(kelvra_loop_bind_hd_f64(keys.data(), values.data(), kBlocks, scalar.data()));
    }
    DEMO_CALL(kelvra_loop_unbind_hd_f64(keys.data(), bound.data(), kBlocks, recovered.data()));
    double worst = 0;
    for (size_t i = 0; i < values.size(); ++i) {
        const double error = recovered[i] > values[i] ? recovered[i] - values[i] : values[i] - recovered[i];
        if (error > worst) worst = error;
    }
    const bool same = std::memcmp(bound.data(), scalar.data(), bound.size() * sizeof(double)) == 0;
    std::printf("   bound %" PRIu64 " key/value blocks on tier %u (%s)\n", kBlocks, decision.in_force,
                tiers::octonion_batch.names[decision.in_force]);
    std::printf("   the scalar tier gives %s\n", same ? "the same bits" : "DIFFERENT bits");
    std::printf("   unbinding with the keys recovers every value within %.1e\n", worst);
    return 0;
}

int show_oscillators() {
    constexpr uint64_t kOscillators = 32, kSteps = 300, kEvery = 30;
    Oscillators oscillators(kOscillators, 1.5, 0.05);
    std::printf("   %" PRIu64 " oscillators, coupling 1.5: the order parameter r climbs towards 1\n", kOscillators);
    for (uint64_t step = 0;; ++step) {
        if (step % kEvery == 0) {
            double r = 0;
            DEMO_CALL(oscillators.order(r));
            std::printf("  ");
            print_order(step, r);
        }
        if (step == kSteps) break;
        DEMO_CALL(oscillators.step());
    }
    return 0;
}

#undef DEMO_CALL

} // namespace

int demo_loop(int section_number) {
    std::printf("\n%d. Octonions, batch binding and coupled oscillators\n", section_number);
    if (int rc = show_nonassociativity()) return rc;
    if (int rc = show_batch_binding()) return rc;
    return show_oscillators();
}

} // namespace kelvra::cli
