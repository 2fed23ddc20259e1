#include "quillfen/io/picture_files.h"

#include "bmp.h"
#include "png.h"
#include "quillfen/image/detail/vector_state.h"
#include "quillfen/image/errors.h"
#include "quillfen/io/detail/qt_pictures.h"
#include "quillfen/io/file_write.h"
#include "quillfen/io/jpeg.h"
#include "quillfen/io/pgm.h"

namespace quillfen {

namespace {

bool IsJpegData(const std::uint8_t* data, std::size_t size) {
    return size >= 3 && data[0] == 0xFF && data[1] == 0xD8 && data[2] == 0xFF;
}

bool IsBmpData(const std::uint8_t* data, std::size_t size) { return size >= 2 && data[0] == 'B' && data[1] == 'M'; }

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
    if (IsBmpData(data, size)) {
        CheckBmpData(data, size, name);
        return qt_pictures::Load().decodeBmp(data, size, name);
    }
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
        format == PictureFormat::Png ? EncodePng(bitmap, eightBit) : qt_pictures::Load().encodeBmp(bitmap, eightBit, path);
    WriteFileAtomically(path, bytes);
}

std::vector<std::uint8_t> PngBytes(const Bitmap& bitmap, bool gray) {
    if (bitmap.empty()) throw FormatError("an empty picture cannot be written");
    return EncodePng(bitmap, gray);
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

GrayPlane LoadGrayPicture(const std::filesystem::path& path) { return ToPlane(BlueOf(LoadPictureFile(path).bitmap)); }

void SaveGrayPicture(const std::filesystem::path& path, const GrayView& picture) {
    CheckView(picture, "picture");
    Bitmap bitmap(picture.width, picture.height);
    for (int y = 0; y < picture.height; ++y)
        for (int x = 0; x < picture.width; ++x) bitmap.setGray(x, y, picture.at(x, y));
    SavePictureFile(path, bitmap, true);
}

}  // namespace quillfen
