// A real drag out of the program's file list under Xvfb, driven with xdotool like a hand on the mouse:
// onto drop targets of the tests, Qt and GTK 4 (each once reading the list at the drop, once while
// hovering), onto pcmanfm-qt's folder view, onto a folder of the program's own tree (duplication, no
// export), a device recording that arrives as a WMV, and a drag cancelled with Escape while the export
// runs. Skipped when Xvfb or xdotool is missing; the GTK 4 and pcmanfm-qt cases when those are.
#include <gtest/gtest.h>

#include <csignal>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <algorithm>
#include <atomic>
#include <fstream>
#include <mutex>
#include <optional>
#include <sstream>
#include <thread>

#include "media/WmvTestMedia.h"
#include "support/FileOpTestSupport.h"
#include "support/TestSupport.h"
#include "support/XvfbDisplay.h"

using namespace tq9test;

namespace {

using namespace std::chrono_literals;

bool haveTool(const char* path)
{
    return ::access(path, X_OK) == 0;
}

using Child = ChildProcess;

template <typename Pred>
bool waitFor(Pred pred, std::chrono::milliseconds limit)
{
    return WaitUntil(pred, limit);
}

class DragOutE2E : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (const std::string reason = XvfbDisplay::SkipReason(); !reason.empty())
            GTEST_SKIP() << reason;
        m_x = std::make_unique<XvfbDisplay>(dir.Path());
        ASSERT_FALSE(m_x->Name().empty()) << "Xvfb did not start";
        m_display = m_x->Name();
        tmp = dir / "tmp";
        out = dir / "received";
        fs::create_directories(tmp);
        fs::create_directories(out);
        const fs::path device = MakeCard(dir / "card", {1, 2});
        folder = device / "TQ9_0001";
        other = device / "TQ9_0002";
    }

    std::vector<std::string> Env() const
    {
        // The program's tree shows only the test's card, not those other tests mount meanwhile.
        return {"DISPLAY=" + m_display, "QT_QPA_PLATFORM=xcb", "TMPDIR=" + tmp.string(), "HOME=" + (dir / "home").string(),
                "TQ9_MOUNTS_FILE=/dev/null",
                "XDG_CONFIG_HOME=" + (dir / "home/.config").string(), "LANG=C.UTF-8", "LC_ALL=C.UTF-8"};
    }
    static std::vector<std::string> With(std::vector<std::string> env, const std::string& more)
    {
        env.push_back(more);
        return env;
    }
    std::string Xdo(const std::vector<std::string>& args) const
    {
        std::vector<std::string> argv = {"xdotool"};
        argv.insert(argv.end(), args.begin(), args.end());
        return RunProcess(argv, Env()).out;
    }
    // Waits for a window and puts it at (x, y) with the given size.
    void Place(const Child& program, const std::string& title, int x, int y, int w, int h)
    {
        std::string id;
        ASSERT_TRUE(waitFor([&] {
            id = Xdo({"search", "--name", title});
            return !id.empty() || !program.Running();
        }, 40s) && !id.empty())
            << title << (program.Running() ? " (running)" : " (ended)") << " on " << m_display << ":\n"
            << program.Err() << "X server" << (m_x->Server().Running() ? " (running)" : " (ended)") << ":\n"
            << m_x->Server().Err();
        id = id.substr(0, id.find('\n'));
        Xdo({"windowmove", id, std::to_string(x), std::to_string(y)});
        Xdo({"windowsize", id, std::to_string(w), std::to_string(h)});
        std::this_thread::sleep_for(300ms);
    }
    void StartProgram(const std::string& moreEnv = "TQ9_DEBUG=1")
    {
        m_app = std::make_unique<Child>(std::vector<std::string>{BinPath("tq9-image-converter").string(), "--card-root",
                                                                 (dir / "card").string()},
                                        With(With(Env(), "TQ9_DEBUG=1"), moreEnv));
        Place(*m_app, "TQ-9 Image Converter", 0, 0, 600, 400);
    }
    void StartTarget(bool peek) { StartTarget({BinPath("tq9-test-droptarget").string()}, peek, {}); }
    // The GTK 4 target of the tests; false (and the test skipped) when GTK 4 for Python is not installed.
    bool StartGtk4Target(bool peek)
    {
        const std::string script = TQ9_SOURCE_DIR "/tests/droptarget/gtk4-droptarget.py";
        if (RunProcess({kSystemPython, "-c", "import gi; gi.require_version('Gtk', '4.0')"}).exitCode != 0)
            return false;
        StartTarget({kSystemPython, script}, peek, {"GDK_BACKEND=x11", "GSK_RENDERER=cairo", "NO_AT_BRIDGE=1", "GTK_A11Y=none"});
        return true;
    }
    void StartTarget(std::vector<std::string> argv, bool peek, const std::vector<std::string>& env)
    {
        argv.insert(argv.end(), {"drop target", out.string()});
        if (peek)
            argv.push_back("--peek");
        std::vector<std::string> all = Env();
        all.insert(all.end(), env.begin(), env.end());
        m_target = std::make_unique<Child>(argv, all);
        Place(*m_target, "drop target", 700, 100, 300, 300);
    }
    void Click(int x, int y)
    {
        Xdo({"mousemove", std::to_string(x), std::to_string(y), "click", "1"});
        std::this_thread::sleep_for(300ms);
    }
    // Press on (x0, y0), move in steps of about 20 px to (x1, y1), hover, release; with via, the pointer
    // first goes straight to it.
    void Drag(int x0, int y0, int x1, int y1, std::optional<std::pair<int, int>> via = std::nullopt)
    {
        Xdo({"mousemove", std::to_string(x0), std::to_string(y0), "mousedown", "1"});
        if (via) {
            std::this_thread::sleep_for(100ms);
            Xdo({"mousemove", std::to_string(via->first), std::to_string(via->second)});
            std::this_thread::sleep_for(100ms);
            x0 = via->first;
            y0 = via->second;
        }
        const int steps = std::max(std::abs(x1 - x0), std::abs(y1 - y0)) / 20 + 1;
        for (int i = 1; i <= steps; ++i) {
            Xdo({"mousemove", std::to_string(x0 + (x1 - x0) * i / steps), std::to_string(y0 + (y1 - y0) * i / steps)});
            std::this_thread::sleep_for(50ms);
        }
        for (int d : {2, -2, 1})
            Xdo({"mousemove", std::to_string(x1 + d), std::to_string(y1)});
        std::this_thread::sleep_for(500ms);
        Xdo({"mouseup", "1"});
    }
    std::string Log() const { return fs::exists(out / "log") ? ReadFile(out / "log") : std::string(); }
    // Visible windows titled like the program (the main window, and its message boxes).
    size_t ProgramWindows() const
    {
        const std::string ids = Xdo({"search", "--onlyvisible", "--name", "TQ-9 Image Converter"});
        return static_cast<size_t>(std::count(ids.begin(), ids.end(), '\n'));
    }
    // Files of the temporary folder, recursively.
    std::vector<std::string> TempFiles() const
    {
        std::vector<std::string> files;
        for (const auto& e : fs::recursive_directory_iterator(tmp))
            if (e.is_regular_file())
                files.push_back(fs::relative(e.path(), tmp).string());
        return files;
    }

    // Debian's python3 with its gi bindings, whatever python3 comes first on the PATH.
    static constexpr const char* kSystemPython = "/usr/bin/python3";
    // The window's layout at 600x400: the tree's folders below the card's node, the list's first row.
    static constexpr int kTreeX = 95, kTreeFolder1Y = 93, kTreeFolder2Y = 111, kRowX = 260, kRow0Y = 101,
                         kRowHeight = 34;

    TempDir dir;
    fs::path tmp, out, folder, other;
    std::string m_display;
    std::unique_ptr<XvfbDisplay> m_x;
    std::unique_ptr<Child> m_app, m_target;
};

} // namespace

