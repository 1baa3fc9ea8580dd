#include <gtest/gtest.h>

#include "card/CardFolder.h"
#include "card/CardLayout.h"
#include "card/TQ9SystemFile.h"
#include "card/UserException.h"
#include "support/TestSupport.h"

#include <fcntl.h>
#include <unistd.h>

using namespace tq9;
using tq9test::TempDir;
using tq9test::WriteFile;
namespace fs = std::filesystem;

TEST(PathSplit, ExtensionOnlyAfterTheLastSlash)
{
    SplitPathResult p;
    EXPECT_TRUE(SplitPath("/card/TQ-9/TQ9_0001/clip.final.MP4", p));
    EXPECT_EQ(p.folder, "/card/TQ-9/TQ9_0001");
    EXPECT_EQ(p.base, "clip.final");
    EXPECT_EQ(p.extension, "MP4");
    EXPECT_FALSE(SplitPath("/x.y/file", p));
    EXPECT_EQ(p.folder, "/x.y/file");
    EXPECT_EQ(p.base, "");
    EXPECT_EQ(p.extension, "");
    EXPECT_TRUE(SplitPath("/a/.hidden", p));
    EXPECT_EQ(p.base, "");
    EXPECT_EQ(p.extension, "hidden");
    EXPECT_TRUE(SplitPath("/a/trailing.", p));
    EXPECT_EQ(p.extension, "");

    EXPECT_TRUE(IsListable("/a/b.mp4"));
    EXPECT_FALSE(IsListable("/a/b.thm"));
    EXPECT_FALSE(IsListable("/a/b.mrk"));
    EXPECT_TRUE(IsListable("/a/b.THM")); // letter case counts here; the table refuses it later
    EXPECT_FALSE(IsListable("/x.y/file"));
}

TEST(ExtensionTable, CaseInsensitiveWithEndRowFallback)
{
    EXPECT_EQ(LookupExtension(kCardExtensionTable, "MP4").flags, 7u);
    EXPECT_EQ(LookupExtension(kCardExtensionTable, "Avi").kind, KIND_VIDEO);
    EXPECT_EQ(LookupExtension(kCardExtensionTable, "wav").flags, FILE_MEDIA | FILE_MARKER);
    EXPECT_EQ(LookupExtension(kCardExtensionTable, "mp3").kind, KIND_AUDIO);
    EXPECT_EQ(LookupExtension(kCardExtensionTable, "JPG").flags, FILE_MEDIA | FILE_THUMBNAIL);
    EXPECT_EQ(LookupExtension(kCardExtensionTable, "bmp").kind, KIND_STILL);
    for (const char* none : {"thm", "MRK", "mov", "", "mp"}) {
        const ExtensionRow& row = LookupExtension(kCardExtensionTable, none);
        EXPECT_EQ(row.flags, 0u) << none;
        EXPECT_EQ(row.kind, 0u) << none;
    }
}

TEST(SystemFile, FlagsFollowTheSidecarsThatExist)
{
    TempDir t;
    WriteFile(t / "clip.mp4", "video");
    WriteFile(t / "clip.mrk", std::string("\0\0\0\x3d", 4));
    CTQ9SystemFile f;
    f.InitFromCardPath((t / "clip.mp4").string());
    EXPECT_EQ(f.flags, FILE_MEDIA | FILE_MARKER);
    EXPECT_EQ(f.kind, KIND_VIDEO);
    EXPECT_EQ(f.thumbnailPath, (fs::canonical(t.Path()) / "clip.thm").string()); // set even though missing
    EXPECT_EQ(f.MarkerSeconds(), 61u);
    EXPECT_TRUE(f.IsValid());

    WriteFile(t / "A.MP4", "video");
    WriteFile(t / "A.thm", "bmp");
    CTQ9SystemFile upper;
    upper.InitFromCardPath((t / "A.MP4").string());
    EXPECT_EQ(upper.flags, FILE_MEDIA | FILE_THUMBNAIL);

    // Sidecars given in upper case are not refused by name, but the table gives them no flags.
    WriteFile(t / "B.THM", "bmp");
    CTQ9SystemFile sidecar;
    sidecar.InitFromCardPath((t / "B.THM").string());
    EXPECT_EQ(sidecar.flags, 0u);
    EXPECT_FALSE(sidecar.IsValid());

    WriteFile(t / "photo.jpg", "jpeg");
    CTQ9SystemFile still;
    still.InitFromCardPath((t / "photo.jpg").string());
    EXPECT_EQ(still.markerPath, "");
    EXPECT_EQ(still.MarkerSeconds(), 0u);
}

