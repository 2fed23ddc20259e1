// The robustness sweep: its rows against the experiment's own steps, the order and identity of
// rows whatever the threads and shards, skipping, cancelling, failing hosts, and the checks.
#include "quillfen/benchmark/robustness.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <condition_variable>
#include <cmath>
#include <filesystem>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "quillfen/attacks/attack_list.h"
#include "quillfen/image/errors.h"
#include "quillfen/io/picture_files.h"
#include "quillfen/watermark/experiment.h"
#include "tests/test_support.h"

namespace quillfen {
namespace {

SweepHost HostFile(const std::string& name) {
    const std::string path = test::SamplePath("hosts/" + name);
    return {name, [path] { return LoadPictureFile(path).bitmap; }};
}

Bitmap Mark() { return LoadPictureFile(test::SamplePath("seal-128.pgm")).bitmap; }

SweepPlan SmallPlan(const std::string& attacks = "none,jpeg,real-jpeg:q=50,gauss-noise:sigma=5,crop:frac=0.25") {
    SweepPlan plan;
    plan.Hosts = {HostFile("astronaut.pgm"), HostFile("gravel.pgm")};
    plan.Mark = Mark();
    plan.Seeds = {3, 11};
    plan.Cells = ParseAttackCells(attacks);
    return plan;
}

std::vector<RobustnessRow> Rows(const SweepPlan& plan, SweepCallbacks callbacks = {}) {
    std::vector<RobustnessRow> rows;
    std::uint64_t expected = ShardRows(plan.RowCount(), plan.Part).Begin;
    callbacks.Row = [&](std::uint64_t r, const RobustnessRow& row) {
        while (callbacks.Skip && callbacks.Skip(expected)) ++expected;
        EXPECT_EQ(r, expected) << "rows out of order";
        ++expected;
        rows.push_back(row);
    };
    RunSweep(plan, callbacks);
    return rows;
}

// The seven attacks of the experiment give, through the sweep, the NC the experiment's own
// attack steps give for the same host and seed.
TEST(RobustnessSweep, WorkspaceAttacksGiveTheExperimentsNc) {
    SweepPlan plan;
    plan.Hosts = {HostFile("coffee.pgm")};
    plan.Mark = Mark();
    plan.Seeds = {7};
    plan.Cells = ParseAttackCells("none,jpeg,blur,crop-zero-quarter,crop-image-quarter,crop-zero-half,crop-image-half");
    plan.Jobs = 2;
    const std::vector<RobustnessRow> rows = Rows(plan);
    ASSERT_EQ(rows.size(), 7u);

    Experiment e;
    Bitmap host = LoadPictureFile(test::SamplePath("hosts/coffee.pgm")).bitmap;
    Bitmap mark = Mark();
    e.Load(host, mark);
    e.SetFixedSeed(7);
    const std::vector<StepResult> embedding = e.Embed();
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const Step attack = Experiment::Attacks()[i];
        EXPECT_EQ(rows[i].Attack, Experiment::Info(attack).id);
        EXPECT_EQ(rows[i].Nc, *e.AttackAndExtract(attack).back().nc) << rows[i].Attack;
        EXPECT_EQ(rows[i].PsnrEmbedReals, embedding.back().psnr->Psnr);
    }
    EXPECT_TRUE(std::isinf(rows[0].Psnr));
    EXPECT_EQ(rows[0].Ssim, 1.0);
}

TEST(RobustnessSweep, RowsAreTheSameWhateverTheThreads) {
    SweepPlan plan = SmallPlan();
    plan.Jobs = 1;
    const std::vector<RobustnessRow> one = Rows(plan);
    ASSERT_EQ(one.size(), plan.RowCount());
    for (const int jobs : {2, 3}) {
        plan.Jobs = jobs;
        EXPECT_EQ(Rows(plan), one) << jobs << " threads";
    }
    // Row r names host r / (S C), seed (r / C) mod S, cell r mod C.
    EXPECT_EQ(one[0].Host, "astronaut.pgm");
    EXPECT_EQ(one[6].Seed, 11u);
    EXPECT_EQ(one[6].Attack, "jpeg");
    EXPECT_EQ(one[12].Host, "gravel.pgm");
    for (const RobustnessRow& row : one) {
        EXPECT_FALSE(row.Failed()) << row.Error;
        EXPECT_FALSE(row.Detected1e3.has_value());
    }
}

// A method that counts its embeddings and otherwise is the one it wraps.
class CountingMethod : public WatermarkMethod {
public:
    explicit CountingMethod(std::unique_ptr<WatermarkMethod> inner) : inner_(std::move(inner)) {}
    const MethodSpec& Describe() const override { return inner_->Describe(); }
    MethodMarked Embed(const ImageView& host, const MethodPayload& payload, std::uint32_t seed) const override {
        ++Embeddings;
        return inner_->Embed(host, payload, seed);
    }
    MethodReading Detect(const ImageView& suspect, const MethodKey& key, ReadDepth depth) const override {
        return inner_->Detect(suspect, key, depth);
    }
    std::vector<std::uint8_t> KeyToBytes(const MethodKey& key) const override { return inner_->KeyToBytes(key); }
    MethodKey KeyFromBytes(std::span<const std::uint8_t> bytes, const std::string& name) const override {
        return inner_->KeyFromBytes(bytes, name);
    }
    mutable std::atomic<int> Embeddings{0};

private:
    std::unique_ptr<WatermarkMethod> inner_;
};

// Each (host, seed, method) is embedded once, however many threads share its rows: the rows of
// one embedding follow each other, and every thread reads the one embedding.
TEST(RobustnessSweep, EachHostSeedAndMethodIsEmbeddedOnceWhateverTheThreads) {
    SweepPlan plan = SmallPlan("none,median:k=3,gauss-noise:sigma=3,rotate:deg=5,real-jpeg:q=60,scale:f=0.8");
    auto counting = std::make_shared<CountingMethod>(MakeMethod(ParseMethodSpec("qim")));
    plan.Methods = {SweepMethodOf(counting, "built in"), SweepMethodOf(MakeMethod(DefaultMethod()), "built in")};
    plan.Jobs = 1;
    const std::vector<RobustnessRow> one = Rows(plan);
    ASSERT_EQ(one.size(), 2u * 2 * 2 * 6);
    EXPECT_EQ(counting->Embeddings.load(), 4);
    for (const int jobs : {2, 3}) {
        counting->Embeddings = 0;
        plan.Jobs = jobs;
        EXPECT_EQ(Rows(plan), one) << jobs << " threads";
        EXPECT_EQ(counting->Embeddings.load(), 4) << jobs << " threads";
    }
    // A shard that starts inside a unit embeds that unit once too.
    counting->Embeddings = 0;
    plan.Part = {2, 3};
    const std::vector<RobustnessRow> part = Rows(plan);
    EXPECT_EQ(std::vector<RobustnessRow>(one.begin() + 16, one.begin() + 32), part);
    EXPECT_EQ(counting->Embeddings.load(), 2);
    for (const RobustnessRow& row : one) EXPECT_FALSE(row.Failed()) << row.Error;
}

// A method whose first embedding waits (up to five seconds) for a second one to begin, and
// which tells whether one did.
class PairedMethod : public CountingMethod {
public:
    using CountingMethod::CountingMethod;
    MethodMarked Embed(const ImageView& host, const MethodPayload& payload, std::uint32_t seed) const override {
        if (begun_.fetch_add(1) == 0) {
            std::unique_lock<std::mutex> lock(mutex_);
            Paired = changed_.wait_for(lock, std::chrono::seconds(5), [&] { return begun_.load() > 1; });
        } else {
            const std::lock_guard<std::mutex> lock(mutex_);
            changed_.notify_all();
        }
        return CountingMethod::Embed(host, payload, seed);
    }
    mutable bool Paired = false;

private:
    mutable std::atomic<int> begun_{0};
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
};

// Two threads embed two units side by side: a row whose unit the other thread is embedding
// embeds the next unit instead of waiting.
TEST(RobustnessSweep, TwoThreadsEmbedTwoUnitsAtOnce) {
    if (AvailableThreads() < 2) GTEST_SKIP() << "one core";
    SweepPlan plan = SmallPlan("none,median:k=3,gauss-noise:sigma=3");
    auto paired = std::make_shared<PairedMethod>(MakeMethod(ParseMethodSpec("qim")));
    plan.Methods = {SweepMethodOf(paired, "built in")};
    plan.Jobs = 2;
    const std::vector<RobustnessRow> rows = Rows(plan);
    EXPECT_TRUE(paired->Paired);
    EXPECT_EQ(paired->Embeddings.load(), 4);
    plan.Jobs = 1;
    EXPECT_EQ(Rows(plan), rows);
}

// The host through a cell is computed once and read by every method, and by every seed where
// the cell draws nothing: each such row is still the row computed on its own.
TEST(RobustnessSweep, SharedNullSidesGiveTheRowsComputedAlone) {
    SweepPlan plan = SmallPlan("none,gauss-noise:sigma=4,rotate:deg=5,real-jpeg:q=60,crop-image-quarter");
    plan.Methods = {SweepMethodOf(MakeMethod(DefaultMethod()), "built in"),
                    SweepMethodOf(MakeMethod(ParseMethodSpec("qim")), "built in"),
                    SweepMethodOf(MakeMethod(ParseMethodSpec("spread-spectrum")), "built in")};
    for (const int jobs : {1, 2}) {
        plan.Jobs = jobs;
        const std::vector<RobustnessRow> rows = Rows(plan);
        ASSERT_EQ(rows.size(), plan.RowCount());
        for (std::uint64_t r = 0; r < plan.RowCount(); ++r) {
            EXPECT_EQ(rows[r], ComputeRow(plan, r)) << "row " << r << ", " << jobs << " threads";
            EXPECT_FALSE(rows[r].Failed()) << rows[r].Error;
        }
    }
}

// The pool's threads end when asked, before a program's teardown, and a later run starts them
// again with the same rows.
TEST(RobustnessSweep, ThePooledThreadsEndWhenAskedAndComeBack) {
    const auto count = [] {
        return std::distance(std::filesystem::directory_iterator("/proc/self/task"), std::filesystem::directory_iterator());
    };
    // A joined thread may still be listed for a moment while the kernel (or an emulator) ends
    // it: the count is read again until it falls back, for up to five seconds.
    std::ptrdiff_t alone = 0;
    const auto threads = [&] {
        auto n = count();
        for (int waited = 0; n > alone && alone > 0 && waited < 500; ++waited) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            n = count();
        }
        return n;
    };
    ASSERT_TRUE(EndPooledThreads());
    const auto before = count();
    SweepPlan plan = SmallPlan("none,jpeg");
    plan.Jobs = 2;
    const std::vector<RobustnessRow> first = Rows(plan);
    if (AvailableThreads() > 1) {
        EXPECT_GT(count(), before);
    }
    alone = before;
    EXPECT_TRUE(EndPooledThreads());
    EXPECT_EQ(threads(), alone);
    EXPECT_EQ(Rows(plan), first);
    EXPECT_TRUE(EndPooledThreads());
    EXPECT_EQ(threads(), alone);
}

