#pragma once
// The key of a blind method (key format 3): which method marked the picture, with which
// parameters, seed and payload. A blind method reads its mark from the suspect with these
// alone; nothing of the host travels in the key. docs/key-format.md describes the bytes.
//
// Keys of the polarity method keep formats 1 and 2 (mark_key.h), byte for byte what they
// always were: a key without a method record is the polarity method's. LoadAnyKey reads both.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "quillfen/image/export.h"
#include "quillfen/watermark/mark_key.h"

QUILLFEN_API_BEGIN
namespace quillfen {

inline constexpr std::uint16_t kMethodKeyVersion = 3;
// The longest method name and parameter text a key holds, and the most payload bits.
inline constexpr std::size_t kMaxMethodNameBytes = 64;
inline constexpr std::size_t kMaxMethodParametersBytes = 1024;
inline constexpr int kMaxPayloadBits = 64;

struct MethodKeyRecord {
    std::string Method;      // the method's name in the catalogue ("qim")
    std::string Parameters;  // every parameter, "name=value" in catalogue order, comma-separated
    std::uint32_t Seed = 0;  // the key's sequences and dither come from it
    std::int32_t HostWidth = 0;
    std::int32_t HostHeight = 0;
    std::vector<std::uint8_t> Payload;  // the bits embedded, 0 or 1 each, 1..kMaxPayloadBits of them
    bool operator==(const MethodKeyRecord&) const = default;
};

// The key's bytes. ArgumentError for a name or parameter text that is empty, too long or not
// printable ASCII, a payload of no or too many bits or of values other than 0 and 1, or sizes
// beyond the picture limits.
std::vector<std::uint8_t> EncodeMethodKey(const MethodKeyRecord& key);

// Reads a format 3 key; FormatError naming `name` as DecodeMarkKey does (not a key, truncated,
// damaged, checked by its checksum before any field is read; a newer format; fields out of range).
MethodKeyRecord DecodeMethodKey(std::span<const std::uint8_t> bytes, const std::string& name);

// Either kind of key: the polarity method's (formats 1 and 2) or a blind method's (format 3).
struct AnyKey {
    std::optional<MarkKey> Polarity;
    std::optional<MethodKeyRecord> Method;
};
AnyKey DecodeAnyKey(std::span<const std::uint8_t> bytes, const std::string& name);

// Through files, as SaveMarkKey and LoadMarkKey (atomic writing, the size limit, FileError and
// FormatError).
void SaveMethodKey(const std::filesystem::path& path, const MethodKeyRecord& key);
AnyKey LoadAnyKey(const std::filesystem::path& path);

}  // namespace quillfen
QUILLFEN_API_END
