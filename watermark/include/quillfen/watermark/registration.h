#pragma once
// Registration of a suspect picture to a reference (the original or the marked picture):
// the similarity transform (rotation, scale, translation) that maps the reference's frame
// onto the suspect is estimated, and the suspect is resampled into the reference's frame, so
// that the mark's region lines up with its 8 x 8 blocks again.
//
// The estimate is OpenCV's: Fourier-Mellin starts (phase correlation of the log-polar
// magnitude spectra for rotation and scale, then of the pictures for the translation; and the
// start without rotation or scaling) refined by the enhanced correlation coefficient
// (findTransformECC, affine), the best fit winning. OpenCV's own code runs
// in single precision with the SIMD paths of the machine, so the transform found may differ
// in its last digits between machines; the verdict, not the bytes, is what stays the same.
// A transform that moves no corner of the marked region more than a quarter pixel away from a
// whole-pixel shift is taken as that shift, and the suspect is copied rather than resampled,
// so that a picture that was never moved, or only cropped, loses nothing to interpolation.
//
// OpenCV's libraries take tens of milliseconds to load and start, so the OpenCV code lives in a
// module of its own (libquillfen_registration.so), loaded the first time a picture is
// registered: no other command pays for it. The module is looked for in QUILLFEN_MODULE_PATH,
// beside the watermark library when it is a shared one (in its quillfen/ folder), then
// through the run path of the program that holds it. It is the only code that links OpenCV;
// the engine and the toolbox do not.
#include <string>
#include <vector>

#include "quillfen/image/export.h"
#include "quillfen/image/gray_plane.h"
#include "quillfen/image/gray_view.h"

QUILLFEN_API_BEGIN
namespace quillfen {

// Maps a point of the reference to the suspect: rotation by RotationDegrees (counter-
// clockwise on screen) and scaling by Scale about the reference's origin, then a shift by
// (ShiftX, ShiftY) pixels. For a suspect made by rotating and resizing the reference about
// its top-left corner these are the rotation and the resize factor.
struct SimilarityTransform {
    double RotationDegrees = 0.0;
    double Scale = 1.0;
    double ShiftX = 0.0;
    double ShiftY = 0.0;
};

struct Registration {
    GrayPlane Picture;              // the suspect in the reference's frame and size
    SimilarityTransform Transform;  // reference -> suspect
    // Correlation coefficient (-1..1) of the resampled suspect with the reference over the
    // pixels the suspect covers: 1 for a perfect fit, near 0 for pictures that do not match.
    double Fit = 0.0;
    bool Identity = false;          // no transform was needed: Picture is the suspect
};

// Below this fit the registration is not to be trusted (the pictures may not be related).
inline constexpr double kPoorFit = 0.5;

// How well `picture` matches `reference` where the mark lies: the correlation coefficient
// (-1..1) of their top-left 256 x 256 regions (as much of them as both hold), 0 when either is
// flat there or they share less than 32 x 32. For a suspect as it is and for a registration's
// Picture alike, so that the two can be compared.
double RegionFit(const GrayPlane& picture, const GrayPlane& reference);

// Registers `suspect` to `reference` and undoes the transform. Both must be at least 32 x 32
// (ArgumentError). Never fails for unrelated pictures: their fit is low. Throws Error, saying
// where it was looked for, when the module cannot be loaded.
QUILLFEN_EXPORT Registration RegisterAndUndo(const GrayPlane& suspect, const GrayPlane& reference);
// The same for a caller's pixels (ArgumentError for a view CheckView refuses).
QUILLFEN_EXPORT Registration RegisterAndUndo(const GrayView& suspect, const GrayView& reference);

namespace registration {

struct Functions {
    Registration (*registerAndUndo)(const GrayPlane& suspect, const GrayPlane& reference);
};

inline constexpr const char* kModuleFile = "libquillfen_registration.so";
// The module's one exported symbol; its version changes whenever Functions does.
inline constexpr const char* kEntryPoint = "quillfen_registration_v1";

// Loads the module from the first of `candidates` (paths, or a bare name for the dynamic
// loader to find) that loads; what RegisterAndUndo does with the usual places.
const Functions& LoadModuleFrom(const std::vector<std::string>& candidates);

}  // namespace registration
}  // namespace quillfen
QUILLFEN_API_END
