// Methods run as programs: their JSON description, the running of a command with a time limit
// and without a shell, and the reading of what the detection prints.
#include "quillfen/methods/method_command.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstring>
#include <map>

#include <nlohmann/json.hpp>

#include "quillfen/image/errors.h"
#include "quillfen/watermark/metrics.h"
#include "quillfen/io/file_write.h"
#include "quillfen/io/picture_files.h"
#include "quillfen/watermark/marking.h"

extern char** environ;

namespace quillfen {

// The folder of one embedding: the host, the marked picture, the key the method wrote and the
// suspects written for its detections. It goes when the last reader of the key is done.
struct ExternalKeyFile final : KeyState {
    std::filesystem::path Folder;
    std::filesystem::path Key;
    ExternalKeyFile() = default;
    ExternalKeyFile(const ExternalKeyFile&) = delete;
    ExternalKeyFile& operator=(const ExternalKeyFile&) = delete;
    ~ExternalKeyFile() {
        std::error_code ignored;
        std::filesystem::remove_all(Folder, ignored);
    }
};

namespace {

// What a command may print: more is cut (a detection prints one line).
constexpr std::size_t kMostOutput = 1 << 20;

struct CommandSpec {
    MethodDeclaration Declared;
    std::vector<std::string> Embed;
    std::vector<std::string> Detect;
    std::string Extension = ".png";
    int TimeLimit = 60;  // seconds
    std::filesystem::path Dir;
};

struct Outcome {
    int Status = 0;  // the exit code, or -signal
    bool TimedOut = false;
    std::string Out;
    std::string Err;
};

// Closes a descriptor when it goes.
struct Fd {
    int Value = -1;
    ~Fd() {
        if (Value >= 0) ::close(Value);
    }
};

Outcome Run(const std::vector<std::string>& words, int seconds) {
    int out[2], err[2];
    if (::pipe2(out, O_CLOEXEC) != 0) throw Error(std::string("cannot make a pipe: ") + std::strerror(errno));
    Fd outRead{out[0]}, outWrite{out[1]};
    if (::pipe2(err, O_CLOEXEC) != 0) throw Error(std::string("cannot make a pipe: ") + std::strerror(errno));
    Fd errRead{err[0]}, errWrite{err[1]};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    // A group of its own, so that a command killed at its time limit takes its children along.
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attributes, 0);
    std::vector<char*> argv;
    for (const std::string& w : words) argv.push_back(const_cast<char*>(w.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int spawned = ::posix_spawnp(&pid, argv[0], &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (spawned != 0) throw Error("cannot start '" + words[0] + "' (" + std::strerror(spawned) + ")");
    ::close(outWrite.Value);
    outWrite.Value = -1;
    ::close(errWrite.Value);
    errWrite.Value = -1;

    Outcome outcome;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    pollfd fds[2] = {{outRead.Value, POLLIN, 0}, {errRead.Value, POLLIN, 0}};
    std::string* texts[2] = {&outcome.Out, &outcome.Err};
    int open = 2;
    while (open > 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            outcome.TimedOut = true;
            break;
        }
        const int ready = ::poll(fds, 2, static_cast<int>(std::min<long long>(left.count(), 1000)));
        if (ready < 0 && errno == EINTR) continue;
        if (ready < 0) break;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || (fds[i].revents & (POLLIN | POLLHUP | POLLERR)) == 0) continue;
            char buffer[8192];
            const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0) {
                if (texts[i]->size() < kMostOutput) texts[i]->append(buffer, static_cast<std::size_t>(n));
            } else if (n == 0 || errno != EINTR) {
                fds[i].fd = -1;
                --open;
            }
        }
    }
    if (outcome.TimedOut) ::kill(-pid, SIGKILL);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (outcome.TimedOut) return outcome;
    outcome.Status = WIFEXITED(status) ? WEXITSTATUS(status) : WIFSIGNALED(status) ? -WTERMSIG(status) : -1;
    return outcome;
}

