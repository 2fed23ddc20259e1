#pragma once
// Watermarking methods behind one interface, so that a sweep, a calibration, the command line,
// the desktop and Python compare and use them alike, the laboratory's own method among them.
//
// A method is described by a catalogue entry (MethodInfo): a name, parameters described as
// attacks' are (name, accepted values, default, meaning: the command line's help and the
// desktop's forms are made from them), capabilities (whether it is blind, how many payload
// bits it carries, which parameter sets its strength, whether it embeds a mark picture, what
// region it marks, whether its keys measure their own null), its shipped thresholds, and the
// factory that makes it with values for its parameters. A registry holds entries by name: the
// built-in methods, methods run as programs (method_command.h) and methods a program embedding
// the library defines (the Python package's objects) alike.
//
// A method marks a host and returns the marked picture with its key; it reads a suspect with a
// key and returns the detection score (in -1..1, about 0 for a picture without the mark), the
// payload read and its accuracy, and NC where it has one; and it turns its keys into bytes and
// back. Nothing outside a method asks which method it is.
//
// The built-in methods:
//   polarity         the laboratory's own method (marking.h): a 128 x 128 mark in the
//                    relations of mid-band block-DCT coefficients of the top-left 256 x 256;
//                    not blind, zero-bit, its strength a divisor (the PSNR rises with it);
//                    its keys measure their own null (key_calibration.h). Its keys are key
//                    formats 1 and 2.
//   spread-spectrum  additive spread spectrum after Cox, Kilian, Leighton and Shamoon (1997),
//                    blind: one key-seeded +-1 sequence per payload bit over every mid-band
//                    block-DCT coefficient of the whole picture (code division).
//   qim              dither modulation after Chen and Wornell (2001), blind: each mid-band
//                    coefficient quantised to the lattice of its bit, shifted by a key-seeded
//                    dither; each bit spread over many coefficients and decoded softly.
//   spread-spectrum-sync  a periodic spread-spectrum mark that finds the geometry by itself:
//                    one keyed tile repeated over the picture, its lattice found from the
//                    autocorrelation (rotation, scale, aspect), its shift by correlation;
//                    blind, 64 bits through a rate-1/3 convolutional code.
// The blind methods mark the whole picture (any size from 256 x 256; the luminance of a colour
// picture, written back into its three colours), carry up to 64 bits, and write keys of format 3.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "quillfen/image/bitmap.h"
#include "quillfen/image/export.h"
#include "quillfen/image/gray_plane.h"
#include "quillfen/image/parameters.h"
#include "quillfen/image/image_view.h"
#include "quillfen/watermark/detection_score.h"
#include "quillfen/watermark/detection_thresholds.h"
#include "quillfen/watermark/method_key.h"

QUILLFEN_API_BEGIN
namespace quillfen {

class WatermarkMethod;
struct MethodSpec;

struct MethodCapabilities {
    bool Blind = false;         // reads a suspect with its key alone
    int PayloadBits = 0;        // the most payload bits it carries; 0: zero-bit
    std::string Strength;       // the parameter that sets its strength; empty: a fixed strength
    bool UsesMark = false;      // embeds a watermark picture
    // The part of a picture it marks: the whole picture, or its top-left square of this side.
    int RegionSide = 0;         // 0: the whole picture
    bool CalibratesKeys = false;  // a key measures its own null when it is made (key_calibration.h)
    // Finds the suspect's geometry by itself (crops, rescaling, rotation): reads a suspect of any
    // size as it is, and says what it found (MethodReading::Found).
    bool Synchronises = false;
    // Its thresholds hold for its score as it is, for every suspect: the score already accounts
    // for the detector's search and the suspect's size, so verdicts need not adjust them.
    bool ScoreCalibrated = false;
};

// A method's catalogue entry.
struct MethodInfo {
    std::string Name;
    // Other names it answers to (the polarity method's in the rows of a run without methods).
    std::vector<std::string> Aliases;
    std::vector<Parameter> Parameters;  // every parameter has a default
    MethodCapabilities Capabilities;
    std::string Summary;
    // The thresholds at 1e-3 and 1e-6 that judge its keys when no calibration is given: those of
    // its shipped calibration (`calibrate --method NAME` on the bundled hosts), a program's or
    // object's own, or none (its verdicts then need a calibration).
    std::optional<std::pair<double, double>> Thresholds;
    // What those thresholds (and the method's calibrations) measure: the score itself, or its
    // distance from 0 in units of the suspect's chance spread, two-sided (detection_thresholds.h).
    // A method whose score already takes in its reading's search, or whose chance variance is
    // not its own, keeps Score.
    Statistic ThresholdUnits = Statistic::Score;
    // Makes the method with the given values (checked where they were parsed).
    std::function<std::unique_ptr<WatermarkMethod>(const MethodSpec&)> Make;
};

// A method with a value for each of its parameters.
struct QUILLFEN_EXPORT MethodSpec {
    std::shared_ptr<const MethodInfo> Info;
    std::vector<double> Values;  // one per parameter of Info, in its order
    // Parameters no described parameter holds, as text ("a=1,b=x": a Python object's own),
    // fixed with the method.
    std::string Extra;

