#include "quillfen/watermark/marking.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <utility>

#include "quillfen/image/errors.h"
#include "quillfen/watermark/dct.h"
#include "quillfen/watermark/metrics.h"

namespace quillfen {

namespace {

constexpr int kRegion = TWatermark::kHostSize;
constexpr int kPlane = TWatermark::kMarkPixels;

std::vector<double> RealsOf(const std::vector<std::uint8_t>& bytes) { return {bytes.begin(), bytes.end()}; }

// The relations a picture carries, in P's coding, from the workspace's P_wave (which codes
// them the other way round).
std::vector<std::uint8_t> ObservedRelations(const TWatermark& workspace) {
    std::vector<std::uint8_t> relations(kPlane);
    for (int i = 0; i < kPlane; ++i) relations[i] = static_cast<std::uint8_t>(255 - workspace.P_wave()[i]);
    return relations;
}

bool IsGray(const Bitmap& picture) {
    for (int y = 0; y < picture.height(); ++y) {
        const std::uint8_t* row = picture.row(y);
        for (int x = 0; x < picture.width(); ++x)
            if (row[3 * x] != row[3 * x + 1] || row[3 * x] != row[3 * x + 2]) return false;
    }
    return true;
}

void CheckHostSize(int width, int height) {
    if (width < kRegion || height < kRegion)
        throw ArgumentError("the host picture is " + std::to_string(width) + " x " + std::to_string(height) +
                            "; the mark needs a 256 x 256 region, and a marked picture is never padded");
}

// What a key needs beyond the extraction's inputs: the relations the embedding set and
// those the written bytes carry (read back through the extraction chain on a copy, so the
// experiment itself keeps its state).
MarkKey BuildKey(const Experiment& experiment, int hostWidth, int hostHeight, std::optional<double>* regionNc) {
    const TWatermark& w = experiment.Workspace();
    MarkKey key;
    key.HostWidth = hostWidth;
    key.HostHeight = hostHeight;
    key.Seed = experiment.Seed();
    key.StrengthDivisor = experiment.StrengthDivisor();
    key.RegionDigest = Sha256(w.X_hat());
    key.Extraction = w.Key();
    key.Embedded.resize(kPlane);
    TWatermark::Polarity(w.Yr_hat(), key.Embedded);
    // The extraction's relations of the written bytes are the polarity of their mid-band
    // coefficients (what its P_wave codes the other way round): no workspace is needed for them.
    std::vector<double> reduced(kPlane);
    MidBandTransform(w.X_hat().data(), reduced.data());
    key.Carried.resize(kPlane);
    TWatermark::Polarity(reduced, key.Carried);
    if (regionNc) {
        if (MarkMeasurer::Follows(key)) {
            *regionNc = MarkMeasurer(key).Measure(std::span<const std::uint8_t>(w.X_hat())).Nc;
        } else {
            Experiment reader(TWatermark::Planes::ResultsOnly);
            *regionNc = reader.ExtractWithKey(key.Extraction, w.X_hat(), RealsOf(w.X_hat())).back().nc;
        }
    }
    return key;
}

}  // namespace

std::vector<std::uint8_t> MarkedRegion(const GrayView& picture) {
    CheckView(picture, "picture");
    std::vector<std::uint8_t> region(TWatermark::kHostPixels, 255);
    const int rows = std::min(picture.height, kRegion);
    const int columns = std::min(picture.width, kRegion);
    for (int y = 0; y < rows; ++y) {
        std::uint8_t* out = region.data() + static_cast<std::size_t>(y) * kRegion;
        // A detection reads its suspect's region twice a row of a sweep: whole rows are copied
        // where the view's pixels are neighbours.
        if (picture.pixelStride == 1) {
            std::memcpy(out, picture.data + y * picture.rowStride, static_cast<std::size_t>(columns));
            continue;
        }
        for (int x = 0; x < columns; ++x) out[x] = picture.at(x, y);
    }
    return region;
}

GrayPlane GrayOf(const Bitmap& picture) {
    GrayPlane plane(picture.width(), picture.height());
    for (int y = 0; y < picture.height(); ++y) {
        const std::uint8_t* row = picture.row(y);
        std::uint8_t* out = plane.row(y);
        for (int x = 0; x < picture.width(); ++x) out[x] = row[3 * x];
    }
    return plane;
}

MarkedHost EmbedIntoHost(const Bitmap& host, const Bitmap& mark, std::optional<std::uint32_t> seed) {
    CheckHostSize(host.width(), host.height());
    Experiment experiment(TWatermark::Planes::ResultsOnly);
    Bitmap region = host;  // Load cuts its pictures to size
    Bitmap markCopy = mark;
    experiment.Load(region, markCopy);
    experiment.SetFixedSeed(seed);
    std::vector<StepResult> steps = experiment.Embed();
    MarkedHost marked = MarkHost(experiment, host);
    marked.Steps = std::move(steps);
    return marked;
}

MarkedPicture EmbedIntoHost(const GrayView& host, const GrayView& mark, std::optional<std::uint32_t> seed) {
    CheckView(host, "host picture");
    CheckView(mark, "mark picture");
    CheckHostSize(host.width, host.height);
    // The method reads no more than the host's region and the mark's 128 x 128, so only they
    // are taken over; the key then records the host's own size.
    const auto bitmapOf = [](const GrayView& view, int width, int height) {
        Bitmap bitmap(width, height);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) bitmap.setGray(x, y, view.at(x, y));
        return bitmap;
    };
    MarkedHost marked = EmbedIntoHost(bitmapOf(host, kRegion, kRegion),
                                      bitmapOf(mark, std::min(mark.width, TWatermark::kMarkSize),
                                               std::min(mark.height, TWatermark::kMarkSize)),
                                      seed);
    MarkedPicture picture;
    picture.Picture = ToPlane(host);
    for (int y = 0; y < kRegion; ++y)
        for (int x = 0; x < kRegion; ++x) picture.Picture.at(x, y) = marked.Picture.blue(x, y);
    picture.Key = std::move(marked.Key);
    picture.Key.HostWidth = host.width;
    picture.Key.HostHeight = host.height;
    picture.RegionPsnr = marked.RegionPsnr;
    picture.RegionNc = marked.RegionNc;
    return picture;
}

