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
#include "quillfen/image/errors.h"
#include "quillfen/io/picture_files.h"
#include "quillfen/toolbox/catalogue.h"
#include "quillfen/watermark/detection_thresholds.h"
#include "quillfen/watermark/experiment_outcome.h"
#include "quillfen/watermark/mark_key.h"
#include "quillfen/watermark/marking.h"
#include "quillfen/watermark/metrics.h"
#include "sweeps.h"

namespace quillfen::python {

namespace {

namespace fs = std::filesystem;

// The method this build has; the one name embed() and the sweeps accept.
constexpr const char* kMethod = "dct-polarity";

void CheckMethod(const std::string& method, const py::kwargs& parameters) {
    // Methods written in Python and the parameters of other methods come with the method
    // interface; until then the built-in method is the only one, without parameters.
    if (method != kMethod && method != "polarity")
        throw ArgumentError("method '" + method + "' is not one this build has (methods: " + kMethod + ")");
    if (!parameters.empty())
        throw ArgumentError(std::string("the method ") + kMethod + " takes no parameters, not '" +
                            std::string(py::str(*parameters.begin()->first)) + "'");
}

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

py::bytes KeyBytes(const MarkKey& key) {
    const std::vector<std::uint8_t> bytes = EncodeMarkKey(key);
    return py::bytes(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

MarkKey KeyFromBytes(const py::bytes& bytes) { return DecodeMarkKey(BytesOf(bytes), "the key's bytes"); }

// ---- Embedding and extraction ----

py::tuple Embed(const py::handle& hostArray, const py::handle& markArray, std::optional<std::uint32_t> seed,
                std::uint32_t calibrationTrials, int jobs, const std::string& method, const py::kwargs& parameters) {
    CheckMethod(method, parameters);
    const Picture host = PictureOf(hostArray, "host");
    const Picture mark = PictureOf(markArray, "mark");
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
    if (host.channels == 1) return py::make_tuple(ArrayOf(std::move(marked.Picture)), std::move(marked.Key));
    // A colour host keeps its other channels: the mark goes into the blue byte, the one the
    // method reads (as quillfen-cli embed writes a colour host).
    py::array_t<std::uint8_t> copy(host.array.attr("copy")());
    auto out = copy.mutable_unchecked<3>();
    for (int y = 0; y < marked.Picture.height(); ++y)
        for (int x = 0; x < marked.Picture.width(); ++x) out(y, x, 2) = marked.Picture.at(x, y);
    return py::make_tuple(copy, std::move(marked.Key));
}

Calibration CalibrationOf(const py::handle& given) {
    if (given.is_none()) return DefaultCalibration();
    if (py::isinstance<Calibration>(given)) return given.cast<Calibration>();
    const fs::path path = given.cast<fs::path>();
    py::gil_scoped_release release;
    return LoadCalibration(path);
}

py::dict Extract(const py::handle& suspectArray, const MarkKey& key, const py::handle& hostArray,
                 const py::handle& calibrationGiven) {
    const Picture suspect = PictureOf(suspectArray, "suspect");
    std::optional<Picture> host;
    if (!hostArray.is_none()) host = PictureOf(hostArray, "host");
    const Calibration calibration = CalibrationOf(calibrationGiven);
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
    if (host) {
        const SimilarityTransform& t = read.Registered.Transform;
        py::dict transform;
        transform["rotation_degrees"] = t.RotationDegrees;
        transform["scale"] = t.Scale;
        transform["shift_x"] = t.ShiftX;
        transform["shift_y"] = t.ShiftY;
        transform["fit"] = read.Registered.Fit;
        transform["identity"] = read.Registered.Identity;
        result["transform"] = transform;
    } else {
        result["transform"] = py::none();
    }
    result["read_as_is"] = read.ReadAsIs;
    result["mark"] = ArrayOf(std::vector<std::uint8_t>(reading.W_wave), TWatermark::kMarkSize, TWatermark::kMarkSize);
    return result;
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

    static py::exception<quillfen::Error> error(m, "Error", PyExc_ValueError);
    static py::exception<quillfen::FileError> fileError(m, "FileError", PyExc_OSError);
    py::register_exception_translator([](std::exception_ptr thrown) {
        try {
            if (thrown) std::rethrow_exception(thrown);
        } catch (const quillfen::FileError& e) {
            PyErr_SetString(fileError.ptr(), e.what());
        } catch (const quillfen::Error& e) {
            PyErr_SetString(error.ptr(), e.what());
        } catch (const std::invalid_argument& e) {
            PyErr_SetString(error.ptr(), e.what());
        } catch (const std::out_of_range& e) {
            PyErr_SetString(error.ptr(), e.what());
        } catch (const CalibrationCancelled&) {
            PyErr_SetString(error.ptr(), "the calibration was cancelled");
        }
    });

    m.attr("METHOD") = kMethod;

    m.def("read_picture", &ReadPicture, py::arg("path"), py::arg("gray") = false,
          "Reads a picture file (.pgm, .png, .jpg/.jpeg, .bmp, by extension, under the file rules of "
          "quillfen-cli): an (H, W) uint8 array for a gray picture (an 8-bit file, or one whose pixels are all "
          "gray) or with gray=True (the blue channel, the gray value the method reads), else (H, W, 3) RGB. FileError when it cannot be read, Error when it is not "
          "a picture Quillfen reads.");
    m.def("write_picture", &WritePicture, py::arg("path"), py::arg("picture"),
          "Writes an (H, W) array as an 8-bit gray file, or an (H, W, 3|4) RGB(A) array as a 24-bit one "
          "(alpha dropped), in the format of the extension; the file is replaced only by a complete new one.");

    py::class_<MarkKey>(m, "Key",
                        "What extraction needs from one embedding (the host's polarity map, the block orders, the "
                        "scatter positions, the binarised mark, ...), as quillfen-cli's key files hold it.")
        .def_static("load", [](const fs::path& path) { py::gil_scoped_release r; return LoadMarkKey(path); },
                    py::arg("path"), "Reads a key file (FileError, or Error for a damaged or foreign file).")
        .def_static("from_bytes", &KeyFromBytes, py::arg("data"), "A key from the bytes of a key file.")
        .def("save", [](const MarkKey& key, const fs::path& path) { py::gil_scoped_release r; SaveMarkKey(path, key); },
             py::arg("path"), "Writes the key file (atomically: an old file is replaced only by a complete one).")
        .def("__bytes__", &KeyBytes, "The bytes of the key file.")
        .def_property_readonly("seed", [](const MarkKey& k) { return k.Seed; }, "The embedding's seed.")
        .def_property_readonly("host_size", [](const MarkKey& k) { return py::make_tuple(k.HostWidth, k.HostHeight); },
                               "(width, height) of the marked picture.")
        .def_property_readonly("region",
                               [](const MarkKey& k) {
                                   return py::make_tuple(k.RegionLeft, k.RegionTop, k.RegionSize, k.RegionSize);
                               },
                               "(left, top, width, height) of the marked region.")
        .def_property_readonly("mark",
                               [](const MarkKey& k) {
                                   return ArrayOf(std::vector<std::uint8_t>(k.Extraction.W), TWatermark::kMarkSize,
                                                  TWatermark::kMarkSize);
                               },
                               "The binarised 128 x 128 mark the key looks for.")
        .def_property_readonly("calibration",
                               [](const MarkKey& k) -> py::object {
                                   if (!k.Calibration) return py::none();
                                   py::dict own;
                                   own["trials"] = k.Calibration->Trials();
                                   own["1e-3"] = k.Calibration->Threshold1e3;
                                   own["1e-6"] = k.Calibration->Threshold1e6;
                                   return own;
                               },
                               "The key's own calibration: {trials, '1e-3': threshold, '1e-6': threshold}, or None.")
        .def(py::self == py::self)
        .def("__repr__", [](const MarkKey& k) {
            return "<quillfen.Key seed=" + std::to_string(k.Seed) + " host " + std::to_string(k.HostWidth) + "x" +
                   std::to_string(k.HostHeight) + ">";
        })
        .def(py::pickle([](const MarkKey& key) { return py::make_tuple(KeyBytes(key)); },
                        [](const py::tuple& state) { return KeyFromBytes(state[0].cast<py::bytes>()); }));

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
          py::arg("jobs"), py::arg("method") = kMethod);
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
}
