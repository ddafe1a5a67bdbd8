// The code page 932 codec both ways. Decoding never yields more units than
// bytes and is stable under a second round trip; encoding arbitrary UTF-16
// (lone surrogates included) never overflows and counts its substitutes.
#include "text/cp932.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArrayView bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const QString text = tessolo::cp932::decode(bytes);
    if (text.size() > bytes.size())
        abort();
    if (!bytes.isEmpty() && text.isEmpty())
        abort();

    qsizetype substituted = -1;
    const QByteArray again = tessolo::cp932::encode(text, &substituted);
    if (substituted < 0 || again.size() > 2 * text.size())
        abort();
    // Every U+FFFD became a '?', and nothing else was lost.
    if (substituted < text.count(QChar(0xFFFD)))
        abort();
    if (!text.contains(QChar(0xFFFD)) && substituted == 0) {
        if (tessolo::cp932::decode(again) != text)
            abort();
    }

    // The same bytes read as UTF-16 code units.
    QString units(qsizetype(size / 2), Qt::Uninitialized);
    memcpy(units.data(), data, (size / 2) * 2);
    qsizetype subs = -1;
    const QByteArray enc = tessolo::cp932::encode(units, &subs);
    if (subs < 0 || subs > units.size() || enc.size() > 2 * units.size())
        abort();
    if (enc.count('?') < subs)
        abort();
    return 0;
}