MarkedHost MarkHost(const Experiment& experiment, const Bitmap& host) {
    if (!experiment.HasRun(Step::GetX_hat)) throw StepRefused(Step::SaveX_hat);
    CheckHostSize(host.width(), host.height());
    const TWatermark& w = experiment.Workspace();

    // W is binarised by now; NC counts its black pixels in rows and columns 4..127 only.
    if (!TWatermark::NormalizedCorrelation(w.W(), w.W()))
        throw ArgumentError("the mark has no black pixel (below 128) outside its first four rows and columns; "
                            "there is nothing to find again");
    MarkedHost marked;
    marked.Key = BuildKey(experiment, host.width(), host.height(), &marked.RegionNc);
    int reversed = 0;
    int untouched = 0;
    for (int i = 0; i < kPlane; ++i) {
        if (marked.Key.Carried[i] != marked.Key.Embedded[i]) continue;
        ++(marked.Key.Embedded[i] != marked.Key.Extraction.P[i] ? reversed : untouched);
    }
    if (untouched < kMinimumRelations)  // only a mark white almost everywhere comes near
        throw ArgumentError("the mark is too light: embedding it leaves only " + std::to_string(untouched) +
                            " relations of the host as they were, and a verdict needs at least " +
                            std::to_string(kMinimumRelations));
    if (reversed < kMinimumRelations) {
        // A host without detail where the method reads it has next to no relation to reverse,
        // whatever the mark: that is the host's fault, and the message says so.
        const auto [low, high] = std::minmax_element(w.X().begin(), w.X().end());
        if (*high - *low <= 2)
            throw ArgumentError("the host is flat where the polarity method marks it: its top-left 256 x 256 gray "
                                "(the blue byte of a colour picture) spans only the levels " + std::to_string(*low) +
                                ".." + std::to_string(*high) + ", so embedding reverses only " +
                                std::to_string(reversed) + " relations, and a verdict needs at least " +
                                std::to_string(kMinimumRelations) +
                                "; choose a picture with detail there (or a method that marks the luminance)");
        throw ArgumentError("the mark is too dark: embedding it reverses only " + std::to_string(reversed) +
                            " relations of the host, and a verdict needs at least " +
                            std::to_string(kMinimumRelations) + " (use a mark with more white)");
    }

    marked.RegionPsnr = PsnrDecibels(RealsOf(w.X_hat()), w.X());
    marked.Picture = host;
    const bool gray = IsGray(host);
    for (int y = 0; y < kRegion; ++y) {
        std::uint8_t* row = marked.Picture.row(y);
        for (int x = 0; x < kRegion; ++x) {
            const std::uint8_t value = w.X_hat()[static_cast<std::size_t>(y) * kRegion + x];
            row[3 * x] = value;
            if (gray) row[3 * x + 1] = row[3 * x + 2] = value;
        }
    }
    return marked;
}

