// Every kind of file the program writes, played to its end by the players people open them with: VLC,
// mpv and GStreamer. None may stop early, skip a picture or complain. (ffprobe, MediaInfo and GStreamer's
// discoverer, which the other tests ask, tolerate what VLC does not.)
#include <gtest/gtest.h>

#include <cstdio>
#include <iostream>
#include <sstream>

#include "media/WmvTestMedia.h"
#include "support/AsfPackets.h"
#include "support/Players.h"
#include "support/TestSupport.h"

using namespace tq9test;

namespace {

struct Output {
    fs::path file;
    double seconds = 0; // the file's length; a still is shown for Players::kStillSeconds
    bool still = false, sound = false, pictures = false;
    int videoPackets = 0;
    double lastPicture = 0; // when the last picture is shown
    bool interlaced = false;  // GStreamer shows such video a field at a time, so twice the pictures
};

Output Describe(const fs::path& file)
{
    Output o;
    o.file = file;
    const std::string ext = file.extension().string();
    o.still = ext == ".jpg" || ext == ".bmp" || ext == ".thm";
    o.sound = Probe(file, "stream=codec_type", "a:0") == "codec_type=audio\n";
    if (o.still) {
        o.pictures = true;
        return o;
    }
    const std::string duration = Probe(file, "format=duration");
    o.seconds = duration.size() > 9 ? std::stod(duration.substr(9)) : 0;
    const ProcessResult packets = RunProcess({"ffprobe", "-v", "error", "-select_streams", "v:0", "-show_entries",
                                              "packet=pts_time", "-of", "csv=p=0", file.string()});
    std::istringstream in(packets.out);
    for (std::string line; std::getline(in, line); ++o.videoPackets)
        o.lastPicture = std::max(o.lastPicture, std::stod(line));
    o.pictures = o.videoPackets > 0;
    o.interlaced = RunProcess({"ffprobe", "-v", "error", "-select_streams", "v:0", "-read_intervals", "%+#1",
                               "-show_entries", "frame=interlaced_frame", "-of", "csv=p=0", file.string()})
                       .out == "1\n";
    return o;
}

// What each player must have done with the file: reached its end by itself, said nothing of an error,
// skipped nothing, and played it to its end, as far as each player's way of telling allows: VLC's clock
// and mpv's playback time reach the last picture; without pictures, the sound VLC put out (it leaves out
// a WMA file's first two frames, as of the ffmpeg tool's WMVs) and mpv's time (its null output holds half
// a second when the file ends); GStreamer's last picture or sound.
void ExpectPlayedWhole(const Playback& p, const Output& o)
{
    SCOPED_TRACE(p.player + " said:\n" + p.log);
    EXPECT_TRUE(p.ended);
    EXPECT_TRUE(p.errors.empty()) << p.errors.front();
    EXPECT_EQ(p.skipped, 0);
    if (o.still) {
        if (p.player == "GStreamer") {
            EXPECT_EQ(p.pictures, 1);
        } else {
            EXPECT_NEAR(p.playedSeconds, Players::kStillSeconds, 0.15);
        }
        return;
    }
    if (p.player == "GStreamer" && o.pictures) {
        EXPECT_EQ(p.pictures, o.videoPackets * (o.interlaced ? 2 : 1));
    }
    if (p.player == "VLC" && o.sound) {
        EXPECT_GE(p.soundSeconds, o.seconds - 0.25);
    }
    if (p.player == "VLC" && !o.pictures)
        return; // without pictures VLC's clock is not the sound's
    // VLC's input ends when its last picture is handed to the output, up to a picture before it is shown.
    const double reached = o.pictures ? o.lastPicture - (p.player == "VLC" ? 0.25 : 0.1)
                                      : o.seconds - (p.player == "mpv" ? 0.6 : 0.05);
    EXPECT_GE(p.playedSeconds, reached);
    EXPECT_LE(p.playedSeconds, o.seconds + 0.5);
}

} // namespace

