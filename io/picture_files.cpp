#include "io/picture_files.h"

#include <cstring>

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>
#include <QString>
#include <QtGlobal>

#include "image/errors.h"
#include "image/limits.h"
#include "image/vector_state.h"
#include "io/bmp.h"
#include "io/file_write.h"
#include "io/jpeg.h"
#include "io/pgm.h"
#include "io/png.h"

namespace quillfen {

namespace {

// Qt's image code may print warnings of its own; a reader's verdict reaches the user only
// through the error it throws, as one line.
class QuietQtMessages {
public:
    QuietQtMessages() : previous_(qInstallMessageHandler(&Discard)) {}
    ~QuietQtMessages() { qInstallMessageHandler(previous_); }
    QuietQtMessages(const QuietQtMessages&) = delete;
    QuietQtMessages& operator=(const QuietQtMessages&) = delete;

private:
    static void Discard(QtMsgType, const QMessageLogContext&, const QString&) {}
    QtMessageHandler previous_;
};

bool IsJpegData(const std::uint8_t* data, std::size_t size) {
    return size >= 3 && data[0] == 0xFF && data[1] == 0xD8 && data[2] == 0xFF;
}

bool IsBmpData(const std::uint8_t* data, std::size_t size) { return size >= 2 && data[0] == 'B' && data[1] == 'M'; }

// Qt refuses to allocate a picture larger than its allocation limit (in megabytes). The limit
// follows from the largest accepted picture and the bytes per pixel of the form Qt decodes
// this file into, so that every picture within the size limits loads.
void SetAllocationLimitFor(QImage::Format format) {
    int bits = QImage::toPixelFormat(format).bitsPerPixel();
    if (bits <= 0) bits = 64;
    const std::int64_t bytes = kMaxPixels * bits / 8;
    QImageReader::setAllocationLimit(static_cast<int>(bytes / (1024 * 1024)) + 1);
}

LoadedPicture DecodeBmp(const std::uint8_t* data, std::size_t size, const std::string& name) {
    CheckBmpData(data, size, name);
    const QuietQtMessages quiet;
    QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "bmp");
    reader.setAutoDetectImageFormat(false);  // BMP only: no other Qt reader sees our input
    const QSize declared = reader.size();
    if (declared.isValid()) CheckImageSize(declared.width(), declared.height(), "'" + name + "'");
    SetAllocationLimitFor(reader.imageFormat());
    QImage image;
    if (!reader.read(&image) || image.isNull()) {
        throw FormatError("'" + name + "' is not a readable picture: " + reader.errorString().toStdString());
    }
    CheckImageSize(image.width(), image.height(), "'" + name + "'");
    LoadedPicture loaded;
    loaded.eightBit = image.depth() <= 8;
    const QImage bgr = image.convertToFormat(QImage::Format_BGR888);
    if (bgr.isNull()) throw FormatError("'" + name + "': out of memory converting the picture");
    loaded.bitmap = Bitmap(bgr.width(), bgr.height(), 0);
    for (int y = 0; y < bgr.height(); ++y) {
        std::memcpy(loaded.bitmap.row(y), bgr.constScanLine(y), loaded.bitmap.rowBytes());
    }
    return loaded;
}

std::vector<std::uint8_t> EncodeBmp(const Bitmap& bitmap, bool eightBit, const std::filesystem::path& path) {
    QImage image;
    if (eightBit) {
        image = QImage(bitmap.width(), bitmap.height(), QImage::Format_Indexed8);
        QList<QRgb> palette(256);
        for (int i = 0; i < 256; ++i) palette[i] = qRgb(i, i, i);
        image.setColorTable(palette);
        const Gray8Bitmap gray = ConvertToGray8(bitmap);
        for (int y = 0; y < bitmap.height(); ++y) {
            std::memcpy(image.scanLine(y), gray.pixels.data() + static_cast<std::size_t>(y) * gray.width,
                        static_cast<std::size_t>(gray.width));
        }
    } else {
        image = QImage(bitmap.width(), bitmap.height(), QImage::Format_BGR888);
        for (int y = 0; y < bitmap.height(); ++y) {
            std::memcpy(image.scanLine(y), bitmap.row(y), bitmap.rowBytes());
        }
    }
    const QuietQtMessages quiet;
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "bmp");
    if (image.isNull() || !writer.write(image)) {
        throw FileError("Cannot create file " + path.string() + " (" +
                        (image.isNull() ? std::string("out of memory") : writer.errorString().toStdString()) + ")");
    }
    return std::vector<std::uint8_t>(bytes.begin(), bytes.end());
}

}  // namespace

