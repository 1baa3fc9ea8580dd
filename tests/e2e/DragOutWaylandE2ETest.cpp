// A real drag out of the program's file list on native Wayland: sway nested in Xvfb (its X11 backend, so
// xdotool on the outer display moves sway's pointer), the program on Qt's Wayland plug-in, and the GTK 4
// and Qt drop targets of the tests as Wayland clients, all as user nobody (sway refuses root). The button
// goes up within a second of the press, while the recording's export still runs: the target's request for
// the list waits until the WMV is finished, so it arrives whole; Escape during that wait hands over
// nothing. Skipped unless run as root with sway, setpriv and Qt's Wayland plug-in.
#include <gtest/gtest.h>

#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <sstream>
#include <thread>

#include "support/FileOpTestSupport.h"
#include "support/TestSupport.h"
#include "support/XvfbDisplay.h"

using namespace tq9test;
using namespace std::chrono_literals;

namespace {

constexpr uid_t kNobody = 65534;

class DragOutWaylandE2E : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (const std::string reason = XvfbDisplay::SkipReason(); !reason.empty())
            GTEST_SKIP() << reason;
        if (::geteuid() != 0 || ::access("/usr/bin/sway", X_OK) != 0 || ::access("/usr/bin/setpriv", X_OK) != 0 ||
            !fs::exists("/usr/lib/x86_64-linux-gnu/qt6/plugins/platforms/libqwayland-generic.so"))
            GTEST_SKIP() << "needs root (to run as nobody), sway, setpriv and qt6-wayland";
        fs::permissions(dir.Path(), fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
        for (const char* name : {"run", "tmp", "home", "out"}) {
            fs::create_directories(dir / name);
            fs::permissions(dir / name, fs::perms::owner_all);
            ASSERT_EQ(::chown((dir / name).c_str(), kNobody, kNobody), 0);
        }
        folder = MakeCard(dir / "card", {1}) / "TQ9_0001";
        m_x = std::make_unique<XvfbDisplay>(dir.Path());
        ASSERT_FALSE(m_x->Name().empty()) << "Xvfb did not start";
        WriteFile(dir / "sway.conf", "xwayland disable\n"
                                     "default_border none\n"
                                     "default_floating_border none\n"
                                     "focus_follows_mouse no\n"
                                     "for_window [title=\"^drop target$\"] floating enable, resize set 300 300, "
                                     "move position 700 100\n"
                                     "for_window [app_id=\"tq9-image-converter\"] floating enable, resize set 600 400, "
                                     "move position 0 0\n");
        m_sway = Start({"sway", "-c", (dir / "sway.conf").string()},
                       {"DISPLAY=" + m_x->Name(), "WLR_BACKENDS=x11", "WLR_RENDERER=pixman", "WLR_X11_OUTPUTS=1"});
        ASSERT_TRUE(WaitUntil([&] { return fs::exists(dir / "run/wayland-1") || !m_sway->Running(); }, 30s) &&
                    m_sway->Running())
            << m_sway->Err();
    }

