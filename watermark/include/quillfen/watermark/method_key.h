#pragma once
// The key of a blind method (key format 3): which method marked the picture, with which
// parameters, seed and payload. A blind method reads its mark from the suspect with these
// alone; nothing of the host travels in the key. docs/key-format.md describes the bytes.
//
// Keys of the polarity method keep formats 1 and 2 (mark_key.h), byte for byte what they
// always were: a key without a method record is the polarity method's. The methods' registry
// (quillfen/methods/method.h) reads and writes keys of every kind through the method that
// wrote them.
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "quillfen/image/export.h"
#include "quillfen/watermark/mark_key.h"

QUILLFEN_API_BEGIN
namespace quillfen {

// The name under which the laboratory's own method is registered, and which the keys of
// formats 1 and 2 (mark_key.h) stand for.
inline constexpr const char* kPolarityMethod = "polarity";

// Format 3 records a method, its parameters, seed and payload; format 4 adds the key a method
// defined outside the library wrote (a program's key file, a Python object's bytes).
inline constexpr std::uint16_t kMethodKeyVersion = 3;
inline constexpr std::uint16_t kNewestKeyVersion = 4;
// The longest method name and parameter text a key holds, and the most payload bits.
inline constexpr std::size_t kMaxMethodNameBytes = 64;
inline constexpr std::size_t kMaxMethodParametersBytes = 1024;
inline constexpr int kMaxPayloadBits = 64;

// What a method keeps of a key in memory besides its bytes (its own decoded form), made once
// when the key is made or read. Only the method that made it looks inside.
struct QUILLFEN_EXPORT KeyState {
    virtual ~KeyState() = default;
};

// A key of any method: which method wrote it and with which parameters, the seed, the size of
// the picture it marked, the payload, the key's own calibration when it measured one, and what
// the method keeps of its own. Every front end holds keys in this one form; the method that
// wrote a key turns it into bytes and back (method.h).
struct MethodKey {
    std::string Method;      // the method's name ("qim", "polarity", a program's or object's name)
    std::string Parameters;  // every parameter, "name=value" comma-separated, in the method's order
    std::uint32_t Seed = 0;  // the key's sequences, dither or scatter positions come from it
    std::int32_t HostWidth = 0;
    std::int32_t HostHeight = 0;
    std::vector<std::uint8_t> Payload;  // the bits embedded, 0 or 1 each; none for a zero-bit method
    // The null of the key's own host, measured when the key was made (mark_key.h), if it was.
    std::optional<KeyCalibration> Calibration;
    // The key a method defined outside the library wrote (a program's key file, a Python
    // object's bytes), which only that method reads; empty for the built-in methods.
    std::vector<std::uint8_t> Bytes;
    // The method's own form of the key (the polarity method's planes and block orders).
    std::shared_ptr<const KeyState> State;

    // Keys are equal when their content is (State is made from the rest).
    bool operator==(const MethodKey& other) const {
        return Method == other.Method && Parameters == other.Parameters && Seed == other.Seed &&
               HostWidth == other.HostWidth && HostHeight == other.HostHeight && Payload == other.Payload &&
               Calibration == other.Calibration && Bytes == other.Bytes;
    }
};

// The bytes of a key of format 3 (or 4, when it holds Bytes). ArgumentError for a name or
// parameter text that is empty, too long or not printable ASCII, a payload of no or too many
// bits or of values other than 0 and 1, sizes beyond the picture limits, or a calibration
// (which these formats do not hold).
std::vector<std::uint8_t> EncodeMethodKey(const MethodKey& key);

// Reads a key of format 3 or 4; FormatError naming `name` as DecodeMarkKey does (not a key,
// truncated, damaged, checked by its checksum before any field is read; a newer format;
// fields out of range).
MethodKey DecodeMethodKey(std::span<const std::uint8_t> bytes, const std::string& name);

// Whether the bytes begin as a key of format 3 or later, which names its method (DecodeMethodKey
// reads them); other bytes are read as the polarity method's keys of formats 1 and 2
// (DecodeMarkKey), or refused as no key at all.
bool HoldsMethodRecord(std::span<const std::uint8_t> bytes);

}  // namespace quillfen
QUILLFEN_API_END
