// PGM and indexed PNG output for rendered frames.
#include "vexil_image.h"

#include <png.h>

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>

bool WritePgm(const std::string& path, const unsigned char* pixels, int width, int height, long pitch,
              std::string& err) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) {
        err = path + ": " + std::strerror(errno);
        return false;
    }
    bool ok = std::fprintf(f, "P5\n%d %d\n255\n", width, height) > 0;
    for (int y = 0; ok && y < height; y++) {
        ok = std::fwrite(pixels + y * pitch, 1, static_cast<size_t>(width), f) == static_cast<size_t>(width);
    }
    if (std::fclose(f) != 0) ok = false;
    if (!ok) err = path + ": write failed";
    return ok;
}

namespace {

// libpng reports errors by longjmp; only plain data lives in this frame, so
// nothing needs unwinding when it jumps back.
bool WritePngFile(FILE* f, const unsigned char* pixels, int width, int height, long pitch, const png_color* plte) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (!png) return false;
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_init_io(png, f);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
                 PNG_COLOR_TYPE_PALETTE, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_PLTE(png, info, plte, 256);
    png_write_info(png, info);
    for (int y = 0; y < height; y++) png_write_row(png, pixels + y * pitch);
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

}  // namespace

bool WritePng(const std::string& path, const unsigned char* pixels, int width, int height, long pitch,
              const PALETTEENTRY* palette, std::string& err) {
    png_color plte[256];
    for (int i = 0; i < 256; i++) {
        plte[i].red = palette[i].peRed;
        plte[i].green = palette[i].peGreen;
        plte[i].blue = palette[i].peBlue;
    }
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) {
        err = path + ": " + std::strerror(errno);
        return false;
    }
    bool ok = WritePngFile(f, pixels, width, height, pitch, plte);
    if (std::fclose(f) != 0) ok = false;
    if (!ok) err = path + ": PNG write failed";
    return ok;
}
