#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "quillfen/image/bitmap.h"
#include "quillfen/io/pgm.h"
#include "tests/cli/run_cli.h"
#include "tests/test_support.h"

namespace quillfen {
namespace {

using test::CliResult;
using test::RunCli;

const std::string kHost = test::SamplePath("camera-512.bmp");
const std::string kMark = test::SamplePath("seal-128.bmp");

TEST(Experiment, JsonReportIsCompleteAndRepeatable) {
    QF_SKIP_WITHOUT_BMP();
    const CliResult first = RunCli({"experiment", kHost, kMark, "--seed", "4242", "--json"});
    ASSERT_EQ(first.code, 0) << first.err;
    const nlohmann::json report = nlohmann::json::parse(first.out);
    EXPECT_EQ(report["seed"], 4242);
    EXPECT_GT(report["wr_count"].get<int>(), 0);
    EXPECT_EQ(report["wr_count"], report["wa_count"]);
    EXPECT_TRUE(report["psnr"].is_number_float());
    EXPECT_TRUE(report["sum_sq"].is_number_float());
    const std::vector<std::string> order = {"none", "jpeg", "blur", "crop-zero-quarter", "crop-image-quarter",
                                            "crop-zero-half", "crop-image-half"};
    ASSERT_EQ(report["attacks"].size(), order.size());
    for (const std::string& name : order) {
        const auto& entry = report["attacks"][name];
        ASSERT_TRUE(entry["nc"].is_number_float()) << name;
        EXPECT_GE(entry["nc"].get<double>(), 0.0);
        EXPECT_LE(entry["nc"].get<double>(), 1.0);
        EXPECT_EQ(entry.contains("psnr"), name == "jpeg") << name;
    }
    EXPECT_TRUE(report["attacks"]["jpeg"]["diff"].is_number_float());

    const CliResult second = RunCli({"experiment", kHost, kMark, "--seed", "4242", "--json"});
    EXPECT_EQ(second.out, first.out);
    const CliResult other = RunCli({"experiment", kHost, kMark, "--seed", "4243", "--json"});
    EXPECT_NE(other.out, first.out);
}

TEST(Experiment, TextReportShowsTheStatusTexts) {
    QF_SKIP_WITHOUT_BMP();
    const CliResult r = RunCli({"experiment", kHost, kMark, "--seed", "7", "--attack", "jpeg"});
    ASSERT_EQ(r.code, 0) << r.err;
    for (const char* text : {"seed = 7\n", "Wr count =", "Wa count =", "\nPSNR = ", "NC =", "Diff = "})
        EXPECT_NE(r.out.find(text), std::string::npos) << text << "\n" << r.out;
    EXPECT_EQ(r.out.find("blur"), std::string::npos);
}

TEST(Experiment, ClockSeedIsPrintedAndRepeatsTheRun) {
    QF_SKIP_WITHOUT_BMP();
    const CliResult r = RunCli({"experiment", kHost, kMark, "--json", "--attack", "none"});
    ASSERT_EQ(r.code, 0) << r.err;
    const nlohmann::json report = nlohmann::json::parse(r.out);
    const auto seed = report["seed"].get<std::uint32_t>();
    EXPECT_LT(seed, 86400000u);
    const CliResult again = RunCli({"experiment", kHost, kMark, "--json", "--attack", "none", "--seed",
                                    std::to_string(seed)});
    EXPECT_EQ(again.out, r.out);
}

TEST(Experiment, ChosenAttacksRunOnceInTheOrderGiven) {
    QF_SKIP_WITHOUT_BMP();
    const CliResult r = RunCli({"experiment", kHost, kMark, "--seed", "1", "--json", "--attack", "blur",
                                "--attack", "none,blur"});
    ASSERT_EQ(r.code, 0) << r.err;
    const nlohmann::ordered_json report = nlohmann::ordered_json::parse(r.out);
    std::vector<std::string> names;
    for (const auto& [name, value] : report["attacks"].items()) names.push_back(name);
    EXPECT_EQ(names, (std::vector<std::string>{"blur", "none"}));
}

// A watermark without black pixels: nothing to correlate, so NC has no value.
TEST(Experiment, WhiteWatermarkGivesUndefinedNc) {
    QF_SKIP_WITHOUT_BMP();
    test::TempDir dir;
    TRixPGM().SaveToFile(dir.file("white.pgm"), Bitmap(128, 128, 255));
    CliResult r = RunCli({"experiment", kHost, dir.file("white.pgm"), "--seed", "3", "--json", "--attack", "none"});
    ASSERT_EQ(r.code, 0) << r.err;
    const nlohmann::json report = nlohmann::json::parse(r.out);
    EXPECT_EQ(report["wr_count"], 0);
    EXPECT_TRUE(report["attacks"]["none"]["nc"].is_null());
    r = RunCli({"experiment", kHost, dir.file("white.pgm"), "--seed", "3", "--attack", "none"});
    EXPECT_NE(r.out.find("NC =undefined"), std::string::npos) << r.out;
}

TEST(Experiment, OutWritesEveryView) {
    QF_SKIP_WITHOUT_BMP();
    test::TempDir dir;
    const std::string out = dir.file("views");
    const CliResult r = RunCli({"experiment", kHost, kMark, "--seed", "11", "--out", out + "/", "--attack", "jpeg",
                                "--attack", "crop-zero-half"});
    ASSERT_EQ(r.code, 0) << r.err;
    const std::vector<std::string> top = {"P.pgm", "P_hat.pgm", "W.pgm", "Wa.pgm", "Wr.pgm", "X.pgm", "X_hat.pgm",
                                          "Y.pgm", "Y_hat.pgm", "Yr.pgm", "Yr_hat.pgm", "difference.pgm"};
    const std::vector<std::string> perAttack = {"P_wave.pgm", "W_wave.pgm", "Wa_wave.pgm", "Wr_wave.pgm",
                                                "X_wave.pgm", "Y_wave.pgm", "Yr_wave.pgm"};
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(out))
        if (entry.is_regular_file()) files.push_back(std::filesystem::relative(entry.path(), out).string());
    std::vector<std::string> expected = top;
    for (const char* attack : {"jpeg", "crop-zero-half"})
        for (const std::string& name : perAttack) expected.push_back(std::string(attack) + "/" + name);
    std::sort(files.begin(), files.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(files, expected);
    EXPECT_EQ(dir.listing(), std::vector<std::string>{"views"});  // no staging folder left

    Bitmap picture;
    TRixPGM().LoadFromFile(out + "/W.pgm", picture);
    EXPECT_EQ(picture.width(), 128);
    for (int y = 0; y < 128; ++y)
        for (int x = 0; x < 128; ++x) ASSERT_TRUE(picture.blue(x, y) == 0 || picture.blue(x, y) == 255);
    TRixPGM().LoadFromFile(out + "/crop-zero-half/X_wave.pgm", picture);
    EXPECT_EQ(picture.width(), 256);
    EXPECT_EQ(picture.blue(100, 10), 0);  // row 10 lies in the zeroed half
}

TEST(Experiment, OutAcceptsAnEmptyFolder) {
    QF_SKIP_WITHOUT_BMP();
    test::TempDir dir;
    const std::string out = dir.file("views");
    std::filesystem::create_directory(out);
    const CliResult r = RunCli({"experiment", kHost, kMark, "--seed", "2", "--out", out, "--attack", "none"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(std::filesystem::exists(out + "/none/W_wave.pgm"));
    EXPECT_EQ(dir.listing(), std::vector<std::string>{"views"});
}

TEST(Experiment, FailuresExitTwoAndLeaveTheFolderAlone) {
    QF_SKIP_WITHOUT_BMP();
    test::TempDir dir;
    const std::string out = dir.file("views");
    struct Case {
        std::vector<std::string> args;
        const char* message;
    };
    const Case cases[] = {
        {{"experiment", "/nonexistent/host.pgm", kMark, "--out", out}, "Cannot open file /nonexistent/host.pgm"},
        {{"experiment", kHost, "/nonexistent/mark.bmp", "--out", out}, "mark.bmp"},
        {{"experiment", kHost, kMark, "--attack", "sharpen"}, "sharpen"},
        {{"experiment", kHost, kMark, "--seed", "4294967296"}, "--seed"},
        {{"experiment", kHost, kMark, "--seed", "12x"}, "--seed"},
        {{"experiment", kHost, kMark, "--out", dir.file("missing/views")}, "parent folder does not exist"},
        {{"experiment", kHost}, "MARK"},
    };
    for (const Case& c : cases) {
        const CliResult r = RunCli(c.args);
        EXPECT_EQ(r.code, 2) << c.message;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        EXPECT_TRUE(r.out.empty()) << r.out;
        EXPECT_TRUE(dir.listing().empty()) << c.message;
    }

    // A folder that already holds something is refused and kept as it was.
    std::filesystem::create_directory(out);
    test::WriteBytes(out + "/mine.txt", std::string("keep me"));
    const CliResult r = RunCli({"experiment", kHost, kMark, "--seed", "1", "--out", out});
    EXPECT_EQ(r.code, 2);
    EXPECT_NE(r.err.find("not empty"), std::string::npos) << r.err;
    EXPECT_EQ(dir.listing(), std::vector<std::string>{"views"});
    std::vector<std::string> inside;
    for (const auto& entry : std::filesystem::directory_iterator(out)) inside.push_back(entry.path().filename().string());
    EXPECT_EQ(inside, std::vector<std::string>{"mine.txt"});
}

// Changes the working folder for the length of a scope.
class WorkingFolder {
public:
    explicit WorkingFolder(const std::filesystem::path& folder) : old_(std::filesystem::current_path()) {
        std::filesystem::current_path(folder);
    }
    ~WorkingFolder() { std::filesystem::current_path(old_); }

private:
    std::filesystem::path old_;
};

struct FolderState {
    unsigned mode = 0;
    unsigned owner = 0;
};

FolderState StateOf(const std::string& path) {
    struct stat info {};
    ::lstat(path.c_str(), &info);
    return {info.st_mode, info.st_uid};
}

std::vector<std::string> Entries(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// What --out accepts and refuses. Each case prepares a scratch folder (which is also the
// working folder), names DIR, and checks the folder afterwards.
TEST(Experiment, OutFolderRules) {
    QF_SKIP_WITHOUT_BMP();
    namespace fs = std::filesystem;
    struct Case {
        const char* name;
        std::function<std::string(const test::TempDir&)> setup;  // returns the --out argument
        const char* error;  // nullptr: the run succeeds
        std::function<void(const test::TempDir&)> check;
    };
    const std::string longName(255, 'v');
    const Case cases[] = {
        {"an existing empty folder keeps its permission bits and owner",
         [](const test::TempDir& d) {
             fs::create_directory(d.file("views"));
             ::chmod(d.file("views").c_str(), 0710);
             return d.file("views");
         },
         nullptr,
         [](const test::TempDir& d) {
             EXPECT_EQ(StateOf(d.file("views")).mode & 07777, 0710u);
             EXPECT_EQ(StateOf(d.file("views")).owner, ::geteuid());
             EXPECT_TRUE(fs::exists(d.file("views/none/W_wave.pgm")));
             EXPECT_EQ(d.listing(), std::vector<std::string>{"views"});
         }},
        {"a link to an empty folder fills the folder and keeps the link",
         [](const test::TempDir& d) {
             fs::create_directory(d.file("real"));
             fs::create_symlink("real", d.file("link"));
             return d.file("link");
         },
         nullptr,
         [](const test::TempDir& d) {
             EXPECT_TRUE(fs::is_symlink(d.file("link")));
             EXPECT_TRUE(fs::exists(d.file("real/X_hat.pgm")));
             EXPECT_EQ(d.listing(), (std::vector<std::string>{"link", "real"}));
         }},
        {"a new name of 255 bytes, whose work folder name is shortened",
         [&](const test::TempDir& d) { return d.file(longName); }, nullptr,
         [&](const test::TempDir& d) {
             EXPECT_TRUE(fs::exists(d.file(longName + "/W.pgm")));
             EXPECT_EQ(d.listing(), std::vector<std::string>{longName});
         }},
        {"the working folder", [](const test::TempDir&) { return std::string("."); },
         "is the working folder or holds it", [](const test::TempDir& d) { EXPECT_TRUE(d.listing().empty()); }},
        {"a parent of the working folder",
         [](const test::TempDir& d) {
             fs::create_directory(d.file("inner"));
             fs::current_path(d.file("inner"));
             return std::string("..");
         },
         "is the working folder or holds it",
         [](const test::TempDir& d) { EXPECT_EQ(d.listing(), std::vector<std::string>{"inner"}); }},
        {"a folder that is not empty",
         [](const test::TempDir& d) {
             fs::create_directory(d.file("views"));
             test::WriteBytes(d.file("views/mine.txt"), std::string("keep"));
             return d.file("views");
         },
         "is not empty", [](const test::TempDir& d) { EXPECT_EQ(Entries(d.file("views")), std::vector<std::string>{"mine.txt"}); }},
        {"a file", [](const test::TempDir& d) {
             test::WriteBytes(d.file("views"), std::string("keep"));
             return d.file("views");
         },
         "exists and is not a folder", [](const test::TempDir& d) { EXPECT_EQ(d.listing(), std::vector<std::string>{"views"}); }},
        {"a name one byte too long", [&](const test::TempDir& d) { return d.file(longName + "v"); },
         "(File name too long)", [](const test::TempDir& d) { EXPECT_TRUE(d.listing().empty()); }},
        {"a link to a missing folder", [](const test::TempDir& d) {
             fs::create_symlink("gone", d.file("link"));
             return d.file("link");
         },
         "is a link to a missing folder", [](const test::TempDir& d) { EXPECT_EQ(d.listing(), std::vector<std::string>{"link"}); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::TempDir dir;
        WorkingFolder here(dir.path());
        const std::string out = c.setup(dir);
        const CliResult r = RunCli({"experiment", kHost, kMark, "--seed", "5", "--attack", "none", "--out", out});
        if (c.error == nullptr) {
            EXPECT_EQ(r.code, 0) << r.err;
            EXPECT_EQ(r.err, "");
        } else {
            EXPECT_EQ(r.code, 2);
            EXPECT_EQ(r.err.rfind("quillfen-cli: --out: ", 0), 0u) << r.err;
            EXPECT_NE(r.err.find(c.error), std::string::npos) << r.err;
            EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
            EXPECT_EQ(r.out, "");
        }
        c.check(dir);
    }
}

// A run that fails after the folder was checked leaves an existing folder as it was and no
// work folder behind.
TEST(Experiment, AFailedRunLeavesTheFolderAsItWas) {
    test::TempDir dir;
    const std::string out = dir.file("views");
    std::filesystem::create_directory(out);
    ::chmod(out.c_str(), 0700);
    const CliResult r = RunCli({"experiment", "/nonexistent/host.pgm", kMark, "--out", out});
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(dir.listing(), std::vector<std::string>{"views"});
    EXPECT_TRUE(Entries(out).empty());
    EXPECT_EQ(StateOf(out).mode & 07777, 0700u);
}

// A folder the user may not read is reported as unreadable, not as "not empty".
TEST(Experiment, AnUnreadableFolderIsReportedAsSuch) {
    test::TempDir dir;
    ::chmod(dir.path().c_str(), 0777);
    const std::string out = dir.file("locked");
    ::testing::internal::CaptureStderr();
    const int code = test::RunUnprivileged([&] {
        if (::mkdir(out.c_str(), 0700) != 0 || ::chmod(out.c_str(), 0) != 0) return 90;
        std::vector<std::string> args = {"quillfen-cli", "experiment", kHost, kMark, "--out", out};
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        return cli::Run(static_cast<int>(argv.size()), argv.data());
    });
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(code, 2);
    EXPECT_EQ(err, "quillfen-cli: --out: cannot read folder '" + out + "' (Permission denied)\n");
    ::chmod(out.c_str(), 0700);
}

TEST(Experiment, HelpNamesTheOptions) {
    const CliResult r = RunCli({"experiment", "--help"});
    EXPECT_EQ(r.code, 0);
    for (const char* text : {"--seed", "--attack", "--out", "--json", "crop-image-half"})
        EXPECT_NE(r.out.find(text), std::string::npos) << text;
}

}  // namespace
}  // namespace quillfen
