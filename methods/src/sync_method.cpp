// The periodic mark (sync/sync_mark.h) as a method: a blind 64-bit mark that finds the
// suspect's geometry by itself, so that crops, rescaling, aspect changes and small rotations
// are read with the key alone.
//
// It marks the luminance of the whole picture, (299 R + 587 G + 114 B) / 1000 for colour, and
// adds the same change to each of the three colours, as the other blind methods do. Its
// strength is the root mean square of that change in gray levels (2.55 is 40 dB before
// rounding). The score is the cosine between the suspect folded along the lattice found and
// the decoded payload's tile: its thresholds come from a bound over every hypothesis the
// detector tries (lattices, chip sizes, shifts and the 2^64 codewords the decoder chooses
// from), so they hold for the score as it is, on a suspect of any size.
#include "sync_method.h"

#include <cmath>

#include "quillfen/image/errors.h"
#include "quillfen/image/round_half_even.h"
#include "quillfen/watermark/metrics.h"
#include "blind_core.h"
#include "payload_code.h"
#include "sync/sync_mark.h"

namespace quillfen::detail {

namespace {

constexpr const char* kName = "spread-spectrum-sync";

class SpreadSpectrumSync final : public WatermarkMethod {
public:
    explicit SpreadSpectrumSync(MethodSpec described)
        : spec_(std::move(described)), ecc_(EccOf(spec_)), messageBits_(spec_.PayloadBits()) {}

    const MethodSpec& Describe() const override { return spec_; }

    MethodMarked Embed(const ImageView& host, const MethodPayload& payload, std::uint32_t seed) const override {
        const sync::PayloadBits bits = CheckHost(host, payload);
        const sync::MaskedRows rows = RowsOf(host, bits, seed);
        return Marked(host, rows, ScaleOf(rows, spec_.Value("strength")), payload, seed, Parameters());
    }

    // The change is the masked pattern scaled to a root mean square of the strength: the mask
    // is made once, and each strength tried only scales and writes the pattern, a row at a time.
    std::unique_ptr<StrengthProbe> ProbeStrength(const ImageView& host, const MethodPayload& payload,
                                                 std::uint32_t seed) const override {
        return std::make_unique<Probe>(*this, host, payload, seed, CheckHost(host, payload));
    }

    MethodReading Detect(const ImageView& suspect, const MethodKey& key, ReadDepth) const override {
        CheckImageView(suspect, "suspect picture");
        const MethodKey& own = OwnKey(key);
        if (suspect.width() < sync::kSmallestSuspect || suspect.height() < sync::kSmallestSuspect)
            throw ArgumentError("the suspect is " + std::to_string(suspect.width()) + " x " +
                                std::to_string(suspect.height()) + "; " + kName + " reads pictures of at least 64 x 64");
        // The luminance a row at a time: detection keeps only the reduced picture.
        const sync::SyncReading read = sync::Detect(
            sync::PreparedSuspect(suspect.width(), suspect.height(), [&](int y, double* out) { LumaRow(suspect, y, out); }),
            own.Seed);
        MethodReading reading;
        reading.Score = read.Cosine;
        // One hypothesis's cosine on a chance tile of 1024 chips; the search's largest lies higher,
        // which the thresholds account for.
        reading.ChanceVariance = 1.0 / (sync::kTileChips * sync::kTileChips);
        reading.Bits.assign(read.Bits.begin(), read.Bits.end());
        ReadCarried(ecc_, reading, own.Payload);
        if (read.Synchronised) {
            // The suspect's own grid gives an exact identity whose products can be -0: reports
            // would print "-0".
            const auto plain = [](double v) { return v == 0 ? 0.0 : v; };
            FoundGeometry found;
            found.RotationDegrees = plain(read.Transform.RotationDegrees);
            found.ScaleX = read.Transform.ScaleX;
            found.ScaleY = read.Transform.ScaleY;
            found.Shear = plain(read.Transform.Shear);
            found.ShiftX = plain(read.Transform.ShiftX);
            found.ShiftY = plain(read.Transform.ShiftY);
            found.Peak = read.LatticePeak;
            found.FalseAlarm = read.FalseAlarm;
            reading.Found = found;
        }
        return reading;
    }

