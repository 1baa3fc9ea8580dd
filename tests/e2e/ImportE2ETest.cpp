// tq9 import end to end with the real media library: a card made on disk, synthesised PC media, and a
// private temporary folder and settings folder for the child process.
#include <gtest/gtest.h>

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <thread>

#include "support/ScratchMount.h"
#include "support/StillSources.h"
#include "support/TestSupport.h"

using namespace tq9test;

namespace {

const std::vector<std::string> kVideo160 = {"-f", "lavfi", "-i", "testsrc=size=160x120:rate=25:duration=2.5",
                                            "-f", "lavfi", "-i", "sine=frequency=440:duration=2.5"};
const std::vector<std::string> kTone = {"-f", "lavfi", "-i", "sine=frequency=440:duration=2.5"};
const std::vector<std::string> kPicture = {"-f", "lavfi", "-i", "testsrc=size=160x120", "-frames:v", "1"};

std::vector<std::string> with(std::vector<std::string> base, const std::vector<std::string>& more)
{
    base.insert(base.end(), more.begin(), more.end());
    return base;
}

// Integers of a little-endian BMP header.
uint32_t le(const std::string& b, size_t at, size_t n)
{
    if (b.size() < at + n)
        return 0; // no header there: the import failed, which the test reports itself
    uint32_t v = 0;
    for (size_t i = 0; i < n; ++i)
        v |= static_cast<uint32_t>(static_cast<unsigned char>(b[at + i])) << (8 * i);
    return v;
}

// Bytes process pid has read through read(2) and its kin (the libraries it maps do not count).
long long BytesRead(pid_t pid)
{
    std::ifstream io("/proc/" + std::to_string(pid) + "/io");
    std::string key;
    long long bytes = -1;
    return io >> key >> bytes && key == "rchar:" ? bytes : -1;
}

class ImportE2ETest : public ::testing::Test {
protected:
    void SetUp() override
    {
        tmp = dir / "tmp";
        config = dir / "config";
        pc = dir / "pc";
        fs::create_directories(tmp);
        fs::create_directories(pc);
        card = MakeCard(dir / "root", {1}) / "TQ9_0001";
    }

    // A cached synthesised file copied into the PC folder under name.
    fs::path Put(const std::string& name, const fs::path& cached)
    {
        const fs::path p = pc / name;
        fs::create_directories(p.parent_path());
        fs::copy_file(cached, p, fs::copy_options::overwrite_existing);
        return p;
    }

    std::vector<std::string> Env() const { return {"TMPDIR=" + tmp.string(), "XDG_CONFIG_HOME=" + config.string()}; }

    std::vector<std::string> Command(const std::vector<std::string>& args) const
    {
        std::vector<std::string> argv = {BinPath("tq9").string(), "--card-root", (dir / "root").string(), "import"};
        argv.insert(argv.end(), args.begin(), args.end());
        return argv;
    }

    ProcessResult Import(const std::vector<std::string>& args) const { return RunProcess(Command(args), Env()); }

    std::vector<std::string> CardNames() const
    {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(card))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    bool TmpEmpty() const { return fs::is_empty(tmp); }

    void ExpectDeviceVideo(const std::string& name, const std::string& size = "width=720\nheight=480\n")
    {
        SCOPED_TRACE(name);
        EXPECT_EQ(Probe(card / name, "stream=codec_name", "v:0"), "codec_name=mpeg4\n");
        EXPECT_EQ(Probe(card / name, "stream=width,height", "v:0"), size);
        EXPECT_EQ(Probe(card / name, "stream=codec_name,sample_rate,channels", "a:0"),
                  "codec_name=mp3\nsample_rate=48000\nchannels=2\n");
    }
    void ExpectThumbnail(const std::string& name)
    {
        SCOPED_TRACE(name);
        const std::string b = ReadFile(card / name);
        ASSERT_GE(b.size(), 54u);
        EXPECT_EQ(b.substr(0, 2), "BM");
        EXPECT_EQ(le(b, 18, 4), 48u);
        EXPECT_EQ(le(b, 22, 4), 36u);
        EXPECT_EQ(le(b, 28, 2), 24u);
    }

