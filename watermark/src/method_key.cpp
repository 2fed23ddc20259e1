#include "quillfen/watermark/method_key.h"

#include <cstring>

#include "quillfen/image/errors.h"
#include "quillfen/image/limits.h"
#include "quillfen/io/file_write.h"

namespace quillfen {

namespace {

constexpr std::array<std::uint8_t, 8> kMagic = {0x89, 'Q', 'F', 'K', '\r', '\n', 0x1A, '\n'};
// magic, version, flags, width, height, seed.
constexpr std::size_t kHeaderBytes = 8 + 2 + 2 + 3 * 4;
constexpr std::size_t kSectionHead = 8;
constexpr std::array<std::uint8_t, 4> kMethodTag = {'M', 'T', 'H', 'D'};
constexpr std::array<std::uint8_t, 4> kPayloadTag = {'P', 'A', 'Y', 'L'};
constexpr std::array<std::uint8_t, 4> kBytesTag = {'K', 'E', 'Y', 'B'};

[[noreturn]] void Refuse(const std::string& name, const std::string& reason) {
    throw FormatError("'" + name + "' " + reason);
}

void Put(std::vector<std::uint8_t>& out, std::uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

std::uint32_t Get(std::span<const std::uint8_t> in, std::size_t at, int bytes) {
    std::uint32_t value = 0;
    for (int i = 0; i < bytes; ++i) value |= static_cast<std::uint32_t>(in[at + static_cast<std::size_t>(i)]) << (8 * i);
    return value;
}

// Printable ASCII without blanks: names and parameter texts are written by the program.
bool IsPlainText(std::string_view text) {
    for (const char c : text)
        if (c <= ' ' || c > '~') return false;
    return true;
}

}  // namespace

std::vector<std::uint8_t> EncodeMethodKey(const MethodKey& key) {
    if (key.Method.empty() || key.Method.size() > kMaxMethodNameBytes || !IsPlainText(key.Method))
        throw ArgumentError("method key: the method name '" + key.Method + "' is empty, too long or not plain text");
    if (key.Parameters.size() > kMaxMethodParametersBytes || !IsPlainText(key.Parameters))
        throw ArgumentError("method key: the parameters '" + key.Parameters + "' are too long or not plain text");
    if (key.Payload.empty() || key.Payload.size() > static_cast<std::size_t>(kMaxPayloadBits))
        throw ArgumentError("method key: a payload holds 1.." + std::to_string(kMaxPayloadBits) + " bits, not " +
                            std::to_string(key.Payload.size()));
    for (const std::uint8_t bit : key.Payload)
        if (bit > 1) throw ArgumentError("method key: a payload bit is " + std::to_string(bit));
    if (key.HostWidth < 1 || key.HostHeight < 1 || key.HostWidth > kMaxSide || key.HostHeight > kMaxSide ||
        static_cast<std::int64_t>(key.HostWidth) * key.HostHeight > kMaxPixels)
        throw ArgumentError("method key: a picture of " + std::to_string(key.HostWidth) + " x " +
                            std::to_string(key.HostHeight) + " is beyond the size limits");
    if (key.Calibration) throw ArgumentError("method key: key formats 3 and 4 hold no calibration of their own");
    if (key.Bytes.size() > static_cast<std::size_t>(kMaxKeyFileBytes) / 2)
        throw ArgumentError("method key: the method's own key of " + std::to_string(key.Bytes.size()) +
                            " bytes is larger than a key file may be");
    std::vector<std::uint8_t> out(kMagic.begin(), kMagic.end());
    // A key without bytes of its own is written as format 3, as before format 4 existed.
    Put(out, key.Bytes.empty() ? kMethodKeyVersion : kNewestKeyVersion, 2);
    Put(out, 0, 2);  // flags: none defined
    Put(out, static_cast<std::uint32_t>(key.HostWidth), 4);
    Put(out, static_cast<std::uint32_t>(key.HostHeight), 4);
    Put(out, key.Seed, 4);
    // MTHD: the name and the parameters, each after its length.
    out.insert(out.end(), kMethodTag.begin(), kMethodTag.end());
    Put(out, 1 + key.Method.size() + 2 + key.Parameters.size(), 4);
    Put(out, key.Method.size(), 1);
    out.insert(out.end(), key.Method.begin(), key.Method.end());
    Put(out, key.Parameters.size(), 2);
    out.insert(out.end(), key.Parameters.begin(), key.Parameters.end());
    // PAYL: the count of bits, then the bits packed, bit i in byte i / 8, lowest first.
    const std::size_t packed = (key.Payload.size() + 7) / 8;
    out.insert(out.end(), kPayloadTag.begin(), kPayloadTag.end());
    Put(out, 1 + packed, 4);
    Put(out, key.Payload.size(), 1);
    for (std::size_t i = 0; i < packed; ++i) {
        std::uint8_t byte = 0;
        for (std::size_t b = 0; b < 8 && 8 * i + b < key.Payload.size(); ++b)
            byte = static_cast<std::uint8_t>(byte | (key.Payload[8 * i + b] << b));
        out.push_back(byte);
    }
    // KEYB: the bytes of the method's own key, as it wrote them.
    if (!key.Bytes.empty()) {
        out.insert(out.end(), kBytesTag.begin(), kBytesTag.end());
        Put(out, key.Bytes.size(), 4);
        out.insert(out.end(), key.Bytes.begin(), key.Bytes.end());
    }
    const Sha256Digest check = Sha256(out);
    out.insert(out.end(), check.begin(), check.end());
    return out;
}

MethodKey DecodeMethodKey(std::span<const std::uint8_t> bytes, const std::string& name) {
    if (bytes.size() < kMagic.size() || std::memcmp(bytes.data(), kMagic.data(), kMagic.size()) != 0)
        Refuse(name, "is not a Quillfen key file");
    if (bytes.size() < kHeaderBytes + kSha256Size) Refuse(name, "is truncated");
    const std::span<const std::uint8_t> body = bytes.first(bytes.size() - kSha256Size);
    const Sha256Digest check = Sha256(body);
    if (std::memcmp(check.data(), bytes.data() + body.size(), kSha256Size) != 0) {
        // Cut when the sections, as their own lengths place them, and the checksum after them
        // run past the end.
        std::size_t at = kHeaderBytes;
        while (at + kSectionHead <= bytes.size() &&
               (std::equal(kMethodTag.begin(), kMethodTag.end(), bytes.begin() + static_cast<std::ptrdiff_t>(at)) ||
                std::equal(kPayloadTag.begin(), kPayloadTag.end(), bytes.begin() + static_cast<std::ptrdiff_t>(at)) ||
                std::equal(kBytesTag.begin(), kBytesTag.end(), bytes.begin() + static_cast<std::ptrdiff_t>(at))))
            at += kSectionHead + Get(bytes, at + 4, 4);
        if (at + kSha256Size > bytes.size()) Refuse(name, "is truncated");
        Refuse(name, "is damaged (its checksum does not match its content)");
    }
    const std::uint32_t version = Get(bytes, 8, 2);
    if (version > kNewestKeyVersion)
        Refuse(name, "was written by a newer Quillfen (key format " + std::to_string(version) +
                         "; this program reads formats 1 to " + std::to_string(kNewestKeyVersion) + ")");
    if (version < kMethodKeyVersion)
        Refuse(name, "is damaged (key format " + std::to_string(version) + " with a method record)");
    const std::uint32_t flags = Get(bytes, 10, 2);
    if (flags != 0) Refuse(name, "uses options this program does not know (flags " + std::to_string(flags) + ")");
    MethodKey key;
    bool haveBytes = false;
    const std::uint32_t width = Get(bytes, 12, 4);
    const std::uint32_t height = Get(bytes, 16, 4);
    key.Seed = Get(bytes, 20, 4);
    if (width < 1 || height < 1 || width > static_cast<std::uint32_t>(kMaxSide) ||
        height > static_cast<std::uint32_t>(kMaxSide) ||
        static_cast<std::int64_t>(width) * static_cast<std::int64_t>(height) > kMaxPixels)
        Refuse(name, "names a picture of " + std::to_string(width) + " x " + std::to_string(height) +
                         ", beyond the size limits");
    key.HostWidth = static_cast<std::int32_t>(width);
    key.HostHeight = static_cast<std::int32_t>(height);

    bool haveMethod = false;
    std::size_t at = kHeaderBytes;
    while (at < body.size()) {
        if (at + kSectionHead > body.size()) Refuse(name, "is damaged (a section runs past the end)");
        const std::span<const std::uint8_t> tag = bytes.subspan(at, 4);
        const std::size_t length = Get(bytes, at + 4, 4);
        if (length > body.size() - at - kSectionHead) Refuse(name, "is damaged (a section runs past the end)");
        const std::span<const std::uint8_t> payload = bytes.subspan(at + kSectionHead, length);
        at += kSectionHead + length;
        if (std::equal(tag.begin(), tag.end(), kMethodTag.begin())) {
            if (haveMethod) Refuse(name, "is damaged (it names its method twice)");
            haveMethod = true;
            const std::size_t nameLength = payload.empty() ? 0 : payload[0];
            if (payload.size() < 1 + nameLength + 2) Refuse(name, "is damaged (its method record is cut short)");
            key.Method.assign(payload.begin() + 1, payload.begin() + 1 + static_cast<std::ptrdiff_t>(nameLength));
            const std::size_t parametersLength = Get(payload, 1 + nameLength, 2);
            if (payload.size() != 1 + nameLength + 2 + parametersLength)
                Refuse(name, "is damaged (its method record's lengths do not add up)");
            key.Parameters.assign(payload.begin() + static_cast<std::ptrdiff_t>(3 + nameLength), payload.end());
            if (key.Method.empty() || !IsPlainText(key.Method) || !IsPlainText(key.Parameters))
                Refuse(name, "is damaged (its method's name or parameters are not plain text)");
        } else if (std::equal(tag.begin(), tag.end(), kPayloadTag.begin())) {
            if (!key.Payload.empty()) Refuse(name, "is damaged (it holds two payloads)");
            const std::size_t bits = payload.empty() ? 0 : payload[0];
            if (bits < 1 || bits > static_cast<std::size_t>(kMaxPayloadBits) || payload.size() != 1 + (bits + 7) / 8)
                Refuse(name, "is damaged (its payload's length does not match its count of bits)");
            for (std::size_t i = 0; i < bits; ++i) key.Payload.push_back((payload[1 + i / 8] >> (i % 8)) & 1u);
            // Bits beyond the count are zero in every key a program writes.
            if (bits % 8 != 0 && (payload.back() >> (bits % 8)) != 0)
                Refuse(name, "is damaged (its payload has bits set beyond its count)");
        } else if (version >= kNewestKeyVersion && std::equal(tag.begin(), tag.end(), kBytesTag.begin())) {
            if (haveBytes) Refuse(name, "is damaged (it holds the method's own key twice)");
            if (payload.empty()) Refuse(name, "is damaged (its method's own key is empty)");
            haveBytes = true;
            key.Bytes.assign(payload.begin(), payload.end());
        } else {
            std::string shown;
            for (const std::uint8_t c : tag) shown += c >= ' ' && c <= '~' ? static_cast<char>(c) : '?';
            Refuse(name, "is damaged (it holds a section '" + shown + "' that key format " + std::to_string(version) +
                             " does not have)");
        }
    }
    const std::string format = "key format " + std::to_string(version);
    if (!haveMethod) Refuse(name, "is damaged (" + format + " without its method)");
    if (key.Payload.empty()) Refuse(name, "is damaged (" + format + " without its payload)");
    if (version == kNewestKeyVersion && !haveBytes) Refuse(name, "is damaged (" + format + " without the method's own key)");
    return key;
}

bool HoldsMethodRecord(std::span<const std::uint8_t> bytes) {
    return bytes.size() >= kMagic.size() + 2 && std::memcmp(bytes.data(), kMagic.data(), kMagic.size()) == 0 &&
           Get(bytes, 8, 2) >= kMethodKeyVersion;
}

}  // namespace quillfen
