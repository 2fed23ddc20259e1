#pragma once
// Elementary functions and a random generator built from the basic IEEE operations only
// (+, -, *, /, sqrt, exact scalings by powers of two), evaluated in the written order.
//
// The C library's exp, log, pow, sin and cos are only promised to within an ulp or so, and
// they differ between libraries; the standard distributions (std::normal_distribution and
// friends) are not even specified. An attack whose output is rounded to bytes would then
// give other bytes on another machine whenever a value lands near a rounding boundary. Every
// attack and metric that needs one of these functions uses the forms below instead, so the
// same picture, parameters and seed give the same bytes everywhere. Accuracy is within a few
// ulps of the true value, which is all the attacks need.
#include <cstddef>
#include <cstdint>

#include "quillfen/image/export.h"

QUILLFEN_API_BEGIN
namespace quillfen {

// e^x. Overflows to +infinity above 709.78, underflows to 0 below -745.13; NaN stays NaN.
double PortableExp(double x);

// Natural logarithm: -infinity for 0, NaN for negative values and NaN, +infinity for +infinity.
double PortableLog(double x);

// base^exponent for base >= 0: 0^e is 0 for e > 0, 1 for e = 0 and +infinity for e < 0;
// 1^e is exactly 1. NaN for a negative base.
double PortablePow(double base, double exponent);

// Sine and cosine of an angle in degrees. Multiples of 90 degrees give exact results
// (sin 90 = 1, cos 90 = 0, ...), so quarter turns move pixels without any blending.
void SinCosDegrees(double degrees, double& sine, double& cosine);

// The upper tail of the standard normal distribution, Q(z) = P(Z > z) = 1 - Phi(z), with a
// relative error below 1e-12 over the range the calibration uses (|z| <= 38; beyond, Q is 0 or
// 1 in doubles anyway). Below |z| = 3 Marsaglia's Taylor series of Phi ("Evaluating the normal
// distribution", J. Stat. Softw. 11(4), 2004), above it Laplace's continued fraction, each
// evaluated in a fixed order with PortableExp, so that thresholds drawn from a fitted normal
// tail are the same bits everywhere. NaN stays NaN.
double NormalUpperTail(double z);

// splitmix64 (Steele, Lea and Flood 2014): one step of the sequence that seeds the generator.
// Advances `state` by the golden-ratio increment and returns the mixed value.
std::uint64_t SplitMix64(std::uint64_t& state);

// xoshiro256** (Blackman and Vigna 2018) seeded from four splitmix64 outputs of the seed, so
// neighbouring seeds give unrelated streams and no seed gives the all-zero state.
class RandomStream {
public:
    explicit RandomStream(std::uint64_t seed);
    // The state given directly (known-answer tests).
    RandomStream(std::uint64_t s0, std::uint64_t s1, std::uint64_t s2, std::uint64_t s3);

    std::uint64_t Next();
    // A real in [0, 1): the top 53 bits of Next() times 2^-53.
    double Uniform();
    // What n calls of Uniform() give, into out[0 .. n), and n calls of Next() skipped: the
    // same stream, drawn without a call for each (a caller whose other work waits on no draw
    // keeps its registers).
    void Uniforms(double* out, std::size_t n);
    void Skip(std::size_t n);
    // A standard normal deviate by Marsaglia's polar method (pairs from the unit disc, the
    // second of each pair kept for the next call), with PortableLog for the logarithm.
    double Gaussian();

private:
    std::uint64_t S[4];
    bool HaveSpare = false;
    double Spare = 0.0;
};

}  // namespace quillfen
QUILLFEN_API_END
