// The BMP and PNG readers and writer through Qt's image I/O: the module that the file layer
// loads on first use (see qt_pictures.h). Everything here has internal linkage except the
// entry point, so that the module's functions can never be confused with the program's.
#include "io/qt_pictures.h"

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
#include "image/limits.h"
#include "image/vector_state.h"

namespace quillfen::qt_pictures {

namespace {

QString ToQString(const std::string& text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

struct AllocationLimit {
    AllocationLimit() {
        // Large enough for the biggest accepted picture at 32 bits per pixel.
        QImageReader::setAllocationLimit(static_cast<int>(kMaxPixels * 4 / (1024 * 1024)) + 1);
    }
};

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

LoadedPicture Read(const std::string& path) {
    QFile file(ToQString(path));
    if (!file.open(QIODevice::ReadOnly)) {
        throw FileError("Cannot open file " + path + " (" + file.errorString().toStdString() + ")");
    }
    return ReadQtDevice(file, path);
}

LoadedPicture ReadMemory(const std::uint8_t* data, std::size_t size, const std::string& name) {
    QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    return ReadQtDevice(buffer, name);
}

void Write(const std::string& path, const Bitmap& bitmap, bool eightBit, PictureFormat format) {
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

const Functions kFunctions = {&Read, &ReadMemory, &Write};

}  // namespace

#if QF_QT_PICTURES_LINKED
// Linked into the program (fuzzing builds): no module to load.
const Functions& Load() { return kFunctions; }
bool Built() { return true; }
#endif

}  // namespace quillfen::qt_pictures

extern "C" __attribute__((visibility("default"))) const quillfen::qt_pictures::Functions* quillfen_qt_pictures_v1() {
    return &quillfen::qt_pictures::kFunctions;
}
