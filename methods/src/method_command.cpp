// Methods run as programs: their JSON description and what identifies it, the running of a
// command with a time limit and without a shell, and the reading of what the detection prints.
#include "quillfen/methods/method_command.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstring>
#include <map>
#include <set>
#include <thread>

#include <nlohmann/json.hpp>

#include "quillfen/image/errors.h"
#include "quillfen/io/file_write.h"
#include "quillfen/io/picture_files.h"
#include "quillfen/watermark/marking.h"
#include "quillfen/watermark/metrics.h"

extern char** environ;

namespace quillfen {

namespace {

// ---- What a stop by signal has to reach ----
//
// The process groups of the commands running now and the folders of the embeddings alive sit
// in slots that a signal handler reads without a lock. A thread registers a process or a folder
// with every signal blocked and counted in gStarting, from before it checks gStopped until the
// slot is filled: a stop then either finds the slot filled or is seen by the thread, which
// makes nothing.

constexpr int kSlots = 4096;
std::atomic<pid_t> gGroups[kSlots];
std::atomic<const char*> gFolders[kSlots];
std::atomic<bool> gStopped{false};
std::atomic<int> gStarting{0};

template <class T>
int Claim(std::atomic<T>* slots, T value) {
    for (int i = 0; i < kSlots; ++i) {
        T empty{};
        if (slots[i].compare_exchange_strong(empty, value)) return i;
    }
    return -1;  // more than can be tracked: that one is left behind by a stop
}

class Starting {
public:
    Starting() {
        sigset_t all;
        sigfillset(&all);
        pthread_sigmask(SIG_BLOCK, &all, &old_);
        gStarting.fetch_add(1);
        if (gStopped.load()) {
            Leave();
            throw Error("the run is being stopped");
        }
    }
    ~Starting() {
        if (!left_) Leave();
    }
    Starting(const Starting&) = delete;
    Starting& operator=(const Starting&) = delete;

private:
    void Leave() {
        left_ = true;
        gStarting.fetch_sub(1);
        pthread_sigmask(SIG_SETMASK, &old_, nullptr);
    }
    sigset_t old_;
    bool left_ = false;
};

// The kernel's directory entry, as getdents64 gives it.
struct DirectoryEntry {
    std::uint64_t Inode;
    std::int64_t Offset;
    unsigned short Length;
    unsigned char Type;
    char Name[1];
};

// Removes a file or a folder tree with calls a signal handler may make (no allocation).
void RemoveTree(int at, const char* name, int depth) {
    if (::unlinkat(at, name, 0) == 0 || errno == ENOENT) return;
    if (depth < 16) {
        const int fd = ::openat(at, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd >= 0) {
            alignas(8) char buffer[1024];
            // Entries removed while the folder is listed may hide others: listed again until
            // a pass finds nothing.
            for (int pass = 0; pass < 64; ++pass) {
                bool found = false;
                ::lseek(fd, 0, SEEK_SET);
                for (;;) {
                    const long n = ::syscall(SYS_getdents64, fd, buffer, sizeof buffer);
                    if (n <= 0) break;
                    for (long offset = 0; offset < n;) {
                        const auto* entry = reinterpret_cast<const DirectoryEntry*>(buffer + offset);
                        offset += entry->Length;
                        if (std::strcmp(entry->Name, ".") == 0 || std::strcmp(entry->Name, "..") == 0) continue;
                        found = true;
                        RemoveTree(fd, entry->Name, depth + 1);
                    }
                }
                if (!found) break;
            }
            ::close(fd);
        }
    }
    ::unlinkat(at, name, AT_REMOVEDIR);
}

}  // namespace

void StopMethodCommandsNow() {
    const int saved = errno;
    gStopped.store(true);
    // A thread registering a process or a folder finishes within moments; it blocks signals
    // meanwhile, so this never waits for itself. Bounded all the same.
    for (int i = 0; i < 2000 && gStarting.load() > 0; ++i) {
        const timespec pause{0, 1000000};
        ::nanosleep(&pause, nullptr);
    }
    for (std::atomic<pid_t>& group : gGroups)
        if (const pid_t pid = group.load(); pid > 0) ::kill(-pid, SIGKILL);
    for (std::atomic<const char*>& folder : gFolders)
        if (const char* path = folder.load()) RemoveTree(AT_FDCWD, path, 0);
    errno = saved;
}

// The folder of one embedding: the host, the marked picture, the key the method wrote and the
// suspects written for its detections. It goes when the last reader of the key is done, or
// with a stop.
struct ExternalKeyFile final : KeyState {
    std::filesystem::path Folder;
    std::filesystem::path Key;
    int Slot = -1;
    ExternalKeyFile() = default;
    ExternalKeyFile(const ExternalKeyFile&) = delete;
    ExternalKeyFile& operator=(const ExternalKeyFile&) = delete;
    ~ExternalKeyFile() {
        if (Slot >= 0) gFolders[Slot].store(nullptr);
        std::error_code ignored;
        if (!Folder.empty()) std::filesystem::remove_all(Folder, ignored);
    }
};

namespace {

namespace fs = std::filesystem;

// What is kept of a command's output: standard output's last MiB (the detection's verdict is
// its last line), standard error's last 64 KiB (the last line of it names a failure).
constexpr std::size_t kMostOutput = std::size_t{1} << 20;
constexpr std::size_t kMostErrors = std::size_t{64} << 10;
// How long the output of a command that has ended is still read (what it left running is
// killed with it; only a process that left its group keeps the pipes open that long).
constexpr auto kDrain = std::chrono::seconds(1);
// How long a killed process is waited for before it is left to the system.
constexpr auto kReap = std::chrono::seconds(5);

struct CommandSpec {
    MethodDeclaration Declared;
    std::vector<std::string> Embed;
    std::vector<std::string> Detect;
    std::string Extension = ".png";
    int TimeLimit = 60;  // seconds
    std::filesystem::path Dir;
    MethodCommandSource Source;
};

struct Outcome {
    int Status = 0;  // the exit code, or -signal
    bool TimedOut = false;
    std::string Out;  // the last kMostOutput bytes of standard output
    bool OutCut = false;  // standard output was longer
    std::string Err;  // the last kMostErrors bytes of standard error
};

// Closes a descriptor when it goes.
struct Fd {
    int Value = -1;
    ~Fd() {
        if (Value >= 0) ::close(Value);
    }
};

void KeepTail(std::string& text, bool& cut, const char* bytes, std::size_t n, std::size_t most) {
    text.append(bytes, n);
    // Trimmed once it holds twice the tail, so that each byte is moved about once.
    if (text.size() > 2 * most) {
        text.erase(0, text.size() - most);
        cut = true;
    }
}

void TrimTail(std::string& text, bool& cut, std::size_t most) {
    if (text.size() <= most) return;
    text.erase(0, text.size() - most);
    cut = true;
}

enum class Reaped { Yes, Elsewhere, No };

// Waits for a process that has ended or was killed: Elsewhere when it is not this process's to
// wait for (a program that ignores SIGCHLD has its children reaped for it), No when it is still
// there after kReap (then it is left to the system).
Reaped Reap(pid_t pid, int& status) {
    const auto until = std::chrono::steady_clock::now() + kReap;
    for (;;) {
        const pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid) return Reaped::Yes;
        if (done < 0 && errno == ECHILD) return Reaped::Elsewhere;
        if (std::chrono::steady_clock::now() >= until) return Reaped::No;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

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
    // A group of its own, so that a command killed at its time limit or by a stop takes its
    // children along. The command starts with no signal blocked and every one at its default
    // action: this thread blocks them while it starts the command, and an interpreter running
    // the library ignores some (SIGPIPE) that a program expects to end it.
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    posix_spawnattr_setpgroup(&attributes, 0);
    sigset_t none, every;
    sigemptyset(&none);
    sigfillset(&every);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &every);
    std::vector<char*> argv;
    for (const std::string& w : words) argv.push_back(const_cast<char*>(w.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    int spawned = 0;
    int slot = -1;
    try {
        Starting starting;
        spawned = ::posix_spawnp(&pid, argv[0], &actions, &attributes, argv.data(), environ);
        if (spawned == 0) slot = Claim(gGroups, pid);
    } catch (...) {
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attributes);
        throw;
    }
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (spawned != 0) throw Error("cannot start '" + words[0] + "' (" + std::strerror(spawned) + ")");
    ::close(outWrite.Value);
    outWrite.Value = -1;
    ::close(errWrite.Value);
    errWrite.Value = -1;
    // The command's end as a descriptor poll() waits on beside the pipes (Linux 5.3); without
    // it the end is looked for every few milliseconds.
    Fd ended{static_cast<int>(::syscall(SYS_pidfd_open, pid, 0))};

    Outcome outcome;
    bool errCut = false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    auto drained = deadline;
    bool exited = false;
    pollfd fds[3] = {{outRead.Value, POLLIN, 0}, {errRead.Value, POLLIN, 0}, {ended.Value, POLLIN, 0}};
    std::string* texts[2] = {&outcome.Out, &outcome.Err};
    bool* cuts[2] = {&outcome.OutCut, &errCut};
    const std::size_t most[2] = {kMostOutput, kMostErrors};
    int open = 2;
    for (;;) {
        if (!exited) {
            siginfo_t info{};
            const int looked = ::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT);
            if ((looked == 0 && info.si_pid == pid) || (looked < 0 && errno == ECHILD)) {
                // The command has ended (not yet reaped, so its group's number is not reused):
                // whatever it left running in its group goes with it, and what it printed is
                // read to the end.
                exited = true;
                ::kill(-pid, SIGKILL);
                drained = std::chrono::steady_clock::now() + kDrain;
                fds[2].fd = -1;
            }
        }
        if (exited && open == 0) break;
        const auto now = std::chrono::steady_clock::now();
        const auto until = exited ? drained : deadline;
        if (now >= until) {
            outcome.TimedOut = !exited;
            break;
        }
        long long wait = std::chrono::duration_cast<std::chrono::milliseconds>(until - now).count() + 1;
        wait = std::min<long long>(wait, exited || ended.Value >= 0 ? 1000 : 5);
        const int ready = ::poll(fds, 3, static_cast<int>(wait));
        if (ready <= 0) continue;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || (fds[i].revents & (POLLIN | POLLHUP | POLLERR)) == 0) continue;
            char buffer[16384];
            const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0) {
                KeepTail(*texts[i], *cuts[i], buffer, static_cast<std::size_t>(n), most[i]);
            } else if (n == 0 || (errno != EINTR && errno != EAGAIN)) {
                fds[i].fd = -1;
                --open;
            }
        }
    }
    if (!exited) ::kill(-pid, SIGKILL);
    // Given up before the process is reaped: its number stays its own until then.
    if (slot >= 0) gGroups[slot].store(0);
    int status = 0;
    const Reaped reaped = Reap(pid, status);
    TrimTail(outcome.Out, outcome.OutCut, kMostOutput);
    TrimTail(outcome.Err, errCut, kMostErrors);
    if (outcome.TimedOut) return outcome;
    if (reaped == Reaped::Elsewhere) return outcome;  // its status is not ours to know
    if (reaped == Reaped::No) {
        outcome.Status = -SIGKILL;
        return outcome;
    }
    outcome.Status = WIFEXITED(status) ? WEXITSTATUS(status) : WIFSIGNALED(status) ? -WTERMSIG(status) : -1;
    return outcome;
}

