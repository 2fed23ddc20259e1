#pragma once
// How a long operation tells how far it has got, and learns that the user wants it to stop.
// The operations take an optional sink and look at it now and then (a row at a time, say);
// with no sink they run exactly as before, and a sink never changes what they compute.
#include <atomic>

#include "quillfen/image/errors.h"
#include "quillfen/image/export.h"

QUILLFEN_API_BEGIN
namespace quillfen {

// Thrown by an operation whose sink asked it to stop. Nothing it was working on has changed.
class QUILLFEN_EXPORT Cancelled : public Error {
public:
    Cancelled() : Error("Cancelled") {}
};

class QUILLFEN_EXPORT ProgressSink {
public:
    virtual ~ProgressSink() = default;
    // `fraction` of the work is done (0..1, never decreasing within one operation). Returns
    // false when the operation should stop.
    virtual bool Advance(double fraction) = 0;
};

// Reports `fraction` to `sink` (when there is one) and throws Cancelled when it says stop.
inline void Advance(ProgressSink* sink, double fraction) {
    if (sink != nullptr && !sink->Advance(fraction)) throw Cancelled();
}

// A sink that keeps the last fraction and a stop flag, both safe to read and set from other
// threads: the worker advances it, the window reads it and sets the flag.
class QUILLFEN_EXPORT SharedProgress : public ProgressSink {
public:
    bool Advance(double fraction) override {
        fraction_.store(fraction, std::memory_order_relaxed);
        return !stop_.load(std::memory_order_relaxed);
    }
    double Fraction() const { return fraction_.load(std::memory_order_relaxed); }
    void RequestStop() { stop_.store(true, std::memory_order_relaxed); }
    bool StopRequested() const { return stop_.load(std::memory_order_relaxed); }

private:
    std::atomic<double> fraction_{0.0};
    std::atomic<bool> stop_{false};
};

}  // namespace quillfen
QUILLFEN_API_END