TEST_F(DragOutE2E, TargetsReceiveCompleteCopiesWhetherTheyReadAtTheDropOrWhileHovering)
{
    const std::string photo = Blob(300000, 7);
    WriteFile(folder / "photo.jpg", photo);
    WriteFile(folder / "photo.thm", "t");
    StartProgram();

    for (bool peek : {false, true}) {
        SCOPED_TRACE(peek ? "reads while hovering" : "reads at the drop");
        fs::remove_all(out);
        fs::create_directories(out);
        StartTarget(peek);
        Click(kTreeX, kTreeFolder1Y);
        Click(kRowX, kRow0Y);
        Drag(kRowX, kRow0Y, 850, 250);
        ASSERT_TRUE(waitFor([&] { return Log().find("copied") != std::string::npos; }, 20s)) << Log();
        EXPECT_EQ(Log(), std::string(peek ? "peek 1\n" : "") + "drop 1\ncopied photo.jpg 300000\n");
        EXPECT_EQ(ReadFile(out / "photo.jpg"), photo);
        m_target.reset();
    }
    // Handed-over copies stay a while after the drop whoever reads them, the earlier drag's too.
    EXPECT_EQ(TempFiles().size(), 2u);
}

TEST_F(DragOutE2E, Gtk4TargetsReceiveCompleteCopiesWhetherTheyReadAtTheDropOrWhileHovering)
{
    const std::string photo = Blob(200000, 5);
    WriteFile(folder / "photo.jpg", photo);
    StartProgram();

    for (bool peek : {false, true}) {
        SCOPED_TRACE(peek ? "reads while hovering" : "reads at the drop");
        fs::remove_all(out);
        fs::create_directories(out);
        if (!StartGtk4Target(peek))
            GTEST_SKIP() << "needs GTK 4 for Python (python3-gi, gir1.2-gtk-4.0)";
        Click(kTreeX, kTreeFolder1Y);
        Click(kRowX, kRow0Y);
        Drag(kRowX, kRow0Y, 850, 250);
        ASSERT_TRUE(waitFor([&] { return Log().find("copied") != std::string::npos; }, 20s))
            << Log() << m_app->Err() << m_target->Err();
        EXPECT_EQ(Log(), std::string(peek ? "peek 1\n" : "") + "drop 1\ncopied photo.jpg 200000\n");
        EXPECT_EQ(ReadFile(out / "photo.jpg"), photo);
        m_target.reset();
    }
}

