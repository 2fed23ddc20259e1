// Methods run as programs: what identifies one, how its commands are run and ended, and how
// what its detection prints is read.
#include "quillfen/methods/method_command.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "quillfen/image/errors.h"
#include "quillfen/io/picture_files.h"
#include "quillfen/watermark/marking.h"
#include "tests/test_support.h"

namespace quillfen {
namespace {

// A method run as programs at its defaults, as a front end makes it from its description.
std::shared_ptr<const WatermarkMethod> Load(const std::filesystem::path& described) {
    return MakeMethod(DefaultsOf(LoadMethodCommand(described)));
}

namespace fs = std::filesystem;

Bitmap Host() { return LoadPictureFile(test::SamplePath("hosts/rocket.pgm")).bitmap; }

const std::string kCopy = R"("embed": ["/bin/cp", "{host}", "{out}"])";

// TMPDIR pointed at a folder of the test's own for as long as it lives, so that the folders
// the method's embeddings make can be counted.
class TempFolderHere {
public:
    explicit TempFolderHere(const fs::path& folder) {
        if (const char* old = std::getenv("TMPDIR")) old_ = old;
        ::setenv("TMPDIR", folder.c_str(), 1);
    }
    ~TempFolderHere() {
        if (old_) ::setenv("TMPDIR", old_->c_str(), 1);
        else ::unsetenv("TMPDIR");
    }

private:
    std::optional<std::string> old_;
};

// Whether a process still runs (a zombie waiting for its parent does not).
bool Running(const std::string& pidFile) {
    std::ifstream in(pidFile);
    long pid = 0;
    if (!(in >> pid) || pid <= 0) return false;
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line)) return false;
    const std::size_t close = line.rfind(')');
    return close != std::string::npos && close + 2 < line.size() && line[close + 2] != 'Z';
}

bool GoneWithin(const std::string& pidFile, std::chrono::seconds limit) {
    const auto until = std::chrono::steady_clock::now() + limit;
    while (Running(pidFile)) {
        if (std::chrono::steady_clock::now() > until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

// Two descriptions of one name with other defaults, a changed program and a link to a
// description elsewhere: the digest tells the first two apart and follows the program; the
// link runs the method of the file it leads to, beside that file.
TEST(MethodCommands, TheDigestCoversTheDescriptionAndTheFilesItNames) {
    test::TempDir dir;
    fs::create_directories(dir.path() / "a");
    fs::create_directories(dir.path() / "elsewhere");
    test::WriteBytes(dir.file("a/prog.sh"), "cp \"$1\" \"$2\"\n");
    const std::string first = R"({"name": "m", "embed": ["/bin/sh", "{dir}/prog.sh", "{host}", "{out}"],
        "detect": ["/bin/true", "{dir}/missing.bin", "--weights={dir}/w/{seed}.bin"],
        "strength": {"lowest": 1, "highest": 9, "default": 3}})";
    std::string second = first;
    second.replace(second.find("\"default\": 3"), 12, "\"default\": 4");
    test::WriteBytes(dir.file("a/m.json"), first);
    test::WriteBytes(dir.file("a/other.json"), second);
    const auto method = Load(dir.file("a/m.json"));
    const MethodCommandSource* source = MethodCommandSourceOf(*method);
    ASSERT_NE(source, nullptr);
    const std::string real = fs::canonical(dir.path() / "a").string();
    // The program and the missing file, each once; "{dir}/w/" names a folder, not a file.
    EXPECT_EQ(source->Files, (std::vector<fs::path>{real + "/missing.bin", real + "/prog.sh"}));
    EXPECT_EQ(source->Digest.size(), 16u);
    EXPECT_EQ(MethodCommandSourceOf(*method->WithStrength(5))->Digest, source->Digest);
    EXPECT_NE(MethodCommandSourceOf(*Load(dir.file("a/other.json")))->Digest, source->Digest);
    EXPECT_EQ(MethodCommandSourceOf(*MakeMethod(ParseMethodSpec("qim"))), nullptr);

    fs::create_symlink(dir.path() / "a" / "m.json", dir.path() / "elsewhere" / "link.json");
    const auto linked = Load(dir.file("elsewhere/link.json"));
    EXPECT_EQ(MethodCommandSourceOf(*linked)->Digest, source->Digest);
    EXPECT_EQ(MethodCommandSourceOf(*linked)->Files, source->Files);
    const MethodMarked marked = linked->Embed(ViewOf(Host()), {}, 1);
    EXPECT_EQ(GrayOf(marked.Picture).pixels(), GrayOf(Host()).pixels());

    test::WriteBytes(dir.file("a/prog.sh"), "cp \"$1\" \"$2\"  # changed\n");
    EXPECT_NE(MethodCommandSourceOf(*Load(dir.file("a/m.json")))->Digest, source->Digest);
    test::WriteBytes(dir.file("a/missing.bin"), "now here");
    EXPECT_NE(MethodCommandSourceOf(*Load(dir.file("a/m.json")))->Digest, source->Digest);
}

// A command that sends its output elsewhere and lingers is killed at its time limit with what
// it started; one that leaves a child behind when it ends takes the child along; neither
// leaves its folder behind.
TEST(MethodCommands, TheWholeGroupEndsAtTheTimeLimitAndWithTheCommand) {
    test::TempDir dir;
    fs::create_directories(dir.path() / "tmp");
    const TempFolderHere here(dir.path() / "tmp");
    test::WriteBytes(dir.file("quiet.json"), R"({"name": "quiet", "time_limit_seconds": 1,
        "embed": ["/bin/sh", "-c", "exec >>{dir}/log 2>&1; sleep 30 & echo $! > {dir}/child; sleep 30"],
        "detect": ["/bin/true"]})");
    const auto start = std::chrono::steady_clock::now();
    try {
        Load(dir.file("quiet.json"))->Embed(ViewOf(Host()), {}, 1);
        ADD_FAILURE() << "no time limit";
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "method quiet: embed ran past its time limit of 1 s and was stopped");
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    EXPECT_TRUE(GoneWithin(dir.file("child"), std::chrono::seconds(5)));
    EXPECT_EQ(dir.listing(), (std::vector<std::string>{"child", "log", "quiet.json", "tmp"}));
    EXPECT_TRUE(fs::is_empty(dir.path() / "tmp"));

    test::WriteBytes(dir.file("leaves.json"), R"({"name": "leaves",
        "embed": ["/bin/sh", "-c", "sleep 30 >/dev/null 2>&1 & echo $! > {dir}/left; cp {host} {out}"],
        "detect": ["/bin/true"]})");
    {
        const MethodMarked marked = Load(dir.file("leaves.json"))->Embed(ViewOf(Host()), {}, 1);
        EXPECT_TRUE(GoneWithin(dir.file("left"), std::chrono::seconds(5)));
        EXPECT_EQ(std::distance(fs::directory_iterator(dir.path() / "tmp"), fs::directory_iterator()), 1);
    }
    EXPECT_TRUE(fs::is_empty(dir.path() / "tmp"));
}

