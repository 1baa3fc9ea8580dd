// The desktop program among the desktop's own services, under Xvfb with a private session bus: a long import
// that ends while another window has the keyboard reaches a real notification daemon (dunst) once, with its
// result, and the task bar's entry is sent its progress meanwhile; a second start with a file hands it to the
// running window, which imports it (one process), over the session bus or, without one, over the socket in
// $XDG_RUNTIME_DIR; F1 shows the manual in a window of the program's own with nothing on the PATH. Skipped
// when Xvfb, xdotool, dbus-daemon or dunst is missing.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <sstream>

#include "support/TestSupport.h"
#include "support/XvfbDisplay.h"

using namespace tq9test;
using namespace std::chrono_literals;

namespace {

bool Installed(const char* program)
{
    return RunProcess({"sh", "-c", std::string("command -v ") + program}).exitCode == 0;
}

class DesktopE2E : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (const std::string reason = XvfbDisplay::SkipReason(); !reason.empty())
            GTEST_SKIP() << reason;
        for (const char* program : {"dbus-daemon", "dunst", "dunstctl"})
            if (!Installed(program))
                GTEST_SKIP() << "needs " << program << " (scripts/install-deps)";
        m_x = std::make_unique<XvfbDisplay>(m_dir.Path());
        ASSERT_FALSE(m_x->Name().empty()) << "Xvfb did not start";
        m_folder = MakeCard(m_dir / "card", {1}) / "TQ9_0001";
        fs::create_directories(m_dir / "tmp");
        fs::create_directories(m_dir / "run");
        ::chmod((m_dir / "run").c_str(), 0700);
    }

    // A session bus of the test's own.
    void StartBus()
    {
        const fs::path socket = m_dir / "bus";
        m_bus = std::make_unique<ChildProcess>(
            std::vector<std::string>{"dbus-daemon", "--session", "--nofork", "--nopidfile",
                                     "--address=unix:path=" + socket.string()},
            std::vector<std::string>{});
        ASSERT_TRUE(WaitUntil([&] { return fs::exists(socket); }, 10s)) << m_bus->Err();
        m_busAddress = "DBUS_SESSION_BUS_ADDRESS=unix:path=" + socket.string();
    }

    std::vector<std::string> Env() const
    {
        std::vector<std::string> env = {
            "DISPLAY=" + m_x->Name(), "QT_QPA_PLATFORM=xcb", "TMPDIR=" + (m_dir / "tmp").string(),
            "HOME=" + (m_dir / "home").string(), "XDG_CONFIG_HOME=" + (m_dir / "home/.config").string(),
            "XDG_RUNTIME_DIR=" + (m_dir / "run").string(), "TQ9_MOUNTS_FILE=/dev/null", "LANG=C.UTF-8",
            "LC_ALL=C.UTF-8", "TQ9_NOTIFY_AFTER_MS=0"};
        env.push_back(m_busAddress.empty() ? "DBUS_SESSION_BUS_ADDRESS=unix:path=" + (m_dir / "no-bus").string()
                                           : m_busAddress);
        return env;
    }
    std::vector<std::string> Program(const std::vector<std::string>& files) const
    {
        std::vector<std::string> argv = {BinPath("tq9-image-converter").string(), "--card-root",
                                         (m_dir / "card").string()};
        argv.insert(argv.end(), files.begin(), files.end());
        return argv;
    }
    std::string Xdo(const std::vector<std::string>& args) const
    {
        std::vector<std::string> argv = {"xdotool"};
        argv.insert(argv.end(), args.begin(), args.end());
        return RunProcess(argv, Env()).out;
    }
    // The visible windows titled title, oldest first.
    std::vector<std::string> Windows(const std::string& title) const
    {
        std::vector<std::string> ids;
        std::istringstream lines(Xdo({"search", "--onlyvisible", "--name", "^" + title + "$"}));
        for (std::string id; std::getline(lines, id);)
            if (!id.empty())
                ids.push_back(id);
        return ids;
    }
    // Waits for the import question the window asks about files handed to it, answers OK.
    void AnswerImportQuestion()
    {
        const std::string title = "TQ-9 Image Converter";
        ASSERT_TRUE(WaitUntil([&] { return Windows(title).size() >= 2 || !m_app->Running(); }, 30s) && m_app->Running())
            << m_app->Err();
        Xdo({"windowfocus", "--sync", Windows(title).back()});
        std::this_thread::sleep_for(300ms);
        Xdo({"key", "--delay", "100", "shift+Tab", "space"}); // Cancel has the focus: OK is before it

    }

    TempDir m_dir;
    std::unique_ptr<XvfbDisplay> m_x;
    std::unique_ptr<ChildProcess> m_bus;
    std::string m_busAddress;
    std::unique_ptr<ChildProcess> m_app;
    fs::path m_folder;
};

} // namespace