TEST_F(DragOutE2E, APhotoDroppedOnAFileManagersFolderArrivesByteForByte)
{
    if (!haveTool("/usr/bin/pcmanfm-qt") || !haveTool("/usr/bin/dbus-run-session"))
        GTEST_SKIP() << "needs pcmanfm-qt and dbus-run-session";
    const std::string photo = Blob(250000, 3);
    WriteFile(folder / "photo.jpg", photo);
    const fs::path desk = dir / "desk";
    fs::create_directories(desk);
    StartProgram();
    m_target = std::make_unique<Child>(std::vector<std::string>{"dbus-run-session", "pcmanfm-qt", desk.string()}, Env());
    Place(*m_target, "^desk$", 700, 100, 500, 400);
    Click(kTreeX, kTreeFolder1Y);
    Click(kRowX, kRow0Y);
    const auto windows = [&] {
        const std::string ids = Xdo({"search", "--onlyvisible", "--class", "pcmanfm-qt"});
        return std::count(ids.begin(), ids.end(), '\n');
    };
    const auto before = windows();
    Drag(kRowX, kRow0Y, 950, 300);
    // The file manager asks what to do with the drop in a menu of its own: take the first entry, "Copy here".
    ASSERT_TRUE(waitFor([&] { return windows() > before; }, 20s)) << "no menu after the drop";
    std::this_thread::sleep_for(300ms);
    Xdo({"key", "Down", "Return"});

    ASSERT_TRUE(waitFor([&] { return fs::exists(desk / "photo.jpg") && fs::file_size(desk / "photo.jpg") == photo.size(); }, 20s))
        << testing::PrintToString(Names(desk)) << m_target->Err();
    EXPECT_EQ(ReadFile(desk / "photo.jpg"), photo);
    EXPECT_EQ(Names(desk), std::vector<std::string>{"photo.jpg"});
}

