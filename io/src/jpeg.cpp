#include "quillfen/io/jpeg.h"

#include <csetjmp>
#include <cstdio>
#include <cstring>

#include <jpeglib.h>

#include "quillfen/image/errors.h"
#include "quillfen/image/limits.h"
#include "quillfen/io/file_write.h"

namespace quillfen {

namespace {

// A progressive file may announce any number of scans, and each costs a pass over the
// coefficients of the whole image: an 8192 x 8192 file of 700 scans takes many times as long
// as an ordinary progressive file (10 scans for colour, 6 for gray; optimising encoders stay
// within a few dozen). This cap keeps the worst accepted file at the size limit within a few
// seconds.
constexpr int kMaxScans = 100;

// libjpeg's default error handler calls exit(). Ours jumps back to the caller with the
// message number and text, so the program never ends and nothing is half-written.
struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    int code;
    char text[JMSG_LENGTH_MAX];
};

void OnError(j_common_ptr cinfo) {
    auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
    err->code = err->pub.msg_code;
    (*err->pub.format_message)(cinfo, err->text);
    std::longjmp(err->jump, 1);
}

// Warnings (corrupt or missing data, which libjpeg would fill with gray) are treated as
// errors: a silently damaged picture is worse than a clear refusal.
void OnMessage(j_common_ptr cinfo, int level) {
    if (level < 0) OnError(cinfo);
}

void OnProgress(j_common_ptr cinfo) {
    if (!cinfo->is_decompressor) return;
    auto* dinfo = reinterpret_cast<j_decompress_ptr>(cinfo);
    if (dinfo->input_scan_number > kMaxScans) {
        auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
        err->code = 0;
        std::snprintf(err->text, sizeof err->text, "too many scans in a progressive file (over %d)",
                      kMaxScans);
        std::longjmp(err->jump, 2);
    }
}

// "'F': JPEG error #N: text", or without a name for data held in memory.
std::string ErrorText(const ErrorManager& err, const std::string& name) {
    const std::string prefix = name.empty() ? std::string() : "'" + name + "': ";
    if (err.code == 0) return prefix + "JPEG error: " + err.text;
    return prefix + "JPEG error #" + std::to_string(err.code) + ": " + err.text;
}

void SetUpErrors(ErrorManager& err) {
    jpeg_std_error(&err.pub);
    err.pub.error_exit = OnError;
    err.pub.emit_message = OnMessage;
    err.code = 0;
    err.text[0] = '\0';
}

// The decoder proper. Everything with a destructor lives outside the part that may jump.
bool DecodeInto(const std::uint8_t* data, std::size_t size, const std::string& name, Bitmap& out,
                bool& gray, std::string& message) {
    jpeg_decompress_struct cinfo;
    ErrorManager err;
    jpeg_progress_mgr progress;
    std::memset(&cinfo, 0, sizeof cinfo);
    SetUpErrors(err);
    cinfo.err = &err.pub;
    progress.progress_monitor = OnProgress;
    std::string sizeError;
    JSAMPROW rowPointer = nullptr;

    if (setjmp(err.jump)) {
        message = ErrorText(err, name);
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    jpeg_create_decompress(&cinfo);
    cinfo.progress = &progress;
    jpeg_mem_src(&cinfo, data, static_cast<unsigned long>(size));
    jpeg_read_header(&cinfo, TRUE);
    try {
        CheckImageSize(cinfo.image_width, cinfo.image_height, name.empty() ? "JPEG file" : "'" + name + "'");
    } catch (const Error& e) {
        sizeError = e.what();
    }
    if (!sizeError.empty()) {
        message = sizeError;
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    gray = cinfo.jpeg_color_space == JCS_GRAYSCALE;
    cinfo.out_color_space = JCS_RGB;
    cinfo.scale_num = 1;
    cinfo.scale_denom = 1;
    cinfo.quantize_colors = FALSE;
    jpeg_start_decompress(&cinfo);
    out = Bitmap(static_cast<int>(cinfo.output_width), static_cast<int>(cinfo.output_height), 0);
    while (cinfo.output_scanline < cinfo.output_height) {
        const int y = static_cast<int>(cinfo.output_scanline);
        rowPointer = out.row(y);
        jpeg_read_scanlines(&cinfo, &rowPointer, 1);
        // libjpeg gives red, green, blue; the bitmap keeps blue, green, red.
        std::uint8_t* p = out.row(y);
        for (int x = 0; x < out.width(); ++x, p += 3) std::swap(p[0], p[2]);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return true;
}

bool EncodeInto(const Bitmap& bitmap, int quality, bool gray, std::vector<std::uint8_t>& bytes,
                std::string& message) {
    jpeg_compress_struct cinfo;
    ErrorManager err;
    std::memset(&cinfo, 0, sizeof cinfo);
    SetUpErrors(err);
    cinfo.err = &err.pub;
    unsigned char* buffer = nullptr;
    unsigned long bufferSize = 0;
    std::vector<std::uint8_t> rgb(bitmap.rowBytes());
    JSAMPROW rowPointer = rgb.data();

    if (setjmp(err.jump)) {
        message = ErrorText(err, std::string());
        jpeg_destroy_compress(&cinfo);
        std::free(buffer);
        return false;
    }
    jpeg_create_compress(&cinfo);
    jpeg_mem_dest(&cinfo, &buffer, &bufferSize);
    cinfo.image_width = static_cast<JDIMENSION>(bitmap.width());
    cinfo.image_height = static_cast<JDIMENSION>(bitmap.height());
    cinfo.input_components = gray ? 1 : 3;
    cinfo.in_color_space = gray ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        const std::uint8_t* in = bitmap.row(static_cast<int>(cinfo.next_scanline));
        for (int x = 0; gray && x < bitmap.width(); ++x) rgb[x] = in[3 * x];
        for (int x = 0; !gray && x < bitmap.width(); ++x) {
            rgb[3 * x] = in[3 * x + 2];
            rgb[3 * x + 1] = in[3 * x + 1];
            rgb[3 * x + 2] = in[3 * x];
        }
        jpeg_write_scanlines(&cinfo, &rowPointer, 1);
    }
    jpeg_finish_compress(&cinfo);
    bytes.assign(buffer, buffer + bufferSize);
    jpeg_destroy_compress(&cinfo);
    std::free(buffer);
    return true;
}

}  // namespace

Bitmap TRixJPEG::DecodeMemory(const std::uint8_t* data, std::size_t size, const std::string& name,
                              bool* grayFile) {
    Bitmap bitmap;
    bool gray = false;
    std::string message;
    if (!DecodeInto(data, size, name, bitmap, gray, message)) throw FormatError(message);
    if (grayFile) *grayFile = gray;
    return bitmap;
}

Bitmap TRixJPEG::DecodeMemory(const std::uint8_t* data, std::size_t size) {
    return DecodeMemory(data, size, std::string(), nullptr);
}

Bitmap TRixJPEG::Decode(const std::filesystem::path& fileName, bool* grayFile) {
    const std::vector<std::uint8_t> bytes = ReadWholeFile(fileName);
    return DecodeMemory(bytes.data(), bytes.size(), fileName.string(), grayFile);
}

std::vector<std::uint8_t> TRixJPEG::Encode(const Bitmap& bitmap, int quality) {
    if (bitmap.empty()) throw FormatError("JPEG error: an empty picture cannot be saved");
    std::vector<std::uint8_t> bytes;
    std::string message;
    if (!EncodeInto(bitmap, quality, false, bytes, message)) throw FormatError(message);
    return bytes;
}

std::vector<std::uint8_t> TRixJPEG::EncodeGray(const Bitmap& bitmap, int quality) {
    if (bitmap.empty()) throw FormatError("JPEG error: an empty picture cannot be saved");
    std::vector<std::uint8_t> bytes;
    std::string message;
    if (!EncodeInto(bitmap, quality, true, bytes, message)) throw FormatError(message);
    return bytes;
}

void TRixJPEG::LoadFromFile(const std::filesystem::path& fileName, Bitmap& bitmap) { bitmap = Decode(fileName); }

std::string TRixJPEG::TargetName(const std::string& fileName) {
    const std::string lower = AsciiLower(fileName);
    if (lower.find(".jpg") != std::string::npos) return fileName;
    if (lower.find(".jpeg") != std::string::npos) return fileName;
    return fileName + ".jpg";
}

std::string TRixJPEG::SaveToFile(const std::filesystem::path& fileName, const Bitmap& bitmap) {
    const std::string target = TargetName(fileName.native());
    WriteFileAtomically(target, Encode(bitmap));  // encoded in full before the file is touched
    return target;
}

}  // namespace quillfen