// The last line of a text that holds anything (without its line end); `whole` tells whether
// the text holds its beginning.
std::string_view LastLineOf(std::string_view text, bool* whole = nullptr) {
    const std::size_t end = text.find_last_not_of(" \t\r\n");
    if (end == std::string_view::npos) {
        if (whole != nullptr) *whole = true;
        return {};
    }
    const std::size_t newline = text.rfind('\n', end);
    const std::size_t start = newline == std::string_view::npos ? 0 : newline + 1;
    if (whole != nullptr) *whole = newline != std::string_view::npos;
    return text.substr(start, end - start + 1);
}

// A line as a message shows it: at most 300 bytes.
std::string Shown(std::string_view line) {
    if (line.size() > 300) return std::string(line.substr(0, 300)) + "...";
    return std::string(line);
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

// The parts of the commands' words that name something in the description's folder: from
// "{dir}" to the next placeholder or the word's end ("{dir}/m.py", "--model={dir}/w.bin"), as
// the text after "{dir}" ("/m.py"); the folder itself and names of folders ("{dir}/w/") are left out.
std::vector<std::string> NamedInDir(const std::vector<std::string>& embed, const std::vector<std::string>& detect) {
    std::set<std::string> names;
    for (const std::vector<std::string>* words : {&embed, &detect})
        for (const std::string& word : *words)
            for (std::size_t at = word.find("{dir}"); at != std::string::npos; at = word.find("{dir}", at + 1)) {
                const std::size_t from = at + 5;
                const std::string rest = word.substr(from, word.find('{', from) - from);
                if (rest.find_first_not_of('/') != std::string::npos && rest.back() != '/') names.insert(rest);
            }
    return {names.begin(), names.end()};
}

// What a file named by a description holds, for the digest: the SHA-256 of each 4 MiB of it
// in turn (so that a large file of weights is read in pieces), or what stands there instead.
std::string FileDigest(const fs::path& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return errno == ENOENT || errno == ENOTDIR ? "missing" : "unreadable";
    if (S_ISDIR(info.st_mode)) return "folder";
    if (!S_ISREG(info.st_mode)) return "not a file";
    try {
        const FileDescriptor fd = OpenFileForReading(path);
        std::vector<std::uint8_t> chunk(std::size_t{4} << 20);
        std::vector<std::uint8_t> pieces;
        for (;;) {
            std::size_t filled = 0;
            while (filled < chunk.size()) {
                const ssize_t n = ::read(fd.get(), chunk.data() + filled, chunk.size() - filled);
                if (n < 0 && errno == EINTR) continue;
                if (n < 0) return "unreadable";
                if (n == 0) break;
                filled += static_cast<std::size_t>(n);
            }
            if (filled == 0 && !pieces.empty()) break;
            const Sha256Digest piece = Sha256(std::span<const std::uint8_t>(chunk.data(), filled));
            pieces.insert(pieces.end(), piece.begin(), piece.end());
            if (filled < chunk.size()) break;
        }
        return HexDigest(Sha256(pieces));
    } catch (const Error&) {
        return "unreadable";  // a program may be runnable and not readable
    }
}

MethodCommandSource SourceOf(std::span<const std::uint8_t> description, const fs::path& path, const std::string& dir,
                             const std::vector<std::string>& named) {
    MethodCommandSource source;
    source.Description = path;
    std::vector<std::uint8_t> record;
    const auto add = [&record](std::string_view text) {
        record.insert(record.end(), text.begin(), text.end());
        record.push_back(0);
    };
    add("description");
    add(HexDigest(Sha256(description)));
    for (const std::string& name : named) {
        source.Files.push_back(dir + name);
        add(name);
        add(FileDigest(source.Files.back()));
    }
    source.Digest = HexDigest(Sha256(record)).substr(0, 16);
    return source;
}

class CommandMethod final : public DeclaredMethod {
public:
    CommandMethod(std::shared_ptr<const CommandSpec> command, MethodSpec described)
        : DeclaredMethod(std::move(described)), spec_(std::move(command)) {}

    const CommandSpec& Command() const { return *spec_; }

    MethodMarked Embed(const ImageView& view, const MethodPayload& payload, std::uint32_t seed) const override {
        CheckImageView(view, "host picture");
        CheckPayload(payload);
        std::shared_ptr<ExternalKeyFile> files;
        try {
            files = NewKeyFolder();
        } catch (const Error& e) {
            throw Error(Fail(e.what()));
        }
        const std::filesystem::path hostFile = files->Folder / ("host" + spec_->Extension);
        const std::filesystem::path out = files->Folder / ("marked" + spec_->Extension);
        const GrayPlane gray = ToPlane(view.Gray());
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
            std::shared_ptr<ExternalKeyFile> own;
            try {
                own = NewKeyFolder();
            } catch (const Error& e) {
                throw Error(Fail(e.what()));
            }
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
        bool whole = true;
        LastLineOf(outcome.Out, &whole);
        if (outcome.OutCut && !whole)
            throw Error(Fail("detect printed a last line longer than the " + std::to_string(kMostOutput >> 20) +
                             " MiB of its output that is kept"));
        try {
            return ReadDetectionOutput(outcome.Out, key.Payload);
        } catch (const Error& e) {
            throw Error(Fail(e.what()));
        }
    }

private:

    // Makes the folder of an embedding, known to a stop from the moment it exists.
    static std::shared_ptr<ExternalKeyFile> NewKeyFolder() {
        auto files = std::make_shared<ExternalKeyFile>();
        std::string pattern = (std::filesystem::temp_directory_path() / "quillfen-method-XXXXXX").string();
        {
            Starting starting;
            if (::mkdtemp(pattern.data()) == nullptr)
                throw FileError(std::string("cannot make a folder for an external method (") + std::strerror(errno) + ")");
            files->Folder = pattern;
            files->Slot = Claim(gFolders, files->Folder.c_str());
        }
        files->Key = files->Folder / "key";
        return files;
    }

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
            const std::string last = Shown(LastLineOf(outcome.Err));
            throw Error(Fail(std::string(what) +
                             (outcome.Status > 0 ? " exited with " + std::to_string(outcome.Status)
                                                 : " was killed by signal " + std::to_string(-outcome.Status)) +
                             (last.empty() ? std::string() : ": " + last)));
        }
        return outcome;
    }

    std::shared_ptr<const CommandSpec> spec_;
};

}  // namespace

