#include "quillfen/watermark/mark_key.h"

#include <dlfcn.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <bit>
#include <bitset>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "quillfen/image/errors.h"
#include "quillfen/image/limits.h"
#include "quillfen/io/file_write.h"
#include "quillfen/watermark/detection_thresholds.h"
#include "quillfen/watermark/method_key.h"
#include "quillfen/watermark/watermark.h"

namespace quillfen {

namespace {

// The first byte is not ASCII and the CR LF / LF pair breaks under text-mode transfers, so a
// key mangled on its way is told from a damaged one at once.
constexpr std::array<std::uint8_t, 8> kMagic = {0x89, 'Q', 'F', 'K', '\r', '\n', 0x1A, '\n'};

constexpr int kPlanePixels = TWatermark::kMarkPixels;
constexpr std::size_t kPlaneBytes = kPlanePixels / 8;
constexpr std::size_t kOrderBytes = TWatermark::kBlocks * 2;
// magic, version, flags, nine 32-bit fields, the region digest.
constexpr std::size_t kHeaderBytes = 8 + 2 + 2 + 9 * 4 + kSha256Size;
constexpr std::size_t kFixedBytes = kHeaderBytes + 4 * kPlaneBytes + 2 * kOrderBytes;
constexpr std::size_t kSmallestKey = kFixedBytes + kSha256Size;

// Sections (format 2): a tag of four letters, the payload's length, the payload.
constexpr std::size_t kSectionHead = 8;
// The key's own calibration.
constexpr std::array<std::uint8_t, 4> kCalibrationTag = {'N', 'U', 'L', 'L'};
// The version of the calibration section's layout, and the bytes of its parts.
constexpr std::uint32_t kCalibrationLayout = 1;
constexpr std::size_t kCalibrationHead = 2 + 2 + 4 + 8 + 8;
constexpr std::size_t kComponentBytes = 1 + 1 + 2 + 4 + 4 * 8;

class Writer {
public:
    void U16(std::uint32_t value) {
        for (int i = 0; i < 2; ++i) bytes.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    }
    void U32(std::uint32_t value) {
        for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    }
    void U8(std::uint32_t value) { bytes.push_back(static_cast<std::uint8_t>(value)); }
    void U64(std::uint64_t value) {
        for (int i = 0; i < 8; ++i) bytes.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    }
    // The IEEE bits of the double, as the other numbers: little-endian.
    void Real(double value) { U64(std::bit_cast<std::uint64_t>(value)); }
    void Raw(std::span<const std::uint8_t> raw) { bytes.insert(bytes.end(), raw.begin(), raw.end()); }
    // Bit i of the plane is set where the pixel is 255; bit i lives in byte i / 8, lowest first.
    void Plane(const std::vector<std::uint8_t>& plane) {
        for (std::size_t i = 0; i < kPlaneBytes; ++i) {
            std::uint8_t packed = 0;
            for (int bit = 0; bit < 8; ++bit)
                if (plane[8 * i + bit] != 0) packed = static_cast<std::uint8_t>(packed | (1u << bit));
            bytes.push_back(packed);
        }
    }
    std::vector<std::uint8_t> bytes;
};

class Reader {
public:
    explicit Reader(std::span<const std::uint8_t> data) : data_(data) {}
    std::uint32_t U8() { return Take(1); }
    std::uint32_t U16() { return Take(2); }
    std::uint32_t U32() { return Take(4); }
    double Real() {
        const std::uint64_t low = Take(4);
        const std::uint64_t high = Take(4);
        return std::bit_cast<double>(low | (high << 32));
    }
    void Raw(std::uint8_t* out, std::size_t count) {
        std::memcpy(out, data_.data() + at_, count);
        at_ += count;
    }
    std::vector<std::uint8_t> Plane() {
        std::vector<std::uint8_t> plane(kPlanePixels);
        for (std::size_t i = 0; i < kPlaneBytes; ++i) {
            const std::uint8_t packed = data_[at_ + i];
            for (int bit = 0; bit < 8; ++bit) plane[8 * i + bit] = (packed >> bit) & 1u ? 255 : 0;
        }
        at_ += kPlaneBytes;
        return plane;
    }
    std::size_t At() const { return at_; }

private:
    std::uint32_t Take(int count) {
        std::uint32_t value = 0;
        for (int i = 0; i < count; ++i) value |= static_cast<std::uint32_t>(data_[at_ + i]) << (8 * i);
        at_ += static_cast<std::size_t>(count);
        return value;
    }
    std::span<const std::uint8_t> data_;
    std::size_t at_ = 0;
};

[[noreturn]] void Refuse(const std::string& name, const std::string& reason) {
    throw FormatError("'" + name + "' " + reason);
}

void CheckPlane(const char* what, std::size_t size) {
    if (size != static_cast<std::size_t>(kPlanePixels))
        throw ArgumentError(std::string("mark key: ") + what + " holds " + std::to_string(size) +
                            " values, expected 128 x 128");
}

int CountBlack(const std::vector<std::uint8_t>& plane) {
    int count = 0;
    for (const std::uint8_t value : plane) count += value == 0 ? 1 : 0;
    return count;
}

// A block order is a permutation of the 1024 blocks: every block once.
bool IsPermutation(const std::vector<std::uint16_t>& order) {
    std::bitset<TWatermark::kBlocks> seen;
    for (const std::uint16_t block : order) {
        if (block >= TWatermark::kBlocks || seen[block]) return false;
        seen[block] = true;
    }
    return true;
}

std::vector<std::uint8_t> EncodeCalibration(const KeyCalibration& cal) {
    if (cal.Components.empty() || cal.Components.size() > kMaxKeyComponents)
        throw ArgumentError("mark key: a calibration holds 1.." + std::to_string(kMaxKeyComponents) +
                            " kinds of trial, not " + std::to_string(cal.Components.size()));
    Writer w;
    w.U16(kCalibrationLayout);
    w.U16(static_cast<std::uint32_t>(cal.Components.size()));
    w.U32(static_cast<std::uint32_t>(cal.Trials()));
    w.Real(cal.Threshold1e3);
    w.Real(cal.Threshold1e6);
    for (const KeyNullComponent& c : cal.Components) {
        w.U8(static_cast<std::uint32_t>(c.Kind));
        w.U8(0);
        w.U16(c.Level);
        w.U32(c.Trials);
        w.Real(c.Mean);
        w.Real(c.SampleStdDev);
        w.Real(c.BinomialStdDev);
        w.Real(c.Largest);
    }
    return std::move(w.bytes);
}

// A calibration section's payload, checked as strictly as the rest of the key: every value in
// its range and its thresholds what its own components give.
KeyCalibration DecodeCalibration(std::span<const std::uint8_t> payload, const std::string& name) {
    auto damaged = [&](const std::string& what) { Refuse(name, "is damaged (its calibration " + what + ")"); };
    if (payload.size() < kCalibrationHead) damaged("is cut short");
    Reader r(payload);
    const std::uint32_t layout = r.U16();
    if (layout != kCalibrationLayout)
        damaged("has layout " + std::to_string(layout) + "; this program reads layout " +
                std::to_string(kCalibrationLayout));
    const std::uint32_t count = r.U16();
    const std::uint32_t trials = r.U32();
    KeyCalibration cal;
    cal.Threshold1e3 = r.Real();
    cal.Threshold1e6 = r.Real();
    if (count == 0 || count > kMaxKeyComponents) damaged("names " + std::to_string(count) + " kinds of trial");
    if (payload.size() != kCalibrationHead + count * kComponentBytes)
        damaged("is " + std::to_string(payload.size()) + " bytes long, not what its " + std::to_string(count) +
                " kinds of trial take");
    std::uint64_t counted = 0;
    for (std::uint32_t i = 0; i < count; ++i) {
        KeyNullComponent c;
        const std::uint32_t kind = r.U8();
        const std::uint32_t reserved = r.U8();
        c.Level = static_cast<std::uint16_t>(r.U16());
        c.Trials = r.U32();
        c.Mean = r.Real();
        c.SampleStdDev = r.Real();
        c.BinomialStdDev = r.Real();
        c.Largest = r.Real();
        if (kind < 1 || kind > kKeyTrialKinds || reserved != 0)
            damaged("names trial kind " + std::to_string(kind) + (reserved != 0 ? " with a reserved byte set" : ""));
        c.Kind = static_cast<KeyTrialKind>(kind);
        if ((c.Kind == KeyTrialKind::Noise) != (c.Level > 0) || c.Level > 25500)
            damaged("gives " + std::string(KeyTrialKindName(c.Kind)) + " trials a level of " + std::to_string(c.Level));
        for (const KeyNullComponent& earlier : cal.Components)
            if (earlier.Kind == c.Kind && earlier.Level == c.Level)
                damaged("lists " + std::string(KeyTrialKindName(c.Kind)) + " trials twice");
        if (c.Trials == 0 || c.Trials > kMaxKeyTrials) damaged("has a kind of trial with " + std::to_string(c.Trials) + " trials");
        // Scores lie in -1..1, so do their mean and highest value; a standard deviation of
        // such scores is at most 2.
        if (!(c.Mean >= -1 && c.Mean <= 1) || !(c.Largest >= -1 && c.Largest <= 1) ||
            !(c.SampleStdDev >= 0 && c.SampleStdDev <= 2) || !(c.BinomialStdDev >= 0 && c.BinomialStdDev <= 2) ||
            !(c.Largest >= c.Mean - 1e-9) || (c.Trials == 1 && c.SampleStdDev != 0))
            damaged("has " + std::string(KeyTrialKindName(c.Kind)) + " statistics out of range");
        counted += c.Trials;
        cal.Components.push_back(c);
    }
    if (counted != trials || trials > kMaxKeyTrials)
        damaged("counts " + std::to_string(trials) + " trials, its kinds " + std::to_string(counted));
    KeyCalibration fitted = cal;
    FitKeyCalibration(fitted);
    const auto same = [](double stored, double computed) {
        return std::fabs(stored - computed) <= 1e-12 * std::max(1.0, std::fabs(computed));
    };
    if (!same(cal.Threshold1e3, fitted.Threshold1e3) || !same(cal.Threshold1e6, fitted.Threshold1e6))
        damaged("has thresholds that its own trials do not give");
    return cal;
}

}  // namespace

const char* KeyTrialKindName(KeyTrialKind kind) {
    switch (kind) {
    case KeyTrialKind::Noise: return "noise";
    case KeyTrialKind::Jpeg: return "jpeg";
    case KeyTrialKind::NoiseJpeg: return "noise+jpeg";
    case KeyTrialKind::Filter: return "filter";
    case KeyTrialKind::Tone: return "tone";
    case KeyTrialKind::Rescale: return "rescale";
    case KeyTrialKind::Shift: return "shift";
    case KeyTrialKind::Resave: return "resave";
    }
    return nullptr;
}

std::uint64_t KeyCalibration::Trials() const {
    std::uint64_t trials = 0;
    for (const KeyNullComponent& c : Components) trials += c.Trials;
    return trials;
}

namespace {

// OpenSSL's crypto library is opened on the first digest, not at the program's start: loading
// and initialising it costs every start about 2 ms, and most commands never hash.
//
// OpenSSL keeps state for each thread that uses it (its error queue), freed by a destructor
// when the thread ends, and by default frees its global state at the process's exit. A pool's
// threads (the sweep's, the calibration's) end at the exit too, after that, and their
// destructors then ran on freed state: a rare crash at the exit of a process that hashed on
// many threads. So the library is told to leave its state to the process's end (when this is
// the first to start it), and a thread other than the main one gives its state back after each
// digest (whoever started the library), leaving nothing for its end to do.
struct Crypto {
    decltype(&EVP_Digest) Digest = nullptr;
    decltype(&EVP_sha256) Sha256 = nullptr;
    decltype(&OPENSSL_thread_stop) ThreadStop = nullptr;
};

const Crypto& CryptoLibrary() {
    // A failed load throws out of the initialisation, so the next call tries again.
    static const Crypto crypto = [] {
        void* library = dlopen(QF_CRYPTO_LIBRARY, RTLD_NOW | RTLD_LOCAL);
        if (library == nullptr) {
            const char* reason = dlerror();
            throw Error(std::string("SHA-256 needs the crypto library ") + QF_CRYPTO_LIBRARY +
                        ", which could not be loaded: " + (reason != nullptr ? reason : "unknown reason"));
        }
        Crypto found;
        if (const auto init = reinterpret_cast<decltype(&OPENSSL_init_crypto)>(dlsym(library, "OPENSSL_init_crypto")))
            init(OPENSSL_INIT_NO_ATEXIT, nullptr);
        found.Digest = reinterpret_cast<decltype(&EVP_Digest)>(dlsym(library, "EVP_Digest"));
        found.Sha256 = reinterpret_cast<decltype(&EVP_sha256)>(dlsym(library, "EVP_sha256"));
        found.ThreadStop = reinterpret_cast<decltype(&OPENSSL_thread_stop)>(dlsym(library, "OPENSSL_thread_stop"));
        if (found.Digest == nullptr || found.Sha256 == nullptr)
            throw Error(std::string("SHA-256 is not available from the crypto library ") + QF_CRYPTO_LIBRARY);
        return found;
    }();
    return crypto;
}

}  // namespace

Sha256Digest Sha256(std::span<const std::uint8_t> bytes) {
    const Crypto& crypto = CryptoLibrary();
    Sha256Digest digest{};
    unsigned int length = 0;
    const int done = crypto.Digest(bytes.data(), bytes.size(), digest.data(), &length, crypto.Sha256(), nullptr);
    if (crypto.ThreadStop != nullptr && ::syscall(SYS_gettid) != ::getpid()) crypto.ThreadStop();
    if (done != 1 || length != kSha256Size) throw Error("SHA-256 is not available from the crypto library");
    return digest;
}

std::string HexDigest(const Sha256Digest& digest) {
    std::string text;
    for (const std::uint8_t byte : digest) {
        char pair[3];
        std::snprintf(pair, sizeof pair, "%02x", byte);
        text += pair;
    }
    return text;
}

int MarkKey::BlackCount() const { return CountBlack(Extraction.W); }

std::vector<std::uint8_t> EncodeMarkKey(const MarkKey& key) {
    const ExtractionKey& e = key.Extraction;
    CheckPlane("P", e.P.size());
    CheckPlane("W", e.W.size());
    CheckPlane("the embedded relations", key.Embedded.size());
    CheckPlane("the carried relations", key.Carried.size());
    CheckPlane("RandPos", e.RandPos.size());
    if (e.XBlockOrder.size() != TWatermark::kBlocks || e.WrBlockOrder.size() != TWatermark::kBlocks)
        throw ArgumentError("mark key: a block order does not hold 1024 blocks");
    const int black = key.BlackCount();

    Writer w;
    w.Raw(kMagic);
    // Without sections a key is a version 1 key, byte for byte.
    w.U16(key.Calibration ? kMarkKeyVersion : 1);
    w.U16(0);  // flags: none defined
    w.U32(static_cast<std::uint32_t>(key.HostWidth));
    w.U32(static_cast<std::uint32_t>(key.HostHeight));
    w.U32(static_cast<std::uint32_t>(key.RegionLeft));
    w.U32(static_cast<std::uint32_t>(key.RegionTop));
    w.U32(static_cast<std::uint32_t>(key.RegionSize));
    w.U32(TWatermark::kMarkSize);
    w.U32(key.Seed);
    w.U32(static_cast<std::uint32_t>(key.StrengthDivisor));
    w.U32(static_cast<std::uint32_t>(black));
    w.Raw(key.RegionDigest);
    w.Plane(e.P);
    w.Plane(e.W);
    w.Plane(key.Embedded);
    w.Plane(key.Carried);
    for (const std::uint16_t block : e.XBlockOrder) w.U16(block);
    for (const std::uint16_t block : e.WrBlockOrder) w.U16(block);
    for (int k = 0; k < black; ++k) w.U16(static_cast<std::uint32_t>(std::nearbyint(e.RandPos[k])));
    if (key.Calibration) {
        const std::vector<std::uint8_t> payload = EncodeCalibration(*key.Calibration);
        w.Raw(kCalibrationTag);
        w.U32(static_cast<std::uint32_t>(payload.size()));
        w.Raw(payload);
    }
    const Sha256Digest check = Sha256(w.bytes);
    w.Raw(check);
    return std::move(w.bytes);
}

MarkKey DecodeMarkKey(std::span<const std::uint8_t> bytes, const std::string& name) {
    if (bytes.size() < kMagic.size() || std::memcmp(bytes.data(), kMagic.data(), kMagic.size()) != 0)
        Refuse(name, "is not a Quillfen key file");
    // Every version ends in the SHA-256 of the bytes before it, and nothing is read from a key
    // before that is checked: a changed bit anywhere says "damaged", whatever field it hit.
    // A blind method's key is far shorter than any of this method's: told apart by its version
    // and its own checksum before it could be taken for a cut file.
    if (bytes.size() >= kMagic.size() + 2 + kSha256Size && bytes[8] >= kMethodKeyVersion &&
        bytes[8] <= kNewestKeyVersion && bytes[9] == 0) {
        const Sha256Digest whole = Sha256(bytes.first(bytes.size() - kSha256Size));
        if (std::memcmp(whole.data(), bytes.data() + bytes.size() - kSha256Size, kSha256Size) == 0)
            Refuse(name, "is the key of a blind method (key format " + std::to_string(bytes[8]) +
                             "), not of the polarity method");
    }
    if (bytes.size() < kSmallestKey) Refuse(name, "is truncated");
    const std::span<const std::uint8_t> body = bytes.first(bytes.size() - kSha256Size);
    const Sha256Digest check = Sha256(body);
    if (std::memcmp(check.data(), bytes.data() + body.size(), kSha256Size) != 0) {
        // A cut file is told from a changed one by the count its own mark plane gives, which
        // does not rest on the header.
        const std::size_t planeW = kHeaderBytes + kPlaneBytes;
        std::size_t black = 0;
        for (std::size_t i = 0; i < kPlaneBytes; ++i) black += 8 - std::popcount(static_cast<unsigned>(bytes[planeW + i]));
        if (bytes.size() < kSmallestKey + 2 * black) Refuse(name, "is truncated");
        // A key with sections is cut when its sections, as their own lengths place them, run
        // past its end.
        if (bytes[8] >= 2 || bytes[9] != 0) {
            std::size_t at = kFixedBytes + 2 * black;
            while (at + kSectionHead <= body.size()) {
                std::uint32_t length = 0;
                for (int i = 0; i < 4; ++i) length |= static_cast<std::uint32_t>(bytes[at + 4 + i]) << (8 * i);
                at += kSectionHead + length;
            }
            if (at > body.size()) Refuse(name, "is truncated");
        }
        Refuse(name, "is damaged (its checksum does not match its content)");
    }
    Reader r(bytes);
    std::array<std::uint8_t, 8> magic{};
    r.Raw(magic.data(), magic.size());
    const std::uint32_t version = r.U16();
    if (version >= kMethodKeyVersion && version <= kNewestKeyVersion)
        Refuse(name, "is the key of a blind method (key format " + std::to_string(version) +
                         "), not of the polarity method");
    if (version > kNewestKeyVersion)
        Refuse(name, "was written by a newer Quillfen (key format " + std::to_string(version) +
                         "; this program reads formats 1 to " + std::to_string(kNewestKeyVersion) + ")");
    if (version == 0) Refuse(name, "is damaged (key format 0 does not exist)");

    // From here on the bytes are what some writer wrote; what follows checks that it was an
    // embedding's key and not a file of another program that happens to pass the checksum.
    const std::uint32_t announcedBlack = [&] {
        std::uint32_t value = 0;
        for (int i = 0; i < 4; ++i) value |= static_cast<std::uint32_t>(bytes[kHeaderBytes - kSha256Size - 4 + i]) << (8 * i);
        return value;
    }();
    if (announcedBlack > static_cast<std::uint32_t>(kPlanePixels) ||
        (version == 1 && bytes.size() != kSmallestKey + 2 * static_cast<std::size_t>(announcedBlack)) ||
        bytes.size() < kSmallestKey + 2 * static_cast<std::size_t>(announcedBlack))
        Refuse(name, "is damaged (its length does not match its count of scatter positions)");

    MarkKey key;
    const std::uint32_t flags = r.U16();
    if (flags != 0) Refuse(name, "uses options this program does not know (flags " + std::to_string(flags) + ")");
    const std::uint32_t width = r.U32();
    const std::uint32_t height = r.U32();
    const std::uint32_t left = r.U32();
    const std::uint32_t top = r.U32();
    const std::uint32_t regionSize = r.U32();
    const std::uint32_t markSize = r.U32();
    key.Seed = r.U32();
    const std::uint32_t divisor = r.U32();
    const std::uint32_t black = r.U32();
    r.Raw(key.RegionDigest.data(), kSha256Size);

    if (width > kMaxSide || height > kMaxSide ||
        static_cast<std::int64_t>(width) * static_cast<std::int64_t>(height) > kMaxPixels)
        Refuse(name, "names a picture of " + std::to_string(width) + " x " + std::to_string(height) +
                         ", beyond the size limits");
    if (regionSize != TWatermark::kHostSize || markSize != TWatermark::kMarkSize)
        Refuse(name, "describes a " + std::to_string(regionSize) + " x " + std::to_string(regionSize) +
                         " region with a " + std::to_string(markSize) + " x " + std::to_string(markSize) +
                         " mark; this program marks 256 x 256 regions with 128 x 128 marks");
    if (left != 0 || top != 0)
        Refuse(name, "places the region at (" + std::to_string(left) + ", " + std::to_string(top) +
                         "); this program marks the top-left region");
    if (width < regionSize || height < regionSize)
        Refuse(name, "names a picture of " + std::to_string(width) + " x " + std::to_string(height) +
                         ", smaller than its 256 x 256 region");
    if (divisor == 0 || divisor > 1000000)
        Refuse(name, "has a strength divisor of " + std::to_string(divisor) + " (expected 1..1000000)");
    key.HostWidth = static_cast<std::int32_t>(width);
    key.HostHeight = static_cast<std::int32_t>(height);
    key.RegionLeft = 0;
    key.RegionTop = 0;
    key.RegionSize = static_cast<std::int32_t>(regionSize);
    key.StrengthDivisor = static_cast<std::int32_t>(divisor);

    ExtractionKey& e = key.Extraction;
    e.P = r.Plane();
    e.W = r.Plane();
    key.Embedded = r.Plane();
    key.Carried = r.Plane();
    if (CountBlack(e.W) != static_cast<int>(black))
        Refuse(name, "is damaged (its mark has " + std::to_string(CountBlack(e.W)) + " black pixels, its header " +
                         std::to_string(black) + ")");
    for (auto* order : {&e.XBlockOrder, &e.WrBlockOrder}) {
        order->resize(TWatermark::kBlocks);
        for (std::uint16_t& block : *order) block = static_cast<std::uint16_t>(r.U16());
        if (!IsPermutation(*order)) Refuse(name, "is damaged (a block order does not name every block once)");
    }
    // The verdict compares the relations the embedding reversed with those it left alone;
    // an embedding never writes a key with too few of either (marking.h).
    int reversed = 0;
    int untouched = 0;
    for (int i = 0; i < kPlanePixels; ++i) {
        if (key.Carried[i] != key.Embedded[i]) continue;
        ++(key.Embedded[i] != e.P[i] ? reversed : untouched);
    }
    if (reversed < kMinimumRelations || untouched < kMinimumRelations)
        Refuse(name, "is damaged (it holds " + std::to_string(reversed) + " reversed and " +
                         std::to_string(untouched) + " untouched relations; an embedding's key holds at least " +
                         std::to_string(kMinimumRelations) + " of each)");
    e.RandPos.assign(kPlanePixels, 0.0);
    std::bitset<kPlanePixels> taken;
    for (std::uint32_t k = 0; k < black; ++k) {
        const std::uint32_t position = r.U16();
        if (position >= static_cast<std::uint32_t>(kPlanePixels) || taken[position])
            Refuse(name, "is damaged (scatter position " + std::to_string(k) + " is out of range or repeated)");
        taken[position] = true;
        e.RandPos[k] = static_cast<double>(position);
    }
    // The sections, up to the checksum: each known to this version, and each at most once.
    const std::size_t end = bytes.size() - kSha256Size;
    std::size_t at = r.At();
    while (at < end) {
        if (end - at < kSectionHead) Refuse(name, "is damaged (a section is cut short)");
        std::array<std::uint8_t, 4> tag{};
        std::memcpy(tag.data(), bytes.data() + at, tag.size());
        std::uint32_t length = 0;
        for (int i = 0; i < 4; ++i) length |= static_cast<std::uint32_t>(bytes[at + 4 + i]) << (8 * i);
        if (length > end - at - kSectionHead) Refuse(name, "is damaged (a section runs past the end)");
        const std::span<const std::uint8_t> payload = bytes.subspan(at + kSectionHead, length);
        if (tag == kCalibrationTag) {
            if (key.Calibration) Refuse(name, "is damaged (it holds two calibrations)");
            key.Calibration = DecodeCalibration(payload, name);
        } else {
            std::string shown;
            for (const std::uint8_t c : tag) shown += c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '?';
            Refuse(name, "is damaged (it holds a section '" + shown + "' that key format " + std::to_string(version) +
                             " does not have)");
        }
        at += kSectionHead + length;
    }
    if (version >= 2 && !key.Calibration) Refuse(name, "is damaged (key format 2 without a calibration)");
    return key;
}

void SaveMarkKey(const std::filesystem::path& path, const MarkKey& key) {
    WriteFileAtomically(path, EncodeMarkKey(key));
}

std::vector<std::uint8_t> ReadKeyFile(const std::filesystem::path& path) {
    std::int64_t size = 0;
    OpenFileForReading(path, &size);  // refuses folders, FIFOs and devices without blocking
    if (size > kMaxKeyFileBytes)
        Refuse(path.string(), "is " + std::to_string(size) + " bytes long; no key is larger than " +
                                  std::to_string(kMaxKeyFileBytes) + " bytes");
    std::vector<std::uint8_t> bytes = ReadWholeFile(path);
    if (static_cast<std::int64_t>(bytes.size()) > kMaxKeyFileBytes) Refuse(path.string(), "grew while it was read");
    return bytes;
}

MarkKey LoadMarkKey(const std::filesystem::path& path) { return DecodeMarkKey(ReadKeyFile(path), path.string()); }

}  // namespace quillfen
