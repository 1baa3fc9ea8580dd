#include <gtest/gtest.h>

#include <QImage>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/DirectoryEnumerator.h"
#include "platform/FileAttributes.h"
#include "platform/FileIo.h"
#include "platform/FileSystem.h"
#include "platform/ImageFile.h"
#include "platform/UniqueFd.h"
#include "support/TestSupport.h"

using namespace tq9;
using tq9test::TempDir;
using tq9test::WriteFile;
namespace fs = std::filesystem;

TEST(FileAttributes, FailedQueryReportsEveryBit)
{
    TempDir t;
    WriteFile(t / "plain", "x");
    WriteFile(t / ".dot", "x");
    fs::create_directories(t / ".hiddendir");
    EXPECT_EQ(CFileAttributes::Get((t / "missing").string()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(CFileAttributes::Get(""), INVALID_FILE_ATTRIBUTES);
    // Callers that test a bit without checking for failure see a missing path as a hidden folder: the
    // helpers check first.
    EXPECT_FALSE(CFileAttributes::IsDirectory((t / "missing").string()));
    EXPECT_FALSE(CFileAttributes::IsFile((t / "missing").string()));

    const uint32_t plain = CFileAttributes::Get((t / "plain").string());
    EXPECT_EQ(plain & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN), 0u);
    EXPECT_NE(plain, 0u); // never 0 for an existing file
    EXPECT_TRUE(CFileAttributes::Get((t / ".dot").string()) & FILE_ATTRIBUTE_HIDDEN);
    const uint32_t dir = CFileAttributes::Get((t / ".hiddendir").string() + "/");
    EXPECT_TRUE(dir & FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_TRUE(dir & FILE_ATTRIBUTE_HIDDEN);
    EXPECT_FALSE(CFileAttributes::Get(t.Path().string() + "/.") & FILE_ATTRIBUTE_HIDDEN);
}

TEST(FileSystem, PathsAndVolumes)
{
    TempDir t;
    fs::create_directories(t / "real");
    fs::create_symlink(t / "real", t / "link");
    EXPECT_EQ(CFileSystem::LongPath((t / "link").string()), fs::canonical(t / "real").string());
    EXPECT_FALSE(CFileSystem::LongPath((t / "missing").string()));
    EXPECT_FALSE(CFileSystem::LongPath(std::string(5000, 'a')));

    ::setenv("TMPDIR", (t.Path().string() + "/real/").c_str(), 1);
    EXPECT_EQ(CFileSystem::TempFolder(), (t / "real").string());
    ::setenv("TMPDIR", (t / "missing").c_str(), 1);
    EXPECT_FALSE(CFileSystem::TempFolder());
    ::unsetenv("TMPDIR");

    auto free = CFileSystem::FreeBytes(t.Path().string());
    ASSERT_TRUE(free);
    EXPECT_GT(*free, 0u);
    EXPECT_FALSE(CFileSystem::FreeBytes((t / "missing").string()));
    EXPECT_TRUE(CFileSystem::SameFileSystem(t.Path().string(), (t / "real").string()));
    EXPECT_FALSE(CFileSystem::SameFileSystem(t.Path().string(), "/proc"));
}

TEST(DirectoryEnumerator, IncludesDotEntriesAndReportsUnopenable)
{
    TempDir t;
    WriteFile(t / "a", "");
    CDirectoryEnumerator e(t.Path().string());
    ASSERT_TRUE(e.IsOpen());
    std::vector<std::string> names;
    std::string name;
    while (e.Next(name))
        names.push_back(name);
    EXPECT_FALSE(e.Failed());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string> {".", "..", "a"}));
    CDirectoryEnumerator missing((t / "missing").string());
    EXPECT_FALSE(missing.IsOpen());
    EXPECT_FALSE(missing.Next(name));
}

TEST(FileIo, NthCallFailsOnceWithTheGivenError)
{
    TempDir t;
    const std::string path = (t / "f").string();
    CFileIo::FailNthCall(2, ENOSPC);
    int fd = CFileIo::CreateNew(path);
    ASSERT_GE(fd, 0);
    const char data[] = "abc";
    errno = 0;
    EXPECT_EQ(CFileIo::WriteAll(fd, data, 3), -1);
    EXPECT_EQ(errno, ENOSPC);
    EXPECT_EQ(CFileIo::WriteAll(fd, data, 3), 3);
    EXPECT_EQ(CFileIo::Close(fd), 0);
    CFileIo::FailNthCall(0, 0);
    EXPECT_EQ(tq9test::ReadFile(path), "abc");
    EXPECT_LT(CFileIo::CreateNew(path), 0); // never replaces
    EXPECT_EQ(errno, EEXIST);
}

TEST(FileIo, RenameNoReplaceKeepsAnExistingDestination)
{
    TempDir t;
    WriteFile(t / "new", "new");
    WriteFile(t / "old", "old");
    EXPECT_NE(CFileIo::RenameNoReplace((t / "new").string(), (t / "old").string()), 0);
    EXPECT_EQ(errno, EEXIST);
    EXPECT_EQ(tq9test::ReadFile(t / "old"), "old");
    EXPECT_EQ(CFileIo::RenameNoReplace((t / "new").string(), (t / "free").string()), 0);
    EXPECT_FALSE(fs::exists(t / "new"));
    EXPECT_EQ(tq9test::ReadFile(t / "free"), "new");
    EXPECT_EQ(CFileIo::SyncFolder(t.Path().string()), 0);
}

