// tq9 among files it did not write: journals of other programs or cards, one name given twice, folders
// and markers that lead off the card, FIFOs, huge and endless journals, a held folder lock, links as
// sources and sidecars, folders in place of sidecars. Every run must end in bounded time, lose nothing
// that was there and never exit 0 when it did nothing.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <map>
#include <memory>

#include "support/FileOpTestSupport.h"
#include "support/ScratchMount.h"
#include "support/TestSupport.h"

using namespace tq9test;

namespace {

// Long enough for any of these runs on a loaded machine, far below the hangs they guard against.
constexpr int kLimitSeconds = 20;

// timeout(1) ended the run: SIGTERM (124), or SIGKILL for a run that ignored it (137).
bool TimedOut(const ProcessResult& r)
{
    return r.exitCode == 124 || r.exitCode == 137;
}

class HostileCardE2ETest : public ::testing::Test {
protected:
    void SetUp() override
    {
        tmp = dir / "tmp";
        out = dir / "out";
        outside = dir / "outside";
        for (const fs::path& p : {tmp, out, outside})
            fs::create_directories(p);
    }

    // A card on a FAT image (where the card matters); false (skip) without root or FUSE.
    bool MountFatCard()
    {
        mount = ScratchMount::FatImage(16, skipReason, 16);
        if (!mount)
            return false;
        UseCard(mount->Path());
        return true;
    }
    // A card on the PC's file system, for what FAT cannot hold (links, FIFOs, names differing in case).
    void UseDiskCard() { UseCard(dir / "root"); }
    void UseCard(const fs::path& cardRoot)
    {
        root = cardRoot;
        device = MakeCard(root, {1, 2});
        one = device / "TQ9_0001";
        two = device / "TQ9_0002";
    }

    // tq9 with the card root, under timeout(1).
    ProcessResult Tq9(const std::vector<std::string>& args) const
    {
        std::vector<std::string> argv = {"timeout", "-k", "5", std::to_string(kLimitSeconds), BinPath("tq9").string(),
                                         "--card-root", root.string()};
        argv.insert(argv.end(), args.begin(), args.end());
        // Cards other tests mount meanwhile stay out of the listings.
        return RunProcess(argv, {"TMPDIR=" + tmp.string(), "XDG_CONFIG_HOME=" + (dir / "config").string(),
                                 "TQ9_MOUNTS_FILE=/dev/null"});
    }

    // Every entry of folder with what it holds (a link's target, "<fifo>", "<folder>").
    static std::map<std::string, std::string> Contents(const fs::path& folder)
    {
        std::map<std::string, std::string> contents;
        for (const std::string& name : Names(folder)) {
            const fs::path p = folder / name;
            const fs::file_status st = fs::symlink_status(p);
            contents[name] = fs::is_symlink(st)     ? "-> " + fs::read_symlink(p).string()
                             : fs::is_fifo(st)      ? "<fifo>"
                             : fs::is_directory(st) ? "<folder>"
                                                    : ReadFile(p);
        }
        return contents;
    }

    // folder holds what it held before, unchanged, plus exactly the names added.
    static void ExpectOnlyAdded(const fs::path& folder, std::map<std::string, std::string> before,
                                const std::vector<std::string>& added)
    {
        auto after = Contents(folder);
        for (const std::string& name : added)
            EXPECT_EQ(after.erase(name), 1u) << name << " did not land";
        EXPECT_EQ(after, before) << folder << " lost or changed a file";
    }

    TempDir dir;
    fs::path tmp, out, outside, root, device, one, two;
    std::unique_ptr<ScratchMount> mount;
    std::string skipReason;
};

std::string Journal(const std::vector<std::string>& names)
{
    std::string text;
    for (const std::string& name : names)
        text += name + '\0';
    return text;
}

} // namespace

