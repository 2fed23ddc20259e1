#pragma once
// Fast Fourier transforms of power-of-two sizes for the synchronising detector: the
// autocorrelation of the suspect and the cyclic correlations of the folded tile.
//
// Plain radix-2 decimation in time on separate real and imaginary arrays, in the written
// order, with twiddle factors from the portable sine and cosine: a transform gives the same
// bits on every machine, so the detector's reading of a picture does too.
#include <vector>

namespace quillfen::sync {

class Fft {
public:
    // n a power of two, 1..2^20; ArgumentError otherwise.
    explicit Fft(int n);
    int Size() const { return n_; }
    // In place on n values spaced `stride` apart: the forward transform sum x_j e^(-2 pi i jk/n),
    // or the inverse one with e^(+2 pi i jk/n), unnormalised either way.
    void Transform(double* re, double* im, int stride, bool inverse) const;
    // `count` transforms side by side, transform c's value j at j * count + c: each gives the
    // bits Transform gives it alone; the vector lanes of the build's best target take several
    // at once. The plain form is the same loop without vectors (tests compare the two).
    void TransformSideBySide(double* re, double* im, int count, bool inverse) const;
    void TransformSideBySidePlain(double* re, double* im, int count, bool inverse) const;

private:
    // The bit-reversed order of `count` transforms side by side, whole rows of them swapped.
    void ReverseSideBySide(double* re, double* im, int count) const;

    int n_;
    std::vector<double> cos_, sin_;  // e^(-2 pi i k/n) = cos_[k] - i sin_[k], k < n/2
    std::vector<int> reversed_;
};

// A 2-D transform of ny rows of nx values (row-major), both powers of two: the rows, then the
// columns. Unnormalised, as above.
class Fft2 {
public:
    Fft2(int nx, int ny);
    int Width() const { return x_.Size(); }
    int Height() const { return y_.Size(); }
    void Transform(std::vector<double>& re, std::vector<double>& im, bool inverse) const;

private:
    Fft x_, y_;
};

}  // namespace quillfen::sync