MethodReading ReadDetectionOutput(std::string_view output, std::span<const std::uint8_t> payload) {
    const std::string_view line = LastLineOf(output);
    const std::string expected = "detect printed no JSON object with a \"score\" in -1..1";
    nlohmann::json j;
    try {
        j = nlohmann::json::parse(line);
    } catch (const nlohmann::json::exception&) {
        throw Error(expected + (line.empty() ? std::string(" (it printed nothing)") : " (its last line: " + Shown(line) + ")"));
    }
    if (!j.is_object() || !j.contains("score") || !j["score"].is_number())
        throw Error(expected + " (its last line: " + Shown(line) + ")");
    MethodReading reading;
    reading.Score = j["score"].get<double>();
    if (!(reading.Score >= -1 && reading.Score <= 1))
        throw Error("detect printed a score of " + j["score"].dump() + ", outside -1..1");
    if (!payload.empty()) {
        const std::string bitsError =
            "detect printed no \"bits\" of " + std::to_string(payload.size()) + " characters 0 and 1";
        if (!j.contains("bits") || !j["bits"].is_string()) throw Error(bitsError);
        const std::string bits = j["bits"].get<std::string>();
        if (bits.size() != payload.size() || bits.find_first_not_of("01") != std::string::npos)
            throw Error(bitsError + " (it printed \"" + Shown(bits.substr(0, 80)) + "\")");
        for (const char bit : bits) reading.Bits.push_back(bit == '1' ? 1 : 0);
        reading.BitAccuracy = BitAccuracy(reading.Bits, payload);
        reading.Ber = 1 - *reading.BitAccuracy;
    }
    return reading;
}

