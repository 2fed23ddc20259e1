#include "sweeps.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <pybind11/stl.h>
#include <pybind11/stl/filesystem.h>

#include "arrays.h"
#include "methods.h"
#include "quillfen/benchmark/calibration.h"
#include "quillfen/benchmark/robustness.h"
#include "quillfen/benchmark/robustness_rows.h"
#include "quillfen/benchmark/sweep_inputs.h"
#include "quillfen/image/detail/suggestions.h"
#include "quillfen/image/errors.h"
#include "quillfen/image/progress.h"
#include "quillfen/io/picture_files.h"
#include "quillfen/methods/method.h"
#include "quillfen/watermark/marking.h"
#include "quillfen/watermark/registration.h"
#include "quillfen/watermark/watermark.h"

namespace quillfen::python {

namespace {

namespace fs = std::filesystem;

using NamedArrays = std::vector<std::pair<std::string, py::object>>;

std::vector<NamedPicture> PicturesOf(const NamedArrays& given, const char* what) {
    std::vector<NamedPicture> pictures;
    for (const auto& [name, array] : given) pictures.push_back({name, BitmapOf(PictureOf(array, what))});
    return pictures;
}

// A Python callable told of the progress from the engine's threads (one call at a time). The
// first exception it raises stops the run (no new row or key starts) and is raised again
// when the run has returned.
class Progress {
public:
    explicit Progress(py::object callable) : callable_(std::move(callable)) {}

    void Tell(std::uint64_t done, std::uint64_t total) {
        if (callable_.is_none() || cancel_.load()) return;
        py::gil_scoped_acquire acquire;
        try {
            callable_(done, total);
        } catch (py::error_already_set& e) {
            raised_ = std::make_unique<py::error_already_set>(std::move(e));
            cancel_.store(true);
        }
    }

    const std::atomic<bool>* Cancel() const { return &cancel_; }

    // Stops the run for an exception raised outside the callable (a signal's).
    void Stop(py::error_already_set raised) {
        if (!raised_) raised_ = std::make_unique<py::error_already_set>(std::move(raised));
        cancel_.store(true);
    }

