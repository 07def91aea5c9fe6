#include "tools/png/png.h"

#include <png.h>
#include <setjmp.h>

namespace {

struct PngFailure {
    jmp_buf jump;
    char* message;
    size_t messageSize;
};

void pngError(png_structp png, png_const_charp text) {
    PngFailure* failure = (PngFailure*)png_get_error_ptr(png);
    snprintf(failure->message, failure->messageSize, "%s", text);
    longjmp(failure->jump, 1);
}

void pngWarning(png_structp, png_const_charp) {}

} // namespace

// Only plain locals here: libpng reports errors by longjmp.
bool writePng(FILE* file, const void* pixels, int32_t width, int32_t height, PngPixels layout,
              int32_t compressionLevel, char* message, size_t messageSize) {
    PngFailure failure;
    failure.message = message;
    failure.messageSize = messageSize;
    snprintf(message, messageSize, "PNG encoder failed");
    png_structp png =
        png_create_write_struct(PNG_LIBPNG_VER_STRING, &failure, pngError, pngWarning);
    if (!png) {
        return false;
    }
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        return false;
    }
    if (setjmp(failure.jump)) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_init_io(png, file);
    const int colourType = layout == PngEngineWords ? PNG_COLOR_TYPE_RGB : PNG_COLOR_TYPE_RGBA;
    png_set_IHDR(png, info, (png_uint_32)width, (png_uint_32)height, 8, colourType,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (compressionLevel >= 0) {
        png_set_compression_level(png, compressionLevel);
    }
    png_write_info(png, info);
    if (layout == PngEngineWords) {
        // The words' bytes are blue, green, red, 0: libpng reorders them and drops the fourth.
        png_set_bgr(png);
        png_set_filler(png, 0, PNG_FILLER_AFTER);
    }
    const png_byte* rows = (const png_byte*)pixels;
    for (int32_t y = 0; y < height; y++) {
        png_write_row(png, rows + (size_t)y * (size_t)width * 4u);
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}
