// PNG reading and writing with libpng's simplified interface, which keeps a
// palette file's colour map as it is and needs no longjmp handling here.
#include "pngio.h"

#include <png.h>

std::string PfReadIndexedPng(const std::string& path, PfPicture& out) {
    png_image im{};
    im.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&im, path.c_str())) return path + ": " + im.message;
    if (!(im.format & PNG_FORMAT_FLAG_COLORMAP)) {
        png_image_free(&im);
        return path + ": not an indexed PNG";
    }
    im.format = PNG_FORMAT_RGBA_COLORMAP;
    out.w = static_cast<int>(im.width);
    out.h = static_cast<int>(im.height);
    out.px.assign(PNG_IMAGE_SIZE(im), 0);
    out.rgba.assign(PNG_IMAGE_COLORMAP_SIZE(im), 0);
    if (!png_image_finish_read(&im, nullptr, out.px.data(), 0, out.rgba.data())) return path + ": " + im.message;
    out.rgba.resize(size_t{im.colormap_entries} * 4);
    return "";
}

std::string PfWriteRgbPng(const std::string& path, const uint8_t* rgb, int w, int h, int stride) {
    png_image im{};
    im.version = PNG_IMAGE_VERSION;
    im.width = static_cast<png_uint_32>(w);
    im.height = static_cast<png_uint_32>(h);
    im.format = PNG_FORMAT_RGB;
    if (!png_image_write_to_file(&im, path.c_str(), 0, rgb, stride, nullptr)) return path + ": " + im.message;
    return "";
}
