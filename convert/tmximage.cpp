// Images of the converter: PNG decoding (palette images keep their indices)
// and encoding through libpng, colour reduction through libimagequant.
#include <libimagequant.h>
#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <cstring>

#include "tmxinternal.h"

namespace {

// libpng reports errors by longjmp: the functions that set the jump point
// hold only plain data, and the reason is copied into `msg`.
struct PngIo {
    const uint8_t* data;
    size_t size, pos;
    char msg[128];
};

void PngReadBytes(png_structp png, png_bytep out, png_size_t n) {
    auto* io = static_cast<PngIo*>(png_get_io_ptr(png));
    if (n > io->size - io->pos) png_error(png, "the file is cut short");
    std::memcpy(out, io->data + io->pos, n);
    io->pos += n;
}

void PngError(png_structp png, png_const_charp msg) {
    auto* io = static_cast<PngIo*>(png_get_error_ptr(png));
    std::snprintf(io->msg, sizeof io->msg, "%s", msg);
    png_longjmp(png, 1);
}

void PngWarning(png_structp, png_const_charp) {}

struct PngHeader {
    png_uint_32 width, height;
    int depth, type, interlace;
};

bool PngBegin(png_structp png, png_infop info, PngHeader& h) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_read_info(png, info);
    png_get_IHDR(png, info, &h.width, &h.height, &h.depth, &h.type, &h.interlace, nullptr, nullptr);
    return true;
}

// Reads every row: one index per pixel for a palette image, else RGBA.
bool PngRows(png_structp png, png_infop info, png_bytepp rows, bool palette, size_t rowbytes) {
    if (setjmp(png_jmpbuf(png))) return false;
    if (palette) {
        png_set_packing(png);
    } else {
        png_set_expand(png);
        png_set_strip_16(png);
        png_set_gray_to_rgb(png);
        png_set_add_alpha(png, 0xFF, PNG_FILLER_AFTER);
    }
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    if (png_get_rowbytes(png, info) != rowbytes) png_error(png, "unexpected row size");
    png_read_image(png, rows);
    return true;
}

}  // namespace

TmxImage TmxDecodePng(const std::vector<uint8_t>& data, const std::string& file, int64_t maxpixels) {
    if (data.size() < 8 || png_sig_cmp(data.data(), 0, 8)) TmxThrow(file, "not a PNG image");
    PngIo io{data.data(), data.size(), 8, ""};
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &io, PngError, PngWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        TmxThrow(file, "cannot start libpng");
    }
    png_set_read_fn(png, &io, PngReadBytes);
    png_set_sig_bytes(png, 8);
    png_set_chunk_malloc_max(png, 1 << 22);  // text and other side chunks stay small
    PngHeader h{};
    TmxImage img;
    bool ok = PngBegin(png, info, h);
    if (ok && int64_t{h.width} * h.height > maxpixels) {
        png_destroy_read_struct(&png, &info, nullptr);
        TmxThrow(file, "image of %u x %u pixels is larger than the limit of %lld pixels", h.width, h.height,
                 static_cast<long long>(maxpixels));
    }
    if (ok) {
        img.width = static_cast<int>(h.width);
        img.height = static_cast<int>(h.height);
        img.indexed = h.type == PNG_COLOR_TYPE_PALETTE;
        const size_t n = size_t{h.width} * h.height;
        const size_t bpp = img.indexed ? 1 : 4;
        std::vector<uint8_t> pixels(n * bpp);
        std::vector<png_bytep> rows(h.height);
        for (size_t y = 0; y < h.height; y++) rows[y] = pixels.data() + y * h.width * bpp;
        ok = PngRows(png, info, rows.data(), img.indexed, h.width * bpp);
        if (ok && img.indexed) {
            png_colorp plte = nullptr;
            int nplte = 0;
            png_get_PLTE(png, info, &plte, &nplte);
            png_bytep trns = nullptr;
            int ntrns = 0;
            png_get_tRNS(png, info, &trns, &ntrns, nullptr);
            img.plte.assign(768, 0);
            for (int i = 0; i < nplte && i < 256; i++) {
                img.plte[3 * i] = plte[i].red;
                img.plte[3 * i + 1] = plte[i].green;
                img.plte[3 * i + 2] = plte[i].blue;
            }
            if (trns) img.trns.assign(trns, trns + std::min(ntrns, 256));
            img.index = std::move(pixels);
            img.rgba.resize(n);
            for (size_t i = 0; i < n; i++) {
                const int k = img.index[i];
                const uint32_t a = k < static_cast<int>(img.trns.size()) ? img.trns[k] : 255;
                img.rgba[i] = img.plte[3 * k] | img.plte[3 * k + 1] << 8 | img.plte[3 * k + 2] << 16 | a << 24;
            }
        } else if (ok) {
            img.rgba.resize(n);
            for (size_t i = 0; i < n; i++) {
                const uint8_t* p = &pixels[4 * i];
                img.rgba[i] = p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
            }
        }
    }
    png_destroy_read_struct(&png, &info, nullptr);
    if (!ok) TmxThrow(file, "broken PNG image: %s", io.msg);
    return img;
}

