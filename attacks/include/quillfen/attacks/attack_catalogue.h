#pragma once
// The attack catalogue of the robustness benchmark: every attack a cell can apply, with its
// parameters and their accepted values, and the application of a cell to a watermarked
// picture.
//
// An attack is a pure function of (picture, parameters, seed). The picture is the 256 x 256
// watermarked image in the two forms the engine keeps: bytes (X_hat) and reals (X_hat_real),
// extraction reading the reals; the host X is needed by the two crop-with-image attacks.
//
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
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

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
};

// The parameters of attacks are described as every parameter is (parameters.h).
using AttackParameter = Parameter;

struct AttackInfo {
    AttackId Id;
    const char* Name;
    std::vector<AttackParameter> Parameters;
    bool Seeded;       // draws from the cell's random stream
    const char* Summary;
};

// Every attack, in the order of AttackId.
const std::vector<AttackInfo>& AttackCatalogue();
// The attack of that exact (lower-case) name, or null.
const AttackInfo* FindAttack(std::string_view name);
const AttackInfo& InfoOf(AttackId id);

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
// they have no 256 x 256 host). A picture of another size takes the attacks on the 8-bit
// picture alone, drawing from the same streams; the workspace's seven, made for the region,
// are refused (ArgumentError), as is a view CheckView refuses.
GrayPlane ApplyAttackCell(const AttackCell& cell, const GrayView& picture, std::uint64_t seed,
                          const GrayView& host = {});

}  // namespace quillfen
QUILLFEN_API_END
