// tq9 export through the real media library: a device recording becomes a WMV that a player reads whole,
// and Ctrl-C in the middle leaves nothing behind.
#include <gtest/gtest.h>

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "media/WmvTestMedia.h"
#include "support/FileOpTestSupport.h"
#include "support/ScratchMount.h"
#include "support/TestSupport.h"

using namespace tq9test;

namespace {

struct ExportE2E : ::testing::Test {
    TempDir root;
    fs::path folder = MakeCard(root.Path(), {1}) / "TQ9_0001";
    fs::path out = root / "out";
    fs::path tmp = root / "tmp";
    void SetUp() override
    {
        fs::create_directories(out);
        fs::create_directories(tmp);
    }
    std::vector<std::string> Command(const std::string& file) const
    {
        return {BinPath("tq9").string(), "export", "--to", out.string(), file};
    }
    std::vector<std::string> Env() const { return {"TMPDIR=" + tmp.string()}; }
};

double Seconds(const std::string& probe, const std::string& key)
{
    const size_t at = probe.find(key + "=");
    return at == std::string::npos ? -1 : std::stod(probe.substr(at + key.size() + 1));
}

// Marks the cluster of a FAT16 image that holds bytes (found by content, cluster-aligned) as bad in every
// FAT, so a read of the file that reaches it fails as a damaged card's does.
bool MarkClusterBad(const fs::path& image, const std::string& bytes)
{
    std::string disk = ReadFile(image);
    auto u16 = [&](size_t at) { return size_t(uint8_t(disk[at])) | size_t(uint8_t(disk[at + 1])) << 8; };
    if (disk.compare(54, 5, "FAT16") != 0)
        return false;
    const size_t sector = u16(11), cluster = uint8_t(disk[13]) * sector, reserved = u16(14), fats = uint8_t(disk[16]);
    const size_t fatSectors = u16(22), data = (reserved + fats * fatSectors) * sector + u16(17) * 32;
    const size_t at = disk.find(bytes, data);
    if (at == std::string::npos || (at - data) % cluster != 0)
        return false;
    for (size_t k = 0; k < fats; ++k) {
        const size_t entry = (reserved + k * fatSectors) * sector + 2 * ((at - data) / cluster + 2);
        disk[entry] = char(0xF7);
        disk[entry + 1] = char(0xFF);
    }
    WriteFile(image, disk);
    return true;
}

} // namespace

TEST_F(ExportE2E, DeviceRecordingBecomesAWmvThatDecodesWhole)
{
    fs::copy_file(DeviceClip(), folder / "clip.mp4");
    const ProcessResult r = RunProcess(Command((folder / "clip.mp4").string()), Env());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const fs::path wmv = out / "clip.wmv";
    EXPECT_EQ(r.out, wmv.string() + "\n");
    EXPECT_TRUE(Names(tmp).empty());

    EXPECT_EQ(Probe(wmv, "format=format_name"), "format_name=asf\n");
    EXPECT_EQ(Probe(wmv, "stream=codec_name,width,height", "v:0"), "codec_name=wmv2\nwidth=160\nheight=120\n");
    EXPECT_EQ(Probe(wmv, "stream=codec_name,sample_rate,bit_rate", "a:0"),
              "codec_name=wmav2\nsample_rate=48000\nbit_rate=128016\n");
    const double source = Seconds(Probe(DeviceClip(), "format=duration"), "duration");
    // The file starts at 0 with the sound encoder's priming frame (43 ms at 48 kHz) and the pictures as
    // far in; it runs to the end of the sound's last frame, which the encoder's delay puts as far past the
    // source's end (ASF has no length of each stream's own).
    EXPECT_EQ(Probe(wmv, "stream=start_time", "v:0"), "start_time=0.043000\n");
    EXPECT_NEAR(Seconds(Probe(wmv, "format=duration"), "duration"), source + 2 * 0.043, 0.01);

    const ProcessResult frames = RunProcess({"ffprobe", "-v", "error", "-count_frames", "-select_streams", "v:0",
                                             "-show_entries", "stream=nb_read_frames", "-of", "csv=p=0", wmv.string()});
    EXPECT_EQ(frames.out, "50\n");

    // A player decodes every picture and every sound packet without a complaint.
    const ProcessResult decode =
        RunProcess({"ffmpeg", "-nostdin", "-v", "error", "-i", wmv.string(), "-f", "null", "-"});
    EXPECT_EQ(decode.exitCode, 0);
    EXPECT_EQ(decode.err, "");
}

