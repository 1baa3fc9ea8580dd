// The desktop program under Xvfb driven by the keyboard alone, through Qt's own file dialogs: Ctrl+I
// imports a photo (type its path, Return) and then another from the folder the chooser remembered (type
// its name), Ctrl+A and Ctrl+E export them with a device recording, which arrives as a WMV. The window manager's part (giving a window the focus) is done with xdotool
// windowfocus; no pointer is used. Skipped when Xvfb or xdotool is missing.
#include <gtest/gtest.h>

#include "media/WmvTestMedia.h"
#include "support/FileOpTestSupport.h"
#include "support/TestSupport.h"
#include "support/XvfbDisplay.h"

using namespace tq9test;
using namespace std::chrono_literals;

namespace {

class KeyboardE2E : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (const std::string reason = XvfbDisplay::SkipReason(); !reason.empty())
            GTEST_SKIP() << reason;
        m_x = std::make_unique<XvfbDisplay>(m_dir.Path());
        ASSERT_FALSE(m_x->Name().empty()) << "Xvfb did not start";
        m_folder = MakeCard(m_dir / "card", {1, 2}) / "TQ9_0001";
    }

    std::vector<std::string> Env() const
    {
        return {"DISPLAY=" + m_x->Name(), "QT_QPA_PLATFORM=xcb", "TMPDIR=" + (m_dir / "tmp").string(),
                "HOME=" + (m_dir / "home").string(), "XDG_CONFIG_HOME=" + (m_dir / "home/.config").string(),
                "TQ9_MOUNTS_FILE=/dev/null", "LANG=C.UTF-8", "LC_ALL=C.UTF-8",
                // Qt's own file dialog, whatever the desktop's platform theme would offer.
                "TQ9_QT_FILE_DIALOG=1"};
    }
    std::string Xdo(const std::vector<std::string>& args) const
    {
        std::vector<std::string> argv = {"xdotool"};
        argv.insert(argv.end(), args.begin(), args.end());
        return RunProcess(argv, Env()).out;
    }
    // Gives the window titled title the keyboard, as a window manager would when it opens.
    void Focus(const std::string& title)
    {
        std::string id;
        ASSERT_TRUE(WaitUntil([&] {
            id = Xdo({"search", "--onlyvisible", "--name", "^" + title + "$"});
            return !id.empty() || !m_app->Running();
        }, 30s) && !id.empty())
            << title << (m_app->Running() ? " (running)" : " (ended)") << ":\n" << m_app->Err();
        id = id.substr(0, id.find('\n'));
        Xdo({"windowfocus", "--sync", id});
        std::this_thread::sleep_for(300ms);
    }
    void Keys(const std::vector<std::string>& keys)
    {
        std::vector<std::string> args = {"key", "--delay", "80"};
        args.insert(args.end(), keys.begin(), keys.end());
        Xdo(args);
        std::this_thread::sleep_for(300ms);
    }
    void Type(const std::string& text)
    {
        Xdo({"type", "--delay", "20", text});
        std::this_thread::sleep_for(300ms);
    }

    TempDir m_dir;
    std::unique_ptr<XvfbDisplay> m_x;
    std::unique_ptr<ChildProcess> m_app;
    fs::path m_folder;
};

} // namespace

TEST_F(KeyboardE2E, CtrlIImportsAPhotoAndCtrlEExportsARecordingThroughTheFileDialogs)
{
    fs::copy_file(DeviceClip(), m_folder / "clip.mp4");
    WriteFile(m_folder / "clip.thm", "t");
    WriteFile(m_folder / "clip.mrk", std::string("\0\0\0\2", 4));
    const fs::path photo = m_dir / "pictures" / "photo.jpg";
    fs::create_directories(photo.parent_path());
    const fs::path still = SynthMedia("e2e-keyboard-photo.jpg", {"-f", "lavfi", "-i", "testsrc=size=320x240", "-frames:v", "1"});
    fs::copy_file(still, photo);
    fs::copy_file(still, photo.parent_path() / "second.jpg");
    const fs::path out = m_dir / "exported";
    fs::create_directories(out);
    fs::create_directories(m_dir / "tmp");
    // The folder of the "last run": the program starts on it with the keyboard in the file list.
    fs::create_directories(m_dir / "home/.config/Zentri");
    WriteFile(m_dir / "home/.config/Zentri/TQ-9 Image Converter.conf",
              "[Window]\nfolder=" + m_folder.string() + "\n");

    m_app = std::make_unique<ChildProcess>(
        std::vector<std::string>{BinPath("tq9-image-converter").string(), "--card-root", (m_dir / "card").string()},
        Env());
    Focus("TQ-9 Image Converter");

    Keys({"ctrl+i"});
    Focus("Import");
    Type(photo.string());
    Keys({"Return"});
    ASSERT_TRUE(WaitUntil([&] { return fs::exists(m_folder / "photo.jpg") && fs::exists(m_folder / "photo.thm"); }, 30s))
        << testing::PrintToString(Names(m_folder)) << m_app->Err();
    EXPECT_TRUE(fs::exists(photo)) << "the PC file stays";

    // The chooser starts where the last file came from: the name alone is enough.
    Focus("TQ-9 Image Converter");
    Keys({"ctrl+i"});
    Focus("Import");
    Type("second.jpg");
    Keys({"Return"});
    ASSERT_TRUE(WaitUntil([&] { return fs::exists(m_folder / "second.thm"); }, 30s))
        << testing::PrintToString(Names(m_folder)) << m_app->Err();

    // Every row, then the folder chooser: type the folder, Return.
    Focus("TQ-9 Image Converter");
    Keys({"ctrl+a", "ctrl+e"});
    Focus("Export to");
    Type(out.string());
    Keys({"Return"});
    // The files land one by one through hidden staged names; wait for the finished set, not a count.
    const std::vector<std::string> exported = {"clip.wmv", "photo.jpg", "second.jpg"};
    ASSERT_TRUE(WaitUntil([&] { return Names(out) == exported; }, 60s))
        << testing::PrintToString(Names(out)) << m_app->Err();
    EXPECT_EQ(ReadFile(out / "photo.jpg"), ReadFile(m_folder / "photo.jpg"));
    EXPECT_EQ(Probe(out / "clip.wmv", "stream=codec_name", "v:0"), "codec_name=wmv2\n");
    EXPECT_EQ(Probe(out / "clip.wmv", "stream=codec_name", "a:0"), "codec_name=wmav2\n");
    // The working files went with the export.
    std::vector<std::string> left;
    for (const auto& entry : fs::recursive_directory_iterator(m_dir / "tmp"))
        if (entry.is_regular_file())
            left.push_back(entry.path().string());
    EXPECT_TRUE(left.empty()) << testing::PrintToString(left);
}