const MethodCommandSource* MethodCommandSourceOf(const WatermarkMethod& method) {
    const auto* command = dynamic_cast<const CommandMethod*>(&method);
    return command != nullptr ? &command->Command().Source : nullptr;
}

std::shared_ptr<const MethodInfo> LoadMethodCommand(const std::filesystem::path& path) {
    return ParseMethodCommand(ReadWholeFile(path), path);
}

std::shared_ptr<const MethodInfo> ParseMethodCommand(std::span<const std::uint8_t> bytes,
                                                    const std::filesystem::path& path) {
    const std::string where = "'" + path.string() + "'";
    nlohmann::json j;
    try {
        j = nlohmann::json::parse(bytes.begin(), bytes.end());
    } catch (const nlohmann::json::exception&) {
        throw FormatError(where + " is not valid JSON");
    }
    if (!j.is_object()) throw FormatError(where + " does not hold a JSON object");
    auto described = std::make_shared<CommandSpec>();
    // {dir} is the folder the file really is in: a link to a description elsewhere runs that
    // method's programs, found beside the description itself.
    std::error_code error;
    const fs::path real = fs::canonical(path, error);
    described->Dir = (error ? fs::absolute(path, error) : real).parent_path();
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
    described->Source = SourceOf(bytes, path, described->Dir.string(), NamedInDir(described->Embed, described->Detect));
    described->Declared.Summary = "a method run as programs, described by " + path.filename().string();
    std::shared_ptr<const CommandSpec> command = described;
    return DeclaredEntry(described->Declared, [command](const MethodSpec& values) -> std::unique_ptr<WatermarkMethod> {
        return std::make_unique<CommandMethod>(command, values);
    });
}

}  // namespace quillfen
