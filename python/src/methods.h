#pragma once
// Watermarking methods written in Python, as the sweep and the calibration run methods: an
// object with
//
//   name            a word naming it in the rows (not a method of the catalogue)
//   embed(host, payload, seed, **params) -> (marked, key_bytes)
//   detect(suspect, key_bytes) -> score, or {"score": s, "bits": [0, 1, ...]}
//
// and optionally payload_bits (0..64), thresholds ({"1e-3": t, "1e-6": t}), strength
// ({"lowest", "highest", "default"}: then embed gets strength= and a target PSNR sets it),
// params (a dict of further keyword arguments of embed) and time_limit_seconds (1..3600, 60 by
// default, as for a method run as programs). Pictures are (H, W) uint8 arrays of gray bytes,
// the payload a uint8 array of bits. Whatever it raises or returns amiss becomes an Error
// naming the method, which the sweep writes into the row, as for a method run as programs.
//
// Each call runs on a Python thread of its own while the engine's thread that asked for it
// waits, so that a call can be left: one that runs past its time limit, or every one when the
// run is stopped (MethodCalls::Stop, Ctrl-C), gets an exception raised in it (the interpreter
// raises it at the method's next Python instruction) and its row an error at once; a call
// stuck in one long C function (a sleep, a large numpy operation) ends when that returns,
// its result unused.
#include <memory>
#include <mutex>
#include <vector>

#include <pybind11/pybind11.h>

#include "quillfen/benchmark/robustness.h"
#include "quillfen/methods/method.h"

namespace quillfen::python {

struct MethodCall;

// The calls of one run's method objects: Stop leaves every call in progress and refuses new
// ones (each then fails at once, naming the method).
class MethodCalls {
public:
    void Stop();
    // Takes in a call about to be made; false when the run is stopped (the call is not made).
    bool Add(const std::shared_ptr<MethodCall>& call);
    void Remove(const MethodCall* call);

private:
    std::mutex mutex_;
    bool stopped_ = false;
    std::vector<std::weak_ptr<MethodCall>> active_;
};

// The method of the object; Error naming what is missing or wrong (with the lock held). Its
// calls belong to `calls` (none: calls that no one stops but their time limit).
std::shared_ptr<const MethodInfo> PythonMethod(const pybind11::handle& object,
                                               std::shared_ptr<MethodCalls> calls = nullptr);

// The same as a sweep's method, under its name, judged by its thresholds when it gives some.
SweepMethod PythonSweepMethod(const pybind11::handle& object, std::shared_ptr<MethodCalls> calls = nullptr);

// The module's part of the calls: the class the calls' threads report through.
void RegisterMethodCalls(pybind11::module_& m);

}  // namespace quillfen::python