// The last line of a text that holds anything, for a message.
std::string LastLine(const std::string& text) {
    std::size_t end = text.find_last_not_of(" \t\r\n");
    if (end == std::string::npos) return "";
    const std::size_t start = text.rfind('\n', end);
    std::string line = text.substr(start == std::string::npos ? 0 : start + 1, end - (start == std::string::npos ? 0 : start + 1) + 1);
    if (line.size() > 300) line = line.substr(0, 300) + "...";
    return line;
}

const std::vector<std::string> kPlaceholders = {"host", "out", "key", "seed", "payload", "strength", "suspect", "dir"};

// The placeholders a word holds; FormatError for an unknown one or an unclosed brace.
std::vector<std::string> PlaceholdersOf(const std::string& word, const std::string& where) {
    std::vector<std::string> found;
    for (std::size_t at = word.find('{'); at != std::string::npos; at = word.find('{', at + 1)) {
        const std::size_t end = word.find('}', at);
        if (end == std::string::npos) throw FormatError(where + ": '" + word + "' opens a { it does not close");
        const std::string name = word.substr(at + 1, end - at - 1);
        if (std::find(kPlaceholders.begin(), kPlaceholders.end(), name) == kPlaceholders.end())
            throw FormatError(where + ": '" + word + "' holds an unknown placeholder {" + name +
                              "} (known: {host}, {out}, {key}, {seed}, {payload}, {strength}, {suspect}, {dir})");
        found.push_back(name);
    }
    return found;
}

std::vector<std::string> Filled(const std::vector<std::string>& words, const std::map<std::string, std::string>& values) {
    std::vector<std::string> out;
    for (const std::string& word : words) {
        std::string filled;
        for (std::size_t at = 0; at < word.size();) {
            if (word[at] == '{') {
                const std::size_t end = word.find('}', at);
                filled += values.at(word.substr(at + 1, end - at - 1));
                at = end + 1;
            } else {
                filled += word[at++];
            }
        }
        out.push_back(filled);
    }
    return out;
}

std::filesystem::path NewFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "quillfen-method-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr)
        throw FileError(std::string("cannot make a folder for an external method (") + std::strerror(errno) + ")");
    return pattern;
}

class CommandMethod final : public WatermarkMethod {
public:
    CommandMethod(std::shared_ptr<const CommandSpec> command, MethodSpec described)
        : spec_(std::move(command)), described_(std::move(described)) {}

    const MethodSpec& Describe() const override { return described_; }

    MethodMarked Embed(const ImageView& view, const MethodPayload& payload, std::uint32_t seed) const override {
        CheckImageView(view, "host picture");
        if (payload.Bits.size() != static_cast<std::size_t>(PayloadBits()))
            throw ArgumentError(Fail("embeds " + std::to_string(PayloadBits()) + " payload bits, not " +
                                     std::to_string(payload.Bits.size())));
        const GrayPlane gray = ToPlane(view.Gray());
        auto files = std::make_shared<ExternalKeyFile>();
        files->Folder = NewFolder();
        files->Key = files->Folder / "key";
        const std::filesystem::path hostFile = files->Folder / ("host" + spec_->Extension);
        const std::filesystem::path out = files->Folder / ("marked" + spec_->Extension);
        SavePictureFile(hostFile, Bitmap::fromGray(gray.width(), gray.height(), gray.data()), true);
        std::map<std::string, std::string> values = Values();
        values["host"] = hostFile.string();
        values["out"] = out.string();
        values["key"] = files->Key.string();
        values["seed"] = std::to_string(seed);
        values["payload"] = PayloadHex(payload.Bits);
        Call("embed", Filled(spec_->Embed, values));
        LoadedPicture marked;
        try {
            marked = LoadPictureFile(out);
        } catch (const Error& e) {
            throw Error(Fail(std::string("embed wrote no marked picture it can read (") + e.what() + ")"));
        }
        if (marked.bitmap.width() != gray.width() || marked.bitmap.height() != gray.height())
            throw Error(Fail("embed wrote a picture of " + std::to_string(marked.bitmap.width()) + " x " +
                             std::to_string(marked.bitmap.height()) + " for a host of " + std::to_string(gray.width()) +
                             " x " + std::to_string(gray.height())));
        MethodMarked result;
        const GrayPlane written = GrayOf(marked.bitmap);
        result.Picture = Bitmap::fromGray(written.width(), written.height(), written.data());
        result.Psnr = BytePsnr(written.pixels(), gray.pixels());
        MethodKey& key = result.Key;
        key.Method = Name();
        key.Parameters = Parameters();
        key.Seed = seed;
        key.HostWidth = gray.width();
        key.HostHeight = gray.height();
        key.Payload = payload.Bits;
        // What the program wrote as its key goes with the key (a saved key can be read again).
        std::error_code missing;
        if (std::filesystem::file_size(files->Key, missing) > 0 && !missing) key.Bytes = ReadWholeFile(files->Key);
        key.State = files;
        return result;
    }

