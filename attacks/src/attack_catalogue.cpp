// The catalogue table, the checks of parameter values, and the application of a cell.
#include "quillfen/attacks/attack_catalogue.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <utility>

#include "cell_steps.h"
#include "quillfen/attacks/attack_list.h"
#include "quillfen/attacks/picture_attacks.h"
#include "quillfen/image/errors.h"
#include "quillfen/image/portable_math.h"
#include "quillfen/watermark/watermark.h"

namespace quillfen {

using namespace cells;

namespace {

constexpr std::size_t kPixels = TWatermark::kHostPixels;
constexpr int kSide = TWatermark::kHostSize;

AttackParameter Real(const char* name, double lowest, double highest, const char* meaning,
                     std::optional<double> fallback = std::nullopt) {
    return {name, lowest, highest, false, false, fallback, meaning};
}

AttackParameter Whole(const char* name, double lowest, double highest, const char* meaning,
                      std::optional<double> fallback = std::nullopt) {
    return {name, lowest, highest, true, false, fallback, meaning};
}

// Sources, cited in full in the README: StirMark is Petitcolas, Anderson and Kuhn, "Attacks
// on copyright marking systems" (1998), its program's documented tests and StirMark
// Benchmark 4's default profile; WAVES is An et al. (2024); Stable Signature is Fernandez et
// al. (2023); the print-and-scan model follows Lin and Chang (1999).
std::vector<AttackInfo> BuildCatalogue() {
    using enum AttackId;
    constexpr AttackGroup Photometric = AttackGroup::Photometric;
    constexpr AttackGroup Degradation = AttackGroup::Degradation;
    constexpr AttackGroup Geometric = AttackGroup::Geometric;
    constexpr AttackGroup Combined = AttackGroup::Combined;
    constexpr const char* kWorkspace = "the watermark workspace's experiment";
    return {
        {None, "none", {}, false, "the watermarked picture unchanged", AttackGroup::None, kWorkspace},
        {Jpeg, "jpeg", {Real("scale", 0.01, 100, "scale of the quantisation steps (0.5 is the workspace's)", 0.5)},
         false, "the workspace's JPEG-style quantisation of the 8 x 8 block DCT", Degradation, kWorkspace},
        {Blur, "blur", {Whole("passes", 1, 100, "times the blur is applied", 1)}, false,
         "the workspace's 3 x 3 weighted blur, repeated: each pass rounds down (darkening by about half a gray "
         "level) and keeps the one-pixel frame unblurred",
         Degradation, kWorkspace},
        {CropZeroQuarter, "crop-zero-quarter", {}, false, "top-left quarter blackened", Geometric, kWorkspace},
        {CropImageQuarter, "crop-image-quarter", {}, false, "top-left quarter replaced by the host", Geometric,
         kWorkspace},
        {CropZeroHalf, "crop-zero-half", {}, false, "top and bottom quarters blackened", Geometric, kWorkspace},
        {CropImageHalf, "crop-image-half", {}, false, "top and bottom quarters replaced by the host", Geometric,
         kWorkspace},
        {RealJpeg, "real-jpeg", {Whole("q", 1, 100, "JPEG quality")}, false,
         "a baseline JPEG file made and decoded by libjpeg-turbo (gray; colour as YCbCr 4:2:0)", Degradation,
         "StirMark Benchmark 4, JPEG 15-100"},
        {Median, "median", {{"k", 1, 15, true, true, std::nullopt, "window side"}}, false, "k x k median filter",
         Degradation, "StirMark Benchmark 4, median filters 3-9"},
        {GaussNoise, "gauss-noise", {Real("sigma", 0, 255, "standard deviation in gray levels")}, true,
         "additive Gaussian noise", Degradation, "WAVES and Stable Signature, Gaussian noise"},
        {SaltPepper, "salt-pepper", {Real("p", 0, 1, "share of pixels replaced")}, true,
         "pixels replaced by black or white", Degradation, "StirMark Benchmark 4 noise, as impulses"},
        {Sharpen, "sharpen", {Real("amount", 0, 10, "weight of the detail added")}, false,
         "unsharp masking with the 3 x 3 binomial blur", Degradation, "StirMark Benchmark 4, sharpening"},
        {Scale, "scale", {Real("f", 0.1, 10, "scale factor")}, false,
         "resized by f and back to the picture's size, bilinear", Geometric, "StirMark Benchmark 4, rescale 50-200 %"},
        {Rotate, "rotate", {Real("deg", -360, 360, "degrees, counter-clockwise")}, false,
         "rotation about the centre, cropped to size, corners black", Geometric,
         "StirMark Benchmark 4, rotation 0.25-90 degrees"},
        {Shift, "shift",
         {Whole("dx", -256, 256, "pixels to the right", 0.0), Whole("dy", -256, 256, "pixels down", 0.0)}, false,
         "translation, uncovered pixels black", Geometric, "StirMark Benchmark 4's affine family, translation only"},
        {RemoveRows, "remove-rows", {Whole("n", 0, 128, "rows removed of 256")}, false,
         "evenly spaced rows removed, as many of the picture's as n is of 256, the rest stretched back", Geometric,
         "StirMark Benchmark 4, row removal"},
        {RemoveCols, "remove-cols", {Whole("n", 0, 128, "columns removed of 256")}, false,
         "evenly spaced columns removed, as many of the picture's as n is of 256, the rest stretched back",
         Geometric, "StirMark Benchmark 4, column removal"},
        {Crop, "crop", {Real("frac", 0, 1, "share of the area removed")}, false,
         "all but a centred rectangle blackened", Geometric, "StirMark Benchmark 4, cropping 1-75 %"},
        {Brightness, "brightness", {Real("d", -255, 255, "gray levels added")}, false, "brightness shifted",
         Photometric, "WAVES and Stable Signature, brightness"},
        {Contrast, "contrast", {Real("c", 0, 10, "factor about the mean gray")}, false, "contrast scaled",
         Photometric, "WAVES and Stable Signature, contrast"},
        {Gamma, "gamma", {Real("g", 0.05, 20, "exponent")}, false, "gamma correction 255 (x / 255)^g", Photometric,
         "WAVES, photometric family"},
        {Equalize, "equalize", {}, false, "the toolbox's histogram equalisation", Photometric,
         "the toolbox's histogram equalisation"},
        {Quantize, "quantize", {Whole("levels", 2, 256, "gray levels kept")}, false,
         "gray levels reduced to evenly spaced ones", Degradation, "StirMark's colour quantisation, as gray levels"},
        {GaussianBlur, "gaussian-blur", {Real("sigma", 0.1, 10, "standard deviation in pixels")}, false,
         "Gaussian blur, radius round(3 sigma), edge pixels repeated", Degradation,
         "WAVES and Stable Signature, Gaussian blur"},
        {RandomBending, "random-bending", {Real("s", 0, 3, "strength (1: StirMark's default)", 1.0)}, true,
         "StirMark's random bending: corners moved, a bend and a higher-frequency wobble, bilinear", Geometric,
         "StirMark (Petitcolas, Anderson and Kuhn 1998), StirMark Benchmark 4's random distortions"},
        {Affine, "affine",
         {Real("a", 0.5, 2, "scale across", 1.0), Real("b", -0.25, 0.25, "shear across (x moves by b y)", 0.0),
          Real("c", -0.25, 0.25, "shear down (y moves by c x)", 0.0), Real("d", 0.5, 2, "scale down", 1.0)},
         false, "the content mapped by the matrix (a b / c d) about the centre, uncovered pixels black", Geometric,
         "StirMark Benchmark 4, shearing and general linear transforms"},
        {Aspect, "aspect", {Real("r", 0.5, 2, "factor of the width")}, false,
         "the content stretched across by r about the centre, uncovered pixels black", Geometric,
         "StirMark 3.1, change of aspect ratio"},
        {RotateCrop, "rotate-crop", {Real("deg", -360, 360, "degrees, counter-clockwise")}, false,
         "rotation, the largest centred rectangle of the picture's aspect cut out and resized back", Geometric,
         "StirMark Benchmark 4, rotation with cropping and rescaling"},
        {RotateScale, "rotate-scale", {Real("deg", -360, 360, "degrees, counter-clockwise")}, false,
         "rotation and enlargement in one resampling, so that no black corner shows", Geometric,
         "StirMark Benchmark 4, rotation with scaling"},
        {CropResize, "crop-resize",
         {Real("frac", 0, 0.99, "share of the area removed"),
          Real("x", 0, 1, "where the kept part lies across (0 left, 1 right)", 0.5),
          Real("y", 0, 1, "where it lies down (0 top, 1 bottom)", 0.5)},
         false, "a part of the picture's aspect kept and resized back to the picture's size", Geometric,
         "Stable Signature's resized crop; what sharing a cut picture does"},
        {PrintScan, "print-scan",
         {Real("deg", -5, 5, "skew in degrees", 0.5), Real("sigma", 0, 5, "blur in pixels", 0.8),
          Real("noise", 0, 50, "noise in gray levels", 2.0), Real("g", 0.5, 2, "tone curve exponent", 1.1)},
         true, "printed and scanned: skew cut to the picture, blur, tone curve and sensor noise", Combined,
         "print-and-scan model of Lin and Chang (1999)"},
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

int WholeValue(double value) { return static_cast<int>(value); }

}  // namespace

GrayPlane cells::ApplyPictureAttack(const AttackStep& step, const GrayPlane& in, std::uint64_t streamSeed) {
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
        case AttackId::RemoveRows: return RemoveRows(in, LinesOf256(WholeValue(v[0]), in.height()));
        case AttackId::RemoveCols: return RemoveColumns(in, LinesOf256(WholeValue(v[0]), in.width()));
        case AttackId::Crop: return CropCentre(in, v[0]);
        case AttackId::Brightness: return AdjustBrightness(in, v[0]);
        case AttackId::Contrast: return AdjustContrast(in, v[0]);
        case AttackId::Gamma: return AdjustGamma(in, v[0]);
        case AttackId::Equalize: return EqualizeHistogram(in);
        case AttackId::Quantize: return QuantizeLevels(in, WholeValue(v[0]));
        case AttackId::GaussianBlur: return GaussianBlur(in, v[0]);
        case AttackId::RandomBending: {
            RandomStream random(streamSeed);
            return RandomBending(in, v[0], random);
        }
        case AttackId::Affine: return AffineMap(in, v[0], v[1], v[2], v[3]);
        case AttackId::Aspect: return StretchAspect(in, v[0]);
        case AttackId::RotateCrop: return RotateCrop(in, v[0]);
        case AttackId::RotateScale: return RotateScale(in, v[0]);
        case AttackId::CropResize: return CropResize(in, v[0], v[1], v[2]);
        case AttackId::PrintScan: {
            RandomStream random(streamSeed);
            return PrintScan(in, v[0], v[1], v[2], v[3], random);
        }
        default: throw ArgumentError("not an attack on the 8-bit picture");
    }
}

void cells::CheckStep(const AttackStep& step) {
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

const char* AttackGroupName(AttackGroup group) {
    switch (group) {
        case AttackGroup::None: return "none";
        case AttackGroup::Photometric: return "photometric";
        case AttackGroup::Degradation: return "degradation";
        case AttackGroup::Geometric: return "geometric";
        case AttackGroup::Combined: return "combined";
    }
    return "none";
}

AttackGroup AttackGroupOf(const AttackCell& cell) {
    AttackGroup group = AttackGroup::None;
    for (const AttackStep& step : cell.Steps) {
        const AttackGroup own = InfoOf(step.Id).Group;
        if (own == AttackGroup::None) continue;
        if (group != AttackGroup::None && group != own) return AttackGroup::Combined;
        group = own;
    }
    return group;
}

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
    for (const AttackStep& step : cell.Steps) needsHost = needsHost || NeedsHost(step.Id);
    const GrayPlane hostPlane = needsHost ? ToPlane(host) : GrayPlane();
    if (needsHost && (hostPlane.width() != plane.width() || hostPlane.height() != plane.height()))
        throw ArgumentError("the crops with the host need the " + std::to_string(plane.width()) + " x " +
                            std::to_string(plane.height()) + " host beside the picture");
    if (!region) return AttackGrayPlane(cell, std::move(plane), seed, needsHost ? &hostPlane : nullptr);
    const std::vector<double> reals(plane.pixels().begin(), plane.pixels().end());
    const AttackInput input{needsHost ? hostPlane.pixels() : plane.pixels(), plane.pixels(), reals};
    return GrayPlane(kSide, kSide, ApplyAttackCell(cell, input, seed).Bytes);
}

}  // namespace quillfen
