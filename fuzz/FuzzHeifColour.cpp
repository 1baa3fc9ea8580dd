// HEIF pictures through libheif and their colour description (nclx: PQ, HLG, primaries, light level).
#include "platform/HeifImage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray file = QByteArray::fromRawData(reinterpret_cast<const char*>(data), static_cast<int>(size));
    if (!tq9::CHeifImage::IsHeif(file.left(tq9::CHeifImage::kHeadSize)))
        return 0;
    tq9::CHeifImage::ShownSize(file);
    tq9::CHdrStill hdr;
    const QImage picture = tq9::CHeifImage::Read(file, &hdr);
    // An HDR picture comes in 16 bits, as stored.
    if (!picture.isNull() && hdr.IsHdr() && picture.depth() != 64)
        __builtin_trap();
    return 0;
}