TEST(RobustnessSweep, ShardsInOrderAreTheWholeRun) {
    SweepPlan plan = SmallPlan();
    plan.Jobs = 2;
    const std::vector<RobustnessRow> whole = Rows(plan);
    for (const std::uint64_t count : {2u, 3u, 7u, 25u}) {
        std::vector<RobustnessRow> joined;
        for (std::uint64_t i = 1; i <= count; ++i) {
            plan.Part = {i, count};
            const std::vector<RobustnessRow> part = Rows(plan);
            joined.insert(joined.end(), part.begin(), part.end());
        }
        EXPECT_EQ(joined, whole) << count << " shards";
    }
}

TEST(ShardRows, CoverTheRowsInEvenContiguousParts) {
    for (const std::uint64_t rows : {0ull, 1ull, 5ull, 20ull, 2496ull, 1000003ull}) {
        for (const std::uint64_t count : {1ull, 2ull, 3ull, 7ull, 64ull}) {
            std::uint64_t next = 0;
            for (std::uint64_t i = 1; i <= count; ++i) {
                const RowRange r = ShardRows(rows, {i, count});
                EXPECT_EQ(r.Begin, next);
                const std::uint64_t size = r.End - r.Begin;
                EXPECT_LE(size, rows / count + 1);
                EXPECT_GE(size, rows / count);
                next = r.End;
            }
            EXPECT_EQ(next, rows) << rows << " rows in " << count;
        }
    }
}