TEST_F(DragOutE2E, ADeviceRecordingArrivesAsACompleteWmv)
{
    fs::copy_file(DeviceClip(), folder / "clip.mp4");
    WriteFile(folder / "clip.thm", "t");
    WriteFile(folder / "clip.mrk", std::string("\0\0\0\2", 4));
    StartProgram();
    StartTarget(false);
    Click(kTreeX, kTreeFolder1Y);
    Click(kRowX, kRow0Y);
    Drag(kRowX, kRow0Y, 850, 250);
    ASSERT_TRUE(waitFor([&] { return Log().find("copied") != std::string::npos; }, 30s)) << Log();

    // The target read the list once, at the drop, and the file was whole by then.
    const fs::path wmv = out / "clip.wmv";
    EXPECT_EQ(Log(), "drop 1\ncopied clip.wmv " + std::to_string(fs::file_size(wmv)) + "\n");
    EXPECT_EQ(Probe(wmv, "format=format_name"), "format_name=asf\n");
    EXPECT_EQ(Probe(wmv, "stream=codec_name", "v:0"), "codec_name=wmv2\n");
    EXPECT_EQ(Probe(wmv, "stream=codec_name", "a:0"), "codec_name=wmav2\n");
    const std::string duration = Probe(wmv, "stream=duration", "v:0");
    ASSERT_EQ(duration.rfind("duration=", 0), 0u) << duration;
    EXPECT_NEAR(std::stod(duration.substr(9)), 2.0, 0.1);
    const ProcessResult decode =
        RunProcess({"ffmpeg", "-nostdin", "-v", "error", "-i", wmv.string(), "-f", "null", "-"});
    EXPECT_EQ(decode.exitCode, 0);
    EXPECT_EQ(decode.err, "");
    // Only the media file leaves the card; its sidecars stay.
    EXPECT_EQ(Names(out), (std::vector<std::string>{"clip.wmv", "log"}));
}

TEST_F(DragOutE2E, ADropOnAFolderOfTheProgramsTreeDuplicatesWithoutExporting)
{
    WriteFile(folder / "clip.mp4", Blob(5000, 8));
    WriteFile(folder / "clip.thm", "t");
    WriteFile(folder / "clip.mrk", std::string("\0\0\0\5", 4));
    StartProgram();
    Click(kTreeX, kTreeFolder1Y);
    Click(kRowX, kRow0Y);
    Drag(kRowX, kRow0Y, kTreeX, kTreeFolder2Y);

    // The copies wait under hidden names and land together: wait until every part is there whole and no
    // hidden working file is left.
    const std::vector<std::string> names = {"clip.mp4", "clip.mrk", "clip.thm"};
    EXPECT_TRUE(waitFor([&] {
        return Names(other) == names && fs::file_size(other / "clip.mp4") == 5000 &&
               fs::file_size(other / "clip.mrk") == 4 && fs::file_size(other / "clip.thm") == 1;
    }, 30s)) << testing::PrintToString(Names(other));
    EXPECT_TRUE(TempFiles().empty());
}

TEST_F(DragOutE2E, EscapeDuringTheExportCancelsTheDragAndLeavesNothing)
{
    // A recording long enough that its export is still running when Escape arrives (a second or more of
    // coding on any machine); Escape goes as soon as the export's working file is there.
    fs::copy_file(SynthMedia("drag-escape-20s.mp4",
                      {"-f", "lavfi", "-i", "testsrc=size=720x480:rate=30000/1001:duration=20", "-f", "lavfi",
                       "-i", "sine=sample_rate=48000:duration=20", "-c:v", "mpeg4", "-q:v", "2", "-c:a",
                       "libmp3lame", "-shortest"}),
        folder / "long.mp4");
    StartProgram();
    StartTarget(false);
    Click(kTreeX, kTreeFolder1Y);
    Click(kRowX, kRow0Y);
    Drag(kRowX, kRow0Y, 850, 250);
    ASSERT_TRUE(waitFor([&] { return !TempFiles().empty(); }, 15s));
    Xdo({"key", "Escape"});

    EXPECT_TRUE(waitFor([&] { return TempFiles().empty(); }, 15s));
    std::this_thread::sleep_for(1s);
    EXPECT_EQ(Log(), "");
    EXPECT_TRUE(TempFiles().empty());
}

