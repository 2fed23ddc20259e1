// quillfen-cli embed HOST MARK OUTPUT --key KEY [--seed N] [--calibration-trials N]
// quillfen-cli extract SUSPECT --key KEY [--host HOST] [--mark-out FILE] [--calibration FILE] [--json]
//
// Marking real pictures: embed writes the marked host at its own size and the key that a
// later extraction needs; extract reads the mark back from a picture that went through other
// programs, optionally registering it to the original first, and gives the verdict.
#include <cstdio>
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
#include "quillfen/methods/extraction.h"
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
// "no mark found: score 0.004 < 0.125". A verdict in units of the chance spread names its z
// and the picture's own threshold; a payload method's attests its key's carrier (the seed's
// sequences), whatever payload they carry: the payload's own line says whether it is the key's.
std::string VerdictText(const Verdict& verdict, bool payload) {
    const std::string score = Decimals(verdict.Score, 3);
    const std::string threshold = Decimals(verdict.Threshold, 3);
    if (verdict.Units == Statistic::Score) {
        if (verdict.Present) return "mark present: score " + score + " \u2265 " + threshold + " (false alarms \u2264 1e-6)";
        return "no mark found: score " + score + " < " + threshold;
    }
    const std::string what = payload ? "the key's carrier" : "mark";
    const std::string z = "z " + Decimals(verdict.Z, 2);
    if (verdict.Present)
        return what + " present" + (verdict.Inverted ? ", read inverted" : "") + ": score " + score + ", |score| \u2265 " +
               threshold + " on this picture (" + z + "; false alarms \u2264 1e-6" + (payload ? " for the carrier" : "") +
               ")";
    return std::string(payload ? "no carrier of the key found" : "no mark found") + ": score " + score + ", |score| < " +
           threshold + " on this picture (" + z + ")";
}

