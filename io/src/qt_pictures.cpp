// BMP decoding and encoding through Qt's image I/O: the module that the file layer loads on
// the first BMP file (see qt_pictures.h). Everything here has internal linkage except the
// entry point, so that the module's functions can never be confused with the program's.
#include "quillfen/io/detail/qt_pictures.h"

#include <cstring>

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>
#include <QString>
#include <QtGlobal>

#include "quillfen/image/errors.h"
#include "quillfen/image/limits.h"

namespace quillfen::qt_pictures {

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

const Functions kFunctions = {&DecodeBmp, &EncodeBmp};

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
