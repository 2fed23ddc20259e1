#include "io/pgm.h"

#include <cerrno>
#include <cstring>
#include <memory>
#include <sys/stat.h>

#include "image/errors.h"
#include "io/file_write.h"
#include "image/limits.h"
#include "image/number_format.h"

namespace quillfen {

namespace {

// A header line longer than this is not a PGM header; stop before it eats the memory.
constexpr std::size_t kMaxHeaderLine = 4096;

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

}  // namespace

std::string TRixPGM::ReadHeaderLine() {
    std::string line;
    for (;;) {
        const int c = std::fgetc(Stream);
        if (c == EOF) {
            throw FormatError("'" + FileName + "' is not a valid PGM file: it ends inside its header");
        }
        if (c == '#') {
            int skipped;
            do {
                skipped = std::fgetc(Stream);
            } while (skipped != EOF && skipped != '\n');
            if (skipped == EOF) {
                throw FormatError("'" + FileName +
                                  "' is not a valid PGM file: it ends inside a header comment");
            }
            line.clear();
            continue;
        }
        if (c == '\n') return line;
        if (line.size() >= kMaxHeaderLine) {
            throw FormatError("'" + FileName + "' is not a valid PGM file: header line too long");
        }
        line.push_back(static_cast<char>(c));
    }
}

void TRixPGM::LoadFromFile(const std::string& fileName, Bitmap& bitmap) {
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(fileName.c_str(), "rb"));
    if (!file) {
        throw FileError("Cannot open file " + fileName + " (" + std::strerror(errno) + ")");
    }
    struct stat info {};
    if (::fstat(::fileno(file.get()), &info) != 0 || !S_ISREG(info.st_mode)) {
        throw FileError("Cannot open file " + fileName + " (not a regular file)");
    }
    LoadFromStream(file.get(), info.st_size, fileName, bitmap);
}

void TRixPGM::LoadFromStream(std::FILE* stream, std::int64_t fileSize, const std::string& fileName,
                             Bitmap& bitmap) {
    FileName = fileName;
    Stream = stream;
    struct Reset {
        std::FILE*& target;
        ~Reset() { target = nullptr; }
    } reset{Stream};

    Line = ReadHeaderLine();
    if (Line != "P5") {
        throw FormatError("'" + fileName + "' is not a binary PGM file: its first line is not \"P5\"");
    }

    Line = ReadHeaderLine();
    const std::size_t space = Line.find(' ');
    const std::string widthText = space == std::string::npos ? std::string() : Line.substr(0, space);
    const std::string heightText = space == std::string::npos ? Line : Line.substr(space + 1);
    Width = ParseInt(widthText);
    Height = ParseInt(heightText);
    CheckImageSize(Width, Height, "'" + fileName + "'");

    const std::int64_t headerEnd = std::ftell(Stream);
    const std::int64_t rasterBytes = std::int64_t{Width} * Height;
    if (rasterBytes > fileSize - headerEnd) {
        throw FormatError("'" + fileName + "' is too short: " + std::to_string(Width) + " x " +
                          std::to_string(Height) + " needs " + std::to_string(rasterBytes) +
                          " bytes of image data after the header, the file has " +
                          std::to_string(fileSize - headerEnd));
    }
    const std::int64_t rasterStart = fileSize - rasterBytes;

    // The maximum value is not needed to read 8-bit samples, but a value over 255 means two
    // bytes per sample, which would be read as garbage: refuse those files. The line is only
    // looked at where it lies wholly before the raster.
    {
        std::string maxLine;
        bool complete = false;
        bool inComment = false;
        for (std::int64_t pos = headerEnd; pos < rasterStart && maxLine.size() < kMaxHeaderLine; ++pos) {
            const int c = std::fgetc(Stream);
            if (c == EOF) break;
            if (inComment) {
                if (c == '\n') inComment = false;
                continue;
            }
            if (c == '#') {
                inComment = true;
                maxLine.clear();
                continue;
            }
            if (c == '\n') {
                complete = true;
                break;
            }
            maxLine.push_back(static_cast<char>(c));
        }
        int maxValue = 0;
        if (complete && TryParseInt(maxLine, maxValue) && maxValue > 255) {
            throw FormatError("'" + fileName + "' has the maximum gray value " + maxLine +
                              ": only PGM files with one byte per sample (at most 255) can be read");
        }
    }

    if (std::fseek(Stream, static_cast<long>(rasterStart), SEEK_SET) != 0) {
        throw FileError("Cannot read file " + fileName + " (" + std::strerror(errno) + ")");
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

void TRixPGM::SaveToFile(const std::string& fileName, const Bitmap& bitmap) {
    FileName = fileName;
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
