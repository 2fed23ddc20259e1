// Cells applied to pictures of any size, gray or colour (the Bitmap forms of
// attack_catalogue.h): a picture goes through a cell as one plane (gray) or three (blue,
// green, red), and a sweep's two pictures go through it together, so that their noise is
// drawn and their geometry found once.
#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "cell_steps.h"
#include "plane_attacks.h"
#include "quillfen/attacks/attack_catalogue.h"
#include "quillfen/attacks/picture_attacks.h"
#include "quillfen/image/errors.h"
#include "quillfen/image/limits.h"
#include "quillfen/image/portable_math.h"
#include "quillfen/io/jpeg.h"
#include "quillfen/watermark/watermark.h"

namespace quillfen {

using namespace cells;

namespace {

constexpr int kRegion = TWatermark::kHostSize;

// One picture on its way through a cell: one plane when it is gray, else its blue, green and
// red planes.
struct Picture {
    std::vector<GrayPlane> Planes;
    int Width() const { return Planes[0].width(); }
    int Height() const { return Planes[0].height(); }
};

std::string SizeText(std::int64_t width, std::int64_t height) {
    return std::to_string(width) + " x " + std::to_string(height);
}

void CheckBitmap(const Bitmap& picture, const char* what) {
    const std::int64_t width = picture.width();
    const std::int64_t height = picture.height();
    if (width < 1 || height < 1) throw ArgumentError(std::string(what) + " is empty (" + SizeText(width, height) + ")");
    if (width > kMaxSide || height > kMaxSide || width * height > kMaxPixels)
        throw ArgumentError(std::string(what) + " of " + SizeText(width, height) + " is beyond the picture limits (" +
                            std::to_string(kMaxSide) + " pixels a side, " + std::to_string(kMaxPixels) +
                            " pixels)");
    if (picture.bytes().size() != static_cast<std::size_t>(width * height * 3))
        throw ArgumentError(std::string(what) + " holds " + std::to_string(picture.bytes().size()) +
                            " bytes, not the " + std::to_string(width * height * 3) + " of " +
                            SizeText(width, height) + " pixels");
}

bool IsGray(const Bitmap& picture) {
    const std::uint8_t* p = picture.bytes().data();
    const std::uint8_t* end = p + picture.bytes().size();
    bool gray = true;
    for (; p != end && gray; p += 3) gray = p[0] == p[1] && p[1] == p[2];
    return gray;
}

Picture Split(const Bitmap& bitmap, bool gray) {
    const int width = bitmap.width();
    const int height = bitmap.height();
    Picture picture;
    picture.Planes.assign(gray ? 1 : 3, GrayPlane(width, height));
    const std::uint8_t* in = bitmap.bytes().data();
    const std::size_t pixels = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    for (std::size_t c = 0; c < picture.Planes.size(); ++c) {
        std::uint8_t* out = picture.Planes[c].data();
        for (std::size_t i = 0; i < pixels; ++i) out[i] = in[3 * i + c];
    }
    return picture;
}

Bitmap Join(const Picture& picture) {
    if (picture.Planes.size() == 1) return Bitmap::fromGray(picture.Width(), picture.Height(), picture.Planes[0].data());
    Bitmap bitmap(picture.Width(), picture.Height(), 0);
    std::uint8_t* out = bitmap.bytes().data();
    const std::size_t pixels = picture.Planes[0].pixels().size();
    for (std::size_t c = 0; c < 3; ++c) {
        const std::uint8_t* in = picture.Planes[c].data();
        for (std::size_t i = 0; i < pixels; ++i) out[3 * i + c] = in[i];
    }
    return bitmap;
}

int Whole(double value) { return static_cast<int>(value); }

// The workspace's quantisation of the 8 x 8 block DCT on a plane of any size, run by the
// workspace itself on 256 x 256 tiles (whole numbers of blocks, so each block is quantised as
// the workspace quantises it); a tile that runs past the right or bottom edge is completed by
// repeating the last column or row, as JPEG encoders complete their edge blocks.
GrayPlane WorkspaceJpeg(const GrayPlane& in, double scale) {
    thread_local TWatermark w(TWatermark::Planes::ResultsOnly);
    w.SetQuantScale(scale);
    std::vector<std::uint8_t> tile(TWatermark::kHostPixels);
    std::vector<double> reals(TWatermark::kHostPixels);
    GrayPlane out(in.width(), in.height());
    for (int top = 0; top < in.height(); top += kRegion)
        for (int left = 0; left < in.width(); left += kRegion) {
            for (int y = 0; y < kRegion; ++y) {
                const std::uint8_t* row = in.row(std::min(top + y, in.height() - 1));
                for (int x = 0; x < kRegion; ++x) {
                    const std::size_t i = static_cast<std::size_t>(y) * kRegion + static_cast<std::size_t>(x);
                    tile[i] = row[std::min(left + x, in.width() - 1)];
                    reals[i] = tile[i];
                }
            }
            w.LoadMarked({}, tile, reals);
            w.ApplyJpeg();
            const int rows = std::min(kRegion, in.height() - top);
            const int columns = std::min(kRegion, in.width() - left);
            for (int y = 0; y < rows; ++y)
                std::copy_n(w.X_wave().data() + static_cast<std::size_t>(y) * kRegion, columns, out.row(top + y) + left);
        }
    return out;
}

// The workspace's 3 x 3 weighted blur on a plane of any size: (1 2 1 / 2 4 2 / 1 2 1) / 16,
// rounded down, the one-pixel frame copied.
GrayPlane WorkspaceBlur(const GrayPlane& in) {
    GrayPlane out = in;
    const int width = in.width();
    for (int y = 1; y + 1 < in.height(); ++y)
        for (int x = 1; x + 1 < width; ++x) {
            const std::uint8_t* p = in.row(y) + x;
            const int sum = p[-width - 1] + 2 * p[-width] + p[-width + 1] + 2 * p[-1] + 4 * p[0] + 2 * p[1] +
                            p[width - 1] + 2 * p[width] + p[width + 1];
            out.row(y)[x] = static_cast<std::uint8_t>(sum / 16);
        }
    return out;
}

// The workspace's crops on a plane of any size: the top-left floor(W / 2) x floor(H / 2)
// pixels, or the top and bottom floor(H / 4) rows, blackened or taken from the host.
GrayPlane WorkspaceCrop(const GrayPlane& in, bool half, const GrayPlane* host) {
    GrayPlane out = in;
    const int quarterRows = in.height() / 4;
    for (int y = 0; y < in.height(); ++y) {
        const bool rowInside = half ? (y < quarterRows || y >= in.height() - quarterRows) : y < in.height() / 2;
        if (!rowInside) continue;
        const int columns = half ? in.width() : in.width() / 2;
        std::uint8_t* row = out.row(y);
        if (host)
            std::copy_n(host->row(y), columns, row);
        else
            std::fill_n(row, columns, std::uint8_t{0});
    }
    return out;
}

// A colour JPEG file as libjpeg-turbo writes it by default (YCbCr, chroma 2 x 2), read back.
void ColourJpeg(Picture& picture, int quality) {
    const Bitmap decoded = [&] {
        const std::vector<std::uint8_t> file = TRixJPEG::Encode(Join(picture), quality);
        return TRixJPEG::DecodeMemory(file.data(), file.size());
    }();
    picture = Split(decoded, false);
}

// Every plane of every picture, for the steps that take their planes together.
struct AllPlanes {
    std::vector<const GrayPlane*> In;
    std::vector<GrayPlane*> Out;
    std::vector<GrayPlane> Results;
    explicit AllPlanes(std::span<Picture* const> pictures) {
        for (Picture* picture : pictures)
            for (GrayPlane& plane : picture->Planes) In.push_back(&plane);
        Results.resize(In.size());
        for (GrayPlane& result : Results) Out.push_back(&result);
    }
    planes::Batch Batch() { return {In, Out}; }
    // The results take the inputs' places.
    void Commit(std::span<Picture* const> pictures) {
        std::size_t k = 0;
        for (Picture* picture : pictures)
            for (GrayPlane& plane : picture->Planes) plane = std::move(Results[k++]);
    }
};

template <typename Function>
void EachPlane(std::span<Picture* const> pictures, Function&& function) {
    for (Picture* picture : pictures)
        for (GrayPlane& plane : picture->Planes) plane = function(plane);
}

// The mean luminance (299 R + 587 G + 114 B) / 1000 of a colour picture: whole-number sums,
// so the mean is the same double everywhere (and a gray picture's is its mean gray).
double MeanLuminance(const Picture& picture) {
    std::int64_t sum = 0;
    const std::size_t pixels = picture.Planes[0].pixels().size();
    const std::uint8_t* blue = picture.Planes[0].data();
    const std::uint8_t* green = picture.Planes[1].data();
    const std::uint8_t* red = picture.Planes[2].data();
    for (std::size_t i = 0; i < pixels; ++i) sum += 299 * red[i] + 587 * green[i] + 114 * blue[i];
    return static_cast<double>(sum) / (1000.0 * static_cast<double>(pixels));
}

// One step on the pictures (all of one size and kind); `host` is the crops' host, of their
// size and kind, or null.
void ApplyStep(const AttackStep& step, std::uint64_t streamSeed, std::span<Picture* const> pictures,
               const Picture* host) {
    const std::vector<double>& v = step.Values;
    const std::size_t channels = pictures[0]->Planes.size();
    const auto withHost = [&](bool half) {
        for (Picture* picture : pictures)
            for (std::size_t c = 0; c < channels; ++c)
                picture->Planes[c] = WorkspaceCrop(picture->Planes[c], half, &host->Planes[c]);
    };
    switch (step.Id) {
        case AttackId::None: return;
        case AttackId::Jpeg: EachPlane(pictures, [&](const GrayPlane& p) { return WorkspaceJpeg(p, v[0]); }); return;
        case AttackId::Blur:
            for (int pass = 0; pass < Whole(v[0]); ++pass) EachPlane(pictures, WorkspaceBlur);
            return;
        case AttackId::CropZeroQuarter:
            EachPlane(pictures, [](const GrayPlane& p) { return WorkspaceCrop(p, false, nullptr); });
            return;
        case AttackId::CropZeroHalf:
            EachPlane(pictures, [](const GrayPlane& p) { return WorkspaceCrop(p, true, nullptr); });
            return;
        case AttackId::CropImageQuarter: withHost(false); return;
        case AttackId::CropImageHalf: withHost(true); return;
        case AttackId::RealJpeg:
            if (channels == 3) {
                for (Picture* picture : pictures) ColourJpeg(*picture, Whole(v[0]));
                return;
            }
            break;
        case AttackId::Contrast:
            if (channels == 3) {
                for (Picture* picture : pictures) {
                    const double mean = MeanLuminance(*picture);
                    for (GrayPlane& plane : picture->Planes) plane = AdjustContrastAbout(plane, v[0], mean);
                }
                return;
            }
            break;
        case AttackId::GaussNoise:
        case AttackId::SaltPepper: {
            std::vector<GrayPlane*> all;
            for (Picture* picture : pictures)
                for (GrayPlane& plane : picture->Planes) all.push_back(&plane);
            RandomStream random(streamSeed);
            if (step.Id == AttackId::GaussNoise)
                planes::AddGaussianNoise(all, channels, v[0], random);
            else
                planes::AddSaltPepper(all, channels, v[0], random);
            return;
        }
        case AttackId::Rotate:
        case AttackId::Aspect:
        case AttackId::Affine:
        case AttackId::RotateScale:
        case AttackId::RandomBending: {
            AllPlanes all(pictures);
            if (step.Id == AttackId::Rotate) planes::Rotate(all.Batch(), v[0]);
            if (step.Id == AttackId::Aspect) planes::StretchAspect(all.Batch(), v[0]);
            if (step.Id == AttackId::Affine) planes::AffineMap(all.Batch(), v[0], v[1], v[2], v[3]);
            if (step.Id == AttackId::RotateScale) planes::RotateScale(all.Batch(), v[0]);
            if (step.Id == AttackId::RandomBending) {
                RandomStream random(streamSeed);
                planes::RandomBending(all.Batch(), v[0], random);
            }
            all.Commit(pictures);
            return;
        }
        case AttackId::PrintScan: {
            // The steps of PrintScan, the skew and the noise taken by all the planes together.
            AllPlanes skew(pictures);
            planes::RotateScale(skew.Batch(), v[0]);
            skew.Commit(pictures);
            EachPlane(pictures, [&](const GrayPlane& p) { return AdjustGamma(v[1] > 0 ? GaussianBlur(p, v[1]) : p, v[3]); });
            ApplyStep({AttackId::GaussNoise, {v[2]}}, streamSeed, pictures, host);
            return;
        }
        default: break;
    }
    // The rest work plane by plane, as on a gray picture.
    EachPlane(pictures, [&](const GrayPlane& p) { return ApplyPictureAttack(step, p, streamSeed); });
}

// The cell on pictures of one size and kind.
void RunCell(const AttackCell& cell, std::span<Picture* const> pictures, const Picture* host, std::uint64_t seed) {
    for (std::size_t i = 0; i < cell.Steps.size(); ++i) ApplyStep(cell.Steps[i], StreamSeed(seed, i), pictures, host);
}

bool ReadsHost(const AttackCell& cell) {
    for (const AttackStep& step : cell.Steps)
        if (NeedsHost(step.Id)) return true;
    return false;
}

void CheckCell(const AttackCell& cell) {
    for (const AttackStep& step : cell.Steps) CheckStep(step);
}

// The crops' host as a picture beside `picture`: of its size and kind.
Picture HostBeside(const Bitmap& host, const Bitmap& picture, bool gray) {
    if (host.empty()) throw ArgumentError("the crops with the host need the host beside the picture");
    CheckBitmap(host, "the host");
    if (host.width() != picture.width() || host.height() != picture.height())
        throw ArgumentError("the host of " + SizeText(host.width(), host.height()) + " is not of the picture's size (" +
                            SizeText(picture.width(), picture.height()) + ")");
    if (IsGray(host) != gray)
        throw ArgumentError(std::string("the host is a ") + (gray ? "colour" : "gray") + " picture and the picture " +
                            (gray ? "gray" : "colour") + ": the crops fill from a host of the picture's kind");
    return Split(host, gray);
}

// The marked region's form, for a 256 x 256 gray picture: the picture's bytes as its reals.
std::vector<double> RealsOf(const std::vector<std::uint8_t>& bytes) { return {bytes.begin(), bytes.end()}; }

}  // namespace

GrayPlane cells::AttackGrayPlane(const AttackCell& cell, GrayPlane plane, std::uint64_t seed, const GrayPlane* host) {
    Picture picture;
    picture.Planes.push_back(std::move(plane));  // an initializer list would copy it
    std::optional<Picture> hostPicture;
    if (host) hostPicture = Picture{{*host}};
    Picture* pictures[] = {&picture};
    RunCell(cell, pictures, hostPicture ? &*hostPicture : nullptr, seed);
    return std::move(picture.Planes[0]);
}

Bitmap ApplyAttackCell(const AttackCell& cell, const Bitmap& picture, std::uint64_t seed, const Bitmap& host) {
    CheckCell(cell);
    CheckBitmap(picture, "the picture");
    const bool gray = IsGray(picture);
    const bool readsHost = ReadsHost(cell);
    std::optional<Picture> hostPicture;
    if (readsHost) hostPicture = HostBeside(host, picture, gray);
    Picture attacked = Split(picture, gray);
    if (gray && picture.width() == kRegion && picture.height() == kRegion) {
        // The marked region: the workspace's seven keep their reals from step to step.
        const std::vector<std::uint8_t>& bytes = attacked.Planes[0].pixels();
        const std::vector<double> reals = RealsOf(bytes);
        const AttackInput input{readsHost ? hostPicture->Planes[0].pixels() : bytes, bytes, reals};
        const AttackedPicture result = ApplyAttackCell(cell, input, seed);
        return Bitmap::fromGray(kRegion, kRegion, result.Bytes.data());
    }
    Picture* pictures[] = {&attacked};
    RunCell(cell, pictures, hostPicture ? &*hostPicture : nullptr, seed);
    return Join(attacked);
}

AttackedBitmaps ApplyAttackCell(const AttackCell& cell, const Bitmap& marked, const Bitmap& host,
                                std::uint64_t seed) {
    CheckCell(cell);
    CheckBitmap(marked, "the marked picture");
    CheckBitmap(host, "the host");
    if (marked.width() != host.width() || marked.height() != host.height())
        throw ArgumentError("the marked picture (" + SizeText(marked.width(), marked.height()) + ") and its host (" +
                            SizeText(host.width(), host.height()) + ") are attacked together and must have one size");
    const bool markedGray = IsGray(marked);
    const bool hostGray = IsGray(host);
    if (markedGray != hostGray) {
        // Pictures of two kinds draw their noise apart: each as it is attacked alone.
        return {ApplyAttackCell(cell, marked, seed, host), ApplyAttackCell(cell, host, seed, host)};
    }
    if (markedGray && marked.width() == kRegion && marked.height() == kRegion) {
        const Picture markedPlane = Split(marked, true);
        const Picture hostPlane = Split(host, true);
        const std::vector<std::uint8_t>& markedBytes = markedPlane.Planes[0].pixels();
        const std::vector<std::uint8_t>& hostBytes = hostPlane.Planes[0].pixels();
        const std::vector<double> markedReals = RealsOf(markedBytes);
        const std::vector<double> hostReals = RealsOf(hostBytes);
        AttackedPicture attackedMarked;
        AttackedPicture attackedHost;
        ApplyAttackCell(cell, {hostBytes, markedBytes, markedReals}, {hostBytes, hostBytes, hostReals}, seed,
                        attackedMarked, attackedHost);
        return {Bitmap::fromGray(kRegion, kRegion, attackedMarked.Bytes.data()),
                Bitmap::fromGray(kRegion, kRegion, attackedHost.Bytes.data())};
    }
    Picture first = Split(marked, markedGray);
    Picture second = Split(host, hostGray);
    std::optional<Picture> filler;
    if (ReadsHost(cell)) filler = second;
    Picture* pictures[] = {&first, &second};
    RunCell(cell, pictures, filler ? &*filler : nullptr, seed);
    return {Join(first), Join(second)};
}

}  // namespace quillfen
