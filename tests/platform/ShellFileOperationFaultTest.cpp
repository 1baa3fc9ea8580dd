// Faults during moves and copies: every failing file call, a full card (up front and mid-copy), the
// process file-size limit, and a FAT card's limits and hidden temporary names.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <functional>
#include <map>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "platform/FileAttributes.h"
#include "platform/FileIo.h"
#include "platform/ShellFileOperation.h"
#include "platform/VolumeLimits.h"
#include "support/FileOpTestSupport.h"
#include "support/ScratchMount.h"
#include "support/TestSupport.h"

using namespace tq9;
using namespace tq9test;

namespace {

// Files of an import-like request: a media file with both sidecars (its name taken at the destination,
// so the collision path runs too), and a still; sizes around the 1024-byte block.
const std::map<std::string, std::string>& Sources()
{
    static const std::map<std::string, std::string> files = {
        {"clip.mp4", Blob(2500, 1)}, {"clip.thm", Blob(1024, 2)}, {"clip.mrk", Blob(4, 3)}, {"pic.jpg", Blob(0, 4)}};
    return files;
}
const std::vector<std::string> kOrder = {"clip.mp4", "clip.thm", "clip.mrk", "pic.jpg"};

struct FailPlanOff {
    ~FailPlanOff() { CFileIo::FailNthCall(0, 0); }
};

// Runs the request with the nth file call failing (0: none) on fresh folders and checks what a user
// could find afterwards. Returns the result code.
int RunWithFailure(uint32_t func, const fs::path& srcRoot, const fs::path& destRoot, uint64_t n,
                   uint64_t* calls = nullptr)
{
    const fs::path src = srcRoot / ("s" + std::to_string(n));
    const fs::path dest = destRoot / ("d" + std::to_string(n));
    fs::create_directory(src);
    fs::create_directory(dest);
    for (const auto& [name, bytes] : Sources())
        WriteFile(src / name, bytes);
    WriteFile(dest / "clip.mp4", "card's own clip");
    ShellFileOp op = TransferOp(func, src, dest, kOrder);

    FailPlanOff off;
    const uint64_t before = CFileIo::CallCount();
    CFileIo::FailNthCall(n, EIO);
    const int code = CShellFileOperation::Run(op);
    CFileIo::FailNthCall(0, 0);
    if (calls)
        *calls = CFileIo::CallCount() - before;

    EXPECT_FALSE(HasTempName(dest)) << "call " << n;
    // Every name at the destination is the card's own file or a complete copy of the source reported there.
    std::map<std::string, std::string> landed;
    for (size_t i = 0; i < op.done.size(); ++i) {
        if (!op.done[i].empty())
            landed[fs::path(op.done[i]).filename().string()] = Sources().at(kOrder[i]);
    }
    for (const std::string& name : Names(dest)) {
        if (name == "clip.mp4") {
            EXPECT_EQ(ReadFile(dest / name), "card's own clip") << "call " << n;
            continue;
        }
        if (!landed.count(name)) {
            ADD_FAILURE() << "unreported file " << name << " after failing call " << n;
            continue;
        }
        EXPECT_EQ(ReadFile(dest / name), landed[name]) << name << " after failing call " << n;
    }
    // A source is gone only when its file landed.
    for (size_t i = 0; i < kOrder.size(); ++i) {
        const bool sourceLeft = fs::exists(src / kOrder[i]);
        const bool done = i < op.done.size() && !op.done[i].empty();
        if (func == FO_COPY || !done) {
            EXPECT_TRUE(sourceLeft) << kOrder[i] << " after failing call " << n;
        }
        if (sourceLeft) {
            EXPECT_EQ(ReadFile(src / kOrder[i]), Sources().at(kOrder[i]));
        }
        if (code == 0) {
            EXPECT_TRUE(done) << kOrder[i];
        }
    }
    return code;
}

void FailEveryCall(uint32_t func, const fs::path& srcRoot, const fs::path& destRoot)
{
    uint64_t total = 0;
    ASSERT_EQ(RunWithFailure(func, srcRoot, destRoot, 0, &total), 0);
    ASSERT_GT(total, 4u);
    uint64_t failures = 0;
    for (uint64_t n = 1; n <= total; ++n)
        failures += RunWithFailure(func, srcRoot, destRoot, n) != 0;
    // Only the close of a source being read and the first try to remove an item's journal (two items)
    // may fail without consequence.
    EXPECT_GE(failures, total - kOrder.size() - 2) << "of " << total << " calls";
}

// A source whose copy the test interrupts: midCopy runs once, after the copy has written head's bytes
// into its temporary name, and the copy then goes on with the tail.
struct MidCopySource {
    MidCopySource(const fs::path& path, std::string head, const std::string& tail, std::function<void()> midCopy)
        : m_head(head.size()), m_midCopy(std::move(midCopy))
    {
        WriteFile(path, head + tail);
    }
    void Attach(ShellFileOp& op)
    {
        op.afterBlock = [this](size_t index, uint64_t copied) {
            if (index == 0 && copied >= m_head && m_midCopy) {
                m_midCopy();
                m_midCopy = nullptr;
            }
            return true;
        };
    }

private:
    uint64_t m_head;
    std::function<void()> m_midCopy;
};

} // namespace

