// tq9 cards / ls / mkdir driven as a user would, on cards laid out by the test.
#include <gtest/gtest.h>

#include "support/ScratchMount.h"
#include "support/TestSupport.h"

#include <fcntl.h>
#include <unistd.h>
#include <sys/stat.h>

#include <cstdio>
#include <sstream>

using namespace tq9test;
namespace fs = std::filesystem;

namespace {

ProcessResult tq9(const std::vector<std::string>& args)
{
    std::vector<std::string> argv = {BinPath("tq9").string()};
    argv.insert(argv.end(), args.begin(), args.end());
    // Only the cards a test names: cards other tests mount meanwhile must not show up in the listings.
    return RunProcess(argv, {"TZ=UTC", "TQ9_MOUNTS_FILE=/dev/null"});
}

} // namespace

TEST(CliCards, ListsEachCardWithItsFolders)
{
    TempDir t;
    MakeCard(t / "card A", {1, 2});
    fs::create_directories(t / "notacard" / "TQ-9");
    auto r = tq9({"--card-root", (t / "card A").string(), "--card-root", (t / "notacard").string(), "cards"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string root = (t / "card A").string();
    EXPECT_NE(r.out.find(root + "\n"), std::string::npos);
    EXPECT_NE(r.out.find("  " + root + "/TQ-9/TQ9_0001\n"), std::string::npos);
    EXPECT_NE(r.out.find("  " + root + "/TQ-9/TQ9_0002\n"), std::string::npos);
    EXPECT_EQ(r.out.find("notacard"), std::string::npos);

    // No card at all: an empty list, and stderr says why.
    r = tq9({"--card-root", (t / "notacard").string(), "cards"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("tq9: No TQ-9 card found."), std::string::npos) << r.err;
}

TEST(CliLs, PrintsTheFourColumnsSeparatedByTabs)
{
    TempDir t;
    fs::path folder = MakeCard(t.Path(), {1}) / "TQ9_0001";
    WriteFile(folder / "clip.mp4", std::string(1234567, 'x'));
    WriteFile(folder / "clip.mrk", std::string("\0\0\0\x3d", 4));
    WriteFile(folder / "clip.thm", "bmp");
    WriteFile(folder / "notes.txt", "");
    struct timespec times[2] = {{1796634000, 0}, {1796634000, 0}}; // 2026-12-07 09:00:00 UTC
    ASSERT_EQ(::utimensat(AT_FDCWD, (folder / "clip.mp4").c_str(), times, 0), 0);
    auto r = tq9({"ls", folder.string()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "clip.mp4\t00:01:01\t1.23 MB\t2026/12/07 09:00:00\n");
}

TEST(CliLs, RefusesWhatIsNotACardFolder)
{
    TempDir t;
    fs::path device = MakeCard(t.Path(), {1});
    WriteFile(t / "file.mp4", "");
    for (const fs::path& bad : {t / "missing", t / "file.mp4", t.Path(), device}) {
        auto r = tq9({"ls", bad.string()});
        EXPECT_EQ(r.exitCode, 3) << bad;
        EXPECT_NE(r.err.find("tq9: ls: "), std::string::npos) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    }
}

TEST(CliImportAndRm, TheCardRootIsNoCardFolder)
{
    TempDir t;
    MakeCard(t.Path(), {1});
    WriteFile(t / "photo.jpg", "not really a picture");
    auto r = tq9({"import", t.Path().string(), (t / "photo.jpg").string()});
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_NE(r.err.find("not a folder of a TQ-9 card"), std::string::npos) << r.err;
    r = tq9({"rm", (t / "photo.jpg").string()});
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_TRUE(fs::exists(t / "photo.jpg"));
}

TEST(CliImportAndRm, AMissingFileIsNamedAsMissing)
{
    TempDir t;
    const fs::path folder = MakeCard(t.Path(), {1}) / "TQ9_0001";
    auto r = tq9({"import", folder.string(), (t / "nope.mp4").string()});
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_EQ(r.err, "tq9: import: " + (t / "nope.mp4").string() + ": no such file\n");
    EXPECT_TRUE(fs::is_empty(folder));
}

TEST(CliCardsAndLs, PrintInTheWindowsOrderWhateverTheFileSystemKeeps)
{
    TempDir t;
    std::vector<int> numbers;
    for (int n = 20; n >= 1; --n)
        numbers.push_back(n);
    const fs::path device = MakeCard(t / "card", numbers);
    for (const char* name : {"clip10.mp4", "Song.mp3", "clip2.mp4", "b.jpg", "clip1.mp4", "A.jpg"})
        WriteFile(device / "TQ9_0001" / name, "x");

    auto r = tq9({"--card-root", (t / "card").string(), "cards"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    std::string expected = (t / "card").string() + "\n";
    for (int n = 1; n <= 20; ++n) {
        char name[16];
        std::snprintf(name, sizeof name, "TQ9_%04d", n);
        expected += "  " + (device / name).string() + "\n";
    }
    EXPECT_EQ(r.out, expected);

    r = tq9({"ls", (device / "TQ9_0001").string()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    std::vector<std::string> names;
    std::istringstream lines(r.out);
    for (std::string line; std::getline(lines, line);)
        names.push_back(line.substr(0, line.find('\t')));
    EXPECT_EQ(names, (std::vector<std::string>{"A.jpg", "b.jpg", "clip1.mp4", "clip2.mp4", "clip10.mp4", "Song.mp3"}));
}

TEST(CliMkdir, MakesTheNextFolderOrSaysWhyNot)
{
    TempDir t;
    fs::path device = MakeCard(t.Path(), {1, 3});
    auto r = tq9({"mkdir", (device / "TQ9_0003").string()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, fs::canonical(device / "TQ9_0002").string() + "\n");
    r = tq9({"mkdir", t.Path().string()});
    EXPECT_EQ(r.out, fs::canonical(device / "TQ9_0004").string() + "\n");

    r = tq9({"mkdir", fs::temp_directory_path().string()});
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_EQ(r.err, "tq9: Failed to make folder.\n");

    // At the device's limit the message says so.
    for (int n = 5; n <= 127; ++n)
        fs::create_directory(device / ("TQ9_" + std::string(n < 10 ? "000" : n < 100 ? "00" : "0") + std::to_string(n)));
    r = tq9({"mkdir", t.Path().string()});
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_EQ(r.err, "tq9: Failed to make folder.\ntq9: The card holds as many folders as the device allows (127).\n");
}

TEST(CliUsage, HelpAndUsageErrors)
{
    auto r = tq9({"--help"});
    EXPECT_EQ(r.exitCode, 0);
    for (const char* word : {"cards", "ls", "mkdir", "--card-root"})
        EXPECT_NE(r.out.find(word), std::string::npos) << word;
    r = tq9({"ls", "--help"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_NE(r.out.find("Usage: tq9 [--card-root DIR]... ls"), std::string::npos);
    // Usage errors: exit 2, the message on stderr, nothing on stdout (a pipe reading it gets no noise).
    for (const std::vector<std::string>& wrong : std::vector<std::vector<std::string>>{
             {}, {"frobnicate"}, {"ls"}, {"ls", "a", "b"}, {"--card-root"}, {"cards", "--bogus"}, {"--bogus"},
             {"import", "--to", "x"}, {"export", "--to"}}) {
        r = tq9(wrong);
        EXPECT_EQ(r.exitCode, 2) << ::testing::PrintToString(wrong);
        EXPECT_EQ(r.out, "") << ::testing::PrintToString(wrong);
        EXPECT_FALSE(r.err.empty()) << ::testing::PrintToString(wrong);
    }
    // Every command's --help goes to stdout with exit 0 and shows its usage line.
    const std::string all = tq9({"--help"}).out;
    for (const char* command : {"cards", "ls", "mkdir", "import", "dup", "rm", "export", "probe"}) {
        r = tq9({command, "--help"});
        EXPECT_EQ(r.exitCode, 0) << command;
        EXPECT_NE(r.out.find(std::string("... ") + command), std::string::npos) << r.out;
        EXPECT_NE(all.find(std::string("  ") + command + " "), std::string::npos) << command;
        // Fits a terminal's 80 columns, the command's own help as the list.
        for (const std::string& text : {all, r.out}) {
            std::istringstream lines(text);
            for (std::string line; std::getline(lines, line);)
                EXPECT_LT(line.size(), 80u) << line;
        }
    }
}

// A name with a control character (a newline, an escape) would break the line or drive the terminal: it is
// quoted as ls quotes it, in the listing, the progress and the report alike.
TEST(CliNames, ANameWithAControlCharacterIsQuotedLikeLsDoes)
{
    TempDir t;
    const fs::path folder = MakeCard(t.Path(), {1, 2}) / "TQ9_0001";
    WriteFile(folder / "so\nng.mp3", "x");
    WriteFile(folder / "it's\x01.mp3", "x");
    auto r = tq9({"ls", folder.string()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    std::istringstream lines(r.out);
    std::vector<std::string> names;
    for (std::string line; std::getline(lines, line);)
        names.push_back(line.substr(0, line.find('\t')));
    EXPECT_EQ(names, (std::vector<std::string>{"'it'\\''s'$'\\001''.mp3'", "'so'$'\\n''ng.mp3'"}));

    fs::copy_file(SynthMedia("names-sine.mp3", {"-f", "lavfi", "-i", "sine=duration=10"}), t / "\x1b[31m\nsong.mp3");
    WriteFile(t / "bad\tname.mp3", "not a song");
    r = tq9({"import", (folder.parent_path() / "TQ9_0002").string(), (t / "\x1b[31m\nsong.mp3").string(),
             (t / "bad\tname.mp3").string()});
    EXPECT_EQ(r.exitCode, 4) << r.err;
    const std::string shown = t.Path().string() + "/'$'\\033''[31m'$'\\n''song.mp3'";
    EXPECT_NE(r.err.find("Converting '" + shown), std::string::npos) << r.err; // the progress line
    EXPECT_NE(r.err.find("\n'" + t.Path().string() + "/bad'$'\\t''name.mp3': "), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find('\x1b'), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find('\t'), std::string::npos) << r.err;

    // The refusal of a link by dup and of a folder by eject name it alike.
    fs::create_symlink(folder / "so\nng.mp3", folder / "li\nnk.mp3");
    r = tq9({"dup", (folder.parent_path() / "TQ9_0002").string(), (folder / "li\nnk.mp3").string()});
    EXPECT_NE(r.err.find("\n'" + folder.string() + "/li'$'\\n''nk.mp3': is a link"), std::string::npos) << r.err;
    const fs::path notCard = t / "c\nard";
    MakeCard(notCard, {1});
    r = tq9({"eject", notCard.string()});
    EXPECT_NE(r.err.find("eject: '" + t.Path().string() + "/c'$'\\n''ard' is not"), std::string::npos) << r.err;
}

// A card below folders longer together than a path may be (4,096 bytes) cannot be worked with by path:
// tq9 cards leaves it out and says why, and every other command refuses it with the same cause, whether the
// path is given whole or relative to a deep working folder.
TEST(CliLongPath, ACardBeyondThePathLimitIsRefusedAlikeByEveryCommand)
{
    std::string skip;
    const auto tmpfs = ScratchMount::Tmpfs("4m", skip);
    if (!tmpfs)
        GTEST_SKIP() << skip;
    // Made one folder at a time: no call could take the whole path.
    std::vector<std::string> chain;
    std::string root = tmpfs->Path().string();
    int at = ::open(root.c_str(), O_PATH | O_DIRECTORY);
    for (int i = 0; i < 45; ++i) {
        chain.push_back(std::string(100, 'd') + std::to_string(i));
        root += "/" + chain.back();
        ASSERT_EQ(::mkdirat(at, chain.back().c_str(), 0755), 0);
        const int next = ::openat(at, chain.back().c_str(), O_PATH | O_DIRECTORY);
        ::close(at);
        at = next;
    }
    const fs::path device = MakeCard("/proc/self/fd/" + std::to_string(at) + "/card", {1, 2});
    WriteFile(device / "TQ9_0001" / "clip.mp4", "x");
    ::close(at);
    root += "/card";
    const std::string folder = root + "/TQ-9/TQ9_0001";
    WriteFile(tmpfs->Path() / "song.mp3", "x");

    const std::string cause = "The path is longer than the 4,096 bytes the system takes.";
    auto r = tq9({"--card-root", root, "cards"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err.find("tq9: " + root + ": " + cause), 0u) << r.err.substr(r.err.size() - std::min<size_t>(r.err.size(), 200));
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"ls", folder}, {"mkdir", root}, {"rm", folder + "/clip.mp4"}, {"export", folder + "/clip.mp4"},
             {"dup", root + "/TQ-9/TQ9_0002", folder + "/clip.mp4"},
             {"import", folder, (tmpfs->Path() / "song.mp3").string()}}) {
        r = tq9(args);
        EXPECT_EQ(r.exitCode, 3) << args[0];
        EXPECT_NE(r.err.find(cause), std::string::npos) << args[0] << r.err.substr(r.err.size() - std::min<size_t>(r.err.size(), 200));
    }

    std::vector<std::string> argv = {"/bin/sh", "-c",
        "cd \"$1\" && shift && for d; do cd -P \"$d\" || exit 9; done; \"$0\" --card-root card cards; "
        "exec \"$0\" ls card/TQ-9/TQ9_0001", BinPath("tq9").string(), tmpfs->Path().string()};
    argv.insert(argv.end(), chain.begin(), chain.end());
    r = RunProcess(argv, {"TQ9_MOUNTS_FILE=/dev/null"});
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_EQ(r.out, "");
    const std::string advice = " Mount the card, or move the files, to a shorter path.\n";
    EXPECT_EQ(r.err, "tq9: card: " + cause + advice + "tq9: ls: card/TQ-9/TQ9_0001: " + cause + advice);
}
