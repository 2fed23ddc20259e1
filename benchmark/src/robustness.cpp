// The sweep: rows in order through a oneTBB pipeline (a serial source of row numbers, rows
// computed in parallel, a serial sink delivering them in order), so that at most a few rows
// are in flight and each is handed over as soon as every earlier one is.
#include "quillfen/benchmark/robustness.h"

#include <atomic>
#include <bit>
#include <charconv>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <set>
#include <span>
#include <tuple>
#include <utility>

#include <tbb/collaborative_call_once.h>
#include <tbb/enumerable_thread_specific.h>
#include <tbb/global_control.h>
#include <tbb/info.h>
#include <tbb/parallel_pipeline.h>
#include <tbb/task_arena.h>

#include "quillfen/image/errors.h"
#include "quillfen/methods/extraction.h"
#include "quillfen/image/image_view.h"
#include "quillfen/methods/method_command.h"
#include "quillfen/watermark/marking.h"
#include "quillfen/watermark/metrics.h"
#include "quillfen/watermark/registration.h"

namespace quillfen {

namespace {

constexpr int kHost = TWatermark::kHostSize;
constexpr std::uint64_t kNoUnit = std::numeric_limits<std::uint64_t>::max();

// A host's picture whole and cut to the size the workspace uses, their digests, or why it
// could not be had.
struct LoadedHost {
    Bitmap Whole;
    Bitmap Region;
    std::string WholeDigest;
    std::string RegionDigest;
    std::string Error;
};

// The first 16 hex digits of a SHA-256.
std::string ShortDigest(std::span<const std::uint8_t> bytes) { return HexDigest(Sha256(bytes)).substr(0, 16); }

std::string ErrorText(const std::exception_ptr& failure) {
    try {
        std::rethrow_exception(failure);
    } catch (const std::bad_alloc&) {
        return "out of memory";
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
        return "unknown failure";
    }
}

// The hosts the threads are working on, loaded once each. Rows run nearly in order, so
// hosts far behind the newest are dropped; one needed again is simply loaded again.
class HostCache {
public:
    HostCache(const SweepPlan& plan, const std::vector<SweepMethod>& methods) : plan_(plan) {
        // Only the forms some method of the run reads are kept: a photograph's region alone
        // for a run of the polarity method, and no copy of it for the others.
        for (const SweepMethod& m : methods) (m.Method->Capabilities().RegionSide > 0 ? needsRegion_ : needsWhole_) = true;
    }

    std::shared_ptr<const LoadedHost> Get(std::size_t host) {
        const std::lock_guard<std::mutex> lock(mutex_);
        if (auto found = cache_.find(host); found != cache_.end()) return found->second;
        auto loaded = std::make_shared<LoadedHost>();
        try {
            Bitmap picture = plan_.Hosts[host].Load();
            // The workspace cuts or extends to 256 x 256 with white, as Bitmap::resize does.
            if (needsRegion_) {
                loaded->Region = picture;
                loaded->Region.resize(kHost, kHost);
                loaded->RegionDigest = HostDigest(loaded->Region);
            }
            if (needsWhole_) {
                loaded->WholeDigest = WholeHostDigest(picture);
                loaded->Whole = std::move(picture);
            }
        } catch (...) {
            loaded->Error = ErrorText(std::current_exception());
        }
        while (!cache_.empty() && cache_.begin()->first + 2 < host) cache_.erase(cache_.begin());
        cache_[host] = loaded;
        return loaded;
    }

private:
    const SweepPlan& plan_;
    bool needsRegion_ = false;
    bool needsWhole_ = false;
    std::mutex mutex_;
    std::map<std::size_t, std::shared_ptr<const LoadedHost>> cache_;
};

// The unmarked side of rows: the host through a cell. It depends on the host, on the form the
// method reads (the gray region or the whole picture) and on the cell, and on the seed only
// for a cell that draws from its random stream: every method of a run, and every seed for a
// cell that draws nothing, reads the same one. Sides are kept only where another row will
// read them, while their host is being worked on and within a budget of memory; a side not
// kept is computed again by the row that needs it (the same bytes: a pure function).
class NullSides {
public:
    struct Side {
        // The region's side; its reals only where some differ from its bytes (most cells leave
        // what a file holds: the reals are then made again from the bytes, bit for bit).
        AttackedPicture Region;
        Bitmap Whole;  // the whole picture's side
    };

    NullSides(const SweepPlan& plan, const std::vector<SweepMethod>& methods) : plan_(plan) {
        for (const SweepMethod& m : methods) ++(m.Method->Capabilities().RegionSide > 0 ? regionMethods_ : wholeMethods_);
        for (const AttackCell& cell : plan.Cells) {
            bool seeded = false;
            for (const AttackStep& step : cell.Steps) seeded = seeded || InfoOf(step.Id).Seeded;
            seeded_.push_back(seeded);
        }
    }

    // Row r's side, when a row before kept it.
    std::shared_ptr<const Side> Find(std::uint64_t r, bool whole) {
        if (!Shared(r, whole)) return nullptr;
        const std::lock_guard<std::mutex> lock(mutex_);
        const auto found = sides_.find(KeyOf(r, whole));
        return found == sides_.end() ? nullptr : found->second.first;
    }