    const std::string& Method() const { return Info->Name; }
    // The name as a method list writes it: "qim:step=12", parameters at their default left out.
    std::string Name() const;
    // Every parameter: Extra, then "step=12,bits=64" in catalogue order ("" for none).
    std::string Parameters() const;
    double Value(std::string_view parameter) const;
    // The strength parameter's value, when the method has one.
    std::optional<double> Strength() const;
    // The strength as rows write it: none for a strength parameter that Parameters() leaves
    // out at its default (the polarity method's divisor), so that rows keep their bytes.
    std::optional<double> WrittenStrength() const;
    // The strength parameter's description, or null.
    const Parameter* StrengthParameter() const;
    // The same method with the strength parameter set to `value` (ArgumentError without one or
    // outside its range).
    MethodSpec WithStrength(double value) const;
    // The payload bits it embeds (0 for a zero-bit method): under an error-correcting code
    // (`ecc`), the message's bits, fewer than the bits it carries.
    int PayloadBits() const;
    bool operator==(const MethodSpec& other) const {
        return Info->Name == other.Info->Name && Values == other.Values && Extra == other.Extra;
    }
};

// What a method embeds: a mark picture (methods that use one) or payload bits (0 or 1 each).
struct MethodPayload {
    Bitmap Mark;
    std::vector<std::uint8_t> Bits;
};

// `bits` payload bits drawn from the seed: what a sweep embeds with that seed.
QUILLFEN_EXPORT std::vector<std::uint8_t> PayloadFromSeed(std::uint32_t seed, int bits);
// Payload bits as hexadecimal digits, the first bit the highest of the first digit, padded
// with zero bits to whole digits ("a5" for 1,0,1,0,0,1,0,1).
QUILLFEN_EXPORT std::string PayloadHex(std::span<const std::uint8_t> bits);
// The reverse for `bits` bits: ArgumentError for other characters or another count of digits.
QUILLFEN_EXPORT std::vector<std::uint8_t> ParsePayloadHex(std::string_view text, int bits);
// The share of `read` equal to `embedded` (same length, at least one bit).
QUILLFEN_EXPORT double BitAccuracy(std::span<const std::uint8_t> read, std::span<const std::uint8_t> embedded);

struct MethodMarked {
    Bitmap Picture;  // the host at its own size, marked
    // The marked gray values before their rounding to bytes, for a method that computes them and
    // marks the whole of a gray host (the polarity method on a 256 x 256 host: X_hat_real);
    // empty otherwise.
    std::vector<double> Reals;
    MethodKey Key;
    // Of the marked gray (luminance) bytes against the host's, where the method marks; +inf if equal.
    double Psnr = 0;
};

// How much of a reading a caller needs: the whole reading; the score and its chance variance
// alone (what null trials read, thousands of times); or what a sweep's row records, the whole
// reading but for the mark picture read, the relations and Identical, which a method may then
// leave out (a method that does not tell the depths apart reads them all in full).
enum class ReadDepth { Full, Score, Measures };

// Where a method that finds the geometry by itself found the marked picture in the suspect:
// suspect = A * marked + (ShiftX, ShiftY), A = R(rotation) * [ScaleX Shear; 0 ScaleY], pixels
// from the top-left corner. The shift is known only up to the method's own period (the one
// nearest to 0 is given).
struct FoundGeometry {
    double RotationDegrees = 0;  // counter-clockwise on screen
    double ScaleX = 1;
    double ScaleY = 1;
    double Shear = 0;
    double ShiftX = 0;
    double ShiftY = 0;
    // How sure the synchronisation is: the strength of the structure it locked on to (0..1;
    // pictures without the mark give little), and an upper bound on the chance that a picture
    // without the mark synchronises as well as this one did, the whole search included.
    double Peak = 0;
    double FalseAlarm = 1;
    bool operator==(const FoundGeometry&) const = default;
};

struct MethodReading {
    double Score = 0;
    // The variance of the score that chance alone gives for this suspect (a key unrelated to
    // it): the calibration's floor under each component's spread.
    double ChanceVariance = 0;
    std::vector<std::uint8_t> Bits;    // the payload read (none for a zero-bit method)
    std::optional<double> BitAccuracy; // share of Bits equal to the key's payload (as carried)
    // A method whose payload goes through an error-correcting code (its `ecc`): Bits are the
    // carried bits, and these the message decoded from them, with how many carried bits the code
    // corrected (none: more errors than it corrects, detected; Message then holds the message's
    // bits as read). Empty and none without a code.
    std::vector<std::uint8_t> Message;
    std::optional<int> Corrected;
    std::optional<double> Nc;          // NC of the mark read, for a method that embeds a mark picture
    std::optional<double> Ber;         // bits read wrongly (the polarity method: of the whole mark)
    GrayPlane Mark;                    // the mark picture read (a method that embeds one)
    // The relations the score counted, for a method whose score counts relations.
    std::optional<DetectionScore> Relations;
    bool Identical = false;  // the suspect holds the marked picture's bytes where the method marks
    // A method that synchronises: the geometry it found (none when it found no lattice).
    std::optional<FoundGeometry> Found;
};

// What a method can tell a strength search about one host, payload and seed more cheaply than
// by marking it again at every strength tried (WatermarkMethod::ProbeStrength makes one).
class QUILLFEN_EXPORT StrengthProbe {
public:
    virtual ~StrengthProbe() = default;
    // About the energy of the change at `strength`: the sum over the picture's pixels of the
    // squared change of the luminance before rounding to bytes. A prediction, estimated from
    // a sample where that is cheaper; it grows with the strength.
    virtual double Energy(double strength) const = 0;
    // The PSNR that Embed reports at `strength` (WithStrength(strength)->Embed(...).Psnr, to the
    // bit): one pass over the picture that keeps no marked copy.
    virtual double Psnr(double strength) const = 0;
    // How many pixels the PSNR averages over (width times height).
    virtual double Pixels() const = 0;
    // WithStrength(strength)->Embed(...) of the probe's host, payload and seed, to the byte,
    // made from what the probe holds; the last thing asked of a probe (it may give up what it
    // holds to make it).
    virtual MethodMarked Mark(double strength) = 0;
};

class QUILLFEN_EXPORT WatermarkMethod {
public:
    virtual ~WatermarkMethod() = default;
    // Its catalogue entry and the values of its parameters.
    virtual const MethodSpec& Describe() const = 0;
    // Marks `host` with the payload, the key's sequences drawn from `seed`. ArgumentError for a
    // host too small, a payload of the wrong kind or length.
    virtual MethodMarked Embed(const ImageView& host, const MethodPayload& payload, std::uint32_t seed) const = 0;
    // Reads `suspect` with a key this method wrote (ArgumentError for another method's key, or
    // a suspect smaller than what the key marked where the method needs the whole of it).
    virtual MethodReading Detect(const ImageView& suspect, const MethodKey& key,
                                 ReadDepth depth = ReadDepth::Full) const = 0;
    // The key as its file holds it, and back (FormatError naming `name` for bytes that are no
    // key of this method, or a key that contradicts itself).
    virtual std::vector<std::uint8_t> KeyToBytes(const MethodKey& key) const = 0;
    virtual MethodKey KeyFromBytes(std::span<const std::uint8_t> bytes, const std::string& name) const = 0;
    // A probe of `host` for FindStrength, or null where the method has none (the search then
    // marks the whole picture at each strength it tries). The host must outlive the probe.
    virtual std::unique_ptr<StrengthProbe> ProbeStrength(const ImageView& host, const MethodPayload& payload,
                                                         std::uint32_t seed) const {
        (void)host, (void)payload, (void)seed;
        return nullptr;
    }

