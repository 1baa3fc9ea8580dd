// tq9 import and tq9 dup onto real FAT and exFAT card images, and around the private working folder: names
// the card refuses, letter case, long and non-UTF-8 names, two runs placing one name at once, links planted
// in the temporary folder, kills, and the checks made before anything is converted.
#include <gtest/gtest.h>

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <limits>
#include <map>
#include <memory>
#include <sstream>

#include "support/FileOpTestSupport.h"
#include "support/ScratchMount.h"
#include "support/TestSupport.h"

using namespace tq9test;

namespace {

const std::vector<std::string> kPicture = {"-f", "lavfi", "-i", "testsrc=size=160x120", "-frames:v", "1"};
const std::vector<std::string> kTone = {"-f", "lavfi", "-i", "sine=frequency=440:duration=2", "-c:a", "libmp3lame"};

std::vector<std::string> Clip(int seconds)
{
    const std::string d = std::to_string(seconds);
    return {"-f", "lavfi", "-i", "testsrc=size=160x120:rate=25:duration=" + d, "-f", "lavfi", "-i",
            "sine=frequency=440:duration=" + d, "-c:v", "libx264", "-c:a", "aac", "-shortest"};
}

class CardSafetyE2ETest : public ::testing::Test {
protected:
    void SetUp() override
    {
        tmp = dir / "tmp";
        pc = dir / "pc";
        fs::create_directories(tmp);
        fs::create_directories(pc);
    }

    // A card on a FAT or exFAT image; false (test skipped) when images cannot be mounted here.
    bool MountCard(bool exfat)
    {
        std::string why;
        mount = exfat ? ScratchMount::ExfatImage(16, why) : ScratchMount::FatImage(16, why, 16);
        if (!mount) {
            skipReason = why;
            return false;
        }
        root = mount->Path();
        card = MakeCard(root, {1}) / "TQ9_0001";
        return true;
    }
    void UseDiskCard()
    {
        root = dir / "root";
        card = MakeCard(root, {1}) / "TQ9_0001";
    }

    fs::path Put(const std::string& name, const fs::path& cached)
    {
        const fs::path p = pc / name;
        fs::create_directories(p.parent_path());
        fs::copy_file(cached, p, fs::copy_options::overwrite_existing);
        return p;
    }

    std::vector<std::string> Env() const { return {"TMPDIR=" + tmp.string(), "XDG_CONFIG_HOME=" + (dir / "config").string()}; }
    std::vector<std::string> Command(const std::vector<std::string>& args) const
    {
        std::vector<std::string> argv = {BinPath("tq9").string(), "--card-root", root.string(), "import", card.string()};
        argv.insert(argv.end(), args.begin(), args.end());
        return argv;
    }
    ProcessResult Import(const std::vector<std::string>& args) const { return RunProcess(Command(args), Env()); }

    std::vector<std::string> CardNames() const { return Names(card); }

    // A card item in folder for the duplication: the media file and its sidecars, each file's bytes
    // naming the item and the file, so a copy paired with another item's file shows.
    fs::path PutItem(const fs::path& folder, const std::string& tag, const std::string& media)
    {
        fs::create_directories(folder);
        const std::string stem = media.substr(0, media.rfind('.'));
        for (const std::string& ext : ExtensionsOf(media))
            WriteFile(folder / (stem + "." + ext), ItemBytes(tag, ext));
        return folder / media;
    }
    static std::string ItemBytes(const std::string& tag, const std::string& ext)
    {
        return tag + "." + ext + Blob(3000, static_cast<int>(tag.size()));
    }
    static std::vector<std::string> ExtensionsOf(const std::string& media)
    {
        const bool video = media.substr(media.rfind('.') + 1) == "mp4";
        return video ? std::vector<std::string> {"mp4", "thm", "mrk"} : std::vector<std::string> {"mp3", "mrk"};
    }
    std::vector<std::string> DupCommand(const std::vector<fs::path>& files) const
    {
        std::vector<std::string> argv = {BinPath("tq9").string(), "--card-root", root.string(), "dup", card.string()};
        for (const fs::path& file : files)
            argv.push_back(file.string());
        return argv;
    }

    // Every file in the card folder belongs to a whole item whose files all came from one source item,
    // and no hidden name is left. Returns stem -> the item's tag.
    std::map<std::string, std::string> WholeItems()
    {
        std::map<std::string, std::map<std::string, std::string>> stems; // stem -> extension -> bytes
        for (const std::string& name : CardNames()) {
            EXPECT_NE(name[0], '.') << "left on the card: " << name;
            const size_t dot = name.rfind('.');
            stems[name.substr(0, dot)][name.substr(dot + 1)] = ReadFile(card / name);
        }
        std::map<std::string, std::string> items;
        for (const auto& [stem, files] : stems) {
            const std::string media = files.count("mp4") ? "mp4" : "mp3";
            const std::vector<std::string> want = ExtensionsOf("x." + media);
            EXPECT_EQ(files.size(), want.size()) << "a half item: " << stem;
            const std::string bytes = files.count(media) ? files.at(media) : std::string();
            const std::string tag = bytes.substr(0, bytes.find('.'));
            for (const std::string& ext : want) {
                EXPECT_TRUE(files.count(ext) && files.at(ext) == ItemBytes(tag, ext))
                    << stem << "." << ext << " is missing, cut short or another item's";
            }
            items[stem] = tag;
        }
        return items;
    }