    // Keeps row r's side for the rows after it that read it, if any and the budget allows.
    void Keep(std::uint64_t r, bool whole, const AttackedPicture& region, const Bitmap& picture) {
        if (!Shared(r, whole)) return;
        bool realsAreBytes = region.Reals.size() == region.Bytes.size();
        for (std::size_t i = 0; realsAreBytes && i < region.Reals.size(); ++i)
            realsAreBytes = std::bit_cast<std::uint64_t>(region.Reals[i]) ==
                            std::bit_cast<std::uint64_t>(static_cast<double>(region.Bytes[i]));
        const std::size_t bytes =
            whole ? picture.bytes().size()
                  : region.Bytes.size() + (realsAreBytes ? 0 : region.Reals.size() * sizeof(double));
        const Key key = KeyOf(r, whole);
        const std::lock_guard<std::mutex> lock(mutex_);
        // Sides of hosts before the one before are read by no row still to start.
        while (!sides_.empty() && std::get<0>(sides_.begin()->first) + 1 < std::get<0>(key)) {
            used_ -= sides_.begin()->second.second;
            sides_.erase(sides_.begin());
        }
        if (used_ + bytes > kBudget || sides_.count(key) != 0) return;
        auto side = std::make_shared<Side>();
        if (whole) {
            side->Whole = picture;
        } else {
            side->Region.Bytes = region.Bytes;
            if (!realsAreBytes) side->Region.Reals = region.Reals;
        }
        sides_.emplace(key, std::make_pair(std::move(side), bytes));
        used_ += bytes;
    }

private:
    // The memory the kept sides may take: every cell's side of a 256 x 256 region (64 KB, or
    // 0.6 MB with its reals), or a few of a photograph's.
    static constexpr std::size_t kBudget = std::size_t{256} << 20;
    // Host, whole picture, seed (0 for a cell that draws nothing), cell.
    using Key = std::tuple<std::size_t, bool, std::uint32_t, std::size_t>;

    // Another row of the run reads row r's side: another method of its form, or another seed
    // where the cell draws nothing.
    bool Shared(std::uint64_t r, bool whole) const {
        return (whole ? wholeMethods_ : regionMethods_) > 1 ||
               (plan_.Seeds.size() > 1 && !seeded_[r % plan_.Cells.size()]);
    }

    Key KeyOf(std::uint64_t r, bool whole) const {
        const std::size_t cell = r % plan_.Cells.size();
        const std::size_t host = r / (plan_.Seeds.size() * plan_.MethodCount() * plan_.Cells.size());
        return {host, whole, seeded_[cell] ? plan_.SeedOf(r) : 0u, cell};
    }

