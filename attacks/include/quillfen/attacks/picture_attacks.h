#pragma once
// The attacks of the robustness benchmark that work on the 8-bit picture, as a real attacker's
// tools would: each takes a gray plane and returns a new one of the same size. They are plain
// functions of their arguments (the seeded ones of the generator passed in), written out in
// basic IEEE operations with halves rounded to even and results clamped to 0..255, so the same
// input gives the same bytes on every machine.
//
// Resampling is bilinear on pixel centres: output pixel i of n samples the input at
// (i + 0.5) * m / n - 0.5 of m, each neighbour weighted by its distance; a sample position
// beyond the first or last pixel centre uses the edge pixel (Resample) or black (Rotate).
#include <array>
#include <cstdint>
#include <vector>

#include "quillfen/image/export.h"
#include "quillfen/image/gray_plane.h"

QUILLFEN_API_BEGIN
namespace quillfen {

class RandomStream;

// Median of the k x k window (k odd) around each pixel; the border is extended by repeating
// the edge pixels, so every pixel has a full window.
GrayPlane MedianFilter(const GrayPlane& in, int k);

// Adds sigma times one standard normal deviate per pixel, in row-major order.
GrayPlane AddGaussianNoise(const GrayPlane& in, double sigma, RandomStream& random);

// Each pixel, in row-major order, takes one draw: with probability p it becomes black or
// white (the draw's lowest bit chooses), otherwise it is kept.
GrayPlane AddSaltPepper(const GrayPlane& in, double p, RandomStream& random);

// Unsharp masking: x + amount * (x - blur), the blur being the 3 x 3 binomial kernel
// (1 2 1 / 2 4 2 / 1 2 1) / 16 with repeated edge pixels.
GrayPlane Sharpen(const GrayPlane& in, double amount);

// Gaussian blur of standard deviation sigma (> 0): the kernel exp(-i^2 / (2 sigma^2)) for
// |i| <= r, r = round(3 sigma) (the radius OpenCV's GaussianBlur takes for 8-bit pictures),
// scaled to sum 1, applied along the rows and then along the columns in reals (nothing rounded
// in between), edge pixels repeated; the result rounded half to even. It neither darkens the
// picture nor leaves a border unblurred, unlike the workspace's blur.
GrayPlane GaussianBlur(const GrayPlane& in, double sigma);

// Bilinear resampling to width x height.
GrayPlane Resample(const GrayPlane& in, int width, int height);

// Resampled to round(f * width) x round(f * height) (at least 1 x 1), kept as bytes, and
// resampled back to the original size: what saving a rescaled copy and enlarging it does.
GrayPlane ScaleAndBack(const GrayPlane& in, double f);

// Rotation by `degrees` counter-clockwise as seen on screen, about the picture's centre;
// the result keeps the size, and what comes from outside the picture is black (pixels whose
// source lies within a pixel of the edge blend with that black).
GrayPlane Rotate(const GrayPlane& in, double degrees);

// Moves the content dx pixels right and dy pixels down; uncovered pixels are black.
GrayPlane Shift(const GrayPlane& in, int dx, int dy);

// Two pictures of one size through the same noise or the same rotation (a sweep attacks each
// marked picture and its unmarked host alike): each result is what the one-picture form gives
// for that picture, bit for bit, and the noise is drawn once, the source positions found once.
// ArgumentError for pictures of different sizes.
std::array<GrayPlane, 2> AddGaussianNoise(const GrayPlane& a, const GrayPlane& b, double sigma, RandomStream& random);
std::array<GrayPlane, 2> AddSaltPepper(const GrayPlane& a, const GrayPlane& b, double p, RandomStream& random);
std::array<GrayPlane, 2> Rotate(const GrayPlane& a, const GrayPlane& b, double degrees);

// Removes n rows (columns) spread evenly over the picture, row floor((2i + 1) * height / 2n)
// for i = 0..n-1, and stretches what is left back to the full height (width). n < height.
GrayPlane RemoveRows(const GrayPlane& in, int n);
GrayPlane RemoveColumns(const GrayPlane& in, int n);

// Blackens all but a centred rectangle of the picture's aspect holding (1 - removedShare) of
// its area: the kept width is round(width * sqrt(1 - removedShare)), its left margin half of
// what is removed, rounded down (the same for the height). 0 keeps everything, 1 nothing.
GrayPlane CropCentre(const GrayPlane& in, double removedShare);

// x + delta.
GrayPlane AdjustBrightness(const GrayPlane& in, double delta);
// mean + factor * (x - mean), the mean taken over the whole picture (so 1 keeps the picture,
// 0 gives a flat picture of its mean gray).
GrayPlane AdjustContrast(const GrayPlane& in, double factor);
// The same about a given mean (a colour picture's channels share its mean luminance).
GrayPlane AdjustContrastAbout(const GrayPlane& in, double factor, double mean);
// 255 * (x / 255)^gamma.
GrayPlane AdjustGamma(const GrayPlane& in, double gamma);
// The toolbox's histogram equalisation of the working image.
GrayPlane EqualizeHistogram(const GrayPlane& in);
// `levels` evenly spaced gray levels: x goes to round(x * (levels - 1) / 255), which is shown
// as round(level * 255 / (levels - 1)). 256 levels keep the picture.
GrayPlane QuantizeLevels(const GrayPlane& in, int levels);

// A gray baseline JPEG file of the picture at `quality` (1..100), made and decoded by
// libjpeg-turbo in memory.
GrayPlane JpegRoundTrip(const GrayPlane& in, int quality);

// The geometric attacks below map each output pixel to a position in the input and sample it
// bilinearly as Rotate does. Positions are pixel centres, (0, 0) the top-left one, the centre
// c = ((width - 1) / 2, (height - 1) / 2). Those marked "edge" take a position beyond the
// outer pixel centres from the edge pixels (what they show comes from inside the picture up to
// rounding); the others blacken what comes from outside, as Rotate does.

// The content stretched by r across (its width times r) about the centre, the height kept.
GrayPlane StretchAspect(const GrayPlane& in, double r);

// The content mapped by the matrix (a b / c d) about the centre: the content at offset u from
// the centre moves to offset M u (StirMark's "general linear geometric transformation"; b and
// c are the shears, a and d the scales across and down). M must be invertible (ArgumentError).
GrayPlane AffineMap(const GrayPlane& in, double a, double b, double c, double d);

// The largest share k of the picture, centred and of its aspect, that a rotation by `degrees`
// keeps free of what comes from outside: k = min(A / (A |cos| + B |sin|),
// B / (A |sin| + B |cos|)) with A, B the half sides between the outer pixel centres (a side
// without extent, a picture one pixel wide or tall, bounds nothing).
double RotationKeptShare(int width, int height, double degrees);

// Rotation, then the largest centred upright rectangle of the picture's aspect that holds no
// black corner, cut out (the pixel centres within k A and k B of the centre, whole pixels) and
// resampled back to the picture's size: the steps an editor takes, each kept as bytes.
GrayPlane RotateCrop(const GrayPlane& in, double degrees);

// Rotation and enlargement by 1 / k about the centre in one resampling, so that no black
// corner shows (edge): output offset u samples the input at c + R(-degrees) k u.
GrayPlane RotateScale(const GrayPlane& in, double degrees);

// Keeps a rectangle of the picture's aspect holding (1 - removedShare) of its area, sides
// max(1, round(side * sqrt(1 - removedShare))), its left edge at floor((width - kept width) * x)
// (x = 0 the left edge, 0.5 centred, 1 the right edge) and its top likewise from y, and
// resamples it back to the picture's size: what sharing a picture cut to a region does.
GrayPlane CropResize(const GrayPlane& in, double removedShare, double x, double y);

// StirMark's random bending at strength s (1 its default), edge: the output pixel at
// normalised position (a, b) = (x / (width - 1), y / (height - 1)) (0 on a one-pixel side)
// samples the input at (x, y) plus
//   - the corners' displacement blended bilinearly, (1 - a)(1 - b) d00 + a (1 - b) d10 +
//     (1 - a) b d01 + a b d11: each corner moved along each axis by s (u (i + o) - o) towards
//     the inside, u uniform in [0, 1), i = 2 % of the smaller side (StirMark's -i 2 %),
//     o = 0.7 pixel (its -o 0.7), so the corners go up to i inside and o outside;
//   - a bend, greatest at the centre and nothing at the border, (bx, by) sin(pi a) sin(pi b),
//     bx and by each s (2u - 1) 1 % of the smaller side;
//   - a higher-frequency displacement, along x lx sin(2 pi px x / W) sin(2 pi qx y / H) and
//     along y ly sin(2 pi py x / W) sin(2 pi qy y / H), lx and ly each s (2u - 1) 0.5 % of the
//     smaller side, the numbers of periods px, qx, py, qy each 2 + 4u;
//   - a random jitter n(x, y) of s (2u - 1) 0.1 pixel along each axis, pixel by pixel.
// The draws come in that order: the corners (top-left, top-right, bottom-left, bottom-right,
// each x then y), bx, by, lx, ly, px, qx, py, qy, then the jitter in row-major order, x then y.
// The sines come from SinCosDegrees, so the same seed bends every picture alike on every
// machine. Where the published description gives no value (the bend, the higher frequencies,
// the jitter), the values above keep every displacement's slope small: the picture wobbles
// smoothly and never tears.
GrayPlane RandomBending(const GrayPlane& in, double s, RandomStream& random);

// A print-and-scan model: RotateScale by `degrees` (the print's skew on the scanner, cut to
// the picture), GaussianBlur of sigma (the printer's dots and the scanner's optics; none for
// 0), AdjustGamma by g (the printer's tone curve) and AddGaussianNoise of noiseSigma (the
// sensor), each kept as bytes, in that order.
GrayPlane PrintScan(const GrayPlane& in, double degrees, double sigma, double noiseSigma, double g,
                    RandomStream& random);

}  // namespace quillfen
QUILLFEN_API_END