// A method that logs much and prints its verdict last is read; only a last line longer than
// what is kept is refused, and said so.
TEST(MethodCommands, ALongLogBeforeTheVerdictIsRead) {
    test::TempDir dir;
    test::WriteBytes(dir.file("chatty.sh"), "head -c 3000000 /dev/zero | tr '\\0' x; echo\n"
                                            "head -c 300000 /dev/zero | tr '\\0' e >&2\n"
                                            "echo '{\"score\": 0.25, \"bits\": \"1011\"}'\n");
    test::WriteBytes(dir.file("chatty.json"), R"({"name": "chatty", "payload_bits": 4, )" + kCopy +
                                                  R"(, "detect": ["/bin/sh", "{dir}/chatty.sh"]})");
    const auto chatty = Load(dir.file("chatty.json"));
    const MethodMarked marked = chatty->Embed(ViewOf(Host()), {{}, {1, 0, 1, 0}}, 1);
    const MethodReading reading = chatty->Detect(ViewOf(marked.Picture), marked.Key);
    EXPECT_EQ(reading.Score, 0.25);
    EXPECT_EQ(reading.BitAccuracy, 0.75);

    test::WriteBytes(dir.file("long.json"), R"({"name": "long", )" + kCopy +
                                                R"(, "detect": ["/bin/sh", "-c", "head -c 1100000 /dev/zero | tr '\\0' x"]})");
    const auto longLine = Load(dir.file("long.json"));
    const MethodMarked other = longLine->Embed(ViewOf(Host()), {}, 1);
    try {
        longLine->Detect(ViewOf(other.Picture), other.Key);
        ADD_FAILURE() << "a line longer than what is kept";
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "method long: detect printed a last line longer than the 1 MiB of its output that is kept");
    }
}

TEST(MethodCommands, WhatTheDetectionPrintsIsReadOrRefused) {
    const std::vector<std::uint8_t> payload = {1, 1, 0};
    const MethodReading read = ReadDetectionOutput("log\n\n{\"score\": -0.5, \"bits\": \"101\", \"x\": \"" +
                                                       std::string(500, 'y') + "\"}\r\n  \n",
                                                   payload);
    EXPECT_EQ(read.Score, -0.5);
    EXPECT_EQ(read.Bits, (std::vector<std::uint8_t>{1, 0, 1}));
    EXPECT_DOUBLE_EQ(*read.BitAccuracy, 1.0 / 3);
    EXPECT_DOUBLE_EQ(*read.Ber, 2.0 / 3);
    EXPECT_EQ(ReadDetectionOutput("{\"score\": 1}", {}).Score, 1);
    EXPECT_FALSE(ReadDetectionOutput("{\"score\": 1, \"bits\": 7}", {}).BitAccuracy);
    const std::vector<std::pair<std::string, std::string>> refused = {
        {"", "detect printed no JSON object with a \"score\" in -1..1 (it printed nothing)"},
        {"{\"score\": 0.1}\nnot json", "detect printed no JSON object with a \"score\" in -1..1 (its last line: not json)"},
        {"[0.5]", "detect printed no JSON object with a \"score\" in -1..1 (its last line: [0.5])"},
        {"{\"score\": \"0.5\"}", "detect printed no JSON object with a \"score\" in -1..1 (its last line: {\"score\": \"0.5\"})"},
        {"{\"score\": 1.5, \"bits\": \"101\"}", "detect printed a score of 1.5, outside -1..1"},
        {"{\"score\": 1e999}", "detect printed no JSON object with a \"score\" in -1..1 (its last line: {\"score\": 1e999})"},
        {"{\"score\": 0.5}", "detect printed no \"bits\" of 3 characters 0 and 1"},
        {"{\"score\": 0.5, \"bits\": \"1012\"}", "detect printed no \"bits\" of 3 characters 0 and 1 (it printed \"1012\")"},
        {"{\"score\": 0.5, \"bits\": [1, 0, 1]}", "detect printed no \"bits\" of 3 characters 0 and 1"},
    };
    for (const auto& [output, message] : refused) {
        try {
            ReadDetectionOutput(output, payload);
            ADD_FAILURE() << output;
        } catch (const Error& e) {
            EXPECT_EQ(e.what(), message) << output;
        }
    }
}

}  // namespace
}  // namespace quillfen