    MethodReading Detect(const ImageView& view, const MethodKey& key, ReadDepth) const override {
        CheckImageView(view, "suspect picture");
        if (key.Method != Name()) throw ArgumentError(Fail("the key is not one of its embeddings"));
        // The folder of the embedding while it lives, else one of its own with the key's bytes.
        std::shared_ptr<const ExternalKeyFile> files = std::dynamic_pointer_cast<const ExternalKeyFile>(key.State);
        if (files == nullptr) {
            auto own = std::make_shared<ExternalKeyFile>();
            own->Folder = NewFolder();
            own->Key = own->Folder / "key";
            WriteFileAtomically(own->Key, key.Bytes);
            files = own;
        }
        const GrayPlane gray = ToPlane(view.Gray());
        static std::atomic<std::uint64_t> counter{0};
        const std::filesystem::path file = files->Folder / ("suspect-" + std::to_string(counter++) + spec_->Extension);
        SavePictureFile(file, Bitmap::fromGray(gray.width(), gray.height(), gray.data()), true);
        std::map<std::string, std::string> values = Values();
        values["suspect"] = file.string();
        values["key"] = files->Key.string();
        values["seed"] = std::to_string(key.Seed);
        values["payload"] = PayloadHex(key.Payload);
        Outcome outcome;
        try {
            outcome = Call("detect", Filled(spec_->Detect, values));
        } catch (...) {
            std::error_code ignored;
            std::filesystem::remove(file, ignored);
            throw;
        }
        std::error_code ignored;
        std::filesystem::remove(file, ignored);
        return Parse(LastLine(outcome.Out), key.Payload);
    }

    std::vector<std::uint8_t> KeyToBytes(const MethodKey& key) const override { return EncodeMethodKey(key); }

    MethodKey KeyFromBytes(std::span<const std::uint8_t> bytes, const std::string& name) const override {
        MethodKey key = DecodeMethodKey(bytes, name);
        if (key.Payload.size() != static_cast<std::size_t>(PayloadBits()))
            throw FormatError("'" + name + "' is damaged (it holds " + std::to_string(key.Payload.size()) +
                              " payload bits; " + Name() + " carries " + std::to_string(PayloadBits()) + ")");
        return key;
    }

private:
    std::string Fail(const std::string& what) const { return "method " + Name() + ": " + what; }

    std::map<std::string, std::string> Values() const {
        std::map<std::string, std::string> values;
        for (const std::string& name : kPlaceholders) values[name] = "";
        values["dir"] = spec_->Dir.string();
        if (Strength()) values["strength"] = FormatNumber(*Strength());
        return values;
    }

    Outcome Call(const char* what, const std::vector<std::string>& words) const {
        Outcome outcome;
        try {
            outcome = Run(words, spec_->TimeLimit);
        } catch (const Error& e) {
            throw Error(Fail(std::string(what) + ": " + e.what()));
        }
        if (outcome.TimedOut)
            throw Error(Fail(std::string(what) + " ran past its time limit of " + std::to_string(spec_->TimeLimit) +
                             " s and was stopped"));
        if (outcome.Status != 0) {
            const std::string last = LastLine(outcome.Err);
            throw Error(Fail(std::string(what) +
                             (outcome.Status > 0 ? " exited with " + std::to_string(outcome.Status)
                                                 : " was killed by signal " + std::to_string(-outcome.Status)) +
                             (last.empty() ? std::string() : ": " + last)));
        }
        return outcome;
    }

