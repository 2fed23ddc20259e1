#include "png.h"

#include <csetjmp>
#include <cstdio>
#include <cstring>

#include <png.h>

#include "quillfen/image/errors.h"
#include "quillfen/image/limits.h"

namespace quillfen {

namespace {

// What libpng's callbacks share with the code that called it. libpng reports errors by
// calling OnError, which keeps the message and jumps back to the setjmp of the running phase;
// warnings (bad ancillary chunks, which are skipped) are not shown.
struct PngState {
    const std::uint8_t* data = nullptr;
    std::size_t size = 0;
    std::size_t pos = 0;
    bool endOfData = false;
    std::vector<std::uint8_t>* output = nullptr;
    char message[256] = {};
};

void OnError(png_structp png, png_const_charp message) {
    auto* state = static_cast<PngState*>(png_get_error_ptr(png));
    std::snprintf(state->message, sizeof state->message, "%s", message);
    png_longjmp(png, 1);
}

void OnWarning(png_structp, png_const_charp) {}

void ReadFromMemory(png_structp png, png_bytep out, std::size_t count) {
    auto* state = static_cast<PngState*>(png_get_io_ptr(png));
    if (state->size - state->pos < count) {
        state->endOfData = true;
        png_error(png, "the file ends early");
    }
    std::memcpy(out, state->data + state->pos, count);
    state->pos += count;
}

void WriteToMemory(png_structp png, png_bytep data, std::size_t count) {
    auto* state = static_cast<PngState*>(png_get_io_ptr(png));
    try {
        state->output->insert(state->output->end(), data, data + count);
    } catch (const std::bad_alloc&) {
        png_error(png, "out of memory");
    }
}

void FlushMemory(png_structp) {}

// Owns the libpng read structures.
struct ReadStructs {
    png_structp png = nullptr;
    png_infop info = nullptr;
    ~ReadStructs() { png_destroy_read_struct(&png, info ? &info : nullptr, nullptr); }
};

struct PngHeader {
    png_uint_32 width = 0;
    png_uint_32 height = 0;
    int depth = 0;
    int colourType = 0;
};

// The phases below each set their own jump target and touch nothing that needs a destructor,
// so that libpng's longjmp on an error skips nothing.
bool ReadHeaderPhase(png_structp png, png_infop info, PngHeader& header) {
    if (setjmp(png_jmpbuf(png))) return false;
    // Only the chunks that shape the pixels are read; text, colour profiles and the like are
    // skipped unparsed (and so cannot cost time or memory).
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, nullptr, -1);
    png_read_info(png, info);
    png_get_IHDR(png, info, &header.width, &header.height, &header.depth, &header.colourType, nullptr, nullptr,
                 nullptr);
    return true;
}

// Asks libpng for 8-bit blue, green, red pixels whatever the file holds.
bool TransformPhase(png_structp png, png_infop info, const PngHeader& header, std::size_t& rowBytes) {
    if (setjmp(png_jmpbuf(png))) return false;
    if (header.colourType == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
    if ((header.colourType & PNG_COLOR_MASK_COLOR) == 0 && header.depth < 8) png_set_expand_gray_1_2_4_to_8(png);
    if (header.depth == 16) png_set_scale_16(png);
    png_set_strip_alpha(png);
    if ((header.colourType & PNG_COLOR_MASK_COLOR) == 0) png_set_gray_to_rgb(png);
    png_set_bgr(png);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    rowBytes = png_get_rowbytes(png, info);
    return true;
}

bool PixelPhase(png_structp png, png_bytepp rows) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_read_image(png, rows);
    png_read_end(png, nullptr);
    return true;
}

bool WritePhase(png_structp png, png_infop info, const Bitmap& bitmap, bool gray, png_bytep grayRow) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_IHDR(png, info, static_cast<png_uint_32>(bitmap.width()), static_cast<png_uint_32>(bitmap.height()), 8,
                 gray ? PNG_COLOR_TYPE_GRAY : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    if (!gray) png_set_bgr(png);
    for (int y = 0; y < bitmap.height(); ++y) {
        const std::uint8_t* in = bitmap.row(y);
        if (gray) {
            for (int x = 0; x < bitmap.width(); ++x) grayRow[x] = in[3 * x];
            png_write_row(png, grayRow);
        } else {
            png_write_row(png, in);
        }
    }
    png_write_end(png, info);
    return true;
}

}  // namespace

bool IsPngData(const std::uint8_t* data, std::size_t size) {
    return size >= 8 && png_sig_cmp(data, 0, 8) == 0;
}

LoadedPicture DecodePng(const std::uint8_t* data, std::size_t size, const std::string& name) {
    PngState state;
    state.data = data;
    state.size = size;
    auto refuse = [&] {
        if (state.endOfData) return FormatError("'" + name + "' is truncated: the file ends inside its PNG data");
        return FormatError("'" + name + "' is not a readable PNG file: " + state.message);
    };
    ReadStructs s;
    s.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &state, OnError, OnWarning);
    if (s.png) s.info = png_create_info_struct(s.png);
    if (!s.png || !s.info) throw std::bad_alloc();
    png_set_read_fn(s.png, &state, ReadFromMemory);

    PngHeader header;
    if (!ReadHeaderPhase(s.png, s.info, header)) throw refuse();
    CheckImageSize(header.width, header.height, "'" + name + "'");
    std::size_t rowBytes = 0;
    if (!TransformPhase(s.png, s.info, header, rowBytes)) throw refuse();
    if (rowBytes != std::size_t{header.width} * 3) {
        throw FormatError("'" + name + "' is not a readable PNG file: unexpected pixel layout");
    }

    LoadedPicture loaded;
    loaded.bitmap = Bitmap(static_cast<int>(header.width), static_cast<int>(header.height), 0);
    loaded.eightBit = header.colourType == PNG_COLOR_TYPE_PALETTE ||
                      (header.colourType == PNG_COLOR_TYPE_GRAY && header.depth <= 8);
    std::vector<png_bytep> rows(header.height);
    for (png_uint_32 y = 0; y < header.height; ++y) rows[y] = loaded.bitmap.row(static_cast<int>(y));
    if (!PixelPhase(s.png, rows.data())) throw refuse();
    return loaded;
}

std::vector<std::uint8_t> EncodePng(const Bitmap& bitmap, bool gray) {
    std::vector<std::uint8_t> bytes;
    PngState state;
    state.output = &bytes;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &state, OnError, OnWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!png || !info) {
        png_destroy_write_struct(&png, nullptr);
        throw std::bad_alloc();
    }
    png_set_write_fn(png, &state, WriteToMemory, FlushMemory);
    std::vector<std::uint8_t> grayRow(static_cast<std::size_t>(bitmap.width()));
    const bool written = WritePhase(png, info, bitmap, gray, grayRow.data());
    png_destroy_write_struct(&png, &info);
    if (!written) throw FormatError(std::string("PNG error: ") + state.message);
    return bytes;
}

}  // namespace quillfen
