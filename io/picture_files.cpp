#include "io/picture_files.h"

#include <cstring>

#include <QBuffer>
#include <QByteArray>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>
#include <QSaveFile>
#include <QString>

#include "image/errors.h"
#include "io/file_write.h"
#include "io/jpeg.h"
#include "image/limits.h"
#include "io/pgm.h"
#include "image/vector_state.h"

namespace quillfen {

namespace {

QString ToQString(const std::string& text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

struct AllocationLimit {
    AllocationLimit() {
        // Large enough for the biggest accepted picture at 32 bits per pixel.
        QImageReader::setAllocationLimit(static_cast<int>(kMaxPixels * 4 / (1024 * 1024)) + 1);
    }
};

}  // namespace

PictureFormat FormatFromFileName(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    const std::string name = AsciiLower(slash == std::string::npos ? path : path.substr(slash + 1));
    const std::size_t dot = name.find_last_of('.');
    if (dot == std::string::npos) return PictureFormat::Unknown;
    const std::string ext = name.substr(dot + 1);
    if (ext == "bmp") return PictureFormat::Bmp;
    if (ext == "jpg" || ext == "jpeg") return PictureFormat::Jpeg;
    if (ext == "pgm") return PictureFormat::Pgm;
    if (ext == "png") return PictureFormat::Png;
    return PictureFormat::Unknown;
}

namespace {

LoadedPicture ReadQtDevice(QIODevice& device, const std::string& path) {
    const VectorStateReset reset;  // Qt's image code may leave it dirty: see vector_state.h
    static const AllocationLimit limit;
    QImageReader reader(&device);
    reader.setDecideFormatFromContent(true);
    const QSize size = reader.size();
    if (size.isValid()) CheckImageSize(size.width(), size.height(), "'" + path + "'");
    QImage image;
    if (!reader.read(&image) || image.isNull()) {
        throw FormatError("'" + path + "' is not a readable picture: " +
                          reader.errorString().toStdString());
    }
    CheckImageSize(image.width(), image.height(), "'" + path + "'");
    LoadedPicture loaded;
    loaded.eightBit = image.depth() <= 8;
    const QImage bgr = image.convertToFormat(QImage::Format_BGR888);
    if (bgr.isNull()) throw FormatError("'" + path + "': out of memory converting the picture");
    loaded.bitmap = Bitmap(bgr.width(), bgr.height(), 0);
    for (int y = 0; y < bgr.height(); ++y) {
        std::memcpy(loaded.bitmap.row(y), bgr.constScanLine(y), loaded.bitmap.rowBytes());
    }
    return loaded;
}

}  // namespace

LoadedPicture ReadQtPicture(const std::string& path) {
    QFile file(ToQString(path));
    if (!file.open(QIODevice::ReadOnly)) {
        throw FileError("Cannot open file " + path + " (" + file.errorString().toStdString() + ")");
    }
    return ReadQtDevice(file, path);
}

LoadedPicture ReadQtPictureMemory(const std::uint8_t* data, std::size_t size, const std::string& name) {
    QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    return ReadQtDevice(buffer, name);
}

void WriteQtPicture(const std::string& path, const Bitmap& bitmap, bool eightBit, PictureFormat format) {
    const VectorStateReset reset;
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
    QSaveFile file(ToQString(path));
    if (!file.open(QIODevice::WriteOnly)) {
        throw FileError("Cannot create file " + path + " (" + file.errorString().toStdString() + ")");
    }
    QImageWriter writer(&file, format == PictureFormat::Png ? "png" : "bmp");
    if (!writer.write(image)) {
        file.cancelWriting();
        throw FileError("Cannot create file " + path + " (" + writer.errorString().toStdString() + ")");
    }
    if (!file.commit()) {
        throw FileError("Cannot create file " + path + " (" + file.errorString().toStdString() + ")");
    }
}

LoadedPicture LoadPictureFile(const std::string& path) {
    LoadedPicture loaded;
    switch (FormatFromFileName(path)) {
    case PictureFormat::Bmp:
    case PictureFormat::Png:
        return ReadQtPicture(path);
    case PictureFormat::Jpeg:
        loaded.bitmap = TRixJPEG::Decode(path);
        return loaded;
    case PictureFormat::Pgm: {
        TRixPGM pgm;
        pgm.LoadFromFile(path, loaded.bitmap);
        loaded.eightBit = true;
        return loaded;
    }
    case PictureFormat::Unknown:
        break;
    }
    throw FormatError("'" + path + "': unknown picture format (use .bmp, .png, .jpg, .jpeg or .pgm)");
}

void SavePictureFile(const std::string& path, const Bitmap& bitmap, bool eightBit) {
    if (bitmap.empty()) throw FormatError("Cannot save " + path + ": the picture is empty");
    const PictureFormat format = FormatFromFileName(path);
    switch (format) {
    case PictureFormat::Bmp:
    case PictureFormat::Png:
        WriteQtPicture(path, bitmap, eightBit, format);
        return;
    case PictureFormat::Jpeg:
        WriteFileAtomically(path, TRixJPEG::Encode(bitmap));
        return;
    case PictureFormat::Pgm: {
        TRixPGM pgm;
        pgm.SaveToFile(path, bitmap);
        return;
    }
    case PictureFormat::Unknown:
        break;
    }
    throw FormatError("Cannot save " + path + ": unknown picture format (use .bmp, .png, .jpg, .jpeg or .pgm)");
}

}  // namespace quillfen
