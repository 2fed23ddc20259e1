// quillfen-cli embed HOST MARK OUTPUT --key KEY [--seed N] [--calibration-trials N]
// quillfen-cli extract SUSPECT --key KEY [--host HOST] [--mark-out FILE] [--calibration FILE] [--json]
//
// Marking real pictures: embed writes the marked host at its own size and the key that a
// later extraction needs; extract reads the mark back from a picture that went through other
// programs, optionally registering it to the original first, and gives the verdict.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <system_error>

#include <nlohmann/json.hpp>

#include "cli/commands.h"
#include "quillfen/benchmark/key_calibration.h"
#include "quillfen/image/errors.h"
#include "quillfen/image/number_format.h"
#include "quillfen/io/file_write.h"
#include "quillfen/methods/method.h"
#include "quillfen/watermark/marking.h"
#include "quillfen/watermark/registration.h"

namespace quillfen::cli {

namespace {

namespace fs = std::filesystem;

struct EmbedOptions {
    std::string host;
    std::string mark;
    std::string output;
    std::string key;
    std::string seed;
    std::string trials;
    std::string method;
    std::string payload;
    std::string targetPsnr;
};

struct ExtractOptions {
    std::string suspect;
    std::string key;
    std::string host;
    std::string markOut;
    std::string calibration;
    bool json = false;
};

void RequirePictureName(const std::string& option, const std::string& path) {
    if (FormatFromFileName(path) == PictureFormat::Unknown)
        throw CommandFailure{kExitUsage, option + " '" + path +
                                             "': unknown picture format (use .pgm, .png, .bmp, .jpg or .jpeg)"};
}

// Names are compared by the file they lead to, existing or not: "x.png", "./x.png", "$PWD/x.png"
// and a link to it are one file (file_write.h).
void RefuseSameFile(const std::string& what, const std::string& path, const std::string& otherWhat,
                    const std::string& other) {
    if (SameFile(path, other))
        throw CommandFailure{kExitUsage, what + " '" + path + "' is the " + otherWhat +
                                             "; it would be overwritten (choose another name)"};
}

std::string Decimals(double value, int decimals) { return FormatFixed(value, decimals); }

// "mark present: score 0.612 ≥ 0.125 (false alarms ≤ 1e-6)" or
// "no mark found: score 0.004 < 0.125".
std::string VerdictText(const Verdict& verdict) {
    const std::string score = Decimals(verdict.Score, 3);
    const std::string threshold = Decimals(verdict.Threshold, 3);
    if (verdict.Present) return "mark present: score " + score + " \u2265 " + threshold + " (false alarms \u2264 1e-6)";
    return "no mark found: score " + score + " < " + threshold;
}

AnyKey LoadKeyOrFail(const std::string& path) {
    try {
        AnyKey key = LoadAnyKey(path);
        if (key.Method) CheckKeyRecord(*key.Method, path);
        return key;
    } catch (const Error& e) {
        throw CommandFailure{kExitUsage, e.what()};
    }
}

// The key and the picture are one result: when the picture cannot be written, the key file
// goes back to what it was (or away, if it is new), so no key is left for a picture that does
// not exist.
void WriteKeyAndPicture(const EmbedOptions& o, const std::vector<std::uint8_t>& key, const Bitmap& picture,
                        bool eightBit) {
    std::optional<std::vector<std::uint8_t>> oldKey;
    std::error_code error;
    if (fs::is_regular_file(o.key, error)) {
        try {
            oldKey = ReadWholeFile(o.key);
        } catch (const Error& e) {
            throw CommandFailure{kExitUsage, e.what()};
        }
    }
    try {
        WriteFileAtomically(o.key, key);
    } catch (const Error& e) {
        throw CommandFailure{kExitUsage, e.what()};
    }
    try {
        SavePictureFile(o.output, picture, eightBit);
    } catch (const Error& e) {
        try {
            if (oldKey) WriteFileAtomically(o.key, *oldKey);
            else fs::remove(o.key, error);
        } catch (const Error&) {
            // The picture's error is the one to report.
        }
        throw CommandFailure{kExitUsage, e.what()};
    }
}

// A method of the catalogue from --method; the polarity method when none is given.
std::unique_ptr<WatermarkMethod> MethodOrFail(const std::string& text) {
    try {
        return MakeMethod(ParseMethodSpec(text.empty() ? std::string(kPolarityMethod) : text));
    } catch (const ArgumentError& e) {
        throw CommandFailure{kExitUsage, std::string("--method: ") + e.what()};
    }
}

// embed with a blind method: HOST OUTPUT, the payload given or drawn from the seed.
void RunBlindEmbed(EmbedOptions o, const WatermarkMethod& chosen, CLI::Option* seedOption, CLI::Option* payloadOption,
                   CLI::Option* targetOption) {
    if (!o.output.empty())
        throw CommandFailure{kExitUsage, chosen.Name() + " embeds payload bits, not a mark picture: give HOST OUTPUT"};
    o.output = o.mark;
    if (o.output.empty()) throw CommandFailure{kExitUsage, "OUTPUT is required"};
    RequirePictureName("OUTPUT", o.output);
    RefuseSameFile("OUTPUT", o.output, "host picture", o.host);
    RefuseSameFile("--key", o.key, "host picture", o.host);
    if (o.key == o.output || SameFile(o.key, o.output))
        throw CommandFailure{kExitUsage, "--key '" + o.key + "' and OUTPUT name the same file"};
    const std::uint32_t seed =
        seedOption->count() > 0 ? static_cast<std::uint32_t>(std::stoull(o.seed)) : TWatermark::ClockSeed();
    MethodPayload payload;
    try {
        payload.Bits = payloadOption->count() > 0 ? ParsePayloadHex(o.payload, chosen.PayloadBits())
                                                  : PayloadFromSeed(seed, chosen.PayloadBits());
    } catch (const ArgumentError& e) {
        throw CommandFailure{kExitUsage, std::string("--payload: ") + e.what()};
    }
    const std::optional<double> target =
        targetOption->count() > 0 ? std::optional<double>(TargetPsnrOrFail(o.targetPsnr)) : std::nullopt;
    const LoadedPicture host = LoadPictureOrFail(o.host);
    std::unique_ptr<WatermarkMethod> method;
    MethodMarked marked;
    try {
        method = target ? FindStrength(chosen, host.bitmap, payload, seed, *target) : chosen.WithStrength(*chosen.Strength());
        marked = method->Embed(host.bitmap, payload, seed);
    } catch (const ArgumentError& e) {
        throw CommandFailure{kExitFailed, e.what()};
    }
    const std::vector<std::uint8_t> keyBytes = EncodeMethodKey(*marked.Key.Blind);
    WriteKeyAndPicture(o, keyBytes, marked.Picture, host.eightBit);

    PrintLine("method = " + method->Name() + ":" + method->Parameters());
    PrintLine("seed = " + std::to_string(seed));
    PrintLine("payload = " + PayloadHex(payload.Bits) + " (" + std::to_string(payload.Bits.size()) + " bits)");
    PrintLine(std::isinf(marked.Psnr) ? std::string("PSNR = infinite") : "PSNR = " + Decimals(marked.Psnr, 5) + " dB");
    PrintLine("marked picture: " + o.output);
    PrintLine("key: " + o.key);
    if (FormatFromFileName(o.output) == PictureFormat::Jpeg) {
        const MethodReading reading = method->Detect(LoadPictureOrFail(o.output).bitmap, marked.Key);
        PrintErrorLine("warning: a JPEG file is itself an attack on the mark; use .png, .pgm or .bmp to keep it whole");
        PrintLine("after JPEG saving: bit accuracy " + Decimals(*reading.BitAccuracy, 5) + ", score " +
                  Decimals(reading.Score, 3));
    }
}

void RunEmbed(const EmbedOptions& o, CLI::Option* seedOption, CLI::Option* trialsOption, CLI::Option* payloadOption,
              CLI::Option* targetOption) {
    const std::unique_ptr<WatermarkMethod> chosen = MethodOrFail(o.method);
    if (!chosen->Capabilities().UsesMark) {
        if (trialsOption->count() > 0)
            throw CommandFailure{kExitUsage, "--calibration-trials: " + chosen->Name() +
                                                 " is blind; its keys carry no calibration of their own"};
        RunBlindEmbed(o, *chosen, seedOption, payloadOption, targetOption);
        return;
    }
    if (payloadOption->count() > 0)
        throw CommandFailure{kExitUsage, "--payload: the polarity method embeds a mark picture, no payload"};
    if (targetOption->count() > 0)
        throw CommandFailure{kExitUsage, "--target-psnr: the polarity method has no strength parameter"};
    if (o.output.empty()) throw CommandFailure{kExitUsage, "OUTPUT is required"};
    RequirePictureName("OUTPUT", o.output);
    RefuseSameFile("OUTPUT", o.output, "host picture", o.host);
    RefuseSameFile("OUTPUT", o.output, "mark picture", o.mark);
    RefuseSameFile("--key", o.key, "host picture", o.host);
    RefuseSameFile("--key", o.key, "mark picture", o.mark);
    if (o.key == o.output || SameFile(o.key, o.output))
        throw CommandFailure{kExitUsage, "--key '" + o.key + "' and OUTPUT name the same file"};
    std::optional<std::uint32_t> seed;
    if (seedOption->count() > 0) seed = static_cast<std::uint32_t>(std::stoull(o.seed));

    KeyCalibrationOptions calibration;
    if (trialsOption->count() > 0) {
        calibration.Trials = static_cast<std::uint32_t>(std::stoul(o.trials));
        if (calibration.Trials != 0 && calibration.Trials < kFewestKeyTrials)
            throw CommandFailure{kExitUsage, "--calibration-trials " + o.trials + " is too few: give 0 (no calibration of "
                                                 "the key's own) or " + std::to_string(kFewestKeyTrials) + ".." +
                                                 std::to_string(kMaxKeyTrials)};
    }

    const LoadedPicture host = LoadPictureOrFail(o.host);
    const LoadedPicture mark = LoadPictureOrFail(o.mark);
    MarkedHost marked = EmbedIntoHost(host.bitmap, mark.bitmap, seed);
    CalibrateMarkedHost(marked, host.bitmap, calibration);
    WriteKeyAndPicture(o, EncodeMarkKey(marked.Key), marked.Picture, host.eightBit);

    PrintLine("seed = " + std::to_string(marked.Key.Seed));
    PrintLine(std::isinf(marked.RegionPsnr) ? std::string("PSNR = infinite")
                                            : "PSNR = " + Decimals(marked.RegionPsnr, 5) + " dB (marked region)");
    PrintLine("marked picture: " + o.output);
    PrintLine("key: " + o.key);
    if (const std::optional<KeyCalibration>& own = marked.Key.Calibration)
        PrintLine("key calibration: " + std::to_string(own->Trials()) +
                  " trials of the unmarked host; its thresholds " + Decimals(own->Threshold1e3, 3) + " at 1e-3, " +
                  Decimals(own->Threshold1e6, 3) + " at 1e-6");
    else
        PrintLine("key calibration: none (the global thresholds alone will judge)");
    if (FormatFromFileName(o.output) == PictureFormat::Jpeg) {
        // Read back what was written: the JPEG encoding's loss is the first attack on the mark.
        const MarkReading reading = ReadMark(GrayOf(LoadPictureOrFail(o.output).bitmap), marked.Key);
        PrintErrorLine("warning: a JPEG file is itself an attack on the mark; use .png, .pgm or .bmp to keep it whole");
        PrintLine("after JPEG saving: NC = " + (reading.Nc ? Decimals(*reading.Nc, 5) : std::string("undefined")) +
                  ", score " + Decimals(reading.Score.Value, 3) + " (1.000 before saving)");
    }
}

std::string TransformText(const Registration& r) {
    const SimilarityTransform& t = r.Transform;
    return "registration: rotation " + Decimals(t.RotationDegrees, 2) + " degrees, scale " + Decimals(t.Scale, 4) +
           ", shift " + Decimals(t.ShiftX, 2) + ", " + Decimals(t.ShiftY, 2) + " pixels, fit " + Decimals(r.Fit, 3) +
           (r.Identity ? " (no change needed)" : "");
}

// A suspect read as it is (no --host) must hold all that the key marked: in a smaller one the
// missing part would be read as padding and give a verdict of nothing, so it is refused.
void RefuseSmallSuspect(const ExtractOptions& o, int width, int height, int markedWidth, int markedHeight,
                        const std::string& marked) {
    if (width >= markedWidth && height >= markedHeight) return;
    throw CommandFailure{kExitUsage, "'" + o.suspect + "' is " + std::to_string(width) + " x " + std::to_string(height) +
                                         ", smaller than the " + std::to_string(markedWidth) + " x " +
                                         std::to_string(markedHeight) + " " + marked + " the key '" + o.key +
                                         "' marked: too little to read as it is (a resized or cropped copy is read "
                                         "with --host HOST, which registers it first)"};
}

// Full precision in the JSON; no NaN or infinity reaches it.
nlohmann::json Number(double value) { return std::isfinite(value) ? nlohmann::json(value) : nlohmann::json(); }

// extract with a blind method's key: the payload read, its accuracy against the key's, and the
// verdict by the method's built-in thresholds or the calibration given.
void RunBlindExtract(const ExtractOptions& o, const MethodKeyRecord& record, const Calibration* calibration,
                     CLI::Option* hostOption) {
    std::unique_ptr<WatermarkMethod> method;
    try {
        method = MakeMethod(SpecFromKey(record));
    } catch (const ArgumentError& e) {
        throw CommandFailure{kExitUsage, "'" + o.key + "' names a method this program cannot read (" + e.what() + ")"};
    }
    const double at1e3 = calibration != nullptr ? calibration->ThresholdEmpirical : method->Thresholds()->first;
    const double at1e6 = calibration != nullptr ? calibration->ThresholdModelled : method->Thresholds()->second;
    const MethodKey key = MethodKey::From(AnyKey{std::nullopt, record});
    const Bitmap suspect = LoadPictureOrFail(o.suspect).bitmap;
    std::optional<Registration> registration;
    MethodReading reading;
    if (hostOption->count() > 0) {
        // The luminance registered to the host's and read as a gray picture.
        const GrayPlane host = GrayOf(LoadPictureOrFail(o.host).bitmap);
        registration = RegisterAndUndo(GrayOf(suspect), host);
        const GrayPlane& moved = registration->Picture;
        reading = method->DetectGray(moved.pixels(), moved.width(), moved.height(), key);
    } else {
        RefuseSmallSuspect(o, suspect.width(), suspect.height(), record.HostWidth, record.HostHeight, "picture");
        if (suspect.width() != record.HostWidth || suspect.height() != record.HostHeight)
            PrintErrorLine("note: the suspect is " + std::to_string(suspect.width()) + " x " +
                           std::to_string(suspect.height()) + ", the marked picture was " +
                           std::to_string(record.HostWidth) + " x " + std::to_string(record.HostHeight) +
                           "; if it was resized, rotated or cropped, --host registers it first");
        reading = method->Detect(suspect, key);
    }
    Verdict verdict;
    verdict.Score = reading.Score;
    verdict.Threshold = at1e6;
    verdict.Present = reading.Score >= at1e6;
    verdict.Threshold1e3 = at1e3;
    verdict.Detected1e3 = reading.Score >= at1e3;
    const int right = static_cast<int>(std::lround(*reading.BitAccuracy * static_cast<double>(record.Payload.size())));
    if (o.json) {
        nlohmann::ordered_json report;
        report["present"] = verdict.Present;
        report["score"] = Number(verdict.Score);
        report["thresholds"] = {{"1e-3", Number(at1e3)}, {"1e-6", Number(at1e6)}};
        report["detected_1e-3"] = verdict.Detected1e3;
        report["detected_1e-6"] = verdict.Present;
        report["method"] = record.Method;
        report["method_params"] = method->Parameters();
        report["payload"] = PayloadHex(record.Payload);
        report["payload_read"] = PayloadHex(reading.Bits);
        report["payload_bits"] = record.Payload.size();
        report["bit_accuracy"] = Number(*reading.BitAccuracy);
        report["threshold"] = Number(at1e6);
        report["false_alarm_rate"] = kFprModelled;
        report["calibration"] = calibration != nullptr ? o.calibration : std::string("built-in thresholds");
        if (registration) {
            const SimilarityTransform& t = registration->Transform;
            report["transform"] = {{"rotation_degrees", Number(t.RotationDegrees)}, {"scale", Number(t.Scale)},
                                   {"shift_x", Number(t.ShiftX)},           {"shift_y", Number(t.ShiftY)},
                                   {"fit", Number(registration->Fit)},      {"identity", registration->Identity}};
        }
        PrintLine(report.dump(2));
        return;
    }
    PrintLine(VerdictText(verdict));
    PrintLine("method = " + record.Method + ":" + method->Parameters());
    PrintLine("payload read = " + PayloadHex(reading.Bits) + " (" + std::to_string(right) + " of " +
              std::to_string(record.Payload.size()) + " bits as embedded: bit accuracy " +
              Decimals(*reading.BitAccuracy, 5) + ")");
    if (registration) PrintLine(TransformText(*registration));
}

void RunExtract(const ExtractOptions& o, CLI::Option* hostOption, CLI::Option* markOutOption,
                CLI::Option* calibrationOption) {
    if (markOutOption->count() > 0) {
        RequirePictureName("--mark-out", o.markOut);
        RefuseSameFile("--mark-out", o.markOut, "suspect picture", o.suspect);
        RefuseSameFile("--mark-out", o.markOut, "key", o.key);
        if (hostOption->count() > 0) RefuseSameFile("--mark-out", o.markOut, "host picture", o.host);
        if (calibrationOption->count() > 0) RefuseSameFile("--mark-out", o.markOut, "calibration", o.calibration);
    }
    const AnyKey any = LoadKeyOrFail(o.key);
    Calibration calibration = DefaultCalibration();
    if (calibrationOption->count() > 0) {
        try {
            calibration = LoadCalibration(o.calibration);
        } catch (const Error& e) {
            throw CommandFailure{kExitUsage, e.what()};
        }
        const std::string method = any.Method ? any.Method->Method : std::string(kPolarityMethod);
        const std::string made = calibration.Method.empty() ? std::string(kPolarityMethod)
                                                            : calibration.Method.substr(0, calibration.Method.find(':'));
        if (made != method)
            throw CommandFailure{kExitUsage, "--calibration: '" + o.calibration + "' calibrates " + made +
                                                 ", the key is one of " + method};
    }
    if (any.Method) {
        if (markOutOption->count() > 0)
            throw CommandFailure{kExitUsage, "--mark-out: the key is one of " + any.Method->Method +
                                                 ", which carries payload bits, not a mark picture"};
        RunBlindExtract(o, *any.Method, calibrationOption->count() > 0 ? &calibration : nullptr, hostOption);
        return;
    }
    const MarkKey& key = *any.Polarity;
    const GrayPlane suspect = GrayOf(LoadPictureOrFail(o.suspect).bitmap);
    std::optional<Registration> registration;
    bool readAsIs = false;
    MarkReading reading;
    if (hostOption->count() > 0) {
        const GrayPlane host = GrayOf(LoadPictureOrFail(o.host).bitmap);
        if (host.width() != key.HostWidth || host.height() != key.HostHeight)
            PrintErrorLine("warning: the host picture is " + std::to_string(host.width()) + " x " +
                           std::to_string(host.height()) + ", the key's was " + std::to_string(key.HostWidth) + " x " +
                           std::to_string(key.HostHeight) + "; is it the picture that was marked?");
        SuspectReading read = ReadRegisteredMark(suspect, host, key);
        registration = std::move(read.Registered);
        readAsIs = read.ReadAsIs;
        reading = std::move(read.Reading);
        if (readAsIs)
            PrintErrorLine("note: where the mark lies, the suspect as it is fits the host better (fit " +
                           Decimals(read.AsIsFit, 3) + ") than after the transform found (fit " +
                           Decimals(read.MovedFit, 3) + "): the mark is read from the suspect as it is");
        if (registration->Fit < kPoorFit && !readAsIs)
            PrintErrorLine("warning: the suspect fits the host poorly (fit " + Decimals(registration->Fit, 3) +
                           "); it may not be a copy of it");
    } else {
        RefuseSmallSuspect(o, suspect.width(), suspect.height(), key.RegionLeft + key.RegionSize,
                           key.RegionTop + key.RegionSize, "region");
        if (suspect.width() != key.HostWidth || suspect.height() != key.HostHeight)
            PrintErrorLine("note: the suspect is " + std::to_string(suspect.width()) + " x " +
                           std::to_string(suspect.height()) + ", the marked picture was " +
                           std::to_string(key.HostWidth) + " x " + std::to_string(key.HostHeight) +
                           "; if it was resized, rotated or cropped, --host registers it first");
        reading = ReadMark(suspect, key);
    }
    const KeyThresholds thresholds = ThresholdsOf(key, calibration);
    const Verdict verdict = Judge(reading.Score, thresholds);
    if (!thresholds.OwnCalibration)
        PrintErrorLine("note: the key '" + o.key +
                       "' has no calibration of its own (it was written before keys carried one, or without it): the "
                       "global thresholds alone judge");

    if (markOutOption->count() > 0)
        SavePictureOrFail(o.markOut, TWatermark::MakeBitmap128(reading.W_wave), true);

    if (o.json) {
        nlohmann::ordered_json report;
        const auto whose = [](bool own) { return own ? "key" : "global"; };
        report["present"] = verdict.Present;
        report["score"] = Number(verdict.Score);
        report["thresholds"] = {{"1e-3", Number(thresholds.At1e3)}, {"1e-6", Number(thresholds.At1e6)}};
        report["threshold_sources"] = {{"1e-3", whose(thresholds.KeySets1e3)}, {"1e-6", whose(thresholds.KeySets1e6)}};
        report["detected_1e-3"] = verdict.Detected1e3;
        report["detected_1e-6"] = verdict.Present;
        report["nc"] = reading.Nc ? Number(*reading.Nc) : nlohmann::json();
        report["ber"] = Number(reading.Ber);
        report["threshold"] = Number(verdict.Threshold);
        report["false_alarm_rate"] = verdict.FalseAlarmRate;
        report["calibration"] = whose(thresholds.OwnCalibration);
        report["global_calibration"] = calibration.Source;
        report["identical"] = reading.RegionIdentical;
        report["relations"] = {{"reversed", reading.Score.Reversed},
                               {"reversed_seen", reading.Score.ReversedSeen},
                               {"untouched", reading.Score.Untouched},
                               {"untouched_reversed", reading.Score.UntouchedReversed}};
        if (registration) {
            const SimilarityTransform& t = registration->Transform;
            report["transform"] = {{"rotation_degrees", Number(t.RotationDegrees)},
                                   {"scale", Number(t.Scale)},
                                   {"shift_x", Number(t.ShiftX)},
                                   {"shift_y", Number(t.ShiftY)},
                                   {"fit", Number(registration->Fit)},
                                   {"identity", registration->Identity}};
            // Only when the transform was set aside, so that other reports keep their bytes.
            if (readAsIs) report["read_as_is"] = true;
        }
        PrintLine(report.dump(2));
        return;
    }
    PrintLine(VerdictText(verdict));
    PrintLine("NC = " + (reading.Nc ? Decimals(*reading.Nc, 5) : std::string("undefined")));
    PrintLine("BER = " + Decimals(reading.Ber, 5));
    if (registration) PrintLine(TransformText(*registration));
    if (reading.RegionIdentical) PrintLine("the suspect's region is the marked region, byte for byte");
    if (markOutOption->count() > 0) PrintLine("extracted mark: " + o.markOut);
}

}  // namespace

void RegisterMarkingCommands(CLI::App& app) {
    auto e = std::make_shared<EmbedOptions>();
    CLI::App* embed = app.add_subcommand(
        "embed", "Mark the top-left 256 x 256 region of HOST with MARK; write the marked picture and its key");
    embed->add_option("HOST", e->host, "host picture, at least 256 x 256 (.pgm, .bmp, .png, .jpg, .jpeg)")->required();
    embed->add_option("MARK", e->mark,
                      "mark picture; used at 128 x 128, black (< 128) pixels carry the mark (the polarity method; a "
                      "blind method takes HOST OUTPUT)");
    embed->add_option("OUTPUT", e->output,
                      "marked picture at the host's size, format by extension (.pgm, .png, .bmp keep the mark whole; "
                      ".jpg is allowed but is itself an attack)");
    embed->add_option("--key", e->key, "key file to write; extraction needs it")->required();
    CLI::Option* seedOption =
        embed->add_option("--seed", e->seed, "generator seed, 0..4294967295 (default: the UTC time of day in ms)")
            ->transform(DecimalNumber(0, 4294967295LL));
    CLI::Option* trialsOption =
        embed->add_option("--calibration-trials", e->trials,
                          "null trials of the key's own calibration: the unmarked host after noise, JPEG, small filters "
                          "and the like; 0 for none (default " + std::to_string(kDefaultKeyTrials) + ")")
            ->transform(DecimalNumber(0, kMaxKeyTrials));
    embed->add_option("--method", e->method,
                      "the method, NAME[:param=value,...] (default polarity; " + MethodListHelp() +
                          "); a blind method marks the whole picture's luminance and writes a key of format 3");
    CLI::Option* payloadOption = embed->add_option(
        "--payload", e->payload, "a blind method's payload in hexadecimal digits, the first bit the highest (default: "
                                 "drawn from the seed)");
    CLI::Option* targetOption = embed->add_option(
        "--target-psnr", e->targetPsnr, "a blind method's strength set for this embedding PSNR in dB (within 0.1 dB)");
    embed->callback([e, seedOption, trialsOption, payloadOption, targetOption] {
        RunEmbed(*e, seedOption, trialsOption, payloadOption, targetOption);
    });

    auto x = std::make_shared<ExtractOptions>();
    CLI::App* extract = app.add_subcommand(
        "extract", "Read the mark from SUSPECT with KEY and say whether it is there (exit 0 either way)");
    extract->add_option("SUSPECT", x->suspect, "picture to examine (.pgm, .bmp, .png, .jpg, .jpeg)")->required();
    extract->add_option("--key", x->key, "key file written by embed")->required();
    CLI::Option* hostOption = extract->add_option(
        "--host", x->host,
        "the original or the marked picture: register SUSPECT to it first (undoes rotation, scaling, shifts, crops)");
    CLI::Option* markOutOption =
        extract->add_option("--mark-out", x->markOut, "write the extracted 128 x 128 mark (W_wave) to this picture");
    CLI::Option* calibrationOption = extract->add_option(
        "--calibration", x->calibration,
        "calibration JSON with \"thresholds\": {\"fpr_1e-3\", \"fpr_1e-6\"} (default: the built-in thresholds); the "
        "key's own calibration, when it has one, is never judged below");
    extract->add_flag("--json", x->json, "print one JSON object instead of the text report");
    extract->callback([x, hostOption, markOutOption, calibrationOption] {
        RunExtract(*x, hostOption, markOutOption, calibrationOption);
    });
}

}  // namespace quillfen::cli