MarkKey KeyFromExperiment(const Experiment& experiment, int hostWidth, int hostHeight) {
    if (!experiment.HasRun(Step::GetX_hat)) throw StepRefused(Step::SaveX_hat);
    CheckHostSize(hostWidth, hostHeight);
    return BuildKey(experiment, hostWidth, hostHeight, nullptr);
}

DetectionScore ScoreRelations(const MarkKey& key, std::span<const std::uint8_t> observed) {
    const std::vector<std::uint8_t>& p = key.Extraction.P;
    if (observed.size() != static_cast<std::size_t>(kPlane) || p.size() != observed.size() ||
        key.Embedded.size() != observed.size() || key.Carried.size() != observed.size())
        throw ArgumentError("detection score: relation maps must hold 128 x 128 values");
    DetectionScore score;
    // Counted without branches (the relations fall either way at random, which a branch
    // predictor cannot follow); the counts are the same in any order.
    for (int i = 0; i < kPlane; ++i) {
        const std::uint8_t embedded = key.Embedded[i];
        // Relations the bytes do not carry as the embedding left them count nowhere.
        const int counted = key.Carried[i] == embedded ? 1 : 0;
        const int reversed = counted & (embedded != p[i] ? 1 : 0);
        const int untouched = counted & (embedded == p[i] ? 1 : 0);
        score.Reversed += reversed;
        score.ReversedSeen += reversed & (observed[i] == embedded ? 1 : 0);
        score.Untouched += untouched;
        score.UntouchedReversed += untouched & (observed[i] != p[i] ? 1 : 0);
    }
    if (score.Reversed == 0 || score.Untouched == 0)
        throw ArgumentError("detection score: the key marks no reversed or no untouched relation");
    const double seen = static_cast<double>(score.ReversedSeen) / score.Reversed;
    const double falseReversals = static_cast<double>(score.UntouchedReversed) / score.Untouched;
    score.Value = seen - falseReversals;
    return score;
}

DetectionScore ScoreExtraction(const MarkKey& key, const TWatermark& workspace) {
    return ScoreRelations(key, ObservedRelations(workspace));
}

SuspectReading ReadRegisteredMark(const GrayView& suspect, const GrayView& host, const MarkKey& key) {
    const GrayPlane suspectPlane = ToPlane(suspect);
    const GrayPlane hostPlane = ToPlane(host);
    SuspectReading read;
    read.Registered = RegisterAndUndo(suspectPlane, hostPlane);
    if (!read.Registered.Identity) {
        read.AsIsFit = RegionFit(suspectPlane, hostPlane);
        read.MovedFit = RegionFit(read.Registered.Picture, hostPlane);
        read.ReadAsIs = read.AsIsFit >= kPoorFit && read.AsIsFit > read.MovedFit;
    }
    read.Reading = ReadMark(read.ReadAsIs ? suspectPlane : read.Registered.Picture, key);
    return read;
}

MarkReading ReadMark(const GrayView& suspect, const MarkKey& key) {
    const std::vector<std::uint8_t> region = MarkedRegion(suspect);
    Experiment experiment(TWatermark::Planes::ResultsOnly);
    const std::vector<StepResult> results = experiment.ExtractWithKey(key.Extraction, region, RealsOf(region));
    const TWatermark& w = experiment.Workspace();
    MarkReading reading;
    reading.W_wave = w.W_wave();
    reading.Nc = results.back().nc;
    reading.Ber = WholeMarkBitErrorRate(w.Wr_wave(), key.Extraction);
    reading.Score = ScoreRelations(key, ObservedRelations(w));
    reading.RegionIdentical =
        suspect.width >= kRegion && suspect.height >= kRegion && Sha256(region) == key.RegionDigest;
    return reading;
}

RelationScorer::RelationScorer(const MarkKey& key) : key_(key), reduced_(kPlane), relations_(kPlane) {
    const std::vector<std::uint8_t>& p = key.Extraction.P;
    if (p.size() != static_cast<std::size_t>(kPlane) || key.Embedded.size() != p.size() || key.Carried.size() != p.size())
        throw ArgumentError("detection score: relation maps must hold 128 x 128 values");
    for (int i = 0; i < kPlane; ++i) {
        if (key.Carried[i] != key.Embedded[i]) continue;  // ScoreRelations counts these nowhere
        (key.Embedded[i] != p[i] ? reversed_ : untouched_).push_back(i);
    }
    if (reversed_.empty() || untouched_.empty())
        throw ArgumentError("detection score: the key marks no reversed or no untouched relation");
}

std::vector<double>& RelationScorer::Buffer() {
    reals_.resize(static_cast<std::size_t>(kRegion) * kRegion);
    return reals_;
}

