#include "Jpeg.h"

#include "Errors.h"

#include <QFile>

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <jpeglib.h>

namespace {
struct ErrorManager
{
    jpeg_error_mgr pub;
    jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

extern "C" void onError(j_common_ptr cinfo)
{
    auto *err = reinterpret_cast<ErrorManager *>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, err->message);
    longjmp(err->jump, 1);
}

extern "C" void onMessage(j_common_ptr, int) {}

// The largest picture decoded: a header can claim 65500 x 65500 pixels in a
// few bytes, and a thumbnail is 80 x 60. This is the budget Qt's own image
// readers keep (256 MB for the 32-bit picture).
constexpr unsigned long long MaxPixels = 1ull << 26;

struct Decoded
{
    unsigned char *pixels; // RGB, malloc'ed
    unsigned width;
    unsigned height;
};

// Plain C-style code only: libjpeg's error exit jumps back into this function,
// so no object with a destructor may live between setjmp and the jump.
bool decode(const unsigned char *data, unsigned long size, Decoded *out, char *message)
{
    jpeg_decompress_struct cinfo;
    ErrorManager err;
    cinfo.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = onError;
    err.pub.emit_message = onMessage;
    err.message[0] = '\0';
    out->pixels = nullptr;
    if (setjmp(err.jump)) {
        std::snprintf(message, JMSG_LENGTH_MAX, "%s", err.message);
        jpeg_destroy_decompress(&cinfo);
        std::free(out->pixels);
        out->pixels = nullptr;
        return false;
    }
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, data, size);
    jpeg_read_header(&cinfo, TRUE);
    if (static_cast<unsigned long long>(cinfo.image_width) * cinfo.image_height > MaxPixels) {
        std::strcpy(message, "picture too large");
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    // libjpeg's own buffers (a progressive picture keeps all its
    // coefficients) get a bound too: beyond it decoding stops with an error.
    cinfo.mem->max_memory_to_use = long(MaxPixels) * 8;
    cinfo.out_color_space = JCS_RGB;
    jpeg_start_decompress(&cinfo);
    if (cinfo.output_components != 3) {
        std::strcpy(message, "no RGB picture");
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    const size_t stride = size_t(cinfo.output_width) * 3;
    out->width = cinfo.output_width;
    out->height = cinfo.output_height;
    out->pixels = static_cast<unsigned char *>(std::malloc(stride * cinfo.output_height));
    if (!out->pixels) {
        std::strcpy(message, "out of memory");
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    // A picture cut short is an error, not a half-grey thumbnail: stop at
    // the first warning rather than fill the rest of a large picture.
    while (cinfo.output_scanline < cinfo.output_height && err.pub.num_warnings == 0) {
        JSAMPROW row = out->pixels + stride * cinfo.output_scanline;
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    if (err.pub.num_warnings == 0)
        jpeg_finish_decompress(&cinfo);
    const bool truncated = err.pub.num_warnings > 0;
    jpeg_destroy_decompress(&cinfo);
    if (truncated) {
        std::strcpy(message, "truncated or damaged data");
        std::free(out->pixels);
        out->pixels = nullptr;
        return false;
    }
    return true;
}
} // namespace

QImage DecodeJpeg(const QByteArray &bytes)
{
    if (bytes.isEmpty())
        throw Exception(QStringLiteral("JPEG data is empty"));
    Decoded d{};
    char message[JMSG_LENGTH_MAX] = {};
    if (!decode(reinterpret_cast<const unsigned char *>(bytes.constData()),
                static_cast<unsigned long>(bytes.size()), &d, message))
        throw Exception(QStringLiteral("JPEG: %1").arg(QString::fromLatin1(message)));
    QImage image(d.pixels, int(d.width), int(d.height), int(d.width * 3), QImage::Format_RGB888,
                 std::free, d.pixels);
    return image.convertToFormat(QImage::Format_RGB32);
}

QImage LoadJpeg(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw EFOpenError(path);
    try {
        return DecodeJpeg(file.readAll());
    } catch (const Exception &e) {
        throw Exception(QStringLiteral("%1: %2").arg(path, e.message()));
    }
}