TEST(ShellFileOperationFaults, EveryFailingCallOfACopyLeavesOnlyCompleteFiles)
{
    TempDir src, dest;
    FailEveryCall(FO_COPY, src.Path(), dest.Path());
}

TEST(ShellFileOperationFaults, EveryFailingCallOfAMoveWithinOneFileSystemLeavesOnlyCompleteFiles)
{
    TempDir src, dest;
    FailEveryCall(FO_MOVE, src.Path(), dest.Path());
}

TEST(ShellFileOperationFaults, EveryFailingCallOfAMoveAcrossFileSystemsKeepsTheSourceUntilTheCopyLanded)
{
    OtherFileSystemDir src;
    if (!src.Ok())
        GTEST_SKIP() << src.SkipReason();
    TempDir dest;
    FailEveryCall(FO_MOVE, src.Path(), dest.Path());
}

TEST(ShellFileOperationFaults, ErrorsNameTheSideTheyHappenedOn)
{
    // Call 1 opens the source, 2 creates the temporary copy, 4 is the first write.
    const struct {
        uint64_t call;
        int err;
        int expected;
    } cases[] = {
        {1, EACCES, DE_ACCESSDENIEDSRC},     {1, ENOENT, DE_INVALIDFILES},
        {2, EACCES, ErrnoCode(EACCES)},      {2, ENAMETOOLONG, DE_FILENAMETOOLONG},
        {4, EFBIG, DE_FILE_TOO_LARGE},       {4, ENOSPC, ErrnoCode(ENOSPC)},
        {4, EIO, ErrnoCode(EIO)},
    };
    for (const auto& c : cases) {
        TempDir src, dest;
        WriteFile(src / "a.mp4", Blob(1500, 1));
        ShellFileOp op = TransferOp(FO_COPY, src.Path(), dest.Path(), {"a.mp4"});
        FailPlanOff off;
        CFileIo::FailNthCall(c.call, c.err);
        EXPECT_EQ(CShellFileOperation::Run(op), c.expected) << "call " << c.call << " errno " << c.err;
        EXPECT_TRUE(Names(dest).empty());
    }
}

TEST(ShellFileOperationFaults, AnItemThatCannotFitIsRefusedBeforeWritingAndTheOthersLand)
{
    std::string why;
    auto card = ScratchMount::Tmpfs("1m", why);
    if (!card)
        GTEST_SKIP() << why;
    TempDir src;
    WriteFile(src / "a.mp4", Blob(600 * 1024, 1));
    WriteFile(src / "b.mp4", Blob(600 * 1024, 2));
    ShellFileOp op = TransferOp(FO_COPY, src.Path(), card->Path(), {"a.mp4", "b.mp4"});

    EXPECT_EQ(CShellFileOperation::Run(op), ErrnoCode(ENOSPC));

    // The first fits and lands; the second would not fit beside it and is not begun.
    EXPECT_EQ(op.results, (std::vector<int> {0, ErrnoCode(ENOSPC)}));
    EXPECT_EQ(Names(card->Path()), std::vector<std::string> {"a.mp4"});
}

