#include "io/picture_files.h"

#include "image/errors.h"
#include "io/file_write.h"
#include "io/jpeg.h"
#include "io/pgm.h"
#include "io/qt_pictures.h"

namespace quillfen {

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

LoadedPicture ReadQtPicture(const std::string& path) { return qt_pictures::Load().read(path); }

LoadedPicture ReadQtPictureMemory(const std::uint8_t* data, std::size_t size, const std::string& name) {
    return qt_pictures::Load().readMemory(data, size, name);
}

void WriteQtPicture(const std::string& path, const Bitmap& bitmap, bool eightBit, PictureFormat format) {
    qt_pictures::Load().write(path, bitmap, eightBit, format);
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