    // A device recording of the given length. 60 s converts in 1.1 s on an idle machine and in several at a
    // load of 12, so its export outlasts the drag; 180 s is still running once the dialog is up, and a
    // second after the drop.
    void PutRecording(int seconds)
    {
        const std::string length = std::to_string(seconds);
        fs::copy_file(SynthMedia("drag-" + length + "s.mp4",
                                 {"-f", "lavfi", "-i", "testsrc=size=720x480:rate=30000/1001:duration=" + length, "-f",
                                  "lavfi", "-i", "sine=sample_rate=48000:duration=" + length, "-c:v", "mpeg4", "-q:v",
                                  "2", "-c:a", "libmp3lame", "-shortest"}),
                      folder / "long.mp4");
    }
    // Runs argv as nobody with a clean environment: its own runtime folder, and env.
    std::unique_ptr<ChildProcess> Start(std::vector<std::string> argv, const std::vector<std::string>& env) const
    {
        std::vector<std::string> all = {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "--", "env",
                                        "-i", "PATH=/usr/bin:/bin", "HOME=" + (dir / "home").string(),
                                        "XDG_RUNTIME_DIR=" + (dir / "run").string(), "WAYLAND_DISPLAY=wayland-1",
                                        "LANG=C.UTF-8", "TMPDIR=" + (dir / "tmp").string()};
        all.insert(all.end(), env.begin(), env.end());
        all.insert(all.end(), argv.begin(), argv.end());
        return std::make_unique<ChildProcess>(all, std::vector<std::string>{});
    }
    // The rectangles and titles ("x y w h title", a line each) sway gives the windows of client, "" until one is mapped.
    std::string Rects(const ChildProcess& client) const
    {
        const std::string socket = [&] {
            for (const auto& e : fs::directory_iterator(dir / "run"))
                if (e.path().filename().string().rfind("sway-ipc.", 0) == 0)
                    return e.path().string();
            return std::string();
        }();
        const ProcessResult tree = RunProcess({"swaymsg", "-s", socket, "-t", "get_tree", "-r"});
        const ProcessResult rect = RunProcess(
            {"/usr/bin/python3", "-c",
             "import json, sys\n"
             "def walk(n):\n"
             "    if n.get('pid') == int(sys.argv[1]) and n.get('visible'):\n"
             "        r = n['rect']; print(r['x'], r['y'], r['width'], r['height'], n.get('name'))\n"
             "    for c in n.get('nodes', []) + n.get('floating_nodes', []): walk(c)\n"
             "walk(json.loads(sys.argv[2]))\n",
             std::to_string(client.Pid()), tree.out});
        return rect.out;
    }
    // Waits for client's window at (x, y) (the sway rules place it).
    void AwaitWindow(const ChildProcess& client, int x, int y)
    {
        std::string rect;
        ASSERT_TRUE(WaitUntil([&] {
            rect = Rects(client);
            return rect.rfind(std::to_string(x) + " " + std::to_string(y) + " ", 0) == 0 || !client.Running();
        }, 30s) && client.Running()) << rect << client.Err() << m_sway->Err();
        std::this_thread::sleep_for(300ms);
    }
    // Waits for a window of the program whose title holds title.
    bool AwaitProgramWindow(const std::string& title)
    {
        return WaitUntil([&] { return Rects(*m_app).find(title) != std::string::npos; }, 30s);
    }
    void StartProgram()
    {
        m_app = Start({BinPath("tq9-image-converter").string(), "--card-root", (dir / "card").string()},
                      {"QT_QPA_PLATFORM=wayland", "TQ9_DEBUG=1", "TQ9_MOUNTS_FILE=/dev/null", "TQ9_DRAG_GRACE_SECONDS=0",
                       "XDG_CONFIG_HOME=" + (dir / "home/.config").string()});
        AwaitWindow(*m_app, 0, 0);
        Xdo({"mousemove", "95", "93", "click", "1"}); // the card's folder in the tree
        std::this_thread::sleep_for(300ms);
    }
    void StartTarget(bool gtk, const std::string& option = "")
    {
        std::vector<std::string> all =
            gtk ? std::vector<std::string>{"/usr/bin/python3", TQ9_SOURCE_DIR "/tests/droptarget/gtk4-droptarget.py"}
                : std::vector<std::string>{BinPath("tq9-test-droptarget").string()};
        all.insert(all.end(), {"drop target", (dir / "out").string()});
        if (!option.empty())
            all.push_back(option);
        m_target = Start(all, {"GDK_BACKEND=wayland", "GSK_RENDERER=cairo", "NO_AT_BRIDGE=1", "GTK_A11Y=none",
                               "QT_QPA_PLATFORM=wayland"});
        AwaitWindow(*m_target, 700, 100);
    }
    std::string Xdo(const std::vector<std::string>& args) const
    {
        std::vector<std::string> argv = {"xdotool"};
        argv.insert(argv.end(), args.begin(), args.end());
        return RunProcess(argv, {"DISPLAY=" + m_x->Name()}).out;
    }
    // Presses on the list's first row, moves onto the target in steps and lets go, within a second: one
    // xdotool run, so the steps keep their pace on a busy machine.
    std::chrono::steady_clock::duration DragRowToTarget()
    {
        std::vector<std::string> steps = {"mousemove", "260", "101", "mousedown", "1"};
        for (int x = 280; x <= 840; x += 40)
            steps.insert(steps.end(), {"sleep", "0.02", "mousemove", std::to_string(x), std::to_string(101 + (x - 260) / 4)});
        steps.insert(steps.end(), {"sleep", "0.2", "mouseup", "1"});
        const auto start = std::chrono::steady_clock::now();
        Xdo(steps);
        return std::chrono::steady_clock::now() - start;
    }
    // Waits for the program's second window (a dialog) to be up, with the keyboard.
    bool AwaitDialog()
    {
        const bool up = WaitUntil([&] {
            const std::string rects = Rects(*m_app);
            return std::count(rects.begin(), rects.end(), '\n') == 2;
        }, 10s);
        std::this_thread::sleep_for(300ms);
        return up;
    }
    // The file is the whole recording: as long, and it decodes from end to end without a word from the decoder.
    static void ExpectWhole(const fs::path& file, double seconds)
    {
        const ProcessResult r = RunProcess({"ffmpeg", "-nostdin", "-v", "error", "-i", file.string(), "-f", "null", "-"});
        EXPECT_TRUE(r.exitCode == 0 && r.err.empty()) << file << ": " << r.err;
        const std::string duration = Probe(file, "format=duration");
        EXPECT_NEAR(duration.size() > 9 ? std::stod(duration.substr(9)) : 0, seconds, 0.2) << duration;
    }
    std::string Log() const { return fs::exists(dir / "out/log") ? ReadFile(dir / "out/log") : std::string(); }
    bool TempEmpty() const { return fs::is_empty(dir / "tmp"); }
    // Ends the program the way a desktop session does: it must remove its drag copies on the way out.
    void QuitProgram()
    {
        ::kill(m_app->Pid(), SIGTERM);
        EXPECT_TRUE(WaitUntil([&] { return !m_app->Running(); }, 20s));
        EXPECT_TRUE(TempEmpty()) << testing::PrintToString(Names(dir / "tmp"));
    }

