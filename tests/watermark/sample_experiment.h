#pragma once
// The whole experiment on the bundled PGM samples (camera-256.pgm as the host, seal-128.pgm as
// the mark) with a fixed seed, keeping what the byte-identity tests compare: every attack's
// extracted watermark and the scores. PGM needs no picture library, so this runs on every
// build, the ARM64 one included.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "image/user_prompts.h"
#include "io/pgm.h"
#include "tests/test_support.h"
#include "watermark/watermark.h"

namespace quillfen::test {

struct SampleRun {
    TWatermark::Bytes X_hat;
    TWatermark::Reals X_hat_real;
    std::optional<PsnrResult> psnr;   // X_hat_real against X
    std::optional<PsnrResult> jpeg;   // the JPEG attack's score
    std::vector<TWatermark::Bytes> W_wave;           // one per attack, in kSampleAttacks order
    std::vector<TWatermark::Reals> X_wave_real;      // one per attack
    std::vector<std::optional<double>> nc;           // one per attack
};

inline const char* const kSampleAttacks[] = {"none", "jpeg", "blur", "crop-zero-quarter", "crop-image-quarter",
                                             "crop-zero-half", "crop-image-half"};

inline SampleRun RunSampleExperiment(std::uint32_t seed, bool literalForms) {
    Bitmap host;
    Bitmap mark;
    TRixPGM().LoadFromFile(SamplePath("camera-256.pgm"), host);
    TRixPGM().LoadFromFile(SamplePath("seal-128.pgm"), mark);
    TWatermark w;
    w.SetLiteralForms(literalForms);
    w.LoadX(host);
    w.LoadW(mark);
    w.SetFixedSeed(seed);
    SilentPrompts prompts;
    w.GetWr();
    w.GetWa();
    w.GetY();
    w.GetYr();
    w.GetP();
    w.GetP_hat();
    w.GetYr_hat(TWatermark::kStrengthDivisor);
    w.GetY_hat();
    w.GetX_hat();
    SampleRun run;
    run.psnr = w.GetPSNR_Diff(prompts);
    run.X_hat = w.X_hat;
    run.X_hat_real = w.X_hat_real;
    for (const std::string attack : kSampleAttacks) {
        if (attack == "none") w.CopyXhToXw();
        if (attack == "jpeg") run.jpeg = w.ApplyJpeg(prompts);
        if (attack == "blur") w.ApplyBlurring();
        if (attack == "crop-zero-quarter") w.ApplyCroppingByZeroInQuarter();
        if (attack == "crop-image-quarter") w.ApplyCroppingByImgInQuarter();
        if (attack == "crop-zero-half") w.ApplyCroppingByZeroInHalf();
        if (attack == "crop-image-half") w.ApplyCroppingByImgInHalf();
        w.GetY_wave();
        w.GetYr_wave();
        w.GetP_wave();
        w.GetWa_wave();
        w.GetWr_wave();
        w.GetW_wave();
        run.W_wave.push_back(w.W_wave);
        run.X_wave_real.push_back(w.X_wave_real);
        run.nc.push_back(w.GetNC());
    }
    return run;
}

}  // namespace quillfen::test
