// Each function first evaluates in double precision with a proven error bound and keeps the
// float nearest that value when the whole error interval rounds to it. Only where a halfway
// point between floats lies inside does it evaluate again in double-double arithmetic, with an
// error below 2^-92 of the result; the checking tool found every float's result at least
// 2^-56.2 of it away from a halfway point, so the second evaluation always decides.
// Ties cannot happen for sine, cosine, x^0.76f and x^2.05f (their results at a float are
// irrational, or 0 and 1); x^5 has exact ties and is computed exactly with integers.
#include "engine/rounded.h"

#include <bit>
#include <float.h>
#include <iterator>
#include <limits>
#include <string.h>

#include "engine/rounded_constants.h"

// The error bounds count one rounding to double (or to float) per operation: a wider format for
// intermediate results would change every bound.
static_assert(FLT_EVAL_METHOD == 0, "float and double operations must round to their own type");
// reduce() reads twoOverPiWords from word (e - 2 + twoOverPiPadding) / 32 to six words after it,
// for exponents e from -35 (x = 2^-12: below, sinOrCos needs no reduction) to 104 (the largest
// float).
static_assert(-35 - 2 + twoOverPiPadding >= 0, "2/pi needs more zero padding");
static_assert((104 - 2 + twoOverPiPadding) / 32 + 6 < std::size(twoOverPiWords),
              "2/pi needs more words for the largest arguments");

