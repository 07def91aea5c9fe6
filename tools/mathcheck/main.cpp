// Checks the engine's correctly rounded functions on every float (all 2^32 bit patterns)
// against the correctly rounded result, decided by MPFR wherever it is close, and reports
// mismatches, how each result was decided, and the arguments whose results lie closest to a
// halfway point between floats. Runs on every core; a full run takes minutes, so the tests do
// not run it.
// Usage: voidrunner-mathcheck [--step N] [sin|cos|pow5|pow076|pow205 ...]
//        voidrunner-mathcheck --decide FUNCTION BITS...   (MPFR's result for each argument)
#include <math.h>
#include <mpfr.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/rounded.h"

namespace {

struct Function {
    const char* name;
    float (*ours)(float, RoundedPath*);
    double (*reference)(double); // the C library's double precision: an independent result
    float (*library)(float);     // the C library's single precision, only to count its misses
    int (*exact)(mpfr_t, const mpfr_t, mpfr_rnd_t);
};

int mpfrPow5(mpfr_t r, const mpfr_t x, mpfr_rnd_t rnd) {
    return mpfr_pow_ui(r, x, 5, rnd);
}
// x^y for the float y, exact in 24 bits.
int mpfrPowFloat(mpfr_t r, const mpfr_t x, float y, mpfr_rnd_t rnd) {
    mpfr_t exponent;
    mpfr_init2(exponent, 24);
    mpfr_set_flt(exponent, y, MPFR_RNDN);
    const int ternary = mpfr_pow(r, x, exponent, rnd);
    mpfr_clear(exponent);
    return ternary;
}
int mpfrPow076(mpfr_t r, const mpfr_t x, mpfr_rnd_t rnd) {
    return mpfrPowFloat(r, x, 0.76f, rnd);
}
int mpfrPow205(mpfr_t r, const mpfr_t x, mpfr_rnd_t rnd) {
    return mpfrPowFloat(r, x, 2.05f, rnd);
}

const Function functions[] = {
    {"sin", roundedSin, [](double x) { return sin(x); }, [](float x) { return sinf(x); }, mpfr_sin},
    {"cos", roundedCos, [](double x) { return cos(x); }, [](float x) { return cosf(x); }, mpfr_cos},
    {"pow5", roundedPow5, [](double x) { return pow(x, 5.0); },
     [](float x) { return powf(x, 5.0f); }, mpfrPow5},
    {"pow076", roundedPow076, [](double x) { return pow(x, (double)0.76f); },
     [](float x) { return powf(x, 0.76f); }, mpfrPow076},
    {"pow205", roundedPow205, [](double x) { return pow(x, (double)2.05f); },
     [](float x) { return powf(x, 2.05f); }, mpfrPow205},
};

// The reference's error is at most an ulp or two of a double (2^-52 of its value); a result
// counts as clear of every halfway point only when 2^12 times that much room rounds alike.
const double referenceMargin = 0x1p-40;

struct HardCase {
    uint32_t argument;
    uint32_t result;
    double closeness; // log2 of the distance to the nearest halfway point, relative
};

struct Tally {
    uint64_t checked = 0, mismatches = 0, decidedByMpfr = 0, ties = 0, libraryMisses = 0;
    uint64_t paths[4] = {};
    std::vector<HardCase> hardest; // closest first
    std::vector<std::string> firstMismatches;
};

const size_t hardestKept = 12;

void keepHard(std::vector<HardCase>& list, const HardCase& c) {
    list.push_back(c);
    std::sort(list.begin(), list.end(),
              [](const HardCase& a, const HardCase& b) { return a.closeness < b.closeness; });
    if (list.size() > hardestKept) {
        list.pop_back();
    }
}

uint32_t bitsOf(float x) {
    return std::bit_cast<uint32_t>(x);
}

// The float nearest f(x), decided by MPFR at 24 bits in binary32's exponent range.
float exactly(const Function& f, float x) {
    const mpfr_exp_t emin = mpfr_get_emin(), emax = mpfr_get_emax();
    mpfr_set_emin(-148);
    mpfr_set_emax(128);
    mpfr_t in, out;
    mpfr_init2(in, 24);
    mpfr_init2(out, 24);
    mpfr_set_flt(in, x, MPFR_RNDN);
    int ternary = f.exact(out, in, MPFR_RNDN);
    ternary = mpfr_check_range(out, ternary, MPFR_RNDN);
    mpfr_subnormalize(out, ternary, MPFR_RNDN);
    const float result = mpfr_get_flt(out, MPFR_RNDN);
    mpfr_clears(in, out, (mpfr_ptr) nullptr);
    mpfr_set_emin(emin);
    mpfr_set_emax(emax);
    return result;
}

// log2 of |f(x) - nearest halfway point| / |f(x)|, from 256 bits; 0 where there is none,
// -inf for an exact tie.
double closenessOf(const Function& f, float x) {
    mpfr_t in, value, scaled;
    mpfr_inits2(256, in, value, scaled, (mpfr_ptr) nullptr);
    mpfr_set_flt(in, x, MPFR_RNDN);
    f.exact(value, in, MPFR_RNDN);
    double closeness = 0.0;
    if (mpfr_regular_p(value) && mpfr_get_exp(value) <= 128) {
        // The float ulp at the value: 2^(exponent - 24), never below the subnormals' 2^-149.
        const long ulp = std::max((long)mpfr_get_exp(value) - 24, -149L);
        mpfr_abs(scaled, value, MPFR_RNDN);
        mpfr_mul_2si(scaled, scaled, -ulp, MPFR_RNDN);
        mpfr_frac(scaled, scaled, MPFR_RNDN);
        mpfr_sub_d(scaled, scaled, 0.5, MPFR_RNDN);
        mpfr_abs(scaled, scaled, MPFR_RNDN);
        mpfr_mul_2si(scaled, scaled, ulp, MPFR_RNDN);
        mpfr_div(scaled, scaled, value, MPFR_RNDN);
        mpfr_abs(scaled, scaled, MPFR_RNDN);
        closeness = mpfr_zero_p(scaled) ? -INFINITY : log2(mpfr_get_d(scaled, MPFR_RNDN));
    }
    mpfr_clears(in, value, scaled, (mpfr_ptr) nullptr);
    return closeness;
}

void checkOne(const Function& f, uint32_t bits, Tally& tally) {
    const float x = std::bit_cast<float>(bits);
    RoundedPath path = RoundedFast;
    const float ours = f.ours(x, &path);
    tally.checked++;
    tally.paths[path]++;
    const double reference = f.reference((double)x);
    float expected;
    if (isnan(reference)) {
        expected = NAN;
    } else if (reference == 0.0) {
        expected = (float)reference;
    } else {
        const double room = fabs(reference) * referenceMargin;
        expected = (float)(reference - room);
        if (expected != (float)(reference + room)) {
            tally.decidedByMpfr++;
            expected = exactly(f, x);
            const double closeness = closenessOf(f, x);
            if (isinf(closeness)) {
                tally.ties++;
            } else {
                keepHard(tally.hardest, {bits, bitsOf(expected), closeness});
            }
        }
    }
    const float library = f.library(x);
    const bool same = isnan(expected) ? isnan(ours) : bitsOf(ours) == bitsOf(expected);
    if (!(isnan(expected) ? isnan(library) : bitsOf(library) == bitsOf(expected))) {
        tally.libraryMisses++;
    }
    if (!same) {
        tally.mismatches++;
        if (tally.firstMismatches.size() < 10) {
            char line[160];
            snprintf(line, sizeof line, "  %s(0x%08X = %a) gave 0x%08X, expected 0x%08X", f.name,
                     bits, x, bitsOf(ours), bitsOf(expected));
            tally.firstMismatches.push_back(line);
        }
    }
}

void merge(Tally& into, const Tally& from) {
    into.checked += from.checked;
    into.mismatches += from.mismatches;
    into.decidedByMpfr += from.decidedByMpfr;
    into.ties += from.ties;
    into.libraryMisses += from.libraryMisses;
    for (int i = 0; i < 4; i++) {
        into.paths[i] += from.paths[i];
    }
    for (const HardCase& c : from.hardest) {
        keepHard(into.hardest, c);
    }
    for (const std::string& line : from.firstMismatches) {
        if (into.firstMismatches.size() < 10) {
            into.firstMismatches.push_back(line);
        }
    }
}

Tally checkAll(const Function& f, uint64_t step) {
    const uint64_t chunk = (uint64_t)1 << 20, total = (uint64_t)1 << 32;
    std::atomic<uint64_t> next{0};
    std::mutex lock;
    Tally all;
    auto work = [&]() {
        Tally mine;
        for (;;) {
            const uint64_t start = next.fetch_add(chunk);
            if (start >= total) {
                break;
            }
            for (uint64_t bits = start; bits < start + chunk; bits += step) {
                checkOne(f, (uint32_t)bits, mine);
            }
        }
        std::lock_guard<std::mutex> guard(lock);
        merge(all, mine);
    };
    std::vector<std::thread> threads;
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    for (unsigned i = 0; i < cores; i++) {
        threads.emplace_back(work);
    }
    for (std::thread& t : threads) {
        t.join();
    }
    return all;
}

} // namespace