    const SweepPlan& plan_;
    int regionMethods_ = 0;
    int wholeMethods_ = 0;
    std::vector<bool> seeded_;
    std::mutex mutex_;
    std::map<Key, std::pair<std::shared_ptr<const Side>, std::size_t>> sides_;
    std::size_t used_ = 0;
};

// What a (host, seed, method) gives every row of it: the method's embedding of the host,
// made once and read by every thread that computes one of its rows.
struct Embedding {
    std::string HostDigest;
    std::string Error;
    // The method at the strength it marks with, and its key.
    std::shared_ptr<const WatermarkMethod> Used;
    MethodKey Key;
    // The host and the marked picture as the method reads them: gray bytes, and the reals the
    // attacks start from (the marked picture's values before rounding, for a method that keeps
    // them; else its bytes).
    std::vector<std::uint8_t> HostBytes;
    std::vector<double> HostReals;
    std::vector<std::uint8_t> MarkedBytes;
    std::vector<double> MarkedReals;
    double PsnrEmbed = 0;
    std::optional<double> PsnrEmbedReals;
    double SsimEmbed = 0;
    SsimReference MarkedSsim;  // the marked picture's half of every row's SSIM
    // A method that marks whole pictures: the host and the marked picture as files hold them
    // (the gray fields above are then unused), the embedding's PSNR of the luminance.
    bool Whole = false;
    std::shared_ptr<const LoadedHost> Host;
    Bitmap Marked;
    std::optional<double> PsnrY;
};

// The embedding of one (host, seed, method), made by the first thread that needs it while the
// others that need it wait (or help with its work: collaborative_call_once cannot deadlock
// where the embedding itself runs parallel work). The rows of a unit follow each other, so a
// slot is made as its first row is handed out and each row holds it: it is freed when the
// last row of its unit is done, and the slots alive are few (the rows in flight hold at most
// their own unit's and the one after it).
struct UnitSlot {
    std::uint64_t Unit = kNoUnit;
    std::atomic<bool> Claimed{false};  // a thread has taken this embedding on
    tbb::collaborative_once_flag Once;
    Embedding Value;
};

// What one thread keeps from row to row: the pictures of the row's cell, reused.
struct Worker {
    AttackedPicture Picture;   // the marked picture through the row's cell
    AttackedPicture Null;      // the key's own host, unmarked, through the same cell
    AttackedBitmaps Attacked;  // a whole picture: the marked picture and the host through the cell
};

// The size of the picture an embedding's method marked.
int MarkedWidth(const Embedding& e) { return e.Whole ? e.Marked.width() : kHost; }
int MarkedHeight(const Embedding& e) { return e.Whole ? e.Marked.height() : kHost; }

// The payload the method of a sweep embeds with seed `seed`.
MethodPayload PayloadOf(const SweepPlan& plan, const WatermarkMethod& method, std::uint32_t seed) {
    MethodPayload payload;
    if (method.Capabilities().UsesMark) payload.Mark = plan.Mark;
    payload.Bits = PayloadFromSeed(seed, method.PayloadBits());
    return payload;
}

// A method that marks whole pictures marks the whole host, in colour when it is in colour, at
// its own or the plan's target PSNR when it has one (the PSNR embed reports for it: FindStrength's).
void EmbedWhole(const SweepPlan& plan, const SweepMethod& chosen, std::shared_ptr<const LoadedHost> host,
                std::uint32_t seed, Embedding& e) {
    const WatermarkMethod& method = *chosen.Method;
    e.Whole = true;
    e.Host = std::move(host);
    const Bitmap& picture = e.Host->Whole;
    const ImageView view = ViewOf(picture);
    const MethodPayload payload = PayloadOf(plan, method, seed);
    e.Used = chosen.Method;
    const std::optional<double> target = chosen.TargetPsnr ? chosen.TargetPsnr : plan.TargetPsnr;
    MethodMarked marked;
    if (target && method.StrengthParameter()) {
        // The search's last pass is the marking itself: a photograph is not marked once more.
        MarkedAtPsnr found = MarkAtPsnr(method, view, payload, seed, *target);
        e.Used = std::move(found.Method);
        marked = std::move(found.Marked);
    } else {
        marked = e.Used->Embed(view, payload, seed);
    }
    if (marked.Picture.width() != picture.width() || marked.Picture.height() != picture.height())
        throw Error(e.Used->Name() + " marked a picture of " + std::to_string(marked.Picture.width()) + " x " +
                    std::to_string(marked.Picture.height()) + " for a host of " + std::to_string(picture.width()) +
                    " x " + std::to_string(picture.height()));
    e.Key = std::move(marked.Key);
    e.Marked = std::move(marked.Picture);
    e.PsnrEmbedReals.reset();
    e.PsnrEmbed = ViewerPsnr(e.Marked, picture);
    const GrayPlane markedLuma = LuminanceOf(e.Marked);
    const GrayPlane hostLuma = LuminanceOf(picture);
    e.PsnrY = BytePsnr(markedLuma.pixels(), hostLuma.pixels());
    e.MarkedSsim = SsimReference(markedLuma.pixels(), picture.width(), picture.height());
    e.SsimEmbed = e.MarkedSsim.Against(hostLuma.pixels());
}

// The method of a unit marks its host: the host's gray region, the plan's mark or the payload
// the seed draws, at the plan's target PSNR when it has one and the method a strength to set.
void EmbedRegion(const SweepPlan& plan, const SweepMethod& chosen, const Bitmap& host, std::uint32_t seed,
                 Embedding& e) {
    const WatermarkMethod& method = *chosen.Method;
    e.HostBytes = GrayOf(host).pixels();
    const ImageView view(GrayView(e.HostBytes.data(), kHost, kHost, kHost));
    const MethodPayload payload = PayloadOf(plan, method, seed);
    e.Used = chosen.Method;
    const std::optional<double> target = chosen.TargetPsnr ? chosen.TargetPsnr : plan.TargetPsnr;
    if (target && method.StrengthParameter()) e.Used = FindStrength(method, view, payload, seed, *target);
    MethodMarked marked = e.Used->Embed(view, payload, seed);
    e.Key = std::move(marked.Key);
    e.MarkedBytes = GrayOf(marked.Picture).pixels();
    e.HostReals.assign(e.HostBytes.begin(), e.HostBytes.end());
    if (marked.Reals.empty()) {
        e.MarkedReals.assign(e.MarkedBytes.begin(), e.MarkedBytes.end());
        e.PsnrEmbedReals.reset();
    } else {
        e.MarkedReals = std::move(marked.Reals);
        // What the method computed before the rounding to bytes, for the record.
        e.PsnrEmbedReals = PsnrDecibels(e.MarkedReals, e.HostBytes);
    }
    // What the marked picture's file holds.
    e.PsnrEmbed = PsnrDecibels(std::span<const std::uint8_t>(e.MarkedBytes), e.HostBytes);
    e.MarkedSsim = SsimReference(e.MarkedBytes, kHost, kHost);
    e.SsimEmbed = e.MarkedSsim.Against(e.HostBytes);
}

void Embed(const SweepPlan& plan, const std::vector<SweepMethod>& methods, HostCache& hosts, std::uint64_t unit,
           Embedding& e) {
    const std::uint64_t M = methods.size();
    const std::size_t host = unit / (plan.Seeds.size() * M);
    const std::uint32_t seed = plan.Seeds[(unit / M) % plan.Seeds.size()];
    const std::shared_ptr<const LoadedHost> loaded = hosts.Get(host);
    const SweepMethod& method = methods[unit % M];
    const bool whole = method.Method->Capabilities().RegionSide == 0;
    e.HostDigest = whole ? loaded->WholeDigest : loaded->RegionDigest;
    if (!loaded->Error.empty()) {
        e.Error = loaded->Error;
        return;
    }
    try {
        if (whole) EmbedWhole(plan, method, loaded, seed, e);
        else EmbedRegion(plan, method, loaded->Region, seed, e);
    } catch (...) {
        e.Error = ErrorText(std::current_exception());
    }
}

// The embedding of a slot's unit, made on first use. A row whose unit another thread is still
// embedding would only wait: it embeds the next unit first, when no thread has taken it on, so
// that two threads embed two units side by side instead of one after the other.
const Embedding& EmbeddingOf(const SweepPlan& plan, const std::vector<SweepMethod>& methods, HostCache& hosts,
                             UnitSlot& slot, UnitSlot* following) {
    const auto embed = [&](UnitSlot& unit) {
        tbb::collaborative_call_once(unit.Once, [&] { Embed(plan, methods, hosts, unit.Unit, unit.Value); });
    };
    // The claim is taken before the embedding begins, so that two threads reaching the same
    // unit at once cannot both decide it is free and end up one waiting on the other.
    if (slot.Claimed.exchange(true) && following != nullptr && !following->Claimed.exchange(true))
        embed(*following);
    embed(slot);
    return slot.Value;
}

// The methods a plan runs: those it names, or the default method (the polarity method) alone.
std::vector<SweepMethod> MethodsOf(const SweepPlan& plan) {
    if (!plan.Methods.empty()) return plan.Methods;
    const MethodSpec fallback = DefaultMethod();
    return {SweepMethod{fallback.Name(), MakeMethod(fallback), plan.Thresholds, std::nullopt}};
}

// The identity of the rows of method m of a plan that names its methods: the method as the
// run names it, the mark's digest only for a method that embeds the mark, and the digest of
// the thresholds that judge the method.
RowIdentity MethodIdentity(const SweepPlan& plan, const RowIdentity& identity, std::size_t m);

// The thresholds that judge method m's rows: the mark's calibration judges a method that embeds
// the mark (and the rows of a plan without methods); the others, their own.
const std::optional<Calibration>& ThresholdsOf(const SweepPlan& plan, std::size_t m) {
    if (plan.Methods.empty() || plan.Methods[m].Method->Capabilities().UsesMark) return plan.Thresholds;
    return plan.Methods[m].Thresholds;
}

RowIdentity MethodIdentity(const SweepPlan& plan, const RowIdentity& identity, std::size_t m) {
    RowIdentity id = identity;
    const SweepMethod& method = plan.Methods[m];
    id.Method = method.Label;
    if (!method.Method->Capabilities().UsesMark) id.MarkDigest.clear();
    const std::optional<Calibration>& thresholds = ThresholdsOf(plan, m);
    id.CalibrationDigest = thresholds ? CalibrationDigest(*thresholds) : std::string();
    if (const MethodCommandSource* source = MethodCommandSourceOf(*method.Method)) id.MethodDigest = source->Digest;
    return id;
}

// The verdicts of a reading under a plan's thresholds, when it has some (none: a verdict of
// nothing).
Verdict Judged(const std::optional<Calibration>& thresholds, const MethodReading& reading, std::optional<bool>& at1e3,
               std::optional<bool>& at1e6) {
    if (!thresholds) return Verdict{};
    const Verdict verdict = Judge(reading.Score, reading.ChanceVariance, *thresholds);
    at1e3 = verdict.Detected1e3;
    at1e6 = verdict.Present;
    return verdict;
}

// A reading's z, kept in the row where the thresholds judge it (rows are judged again from it).
std::optional<double> ZOf(const std::optional<Calibration>& thresholds, const MethodReading& reading) {
    if (!thresholds || thresholds->Units != Statistic::Spread) return std::nullopt;
    return SpreadOf(reading.Score, reading.ChanceVariance);
}

ImageView GrayPicture(const std::vector<std::uint8_t>& bytes, std::span<const double> reals = {}) {
    return ImageView(GrayView(bytes.data(), kHost, kHost, kHost), reals);
}

// A row's readings of the null side and of the attacked marked picture, judged: the score, its
// z where the thresholds are in units of the chance spread, the verdicts, the payload read (a
// mark read inverted carries its payload flipped: its bits are counted as it carries them) and
// the method's fields.
void Read(const WatermarkMethod& method, const MethodKey& key, const std::optional<Calibration>& thresholds,
          const ImageView& null, const ImageView& attacked, RobustnessRow& row) {
    const MethodReading nullReading = method.Detect(null, key, ReadDepth::Score);
    row.ScoreNull = nullReading.Score;
    row.ZNull = ZOf(thresholds, nullReading);
    // What the row records: a method may leave out the mark picture read and the rest.
    MethodReading reading = method.Detect(attacked, key, ReadDepth::Measures);
    if (method.Capabilities().UsesMark && !reading.Nc)
        throw MathError("NC has no value: the watermark has no black pixel where NC compares");
    row.Score = reading.Score;
    row.Z = ZOf(thresholds, reading);
    const Verdict verdict = Judged(thresholds, reading, row.Detected1e3, row.Detected1e6);
    if (thresholds && verdict.Units == Statistic::Spread) row.Inverted = verdict.Inverted;
    row.PayloadMatch = ReadPayload(reading, verdict, key.Payload);
    if (!reading.Message.empty()) row.MessageOk = row.PayloadMatch;
    row.Nc = reading.Nc;
    row.BitAccuracy = reading.BitAccuracy;
    row.Ber = reading.Ber.value_or(0.0);
    row.Found = reading.Found;
    if (row.Methods) {
        row.MethodParams = method.Parameters();
        row.Strength = method.Describe().WrittenStrength();
        row.PayloadBits = method.PayloadBits();
    }
}

// The reading of the attacked picture registered back onto the marked one.
RegisteredReading ReadRegistered(const WatermarkMethod& method, const MethodKey& key,
                                 const std::optional<Calibration>& thresholds, const Registration& registered) {
    const GrayPlane& plane = registered.Picture;
    const MethodReading moved =
        method.Detect(ImageView(GrayView(plane.data(), plane.width(), plane.height(), plane.width())), key,
                      ReadDepth::Measures);
    RegisteredReading again;
    again.Fit = registered.Fit;
    again.Nc = moved.Nc;
    again.Ber = moved.Ber.value_or(0.0);
    again.Score = moved.Score;
    again.Z = ZOf(thresholds, moved);
    Judged(thresholds, moved, again.Detected1e3, again.Detected1e6);
    return again;
}

// The measures of a row whose method marked the whole picture: the marked picture and the host
// through the cell as files would hold them, read in colour when they are in colour.
void ComputeWhole(const SweepPlan& plan, std::uint64_t r, const std::optional<Calibration>& thresholds,
                  const Embedding& e, NullSides& nulls, Worker& worker, RobustnessRow& row) {
    const WatermarkMethod& method = *e.Used;
    const AttackCell& cell = plan.Cells[r % plan.Cells.size()];
    const std::shared_ptr<const NullSides::Side> kept = nulls.Find(r, true);
    if (kept) {
        worker.Attacked.Marked = ApplyAttackCell(cell, e.Marked, row.Seed, e.Host->Whole);
    } else {
        worker.Attacked = ApplyAttackCell(cell, e.Marked, e.Host->Whole, row.Seed);
        nulls.Keep(r, true, {}, worker.Attacked.Host);
    }
    const Bitmap& null = kept ? kept->Whole : worker.Attacked.Host;
    const Bitmap& attacked = worker.Attacked.Marked;
    if (attacked.width() != e.Marked.width() || attacked.height() != e.Marked.height())
        throw Error("the cell gave a picture of " + std::to_string(attacked.width()) + " x " +
                    std::to_string(attacked.height()) + " for one of " + std::to_string(e.Marked.width()) + " x " +
                    std::to_string(e.Marked.height()));
    // The null side is scored first, as on the region.
    Read(method, e.Key, thresholds, ViewOf(null), ViewOf(attacked), row);
    row.PsnrEmbed = e.PsnrEmbed;
    row.PsnrY = e.PsnrY;
    row.SsimEmbed = e.SsimEmbed;
    row.Psnr = ViewerPsnr(attacked, e.Marked);
    const GrayPlane attackedLuma = LuminanceOf(attacked);
    row.Ssim = e.MarkedSsim.Against(attackedLuma.pixels());
    if (plan.Register && IsGeometricCell(cell))
        row.Registered = ReadRegistered(method, e.Key, thresholds, RegisterAndUndo(attackedLuma, LuminanceOf(e.Marked)));
}

RobustnessRow Compute(const SweepPlan& plan, const std::vector<SweepMethod>& methods, const RowIdentity& identity,
                      HostCache& hosts, NullSides& nulls, std::uint64_t r, UnitSlot& slot, UnitSlot* following,
                      Worker& worker) {
    RobustnessRow row;
    row.Host = plan.HostOf(r);
    row.Seed = plan.SeedOf(r);
    row.Attack = plan.AttackOf(r);
    row.Registering = plan.Register;
    const std::size_t m = plan.MethodIndexOf(r);
    row.Methods = !plan.Methods.empty();
    const Embedding& e = EmbeddingOf(plan, methods, hosts, slot, following);
    row.Identity = row.Methods ? MethodIdentity(plan, identity, m) : identity;
    row.Identity.HostDigest = e.HostDigest;
    if (!e.Error.empty()) {
        row.Error = e.Error;
        return row;
    }
    const std::optional<Calibration>& thresholds = ThresholdsOf(plan, m);
    try {
        const AttackCell& cell = plan.Cells[r % plan.Cells.size()];
        const WatermarkMethod& method = *e.Used;
        row.Width = MarkedWidth(e);
        row.Height = MarkedHeight(e);
        row.Region = RegionName(*methods[m].Method);
        if (e.Whole) {
            ComputeWhole(plan, r, thresholds, e, nulls, worker, row);
            return row;
        }
        // The null side (the key's own host, unmarked) and the marked picture through the cell
        // together, unless a row before kept the null side; the null side is scored first.
        const std::shared_ptr<const NullSides::Side> kept = nulls.Find(r, false);
        const AttackInput marked{e.HostBytes, e.MarkedBytes, e.MarkedReals};
        if (kept) {
            ApplyAttackCell(cell, marked, row.Seed, worker.Picture);
        } else {
            ApplyAttackCell(cell, {e.HostBytes, e.HostBytes, e.HostReals}, marked, row.Seed, worker.Null, worker.Picture);
            nulls.Keep(r, false, worker.Null, {});
        }
        std::span<const double> nullReals = worker.Null.Reals;
        if (kept && kept->Region.Reals.empty()) {
            worker.Null.Reals.assign(kept->Region.Bytes.begin(), kept->Region.Bytes.end());
            nullReals = worker.Null.Reals;
        } else if (kept) {
            nullReals = kept->Region.Reals;
        }
        Read(method, e.Key, thresholds, GrayPicture(kept ? kept->Region.Bytes : worker.Null.Bytes, nullReals),
             GrayPicture(worker.Picture.Bytes, worker.Picture.Reals), row);
        row.PsnrEmbed = e.PsnrEmbed;
        row.PsnrEmbedReals = e.PsnrEmbedReals;
        // The region is gray: its luminance is its gray.
        row.PsnrY = e.PsnrEmbed;
        row.SsimEmbed = e.SsimEmbed;
        // The attacked picture as a file would hold it: its bytes against the marked picture's, like
        // SSIM, so that an unchanged picture scores +infinity.
        row.Psnr = PsnrDecibels(std::span<const std::uint8_t>(worker.Picture.Bytes), e.MarkedBytes);
        row.Ssim = e.MarkedSsim.Against(worker.Picture.Bytes);
        if (plan.Register && IsGeometricCell(cell))
            row.Registered = ReadRegistered(method, e.Key, thresholds,
                                            RegisterAndUndo(GrayPlane(kHost, kHost, worker.Picture.Bytes),
                                                            GrayPlane(kHost, kHost, e.MarkedBytes)));
    } catch (...) {
        RobustnessRow failed;
        failed.Host = row.Host;
        failed.Seed = row.Seed;
        failed.Attack = row.Attack;
        failed.Registering = row.Registering;
        failed.Methods = row.Methods;
        failed.Identity = row.Identity;
        failed.Error = ErrorText(std::current_exception());
        return failed;
    }
    return row;
}

// A slot for the unit of row r.
std::shared_ptr<UnitSlot> SlotOf(const SweepPlan& plan, std::uint64_t r) {
    auto slot = std::make_shared<UnitSlot>();
    slot->Unit = r / plan.Cells.size();
    return slot;
}

// A row handed out: its number, its unit's slot and the next unit's (none past the rows run).
struct StartedRow {
    std::uint64_t Row = 0;
    std::shared_ptr<UnitSlot> Slot;
    std::shared_ptr<UnitSlot> Following;
};

}  // namespace

std::string MethodName() { return "dct-polarity:divisor=" + std::to_string(TWatermark::kStrengthDivisor); }

std::string HostDigest(const Bitmap& host) { return ShortDigest(MarkedRegion(GrayOf(host))); }

std::string WholeHostDigest(const Bitmap& host) {
    bool gray = true;
    const std::vector<std::uint8_t>& bytes = host.bytes();
    for (std::size_t i = 0; i + 2 < bytes.size() && gray; i += 3) gray = bytes[i] == bytes[i + 1] && bytes[i] == bytes[i + 2];
    if (gray && host.width() == kHost && host.height() == kHost) return HostDigest(host);
    std::vector<std::uint8_t> text;
    const std::string head = std::to_string(host.width()) + "x" + std::to_string(host.height()) + (gray ? " gray\n" : " bgr\n");
    text.assign(head.begin(), head.end());
    if (gray) {
        const GrayPlane plane = GrayOf(host);
        text.insert(text.end(), plane.pixels().begin(), plane.pixels().end());
    } else {
        text.insert(text.end(), bytes.begin(), bytes.end());
    }
    return ShortDigest(text);
}

std::string RegionName(const WatermarkMethod& method) {
    const int side = method.Capabilities().RegionSide;
    return side == 0 ? std::string("whole") : std::to_string(side) + "x" + std::to_string(side);
}

std::string WatermarkDigest(const Bitmap& mark) { return ShortDigest(BinarisedMark(mark)); }

SweepMethod SweepMethodOf(std::shared_ptr<const WatermarkMethod> method, const std::string& source) {
    SweepMethod sweep;
    sweep.Label = method->Name();
    if (const auto thresholds = method->Thresholds()) {
        Calibration given;
        given.Units = method->Describe().Info->ThresholdUnits;
        given.ThresholdEmpirical = thresholds->first;
        given.ThresholdModelled = thresholds->second;
        given.Method = method->Name();
        given.Source = source;
        sweep.Thresholds = given;
    }
    sweep.Method = std::move(method);
    return sweep;
}

int AvailableThreads() { return tbb::info::default_concurrency(); }

bool EndPooledThreads() {
    tbb::task_scheduler_handle pool{tbb::attach{}};
    return tbb::finalize(pool, std::nothrow);
}

RowIdentity PlanIdentity(const SweepPlan& plan) {
    RowIdentity identity;
    identity.Method = MethodName();
    identity.MarkDigest = WatermarkDigest(plan.Mark);
    if (plan.Thresholds) identity.CalibrationDigest = CalibrationDigest(*plan.Thresholds);
    return identity;
}

RowIdentity PlanIdentity(const SweepPlan& plan, std::size_t method) {
    return plan.Methods.empty() ? PlanIdentity(plan) : MethodIdentity(plan, PlanIdentity(plan), method);
}

const std::optional<Calibration>& PlanThresholds(const SweepPlan& plan, std::size_t method) {
    return ThresholdsOf(plan, method);
}

std::vector<std::uint32_t> ParseSeedList(std::string_view text) {
    std::vector<std::uint32_t> seeds;
    std::set<std::uint32_t> seen;
    auto number = [&](std::string_view item, std::string_view word) {
        std::uint32_t value = 0;
        const auto [end, ec] = std::from_chars(word.data(), word.data() + word.size(), value);
        if (word.empty() || word.find_first_not_of("0123456789") != std::string_view::npos || ec != std::errc() ||
            end != word.data() + word.size())
            throw ArgumentError("'" + std::string(item) +
                                "' is not a seed or a range of seeds (whole numbers 0..4294967295, as 1..20)");
        return value;
    };
    std::size_t start = 0;
    while (true) {
        const std::size_t comma = text.find(',', start);
        const std::string_view item = text.substr(start, comma == std::string_view::npos ? text.npos : comma - start);
        const std::size_t dots = item.find("..");
        const std::uint32_t first = number(item, dots == std::string_view::npos ? item : item.substr(0, dots));
        const std::uint32_t last = dots == std::string_view::npos ? first : number(item, item.substr(dots + 2));
        if (last < first) throw ArgumentError("the range '" + std::string(item) + "' goes down");
        if (static_cast<std::uint64_t>(last) - first + seeds.size() >= kMaxSeeds)
            throw ArgumentError("more than " + std::to_string(kMaxSeeds) + " seeds");
        for (std::uint64_t s = first; s <= last; ++s) {
            if (!seen.insert(static_cast<std::uint32_t>(s)).second)
                throw ArgumentError("seed " + std::to_string(s) + " is listed twice");
            seeds.push_back(static_cast<std::uint32_t>(s));
        }
        if (comma == std::string_view::npos) break;
        start = comma + 1;
    }
    return seeds;
}

bool IsGeometricCell(const AttackCell& cell) {
    for (const AttackStep& step : cell.Steps)
        switch (step.Id) {
        case AttackId::Scale:
        case AttackId::Rotate:
        case AttackId::Shift:
        case AttackId::RemoveRows:
        case AttackId::RemoveCols:
        case AttackId::Crop: return true;
        default: break;
        }
    return false;
}

RowRange ShardRows(std::uint64_t rowCount, const Shard& shard) {
    // floor(k N / n) = k floor(N / n) + floor(k (N mod n) / n), exact and without overflow for
    // up to 2^32 shards.
    const std::uint64_t whole = rowCount / shard.Count;
    const std::uint64_t rest = rowCount % shard.Count;
    auto bound = [&](std::uint64_t k) { return k * whole + k * rest / shard.Count; };
    return {bound(shard.Index - 1), bound(shard.Index)};
}

void CheckSweepPlan(const SweepPlan& plan) {
    if (plan.Hosts.empty()) throw ArgumentError("no host picture");
    if (plan.Seeds.empty()) throw ArgumentError("no seed");
    if (plan.Cells.empty()) throw ArgumentError("no attack");
    std::set<std::string> names;
    for (const SweepHost& h : plan.Hosts)
        if (!names.insert(h.Name).second)
            throw ArgumentError("two hosts are named '" + h.Name + "' (rows name a host by its file name)");
    std::set<std::uint32_t> seeds;
    for (const std::uint32_t s : plan.Seeds)
        if (!seeds.insert(s).second) throw ArgumentError("seed " + std::to_string(s) + " is listed twice");
    std::set<std::string> cells;
    for (const AttackCell& c : plan.Cells)
        if (!cells.insert(c.Name).second) throw ArgumentError("attack '" + c.Name + "' is listed twice");
    std::set<std::string> labels;
    bool usesMark = plan.Methods.empty();
    for (const SweepMethod& m : plan.Methods) {
        if (!m.Method) throw ArgumentError("method '" + m.Label + "' has no method to run");
        if (!labels.insert(m.Label).second) throw ArgumentError("method '" + m.Label + "' is listed twice");
        usesMark = usesMark || m.Method->Capabilities().UsesMark;
    }
    if (plan.TargetPsnr) CheckTargetPsnr(*plan.TargetPsnr);
    for (const SweepMethod& method : plan.Methods)
        if (method.TargetPsnr) CheckTargetPsnr(*method.TargetPsnr);
    if (usesMark && MarkComparedBlackPixels(plan.Mark) == 0)
        throw ArgumentError("the watermark has no black pixel (below 128) in rows and columns 4..127 of its "
                            "128 x 128 part, where NC compares");
    if (plan.Thresholds && !plan.Thresholds->MarkDigestText.empty() &&
        plan.Thresholds->MarkDigestText != MarkDigest(plan.Mark))
        throw ArgumentError("the calibration was made for another watermark ('" + plan.Thresholds->MarkFile + "', " +
                            plan.Thresholds->MarkDigestText + "; this one is " + MarkDigest(plan.Mark) + ")");
    if (plan.Part.Count == 0 || plan.Part.Index == 0 || plan.Part.Index > plan.Part.Count ||
        plan.Part.Count > (std::uint64_t{1} << 32))
        throw ArgumentError("shard " + std::to_string(plan.Part.Index) + "/" + std::to_string(plan.Part.Count) +
                            " does not exist (shards are 1/n .. n/n)");
}

RobustnessRow ComputeRow(const SweepPlan& plan, std::uint64_t row) {
    CheckSweepPlan(plan);
    if (row >= plan.RowCount()) throw ArgumentError("row " + std::to_string(row) + " is beyond the plan");
    const std::vector<SweepMethod> methods = MethodsOf(plan);
    HostCache hosts(plan, methods);
    NullSides nulls(plan, methods);
    Worker worker;
    return Compute(plan, methods, PlanIdentity(plan), hosts, nulls, row, *SlotOf(plan, row), nullptr, worker);
}

RowPictures ComputeRowPictures(const SweepPlan& plan, std::uint64_t row) {
    CheckSweepPlan(plan);
    if (row >= plan.RowCount()) throw ArgumentError("row " + std::to_string(row) + " is beyond the plan");
    const std::vector<SweepMethod> methods = MethodsOf(plan);
    HostCache hosts(plan, methods);
    NullSides nulls(plan, methods);
    Worker worker;
    const std::shared_ptr<UnitSlot> slot = SlotOf(plan, row);
    RowPictures pictures;
    pictures.Row = Compute(plan, methods, PlanIdentity(plan), hosts, nulls, row, *slot, nullptr, worker);
    const Embedding& e = slot->Value;
    if (!pictures.Row.Failed() && e.Whole) {
        pictures.Marked = e.Marked;
        pictures.Attacked = worker.Attacked.Marked;
        const MethodReading reading = e.Used->Detect(ViewOf(pictures.Attacked), e.Key);
        if (!reading.Mark.empty())
            pictures.Extracted = Bitmap::fromGray(reading.Mark.width(), reading.Mark.height(), reading.Mark.data());
    } else if (!pictures.Row.Failed()) {
        pictures.Marked = Bitmap::fromGray(kHost, kHost, e.MarkedBytes.data());
        pictures.Attacked = Bitmap::fromGray(kHost, kHost, worker.Picture.Bytes.data());
        const MethodReading reading =
            e.Used->Detect(GrayPicture(worker.Picture.Bytes, worker.Picture.Reals), e.Key);
        if (!reading.Mark.empty())
            pictures.Extracted = Bitmap::fromGray(reading.Mark.width(), reading.Mark.height(), reading.Mark.data());
    }
    return pictures;
}

SweepSummary RunSweep(const SweepPlan& plan, const SweepCallbacks& callbacks) {
    CheckSweepPlan(plan);
    const RowRange range = ShardRows(plan.RowCount(), plan.Part);
    auto skipped = [&](std::uint64_t r) { return callbacks.Skip && callbacks.Skip(r); };
    std::uint64_t total = 0;
    for (std::uint64_t r = range.Begin; r < range.End; ++r) total += skipped(r) ? 0 : 1;

    SweepSummary summary;
    const RowIdentity identity = PlanIdentity(plan);
    const std::vector<SweepMethod> methods = MethodsOf(plan);
    HostCache hosts(plan, methods);
    NullSides nulls(plan, methods);
    tbb::enumerable_thread_specific<Worker> workers;
    auto cancelled = [&] { return callbacks.Cancel != nullptr && callbacks.Cancel->load(); };
    const int jobs = plan.Jobs > 0 ? plan.Jobs : tbb::info::default_concurrency();
    tbb::task_arena arena(jobs);
    arena.execute([&] {
        std::uint64_t next = range.Begin;
        // The slots of the unit whose rows are being handed out and of the one after it; each
        // row carries both.
        std::shared_ptr<UnitSlot> current;
        std::shared_ptr<UnitSlot> following;
        const std::uint64_t cells = plan.Cells.size();
        using Computed = std::pair<std::uint64_t, std::shared_ptr<RobustnessRow>>;
        tbb::parallel_pipeline(
            static_cast<std::size_t>(jobs) * 2,
            tbb::make_filter<void, StartedRow>(tbb::filter_mode::serial_in_order,
                                               [&](tbb::flow_control& flow) -> StartedRow {
                                                   while (next < range.End && skipped(next)) ++next;
                                                   if (next >= range.End || cancelled()) {
                                                       flow.stop();
                                                       current.reset();
                                                       following.reset();
                                                       return {};
                                                   }
                                                   const std::uint64_t r = next++;
                                                   if (!current || current->Unit != r / cells) {
                                                       current = following && following->Unit == r / cells
                                                                     ? std::move(following)
                                                                     : SlotOf(plan, r);
                                                       const std::uint64_t after = (r / cells + 1) * cells;
                                                       following = after < range.End ? SlotOf(plan, after) : nullptr;
                                                   }
                                                   return {r, current, following};
                                               }) &
                tbb::make_filter<StartedRow, Computed>(
                    tbb::filter_mode::parallel,
                    [&](StartedRow started) {
                        Computed computed{started.Row,
                                          std::make_shared<RobustnessRow>(Compute(
                                              plan, methods, identity, hosts, nulls, started.Row, *started.Slot,
                                              started.Following.get(), workers.local()))};
                        // The unit's embedding goes as soon as its last row is computed.
                        started = {};
                        return computed;
                    }) &
                tbb::make_filter<Computed, void>(tbb::filter_mode::serial_in_order, [&](const Computed& computed) {
                    ++summary.Rows;
                    if (computed.second->Failed()) ++summary.Failed;
                    if (callbacks.Row) callbacks.Row(computed.first, *computed.second);
                    if (callbacks.Progress) callbacks.Progress(summary.Rows, total);
                }));
    });
    summary.Cancelled = summary.Rows < total;
    return summary;
}

}  // namespace quillfen