TEST(ShellFileOperationFaults, ACardFillingUpMidCopyKeepsNoPartialFile)
{
    std::string why;
    auto card = ScratchMount::Tmpfs("1m", why);
    if (!card)
        GTEST_SKIP() << why;
    TempDir src;
    // Another program fills the card while the copy is under way.
    MidCopySource source(src / "a.mp4", Blob(16 * 1024, 1), Blob(32 * 1024, 2), [&] {
        const int filler = ::open((card->Path() / "other-program.bin").c_str(), O_WRONLY | O_CREAT, 0644);
        const std::string block(4096, 'f');
        while (::write(filler, block.data(), block.size()) > 0) {
        }
        ::close(filler);
    });
    ShellFileOp op = TransferOp(FO_COPY, src.Path(), card->Path(), {"a.mp4"});
    source.Attach(op);

    const int code = CShellFileOperation::Run(op);

    EXPECT_EQ(code, ErrnoCode(ENOSPC));
    EXPECT_EQ(Names(card->Path()), std::vector<std::string> {"other-program.bin"});
}

TEST(ShellFileOperationFaults, TheProcessFileSizeLimitDuringAWriteIsFileTooLarge)
{
    TempDir src, dest;
    WriteFile(src / "a.mp4", Blob(10000, 1));
    // In a child, so the limit and the ignored signal stay out of this process.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const struct rlimit limit = {4096, 4096};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        ShellFileOp op = TransferOp(FO_COPY, src.Path(), dest.Path(), {"a.mp4"});
        const int code = CShellFileOperation::Run(op);
        if (code != DE_FILE_TOO_LARGE)
            ::_exit(1);
        ::_exit(Names(dest.Path()).empty() ? 0 : 2);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: wrong code, 2: something was left in the destination";
}

TEST(ShellFileOperationFat, RefusesAFileOverFourGibibytesWithoutWritingIt)
{
    std::string why;
    auto card = ScratchMount::FatImage(16, why);
    if (!card)
        GTEST_SKIP() << why;
    TempDir src;
    const fs::path big = src / "big.mp4";
    WriteFile(big, "");
    fs::resize_file(big, (uint64_t {4} << 30) + 1); // sparse: nothing of it is written to the disk
    WriteFile(src / "small.mp4", "s");

    EXPECT_EQ(CVolumeLimits::MaxFileSize(card->Path().string()), 0xFFFFFFFFull);
    ShellFileOp op = TransferOp(FO_COPY, src.Path(), card->Path(), {"small.mp4", "big.mp4"});
    EXPECT_EQ(CShellFileOperation::Run(op), DE_FILE_TOO_LARGE);
    EXPECT_EQ(Names(card->Path()), std::vector<std::string> {"small.mp4"});
    EXPECT_EQ(CVolumeLimits::MaxFileSize(src.Path().string()), UINT64_MAX);
}

TEST(ShellFileOperationFat, CopiesOntoFatThroughAHiddenTemporaryName)
{
    std::string why;
    auto card = ScratchMount::FatImage(16, why);
    if (!card)
        GTEST_SKIP() << why;
    TempDir src;
    WriteFile(src / "clip.thm", Blob(1500, 2));
    WriteFile(card->Path() / "clip.thm", "old");
    // While the copy waits for the rest of the pipe, look at what the card shows.
    std::vector<std::string> namesMidCopy;
    bool tempHidden = false;
    MidCopySource source(src / "clip.mp4", Blob(3000, 1), Blob(3000, 3), [&] {
        namesMidCopy = Names(card->Path());
        for (const std::string& name : namesMidCopy) {
            if (name.rfind(CShellFileOperation::kTempPrefix, 0) == 0)
                tempHidden = CFileAttributes::Get((card->Path() / name).string()) & FILE_ATTRIBUTE_HIDDEN;
        }
    });
    ShellFileOp op = TransferOp(FO_COPY, src.Path(), card->Path(), {"clip.mp4", "clip.thm"});
    source.Attach(op);

    const int code = CShellFileOperation::Run(op);

    ASSERT_EQ(code, 0);
    ASSERT_EQ(namesMidCopy.size(), 2u); // the card's clip.thm and the temporary name
    EXPECT_TRUE(tempHidden);
    EXPECT_EQ(Names(card->Path()), (std::vector<std::string> {"clip (2).mp4", "clip (2).thm", "clip.thm"}));
    EXPECT_EQ(ReadFile(card->Path() / "clip (2).mp4"), Blob(3000, 1) + Blob(3000, 3));
    EXPECT_EQ(ReadFile(card->Path() / "clip (2).thm"), Blob(1500, 2));
    EXPECT_FALSE(CFileAttributes::Get((card->Path() / "clip (2).mp4").string()) & FILE_ATTRIBUTE_HIDDEN);
}
