#pragma once
// Reading a suspect with a key and judging it: what `extract`, Python's extract() and the
// desktop ask of a key, for every method alike. The outcome holds the reading, the thresholds
// and where they came from, the verdict, and the registration when the suspect was first
// brought back into the host's frame; its JSON form is `extract --json`'s.
#include <optional>
#include <string>
#include <vector>

#include "quillfen/image/export.h"
#include "quillfen/image/image_view.h"
#include "quillfen/methods/method.h"
#include "quillfen/watermark/detection_thresholds.h"
#include "quillfen/watermark/registration.h"

QUILLFEN_API_BEGIN
namespace quillfen {

struct ExtractOptions {
    // The original or the marked picture: the suspect is registered to it first (undoes
    // rotation, scaling, shifts and crops). Null: the suspect is read as it is.
    const ImageView* Host = nullptr;
    // The calibration that judges (its Source names it), in place of the method's built-in
    // thresholds. A key's own calibration, when it has one, is never judged below.
    const Calibration* Given = nullptr;
};

struct Extraction {
    std::string Method;        // the key's method and parameters
    std::string MethodParams;
    MethodCapabilities Capabilities;
    std::vector<std::uint8_t> Payload;  // the key's
    // The reading; of a mark read inverted, its payload bits (and their accuracy) as the mark
    // carries them, flipped back (ReadPayload).
    MethodReading Reading;
    // A payload method's: whether the payload read (flipped back when inverted) is the key's,
    // bit for bit. The verdict attests the key's carrier (its seed's sequences), whatever
    // payload they carry: another payload under the same seed is present, but no match.
    std::optional<bool> PayloadMatch;
    KeyThresholds Thresholds;
    Verdict Judged;
    // What judged: the given calibration's source, or "built-in thresholds".
    std::string GlobalSource;
    // The suspect's size and the size the key marked.
    int SuspectWidth = 0;
    int SuspectHeight = 0;
    int KeyWidth = 0;
    int KeyHeight = 0;
    // With a host: its size, the registration found, and, for a method that marks a region,
    // whether the transform was set aside because the suspect as it is fits the region better
    // (ReadAsIs, with both fits).
    int HostWidth = 0;
    int HostHeight = 0;
    std::optional<Registration> Registered;
    bool ReadAsIs = false;
    double AsIsFit = 0;
    double MovedFit = 0;
};

// What of a picture a key's method reads: the region it marks (its top-left square) or the
// whole picture the key marked. A suspect read as it is (without a host to register it to)
// must hold it all: in a smaller one the rest would be read as padding. Nothing (0 x 0) for a
// method that synchronises: it reads a crop or a reduced copy as it is.
struct MarkedArea {
    int Width = 0;
    int Height = 0;
    std::string What;  // "region" or "picture"
};
// What of a suspect the key's method reads.
QUILLFEN_EXPORT MarkedArea MarkedAreaOf(const WatermarkMethod& method, const MethodKey& key);

// The thresholds that judge a method's keys when no calibration is given: its catalogue
// entry's, in their units (the polarity method's, the shipped calibration's text and source).
// ArgumentError for a method without thresholds of its own.
QUILLFEN_EXPORT Calibration BuiltInCalibration(const WatermarkMethod& method);

// What a verdict makes of a reading's payload: a mark read inverted carries its payload
// flipped, so its bits (and a coded payload's message) are turned back and their accuracy
// measured again; returns whether the payload read is the key's `payload` bit for bit (none for
// a zero-bit reading). Under a code the payload read is the message decoded: false when the
// code found more errors than it corrects.
std::optional<bool> ReadPayload(MethodReading& reading, const Verdict& verdict, std::span<const std::uint8_t> payload);

// Reads `suspect` with `key` (made by `method`) and judges the score. ArgumentError for a
// method without built-in thresholds and no calibration given, a suspect read as it is that
// is smaller than its MarkedArea, and what the method's reading refuses; the registration
// module's errors pass through.
QUILLFEN_EXPORT Extraction Extract(const WatermarkMethod& method, const MethodKey& key, const ImageView& suspect,
                   const ExtractOptions& options = {});

// The outcome as `extract --json` prints it: one JSON object (no newline at the end), with the
// fields of the method's kind (docs/detection.md).
QUILLFEN_EXPORT std::string ExtractionJson(const Extraction& extraction);

}  // namespace quillfen
QUILLFEN_API_END