namespace {

// A PNG file in memory through libpng's simplified API: rows of `stride`
// bytes in `format`; empty when it cannot be written.
std::vector<uint8_t> EncodePng(int width, int height, png_uint_32 format, const void* pixels, int stride,
                               const void* colormap, png_uint_32 entries) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(width);
    image.height = static_cast<png_uint_32>(height);
    image.format = format;
    image.colormap_entries = entries;
    png_alloc_size_t size = 0;
    if (!png_image_write_get_memory_size(image, size, 0, pixels, stride, colormap)) return {};
    std::vector<uint8_t> out(size);
    if (!png_image_write_to_memory(&image, out.data(), &size, 0, pixels, stride, colormap)) return {};
    out.resize(size);
    return out;
}

}  // namespace

std::vector<uint8_t> TmxEncodePng(int width, int height, const uint8_t* indices, const uint8_t* cmap, bool key0) {
    uint8_t colormap[256 * 4];
    for (int i = 0; i < 256; i++) {
        std::memcpy(&colormap[4 * i], &cmap[3 * i], 3);
        colormap[4 * i + 3] = key0 && i == 0 ? 0 : 255;
    }
    return EncodePng(width, height, PNG_FORMAT_RGBA_COLORMAP, indices, width, colormap, 256);
}

std::vector<uint8_t> TmxEncodePngRgba(int width, int height, const uint32_t* rgba) {
    std::vector<uint8_t> bytes(size_t(width) * height * 4);
    for (size_t i = 0; i < bytes.size() / 4; i++) {
        for (int c = 0; c < 4; c++) bytes[4 * i + c] = static_cast<uint8_t>(rgba[i] >> (8 * c));
    }
    return EncodePng(width, height, PNG_FORMAT_RGBA, bytes.data(), width * 4, nullptr, 0);
}

namespace {

// A small open-addressing set of colours that stops counting past `limit`.
struct ColourSet {
    std::vector<uint32_t> slots = std::vector<uint32_t>(1024, 0);  // colour | 1 << 24; 0 = empty
    std::vector<uint32_t> colours;
    bool Add(uint32_t c, size_t limit) {
        const uint32_t key = (c & 0xFFFFFF) | 0x1000000u;
        size_t i = (key * 2654435761u) >> 22;
        while (slots[i] && slots[i] != key) i = (i + 1) & 1023;
        if (slots[i]) return true;
        if (colours.size() == limit) return false;
        slots[i] = key;
        colours.push_back(c & 0xFFFFFF);
        return true;
    }
};

}  // namespace

