// The placement and its recovery among random folder contents: journals (ours, crafted, truncated, huge,
// naming names outside), staged names of live and dead runs, links to an outside folder, FIFOs, folders,
// and visible files, in a card folder beside an outside folder. After every run: nothing outside changed,
// every visible entry that was there is unchanged, what went or became visible was a hidden regular file
// of a finished run of ours, the new item landed whole, and the run ended within a bounded time.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <map>
#include <random>

#include "platform/ShellFileOperation.h"
#include "platform/StagingName.h"
#include "support/FileOpTestSupport.h"
#include "support/TestSupport.h"

using namespace tq9;
using namespace tq9test;

namespace {

constexpr int kRuns = 400;
constexpr auto kRunLimit = std::chrono::seconds(10);

// Above any pid_max: runs of these pids are surely gone. Pid 1 surely runs.
const std::string kDeadPid = "4194305";
const std::string kLivePid = "1";

struct Entry {
    char type; // 'f' file, 'l' link, 'p' FIFO, 'd' folder
    std::string content;
    bool operator==(const Entry& o) const { return type == o.type && content == o.content; }
};

std::map<std::string, Entry> Snapshot(const fs::path& folder)
{
    std::map<std::string, Entry> entries;
    for (const std::string& name : Names(folder)) {
        const fs::path p = folder / name;
        const fs::file_status st = fs::symlink_status(p);
        if (fs::is_symlink(st))
            entries[name] = {'l', fs::read_symlink(p).string()};
        else if (fs::is_fifo(st))
            entries[name] = {'p', ""};
        else if (fs::is_directory(st))
            entries[name] = {'d', ""};
        else
            entries[name] = {'f', ReadFile(p)};
    }
    return entries;
}

class Generator {
public:
    explicit Generator(unsigned seed) : m_random(seed) {}

    int Pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(m_random); }
    bool Chance(int percent) { return Pick(100) < percent; }

    std::string VisibleName()
    {
        static const char* kStems[] = {"clip", "demo", "song", "thesis", "a", "CLIP"};
        static const char* kExts[] = {"mp4", "thm", "mrk", "mp3", "doc"};
        return std::string(kStems[Pick(6)]) + "." + kExts[Pick(5)];
    }
    std::string StagedName(bool journal, const std::string& pid)
    {
        return std::string(CStagingName::kPrefix) + pid + "-" + std::to_string(Pick(6)) +
               (journal ? CStagingName::kJournalSuffix : "");
    }
    std::string AnyPid() { return Chance(80) ? kDeadPid : kLivePid; }
    // A name a journal might claim: one in the folder, plain, staged, escaping, absolute, empty.
    std::string ClaimedName(const std::vector<std::string>& present)
    {
        switch (Pick(8)) {
        case 0:
            return "../outside/" + VisibleName();
        case 1:
            return "/" + VisibleName();
        case 2:
            return "";
        case 3:
            return StagedName(false, AnyPid());
        case 4:
            return VisibleName();
        default:
            return present.empty() ? VisibleName() : present[static_cast<size_t>(Pick(static_cast<int>(present.size())))];
        }
    }
    std::string JournalText(const std::string& pid, const std::vector<std::string>& present)
    {
        std::string text;
        switch (Pick(5)) {
        case 0: // the old form: names only
            for (int k = Pick(5); k >= 0; --k)
                text += ClaimedName(present) + '\0';
            return text;
        case 1: // huge
            while (text.size() < 100000)
                text += ClaimedName(present) + '\0';
            return text;
        default: { // today's form, mostly well made, sometimes cut short or with a wrong count
            const int count = 1 + Pick(3);
            text = std::string(CStagingName::kJournalMagic) + std::to_string(count + (Chance(10) ? 1 : 0)) + "\n";
            for (int k = 0; k < count; ++k) {
                const std::string staged = Chance(60) ? StagedName(false, pid) : Chance(50) ? "" : ClaimedName(present);
                text += staged + '\0' + ClaimedName(present) + '\0';
            }
            if (Chance(20))
                text.resize(static_cast<size_t>(Pick(static_cast<int>(text.size()))));
            return text;
        }
        }
    }

    // Something other than a regular file, or a regular file with contents, at p.
    void Put(const fs::path& p, const fs::path& outside, const std::string& contents)
    {
        if (fs::exists(fs::symlink_status(p)))
            return;
        switch (Pick(8)) {
        case 0: {
            const std::vector<std::string> targets = Names(outside);
            fs::create_symlink(outside / targets[static_cast<size_t>(Pick(static_cast<int>(targets.size())))], p);
            break;
        }
        case 1:
            ::mkfifo(p.c_str(), 0600);
            break;
        case 2:
            fs::create_directory(p);
            break;
        default:
            WriteFile(p, contents);
        }
    }

