// One reading and verdict for every method, and its JSON form.
#include "quillfen/methods/extraction.h"

#include <cmath>

#include <nlohmann/json.hpp>

#include "quillfen/image/errors.h"

namespace quillfen {

namespace {

// Full precision in the JSON; no NaN or infinity reaches it.
nlohmann::json Number(double value) { return std::isfinite(value) ? nlohmann::json(value) : nlohmann::json(); }

}  // namespace

Calibration BuiltInCalibration(const WatermarkMethod& method) {
    const auto thresholds = method.Thresholds();
    if (!thresholds)
        throw ArgumentError(method.Name() + " has no thresholds of its own: give a calibration of it");
    // The laboratory's own method keeps its shipped calibration's text and source.
    if (method.Capabilities().UsesMark) return DefaultCalibration();
    Calibration built;
    built.Units = method.Describe().Info->ThresholdUnits;
    built.ThresholdEmpirical = thresholds->first;
    built.ThresholdModelled = thresholds->second;
    built.Source = "built-in thresholds";
    return built;
}

std::optional<bool> ReadPayload(MethodReading& reading, const Verdict& verdict, std::span<const std::uint8_t> payload) {
    const bool coded = !reading.Message.empty();
    const std::vector<std::uint8_t>& message = coded ? reading.Message : reading.Bits;
    if (payload.empty() || message.size() != payload.size()) return std::nullopt;
    if (verdict.Inverted) {
        for (std::uint8_t& bit : reading.Bits) bit = bit == 0 ? 1 : 0;
        if (coded) {
            // The complement of a coded word decodes to the complement of its message with as
            // many corrections (payload_code.h); every carried bit that was right is now wrong.
            for (std::uint8_t& bit : reading.Message) bit = bit == 0 ? 1 : 0;
            if (reading.BitAccuracy) reading.BitAccuracy = 1.0 - *reading.BitAccuracy;
        } else {
            reading.BitAccuracy = BitAccuracy(reading.Bits, payload);
        }
        if (reading.Ber) reading.Ber = 1.0 - *reading.BitAccuracy;
    }
    // Under a code, only a message the code decoded counts: one it refused matches nothing.
    if (coded && !reading.Corrected) return false;
    return std::equal(message.begin(), message.end(), payload.begin());
}

MarkedArea MarkedAreaOf(const WatermarkMethod& method, const MethodKey& key) {
    // A method that finds the geometry by itself reads crops and reduced copies as they are.
    if (method.Capabilities().Synchronises) return {0, 0, "picture"};
    const int side = method.Capabilities().RegionSide;
    if (side > 0) return {side, side, "region"};
    return {key.HostWidth, key.HostHeight, "picture"};
}

Extraction Extract(const WatermarkMethod& method, const MethodKey& key, const ImageView& suspect,
                   const ExtractOptions& options) {
    CheckImageView(suspect, "suspect picture");
    const MarkedArea area = MarkedAreaOf(method, key);
    if (options.Host == nullptr && (suspect.width() < area.Width || suspect.height() < area.Height))
        throw ArgumentError("the suspect is " + std::to_string(suspect.width()) + " x " +
                            std::to_string(suspect.height()) + ", smaller than the " + std::to_string(area.Width) +
                            " x " + std::to_string(area.Height) + " " + area.What +
                            " the key marked: too little to read as it is (register a resized or cropped copy to "
                            "its host first)");
    Extraction out;
    out.Method = key.Method;
    out.MethodParams = method.Parameters();
    out.Capabilities = method.Capabilities();
    out.Payload = key.Payload;
    out.SuspectWidth = suspect.width();
    out.SuspectHeight = suspect.height();
    out.KeyWidth = key.HostWidth;
    out.KeyHeight = key.HostHeight;
    const Calibration global = options.Given != nullptr ? *options.Given : BuiltInCalibration(method);
    out.GlobalSource = global.Source;
    if (options.Host == nullptr) {
        out.Reading = method.Detect(suspect, key);
    } else {
        const ImageView& host = *options.Host;
        CheckImageView(host, "host picture");
        out.HostWidth = host.width();
        out.HostHeight = host.height();
        const GrayPlane suspectPlane = ToPlane(suspect.Gray());
        const GrayPlane hostPlane = ToPlane(host.Gray());
        Registration registered = RegisterAndUndo(suspectPlane, hostPlane);
        // Where a method marks a region, a transform that fits the region worse than the suspect
        // as it is would read the mark from a picture moved the wrong way (an unmoved picture
        // misregistered): the suspect is then read as it is.
        if (out.Capabilities.RegionSide > 0 && !registered.Identity) {
            out.AsIsFit = RegionFit(suspectPlane, hostPlane);
            out.MovedFit = RegionFit(registered.Picture, hostPlane);
            out.ReadAsIs = out.AsIsFit >= kPoorFit && out.AsIsFit > out.MovedFit;
        }
        out.Reading = method.Detect(out.ReadAsIs ? ImageView(suspectPlane) : ImageView(registered.Picture), key);
        out.Registered = std::move(registered);
    }
    out.Thresholds = ThresholdsOf(key.Calibration, global);
    out.Judged = Judge(out.Reading.Score, out.Reading.ChanceVariance, out.Thresholds);
    out.PayloadMatch = ReadPayload(out.Reading, out.Judged, key.Payload);
    return out;
}

std::string ExtractionJson(const Extraction& x) {
    nlohmann::ordered_json report;
    const bool ownNull = x.Capabilities.CalibratesKeys;
    const auto whose = [](bool own) { return own ? "key" : "global"; };
    report["present"] = x.Judged.Present;
    report["score"] = Number(x.Judged.Score);
    if (x.Judged.Units == Statistic::Spread) {
        // The score's distance from 0 in units of this picture's chance spread, what the
        // thresholds judge; the thresholds in score units are those of this picture.
        report["z"] = Number(x.Judged.Z);
        report["inverted"] = x.Judged.Inverted;
        report["thresholds"] = {{"1e-3", Number(x.Judged.Threshold1e3)}, {"1e-6", Number(x.Judged.Threshold)}};
        report["thresholds_z"] = {{"1e-3", Number(x.Thresholds.At1e3)}, {"1e-6", Number(x.Thresholds.At1e6)}};
    } else {
        report["thresholds"] = {{"1e-3", Number(x.Thresholds.At1e3)}, {"1e-6", Number(x.Thresholds.At1e6)}};
    }
    if (ownNull)
        report["threshold_sources"] = {{"1e-3", whose(x.Thresholds.KeySets1e3)}, {"1e-6", whose(x.Thresholds.KeySets1e6)}};
    report["detected_1e-3"] = x.Judged.Detected1e3;
    report["detected_1e-6"] = x.Judged.Present;
    if (x.Capabilities.UsesMark) {
        report["nc"] = x.Reading.Nc ? Number(*x.Reading.Nc) : nlohmann::json();
        report["ber"] = Number(x.Reading.Ber.value_or(0.0));
    }
    if (x.Capabilities.PayloadBits > 0) {
        report["method"] = x.Method;
        report["method_params"] = x.MethodParams;
        report["payload"] = PayloadHex(x.Payload);
        if (x.Reading.Message.empty()) {
            report["payload_read"] = PayloadHex(x.Reading.Bits);
            report["payload_bits"] = x.Payload.size();
            report["bit_accuracy"] = Number(x.Reading.BitAccuracy.value_or(0.0));
        } else {
            // Under a code: the message decoded, and the carried bits it came from.
            report["payload_read"] = PayloadHex(x.Reading.Message);
            report["payload_bits"] = x.Payload.size();
            report["carried_read"] = PayloadHex(x.Reading.Bits);
            report["carried_bits"] = x.Reading.Bits.size();
            report["bit_accuracy"] = Number(x.Reading.BitAccuracy.value_or(0.0));
            report["corrected"] = x.Reading.Corrected ? nlohmann::json(*x.Reading.Corrected) : nlohmann::json();
            report["message_ok"] = x.PayloadMatch.value_or(false);
        }
        report["payload_match"] = x.PayloadMatch.value_or(false);
    }
    report["threshold"] = Number(x.Judged.Threshold);
    report["false_alarm_rate"] = x.Judged.FalseAlarmRate;
    if (ownNull) {
        report["calibration"] = whose(x.Thresholds.OwnCalibration);
        report["global_calibration"] = x.GlobalSource;
    } else {
        report["calibration"] = x.GlobalSource;
    }
    if (x.Reading.Relations) {
        const DetectionScore& r = *x.Reading.Relations;
        report["identical"] = x.Reading.Identical;
        report["relations"] = {{"reversed", r.Reversed},
                               {"reversed_seen", r.ReversedSeen},
                               {"untouched", r.Untouched},
                               {"untouched_reversed", r.UntouchedReversed}};
    }
    if (x.Registered) {
        const SimilarityTransform& t = x.Registered->Transform;
        report["transform"] = {{"rotation_degrees", Number(t.RotationDegrees)}, {"scale", Number(t.Scale)},
                               {"shift_x", Number(t.ShiftX)},           {"shift_y", Number(t.ShiftY)},
                               {"fit", Number(x.Registered->Fit)},      {"identity", x.Registered->Identity}};
        // Only when the transform was set aside, so that other reports keep their bytes.
        if (x.ReadAsIs) report["read_as_is"] = true;
    }
    // What a method that synchronises found; other methods' reports keep their bytes.
    if (x.Reading.Found) {
        const FoundGeometry& f = *x.Reading.Found;
        report["found"] = {{"rotation_degrees", Number(f.RotationDegrees)},
                           {"scale_x", Number(f.ScaleX)},
                           {"scale_y", Number(f.ScaleY)},
                           {"shear", Number(f.Shear)},
                           {"shift_x", Number(f.ShiftX)},
                           {"shift_y", Number(f.ShiftY)},
                           {"peak", Number(f.Peak)},
                           {"false_alarm", Number(f.FalseAlarm)}};
    } else if (x.Capabilities.Synchronises) {
        report["found"] = nullptr;
    }
    return report.dump(2);
}

}  // namespace quillfen