TEST_F(HostileCardE2ETest, JournalsItDidNotWriteDeleteNothingOnACardOrInAPcFolder)
{
    if (!MountFatCard())
        GTEST_SKIP() << skipReason;
    for (const char* ext : {"mp4", "thm", "mrk"})
        WriteFile(one / (std::string("demo.") + ext), std::string("demo ") + ext);
    // The first media name is missing, so the old roll-back took the others for a half item.
    WriteFile(one / ".tq9-part-4000000-1.item", Journal({"gone.mp4", "demo.mp4", "demo.thm", "demo.mrk"}));
    // One in today's form, claiming a staged copy that is not there for a name that is taken.
    WriteFile(one / ".tq9-part-4000001-1.item",
              std::string("TQ9 item journal 1\n1\n") + Journal({".tq9-part-4000001-2", "demo.mp4"}));
    WriteFile(two / "x.mp3", "x");
    WriteFile(two / "x.mrk", "0001");
    const auto before = Contents(one);

    const ProcessResult dup = Tq9({"dup", one.string(), (two / "x.mp3").string()});

    EXPECT_EQ(dup.exitCode, 0) << dup.err;
    auto kept = before;
    kept.erase(".tq9-part-4000001-1.item"); // in our form, of a run that is gone: done with, it goes
    ExpectOnlyAdded(one, kept, {"x.mp3", "x.mrk"});

    // Into a PC folder: the journal there is the user's file like any other, and card recovery never runs.
    WriteFile(out / "thesis.doc", "four years");
    WriteFile(out / ".tq9-part-7-7.item", Journal({"gone.jpg", "thesis.doc"}));
    const auto pcBefore = Contents(out);
    const ProcessResult exported = Tq9({"export", "--to", out.string(), (two / "x.mp3").string()});
    EXPECT_EQ(exported.exitCode, 0) << exported.err;
    ExpectOnlyAdded(out, pcBefore, {"x.mp3"});
}

TEST_F(HostileCardE2ETest, OneNameGivenTwiceGetsDistinctResultsAndTheExportEnds)
{
    UseDiskCard();
    WriteFile(one / "clip.mp3", "clip one");
    WriteFile(two / "clip.mp3", "clip two");
    WriteFile(one / "tune.mp3", "tune lower");
    WriteFile(one / "tune.MP3", "tune upper");

    const auto start = std::chrono::steady_clock::now();
    const ProcessResult r = Tq9({"export", "--to", out.string(), (one / "clip.mp3").string(),
                                 (two / "clip.mp3").string(), (one / "clip.mp3").string(),
                                 (one / "tune.mp3").string(), (one / "tune.MP3").string()});
    const auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    ASSERT_FALSE(TimedOut(r)) << "the export hung";
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_LT(seconds, 10.0);
    EXPECT_EQ(Contents(out), (std::map<std::string, std::string> {{"clip.mp3", "clip one"},
                                                                   {"clip (2).mp3", "clip two"},
                                                                   {"clip (3).mp3", "clip one"},
                                                                   {"tune.mp3", "tune lower"},
                                                                   {"tune (2).mp3", "tune upper"}}));
}

TEST_F(HostileCardE2ETest, ALinkedNumberedFolderOrAFolderMarkerIsNoPartOfTheCard)
{
    UseDiskCard();
    fs::create_directories(outside / "elsewhere");
    WriteFile(outside / "elsewhere" / "victim.jpg", "keep me");
    fs::create_directory_symlink(outside / "elsewhere", device / "TQ9_0003");
    fs::create_directories(dir / "fake" / "TQ-9" / ".TQ-9_SD.PRM"); // a marker that is a folder

    const ProcessResult cards = Tq9({"--card-root", (dir / "fake").string(), "cards"});
    EXPECT_EQ(cards.exitCode, 0) << cards.err;
    EXPECT_NE(cards.out.find("TQ9_0002"), std::string::npos) << cards.out;
    EXPECT_EQ(cards.out.find("TQ9_0003"), std::string::npos) << "a linked folder is listed:\n" << cards.out;
    EXPECT_EQ(cards.out.find((dir / "fake").string()), std::string::npos) << "a folder marker makes a card";

    const ProcessResult ls = Tq9({"ls", (device / "TQ9_0003").string()});
    EXPECT_NE(ls.exitCode, 0);
    const ProcessResult rm = Tq9({"rm", (device / "TQ9_0003" / "victim.jpg").string()});
    EXPECT_NE(rm.exitCode, 0);
    EXPECT_EQ(ReadFile(outside / "elsewhere" / "victim.jpg"), "keep me");
}

