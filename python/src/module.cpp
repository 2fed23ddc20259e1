// quillfen._quillfen: the engine for Python. Every function converts its arguments with the
// interpreter's lock held, runs the engine with the lock released (numpy arrays are read in
// place, kept alive by the call), and builds its results with the lock held again. Errors of
// the library become quillfen.Error (a ValueError) or, for files that cannot be opened, read
// or written, quillfen.FileError (an OSError), with the library's own one-line message.
// The package's Python part (quillfen/__init__.py) adds the verdict's class, the sweeps'
// executors, the toolbox's functions and the data frame of rows.
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>
#include <pybind11/operators.h>
#include <pybind11/stl.h>
#include <pybind11/stl/filesystem.h>

#include "arrays.h"
#include "quillfen/attacks/attack_catalogue.h"
#include "quillfen/attacks/attack_list.h"
#include "quillfen/benchmark/calibration.h"
#include "quillfen/benchmark/key_calibration.h"
#include "quillfen/benchmark/robustness.h"
#include "quillfen/image/errors.h"
#include "quillfen/io/picture_files.h"
#include "quillfen/methods/method.h"
#include "quillfen/toolbox/catalogue.h"
#include "quillfen/watermark/detection_thresholds.h"
#include "quillfen/watermark/experiment_outcome.h"
#include "quillfen/watermark/mark_key.h"
#include "quillfen/watermark/method_key.h"
#include "quillfen/watermark/marking.h"
#include "quillfen/watermark/metrics.h"
#include "methods.h"
#include "sweeps.h"

