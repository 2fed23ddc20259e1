#pragma once
// Watermarking methods behind one interface, so that a sweep, a calibration and the command
// line can compare them on the same pictures.
//
// A method has a name, parameters described like the attack catalogue's (name, accepted
// values, default, meaning: the command line's help and the desktop's forms are made from
// them), and capabilities: whether it is blind (reads a suspect with its key alone) or keeps
// the host's data in its key, how many payload bits it carries (0: it verifies one known mark),
// and which parameter, if any, sets its strength. Embed marks a host picture and returns the
// marked picture and its key; Detect reads a suspect with a key and returns the detection
// score (in -1..1, about 0 for a picture without the mark), the bits read, their accuracy
// against the key's payload, and NC where the method has one.
//
// The methods:
//   polarity         the laboratory's own method (marking.h): a 128 x 128 mark in the
//                    relations of mid-band block-DCT coefficients of the top-left 256 x 256;
//                    not blind, zero-bit, no strength parameter. Its keys are key formats 1
//                    and 2, its thresholds the global calibration's and the key's own.
//   spread-spectrum  additive spread spectrum after Cox, Kilian, Leighton and Shamoon (1997),
//                    blind: one key-seeded +-1 sequence per payload bit over every mid-band
//                    block-DCT coefficient of the whole picture (code division).
//   qim              dither modulation after Chen and Wornell (2001), blind: each mid-band
//                    coefficient quantised to the lattice of its bit, shifted by a key-seeded
//                    dither; each bit spread over many coefficients and decoded softly.
// The two blind methods mark the whole picture (any size from 256 x 256; the luminance of a
// colour picture, written back into its three colours) and carry up to 64 bits.
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "quillfen/attacks/attack_catalogue.h"
#include "quillfen/image/bitmap.h"
#include "quillfen/image/export.h"
#include "quillfen/watermark/method_key.h"

QUILLFEN_API_BEGIN
namespace quillfen {

struct MethodCapabilities {
    bool Blind = false;              // Detect needs nothing of the host
    int PayloadBits = 0;             // the most payload bits it carries; 0: zero-bit
    const char* Strength = nullptr;  // the parameter that sets its strength; null: fixed strength
    bool UsesMark = false;           // embeds a watermark picture
};

struct MethodInfo {
    const char* Name;
    std::vector<AttackParameter> Parameters;  // every parameter has a default
    MethodCapabilities Capabilities;
    const char* Summary;
    // The thresholds of its shipped calibration (`calibrate --method NAME` on the bundled
    // hosts), for rates 1e-3 and 1e-6; the polarity method's are kDefaultThreshold1e3/1e6.
    double Threshold1e3;
    double Threshold1e6;
};

inline constexpr const char* kPolarityMethod = "polarity";

// polarity, spread-spectrum, qim, in this order.
const std::vector<MethodInfo>& MethodCatalogue();
// The method of that exact name, or null.
const MethodInfo* FindMethod(std::string_view name);

// A method with a value for each of its parameters.
struct MethodSpec {
    std::string Method;
    std::vector<double> Values;  // catalogue order

