#pragma once
// The attack catalogue of the robustness benchmark: every attack a cell can apply, with its
// parameters and their accepted values, its source and its group, and the application of a
// cell to a watermarked picture.
//
// An attack is a pure function of (picture, parameters, seed). Cells are applied in two ways:
//
// The marked region (AttackInput): the 256 x 256 watermarked image in the two forms the
// engine keeps, bytes (X_hat) and reals (X_hat_real), extraction reading the reals; the host X
// is needed by the two crop-with-image attacks.
// - The seven attacks of the watermark workspace (none, jpeg, blur and the four crops) are
//   the workspace's own code, run on a scratch workspace: they give exactly the bytes and
//   reals of the workspace's commands, each form computed from its own input form.
// - Every other attack works on the 8-bit picture, as a real attacker would, and gives reals
//   equal to its bytes.
// - A cell of several attacks ("scale:f=0.9+real-jpeg:q=75") applies them left to right, each
//   to both forms of the previous result.
// - What a cell gives is what a file would hold: its reals are its bytes, rounded and clamped,
//   whatever attacks it applied, except for the seven attacks of the experiment as the
//   experiment runs them (IsExperimentAttack), which keep the workspace's definition and its
//   reals (the extraction reads them).
//
// A picture (Bitmap): 24 bits, blue, green, red, of any size from 1 x 1 to the picture limits
// (quillfen/image/limits.h), as a file holds it; the result has the picture's size. A picture
// whose three bytes are equal in every pixel is a gray picture and gets gray results; any
// other is a colour picture.
// - A 256 x 256 gray picture is the marked region with its bytes as its reals: it gets what
//   the marked region gets, byte for byte, the workspace's seven included.
// - Elsewhere the seven are defined on the picture they receive, on its bytes (a workspace
//   attack after another reads the other's rounded bytes): `none` keeps the picture; `jpeg`
//   quantises the 8 x 8 block DCT of each plane as the workspace does, the blocks of a right or
//   bottom edge that the picture does not fill completed by repeating its last column or row
//   (as JPEG encoders do) and cut off again; `blur` is the workspace's 3 x 3 weighted blur,
//   rounded down, its one-pixel frame kept; the quarter crops take the top-left
//   floor(W / 2) x floor(H / 2) pixels, the half crops the top and bottom floor(H / 4) rows,
//   blackened or filled from the host (which must have the picture's size and kind).
// - Colour: each attack works on the blue, green and red planes alike, with the same geometry
//   for the three: filters, resampling, geometric attacks, tone curves (brightness, gamma,
//   quantize), equalisation and the workspace's seven plane by plane; noise draws per byte
//   (pixel by pixel, each pixel's blue, green and red in turn), so each channel takes its own
//   noise; `contrast` scales every channel about one mean, the mean luminance
//   (299 R + 587 G + 114 B) / 1000 of the picture (as image libraries' contrast does, so that
//   hue stays); `real-jpeg` writes and reads a colour JPEG file as libjpeg-turbo writes it by
//   default: YCbCr with the chroma subsampled 2 x 2 (4:2:0). A gray picture takes the gray
//   forms: one draw per pixel, a one-component JPEG file.
// - Sizes: every attack is defined on the picture it receives. Scaling goes to
//   round(W f) x round(H f) and back; rotation turns about the picture's centre; crops keep
//   the picture's shape; `remove-rows` and `remove-cols` take their count as a count of 256
//   lines and remove round(n H / 256) rows (round(n W / 256) columns), halves to even, at least
//   one when n > 0 and at most H - 1 (W - 1), so 256 lines keep their count; shifts, filter
//   windows and blur widths are in pixels, as the tools that apply them count.
// - No attack makes a picture larger than its input in between (scaling and back is computed
//   without its intermediate picture), and the memory an attack takes is a small multiple of
//   the picture's.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "quillfen/image/bitmap.h"
#include "quillfen/image/export.h"
#include "quillfen/image/gray_plane.h"
#include "quillfen/image/gray_view.h"
#include "quillfen/image/parameters.h"