    TempDir dir;
    fs::path tmp, config, pc, card;
};

TEST_F(ImportE2ETest, VideosOfEveryContainerBecomeDeviceMp4WithSidecars)
{
    const auto mov = SynthMedia("imp-h264.mov", with(kVideo160, {"-c:v", "libx264", "-c:a", "aac", "-shortest"}));
    const auto args = std::vector<std::string>{
        card.string(),
        Put("a/clip.mov", mov).string(),
        Put("b/clip.MOV", mov).string(),
        Put("mpeg2.mpg", SynthMedia("imp-mpeg2.mpg", with(kVideo160, {"-c:v", "mpeg2video", "-c:a", "mp2", "-shortest"})))
            .string(),
        Put("motion.avi", SynthMedia("imp-mjpeg.avi", with(kVideo160, {"-c:v", "mjpeg", "-c:a", "pcm_s16le", "-shortest"})))
            .string(),
        Put("win.wmv", SynthMedia("imp-wmv2.wmv", with(kVideo160, {"-c:v", "wmv2", "-c:a", "wmav2", "-shortest"}))).string(),
        Put("stream.m2ts", SynthMedia("imp-h264.m2ts", with(kVideo160, {"-c:v", "libx264", "-c:a", "ac3", "-shortest"})))
            .string(),
        Put("camera.dv",
            SynthMedia("imp-ntsc.dv", {"-f", "lavfi", "-i", "testsrc=size=720x480:rate=30000/1001:duration=1.5", "-f",
                                       "lavfi", "-i", "sine=duration=1.5", "-pix_fmt", "yuv411p", "-c:v", "dvvideo",
                                       "-ar", "48000", "-ac", "2", "-c:a", "pcm_s16le", "-shortest"}))
            .string(),
    };

    const ProcessResult r = Import(args);
    ASSERT_EQ(r.exitCode, 0) << r.err;

    const std::vector<std::string> bases = {"camera", "clip", "clip_MOV", "motion", "mpeg2", "stream", "win"};
    std::vector<std::string> expected;
    for (const auto& b : bases)
        for (const char* ext : {".mp4", ".mrk", ".thm"})
            expected.push_back(b + ext);
    EXPECT_EQ(CardNames(), expected);
    for (const auto& b : bases) {
        ExpectDeviceVideo(b + ".mp4");
        ExpectThumbnail(b + ".thm");
        EXPECT_EQ(HexBytes(ReadFile(card / (b + ".mrk"))), b == "camera" ? "00000001" : "00000002") << b;
    }
    EXPECT_TRUE(TmpEmpty());
    EXPECT_NE(r.err.find("Converted file 7/7"), std::string::npos) << r.err;
}

TEST_F(ImportE2ETest, AudioAndStillsWithInvalidFilesListedInTheMessage)
{
    const auto notes = Put("notes.txt", SynthMedia("imp-tone.wav", kTone));
    const auto corrupt = pc / "corrupt.mov";
    WriteFile(corrupt, std::string(4096, 'x'));
    const auto broken = pc / "broken.png";
    WriteFile(broken, "not a picture");
    const auto garbage = pc / "garbage.mp3";
    WriteFile(garbage, std::string(8192, '\x5a'));
    const std::vector<std::string> args = {
        card.string(),
        Put("tone.aac", SynthMedia("imp-tone.aac", with(kTone, {"-c:a", "aac"}))).string(),
        Put("tone.wav", SynthMedia("imp-tone.wav", kTone)).string(),
        Put("tone.aiff", SynthMedia("imp-tone.aiff", kTone)).string(),
        Put("song.mp3", SynthMedia("imp-tone.mp3", with(kTone, {"-c:a", "libmp3lame"}))).string(),
        Put("photo.jpg", SynthMedia("imp-pic.jpg", kPicture)).string(),
        Put("shot.png", SynthMedia("imp-pic.png", kPicture)).string(),
        Put("paint.bmp", SynthMedia("imp-pic.bmp", kPicture)).string(),
        notes.string(),
        corrupt.string(),
        broken.string(),
        garbage.string(),
    };

    const ProcessResult r = Import(args);

    // Some landed: "some failed", never the "nothing was done" a script would retry. What landed is
    // listed on stdout, what failed on stderr, and the progress says how many arrived.
    EXPECT_EQ(r.exitCode, 4);
    // Each named with the reason: not a kind the card takes, or not media at all.
    EXPECT_NE(r.err.find(notes.string() + ": this kind of file cannot be put on the card\n"), std::string::npos) << r.err;
    for (const fs::path& bad : {corrupt, broken, garbage})
        EXPECT_NE(r.err.find(bad.string() + ": the file cannot be read as media\n"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("Converted 7 of 11 files; 4 failed.\n"), std::string::npos) << r.err;
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 7) << r.out;
    EXPECT_EQ(r.out.find((card / "tone.mp3").string() + "\n" + (card / "tone_wav.mp3").string() + "\n"), 0u) << r.out;
    // tone.wav, tone.aiff and tone.aac all want tone.mp3: the later ones take tone_<ext>.
    EXPECT_EQ(CardNames(), (std::vector<std::string>{"paint.bmp", "paint.thm", "photo.jpg", "photo.thm", "shot.jpg",
                                                     "shot.thm", "song.mp3", "song.mrk", "tone.mp3", "tone.mrk",
                                                     "tone_aiff.mp3", "tone_aiff.mrk", "tone_wav.mp3", "tone_wav.mrk"}));
    for (const char* audio : {"tone.mp3", "tone_wav.mp3", "tone_aiff.mp3", "song.mp3"}) {
        EXPECT_EQ(Probe(card / audio, "stream=codec_name,sample_rate,channels"),
                  "codec_name=mp3\nsample_rate=48000\nchannels=2\n")
            << audio;
    }
    for (const char* marker : {"tone.mrk", "tone_wav.mrk", "tone_aiff.mrk", "song.mrk"})
        EXPECT_EQ(HexBytes(ReadFile(card / marker)), "00000002") << marker;
    for (const char* still : {"photo.jpg", "shot.jpg", "paint.bmp"}) {
        EXPECT_EQ(Probe(card / still, "stream=width,height"), "width=720\nheight=480\n") << still;
    }
    EXPECT_EQ(Probe(card / "shot.jpg", "stream=codec_name"), "codec_name=mjpeg\n");
    EXPECT_EQ(le(ReadFile(card / "paint.bmp"), 28, 2), 24u);
    for (const char* thumb : {"photo.thm", "shot.thm", "paint.thm"})
        ExpectThumbnail(thumb);
    EXPECT_TRUE(TmpEmpty());
}

TEST_F(ImportE2ETest, FurtherEverydayTypesTakeTheRowOfTheirKind)
{
    const auto kShort = std::vector<std::string>{"-f", "lavfi", "-i", "testsrc=size=160x120:rate=25:duration=0.6", "-f",
                                                 "lavfi", "-i", "sine=frequency=440:duration=0.6"};
    const auto tone = with(kTone, {"-t", "0.6"});
    // 3 s of silence, then 5 s of noise: the container's estimate of the length is many times too long.
    const auto vbr = SynthMedia("src-vbr.aac", {"-f", "lavfi", "-i",
                                                "anoisesrc=d=8:a=0.6:r=44100,volume=enable='lt(t,3)':volume=0", "-c:a",
                                                "aac", "-b:a", "192k"});
    const std::vector<std::pair<std::string, fs::path>> sources = {
        {"a.mkv", SynthMedia("imp-x.mkv", with(kShort, {"-c:v", "libx264", "-preset", "ultrafast", "-c:a", "flac"}))},
        {"b.webm", SynthMedia("imp-x.webm", with(kShort, {"-c:v", "libvpx", "-deadline", "realtime", "-c:a", "libopus"}))},
        {"c.m4v", SynthMedia("imp-x.m4v", with(kShort, {"-c:v", "libx264", "-preset", "ultrafast", "-c:a", "aac"}))},
        {"d.mts", SynthMedia("imp-x.mts", with(kShort, {"-c:v", "libx264", "-preset", "ultrafast", "-c:a", "ac3"}))},
        {"e.3gp", SynthMedia("imp-x.3gp", with(kShort, {"-c:v", "h263", "-s", "176x144", "-ar", "8000", "-ac", "1",
                                                        "-c:a", "aac"}))},
        {"f.m4a", SynthMedia("imp-x.m4a", with(tone, {"-c:a", "aac"}))},
        {"g.flac", SynthMedia("imp-x.flac", tone)},
        {"h.ogg", SynthMedia("imp-x.ogg", with(tone, {"-c:a", "libvorbis"}))},
        {"i.opus", SynthMedia("imp-x.opus", tone)},
        {"j.jpeg", SynthMedia("imp-pic.jpg", kPicture)},
        {"k.tif", SynthMedia("imp-pic.tif", kPicture)},
        {"l.TIFF", SynthMedia("imp-pic.tif", kPicture)},
        {"m.webp", SynthMedia("imp-pic.webp", kPicture)},
        {"vbr.aac", vbr},
    };
    std::vector<std::string> args = {card.string()};
    for (const auto& [name, cached] : sources)
        args.push_back(Put(name, cached).string());
    // A phone's photo: HEIC, with the camera's colour space.
    ASSERT_TRUE(WriteHeic(pc / "n.heic", PictureIn(QColorSpace(QColorSpace::DisplayP3), qRgb(200, 60, 40), 160, 120)));
    args.push_back((pc / "n.heic").string());

    const ProcessResult r = Import(args);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(CardNames(),
              (std::vector<std::string>{"a.mp4", "a.mrk", "a.thm", "b.mp4", "b.mrk", "b.thm", "c.mp4", "c.mrk", "c.thm",
                                        "d.mp4", "d.mrk", "d.thm", "e.mp4", "e.mrk", "e.thm", "f.mp3", "f.mrk", "g.mp3",
                                        "g.mrk", "h.mp3", "h.mrk", "i.mp3", "i.mrk", "j.jpg", "j.thm", "k.jpg", "k.thm",
                                        "l.jpg", "l.thm", "m.jpg", "m.thm", "n.jpg", "n.thm", "vbr.mp3", "vbr.mrk"}));
    for (const char* video : {"a.mp4", "b.mp4", "c.mp4", "d.mp4", "e.mp4"})
        ExpectDeviceVideo(video);
    for (const char* audio : {"f.mp3", "g.mp3", "h.mp3", "i.mp3"})
        EXPECT_EQ(Probe(card / audio, "stream=codec_name"), "codec_name=mp3\n") << audio;
    for (const char* still : {"j.jpg", "k.jpg", "l.jpg", "m.jpg", "n.jpg"}) {
        EXPECT_EQ(Probe(card / still, "stream=codec_name,width,height"), "codec_name=mjpeg\nwidth=720\nheight=480\n")
            << still;
        ExpectThumbnail(std::string(still, 1) + ".thm");
    }
    EXPECT_EQ(HexBytes(ReadFile(card / "vbr.mrk")), "00000008") << "8 s written, whatever the ADTS estimate said";
    EXPECT_TRUE(TmpEmpty());
}

// A broadcast recording as .ts, Windows Media sound, an animated GIF and an AVIF photo.
TEST_F(ImportE2ETest, TransportStreamWmaGifAndAvifComeIn)
{
    const auto ts = SynthMedia("imp-mpeg2.ts", {"-f", "lavfi", "-i", "testsrc=size=160x120:rate=25:duration=0.6", "-f",
                                                "lavfi", "-i", "sine=duration=0.6", "-c:v", "mpeg2video", "-c:a", "mp2"});
    const auto wma = SynthMedia("imp-x.wma", with(kTone, {"-t", "0.6", "-c:a", "wmav2"}));
    // Red, then blue: the still is the first picture.
    const auto gif = SynthMedia("imp-anim.gif", {"-f", "lavfi", "-i", "color=red:size=160x120:rate=5:duration=0.2",
                                                 "-f", "lavfi", "-i", "color=blue:size=160x120:rate=5:duration=0.2",
                                                 "-filter_complex", "[0][1]concat=n=2", "-loop", "0"});
    const auto avif = SynthMedia("imp-red.avif", {"-f", "lavfi", "-i", "color=red:size=160x120", "-frames:v", "1",
                                                  "-c:v", "libaom-av1", "-still-picture", "1", "-cpu-used", "8"});
    const ProcessResult r = Import({card.string(), Put("a.ts", ts).string(), Put("c.wma", wma).string(),
                                    Put("d.gif", gif).string(), Put("e.avif", avif).string()});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(CardNames(), (std::vector<std::string>{"a.mp4", "a.mrk", "a.thm", "c.mp3", "c.mrk", "d.jpg", "d.thm",
                                                     "e.jpg", "e.thm"}));
    ExpectDeviceVideo("a.mp4");
    EXPECT_EQ(Probe(card / "c.mp3", "stream=codec_name"), "codec_name=mp3\n");
    for (const char* still : {"d.jpg", "e.jpg"}) {
        EXPECT_EQ(Probe(card / still, "stream=width,height"), "width=720\nheight=480\n") << still;
        EXPECT_TRUE(DecodedPixel(card / still, 360, 200).IsRed()) << still;
        ExpectThumbnail(std::string(still, 1) + ".thm");
    }
    EXPECT_TRUE(TmpEmpty());
}

TEST_F(ImportE2ETest, SavedPreferencesAreTheDefaultsAndFlagsOverrideThem)
{
    const auto mov = SynthMedia("imp-h264.mov", with(kVideo160, {"-c:v", "libx264", "-c:a", "aac", "-shortest"}));
    fs::create_directories(config / "Zentri");
    WriteFile(config / "Zentri" / "TQ-9 Image Converter.conf", "[Preference]\nNTSC=0\n");

    ProcessResult r = Import({card.string(), Put("pal.mov", mov).string()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    ExpectDeviceVideo("pal.mp4", "width=720\nheight=576\n");
    EXPECT_EQ(Probe(card / "pal.mp4", "stream=r_frame_rate", "v:0"), "r_frame_rate=25/1\n");

    r = Import({"--ntsc", card.string(), Put("ntsc.mov", mov).string()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    ExpectDeviceVideo("ntsc.mp4");

    EXPECT_EQ(Import({"--pal", "--ntsc", card.string(), Put("x.mov", mov).string()}).exitCode, 2);
}

TEST_F(ImportE2ETest, TemporaryFolderOnAnotherFileSystemCopiesAndCleansUp)
{
    // tmpfs for the working files, the card on the test folder's file system: the final step copies.
    const fs::path shm = "/dev/shm";
    if (!fs::is_directory(shm) || ::access(shm.c_str(), W_OK) != 0)
        GTEST_SKIP() << "no writable /dev/shm";
    tmp = shm / ("tq9-import-e2e-" + std::to_string(::getpid()));
    fs::create_directories(tmp);
    struct Remove {
        fs::path p;
        ~Remove() { fs::remove_all(p); }
    } removeTmp{tmp};
    const auto wav = Put("tone.wav", SynthMedia("imp-tone.wav", kTone));

    const ProcessResult r = Import({card.string(), wav.string()});

    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(CardNames(), (std::vector<std::string>{"tone.mp3", "tone.mrk"}));
    EXPECT_EQ(HexBytes(ReadFile(card / "tone.mrk")), "00000002");
    EXPECT_TRUE(TmpEmpty());
}

TEST_F(ImportE2ETest, RefusalsPrintTheJobsMessagesAndTouchNothing)
{
    const auto wav = Put("tone.wav", SynthMedia("imp-tone.wav", kTone));
    fs::create_directories(pc / "folder");

    // A missing file is named as missing, before anything is converted.
    ProcessResult r = Import({card.string(), wav.string(), (pc / "missing.mov").string()});
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_EQ(r.err, "tq9: import: " + (pc / "missing.mov").string() + ": no such file\n");
    EXPECT_EQ(CardNames(), std::vector<std::string>{});

    r = Import({card.string(), (pc / "folder").string()});
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_NE(r.err.find("Including path attributed directry."), std::string::npos) << r.err;

    const std::string notFolder = (card / "nope").string();
    r = Import({notFolder, wav.string()});
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_NE(r.err.find("The " + notFolder + " is not directry attribution."), std::string::npos) << r.err;

    r = Import({pc.string(), wav.string()});
    EXPECT_EQ(r.exitCode, 3) << "a folder that is not on a card";

    for (int i = 0; i < 127; ++i)
        WriteFile(card / ("f" + std::to_string(i) + ".jpg"), "");
    r = Import({card.string(), wav.string(), wav.string()});
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_NE(r.err.find("Number of file in this folder exceeds limit."), std::string::npos) << r.err;
    EXPECT_EQ(CardNames().size(), 127u);
    EXPECT_TRUE(TmpEmpty());
}

TEST_F(ImportE2ETest, CtrlCDuringTheLastFileCancelsAndStillNamesTheFailure)
{
    const auto shortClip = Put("first.mov", SynthMedia("imp-h264.mov", with(kVideo160, {"-c:v", "libx264", "-c:a", "aac",
                                                                                       "-shortest"})));
    const auto longClip =
        Put("second.mov", SynthMedia("imp-long.mov", {"-f", "lavfi", "-i", "testsrc=size=160x120:rate=25:duration=40",
                                                      "-c:v", "libx264", "-an"}));

    const auto garbage = pc / "garbage.mp3";
    WriteFile(garbage, "not a song");

    int errFd = -1;
    const pid_t pid = SpawnProcess(Command({card.string(), garbage.string(), shortClip.string(), longClip.string()}),
                                   Env(), errFd);
    ASSERT_GT(pid, 0);

    // Progress lines arrive at most once a second; interrupt once the long file is under way.
    const auto [err, sent, status] = InterruptWhenSeen(pid, errFd, "Converted file 2/3");

    ASSERT_TRUE(sent) << err;
    ASSERT_TRUE(WIFEXITED(status)) << "the signal cancels, it does not kill";
    EXPECT_EQ(WEXITSTATUS(status), 1) << err;
    // The failure found before the cancel is still named.
    EXPECT_NE(err.find("Import canceled.\n\nfilename\n"), std::string::npos) << err;
    EXPECT_NE(err.find(garbage.string()), std::string::npos) << err;
    EXPECT_TRUE(CardNames().empty());
    EXPECT_TRUE(TmpEmpty());
}

} // namespace

TEST_F(ImportE2ETest, AnAlmostFullCardTakesWhatFitsInOrderAndRefusesWhatCannotFitAtAll)
{
    // A FAT card with room for two 3 s clips as they really come out (about 0.43 MB each at 720x480),
    // though not for even one at the encoder's ceiling (about 2 MB).
    TQ9_MOUNT_OR_SKIP(mount, FatImage(4, why, 16));
    card = MakeCard(mount->Path(), {1}) / "TQ9_0001";
    const uint64_t room = 1100 * 1000;
    const uint64_t free = fs::space(mount->Path()).available;
    ASSERT_GT(free, room);
    WriteFile(mount->Path() / "filler", std::string(free - room, '\0'));
    const auto clip = SynthMedia("imp-clip3.mov", {"-f", "lavfi", "-i", "testsrc=size=160x120:rate=25:duration=3", "-f",
                                                   "lavfi", "-i", "sine=frequency=440:duration=3", "-c:v", "libx264",
                                                   "-c:a", "aac", "-shortest"});
    std::vector<std::string> argv = {BinPath("tq9").string(), "--card-root", mount->Path().string(), "import",
                                      card.string()};
    for (const char* name : {"a.mov", "b.mov", "c.mov"})
        argv.push_back(Put(name, clip).string());

    std::vector<std::string> debug = Env();
    debug.push_back("TQ9_DEBUG=1");
    ProcessResult r = RunProcess(argv, debug);

    EXPECT_EQ(r.exitCode, 4) << r.err;
    EXPECT_EQ(CardNames(), (std::vector<std::string>{"a.mp4", "a.mrk", "a.thm", "b.mp4", "b.mrk", "b.thm"}));
    EXPECT_EQ(r.out, (card / "a.mp4").string() + "\n" + (card / "b.mp4").string() + "\n");
    EXPECT_NE(r.err.find("Not enough free space on the card.\n" + (pc / "c.mov").string()), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("import: " + (pc / "c.mov").string() + ": stopped converting: "), std::string::npos)
        << "the third clip is not converted to its end in what the first two leave: " << r.err;
    EXPECT_TRUE(TmpEmpty());

    // 20 s of sound is 320 KB at least at its constant rate: named before converting, while a short tone
    // still goes on; alone, it refuses the drop with the figures.
    argv.resize(5);
    argv.push_back(Put("long.wav", SynthMedia("imp-tone20.wav", {"-f", "lavfi", "-i", "sine=duration=20"})).string());
    argv.push_back(Put("tone.wav", SynthMedia("imp-tone.wav", kTone)).string());
    r = RunProcess(argv, Env());
    EXPECT_EQ(r.exitCode, 4) << r.err;
    EXPECT_NE(r.err.find("Converted file 1/1"), std::string::npos) << "only the tone converts: " << r.err;
    EXPECT_NE(r.err.find("Not enough free space on the card.\n" + argv[5]), std::string::npos) << r.err;
    argv.pop_back();
    r = RunProcess(argv, Env());
    EXPECT_EQ(r.exitCode, 3) << r.err;
    EXPECT_NE(r.err.find("Not enough free space on the card.\nAbout 3"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("Converted file"), std::string::npos) << "nothing was converted: " << r.err;
    EXPECT_EQ(CardNames().size(), 8u);
    EXPECT_TRUE(TmpEmpty());
}

TEST_F(ImportE2ETest, SigintAndSigtermStopTheLengthScanOfAGigabyteOfZerosAtOnce)
{
    // 10 s of MP3 without a VBR header, so its length is only estimated and scanned for, then zeros up to
    // 1 GiB (sparse: no disk).
    const fs::path big = Put("big.mp3", SynthMedia("bounded-head.mp3", {"-f", "lavfi", "-i", "sine=duration=10", "-c:a",
                                                                        "libmp3lame", "-b:a", "128k", "-write_xing", "0"}));
    fs::resize_file(big, uint64_t(1) << 30);
    for (const int sig : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(::strsignal(sig));
        int errFd = -1;
        const pid_t pid = SpawnProcess(Command({card.string(), big.string()}), Env(), errFd);
        ASSERT_GT(pid, 0);
        // Past the sound's 160 KB the first read is the length scan, in the zeros.
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (BytesRead(pid) < (2 << 20) && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        const auto sent = std::chrono::steady_clock::now();
        const long long at = BytesRead(pid);
        ::kill(pid, sig);
        int status = 0;
        ::waitpid(pid, &status, 0);
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - sent).count();
        ::close(errFd);
        std::printf("%s after %lld bytes read: tq9 import ended %.3f s later\n", ::strsignal(sig), at, seconds);
        ASSERT_LT(std::chrono::steady_clock::now(), until) << "the scan was never seen";
        ASSERT_TRUE(WIFEXITED(status)) << "the signal cancels, it does not kill";
        EXPECT_EQ(WEXITSTATUS(status), 1);
        EXPECT_LT(seconds, 0.5) << "0.2 s on a quiet machine";
    }
    EXPECT_TRUE(CardNames().empty());
    EXPECT_TRUE(TmpEmpty());
}