    const MethodInfo& Info() const;
    // The name as a method list writes it: "qim:step=12", parameters at their default left out.
    std::string Name() const;
    // Every parameter, "step=12,bits=64", in catalogue order ("" for none).
    std::string Parameters() const;
    double Value(std::string_view parameter) const;
    // The strength parameter's value, when the method has one.
    std::optional<double> Strength() const;
    // The same method with the strength parameter set to `value` (ArgumentError without one
    // or out of its range).
    MethodSpec WithStrength(double value) const;
    int PayloadBits() const;  // the bits it embeds (0 for a zero-bit method)
    bool operator==(const MethodSpec&) const = default;
};

// "qim", "spread-spectrum:strength=6,bits=32": a method of the catalogue and values for some of
// its parameters (the others at their defaults). ArgumentError naming the text for an unknown
// method or parameter, a parameter given twice, a value that is not a plain decimal number
// (no sign +, no exponent) or outside the parameter's range.
MethodSpec ParseMethodSpec(std::string_view text);
// A method at its defaults.
MethodSpec DefaultMethodSpec(std::string_view name);
// The method and parameters a key records, read back as a method list names them: ArgumentError for a method or
// parameters this program does not have.
MethodSpec SpecFromKey(const MethodKeyRecord& key);
// Checks that a key of a method of the catalogue agrees with itself: its parameters are that
// method's and say as many payload bits as it holds. FormatError "'<name>' is damaged (...)"
// otherwise, as for a key whose bytes are damaged. A method this program does not have is left
// to the reading (SpecFromKey).
void CheckKeyRecord(const MethodKeyRecord& key, const std::string& name);

// What a method embeds: a mark picture (methods that use one) or payload bits (0 or 1 each).
struct MethodPayload {
    Bitmap Mark;
    std::vector<std::uint8_t> Bits;
};

// `bits` payload bits drawn from the seed: what a sweep embeds with that seed.
std::vector<std::uint8_t> PayloadFromSeed(std::uint32_t seed, int bits);
// Payload bits as hexadecimal digits, the first bit the highest of the first digit, padded
// with zero bits to whole digits ("a5" for 1,0,1,0,0,1,0,1).
std::string PayloadHex(std::span<const std::uint8_t> bits);
// The reverse for `bits` bits: ArgumentError for other characters or another count of digits.
std::vector<std::uint8_t> ParsePayloadHex(std::string_view text, int bits);

// A method's key as a reading needs it: the polarity method's, a blind method's record, a
// key file an external method wrote (method_command.h), kept in a folder of its own while any
// holder lives, or the bytes of a method defined outside the library.
struct ExternalKeyFile;
struct MethodKey {
    std::optional<MarkKey> Polarity;
    std::optional<MethodKeyRecord> Blind;
    std::shared_ptr<const ExternalKeyFile> External;
    // The key of a method defined by a program embedding the library (a Python object's), as
    // that method gave it; the record beside it names the method, seed and payload.
    std::shared_ptr<const std::vector<std::uint8_t>> Foreign;
    // The key read from a file (AnyKey): the polarity method's or a blind method's.
    static MethodKey From(const AnyKey& key);
};

struct MethodMarked {
    Bitmap Picture;  // the host at its own size, marked
    MethodKey Key;
    double Psnr = 0;  // of the marked picture's gray (luminance) bytes against the host's; +inf if equal
};

struct MethodReading {
    double Score = 0;
    // The variance of the score that chance alone gives for this suspect (a key unrelated to
    // it): the calibration's floor under each component's spread.
    double ChanceVariance = 0;
    std::vector<std::uint8_t> Bits;    // the payload read (none for a zero-bit method)
    std::optional<double> BitAccuracy; // share of Bits equal to the key's payload
    std::optional<double> Nc;          // the polarity method's NC
    std::optional<double> Ber;         // bits read wrongly (the polarity method: of the whole mark)
};

class WatermarkMethod {
public:
    virtual ~WatermarkMethod() = default;
    // The method's name ("qim"), and its parameters, every one, as "step=16,bits=64".
    virtual std::string Name() const = 0;
    virtual std::string Parameters() const = 0;
    virtual MethodCapabilities Capabilities() const = 0;
    // The bits it embeds (0 for a zero-bit method).
    virtual int PayloadBits() const = 0;
    // The strength parameter's value and accepted range, when it has one.
    virtual std::optional<double> Strength() const = 0;
    virtual std::optional<AttackParameter> StrengthParameter() const = 0;
    // The same method at another strength (ArgumentError without a strength parameter, or
    // outside its range).
    virtual std::unique_ptr<WatermarkMethod> WithStrength(double value) const = 0;
    // The built-in thresholds at 1e-3 and 1e-6, when it has them.
    virtual std::optional<std::pair<double, double>> Thresholds() const = 0;
    // Marks `host` (at least 256 x 256) with the payload, the key's sequences drawn from `seed`.
    // ArgumentError for a host too small, a payload of the wrong kind or length.
    virtual MethodMarked Embed(const Bitmap& host, const MethodPayload& payload, std::uint32_t seed) const = 0;
    // Reads `suspect` with a key this method wrote (ArgumentError for another method's key).
    virtual MethodReading Detect(const Bitmap& suspect, const MethodKey& key) const = 0;
    // The same on a gray plane of width x height bytes, row-major (what a sweep's attacks give).
    virtual MethodReading DetectGray(std::span<const std::uint8_t> gray, int width, int height,
                                     const MethodKey& key) const = 0;
};

// What a method defined outside the engine (a program, a Python object) declares of itself.
struct MethodDeclaration {
    std::string Name;
    int PayloadBits = 0;
    std::optional<AttackParameter> Strength;              // its strength parameter, if any
    std::optional<std::pair<double, double>> Thresholds;  // at 1e-3 and 1e-6, if given
};

// Such a method answers the interface's questions from its declaration; it is blind, and a
// strength asked for is checked against the declared parameter before AtStrength makes the
// copy.
class DeclaredMethod : public WatermarkMethod {
public:
    DeclaredMethod(std::shared_ptr<const MethodDeclaration> declared, std::optional<double> strength)
        : declared_(std::move(declared)), strength_(strength) {}

    std::string Name() const override { return declared_->Name; }
    MethodCapabilities Capabilities() const override;
    int PayloadBits() const override { return declared_->PayloadBits; }
    std::optional<double> Strength() const override { return strength_; }
    std::optional<AttackParameter> StrengthParameter() const override { return declared_->Strength; }
    std::unique_ptr<WatermarkMethod> WithStrength(double value) const final;
    std::optional<std::pair<double, double>> Thresholds() const override { return declared_->Thresholds; }

protected:
    // The same method at a strength already checked.
    virtual std::unique_ptr<WatermarkMethod> AtStrength(double value) const = 0;

private:
    std::shared_ptr<const MethodDeclaration> declared_;
    std::optional<double> strength_;
};

std::unique_ptr<WatermarkMethod> MakeMethod(const MethodSpec& described);

// PSNR of two gray planes of equal size, bytes (+infinity when equal).
double GrayPsnr(std::span<const std::uint8_t> a, std::span<const std::uint8_t> b);

// The method at the strength at which it marks `host` with `payload` and `seed` at an
// embedding PSNR within 0.1 dB of `targetDecibels`: each try the strength that the last PSNR
// and the law of 20 dB per decade of strength put at the target, within the bracket found so
// far (bisected when the guess leaves it). ArgumentError for a method without a strength
// parameter, or a target its range cannot reach on this host (the message gives the nearest).
std::unique_ptr<WatermarkMethod> FindStrength(const WatermarkMethod& method, const Bitmap& host,
                                              const MethodPayload& payload, std::uint32_t seed,
                                              double targetDecibels);

}  // namespace quillfen
QUILLFEN_API_END