DetectionScore RelationScorer::Score(std::span<const std::uint8_t> picture) {
    if (picture.size() != static_cast<std::size_t>(kRegion) * kRegion)
        throw ArgumentError("detection score: the picture must be 256 x 256");
    MidBandTransform(picture.data(), reduced_.data());
    return ScoreReduced();
}

DetectionScore RelationScorer::Score(std::span<const double> picture) {
    if (picture.size() != static_cast<std::size_t>(kRegion) * kRegion)
        throw ArgumentError("detection score: the picture must be 256 x 256");
    MidBandTransform(picture.data(), reduced_.data());
    return ScoreReduced();
}

DetectionScore RelationScorer::ScoreReduced() {
    TWatermark::Polarity(reduced_, relations_);
    const std::vector<std::uint8_t>& p = key_.Extraction.P;
    DetectionScore score;
    score.Reversed = static_cast<int>(reversed_.size());
    score.Untouched = static_cast<int>(untouched_.size());
    // ScoreRelations' counts, over the same positions: a reversed relation is seen when the
    // picture shows it as embedded, an untouched one counts when the picture turns it.
    for (const int i : reversed_) score.ReversedSeen += relations_[i] == key_.Embedded[i] ? 1 : 0;
    for (const int i : untouched_) score.UntouchedReversed += relations_[i] != p[i] ? 1 : 0;
    const double seen = static_cast<double>(score.ReversedSeen) / score.Reversed;
    const double falseReversals = static_cast<double>(score.UntouchedReversed) / score.Untouched;
    score.Value = seen - falseReversals;
    return score;
}

namespace {

// Whether a block order names every one of the 1024 blocks once.
bool IsBlockOrder(const std::vector<std::uint16_t>& order) {
    if (order.size() != static_cast<std::size_t>(TWatermark::kBlocks)) return false;
    std::vector<bool> seen(TWatermark::kBlocks, false);
    for (const std::uint16_t block : order) {
        if (block >= TWatermark::kBlocks || seen[block]) return false;
        seen[block] = true;
    }
    return true;
}

}  // namespace

bool MarkMeasurer::Follows(const MarkKey& key) {
    const ExtractionKey& e = key.Extraction;
    const auto plane = [](std::size_t size) { return size == static_cast<std::size_t>(kPlane); };
    if (!plane(e.P.size()) || !plane(e.W.size()) || !plane(e.RandPos.size()) || !plane(key.Embedded.size()) ||
        !plane(key.Carried.size()) || !IsBlockOrder(e.XBlockOrder) || !IsBlockOrder(e.WrBlockOrder))
        return false;
    for (const double position : e.RandPos)
        if (!(std::nearbyint(position) >= 0 && std::nearbyint(position) < kPlane)) return false;
    // The score needs a reversed and an untouched relation among those the bytes carry.
    bool reversed = false;
    bool untouched = false;
    for (int i = 0; i < kPlane; ++i) {
        if (key.Carried[i] != key.Embedded[i]) continue;
        (key.Embedded[i] != e.P[i] ? reversed : untouched) = true;
    }
    return reversed && untouched;
}

MarkMeasurer::MarkMeasurer(const MarkKey& key) : key_(key), scorer_(key) {
    if (!Follows(key)) throw ArgumentError("the key's block orders or scatter are not ones the measurer follows");
    const ExtractionKey& e = key.Extraction;
    // GetWr_wave's move: block XBlockOrder[i] of Wa_wave goes to block WrBlockOrder[i] of Wr_wave.
    wrPlace_.assign(kPlane, 0);
    for (int i = 0; i < TWatermark::kBlocks; ++i) {
        const int source = TWatermark::MarkBlockStart(e.XBlockOrder[i]);
        const int target = TWatermark::MarkBlockStart(e.WrBlockOrder[i]);
        for (int a = 0; a < 4; ++a)
            for (int b = 0; b < 4; ++b)
                wrPlace_[source + a * TWatermark::kMarkSize + b] = target + a * TWatermark::kMarkSize + b;
    }
    // Each pixel of Wa_wave, followed to its place in Wr_wave: the mark's pixel it stands for
    // there (ScatteredMark), and how many black pixels of W that NC compares read it.
    const std::vector<std::uint8_t> scattered = ScatteredMark(e);
    std::vector<int> readers(kPlane, 0);
    int k = 0;
    for (int j = 0; j < kPlane; ++j) {
        if (e.W[j] != 0) continue;
        const auto n = static_cast<std::size_t>(std::nearbyint(e.RandPos[k++]));
        if (j / TWatermark::kMarkSize >= 4 && j % TWatermark::kMarkSize >= 4) ++readers[n];
    }
    scatteredAt_.resize(kPlane);
    readersAt_.resize(kPlane);
    for (int i = 0; i < kPlane; ++i) {
        scatteredAt_[i] = scattered[wrPlace_[i]];
        readersAt_[i] = readers[wrPlace_[i]];
    }
    // NC's denominator reads the key alone: NormalizedCorrelation's sum, in its order.
    for (int r = 4; r < TWatermark::kMarkSize; ++r)
        for (int c = 4; c < TWatermark::kMarkSize; ++c) {
            const double ref = 255 - e.W[r * TWatermark::kMarkSize + c];
            ncDenominator_ = ncDenominator_ + ref * ref;
        }
}