    MethodReading Parse(const std::string& line, const std::vector<std::uint8_t>& payload) const {
        const std::string expected = "detect printed no JSON object with a \"score\" in -1..1";
        nlohmann::json j;
        try {
            j = nlohmann::json::parse(line);
        } catch (const nlohmann::json::exception&) {
            throw Error(Fail(expected + (line.empty() ? std::string(" (it printed nothing)") : " (its last line: " + line + ")")));
        }
        if (!j.is_object() || !j.contains("score") || !j["score"].is_number())
            throw Error(Fail(expected + " (its last line: " + line + ")"));
        MethodReading reading;
        reading.Score = j["score"].get<double>();
        if (!(reading.Score >= -1 && reading.Score <= 1))
            throw Error(Fail("detect printed a score of " + j["score"].dump() + ", outside -1..1"));
        if (PayloadBits() > 0) {
            const std::string bitsError = "detect printed no \"bits\" of " + std::to_string(PayloadBits()) +
                                          " characters 0 and 1";
            if (!j.contains("bits") || !j["bits"].is_string()) throw Error(Fail(bitsError));
            const std::string bits = j["bits"].get<std::string>();
            if (bits.size() != static_cast<std::size_t>(PayloadBits()) ||
                bits.find_first_not_of("01") != std::string::npos)
                throw Error(Fail(bitsError + " (it printed \"" + bits.substr(0, 80) + "\")"));
            for (const char bit : bits) reading.Bits.push_back(bit == '1' ? 1 : 0);
            reading.BitAccuracy = BitAccuracy(reading.Bits, payload);
            reading.Ber = 1 - *reading.BitAccuracy;
        }
        return reading;
    }

    std::shared_ptr<const CommandSpec> spec_;
    MethodSpec described_;
};

}  // namespace