namespace quillfen::python {

namespace {

namespace fs = std::filesystem;

py::object Optional(const std::optional<double>& value) {
    return value && std::isfinite(*value) ? py::float_(*value) : py::object(py::none());
}

// ---- Pictures ----

py::array ReadPicture(const fs::path& path, bool gray) {
    LoadedPicture loaded;
    {
        py::gil_scoped_release release;
        loaded = LoadPictureFile(path);
    }
    return ArrayOf(loaded.bitmap, gray || loaded.eightBit);
}

void WritePicture(const fs::path& path, const py::handle& array) {
    const Picture picture = PictureOf(array, "picture");
    if (picture.channels == 1) {
        py::gil_scoped_release release;
        SaveGrayPicture(path, picture.view);
        return;
    }
    const Bitmap bitmap = BitmapOf(picture);
    py::gil_scoped_release release;
    SavePictureFile(path, bitmap, false);
}

// ---- Keys ----

std::vector<std::uint8_t> BytesOf(const py::bytes& bytes) {
    const std::string text = bytes;
    return {text.begin(), text.end()};
}

std::vector<std::uint8_t> EncodeKey(const AnyKey& key) {
    return key.Method ? EncodeMethodKey(*key.Method) : EncodeMarkKey(*key.Polarity);
}

py::bytes KeyBytes(const AnyKey& key) {
    const std::vector<std::uint8_t> bytes = EncodeKey(key);
    return py::bytes(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

// A key of either kind, a blind one checked against its own record (CheckKeyRecord).
AnyKey Checked(AnyKey key, const std::string& name) {
    if (key.Method) CheckKeyRecord(*key.Method, name);
    return key;
}

AnyKey KeyFromBytes(const py::bytes& bytes) { return Checked(DecodeAnyKey(BytesOf(bytes), "the key's bytes"), "the key's bytes"); }

// A suspect read as it is must hold all that the key marked (width x height from the top-left
// corner): in a smaller one the missing part would be read as padding.
void RefuseSmallSuspect(const GrayView& suspect, int markedWidth, int markedHeight, const char* marked) {
    if (suspect.width >= markedWidth && suspect.height >= markedHeight) return;
    throw ArgumentError("suspect: " + std::to_string(suspect.width) + " x " + std::to_string(suspect.height) +
                        " pixels, smaller than the " + std::to_string(markedWidth) + " x " +
                        std::to_string(markedHeight) + " " + marked +
                        " the key marked: too little to read as it is (give host= to register a resized or cropped "
                        "copy)");
}

// The polarity method's key, or Error naming what a blind key lacks.
const MarkKey& PolarityKey(const AnyKey& key, const char* what) {
    if (!key.Polarity)
        throw ArgumentError("the key is one of " + key.Method->Method + ", which has no " + what +
                            " (the polarity method's keys have)");
    return *key.Polarity;
}

py::object BitList(const std::vector<std::uint8_t>& bits) {
    py::list list;
    for (const std::uint8_t bit : bits) list.append(static_cast<int>(bit));
    return list;
}

// ---- Embedding and extraction ----

std::unique_ptr<WatermarkMethod> MethodOf(const std::string& text) {
    try {
        return MakeMethod(ParseMethodSpec(text));
    } catch (const ArgumentError& e) {
        throw ArgumentError(std::string("method: ") + e.what());
    }
}

// A blind method's embedding, as quillfen-cli embed --method NAME HOST OUTPUT: the payload given
// (bits) or drawn from the seed, the strength the target PSNR sets when one is given.
py::tuple EmbedBlind(const Picture& host, const WatermarkMethod& chosen, const py::handle& payloadGiven,
                     std::optional<std::uint32_t> seedGiven, std::optional<double> target) {
    const std::uint32_t seed = seedGiven ? *seedGiven : TWatermark::ClockSeed();
    const int bits = chosen.PayloadBits();
    MethodPayload payload;
    const std::string wrong = "payload: " + chosen.Name() + " embeds " + std::to_string(bits) +
                              " bits (its parameter bits): give a whole number 0..2^" + std::to_string(bits) +
                              "-1, " + std::to_string(bits) + " bits 0 and 1, or their hexadecimal digits";
    if (payloadGiven.is_none()) {
        payload.Bits = PayloadFromSeed(seed, bits);
    } else if (py::isinstance<py::str>(payloadGiven)) {
        // As quillfen-cli embed --payload takes it.
        payload.Bits = ParsePayloadHex(payloadGiven.cast<std::string>(), bits);
    } else if (py::isinstance<py::int_>(payloadGiven) && !py::isinstance<py::bool_>(payloadGiven)) {
        // A number, its highest bit first.
        const py::int_ number = py::reinterpret_borrow<py::int_>(payloadGiven);
        if (number < py::int_(0) || number.attr("bit_length")().cast<int>() > bits) throw ArgumentError(wrong);
        const std::uint64_t value = number.cast<std::uint64_t>();
        for (int b = bits - 1; b >= 0; --b) payload.Bits.push_back(static_cast<std::uint8_t>((value >> b) & 1U));
    } else if (py::isinstance<py::sequence>(payloadGiven) || py::isinstance<py::array>(payloadGiven)) {
        for (const py::handle bit : payloadGiven) {
            if (py::isinstance<py::float_>(bit) || py::isinstance<py::str>(bit)) throw ArgumentError(wrong);
            py::int_ value;
            try {
                value = py::int_(py::reinterpret_borrow<py::object>(bit));
            } catch (const py::error_already_set&) {
                throw ArgumentError(wrong);
            }
            if (!value.equal(py::int_(0)) && !value.equal(py::int_(1))) throw ArgumentError(wrong);
            const int b = value.equal(py::int_(1)) ? 1 : 0;
            payload.Bits.push_back(static_cast<std::uint8_t>(b));
        }
        if (payload.Bits.size() != static_cast<std::size_t>(bits)) throw ArgumentError(wrong);
    } else {
        throw ArgumentError(wrong);
    }
    const Bitmap bitmap = BitmapOf(host);
    MethodMarked marked;
    {
        py::gil_scoped_release release;
        std::unique_ptr<WatermarkMethod> method =
            target ? FindStrength(chosen, bitmap, payload, seed, *target)
                   : chosen.Strength() ? chosen.WithStrength(*chosen.Strength()) : MakeMethod(ParseMethodSpec(chosen.Name()));
        marked = method->Embed(bitmap, payload, seed);
    }
    return py::make_tuple(ArrayLike(marked.Picture, host), AnyKey{std::nullopt, *marked.Key.Blind});
}

py::tuple Embed(const py::handle& hostArray, const py::handle& markOrPayload, std::optional<std::uint32_t> seed,
                std::uint32_t calibrationTrials, int jobs, const std::string& methodText,
                std::optional<double> target) {
    const std::unique_ptr<WatermarkMethod> chosen = MethodOf(methodText);
    const Picture host = PictureOf(hostArray, "host");
    if (!chosen->Capabilities().UsesMark) {
        if (calibrationTrials > 0)
            throw ArgumentError("calibration_trials: " + chosen->Name() +
                                " is blind; its keys carry no calibration of their own (give 0)");
        return EmbedBlind(host, *chosen, markOrPayload, seed, target);
    }
    if (target) throw ArgumentError("target_psnr: the polarity method has no strength parameter");
    if (markOrPayload.is_none()) throw ArgumentError("mark: the polarity method embeds a mark picture; give one");
    const Picture mark = PictureOf(markOrPayload, "mark");
    MarkedPicture marked;
    {
        py::gil_scoped_release release;
        marked = EmbedIntoHost(host.view, mark.view, seed);
        // The key's own calibration, as quillfen-cli embed gives its keys (CalibrateMarkedHost).
        if (calibrationTrials > 0) {
            KeyCalibrationOptions options;
            options.Trials = calibrationTrials;
            options.Jobs = jobs;
            marked.Key.Calibration = CalibrateKey(marked.Key, MarkedRegion(host.view), options);
        }
    }
    AnyKey key{std::move(marked.Key), std::nullopt};
    if (host.channels == 1) return py::make_tuple(ArrayOf(std::move(marked.Picture)), std::move(key));
    // A colour host keeps its other channels: the mark goes into the blue byte, the one the
    // method reads (as quillfen-cli embed writes a colour host).
    py::array_t<std::uint8_t> copy(host.array.attr("copy")());
    auto out = copy.mutable_unchecked<3>();
    for (int y = 0; y < marked.Picture.height(); ++y)
        for (int x = 0; x < marked.Picture.width(); ++x) out(y, x, 2) = marked.Picture.at(x, y);
    return py::make_tuple(copy, std::move(key));
}

// The calibration given: a Calibration, a file, or none.
std::optional<Calibration> CalibrationGiven(const py::handle& given) {
    if (given.is_none()) return std::nullopt;
    if (py::isinstance<Calibration>(given)) return given.cast<Calibration>();
    const fs::path path = given.cast<fs::path>();
    py::gil_scoped_release release;
    Calibration read = LoadCalibration(path);
    read.Source = path.string();
    return read;
}

py::dict TransformOf(const Registration& registered) {
    const SimilarityTransform& t = registered.Transform;
    py::dict transform;
    transform["rotation_degrees"] = t.RotationDegrees;
    transform["scale"] = t.Scale;
    transform["shift_x"] = t.ShiftX;
    transform["shift_y"] = t.ShiftY;
    transform["fit"] = registered.Fit;
    transform["identity"] = registered.Identity;
    return transform;
}

// The fields of a verdict that only the polarity method has, or only the payload methods.
void PolarityFieldsNone(py::dict& result) {
    for (const char* field : {"threshold_sources", "global_calibration", "nc", "identical", "relations", "mark"})
        result[field] = py::none();
    result["read_as_is"] = false;
}

// A blind key's reading, as quillfen-cli extract --json gives it.
py::dict ExtractBlind(const py::handle& suspectArray, const MethodKeyRecord& record, const py::handle& hostArray,
                      const std::optional<Calibration>& calibration) {
    std::unique_ptr<WatermarkMethod> method;
    try {
        method = MakeMethod(SpecFromKey(record));
    } catch (const ArgumentError& e) {
        throw ArgumentError(std::string("the key names a method this program cannot read (") + e.what() + ")");
    }
    const double at1e3 = calibration ? calibration->ThresholdEmpirical : method->Thresholds()->first;
    const double at1e6 = calibration ? calibration->ThresholdModelled : method->Thresholds()->second;
    const Picture suspectPicture = PictureOf(suspectArray, "suspect");
    if (hostArray.is_none()) RefuseSmallSuspect(suspectPicture.view, record.HostWidth, record.HostHeight, "picture");
    const Bitmap suspect = BitmapOf(suspectPicture);
    std::optional<Bitmap> host;
    if (!hostArray.is_none()) host = BitmapOf(PictureOf(hostArray, "host"));
    const MethodKey key = MethodKey::From(AnyKey{std::nullopt, record});
    std::optional<Registration> registration;
    MethodReading reading;
    {
        py::gil_scoped_release release;
        if (host) {
            // The luminance registered to the host's and read as a gray picture.
            registration = RegisterAndUndo(GrayOf(suspect), GrayOf(*host));
            const GrayPlane& moved = registration->Picture;
            reading = method->DetectGray(moved.pixels(), moved.width(), moved.height(), key);
        } else {
            reading = method->Detect(suspect, key);
        }
    }
    py::dict result;
    result["present"] = reading.Score >= at1e6;
    result["score"] = reading.Score;
    py::dict levels;
    levels["1e-3"] = at1e3;
    levels["1e-6"] = at1e6;
    result["thresholds"] = levels;
    result["detected_1e3"] = reading.Score >= at1e3;
    result["threshold"] = at1e6;
    result["false_alarm_rate"] = kFprModelled;
    result["calibration"] = calibration ? calibration->Source : std::string("built-in thresholds");
    result["ber"] = reading.Ber.value_or(0.0);
    result["transform"] = registration ? py::object(TransformOf(*registration)) : py::object(py::none());
    PolarityFieldsNone(result);
    result["method"] = record.Method;
    result["method_params"] = method->Parameters();
    result["payload"] = BitList(record.Payload);
    result["bits"] = BitList(reading.Bits);
    result["bit_accuracy"] = Optional(reading.BitAccuracy);
    return result;
}

py::dict Extract(const py::handle& suspectArray, const AnyKey& any, const py::handle& hostArray,
                 const py::handle& calibrationGiven) {
    const std::optional<Calibration> given = CalibrationGiven(calibrationGiven);
    if (given) {
        // A method's thresholds judge that method's keys only.
        const std::string method = any.Method ? any.Method->Method : std::string(kPolarityMethod);
        const std::string made =
            given->Method.empty() ? std::string(kPolarityMethod) : given->Method.substr(0, given->Method.find(':'));
        if (made != method)
            throw ArgumentError("calibration: '" + given->Source + "' calibrates " + made + ", the key is one of " +
                                method);
    }
    if (any.Method) return ExtractBlind(suspectArray, *any.Method, hostArray, given);
    const MarkKey& key = *any.Polarity;
    const Picture suspect = PictureOf(suspectArray, "suspect");
    std::optional<Picture> host;
    if (!hostArray.is_none()) host = PictureOf(hostArray, "host");
    else RefuseSmallSuspect(suspect.view, key.RegionLeft + key.RegionSize, key.RegionTop + key.RegionSize, "region");
    const Calibration calibration = given ? *given : DefaultCalibration();
    SuspectReading read;
    KeyThresholds thresholds;
    Verdict verdict;
    {
        py::gil_scoped_release release;
        if (host) read = ReadRegisteredMark(suspect.view, host->view, key);
        else read.Reading = ReadMark(suspect.view, key);
        thresholds = ThresholdsOf(key, calibration);
        verdict = Judge(read.Reading.Score, thresholds);
    }
    const MarkReading& reading = read.Reading;
    // The fields of quillfen-cli extract --json, by the same names (detected_1e-3: detected_1e3).
    const auto whose = [](bool own) { return own ? "key" : "global"; };
    py::dict result;
    result["present"] = verdict.Present;
    result["score"] = verdict.Score;
    py::dict levels, sources;
    levels["1e-3"] = thresholds.At1e3;
    levels["1e-6"] = thresholds.At1e6;
    sources["1e-3"] = whose(thresholds.KeySets1e3);
    sources["1e-6"] = whose(thresholds.KeySets1e6);
    result["thresholds"] = levels;
    result["threshold_sources"] = sources;
    result["detected_1e3"] = verdict.Detected1e3;
    result["threshold"] = verdict.Threshold;
    result["false_alarm_rate"] = verdict.FalseAlarmRate;
    result["calibration"] = whose(thresholds.OwnCalibration);
    result["global_calibration"] = calibration.Source;
    result["nc"] = Optional(reading.Nc);
    result["ber"] = reading.Ber;
    result["identical"] = reading.RegionIdentical;
    py::dict relations;
    relations["reversed"] = reading.Score.Reversed;
    relations["reversed_seen"] = reading.Score.ReversedSeen;
    relations["untouched"] = reading.Score.Untouched;
    relations["untouched_reversed"] = reading.Score.UntouchedReversed;
    result["relations"] = relations;
    result["transform"] = host ? py::object(TransformOf(read.Registered)) : py::object(py::none());
    result["read_as_is"] = read.ReadAsIs;
    result["mark"] = ArrayOf(std::vector<std::uint8_t>(reading.W_wave), TWatermark::kMarkSize, TWatermark::kMarkSize);
    result["method"] = kPolarityMethod;
    result["method_params"] = "";
    result["payload"] = py::none();
    result["bits"] = py::none();
    result["bit_accuracy"] = py::none();
    return result;
}

// ---- Methods ----

py::list Methods() {
    py::list catalogue;
    for (const MethodInfo& info : MethodCatalogue()) {
        py::list parameters;
        for (const AttackParameter& p : info.Parameters) {
            py::dict parameter;
            parameter["name"] = p.Name;
            parameter["lowest"] = p.Lowest;
            parameter["highest"] = p.Highest;
            parameter["whole"] = p.Whole;
            parameter["default"] = p.Default ? py::object(py::float_(*p.Default)) : py::object(py::none());
            parameter["meaning"] = p.Meaning;
            parameters.append(parameter);
        }
        py::dict method;
        method["name"] = info.Name;
        method["summary"] = info.Summary;
        method["blind"] = info.Capabilities.Blind;
        method["payload_bits"] = info.Capabilities.PayloadBits;
        method["strength"] = info.Capabilities.Strength != nullptr ? py::object(py::str(info.Capabilities.Strength))
                                                                   : py::object(py::none());
        method["uses_mark"] = info.Capabilities.UsesMark;
        py::dict thresholds;
        thresholds["1e-3"] = info.Threshold1e3;
        thresholds["1e-6"] = info.Threshold1e6;
        method["thresholds"] = thresholds;
        method["parameters"] = parameters;
        catalogue.append(method);
    }
    return catalogue;
}

// ---- Attacks ----

py::array Attack(const py::handle& pictureArray, const std::string& list, std::uint64_t seed,
                 const py::handle& hostArray) {
    const Picture picture = PictureOf(pictureArray, "picture");
    std::optional<Picture> host;
    if (!hostArray.is_none()) host = PictureOf(hostArray, "host");
    GrayPlane attacked;
    {
        py::gil_scoped_release release;
        const std::vector<AttackCell> cells = ParseAttackCells(list);
        if (cells.size() != 1)
            throw ArgumentError("'" + list + "' names " + std::to_string(cells.size()) +
                                " cells; attack() applies one (a combination is written with '+')");
        attacked = ApplyAttackCell(cells.front(), picture.view, seed, host ? host->view : GrayView());
    }
    return ArrayOf(std::move(attacked));
}

py::list Attacks() {
    py::list catalogue;
    for (const AttackInfo& info : AttackCatalogue()) {
        py::list parameters;
        for (const AttackParameter& p : info.Parameters) {
            py::dict parameter;
            parameter["name"] = p.Name;
            parameter["lowest"] = p.Lowest;
            parameter["highest"] = p.Highest;
            parameter["whole"] = p.Whole;
            parameter["odd"] = p.Odd;
            parameter["default"] = p.Default ? py::object(py::float_(*p.Default)) : py::object(py::none());
            parameter["accepted"] = AcceptedValues(p);
            parameter["meaning"] = p.Meaning;
            parameters.append(parameter);
        }
        py::dict attack;
        attack["name"] = info.Name;
        attack["summary"] = info.Summary;
        attack["seeded"] = info.Seeded;
        attack["parameters"] = parameters;
        catalogue.append(attack);
    }
    return catalogue;
}

// ---- Measures ----

template <class Measure>
auto Measured(const py::handle& a, const py::handle& b, const char* first, const char* second, Measure measure) {
    const Picture x = PictureOf(a, first);
    const Picture y = PictureOf(b, second);
    py::gil_scoped_release release;
    return measure(x.view, y.view);
}

// ---- The experiment ----

std::string ExperimentJsonOf(const py::handle& hostArray, const py::handle& markArray, std::optional<std::uint32_t> seed,
                       const std::vector<std::string>& attackNames) {
    std::vector<Step> attacks;
    for (const std::string& name : attackNames) {
        const std::optional<Step> step = Experiment::Find(name);
        if (!step || Experiment::Info(*step).kind != StepKind::Attack)
            throw ArgumentError("'" + name + "' is not an attack of the experiment (none, jpeg, blur, "
                                "crop-zero-quarter, crop-image-quarter, crop-zero-half, crop-image-half)");
        if (std::find(attacks.begin(), attacks.end(), *step) == attacks.end()) attacks.push_back(*step);
    }
    Bitmap host = BitmapOf(PictureOf(hostArray, "host"));
    Bitmap mark = BitmapOf(PictureOf(markArray, "mark"));
    py::gil_scoped_release release;
    return ExperimentJson(RunExperiment(std::move(host), std::move(mark), seed, attacks));
}

// ---- The toolbox ----

py::list ToolboxOperations() {
    py::list operations;
    for (const toolbox::Operation& op : toolbox::Operations()) {
        py::list arguments;
        for (const toolbox::Argument& a : op.arguments) {
            py::dict argument;
            argument["option"] = a.option;
            argument["help"] = a.help;
            argument["initial"] = a.initial;
            arguments.append(argument);
        }
        py::dict operation;
        operation["group"] = op.group != nullptr ? py::object(py::str(op.group)) : py::object(py::none());
        operation["command"] = op.command;
        operation["help"] = op.help;
        operation["caption"] = op.caption;
        operation["menu"] = op.menu;
        operation["arguments"] = arguments;
        operations.append(operation);
    }
    return operations;
}

py::list ToolboxCommands() {
    py::list commands;
    for (const toolbox::CliCommand& c : toolbox::CliCommands())
        commands.append(py::make_tuple(c.name, c.help != nullptr ? py::object(py::str(c.help)) : py::object(py::none())));
    return commands;
}

py::tuple ToolboxApply(const std::string& group, const std::string& command, const py::handle& pictureArray,
                       const std::vector<int>& values) {
    const toolbox::Operation* operation = toolbox::FindCommand(group, command);
    if (operation == nullptr) throw ArgumentError("no toolbox operation '" + command + "'");
    const Picture picture = PictureOf(pictureArray, "picture");
    toolbox::Applied applied;
    {
        py::gil_scoped_release release;
        applied = toolbox::Apply(*operation, picture.view, values);
    }
    py::list numbers;
    py::object line = py::none();
    if (applied.report) {
        for (const ReportNumber& n : applied.report->numbers)
            numbers.append(n.decimals == 0 ? py::object(py::int_(static_cast<long long>(n.value)))
                                           : py::object(py::float_(n.value)));
        line = py::str(applied.report->Line());
    }
    return py::make_tuple(ArrayOf(std::move(applied.picture)), numbers, line);
}

}  // namespace

}  // namespace quillfen::python

PYBIND11_MODULE(_quillfen, m) {
    using namespace quillfen;
    using namespace quillfen::python;

    // An extraction makes and frees a workspace of some megabytes. glibc serves blocks above
    // its mmap threshold (128 KB in a fresh process) with a mapping of their own, and raises
    // the threshold to the size of such a block once it is freed; until a block of that size
    // has come and gone, each call maps, faults in and unmaps its planes afresh, which in a new
    // interpreter more than doubled the time of extract(). Freeing one block of 8 MB now moves
    // the threshold where a long-running program's history would have put it (the allocator's
    // own rule: nothing is fixed, and larger blocks still get mappings of their own).
    {
        void* volatile block = std::malloc(std::size_t{8} << 20);
        std::free(block);
    }
    m.doc() = "The Quillfen engine (the package quillfen wraps it; use that).";

    // The exception classes are held for as long as the process lives and never released: a
    // static object's destructor would release them at the process's exit, after the
    // interpreter is gone, and a class freed then is freed into a finalized interpreter.
    static const auto* error = new py::exception<quillfen::Error>(m, "Error", PyExc_ValueError);
    static const auto* fileError = new py::exception<quillfen::FileError>(m, "FileError", PyExc_OSError);
    py::register_exception_translator([](std::exception_ptr thrown) {
        try {
            if (thrown) std::rethrow_exception(thrown);
        } catch (const quillfen::FileError& e) {
            PyErr_SetString(fileError->ptr(), e.what());
        } catch (const quillfen::Error& e) {
            PyErr_SetString(error->ptr(), e.what());
        } catch (const std::invalid_argument& e) {
            PyErr_SetString(error->ptr(), e.what());
        } catch (const std::out_of_range& e) {
            PyErr_SetString(error->ptr(), e.what());
        } catch (const CalibrationCancelled&) {
            PyErr_SetString(error->ptr(), "the calibration was cancelled");
        }
    });

    // The engine's pool of threads ends with the interpreter, while the interpreter and the
    // libraries are whole: left to the process's exit, its threads ended during the libraries'
    // teardown, and now and then one crashed there (after runs on every core).
    py::module_::import("atexit").attr("register")(py::cpp_function([] {
        py::gil_scoped_release release;
        EndPooledThreads();
    }));

    m.attr("METHOD") = kPolarityMethod;

    m.def("read_picture", &ReadPicture, py::arg("path"), py::arg("gray") = false,
          "Reads a picture file (.pgm, .png, .jpg/.jpeg, .bmp, by extension, under the file rules of "
          "quillfen-cli): an (H, W) uint8 array for a gray picture (an 8-bit file, or one whose pixels are all "
          "gray) or with gray=True (the blue channel, the gray value the method reads), else (H, W, 3) RGB. FileError when it cannot be read, Error when it is not "
          "a picture Quillfen reads.");
    m.def("write_picture", &WritePicture, py::arg("path"), py::arg("picture"),
          "Writes an (H, W) array as an 8-bit gray file, or an (H, W, 3|4) RGB(A) array as a 24-bit one "
          "(alpha dropped), in the format of the extension; the file is replaced only by a complete new one.");

    py::class_<AnyKey>(m, "Key",
                       "What extraction needs from one embedding, as quillfen-cli's key files hold it: the polarity "
                       "method's (the host's polarity map, the block orders, the binarised mark, ...) or a blind "
                       "method's (its name, parameters, seed and payload).")
        .def_static("load",
                    [](const fs::path& path) {
                        py::gil_scoped_release r;
                        return Checked(LoadAnyKey(path), path.string());
                    },
                    py::arg("path"), "Reads a key file of any method (FileError, or Error for a damaged or foreign file).")
        .def_static("from_bytes", &KeyFromBytes, py::arg("data"), "A key from the bytes of a key file.")
        .def("save",
             [](const AnyKey& key, const fs::path& path) {
                 py::gil_scoped_release r;
                 if (key.Method) SaveMethodKey(path, *key.Method);
                 else SaveMarkKey(path, *key.Polarity);
             },
             py::arg("path"), "Writes the key file (atomically: an old file is replaced only by a complete one).")
        .def("__bytes__", &KeyBytes, "The bytes of the key file.")
        .def_property_readonly("method",
                               [](const AnyKey& k) { return k.Method ? k.Method->Method : std::string(kPolarityMethod); },
                               "The method that wrote it ('polarity', 'spread-spectrum', 'qim').")
        .def_property_readonly("method_params",
                               [](const AnyKey& k) { return k.Method ? k.Method->Parameters : std::string(); },
                               "Its parameters as used, 'strength=4.5,bits=64' ('' for the polarity method).")
        .def_property_readonly("seed", [](const AnyKey& k) { return k.Method ? k.Method->Seed : k.Polarity->Seed; },
                               "The embedding's seed.")
        .def_property_readonly("host_size",
                               [](const AnyKey& k) {
                                   return k.Method ? py::make_tuple(k.Method->HostWidth, k.Method->HostHeight)
                                                   : py::make_tuple(k.Polarity->HostWidth, k.Polarity->HostHeight);
                               },
                               "(width, height) of the marked picture.")
        .def_property_readonly("payload",
                               [](const AnyKey& k) { return k.Method ? BitList(k.Method->Payload) : py::object(py::none()); },
                               "A blind method's payload as embedded, a list of bits (None for the polarity method).")
        .def_property_readonly("region",
                               [](const AnyKey& k) {
                                   if (k.Method) return py::make_tuple(0, 0, k.Method->HostWidth, k.Method->HostHeight);
                                   return py::make_tuple(k.Polarity->RegionLeft, k.Polarity->RegionTop,
                                                         k.Polarity->RegionSize, k.Polarity->RegionSize);
                               },
                               "(left, top, width, height) of the marked region (a blind method marks the whole picture).")
        .def_property_readonly("mark",
                               [](const AnyKey& k) {
                                   return ArrayOf(std::vector<std::uint8_t>(PolarityKey(k, "mark").Extraction.W),
                                                  TWatermark::kMarkSize, TWatermark::kMarkSize);
                               },
                               "The binarised 128 x 128 mark the key looks for (the polarity method's keys only).")
        .def_property_readonly("calibration",
                               [](const AnyKey& k) -> py::object {
                                   if (!k.Polarity || !k.Polarity->Calibration) return py::none();
                                   const KeyCalibration& c = *k.Polarity->Calibration;
                                   py::dict own;
                                   own["trials"] = c.Trials();
                                   own["1e-3"] = c.Threshold1e3;
                                   own["1e-6"] = c.Threshold1e6;
                                   return own;
                               },
                               "The key's own calibration: {trials, '1e-3': threshold, '1e-6': threshold}, or None.")
        .def("__eq__", [](const AnyKey& a, const AnyKey& b) { return EncodeKey(a) == EncodeKey(b); })
        .def("__repr__",
             [](const AnyKey& k) {
                 if (k.Method)
                     return "<quillfen.Key " + k.Method->Method + " seed=" + std::to_string(k.Method->Seed) + " host " +
                            std::to_string(k.Method->HostWidth) + "x" + std::to_string(k.Method->HostHeight) + ">";
                 return "<quillfen.Key polarity seed=" + std::to_string(k.Polarity->Seed) + " host " +
                        std::to_string(k.Polarity->HostWidth) + "x" + std::to_string(k.Polarity->HostHeight) + ">";
             })
        .def(py::pickle([](const AnyKey& key) { return py::make_tuple(KeyBytes(key)); },
                        [](const py::tuple& state) { return KeyFromBytes(state[0].cast<py::bytes>()); }));
    // Keys are compared by their bytes; they are not hashed (a key is a value, as bytes(key) is).
    m.attr("Key").attr("__hash__") = py::none();

    py::class_<Calibration>(m, "Calibration",
                            "Detection thresholds of the score (and, from calibrate(), the null trials they come "
                            "from), as quillfen-cli calibrate writes them.")
        .def_static("default", &DefaultCalibration, "The built-in thresholds (the bundled mark's calibration).")
        .def_static("load", [](const fs::path& path) { py::gil_scoped_release r; return LoadCalibration(path); },
                    py::arg("path"), "Reads a calibration file.")
        .def_static("from_json", [](const std::string& text) { return ParseCalibration(text, "the JSON text"); },
                    py::arg("text"), "A calibration from its JSON text.")
        .def("save", [](const Calibration& c, const fs::path& path) { py::gil_scoped_release r; SaveCalibration(path, c); },
             py::arg("path"), "Writes the calibration file (atomically).")
        .def("to_json", &CalibrationJson, "The JSON text, as calibrate --out writes it.")
        .def("threshold", &Calibration::Threshold, py::arg("false_alarm_rate"),
             "The score threshold at that false-alarm rate (stored for 1e-3 and 1e-6, the model's otherwise).")
        .def_property_readonly("thresholds",
                               [](const Calibration& c) {
                                   py::dict t;
                                   t["1e-3"] = c.ThresholdEmpirical;
                                   t["1e-6"] = c.ThresholdModelled;
                                   return t;
                               },
                               "{'1e-3': threshold, '1e-6': threshold}.")
        .def_property_readonly("trials", [](const Calibration& c) { return c.Trials; }, "Null trials (0: thresholds only).")
        .def_property_readonly("source", [](const Calibration& c) { return c.Source; }, "Where it was read from.")
        .def_property_readonly("digest", &CalibrationDigest, "As the rows' calibration_digest.")
        .def(py::self == py::self)
        .def("__repr__", [](const Calibration& c) {
            return "<quillfen.Calibration 1e-3: " + std::to_string(c.ThresholdEmpirical) +
                   ", 1e-6: " + std::to_string(c.ThresholdModelled) + ">";
        })
        .def(py::pickle([](const Calibration& c) { return py::make_tuple(CalibrationJson(c), c.Source); },
                        [](const py::tuple& state) {
                            Calibration c = ParseCalibration(state[0].cast<std::string>(), "the pickled calibration");
                            c.Source = state[1].cast<std::string>();
                            return c;
                        }));

    m.def("_embed", &Embed, py::arg("host"), py::arg("mark"), py::arg("seed"), py::arg("calibration_trials"),
          py::arg("jobs"), py::arg("method"), py::arg("target_psnr"));
    m.def("payload_from_seed", [](std::uint32_t seed, int bits) {
              if (bits < 0 || bits > kMaxPayloadBits) throw ArgumentError("bits: " + std::to_string(bits) + " is not 0..64");
              return BitList(PayloadFromSeed(seed, bits));
          }, py::arg("seed"), py::arg("bits"),
          "The payload bits a sweep and a calibration embed with that seed (and embed() when given none).");
    m.def("methods", &Methods,
          "The method catalogue: a list of {name, summary, blind, payload_bits, strength, uses_mark, thresholds: "
          "{'1e-3', '1e-6'}, parameters: [{name, lowest, highest, whole, default, meaning}]}.");
    m.def("_extract", &Extract, py::arg("suspect"), py::arg("key"), py::arg("host") = py::none(),
          py::arg("calibration") = py::none());
    m.def("attack", &Attack, py::arg("picture"), py::arg("cell"), py::arg("seed") = 0, py::arg("host") = py::none(),
          "Applies one attack cell ('real-jpeg:q=75', 'rotate:deg=2+real-jpeg:q=75') to a picture and returns the "
          "attacked picture, as the robustness sweep applies it with that seed. A 256 x 256 picture is taken as "
          "the marked region (all attacks; `host`, 256 x 256, for the two crops with the host); a picture of "
          "another size takes the attacks on 8-bit pictures.");
    m.def("attacks", &Attacks,
          "The attack catalogue: a list of {name, summary, seeded, parameters: [{name, lowest, highest, whole, "
          "odd, default, accepted, meaning}]}.");

    m.def("_psnr", [](const py::handle& a, const py::handle& b) {
        return Measured(a, b, "picture", "reference", [](const GrayView& x, const GrayView& y) { return PsnrDecibels(x, y); });
    });
    m.def("_ssim", [](const py::handle& a, const py::handle& b) {
        return Measured(a, b, "a", "b", [](const GrayView& x, const GrayView& y) { return StructuralSimilarity(x, y); });
    });
    m.def("_ber", [](const py::handle& a, const py::handle& b) {
        return Measured(a, b, "extracted", "watermark", [](const GrayView& x, const GrayView& y) { return BitErrorRate(x, y); });
    });
    m.def("_nc", [](const py::handle& a, const py::handle& b) {
        return Optional(Measured(a, b, "extracted", "watermark",
                                 [](const GrayView& x, const GrayView& y) { return NormalizedCorrelation(x, y); }));
    });

    m.def("_experiment", &ExperimentJsonOf, py::arg("host"), py::arg("mark"), py::arg("seed") = py::none(),
          py::arg("attacks") = std::vector<std::string>());
    m.def("_toolbox_operations", &ToolboxOperations);
    m.def("_toolbox_apply", &ToolboxApply);
    m.def("_toolbox_commands", &ToolboxCommands);
    RegisterSweeps(m);
    RegisterMethodCalls(m);
}
