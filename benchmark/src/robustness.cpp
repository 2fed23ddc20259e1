// The sweep: rows in order through a oneTBB pipeline (a serial source of row numbers, rows
// computed in parallel, a serial sink delivering them in order), so that at most a few rows
// are in flight and each is handed over as soon as every earlier one is.
#include "quillfen/benchmark/robustness.h"

#include <charconv>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <set>
#include <span>
#include <utility>

#include <tbb/enumerable_thread_specific.h>
#include <tbb/global_control.h>
#include <tbb/info.h>
#include <tbb/parallel_pipeline.h>
#include <tbb/task_arena.h>

#include "quillfen/image/errors.h"
#include "quillfen/methods/method_command.h"
#include "quillfen/watermark/marking.h"
#include "quillfen/watermark/metrics.h"
#include "quillfen/watermark/registration.h"

namespace quillfen {

namespace {

constexpr int kHost = TWatermark::kHostSize;
constexpr std::uint64_t kNoUnit = std::numeric_limits<std::uint64_t>::max();

// A host's picture cut to the size the workspace uses, its digest, or why it could not be had.
struct LoadedHost {
    Bitmap Picture;
    std::string Digest;
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
    explicit HostCache(const SweepPlan& plan) : plan_(plan) {}

    std::shared_ptr<const LoadedHost> Get(std::size_t host) {
        const std::lock_guard<std::mutex> lock(mutex_);
        if (auto found = cache_.find(host); found != cache_.end()) return found->second;
        auto loaded = std::make_shared<LoadedHost>();
        try {
            loaded->Picture = plan_.Hosts[host].Load();
            // The workspace cuts or extends to 256 x 256 with white, as Bitmap::resize does;
            // doing it here keeps only that much of a large picture in memory.
            loaded->Picture.resize(kHost, kHost);
            loaded->Digest = HostDigest(loaded->Picture);
        } catch (...) {
            loaded->Error = ErrorText(std::current_exception());
        }
        while (!cache_.empty() && cache_.begin()->first + 2 < host) cache_.erase(cache_.begin());
        cache_[host] = loaded;
        return loaded;
    }

private:
    const SweepPlan& plan_;
    std::mutex mutex_;
    std::map<std::size_t, std::shared_ptr<const LoadedHost>> cache_;
};

// What one thread keeps between rows: the embedding of the (host, seed, method) it worked on last.
struct Worker {
    std::uint64_t Unit = kNoUnit;
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
    AttackedPicture Picture;   // the marked picture through the row's cell
    AttackedPicture Null;      // the key's own host, unmarked, through the same cell
};

// The method of unit `unit` marks its host: the host's gray region, the plan's mark or the
// payload the seed draws, at the plan's target PSNR when it has one and the method a strength
// to set.
void EmbedUnit(const SweepPlan& plan, const SweepMethod& chosen, const Bitmap& host, std::uint32_t seed,
               Worker& worker) {
    const WatermarkMethod& method = *chosen.Method;
    worker.HostBytes = GrayOf(host).pixels();
    const ImageView view(GrayView(worker.HostBytes.data(), kHost, kHost, kHost));
    MethodPayload payload;
    if (method.Capabilities().UsesMark) payload.Mark = plan.Mark;
    payload.Bits = PayloadFromSeed(seed, method.PayloadBits());
    worker.Used = chosen.Method;
    const std::optional<double> target = chosen.TargetPsnr ? chosen.TargetPsnr : plan.TargetPsnr;
    if (target && method.StrengthParameter()) worker.Used = FindStrength(method, view, payload, seed, *target);
    MethodMarked marked = worker.Used->Embed(view, payload, seed);
    worker.Key = std::move(marked.Key);
    worker.MarkedBytes = GrayOf(marked.Picture).pixels();
    worker.HostReals.assign(worker.HostBytes.begin(), worker.HostBytes.end());
    if (marked.Reals.empty()) {
        worker.MarkedReals.assign(worker.MarkedBytes.begin(), worker.MarkedBytes.end());
        worker.PsnrEmbedReals.reset();
    } else {
        worker.MarkedReals = std::move(marked.Reals);
        // What the method computed before the rounding to bytes, for the record.
        worker.PsnrEmbedReals = PsnrDecibels(worker.MarkedReals, worker.HostBytes);
    }
    // What the marked picture's file holds.
    worker.PsnrEmbed = PsnrDecibels(std::span<const std::uint8_t>(worker.MarkedBytes), worker.HostBytes);
    worker.SsimEmbed = StructuralSimilarity(worker.MarkedBytes, worker.HostBytes, kHost, kHost);
    worker.MarkedSsim = SsimReference(worker.MarkedBytes, kHost, kHost);
}

void Embed(const SweepPlan& plan, const std::vector<SweepMethod>& methods, HostCache& hosts, std::uint64_t unit,
           Worker& worker) {
    worker.Unit = unit;
    worker.Error.clear();
    const std::uint64_t M = methods.size();
    const std::size_t host = unit / (plan.Seeds.size() * M);
    const std::uint32_t seed = plan.Seeds[(unit / M) % plan.Seeds.size()];
    const std::shared_ptr<const LoadedHost> loaded = hosts.Get(host);
    worker.HostDigest = loaded->Digest;
    if (!loaded->Error.empty()) {
        worker.Error = loaded->Error;
        return;
    }
    try {
        EmbedUnit(plan, methods[unit % M], loaded->Picture, seed, worker);
    } catch (...) {
        worker.Error = ErrorText(std::current_exception());
    }
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

// The verdicts of a score under a plan's thresholds, when it has some.
void Judged(const std::optional<Calibration>& thresholds, double score, std::optional<bool>& at1e3,
            std::optional<bool>& at1e6) {
    if (!thresholds) return;
    const Verdict verdict = Judge(score, *thresholds);
    at1e3 = verdict.Detected1e3;
    at1e6 = verdict.Present;
}

ImageView GrayPicture(const std::vector<std::uint8_t>& bytes, std::span<const double> reals = {}) {
    return ImageView(GrayView(bytes.data(), kHost, kHost, kHost), reals);
}

RobustnessRow Compute(const SweepPlan& plan, const std::vector<SweepMethod>& methods, const RowIdentity& identity,
                      HostCache& hosts, std::uint64_t r, Worker& worker) {
    RobustnessRow row;
    row.Host = plan.HostOf(r);
    row.Seed = plan.SeedOf(r);
    row.Attack = plan.AttackOf(r);
    row.Registering = plan.Register;
    const std::size_t m = plan.MethodIndexOf(r);
    row.Methods = !plan.Methods.empty();
    const std::uint64_t unit = r / plan.Cells.size();
    if (worker.Unit != unit) Embed(plan, methods, hosts, unit, worker);
    row.Identity = row.Methods ? MethodIdentity(plan, identity, m) : identity;
    row.Identity.HostDigest = worker.HostDigest;
    if (!worker.Error.empty()) {
        row.Error = worker.Error;
        return row;
    }
    const std::optional<Calibration>& thresholds = ThresholdsOf(plan, m);
    try {
        const AttackCell& cell = plan.Cells[r % plan.Cells.size()];
        const WatermarkMethod& method = *worker.Used;
        // The null side (the key's own host, unmarked) and the marked picture through the cell
        // together; the null side is scored first.
        ApplyAttackCell(cell, {worker.HostBytes, worker.HostBytes, worker.HostReals},
                        {worker.HostBytes, worker.MarkedBytes, worker.MarkedReals}, row.Seed, worker.Null,
                        worker.Picture);
        row.ScoreNull =
            method.Detect(GrayPicture(worker.Null.Bytes, worker.Null.Reals), worker.Key, ReadDepth::Score).Score;
        const MethodReading reading =
            method.Detect(GrayPicture(worker.Picture.Bytes, worker.Picture.Reals), worker.Key);
        if (method.Capabilities().UsesMark && !reading.Nc)
            throw MathError("NC has no value: the watermark has no black pixel where NC compares");
        row.PsnrEmbed = worker.PsnrEmbed;
        row.PsnrEmbedReals = worker.PsnrEmbedReals;
        row.SsimEmbed = worker.SsimEmbed;
        row.Score = reading.Score;
        row.Nc = reading.Nc;
        row.BitAccuracy = reading.BitAccuracy;
        row.Ber = reading.Ber.value_or(0.0);
        // The attacked picture as a file would hold it: its bytes against the marked picture's, like
        // SSIM, so that an unchanged picture scores +infinity.
        row.Psnr = PsnrDecibels(std::span<const std::uint8_t>(worker.Picture.Bytes), worker.MarkedBytes);
        row.Ssim = worker.MarkedSsim.Against(worker.Picture.Bytes);
        if (row.Methods) {
            row.MethodParams = method.Parameters();
            row.Strength = method.Strength();
            row.PayloadBits = method.PayloadBits();
        }
        Judged(thresholds, row.Score, row.Detected1e3, row.Detected1e6);
        if (plan.Register && IsGeometricCell(cell)) {
            RegisteredReading again;
            const Registration registered = RegisterAndUndo(GrayPlane(kHost, kHost, worker.Picture.Bytes),
                                                            GrayPlane(kHost, kHost, worker.MarkedBytes));
            const MethodReading moved = method.Detect(GrayPicture(registered.Picture.pixels()), worker.Key);
            again.Fit = registered.Fit;
            again.Nc = moved.Nc;
            again.Ber = moved.Ber.value_or(0.0);
            again.Score = moved.Score;
            Judged(thresholds, again.Score, again.Detected1e3, again.Detected1e6);
            row.Registered = again;
        }
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

}  // namespace

std::string MethodName() { return "dct-polarity:divisor=" + std::to_string(TWatermark::kStrengthDivisor); }

std::string HostDigest(const Bitmap& host) { return ShortDigest(MarkedRegion(GrayOf(host))); }

std::string WatermarkDigest(const Bitmap& mark) { return ShortDigest(BinarisedMark(mark)); }

SweepMethod SweepMethodOf(std::shared_ptr<const WatermarkMethod> method, const std::string& source) {
    SweepMethod sweep;
    sweep.Label = method->Name();
    if (const auto thresholds = method->Thresholds()) {
        Calibration given;
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
    HostCache hosts(plan);
    Worker worker;
    return Compute(plan, MethodsOf(plan), PlanIdentity(plan), hosts, row, worker);
}

RowPictures ComputeRowPictures(const SweepPlan& plan, std::uint64_t row) {
    CheckSweepPlan(plan);
    if (row >= plan.RowCount()) throw ArgumentError("row " + std::to_string(row) + " is beyond the plan");
    HostCache hosts(plan);
    Worker worker;
    RowPictures pictures;
    pictures.Row = Compute(plan, MethodsOf(plan), PlanIdentity(plan), hosts, row, worker);
    if (!pictures.Row.Failed()) {
        pictures.Marked = Bitmap::fromGray(kHost, kHost, worker.MarkedBytes.data());
        pictures.Attacked = Bitmap::fromGray(kHost, kHost, worker.Picture.Bytes.data());
        const MethodReading reading =
            worker.Used->Detect(GrayPicture(worker.Picture.Bytes, worker.Picture.Reals), worker.Key);
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
    HostCache hosts(plan);
    tbb::enumerable_thread_specific<Worker> workers;
    auto cancelled = [&] { return callbacks.Cancel != nullptr && callbacks.Cancel->load(); };
    const int jobs = plan.Jobs > 0 ? plan.Jobs : tbb::info::default_concurrency();
    tbb::task_arena arena(jobs);
    arena.execute([&] {
        std::uint64_t next = range.Begin;
        using Computed = std::pair<std::uint64_t, std::shared_ptr<RobustnessRow>>;
        tbb::parallel_pipeline(
            static_cast<std::size_t>(jobs) * 2,
            tbb::make_filter<void, std::uint64_t>(tbb::filter_mode::serial_in_order,
                                                  [&](tbb::flow_control& flow) -> std::uint64_t {
                                                      while (next < range.End && skipped(next)) ++next;
                                                      if (next >= range.End || cancelled()) {
                                                          flow.stop();
                                                          return 0;
                                                      }
                                                      return next++;
                                                  }) &
                tbb::make_filter<std::uint64_t, Computed>(
                    tbb::filter_mode::parallel,
                    [&](std::uint64_t r) {
                        return Computed{r, std::make_shared<RobustnessRow>(
                                            Compute(plan, methods, identity, hosts, r, workers.local()))};
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