TEST(PlayerMatrixE2E, EveryOutputPlaysToItsEndInVlcMpvAndGStreamer)
{
    TempDir dir;
    const fs::path device = MakeCard(dir / "root", {1, 2, 3});
    const fs::path ntsc = device / "TQ9_0001", pal = device / "TQ9_0002", recordings = device / "TQ9_0003";
    const fs::path pc = dir / "pc", out = dir / "out";
    fs::create_directories(pc);
    fs::create_directories(out);
    const auto put = [&](const fs::path& cached, const fs::path& to) {
        fs::copy_file(cached, to);
        return to.string();
    };
    const std::string clip = put(SynthMedia("pm-clip.mov", {"-f", "lavfi", "-i", "testsrc=size=160x120:rate=25:duration=1.5",
                                                            "-f", "lavfi", "-i", "sine=frequency=440:duration=1.5",
                                                            "-c:v", "libx264", "-preset", "ultrafast", "-c:a", "aac",
                                                            "-shortest"}),
                                 pc / "clip.mov");
    const std::string mute = put(ClipWithoutAudio(), pc / "mute.mp4");
    const std::string tone =
        put(SynthMedia("pm-tone.wav", {"-f", "lavfi", "-i", "sine=frequency=440:duration=1.5"}), pc / "tone.wav");
    const std::string photo =
        put(SynthMedia("pm-photo.png", {"-f", "lavfi", "-i", "testsrc=size=160x120", "-frames:v", "1"}), pc / "photo.png");
    const std::string paint = put(SynthMedia("pm-paint.bmp", {"-f", "lavfi", "-i", "testsrc=size=160x120",
                                                              "-frames:v", "1", "-pix_fmt", "bgr24"}),
                                  pc / "paint.bmp");
    const std::string tq9 = BinPath("tq9").string(), root = (dir / "root").string();
    const std::vector<std::string> env = {"TMPDIR=" + dir.Path().string(), "XDG_CONFIG_HOME=" + (dir / "config").string()};
    ProcessResult r = RunProcess({tq9, "--card-root", root, "import", "--ntsc", ntsc.string(), clip, mute, tone, photo, paint}, env);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    r = RunProcess({tq9, "--card-root", root, "import", "--pal", pal.string(), clip}, env);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    // The device's recordings, exported: 4:3 at 48 kHz and without sound (the NTSC imports, one of a video
    // without sound, which the device's form gives a silent track), 16:9, 32 kHz mono.
    r = RunProcess({tq9, "export", "--to", out.string(), (ntsc / "clip.mp4").string(), (ntsc / "mute.mp4").string(),
                    put(ShapedDeviceClip("32/27"), recordings / "wide.mp4"),
                    put(MonoDeviceClip(), recordings / "mono32k.mp4")},
                   env);
    ASSERT_EQ(r.exitCode, 0) << r.err;

    const std::vector<fs::path> files = {ntsc / "clip.mp4", pal / "clip.mp4", ntsc / "tone.mp3", ntsc / "photo.jpg",
                                         ntsc / "paint.bmp", ntsc / "clip.thm", out / "clip.wmv", out / "wide.wmv",
                                         out / "mute.wmv", out / "mono32k.wmv"};
    const Players players;
    std::vector<std::string> missing;
    for (const fs::path& file : files) {
        SCOPED_TRACE(file);
        const Output output = Describe(file);
        if (file.extension() == ".wmv") {
            // It starts at 0 as a player reads its packets.
            const AsfPackets asf = ReadAsfPackets(file);
            EXPECT_TRUE(asf.ok && asf.SentFromZeroOn());
        }
        for (Playback p : players.All(file)) {
            if (!p.available) {
                missing.push_back(p.log);
                continue;
            }
            // A picture dropped late on a busy machine gets two more tries; a fault of the file repeats.
            for (int tries = 1; tries < 3 && p.skipped > 0 && p.errors.empty() && p.ended; ++tries)
                p = p.player == "VLC" ? players.Vlc(file) : p.player == "mpv" ? players.Mpv(file) : players.GStreamer(file);
            std::printf("%-22s %-10s played %6.3f s of %6.3f, skipped %d%s\n",
                        (file.parent_path().filename() / file.filename()).c_str(), p.player.c_str(), p.playedSeconds,
                        output.still ? Players::kStillSeconds : output.seconds, p.skipped,
                        p.soundSeconds >= 0 ? (", sound " + std::to_string(p.soundSeconds) + " s").c_str() : "");
            ExpectPlayedWhole(p, output);
        }
    }
    if (!missing.empty())
        GTEST_SKIP() << missing.front();
}