namespace {

// hi + lo, with |lo| at most half an ulp of hi.
struct DoubleDouble {
    double hi, lo;
};

const float largestFloat = std::numeric_limits<float>::max();
const float notANumber = std::numeric_limits<float>::quiet_NaN();

// memcpy rather than std::bit_cast, which not every standard library offers yet.
template <typename To, typename From> To bitsAs(From from) {
    static_assert(sizeof(To) == sizeof(From));
    To to;
    memcpy(&to, &from, sizeof to);
    return to;
}

double powerOfTwo(int32_t k) { // -1022 <= k <= 1023
    return bitsAs<double>((uint64_t)(1023 + k) << 52);
}

DoubleDouble fastTwoSum(double a, double b) { // |a| >= |b|
    const double s = a + b;
    return {s, b - (s - a)};
}

DoubleDouble twoSum(double a, double b) {
    const double s = a + b, bPart = s - a;
    return {s, (a - (s - bPart)) + (b - bPart)};
}

// Dekker's product, exact without a fused multiply-add.
DoubleDouble twoProduct(double a, double b) {
    const double p = a * b;
    const double ca = splitter * a, aHi = ca - (ca - a), aLo = a - aHi;
    const double cb = splitter * b, bHi = cb - (cb - b), bLo = b - bHi;
    return {p, ((aHi * bHi - p) + aHi * bLo + aLo * bHi) + aLo * bLo};
}

// Relative error below 2^-104 even where the terms cancel.
DoubleDouble add(DoubleDouble a, DoubleDouble b) {
    DoubleDouble s = twoSum(a.hi, b.hi);
    const DoubleDouble t = twoSum(a.lo, b.lo);
    s = fastTwoSum(s.hi, s.lo + t.hi);
    return fastTwoSum(s.hi, s.lo + t.lo);
}

// Relative error below 2^-103.
DoubleDouble multiply(DoubleDouble a, DoubleDouble b) {
    DoubleDouble p = twoProduct(a.hi, b.hi);
    return fastTwoSum(p.hi, p.lo + (a.hi * b.lo + a.lo * b.hi));
}

double hornerFast(const double (*terms)[2], int32_t count, double u) {
    double sum = terms[count - 1][0];
    for (int32_t k = count - 2; k >= 0; k--) {
        sum = sum * u + terms[k][0];
    }
    return sum;
}

DoubleDouble hornerSlow(const double (*terms)[2], int32_t count, DoubleDouble u) {
    DoubleDouble sum = {terms[count - 1][0], terms[count - 1][1]};
    for (int32_t k = count - 2; k >= 0; k--) {
        sum = add(multiply(sum, u), DoubleDouble{terms[k][0], terms[k][1]});
    }
    return sum;
}

// The float nearest hi + lo exactly, ties to even.
float roundExactly(DoubleDouble v) {
    const float f = (float)v.hi;
    if (f > largestFloat) {
        // Halfway between the largest float and 2^128 rounds up, to infinity.
        return v.hi == 0x1.ffffffp127 && v.lo < 0.0 ? largestFloat : f;
    }
    const double gap = v.hi - (double)f; // exact: f is within half a float ulp of hi
    if (gap == 0.0 || v.lo == 0.0) {
        return f;
    }
    // hi + gap is a float only when hi lies halfway between f and it; then lo decides.
    // Otherwise no halfway point (a double) lies within half a double ulp of hi.
    const double other = v.hi + gap;
    if ((double)(float)other != other) {
        return f;
    }
    return (v.lo > 0.0) == (other > (double)f) ? (float)other : f;
}

// v's float when everything within error of v rounds to it; the slow path's verdict.
float decideSlow(DoubleDouble v, double error, RoundedPath* path) {
    const float below = roundExactly(fastTwoSum(v.hi, v.lo - error));
    const float above = roundExactly(fastTwoSum(v.hi, v.lo + error));
    if (path) {
        *path = below == above ? RoundedSlow : RoundedUndecided;
    }
    return roundExactly(v);
}

// Whether everything within error of v rounds to the same float. Rounding is monotonic, so
// the two ends decide; error carries enough room for the rounding of v +- error.
bool decidedFast(double v, double error, float& result) {
    result = (float)v;
    return (float)(v - error) == result && (float)(v + error) == result;
}

// x = m 2^e in quarter turns, reduced to the nearest whole quarter: x 2/pi = quadrant + fraction
// modulo 4, |fraction| <= 1/2, from `words` words of 2/pi. The bits of 2/pi beyond the window
// are left out, an error below m 2^(2 - 32 words) < 2^(26 - 32 words) in the fraction.
struct Reduced {
    uint32_t quadrant;
    DoubleDouble fraction;
};

Reduced reduce(uint32_t m, int32_t e, int32_t words) {
    // Bits of 2/pi before bit e - 1 add multiples of 4 quarter turns to m 2^e 2/pi, so the
    // window starts there: table bit p holds bit p + 1 - padding of 2/pi.
    const int32_t first = e - 2 + twoOverPiPadding;
    const int32_t at = first / 32, shift = first % 32;
    uint32_t product[6];
    uint64_t carry = 0;
    for (int32_t i = words - 1; i >= 0; i--) {
        const uint64_t pair = (uint64_t)twoOverPiWords[at + i] << 32 | twoOverPiWords[at + i + 1];
        carry += (uint64_t)m * (uint32_t)(pair >> (32 - shift));
        product[i] = (uint32_t)carry;
        carry >>= 32;
    }
    // The top two bits count quarter turns; the rest is the fraction, a fixed-point number
    // whose first bit is worth 1/2.
    Reduced out{product[0] >> 30, {0.0, 0.0}};
    const bool negative = product[0] >> 29 & 1;
    if (negative) { // fraction - 1, as a magnitude
        out.quadrant++;
        uint64_t borrow = 1;
        for (int32_t i = words - 1; i >= 0; i--) {
            borrow += (uint32_t)~product[i];
            product[i] = (uint32_t)borrow;
            borrow >>= 32;
        }
    }
    product[0] &= 0x3FFFFFFFu;
    int32_t limb = 0;
    while (limb < words && product[limb] == 0) {
        limb++;
    }
    if (limb == words) {
        return out;
    }
    // The first set bit, counted from the top of the product.
    const int32_t lead = 32 * limb + std::countl_zero(product[limb]);
    // 106 bits from the first set one, as two 53-bit integers: 128 bits read from there.
    uint64_t top = 0, next = 0;
    for (int32_t bit = 0; bit < 128; bit += 32) {
        const int32_t from = lead + bit, index = from / 32, offset = from % 32;
        const uint64_t word = index < words ? product[index] : 0;
        const uint64_t after = index + 1 < words ? product[index + 1] : 0;
        const uint32_t piece = (uint32_t)((word << 32 | after) >> (32 - offset));
        if (bit < 64) {
            top = top << 32 | piece;
        } else {
            next = next << 32 | piece;
        }
    }
    // The top bit of the product is worth 2, so the bit at lead is worth 2^(1 - lead).
    const double hi = (double)(int64_t)(top >> 11) * powerOfTwo(-51 - lead);
    const double lo = (double)(int64_t)((top & 0x7FF) << 42 | next >> 22) * powerOfTwo(-104 - lead);
    out.fraction = fastTwoSum(negative ? -hi : hi, negative ? -lo : lo);
    return out;
}

// sin x for quarter 0, cos x = sin(x + pi/2) for quarter 1.
float sinOrCos(float x, uint32_t quarter, RoundedPath* path) {
    const uint32_t bits = bitsAs<uint32_t>(x), magnitude = bits & 0x7FFFFFFFu;
    if (path) {
        *path = RoundedFast;
    }
    if (magnitude >= 0x7F800000u) {
        return notANumber;
    }
    // Below 2^-12 the sine's x^3/6 and the cosine's x^2/2 are less than half an ulp (of x, or
    // of 1 from below) and the result rounds to x, or to 1.
    if (magnitude < 0x39800000u) {
        return quarter ? 1.0f : x;
    }
    const uint32_t m = (magnitude & 0x7FFFFFu) | 0x800000u;
    const int32_t e = (int32_t)(magnitude >> 23) - 150;
    // sin(-x) = sin(x + pi): half a turn more.
    const uint32_t turn = quarter + (bits >> 31 && !quarter ? 2 : 0);

    // The fraction's first 53 bits are within 2^-52 of it, and the window of four words within
    // 2^-102 quarter turns. With the Taylor series' tails below 2^-52 (sine, eight terms) and
    // 2^-56 (cosine, nine) and Horner's rule on f^2 adding some 2^-51, the result's error stays
    // below 2^-49 of it plus 2^-100; 2^-47 leaves room for the rounding of the bound's ends.
    Reduced reduced = reduce(m, e, 4);
    uint32_t quadrant = (reduced.quadrant + turn) & 3;
    double f = reduced.fraction.hi;
    double value =
        quadrant & 1 ? hornerFast(cosTerms, 9, f * f) : f * hornerFast(sinTerms, 8, f * f);
    value = quadrant & 2 ? -value : value;
    float result;
    if (decidedFast(value, (value < 0.0 ? -value : value) * 0x1p-47 + 0x1p-100, result)) {
        return result;
    }

    // Six words leave 2^-166 quarter turns out; fourteen and fifteen terms leave tails below
    // 2^-106, and every double-double step's error stays below 2^-103 of its value.
    reduced = reduce(m, e, 6);
    quadrant = (reduced.quadrant + turn) & 3;
    const DoubleDouble u = multiply(reduced.fraction, reduced.fraction);
    DoubleDouble within92 = quadrant & 1 ? hornerSlow(cosTerms, 15, u)
                                         : multiply(reduced.fraction, hornerSlow(sinTerms, 14, u));
    within92 = quadrant & 2 ? DoubleDouble{-within92.hi, -within92.lo} : within92;
    return decideSlow(within92, (within92.hi < 0.0 ? -within92.hi : within92.hi) * 0x1p-92, path);
}

// x^y for a positive, finite x and y = 0.76f or 2.05f: 2^(y log2 x), with
// log2 x = e + log2 m = e + 2/ln 2 atanh t, t = (m - 1)/(m + 1), m in [sqrt 1/2, sqrt 2].
float powerOf(float x, float y, RoundedPath* path) {
    const uint64_t bits = bitsAs<uint64_t>((double)x);
    int32_t e = (int32_t)(bits >> 52) - 1023;
    double m = bitsAs<double>((bits & 0xFFFFFFFFFFFFFull) | 0x3FF0000000000000ull);
    if (m > sqrtTwo) {
        m *= 0.5;
        e++;
    }
    // Both exact: m has 24 bits and lies between 1/2 and 2.
    const double numerator = m - 1.0, denominator = m + 1.0;
    const double whole = (double)y * e; // exact: 24 bits times 9
    if (path) {
        *path = RoundedFast;
    }

    // t within 2^-53 of its value; the atanh series' tail below 2^-52 and Horner's rule within
    // some 2^-51 put y log2 m within 2^-49.5 of its value (at most 1.03), and 2^g within
    // 2^-50 and 2^-51 more of its value: 2^-46 leaves a factor eight.
    const double t = numerator / denominator;
    const double fraction = (double)y * (t * hornerFast(atanhTerms, 10, t * t) * twoOverLn2[0]);
    const double n = (whole + fraction + roundingShift) - roundingShift;
    const double g = (whole - n) + fraction; // whole - n is exact
    const double value = hornerFast(exp2Terms, 14, g) * powerOfTwo((int32_t)n);
    float result;
    if (decidedFast(value, value * 0x1p-46, result)) {
        return result;
    }

    // t to 2^-104; the series' tails below 2^-104 and 2^-106 and some fifty double-double
    // steps keep g within 2^-97 and the result within 2^-95 of its value.
    const DoubleDouble product = twoProduct(t, denominator);
    const DoubleDouble tWithin104 =
        fastTwoSum(t, ((numerator - product.hi) - product.lo) / denominator);
    const DoubleDouble series = hornerSlow(atanhTerms, 20, multiply(tWithin104, tWithin104));
    const DoubleDouble log2m =
        multiply(multiply(tWithin104, series), DoubleDouble{twoOverLn2[0], twoOverLn2[1]});
    const DoubleDouble gWithin97 = add(DoubleDouble{whole - n, 0.0}, multiply(log2m, {y, 0.0}));
    const DoubleDouble power = hornerSlow(exp2Terms, 23, gWithin97);
    const double scale = powerOfTwo((int32_t)n);
    return decideSlow({power.hi * scale, power.lo * scale}, power.hi * scale * 0x1p-92, path);
}

float powerOfNonNegative(float x, float y, RoundedPath* path) {
    const uint32_t bits = bitsAs<uint32_t>(x), magnitude = bits & 0x7FFFFFFFu;
    if (path) {
        *path = RoundedFast;
    }
    if (magnitude == 0 || magnitude == 0x7F800000u) {
        return bitsAs<float>(magnitude); // +0 and +inf, whatever the sign
    }
    if (magnitude > 0x7F800000u || bits >> 31) {
        return notANumber;
    }
    return powerOf(x, y, path);
}

} // namespace