    // What Describe() says.
    const std::string& Name() const { return Describe().Method(); }
    std::string Parameters() const { return Describe().Parameters(); }
    const MethodCapabilities& Capabilities() const { return Describe().Info->Capabilities; }
    int PayloadBits() const { return Describe().PayloadBits(); }
    std::optional<double> Strength() const { return Describe().Strength(); }
    const Parameter* StrengthParameter() const { return Describe().StrengthParameter(); }
    std::optional<std::pair<double, double>> Thresholds() const { return Describe().Info->Thresholds; }
    // The same method with other values (ArgumentError as MethodSpec refuses them).
    std::unique_ptr<WatermarkMethod> With(const MethodSpec& values) const { return values.Info->Make(values); }
    std::unique_ptr<WatermarkMethod> WithStrength(double value) const { return With(Describe().WithStrength(value)); }
};

// The methods a front end can name, by name.
class QUILLFEN_EXPORT MethodRegistry {
public:
    MethodRegistry() = default;
    // polarity, spread-spectrum, qim, spread-spectrum-sync, in this order.
    static const MethodRegistry& BuiltIn();

    // Adds an entry; ArgumentError for a name the registry has.
    void Add(std::shared_ptr<const MethodInfo> entry);
    // The entry of that exact name (or alias), or null.
    std::shared_ptr<const MethodInfo> Find(std::string_view name) const;
    const std::vector<std::shared_ptr<const MethodInfo>>& Entries() const { return entries_; }

