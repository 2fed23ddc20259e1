// Series evaluations after an exact argument reduction; see portable_math.h for why these
// exist. Each series is summed in Horner form from the smallest term up, in a fixed order.
#include "quillfen/image/portable_math.h"

#include <cmath>
#include <limits>

#include "quillfen/image/round_half_even.h"

namespace quillfen {

namespace {

// ln 2 split so that k * kLn2Hi is exact for every |k| < 2^11 (the high part has 32 trailing
// zero bits), the classic Cody-Waite reduction.
constexpr double kLn2Hi = 6.93147180369123816490e-01;
constexpr double kLn2Lo = 1.90821492927058770002e-10;
constexpr double kInvLn2 = 1.44269504088896338700e+00;
constexpr double kSqrtHalf = 0.70710678118654752440;
constexpr double kRadiansPerDegree = 3.14159265358979323846 / 180.0;

constexpr double kInfinity = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// e^r for |r| <= ln2 / 2 by its Taylor series to r^17 / 17! (the next term is below 2^-75).
double ExpReduced(double r) {
    double sum = 1.0;
    for (int n = 17; n >= 1; --n) sum = 1.0 + r * sum / n;
    return sum;
}

}  // namespace

double PortableExp(double x) {
    if (x != x) return x;
    if (x > 709.782712893384) return kInfinity;
    if (x < -745.1332191019412) return 0.0;
    const double k = RoundHalfEven(x * kInvLn2);
    const double r = (x - k * kLn2Hi) - k * kLn2Lo;
    return std::ldexp(ExpReduced(r), static_cast<int>(k));
}

double PortableLog(double x) {
    if (x != x || x < 0) return kNaN;
    if (x == 0) return -kInfinity;
    if (x == kInfinity) return kInfinity;
    int e = 0;
    double m = std::frexp(x, &e);  // x = m * 2^e, m in [0.5, 1), exact
    if (m < kSqrtHalf) {
        m = m * 2;  // exact
        e = e - 1;
    }
    // log m = 2 atanh(s) = 2 (s + s^3 / 3 + s^5 / 5 + ...), s = (m - 1) / (m + 1), |s| < 0.172;
    // the terms up to s^29 leave an error below 2^-75.
    const double s = (m - 1) / (m + 1);
    const double s2 = s * s;
    double series = 0.0;
    for (int k = 14; k >= 1; --k) series = (series + 2.0 / (2 * k + 1)) * s2;
    series = s * (2.0 + series);
    const double scale = static_cast<double>(e);
    return scale * kLn2Hi + (series + scale * kLn2Lo);
}

double PortablePow(double base, double exponent) {
    if (base != base || exponent != exponent || base < 0) return kNaN;
    if (base == 1 || exponent == 0) return 1.0;
    if (base == 0) return exponent > 0 ? 0.0 : kInfinity;
    return PortableExp(exponent * PortableLog(base));
}

void SinCosDegrees(double degrees, double& sine, double& cosine) {
    // Reduce in degrees, where multiples of 90 are exact: fmod is exact, and a in [-45, 45]
    // comes from one subtraction of a whole multiple of 90.
    double turn = std::fmod(degrees, 360.0);
    if (turn < 0) turn = turn + 360.0;
    const double quarter = RoundHalfEven(turn / 90.0);
    const double a = turn - quarter * 90.0;
    const double x = a * kRadiansPerDegree;
    const double x2 = x * x;
    // Taylor series to x^17 and x^18 (|x| <= pi / 4; the next terms are below 2^-60).
    double s = 0.0;
    double c = 0.0;
    for (int n = 17; n >= 3; n -= 2) s = (s + 1.0) * -x2 / ((n - 1) * n);
    s = x * (1.0 + s);
    for (int n = 18; n >= 2; n -= 2) c = (c + 1.0) * -x2 / ((n - 1) * n);
    c = 1.0 + c;
    // Adding 0.0 turns the -0 of a negated zero into +0.
    switch (static_cast<int>(quarter) % 4) {
        case 0: sine = s + 0.0; cosine = c + 0.0; break;
        case 1: sine = c + 0.0; cosine = -s + 0.0; break;
        case 2: sine = -s + 0.0; cosine = -c + 0.0; break;
        default: sine = -c + 0.0; cosine = s + 0.0; break;
    }
}

double NormalUpperTail(double z) {
    if (std::isnan(z)) return z;
    if (z < 0) return 1.0 - NormalUpperTail(-z);
    if (z > 38) return 0.0;
    // ln sqrt(2 pi): the density is exp(-z^2 / 2 - this).
    constexpr double kLnSqrtTwoPi = 0.91893853320467274178;
    const double density = PortableExp(-0.5 * (z * z) - kLnSqrtTwoPi);
    if (z <= 3) {
        // Phi(z) - 1/2 = density * (z + z^3 / 3 + z^5 / (3 * 5) + ...): every term positive,
        // summed until adding one no longer changes the sum.
        double sum = z;
        double previous = 0;
        double term = z;
        const double z2 = z * z;
        for (double i = 1; sum != previous;) {
            previous = sum;
            i = i + 2;
            term = term * (z2 / i);
            sum = previous + term;
        }
        return 0.5 - density * sum;
    }
    // Q(z) = density / (z + 1 / (z + 2 / (z + 3 / (z + ...)))), from the 200th level up.
    double fraction = z;
    for (int k = 200; k >= 1; --k) fraction = z + k / fraction;
    return density / fraction;
}

std::uint64_t SplitMix64(std::uint64_t& state) {
    state += 0x9E3779B97F4A7C15ULL;
    std::uint64_t z = state;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

RandomStream::RandomStream(std::uint64_t seed) {
    for (std::uint64_t& word : S) word = SplitMix64(seed);
}

RandomStream::RandomStream(std::uint64_t s0, std::uint64_t s1, std::uint64_t s2, std::uint64_t s3)
    : S{s0, s1, s2, s3} {}

std::uint64_t RandomStream::Next() {
    const auto rotl = [](std::uint64_t x, int k) { return (x << k) | (x >> (64 - k)); };
    const std::uint64_t result = rotl(S[1] * 5, 7) * 9;
    const std::uint64_t t = S[1] << 17;
    S[2] ^= S[0];
    S[3] ^= S[1];
    S[1] ^= S[2];
    S[0] ^= S[3];
    S[2] ^= t;
    S[3] = rotl(S[3], 45);
    return result;
}

double RandomStream::Uniform() { return static_cast<double>(Next() >> 11) * 0x1.0p-53; }

void RandomStream::Uniforms(double* out, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) out[i] = Uniform();
}

void RandomStream::Skip(std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) Next();
}

double RandomStream::Gaussian() {
    if (HaveSpare) {
        HaveSpare = false;
        return Spare;
    }
    for (;;) {
        const double u = 2.0 * Uniform() - 1.0;
        const double v = 2.0 * Uniform() - 1.0;
        const double s = u * u + v * v;
        if (s >= 1.0 || s == 0.0) continue;
        const double factor = std::sqrt(-2.0 * PortableLog(s) / s);
        Spare = v * factor;
        HaveSpare = true;
        return u * factor;
    }
}

}  // namespace quillfen
