// The OpenCV half of registration, built as the module libquillfen_registration.so (see
// registration.h). It is called only through the loader, which has checked the sizes.
#include "quillfen/watermark/registration.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <optional>
#include <string>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/video/tracking.hpp>


namespace quillfen {

namespace {

// The Fourier-Mellin start works on copies whose longer side is at most this: rotation and
// scale show as well in the spectrum of a small copy, and the refinement runs at full size.
constexpr int kCoarseSide = 512;
// The refinement's template: the reference's top-left part, where the mark lives.
constexpr int kRefineSide = 512;
// A transform that moves no corner of the marked region by more than this (in pixels) apart
// from a whole-pixel shift is taken as that shift, and the suspect is copied, not resampled.
constexpr double kSnap = 0.25;
constexpr int kRegionSide = 256;
// How much better than a whole-pixel shift a resampling map must fit to be used.
constexpr double kShiftPreference = 0.005;

using Affine = cv::Matx23d;  // reference point -> suspect point

cv::Mat ToFloat(const GrayPlane& plane) {
    cv::Mat bytes(plane.height(), plane.width(), CV_8U, const_cast<std::uint8_t*>(plane.data()));
    cv::Mat reals;
    bytes.convertTo(reals, CV_32F);
    return reals;
}

// The log-magnitude spectrum of a picture on an N x N canvas, centred and high-passed, so
// that the low frequencies every picture shares do not decide the correlation.
cv::Mat Spectrum(const cv::Mat& picture, int n) {
    cv::Mat windowed;
    cv::Mat window;
    cv::createHanningWindow(window, picture.size(), CV_32F);
    cv::subtract(picture, cv::mean(picture), windowed);
    windowed = windowed.mul(window);
    cv::Mat canvas = cv::Mat::zeros(n, n, CV_32F);
    windowed.copyTo(canvas(cv::Rect(0, 0, picture.cols, picture.rows)));
    cv::Mat complex;
    cv::dft(canvas, complex, cv::DFT_COMPLEX_OUTPUT);
    std::array<cv::Mat, 2> parts;
    cv::split(complex, parts.data());
    cv::Mat magnitude;
    cv::magnitude(parts[0], parts[1], magnitude);
    cv::Mat shifted(n, n, CV_32F);
    const int half = n / 2;
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x) {
            const double u = static_cast<double>(x - half) / n;
            const double v = static_cast<double>(y - half) / n;
            const double c = std::cos(std::numbers::pi * u) * std::cos(std::numbers::pi * v);
            const double highPass = (1.0 - c) * (2.0 - c);
            const float value = magnitude.at<float>((y + half) % n, (x + half) % n);
            shifted.at<float>(y, x) = static_cast<float>(std::log1p(static_cast<double>(value)) * highPass);
        }
    return shifted;
}

Affine Similarity(double degrees, double scale, double shiftX, double shiftY) {
    const double radians = degrees * std::numbers::pi / 180.0;
    // Counter-clockwise on screen, where y grows downwards.
    const double c = scale * std::cos(radians);
    const double s = scale * std::sin(radians);
    return Affine(c, s, shiftX, -s, c, shiftY);
}

cv::Mat Warp(const cv::Mat& suspect, const Affine& m, cv::Size size, int interpolation) {
    cv::Mat out;
    cv::warpAffine(suspect, out, cv::Mat(m), size, interpolation | static_cast<int>(cv::WARP_INVERSE_MAP), cv::BORDER_CONSTANT,
                   cv::Scalar(0));
    return out;
}

// Correlation coefficient of a and b over the pixels where `covered` is set.
double Correlation(const cv::Mat& a, const cv::Mat& b, const cv::Mat& covered) {
    double sumA = 0.0, sumB = 0.0;
    long long count = 0;
    for (int y = 0; y < a.rows; ++y)
        for (int x = 0; x < a.cols; ++x)
            if (covered.at<std::uint8_t>(y, x)) {
                sumA += a.at<float>(y, x);
                sumB += b.at<float>(y, x);
                ++count;
            }
    // A map that shows little of the suspect in the reference's frame can correlate well by
    // chance; a quarter of the frame is the least a crop worth reading leaves.
    if (count < 16 || 4 * count < static_cast<long long>(a.rows) * a.cols) return 0.0;
    const double meanA = sumA / static_cast<double>(count);
    const double meanB = sumB / static_cast<double>(count);
    double ab = 0.0, aa = 0.0, bb = 0.0;
    for (int y = 0; y < a.rows; ++y)
        for (int x = 0; x < a.cols; ++x)
            if (covered.at<std::uint8_t>(y, x)) {
                const double da = a.at<float>(y, x) - meanA;
                const double db = b.at<float>(y, x) - meanB;
                ab += da * db;
                aa += da * da;
                bb += db * db;
            }
    if (aa <= 0.0 || bb <= 0.0) return 0.0;
    return ab / std::sqrt(aa * bb);
}

// A map an editor's rotation, resize, shift or crop can make: columns of equal length (within
// 5 %) at right angles (within about 3 degrees), a scale within 1/3..3, no mirror.
bool Plausible(const Affine& m) {
    const double a = std::hypot(m(0, 0), m(1, 0));
    const double b = std::hypot(m(0, 1), m(1, 1));
    const double det = m(0, 0) * m(1, 1) - m(0, 1) * m(1, 0);
    if (!(det > 0.0) || a < 1.0 / 3 || a > 3.0 || std::fabs(a - b) > 0.05 * a) return false;
    return std::fabs(m(0, 0) * m(0, 1) + m(1, 0) * m(1, 1)) <= 0.05 * a * b;
}

double FitOf(const cv::Mat& reference, const cv::Mat& suspect, const Affine& m) {
    if (!Plausible(m)) return -1.0;
    const cv::Mat warped = Warp(suspect, m, reference.size(), cv::INTER_LINEAR);
    const cv::Mat all(suspect.size(), CV_8U, cv::Scalar(255));
    const cv::Mat covered = Warp(all, m, reference.size(), cv::INTER_NEAREST);
    return Correlation(reference, warped, covered);
}

struct Candidate {
    Affine map;
    double fit;
};

// The rotation and scale of `turned`, with the translation phase correlation finds for them
// (either sign of the found shift, so that no sign convention has to be trusted).
Candidate WithTranslation(const cv::Mat& reference, const cv::Mat& suspect, const Affine& turned) {
    const cv::Mat unturned = Warp(suspect, turned, reference.size(), cv::INTER_LINEAR);
    const cv::Point2d d = cv::phaseCorrelate(reference, unturned);
    Candidate best{turned, -2.0};
    for (const double sign : {1.0, -1.0}) {
        const double dx = sign * d.x;
        const double dy = sign * d.y;
        const Affine m(turned(0, 0), turned(0, 1), turned(0, 0) * dx + turned(0, 1) * dy, turned(1, 0), turned(1, 1),
                       turned(1, 0) * dx + turned(1, 1) * dy);
        const double fit = FitOf(reference, suspect, m);
        if (fit > best.fit) best = {m, fit};
    }
    return best;
}

// Starting points for the refinement, best fit first: rotation and scale from the log-polar
// spectra (the angle and the angle + 180 degrees, which the spectrum's symmetry cannot tell
// apart), and no rotation or scaling at all, which wins for pictures moved only a little
// whose spectra repeat (brick walls, fabrics) and mislead the log-polar estimate.
std::vector<Candidate> CoarseCandidates(const cv::Mat& reference, const cv::Mat& suspect) {
    const int n = cv::getOptimalDFTSize(std::max({reference.cols, reference.rows, suspect.cols, suspect.rows}));
    const cv::Mat a = Spectrum(reference, n);
    const cv::Mat b = Spectrum(suspect, n);
    const double maxRadius = n / 2.0;
    const cv::Point2f centre(static_cast<float>(n / 2), static_cast<float>(n / 2));
    cv::Mat polarA, polarB;
    constexpr int kLogPolar = static_cast<int>(cv::INTER_LINEAR) | static_cast<int>(cv::WARP_POLAR_LOG);
    cv::warpPolar(a, polarA, cv::Size(n, n), centre, maxRadius, kLogPolar);
    cv::warpPolar(b, polarB, cv::Size(n, n), centre, maxRadius, kLogPolar);
    const cv::Point2d shift = cv::phaseCorrelate(polarA, polarB);
    const double degrees = -shift.y * 360.0 / n;
    // A spectrum shrinks as the picture grows: the log-radius shift is minus the log-scale.
    const double scale = std::exp(-shift.x * std::log(maxRadius) / n);

    std::vector<Candidate> candidates;
    for (const double angle : {degrees, degrees + 180.0})
        candidates.push_back(WithTranslation(reference, suspect, Similarity(angle, scale, 0, 0)));
    candidates.push_back(WithTranslation(reference, suspect, Similarity(0, 1, 0, 0)));
    std::sort(candidates.begin(), candidates.end(), [](const Candidate& x, const Candidate& y) { return x.fit > y.fit; });
    return candidates;
}

cv::Mat Shrunk(const cv::Mat& picture, double factor) {
    if (factor >= 1.0) return picture;
    cv::Mat small;
    cv::resize(picture, small, cv::Size(), factor, factor, cv::INTER_AREA);
    return small;
}

// The largest distance a corner of the marked region moves under m, apart from `shift`.
double CornerMotion(const Affine& m, double shiftX, double shiftY) {
    double largest = 0.0;
    for (const double x : {0.0, static_cast<double>(kRegionSide)})
        for (const double y : {0.0, static_cast<double>(kRegionSide)}) {
            const double mx = m(0, 0) * x + m(0, 1) * y + m(0, 2) - shiftX;
            const double my = m(1, 0) * x + m(1, 1) * y + m(1, 2) - shiftY;
            largest = std::max(largest, std::hypot(mx - x, my - y));
        }
    return largest;
}

SimilarityTransform Describe(const Affine& m) {
    SimilarityTransform t;
    // The nearest similarity to the affine map: its rotation and the root of its area change.
    t.RotationDegrees = std::atan2(m(0, 1) - m(1, 0), m(0, 0) + m(1, 1)) * 180.0 / std::numbers::pi;
    t.Scale = std::sqrt(std::fabs(m(0, 0) * m(1, 1) - m(0, 1) * m(1, 0)));
    t.ShiftX = m(0, 2);
    t.ShiftY = m(1, 2);
    return t;
}

// ECC from `start` at full size; nothing when ECC gives up (it throws on pictures that do not
// correlate) or ends on a map that no editor makes (a scale beyond 1/3..3, a stretch along
// one axis, a mirror).
std::optional<Affine> Refine(const cv::Mat& templ, const cv::Mat& suspect, const Affine& start) {
    cv::Mat warp(start, true);
    warp.convertTo(warp, CV_32F);
    try {
        cv::findTransformECC(templ, suspect, warp, cv::MOTION_AFFINE,
                             cv::TermCriteria(cv::TermCriteria::COUNT | cv::TermCriteria::EPS, 100, 1e-6),
                             cv::noArray(), 5);
    } catch (const cv::Exception&) {
        return std::nullopt;
    }
    cv::Mat found;
    warp.convertTo(found, CV_64F);
    const Affine m = found;
    if (!Plausible(m)) return std::nullopt;
    return m;
}

Registration RegisterWithOpenCV(const GrayPlane& suspect, const GrayPlane& reference) {
    const cv::Mat ref = ToFloat(reference);
    const cv::Mat sus = ToFloat(suspect);

    // The coarse estimates on copies shrunk alike, brought back to full size.
    const int longest = std::max({ref.cols, ref.rows, sus.cols, sus.rows});
    const double factor = std::min(1.0, static_cast<double>(kCoarseSide) / longest);
    std::vector<Candidate> candidates = CoarseCandidates(Shrunk(ref, factor), Shrunk(sus, factor));

    // Refinement of the two best starts on the part of the reference that holds the mark. ECC
    // gives up (throws) on pictures that do not correlate; the start then stands for itself.
    const cv::Mat templ = ref(cv::Rect(0, 0, std::min(ref.cols, kRefineSide), std::min(ref.rows, kRefineSide)));
    Affine m = candidates.front().map;
    double bestFit = -2.0;
    for (std::size_t i = 0; i < candidates.size() && i < 2; ++i) {
        Affine start = candidates[i].map;
        start(0, 2) /= factor;
        start(1, 2) /= factor;
        const double startFit = FitOf(ref, sus, start);
        if (startFit > bestFit) {
            bestFit = startFit;
            m = start;
        }
        const std::optional<Affine> refined = Refine(templ, sus, start);
        if (!refined) continue;
        const Affine candidate = *refined;
        const double fit = FitOf(ref, sus, candidate);
        if (fit > bestFit) {
            bestFit = fit;
            m = candidate;
        }
    }

    Registration result;
    result.Transform = Describe(m);
    const double shiftX = std::nearbyint(m(0, 2));
    const double shiftY = std::nearbyint(m(1, 2));
    // Resampling blurs the relations that carry the mark, so a whole-pixel shift that fits
    // almost as well wins: blackened or painted-over areas pull ECC slightly off a picture
    // that was never moved.
    const bool shiftFitsAsWell = FitOf(ref, sus, Affine(1, 0, shiftX, 0, 1, shiftY)) >= bestFit - kShiftPreference;
    if (CornerMotion(m, shiftX, shiftY) <= kSnap || shiftFitsAsWell) {
        // A whole-pixel move: copied, so that nothing is interpolated.
        const int dx = static_cast<int>(shiftX);
        const int dy = static_cast<int>(shiftY);
        result.Identity = dx == 0 && dy == 0 && suspect.width() == reference.width() &&
                          suspect.height() == reference.height();
        result.Transform = {0.0, 1.0, shiftX, shiftY};
        m = Affine(1, 0, shiftX, 0, 1, shiftY);
        if (result.Identity) {
            result.Picture = suspect;
        } else {
            GrayPlane moved(reference.width(), reference.height(), 0);
            for (int y = 0; y < moved.height(); ++y)
                for (int x = 0; x < moved.width(); ++x) {
                    const int sx = x + dx;
                    const int sy = y + dy;
                    if (sx >= 0 && sy >= 0 && sx < suspect.width() && sy < suspect.height())
                        moved.at(x, y) = suspect.at(sx, sy);
                }
            result.Picture = std::move(moved);
        }
    } else {
        const cv::Mat bytes(suspect.height(), suspect.width(), CV_8U, const_cast<std::uint8_t*>(suspect.data()));
        const cv::Mat warped = Warp(bytes, m, ref.size(), cv::INTER_CUBIC);
        result.Picture = GrayPlane(reference.width(), reference.height(),
                                   std::vector<std::uint8_t>(warped.datastart, warped.dataend));
    }
    result.Fit = FitOf(ref, sus, m);
    return result;
}

constexpr registration::Functions kFunctions{&RegisterWithOpenCV};

}  // namespace
}  // namespace quillfen

extern "C" __attribute__((visibility("default"))) const quillfen::registration::Functions* quillfen_registration_v1() {
    return &quillfen::kFunctions;
}