TEST(RobustnessSweep, SkippedRowsAreNeitherComputedNorDelivered) {
    SweepPlan plan = SmallPlan();
    const std::vector<RobustnessRow> whole = Rows(plan);
    SweepCallbacks callbacks;
    callbacks.Skip = [](std::uint64_t r) { return r % 3 != 1; };
    std::uint64_t lastTotal = 0;
    callbacks.Progress = [&](std::uint64_t, std::uint64_t total) { lastTotal = total; };
    const std::vector<RobustnessRow> some = Rows(plan, callbacks);
    ASSERT_EQ(some.size(), (whole.size() + 1) / 3);
    EXPECT_EQ(lastTotal, some.size());
    for (std::size_t i = 0; i < some.size(); ++i) EXPECT_EQ(some[i], whole[3 * i + 1]);
}

// A cancelled run delivers a prefix of the rows, each complete.
TEST(RobustnessSweep, CancelStopsAfterTheRowsInFlight) {
    SweepPlan plan = SmallPlan();
    plan.Jobs = 2;
    const std::vector<RobustnessRow> whole = Rows(plan);
    std::atomic<bool> cancel{false};
    SweepCallbacks callbacks;
    callbacks.Cancel = &cancel;
    std::vector<RobustnessRow> rows;
    callbacks.Row = [&](std::uint64_t, const RobustnessRow& row) {
        rows.push_back(row);
        if (rows.size() == 3) cancel = true;
    };
    const SweepSummary summary = RunSweep(plan, callbacks);
    EXPECT_TRUE(summary.Cancelled);
    ASSERT_GE(rows.size(), 3u);
    ASSERT_LT(rows.size(), whole.size());
    for (std::size_t i = 0; i < rows.size(); ++i) EXPECT_EQ(rows[i], whole[i]);
}