TEST_F(DragOutE2E, AFileThatCannotBeExportedIsNamedInAMessageAndTheOthersArrive)
{
    const std::string photo = Blob(120000, 4);
    WriteFile(folder / "a-photo.jpg", photo);
    WriteFile(folder / "b-broken.mp4", "cut off by a flat battery");
    WriteFile(folder / "b-broken.mrk", std::string("\0\0\0\3", 4));
    StartProgram();
    StartTarget(false);
    Click(kTreeX, kTreeFolder1Y);
    Xdo({"mousemove", std::to_string(kRowX), std::to_string(kRow0Y), "click", "1", "keydown", "shift"});
    Click(kRowX, kRow0Y + kRowHeight);
    Xdo({"keyup", "shift"});
    const size_t windows = ProgramWindows();
    Drag(kRowX, kRow0Y, 850, 250);

    ASSERT_TRUE(waitFor([&] { return Log().find("copied") != std::string::npos; }, 30s)) << Log() << m_app->Err();
    // The list the target read at the drop names only what was made, and that arrived whole.
    EXPECT_EQ(Log(), "drop 1\ncopied a-photo.jpg 120000\n");
    EXPECT_EQ(ReadFile(out / "a-photo.jpg"), photo);
    // One message names the file that was left out, and why.
    EXPECT_TRUE(waitFor([&] { return ProgramWindows() == windows + 1; }, 10s)) << m_app->Err();
    const std::string err = m_app->Err();
    EXPECT_NE(err.find("1 of 2 files could not be exported."), std::string::npos) << err;
    EXPECT_NE(err.find("The file cannot be read as media.\n" + (folder / "b-broken.mp4").string()), std::string::npos)
        << err;
}

TEST_F(DragOutE2E, TheDragBelongsToTheRowPressedEvenWhenThePointerFirstCrossesIntoAnother)
{
    const std::string photo = Blob(90000, 6);
    WriteFile(folder / "a-photo.jpg", photo);
    WriteFile(folder / "b-other.jpg", Blob(1000, 7));
    StartProgram();
    StartTarget(false);
    Click(kTreeX, kTreeFolder1Y);
    Click(kRowX, kRow0Y);
    // Pressed near the lower edge of the selected row, then straight down into the next one first.
    const int pressY = kRow0Y + kRowHeight / 2 - 4;
    Drag(kRowX, pressY, 850, 250, std::make_pair(kRowX, pressY + kRowHeight));

    ASSERT_TRUE(waitFor([&] { return Log().find("copied") != std::string::npos; }, 20s)) << Log() << m_app->Err();
    EXPECT_EQ(Log(), "drop 1\ncopied a-photo.jpg 90000\n");
    EXPECT_EQ(ReadFile(out / "a-photo.jpg"), photo);
}

TEST_F(DragOutE2E, ACopyStillBeingReadStaysWhenTheNextDragStarts)
{
    WriteFile(folder / "a-photo.jpg", Blob(40000, 2));
    // No grace after the drop: only a reader keeps the copies.
    StartProgram("TQ9_DRAG_GRACE_SECONDS=0");
    StartTarget(false);
    Click(kTreeX, kTreeFolder1Y);
    Click(kRowX, kRow0Y);
    Drag(kRowX, kRow0Y, 850, 250);
    ASSERT_TRUE(waitFor([&] { return Log().find("copied") != std::string::npos; }, 20s)) << Log();
    std::vector<std::string> first = TempFiles();
    ASSERT_EQ(first.size(), 1u);
    // A file manager still copying the first drag's file (to a slow stick) when the user drags again.
    const ProcessResult started = RunProcess({"sh", "-c", "exec 3<\"$0\"; sleep 60 >/dev/null 2>&1 & echo $!",
                                              (tmp / first[0]).string()});
    const pid_t reader = std::stoi(started.out);
    fs::remove_all(out);
    fs::create_directories(out);
    Click(kRowX, kRow0Y);
    Drag(kRowX, kRow0Y, 850, 250);
    ASSERT_TRUE(waitFor([&] { return Log().find("copied") != std::string::npos; }, 20s)) << Log();
    EXPECT_TRUE(fs::exists(tmp / first[0])) << "the copy being read went";
    EXPECT_EQ(TempFiles().size(), 2u);
    ::kill(reader, SIGKILL); // what goes once nobody reads it: DragOutSourceTest
}