PictureFormat FormatFromFileName(const std::filesystem::path& path) {
    const std::string name = AsciiLower(path.filename().native());
    const std::size_t dot = name.find_last_of('.');
    if (dot == std::string::npos) return PictureFormat::Unknown;
    const std::string ext = name.substr(dot + 1);
    if (ext == "bmp") return PictureFormat::Bmp;
    if (ext == "jpg" || ext == "jpeg") return PictureFormat::Jpeg;
    if (ext == "pgm") return PictureFormat::Pgm;
    if (ext == "png") return PictureFormat::Png;
    return PictureFormat::Unknown;
}

LoadedPicture ReadQtPictureMemory(const std::uint8_t* data, std::size_t size, const std::string& name) {
    const VectorStateReset reset;  // third-party code may leave it dirty: see vector_state.h
    if (IsPngData(data, size)) return DecodePng(data, size, name);
    if (IsBmpData(data, size)) return DecodeBmp(data, size, name);
    if (IsJpegData(data, size)) {
        LoadedPicture loaded;
        loaded.bitmap = TRixJPEG::DecodeMemory(data, size, name, &loaded.eightBit);
        return loaded;
    }
    throw FormatError("'" + name + "' is not a readable picture: " +
                      (size == 0 ? std::string("the file is empty") : std::string("it is neither a BMP nor a PNG file")));
}

LoadedPicture ReadQtPicture(const std::filesystem::path& path) {
    const std::vector<std::uint8_t> bytes = ReadWholeFile(path);
    return ReadQtPictureMemory(bytes.data(), bytes.size(), path.string());
}

void WriteQtPicture(const std::filesystem::path& path, const Bitmap& bitmap, bool eightBit, PictureFormat format) {
    const VectorStateReset reset;
    const std::vector<std::uint8_t> bytes =
        format == PictureFormat::Png ? EncodePng(bitmap, eightBit) : EncodeBmp(bitmap, eightBit, path);
    WriteFileAtomically(path, bytes);
}

LoadedPicture LoadPictureFile(const std::filesystem::path& path) {
    LoadedPicture loaded;
    switch (FormatFromFileName(path)) {
    case PictureFormat::Bmp:
    case PictureFormat::Png:
        return ReadQtPicture(path);
    case PictureFormat::Jpeg: {
        const VectorStateReset reset;
        loaded.bitmap = TRixJPEG::Decode(path, &loaded.eightBit);
        return loaded;
    }
    case PictureFormat::Pgm: {
        TRixPGM pgm;
        pgm.LoadFromFile(path, loaded.bitmap);
        loaded.eightBit = true;
        return loaded;
    }
    case PictureFormat::Unknown:
        break;
    }
    throw FormatError("'" + path.string() + "': unknown picture format (use .bmp, .png, .jpg, .jpeg or .pgm)");
}

void SavePictureFile(const std::filesystem::path& path, const Bitmap& bitmap, bool eightBit) {
    if (bitmap.empty()) throw FormatError("Cannot save " + path.string() + ": the picture is empty");
    const PictureFormat format = FormatFromFileName(path);
    switch (format) {
    case PictureFormat::Bmp:
    case PictureFormat::Png:
        WriteQtPicture(path, bitmap, eightBit, format);
        return;
    case PictureFormat::Jpeg: {
        const VectorStateReset reset;
        WriteFileAtomically(path, TRixJPEG::Encode(bitmap));
        return;
    }
    case PictureFormat::Pgm: {
        TRixPGM pgm;
        pgm.SaveToFile(path, bitmap);
        return;
    }
    case PictureFormat::Unknown:
        break;
    }
    throw FormatError("Cannot save " + path.string() + ": unknown picture format (use .bmp, .png, .jpg, .jpeg or .pgm)");
}

}  // namespace quillfen
