// The cICP chunk of a PNG file: the chunk walk before the pixels, and the HDR verdict.
#include <QBuffer>

#include "platform/HdrStill.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<int>(size));
    QBuffer file(&bytes);
    file.open(QIODevice::ReadOnly);
    file.seek(size > 0 ? data[0] % 4 : 0); // the reader leaves the position where it found it
    const qint64 start = file.pos();
    tq9::CHdrStill::OfPng(file);
    if (file.pos() != start)
        __builtin_trap();
    return 0;
}