int main(int argc, char** argv) {
    if (argc >= 3 && strcmp(argv[1], "--decide") == 0) {
        for (const Function& f : functions) {
            if (strcmp(f.name, argv[2]) != 0) {
                continue;
            }
            for (int i = 3; i < argc; i++) {
                const uint32_t bits = (uint32_t)strtoul(argv[i], nullptr, 0);
                const float x = std::bit_cast<float>(bits), result = exactly(f, x);
                printf("%s(0x%08X = %a) = 0x%08X (%a)\n", f.name, bits, x, bitsOf(result), result);
            }
            return 0;
        }
        fprintf(stderr, "mathcheck: no function %s\n", argv[2]);
        return 2;
    }
    uint64_t step = 1;
    std::vector<std::string> wanted;
    for (int i = 1; i < argc; i++) {
        if (strcmp(argv[i], "--step") == 0 && i + 1 < argc) {
            step = strtoull(argv[++i], nullptr, 0);
        } else {
            wanted.push_back(argv[i]);
        }
    }
    if (step == 0 || (((uint64_t)1 << 20) % step) != 0) {
        fprintf(stderr, "mathcheck: --step must divide 2^20\n");
        return 2;
    }
    uint64_t mismatches = 0;
    for (const Function& f : functions) {
        if (!wanted.empty() && std::find(wanted.begin(), wanted.end(), f.name) == wanted.end()) {
            continue;
        }
        const auto start = std::chrono::steady_clock::now();
        const Tally tally = checkAll(f, step);
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        printf("%s: %llu arguments in %.0f s, %llu mismatches; fast %llu, slow %llu, exact %llu, "
               "undecided %llu; MPFR decided %llu, %llu of them exact ties; the C library's "
               "float function missed %llu\n",
               f.name, (unsigned long long)tally.checked, seconds,
               (unsigned long long)tally.mismatches, (unsigned long long)tally.paths[0],
               (unsigned long long)tally.paths[1], (unsigned long long)tally.paths[2],
               (unsigned long long)tally.paths[3], (unsigned long long)tally.decidedByMpfr,
               (unsigned long long)tally.ties, (unsigned long long)tally.libraryMisses);
        for (const std::string& line : tally.firstMismatches) {
            printf("%s\n", line.c_str());
        }
        printf("  hardest but ties (argument -> result, distance to a halfway point / result):\n");
        for (const HardCase& c : tally.hardest) {
            printf("    0x%08X (%a) -> 0x%08X, 2^%.1f\n", c.argument,
                   std::bit_cast<float>(c.argument), c.result, c.closeness);
        }
        fflush(stdout);
        mismatches += tally.mismatches;
    }
    return mismatches ? 1 : 0;
}