TEST(SystemFile, RefusesFoldersMissingFilesAndSidecars)
{
    TempDir t;
    WriteFile(t / "clip.thm", "");
    WriteFile(t / "clip.mrk", "");
    fs::create_directories(t / "folder.mp4");
    for (const char* name : {"clip.thm", "clip.mrk", "folder.mp4", "missing.mp4"}) {
        CTQ9SystemFile f;
        EXPECT_THROW(f.InitFromCardPath((t / name).string()), CUserException) << name;
    }
    // A marker shorter than four bytes reads as no length.
    WriteFile(t / "song.mp3", "mp3");
    WriteFile(t / "song.mrk", "ab");
    CTQ9SystemFile song;
    song.InitFromCardPath((t / "song.mp3").string());
    EXPECT_EQ(song.MarkerSeconds(), 0u);
}

TEST(FreeBaseName, ImportSearchesCardAndTemporaryFolder)
{
    TempDir card, temp;
    ::setenv("TMPDIR", temp.Path().c_str(), 1);
    const std::string dest = card.Path().string();
    EXPECT_EQ(FreeBaseNameForImport("clip", "mov", "mp4", dest), "clip");
    // Any extension matches in the first search, so a lone thumbnail is enough to move off the name.
    WriteFile(card / "clip.thm", "");
    EXPECT_EQ(FreeBaseNameForImport("clip", "mov", "mp4", dest), "clip_mov");
    WriteFile(temp / "clip_mov.mp4", "");
    EXPECT_EQ(FreeBaseNameForImport("clip", "mov", "mp4", dest), "clip_mov_0");
    WriteFile(card / "clip_mov_0.mp4", "");
    EXPECT_EQ(FreeBaseNameForImport("clip", "mov", "mp4", dest), "clip_mov_1");
    // A file named just like the base also counts as "clip.*".
    TempDir card2;
    WriteFile(card2 / "clip", "");
    EXPECT_EQ(FreeBaseNameForImport("clip", "avi", "mp4", card2.Path().string()), "clip_avi");

    ::setenv("TMPDIR", (temp / "missing").c_str(), 1);
    EXPECT_THROW(FreeBaseNameForImport("clip", "mov", "mp4", dest), CUserException);
    ::unsetenv("TMPDIR");
}

TEST(FreeBaseName, ImportNamesAreOnesACardTakesAndCompareWithoutCase)
{
    TempDir card, work;
    const std::string dest = card.Path().string();
    // Beside CLIP.MP4 a clip.mov is another name only on the PC; on the card it is the same.
    WriteFile(card / "CLIP.MP4", "");
    EXPECT_EQ(FreeBaseNameForImport("clip", "mov", "mp4", dest, work.Path().string()), "clip_mov");
    WriteFile(work / "Clip_Mov.mp4", "");
    EXPECT_EQ(FreeBaseNameForImport("clip", "mov", "mp4", dest, work.Path().string()), "clip_mov_0");
    WriteFile(card / "\xc3\x89t\xc3\xa9.jpg", ""); // "Été"
    EXPECT_EQ(FreeBaseNameForImport("\xc3\xa9t\xc3\xa9", "png", "jpg", dest, work.Path().string()), "\xc3\xa9t\xc3\xa9_png");

    // Refused characters, a newline and trailing dots become "_"; a long name keeps room for the suffixes.
    EXPECT_EQ(FreeBaseNameForImport("a:b*c?\nd.", "mov", "mp4", dest, work.Path().string()), "a_b_c__d_");
    const std::string longName(300, 'x');
    WriteFile(card / (std::string(kMaxImportBaseBytes, 'x') + ".mp4"), "");
    const std::string taken = FreeBaseNameForImport(longName, "mov", "mp4", dest, work.Path().string());
    EXPECT_EQ(taken, std::string(kMaxImportBaseBytes, 'x') + "_mov");
    EXPECT_LE(taken.size() + std::string("_0 (99).passlog").size(), 255u);
}

