// Writes the seed corpus of the fuzz targets into FOLDER/<target>/ with the project's own writers: a
// journal as the placement writes it, a .mrk and a .thm as the import writes them, HEIC and PNG
// pictures as phones write them (SDR and HDR). The media seeds come from the ffmpeg tool (make-corpus.sh).
#include <QCoreApplication>
#include <QImage>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>

#include "card/CardLayout.h"
#include "platform/StagingName.h"
#include "support/StillSources.h"

namespace fs = std::filesystem;

namespace {

void write(const fs::path& path, const std::string& bytes)
{
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string read(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::cerr << "usage: fuzz_make_seeds FOLDER\n";
        return 2;
    }
    const fs::path out = argv[1];
    fs::create_directories(out);
    // A folder of its own, so the clean-up below never takes one that was there before.
    std::string pattern = (out / ".scratch-XXXXXX").string();
    if (!::mkdtemp(pattern.data()))
        return 1;
    const fs::path scratch = pattern;

    // A journal of run 4242: a media file and its two sidecars.
    const fs::path journal = scratch / ".tq9-part-4242-1.item";
    if (tq9::CStagingName::WriteJournal(journal.string(), {{".tq9-part-4242-2", "clip.thm"},
                                                           {".tq9-part-4242-3", "clip.mrk"},
                                                           {".tq9-part-4242-4", "clip.mp4"}}) != 0)
        return 1;
    write(out / "journal" / "three-files", read(journal));

    unsigned char marker[4];
    tq9::CCardLayout::EncodeMarker(3723, marker);
    write(out / "sidecars" / "one-hour", std::string(reinterpret_cast<char*>(marker), 4));
    QImage thumbnail(48, 36, QImage::Format_RGB888);
    thumbnail.fill(Qt::darkCyan);
    thumbnail.save(QString::fromStdString((scratch / "clip.bmp").string()), "BMP");
    write(out / "sidecars" / "thumbnail", read(scratch / "clip.bmp"));

    fs::create_directories(out / "heif");
    fs::create_directories(out / "png");
    QImage photo(32, 24, QImage::Format_RGB32);
    photo.fill(qRgb(230, 120, 30));
    QImage hdr(32, 24, QImage::Format_RGBX64);
    hdr.fill(QColor::fromRgba64(40000, 30000, 20000));
    if (!tq9test::WriteHeic(out / "heif" / "photo", photo, 6) || !tq9test::WriteHdrHeic(out / "heif" / "pq", hdr, 16, 1000) ||
        !tq9test::WriteHdrPng(out / "png" / "hlg", hdr, 18))
        return 1;
    photo.save(QString::fromStdString((out / "png" / "sdr").string()), "PNG");

    for (const char* name : {"clip.mp4", "Holiday: day 1?.MOV", "日本語のファイル名.jpg", "name. ", "a.b.c.passlog"})
        write(out / "names" / std::to_string(std::hash<std::string>()(name) % 100000), name);
    fs::remove_all(scratch);
    return 0;
}
