// The experiment's rules: the order of the steps, refusals, marks, staleness, and runs from
// one embedding.
#include "quillfen/watermark/experiment.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <thread>
#include <vector>

#include "quillfen/io/picture_files.h"
#include "tests/test_support.h"
#include "tests/watermark/sample_experiment.h"

namespace quillfen {
namespace {

Experiment Loaded(std::uint32_t seed = 99) { return test::SampleExperiment("camera-256.pgm", "seal-128.pgm", seed); }

std::vector<Step> DoneSteps(const Experiment& e) {
    std::vector<Step> done;
    for (const StepInfo& info : Experiment::Steps())
        if (e.HasRun(info.step)) done.push_back(info.step);
    return done;
}

TEST(ExperimentSteps, EveryChainStepNeedsTheOneBeforeIt) {
    ASSERT_EQ(Experiment::Steps().size(), static_cast<std::size_t>(kStepCount));
    std::set<std::string> ids;
    for (std::size_t i = 0; i < Experiment::Steps().size(); ++i) {
        const StepInfo& info = Experiment::Steps()[i];
        EXPECT_EQ(static_cast<std::size_t>(info.step), i);  // Info(step) indexes the table
        EXPECT_TRUE(ids.insert(info.id).second) << info.id;
        EXPECT_EQ(Experiment::Find(info.id), info.step);
    }
    EXPECT_EQ(Experiment::Find("sharpen"), std::nullopt);
    // Each chain step needs its predecessor in the chain; the first ones need the load and
    // an attack.
    const auto expectChain = [](const std::vector<Step>& chain, Needs firstNeeds) {
        for (std::size_t i = 0; i < chain.size(); ++i) {
            const StepInfo& info = Experiment::Info(chain[i]);
            if (i == 0) {
                EXPECT_EQ(info.needs, firstNeeds) << info.id;
            } else {
                EXPECT_EQ(info.needs, Needs::Step) << info.id;
                EXPECT_EQ(info.prerequisite, chain[i - 1]) << info.id;
            }
        }
    };
    expectChain(Experiment::EmbeddingChain(), Needs::Step);
    expectChain(Experiment::ExtractionChain(), Needs::AnyAttack);
    EXPECT_EQ(Experiment::EmbeddingChain().front(), Step::GetWr);
    EXPECT_EQ(Experiment::EmbeddingChain().back(), Step::GetX_hat);
    EXPECT_EQ(Experiment::ExtractionChain().front(), Step::GetY_wave);
    EXPECT_EQ(Experiment::ExtractionChain().back(), Step::GetW_wave);
    const std::vector<std::string> attackIds = {"none", "jpeg", "blur", "crop-zero-quarter", "crop-image-quarter",
                                                "crop-zero-half", "crop-image-half"};
    ASSERT_EQ(Experiment::Attacks().size(), attackIds.size());
    for (std::size_t i = 0; i < attackIds.size(); ++i) {
        EXPECT_EQ(Experiment::Info(Experiment::Attacks()[i]).id, attackIds[i]);
        EXPECT_EQ(Experiment::Info(Experiment::Attacks()[i]).prerequisite, Step::GetX_hat);
    }
}

TEST(ExperimentSteps, AFreshExperimentRefusesEveryStepNamingIt) {
    Experiment e;
    for (const StepInfo& info : Experiment::Steps()) {
        if (info.kind == StepKind::Load) continue;
        EXPECT_FALSE(e.CanRun(info.step)) << info.id;
        try {
            e.Run(info.step);
            ADD_FAILURE() << info.id << " ran";
        } catch (const StepRefused& refused) {
            EXPECT_EQ(refused.step, info.step);
            EXPECT_EQ(std::string(refused.what()).rfind(info.id, 0), 0u) << refused.what();
        }
    }
    EXPECT_TRUE(e.Done().Empty());
}

TEST(ExperimentMarks, StepsMarkThemselvesAndNeverClearLaterMarks) {
    Experiment e = Loaded();
    EXPECT_EQ(DoneSteps(e), std::vector<Step>{Step::LoadWatermark});
    e.Embed();
    const std::vector<Step> embedded = {Step::LoadWatermark, Step::GetWr, Step::GetWa, Step::GetY,
                                        Step::GetYr, Step::GetP, Step::GetP_hat, Step::GetYr_hat,
                                        Step::GetY_hat, Step::GetX_hat, Step::GetPSNR};
    EXPECT_EQ(DoneSteps(e), embedded);
    // An earlier step again: the later marks stay, and so does what they computed.
    const std::int32_t wr = e.Run(Step::GetWr).blackCount;
    EXPECT_EQ(DoneSteps(e), embedded);
    EXPECT_EQ(e.Run(Step::GetWr).blackCount, wr);

    // An attack clears the attack and extraction marks and sets its own.
    e.AttackAndExtract(Step::Blurring);
    EXPECT_TRUE(e.HasRun(Step::GetNC));
    e.Run(Step::NoAttack);
    std::vector<Step> afterAttack = embedded;
    afterAttack.push_back(Step::NoAttack);
    EXPECT_EQ(DoneSteps(e), afterAttack);
    EXPECT_EQ(e.Workspace().X_wave(), e.Workspace().X_hat());

    // A save only records that the front end saved.
    e.Run(Step::SaveX_hat);
    EXPECT_TRUE(e.HasRun(Step::SaveX_hat));
    EXPECT_THROW(e.Run(Step::SaveW_wave), StepRefused);

    // A new load starts over; Forget clears everything.
    Bitmap host(256, 256, 80);
    Bitmap mark(128, 128, 0);
    e.Load(host, mark);
    EXPECT_EQ(DoneSteps(e), std::vector<Step>{Step::LoadWatermark});
    e.Forget();
    EXPECT_TRUE(e.Done().Empty());
    EXPECT_FALSE(e.CanRun(Step::GetWr));
}

TEST(ExperimentMarks, WhatEachChangeMakesStale) {
    const StepSet attack = Experiment::MadeStaleBy(Change::Attack);
    for (const StepInfo& info : Experiment::Steps())
        EXPECT_EQ(attack.Has(info.step), info.group != StepGroup::Embedding) << info.id;
    for (const Change change : {Change::Picture, Change::Watermark}) {
        const StepSet all = Experiment::MadeStaleBy(change);
        for (const StepInfo& info : Experiment::Steps()) EXPECT_TRUE(all.Has(info.step)) << info.id;
    }
}

// A result holds until its step runs again or a change clears its mark; the embedding's
// number changes with any step of the embedding run again.
TEST(ExperimentMarks, AResultHoldsWhileItsStepIsMarkedByIt) {
    Experiment e = Loaded();
    EXPECT_FALSE(e.Holds(0));
    EXPECT_EQ(e.EmbeddingRun(), 0u);
    const std::vector<StepResult> embedding = e.Embed();
    for (const StepResult& result : embedding) EXPECT_TRUE(e.Holds(result)) << Experiment::Info(result.step).id;
    const std::uint64_t embedded = e.EmbeddingRun();
    EXPECT_EQ(embedded, embedding[embedding.size() - 2].run);  // Get X_hat's, the last of the chain
    EXPECT_TRUE(e.EmbeddingInOrder());

    const std::vector<StepResult> extraction = e.AttackAndExtract(Step::Jpeg);
    const StepResult psnrAgain = e.Run(Step::GetPSNR);
    EXPECT_FALSE(e.Holds(embedding.back()));  // replaced by the new one
    EXPECT_TRUE(e.Holds(psnrAgain));
    EXPECT_EQ(e.EmbeddingRun(), embedded);  // scoring is not embedding
    // Another attack: the last one's results and its extraction's go, the embedding stays.
    const StepResult blur = e.Run(Step::Blurring);
    for (const StepResult& result : extraction) EXPECT_FALSE(e.Holds(result)) << Experiment::Info(result.step).id;
    EXPECT_TRUE(e.Holds(blur));
    EXPECT_TRUE(e.Holds(embedding.front()));
    // A picture attacked elsewhere stands for the attack.
    const std::uint64_t elsewhere = e.LoadAttacked(e.Workspace().X_wave(), e.Workspace().X_wave_real());
    EXPECT_FALSE(e.Holds(blur));
    EXPECT_TRUE(e.Holds(elsewhere));
    e.Run(Step::NoAttack);
    EXPECT_FALSE(e.Holds(elsewhere));

    // An earlier step of the embedding again: a new embedding, X_hat no longer follows.
    e.Run(Step::GetWr);
    EXPECT_FALSE(e.Holds(embedding.front()));
    EXPECT_GT(e.EmbeddingRun(), embedded);
    EXPECT_FALSE(e.EmbeddingInOrder());
    for (const Step step : Experiment::EmbeddingChain())
        if (step != Step::GetWr) e.Run(step);
    EXPECT_TRUE(e.EmbeddingInOrder());

    Bitmap host(256, 256, 80);
    Bitmap mark(128, 128, 0);
    e.Load(host, mark);
    EXPECT_EQ(e.EmbeddingRun(), 0u);
    EXPECT_FALSE(e.Holds(psnrAgain));
}

// The seed of one Get Wr is used once; a fixed seed stays.
TEST(ExperimentRuns, ASeedForTheNextGetWrIsUsedOnce) {
    Experiment e = Loaded(99);
    EXPECT_EQ(e.NextSeed(), std::nullopt);
    EXPECT_EQ(e.Run(Step::GetWr).seed, 99u);
    EXPECT_EQ(e.Run(Step::GetWr).seed, 99u);
    e.SetNextSeed(1234);
    EXPECT_EQ(e.NextSeed(), 1234u);
    EXPECT_EQ(e.Run(Step::GetWr).seed, 1234u);
    EXPECT_EQ(e.NextSeed(), std::nullopt);
    EXPECT_EQ(e.Workspace().GetFixedSeed(), std::nullopt);  // the clock from now on
}

// Embedding once and then attacking many times from the same X_hat gives what a fresh run of
// each single attack gives; copies continue on their own, also on other threads.
TEST(ExperimentRuns, AttacksFromOneEmbeddingAreIndependent) {
    std::vector<std::optional<double>> fresh;
    std::vector<TWatermark::Bytes> freshViews;
    for (const Step attack : Experiment::Attacks()) {
        Experiment e = Loaded();
        e.Embed();
        fresh.push_back(e.AttackAndExtract(attack).back().nc);
        freshViews.push_back(e.Workspace().W_wave());
    }

    Experiment once = Loaded();
    once.Embed();
    const TWatermark::Bytes xHat = once.Workspace().X_hat();
    const ExtractionKey key = once.Workspace().Key();
    // In reverse order, so that no attack can lean on the one the fresh runs had before.
    for (std::size_t i = Experiment::Attacks().size(); i-- > 0;) {
        const std::vector<StepResult> results = once.AttackAndExtract(Experiment::Attacks()[i]);
        ASSERT_EQ(results.size(), 1 + Experiment::ExtractionChain().size() + 1);
        EXPECT_EQ(results.back().nc, fresh[i]) << i;
        EXPECT_EQ(once.Workspace().W_wave(), freshViews[i]) << i;
    }
    EXPECT_EQ(once.Workspace().X_hat(), xHat);
    EXPECT_EQ(once.Workspace().Key(), key);

    // Copies on two threads, each its own attack.
    Experiment left = once;
    Experiment right = once;
    std::optional<double> leftNc, rightNc;
    std::thread a([&] { leftNc = left.AttackAndExtract(Step::Jpeg).back().nc; });
    std::thread b([&] { rightNc = right.AttackAndExtract(Step::CropZeroHalf).back().nc; });
    a.join();
    b.join();
    EXPECT_EQ(leftNc, fresh[1]);
    EXPECT_EQ(rightNc, fresh[5]);
    EXPECT_THROW(once.AttackAndExtract(Step::GetY), ArgumentError);
}

// A picture attacked elsewhere goes through the same extraction as the menu's attacks.
TEST(ExperimentRuns, ExtractFromAPictureAttackedElsewhere) {
    Experiment e = Loaded();
    const TWatermark::Bytes none(TWatermark::kHostPixels, 0);
    EXPECT_THROW(e.ExtractFrom(none, std::vector<double>(none.size())), StepRefused);
    e.Embed();
    const std::vector<StepResult> menu = e.AttackAndExtract(Step::Blurring);
    const TWatermark::Bytes extracted = e.Workspace().W_wave();
    const TWatermark::Bytes attacked = e.Workspace().X_wave();
    const TWatermark::Reals attackedReal = e.Workspace().X_wave_real();
    e.Run(Step::NoAttack);  // anything else in X_wave meanwhile
    const std::vector<StepResult> elsewhere = e.ExtractFrom(attacked, attackedReal);
    ASSERT_EQ(elsewhere.size(), menu.size() - 1);  // no attack step of its own
    EXPECT_EQ(elsewhere.back().nc, menu.back().nc);
    EXPECT_EQ(e.Workspace().W_wave(), extracted);
    EXPECT_FALSE(e.HasRun(Step::NoAttack));
    for (const Step step : Experiment::ExtractionChain()) EXPECT_TRUE(e.HasRun(step));
}

// Loaded without extracting, a picture attacked elsewhere lets the extraction run one step at
// a time, and goes like an attack: with the next attack, a new load or a forget.
TEST(ExperimentRuns, APictureAttackedElsewhereStandsForAnAttack) {
    Experiment e = Loaded();
    const TWatermark::Bytes gray(TWatermark::kHostPixels, 128);
    const std::vector<double> grayReal(gray.size(), 128.0);
    EXPECT_THROW(e.LoadAttacked(gray, grayReal), StepRefused);
    e.Embed();
    e.AttackAndExtract(Step::Jpeg);
    EXPECT_THROW(e.LoadAttacked(gray, std::vector<double>(7)), ArgumentError);
    EXPECT_TRUE(e.HasRun(Step::GetNC));  // the refusal changed nothing
    EXPECT_FALSE(e.AttackedElsewhere());

    const TWatermark::Bytes attacked = e.Workspace().X_wave();
    const TWatermark::Reals attackedReal = e.Workspace().X_wave_real();
    const std::optional<double> menuNc = e.Workspace().GetNC();
    e.LoadAttacked(attacked, attackedReal);
    EXPECT_TRUE(e.AttackedElsewhere());
    for (const Step step : Experiment::Attacks()) EXPECT_FALSE(e.HasRun(step));
    for (const Step step : Experiment::ExtractionChain()) EXPECT_FALSE(e.HasRun(step));
    EXPECT_FALSE(e.CanRun(Step::GetYr_wave));
    std::optional<double> nc;
    for (const Step step : Experiment::ExtractionChain()) e.Run(step);
    nc = e.Run(Step::GetNC).nc;
    EXPECT_EQ(nc, menuNc);

    const auto expectGone = [](Experiment& x, const char* after) {
        EXPECT_FALSE(x.AttackedElsewhere()) << after;
    };
    Experiment attackedAgain = e;
    attackedAgain.Run(Step::Blurring);
    expectGone(attackedAgain, "an attack");
    EXPECT_TRUE(attackedAgain.CanRun(Step::GetY_wave));
    Experiment forgotten = e;
    forgotten.Forget();
    expectGone(forgotten, "Forget");
    EXPECT_FALSE(forgotten.CanRun(Step::GetY_wave));
    Experiment restored = e;
    restored.RestoreKey(e.Workspace().Key());
    expectGone(restored, "RestoreKey");
    EXPECT_FALSE(restored.CanRun(Step::GetY_wave));
}

TEST(ExperimentRuns, TheExtractionKeyCarriesTheEmbeddingToAnotherWorkspace) {
    Experiment source = Loaded(7);
    source.Embed();
    Experiment target;
    target.RestoreKey(source.Workspace().Key());
    EXPECT_EQ(target.Workspace().Key(), source.Workspace().Key());
    EXPECT_TRUE(target.Done().Empty());

    ExtractionKey broken = source.Workspace().Key();
    broken.RandPos.pop_back();
    EXPECT_THROW(target.RestoreKey(broken), ArgumentError);
    broken = source.Workspace().Key();
    broken.RandPos[3] = 16384;
    EXPECT_THROW(target.RestoreKey(broken), ArgumentError);
    broken = source.Workspace().Key();
    broken.XBlockOrder[0] = 1024;
    EXPECT_THROW(target.RestoreKey(broken), ArgumentError);
    EXPECT_EQ(target.Workspace().Key(), source.Workspace().Key());  // unchanged by the refusals
}

}  // namespace
}  // namespace quillfen
