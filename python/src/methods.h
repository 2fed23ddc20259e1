#pragma once
// Watermarking methods written in Python, as the sweep and the calibration run methods: an
// object with
//
//   name            a word naming it in the rows (not a method of the catalogue)
//   embed(host, payload, seed, **params) -> (marked, key_bytes)
//   detect(suspect, key_bytes) -> score, or {"score": s, "bits": [0, 1, ...]}
//
// and optionally payload_bits (0..64), thresholds ({"1e-3": t, "1e-6": t}), strength
// ({"lowest", "highest", "default"}: then embed gets strength= and a target PSNR sets it) and
// params (a dict of further keyword arguments of embed). Pictures are (H, W) uint8 arrays of
// gray bytes, the payload a uint8 array of bits. The engine's threads call the object with the
// interpreter's lock taken for the call alone; whatever it raises or returns amiss becomes an
// Error naming the method, which the sweep writes into the row, as for a method run as programs.
#include <memory>

#include <pybind11/pybind11.h>

#include "quillfen/benchmark/robustness.h"
#include "quillfen/methods/method.h"

namespace quillfen::python {

// The catalogue entry of the object's method; Error naming what is missing or wrong (with the
// lock held). Its spec's Extra holds the object's params.
std::shared_ptr<const MethodInfo> PythonMethod(const pybind11::handle& object);

// The same as a sweep's method, under its name, judged by its thresholds when it gives some.
SweepMethod PythonSweepMethod(const pybind11::handle& object);

}  // namespace quillfen::python