QUILLFEN_API_BEGIN
namespace quillfen {

enum class AttackId {
    None,
    Jpeg,
    Blur,
    CropZeroQuarter,
    CropImageQuarter,
    CropZeroHalf,
    CropImageHalf,
    RealJpeg,
    Median,
    GaussNoise,
    SaltPepper,
    Sharpen,
    Scale,
    Rotate,
    Shift,
    RemoveRows,
    RemoveCols,
    Crop,
    Brightness,
    Contrast,
    Gamma,
    Equalize,
    Quantize,
    GaussianBlur,
    RandomBending,
    Affine,
    Aspect,
    RotateCrop,
    RotateScale,
    CropResize,
    PrintScan,
};

// The groups a report gathers attacks in: tone changes (photometric), losses of detail and
// noise (degradation), changes of geometry (geometric) and attacks made of several of these
// (combined). `none` is in none of them.
enum class AttackGroup {
    None,
    Photometric,
    Degradation,
    Geometric,
    Combined,
};

// The parameters of attacks are described as every parameter is (parameters.h).
using AttackParameter = Parameter;

struct AttackInfo {
    AttackId Id;
    const char* Name;
    std::vector<AttackParameter> Parameters;
    bool Seeded;       // draws from the cell's random stream
    const char* Summary;
    AttackGroup Group;
    const char* Source;  // where the attack and its strengths come from
};

// Every attack, in the order of AttackId.
QUILLFEN_EXPORT const std::vector<AttackInfo>& AttackCatalogue();
// The attack of that exact (lower-case) name, or null.
QUILLFEN_EXPORT const AttackInfo* FindAttack(std::string_view name);
const AttackInfo& InfoOf(AttackId id);

// "none", "photometric", "degradation", "geometric", "combined".
QUILLFEN_EXPORT const char* AttackGroupName(AttackGroup group);

// One attack with a value for each of its parameters, in catalogue order.
struct AttackStep {
    AttackId Id = AttackId::None;
    std::vector<double> Values;
    bool operator==(const AttackStep&) const = default;
};

// One cell of a robustness run: the attacks applied left to right, and the cell's name as the
// command line writes it (see attack_list.h).
struct AttackCell {
    std::string Name;
    std::vector<AttackStep> Steps;
    bool operator==(const AttackCell&) const = default;
};

// What a cell attacks. Each span holds 256 x 256 values, row-major.
struct AttackInput {
    std::span<const std::uint8_t> Host;         // X
    std::span<const std::uint8_t> Marked;       // X_hat
    std::span<const double> MarkedReal;         // X_hat_real
};

// The attacked picture in both forms (X_wave and X_wave_real).
struct AttackedPicture {
    std::vector<std::uint8_t> Bytes;
    std::vector<double> Reals;
};

// The group of a cell: its attacks' group when they all share one (`none` steps aside), else
// combined; a cell of `none` alone is in none.
QUILLFEN_EXPORT AttackGroup AttackGroupOf(const AttackCell& cell);

// Whether the cell is one of the experiment's seven attacks (none, jpeg, blur and the four
// crops) alone and with its default parameters, as the experiment runs it.
bool IsExperimentAttack(const AttackCell& cell);

// Applies the cell. Step i of the cell draws from RandomStream(seed ^ (i * 0xA0761D6478BD642F)),
// so a seeded attack alone or first in a combination draws the same numbers, and two seeded
// steps of one combination draw independent ones. The same arguments give the same bytes
// on every machine. Throws ArgumentError for planes of the wrong size or a step whose values
// the catalogue refuses.
AttackedPicture ApplyAttackCell(const AttackCell& cell, const AttackInput& input, std::uint64_t seed);
// The same into `picture`, reusing its planes (for runs over many cells).
void ApplyAttackCell(const AttackCell& cell, const AttackInput& input, std::uint64_t seed,
                     AttackedPicture& picture);
// The cell applied to two inputs with one seed (a sweep's marked picture and its host,
// unmarked), into two pictures: each is what ApplyAttackCell gives for its input, bit for bit,
// and the steps that draw noise or rotate draw and find their source positions once for both.
void ApplyAttackCell(const AttackCell& cell, const AttackInput& first, const AttackInput& second,
                     std::uint64_t seed, AttackedPicture& firstPicture, AttackedPicture& secondPicture);

// The cell applied to a caller's picture, the result as bytes. A 256 x 256 picture is taken as
// the marked region: the result is ApplyAttackCell's with the picture as X_hat (its bytes as
// the reals) and `host` as X, which only the two crops with the host read (ArgumentError when
// they have no 256 x 256 host). A picture of another size is attacked as the gray picture of
// the same bytes is (the Bitmap form below), the host of the crops having its size. A view
// CheckView refuses is refused.
QUILLFEN_EXPORT GrayPlane ApplyAttackCell(const AttackCell& cell, const GrayView& picture, std::uint64_t seed,
                          const GrayView& host = {});

// The cell applied to a picture of any size, gray or colour (see the top of this file), with
// the cell's seed as above; `host`, which only the crops with the host read, must then have
// the picture's size and kind. ArgumentError for an empty picture or one beyond the picture
// limits, a bitmap whose bytes do not match its size, a missing or mismatched host, or a step
// whose values the catalogue refuses.
QUILLFEN_EXPORT Bitmap ApplyAttackCell(const AttackCell& cell, const Bitmap& picture, std::uint64_t seed, const Bitmap& host = {});

// A sweep's two sides of one cell: the marked picture and its unmarked host, attacked with one
// seed. Each is what the one-picture form gives it, bit for bit (the crops with the host fill
// both from the host); the noise is drawn and the geometry computed once for both where they
// are of one kind. The two must have one size (ArgumentError otherwise).
struct AttackedBitmaps {
    Bitmap Marked;
    Bitmap Host;
};
AttackedBitmaps ApplyAttackCell(const AttackCell& cell, const Bitmap& marked, const Bitmap& host,
                                std::uint64_t seed);

}  // namespace quillfen
QUILLFEN_API_END