// A host that cannot be had at run time fails its own rows only.
TEST(RobustnessSweep, AFailingHostGivesErrorRowsAndTheRunGoesOn) {
    SweepPlan plan = SmallPlan("none,median:k=3");
    plan.Hosts.insert(plan.Hosts.begin() + 1, SweepHost{"gone.pgm", []() -> Bitmap {
                                                            throw FileError("Cannot open file gone.pgm (it went away)");
                                                        }});
    plan.Jobs = 2;
    SweepCallbacks callbacks;
    std::vector<RobustnessRow> rows;
    callbacks.Row = [&](std::uint64_t, const RobustnessRow& row) { rows.push_back(row); };
    const SweepSummary summary = RunSweep(plan, callbacks);
    ASSERT_EQ(rows.size(), 12u);
    EXPECT_EQ(summary.Failed, 4u);
    for (const RobustnessRow& row : rows) {
        EXPECT_EQ(row.Failed(), row.Host == "gone.pgm") << row.Host;
        if (row.Failed()) {
            EXPECT_NE(row.Error.find("went away"), std::string::npos);
        }
    }
}

TEST(RobustnessSweep, ComputeRowMatchesTheSweep) {
    SweepPlan plan = SmallPlan();
    const std::vector<RobustnessRow> whole = Rows(plan);
    for (const std::uint64_t r : {0u, 7u, 19u}) EXPECT_EQ(ComputeRow(plan, r), whole[r]);
    EXPECT_THROW(ComputeRow(plan, plan.RowCount()), ArgumentError);
}

