// The sidecars of a card item: the .mrk length file and the .thm thumbnail, as the file list reads them.
#include <QCoreApplication>
#include <QImage>

#include "FuzzSupport.h"
#include "card/CardFolder.h"
#include "card/TQ9SystemFile.h"
#include "platform/ImageFile.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    static QCoreApplication app(*argc, *argv); // Qt's image plugins
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string media = tq9fuzz::WriteInput("clip.mp4", data, 0);
    tq9fuzz::WriteInput("clip.mrk", data, size);
    const std::string thumbnail = tq9fuzz::WriteInput("clip.thm", data, size);
    tq9::CTQ9SystemFile record;
    record.InitFromCardPath(media);
    tq9::CCardFolder::DurationText(record.MarkerSeconds());
    tq9::CCardFolder::DurationText(media);
    const QImage picture = tq9::CImageFile::LoadSidecar(thumbnail);
    if (!picture.isNull() && (picture.width() <= 0 || picture.height() <= 0))
        __builtin_trap();
    return 0;
}