TEST_F(HostileCardE2ETest, FifosAreRefusedByNameAndNothingWaitsForThem)
{
    UseDiskCard();
    ASSERT_EQ(::mkfifo((two / "pipe.mp3").c_str(), 0600), 0);
    ASSERT_EQ(::mkfifo((one / ".tq9-part-4000000-3.item").c_str(), 0600), 0); // in place of a journal
    WriteFile(two / "song.mp3", "song");
    ASSERT_EQ(::mkfifo((two / "song.mrk").c_str(), 0600), 0); // in place of a sidecar

    const ProcessResult dup = Tq9({"dup", one.string(), (two / "pipe.mp3").string()});
    EXPECT_EQ(dup.exitCode, 3) << dup.err;
    EXPECT_NE(dup.err.find("pipe.mp3"), std::string::npos) << dup.err;

    const ProcessResult exported = Tq9({"export", "--to", out.string(), (two / "pipe.mp3").string()});
    EXPECT_EQ(exported.exitCode, 3) << exported.err;
    EXPECT_NE(exported.err.find("pipe.mp3"), std::string::npos) << exported.err;
    EXPECT_TRUE(Names(out).empty());

    const ProcessResult ls = Tq9({"ls", two.string()});
    EXPECT_EQ(ls.exitCode, 0) << ls.err;
    EXPECT_NE(ls.out.find("song.mp3\t00:00:00"), std::string::npos) << ls.out;

    // The FIFO journal neither stops nor is touched by a placement beside it.
    WriteFile(two / "fine.jpg", "fine");
    const ProcessResult fine = Tq9({"dup", one.string(), (two / "fine.jpg").string()});
    EXPECT_EQ(fine.exitCode, 0) << fine.err;
    EXPECT_EQ(Contents(one), (std::map<std::string, std::string> {{".tq9-part-4000000-3.item", "<fifo>"},
                                                                   {"fine.jpg", "fine"}}));
}

TEST_F(HostileCardE2ETest, HugeAndEndlessJournalsCostBoundedTime)
{
    UseDiskCard();
    std::string huge;
    while (huge.size() < 800 * 1000)
        huge += Journal({"gone" + std::to_string(huge.size()) + ".mp4", "demo.thm"});
    WriteFile(one / ".tq9-part-4000000-1.item", huge);
    fs::create_symlink("/dev/zero", one / ".tq9-part-4000000-2.item");
    WriteFile(one / "demo.thm", "demo");
    WriteFile(two / "x.jpg", "x");
    const auto before = Contents(one);

    const auto start = std::chrono::steady_clock::now();
    const ProcessResult r = Tq9({"dup", one.string(), (two / "x.jpg").string()});
    const auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    ASSERT_FALSE(TimedOut(r)) << "the journals kept tq9 busy";
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_LT(seconds, 5.0);
    ExpectOnlyAdded(one, before, {"x.jpg"});
}

