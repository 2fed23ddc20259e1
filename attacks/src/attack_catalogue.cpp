// The catalogue table, the checks of parameter values, and the application of a cell.
#include "quillfen/attacks/attack_catalogue.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <utility>

#include "quillfen/attacks/attack_list.h"
#include "quillfen/attacks/picture_attacks.h"
#include "quillfen/image/errors.h"
#include "quillfen/image/portable_math.h"
#include "quillfen/watermark/watermark.h"

namespace quillfen {

namespace {

constexpr std::size_t kPixels = TWatermark::kHostPixels;
constexpr int kSide = TWatermark::kHostSize;

// The random stream of step i of a cell: a seeded attack alone or first in a combination
// draws the cell's seed, the others independent streams.
std::uint64_t StreamSeed(std::uint64_t seed, std::size_t step) {
    return seed ^ (static_cast<std::uint64_t>(step) * 0xA0761D6478BD642FULL);
}

bool NeedsHost(AttackId id) { return id == AttackId::CropImageQuarter || id == AttackId::CropImageHalf; }

AttackParameter Real(const char* name, double lowest, double highest, const char* meaning,
                     std::optional<double> fallback = std::nullopt) {
    return {name, lowest, highest, false, false, fallback, meaning};
}

AttackParameter Whole(const char* name, double lowest, double highest, const char* meaning,
                      std::optional<double> fallback = std::nullopt) {
    return {name, lowest, highest, true, false, fallback, meaning};
}

std::vector<AttackInfo> BuildCatalogue() {
    using enum AttackId;
    return {
        {None, "none", {}, false, "the watermarked picture unchanged"},
        {Jpeg, "jpeg", {Real("scale", 0.01, 100, "scale of the quantisation steps (0.5 is the workspace's)", 0.5)},
         false, "the workspace's JPEG-style quantisation of the 8 x 8 block DCT"},
        {Blur, "blur", {Whole("passes", 1, 100, "times the blur is applied", 1)}, false,
         "the workspace's 3 x 3 weighted blur, repeated: each pass rounds down (darkening by about half a gray "
         "level) and keeps the one-pixel frame unblurred"},
        {CropZeroQuarter, "crop-zero-quarter", {}, false, "top-left quarter blackened"},
        {CropImageQuarter, "crop-image-quarter", {}, false, "top-left quarter replaced by the host"},
        {CropZeroHalf, "crop-zero-half", {}, false, "top and bottom quarters blackened"},
        {CropImageHalf, "crop-image-half", {}, false, "top and bottom quarters replaced by the host"},
        {RealJpeg, "real-jpeg", {Whole("q", 1, 100, "JPEG quality")}, false,
         "a gray baseline JPEG file made and decoded by libjpeg-turbo"},
        {Median, "median", {{"k", 1, 15, true, true, std::nullopt, "window side"}}, false,
         "k x k median filter"},
        {GaussNoise, "gauss-noise", {Real("sigma", 0, 255, "standard deviation in gray levels")}, true,
         "additive Gaussian noise"},
        {SaltPepper, "salt-pepper", {Real("p", 0, 1, "share of pixels replaced")}, true,
         "pixels replaced by black or white"},
        {Sharpen, "sharpen", {Real("amount", 0, 10, "weight of the detail added")}, false,
         "unsharp masking with the 3 x 3 binomial blur"},
        {Scale, "scale", {Real("f", 0.1, 10, "scale factor")}, false,
         "resized by f and back to 256 x 256, bilinear"},
        {Rotate, "rotate", {Real("deg", -360, 360, "degrees, counter-clockwise")}, false,
         "rotation about the centre, cropped to size, corners black"},
        {Shift, "shift",
         {Whole("dx", -256, 256, "pixels to the right", 0.0), Whole("dy", -256, 256, "pixels down", 0.0)}, false,
         "translation, uncovered pixels black"},
        {RemoveRows, "remove-rows", {Whole("n", 0, 128, "rows removed")}, false,
         "evenly spaced rows removed, the rest stretched back to 256"},
        {RemoveCols, "remove-cols", {Whole("n", 0, 128, "columns removed")}, false,
         "evenly spaced columns removed, the rest stretched back to 256"},
        {Crop, "crop", {Real("frac", 0, 1, "share of the area removed")}, false,
         "all but a centred rectangle blackened"},
        {Brightness, "brightness", {Real("d", -255, 255, "gray levels added")}, false, "brightness shifted"},
        {Contrast, "contrast", {Real("c", 0, 10, "factor about the mean gray")}, false, "contrast scaled"},
        {Gamma, "gamma", {Real("g", 0.05, 20, "exponent")}, false, "gamma correction 255 (x / 255)^g"},
        {Equalize, "equalize", {}, false, "the toolbox's histogram equalisation"},
        {Quantize, "quantize", {Whole("levels", 2, 256, "gray levels kept")}, false,
         "gray levels reduced to evenly spaced ones"},
        {GaussianBlur, "gaussian-blur", {Real("sigma", 0.1, 10, "standard deviation in pixels")}, false,
         "Gaussian blur, radius round(3 sigma), edge pixels repeated"},
    };
}

// The seven attacks of the watermark workspace, run by the workspace itself on a scratch
// workspace kept for the thread. This is the one place that knows the workspace's attack
// members and buffers.
void ApplyWorkspaceAttack(AttackId id, double value, std::span<const std::uint8_t> host,
                          AttackedPicture& picture) {
    thread_local TWatermark w(TWatermark::Planes::ResultsOnly);
    w.LoadMarked(NeedsHost(id) ? host : std::span<const std::uint8_t>(), picture.Bytes, picture.Reals);
    switch (id) {
        case AttackId::None: w.CopyXhToXw(); break;
        case AttackId::Jpeg:
            w.SetQuantScale(value);
            w.ApplyJpeg();  // the PSNR it measures is not wanted here
            break;
        case AttackId::Blur:
            for (int pass = 0; pass < static_cast<int>(value); ++pass) {
                if (pass > 0) w.LoadMarked({}, w.X_wave(), w.X_wave_real());
                w.ApplyBlurring();
            }
            break;
        case AttackId::CropZeroQuarter: w.ApplyCroppingByZeroInQuarter(); break;
        case AttackId::CropImageQuarter: w.ApplyCroppingByImgInQuarter(); break;
        case AttackId::CropZeroHalf: w.ApplyCroppingByZeroInHalf(); break;
        case AttackId::CropImageHalf: w.ApplyCroppingByImgInHalf(); break;
        default: throw ArgumentError("not an attack of the watermark workspace");
    }
    // The result changes places with the picture's planes, which the next attack overwrites.
    w.SwapAttacked(picture.Bytes, picture.Reals);
}

// The bytes as reals, into planes kept from the last picture: a plain loop over the bytes,
// which the compiler turns into vector conversions (vector::assign from byte iterators
// converts one value at a time).
void RealsOfBytes(const std::vector<std::uint8_t>& bytes, std::vector<double>& reals) {
    reals.resize(bytes.size());
    const std::uint8_t* in = bytes.data();
    double* out = reals.data();
    for (std::size_t i = 0; i < bytes.size(); ++i) out[i] = in[i];
}

bool IsWorkspaceAttack(AttackId id) { return static_cast<int>(id) <= static_cast<int>(AttackId::CropImageHalf); }

int WholeValue(double value) { return static_cast<int>(value); }

GrayPlane ApplyPictureAttack(const AttackStep& step, const GrayPlane& in, std::uint64_t streamSeed) {
    const std::vector<double>& v = step.Values;
    switch (step.Id) {
        case AttackId::RealJpeg: return JpegRoundTrip(in, WholeValue(v[0]));
        case AttackId::Median: return MedianFilter(in, WholeValue(v[0]));
        case AttackId::GaussNoise: {
            RandomStream random(streamSeed);
            return AddGaussianNoise(in, v[0], random);
        }
        case AttackId::SaltPepper: {
            RandomStream random(streamSeed);
            return AddSaltPepper(in, v[0], random);
        }
        case AttackId::Sharpen: return Sharpen(in, v[0]);
        case AttackId::Scale: return ScaleAndBack(in, v[0]);
        case AttackId::Rotate: return Rotate(in, v[0]);
        case AttackId::Shift: return Shift(in, WholeValue(v[0]), WholeValue(v[1]));
        case AttackId::RemoveRows: return RemoveRows(in, WholeValue(v[0]));
        case AttackId::RemoveCols: return RemoveColumns(in, WholeValue(v[0]));
        case AttackId::Crop: return CropCentre(in, v[0]);
        case AttackId::Brightness: return AdjustBrightness(in, v[0]);
        case AttackId::Contrast: return AdjustContrast(in, v[0]);
        case AttackId::Gamma: return AdjustGamma(in, v[0]);
        case AttackId::Equalize: return EqualizeHistogram(in);
        case AttackId::Quantize: return QuantizeLevels(in, WholeValue(v[0]));
        case AttackId::GaussianBlur: return GaussianBlur(in, v[0]);
        default: throw ArgumentError("not an attack on the 8-bit picture");
    }
}

void CheckStep(const AttackStep& step) {
    const int index = static_cast<int>(step.Id);
    if (index < 0 || index >= static_cast<int>(AttackCatalogue().size()))
        throw ArgumentError("unknown attack number " + std::to_string(index));
    const AttackInfo& info = InfoOf(step.Id);
    if (step.Values.size() != info.Parameters.size())
        throw ArgumentError(std::string("attack ") + info.Name + " takes " + std::to_string(info.Parameters.size()) +
                            " parameter values, not " + std::to_string(step.Values.size()));
    for (std::size_t i = 0; i < step.Values.size(); ++i) {
        const AttackParameter& parameter = info.Parameters[i];
        if (const auto reason = CheckParameterValue(parameter, step.Values[i]))
            throw ArgumentError(std::string("attack ") + info.Name + ": " + parameter.Name + "=" +
                                FormatAttackNumber(step.Values[i]) + " " + *reason + " (accepted: " +
                                AcceptedValues(parameter) + ")");
    }
}

}  // namespace

const std::vector<AttackInfo>& AttackCatalogue() {
    static const std::vector<AttackInfo> catalogue = BuildCatalogue();
    return catalogue;
}

const AttackInfo* FindAttack(std::string_view name) {
    for (const AttackInfo& info : AttackCatalogue())
        if (name == info.Name) return &info;
    return nullptr;
}

const AttackInfo& InfoOf(AttackId id) { return AttackCatalogue()[static_cast<std::size_t>(id)]; }

bool IsExperimentAttack(const AttackCell& cell) {
    if (cell.Steps.size() != 1 || !IsWorkspaceAttack(cell.Steps[0].Id)) return false;
    const AttackStep& step = cell.Steps[0];
    const std::vector<AttackParameter>& parameters = InfoOf(step.Id).Parameters;
    if (step.Values.size() != parameters.size()) return false;
    for (std::size_t i = 0; i < parameters.size(); ++i)
        if (!parameters[i].Default || step.Values[i] != *parameters[i].Default) return false;
    return true;
}

AttackedPicture ApplyAttackCell(const AttackCell& cell, const AttackInput& input, std::uint64_t seed) {
    AttackedPicture picture;
    ApplyAttackCell(cell, input, seed, picture);
    return picture;
}

namespace {

// One picture on its way through a cell. A picture attack leaves reals that are its bytes, so
// the reals are made only when a workspace attack reads them and once at the end: X_hat's own
// before any picture attack, else the bytes.
struct CellRun {
    const AttackInput& Input;
    AttackedPicture& Picture;
    bool RealsMade = false;
    bool BytesAttacked = false;