    void Populate(const fs::path& card, const fs::path& outside)
    {
        for (int k = 0; k < 3; ++k)
            WriteFile(outside / VisibleName(), "outside " + std::to_string(k));
        // Visible files and staged copies first, then journals that claim them.
        for (int k = Pick(8); k > 0; --k) {
            const std::string name = Chance(50) ? VisibleName() : StagedName(false, AnyPid());
            Put(card / name, outside, "was " + name);
        }
        const std::vector<std::string> present = Names(card);
        for (int k = Pick(4); k > 0; --k) {
            const std::string pid = AnyPid();
            Put(card / StagedName(true, pid), outside, JournalText(pid, present));
        }
    }

private:
    std::mt19937 m_random;
};

// Whether an entry that was in the card folder may have gone: a hidden regular file under our exact
// names of a run that is gone (a leftover copy, or a journal that proved itself).
bool MayGo(const std::string& name, const Entry& entry)
{
    long pid = 0;
    const bool ours = CStagingName::ParseName(name, false, pid) || CStagingName::ParseName(name, true, pid);
    return entry.type == 'f' && ours && std::to_string(pid) == kDeadPid;
}

} // namespace

TEST(PlacementProperty, RandomFolderContentsLoseNothingAndEveryRunEnds)
{
    for (int run = 0; run < kRuns; ++run) {
        SCOPED_TRACE("run " + std::to_string(run));
        Generator gen(static_cast<unsigned>(run) * 7919u + 1u);
        TempDir dir;
        const fs::path card = dir / "card", outside = dir / "outside", src = dir / "src";
        for (const fs::path& p : {card, outside, src})
            fs::create_directories(p);
        gen.Populate(card, outside);

        // The item: a media file with zero to two sidecars, names that may meet the folder's.
        const std::string stem = gen.Chance(50) ? "clip" : "demo";
        std::vector<std::string> files = {stem + ".mp4"};
        if (gen.Chance(60))
            files.push_back(stem + ".thm");
        if (gen.Chance(60))
            files.push_back(stem + ".mrk");
        for (const std::string& f : files)
            WriteFile(src / f, "new " + f);
        ShellFileOp op = TransferOp(FO_COPY, src, card, files);
        op.flags = FOF_MULTIDESTFILES | FOF_NOCONFIRMATION | (gen.Chance(80) ? FOF_RENAMEONCOLLISION : 0);
        op.item.assign(files.size(), 0);
        op.clearLeftovers = true;

        const auto cardBefore = Snapshot(card);
        const auto outsideBefore = Snapshot(outside);

        // In a child, so a hang is caught and ended instead of holding the suite.
        const auto start = std::chrono::steady_clock::now();
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0)
            ::_exit(CShellFileOperation::Run(op) == 0 ? 0 : 1);
        int status = 0;
        pid_t ended = 0;
        while ((ended = ::waitpid(child, &status, WNOHANG)) == 0 && std::chrono::steady_clock::now() - start < kRunLimit)
            ::usleep(2000);
        if (ended == 0) {
            ::kill(child, SIGKILL);
            ::waitpid(child, &status, 0);
            FAIL() << "the placement did not end within the limit";
        }
        ASSERT_TRUE(WIFEXITED(status));
        const bool landed = WEXITSTATUS(status) == 0;

        EXPECT_EQ(Snapshot(outside), outsideBefore) << "something outside the folder changed";
        auto after = Snapshot(card);
        // What came in: the item's files (under one collision number) and our finished copies made visible.
        std::map<std::string, Entry> gone;
        for (const auto& [name, entry] : cardBefore) {
            auto found = after.find(name);
            if (found == after.end()) {
                EXPECT_TRUE(MayGo(name, entry)) << name << " was there before and is gone";
                gone[name] = entry;
            } else {
                EXPECT_TRUE(found->second == entry) << name << " was changed";
                after.erase(found);
            }
        }
        size_t itemFiles = 0;
        for (const auto& [name, entry] : after) {
            EXPECT_NE(name[0], '.') << name << " is left behind";
            EXPECT_EQ(entry.type, 'f') << name;
            if (entry.content.rfind("new ", 0) == 0) {
                ++itemFiles;
                continue;
            }
            // Otherwise a finished copy of a run of ours, now under a visible name.
            bool fromGone = false;
            for (const auto& [goneName, goneEntry] : gone)
                fromGone = fromGone || goneEntry.content == entry.content;
            EXPECT_TRUE(fromGone) << name << " came from nowhere";
        }
        EXPECT_EQ(itemFiles, landed ? files.size() : 0u) << "the item did not land whole or not at all";
        if (HasFailure())
            break;
    }
}
