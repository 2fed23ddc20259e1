#pragma once
// The output folder of `experiment --out DIR`: a new name, or an existing empty folder (also
// through a symbolic link). The files are written into a hidden work folder beside it
// (".DIR.quillfen-XXXXXX"), which replaces DIR in one rename once all are written, so DIR is
// never seen half-filled and a failed run leaves it as it was. An existing DIR keeps its
// permission bits and owner.
#include <filesystem>
#include <string>

namespace quillfen::cli {

class OutputFolder {
public:
    // Checks DIR and creates the work folder, all before the run, so that every problem is
    // reported before any work is done. Refused (CommandFailure, exit 2): an empty name; a
    // file or a folder that is not empty; a folder that cannot be read; the working folder or
    // one of its parents; a folder of another user; a new name whose parent does not exist or
    // that is too long.
    explicit OutputFolder(const std::string& given);
    ~OutputFolder();
    OutputFolder(const OutputFolder&) = delete;
    OutputFolder& operator=(const OutputFolder&) = delete;

    // Where the files go until Commit.
    const std::filesystem::path& workFolder() const { return work_; }

    // Puts the work folder in DIR's place. Throws CommandFailure (exit 2) when it cannot; the
    // work folder is then removed and DIR is left as it was.
    void Commit();

private:
    std::string given_;            // as the user wrote it, for the messages
    std::filesystem::path target_; // DIR with its links resolved
    std::filesystem::path work_;
    bool existing_ = false;
    unsigned mode_ = 0;
    unsigned owner_ = 0;
    unsigned group_ = 0;
    bool committed_ = false;
};

}  // namespace quillfen::cli
