#pragma once
// The attacks of picture_attacks.h on several planes of one size at once: the planes of a
// colour picture (blue, green, red) and those of a sweep's two pictures, marked and unmarked,
// take the same geometry and the same noise, computed or drawn once. Each plane's result is
// what the one-plane function gives it (for noise: what it gives the plane with the same
// draws), so a gray picture gets the same bytes either way.
#include <cstddef>
#include <cstdint>
#include <span>

#include "quillfen/image/gray_plane.h"

namespace quillfen {

class RandomStream;

namespace planes {

// The inputs and the outputs, one output for each input; the outputs are replaced.
struct Batch {
    std::span<const GrayPlane* const> In;
    std::span<GrayPlane* const> Out;
};

void Rotate(const Batch& batch, double degrees);
void StretchAspect(const Batch& batch, double r);
void AffineMap(const Batch& batch, double a, double b, double c, double d);
void RotateScale(const Batch& batch, double degrees);
void RandomBending(const Batch& batch, double s, RandomStream& random);

// Noise in place on `planes`, picture after picture, each of `channels` planes: one draw per
// pixel and channel (pixel by pixel, the channels in turn), shared by the pictures.
void AddGaussianNoise(std::span<GrayPlane* const> planes, std::size_t channels, double sigma, RandomStream& random);
void AddSaltPepper(std::span<GrayPlane* const> planes, std::size_t channels, double p, RandomStream& random);

}  // namespace planes
}  // namespace quillfen