TEST_F(DesktopE2E, AnImportThatEndsBehindAnotherWindowIsAnnouncedOnceWithItsResult)
{
    StartBus();
    // The daemon, and a record of what it is asked to show.
    ChildProcess daemon({"dunst"}, Env());
    ChildProcess monitor({"sh", "-c",
                          "exec dbus-monitor --address \"${DBUS_SESSION_BUS_ADDRESS}\" "
                          "\"interface='org.freedesktop.Notifications',member='Notify'\" "
                          "\"interface='com.canonical.Unity.LauncherEntry'\" 1>&2"},
                         Env());
    ASSERT_TRUE(WaitUntil([&] { return RunProcess({"dunstctl", "count", "displayed"}, Env()).exitCode == 0; }, 10s))
        << daemon.Err();
    // Long enough to switch windows while it converts.
    const fs::path clip = SynthMedia("desktop-clip-60s.mov", {"-f", "lavfi", "-i", "testsrc=size=320x240:rate=30:duration=60",
                                                          "-c:v", "mpeg4", "-q:v", "5"});
    const fs::path other = BinPath("tq9-test-droptarget");
    m_app = std::make_unique<ChildProcess>(Program({clip.string()}), Env());
    ChildProcess otherWindow({other.string(), "other window", (m_dir / "tmp").string()}, Env());
    AnswerImportQuestion();
    // Another program has the keyboard while the import runs (once its progress dialog is up).
    std::this_thread::sleep_for(1s);
    ASSERT_TRUE(WaitUntil([&] { return !Windows("other window").empty(); }, 30s)) << otherWindow.Err();
    Xdo({"windowfocus", "--sync", Windows("other window").front()});

    ASSERT_TRUE(WaitUntil([&] { return fs::exists(m_folder / "desktop-clip-60s.mrk"); }, 120s)) << m_app->Err();
    ASSERT_TRUE(WaitUntil([&] { return monitor.Err().find("Converted file 1/1") != std::string::npos; }, 10s))
        << monitor.Err() << m_app->Err();
    std::this_thread::sleep_for(500ms);
    const std::string seen = monitor.Err();
    EXPECT_NE(seen.find("Converting finished successfully."), std::string::npos) << seen;
    EXPECT_NE(seen.find("\"tq9-image-converter\""), std::string::npos) << "the program's icon: " << seen;
    EXPECT_EQ(seen.find("member=Notify"), seen.rfind("member=Notify")) << "one notification: " << seen;
    // The task bar's entry showed the progress while the job ran.
    EXPECT_NE(seen.find("application://tq9-image-converter.desktop"), std::string::npos) << seen;
    EXPECT_NE(seen.find("\"progress-visible\""), std::string::npos) << seen;
    const std::string shown = RunProcess({"dunstctl", "count", "displayed"}, Env()).out;
    const std::string kept = RunProcess({"dunstctl", "count", "history"}, Env()).out;
    EXPECT_EQ(std::stoi(shown) + std::stoi(kept), 1) << "the daemon has it";
}

TEST_F(DesktopE2E, ASecondStartHandsItsFileToTheRunningWindowOverTheBusOrTheRuntimeSocket)
{
    const fs::path photo = SynthMedia("desktop-photo.jpg", {"-f", "lavfi", "-i", "testsrc=size=320x240", "-frames:v", "1"});
    for (const bool bus : {true, false}) {
        SCOPED_TRACE(bus ? "session bus" : "socket in XDG_RUNTIME_DIR");
        if (bus)
            StartBus();
        else
            m_busAddress.clear();
        const std::string name = bus ? "over-bus.jpg" : "over-socket.jpg";
        fs::copy_file(photo, m_dir / name);
        m_app = std::make_unique<ChildProcess>(Program({}), Env());
        ASSERT_TRUE(WaitUntil([&] { return Windows("TQ-9 Image Converter").size() == 1; }, 30s)) << m_app->Err();
        // A start that opened a window of its own would not end: it is stopped after 30 s.
        std::vector<std::string> start = Program({(m_dir / name).string()});
        start.insert(start.begin(), {"timeout", "30"});
        const ProcessResult second = RunProcess(start, Env());
        EXPECT_EQ(second.exitCode, 0) << second.err;
        AnswerImportQuestion();
        EXPECT_TRUE(WaitUntil([&] { return fs::exists(m_folder / fs::path(name).replace_extension(".thm")); }, 30s))
            << m_app->Err();
        EXPECT_TRUE(m_app->Running());
        EXPECT_EQ(Windows("TQ-9 Image Converter").size(), 1u) << "one window";
        m_app.reset();
        m_bus.reset();
    }
}

TEST_F(DesktopE2E, F1ShowsTheManualInTheProgramsOwnWindowWithNoBrowserOrOpener)
{
    std::vector<std::string> env = Env();
    env.push_back("PATH=" + (m_dir / "empty").string()); // no xdg-open, no browser
    m_app = std::make_unique<ChildProcess>(Program({}), env);
    ASSERT_TRUE(WaitUntil([&] { return Windows("TQ-9 Image Converter").size() == 1; }, 30s)) << m_app->Err();
    Xdo({"windowfocus", "--sync", Windows("TQ-9 Image Converter").front()});
    std::this_thread::sleep_for(300ms);
    Xdo({"key", "F1"});
    EXPECT_TRUE(WaitUntil([&] { return Windows("TQ-9 Image Converter Help").size() == 1; }, 30s)) << m_app->Err();
    EXPECT_TRUE(m_app->Running());
}