MethodKey LoadKeyOrFail(const std::string& path) {
    try {
        return MethodRegistry::BuiltIn().LoadKey(path);
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

// A method of the registry from --method; the default (the polarity method) when none is given.
std::unique_ptr<WatermarkMethod> MethodOrFail(const std::string& text) {
    try {
        return MakeMethod(text.empty() ? DefaultMethod() : ParseMethodSpec(text));
    } catch (const ArgumentError& e) {
        throw CommandFailure{kExitUsage, std::string("--method: ") + e.what()};
    }
}

void RunEmbed(EmbedOptions o, CLI::Option* seedOption, CLI::Option* trialsOption, CLI::Option* payloadOption,
              CLI::Option* targetOption) {
    const std::unique_ptr<WatermarkMethod> chosen = MethodOrFail(o.method);
    const MethodCapabilities& can = chosen->Capabilities();
    if (trialsOption->count() > 0 && !can.CalibratesKeys)
        throw CommandFailure{kExitUsage, "--calibration-trials: " + chosen->Name() +
                                             (can.Blind ? " is blind; its keys" : "'s keys") +
                                             " carry no calibration of their own"};
    if (payloadOption->count() > 0 && can.PayloadBits == 0)
        throw CommandFailure{kExitUsage, "--payload: the " + chosen->Name() + " method embeds a mark picture, no payload"};
    if (targetOption->count() > 0 && chosen->StrengthParameter() == nullptr)
        throw CommandFailure{kExitUsage, "--target-psnr: the " + chosen->Name() + " method has no strength parameter"};
    if (!can.UsesMark) {
        // HOST OUTPUT: the second word is the output.
        if (!o.output.empty())
            throw CommandFailure{kExitUsage, chosen->Name() + " embeds payload bits, not a mark picture: give HOST OUTPUT"};
        o.output = o.mark;
        o.mark.clear();
    }
    if (o.output.empty()) throw CommandFailure{kExitUsage, "OUTPUT is required"};
    RequirePictureName("OUTPUT", o.output);
    RefuseSameFile("OUTPUT", o.output, "host picture", o.host);
    if (can.UsesMark) RefuseSameFile("OUTPUT", o.output, "mark picture", o.mark);
    RefuseSameFile("--key", o.key, "host picture", o.host);
    if (can.UsesMark) RefuseSameFile("--key", o.key, "mark picture", o.mark);
    if (o.key == o.output || SameFile(o.key, o.output))
        throw CommandFailure{kExitUsage, "--key '" + o.key + "' and OUTPUT name the same file"};
    const std::uint32_t seed =
        seedOption->count() > 0 ? static_cast<std::uint32_t>(std::stoull(o.seed)) : TWatermark::ClockSeed();
    KeyCalibrationOptions calibration;
    if (trialsOption->count() > 0) {
        calibration.Trials = static_cast<std::uint32_t>(std::stoul(o.trials));
        if (calibration.Trials != 0 && calibration.Trials < kFewestKeyTrials)
            throw CommandFailure{kExitUsage, "--calibration-trials " + o.trials + " is too few: give 0 (no calibration of "
                                                 "the key's own) or " + std::to_string(kFewestKeyTrials) + ".." +
                                                 std::to_string(kMaxKeyTrials)};
    }
    MethodPayload payload;
    try {
        payload.Bits = payloadOption->count() > 0 ? ParsePayloadHex(o.payload, chosen->PayloadBits())
                                                  : PayloadFromSeed(seed, chosen->PayloadBits());
    } catch (const ArgumentError& e) {
        throw CommandFailure{kExitUsage, std::string("--payload: ") + e.what()};
    }
    const std::optional<double> target =
        targetOption->count() > 0 ? std::optional<double>(TargetPsnrOrFail(o.targetPsnr)) : std::nullopt;
    const LoadedPicture host = LoadPictureOrFail(o.host);
    if (can.UsesMark) payload.Mark = LoadPictureOrFail(o.mark).bitmap;
    const ImageView hostView = ViewOf(host.bitmap);
    std::unique_ptr<WatermarkMethod> method;
    MethodMarked marked;
    try {
        if (target) {
            MarkedAtPsnr found = MarkAtPsnr(*chosen, hostView, payload, seed, *target);
            method = std::move(found.Method);
            marked = std::move(found.Marked);
        } else {
            method = chosen->With(chosen->Describe());
            marked = method->Embed(hostView, payload, seed);
        }
    } catch (const ArgumentError& e) {
        throw CommandFailure{kExitFailed, e.what()};
    }
    CalibrateMarkedKey(*method, marked, hostView, calibration);
    WriteKeyAndPicture(o, method->KeyToBytes(marked.Key), marked.Picture, host.eightBit);

    if (can.PayloadBits > 0) PrintLine("method = " + method->Name() + ":" + method->Parameters());
    else if (target) PrintLine(std::string(method->StrengthParameter()->Name) + " = " + FormatNumber(*method->Strength()));
    PrintLine("seed = " + std::to_string(seed));
    if (can.PayloadBits > 0)
        PrintLine("payload = " + PayloadHex(payload.Bits) + " (" + std::to_string(payload.Bits.size()) + " bits)");
    const std::string where = can.RegionSide > 0 ? " dB (marked region)" : " dB";
    PrintLine(std::isinf(marked.Psnr) ? std::string("PSNR = infinite") : "PSNR = " + Decimals(marked.Psnr, 5) + where);
    // A strength of whole steps may reach the target only as closely as its steps allow.
    const double aimed = targetOption->count() > 0 ? TargetPsnrOrFail(o.targetPsnr) : 0.0;
    if (targetOption->count() > 0 && std::fabs(marked.Psnr - aimed) > 0.1)
        PrintErrorLine("note: --target-psnr " + FormatNumber(aimed) + ": the nearest " +
                       method->StrengthParameter()->Name + " (whole numbers) gives " + Decimals(marked.Psnr, 2) + " dB");
    PrintLine("marked picture: " + o.output);
    PrintLine("key: " + o.key);
    if (can.CalibratesKeys) {
        if (const std::optional<KeyCalibration>& own = marked.Key.Calibration)
            PrintLine("key calibration: " + std::to_string(own->Trials()) +
                      " trials of the unmarked host; its thresholds " + Decimals(own->Threshold1e3, 3) + " at 1e-3, " +
                      Decimals(own->Threshold1e6, 3) + " at 1e-6");
        else
            PrintLine("key calibration: none (the global thresholds alone will judge)");
    }
    if (FormatFromFileName(o.output) == PictureFormat::Jpeg) {
        // Read back what was written: the JPEG encoding's loss is the first attack on the mark.
        const MethodReading reading = method->Detect(ViewOf(LoadPictureOrFail(o.output).bitmap), marked.Key);
        PrintErrorLine("warning: a JPEG file is itself an attack on the mark; use .png, .pgm or .bmp to keep it whole");
        if (reading.BitAccuracy)
            PrintLine("after JPEG saving: bit accuracy " + Decimals(*reading.BitAccuracy, 5) + ", score " +
                      Decimals(reading.Score, 3));
        else
            PrintLine("after JPEG saving: NC = " + (reading.Nc ? Decimals(*reading.Nc, 5) : std::string("undefined")) +
                      ", score " + Decimals(reading.Score, 3) + " (1.000 before saving)");
    }
}

std::string TransformText(const Registration& r) {
    const SimilarityTransform& t = r.Transform;
    return "registration: rotation " + Decimals(t.RotationDegrees, 2) + " degrees, scale " + Decimals(t.Scale, 4) +
           ", shift " + Decimals(t.ShiftX, 2) + ", " + Decimals(t.ShiftY, 2) + " pixels, fit " + Decimals(r.Fit, 3) +
           (r.Identity ? " (no change needed)" : "");
}

// What a method that synchronises found: the marked picture's place in the suspect.
std::string FoundText(const FoundGeometry& f) {
    char chance[32];
    std::snprintf(chance, sizeof chance, "%.2e", f.FalseAlarm);
    return "found: rotation " + Decimals(f.RotationDegrees, 2) + " degrees, scale " + Decimals(f.ScaleX, 4) + " x " +
           Decimals(f.ScaleY, 4) + ", shear " + Decimals(f.Shear, 4) + ", shift " + Decimals(f.ShiftX, 2) + ", " +
           Decimals(f.ShiftY, 2) + " pixels; lattice peak " + Decimals(f.Peak, 3) + ", chance at most " + chance;
}

std::string Size(int width, int height) { return std::to_string(width) + " x " + std::to_string(height); }

void RunExtract(const ExtractOptions& o, CLI::Option* hostOption, CLI::Option* markOutOption,
                CLI::Option* calibrationOption) {
    if (markOutOption->count() > 0) {
        RequirePictureName("--mark-out", o.markOut);
        RefuseSameFile("--mark-out", o.markOut, "suspect picture", o.suspect);
        RefuseSameFile("--mark-out", o.markOut, "key", o.key);
        if (hostOption->count() > 0) RefuseSameFile("--mark-out", o.markOut, "host picture", o.host);
        if (calibrationOption->count() > 0) RefuseSameFile("--mark-out", o.markOut, "calibration", o.calibration);
    }
    const MethodKey key = LoadKeyOrFail(o.key);
    std::unique_ptr<WatermarkMethod> method = MakeMethod(MethodRegistry::BuiltIn().SpecOf(key));
    const MethodCapabilities& can = method->Capabilities();
    std::optional<Calibration> given;
    if (calibrationOption->count() > 0) {
        try {
            given = LoadCalibration(o.calibration);
        } catch (const Error& e) {
            throw CommandFailure{kExitUsage, e.what()};
        }
        // A calibration without a method is one of a mark: the default method's.
        const std::string made =
            given->Method.empty() ? DefaultMethod().Method() : given->Method.substr(0, given->Method.find(':'));
        if (made != key.Method)
            throw CommandFailure{kExitUsage, "--calibration: '" + o.calibration + "' calibrates " + made +
                                                 ", the key is one of " + key.Method};
    }
    if (markOutOption->count() > 0 && !can.UsesMark)
        throw CommandFailure{kExitUsage, "--mark-out: the key is one of " + key.Method +
                                             ", which carries payload bits, not a mark picture"};
    const LoadedPicture suspect = LoadPictureOrFail(o.suspect);
    std::optional<LoadedPicture> host;
    if (hostOption->count() > 0) host = LoadPictureOrFail(o.host);
    // A key that keeps its host's data was made from that host: another one is worth a word.
    if (host && !can.Blind && (host->bitmap.width() != key.HostWidth || host->bitmap.height() != key.HostHeight))
        PrintErrorLine("warning: the host picture is " + Size(host->bitmap.width(), host->bitmap.height()) +
                       ", the key's was " + Size(key.HostWidth, key.HostHeight) + "; is it the picture that was marked?");
    // A suspect read as it is must hold all that the key marked: in a smaller one the rest would
    // be read as padding and give a verdict of nothing.
    const MarkedArea area = MarkedAreaOf(*method, key);
    if (!host && (suspect.bitmap.width() < area.Width || suspect.bitmap.height() < area.Height))
        throw CommandFailure{kExitUsage, "'" + o.suspect + "' is " + Size(suspect.bitmap.width(), suspect.bitmap.height()) +
                                             ", smaller than the " + Size(area.Width, area.Height) + " " + area.What +
                                             " the key '" + o.key +
                                             "' marked: too little to read as it is (a resized or cropped copy is "
                                             "read with --host HOST, which registers it first)"};
    // A method that synchronises finds a resized, rotated or cropped copy's geometry itself.
    if (!host && !method->Capabilities().Synchronises &&
        (suspect.bitmap.width() != key.HostWidth || suspect.bitmap.height() != key.HostHeight))
        PrintErrorLine("note: the suspect is " + Size(suspect.bitmap.width(), suspect.bitmap.height()) +
                       ", the marked picture was " + Size(key.HostWidth, key.HostHeight) +
                       "; if it was resized, rotated or cropped, --host registers it first");
    quillfen::ExtractOptions options;
    const ImageView hostView = host ? ViewOf(host->bitmap) : ImageView();
    if (host) options.Host = &hostView;
    if (given) options.Given = &*given;
    Extraction x;
    try {
        x = Extract(*method, key, ViewOf(suspect.bitmap), options);
    } catch (const ArgumentError& e) {
        throw CommandFailure{kExitUsage, e.what()};
    }
    if (x.ReadAsIs)
        PrintErrorLine("note: where the mark lies, the suspect as it is fits the host better (fit " +
                       Decimals(x.AsIsFit, 3) + ") than after the transform found (fit " + Decimals(x.MovedFit, 3) +
                       "): the mark is read from the suspect as it is");
    if (x.Registered && can.RegionSide > 0 && x.Registered->Fit < kPoorFit && !x.ReadAsIs)
        PrintErrorLine("warning: the suspect fits the host poorly (fit " + Decimals(x.Registered->Fit, 3) +
                       "); it may not be a copy of it");
    if (can.CalibratesKeys && !x.Thresholds.OwnCalibration)
        PrintErrorLine("note: the key '" + o.key +
                       "' has no calibration of its own (it was written before keys carried one, or without it): the "
                       "global thresholds alone judge");
    if (markOutOption->count() > 0)
        SavePictureOrFail(o.markOut, Bitmap::fromGray(x.Reading.Mark.width(), x.Reading.Mark.height(), x.Reading.Mark.data()),
                          true);
    if (o.json) {
        PrintLine(ExtractionJson(x));
        return;
    }
    PrintLine(VerdictText(x.Judged, can.PayloadBits > 0));
    if (can.UsesMark) {
        PrintLine("NC = " + (x.Reading.Nc ? Decimals(*x.Reading.Nc, 5) : std::string("undefined")));
        PrintLine("BER = " + Decimals(x.Reading.Ber.value_or(0.0), 5));
    }
    if (can.PayloadBits > 0 && !x.Reading.Message.empty()) {
        // A coded payload: the message decoded from the carried bits.
        const std::size_t carried = x.Reading.Bits.size();
        const int right =
            static_cast<int>(std::lround(x.Reading.BitAccuracy.value_or(0.0) * static_cast<double>(carried)));
        PrintLine("method = " + key.Method + ":" + method->Parameters());
        PrintLine("carried bits read = " + PayloadHex(x.Reading.Bits) + " (" + std::to_string(right) + " of " +
                  std::to_string(carried) + " as embedded: bit accuracy " +
                  Decimals(x.Reading.BitAccuracy.value_or(0.0), 5) + ")" +
                  (x.Judged.Inverted ? ", read back flipped from the inverted mark" : ""));
        PrintLine("payload read = " + PayloadHex(x.Reading.Message) + " (" + std::to_string(x.Reading.Message.size()) +
                  " bits, " +
                  (x.Reading.Corrected ? "decoded: the code corrected " + std::to_string(*x.Reading.Corrected) +
                                             " carried bit" + (*x.Reading.Corrected == 1 ? "" : "s")
                                       : std::string("not decoded: more carried bits wrong than the code corrects")) +
                  ")");
        PrintLine(x.PayloadMatch.value_or(false)
                      ? std::string("payload match: the key's payload, decoded exactly")
                      : "payload match: no, the payload decoded is not the key's (no false-alarm rate is claimed for it)");
    } else if (can.PayloadBits > 0) {
        const int right =
            static_cast<int>(std::lround(x.Reading.BitAccuracy.value_or(0.0) * static_cast<double>(key.Payload.size())));
        PrintLine("method = " + key.Method + ":" + method->Parameters());
        PrintLine("payload read = " + PayloadHex(x.Reading.Bits) + " (" + std::to_string(right) + " of " +
                  std::to_string(key.Payload.size()) + " bits as embedded: bit accuracy " +
                  Decimals(x.Reading.BitAccuracy.value_or(0.0), 5) + ")" +
                  (x.Judged.Inverted ? ", read back flipped from the inverted mark" : ""));
        // What the verdict above does not say: whether the carrier holds the key's payload.
        PrintLine(x.PayloadMatch.value_or(false)
                      ? std::string("payload match: the key's payload, bit for bit")
                      : "payload match: no, the payload read is not the key's (no false-alarm rate is claimed for it)");
    }
    if (x.Registered) PrintLine(TransformText(*x.Registered));
    if (x.Reading.Found) PrintLine(FoundText(*x.Reading.Found));
    else if (can.Synchronises) PrintLine("found: no periodic structure to synchronise on");
    if (x.Reading.Identical) PrintLine("the suspect's region is the marked region, byte for byte");
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
