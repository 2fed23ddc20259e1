// Whole camera photographs through the sweep and through embedding and reading (CTest label
// "slow"): two of the pictures `scripts/photos.sh develop` lists, from Debian's wallpaper
// packages. Where the package group `photos` is not installed the tests are skipped.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "quillfen/attacks/attack_list.h"
#include "quillfen/benchmark/robustness.h"
#include "quillfen/image/image_view.h"
#include "quillfen/io/picture_files.h"
#include "quillfen/watermark/metrics.h"

namespace quillfen {
namespace {

struct Photograph {
    std::string Path;
    Bitmap Picture;
};

// Two of the develop photographs: the two smallest of them (1.3 and 1.8 megapixels, MATE's
// GreenMeadow and Dune) when they are there, else the first two listed.
std::vector<Photograph> TwoPhotographs() {
    std::vector<std::string> listed;
    const std::string command = "bash '" QUILLFEN_SOURCE_DIR "/scripts/photos.sh' develop 2>/dev/null";
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char line[4096];
        while (std::fgets(line, sizeof line, pipe) != nullptr) {
            std::string path = line;
            while (!path.empty() && (path.back() == '\n' || path.back() == '\r')) path.pop_back();
            if (!path.empty()) listed.push_back(path);
        }
        ::pclose(pipe);
    }
    std::vector<std::string> chosen;
    for (const char* name : {"/GreenMeadow.jpg", "/Dune.jpg"})
        for (const std::string& path : listed)
            if (path.size() > std::string(name).size() && path.ends_with(name)) chosen.push_back(path);
    for (std::size_t i = 0; chosen.size() < 2 && i < listed.size(); ++i)
        if (chosen.empty() || chosen[0] != listed[i]) chosen.push_back(listed[i]);
    std::vector<Photograph> photos;
    for (const std::string& path : chosen) photos.push_back({path, LoadPictureFile(path).bitmap});
    return photos;
}

std::vector<RobustnessRow> Rows(const SweepPlan& plan) {
    std::vector<RobustnessRow> rows;
    SweepCallbacks callbacks;
    callbacks.Row = [&](std::uint64_t, const RobustnessRow& row) { rows.push_back(row); };
    RunSweep(plan, callbacks);
    return rows;
}

// The blind methods mark each photograph whole, in colour; two threads give the rows one thread
// gives (each (photograph, seed, method) embedded once, the host through each cell shared by
// the two methods); an untouched marked picture is read at 1e-6 with its payload, and the
// embedding's PSNR is that of the method's own embedding of the photograph.
TEST(Photographs, TheSweepMarksThemWholeAndTwoThreadsGiveTheRowsOfOne) {
    const std::vector<Photograph> photos = TwoPhotographs();
    if (photos.empty()) GTEST_SKIP() << "no develop photograph installed (bash scripts/install-deps.sh photos)";
    SweepPlan plan;
    for (const Photograph& photo : photos) {
        const Bitmap* picture = &photo.Picture;
        plan.Hosts.push_back({photo.Path, [picture] { return *picture; }});
    }
    plan.Seeds = {1};
    plan.Cells = ParseAttackCells("none,real-jpeg:q=75,gauss-noise:sigma=4,scale:f=0.75");
    const std::vector<std::string> names = {"spread-spectrum", "qim"};
    std::vector<std::shared_ptr<const WatermarkMethod>> methods;
    for (const std::string& name : names) {
        methods.push_back(MakeMethod(ParseMethodSpec(name)));
        plan.Methods.push_back(SweepMethodOf(methods.back(), "built in"));
    }
    plan.Jobs = 2;
    const std::vector<RobustnessRow> two = Rows(plan);
    plan.Jobs = 1;
    const std::vector<RobustnessRow> one = Rows(plan);
    ASSERT_EQ(two.size(), photos.size() * 2 * 4);
    EXPECT_EQ(two, one);
    for (std::size_t r = 0; r < two.size(); ++r) {
        const RobustnessRow& row = two[r];
        const Photograph& photo = photos[r / 8];
        ASSERT_FALSE(row.Failed()) << row.Host << " " << row.Attack << ": " << row.Error;
        EXPECT_EQ(row.Width, photo.Picture.width());
        EXPECT_EQ(row.Height, photo.Picture.height());
        EXPECT_EQ(row.Region, "whole");
        if (row.Attack != "none") continue;
        EXPECT_EQ(row.Detected1e6, true) << row.Host << " " << row.Identity.Method;
        EXPECT_EQ(row.PayloadMatch, true) << row.Host << " " << row.Identity.Method;
        EXPECT_TRUE(std::isinf(row.Psnr));
        EXPECT_EQ(row.Ssim, 1.0);
        const WatermarkMethod& method = *methods[(r / 4) % 2];
        const MethodMarked marked =
            method.Embed(ViewOf(photo.Picture), {Bitmap(), PayloadFromSeed(1, method.PayloadBits())}, 1);
        EXPECT_EQ(row.PsnrEmbed, ViewerPsnr(marked.Picture, photo.Picture)) << row.Host << " " << method.Name();
    }
}

// Each blind method's mark on a whole photograph is read back bit for bit from the marked
// picture, and an unmarked photograph does not give its payload.
TEST(Photographs, EmbeddingAndReadingGiveThePayloadBack) {
    const std::vector<Photograph> photos = TwoPhotographs();
    if (photos.empty()) GTEST_SKIP() << "no develop photograph installed (bash scripts/install-deps.sh photos)";
    const Photograph& photo = photos[0];
    for (const char* name : {"spread-spectrum", "qim"}) {
        const std::unique_ptr<WatermarkMethod> method = MakeMethod(ParseMethodSpec(name));
        const std::vector<std::uint8_t> payload = PayloadFromSeed(20261209, method->PayloadBits());
        const MethodMarked marked = method->Embed(ViewOf(photo.Picture), {Bitmap(), payload}, 20261209);
        ASSERT_EQ(marked.Picture.width(), photo.Picture.width());
        ASSERT_EQ(marked.Picture.height(), photo.Picture.height());
        EXPECT_GT(ViewerPsnr(marked.Picture, photo.Picture), 30.0) << name;
        const MethodReading reading = method->Detect(ViewOf(marked.Picture), marked.Key);
        EXPECT_EQ(reading.Bits, payload) << name;
        EXPECT_EQ(reading.BitAccuracy, 1.0) << name;
        const MethodReading unmarked = method->Detect(ViewOf(photo.Picture), marked.Key);
        EXPECT_NE(unmarked.Bits, payload) << name;
        EXPECT_LT(std::abs(unmarked.Score), std::abs(reading.Score)) << name;
    }
}

}  // namespace
}  // namespace quillfen