bool TmxQuantize(const std::vector<std::pair<const uint32_t*, size_t>>& spans, std::vector<uint8_t>& cmap,
                 std::vector<uint8_t>& indices) {
    size_t n = 0;
    for (const auto& sp : spans) n += sp.second;
    indices.assign(n, 0);
    // Calls f(pixel, index) for every pixel, every `stride`th one.
    auto each = [&](size_t stride, auto&& f) {
        size_t at = 0, skip = 0;
        for (const auto& [px, count] : spans) {
            for (size_t i = skip; i < count; i += stride) f(px[i], at + i);
            skip = (skip + stride - count % stride) % stride;
            at += count;
        }
    };
    auto put = [&](int entry, uint8_t r, uint8_t g, uint8_t b) {
        cmap[3 * entry] = r;
        cmap[3 * entry + 1] = g;
        cmap[3 * entry + 2] = b;
    };
    // At most 255 colours: each its own entry, in the order of their values.
    ColourSet set;
    bool few = true;
    for (const auto& [px, count] : spans) {
        for (size_t i = 0; i < count && few; i++) {
            if (px[i]) few = set.Add(px[i], 255);
        }
    }
    if (few) {
        std::sort(set.colours.begin(), set.colours.end());
        for (size_t k = 0; k < set.colours.size(); k++) {
            const uint32_t c = set.colours[k];
            put(static_cast<int>(k + 1), c & 0xFF, c >> 8 & 0xFF, c >> 16 & 0xFF);
        }
        each(1, [&](uint32_t c, size_t i) {
            if (!c) return;
            const auto at = std::lower_bound(set.colours.begin(), set.colours.end(), c & 0xFFFFFF);
            indices[i] = static_cast<uint8_t>(at - set.colours.begin() + 1);
        });
        return true;
    }
    // More: libimagequant makes a palette of 255 colours from the histogram
    // of the colours of a sample of the pixels, and every pixel takes the
    // entry nearest to the middle of its cell of a 64 x 64 x 64 grid of
    // colours, worked out once per cell. No dithering, so equal tiles stay
    // equal.
    const size_t stride = std::max<size_t>(1, n / (size_t{1} << 16));
    std::vector<uint32_t> keys(size_t{1} << 17, 0), counts(keys.size(), 0);  // colour | 1 << 24 -> count
    size_t distinct = 0;
    each(stride, [&](uint32_t c, size_t) {
        if (!c || distinct >= keys.size() / 2) return;
        const uint32_t key = (c & 0xFFFFFF) | 0x1000000u;
        size_t h = (key * 2654435761u) & (keys.size() - 1);
        while (keys[h] && keys[h] != key) h = (h + 1) & (keys.size() - 1);
        if (!keys[h]) keys[h] = key, distinct++;
        counts[h]++;
    });
    std::vector<liq_histogram_entry> entries;
    entries.reserve(distinct);
    for (size_t h = 0; h < keys.size(); h++) {
        if (!keys[h]) continue;
        const uint32_t c = keys[h];
        entries.push_back({{static_cast<unsigned char>(c), static_cast<unsigned char>(c >> 8),
                            static_cast<unsigned char>(c >> 16), 255},
                           counts[h]});
    }
    keys = {};
    counts = {};
    liq_attr* attr = liq_attr_create();
    liq_set_max_colors(attr, 255);
    liq_set_speed(attr, 10);
    liq_histogram* hist = liq_histogram_create(attr);
    // The histogram sizes its table by the square of the first call's count:
    // small batches keep it from reserving tens of megabytes up front.
    for (size_t at = 0; at < entries.size(); at += 1024)
        liq_histogram_add_colors(hist, attr, entries.data() + at,
                                 static_cast<int>(std::min<size_t>(1024, entries.size() - at)), 0);
    liq_result* res = nullptr;
    bool ok = false;
    if (liq_histogram_quantize(hist, attr, &res) == LIQ_OK) {
        const liq_palette* pal = liq_get_palette(res);
        const int count = static_cast<int>(std::min(pal->count, 255u));
        for (int k = 0; k < count; k++) put(k + 1, pal->entries[k].r, pal->entries[k].g, pal->entries[k].b);
        std::vector<uint8_t> grid(size_t{1} << 18, 0);  // nearest entry of each cell; 0 = not yet known
        each(1, [&](uint32_t c, size_t i) {
            if (!c) return;
            const size_t cell = (c >> 2 & 63) | (c >> 10 & 63) << 6 | (c >> 18 & 63) << 12;
            uint8_t& e = grid[cell];
            if (!e) {
                const int r = int(cell & 63) * 4 + 2, g = int(cell >> 6 & 63) * 4 + 2, b = int(cell >> 12) * 4 + 2;
                int best = 1, bestd = INT32_MAX;
                for (int k = 1; k <= count; k++) {
                    const int dr = cmap[3 * k] - r, dg = cmap[3 * k + 1] - g, db = cmap[3 * k + 2] - b;
                    const int d = dr * dr + dg * dg + db * db;
                    if (d < bestd) best = k, bestd = d;
                }
                e = static_cast<uint8_t>(best);
            }
            indices[i] = e;
        });
        liq_result_destroy(res);
        ok = true;
    }
    liq_histogram_destroy(hist);
    liq_attr_destroy(attr);
    return ok;
}