std::shared_ptr<const MethodInfo> LoadMethodCommand(const std::filesystem::path& path) {
    const std::string where = "'" + path.string() + "'";
    const std::vector<std::uint8_t> bytes = ReadWholeFile(path);
    nlohmann::json j;
    try {
        j = nlohmann::json::parse(bytes.begin(), bytes.end());
    } catch (const nlohmann::json::exception&) {
        throw FormatError(where + " is not valid JSON");
    }
    if (!j.is_object()) throw FormatError(where + " does not hold a JSON object");
    auto described = std::make_shared<CommandSpec>();
    described->Dir = std::filesystem::absolute(path).parent_path();
    for (const auto& [field, value] : j.items()) {
        static const std::vector<std::string> known = {"name", "embed", "detect", "payload_bits", "picture_format",
                                                       "time_limit_seconds", "thresholds", "strength", "description"};
        if (std::find(known.begin(), known.end(), field) == known.end())
            throw FormatError(where + ": unknown field \"" + field + "\"");
    }
    if (!j.contains("name") || !j["name"].is_string()) throw FormatError(where + ": no \"name\" text");
    described->Declared.Name = j["name"].get<std::string>();
    if (described->Declared.Name.empty() || described->Declared.Name.size() > kMaxMethodNameBytes ||
        described->Declared.Name.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-_.") !=
            std::string::npos)
        throw FormatError(where + ": the name '" + described->Declared.Name + "' is not a word of letters, digits, - _ and . (at most " +
                          std::to_string(kMaxMethodNameBytes) + ")");
    if (MethodRegistry::BuiltIn().Find(described->Declared.Name) != nullptr)
        throw FormatError(where + ": '" + described->Declared.Name + "' is the name of a method of the catalogue");
    if (j.contains("payload_bits")) {
        const nlohmann::json& bits = j["payload_bits"];
        if (!bits.is_number_unsigned() || bits.get<std::uint64_t>() > static_cast<std::uint64_t>(kMaxPayloadBits))
            throw FormatError(where + ": \"payload_bits\" is not a whole number 0.." + std::to_string(kMaxPayloadBits));
        described->Declared.PayloadBits = static_cast<int>(bits.get<std::uint64_t>());
    }
    if (j.contains("picture_format")) {
        const nlohmann::json& format = j["picture_format"];
        if (format != "png" && format != "pgm") throw FormatError(where + ": \"picture_format\" is \"png\" or \"pgm\"");
        described->Extension = "." + format.get<std::string>();
    }
    if (j.contains("time_limit_seconds")) {
        const nlohmann::json& limit = j["time_limit_seconds"];
        if (!limit.is_number_unsigned() || limit.get<std::uint64_t>() < 1 || limit.get<std::uint64_t>() > 3600)
            throw FormatError(where + ": \"time_limit_seconds\" is not a whole number 1..3600");
        described->TimeLimit = static_cast<int>(limit.get<std::uint64_t>());
    }
    if (j.contains("thresholds")) {
        const nlohmann::json& t = j["thresholds"];
        const auto number = [&](const char* rate) {
            if (!t.is_object() || !t.contains(rate) || !t[rate].is_number() ||
                !(t[rate].get<double>() > -1 && t[rate].get<double>() <= 1))
                throw FormatError(where + ": \"thresholds\" has no number \"" + rate + "\" in -1..1");
            return t[rate].get<double>();
        };
        described->Declared.Thresholds = std::pair{number("1e-3"), number("1e-6")};
        if (described->Declared.Thresholds->second < described->Declared.Thresholds->first)
            throw FormatError(where + ": the threshold at 1e-6 is below the one at 1e-3");
    }
    double strength = 0;
    if (j.contains("strength")) {
        const nlohmann::json& s = j["strength"];
        const auto number = [&](const char* field) {
            if (!s.is_object() || !s.contains(field) || !s[field].is_number() || !std::isfinite(s[field].get<double>()))
                throw FormatError(where + ": \"strength\" has no number \"" + field + "\"");
            return s[field].get<double>();
        };
        const double lowest = number("lowest"), highest = number("highest");
        strength = number("default");
        if (!(lowest > 0 && lowest <= strength && strength <= highest))
            throw FormatError(where + ": \"strength\" needs 0 < lowest <= default <= highest");
        described->Declared.Strength = Parameter{"strength", lowest, highest, false, false, strength, "the method's strength"};
    }
    for (const auto& [field, words] : {std::pair{"embed", &described->Embed}, std::pair{"detect", &described->Detect}}) {
        if (!j.contains(field) || !j[field].is_array() || j[field].empty())
            throw FormatError(where + ": \"" + field + "\" is not a list of the command's words");
        for (const nlohmann::json& word : j[field]) {
            if (!word.is_string()) throw FormatError(where + ": \"" + field + "\" holds a word that is not a text");
            words->push_back(word.get<std::string>());
            for (const std::string& name : PlaceholdersOf(words->back(), where)) {
                if (name == "payload" && described->Declared.PayloadBits == 0)
                    throw FormatError(where + ": {payload} in \"" + field + "\" without \"payload_bits\"");
                if (name == "strength" && !described->Declared.Strength)
                    throw FormatError(where + ": {strength} in \"" + field + "\" without a \"strength\"");
                if ((name == "suspect" && std::string(field) == "embed") ||
                    ((name == "host" || name == "out") && std::string(field) == "detect"))
                    throw FormatError(where + ": {" + name + "} has no value in \"" + field + "\"");
            }
        }
        if (words->front().empty()) throw FormatError(where + ": \"" + field + "\" starts with an empty program name");
    }
    described->Declared.Summary = "a method run as programs, described by " + path.filename().string();
    std::shared_ptr<const CommandSpec> command = described;
    return DeclaredEntry(described->Declared, [command](const MethodSpec& values) -> std::unique_ptr<WatermarkMethod> {
        return std::make_unique<CommandMethod>(command, values);
    });
}

}  // namespace quillfen