// Undoing a placement in a folder that is not the program's own: the name goes only while it still holds
// the file placed there; someone's own file, a link or a folder put under it since stays.
TEST(FileIo, UnlinkIfSameRemovesOnlyTheFileThatWasPlaced)
{
    TempDir t;
    const std::string placed = (t / "clip.wmv").string();
    WriteFile(t / "clip.wmv", "ours");
    CFileIo::Identity ours;
    ASSERT_EQ(CFileIo::IdentityOf(placed, ours), 0);

    // Replaced by the user's own file under the same name.
    WriteFile(t / "theirs", "theirs");
    fs::rename(t / "theirs", placed);
    EXPECT_NE(CFileIo::UnlinkIfSame(placed, ours), 0);
    EXPECT_EQ(errno, ESTALE);
    EXPECT_EQ(tq9test::ReadFile(placed), "theirs");

    // A link to the file placed, and a folder, are not it either.
    WriteFile(t / "again", "ours");
    CFileIo::Identity again;
    ASSERT_EQ(CFileIo::IdentityOf((t / "again").string(), again), 0);
    fs::remove(placed);
    fs::create_symlink(t / "again", placed);
    EXPECT_NE(CFileIo::UnlinkIfSame(placed, again), 0);
    EXPECT_TRUE(fs::exists(t / "again"));
    EXPECT_TRUE(fs::is_symlink(placed));
    fs::remove(placed);
    fs::create_directory(placed);
    EXPECT_NE(CFileIo::UnlinkIfSame(placed, again), 0);
    EXPECT_TRUE(fs::is_directory(placed));

    EXPECT_EQ(CFileIo::UnlinkIfSame((t / "again").string(), again), 0);
    EXPECT_FALSE(fs::exists(t / "again"));
}

// Ownership moves with the object: each descriptor is closed exactly once, by its last owner, and a
// checked Close reports what CFileIo::Close reports.
TEST(UniqueFd, ClosesOnceByTheLastOwner)
{
    auto isOpen = [](int fd) { return ::fcntl(fd, F_GETFD) != -1; };
    int first = -1;
    int second = -1;
    {
        CUniqueFd a(::open("/dev/null", O_RDONLY | O_CLOEXEC));
        first = a.Get();
        CUniqueFd b(std::move(a));
        EXPECT_FALSE(a.IsOpen());
        EXPECT_EQ(b.Get(), first);
        CUniqueFd c(::open("/dev/null", O_RDONLY | O_CLOEXEC));
        second = c.Get();
        c = std::move(b); // closes what c held
        EXPECT_FALSE(isOpen(second));
        EXPECT_TRUE(isOpen(first));
    }
    EXPECT_FALSE(isOpen(first));

    CUniqueFd d(::open("/dev/null", O_RDONLY | O_CLOEXEC));
    CFileIo::ResetCallCount();
    CFileIo::FailNthCall(1, EIO);
    EXPECT_EQ(d.Close(), -1);
    EXPECT_EQ(errno, EIO);
    CFileIo::FailNthCall(0, 0);
    EXPECT_FALSE(d.IsOpen());
    EXPECT_EQ(d.Close(), 0);
}

// A FIFO, a folder or a link where a file is expected never blocks a reader and is named for what it is.
TEST(FileIo, OnlyRegularFilesAreOpenedAndNothingWaitsOnAFifo)
{
    TempDir t;
    WriteFile(t / "file.thm", "x");
    ASSERT_EQ(::mkfifo((t / "pipe.thm").c_str(), 0600), 0);
    fs::create_directory(t / "folder.thm");
    fs::create_symlink(t / "file.thm", t / "link.thm");

    EXPECT_EQ(CFileAttributes::KindOf((t / "file.thm").string()), EntryKind::Regular);
    EXPECT_EQ(CFileAttributes::KindOf((t / "pipe.thm").string()), EntryKind::Other);
    EXPECT_EQ(CFileAttributes::KindOf((t / "folder.thm").string()), EntryKind::Directory);
    EXPECT_EQ(CFileAttributes::KindOf((t / "link.thm").string()), EntryKind::Link);
    EXPECT_EQ(CFileAttributes::KindOf((t / "none.thm").string()), EntryKind::Missing);

    // Each of these would block for ever on a FIFO without a writer if it waited.
    errno = 0;
    EXPECT_EQ(CFileIo::OpenRead((t / "pipe.thm").string()), -1);
    EXPECT_EQ(errno, CFileIo::kNotRegularErrno);
    EXPECT_EQ(CFileIo::OpenRead((t / "folder.thm").string()), -1);
    EXPECT_EQ(errno, EISDIR);
    EXPECT_EQ(CFileIo::OpenReadNoFollow((t / "link.thm").string()), -1);
    EXPECT_EQ(errno, ELOOP);
    CUniqueFd followed(CFileIo::OpenRead((t / "link.thm").string()));
    EXPECT_TRUE(followed.IsOpen());
    EXPECT_TRUE(CImageFile::LoadSidecar((t / "pipe.thm").string()).isNull());
    EXPECT_TRUE(CImageFile::LoadSidecar((t / "link.thm").string()).isNull());
}
