#pragma once
// Hough line transform: Sobel edges vote in a (theta, rho) table, theta the angle of the
// line's normal and rho its signed distance from the plane's centre; every peak above the
// vote threshold is traced across the plane and its runs over edges longer than the minimum
// length are drawn in white on a black plane.
#include "quillfen/image/export.h"
#include "quillfen/image/gray_plane.h"
#include "quillfen/image/progress.h"

QUILLFEN_API_BEGIN
namespace quillfen::hough {

// The transform's parameters, with the values the desktop program starts from.
struct Parameters {
    int rhoCount = 300;          // distance cells over the plane's diagonal
    int thetaCount = 360;        // angle cells over a full turn
    int minLineLength = 10;      // a run is drawn only when longer than this
    int gradientThreshold = 10;  // an edge pixel's gradient must exceed this
    int houghThreshold = 200;    // a line's votes must exceed this
    bool lineBased = false;      // one weighted vote per edge pixel at its gradient's angle

    bool operator==(const Parameters&) const = default;
};

// The counts must lie in 2..3600 and the length and thresholds must not be negative;
// ArgumentError naming the parameter otherwise. Angle tables and half-table voting; the same
// bytes as literal::Transform. `progress`, when given, hears of every row voted and may stop
// the transform (Cancelled); it never changes the result.
GrayPlane Transform(const GrayPlane& plane, const Parameters& parameters, ProgressSink* progress = nullptr);

namespace literal {
// A sine and a cosine per edge pixel and angle, every vote cast twice.
GrayPlane Transform(const GrayPlane& plane, const Parameters& parameters);
}  // namespace literal

}  // namespace quillfen::hough
QUILLFEN_API_END