    // Raises what the callable raised, if anything (with the interpreter's lock held).
    void RaiseIfStopped() {
        if (raised_) {
            py::error_already_set e = std::move(*raised_);
            raised_.reset();
            throw e;
        }
    }

private:
    py::object callable_;
    std::atomic<bool> cancel_{false};
    std::unique_ptr<py::error_already_set> raised_;
};

// Runs `work` (with the interpreter's lock released) on a thread of its own while this thread
// waits, so that Ctrl-C reaches the interpreter: the signal's exception (KeyboardInterrupt)
// stops the run through the progress's cancel flag, the method objects' calls in progress are
// left, the rows or keys already started are finished, and the exception is raised when the
// work has returned. Exceptions of the work pass through.
template <class Work>
void RunInterruptibly(Progress& progress, MethodCalls& calls, Work work) {
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    std::exception_ptr failure;
    std::thread worker([&] {
        try {
            work();
        } catch (...) {
            failure = std::current_exception();
        }
        const std::lock_guard<std::mutex> lock(mutex);
        done = true;
        finished.notify_all();
    });
    for (;;) {
        {
            py::gil_scoped_release release;
            std::unique_lock<std::mutex> lock(mutex);
            if (finished.wait_for(lock, std::chrono::milliseconds(100), [&] { return done; })) break;
        }
        // Signals are handled on the main thread only; elsewhere this does nothing. The method
        // objects' calls in progress are left, so that the rows started end at once.
        if (PyErr_CheckSignals() != 0) {
            progress.Stop(py::error_already_set());
            calls.Stop();
        }
    }
    {
        py::gil_scoped_release release;
        worker.join();
    }
    progress.RaiseIfStopped();
    if (failure) std::rethrow_exception(failure);
}

// The rows of a sweep as JSON Lines rows, one string each, in row order.
std::vector<std::string> Robustness(const std::vector<fs::path>& hostPaths, const NamedArrays& hostArrays,
                                    const py::object& mark, const std::string& seeds,
                                    const std::vector<std::string>& attacks, const std::vector<std::string>& methods,
                                    const py::list& methodObjects, std::optional<double> targetPsnr,
                                    const py::object& calibration, int jobs, bool registering,
                                    std::uint64_t shardIndex, std::uint64_t shardCount,
                                    const py::object& progressCallable) {
    SweepInputs inputs;
    inputs.Methods = methods;
    // Read here, with the interpreter's lock held; `inputs` keeps the objects until the run is over.
    auto calls = std::make_shared<MethodCalls>();
    for (const py::handle object : methodObjects) inputs.MoreMethods.push_back(PythonSweepMethod(object, calls));
    inputs.TargetPsnr = targetPsnr;
    inputs.Hosts = hostPaths;
    inputs.Pictures = PicturesOf(hostArrays, "host");
    if (py::isinstance<py::tuple>(mark)) {
        const auto named = mark.cast<std::pair<std::string, py::object>>();
        inputs.MarkPicture = NamedPicture{named.first, BitmapOf(PictureOf(named.second, "mark"))};
    } else {
        inputs.Mark = mark.cast<fs::path>();
    }
    inputs.Seeds = seeds;
    inputs.Attacks = attacks;
    std::optional<Calibration> given;
    if (py::isinstance<Calibration>(calibration)) given = calibration.cast<Calibration>();
    else if (!calibration.is_none()) inputs.Calibration = calibration.cast<fs::path>();
    inputs.Part = Shard{shardIndex, shardCount};
    inputs.Jobs = jobs;
    inputs.Register = registering;

    Progress progress(progressCallable);
    std::vector<std::string> rows;
    RunInterruptibly(progress, *calls, [&] {
        PreparedSweep prepared = PrepareSweep(inputs);
        SweepPlan& plan = prepared.Plan;
        if (given) {
            plan.Thresholds = *given;
            CheckSweepPlan(plan);
        }
        // The registration module is loaded now, so that a missing one stops the run before any
        // row (as quillfen-cli robustness --register does) instead of failing every geometric row.
        if (plan.Register) RegisterAndUndo(GrayPlane(32, 32, 128), GrayPlane(32, 32, 128));
        const RowRange range = ShardRows(plan.RowCount(), plan.Part);
        rows.resize(range.End - range.Begin);
        SweepCallbacks callbacks;
        callbacks.Row = [&](std::uint64_t r, const RobustnessRow& row) { rows[r - range.Begin] = RowJson(row); };
        callbacks.Progress = [&](std::uint64_t done, std::uint64_t total) { progress.Tell(done, total); };
        callbacks.Cancel = progress.Cancel();
        RunSweep(plan, callbacks);
    });
    return rows;
}

// What names the rows of a sweep, in the plan's order: the hosts (as rows name them), the
// seeds, the methods' labels (none in a run of the polarity method alone) and the cells. Row r
// is host r / (S M C), seed (r / (M C)) mod S, method (r / C) mod M, cell r mod C.
py::tuple PlanNames(const std::vector<fs::path>& hostPaths, const NamedArrays& hostArrays, const std::string& seeds,
                    const std::vector<std::string>& attacks, const std::vector<std::string>& methods,
                    const py::list& methodObjects, bool targetPsnr) {
    std::vector<std::string> objectNames;
    for (const py::handle object : methodObjects) objectNames.push_back(PythonMethod(object)->Name);
    std::vector<std::string> hosts, labels, cells;
    std::vector<std::uint32_t> seedList;
    {
        py::gil_scoped_release release;
        if (!hostPaths.empty() || hostArrays.empty())
            for (const HostFile& file : FindHostPictures(hostPaths)) hosts.push_back(RowHostName(file.Name));
        for (const auto& [name, array] : hostArrays) hosts.push_back(RowHostName(name));
        seedList = ParseSweepSeeds(seeds);
        for (const AttackCell& cell : ParseSweepAttacks(attacks)) cells.push_back(cell.Name);
        for (const SweepMethod& method : ParseSweepMethods(methods, targetPsnr)) labels.push_back(method.Label);
        // The default method stays beside the objects, as the sweep adds it.
        if (!objectNames.empty() && labels.empty()) labels.push_back(DefaultMethod().Name());
        labels.insert(labels.end(), objectNames.begin(), objectNames.end());
    }
    return py::make_tuple(hosts, seedList, labels, cells);
}

Calibration Calibrate(const std::vector<fs::path>& hostPaths, const NamedArrays& hostArrays, const py::object& mark,
                      const std::string& seedList, const std::vector<std::string>& attackLists,
                      const std::string& methodText, const py::object& methodObject, int jobs,
                      const py::object& progressCallable) {
    CalibrationInputs inputs;
    inputs.Hosts = hostPaths;
    inputs.Pictures = PicturesOf(hostArrays, "host");
    inputs.Method = methodText;
    // A method given as a Python object (read with the lock held) takes the place of its name.
    auto calls = std::make_shared<MethodCalls>();
    if (!methodObject.is_none()) inputs.MethodObject = MakeMethod(DefaultsOf(PythonMethod(methodObject, calls)));
    if (py::isinstance<py::tuple>(mark)) {
        const auto named = mark.cast<std::pair<std::string, py::object>>();
        inputs.MarkPicture = NamedPicture{named.first, BitmapOf(PictureOf(named.second, "mark"))};
    } else if (!mark.is_none()) {
        inputs.Mark = mark.cast<fs::path>();
    }
    inputs.Seeds = seedList;
    inputs.Attacks = attackLists;
    Progress progress(progressCallable);
    CalibrationOptions options;
    options.Program = "quillfen (Python) " QF_VERSION;
    options.Jobs = jobs;
    options.Progress = [&progress](std::size_t done, std::size_t total) { progress.Tell(done, total); };
    options.Cancel = progress.Cancel();
    Calibration calibration;
    RunInterruptibly(progress, *calls, [&] {
        PreparedCalibration prepared;
        try {
            prepared = PrepareCalibration(inputs);
        } catch (const SweepInputError& e) {
            // Named as the keywords name them.
            const char* keyword = e.Input == SweepInput::Methods ? "method: "
                                  : e.Input == SweepInput::Mark  ? "mark: "
                                                                 : "";
            throw ArgumentError(keyword + std::string(e.what()));
        }
        try {
            calibration = quillfen::Calibrate(prepared.Hosts, *prepared.Method, prepared.Mark ? &*prepared.Mark : nullptr,
                                              prepared.Seeds, prepared.Attacks, options);
        } catch (const Cancelled&) {
            if (!progress.Cancel()->load()) throw;
        }
    });
    return calibration;
}

}  // namespace

void RegisterSweeps(py::module_& m) {
    m.def("_robustness", &Robustness, py::arg("host_paths"), py::arg("host_arrays"), py::arg("mark"), py::arg("seeds"),
          py::arg("attacks"), py::arg("methods"), py::arg("method_objects"), py::arg("target_psnr"),
          py::arg("calibration"), py::arg("jobs"), py::arg("register"), py::arg("shard_index"), py::arg("shard_count"),
          py::arg("progress"));
    m.def("_plan_names", &PlanNames, py::arg("host_paths"), py::arg("host_arrays"), py::arg("seeds"), py::arg("attacks"),
          py::arg("methods"), py::arg("method_objects"), py::arg("target_psnr"));
    m.def("_calibrate", &Calibrate, py::arg("host_paths"), py::arg("host_arrays"), py::arg("mark"), py::arg("seeds"),
          py::arg("attacks"), py::arg("method"), py::arg("method_object"), py::arg("jobs"), py::arg("progress"));
    m.def("_method_name", &MethodName);
    m.def("_available_threads", &AvailableThreads);
}

}  // namespace quillfen::python