TEST(FreeBaseName, DuplicationCountsFromTheNameItself)
{
    TempDir card;
    const std::string dest = card.Path().string();
    EXPECT_EQ(FreeBaseNameForDuplication("clip", "mp4", dest), "clip");
    WriteFile(card / "clip.mp4", "");
    WriteFile(card / "clip_0.mp4", "");
    EXPECT_EQ(FreeBaseNameForDuplication("clip", "mp4", dest), "clip_1");
}

TEST(RowTexts, DurationSizeAndDate)
{
    EXPECT_EQ(CCardFolder::DurationText(0u), "00:00:00");
    EXPECT_EQ(CCardFolder::DurationText(61u), "00:01:01");
    EXPECT_EQ(CCardFolder::DurationText(3661u), "01:01:01");
    EXPECT_EQ(CCardFolder::DurationText(360000u), "100:00:00");
    EXPECT_EQ(CCardFolder::SizeText(1234567), "1.23 MB") << "the program's one size rule";
    EXPECT_EQ(CCardFolder::DurationText(0xFFFFFFFFu), "--:--:--"); // a hostile .mrk, not 1193046:28:15

    ::setenv("TZ", "UTC", 1);
    ::tzset();
    EXPECT_EQ(CCardFolder::DateText(0), "1970/01/01 00:00:00");
    EXPECT_EQ(CCardFolder::DateText(1796601600), "2026/12/07 00:00:00");
    ::unsetenv("TZ");
    ::tzset();
}

TEST(CardFolder, ListsOnlyCompleteMediaFilesInDirectoryOrder)
{
    TempDir t;
    fs::path device = tq9test::MakeCard(t.Path(), {1});
    fs::path folder = device / "TQ9_0001";
    WriteFile(folder / "clip.mp4", std::string(1500, 'x'));
    WriteFile(folder / "clip.thm", "");
    WriteFile(folder / "clip.mrk", std::string("\0\0\x0e\x10", 4));
    WriteFile(folder / "SONG.MP3", "");
    WriteFile(folder / "notes.txt", "");
    WriteFile(folder / "noext", "");
    fs::create_directories(folder / "sub.mp4");
    WriteFile(folder / "busy.mp4", "");

    // A file another program still has open for writing is not listed yet.
    int writer = ::open((folder / "busy.mp4").c_str(), O_WRONLY);
    ASSERT_GE(writer, 0);
    size_t busy = 0;
    auto files = CCardFolder::ListMediaFiles(folder.string(), &busy);
    ::close(writer);
    EXPECT_EQ(busy, 1u); // busy.mp4 only: notes.txt and the sidecars are no media files anyway
    ASSERT_TRUE(files);
    std::vector<std::string> names;
    for (const auto& f : *files)
        names.push_back(CCardFolder::NameText(f));
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string> {"SONG.MP3", "clip.mp4"}));

    const std::string clip = (fs::canonical(folder) / "clip.mp4").string();
    EXPECT_EQ(CCardFolder::DurationText(clip), "01:00:00");
    EXPECT_EQ(CCardFolder::SizeTextOf(clip), "1.50 KB");
    EXPECT_FALSE(CCardFolder::ListMediaFiles((folder / "missing").string()));
}

TEST(Marker, BigEndianSecondsRoundTrip)
{
    unsigned char b[4];
    CCardLayout::EncodeMarker(61, b);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(b), 4), std::string("\0\0\0\x3d", 4));
    CCardLayout::EncodeMarker(0xA1B2C3D4, b);
    EXPECT_EQ(b[0], 0xA1);
    EXPECT_EQ(b[3], 0xD4);
    EXPECT_EQ(CCardLayout::DecodeMarker(b), 0xA1B2C3D4u);
}