TEST(RobustnessSweep, VerdictsFollowTheCalibration) {
    SweepPlan plan = SmallPlan("none,real-jpeg:q=20,rotate:deg=45");
    plan.Thresholds = LoadCalibration(test::SamplePath("seal-128.calibration.json"));
    bool someDetected = false, someMissed = false;
    for (const RobustnessRow& row : Rows(plan)) {
        ASSERT_TRUE(row.Detected1e3 && row.Detected1e6);
        EXPECT_EQ(*row.Detected1e3, row.Score >= plan.Thresholds->ThresholdEmpirical);
        EXPECT_EQ(*row.Detected1e6, row.Score >= plan.Thresholds->ThresholdModelled);
        someDetected = someDetected || *row.Detected1e6;
        someMissed = someMissed || !*row.Detected1e3;
    }
    EXPECT_TRUE(someDetected);
    EXPECT_TRUE(someMissed);
}

TEST(RobustnessSweep, PlanChecksRefuseBeforeAnyWork) {
    const std::vector<std::pair<const char*, std::function<void(SweepPlan&)>>> cases = {
        {"no host", [](SweepPlan& p) { p.Hosts.clear(); }},
        {"no seed", [](SweepPlan& p) { p.Seeds.clear(); }},
        {"no attack", [](SweepPlan& p) { p.Cells.clear(); }},
        {"are named", [](SweepPlan& p) { p.Hosts.push_back(p.Hosts[0]); }},
        {"seed 3 is listed twice", [](SweepPlan& p) { p.Seeds.push_back(3); }},
        {"listed twice", [](SweepPlan& p) { p.Cells.push_back(p.Cells[0]); }},
        {"no black pixel", [](SweepPlan& p) { p.Mark = Bitmap(128, 128, 255); }},
        {"another watermark",
         [](SweepPlan& p) {
             p.Thresholds = LoadCalibration(test::SamplePath("seal-128.calibration.json"));
             p.Mark.setGray(70, 70, p.Mark.blue(70, 70) < 128 ? 255 : 0);
         }},
        {"does not exist", [](SweepPlan& p) { p.Part = {0, 2}; }},
        {"does not exist", [](SweepPlan& p) { p.Part = {3, 2}; }},
    };
    for (const auto& [expected, change] : cases) {
        SweepPlan plan = SmallPlan();
        bool loaded = false;
        for (SweepHost& h : plan.Hosts) h.Load = [&loaded]() -> Bitmap { loaded = true; return Bitmap(256, 256); };
        change(plan);
        try {
            RunSweep(plan, {});
            ADD_FAILURE() << expected;
        } catch (const ArgumentError& e) {
            EXPECT_NE(std::string(e.what()).find(expected), std::string::npos) << e.what();
        }
        EXPECT_FALSE(loaded) << expected;
    }
}

TEST(ParseSeedList, AcceptsNumbersAndRangesInOrder) {
    const std::vector<std::pair<const char*, std::vector<std::uint32_t>>> good = {
        {"1..20", {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20}},
        {"7", {7}},
        {"1..5,7", {1, 2, 3, 4, 5, 7}},
        {"9,2,4..5", {9, 2, 4, 5}},
        {"0", {0}},
        {"4294967295", {4294967295u}},
        {"4294967294..4294967295", {4294967294u, 4294967295u}},
    };
    for (const auto& [text, seeds] : good) EXPECT_EQ(ParseSeedList(text), seeds) << text;
    for (const char* bad : {"", "1..", "..3", "5..1", "1,,2", "1,2,1", "1..3,2", "-1", "+1", "0x10", "1e3", "a",
                            "4294967296", "1..2..3", " 1", "1.5"})
        EXPECT_THROW(ParseSeedList(bad), ArgumentError) << bad;
    EXPECT_THROW(ParseSeedList("0..2000000"), ArgumentError);
}

}  // namespace
}  // namespace quillfen