    TempDir dir;
    fs::path folder;
    std::unique_ptr<XvfbDisplay> m_x;
    std::unique_ptr<ChildProcess> m_sway, m_app, m_target;
};

} // namespace

TEST_F(DragOutWaylandE2E, ARecordingReleasedAtOnceArrivesWholeAtGtkAndQtTargets)
{
    PutRecording(60);
    StartProgram();
    for (bool gtk : {true, false}) {
        SCOPED_TRACE(gtk ? "GTK 4 target" : "Qt target");
        fs::remove_all(dir / "out/long.wmv");
        fs::remove_all(dir / "out/log");
        StartTarget(gtk);
        EXPECT_LT(DragRowToTarget(), 1s);
        ASSERT_TRUE(WaitUntil([&] { return Log().find("copied") != std::string::npos; }, 60s))
            << Log() << m_app->Err() << m_target->Err();
        // The request waited for the export: the button went up long before it could end.
        EXPECT_NE(m_app->Err().find("answered 1 held list request"), std::string::npos) << m_app->Err();
        const fs::path wmv = dir / "out/long.wmv";
        EXPECT_EQ(Log(), "drop 1\ncopied long.wmv " + std::to_string(fs::file_size(wmv)) + "\n");
        ExpectWhole(wmv, 60);
        m_target.reset();
    }
    QuitProgram();
}

TEST_F(DragOutWaylandE2E, EscapeWhileTheTargetWaitsHandsOverNothing)
{
    PutRecording(180);
    StartProgram();
    StartTarget(true);
    DragRowToTarget();
    // The target's request is held: the progress dialog comes up and takes the keyboard.
    ASSERT_TRUE(WaitUntil([&] { return m_app->Err().find("list request held") != std::string::npos; }, 10s))
        << m_app->Err();
    ASSERT_TRUE(AwaitDialog()) << Rects(*m_app);
    Xdo({"key", "Escape"});

    ASSERT_TRUE(WaitUntil([&] { return m_app->Err().find("answered") != std::string::npos; }, 20s))
        << m_app->Err();
    EXPECT_TRUE(WaitUntil([&] { return TempEmpty(); }, 15s)) << testing::PrintToString(Names(dir / "tmp"));
    std::this_thread::sleep_for(1s);
    EXPECT_EQ(Log().find("copied"), std::string::npos) << Log() << m_app->Err();
    EXPECT_FALSE(fs::exists(dir / "out/long.wmv"));
}

TEST_F(DragOutWaylandE2E, ATargetThatStopsWaitingGetsNothingAndTheUserKeepsTheFiles)
{
    // A target with a time limit of a second, far shorter than the export.
    PutRecording(180);
    StartProgram();
    StartTarget(true, "--give-up");
    DragRowToTarget();
    ASSERT_TRUE(WaitUntil([&] { return Log() == "gave up\n"; }, 20s)) << Log() << m_target->Err();

    // Once the export has ended the program says so, then asks for a folder as File > Export does.
    ASSERT_TRUE(WaitUntil([&] { return m_app->Err().find("the target stopped waiting after ") != std::string::npos; },
                          60s)) << m_app->Err();
    ASSERT_TRUE(AwaitDialog()) << Rects(*m_app);
    Xdo({"key", "Return"});
    ASSERT_TRUE(AwaitProgramWindow("Export to")) << Rects(*m_app);
    const fs::path kept = dir / "kept";
    fs::create_directories(kept);
    ASSERT_EQ(::chown(kept.c_str(), kNobody, kNobody), 0);
    std::this_thread::sleep_for(300ms);
    Xdo({"type", "--delay", "20", kept.string()});
    Xdo({"key", "Return"});

    ASSERT_TRUE(WaitUntil([&] { return fs::exists(kept / "long.wmv"); }, 20s)) << m_app->Err();
    ExpectWhole(kept / "long.wmv", 180);
    EXPECT_FALSE(fs::exists(dir / "out/long.wmv"));
    QuitProgram();
}