    std::vector<std::uint8_t> KeyToBytes(const MethodKey& key) const override { return EncodeMethodKey(OwnKey(key)); }

    MethodKey KeyFromBytes(std::span<const std::uint8_t> bytes, const std::string& name) const override {
        MethodKey key = DecodeMethodKey(bytes, name);
        if (key.Method != kName) throw ArgumentError("'" + name + "' is a key of " + key.Method + ", not of " + kName);
        // A key whose record contradicts itself was changed after it was written: damaged.
        if (key.Payload.size() != static_cast<std::size_t>(messageBits_))
            throw FormatError("'" + name + "' is damaged (it holds " + std::to_string(key.Payload.size()) +
                              " payload bits; " + spec_.Name() + " embeds " + std::to_string(messageBits_) + ")");
        for (const std::uint8_t bit : key.Payload)
            if (bit > 1) throw FormatError("'" + name + "' is damaged (a payload bit is neither 0 nor 1)");
        if (!key.Bytes.empty()) throw FormatError("'" + name + "' is damaged (" + kName + " keeps no key of its own)");
        return key;
    }

private:
    class Probe final : public StrengthProbe {
    public:
        Probe(const SpreadSpectrumSync& method, const ImageView& host, const MethodPayload& payload, std::uint32_t seed,
              const sync::PayloadBits& bits)
            : method_(method), host_(host), payload_(payload), seed_(seed), rows_(RowsOf(host, bits, seed)) {}
        double Energy(double strength) const override { return Pixels() * strength * strength; }
        double Psnr(double strength) const override {
            return PsnrOfSquares(WriteScaled(host_, rows_, ScaleOf(rows_, strength), nullptr), host_.width(),
                                 host_.height());
        }
        double Pixels() const override { return static_cast<double>(host_.width()) * host_.height(); }
        MethodMarked Mark(double strength) override {
            return Marked(host_, rows_, ScaleOf(rows_, strength), payload_, seed_,
                          method_.WithStrength(strength)->Parameters());
        }

    private:
        const SpreadSpectrumSync& method_;
        ImageView host_;
        MethodPayload payload_;
        std::uint32_t seed_;
        sync::MaskedRows rows_;
    };

    // The masked pattern of the host's luminance, made a row at a time: a photograph's luminance
    // and pattern are never held whole (sixteen bytes a pixel beside the three of the marked copy).
    static sync::MaskedRows RowsOf(const ImageView& host, const sync::PayloadBits& bits, std::uint32_t seed) {
        return sync::MaskedRows(host.width(), host.height(), bits, seed,
                                [&host](int y, double* out) { LumaRow(host, y, out); });
    }

    // As sync::EmbedChange scales the pattern: to a root mean square of the strength.
    static double ScaleOf(const sync::MaskedRows& rows, double strength) {
        const std::size_t pixels = static_cast<std::size_t>(rows.Width()) * static_cast<std::size_t>(rows.Height());
        return strength / std::sqrt(rows.Energy() / static_cast<double>(pixels));
    }

    // The bytes WriteBackChange(host, LumaOf(host), change) writes for the change pattern * scale,
    // into `out` when it is not null; returns the sum of the squared differences of the R, G and
    // B bytes from the host's. A gray picture's luminance is its gray exactly ((299 + 587 + 114)
    // g / 1000), so adding the change to each of its three bytes writes its new gray: one rule
    // serves gray and colour.
    static std::int64_t WriteScaled(const ImageView& host, const sync::MaskedRows& rows, double scale, Bitmap* out) {
        const int width = host.width();
        std::vector<double> change(static_cast<std::size_t>(width));
        std::int64_t squares = 0;
        for (int y = 0; y < host.height(); ++y) {
            rows.Row(y, change.data());
            std::uint8_t* row = out ? out->row(y) : nullptr;
            for (int x = 0; x < width; ++x) {
                const double moved = change[static_cast<std::size_t>(x)] * scale;
                const int b = host.Blue.at(x, y), g = host.Green.at(x, y), r = host.Red.at(x, y);
                const std::uint8_t nb = ToByte(b + moved), ng = ToByte(g + moved), nr = ToByte(r + moved);
                squares += PutPixel(row, x, b, g, r, nb, ng, nr);
            }
        }
        return squares;
    }