namespace quillfen {
namespace {

TEST(RobustnessSweep, GeometricCellsAreThoseThatMovePixels) {
    const std::vector<std::pair<const char*, bool>> cases = {
        {"rotate:deg=2", true},          {"scale:f=0.9", true},           {"shift:dx=4", true},
        {"crop:frac=0.25", true},        {"remove-rows:n=6", true},       {"remove-cols:n=3", true},
        {"scale:f=0.9+real-jpeg:q=75", true}, {"real-jpeg:q=75+shift:dx=1", true},
        {"none", false},                 {"crop-zero-half", false},       {"crop-image-quarter", false},
        {"real-jpeg:q=50", false},       {"median:k=3", false},           {"gauss-noise:sigma=5+real-jpeg:q=75", false},
    };
    for (const auto& [name, geometric] : cases)
        EXPECT_EQ(IsGeometricCell(ParseAttackCells(name).front()), geometric) << name;
}

// Registration reads geometric cells a second time and changes nothing else: the plain fields
// are those of a run without it. A shift, which the plain reading loses to the moved block grid,
// is found again once registered.
TEST(RobustnessSweep, RegistrationAddsASecondReadingOfGeometricCells) {
    SweepPlan plain = SmallPlan("none,real-jpeg:q=50,shift:dx=4,rotate:deg=2");
    plain.Hosts.resize(1);
    plain.Seeds = {3};
    plain.Thresholds = LoadCalibration(test::SamplePath("seal-128.calibration.json"));
    SweepPlan registering = plain;
    registering.Register = true;
    const std::vector<RobustnessRow> without = Rows(plain);
    const std::vector<RobustnessRow> with = Rows(registering);
    ASSERT_EQ(with.size(), without.size());
    for (std::size_t i = 0; i < with.size(); ++i) {
        EXPECT_TRUE(with[i].Registering);
        EXPECT_FALSE(without[i].Registering);
        EXPECT_FALSE(without[i].Registered);
        EXPECT_EQ(with[i].Registered.has_value(), IsGeometricCell(plain.Cells[i])) << with[i].Attack;
        RobustnessRow stripped = with[i];
        stripped.Registering = false;
        stripped.Registered.reset();
        EXPECT_EQ(stripped, without[i]) << with[i].Attack;
    }
    const RobustnessRow& shift = with[2];
    ASSERT_EQ(shift.Attack, "shift:dx=4");
    ASSERT_TRUE(shift.Registered);
    EXPECT_GT(shift.Registered->Fit, 0.9);
    EXPECT_GT(shift.Registered->Score, 0.9);
    EXPECT_LT(shift.Registered->Ber, shift.Ber);
    EXPECT_EQ(shift.Registered->Detected1e6, plain.Thresholds->Detected(shift.Registered->Score, kFprModelled));
    EXPECT_TRUE(*shift.Registered->Detected1e6);
}

// A row computed again with its pictures is the row of the run, and its pictures are those its
// measures came from: the extracted mark gives the row's NC, an untouched picture is X_hat.
TEST(RobustnessSweep, ARowsPicturesAreThoseItsMeasuresSaw) {
    const SweepPlan plan = SmallPlan("none,real-jpeg:q=50,rotate:deg=3");
    const std::vector<RobustnessRow> rows = Rows(plan);
    Experiment marked;
    Bitmap host = LoadPictureFile(test::SamplePath("hosts/gravel.pgm")).bitmap;
    Bitmap mark = Mark();
    marked.Load(host, mark);
    marked.SetFixedSeed(11);
    marked.Embed();
    for (std::uint64_t r = 0; r < plan.RowCount(); ++r) {
        const RowPictures pictures = ComputeRowPictures(plan, r);
        EXPECT_EQ(pictures.Row, rows[r]) << r;
        ASSERT_EQ(pictures.Attacked.width(), 256);
        ASSERT_EQ(pictures.Extracted.width(), 128);
        TWatermark::Bytes extracted(128 * 128);
        for (int y = 0; y < 128; ++y)
            for (int x = 0; x < 128; ++x) extracted[static_cast<std::size_t>(y) * 128 + x] = pictures.Extracted.row(y)[3 * x];
        EXPECT_EQ(TWatermark::NormalizedCorrelation(extracted, marked.Workspace().W()), rows[r].Nc) << r;
    }
    // The last host and seed: gravel.pgm with seed 11; "none" leaves X_hat as it is.
    const RowPictures none = ComputeRowPictures(plan, plan.RowCount() - 3);
    EXPECT_EQ(none.Attacked, TWatermark::MakeBitmap256(marked.Workspace().X_hat()));
    EXPECT_THROW(ComputeRowPictures(plan, plan.RowCount()), ArgumentError);
}

}  // namespace
}  // namespace quillfen
