// The laboratory's own method behind the method interface: marking.h's embedding, reading and
// score, unchanged, and its keys of formats 1 and 2.
#include <cmath>
#include <memory>

#include "blind_methods.h"
#include "quillfen/image/errors.h"
#include "quillfen/watermark/detection_thresholds.h"
#include "quillfen/watermark/experiment.h"
#include "quillfen/watermark/marking.h"

namespace quillfen::detail {

namespace {

constexpr int kRegion = TWatermark::kHostSize;

// What the method keeps of a key: its planes and block orders, and the mark as the bit error
// rate compares with it.
struct PolarityKeyState final : KeyState {
    MarkKey Key;
    std::vector<std::uint8_t> Scattered;
    explicit PolarityKeyState(MarkKey key) : Key(std::move(key)), Scattered(ScatteredMark(Key.Extraction)) {}
};

// One thread's working planes, kept between readings: the workspace of an extraction is many
// planes, and a sweep reads thousands of pictures.
struct Scratch {
    std::unique_ptr<Experiment> Reader;
    // The scorer and the measurer of the key read last, and that key's state (both refer to
    // their key).
    std::weak_ptr<const KeyState> ScorerOf;
    std::unique_ptr<RelationScorer> Scorer;
    std::weak_ptr<const KeyState> MeasurerOf;
    std::unique_ptr<MarkMeasurer> Measurer;
    std::vector<double> Reals;
};

Scratch& ThreadScratch() {
    thread_local Scratch scratch;
    return scratch;
}

// The host (or suspect) as the workspace loads pictures: the blue bytes of a colour picture
// in a 24-bit picture of the same size.
Bitmap BitmapOf(const ImageView& view) {
    Bitmap picture(view.width(), view.height());
    for (int y = 0; y < view.height(); ++y) {
        std::uint8_t* row = picture.row(y);
        for (int x = 0; x < view.width(); ++x) {
            row[3 * x] = view.Blue.at(x, y);
            row[3 * x + 1] = view.Green.at(x, y);
            row[3 * x + 2] = view.Red.at(x, y);
        }
    }
    return picture;
}

class Polarity final : public WatermarkMethod {
public:
    explicit Polarity(MethodSpec described) : spec_(std::move(described)) {}

    const MethodSpec& Describe() const override { return spec_; }

    MethodMarked Embed(const ImageView& host, const MethodPayload& payload, std::uint32_t seed) const override {
        if (payload.Mark.empty()) throw ArgumentError("the polarity method embeds a mark picture; none was given");
        CheckImageView(host, "host picture");
        const Bitmap picture = BitmapOf(host);
        Experiment experiment(TWatermark::Planes::ResultsOnly);
        Bitmap region = picture;  // Load cuts its pictures to size
        Bitmap mark = payload.Mark;
        experiment.Load(region, mark);
        experiment.SetFixedSeed(seed);
        experiment.SetStrengthDivisor(static_cast<int>(spec_.Value("divisor")));
        experiment.Embed();
        MarkedHost marked = MarkHost(experiment, picture);
        MethodMarked out;
        out.Picture = std::move(marked.Picture);
        out.Psnr = marked.RegionPsnr;
        // On a gray host that is its region, the values before rounding are the marked picture's
        // own (the laboratory's attacks read them).
        if (!host.Colour && host.width() == kRegion && host.height() == kRegion) {
            const auto& reals = experiment.Workspace().X_hat_real();
            out.Reals.assign(reals.begin(), reals.end());
        }
        out.Key = Envelope(std::move(marked.Key));
        return out;
    }

