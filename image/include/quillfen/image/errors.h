#pragma once
// Errors raised by the image and watermark layers. The GUI's default error report and the
// CLI both show what() unchanged, so every message is written for the user.
#include <stdexcept>
#include <string>
#include <utility>

#include "quillfen/image/export.h"

QUILLFEN_API_BEGIN
namespace quillfen {

// Base class of every error this system raises on purpose.
class QUILLFEN_EXPORT Error : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A file cannot be opened, created, read or written ("Cannot open file %s"). Where the system
// said why, its error number (ENOENT, EACCES, ...) and the file's name come with the message,
// for callers that sort failures by kind (Python raises FileNotFoundError for ENOENT).
class QUILLFEN_EXPORT FileError : public Error {
public:
    using Error::Error;
    FileError(const std::string& what, int errorNumber, std::string path)
        : Error(what), errorNumber_(errorNumber), path_(std::move(path)) {}

    // The system's error number; 0 when the failure was none of the system's (a FIFO refused).
    int ErrorNumber() const noexcept { return errorNumber_; }
    // The file's name as given; empty when the message names no one file.
    const std::string& Path() const noexcept { return path_; }

private:
    int errorNumber_ = 0;
    std::string path_;
};

// A file's content is not a picture this system can read (bad header, corrupt data, too
// large). The GUI shows these in a warning box and carries on with an empty picture.
class QUILLFEN_EXPORT FormatError : public Error {
public:
    using Error::Error;
};

// A text that should hold an integer does not ("'%s' is not a valid integer value").
class QUILLFEN_EXPORT ConvertError : public Error {
public:
    using Error::Error;
};

// A computation has no defined result on this input (division by zero, 0/0). Raised
// before anything is changed, in place of a NaN or a garbage picture.
class QUILLFEN_EXPORT MathError : public Error {
public:
    using Error::Error;
};

// An operation was called with a parameter outside the range it can work with; the
// message names the parameter, the value received and the range expected.
class QUILLFEN_EXPORT ArgumentError : public Error {
public:
    using Error::Error;
};

// An operation gave up because the picture holds more than it can represent (a 255th object
// for the 254 labels). The operation leaves the picture as it was.
class QUILLFEN_EXPORT TooManyObjectsError : public Error {
public:
    using Error::Error;
};

inline constexpr const char* kInvalidFloatingPointOperation = "Invalid floating point operation";
inline constexpr const char* kFloatingPointDivisionByZero = "Floating point division by zero";

}  // namespace quillfen
QUILLFEN_API_END
