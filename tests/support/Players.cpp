#include "Players.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <sstream>
#include <stdexcept>
#include <unistd.h>

namespace tq9test {

namespace {

constexpr uid_t kNobody = 65534;
const fs::path kScripts = fs::path(TQ9_SOURCE_DIR) / "tests" / "players";

bool Installed(const std::string& program)
{
    const char* path = std::getenv("PATH");
    std::istringstream dirs(path ? path : "/usr/bin");
    for (std::string dir; std::getline(dirs, dir, ':');)
        if (!dir.empty() && ::access((fs::path(dir) / program).c_str(), X_OK) == 0)
            return true;
    return false;
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

bool Has(const std::string& line, const char* part)
{
    return line.find(part) != std::string::npos;
}

// Seconds of sound in a WAV file as VLC's file output writes it; -1 when there is none.
double WavSeconds(const fs::path& file)
{
    const std::string b = ReadFile(file);
    const auto le = [&](size_t at, size_t n) {
        uint32_t v = 0;
        for (size_t i = n; i-- > 0;)
            v = v << 8 | static_cast<unsigned char>(b[at + i]);
        return v;
    };
    if (b.size() < 44 || b.compare(0, 4, "RIFF") != 0)
        return -1;
    const uint32_t channels = le(22, 2), rate = le(24, 4), bits = le(34, 2);
    for (size_t at = 12; at + 8 <= b.size(); at += 8 + le(at + 4, 4))
        if (b.compare(at, 4, "data") == 0 && rate && channels && bits)
            return static_cast<double>(std::min<size_t>(le(at + 4, 4), b.size() - at - 8)) / (rate * channels * bits / 8);
    return -1;
}

Playback Missing(const std::string& player, const std::string& why)
{
    Playback p;
    p.player = player;
    p.available = false;
    p.log = why;
    return p;
}

// What a player said, to be read for how far it played.
Playback Started(const std::string& player, const ProcessResult& r, std::string log)
{
    Playback p;
    p.player = player;
    p.log = std::move(log);
    if (r.exitCode != 0)
        p.errors.push_back("exit code " + std::to_string(r.exitCode));
    return p;
}

// How long a still is shown, as the players' options take it.
std::string StillSeconds()
{
    char seconds[16];
    std::snprintf(seconds, sizeof seconds, "%g", Players::kStillSeconds);
    return seconds;
}

constexpr fs::perms kEveryoneReads = fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                     fs::perms::others_read | fs::perms::others_exec;

void ChownTree(const fs::path& root, uid_t uid)
{
    (void)::lchown(root.c_str(), uid, uid);
    for (const auto& e : fs::recursive_directory_iterator(root))
        (void)::lchown(e.path().c_str(), uid, uid);
}

} // namespace

Players::Players()
{
    char pattern[] = "/tmp/tq9-players-XXXXXX";
    if (!::mkdtemp(pattern))
        throw std::runtime_error("cannot create a folder for the players");
    m_dir = pattern;
    m_vlcHome = m_dir / "vlc-home";
    fs::permissions(m_dir, kEveryoneReads);
    const fs::path interfaces = m_vlcHome / ".local" / "share" / "vlc" / "lua" / "intf";
    fs::create_directories(interfaces);
    fs::copy_file(kScripts / "vlc-played.lua", interfaces / "vlc-played.lua");
    fs::permissions(m_vlcHome, fs::perms::owner_all);
    if (::geteuid() == 0)
        ChownTree(m_vlcHome, kNobody);
}

Players::~Players()
{
    std::error_code ec;
    fs::remove_all(m_dir, ec);
}

fs::path Players::Copy(const fs::path& file) const
{
    static std::atomic<int> next{0};
    const fs::path folder = m_dir / ("play-" + std::to_string(next++));
    fs::create_directory(folder);
    const fs::path copy = folder / file.filename();
    fs::copy_file(file, copy);
    fs::permissions(folder, kEveryoneReads);
    fs::permissions(copy, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                              fs::perms::others_read);
    return copy;
}

Playback Players::Vlc(const fs::path& file) const
{
    if (!Installed("cvlc"))
        return Missing("VLC", "cvlc is not installed (vlc)");
    const fs::path copy = Copy(file);
    const fs::path sound = m_vlcHome / (copy.parent_path().filename().string() + ".wav");
    std::vector<std::string> argv;
    if (::geteuid() == 0)
        argv = {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "--"};
    argv.insert(argv.end(), {"cvlc", "--no-dbus", "--vout=dummy", "--aout=afile", "--audiofile-file=" + sound.string(),
                             "--image-duration=" + StillSeconds(), "--extraintf=luaintf",
                             "--lua-intf=vlc-played", "-v", copy.string()});
    const ProcessResult r =
        RunProcess(argv, {"HOME=" + m_vlcHome.string(), "XDG_RUNTIME_DIR=" + m_vlcHome.string()});
    Playback p = Started("VLC", r, r.err);
    for (const std::string& line : Lines(r.err)) {
        double played = 0;
        int lost = 0;
        if (std::sscanf(line.c_str(), "tq9-played %lf lost %d", &played, &lost) == 2) {
            p.ended = true;
            p.playedSeconds = played;
            p.skipped += lost;
        } else if (Has(line, "picture skipped") || Has(line, "too late to be displayed")) {
            ++p.skipped;
        } else if (Has(line, " error:") && !Has(line, "interface")) {
            // Interfaces that need a desktop (D-Bus, global hot keys) fail without one; nothing of the file.
            p.errors.push_back(line);
        }
    }
    p.soundSeconds = WavSeconds(sound);
    return p;
}

Playback Players::Mpv(const fs::path& file) const
{
    if (!Installed("mpv"))
        return Missing("mpv", "mpv is not installed");
    const fs::path copy = Copy(file);
    const ProcessResult r = RunProcess({"mpv", "--no-config", "--msg-level=all=error", "--vo=null", "--ao=null",
                                        "--image-display-duration=" + StillSeconds(),
                                        "--script=" + (kScripts / "mpv-played.lua").string(), copy.string()},
                                       {"HOME=" + copy.parent_path().string()});
    Playback p = Started("mpv", r, r.err);
    for (const std::string& line : Lines(r.err)) {
        double played = 0;
        int dropped = 0;
        char reason[32] = {};
        if (std::sscanf(line.c_str(), "tq9-played %lf dropped %d reason %31s", &played, &dropped, reason) == 3) {
            p.playedSeconds = played;
            p.skipped += dropped;
            p.ended = std::string(reason) == "eof";
            if (!p.ended)
                p.errors.push_back(line);
        } else if (!line.empty()) {
            p.errors.push_back(line); // only errors are shown
        }
    }
    return p;
}

Playback Players::GStreamer(const fs::path& file) const
{
    // Debian's python3 with its GObject bindings, whatever python3 comes first on the PATH.
    const ProcessResult check = RunProcess({"/usr/bin/python3", "-c",
        "import gi; gi.require_version('Gst', '1.0'); from gi.repository import Gst"});
    if (check.exitCode != 0)
        return Missing("GStreamer", "GStreamer for Python is not installed (python3-gi, gir1.2-gstreamer-1.0)");
    const fs::path copy = Copy(file);
    const ProcessResult r = RunProcess({"/usr/bin/python3", (kScripts / "gst-play.py").string(), copy.string()});
    Playback p = Started("GStreamer", r, r.out + r.err);
    for (const std::string& line : Lines(r.out)) {
        double played = 0;
        int pictures = 0, dropped = 0, ended = 0;
        if (std::sscanf(line.c_str(), "tq9-played %lf pictures %d dropped %d ended %d", &played, &pictures, &dropped,
                        &ended) == 4) {
            p.playedSeconds = played;
            p.pictures = pictures;
            p.skipped += dropped;
            p.ended = ended == 1;
        } else if (line.rfind("error: ", 0) == 0 || line.rfind("warning: ", 0) == 0) {
            p.errors.push_back(line);
        }
    }
    return p;
}

std::vector<Playback> Players::All(const fs::path& file) const
{
    auto mpv = std::async(std::launch::async, [&] { return Mpv(file); });
    auto gstreamer = std::async(std::launch::async, [&] { return GStreamer(file); });
    Playback vlc = Vlc(file);
    return {vlc, mpv.get(), gstreamer.get()};
}

} // namespace tq9test
