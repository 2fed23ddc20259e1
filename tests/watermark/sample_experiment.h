#pragma once
// Two of the bundled pictures loaded into an experiment with a fixed seed, and the whole
// experiment on the PGM samples as the byte-identity tests compare it.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "quillfen/io/picture_files.h"
#include "quillfen/watermark/experiment.h"
#include "tests/test_support.h"

namespace quillfen::test {

inline Experiment SampleExperiment(const std::string& host, const std::string& mark, std::uint32_t seed) {
    Bitmap hostPicture = LoadPictureFile(SamplePath(host)).bitmap;
    Bitmap markPicture = LoadPictureFile(SamplePath(mark)).bitmap;
    Experiment experiment;
    experiment.Load(hostPicture, markPicture);
    experiment.SetFixedSeed(seed);
    return experiment;
}

// What one whole experiment leaves: X_hat, every attack's extracted watermark and the scores.
struct SampleRun {
    TWatermark::Bytes X_hat;
    TWatermark::Reals X_hat_real;
    std::optional<PsnrResult> psnr;                 // X_hat_real against X
    std::optional<PsnrResult> jpeg;                 // the JPEG attack's score
    std::vector<TWatermark::Bytes> W_wave;          // one per attack, in Experiment::Attacks() order
    std::vector<TWatermark::Reals> X_wave_real;     // one per attack
    std::vector<std::optional<double>> nc;          // one per attack
};

// The embedding and the seven attacks on camera-256.pgm and seal-128.pgm. PGM needs no
// picture library, so this runs in every build, the ARM64 one included.
inline SampleRun RunSampleExperiment(std::uint32_t seed, bool literalForms) {
    Experiment e = SampleExperiment("camera-256.pgm", "seal-128.pgm", seed);
    e.SetLiteralForms(literalForms);
    SampleRun run;
    for (const StepResult& r : e.Embed())
        if (r.step == Step::GetPSNR) run.psnr = r.psnr;
    run.X_hat = e.Workspace().X_hat();
    run.X_hat_real = e.Workspace().X_hat_real();
    for (Step attack : Experiment::Attacks()) {
        std::optional<double> nc;
        for (const StepResult& r : e.AttackAndExtract(attack)) {
            if (r.step == Step::Jpeg) run.jpeg = r.psnr;
            if (r.step == Step::GetNC) nc = r.nc;
        }
        run.W_wave.push_back(e.Workspace().W_wave());
        run.X_wave_real.push_back(e.Workspace().X_wave_real());
        run.nc.push_back(nc);
    }
    return run;
}

}  // namespace quillfen::test
