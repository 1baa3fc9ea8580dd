// The library says nothing on stderr unless TQ9_DEBUG=1.
#include "MediaLibTestSupport.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

using namespace tq9test;

TEST(MediaLibQuiet, NothingOnStderr)
{
    if (const char* d = std::getenv("TQ9_DEBUG"); d && std::string(d) == "1")
        GTEST_SKIP() << "TQ9_DEBUG=1 asks for the log";
    const fs::path src = SynthVideoAudio();
    TempDir tmp;
    TempDir other;
    std::string bad = (other / "text.mov").string();
    WriteFile(bad, "not a movie\n");
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        // A fresh process: the library's log level is decided at its first call, here.
        ::dup2(fds[1], 2);
        ::close(fds[0]);
        RunTranscode(DeviceArgs(src, tmp / "o.mp4", DeviceOptions().Letterbox()));
        RunTranscode(FrameArgs(src, tmp / "o.thm", true, true));
        RunTranscode(AudioArgs(src, tmp / "o.mp3"));
        RunTranscode({"-i", bad});
        RunTranscode({"-i", bad, "-f", "mp4", (tmp / "x.mp4").string()});
        RunTranscode({"-i", src.string(), "-nosuch", "1", (tmp / "y.mp4").string()});
        ::_exit(0);
    }
    ::close(fds[1]);
    std::string err;
    char buf[4096];
    ssize_t n;
    while ((n = ::read(fds[0], buf, sizeof buf)) > 0)
        err.append(buf, static_cast<size_t>(n));
    ::close(fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(err, "");
    EXPECT_TRUE(fs::exists(tmp / "o.mp4"));
}