    MethodReading Detect(const ImageView& suspect, const MethodKey& key, ReadDepth depth) const override {
        CheckImageView(suspect, "suspect picture");
        const auto state = StateOf(key);
        const MarkKey& markKey = state->Key;
        // The region's reals: the suspect's own when it is the region and came with them, else its bytes.
        const bool ownReals = !suspect.Reals.empty() && suspect.width() == kRegion && suspect.height() == kRegion;
        Scratch& scratch = ThreadScratch();
        // A suspect that is the region with its reals is read where it is; any other through
        // its region's bytes.
        std::vector<std::uint8_t> region;
        if (!ownReals || depth == ReadDepth::Full) region = MarkedRegion(suspect.Gray());
        MethodReading reading;
        if (depth == ReadDepth::Score) {
            if (!scratch.Scorer || scratch.ScorerOf.lock() != key.State) {
                scratch.Scorer = std::make_unique<RelationScorer>(markKey);
                scratch.ScorerOf = key.State;
            }
            const DetectionScore score =
                ownReals ? scratch.Scorer->Score(suspect.Reals) : scratch.Scorer->Score(std::span<const std::uint8_t>(region));
            reading.Score = score.Value;
            reading.ChanceVariance = ChanceVariance(score);
            return reading;
        }
        if (scratch.MeasurerOf.lock() != key.State || !scratch.Measurer) {
            scratch.Measurer = MarkMeasurer::Follows(markKey) ? std::make_unique<MarkMeasurer>(markKey) : nullptr;
            scratch.MeasurerOf = key.State;
        }
        if (scratch.Measurer) {
            const MarkMeasures measures = ownReals ? scratch.Measurer->Measure(suspect.Reals)
                                                   : scratch.Measurer->Measure(std::span<const std::uint8_t>(region));
            reading.Score = measures.Score.Value;
            reading.ChanceVariance = ChanceVariance(measures.Score);
            reading.Nc = measures.Nc;
            reading.Ber = measures.Ber;
            if (depth == ReadDepth::Measures) return reading;
            reading.Relations = measures.Score;
            reading.Mark = GrayPlane(TWatermark::kMarkSize, TWatermark::kMarkSize, scratch.Measurer->ExtractedMark());
            reading.Identical = suspect.width() >= kRegion && suspect.height() >= kRegion && Sha256(region) == markKey.RegionDigest;
            return reading;
        }
        if (region.empty()) region = MarkedRegion(suspect.Gray());
        // A key the measurer does not follow: the workspace's extraction reads (or refuses) it.
        if (!scratch.Reader) scratch.Reader = std::make_unique<Experiment>(TWatermark::Planes::ResultsOnly);
        std::span<const double> reals = suspect.Reals;
        if (!ownReals) {
            scratch.Reals.assign(region.begin(), region.end());
            reals = scratch.Reals;
        }
        Experiment& reader = *scratch.Reader;
        const std::vector<StepResult> results = reader.ExtractWithKey(markKey.Extraction, region, reals);
        const TWatermark& w = reader.Workspace();
        const DetectionScore score = ScoreExtraction(markKey, w);
        reading.Score = score.Value;
        reading.ChanceVariance = ChanceVariance(score);
        reading.Relations = score;
        reading.Nc = results.back().nc;
        reading.Ber = WholeMarkBitErrorRate(w.Wr_wave(), state->Scattered);
        reading.Mark = GrayPlane(TWatermark::kMarkSize, TWatermark::kMarkSize, w.W_wave());
        reading.Identical = suspect.width() >= kRegion && suspect.height() >= kRegion && Sha256(region) == markKey.RegionDigest;
        return reading;
    }

    std::vector<std::uint8_t> KeyToBytes(const MethodKey& key) const override {
        MarkKey markKey = StateOf(key)->Key;
        markKey.Calibration = key.Calibration;
        return EncodeMarkKey(markKey);
    }

    MethodKey KeyFromBytes(std::span<const std::uint8_t> bytes, const std::string& name) const override {
        return Envelope(DecodeMarkKey(bytes, name));
    }

private:
    static MethodKey Envelope(MarkKey markKey) {
        MethodKey key;
        key.Method = kPolarityMethod;
        // The divisor the key was made with, as a method list names it (none at the default,
        // as keys made before the method had a strength parameter say).
        if (markKey.StrengthDivisor != kMarkStrengthDivisor)
            key.Parameters = "divisor=" + std::to_string(markKey.StrengthDivisor);
        key.Seed = markKey.Seed;
        key.HostWidth = markKey.HostWidth;
        key.HostHeight = markKey.HostHeight;
        key.Calibration = markKey.Calibration;
        key.State = std::make_shared<const PolarityKeyState>(std::move(markKey));
        return key;
    }

    static std::shared_ptr<const PolarityKeyState> StateOf(const MethodKey& key) {
        auto state = std::dynamic_pointer_cast<const PolarityKeyState>(key.State);
        if (key.Method != kPolarityMethod || state == nullptr)
            throw ArgumentError("the key is not a key of the polarity method");
        return state;
    }

    // The binomial spread of a difference of two shares of relations (detection_thresholds.h).
    static double ChanceVariance(const DetectionScore& score) {
        const double f = static_cast<double>(score.UntouchedReversed) / score.Untouched;
        return f * (1 - f) * (1.0 / score.Reversed + 1.0 / score.Untouched);
    }

    MethodSpec spec_;
};

}  // namespace

std::shared_ptr<const MethodInfo> PolarityEntry() {
    auto info = std::make_shared<MethodInfo>();
    info->Name = kPolarityMethod;
    // What the rows of a run without methods call it (MethodName, robustness.h).
    info->Aliases = {"dct-polarity"};
    // Each changed relation's coefficient is moved past its partner by |g - q| / divisor: the
    // PSNR rises with the divisor, towards that of moving it just onto its partner's magnitude.
    info->Parameters = {{"divisor", 1, kMostStrengthDivisor, true, false, kMarkStrengthDivisor,
                         "divisor of the margin by which a changed relation's coefficient passes its partner (|g - q| / "
                         "divisor): smaller is stronger; the PSNR rises with it"}};
    info->Capabilities.Strength = "divisor";
    info->Capabilities.UsesMark = true;
    info->Capabilities.RegionSide = kRegion;
    info->Capabilities.CalibratesKeys = true;
    info->Summary =
        "the laboratory's method: a 128 x 128 mark in the polarity of mid-band 8 x 8 block-DCT coefficient pairs of the "
        "top-left 256 x 256; the key keeps the host's polarity map (not blind), zero-bit, its strength set by a divisor";
    info->Thresholds = std::pair{kDefaultThreshold1e3, kDefaultThreshold1e6};
    info->Make = [](const MethodSpec& described) { return std::make_unique<Polarity>(described); };
    return info;
}

}  // namespace quillfen::detail
