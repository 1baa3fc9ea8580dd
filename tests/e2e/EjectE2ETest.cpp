// tq9 eject against the real disk service: a udisksd on a private system bus and an ext4 card on a loop
// device. The eject is refused while a tq9 import writes to the card and while another program holds a file
// on it, each with its reason, and then unmounts the card. Skipped without root, a loop device or udisksd.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/VolumeEject.h"
#include "support/ScratchMount.h"
#include "support/TestSupport.h"
#include "support/UDisksService.h"

using namespace tq9test;

TEST(EjectE2E, TqEjectWaitsForTheProgramsOwnJobAndOtherProgramsThenUnmountsTheCard)
{
    std::string reason = UDisksService::SkipReason();
    if (!reason.empty())
        GTEST_SKIP() << reason;
    TempDir dir;
    const std::unique_ptr<ScratchMount> card = ScratchMount::Ext4Image(96, reason);
    if (!card)
        GTEST_SKIP() << reason;
    const fs::path folder = MakeCard(card->Path(), {1}) / "TQ9_0001";
    UDisksService service(dir.Path(), card->LoopDevice());
    ASSERT_TRUE(service.Running()) << service.Log();
    const std::vector<std::string> env = {service.BusVariable(), "TMPDIR=" + dir.Path().string()};
    auto eject = [&] { return RunProcess({BinPath("tq9").string(), "eject", card->Path().string()}, env); };
    // Refused for the reason given, and the card stays mounted.
    auto expectRefused = [&](const std::string& reason) {
        const ProcessResult r = eject();
        EXPECT_EQ(r.exitCode, 3);
        EXPECT_NE(r.err.find(reason), std::string::npos) << r.err;
        EXPECT_TRUE(tq9::CVolumeEject::IsMountPoint(card->Path().string()));
    };

    // A tq9 import into the card: refused while it runs.
    const fs::path clip = SynthMedia("desktop-clip-60s.mov", {"-f", "lavfi", "-i", "testsrc=size=320x240:rate=30:duration=60",
                                                        "-c:v", "mpeg4", "-q:v", "5"});
    int errFd = -1;
    const pid_t import = SpawnProcess({BinPath("tq9").string(), "import", folder.string(), clip.string()}, env, errFd);
    std::string progress;
    ASSERT_TRUE(ReadUntil(errFd, "Converted file 0/1", progress)) << progress;
    expectRefused("A job of this program (an import, export or copy) is using " + card->Path().string());
    int status = 0;
    ::waitpid(import, &status, 0);
    ::close(errFd);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << progress;
    ASSERT_TRUE(fs::exists(folder / "desktop-clip-60s.mp4"));

    // Another program has a file open on it: the system's refusal, in the program's words.
    const int held = ::open((folder / "desktop-clip-60s.mp4").c_str(), O_RDONLY | O_CLOEXEC);
    expectRefused("the card is in use by another program");
    ::close(held);

    const ProcessResult ejected = eject();
    EXPECT_EQ(ejected.exitCode, 0) << ejected.err << service.Log();
    EXPECT_EQ(ejected.out, card->Path().string() + " can now be removed.\n");
    EXPECT_FALSE(tq9::CVolumeEject::IsMountPoint(card->Path().string()));
}
