#pragma once
// The bundled host (camera-256.pgm) and watermark (seal-128.pgm) in an experiment with a
// fixed seed, for the watermarking benchmarks.
#include <string>

#include "quillfen/io/pgm.h"
#include "quillfen/watermark/experiment.h"

namespace quillfen::bench {

inline Experiment SampleExperiment(bool literalForms = false) {
    Bitmap host;
    Bitmap mark;
    TRixPGM().LoadFromFile(std::string(QUILLFEN_SAMPLES_DIR) + "/camera-256.pgm", host);
    TRixPGM().LoadFromFile(std::string(QUILLFEN_SAMPLES_DIR) + "/seal-128.pgm", mark);
    Experiment experiment;
    experiment.Load(host, mark);
    experiment.SetFixedSeed(20261208);
    experiment.SetLiteralForms(literalForms);
    return experiment;
}

}  // namespace quillfen::bench