    CellRun(const AttackInput& input, AttackedPicture& picture) : Input(input), Picture(picture) {
        if (input.Host.size() != kPixels || input.Marked.size() != kPixels || input.MarkedReal.size() != kPixels)
            throw ArgumentError("an attack needs 256 x 256 host and watermarked pictures");
    }
    void Start() { Picture.Bytes.assign(Input.Marked.begin(), Input.Marked.end()); }
    void MakeReals() {
        if (BytesAttacked)
            RealsOfBytes(Picture.Bytes, Picture.Reals);
        else
            Picture.Reals.assign(Input.MarkedReal.begin(), Input.MarkedReal.end());
        RealsMade = true;
    }
    void Workspace(const AttackStep& step) {
        if (!RealsMade) MakeReals();
        ApplyWorkspaceAttack(step.Id, step.Values.empty() ? 0.0 : step.Values[0], Input.Host, Picture);
    }
    GrayPlane TakeBytes() { return GrayPlane(kSide, kSide, std::move(Picture.Bytes)); }
    void Attacked(GrayPlane attacked) {
        Picture.Bytes = attacked.ReleasePixels();
        RealsMade = false;
        BytesAttacked = true;
    }
    void Finish(const AttackCell& cell) {
        // A file holds bytes: a cell is scored on them, the experiment's own attacks aside.
        if (!IsExperimentAttack(cell))
            RealsOfBytes(Picture.Bytes, Picture.Reals);
        else if (!RealsMade)
            MakeReals();
    }
};

// The steps that draw noise or move pixels, on two pictures at once; the others one by one.
std::array<GrayPlane, 2> ApplyPictureAttackTwice(const AttackStep& step, const GrayPlane& a, const GrayPlane& b,
                                                 std::uint64_t streamSeed) {
    switch (step.Id) {
        case AttackId::GaussNoise: {
            RandomStream random(streamSeed);
            return AddGaussianNoise(a, b, step.Values[0], random);
        }
        case AttackId::SaltPepper: {
            RandomStream random(streamSeed);
            return AddSaltPepper(a, b, step.Values[0], random);
        }
        case AttackId::Rotate: return Rotate(a, b, step.Values[0]);
        default: return {ApplyPictureAttack(step, a, streamSeed), ApplyPictureAttack(step, b, streamSeed)};
    }
}

}  // namespace

void ApplyAttackCell(const AttackCell& cell, const AttackInput& input, std::uint64_t seed,
                     AttackedPicture& picture) {
    CellRun run(input, picture);
    for (const AttackStep& step : cell.Steps) CheckStep(step);
    run.Start();
    for (std::size_t i = 0; i < cell.Steps.size(); ++i) {
        const AttackStep& step = cell.Steps[i];
        if (IsWorkspaceAttack(step.Id))
            run.Workspace(step);
        else
            run.Attacked(ApplyPictureAttack(step, run.TakeBytes(), StreamSeed(seed, i)));
    }
    run.Finish(cell);
}

void ApplyAttackCell(const AttackCell& cell, const AttackInput& first, const AttackInput& second,
                     std::uint64_t seed, AttackedPicture& firstPicture, AttackedPicture& secondPicture) {
    if (&firstPicture == &secondPicture) throw ArgumentError("two attacked pictures cannot share their planes");
    CellRun runs[] = {CellRun(first, firstPicture), CellRun(second, secondPicture)};
    for (const AttackStep& step : cell.Steps) CheckStep(step);
    for (CellRun& run : runs) run.Start();
    for (std::size_t i = 0; i < cell.Steps.size(); ++i) {
        const AttackStep& step = cell.Steps[i];
        if (IsWorkspaceAttack(step.Id)) {
            for (CellRun& run : runs) run.Workspace(step);
            continue;
        }
        std::array<GrayPlane, 2> attacked =
            ApplyPictureAttackTwice(step, runs[0].TakeBytes(), runs[1].TakeBytes(), StreamSeed(seed, i));
        runs[0].Attacked(std::move(attacked[0]));
        runs[1].Attacked(std::move(attacked[1]));
    }
    for (CellRun& run : runs) run.Finish(cell);
}

GrayPlane ApplyAttackCell(const AttackCell& cell, const GrayView& picture, std::uint64_t seed,
                          const GrayView& host) {
    for (const AttackStep& step : cell.Steps) CheckStep(step);
    GrayPlane plane = ToPlane(picture);
    const bool region = plane.width() == kSide && plane.height() == kSide;
    bool needsHost = false;
    for (const AttackStep& step : cell.Steps) {
        if (IsWorkspaceAttack(step.Id) && !region)
            throw ArgumentError(std::string("attack ") + InfoOf(step.Id).Name +
                                " works on the 256 x 256 marked region, not on a picture of " +
                                std::to_string(plane.width()) + " x " + std::to_string(plane.height()));
        needsHost = needsHost || NeedsHost(step.Id);
    }
    if (!region) {
        for (std::size_t i = 0; i < cell.Steps.size(); ++i)
            plane = ApplyPictureAttack(cell.Steps[i], plane, StreamSeed(seed, i));
        return plane;
    }
    const GrayPlane hostPlane = needsHost ? ToPlane(host) : GrayPlane();
    if (needsHost && (hostPlane.width() != kSide || hostPlane.height() != kSide))
        throw ArgumentError("the crops with the host need the 256 x 256 host beside the picture");
    const std::vector<double> reals(plane.pixels().begin(), plane.pixels().end());
    const AttackInput input{needsHost ? hostPlane.pixels() : plane.pixels(), plane.pixels(), reals};
    return GrayPlane(kSide, kSide, ApplyAttackCell(cell, input, seed).Bytes);
}

}  // namespace quillfen
