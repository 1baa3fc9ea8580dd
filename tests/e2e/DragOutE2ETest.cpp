// A real drag out of the program's file list under Xvfb, driven with xdotool like a hand on the mouse:
// onto a drop target of the tests (one that reads the list at the drop, one that reads it while hovering),
// onto a folder of the program's own tree (duplication, no export), and cancelled with Escape while the
// export runs. Skipped when Xvfb or xdotool is missing.
#include <gtest/gtest.h>

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include "support/FileOpTestSupport.h"
#include "support/TestSupport.h"

using namespace tq9test;

namespace {

using namespace std::chrono_literals;

bool haveTool(const char* path)
{
    return ::access(path, X_OK) == 0;
}

// A child process killed (and reaped) when the object dies.
class Child {
public:
    Child(const std::vector<std::string>& argv, const std::vector<std::string>& env)
    {
        m_pid = SpawnProcess(argv, env, m_errFd);
    }
    ~Child()
    {
        if (m_pid > 0) {
            ::kill(m_pid, SIGTERM);
            int status = 0;
            ::waitpid(m_pid, &status, 0);
        }
        if (m_errFd >= 0)
            ::close(m_errFd);
    }
    bool Running() const { return m_pid > 0 && ::waitpid(m_pid, nullptr, WNOHANG) == 0; }
    pid_t Pid() const { return m_pid; }

private:
    pid_t m_pid = -1;
    int m_errFd = -1;
};

template <typename Pred>
bool waitFor(Pred pred, std::chrono::milliseconds limit)
{
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!pred()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(50ms);
    }
    return true;
}

class DragOutE2E : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!haveTool("/usr/bin/Xvfb") || !haveTool("/usr/bin/xdotool"))
            GTEST_SKIP() << "needs Xvfb and xdotool (scripts/install-deps)";
        // Another X server may take the display between our look and our start; the lock file names the
        // server that won, so try the next display until it is ours.
        for (int n = 90 + ::getpid() % 50, tries = 0; tries < 20; ++n, ++tries) {
            const std::string lock = "/tmp/.X" + std::to_string(n) + "-lock";
            if (fs::exists("/tmp/.X11-unix/X" + std::to_string(n)) || fs::exists(lock))
                continue;
            m_display = ":" + std::to_string(n);
            m_x = std::make_unique<Child>(
                std::vector<std::string>{"Xvfb", m_display, "-screen", "0", "1280x900x24", "-nolisten", "tcp"},
                std::vector<std::string>{});
            const bool ours = waitFor([&] {
                if (!m_x->Running())
                    return true;
                std::ifstream in(lock);
                pid_t owner = 0;
                return (in >> owner) && owner == m_x->Pid() && fs::exists("/tmp/.X11-unix/X" + std::to_string(n));
            }, 20s) && m_x->Running();
            if (ours)
                break;
            m_x.reset();
        }
        ASSERT_TRUE(m_x) << "no free X display";
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
        return {"DISPLAY=" + m_display, "QT_QPA_PLATFORM=xcb", "TMPDIR=" + tmp.string(), "HOME=" + (dir / "home").string(),
                "XDG_CONFIG_HOME=" + (dir / "home/.config").string(), "LANG=C.UTF-8", "LC_ALL=C.UTF-8"};
    }
    std::string Xdo(const std::vector<std::string>& args) const
    {
        std::vector<std::string> argv = {"xdotool"};
        argv.insert(argv.end(), args.begin(), args.end());
        return RunProcess(argv, Env()).out;
    }
    // Waits for a window and puts it at (x, y) with the given size.
    void Place(const std::string& title, int x, int y, int w, int h)
    {
        std::string id;
        ASSERT_TRUE(waitFor([&] {
            id = Xdo({"search", "--name", title});
            return !id.empty();
        }, 40s)) << title;
        id = id.substr(0, id.find('\n'));
        Xdo({"windowmove", id, std::to_string(x), std::to_string(y)});
        Xdo({"windowsize", id, std::to_string(w), std::to_string(h)});
        std::this_thread::sleep_for(300ms);
    }
    void StartProgram()
    {
        m_app = std::make_unique<Child>(std::vector<std::string>{BinPath("tq9-image-converter").string(), "--card-root",
                                                                 (dir / "card").string()},
                                        Env());
        Place("TQ-9 Image Converter", 0, 0, 600, 400);
    }
    void StartTarget(bool peek)
    {
        std::vector<std::string> argv = {BinPath("tq9-test-droptarget").string(), "drop target", out.string()};
        if (peek)
            argv.push_back("--peek");
        m_target = std::make_unique<Child>(argv, Env());
        Place("drop target", 700, 100, 300, 300);
    }
    void Click(int x, int y)
    {
        Xdo({"mousemove", std::to_string(x), std::to_string(y), "click", "1"});
        std::this_thread::sleep_for(300ms);
    }
    // Press on (x0, y0), move in steps of about 20 px to (x1, y1), hover, release.
    void Drag(int x0, int y0, int x1, int y1)
    {
        Xdo({"mousemove", std::to_string(x0), std::to_string(y0), "mousedown", "1"});
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
    // Files of the temporary folder, recursively.
    std::vector<std::string> TempFiles() const
    {
        std::vector<std::string> files;
        for (const auto& e : fs::recursive_directory_iterator(tmp))
            if (e.is_regular_file())
                files.push_back(fs::relative(e.path(), tmp).string());
        return files;
    }

    // The window's layout at 600x400: the tree's folders below the card's node, the list's first row.
    static constexpr int kTreeX = 95, kTreeFolder1Y = 93, kTreeFolder2Y = 111, kRowX = 260, kRow0Y = 101;

    TempDir dir;
    fs::path tmp, out, folder, other;
    std::string m_display;
    std::unique_ptr<Child> m_x, m_app, m_target;
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
    // The copies of the earlier drags are gone; the last one's stays for its target.
    EXPECT_EQ(TempFiles().size(), 1u);
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

    ASSERT_TRUE(waitFor([&] { return fs::exists(other / "clip.mrk") && fs::file_size(other / "clip.mp4") == 5000; }, 15s));
    EXPECT_EQ(Names(other), (std::vector<std::string>{"clip.mp4", "clip.mrk", "clip.thm"}));
    EXPECT_TRUE(TempFiles().empty());
}

TEST_F(DragOutE2E, EscapeDuringTheExportCancelsTheDragAndLeavesNothing)
{
    // Big enough that the copy is still running when Escape arrives.
    {
        std::ofstream big(folder / "big.avi", std::ios::binary);
        const std::string block = Blob(1 << 20, 9);
        for (int i = 0; i < 150; ++i)
            big << block;
    }
    StartProgram();
    StartTarget(false);
    Click(kTreeX, kTreeFolder1Y);
    Click(kRowX, kRow0Y);
    Drag(kRowX, kRow0Y, 850, 250);
    std::this_thread::sleep_for(300ms);
    Xdo({"key", "Escape"});

    EXPECT_TRUE(waitFor([&] { return TempFiles().empty(); }, 15s));
    std::this_thread::sleep_for(1s);
    EXPECT_EQ(Log(), "");
    EXPECT_TRUE(TempFiles().empty());
}
