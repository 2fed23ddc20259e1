#pragma once
// Two of the bundled pictures loaded into an experiment with a fixed seed.
#include <cstdint>
#include <string>

#include "io/picture_files.h"
#include "tests/test_support.h"
#include "watermark/experiment.h"

namespace quillfen::test {

inline Experiment SampleExperiment(const std::string& host, const std::string& mark, std::uint32_t seed) {
    Bitmap hostPicture = LoadPictureFile(SamplePath(host)).bitmap;
    Bitmap markPicture = LoadPictureFile(SamplePath(mark)).bitmap;
    Experiment experiment;
    experiment.Load(hostPicture, markPicture);
    experiment.SetFixedSeed(seed);
    return experiment;
}

}  // namespace quillfen::test