    TempDir dir;
    fs::path tmp, pc, root, card;
    std::unique_ptr<ScratchMount> mount;
    std::string skipReason;
};

} // namespace

TEST_F(CardSafetyE2ETest, OnFatANameTheCardRefusesIsMappedAndSinksNothing)
{
    if (!MountCard(false))
        GTEST_SKIP() << skipReason;
    const ProcessResult r = Import({Put("ok.jpg", SynthMedia("imp-pic.jpg", kPicture)).string(),
                                    Put("a:b.mov", SynthMedia("safe-clip2.mov", Clip(2))).string(),
                                    Put("song.mp3", SynthMedia("safe-tone.mp3", kTone)).string()});

    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(CardNames(), (std::vector<std::string> {"a_b.mp4", "a_b.mrk", "a_b.thm", "ok.jpg", "ok.thm", "song.mp3",
                                                      "song.mrk"}));
    // Success is told only once everything is on the card, as the last line.
    const std::string finished = "Converting finished successfully.\n";
    ASSERT_GE(r.err.size(), finished.size()) << r.err;
    EXPECT_EQ(r.err.substr(r.err.size() - finished.size()), finished) << r.err;
    EXPECT_EQ(r.err.find(finished), r.err.size() - finished.size()) << r.err;
    EXPECT_TRUE(fs::is_empty(tmp));
}

TEST_F(CardSafetyE2ETest, OnExfatNewlinesCaseLongAndNonUtf8NamesAllLand)
{
    if (!MountCard(true))
        GTEST_SKIP() << skipReason;
    const fs::path picture = SynthMedia("imp-pic.jpg", kPicture);
    const std::string longName(250, 'x');
    const ProcessResult r = Import({Put("new\nline.jpg", picture).string(), Put("Case.jpg", picture).string(),
                                    Put("case.jpg", picture).string(), Put(longName + ".png", picture).string(),
                                    Put("caf\xe9.jpg", picture).string()});

    EXPECT_EQ(r.exitCode, 0) << r.err;
    const std::string cut(191, 'x');
    EXPECT_EQ(CardNames(), (std::vector<std::string> {"Case.jpg", "Case.thm", "caf_.jpg", "caf_.thm", "case_jpg.jpg",
                                                      "case_jpg.thm", "new_line.jpg", "new_line.thm", cut + ".jpg",
                                                      cut + ".thm"}));
    EXPECT_EQ(Probe(card / "caf_.jpg", "stream=width,height"), "width=720\nheight=480\n");
    // Importing the long name again needs the collision name, which still fits.
    EXPECT_EQ(Import({Put(longName + ".png", picture).string()}).exitCode, 0);
    EXPECT_TRUE(fs::exists(card / (cut + "_png.jpg")));
    EXPECT_TRUE(fs::is_empty(tmp));
}

