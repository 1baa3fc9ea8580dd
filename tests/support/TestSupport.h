// Helpers shared by the test programs: temporary folders, cards built on disk, synthesised media and
// running the command-line tool.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include <sys/types.h>

namespace tq9test {

namespace fs = std::filesystem;

// A fresh folder under the temporary folder, removed with everything in it when the object dies.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const fs::path& Path() const { return m_path; }
    fs::path operator/(const std::string& name) const { return m_path / name; }

private:
    fs::path m_path;
};

// Lays out a card under root: root/TQ-9 with the hidden marker and the numbered folders given.
// Returns the device folder.
fs::path MakeCard(const fs::path& root, const std::vector<int>& numberedFolders = {1});

void WriteFile(const fs::path& path, const std::string& bytes);
std::string ReadFile(const fs::path& path);

struct ProcessResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};
// Runs a program with arguments (no shell), capturing both streams; stdin is /dev/null.
ProcessResult RunProcess(const std::vector<std::string>& argv, const std::vector<std::string>& env = {});

// Starts a program (no shell) with stdin and stdout on /dev/null and its stderr readable from errFd (the
// caller closes it and reaps the child with waitpid). Returns the child's pid, or -1.
pid_t SpawnProcess(const std::vector<std::string>& argv, const std::vector<std::string>& env, int& errFd);

// What a spawned program wrote on stderr until it ended, whether it was sent SIGINT, and its wait status.
struct Interrupted {
    std::string err;
    bool sent = false;
    int status = 0;
};
// Reads the program's stderr, sends SIGINT once `marker` has appeared, and waits for it to end.
Interrupted InterruptWhenSeen(pid_t pid, int errFd, const std::string& marker);
// Reads fd into text (appending) until text holds needle, the stream ends or 30 s pass without output;
// true when the needle came.
bool ReadUntil(int fd, const std::string& needle, std::string& text);

// Upper-case hex of bytes without separators ("0000003D").
std::string HexBytes(const std::string& bytes);

// Path of a binary built by this project (tq9, the GUI, ...).
fs::path BinPath(const std::string& name);

// A media file synthesised once with the ffmpeg tool and kept in the build's test cache.
// name is the cache file name (its extension picks the container); args are the ffmpeg arguments
// between the leading "-y -loglevel error" and the output path. Fails the current test when ffmpeg fails.
fs::path SynthMedia(const std::string& name, const std::vector<std::string>& args);

// One pixel of the first picture of a video or picture file, decoded with the ffmpeg tool as a player
// would show it (display matrix applied) in 8-bit RGB; all -1 when it cannot be decoded.
struct Rgb {
    int r = -1, g = -1, b = -1;
    bool IsRed() const { return r > 160 && g < 80 && b < 80; }
    bool IsBlue() const { return b > 160 && r < 80 && g < 80; }
    bool IsBlack() const { return r >= 0 && r < 24 && g >= 0 && g < 24 && b >= 0 && b < 24; }
};
Rgb DecodedPixel(const fs::path& file, int x, int y);

// ffprobe -show_entries ... -of default=nw=1 output for quick field checks ("codec_name=mpeg4\nwidth=720...").
std::string Probe(const fs::path& file, const std::string& entries, const std::string& select = "");

} // namespace tq9test
