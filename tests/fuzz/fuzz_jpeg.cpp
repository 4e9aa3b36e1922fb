// Any bytes as a thumbnail: a picture or an Exception, never a crash.
#include "Errors.h"
#include "Jpeg.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    try {
        const QImage img = DecodeJpeg(QByteArray(reinterpret_cast<const char *>(data), int(size)));
        (void)img.pixel(0, 0);
    } catch (const Exception &) {
    }
    return 0;
}
