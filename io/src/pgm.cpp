#include "quillfen/io/pgm.h"

#include <cerrno>
#include <cstring>
#include <memory>
#include <vector>

#include "quillfen/image/errors.h"
#include "quillfen/image/limits.h"
#include "quillfen/io/file_write.h"

namespace quillfen {

namespace {

// A header number with more digits than this is no size or gray value we could read.
constexpr std::size_t kMaxDigits = 9;

// How many bytes of comment lines after the maximum value are looked at (see pgm.h).
constexpr std::int64_t kMaxTrailingHeader = 64 * 1024;

bool IsSpace(int c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

// True when `gap`, the bytes between the end of a Netpbm header and the last width x height
// bytes of the file, is what an older writer put there: nothing but whole comment lines.
// (A CR LF after the maximum value is not such a layout: the CR is the one whitespace the
// rules allow, and the raster starts at the LF, as every Netpbm reader takes it.)
bool IsLegacyHeaderTail(const std::vector<std::uint8_t>& gap) {
    std::size_t i = 0;
    while (i < gap.size() && gap[i] == '#') {
        std::size_t end = i;
        while (end < gap.size() && gap[end] != '\n') ++end;
        if (end == gap.size()) return false;
        i = end + 1;
    }
    return !gap.empty() && i == gap.size();
}

}  // namespace

void TRixPGM::Refuse(const std::string& reason) const {
    throw FormatError("'" + FileName + "' is not a valid PGM file: " + reason);
}

int TRixPGM::SkipComment() {
    int c;
    do {
        c = std::fgetc(Stream);
    } while (c != EOF && c != '\n' && c != '\r');
    return c;
}

int TRixPGM::ReadHeaderNumber(const char* what, std::int64_t& value) {
    int c = std::fgetc(Stream);
    for (;;) {
        if (c == '#') {
            if (SkipComment() == EOF) Refuse("it ends inside a header comment");
        } else if (!IsSpace(c)) {
            break;
        }
        c = std::fgetc(Stream);
    }
    if (c == EOF) Refuse(std::string("it ends inside its header, before the ") + what);
    std::string digits;
    while (c >= '0' && c <= '9') {
        digits.push_back(static_cast<char>(c));
        if (digits.size() > kMaxDigits) break;
        c = std::fgetc(Stream);
    }
    if (digits.size() > kMaxDigits) {
        throw FormatError("'" + FileName + "': its " + what + " " + digits + "... is too large (at most " +
                          std::to_string(kMaxSide) + " pixels a side and gray values up to 255)");
    }
    if (digits.empty() || !(c == EOF || IsSpace(c) || c == '#')) {
        std::string shown = digits;
        while (shown.size() < 16 && c != EOF && !IsSpace(c) && c != '#') {
            shown.push_back(static_cast<char>(c));
            c = std::fgetc(Stream);
        }
        Refuse(std::string("its ") + what + " '" + shown + "' is not a decimal whole number");
    }
    value = std::stoll(digits);
    // A comment right after the number ends it; its line end is then the whitespace after it.
    if (c == '#') c = SkipComment();
    return c;
}

void TRixPGM::LoadFromFile(const std::filesystem::path& fileName, Bitmap& bitmap) {
    std::int64_t size = 0;
    FileDescriptor fd = OpenFileForReading(fileName, &size);
    std::unique_ptr<std::FILE, FileCloser> file(::fdopen(fd.get(), "rb"));
    if (!file) {
        const int err = errno;
        throw FileError("Cannot open file " + fileName.string() + " (" + std::strerror(err) + ")", err, fileName.string());
    }
    fd.release();  // the stream owns it now
    LoadFromStream(file.get(), size, fileName.string(), bitmap);
}

void TRixPGM::LoadFromStream(std::FILE* stream, std::int64_t fileSize, const std::string& fileName,
                             Bitmap& bitmap) {
    FileName = fileName;
    Stream = stream;
    struct Reset {
        std::FILE*& target;
        ~Reset() { target = nullptr; }
    } reset{Stream};

    // Comment lines before the magic number, which older readers skipped.
    int c = std::fgetc(Stream);
    while (c == '#' || IsSpace(c)) {
        if (c == '#' && SkipComment() == EOF) Refuse("it ends inside a header comment");
        c = std::fgetc(Stream);
    }
    if (c == EOF) Refuse("it ends inside its header");
    const int second = std::fgetc(Stream);
    const int after = second == EOF ? EOF : std::fgetc(Stream);
    if (c != 'P' || second != '5' || !(after == EOF || IsSpace(after) || after == '#')) {
        throw FormatError("'" + fileName + "' is not a binary PGM file: it does not start with \"P5\"");
    }
    if (after == EOF) Refuse("it ends inside its header");
    if (after == '#' && SkipComment() == EOF) Refuse("it ends inside a header comment");

    std::int64_t width = 0;
    std::int64_t height = 0;
    std::int64_t maxValue = 0;
    ReadHeaderNumber("width", width);
    ReadHeaderNumber("height", height);
    CheckImageSize(width, height, "'" + fileName + "'");
    const int delimiter = ReadHeaderNumber("maximum gray value", maxValue);
    Line = std::to_string(maxValue);
    if (maxValue == 0) {
        throw FormatError("'" + fileName + "' has the maximum gray value 0: it must lie in 1..255");
    }
    if (maxValue > 255) {
        throw FormatError("'" + fileName + "' has the maximum gray value " + Line +
                          ": only PGM files with one byte per sample (at most 255) can be read");
    }
    Width = static_cast<int>(width);
    Height = static_cast<int>(height);

    std::int64_t rasterStart = delimiter == EOF ? fileSize : static_cast<std::int64_t>(::ftello(Stream));
    const std::int64_t rasterBytes = width * height;
    const std::int64_t available = fileSize - rasterStart;
    if (available < rasterBytes) {
        throw FormatError("'" + fileName + "' is truncated: " + std::to_string(Width) + " x " +
                          std::to_string(Height) + " needs " + std::to_string(rasterBytes) +
                          " bytes of image data after the header, the file has " +
                          std::to_string(available < 0 ? 0 : available));
    }
    if (available > rasterBytes && available - rasterBytes <= kMaxTrailingHeader) {
        std::vector<std::uint8_t> gap(static_cast<std::size_t>(available - rasterBytes));
        if (std::fread(gap.data(), 1, gap.size(), Stream) == gap.size() && IsLegacyHeaderTail(gap)) {
            rasterStart += static_cast<std::int64_t>(gap.size());
        }
    }
    if (::fseeko(Stream, static_cast<off_t>(rasterStart), SEEK_SET) != 0) {
        throw FileError("Cannot read file " + fileName + " (" + std::strerror(errno) + ")", errno, fileName);
    }

    Bitmap loaded(Width, Height, 0);
    std::vector<std::uint8_t> row(static_cast<std::size_t>(Width));
    for (int y = 0; y < Height; ++y) {
        if (std::fread(row.data(), 1, row.size(), Stream) != row.size()) {
            throw FileError("Cannot read file " + fileName + ": it ended early");
        }
        std::uint8_t* out = loaded.row(y);
        for (int x = 0; x < Width; ++x, out += 3) out[0] = out[1] = out[2] = row[static_cast<std::size_t>(x)];
    }
    bitmap = std::move(loaded);
}

void TRixPGM::SaveToFile(const std::filesystem::path& fileName, const Bitmap& bitmap) {
    FileName = fileName.string();
    Width = bitmap.width();
    Height = bitmap.height();
    std::vector<std::uint8_t> bytes;
    const std::string header = "P5\n" + std::to_string(Width) + " " + std::to_string(Height) + "\n255\n";
    Line = "255";
    bytes.reserve(header.size() + static_cast<std::size_t>(Width) * Height);
    bytes.insert(bytes.end(), header.begin(), header.end());
    for (int y = 0; y < Height; ++y) {
        const std::uint8_t* in = bitmap.row(y);
        for (int x = 0; x < Width; ++x) bytes.push_back(in[3 * x]);
    }
    WriteFileAtomically(fileName, bytes);
}

}  // namespace quillfen