float roundedSin(float x, RoundedPath* path) {
    return sinOrCos(x, 0, path);
}

float roundedCos(float x, RoundedPath* path) {
    return sinOrCos(x, 1, path);
}

float roundedPow076(float x, RoundedPath* path) {
    return powerOfNonNegative(x, 0.76f, path);
}

float roundedPow205(float x, RoundedPath* path) {
    return powerOfNonNegative(x, 2.05f, path);
}

float roundedPow5(float x, RoundedPath* path) {
    const uint32_t bits = bitsAs<uint32_t>(x), magnitude = bits & 0x7FFFFFFFu;
    const uint32_t sign = bits & 0x80000000u;
    if (path) {
        *path = RoundedExact;
    }
    if (magnitude > 0x7F800000u) {
        return notANumber;
    }
    // Up to 2^-30 the power is at most 2^-150, halfway to the smallest subnormal: zero.
    // Infinity stays infinity.
    if (magnitude <= 0x30800000u || magnitude == 0x7F800000u) {
        return bitsAs<float>(sign | (magnitude == 0x7F800000u ? magnitude : 0));
    }
    // x = m 2^e with m below 2^24 (x is normal here), so m^5 fits in 120 bits.
    const uint64_t m = (magnitude & 0x7FFFFFu) | 0x800000u;
    const int32_t e = (int32_t)(magnitude >> 23) - 150;
    unsigned __int128 power = m;
    for (int32_t k = 0; k < 4; k++) {
        power *= m;
    }
    const uint64_t high = (uint64_t)(power >> 64);
    const int32_t length = 128 - std::countl_zero(high); // m^5 >= 2^115: high is not zero
    // 24 bits, fewer where the result is subnormal: its last bit must be worth 2^-149.
    const int32_t lead = length - 1 + 5 * e;
    const int32_t keep = lead >= -126 ? 24 : lead + 150;
    const int32_t cut = length - keep; // at least 92
    uint64_t kept = (uint64_t)(power >> cut);
    const unsigned __int128 rest = power - ((unsigned __int128)kept << cut);
    const unsigned __int128 half = (unsigned __int128)1 << (cut - 1);
    if (rest > half || (rest == half && (kept & 1))) {
        kept++;
    }
    // Exact in double; to float exact too, or infinity past the largest float.
    const float result = (float)((double)kept * powerOfTwo(5 * e + cut));
    return bitsAs<float>(bitsAs<uint32_t>(result) | sign);
}