TEST_F(HostileCardE2ETest, WaitingForAFolderLockIsShownAndCtrlCEndsIt)
{
    UseDiskCard();
    WriteFile(two / "x.jpg", "x");
    const fs::path photo = outside / "photo.jpg";
    fs::copy_file(SynthMedia("hostile-still.jpg", {"-f", "lavfi", "-i", "testsrc=size=64x48", "-frames:v", "1"}), photo);
    const int held = ::open(one.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(held, 0);
    ASSERT_EQ(::flock(held, LOCK_EX), 0); // another run places into the folder

    // The duplication waits for each item; the import converts first and waits to place the results; the
    // export too (into any folder).
    for (const std::vector<std::string>& command :
         {std::vector<std::string>{"dup", one.string(), (two / "x.jpg").string()},
          std::vector<std::string>{"import", one.string(), photo.string()},
          std::vector<std::string>{"export", "--to", one.string(), (two / "x.jpg").string()}}) {
        SCOPED_TRACE(command[0]);
        std::vector<std::string> argv = {BinPath("tq9").string(), "--card-root", root.string()};
        argv.insert(argv.end(), command.begin(), command.end());
        int errFd = -1;
        const pid_t pid = SpawnProcess(argv, {"TMPDIR=" + tmp.string(), "XDG_CONFIG_HOME=" + (dir / "config").string()},
                                       errFd);
        ASSERT_GT(pid, 0);
        std::string err;
        const bool saysItWaits = ReadUntil(errFd, "waiting for another run writing into " + one.string(), err);
        EXPECT_TRUE(saysItWaits) << err;
        ::kill(pid, SIGINT);
        const auto start = std::chrono::steady_clock::now();
        int status = 0;
        pid_t ended = 0;
        while ((ended = ::waitpid(pid, &status, WNOHANG)) == 0 &&
               std::chrono::steady_clock::now() - start < std::chrono::seconds(10))
            ::usleep(20 * 1000);
        if (ended == 0) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            ADD_FAILURE() << "Ctrl-C did not end the wait";
        }
        ::close(errFd);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << err;
        EXPECT_TRUE(Names(one).empty());
        EXPECT_TRUE(Names(tmp).empty()) << "no working files left";
    }
    ::close(held);
}

TEST_F(HostileCardE2ETest, LinksAreRefusedAsSourcesAndAsSidecars)
{
    UseDiskCard();
    WriteFile(outside / "secret.mp4", "outside content");
    WriteFile(outside / "long.mrk", std::string("\x65\x43\x21\x00", 4));
    fs::create_symlink(outside / "secret.mp4", two / "link.mp4");
    WriteFile(two / "song2.mp3", "song");
    fs::create_symlink(outside / "long.mrk", two / "song2.mrk");

    const ProcessResult link = Tq9({"dup", one.string(), (two / "link.mp4").string()});
    EXPECT_EQ(link.exitCode, 3) << link.err;
    EXPECT_NE(link.err.find("link.mp4: is a link"), std::string::npos) << link.err;
    const ProcessResult sidecar = Tq9({"dup", one.string(), (two / "song2.mp3").string()});
    EXPECT_EQ(sidecar.exitCode, 3) << sidecar.err;
    EXPECT_NE(sidecar.err.find("song2.mrk: is a link"), std::string::npos) << sidecar.err;
    EXPECT_TRUE(Names(one).empty());

    // The list shows no linked media file and no length read through a link.
    const ProcessResult ls = Tq9({"ls", two.string()});
    EXPECT_EQ(ls.exitCode, 0) << ls.err;
    EXPECT_EQ(ls.out.find("link.mp4"), std::string::npos) << ls.out;
    EXPECT_NE(ls.out.find("song2.mp3\t00:00:00"), std::string::npos) << ls.out;
}

TEST_F(HostileCardE2ETest, AFolderInPlaceOfASidecarIsListedAndRmRemovesTheItemAroundIt)
{
    if (!MountFatCard())
        GTEST_SKIP() << skipReason;
    WriteFile(one / "clip.mp4", "clip");
    WriteFile(one / "clip.mrk", std::string("\0\0\0\x05", 4));
    fs::create_directories(one / "clip.thm");

    const ProcessResult ls = Tq9({"ls", one.string()});
    EXPECT_EQ(ls.exitCode, 0) << ls.err;
    EXPECT_NE(ls.out.find("clip.mp4\t00:00:05"), std::string::npos) << ls.out;

    const ProcessResult dup = Tq9({"dup", two.string(), (one / "clip.mp4").string()});
    EXPECT_EQ(dup.exitCode, 3) << dup.err;
    EXPECT_NE(dup.err.find("clip.thm: is a folder"), std::string::npos) << dup.err;
    EXPECT_TRUE(Names(two).empty());

    const ProcessResult rm = Tq9({"rm", (one / "clip.mp4").string()});
    EXPECT_EQ(rm.exitCode, 0) << rm.err;
    EXPECT_NE(rm.err.find("clip.thm: is a folder"), std::string::npos) << rm.err;
    EXPECT_EQ(Names(one), std::vector<std::string> {"clip.thm"});
}