    // "qim", "spread-spectrum:strength=6,bits=32": a method of the registry and values for some
    // of its parameters (the others at their defaults). ArgumentError naming the text for an
    // unknown method (with the nearest names) or parameter, a parameter given twice, a value
    // that is not a plain decimal number (no sign +, no exponent) or outside its range.
    MethodSpec Parse(std::string_view text) const;
    // A method at its defaults (ArgumentError for an unknown name).
    MethodSpec Defaults(std::string_view name) const;

    // The method and parameters a key names, read back as a method list names them:
    // ArgumentError for a method or parameters this registry does not have.
    MethodSpec SpecOf(const MethodKey& key) const;
    // A key from its bytes, read by the method it names (FormatError naming `name` for bytes
    // that are no key, ArgumentError for a method the registry does not have).
    MethodKey ReadKey(std::span<const std::uint8_t> bytes, const std::string& name) const;
    MethodKey LoadKey(const std::filesystem::path& path) const;
    // The key's bytes, written by the method it names, atomically (FileError when it cannot be
    // written).
    std::vector<std::uint8_t> KeyBytes(const MethodKey& key) const;
    void SaveKey(const std::filesystem::path& path, const MethodKey& key) const;

private:
    std::vector<std::shared_ptr<const MethodInfo>> entries_;
};

// What a method defined outside the library (a program, a Python object) declares of itself.
struct MethodDeclaration {
    std::string Name;
    int PayloadBits = 0;
    std::optional<Parameter> Strength;                    // its strength parameter, if any
    std::optional<std::pair<double, double>> Thresholds;  // at 1e-3 and 1e-6, if given
    std::string Summary;
};
// The catalogue entry of such a method: blind, carrying the bits it declares, its strength (when
// it has one) its one described parameter, made by `make`. ArgumentError for a name that is not
// a word of letters, digits, "-", "_" and "." of at most kMaxMethodNameBytes, or a built-in one.
QUILLFEN_EXPORT std::shared_ptr<const MethodInfo> DeclaredEntry(
    const MethodDeclaration& declared, std::function<std::unique_ptr<WatermarkMethod>(const MethodSpec&)> make);

// What methods declared outside the engine (programs, Python objects) share: the entry they were
// made from, keys in the method-record format, and refusals that name the method.
class DeclaredMethod : public WatermarkMethod {
public:
    explicit DeclaredMethod(MethodSpec described) : described_(std::move(described)) {}
    const MethodSpec& Describe() const override { return described_; }
    std::vector<std::uint8_t> KeyToBytes(const MethodKey& key) const override;
    // FormatError naming `name` for a key whose payload is not as long as the method's.
    MethodKey KeyFromBytes(std::span<const std::uint8_t> bytes, const std::string& name) const override;

protected:
    // "method NAME: what", so that a refusal says whose it is.
    std::string Fail(const std::string& what) const { return "method " + Name() + ": " + what; }
    // ArgumentError unless the payload has the method's number of bits.
    void CheckPayload(const MethodPayload& payload) const;

private:
    MethodSpec described_;
};

// An entry's method at its defaults.
QUILLFEN_EXPORT MethodSpec DefaultsOf(std::shared_ptr<const MethodInfo> entry);
// The method a front end uses when none is named: the laboratory's own, at its defaults.
QUILLFEN_EXPORT MethodSpec DefaultMethod();

// The built-in registry's Parse, and the method made from its values.
QUILLFEN_EXPORT MethodSpec ParseMethodSpec(std::string_view text);
QUILLFEN_EXPORT std::unique_ptr<WatermarkMethod> MakeMethod(const MethodSpec& described);
inline std::unique_ptr<WatermarkMethod> MakeMethod(std::string_view text) { return MakeMethod(ParseMethodSpec(text)); }

// The lowest and highest embedding PSNR a target may ask for, in dB.
inline constexpr double kLowestTargetPsnr = 10;
inline constexpr double kHighestTargetPsnr = 100;
// ArgumentError unless `decibels` is a target PSNR within those.
QUILLFEN_EXPORT void CheckTargetPsnr(double decibels);

// The method at the strength at which it marks `host` with `payload` and `seed` at an
// embedding PSNR within 0.1 dB of `targetDecibels`. A method with a probe (ProbeStrength) has
// its strength predicted from the change's energy and confirmed by the PSNR of the bytes it
// would write, the prediction corrected by each confirmation, until one lands within 0.005 dB
// (usually two or three passes). Without a probe, or where that does not come within 0.05 dB:
// each try marks the whole picture at the strength that the last PSNR and the law of 20 dB per
// decade of strength put at the target, within the bracket found so far (bisected when the
// guess leaves it); for a parameter whose PSNR rises with it (found from the first tries), the
// secant through the last two tries. A parameter of whole numbers that has no value within
// 0.1 dB gives the nearest of the two values around the target. ArgumentError for a method
// without a strength parameter, or a target its range cannot reach on this host (the message
// gives the nearest).
QUILLFEN_EXPORT std::unique_ptr<WatermarkMethod> FindStrength(const WatermarkMethod& method, const ImageView& host,
                                              const MethodPayload& payload, std::uint32_t seed,
                                              double targetDecibels);
// FindStrength's method and the host marked by it (its Embed's bytes, key and PSNR), made from
// what the search already holds where the method has a probe: one pass over the picture fewer.
struct MarkedAtPsnr {
    std::unique_ptr<WatermarkMethod> Method;
    MethodMarked Marked;
};
QUILLFEN_EXPORT MarkedAtPsnr MarkAtPsnr(const WatermarkMethod& method, const ImageView& host,
                                        const MethodPayload& payload, std::uint32_t seed, double targetDecibels);

}  // namespace quillfen
QUILLFEN_API_END