TEST_F(ExportE2E, AFolderThatCannotBeWrittenIsRefusedBeforeAnyWork)
{
    TQ9_MOUNT_OR_SKIP(readOnly, Tmpfs("1m", why));
    ASSERT_TRUE(readOnly->Remount("ro"));
    fs::copy_file(DeviceClip(), folder / "clip.mp4");
    const ProcessResult r = RunProcess(
        {BinPath("tq9").string(), "export", "--to", readOnly->Path().string(), (folder / "clip.mp4").string()}, Env());
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_NE(r.err.find("cannot write into the folder (Read-only file system)"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("Converting"), std::string::npos) << "nothing was converted first: " << r.err;
    EXPECT_TRUE(Names(tmp).empty());
}

TEST_F(ExportE2E, WmvShowsThePictureAtTheRecordingsShapeAndRate)
{
    // What three independent readers make of the shape and the frame rate: FFmpeg, MediaInfo and GStreamer.
    const struct {
        std::string sar, dar, name;
    } cases[] = {{"8/9", "4:3", "narrow"}, {"32/27", "16:9", "wide"}};
    for (const auto& c : cases) {
        fs::copy_file(ShapedDeviceClip(c.sar), folder / (c.name + ".mp4"));
        const ProcessResult r = RunProcess(Command((folder / (c.name + ".mp4")).string()), Env());
        ASSERT_EQ(r.exitCode, 0) << r.err;
        const fs::path wmv = out / (c.name + ".wmv");
        EXPECT_EQ(Probe(wmv, "stream=sample_aspect_ratio,display_aspect_ratio", "v:0"),
                  "sample_aspect_ratio=" + std::string(c.sar).replace(c.sar.find('/'), 1, ":") +
                      "\ndisplay_aspect_ratio=" + c.dar + "\n");
        EXPECT_EQ(Probe(wmv, "stream=r_frame_rate", "v:0"), "r_frame_rate=30000/1001\n");
        const ProcessResult info = RunProcess(
            {"mediainfo", "--Inform=Video;%DisplayAspectRatio/String% %FrameRate% %Language%", wmv.string()});
        EXPECT_EQ(info.out, c.dar + " 29.970 \n") << c.name; // no language claimed
        const ProcessResult gst = RunProcess({"gst-discoverer-1.0", "-v", wmv.string()});
        EXPECT_NE(gst.out.find("pixel-aspect-ratio=(fraction)" + c.sar), std::string::npos) << gst.out;
        EXPECT_NE(gst.out.find("framerate=(fraction)10000000/333667"), std::string::npos) << gst.out;
    }
}

TEST_F(ExportE2E, MonoSoundAt32kHzBecomesStereoAt44100Hz)
{
    fs::copy_file(MonoDeviceClip(), folder / "mono.mp4");
    const ProcessResult r = RunProcess(Command((folder / "mono.mp4").string()), Env());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const fs::path wmv = out / "mono.wmv";
    EXPECT_EQ(Probe(wmv, "stream=codec_name,sample_rate,channels", "a:0"),
              "codec_name=wmav2\nsample_rate=44100\nchannels=2\n");
    EXPECT_NEAR(Seconds(Probe(wmv, "stream=duration", "a:0"), "duration"), 1.0, 0.05);
}

TEST_F(ExportE2E, CtrlCLeavesNothingInTheFolderOrTheTemporaryFolder)
{
    fs::copy_file(LongDeviceClip(), folder / "long.mp4");
    int errFd = -1;
    const pid_t pid = SpawnProcess(Command((folder / "long.mp4").string()), Env(), errFd);
    ASSERT_GT(pid, 0);

    // Interrupt once the conversion reports progress.
    const auto [err, sent, status] = InterruptWhenSeen(pid, errFd, "Converting ");

    ASSERT_TRUE(sent) << err;
    ASSERT_TRUE(WIFEXITED(status)) << "the signal cancels, it does not kill";
    EXPECT_EQ(WEXITSTATUS(status), 1) << err;
    EXPECT_TRUE(Names(out).empty());
    EXPECT_TRUE(Names(tmp).empty());
}

TEST_F(ExportE2E, RecordingCutShortSaysItEndedEarly)
{
    CutCopy(LongDeviceClip(), 50, folder / "flat.mp4");
    WriteFile(folder / "flat.mrk", std::string("\0\0\0\xc8", 4)); // 200 s, as the device wrote it
    const ProcessResult r = RunProcess(Command((folder / "flat.mp4").string()), Env());
    // What there is of it arrives, and the file is named with the reason: some files failed.
    EXPECT_EQ(r.exitCode, 4) << r.err;
    EXPECT_EQ(r.out, (out / "flat.wmv").string() + "\n");
    EXPECT_NE(r.err.find((folder / "flat.mp4").string() + ": The recording ended early."), std::string::npos) << r.err;
    // Handed over, so the progress ends without the failure text (as the window's dialog does).
    EXPECT_NE(r.err.find("Converted file 1/1  Converting finished; a recording ended early.\n"), std::string::npos)
        << r.err;
    EXPECT_EQ(r.err.find("Converting failed."), std::string::npos) << r.err;

    // Beside a file left out, the run failed in part.
    WriteFile(folder / "junk.mp4", "not media");
    std::vector<std::string> both = Command((folder / "flat.mp4").string());
    both.push_back((folder / "junk.mp4").string());
    const ProcessResult mixed = RunProcess(both, Env());
    EXPECT_EQ(mixed.exitCode, 4) << mixed.err;
    EXPECT_NE(mixed.err.find("Converted file 2/2  Converting failed.\n"), std::string::npos) << mixed.err;
}

TEST_F(ExportE2E, ARecordingOnADamagedCardSaysTheReadFailed)
{
    TQ9_MOUNT_OR_SKIP(card, FatImage(32, why));
    const fs::path clip = MakeCard(card->Path(), {1}) / "TQ9_0001" / "clip.mp4";
    const std::string bytes = ReadFile(LongDeviceClip());
    WriteFile(clip, bytes); // fusefat has no copy_file_range
    // A bad cluster halfway: the recording opens and its first half decodes, then the card's reads fail.
    const std::string halfway = bytes.substr(bytes.size() / 2 / 4096 * 4096, 512);
    ASSERT_TRUE(card->ChangeFatImage([&](const fs::path& image) { return MarkClusterBad(image, halfway); }));

    const ProcessResult r = RunProcess(Command(clip.string()), Env());

    EXPECT_EQ(r.exitCode, 3) << r.err; // nothing exported
    EXPECT_NE(r.err.find(clip.string() + ": The recording could not be read to its end."), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("room"), std::string::npos) << r.err;
    EXPECT_TRUE(Names(out).empty());
    EXPECT_TRUE(Names(tmp).empty());
}

TEST_F(ExportE2E, AKilledExportsWorkingFilesGoAtTheNextStartOfTq9)
{
    fs::copy_file(LongDeviceClip(), folder / "long.mp4");
    int errFd = -1;
    const pid_t pid = SpawnProcess(Command((folder / "long.mp4").string()), Env(), errFd);
    ASSERT_GT(pid, 0);
    std::string err;
    ASSERT_TRUE(ReadUntil(errFd, "Converting ", err)) << err;
    ::kill(pid, SIGKILL);
    int status = 0;
    ::waitpid(pid, &status, 0);
    ::close(errFd);

    // What the killed run left is in a folder of its own, under no name a user would take for a result.
    const std::vector<std::string> left = Names(tmp);
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(left[0].rfind("tq9-work-", 0), 0u) << left[0];
    EXPECT_TRUE(Names(out).empty());

    const ProcessResult next = RunProcess({BinPath("tq9").string(), "cards"}, Env());
    EXPECT_TRUE(Names(tmp).empty()) << next.err;
}
