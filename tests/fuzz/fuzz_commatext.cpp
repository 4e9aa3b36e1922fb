// Any bytes, decoded as the preset reader decodes them, split without a
// crash; unquoted fields never hold a separator.
#include "CommaText.h"
#include "TextFile.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = DecodeText(QByteArray(reinterpret_cast<const char *>(data), int(size)));
    const QStringList fields = CommaTextFields(text);
    if (fields.size() > text.size() + 1)
        std::abort();
    if (!text.contains(QLatin1Char('"'))) {
        for (const QString &f : fields) {
            for (const QChar c : f) {
                if (c == QLatin1Char(',') || (c.unicode() >= 1 && c.unicode() <= 32))
                    std::abort();
            }
        }
    }
    return 0;
}