TEST_F(CardSafetyE2ETest, TwoImportsOfOneNameIntoOneFatFolderLandApartWithTheirOwnSidecars)
{
    if (!MountCard(false))
        GTEST_SKIP() << skipReason;
    const fs::path a = Put("a/clip.mov", SynthMedia("safe-clip2.mov", Clip(2)));
    const fs::path b = Put("b/clip.mov", SynthMedia("safe-clip3.mov", Clip(3)));
    int errA = -1, errB = -1;
    const pid_t pa = SpawnProcess(Command({a.string()}), Env(), errA);
    const pid_t pb = SpawnProcess(Command({b.string()}), Env(), errB);
    ASSERT_GT(pa, 0);
    ASSERT_GT(pb, 0);
    for (pid_t pid : {pa, pb}) {
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    ::close(errA);
    ::close(errB);

    const std::vector<std::string> names = CardNames();
    ASSERT_EQ(names.size(), 6u) << ::testing::PrintToString(names);
    std::vector<std::string> seconds;
    for (const std::string& name : names) {
        if (name.size() < 4 || name.substr(name.size() - 4) != ".mp4")
            continue;
        const std::string stem = name.substr(0, name.size() - 4);
        ASSERT_TRUE(fs::exists(card / (stem + ".thm"))) << stem;
        // The marker belongs to this video: its seconds are the video's own length.
        const std::string marker = HexBytes(ReadFile(card / (stem + ".mrk")));
        const std::string duration = Probe(card / name, "format=duration");
        const int probed = static_cast<int>(std::stod(duration.substr(duration.find('=') + 1)));
        EXPECT_EQ(marker, probed == 2 ? "00000002" : "00000003") << name << " " << duration;
        seconds.push_back(marker);
    }
    std::sort(seconds.begin(), seconds.end());
    EXPECT_EQ(seconds, (std::vector<std::string> {"00000002", "00000003"}));
    EXPECT_TRUE(fs::is_empty(tmp));
}

TEST_F(CardSafetyE2ETest, LinksPlantedInTheTemporaryFolderAreNeverFollowed)
{
    UseDiskCard();
    const fs::path victim = dir / "victim";
    WriteFile(victim, "precious");
    fs::create_directories(dir / "victim-folder");
    WriteFile(dir / "victim-folder" / "keep", "keep");
    // Every name a two-pass import of clip.mov once used in the temporary folder, and a folder link named
    // like a working folder.
    for (const char* name : {"clip.mp4", "clip.thm", "clip.mrk", "clip.passlog", "clip.passlog-0.log"})
        fs::create_symlink(victim, tmp / name);
    fs::create_directory_symlink(dir / "victim-folder", tmp / "tq9-work-planted");

    std::vector<std::string> argv = {BinPath("tq9").string(), "--card-root", root.string(), "import", "--two-pass",
                                     card.string(), Put("clip.mov", SynthMedia("safe-clip2.mov", Clip(2))).string()};
    const ProcessResult r = RunProcess(argv, Env());

    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(CardNames(), (std::vector<std::string> {"clip.mp4", "clip.mrk", "clip.thm"}));
    EXPECT_EQ(ReadFile(victim), "precious");
    EXPECT_EQ(ReadFile(dir / "victim-folder" / "keep"), "keep");
    std::vector<std::string> left;
    for (const auto& e : fs::directory_iterator(tmp))
        left.push_back(e.path().filename().string());
    EXPECT_EQ(left.size(), 6u) << "only the planted links stay";
}

TEST_F(CardSafetyE2ETest, AKilledImportLeavesNothingOnceEitherProgramStartsAgain)
{
    UseDiskCard();
    const fs::path clip = Put("long.mov", SynthMedia("imp-long.mov", {"-f", "lavfi", "-i",
                                                                     "testsrc=size=160x120:rate=25:duration=40",
                                                                     "-c:v", "libx264", "-an"}));
    int errFd = -1;
    const pid_t pid = SpawnProcess(Command({clip.string()}), Env(), errFd);
    ASSERT_GT(pid, 0);
    std::string err;
    const bool converting = ReadUntil(errFd, "Converted file 0/1", err);
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    ::close(errFd);
    ASSERT_TRUE(converting) << err;
    ASSERT_FALSE(fs::is_empty(tmp)) << "the killed run's working folder";

    const ProcessResult cards = RunProcess({BinPath("tq9").string(), "--card-root", root.string(), "cards"}, Env());

    EXPECT_EQ(cards.exitCode, 0) << cards.err;
    EXPECT_TRUE(fs::is_empty(tmp));
    EXPECT_TRUE(CardNames().empty());
}

TEST_F(CardSafetyE2ETest, AReadOnlyCardIsRefusedBeforeConverting)
{
    std::string why;
    mount = ScratchMount::Tmpfs("1m", why);
    if (!mount)
        GTEST_SKIP() << why;
    root = mount->Path();
    card = MakeCard(root, {1}) / "TQ9_0001";
    ASSERT_TRUE(mount->Remount("ro"));

    const ProcessResult r = Import({Put("song.mp3", SynthMedia("safe-tone.mp3", kTone)).string()});

    EXPECT_EQ(r.exitCode, 3);
    EXPECT_NE(r.err.find("The card is write-protected or read-only."), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("Converted file"), std::string::npos) << "nothing was converted: " << r.err;
    EXPECT_TRUE(fs::is_empty(tmp));
    mount->Remount("rw");
}

TEST_F(CardSafetyE2ETest, AKilledDupOnFatLeavesEachItemWholeOrGoneAtEveryStep)
{
    if (!MountCard(false))
        GTEST_SKIP() << skipReason;
    if (RunProcess({"strace", "-qq", "-o", "/dev/null", "true"}).exitCode != 0)
        GTEST_SKIP() << "needs strace and the right to trace (scripts/install-deps)";
    const fs::path from = card.parent_path() / "TQ9_0002";
    const fs::path clip = PutItem(from, "clip", "clip.mp4");
    const fs::path next = PutItem(from, "next", "next.mp3");
    // The steps of a placement: the calls that change what the folder holds or make it durable. strace
    // sends SIGKILL on entry to the kth call of one of them (it counts each call apart), so the kill lands
    // before that step; every call of a whole run gets its turn.
    const std::string steps = "flock,fsync,fdatasync,rename,renameat,renameat2,unlink,unlinkat";
    std::vector<std::string> count = {"strace", "-f", "-qq", "-o", (dir / "trace").string(), "-e", "trace=" + steps};
    // One item: a kill within a later item of a run meets the same steps (the placement tests cover that).
    const std::vector<std::string> dup = DupCommand({clip});
    count.insert(count.end(), dup.begin(), dup.end());
    ASSERT_EQ(RunProcess(count, Env()).exitCode, 0);
    // strace counts each thread's calls apart, so a run's steps are the most one thread makes of each call.
    std::map<std::pair<std::string, std::string>, int> perThread; // (call, thread) -> how many it makes
    std::istringstream trace(ReadFile(dir / "trace"));
    for (std::string pid, call; trace >> pid >> std::ws && std::getline(trace, call, '(');) {
        ++perThread[{call, pid}];
        trace.ignore(std::numeric_limits<std::streamsize>::max(), '\n');
    }
    std::map<std::string, int> calls; // call -> the kth calls a kill can land on
    for (const auto& [key, n] : perThread)
        calls[key.first] = std::max(calls[key.first], n);
    int total = 0;
    for (const auto& [call, n] : calls)
        total += n;
    ASSERT_GE(total, 6) << ::testing::PrintToString(calls);
    ASSERT_EQ(WholeItems().size(), 1u);

    for (const auto& [call, n] : calls) {
      for (int k = 1; k <= n; ++k) {
        SCOPED_TRACE("killed at " + call + " " + std::to_string(k) + " of " + std::to_string(n));
        for (const std::string& name : CardNames())
            fs::remove(card / name);
        std::vector<std::string> killed = {"strace", "-f", "-qq", "-o", "/dev/null", "-e", "trace=" + steps, "-e",
                                           "inject=" + call + ":signal=KILL:when=" + std::to_string(k)};
        killed.insert(killed.end(), dup.begin(), dup.end());
        ASSERT_EQ(RunProcess(killed, Env()).exitCode, 128 + SIGKILL);
        // Until the next run the folder may hold hidden copies and sidecars waiting for their media file
        // (it lands last), but a media file that shows has its sidecars.
        if (fs::exists(card / "clip.mp4")) {
            for (const std::string& ext : ExtensionsOf("clip.mp4"))
                EXPECT_EQ(ReadFile(card / ("clip." + ext)), ItemBytes("clip", ext));
        }

        // The next dup into the folder clears what the killed one left behind.
        const ProcessResult r = RunProcess(DupCommand({next}), Env());
        ASSERT_EQ(r.exitCode, 0) << r.err;
        const auto items = WholeItems();
        EXPECT_EQ(items.count("next"), 1u);
        for (const auto& [stem, tag] : items)
            EXPECT_EQ(stem, tag);
        if (HasFailure())
            return;
      }
    }
}

TEST_F(CardSafetyE2ETest, TwoDupsOfOneNameIntoOneFatFolderNeverReplaceEachOther)
{
    if (!MountCard(false))
        GTEST_SKIP() << skipReason;
    const fs::path device = card.parent_path();
    const std::vector<fs::path> a = {PutItem(device / "TQ9_0002", "a", "clip.mp4"),
                                     PutItem(device / "TQ9_0003", "aa", "clip.mp4")};
    const std::vector<fs::path> b = {PutItem(device / "TQ9_0004", "bbb", "clip.mp4"),
                                     PutItem(device / "TQ9_0005", "bbbb", "clip.mp4")};
    constexpr int kRounds = 3;
    for (int round = 0; round < kRounds; ++round) {
        int errA = -1, errB = -1;
        const pid_t pa = SpawnProcess(DupCommand(a), Env(), errA);
        const pid_t pb = SpawnProcess(DupCommand(b), Env(), errB);
        ASSERT_GT(pa, 0);
        ASSERT_GT(pb, 0);
        for (auto [pid, fd] : {std::pair {pa, errA}, std::pair {pb, errB}}) {
            std::string err;
            ReadUntil(fd, "\x01", err); // to the end of its output
            int status = 0;
            ASSERT_EQ(::waitpid(pid, &status, 0), pid);
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << err;
            ::close(fd);
        }
    }

    // Nothing replaced anything: every copy of every round is there, under its own name, whole.
    std::map<std::string, int> copies; // tag -> items
    for (const auto& [stem, tag] : WholeItems())
        ++copies[tag];
    EXPECT_EQ(copies, (std::map<std::string, int> {{"a", kRounds}, {"aa", kRounds}, {"bbb", kRounds}, {"bbbb", kRounds}}));
}