    sync::PayloadBits CheckHost(const ImageView& host, const MethodPayload& payload) const {
        CheckImageView(host, "host picture");
        if (host.width() < sync::kSmallestHost || host.height() < sync::kSmallestHost)
            throw ArgumentError("the host is " + std::to_string(host.width()) + " x " + std::to_string(host.height()) +
                                "; " + std::string(kName) + " marks pictures of at least 256 x 256");
        // The picture carries the codeword of the payload (the payload itself without a code).
        return PayloadOf(CarriedPayload(ecc_, Message(payload.Bits, "embeds")), "embeds");
    }

    static MethodMarked Marked(const ImageView& host, const sync::MaskedRows& rows, double scale,
                               const MethodPayload& payload, std::uint32_t seed, std::string parameters) {
        MethodMarked marked;
        marked.Picture = Bitmap(host.width(), host.height());
        marked.Psnr = PsnrOfSquares(WriteScaled(host, rows, scale, &marked.Picture), host.width(), host.height());
        MethodKey& key = marked.Key;
        key.Method = kName;
        key.Parameters = std::move(parameters);
        key.Seed = seed;
        key.HostWidth = host.width();
        key.HostHeight = host.height();
        key.Payload = payload.Bits;
        return marked;
    }

    // The payload given or held: the method's number of bits, each 0 or 1.
    const std::vector<std::uint8_t>& Message(const std::vector<std::uint8_t>& given, const char* verb) const {
        if (given.size() != static_cast<std::size_t>(messageBits_))
            throw ArgumentError(spec_.Name() + " " + verb + " " + std::to_string(messageBits_) + " payload bits, not " +
                                std::to_string(given.size()));
        for (const std::uint8_t bit : given)
            if (bit > 1) throw ArgumentError("a payload bit is neither 0 nor 1");
        return given;
    }

    static sync::PayloadBits PayloadOf(const std::vector<std::uint8_t>& given, const char* verb) {
        if (given.size() != static_cast<std::size_t>(sync::kPayloadBits))
            throw ArgumentError(std::string(kName) + " " + verb + " 64 payload bits, not " + std::to_string(given.size()));
        sync::PayloadBits bits{};
        for (std::size_t b = 0; b < given.size(); ++b) {
            if (given[b] > 1) throw ArgumentError("a payload bit is neither 0 nor 1");
            bits[b] = given[b];
        }
        return bits;
    }

    const MethodKey& OwnKey(const MethodKey& key) const {
        if (key.Method != kName) throw ArgumentError(std::string("the key is not a key of ") + kName);
        Message(key.Payload, "holds");
        return key;
    }

    MethodSpec spec_;
    int ecc_;          // the code's t; 0: none
    int messageBits_;  // 64 without a code
};

}  // namespace

std::shared_ptr<const MethodInfo> SpreadSpectrumSyncEntry() {
    auto info = std::make_shared<MethodInfo>();
    info->Name = kName;
    info->Parameters = {{"strength", 0.1, 50, false, false, 2.5,
                         "root mean square of the change of the luminance, in gray levels (2.55: 40 dB)"},
                        EccParameter()};
    info->Capabilities.Blind = true;
    info->Capabilities.PayloadBits = sync::kPayloadBits;
    info->Capabilities.Strength = "strength";
    info->Capabilities.Synchronises = true;
    info->Capabilities.ScoreCalibrated = true;
    info->Summary =
        "a periodic spread-spectrum mark that finds the geometry by itself: one keyed tile of 32 x 32 chips repeated "
        "over the whole picture, its lattice (rotation, scale, aspect) found from the autocorrelation and its shift by "
        "correlation; 64 bits through a rate-1/3 convolutional code; reads crops, rescaled and rotated copies blind";
    // The union bound over the whole search (sync_mark.h): they hold for any suspect, marked
    // or not, and need no calibration run.
    info->Thresholds = std::pair{sync::CosineThreshold(1e-3), sync::CosineThreshold(1e-6)};
    info->Make = [](const MethodSpec& described) { return std::make_unique<SpreadSpectrumSync>(described); };
    return info;
}

}  // namespace quillfen::detail