MarkMeasures MarkMeasurer::Measure(std::span<const std::uint8_t> region) { return Finish(scorer_.Score(region)); }

MarkMeasures MarkMeasurer::Measure(std::span<const double> region) { return Finish(scorer_.Score(region)); }

// Wa_wave is black where P_wave equals P's complement: the relation P codes differs from the
// one observed (the scorer's relations, in P's coding, are P_wave's complement).
MarkMeasures MarkMeasurer::Finish(const DetectionScore& score) {
    const std::uint8_t* relations = scorer_.Relations().data();
    const std::uint8_t* p = key_.Extraction.P.data();
    int differing = 0;  // WholeMarkBitErrorRate's count
    int found = 0;      // black pixels of W that NC compares, read black
    for (int i = 0; i < kPlane; ++i) {
        const int black = p[i] != static_cast<std::uint8_t>(255 - relations[i]) ? 1 : 0;
        differing += black != scatteredAt_[i] ? 1 : 0;
        found += black * readersAt_[i];
    }
    MarkMeasures measures;
    measures.Score = score;
    measures.Ber = static_cast<double>(differing) / kPlane;
    // NormalizedCorrelation's numerator adds 255 * 255 for each black pixel of W read black
    // and zeros elsewhere: whole numbers far below 2^53, so the sum is exactly this product.
    if (ncDenominator_ != 0) measures.Nc = (65025.0 * found) / ncDenominator_;
    return measures;
}

std::vector<std::uint8_t> MarkMeasurer::ExtractedMark() const {
    const std::vector<std::uint8_t>& relations = scorer_.Relations();
    const std::vector<std::uint8_t>& p = key_.Extraction.P;
    std::vector<std::uint8_t> wr(kPlane);
    for (int i = 0; i < kPlane; ++i) wr[wrPlace_[i]] = p[i] == static_cast<std::uint8_t>(255 - relations[i]) ? 255 : 0;
    // GetW_wave: each black pixel of W reads Wr_wave at its scatter position, the rest are white.
    const ExtractionKey& e = key_.Extraction;
    std::vector<std::uint8_t> mark(kPlane, 255);
    int k = 0;
    for (int j = 0; j < kPlane; ++j)
        if (e.W[j] == 0) mark[j] = wr[static_cast<std::size_t>(std::nearbyint(e.RandPos[k++]))];
    return mark;
}

std::vector<std::uint8_t> ScatteredMark(const ExtractionKey& key) {
    if (key.W.size() != static_cast<std::size_t>(kPlane) || key.RandPos.size() != key.W.size())
        throw ArgumentError("the bit error rate needs 128 x 128 planes");
    // Wr: white everywhere but at the scatter positions of W's black pixels.
    std::vector<std::uint8_t> black(kPlane, 0);
    int k = 0;
    for (int j = 0; j < kPlane; ++j)
        if (key.W[j] == 0) black[static_cast<std::size_t>(std::nearbyint(key.RandPos[k++]))] = 1;
    return black;
}

double WholeMarkBitErrorRate(std::span<const std::uint8_t> wrWave, std::span<const std::uint8_t> scattered) {
    if (wrWave.size() != static_cast<std::size_t>(kPlane) || scattered.size() != wrWave.size())
        throw ArgumentError("the bit error rate needs 128 x 128 planes");
    int differing = 0;
    for (int i = 0; i < kPlane; ++i) differing += (wrWave[i] < 128 ? 1 : 0) != scattered[i] ? 1 : 0;
    return static_cast<double>(differing) / kPlane;
}

double WholeMarkBitErrorRate(std::span<const std::uint8_t> wrWave, const ExtractionKey& key) {
    if (wrWave.size() != static_cast<std::size_t>(kPlane)) throw ArgumentError("the bit error rate needs 128 x 128 planes");
    return WholeMarkBitErrorRate(wrWave, ScatteredMark(key));
}

}  // namespace quillfen
